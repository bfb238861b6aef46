// --unload, --schema, --infer and --ddl on the builder's database: every
// table's rows, value by value against what was written, with a schema
// file written from the truth and by inference alone; the summary's counts;
// --table; the directory's protection; errors that name their line; a
// damaged block; whole rows of every shape with an orphan among them; and
// a run that fails leaving no file that looks complete.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "format/dictionary_format.h"
#include "format/rowid.h"
#include "file_structures.h"
#include "release_shapes.h"
#include "row_layout.h"
#include "schema/ddl_parser.h"
#include "schema/ddl_writer.h"
#include "schema/oracle_types.h"
#include "schema_truth.h"
#include "system_file.h"
#include "test_support.h"
#include "unload_truth.h"
#include "unload/load_values.h"
#include "values/charsets.h"
#include "values/text_writers.h"

namespace {

using datafile::ColumnDef;
using datafile::RowTruth;
using datafile::TableDef;
using datafile::Value;

using Record = CsvRecord;



TEST(Unload, EveryTableValueByValueWithASchemaWrittenFromTheTruth)
{
    WrittenDatabase db;
    const std::string out = db.dir.path("out");
    const RunResult r = run_trevanix({"--unload", out, "--schema", db.schema_file, db.system, db.users});
    ASSERT_EQ(r.status, kIncomplete) << r.errors;
    EXPECT_EQ(r.output, "");
    for (const TableDef& table : db.database.tables) {
        SCOPED_TRACE(table.owner + "." + table.name);
        const std::string base = out + "/" + table.owner + "." + table.name;
        for (auto& [suffix, expected] : expected_records(db.built, table)) {
            std::vector<Record> records = read_csv(base + suffix);
            ASSERT_FALSE(records.empty());
            records.erase(records.begin());  // the header
            std::sort(records.begin(), records.end());
            std::sort(expected.begin(), expected.end());
            EXPECT_EQ(records, expected) << suffix;
        }
        EXPECT_TRUE(directory_entries(out).count(table.owner + "." + table.name + ".ctl"));
    }
    // The header: COL# order, hidden, unused and virtual columns left out.
    EXPECT_EQ(read_csv(out + "/HR.HIDDEN_COLS.csv")[0], (Record{"ID", "NOTE", "ROWID"}));
    EXPECT_EQ(read_csv(out + "/SCOTT.SALES.csv")[0], (Record{"SALE_ID", "SALE_YEAR", "AMOUNT", "ROWID", "PARTITION"}));
    EXPECT_EQ(read_file(out + "/SCOTT.CUSTOMERS_1252.csv"),
              "ID,NAME,CITY,ROWID\r\n1,Cr\xC3\xA8me br\xC3\xBBl\xC3\xA9" "e,Paris,AAAVR4AAEAAAABTAAA\r\n"
              "2,M\xC3\xBCller,Z\xC3\xBCrich,AAAVR4AAEAAAABTAAB\r\n3,\xE2\x82\xACuro,,AAAVR4AAEAAAABTAAC\r\n");
    const Record all_types = read_csv(out + "/HR.ALL_TYPES.csv")[1];
    EXPECT_EQ(Record(all_types.begin(), all_types.begin() + 19),
              (Record{"1", "Gr\xC3\xBC\xC3\x9F" "e", "Zo\xC3\xAB", "12345.67", "0.125", "1985-07-14 09:30:00", "DEADBEEF",
                      "AAAVQ9AAEAAAAAUAAD", "ABC       ", "ab   ", "1.5", "-2.25", "2020-02-29 23:59:58.123456",
                      "2021-06-01 12:00:00.5 +02:00", "+02:00", "+01-06", "+03 04:05:06.700000000",
                      "AAAVQ9AAEAAAAAUAAD", "2022-01-02 03:04:05"}));
    // The loading scripts, and the summary last.
    for (const char* name : {"sqlite.sql", "postgres.sql", "summary.json"}) EXPECT_TRUE(directory_entries(out).count(name)) << name;
    for (const std::string& name : directory_entries(out)) EXPECT_FALSE(name.ends_with(".part")) << name;
}

// The dictionary read from the SYSTEM file names and types every table as the
// schema file written from the truth does, so the tables' files are the same.
TEST(Unload, TheDictionaryGivesTheSameTablesAsTheSchemaFile)
{
    WrittenDatabase db;
    const std::string by_dictionary = db.dir.path("by-dictionary");
    const std::string by_schema = db.dir.path("by-schema");
    RunResult r = run_trevanix({"--unload", by_dictionary, "--quiet", "--dictionary", db.system, db.users});
    ASSERT_EQ(r.status, kIncomplete) << r.errors;
    r = run_trevanix({"--unload", by_schema, "--quiet", "--schema", db.schema_file, db.users});
    ASSERT_EQ(r.status, kIncomplete) << r.errors;
    std::set<std::string> table_files;
    for (const std::string& name : directory_entries(by_schema))
        if (name.ends_with(".csv") || name.ends_with(".ctl")) table_files.insert(name);
    ASSERT_GT(table_files.size(), db.database.tables.size());
    for (const std::string& name : table_files) {
        SCOPED_TRACE(name);
        EXPECT_EQ(read_file(by_dictionary + "/" + name), read_file(by_schema + "/" + name));
    }
}

TEST(Unload, TheSummarySaysWhatWasFoundAndWhatNoSchemaDescribes)
{
    WrittenDatabase db;
    const std::string out = db.dir.path("out");
    const RunResult r = run_trevanix({"--unload", out, "--schema", db.schema_file, db.users});
    ASSERT_EQ(r.status, kIncomplete) << r.errors;
    const Json summary = parse_json(read_file(out + "/summary.json"));
    std::map<std::string, const Json*> tables;
    for (const Json& t : summary["tables"].items) tables[t["owner"].text + "." + t["table"].text] = &t;
    ASSERT_TRUE(tables.count("SCOTT.NOTES"));
    const Json& notes = *tables["SCOTT.NOTES"];
    EXPECT_EQ(notes["rows"].text, "5");
    EXPECT_EQ(notes["deleted"].text, "1");
    EXPECT_EQ(notes["stale"].text, "1");
    EXPECT_EQ(notes["reassembled"].text, "3");
    EXPECT_EQ(notes["incomplete"].text, "0");
    EXPECT_EQ(notes["blocks"].text, "6");
    EXPECT_EQ(notes["lost_blocks"].text, "0");
    EXPECT_EQ((*tables["SCOTT.EMP"])["rows"].text, "14");
    EXPECT_EQ((*tables["SCOTT.EMP"])["deleted"].text, "1");
    EXPECT_EQ((*tables["SCOTT.SALES"])["rows"].text, "6");
    EXPECT_EQ((*tables["HR.ALL_TYPES"])["not_decoded"].text, "2");  // the two LOB locators
    // The truncated table's older rows: typed by inference.
    EXPECT_EQ((*tables[".OBJ_87150"])["rows"].text, "167");
    ASSERT_EQ(summary["unknown_objects"].items.size(), 1u);
    EXPECT_EQ(summary["unknown_objects"].items[0]["data_object"].text, "87150");
    EXPECT_EQ(summary["unknown_objects"].items[0]["rows"].text, "167");
    EXPECT_EQ(summary["unknown_objects"].items[0]["live_rows"].text, "167");
    EXPECT_EQ(summary["unknown_objects"].items[0]["deleted_rows"].text, "0");
    EXPECT_EQ(summary["blocks_lost"].text, "0");
    EXPECT_TRUE(summary["cut_short_files"].items.empty());
    EXPECT_EQ(summary["blocks_read"].text, std::to_string(read_file(db.users).size() / 8192));
    EXPECT_EQ(summary["blocks_damaged"].text, "0");
    EXPECT_EQ(summary["orphans"].text, "0");
    // HR.ALL_TYPES has LOB columns: the LOB values read, and incomplete.
    EXPECT_NE(r.errors.find("\n                      rows                                                   values       LOBs  "
                            "            blocks\n"
                            "table                 live  deleted  stale  hidden  reassembled  incomplete  not decoded  read  "
                            "incomplete    read  damaged    lost\n"),
              std::string::npos)
        << r.errors;
    EXPECT_NE(r.errors.find("\nSCOTT.NOTES              5        1      1       0            3           0            0     0"
                            "           0       6        0       0\n"),
              std::string::npos)
        << r.errors;
    EXPECT_NE(r.errors.find("data objects no schema entry describes:\n  87150: 3 blocks, 167 live rows, 0 deleted rows, "
                            "0 stale rows\n"),
              std::string::npos);
    // --quiet: not a word.
    const RunResult quiet = run_trevanix({"--unload", db.dir.path("quiet"), "--quiet", "--schema", db.schema_file, db.users});
    EXPECT_EQ(quiet.status, kIncomplete);
    EXPECT_EQ(quiet.errors, "");
}

TEST(Unload, ByInferenceAloneEveryObjectIsATable)
{
    WrittenDatabase db;
    const std::string out = db.dir.path("out");
    const RunResult r = run_trevanix({"--unload", out, db.users});
    ASSERT_EQ(r.status, 0) << r.errors;
    EXPECT_EQ(read_file(out + "/OBJ_87110_T1.csv").substr(0, 57),
              "C1,C2,C3,ROWID\r\n10,ACCOUNTING,NEW YORK,AAAVRGAAEAAAAATAAF");
    EXPECT_EQ(read_csv(out + "/OBJ_87110_T2.csv").size(), 1u + 14u);
    EXPECT_EQ(read_csv(out + "/OBJ_87110_T2.deleted.csv").size(), 1u + 1u);
    EXPECT_EQ(read_csv(out + "/OBJ_87141.csv")[1], (Record{"20191", "2019", "119.25", "AAAVRlAAEAAAAA7AAA"}));
    // Numbers in SQLite are declared without a type (each value keeps the
    // class the load gives it); PostgreSQL's are numeric.
    const std::string sqlite = read_file(out + "/sqlite.sql");
    EXPECT_NE(sqlite.find("CREATE TABLE \"OBJ_87141\" (\"C1\", \"C2\", \"C3\", \"ROWID\" TEXT);"), std::string::npos)
        << sqlite;
    const std::string postgres = read_file(out + "/postgres.sql");
    EXPECT_NE(postgres.find("CREATE TABLE \"public\".\"OBJ_87141\" (\"C1\" numeric, \"C2\" numeric, \"C3\" numeric, "
                            "\"ROWID\" text);"),
              std::string::npos)
        << postgres;
}

TEST(Unload, OnlyTheTablesNamedAndTheirNamesChecked)
{
    WrittenDatabase db;
    const std::string out = db.dir.path("out");
    RunResult r = run_trevanix({"--unload", out, "--schema", db.schema_file, "--table", "scott.emp", "--table", "SALES",
                                "--table", "OBJ_87150", db.users});
    ASSERT_EQ(r.status, 0) << r.errors;
    std::set<std::string> tables;
    for (const std::string& name : directory_entries(out))
        if (name.ends_with(".ctl")) tables.insert(name);
    EXPECT_EQ(tables, (std::set<std::string>{"OBJ_87150.ctl", "SCOTT.EMP.ctl", "SCOTT.SALES.ctl"}));

    r = run_trevanix({"--unload", db.dir.path("other"), "--schema", db.schema_file, "--table", "SCOTT.DEPTT", db.users});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.errors, "trevanix: --table SCOTT.DEPTT: no such table in the schema (did you mean SCOTT.DEPT?)\n");
    EXPECT_TRUE(directory_entries(db.dir.path("other")).empty());
}

