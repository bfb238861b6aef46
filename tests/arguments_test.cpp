// The command line: option parsing, number reading, help, argument errors and
// their exit statuses.
#include <gtest/gtest.h>

#include "test_support.h"

namespace {

struct Parsed {
    bool ok;
    RunSettings settings;
    std::string output;
    std::string errors;
};

Parsed parse(std::vector<std::string> args)
{
    std::vector<const char*> argv{"trevanix"};
    for (const std::string& a : args) argv.push_back(a.c_str());
    OutputSink out;
    OutputSink messages;
    Parsed p{};
    p.ok = parse_arguments(static_cast<int>(argv.size()), argv.data(), p.settings, out, messages);
    p.output = out.captured();
    p.errors = messages.captured();
    return p;
}

TEST(ReadNumber, ReadsLikeAtolAndWrapsIn32Bits)
{
    EXPECT_EQ(read_number("42"), 42);
    EXPECT_EQ(read_number(" \t\n\v\f\r-17abc"), -17);
    EXPECT_EQ(read_number("+8"), 8);
    EXPECT_EQ(read_number("abc"), 0);
    EXPECT_EQ(read_number(""), 0);
    EXPECT_EQ(read_number("- 5"), 0);
    EXPECT_EQ(read_number("+-5"), 0);
    EXPECT_EQ(read_number("2147483647"), 2147483647);
    EXPECT_EQ(read_number("2147483648"), INT32_MIN);
    EXPECT_EQ(read_number("4294967297"), 1);
    EXPECT_EQ(read_number("-2147483648"), INT32_MIN);
}

TEST(ParseArguments, EveryOptionSetsItsField)
{
    Parsed p = parse({"-f", "data.dbf", "-c", "t.txt", "-z", "4096", "-o", "77", "-b", "5", "-s", ",",
                      "-a", "d", "-g", "-v"});
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.settings.data_file, "data.dbf");
    EXPECT_TRUE(p.settings.data_file_given);
    EXPECT_EQ(p.settings.template_file, "t.txt");
    EXPECT_TRUE(p.settings.template_given);
    EXPECT_EQ(p.settings.block_size, 4096u);
    EXPECT_EQ(p.settings.object_filter, 77);
    EXPECT_EQ(p.settings.block_number, 5);
    EXPECT_TRUE(p.settings.single_block);
    EXPECT_EQ(p.settings.separator, ',');
    EXPECT_EQ(p.settings.action, SHOWDELETED);
    EXPECT_TRUE(p.settings.verbose);
    EXPECT_TRUE(p.settings.show_location);
    EXPECT_FALSE(p.settings.help);
    EXPECT_EQ(p.output, "");
}

TEST(ParseArguments, DefaultsAndNoArguments)
{
    Parsed p = parse({"-f", "x"});
    EXPECT_EQ(p.settings.separator, '\n');
    EXPECT_EQ(p.settings.block_size, 0u);
    EXPECT_EQ(p.settings.action, ACTION_NONE);
    EXPECT_FALSE(p.settings.help);
    EXPECT_TRUE(parse({}).settings.help);
}

TEST(ParseArguments, ActionLettersInEitherCase)
{
    const std::pair<const char*, int> letters[] = {
        {"A", DUMPALL}, {"a", DUMPALL}, {"D", SHOWDELETED}, {"d", SHOWDELETED},
        {"O", DUMPNOTVIAOFFSETS}, {"o", DUMPNOTVIAOFFSETS}, {"S", SHOWDELETEDNOTVIAOFFSETS},
        {"s", SHOWDELETEDNOTVIAOFFSETS}, {"C", DUMPSCNS}, {"c", DUMPSCNS}, {"Order", DUMPNOTVIAOFFSETS},
    };
    for (const auto& [letter, action] : letters) EXPECT_EQ(parse({"-a", letter}).settings.action, action) << letter;
}

TEST(ParseArguments, ValuesAreTakenWhateverTheyLookLike)
{
    Parsed p = parse({"-f", "-c"});
    EXPECT_EQ(p.settings.data_file, "-c");
    EXPECT_FALSE(p.settings.template_given);
    EXPECT_EQ(parse({"-s", "-g"}).settings.separator, '-');
    EXPECT_FALSE(parse({"-s", "-g"}).settings.verbose);
    EXPECT_EQ(parse({"-s", ""}).settings.separator, '\0');
    std::string long_path(300, 'p');
    EXPECT_EQ(parse({"-f", long_path}).settings.data_file, long_path);  // used whole
}

