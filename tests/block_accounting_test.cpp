// Every block of every table's segment accounted for, over the builder's
// sample database damaged the way seized disks are: a block zeroed,
// overwritten with random bytes or cut off with the end of its file, a
// cluster's block, a partition's, a segment header without a high water
// mark or damaged; what --unload and --verify say of each, their exit
// statuses, and --force over an earlier unload.
#include <gtest/gtest.h>

#include <random>
#include <sys/stat.h>

#include "format/block_format.h"
#include "format/file_format.h"
#include "row_layout.h"
#include "system_file.h"
#include "test_support.h"
#include "unload/block_accounting.h"

namespace {

constexpr std::uint32_t kBlockSize = 8192;
constexpr int kIncomplete = 4;

// The sample database in a scratch directory; its USERS file is damaged
// in copies.
struct Sample {
    ScratchDir dir;
    datafile::BuiltDatabase built = datafile::build_database(datafile::sample_database());
    std::string system;
    std::string users_bytes;

    Sample()
    {
        datafile::write_database(built, dir.root());
        system = dir.path("system01.dbf");
        users_bytes = read_file(dir.path("users01.dbf"));
    }

    // The block that holds the first row of the table (or partition).
    std::uint32_t block_of(std::string_view owner, std::string_view table, std::string_view partition = "") const
    {
        return built.rows_of(owner, table, partition).rows.front().head->block;
    }
    std::uint32_t header_of(std::string_view segment) const
    {
        for (const datafile::SegmentTruth& s : built.segments)
            if (s.name == segment) return s.header.block;
        throw std::invalid_argument("no segment " + std::string(segment));
    }
    // A copy of the USERS file with `change` made to its bytes.
    template <class Change>
    std::string users_with(const std::string& name, Change change) const
    {
        std::string bytes = users_bytes;
        change(bytes);
        return dir.write(name, bytes);
    }
    std::string zeroed(const std::string& name, std::vector<std::uint32_t> blocks) const
    {
        return users_with(name, [&](std::string& bytes) {
            for (std::uint32_t block : blocks) bytes.replace(std::size_t{block} * kBlockSize, kBlockSize, kBlockSize, '\0');
        });
    }
    RunResult unload(const std::string& out, const std::string& users, std::vector<std::string> more = {}) const
    {
        std::vector<std::string> args{"--unload", dir.path(out), "--dictionary", system};
        args.insert(args.end(), more.begin(), more.end());
        args.push_back(users);
        return run_trevanix(args);
    }
    Json summary(const std::string& out) const { return parse_json(read_file(dir.path(out) + "/summary.json")); }
};

const Json& table_in(const Json& summary, const std::string& owner, const std::string& name)
{
    for (const Json& table : summary["tables"].items)
        if (table["owner"].text == owner && table["table"].text == name) return table;
    throw std::invalid_argument("no table " + owner + "." + name + " in the summary");
}

std::string place(std::uint32_t block, const std::string& why)
{
    return "file 4 block " + std::to_string(block) + " (" + why + ")";
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// ---------------------------------------------------------------------------

TEST(BlockAccounting, AZeroedBlockOfATableIsLostByItWithFiguresAndExitStatus4)
{
    const Sample s;
    const std::uint32_t block = s.block_of("SCOTT", "WIDE");
    const std::string users = s.zeroed("zeroed.dbf", {block});
    const RunResult r = s.unload("out", users);
    EXPECT_EQ(r.status, kIncomplete) << r.errors;
    const Json summary = s.summary("out");
    const Json& wide = table_in(summary, "SCOTT", "WIDE");
    EXPECT_EQ(wide["rows"].text, "0");
    EXPECT_EQ(wide["lost_blocks"].text, "1");
    EXPECT_EQ(wide["lost_places"].text, place(block, "all zeros"));
    EXPECT_EQ(wide["without_rows"].text, "1 block, all zeros");
    EXPECT_EQ(table_in(summary, "SCOTT", "EMP")["lost_blocks"].text, "0");
    EXPECT_EQ(summary["blocks_lost"].text, "1");
    // The table on standard error names it, with the place.
    EXPECT_TRUE(contains(r.errors, "\nSCOTT.WIDE               0        0      0       0            0           0            0"
                                   "     0           0       0        0       1\n"))
        << r.errors;
    EXPECT_TRUE(contains(r.errors, "tables of the schema had no rows in the files: SCOTT.WIDE (1 block, all zeros); "))
        << r.errors;
    EXPECT_TRUE(contains(r.errors, "\nSCOTT.WIDE lost the 1 block that should hold its rows: " + place(block, "all zeros") +
                                       "\n"))
        << r.errors;
    EXPECT_TRUE(contains(r.errors, ", 1 block lost (holding none of the rows they should), ")) << r.errors;
    EXPECT_FALSE(contains(read_file(s.dir.path("out") + "/sqlite.sql"), "SCOTT.WIDE.csv"));

    // --verify: zeros are no problem by themselves; inside a table's
    // segment below its mark, with the dictionary, they are.
    RunResult v = run_trevanix({"--verify", users});
    EXPECT_EQ(v.status, 0) << v.output;
    EXPECT_TRUE(contains(v.output, "\nBlocks never written (all zeros): ")) << v.output;
    EXPECT_TRUE(contains(v.output, "No problem found.\n"));
    v = run_trevanix({"--verify", "--dictionary", s.system, users});
    EXPECT_EQ(v.status, kIncomplete) << v.output << v.errors;
    EXPECT_TRUE(contains(v.output, "Table SCOTT.WIDE: 1 block of its segments holds none of its rows: " +
                                       place(block, "all zeros") + "\n"))
        << v.output;
    EXPECT_TRUE(contains(v.output, "\nLost blocks of tables: 1\n")) << v.output;
    EXPECT_TRUE(contains(v.output, "\nProblems found: 1.\n")) << v.output;
    const std::vector<Json> lines = parse_json_lines(
        run_trevanix({"--verify", "--format", "jsonl", "--dictionary", s.system, users}).output);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back()["table"].text, "SCOTT.WIDE");
    EXPECT_EQ(lines.back()["lost_blocks"].text, "1");
    // The sound file with its dictionary: nothing.
    v = run_trevanix({"--verify", "--dictionary", s.system, s.dir.path("users01.dbf")});
    EXPECT_EQ(v.status, 0) << v.output;
    EXPECT_TRUE(contains(v.output, "\nLost blocks of tables: 0\n")) << v.output;
}

TEST(BlockAccounting, RandomBytesAreChargedToTheTableWhoseExtentsHoldThemWhateverObjectTheyName)
{
    const Sample s;
    const std::uint32_t block = s.block_of("SCOTT", "SALES", "P2019");
    const std::string users = s.users_with("random.dbf", [&](std::string& bytes) {
        std::mt19937 random(7);
        for (std::size_t i = 0; i < kBlockSize; ++i)
            bytes[std::size_t{block} * kBlockSize + i] = static_cast<char>(random() & 0xFF);
    });
    const RunResult r = s.unload("out", users);
    EXPECT_EQ(r.status, kIncomplete) << r.errors;
    const Json summary = s.summary("out");
    const Json& sales = table_in(summary, "SCOTT", "SALES");
    EXPECT_EQ(sales["rows"].text, "3");  // the other partition's
    EXPECT_EQ(sales["lost_blocks"].text, "1");
    EXPECT_EQ(sales["lost_places"].text, place(block, "damaged: it fails the checks of --verify"));
    EXPECT_EQ(summary["blocks_damaged"].text, "1");
    EXPECT_EQ(summary["blocks_lost"].text, "1");
}

TEST(BlockAccounting, AClusterBlockIsChargedToEveryTableOfTheClusterAndCountedOnce)
{
    const Sample s;
    const std::uint32_t block = s.block_of("SCOTT", "EMP");
    ASSERT_EQ(block, s.block_of("SCOTT", "DEPT"));
    const RunResult r = s.unload("out", s.zeroed("cluster.dbf", {block}));
    EXPECT_EQ(r.status, kIncomplete) << r.errors;
    const Json summary = s.summary("out");
    for (const char* table : {"DEPT", "EMP"}) {
        EXPECT_EQ(table_in(summary, "SCOTT", table)["lost_blocks"].text, "1") << table;
        EXPECT_EQ(table_in(summary, "SCOTT", table)["lost_places"].text, place(block, "all zeros")) << table;
    }
    EXPECT_EQ(summary["blocks_lost"].text, "1");
}

TEST(BlockAccounting, AFileCutShortIsSaidWithFiguresAndTheBlocksPastItsEndChargedToTheirTables)
{
    const Sample s;
    const std::string users = s.dir.write("cut.dbf", s.users_bytes.substr(0, kBlockSize * 91 + 3000));
    const std::size_t blocks = s.users_bytes.size() / kBlockSize;
    const RunResult r = s.unload("out", users);
    EXPECT_EQ(r.status, kIncomplete) << r.errors;
    const std::string said = users + " is cut short: " + std::to_string(blocks - 91) + " of " + std::to_string(blocks) +
                             " blocks missing (the file header gives " + std::to_string(blocks - 1) +
                             " blocks after block 0)";
    EXPECT_TRUE(contains(r.errors, "\n" + said + "\n")) << r.errors;
    const Json summary = s.summary("out");
    ASSERT_EQ(summary["cut_short_files"].items.size(), 1u);
    const Json& cut = summary["cut_short_files"].items[0];
    EXPECT_EQ(cut["file"].text, users);
    EXPECT_EQ(cut["blocks"].text, std::to_string(blocks));
    EXPECT_EQ(cut["missing_blocks"].text, std::to_string(blocks - 91));
    // SCOTT.NOTES's six blocks lay past the cut.
    const datafile::TableRows& notes = s.built.rows_of("SCOTT", "NOTES");
    std::uint32_t first = ~0u, last = 0;
    for (const datafile::RowTruth& row : notes.rows)
        for (const datafile::PieceAddress& piece : row.pieces) {
            first = std::min(first, piece.block);
            last = std::max(last, piece.block);
        }
    ASSERT_GE(first, 91u);
    const Json& lost = table_in(summary, "SCOTT", "NOTES");
    EXPECT_EQ(lost["lost_blocks"].text, std::to_string(last - first + 1));
    EXPECT_EQ(lost["lost_places"].text, "file 4 blocks " + std::to_string(first) + " to " + std::to_string(last) +
                                            " (past the end of " + users + ", which is cut short)");
    EXPECT_EQ(table_in(summary, "SCOTT", "EMP")["lost_blocks"].text, "0");
    // --verify says it too.
    const RunResult v = run_trevanix({"--verify", users});
    EXPECT_EQ(v.status, kIncomplete);
    EXPECT_TRUE(contains(v.errors, "trevanix: " + said + "\n")) << v.errors;
}

// A segment header whose high water mark is cleared (as where it cannot be
// read): only the blocks before the last that holds the table's rows are
// lost; those after it are taken for never written.
TEST(BlockAccounting, WithoutAHighWaterMarkABlockIsLostOnlyBeforeTheLastThatHoldsRows)
{
    const Sample s;
    const std::uint32_t header = s.header_of("SCOTT.NOTES");
    std::vector<std::uint32_t> blocks;
    for (const datafile::RowTruth& row : s.built.rows_of("SCOTT", "NOTES").rows)
        for (const datafile::PieceAddress& piece : row.pieces)
            if (std::find(blocks.begin(), blocks.end(), piece.block) == blocks.end()) blocks.push_back(piece.block);
    std::sort(blocks.begin(), blocks.end());
    ASSERT_GE(blocks.size(), 3u);
    const auto without_mark = [&](std::string& bytes) {
        datafile::Bytes block(bytes.begin() + std::ptrdiff_t{header} * kBlockSize,
                              bytes.begin() + std::ptrdiff_t{header + 1} * kBlockSize);
        for (std::size_t i = 0; i < 4; ++i) block[file_format::high_water_mark_at(true) + i] = 0;
        datafile::seal_block(block, ByteOrder::Little);
        bytes.replace(std::size_t{header} * kBlockSize, kBlockSize, std::string(block.begin(), block.end()));
    };
    // One block in the middle and the last zeroed: the middle one is lost.
    const std::string some = s.users_with("some.dbf", [&](std::string& bytes) {
        without_mark(bytes);
        for (std::uint32_t block : {blocks[1], blocks.back()})
            bytes.replace(std::size_t{block} * kBlockSize, kBlockSize, kBlockSize, '\0');
    });
    RunResult r = s.unload("some", some, {"--table", "SCOTT.NOTES"});
    EXPECT_EQ(r.status, kIncomplete) << r.errors;
    const Json some_summary = s.summary("some");
    const Json& notes = table_in(some_summary, "SCOTT", "NOTES");
    EXPECT_EQ(notes["lost_blocks"].text, "1");
    EXPECT_EQ(notes["lost_places"].text, place(blocks[1], "all zeros"));
    // Every block zeroed: nothing lost, and the table named with what its blocks were.
    const std::string none = s.users_with("none.dbf", [&](std::string& bytes) {
        without_mark(bytes);
        for (std::uint32_t block : blocks) bytes.replace(std::size_t{block} * kBlockSize, kBlockSize, kBlockSize, '\0');
    });
    r = s.unload("none", none, {"--table", "SCOTT.NOTES"});
    EXPECT_EQ(r.status, 0) << r.errors;
    const Json none_summary = s.summary("none");
    const Json& empty = table_in(none_summary, "SCOTT", "NOTES");
    EXPECT_EQ(empty["lost_blocks"].text, "0");
    // Every block of its extents but its header and bitmap blocks.
    std::uint32_t extent_blocks = 0;
    for (const datafile::SegmentTruth& segment : s.built.segments)
        if (segment.name == "SCOTT.NOTES")
            for (const datafile::Extent& extent : segment.extents) extent_blocks += extent.length;
    const std::string what =
        std::to_string(extent_blocks - file_format::kSpaceSegmentFirstBlocks.size()) + " blocks, all zeros";
    EXPECT_EQ(empty["without_rows"].text, what);
    EXPECT_TRUE(contains(r.errors, "1 table of the schema had no rows in the files: SCOTT.NOTES (" + what + ")\n"))
        << r.errors;
}

TEST(BlockAccounting, ADamagedSegmentHeaderLeavesItsTablesBlocksUnaccountedForAndSaysSo)
{
    const Sample s;
    const std::uint32_t header = s.header_of("SCOTT.WIDE");
    const RunResult r = s.unload("out", s.zeroed("header.dbf", {header}), {"--table", "SCOTT.WIDE"});
    EXPECT_EQ(r.status, kIncomplete) << r.errors;
    const Json summary = s.summary("out");
    const Json& wide = table_in(summary, "SCOTT", "WIDE");
    EXPECT_EQ(wide["rows"].text, "4");  // its rows are found by their data object all the same
    const std::string why = "its segment header (file 4 block " + std::to_string(header) +
                            ") is no segment header: its block type is 0x00";
    EXPECT_EQ(wide["blocks_unaccounted_for"].text, why);
    EXPECT_TRUE(contains(r.errors, "\nSCOTT.WIDE's blocks are not all accounted for: " + why + "\n")) << r.errors;
}

TEST(BlockAccounting, ExitStatusesSayWhetherAnythingWasDamagedLostOrNotDecoded)
{
    const Sample s;
    const std::string users = s.dir.path("users01.dbf");
    // Every block sound, every row whole and decoded.
    RunResult r = s.unload("sound", users, {"--table", "SCOTT.EMP", "--table", "SCOTT.DEPT"});
    EXPECT_EQ(r.status, 0) << r.errors;
    // The LOB locators of HR.ALL_TYPES are not decoded.
    r = s.unload("all", users);
    EXPECT_EQ(r.status, kIncomplete) << r.errors;
    // An output that cannot be written.
    const std::string file = s.dir.write("a-file", std::string("x"));
    r = run_trevanix({"--unload", file + "/out", "--dictionary", s.system, users});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.errors, "cannot create the directory")) << r.errors;
}