TEST(Unload, ADirectoryThatHoldsFilesIsWrittenIntoOnlyWithForce)
{
    WrittenDatabase db;
    const std::string out = db.dir.path("out");
    ASSERT_EQ(run_trevanix({"--unload", out, "--quiet", db.users}).status, 0);
    RunResult r = run_trevanix({"--unload", out, "--quiet", db.users});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.errors.find("is not empty"), std::string::npos) << r.errors;
    r = run_trevanix({"--unload", out, "--quiet", "--force", db.users});
    EXPECT_EQ(r.status, 0) << r.errors;
    EXPECT_TRUE(directory_entries(out).count("summary.json"));
}

TEST(Unload, WithForceNoLinkInTheDirectoryIsWrittenThrough)
{
    WrittenDatabase db;
    const std::string out = db.dir.path("out");
    ASSERT_EQ(::mkdir(out.c_str(), 0755), 0);
    const std::string victim = db.dir.write("victim.txt", std::string("keep me\n"));
    // Links under the temporary names of a table's file, a script and the
    // summary, and under a table file's final name.
    const std::vector<std::string> linked = {"SCOTT.EMP.csv.part", "sqlite.sql.part", "summary.json.part",
                                             "SCOTT.DEPT.csv"};
    for (const std::string& name : linked) ASSERT_EQ(::symlink(victim.c_str(), (out + "/" + name).c_str()), 0);
    const RunResult r = run_trevanix({"--unload", out, "--quiet", "--force", "--schema", db.schema_file, db.users});
    ASSERT_EQ(r.status, kIncomplete) << r.errors;
    EXPECT_EQ(read_file(victim), "keep me\n");
    for (const std::string& name : directory_entries(out)) {
        struct stat info;
        ASSERT_EQ(::lstat((out + "/" + name).c_str(), &info), 0);
        EXPECT_TRUE(S_ISREG(info.st_mode)) << name;
        EXPECT_FALSE(name.ends_with(".part")) << name;
    }
    EXPECT_EQ(read_csv(out + "/SCOTT.EMP.csv").size(), 1u + db.built.rows_of("SCOTT", "EMP").rows.size() - 1u);
    EXPECT_EQ(read_file(out + "/SCOTT.DEPT.csv").rfind("DEPTNO,", 0), 0u);
}