TEST(ParseArguments, LaterOptionsOverrideEarlierOnes)
{
    EXPECT_EQ(parse({"-f", "one", "-f", "two"}).settings.data_file, "two");
    EXPECT_EQ(parse({"-a", "A", "-a", "C"}).settings.action, DUMPSCNS);
    Parsed count_last = parse({"-b", "5", "-n", "3"});
    EXPECT_FALSE(count_last.settings.single_block);
    EXPECT_EQ(count_last.settings.count, 3);
    EXPECT_EQ(count_last.settings.block_number, 5);
    EXPECT_TRUE(parse({"-n", "3", "-b", "5"}).settings.single_block);
}

TEST(ParseArguments, UnknownArgumentsAreIgnoredButNotUnknownLongOptions)
{
    Parsed p = parse({"-x", "stray", "-F", "-f", "d", "--", "-help"});
    EXPECT_TRUE(p.ok);
    EXPECT_FALSE(p.settings.help);
    EXPECT_EQ(p.settings.data_file, "d");
    EXPECT_FALSE(parse({"-f", "d", "--hlep"}).ok);
}

TEST(RunDump, MissingValuesPrintTheirMessageAndExit2)
{
    const std::pair<const char*, const char*> cases[] = {
        {"-f", "Missing data file argument\n"},   {"-c", "Missing column template file argument\n"},
        {"-n", "Missing number of blocks argument\n"}, {"-z", "Missing block size argument\n"},
        {"-o", "Missing object ID argument\n"},   {"-b", "Missing block number argument\n"},
        {"-s", "Missing separator argument\n"},   {"-a", "Missing action argument\n"},
    };
    for (const auto& [option, message] : cases) {
        RunResult r = run_trevanix({"-h", option});
        EXPECT_EQ(r.output, message) << option;
        EXPECT_EQ(r.status, 2) << option;
    }
}

TEST(RunDump, InvalidActionHasNoNewlineAndExits2)
{
    RunResult r = run_trevanix({"-f", "x", "-a", "x"});
    EXPECT_EQ(r.output, "Invalid action.");
    EXPECT_EQ(r.status, 2);
    r = run_trevanix({"-a", "", "-f", "x"});
    EXPECT_EQ(r.output, "Invalid action.");
    EXPECT_EQ(r.status, 2);
}

TEST(RunDump, HelpWinsOverEverythingElse)
{
    const std::string help =
        "\n\nTrevanix v1.00 [beta]\n\n-h (show help)\n-f data_file (required)\n-c column_template\n"
        "-z block_size (default 8192)\n-o object_id\n-b block_number\n-s seperator (default newline)\n"
        "-a action\n\nActions are:\nA DUMPALL\nD SHOWDELETED\nO DUMPNOTVIAOFFSETS\n"
        "S SHOWDELETEDNOTVIAOFFSETS\nC DUMPSCNS\n\n\n";
    RunResult none = run_trevanix({});
    EXPECT_EQ(none.output, help);
    EXPECT_EQ(none.status, 0);
    RunResult with_file = run_trevanix({"-f", "/nonexistent", "-h", "-a", "C"});
    EXPECT_EQ(with_file.output, help);
    EXPECT_EQ(with_file.status, 0);
}

TEST(RunDump, NeedsADataFile)
{
    RunResult r = run_trevanix({"-g", "-a", "A"});
    EXPECT_EQ(r.output, "Need name of data file.\n");
    EXPECT_EQ(r.status, 24);
}

// ---------------------------------------------------------------------------
// Warnings: every argument the command line ignores or reads as something
// other than it is written gets one line, in the order of the arguments.

std::vector<std::string> warnings_of(std::vector<std::string> args)
{
    Parsed p = parse(std::move(args));
    EXPECT_TRUE(p.ok);
    EXPECT_EQ(p.output + p.errors, "");  // said by the run, not by parsing
    return p.settings.warnings;
}

