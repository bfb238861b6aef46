// LOB values a row holds (BasicFile and SecureFile, CLOB, NCLOB and BLOB):
// their locators read, their text converted to UTF-8 from 2-byte Unicode
// or from a single-byte set, their bytes in hexadecimal; a LOB whose value
// lies in its segment kept as its locator and counted as not decoded.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>

#include "format/dictionary_format.h"
#include "lob_database.h"
#include "lob_locators.h"
#include "row_layout.h"
#include "schema/ddl_writer.h"
#include "schema_truth.h"
#include "system_file.h"
#include "test_support.h"
#include "dictionary/dictionary.h"
#include "values/lob_index.h"
#include "values/lob_locator.h"
#include "values/lob_text.h"
#include "unload/lob_files.h"
#include "unload/lob_pages.h"
#include "unload/unload_plan.h"

namespace {

using datafile::Bytes;

ByteView view(const Bytes& b) { return {b.data(), b.size()}; }
Bytes text_bytes(std::string_view s) { return Bytes(s.begin(), s.end()); }

// How many times `text` holds `part`.
std::size_t count_of(const std::string& text, const std::string& part)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++n;
    return n;
}

TEST(LobLocator, EachFormIsToldAndWhatDoesNotFitIsUnreadable)
{
    const datafile::LobId id = datafile::lob_id(7);
    const Bytes basic = datafile::basic_inline_locator(id, text_bytes("abc"));
    LobLocator l = read_lob_locator(view(basic));
    EXPECT_EQ(l.form, LobForm::BasicInline);
    EXPECT_EQ(std::string(l.data.data(), l.data.data() + l.data.size()), "abc");
    EXPECT_EQ(l.lob_id, id);

    const Bytes secure = datafile::secure_inline_locator(id, text_bytes("xyz!"));
    l = read_lob_locator(view(secure));
    EXPECT_EQ(l.form, LobForm::SecureInline);
    EXPECT_EQ(l.data.size(), 4u);

    EXPECT_EQ(read_lob_locator(view(datafile::basic_inline_locator(id, {}))).form, LobForm::Empty);
    EXPECT_EQ(read_lob_locator(view(datafile::secure_inline_locator(id, {}))).form, LobForm::Empty);

    l = read_lob_locator(view(datafile::basic_out_of_line_locator(id, 3, 100, {0x01000010, 0x01000011})));
    EXPECT_EQ(l.form, LobForm::BasicOutOfLine);
    EXPECT_EQ(l.pages_before_last, 2u);
    EXPECT_EQ(l.last_page_bytes, 100u);
    EXPECT_FALSE(l.holds_value());

    // Cut short, lengths that do not agree, a data length past the end.
    Bytes cut(basic.begin(), basic.end() - 1);
    EXPECT_EQ(read_lob_locator(view(cut)).form, LobForm::Unreadable);
    Bytes lying = basic;
    lying[29] = 0xFF;
    EXPECT_EQ(read_lob_locator(view(lying)).form, LobForm::Unreadable);
    Bytes short_secure = secure;
    short_secure[29] = 0x40;
    EXPECT_EQ(read_lob_locator(view(short_secure)).form, LobForm::Unreadable);
    EXPECT_EQ(read_lob_locator(view(Bytes(12, 0))).form, LobForm::Unreadable);
    // Every truncation of every form is read without reading past it.
    for (const Bytes& whole : {basic, secure}) {
        for (std::size_t n = 0; n < whole.size(); ++n) {
            const Bytes part(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n));
            EXPECT_EQ(read_lob_locator(view(part)).form, LobForm::Unreadable) << n;
        }
    }

    // A SecureFile's extent list: both forms, both widths of a count; a
    // list whose count byte or length does not fit it is none.
    const Bytes listed = datafile::secure_extents_locator(
        id, 30000, {{0x01000010, 3, false}, {0x01000020, 300, true}, {0x01000400, 1, false}}, true);
    l = read_lob_locator(view(listed));
    EXPECT_EQ(l.form, LobForm::SecureOutOfLine);
    EXPECT_EQ(l.secure_length, 30000u);
    EXPECT_EQ(secure_list_form(l), SecureList::InLocator);
    const std::optional<std::vector<SecureExtent>> extents = secure_file_extents(l);
    ASSERT_TRUE(extents);
    ASSERT_EQ(extents->size(), 3u);
    EXPECT_EQ((*extents)[1].address, 0x01000020u);
    EXPECT_EQ((*extents)[1].blocks, 300u);
    EXPECT_EQ((*extents)[2].blocks, 1u);
    EXPECT_TRUE(secure_file_extents(read_lob_locator(view(datafile::secure_extents_locator(id, 9, {{7, 1}}, false)))));
    Bytes miscounted = listed;
    miscounted[33] = 7;
    EXPECT_FALSE(secure_file_extents(read_lob_locator(view(miscounted))));
    Bytes in_header = listed;
    in_header[26] = 0x43;
    EXPECT_EQ(secure_list_form(read_lob_locator(view(in_header))), SecureList::HeaderBlock);
    EXPECT_FALSE(secure_file_extents(read_lob_locator(view(in_header))));
    // The last extent cut by the locator's end (its lengths say one byte
    // less): the list ends inside it.
    Bytes cut_list(listed.begin(), listed.end() - 1);
    cut_list[1] = static_cast<std::uint8_t>(cut_list.size() - 2);
    cut_list[21] = static_cast<std::uint8_t>(cut_list.size() - 20);
    l = read_lob_locator(view(cut_list));
    EXPECT_EQ(l.form, LobForm::SecureOutOfLine);
    EXPECT_FALSE(secure_file_extents(l));

    EXPECT_TRUE(lob_text_in_utf16("AL32UTF8"));
    EXPECT_TRUE(lob_text_in_utf16("UTF8"));
    EXPECT_TRUE(lob_text_in_utf16("ZHS16GBK"));
    EXPECT_FALSE(lob_text_in_utf16("WE8MSWIN1252"));
    EXPECT_FALSE(lob_text_in_utf16("US7ASCII"));
}

// The sample database with a table of LOB columns.
struct LobDatabase {
    ScratchDir dir;
    datafile::Database database = datafile::sample_database();
    std::string system, users, schema_file;

