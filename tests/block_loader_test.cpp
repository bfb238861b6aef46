// Reading blocks and walking them: the driver's stop rules, the block checks
// and their messages, the object filter, DUMPSCNS, and both walks.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "test_support.h"

extern char** environ;

namespace {

using datafile::Block;
using datafile::Bytes;
using datafile::Column;

Block data_block(std::uint32_t object_id, std::uint32_t scn, std::vector<datafile::RowPiece> rows = {})
{
    Block b;
    b.object_id = object_id;
    b.scn = scn;
    b.rows = std::move(rows);
    return b;
}

datafile::RowPiece one_byte_row(std::uint8_t value) { return datafile::head_piece({Column::bytes({value})}); }


class FourBlocks : public ::testing::Test {
protected:
    ScratchDir dir;
    std::string path = dir.write("four.dbf", file_of({data_block(10, 0x10), data_block(11, 0x11),
                                                      data_block(12, 0x12), data_block(13, 0x13)}));
    std::string lines(int from, int to)
    {
        std::string s;
        for (int i = from; i <= to; ++i) s += scn_line(i, 10 + static_cast<std::uint32_t>(i), 0x10 + static_cast<std::uint32_t>(i));
        return s;
    }
    RunResult scns(std::vector<std::string> extra)
    {
        std::vector<std::string> args{"-f", path, "-a", "C"};
        args.insert(args.end(), extra.begin(), extra.end());
        return run_trevanix(args);
    }
};

TEST_F(FourBlocks, ReadsToTheEndOfTheFileAndSaysCompleted)
{
    RunResult r = scns({});
    EXPECT_EQ(r.output, lines(0, 3) + kCompleted);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(scns({"-n", "0"}).output, lines(0, 3) + kCompleted);
    EXPECT_EQ(scns({"-n", "-5"}).output, lines(0, 3) + kCompleted);
    EXPECT_EQ(scns({"-n", "10"}).output, lines(0, 3) + kCompleted);
    EXPECT_EQ(scns({"-z", "0"}).output, lines(0, 3) + kCompleted);
}

TEST_F(FourBlocks, BlockCountAndSingleBlockStopWithoutCompletionLine)
{
    EXPECT_EQ(scns({"-n", "1"}).output, lines(0, 0));
    EXPECT_EQ(scns({"-b", "1", "-n", "2"}).output, lines(1, 2));
    EXPECT_EQ(scns({"-n", "2", "-b", "1"}).output, lines(1, 1));
    RunResult last = scns({"-b", "3"});
    EXPECT_EQ(last.output, lines(3, 3));
    EXPECT_EQ(last.status, 0);
    // Past the end: the end of the file ends the run as usual.
    RunResult beyond = scns({"-b", "4"});
    EXPECT_EQ(beyond.output, kCompleted);
    EXPECT_EQ(beyond.status, 0);
}

TEST_F(FourBlocks, ObjectFilterSkipsOtherObjectsSilently)
{
    EXPECT_EQ(scns({"-o", "12"}).output, lines(2, 2) + kCompleted);
    EXPECT_EQ(scns({"-o", "0"}).output, lines(0, 3) + kCompleted);
    EXPECT_EQ(run_trevanix({"-f", path, "-o", "99", "-g"}).output, kCompleted);
    // Skipped blocks still count towards -n.
    EXPECT_EQ(scns({"-o", "12", "-n", "2"}).output, "");
}

TEST(BlockLoader, TrailingPartialBlockAndEmptyFileAreTheEnd)
{
    ScratchDir dir;
    datafile::File file = file_of({data_block(1, 5), data_block(2, 6)});
    file.trailing_bytes = 100;
    RunResult r = run_trevanix({"-f", dir.write("partial.dbf", file), "-a", "C"});
    EXPECT_EQ(r.output, scn_line(0, 1, 5) + scn_line(1, 2, 6) + kCompleted);
    EXPECT_EQ(r.status, 0);
    RunResult empty = run_trevanix({"-f", dir.write("empty.dbf", Bytes{}), "-g"});
    EXPECT_EQ(empty.output, kCompleted);
    EXPECT_EQ(empty.status, 0);
}

TEST(BlockLoader, FatalConditionsPrintTheirMessageAndExit1)
{
    ScratchDir dir;
    std::string path = dir.write("one.dbf", file_of({data_block(1, 1)}));
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"-f", path, "-z", "-1"}, "Block size too big.\n"},
        {{"-f", path, "-z", "16001"}, "Block size too big.\n"},
        {{"-f", dir.path("missing.dbf")}, "Failed to open datafile " + dir.path("missing.dbf") + "\n"},
        {{"-f", path, "-b", "-1"}, "Failed to set pointer.\n"},
        {{"-f", dir.path("")}, "Failed to read 8192 bytes\n"},  // a directory
        {{"-f", path, "-z", "4000", "-b", "-2147483648"}, "Failed to set pointer.\n"},
    };
    for (const auto& [args, message] : cases) {
        RunResult r = run_trevanix(args);
        EXPECT_EQ(r.output, message + kCompleted) << message;
        EXPECT_EQ(r.status, 1) << message;
    }
}

