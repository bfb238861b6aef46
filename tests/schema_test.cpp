// The schema model, Oracle's column types and character sets, the reader of
// BOOTSTRAP$ statements (on real ones), and schema files written, read back
// and written by hand.
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

#include "values/charsets.h"
#include "schema/ddl_parser.h"
#include "schema/ddl_writer.h"
#include "schema/oracle_types.h"
#include "values/escaped_text.h"
#include "release_shapes.h"

namespace {

using namespace schema;

// ---------------------------------------------------------------------------
// Helpers that build columns as a schema file's reader does.

Column typed(const std::string& name, std::string_view type_text, bool nullable = true)
{
    Parsed<Column> type = parse_sql_type(type_text);
    EXPECT_TRUE(type.ok()) << type_text << ": " << type.error;
    type.value.name = name;
    type.value.nullable = nullable;
    return type.value;
}

// ---------------------------------------------------------------------------
// Types.

TEST(OracleTypes, CodesBothWays)
{
    const std::tuple<std::uint32_t, std::uint32_t, OracleType> codes[] = {
        {1, 1, OracleType::Varchar2},      {1, 2, OracleType::Nvarchar2},     {2, 0, OracleType::Number},
        {8, 1, OracleType::Long},          {12, 0, OracleType::Date},         {23, 0, OracleType::Raw},
        {24, 0, OracleType::LongRaw},      {69, 0, OracleType::Rowid},        {96, 1, OracleType::Char},
        {96, 2, OracleType::Nchar},        {100, 0, OracleType::BinaryFloat}, {101, 0, OracleType::BinaryDouble},
        {112, 1, OracleType::Clob},        {112, 2, OracleType::Nclob},       {113, 0, OracleType::Blob},
        {114, 0, OracleType::Bfile},       {180, 0, OracleType::Timestamp},   {181, 0, OracleType::TimestampTz},
        {182, 0, OracleType::IntervalYm},  {183, 0, OracleType::IntervalDs},  {208, 0, OracleType::Urowid},
        {231, 0, OracleType::TimestampLtz}, {252, 0, OracleType::Boolean},
    };
    for (const auto& [code, form, type] : codes) {
        EXPECT_EQ(type_from_code(code, form), type) << code << "/" << form;
        EXPECT_EQ(type_code_of(type), code) << type_name(type);
        EXPECT_EQ(charset_form_of(type), form == 2   ? CharsetForm::National
                                         : form == 1 ? CharsetForm::Database
                                                     : CharsetForm::None)
            << type_name(type);
    }
    EXPECT_EQ(type_from_code(2, 0, -127), OracleType::Float);
    EXPECT_EQ(type_from_code(2, 0, 2), OracleType::Number);
    EXPECT_EQ(type_code_of(OracleType::Float), 2u);
    EXPECT_EQ(type_from_code(1, 0), OracleType::Varchar2);  // no form given: the database's
    EXPECT_EQ(type_from_code(58, 1), OracleType::Unknown);
    EXPECT_EQ(type_from_code(0, 0), OracleType::Unknown);
    EXPECT_EQ(type_code_of(OracleType::Unknown), std::nullopt);
}

struct TypeCase {
    const char* text;       // as written
    const char* canonical;  // as written back
    OracleType type;
    std::uint32_t length;
    std::optional<std::int32_t> precision;
    std::optional<std::int32_t> scale;
    std::uint32_t char_length = 0;
};

TEST(OracleTypes, TextBothWaysForEveryType)
{
    using O = OracleType;
    const std::optional<std::int32_t> none;
    const TypeCase cases[] = {
        {"NUMBER", "NUMBER", O::Number, 22, none, none},
        {"number(10)", "NUMBER(10)", O::Number, 22, 10, 0},
        {"NUMBER(10,2)", "NUMBER(10,2)", O::Number, 22, 10, 2},
        {"NUMBER(*,2)", "NUMBER(*,2)", O::Number, 22, none, 2},
        {"NUMBER(5,-3)", "NUMBER(5,-3)", O::Number, 22, 5, -3},
        {"NUMBER(*)", "NUMBER", O::Number, 22, none, none},
        {"FLOAT", "FLOAT(126)", O::Float, 22, 126, none},
        {"FLOAT(10)", "FLOAT(10)", O::Float, 22, 10, none},
        {"VARCHAR2(30)", "VARCHAR2(30 BYTE)", O::Varchar2, 30, none, none},
        {"varchar2(30 byte)", "VARCHAR2(30 BYTE)", O::Varchar2, 30, none, none},
        {"VARCHAR2(30 CHAR)", "VARCHAR2(30 CHAR)", O::Varchar2, 120, none, none, 30},
        {"VARCHAR2(2000 CHAR)", "VARCHAR2(2000 CHAR)", O::Varchar2, 4000, none, none, 2000},
        {"CHAR(1)", "CHAR(1 BYTE)", O::Char, 1, none, none},
        {"CHAR", "CHAR(1 BYTE)", O::Char, 1, none, none},
        {"CHAR(10 CHAR)", "CHAR(10 CHAR)", O::Char, 40, none, none, 10},
        {"NVARCHAR2(20)", "NVARCHAR2(20)", O::Nvarchar2, 40, none, none, 20},
        {"NCHAR(5)", "NCHAR(5)", O::Nchar, 10, none, none, 5},
        {"RAW(16)", "RAW(16)", O::Raw, 16, none, none},
        {"DATE", "DATE", O::Date, 7, none, none},
        {"TIMESTAMP", "TIMESTAMP(6)", O::Timestamp, 11, none, 6},
        {"TIMESTAMP(0)", "TIMESTAMP(0)", O::Timestamp, 11, none, 0},
        {"timestamp(9) with time zone", "TIMESTAMP(9) WITH TIME ZONE", O::TimestampTz, 13, none, 9},
        {"TIMESTAMP WITH LOCAL TIME ZONE", "TIMESTAMP(6) WITH LOCAL TIME ZONE", O::TimestampLtz, 11, none, 6},
        {"INTERVAL YEAR TO MONTH", "INTERVAL YEAR(2) TO MONTH", O::IntervalYm, 5, 2, none},
        {"INTERVAL YEAR(9) TO MONTH", "INTERVAL YEAR(9) TO MONTH", O::IntervalYm, 5, 9, none},
        {"INTERVAL DAY TO SECOND", "INTERVAL DAY(2) TO SECOND(6)", O::IntervalDs, 11, 2, 6},
        {"INTERVAL DAY(4) TO SECOND(0)", "INTERVAL DAY(4) TO SECOND(0)", O::IntervalDs, 11, 4, 0},
        {"BINARY_FLOAT", "BINARY_FLOAT", O::BinaryFloat, 4, none, none},
        {"BINARY_DOUBLE", "BINARY_DOUBLE", O::BinaryDouble, 8, none, none},
        {"LONG", "LONG", O::Long, 0, none, none},
        {"LONG RAW", "LONG RAW", O::LongRaw, 0, none, none},
        {"ROWID", "ROWID", O::Rowid, 10, none, none},
        {"UROWID", "UROWID(4000)", O::Urowid, 4000, none, none},
        {"UROWID(100)", "UROWID(100)", O::Urowid, 100, none, none},
        {"CLOB", "CLOB", O::Clob, 4000, none, none},
        {"NCLOB", "NCLOB", O::Nclob, 4000, none, none},
        {"BLOB", "BLOB", O::Blob, 4000, none, none},
        {"BFILE", "BFILE", O::Bfile, 530, none, none},
        {"BOOLEAN", "BOOLEAN", O::Boolean, 1, none, none},
        {"UNKNOWN", "UNKNOWN", O::Unknown, 0, none, none},
        // Synonyms.
        {"INTEGER", "NUMBER(38)", O::Number, 22, 38, 0},
        {"int", "NUMBER(38)", O::Number, 22, 38, 0},
        {"SMALLINT", "NUMBER(38)", O::Number, 22, 38, 0},
        {"DECIMAL(8,3)", "NUMBER(8,3)", O::Number, 22, 8, 3},
        {"DEC(8)", "NUMBER(8)", O::Number, 22, 8, 0},
        {"NUMERIC", "NUMBER(38)", O::Number, 22, 38, 0},
        {"VARCHAR(12)", "VARCHAR2(12 BYTE)", O::Varchar2, 12, none, none},
        {"CHARACTER(3)", "CHAR(3 BYTE)", O::Char, 3, none, none},
        {"DOUBLE PRECISION", "FLOAT(126)", O::Float, 22, 126, none},
        {"REAL", "FLOAT(63)", O::Float, 22, 63, none},
    };
    for (const TypeCase& c : cases) {
        Parsed<Column> column = parse_sql_type(c.text);
        ASSERT_TRUE(column.ok()) << c.text << ": " << column.error;
        EXPECT_EQ(column.value.type, c.type) << c.text;
        EXPECT_EQ(column.value.type_code, type_code_of(c.type)) << c.text;
        EXPECT_EQ(column.value.length, c.length) << c.text;
        EXPECT_EQ(column.value.precision, c.precision) << c.text;
        EXPECT_EQ(column.value.scale, c.scale) << c.text;
        EXPECT_EQ(column.value.char_length, c.char_length) << c.text;
        EXPECT_EQ(column.value.char_semantics, c.char_length > 0) << c.text;
        EXPECT_EQ(sql_type_text(column.value), c.canonical) << c.text;
        Parsed<Column> again = parse_sql_type(c.canonical);
        EXPECT_EQ(again.value, column.value) << c.canonical;
    }
    // A column from the dictionary may carry only its length in bytes.
    Column national;
    national.type = OracleType::Nvarchar2;
    national.length = 40;
    EXPECT_EQ(sql_type_text(national), "NVARCHAR2(20)");
    national.charset_id = 871;  // UTF8: up to three bytes a character
    national.length = 60;
    EXPECT_EQ(sql_type_text(national), "NVARCHAR2(20)");
}

TEST(OracleTypes, TextThatIsNoTypeIsAnError)
{
    const std::pair<const char*, const char*> cases[] = {
        {"VARCHAR3(10)", "unknown type \"VARCHAR3\""},
        {"XMLTYPE", "unknown type \"XMLTYPE\""},
        {"", "expected a column type, found the end of the text"},
        {"\"NUMBER\"", "expected a column type, found \"NUMBER\""},
        {"NUMBER(39)", "a precision must be 1 to 38, not 39"},
        {"NUMBER(5,128)", "a scale must be -84 to 127, not 128"},
        {"NUMBER(5", "expected \")\", found the end of the text"},
        {"FLOAT(127)", "a precision must be 1 to 126, not 127"},
        {"TIMESTAMP(10)", "fractional digits must be 0 to 9, not 10"},
        {"TIMESTAMP WITH ZONE", "expected TIME, found \"ZONE\""},
        {"INTERVAL MONTH", "expected YEAR or DAY, found \"MONTH\""},
        {"INTERVAL DAY TO MINUTE", "expected SECOND, found \"MINUTE\""},
        {"RAW(0)", "a length must be 1 to 32767, not 0"},
        {"UROWID(4001)", "a length must be 1 to 4000, not 4001"},
        {"DOUBLE", "expected PRECISION, found the end of the text"},
        {"NUMBER NOT NULL", "expected the end of the type, found \"NOT\""},
    };
    for (const auto& [text, error] : cases) EXPECT_EQ(parse_sql_type(text).error, error) << text;
}

TEST(OracleTypes, DecodersAreEntriesOfTheColumnTypeTable)
{
    const std::pair<OracleType, std::string_view> decoders[] = {
        {OracleType::Varchar2, "VARCHAR2"},         {OracleType::Nvarchar2, "NVARCHAR2"},
        {OracleType::Number, "NUMBER"},             {OracleType::Float, "FLOAT"},
        {OracleType::Long, "LONG"},                 {OracleType::Date, "DATE"},
        {OracleType::Raw, "RAW"},                   {OracleType::LongRaw, "LONG RAW"},
        {OracleType::Rowid, "ROWID"},               {OracleType::Char, "CHAR"},
        {OracleType::Nchar, "NCHAR"},               {OracleType::BinaryFloat, "BINARY_FLOAT"},
        {OracleType::BinaryDouble, "BINARY_DOUBLE"}, {OracleType::Clob, "UNKNOWN"},
        {OracleType::Nclob, "UNKNOWN"},             {OracleType::Blob, "UNKNOWN"},
        {OracleType::Bfile, "UNKNOWN"},             {OracleType::Timestamp, "TIMESTAMP"},
        {OracleType::TimestampTz, "TIMESTAMP WITH TIME ZONE"},
        {OracleType::TimestampLtz, "TIMESTAMP WITH LOCAL TIME ZONE"},
        {OracleType::IntervalYm, "INTERVAL YEAR TO MONTH"},
        {OracleType::IntervalDs, "INTERVAL DAY TO SECOND"},
        {OracleType::Urowid, "UROWID"},             {OracleType::Boolean, "BOOLEAN"},
        {OracleType::Unknown, "UNKNOWN"},
    };
    for (const auto& [type, keyword] : decoders) {
        const ColumnType& decoder = value_decoder(type);
        EXPECT_EQ(decoder.keyword, keyword) << type_name(type);
        EXPECT_NE(&decoder, &kUnlistedType) << type_name(type);
    }
    EXPECT_EQ(value_decoder(OracleType::Clob).role, TypeRole::Undecoded);
}

TEST(OracleTypes, CharacterSetIdsAndNames)
{
    const std::pair<std::uint32_t, std::string_view> sets[] = {
        {1, "US7ASCII"},       {31, "WE8ISO8859P1"},   {46, "WE8ISO8859P15"}, {170, "EE8MSWIN1250"},
        {171, "CL8MSWIN1251"}, {178, "WE8MSWIN1252"},  {830, "JA16EUC"},      {832, "JA16SJIS"},
        {846, "KO16MSWIN949"}, {852, "ZHS16GBK"},      {854, "ZHS32GB18030"}, {867, "ZHT16MSWIN950"},
        {871, "UTF8"},         {873, "AL32UTF8"},      {2000, "AL16UTF16"},
    };
    for (const auto& [id, name] : sets) {
        EXPECT_EQ(charset_name(id), name);
        EXPECT_EQ(charset_id(name), id);
    }
    EXPECT_EQ(charset_id("al32utf8"), 873u);
    EXPECT_EQ(charset_name(999), "");
    EXPECT_EQ(charset_id("WE8DEC"), std::nullopt);
    // Every set --charset converts has an id, so a column's id finds it.
    std::string names = kCharsetNames;
    for (std::size_t start = 0; start < names.size();) {
        std::size_t end = names.find(',', start);
        if (end == std::string::npos) end = names.size();
        std::string name = names.substr(start, end - start);
        name.erase(0, name.find_first_not_of(' '));
        EXPECT_TRUE(charset_id(name)) << name;
        start = end + 1;
    }
    EXPECT_EQ(max_character_bytes(873, CharsetForm::Database), 4u);
    EXPECT_EQ(max_character_bytes(178, CharsetForm::Database), 1u);
    EXPECT_EQ(max_character_bytes(0, CharsetForm::National), 2u);
    EXPECT_EQ(bytes_for_characters(OracleType::Varchar2, 10, 178), 10u);
    EXPECT_EQ(bytes_for_characters(OracleType::Char, 1000, 873), 2000u);
}

// ---------------------------------------------------------------------------
// The model's helpers.

TEST(SchemaModel, UnloadColumnsAndDataObjects)
{
    Table table;
    table.columns = {typed("B", "NUMBER"), typed("A", "NUMBER"), typed("H", "RAW(4)"), typed("U", "DATE")};
    table.columns[0].column_number = 2;
    table.columns[1].column_number = 1;
    table.columns[2].hidden = true;
    table.columns[3].unused = true;
    table.columns[3].column_number = 3;
    const std::vector<const Column*> columns = unload_columns(table);
    ASSERT_EQ(columns.size(), 2u);
    EXPECT_EQ(columns[0]->name, "A");
    EXPECT_EQ(columns[1]->name, "B");

    EXPECT_TRUE(data_object_numbers(table).empty());
    table.data_object = 74570;
    EXPECT_EQ(data_object_numbers(table), std::vector<std::uint32_t>{74570});
    table.partitions = {{"P1", 80001}, {"P2", 80002}};
    EXPECT_EQ(data_object_numbers(table), (std::vector<std::uint32_t>{80001, 80002}));
}

// ---------------------------------------------------------------------------
// BOOTSTRAP$ as a database wrote it.

// "NAME TYPE [NOT NULL]" for each column, apart by ", ".
std::string signature(const std::vector<Column>& columns)
{
    std::string text;
    for (const Column& column : columns) {
        if (!text.empty()) text += ", ";
        text += column.name + " " + sql_type_text(column) + (column.nullable ? "" : " NOT NULL");
    }
    return text;
}

struct BootstrapLine {
    int line;
    std::uint32_t object;
    std::string sql;
};

std::vector<BootstrapLine> bootstrap_lines()
{
    std::ifstream file(TREVANIX_SOURCE_DIR "/tests/data/bootstrap-11.2.txt");
    std::vector<BootstrapLine> lines;
    std::string text;
    while (std::getline(file, text)) {
        std::istringstream fields(text);
        BootstrapLine line;
        std::string object;
        std::getline(fields, object, '\t');
        line.line = std::stoi(object);
        std::getline(fields, object, '\t');
        line.object = static_cast<std::uint32_t>(std::stol(object));
        std::getline(fields, line.sql);
        lines.push_back(line);
    }
    return lines;
}

std::vector<BootstrapStatement> bootstrap_statements()
{
    std::vector<BootstrapStatement> statements;
    for (const BootstrapLine& line : bootstrap_lines()) {
        if (line.line < 0) continue;
        Parsed<BootstrapStatement> statement = parse_bootstrap_statement(line.sql);
        EXPECT_TRUE(statement.ok()) << line.line << ": " << statement.error;
        statements.push_back(statement.value);
    }
    return statements;
}

const BootstrapStatement& statement_named(const std::vector<BootstrapStatement>& statements, const std::string& name)
{
    for (const BootstrapStatement& statement : statements)
        if (statement.name == name) return statement;
    ADD_FAILURE() << "no statement creates " << name;
    return statements.front();
}

TEST(BootstrapStatements, EveryLineParsesWithItsObjectNumber)
{
    const std::vector<BootstrapLine> lines = bootstrap_lines();
    ASSERT_EQ(lines.size(), 11u);
    EXPECT_EQ(lines[0].line, -1);
    EXPECT_FALSE(parse_bootstrap_statement(lines[0].sql).ok());  // the version line, 8.0.0.0.0
    const std::pair<std::string, StatementKind> expected[] = {
        {"SYSTEM", StatementKind::Other},   {"C_OBJ#", StatementKind::Cluster}, {"I_OBJ#", StatementKind::Index},
        {"TAB$", StatementKind::Table},     {"C_USER#", StatementKind::Cluster}, {"I_USER#", StatementKind::Index},
        {"OBJ$", StatementKind::Table},     {"COL$", StatementKind::Table},     {"USER$", StatementKind::Table},
        {"BOOTSTRAP$", StatementKind::Table},
    };
    for (std::size_t i = 1; i < lines.size(); ++i) {
        Parsed<BootstrapStatement> statement = parse_bootstrap_statement(lines[i].sql);
        ASSERT_TRUE(statement.ok()) << lines[i].sql << "\n" << statement.error;
        EXPECT_EQ(statement.value.name, expected[i - 1].first);
        EXPECT_EQ(statement.value.kind, expected[i - 1].second) << statement.value.name;
        EXPECT_EQ(statement.value.object_number, lines[i].object) << statement.value.name;
    }
}

TEST(BootstrapStatements, SegmentsAndClusterPlacement)
{
    const std::vector<BootstrapStatement> statements = bootstrap_statements();
    const std::pair<std::string, Extent> segments[] = {
        {"SYSTEM", {1, 128}}, {"C_OBJ#", {1, 144}}, {"I_OBJ#", {1, 168}},     {"C_USER#", {1, 208}},
        {"I_USER#", {1, 216}}, {"OBJ$", {1, 240}},  {"BOOTSTRAP$", {1, 520}},
    };
    for (const auto& [name, extent] : segments) {
        const BootstrapStatement& statement = statement_named(statements, name);
        EXPECT_EQ(statement.extents, std::vector<Extent>{extent}) << name;
        EXPECT_FALSE(statement.table_number) << name;
        EXPECT_TRUE(statement.cluster_name.empty()) << name;
    }
    const std::tuple<std::string, std::uint32_t, std::string, std::string> clustered[] = {
        {"TAB$", 1, "C_OBJ#", "OBJ#"}, {"COL$", 5, "C_OBJ#", "OBJ#"}, {"USER$", 1, "C_USER#", "USER#"}};
    for (const auto& [name, tabno, cluster, key] : clustered) {
        const BootstrapStatement& statement = statement_named(statements, name);
        EXPECT_TRUE(statement.extents.empty()) << name;
        EXPECT_EQ(statement.table_number, tabno) << name;
        EXPECT_EQ(statement.cluster_name, cluster) << name;
        EXPECT_EQ(statement.cluster_key, std::vector<std::string>{key}) << name;
    }
}

TEST(BootstrapStatements, ColumnsOfTheCoreTables)
{
    const std::vector<BootstrapStatement> statements = bootstrap_statements();
    EXPECT_EQ(signature(statement_named(statements, "C_OBJ#").columns), "OBJ# NUMBER");
    EXPECT_EQ(signature(statement_named(statements, "C_USER#").columns), "USER# NUMBER");
    EXPECT_EQ(signature(statement_named(statements, "BOOTSTRAP$").columns),
              "LINE# NUMBER NOT NULL, OBJ# NUMBER NOT NULL, SQL_TEXT VARCHAR2(4000 BYTE) NOT NULL");
    EXPECT_EQ(signature(statement_named(statements, "OBJ$").columns),
              "OBJ# NUMBER NOT NULL, DATAOBJ# NUMBER, OWNER# NUMBER NOT NULL, NAME VARCHAR2(30 BYTE) NOT NULL, "
              "NAMESPACE NUMBER NOT NULL, SUBNAME VARCHAR2(30 BYTE), TYPE# NUMBER NOT NULL, CTIME DATE NOT NULL, "
              "MTIME DATE NOT NULL, STIME DATE NOT NULL, STATUS NUMBER NOT NULL, REMOTEOWNER VARCHAR2(30 BYTE), "
              "LINKNAME VARCHAR2(128 BYTE), FLAGS NUMBER, OID$ RAW(16), SPARE1 NUMBER, SPARE2 NUMBER, "
              "SPARE3 NUMBER, SPARE4 VARCHAR2(1000 BYTE), SPARE5 VARCHAR2(1000 BYTE), SPARE6 DATE");
    EXPECT_EQ(signature(statement_named(statements, "TAB$").columns),
              "OBJ# NUMBER NOT NULL, DATAOBJ# NUMBER, TS# NUMBER NOT NULL, FILE# NUMBER NOT NULL, "
              "BLOCK# NUMBER NOT NULL, BOBJ# NUMBER, TAB# NUMBER, COLS NUMBER NOT NULL, CLUCOLS NUMBER, "
              "PCTFREE$ NUMBER NOT NULL, PCTUSED$ NUMBER NOT NULL, INITRANS NUMBER NOT NULL, "
              "MAXTRANS NUMBER NOT NULL, FLAGS NUMBER NOT NULL, AUDIT$ VARCHAR2(38 BYTE) NOT NULL, ROWCNT NUMBER, "
              "BLKCNT NUMBER, EMPCNT NUMBER, AVGSPC NUMBER, CHNCNT NUMBER, AVGRLN NUMBER, AVGSPC_FLB NUMBER, "
              "FLBCNT NUMBER, ANALYZETIME DATE, SAMPLESIZE NUMBER, DEGREE NUMBER, INSTANCES NUMBER, "
              "INTCOLS NUMBER NOT NULL, KERNELCOLS NUMBER NOT NULL, PROPERTY NUMBER NOT NULL, TRIGFLAG NUMBER, "
              "SPARE1 NUMBER, SPARE2 NUMBER, SPARE3 NUMBER, SPARE4 VARCHAR2(1000 BYTE), "
              "SPARE5 VARCHAR2(1000 BYTE), SPARE6 DATE");
    EXPECT_EQ(signature(statement_named(statements, "COL$").columns),
              "OBJ# NUMBER NOT NULL, COL# NUMBER NOT NULL, SEGCOL# NUMBER NOT NULL, SEGCOLLENGTH NUMBER NOT NULL, "
              "OFFSET NUMBER NOT NULL, NAME VARCHAR2(30 BYTE) NOT NULL, TYPE# NUMBER NOT NULL, "
              "LENGTH NUMBER NOT NULL, FIXEDSTORAGE NUMBER NOT NULL, PRECISION# NUMBER, SCALE NUMBER, "
              "NULL$ NUMBER NOT NULL, DEFLENGTH NUMBER, SPARE6 DATE, INTCOL# NUMBER NOT NULL, "
              "PROPERTY NUMBER NOT NULL, CHARSETID NUMBER, CHARSETFORM NUMBER, SPARE1 NUMBER, SPARE2 NUMBER, "
              "SPARE3 NUMBER, SPARE4 VARCHAR2(1000 BYTE), SPARE5 VARCHAR2(1000 BYTE), DEFAULT$ LONG");
    EXPECT_EQ(signature(statement_named(statements, "USER$").columns),
              "USER# NUMBER NOT NULL, NAME VARCHAR2(30 BYTE) NOT NULL, TYPE# NUMBER NOT NULL, "
              "PASSWORD VARCHAR2(30 BYTE), DATATS# NUMBER NOT NULL, TEMPTS# NUMBER NOT NULL, CTIME DATE NOT NULL, "
              "PTIME DATE, EXPTIME DATE, LTIME DATE, RESOURCE$ NUMBER NOT NULL, AUDIT$ VARCHAR2(38 BYTE), "
              "DEFROLE NUMBER NOT NULL, DEFGRP# NUMBER, DEFGRP_SEQ# NUMBER, ASTATUS NUMBER NOT NULL, "
              "LCOUNT NUMBER NOT NULL, DEFSCHCLASS VARCHAR2(30 BYTE), EXT_USERNAME VARCHAR2(4000 BYTE), "
              "SPARE1 NUMBER, SPARE2 NUMBER, SPARE3 NUMBER, SPARE4 VARCHAR2(1000 BYTE), "
              "SPARE5 VARCHAR2(1000 BYTE), SPARE6 DATE");
    // Positions are the order written, which is the storage order.
    const BootstrapStatement& col = statement_named(statements, "COL$");
    ASSERT_EQ(col.columns.size(), 24u);
    EXPECT_EQ(col.columns[23].segment_column, 24u);
    EXPECT_EQ(col.columns[23].type_code, 8u);
    EXPECT_EQ(col.columns[5].length, 30u);
    EXPECT_EQ(col.columns[5].charset_form, CharsetForm::Database);
}

TEST(BootstrapStatements, TablesKnowWhereTheyAreStored)
{
    const std::vector<Table> tables = bootstrap_tables(bootstrap_statements());
    ASSERT_EQ(tables.size(), 5u);
    const std::tuple<std::string, std::uint32_t, std::uint32_t, std::optional<ClusterPlacement>> expected[] = {
        {"TAB$", 4, 2, ClusterPlacement{2, 1, 1}},  {"OBJ$", 18, 18, std::nullopt},
        {"COL$", 21, 2, ClusterPlacement{2, 5, 1}}, {"USER$", 22, 10, ClusterPlacement{10, 1, 1}},
        {"BOOTSTRAP$", 59, 59, std::nullopt},
    };
    for (std::size_t i = 0; i < tables.size(); ++i) {
        const auto& [name, object, data_object, cluster] = expected[i];
        EXPECT_EQ(tables[i].owner, "SYS");
        EXPECT_EQ(tables[i].name, name);
        EXPECT_EQ(tables[i].object_number, object) << name;
        EXPECT_EQ(tables[i].data_object, data_object) << name;
        EXPECT_EQ(tables[i].cluster, cluster) << name;
    }
    // A clustered table whose cluster is not among the statements.
    Parsed<BootstrapStatement> alone =
        parse_bootstrap_statement(R"(CREATE TABLE T("A" NUMBER) STORAGE (  OBJNO 7 TABNO 2) CLUSTER C_X("A"))");
    ASSERT_TRUE(alone.ok()) << alone.error;
    const std::vector<Table> lone = bootstrap_tables({alone.value});
    EXPECT_EQ(lone[0].data_object, std::nullopt);
    EXPECT_EQ(lone[0].cluster, (ClusterPlacement{0, 2, 1}));
}

TEST(BootstrapStatements, ShapesBeyondTheFile)
{
    Parsed<BootstrapStatement> index = parse_bootstrap_statement(
        R"(CREATE UNIQUE INDEX I_OBJ1 ON OBJ$("OBJ#","OWNER#","TYPE#") PCTFREE 10 STORAGE (  OBJNO 36 )"
        R"(EXTENTS (FILE 1 BLOCK 352)))");
    ASSERT_TRUE(index.ok()) << index.error;
    EXPECT_EQ(index.value.kind, StatementKind::Index);
    EXPECT_EQ(index.value.object_number, 36u);
    EXPECT_EQ(index.value.extents, (std::vector<Extent>{{1, 352}}));
    // Lower case, quoted names, a trailing semicolon, and several extents.
    Parsed<BootstrapStatement> table =
        parse_bootstrap_statement("create table \"My\"\"T\"(a timestamp(3) not null, \"b\" nvarchar2(4)) storage "
                                  "(objno 9 extents (file 2 block 10, file 3 block 20));");
    ASSERT_TRUE(table.ok()) << table.error;
    EXPECT_EQ(table.value.name, "My\"T");
    EXPECT_EQ(signature(table.value.columns), "A TIMESTAMP(3) NOT NULL, b NVARCHAR2(4)");
    EXPECT_EQ(table.value.extents, (std::vector<Extent>{{2, 10}, {3, 20}}));
}

// The statements of every release the builder shapes, an upgraded
// database's lower-case index lines among them, and names and numbers as
// large as they come: 128-byte names, quoted and bare, and 32-bit numbers.
TEST(BootstrapStatements, EveryReleasesStatementsParse)
{
    for (const datafile::DictionaryShape shape : datafile::all_shapes()) {
        for (const datafile::BootstrapLine& line : datafile::shape_bootstrap_lines(shape)) {
            if (line.line < 0) continue;
            Parsed<BootstrapStatement> statement = parse_bootstrap_statement(line.sql);
            ASSERT_TRUE(statement.ok()) << line.sql << "\n" << statement.error;
            EXPECT_EQ(statement.value.object_number, line.object) << line.sql;
        }
    }
    for (const datafile::BootstrapLine& line :
         datafile::shape_bootstrap_lines(datafile::DictionaryShape::Release19cUpgraded)) {
        if (line.line != 36) continue;
        const BootstrapStatement index = parse_bootstrap_statement(line.sql).value;
        EXPECT_EQ(index.kind, StatementKind::Index);
        EXPECT_EQ(index.name, "I_OBJ1");
        EXPECT_EQ(index.object_number, 90021u);
    }
    const std::string bare(128, 'b'), quoted(128, 'Q');
    Parsed<BootstrapStatement> wide = parse_bootstrap_statement(
        "Create Table " + bare + "(\"" + quoted + "\" NUMBER, " + bare + " varchar2(128)) Storage (  objno 4294967295 "
        "extents (file 1024 block 4294967295))");
    ASSERT_TRUE(wide.ok()) << wide.error;
    EXPECT_EQ(wide.value.name, std::string(128, 'B'));
    EXPECT_EQ(signature(wide.value.columns), quoted + " NUMBER, " + std::string(128, 'B') + " VARCHAR2(128 BYTE)");
    EXPECT_EQ(wide.value.object_number, 4294967295u);
    EXPECT_EQ(wide.value.extents, (std::vector<Extent>{{1024, 4294967295u}}));
    EXPECT_EQ(parse_bootstrap_statement("CREATE TABLE T(\"A\" NUMBER) STORAGE (OBJNO 4294967296)").error,
              "offset 42: an object number out of range: \"4294967296\"");
}

// What a statement creates is told by its first words alone, so that a
// line damaged or cut short further on is still named.
TEST(BootstrapStatements, TheCreatedNameFromTheFirstWords)
{
    EXPECT_EQ(created_name("create table \"OBJ$\"(\"OBJ#\" number", "TABLE"), "OBJ$");
    EXPECT_EQ(created_name("Create Table obj$ (\"OBJ#\" NUMB", "TABLE"), "OBJ$");
    EXPECT_EQ(created_name("CREATE TABLE \"Mixed Case\"", "TABLE"), "Mixed Case");
    EXPECT_EQ(created_name("CREATE CLUSTER C_OBJ#(\"OBJ#\" NUMBER) PCTFREE 5 \x01\x02", "CLUSTER"), "C_OBJ#");
    EXPECT_EQ(created_name("CREATE CLUSTER C_OBJ#(\"OBJ#\" NUMBER)", "TABLE"), std::nullopt);
    EXPECT_EQ(created_name("CREATE TABLE \"OBJ$", "TABLE"), std::nullopt);
    EXPECT_EQ(created_name("CREATE TABLE (", "TABLE"), std::nullopt);
    EXPECT_EQ(created_name("", "TABLE"), std::nullopt);
}

TEST(BootstrapStatements, ErrorsSayWhereReadingStopped)
{
    const std::pair<std::string, std::string> cases[] = {
        {"8.0.0.0.0", "offset 0: expected CREATE, found \"8.0\""},
        {"CREATE VIEW V AS SELECT 1", "offset 7: expected TABLE, CLUSTER, INDEX or ROLLBACK SEGMENT, found \"VIEW\""},
        {R"(CREATE TABLE X("A" NUMBER)", "offset 25: expected \",\" or \")\", found the end of the text"},
        {R"(CREATE TABLE X("A" NUMBER) PCTFREE 10)", "offset 37: no OBJNO in the statement"},
        {R"(CREATE TABLE X("A" NUMBR) STORAGE (OBJNO 1))", "offset 19: unknown type \"NUMBR\""},
        {R"(CREATE TABLE X("A" NUMBER) STORAGE (OBJNO 1 EXTENTS (FILE 1 BLOCK 2))",
         "offset 35: this \"(\" is never closed"},
        {R"(CREATE TABLE X("A" VARCHAR2(99999)) STORAGE (OBJNO 1))",
         "offset 28: a length must be 1 to 32767, not 99999"},
        {R"(CREATE TABLE X("A" NUMBER) STORAGE (OBJNO 99999999999))",
         "offset 42: an object number out of range: \"99999999999\""},
        {"CREATE TABLE X(\"A\x01\" NUMBER) STORAGE (OBJNO 1) \x02",
         "offset 46: expected a clause, found \"\\x02\""},
        {"CREATE TABLE \"X", "offset 13: this quote is never closed"},
    };
    for (const auto& [sql, error] : cases) {
        Parsed<BootstrapStatement> statement = parse_bootstrap_statement(sql);
        EXPECT_EQ(statement.error, error) << sql;
    }
}

// Damaged blocks hand the reader cut and mangled statements: it must answer
// an error or a statement, never crash; a statement cut before its STORAGE
// clause is always an error.
TEST(BootstrapStatements, CutAndMangledStatementsGiveErrors)
{
    std::uint32_t seed = 12345;
    auto random = [&seed](std::uint32_t below) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % below;
    };
    const std::string specials = "()\",'-/*;.#$ \n\x80\xFF";
    std::size_t errors = 0;
    for (const BootstrapLine& line : bootstrap_lines()) {
        const std::size_t storage = line.sql.find("STORAGE");
        for (std::size_t cut = 0; cut < line.sql.size(); ++cut) {
            Parsed<BootstrapStatement> statement = parse_bootstrap_statement(line.sql.substr(0, cut));
            if (cut < storage) {
                EXPECT_FALSE(statement.ok()) << line.sql.substr(0, cut);
            }
        }
        for (int round = 0; round < 300; ++round) {
            std::string mangled = line.sql;
            for (std::uint32_t n = 1 + random(4); n > 0 && !mangled.empty(); --n) {
                const std::size_t at = random(static_cast<std::uint32_t>(mangled.size()));
                const char c = random(2) ? specials[random(static_cast<std::uint32_t>(specials.size()))]
                                         : static_cast<char>(random(256));
                switch (random(3)) {
                case 0: mangled[at] = c; break;
                case 1: mangled.erase(at, 1 + random(8)); break;
                default: mangled.insert(at, 1, c);
                }
            }
            Parsed<BootstrapStatement> statement = parse_bootstrap_statement(mangled);
            if (!statement.ok()) {
                ++errors;
                EXPECT_EQ(statement.error.rfind("offset ", 0), 0u) << statement.error;
            }
        }
    }
    EXPECT_GT(errors, 1000u);
}

