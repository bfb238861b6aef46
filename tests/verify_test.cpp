// --verify: a sound file reports nothing; each kind of damage planted in an
// otherwise sound block is reported as exactly that, with its figures.
#include <gtest/gtest.h>

#include "test_support.h"

namespace {

using datafile::Block;
using datafile::Bytes;
using datafile::Column;

Block data_block(std::uint32_t scn)
{
    Block b;
    b.object_id = 77;
    b.scn = scn;
    b.rows = {datafile::head_piece({Column::text("row"), Column::bytes(datafile::number_value("42"))})};
    return b;
}

// Block 0 (the file's header, not checked), then data blocks 1 to 4, the
// one at `damaged` with `fault` applied.
datafile::File file_with(int damaged, void (*fault)(Block&))
{
    Block header;
    header.block_type = block_format::kBlockTypeFileHeader;
    header.layer_type = 0;
    std::vector<Block> blocks{header};
    for (int i = 1; i <= 4; ++i) {
        Block b = data_block(0x100 + static_cast<std::uint32_t>(i));
        if (i == damaged) fault(b);
        blocks.push_back(b);
    }
    return file_of(blocks);
}

std::string summary(int checksum, int fractured, int size, int misplaced, int layers, int problems,
                    const std::string& blocks = "5 (never used: 0, file header: 1, checked: 4)",
                    const std::string& scn = "260 (block 4)", int cut_short = 0)
{
    // The blocks of zeros, on a line of their own too.
    const std::size_t never = blocks.find("never used: ") + 12;
    const std::string zeros = blocks.substr(never, blocks.find(',', never) - never);
    return "\nBlocks read: " + blocks + "\nBlocks never written (all zeros): " + zeros +
           "\nChecksum mismatches: " + std::to_string(checksum) +
           "\nFractured blocks: " + std::to_string(fractured) + "\nWrong block size: " + std::to_string(size) +
           "\nMisplaced blocks: " + std::to_string(misplaced) + "\nDamaged data layers: " + std::to_string(layers) +
           "\nBlocks cut short: " + std::to_string(cut_short) + "\nHighest SCN: " + scn + "\n" +
           (problems == 0 ? std::string("No problem found.\n") : "Problems found: " + std::to_string(problems) + ".\n");
}

TEST(Verify, ASoundFileReportsNothing)
{
    ScratchDir dir;
    const std::string path = dir.write("sound.dbf", file_with(0, nullptr));
    const RunResult r = run_trevanix({"-f", path, "--verify"});
    EXPECT_EQ(r.output, summary(0, 0, 0, 0, 0, 0));
    EXPECT_EQ(r.status, 0);
    // The shipped sample and the benchmark's blocks are sound too.
    EXPECT_EQ(run_trevanix({"-f", std::string(TREVANIX_SOURCE_DIR) + "/examples/sample.dbf", "--verify"}).status, 0);
    datafile::File bench;
    for (std::uint32_t i = 0; i < 70; ++i) bench.blocks.push_back(datafile::bench_block(i, 8192));
    const RunResult b = run_trevanix({"-f", dir.write("bench.dbf", bench), "--verify"});
    EXPECT_EQ(b.status, 0) << b.output;
}

TEST(Verify, EachPlantedFaultIsReportedAsWhatItIs)
{
    struct Case {
        const char* name;
        void (*fault)(Block&);
        std::string line;  // what the report says of block 2
        std::string counts;
    };
    const Case cases[] = {
        {"checksum", [](Block& b) { b.faults.bad_checksum = true; },
         "Block ID: 2, checksum: stored 0x", summary(1, 0, 0, 0, 0, 1)},
        {"fractured", [](Block& b) { b.faults.fractured = true; },
         "Block ID: 2, fractured: tail 0x01030601, the header gives 0x01020601 (a write that reached only part of "
         "the block)\n",
         summary(0, 1, 0, 0, 0, 1)},
        {"format", [](Block& b) { b.faults.format = 0xC2; },
         "Block ID: 2, block size: the format byte 0xC2 gives 16384, the run reads 8192\n", summary(0, 0, 1, 0, 0, 1)},
        {"misplaced", [](Block& b) { b.faults.address = 4u << 22 | 9; },
         "Block ID: 2, misplaced: its address names block 9 of file 4\n", summary(0, 0, 0, 1, 0, 1)},
        {"data header", [](Block& b) { b.free_space_start = 0x99; },
         "Block ID: 2, data layer: no consistent data header after the ITL slots or the segment space extension\n",
         summary(0, 0, 0, 0, 1, 1)},
        {"directory entry", [](Block& b) { b.directory = std::vector<std::uint16_t>{9000}; },
         "Block ID: 2, data layer: 1 row directory entry points outside the block (the first in slot 0)\n",
         summary(0, 0, 0, 0, 1, 1)},
    };
    ScratchDir dir;
    for (const Case& c : cases) {
        const RunResult r = run_trevanix({"-f", dir.write("one.dbf", file_with(2, c.fault)), "--verify"});
        EXPECT_EQ(r.output.rfind(c.line, 0), 0u) << c.name << ":\n" << r.output;
        EXPECT_EQ(r.output.substr(r.output.find("\nBlocks read")), c.counts) << c.name;
        EXPECT_EQ(r.status, 4) << c.name;
    }
}

TEST(Verify, AChecksumReportGivesTheStoredAndTheNeededValue)
{
    ScratchDir dir;
    const datafile::File file = file_with(2, [](Block& b) { b.faults.bad_checksum = true; });
    const Bytes bytes = datafile::build_file(file);
    const unsigned stored = static_cast<unsigned>(bytes[2 * 8192 + 16] | bytes[2 * 8192 + 17] << 8);
    char expected[128];
    std::snprintf(expected, sizeof expected, "Block ID: 2, checksum: stored 0x%04X, the block's bytes need 0x%04X", stored,
                  stored ^ 1);
    EXPECT_EQ(run_trevanix({"-f", dir.write("c.dbf", bytes), "--verify"}).output.rfind(expected, 0), 0u);
    // A block whose flags keep no checksum is not checked for one.
    const RunResult none =
        run_trevanix({"-f", dir.write("n.dbf", file_with(2, [](Block& b) { b.faults.no_checksum = true; })), "--verify"});
    EXPECT_EQ(none.status, 0) << none.output;
}

TEST(Verify, ACopyThatStartsPartWayIntoItsFileIsReportedOnce)
{
    // The file's blocks 3 to 10, copied on their own: every address is 3
    // more than the block's place in the copy.
    std::vector<Block> blocks;
    for (std::uint32_t i = 0; i < 8; ++i) {
        Block b = data_block(0x200 + i);
        b.faults.address = 4u << 22 | (i + 3);
        blocks.push_back(b);
    }
    ScratchDir dir;
    const RunResult r = run_trevanix({"-f", dir.write("carved.dbf", file_of(blocks)), "--verify"});
    EXPECT_EQ(r.output, "Block ID: 1 to 7, misplaced alike: each block's address names the block 3 places after it "
                        "(the first names block 4 of file 4), as in a copy of part of a file\n" +
                            summary(0, 0, 0, 7, 0, 7, "8 (never used: 0, file header: 1, checked: 7)", "519 (block 7)"));
    EXPECT_EQ(r.status, 4);
}

TEST(Verify, ZerosBlockZeroRangesAndObjectsAreCountedNotChecked)
{
    std::vector<Block> blocks;
    Block header;
    header.block_type = block_format::kBlockTypeFileHeader;
    header.faults.bad_checksum = true;  // block 0 is not checked
    blocks.push_back(header);
    blocks.push_back(data_block(0x300));
    Block other = data_block(0x301);
    other.object_id = 88;
    other.faults.fractured = true;
    blocks.push_back(other);
    datafile::Bytes file = datafile::build_file(file_of(blocks));
    file.resize(file.size() + 8192, 0);  // a block never used
    ScratchDir dir;
    const std::string path = dir.write("mixed.dbf", file);
    EXPECT_EQ(run_trevanix({"-f", path, "--verify", "-o", "77"}).output,
              summary(0, 0, 0, 0, 0, 0, "1 (never used: 0, file header: 0, checked: 1)", "768 (block 1)"));
    const RunResult all = run_trevanix({"-f", path, "--verify", "-a", "S", "-g"});
    EXPECT_EQ(all.output.substr(all.output.find("\nBlocks read")),
              summary(0, 1, 0, 0, 0, 1, "4 (never used: 1, file header: 1, checked: 2)", "769 (block 2)"));
    EXPECT_EQ(run_trevanix({"-f", path, "--verify", "-b", "1", "-n", "1"}).status, 0);
    EXPECT_EQ(run_trevanix({"-f", path, "--verify", "-b", "2"}).status, 4);
}

TEST(Verify, JsonLinesGiveEveryCheckOfEveryBlock)
{
    ScratchDir dir;
    const std::string path = dir.write("f.dbf", file_with(3, [](Block& b) { b.faults.fractured = true; }));
    const RunResult r = run_trevanix({"-f", path, "--verify", "--format=jsonl"});
    const std::vector<Json> lines = parse_json_lines(r.output);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0]["state"].text, "file header");
    for (std::size_t i = 1; i < 5; ++i) {
        EXPECT_EQ(lines[i]["block"].text, std::to_string(i));
        EXPECT_EQ(lines[i]["checksum"].text, "ok");
        EXPECT_EQ(lines[i]["tail"].text, i == 3 ? "fractured" : "ok");
        EXPECT_EQ(lines[i]["format"].text, "ok");
        EXPECT_EQ(lines[i]["address"].text, "ok");
        EXPECT_EQ(lines[i]["data_layer"].text, "ok");
        EXPECT_EQ(lines[i]["sound"].boolean, i != 3);
    }
    EXPECT_EQ(r.status, 4);
    const RunResult csv = run_trevanix({"-f", path, "--verify", "--format=csv"});
    EXPECT_EQ(csv.status, 2);
    EXPECT_EQ(csv.errors, "trevanix: --verify writes its report as text or jsonl, not csv\n");
    const RunResult missing = run_trevanix({"-f", dir.path("none"), "--verify", "--format=jsonl"});
    EXPECT_EQ(missing.errors, "Failed to open datafile " + dir.path("none") + "\ntrevanix: cannot open " +
                                  dir.path("none") + ": No such file or directory\n");
    EXPECT_EQ(missing.status, 1);
}

