// Writes whole rows into their tables' CSV files (RFC 4180, UTF-8, lines
// ending in CR LF): a header of the column names, ROWID and, for a
// partitioned table, PARTITION; then a line per row, its values written for
// loading, NULL as an empty field. Live rows go to OWNER.TABLE.csv, deleted
// ones to OWNER.TABLE.deleted.csv, stale copies to OWNER.TABLE.stale.csv.
// The values of hidden and unused columns go, for each row of any kind that
// stores one, to a line of OWNER.TABLE.hidden.csv: ROWID (empty for a
// stale copy, which has none), the values, ROW_KIND ("live", "deleted",
// "stale"), and PARTITION for a partitioned table, in the order the rows'
// own lines are written.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "rows/row_reader.h"
#include "unload/summary.h"
#include "unload/lob_files.h"
#include "unload/lob_pages.h"
#include "unload/lob_value.h"
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
    std::uint32_t offset = 0;  // of its head piece in its block
};
RowFacts facts_of(const Row& row);

// The file a row goes to.
RowKind row_kind(const RowFacts& row);

// The header line of a table's file of a kind, and of its file of values
// not decoded.
std::string csv_header(const UnloadTable& table, RowKind kind);
std::string undecoded_header();

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

// The fields of a table's file of values not decoded, a line per value:
// the line's file (its kind: rows, deleted, stale, hidden) and its record in it (1
// for the first after the header), its rowid, the column and the CSV field
// it is in, the value's bytes in hexadecimal and why it was not decoded.
struct UndecodedField {
    std::string_view name;
    bool number;
};
constexpr UndecodedField kUndecodedFields[] = {{"KIND", false},  {"RECORD", true}, {"ROWID", false},
                                               {"COLUMN", false}, {"FIELD", true},  {"BYTES", false},
                                               {"REASON", false}};

// Why a value was not decoded, as its undecoded file says it.
std::string undecoded_reason(const OutputColumn& column, const ColumnValue& value, ValueNote note);

class UnloadWriter {
public:
    // Into the unload's files, or into files in memory for the rows of one
    // range of blocks: those have no header, and their lines of values not
    // decoded wait for their records' numbers until they are appended.
    enum class Writes : std::uint8_t { Files, Range };

    // The plan's tables are all added to `files`: a file of each kind of
    // rows each, and one of their values not decoded.
    UnloadWriter(const UnloadPlan& plan, TableFiles& files, UnloadSummary& summary, Writes writes = Writes::Files);

    // Adds the tables the plan has been given since (the inferred ones).
    void add_tables();
    // Reads the LOB values stored apart from their rows through `pages`
    // (kept by the caller); without, their locators are written.
    void read_lobs_with(LobPages* pages) { lob_values_ = LobValueReader(pages); }
    // The map of LOB pages it reads through, for the writers of ranges.
    const LobPageMap* lob_map() const
    {
        return lob_values_.pages() != nullptr ? &lob_values_.pages()->map() : nullptr;
    }
    // The directory its files are written in.
    const std::string& directory() const { return files_.directory(); }
    // Writes each LOB value of length above 0 that is read into a file of
    // its own under `directory` (the unload's), and its path into the CSV
    // field (lob_files.h); written straight there by the writer of a range too.
    void write_lob_files(const std::string& directory);
    // The unload directory LOB files are written under; empty without.
    const std::string& lob_directory() const { return lob_directory_; }

    // Writes the row to its table's file of its kind, and counts it; false
    // when the file cannot be written (the files say why).
    bool write(const RowFacts& row, const JoinedValues& values, const RowTarget& target);
    bool write(const RowFacts& row, const PieceValues& values, const RowTarget& target);
    bool write(const Row& row, const RowTarget& target) { return write(facts_of(row), JoinedValues{row.values}, target); }
    // Gives every table that has rows of any kind its main file, a header
    // alone when all its rows are deleted or stale.
    bool complete_tables();
    // Forgets what was written of a table (its files, its counts), and
    // takes the columns the plan has since given it, to write it anew.
    void restart_table(std::size_t table);