// The most memory the program took, in KiB, run with `args` and its
// output thrown away; and its exit status.
std::pair<long, int> peak_memory_of(const std::vector<std::string>& args)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv{const_cast<char*>(TREVANIX_BINARY)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t child = -1;
    const int spawn_error = posix_spawn(&child, TREVANIX_BINARY, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawn_error != 0) throw std::runtime_error("cannot run " TREVANIX_BINARY);
    int status = 0;
    rusage usage{};
    ::wait4(child, &status, 0, &usage);
    return {usage.ru_maxrss, WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status)};
}

TEST(BlockLoader, ABlockSizeMinusZRefusesIsRefusedBeforeAnyBlockOfItIsTaken)
{
    ScratchDir dir;
    const std::string path = dir.write("one.dbf", file_of({data_block(1, 1)}));
    const std::string out = dir.path("out");
    // 899999999 would take 7.2 GB for the pages a random read keeps, and
    // 100000000 784 MB: each run stays far below either.
    for (const char* size : {"899999999", "100000000"}) {
        SCOPED_TRACE(size);
        EXPECT_EQ(run_trevanix({"-z", size, "--verify", "-f", path}).output, "Block size too big.\n");
        for (const std::vector<std::string>& mode :
             {std::vector<std::string>{"-f", path}, {"--verify", "-f", path}, {"--verify", path, path},
              {"--rows", "--format", "jsonl", path}, {"--format", "csv", path}, {"-f", path, "--byte-order", "auto"},
              {"--unload", out, path}, {"--ddl", "--infer", path}, {"--list-tables", "--dictionary", path}}) {
            SCOPED_TRACE(mode.front());
            std::vector<std::string> args{"-z", size};
            args.insert(args.end(), mode.begin(), mode.end());
            const auto [peak, status] = peak_memory_of(args);
            EXPECT_EQ(status, 1);
            EXPECT_LT(peak, 256 * 1024);
        }
    }
    // The tables' modes say why before they read anything.
    const RunResult r = run_trevanix({"-z", "20000", "--unload", out, path});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.errors, "trevanix: -z takes at most 16000 bytes; for larger blocks use --block-size N (a power of two "
                        "up to 32768) or --block-size auto\n");
    EXPECT_TRUE(directory_entries(out).empty());
}

TEST(BlockLoader, VerboseHeaderLinesOfADataBlock)
{
    ScratchDir dir;
    Block b = data_block(100, 1);
    b.second_row_count = 0;
    RunResult r = run_trevanix({"-f", dir.write("d.dbf", file_of({b})), "-g"});
    EXPECT_EQ(r.output,
              "Block type: KTB Managed Data Block (6)\nType: DATA\nITL Slots: 2\noffset DHS: 5C \n"
              "Number of table directories: 1\nNumber of rows: 0\nFreespace offset start: 12\n"
              "Freespace offset end: 1FA0\nNumber of rows 2: 0\n" +
                  kCompleted);
}

