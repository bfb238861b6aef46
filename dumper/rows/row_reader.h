// Whole rows: a row starts at a head piece (the H bit) and goes on through
// the pieces its NRIDs name, in whichever block of whichever data file they
// lie; a value cut between two pieces (N on one, P on the next) is joined;
// a migrated row is the row stored where its stub points; a cluster
// member's row starts with the key columns of the key row it names. A row
// keeps the blocks its values lie in alive for as long as it is kept.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "format/records.h"
#include "format/rowid.h"
#include "read/block_decoder.h"
#include "read/data_file.h"

// One piece as the row reader reads it: by its flag bits, not by the class
// the dumper's literal output gives it (see row_piece_layout).
struct RowPart {
    RowPieceRecord piece;
    std::array<ColumnRecord, kMaxColumns> columns;

    bool has(std::uint8_t bits) const { return (piece.flags & bits) == bits; }
    // Its rowids, read as the addresses of its block's file (`layout`) are.
    Rowid hrid(AddressLayout layout) const { return read_rowid(piece.hrid, layout); }
    Rowid nrid(AddressLayout layout) const { return read_rowid(piece.nrid, layout); }
    std::span<const ColumnRecord> found() const { return {columns.data(), piece.columns_found}; }
};
void read_row_part(const BlockView& block, std::uint32_t offset, RowPart& part);

// The piece a row directory slot points at, or false when the slot is past
// the directory, empty, or points outside the block.
bool piece_at_slot(const DecodedBlock& block, std::uint32_t slot, std::uint32_t& offset);
// The table of a cluster block that row directory slot `slot` belongs to;
// nothing when the block is not a cluster block's.
std::optional<std::uint32_t> cluster_table_of(const DecodedBlock& block, std::uint32_t slot);

// How a row's chain of pieces ended.
enum class Chain : std::uint8_t {
    Single,        // one piece holds it
    Complete,      // several pieces, all found
    MissingPiece,  // an NRID names a block outside the files, one that cannot be read, an empty
                   // slot, or a piece that does not continue the row
    Loop,          // an NRID leads back to a piece already read
    TooLong,       // more pieces than a row can have
    Orphan,        // a piece without a head: its head was lost, or it is a stale copy
};
std::string_view chain_name(Chain chain);

// Where a piece lies; slot -1 when no directory entry points at it.
struct PieceAt {
    std::uint32_t file = 0;
    std::int32_t block = 0;
    std::int32_t slot = -1;
    std::uint16_t source = 0;  // its file's place in the run's files (Block::source)
    AddressLayout layout = AddressLayout::Smallfile;  // of its file's addresses

    // The rowid that names it.
    Rowid rowid() const
    {
        return {file, static_cast<std::uint32_t>(block), static_cast<std::uint32_t>(slot), layout};
    }
};

struct Row {
    PieceAt head;                                // the head piece (or the orphan piece)
    std::uint32_t object_id = 0;                 // the data object number of the head's block
    std::optional<std::uint32_t> cluster_table;  // a cluster member's table
    std::uint64_t scn = 0;                       // of the head's block
    bool deleted = false;                        // the head's D bit
    std::vector<PieceAt> pieces;                 // in the order read, the head first
    Chain chain = Chain::Single;
    bool values_cut_short = false;  // a piece runs past its block's end
    std::vector<ColumnValue> values;

    // A directory slot points at the head: the row has a rowid.
    bool has_rowid() const { return chain != Chain::Orphan && head.slot >= 0; }
    bool complete() const
    {
        return (chain == Chain::Single || chain == Chain::Complete) && !values_cut_short;
    }

    // What keeps the values' bytes alive: the blocks they lie in, and the
    // values that were cut between pieces, joined.
    std::vector<Block> blocks;
    std::vector<std::vector<std::uint8_t>> joined;
};

// Whether a piece the walk found starts a row: it has the H bit and is no
// cluster key row (key rows are not rows of their own).
bool starts_row(const RowPieceRecord& piece);

class RowReader {
public:
    explicit RowReader(DataFileSet& files) : files_(files) {}

    // The row whose head piece a walk reading by flag bits found at `head`
    // in `block`, with `head_columns`. Without `with_values`, only its pieces
    // and how its chain ends.
    void read(const DecodedBlock& block, const RowPieceRecord& head, std::span<const ColumnRecord> head_columns,
              Row& row, bool with_values = true);
    // The same for a head piece of which only the place (offset and slot)
    // is known: it is read by its flag bits first.
    void read(const DecodedBlock& block, const RowPieceRecord& head, Row& row, bool with_values = true);
    // A piece no head reached, as a row of its own: the columns the walk
    // found in it.
    void read_orphan(const DecodedBlock& block, const RowPieceRecord& piece, std::span<const ColumnRecord> columns,
                     Row& row);

private:
    // Reads the piece `at`, held in a piece of `holder`, names into `part`;
    // false when it is missing.
    bool follow(const Block& holder, const Rowid& at, std::uint32_t object_id, DecodedBlock& block,
                std::uint32_t& offset);
    void add_values(const DecodedBlock& block, const RowPieceRecord& piece, std::span<const ColumnRecord> columns,
                    Row& row, bool joins_previous);
    void add_key_columns(const DecodedBlock& block, const RowPieceRecord& member, Row& row);

    DataFileSet& files_;
    RowPart head_;
    RowPart part_;
    RowPart key_;
};

// The pieces rows reach through NRIDs, so that those no row reaches can be
// told apart as orphans. A few bytes per chained or migrated row.
class ReachedPieces {
public:
    void add(const Row& row);
    // Those another pass, or another range of one, found.
    void add_all(const ReachedPieces& more) { pieces_.insert(more.pieces_.begin(), more.pieces_.end()); }
    bool contains(const PieceAt& piece) const;
    // A piece of a smallfile tablespace's file `file`.
    bool contains(std::uint32_t file, std::int32_t block, std::int32_t slot) const;

private:
    // Pieces of files of bigfile tablespaces, which all have the same
    // relative file number, are told apart by their files' places.
    static std::uint64_t key(const PieceAt& piece);
    std::unordered_set<std::uint64_t> pieces_;
};
