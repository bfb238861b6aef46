// Whole rows laid out as row pieces in the blocks of one or more data
// files: ordinary, chained, migrated, wide and clustered rows, and broken
// chains, each returned with the truth of what was written (where its
// pieces lie, its values, the state a reader should find its chain in).
// It composes the Block and RowPiece primitives of datafile_builder.h.
#pragma once

#include <compare>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "datafile_builder.h"

namespace datafile {

// A block of a data file, by relative file number and block number.
struct BlockAddress {
    std::uint16_t file = kDefaultRelativeFile;
    std::uint32_t block = 0;

    friend auto operator<=>(const BlockAddress&, const BlockAddress&) = default;
};

// A row directory slot: what a rowid names.
struct RowAddress {
    std::uint16_t file = kDefaultRelativeFile;
    std::uint32_t block = 0;
    std::uint16_t slot = 0;

    BlockAddress block_address() const { return {file, block}; }
    friend auto operator<=>(const RowAddress&, const RowAddress&) = default;
};

// Where a piece lies; no slot for a piece no directory entry points at.
struct PieceAddress {
    std::uint16_t file = kDefaultRelativeFile;
    std::uint32_t block = 0;
    std::optional<std::uint16_t> slot;

    friend bool operator==(const PieceAddress&, const PieceAddress&) = default;
};

// The 6 bytes a piece header holds for `at`.
Bytes rowid_bytes(const RowAddress& at);

// A column value: NULL, or its bytes as stored.
using Value = std::optional<Bytes>;

// A row as a table holds it: its column values in storage order.
struct LogicalRow {
    std::vector<Value> values;
    bool deleted = false;  // every piece carries the D bit
};

// The values a row stores: trailing NULLs are not stored at all.
std::vector<Value> stored_values(const std::vector<Value>& values);

// The state a reader following a row's pieces should find its chain in.
enum class Chain {
    Single,        // one piece holds the whole row
    Complete,      // several pieces, all found
    MissingBlock,  // an NRID names a block past its file's end
    MissingFile,   // an NRID names a file that is not given
    EmptySlot,     // an NRID names a slot whose directory entry is empty
    Loop,          // an NRID leads back to a piece already read
    Orphan,        // a piece without H that no head reaches
};
// How a row export names the state: "single", "complete", "missing piece",
// "loop" or "orphan".
std::string_view chain_field(Chain chain);

// What was written for one logical row.
struct RowTruth {
    std::optional<RowAddress> head;  // none for a copy no directory slot points at
    std::uint32_t data_object = 0;   // of the head's block (of the piece's, without a head)
    std::optional<std::uint8_t> cluster_table;  // a cluster member's table number
    std::vector<PieceAddress> pieces;           // in the order a reader follows them, the head first
    // The row's values in storage order (a cluster member's key columns
    // first), trailing NULLs dropped as stored. A broken row holds the values
    // of the pieces that can be read.
    std::vector<Value> values;
    bool deleted = false;
    Chain chain = Chain::Single;
};

// Where the row is cut between two pieces: the next piece starts at byte
// `offset` of stored column `column`. Offset 0 cuts between columns; any
// other offset cuts the value in two (N on the first piece, P on the next).
struct Cut {
    std::size_t column = 0;
    std::size_t offset = 0;
};

// What a formatted data block of a writer is like.
struct BlockFormat {
    std::uint32_t data_object = 100;
    std::uint8_t itl_slots = 2;
    bool segment_space_extension = false;  // blocks of automatically managed segments
};

// The blocks of data files being written, by relative file number. Blocks
// never touched are written unformatted (all zeros).
class FileSet {
public:
    explicit FileSet(std::uint32_t block_size = 8192, ByteOrder order = ByteOrder::Little)
        : block_size_(block_size), order_(order)
    {
    }

    std::uint32_t block_size() const { return block_size_; }
    ByteOrder byte_order() const { return order_; }

