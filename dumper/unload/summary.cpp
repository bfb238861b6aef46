#include "unload/summary.h"

#include <algorithm>

#include "values/escaped_text.h"

namespace unload {

namespace {

struct Column {
    std::string_view heading;
    std::uint64_t (*value)(const TableCounts& counts, std::uint64_t damaged);
};

// The columns of the table on standard error, after the table's name.
constexpr Column kColumns[] = {
    {"rows", [](const TableCounts& c, std::uint64_t) { return c.rows; }},
    {"deleted", [](const TableCounts& c, std::uint64_t) { return c.deleted; }},
    {"stale", [](const TableCounts& c, std::uint64_t) { return c.stale; }},
    {"reassembled", [](const TableCounts& c, std::uint64_t) { return c.reassembled; }},
    {"incomplete", [](const TableCounts& c, std::uint64_t) { return c.incomplete; }},
    {"not decoded", [](const TableCounts& c, std::uint64_t) { return c.not_decoded; }},
    {"damaged blocks", [](const TableCounts&, std::uint64_t damaged) { return damaged; }},
};

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

// The name's text, and its bytes when the text is not all of them.
std::string name_fields(std::string_view key, std::string_view name)
{
    std::string json = text_field(key, name);
    if (!is_plain_text(name)) json += ", " + text_field(std::string(key) + "_hex", hex_text(name));
    return json;
}

// "rows": ..., "deleted": ...: `name_of` of each kind written, after the
// fields `first`.
template <class NameOf>
std::string kind_fields(const std::array<bool, kRowKinds>& written, NameOf name_of, std::string first = "")
{
    std::string json = std::move(first);
    for (RowKind kind : kAllRowKinds) {
        if (!written[static_cast<std::size_t>(kind)]) continue;
        if (!json.empty()) json += ", ";
        json += text_field(names_of(kind).key, name_of(kind));
    }
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
    std::string files = kind_fields(written.files, [&](RowKind kind) { return names.csv_file(kind); });
    if (written.files[static_cast<std::size_t>(RowKind::Live)])
        files += ", " + text_field("control", names.control_file());
    std::string json = object_field("files", files);
    if (written.binary_copies != std::array<bool, kRowKinds>{})
        json += object_field("binary_copies", kind_fields(written.binary_copies, [&](RowKind kind) {
                                 return names.binary_copy_file(kind);
                             }));
    json += object_field("sqlite", kind_fields(written.files, [&](RowKind kind) { return names.sqlite_table(kind); }));
    const std::string schema = written.any() ? text_field("schema", names.postgres_schema) : "";
    return json + object_field("postgres", kind_fields(written.files, [&](RowKind kind) {
                                   return names.postgres_table(kind);
                               }, schema));
}

// The columns whose names in SQLite or PostgreSQL are not their own.
std::string renamed_columns(const UnloadTable& table)
{
    std::string json;
    for (const OutputColumn& column : table.columns) {
        const ColumnNames& names = column.names;
        if (names.sqlite == column.column.name && names.postgres == column.column.name) continue;
        json.append(json.empty() ? "{" : ", {").append(name_fields("column", column.column.name));
        json.append(", " + text_field("sqlite", names.sqlite) + ", " + text_field("postgres", names.postgres) + "}");
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

std::uint64_t UnloadSummary::damaged_blocks(const UnloadTable& table) const
{
    std::uint64_t damaged = 0;
    for (std::uint32_t object : table.data_objects) {
        const auto found = objects.find(object);
        if (found != objects.end()) damaged += found->second.damaged_blocks;
    }
    return damaged;
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

std::string summary_json(const UnloadPlan& plan, const UnloadSummary& summary, const WrittenFiles& written)
{
    std::string json = "{\n  \"tables\": [";
    for (std::size_t i = 0; i < plan.tables().size(); ++i) {
        const UnloadTable& table = plan.tables()[i];
        const TableCounts& c = summary.tables[i];
        json += i == 0 ? "\n" : ",\n";
        json += "    {" + name_fields("owner", table.owner) + ", " + name_fields("table", table.name) + ", " +
                field("rows", c.rows) + ", " + field("deleted", c.deleted) + ", " + field("stale", c.stale) + ", " +
                field("reassembled", c.reassembled) + ", " + field("incomplete", c.incomplete) + ", " +
                field("not_decoded", c.not_decoded) + ", " + field("damaged_blocks", summary.damaged_blocks(table)) +
                ", " + field("compressed_blocks", summary.compressed_blocks(table)) + ", " +
                json_string("types_not_decoded") + ": [";
        const std::vector<const OutputColumn*> undecoded = undecoded_type_columns(table);
        for (std::size_t k = 0; k < undecoded.size(); ++k)
            json += std::string(k == 0 ? "" : ", ") + "{" + text_field("column", undecoded[k]->column.name) + ", " +
                    field("type", *undecoded[k]->column.type_code) + "}";
        json += ']';
        json += places(table, written[i]) + renamed_columns(table) + "}";
    }
    json += plan.tables().empty() ? "],\n" : "\n  ],\n";
    json += "  \"unknown_objects\": [";
    const auto unknown = unknown_objects(plan, summary);
    for (std::size_t i = 0; i < unknown.size(); ++i) {
        json += i == 0 ? "\n" : ",\n";
        json += "    {" + field("data_object", unknown[i].first) + ", " + field("blocks", unknown[i].second.blocks) +
                ", " + field("rows", unknown[i].second.rows) + "}";
    }
    json += unknown.empty() ? "],\n" : "\n  ],\n";
    json += "  " + field("blocks_read", summary.blocks_read) + ",\n";
    json += "  " + field("blocks_damaged", summary.blocks_damaged) + ",\n";
    json += "  " + field("orphans", summary.orphans) + ",\n";
    json += "  " + field("blocks_encrypted", summary.blocks_encrypted) + "\n}\n";
    return json;
}

std::string summary_table(const UnloadPlan& plan, const UnloadSummary& summary)
{
    // The tables that have rows, their names and counts as text, and each column's width.
    std::vector<std::vector<std::string>> lines;
    std::vector<std::size_t> widths{std::string_view("table").size()};
    for (const Column& column : kColumns) widths.push_back(column.heading.size());
    for (std::size_t i = 0; i < plan.tables().size(); ++i) {
        if (summary.tables[i].all_rows() == 0) continue;
        const UnloadTable& table = plan.tables()[i];
        std::vector<std::string> line{terminal_text(table.qualified_name()) + (table.inferred ? " (inferred)" : "")};
        for (const Column& column : kColumns)
            line.push_back(std::to_string(column.value(summary.tables[i], summary.damaged_blocks(table))));
        for (std::size_t k = 0; k < line.size(); ++k) widths[k] = std::max(widths[k], line[k].size());
        lines.push_back(std::move(line));
    }
    std::string text = padded_right("table", widths[0]);
    for (std::size_t k = 0; k < std::size(kColumns); ++k)
        text += "  " + padded_left(std::string(kColumns[k].heading), widths[k + 1]);
    text += "\n";
    for (const std::vector<std::string>& line : lines) {
        text += padded_right(line[0], widths[0]);
        for (std::size_t k = 1; k < line.size(); ++k) text += "  " + padded_left(line[k], widths[k]);
        text += "\n";
    }
    const std::size_t empty = plan.tables().size() - lines.size();
    if (empty > 0) text += plural(empty, "table", "tables") + " of the schema had no rows in the files\n";
    text += plural(summary.blocks_read, "block", "blocks") + " read, " +
            plural(summary.blocks_damaged, "block", "blocks") + " damaged (their rows unloaded all the same), " +
            plural(summary.orphans, "orphan piece", "orphan pieces") + " (pieces whose row's head was not found)\n";
    text += not_decoded_lines(plan, summary);
    const auto unknown = unknown_objects(plan, summary);
    if (!unknown.empty()) text += "data objects no schema entry describes:\n";
    for (const auto& [object, counts] : unknown)
        text.append("  ").append(std::to_string(object)).append(": " + plural(counts.blocks, "block", "blocks") + ", " +
                                                               plural(counts.rows, "row", "rows") + "\n");
    return text;
}

}  // namespace unload