    explicit LobDatabase(std::uint16_t charset = dictionary::kCharsetAl32Utf8)
    {
        const bool utf16 = charset == dictionary::kCharsetAl32Utf8;
        database.charset_id = charset;
        datafile::TableDef t;
        t.owner = "HR";
        t.name = "DOCS";
        t.object_id = t.data_object_id = 87400;
        const auto column = [](std::string name, std::uint16_t type, std::uint32_t length) {
            datafile::ColumnDef c;
            c.name = std::move(name);
            c.type = type;
            c.length = length;
            return c;
        };
        datafile::ColumnDef id = column("ID", dictionary::kTypeNumber, 22);
        id.nullable = false;
        datafile::ColumnDef doc = column("DOC", dictionary::kTypeClob, 4000);
        doc.charset_id = charset;
        doc.charset_form = 1;
        datafile::ColumnDef ndoc = column("NDOC", dictionary::kTypeClob, 4000);
        ndoc.charset_id = dictionary::kCharsetAl16Utf16;
        ndoc.charset_form = 2;
        const datafile::ColumnDef pic = column("PIC", dictionary::kTypeBlob, 4000);
        t.columns = {id, doc, ndoc, pic};
        const auto clob = [&](std::string_view utf8, const std::string& single_byte) {
            return utf16 ? datafile::nchar_value(utf8) : text_bytes(single_byte);
        };
        const auto n = [](int v) { return datafile::number_value(std::to_string(v)); };
        t.rows = {
            {{n(1), datafile::basic_inline_locator(datafile::lob_id(1), clob("Gr\xC3\xBC\xC3\x9F" "e \"quoted\"\nline",
                                                                             "Gr\xFC\xDF" "e \"quoted\"\nline")),
              datafile::basic_inline_locator(datafile::lob_id(2), datafile::nchar_value("Zo\xC3\xAB \xF0\x9F\x98\x80")),
              datafile::secure_inline_locator(datafile::lob_id(3), Bytes{0xDE, 0xAD, 0xBE, 0xEF})}},
            {{n(2), datafile::secure_inline_locator(datafile::lob_id(4), clob("plain", "plain")),
              datafile::basic_inline_locator(datafile::lob_id(5), {}), std::nullopt}},
            {{n(3), datafile::basic_out_of_line_locator(datafile::lob_id(6), 3, 100, {0x01000070}),
              std::nullopt, datafile::basic_out_of_line_locator(datafile::lob_id(7), 1, 10, {0x01000071})}},
        };
        database.tables.push_back(t);
        const datafile::BuiltDatabase built = datafile::build_database(database);
        datafile::write_database(built, dir.root());
        system = dir.path("system01.dbf");
        users = dir.path("users01.dbf");
        schema_file = dir.write("schema.sql", schema::write_schema_file(datafile::schema_of(database, &built)));
    }
};

const char* const kDocsCsv =
    "ID,DOC,NDOC,PIC,ROWID\r\n"
    "1,\"Gr\xC3\xBC\xC3\x9F" "e \"\"quoted\"\"\nline\",Zo\xC3\xAB \xF0\x9F\x98\x80,DEADBEEF,";

TEST(LobValues, ValuesTheRowHoldsAreUnloadedAsTextAndBytesTheOthersCounted)
{
    LobDatabase db;
    for (const std::vector<std::string>& source :
         {std::vector<std::string>{"--schema", db.schema_file}, std::vector<std::string>{"--dictionary", db.system}}) {
        const std::string out = db.dir.path("out" + source[0]);
        std::vector<std::string> args{"--unload", out, "--quiet", "--table", "HR.DOCS"};
        args.insert(args.end(), source.begin(), source.end());
        args.push_back(db.users);
        const RunResult r = run_trevanix(args);
        EXPECT_EQ(r.status, 4) << r.errors;  // the two values in their segments
        const std::string csv = read_file(out + "/HR.DOCS.csv");
        EXPECT_EQ(csv.rfind(kDocsCsv, 0), 0u) << csv;
        EXPECT_NE(csv.find("\r\n2,plain,,,"), std::string::npos) << csv;
        // Out of line: the locator's bytes, not decoded.
        EXPECT_NE(csv.find("\r\n3,00"), std::string::npos) << csv;
        const Json summary = parse_json(read_file(out + "/summary.json"));
        EXPECT_EQ(summary["tables"].items[0]["not_decoded"].text, "2");
    }
}

// An inline locator cut between the two pieces of a chained row (N, then
// P) is read joined, whatever the byte the cut falls on: in its head, in
// its LobId, in its text.
TEST(LobValues, ALocatorCutBetweenTwoPiecesOfAChainedRowIsReadJoined)
{
    ScratchDir dir;
    const std::string text = "a CLOB cut across the two pieces of its row";
    Bytes stored;
    for (const char c : text) stored.insert(stored.end(), {0, static_cast<std::uint8_t>(c)});
    const Bytes locator = datafile::basic_inline_locator(datafile::lob_id(5), stored);
    datafile::FileSet set(8192);
    datafile::RowWriter writer(set, {901, 2, false});
    const std::vector<std::size_t> cuts{1, 12, 30, 50, locator.size() - 1};
    for (std::size_t i = 0; i < cuts.size(); ++i) {
        const std::uint32_t block = static_cast<std::uint32_t>(2 + 2 * i);
        writer.chained({{1, block}, {1, block + 1}},
                       {{Bytes{static_cast<std::uint8_t>('a' + i)}, locator}}, {{1, cuts[i]}});
    }
    const std::string file = dir.write("t.dbf", datafile::build_file(set.file(1)));
    const std::string schema =
        dir.write("t.sql", std::string("-- data object 901\nCREATE TABLE \"T\" (\"K\" VARCHAR2(1), \"DOC\" CLOB);\n"));
    const std::string out = dir.path("out");
    const RunResult r = run_trevanix({"--unload", out, "--quiet", "--schema", schema, file});
    EXPECT_EQ(r.status, 0) << r.errors;
    const std::vector<CsvRecord> csv = read_csv(out + "/T.csv");
    ASSERT_EQ(csv.size(), cuts.size() + 1);
    for (std::size_t i = 1; i < csv.size(); ++i) EXPECT_EQ(csv[i].at(1), text) << csv[i].at(0);
    const Json table = parse_json(read_file(out + "/summary.json"))["tables"].items.at(0);
    EXPECT_EQ(table["reassembled"].text, std::to_string(cuts.size()));
    EXPECT_EQ(table["lobs_read"].text, std::to_string(cuts.size()));
}

TEST(LobValues, AClobOfASingleByteDatabaseIsReadInItsSet)
{
    LobDatabase db(dictionary::kCharsetWe8MsWin1252);
    const std::string out = db.dir.path("out");
    const RunResult r = run_trevanix({"--unload", out, "--quiet", "--table", "HR.DOCS", "--schema", db.schema_file,
                                      db.users});
    EXPECT_EQ(r.status, 4) << r.errors;
    EXPECT_EQ(read_file(out + "/HR.DOCS.csv").rfind(kDocsCsv, 0), 0u) << read_file(out + "/HR.DOCS.csv");
}