// --force removes what an earlier unload wrote, and only that: a table
// without rows this time leaves no CSV file behind, the earlier run's
// temporary files go, and other files stay.
TEST(BlockAccounting, ForceStartsCleanOverAnEarlierUnload)
{
    const Sample s;
    const std::string out = s.dir.path("out");
    ASSERT_EQ(s.unload("out", s.dir.path("users01.dbf"), {"--quiet"}).status, kIncomplete);
    ASSERT_TRUE(directory_entries(out).count("SCOTT.WIDE.csv"));
    s.dir.write("out/mine.txt", std::string("notes of mine\n"));
    s.dir.write("out/SCOTT.EMP.csv.part", std::string("an earlier run's"));
    const std::string users = s.zeroed("zeroed.dbf", {s.block_of("SCOTT", "WIDE")});
    const RunResult r = s.unload("out", users, {"--quiet", "--force"});
    EXPECT_EQ(r.status, kIncomplete) << r.errors;
    const std::set<std::string> names = directory_entries(out);
    EXPECT_FALSE(names.count("SCOTT.WIDE.csv"));
    EXPECT_FALSE(names.count("SCOTT.WIDE.ctl"));
    EXPECT_EQ(read_file(out + "/mine.txt"), "notes of mine\n");
    for (const std::string& name : names) EXPECT_FALSE(name.ends_with(".part")) << name;
    EXPECT_TRUE(names.count("SCOTT.EMP.csv"));
    const Json summary = s.summary("out");
    EXPECT_EQ(table_in(summary, "SCOTT", "WIDE")["lost_blocks"].text, "1");
}

