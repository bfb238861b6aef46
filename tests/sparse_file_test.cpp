// Data files past 4 GiB: a sparse file of 5 GiB (it takes no disk space)
// with data blocks at 2 GiB and 4 GiB and at its end. Block numbers reach
// them, the location line gives their true file offset, DUMPSCNS lists them,
// and a full run walks every block in order to the end.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "test_support.h"

namespace {

using datafile::Block;
using datafile::Column;

constexpr std::uint32_t kBlockSize = 8192;
constexpr std::uint64_t kFileSize = 5ull << 30;
constexpr std::uint32_t kBlocks = static_cast<std::uint32_t>(kFileSize / kBlockSize);  // 655360

struct PlacedBlock {
    std::uint32_t number;
    std::uint32_t object_id;
    std::uint32_t scn;
    std::uint32_t piece_offset = 0;  // of its one row, from the block start
    std::uint32_t dhs_offset = 0;
};

class SparseFile : public ::testing::Test {
protected:
    // Block 0, the blocks at exactly 2 GiB and 4 GiB, the one after 4 GiB
    // and the file's last block.
    std::vector<PlacedBlock> placed{{0, 10, 0x100},
                                    {262144, 11, 0x80000000u},
                                    {524288, 12, 0xFFFFFFFFu},
                                    {524289, 13, 0x12345678u},
                                    {kBlocks - 1, 14, 0x7FFFFFFFu}};
    ScratchDir dir;
    std::string path = dir.path("sparse.dbf");

    void SetUp() override
    {
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        ASSERT_GE(fd, 0) << std::strerror(errno);
        if (::ftruncate(fd, static_cast<off_t>(kFileSize)) != 0) {
            int error = errno;
            ::close(fd);
            GTEST_SKIP() << "this file system holds no 5 GiB sparse file: " << std::strerror(error);
        }
        for (PlacedBlock& p : placed) {
            Block b;
            b.object_id = p.object_id;
            b.scn = p.scn;
            b.rows = {datafile::head_piece({Column::bytes({static_cast<std::uint8_t>(p.object_id)})})};
            datafile::BlockLayout layout;
            datafile::Bytes bytes = datafile::build_block(b, kBlockSize, p.number, &layout);
            p.piece_offset = layout.piece_offsets.at(0);
            p.dhs_offset = layout.dhs_offset;
            off_t at = static_cast<off_t>(static_cast<std::uint64_t>(p.number) * kBlockSize);
            ASSERT_EQ(::pwrite(fd, bytes.data(), bytes.size(), at), static_cast<ssize_t>(bytes.size()));
        }
        ASSERT_EQ(::close(fd), 0);
    }

    static std::string scn_line(const PlacedBlock& p) { return ::scn_line(p.number, p.object_id, p.scn); }

    // The row as -v shows it: its file offset is counted here in 64 bits
    // from the block number and the piece's place in the block.
    static std::string located_row(const PlacedBlock& p)
    {
        std::uint64_t file_offset = static_cast<std::uint64_t>(p.number) * kBlockSize + p.piece_offset;
        std::uint32_t row_offset = p.piece_offset - p.dhs_offset;
        char hex[16];
        std::snprintf(hex, sizeof hex, "%X", row_offset);
        char value[8];
        std::snprintf(value, sizeof value, "%.2X", p.object_id);
        return kRule + "Block ID = " + std::to_string(p.number) + ", Row Offset = " + std::to_string(row_offset) +
               " [" + hex + "], File offset = " + std::to_string(file_offset) +
               ", Row Header = [2C 00 01]\n1: " + value + " \n";
    }
};

TEST_F(SparseFile, SingleBlocksPast2And4GiBShowTheirTrueFileOffset)
{
    for (const PlacedBlock& p : placed) {
        RunResult r = run_trevanix({"-f", path, "-b", std::to_string(p.number), "-v"});
        EXPECT_EQ(r.output, located_row(p)) << p.number;
        EXPECT_EQ(r.status, 0) << p.number;
        RunResult scn = run_trevanix({"-f", path, "-b", std::to_string(p.number), "-a", "C"});
        EXPECT_EQ(scn.output, scn_line(p)) << p.number;
    }
    // One block past the end is the end of the file.
    RunResult beyond = run_trevanix({"-f", path, "-b", std::to_string(kBlocks), "-a", "C"});
    EXPECT_EQ(beyond.output, kCompleted);
    EXPECT_EQ(beyond.status, 0);
}

TEST_F(SparseFile, BlockRangeCrossesThe4GiBBoundary)
{
    RunResult r = run_trevanix({"-f", path, "-b", "524286", "-n", "5", "-a", "C", "-v"});
    EXPECT_EQ(r.output, scn_line(placed[2]) + scn_line(placed[3]));
    RunResult rows = run_trevanix({"-f", path, "-b", "524287", "-n", "3", "-v"});
    EXPECT_EQ(rows.output, located_row(placed[2]) + located_row(placed[3]));
}

TEST_F(SparseFile, FullRunWalksEveryBlockInOrderToTheEnd)
{
    // 655360 blocks, most of them holes that read as zeros: 5 GiB are read.
    RunResult scns = run_trevanix({"-f", path, "-a", "C"});
    std::string expected;
    for (const PlacedBlock& p : placed) expected += scn_line(p);
    EXPECT_EQ(scns.output, expected + kCompleted);
    EXPECT_EQ(scns.status, 0);
}

}  // namespace
