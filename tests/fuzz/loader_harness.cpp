// The loader script writers under the fuzzer: each input is a few tables
// of random names (made of what could end a quote, a line, a statement or
// start a command), columns and values, unloaded as the unload writes
// them (some columns hidden, so that their own file is written too): CSV
// files, binary copies, sqlite.sql, postgres.sql and control
// files. Each script is read as its interpreter reads it (the sqlite3
// shell, psql, a POSIX shell for the control files' comments): every
// command in it must be one the writer writes, naming the files and
// tables the plan gave, and no statement may run over its line. Each
// binary copy must hold the CSV file's records, and every CSV file holding
// a line psql's \copy stops at must have one. With LOB files, each is in
// its table's directory under lobs/, under a name of numbers, and psql
// imports each by its path.
#include <filesystem>

#include "fuzz_harness.h"
#include "script_checks.h"
#include "schema/oracle_types.h"
#include "lob_locators.h"
#include "test_support.h"
#include "unload/binary_copy.h"
#include "unload/loader_scripts.h"
#include "unload/table_files.h"
#include "unload/unload_writer.h"
#include "values/charsets.h"

namespace fuzz {

namespace {

using namespace unload;

// The pieces names are made of: what ends or starts something in one of
// the scripts' grammars, and what the names' rules watch for.
const std::vector<std::string> kNamePieces = {
    "\n", "\r", std::string(1, '\0'), "\"", "'", "\\", ";", "-", ".", "$", "|", "~", "%", "/", "`", ":", " ", ",",
    "\x1B", "\x7F", "\xFF", "\xC3", "\xC2\x85", "\xE6\x9D\xB1", "sqlite_", "pg_", ".shell touch MARKER",
    "\\! touch MARKER", "--", "*/", "/*", "$deleted", ".deleted", "$stale", ".stale", ".csv", "ROWID", "_rowid_",
    "ctid", "public", "E", "x", "A", "a", "(", ")", "[", "{", "#", "!", "=", "*", "?", "&",
};
// And those text values are made of.
const std::vector<std::string> kValuePieces = {
    "\n", "\r\n", "\r", "\\.", "\"", ",", std::string(1, '\0'), "\xFF", "\xC3\xA9", "a", " ", "\n\\.\n",
    "\r\n\\.\r\n", "\\", "'", ";", "\t", "\x1B", "0x", "",
};
constexpr std::size_t kMostTables = 4;
constexpr std::size_t kMostColumns = 4;
constexpr std::size_t kMostRows = 5;

// The input a byte at a time, zeros past its end.
class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint8_t next() { return at_ < size_ ? data_[at_++] : 0; }

    std::string name()
    {
        std::string text;
        const std::uint8_t shape = next();
        for (std::size_t n = shape % 8; n > 0; --n) {
            const std::uint8_t b = next();
            text += b < 128 ? kNamePieces[b % kNamePieces.size()] : std::string(1, static_cast<char>('A' + b % 26 + (b & 0x40 ? 32 : 0)));
        }
        // Some names are too long for a file or PostgreSQL.
        if (shape & 0x80) text += std::string(40 + static_cast<std::size_t>(next()), static_cast<char>('L' + shape % 3));
        return text;
    }