// ---------------------------------------------------------------------------
// Schema files as people write them.

TEST(SchemaFile, HandWrittenSql)
{
    const char* const text = R"(/* exported by hand,
   then edited */
-- Database Character Set we8mswin1252
-- data object 500
create table scott.dept (
  deptno integer constraint pk_dept primary key,
  dname varchar(14) default 'NONE -- not a comment' not null,
  loc character(13) check (loc <> 'x'),   -- office; character set AL32UTF8
  budget decimal(12,2) null,
  ratio double precision,
  small real,
  -- a comment of its own line belongs to no column
  created timestamp with local time zone default systimestamp,
  mgr number references scott.emp (empno) on delete cascade,
  id number generated always as identity,
  constraint uq unique (dname, loc),
  foreign key (mgr) references emp(empno)
) tablespace users storage (initial 64k next 1m) pctfree 10
  partition by range (deptno) (partition p1 values less than (10))
/
-- data object 501
-- kept for the audit
CREATE TABLE "Mixed"."t" ("a" NUMBER(3,-2) NOT NULL, b nvarchar2(10)) organization heap;
)";
    Parsed<Schema> read = parse_schema_file(text);
    ASSERT_TRUE(read.ok()) << read.error;
    ASSERT_EQ(read.value.tables.size(), 2u);
    EXPECT_EQ(read.value.database_charset, "we8mswin1252");
    EXPECT_EQ(read.value.national_charset, std::nullopt);
    const Table& dept = read.value.tables[0];
    EXPECT_EQ(dept.owner, "SCOTT");
    EXPECT_EQ(dept.name, "DEPT");
    EXPECT_EQ(dept.data_object, 500u);
    EXPECT_EQ(dept.note, "");
    EXPECT_EQ(signature(dept.columns),
              "DEPTNO NUMBER(38), DNAME VARCHAR2(14 BYTE) NOT NULL, LOC CHAR(13 BYTE), BUDGET NUMBER(12,2), "
              "RATIO FLOAT(126), SMALL FLOAT(63), CREATED TIMESTAMP(6) WITH LOCAL TIME ZONE, MGR NUMBER, "
              "ID NUMBER");
    EXPECT_EQ(dept.columns[1].charset_id, 178u);
    EXPECT_EQ(dept.columns[2].charset_id, 873u);
    EXPECT_EQ(dept.columns[2].comment, "office");
    EXPECT_EQ(dept.columns[3].charset_id, 0u);
    EXPECT_EQ(dept.columns[8].column_number, 9u);
    EXPECT_EQ(dept.columns[8].segment_column, 9u);
    for (const Column& column : dept.columns) EXPECT_EQ(column.comment, column.name == "LOC" ? "office" : "");

    const Table& mixed = read.value.tables[1];
    EXPECT_EQ(mixed.owner, "Mixed");
    EXPECT_EQ(mixed.name, "t");
    EXPECT_EQ(mixed.note, "kept for the audit");
    EXPECT_EQ(signature(mixed.columns), "a NUMBER(3,-2) NOT NULL, B NVARCHAR2(10)");
    EXPECT_EQ(mixed.columns[1].charset_id, 0u);  // the national character set was not named
    EXPECT_EQ(mixed.columns[1].length, 20u);
}

