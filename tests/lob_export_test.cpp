// LOB values through the export formats and --rows, where a column
// template types a column CLOB, NCLOB or BLOB: each value as the unload
// writes it (text in UTF-8, a BLOB's bytes in hexadecimal), read a page at
// a time from the pages its locator names and the later ones found by
// their LobId in the files; what cannot be read wholly said
// on standard error and ending the run with status 4; the piece export's
// locator fields; the text output and the other templates left as they were.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "lob_database.h"
#include "lob_locators.h"
#include "test_support.h"
#include "values/lob_locator.h"
#include "values/lob_text.h"

namespace {

using datafile::Bytes;

std::string lob_id_hex(std::uint32_t n)
{
    const datafile::LobId id = datafile::lob_id(n);
    return hex_of(std::string_view(reinterpret_cast<const char*>(id.data()), id.size()));
}

// HR.LOBS's columns: ID, DOC, NDOC, PIC, LDOC (little-endian text), SDOC,
// SFDOC and SFPIC (SecureFiles stored apart).
const char kLobsTemplate[] = "NUMBER\nCLOB\nNCLOB\nBLOB\nCLOB\nCLOB\nCLOB\nBLOB\n";
const std::vector<std::string> kColumns = {"ID", "DOC", "NDOC", "PIC", "LDOC", "SDOC", "SFDOC", "SFPIC"};

// The LOB database's users file, and a template of its LOB table.
struct LobFiles {
    ScratchDir dir;
    datafile::LobCases cases;
    std::vector<std::string> geometry;
    std::string users, template_file;

    LobFiles(std::uint32_t size, ByteOrder order) : cases(datafile::lob_database(size, order))
    {
        datafile::write_database(datafile::build_database(cases.database), dir.root());
        users = dir.path("users01.dbf");
        template_file = dir.write("lobs.template", std::string(kLobsTemplate));
        geometry = {"--block-size", std::to_string(size), "--byte-order", order == ByteOrder::Big ? "big" : "little"};
    }

