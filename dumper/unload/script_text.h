// Text written into the loading scripts, one function for each grammar a
// name or a file name stands in. Each takes any bytes and writes them so
// that nothing of them can end the statement, the command or the line they
// stand in: text is first made terminal_text (no control characters, no
// bytes that are not UTF-8), then quoted as its grammar wants.
#pragma once

#include <string>
#include <string_view>

namespace unload {

// An identifier of SQL, for SQLite, PostgreSQL and Oracle's loader alike:
// "..." with "" for a quote.
std::string sql_identifier(std::string_view name);

// A string literal of SQL: '...' with '' for a quote (SQLite's, and
// PostgreSQL's with its standard strings).
std::string sql_literal(std::string_view text);

// An argument of a dot-command of the sqlite3 shell: "...", a backslash
// before each quote and backslash in it. (The shell still takes an argument starting
// with '-' for an option of .import, and a file starting with '|' for a
// command: the unload's names never start so.)
std::string sqlite_argument(std::string_view text);

// The file of psql's \copy: '...' with '' for a quote; psql expands
// nothing in it.
std::string psql_file_argument(std::string_view file);

// An argument of another psql meta-command (\lo_import): '...' with ''
// for a quote and \\ for a backslash, as psql reads backslash escapes in
// a quoted argument; nothing in it is expanded.
std::string psql_meta_argument(std::string_view text);

// A word of a POSIX shell: as it is when every character is one no shell
// treats specially, else '...' with '\'' for a quote.
std::string shell_word(std::string_view text);

}  // namespace unload
