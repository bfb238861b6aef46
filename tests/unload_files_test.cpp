// The parts of an unload below the command line: which table each data
// object's rows go to and how its columns are written, --table, the
// directory's files (bounded, renamed when complete), the CSV lines, the
// loading scripts and the summary.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "datafile_builder.h"
#include "schema/oracle_types.h"
#include "test_support.h"
#include "unload/loader_scripts.h"
#include "unload/summary.h"
#include "unload/table_files.h"
#include "unload/unload_plan.h"
#include "unload/unload_writer.h"

namespace {

using namespace unload;
using schema::OracleType;

schema::Column column(std::string name, std::string_view type, std::uint32_t position)
{
    schema::Column c = schema::parse_sql_type(type).value;
    c.name = std::move(name);
    c.column_number = c.segment_column = c.internal_column = position;
    return c;
}

// SCOTT.EMP, clustered as table 2 of data object 500; SCOTT.SALES with two
// partitions; HR.NOTES, a heap table of data object 600 whose columns are
// hidden, unused, virtual and in other character sets.
schema::Schema sample_schema()
{
    schema::Schema s;
    s.database_charset = "AL32UTF8";
    s.national_charset = "AL16UTF16";
    schema::Table emp;
    emp.owner = "SCOTT";
    emp.name = "EMP";
    emp.data_object = 500;
    emp.cluster = schema::ClusterPlacement{0, 2, 1};
    emp.columns = {column("DEPTNO", "NUMBER(2)", 1), column("ENAME", "VARCHAR2(10)", 2)};
    schema::Table sales;
    sales.owner = "SCOTT";
    sales.name = "SALES";
    sales.partitions = {{"P2019", 501}, {"P2020", 502}};
    sales.columns = {column("AMOUNT", "NUMBER(10,2)", 1)};
    schema::Table notes;
    notes.owner = "HR";
    notes.name = "NOTES";
    notes.data_object = 600;
    notes.columns = {column("ID", "NUMBER", 1), column("SECRET", "VARCHAR2(9)", 2), column("OLD", "NUMBER", 3),
                     column("TOTAL", "NUMBER", 0), column("LATIN", "VARCHAR2(9)", 4), column("NOTE", "NVARCHAR2(9)", 5)};
    notes.columns[1].hidden = true;
    notes.columns[1].column_number = 0;
    notes.columns[2].unused = true;
    notes.columns[3].is_virtual = true;
    notes.columns[3].column_number = 6;
    notes.columns[4].charset_id = 178;  // WE8MSWIN1252
    // Created before LATIN, stored after it.
    notes.columns[4].column_number = 5;
    notes.columns[5].column_number = 4;
    s.tables = {emp, sales, notes};
    return s;
}

std::vector<std::string> names(const UnloadTable& table)
{
    std::vector<std::string> out;
    for (const OutputColumn& c : table.columns) out.push_back(c.column.name);
    return out;
}

TEST(UnloadPlan, EachDataObjectsRowsGoToTheirTableAndPartition)
{
    UnloadPlan plan("");
    plan.add_schema(sample_schema(), TableSelection(), false);
    ASSERT_EQ(plan.tables().size(), 3u);
    const RowTarget* emp = plan.target(500, 2);
    ASSERT_NE(emp, nullptr);
    EXPECT_EQ(plan.tables()[emp->table].qualified_name(), "SCOTT.EMP");
    EXPECT_EQ(plan.target(500, std::nullopt), nullptr);  // not the cluster's table 2
    EXPECT_EQ(plan.target(500, 1), nullptr);
    EXPECT_FALSE(plan.describes(500, 1));
    const RowTarget* p2020 = plan.target(502, std::nullopt);
    ASSERT_NE(p2020, nullptr);
    EXPECT_EQ(p2020->partition, "P2020");
    EXPECT_TRUE(plan.tables()[p2020->table].partitioned);
    EXPECT_EQ(plan.tables()[p2020->table].data_objects, (std::vector<std::uint32_t>{501, 502}));
    EXPECT_TRUE(plan.schema_describes(501));
    EXPECT_FALSE(plan.schema_describes(700));

    // An inferred table is described, but not by the schema.
    schema::Schema inferred;
    schema::Table obj;
    obj.name = "OBJ_700";
    obj.data_object = 700;
    obj.columns = {column("C1", "RAW(4)", 1)};
    inferred.tables = {obj};
    plan.add_schema(inferred, TableSelection(), true);
    EXPECT_TRUE(plan.describes(700, std::nullopt));
    EXPECT_FALSE(plan.schema_describes(700));
    EXPECT_TRUE(plan.tables().back().inferred);
    EXPECT_EQ(plan.tables().back().names.file_stem, "OBJ_700");
}

TEST(UnloadPlan, ColumnsInTheirCreatedOrderWithoutThoseARowDoesNotShow)
{
    UnloadPlan plan("");
    plan.add_schema(sample_schema(), TableSelection(), false);
    const UnloadTable& notes = plan.tables()[2];
    EXPECT_EQ(names(notes), (std::vector<std::string>{"ID", "NOTE", "LATIN"}));
    EXPECT_EQ(notes.columns[1].stored_index, 4u);
    EXPECT_EQ(notes.columns[2].stored_index, 3u);
    EXPECT_EQ(notes.names.file_stem, "HR.NOTES");
}

TEST(UnloadPlan, TextIsReadInItsColumnsCharacterSet)
{
    UnloadPlan plan("WE8ISO8859P1");
    schema::Schema s = sample_schema();
    s.database_charset.reset();
    s.tables[0].columns[1].charset_id = 0;  // ENAME names none: the run's
    s.tables[2].columns.push_back(column("JAPANESE", "VARCHAR2(9)", 7));
    s.tables[2].columns.back().charset_id = 830;  // JA16EUC: no converter
    s.tables[2].columns.push_back(column("UNICODE", "VARCHAR2(9)", 8));
    s.tables[2].columns.back().charset_id = 873;
    plan.add_schema(s, TableSelection(), false);
    const LoadColumn& ename = plan.tables()[0].columns[1].load;
    EXPECT_EQ(ename.form, LoadForm::Text);
    EXPECT_NE(ename.charset, nullptr);
    const UnloadTable& notes = plan.tables()[2];
    EXPECT_EQ(notes.columns[1].load.form, LoadForm::NationalText);
    EXPECT_NE(notes.columns[2].load.charset, nullptr);
    EXPECT_TRUE(notes.columns[3].load.ascii_only);
    EXPECT_EQ(notes.columns[4].load.charset, nullptr);  // AL32UTF8: checked, not converted
    EXPECT_FALSE(notes.columns[4].load.ascii_only);
}

TEST(UnloadPlan, FileNamesHoldNoDirectories)
{
    EXPECT_EQ(file_name_of("SCOTT.EMP"), "SCOTT.EMP");
    EXPECT_EQ(file_name_of("A/B\\C%D"), "A%2FB%5CC%25D");
    EXPECT_EQ(file_name_of("..X"), "%2E.X");
    EXPECT_EQ(file_name_of("T\nAB"), "T%0AAB");
}

TEST(TableSelection, NamesWithOrWithoutOwnerInAnyCase)
{
    const schema::Schema s = sample_schema();
    UnloadPlan plan("");
    plan.add_schema(s, TableSelection({"scott.emp", "Notes"}), false);
    EXPECT_EQ(plan.tables().size(), 2u);
    EXPECT_NE(plan.target(500, 2), nullptr);
    EXPECT_EQ(plan.target(501, std::nullopt), nullptr);
    EXPECT_TRUE(plan.describes(501, std::nullopt));  // described, not unloaded

    EXPECT_EQ(TableSelection({"SCOTT.SALES", "obj_87150", "OBJ_2_T5"}).unknown_names(s), "");
    EXPECT_EQ(TableSelection({"SCOTT.SALE"}).unknown_names(s),
              "trevanix: --table SCOTT.SALE: no such table in the schema (did you mean SCOTT.SALES?)\n");
    EXPECT_EQ(TableSelection({"EMPP"}).unknown_names(s),
              "trevanix: --table EMPP: no such table in the schema (did you mean SCOTT.EMP?)\n");
    EXPECT_EQ(TableSelection({"HR.WHATEVER_ELSE"}).unknown_names(s),
              "trevanix: --table HR.WHATEVER_ELSE: no such table in the schema\n");
    EXPECT_EQ(TableSelection({"OBJ_X"}).unknown_names(s), "trevanix: --table OBJ_X: no such table in the schema\n");
}

// ---------------------------------------------------------------------------
// Files

TEST(TableFiles, FewFilesOpenAtOnceAndNoneLooksCompleteBeforeTheEnd)
{
    ScratchDir dir;
    TableFiles files(dir.root(), 2);
    std::vector<std::size_t> numbers;
    for (std::string name : {"T0.csv", "T1.csv", "T2.csv", "T3.csv", "T4.csv"}) numbers.push_back(files.add(name));
    for (int round = 0; round < 3; ++round) {
        for (std::size_t n : numbers) {
            OpenFile* out = files.open(n);
            ASSERT_NE(out, nullptr);
            out->text(std::to_string(round));
            EXPECT_LE(files.open_count(), 2u);
        }
    }
    EXPECT_EQ(directory_entries(dir.root()), (std::set<std::string>{"T0.csv.part", "T1.csv.part", "T2.csv.part", "T3.csv.part",
                                                          "T4.csv.part"}));
    const std::size_t unused = files.add("UNUSED.csv");
    EXPECT_FALSE(files.created(unused));
    ASSERT_TRUE(files.finish()) << files.failure();
    EXPECT_EQ(directory_entries(dir.root()), (std::set<std::string>{"T0.csv", "T1.csv", "T2.csv", "T3.csv", "T4.csv"}));
    EXPECT_EQ(read_file(dir.path("T3.csv")), "012");  // reopened to append each round
}

TEST(TableFiles, AFileThatCannotBeCreatedIsSaid)
{
    ScratchDir dir;
    TableFiles files(dir.path("missing"));
    EXPECT_EQ(files.open(files.add("T.csv")), nullptr);
    EXPECT_TRUE(files.failed());
    EXPECT_EQ(files.failure().rfind("cannot create " + dir.path("missing") + "/T.csv.part: ", 0), 0u) << files.failure();
    std::string failure;
    EXPECT_FALSE(write_whole_file(dir.path("missing"), "x.sql", "text", failure));
    EXPECT_NE(failure.find("No such file or directory"), std::string::npos) << failure;
    EXPECT_TRUE(write_whole_file(dir.root(), "x.sql", "text", failure));
    EXPECT_EQ(read_file(dir.path("x.sql")), "text");
    EXPECT_EQ(directory_entries(dir.root()), std::set<std::string>{"x.sql"});
}

TEST(TableFiles, AFileSwappedForALinkOrAnotherFileIsNotReopened)
{
    ScratchDir dir;
    const std::string victim = dir.write("victim.txt", std::string("keep me"));
    const std::string tables = dir.path("tables");
    ASSERT_EQ(::mkdir(tables.c_str(), 0755), 0);
    for (const bool link : {true, false}) {
        SCOPED_TRACE(link ? "a link" : "another file");
        TableFiles files(tables, 1);
        const std::size_t first = files.add(link ? "A.csv" : "B.csv");
        const std::size_t second = files.add("C.csv");
        ASSERT_NE(files.open(first), nullptr);
        files.open(first)->text("rows");
        ASSERT_NE(files.open(second), nullptr);  // the first is closed for it
        const std::string part = tables + (link ? "/A.csv.part" : "/B.csv.part");
        if (link) {
            ASSERT_EQ(::unlink(part.c_str()), 0);
            ASSERT_EQ(::symlink(victim.c_str(), part.c_str()), 0);
        } else {
            ASSERT_EQ(::rename(dir.write("other.txt", std::string("other")).c_str(), part.c_str()), 0);
        }
        EXPECT_EQ(files.open(first), nullptr);
        EXPECT_EQ(files.failure().rfind("cannot reopen " + part + ": ", 0), 0u) << files.failure();
        EXPECT_EQ(read_file(victim), "keep me");
        ::unlink(part.c_str());
    }
}

TEST(TableFiles, ADirectoryThatHoldsAnythingWantsForceWhichRemovesOnlyAnEarlierUnloadsFiles)
{
    ScratchDir dir;
    std::string message;
    bool refused = false;
    bool created = false;
    EXPECT_TRUE(prepare_directory(dir.path("new"), false, message, refused, created));
    EXPECT_TRUE(created);
    EXPECT_TRUE(prepare_directory(dir.path("new"), false, message, refused, created));  // empty
    EXPECT_FALSE(created);
    // An earlier unload's files, as its summary and scripts name them (a
    // name in escapes, a control file), its temporary files, and what is
    // not its own: another file, names with a path, a CSV file nothing names.
    dir.write("new/summary.json",
              std::string(R"({"tables": [{"owner": "S", "table": "T", "rows": 1, "files": {"rows": "S.T.csv", )"
                          R"("control": "S.T.ctl", "deleted": "S.T\u0041.deleted.csv"}, "binary_copies": )"
                          R"({"rows": "S.T.pgcopy"}, "sqlite": {"rows": "S.T.sql"}},)"
                          R"( {"files": {"rows": "../outside.csv", "stale": "sub/x.csv", "x": "keep.txt"}}]})"));
    dir.write("new/sqlite.sql", std::string(".import --csv --skip 1 \"Q \\\"1\\\".csv\" \"Q\"\n"));
    dir.write("new/postgres.sql", std::string("\\copy \"t\" FROM 'it''s.csv' WITH (FORMAT csv, HEADER)\n"));
    for (const char* name : {"S.T.csv", "S.T.ctl", "S.TA.deleted.csv", "S.T.pgcopy", "Q \"1\".csv", "it's.csv",
                             "S.T.stale.csv.part", "summary.json.part", "keep.txt", "mine.csv", "notes.part",
                             "S.T.sql"})
        dir.write(std::string("new/") + name, std::string("x"));
    dir.write("outside.csv", std::string("x"));
    EXPECT_FALSE(prepare_directory(dir.path("new"), false, message, refused, created));
    EXPECT_TRUE(refused);
    EXPECT_NE(message.find("add --force"), std::string::npos) << message;
    EXPECT_TRUE(prepare_directory(dir.path("new"), true, message, refused, created)) << message;
    EXPECT_FALSE(created);
    EXPECT_EQ(directory_entries(dir.path("new")), (std::set<std::string>{"keep.txt", "mine.csv", "notes.part", "S.T.sql"}));
    EXPECT_EQ(read_file(dir.path("outside.csv")), "x");
    EXPECT_FALSE(prepare_directory(dir.path("no/such/parent"), false, message, refused, created));
    EXPECT_FALSE(refused);
    EXPECT_NE(message.find("cannot create the directory"), std::string::npos) << message;
}

// ---------------------------------------------------------------------------
// CSV lines

// A row of values held in `bytes`: each given value, or NULL.
struct TestRow {
    std::vector<datafile::Bytes> bytes;
    Row row;