TEST(Unload, OptionsThatDoNotGoTogether)
{
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--infer", "x.dbf"}, "trevanix: --infer goes with --ddl or --unload\n"},
        {{"--schema", "s.sql", "x.dbf"}, "trevanix: --schema goes with --unload or --ddl\n"},
        {{"--table", "T", "-f", "x.dbf"}, "trevanix: --table goes with --unload or --ddl\n"},
        {{"--ddl", "--force", "--infer", "x.dbf"}, "trevanix: --force goes with --unload\n"},
        {{"--ddl", "--lob-files", "--infer", "x.dbf"}, "trevanix: --lob-files goes with --unload\n"},
        {{"--lob-files", "-f", "x.dbf"}, "trevanix: --lob-files goes with --unload\n"},
        {{"--ddl", "x.dbf"},
         "trevanix: --ddl prints the schema of --dictionary SYSTEM_FILE or --schema FILE, or with --infer the one the "
         "data files' rows suggest\n"},
        {{"--unload", "d", "--ddl", "x.dbf"},
         "trevanix: --unload, --ddl and --list-tables do not go together: each is a run of its own\n"},
        {{"--ddl", "--rows", "--infer", "x.dbf"},
         "trevanix: --unload and --ddl type the columns from the schema and write their own files: leave out "
         "--format, --rows, --verify, -c and -a C\n"},
        {{"--unload", "d", "--format", "csv", "x.dbf"},
         "trevanix: --unload and --ddl type the columns from the schema and write their own files: leave out "
         "--format, --rows, --verify, -c and -a C\n"},
    };
    for (const auto& [args, message] : cases) {
        const RunResult r = run_trevanix(args);
        EXPECT_EQ(r.status, 2) << args[0];
        EXPECT_EQ(r.errors, message) << args[0];
    }
    const RunResult no_file = run_trevanix({"--unload", "d"});
    EXPECT_EQ(no_file.status, 2);
    EXPECT_EQ(no_file.errors, "trevanix: name the data files to read after the options\n");
}