TEST(ArgumentWarnings, IgnoredArgumentsAreNamedWithWhatToWrite)
{
    using W = std::vector<std::string>;
    EXPECT_EQ(warnings_of({"-f", "d", "-x"}),
              W{"trevanix: -x was ignored: it is no option (trevanix --help lists every option)\n"});
    EXPECT_EQ(warnings_of({"-f", "d", "-gv"}), W{"trevanix: -gv was ignored: options are separate arguments (-g -v)\n"});
    EXPECT_EQ(warnings_of({"-f", "d", "-b5"}),
              W{"trevanix: -b5 was ignored: an option and its value are separate arguments (-b 5)\n"});
    EXPECT_EQ(warnings_of({"-gffile"}),
              W{"trevanix: -gffile was ignored: options and values are separate arguments (-g -f file)\n"});
    EXPECT_EQ(warnings_of({"-f", "d", "-F"}), W{"trevanix: -F was ignored: options are case-sensitive (-f is one)\n"});
    EXPECT_EQ(warnings_of({"-f", "d", "-verify"}),
              W{"trevanix: -verify was ignored: long options start with two hyphens: --verify\n"});
    EXPECT_EQ(warnings_of({"-f", "d", "-format=csv"}),
              W{"trevanix: -format=csv was ignored: long options start with two hyphens: --format=csv\n"});
    EXPECT_EQ(warnings_of({"-f", "d", "-", "--", ""}),
              (W{"trevanix: - was ignored: trevanix reads no standard input (name the data file after -f)\n",
                 "trevanix: -- was ignored\n", "trevanix: an empty argument ('') was ignored\n"}));
    // Nothing of an argument reaches the terminal as it is but printable ASCII.
    EXPECT_EQ(warnings_of({"-f", "d", "-\x1b]0;x\x07", "-\xc3\xa9"}),
              (W{"trevanix: '-\\x1B]0;x\\x07' was ignored: it is no option (trevanix --help lists every option)\n",
                 "trevanix: '-\\xC3\\xA9' was ignored: it is no option (trevanix --help lists every option)\n"}));
}

TEST(ArgumentWarnings, NumbersReadAsSomethingElse)
{
    using W = std::vector<std::string>;
    EXPECT_EQ(warnings_of({"-f", "d", "-b", "abc"}), W{"trevanix: -b abc is no number: read as 0 (block 0)\n"});
    EXPECT_EQ(warnings_of({"-f", "d", "-z", "0x10"}),
              W{"trevanix: -z 0x10 is read as 0 (the default block size, 8192): numbers are decimal and end at "
                "their first character that is not a digit\n"});
    EXPECT_EQ(warnings_of({"-f", "d", "-n", "1e3"}),
              W{"trevanix: -n 1e3 is read as 1: numbers are decimal and end at their first character that is not "
                "a digit\n"});
    EXPECT_EQ(warnings_of({"-f", "d", "-o", ""}), W{"trevanix: -o '' is no number: read as 0 (no object filter)\n"});
    EXPECT_EQ(warnings_of({"-f", "d", "-n", "- 5"}), W{"trevanix: -n '- 5' is no number: read as 0 (no limit)\n"});
    EXPECT_EQ(warnings_of({"-f", "d", "-b", "4294967297"}),
              W{"trevanix: -b 4294967297 is read as 1: numbers wrap around in 32 bits\n"});
    EXPECT_EQ(warnings_of({"-f", "d", "-o", "2147483648"}),
              W{"trevanix: -o 2147483648 is read as -2147483648: numbers wrap around in 32 bits\n"});
    EXPECT_EQ(warnings_of({"-f", "d", "-z", "-1"}),
              W{"trevanix: -z -1 is read as 4294967295: numbers wrap around in 32 bits\n"});
    // What atol reads as written is no warning: white space, a sign, the
    // extremes of 32 bits.
    EXPECT_EQ(warnings_of({"-f", "d", "-b", " \t+7", "-o", "-2147483648", "-n", "-1", "-z", "4294967295"}), W{});
    EXPECT_EQ(warnings_of({"-f", "d", "-o", "2147483647", "-b", "0"}), W{});
}

