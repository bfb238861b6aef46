// What an unload writes, decided before the rows are read: the tables of
// the schema (and those inferred for the objects it does not describe),
// the files each one gets, its columns in the order they are written and
// how each is written, and which table (and partition) the rows of each
// data object belong to.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "schema/schema.h"
#include "unload/block_accounting.h"
#include "unload/load_values.h"
#include "unload/table_names.h"

namespace unload {

struct OutputColumn {
    schema::Column column;
    std::uint32_t stored_index = 0;  // the value's place in a row: SEGCOL# - 1
    LoadColumn load;
    ColumnNames names;  // in the places the table goes to
};

struct UnloadTable {
    std::string owner;  // empty when not known
    std::string name;
    TableNames names;  // of its files and its loaded tables
    // In COL# order; hidden and unused columns, and those a row does not
    // store (virtual ones), are left out. A table whose columns were
    // completed from its rows has them in storage order, those its schema
    // does not describe named COL<n>.
    std::vector<OutputColumn> columns;
    // The hidden and unused columns a row stores, in storage order: their
    // values go to the table's Hidden file.
    std::vector<OutputColumn> hidden_columns;
    bool partitioned = false;
    bool inferred = false;
    bool dropped = false;  // only deleted dictionary rows describe it
    // Written by the pass after the first: an inferred table, or one whose
    // stored columns the schema does not all describe, which the first pass
    // samples to complete them (complete_columns) before it is written.
    bool written_later = false;
    // How many values of a row its schema's columns account for (stored_width).
    std::uint32_t stored_width = 0;
    // The names of the columns its schema does not describe, once completed.
    std::vector<std::string> columns_unknown;
    std::vector<std::uint32_t> data_objects;
    std::vector<TableSegment> segments;  // whose blocks are accounted for

    // "OWNER.TABLE", or "TABLE".
    std::string qualified_name() const;
};

// A field of a table's file of one kind, in the order the file holds it:
// one of the table's columns, or one the unload adds (kRowidField ...).
struct FileField {
    const OutputColumn* column = nullptr;
    std::string_view added;  // when column is nullptr
};
// The main files (Live, Deleted, Stale): the columns, ROWID, PARTITION
// for a partitioned table. The Hidden file: ROWID, the hidden columns,
// ROW_KIND, PARTITION for a partitioned table.
std::vector<FileField> file_fields(const UnloadTable& table, RowKind kind);

// What an unload wrote of a column of a table: the value_facts of its
// values, and whether any could not be decoded.
struct ColumnWritten {
    std::uint8_t facts = 0;
    bool undecoded = false;
};

// What an unload wrote of a table of its plan.
struct TableWritten {
    std::array<bool, kRowKinds> files{};  // its CSV file of each kind
    // The binary copy of a CSV file that holds a line psql's \copy would
    // take for the end of its data.
    std::array<bool, kRowKinds> binary_copies{};
    bool undecoded = false;  // its file of the values not decoded
    std::vector<ColumnWritten> columns;         // by the table's column; empty when it has no rows
    std::vector<ColumnWritten> hidden_columns;  // by its hidden column, the same

    bool any() const
    {
        for (bool written : files)
            if (written) return true;
        return false;
    }
};
// By the plan's table number.
using WrittenFiles = std::vector<TableWritten>;

// Where a row of a data object (and cluster table) goes.
struct RowTarget {
    std::size_t table = 0;
    std::string partition;  // the partition's name (terminal_text); empty for a table that is not partitioned
};

// The --table names: OWNER.TABLE, or TABLE for any owner; case does not
// matter. Names of tables inference will name (OBJ_<n>, OBJ_<n>_T<k>) are
// accepted before those tables exist.
class TableSelection {
public:
    TableSelection() = default;
    explicit TableSelection(std::vector<std::string> names) : names_(std::move(names)) {}

    bool all() const { return names_.empty(); }
    bool selects(const schema::Table& table) const;
    // Empty when every name is a table of `schema` or an inferred table's
    // name; else the message for the first that is not, naming the close ones.
    std::string unknown_names(const schema::Schema& schema) const;

private:
    std::vector<std::string> names_;
};

// The character sets text columns are in, made once each.
class CharsetCache {
public:
    // nullptr when no converter is known for `name`.
    const Charset* get(const std::string& name);

private:
    std::map<std::string, std::shared_ptr<const Charset>> sets_;
};

class UnloadPlan {
public:
    // `run_charset`: the database character set --charset names, for text
    // columns whose character set the schema does not give (AL32UTF8 when
    // neither does).
    explicit UnloadPlan(std::string run_charset) : run_charset_(std::move(run_charset)) {}

    // The tables of `schema`: all described, the selected ones unloaded.
    void add_schema(const schema::Schema& schema, const TableSelection& selection, bool inferred);
    // The same, letting go of each table's columns once it is planned:
    // thousands of inferred tables are not held twice.
    void add_schema(schema::Schema&& schema, const TableSelection& selection, bool inferred);

    // Whether some table of a schema added holds the rows of the object.
    bool describes(std::uint32_t data_object, std::optional<std::uint32_t> cluster_table) const;
    // Whether a schema that was not inferred describes the object.
    bool schema_describes(std::uint32_t data_object) const { return schema_objects_.count(data_object) != 0; }
    // Where such a row goes; nullptr when its table is not unloaded.
    const RowTarget* target(std::uint32_t data_object, std::optional<std::uint32_t> cluster_table) const;

    const std::vector<UnloadTable>& tables() const { return tables_; }
    // The tables, by the plan's table number, with their segments.
    std::vector<AccountedTable> accounted_tables() const;
    // Whether `data_object` is a LOB segment's, of any table of the schemas
    // added, selected or not.
    bool holds_lob_segment(std::uint32_t data_object) const { return lob_segments_.count(data_object) != 0; }

    // Gives a table whose schema does not describe all its stored columns
    // every column its rows store, up to `widest` values: those described
    // at their places, the others COL<n> typed as `inferred` (one column
    // for each place of the rows sampled, as infer::decide gives them) says;
    // the table is then written by the later pass. A table all of whose
    // places turn out described keeps its columns in COL# order.
    void complete_columns(std::size_t table, std::uint32_t widest, const std::vector<schema::Column>& inferred);

private:
    static std::uint64_t key(std::uint32_t data_object, std::optional<std::uint32_t> cluster_table);
    // `taken`: the schema itself, when its tables' columns may go once planned.
    void add_tables(const schema::Schema& schema, const TableSelection& selection, bool inferred,
                    schema::Schema* taken);
    UnloadTable table_of(const schema::Table& table, const schema::Schema& schema, bool inferred);
    LoadColumn column_form(const schema::Column& column, const schema::Schema& schema);
    LoadColumn clob_form(const schema::Column& column, const schema::Schema& schema, LoadColumn load);

    std::string run_charset_;
    // The character sets of each schema added (its tables left out), and
    // which one each table's is in: by the plan's table number.
    std::vector<schema::Schema> schema_charsets_;
    std::vector<std::size_t> schema_charsets_of_;
    CharsetCache charsets_;
    std::vector<UnloadTable> tables_;
    std::unordered_map<std::uint64_t, std::optional<RowTarget>> targets_;  // nullopt: described, not unloaded
    std::set<std::uint32_t> schema_objects_;
    std::set<std::uint32_t> lob_segments_;
    TableNamer namer_;
};

}  // namespace unload