TEST(Ddl, TheSchemaOfAFileOrOfInference)
{
    WrittenDatabase db;
    // A schema file printed back: no data file is read.
    RunResult r = run_trevanix({"--ddl", "--schema", db.schema_file});
    ASSERT_EQ(r.status, 0) << r.errors;
    EXPECT_EQ(r.output, read_file(db.schema_file));
    // With --infer, the objects the schema does not describe follow it.
    r = run_trevanix({"--ddl", "--infer", "--schema", db.schema_file, db.users});
    ASSERT_EQ(r.status, 0) << r.errors;
    const schema::Parsed<schema::Schema> read = schema::parse_schema_file(r.output);
    ASSERT_TRUE(read.ok()) << read.error;
    ASSERT_EQ(read.value.tables.size(), db.database.tables.size() + 1);
    const schema::Table& events = read.value.tables.back();
    EXPECT_EQ(events.name, "OBJ_87150");
    EXPECT_EQ(events.data_object, 87150u);
    ASSERT_EQ(events.columns.size(), 3u);
    EXPECT_EQ(schema::sql_type_text(events.columns[0]), "NUMBER(3)");
    EXPECT_EQ(events.columns[2].type, schema::OracleType::Date);
    EXPECT_NE(r.output.find("\"C1\" NUMBER(3), -- 167 values: 100 % NUMBER, 0 NULL\n"), std::string::npos) << r.output;
    // Inference alone, limited to one table of a cluster.
    r = run_trevanix({"--ddl", "--infer", "--table", "OBJ_87110_T1", db.users});
    ASSERT_EQ(r.status, 0) << r.errors;
    EXPECT_EQ(r.output.substr(0, r.output.find('\n', r.output.find("CREATE"))),
              "-- data object 87110, cluster table 1, key columns 0\nCREATE TABLE \"OBJ_87110_T1\" (");
}

