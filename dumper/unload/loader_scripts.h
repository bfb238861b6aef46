// The scripts that load an unload directory into a database: sqlite.sql
// for the sqlite3 shell, postgres.sql for psql, and a control file per
// table for Oracle's loader. Each names only the files the unload wrote.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "unload/unload_plan.h"

namespace unload {

constexpr std::string_view kSqliteScript = "sqlite.sql";
constexpr std::string_view kPostgresScript = "postgres.sql";
// Where sqlite.sql writes the statements that turn hexadecimal digits into
// BLOBs before it runs them (the sqlite3 shell of Debian 12 has no unhex()).
constexpr std::string_view kSqliteBlobStatements = "sqlite-blobs.tmp";

// Run from inside the directory: sqlite3 recovered.db < sqlite.sql. It
// creates each table ("OWNER.TABLE", "OWNER.TABLE$deleted",
// "OWNER.TABLE$stale", as the plan names them), imports its CSV file into
// a temporary table of text and converts it: empty fields into NULL, the
// values its undecoded file names ("OWNER.TABLE$undecoded", loaded first)
// into NULL, numbers into INTEGER, REAL or (more digits than REAL keeps)
// their digits, dates before 1582-10-15 into the same Gregorian day (BC
// ones into Julian days, which sort first) with their text beside them,
// times with zones into UTC with the zone beside them, RAW's hexadecimal
// digits into BLOBs, and with --lob-files a LOB column's files (the paths
// its fields hold) into BLOB or TEXT through the shell's readfile().
std::string sqlite_script(const UnloadPlan& plan, const WrittenFiles& written);
// The same, handed to `out` a table at a time, as write_loaders() writes it
// (a script of thousands of tables is never held whole).
using ScriptOut = std::function<void(std::string_view text)>;
void put_sqlite_script(const UnloadPlan& plan, const WrittenFiles& written, const ScriptOut& out);

// Run from inside the directory: psql -f postgres.sql. Each table lands in
// its owner's schema, its values converted from the CSV's text through a
// table of text columns (from a file's binary copy where there is one);
// the values its undecoded file names are NULL, dates before 1582-10-15
// the same Gregorian day, their text (and that of fractions of more than
// six digits) beside them, and a time zone's value has its zone beside it.
// With --lob-files, a table's LOB files (lob_files_of) are imported as
// large objects first (psql's \lo_import reads them as the client), read
// into its columns, and removed after.
using LobFileLists = std::vector<std::vector<std::string>>;  // by table
std::string postgres_script(const UnloadPlan& plan, const WrittenFiles& written, const LobFileLists& lob_files = {});
// The same, handed to `out` a table at a time; `lob_files(t)` lists table
// t's LOB files when the script comes to them.
using LobFilesOf = std::function<std::vector<std::string>(std::size_t table)>;
void put_postgres_script(const UnloadPlan& plan, const WrittenFiles& written, const LobFilesOf& lob_files,
                         const ScriptOut& out);

// OWNER.TABLE.ctl: reloads OWNER.TABLE.csv into an Oracle database with
// the date and time masks of the unload's text; a LOB column whose values
// `written` says are in files (--lob-files) through LOBFILE.
std::string control_file(const UnloadTable& table, const TableWritten* written = nullptr);

// Writes into `directory` the binary copies of the CSV files that need
// one, sqlite.sql, postgres.sql and the control files, each under its
// temporary name until it is complete; false, with the reason in
// `failure`, when one cannot be written.
bool write_loaders(const std::string& directory, const UnloadPlan& plan, const WrittenFiles& written,
                   std::string& failure);

// The SQLite and PostgreSQL column types of a column.
std::string sqlite_type(const schema::Column& column);
std::string postgres_type(const schema::Column& column);

}  // namespace unload
