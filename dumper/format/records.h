// What decoding a block yields: plain values that say what the block's
// headers and row pieces hold, with no trace of how they will be printed.
// Printers turn them into text, CSV or JSON.
#pragma once

#include <cstdint>

#include "format/block_format.h"
#include "format/byte_view.h"

// The cache and transaction header fields every block has.
struct BlockHeader {
    std::uint8_t block_type = 0;
    std::uint8_t format = 0;
    std::uint32_t address = 0;
    std::uint32_t scn_base = 0;
    std::uint16_t scn_wrap = 0;
    std::uint8_t sequence = 0;
    std::uint8_t flags = 0;
    std::uint16_t checksum = 0;
    std::uint8_t layer_type = 0;
    std::uint32_t object_id = 0;
    std::uint8_t itl_count = 0;

    std::uint64_t scn() const { return (static_cast<std::uint64_t>(scn_wrap) << 32) | scn_base; }
};

// One slot of the interested transaction list.
struct ItlSlot {
    std::uint16_t undo_segment = 0;
    std::uint16_t undo_slot = 0;
    std::uint32_t undo_sequence = 0;
    std::uint32_t uba_block = 0;
    std::uint16_t uba_sequence = 0;
    std::uint8_t uba_record = 0;
    std::uint16_t flag_lock = 0;
    std::uint16_t scn_wrap = 0;
    std::uint32_t scn_base = 0;

    std::uint8_t flags() const { return static_cast<std::uint8_t>(flag_lock >> block_format::kItlFlagShift); }
    std::uint16_t lock_count() const { return flag_lock & block_format::kItlLockMask; }
};

// The data header, where it lies, and the directories after it.
struct DataHeader {
    std::uint32_t offset = 0;  // from the block start
    bool extended = false;     // behind the segment space extension
    std::uint8_t table_count = 0;
    std::uint16_t row_count = 0;
    std::uint16_t free_space_start = 0;
    std::uint16_t free_space_end = 0;
    std::uint16_t second_row_count = 0;  // the first table directory entry's
    std::uint32_t table_directory = 0;   // from the block start
    std::uint32_t row_directory = 0;     // from the block start
};

// How far a block was decoded, and why it stopped there.
enum class BlockOutcome : std::uint8_t {
    NotData,                    // its layer is not the data layer: nothing more is read
    Listed,                     // a data block in the SCN listing: its rows are not read
    Walked,                     // a data block whose row pieces follow
    DataHeaderOutOfBounds,      // the data header does not fit in the block
    TableDirectoryOutOfBounds,  // the table directory does not fit
    RowDirectoryOutOfBounds,    // the row directory would start past the block
};

inline bool is_fatal(BlockOutcome outcome)
{
    return outcome == BlockOutcome::DataHeaderOutOfBounds || outcome == BlockOutcome::TableDirectoryOutOfBounds ||
           outcome == BlockOutcome::RowDirectoryOutOfBounds;
}

// A row directory entry that leads to no piece, and why.
enum class EntryProblem : std::uint8_t {
    BeyondBlock,     // the entry itself lies past the block: the rest of the directory is abandoned
    PieceOutOfBlock  // it points past the block
};

struct DirectoryEntry {
    std::uint32_t slot = 0;
    std::uint16_t entry = 0;
    EntryProblem problem = EntryProblem::BeyondBlock;
};

enum class Walk : std::uint8_t { Directory, Heap };

// One column of a row piece: where its value lies in the block, and how
// much of it lies inside the block.
enum class PrefixKind : std::uint8_t { Short, Long, Null };
struct ColumnRecord {
    std::uint32_t value_at = 0;   // where the value starts, from the block start
    std::uint16_t announced = 0;  // the length the prefix gives
    std::uint16_t size = 0;       // the bytes of it that lie inside the block
    PrefixKind prefix = PrefixKind::Short;

    bool is_null() const { return prefix == PrefixKind::Null; }
    bool truncated() const { return size < announced; }
    // The value's bytes, in the block they were read from.
    ByteView value(const BlockView& block) const { return block.bytes.sub(value_at, size); }
};

constexpr std::uint32_t kMaxColumns = 255;  // the column count is one byte
// The most columns a table, and so a whole row, has.
constexpr std::uint32_t kMaxRowColumns = 1000;

// A column's value wherever its bytes lie: in a block, or joined from two
// pieces. What the export formats and the unload print.
struct ColumnValue {
    ByteView bytes;           // what there is of it
    std::uint32_t readable;   // bytes from bytes.data() on that may be read (at least its size)
    std::uint16_t announced;  // the length its prefix gives
    bool null;

    bool truncated() const { return bytes.size() < announced; }
    // A column of a piece, in the block it lies in.
    static ColumnValue of(const BlockView& block, const ColumnRecord& column)
    {
        const std::uint32_t readable =
            column.value_at <= block.size() ? static_cast<std::uint32_t>(block.size() - column.value_at) : 0;
        return {column.value(block), readable, column.announced, column.is_null()};
    }
};

struct RowPieceRecord {
    Walk walk = Walk::Directory;
    std::int32_t slot = -1;       // the directory entry that points at it, -1 when none does (or unknown)
    std::uint32_t offset = 0;     // of its flag byte, from the block start
    std::uint16_t row_offset = 0;  // from the data header start
    std::uint8_t flags = 0;
    std::uint8_t lock = 0;
    std::uint8_t column_count = 0;
    std::uint8_t row_class = 0;  // 1 to 17
    // A deleted row (class 2) right after the previous directory entry, or
    // whose column count looks like a flag byte, is taken as no row at all.
    bool no_row = false;
    bool walked = false;  // its class has columns, and they were walked
    std::uint8_t header_length = 0;  // where the columns start, when walked

    bool has_hrid = false;
    bool has_nrid = false;
    std::uint8_t hrid[block_format::kRowidSize] = {};
    std::uint8_t nrid[block_format::kRowidSize] = {};
    std::uint8_t key_index = 0;  // a cluster member's key row, within table 0 (read by flag bits only)
    // A cluster key's counts and neighbours (class 1).
    std::uint16_t curc = 0;
    std::uint16_t comc = 0;
    std::uint8_t previous_key[block_format::kRowidSize] = {};
    std::uint8_t next_key[block_format::kRowidSize] = {};

    // The columns walked: all `column_count` of them when complete; when the
    // piece runs past the block end, those that start inside it. They are
    // kept apart, in whatever walks the pieces.
    std::uint32_t columns_found = 0;
    bool complete = true;
    std::uint32_t value_bytes = 0;  // the value bytes of all columns found

    bool deleted() const { return (flags & block_format::kFlagD) != 0; }
};
// A piece's columns fit the arrays of kMaxColumns records the walks and
// printers keep: its count is one byte.
static_assert(sizeof(RowPieceRecord::column_count) == 1 && kMaxColumns == 255);
