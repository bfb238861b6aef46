// Files larger than one read: the data file is read in chunks of about
// 1 MiB, so these files span several chunks, end in the middle of one, and
// use block sizes that do not divide a chunk. What a user sees must not
// depend on where a chunk ends: every block prints as it does when read
// alone, a trailing partial block is still the end of the file, and a
// template that cannot be opened is still reported for every column.
#include <gtest/gtest.h>

#include "test_support.h"

namespace {

using datafile::Block;


// `count` empty data blocks whose object ID and SCN tell them apart.
datafile::File numbered_blocks(std::uint32_t count, std::uint32_t block_size, std::size_t trailing_bytes)
{
    datafile::File file;
    file.block_size = block_size;
    for (std::uint32_t i = 0; i < count; ++i) {
        Block b;
        b.object_id = 1000 + i;
        b.scn = 0x5000 + 3 * i;
        file.blocks.push_back(b);
    }
    file.trailing_bytes = trailing_bytes;
    return file;
}

// `text` without the lines that are `line`.
std::string without(const std::string& text, const std::string& line)
{
    std::string kept;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end + 1;
        if (text.compare(start, end - start, line) != 0) kept.append(text, start, end - start);
        start = end;
    }
    return kept;
}

// Empty when `a` and `b` are equal, else where they part (a failing
// comparison of megabytes of output would take the test framework minutes).
std::string first_difference(const std::string& a, const std::string& b)
{
    if (a == b) return "";
    std::size_t at = 0;
    while (at < a.size() && at < b.size() && a[at] == b[at]) ++at;
    std::size_t from = at < 200 ? 0 : at - 200;
    return "sizes " + std::to_string(a.size()) + " and " + std::to_string(b.size()) + ", first difference at " +
           std::to_string(at) + ":\n" + a.substr(from, 400) + "\n----\n" + b.substr(from, 400);
}

std::string scn_lines(std::uint32_t from, std::uint32_t to)
{
    std::string s;
    for (std::uint32_t i = from; i < to; ++i) s += scn_line(i, 1000 + i, 0x5000 + 3 * i);
    return s;
}

TEST(LargeFile, PartialBlockAfterSeveralChunksIsTheEnd)
{
    ScratchDir dir;
    // 8192-byte blocks: 128 to a chunk. 300 blocks end 44 blocks into the
    // third chunk; 256 end exactly at a chunk's end.
    for (std::uint32_t count : {300u, 256u}) {
        const datafile::Bytes blocks = datafile::build_file(numbered_blocks(count, 8192, 0));
        for (std::size_t trailing : {std::size_t{0}, std::size_t{1}, std::size_t{8191}}) {
            datafile::Bytes bytes = blocks;
            bytes.resize(bytes.size() + trailing, 0x5A);
            std::string path = dir.write("big.dbf", bytes);
            RunResult r = run_trevanix({"-f", path, "-a", "C"});
            EXPECT_EQ(r.output, scn_lines(0, count) + kCompleted) << count << " blocks, " << trailing << " more bytes";
            EXPECT_EQ(r.status, 0);
        }
    }
}

TEST(LargeFile, BlockSizeThatDoesNotDivideTheChunk)
{
    ScratchDir dir;
    // 3000-byte blocks: a chunk holds 349 of them, so 700 blocks span three
    // chunks and the partial block lies in the third.
    std::string path = dir.write("odd.dbf", numbered_blocks(700, 3000, 2999));
    RunResult r = run_trevanix({"-f", path, "-z", "3000", "-a", "C"});
    EXPECT_EQ(r.output, scn_lines(0, 700) + kCompleted);
    EXPECT_EQ(r.status, 0);
    // Starting and stopping on either side of a chunk's end.
    EXPECT_EQ(run_trevanix({"-f", path, "-z", "3000", "-a", "C", "-b", "340", "-n", "20"}).output, scn_lines(340, 360));
    EXPECT_EQ(run_trevanix({"-f", path, "-z", "3000", "-a", "C", "-b", "698"}).output, scn_lines(698, 699));
    EXPECT_EQ(run_trevanix({"-f", path, "-z", "3000", "-a", "C", "-b", "695", "-n", "9"}).output,
              scn_lines(695, 700) + kCompleted);
}

// The benchmark's blocks, full of rows: the whole run prints what reading
// each block alone prints, in every walk, typed and in hex.
TEST(LargeFile, EveryBlockPrintsAsItDoesWhenReadAlone)
{
    ScratchDir dir;
    datafile::File file;
    // 140 blocks: more than the 128 of one chunk.
    for (std::uint32_t i = 0; i < 140; ++i) file.blocks.push_back(datafile::bench_block(i, 8192));
    file.trailing_bytes = 5000;
    std::string path = dir.write("rows.dbf", file);
    std::string tpl = dir.write("rows.template", datafile::bench_template());
    const std::vector<std::vector<std::string>> modes = {
        {"-a", "A"}, {"-a", "O", "-c", tpl, "-s", ","}, {"-a", "S", "-v"}, {"-a", "C"}};
    for (const auto& mode : modes) {
        std::vector<std::string> args{"-f", path};
        args.insert(args.end(), mode.begin(), mode.end());
        std::string whole = run_trevanix(args).output;
        std::string one_by_one;
        for (std::uint32_t i = 0; i < 140; ++i) {
            std::vector<std::string> single = args;
            single.insert(single.end(), {"-b", std::to_string(i)});
            one_by_one += run_trevanix(single).output;
        }
        EXPECT_EQ(first_difference(whole, one_by_one + kCompleted), "") << mode[1];
        EXPECT_GT(whole.size(), 140u * 40) << mode[1];
    }
}

