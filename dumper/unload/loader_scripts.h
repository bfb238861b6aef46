// The scripts that load an unload directory into a database: sqlite.sql
// for the sqlite3 shell, postgres.sql for psql, and a control file per
// table for Oracle's loader. Each names only the files the unload wrote.
#pragma once

#include <string>
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
// "OWNER.TABLE$stale", as the plan names them) with types that compare
// correctly, imports its CSV file, turns empty fields into NULL and RAW's
// hexadecimal digits into BLOBs.
std::string sqlite_script(const UnloadPlan& plan, const WrittenFiles& written);

// Run from inside the directory: psql -f postgres.sql. Each table lands in
// its owner's schema, its values converted from the CSV's text through a
// table of text columns (from a file's binary copy where there is one); a
// value that could not be decoded (0x and its bytes in the CSV) is NULL in
// a column that is not text.
std::string postgres_script(const UnloadPlan& plan, const WrittenFiles& written);

// OWNER.TABLE.ctl: reloads OWNER.TABLE.csv into an Oracle database with
// the date and time masks of the unload's text.
std::string control_file(const UnloadTable& table);

// The SQLite and PostgreSQL column types of a column.
std::string sqlite_type(const schema::Column& column);
std::string postgres_type(const schema::Column& column);

}  // namespace unload