// ---------------------------------------------------------------------------
// Values stored apart from their rows, read from their LOB segments.

// Loads an unload of the LOB database into SQLite through its sqlite.sql,
// run from inside it: text as text, bytes as BLOBs of their length, the
// values not decoded NULL. `table` and `columns` name them as loaded
// (the columns' own names when not given).
void expect_loaded_into_sqlite(const ScratchDir& dir, const std::string& out,
                               const std::vector<datafile::LobExpected>& cases, const std::string& table = "HR.LOBS",
                               const std::map<std::string, std::string>& columns = {})
{
    std::string queries;
    std::string expected;
    auto quoted = [](const std::string& name) {
        std::string q = "\"";
        for (char c : name) q += c == '"' ? std::string("\"\"") : std::string(1, c);
        return q + "\"";
    };
    for (const datafile::LobExpected& e : cases) {
        const std::string column = quoted(columns.count(e.column) != 0 ? columns.at(e.column) : e.column);
        queries += "SELECT typeof(" + column + "), length(CAST(" + column + " AS BLOB)), hex(" + column + ") FROM " +
                   quoted(table) + " WHERE ID = " + std::to_string(e.id) + ";\n";
        const bool absent = e.kind == "null" || e.kind == "undecoded";
        expected += absent ? "null||\n"
                           : std::string(e.kind == "text" ? "text|" : "blob|") + std::to_string(e.value.size()) + "|" +
                                 hex_of(e.value) + "\n";
    }
    dir.write("queries.sql", queries);
    const std::string db = dir.path("loaded.db");
    const std::string said = dir.path("said.txt");
    std::filesystem::remove(db);
    ASSERT_EQ(std::system(("cd '" + out + "' && sqlite3 '" + db + "' < sqlite.sql > '" + said + "' 2>&1").c_str()), 0)
        << read_file(said);
    EXPECT_EQ(read_file(said), "");
    ASSERT_EQ(std::system(("sqlite3 '" + db + "' < '" + dir.path("queries.sql") + "' > '" + said + "' 2>&1").c_str()), 0);
    EXPECT_TRUE(read_file(said) == expected) << "the loaded LOBs differ";
}

// The LOB database unloaded with its dictionary.
struct UnloadedLobs {
    ScratchDir dir;
    datafile::LobCases cases;
    std::string out;
    RunResult run;

    UnloadedLobs(std::uint32_t block_size, ByteOrder order, std::vector<std::string> options = {})
        : cases(datafile::lob_database(block_size, order))
    {
        datafile::write_database(datafile::build_database(cases.database), dir.root());
        out = dir.path("out");
        options.insert(options.end(), {"--unload", out, "--dictionary", dir.path("system01.dbf"), "--table", "HR.LOBS",
                                       dir.path("users01.dbf")});
        run = run_trevanix(options);
    }
};

// Each case once: 8K blocks little-endian, 16K big-endian.
class LobSegments : public ::testing::TestWithParam<std::pair<std::uint32_t, ByteOrder>> {};

TEST_P(LobSegments, EveryValueIsUnloadedByteForByteAndWhatIsMissingCounted)
{
    const UnloadedLobs u(GetParam().first, GetParam().second);
    EXPECT_EQ(u.run.status, 4) << u.run.errors;  // an incomplete LOB, and two not decoded
    const std::vector<CsvRecord> csv = read_csv(u.out + "/HR.LOBS.csv");
    ASSERT_EQ(csv.size(), 5u);
    const CsvRecord& header = csv[0];
    std::map<std::string, std::size_t> field;
    for (std::size_t i = 0; i < header.size(); ++i) field[header[i]] = i;
    for (const datafile::LobExpected& e : u.cases.expected) {
        const CsvRecord& record = csv.at(static_cast<std::size_t>(e.id));
        ASSERT_EQ(record[field["ID"]], std::to_string(e.id));
        const std::string& value = record.at(field.at(e.column));
        const std::string what = std::to_string(e.id) + " " + e.column;
        if (e.kind == "text") {
            EXPECT_TRUE(value == e.value) << what << ": " << value.size() << " bytes, not " << e.value.size();
        } else if (e.kind == "bytes") {
            EXPECT_EQ(value, hex_of(e.value)) << what;
        } else if (e.kind == "null") {
            EXPECT_EQ(value, "") << what;
        }
    }
    // Not decoded: the locator of a LOB none of whose pages is there, and
    // a compressed SecureFile; each said in the undecoded file.
    const std::string undecoded = read_file(u.out + "/HR.LOBS.undecoded.csv");
    EXPECT_NE(undecoded.find(",PIC,4,"), std::string::npos) << undecoded;
    EXPECT_NE(undecoded.find("none of its pages was found"), std::string::npos) << undecoded;
    EXPECT_NE(undecoded.find("a SecureFile LOB stored compressed"), std::string::npos) << undecoded;
    EXPECT_NE(undecoded.find(",SFDOC,7,"), std::string::npos) << undecoded;
    EXPECT_NE(undecoded.find("a SecureFile LOB stored apart whose extent list or blocks are not of the layout read"),
              std::string::npos)
        << undecoded;

    const Json summary = parse_json(read_file(u.out + "/summary.json"));
    // The SecureFiles' blocks, of no data layer, are known by their LOB
    // segment: none is taken for a block of an encrypted tablespace.
    EXPECT_EQ(summary["blocks_encrypted"].text, "0");
    const Json& table = summary["tables"].items.at(0);
    EXPECT_EQ(table["not_decoded"].text, "3");
    EXPECT_EQ(table["lobs_read"].text, "15");
    EXPECT_EQ(table["lobs_incomplete"].text, "3");
    const Json& incomplete = table["incomplete_lobs"];
    ASSERT_EQ(incomplete.items.size(), 3u);
    EXPECT_EQ(incomplete.items[0]["column"].text, "DOC");
    EXPECT_EQ(incomplete.items[0]["pages_found"].text, "4");
    EXPECT_EQ(incomplete.items[0]["pages_expected"].text, "5");
    EXPECT_EQ(incomplete.items[0]["rowid"].text, csv[3][field["ROWID"]]);
    EXPECT_EQ(incomplete.items[1]["column"].text, "PIC");
    EXPECT_EQ(incomplete.items[1]["pages_found"].text, "0");
    // A SecureFile's blocks count as its pages.
    EXPECT_EQ(incomplete.items[2]["column"].text, "SFDOC");
    EXPECT_EQ(incomplete.items[2]["pages_found"].text, "3");
    EXPECT_EQ(incomplete.items[2]["pages_expected"].text, "4");
    // The summary table's LOB columns: read, incomplete.
    EXPECT_NE(u.run.errors.find("LOBs"), std::string::npos) << u.run.errors;
    EXPECT_NE(u.run.errors.find("  15           3  "), std::string::npos) << u.run.errors;
    // psql's end line in a CLOB's text: loaded from a binary copy.
    EXPECT_TRUE(std::filesystem::exists(u.out + "/HR.LOBS.pgcopy"));

    expect_loaded_into_sqlite(u.dir, u.out, u.cases.expected);

    // The control file declares room for them.
    const std::string ctl = read_file(u.out + "/HR.LOBS.ctl");
    EXPECT_NE(ctl.find("\"PIC\" CHAR(1048576)"), std::string::npos) << ctl;
    EXPECT_NE(ctl.find("\"DOC\" CHAR(1048576)"), std::string::npos) << ctl;
}

