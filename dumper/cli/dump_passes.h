// The dumps: of row pieces (the text output, --format jsonl and csv), a
// visitor handing each block and piece to a printer; of whole rows
// (--rows), one following each row through its pieces; and their passes
// by several workers, each range printed into memory and written in order.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "cli/arguments.h"
#include "cli/block_pass.h"
#include "print/printer.h"
#include "print/export_columns.h"
#include "rows/row_reader.h"

// Hands each block, and each piece its walk finds, to a dump printer.
class DumpVisitor final : public BlockVisitor {
public:
    DumpVisitor(DumpPrinter& printer, const RunSettings& settings, DirectoryWalkCarry carry = {})
        : printer_(printer), s_(settings), carry_(carry)
    {
    }

    void load_failure(const LoadFailureRecord& failure) override { printer_.load_failure(failure); }

    bool block(const DecodedBlock& block) override
    {
        printer_.block(block);
        if (is_fatal(block.outcome)) return false;
        if (block.outcome != BlockOutcome::Walked) return true;
        // The export formats say which directory entry points at each piece,
        // in the heap walk too.
        std::vector<SlotEntry>* slots = s_.format != OutputFormat::Text ? &slot_index_ : nullptr;
        PieceWalk walk = is_sequential_walk(s_.action) ? PieceWalk(block, slots) : PieceWalk(block, carry_);
        for (PieceWalk::Step step; (step = walk.next()) != PieceWalk::Step::End;) {
            if (step == PieceWalk::Step::Entry)
                printer_.directory_entry(block, walk.entry());
            else
                printer_.piece(block, walk.piece(), walk.columns());
        }
        return true;
    }

    // What the directory walk carries on to the next block it walks.
    const DirectoryWalkCarry& carry() const { return carry_; }

private:
    DumpPrinter& printer_;
    const RunSettings& s_;
    DirectoryWalkCarry carry_;
    std::vector<SlotEntry> slot_index_;
};


// Walks each block as the dump would and goes through its pieces: a head
// starts a row, followed through its other pieces wherever they lie; a
// piece without a head that no row reaches is an orphan. A first pass
// learns which pieces rows reach (and how wide the widest row is); the
// second writes the rows, and after each block's rows its orphans.
class RowsVisitor final : public BlockVisitor {
public:
    // `reached` is added to in the first pass and read in the second.
    RowsVisitor(const RunSettings& settings, DataFileSet& files, ReachedPieces& reached, RowPrinter* printer,
                const ColumnTemplate* column_template, std::size_t* widest, DirectoryWalkCarry carry = {})
        : s_(settings), reader_(files), reached_(reached), printer_(printer), template_(column_template),
          widest_(widest), carry_(carry)
    {
    }

    // What the directory walk carries on to the next block it walks.
    const DirectoryWalkCarry& carry() const { return carry_; }

    void load_failure(const LoadFailureRecord& failure) override
    {
        if (printer_ != nullptr) printer_->load_failure(failure);
    }

    bool block(const DecodedBlock& block) override
    {
        if (printer_ != nullptr) printer_->block(block);
        if (is_fatal(block.outcome)) return false;
        if (block.outcome != BlockOutcome::Walked) return true;
        // Compressed and encrypted rows are not decoded, nor passed off as
        // a cluster's; a columnar unit's chain is followed in the first
        // pass only, so that its pieces are no orphans.
        const BlockContent content = block_content(block.view());
        if (content != BlockContent::Rows && (printer_ != nullptr || content != BlockContent::ColumnarUnit)) return true;
        // The slots of the heap walk's pieces give rows their rowids. A
        // first pass that needs no widths only follows chains: their heads'
        // headers say where they lead.
        const PieceReading reading =
            printer_ == nullptr && widest_ == nullptr ? PieceReading::Headers : PieceReading::ByFlagBits;
        PieceWalk walk = is_sequential_walk(s_.action) ? PieceWalk(block, &slot_index_, reading)
                                                       : PieceWalk(block, carry_, reading);
        orphans_.clear();
        orphan_columns_.clear();
        for (PieceWalk::Step step; (step = walk.next()) != PieceWalk::Step::End;) {
            if (step == PieceWalk::Step::Entry) {
                if (printer_ != nullptr) printer_->directory_entry(block, walk.entry());
                continue;
            }
            const RowPieceRecord& piece = walk.piece();
            if (starts_row(piece))
                head(block, piece, walk.columns());
            else if (piece.walked && (piece.flags & block_format::kFlagK) == 0)
                other_piece(block, piece, walk.columns());
        }
        for (std::size_t i = 0; i < orphans_.size(); ++i) {
            const auto columns = std::span<const ColumnRecord>(orphan_columns_).subspan(
                orphans_[i].first_column, orphans_[i].piece.columns_found);
            reader_.read_orphan(block, orphans_[i].piece, columns, row_);
            printer_->row(row_);
        }
        // The last row printed lets go of its blocks: held while the range
        // waits to be taken, they would keep the worker's reader from
        // reading the next range into the same buffer.
        row_.blocks.clear();
        return true;
    }

private:
    struct Orphan {
        RowPieceRecord piece;
        std::size_t first_column;
    };

    bool selected(std::uint8_t flags) const { return !is_deleted_only(s_.action) || (flags & block_format::kFlagD); }

