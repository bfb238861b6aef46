// The schema readers under the fuzzer: each input is read both as a
// statement of BOOTSTRAP$ and as a schema file, as damaged dictionary
// blocks and hand-edited files would hand them over. Whatever they read
// must be written back as a schema file that reads the same; whatever they
// refuse must be refused with an error that says where.
#include <algorithm>
#include <fstream>

#include "fuzz_harness.h"
#include "release_shapes.h"
#include "schema/ddl_parser.h"
#include "schema/ddl_writer.h"
#include "values/escaped_text.h"

namespace fuzz {

namespace {

using namespace schema;

// Longer inputs are cut: a statement of BOOTSTRAP$ is at most 4000 bytes.
constexpr std::size_t kMaxSchemaInput = 1 << 16;

// The number after `prefix` at the start of `error`; -1 when there is none.
long long position_in(const std::string& error, const std::string& prefix)
{
    if (error.rfind(prefix, 0) != 0) return -1;
    const std::size_t digits = error.find_first_not_of("0123456789", prefix.size());
    if (digits == prefix.size() || digits == std::string::npos || error.compare(digits, 2, ": ") != 0) return -1;
    return std::stoll(error.substr(prefix.size(), digits - prefix.size()));
}

// Comments as a schema file shows them: control characters and bytes that
// are not UTF-8 as \xHH (names keep their bytes).
Schema with_comments_as_shown(Schema schema)
{
    for (Table& table : schema.tables) {
        std::string note;
        for (std::size_t start = 0; start <= table.note.size() && !table.note.empty();) {
            std::size_t end = table.note.find('\n', start);
            if (end == std::string::npos) end = table.note.size();
            if (start > 0) note += '\n';
            note += terminal_text(std::string_view(table.note).substr(start, end - start));
            start = end + 1;
        }
        table.note = note;
        for (Column& column : table.columns) column.comment = terminal_text(column.comment);
    }
    return schema;
}

// What a schema file holds of a table.
Table as_held_by_a_schema_file(Table table)
{
    table.object_number = 0;
    if (!table.data_object) table.cluster.reset();
    if (table.cluster) table.cluster->cluster_object = 0;
    return table;
}

std::string check_bootstrap_statement(std::string_view text)
{
    Parsed<BootstrapStatement> statement = parse_bootstrap_statement(text);
    if (!statement.ok()) {
        const long long offset = position_in(statement.error, "offset ");
        if (offset < 0 || static_cast<std::size_t>(offset) > text.size())
            return "a statement's error does not give its offset: " + statement.error;
        return "";
    }
    const bool has_columns =
        statement.value.kind == StatementKind::Table || statement.value.kind == StatementKind::Cluster;
    if (has_columns == statement.value.columns.empty())
        return "a statement of kind " + std::to_string(static_cast<int>(statement.value.kind)) + " with " +
               std::to_string(statement.value.columns.size()) + " columns";
    std::vector<Table> tables = bootstrap_tables({statement.value});
    const std::string written = write_schema_file(Schema{{}, {}, tables});
    Parsed<Schema> read = parse_schema_file(written);
    if (!read.ok()) return "the schema file of a statement's table does not read back: " + read.error + "\n" + written;
    std::transform(tables.begin(), tables.end(), tables.begin(), as_held_by_a_schema_file);
    if (read.value.tables != tables) return "the schema file of a statement's table reads back otherwise:\n" + written;
    return "";
}

std::string check_schema_file(std::string_view text)
{
    Parsed<Schema> first = parse_schema_file(text);
    if (!first.ok()) {
        const long long line = position_in(first.error, "line ");
        const auto lines = static_cast<long long>(std::count(text.begin(), text.end(), '\n')) + 1;
        if (line < 1 || line > lines) return "a schema file's error does not give its line: " + first.error;
        return "";
    }
    const std::string written = write_schema_file(first.value);
    Parsed<Schema> second = parse_schema_file(written);
    if (!second.ok()) return "a schema file written from one read does not read back: " + second.error + "\n" + written;
    if (second.value != with_comments_as_shown(first.value))
        return "a schema file written from one read reads back otherwise:\n" + written;
    return "";
}

}  // namespace

std::string run_schema_input(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), std::min(size, kMaxSchemaInput));
    std::string problem = check_bootstrap_statement(text);
    return problem.empty() ? check_schema_file(text) : problem;
}

std::vector<Seed> schema_seeds()
{
    std::vector<Seed> seeds;
    std::ifstream lines(TREVANIX_SOURCE_DIR "/tests/data/bootstrap-11.2.txt");
    std::vector<BootstrapStatement> statements;
    std::string line;
    while (std::getline(lines, line)) {
        const std::string sql = line.substr(line.rfind('\t') + 1);
        seeds.push_back({"bootstrap-" + std::to_string(seeds.size()), Bytes(sql.begin(), sql.end())});
        if (Parsed<BootstrapStatement> statement = parse_bootstrap_statement(sql); statement.ok())
            statements.push_back(statement.value);
    }
    // Another release's: lists of 12.2 and later, lower-case index lines.
    for (const datafile::BootstrapLine& other : datafile::shape_bootstrap_lines(datafile::DictionaryShape::Release19cUpgraded))
        if (other.line >= 0)
            seeds.push_back({"bootstrap-19c-" + std::to_string(other.line), Bytes(other.sql.begin(), other.sql.end())});
    Schema dictionary{"AL32UTF8", "AL16UTF16", bootstrap_tables(statements)};
    dictionary.tables.front().partitions = {{"P1", 80001}, {"P 2", 80002}};
    dictionary.tables.front().note = "a note\nof two lines";
    dictionary.tables.back().columns.back().hidden = true;
    dictionary.tables.back().columns.back().charset_id = 178;
    const std::string written = write_schema_file(dictionary);
    seeds.push_back({"schema-file", Bytes(written.begin(), written.end())});
    const std::string by_hand = "-- data object 5\ncreate table scott.t (a integer primary key, b varchar(10) "
                                "default 'x' not null, -- unused\n c timestamp with time zone, constraint u "
                                "unique (b)) tablespace users storage (initial 64k)\n/\n";
    seeds.push_back({"schema-file-by-hand", Bytes(by_hand.begin(), by_hand.end())});
    return seeds;
}

}  // namespace fuzz
