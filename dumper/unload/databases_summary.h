// The summary of an unload of several databases or containers: which
// subdirectory holds each one's unload (with a summary.json and loading
// scripts of its own), of which files, read with which dictionary, and how
// its run ended.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace unload {

struct DatabaseUnload {
    std::optional<std::uint32_t> database_id;  // none: files whose header gives none
    std::string name;                          // as the files' headers give it
    std::string directory;                     // its subdirectory
    std::vector<std::string> files;
    std::string dictionary;  // empty: its SYSTEM file among its files, if any, or none
    int exit_status = 0;
};

// {"databases": [{"database", "database_id", "directory", "files",
// "dictionary", "exit_status"}], "exit_status"}; names from the files as
// JSON strings of valid UTF-8 (with "database_hex" when not plain text).
std::string databases_summary_json(const std::vector<DatabaseUnload>& databases, int exit_status);

// Writes it to DIRECTORY/summary.json; false, with why, when it cannot.
bool write_databases_summary(const std::string& directory, const std::vector<DatabaseUnload>& databases,
                             int exit_status, std::string& failure);

}  // namespace unload
