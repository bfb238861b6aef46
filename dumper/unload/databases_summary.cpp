#include "unload/databases_summary.h"

#include "unload/summary.h"
#include "unload/table_files.h"
#include "values/escaped_text.h"

namespace unload {

namespace {

std::string string_field(std::string_view name, std::string_view text)
{
    return json_string(name) + ": " + json_string(text);
}

std::string database_json(const DatabaseUnload& d)
{
    std::string json = "    {" + string_field("database", d.name);
    if (!is_plain_text(d.name)) json += ", " + string_field("database_hex", hex_text(d.name));
    json += ", " + json_string("database_id") + ": " + (d.database_id ? std::to_string(*d.database_id) : "null");
    json += ", " + string_field("directory", d.directory) + ", " + json_string("files") + ": [";
    for (std::size_t i = 0; i < d.files.size(); ++i) json += (i == 0 ? "" : ", ") + json_string(d.files[i]);
    json += "], " + json_string("dictionary") + ": " + (d.dictionary.empty() ? "null" : json_string(d.dictionary));
    return json + ", " + json_string("exit_status") + ": " + std::to_string(d.exit_status) + "}";
}

}  // namespace

std::string databases_summary_json(const std::vector<DatabaseUnload>& databases, int exit_status)
{
    std::string json = "{\n  \"databases\": [";
    for (std::size_t i = 0; i < databases.size(); ++i) json += (i == 0 ? "\n" : ",\n") + database_json(databases[i]);
    json += databases.empty() ? "],\n" : "\n  ],\n";
    return json + "  \"exit_status\": " + std::to_string(exit_status) + "\n}\n";
}

bool write_databases_summary(const std::string& directory, const std::vector<DatabaseUnload>& databases,
                             int exit_status, std::string& failure)
{
    return write_whole_file(directory, std::string(kSummaryFile), databases_summary_json(databases, exit_status),
                            failure);
}

}  // namespace unload