TEST(SchemaFile, ErrorsNameTheirLine)
{
    ScratchDir dir;
    const std::string file = dir.write("bad.sql", std::string("-- data object 5\nCREATE TABLE \"T\" (\n  \"A\" NUMBR\n);\n"));
    RunResult r = run_trevanix({"--ddl", "--schema", file});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.errors, "trevanix: " + file + ", line 3: unknown type \"NUMBR\"\n");
    r = run_trevanix({"--unload", dir.path("out"), "--schema", dir.path("missing.sql"), file});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.errors, "trevanix: cannot read the schema file " + dir.path("missing.sql") + ": No such file or directory\n");
    // A file without end is read no further than any schema could take.
    r = run_trevanix({"--ddl", "--schema", "/dev/zero"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.errors, "trevanix: cannot read the schema file /dev/zero: it is longer than 256 MiB, more than the "
                        "statements of any schema\n");
}

TEST(Unload, RowsOfADamagedBlockAreUnloadedAndCounted)
{
    WrittenDatabase db;
    const datafile::TableRows& customers = db.built.rows_of("SCOTT", "CUSTOMERS_1252");
    const std::uint32_t block = customers.rows[0].head->block;
    std::string bytes = read_file(db.users);
    bytes[(block + 1) * 8192 - 1] ^= 0x5A;  // the tail no longer repeats the header
    const std::string damaged = db.dir.write("damaged.dbf", bytes);
    const std::string out = db.dir.path("out");
    const RunResult r = run_trevanix({"--unload", out, "--schema", db.schema_file, damaged});
    ASSERT_EQ(r.status, kIncomplete) << r.errors;
    EXPECT_EQ(read_csv(out + "/SCOTT.CUSTOMERS_1252.csv").size(), 4u);
    const Json summary = parse_json(read_file(out + "/summary.json"));
    EXPECT_EQ(summary["blocks_damaged"].text, "1");
    for (const Json& t : summary["tables"].items)
        EXPECT_EQ(t["damaged_blocks"].text, t["table"].text == "CUSTOMERS_1252" ? "1" : "0") << t["table"].text;
}