TEST(ArgumentWarnings, ValuesTakenAsOtherThanTheyLook)
{
    using W = std::vector<std::string>;
    EXPECT_EQ(warnings_of({"-f", "-c"}), W{"trevanix: -f -c: -c is taken as the data file's name, not as an option\n"});
    EXPECT_EQ(warnings_of({"-f", "d", "-c", "--verify"}),
              W{"trevanix: -c --verify: --verify is taken as the template's name, not as an option\n"});
    EXPECT_EQ(warnings_of({"-f", "d", "-b", "-g"}),
              W{"trevanix: -b -g: -g is taken as the block number, not as an option; it is no number: read as 0 "
                "(block 0)\n"});
    EXPECT_EQ(warnings_of({"-f", "d", "-s", ", "}),
              W{"trevanix: -s ', ' is read as ',': the separator is the first character alone\n"});
    EXPECT_EQ(warnings_of({"-f", "d", "-s", ""}), W{"trevanix: -s '' makes the separator a zero byte\n"});
    EXPECT_EQ(warnings_of({"-f", "d", "-s", "-"}), W{});
    EXPECT_EQ(warnings_of({"-f", "d", "-a", "DUMPSCNS"}),
              W{"trevanix: -a DUMPSCNS is read as -a D (SHOWDELETED): only its first letter counts; DUMPSCNS is "
                "-a C\n"});
    EXPECT_EQ(warnings_of({"-f", "d", "-a", "Order"}),
              W{"trevanix: -a Order is read as -a O (DUMPNOTVIAOFFSETS): only its first letter counts\n"});
    EXPECT_EQ(warnings_of({"-f", "d", "-a", "showdeleted"}),
              W{"trevanix: -a showdeleted is read as -a S (SHOWDELETEDNOTVIAOFFSETS): only its first letter "
                "counts; SHOWDELETED is -a D\n"});
}

TEST(ArgumentWarnings, OptionsReplacedOrWithoutEffect)
{
    using W = std::vector<std::string>;
    EXPECT_EQ(warnings_of({"-f", "a.dbf", "-f", "b.dbf"}),
              W{"trevanix: -f a.dbf was replaced by the -f b.dbf after it: the text output reads one data file "
                "(--format jsonl or csv and --verify read every data file named after the options)\n"});
    EXPECT_EQ(warnings_of({"-f", "a.dbf", "--verify", "-f", "b.dbf"}),
              W{"trevanix: -f a.dbf was replaced by the -f b.dbf after it: name the other data files after the "
                "options, without -f\n"});
    EXPECT_EQ(warnings_of({"-f", "d", "-z", "4096", "-z", "2048", "-z", "2048"}),
              W{"trevanix: -z 4096 was replaced by the -z 2048 after it: a later option replaces an earlier one\n"});
    // The same value again, or a value of the same effect, changes nothing.
    EXPECT_EQ(warnings_of({"-f", "d", "-f", "d", "-b", "5", "-b", "05", "-a", "c", "-a", "C"}), W{});
    EXPECT_EQ(warnings_of({"-f", "d", "-n", "3", "-b", "5"}),
              W{"trevanix: -n 3 has no effect: the -b 5 after it reads one block alone (-b 5 -n 3 reads 3 blocks "
                "from block 5)\n"});
    EXPECT_EQ(warnings_of({"-f", "d", "-b", "5", "-n", "3"}), W{});
}

TEST(ArgumentWarnings, DataFilesTheRunDoesNotRead)
{
    using W = std::vector<std::string>;
    EXPECT_EQ(warnings_of({"users01.dbf", "-a", "C"}),
              W{"trevanix: users01.dbf was not read: the data file goes after -f, as in trevanix -f users01.dbf\n"});
    EXPECT_EQ(warnings_of({"-f", "a.dbf", "b.dbf"}),
              W{"trevanix: b.dbf was not read: the text output reads the -f file alone (--format jsonl or csv and "
                "--verify read every data file named)\n"});
    EXPECT_EQ(warnings_of({"--ddl", "--schema", "s.sql", "a.dbf"}),
              W{"trevanix: a.dbf was not read: --ddl without --infer reads no data file\n"});
    EXPECT_EQ(warnings_of({"--format", "csv", "a.dbf", "b.dbf"}), W{});
    EXPECT_EQ(warnings_of({"-f", "a.dbf", "--verify", "b.dbf"}), W{});
    EXPECT_EQ(warnings_of({"--ddl", "--infer", "a.dbf"}), W{});
    // In the order of the arguments they are about.
    EXPECT_EQ(warnings_of({"b.dbf", "-x", "-f", "a.dbf", "-gv"}),
              (W{"trevanix: b.dbf was not read: the text output reads the -f file alone (--format jsonl or csv and "
                 "--verify read every data file named)\n",
                 "trevanix: -x was ignored: it is no option (trevanix --help lists every option)\n",
                 "trevanix: -gv was ignored: options are separate arguments (-g -v)\n"}));
}

