// The passes of the tables' modes over the blocks. Rows are read whole, as
// --rows reads them, from the heads the row directory points at and from
// the pieces that lie between the directory's pieces in the row heap. The
// rows of data objects no schema entry describes are sampled for
// inference; the others are written to their tables' files as they come,
// and the rows of the inferred tables in a pass of their own afterwards.
#pragma once

#include <array>
#include <map>
#include <memory>
#include <mutex>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "cli/block_pass.h"
#include "infer/object_inference.h"
#include "rows/row_reader.h"
#include "unload/block_accounting.h"
#include "unload/summary.h"
#include "unload/unload_plan.h"
#include "unload/unload_writer.h"

// The rows of the plan's tables whose schema does not describe every
// column they store: those the plan writes later (its schema says so), and
// those of the other tables that store more values than their columns
// account for. Each such table's rows are sampled, as inference samples an
// object's, and weighed; memory for its statistics only.
class UndescribedColumns {
public:
    explicit UndescribedColumns(const infer::Options& options)
        : shared_(std::make_shared<infer::SharedWork>(options))
    {
    }

    // A row of the plan's table `index`: each row of a table written
    // later, and each row of another that is wider than its columns, in
    // reading order. Its width is noted, and it is weighed when sampled.
    void add(std::size_t index, std::span<const ColumnValue> values);

    // After the first pass: gives each table sampled, and each written
    // later, all its columns (UnloadPlan::complete_columns); returns them,
    // whose files (those the first pass wrote of a table found wider) are
    // to be written anew.
    std::vector<std::size_t> complete(unload::UnloadPlan& plan) const;
    // The same for a schema (--ddl --infer), whose tables the plan holds
    // in the same order.
    void complete(const unload::UnloadPlan& plan, schema::Schema& schema) const;

private:
    struct Sampled {
        explicit Sampled(std::shared_ptr<infer::SharedWork> shared) : stats(std::move(shared)) {}
        std::uint32_t widest = 0;
        infer::RowSampler sampler;
        infer::ObjectStats stats;
    };
    std::vector<schema::Column> inferred(std::size_t index) const;

    std::shared_ptr<infer::SharedWork> shared_;
    std::map<std::size_t, Sampled> tables_;
    std::vector<std::optional<ByteView>> values_;
};

// What the writing pass finds besides the rows it writes: the samples of
// the rows inference weighs, and the blocks read, for the accounting of
// the tables' blocks.
class PassFindings {
public:
    virtual ~PassFindings() = default;
    // Called for each row of a data object the plan does not describe, in
    // reading order: true when the row is sampled, and then given to sample().
    virtual bool keep(std::uint32_t object, std::optional<std::uint32_t> cluster_table) = 0;
    virtual void sample(std::uint32_t object, std::optional<std::uint32_t> cluster_table,
                        std::span<const ColumnValue> values) = 0;
    // A row of the plan's table `table` whose columns the plan does not all
    // describe (UndescribedColumns::add).
    virtual void undescribed(std::size_t table, std::span<const ColumnValue> values) = 0;
    // A block read at `block` of relative file `file` (BlockAccounting::note).
    virtual void block_read(std::uint32_t file, std::uint32_t block, const BlockChecks& checks, bool rows_read) = 0;
    // Whether the head at `slot` of a block a sample could take is only
    // noted by defer(), to be decided, and read if taken, once the rows
    // before it are known, rather than read now and given to keep().
    virtual bool defers() const { return false; }
    virtual void defer(std::uint32_t /*object*/, std::optional<std::uint32_t> /*cluster_table*/,
                       const Block& /*block*/, std::uint32_t /*slot*/)
    {
    }
};


// Findings handed straight on, as one thread reads the blocks in order.
class DirectFindings final : public PassFindings {
public:
    DirectFindings(infer::ObjectInference& inference, UndescribedColumns& undescribed,
                   unload::BlockAccounting* accounting)
        : inference_(inference), undescribed_(undescribed), accounting_(accounting)
    {
    }
    bool keep(std::uint32_t object, std::optional<std::uint32_t> cluster_table) override
    {
        return inference_.keep(object, cluster_table);
    }
    void sample(std::uint32_t object, std::optional<std::uint32_t> cluster_table,
                std::span<const ColumnValue> values) override
    {
        inference_.add(object, cluster_table, values);
    }
    void undescribed(std::size_t table, std::span<const ColumnValue> values) override
    {
        undescribed_.add(table, values);
    }
    void block_read(std::uint32_t file, std::uint32_t block, const BlockChecks& checks, bool rows_read) override
    {
        if (accounting_ != nullptr) accounting_->note(file, block, checks, rows_read);
    }

private:
    infer::ObjectInference& inference_;
    UndescribedColumns& undescribed_;
    unload::BlockAccounting* accounting_;
};