TEST(BlockLoader, RowCountMismatchWarnsWithVerboseOnly)
{
    ScratchDir dir;
    Block b = data_block(100, 1);
    b.second_row_count = 9;
    std::string path = dir.write("d.dbf", file_of({b}));
    RunResult r = run_trevanix({"-f", path, "-g"});
    EXPECT_NE(r.output.find("Number of rows 2: 9\n\n\n>>>>>>>> WARNING WARNING WARNING >>>>>>>>\n\n"
                            "Number of rows from table directory structure\ndoes not match the number "
                            "of rows from the\ndata header structure!\n\n<<<<<<<< WARNING WARNING "
                            "WARNING <<<<<<<<\n\n\n\nCompleted.\n\n"),
              std::string::npos)
        << r.output;
    EXPECT_EQ(run_trevanix({"-f", path}).output, kCompleted);
}

TEST(BlockLoader, BlockTypeAndLayerLines)
{
    ScratchDir dir;
    Block untyped = data_block(1, 1);
    untyped.block_type = 0;
    untyped.layer_type = 2;
    Block unknown_type = data_block(1, 1);
    unknown_type.block_type = 12;
    unknown_type.layer_type = 7;
    Block index = data_block(1, 1);
    index.layer_type = 2;
    std::string path = dir.write("types.dbf", file_of({untyped, unknown_type, index}));
    EXPECT_EQ(run_trevanix({"-f", path, "-g"}).output,
              "Block type:  (0)\nType: INDEX\nUnknown block type...\nType: Unknown: 7\n"
              "Block type: KTB Managed Data Block (6)\nType: INDEX\n" +
                  kCompleted);
    EXPECT_EQ(run_trevanix({"-f", path, "-a", "C"}).output, kCompleted);
    EXPECT_EQ(run_trevanix({"-f", path}).output, kCompleted);
}

TEST(BlockLoader, DumpScnsPrintsObjectAndScnUnsigned)
{
    ScratchDir dir;
    std::string path = dir.write("big.dbf", file_of({data_block(0x80000001u, 0xFFFFFFFFu, {one_byte_row(1)})}));
    EXPECT_EQ(run_trevanix({"-f", path, "-a", "C"}).output,
              "Block ID: 0, Object ID: 2147483649, SCN: 4294967295\n" + kCompleted);
    EXPECT_EQ(run_trevanix({"-f", path, "-a", "C", "-g"}).output,
              "Block type: KTB Managed Data Block (6)\nType: DATA\n"
              "Block ID: 0, Object ID: 2147483649, SCN: 4294967295\n" +
                  kCompleted);
    // The filter compares the 32-bit pattern: -2147483647 is 0x80000001.
    EXPECT_EQ(run_trevanix({"-f", path, "-a", "C", "-o", "-2147483647"}).output,
              "Block ID: 0, Object ID: 2147483649, SCN: 4294967295\n" + kCompleted);
}

TEST(BlockLoader, DataHeaderThatDoesNotFitEndsTheRun)
{
    ScratchDir dir;
    Bytes block(512, 0);
    block[20] = 1;   // data layer
    block[36] = 20;  // ITL slots: the data header would start at 524
    RunResult r = run_trevanix({"-f", dir.write("itl.dbf", block), "-z", "512", "-g"});
    EXPECT_EQ(r.output, "Block type:  (0)\nType: DATA\nITL Slots: 20\n"
                        "Offset of data header structure is out of bounds.\n" + kCompleted);
    EXPECT_EQ(r.status, 1);

    Block fits = data_block(1, 1, {one_byte_row(7)});
    RunResult ok = run_trevanix({"-f", dir.write("fits.dbf", file_of({fits}, 512)), "-z", "512"});
    EXPECT_EQ(ok.output, kRule + "1: 07 \n" + kCompleted);
    EXPECT_EQ(ok.status, 0);
}

TEST(BlockLoader, TableDirectoryThatDoesNotFitEndsTheRun)
{
    ScratchDir dir;
    Bytes block(106, 0);  // the data header ends exactly at the block end
    block[20] = 1;
    block[36] = 2;
    RunResult r = run_trevanix({"-f", dir.write("td.dbf", block), "-z", "106"});
    EXPECT_EQ(r.output, "Offset of table directory structure is out of bounds.\n" + kCompleted);
    EXPECT_EQ(r.status, 1);
}