    // The block at `at`, created unformatted when new. Change its header
    // fields here; rows go in through the functions below, which keep count
    // of the space they use.
    Block& block(BlockAddress at);
    const Block* find(BlockAddress at) const;
    // The data block at `at`, formatted as `format` says (with `table_count`
    // tables) when it is unformatted; throws when it holds another object.
    Block& data_block(BlockAddress at, const BlockFormat& format, std::uint8_t table_count = 1);
    // Formats the block at `at` afresh, dropping what it held: a block that
    // a new generation of a table reuses.
    Block& reformat(BlockAddress at, const BlockFormat& format);
    // A block of another kind: its whole image.
    void put_image(BlockAddress at, Bytes image);

    // Bytes still free in a data block for pieces and their directory entries.
    std::uint32_t free_space(BlockAddress at) const;
    // The directory slots the block has so far.
    std::uint16_t slot_count(BlockAddress at) const;
    // Appends `piece` to the block, in a new directory slot, and returns it.
    RowAddress append_piece(BlockAddress at, RowPiece piece);
    // A new directory slot that points at no piece.
    RowAddress append_empty_slot(BlockAddress at);
    // Appends `piece` to the block's heap with no directory slot.
    void append_stale_piece(BlockAddress at, RowPiece piece);

    // One past the highest block written to the file.
    std::uint32_t block_count(std::uint16_t relative_file) const;
    // The file with at least `block_count` blocks.
    File file(std::uint16_t relative_file, std::uint32_t block_count = 0) const;
    // Writes the file, of at least `block_count` blocks, to `path` with only
    // the blocks written so far in it and holes between them (unformatted
    // blocks, all zeros): a file of millions of blocks in little memory and
    // disk. Throws when the file system refuses.
    void write_sparse(const std::string& path, std::uint16_t relative_file, std::uint64_t block_count = 0) const;

private:
    struct Entry {
        Block block;
        std::uint32_t piece_bytes = 0;  // the encoded pieces the block holds
        std::uint16_t slots = 0;        // its directory slots, empty ones too
    };
    Entry& entry(BlockAddress at);
    const Entry& existing(BlockAddress at) const;

    std::uint32_t block_size_;
    ByteOrder order_;
    std::map<std::uint16_t, std::map<std::uint32_t, Entry>> files_;
};

// Gives the blocks a writer fills, one after another.
using BlockSource = std::function<BlockAddress()>;

// A cluster member row: the member's own columns (the key columns are not
// repeated) and its table number in the cluster (1 and up).
struct ClusterMember {
    std::uint8_t table = 1;
    LogicalRow row;
};
// A cluster key's columns and the member rows of every table that share it.
struct ClusterKey {
    std::vector<Value> key;
    std::vector<ClusterMember> members;
};

// How a broken chain breaks, after its head piece.
enum class Break {
    MissingBlock,  // the NRID names `next`, a block the files do not hold
    MissingFile,   // the NRID names `next` in a relative file that is not written
    EmptySlot,     // the NRID names a new empty slot of block `next`
    Loop,          // the row's second half lies in `next`, whose NRID names the head again
};

// Lays out the logical rows of one data object in a FileSet.
class RowWriter {
public:
    RowWriter(FileSet& files, BlockFormat format) : files_(files), format_(format) {}

    // Whether `row` fits in block `at` as an ordinary row (as a wide row's
    // pieces, with more than 255 stored columns), leaving `keep_free` bytes
    // free.
    bool fits(BlockAddress at, const LogicalRow& row, std::uint32_t keep_free = 0);