// The warnings only add lines to standard error: standard output and the
// exit status are those of the same run without what they are about.
TEST(ArgumentWarnings, StandardOutputAndStatusAreThoseOfTheRunWithout)
{
    const std::string sample = std::string(TREVANIX_SOURCE_DIR) + "/examples/sample.dbf";
    const std::string tpl = std::string(TREVANIX_SOURCE_DIR) + "/examples/sample.template";
    using Args = std::vector<std::string>;
    const std::pair<Args, Args> cases[] = {
        {{"-f", sample, "-a", "C", "-x"}, {"-f", sample, "-a", "C"}},
        {{"-f", sample, "-gv", "-b", "1"}, {"-f", sample, "-b", "1"}},
        {{"-f", sample, "-b", "abc", "-g"}, {"-f", sample, "-b", "0", "-g"}},
        {{"-f", sample, "-z", "0x10", "-n", "2", "-g"}, {"-f", sample, "-z", "0", "-n", "2", "-g"}},
        {{"-f", sample, "-a", "C", sample}, {"-f", sample, "-a", "C"}},
        {{"-f", "/nonexistent/a.dbf", "-f", sample, "-a", "C"}, {"-f", sample, "-a", "C"}},
        {{"-f", sample, "-f", "/nonexistent/a.dbf", "-a", "C"}, {"-f", "/nonexistent/a.dbf", "-a", "C"}},
        {{sample, "-a", "C"}, {"-a", "C"}},
        {{"-f", sample, "-a", "DUMPSCNS", "-v"}, {"-f", sample, "-a", "D", "-v"}},
        {{"-f", sample, "-n", "3", "-b", "1"}, {"-f", sample, "-b", "1"}},
        {{"-f", sample, "-c", tpl, "-s", ", ", "-b", "1"}, {"-f", sample, "-c", tpl, "-s", ",", "-b", "1"}},
        {{"-f", sample, "-b", "4294967297", "-a", "S"}, {"-f", sample, "-b", "1", "-a", "S"}},
        {{"-f", sample, "-z", "-1"}, {"-f", sample, "-z", "4294967295"}},
        {{"--format", "csv", "-x", sample, "-a", "C"}, {"--format", "csv", sample, "-a", "C"}},
        {{"--format", "jsonl", "-gv"}, {"--format", "jsonl"}},
    };
    for (const auto& [noisy, quiet] : cases) {
        const RunResult warned = run_trevanix(noisy);
        const RunResult plain = run_trevanix(quiet);
        const std::string said = noisy.back() + " ... (" + std::to_string(noisy.size()) + " arguments)";
        EXPECT_EQ(warned.output, plain.output) << said;
        EXPECT_EQ(warned.status, plain.status) << said;
        // The warnings first, then what the run says anyway.
        const std::vector<std::string> lines = parse(noisy).settings.warnings;
        ASSERT_FALSE(lines.empty()) << said;
        std::string warnings;
        for (const std::string& line : lines) warnings += line;
        EXPECT_EQ(warned.errors, warnings + plain.errors) << said;
    }
}

// Help, the version and argument errors say what they always said, alone.
TEST(ArgumentWarnings, NotSaidWithHelpOrAnArgumentError)
{
    EXPECT_EQ(run_trevanix({"-h", "-gv", "-b", "abc"}).errors, "");
    EXPECT_EQ(run_trevanix({"--version", "-gv"}).errors, "");
    const RunResult error = run_trevanix({"-gv", "-f", "x", "-a", "x"});
    EXPECT_EQ(error.output, "Invalid action.");
    EXPECT_EQ(error.errors, "");
}

}  // namespace