// Verification never passes what it did not check: a block cut short by
// the file's end is damage, a run that checked no block fails, and a file
// that could not be read gets no verdict at all.
TEST(Verify, ClaimsSuccessOnlyForBlocksItChecked)
{
    ScratchDir dir;
    datafile::Bytes bytes = datafile::build_file(file_with(0, nullptr));
    bytes.resize(bytes.size() - 4136);  // block 4 ends 4056 bytes in
    const std::string cut = dir.write("cut.dbf", bytes);
    const RunResult r = run_trevanix({"-f", cut, "--verify"});
    EXPECT_EQ(r.output, "Block ID: 4, cut short: the file ends 4056 bytes into the block\n" +
                            summary(0, 0, 0, 0, 0, 1, "4 (never used: 0, file header: 1, checked: 3)",
                                    "259 (block 3)", 1));
    EXPECT_EQ(r.status, 4);
    EXPECT_EQ(r.errors, "trevanix: the file ends 4056 bytes into block 4: the block is cut short and was not read\n");
    const RunResult j = run_trevanix({"-f", cut, "--verify", "--format", "jsonl"});
    const std::vector<Json> lines = parse_json_lines(j.output);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[4]["state"].text, "cut short");
    EXPECT_EQ(lines[4]["bytes"].text, "4056");
    EXPECT_FALSE(lines[4]["sound"].boolean);
    EXPECT_EQ(j.status, 4);

    // 32K blocks over an 8K file: block 0 is the file header, block 1 is cut short.
    const std::string sound = dir.write("sound.dbf", file_with(0, nullptr));
    const RunResult wide = run_trevanix({"-f", sound, "--verify", "--block-size", "32768"});
    EXPECT_TRUE(wide.output.ends_with("Problems found: 1.\nNo block was checked.\n")) << wide.output;
    EXPECT_EQ(wide.status, 1);
    const RunResult past = run_trevanix({"-f", sound, "--verify", "-b", "9"});
    EXPECT_TRUE(past.output.ends_with("No block was checked.\n")) << past.output;
    EXPECT_EQ(past.errors, "trevanix: read 0 blocks: block 9 is past the end of " + sound + " (5 blocks)\n");
    EXPECT_EQ(past.status, 1);
    const RunResult jsonl_past = run_trevanix({"-f", sound, "--verify", "-b", "9", "--format", "jsonl"});
    EXPECT_EQ(jsonl_past.output, "");
    EXPECT_EQ(jsonl_past.status, 1);

    const RunResult missing = run_trevanix({"-f", dir.path("none"), "--verify"});
    EXPECT_EQ(missing.output, "Failed to open datafile " + dir.path("none") + "\n");
    EXPECT_EQ(missing.status, 1);
    const RunResult directory = run_trevanix({"-f", dir.root(), "--verify"});
    EXPECT_EQ(directory.output, "Failed to read 8192 bytes\n");
    EXPECT_EQ(directory.errors, "trevanix: cannot read block 0 of " + dir.root() + ": Is a directory\n");
    EXPECT_EQ(directory.status, 1);
}

}  // namespace