// With --lob-files each value read is a file of its own, named by its
// row's place and its column, whose path is the CSV field; NULL and empty
// LOBs empty fields, those not decoded their locators as before.
TEST_P(LobSegments, WithLobFilesEachValueIsAFileOfItsOwnByteForByte)
{
    const UnloadedLobs u(GetParam().first, GetParam().second, {"--lob-files"});
    EXPECT_EQ(u.run.status, 4) << u.run.errors;
    const std::vector<CsvRecord> csv = read_csv(u.out + "/HR.LOBS.csv");
    ASSERT_EQ(csv.size(), 5u);
    std::map<std::string, std::size_t> field;
    for (std::size_t i = 0; i < csv[0].size(); ++i) field[csv[0][i]] = i;
    std::set<std::string> paths;
    for (const datafile::LobExpected& e : u.cases.expected) {
        const std::string& value = csv.at(static_cast<std::size_t>(e.id)).at(field.at(e.column));
        const std::string what = std::to_string(e.id) + " " + e.column;
        if (e.kind == "text" || e.kind == "bytes") {
            const std::string prefix = "lobs/HR.LOBS/";
            ASSERT_EQ(value.rfind(prefix, 0), 0u) << what << ": " << value;
            EXPECT_TRUE(unload::is_lob_file_name(value.substr(prefix.size()))) << value;
            EXPECT_TRUE(value.ends_with(e.kind == "text" ? ".txt" : ".bin")) << value;
            EXPECT_TRUE(read_file(u.out + "/" + value) == e.value) << what << ": its file differs";
            paths.insert(value);
        } else if (e.kind == "null") {
            EXPECT_EQ(value, "") << what;
        } else {
            EXPECT_NE(value, "") << what;
            EXPECT_EQ(value.find('/'), std::string::npos) << what << ": " << value;
        }
    }
    // Every file is a value's, and none is left under its temporary name.
    std::set<std::string> files;
    for (const std::string& file : tree_files(u.out))
        if (file.rfind("lobs/", 0) == 0) files.insert(file);
    EXPECT_EQ(files, paths);
    // Counted as without: the pages of an incomplete value are those found.
    const Json table = parse_json(read_file(u.out + "/summary.json"))["tables"].items.at(0);
    EXPECT_EQ(table["not_decoded"].text, "3");
    EXPECT_EQ(table["lobs_read"].text, "15");
    EXPECT_EQ(table["lobs_incomplete"].text, "3");
    // psql's end line is in a file now, not in the CSV.
    EXPECT_FALSE(std::filesystem::exists(u.out + "/HR.LOBS.pgcopy"));

    expect_loaded_into_sqlite(u.dir, u.out, u.cases.expected);
    const std::string ctl = read_file(u.out + "/HR.LOBS.ctl");
    EXPECT_NE(ctl.find("  \"LOBFILE_2\" FILLER CHAR(4096),\n  \"DOC\" LOBFILE(\"LOBFILE_2\" CHARACTERSET AL32UTF8) "
                       "TERMINATED BY EOF,\n"),
              std::string::npos)
        << ctl;
    EXPECT_NE(ctl.find("  \"PIC\" LOBFILE(\"LOBFILE_4\") TERMINATED BY EOF,\n"), std::string::npos) << ctl;

    // --force takes back the LOB files of the unload before.
    const RunResult again = run_trevanix({"--unload", u.out, "--force", "--quiet", "--dictionary",
                                          u.dir.path("system01.dbf"), "--table", "HR.LOBS", u.dir.path("users01.dbf")});
    EXPECT_EQ(again.status, 4) << again.errors;
    EXPECT_FALSE(std::filesystem::exists(u.out + "/lobs"));
    EXPECT_NE(read_file(u.out + "/HR.LOBS.csv"), "");
}

// Names an attacker chose name no path of their own: the table's
// directory is its file stem, each file is named by numbers, and the
// loaders load every value and run nothing the names carry.
TEST(LobFiles, HostileNamesGiveSafePathsAndRunNothing)
{
    ScratchDir dir;
    datafile::LobCases cases = datafile::lob_database();
    datafile::give_hostile_names(cases);
    datafile::write_database(datafile::build_database(cases.database), dir.root());
    const std::string out = dir.path("out");
    const RunResult r = run_trevanix({"--unload", out, "--quiet", "--lob-files", "--dictionary",
                                      dir.path("system01.dbf"), dir.path("users01.dbf")});
    EXPECT_EQ(r.status, 4) << r.errors;
    const Json table = parse_json(read_file(out + "/summary.json"))["tables"].items.at(0);
    const std::string rows = table["files"]["rows"].text;
    ASSERT_TRUE(rows.ends_with(".csv")) << rows;
    const std::string stem = rows.substr(0, rows.size() - 4);
    EXPECT_EQ(stem.find('/'), std::string::npos) << stem;
    EXPECT_EQ(directory_entries(out + "/lobs"), std::set<std::string>{stem});
    std::size_t files = 0;
    for (const std::string& name : directory_entries(out + "/lobs/" + stem)) {
        EXPECT_TRUE(unload::is_lob_file_name(name)) << name;
        ++files;
    }
    EXPECT_EQ(files, 14u);
    // Loaded from a directory that is no other's parent: MARKER would be made here.
    const std::string sqlite_table = table["sqlite"]["rows"].text;
    std::map<std::string, std::string> loaded;
    const std::vector<CsvRecord> csv = read_csv(out + "/" + rows);
    for (const std::string& name : csv.at(0)) {
        if (name.rfind("D'O", 0) == 0) loaded["DOC"] = name;
        if (name.rfind("../P", 0) == 0) loaded["PIC"] = name;
    }
    ASSERT_EQ(loaded.size(), 2u) << "the hostile columns' headers";
    expect_loaded_into_sqlite(dir, out, cases.expected, sqlite_table, loaded);
    EXPECT_FALSE(std::filesystem::exists(out + "/MARKER"));
    EXPECT_FALSE(std::filesystem::exists(dir.path("MARKER")));
    EXPECT_FALSE(std::filesystem::exists(dir.path("out/lobs/MARKER")));
}

