// Writes whole rows into their tables' CSV files (RFC 4180, UTF-8, lines
// ending in CR LF): a header of the column names, ROWID and, for a
// partitioned table, PARTITION; then a line per row, its values written for
// loading, NULL as an empty field. Live rows go to OWNER.TABLE.csv, deleted
// ones to OWNER.TABLE.deleted.csv, stale copies to OWNER.TABLE.stale.csv.
#pragma once

#include <cstddef>
#include <span>
#include <cstdint>
#include <string_view>
#include <vector>

#include "rows/row_reader.h"
#include "unload/summary.h"
#include "unload/table_files.h"
#include "unload/unload_plan.h"

namespace unload {

// What a row's line says besides its values, and how the row is counted.
struct RowFacts {
    std::uint32_t object_id = 0;  // the data object number of its head's block
    PieceAt head;
    bool has_rowid = false;  // a directory slot points at its head
    bool deleted = false;
    bool reassembled = false;  // read from several pieces
    bool complete = true;
};
RowFacts facts_of(const Row& row);

// The file a row goes to.
RowKind row_kind(const RowFacts& row);

// The header line of a table's files.
std::string csv_header(const UnloadTable& table);

// A row's values in storage order: joined from its pieces...
struct JoinedValues {
    std::span<const ColumnValue> values;
    std::size_t size() const { return values.size(); }
    ColumnValue operator[](std::size_t i) const { return values[i]; }
};
// ... or the columns of the one piece that holds the whole row, read in
// its block as they are written.
struct PieceValues {
    const BlockView& block;
    std::span<const ColumnRecord> columns;
    std::size_t size() const { return columns.size(); }
    ColumnValue operator[](std::size_t i) const { return ColumnValue::of(block, columns[i]); }
};

class UnloadWriter {
public:
    // The plan's tables are all added to `files`, three files each.
    UnloadWriter(const UnloadPlan& plan, TableFiles& files, UnloadSummary& summary);

    // Adds the tables the plan has been given since (the inferred ones).
    void add_tables();

    // Writes the row to its table's file of its kind, and counts it; false
    // when the file cannot be written (the files say why).
    bool write(const RowFacts& row, const JoinedValues& values, const RowTarget& target);
    bool write(const RowFacts& row, const PieceValues& values, const RowTarget& target);
    bool write(const Row& row, const RowTarget& target) { return write(facts_of(row), JoinedValues{row.values}, target); }
    // Gives every table that has rows of any kind its main file, a header
    // alone when all its rows are deleted or stale.
    bool complete_tables();

    // The file of a table and kind, as the files number it.
    std::size_t file_of(std::size_t table, RowKind kind) const
    {
        return first_file_ + table * kRowKinds + static_cast<std::size_t>(kind);
    }
    // Whether a value written into that file holds a line psql's \copy
    // would take for the end of the data (binary_copy.h).
    bool needs_binary_copy(std::size_t table, RowKind kind) const
    {
        return holds_end_line_[file_of(table, kind) - first_file_];
    }

private:
    OpenFile* open(std::size_t table, RowKind kind);
    template <class Values>
    bool write_row(const RowFacts& row, const Values& values, const RowTarget& target);
    char* put_rowid(char* out, const RowFacts& row);
    // What writing a column's values needs, kept together for the loop over a row's columns.
    struct ColumnWriting {
        std::uint32_t stored_index;
        bool quoted;
        ValueRoom room;
        LoadWriter write;
        LoadColumn load;
    };

    const UnloadPlan& plan_;
    TableFiles& files_;
    UnloadSummary& summary_;
    std::size_t first_file_ = 0;
    std::size_t tables_ = 0;  // the plan's tables added to the files
    std::vector<std::vector<ColumnWriting>> columns_;  // by table
    std::vector<bool> holds_end_line_;                 // by file, from the first
    // The file last opened: rows mostly go to the file of the row before.
    // Only open() opens files, so it stays open until open() is called
    // for another.
    std::size_t last_file_ = 0;
    OpenFile* last_open_ = nullptr;
    // The rowid text of the block of the row before, but for its slot.
    struct RowidBlock {
        std::uint32_t object = 0;
        std::uint32_t file = 0;
        std::int64_t block = -1;
        bool operator==(const RowidBlock&) const = default;
    };
    RowidBlock rowid_block_;
    char rowid_text_[kRowidTextSize] = {};
};

// Writes `text` as one CSV field: quoted, quotes doubled, when it holds a
// comma, a quote, CR or LF.
void put_csv_field(OpenFile& out, std::string_view text);

}  // namespace unload