// Rows of every shape in 4096-byte blocks of files 4 and 5, as in the
// --rows tests, with the truth of each.
TEST(Unload, WholeRowsOfEveryShapeAndTheOrphanCounted)
{
    using datafile::Bytes;
    auto text = [](std::string_view s) { return Value(Bytes(s.begin(), s.end())); };
    datafile::FileSet files(4096);
    datafile::RowWriter writer(files, {700});
    writer.ordinary({4, 1}, {{text("A"), std::nullopt, text("B")}, false});
    writer.ordinary({4, 1}, {{text("gone")}, true});
    writer.chained({{4, 2}, {4, 3}}, {{text("k"), Bytes(6000, 'x'), text("z")}, false});
    writer.migrated({4, 1}, {{4, 6}}, {{text("moved"), text("away")}, false});
    writer.broken({4, 15}, {4, 4000}, datafile::Break::MissingBlock, {{Bytes(800, 'm'), Bytes(800, 'n')}, false});
    writer.stale_copy({4, 20}, {{text("old"), text("copy")}, false});
    writer.orphan_copy({4, 21}, {4, 1, 0}, {{text("lost"), text("head")}, false});
    ScratchDir dir;
    const std::string f4 = dir.write("f4.dbf", datafile::build_file(files.file(4)));
    const std::string f5 = dir.write("f5.dbf", datafile::build_file(files.file(5)));
    const std::string schema_file =
        dir.write("t.sql", std::string("-- data object 700\nCREATE TABLE \"T\" (\"A\" VARCHAR2(4000), \"B\" "
                                       "VARCHAR2(4000), \"C\" VARCHAR2(10));\n"));
    const std::string out = dir.path("out");
    const RunResult r = run_trevanix({"--unload", out, "--quiet", "--block-size", "4096", "--schema", schema_file, f4, f5});
    // A row is incomplete and a piece an orphan.
    ASSERT_EQ(r.status, kIncomplete) << r.errors;
    std::vector<Record> live = read_csv(out + "/T.csv");
    ASSERT_EQ(live.size(), 1u + 4u);
    std::map<std::string, Record> by_first;
    for (const Record& record : live) by_first[record[0]] = record;
    EXPECT_EQ(by_first["A"], (Record{"A", "", "B", "AAAAK8AAEAAAAABAAA"}));
    EXPECT_EQ(by_first["k"][1], std::string(6000, 'x'));
    EXPECT_EQ(by_first["moved"], (Record{"moved", "away", "", "AAAAK8AAEAAAAABAAC"}));
    EXPECT_EQ(by_first.count(std::string(800, 'm')), 1u);  // its head only: the next piece is missing
    EXPECT_EQ(read_csv(out + "/T.stale.csv")[1], (Record{"old", "copy", "", ""}));
    EXPECT_EQ(read_csv(out + "/T.deleted.csv")[1], (Record{"gone", "", "", "AAAAK8AAEAAAAABAAB"}));
    const Json summary = parse_json(read_file(out + "/summary.json"));
    const Json& t = summary["tables"].items[0];
    EXPECT_EQ(t["rows"].text, "4");
    EXPECT_EQ(t["reassembled"].text, "2");
    EXPECT_EQ(t["incomplete"].text, "1");
    EXPECT_EQ(summary["orphans"].text, "1");
}

// ---------------------------------------------------------------------------
// The dictionaries of other releases

using datafile::DictionaryShape;

