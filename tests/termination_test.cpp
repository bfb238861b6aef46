// Every run ends: the heap walk moves on at every step whatever the pieces
// say, and no template or data file can keep the program waiting or reading
// for ever. Each test arms an alarm, so a run that does not end fails the
// test instead of hanging it.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "test_support.h"

namespace {

using datafile::Block;
using datafile::Bytes;
using datafile::Column;

// Ends the test process (and so fails the test) if it is still running
// after `seconds`.
class Watchdog {
public:
    explicit Watchdog(unsigned seconds) { ::alarm(seconds); }
    ~Watchdog() { ::alarm(0); }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;
};
constexpr unsigned kPatience = 120;

// The offsets of the heap walk's steps, from its -g lines.
std::vector<std::uint32_t> walk_steps(const std::string& output)
{
    std::vector<std::uint32_t> steps;
    const std::string marker = "Block ID: 0, Offset: ";
    for (std::size_t at = output.find(marker); at != std::string::npos; at = output.find(marker, at + 1))
        steps.push_back(static_cast<std::uint32_t>(std::stoul(output.substr(at + marker.size(), 8), nullptr, 16)));
    return steps;
}

// A 512-byte block (data header at 92) whose heap, from offset 400, holds
// the pieces that move a walk least, each moving it by the bytes noted: a
// piece of no class while the header length is still unwritten, an HDFL
// piece taken as no row (whose column count is the flag of the next piece),
// a row without columns, empty flags, no class again with the header length
// carried over, a deleted piece, the other HDFL no-row with the deleted
// piece's header length, an ordinary row and a cluster key without columns;
// then zeros up to the block's tail, 3 bytes a step.
Block stalling_block()
{
    Block b;
    b.free_space_end = 400 - 92;
    b.patches = {{400, Bytes{0x48, 0x00, 0x00,                    // 400: 3 + 0
                             0x3C, 0x00,                          // 403: 2 + 0
                             0x2C, 0x00, 0x00,                    // 405: 0 + 3
                             0x00, 0x00, 0x00,                    // 408: 0 + 3
                             0x48, 0x00, 0x00, 0xEE, 0xEE, 0xEE,  // 411: 3 + 3
                             0x10, 0x00, 0x00, 0x00,              // 417: 2 + 2
                             0x3C, 0x00, 0x3C, 0x00,              // 421: 2 + 2
                             0x2C, 0x00, 0x01, 0x01, 0x07,        // 425: 2 + 3
                             0x80, 0x00, 0x00}}};                 // 430: 0 + 19
    return b;
}

TEST(Termination, HeapWalkMovesOnAtEveryStep)
{
    Watchdog watchdog(kPatience);
    ScratchDir dir;
    std::string path = dir.write("stall.dbf", file_of({stalling_block()}, 512));
    std::vector<std::uint32_t> expected{400, 403, 405, 408, 411, 417, 421, 425, 430};
    for (std::uint32_t at = 449; at < 512 - 4; at += 3) expected.push_back(at);
    RunResult verbose = run_trevanix({"-f", path, "-z", "512", "-a", "O", "-g"});
    EXPECT_EQ(walk_steps(verbose.output), expected);
    EXPECT_EQ(verbose.status, 0);
    RunResult plain = run_trevanix({"-f", path, "-z", "512", "-a", "O"});
    EXPECT_EQ(plain.output, kRule + kRule + "1: 07 \n" + kRule + kCompleted);
}

TEST(Termination, HeapsOfRepeatedPatternsEnd)
{
    Watchdog watchdog(kPatience);
    ScratchDir dir;
    // Filled from the data header on: HDFL pieces taken as no row two bytes
    // apart, deleted pieces, empty flags, cluster keys full of NULLs, pieces
    // of no class, zero-length columns.
    const std::vector<Bytes> patterns = {{0x3C, 0x2C}, {0x10}, {0x00}, {0xFF}, {0x48}, {0x2C, 0xFF, 0x00}};
    for (const Bytes& pattern : patterns) {
        for (std::uint16_t free_space_end : {std::uint16_t{0}, std::uint16_t{100}, std::uint16_t{0xFFFF}}) {
            Block b;
            b.free_space_end = free_space_end;
            Bytes fill;
            while (fill.size() < 8192 - 106) fill.insert(fill.end(), pattern.begin(), pattern.end());
            fill.resize(8192 - 106);
            b.patches = {{106, fill}};
            std::string path = dir.write("pattern.dbf", file_of({b, b}));
            for (const char* action : {"O", "S"}) {
                RunResult r = run_trevanix({"-f", path, "-a", action, "-g", "-v"});
                EXPECT_EQ(r.status, 0);
                EXPECT_TRUE(r.output.size() >= kCompleted.size() &&
                            r.output.compare(r.output.size() - kCompleted.size(), kCompleted.size(), kCompleted) == 0)
                    << "pattern " << int(pattern[0]) << ", free space end " << free_space_end;
                std::vector<std::uint32_t> steps = walk_steps(r.output);
                for (std::size_t i = 1; i < steps.size(); ++i)
                    if (steps[i] < steps[i - 1] + 2) ADD_FAILURE() << "step " << i << " moved from " << steps[i - 1] << " to " << steps[i];
            }
        }
    }
}

class TemplateFiles : public ::testing::Test {
protected:
    ScratchDir dir;
    std::string path = dir.write("row.dbf", file_of({[] {
                                     Block b;
                                     b.rows = {datafile::head_piece({Column::bytes({0xC1, 0x02}), Column::bytes({0xC1, 0x02})})};
                                     return b;
                                 }()}));
    const std::string hex_row = kRule + "2: C1 02 \n2: C1 02 \n" + kCompleted;
};

TEST_F(TemplateFiles, OnlyTheFirst16MiBOfATemplateAreRead)
{
    Watchdog watchdog(kPatience);
    // The second line starts inside the first 16 MiB: it types column 1.
    std::string within(16u * 1024 * 1024 - 100, 'x');
    std::string t = dir.write("within.txt", within + "\nNUMBER\n");
    EXPECT_EQ(run_trevanix({"-f", path, "-c", t}).output, kRule + "2: C1 02 \n1\n" + kCompleted);
    // It starts past them: column 1 has no line.
    std::string beyond(16u * 1024 * 1024 + 100, 'x');
    t = dir.write("beyond.txt", beyond + "\nNUMBER\n");
    EXPECT_EQ(run_trevanix({"-f", path, "-c", t}).output, hex_row);
}

TEST_F(TemplateFiles, EndlessTemplateIsReadNoFurtherThanItsCap)
{
    Watchdog watchdog(kPatience);
    if (::access("/dev/zero", R_OK) != 0) GTEST_SKIP() << "no /dev/zero";
    // Zero bytes without a newline: 16 MiB of them make no line at all.
    RunResult r = run_trevanix({"-f", path, "-c", "/dev/zero"});
    EXPECT_EQ(r.output, hex_row);
    EXPECT_EQ(r.status, 0);
}

TEST_F(TemplateFiles, DirectoryAsTemplateHasNoLines)
{
    Watchdog watchdog(kPatience);
    EXPECT_EQ(run_trevanix({"-f", path, "-c", dir.path("")}).output, hex_row);
}

// A FIFO that nobody writes to would block an ordinary open for ever.
TEST_F(TemplateFiles, FifoWithoutWriterIsAnEmptyTemplate)
{
    Watchdog watchdog(kPatience);
    std::string fifo = dir.path("template.fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(run_trevanix({"-f", path, "-c", fifo}).output, hex_row);
}

TEST(Termination, FifoAsDataFileCannotBeReadAndDoesNotWait)
{
    Watchdog watchdog(kPatience);
    ScratchDir dir;
    std::string fifo = dir.path("data.fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    RunResult r = run_trevanix({"-f", fifo});
    EXPECT_EQ(r.output, "Failed to set pointer.\n" + kCompleted);
    EXPECT_EQ(r.status, 1);
}

}  // namespace
