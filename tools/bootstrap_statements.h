// The statements BOOTSTRAP$ holds, read as far as the data file builder
// needs them: the columns of the core dictionary tables and clusters, in
// storage order, and where each object is stored (its segment's header, or
// its cluster and table number there).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "row_layout.h"
#include "system_file.h"

namespace datafile {

enum class StatementKind { Table, Cluster, Index, Other };

struct Statement {
    StatementKind kind = StatementKind::Other;
    std::string name;
    std::vector<ColumnDef> columns;            // a table's or a cluster key's
    std::uint32_t object = 0;                  // OBJNO
    std::optional<std::uint8_t> table_number;  // TABNO: a table in a cluster
    std::string cluster;                       // and that cluster's name
    std::vector<std::string> cluster_key;      // and the key columns it names
    std::optional<BlockAddress> segment;       // EXTENTS (FILE f BLOCK b): the segment header
};

// One statement; its text columns are in character set `charset`. Throws
// on a shape it does not know.
Statement parse_statement(std::string_view sql, std::uint16_t charset);

}  // namespace datafile
