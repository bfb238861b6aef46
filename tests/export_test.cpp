// The export formats: every JSON line parses and its columns are the bytes
// the hex dump shows; the selection follows the actions; -g, -v and -s
// change no record; messages go to standard error with the usual statuses.
#include <gtest/gtest.h>

#include <map>

#include "test_support.h"

namespace {

using datafile::Block;
using datafile::Bytes;
using datafile::Column;

// The columns of each shown piece in the text hex dump, as the JSON export
// says them: "null", or the hex digits and, when cut short, the announced
// length.
std::vector<std::vector<std::string>> text_columns(const std::string& output, const std::string& rule)
{
    std::vector<std::vector<std::string>> pieces;
    std::size_t at = 0;
    while ((at = output.find(rule, at)) != std::string::npos) {
        at += rule.size();
        std::vector<std::string> columns;
        while (at < output.size() && output[at] != '\n') {
            const std::size_t end = output.find('\n', at);
            const std::string line = output.substr(at, end - at);
            at = end + 1;
            if (line == "1: FF") {
                columns.push_back("null");
                continue;
            }
            const std::size_t colon = line.find(": ");
            const std::size_t announced = std::stoul(line.substr(0, colon));
            std::string digits;
            for (std::size_t i = colon + 2; i + 2 < line.size() + 1; i += 3) digits += line.substr(i, 2);
            columns.push_back(digits.size() / 2 == announced ? digits : digits + "/" + std::to_string(announced));
        }
        pieces.push_back(columns);
        --at;  // the next rule starts with this newline
    }
    return pieces;
}

std::vector<std::string> json_columns(const Json& record)
{
    std::vector<std::string> columns;
    for (const Json& c : record["columns"].items) {
        if (c.kind == Json::Null) {
            columns.push_back("null");
        } else {
            EXPECT_EQ(c.kind, Json::Object);
            std::string digits = c["hex"].text;
            if (c.names.size() > 1) {
                EXPECT_TRUE(c["truncated"].boolean);
                digits += "/" + c["length"].text;
            }
            columns.push_back(digits);
        }
    }
    return columns;
}

// The sample, then full blocks and damaged ones.
std::string mixed_file(const ScratchDir& dir)
{
    Bytes file = datafile::build_file(datafile::sample_file());
    for (std::uint32_t i = 1; i < 40; ++i) {
        Bytes b = datafile::build_bench_block(i, 8192);
        file.insert(file.end(), b.begin(), b.end());
        Bytes d = datafile::build_bench_block(i + 100, 8192, datafile::BenchData::Damaged);
        file.insert(file.end(), d.begin(), d.end());
    }
    return dir.write("mixed.dbf", file);
}

// The fields of a record, as a reader of the export sees them.
const std::vector<std::string> kRecordFields = {
    "block", "file", "file_offset", "object_id", "scn",  "layout", "walk", "slot",     "row_offset", "flags",
    "class", "class_name", "deleted", "lock",    "itl",  "hrid",   "nrid", "complete", "columns"};

TEST(JsonLines, EveryLineParsesAndHoldsTheColumnsTheHexDumpShows)
{
    ScratchDir dir;
    const std::string path = mixed_file(dir);
    for (const char* action : {"A", "D", "O", "S"}) {
        const bool deleted_only = action[0] == 'D' || action[0] == 'S';
        const RunResult text = run_trevanix({"-f", path, "-a", action});
        const RunResult jsonl = run_trevanix({"-f", path, "-a", action, "--format", "jsonl"});
        ASSERT_EQ(jsonl.status, text.status) << action;
        EXPECT_EQ(jsonl.errors.empty(), text.output.find("Count is out of bounds!") == std::string::npos) << action;
        const std::vector<Json> records = parse_json_lines(jsonl.output);
        const auto expected = text_columns(text.output, deleted_only ? kDeletedRule : kRule);
        ASSERT_EQ(records.size(), expected.size()) << action;
        ASSERT_GT(records.size(), 100u);
        for (std::size_t i = 0; i < records.size(); ++i) {
            EXPECT_EQ(records[i].keys(), kRecordFields) << action << " record " << i;
            EXPECT_EQ(json_columns(records[i]), expected[i]) << action << " record " << i;
            if (deleted_only) {
                EXPECT_TRUE(records[i]["deleted"].boolean);
            }
            EXPECT_EQ(records[i]["walk"].text, action[0] == 'O' || action[0] == 'S' ? "heap" : "directory");
        }
    }
}

TEST(JsonLines, VerboseLocationAndSeparatorChangeNoRecord)
{
    ScratchDir dir;
    const std::string path = mixed_file(dir);
    const std::string tpl = dir.write("t", datafile::bench_template());
    for (const char* format : {"--format=jsonl", "--format=csv"}) {
        const RunResult plain = run_trevanix({"-f", path, "-c", tpl, format, "-a", "O"});
        const RunResult verbose = run_trevanix({"-g", "-v", "-s", ",", "-f", path, "-c", tpl, format, "-a", "O"});
        EXPECT_EQ(verbose.output, plain.output) << format;
        EXPECT_EQ(verbose.errors, plain.errors) << format;
        EXPECT_EQ(plain.output.find("Completed."), std::string::npos);
    }
}

TEST(JsonLines, SlotsInTheHeapWalkTellStaleCopiesFromLiveRows)
{
    // A live row, a deleted row whose slot was reused, and a stale copy.
    Block b;
    datafile::RowPiece gone = datafile::deleted_piece({Column::text("gone")});
    gone.in_directory = false;
    datafile::RowPiece stale = datafile::head_piece({Column::text("old")});
    stale.in_directory = false;
    b.rows = {datafile::head_piece({Column::text("new")}), gone, stale};
    ScratchDir dir;
    const std::string path = dir.write("slots.dbf", file_of({b}));
    const std::string tpl = dir.write("t", std::string("VARCHAR2\n"));
    const std::vector<Json> records = parse_json_lines(run_trevanix({"-f", path, "-c", tpl, "-a", "O", "--format", "jsonl"}).output);
    ASSERT_EQ(records.size(), 3u);
    std::map<std::string, std::pair<Json::Kind, bool>> seen;
    for (const Json& r : records) seen[r["columns"].items[0].text] = {r["slot"].kind, r["deleted"].boolean};
    EXPECT_EQ(seen["new"], std::make_pair(Json::Number, false));
    EXPECT_EQ(seen["gone"], std::make_pair(Json::Null, true));
    EXPECT_EQ(seen["old"], std::make_pair(Json::Null, false));
}

TEST(JsonLines, TextThatIsNotUtf8IsExportedAsHex)
{
    Block b;
    b.rows = {datafile::head_piece({Column::bytes({'a', 0xE9, 'b'}), Column::text("caf\xC3\xA9"),
                                    Column::text("tab\there \"q\" \\"), Column::bytes({})})};
    ScratchDir dir;
    const std::string path = dir.write("text.dbf", file_of({b}));
    const std::string tpl = dir.write("t", std::string("VARCHAR2\nVARCHAR2\nVARCHAR2\nVARCHAR2\n"));
    const RunResult r = run_trevanix({"-f", path, "-c", tpl, "--format=jsonl"});
    EXPECT_NE(r.output.find(R"("columns": [{"hex": "61E962"}, "café", "tab\there \"q\" \\", ""])"),
              std::string::npos)
        << r.output;
    ASSERT_EQ(parse_json_lines(r.output).size(), 1u);
    // CSV writes the bytes as they are.
    const RunResult csv = run_trevanix({"-f", path, "-c", tpl, "--format=csv"});
    EXPECT_NE(csv.output.find(",true,a\xE9"
                              "b,caf\xC3\xA9,"
                              "\"tab\there \"\"q\"\" \\\",\"\"\r\n"),
              std::string::npos)
        << csv.output;
}

