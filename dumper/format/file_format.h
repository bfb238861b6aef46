// The layout of what a data file holds beyond a single data block's rows:
// the operating system header (block 0), the data file header (block 1),
// segment headers and their extent maps, the rowids inside row pieces and
// the headers of cluster rows. Offsets are bytes from the block start, or
// from the start of the structure the name says. Multi-byte fields are in
// the file's byte order unless the comment says otherwise. Facts marked
// "likely" rest on a single source; "assumed" ones on our own reading, and
// each of those lives here only, so that one change mends it everywhere.
#pragma once

#include <array>
#include <cstdint>

#include "format/block_format.h"

namespace file_format {

// ---------------------------------------------------------------------------
// Block 0: the operating system header. It has no cache header: byte 0 is
// zero and byte 1 the format byte of the file's block size.
constexpr std::uint32_t kOsFormatAt = 1;
constexpr std::uint32_t kOsBlockSizeAt = 20;   // 4 bytes
constexpr std::uint32_t kOsBlockCountAt = 24;  // 4 bytes
constexpr std::uint32_t kOsMagicAt = 28;       // 4 bytes, read byte by byte
constexpr std::array<std::uint8_t, 4> kOsMagicLittle = {0x7D, 0x7C, 0x7B, 0x7A};
constexpr std::array<std::uint8_t, 4> kOsMagicBig = {0x7A, 0x7B, 0x7C, 0x7D};  // likely

// ---------------------------------------------------------------------------
// Block 1: the data file header, block type 0x0B, with a cache header, a
// tail and a checksum like every other block. Fields past offset 100 may
// lie elsewhere in other versions.
constexpr std::uint32_t kDatabaseIdAt = 28;          // 4 bytes
constexpr std::uint32_t kDatabaseNameAt = 32;        // 8 bytes, padded with spaces
constexpr std::uint32_t kDatabaseNameSize = 8;
constexpr std::uint32_t kFileBlockCountAt = 44;      // 4 bytes
constexpr std::uint32_t kFileBlockSizeAt = 48;       // 4 bytes
constexpr std::uint32_t kAbsoluteFileAt = 52;        // 2 bytes
constexpr std::uint32_t kFileTypeAt = 54;            // 2 bytes
constexpr std::uint16_t kFileTypeData = 3;
// The file type of a temporary tablespace's file (assumed).
constexpr std::uint16_t kFileTypeTemp = 6;
constexpr std::uint32_t kRootAddressAt = 96;         // 4 bytes: BOOTSTRAP$'s segment header, SYSTEM file only
constexpr std::uint32_t kCreationScnAt = 100;
constexpr std::uint32_t kTablespaceNumberAt = 332;   // 4 bytes
constexpr std::uint32_t kTablespaceNameLengthAt = 336;  // 2 bytes
constexpr std::uint32_t kTablespaceNameAt = 338;     // up to 30 bytes
constexpr std::uint32_t kTablespaceNameSize = 30;
constexpr std::uint32_t kRelativeFileAt = 368;       // 4 bytes
constexpr std::uint32_t kCheckpointScnAt = 484;
// The blocks a file holds by its header's block count, which leaves block 0
// out (assumed: a count that takes it in only lets one block more be read).
constexpr std::uint64_t blocks_by_header_count(std::uint32_t count) { return std::uint64_t{count} + 1; }
// A file is said to be cut short only when it holds fewer blocks than its
// header counts whether that count takes block 0 in or not.
constexpr bool cut_short_by_header_count(std::uint64_t blocks_in_file, std::uint32_t count)
{
    return blocks_in_file < count;
}
// Block 1's header is this long by release (likely); no field past section
// 4's offsets is read, only how far its bytes reach.
constexpr std::uint32_t kHeaderSize10g = 676;  // 9i and 10g
constexpr std::uint32_t kHeaderSize11g = 860;
constexpr std::uint32_t kHeaderSize12c = 1112;
// The last field every release writes ends here: bytes beyond it tell a release.
constexpr std::uint32_t kCommonHeaderEnd = kCheckpointScnAt + 6;
// An SCN in the file header: its 4-byte base, then its 2-byte wrap, as the
// cache header keeps them (assumed).
constexpr std::uint32_t kScnFieldBaseAt = 0;
constexpr std::uint32_t kScnFieldWrapAt = 4;

// ---------------------------------------------------------------------------
// Other files of a database, told by their block 1 (assumed: no published
// bytes; what they tell is said as "probably"): a control file's header
// block, an online or archived redo log's header block.
constexpr std::uint8_t kBlockTypeControlFileHeader = 0x15;
constexpr std::uint8_t kBlockTypeRedoLogHeader = 0x22;
// An ASM disk's header (block 0): this name at this offset (assumed).
constexpr std::uint32_t kAsmDiskMagicAt = 32;
constexpr char kAsmDiskMagic[] = "ORCLDISK";
// A server parameter file holds its parameters as text, each line of the
// form *.name=value: one naming the database is looked for (assumed).
constexpr char kParameterFileMarker[] = "*.db_name=";

// ---------------------------------------------------------------------------
// Segment headers.
constexpr std::uint8_t kBlockTypeSegmentHeader = 0x10;       // freelist managed
constexpr std::uint8_t kBlockTypeSpaceSegmentHeader = 0x23;  // automatically managed (likely)
// The bitmap blocks an automatically managed segment starts with.
constexpr std::uint8_t kBlockTypeFirstLevelBitmap = 0x20;
constexpr std::uint8_t kBlockTypeSecondLevelBitmap = 0x21;
constexpr std::uint8_t kBlockTypeThirdLevelBitmap = 0x22;

// Extent map blocks: where a segment's map goes on when its header's is full.
constexpr std::uint8_t kBlockTypeExtentMap = 0x12;       // freelist managed
constexpr std::uint8_t kBlockTypeSpaceExtentMap = 0x24;  // automatically managed

// The extent control, at the same place in both kinds of header: the
// counts are sure for freelist segments and likely for the others; the
// last map block, the map block count and the high water mark are our
// reading of the order dumps print them in (assumed).
constexpr std::uint32_t kExtentCountAt = 36;       // 4 bytes: every extent of the segment
constexpr std::uint32_t kSegmentBlockCountAt = 40;  // 4 bytes
constexpr std::uint32_t kLastMapBlockAt = 44;       // 4 bytes: address of the last extent map block (assumed)
constexpr std::uint32_t kMapBlockCountAt = 48;      // 4 bytes: extent map blocks after the header (assumed)
constexpr std::uint32_t kHighWaterMarkAt = 56;      // 4 bytes: address of the first block above the mark (assumed)
// Where an automatically managed segment's header keeps its mark is not
// known: dumps print it in the same extent control, so it is read at the
// same place (assumed), and believed only when it lies in the extents.
constexpr std::uint32_t kSpaceHighWaterMarkAt = kHighWaterMarkAt;
constexpr std::uint32_t high_water_mark_at(bool space_managed)
{
    return space_managed ? kSpaceHighWaterMarkAt : kHighWaterMarkAt;
}
constexpr std::uint32_t kSegmentObjectAt = 100;     // 4 bytes, freelist segments (likely)
constexpr std::uint32_t kExtentMapAt = 108;         // freelist segments
constexpr std::uint32_t kSpaceExtentMapAt = 280;    // automatically managed segments (likely)

// The map header: 16 bytes just before the first entry, in a segment
// header and in the extent map blocks of its kind alike (assumed).
struct ExtentMapLayout {
    std::uint32_t next_at;          // 4 bytes: the next extent map block's address; 0 ends the chain
    std::uint32_t extents_here_at;  // 4 bytes: entries in this block (a simple header leaves it 0)
    std::uint32_t object_at;        // 4 bytes: the segment's object number
    std::uint32_t flag_at;          // 4 bytes
    std::uint32_t first_entry_at;
};
constexpr ExtentMapLayout extent_map_layout(bool space_managed)
{
    const std::uint32_t first = space_managed ? kSpaceExtentMapAt : kExtentMapAt;
    return {first - 16, first - 12, first - 8, first - 4, first};
}
static_assert(extent_map_layout(false).next_at == 92 && extent_map_layout(true).next_at == 264);
static_assert(extent_map_layout(false).object_at == kSegmentObjectAt);

// The extents a segment header's own map holds before map blocks take over:
// the classic per-block extent limit, 505 for 8K blocks (assumed).
constexpr std::uint32_t header_extent_room(std::uint32_t block_size) { return block_size / 16 - 7; }
static_assert(header_extent_room(2048) == 121 && header_extent_room(8192) == 505 && header_extent_room(32768) == 2041);
// An extent map entry: the address of the extent's first block, then its
// length in blocks. A freelist segment's first extent starts with its
// header block.
constexpr std::uint32_t kExtentEntrySize = 8;
constexpr std::uint32_t kExtentAddressAt = 0;  // 4 bytes
constexpr std::uint32_t kExtentLengthAt = 4;   // 4 bytes

// The block count of a freelist segment's header leaves the header block
// itself out (assumed).
constexpr std::uint32_t freelist_segment_block_count(std::uint32_t blocks_in_extents)
{
    return blocks_in_extents == 0 ? 0 : blocks_in_extents - 1;
}

// The blocks an automatically managed segment's first extent starts with:
// a first level bitmap block, a second level one, then the segment header
// (assumed); its data blocks follow.
constexpr std::array<std::uint8_t, 3> kSpaceSegmentFirstBlocks = {
    kBlockTypeFirstLevelBitmap, kBlockTypeSecondLevelBitmap, kBlockTypeSpaceSegmentHeader};

// ---------------------------------------------------------------------------
// A rowid inside a piece header (HRID, NRID, a cluster key's neighbours):
// the 4-byte block address, then the 2-byte slot, both big-endian in files
// of either byte order (assumed).
constexpr std::uint32_t kRowidAddressAt = 0;
constexpr std::uint32_t kRowidSlotAt = 4;
static_assert(kRowidSlotAt + 2 == block_format::kRowidSize);

// The most columns one row piece holds: rows of more have more pieces.
constexpr std::uint32_t kMaxPieceColumns = 255;

// ---------------------------------------------------------------------------
// Cluster blocks. A table directory entry: the table's first slot in the
// row directory, then its number of slots.
constexpr std::uint32_t kTableFirstSlotAt = 0;
static_assert(block_format::kTableRowCountAt == 2);
// A key row: flag, lock, column count, the two counts, the previous and
// next key rowids, then the key columns.
constexpr std::uint32_t kClusterKeyHeaderSize = block_format::kClusterNextKeyAt + block_format::kRowidSize;
static_assert(kClusterKeyHeaderSize == 19);
// A member row: flag, lock, column count, then the slot of its key row
// within table 0 (likely), then its own columns.
constexpr std::uint32_t kClusterMemberKeyIndexAt = 3;
constexpr std::uint32_t kClusterMemberHeaderSize = 4;

}  // namespace file_format
