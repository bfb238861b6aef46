// Block sizes from 2K to 32K and both byte orders: the same rows written
// every way dump to the same records, a big-endian file dumps exactly like
// its little-endian twin, and --block-size auto / --byte-order auto find
// what the file holds.
#include <gtest/gtest.h>

#include "test_support.h"

namespace {

using datafile::Block;
using datafile::Bytes;

const std::string kTemplate = std::string(TREVANIX_SOURCE_DIR) + "/examples/sample.template";

std::string sample_in(const ScratchDir& dir, std::uint32_t block_size, ByteOrder order)
{
    datafile::File file = datafile::sample_file();
    file.block_size = block_size;
    file.byte_order = order;
    return dir.write("sample-" + std::to_string(block_size) + (order == ByteOrder::Big ? "-big" : "-little"), file);
}

// What a record says of its row, leaving out where it lies in the file.
std::string row_of(const Json& r)
{
    std::string s = r["block"].text + " " + r["walk"].text + " " + r["slot"].text + " " + r["flags"].text + " " +
                    r["class"].text + " " + r["lock"].text + " " + (r["itl"].kind == Json::Null ? "-" : r["itl"]["xid"].text);
    for (const Json& c : r["columns"].items) s += "|" + (c.kind == Json::Object ? c["hex"].text : c.text);
    return s;
}

TEST(BlockLayout, TheSameRowsInEverySizeAndOrderGiveTheSameRecords)
{
    ScratchDir dir;
    std::vector<std::string> expected;
    for (const std::uint32_t size : {2048u, 8192u, 16384u, 32768u}) {
        for (const ByteOrder order : {ByteOrder::Little, ByteOrder::Big}) {
            const std::string path = sample_in(dir, size, order);
            for (const char* action : {"A", "O", "S"}) {
                const RunResult r =
                    run_trevanix({"-f", path, "-c", kTemplate, "-a", action, "--format=jsonl", "--block-size",
                                  std::to_string(size), "--byte-order", order == ByteOrder::Big ? "big" : "little"});
                ASSERT_EQ(r.status, 0) << r.errors;
                std::string rows;
                for (const Json& record : parse_json_lines(r.output)) rows += row_of(record) + "\n";
                const std::size_t index = static_cast<std::size_t>(action[0] == 'A' ? 0 : action[0] == 'O' ? 1 : 2);
                if (expected.size() <= index) expected.push_back(rows);
                EXPECT_EQ(rows, expected[index]) << size << " " << action;
            }
            EXPECT_EQ(run_trevanix({"-f", path, "--verify", "--block-size=" + std::to_string(size),
                                    order == ByteOrder::Big ? "--byte-order=big" : "--byte-order=little"})
                          .status,
                      0)
                << size;
        }
    }
    EXPECT_NE(expected[0].find("7788|SCOTT, \"JR\""), std::string::npos) << expected[0];
}

TEST(BlockLayout, ABigEndianFileDumpsExactlyLikeItsLittleEndianTwin)
{
    ScratchDir dir;
    for (const std::uint32_t size : {2048u, 32768u}) {
        const std::string little = sample_in(dir, size, ByteOrder::Little);
        const std::string big = sample_in(dir, size, ByteOrder::Big);
        for (const char* action : {"A", "D", "O", "S", "C"}) {
            const std::vector<std::string> common{"--block-size", std::to_string(size), "-g", "-v", "-a", action};
            std::vector<std::string> a = common, b = common;
            a.insert(a.end(), {"-f", little});
            b.insert(b.end(), {"-f", big, "--byte-order", "big"});
            const RunResult l = run_trevanix(a), r = run_trevanix(b);
            EXPECT_EQ(r.output, l.output) << size << " " << action;
            if (action[0] != 'C') {
                EXPECT_NE(l.output.find("Row flags"), std::string::npos) << action;
            }
        }
    }
}

// Block 0 as the operating system writes it, then the data file header,
// then data blocks.
std::string file_with_header(const ScratchDir& dir, std::uint32_t size, ByteOrder order)
{
    datafile::File file = datafile::sample_file();
    file.block_size = size;
    file.byte_order = order;
    Block os_header;
    os_header.block_type = 0;
    os_header.layer_type = 0;
    os_header.faults.fractured = true;
    os_header.faults.format = 0x00;
    file.blocks.insert(file.blocks.begin(), os_header);
    return dir.write("header-" + std::to_string(size), file);
}

TEST(BlockLayout, AutoFindsTheSizeFromTheDataFileHeaderOrTheFormatByte)
{
    ScratchDir dir;
    for (const std::uint32_t size : {2048u, 4096u, 8192u, 16384u, 32768u}) {
        const std::string path = file_with_header(dir, size, ByteOrder::Big);
        const RunResult r = run_trevanix({"-f", path, "--block-size", "auto", "--byte-order=auto", "-g", "-a", "C"});
        EXPECT_EQ(r.output.substr(0, r.output.find('\n') + 1),
                  "Block size: " + std::to_string(size) +
                      ", found from the data file header in block 1; byte order: big-endian, found from the tail of "
                      "block 1.\n")
            << size;
        EXPECT_EQ(run_trevanix({"-f", path, "--block-size=auto", "--byte-order=big", "-a", "C"}).output,
                  run_trevanix({"-f", path, "--block-size=" + std::to_string(size), "--byte-order=big", "-a", "C"}).output);
    }
    // The sample has no data file header where one would be; block 0's
    // format byte gives the size. Without -g nothing is said.
    const std::string sample = std::string(TREVANIX_SOURCE_DIR) + "/examples/sample.dbf";
    const std::string verbose = run_trevanix({"-f", sample, "--block-size", "auto", "-g", "-n", "1"}).output;
    EXPECT_EQ(verbose.substr(0, verbose.find('\n') + 1), "Block size: 8192, found from the format byte of block 0.\n");
    EXPECT_EQ(run_trevanix({"-f", sample, "--block-size", "auto"}).output, run_trevanix({"-f", sample}).output);
    // Nothing fits: a file of text.
    std::string lines;
    for (int i = 0; lines.size() < 70000; ++i) lines += "line " + std::to_string(i) + " of a text file\n";
    const std::string text = dir.write("text", lines);
    const RunResult none = run_trevanix({"-f", text, "--block-size", "auto"});
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.output, "");
    EXPECT_EQ(none.errors, "trevanix: cannot tell the block size of " + text +
                               ": no data file header at 512 to 32768 bytes, and no format byte in block 0 with a "
                               "consistent tail\n");
    const RunResult order = run_trevanix({"-f", dir.write("zeros", Bytes(65536, 0)), "--byte-order", "auto"});
    EXPECT_EQ(order.status, 1);
    EXPECT_NE(order.errors.find("cannot tell the byte order"), std::string::npos);
}

