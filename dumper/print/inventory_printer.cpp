#include "print/inventory_printer.h"

#include "values/escaped_text.h"

namespace {

std::string_view order_name(ByteOrder order) { return order == ByteOrder::Little ? "little-endian" : "big-endian"; }
std::string_view order_word(ByteOrder order) { return order == ByteOrder::Little ? "little" : "big"; }

std::string numbers(const std::vector<std::uint32_t>& list)
{
    std::string text;
    for (std::size_t i = 0; i < list.size(); ++i) text += (i == 0 ? "" : ", ") + std::to_string(list[i]);
    return text;
}

std::vector<std::uint32_t> absolute_files(const std::vector<InventoryEntry>& entries, const DatabaseFiles& db)
{
    std::vector<std::uint32_t> files;
    for (const std::size_t i : db.files) files.push_back(entries[i].identity.facts.absolute_file);
    return files;
}

// ---------------------------------------------------------------------------
// Text

// "data file", "probably a redo log".
std::string what_text(const FileIdentity& id)
{
    const std::string_view name = kind_name(id.kind);
    if (id.sure || id.kind == FileKind::Unknown) return std::string(name);
    return (name.front() == 'A' ? "probably an " : "probably a ") + std::string(name);
}

std::string header_text(const FileIdentity& id)
{
    const FileHeaderFacts& f = id.facts;
    std::string text = "; database " + terminal_text(f.database_name) + " (DBID " + std::to_string(f.database_id) +
                       "); tablespace " + terminal_text(f.tablespace) + " (" + std::to_string(f.tablespace_number) +
                       "); file " + std::to_string(f.absolute_file) + ", relative " + std::to_string(f.relative_file);
    if (f.layout() == AddressLayout::Bigfile) text += ", bigfile";
    return text;
}

std::string blocks_text(const FileIdentity& id)
{
    if (!id.geometry_known) return "";
    std::string text = "; blocks of " + std::to_string(id.geometry.block_size) + ", " +
                       std::string(order_name(id.geometry.order)) + ", " + std::to_string(id.blocks_in_file()) +
                       " in the file";
    if (id.facts.file_header) {
        text += ", " + std::to_string(id.facts.block_count) + " in the header";
        if (id.cut_short()) text += " (cut short)";
    }
    return text;
}

std::string file_line(const InventoryEntry& entry)
{
    const FileIdentity& id = entry.identity;
    std::string line = terminal_text(entry.path) + ": " + what_text(id) + " (" + id.evidence + ")";
    if (id.facts.file_header) line += header_text(id);
    line += blocks_text(id);
    if (id.facts.file_header) {
        line += "; release " + (id.release.empty() ? std::string("unknown") : "probably " + id.release);
        line += "; checkpoint SCN " + std::to_string(id.facts.checkpoint_scn) + ", creation SCN " +
                std::to_string(id.facts.creation_scn);
        if (id.holds_dictionary()) line += "; SYSTEM file, holds the dictionary";
        else if (id.facts.tablespace == "SYSTEM") line += "; SYSTEM file";
    }
    return line + "\n";
}

std::string database_line(const std::vector<InventoryEntry>& entries, const DatabaseFiles& db)
{
    const std::size_t count = db.files.size();
    std::string line = "database " + terminal_text(db.name) + " (DBID " + std::to_string(db.database_id) + "): " +
                       std::to_string(count) + (count == 1 ? " data file" : " data files") + " (absolute " +
                       (count == 1 ? "file " : "files ") + numbers(absolute_files(entries, db)) + ")";
    if (db.not_found.empty()) return line + "; no file number below the highest is missing\n";
    return line + "; not found: " + (db.not_found.size() == 1 ? "file " : "files ") + numbers(db.not_found) +
           " (missing, or dropped from the database)\n";
}

// ---------------------------------------------------------------------------
// JSON Lines

std::string json_number_or_null(bool known, std::uint64_t value) { return known ? std::to_string(value) : "null"; }

std::string file_json(const InventoryEntry& entry)
{
    const FileIdentity& id = entry.identity;
    const FileHeaderFacts& f = id.facts;
    const bool header = f.file_header;
    auto text_or_null = [&](const std::string& text) { return header ? json_string(text) : std::string("null"); };
    auto number = [&](std::uint64_t value) { return json_number_or_null(header, value); };
    std::string json = "{\"record\": \"file\", \"path\": " + json_string(entry.path) + ", \"kind\": " +
                       json_string(kind_name(id.kind)) + ", \"sure\": " + (id.sure ? "true" : "false") +
                       ", \"evidence\": " + json_string(id.evidence) + ", \"size\": " + std::to_string(id.size);
    json += ", \"block_size\": " + json_number_or_null(id.geometry_known, id.geometry.block_size) +
            ", \"byte_order\": " +
            (id.geometry_known ? json_string(order_word(id.geometry.order)) : std::string("null")) +
            ", \"blocks_in_file\": " + json_number_or_null(id.geometry_known, id.blocks_in_file());
    json += ", \"database_name\": " + text_or_null(f.database_name) + ", \"database_id\": " + number(f.database_id) +
            ", \"container\": null, \"tablespace\": " + text_or_null(f.tablespace) +
            ", \"tablespace_number\": " + number(f.tablespace_number) + ", \"absolute_file\": " +
            number(f.absolute_file) + ", \"relative_file\": " + number(f.relative_file) + ", \"bigfile\": " +
            (header ? (f.layout() == AddressLayout::Bigfile ? "true" : "false") : "null") +
            ", \"header_blocks\": " + number(f.block_count) + ", \"cut_short\": " +
            (header ? (id.cut_short() ? "true" : "false") : "null") + ", \"release\": " +
            (id.release.empty() ? std::string("null") : json_string("probably " + id.release)) +
            ", \"checkpoint_scn\": " + number(f.checkpoint_scn) + ", \"creation_scn\": " + number(f.creation_scn) +
            ", \"system\": " + (header ? (f.tablespace == "SYSTEM" ? "true" : "false") : "null") +
            ", \"holds_dictionary\": " + (id.holds_dictionary() ? "true" : "false") + "}\n";
    return json;
}

std::string database_json(const std::vector<InventoryEntry>& entries, const DatabaseFiles& db)
{
    std::string paths;
    for (std::size_t k = 0; k < db.files.size(); ++k) paths += (k == 0 ? "" : ", ") + json_string(entries[db.files[k]].path);
    return "{\"record\": \"database\", \"database_name\": " + json_string(db.name) + ", \"database_id\": " +
           std::to_string(db.database_id) + ", \"container\": null, \"files\": [" +
           numbers(absolute_files(entries, db)) + "], \"paths\": [" + paths + "], \"not_found\": [" +
           numbers(db.not_found) + "]}\n";
}

}  // namespace

void write_inventory(OutputSink& out, const std::vector<InventoryEntry>& entries,
                     const std::vector<DatabaseFiles>& databases, OutputFormat format)
{
    const bool json = format == OutputFormat::Jsonl;
    for (const InventoryEntry& entry : entries) out.text(json ? file_json(entry) : file_line(entry));
    for (const DatabaseFiles& db : databases) out.text(json ? database_json(entries, db) : database_line(entries, db));
}
