// Reading CREATE statements: those BOOTSTRAP$ holds, which say how the core
// dictionary tables are stored, and schema files, which say how a user's
// tables are (what --ddl writes, perhaps edited by hand).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "schema/schema.h"

namespace schema {

enum class StatementKind : std::uint8_t { Table, Cluster, Index, Other };

// A segment header: EXTENTS (FILE f BLOCK b).
struct Extent {
    std::uint32_t file = 0;
    std::uint32_t block = 0;

    bool operator==(const Extent&) const = default;
};

struct BootstrapStatement {
    StatementKind kind = StatementKind::Other;
    std::string name;
    std::uint32_t object_number = 0;  // OBJNO
    // A table's or cluster's columns as written, which is the order a row
    // stores them: name, type, sizes, nullable; SEGCOL#, COL# and INTCOL#
    // are their positions.
    std::vector<Column> columns;
    std::optional<std::uint32_t> table_number;  // TABNO: a clustered table's number in its cluster
    std::vector<Extent> extents;
    // A clustered table's CLUSTER clause: the cluster and its key columns.
    std::string cluster_name;
    std::vector<std::string> cluster_key;

    bool operator==(const BootstrapStatement&) const = default;
};

// One statement of BOOTSTRAP$: CREATE TABLE, CREATE CLUSTER, CREATE [UNIQUE]
// INDEX (kind Index) or CREATE ROLLBACK SEGMENT (kind Other). Anything
// else, or a statement cut short or damaged, is an error giving the offset
// and text of the token where reading stopped.
Parsed<BootstrapStatement> parse_bootstrap_statement(std::string_view sql);

// The name the first words of a statement give what it creates as a
// `kind` ("TABLE", "CLUSTER"): CREATE, the kind, then the name, bare (in
// upper case) or quoted; none when it does not start so. Nothing after
// the name is read, so that a statement cut short or damaged further on
// still tells what it meant to create.
std::optional<std::string> created_name(std::string_view sql, std::string_view kind);

// The tables the statements create, owned by SYS: a heap table's data
// object is its object number; a clustered table's is its cluster's (found
// among the statements by name), and it is placed as its TABNO with as
// many key columns as its CLUSTER clause names. (These objects' data
// object numbers equal their object numbers.)
std::vector<Table> bootstrap_tables(const std::vector<BootstrapStatement>& statements);

// A schema file: comments naming the database and national character sets,
// then for each table a comment line giving its data object number(s)
//   -- data object 74570
//   -- data object 2, cluster table 5, key columns 1
//   -- data objects 80001 P2019, 80002 P2020
//   -- no data object
// (", dropped" at the end of the line for a table dropped; comment lines
// after it are the table's note), then CREATE TABLE with its
// columns in storage order. Constraints, defaults and table clauses are
// passed over; a comment after a column says "not described", "hidden", "unused",
// "character set NAME", "character set id N" or anything else (its free
// comment), parts apart by ";". Unquoted names are taken in upper case.
// A table's columns get SEGCOL# and INTCOL# by position and COL# by
// position among those not hidden or unused; text columns not naming their
// character set are in the database's or the national one. Errors name the
// line.
Parsed<Schema> parse_schema_file(std::string_view text);

}  // namespace schema