INSTANTIATE_TEST_SUITE_P(BlockSizesAndByteOrders, LobSegments,
                         ::testing::Values(std::pair{8192u, ByteOrder::Little}, std::pair{16384u, ByteOrder::Big}));

// Where no dictionary names a LOB column's segment, or its segment header
// is damaged, the later pages of its values are found by their LobId in
// every block of the files given: for a schema file, for LOB$ rows that
// leave the segments to LOBFRAG$ (a partitioned table's), and for segment
// headers zeroed. Every value comes back as with the segments read; only
// the pages truly missing are counted.
TEST(LobSegments, WhereNoSegmentCanBeReadThePagesAreFoundByLobIdInEveryFile)
{
    enum class Case { SchemaFile, SegmentsByPartition, HeadersZeroed, IndexLeavesZeroed, NoIndexRows, IndexHeadersZeroed };
    for (const Case c : {Case::SchemaFile, Case::SegmentsByPartition, Case::HeadersZeroed, Case::IndexLeavesZeroed,
                         Case::NoIndexRows, Case::IndexHeadersZeroed}) {
        SCOPED_TRACE(static_cast<int>(c));
        ScratchDir dir;
        datafile::LobCases cases = datafile::lob_database();
        for (datafile::LobDef& lob : cases.database.tables.back().lobs) {
            lob.segment_by_partition = c == Case::SegmentsByPartition;
            if (c == Case::IndexLeavesZeroed) lob.index = datafile::LobIndexState::LeafZeroed;
            if (c == Case::NoIndexRows) lob.index = datafile::LobIndexState::NoIndexRow;
        }
        const datafile::BuiltDatabase built = datafile::build_database(cases.database);
        datafile::write_database(built, dir.root());
        const std::string users = dir.path("users01.dbf");
        if (c == Case::HeadersZeroed || c == Case::IndexHeadersZeroed) {
            std::string bytes = read_file(users);
            for (const datafile::LobDef& lob : cases.database.tables.back().lobs) {
                // The LOB segment's header, or its index's (the next object).
                const std::uint32_t object = lob.lob_object + (c == Case::IndexHeadersZeroed ? 1 : 0);
                const auto segment = std::find_if(built.segments.begin(), built.segments.end(),
                                                  [&](const auto& s) { return s.data_object == object; });
                ASSERT_NE(segment, built.segments.end());
                bytes.replace(std::size_t{segment->header.block} * 8192, 8192, 8192, '\0');
            }
            dir.write("users01.dbf", bytes);
        }
        const std::string out = dir.path("out");
        std::vector<std::string> args{"--unload", out, "--quiet", "--table", "HR.LOBS"};
        if (c == Case::SchemaFile) {
            args.insert(args.end(), {"--schema", dir.write("schema.sql", schema::write_schema_file(
                                                                             datafile::schema_of(cases.database, &built)))});
        } else {
            args.insert(args.end(), {"--dictionary", dir.path("system01.dbf")});
        }
        args.push_back(users);
        const RunResult r = run_trevanix(args);
        EXPECT_EQ(r.status, 4) << r.errors;
        EXPECT_EQ(r.errors.find("looked for in every block") != std::string::npos, c == Case::HeadersZeroed)
            << r.errors;
        // An index lost: a line for each LOB column's.
        const std::string lost = c == Case::IndexLeavesZeroed    ? "holds no leaf block that can be read"
                                 : c == Case::NoIndexRows        ? "has no segment IND$ names"
                                                                 : "), whose segment header is file 4 block";
        const bool index_lost = c == Case::IndexLeavesZeroed || c == Case::NoIndexRows || c == Case::IndexHeadersZeroed;
        EXPECT_EQ(count_of(r.errors, lost), index_lost ? 7u : 0u) << r.errors;
        EXPECT_EQ(r.errors.find("LOB index") != std::string::npos, index_lost) << r.errors;
        const Json table = parse_json(read_file(out + "/summary.json"))["tables"].items.at(0);
        EXPECT_EQ(table["lobs_incomplete"].text, "3");
        const std::vector<CsvRecord> csv = read_csv(out + "/HR.LOBS.csv");
        ASSERT_EQ(csv.size(), 5u);
        std::map<std::string, std::size_t> field;
        for (std::size_t i = 0; i < csv[0].size(); ++i) field[csv[0][i]] = i;
        for (const datafile::LobExpected& e : cases.expected) {
            // LDOC's byte order and SDOC's compression are LOB$'s to tell.
            if (e.column == "LDOC" || e.column == "SDOC" || (e.kind != "text" && e.kind != "bytes")) continue;
            const std::string& value = csv.at(static_cast<std::size_t>(e.id)).at(field.at(e.column));
            EXPECT_TRUE(value == (e.kind == "text" ? e.value : hex_of(e.value)))
                << e.id << " " << e.column << ": " << value.size() << " bytes";
        }
    }
}

// A partitioned table's CLOB values, each partition's in its own LOB
// segment: their pages past the locators' lists are found in the segments
// LOBFRAG$ names, or, its rows missing, by their LobIds in every file.
class PartitionedLobs : public ::testing::TestWithParam<std::pair<std::uint32_t, ByteOrder>> {};

TEST_P(PartitionedLobs, EveryValueComesBackByteForByteWithOrWithoutLobFragRows)
{
    for (const bool listed : {true, false}) {
        SCOPED_TRACE(listed);
        ScratchDir dir;
        const datafile::LobCases cases = datafile::partitioned_lob_database(GetParam().first, GetParam().second, listed);
        datafile::write_database(datafile::build_database(cases.database), dir.root());
        const std::string out = dir.path("out");
        const RunResult r = run_trevanix({"--unload", out, "--quiet", "--dictionary", dir.path("system01.dbf"),
                                          "--table", "HR.PLOBS", dir.path("users01.dbf")});
        EXPECT_EQ(r.status, 0) << r.errors;
        EXPECT_EQ(r.errors, "");
        const std::vector<CsvRecord> csv = read_csv(out + "/HR.PLOBS.csv");
        ASSERT_EQ(csv.size(), 5u);
        std::map<std::string, std::size_t> field;
        for (std::size_t i = 0; i < csv[0].size(); ++i) field[csv[0][i]] = i;
        ASSERT_EQ(field.count("DOC"), 1u);
        std::map<std::string, std::string> read;
        for (std::size_t i = 1; i < csv.size(); ++i) read[csv[i].at(field.at("ID"))] = csv[i].at(field.at("DOC"));
        for (const datafile::LobExpected& e : cases.expected) {
            const std::string& value = read[std::to_string(e.id)];
            EXPECT_TRUE(value == e.value) << e.id << ": " << value.size() << " of " << e.value.size() << " bytes";
        }
        EXPECT_EQ(parse_json(read_file(out + "/summary.json"))["tables"].items.at(0)["lobs_incomplete"].text, "0");
    }
}