// Every row of every table the truth names, in the files summary.json
// gives it (a name too long for a file has a hash in its file's name).
void expect_every_row(const datafile::BuiltDatabase& built, const std::vector<const TableDef*>& tables,
                      const std::string& out)
{
    const Json summary = parse_json(read_file(out + "/summary.json"));
    std::map<std::string, const Json*> by_name;
    for (const Json& t : summary["tables"].items) by_name[t["owner"].text + "." + t["table"].text] = &t;
    for (const TableDef* table : tables) {
        const std::string name = table->owner + "." + table->name;
        SCOPED_TRACE(name);
        ASSERT_EQ(by_name.count(name), 1u);
        // Nothing lost or cut short; only the sample's two LOB locators
        // not decoded, which end the run with status 4.
        const Json& entry = *by_name[name];
        EXPECT_EQ(entry["lost_blocks"].text, "0");
        EXPECT_EQ(entry["incomplete"].text, "0");
        EXPECT_EQ(entry["not_decoded"].text, name == "HR.ALL_TYPES" ? "2" : "0");
        const Json& files = entry["files"];
        for (auto& [suffix, expected] : expected_records(built, *table)) {
            const std::string kind = suffix == ".csv" ? "rows" : suffix == ".deleted.csv" ? "deleted" : "stale";
            std::vector<Record> records = read_csv(out + "/" + files[kind].text);
            ASSERT_FALSE(records.empty());
            records.erase(records.begin());
            std::sort(records.begin(), records.end());
            std::sort(expected.begin(), expected.end());
            EXPECT_EQ(records, expected) << suffix;
        }
    }
}

std::vector<const TableDef*> users_tables(const datafile::Database& database)
{
    std::vector<const TableDef*> tables;
    for (const TableDef& t : database.tables) tables.push_back(&t);
    return tables;
}

// The SYSTEM file among the data files: its dictionary names the tables,
// the dictionary's own among them, whose rows it holds.
TEST(UnloadReleases, EveryRowOfEveryTableOfEveryShape)
{
    for (const DictionaryShape shape : datafile::all_shapes()) {
        SCOPED_TRACE(datafile::shape_name(shape));
        ScratchDir dir;
        const datafile::Database database = datafile::release_database(shape);
        const datafile::BuiltDatabase built = datafile::build_database(database);
        datafile::write_database(built, dir.root());
        const std::string out = dir.path("out");
        const RunResult r =
            run_trevanix({"--unload", out, "--quiet", dir.path("system01.dbf"), dir.path("users01.dbf")});
        ASSERT_EQ(r.status, kIncomplete) << r.errors;
        std::vector<const TableDef*> tables = users_tables(database);
        for (const TableDef& t : built.dictionary) tables.push_back(&t);
        expect_every_row(built, tables, out);
    }
}

// A second bigfile file, named first, whose blocks an address of the
// SYSTEM file would reach if the file of relative number 1024 were taken
// for the SYSTEM file.
std::string other_bigfile(const ScratchDir& dir, std::uint32_t block_size)
{
    datafile::FileSet other(block_size);
    other.put_image({kBigfileRelativeFile, 0}, datafile::os_header_block(block_size, 16, ByteOrder::Little));
    datafile::FileHeader header;
    header.relative_file = kBigfileRelativeFile;
    header.absolute_file = 9;
    header.tablespace_name = "OTHER";
    header.tablespace_number = 9;
    header.block_count = 16;
    other.put_image({kBigfileRelativeFile, 1}, datafile::file_header_block(header, block_size, ByteOrder::Little));
    const std::string path = dir.path("other01.dbf");
    other.write_sparse(path, kBigfileRelativeFile, 16);
    return path;
}

