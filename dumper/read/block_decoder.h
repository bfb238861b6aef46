// Decoding a block into records the caller owns: its headers, its data
// header, and the row pieces either walk finds, with their columns. Nothing
// here prints or reads a file; a decoded block keeps its bytes alive.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "format/records.h"
#include "read/data_file.h"

struct DecodedBlock {
    Block block;
    BlockHeader header;
    DataHeader data;  // decoded as far as `outcome` says
    BlockOutcome outcome = BlockOutcome::NotData;

    const BlockView& view() const { return block.view; }
};

// Where a piece's flag byte lies in its file.
inline std::uint64_t piece_file_offset(const DecodedBlock& block, const RowPieceRecord& piece)
{
    return block.block.file_offset + piece.offset;
}

// The header fields of a block; the data layer is left for decode_data_layer.
DecodedBlock decode_block_headers(Block block);
// The data header of a data block, checked to fit with the directories
// after it; with `list_only` (the SCN listing) it is located but not checked,
// since the rows will not be read.
void decode_data_layer(DecodedBlock& block, bool list_only);

// A row directory entry that points at a piece: the offset it holds.
struct SlotEntry {
    std::uint16_t row_offset;
    std::uint32_t slot;
};

// What a walk finds in one block, in the order it finds it: row pieces, and
// row directory entries that lead to no piece. Reused from block to block.
struct WalkStep {
    enum class Kind : std::uint8_t { Piece, Entry };
    Kind kind;
    std::uint32_t index;  // into `pieces` or `entries`
};
struct BlockWalk {
    std::vector<WalkStep> steps;
    std::vector<RowPieceRecord> pieces;
    std::vector<ColumnRecord> columns;  // every piece's, from its first_column on
    std::vector<DirectoryEntry> entries;
    std::vector<SlotEntry> slot_index;  // the heap walk's scratch

    std::span<const ColumnRecord> columns_of(const RowPieceRecord& piece) const
    {
        return {columns.data() + piece.first_column, piece.columns_found};
    }
    void clear();
};

// A deleted row right after the previous directory entry is taken as no
// row: the directory walk carries that entry's offset from one block to
// the next, as the dumper always has.
struct DirectoryWalkCarry {
    std::uint16_t previous_row_offset = 0;
};

// The pieces the row directory points at, in directory order.
void walk_row_directory(const DecodedBlock& block, DirectoryWalkCarry& carry, BlockWalk& walk);
// The pieces of the row heap, one after the other from the end of the free
// space, which also reaches pieces no directory entry points at. With
// `find_slots`, each piece's directory slot is looked up.
void walk_row_heap(const DecodedBlock& block, bool find_slots, BlockWalk& walk);

// Decodes the piece whose flag byte is at `offset` as the walks do, its
// columns appended to `columns`; returns the bytes its columns take (or its
// class's fixed count). `header_length` is the caller's: some classes leave
// it as it was.
int decode_row_piece(const BlockView& block, std::uint32_t offset, std::uint16_t row_offset,
                     std::uint16_t previous_row_offset, int& header_length, RowPieceRecord& piece,
                     std::vector<ColumnRecord>& columns);
// Reads the columns of a piece whose header is `header_length` bytes long,
// appending them to `columns`; returns the bytes they take.
int walk_columns(const BlockView& block, std::uint32_t offset, int header_length, RowPieceRecord& piece,
                 std::vector<ColumnRecord>& columns);