// ---------------------------------------------------------------------------
// The accounting itself, over a segment the test lays out: a freelist
// segment of data object 500 at block 10 of file 4, one extent of 8 blocks,
// its mark at block 16.

struct OneSegment {
    std::unique_ptr<unload::BlockAccounting> accounting;

    explicit OneSegment(std::uint32_t mark, std::vector<std::uint32_t> objects = {500})
    {
        datafile::FileSet files(kBlockSize);
        datafile::ExtentMap map;
        map.extents = {{10, 8}};
        map.high_water_mark = mark == 0 ? 0 : datafile::block_address(4, mark);
        files.put_image({4, 10}, datafile::segment_map_blocks(false, 4, 10, 500, map, kBlockSize, ByteOrder::Little).front());
        datafile::FileHeader header;
        header.relative_file = 4;
        header.block_count = 19;
        files.put_image({4, 1}, datafile::file_header_block(header, kBlockSize, ByteOrder::Little));
        DataFileSet set;
        set.add(DataFile::from_bytes(datafile::build_file(files.file(4, 20)), "f.dbf"));
        set[0].set_geometry({kBlockSize, ByteOrder::Little});
        accounting = std::make_unique<unload::BlockAccounting>(
            set, std::vector<unload::AccountedTable>{{"T", {{{4, 10}, objects}}}, {"U", {{{4, 10}, {501}}}}});
    }
    void data(std::uint32_t block, std::uint32_t object, bool rows_read = true)
    {
        BlockChecks checks;
        checks.header.block_type = block_format::kBlockTypeData;
        checks.header.layer_type = block_format::kLayerData;
        checks.header.object_id = object;
        accounting->note(4, block, checks, rows_read);
    }
    void zeros(std::uint32_t block)
    {
        BlockChecks checks;
        checks.state = CheckedAs::NeverUsed;
        accounting->note(4, block, checks, false);
    }
};

