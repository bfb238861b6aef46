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

}  // namespace
