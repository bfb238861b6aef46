#include "unload/loader_scripts.h"

#include <algorithm>

#include "schema/ddl_writer.h"
#include "schema/oracle_types.h"

namespace unload {

namespace {

using schema::OracleType;

constexpr std::string_view kRowidColumn = "ROWID";
constexpr std::string_view kPartitionColumn = "PARTITION";
// Where sqlite.sql writes the statements that turn hexadecimal digits into
// BLOBs before it runs them (the sqlite3 shell of Debian 12 has no unhex()).
constexpr std::string_view kSqliteBlobStatements = "sqlite-blobs.tmp";
// The table postgres.sql copies each file into before converting its text.
constexpr std::string_view kPostgresStaging = "unload_staging";
// The largest whole numbers SQLite's 64-bit integers hold all of.
constexpr std::int32_t kSqliteIntegerDigits = 18;
// The loader reads a field of up to 255 bytes unless told more.
constexpr std::uint32_t kLoaderDefaultField = 255;
// Fields of LONG and LONG RAW: the most the loader is told to expect.
constexpr std::uint32_t kLoaderLongField = 1u << 20;

std::string quoted(std::string_view name) { return schema::quoted_name(name); }

// An argument of a dot-command of the sqlite3 shell.
std::string shell_argument(std::string_view text)
{
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

// A string literal of SQL.
std::string literal(std::string_view text)
{
    std::string out = "'";
    for (char c : text) {
        if (c == '\'') out += '\'';
        out += c;
    }
    return out + "'";
}

bool is_raw(OracleType type) { return type == OracleType::Raw || type == OracleType::LongRaw; }

// The table of a kind of rows in the loaders: "SCOTT.EMP$deleted" in SQLite.
std::string sqlite_table(const UnloadTable& table, RowKind kind)
{
    return quoted(table.qualified_name() + std::string(table_suffix(kind)));
}

// "SCOTT"."EMP$deleted" in PostgreSQL: a schema per owner.
std::string postgres_table(const UnloadTable& table, RowKind kind)
{
    const std::string name = quoted(table.name + std::string(table_suffix(kind)));
    return table.owner.empty() ? name : quoted(table.owner) + "." + name;
}

std::string file_of(const UnloadTable& table, RowKind kind) { return table.file_name + std::string(file_suffix(kind)); }

// The column definitions: the table's, then ROWID and PARTITION.
template <class TypeOf>
std::string column_definitions(const UnloadTable& table, TypeOf type_of)
{
    std::string text;
    for (const OutputColumn& column : table.columns) text += quoted(column.column.name) + " " + type_of(column.column) + ", ";
    text += quoted(kRowidColumn) + " " + type_of(std::nullopt);
    if (table.partitioned) text += ", " + quoted(kPartitionColumn) + " " + type_of(std::nullopt);
    return text;
}

// ---------------------------------------------------------------------------
// SQLite

// Empty fields to NULL (and BOOLEAN's words to 1 and 0), in the rows that have any.
std::string sqlite_nulls(const UnloadTable& table, const std::string& name)
{
    std::string sets, where;
    auto add = [&](const std::string& column, bool boolean) {
        if (!sets.empty()) {
            sets += ", ";
            where += " OR ";
        }
        if (boolean) {
            sets += column + " = CASE " + column + " WHEN '' THEN NULL WHEN 'TRUE' THEN 1 WHEN 'FALSE' THEN 0 ELSE " +
                    column + " END";
            where += "typeof(" + column + ") = 'text'";
        } else {
            sets += column + " = NULLIF(" + column + ", '')";
            where += column + " = ''";
        }
    };
    for (const OutputColumn& column : table.columns)
        add(quoted(column.column.name), column.column.type == OracleType::Boolean);
    add(quoted(kRowidColumn), false);
    if (table.partitioned) add(quoted(kPartitionColumn), false);
    return "UPDATE " + name + " SET " + sets + " WHERE " + where + ";\n";
}

// A SELECT that writes, for each hexadecimal value of a RAW column, the
// UPDATE that makes it a BLOB.
std::string sqlite_blob_select(const std::string& table, const std::string& column)
{
    return "SELECT 'UPDATE ' || " + literal(table) + " || ' SET ' || " + literal(column) + " || ' = X''' || " + column +
           " || ''' WHERE _rowid_ = ' || _rowid_ || ';' FROM " + table + " WHERE typeof(" + column +
           ") = 'text' AND length(" + column + ") % 2 = 0 AND " + column + " NOT GLOB '*[^0-9A-F]*';\n";
}

// ---------------------------------------------------------------------------
// PostgreSQL

// A staging column's text as the column's value; NULL where the CSV holds
// the bytes of a value that could not be decoded.
std::string postgres_value(const schema::Column& column, const std::string& text)
{
    const std::string undecoded = "WHEN " + text + " LIKE '0x%' THEN NULL ";
    auto cast = [&](std::string_view type) {
        return "CASE " + undecoded + "ELSE " + text + "::" + std::string(type) + " END";
    };
    switch (column.type) {
    case OracleType::Number:
    case OracleType::Float:
    case OracleType::BinaryFloat:
    case OracleType::BinaryDouble:
    case OracleType::Date:
    case OracleType::Timestamp:
    case OracleType::TimestampLtz:
    case OracleType::TimestampTz:
    case OracleType::Boolean: return cast(postgres_type(column));
    // A negative interval is negative in all its fields, as PostgreSQL
    // reads it only when the sign is outside.
    case OracleType::IntervalYm:
    case OracleType::IntervalDs:
        return "CASE " + undecoded + "WHEN " + text + " LIKE '-%' THEN -(substr(" + text + ", 2)::interval) ELSE " +
               text + "::interval END";
    case OracleType::Raw:
    case OracleType::LongRaw: return "CASE " + undecoded + "ELSE decode(" + text + ", 'hex') END";
    default: return text;
    }
}

std::string postgres_load(const UnloadTable& table, RowKind kind)
{
    const std::string target = postgres_table(table, kind);
    const std::string staging = quoted(kPostgresStaging);
    const std::size_t fields = table.columns.size() + 1 + (table.partitioned ? 1 : 0);
    std::string text = "CREATE TABLE " + target + " (" +
                       column_definitions(table, [](const std::optional<schema::Column>& c) {
                           return c ? postgres_type(*c) : std::string("text");
                       }) +
                       ");\n";
    std::string staging_columns, values;
    for (std::size_t i = 0; i < fields; ++i) {
        std::string column = "c";
        const std::string name = quoted(column.append(std::to_string(i + 1)));
        if (i > 0) {
            staging_columns += ", ";
            values += ", ";
        }
        staging_columns.append(name).append(" text");
        values += i < table.columns.size() ? postgres_value(table.columns[i].column, name) : name;
    }
    text += "CREATE TEMP TABLE " + staging + " (" + staging_columns + ");\n";
    text += "\\copy " + staging + " FROM " + literal(file_of(table, kind)) + " WITH (FORMAT csv, HEADER)\n";
    text += "INSERT INTO " + target + " SELECT " + values + " FROM " + staging + ";\n";
    text += "DROP TABLE " + staging + ";\n";
    return text;
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
    case OracleType::LongRaw: return " CHAR(" + std::to_string(kLoaderLongField) + ")";
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
    case OracleType::Number:
        if (column.scale == 0 && column.precision && *column.precision <= kSqliteIntegerDigits) return "INTEGER";
        return "NUMERIC";
    case OracleType::Float:
    case OracleType::BinaryFloat:
    case OracleType::BinaryDouble: return "REAL";
    case OracleType::Raw:
    case OracleType::LongRaw: return "BLOB";
    case OracleType::Boolean: return "INTEGER";
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
    case OracleType::LongRaw: return "bytea";
    case OracleType::Boolean: return "boolean";
    default: return "text";
    }
}

std::string sqlite_script(const UnloadPlan& plan, const WrittenFiles& written)
{
    std::string text =
        "-- Loads the unloaded tables into SQLite. Run it from inside this directory:\n"
        "--   sqlite3 recovered.db < sqlite.sql\n"
        "-- Each table is \"OWNER.TABLE\", its deleted rows \"OWNER.TABLE$deleted\", its stale\n"
        "-- rows \"OWNER.TABLE$stale\". Empty fields become NULL (an empty string is NULL\n"
        "-- in Oracle); the hexadecimal digits of RAW values become BLOBs.\n"
        ".bail on\n.headers off\n.mode list\nBEGIN;\n";
    std::string blobs;
    for (std::size_t t = 0; t < plan.tables().size(); ++t) {
        const UnloadTable& table = plan.tables()[t];
        for (RowKind kind : kAllRowKinds) {
            if (!written[t][static_cast<std::size_t>(kind)]) continue;
            const std::string name = sqlite_table(table, kind);
            text += "CREATE TABLE " + name + " (" +
                    column_definitions(table, [](const std::optional<schema::Column>& c) {
                        return c ? sqlite_type(*c) : std::string("TEXT");
                    }) +
                    ");\n";
            text += ".import --csv --skip 1 " + shell_argument(file_of(table, kind)) + " " +
                    shell_argument(table.qualified_name() + std::string(table_suffix(kind))) + "\n";
            text += sqlite_nulls(table, name);
            for (const OutputColumn& column : table.columns)
                if (is_raw(column.column.type)) blobs += sqlite_blob_select(name, quoted(column.column.name));
        }
    }
    if (!blobs.empty()) {
        const std::string file = shell_argument(kSqliteBlobStatements);
        text += ".output " + file + "\n" + blobs + ".output stdout\n.read " + file + "\n";
    }
    text += "COMMIT;\n";
    if (!blobs.empty()) text += ".shell rm -f " + std::string(kSqliteBlobStatements) + "\n";
    return text;
}

std::string postgres_script(const UnloadPlan& plan, const WrittenFiles& written)
{
    std::string text =
        "-- Loads the unloaded tables into PostgreSQL. Run it from inside this directory:\n"
        "--   psql -d DATABASE -f postgres.sql\n"
        "-- Each table lands in its owner's schema, its deleted rows in TABLE$deleted, its\n"
        "-- stale rows in TABLE$stale. A value that could not be decoded (0x and its bytes\n"
        "-- in the CSV file) is NULL in a column that is not text.\n"
        "\\set ON_ERROR_STOP on\nBEGIN;\n";
    std::vector<std::string> owners;
    for (const UnloadTable& table : plan.tables())
        if (!table.owner.empty() && std::find(owners.begin(), owners.end(), table.owner) == owners.end())
            owners.push_back(table.owner);
    for (std::size_t t = 0; t < plan.tables().size(); ++t) {
        const UnloadTable& table = plan.tables()[t];
        const bool any = std::any_of(written[t].begin(), written[t].end(), [](bool w) { return w; });
        const auto owner = std::find(owners.begin(), owners.end(), table.owner);
        if (any && owner != owners.end()) {
            text += "CREATE SCHEMA IF NOT EXISTS " + quoted(table.owner) + ";\n";
            owners.erase(owner);
        }
        for (RowKind kind : kAllRowKinds)
            if (written[t][static_cast<std::size_t>(kind)]) text += postgres_load(table, kind);
    }
    return text + "COMMIT;\n";
}

std::string control_file(const UnloadTable& table)
{
    const std::string file = file_of(table, RowKind::Live);
    std::string text = "-- Reloads " + file + " into an Oracle database, into a table created as the\n"
                       "-- schema says:  sqlldr control=" + table.file_name + std::string(kControlFileSuffix) + "\n"
                       "-- For the deleted or stale rows, name " + file_of(table, RowKind::Deleted) + " or " +
                       file_of(table, RowKind::Stale) + "\n"
                       "-- in INFILE. Dates before year 1 (written with BC) are rejected by these masks.\n"
                       "OPTIONS (SKIP=1)\nLOAD DATA\nCHARACTERSET AL32UTF8\n";
    text += "INFILE " + literal(file) + " \"STR '\\r\\n'\"\nAPPEND\nINTO TABLE ";
    text += (table.owner.empty() ? "" : quoted(table.owner) + ".") + quoted(table.name) + "\n";
    text += "FIELDS TERMINATED BY ',' OPTIONALLY ENCLOSED BY '\"'\nTRAILING NULLCOLS\n(\n";
    for (const OutputColumn& column : table.columns)
        text += "  " + quoted(column.column.name) + loader_field(column.column) + ",\n";
    text += "  ROWID_TEXT FILLER CHAR(18)";
    if (table.partitioned) text += ",\n  PARTITION_NAME FILLER CHAR(128)";
    return text + "\n)\n";
}

}  // namespace unload
