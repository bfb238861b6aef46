// Passes over the blocks of a run's files: what each block read is handed
// to, how a pass ends, and a reader of passes for the modes that make
// several (the rows of tables: --unload, --ddl).
#pragma once

#include <cstdint>
#include <algorithm>
#include <functional>
#include <mutex>
#include <vector>
#include <memory>
#include <optional>

#include "print/printer.h"
#include "read/block_decoder.h"
#include "read/data_file.h"

struct FileTally;

// What a pass over the blocks does with each block it decodes.
class BlockVisitor {
public:
    virtual ~BlockVisitor() = default;
    virtual void load_failure(const LoadFailureRecord& failure) = 0;
    // A block of the object asked for, its data layer decoded; false when it
    // ends the run.
    virtual bool block(const DecodedBlock& block) = 0;
};

// How the blocks of one file, or of the run, came to an end.
enum class PassEnd : std::uint8_t {
    Stopped,    // the block count or the single block
    EndOfFile,  // the end of the file: the next file follows
    Failed,     // a block could not be read, or ends the run
};

// Reads every file of the run once, handing each block to `visitor`;
// `notes` says what was read on the message sink. A file that got shorter
// while it was read fails the pass.
using PassReader = std::function<PassEnd(BlockVisitor& visitor, bool notes)>;

// A range of a pass's blocks: from block `first` of the run's file `file` (by
// its place in the run's DataFileSet).
struct RangeStart {
    std::size_t file = 0;
    std::int32_t first = 0;
    // The run's to write: false for a range of another shard of a sharded
    // unload, read only for what it tells the whole run.
    bool own = true;
};

// A pass whose blocks are read in ranges by several workers at once: each
// range's blocks go to a visitor of its own, and what each range found is
// taken in the order of the files, as one thread would have found it.
class RangeWork {
public:
    // The visitor of one range and what it found.
    class Part {
    public:
        virtual ~Part() = default;
        virtual BlockVisitor& visitor() = 0;
        // About how many bytes of memory what it found holds, until taken.
        virtual std::size_t held_bytes() const { return 0; }
    };
    virtual ~RangeWork() = default;
    // Whether the parts' visitors are handed every block with its headers
    // only, whatever the object filter (--verify), rather than the blocks
    // of the object asked for with their data layers decoded.
    virtual bool whole_blocks() const { return false; }
    // The bytes of blocks in a range: what a range gives is held in memory
    // until it is taken, so works that print much of what they read take
    // fewer.
    virtual std::size_t range_bytes() const { return std::size_t{1} << 19; }
    // Whether the run's file `file` is read at all.
    virtual bool reads_file(std::size_t /*file*/) const { return true; }
    // Whether a sharded run's pass reads the other shards' ranges too.
    virtual bool reads_other_ranges() const { return false; }
    // A part for one range, reading other blocks (a chained row's, those
    // before the range) through `files`, the worker's own readers. Called
    // on the workers' threads.
    virtual std::unique_ptr<Part> start(DataFileSet& files, const RangeStart& range) = 0;
    // Whether a part, taken in order, began as the ranges before left the
    // pass: when it did not (it had to guess what they would leave), the
    // range is read again, by a part start_again() gives on the taking thread.
    virtual bool in_step(const Part&) const { return true; }
    virtual std::unique_ptr<Part> start_again(DataFileSet& files, const RangeStart& range)
    {
        return start(files, range);
    }
    // What the range found, in order; false ends the pass (a file could
    // not be written). The part is the work's again, to be started anew.
    virtual bool finish(std::unique_ptr<Part> part) = 0;
    // After the last range taken of file `file`: it came to its end, or a
    // block of it could not be read (`end` says which).
    virtual void file_ended(std::size_t /*file*/, const FileTally& /*tally*/, PassEnd /*end*/) {}
};

// Reads the run's files as a PassReader does, in ranges by the run's
// workers; nullopt when they cannot be read in ranges (one worker, or a
// file that is no regular file), and the pass is then the caller's to make.
using RangePassReader = std::function<std::optional<PassEnd>(RangeWork& work, bool notes)>;

// Parts taken, kept to start further ranges: each reads through one
// worker's readers, and is only given again to that worker. A few are
// kept for each worker, so that what idle parts hold stays bounded.
template <class P>
class PartPool {
public:
    static constexpr std::size_t kKeptPerWorker = 2;

    // One kept for `files`, or nullptr.
    std::unique_ptr<P> take(const DataFileSet& files)
    {
        std::lock_guard lock(mutex_);
        for (auto it = idle_.begin(); it != idle_.end(); ++it) {
            if ((*it)->reads != &files) continue;
            std::unique_ptr<P> part = std::move(*it);
            idle_.erase(it);
            return part;
        }
        return nullptr;
    }
    void keep(std::unique_ptr<P> part)
    {
        std::lock_guard lock(mutex_);
        const auto kept = std::count_if(idle_.begin(), idle_.end(),
                                        [&](const std::unique_ptr<P>& p) { return p->reads == part->reads; });
        if (static_cast<std::size_t>(kept) < kKeptPerWorker) idle_.push_back(std::move(part));
    }

private:
    std::mutex mutex_;
    std::vector<std::unique_ptr<P>> idle_;
};
