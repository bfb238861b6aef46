#include "cli/range_pass.h"

#include <algorithm>
#include <climits>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "cli/ordered_work.h"
#include "cli/run_notes.h"
#include "read/block_decoder.h"

namespace {

// Ranges begun and not yet taken beyond one per worker: enough that no
// worker waits for the one taking them, few enough to bound what is held.
constexpr std::size_t kRangesWaiting = 2;
// The bytes that ranges done and waiting to be taken may hold before no
// worker begins another: with many workers, what a slow range keeps the
// others waiting on stays bounded (a couple of workers never reach it).
constexpr std::size_t kBytesWaiting = std::size_t{16} << 20;
// The blocks all workers read at once, at most: beyond a few workers, each
// takes smaller ranges, so that what is being made (several times the
// bytes read, for a dump or the rows of many tables) stays bounded too:
// at 16 workers, the ranges in hand and their readers' buffers take some
// 8 MiB, and the whole run stays within 64 MiB.
constexpr std::size_t kBytesBeingRead = std::size_t{2} << 20;
constexpr std::size_t kSmallestRange = std::size_t{64} << 10;

std::size_t range_bytes_for(std::size_t work_bytes, unsigned workers)
{
    return std::max(kSmallestRange, std::min(work_bytes, kBytesBeingRead / std::max(workers, 1u)));
}

struct Range {
    std::size_t file = 0;
    std::int32_t first = 0;
    std::int32_t end = 0;  // one past its last block, unless it is the last
    bool last = false;     // the file's last: read to the file's end
    bool own = true;       // of the shard's own ranges
};

// The ranges of the files, numbered through all of them in order, found
// without a list of them all (a file of terabytes has a million ranges).
class RangeList {
public:
    RangeList(DataFileSet& files, std::size_t range_bytes, const RangeWork& work)
    {
        for (std::size_t i = 0; i < files.size(); ++i) {
            const std::uint32_t block_size = files[i].geometry().block_size;
            const auto length = static_cast<std::uint64_t>(std::max<std::size_t>(range_bytes / block_size, 1));
            const std::uint64_t blocks = std::min<std::uint64_t>(files[i].block_count(), INT32_MAX);
            // The last range reads from its first block to the end, wherever
            // that is by then; a file not read has none.
            const std::uint64_t ranges = work.reads_file(i) ? blocks / length + 1 : 0;
            files_.push_back({first_ + ranges, length});
            first_ += ranges;
        }
    }
    std::size_t size() const { return first_; }
    // The number of the file's first range.
    std::size_t first_of(std::size_t file) const { return file == 0 ? 0 : files_[file - 1].end; }
    Range operator[](std::size_t number) const
    {
        std::size_t file = 0;
        std::size_t before = 0;
        while (files_[file].end <= number) before = files_[file++].end;
        const std::uint64_t index = number - before;
        const std::uint64_t length = files_[file].length;
        const bool last = number + 1 == files_[file].end;
        return {file, static_cast<std::int32_t>(index * length),
                last ? INT32_MAX : static_cast<std::int32_t>((index + 1) * length), last};
    }

private:
    struct FileRanges {
        std::size_t end;  // one past its last range's number
        std::uint64_t length;
    };
    std::vector<FileRanges> files_;
    std::size_t first_ = 0;
};

// What a worker made of one range.
struct RangeRead {
    Range range;
    PassEnd end = PassEnd::Stopped;  // Stopped: the range read whole, and its file goes on
    bool visitor_failed = false;     // the visitor ended the run
    int error = 0;                   // of a read that failed
    std::int32_t failed_block = 0;
    FileTally tally;
    // The tally when the file's blocks read come to the geometry's sample.
    std::optional<FileTally> at_sample;
    std::vector<DataFile::ChunkRead> chunks;
    std::unique_ptr<RangeWork::Part> part;

