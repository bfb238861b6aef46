// The blocks of a data file that hold no rows: block 0 (the operating
// system header), block 1 (the data file header) and the header and bitmap
// blocks of segments, each built as a whole block image (see Block::image)
// at the offsets of file_format.h.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "format/byte_view.h"
#include "datafile_builder.h"

namespace datafile {

// A run of blocks of one segment in its file.
struct Extent {
    std::uint32_t first_block = 0;
    std::uint32_t length = 0;

    friend bool operator==(const Extent&, const Extent&) = default;
};

// The fields of a data file header.
struct FileHeader {
    std::uint32_t database_id = 0x5EED0B0B;
    std::string database_name = "TREVANIX";  // at most 8 characters
    std::uint32_t block_count = 0;
    std::uint16_t absolute_file = 1;
    std::uint16_t relative_file = 1;
    std::optional<std::uint32_t> root_address;  // the SYSTEM file's: BOOTSTRAP$'s segment header
    std::uint64_t creation_scn = 0x0000000000001234;
    std::uint64_t checkpoint_scn = 0x00000000000F4240;
    std::uint32_t tablespace_number = 0;
    std::string tablespace_name = "SYSTEM";  // at most 30 characters
    // How far the header's bytes reach, which tells the release that wrote
    // it (file_format.h: kHeaderSize10g ...); 0: no further than these fields.
    std::uint32_t header_size = 0;
};

// Block 0: zero, the format byte, the block size, the block count and the
// byte order's magic; nothing else.
Bytes os_header_block(std::uint32_t block_size, std::uint32_t block_count, ByteOrder order);
// Block 1, with its cache header, tail and checksum.
Bytes file_header_block(const FileHeader& header, std::uint32_t block_size, ByteOrder order);
// The header block of a freelist segment of data object `object` at
// `block` of `relative_file`, whose first extent starts with it.
Bytes freelist_segment_header(std::uint16_t relative_file, std::uint32_t block, std::uint32_t object,
                              const std::vector<Extent>& extents, std::uint32_t block_size, ByteOrder order);
// The header block of an automatically managed segment at `block`; its
// first extent starts with the bitmap blocks before it. `high_water_mark`:
// the address of the first block above the mark, 0 for none.
Bytes space_segment_header(std::uint16_t relative_file, std::uint32_t block, const std::vector<Extent>& extents,
                           std::uint32_t block_size, ByteOrder order, std::uint32_t high_water_mark = 0);

// A segment's extent map as written: the header's own map, then, when it
// holds fewer than all, each extent map block in turn, chained by their
// next pointers.
struct ExtentMap {
    std::vector<Extent> extents;  // every extent the map lists, in map order
    // The extent map blocks, in the header's file, in chain order; none for
    // a simple header, which holds every extent and leaves its count of
    // extents in this map 0.
    std::vector<std::uint32_t> map_blocks;
    std::uint32_t header_extents = 0;     // with map blocks: the extents the header's own map holds
    std::uint32_t map_block_extents = 0;  // and each map block (the last the rest)
    std::uint32_t high_water_mark = 0;    // the address of the first block above the mark; 0 for none
};
// The header block of the segment at `block`, then its extent map blocks.
// `object` goes into the map headers of a freelist segment.
std::vector<Bytes> segment_map_blocks(bool space_managed, std::uint16_t relative_file, std::uint32_t block,
                                      std::uint32_t object, const ExtentMap& map, std::uint32_t block_size,
                                      ByteOrder order);
// The entries an extent map block has room for.
std::uint32_t map_block_room(bool space_managed, std::uint32_t block_size);
// A block of type `type` with a cache header and nothing after it: the
// bitmap blocks of automatically managed segments.
Bytes empty_typed_block(std::uint8_t type, std::uint16_t relative_file, std::uint32_t block,
                        std::uint32_t block_size, ByteOrder order);

}  // namespace datafile
