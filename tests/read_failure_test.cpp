// Data files that cannot be read are failures, reported as such; a file that
// ends early is simply the end of the file. (A directory as the data file is
// pinned in block_loader_test.)
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "test_support.h"

namespace {

using datafile::Block;
using datafile::Bytes;
using datafile::Column;

Block one_row_block(std::uint32_t object_id)
{
    Block b;
    b.object_id = object_id;
    b.scn = 0x500 + object_id;
    b.rows = {datafile::head_piece({Column::bytes({0x07})})};
    return b;
}

std::string scn_line(long long block, std::uint32_t object_id)
{
    return ::scn_line(block, object_id, 0x500 + object_id);
}

// Runs trevanix in a child process that has given up root, for checks that
// permissions must decide. Returns false when privileges cannot be dropped.
bool run_as_unprivileged_user(const std::vector<std::string>& args, RunResult& result)
{
    int pipe_fds[2];
    if (::pipe(pipe_fds) != 0) return false;
    pid_t child = ::fork();
    if (child < 0) return false;
    if (child == 0) {
        ::close(pipe_fds[0]);
        constexpr uid_t kNobody = 65534;
        if (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) ::_exit(100);
        RunResult r = run_trevanix(args);
        std::string message = std::to_string(r.status) + "\n" + r.output;
        ssize_t written = ::write(pipe_fds[1], message.data(), message.size());
        ::_exit(written == static_cast<ssize_t>(message.size()) ? 0 : 101);
    }
    ::close(pipe_fds[1]);
    std::string message;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(pipe_fds[0], buffer, sizeof buffer)) > 0) message.append(buffer, static_cast<std::size_t>(n));
    ::close(pipe_fds[0]);
    int wait_status = 0;
    ::waitpid(child, &wait_status, 0);
    if (!WIFEXITED(wait_status) || WEXITSTATUS(wait_status) != 0) return false;
    std::size_t newline = message.find('\n');
    result.status = std::stoi(message.substr(0, newline));
    result.output = message.substr(newline + 1);
    return true;
}

TEST(ReadFailures, UnreadableDataFileFailsToOpenAndExits1)
{
    ScratchDir dir;
    std::string path = dir.write("locked.dbf", file_of({one_row_block(1)}));
    ASSERT_EQ(::chmod(path.c_str(), 0), 0);
    // The scratch directory itself stays searchable: only the file's own
    // permissions refuse it.
    ASSERT_EQ(::chmod(dir.path("").c_str(), 0755), 0);
    const std::vector<std::string> args{"-f", path, "-a", "C"};
    RunResult r;
    if (::geteuid() == 0) {
        // Root reads any file: the run goes to a child that gives up root.
        if (!run_as_unprivileged_user(args, r)) GTEST_SKIP() << "cannot give up root here";
    } else {
        r = run_trevanix(args);
    }
    EXPECT_EQ(r.output, "Failed to open datafile " + path + "\n" + kCompleted);
    EXPECT_EQ(r.status, 1);
}

// /proc/self/mem reads this process's memory as a file: mapped pages read,
// an unmapped page fails with EIO. Two mapped pages holding data blocks and
// a hole after them make a data file that fails in the middle.
TEST(ReadFailures, ReadThatFailsMidFileEndsTheRunWithStatus1)
{
    const long page_size = ::sysconf(_SC_PAGESIZE);
    ASSERT_GT(page_size, 0);
    const auto block_size = static_cast<std::uint32_t>(page_size);
    // Low in the address space, so the block number fits in 32 bits.
    void* const wanted = reinterpret_cast<void*>(std::uintptr_t{1} << 30);
    void* mapped = ::mmap(wanted, 3 * block_size, PROT_READ | PROT_WRITE,
                          MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
    if (mapped == MAP_FAILED) GTEST_SKIP() << "cannot map pages at 1 GiB: " << std::strerror(errno);
    if (mapped != wanted) {
        ::munmap(mapped, 3 * block_size);
        GTEST_SKIP() << "the pages were not mapped at 1 GiB";
    }
    auto* pages = static_cast<std::uint8_t*>(mapped);
    for (std::uint32_t i = 0; i < 2; ++i) {
        Bytes block = datafile::build_block(one_row_block(20 + i), block_size, i);
        std::memcpy(pages + i * block_size, block.data(), block.size());
    }
    ASSERT_EQ(::munmap(pages + 2 * block_size, block_size), 0);  // the hole
    if (::access("/proc/self/mem", R_OK) != 0) {
        ::munmap(mapped, 2 * block_size);
        GTEST_SKIP() << "no /proc/self/mem";
    }
    const long long first = static_cast<long long>((std::uintptr_t{1} << 30) / block_size);
    RunResult r = run_trevanix({"-f", "/proc/self/mem", "-z", std::to_string(block_size), "-b",
                                std::to_string(first), "-n", "10", "-a", "C"});
    ::munmap(mapped, 2 * block_size);
    EXPECT_EQ(r.output, scn_line(first, 20) + scn_line(first + 1, 21) + "Failed to read " +
                            std::to_string(block_size) + " bytes\n" + kCompleted);
    EXPECT_EQ(r.status, 1);
}

TEST(ReadFailures, FileShorterThanABlockIsTheEndOfTheFile)
{
    ScratchDir dir;
    Bytes block = datafile::build_block(one_row_block(1), 8192);
    for (std::size_t size : {std::size_t{1}, std::size_t{100}, std::size_t{8191}}) {
        std::string path = dir.write("short.dbf", Bytes(block.begin(), block.begin() + static_cast<std::ptrdiff_t>(size)));
        for (const char* action : {"A", "D", "O", "S", "C"}) {
            RunResult r = run_trevanix({"-f", path, "-a", action, "-g", "-v"});
            EXPECT_EQ(r.output, kCompleted) << size << " " << action;
            EXPECT_EQ(r.status, 0) << size << " " << action;
        }
    }
}

}  // namespace
