// Deciding each column's type from the statistics of the whole column, and
// the table a schema file holds for a data object no dictionary describes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "infer/object_stats.h"
#include "schema/schema.h"

namespace infer {

// Why a column got its type: how many values it has, how many of those
// that are not NULL the type explains.
struct Evidence {
    std::uint64_t values = 0;  // the object's rows: the column's values, NULLs included
    std::uint64_t nulls = 0;
    std::uint64_t explained = 0;
    schema::OracleType type = schema::OracleType::Raw;
    // When no type explained enough of the values and RAW was kept: the
    // type that explained most of them, and how many; `closest_unlike` when
    // that was enough of them, but the column as a whole did not look like
    // the type's values (random bytes read as binary numbers).
    std::optional<schema::OracleType> closest;
    std::uint64_t closest_explained = 0;
    bool closest_unlike = false;

    // "1,204 values: 100 % NUMBER, 0 NULL"; "98 % NUMBER, 2 % not
    // (damaged?)" when some fail; "all 57 values NULL: type unknown, kept
    // as RAW"; "100 % RAW, 0 NULL (at most 80 % NUMBER)" when nothing
    // explained enough; "100 % RAW, 0 NULL (100 % read as BINARY_DOUBLE,
    // but unlike its values)" when values read as a type that the column
    // did not look like.
    std::string text() const;
};

struct InferredColumn {
    schema::Column column;  // named "C1".."Cn", its comment the evidence's text
    Evidence evidence;
};

// One column for each position of the widest row.
std::vector<InferredColumn> decide(const ObjectStats& stats);

// The table of a data object (of table `cluster->table_number` of a
// cluster): "OBJ_74570", or "OBJ_74570_T2", with the inferred columns.
schema::Table inferred_table(std::uint32_t data_object, std::optional<schema::ClusterPlacement> cluster,
                             const ObjectStats& stats);

}  // namespace infer
