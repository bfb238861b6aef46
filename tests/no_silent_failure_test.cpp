// Nothing fails in silence: mistyped long options, template lines that name
// no type, blocks read with a size or byte order the file contradicts, runs
// that read nothing, files that end inside a block or shrink while they are
// read. Each says so on standard error, and standard output stays exactly
// what the records make it.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include "cli/progress.h"
#include "test_support.h"

namespace {

using datafile::Block;
using datafile::Column;

std::string note(const std::string& text) { return "trevanix: " + text + "\n"; }

TEST(LongOptions, UnknownOnesAreErrorsThatNameTheNearest)
{
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"-f", "x", "--verfy"}, "Unknown option --verfy (did you mean --verify?)"},
        {{"--formta", "csv", "-f", "x"}, "Unknown option --formta (did you mean --format?)"},
        {{"-f", "x", "--block-sise=4096"}, "Unknown option --block-sise (did you mean --block-size?)"},
        {{"-f", "x", "--verif"}, "Unknown option --verif (did you mean --verify?)"},
        {{"-f", "x", "--quite"}, "Unknown option --quite (did you mean --quiet?)"},
        {{"-f", "x", "--frobnicate"}, "Unknown option --frobnicate"},
    };
    for (const auto& [args, message] : cases) {
        const RunResult r = run_trevanix(args);
        EXPECT_EQ(r.errors, note(message + "; trevanix --help lists every option")) << args[2];
        EXPECT_EQ(r.output, "");
        EXPECT_EQ(r.status, 2);
    }
}

TEST(LongOptions, ValuesAreCheckedAndNamesOfFormatsAndOrdersTakenInAnyCase)
{
    ScratchDir dir;
    Block b;
    b.rows = {datafile::head_piece({Column::text("x")})};
    const std::string path = dir.write("one.dbf", file_of({b}));
    const RunResult upper = run_trevanix({"-f", path, "--format=JSONL", "--byte-order", "Little"});
    EXPECT_EQ(upper.status, 0);
    EXPECT_EQ(parse_json_lines(upper.output).size(), 1u);
    const RunResult csv = run_trevanix({"-f", path, "--format", "CSV", "--block-size", "AUTO", "--byte-order=Auto"});
    EXPECT_EQ(csv.output.substr(0, 6), "block,");
    const std::pair<std::vector<std::string>, std::string> wrong[] = {
        {{"-f", path, "--format=xml"}, "--format wants text, jsonl or csv, not 'xml'"},
        {{"-f", path, "--block-size", "513"}, "--block-size wants a power of two from 512 to 32768, or auto, not '513'"},
        {{"-f", path, "--byte-order=middle"}, "--byte-order wants big, little or auto, not 'middle'"},
        {{"-f", path, "--verify=yes"}, "--verify takes no value"},
        {{"-f", path, "--charset"}, "--charset needs a value"},
    };
    for (const auto& [args, message] : wrong) {
        const RunResult r = run_trevanix(args);
        EXPECT_EQ(r.errors, note(message)) << args[2];
        EXPECT_EQ(r.status, 2);
    }
}

TEST(LongOptions, HelpNamesEveryOptionAndVersionSaysWhichBuild)
{
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--help"}, {"-f", "x", "--help", "-a", "C"}}) {
        const RunResult r = run_trevanix(args);
        EXPECT_EQ(r.output, kLongHelpText);
        EXPECT_EQ(r.status, 0);
    }
    for (const char* option : {"-f ", "-c ", "-z ", "-o ", "-b ", "-n ", "-s ", "-a ", "-g ", "-v ", "-h ",
                               "--format ", "--verify ", "--block-size ", "--byte-order ", "--charset ",
                               "--quiet ", "--help ", "--version "})
        EXPECT_NE(std::string(kLongHelpText).find(std::string("  ") + option), std::string::npos) << option;
    const RunResult version = run_trevanix({"--version"});
    EXPECT_EQ(version.output.rfind("trevanix ", 0), 0u);
    EXPECT_EQ(version.status, 0);
    // -h keeps its short text.
    EXPECT_EQ(run_trevanix({"-h"}).output, std::string(kHelpText) + "\n");
}