// The findings of one range of blocks, kept in reading order until the
// ranges before it are done, then handed on. Which rows are sampled is
// decided then: every row a sample could take is kept until then, its
// values copied (a range's are bounded by its blocks).
class RangeFindings final : public PassFindings {
public:
    // With `deferring`, the heads a sample could take are noted by their
    // place and read only if taken (SampleVisitor): the rows a sample takes
    // are few, and reading every one of them kept two workers slower than one.
    explicit RangeFindings(bool deferring = false) : deferring_(deferring) {}
    bool keep(std::uint32_t, std::optional<std::uint32_t>) override { return true; }
    void sample(std::uint32_t object, std::optional<std::uint32_t> cluster_table,
                std::span<const ColumnValue> values) override;
    void undescribed(std::size_t table, std::span<const ColumnValue> values) override;
    void block_read(std::uint32_t file, std::uint32_t block, const BlockChecks& checks, bool rows_read) override
    {
        blocks_.push_back({file, block, checks, rows_read});
    }
    bool defers() const override { return deferring_; }
    void defer(std::uint32_t object, std::optional<std::uint32_t> cluster_table, const Block& block,
               std::uint32_t slot) override;
    // Hands everything on to `findings`, in the order it came; a deferred
    // head taken is read from `files` (the run's own readers).
    void hand_on(PassFindings& findings, DataFileSet* files = nullptr) const;
    void clear();
    std::size_t held_bytes() const
    {
        return rows_.capacity() * sizeof(KeptRow) + values_.capacity() * sizeof(std::uint32_t) + bytes_.capacity() +
               blocks_.capacity() * sizeof(BlockRead) + heads_.capacity() * sizeof(HeadAt);
    }

private:
    // A row kept, its values following those of the rows before it in
    // values_: small, as a range keeps every row a sample could take.
    struct KeptRow {
        std::uint32_t object_or_table;  // the data object sampled, or the plan's table undescribed
        std::uint32_t cluster_table;
        std::uint32_t values;
        bool sampled;  // else undescribed
        bool clustered;
        bool deferred;  // read when taken, from where `at` says
    };
    struct HeadAt {
        std::uint16_t source;
        std::int32_t block;
        std::uint32_t slot;
    };
    // Each value's size, its bytes following the row's values before it
    // in bytes_; kNone for a NULL or empty one.
    static constexpr std::uint32_t kNone = UINT32_MAX;
    struct BlockRead {
        std::uint32_t file;
        std::uint32_t block;
        BlockChecks checks;
        bool rows_read;
    };
    void keep_row(KeptRow row, std::span<const ColumnValue> values);

    std::vector<KeptRow> rows_;
    std::vector<std::uint32_t> values_;
    std::vector<std::uint8_t> bytes_;
    std::vector<BlockRead> blocks_;
    std::vector<HeadAt> heads_;  // of the deferred rows, in order
    bool deferring_;
};

// Samples the rows of the data objects `plan` does not describe (--ddl
// --infer), and those of the tables it does not wholly describe, handing
// them to `findings`.
class SampleVisitor final : public BlockVisitor {
public:
    SampleVisitor(DataFileSet& files, const unload::UnloadPlan& plan, PassFindings& findings)
        : reader_(files), plan_(plan), findings_(findings)
    {
    }

    void load_failure(const LoadFailureRecord&) override {}
    bool block(const DecodedBlock& block) override;

private:
    RowReader reader_;
    const unload::UnloadPlan& plan_;
    PassFindings& findings_;
    Row row_;
};

// The sampling pass by ranges of blocks, read by several workers at once:
// what each range samples is handed on in order, as one thread samples.
class SampleRanges final : public RangeWork {
public:
    // `files`: the run's own readers, which read the rows a sample takes
    // as the ranges are taken.
    SampleRanges(const unload::UnloadPlan& plan, PassFindings& findings, DataFileSet& files);
    ~SampleRanges() override;
    std::unique_ptr<Part> start(DataFileSet& files, const RangeStart& range) override;
    bool finish(std::unique_ptr<Part> part) override;

private:
    class SamplePart;
    const unload::UnloadPlan& plan_;
    PassFindings& findings_;
    DataFileSet& files_;
    PartPool<SamplePart> idle_;
};

// The pieces a pass finds that no head starts, and those the rows it reads
// reach: those of the first no row reached are orphans.
struct PieceTrace {
    ReachedPieces reached;
    std::vector<PieceAt> headless;