    std::size_t held_bytes() const
    {
        std::size_t bytes = part ? part->held_bytes() : 0;
        for (const DataFile::ChunkRead& chunk : chunks) bytes += chunk.filled;
        return bytes;
    }
};

// Reads the range's blocks through `files`: a worker's readers, or (`again`)
// the run's own, to read a range anew on the thread that takes them.
RangeRead read_range(const RunSettings& s, DataFileSet& files, RangeWork& work, const Range& range, bool again)
{
    RangeRead read;
    read.range = range;
    const RangeStart start{range.file, range.first, range.own};
    read.part = again ? work.start_again(files, start) : work.start(files, start);
    DataFile& file = files[range.file];
    BlockVisitor& visitor = read.part->visitor();
    Block block;
    for (std::int32_t number = range.first; range.last || number < range.end; ++number) {
        const ReadStatus status = file.read(number, block);
        if (status == ReadStatus::EndOfFile) {
            read.tally.reached_end = true;
            read.tally.end_block = number;
            read.tally.end_size = file.size_now();
            read.end = PassEnd::EndOfFile;
            break;
        }
        if (status != ReadStatus::Ok) {
            read.error = file.read_error();
            read.failed_block = number;
            visitor.load_failure({LoadFailure::ReadFailed, file.path(), number, file.geometry().block_size});
            read.end = PassEnd::Failed;
            break;
        }
        read.tally.note_block(block.view);
        if (static_cast<std::uint64_t>(range.first) + read.tally.blocks_read == FileTally::kGeometrySample)
            read.at_sample = read.tally;
        DecodedBlock decoded = decode_block_headers(std::move(block));
        if (work.whole_blocks()) {
            visitor.block(decoded);
        } else if (s.object_filter == 0 || static_cast<std::uint32_t>(s.object_filter) == decoded.header.object_id) {
            if (decoded.outcome != BlockOutcome::NotData) ++read.tally.data_blocks;
            decode_data_layer(decoded, s.action == DUMPSCNS);
            if (!visitor.block(decoded)) {
                read.visitor_failed = true;
                read.end = PassEnd::Failed;
                break;
            }
        }
        block = std::move(decoded.block);
        if (number == INT32_MAX) break;
    }
    read.chunks = file.take_chunks();
    return read;
}

bool readable_in_ranges(const RangePass& pass)
{
    const RunSettings& s = pass.settings;
    if ((pass.workers < 2 && !s.sharded()) || s.block_number != 0 || s.count != 0 || s.single_block || pass.files.size() == 0)
        return false;
    for (std::size_t i = 0; i < pass.files.size(); ++i)
        if (!pass.files[i].sized() || pass.files[i].size_at_open() == 0) return false;
    return true;
}

// Takes the ranges in order: their files' notes, hashes and progress, and
// what their parts found.
class RangeTaker {
public:
    RangeTaker(const RangePass& pass, RangeWork& work, bool notes) : pass_(pass), work_(work), notes_(notes)
    {
        ended_.assign(pass.files.size(), false);
    }

    bool take(RangeRead& read)
    {
        const Range& range = read.range;
        // A file that ended before its last range: the ranges after read nothing of it.
        if (ended_[range.file]) return true;
        if (range.file != file_) {
            file_ = range.file;
            tally_ = FileTally();
        }
        DataFile& file = pass_.files[range.file];
        for (const DataFile::ChunkRead& chunk : read.chunks) file.hash_chunk(chunk);
        if (!work_.in_step(*read.part)) read = read_range(pass_.settings, pass_.files, work_, range, true);
        if (notes_ && read.at_sample && !tally_.geometry_weighed) {
            FileTally at = tally_;
            at.add(*read.at_sample);
            weigh_geometry(pass_.err, file, at, false);
            tally_.geometry_weighed = at.geometry_weighed;
        }
        tally_.add(read.tally);
        pass_.progress.steps(read.tally.blocks_read, read.tally.blocks_read * file.geometry().block_size);
        if (!work_.finish(std::move(read.part))) return stop(PassEnd::Failed);
        if (read.end == PassEnd::Stopped) return true;
        if (read.end == PassEnd::Failed && !read.visitor_failed && notes_)
            print_failure_reason(pass_.err,
                                 "cannot read block " + std::to_string(read.failed_block) + " of " + file.path(),
                                 read.error);
        if (read.end == PassEnd::EndOfFile) {
            tally_.reached_end = true;
            tally_.end_block = read.tally.end_block;
            tally_.end_size = read.tally.end_size;
        }
        ended_[range.file] = true;
        work_.file_ended(range.file, tally_, read.end);
        if (notes_ && !report_file_end(pass_.err, pass_.settings, file, tally_)) shrank_ = true;
        return read.end == PassEnd::EndOfFile || stop(PassEnd::Failed);
    }

