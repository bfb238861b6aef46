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

// The entries of `count` extents from `first` on, at `at`.
void put_extent_entries(Bytes& b, std::uint32_t at, std::uint16_t relative_file,
                        std::vector<Extent>::const_iterator first, std::size_t count, ByteOrder order)
{
    if (at + kExtentEntrySize * count > b.size() - kTailSize)
        throw std::length_error("the extent map does not fit in its block");
    for (std::size_t i = 0; i < count; ++i, ++first) {
        put32(b, at + kExtentAddressAt, block_address(relative_file, first->first_block), order);
        put32(b, at + kExtentLengthAt, first->length, order);
        at += kExtentEntrySize;
    }
}

// Segment headers and bitmap blocks carry an SCN of their own.
constexpr std::uint32_t kSegmentBlockScn = 0x00001800;

// A segment header counting the extents `all`, the first `in_header` of
// them in its own map; sealed by the caller.
Bytes segment_header_image(bool space_managed, std::uint16_t relative_file, std::uint32_t block, std::uint32_t object,
                           const std::vector<Extent>& all, std::size_t in_header, std::uint32_t block_size,
                           ByteOrder order)
{
    Bytes b = cache_header_block(space_managed ? kBlockTypeSpaceSegmentHeader : kBlockTypeSegmentHeader, relative_file,
                                 block, kSegmentBlockScn, block_size, order);
    put32(b, kExtentCountAt, static_cast<std::uint32_t>(all.size()), order);
    put_extent_entries(b, extent_map_layout(space_managed).first_entry_at, relative_file, all.begin(), in_header, order);
    if (!space_managed) {
        put32(b, kSegmentBlockCountAt, freelist_segment_block_count(blocks_in(all)), order);
        put32(b, kSegmentObjectAt, object, order);
    }
    return b;
}

}  // namespace

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
    if (header.header_size > kCommonHeaderEnd) {
        if (header.header_size > block_size - kTailSize) throw std::invalid_argument("the header does not fit its block");
        b[header.header_size - 1] = 0x01;  // the last byte of the release's fields
    }
    seal_block(b, order);
    return b;
}

Bytes freelist_segment_header(std::uint16_t relative_file, std::uint32_t block, std::uint32_t object,
                              const std::vector<Extent>& extents, std::uint32_t block_size, ByteOrder order)
{
    if (extents.empty() || extents.front().first_block != block)
        throw std::invalid_argument("a freelist segment's first extent starts with its header");
    Bytes b = segment_header_image(false, relative_file, block, object, extents, extents.size(), block_size, order);
    seal_block(b, order);
    return b;
}

Bytes space_segment_header(std::uint16_t relative_file, std::uint32_t block, const std::vector<Extent>& extents,
                           std::uint32_t block_size, ByteOrder order, std::uint32_t high_water_mark)
{
    Bytes b = segment_header_image(true, relative_file, block, 0, extents, extents.size(), block_size, order);
    put32(b, high_water_mark_at(true), high_water_mark, order);
    seal_block(b, order);
    return b;
}

std::uint32_t map_block_room(bool space_managed, std::uint32_t block_size)
{
    return (block_size - kTailSize - extent_map_layout(space_managed).first_entry_at) / kExtentEntrySize;
}

std::vector<Bytes> segment_map_blocks(bool space_managed, std::uint16_t relative_file, std::uint32_t block,
                                      std::uint32_t object, const ExtentMap& map, std::uint32_t block_size,
                                      ByteOrder order)
{
    const ExtentMapLayout layout = extent_map_layout(space_managed);
    const std::vector<Extent>& extents = map.extents;
    std::size_t listed = map.map_blocks.empty() ? extents.size() : std::min<std::size_t>(map.header_extents, extents.size());
    if (!map.map_blocks.empty() &&
        (map.map_block_extents == 0 ||
         (extents.size() - listed + map.map_block_extents - 1) / map.map_block_extents != map.map_blocks.size()))
        throw std::invalid_argument("the map blocks do not hold the extents the header leaves over");
    std::vector<Bytes> blocks;
    Bytes header = segment_header_image(space_managed, relative_file, block, object, extents, listed, block_size, order);
    put32(header, high_water_mark_at(space_managed), map.high_water_mark, order);
    if (!map.map_blocks.empty()) {
        put32(header, kLastMapBlockAt, block_address(relative_file, map.map_blocks.back()), order);
        put32(header, kMapBlockCountAt, static_cast<std::uint32_t>(map.map_blocks.size()), order);
        put32(header, layout.next_at, block_address(relative_file, map.map_blocks.front()), order);
        put32(header, layout.extents_here_at, static_cast<std::uint32_t>(listed), order);
    }
    seal_block(header, order);
    blocks.push_back(std::move(header));
    const std::uint8_t type = space_managed ? kBlockTypeSpaceExtentMap : kBlockTypeExtentMap;
    for (std::size_t i = 0; i < map.map_blocks.size(); ++i) {
        const std::size_t count = std::min<std::size_t>(map.map_block_extents, extents.size() - listed);
        Bytes b = cache_header_block(type, relative_file, map.map_blocks[i], kSegmentBlockScn, block_size, order);
        const std::uint32_t next = i + 1 < map.map_blocks.size() ? block_address(relative_file, map.map_blocks[i + 1]) : 0;
        put32(b, layout.next_at, next, order);
        put32(b, layout.extents_here_at, static_cast<std::uint32_t>(count), order);
        if (!space_managed) put32(b, layout.object_at, object, order);
        put_extent_entries(b, layout.first_entry_at, relative_file,
                           extents.begin() + static_cast<std::ptrdiff_t>(listed), count, order);
        seal_block(b, order);
        blocks.push_back(std::move(b));
        listed += count;
    }
    return blocks;
}

Bytes empty_typed_block(std::uint8_t type, std::uint16_t relative_file, std::uint32_t block,
                        std::uint32_t block_size, ByteOrder order)
{
    Bytes b = cache_header_block(type, relative_file, block, kSegmentBlockScn, block_size, order);
    seal_block(b, order);
    return b;
}

}  // namespace datafile
