// The values of a dictionary row by column, as the dictionary's own tables
// store them: NUMBER columns read as whole numbers, VARCHAR2 columns as
// their bytes. A value that is not there (a trailing NULL the row does not
// store, a column the table's statement does not have) is NULL.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "rows/row_reader.h"

namespace dictionary {

// A column's place in the rows of a table whose columns are `columns`, in
// storage order; none when the table has no such column.
using ColumnAt = std::optional<std::size_t>;
ColumnAt column_at(const std::vector<std::string>& columns, std::string_view name);

// A whole number held in a NUMBER value; none for NULL, and for bytes that
// are no NUMBER or hold a fraction (`bad` is then set).
std::optional<std::int64_t> number_field(const Row& row, ColumnAt at, bool& bad);
// The bytes of a value; none for NULL.
std::optional<std::string> text_field(const Row& row, ColumnAt at);

}  // namespace dictionary
