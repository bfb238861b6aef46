// Binary copies of CSV files, for PostgreSQL. psql's \copy takes a line
// that is exactly \. (ending in LF or CR LF) for the end of its data, even
// inside a quoted field of a CSV file: a text value holding one would stop
// the load. Such a file also gets a copy in PostgreSQL's binary COPY
// format, which has no lines, and postgres.sql loads that instead; the CSV
// file stays as it is.
#pragma once

#include <string>
#include <string_view>

#include "unload/table_files.h"

namespace unload {

// Whether a field as the CSV writer wrote it holds such a line.
bool holds_copy_end_line(std::string_view field);

// Writes the records of the CSV file at `csv_path` after its header into
// `out` in the binary COPY format, every field as text: an empty field
// that is not quoted is NULL, as PostgreSQL reads CSV. False, with the
// reason in `failure`, when the file cannot be read.
bool write_binary_copy(const std::string& csv_path, OpenFile& out, std::string& failure);

}  // namespace unload
