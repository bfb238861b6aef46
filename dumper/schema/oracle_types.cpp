#include "schema/oracle_types.h"

#include <algorithm>

namespace schema {

namespace {

struct TypeFacts {
    OracleType type;
    std::string_view name;
    std::uint32_t code;  // COL$.TYPE#; 0 for Unknown
    CharsetForm form;
    std::string_view decoder;  // keyword of the column type table
    // COL$.LENGTH of a column declared without a size, in the unit its size
    // counts (characters for the national types). Assumed for the types
    // whose length Oracle fixes; the sized types that Oracle requires a size
    // for take the largest, so that no value is too long for them.
    std::uint32_t unsized_length;
};

constexpr TypeFacts kTypes[] = {
    {OracleType::Unknown, "UNKNOWN", 0, CharsetForm::None, "UNKNOWN", 0},
    {OracleType::Varchar2, "VARCHAR2", 1, CharsetForm::Database, "VARCHAR2", 4000},
    {OracleType::Nvarchar2, "NVARCHAR2", 1, CharsetForm::National, "NVARCHAR2", 2000},
    {OracleType::Number, "NUMBER", 2, CharsetForm::None, "NUMBER", 22},
    {OracleType::Float, "FLOAT", 2, CharsetForm::None, "FLOAT", 22},
    {OracleType::Long, "LONG", 8, CharsetForm::Database, "LONG", 0},
    {OracleType::Date, "DATE", 12, CharsetForm::None, "DATE", 7},
    {OracleType::Raw, "RAW", 23, CharsetForm::None, "RAW", 2000},
    {OracleType::LongRaw, "LONG RAW", 24, CharsetForm::None, "LONG RAW", 0},
    {OracleType::Rowid, "ROWID", 69, CharsetForm::None, "ROWID", 10},
    {OracleType::Char, "CHAR", 96, CharsetForm::Database, "CHAR", 1},
    {OracleType::Nchar, "NCHAR", 96, CharsetForm::National, "NCHAR", 1},
    {OracleType::BinaryFloat, "BINARY_FLOAT", 100, CharsetForm::None, "BINARY_FLOAT", 4},
    {OracleType::BinaryDouble, "BINARY_DOUBLE", 101, CharsetForm::None, "BINARY_DOUBLE", 8},
    // A row holds a LOB's locator, not its value.
    {OracleType::Clob, "CLOB", 112, CharsetForm::Database, "UNKNOWN", 4000},
    {OracleType::Nclob, "NCLOB", 112, CharsetForm::National, "UNKNOWN", 4000},
    {OracleType::Blob, "BLOB", 113, CharsetForm::None, "UNKNOWN", 4000},
    {OracleType::Bfile, "BFILE", 114, CharsetForm::None, "UNKNOWN", 530},
    {OracleType::Timestamp, "TIMESTAMP", 180, CharsetForm::None, "TIMESTAMP", 11},
    {OracleType::TimestampTz, "TIMESTAMP WITH TIME ZONE", 181, CharsetForm::None, "TIMESTAMP WITH TIME ZONE", 13},
    {OracleType::TimestampLtz, "TIMESTAMP WITH LOCAL TIME ZONE", 231, CharsetForm::None,
     "TIMESTAMP WITH LOCAL TIME ZONE", 11},
    {OracleType::IntervalYm, "INTERVAL YEAR TO MONTH", 182, CharsetForm::None, "INTERVAL YEAR TO MONTH", 5},
    {OracleType::IntervalDs, "INTERVAL DAY TO SECOND", 183, CharsetForm::None, "INTERVAL DAY TO SECOND", 11},
    {OracleType::Urowid, "UROWID", 208, CharsetForm::None, "UROWID", 4000},
    {OracleType::Boolean, "BOOLEAN", 252, CharsetForm::None, "BOOLEAN", 1},
};

const TypeFacts& facts(OracleType type)
{
    for (const TypeFacts& entry : kTypes)
        if (entry.type == type) return entry;
    return kTypes[0];
}

// Assumed: a NUMBER column declared as FLOAT has SCALE -127 in COL$.
constexpr std::int32_t kFloatScale = -127;

// Sizes Oracle accepts (assumed from its documented limits; 32767 bytes is
// the longest VARCHAR2 and RAW of a database with extended strings).
constexpr std::uint32_t kMaxLength = 32767;
constexpr std::uint32_t kMaxUrowidLength = 4000;
constexpr std::int32_t kMaxNumberPrecision = 38;
constexpr std::int32_t kMinNumberScale = -84;
constexpr std::int32_t kMaxNumberScale = 127;
constexpr std::int32_t kMaxFloatPrecision = 126;
constexpr std::int32_t kRealPrecision = 63;
constexpr std::int32_t kMaxDatetimeDigits = 9;
// What a size left out means.
constexpr std::int32_t kIntegerPrecision = 38;
constexpr std::int32_t kDefaultFractionDigits = 6;
constexpr std::int32_t kDefaultLeadingDigits = 2;
// The most bytes a text column holds (assumed: the standard string limits).
constexpr std::uint32_t kMaxCharBytes = 2000;
constexpr std::uint32_t kMaxVarcharBytes = 4000;

struct CharsetFacts {
    std::uint32_t id;
    std::string_view name;
    // The most bytes one character takes (assumed from the sets' encodings).
    std::uint32_t max_bytes;
};

constexpr CharsetFacts kCharsets[] = {
    {1, "US7ASCII", 1},        {31, "WE8ISO8859P1", 1},   {46, "WE8ISO8859P15", 1}, {170, "EE8MSWIN1250", 1},
    {171, "CL8MSWIN1251", 1},  {178, "WE8MSWIN1252", 1},  {830, "JA16EUC", 3},      {832, "JA16SJIS", 2},
    {846, "KO16MSWIN949", 2},  {852, "ZHS16GBK", 2},      {854, "ZHS32GB18030", 4}, {867, "ZHT16MSWIN950", 2},
    {871, "UTF8", 3},          {873, "AL32UTF8", 4},      {2000, "AL16UTF16", 2},
};
// Assumed for a set not known: as wide as AL32UTF8 for the database's
// character set, and AL16UTF16 (the usual one) for the national one.
constexpr std::uint32_t kUnknownDatabaseCharacterBytes = 4;
constexpr std::uint32_t kUnknownNationalCharacterBytes = 2;

Column column_of(OracleType type)
{
    Column column;
    column.type = type;
    column.type_code = type_code_of(type);
    column.charset_form = charset_form_of(type);
    column.length = facts(type).unsized_length;
    return column;
}

// ---------------------------------------------------------------------------
// Reading type text.

// A whole number from `low` to `high`, perhaps negative; the error names `what`.
std::int32_t read_bounded(TokenCursor& tokens, std::string_view what, std::int32_t low, std::int32_t high)
{
    const bool negative = low < 0 && tokens.take_symbol('-');
    const Token at = tokens.peek();
    const std::uint32_t magnitude = tokens.expect_number(what);
    const std::int64_t value = negative ? -std::int64_t{magnitude} : std::int64_t{magnitude};
    if (value < low || value > high)
        throw SqlSyntaxError{std::string(what) + " must be " + std::to_string(low) + " to " + std::to_string(high) +
                                 ", not " + (negative ? "-" : "") + at.text,
                             at};
    return static_cast<std::int32_t>(value);
}

// "(n)" when it comes next.
std::optional<std::int32_t> read_optional_size(TokenCursor& tokens, std::string_view what, std::int32_t low,
                                               std::int32_t high)
{
    if (!tokens.take_symbol('(')) return std::nullopt;
    const std::int32_t value = read_bounded(tokens, what, low, high);
    tokens.expect_symbol(')');
    return value;
}

// NUMBER [( p | * [, s] )].
void read_number_sizes(TokenCursor& tokens, Column& column)
{
    if (!tokens.take_symbol('(')) return;
    if (!tokens.take_symbol('*')) column.precision = read_bounded(tokens, "a precision", 1, kMaxNumberPrecision);
    if (tokens.take_symbol(','))
        column.scale = read_bounded(tokens, "a scale", kMinNumberScale, kMaxNumberScale);
    else if (column.precision)
        column.scale = 0;
    tokens.expect_symbol(')');
}

// DECIMAL, DEC, NUMERIC [(p [, s])]: scale 0 when not given.
void read_decimal_sizes(TokenCursor& tokens, Column& column)
{
    column.precision = kIntegerPrecision;
    column.scale = 0;
    if (!tokens.take_symbol('(')) return;
    column.precision = read_bounded(tokens, "a precision", 1, kMaxNumberPrecision);
    if (tokens.take_symbol(',')) column.scale = read_bounded(tokens, "a scale", kMinNumberScale, kMaxNumberScale);
    tokens.expect_symbol(')');
}

// VARCHAR2, CHAR [(n [BYTE | CHAR])]: bytes unless CHAR says characters.
void read_text_size(TokenCursor& tokens, Column& column)
{
    if (!tokens.take_symbol('(')) return;
    const auto size = static_cast<std::uint32_t>(read_bounded(tokens, "a length", 1, kMaxLength));
    if (tokens.take_word("CHAR")) {
        column.char_semantics = true;
        column.char_length = size;
        column.length = bytes_for_characters(column.type, size, 0);
    } else {
        tokens.take_word("BYTE");
        column.length = size;
    }
    tokens.expect_symbol(')');
}

// NCHAR, NVARCHAR2 [(n)]: always characters.
void read_national_size(TokenCursor& tokens, Column& column)
{
    column.char_semantics = true;
    column.char_length = column.length;
    if (auto size = read_optional_size(tokens, "a length", 1, kMaxLength))
        column.char_length = static_cast<std::uint32_t>(*size);
    column.length = bytes_for_characters(column.type, column.char_length, 0);
}

// TIMESTAMP [(s)] [WITH [LOCAL] TIME ZONE].
Column read_timestamp(TokenCursor& tokens)
{
    auto digits = read_optional_size(tokens, "fractional digits", 0, kMaxDatetimeDigits);
    OracleType type = OracleType::Timestamp;
    if (tokens.take_word("WITH")) {
        type = tokens.take_word("LOCAL") ? OracleType::TimestampLtz : OracleType::TimestampTz;
        tokens.expect_word("TIME");
        tokens.expect_word("ZONE");
    }
    Column column = column_of(type);
    column.scale = digits.value_or(kDefaultFractionDigits);
    return column;
}

// INTERVAL YEAR [(p)] TO MONTH, INTERVAL DAY [(p)] TO SECOND [(s)].
Column read_interval(TokenCursor& tokens)
{
    if (tokens.take_word("YEAR")) {
        Column column = column_of(OracleType::IntervalYm);
        column.precision =
            read_optional_size(tokens, "leading digits", 0, kMaxDatetimeDigits).value_or(kDefaultLeadingDigits);
        tokens.expect_word("TO");
        tokens.expect_word("MONTH");
        return column;
    }
    if (!tokens.take_word("DAY")) tokens.fail_expected("YEAR or DAY");
    Column column = column_of(OracleType::IntervalDs);
    column.precision =
        read_optional_size(tokens, "leading digits", 0, kMaxDatetimeDigits).value_or(kDefaultLeadingDigits);
    tokens.expect_word("TO");
    tokens.expect_word("SECOND");
    column.scale =
        read_optional_size(tokens, "fractional digits", 0, kMaxDatetimeDigits).value_or(kDefaultFractionDigits);
    return column;
}

// Types whose text is their name and nothing more.
constexpr std::pair<std::string_view, OracleType> kPlainTypes[] = {
    {"DATE", OracleType::Date},
    {"BINARY_FLOAT", OracleType::BinaryFloat},
    {"BINARY_DOUBLE", OracleType::BinaryDouble},
    {"ROWID", OracleType::Rowid},
    {"CLOB", OracleType::Clob},
    {"NCLOB", OracleType::Nclob},
    {"BLOB", OracleType::Blob},
    {"BFILE", OracleType::Bfile},
    {"BOOLEAN", OracleType::Boolean},
    {"UNKNOWN", OracleType::Unknown},
};

Column read_number(TokenCursor& tokens)
{
    Column column = column_of(OracleType::Number);
    read_number_sizes(tokens, column);
    return column;
}

Column read_decimal(TokenCursor& tokens)
{
    Column column = column_of(OracleType::Number);
    read_decimal_sizes(tokens, column);
    return column;
}

Column read_integer(TokenCursor&)
{
    Column column = column_of(OracleType::Number);
    column.precision = kIntegerPrecision;
    column.scale = 0;
    return column;
}

Column float_of(std::int32_t precision)
{
    Column column = column_of(OracleType::Float);
    column.precision = precision;
    return column;
}

Column read_float(TokenCursor& tokens)
{
    return float_of(read_optional_size(tokens, "a precision", 1, kMaxFloatPrecision).value_or(kMaxFloatPrecision));
}

Column read_real(TokenCursor&) { return float_of(kRealPrecision); }

Column read_double_precision(TokenCursor& tokens)
{
    tokens.expect_word("PRECISION");
    return float_of(kMaxFloatPrecision);
}

template <OracleType type>
Column read_text(TokenCursor& tokens)
{
    Column column = column_of(type);
    read_text_size(tokens, column);
    return column;
}

template <OracleType type>
Column read_national_text(TokenCursor& tokens)
{
    Column column = column_of(type);
    read_national_size(tokens, column);
    return column;
}

template <OracleType type, std::uint32_t most>
Column read_sized_bytes(TokenCursor& tokens)
{
    Column column = column_of(type);
    if (auto size = read_optional_size(tokens, "a length", 1, static_cast<std::int32_t>(most)))
        column.length = static_cast<std::uint32_t>(*size);
    return column;
}

Column read_long(TokenCursor& tokens)
{
    return column_of(tokens.take_word("RAW") ? OracleType::LongRaw : OracleType::Long);
}

// The first word of each type's text (Oracle's names and the synonyms it
// takes), and what reads the rest.
struct TypeWord {
    std::string_view word;
    Column (*read)(TokenCursor& tokens);
};

constexpr TypeWord kTypeWords[] = {
    {"NUMBER", read_number},
    {"DECIMAL", read_decimal},
    {"DEC", read_decimal},
    {"NUMERIC", read_decimal},
    {"INTEGER", read_integer},
    {"INT", read_integer},
    {"SMALLINT", read_integer},
    {"FLOAT", read_float},
    {"REAL", read_real},
    {"DOUBLE", read_double_precision},
    {"VARCHAR2", read_text<OracleType::Varchar2>},
    {"VARCHAR", read_text<OracleType::Varchar2>},
    {"CHAR", read_text<OracleType::Char>},
    {"CHARACTER", read_text<OracleType::Char>},
    {"NVARCHAR2", read_national_text<OracleType::Nvarchar2>},
    {"NCHAR", read_national_text<OracleType::Nchar>},
    {"RAW", read_sized_bytes<OracleType::Raw, kMaxLength>},
    {"UROWID", read_sized_bytes<OracleType::Urowid, kMaxUrowidLength>},
    {"LONG", read_long},
    {"TIMESTAMP", read_timestamp},
    {"INTERVAL", read_interval},
};

// The type whose first word, already taken, is `word`; none when no type
// starts with it.
std::optional<Column> read_type_after(TokenCursor& tokens, std::string_view word)
{
    for (const auto& [name, type] : kPlainTypes)
        if (word == name) return column_of(type);
    for (const TypeWord& entry : kTypeWords)
        if (word == entry.word) return entry.read(tokens);
    return std::nullopt;
}

// ---------------------------------------------------------------------------
// Writing type text.

std::string sized(std::string_view name, std::uint64_t size) { return std::string(name) + "(" + std::to_string(size) + ")"; }

std::string number_text(const Column& column)
{
    if (column.precision) {
        std::string text = "NUMBER(" + std::to_string(*column.precision);
        if (column.scale && *column.scale != 0) text += ',' + std::to_string(*column.scale);
        return text + ")";
    }
    if (column.scale) return "NUMBER(*," + std::to_string(*column.scale) + ")";
    return "NUMBER";
}

std::string text_type_text(const Column& column)
{
    const std::string_view name = type_name(column.type);
    if (column.char_semantics) return std::string(name) + "(" + std::to_string(column.char_length) + " CHAR)";
    return std::string(name) + "(" + std::to_string(column.length) + " BYTE)";
}

std::string national_type_text(const Column& column)
{
    if (column.char_length > 0) return sized(type_name(column.type), column.char_length);
    return sized(type_name(column.type), column.length / max_character_bytes(column.charset_id, CharsetForm::National));
}

}  // namespace

OracleType type_from_code(std::uint32_t type_code, std::uint32_t charset_form, std::optional<std::int32_t> scale)
{
    if (type_code == 2) return scale == kFloatScale ? OracleType::Float : OracleType::Number;
    const CharsetForm form = charset_form == 2 ? CharsetForm::National : CharsetForm::Database;
    for (const TypeFacts& entry : kTypes) {
        if (entry.code != type_code || entry.type == OracleType::Unknown) continue;
        // Codes that name a database and a national type tell them by the form.
        if (entry.form == CharsetForm::None || entry.form == form) return entry.type;
    }
    return OracleType::Unknown;
}

std::optional<std::uint32_t> type_code_of(OracleType type)
{
    if (type == OracleType::Unknown) return std::nullopt;
    return facts(type).code;
}

CharsetForm charset_form_of(OracleType type) { return facts(type).form; }

std::string_view type_name(OracleType type) { return facts(type).name; }

std::string sql_type_text(const Column& column)
{
    switch (column.type) {
    case OracleType::Varchar2:
    case OracleType::Char: return text_type_text(column);
    case OracleType::Nvarchar2:
    case OracleType::Nchar: return national_type_text(column);
    case OracleType::Number: return number_text(column);
    case OracleType::Float: return sized("FLOAT", static_cast<std::uint32_t>(column.precision.value_or(kMaxFloatPrecision)));
    case OracleType::Raw:
    case OracleType::Urowid: return sized(type_name(column.type), column.length);
    case OracleType::Timestamp:
    case OracleType::TimestampTz:
    case OracleType::TimestampLtz: {
        std::string text = sized("TIMESTAMP", static_cast<std::uint32_t>(column.scale.value_or(kDefaultFractionDigits)));
        if (column.type == OracleType::TimestampTz) text += " WITH TIME ZONE";
        if (column.type == OracleType::TimestampLtz) text += " WITH LOCAL TIME ZONE";
        return text;
    }
    case OracleType::IntervalYm:
        return sized("INTERVAL YEAR", static_cast<std::uint32_t>(column.precision.value_or(kDefaultLeadingDigits))) +
               " TO MONTH";
    case OracleType::IntervalDs:
        return sized("INTERVAL DAY", static_cast<std::uint32_t>(column.precision.value_or(kDefaultLeadingDigits))) +
               " TO " + sized("SECOND", static_cast<std::uint32_t>(column.scale.value_or(kDefaultFractionDigits)));
    default: return std::string(type_name(column.type));
    }
}

Column read_sql_type(TokenCursor& tokens)
{
    const Token first = tokens.peek();
    if (first.kind != TokenKind::Word) tokens.fail_expected("a column type");
    tokens.next();
    std::optional<Column> column = read_type_after(tokens, folded_name(first));
    if (!column) throw SqlSyntaxError{"unknown type " + describe_token(first), first};
    return *column;
}

Parsed<Column> parse_sql_type(std::string_view text)
{
    Parsed<Column> result;
    try {
        const std::vector<Token> tokens = tokenize_sql(text);
        TokenCursor cursor(tokens);
        result.value = read_sql_type(cursor);
        if (!cursor.at_end()) cursor.fail_expected("the end of the type");
    } catch (const SqlSyntaxError& error) {
        result = {{}, error.message};
    }
    return result;
}

std::uint32_t bytes_for_characters(OracleType type, std::uint32_t characters, std::uint32_t charset_id)
{
    const std::uint64_t most = type == OracleType::Char || type == OracleType::Nchar ? kMaxCharBytes : kMaxVarcharBytes;
    const std::uint64_t bytes = std::uint64_t{characters} * max_character_bytes(charset_id, charset_form_of(type));
    return static_cast<std::uint32_t>(std::min(bytes, most));
}

const ColumnType& value_decoder(OracleType type) { return find_column_type(facts(type).decoder); }

std::string_view charset_name(std::uint32_t id)
{
    for (const CharsetFacts& entry : kCharsets)
        if (entry.id == id) return entry.name;
    return {};
}

std::optional<std::uint32_t> charset_id(std::string_view name)
{
    for (const CharsetFacts& entry : kCharsets)
        if (equal_any_case(entry.name, name)) return entry.id;
    return std::nullopt;
}

std::uint32_t max_character_bytes(std::uint32_t id, CharsetForm form)
{
    for (const CharsetFacts& entry : kCharsets)
        if (entry.id == id) return entry.max_bytes;
    return form == CharsetForm::National ? kUnknownNationalCharacterBytes : kUnknownDatabaseCharacterBytes;
}

}  // namespace schema