TEST(ColumnTemplate, LinesThatNameNoTypeAreNamedWithTheirMend)
{
    ScratchDir dir;
    Block b;
    b.rows = {datafile::head_piece({Column::bytes(datafile::number_value("7")), Column::text("x")})};
    const std::string data = dir.write("t.dbf", file_of({b}));
    const std::string tpl =
        dir.write("t.tpl", std::string("NUMBR\nvarchar2\nVARCHAR2(10)\nDATE \n\n TIMESTAMP(6) WITH TIME ZONE\nxyzzy\n"
                                       "NUMBER\r\nRAW"));
    const RunResult r = run_trevanix({"-f", data, "-c", tpl});
    EXPECT_EQ(r.errors,
              note("column template line 1: 'NUMBR' names no type (did you mean NUMBER?)") +
                  note("column template line 2: 'varchar2': keywords are written in capitals, exactly as listed; "
                       "write VARCHAR2") +
                  note("column template line 3: 'VARCHAR2(10)': a template keyword takes no size; write VARCHAR2") +
                  note("column template line 4: 'DATE ' has trailing blanks; write DATE alone on the line") +
                  note("column template line 5: the line is empty: its column is dumped in hexadecimal (write "
                       "UNKNOWN to say so)") +
                  note("column template line 6: ' TIMESTAMP(6) WITH TIME ZONE': a template keyword takes no size; "
                       "write TIMESTAMP WITH TIME ZONE") +
                  note("column template line 7: 'xyzzy' names no type; its column is dumped in hexadecimal "
                       "(trevanix --help lists the keywords)"));
    // Matching stays exact: the first two columns are dumped in hexadecimal.
    EXPECT_EQ(r.output, kRule + "2: C1 08 \n1: 78 \n" + kCompleted);
    EXPECT_EQ(r.status, 0);
}

TEST(ColumnTemplate, OneThatCannotBeOpenedIsAWarningForTextAndAnErrorForExports)
{
    ScratchDir dir;
    Block b;
    b.rows = {datafile::head_piece({Column::bytes(datafile::number_value("7"))})};
    const std::string data = dir.write("t.dbf", file_of({b}));
    const std::string missing = dir.path("missing.tpl");
    const std::string message = note("cannot open column template " + missing + ": No such file or directory");
    const RunResult text = run_trevanix({"-f", data, "-c", missing});
    EXPECT_EQ(text.output, kRule + "2: C1 08 \n" + kCompleted);
    EXPECT_EQ(text.errors, message);
    EXPECT_EQ(text.status, 0);
    for (const char* format : {"csv", "jsonl"}) {
        const RunResult r = run_trevanix({"-f", data, "-c", missing, "--format", format});
        EXPECT_EQ(r.output, "");
        EXPECT_EQ(r.errors, message);
        EXPECT_EQ(r.status, 1);
    }
}

// Blocks of 16384 bytes, or big-endian ones, read with the defaults.
TEST(Geometry, BlocksThatContradictTheRunAreNamedOnce)
{
    ScratchDir dir;
    datafile::File large = datafile::sample_file();
    large.block_size = 16384;
    const std::string path16 = dir.write("s16.dbf", large);
    const RunResult r = run_trevanix({"-f", path16, "-a", "C"});
    EXPECT_EQ(r.errors, note("blocks of " + path16 +
                             " look 16384 bytes long, not 8192 (the format byte of 5 of the 5 blocks that give a "
                             "size says so); try --block-size auto"));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(run_trevanix({"-f", path16, "--block-size", "auto", "-a", "C"}).errors, "");

    datafile::File big = datafile::sample_file();
    big.byte_order = ByteOrder::Big;
    const std::string path_big = dir.write("big.dbf", big);
    EXPECT_EQ(run_trevanix({"-f", path_big}).errors,
              note("blocks of " + path_big +
                   " look big-endian (the tail of 6 of the 6 blocks read repeats the header only in that byte "
                   "order); try --byte-order auto"));
    EXPECT_EQ(run_trevanix({"-f", path_big, "--byte-order", "big"}).errors, "");
    EXPECT_EQ(run_trevanix({"-f", std::string(TREVANIX_SOURCE_DIR) + "/examples/sample.dbf"}).errors, "");

    // -z refuses large sizes and now says which option takes them.
    const RunResult z = run_trevanix({"-f", path16, "-z", "16384"});
    EXPECT_EQ(z.output, "Block size too big.\n" + kCompleted);
    EXPECT_EQ(z.errors, note("-z takes at most 16000 bytes; for larger blocks use --block-size N (a power of two up "
                             "to 32768) or --block-size auto"));
}

TEST(NothingRead, ARunThatReadsNoDataBlockSaysWhatItRead)
{
    ScratchDir dir;
    Block index;
    index.layer_type = block_format::kLayerIndex;
    const std::string path = dir.write("f.dbf", file_of({Block(), Block(), index}));
    const std::string short_file = dir.write("short.dbf", datafile::Bytes(100, 0x11));
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"-f", path, "-b", "1000000"}, "read 0 blocks: block 1000000 is past the end of " + path + " (3 blocks)"},
        {{"-f", path, "-o", "99999"}, "read 3 blocks, none of them a data block of object ID 99999"},
        {{"-f", path, "-b", "2", "--format", "jsonl"}, "read 1 block, none of them a data block"},
        {{"-f", short_file}, "read 0 blocks: " + short_file + " holds 100 bytes, less than one block of 8192 bytes"},
    };
    for (const auto& [args, message] : cases) {
        const RunResult r = run_trevanix(args);
        EXPECT_EQ(r.errors, note(message));
        EXPECT_EQ(r.status, 0);  // as before: the literal output and status stay
    }
    EXPECT_EQ(run_trevanix({"-f", path, "-b", "1000000"}).output, kCompleted);
}