INSTANTIATE_TEST_SUITE_P(BlockSizesAndByteOrders, PartitionedLobs,
                         ::testing::Values(std::pair{8192u, ByteOrder::Little}, std::pair{16384u, ByteOrder::Big}));

// Of two blocks of one page, the one the LOB index names is read, though
// the other is of a later SCN; with the index lost the later is, and the
// run says the index could not be read.
TEST(LobSegments, TheIndexTellsWhichBlockHoldsAPage)
{
    for (const bool index_lost : {false, true}) {
        SCOPED_TRACE(index_lost);
        ScratchDir dir;
        datafile::LobCases cases = datafile::lob_database();
        datafile::LobDef& pic = cases.database.tables.back().lobs.at(2);
        ASSERT_EQ(pic.column, "PIC");
        datafile::LobValueDef& value = pic.values.at(1);  // row 2's: 20 pages
        value.stray_copies = {17};
        if (index_lost) pic.index = datafile::LobIndexState::LeafZeroed;
        datafile::write_database(datafile::build_database(cases.database), dir.root());
        const std::string out = dir.path("out");
        const RunResult r = run_trevanix({"--unload", out, "--quiet", "--dictionary", dir.path("system01.dbf"),
                                          "--table", "HR.LOBS", dir.path("users01.dbf")});
        EXPECT_EQ(r.status, 4) << r.errors;
        EXPECT_EQ(r.errors.find("holds no leaf block that can be read") != std::string::npos, index_lost) << r.errors;
        const std::vector<CsvRecord> csv = read_csv(out + "/HR.LOBS.csv");
        ASSERT_EQ(csv.size(), 5u);
        std::size_t column = 0;
        while (column < csv[0].size() && csv[0][column] != "PIC") ++column;
        ASSERT_LT(column, csv[0].size());
        const std::string written(value.data.begin(), value.data.end());
        std::string stray = written;
        const std::size_t page = datafile::lob_page_size(8192);
        stray.replace(17 * page, page, page, '?');
        EXPECT_EQ(csv[2].at(column), hex_of(index_lost ? stray : written));
        // Every page is there either way.
        EXPECT_EQ(parse_json(read_file(out + "/summary.json"))["tables"].items.at(0)["lobs_incomplete"].text, "3");
    }
}

// ---------------------------------------------------------------------------
// The pieces: text converted a page at a time, LOB data blocks, LOB$.

// The text converted from `bytes` cut into two pieces at `cut`; "!" when
// it is no text of its form.
std::string converted(const Bytes& bytes, std::size_t cut, const Charset* charset, bool little)
{
    LobTextDecoder decoder(charset, little);
    std::string out(LobTextDecoder::kRoomPerByte * bytes.size() + 2 * LobTextDecoder::kRoomExtra, '\0');
    char* end = out.data();
    for (const ByteView piece : {ByteView(bytes.data(), cut), ByteView(bytes.data() + cut, bytes.size() - cut)}) {
        end = decoder.convert(piece, end);
        if (end == nullptr) return "!";
    }
    return decoder.whole() ? std::string(out.data(), end) : "!";
}

TEST(LobText, TextIsTheSameWhereverThePagesCutIt)
{
    const std::string text = "a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80z\xF0\x90\x8D\x88";
    const Bytes big = datafile::nchar_value(text);
    Bytes little = big;
    for (std::size_t i = 0; i + 1 < little.size(); i += 2) std::swap(little[i], little[i + 1]);
    for (std::size_t cut = 0; cut <= big.size(); ++cut) {
        EXPECT_EQ(converted(big, cut, nullptr, false), text) << cut;
        EXPECT_EQ(converted(little, cut, nullptr, true), text) << cut;
    }
    // A half of a pair alone, the other half first, an odd byte at the end.
    EXPECT_EQ(converted(Bytes{0xD8, 0x3D, 0x00, 0x41}, 2, nullptr, false), "!");
    EXPECT_EQ(converted(Bytes{0xDE, 0x00, 0xD8, 0x3D}, 2, nullptr, false), "!");
    EXPECT_EQ(converted(Bytes{0xD8, 0x3D}, 1, nullptr, false), "!");
    EXPECT_EQ(converted(Bytes{0x00, 0x41, 0x00}, 3, nullptr, false), "!");
    std::string message;
    const std::shared_ptr<const Charset> latin = make_charset("WE8MSWIN1252", message);
    ASSERT_NE(latin, nullptr) << message;
    EXPECT_EQ(converted(Bytes{'G', 'r', 0xFC, 0xDF, 0x80}, 2, latin.get(), false), "Gr\xC3\xBC\xC3\x9F\xE2\x82\xAC");
}

TEST(LobPage, ALobDataBlockIsReadInItsByteOrderAndOtherBlocksAreNot)
{
    const datafile::LobId id = datafile::lob_id(9);
    for (const ByteOrder order : {ByteOrder::Little, ByteOrder::Big}) {
        const Bytes data{1, 2, 3};
        const Bytes block = datafile::lob_data_block(id, 87501, 13, data, 4, 77, 8192, order);
        const std::optional<LobPage> page = read_lob_page({ByteView(block.data(), block.size()), order});
        ASSERT_TRUE(page);
        EXPECT_EQ(page->lob_id, id);
        EXPECT_EQ(page->data_object, 87501u);
        EXPECT_EQ(page->page, 13u);
        EXPECT_EQ(page->data.size(), 8132u);
        EXPECT_EQ(page->data.u8(2), 3);
        // A table's data block, a block too small for a page.
        Bytes other = block;
        other[0] = 0x06;
        EXPECT_FALSE(read_lob_page({ByteView(other.data(), other.size()), order}));
        EXPECT_FALSE(read_lob_page({ByteView(block.data(), 60), order}));
    }
    // The length a locator gives: whole pages before the last, and the
    // last page's bytes, which must fit a page.
    LobLocator locator;
    locator.pages_before_last = 2;
    locator.last_page_bytes = 10;
    EXPECT_EQ(lob_length(locator, 8132), std::optional<std::uint64_t>(2 * 8132 + 10));
    locator.last_page_bytes = 0;
    EXPECT_FALSE(lob_length(locator, 8132));
    locator.last_page_bytes = 8133;
    EXPECT_FALSE(lob_length(locator, 8132));
}