    std::optional<Bytes> text_value()
    {
        const std::uint8_t shape = next();
        if (shape == 0xFF) return std::nullopt;
        std::string text;
        for (std::size_t n = shape % 12; n > 0; --n) text += kValuePieces[next() % kValuePieces.size()];
        return Bytes(text.begin(), text.end());
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

// The kinds of rows a row may be (the Hidden file holds no row of its own).
constexpr RowKind kKindsOfRows[] = {RowKind::Live, RowKind::Deleted, RowKind::Stale};

// A whole number, a text or a RAW column, or one in four a CLOB or a
// BLOB; one in four hidden.
schema::Column random_column(Input& in, std::uint32_t position)
{
    static const char* const kTypes[] = {"VARCHAR2(100)", "RAW(50)", "NUMBER(9)"};
    const std::uint8_t shape = in.next();
    const bool lob = (shape & 0xC0) == 0xC0;
    schema::Column c = schema::parse_sql_type(lob ? (shape & 1 ? "BLOB" : "CLOB") : kTypes[shape % 3]).value;
    c.name = in.name();
    c.segment_column = c.internal_column = position;
    c.hidden = (shape & 0x30) == 0x30;
    c.column_number = c.hidden ? 0 : position;
    return c;
}

Bytes value_of(const schema::Column& column, Input& in)
{
    if (column.type == schema::OracleType::Number) return datafile::number_value(std::to_string(in.next()));
    // A value the row holds: a BLOB's bytes, a CLOB's text of the ASCII
    // among them (not NUL) as 2-byte Unicode.
    if (column.type == schema::OracleType::Clob || column.type == schema::OracleType::Blob) {
        const std::optional<Bytes> bytes = in.text_value();
        if (!bytes) return Bytes{};
        Bytes data;
        for (const std::uint8_t b : *bytes) {
            if (column.type == schema::OracleType::Blob) {
                data.push_back(b);
            } else if (b > 0 && b < 0x80) {
                data.push_back(0);
                data.push_back(b);
            }
        }
        return datafile::basic_inline_locator(datafile::lob_id(in.next()), data);
    }
    return in.text_value().value_or(Bytes{});
}

std::string file_text(const std::string& path) { return read_file(path); }

ScratchDir& scratch()
{
    static ScratchDir instance;
    return instance;
}

}  // namespace

LoaderCase loader_case(const std::uint8_t* data, std::size_t size)
{
    Input in(data, size);
    LoaderCase c;
    const std::size_t tables = 1 + in.next() % kMostTables;
    for (std::size_t t = 0; t < tables; ++t) {
        LoaderTable table;
        const std::uint8_t shape = in.next();
        if (t == 0) c.lob_files = (shape & 4) != 0;
        if (shape & 1) table.table.owner = in.name();
        table.table.name = in.name();
        const auto object = static_cast<std::uint32_t>(1000 + 10 * t);
        if (shape & 2)
            table.table.partitions = {{in.name(), object + 1}, {in.name(), object + 2}};
        else
            table.table.data_object = object;
        const std::size_t columns = in.next() % (kMostColumns + 1);
        for (std::size_t i = 0; i < columns; ++i)
            table.table.columns.push_back(random_column(in, static_cast<std::uint32_t>(i + 1)));
        for (std::size_t r = in.next() % (kMostRows + 1); r > 0; --r) {
            LoaderRow row;
            row.kind = kKindsOfRows[in.next() % std::size(kKindsOfRows)];
            row.partition = shape & 2 ? in.next() % 2 : 0;
            for (const schema::Column& column : table.table.columns) row.values.push_back(value_of(column, in));
            table.rows.push_back(std::move(row));
        }
        c.tables.push_back(std::move(table));
    }
    return c;
}

std::string write_loader_case(const LoaderCase& c, const std::string& directory, UnloadPlan& plan,
                              WrittenFiles& written)
{
    schema::Schema schema;
    for (const LoaderTable& t : c.tables) schema.tables.push_back(t.table);
    plan.add_schema(schema, TableSelection(), false);
    TableFiles files(directory);
    UnloadSummary summary;
    UnloadWriter writer(plan, files, summary);
    if (c.lob_files) writer.write_lob_files(directory);
    for (std::size_t t = 0; t < c.tables.size(); ++t) {
        const LoaderTable& table = c.tables[t];
        for (std::size_t r = 0; r < table.rows.size(); ++r) {
            const LoaderRow& row = table.rows[r];
            std::vector<ColumnValue> values;
            for (const Bytes& value : row.values) {
                const auto size = static_cast<std::uint16_t>(value.size());
                values.push_back({ByteView(value.data(), value.size()), size, size, value.empty()});
            }
            const std::uint32_t object = table.table.partitions.empty()
                                             ? *table.table.data_object
                                             : table.table.partitions[row.partition].data_object;
            const RowFacts facts{object, {4, static_cast<std::int32_t>(20 + t), static_cast<std::int32_t>(r)},
                                 row.kind != RowKind::Stale, row.kind == RowKind::Deleted, false, true};
            if (!writer.write(facts, JoinedValues{values}, *plan.target(object, std::nullopt)))
                return "a row could not be written: " + files.failure();
        }
    }
    if (!writer.complete_tables() || !files.finish()) return "the CSV files could not be written: " + files.failure();
    written = writer.written();
    std::string failure;
    return write_loaders(directory, plan, written, failure) ? "" : failure;
}

std::string run_loader_scripts_input(const std::uint8_t* data, std::size_t size)
{
    const LoaderCase c = loader_case(data, size);
    const std::string directory = scratch().path("unload");
    std::filesystem::remove_all(directory);
    std::filesystem::create_directory(directory);
    UnloadPlan plan("");
    WrittenFiles written;
    std::string problem = write_loader_case(c, directory, plan, written);
    if (!problem.empty()) return problem;
    problem = check_lob_files(plan, directory);
    if (problem.empty()) problem = check_sqlite_script(plan, written, file_text(directory + "/" + std::string(kSqliteScript)));
    if (problem.empty()) problem = check_postgres_script(plan, written, file_text(directory + "/" + std::string(kPostgresScript)));
    for (std::size_t t = 0; t < plan.tables().size() && problem.empty(); ++t) {
        const TableNames& names = plan.tables()[t].names;
        if (written[t].files[0])
            problem = check_control_file(plan.tables()[t], file_text(directory + "/" + names.control_file()));
        for (RowKind kind : kAllRowKinds)
            if (problem.empty() && written[t].files[static_cast<std::size_t>(kind)])
                problem = check_binary_copy(file_text(directory + "/" + names.csv_file(kind)),
                                            written[t].binary_copies[static_cast<std::size_t>(kind)]
                                                ? std::optional(file_text(directory + "/" + names.binary_copy_file(kind)))
                                                : std::nullopt);
    }
    return problem;
}

std::vector<Seed> loader_scripts_seeds()
{
    std::vector<Seed> seeds;
    // Every name piece once, in a table of every column type with rows of every kind.
    Bytes every_piece = {0, 3, 0x87};
    for (std::size_t i = 0; i < kNamePieces.size(); ++i) every_piece.push_back(static_cast<std::uint8_t>(i));
    for (int b : {3, 0, 0, 0, 1, 7, 1, 2, 3, 4, 5, 6, 7, 2, 2, 8, 9, 10, 11, 12, 13, 14, 15, 4, 0, 0, 9, 10, 11})
        every_piece.push_back(static_cast<std::uint8_t>(b));
    seeds.push_back({"every-piece", every_piece});
    // A CLOB and a BLOB column of names holding quotes and backslashes, in
    // LOB files: rows of each kind, a NULL, an empty LOB.
    seeds.push_back({"lob-files", {0, 0x05, 3, 4, 5, 13, 2, 8, 13, 2, 0xC0, 1, 4, 0xC1, 1, 5, 3,
                                   0, 2, 6, 9, 1, 3, 9, 10, 4, 2,
                                   1, 4, 6, 9, 6, 10, 3, 0xFF,
                                   2, 0, 4, 1, 9, 5}});
    // And some made by a fixed sequence of numbers.
    std::uint32_t state = 29;
    for (int n = 0; n < 24; ++n) {
        Bytes input(64 + 16 * static_cast<std::size_t>(n));
        for (std::uint8_t& b : input) {
            state = state * 1103515245u + 12345u;
            b = static_cast<std::uint8_t>(state >> 16);
        }
        seeds.push_back({"random-" + std::to_string(n), input});
    }
    return seeds;
}

}  // namespace fuzz
