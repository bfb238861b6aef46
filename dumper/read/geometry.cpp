#include "read/geometry.h"

#include <vector>

#include "format/block_format.h"
#include "format/block_headers.h"

using namespace block_format;

namespace {

// The largest and smallest block sizes, and how many blocks are looked at
// for one whose tail tells the byte order.
constexpr std::uint32_t kSmallestBlock = 512;
constexpr std::uint32_t kLargestBlock = 32768;
constexpr std::uint32_t kBlocksLookedAt = 4096;

// A block read whole from the file, or an empty view: also for a size no
// block has, which is not even allocated.
ByteView block_at(DataFile& file, std::uint64_t offset, std::uint32_t size, std::vector<std::uint8_t>& buffer)
{
    if (size > kLargestBlock) return ByteView();
    buffer.resize(size);
    return file.read_at(offset, buffer.data(), size) == size ? ByteView(buffer.data(), size) : ByteView();
}

bool tail_consistent_in(const ByteView& block, const GeometryChoice& choice)
{
    if (!choice.find_order) return tail_consistent(block, choice.given.order);
    return tail_consistent(block, ByteOrder::Little) || tail_consistent(block, ByteOrder::Big);
}

// The data file header's place gives the size (block 1 lies at one block
// size), or else block 0's format byte does.
bool find_block_size(DataFile& file, const GeometryChoice& choice, LayoutFound& found)
{
    std::vector<std::uint8_t> buffer;
    for (std::uint32_t size = kSmallestBlock; size <= kLargestBlock; size *= 2) {
        const ByteView block = block_at(file, size, size, buffer);
        if (block.u8(kBlockTypeAt) == kBlockTypeFileHeader && tail_consistent_in(block, choice)) {
            found.block_size = size;
            found.size_from = LayoutFound::FileHeader;
            return true;
        }
    }
    std::uint8_t format = 0;
    if (file.read_at(kFormatAt, &format, 1) == 1) {
        const std::uint32_t size = format_block_size(format);
        if (size >= kSmallestBlock && size <= kLargestBlock && tail_consistent_in(block_at(file, 0, size, buffer), choice)) {
            found.block_size = size;
            found.size_from = LayoutFound::FormatByte;
            return true;
        }
    }
    return false;
}

// The first block whose tail reads right in one order only.
bool find_byte_order(DataFile& file, std::uint32_t block_size, LayoutFound& found)
{
    std::vector<std::uint8_t> buffer;
    for (std::uint32_t number = 0; number < kBlocksLookedAt; ++number) {
        const ByteView block = block_at(file, std::uint64_t{number} * block_size, block_size, buffer);
        if (block.empty()) break;
        const bool little = tail_consistent(block, ByteOrder::Little);
        const bool big = tail_consistent(block, ByteOrder::Big);
        if (little == big) continue;
        found.order = little ? ByteOrder::Little : ByteOrder::Big;
        found.order_block = static_cast<std::int32_t>(number);
        return true;
    }
    return false;
}

}  // namespace

bool find_geometry(DataFile& file, const GeometryChoice& choice, LayoutFound& found, std::string& message)
{
    Geometry geometry = choice.given;
    found.size_found = choice.find_size;
    found.order_found = choice.find_order;
    if (choice.find_size) {
        if (!find_block_size(file, choice, found)) {
            message = "cannot tell the block size of " + file.path() +
                      ": no data file header at 512 to 32768 bytes, and no format byte in block 0 with a "
                      "consistent tail";
            return false;
        }
        geometry.block_size = found.block_size;
    }
    if (choice.find_order) {
        if (!find_byte_order(file, geometry.block_size, found)) {
            message = "cannot tell the byte order of " + file.path() +
                      ": no block whose tail reads consistently in one byte order only";
            return false;
        }
        geometry.order = found.order;
    }
    found.block_size = geometry.block_size;
    found.order = geometry.order;
    file.set_geometry(geometry);
    return true;
}
