#include "unload/loader_scripts.h"

#include <algorithm>
#include <cctype>

#include "schema/oracle_types.h"
#include "unload/binary_copy.h"
#include "unload/lob_files.h"
#include "unload/script_text.h"
#include "unload/table_files.h"
#include "unload/unload_writer.h"

namespace unload {

namespace {

using schema::OracleType;

// The table of text columns each file is copied into before its text is
// converted into its table (a temporary table: it shadows no other).
constexpr std::string_view kStaging = "unload_staging";
// The table of the large objects a table's LOB files are imported as
// (--lob-files): each file's path and the object's number.
constexpr std::string_view kLobObjects = "unload_lobs";
// The room a LOB file's path takes in a control file's field.
constexpr std::uint32_t kLoaderPathField = 4096;
// PostgreSQL's numbers of the records copied, where values not decoded
// are to be found by their record.
constexpr std::string_view kStagingRecord = "unload_record";
// The loader reads a field of up to 255 bytes unless told more.
constexpr std::uint32_t kLoaderDefaultField = 255;
// Fields of LONG, LONG RAW and LOBs: the most the loader is told to expect.
constexpr std::uint32_t kLoaderLongField = 1u << 20;
// The most a zone's field takes: a region's name.
constexpr std::uint32_t kLoaderZoneField = 64;
// The most significant digits SQLite's REAL gives back as they were
// written (value_facts::kLongDecimal).
constexpr int kSqliteRealDigits = 15;

// Bytes the CSV file holds as hexadecimal digits, loaded as bytes.
bool is_raw(OracleType type)
{
    return type == OracleType::Raw || type == OracleType::LongRaw || type == OracleType::Blob;
}

// A field of the staging table: "c1" for a record's first.
std::string field(std::size_t number) { return sql_identifier("c" + std::to_string(number)); }

// A column of a loaded table: its name and type, and its value made of the
// fields of the staging table.
struct Loaded {
    std::string name;
    std::string type;
    std::string value;
};

// How each database writes the SQL the dates need.
struct Dialect {
    bool postgres;
    std::string integer(const std::string& text) const
    {
        return postgres ? text + "::int" : "CAST(" + text + " AS INTEGER)";
    }
    // Compares bytes, whatever the database's collation.
    std::string before(const std::string& text, std::string_view bound) const
    {
        return text + (postgres ? " COLLATE \"C\"" : "") + " < " + sql_literal(bound);
    }
};

// ---------------------------------------------------------------------------
// Dates of the database's calendar as the days of the Gregorian calendar
// SQLite and PostgreSQL count in.

// The CSV's text of a date or time: YYYY-MM-DD HH:MM:SS, a fraction, a
// zone, then " BC" for a year before 1.
std::string bc(const std::string& x) { return "(" + x + " LIKE '% BC')"; }

std::string before_gregorian(const Dialect& d, const std::string& x)
{
    return "(" + bc(x) + " OR " + d.before("substr(" + x + ", 1, 10)", "1582-10-15") + ")";
}

// The Julian day number of the text's date. Before 15 October 1582 the
// database's calendar is Julian, and it has no year 0: year -1 (1 BC) ends
// the day before year 1 starts, and its BC years whose numbers divide by
// four are leap years. So its day numbers are counted as the Julian
// calendar's with the BC years numbered as it numbers them, which keeps a
// year 0 of 366 days, less that year. (How the database counts BC days is
// assumed: it is what its dates, checked day by day, allow.)
constexpr int kYearZeroDays = 366;

std::string day_number(const Dialect& d, const std::string& x)
{
    const std::string year_digits = d.integer("substr(" + x + ", 1, 4)");
    const std::string year = "(CASE WHEN " + bc(x) + " THEN -" + year_digits + " ELSE " + year_digits + " END)";
    const std::string month = d.integer("substr(" + x + ", 6, 2)");
    const std::string day = d.integer("substr(" + x + ", 9, 2)");
    // The Julian calendar's day number, its year starting in March.
    const std::string march = "((14 - " + month + ") / 12)";
    const std::string y = "(" + year + " + 4800 - " + march + ")";
    const std::string m = "(" + month + " + 12 * " + march + " - 3)";
    return "(" + day + " + (153 * " + m + " + 2) / 5 + 365 * " + y + " + " + y + " / 4 - 32083 + CASE WHEN " + bc(x) +
           " THEN " + std::to_string(kYearZeroDays) + " ELSE 0 END)";
}

// ---------------------------------------------------------------------------
// SQLite

// A NUMBER: INTEGER when it is a 64-bit whole number, REAL when REAL gives
// back its digits, else its digits as TEXT (declared without a type, so
// that SQLite converts none of them).
std::string sqlite_number(const std::string& x)
{
    return "CASE WHEN " + x + " = '' THEN NULL WHEN CAST(CAST(" + x + " AS INTEGER) AS TEXT) = " + x +
           " THEN CAST(" + x + " AS INTEGER) WHEN length(ltrim(rtrim(replace(ltrim(" + x +
           ", '-'), '.', ''), '0'), '0')) <= " + std::to_string(kSqliteRealDigits) + " THEN CAST(" + x +
           " AS REAL) ELSE " + x + " END";
}

// The fraction of a second after the seconds: ".5", or "".
std::string sqlite_fraction(const std::string& x)
{
    return "substr(" + x + ", 20, instr(substr(" + x + ", 20) || ' ', ' ') - 1)";
}

// A time zone's value's offset, in minutes east.
std::string sqlite_offset(const std::string& x) { return "substr(" + x + ", 21 + length(" + sqlite_fraction(x) + "), 6)"; }
std::string sqlite_offset_minutes(const std::string& x)
{
    const std::string offset = sqlite_offset(x);
    return "((substr(" + offset + ", 2, 2) * 60 + substr(" + offset + ", 5, 2)) * (CASE substr(" + offset +
           ", 1, 1) WHEN '-' THEN -1 ELSE 1 END))";
}

// A BC moment as SQLite's Julian day (its functions read no year before
// 0): a REAL, which sorts before any text.
std::string sqlite_bc_day(const Dialect& d, const std::string& x, bool zoned)
{
    const std::string seconds = "(substr(" + x + ", 12, 2) * 3600 + substr(" + x + ", 15, 2) * 60 + substr(" + x +
                                ", 18, 2) + CAST('0' || " + sqlite_fraction(x) + " AS REAL))";
    std::string day = "(" + day_number(d, x) + " - 0.5 + " + seconds + " / 86400.0";
    if (zoned) day += " - " + sqlite_offset_minutes(x) + " / 1440.0";
    return day + ")";
}

// A date or time: as the CSV writes it, which sorts as the moments do;
// before 1582-10-15 the same day of the Gregorian calendar; before year 1
// its Julian day. A time zone's value in UTC, its zone in the column after.
std::string sqlite_moment(const std::string& x, bool zoned)
{
    const Dialect d{false};
    const std::string gregorian_date = "date(" + day_number(d, x) + " - 0.5)";
    const std::string gregorian = zoned ? "datetime(" + gregorian_date + " || substr(" + x + ", 11, 9) || ' ' || " +
                                              sqlite_offset(x) + ") || " + sqlite_fraction(x)
                                        : gregorian_date + " || substr(" + x + ", 11)";
    const std::string as_written =
        zoned ? "datetime(substr(" + x + ", 1, 19) || ' ' || " + sqlite_offset(x) + ") || " + sqlite_fraction(x) : x;
    return "CASE WHEN " + x + " = '' THEN NULL WHEN " + bc(x) + " THEN " + sqlite_bc_day(d, x, zoned) + " WHEN " +
           d.before("substr(" + x + ", 1, 10)", "1582-10-15") + " THEN " + gregorian + " ELSE " + as_written + " END";
}

// The column of the loaded table, as SQLite is to hold `x`.
std::string sqlite_value(const schema::Column& column, const std::string& x)
{
    switch (column.type) {
    case OracleType::Number:
    case OracleType::Float: return sqlite_number(x);
    case OracleType::BinaryFloat:
    case OracleType::BinaryDouble:
        return "CASE " + x + " WHEN '' THEN NULL WHEN 'Inf' THEN 9e999 WHEN '-Inf' THEN -9e999 ELSE " + x + " END";
    case OracleType::Boolean:
        return "CASE " + x + " WHEN '' THEN NULL WHEN 'TRUE' THEN 1 WHEN 'FALSE' THEN 0 ELSE " + x + " END";
    case OracleType::Date:
    case OracleType::Timestamp:
    case OracleType::TimestampLtz: return sqlite_moment(x, false);
    case OracleType::TimestampTz: return sqlite_moment(x, true);
    default: return "NULLIF(" + x + ", '')";
    }
}

// The text of a date the table holds as another day, or as a Julian day.
std::string sqlite_kept_text(const std::string& x)
{
    return "CASE WHEN " + x + " <> '' AND " + before_gregorian(Dialect{false}, x) + " THEN " + x + " END";
}

// ---------------------------------------------------------------------------
// PostgreSQL

// A date or time; before 1582-10-15 the same day of PostgreSQL's Gregorian
// calendar. A time zone's value from its offset (a region's from UTC).
std::string postgres_moment(const std::string& x, const std::string& type, bool zoned)
{
    const Dialect d{true};
    const std::string gregorian =
        "to_date(" + day_number(d, x) + "::text, 'J') + split_part(" + x + ", ' ', 2)::time";
    const std::string converted =
        zoned ? "(" + gregorian + " - split_part(" + x + ", ' ', 3)::interval) AT TIME ZONE 'UTC'" : gregorian;
    return "CASE WHEN " + before_gregorian(d, x) + " THEN " + converted + " ELSE " + x + "::" + type + " END";
}

// An interval of years and months beyond PostgreSQL's (value_facts::kBeyondPostgres).
std::string postgres_beyond_interval(const std::string& x)
{
    return "(split_part(substr(" + x + ", 2), '-', 1)::bigint * 12 + split_part(substr(" + x +
           ", 2), '-', 2)::bigint > " + std::to_string(value_facts::kPostgresMostMonths) + ")";
}

// A staging column's text as the column's value.
std::string postgres_value(const schema::Column& column, const std::string& x)
{
    switch (column.type) {
    case OracleType::Number:
    case OracleType::Float:
    case OracleType::BinaryFloat:
    case OracleType::BinaryDouble:
    case OracleType::Boolean: return x + "::" + postgres_type(column);
    case OracleType::Date:
    case OracleType::Timestamp:
    case OracleType::TimestampLtz: return postgres_moment(x, postgres_type(column), false);
    case OracleType::TimestampTz: return postgres_moment(x, postgres_type(column), true);
    // A negative interval is negative in all its fields, as PostgreSQL
    // reads it only when the sign is outside.
    case OracleType::IntervalYm:
    case OracleType::IntervalDs:
    {
        // An interval PostgreSQL cannot hold is NULL, its text kept.
        const std::string beyond =
            column.type == OracleType::IntervalYm ? "WHEN " + postgres_beyond_interval(x) + " THEN NULL " : "";
        return "CASE " + beyond + "WHEN " + x + " LIKE '-%' THEN -(substr(" + x + ", 2)::interval) ELSE " + x +
               "::interval END";
    }
    case OracleType::Raw:
    case OracleType::LongRaw:
    case OracleType::Blob: return "decode(" + x + ", 'hex')";
    default: return x;
    }
}

// The text of a date PostgreSQL holds as another day, of a time or an
// interval whose fraction it rounds to microseconds, or of an interval it
// cannot hold.
std::string postgres_kept_text(const schema::Column& column, const std::string& x)
{
    std::string kept;
    switch (column.type) {
    case OracleType::IntervalYm: kept = postgres_beyond_interval(x); break;
    // Nine digits of fraction, its trailing zeros among them.
    case OracleType::IntervalDs: kept = "length(rtrim(split_part(" + x + ", '.', 2), '0')) > 6"; break;
    case OracleType::Date: kept = before_gregorian(Dialect{true}, x); break;
    default:
        kept = before_gregorian(Dialect{true}, x) + " OR length(split_part(split_part(" + x + ", ' ', 2), '.', 2)) > 6";
        break;
    }
    return "CASE WHEN " + kept + " THEN " + x + " END";
}

// ---------------------------------------------------------------------------
// Both

// What was written of a field's column: its facts, whether any of its
// values was not decoded.
ColumnWritten written_of(const UnloadTable& table, const TableWritten& written, const OutputColumn& column)
{
    auto find = [&](const std::vector<OutputColumn>& columns, const std::vector<ColumnWritten>& facts) {
        const auto at = static_cast<std::size_t>(&column - columns.data());
        return at < facts.size() ? facts[at] : ColumnWritten{};
    };
    if (!table.columns.empty() && &column >= table.columns.data() && &column < table.columns.data() + table.columns.size())
        return find(table.columns, written.columns);
    return find(table.hidden_columns, written.hidden_columns);
}

// A LOB column's value read from the file whose path its field holds
// (--lob-files): in SQLite through the sqlite3 shell's readfile(), in
// PostgreSQL from the large object the file was imported as (psql's
// \lo_import, which reads the file as the client: no rights on the
// server's files are needed). A CLOB's file is UTF-8.
std::string lob_file_value(const schema::Column& column, const std::string& x, bool postgres)
{
    const bool text = column.type != OracleType::Blob;
    if (!postgres) {
        const std::string bytes = "readfile(NULLIF(" + x + ", ''))";
        return text ? "CAST(" + bytes + " AS TEXT)" : bytes;
    }
    const std::string bytes = "(SELECT lo_get(l.object) FROM " + sql_identifier(kLobObjects) + " l WHERE l.path = " + x + ")";
    return text ? "convert_from(" + bytes + ", 'UTF8')" : bytes;
}

bool any_lob_file(const TableWritten& written)
{
    auto in_file = [](const ColumnWritten& c) { return (c.facts & value_facts::kLobFile) != 0; };
    return std::any_of(written.columns.begin(), written.columns.end(), in_file) ||
           std::any_of(written.hidden_columns.begin(), written.hidden_columns.end(), in_file);
}

// The columns of a table's loaded table of a kind, from its CSV file's
// fields: each column, the zone beside a time zone's, the text beside a
// date, time or interval whose values the database holds otherwise
// (`keeps_text` of its facts), and the fields the unload adds (ROWID ...).
std::vector<Loaded> loaded_columns(const UnloadTable& table, RowKind kind, const TableWritten& written, bool postgres)
{
    std::vector<Loaded> columns;
    const std::uint8_t keeps_text =
        postgres ? value_facts::kBeforeGregorian | value_facts::kNanoseconds | value_facts::kBeyondPostgres
                 : value_facts::kBeforeGregorian;
    std::size_t number = 1;
    for (const FileField& f : file_fields(table, kind)) {
        const std::string x = field(number);
        if (f.column == nullptr) {
            columns.push_back({sql_identifier(f.added), postgres ? "text" : "TEXT", postgres ? x : "NULLIF(" + x + ", '')"});
            ++number;
            continue;
        }
        const OutputColumn& column = *f.column;
        const ColumnNames& names = column.names;
        const std::uint8_t facts = written_of(table, written, column).facts;
        const bool from_file = (facts & value_facts::kLobFile) != 0;
        columns.push_back({sql_identifier(postgres ? names.postgres : names.sqlite),
                           postgres ? postgres_type(column.column) : sqlite_type(column.column),
                           from_file  ? lob_file_value(column.column, x, postgres)
                           : postgres ? postgres_value(column.column, x)
                                      : sqlite_value(column.column, x)});
        if (csv_fields(column.load.form) > 1)
            columns.push_back({sql_identifier(postgres ? names.zone().postgres : names.zone().sqlite), postgres ? "text" : "TEXT",
                               postgres ? field(number + 1) : "NULLIF(" + field(number + 1) + ", '')"});
        if (has_text_companion(column.load.form) && (facts & keeps_text) != 0)
            columns.push_back({sql_identifier(postgres ? names.kept_text().postgres : names.kept_text().sqlite),
                               postgres ? "text" : "TEXT",
                               postgres ? postgres_kept_text(column.column, x) : sqlite_kept_text(x)});
        number += csv_fields(column.load.form);
    }
    return columns;
}

std::string definitions(const std::vector<Loaded>& columns)
{
    std::string text;
    for (const Loaded& column : columns)
        text += (text.empty() ? "" : ", ") + column.name + (column.type.empty() ? "" : " " + column.type);
    return text;
}

std::string values(const std::vector<Loaded>& columns)
{
    std::string text;
    for (const Loaded& column : columns) text += (text.empty() ? "" : ", ") + column.value;
    return text;
}

// The staging table's text columns, c1 to cN.
std::string staging_fields(std::size_t count, std::string_view type)
{
    std::string text;
    for (std::size_t i = 1; i <= count; ++i) text += (i > 1 ? ", " : "") + field(i) + std::string(type);
    return text;
}

// The fields of a table's CSV file of a kind.
std::size_t field_count(const UnloadTable& table, RowKind kind)
{
    std::size_t count = 0;
    for (const FileField& f : file_fields(table, kind)) count += f.column != nullptr ? csv_fields(f.column->load.form) : 1;
    return count;
}

// The statements that make NULL, in the staging table, each value the
// table's file of values not decoded names for the kind's file; `record`
// is how a staging row's record is named.
std::string undecoded_to_null(const UnloadTable& table, const TableWritten& written, RowKind kind,
                              const std::string& staging, const std::string& undecoded_table, std::string_view record)
{
    std::string text;
    std::size_t number = 1;
    for (const FileField& f : file_fields(table, kind)) {
        if (f.column == nullptr) {
            ++number;
            continue;
        }
        if (written_of(table, written, *f.column).undecoded)
            text += "UPDATE " + staging + " SET " + field(number) + " = NULL WHERE " + std::string(record) +
                    " IN (SELECT " + sql_identifier("RECORD") + " FROM " + undecoded_table + " WHERE " +
                    sql_identifier("KIND") + " = " + sql_literal(names_of(kind).key) + " AND " +
                    sql_identifier("FIELD") + " = " + std::to_string(number) + ");\n";
        number += csv_fields(f.column->load.form);
    }
    return text;
}

// The undecoded file's table: its fields, numbers as numbers.
std::vector<Loaded> undecoded_columns(bool postgres)
{
    std::vector<Loaded> columns;
    std::size_t number = 1;
    for (const UndecodedField& f : kUndecodedFields) {
        const std::string x = field(number++);
        if (postgres)
            columns.push_back({sql_identifier(f.name), f.number ? "bigint" : "text", f.number ? x + "::bigint" : x});
        else
            columns.push_back({sql_identifier(f.name), f.number ? "INTEGER" : "TEXT",
                               f.number ? "CAST(" + x + " AS INTEGER)" : "NULLIF(" + x + ", '')"});
    }
    return columns;
}

// ---------------------------------------------------------------------------
// SQLite's statements

// Creates a table, imports the file into the staging table, makes NULL
// what `nulls` says, and converts the staging table's text into the table.
std::string sqlite_load(const std::string& table, const std::vector<Loaded>& columns, std::size_t fields,
                        const std::string& file, const std::string& nulls)
{
    const std::string staging = "temp." + sql_identifier(kStaging);
    return "CREATE TABLE " + table + " (" + definitions(columns) + ");\n" + "CREATE TEMP TABLE " +
           sql_identifier(kStaging) + " (" + staging_fields(fields, "") + ");\n" +
           ".import --csv --skip 1 --schema temp " + sqlite_argument(file) + " " + sqlite_argument(kStaging) + "\n" +
           nulls + "INSERT INTO " + table + " SELECT " + values(columns) + " FROM " + staging + " ORDER BY _rowid_;\n" +
           "DROP TABLE " + staging + ";\n";
}

// A SELECT that writes, for each hexadecimal value of a RAW column, the
// UPDATE that makes it a BLOB.
std::string sqlite_blob_select(const std::string& table, const std::string& column)
{
    return "SELECT 'UPDATE ' || " + sql_literal(table) + " || ' SET ' || " + sql_literal(column) +
           " || ' = X''' || " + column + " || ''' WHERE _rowid_ = ' || _rowid_ || ';' FROM " + table +
           " WHERE typeof(" + column + ") = 'text' AND length(" + column + ") % 2 = 0 AND " + column +
           " NOT GLOB '*[^0-9A-F]*';\n";
}

// ---------------------------------------------------------------------------
// PostgreSQL's statements

// "SCOTT"."EMP$deleted" in PostgreSQL: a schema per owner, "public" for
// the tables without one.
std::string postgres_table(const UnloadTable& table, const KindNames& kind)
{
    return sql_identifier(table.names.postgres_schema) + "." + sql_identifier(table.names.postgres_table(kind));
}

// Creates a table, copies the file (or, when it holds a line psql would
// take for the end of the data, its binary copy) into the staging table,
// numbering its records when `nulls` finds values by them, and converts
// the staging table's text into the table.
std::string postgres_load(const std::string& table, const std::vector<Loaded>& columns, std::size_t fields,
                          const std::string& file, bool binary, const std::string& nulls)
{
    const std::string staging = sql_identifier(kStaging);
    const std::string numbered = nulls.empty() ? "" : sql_identifier(kStagingRecord) + " bigserial, ";
    std::string text = "CREATE TABLE " + table + " (" + definitions(columns) + ");\n";
    text += "CREATE TEMP TABLE " + staging + " (" + numbered + staging_fields(fields, " text") + ");\n";
    text += "\\copy " + staging + (nulls.empty() ? "" : " (" + staging_fields(fields, "") + ")") + " FROM " +
            psql_file_argument(file) + (binary ? " WITH (FORMAT binary)\n" : " WITH (FORMAT csv, HEADER)\n");
    text += nulls + "INSERT INTO " + table + " SELECT " + values(columns) + " FROM " + staging +
            (nulls.empty() ? "" : " ORDER BY " + sql_identifier(kStagingRecord)) + ";\n";
    return text + "DROP TABLE " + staging + ";\n";
}

// ---------------------------------------------------------------------------
// Oracle's loader

// The field of a column in the control file: its mask, or the room its text needs.
std::string loader_field(const schema::Column& column)
{
    switch (column.type) {
    case OracleType::Date: return " DATE \"YYYY-MM-DD HH24:MI:SS\"";
    case OracleType::Timestamp: return " TIMESTAMP \"YYYY-MM-DD HH24:MI:SS.FF\"";
    case OracleType::TimestampLtz: return " TIMESTAMP WITH LOCAL TIME ZONE \"YYYY-MM-DD HH24:MI:SS.FF\"";
    case OracleType::TimestampTz: return " TIMESTAMP WITH TIME ZONE \"YYYY-MM-DD HH24:MI:SS.FF TZH:TZM\"";
    case OracleType::Long:
    case OracleType::LongRaw:
    case OracleType::Clob:
    case OracleType::Nclob:
    case OracleType::Blob: return " CHAR(" + std::to_string(kLoaderLongField) + ")";
    default: break;
    }
    // Text as UTF-8 takes up to four bytes a character; RAW two digits a byte.
    const std::uint64_t most = std::uint64_t{4} * std::max<std::uint32_t>(column.length, column.char_length) + 2;
    return most > kLoaderDefaultField ? " CHAR(" + std::to_string(most) + ")" : std::string();
}

}  // namespace

std::string sqlite_type(const schema::Column& column)
{
    switch (column.type) {
    // Declared without a type: SQLite then keeps each value as the load
    // stores it (a NUMERIC or INTEGER column would make long numbers REAL).
    case OracleType::Number:
    case OracleType::Float: return "";
    case OracleType::BinaryFloat:
    case OracleType::BinaryDouble: return "REAL";
    case OracleType::Raw:
    case OracleType::LongRaw:
    case OracleType::Blob: return "BLOB";
    case OracleType::Boolean: return "INTEGER";
    // NUMERIC affinity, which keeps the dates' text as text and the Julian
    // days of BC dates as REAL.
    case OracleType::Date: return "DATE";
    case OracleType::Timestamp:
    case OracleType::TimestampTz:
    case OracleType::TimestampLtz: return "TIMESTAMP";
    default: return "TEXT";
    }
}

std::string postgres_type(const schema::Column& column)
{
    switch (column.type) {
    case OracleType::Number:
    case OracleType::Float: return "numeric";
    case OracleType::BinaryFloat: return "real";
    case OracleType::BinaryDouble: return "double precision";
    case OracleType::Date: return "timestamp(0)";
    case OracleType::Timestamp:
    case OracleType::TimestampLtz: return "timestamp";
    case OracleType::TimestampTz: return "timestamptz";
    case OracleType::IntervalYm:
    case OracleType::IntervalDs: return "interval";
    case OracleType::Raw:
    case OracleType::LongRaw:
    case OracleType::Blob: return "bytea";
    case OracleType::Boolean: return "boolean";
    default: return "text";
    }
}

void put_sqlite_script(const UnloadPlan& plan, const WrittenFiles& written, const ScriptOut& out)
{
    std::string text =
        "-- Loads the unloaded tables into SQLite. Run it from inside this directory:\n"
        "--   sqlite3 recovered.db < sqlite.sql\n"
        "-- Each table is \"OWNER.TABLE\", its deleted rows \"OWNER.TABLE$deleted\", its stale\n"
        "-- rows \"OWNER.TABLE$stale\", its hidden and unused columns' values (by ROWID and\n"
        "-- ROW_KIND) \"OWNER.TABLE$hidden\", its values not decoded \"OWNER.TABLE$undecoded\"\n"
        "-- (NULL in their tables); a dropped table is \"OWNER.TABLE$dropped\". Empty fields\n"
        "-- become NULL (an empty string is NULL in Oracle); the hexadecimal digits of RAW\n"
        "-- and BLOB values become BLOBs.\n"
        ".bail on\n.headers off\n.mode list\nBEGIN;\n";
    std::string blobs;
    for (std::size_t t = 0; t < plan.tables().size(); ++t) {
        out(text);
        text.clear();
        const UnloadTable& table = plan.tables()[t];
        const TableWritten& w = written[t];
        const std::string undecoded = sql_identifier(table.names.sqlite_table(undecoded_names()));
        if (w.undecoded)
            text += sqlite_load(undecoded, undecoded_columns(false), std::size(kUndecodedFields),
                                table.names.csv_file(undecoded_names()), "");
        for (RowKind kind : kAllRowKinds) {
            if (!w.files[static_cast<std::size_t>(kind)]) continue;
            const std::vector<Loaded> columns = loaded_columns(table, kind, w, false);
            const std::string name = sql_identifier(table.names.sqlite_table(kind));
            const std::string nulls =
                w.undecoded ? undecoded_to_null(table, w, kind, "temp." + sql_identifier(kStaging), undecoded, "_rowid_")
                            : "";
            text += sqlite_load(name, columns, field_count(table, kind), table.names.csv_file(kind), nulls);
            for (const FileField& f : file_fields(table, kind))
                if (f.column != nullptr && is_raw(f.column->column.type) &&
                    (written_of(table, w, *f.column).facts & value_facts::kLobFile) == 0)
                    blobs += sqlite_blob_select(name, sql_identifier(f.column->names.sqlite));
        }
    }
    if (!blobs.empty()) {
        const std::string file = sqlite_argument(kSqliteBlobStatements);
        text += ".output " + file + "\n" + blobs + ".output stdout\n.read " + file + "\n";
    }
    text += "COMMIT;\n";
    if (!blobs.empty()) text += ".shell rm -f " + shell_word(kSqliteBlobStatements) + "\n";
    out(text);
}

std::string sqlite_script(const UnloadPlan& plan, const WrittenFiles& written)
{
    std::string text;
    put_sqlite_script(plan, written, [&](std::string_view more) { text += more; });
    return text;
}

// Imports a table's LOB files as large objects, each named by its path
// in the table kLobObjects, for its loads to read; lob_objects_dropped()
// removes them after.
std::string lob_objects_imported(const UnloadTable& table, const std::vector<std::string>& files)
{
    std::string text = "CREATE TEMP TABLE " + sql_identifier(kLobObjects) + " (path text PRIMARY KEY, object oid);\n";
    for (const std::string& name : files) {
        const std::string path = lob_file_path(table.names.file_stem, name);
        text += "\\lo_import " + psql_meta_argument(path) + "\nINSERT INTO " + sql_identifier(kLobObjects) +
                " VALUES (" + sql_literal(path) + ", :LASTOID);\n";
    }
    return text;
}

std::string lob_objects_dropped()
{
    return "DELETE FROM " + sql_identifier(kLobObjects) + " WHERE lo_unlink(object) = 1;\nDROP TABLE " +
           sql_identifier(kLobObjects) + ";\n";
}

void put_postgres_script(const UnloadPlan& plan, const WrittenFiles& written, const LobFilesOf& lob_files,
                         const ScriptOut& out)
{
    std::string text =
        "-- Loads the unloaded tables into PostgreSQL. Run it from inside this directory:\n"
        "--   psql -d DATABASE -f postgres.sql\n"
        "-- Each table lands in its owner's schema, its deleted rows in TABLE$deleted, its\n"
        "-- stale rows in TABLE$stale, its hidden and unused columns' values (by ROWID and\n"
        "-- ROW_KIND) in TABLE$hidden, its values not decoded in TABLE$undecoded (NULL in\n"
        "-- their tables); a dropped table is TABLE$dropped.\n"
        // The files are UTF-8 whatever the client's locale says.
        "\\set ON_ERROR_STOP on\nSET client_encoding TO 'UTF8';\nBEGIN;\n";
    std::vector<std::string> schemas;
    for (std::size_t t = 0; t < plan.tables().size(); ++t) {
        out(text);
        text.clear();
        const UnloadTable& table = plan.tables()[t];
        const TableWritten& w = written[t];
        const std::string& schema = table.names.postgres_schema;
        if (!table.owner.empty() && w.any() && std::find(schemas.begin(), schemas.end(), schema) == schemas.end()) {
            text += "CREATE SCHEMA IF NOT EXISTS " + sql_identifier(schema) + ";\n";
            schemas.push_back(schema);
        }
        const std::string undecoded = postgres_table(table, undecoded_names());
        if (w.undecoded)
            text += postgres_load(undecoded, undecoded_columns(true), std::size(kUndecodedFields),
                                  table.names.csv_file(undecoded_names()), false, "");
        const bool lobs = w.any() && any_lob_file(w);
        if (lobs) text += lob_objects_imported(table, lob_files(t));
        for (RowKind kind : kAllRowKinds) {
            const auto k = static_cast<std::size_t>(kind);
            if (!w.files[k]) continue;
            const std::vector<Loaded> columns = loaded_columns(table, kind, w, true);
            const std::string nulls =
                w.undecoded ? undecoded_to_null(table, w, kind, sql_identifier(kStaging), undecoded,
                                                sql_identifier(kStagingRecord))
                            : "";
            text += postgres_load(postgres_table(table, names_of(kind)), columns, field_count(table, kind),
                                  w.binary_copies[k] ? table.names.binary_copy_file(kind) : table.names.csv_file(kind),
                                  w.binary_copies[k], nulls);
        }
        if (lobs) text += lob_objects_dropped();
    }
    out(text + "COMMIT;\n");
}

std::string postgres_script(const UnloadPlan& plan, const WrittenFiles& written, const LobFileLists& lob_files)
{
    std::string text;
    put_postgres_script(
        plan, written,
        [&](std::size_t t) { return t < lob_files.size() ? lob_files[t] : std::vector<std::string>(); },
        [&](std::string_view more) { text += more; });
    return text;
}

// The name of the filler field that reads a LOB column's file name: one
// no column of the table has.
std::string lob_filler_name(const UnloadTable& table, const OutputColumn& column)
{
    std::string name = "LOBFILE_" + std::to_string(&column - table.columns.data() + 1);
    auto taken = [&](const std::string& candidate) {
        return std::any_of(table.columns.begin(), table.columns.end(), [&](const OutputColumn& c) {
            return c.names.text.size() == candidate.size() &&
                   std::equal(candidate.begin(), candidate.end(), c.names.text.begin(),
                              [](char a, char b) { return std::toupper(static_cast<unsigned char>(a)) ==
                                                          std::toupper(static_cast<unsigned char>(b)); });
        });
    };
    while (taken(name) || name == "ROWID_TEXT" || name == "PARTITION_NAME") name += '_';
    return name;
}

std::string control_file(const UnloadTable& table, const TableWritten* written)
{
    const TableNames& names = table.names;
    const std::string file = names.csv_file(RowKind::Live);
    std::string text = "-- Reloads " + file + " into an Oracle database, into a table created as the\n"
                       "-- schema says:  sqlldr control=" + shell_word(names.control_file()) + "\n"
                       "-- For the deleted or stale rows, name " + names.csv_file(RowKind::Deleted) + " or " +
                       names.csv_file(RowKind::Stale) + "\n"
                       "-- in INFILE. Dates before year 1 (written with BC) are rejected by these masks.\n"
                       "OPTIONS (SKIP=1)\nLOAD DATA\nCHARACTERSET AL32UTF8\n";
    text += "INFILE " + sql_literal(file) + " \"STR '\\r\\n'\"\nAPPEND\nINTO TABLE ";
    text += (table.owner.empty() ? "" : sql_identifier(table.owner) + ".") + sql_identifier(table.name) + "\n";
    text += "FIELDS TERMINATED BY ',' OPTIONALLY ENCLOSED BY '\"'\nTRAILING NULLCOLS\n(\n";
    for (const OutputColumn& column : table.columns) {
        if (written != nullptr && (written_of(table, *written, column).facts & value_facts::kLobFile) != 0) {
            // The field holds the file's path; the column reads the file whole.
            const std::string filler = sql_identifier(lob_filler_name(table, column));
            const bool text_lob = column.column.type != OracleType::Blob;
            text += "  " + filler + " FILLER CHAR(" + std::to_string(kLoaderPathField) + "),\n";
            text += "  " + sql_identifier(column.names.text) + " LOBFILE(" + filler +
                    (text_lob ? " CHARACTERSET AL32UTF8" : "") + ") TERMINATED BY EOF,\n";
            continue;
        }
        text += "  " + sql_identifier(column.names.text) + loader_field(column.column) + ",\n";
        // A time zone's value has its zone in its text already.
        if (csv_fields(column.load.form) > 1)
            text += "  " + sql_identifier(column.names.zone().text) + " FILLER CHAR(" + std::to_string(kLoaderZoneField) +
                    "),\n";
    }
    text += "  ROWID_TEXT FILLER CHAR(18)";
    if (table.partitioned) text += ",\n  PARTITION_NAME FILLER CHAR(128)";
    return text + "\n)\n";
}

bool write_loaders(const std::string& directory, const UnloadPlan& plan, const WrittenFiles& written,
                   std::string& failure)
{
    TableFiles copies(directory);
    for (std::size_t t = 0; t < plan.tables().size(); ++t)
        for (RowKind kind : kAllRowKinds) {
            if (!written[t].binary_copies[static_cast<std::size_t>(kind)]) continue;
            const TableNames& names = plan.tables()[t].names;
            OpenFile* out = copies.open(copies.add(names.binary_copy_file(kind)));
            if (out == nullptr) break;
            if (!write_binary_copy(directory + "/" + names.csv_file(kind), *out, failure)) return false;
        }
    if (!copies.finish()) {
        failure = copies.failure();
        return false;
    }
    // The scripts, a table at a time; the LOB files as the directory holds
    // them (psql imports each by name), a table's when it comes.
    TableFiles scripts(directory);
    if (OpenFile* out = scripts.open(scripts.add(std::string(kSqliteScript))))
        put_sqlite_script(plan, written, [&](std::string_view text) { out->text(text); });
    if (OpenFile* out = scripts.open(scripts.add(std::string(kPostgresScript))))
        put_postgres_script(
            plan, written,
            [&](std::size_t t) { return lob_files_of(directory, plan.tables()[t].names.file_stem); },
            [&](std::string_view text) { out->text(text); });
    if (!scripts.finish()) {
        failure = scripts.failure();
        return false;
    }
    for (std::size_t t = 0; t < plan.tables().size(); ++t) {
        const UnloadTable& table = plan.tables()[t];
        if (written[t].files[static_cast<std::size_t>(RowKind::Live)] &&
            !write_whole_file(directory, table.names.control_file(), control_file(table, &written[t]), failure))
            return false;
    }
    return true;
}

}  // namespace unload
