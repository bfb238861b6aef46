// Decoding a block into records the caller owns: its headers, its data
// header, and the row pieces either walk finds, with their columns. Nothing
// here prints or reads a file; a decoded block keeps its bytes alive.
#pragma once

#include <array>
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

// A deleted row right after the previous directory entry is taken as no
// row: the directory walk carries that entry's offset from one block to
// the next, as the dumper always has.
struct DirectoryWalkCarry {
    std::uint16_t previous_row_offset = 0;
};

// Steps through the row pieces of a decoded data block, one at a time, in
// the order either walk finds them: by its row directory, or through its
// row heap from the end of the free space, which also reaches pieces no
// directory entry points at. The caller loops; each step is a row piece
// (with its columns) or a directory entry that leads to no piece.
// How a walk reads each piece: by the literal classes of the dumper's own
// output, or by the flag bits, as a reader of whole rows does.
// Headers reads them by the flag bits too but walks no column: enough for
// the directory walk of a pass that only follows chains (the heap walk
// needs each piece's length, which its columns give).
enum class PieceReading : std::uint8_t { Literal, ByFlagBits, Headers };

class PieceWalk {
public:
    enum class Step : std::uint8_t { Piece, Entry, End };

    // The directory walk.
    PieceWalk(const DecodedBlock& block, DirectoryWalkCarry& carry, PieceReading reading = PieceReading::Literal);
    // The heap walk; with `slot_index`, each piece's directory slot is
    // looked up (the vector is the caller's scratch, reused).
    PieceWalk(const DecodedBlock& block, std::vector<SlotEntry>* slot_index,
              PieceReading reading = PieceReading::Literal);
    PieceWalk(const PieceWalk&) = delete;
    PieceWalk& operator=(const PieceWalk&) = delete;

    Step next();
    // After Step::Piece.
    const RowPieceRecord& piece() const { return current().piece; }
    std::span<const ColumnRecord> columns() const
    {
        return {current().columns.data(), current().piece.columns_found};
    }
    // After Step::Entry.
    const DirectoryEntry& entry() const { return current().entry; }

private:
    // One step, decoded. The walk decodes one step ahead of the one it
    // returns: the caller's work on a piece then overlaps the decoding of
    // the next, whose column lengths are a chain of dependent reads.
    struct Found {
        Step step = Step::End;
        RowPieceRecord piece;
        DirectoryEntry entry;
        std::array<ColumnRecord, kMaxColumns> columns;
    };
    const Found& current() const { return found_[current_]; }
    void decode_ahead();
    Step in_directory(Found& found);
    Step in_heap(Found& found);

    int decode(const BlockView& view, std::uint32_t offset, std::uint16_t row_offset, std::uint16_t previous,
               int& header_length, Found& found) const;

    const DecodedBlock& block_;
    PieceReading reading_;
    DirectoryWalkCarry* carry_ = nullptr;
    const std::vector<SlotEntry>* slot_index_ = nullptr;
    bool heap_ = false;
    std::uint32_t index_ = 0;     // the directory walk's next entry
    std::uint32_t position_ = 0;  // the heap walk's next piece, from the end of the free space
    int header_length_ = 0;       // the heap walk's, carried from piece to piece
    bool ended_ = false;
    Found found_[2];
    unsigned current_ = 1;        // found_[1 - current_] holds the next step
};

// Decodes the piece whose flag byte is at `offset` as the walks do, its
// columns written to `columns` (room for kMaxColumns); returns the bytes
// its columns take (or its class's fixed count). `header_length` is the
// caller's: some classes leave it as it was.
int decode_row_piece(const BlockView& block, std::uint32_t offset, std::uint16_t row_offset,
                     std::uint16_t previous_row_offset, int& header_length, RowPieceRecord& piece,
                     ColumnRecord* columns);
// Decodes the piece at `offset` by its flag bits (row_piece_layout): its
// rowids, a cluster member's key index, and its columns, written to
// `columns` (room for kMaxColumns). Returns the bytes the piece takes.
int decode_piece_by_flag_bits(const BlockView& block, std::uint32_t offset, std::uint16_t row_offset,
                              RowPieceRecord& piece, ColumnRecord* columns);
// The same without the columns: the header, its rowids and key index.
// Returns the header's length.
int decode_piece_header_by_flag_bits(const BlockView& block, std::uint32_t offset, std::uint16_t row_offset,
                                     RowPieceRecord& piece);
// Reads the columns of a piece whose header is `header_length` bytes long
// into `columns` (room for kMaxColumns); returns the bytes they take.
int walk_columns(const BlockView& block, std::uint32_t offset, int header_length, RowPieceRecord& piece,
                 ColumnRecord* columns);
