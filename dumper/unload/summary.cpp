#include "unload/summary.h"

#include "format/file_format.h"

#include <algorithm>

#include "values/escaped_text.h"

namespace unload {

namespace {

// Tables without rows the table on standard error names, at most, and
// lines of lost places.
constexpr std::size_t kTablesNamed = 12;
constexpr std::size_t kLossLines = 20;

struct Column {
    std::string_view group;  // what it counts: rows, values, LOBs or blocks
    std::string_view heading;
    std::uint64_t (*value)(const UnloadSummary& summary, std::size_t table, const UnloadTable& t);
    bool lob = false;  // shown only when some table has a LOB column
};

// The columns of the table on standard error, after the table's name.
constexpr Column kColumns[] = {
    {"rows", "live", [](const UnloadSummary& s, std::size_t i, const UnloadTable&) { return s.tables[i].rows; }},
    {"rows", "deleted", [](const UnloadSummary& s, std::size_t i, const UnloadTable&) { return s.tables[i].deleted; }},
    {"rows", "stale", [](const UnloadSummary& s, std::size_t i, const UnloadTable&) { return s.tables[i].stale; }},
    {"rows", "hidden", [](const UnloadSummary& s, std::size_t i, const UnloadTable&) { return s.tables[i].hidden; }},
    {"rows", "reassembled",
     [](const UnloadSummary& s, std::size_t i, const UnloadTable&) { return s.tables[i].reassembled; }},
    {"rows", "incomplete",
     [](const UnloadSummary& s, std::size_t i, const UnloadTable&) { return s.tables[i].incomplete; }},
    {"values", "not decoded",
     [](const UnloadSummary& s, std::size_t i, const UnloadTable&) { return s.tables[i].not_decoded; }},
    {"LOBs", "read", [](const UnloadSummary& s, std::size_t i, const UnloadTable&) { return s.tables[i].lobs_read; },
     true},
    {"LOBs", "incomplete",
     [](const UnloadSummary& s, std::size_t i, const UnloadTable&) { return s.tables[i].lobs_incomplete; }, true},
    {"blocks", "read", [](const UnloadSummary& s, std::size_t, const UnloadTable& t) { return s.blocks(t); }},
    {"blocks", "damaged",
     [](const UnloadSummary& s, std::size_t, const UnloadTable& t) { return s.damaged_blocks(t); }},
    {"blocks", "lost", [](const UnloadSummary& s, std::size_t i, const UnloadTable&) { return s.loss(i).lost; }},
};

bool has_lob_column(const UnloadTable& table)
{
    for (const auto* columns : {&table.columns, &table.hidden_columns})
        for (const OutputColumn& column : *columns)
            if (column.load.form == LoadForm::Clob || column.load.form == LoadForm::Blob) return true;
    return false;
}

// How many of a table's columns not described the summary table names.
constexpr std::size_t kColumnsNamed = 5;

std::string padded_left(std::string text, std::size_t width)
{
    return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

std::string padded_right(std::string text, std::size_t width)
{
    return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

std::string field(std::string_view name, std::uint64_t value)
{
    return json_string(name) + ": " + std::to_string(value);
}

// The data objects the schema does not describe, in order.
std::vector<std::pair<std::uint32_t, ObjectCounts>> unknown_objects(const UnloadPlan& plan,
                                                                    const UnloadSummary& summary)
{
    std::vector<std::pair<std::uint32_t, ObjectCounts>> unknown;
    for (const auto& [object, counts] : summary.objects)
        if (!plan.schema_describes(object)) unknown.emplace_back(object, counts);
    return unknown;
}

std::string text_field(std::string_view name, std::string_view text) { return json_string(name) + ": " + json_string(text); }

// The LOB values of a table written with pages missing: "lobs_incomplete"
// counts them, "incomplete_lobs" lists the first of them.
std::string incomplete_lobs_json(const TableCounts& counts)
{
    std::string json = field("lobs_incomplete", counts.lobs_incomplete) + ", " + json_string("incomplete_lobs") + ": [";
    for (std::size_t k = 0; k < counts.incomplete_lobs.size(); ++k) {
        const IncompleteLob& lob = counts.incomplete_lobs[k];
        json += std::string(k == 0 ? "" : ", ") + "{" + text_field("rowid", lob.rowid) + ", " +
                text_field("column", lob.column) + ", " + field("pages_found", lob.pages_found) + ", " +
                field("pages_expected", lob.pages_expected) + "}";
    }
    return json + "]";
}

// The name's text, and its bytes when the text is not all of them.
std::string name_fields(std::string_view key, std::string_view name)
{
    std::string json = text_field(key, name);
    if (!is_plain_text(name)) json += ", " + text_field(std::string(key) + "_hex", hex_text(name));
    return json;
}

// "rows": ..., "deleted": ...: `name_of` of each kind written, after the
// fields `first`, then of the values not decoded when they were.
template <class NameOf>
std::string kind_fields(const std::array<bool, kRowKinds>& written, NameOf name_of, std::string first = "",
                        bool undecoded = false)
{
    std::string json = std::move(first);
    auto add = [&](const KindNames& kind) {
        if (!json.empty()) json += ", ";
        json += text_field(kind.key, name_of(kind));
    };
    for (RowKind kind : kAllRowKinds)
        if (written[static_cast<std::size_t>(kind)]) add(names_of(kind));
    if (undecoded) add(undecoded_names());
    return json;
}

std::string object_field(std::string_view name, const std::string& fields)
{
    return ", " + json_string(name) + ": {" + fields + "}";
}

// Where the table's rows went: its files, and its tables in each database.
std::string places(const UnloadTable& table, const TableWritten& written)
{
    const TableNames& names = table.names;
    const bool undecoded = written.undecoded;
    std::string files =
        kind_fields(written.files, [&](const KindNames& kind) { return names.csv_file(kind); }, "", undecoded);
    if (written.files[static_cast<std::size_t>(RowKind::Live)])
        files += ", " + text_field("control", names.control_file());
    std::string json = object_field("files", files);
    if (written.binary_copies != std::array<bool, kRowKinds>{})
        json += object_field("binary_copies", kind_fields(written.binary_copies, [&](const KindNames& kind) {
                                 return names.binary_copy_file(kind);
                             }));
    json += object_field("sqlite", kind_fields(written.files, [&](const KindNames& kind) {
                             return names.sqlite_table(kind);
                         }, "", undecoded));
    const std::string schema = written.any() ? text_field("schema", names.postgres_schema) : "";
    return json + object_field("postgres", kind_fields(written.files, [&](const KindNames& kind) {
                                   return names.postgres_table(kind);
                               }, schema, undecoded));
}

// The columns no schema describes, named from their places in the row.
std::string unknown_columns(const UnloadTable& table)
{
    std::string json;
    for (const std::string& name : table.columns_unknown) json += (json.empty() ? "" : ", ") + json_string(name);
    return ", " + json_string("columns_unknown") + ": [" + json + "]";
}

// The columns whose names in SQLite or PostgreSQL are not their own, and
// the columns added beside them whose names are not the column's and
// their suffix.
std::string renamed_columns(const UnloadTable& table)
{
    std::string json;
    auto add = [&json](const std::string& name, const std::string& sqlite, const std::string& postgres) {
        if (sqlite == name && postgres == name) return;
        json.append(json.empty() ? "{" : ", {").append(name_fields("column", name));
        json.append(", " + text_field("sqlite", sqlite) + ", " + text_field("postgres", postgres) + "}");
    };
    for (const auto* columns : {&table.columns, &table.hidden_columns}) {
        for (const OutputColumn& column : *columns) {
            const ColumnNames& names = column.names;
            add(column.column.name, names.sqlite, names.postgres);
            if (!names.zone().empty())
                add(column.column.name + std::string(kZoneSuffix), names.zone().sqlite, names.zone().postgres);
            if (!names.kept_text().empty())
                add(column.column.name + std::string(kTextSuffix), names.kept_text().sqlite, names.kept_text().postgres);
        }
    }
    return json.empty() ? "" : ", " + json_string("renamed_columns") + ": [" + json + "]";
}

std::string plural(std::uint64_t count, std::string_view one, std::string_view many)
{
    return std::to_string(count) + " " + std::string(count == 1 ? one : many);
}

// What of the tables was not decoded: compressed blocks, columns of types
// this tool does not decode, and blocks of encrypted tablespaces.
std::string not_decoded_lines(const UnloadPlan& plan, const UnloadSummary& summary)
{
    std::string text;
    for (std::size_t i = 0; i < plan.tables().size(); ++i) {
        const UnloadTable& table = plan.tables()[i];
        const std::uint64_t compressed = summary.compressed_blocks(table);
        if (compressed > 0)
            text += terminal_text(table.qualified_name()) + ": " + plural(compressed, "compressed block", "compressed blocks") +
                    ", not decoded (their rows are not unloaded)\n";
        if (summary.tables[i].all_rows() == 0) continue;
        for (const OutputColumn* column : undecoded_type_columns(table))
            text += terminal_text(table.qualified_name() + "." + column->column.name) + ": type " +
                    std::to_string(*column->column.type_code) +
                    ", which this tool does not decode: its values are written as hexadecimal\n";
    }
    if (summary.blocks_encrypted > 0)
        text += plural(summary.blocks_encrypted, "block", "blocks") +
                " probably of an encrypted tablespace, not decoded (their data objects cannot be told)\n";
    return text;
}

}  // namespace

namespace {

// The counts of the table's data objects.
template <class Count>
std::uint64_t object_total(const UnloadSummary& summary, const UnloadTable& table, Count count)
{
    std::uint64_t total = 0;
    for (std::uint32_t object : table.data_objects) {
        const auto found = summary.objects.find(object);
        if (found != summary.objects.end()) total += count(found->second);
    }
    return total;
}

// What a table's blocks say beyond the counts, as JSON fields.
std::string loss_fields(const TableLoss& loss)
{
    std::string json;
    if (!loss.places.empty()) json += ", " + text_field("lost_places", loss.places);
    if (!loss.unaccounted.empty()) json += ", " + text_field("blocks_unaccounted_for", loss.unaccounted);
    if (!loss.without_rows.empty()) json += ", " + text_field("without_rows", loss.without_rows);
    return json;
}

std::string cut_files_json(const std::vector<CutFile>& files)
{
    std::string json = "  \"cut_short_files\": [";
    for (std::size_t i = 0; i < files.size(); ++i)
        json += std::string(i == 0 ? "\n" : ",\n") + "    {" + text_field("file", files[i].path) + ", " +
                field("blocks", files[i].blocks) + ", " + field("missing_blocks", files[i].missing_blocks) + "}";
    return json + (files.empty() ? "]\n" : "\n  ]\n");
}

}  // namespace

TableCounts& TableCounts::operator+=(const TableCounts& more)
{
    rows += more.rows;
    deleted += more.deleted;
    stale += more.stale;
    reassembled += more.reassembled;
    incomplete += more.incomplete;
    not_decoded += more.not_decoded;
    hidden += more.hidden;
    kept_as_text_sqlite += more.kept_as_text_sqlite;
    kept_as_text_postgres += more.kept_as_text_postgres;
    lobs_read += more.lobs_read;
    lobs_incomplete += more.lobs_incomplete;
    for (const IncompleteLob& lob : more.incomplete_lobs)
        if (incomplete_lobs.size() < kIncompleteLobsListed) incomplete_lobs.push_back(lob);
    return *this;
}

ObjectCounts& ObjectCounts::operator+=(const ObjectCounts& more)
{
    blocks += more.blocks;
    damaged_blocks += more.damaged_blocks;
    rows += more.rows;
    deleted += more.deleted;
    stale += more.stale;
    compressed_blocks += more.compressed_blocks;
    return *this;
}

void UnloadSummary::add_range(const UnloadSummary& range)
{
    if (tables.size() < range.tables.size()) tables.resize(range.tables.size());
    for (std::size_t t = 0; t < range.tables.size(); ++t) tables[t] += range.tables[t];
    for (const auto& [object, counts] : range.objects) objects[object] += counts;
    blocks_read += range.blocks_read;
    blocks_damaged += range.blocks_damaged;
    blocks_encrypted += range.blocks_encrypted;
}

std::uint64_t UnloadSummary::blocks(const UnloadTable& table) const
{
    return object_total(*this, table, [](const ObjectCounts& c) { return c.blocks; });
}

std::uint64_t UnloadSummary::damaged_blocks(const UnloadTable& table) const
{
    return object_total(*this, table, [](const ObjectCounts& c) { return c.damaged_blocks; });
}

const TableLoss& UnloadSummary::loss(std::size_t table) const
{
    static const TableLoss kNone;
    return table < losses.size() ? losses[table] : kNone;
}

bool UnloadSummary::sound(const UnloadPlan& plan) const
{
    if (blocks_damaged > 0 || blocks_lost > 0 || orphans > 0 || unaccounted_segments > 0 || !cut_files.empty() ||
        anything_not_decoded(plan))
        return false;
    return std::all_of(tables.begin(), tables.end(),
                       [](const TableCounts& c) {
                           return c.incomplete == 0 && c.not_decoded == 0 && c.lobs_incomplete == 0;
                       });
}

std::optional<CutFile> cut_file_of(DataFile& file)
{
    // Said cut short only when it is whether the header's count takes block 0
    // in or not: a sound file is never reported as damaged.
    const std::uint64_t counted = file.counted_block_end();
    if (!file.sized() || counted == 0 ||
        !file_format::cut_short_by_header_count(file.block_count(), file.header_facts().block_count))
        return std::nullopt;
    return CutFile{file.path(), counted, file.header_facts().block_count, counted - file.block_count()};
}

std::string cut_short_text(const CutFile& file)
{
    return file.path + " is cut short: " + std::to_string(file.missing_blocks) + " of " +
           std::to_string(file.blocks) + " blocks missing (the file header gives " + std::to_string(file.header_count) +
           " blocks after block 0)";
}

std::uint64_t UnloadSummary::compressed_blocks(const UnloadTable& table) const
{
    std::uint64_t compressed = 0;
    for (std::uint32_t object : table.data_objects) {
        const auto found = objects.find(object);
        if (found != objects.end()) compressed += found->second.compressed_blocks;
    }
    return compressed;
}

std::vector<const OutputColumn*> undecoded_type_columns(const UnloadTable& table)
{
    std::vector<const OutputColumn*> columns;
    for (const OutputColumn& column : table.columns)
        if (column.column.type == schema::OracleType::Unknown && column.column.type_code) columns.push_back(&column);
    return columns;
}

bool UnloadSummary::anything_not_decoded(const UnloadPlan& plan) const
{
    if (blocks_encrypted > 0) return true;
    for (const auto& [object, counts] : objects)
        if (counts.compressed_blocks > 0) return true;
    for (std::size_t i = 0; i < plan.tables().size(); ++i)
        if (tables[i].all_rows() > 0 && !undecoded_type_columns(plan.tables()[i]).empty()) return true;
    return false;
}

std::string summary_json(const UnloadPlan& plan, const UnloadSummary& summary, const WrittenFiles& written,
                         const RunEvidence& evidence)
{
    std::string json = "{\n" + evidence_json(evidence) + "  \"tables\": [";
    for (std::size_t i = 0; i < plan.tables().size(); ++i) {
        const UnloadTable& table = plan.tables()[i];
        const TableCounts& c = summary.tables[i];
        const TableLoss& loss = summary.loss(i);
        json += i == 0 ? "\n" : ",\n";
        json += "    {" + name_fields("owner", table.owner) + ", " + name_fields("table", table.name) + ", " +
                json_string("dropped") + ": " + (table.dropped ? "true" : "false") + ", " +
                field("rows", c.rows) + ", " + field("deleted", c.deleted) + ", " + field("stale", c.stale) + ", " +
                field("hidden", c.hidden) + ", " +
                field("reassembled", c.reassembled) + ", " + field("incomplete", c.incomplete) + ", " +
                field("not_decoded", c.not_decoded) + ", " + field("lobs_read", c.lobs_read) + ", " +
                incomplete_lobs_json(c) + ", \"kept_as_text\": {" +
                field("sqlite", c.kept_as_text_sqlite) + ", " + field("postgres", c.kept_as_text_postgres) + "}, " +
                field("blocks", summary.blocks(table)) + ", " +
                field("damaged_blocks", summary.damaged_blocks(table)) + ", " + field("lost_blocks", loss.lost) +
                loss_fields(loss) + ", " + field("compressed_blocks", summary.compressed_blocks(table)) + ", " +
                json_string("types_not_decoded") + ": [";
        const std::vector<const OutputColumn*> undecoded = undecoded_type_columns(table);
        for (std::size_t k = 0; k < undecoded.size(); ++k)
            json += std::string(k == 0 ? "" : ", ") + "{" + text_field("column", undecoded[k]->column.name) + ", " +
                    field("type", *undecoded[k]->column.type_code) + "}";
        json += ']';
        json += places(table, written[i]) + unknown_columns(table) + renamed_columns(table) + "}";
    }
    json += plan.tables().empty() ? "],\n" : "\n  ],\n";
    json += "  \"unknown_objects\": [";
    const auto unknown = unknown_objects(plan, summary);
    for (std::size_t i = 0; i < unknown.size(); ++i) {
        const ObjectCounts& counts = unknown[i].second;
        json += i == 0 ? "\n" : ",\n";
        json += "    {" + field("data_object", unknown[i].first) + ", " + field("blocks", counts.blocks) + ", " +
                field("rows", counts.rows) + ", " + field("live_rows", counts.live()) + ", " +
                field("deleted_rows", counts.deleted) + ", " + field("stale_rows", counts.stale) + "}";
    }
    json += unknown.empty() ? "],\n" : "\n  ],\n";
    json += "  " + field("blocks_read", summary.blocks_read) + ",\n";
    json += "  " + field("blocks_damaged", summary.blocks_damaged) + ",\n";
    json += "  " + field("blocks_lost", summary.blocks_lost) + ",\n";
    json += "  " + field("orphans", summary.orphans) + ",\n";
    json += "  " + field("blocks_encrypted", summary.blocks_encrypted) + ",\n";
    json += cut_files_json(summary.cut_files) + "}\n";
    return json;
}

namespace {

// The heading lines: each group's name over its first column, then the columns'.
std::string headings(const std::vector<std::size_t>& widths, const std::vector<const Column*>& shown)
{
    std::string groups = std::string(widths[0], ' ');
    std::string names = padded_right("table", widths[0]);
    std::string_view group;
    for (std::size_t k = 0; k < shown.size(); ++k) {
        const std::string cell = "  " + padded_left(std::string(shown[k]->heading), widths[k + 1]);
        names += cell;
        if (shown[k]->group != group) {
            group = shown[k]->group;
            // Over the column's figures: the cell after its two spaces.
            groups += padded_right("  " + std::string(group), cell.size());
        } else {
            groups += std::string(cell.size(), ' ');
        }
    }
    while (!groups.empty() && groups.back() == ' ') groups.pop_back();
    return groups + "\n" + names + "\n";
}

// "A, B, C, and 4 more": the first kTablesNamed names.
std::string some_names(const std::vector<std::string>& names)
{
    std::string text;
    for (std::size_t i = 0; i < names.size() && i < kTablesNamed; ++i) text += (i == 0 ? "" : ", ") + names[i];
    if (names.size() > kTablesNamed) text += ", and " + std::to_string(names.size() - kTablesNamed) + " more";
    return text;
}

// "N tables of the schema had no rows in the files: A (4 blocks, all
// zeros), B; and 5 whose segments lie in files not read: C, ..."
std::string tables_without_rows(const UnloadPlan& plan, const UnloadSummary& summary)
{
    std::vector<std::string> named, not_read;
    for (std::size_t i = 0; i < plan.tables().size(); ++i) {
        if (summary.tables[i].all_rows() != 0 || plan.tables()[i].inferred) continue;
        const TableLoss& loss = summary.loss(i);
        std::string name = terminal_text(plan.tables()[i].qualified_name());
        if (!plan.tables()[i].segments.empty() && !loss.in_files)
            not_read.push_back(std::move(name));
        else
            named.push_back(loss.without_rows.empty() ? name : name + " (" + loss.without_rows + ")");
    }
    if (named.empty() && not_read.empty()) return "";
    std::string text = plural(named.size() + not_read.size(), "table", "tables") + " of the schema had no rows in the files";
    if (named.empty())
        return text + (not_read.size() == 1 ? " (its segment lies in a file not read): "
                                            : " (their segments lie in files not read): ") +
               some_names(not_read) + "\n";
    text += ": " + some_names(named);
    if (!not_read.empty())
        text += "; and " + std::to_string(not_read.size()) +
                (not_read.size() == 1 ? " whose segment lies in a file not read: "
                                      : " whose segments lie in files not read: ") +
                some_names(not_read);
    return text + "\n";
}

// A line per table that lost blocks or whose blocks could not be accounted for.
std::string loss_lines(const UnloadPlan& plan, const UnloadSummary& summary)
{
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < plan.tables().size(); ++i) {
        const TableLoss& loss = summary.loss(i);
        const std::string name = terminal_text(plan.tables()[i].qualified_name());
        if (loss.lost > 0) {
            const std::string share = loss.lost < loss.expected ? std::to_string(loss.lost) + " of the " +
                                                                      plural(loss.expected, "block", "blocks")
                                      : loss.lost == 1 ? std::string("the 1 block")
                                                       : "all " + std::to_string(loss.lost) + " blocks";
            lines.push_back(name + " lost " + share + " that should hold its rows: " + terminal_text(loss.places));
        }
        if (!loss.unaccounted.empty())
            lines.push_back(name + "'s blocks are not all accounted for: " + terminal_text(loss.unaccounted));
    }
    std::string text;
    for (std::size_t i = 0; i < lines.size() && i < kLossLines; ++i) text += lines[i] + "\n";
    if (lines.size() > kLossLines)
        text += "and " + std::to_string(lines.size() - kLossLines) + " more such lines (" + std::string(kSummaryFile) +
                " gives every table's)\n";
    return text;
}

}  // namespace

std::string summary_table(const UnloadPlan& plan, const UnloadSummary& summary)
{
    // The tables that have rows or lost blocks, their names and counts as
    // text, and each column's width.
    std::vector<std::vector<std::string>> lines;
    const bool lobs = std::any_of(plan.tables().begin(), plan.tables().end(), has_lob_column);
    std::vector<const Column*> shown;
    for (const Column& column : kColumns)
        if (lobs || !column.lob) shown.push_back(&column);
    std::vector<std::size_t> widths{std::string_view("table").size()};
    for (const Column* column : shown) widths.push_back(std::max(column->heading.size(), column->group.size()));
    for (std::size_t i = 0; i < plan.tables().size(); ++i) {
        if (summary.tables[i].all_rows() == 0 && summary.loss(i).lost == 0) continue;
        const UnloadTable& table = plan.tables()[i];
        std::vector<std::string> line{terminal_text(table.qualified_name()) + (table.inferred ? " (inferred)" : "") +
                                      (table.dropped ? " (dropped)" : "")};
        for (const Column* column : shown) line.push_back(std::to_string(column->value(summary, i, table)));
        for (std::size_t k = 0; k < line.size(); ++k) widths[k] = std::max(widths[k], line[k].size());
        lines.push_back(std::move(line));
    }
    std::string text = headings(widths, shown);
    for (const std::vector<std::string>& line : lines) {
        text += padded_right(line[0], widths[0]);
        for (std::size_t k = 1; k < line.size(); ++k) text += "  " + padded_left(line[k], widths[k]);
        text += "\n";
    }
    text += tables_without_rows(plan, summary);
    text += loss_lines(plan, summary);
    text += plural(summary.blocks_read, "block", "blocks") + " read, " +
            plural(summary.blocks_damaged, "block", "blocks") + " damaged (the rows that could be read unloaded all the same), " +
            plural(summary.blocks_lost, "block", "blocks") + " lost (holding none of the rows they should), " +
            plural(summary.orphans, "orphan piece", "orphan pieces") + " (pieces whose row's head was not found)\n";
    for (const UnloadTable& table : plan.tables()) {
        if (table.columns_unknown.empty()) continue;
        std::string names;
        for (std::size_t i = 0; i < table.columns_unknown.size() && i < kColumnsNamed; ++i)
            names += (i == 0 ? "" : ", ") + table.columns_unknown[i];
        if (table.columns_unknown.size() > kColumnsNamed) names += ", ...";
        text += terminal_text(table.qualified_name()) + (table.dropped ? " (dropped)" : "") + ": " +
                plural(table.columns_unknown.size(), "column", "columns") +
                " its schema does not describe, named by their places in the row and typed by inference: " + names +
                "\n";
    }
    text += not_decoded_lines(plan, summary);
    for (const CutFile& file : summary.cut_files) text += terminal_text(cut_short_text(file)) + "\n";
    const auto unknown = unknown_objects(plan, summary);
    if (!unknown.empty()) text += "data objects no schema entry describes:\n";
    for (const auto& [object, counts] : unknown)
        text.append("  ").append(std::to_string(object)).append(
            ": " + plural(counts.blocks, "block", "blocks") + ", " + plural(counts.live(), "live row", "live rows") +
            ", " + plural(counts.deleted, "deleted row", "deleted rows") + ", " +
            plural(counts.stale, "stale row", "stale rows") + "\n");
    return text;
}

}  // namespace unload