TEST(SchemaFile, CharacterSetsGiveTheBytesOfCharacterLengths)
{
    Parsed<Schema> read = parse_schema_file("-- database character set UTF8\n-- national character set UTF8\n"
                                            "-- data object 1\nCREATE TABLE T (A VARCHAR2(10 CHAR), "
                                            "B NCHAR(10), C CHAR(4 CHAR), -- character set WE8MSWIN1252\n"
                                            "D VARCHAR2(1 CHAR) -- character set id 2000\n);");
    ASSERT_TRUE(read.ok()) << read.error;
    const std::vector<Column>& columns = read.value.tables[0].columns;
    EXPECT_EQ(columns[0].length, 30u);
    EXPECT_EQ(columns[0].charset_id, 871u);
    EXPECT_EQ(columns[1].length, 30u);
    EXPECT_EQ(columns[2].length, 4u);
    EXPECT_EQ(columns[2].charset_id, 178u);
    EXPECT_EQ(columns[3].length, 2u);
    EXPECT_EQ(columns[3].charset_id, 2000u);
}

TEST(SchemaFile, ErrorsNameTheLine)
{
    const std::pair<const char*, const char*> cases[] = {
        {"-- data object 1\nCREATE TABLE t (\n  a NUMBER,\n  b VARCHAR3(10)\n);", "line 4: unknown type \"VARCHAR3\""},
        {"\n\nCREATE TABLE t (a NUMBER);", "line 3: no \"-- data object\" line before this table"},
        {"-- data object 1\nCREATE TABLE t (a NUMBER);\n\ncreate table u (b DATE);",
         "line 4: no \"-- data object\" line before this table"},
        {"-- data object 1\nCREATE TABLE t (\n  a NUMBER CHECK (a > (1)\n);", "line 2: this \"(\" is never closed"},
        {"-- data object 1\nCREATE TABLE t (a NUMBER));", "line 2: this \")\" closes nothing"},
        {"\x01\x02 hello", "line 1: expected CREATE TABLE, found \"\\x01\""},
        {"SELECT * FROM t;", "line 1: expected CREATE TABLE, found \"SELECT\""},
        {"-- data object 1\nCREATE VIEW v AS SELECT 1;", "line 2: expected TABLE, found \"VIEW\""},
        {"\n-- data object 5\n", "line 2: no CREATE TABLE follows this data object line"},
        {"-- data object 5\n-- data object 6\nCREATE TABLE t (a NUMBER);",
         "line 2: a data object line follows another with no table between them"},
        {"-- data object x\nCREATE TABLE t (a NUMBER);",
         "line 1: in the data object line: expected a data object number, found \"x\""},
        {"-- data object 5, cluster 2\nCREATE TABLE t (a NUMBER);",
         "line 1: in the data object line: expected TABLE, found \"2\""},
        {"-- data objects 5 P1 6 P2\nCREATE TABLE t (a NUMBER);",
         "line 1: in the data object line: expected the end of the line, found \"6\""},
        {"-- data object 1\nCREATE TABLE t (\n  a VARCHAR2(5) -- character set KLINGON\n);",
         "line 3: in the comment of column A: unknown character set \"KLINGON\""},
        {"-- data object 1\nCREATE TABLE t (\n  a NUMBER,\n  v AS (a + 1)\n);",
         "line 4: a virtual column is not stored: leave it out of the schema file"},
        {"-- data object 1\nCREATE TABLE t (a NUMBER, v NUMBER GENERATED ALWAYS AS (a * 2) VIRTUAL);",
         "line 2: a virtual column is not stored: leave it out of the schema file"},
        {"-- data object 1\nCREATE TABLE t (a NUMBER)\n-- data object 2\nCREATE TABLE u (b NUMBER);",
         "line 4: expected \";\" or \"/\" before the next statement, found \"CREATE\""},
        {"-- data object 1\nCREATE TABLE t (a NUMBER,);", "line 2: expected a column name, found \")\""},
        {"-- data object 1\nCREATE TABLE t (a 'x');", "line 2: expected a column type, found 'x'"},
        {"-- data object 1\nCREATE TABLE t (a NUMBER) /* unfinished", "line 2: this comment is never closed"},
        {"-- data object 1\nCREATE TABLE t (\n\"a\nb\" NUMBER);", "line 3: a quoted name breaks the line"},
    };
    for (const auto& [text, error] : cases) EXPECT_EQ(parse_schema_file(text).error, error) << text;
}

