// The schema model and Oracle's column types and character sets.
#include <gtest/gtest.h>

#include "charsets.h"
#include "schema/oracle_types.h"

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

}  // namespace
