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

// The ranges of a run's blocks one shard of a sharded unload writes: the
// K-th of N stretches of the R ranges numbered through all the files in
// order, [floor((K-1)R/N), floor(KR/N)). Parts of contiguous ranges keep
// the files' order, so that the parts joined in the order of K are one run's.
struct ShardRanges {
    std::size_t first = 0;
    std::size_t end = 0;  // one past the last
    bool holds(std::size_t number) const { return number >= first && number < end; }
};
ShardRanges shard_ranges(std::size_t ranges, unsigned shard, unsigned shards);

// The pass, or nullopt when the files cannot be read in ranges: one worker
// asked for, a block number or count chosen, a file that is no regular
// file, or no reader to be had for a worker. `shrank` is set when a file
// got shorter while it was read. A sharded run (--shard, --merge) reads in
// ranges with one worker too: its ranges are its own (RangeStart::own) or
// another shard's, read only when the work asks for them.
std::optional<PassEnd> read_in_ranges(const RangePass& pass, RangeWork& work, bool notes, bool& shrank);
