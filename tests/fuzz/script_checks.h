// The loading scripts read as their interpreters read them, for the fuzz
// harness: each returns "" when the script can neither run a command the
// writer does not write nor break a line, and names exactly the files and
// tables the plan gave; else what is wrong.
#pragma once

#include <optional>
#include <string>

#include "unload/unload_plan.h"

namespace fuzz {

// sqlite.sql as the sqlite3 shell reads it: its dot-commands (and their
// arguments as the shell parses them) and the statements between them.
std::string check_sqlite_script(const unload::UnloadPlan& plan, const unload::WrittenFiles& written,
                                const std::string& script);

// postgres.sql as psql reads it: its meta-commands, and the statements,
// in which psql would otherwise see a command or a variable.
std::string check_postgres_script(const unload::UnloadPlan& plan, const unload::WrittenFiles& written,
                                  const std::string& script);

// The LOB files under DIRECTORY/lobs: each in its table's directory,
// under a name of the form LOB files are given, none left temporary.
std::string check_lob_files(const unload::UnloadPlan& plan, const std::string& directory);

// A control file: its lines, the command in its comment as a POSIX shell
// reads it, its INFILE and its table.
std::string check_control_file(const unload::UnloadTable& table, const std::string& text);

// A CSV file holding a line psql's \copy stops at has a binary copy, and
// a binary copy holds the CSV file's records after its header.
std::string check_binary_copy(const std::string& csv, const std::optional<std::string>& copy);

}  // namespace fuzz
