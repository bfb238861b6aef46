// The passes of the tables' modes over the blocks. Rows are read whole, as
// --rows reads them, from the heads the row directory points at and from
// the pieces that lie between the directory's pieces in the row heap. The
// rows of data objects no schema entry describes are sampled for
// inference; the others are written to their tables' files as they come,
// and the rows of the inferred tables in a pass of their own afterwards.
#pragma once

#include <array>
#include <map>
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
    explicit UndescribedColumns(const infer::Options& options) : options_(options) {}

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
        explicit Sampled(const infer::Options& options) : stats(options) {}
        std::uint32_t widest = 0;
        infer::RowSampler sampler;
        infer::ObjectStats stats;
    };
    std::vector<schema::Column> inferred(std::size_t index) const;

    infer::Options options_;
    std::map<std::size_t, Sampled> tables_;
    std::vector<std::optional<ByteView>> values_;
};

// Samples the rows of the data objects `plan` does not describe (--ddl
// --infer), and those of the tables it does not wholly describe.
class SampleVisitor final : public BlockVisitor {
public:
    SampleVisitor(DataFileSet& files, const unload::UnloadPlan& plan, infer::ObjectInference& inference,
                  UndescribedColumns& undescribed)
        : reader_(files), plan_(plan), inference_(inference), undescribed_(undescribed)
    {
    }

    void load_failure(const LoadFailureRecord&) override {}
    bool block(const DecodedBlock& block) override;

private:
    RowReader reader_;
    const unload::UnloadPlan& plan_;
    infer::ObjectInference& inference_;
    UndescribedColumns& undescribed_;
    Row row_;
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

    // `accounting`, when given, is told of every block the pass reads.
    WriteVisitor(DataFileSet& files, const unload::UnloadPlan& plan, unload::UnloadWriter& writer,
                 unload::UnloadSummary& summary, infer::ObjectInference& inference, UndescribedColumns& undescribed,
                 Rows rows, unload::BlockAccounting* accounting = nullptr)
        : reader_(files),
          plan_(plan),
          writer_(writer),
          summary_(summary),
          inference_(inference),
          undescribed_(undescribed),
          rows_(rows),
          accounting_(accounting)
    {
    }

    void load_failure(const LoadFailureRecord&) override {}
    bool block(const DecodedBlock& block) override;

    // After the pass: the pieces without a head that no row reached.
    std::uint64_t orphans() const;

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
    infer::ObjectInference& inference_;
    UndescribedColumns& undescribed_;
    Rows rows_;
    unload::BlockAccounting* accounting_;
    PieceScratch scratch_;
    Row row_;
    // The row read: its facts and values, from `row_` or, for a row of one
    // piece, straight from the walk's columns into `single_`.
    unload::RowFacts facts_;
    std::span<const ColumnValue> values_;
    std::array<ColumnValue, kMaxColumns> single_;
    // The pieces chained and migrated rows reach, and those without a head.
    ReachedPieces reached_;
    std::vector<PieceAt> headless_;
    // The last target looked up: the rows of a block mostly share it.
    bool looked_up_ = false;
    std::uint32_t last_object_ = 0;
    std::uint32_t last_place_ = 0;
    const unload::RowTarget* last_target_ = nullptr;
};
