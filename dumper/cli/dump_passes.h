// The dump of row pieces (the text output, --format jsonl and csv): a
// visitor handing each block and piece to a printer, and the pass by
// several workers, each range printed into memory and written in order.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "cli/arguments.h"
#include "cli/block_pass.h"
#include "print/printer.h"

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


// The printers of the dump by ranges: each range's records and messages
// are printed into memory by a printer of its own, then written in order.
// The directory walk carries the last entry it read from block to block:
// a range begins with what the last block walked before it carries (found
// by reading back), and is read again when that guess proves wrong.
class DumpRanges final : public RangeWork {
public:
    // `kind` makes the printer of each range; `context` is the run's.
    enum class Printing : std::uint8_t { Records, CsvWidths };
    DumpRanges(const PrintContext& context, const RunSettings& settings, Printing printing);
    ~DumpRanges() override;

    std::unique_ptr<Part> start(DataFileSet& files, const RangeStart& range) override;
    bool in_step(const Part& part) const override;
    std::unique_ptr<Part> start_again(DataFileSet& files, const RangeStart& range) override;
    bool finish(std::unique_ptr<Part> part) override;
    // After a pass of CsvWidths: the most columns a shown piece exports.
    std::size_t widest() const { return widest_; }

private:
    class DumpPart;
    std::unique_ptr<DumpPart> part_for(DataFileSet& files, DirectoryWalkCarry carry);

    const PrintContext& context_;
    const RunSettings& s_;
    Printing printing_;
    DirectoryWalkCarry carry_;  // as the ranges taken leave it
    std::size_t widest_ = 0;
    std::mutex mutex_;
    std::vector<std::unique_ptr<DumpPart>> idle_;
};
