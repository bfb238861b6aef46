// What an unload found, counted as it writes: per table its rows, deleted
// and stale rows, rows reassembled from several pieces, incomplete ones,
// values not decoded, and damaged blocks; per data object its blocks and
// rows; and over the run the blocks read, the damaged ones and the orphan
// pieces. Written as summary.json, and as a table for standard error.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "unload/unload_plan.h"

namespace unload {

// The last file an unload writes: its presence says the unload is complete.
constexpr std::string_view kSummaryFile = "summary.json";

struct TableCounts {
    std::uint64_t rows = 0;         // live rows
    std::uint64_t deleted = 0;
    std::uint64_t stale = 0;
    std::uint64_t reassembled = 0;  // rows of several pieces, of any kind
    std::uint64_t incomplete = 0;   // rows a piece of which was missing or cut short
    std::uint64_t not_decoded = 0;  // values written as bytes

    std::uint64_t all_rows() const { return rows + deleted + stale; }
};

struct ObjectCounts {
    std::uint64_t blocks = 0;
    std::uint64_t damaged_blocks = 0;  // failing the checks of --verify
    std::uint64_t rows = 0;            // of every kind
    // Compressed blocks and those of hybrid columnar units: their rows are not decoded.
    std::uint64_t compressed_blocks = 0;
};

struct UnloadSummary {
    std::vector<TableCounts> tables;                // by the plan's table number
    std::map<std::uint32_t, ObjectCounts> objects;  // every data object of the data blocks read
    std::uint64_t blocks_read = 0;
    std::uint64_t blocks_damaged = 0;
    std::uint64_t orphans = 0;  // pieces no head reaches: not rows
    std::uint64_t blocks_encrypted = 0;  // probably of an encrypted tablespace: not decoded

    // The damaged blocks of the table's data objects.
    std::uint64_t damaged_blocks(const UnloadTable& table) const;
    // Its compressed blocks, not decoded.
    std::uint64_t compressed_blocks(const UnloadTable& table) const;
    // Something was not decoded: compressed or encrypted blocks, or the
    // values of columns of a type this tool does not decode.
    bool anything_not_decoded(const UnloadPlan& plan) const;
};

// The columns of the table whose type this tool does not decode (a type
// number no release it knows gives, such as 23ai's VECTOR): written as
// hexadecimal and counted as not decoded.
std::vector<const OutputColumn*> undecoded_type_columns(const UnloadTable& table);

// {"tables": [{"owner", "table", "rows", "deleted", "stale", "reassembled",
// "incomplete", "not_decoded", "damaged_blocks", "compressed_blocks",
// "types_not_decoded": [{"column", "type"}], "files", "sqlite",
// "postgres"}], "unknown_objects": [{"data_object", "blocks", "rows"}],
// "blocks_read", "blocks_damaged", "orphans", "blocks_encrypted"}: every
// table of the plan; the data objects the schema does not describe. A
// table's owner and name are
// valid_utf8's, with "owner_hex" and "table_hex" (their exact bytes) after
// them when they are not plain text; "files" maps each kind of rows
// written ("rows", "deleted", "stale") to its file, and "control" to the
// control file, "binary_copies" each kind that has one to it, and "sqlite"
// and "postgres" each kind to its loaded table ("postgres" gives the
// "schema" first); "renamed_columns" lists the columns whose loaded names
// differ from theirs.
std::string summary_json(const UnloadPlan& plan, const UnloadSummary& summary, const WrittenFiles& written);

// The same for a reader: a line per table that has rows, then the totals
// and the data objects the schema does not describe.
std::string summary_table(const UnloadPlan& plan, const UnloadSummary& summary);

}  // namespace unload