    // Adds what a later range of the pass found.
    void add(const PieceTrace& later);
    std::uint64_t orphans() const;
};

// What walking a block's pieces needs, kept from block to block.
struct PieceScratch {
    struct Span {
        std::uint32_t start;
        std::uint32_t end;
    };
    std::vector<Span> spans;  // of the pieces the directory points at
    RowPieceRecord piece;     // one found between them
    std::array<ColumnRecord, kMaxColumns> columns;
};

// Writes rows to their tables' files.
class WriteVisitor final : public BlockVisitor {
public:
    enum class Rows : std::uint8_t {
        // Every row of a table the plan unloads now; the others of objects
        // it does not describe are sampled into `inference`, those of its
        // tables written later into `undescribed`. Blocks, damaged blocks,
        // rows and orphan pieces are counted.
        Described,
        // Only the rows of the tables the plan writes later: those inferred
        // since, and those whose columns have since been completed.
        Later,
    };

    WriteVisitor(DataFileSet& files, const unload::UnloadPlan& plan, unload::UnloadWriter& writer,
                 unload::UnloadSummary& summary, PassFindings& findings, Rows rows)
        : reader_(files), plan_(plan), writer_(writer), summary_(summary), findings_(findings), rows_(rows)
    {
    }

    void load_failure(const LoadFailureRecord&) override {}
    bool block(const DecodedBlock& block) override;

    // The pieces without a head, and those the rows read reach.
    const PieceTrace& pieces() const { return pieces_; }
    // Forgets the pieces, for a range of blocks after one already taken.
    void clear_pieces() { pieces_ = {}; }
    // Whether rows are written (and counted): not in a range of another
    // shard, read only for its findings and its pieces.
    void write_rows(bool writes) { writes_rows_ = writes; }

private:
    bool described_row(const DecodedBlock& block, const RowPieceRecord& piece, std::span<const ColumnRecord> columns,
                       unload::ObjectCounts& object);
    bool later_row(const DecodedBlock& block, const RowPieceRecord& piece, std::span<const ColumnRecord> columns);

    // Reads the row of a head: `facts_` and `values_` say what it is.
    void read(const DecodedBlock& block, const RowPieceRecord& piece, std::span<const ColumnRecord> columns,
              bool with_values);
    // The blocks of the hybrid columnar unit that starts in `block`, whose
    // pieces are then no orphans.
    std::uint64_t columnar_unit_blocks(const DecodedBlock& block);
    // `place`: the cluster table + 1, 0 for none.
    const unload::RowTarget* target_of(std::uint32_t object, std::uint32_t place);

    RowReader reader_;
    const unload::UnloadPlan& plan_;
    unload::UnloadWriter& writer_;
    unload::UnloadSummary& summary_;
    PassFindings& findings_;
    Rows rows_;
    bool writes_rows_ = true;
    PieceScratch scratch_;
    Row row_;
    // The row read: its facts and values, from `row_` or, for a row of one
    // piece, straight from the walk's columns into `single_`.
    unload::RowFacts facts_;
    std::span<const ColumnValue> values_;
    std::array<ColumnValue, kMaxColumns> single_;
    PieceTrace pieces_;
    // The last target looked up: the rows of a block mostly share it.
    bool looked_up_ = false;
    std::uint32_t last_object_ = 0;
    std::uint32_t last_place_ = 0;
    const unload::RowTarget* last_target_ = nullptr;
};

// The writing pass by ranges of blocks, read by several workers at once:
// each range's rows are written into files in memory, then appended in
// order to the unload's files, its counts and findings added as one
// thread would have added them.
class WriteRanges final : public RangeWork {
public:
    WriteRanges(const unload::UnloadPlan& plan, unload::UnloadWriter& writer, unload::UnloadSummary& summary,
                PassFindings& findings, WriteVisitor::Rows rows);
    ~WriteRanges() override;
    std::unique_ptr<Part> start(DataFileSet& files, const RangeStart& range) override;
    bool finish(std::unique_ptr<Part> part) override;
    // The first pass of a shard reads the other shards' ranges for what
    // the whole run decides (the types inferred, the blocks lost, the
    // orphans); the pass of the tables inferred reads only its own.
    bool reads_other_ranges() const override { return rows_ == WriteVisitor::Rows::Described; }
    // After the pass: the pieces of every range.
    const PieceTrace& pieces() const { return pieces_; }

private:
    class WritePart;
    const unload::UnloadPlan& plan_;
    unload::UnloadWriter& writer_;
    unload::UnloadSummary& summary_;
    PassFindings& findings_;
    WriteVisitor::Rows rows_;
    PieceTrace pieces_;
    PartPool<WritePart> idle_;
};