TEST(BlockLoader, TinyBlocksReadZerosBeyondTheirEnd)
{
    ScratchDir dir;
    Bytes bytes(25, 0);
    bytes[0] = 6;
    // 10-byte blocks: the layer type lies outside and reads as zero.
    EXPECT_EQ(run_trevanix({"-f", dir.write("tiny.dbf", bytes), "-z", "10", "-g"}).output,
              "Block type: KTB Managed Data Block (6)\nType: Unknown: 0\nBlock type:  (0)\nType: Unknown: 0\n" +
                  kCompleted);
    Bytes data(30, 0);
    data[20] = 1;
    RunResult r = run_trevanix({"-f", dir.write("tiny30.dbf", data), "-z", "30", "-g"});
    EXPECT_EQ(r.output, "Block type:  (0)\nType: DATA\nITL Slots: 0\n"
                        "Offset of data header structure is out of bounds.\n" + kCompleted);
}

// Pieces of the row directory fixture: two one-column rows at the top of the
// block (piece A at 8183, piece B at 8178; entries from the data header at 92).
class RowDirectory : public ::testing::Test {
protected:
    static constexpr std::uint16_t kEntryA = 8183 - 92;
    static constexpr std::uint16_t kEntryB = 8178 - 92;
    ScratchDir dir;

    std::string write(std::vector<std::uint16_t> entries, std::uint16_t row_count)
    {
        Block b = data_block(100, 1, {one_byte_row(1), one_byte_row(2)});
        datafile::BlockLayout layout;
        datafile::build_block(b, 8192, 0, &layout);
        EXPECT_EQ(layout.piece_offsets, (std::vector<std::uint32_t>{8183, 8178}));
        b.directory = entries;
        b.row_count = row_count;
        return dir.write("dir.dbf", file_of({b}));
    }
};

TEST_F(RowDirectory, EmptySlotsAndSmallEntriesAreSkipped)
{
    std::string path = write({0xFFFF, 3, kEntryA, kEntryB, 0x3000}, 5);
    EXPECT_EQ(run_trevanix({"-f", path}).output, kRule + "1: 01 \n" + kRule + "1: 02 \n" + kCompleted);
    std::string header =
        "Block type: KTB Managed Data Block (6)\nType: DATA\nITL Slots: 2\noffset DHS: 5C \n"
        "Number of table directories: 1\nNumber of rows: 5\nFreespace offset start: 1C\n"
        "Freespace offset end: 1F96\nNumber of rows 2: 5\n";
    EXPECT_EQ(run_trevanix({"-f", path, "-g"}).output,
              header +
                  "Offset: 1FF7 (REAL: 1F9B)\nRow header: 2C 8183\nRow flags: 2C\nLock status: 00\nColumns: 01\n\n"
                  "Non-cluster...\n" + kRule + "1: 01 \n\n"
                  "Offset: 1FF2 (REAL: 1F96)\nRow header: 2C 8178\nRow flags: 2C\nLock status: 00\nColumns: 01\n\n"
                  "Non-cluster...\n" + kRule + "1: 02 \n\n"
                  "\n\n>>>>>>>> WARNING WARNING WARNING >>>>>>>>\n\nRow offset is out of bounds\n\n"
                  "<<<<<<<< WARNING WARNING WARNING <<<<<<<<\n\n" +
                  kCompleted);
}

TEST_F(RowDirectory, NoRowsMeansNoPieces)
{
    EXPECT_EQ(run_trevanix({"-f", write({kEntryA, kEntryB}, 0)}).output, kCompleted);
}

TEST_F(RowDirectory, EntryBeyondTheBlockAbandonsOnlyThatBlock)
{
    // 5000 entries would run past the block end; the next block is still read.
    Block crowded = data_block(100, 1);
    crowded.row_count = 5000;
    std::string path = dir.write("count.dbf", file_of({crowded, data_block(100, 2, {one_byte_row(7)})}));
    RunResult r = run_trevanix({"-f", path});
    EXPECT_EQ(r.output, "Count is out of bounds!\n" + kRule + "1: 07 \n" + kCompleted);
    EXPECT_EQ(r.status, 0);
}