// A bigfile SYSTEM tablespace: the root address, the statements' segments
// and the extent maps, map blocks and all, read as 32-bit block numbers of
// the SYSTEM file itself, an upgraded BOOTSTRAP$ and the later extents
// and map blocks of C_OBJ# at blocks past 2^22 (a sparse file of 8 GiB).
TEST(UnloadReleases, ABigfileSystemTablespace)
{
    for (const DictionaryShape shape : {DictionaryShape::Release19c, DictionaryShape::Release19cUpgraded}) {
        SCOPED_TRACE(datafile::shape_name(shape));
        ScratchDir dir;
        datafile::Database database = datafile::release_database(shape, 2048, ByteOrder::Little, true);
        database.system_layout.extent_blocks = 2;
        database.system_layout.header_extents = 2;
        database.system_layout.map_block_extents = 2;
        const datafile::BuiltDatabase built = datafile::build_database(database);
        try {
            datafile::write_database(built, dir.root());
        } catch (const std::exception& e) {
            GTEST_SKIP() << "this file system holds no sparse file of 8 GiB: " << e.what();
        }
        const std::string system = dir.path("system01.dbf"), users = dir.path("users01.dbf");
        const std::string other = other_bigfile(dir, 2048);
        if (shape == DictionaryShape::Release19cUpgraded) {
            const datafile::SegmentTruth& cluster = *std::find_if(built.segments.begin(), built.segments.end(),
                                                                  [](const auto& s) { return s.name == "SYS.C_OBJ#"; });
            ASSERT_GT(cluster.map_blocks.size(), 1u);
            EXPECT_GT(cluster.map_blocks.front(), 1u << 22);
            EXPECT_EQ(built.root.block, datafile::kFarBootstrapBlock);
        }
        const RunResult listed = run_trevanix({"--dictionary", system, "--list-tables", other, users});
        ASSERT_EQ(listed.status, 0) << listed.errors;
        EXPECT_EQ(listed.errors, "");
        EXPECT_NE(listed.output.find("-- dictionary of release 12.2 or later"), std::string::npos) << listed.output;
        const std::string out = dir.path("out");
        const RunResult r = run_trevanix({"--unload", out, "--quiet", "--dictionary", system, other, users});
        ASSERT_EQ(r.status, kIncomplete) << r.errors;
        expect_every_row(built, users_tables(database), out);
    }
}

// A child whose files may not grow past a few kilobytes: its writes fail.
// A directory the run created goes with what it wrote; in one that was
// there, what it wrote keeps its temporary names.
TEST(Unload, ARunThatFailsLeavesNoFileThatLooksComplete)
{
    WrittenDatabase db;
    const auto run_limited = [&](const std::string& out) {
        const pid_t child = ::fork();
        if (child == 0) {
            ::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{4096, 4096};
            ::setrlimit(RLIMIT_FSIZE, &limit);
            OutputSink output, errors;
            const char* argv[] = {"trevanix", "--unload", out.c_str(), "--quiet", "--schema", db.schema_file.c_str(),
                                  db.users.c_str(), nullptr};
            ::_exit(run_dump(7, argv, output, errors));
        }
        int status = 0;
        if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
        return WEXITSTATUS(status);
    };
    const std::string created = db.dir.path("created");
    EXPECT_EQ(run_limited(created), 1);
    struct stat info;
    EXPECT_NE(::lstat(created.c_str(), &info), 0) << "the directory the run created is still there";

    const std::string existing = db.dir.path("existing");
    ASSERT_EQ(::mkdir(existing.c_str(), 0755), 0);
    EXPECT_EQ(run_limited(existing), 1);
    const std::set<std::string> names = directory_entries(existing);
    EXPECT_FALSE(names.empty());
    for (const std::string& name : names) EXPECT_TRUE(name.ends_with(".part")) << name;
}

TEST(Unload, DataFilesWithNoWholeBlockUnloadNothing)
{
    ScratchDir dir;
    const std::string out = dir.path("out");
    const RunResult r = run_trevanix({"--unload", out, "--block-size", "8192", "--byte-order", "little",
                                      dir.write("short.dbf", std::string(100, 'x'))});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.errors.find("trevanix: nothing unloaded: the data files hold no whole block; the directory " + out +
                            ", which this run created, is removed\n"),
              std::string::npos)
        << r.errors;
    struct stat info;
    EXPECT_NE(::lstat(out.c_str(), &info), 0);
    // In a directory that was there, nothing is left and nothing is said to be.
    ASSERT_EQ(::mkdir(out.c_str(), 0755), 0);
    const RunResult again = run_trevanix({"--unload", out, "--block-size", "8192", "--byte-order", "little",
                                          dir.path("short.dbf")});
    EXPECT_EQ(again.status, 1);
    EXPECT_NE(again.errors.find("trevanix: nothing unloaded: the data files hold no whole block; it left no file "
                                "with a .part name\n"),
              std::string::npos)
        << again.errors;
    EXPECT_TRUE(directory_entries(out).empty());
}

}  // namespace