// What a schema file reader is fed may be damaged too: an error or a
// schema, never a crash; what it reads it writes back and reads the same.

// ---------------------------------------------------------------------------
// Schema files as the writer writes them.

Column in_charset(Column column, std::uint32_t id)
{
    column.charset_id = id;
    if (column.char_semantics) column.length = bytes_for_characters(column.type, column.char_length, id);
    return column;
}

Column with_comment(Column column, const std::string& comment)
{
    column.comment = comment;
    return column;
}

// Positions and default character sets as the reader gives them.
void settle(Schema& schema)
{
    const std::uint32_t database = charset_id(schema.database_charset.value_or("")).value_or(0);
    const std::uint32_t national = charset_id(schema.national_charset.value_or("")).value_or(0);
    for (Table& table : schema.tables) {
        std::uint32_t visible = 0;
        std::uint32_t position = 0;
        for (Column& column : table.columns) {
            if (column.is_virtual) continue;
            column.segment_column = column.internal_column = ++position;
            column.column_number = column.hidden || column.unused ? 0 : ++visible;
            if (column.charset_id == 0 && column.charset_form != CharsetForm::None)
                column = in_charset(column, column.charset_form == CharsetForm::National ? national : database);
        }
    }
}

// A schema with every feature a schema file holds; with `unstored`, also a
// virtual column, which the file leaves out.
Schema every_feature_schema(bool unstored)
{
    Schema schema;
    schema.database_charset = "AL32UTF8";
    schema.national_charset = "AL16UTF16";

    Table emp{"SCOTT", "EMP", 0, 74570, {}, {}, {}, ""};
    Column hidden = typed("SYS_NC00009$", "RAW(16)");
    hidden.hidden = true;
    Column unused = typed("OLD_FLAG", "CHAR(1)");
    unused.unused = true;
    emp.columns = {typed("EMPNO", "NUMBER(4)", false),
                   typed("ENAME", "VARCHAR2(10)"),
                   in_charset(typed("NOTE", "VARCHAR2(100 BYTE)"), 178),
                   typed("TITLE", "VARCHAR2(20 CHAR)"),
                   typed("SAL", "NUMBER(7,2)"),
                   typed("RATE", "NUMBER(*,2)"),
                   typed("HIRED", "DATE"),
                   typed("STAMP", "TIMESTAMP WITH TIME ZONE"),
                   hidden,
                   unused,
                   in_charset(typed("LEGACY", "NVARCHAR2(20)"), 871),
                   with_comment(in_charset(typed("ODD", "VARCHAR2(5)"), 999), "from an older load")};
    if (unstored) {
        Column total = typed("TOTAL", "NUMBER");
        total.is_virtual = true;
        emp.columns.push_back(total);
    }

    Table col{"SYS", "COL$", 0, 2, ClusterPlacement{0, 5, 1}, {}, {}, "read from BOOTSTRAP$\nkey first"};
    col.columns = {typed("OBJ#", "NUMBER", false), typed("NAME", "VARCHAR2(30)", false)};

    Table sales{"SCOTT", "SALES", 0, std::nullopt, {}, {}, {{"P2019", 80001}, {"p 2020", 80002}}, ""};
    sales.columns = {typed("ID", "INTEGER", false),  typed("WAIT", "INTERVAL DAY(3) TO SECOND(2)"),
                     typed("SPAN", "INTERVAL YEAR(4) TO MONTH"), typed("F", "FLOAT(53)"),
                     typed("BF", "BINARY_FLOAT"),     typed("BD", "BINARY_DOUBLE"),
                     typed("LTZ", "TIMESTAMP(3) WITH LOCAL TIME ZONE"), typed("TS", "TIMESTAMP(9)"),
                     typed("R", "ROWID"),              typed("U", "UROWID"),
                     typed("C", "CLOB"),               typed("NC", "NCLOB"),
                     typed("B", "BLOB"),               typed("FILE", "BFILE"),
                     typed("OK", "BOOLEAN"),           typed("NCH", "NCHAR(5)"),
                     typed("L", "LONG")};

    Table loose{"", "LOOSE", 0, 99, {}, {}, {}, ""};
    loose.columns = {typed("A\"B", "LONG RAW"), with_comment(typed("X", "UNKNOWN"), "type 58")};

    Table iot{"SCOTT", "IOT_T", 0, std::nullopt, {}, {typed("K", "NUMBER", false)}, {}, ""};

    schema.tables = {emp, col, sales, loose, iot};
    settle(schema);
    return schema;
}