    TestRow(std::vector<std::optional<datafile::Bytes>> values, std::int32_t slot, bool deleted = false)
    {
        for (const auto& v : values) bytes.push_back(v.value_or(datafile::Bytes{}));
        for (std::size_t i = 0; i < values.size(); ++i) {
            const ByteView view(bytes[i].data(), bytes[i].size());
            row.values.push_back({view, static_cast<std::uint32_t>(bytes[i].size()),
                                  static_cast<std::uint16_t>(bytes[i].size()), !values[i].has_value()});
        }
        row.head = {4, 20, slot};
        row.object_id = 500;
        row.deleted = deleted;
        row.pieces = {row.head};
    }
};

datafile::Bytes text(std::string_view s) { return datafile::Bytes(s.begin(), s.end()); }

TEST(UnloadWriter, RowsGoToTheFileOfTheirKindWithAHeaderFirst)
{
    ScratchDir dir;
    UnloadPlan plan("");
    plan.add_schema(sample_schema(), TableSelection(), false);
    TableFiles files(dir.root());
    UnloadSummary summary;
    UnloadWriter writer(plan, files, summary);
    const RowTarget emp = *plan.target(500, 2);
    TestRow live({datafile::number_value("20"), text("SMITH, JR")}, 3);
    TestRow nulls({std::nullopt, text("")}, 4);
    TestRow deleted({datafile::number_value("30")}, 5, true);
    TestRow stale({datafile::number_value("10"), text("\xFF")}, -1);
    stale.row.pieces.push_back({4, 21, 0});
    stale.row.chain = Chain::MissingPiece;
    for (TestRow* r : {&live, &nulls, &deleted, &stale}) ASSERT_TRUE(writer.write(r->row, emp));
    const RowTarget sales = *plan.target(501, std::nullopt);
    TestRow sale({datafile::number_value("119.25")}, 0);
    ASSERT_TRUE(writer.write(sale.row, sales));
    TestRow gone({datafile::number_value("1")}, 1, true);
    ASSERT_TRUE(writer.write(gone.row, *plan.target(600, std::nullopt)));
    ASSERT_TRUE(writer.complete_tables());
    ASSERT_TRUE(files.finish());

    EXPECT_EQ(read_file(dir.path("SCOTT.EMP.csv")),
              "DEPTNO,ENAME,ROWID\r\n20,\"SMITH, JR\",AAAAH0AAEAAAAAUAAD\r\n,,AAAAH0AAEAAAAAUAAE\r\n");
    EXPECT_EQ(read_file(dir.path("SCOTT.EMP.deleted.csv")), "DEPTNO,ENAME,ROWID\r\n30,,AAAAH0AAEAAAAAUAAF\r\n");
    EXPECT_EQ(read_file(dir.path("SCOTT.EMP.stale.csv")), "DEPTNO,ENAME,ROWID\r\n10,0xFF,\r\n");
    EXPECT_EQ(read_file(dir.path("SCOTT.SALES.csv")), "AMOUNT,ROWID,PARTITION\r\n119.25,AAAAH0AAEAAAAAUAAA,P2019\r\n");
    // Only deleted rows: the table's file holds its header alone.
    EXPECT_EQ(read_file(dir.path("HR.NOTES.csv")), "ID,NOTE,LATIN,ROWID\r\n");
    EXPECT_EQ(read_file(dir.path("HR.NOTES.deleted.csv")), "ID,NOTE,LATIN,ROWID\r\n1,,,AAAAH0AAEAAAAAUAAB\r\n");

    // The value not decoded, with its row's file and record, its column and field.
    EXPECT_EQ(read_file(dir.path("SCOTT.EMP.undecoded.csv")),
              "KIND,RECORD,ROWID,COLUMN,FIELD,BYTES,REASON\r\nstale,1,,ENAME,2,FF,not text of its character set\r\n");
    EXPECT_FALSE(directory_entries(dir.root()).count("SCOTT.SALES.undecoded.csv"));
    const WrittenFiles written = writer.written();
    EXPECT_TRUE(written[0].undecoded);
    ASSERT_EQ(written[0].columns.size(), 2u);
    EXPECT_FALSE(written[0].columns[0].undecoded);
    EXPECT_TRUE(written[0].columns[1].undecoded);
    EXPECT_FALSE(written[1].undecoded);

    const TableCounts& c = summary.tables[0];
    EXPECT_EQ(c.rows, 2u);
    EXPECT_EQ(c.deleted, 1u);
    EXPECT_EQ(c.stale, 1u);
    EXPECT_EQ(c.reassembled, 1u);
    EXPECT_EQ(c.incomplete, 1u);
    EXPECT_EQ(c.not_decoded, 1u);
    EXPECT_EQ(row_kind(facts_of(stale.row)), RowKind::Stale);
    EXPECT_EQ(row_kind(facts_of(deleted.row)), RowKind::Deleted);
}

// Rows written by ranges, each into files in memory by a writer of its
// own and appended in order, are what one writer writes: the files, their
// values not decoded numbered through the whole file, the counts. A
// range's writer numbers the files of only the tables it writes rows of,
// and holds nothing of them once it is cleared for the next range.
TEST(UnloadWriter, RangesAppendedInOrderAreWhatOneWriterWrites)
{
    ScratchDir dir;
    UnloadPlan plan("");
    plan.add_schema(sample_schema(), TableSelection(), false);
    const RowTarget emp = *plan.target(500, 2);
    const RowTarget sales = *plan.target(501, std::nullopt);
    TestRow first({datafile::number_value("20"), text("\xFF")}, 3);
    TestRow deleted({datafile::number_value("30")}, 5, true);
    TestRow sale({datafile::number_value("119.25")}, 0);
    TestRow later({datafile::number_value("10"), text("\xFE")}, 6);
    const std::vector<std::vector<std::pair<const TestRow*, const RowTarget*>>> ranges{
        {{&first, &emp}, {&deleted, &emp}}, {{&sale, &sales}}, {{&later, &emp}, {&sale, &sales}}};

    const std::string one_dir = dir.path("one");
    const std::string by_ranges_dir = dir.path("ranges");
    std::filesystem::create_directory(one_dir);
    std::filesystem::create_directory(by_ranges_dir);
    TableFiles one_files(one_dir);
    UnloadSummary one_summary;
    UnloadWriter one(plan, one_files, one_summary);
    TableFiles files(by_ranges_dir);
    UnloadSummary summary;
    UnloadWriter writer(plan, files, summary);
    TableFiles range_files(TableFiles::InMemory{by_ranges_dir});
    UnloadSummary range_summary;
    UnloadWriter range(plan, range_files, range_summary, UnloadWriter::Writes::Range);
    for (const auto& rows : ranges) {
        for (const auto& [row, target] : rows) {
            ASSERT_TRUE(one.write(row->row, *target));
            ASSERT_TRUE(range.write(row->row, *target));
        }
        // Numbered from 0 in each range, in the order the range met them.
        EXPECT_EQ(range.file_of(rows[0].second->table, RowKind::Live), 0u);
        EXPECT_TRUE(range_summary.tables.empty());
        ASSERT_TRUE(writer.append(range, range_files));
        summary.add_range(range_summary);
        range.clear_range();
        EXPECT_EQ(range_files.open_count(), 0u);
        EXPECT_EQ(range_files.held_bytes(), 0u);
    }
    ASSERT_TRUE(one.complete_tables() && one_files.finish());
    ASSERT_TRUE(writer.complete_tables() && files.finish());

    EXPECT_EQ(directory_entries(by_ranges_dir), directory_entries(one_dir));
    for (const std::string& name : directory_entries(one_dir))
        EXPECT_EQ(read_file(by_ranges_dir + "/" + name), read_file(one_dir + "/" + name)) << name;
    EXPECT_EQ(read_file(by_ranges_dir + "/SCOTT.EMP.undecoded.csv"),
              "KIND,RECORD,ROWID,COLUMN,FIELD,BYTES,REASON\r\n"
              "rows,1,AAAAH0AAEAAAAAUAAD,ENAME,2,FF,not text of its character set\r\n"
              "rows,2,AAAAH0AAEAAAAAUAAG,ENAME,2,FE,not text of its character set\r\n");
    ASSERT_EQ(summary.tables.size(), one_summary.tables.size());
    for (std::size_t t = 0; t < summary.tables.size(); ++t) {
        SCOPED_TRACE(t);
        EXPECT_EQ(summary.tables[t].rows, one_summary.tables[t].rows);
        EXPECT_EQ(summary.tables[t].deleted, one_summary.tables[t].deleted);
        EXPECT_EQ(summary.tables[t].not_decoded, one_summary.tables[t].not_decoded);
    }
    EXPECT_EQ(summary.tables[0].rows, 2u);
    EXPECT_EQ(summary.tables[1].rows, 2u);
    const WrittenFiles written = writer.written();
    const WrittenFiles written_by_one = one.written();
    ASSERT_EQ(written[0].columns.size(), 2u);
    EXPECT_TRUE(written[0].columns[1].undecoded);
    EXPECT_EQ(written[0].columns[1].undecoded, written_by_one[0].columns[1].undecoded);
    EXPECT_EQ(written[1].any(), written_by_one[1].any());
}

// The values of hidden and unused columns: a line each for the rows that
// store one, of any kind, by rowid (none for a stale copy) and kind.
TEST(UnloadWriter, HiddenAndUnusedValuesGoToTheirOwnFileByRowidAndKind)
{
    ScratchDir dir;
    UnloadPlan plan("");
    plan.add_schema(sample_schema(), TableSelection(), false);
    const UnloadTable& notes = plan.tables()[2];
    ASSERT_EQ(notes.hidden_columns.size(), 2u);
    EXPECT_EQ(notes.hidden_columns[0].column.name, "SECRET");
    EXPECT_EQ(notes.hidden_columns[1].stored_index, 2u);
    TableFiles files(dir.root());
    UnloadSummary summary;
    UnloadWriter writer(plan, files, summary);
    const RowTarget target = *plan.target(600, std::nullopt);
    TestRow live({datafile::number_value("1"), text("s3cret"), datafile::number_value("42"), text("x")}, 0);
    TestRow plain({datafile::number_value("2"), std::nullopt, std::nullopt, text("y")}, 1);
    TestRow deleted({datafile::number_value("3"), std::nullopt, datafile::number_value("7")}, 2, true);
    TestRow stale({datafile::number_value("1"), text("old,one")}, -1);
    for (TestRow* r : {&live, &plain, &deleted, &stale}) {
        r->row.object_id = 600;
        ASSERT_TRUE(writer.write(r->row, target));
    }
    ASSERT_TRUE(writer.complete_tables());
    ASSERT_TRUE(files.finish());
    EXPECT_EQ(read_file(dir.path("HR.NOTES.hidden.csv")),
              "ROWID,SECRET,OLD,ROW_KIND\r\n"
              "AAAAJYAAEAAAAAUAAA,s3cret,42,live\r\n"
              "AAAAJYAAEAAAAAUAAC,,7,deleted\r\n"
              ",\"old,one\",,stale\r\n");
    EXPECT_EQ(read_file(dir.path("HR.NOTES.csv")),
              "ID,NOTE,LATIN,ROWID\r\n1,,x,AAAAJYAAEAAAAAUAAA\r\n2,,y,AAAAJYAAEAAAAAUAAB\r\n");
    EXPECT_EQ(summary.tables[2].hidden, 3u);
    EXPECT_EQ(summary.tables[2].all_rows(), 4u);
    EXPECT_EQ(summary.tables[0].hidden, 0u);
    EXPECT_FALSE(directory_entries(dir.root()).count("SCOTT.EMP.hidden.csv"));
}

// A table whose schema lacks some of its stored columns gets a column for
// each place of its rows, named COL<n> and typed as inference says; a
// table found whole keeps its order.
TEST(UnloadPlan, ColumnsNoSchemaDescribesAreCompletedFromTheRows)
{
    schema::Schema s = sample_schema();
    schema::Table& emp = s.tables[0];
    // Its third stored column lost, its fourth known.
    emp.columns.push_back(column("HIREDATE", "DATE", 4));
    schema::Column lost;
    lost.name = schema::undescribed_column_name(3);
    lost.segment_column = 3;
    lost.described = false;
    emp.columns.push_back(lost);
    emp.columns.back().column_number = 3;
    EXPECT_TRUE(schema::short_of_columns(emp));
    EXPECT_FALSE(schema::short_of_columns(s.tables[2]));
    UnloadPlan plan("");
    plan.add_schema(s, TableSelection(), false);
    EXPECT_TRUE(plan.tables()[0].written_later);
    EXPECT_FALSE(plan.tables()[2].written_later);
    EXPECT_EQ(plan.tables()[0].stored_width, 4u);

    // Inference saw rows of six values: places 3, 5 and 6 are not described.
    std::vector<schema::Column> inferred(6, column("C", "NUMBER(5)", 0));
    inferred[4] = column("C", "VARCHAR2(20)", 0);
    inferred[4].comment = "3 values: 100 % VARCHAR2, 0 NULL";
    plan.complete_columns(0, 6, inferred);
    const UnloadTable& completed = plan.tables()[0];
    EXPECT_EQ(names(completed), (std::vector<std::string>{"DEPTNO", "ENAME", "COL3", "HIREDATE", "COL5", "COL6"}));
    EXPECT_EQ(completed.columns_unknown, (std::vector<std::string>{"COL3", "COL5", "COL6"}));
    EXPECT_EQ(completed.columns[2].stored_index, 2u);
    EXPECT_EQ(completed.columns[2].column.type, OracleType::Number);
    EXPECT_EQ(completed.columns[4].column.type, OracleType::Varchar2);
    EXPECT_EQ(completed.columns[4].column.comment, "3 values: 100 % VARCHAR2, 0 NULL");
    EXPECT_FALSE(completed.columns[4].column.described);
    EXPECT_EQ(completed.columns[5].names.sqlite, "COL6");
    EXPECT_EQ(csv_header(completed, RowKind::Live), "DEPTNO,ENAME,COL3,HIREDATE,COL5,COL6,ROWID\r\n");

    // HR.NOTES, found no wider than its columns: as it was.
    const std::vector<std::string> before = names(plan.tables()[2]);
    plan.complete_columns(2, 3, {});
    EXPECT_EQ(names(plan.tables()[2]), before);
    EXPECT_TRUE(plan.tables()[2].columns_unknown.empty());
    EXPECT_EQ(plan.tables()[2].hidden_columns.size(), 2u);
}

// A dropped table is named as its name with the dropped kind's: beside a
// live table of the same name, and hashed when that is taken too.
TEST(UnloadPlan, DroppedTablesTakeTheNamesTheirNamesakesKeepFree)
{
    schema::Schema s = sample_schema();
    schema::Table old_emp = s.tables[0];
    old_emp.dropped = true;
    old_emp.data_object = 400;
    old_emp.cluster.reset();
    schema::Table older_emp = old_emp;
    older_emp.data_object = 300;
    // A live table whose name ends as a dropped one's would: it yields.
    schema::Table literal = s.tables[2];
    literal.owner = "SCOTT";
    literal.name = "EMP.dropped";
    literal.data_object = 610;
    s.tables = {old_emp, literal, s.tables[0], older_emp};
    UnloadPlan plan("");
    plan.add_schema(s, TableSelection(), false);
    const TableNames& dropped = plan.tables()[0].names;
    EXPECT_EQ(dropped.csv_file(RowKind::Live), "SCOTT.EMP.dropped.csv");
    EXPECT_EQ(dropped.csv_file(RowKind::Deleted), "SCOTT.EMP.dropped.deleted.csv");
    EXPECT_EQ(dropped.sqlite_table(RowKind::Live), "SCOTT.EMP$dropped");
    EXPECT_EQ(dropped.sqlite_table(RowKind::Hidden), "SCOTT.EMP$dropped$hidden");
    EXPECT_EQ(dropped.postgres_table(RowKind::Stale), "EMP$dropped$stale");
    EXPECT_EQ(plan.tables()[2].names.csv_file(RowKind::Live), "SCOTT.EMP.csv");
    EXPECT_TRUE(plan.tables()[0].dropped);
    // The second dropped SCOTT.EMP, and the table named EMP.dropped: hashed, never the same.
    const std::string again = plan.tables()[3].names.file_stem;
    EXPECT_TRUE(again.starts_with("SCOTT.EMP~") && again.ends_with(".dropped")) << again;
    EXPECT_NE(plan.tables()[1].names.file_stem, "SCOTT.EMP.dropped");
    std::set<std::string> files;
    for (const UnloadTable& table : plan.tables())
        for (RowKind kind : kAllRowKinds) EXPECT_TRUE(files.insert(table.names.csv_file(kind)).second);
}

TEST(UnloadWriter, ATimeZonesValueHasItsZoneAfterItAndValuesKeptAsTextAreCounted)
{
    ScratchDir dir;
    schema::Schema s;
    schema::Table t;
    t.owner = "HR";
    t.name = "T";
    t.data_object = 700;
    t.columns = {column("TS", "TIMESTAMP(9) WITH TIME ZONE", 1), column("N", "NUMBER", 2)};
    s.tables = {t};
    UnloadPlan plan("");
    plan.add_schema(s, TableSelection(), false);
    TableFiles files(dir.root());
    UnloadSummary summary;
    UnloadWriter writer(plan, files, summary);
    TestRow region({datafile::timestamp_region_value(1500, 3, 1, 10, 0, 0, 1, 615),
                    datafile::number_value("12345678901234567890")},
                   0);
    TestRow nulls({std::nullopt, datafile::number_value("1.5")}, 1);
    TestRow short_row({}, 2);
    for (TestRow* r : {&region, &nulls, &short_row}) {
        r->row.object_id = 700;
        ASSERT_TRUE(writer.write(r->row, *plan.target(700, std::nullopt)));
    }
    ASSERT_TRUE(files.finish());
    EXPECT_EQ(read_file(dir.path("HR.T.csv")),
              "TS,TS$zone,N,ROWID\r\n1500-03-01 10:00:00.000000001 +00:00,US/Pacific,12345678901234567890,AAAAK8AAEAAAAAUAAA\r\n"
              ",,1.5,AAAAK8AAEAAAAAUAAB\r\n,,,AAAAK8AAEAAAAAUAAC\r\n");
    // The region's name, the Julian date and the nanoseconds; the number's 20 digits in SQLite.
    EXPECT_EQ(summary.tables[0].kept_as_text_sqlite, 2u);
    EXPECT_EQ(summary.tables[0].kept_as_text_postgres, 1u);
    const WrittenFiles written = writer.written();
    using namespace value_facts;
    EXPECT_EQ(written[0].columns[0].facts, kBeforeGregorian | kNanoseconds | kRegion);
    EXPECT_EQ(written[0].columns[1].facts, kLongDecimal);
}

TEST(UnloadWriter, HeaderNamesAreQuotedWhenTheyMustBe)
{
    UnloadTable table;
    table.columns.resize(2);
    table.columns[0].names.text = "A,B";
    table.columns[1].names.text = "SAY \"HI\"";
    table.partitioned = true;
    EXPECT_EQ(csv_header(table, RowKind::Live), "\"A,B\",\"SAY \"\"HI\"\"\",ROWID,PARTITION\r\n");
}

// ---------------------------------------------------------------------------
// Loading scripts and the summary

TEST(LoaderScripts, TypesThatCompareAsTheOriginalsDo)
{
    auto sqlite = [](std::string_view type) { return sqlite_type(schema::parse_sql_type(type).value); };
    auto postgres = [](std::string_view type) { return postgres_type(schema::parse_sql_type(type).value); };
    // Numbers without a type: each value is an INTEGER, a REAL or its
    // digits as the load decides, which no affinity then converts.
    EXPECT_EQ(sqlite("NUMBER(10)"), "");
    EXPECT_EQ(sqlite("NUMBER"), "");
    EXPECT_EQ(sqlite("FLOAT(126)"), "");
    EXPECT_EQ(sqlite("BINARY_DOUBLE"), "REAL");
    // NUMERIC affinity: ISO text stays text, a BC date's Julian day a number.
    EXPECT_EQ(sqlite("DATE"), "DATE");
    EXPECT_EQ(sqlite("TIMESTAMP(9) WITH TIME ZONE"), "TIMESTAMP");
    EXPECT_EQ(sqlite("RAW(16)"), "BLOB");
    EXPECT_EQ(sqlite("CLOB"), "TEXT");
    EXPECT_EQ(postgres("NUMBER(12,2)"), "numeric");
    EXPECT_EQ(postgres("DATE"), "timestamp(0)");
    EXPECT_EQ(postgres("TIMESTAMP(9)"), "timestamp");
    EXPECT_EQ(postgres("TIMESTAMP WITH TIME ZONE"), "timestamptz");
    EXPECT_EQ(postgres("INTERVAL DAY TO SECOND"), "interval");
    EXPECT_EQ(postgres("LONG RAW"), "bytea");
    EXPECT_EQ(postgres("BINARY_FLOAT"), "real");
    EXPECT_EQ(postgres("CHAR(3)"), "text");
}

TEST(LoaderScripts, EachScriptLoadsTheFilesWritten)
{
    UnloadPlan plan("");
    schema::Schema s = sample_schema();
    s.tables[0].columns.push_back(column("PHOTO", "RAW(8)", 3));
    plan.add_schema(s, TableSelection(), false);
    WrittenFiles written(plan.tables().size());
    written[0].files = {true, true, false};  // SCOTT.EMP: live and deleted rows
    written[1].files = {true, false, false};

    // SCOTT.EMP has values not decoded in ENAME.
    written[0].undecoded = true;
    written[0].columns = {{}, {0, true}, {}};

    // Each file through a temporary table of text, converted into its table.
    const std::string sqlite = sqlite_script(plan, written);
    EXPECT_NE(sqlite.find("CREATE TABLE \"SCOTT.EMP\" (\"DEPTNO\", \"ENAME\" TEXT, \"PHOTO\" BLOB, \"ROWID\" TEXT);\n"
                          "CREATE TEMP TABLE \"unload_staging\" (\"c1\", \"c2\", \"c3\", \"c4\");\n"
                          ".import --csv --skip 1 --schema temp \"SCOTT.EMP.csv\" \"unload_staging\"\n"
                          "UPDATE temp.\"unload_staging\" SET \"c2\" = NULL WHERE _rowid_ IN (SELECT \"RECORD\" FROM "
                          "\"SCOTT.EMP$undecoded\" WHERE \"KIND\" = 'rows' AND \"FIELD\" = 2);\n"
                          "INSERT INTO \"SCOTT.EMP\" SELECT CASE WHEN \"c1\" = '' THEN NULL"),
              std::string::npos)
        << sqlite;
    // The values not decoded first, into a table of their own.
    EXPECT_LT(sqlite.find("CREATE TABLE \"SCOTT.EMP$undecoded\" (\"KIND\" TEXT, \"RECORD\" INTEGER, \"ROWID\" TEXT, "
                          "\"COLUMN\" TEXT, \"FIELD\" INTEGER, \"BYTES\" TEXT, \"REASON\" TEXT);\n"),
              sqlite.find("CREATE TABLE \"SCOTT.EMP\" ("));
    EXPECT_NE(sqlite.find(".import --csv --skip 1 --schema temp \"SCOTT.EMP.deleted.csv\" \"unload_staging\"\n"
                          "UPDATE temp.\"unload_staging\" SET \"c2\" = NULL WHERE _rowid_ IN (SELECT \"RECORD\" FROM "
                          "\"SCOTT.EMP$undecoded\" WHERE \"KIND\" = 'deleted' AND \"FIELD\" = 2);\n"
                          "INSERT INTO \"SCOTT.EMP$deleted\" SELECT "),
              std::string::npos);
    EXPECT_NE(sqlite.find(", NULLIF(\"c3\", '') FROM temp.\"unload_staging\" ORDER BY _rowid_;"), std::string::npos);
    EXPECT_EQ(sqlite.find("SCOTT.EMP.stale.csv"), std::string::npos);
    EXPECT_EQ(sqlite.find("HR.NOTES"), std::string::npos);
    EXPECT_EQ(sqlite.find("SCOTT.SALES$undecoded"), std::string::npos);
    EXPECT_NE(sqlite.find(".output \"sqlite-blobs.tmp\"\nSELECT 'UPDATE ' || '\"SCOTT.EMP\"'"), std::string::npos);

    const std::string postgres = postgres_script(plan, written);
    EXPECT_NE(postgres.find("CREATE SCHEMA IF NOT EXISTS \"SCOTT\";\nCREATE TABLE \"SCOTT\".\"EMP$undecoded\" ("),
              std::string::npos)
        << postgres;
    EXPECT_NE(postgres.find("CREATE TABLE \"SCOTT\".\"EMP\" (\"DEPTNO\" numeric, \"ENAME\" text, \"PHOTO\" bytea, "
                            "\"ROWID\" text);\n"),
              std::string::npos)
        << postgres;
    // Numbered where the values not decoded are found by their records.
    EXPECT_NE(postgres.find("CREATE TEMP TABLE \"unload_staging\" (\"unload_record\" bigserial, \"c1\" text, \"c2\" text, "
                            "\"c3\" text, \"c4\" text);\n\\copy \"unload_staging\" (\"c1\", \"c2\", \"c3\", \"c4\") FROM "
                            "'SCOTT.EMP.deleted.csv' WITH (FORMAT csv, HEADER)\n"
                            "UPDATE \"unload_staging\" SET \"c2\" = NULL WHERE \"unload_record\" IN (SELECT \"RECORD\" FROM "
                            "\"SCOTT\".\"EMP$undecoded\" WHERE \"KIND\" = 'deleted' AND \"FIELD\" = 2);\n"),
              std::string::npos);
    EXPECT_NE(postgres.find("\\copy \"unload_staging\" FROM 'SCOTT.SALES.csv' WITH (FORMAT csv, HEADER)\n"),
              std::string::npos);
    EXPECT_NE(postgres.find(", decode(\"c3\", 'hex'), \"c4\" FROM \"unload_staging\" ORDER BY \"unload_record\";"),
              std::string::npos);
    EXPECT_EQ(postgres.find("CREATE SCHEMA IF NOT EXISTS \"HR\""), std::string::npos);

    const std::string control = control_file(plan.tables()[1]);
    EXPECT_NE(control.find("INFILE 'SCOTT.SALES.csv' \"STR '\\r\\n'\"\nAPPEND\nINTO TABLE \"SCOTT\".\"SALES\"\n"),
              std::string::npos)
        << control;
    EXPECT_NE(control.find("  \"AMOUNT\",\n  ROWID_TEXT FILLER CHAR(18),\n  PARTITION_NAME FILLER CHAR(128)\n)\n"),
              std::string::npos)
        << control;
}

TEST(LoaderScripts, ControlFilesGiveDateMasksAndRoomForLongFields)
{
    UnloadTable table;
    table.owner = "HR";
    table.name = "T";
    table.names.file_stem = "HR.T";
    for (std::string_view type : {"DATE", "TIMESTAMP(6)", "TIMESTAMP WITH TIME ZONE", "VARCHAR2(4000)", "LONG"}) {
        const schema::Column c = column("C", type, 1);
        ColumnNames names;
        names.text = names.sqlite = names.postgres = "C";
        names.set_companions({"C$zone", "", ""}, {});
        table.columns.push_back({c, 0, load_column(c.type), names});
    }
    const std::string control = control_file(table);
    // A time zone's value is followed by its zone, which the loader passes over.
    EXPECT_NE(control.find("\"C\" DATE \"YYYY-MM-DD HH24:MI:SS\",\n  \"C\" TIMESTAMP \"YYYY-MM-DD HH24:MI:SS.FF\",\n"
                           "  \"C\" TIMESTAMP WITH TIME ZONE \"YYYY-MM-DD HH24:MI:SS.FF TZH:TZM\",\n"
                           "  \"C$zone\" FILLER CHAR(64),\n"
                           "  \"C\" CHAR(16002),\n  \"C\" CHAR(1048576),\n"),
              std::string::npos)
        << control;
}

TEST(UnloadSummary, JsonWithEveryFieldAndATableForReaders)
{
    UnloadPlan plan("");
    plan.add_schema(sample_schema(), TableSelection(), false);
    UnloadSummary summary;
    summary.tables.resize(plan.tables().size());
    summary.tables[0] = {14, 1, 0, 2, 1, 3};
    summary.objects[500] = {3, 1, 15, 1, 0};
    summary.objects[87150] = {2, 0, 167, 7, 1};
    summary.blocks_read = 9;
    summary.blocks_damaged = 1;
    summary.orphans = 2;
    // HR.NOTES lost its one block; SCOTT.SALES's partitions lie in a file not read.
    summary.losses.resize(plan.tables().size());
    summary.losses[2] = {1, 1, 0, "file 4 block 43 (all zeros)", "1 block, all zeros", "", true};
    summary.blocks_lost = 1;
    summary.cut_files.push_back({"users01.dbf", 104, 103, 13});
    WrittenFiles written(plan.tables().size());
    written[0].files = {true, true, false, false};
    written[2].files = {true, false, false, true};
    summary.tables[2].rows = 7;
    summary.tables[2].hidden = 5;
    written[0].undecoded = true;
    summary.tables[0].kept_as_text_sqlite = 4;
    summary.tables[0].kept_as_text_postgres = 5;
    RunEvidence evidence;
    evidence.command_line = {"trevanix", "--unload", "out\xFF"};
    evidence.started = std::chrono::system_clock::time_point(std::chrono::seconds(1700000000));
    evidence.ended = evidence.started + std::chrono::seconds(61);
    InputEvidence system{"system01.dbf", "dictionary", 8192, Sha256().finish(), FileHeaderFacts{}, {16384, ByteOrder::Big}};
    system.header->file_header = true;
    system.header->database_name = "ORCL";
    system.header->database_id = 42;
    system.header->absolute_file = system.header->relative_file = 1;
    system.header->tablespace = "SYSTEM";
    evidence.inputs = {system, {"users01.dbf", "data file", std::nullopt, std::nullopt, FileHeaderFacts{}, {}}};
    const Json json = parse_json(summary_json(plan, summary, written, evidence));
    EXPECT_EQ(json.keys(), (std::vector<std::string>{"run", "inputs", "tables", "unknown_objects", "blocks_read",
                                                     "blocks_damaged", "blocks_lost", "orphans", "blocks_encrypted",
                                                     "cut_short_files"}));
    // The run, its command line as valid UTF-8 and as its exact bytes.
    const Json& run = json["run"];
    EXPECT_EQ(run.keys(), (std::vector<std::string>{"tool", "version", "command_line", "command_line_hex", "started",
                                                    "ended", "workers"}));
    EXPECT_EQ(run["command_line"].items[2].text, "out\\xFF");
    EXPECT_EQ(run["command_line_hex"].items[2].text, "6F7574FF");
    EXPECT_EQ(run["started"].text, "2023-11-14T22:13:20Z");
    EXPECT_EQ(run["ended"].text, "2023-11-14T22:14:21Z");
    // Each file read: its hash, and what its header says.
    ASSERT_EQ(json["inputs"].items.size(), 2u);
    const Json& input = json["inputs"].items[0];
    EXPECT_EQ(input["sha256"].text, "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(input["size"].text, "8192");
    EXPECT_EQ(input["header"].keys(), (std::vector<std::string>{"database", "database_id", "absolute_file",
                                                                "relative_file", "tablespace", "block_size",
                                                                "byte_order"}));
    EXPECT_EQ(input["header"]["database"].text, "ORCL");
    EXPECT_EQ(input["header"]["block_size"].text, "16384");
    EXPECT_EQ(input["header"]["byte_order"].text, "big");
    EXPECT_EQ(json["inputs"].items[1]["sha256"].kind, Json::Null);
    EXPECT_EQ(json["inputs"].items[1]["header"].kind, Json::Null);
    ASSERT_EQ(json["tables"].items.size(), 3u);
    const Json& emp = json["tables"].items[0];
    EXPECT_EQ(emp.keys(), (std::vector<std::string>{"owner", "table", "dropped", "rows", "deleted", "stale", "hidden",
                                                    "reassembled", "incomplete", "not_decoded", "lobs_read",
                                                    "lobs_incomplete", "incomplete_lobs", "kept_as_text", "blocks",
                                                    "damaged_blocks", "lost_blocks", "compressed_blocks",
                                                    "types_not_decoded", "files", "sqlite", "postgres",
                                                    "columns_unknown"}));
    EXPECT_EQ(emp["owner"].text, "SCOTT");
    EXPECT_EQ(emp["rows"].text, "14");
    EXPECT_EQ(emp["blocks"].text, "3");
    EXPECT_EQ(emp["dropped"].kind, Json::Bool);
    EXPECT_FALSE(emp["dropped"].boolean);
    EXPECT_EQ(emp["hidden"].text, "0");
    EXPECT_TRUE(emp["columns_unknown"].items.empty());
    const Json& notes = json["tables"].items[2];
    EXPECT_EQ(notes["hidden"].text, "5");
    EXPECT_EQ(notes["files"]["hidden"].text, "HR.NOTES.hidden.csv");
    EXPECT_EQ(notes["sqlite"]["hidden"].text, "HR.NOTES$hidden");
    EXPECT_EQ(notes["postgres"]["hidden"].text, "NOTES$hidden");
    EXPECT_EQ(emp["damaged_blocks"].text, "1");
    EXPECT_EQ(emp["lost_blocks"].text, "0");
    EXPECT_EQ(emp["kept_as_text"]["sqlite"].text, "4");
    EXPECT_EQ(emp["kept_as_text"]["postgres"].text, "5");
    // Where its rows went: each file written, and the tables the scripts load them into.
    EXPECT_EQ(emp["files"].keys(), (std::vector<std::string>{"rows", "deleted", "undecoded", "control"}));
    EXPECT_EQ(emp["files"]["deleted"].text, "SCOTT.EMP.deleted.csv");
    EXPECT_EQ(emp["files"]["undecoded"].text, "SCOTT.EMP.undecoded.csv");
    EXPECT_EQ(emp["files"]["control"].text, "SCOTT.EMP.ctl");
    EXPECT_EQ(emp["sqlite"]["deleted"].text, "SCOTT.EMP$deleted");
    EXPECT_EQ(emp["sqlite"]["undecoded"].text, "SCOTT.EMP$undecoded");
    EXPECT_EQ(emp["postgres"].keys(), (std::vector<std::string>{"schema", "rows", "deleted", "undecoded"}));
    EXPECT_EQ(emp["postgres"]["schema"].text, "SCOTT");
    EXPECT_EQ(emp["postgres"]["rows"].text, "EMP");
    EXPECT_TRUE(json["tables"].items[1]["files"].keys().empty());
    EXPECT_EQ(notes["lost_blocks"].text, "1");
    EXPECT_EQ(notes["lost_places"].text, "file 4 block 43 (all zeros)");
    EXPECT_EQ(notes["without_rows"].text, "1 block, all zeros");
    ASSERT_EQ(json["unknown_objects"].items.size(), 1u);
    const Json& unknown = json["unknown_objects"].items[0];
    EXPECT_EQ(unknown.keys(), (std::vector<std::string>{"data_object", "blocks", "rows", "live_rows", "deleted_rows",
                                                        "stale_rows"}));
    EXPECT_EQ(unknown["data_object"].text, "87150");
    EXPECT_EQ(unknown["rows"].text, "167");
    EXPECT_EQ(unknown["live_rows"].text, "159");
    EXPECT_EQ(json["orphans"].text, "2");
    EXPECT_EQ(json["blocks_lost"].text, "1");
    ASSERT_EQ(json["cut_short_files"].items.size(), 1u);
    EXPECT_EQ(json["cut_short_files"].items[0]["missing_blocks"].text, "13");
    EXPECT_FALSE(summary.sound(plan));

    const std::string table = summary_table(plan, summary);
    EXPECT_EQ(table,
              "           rows                                                   values       blocks\n"
              "table      live  deleted  stale  hidden  reassembled  incomplete  not decoded    read  damaged    lost\n"
              "SCOTT.EMP    14        1      0       0            2           1            3       3        1       0\n"
              "HR.NOTES      7        0      0       5            0           0            0       0        0       1\n"
              "1 table of the schema had no rows in the files: SCOTT.SALES\n"
              "HR.NOTES lost the 1 block that should hold its rows: file 4 block 43 (all zeros)\n"
              "9 blocks read, 1 block damaged (the rows that could be read unloaded all the same), 1 block lost (holding none of the "
              "rows they should), 2 orphan pieces (pieces whose row's head was not found)\n"
              "users01.dbf is cut short: 13 of 104 blocks missing (the file header gives 103 blocks after block 0)\n"
              "data objects no schema entry describes:\n"
              "  87150: 2 blocks, 159 live rows, 7 deleted rows, 1 stale row\n");

    // Nothing damaged, lost, incomplete or undecoded: sound.
    UnloadSummary sound;
    sound.tables.resize(plan.tables().size());
    sound.tables[0] = {14, 1, 0, 2, 0, 0};
    EXPECT_TRUE(sound.sound(plan));
    for (auto spoil : std::vector<void (*)(UnloadSummary&)>{
             [](UnloadSummary& s) { s.blocks_damaged = 1; }, [](UnloadSummary& s) { s.blocks_lost = 1; },
             [](UnloadSummary& s) { s.orphans = 1; }, [](UnloadSummary& s) { s.unaccounted_segments = 1; },
             [](UnloadSummary& s) { s.tables[0].incomplete = 1; }, [](UnloadSummary& s) { s.tables[0].not_decoded = 1; },
             [](UnloadSummary& s) { s.cut_files.push_back({}); }, [](UnloadSummary& s) { s.blocks_encrypted = 1; },
             [](UnloadSummary& s) { s.objects[87150].compressed_blocks = 1; }}) {
        UnloadSummary spoilt = sound;
        spoil(spoilt);
        EXPECT_FALSE(spoilt.sound(plan));
    }
}

}  // namespace