    // The file of a table and kind, as the files number it (a range's
    // writer numbers only those of the tables it wrote rows of).
    std::size_t file_of(std::size_t table, RowKind kind) const
    {
        return state(table).first_file + static_cast<std::size_t>(kind);
    }
    std::size_t undecoded_file_of(std::size_t table) const { return state(table).first_file + kRowKinds; }
    // Whether a value written into that file holds a line psql's \copy
    // would take for the end of the data (binary_copy.h).
    bool needs_binary_copy(std::size_t table, RowKind kind) const
    {
        return state(table).holds_end_line[static_cast<std::size_t>(kind)];
    }
    // What was written of each table, once its files are complete.
    WrittenFiles written() const;

    // Writes after the rows written so far those a writer of a range wrote
    // (into `range_files`), and takes what it noted of their values and its
    // counts of their tables (the range's summary holds none: its other
    // counts are the caller's to add). False when a file cannot be written.
    bool append(const UnloadWriter& range, const TableFiles& range_files);
    // A writer of a range: forgets what it wrote, its counts of the tables
    // written and all it held of them, to write another range. What it
    // holds is of the tables a range writes rows of, not of every table of
    // the plan: the workers' writers are many, and a damaged or
    // undescribed file makes thousands of tables.
    void clear_range();
    // The file of a table's rows of a kind, and of its values not decoded,
    // opened to append another shard's part of it (shard_part.h); nullptr
    // when it cannot be written.
    OpenFile* output(std::size_t table, RowKind kind) { return open(table, kind); }
    OpenFile* undecoded_output(std::size_t table)
    {
        return open_file(table, undecoded_file_of(table), RowKind::Live, true);
    }
    // Takes what a part noted of the table's values, as append() takes a range's.
    void take_written(std::size_t table, const TableWritten& part);

private:
    // What writing a column's values needs, kept together for the loop over a row's columns.
    struct ColumnWriting {
        std::uint32_t stored_index;
        bool quoted;
        bool zone;            // a second field, the zone's
        std::uint32_t field;  // its first field's number in a record of its file, from 1
        std::uint32_t column;  // its place among the table's columns (or its hidden ones)
        ValueRoom room;
        LoadWriter write;
        LoadColumn load;
        std::optional<schema::LobStorage> lob;  // a LOB column's, when known
    };
    // The file a line is written to: its table's, of a kind.
    struct FileAt {
        std::size_t table;
        RowKind kind;
    };
    // A value whose facts or note the loaders need.
    struct NotedValue {
        std::size_t column;  // as ColumnWriting's
        std::uint32_t field;
        ColumnValue value;
        WrittenValue written;
    };
    // What the writer holds of one table. Its columns' writing is taken
    // when its first row is written, so that a plan of thousands of tables
    // costs each writer only the writing of those it writes rows of.
    struct TableState {
        std::size_t first_file = 0;  // of its live rows, those of its other kinds after it
        bool columns_taken = false;  // columns and hidden_columns hold its columns' writing
        std::vector<ColumnWriting> columns;
        std::vector<ColumnWriting> hidden_columns;
        std::vector<ColumnWritten> facts;         // by column
        std::vector<ColumnWritten> hidden_facts;  // by hidden column
        std::array<bool, kRowKinds> holds_end_line{};  // by kind
    };
    // By table: the writer of the unload's files holds every table's; a
    // range's writer only those of the tables it wrote rows of.
    TableState& state(std::size_t table) { return states_[writes_ == Writes::Range ? slots_[table] : table]; }
    const TableState& state(std::size_t table) const
    {
        return states_[writes_ == Writes::Range ? slots_[table] : table];
    }
    // The table's state, its files and columns' writing taken, to write a row of it.
    TableState& writing(std::size_t table);
    TableCounts& counts(std::size_t table)
    {
        return writes_ == Writes::Range ? range_counts_[slots_[table]] : summary_.tables[table];
    }
    static constexpr std::uint32_t kNoSlot = UINT32_MAX;
    static void take_facts(std::vector<ColumnWritten>& facts, const std::vector<ColumnWritten>& more);
    static std::vector<ColumnWriting> writing_of(const std::vector<OutputColumn>& columns, std::uint32_t first_field);
    static std::size_t fields_of(std::span<const ColumnWriting> columns);
    void take_facts_of(std::size_t table);
    void add_files(TableState& state, const UnloadTable& table);
    OpenFile* open(std::size_t table, RowKind kind);
    OpenFile* open_file(std::size_t table, std::size_t file, RowKind kind, bool undecoded);
    template <class Values>
    bool write_row(const RowFacts& row, const Values& values, const RowTarget& target);
    template <class Values>
    bool write_hidden(const RowFacts& row, RowKind kind, const Values& values, const RowTarget& target,
                      std::uint64_t& not_decoded);
    // The values of `columns`, apart by commas, from `end` on in the room
    // claimed of `out` (claimed anew with `tail` to spare when a value
    // needs more); returns the end of what was written.
    template <class Values>
    char* put_values(OpenFile& out, char* end, std::span<const ColumnWriting> columns, const Values& values,
                     std::size_t tail, const FileAt& at, const RowFacts& row, std::uint64_t& not_decoded);
    // A LOB value the row does not hold, or holds in a form the column's
    // writer does not read, written page by page into `out` from `end` on;
    // what was written (its end with `tail` to spare). nullopt for a value
    // the column's writer writes.
    std::optional<WrittenValue> put_lob(OpenFile& out, char* end, const ColumnWriting& column,
                                        const ColumnValue& value, std::size_t tail, const FileAt& at,
                                        const RowFacts& row);
    // The text of the pieces of the value found (lob_values_) to
    // be written as a field: whether it is text, needs quotes, or holds
    // psql's end line.
    struct LobText {
        bool text = true;
        bool quoted = false;
        bool end_line = false;
    };
    template <class Pages>
    LobText weigh_lob_text(const ColumnWriting& column, std::size_t count, const Pages& pages);
    // The pages' value written to its file, its path to `out` from `end` on.
    template <class Pages>
    WrittenValue put_lob_file(OpenFile& out, char* end, const ColumnWriting& column, std::size_t count,
                              const Pages& pages, const FileAt& at, const RowFacts& row, std::size_t tail);
    template <class Pages>
    char* stream_lob(OpenFile& out, char* end, const ColumnWriting& column, std::size_t count, const Pages& pages,
                     const LobText& text, std::size_t tail);
    // Whether the column's text is 2-byte Unicode stored little-endian.
    static bool lob_little_endian(const ColumnWriting& column);
    void note_incomplete_lob(const FileAt& at, const RowFacts& row, const ColumnWriting& column, const LobFound& found);
    void note_value(const FileAt& at, const NotedValue& noted);
    bool write_undecoded(std::size_t table, const RowFacts& row, RowKind kind, std::uint64_t record);
    bool append_undecoded(std::size_t table, const UnloadWriter& range, const TableFiles& range_files);
    char* put_rowid(char* out, const RowFacts& row);