const char* const kEveryFeatureText = R"(-- database character set AL32UTF8
-- national character set AL16UTF16

-- data object 74570
CREATE TABLE "SCOTT"."EMP" (
  "EMPNO" NUMBER(4) NOT NULL,
  "ENAME" VARCHAR2(10 BYTE),
  "NOTE" VARCHAR2(100 BYTE), -- character set WE8MSWIN1252
  "TITLE" VARCHAR2(20 CHAR),
  "SAL" NUMBER(7,2),
  "RATE" NUMBER(*,2),
  "HIRED" DATE,
  "STAMP" TIMESTAMP(6) WITH TIME ZONE,
  "SYS_NC00009$" RAW(16), -- hidden
  "OLD_FLAG" CHAR(1 BYTE), -- unused
  "LEGACY" NVARCHAR2(20), -- character set UTF8
  "ODD" VARCHAR2(5 BYTE) -- character set id 999; from an older load
);

-- data object 2, cluster table 5, key columns 1
-- read from BOOTSTRAP$
-- key first
CREATE TABLE "SYS"."COL$" (
  "OBJ#" NUMBER NOT NULL,
  "NAME" VARCHAR2(30 BYTE) NOT NULL
);

-- data objects 80001 P2019, 80002 "p 2020"
CREATE TABLE "SCOTT"."SALES" (
  "ID" NUMBER(38) NOT NULL,
  "WAIT" INTERVAL DAY(3) TO SECOND(2),
  "SPAN" INTERVAL YEAR(4) TO MONTH,
  "F" FLOAT(53),
  "BF" BINARY_FLOAT,
  "BD" BINARY_DOUBLE,
  "LTZ" TIMESTAMP(3) WITH LOCAL TIME ZONE,
  "TS" TIMESTAMP(9),
  "R" ROWID,
  "U" UROWID(4000),
  "C" CLOB,
  "NC" NCLOB,
  "B" BLOB,
  "FILE" BFILE,
  "OK" BOOLEAN,
  "NCH" NCHAR(5),
  "L" LONG
);

