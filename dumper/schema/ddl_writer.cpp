#include "schema/ddl_writer.h"

#include <algorithm>

#include "schema/oracle_types.h"
#include "values/escaped_text.h"

namespace schema {

namespace {

// A comment's text as a terminal may show it: on its line, without control
// characters (\xHH instead).
std::string comment_text(std::string_view text) { return terminal_text(text); }

// The text between the quotes of E"...", before quotes are doubled:
// backslashes doubled, then the bytes a terminal must not be given as \xHH.
std::string escaped_name_text(std::string_view name)
{
    std::string text;
    for (char c : name) {
        if (c == '\\') text += '\\';
        text += c;
    }
    return terminal_text(text);
}

// A partition name is written as it is when it reads back the same unquoted.
std::string partition_name(const std::string& name)
{
    const bool plain = !name.empty() && name[0] >= 'A' && name[0] <= 'Z' &&
                       std::all_of(name.begin(), name.end(), [](char c) {
                           return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '$' ||
                                  c == '#';
                       });
    return plain ? name : quoted_name(name);
}

// "segment header file 4 block 43", when the segment is known.
std::string segment_words(const std::optional<SegmentHeader>& segment)
{
    if (!segment) return "";
    std::string words = "segment header file ";
    return words.append(std::to_string(segment->file)).append(" block ").append(std::to_string(segment->block));
}

// The words a data object line ends with for a dropped table.
constexpr std::string_view kDroppedWords = ", dropped";

std::string data_object_text(const Table& table)
{
    if (!table.partitions.empty()) {
        std::string line = "-- data objects ";
        for (std::size_t i = 0; i < table.partitions.size(); ++i) {
            const Partition& partition = table.partitions[i];
            if (i > 0) line += ", ";
            line += std::to_string(partition.data_object) + " " + partition_name(partition.name);
            if (partition.segment) line.append(" ").append(segment_words(partition.segment));
        }
        return line;
    }
    if (!table.data_object) return "-- no data object";
    std::string line = "-- data object " + std::to_string(*table.data_object);
    if (table.cluster)
        line += ", cluster table " + std::to_string(table.cluster->table_number) + ", key columns " +
                std::to_string(table.cluster->key_columns);
    if (table.segment) line.append(", ").append(segment_words(table.segment));
    return line;
}

std::string data_object_line(const Table& table)
{
    return data_object_text(table) + (table.dropped ? std::string(kDroppedWords) : "");
}

// The character set ids a text column is in unless it says otherwise.
struct SchemaCharsets {
    std::uint32_t database = 0;
    std::uint32_t national = 0;
};

std::string charset_comment(const Column& column, const SchemaCharsets& charsets)
{
    std::uint32_t expected = 0;  // a column that is not text names a character set only when it has one
    if (column.charset_form == CharsetForm::Database) expected = charsets.database;
    if (column.charset_form == CharsetForm::National) expected = charsets.national;
    if (column.charset_id == 0 || column.charset_id == expected) return "";
    const std::string_view name = charset_name(column.charset_id);
    return name.empty() ? "character set id " + std::to_string(column.charset_id)
                        : "character set " + std::string(name);
}

std::string column_comments(const Column& column, const SchemaCharsets& charsets)
{
    std::string parts;
    auto add = [&parts](const std::string& part) {
        if (part.empty()) return;
        if (!parts.empty()) parts += "; ";
        parts += part;
    };
    if (!column.described) add("not described");
    if (column.hidden) add("hidden");
    if (column.unused) add("unused");
    add(charset_comment(column, charsets));
    add(comment_text(column.comment));
    return parts;
}

std::string column_list(const Table& table, const SchemaCharsets& charsets)
{
    std::vector<const Column*> stored;
    for (const Column& column : table.columns)
        if (column.segment_column != 0) stored.push_back(&column);
    std::stable_sort(stored.begin(), stored.end(), [](const Column* a, const Column* b) {
        return a->segment_column < b->segment_column;
    });
    std::string text;
    for (std::size_t i = 0; i < stored.size(); ++i) {
        const Column& column = *stored[i];
        text += "  " + quoted_name(column.name) + " " + sql_type_text(column);
        if (!column.nullable) text += " NOT NULL";
        if (i + 1 < stored.size()) text += ",";
        const std::string comments = column_comments(column, charsets);
        if (!comments.empty()) text += " -- " + comments;
        text += "\n";
    }
    return text;
}

std::string table_text(const Table& table, const SchemaCharsets& charsets)
{
    std::string text = data_object_line(table) + "\n";
    std::size_t start = 0;
    while (!table.note.empty() && start <= table.note.size()) {
        std::size_t end = table.note.find('\n', start);
        if (end == std::string::npos) end = table.note.size();
        text += "-- " + comment_text(std::string_view(table.note).substr(start, end - start)) + "\n";
        start = end + 1;
    }
    text += "CREATE TABLE ";
    if (!table.owner.empty()) text += quoted_name(table.owner) + ".";
    text += quoted_name(table.name) + " (\n" + column_list(table, charsets) + ");\n";
    return text;
}

std::uint32_t id_of(const std::optional<std::string>& name) { return name ? charset_id(*name).value_or(0) : 0; }

}  // namespace

std::string quoted_name(std::string_view name)
{
    const bool plain = is_plain_text(name);
    std::string quoted = plain ? "\"" : "E\"";
    for (char c : plain ? std::string(name) : escaped_name_text(name)) {
        quoted += c;
        if (c == '"') quoted += '"';
    }
    return quoted + "\"";
}

std::string write_schema_file(const Schema& schema)
{
    std::string text;
    if (schema.database_charset) text += "-- database character set " + comment_text(*schema.database_charset) + "\n";
    if (schema.national_charset) text += "-- national character set " + comment_text(*schema.national_charset) + "\n";
    const SchemaCharsets charsets{id_of(schema.database_charset), id_of(schema.national_charset)};
    for (const Table& table : schema.tables) {
        if (!text.empty()) text += "\n";
        text += table_text(table, charsets);
    }
    return text;
}

}  // namespace schema
