// Passes by several workers: an unload by 2 or 7 workers writes byte for
// byte what one writes (but for summary.json's account of the run itself),
// and says the same on standard error, over files that take many ranges of
// blocks: chained and migrated rows, damaged blocks, both byte orders and
// block sizes, tables inferred and written in a second pass, files that end
// inside a block or are cut short, and a database read with its dictionary;
// the dump, the export formats, --rows and --verify print what one prints.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "cli/ordered_work.h"
#include "lob_database.h"
#include "row_layout.h"
#include "system_file.h"
#include "test_support.h"

namespace {

constexpr int kIncomplete = 4;

// What a run said, the directory it wrote called `directory`.
std::string said_of(std::string text, const std::string& written, const std::string& directory)
{
    for (std::size_t at = 0; (at = text.find(written, at)) != std::string::npos; at += directory.size())
        text.replace(at, written.size(), directory);
    return text;
}

// Unloads `files` with each number of workers and compares each unload with
// the one of one worker; returns that one's status.
int expect_same_unloads(const ScratchDir& dir, std::vector<std::string> files, const std::string& name)
{
    const std::string single = dir.path(name + "-1");
    std::vector<std::string> args{"--unload", single, "--jobs", "1"};
    args.insert(args.end(), files.begin(), files.end());
    const RunResult one = run_trevanix(args);
    EXPECT_TRUE(one.status == 0 || one.status == kIncomplete) << one.errors;
    // Beyond a few workers, each reads smaller ranges.
    for (const char* jobs : {"2", "7", "16"}) {
        SCOPED_TRACE(std::string("--jobs ") + jobs);
        const std::string out = dir.path(name + "-" + jobs);
        args[1] = out;
        args[3] = jobs;
        const RunResult many = run_trevanix(args);
        EXPECT_EQ(many.status, one.status);
        EXPECT_EQ(many.output, one.output);
        EXPECT_EQ(said_of(many.errors, out, single), one.errors);
        EXPECT_EQ(unload_difference(out, single), "");
        EXPECT_NE(read_file(out + "/summary.json").find(std::string("\"workers\": ") + jobs), std::string::npos);
    }
    return one.status;
}

void cut_to(const std::string& path, std::uintmax_t size) { std::filesystem::resize_file(path, size); }

TEST(ParallelUnload, ManyRangesOfChainedDamagedAndInferredRowsAsOneWorkerWrites)
{
    ScratchDir dir;
    // 3 MiB of rows one in a hundred of which is chained or migrated, in
    // 8K little-endian and 16K big-endian blocks; damaged blocks; rows of
    // every length of text. No schema: every table is inferred and written
    // in a second pass.
    const std::string chained = dir.path("chained.dbf");
    datafile::write_chained_bench_file(chained, 384, 8192, ByteOrder::Little);
    const std::string chained_big = dir.path("chained-big.dbf");
    datafile::write_chained_bench_file(chained_big, 192, 16384, ByteOrder::Big);
    const std::string damaged = dir.path("damaged.dbf");
    datafile::write_bench_file(damaged, 200, 8192, datafile::BenchData::Damaged);
    const std::string varied = dir.path("varied.dbf");
    datafile::write_bench_file(varied, 150, 8192, datafile::BenchData::Varied);
    // A file that ends inside a block.
    cut_to(varied, 150 * 8192 - 3000);
    expect_same_unloads(dir, {chained, damaged, varied}, "little");
    expect_same_unloads(dir, {chained_big}, "big");
}

// More data objects than inference holds the statistics of at once (each
// block an object of 25 columns of its own): those typed early, to keep
// within the budget, are the same whatever the workers, and typed as they
// would be at the end.
TEST(ParallelUnload, MoreObjectsThanTheStatisticsHoldAsOneWorkerTypesThem)
{
    ScratchDir dir;
    const std::string objects = dir.path("objects.dbf");
    constexpr std::uint32_t kBlocks = 640;  // 630 objects, some 460 of whose statistics fill the budget
    datafile::write_bench_file(objects, kBlocks, 8192, datafile::BenchData::Objects);
    EXPECT_EQ(expect_same_unloads(dir, {objects}, "objects"), 0);
    const std::string script = read_file(dir.path("objects-1/postgres.sql"));
    for (const std::uint32_t block : {1u, kBlocks - 1}) {
        const std::string table = "CREATE TABLE \"public\".\"OBJ_" + std::to_string(datafile::kFirstOwnObject + block - 1) +
                                  "\" (\"C1\" numeric, \"C2\" text, \"C3\" timestamp(0), \"C4\" double precision, ";
        EXPECT_NE(script.find(table), std::string::npos) << table;
    }
}

TEST(ParallelUnload, TheSampleDatabaseWithItsDictionaryAndAFileCutShort)
{
    ScratchDir dir;
    datafile::write_database(datafile::build_database(datafile::sample_database()), dir.root());
    const std::string system = dir.path("system01.dbf");
    const std::string users = dir.path("users01.dbf");
    EXPECT_EQ(expect_same_unloads(dir, {"--dictionary", system, users}, "whole"), kIncomplete);
    // The dictionary's tables of the SYSTEM file too.
    expect_same_unloads(dir, {"--dictionary", system, system, users}, "system");
    // Cut short: its tables' blocks past the end are lost.
    cut_to(users, std::filesystem::file_size(users) / 2 + 1000);
    EXPECT_EQ(expect_same_unloads(dir, {"--dictionary", system, users}, "cut"), kIncomplete);
}

// A file of `first`, then `zeros` blocks of zeros, then `second`.
std::string joined(const ScratchDir& dir, const std::string& first, std::size_t zeros, const std::string& second)
{
    const std::string path = dir.path("joined.dbf");
    std::ofstream out(path, std::ios::binary);
    out << read_file(first) << std::string(zeros * 8192, '\0') << read_file(second);
    return path;
}

// The dump and the export formats: standard output, standard error and
// the exit status the same for 2 and 7 workers as for one.
void expect_same_dumps(const std::vector<std::string>& args)
{
    std::vector<std::string> with_jobs = args;
    with_jobs.insert(with_jobs.end(), {"--jobs", "1"});
    const RunResult one = run_trevanix(with_jobs);
    for (const char* jobs : {"2", "7"}) {
        with_jobs.back() = jobs;
        const RunResult many = run_trevanix(with_jobs);
        std::string command;
        for (const std::string& arg : with_jobs) command += " " + arg;
        EXPECT_EQ(many.status, one.status) << command;
        EXPECT_TRUE(many.output == one.output) << command;
        EXPECT_EQ(many.errors, one.errors) << command;
    }
}

// Rows one in a hundred of which is chained or migrated, and damaged blocks,
// in several ranges each.
struct BenchFiles {
    ScratchDir dir;
    std::string chained = dir.path("chained.dbf");
    std::string damaged = dir.path("damaged.dbf");
    BenchFiles()
    {
        datafile::write_chained_bench_file(chained, 200, 8192, ByteOrder::Little);
        datafile::write_bench_file(damaged, 150, 8192, datafile::BenchData::Damaged);
    }
};

TEST(ParallelDump, EveryActionAndFormatAsOneWorkerPrintsIt)
{
    const BenchFiles bench;
    const ScratchDir& dir = bench.dir;
    const std::string& chained = bench.chained;
    const std::string& damaged = bench.damaged;
    // A stretch of blocks of no rows longer than a range looks back over
    // for what the directory walk carries: the range after it is read again.
    const std::string gap = joined(dir, chained, 400, damaged);
    const std::string cut = dir.write("cut.dbf", read_file(damaged).substr(0, 70 * 8192 + 5000));
    const std::string big = dir.path("big.dbf");
    datafile::write_chained_bench_file(big, 100, 16384, ByteOrder::Big);
    const std::string tpl = dir.write("bench.template", datafile::bench_template());
    for (const std::string& file : {gap, cut}) {
        for (const char* action : {"A", "D", "O", "S", "C"}) expect_same_dumps({"-f", file, "-a", action});
        expect_same_dumps({"-f", file, "-a", "A", "-g", "-v", "-c", tpl});
        expect_same_dumps({"-f", file, "-o", "74571", "-c", tpl});
    }
    expect_same_dumps({"-f", big, "--byte-order", "big", "--block-size", "16384", "-c", tpl});
    // The export formats read every file named, one after the other.
    for (const char* format : {"jsonl", "csv"}) {
        expect_same_dumps({"--format", format, "-c", tpl, gap, cut, chained});
        expect_same_dumps({"--format", format, "-a", "D", gap});
        expect_same_dumps({"--format", format, "-a", "C", cut});
        // Whole rows: chains followed across ranges, orphans told only once
        // every range's rows are known.
        expect_same_dumps({"--format", format, "--rows", "-c", tpl, gap, cut, chained});
        expect_same_dumps({"--format", format, "--rows", "-a", "O", chained});
        expect_same_dumps({"--format", format, "--rows", "-a", "D", damaged});
    }
}

// Inference's samples taken in ranges are weighed in the order one worker
// weighs them, each read once the rows before it are known: the same
// types, the same columns completed.
TEST(ParallelDdl, InferredTypesAsOneWorkerInfersThem)
{
    const BenchFiles bench;
    const std::string varied = bench.dir.path("varied.dbf");
    datafile::write_bench_file(varied, 150, 8192, datafile::BenchData::Varied);
    expect_same_dumps({"--ddl", "--infer", bench.chained, bench.damaged, varied});
    ScratchDir db;
    datafile::write_database(datafile::build_database(datafile::sample_database()), db.root());
    expect_same_dumps({"--ddl", "--infer", "--dictionary", db.path("system01.dbf"), db.path("users01.dbf")});
    // Without the dictionary its own tables are inferred too, those of
    // cluster blocks each a table of its own.
    expect_same_dumps({"--ddl", "--infer", db.path("system01.dbf"), db.path("users01.dbf")});
}

// The census of --list-tables counted in ranges, the rows of data objects
// no table has weighed in the order one worker weighs them: the same
// counts, the same tables their rows fit.
TEST(ParallelListTables, CountsAndFitsAsOneWorkerFindsThem)
{
    const BenchFiles bench;
    ScratchDir db;
    datafile::write_database(datafile::build_database(datafile::history_database()), db.root());
    const std::string system = db.path("system01.dbf");
    for (const char* format : {"text", "jsonl"}) {
        expect_same_dumps({"--list-tables", "--format", format, "--dictionary", system, db.path("users01.dbf"),
                           bench.damaged, bench.chained});
        // The SYSTEM file among the data files: its blocks counted too.
        expect_same_dumps({"--list-tables", "--format", format, system, db.path("users01.dbf")});
    }
    // More unknown data objects than the statistics of their rows held
    // at once (each block an object of 25 columns): those fitted to the
    // tables early, to keep within the budget, are the same whatever the
    // workers.
    const std::string objects = db.path("objects.dbf");
    datafile::write_bench_file(objects, 640, 8192, datafile::BenchData::Objects);
    expect_same_dumps({"--list-tables", "--format", "jsonl", "--dictionary", system, objects});
}

// The directory walk carries the last entry of one block to the next: a
// piece two bytes below it is taken for no row. Such a pair of blocks on
// both sides of a range's start, next to each other and apart by more
// blocks of zeros than a range looks back over.
TEST(ParallelDump, WhatTheDirectoryWalkCarriesOverARangesStart)
{
    using datafile::Block;
    using datafile::Bytes;
    ScratchDir dir;
    constexpr std::uint16_t kEntry = 8183 - 92;
    auto block_with_row = [](std::uint8_t value) {
        Block b;
        b.object_id = 100;
        b.scn = value;
        b.rows = {datafile::head_piece({datafile::Column::bytes({value})})};
        return b;
    };
    Block below;
    below.object_id = 100;
    below.scn = 2;
    below.directory = std::vector<std::uint16_t>{kEntry - 2};
    below.patches = {{kEntry - 2 + 92, Bytes{0x3C, 0x00, 0x01, 0x01, 0xC5}}};
    // 64 blocks of 8K make a range.
    std::vector<Block> blocks;
    for (std::uint8_t n = 0; n < 64; ++n) blocks.push_back(block_with_row(n));
    blocks.back() = block_with_row(1);
    const std::string before = dir.write("before.dbf", file_of(blocks));
    const std::string after = dir.write("after.dbf", file_of({below, block_with_row(0xC7)}));
    const std::string next = dir.write("next.dbf", read_file(before) + read_file(after));
    const std::string apart = dir.write("apart.dbf", read_file(before) + std::string(320 * 8192, '\0') +
                                                         read_file(after));
    for (const std::string& file : {next, apart}) {
        const RunResult one = run_trevanix({"-f", file, "--jobs", "1"});
        // The piece below the carried entry is no row: its C5 is not shown.
        EXPECT_EQ(one.output.find("1: C5 \n"), std::string::npos);
        EXPECT_NE(one.output.find("1: C7 \n"), std::string::npos);
        expect_same_dumps({"-f", file});
        expect_same_dumps({"-f", file, "--format", "jsonl"});
        expect_same_dumps({"--format", "jsonl", "--rows", file});
    }
}

TEST(ParallelVerify, EveryFileCheckedAsOneWorkerChecksIt)
{
    const BenchFiles bench;
    const ScratchDir& dir = bench.dir;
    const std::string& chained = bench.chained;
    const std::string& damaged = bench.damaged;
    // Damaged blocks, runs of misplaced ones (a file's blocks twice over),
    // blocks of zeros, a file that ends inside a block.
    const std::string gap = joined(dir, damaged, 100, chained);
    const std::string twice = dir.write("twice.dbf", read_file(chained).substr(0, 70 * 8192) + read_file(chained));
    const std::string cut = dir.write("cut.dbf", read_file(damaged).substr(0, 70 * 8192 + 5000));
    for (const char* format : {"text", "jsonl"}) {
        expect_same_dumps({"--verify", "--format", format, gap, twice, cut});
        expect_same_dumps({"--verify", "--format", format, "-o", "74571", damaged});
    }
    datafile::write_database(datafile::build_database(datafile::sample_database()), dir.root());
    expect_same_dumps({"--verify", "--dictionary", dir.path("system01.dbf"), dir.path("users01.dbf"),
                       dir.path("system01.dbf")});
}

// Parts done by several threads are taken in order, however long each
// takes; no more than the bound are in hand at once; taking can stop the
// work, and what a worker throws reaches the caller.
TEST(ParallelOrderedWork, PartsTakenInOrderWithABoundInHand)
{
    constexpr std::size_t kParts = 400;
    constexpr std::size_t kInHand = 6;
    std::atomic<std::size_t> begun{0};
    std::atomic<std::size_t> most{0};
    std::atomic<std::size_t> taken_count{0};
    std::vector<std::size_t> taken;
    do_in_order<std::size_t>(
        kParts, 4, InHand{kInHand},
        [&](unsigned, std::size_t part) {
            const std::size_t in_hand = ++begun - taken_count;
            std::size_t seen = most.load();
            while (in_hand > seen && !most.compare_exchange_weak(seen, in_hand)) {
            }
            // Later parts are often done first.
            std::this_thread::sleep_for(std::chrono::microseconds((part * 7919) % 200));
            return part;
        },
        [&](std::size_t& part) {
            taken.push_back(part);
            ++taken_count;
            return true;
        });
    ASSERT_EQ(taken.size(), kParts);
    for (std::size_t i = 0; i < kParts; ++i) ASSERT_EQ(taken[i], i);
    EXPECT_LE(most.load(), kInHand + 1);  // the counter is read before the taker counts its part

    std::vector<std::size_t> until_stop;
    do_in_order<std::size_t>(
        kParts, 3, InHand{4}, [](unsigned, std::size_t part) { return part; },
        [&](std::size_t& part) {
            until_stop.push_back(part);
            return part < 9;
        });
    EXPECT_EQ(until_stop.size(), 10u);

    EXPECT_THROW(do_in_order<std::size_t>(
                     kParts, 2, InHand{4},
                     [](unsigned, std::size_t part) -> std::size_t {
                         if (part == 17) throw std::runtime_error("part 17");
                         return part;
                     },
                     [](std::size_t&) { return true; }),
                 std::runtime_error);
}

// Parts waiting for a slow one before them hold no more than the budget
// of bytes (and what the workers were making when it was reached).
TEST(ParallelOrderedWork, PartsDoneWaitWithinTheBudgetOfBytes)
{
    constexpr std::size_t kParts = 200;
    constexpr unsigned kWorkers = 4;
    constexpr std::size_t kPartBytes = 1000;
    std::atomic<std::size_t> begun{0};
    std::atomic<std::size_t> most{0};
    std::atomic<std::size_t> taken_count{0};
    std::size_t taken = 0;
    do_in_order<std::size_t>(
        kParts, kWorkers, InHand{kParts, 2500},
        [&](unsigned, std::size_t part) {
            const std::size_t in_hand = ++begun - taken_count;
            std::size_t seen = most.load();
            while (in_hand > seen && !most.compare_exchange_weak(seen, in_hand)) {
            }
            // Every tenth part is slow: the others pile up behind it.
            if (part % 10 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
            return part;
        },
        [&](std::size_t& part) {
            EXPECT_EQ(part, taken++);
            ++taken_count;
            return true;
        },
        [](const std::size_t&) { return kPartBytes; });
    EXPECT_EQ(taken, kParts);
    // Three done (2500 bytes reached at the third), one being made by each worker.
    EXPECT_LE(most.load(), 3 + kWorkers + 1);
}

TEST(ParallelUnload, JobsWantsANumberOfWorkers)
{
    for (const char* jobs : {"0", "x", "-2", "3x", "257", "99999999999999999999"}) {
        const RunResult r = run_trevanix({"--unload", "out", "--jobs", jobs, "some.dbf"});
        EXPECT_EQ(r.status, 2) << jobs;
        EXPECT_NE(r.errors.find("--jobs wants a number of workers from 1 to 256"), std::string::npos) << r.errors;
    }
}

// LOB values read from their segments by each worker through its own
// readers: a value of 4 MiB whose pages lie in ranges other workers read.
TEST(ParallelUnload, LobValuesFromTheirSegmentsAsOneWorkerWrites)
{
    ScratchDir dir;
    datafile::write_database(datafile::build_database(datafile::lob_database(8192, ByteOrder::Little, 4).database),
                             dir.root());
    EXPECT_EQ(expect_same_unloads(dir, {"--dictionary", dir.path("system01.dbf"), dir.path("users01.dbf")}, "lobs"),
              kIncomplete);
    // Each value in a file of its own, which the worker reading it writes.
    EXPECT_EQ(expect_same_unloads(dir, {"--lob-files", "--dictionary", dir.path("system01.dbf"), dir.path("users01.dbf")},
                                  "lob-files"),
              kIncomplete);
    EXPECT_EQ(read_file(dir.path("lob-files-7/lobs/HR.LOBS/rows.87500.4.19.4.c2.txt")).size(), std::size_t{4} << 19);
}

// ---------------------------------------------------------------------------
// Sharded unloads: N shards each writing its part, joined by --merge.

// The part directories of `shards` shards of the unload of `files`, each
// read by `jobs` workers (a list of numbers apart by commas: one for each
// shard in turn).
std::vector<std::string> unload_shards(const ScratchDir& dir, const std::vector<std::string>& files,
                                       const std::string& name, unsigned shards, const std::string& workers)
{
    std::vector<std::string> each;
    for (std::size_t at = 0; at <= workers.size();) {
        const std::size_t comma = std::min(workers.find(',', at), workers.size());
        each.push_back(workers.substr(at, comma - at));
        at = comma + 1;
    }
    std::vector<std::string> parts;
    for (unsigned k = 1; k <= shards; ++k) {
        const std::string part = dir.path(name + "-part" + std::to_string(k));
        const std::string& jobs = each[(k - 1) % each.size()];
        std::vector<std::string> args{"--unload", part, "--shard", std::to_string(k) + "/" + std::to_string(shards),
                                      "--jobs", jobs};
        args.insert(args.end(), files.begin(), files.end());
        const RunResult r = run_trevanix(args);
        EXPECT_EQ(r.status, 0) << r.errors;
        EXPECT_NE(r.errors.find("part " + std::to_string(k) + " of " + std::to_string(shards) + " unloaded into"),
                  std::string::npos)
            << r.errors;
        EXPECT_FALSE(std::filesystem::exists(part + "/summary.json"));
        parts.push_back(part);
    }
    return parts;
}

// Unloads `files` as `shards` shards and merges their parts (given in
// another order than K's); the merge writes and says what one run by one
// worker writes and says. Returns the merge's status.
int expect_same_merge(const ScratchDir& dir, const std::vector<std::string>& files, const std::string& name,
                      unsigned shards = 3, const std::string& jobs = "1")
{
    SCOPED_TRACE(name + ": " + std::to_string(shards) + " shards of " + jobs + " workers");
    const std::string single = dir.path(name + "-single");
    std::vector<std::string> args{"--unload", single, "--jobs", "1"};
    args.insert(args.end(), files.begin(), files.end());
    const RunResult one = run_trevanix(args);
    EXPECT_TRUE(one.status == 0 || one.status == kIncomplete) << one.errors;
    std::vector<std::string> parts = unload_shards(dir, files, name, shards, jobs);
    std::reverse(parts.begin(), parts.end());
    const std::string merged = dir.path(name + "-merged");
    std::vector<std::string> merge{"--merge", merged};
    merge.insert(merge.end(), parts.begin(), parts.end());
    const RunResult joined = run_trevanix(merge);
    EXPECT_EQ(joined.status, one.status) << joined.errors;
    EXPECT_EQ(said_of(joined.errors, merged, single), one.errors);
    EXPECT_EQ(unload_difference(merged, single), "");
    for (const std::string& part : parts) std::filesystem::remove_all(part);
    std::filesystem::remove_all(single);
    std::filesystem::remove_all(merged);
    return one.status;
}

TEST(ShardedUnload, PartsOfChainedDamagedAndInferredRowsMergedAsOneRunWritesThem)
{
    ScratchDir dir;
    // 13 ranges: rows chained and migrated across them, damaged blocks,
    // deleted rows, orphan pieces, tables inferred from samples of every
    // shard's rows and written in a second pass, values not decoded whose
    // lines lie in two parts (numbered anew), a file ending in a block.
    const std::string chained = dir.path("chained.dbf");
    datafile::write_chained_bench_file(chained, 384, 8192, ByteOrder::Little);
    const std::string damaged = dir.path("damaged.dbf");
    datafile::write_bench_file(damaged, 200, 8192, datafile::BenchData::Damaged);
    const std::string varied = dir.path("varied.dbf");
    datafile::write_bench_file(varied, 150, 8192, datafile::BenchData::Varied);
    cut_to(varied, 150 * 8192 - 3000);
    const std::vector<std::string> files{chained, damaged, varied};
    EXPECT_EQ(expect_same_merge(dir, files, "three"), kIncomplete);
    expect_same_merge(dir, files, "jobs", 3, "2");
    // Machines of other numbers of processors: the ranges, and so the
    // parts, are cut alike whatever the workers.
    expect_same_merge(dir, files, "mixed", 5, "1,16,3");
    expect_same_merge(dir, files, "one", 1);
    // More shards than ranges: some parts hold no block.
    expect_same_merge(dir, files, "many", 17, "2");
}

TEST(ShardedUnload, TheSampleDatabaseWithItsDictionaryMergedAsOneRunWritesIt)
{
    ScratchDir dir;
    datafile::write_database(datafile::build_database(datafile::sample_database()), dir.root());
    const std::string system = dir.path("system01.dbf");
    const std::string users = dir.path("users01.dbf");
    // The dictionary's own tables too, over 11 ranges: as 3 parts, and as
    // a part for each range.
    EXPECT_EQ(expect_same_merge(dir, {"--dictionary", system, system, users}, "system"), kIncomplete);
    EXPECT_EQ(expect_same_merge(dir, {"--dictionary", system, system, users}, "each", 11, "2"), kIncomplete);
    cut_to(users, std::filesystem::file_size(users) / 2 + 1000);
    EXPECT_EQ(expect_same_merge(dir, {"--dictionary", system, users}, "cut", 2), kIncomplete);
}

TEST(ShardedUnload, AChainWhoseHeadAndTailAreInTwoShardsAndATrueOrphan)
{
    ScratchDir dir;
    datafile::FileSet files{4096};
    datafile::RowWriter writer(files, {700});
    using datafile::Value;
    auto text = [](const std::string& s) -> Value { return datafile::Bytes(s.begin(), s.end()); };
    auto row = [](std::vector<Value> values) {
        datafile::LogicalRow r;
        r.values = std::move(values);
        return r;
    };
    writer.ordinary({4, 1}, row({text("A"), text("whole")}));
    // Its head in file 4 (the range of shard 2), its last piece in file 5 (shard 3's).
    writer.chained({{4, 2}, {5, 2}}, row({text("B"), text(std::string(6000, 'x'))}));
    writer.migrated({4, 3}, {{5, 3}}, row({text("C"), text("moved")}));
    // No head reaches it.
    writer.orphan_copy({5, 4}, {4, 9, 0}, row({text("lost"), text("head")}));
    const std::string f4 = dir.write("f4.dbf", datafile::build_file(files.file(4)));
    const std::string f5 = dir.write("f5.dbf", datafile::build_file(files.file(5)));
    expect_same_merge(dir, {f4, f5}, "chain");
    expect_same_merge(dir, {f4, f5}, "two", 2, "2");
    run_trevanix({"--unload", dir.path("one"), "--quiet", f4, f5});
    EXPECT_NE(read_file(dir.path("one") + "/summary.json").find("\"orphans\": 1,"), std::string::npos);
}

// LOB values read from their segments, whose pages lie in other shards'
// ranges, and the incomplete ones listed in the parts' order; with
// --lob-files, their files.
TEST(ShardedUnload, LobValuesFromTheirSegmentsMergedAsOneRunWritesThem)
{
    ScratchDir dir;
    datafile::write_database(datafile::build_database(datafile::lob_database(8192, ByteOrder::Little, 4).database),
                             dir.root());
    EXPECT_EQ(expect_same_merge(dir, {"--dictionary", dir.path("system01.dbf"), dir.path("users01.dbf")}, "lobs", 4,
                                "2"),
              kIncomplete);
    // Each part's LOB files go into the merged lobs/ under their names.
    EXPECT_EQ(expect_same_merge(dir, {"--lob-files", "--dictionary", dir.path("system01.dbf"), dir.path("users01.dbf")},
                                "lob-files", 3, "2"),
              kIncomplete);
}

TEST(ShardedUnload, ShardsAndPartsThatAreNotOneRunsAreRefused)
{
    for (const char* shard : {"0/3", "4/3", "1/0", "x", "3", "1/3x", "/3", "1/", "-1/3", "1/9999999"}) {
        const RunResult r = run_trevanix({"--unload", "out", "--shard", shard, "some.dbf"});
        EXPECT_EQ(r.status, 2) << shard;
        EXPECT_NE(r.errors.find("--shard wants K/N, the part K of N parts"), std::string::npos) << r.errors;
    }
    EXPECT_EQ(run_trevanix({"--shard", "1/2", "--rows", "--format", "csv", "some.dbf"}).status, 2);
    EXPECT_EQ(run_trevanix({"--merge", "out", "--dictionary", "s.dbf", "part"}).status, 2);
    EXPECT_EQ(run_trevanix({"--merge", "out"}).status, 2);

    ScratchDir dir;
    const std::string data = dir.path("data.dbf");
    datafile::write_chained_bench_file(data, 300, 8192, ByteOrder::Little);
    const std::vector<std::string> parts = unload_shards(dir, {data}, "p", 3, "2");
    // An empty file among them holds no range: named, with what to do.
    const RunResult empty =
        run_trevanix({"--unload", dir.path("e"), "--shard", "1/2", data, dir.write("empty.dbf", std::string())});
    EXPECT_EQ(empty.status, 1);
    EXPECT_NE(empty.errors.find("empty.dbf is empty: a sharded run cuts its files into ranges of blocks"),
              std::string::npos)
        << empty.errors;
    const std::string other = dir.path("other.dbf");
    datafile::write_bench_file(other, 100, 8192, datafile::BenchData::Varied);
    const std::vector<std::string> others = unload_shards(dir, {other}, "q", 3, "1");
    const std::vector<std::string> fewer = unload_shards(dir, {data}, "r", 2, "1");
    const std::string out = dir.path("out");
    auto merge = [&](std::vector<std::string> dirs, const std::string& said) {
        std::vector<std::string> args{"--merge", out};
        args.insert(args.end(), dirs.begin(), dirs.end());
        const RunResult r = run_trevanix(args);
        EXPECT_EQ(r.status, 1) << said;
        EXPECT_NE(r.errors.find(said), std::string::npos) << r.errors;
        EXPECT_FALSE(std::filesystem::exists(out)) << said;
    };
    merge({parts[0], parts[2]}, "part 2 of 3 is missing");
    merge({parts[0], parts[1], parts[1], parts[2]}, "are both part 2 of 3");
    merge({parts[0], others[1], parts[2]}, "is a part of another run");
    merge({parts[0], fewer[1], parts[2]}, "is a part of another run");
    merge({parts[0], parts[1], dir.path("none")}, "has no shard-part.txt");
    // A record damaged, cut short, or naming a file that is not what it says.
    const std::string record = parts[1] + "/shard-part.txt";
    const std::string kept = read_file(record);
    dir.write("p-part2/shard-part.txt", kept.substr(0, kept.size() / 2));
    merge(parts, "is cut short or damaged");
    std::string garbled = kept;
    garbled.replace(garbled.find("\nblocks "), 8, "\nblocks x");
    dir.write("p-part2/shard-part.txt", garbled);
    merge(parts, "shard-part.txt is damaged at line");
    dir.write("p-part2/shard-part.txt", kept);
    std::string csv;
    for (const std::string& name : directory_entries(parts[1]))
        if (name.ends_with(".csv") && csv.empty()) csv = name;
    ASSERT_FALSE(csv.empty());
    const std::string rows = read_file(parts[1] + "/" + csv);
    dir.write("p-part2/" + csv, rows.substr(0, rows.size() - 7));
    merge(parts, "is not the " + std::to_string(rows.size()) + " bytes the part's record says");
    dir.write("p-part2/" + csv, "X" + rows.substr(1));
    merge(parts, "does not start with the header this run gives it");
    dir.write("p-part2/" + csv, rows);
    // A data file changed since the shards read it.
    const std::string bytes = read_file(data);
    dir.write("data.dbf", bytes.substr(0, 8192 * 299) + std::string(8192, '\0'));
    merge(parts, "is not what shard 1 read");
    dir.write("data.dbf", bytes);
    // Into a directory of its own, as an unload.
    EXPECT_EQ(run_trevanix({"--merge", parts[0], parts[0], parts[1], parts[2]}).status, 1);
    const RunResult made = run_trevanix({"--merge", out, "--quiet", parts[2], parts[0], parts[1]});
    EXPECT_EQ(made.status, 0) << made.errors;
    EXPECT_EQ(run_trevanix({"--merge", out, parts[0], parts[1], parts[2]}).status, 2);
    EXPECT_EQ(run_trevanix({"--merge", out, "--force", "--quiet", parts[0], parts[1], parts[2]}).status, 0);
}

}  // namespace