TEST(BlockLayout, BlockSizeOverridesZWhereverItStandsAndKeepsZsLimit)
{
    ScratchDir dir;
    const std::string path = sample_in(dir, 32768, ByteOrder::Little);
    const std::string listing = run_trevanix({"-f", path, "--block-size", "32768", "-a", "C"}).output;
    EXPECT_NE(listing.find("Block ID: 5, Object ID: 74570"), std::string::npos);
    EXPECT_EQ(run_trevanix({"-f", path, "--block-size=32768", "-z", "512", "-a", "C"}).output, listing);
    EXPECT_EQ(run_trevanix({"-z", "100", "-f", path, "--block-size=32768", "-a", "C"}).output, listing);
    EXPECT_EQ(run_trevanix({"-f", path, "-z", "32768", "-a", "C"}).output, "Block size too big.\n" + kCompleted);
    for (const char* bad : {"1000", "256", "65536", "8k", "", "auto8192"}) {
        const RunResult r = run_trevanix({"-f", path, "--block-size", bad});
        EXPECT_EQ(r.status, 2) << bad;
        EXPECT_EQ(r.errors, std::string("trevanix: --block-size wants a power of two from 512 to 32768, or auto, not '") +
                                bad + "'\n");
    }
    const RunResult order = run_trevanix({"-f", path, "--byte-order=middle"});
    EXPECT_EQ(order.status, 2);
    EXPECT_EQ(order.errors, "trevanix: --byte-order wants big, little or auto, not 'middle'\n");
}

}  // namespace
