// --verify by several workers: each range's blocks are checked by a worker
// (the checksum is the work of it), and the checks taken in order, counted,
// followed for runs of misplaced blocks, printed and told to the
// accounting of the tables' blocks as one thread would.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "cli/arguments.h"
#include "cli/block_pass.h"
#include "print/printer.h"
#include "read/block_checks.h"
#include "unload/block_accounting.h"

class VerifyRanges final : public RangeWork {
public:
    // `files`: the run's; `accounting`, when given, is told of every block.
    VerifyRanges(const RunSettings& settings, DataFileSet& files, VerifyPrinter& printer, const OutputSink& out,
                 VerifyTally& tally, VerifyEnd& end, unload::BlockAccounting* accounting);
    ~VerifyRanges() override;

    bool whole_blocks() const override { return true; }
    std::unique_ptr<Part> start(DataFileSet& files, const RangeStart& range) override;
    bool finish(std::unique_ptr<Part> part) override;
    void file_ended(std::size_t file, const FileTally& tally, PassEnd end) override;

private:
    class ChecksPart;
    void begin_file(std::size_t file);

    const RunSettings& s_;
    DataFileSet& files_;
    VerifyPrinter& printer_;
    const OutputSink& out_;  // the printer's
    VerifyTally& tally_;
    VerifyEnd& end_;
    unload::BlockAccounting* accounting_;
    std::size_t file_ = SIZE_MAX;  // whose ranges are being taken
    MisplacedRuns misplaced_;
    std::mutex mutex_;
    std::vector<std::unique_ptr<ChecksPart>> idle_;
};