    RunResult run(std::vector<std::string> options) const
    {
        options.insert(options.end(), geometry.begin(), geometry.end());
        options.insert(options.end(), {"--quiet", "-c", template_file, users});
        return run_trevanix(options);
    }
};

const datafile::LobExpected& expected_of(const LobFiles& f, std::int64_t id, const std::string& column)
{
    for (const datafile::LobExpected& e : f.cases.expected)
        if (e.id == id && e.column == column) return e;
    throw std::runtime_error("no such value");
}

// The values the LOB database's values are compared with, by row and column.
using Values = std::map<std::pair<std::int64_t, std::string>, std::string>;

// Every value as it is written, against what was stored: the pages past
// a locator's twelve found by their LobId in the files.
void expect_values(const LobFiles& f, const Values& got, const std::string& how)
{
    for (const datafile::LobExpected& e : f.cases.expected) {
        const std::string what = how + ": row " + std::to_string(e.id) + " " + e.column;
        ASSERT_EQ(got.count({e.id, e.column}), 1u) << what;
        const std::string& value = got.at({e.id, e.column});
        if (e.kind == "null" || e.kind == "undecoded") {
            EXPECT_TRUE(value.empty() || e.kind == "undecoded") << what << ": " << value.substr(0, 80);
        } else if (e.kind == "bytes") {
            EXPECT_EQ(value, hex_of(e.value)) << what;
        } else {
            EXPECT_TRUE(value == e.value) << what << ": " << value.size() << " bytes, not " << e.value.size();
        }
    }
}

// The values of HR.LOBS's rows in JSON Lines records: the string of each,
// the hex digits of a locator not read (its "hex"), empty for a NULL.
Values json_values(const std::string& output, bool pieces)
{
    Values values;
    for (const Json& record : parse_json_lines(output)) {
        if (record["object_id"].text != "87500") continue;
        const Json& columns = record["columns"];
        // Trailing NULLs are not stored.
        if (columns.items.empty() || columns.items.size() > kColumns.size()) continue;
        const std::int64_t id = std::stoll(columns.items[0].text);
        for (std::size_t c = 1; c < kColumns.size(); ++c) {
            const Json v = c < columns.items.size() ? columns.items[c] : Json{};
            std::string text;
            if (v.kind == Json::String) {
                EXPECT_FALSE(pieces) << "the piece export gives a LOB's fields beside its value";
                text = v.text;
            } else if (v.kind == Json::Object) {
                const std::vector<std::string> keys = v.keys();
                const bool read = std::find(keys.begin(), keys.end(), "value") != keys.end();
                text = read ? v["value"].text : v["hex"].text;
                EXPECT_EQ(std::find(keys.begin(), keys.end(), "lob") != keys.end(), pieces) << v.text;
            }
            values[{id, kColumns[c]}] = text;
        }
    }
    return values;
}

// The same from CSV records: the columns follow the record's own fields.
Values csv_values(const std::string& output, std::size_t fields)
{
    Values values;
    const std::vector<CsvRecord> records = parse_csv(output);
    for (std::size_t r = 1; r < records.size(); ++r) {
        const CsvRecord& record = records[r];
        if (record.size() <= fields || record[fields].empty()) continue;
        for (std::size_t c = 1; c < kColumns.size(); ++c) {
            std::string value = fields + c < record.size() ? record[fields + c] : std::string();
            if (value.rfind("0x", 0) == 0) value.erase(0, 2);
            values[{std::stoll(record[fields]), kColumns[c]}] = value;
        }
    }
    return values;
}

// The fields of a CSV record before its columns, as its header names them.
std::size_t fields_before_columns(const std::string& output)
{
    const CsvRecord header = parse_csv(output.substr(0, output.find("\r\n") + 2)).at(0);
    return static_cast<std::size_t>(std::find(header.begin(), header.end(), "col1") - header.begin());
}

// What standard error says of the values not read wholly.
void expect_problems_said(const RunResult& r)
{
    EXPECT_EQ(r.status, 4) << r.errors;
    // Row 3's DOC, a page zeroed: written with the pages found.
    EXPECT_NE(r.errors.find("slot 2, column 2: the LOB (LobId " + lob_id_hex(8) + ") has 4 of its 5 pages"),
              std::string::npos)
        << r.errors;
    // Row 2's, past their locators' twelve pages, are whole.
    EXPECT_EQ(r.errors.find("slot 1,"), std::string::npos) << r.errors;
    // Row 3's SecureFile, a block zeroed: written with the blocks found.
    EXPECT_NE(r.errors.find("slot 2, column 7: the LOB (LobId " + lob_id_hex(103) + ") has 3 of its 4 pages"),
              std::string::npos)
        << r.errors;
    // Row 3's PIC, every page lost, and row 4's SecureFiles (compressed,
    // which no template says, and one whose list names another's block):
    // their locators.
    EXPECT_NE(r.errors.find("slot 2, column 4: none of the pages of the LOB (LobId " + lob_id_hex(10) + ") was found"),
              std::string::npos)
        << r.errors;
    EXPECT_NE(r.errors.find("slot 3, column 6: the LOB (LobId " + lob_id_hex(12) + ") is a SecureFile"),
              std::string::npos)
        << r.errors;
    EXPECT_NE(r.errors.find("slot 3, column 7: the LOB (LobId " + lob_id_hex(105) + ") is a SecureFile stored apart "
                            "whose extent list or blocks are not of the layout read"),
              std::string::npos)
        << r.errors;
    EXPECT_NE(r.errors.find("LOB values not read wholly: 3 written as their locators in hexadecimal, 2 written "
                            "with the pages found\n"),
              std::string::npos)
        << r.errors;
}

class LobExport : public ::testing::TestWithParam<std::pair<std::uint32_t, ByteOrder>> {};

TEST_P(LobExport, RowsGiveEveryValueByteForByteAndSayWhatIsMissing)
{
    const LobFiles f(GetParam().first, GetParam().second);
    const RunResult jsonl = f.run({"--rows", "--format", "jsonl"});
    expect_problems_said(jsonl);
    expect_values(f, json_values(jsonl.output, false), "--rows jsonl");

    const RunResult csv = f.run({"--rows", "--format", "csv"});
    expect_problems_said(csv);
    expect_values(f, csv_values(csv.output, fields_before_columns(csv.output)), "--rows csv");
    // An empty LOB is "", a NULL nothing, and text that needs quotes has them.
    EXPECT_NE(csv.output.find(",4,\"\",,,,"), std::string::npos);
    EXPECT_NE(csv.output.find(",1,\"Gr\xC3\xBC\xC3\x9F" "e, \"\"quoted\"\"\r\nline two"), std::string::npos);
}

TEST_P(LobExport, ThePieceExportGivesTheLocatorsFieldsBesideTheValue)
{
    const LobFiles f(GetParam().first, GetParam().second);
    const RunResult jsonl = f.run({"--format", "jsonl"});
    expect_problems_said(jsonl);
    expect_values(f, json_values(jsonl.output, true), "jsonl");
    // Out of line, a page; in the row; many pages (their length as the
    // locator gives it); none found (its length the locator's all the
    // same); empty; a SecureFile in its segment.
    for (const std::string& fields :
         {"{\"lob\": {\"id\": \"" + lob_id_hex(1) + "\", \"storage\": \"out_of_line\", \"length\": 54, \"pages\": 1}, "
          "\"value\": \"Gr\xC3\xBC\xC3\x9F" "e, \\\"quoted\\\"\\r\\nline two \xE2\x9C\x93\"}",
          "{\"lob\": {\"id\": \"" + lob_id_hex(2) + "\", \"storage\": \"inline\", \"length\": 12, \"pages\": 0}, "
          "\"value\": \"Zo\xC3\xAB \xF0\x9F\x98\x80\"}",
          "{\"lob\": {\"id\": \"" + lob_id_hex(6) + "\", \"storage\": \"out_of_line\", \"length\": " +
              std::to_string(expected_of(f, 2, "PIC").value.size()) + ", \"pages\": 20}, \"value\": \"",
          "\", \"lob\": {\"id\": \"" + lob_id_hex(10) + "\", \"storage\": \"out_of_line\", \"length\": " +
              std::to_string(lob_page_bytes(GetParam().first) + 10) + ", \"pages\": 2}}",
          "{\"lob\": {\"id\": \"" + lob_id_hex(11) + "\", \"storage\": \"inline\", \"length\": 0, \"pages\": 0}, "
          "\"value\": \"\"}",
          "\", \"lob\": {\"id\": \"" + lob_id_hex(12) + "\", \"storage\": \"securefile\", \"length\": 5000, "
          "\"pages\": null}}"})
        EXPECT_NE(jsonl.output.find(fields), std::string::npos) << fields;

    // CSV pieces: the values alone, as the header's columns.
    const RunResult csv = f.run({"--format", "csv"});
    expect_problems_said(csv);
    expect_values(f, csv_values(csv.output, fields_before_columns(csv.output)), "csv");
    EXPECT_EQ(csv.output.find("\"lob\""), std::string::npos);
}

TEST_P(LobExport, EveryNumberOfWorkersWritesTheSame)
{
    const LobFiles f(GetParam().first, GetParam().second);
    for (const std::vector<std::string>& mode : std::vector<std::vector<std::string>>{
             {"--rows", "--format", "jsonl"}, {"--rows", "--format", "csv"}, {"--format", "jsonl"}, {"--format", "csv"}}) {
        std::vector<std::string> one = mode;
        one.insert(one.end(), {"--jobs", "1"});
        const RunResult first = f.run(one);
        EXPECT_EQ(first.status, 4);
        for (const char* jobs : {"2", "7"}) {
            std::vector<std::string> more = mode;
            more.insert(more.end(), {"--jobs", jobs});
            const RunResult r = f.run(more);
            EXPECT_EQ(r.status, first.status) << mode[0] << " " << jobs;
            EXPECT_TRUE(r.output == first.output) << mode[0] << " " << mode.back() << " with " << jobs << " workers";
            EXPECT_EQ(r.errors, first.errors);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(BlockSizesAndByteOrders, LobExport,
                         ::testing::Values(std::pair{8192u, ByteOrder::Little}, std::pair{16384u, ByteOrder::Big}));

// The text output dumps a column typed CLOB, NCLOB or BLOB as it dumps
// any value of no decoded type; the export formats without a LOB in the
// template are as before, exit status 0.
TEST(LobExport, TheTextOutputAndTemplatesWithoutLobsAreAsBefore)
{
    const auto is_deleted_only = [](std::string_view action) { return action == "D" || action == "S"; };
    const LobFiles f(8192, ByteOrder::Little);
    const std::string unknown = f.dir.write("unknown.template", std::string("NUMBER\nUNKNOWN\nUNKNOWN\nUNKNOWN\n"
                                                                            "UNKNOWN\nUNKNOWN\n"));
    for (const char* action : {"A", "D", "O", "S"}) {
        for (const std::vector<std::string>& flags : std::vector<std::vector<std::string>>{{}, {"-g"}, {"-v"}}) {
            std::vector<std::string> lobs{"-f", f.users, "-a", action, "-c", f.template_file};
            std::vector<std::string> unknowns{"-f", f.users, "-a", action, "-c", unknown};
            lobs.insert(lobs.end(), flags.begin(), flags.end());
            unknowns.insert(unknowns.end(), flags.begin(), flags.end());
            const RunResult typed = run_trevanix(lobs);
            const RunResult plain = run_trevanix(unknowns);
            EXPECT_EQ(typed.status, plain.status) << action;
            EXPECT_TRUE(typed.output == plain.output) << action;
            if (!is_deleted_only(action)) {
                EXPECT_NE(typed.output.find("00 2A 00 01"), std::string::npos) << action << typed.output.substr(0, 2000);
            }
        }
    }
    const RunResult exported = run_trevanix({"--format", "jsonl", "--quiet", "-c", unknown, f.users});
    EXPECT_EQ(exported.status, 0) << exported.errors;
    EXPECT_EQ(exported.errors, "");
    EXPECT_EQ(exported.output.find("\"lob\""), std::string::npos);
}

// 2-byte Unicode text nothing says the byte order of: mostly ASCII text
// has its zero bytes second in each unit when it is little-endian.
TEST(LobText, TheByteOrderOfTextIsGuessedFromItsZeroBytes)
{
    const Bytes big{0x00, 'a', 0x00, 'b', 0x4E, 0x2D, 0x00, 'c'};
    const Bytes little{'a', 0x00, 'b', 0x00, 0x2D, 0x4E, 'c', 0x00};
    EXPECT_FALSE(guess_lob_text_little_endian(ByteView(big.data(), big.size())));
    EXPECT_TRUE(guess_lob_text_little_endian(ByteView(little.data(), little.size())));
    EXPECT_FALSE(guess_lob_text_little_endian(ByteView()));
    // An odd byte at the end is no unit.
    const Bytes odd{'a', 0x00, 0x00};
    EXPECT_TRUE(guess_lob_text_little_endian(ByteView(odd.data(), odd.size())));
}

}  // namespace