// A LOB index leaf gives each entry whose key is of the exact form, in
// either byte order, and nothing from a block that is no leaf of the
// index; bytes an attacker wrote never lead a read outside the block.
TEST(LobIndexLeaf, EntriesWithTheExactKeyAreReadAndHostileBytesGiveNoMore)
{
    const std::vector<datafile::LobIndexEntryDef> written{
        {datafile::lob_id(7), 12, {0x01000100, 0x01000101, 0x01000102}},
        {datafile::lob_id(7), 20, {0x01000108, 0, 0x0100010A, 1, 2, 3, 4, 5}},
        {datafile::lob_id(8), 12, {0x01000200}}};
    for (const ByteOrder order : {ByteOrder::Little, ByteOrder::Big}) {
        SCOPED_TRACE(static_cast<int>(order));
        const Bytes leaf = datafile::lob_index_leaf(written, 87502, 4, 99, 0, 0, 8192, order);
        const auto read = [&](const Bytes& b, std::uint32_t object = 87502) {
            return read_lob_index_leaf({ByteView(b.data(), b.size()), order}, object);
        };
        const std::optional<std::vector<LobIndexEntry>> entries = read(leaf);
        ASSERT_TRUE(entries);
        ASSERT_EQ(entries->size(), written.size());
        for (std::size_t i = 0; i < written.size(); ++i) {
            EXPECT_EQ((*entries)[i].lob_id, written[i].id);
            EXPECT_EQ((*entries)[i].first_page, written[i].first_page);
            for (std::size_t k = 0; k < kLobIndexAddresses; ++k)
                EXPECT_EQ((*entries)[i].addresses[k], k < written[i].addresses.size() ? written[i].addresses[k] : 0u);
        }
        // Chunks of two: the second address's pages follow the first's.
        EXPECT_EQ(lob_index_page((*entries)[0], 1, 2, 1), 15u);
        // Any data object, another's, a table's block, a branch block.
        EXPECT_TRUE(read(leaf, 0));
        EXPECT_FALSE(read(leaf, 87504));
        Bytes other = leaf;
        other[20] = 1;
        EXPECT_FALSE(read(other));
        other = leaf;
        other[44 + 48] = 1;
        EXPECT_FALSE(read(other));
        // An entry whose key lengths are not 10 and 4 is left out.
        const std::size_t first = 8192 - 4 - 52;  // the first entry's place
        other = leaf;
        other[first + 36] = 9;
        EXPECT_EQ(read(other)->size(), 2u);
        other = leaf;
        other[first + 47] = 5;
        EXPECT_EQ(read(other)->size(), 2u);
        // An offset past the block's end, or one whose entry would run into the tail.
        other = leaf;
        const std::size_t offsets = 44 + 48 + 32;
        other[offsets] = other[offsets + 1] = 0xFF;
        EXPECT_EQ(read(other)->size(), 2u);
        // A count no block has room for, and the entries a leaf holds.
        other = leaf;
        other[44 + 48 + 8] = other[44 + 48 + 9] = 0xFF;
        EXPECT_FALSE(read(other));
        // Cut short.
        EXPECT_FALSE(read_lob_index_leaf({ByteView(leaf.data(), 100), order}, 87502));
        // Noise over the entries' area: whatever comes out lies in the block.
        other = leaf;
        unsigned n = 12345;
        for (std::size_t i = 44 + 48 + 8; i < other.size(); ++i) {
            n = n * 1103515245u + 12345u;
            other[i] = static_cast<std::uint8_t>(n >> 16);
        }
        const auto noisy = read(other);
        if (noisy) {
            EXPECT_LE(noisy->size(), 8192u / 2);
        }
    }
}

// Past the pages it keeps in memory the map goes on in a file of the
// unload directory: the same pages of every LobId, whichever way it holds
// them, and none of a LobId no block carries.
TEST(LobPageMap, PastItsMemoryItGoesOnInAFileAndGivesTheSamePages)
{
    ScratchDir dir;
    const datafile::LobCases cases = datafile::lob_database();
    const datafile::BuiltDatabase built = datafile::build_database(cases.database);
    DataFileSet files;
    std::unique_ptr<DataFile> users = DataFile::from_bytes(datafile::build_file(built.users), "users01.dbf");
    users->set_geometry({built.users.block_size, built.users.byte_order});
    users->relative_file();
    DataFile& file = *users;
    files.add(std::move(users));
    // No LOB$: the pages are looked for in every block of the file.
    unload::UnloadPlan plan("");
    plan.add_schema(datafile::schema_of(cases.database, &built), unload::TableSelection(), false);

    unload::LobPageMap in_memory;
    unload::LobPageMap spilled(3);
    EXPECT_TRUE(in_memory.scan_segments(files, plan, dir.root()).empty());
    EXPECT_TRUE(spilled.scan_segments(files, plan, dir.root()).empty());
    EXPECT_FALSE(in_memory.spilled());
    EXPECT_TRUE(spilled.spilled());
    EXPECT_GT(in_memory.size(), 3u);
    EXPECT_EQ(spilled.size(), in_memory.size());

    std::set<std::array<std::uint8_t, 10>> ids;
    Block block;
    for (std::int32_t b = 0; file.read(b, block, Access::Random) == ReadStatus::Ok; ++b)
        if (const std::optional<LobPage> page = read_lob_page(block.view)) ids.insert(page->lob_id);
    ASSERT_FALSE(ids.empty());
    const auto pages_of = [](const unload::LobPageMap& map, const std::array<std::uint8_t, 10>& id) {
        std::vector<unload::LobPageMap::Mapped> pages;
        unload::LobPageMap::Cursor cursor = map.pages_of(id);
        while (const auto page = cursor.next()) pages.push_back(*page);
        return pages;
    };
    std::size_t listed = 0;
    for (const auto& id : ids) {
        const std::vector<unload::LobPageMap::Mapped> expected = pages_of(in_memory, id);
        const std::vector<unload::LobPageMap::Mapped> got = pages_of(spilled, id);
        ASSERT_EQ(got.size(), expected.size());
        listed += got.size();
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].lob_id, id);
            EXPECT_EQ(got[i].page, expected[i].page);
            EXPECT_EQ(got[i].block, expected[i].block);
            EXPECT_EQ(got[i].scn, expected[i].scn);
            EXPECT_EQ(got[i].source, expected[i].source);
            if (i > 0) {
                EXPECT_LT(got[i - 1].page, got[i].page);
            }
        }
    }
    EXPECT_EQ(listed, in_memory.size());
    EXPECT_TRUE(pages_of(spilled, datafile::lob_id(0xEEEE)).empty());
    EXPECT_TRUE(pages_of(in_memory, datafile::lob_id(0xEEEE)).empty());
}

// A built database's files, read, and the dictionary their SYSTEM file holds.
struct LoadedDictionary {
    DataFileSet files;
    dictionary::Dictionary read;
    dictionary::LoadNotes notes;
    std::string error;
    bool loaded = false;