    void head(const DecodedBlock& block, const RowPieceRecord& piece, std::span<const ColumnRecord> columns)
    {
        if (printer_ == nullptr) {
            // The first pass: only rows of several pieces reach others; the
            // CSV header needs every row's width.
            const bool chained = (piece.flags & (block_format::kFlagL | block_format::kFlagF)) !=
                                 (block_format::kFlagL | block_format::kFlagF);
            if (!chained && widest_ == nullptr) return;
            reader_.read(block, piece, columns, row_, widest_ != nullptr);
            reached_.add(row_);
            if (widest_ != nullptr && selected(piece.flags))
                *widest_ = std::max(*widest_, exported_columns(template_, row_.values.size()));
            return;
        }
        if (!selected(piece.flags)) return;
        reader_.read(block, piece, columns, row_);
        printer_->row(row_);
    }

    void other_piece(const DecodedBlock& block, const RowPieceRecord& piece, std::span<const ColumnRecord> columns)
    {
        if (!selected(piece.flags)) return;
        if (printer_ == nullptr) {
            if (widest_ != nullptr) *widest_ = std::max(*widest_, exported_columns(template_, columns.size()));
            return;
        }
        if (reached_.contains(PieceAt{block.block.file, block.block.number, piece.slot, block.block.source,
                                      block.block.layout}))
            return;
        orphans_.push_back({piece, orphan_columns_.size()});
        orphan_columns_.insert(orphan_columns_.end(), columns.begin(), columns.end());
    }

    const RunSettings& s_;
    RowReader reader_;
    ReachedPieces& reached_;
    RowPrinter* printer_;  // nullptr in the first pass
    const ColumnTemplate* template_;
    std::size_t* widest_;
    DirectoryWalkCarry carry_;
    std::vector<SlotEntry> slot_index_;
    Row row_;
    std::vector<Orphan> orphans_;
    std::vector<ColumnRecord> orphan_columns_;
};

// Passes by ranges whose parts print into memory, written in order. The
// directory walk carries the last entry it read from block to block: a
// range begins with what the last block walked before it carries (found by
// reading back), and is read again when that guess proves wrong.
class WalkRanges : public RangeWork {
public:
    // A dump prints several times the bytes it reads.
    std::size_t range_bytes() const override { return std::size_t{1} << 19; }
    std::unique_ptr<Part> start(DataFileSet& files, const RangeStart& range) final;
    bool in_step(const Part& part) const final;
    std::unique_ptr<Part> start_again(DataFileSet& files, const RangeStart& range) final;
    bool finish(std::unique_ptr<Part> part) final;

protected:
    // A range's printer and visitor, printing into its own sinks.
    class WalkPart : public RangeWork::Part {
    public:
        WalkPart(const DataFileSet& files, const PrintContext& run, SinkBuffers& buffers, DirectoryWalkCarry carry);
        // Begins another range with `carry`.
        virtual void restart(DirectoryWalkCarry carry) = 0;
        virtual DirectoryWalkCarry carry_out() const = 0;
        std::size_t held_bytes() const override { return out.held_bytes() + err.held_bytes(); }

        const DataFileSet* reads;
        DirectoryWalkCarry carry_in;
        OutputSink out;
        OutputSink err;
        PrintContext context;  // the run's, printing into `out` and `err`
    };

    WalkRanges(const PrintContext& context, const RunSettings& settings) : context_(context), s_(settings) {}
    ~WalkRanges() override;
    virtual std::unique_ptr<WalkPart> make_part(DataFileSet& files, DirectoryWalkCarry carry) = 0;
    // What a part found besides what it printed, taken in order.
    virtual void take(WalkPart&) {}

    const PrintContext& context_;
    const RunSettings& s_;
    // The parts' output buffers, written out and given back by the taking
    // thread. 4 MiB kept: most of what a few workers' ranges in hand fill,
    // and at 16 workers a bound on what is held beside them.
    static constexpr std::size_t kKeptSinkBuffers = 16;
    SinkBuffers buffers_{kKeptSinkBuffers};

private:
    std::unique_ptr<WalkPart> part_for(DataFileSet& files, DirectoryWalkCarry carry);

    DirectoryWalkCarry carry_;  // as the ranges taken leave it
    PartPool<WalkPart> idle_;
};

// The dump of row pieces by ranges, or its first pass for the CSV header's width.
class DumpRanges final : public WalkRanges {
public:
    enum class Printing : std::uint8_t { Records, CsvWidths };
    DumpRanges(const PrintContext& context, const RunSettings& settings, Printing printing)
        : WalkRanges(context, settings), printing_(printing)
    {
    }
    // After a pass of CsvWidths: the most columns a shown piece exports.
    std::size_t widest() const { return widest_; }

private:
    class DumpPart;
    std::unique_ptr<WalkPart> make_part(DataFileSet& files, DirectoryWalkCarry carry) override;
    void take(WalkPart& part) override;

    Printing printing_;
    std::size_t widest_ = 0;
};

// The dump of whole rows by ranges: the first pass finds the pieces rows
// reach (and the widest row, for a CSV header), the second prints, with
// what the first found.
class RowsRanges final : public WalkRanges {
public:
    // The first pass (not `printing`) adds to `reached`, and with `widths`
    // notes the widest row; the second prints, reading `reached`.
    RowsRanges(const PrintContext& context, const RunSettings& settings, ReachedPieces& reached, bool widths,
               bool printing)
        : WalkRanges(context, settings), reached_(reached), widths_(widths), printing_(printing)
    {
    }
    std::size_t widest() const { return widest_; }

private:
    class RowsPart;
    std::unique_ptr<WalkPart> make_part(DataFileSet& files, DirectoryWalkCarry carry) override;
    void take(WalkPart& part) override;

    ReachedPieces& reached_;
    bool widths_;
    bool printing_;
    std::size_t widest_ = 0;
};