    PassEnd end() const { return end_; }
    bool shrank() const { return shrank_; }

private:
    bool stop(PassEnd end)
    {
        end_ = end;
        return false;
    }

    const RangePass& pass_;
    RangeWork& work_;
    bool notes_;
    std::vector<bool> ended_;
    std::size_t file_ = SIZE_MAX;
    FileTally tally_;
    PassEnd end_ = PassEnd::EndOfFile;
    bool shrank_ = false;
};

}  // namespace

unsigned online_processors()
{
    const long online = ::sysconf(_SC_NPROCESSORS_ONLN);
    return online > 0 ? static_cast<unsigned>(online) : 1u;
}

ShardRanges shard_ranges(std::size_t ranges, unsigned shard, unsigned shards)
{
    if (shards == 0) return {0, ranges};
    if (shard == 0 || shard > shards) return {0, 0};  // the merge: no range of its own
    const auto at = [&](std::uint64_t k) { return static_cast<std::size_t>(k * ranges / shards); };
    return {at(shard - 1), at(shard)};
}

namespace {

// Many workers free many buffers of a range's size and more: mapped and
// unmapped whole, they leave nothing held behind, where the C library,
// left to itself, carves them from its arenas once the first are freed
// and keeps what is freed. A few workers reuse them faster from the arenas
// than the system can map them afresh, and hold little: the arenas then
// keep what they free up to kKeptFreed, which the C library would give back
// and take again at every range (a third of a 2-worker dump's processor
// time went to faulting those pages in anew).
void bound_freed_memory(unsigned workers)
{
#if defined(M_MMAP_THRESHOLD) && defined(M_TRIM_THRESHOLD)
    constexpr unsigned kFewWorkers = 4;
    constexpr int kMappedFrom = 2 << 20;
    constexpr int kKeptFreed = 8 << 20;
    if (workers > kFewWorkers) {
        ::mallopt(M_MMAP_THRESHOLD, 256 << 10);
    } else {
        ::mallopt(M_MMAP_THRESHOLD, kMappedFrom);
        ::mallopt(M_TRIM_THRESHOLD, kKeptFreed);
    }
#else
    (void)workers;
#endif
}

}  // namespace

std::optional<PassEnd> read_in_ranges(const RangePass& pass, RangeWork& work, bool notes, bool& shrank)
{
    if (!readable_in_ranges(pass)) return std::nullopt;
    bound_freed_memory(pass.workers);
    // The parts of a sharded run are cut from ranges of one size in every
    // shard and in the merge, whatever their workers.
    const std::size_t range_bytes =
        pass.settings.sharded() ? work.range_bytes() : range_bytes_for(work.range_bytes(), pass.workers);
    const RunSettings& s = pass.settings;
    const RangeList ranges(pass.files, range_bytes, work);
    const ShardRanges own = shard_ranges(ranges.size(), s.merge ? 0 : s.shard, s.shards);
    if (s.shards != 0 && !s.merge) {
        // Each file is hashed by one shard, the one that holds its first
        // range (and by the merge).
        for (std::size_t i = 0; i < pass.files.size(); ++i)
            if (!own.holds(ranges.first_of(i))) pass.files[i].stop_hashing();
    }
    std::vector<DataFileSet> readers(pass.workers);
    for (DataFileSet& set : readers) {
        int error = 0;
        if (!pass.files.reading_copies(set, range_bytes, error)) return std::nullopt;
    }
    pass.progress.start_pass();
    const bool all = work.reads_other_ranges() || !s.sharded();
    const std::size_t first = all ? 0 : own.first;
    const std::size_t count = all ? ranges.size() : own.end - own.first;
    RangeTaker taker(pass, work, notes);
    do_in_order<RangeRead>(
        count, pass.workers, InHand{pass.workers + kRangesWaiting, kBytesWaiting},
        [&](unsigned worker, std::size_t n) {
            Range range = ranges[first + n];
            range.own = own.holds(first + n);
            return read_range(pass.settings, readers[worker], work, range, false);
        },
        [&](RangeRead& read) { return taker.take(read); }, [](const RangeRead& read) { return read.held_bytes(); });
    if (taker.shrank()) shrank = true;
    return taker.end();
}
