// When standard output cannot be written the program stops, says so on
// standard error and exits non-zero: it never exits 0 after losing output.
// These tests run the built trevanix binary with its standard output on a
// full device or on a pipe nobody reads, or closed; and the tables' modes
// with their standard error on a full device or closed.
#include <gtest/gtest.h>

#include <csignal>
#include <set>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "system_file.h"
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

// Runs the trevanix binary with `args`, its standard output on /dev/null
// (or closed), its standard error on a full device or closed; returns how
// it ended.
int run_with_lost_stream(const std::vector<std::string>& args, bool stderr_full, bool close_stdout = false)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (close_stdout)
        posix_spawn_file_actions_addclose(&actions, STDOUT_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    if (stderr_full)
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/full", O_WRONLY, 0);
    else
        posix_spawn_file_actions_addclose(&actions, STDERR_FILENO);
    std::vector<char*> argv{const_cast<char*>(TREVANIX_BINARY)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t child = -1;
    const int spawn_error = posix_spawn(&child, TREVANIX_BINARY, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawn_error != 0) throw std::runtime_error("cannot run " TREVANIX_BINARY);
    int status = 0;
    ::waitpid(child, &status, 0);
    return status;
}

TEST(OutputFailure, ALostStandardErrorFailsTheTablesModesAfterTheirFilesAreWritten)
{
    ScratchDir dir;
    const datafile::BuiltDatabase built = datafile::build_database(datafile::sample_database());
    const datafile::BuiltDatabase damaged =
        datafile::build_database(datafile::sample_database(), datafile::SystemDamage::ObjSegmentHeader);
    datafile::write_database(built, dir.root());
    const std::string system = dir.path("system01.dbf");
    const std::string users = dir.path("users01.dbf");
    const std::string damaged_system = dir.write("damaged01.dbf", damaged.system);
    for (const bool full : {true, false}) {
        SCOPED_TRACE(full ? "2>/dev/full" : "2>&-");
        // The unload writes every file, then fails: its summary could not be said.
        const std::string out = dir.path(full ? "full" : "closed");
        const int status = run_with_lost_stream({"--unload", out, "--dictionary", system, system, users}, full);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 1);
        const std::set<std::string> names = directory_entries(out);
        EXPECT_EQ(names.count("summary.json"), 1u);
        EXPECT_EQ(names.count("SCOTT.EMP.csv"), 1u);
        for (const std::string& name : names) {
            EXPECT_FALSE(name.ends_with(".part")) << name;
            // A closed standard error is no file's: no message landed in one.
            EXPECT_EQ(read_file(out + "/" + name).find("trevanix:"), std::string::npos) << name;
        }
        // --ddl and --list-tables fail when a warning is lost, not otherwise.
        for (const char* mode : {"--ddl", "--list-tables"}) {
            SCOPED_TRACE(mode);
            const int sound = run_with_lost_stream({"--dictionary", system, mode}, full);
            const int warned = run_with_lost_stream({"--dictionary", damaged_system, mode}, full);
            ASSERT_TRUE(WIFEXITED(sound) && WIFEXITED(warned));
            EXPECT_EQ(WEXITSTATUS(sound), 0);
            EXPECT_EQ(WEXITSTATUS(warned), 1);
        }
        // The single-letter options keep their status: a lost warning is no failure.
        const int literal = run_with_lost_stream({"-f", write_large_dump(dir), "-c", dir.path("none.template")}, full);
        ASSERT_TRUE(WIFEXITED(literal));
        EXPECT_EQ(WEXITSTATUS(literal), 0);
    }
    // A closed standard output still fails the dump.
    const int closed = run_with_lost_stream({"-f", write_large_dump(dir)}, true, true);
    ASSERT_TRUE(WIFEXITED(closed));
    EXPECT_EQ(WEXITSTATUS(closed), 1);
}

}  // namespace
