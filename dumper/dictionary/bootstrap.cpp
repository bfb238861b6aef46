#include "dictionary/bootstrap.h"

#include <algorithm>

#include "dictionary/row_fields.h"
#include "format/dictionary_format.h"
#include "format/rowid.h"

namespace dictionary {

namespace {

using schema::BootstrapStatement;
using schema::StatementKind;

std::string line_text(const BootstrapLine& line)
{
    return "BOOTSTRAP$ line " + std::to_string(line.line) + " (object " + std::to_string(line.object) + ", " +
           line.where + ")";
}

std::string row_where(const Row& row)
{
    return "file " + std::to_string(row.head.file) + " block " + std::to_string(row.head.block) + " slot " +
           std::to_string(row.head.slot);
}

// The statement of kind `kind` that creates `name`, or nullptr.
const BootstrapLine* creating(const Bootstrap& bootstrap, StatementKind kind, std::string_view name)
{
    for (const BootstrapLine& line : bootstrap.lines)
        if (line.statement.ok() && line.statement.value.kind == kind && line.statement.value.name == name)
            return &line;
    return nullptr;
}

// Why no statement creates `name` as a table or cluster: its line does
// not parse (it is told by the name its first words give, whatever its
// numbers), or there is none.
std::string missing_statement(const Bootstrap& bootstrap, StatementKind kind, std::string_view name)
{
    const bool table = kind == StatementKind::Table;
    for (const BootstrapLine& line : bootstrap.lines)
        if (!line.statement.ok() && schema::created_name(line.sql, table ? "TABLE" : "CLUSTER") == name)
            return "the statement of " + std::string(name) + " does not parse: " + line_text(line) + ": " +
                   line.statement.error;
    return "BOOTSTRAP$ holds no statement that creates " + std::string(table ? "table " : "cluster ") +
           std::string(name) + " (" +
           std::to_string(bootstrap.lines.size()) + " statements read from " +
           std::to_string(bootstrap.segment.blocks.size()) + " blocks of its segment)";
}

// The columns in the order a row stores them: a clustered table's key
// columns first, then the others as the statement lists them.
bool storage_order(const BootstrapStatement& statement, std::vector<std::string>& columns, std::string& error)
{
    columns.clear();
    for (const std::string& key : statement.cluster_key) {
        const bool known = std::any_of(statement.columns.begin(), statement.columns.end(),
                                       [&](const schema::Column& c) { return c.name == key; });
        if (!known) {
            error = "the statement of " + statement.name + " names cluster key column " + key + ", which it lacks";
            return false;
        }
        columns.push_back(key);
    }
    for (const schema::Column& column : statement.columns)
        if (std::find(statement.cluster_key.begin(), statement.cluster_key.end(), column.name) ==
            statement.cluster_key.end())
            columns.push_back(column.name);
    return true;
}

// The segment the statement's EXTENTS clause names.
bool segment_of(const Bootstrap& bootstrap, const BootstrapStatement& statement, DictionarySegment& segment,
                std::string& error)
{
    if (statement.extents.empty()) {
        error = "the statement of " + statement.name + " names no segment (no EXTENTS in its STORAGE clause)";
        return false;
    }
    segment.name = statement.name;
    // The data object number of a core dictionary object is its object number.
    segment.data_object = statement.object_number;
    segment.header = system_segment_header(bootstrap, statement.extents.front().file, statement.extents.front().block);
    return true;
}

// Where the root address of the SYSTEM file's header leads: a block of
// the SYSTEM file itself when its tablespace is bigfile, whose addresses
// are plain block numbers (the root address is assumed to follow the rule
// of every other address in the file).
BlockPlace root_place(DataFile& system, std::uint32_t root_address)
{
    const AddressLayout layout = system.layout();
    if (layout == AddressLayout::Bigfile) return place_in(system, address_block(root_address, layout));
    return {address_file(root_address, layout), address_block(root_address, layout)};
}

}  // namespace

bool read_bootstrap(DataFileSet& files, DataFile& system, Bootstrap& bootstrap, LoadNotes& notes,
                    std::string& error)
{
    const FileHeaderFacts& facts = system.header_facts();
    if (!facts.file_header) {
        error = system.path() + ": block 1 is no data file header, so there is no root address to start from";
        return false;
    }
    if (facts.root_address == 0) {
        error = system.path() + ": its data file header (block 1) holds no root address at offset 96: is it the "
                                "SYSTEM data file?";
        return false;
    }
    DictionarySegment& segment = bootstrap.segment;
    segment.name = "BOOTSTRAP$";
    bootstrap.system_file = place_in(system, 0);
    segment.header = root_place(system, facts.root_address);
    const SegmentMap map = read_segment_map(files, segment.header);
    warn_of_map(segment, map, notes);
    if (!map.ok()) {
        error = "BOOTSTRAP$'s segment header (" + place_text(segment.header) + ", which the root address in block 1 of " +
                system.path() + " names) " + map.problem;
        return false;
    }
    segment.data_object = map.object;
    segment.blocks = segment_blocks(map, segment.header);

    bool bad = false;
    const SegmentTally tally = read_segment_rows(files, segment, notes, [&](const Row& row) {
        // An upgrade's old lines, deleted, describe the objects as they were.
        if (row.deleted) return;
        const auto line = number_field(row, kBootstrapLineColumn, bad);
        const auto object = number_field(row, kBootstrapObjectColumn, bad);
        const auto sql = text_field(row, kBootstrapSqlColumn);
        if (line == kBootstrapVersionLine) bootstrap.version = sql;
        if (!line || *line < kBootstrapFirstStatementLine) return;
        BootstrapLine read{*line, object.value_or(-1), row_where(row), sql.value_or(""), {}};
        read.statement = sql ? schema::parse_bootstrap_statement(*sql)
                             : schema::Parsed<BootstrapStatement>{{}, "SQL_TEXT is NULL"};
        bootstrap.lines.push_back(std::move(read));
    });
    if (bad) notes.warn("BOOTSTRAP$: some LINE# or OBJ# values are no whole numbers");
    if (bootstrap.lines.empty()) {
        error = "BOOTSTRAP$ (segment header " + place_text(segment.header) + ") holds no statement: " +
                std::to_string(tally.data_blocks) + " of its blocks read, " + std::to_string(tally.damaged_blocks) +
                " damaged, " + std::to_string(tally.rows) + " rows";
        return false;
    }
    return true;
}

BlockPlace system_segment_header(const Bootstrap& bootstrap, std::uint32_t file, std::uint32_t block)
{
    const BlockPlace& system = bootstrap.system_file;
    if (system.source != 0) return {system.file, block, system.source};
    return {file, block};
}

bool find_core_table(const Bootstrap& bootstrap, std::string_view name, CoreTable& table, std::string& error)
{
    const BootstrapLine* line = creating(bootstrap, StatementKind::Table, name);
    if (line == nullptr) {
        error = missing_statement(bootstrap, StatementKind::Table, name);
        return false;
    }
    const BootstrapStatement& statement = line->statement.value;
    table.name = statement.name;
    table.object = statement.object_number;
    if (!storage_order(statement, table.columns, error)) return false;
    if (statement.cluster_name.empty()) return segment_of(bootstrap, statement, table.segment, error);

    if (!statement.table_number) {
        error = "the statement of " + statement.name + " names cluster " + statement.cluster_name +
                " but not its table number there (TABNO)";
        return false;
    }
    table.cluster_table = *statement.table_number;
    const BootstrapLine* cluster = creating(bootstrap, StatementKind::Cluster, statement.cluster_name);
    if (cluster == nullptr) {
        error = missing_statement(bootstrap, StatementKind::Cluster, statement.cluster_name) + ", which " + statement.name +
                " is stored in";
        return false;
    }
    return segment_of(bootstrap, cluster->statement.value, table.segment, error);
}

std::optional<std::string> unparsed_statements(const Bootstrap& bootstrap)
{
    std::vector<const BootstrapLine*> unparsed;
    for (const BootstrapLine& line : bootstrap.lines)
        if (!line.statement.ok()) unparsed.push_back(&line);
    if (unparsed.empty()) return std::nullopt;
    std::string text = "BOOTSTRAP$: " + std::to_string(unparsed.size()) +
                       (unparsed.size() == 1 ? " statement does" : " statements do") +
                       " not parse, and what they create is not read: " + line_text(*unparsed.front()) + ": " +
                       unparsed.front()->statement.error;
    if (unparsed.size() > 1) text += "; ...";
    return text;
}

}  // namespace dictionary