TEST(NothingRead, ABlockCutShortByTheFileEndIsNamed)
{
    ScratchDir dir;
    datafile::File file = file_of({Block(), Block()});
    file.trailing_bytes = 4056;
    const std::string path = dir.write("cut.dbf", file);
    const RunResult r = run_trevanix({"-f", path, "-a", "C"});
    EXPECT_EQ(r.output, scn_line(0, 100, 0x1000) + scn_line(1, 100, 0x1000) + kCompleted);
    EXPECT_EQ(r.errors, note("the file ends 4056 bytes into block 2: the block is cut short and was not read"));
    EXPECT_EQ(r.status, 0);
}

// The child runs the dumper with its output on a pipe; once its first
// output arrives, the file is cut to two blocks, so the next chunk it reads
// is missing.
TEST(ShrinkingFile, AFileThatGetsShorterWhileItIsReadFailsTheRun)
{
    ScratchDir dir;
    datafile::File file;
    for (std::uint32_t i = 0; i < 1024; ++i) file.blocks.push_back(datafile::bench_block(i, 8192));
    const std::string path = dir.write("shrinking.dbf", file);
    int out_pipe[2], err_pipe[2];
    ASSERT_EQ(::pipe(out_pipe), 0);
    ASSERT_EQ(::pipe(err_pipe), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(out_pipe[0]);
        ::close(err_pipe[0]);
        OutputSink out(out_pipe[1]);
        OutputSink err(err_pipe[1]);
        const char* argv[] = {"trevanix", "-f", path.c_str(), nullptr};
        const int status = run_dump(3, argv, out, err);
        const bool flushed = out.flush() && err.flush();
        ::_exit(flushed ? status : 99);
    }
    ::close(out_pipe[1]);
    ::close(err_pipe[1]);
    char buffer[65536];
    ASSERT_GT(::read(out_pipe[0], buffer, sizeof buffer), 0);
    ASSERT_EQ(::truncate(path.c_str(), 2 * 8192), 0);
    while (::read(out_pipe[0], buffer, sizeof buffer) > 0) {
    }
    std::string errors;
    for (ssize_t n; (n = ::read(err_pipe[0], buffer, sizeof buffer)) > 0;) errors.append(buffer, static_cast<std::size_t>(n));
    ::close(out_pipe[0]);
    ::close(err_pipe[0]);
    int wait_status = 0;
    ASSERT_EQ(::waitpid(child, &wait_status, 0), child);
    ASSERT_TRUE(WIFEXITED(wait_status));
    EXPECT_EQ(WEXITSTATUS(wait_status), 1);
    // The first chunk of 128 blocks was read before the file was cut.
    EXPECT_EQ(errors, note(path + " got shorter while it was read: it held 8388608 bytes when it was opened and "
                                  "16384 bytes at block 128, so the blocks from there on were not read"));
}

TEST(Progress, LineSaysWhatWasReadHowFastAndWhatIsLeft)
{
    EXPECT_EQ(Progress::line(512u << 20, 65536, 2048u << 20, 2.0),
              "trevanix: 512 MiB of 2.0 GiB (25%), 65536 blocks, 256 MiB/s, 6 s left");
    EXPECT_EQ(Progress::line(3u << 30, 10, 0, 0.0), "trevanix: 3.0 GiB, 10 blocks");
    // An unload says the rows it wrote.
    EXPECT_EQ(Progress::line(512u << 20, 65536, 2048u << 20, 2.0, 1, {}, 1234567),
              "trevanix: 512 MiB of 2.0 GiB (25%), 65536 blocks, 1234567 rows, 256 MiB/s, 6 s left");
    // Of two passes, the total is the pass's, and the time left counts the
    // pass still to come.
    EXPECT_EQ(Progress::line(256u << 20, 32768, 1024u << 20, 1.0, 1, {2}),
              "trevanix: pass 1 of 2: 256 MiB of 1.0 GiB (25%), 32768 blocks, 256 MiB/s, 7 s left");
    EXPECT_EQ(Progress::line(768u << 20, 98304, 1024u << 20, 3.0, 2, {2}),
              "trevanix: pass 2 of 2: 768 MiB of 1.0 GiB (75%), 98304 blocks, 256 MiB/s, 1 s left");
    // A second pass that may not come is not counted in the time left.
    EXPECT_EQ(Progress::line(256u << 20, 32768, 1024u << 20, 1.0, 1, {2, true}),
              "trevanix: pass 1 of up to 2: 256 MiB of 1.0 GiB (25%), 32768 blocks, 256 MiB/s, 3 s left in this "
              "pass");
    EXPECT_EQ(Progress::line(256u << 20, 32768, 1024u << 20, 1.0, 2, {2, true}),
              "trevanix: pass 2 of 2: 256 MiB of 1.0 GiB (25%), 32768 blocks, 256 MiB/s, 3 s left");
    // Not a terminal: nothing is ever written.
    OutputSink err;
    {
        Progress progress(err, true, 1u << 30);
        for (int i = 0; i < 100000; ++i) progress.step(8192);
    }
    EXPECT_EQ(err.captured(), "");
}

}  // namespace
