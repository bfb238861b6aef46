#include "file_structures.h"

#include <stdexcept>

#include "format/block_format.h"
#include "byte_fields.h"
#include "format/file_format.h"

namespace datafile {

using namespace block_format;
using namespace file_format;

namespace {

// A zeroed block with a cache header: type, format byte, address, SCN and
// the checksum flag; sealed by the caller once its body is written.
Bytes cache_header_block(std::uint8_t type, std::uint16_t relative_file, std::uint32_t block, std::uint32_t scn,
                         std::uint32_t block_size, ByteOrder order)
{
    Bytes b(block_size, 0);
    b[kBlockTypeAt] = type;
    b[kFormatAt] = format_byte(block_size);
    put32(b, kAddressAt, block_address(relative_file, block), order);
    put32(b, kScnBaseAt, scn, order);
    b[kSequenceAt] = 1;
    b[kFlagsAt] = kFlagHasChecksum;
    return b;
}

void put_scn(Bytes& b, std::uint32_t at, std::uint64_t scn, ByteOrder order)
{
    put32(b, at + kScnFieldBaseAt, static_cast<std::uint32_t>(scn), order);
    put16(b, at + kScnFieldWrapAt, static_cast<std::uint16_t>(scn >> 32), order);
}

// `text` at `at`, padded with `pad` to `size` bytes.
void put_text(Bytes& b, std::uint32_t at, const std::string& text, std::uint32_t size, char pad)
{
    if (text.size() > size) throw std::invalid_argument("'" + text + "' is too long for its field");
    for (std::uint32_t i = 0; i < size; ++i)
        b[at + i] = static_cast<std::uint8_t>(i < text.size() ? text[i] : pad);
}

std::uint32_t blocks_in(const std::vector<Extent>& extents)
{
    std::uint32_t blocks = 0;
    for (const Extent& e : extents) blocks += e.length;
    return blocks;
}

void put_extent_map(Bytes& b, std::uint32_t at, std::uint16_t relative_file, const std::vector<Extent>& extents,
                    ByteOrder order)
{
    if (at + kExtentEntrySize * extents.size() > b.size() - kTailSize)
        throw std::length_error("the extent map does not fit in the segment header");
    put32(b, kExtentCountAt, static_cast<std::uint32_t>(extents.size()), order);
    for (const Extent& e : extents) {
        put32(b, at + kExtentAddressAt, block_address(relative_file, e.first_block), order);
        put32(b, at + kExtentLengthAt, e.length, order);
        at += kExtentEntrySize;
    }
}

// Segment headers and bitmap blocks carry an SCN of their own.
constexpr std::uint32_t kSegmentBlockScn = 0x00001800;

}  // namespace

std::uint32_t block_address(std::uint16_t relative_file, std::uint32_t block)
{
    return static_cast<std::uint32_t>(relative_file) << kAddressBlockBits | (block & kAddressBlockMask);
}

Bytes os_header_block(std::uint32_t block_size, std::uint32_t block_count, ByteOrder order)
{
    Bytes b(block_size, 0);
    b[kOsFormatAt] = format_byte(block_size);
    put32(b, kOsBlockSizeAt, block_size, order);
    put32(b, kOsBlockCountAt, block_count, order);
    const auto& magic = order == ByteOrder::Little ? kOsMagicLittle : kOsMagicBig;
    for (std::uint32_t i = 0; i < magic.size(); ++i) b[kOsMagicAt + i] = magic[i];
    return b;
}

Bytes file_header_block(const FileHeader& header, std::uint32_t block_size, ByteOrder order)
{
    Bytes b = cache_header_block(kBlockTypeFileHeader, header.relative_file, 1,
                                 static_cast<std::uint32_t>(header.checkpoint_scn), block_size, order);
    put32(b, kDatabaseIdAt, header.database_id, order);
    put_text(b, kDatabaseNameAt, header.database_name, kDatabaseNameSize, ' ');
    put32(b, kFileBlockCountAt, header.block_count, order);
    put32(b, kFileBlockSizeAt, block_size, order);
    put16(b, kAbsoluteFileAt, header.absolute_file, order);
    put16(b, kFileTypeAt, kFileTypeData, order);
    put32(b, kRootAddressAt, header.root_address.value_or(0), order);
    put_scn(b, kCreationScnAt, header.creation_scn, order);
    put32(b, kTablespaceNumberAt, header.tablespace_number, order);
    put16(b, kTablespaceNameLengthAt, static_cast<std::uint16_t>(header.tablespace_name.size()), order);
    put_text(b, kTablespaceNameAt, header.tablespace_name, kTablespaceNameSize, '\0');
    put32(b, kRelativeFileAt, header.relative_file, order);
    put_scn(b, kCheckpointScnAt, header.checkpoint_scn, order);
    seal_block(b, order);
    return b;
}

Bytes freelist_segment_header(std::uint16_t relative_file, std::uint32_t block, std::uint32_t object,
                              const std::vector<Extent>& extents, std::uint32_t block_size, ByteOrder order)
{
    if (extents.empty() || extents.front().first_block != block)
        throw std::invalid_argument("a freelist segment's first extent starts with its header");
    Bytes b = cache_header_block(kBlockTypeSegmentHeader, relative_file, block, kSegmentBlockScn, block_size, order);
    put_extent_map(b, kExtentMapAt, relative_file, extents, order);
    put32(b, kSegmentBlockCountAt, freelist_segment_block_count(blocks_in(extents)), order);
    put32(b, kSegmentObjectAt, object, order);
    seal_block(b, order);
    return b;
}

Bytes space_segment_header(std::uint16_t relative_file, std::uint32_t block, const std::vector<Extent>& extents,
                           std::uint32_t block_size, ByteOrder order)
{
    Bytes b =
        cache_header_block(kBlockTypeSpaceSegmentHeader, relative_file, block, kSegmentBlockScn, block_size, order);
    put_extent_map(b, kSpaceExtentMapAt, relative_file, extents, order);
    seal_block(b, order);
    return b;
}

Bytes empty_typed_block(std::uint8_t type, std::uint16_t relative_file, std::uint32_t block,
                        std::uint32_t block_size, ByteOrder order)
{
    Bytes b = cache_header_block(type, relative_file, block, kSegmentBlockScn, block_size, order);
    seal_block(b, order);
    return b;
}

}  // namespace datafile