TEST(BlockAccountingUnit, PlacesBelowTheMarkThatHoldNoRowsAreLostEachOnce)
{
    OneSegment s(16);
    s.data(11, 500);
    s.zeros(12);
    s.zeros(12);      // noted again: as found first
    s.data(12, 500);  // and not taken back
    s.data(13, 777);
    s.data(14, 500, false);
    // 15 never read; 16 and 17 lie above the mark.
    s.zeros(16);
    const std::vector<unload::TableLoss> losses = s.accounting->losses();
    ASSERT_EQ(losses.size(), 2u);
    EXPECT_EQ(losses[0].expected, 5u);
    EXPECT_EQ(losses[0].lost, 4u);
    EXPECT_EQ(losses[0].unread, 1u);
    EXPECT_EQ(losses[0].places, "file 4 block 12 (all zeros), file 4 block 13 (rows of data object 777), "
                                "file 4 block 14 (its rows could not be read), ...");
    // A table sharing the segment (as a cluster's do) is charged the same places.
    EXPECT_EQ(losses[1].lost, 4u);
    EXPECT_EQ(s.accounting->blocks_lost(), 4u);
    EXPECT_EQ(s.accounting->blocks_lost_read(), 3u);
}

TEST(BlockAccountingUnit, WithoutAMarkOnlyPlacesBeforeTheLastHoldingRowsAreLost)
{
    OneSegment s(0);
    s.zeros(11);
    s.data(12, 500);
    s.zeros(13);
    s.data(14, 500);
    s.zeros(15);
    s.zeros(16);
    s.zeros(17);
    std::vector<unload::TableLoss> losses = s.accounting->losses();
    EXPECT_EQ(losses[0].expected, 4u);
    EXPECT_EQ(losses[0].lost, 2u);
    EXPECT_EQ(losses[0].places, "file 4 block 11 (all zeros), file 4 block 13 (all zeros)");
    EXPECT_EQ(losses[0].without_rows, "");

    OneSegment empty(0);
    for (std::uint32_t block = 11; block < 18; ++block) empty.zeros(block);
    losses = empty.accounting->losses();
    EXPECT_EQ(losses[0].lost, 0u);
    EXPECT_EQ(losses[0].without_rows, "7 blocks, all zeros");
}