-- data object 99
CREATE TABLE "LOOSE" (
  "A""B" LONG RAW,
  "X" UNKNOWN -- type 58
);

-- no data object
CREATE TABLE "SCOTT"."IOT_T" (
  "K" NUMBER NOT NULL
);
)";

TEST(SchemaFile, WriterGivesTheDocumentedText)
{
    EXPECT_EQ(write_schema_file(every_feature_schema(true)), kEveryFeatureText);
    EXPECT_EQ(write_schema_file(Schema{}), "");
    EXPECT_EQ(quoted_name("a\"b\\c"), "\"a\"\"b\\c\"");
    // Not plain text: the bytes a terminal must not be given written \xHH,
    // backslashes doubled.
    EXPECT_EQ(quoted_name("a\"b\\\nc\xFF"), "E\"a\"\"b\\\\\\x0Ac\\xFF\"");
}

TEST(SchemaFile, ReadingTheWrittenTextGivesTheSchemaBack)
{
    const Schema schema = every_feature_schema(false);
    Parsed<Schema> read = parse_schema_file(write_schema_file(schema));
    ASSERT_TRUE(read.ok()) << read.error;
    EXPECT_EQ(read.value, schema);
    // The columns of one table, compared one by one for a clearer failure.
    ASSERT_EQ(read.value.tables.size(), schema.tables.size());
    for (std::size_t i = 0; i < schema.tables[0].columns.size(); ++i)
        EXPECT_EQ(read.value.tables[0].columns[i], schema.tables[0].columns[i]) << schema.tables[0].columns[i].name;
}

