// A pass over the run's files by several workers: each file is cut into
// ranges of blocks (as many as one sequential read takes), each range read
// and decoded by a worker through readers of its own, and what the ranges
// found taken in order, so that the pass says and writes what one thread
// reading the files in order would.
#pragma once

#include <optional>

#include "cli/arguments.h"
#include "cli/block_pass.h"
#include "cli/progress.h"
#include "print/output_sink.h"
#include "read/data_file.h"

struct RangePass {
    const RunSettings& settings;
    DataFileSet& files;  // every file of the run, each opened
    unsigned workers;
    OutputSink& err;
    Progress& progress;
};

// The processors online, which the passes' workers default to.
unsigned online_processors();

// The pass, or nullopt when the files cannot be read in ranges: one worker
// asked for, a block number or count chosen, a file that is no regular
// file, or no reader to be had for a worker. `shrank` is set when a file
// got shorter while it was read.
std::optional<PassEnd> read_in_ranges(const RangePass& pass, RangeWork& work, bool notes, bool& shrank);
