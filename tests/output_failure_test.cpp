// When standard output cannot be written the program stops, says so on
// standard error and exits non-zero: it never exits 0 after losing output.
// These tests run the built trevanix binary with its standard output on a
// full device or on a pipe nobody reads.
#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "test_support.h"

extern char** environ;

namespace {

using datafile::Block;
using datafile::Column;

struct Spawned {
    int wait_status = 0;
    std::string error_output;
};

enum class Stdout { FullDevice, ClosedPipe };

// Runs the trevanix binary with `args`; its standard error is collected.
// SIGPIPE is set to its default action unless the caller ignores it.
Spawned spawn_trevanix(const std::vector<std::string>& args, Stdout target, bool keep_sigpipe_ignored = false)
{
    Spawned result;
    int err_pipe[2];
    int out_pipe[2] = {-1, -1};
    if (::pipe(err_pipe) != 0) throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (target == Stdout::FullDevice) {
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/full", O_WRONLY, 0);
    } else {
        if (::pipe(out_pipe) != 0) throw std::runtime_error("pipe failed");
        posix_spawn_file_actions_adddup2(&actions, out_pipe[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, out_pipe[0]);
        posix_spawn_file_actions_addclose(&actions, out_pipe[1]);
    }
    posix_spawn_file_actions_adddup2(&actions, err_pipe[1], STDERR_FILENO);
    posix_spawn_file_actions_addclose(&actions, err_pipe[0]);
    posix_spawn_file_actions_addclose(&actions, err_pipe[1]);

    std::vector<char*> argv{const_cast<char*>(TREVANIX_BINARY)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    if (!keep_sigpipe_ignored) {
        sigset_t defaults;
        sigemptyset(&defaults);
        sigaddset(&defaults, SIGPIPE);
        posix_spawnattr_setsigdefault(&attributes, &defaults);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    }
    pid_t child = -1;
    int spawn_error = posix_spawn(&child, TREVANIX_BINARY, &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    ::close(err_pipe[1]);
    if (out_pipe[0] >= 0) {
        // Nobody reads: the child's first write meets a pipe without a reader.
        ::close(out_pipe[0]);
        ::close(out_pipe[1]);
    }
    if (spawn_error != 0) {
        ::close(err_pipe[0]);
        throw std::runtime_error("cannot run " TREVANIX_BINARY);
    }
    char buffer[1024];
    ssize_t n;
    while ((n = ::read(err_pipe[0], buffer, sizeof buffer)) > 0) result.error_output.append(buffer, static_cast<std::size_t>(n));
    ::close(err_pipe[0]);
    ::waitpid(child, &result.wait_status, 0);
    return result;
}

// A data file whose dump runs to several megabytes, far past what the output
// buffer holds, so writes fail in the middle of the run.
std::string write_large_dump(const ScratchDir& dir)
{
    std::vector<Block> blocks;
    for (std::uint32_t i = 0; i < 64; ++i) {
        Block b;
        b.object_id = 100 + i;
        for (int r = 0; r < 30; ++r)
            b.rows.push_back(datafile::head_piece({Column::bytes(datafile::Bytes(200, static_cast<std::uint8_t>(r)))}));
        blocks.push_back(b);
    }
    return dir.write("large.dbf", file_of(blocks));
}

void expect_failed_with_message(const Spawned& s, const std::string& cause)
{
    ASSERT_TRUE(WIFEXITED(s.wait_status)) << "ended by signal " << (WIFSIGNALED(s.wait_status) ? WTERMSIG(s.wait_status) : 0);
    EXPECT_EQ(WEXITSTATUS(s.wait_status), 1);
    EXPECT_EQ(s.error_output, "trevanix: cannot write to standard output: " + cause + "\n");
}

TEST(OutputFailure, FullDeviceEndsTheRunWithStatus1AndSaysSo)
{
    ScratchDir dir;
    const std::string path = write_large_dump(dir);
    // Output lost in the middle of the run, and output lost only at the
    // final flush (a short listing, the help text, an argument error, the
    // missing data file).
    const std::vector<std::vector<std::string>> runs = {
        {"-f", path}, {"-f", path, "-a", "C"}, {"-h"}, {"-f", path, "-a", "x"}, {"-g"},
    };
    for (const std::vector<std::string>& args : runs) {
        SCOPED_TRACE(args.front());
        expect_failed_with_message(spawn_trevanix(args, Stdout::FullDevice), "No space left on device");
    }
}

TEST(OutputFailure, PipeWithoutReaderEndsTheRunBySigpipe)
{
    ScratchDir dir;
    Spawned s = spawn_trevanix({"-f", write_large_dump(dir)}, Stdout::ClosedPipe);
    ASSERT_TRUE(WIFSIGNALED(s.wait_status));
    EXPECT_EQ(WTERMSIG(s.wait_status), SIGPIPE);
}

TEST(OutputFailure, PipeWithoutReaderAndSigpipeIgnoredExits1AndSaysSo)
{
    ScratchDir dir;
    std::string path = write_large_dump(dir);
    // An ignored signal stays ignored in the program the child runs.
    struct sigaction ignore = {}, previous = {};
    ignore.sa_handler = SIG_IGN;
    ASSERT_EQ(::sigaction(SIGPIPE, &ignore, &previous), 0);
    Spawned s = spawn_trevanix({"-f", path}, Stdout::ClosedPipe, true);
    ::sigaction(SIGPIPE, &previous, nullptr);
    expect_failed_with_message(s, "Broken pipe");
}

}  // namespace