TEST(ExportMessages, GoToStandardErrorWithTheUsualStatuses)
{
    ScratchDir dir;
    const std::string missing = dir.path("missing.dbf");
    Block b;
    b.patches = {{block_format::kItlCountAt, {255}}};  // the data header lies past the block
    const std::string bad_itl = dir.write("itl.dbf", file_of({b}, 4096));
    struct Case {
        std::vector<std::string> args;
        std::string errors;
        int status;
    };
    const std::string not_there = "trevanix: cannot open " + missing + ": No such file or directory\n";
    const Case cases[] = {
        {{"--format", "jsonl", "-f", missing}, "Failed to open datafile " + missing + "\n" + not_there, 1},
        {{"-f", missing, "--format=csv"}, "Failed to open datafile " + missing + "\n" + not_there, 1},
        {{"--format", "jsonl", "-f", bad_itl, "-z", "4096"},
         "Block ID: 0, Offset of data header structure is out of bounds.\n", 1},
        {{"--format", "jsonl", "-a", "x"}, "Invalid action.", 2},
        {{"-a", "x", "--format", "csv"}, "Invalid action.", 2},
        {{"--format=jsonl", "-f"}, "Missing data file argument\n", 2},
        {{"--format=jsonl", "-b", "1"}, "Need name of data file.\n", 24},
        {{"--format", "xml", "-f", missing}, "trevanix: --format wants text, jsonl or csv, not 'xml'\n", 2},
        {{"-f", missing, "--format"}, "trevanix: --format needs a value\n", 2},
    };
    for (const Case& c : cases) {
        const RunResult r = run_trevanix(c.args);
        EXPECT_EQ(r.errors, c.errors) << c.args[0] << " " << c.args[1];
        EXPECT_EQ(r.status, c.status) << c.errors;
        EXPECT_TRUE(r.output.empty() || r.output.rfind("block,", 0) == 0) << r.output;
    }
    // The text output keeps its messages on standard output; the reason
    // goes to standard error.
    const RunResult text = run_trevanix({"-f", missing, "--format", "text"});
    EXPECT_EQ(text.output, "Failed to open datafile " + missing + "\n" + kCompleted);
    EXPECT_EQ(text.errors, not_there);
}

}  // namespace
