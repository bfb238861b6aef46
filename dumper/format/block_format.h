// The layout of a data file block: every offset, size and flag bit that the
// dumper reads and the data file builder writes. Offsets are bytes from the
// start of the block, or from the start of the structure they belong to
// where the name says so. Multi-byte header fields are stored in the file's
// byte order; rowids and column values are the same in both orders.
#pragma once

#include <cstdint>

namespace block_format {

// ---------------------------------------------------------------------------
// Cache header: the first 20 bytes of every block.
constexpr std::uint32_t kBlockTypeAt = 0;
constexpr std::uint32_t kFormatAt = 1;        // encodes the block size in its top three bits
constexpr std::uint32_t kAddressAt = 4;       // 4 bytes: file number (top 10 bits), block (low 22)
constexpr std::uint32_t kScnBaseAt = 8;       // 4 bytes
constexpr std::uint32_t kScnWrapAt = 12;      // 2 bytes
constexpr std::uint32_t kSequenceAt = 14;
constexpr std::uint32_t kFlagsAt = 15;
constexpr std::uint32_t kChecksumAt = 16;     // 2 bytes
constexpr std::uint32_t kCacheHeaderSize = 20;

constexpr std::uint8_t kFlagHasChecksum = 0x04;
constexpr std::uint32_t kAddressBlockBits = 22;
constexpr std::uint32_t kAddressBlockMask = (1u << kAddressBlockBits) - 1;
// Format bytes whose top three bits are zero carry no block size.
constexpr std::uint32_t kFormatSizeShift = 5;
constexpr std::uint32_t kFormatSizeUnit = 256;  // the size is this shifted left by the top bits
constexpr std::uint8_t kFormatLowBits = 0x02;

constexpr std::uint8_t kBlockTypeData = 6;
constexpr std::uint8_t kBlockTypeFileHeader = 11;

// The last 4 bytes of a block repeat part of its header: read as one 4-byte
// field, (SCN base & 0xFFFF) << 16 | block type << 8 | sequence.
constexpr std::uint32_t kTailSize = 4;
constexpr std::uint32_t tail_value(std::uint32_t scn_base, std::uint8_t block_type, std::uint8_t sequence)
{
    return (scn_base & 0xFFFFu) << 16 | static_cast<std::uint32_t>(block_type) << 8 | sequence;
}

// The format byte of a block of `block_size` bytes (a power of two from 512
// to 32768).
constexpr std::uint8_t format_byte(std::uint32_t block_size)
{
    std::uint32_t bits = 0;
    while ((kFormatSizeUnit << bits) < block_size) ++bits;
    return static_cast<std::uint8_t>(bits << kFormatSizeShift | kFormatLowBits);
}
// The block size a format byte gives, or 0 when it gives none.
constexpr std::uint32_t format_block_size(std::uint8_t format)
{
    const std::uint32_t bits = format >> kFormatSizeShift;
    return bits == 0 ? 0 : kFormatSizeUnit << bits;
}
static_assert(format_byte(8192) == 0xA2 && format_byte(16384) == 0xC2 && format_byte(32768) == 0xE2);

// ---------------------------------------------------------------------------
// Transaction header: 24 bytes after the cache header, then the ITL slots.
constexpr std::uint32_t kLayerTypeAt = 20;
constexpr std::uint32_t kObjectIdAt = 24;     // 4 bytes: the data object number
constexpr std::uint32_t kItlCountAt = 36;     // 2 bytes; the dumper reads the low byte
constexpr std::uint32_t kTransactionHeaderSize = 24;

constexpr std::uint8_t kLayerData = 1;
constexpr std::uint8_t kLayerIndex = 2;

// Interested transaction list: one 24-byte slot per transaction, from here.
constexpr std::uint32_t kItlSlotsAt = kCacheHeaderSize + kTransactionHeaderSize;
constexpr std::uint32_t kItlSlotSize = 24;
// Fields of a slot, from its start.
constexpr std::uint32_t kItlUndoSegmentAt = 0;   // 2 bytes: transaction id, undo segment
constexpr std::uint32_t kItlUndoSlotAt = 2;      // 2 bytes: transaction id, slot
constexpr std::uint32_t kItlUndoSequenceAt = 4;  // 4 bytes: transaction id, sequence
constexpr std::uint32_t kItlUbaBlockAt = 8;      // 4 bytes: undo block address
constexpr std::uint32_t kItlUbaSequenceAt = 12;  // 2 bytes
constexpr std::uint32_t kItlUbaRecordAt = 14;    // 1 byte, then one pad byte
constexpr std::uint32_t kItlFlagLockAt = 16;     // 2 bytes: flags (top 4 bits), lock count (low 12)
constexpr std::uint32_t kItlScnWrapAt = 18;      // 2 bytes: commit SCN or free space credit
constexpr std::uint32_t kItlScnBaseAt = 20;      // 4 bytes
constexpr std::uint16_t kItlLockMask = 0x0FFF;
constexpr std::uint32_t kItlFlagShift = 12;
// Blocks of automatically managed segments carry 8 more bytes after the ITL
// slots, which moves the data header down.
constexpr std::uint32_t kSegmentSpaceExtension = 8;

constexpr std::uint32_t data_header_offset(std::uint32_t itl_slots, bool extended)
{
    return kItlSlotsAt + kItlSlotSize * itl_slots + (extended ? kSegmentSpaceExtension : 0);
}

// ---------------------------------------------------------------------------
// Data header, from its start.
constexpr std::uint32_t kTableCountAt = 1;
constexpr std::uint32_t kRowCountAt = 2;             // 2 bytes
constexpr std::uint32_t kFirstFreeSlotAt = 4;        // 2 bytes
constexpr std::uint32_t kFreeSpaceStartAt = 6;       // 2 bytes, from the data header start
constexpr std::uint32_t kFreeSpaceEndAt = 8;         // 2 bytes, from the data header start
constexpr std::uint32_t kAvailableSpaceAt = 10;      // 2 bytes
constexpr std::uint32_t kDataHeaderSize = 14;

// Compressed blocks (BASIC and OLTP) have two tables, table 0 the symbols
// (sure), and this bit set in the data header's first byte, its flag byte
// (likely). Their data header is longer: its extension is not read.
constexpr std::uint32_t kDataHeaderFlagsAt = 0;
constexpr std::uint8_t kDataHeaderCompressed = 0x40;
constexpr std::uint8_t kCompressedTableCount = 2;
constexpr bool is_compressed_data_header(std::uint8_t flags, std::uint8_t table_count)
{
    return (flags & kDataHeaderCompressed) != 0 && table_count == kCompressedTableCount;
}

// The table directory follows the data header: 4 bytes per table, the
// second half of an entry being that table's row count.
constexpr std::uint32_t kTableEntrySize = 4;
constexpr std::uint32_t kTableRowCountAt = 2;
// The row directory follows it: 2 bytes per row, the offset of the row
// piece from the data header start.
constexpr std::uint32_t kRowEntrySize = 2;
constexpr std::uint16_t kEmptySlot = 0xFFFF;

// ---------------------------------------------------------------------------
// Row pieces: a flag byte, a lock byte, a column count, a header that depends
// on the piece's class, then the columns.
constexpr std::uint32_t kPieceFlagsAt = 0;
constexpr std::uint32_t kPieceLockAt = 1;
constexpr std::uint32_t kPieceColumnCountAt = 2;

enum FlagBit : std::uint8_t {
    kFlagK = 0x80,  // cluster key
    kFlagC = 0x40,  // cluster member
    kFlagH = 0x20,  // head piece of the row
    kFlagD = 0x10,  // deleted
    kFlagF = 0x08,  // first data piece
    kFlagL = 0x04,  // last data piece
    kFlagP = 0x02,  // first column continues from the previous piece
    kFlagN = 0x01,  // last column continues in the next piece
};
// The flag letters from the top bit down.
constexpr char kFlagLetters[] = "KCHDFLPN";

// A rowid in a piece header: 6 bytes, stored big-endian in every file.
constexpr std::uint32_t kRowidSize = 6;
// A cluster key piece's header: two 2-byte counts and the keys either side.
constexpr std::uint32_t kClusterCurcAt = 3;
constexpr std::uint32_t kClusterComcAt = 5;
constexpr std::uint32_t kClusterPreviousKeyAt = 7;
constexpr std::uint32_t kClusterNextKeyAt = 13;

// A hybrid columnar compression unit is one long row, the first of table 0,
// with H, F and N, chained over several blocks (sure). Its first column
// starts with the unit's header, which holds the magic "KDZ0" within its
// first bytes, in one byte order or the other (assumed).
constexpr std::uint8_t kColumnarUnitFlags = kFlagH | kFlagF | kFlagN;
constexpr std::uint32_t kColumnarMagic = 0x4B445A30;
constexpr std::uint32_t kColumnarMagicWithin = 16;

// Column length prefixes.
constexpr std::uint8_t kNullPrefix = 0xFF;  // NULL: no value bytes follow
constexpr std::uint8_t kLongPrefix = 0xFE;  // a 2-byte length follows
constexpr std::uint32_t kLongPrefixSize = 3;
constexpr std::uint32_t kMaxShortLength = 0xFD;

}  // namespace block_format
