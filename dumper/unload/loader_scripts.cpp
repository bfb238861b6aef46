#include "unload/loader_scripts.h"

#include <algorithm>

#include "schema/oracle_types.h"
#include "unload/script_text.h"

namespace unload {

namespace {

using schema::OracleType;

// The table postgres.sql copies each file into before converting its text.
constexpr std::string_view kPostgresStaging = "unload_staging";
// The largest whole numbers SQLite's 64-bit integers hold all of.
constexpr std::int32_t kSqliteIntegerDigits = 18;
// The loader reads a field of up to 255 bytes unless told more.
constexpr std::uint32_t kLoaderDefaultField = 255;
// Fields of LONG and LONG RAW: the most the loader is told to expect.
constexpr std::uint32_t kLoaderLongField = 1u << 20;

bool is_raw(OracleType type) { return type == OracleType::Raw || type == OracleType::LongRaw; }

// The table of a kind of rows in SQLite: "SCOTT.EMP$deleted".
std::string sqlite_table(const UnloadTable& table, RowKind kind) { return sql_identifier(table.names.sqlite_table(kind)); }

// "SCOTT"."EMP$deleted" in PostgreSQL: a schema per owner, "public" for
// the tables without one.
std::string postgres_table(const UnloadTable& table, RowKind kind)
{
    return sql_identifier(table.names.postgres_schema) + "." + sql_identifier(table.names.postgres_table(kind));
}

std::string sqlite_column(const OutputColumn& column) { return sql_identifier(column.names.sqlite); }
std::string postgres_column(const OutputColumn& column) { return sql_identifier(column.names.postgres); }

// A field's name in a loader: its column's, or the name the unload gives it.
template <class NameOf>
std::string field_name(const FileField& field, NameOf name_of)
{
    return field.column != nullptr ? name_of(*field.column) : sql_identifier(field.added);
}

// The column definitions of a kind's table, in its file's order.
template <class NameOf, class TypeOf>
std::string column_definitions(const UnloadTable& table, RowKind kind, NameOf name_of, TypeOf type_of)
{
    std::string text;
    for (const FileField& field : file_fields(table, kind)) {
        if (!text.empty()) text += ", ";
        text += field_name(field, name_of) + " " +
                type_of(field.column != nullptr ? std::optional(field.column->column) : std::nullopt);
    }
    return text;
}

// ---------------------------------------------------------------------------
// SQLite

// Empty fields to NULL (and BOOLEAN's words to 1 and 0), in the rows that have any.
std::string sqlite_nulls(const UnloadTable& table, RowKind kind, const std::string& name)
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
    for (const FileField& field : file_fields(table, kind))
        add(field_name(field, sqlite_column), field.column != nullptr && field.column->column.type == OracleType::Boolean);
    return "UPDATE " + name + " SET " + sets + " WHERE " + where + ";\n";
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

// Loads a file into its table: copies the CSV file (or, when it holds a
// line psql would take for the end of the data, its binary copy) into a
// table of text columns, then converts the text into the table.
std::string postgres_load(const UnloadTable& table, RowKind kind, bool binary_copy)
{
    const std::string target = postgres_table(table, kind);
    const std::string staging = sql_identifier(kPostgresStaging);
    const std::vector<FileField> fields = file_fields(table, kind);
    std::string text = "CREATE TABLE " + target + " (" +
                       column_definitions(table, kind, postgres_column, [](const std::optional<schema::Column>& c) {
                           return c ? postgres_type(*c) : std::string("text");
                       }) +
                       ");\n";
    std::string staging_columns, values;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        std::string column = "c";
        const std::string name = sql_identifier(column.append(std::to_string(i + 1)));
        if (i > 0) {
            staging_columns += ", ";
            values += ", ";
        }
        staging_columns.append(name).append(" text");
        values += fields[i].column != nullptr ? postgres_value(fields[i].column->column, name) : name;
    }
    text += "CREATE TEMP TABLE " + staging + " (" + staging_columns + ");\n";
    text += "\\copy " + staging + " FROM " +
            (binary_copy ? psql_file_argument(table.names.binary_copy_file(kind)) + " WITH (FORMAT binary)\n"
                         : psql_file_argument(table.names.csv_file(kind)) + " WITH (FORMAT csv, HEADER)\n");
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
        "-- rows \"OWNER.TABLE$stale\", its hidden and unused columns' values (by ROWID and\n"
        "-- ROW_KIND) \"OWNER.TABLE$hidden\"; a dropped table is \"OWNER.TABLE$dropped\". Empty\n"
        "-- fields become NULL (an empty string is NULL in Oracle); the hexadecimal digits\n"
        "-- of RAW values become BLOBs.\n"
        ".bail on\n.headers off\n.mode list\nBEGIN;\n";
    std::string blobs;
    for (std::size_t t = 0; t < plan.tables().size(); ++t) {
        const UnloadTable& table = plan.tables()[t];
        for (RowKind kind : kAllRowKinds) {
            if (!written[t].files[static_cast<std::size_t>(kind)]) continue;
            const std::string name = sqlite_table(table, kind);
            text += "CREATE TABLE " + name + " (" +
                    column_definitions(table, kind, sqlite_column, [](const std::optional<schema::Column>& c) {
                        return c ? sqlite_type(*c) : std::string("TEXT");
                    }) +
                    ");\n";
            // The same name as the CREATE TABLE's, in the shell's quotes.
            text += ".import --csv --skip 1 " + sqlite_argument(table.names.csv_file(kind)) + " " +
                    sqlite_argument(table.names.sqlite_table(kind)) + "\n";
            text += sqlite_nulls(table, kind, name);
            for (const FileField& field : file_fields(table, kind))
                if (field.column != nullptr && is_raw(field.column->column.type))
                    blobs += sqlite_blob_select(name, sqlite_column(*field.column));
        }
    }
    if (!blobs.empty()) {
        const std::string file = sqlite_argument(kSqliteBlobStatements);
        text += ".output " + file + "\n" + blobs + ".output stdout\n.read " + file + "\n";
    }
    text += "COMMIT;\n";
    if (!blobs.empty()) text += ".shell rm -f " + shell_word(kSqliteBlobStatements) + "\n";
    return text;
}

std::string postgres_script(const UnloadPlan& plan, const WrittenFiles& written)
{
    std::string text =
        "-- Loads the unloaded tables into PostgreSQL. Run it from inside this directory:\n"
        "--   psql -d DATABASE -f postgres.sql\n"
        "-- Each table lands in its owner's schema, its deleted rows in TABLE$deleted, its\n"
        "-- stale rows in TABLE$stale, its hidden and unused columns' values (by ROWID and\n"
        "-- ROW_KIND) in TABLE$hidden; a dropped table is TABLE$dropped. A value that could\n"
        "-- not be decoded (0x and its bytes in the CSV file) is NULL in a column that is\n"
        "-- not text.\n"
        // The files are UTF-8 whatever the client's locale says.
        "\\set ON_ERROR_STOP on\nSET client_encoding TO 'UTF8';\nBEGIN;\n";
    std::vector<std::string> schemas;
    for (std::size_t t = 0; t < plan.tables().size(); ++t) {
        const UnloadTable& table = plan.tables()[t];
        const std::string& schema = table.names.postgres_schema;
        if (!table.owner.empty() && written[t].any() &&
            std::find(schemas.begin(), schemas.end(), schema) == schemas.end()) {
            text += "CREATE SCHEMA IF NOT EXISTS " + sql_identifier(schema) + ";\n";
            schemas.push_back(schema);
        }
        for (RowKind kind : kAllRowKinds) {
            const auto k = static_cast<std::size_t>(kind);
            if (written[t].files[k]) text += postgres_load(table, kind, written[t].binary_copies[k]);
        }
    }
    return text + "COMMIT;\n";
}

std::string control_file(const UnloadTable& table)
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
    for (const OutputColumn& column : table.columns)
        text += "  " + sql_identifier(column.names.text) + loader_field(column.column) + ",\n";
    text += "  ROWID_TEXT FILLER CHAR(18)";
    if (table.partitioned) text += ",\n  PARTITION_NAME FILLER CHAR(128)";
    return text + "\n)\n";
}

}  // namespace unload