// Names from a dictionary an attacker wrote: every byte, line breaks and
// terminal escapes. The file shows on a terminal as it is (no control
// character, valid UTF-8) and reads back as the same bytes; comments, which
// are free text, read back as they were shown.
TEST(SchemaFile, NamesOfAnyBytesShowAsTextAndReadBackExactly)
{
    std::string every_byte;
    for (int c = 1; c < 256; ++c) every_byte += static_cast<char>(c);
    Table table;
    table.owner = std::string("O\n.shell touch MARKER\0\\! x", 27);
    table.name = every_byte;
    table.data_object = 5;
    Column column;
    column.name = "\x1B]0;title\x07\x1B[2J\"E\\x41";
    column.type = OracleType::Number;
    column.segment_column = column.internal_column = column.column_number = 1;
    column.comment = "said \x1B[2J here";
    table.columns = {column};
    table.note = "a note \x9B of \xC2\x9B two\nlines";
    Table partitioned = table;
    partitioned.name = "P";
    partitioned.data_object.reset();
    partitioned.partitions = {{"P\r\n1", 6}, {"P, \"2\"", 7}};
    const Schema schema{std::nullopt, std::nullopt, {table, partitioned}};

    const std::string written = write_schema_file(schema);
    for (std::size_t start = 0, end; start < written.size(); start = end + 1) {
        end = written.find('\n', start);
        EXPECT_TRUE(is_plain_text(std::string_view(written).substr(start, end - start))) << written.substr(start, end - start);
    }
    Parsed<Schema> read = parse_schema_file(written);
    ASSERT_TRUE(read.ok()) << read.error << "\n" << written;
    ASSERT_EQ(read.value.tables.size(), 2u);
    for (const Table& t : read.value.tables) {
        EXPECT_EQ(t.owner, table.owner);
        EXPECT_EQ(t.columns[0].name, column.name);
        EXPECT_EQ(t.columns[0].comment, "said \\x1B[2J here");
        EXPECT_EQ(t.note, "a note \\x9B of \\xC2\\x9B two\nlines");
    }
    EXPECT_EQ(read.value.tables[0].name, every_byte);
    EXPECT_EQ(read.value.tables[1].partitions, partitioned.partitions);
}

