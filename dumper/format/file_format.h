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
constexpr std::uint32_t kRootAddressAt = 96;         // 4 bytes: BOOTSTRAP$'s segment header, SYSTEM file only
constexpr std::uint32_t kCreationScnAt = 100;
constexpr std::uint32_t kTablespaceNumberAt = 332;   // 4 bytes
constexpr std::uint32_t kTablespaceNameLengthAt = 336;  // 2 bytes
constexpr std::uint32_t kTablespaceNameAt = 338;     // up to 30 bytes
constexpr std::uint32_t kTablespaceNameSize = 30;
constexpr std::uint32_t kRelativeFileAt = 368;       // 4 bytes
constexpr std::uint32_t kCheckpointScnAt = 484;
// An SCN in the file header: its 4-byte base, then its 2-byte wrap, as the
// cache header keeps them (assumed).
constexpr std::uint32_t kScnFieldBaseAt = 0;
constexpr std::uint32_t kScnFieldWrapAt = 4;

// ---------------------------------------------------------------------------
// Segment headers.
constexpr std::uint8_t kBlockTypeSegmentHeader = 0x10;       // freelist managed
constexpr std::uint8_t kBlockTypeSpaceSegmentHeader = 0x23;  // automatically managed (likely)
// The bitmap blocks an automatically managed segment starts with.
constexpr std::uint8_t kBlockTypeFirstLevelBitmap = 0x20;
constexpr std::uint8_t kBlockTypeSecondLevelBitmap = 0x21;
constexpr std::uint8_t kBlockTypeThirdLevelBitmap = 0x22;

constexpr std::uint32_t kExtentCountAt = 36;       // 4 bytes, both kinds
constexpr std::uint32_t kSegmentBlockCountAt = 40;  // 4 bytes, freelist segments
constexpr std::uint32_t kSegmentObjectAt = 100;     // 4 bytes, freelist segments (likely)
constexpr std::uint32_t kExtentMapAt = 108;         // freelist segments
constexpr std::uint32_t kSpaceExtentMapAt = 280;    // automatically managed segments (likely)
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