TEST(RowHeapWalk, FindsPiecesNoDirectoryEntryPointsAt)
{
    ScratchDir dir;
    datafile::RowPiece orphan = datafile::deleted_piece({Column::bytes({0xDD})});
    orphan.in_directory = false;
    std::string path = dir.write("heap.dbf", file_of({data_block(1, 1, {one_byte_row(1), orphan, one_byte_row(2)})}));
    // The heap walk starts at the lowest piece, the last one inserted.
    EXPECT_EQ(run_trevanix({"-f", path, "-a", "O"}).output,
              kRule + "1: 02 \n" + kRule + "1: DD \n" + kRule + "1: 01 \n" + kCompleted);
    EXPECT_EQ(run_trevanix({"-f", path, "-a", "S"}).output, kDeletedRule + "1: DD \n" + kCompleted);
    EXPECT_EQ(run_trevanix({"-f", path, "-a", "D"}).output, kCompleted);
    EXPECT_EQ(run_trevanix({"-f", path, "-a", "A"}).output, kRule + "1: 01 \n" + kRule + "1: 02 \n" + kCompleted);
    // With -g each step names its block and offset; no blank line follows a piece.
    EXPECT_EQ(run_trevanix({"-f", path, "-a", "O", "-g", "-n", "1"}).output,
              "Block type: KTB Managed Data Block (6)\nType: DATA\nITL Slots: 2\noffset DHS: 5C \n"
              "Number of table directories: 1\nNumber of rows: 2\nFreespace offset start: 16\n"
              "Freespace offset end: 1F91\nNumber of rows 2: 2\n"
              "Block ID: 0, Offset: 1FED\nRow flags: 2C\nLock status: 00\nColumns: 01\n\nNon-cluster...\n" +
                  kRule + "1: 02 \n" +
                  "Block ID: 0, Offset: 1FF2\nRow flags: 3C\nLock status: 00\nColumns: 01\n\nHDFL\n" + kRule +
                  "1: DD \n" +
                  "Block ID: 0, Offset: 1FF7\nRow flags: 2C\nLock status: 00\nColumns: 01\n\nNon-cluster...\n" +
                  kRule + "1: 01 \n");
}

TEST(RowHeapWalk, HeaderLengthCarriesOverWhenAPieceLeavesItUnwritten)
{
    ScratchDir dir;
    // From the bottom: a cluster key (header 19, no columns), then a piece of
    // no class (0x48) that advances by its fixed 3 plus the 19 carried over,
    // then an ordinary row exactly 22 bytes later.
    datafile::RowPiece no_class = datafile::head_piece({});
    no_class.flags = 0x48;
    no_class.header = Bytes(19, 0x2C);
    datafile::RowPiece key = datafile::cluster_key_piece(1, 2, datafile::rowid(0, 0, 0), datafile::rowid(0, 0, 0), {});
    std::string path = dir.write("carry.dbf", file_of({data_block(1, 1, {one_byte_row(9), no_class, key})}));
    EXPECT_EQ(run_trevanix({"-f", path, "-a", "O"}).output, kRule + kRule + "1: 09 \n" + kCompleted);
}

TEST(BlockState, PreviousRowOffsetCarriesAcrossBlocks)
{
    ScratchDir dir;
    // Block 1 points at an HDFL piece two bytes below block 0's last entry:
    // read right after block 0 it is taken as no row; read alone it is a row.
    constexpr std::uint16_t kEntryA = 8183 - 92;
    Block second = data_block(100, 2);
    second.directory = std::vector<std::uint16_t>{kEntryA - 2};
    second.patches = {{kEntryA - 2 + 92, Bytes{0x3C, 0x00, 0x01, 0x01, 0x05}}};
    std::string path = dir.write("carry.dbf", file_of({data_block(100, 1, {one_byte_row(1)}), second}));
    EXPECT_EQ(run_trevanix({"-f", path}).output, kRule + "1: 01 \n" + kCompleted);
    EXPECT_EQ(run_trevanix({"-f", path, "-b", "1"}).output, kRule + "1: 05 \n");
}

}  // namespace
