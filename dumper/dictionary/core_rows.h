// The rows of OBJ$, TAB$, COL$ and USER$ as the dictionary reader keeps
// them: only the fields it needs, found by column name in the tables'
// statements (their column lists differ between versions). A row whose
// needed fields are missing or are no whole numbers is passed over and
// counted.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "dictionary/bootstrap.h"
#include "dictionary/dictionary.h"
#include "rows/row_reader.h"
#include "schema/schema.h"

namespace dictionary {

struct ObjectRow {
    std::uint32_t object = 0;
    std::optional<std::uint32_t> data_object;
    std::uint32_t owner = 0;
    std::string name;
    std::string subname;
    std::uint32_t type = 0;
};

struct TableRow {
    std::uint32_t object = 0;
    std::optional<std::uint32_t> data_object;
    std::optional<std::uint32_t> cluster;        // BOBJ#
    std::optional<std::uint32_t> cluster_table;  // TAB#
    std::optional<std::uint32_t> key_columns;    // CLUCOLS
    std::optional<std::uint32_t> columns;        // INTCOLS: every column, hidden ones included
    std::uint64_t property = 0;
    std::optional<std::uint32_t> file;   // FILE#, BLOCK#: the segment header
    std::optional<std::uint32_t> block;
};

// What reading one table's rows gave: the rows kept; those passed over,
// a field they need being NULL or unreadable; and those kept with a field
// they can do without taken as NULL, its value being no whole number.
template <typename T>
struct CoreRows {
    std::vector<T> rows;
    std::uint64_t passed_over = 0;
    std::uint64_t odd_rows = 0;

    void add(T&& row) { rows.push_back(std::move(row)); }
    std::uint64_t read() const { return rows.size(); }
};

// The same for COL$, whose columns are kept by the object number of their
// table as they are read (in the order read): it is by far the largest of
// these tables.
struct ColumnRows {
    std::unordered_map<std::uint32_t, std::vector<schema::Column>> by_object;
    std::uint64_t rows = 0;
    std::uint64_t passed_over = 0;
    std::uint64_t odd_rows = 0;

    void add(std::pair<std::uint32_t, schema::Column>&& column)
    {
        ++rows;
        by_object[column.first].push_back(std::move(column.second));
    }
    std::uint64_t read() const { return rows; }
};

using RowHandler = std::function<void(const Row&)>;

// The handler that reads the table's rows into `out`; none, with why in
// `error`, when its statement lacks a column the reader needs.
std::optional<RowHandler> object_rows(const CoreTable& table, CoreRows<ObjectRow>& out, std::string& error);
std::optional<RowHandler> table_rows(const CoreTable& table, CoreRows<TableRow>& out, std::string& error);
std::optional<RowHandler> column_rows(const CoreTable& table, ColumnRows& out, std::string& error);
std::optional<RowHandler> user_rows(const CoreTable& table, CoreRows<User>& out, std::string& error);

}  // namespace dictionary