// Segments whose maps claim the same blocks over and over (as a hostile
// dictionary's could) are believed no further than the files have blocks.
TEST(BlockAccountingUnit, OverlappingMapsAreBelievedNoFurtherThanTheFilesHaveBlocks)
{
    datafile::FileSet files(kBlockSize);
    std::vector<unload::AccountedTable> tables;
    for (std::uint32_t header = 2; header < 5; ++header) {
        datafile::ExtentMap map;
        map.extents = {{header, 17 - header}};
        files.put_image({4, header},
                        datafile::segment_map_blocks(false, 4, header, 500 + header, map, kBlockSize, ByteOrder::Little).front());
        std::string name = "T";
        tables.push_back({name.append(std::to_string(header)), {{{4, header}, {500 + header}}}});
    }
    datafile::FileHeader header;
    header.relative_file = 4;
    header.block_count = 29;  // 30 blocks: room for the first two maps' 14 and 13
    files.put_image({4, 1}, datafile::file_header_block(header, kBlockSize, ByteOrder::Little));
    DataFileSet set;
    set.add(DataFile::from_bytes(datafile::build_file(files.file(4, 30)), "f.dbf"));
    set[0].set_geometry({kBlockSize, ByteOrder::Little});
    const unload::BlockAccounting accounting(set, tables);
    const std::vector<unload::TableLoss> losses = accounting.losses();
    EXPECT_EQ(losses[0].unaccounted, "");
    EXPECT_EQ(losses[1].unaccounted, "");
    EXPECT_EQ(losses[2].unaccounted, "its extents overlap other segments': with theirs, they hold more blocks than "
                                     "the files read");
    EXPECT_EQ(accounting.unaccounted_segments(), 1u);
}

}  // namespace
