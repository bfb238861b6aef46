#include "print/table_listing_printer.h"

#include <algorithm>
#include <string>
#include <vector>

#include "values/escaped_text.h"

namespace {

using dictionary::ListedTable;
using dictionary::ObjectCount;
using dictionary::TableListing;
using dictionary::UnknownObject;

std::string counted(std::uint64_t count, const char* one, const char* many)
{
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

// ---------------------------------------------------------------------------
// Text: columns apart by two blanks, numbers to the right.

struct Cell {
    std::string text;
    bool number = false;
};
using Line = std::vector<Cell>;

Cell number_cell(std::uint64_t value) { return {std::to_string(value), true}; }

void add_counts(Line& line, const std::optional<ObjectCount>& count, bool counted_run)
{
    if (!counted_run) return;
    line.push_back(count ? number_cell(count->blocks) : Cell{});
    line.push_back(count ? number_cell(count->rows) : Cell{});
}

Line table_line(const ListedTable& entry, bool counted_run)
{
    const schema::Table& table = *entry.table;
    Line line{{terminal_text(table.owner)}, {terminal_text(table.name)}, number_cell(table.object_number),
              table.data_object ? number_cell(*table.data_object) : Cell{"-", true}, number_cell(entry.columns)};
    add_counts(line, entry.count, counted_run);
    std::string how;
    if (table.cluster)
        how = "cluster " + std::to_string(table.cluster->cluster_object) + ", table " +
              std::to_string(table.cluster->table_number);
    else if (!entry.partitions.empty())
        how = counted(entry.partitions.size(), "partition", "partitions");
    // Only rows of the dictionary marked deleted describe it.
    if (table.dropped) how += how.empty() ? "dropped" : ", dropped";
    if (!how.empty()) line.push_back({how});
    return line;
}

Line partition_line(const dictionary::ListedPartition& partition, bool counted_run)
{
    Line line{{}, {"  " + terminal_text(partition.name)}, {}, number_cell(partition.data_object), {}};
    add_counts(line, partition.count, counted_run);
    line.push_back({"partition"});
    return line;
}

void write_aligned(OutputSink& out, const std::vector<Line>& lines)
{
    std::vector<std::size_t> widths;
    for (const Line& line : lines) {
        if (line.size() > widths.size()) widths.resize(line.size());
        for (std::size_t i = 0; i < line.size(); ++i) widths[i] = std::max(widths[i], line[i].text.size());
    }
    for (const Line& line : lines) {
        std::string text;
        for (std::size_t i = 0; i < line.size(); ++i) {
            const Cell& cell = line[i];
            const std::string pad(widths[i] - cell.text.size(), ' ');
            if (i > 0) text += "  ";
            text += cell.number ? pad + cell.text : cell.text + (i + 1 < line.size() ? pad : "");
        }
        while (!text.empty() && text.back() == ' ') text.pop_back();
        out.text(text);
        out.byte('\n');
    }
}

// "-- data object 88213: 14 blocks, 310 rows, no table in the dictionary;
// rows fit SCOTT.EMP (truncated or moved?)"
std::string unknown_line(const UnknownObject& object)
{
    std::string line = "-- data object " + std::to_string(object.data_object) + ": " +
                       counted(object.count.blocks, "block", "blocks") + ", " +
                       counted(object.count.rows, "row", "rows") + ", no table in the dictionary";
    if (object.fits.empty()) return line;
    line += "; rows fit ";
    for (std::size_t i = 0; i < object.fits.size(); ++i) line += (i == 0 ? "" : ", ") + terminal_text(object.fits[i]);
    return line + " (truncated or moved?)";
}

// "-- dictionary of release 12.2 or later (OBJ$ has 37 columns); its file
// header says probably 12c or later; BOOTSTRAP$ line -1 reads "8.0.0.0.0""
std::string release_line(const dictionary::Release& release)
{
    std::string line = "-- dictionary of release " + release.by_dictionary + " (OBJ$ has " +
                       std::to_string(release.object_columns) + " columns); ";
    line += release.by_file_header.empty() ? "its file header does not say"
                                           : "its file header says probably " + release.by_file_header;
    line += release.bootstrap_version ? "; BOOTSTRAP$ line -1 reads \"" + terminal_text(*release.bootstrap_version) + "\""
                                      : "; BOOTSTRAP$ has no line -1";
    return line;
}

void write_text(OutputSink& out, const TableListing& listing)
{
    Line header{{"OWNER"}, {"TABLE"}, {"OBJECT", true}, {"DATA OBJECT", true}, {"COLUMNS", true}};
    if (listing.counted) {
        header.push_back({"BLOCKS", true});
        header.push_back({"ROWS", true});
    }
    std::vector<Line> lines{header};
    for (const ListedTable& entry : listing.tables) {
        lines.push_back(table_line(entry, listing.counted));
        for (const dictionary::ListedPartition& partition : entry.partitions)
            lines.push_back(partition_line(partition, listing.counted));
    }
    write_aligned(out, lines);
    for (const UnknownObject& object : listing.unknown) {
        out.text(unknown_line(object));
        out.byte('\n');
    }
    if (listing.release) {
        out.text(release_line(*listing.release));
        out.byte('\n');
    }
}

// ---------------------------------------------------------------------------
// JSON Lines.

std::string json_count(const std::optional<ObjectCount>& count)
{
    if (!count) return "\"blocks\": null, \"rows\": null";
    return "\"blocks\": " + std::to_string(count->blocks) + ", \"rows\": " + std::to_string(count->rows);
}

std::string json_table(const ListedTable& entry)
{
    const schema::Table& table = *entry.table;
    std::string json = "{\"owner\": " + json_string(table.owner) + ", \"table\": " + json_string(table.name) +
                       ", \"object_id\": " + std::to_string(table.object_number) + ", \"data_object_id\": " +
                       (table.data_object ? std::to_string(*table.data_object) : "null") +
                       ", \"columns\": " + std::to_string(entry.columns) + ", \"cluster\": ";
    if (table.cluster)
        json += "{\"object_id\": " + std::to_string(table.cluster->cluster_object) +
                ", \"table\": " + std::to_string(table.cluster->table_number) + "}";
    else
        json += "null";
    json += ", \"partitions\": [";
    for (std::size_t i = 0; i < entry.partitions.size(); ++i) {
        const dictionary::ListedPartition& partition = entry.partitions[i];
        json += (i == 0 ? "{\"name\": " : ", {\"name\": ") + json_string(partition.name) +
                ", \"data_object_id\": " + std::to_string(partition.data_object) + ", " + json_count(partition.count) +
                "}";
    }
    return json + "], " + json_count(entry.count) + ", \"dropped\": " + (table.dropped ? "true" : "false") + "}";
}

std::string json_unknown(const UnknownObject& object)
{
    std::string json = "{\"unknown_data_object_id\": " + std::to_string(object.data_object) + ", " +
                       json_count(object.count) + ", \"fits\": [";
    for (std::size_t i = 0; i < object.fits.size(); ++i) json += (i == 0 ? "" : ", ") + json_string(object.fits[i]);
    return json + "]}";
}

std::string json_release(const dictionary::Release& release)
{
    return "{\"release\": " + json_string(release.by_dictionary) + ", \"object_columns\": " +
           std::to_string(release.object_columns) + ", \"file_header_release\": " +
           (release.by_file_header.empty() ? std::string("null") : json_string("probably " + release.by_file_header)) +
           ", \"bootstrap_version\": " +
           (release.bootstrap_version ? json_string(*release.bootstrap_version) : std::string("null")) + "}";
}

void write_jsonl(OutputSink& out, const TableListing& listing)
{
    for (const ListedTable& entry : listing.tables) {
        out.text(json_table(entry));
        out.byte('\n');
    }
    for (const UnknownObject& object : listing.unknown) {
        out.text(json_unknown(object));
        out.byte('\n');
    }
    if (listing.release) {
        out.text(json_release(*listing.release));
        out.byte('\n');
    }
}

}  // namespace

void write_table_listing(OutputSink& out, const TableListing& listing, OutputFormat format)
{
    if (format == OutputFormat::Jsonl)
        write_jsonl(out, listing);
    else
        write_text(out, listing);
}