TEST(LargeFile, UnopenableTemplateIsReportedForEveryColumnOfEveryBlock)
{
    ScratchDir dir;
    datafile::File file;
    for (std::uint32_t i = 0; i < 200; ++i) file.blocks.push_back(datafile::bench_block(i, 8192));
    std::string path = dir.write("rows.dbf", file);
    std::string missing = dir.path("no.template");
    std::string with_message = run_trevanix({"-f", path, "-c", missing, "-g"}).output;
    std::string hex = run_trevanix({"-f", path, "-g"}).output;
    // Every column line of the hex dump ("N: ..."), NULL columns included,
    // follows one message; without -g nothing is said.
    const std::string message = "Failed to open column template file.\n";
    std::size_t messages = 0;
    for (std::size_t at = with_message.find(message); at != std::string::npos;
         at = with_message.find(message, at + message.size()))
        ++messages;
    std::size_t columns = 0;
    for (std::size_t at = hex.find(": "); at != std::string::npos; at = hex.find(": ", at + 2))
        if (hex[hex.rfind('\n', at) + 1] >= '0' && hex[hex.rfind('\n', at) + 1] <= '9') ++columns;
    EXPECT_GT(columns, 100000u);
    EXPECT_EQ(messages, columns);
    // NULL columns print the message alone; the others their hex dump after it.
    const std::string hex_without_nulls = without(hex, "1: FF\n");
    EXPECT_EQ(first_difference(without(with_message, message), hex_without_nulls), "");
    // Without -g nothing is said, and NULL columns print nothing.
    EXPECT_EQ(first_difference(run_trevanix({"-f", path, "-c", missing}).output,
                               without(run_trevanix({"-f", path}).output, "1: FF\n")),
              "");
}

TEST(LargeFile, UnopenableDataFileFailsAtTheFirstBlockWherever)
{
    ScratchDir dir;
    std::string missing = dir.path("gone.dbf");
    for (const char* first : {"0", "300"}) {
        RunResult r = run_trevanix({"-f", missing, "-a", "C", "-b", first, "-n", "5"});
        EXPECT_EQ(r.output, "Failed to open datafile " + missing + "\n" + kCompleted) << first;
        EXPECT_EQ(r.status, 1);
    }
}

TEST(BenchData, BlocksAreFullOfRowsSomeDeleted)
{
    std::size_t rows = 0, deleted = 0, orphans = 0;
    for (std::uint32_t i = 1; i <= 300; ++i) {
        Block b = datafile::bench_block(i, 8192);
        datafile::BlockLayout layout;
        datafile::Bytes bytes = datafile::build_block(b, 8192, i, &layout);
        ASSERT_EQ(bytes.size(), 8192u);
        // About 90% full: the lowest piece starts in the first fifth.
        ASSERT_FALSE(layout.piece_offsets.empty());
        EXPECT_LT(layout.piece_offsets.back(), 8192u / 5) << i;
        for (const datafile::RowPiece& row : b.rows) {
            ++rows;
            if (row.flags & datafile::FLAG_D) ++deleted;
            if (!row.in_directory) ++orphans;
        }
    }
    EXPECT_GT(rows, 300u * 80);
    EXPECT_GT(deleted, rows / 20);
    EXPECT_GT(orphans, 0u);
    EXPECT_EQ(datafile::bench_template(), "NUMBER\nVARCHAR2\nVARCHAR2\nDATE\nNUMBER\nVARCHAR2\n");
}

TEST(BenchData, ObjectsDataHasADataObjectForEachBlock)
{
    for (std::uint32_t i = 1; i <= 3; ++i) {
        const Block b = datafile::bench_block(i, 8192, datafile::BenchData::Objects);
        EXPECT_EQ(b.object_id, datafile::kFirstOwnObject + i - 1);
        ASSERT_GT(b.rows.size(), 20u);
        EXPECT_EQ(b.rows[0].columns.size(), 25u);
        // Distinct values: no two rows alike in their first column.
        EXPECT_NE(b.rows[0].columns[0].value, b.rows[1].columns[0].value);
        EXPECT_EQ(datafile::build_block(b, 8192, i).size(), 8192u);
    }
    const std::string five = "NUMBER\nVARCHAR2\nDATE\nBINARY_DOUBLE\nVARCHAR2\n";
    EXPECT_EQ(datafile::objects_template(), five + five + five + five + five);
}

}  // namespace
