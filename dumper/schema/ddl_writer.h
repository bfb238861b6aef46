// Writing a schema as a schema file: the SQL a DBA reads, with comments
// saying where each table's rows are stored, which parse_schema_file reads
// back (see ddl_parser.h for the format).
#pragma once

#include <string>
#include <string_view>

#include "schema/schema.h"

namespace schema {

// The schema file of `schema`. Per table: its data object line, its note
// as comment lines, then CREATE TABLE with the stored columns in storage
// order (those not stored left out), NOT NULL where not nullable, and after
// a column the comments "not described" (a column no source describes but
// by its place in the row), "hidden", "unused", "character set NAME" (when not
// the database's, or for national types the national one, or when a column
// that is not text has one; "character set id N" when the id has no name)
// and its free comment, apart by "; ". A table with neither a data object
// nor partitions is written under "-- no data object"; a dropped table's
// data object line ends ", dropped".
// Reading it back gives the same schema, but for what the file does not
// hold: object numbers, a cluster's object number (and the placement of a
// clustered table without a data object), a partitioned table's own data
// object, COL#, SEGCOL# and INTCOL# (taken from the order), columns not
// stored, and control characters and bytes that are not UTF-8 in comments
// (written as \xHH, so that the file can be shown on a terminal).
std::string write_schema_file(const Schema& schema);

// A name as a schema file quotes it: "A""B". A name that is not plain text
// (control characters, bytes that are not UTF-8) is written E"...", with its
// backslashes doubled and those bytes as \xHH, which reads back as the
// same bytes and shows on a terminal as it is written.
std::string quoted_name(std::string_view name);

}  // namespace schema