    // One piece, H F L (0x2C).
    RowTruth ordinary(BlockAddress at, const LogicalRow& row);
    // A row too long for a block: one piece in each block of `blocks`, the
    // head first (H F, with an NRID), the middle ones with an NRID and
    // neither H nor L, the last with L. Without `cuts` each piece but the
    // last fills what is free in its block, cutting the value that does not
    // fit in two.
    RowTruth chained(const std::vector<BlockAddress>& blocks, const LogicalRow& row, std::vector<Cut> cuts = {});
    // The same with the head in `head` and as many more blocks from `more`
    // as the rest needs.
    RowTruth chained(BlockAddress head, const BlockSource& more, const LogicalRow& row);
    // A row that moved: the head stays in `head` as a stub (H, no columns,
    // an NRID); the row lies in `row_blocks`: one piece F L with the head's
    // rowid (HRID) when there is one block, a chain starting with an F piece
    // carrying the HRID and an NRID when there are more.
    RowTruth migrated(BlockAddress head, const std::vector<BlockAddress>& row_blocks, const LogicalRow& row,
                      std::vector<Cut> cuts = {});
    // The same with the row in as many blocks from `more` as it needs.
    RowTruth migrated(BlockAddress head, const BlockSource& more, const LogicalRow& row);
    // A row that moved twice: its first copy in `earlier` is gone (its slot
    // emptied) and the stub names where it lies now.
    RowTruth migrated_twice(BlockAddress head, BlockAddress earlier, BlockAddress now, const LogicalRow& row);
    // A row of more than 255 stored columns: the last piece holds the last
    // 255 (L), the ones before 255 each (flag byte 0 with an NRID), the head
    // (H F with an NRID) the first ones. One block: they share it; else one
    // block per piece, the head's first. Pieces are written last first.
    RowTruth wide(const std::vector<BlockAddress>& blocks, const LogicalRow& row);
    // A chain that breaks after its head piece in `head`, as `how` says.
    RowTruth broken(BlockAddress head, BlockAddress next, Break how, const LogicalRow& row);
    // A copy of the whole row that no directory slot points at, not deleted:
    // what an update leaves behind. Only a heap walk finds it.
    RowTruth stale_copy(BlockAddress at, const LogicalRow& row);
    // A copy of a migrated row (F L with the HRID of `head`) that no slot
    // points at and no head reaches.
    RowTruth orphan_copy(BlockAddress at, const RowAddress& head, const LogicalRow& row);

    // Writes cluster keys with their members into blocks of `table_count`
    // tables (the key table and the member tables) that `next_block` gives,
    // one after another: a key whose members do not all fit goes on in the
    // next block under a key row of its own, the key rows naming each other
    // as previous and next. Returns the truth of every member row, in order.
    std::vector<RowTruth> cluster(const BlockSource& next_block, std::uint8_t table_count,
                                  const std::vector<ClusterKey>& keys);

private:
    struct PlannedPiece;
    RowTruth write_chain(std::vector<PlannedPiece> pieces, const LogicalRow& row, bool last_first);
    std::vector<Cut> plan_cuts(std::vector<BlockAddress>& blocks, const BlockSource* more,
                               const std::vector<Value>& values, bool stub_first);

    FileSet& files_;
    BlockFormat format_;
};

// How an inserter lays a row out.
enum class RowShape {
    Ordinary,   // one piece, or a wide row's pieces in one block
    Chained,    // the head in the current block, the rest in blocks the source gives
    Migrated,   // a stub in the current block, the row in blocks the source gives
    StaleCopy,  // a copy in the current block that no slot points at
};

// Fills blocks one after another with rows, as inserts into a table do: a
// row goes into the current block while it fits with `keep_free` bytes to
// spare, else into the next block the source gives.
class HeapInserter {
public:
    HeapInserter(RowWriter& writer, BlockSource next_block, std::uint32_t keep_free = 0)
        : writer_(writer), next_block_(std::move(next_block)), keep_free_(keep_free)
    {
    }

    RowTruth insert(const LogicalRow& row, RowShape shape = RowShape::Ordinary);
    // The block rows go into now, taken from the source when there is none.
    BlockAddress current();
    // Moves on to the next block of the source.
    BlockAddress advance();

private:
    RowWriter& writer_;
    BlockSource next_block_;
    std::uint32_t keep_free_;
    std::optional<BlockAddress> current_;
};

// A large file of ordinary rows of the benchmark's six columns (see
// bench_template) in which about one row in a hundred is chained over two
// blocks or migrated to the next block. It is built some blocks at a time,
// in constant memory; block 0 is a file header block.
void write_chained_bench_file(const std::string& path, std::uint64_t block_count, std::uint32_t block_size,
                              ByteOrder order = ByteOrder::Little);

}  // namespace datafile
