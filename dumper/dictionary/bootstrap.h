// BOOTSTRAP$: where the dictionary starts. The SYSTEM file's root address
// leads to its segment; its rows hold the CREATE statements of the core
// dictionary objects, which say how OBJ$, TAB$, COL$ and USER$ store their
// rows: their columns in storage order, and the heap or cluster segment
// that holds them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dictionary/segment_rows.h"
#include "schema/ddl_parser.h"

namespace dictionary {

// One row of BOOTSTRAP$ that holds a statement, and what reading it gave.
struct BootstrapLine {
    std::int64_t line = 0;
    std::int64_t object = 0;
    std::string where;  // "file 1 block 521 slot 3"
    std::string sql;    // SQL_TEXT as read
    schema::Parsed<schema::BootstrapStatement> statement;
};

struct Bootstrap {
    DictionarySegment segment;
    std::vector<BootstrapLine> lines;  // in the order read
    // Line -1's text, which names the form the lines are written in
    // ("8.0.0.0.0"); none when no such line was read.
    std::optional<std::string> version;
    // A block of the SYSTEM file: where a statement's EXTENTS clause
    // leads when the file is a bigfile tablespace's, its only file.
    BlockPlace system_file;
};

// Reads BOOTSTRAP$ from where block 1 of the SYSTEM file `system` (one of
// `files`) says it lies. False, with why in `error`, when the file holds no
// root address, the segment header it names cannot be read, or BOOTSTRAP$
// holds no statement.
bool read_bootstrap(DataFileSet& files, DataFile& system, Bootstrap& bootstrap, LoadNotes& notes,
                    std::string& error);

// A core dictionary table as its statement creates it.
struct CoreTable {
    std::string name;
    std::uint32_t object = 0;
    std::vector<std::string> columns;            // in storage order: a cluster's key columns first
    std::optional<std::uint32_t> cluster_table;  // TABNO, in the cluster its segment is
    DictionarySegment segment;                   // its own, or its cluster's (no blocks yet)
};

// Where the header of a segment of the SYSTEM tablespace lies that an
// EXTENTS clause or a TAB$ row places at file `file`, block `block`: in a
// bigfile tablespace, whose only file is the SYSTEM file, a block of it
// whatever the file number says.
BlockPlace system_segment_header(const Bootstrap& bootstrap, std::uint32_t file, std::uint32_t block);

// The table `name` as BOOTSTRAP$ creates it: its object number, columns,
// cluster table number and segment all from its statement (and its
// cluster's), since upgrades renumber the core tables and their places in
// their clusters. False, with why in `error`, when no statement creates
// it, its statement (or its cluster's) does not parse, or names no segment.
bool find_core_table(const Bootstrap& bootstrap, std::string_view name, CoreTable& table, std::string& error);

// A warning naming the statements that do not parse, when there are any.
std::optional<std::string> unparsed_statements(const Bootstrap& bootstrap);

}  // namespace dictionary
