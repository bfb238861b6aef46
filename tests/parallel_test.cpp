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
// weighs them: the same types, the same columns completed.
TEST(ParallelDdl, InferredTypesAsOneWorkerInfersThem)
{
    const BenchFiles bench;
    const std::string varied = bench.dir.path("varied.dbf");
    datafile::write_bench_file(varied, 150, 8192, datafile::BenchData::Varied);
    expect_same_dumps({"--ddl", "--infer", bench.chained, bench.damaged, varied});
    ScratchDir db;
    datafile::write_database(datafile::build_database(datafile::sample_database()), db.root());
    expect_same_dumps({"--ddl", "--infer", "--dictionary", db.path("system01.dbf"), db.path("users01.dbf")});
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

}  // namespace
