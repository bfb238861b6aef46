#include "dictionary/row_fields.h"

#include <algorithm>
#include <charconv>

#include "values/column_types.h"

namespace dictionary {

namespace {

const ColumnValue* value_at(const Row& row, ColumnAt at)
{
    if (!at || *at >= row.values.size() || row.values[*at].null) return nullptr;
    return &row.values[*at];
}

}  // namespace

ColumnAt column_at(const std::vector<std::string>& columns, std::string_view name)
{
    const auto found = std::find(columns.begin(), columns.end(), name);
    if (found == columns.end()) return std::nullopt;
    return static_cast<std::size_t>(found - columns.begin());
}

std::optional<std::int64_t> number_field(const Row& row, ColumnAt at, bool& bad)
{
    const ColumnValue* value = value_at(row, at);
    if (value == nullptr) return std::nullopt;
    NumberText text;
    std::int64_t number = 0;
    if (decode_number(value->bytes, text)) {
        const char* end = text.text + text.length;
        const auto [stop, error] = std::from_chars(text.text, end, number);
        if (error == std::errc() && stop == end) return number;
    }
    bad = true;
    return std::nullopt;
}

std::optional<std::string> text_field(const Row& row, ColumnAt at)
{
    const ColumnValue* value = value_at(row, at);
    if (value == nullptr) return std::nullopt;
    return std::string(value->bytes.data(), value->bytes.data() + value->bytes.size());
}

}  // namespace dictionary
