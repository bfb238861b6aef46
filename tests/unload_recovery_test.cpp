// What an unload recovers beyond what the live dictionary describes: each
// block of the dictionary's segments damaged in turn, and every value the
// users' rows store still found in a line carrying its rowid; columns a
// schema does not describe, completed from the rows as COL<n>; hidden and
// unused columns in their own file; tables dropped and rows DDL removed,
// read from the dictionary rows marked deleted and never taken for live.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <tuple>

#include "format/block_format.h"
#include "schema/ddl_parser.h"
#include "schema/ddl_writer.h"
#include "schema/oracle_types.h"
#include "schema_truth.h"
#include "test_support.h"
#include "unload_truth.h"
#include "values/escaped_text.h"

namespace {

using datafile::ColumnDef;
using datafile::TableDef;
using datafile::Value;

// The summary's entry of each table, by OWNER.TABLE, " (dropped)" after a dropped one's.
std::map<std::string, Json> summary_tables(const std::string& directory)
{
    std::map<std::string, Json> tables;
    const Json summary = parse_json(read_file(directory + "/summary.json"));
    for (const Json& t : summary["tables"].items)
        tables[t["owner"].text + "." + t["table"].text + (t["dropped"].boolean ? " (dropped)" : "")] = t;
    return tables;
}

// Every field of every line of the directory's CSV files that carries a
// rowid, by that rowid: the main files hold it in the ROWID column, the
// hidden files too.
std::map<std::string, std::multiset<std::string>> fields_by_rowid(const std::string& directory)
{
    std::map<std::string, std::multiset<std::string>> by_rowid;
    for (const std::string& name : directory_entries(directory)) {
        if (!name.ends_with(".csv")) continue;
        const std::vector<CsvRecord> records = read_csv(directory + "/" + name);
        if (records.empty()) continue;
        const auto rowid = std::find(records[0].begin(), records[0].end(), "ROWID");
        if (rowid == records[0].end()) continue;
        const auto at = static_cast<std::size_t>(rowid - records[0].begin());
        for (std::size_t r = 1; r < records.size(); ++r)
            if (at < records[r].size() && !records[r][at].empty())
                by_rowid[records[r][at]].insert(records[r].begin(), records[r].end());
    }
    return by_rowid;
}

std::string hex_digits(const datafile::Bytes& bytes) { return hex_text(std::string(bytes.begin(), bytes.end())); }

// The stored columns of a table, in storage order.
std::vector<const ColumnDef*> stored_columns(const TableDef& table)
{
    std::vector<const ColumnDef*> columns;
    for (const ColumnDef& c : table.columns)
        if (c.stored()) columns.push_back(&c);
    return columns;
}

const TableDef& table_def(const datafile::Database& database, const datafile::TableRows& rows)
{
    for (const TableDef& t : database.tables)
        if (t.owner == rows.owner && t.name == rows.table) return t;
    throw std::invalid_argument("no table " + rows.owner + "." + rows.table);
}

// The values of the users' rows that no line carrying the row's rowid
// holds, as its column's type writes it, as RAW's digits or as the bytes of
// a value not decoded: "OWNER.TABLE ROWID column".
std::vector<std::string> values_not_found(const datafile::Database& database, const datafile::BuiltDatabase& built,
                                          const std::string& directory, std::size_t& checked)
{
    const auto by_rowid = fields_by_rowid(directory);
    std::vector<std::string> missing;
    for (const datafile::TableRows& rows : built.rows) {
        if (rows.owner == "SYS") continue;
        const std::vector<const ColumnDef*> columns = stored_columns(table_def(database, rows));
        for (const datafile::RowTruth& truth : rows.rows) {
            if (!truth.head) continue;
            const std::string rowid = rowid_text(truth.data_object, *truth.head);
            const auto found = by_rowid.find(rowid);
            for (std::size_t i = 0; i < truth.values.size() && i < columns.size(); ++i) {
                const Value& value = truth.values[i];
                if (!value || value->empty()) continue;
                ++checked;
                // A time zone's value is two fields: its time is looked for.
                std::string text = expected_text(*columns[i], value);
                if (schema::type_from_code(columns[i]->type, columns[i]->charset_form, columns[i]->scale) ==
                    schema::OracleType::TimestampTz)
                    text = text.substr(0, text.find(','));
                const bool held = found != by_rowid.end() &&
                                  (found->second.count(text) != 0 ||
                                   found->second.count(hex_digits(*value)) != 0 ||
                                   found->second.count("0x" + hex_digits(*value)) != 0);
                if (!held) missing.push_back(rows.owner + "." + rows.table + " " + rowid + " " + columns[i]->name);
            }
        }
    }
    return missing;
}

// The block's bytes after its cache header flipped, as damage leaves them.
void damage_block(datafile::Bytes& file, std::uint32_t block, std::uint32_t block_size)
{
    for (std::size_t i = std::size_t{block} * block_size + block_format::kCacheHeaderSize;
         i < std::size_t{block + 1} * block_size && i < file.size(); ++i)
        file[i] ^= 0xA5;
}

// ---------------------------------------------------------------------------
// A damaged dictionary

TEST(DamagedDictionary, EveryStoredValueIsFoundByItsRowidWhicheverDictionaryBlockIsDamaged)
{
    const WrittenDatabase db;
    const datafile::Bytes system = datafile::build_file(db.built.system);
    // The file header, which leads to BOOTSTRAP$, and every block of the
    // dictionary's segments: headers, data blocks and blocks never used.
    std::vector<std::pair<std::string, std::uint32_t>> blocks{{"file header", 1}};
    for (const datafile::SegmentTruth& segment : db.built.segments) {
        if (!segment.name.starts_with("SYS.")) continue;
        for (const datafile::Extent& extent : segment.extents)
            for (std::uint32_t b = 0; b < extent.length; ++b) blocks.emplace_back(segment.name, extent.first_block + b);
    }
    ASSERT_GE(blocks.size(), 25u);
    std::size_t completed = 0, without_dictionary = 0;
    for (const auto& [segment, block] : blocks) {
        SCOPED_TRACE(segment + " block " + std::to_string(block));
        datafile::Bytes damaged = system;
        damage_block(damaged, block, db.built.system.block_size);
        const std::string path = db.dir.write("damaged01.dbf", damaged);
        const std::string out = db.dir.path("out-" + std::to_string(block));
        const RunResult r = run_trevanix({"--unload", out, "--quiet", "--dictionary", path, db.users});
        ASSERT_TRUE(r.status == 0 || r.status == 4) << r.errors;
        // The dictionary could not be read at all: every object by inference, and status 4.
        if (r.errors.find("trevanix: unloading without the dictionary: every data object is typed by inference and "
                          "named OBJ_<n>\n") != std::string::npos) {
            EXPECT_EQ(r.status, 4);
            ++without_dictionary;
        }
        std::size_t checked = 0;
        const std::vector<std::string> missing = values_not_found(db.database, db.built, out, checked);
        EXPECT_GT(checked, 1000u);
        EXPECT_TRUE(missing.empty()) << missing.size() << " values not found, the first " << missing.front();
        for (const auto& [name, table] : summary_tables(out)) completed += !table["columns_unknown"].items.empty();
        std::filesystem::remove_all(out);
    }
    // Some of them cost tables their columns, some the whole dictionary.
    EXPECT_GT(completed, 3u);
    EXPECT_GT(without_dictionary, 0u);
    EXPECT_LT(without_dictionary, blocks.size() / 2);
}

// The C_OBJ# block that holds the first COL$ rows of SCOTT.WIDE lost: its
// first columns are named by their places and typed from its rows, in the
// unload, in --ddl (as columns not described, so that the places of the
// rest hold) and in --ddl --infer, whose schema file unloads the same.
TEST(DamagedDictionary, ColumnsItNoLongerDescribesAreNamedByTheirPlacesAndTyped)
{
    const WrittenDatabase clean;
    const datafile::Bytes system = datafile::build_file(clean.built.system);
    // The block of C_OBJ# where SCOTT.WIDE's COL$ rows start.
    std::optional<std::uint32_t> block;
    for (const datafile::RowTruth& row : clean.built.rows_of("SYS", "COL$").rows)
        if (!block && row.values[0] == datafile::number_value("87120")) block = row.head->block;
    ASSERT_TRUE(block);
    datafile::Bytes damaged = system;
    damage_block(damaged, *block, clean.built.system.block_size);
    const std::string path = clean.dir.write("damaged01.dbf", damaged);

    const RunResult ddl = run_trevanix({"--ddl", "--dictionary", path, "--table", "SCOTT.WIDE"});
    ASSERT_EQ(ddl.status, 0) << ddl.errors;
    EXPECT_NE(ddl.errors.find("COL$ lacks some columns of 1 table: SCOTT.WIDE: the values of those their rows store "
                              "are unloaded as COL<n> columns"),
              std::string::npos)
        << ddl.errors;
    EXPECT_NE(ddl.output.find("-- COL$ lacks columns of this table: an unload names the values its rows store "
                              "there COL<n>"),
              std::string::npos)
        << ddl.output;
    EXPECT_NE(ddl.output.find("  \"COL1\" UNKNOWN, -- not described\n"), std::string::npos) << ddl.output;
    const schema::Parsed<schema::Schema> read = schema::parse_schema_file(ddl.output);
    ASSERT_TRUE(read.ok()) << read.error;
    ASSERT_EQ(read.value.tables.size(), 1u);
    const schema::Table& wide = read.value.tables[0];
    ASSERT_EQ(wide.columns.size(), 300u);  // every place kept
    EXPECT_FALSE(wide.columns[0].described);
    EXPECT_TRUE(wide.columns[299].described);
    EXPECT_EQ(wide.columns[299].name, "C300");

    const RunResult inferred = run_trevanix({"--ddl", "--infer", "--dictionary", path, "--table", "SCOTT.WIDE", clean.users});
    ASSERT_EQ(inferred.status, 0) << inferred.errors;
    EXPECT_NE(inferred.output.find("  \"COL1\" NUMBER(4), -- not described; 4 values: 100 % NUMBER, 0 NULL\n"),
              std::string::npos)
        << inferred.output;

    const std::string out = clean.dir.path("out");
    const RunResult r = run_trevanix({"--unload", out, "--quiet", "--dictionary", path, clean.users});
    ASSERT_EQ(r.status, 0) << r.errors;
    std::map<std::string, Json> tables = summary_tables(out);
    const Json& summary = tables["SCOTT.WIDE"];
    const std::size_t unknown = summary["columns_unknown"].items.size();
    ASSERT_GT(unknown, 0u);
    EXPECT_EQ(summary["columns_unknown"].items[0].text, "COL1");
    EXPECT_EQ(summary["rows"].text, "4");
    EXPECT_EQ(summary["not_decoded"].text, "0");
    const std::vector<CsvRecord> rows = read_csv(out + "/SCOTT.WIDE.csv");
    ASSERT_EQ(rows.size(), 5u);
    ASSERT_EQ(rows[0].size(), 301u);
    EXPECT_EQ(rows[0][0], "COL1");
    std::string first_described(1, 'C');  // the first column COL$ still describes
    first_described += std::to_string(unknown + 1);
    EXPECT_EQ(rows[0][unknown], first_described);
    EXPECT_EQ(rows[1][0], "1000");

    // The schema file --ddl --infer wrote unloads the table as the dictionary did.
    const std::string schema_file = clean.dir.write("wide.sql", inferred.output);
    const std::string again = clean.dir.path("again");
    const RunResult by_schema = run_trevanix({"--unload", again, "--quiet", "--schema", schema_file, clean.users});
    ASSERT_EQ(by_schema.status, 0) << by_schema.errors;
    EXPECT_EQ(read_file(again + "/SCOTT.WIDE.csv"), read_file(out + "/SCOTT.WIDE.csv"));
    EXPECT_EQ(summary_tables(again)["SCOTT.WIDE"]["columns_unknown"].items.size(), unknown);
}

// A schema file that leaves out a table's last columns: its rows tell, the
// table written in the first pass is written again whole, counted once.
TEST(UndescribedColumns, RowsWiderThanTheSchemaSaysAreWrittenWhole)
{
    WrittenDatabase db;
    schema::Schema schema = datafile::schema_of(db.database);
    for (schema::Table& table : schema.tables)
        if (table.name == "EMP") table.columns.resize(3);  // EMPNO... of 5: DEPTNO, EMPNO, ENAME
    const std::string schema_file = db.dir.write("short.sql", schema::write_schema_file(schema));
    const std::string out = db.dir.path("out");
    const RunResult r = run_trevanix({"--unload", out, "--schema", schema_file, db.users});
    ASSERT_EQ(r.status, kIncomplete) << r.errors;
    const std::vector<CsvRecord> rows = read_csv(out + "/SCOTT.EMP.csv");
    ASSERT_EQ(rows.size(), 15u);
    EXPECT_EQ(rows[0], (CsvRecord{"DEPTNO", "EMPNO", "ENAME", "COL4", "COL5", "ROWID"}));
    std::map<std::string, Json> tables = summary_tables(out);
    EXPECT_EQ(tables["SCOTT.EMP"]["rows"].text, "14");
    EXPECT_EQ(tables["SCOTT.EMP"]["deleted"].text, "1");
    ASSERT_EQ(tables["SCOTT.EMP"]["columns_unknown"].items.size(), 2u);
    EXPECT_EQ(read_csv(out + "/SCOTT.EMP.deleted.csv").size(), 2u);
    EXPECT_NE(r.errors.find("\nSCOTT.EMP: 2 columns its schema does not describe, named by their places in the row "
                            "and typed by inference: COL4, COL5\n"),
              std::string::npos)
        << r.errors;
    // The values of the columns left out, typed by inference.
    std::size_t checked = 0;
    EXPECT_TRUE(values_not_found(db.database, db.built, out, checked).empty());
    for (const std::string& name : directory_entries(out)) EXPECT_FALSE(name.ends_with(".part")) << name;
}

// ---------------------------------------------------------------------------
// Hidden and unused columns

TEST(HiddenColumns, TheirValuesAreUnloadedByRowidAndKindAndCounted)
{
    const WrittenDatabase db;
    const std::string out = db.dir.path("out");
    const RunResult r = run_trevanix({"--unload", out, "--dictionary", db.system, db.users});
    ASSERT_EQ(r.status, kIncomplete) << r.errors;
    const datafile::TableRows& rows = db.built.rows_of("HR", "HIDDEN_COLS");
    EXPECT_EQ(read_file(out + "/HR.HIDDEN_COLS.hidden.csv"),
              "ROWID,SECRET,SYS_C00003_19030112:00:00$,ROW_KIND\r\n" +
                  rowid_text(rows.data_object, *rows.rows[0].head) + ",s3cret,42,live\r\n" +
                  rowid_text(rows.data_object, *rows.rows[2].head) + ",x,,live\r\n");
    std::map<std::string, Json> tables = summary_tables(out);
    const Json& hidden = tables["HR.HIDDEN_COLS"];
    EXPECT_EQ(hidden["hidden"].text, "2");
    EXPECT_EQ(hidden["files"]["hidden"].text, "HR.HIDDEN_COLS.hidden.csv");
    EXPECT_EQ(hidden["sqlite"]["hidden"].text, "HR.HIDDEN_COLS$hidden");
    EXPECT_EQ(hidden["postgres"]["hidden"].text, "HIDDEN_COLS$hidden");
    EXPECT_EQ(tables["SCOTT.EMP"]["hidden"].text, "0");
    EXPECT_NE(r.errors.find("\nHR.HIDDEN_COLS           3        0      0       2"), std::string::npos) << r.errors;
    // Every table's other files are as before: the main file leaves them out.
    EXPECT_EQ(read_csv(out + "/HR.HIDDEN_COLS.csv")[0], (CsvRecord{"ID", "NOTE", "ROWID"}));

    // --ddl lists them, marked, among the stored columns (the virtual one stores nothing).
    const RunResult ddl = run_trevanix({"--ddl", "--dictionary", db.system, "--table", "HR.HIDDEN_COLS"});
    EXPECT_NE(ddl.output.find("  \"SECRET\" VARCHAR2(20 BYTE), -- hidden\n"
                              "  \"SYS_C00003_19030112:00:00$\" NUMBER, -- hidden; unused\n"),
              std::string::npos)
        << ddl.output;
}

// ---------------------------------------------------------------------------
// Dropped tables and rows DDL removed

// The users' tables of a schema, in the dictionary's order, as a schema file writes them.
std::string users_schema_text(schema::Schema schema)
{
    std::erase_if(schema.tables, [](const schema::Table& t) { return t.owner == "SYS"; });
    std::stable_sort(schema.tables.begin(), schema.tables.end(), [](const schema::Table& a, const schema::Table& b) {
        return std::tie(a.owner, a.name, a.dropped) < std::tie(b.owner, b.name, b.dropped);
    });
    return schema::write_schema_file(schema);
}

// The dictionary's deleted rows: a table dropped keeps its name, columns
// and owner (a dropped user's too), marked dropped; a live row always
// wins, and no deleted row is ever taken for a live one: the table renamed
// is under its new name alone, the column dropped is gone, a table created
// again has its new columns, its dropped namesake apart, and OBJ$ is read
// where its live BOOTSTRAP$ line says, not where an old deleted one did.
TEST(DroppedTables, TheDictionarysDeletedRowsDescribeThemAndNoLiveTable)
{
    const WrittenDatabase db(datafile::history_database());
    const RunResult r = run_trevanix({"--ddl", "--dictionary", db.system});
    ASSERT_EQ(r.status, 0) << r.errors;
    const schema::Parsed<schema::Schema> read = schema::parse_schema_file(r.output);
    ASSERT_TRUE(read.ok()) << read.error;
    EXPECT_EQ(users_schema_text(read.value), users_schema_text(datafile::schema_of(db.database, &db.built)));
    EXPECT_EQ(r.output.find("SITES"), std::string::npos);
    EXPECT_EQ(r.output.find("FAX"), std::string::npos);
    EXPECT_NE(r.output.find("-- data object 87200, segment header file 4 block 106, dropped\nCREATE TABLE \"SCOTT\".\"BONUS\""), std::string::npos);
    EXPECT_NE(r.output.find("-- data object 87220, segment header file 4 block 138, dropped\nCREATE TABLE \"OLDAPP\".\"LOG\""), std::string::npos);
    EXPECT_NE(r.output.find("-- data objects 87143 P2018 segment header file 4 block 58, dropped\nCREATE TABLE \"SCOTT\".\"SALES\""),
              std::string::npos);
    EXPECT_NE(r.errors.find("trevanix: rows of the dictionary marked deleted describe 4 dropped tables whose data "
                            "objects no live row describes: SCOTT.BONUS, SCOTT.TEMP, OLDAPP.LOG, SCOTT.SALES (an "
                            "unload names them OWNER.TABLE$dropped)\n"),
              std::string::npos)
        << r.errors;

    // --list-tables marks them.
    const RunResult listed = run_trevanix({"--dictionary", db.system, "--list-tables", db.users});
    ASSERT_EQ(listed.status, 0) << listed.errors;
    EXPECT_NE(listed.output.find("SCOTT   BONUS            87200        87200        4       1     3  dropped\n"),
              std::string::npos)
        << listed.output;
    EXPECT_NE(listed.output.find("SCOTT   SALES            87140            -        3       1     2  1 partition, dropped\n"),
              std::string::npos)
        << listed.output;
    EXPECT_NE(listed.output.find("SCOTT   TEMP             87210        87210        3       1     1\n"),
              std::string::npos);
    std::size_t dropped = 0;
    for (const Json& e : parse_json_lines(run_trevanix({"--dictionary", db.system, "--list-tables", "--format", "jsonl"}).output))
        dropped += std::find(e.names.begin(), e.names.end(), "dropped") != e.names.end() && e["dropped"].boolean;  // tables' lines
    EXPECT_EQ(dropped, 4u);
}

TEST(DroppedTables, TheirRowsAreUnloadedAsDroppedByTheDictionaryAndByASchemaFile)
{
    const WrittenDatabase db(datafile::history_database());
    const std::string out = db.dir.path("out");
    const RunResult r = run_trevanix({"--unload", out, "--dictionary", db.system, db.users});
    ASSERT_EQ(r.status, kIncomplete) << r.errors;
    for (const TableDef& table : db.database.tables) {
        SCOPED_TRACE(table.owner + "." + table.name);
        for (auto& [suffix, expected] : expected_records(db.built, table)) {
            std::vector<CsvRecord> records = read_csv(out + "/" + table.owner + "." + table.name + suffix);
            ASSERT_FALSE(records.empty()) << suffix;
            records.erase(records.begin());
            std::sort(records.begin(), records.end());
            std::sort(expected.begin(), expected.end());
            EXPECT_EQ(records, expected) << suffix;
        }
    }
    // A dropped table's hidden values keep to its own files.
    EXPECT_EQ(read_csv(out + "/SCOTT.BONUS.dropped.hidden.csv").size(), 3u);
    std::map<std::string, Json> tables = summary_tables(out);
    for (const char* name : {"SCOTT.BONUS (dropped)", "SCOTT.TEMP (dropped)", "OLDAPP.LOG (dropped)",
                             "SCOTT.SALES (dropped)", "SCOTT.TEMP", "SCOTT.SALES", "HR.LOCATIONS"})
        EXPECT_TRUE(tables.count(name)) << name;
    EXPECT_EQ(tables.count("HR.SITES"), 0u);
    const Json& bonus = tables["SCOTT.BONUS (dropped)"];
    EXPECT_EQ(bonus["rows"].text, "3");
    EXPECT_EQ(bonus["deleted"].text, "1");
    EXPECT_EQ(bonus["hidden"].text, "2");
    EXPECT_EQ(bonus["files"]["rows"].text, "SCOTT.BONUS.dropped.csv");
    EXPECT_EQ(bonus["sqlite"]["deleted"].text, "SCOTT.BONUS$dropped$deleted");
    EXPECT_EQ(bonus["postgres"]["rows"].text, "BONUS$dropped");
    EXPECT_EQ(tables["SCOTT.TEMP"]["files"]["rows"].text, "SCOTT.TEMP.csv");
    EXPECT_NE(r.errors.find("\nSCOTT.BONUS (dropped)     3        1      0       2"), std::string::npos) << r.errors;

    // The schema file written from the truth names the same tables, so the files are the same.
    const std::string by_schema = db.dir.path("by-schema");
    const RunResult s = run_trevanix({"--unload", by_schema, "--quiet", "--schema", db.schema_file, db.users});
    ASSERT_EQ(s.status, kIncomplete) << s.errors;
    std::set<std::string> files;
    for (const std::string& name : directory_entries(out))
        if (name.ends_with(".csv")) files.insert(name);
    EXPECT_EQ(files.count("SCOTT.TEMP.dropped.csv"), 1u);
    for (const std::string& name : files) EXPECT_EQ(read_file(by_schema + "/" + name), read_file(out + "/" + name)) << name;
}

}  // namespace