    const UnloadPlan& plan_;
    TableFiles& files_;
    UnloadSummary& summary_;
    Writes writes_;
    // A range's lines of values not decoded, written without their kind
    // and record: where each ends in its table's file in memory.
    struct WaitingLine {
        std::size_t table;
        RowKind kind;
        std::uint64_t record;  // in the range's count of its kind
        std::size_t end;
    };
    std::vector<WaitingLine> waiting_lines_;
    // The tables a range wrote rows of, in the order of their states.
    std::vector<std::size_t> touched_;
    LobValueReader lob_values_;
    std::string lob_directory_;
    std::optional<LobFileWriter> lob_files_;
    std::vector<char> lob_text_;  // a page's text, converted
    std::size_t tables_ = 0;  // the plan's tables added to the files
    std::vector<TableState> states_;
    // A range's writer: by table, its state's number (kNoSlot until it
    // writes a row of it); and by state, its counts.
    std::vector<std::uint32_t> slots_;
    std::vector<TableCounts> range_counts_;
    // The state writing() gave last: rows mostly go to the table of the row
    // before. Forgotten whenever states_ may move.
    std::size_t last_table_ = SIZE_MAX;
    TableState* last_state_ = nullptr;
    std::vector<NotedValue> undecoded_;                       // of the line being written
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