TEST(SchemaFile, EscapesOnlyInNamesWrittenWithE)
{
    const char* const text = "-- data objects 1 E\"P\\x0A\", 2 \"Q\\x0A\"\n"
                             "CREATE TABLE \"A\\B\".e\"x\\\\y\\x22\\x41\"\"z\" (\"C\\x41\" NUMBER, E NUMBER);\n";
    Parsed<Schema> read = parse_schema_file(text);
    ASSERT_TRUE(read.ok()) << read.error;
    const Table& t = read.value.tables[0];
    EXPECT_EQ(t.owner, "A\\B");  // as files written before read it
    EXPECT_EQ(t.name, "x\\y\"A\"z");
    EXPECT_EQ(t.columns[0].name, "C\\x41");
    EXPECT_EQ(t.columns[1].name, "E");
    EXPECT_EQ(t.partitions[0].name, "P\n");
    EXPECT_EQ(t.partitions[1].name, "Q\\x0A");
    for (const char* bad : {"E\"a\\q\"", "E\"a\\x4\"", "E\"a\\xZZ\"", "E\"a\\"}) {
        Parsed<Schema> refused = parse_schema_file(std::string("-- data object 1\nCREATE TABLE ") + bad + " (a NUMBER);");
        EXPECT_FALSE(refused.ok()) << bad;
        EXPECT_EQ(refused.error.rfind("line 2: ", 0), 0u) << refused.error;
    }
}

// Found by fuzz_schema: a comment naming a character set after a column
// that is not text was read, and then not written.
TEST(SchemaFile, CharacterSetOfAColumnThatIsNotTextIsKept)
{
    const char* const text = "-- data object 1\nCREATE TABLE \"T\" (\n  \"N\" NUMBER -- character set WE8MSWIN1252\n);\n";
    Parsed<Schema> read = parse_schema_file(text);
    ASSERT_TRUE(read.ok()) << read.error;
    EXPECT_EQ(read.value.tables[0].columns[0].charset_id, 178u);
    EXPECT_EQ(write_schema_file(read.value), text);
}

TEST(SchemaFile, BootstrapTablesGoThroughTheFileUnchanged)
{
    std::vector<Table> tables = bootstrap_tables(bootstrap_statements());
    Parsed<Schema> read = parse_schema_file(write_schema_file(Schema{{}, {}, tables}));
    ASSERT_TRUE(read.ok()) << read.error;
    // A schema file holds neither object numbers nor a cluster's.
    for (Table& table : tables) {
        table.object_number = 0;
        if (table.cluster) table.cluster->cluster_object = 0;
    }
    EXPECT_EQ(read.value.tables, tables);
}

TEST(SchemaFile, MangledFilesGiveErrorsOrSchemasThatGoRoundTrip)
{
    std::uint32_t seed = 777;
    auto random = [&seed](std::uint32_t below) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % below;
    };
    const std::string text = kEveryFeatureText;
    const std::string specials = "()\",'-/*;.\n ";
    std::size_t read = 0;
    for (int round = 0; round < 2000; ++round) {
        std::string mangled = text;
        for (std::uint32_t n = 1 + random(3); n > 0; --n) {
            const std::size_t at = random(static_cast<std::uint32_t>(mangled.size()));
            const char c = specials[random(static_cast<std::uint32_t>(specials.size()))];
            if (random(2))
                mangled[at] = c;
            else
                mangled.erase(at, 1 + random(20));
        }
        Parsed<Schema> first = parse_schema_file(mangled);
        if (!first.ok()) {
            EXPECT_EQ(first.error.rfind("line ", 0), 0u) << first.error;
            continue;
        }
        ++read;
        Parsed<Schema> second = parse_schema_file(write_schema_file(first.value));
        ASSERT_TRUE(second.ok()) << mangled << "\n" << second.error;
        EXPECT_EQ(second.value, first.value) << mangled;
    }
    EXPECT_GT(read, 100u);
}

}  // namespace
