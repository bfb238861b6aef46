// What an unload found, counted as it writes: per table its rows, deleted
// and stale rows, rows reassembled from several pieces, incomplete ones,
// values not decoded, the blocks its rows came from, damaged blocks and
// lost ones; per data object its blocks and rows; and over the run the
// blocks read, the damaged and lost ones, the orphan pieces and the files
// cut short. Written as summary.json, and as a table for standard error.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "read/data_file.h"
#include "unload/block_accounting.h"
#include "unload/evidence.h"
#include "unload/unload_plan.h"

namespace unload {

// The last file an unload writes: its presence says the unload is complete.
constexpr std::string_view kSummaryFile = "summary.json";

// A LOB value of which some pages were not found: written with those found.
struct IncompleteLob {
    std::string rowid;  // empty for a stale copy, which has none
    std::string column;
    std::uint64_t pages_found = 0;
    std::uint64_t pages_expected = 0;
};
// The incomplete LOB values a table's summary lists, at most; it counts
// them all.
constexpr std::size_t kIncompleteLobsListed = 1000;

struct TableCounts {
    std::uint64_t rows = 0;         // live rows
    std::uint64_t deleted = 0;
    std::uint64_t stale = 0;
    std::uint64_t reassembled = 0;  // rows of several pieces, of any kind
    std::uint64_t incomplete = 0;   // rows a piece of which was missing or cut short
    std::uint64_t not_decoded = 0;  // values written as bytes
    std::uint64_t hidden = 0;       // lines of the Hidden file: rows storing a hidden or unused column's value
    // Values a loaded table's column does not hold as written, kept as
    // text (value_facts::kSqliteKeepsText, kPostgresKeepsText).
    std::uint64_t kept_as_text_sqlite = 0;
    std::uint64_t kept_as_text_postgres = 0;
    // CLOB, NCLOB and BLOB values written with their value (in the row or
    // apart from it, whole or not), and those of them with pages missing.
    std::uint64_t lobs_read = 0;
    std::uint64_t lobs_incomplete = 0;
    std::vector<IncompleteLob> incomplete_lobs{};  // the first kIncompleteLobsListed

    std::uint64_t all_rows() const { return rows + deleted + stale; }
    TableCounts& operator+=(const TableCounts& more);
};

struct ObjectCounts {
    std::uint64_t blocks = 0;
    std::uint64_t damaged_blocks = 0;  // failing the checks of --verify
    std::uint64_t rows = 0;            // of every kind
    std::uint64_t deleted = 0;
    std::uint64_t stale = 0;
    // Compressed blocks and those of hybrid columnar units: their rows are not decoded.
    std::uint64_t compressed_blocks = 0;

    std::uint64_t live() const { return rows - deleted - stale; }
    ObjectCounts& operator+=(const ObjectCounts& more);
};

// A data file that ends before the block its header counts last.
struct CutFile {
    std::string path;
    std::uint64_t blocks = 0;          // by its header, block 0 included
    std::uint64_t header_count = 0;    // what its header says
    std::uint64_t missing_blocks = 0;  // whole blocks not there
};

struct UnloadSummary {
    std::vector<TableCounts> tables;                // by the plan's table number
    std::map<std::uint32_t, ObjectCounts> objects;  // every data object of the data blocks read
    std::uint64_t blocks_read = 0;
    std::uint64_t blocks_damaged = 0;
    std::uint64_t orphans = 0;  // pieces no head reaches: not rows
    std::uint64_t blocks_encrypted = 0;  // probably of an encrypted tablespace: not decoded
    // By the plan's table number (none for an inferred table); empty
    // when no table's blocks were accounted for.
    std::vector<TableLoss> losses;
    std::uint64_t blocks_lost = 0;  // each once, however many tables share it
    std::uint64_t unaccounted_segments = 0;
    std::vector<CutFile> cut_files;

    // Adds what a range of the blocks read counted of its tables, its
    // objects and its blocks.
    void add_range(const UnloadSummary& range);

    // The blocks of the table's data objects read, and the damaged ones.
    std::uint64_t blocks(const UnloadTable& table) const;
    std::uint64_t damaged_blocks(const UnloadTable& table) const;
    // Its compressed blocks, not decoded.
    std::uint64_t compressed_blocks(const UnloadTable& table) const;
    // Something was not decoded: compressed or encrypted blocks, or the
    // values of columns of a type this tool does not decode.
    bool anything_not_decoded(const UnloadPlan& plan) const;
    const TableLoss& loss(std::size_t table) const;
    // Every block read sound, every row whole and decoded, nothing lost
    // and nothing left undecoded.
    bool sound(const UnloadPlan& plan) const;
};

// The columns of the table whose type this tool does not decode (a type
// number no release it knows gives, such as 23ai's VECTOR): written as
// hexadecimal and counted as not decoded.
std::vector<const OutputColumn*> undecoded_type_columns(const UnloadTable& table);

// {"run", "inputs" (evidence.h), "tables": [{"owner", "table", "dropped",
// "rows", "deleted", "stale", "hidden", "reassembled", "incomplete",
// "not_decoded", "kept_as_text": {"sqlite", "postgres"}, "blocks",
// "damaged_blocks", "lost_blocks", "compressed_blocks", "types_not_decoded":
// [{"column", "type"}], "files", "sqlite", "postgres", "columns_unknown"}],
// "unknown_objects": [{"data_object", "blocks", "rows", "live_rows",
// "deleted_rows", "stale_rows"}], "blocks_read", "blocks_damaged",
// "blocks_lost", "orphans", "blocks_encrypted", "cut_short_files": [{"file",
// "blocks", "missing_blocks"}]}: every table of the plan; the data objects
// the schema does not describe ("rows": those of every kind). A table's
// "rows" are its live rows; "lost_places" after "lost_blocks" names the
// first of them, "blocks_unaccounted_for" why some of its blocks could not
// be accounted for, "without_rows" what its blocks were when none held its
// rows. A table's owner and name are
// valid_utf8's, with "owner_hex" and "table_hex" (their exact bytes) after
// them when they are not plain text; "files" maps each kind of rows
// written ("rows", "deleted", "stale", "hidden", and "undecoded" for the
// values not decoded) to its file, and "control" to the
// control file, "binary_copies" each kind that has one to it, and "sqlite"
// and "postgres" each kind to its loaded table ("postgres" gives the
// "schema" first); "dropped" says only deleted dictionary rows describe the
// table; "hidden" counts the lines of its Hidden file; "columns_unknown"
// names the columns its schema does not describe (COL<n>, typed by
// inference); "renamed_columns" lists the columns whose loaded names
// differ from theirs (and those added beside them, $zone and $text, whose
// names are not the column's and the suffix); "kept_as_text" counts the
// values each database's table does not hold as written, kept as text.
// The file, when it is cut short.
std::optional<CutFile> cut_file_of(DataFile& file);

// "users01.dbf is cut short: 13 of 104 blocks missing (the file header
// gives 103 blocks after block 0)", the path as it is.
std::string cut_short_text(const CutFile& file);

std::string summary_json(const UnloadPlan& plan, const UnloadSummary& summary, const WrittenFiles& written,
                         const RunEvidence& evidence);

// The same for a reader: a line per table that has rows or lost blocks,
// the tables without rows by name (the first few), the tables' lost
// places, then the totals, the tables whose columns were completed from
// their rows, and the data objects the schema does not describe.
std::string summary_table(const UnloadPlan& plan, const UnloadSummary& summary);

}  // namespace unload
