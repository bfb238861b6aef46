#include "unload/summary.h"

#include <algorithm>
#include <cstdio>

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

std::string plural(std::uint64_t count, std::string_view one, std::string_view many)
{
    return std::to_string(count) + " " + std::string(count == 1 ? one : many);
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

std::string json_string(std::string_view text)
{
    std::string out = "\"";
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string summary_json(const UnloadPlan& plan, const UnloadSummary& summary)
{
    std::string json = "{\n  \"tables\": [";
    for (std::size_t i = 0; i < plan.tables().size(); ++i) {
        const UnloadTable& table = plan.tables()[i];
        const TableCounts& c = summary.tables[i];
        json += i == 0 ? "\n" : ",\n";
        json += "    {" + json_string("owner") + ": " + json_string(table.owner) + ", " + json_string("table") + ": " +
                json_string(table.name) + ", " + field("rows", c.rows) + ", " + field("deleted", c.deleted) + ", " +
                field("stale", c.stale) + ", " + field("reassembled", c.reassembled) + ", " +
                field("incomplete", c.incomplete) + ", " + field("not_decoded", c.not_decoded) + ", " +
                field("damaged_blocks", summary.damaged_blocks(table)) + "}";
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
    json += "  " + field("orphans", summary.orphans) + "\n}\n";
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
        std::vector<std::string> line{table.qualified_name() + (table.inferred ? " (inferred)" : "")};
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
    const auto unknown = unknown_objects(plan, summary);
    if (!unknown.empty()) text += "data objects no schema entry describes:\n";
    for (const auto& [object, counts] : unknown)
        text.append("  ").append(std::to_string(object)).append(": " + plural(counts.blocks, "block", "blocks") + ", " +
                                                               plural(counts.rows, "row", "rows") + "\n");
    return text;
}

}  // namespace unload