    explicit LoadedDictionary(const datafile::BuiltDatabase& built)
    {
        DataFile* system = nullptr;
        for (const datafile::File* f : {&built.system, &built.users}) {
            std::unique_ptr<DataFile> file = DataFile::from_bytes(datafile::build_file(*f));
            file->set_geometry({f->block_size, f->byte_order});
            if (system == nullptr) system = file.get();
            files.add(std::move(file));
        }
        loaded = dictionary::load_dictionary(files, *system, read, notes, error);
    }
};

// With the dictionary the map holds the pages the LOB indexes name, marked,
// and of two copies of a page keeps the indexed one though the other is
// later, in memory and in its file alike.
TEST(LobPageMap, ThePageTheIndexNamesIsKeptInMemoryAndInTheFile)
{
    ScratchDir dir;
    datafile::LobCases cases = datafile::lob_database();
    datafile::LobValueDef& pic = cases.database.tables.back().lobs.at(2).values.at(1);  // row 2's PIC: 20 pages
    pic.stray_copies = {17};
    const datafile::BuiltDatabase built = datafile::build_database(cases.database);
    LoadedDictionary db(built);
    ASSERT_TRUE(db.loaded) << db.error;
    unload::UnloadPlan plan("");
    plan.add_schema(db.read.schema, unload::TableSelection(), false);
    unload::LobPageMap in_memory;
    unload::LobPageMap spilled(3);
    EXPECT_TRUE(in_memory.scan_segments(db.files, plan, dir.root()).empty());
    EXPECT_TRUE(spilled.scan_segments(db.files, plan, dir.root()).empty());
    ASSERT_TRUE(spilled.spilled());
    for (const unload::LobPageMap* map : {&in_memory, &spilled}) {
        std::size_t indexed = 0;
        unload::LobPageMap::Cursor cursor = map->pages_of(pic.id);
        while (const auto page = cursor.next()) {
            EXPECT_EQ(page->indexed, 1) << page->page;  // its index names every page past the list
            EXPECT_EQ(page->scn, 0x2000u) << page->page;  // not the stray copy's 0x3000
            ++indexed;
        }
        EXPECT_EQ(indexed, 8u);
    }
}

TEST(LobDictionary, EachLobColumnGetsItsSegmentAndStorageFromLobTable)
{
    const datafile::LobCases cases = datafile::lob_database(16384, ByteOrder::Big);
    const datafile::BuiltDatabase built = datafile::build_database(cases.database);
    LoadedDictionary db(built);
    ASSERT_TRUE(db.loaded) << db.error;
    EXPECT_TRUE(db.notes.warnings.empty()) << db.notes.warnings.front();
    const auto table = std::find_if(db.read.schema.tables.begin(), db.read.schema.tables.end(),
                                    [](const schema::Table& t) { return t.name == "LOBS"; });
    ASSERT_NE(table, db.read.schema.tables.end());
    const datafile::TableDef& written = cases.database.tables.front();
    for (const datafile::LobDef& lob : written.lobs) {
        const auto column = std::find_if(table->columns.begin(), table->columns.end(),
                                         [&](const schema::Column& c) { return c.name == lob.column; });
        ASSERT_NE(column, table->columns.end());
        const auto segment = std::find_if(built.segments.begin(), built.segments.end(),
                                          [&](const datafile::SegmentTruth& s) { return s.data_object == lob.lob_object; });
        ASSERT_NE(segment, built.segments.end());
        schema::LobStorage expected{lob.lob_object, lob.lob_object, segment->header.file, segment->header.block,
                                    lob.chunk,      lob.flags,      lob.property};
        // IND# in LOB$; the index's segment from IND$.
        expected.index_object = lob.lob_object + 1;
        const auto index = std::find_if(built.segments.begin(), built.segments.end(),
                                        [&](const auto& s) { return s.data_object == expected.index_object; });
        ASSERT_NE(index, built.segments.end());
        expected.index_data_object = expected.index_object;
        expected.index_file = index->header.file;
        expected.index_block = index->header.block;
        EXPECT_EQ(column->lob, std::optional(expected)) << lob.column;
    }
    EXPECT_FALSE(table->columns.front().lob);  // ID
}

// A partitioned table's LOB column: LOB$ names no segment and marks it
// partitioned; its segments are the partitions' LOBFRAG$ names, in its
// rows' order, their data objects their OBJ$ rows'. Without those rows it
// has none, and nothing is said (the unload looks in every file).
TEST(LobDictionary, APartitionedLobColumnGetsItsPartitionsSegmentsFromLobFrag)
{
    for (const bool listed : {true, false}) {
        SCOPED_TRACE(listed);
        const datafile::LobCases cases = datafile::partitioned_lob_database(8192, ByteOrder::Little, listed);
        const datafile::BuiltDatabase built = datafile::build_database(cases.database);
        LoadedDictionary db(built);
        ASSERT_TRUE(db.loaded) << db.error;
        EXPECT_TRUE(db.notes.warnings.empty()) << db.notes.warnings.front();
        const auto table = std::find_if(db.read.schema.tables.begin(), db.read.schema.tables.end(),
                                        [](const schema::Table& t) { return t.name == "PLOBS"; });
        ASSERT_NE(table, db.read.schema.tables.end());
        const datafile::LobDef& lob = cases.database.tables.front().lobs.at(0);
        ASSERT_EQ(table->columns.size(), 2u);
        const std::optional<schema::LobStorage>& read = table->columns[1].lob;
        ASSERT_TRUE(read);
        schema::LobStorage expected{lob.lob_object, lob.lob_object, 0, 0, lob.chunk, lob.flags,
                                    lob.property | schema::lob_bits::kPartitioned};
        expected.index_object = expected.index_data_object = lob.lob_object + 1;
        if (listed) {
            ASSERT_EQ(lob.fragment_objects.size(), 2u);
            for (const std::uint32_t fragment : lob.fragment_objects) {
                const auto segment = std::find_if(built.segments.begin(), built.segments.end(),
                                                  [&](const auto& s) { return s.data_object == fragment; });
                ASSERT_NE(segment, built.segments.end());
                expected.fragments.push_back({fragment, segment->header.file, segment->header.block});
            }
        }
        EXPECT_EQ(read, std::optional(expected));
        EXPECT_EQ(read->fragments.size(), listed ? 2u : 0u);
        // A page of a fragment's data object is the LOB's; one of another object is not.
        if (listed) {
            EXPECT_TRUE(read->holds_data_object(lob.fragment_objects[1]));
            EXPECT_FALSE(read->holds_data_object(lob.lob_object + 1));
        }
    }
}

}  // namespace
