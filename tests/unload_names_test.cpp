// The names an unload gives its tables and columns, and the escaping of
// text for each place it is written: terminals, JSON, the loaders' SQL,
// the sqlite3 shell's and psql's commands, a POSIX shell, and PostgreSQL's
// binary copies of CSV files that psql could not copy.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "schema/oracle_types.h"
#include "test_support.h"
#include "unload/binary_copy.h"
#include "unload/lob_files.h"
#include "unload/script_text.h"
#include "unload/table_files.h"
#include "unload/unload_plan.h"
#include "values/escaped_text.h"

namespace {

using namespace unload;

// ---------------------------------------------------------------------------
// Escaped text

TEST(EscapedText, OnlyWhatATerminalWouldObeyOrCannotReadIsEscaped)
{
    EXPECT_EQ(terminal_text("SCOTT.EMP Cr\xC3\xA8me \\x41"), "SCOTT.EMP Cr\xC3\xA8me \\x41");
    EXPECT_EQ(terminal_text(std::string("a\0b\nc\x1B]0;t\x07\x7F", 12)), "a\\x00b\\x0Ac\\x1B]0;t\\x07\\x7F");
    EXPECT_EQ(terminal_text("\xC2\x9B" "2J \xC2\xA0"), "\\xC2\\x9B2J \xC2\xA0");        // U+009B (CSI) and U+00A0
    EXPECT_EQ(terminal_text("\xFF\xC3 \xE2\x82"), "\\xFF\\xC3 \\xE2\\x82");                // not UTF-8, or cut short
    EXPECT_EQ(valid_utf8(std::string("a\nb\xFF\xC2\x9B", 6)), "a\nb\\xFF\xC2\x9B");
    EXPECT_TRUE(is_plain_text("SCOTT.EMP$deleted \xE6\x9D\xB1"));
    for (const std::string& text : std::vector<std::string>{"a\n", "\x1B", "\xC2\x85", "\xFF", std::string(1, '\0')})
        EXPECT_FALSE(is_plain_text(text));
    EXPECT_EQ(terminal_lines("T\x1B[2J\nsecond\n"), "T\\x1B[2J\nsecond\n");
    EXPECT_EQ(json_string("a\"b\\c\n\xFF"), "\"a\\\"b\\\\c\\u000a\\\\xFF\"");
    EXPECT_EQ(hex_text("\x01\xAB"), "01AB");
}

// ---------------------------------------------------------------------------
// The names

schema::Column text_column(std::string name, std::uint32_t position)
{
    schema::Column c = schema::parse_sql_type("VARCHAR2(10)").value;
    c.name = std::move(name);
    c.column_number = c.segment_column = c.internal_column = position;
    return c;
}

schema::Table table(std::string owner, std::string name, std::vector<std::string> columns = {"V"})
{
    static std::uint32_t next_object = 1000;
    schema::Table t;
    t.owner = std::move(owner);
    t.name = std::move(name);
    t.data_object = next_object++;
    for (std::size_t i = 0; i < columns.size(); ++i)
        t.columns.push_back(text_column(columns[i], static_cast<std::uint32_t>(i + 1)));
    return t;
}

// The plan of the tables, all of them unloaded.
UnloadPlan plan_of(std::vector<schema::Table> tables)
{
    UnloadPlan plan("");
    schema::Schema s;
    s.tables = std::move(tables);
    plan.add_schema(s, TableSelection(), false);
    return plan;
}

// Every name of every kind each table of the plan gives in one place.
template <class NamesOf>
void expect_unique(const UnloadPlan& plan, NamesOf names_of, bool any_case, std::size_t most_bytes)
{
    std::set<std::string> seen;
    for (const UnloadTable& t : plan.tables())
        for (std::string name : names_of(t)) {
            EXPECT_LE(name.size(), most_bytes) << name;
            EXPECT_TRUE(is_plain_text(name)) << name;
            if (any_case)
                for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            EXPECT_TRUE(seen.insert(name).second) << name << " twice";
        }
}

std::vector<std::string> file_names(const UnloadTable& t)
{
    std::vector<std::string> names{t.names.control_file()};
    for (RowKind kind : kAllRowKinds) {
        names.push_back(t.names.csv_file(kind) + std::string(kPartSuffix));
        names.push_back(t.names.binary_copy_file(kind) + std::string(kPartSuffix));
    }
    return names;
}

std::vector<std::string> sqlite_names(const UnloadTable& t)
{
    std::vector<std::string> names;
    for (RowKind kind : kAllRowKinds) names.push_back(t.names.sqlite_table(kind));
    return names;
}

std::vector<std::string> postgres_names(const UnloadTable& t)
{
    std::vector<std::string> names;
    for (RowKind kind : kAllRowKinds) names.push_back(t.names.postgres_schema + "/" + t.names.postgres_table(kind));
    return names;
}

TEST(TableNames, OrdinaryNamesKeepTheirPlainForms)
{
    const UnloadPlan plan = plan_of({table("SCOTT", "EMP", {"ENAME", "Sal"}), table("", "OBJ_87150", {"C1"})});
    const TableNames& emp = plan.tables()[0].names;
    EXPECT_EQ(emp.csv_file(RowKind::Live), "SCOTT.EMP.csv");
    EXPECT_EQ(emp.csv_file(RowKind::Deleted), "SCOTT.EMP.deleted.csv");
    EXPECT_EQ(emp.binary_copy_file(RowKind::Stale), "SCOTT.EMP.stale.pgcopy");
    EXPECT_EQ(emp.control_file(), "SCOTT.EMP.ctl");
    EXPECT_EQ(emp.sqlite_table(RowKind::Deleted), "SCOTT.EMP$deleted");
    EXPECT_EQ(emp.postgres_schema, "SCOTT");
    EXPECT_EQ(emp.postgres_table(RowKind::Stale), "EMP$stale");
    const OutputColumn& sal = plan.tables()[0].columns[1];
    EXPECT_EQ(sal.names.text, "Sal");
    EXPECT_EQ(sal.names.sqlite, "Sal");
    EXPECT_EQ(sal.names.postgres, "Sal");
    const TableNames& inferred = plan.tables()[1].names;
    EXPECT_EQ(inferred.csv_file(RowKind::Live), "OBJ_87150.csv");
    EXPECT_EQ(inferred.sqlite, "OBJ_87150");
    EXPECT_EQ(inferred.postgres_schema, "public");
    EXPECT_EQ(inferred.postgres, "OBJ_87150");
}

TEST(TableNames, BytesATargetCannotHoldAreEscaped)
{
    const UnloadPlan plan = plan_of({table("SCOTT", "N\n.shell x\xFF", {"C\r\\!\x1B"}), table("-v", "T"),
                                     table("|touch M", "T"), table("sqlite_x", "T"), table("pg_x", "T")});
    const UnloadTable& hostile = plan.tables()[0];
    EXPECT_EQ(hostile.names.file_stem, "SCOTT.N%0A.shell x%FF");
    EXPECT_EQ(hostile.names.sqlite, "SCOTT.N\\x0A.shell x\\xFF");
    EXPECT_EQ(hostile.names.postgres, "N\\x0A.shell x\\xFF");
    EXPECT_EQ(hostile.columns[0].names.text, "C\\x0D\\!\\x1B");
    EXPECT_EQ(hostile.columns[0].names.postgres, "C\\x0D\\!\\x1B");
    // What the sqlite3 shell takes for an option or a command, or SQLite
    // and PostgreSQL reserve.
    EXPECT_EQ(plan.tables()[1].names.file_stem, "%2Dv.T");
    EXPECT_EQ(plan.tables()[1].names.sqlite, "~-v.T");
    EXPECT_EQ(plan.tables()[2].names.file_stem, "%7Ctouch M.T");
    EXPECT_EQ(plan.tables()[3].names.sqlite, "~sqlite_x.T");
    EXPECT_EQ(plan.tables()[4].names.postgres_schema, "~pg_x");
    EXPECT_EQ(plan.tables()[4].names.sqlite, "pg_x.T");
}

TEST(TableNames, NamesThatCollideAreMadeUniqueWhateverTheOrder)
{
    const std::vector<schema::Table> tables = {
        table("X", "A.B"), table("X.A", "B"),                         // one file name
        table("SCOTT", "T.deleted"), table("SCOTT", "T"),             // T's deleted rows' file
        table("SCOTT", "T$stale"), table("SCOTT", "EMP"), table("SCOTT", "emp"),  // SQLite reads names in any case
        table("SCOTT", "A\nB"), table("SCOTT", "A\\x0AB"),            // one once escaped
        table("SCOTT", "DUP"), table("SCOTT", "DUP"),                 // the same
        table("public", "OBJ_1"), table("", "OBJ_1"),                 // the schema of tables without owner
        table("SCOTT", std::string(63, 'M') + "1"), table("SCOTT", std::string(63, 'M') + "2"),
        table("SCOTT", std::string(300, 'W')), table(std::string(128, 'O'), std::string(128, 'P')),
    };
    for (bool reversed : {false, true}) {
        std::vector<schema::Table> order = tables;
        if (reversed) std::reverse(order.begin(), order.end());
        const UnloadPlan plan = plan_of(order);
        expect_unique(plan, file_names, false, 255);
        expect_unique(plan, sqlite_names, true, std::string::npos);
        expect_unique(plan, postgres_names, false, 63 + 1 + 63);
        for (const UnloadTable& t : plan.tables()) {
            EXPECT_LE(t.names.postgres_schema.size(), 63u);
            EXPECT_LE(t.names.postgres_table(RowKind::Deleted).size(), 63u);
            // The name that needed no change keeps it, whichever comes first.
            if (t.qualified_name() == "SCOTT.T") {
                EXPECT_EQ(t.names.csv_file(RowKind::Deleted), "SCOTT.T.deleted.csv");
            } else if (t.qualified_name() == "SCOTT.T$stale") {
                EXPECT_NE(t.names.sqlite, "SCOTT.T$stale");
            } else if (t.qualified_name() == "SCOTT.A\\x0AB") {
                EXPECT_EQ(t.names.sqlite, "SCOTT.A\\x0AB");
            }
        }
    }
    // The suffix is stable: the same bytes give the same name in every run.
    const UnloadPlan plan = plan_of(tables);
    EXPECT_EQ(plan.tables()[1].names.file_stem, "X.A.B~4ef6cf32");
    EXPECT_EQ(plan.tables()[2].names.file_stem, "SCOTT.T.deleted~4cb92acf");
    EXPECT_EQ(plan.tables()[12].names.postgres_schema, "public");
    EXPECT_NE(plan.tables()[11].names.postgres_schema, "public");
    const std::string long_stem = plan.tables()[15].names.file_stem;
    EXPECT_EQ(long_stem.substr(long_stem.size() - 9, 1), "~");
    EXPECT_EQ(long_stem.substr(0, 10), "SCOTT.WWWW");
}

TEST(TableNames, ColumnsAreUniqueInEachDatabaseAndApartFromTheAddedOnes)
{
    const std::string long_name(70, 'C');
    UnloadPlan plan = plan_of({table("SCOTT", "COLS",
                                     {"A", "a", "ROWID", "ctid", "_rowid_", long_name + "1", long_name + "2", "", "V",
                                      "V", "PARTITION"})});
    const UnloadTable& t = plan.tables()[0];
    std::set<std::string> sqlite, postgres;
    for (const OutputColumn& c : t.columns) {
        std::string folded = c.names.sqlite;
        for (char& ch : folded) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        EXPECT_TRUE(sqlite.insert(folded).second) << c.names.sqlite;
        EXPECT_TRUE(postgres.insert(c.names.postgres).second) << c.names.postgres;
        EXPECT_LE(c.names.postgres.size(), 63u);
        EXPECT_FALSE(c.names.sqlite.empty());
        EXPECT_FALSE(c.names.postgres.empty());
    }
    for (const char* added : {"ROWID", "_ROWID_"}) EXPECT_EQ(sqlite.count(added), 0u) << added;
    for (const char* added : {"ROWID", "ctid"}) EXPECT_EQ(postgres.count(added), 0u) << added;
    EXPECT_EQ(t.columns[1].names.postgres, "a");  // PostgreSQL keeps the case of a quoted name
    EXPECT_EQ(t.columns[10].names.sqlite, "PARTITION");  // a table that is not partitioned has no such column
}

TEST(TableNames, ColumnsAddedBesideAColumnYieldToTheTablesOwn)
{
    schema::Table t = table("SCOTT", "TIMES", {"TS$zone", "ts$TEXT", "D$text"});
    for (const char* type : {"TIMESTAMP WITH TIME ZONE", "DATE"}) {
        schema::Column c = schema::parse_sql_type(type).value;
        c.name = type[0] == 'T' ? "TS" : "D";
        c.column_number = c.segment_column = c.internal_column = static_cast<std::uint32_t>(t.columns.size() + 1);
        t.columns.push_back(c);
    }
    t.columns.push_back(text_column(std::string(60, 'Z'), 6));
    const UnloadPlan plan = plan_of({t});
    const std::vector<OutputColumn>& columns = plan.tables()[0].columns;
    // The table's own columns keep their names; TS's zone and text, and
    // D's text, are hashed apart from them.
    EXPECT_EQ(columns[0].names.sqlite, "TS$zone");
    EXPECT_EQ(columns[3].names.zone().text, "TS$zone");
    EXPECT_NE(columns[3].names.zone().sqlite, "TS$zone");
    EXPECT_TRUE(columns[3].names.zone().sqlite.starts_with("TS$zone~")) << columns[3].names.zone().sqlite;
    EXPECT_TRUE(columns[3].names.kept_text().sqlite.starts_with("TS$text~")) << columns[3].names.kept_text().sqlite;
    EXPECT_EQ(columns[3].names.kept_text().postgres, "TS$text");  // PostgreSQL tells ts$TEXT from TS$text
    EXPECT_TRUE(columns[4].names.kept_text().postgres.starts_with("D$text~"));
    EXPECT_TRUE(columns[4].names.zone().empty());  // a DATE has no zone
    EXPECT_TRUE(columns[5].names.kept_text().empty());  // nor text a type of text holds
    std::set<std::string> sqlite, postgres;
    for (const OutputColumn& c : columns)
        for (const std::string* name : {&c.names.sqlite, &c.names.zone().sqlite, &c.names.kept_text().sqlite}) {
            std::string folded = *name;
            for (char& ch : folded) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
            if (!name->empty()) {
                EXPECT_TRUE(sqlite.insert(folded).second) << *name;
            }
        }
    for (const OutputColumn& c : columns)
        for (const std::string* name : {&c.names.postgres, &c.names.zone().postgres, &c.names.kept_text().postgres})
            if (!name->empty()) {
                EXPECT_TRUE(postgres.insert(*name).second) << *name;
            }
}

TEST(TableNames, TablesNamedLaterTakeNoNameOfThoseBefore)
{
    UnloadPlan plan("");
    schema::Schema first, later;
    first.tables = {table("", "OBJ_5")};
    later.tables = {table("", "OBJ_5"), table("", "obj_5")};
    plan.add_schema(first, TableSelection(), false);
    plan.add_schema(later, TableSelection(), true);
    EXPECT_EQ(plan.tables()[0].names.file_stem, "OBJ_5");
    EXPECT_NE(plan.tables()[1].names.file_stem, "OBJ_5");
    EXPECT_NE(plan.tables()[1].names.postgres, "OBJ_5");
    EXPECT_EQ(plan.tables()[2].names.file_stem, "obj_5");
    EXPECT_NE(plan.tables()[2].names.sqlite, "obj_5");
}

// ---------------------------------------------------------------------------
// Text in the scripts

TEST(ScriptText, EachGrammarQuotesWhatWouldEndItsTextAndNothingElse)
{
    EXPECT_EQ(sql_identifier("SCOTT.EMP$deleted"), "\"SCOTT.EMP$deleted\"");
    EXPECT_EQ(sql_identifier("A\"B\n"), "\"A\"\"B\\x0A\"");
    EXPECT_EQ(sql_literal("it's\\"), "'it''s\\'");
    EXPECT_EQ(psql_file_argument("q'r.csv"), "'q''r.csv'");
    // psql reads a backslash in a quoted meta-command argument as an escape.
    EXPECT_EQ(psql_meta_argument("lobs/O'B.T/rows.1.4.27.3.c2.bin"), "'lobs/O''B.T/rows.1.4.27.3.c2.bin'");
    // A control character is shown \xHH first, its backslash then doubled.
    EXPECT_EQ(psql_meta_argument("a\\'b\nc:x`ls`"), "'a\\\\''b\\\\x0Ac:x`ls`'");
    EXPECT_EQ(psql_meta_argument(std::string("\n\0\\! touch M", 12)), "'\\\\x0A\\\\x00\\\\! touch M'");
    EXPECT_EQ(sqlite_argument("x\"y\\z.csv"), "\"x\\\"y\\\\z.csv\"");
    EXPECT_EQ(sqlite_argument(std::string("a\0b", 3)), "\"a\\\\x00b\"");
    EXPECT_EQ(shell_word("SCOTT.EMP.ctl"), "SCOTT.EMP.ctl");
    EXPECT_EQ(shell_word("N;.shell touch 'M'.ctl"), "'N;.shell touch '\\''M'\\''.ctl'");
    EXPECT_EQ(shell_word(""), "''");
    EXPECT_EQ(shell_word("a\nb"), "'a\\x0Ab'");
}

// A LOB file's name is made of its row's place and its column's, and is
// told again among other names.
TEST(LobFileNames, NumbersOfTheRowsPlaceAndTheColumn)
{
    EXPECT_EQ(lob_file_name({RowKind::Live, 87500, 4, 19, 3, 0, 2, false}), "rows.87500.4.19.3.c2.bin");
    const std::string stale = lob_file_name({RowKind::Stale, 1, 1024, 4294967295u, -1, 8012, 1, true});
    EXPECT_EQ(stale, "stale.1.1024.4294967295.o8012.c1.txt");
    EXPECT_EQ(lob_file_name({RowKind::Hidden, 7, 4, 20, 0, 0, 3, true}), "hidden.7.4.20.0.c3.txt");
    for (const std::string& name : {stale, stale + ".part", std::string("deleted.0.0.0.0.c0.bin")})
        EXPECT_TRUE(is_lob_file_name(name)) << name;
    for (const char* name : {"rows.1.2.3.4.c5", "rows.1.2.3.c5.bin", "rows.01.2.3.4.c5.bin", "rows.1.2.3.4.5.bin",
                             "live.1.2.3.4.c5.bin", "rows.1.2.3.4.c5.bin.x", "rows.1.2.3.o.c5.txt",
                             "rows.1.2.3.4.c5..txt", "../rows.1.2.3.4.c5.txt", "rows.1.2.3.99999999999.c5.bin",
                             "SCOTT.EMP.csv", "", "rows"})
        EXPECT_FALSE(is_lob_file_name(name)) << name;
    EXPECT_EQ(lob_file_path("H'R%0A.L\"O", "rows.1.4.19.0.c2.txt"), "lobs/H'R%0A.L\"O/rows.1.4.19.0.c2.txt");
}

// ---------------------------------------------------------------------------
// Binary copies

// A range's file in memory that grows past what is held goes on into an
// unnamed file of the directory, and all of it reaches the file it is
// appended to, in order; one held whole stays in memory.
TEST(TableFilesInMemory, WhatGrowsPastTheHeldBytesGoesOnIntoAnUnnamedFile)
{
    ScratchDir dir;
    TableFiles held(TableFiles::InMemory{dir.root()});
    const std::size_t big = held.add(""), whole = held.add("");
    std::string text;
    for (int i = 0; text.size() < 3 * OpenFile::kHeldAtMost; ++i) text += "line " + std::to_string(i) + "\r\n";
    OpenFile* file = held.open(big);
    held.open(whole)->hold_whole();
    for (std::size_t at = 0; at < text.size(); at += 1000) {
        file->text(std::string_view(text).substr(at, 1000));
        held.open(whole)->text(std::string_view(text).substr(at, 1000));
    }
    EXPECT_LT(held.held(big).size(), OpenFile::kHeldAtMost);
    EXPECT_EQ(held.held(whole), text);
    EXPECT_EQ(directory_entries(dir.root()), std::set<std::string>{});  // nothing named

    TableFiles out(dir.root());
    OpenFile* to = out.open(out.add("t.csv"));
    to->text("head\r\n");
    held.append_held(big, *to);
    held.append_held(whole, *to);
    ASSERT_TRUE(out.finish()) << out.failure();
    EXPECT_TRUE(read_file(dir.path("t.csv")) == "head\r\n" + text + text);
    held.clear_held();
    EXPECT_EQ(held.held_bytes(), 0u);
}

TEST(BinaryCopy, OnlyALineOfBackslashPointAloneNeedsOne)
{
    EXPECT_TRUE(holds_copy_end_line("\"a\n\\.\nb\""));
    EXPECT_TRUE(holds_copy_end_line("\"a\r\n\\.\r\nb\""));
    for (const char* field : {"\"\\.\"", "\"a\n\\.\"", "\"\\.\nb\"", "\"a\n\\.x\nb\"", "\"a\n\\.\rb\""})
        EXPECT_FALSE(holds_copy_end_line(field)) << field;
}

TEST(BinaryCopy, RecordsAfterTheHeaderAsTuplesOfText)
{
    ScratchDir dir;
    dir.write("t.csv", std::string("A,B,ROWID\r\n"
                                   "1,\"x\n\\.\ny\",AAAA\r\n"
                                   ",\"say \"\"hi\"\",\r\n\",\r\n"
                                   "\"\",,\r\n"));
    TableFiles files(dir.root());
    std::string failure;
    ASSERT_TRUE(write_binary_copy(dir.path("t.csv"), *files.open(files.add("t.pgcopy")), failure)) << failure;
    ASSERT_TRUE(files.finish());
    auto tuple = [](std::vector<std::optional<std::string>> fields) {
        std::string bytes{'\0', static_cast<char>(fields.size())};
        for (const auto& field : fields) {
            const std::uint32_t size = field ? static_cast<std::uint32_t>(field->size()) : 0xFFFFFFFFu;
            for (int shift = 24; shift >= 0; shift -= 8) bytes += static_cast<char>(size >> shift & 0xFF);
            if (field) bytes += *field;
        }
        return bytes;
    };
    const std::string expected = std::string("PGCOPY\n\377\r\n\0\0\0\0\0\0\0\0\0", 19) +
                                 tuple({"1", "x\n\\.\ny", "AAAA"}) + tuple({std::nullopt, "say \"hi\",\r\n", std::nullopt}) +
                                 tuple({"", std::nullopt, std::nullopt}) + "\377\377";
    EXPECT_EQ(read_file(dir.path("t.pgcopy")), expected);
    EXPECT_FALSE(write_binary_copy(dir.path("missing.csv"), *files.open(files.add("u.pgcopy")), failure));
    EXPECT_NE(failure.find("cannot open"), std::string::npos) << failure;

    // A field many times the file's buffer (a LOB's text) is written as it
    // is read: its length goes in front of it once it is known, whatever
    // of it was written out by then, and the field after it follows.
    std::string big(3 * OpenFile::kBufferSize + 17, 'z');
    big.replace(1000, 5, "\n\\.\n");
    dir.write("big.csv", "A,B\r\n\"" + big + "\",tail\r\n");
    TableFiles more(dir.root());
    ASSERT_TRUE(write_binary_copy(dir.path("big.csv"), *more.open(more.add("big.pgcopy")), failure)) << failure;
    ASSERT_TRUE(more.finish()) << more.failure();
    EXPECT_EQ(read_file(dir.path("big.pgcopy")),
              std::string("PGCOPY\n\377\r\n\0\0\0\0\0\0\0\0\0", 19) + tuple({big, "tail"}) + "\377\377");
}

}  // namespace
