#include "schema/schema.h"

#include <algorithm>

namespace schema {

std::vector<const Column*> unload_columns(const Table& table)
{
    std::vector<const Column*> columns;
    for (const Column& column : table.columns)
        if (!column.hidden && !column.unused) columns.push_back(&column);
    std::stable_sort(columns.begin(), columns.end(), [](const Column* a, const Column* b) {
        return a->column_number < b->column_number;
    });
    return columns;
}

std::vector<const Column*> hidden_columns(const Table& table)
{
    std::vector<const Column*> columns;
    for (const Column& column : table.columns)
        if ((column.hidden || column.unused) && column.segment_column != 0 && !column.is_virtual)
            columns.push_back(&column);
    std::stable_sort(columns.begin(), columns.end(), [](const Column* a, const Column* b) {
        return a->segment_column < b->segment_column;
    });
    return columns;
}

std::string undescribed_column_name(std::uint32_t segment_column) { return "COL" + std::to_string(segment_column); }

std::uint32_t stored_width(const Table& table)
{
    std::uint32_t width = 0;
    for (const Column& column : table.columns)
        if (!column.is_virtual) width = std::max(width, column.segment_column);
    return width;
}

void complete_columns(Table& table, std::uint32_t widest, const std::vector<Column>& inferred)
{
    const std::uint32_t places = std::max(widest, stored_width(table));
    std::vector<bool> held(places, false);
    for (const Column& column : table.columns)
        if (column.segment_column != 0 && !column.is_virtual && column.segment_column <= places &&
            (column.described || column.type != OracleType::Unknown))
            held[column.segment_column - 1] = true;
    // Columns not described and of no type give way to what the rows tell.
    std::erase_if(table.columns, [&](const Column& c) {
        return !c.described && c.type == OracleType::Unknown && c.segment_column != 0 && !held[c.segment_column - 1];
    });
    for (std::uint32_t place = 0; place < places; ++place) {
        if (held[place]) continue;
        Column column = place < inferred.size() ? inferred[place] : Column{};
        column.name = undescribed_column_name(place + 1);
        column.segment_column = place + 1;
        column.internal_column = 0;
        column.column_number = 0;
        column.hidden = column.unused = column.is_virtual = false;
        column.described = false;
        table.columns.push_back(std::move(column));
    }
    std::stable_sort(table.columns.begin(), table.columns.end(), [](const Column& a, const Column& b) {
        return std::pair(a.segment_column == 0, a.segment_column) < std::pair(b.segment_column == 0, b.segment_column);
    });
}

bool short_of_columns(const Table& table)
{
    return table.columns_missing || stored_width(table) == 0 ||
           std::any_of(table.columns.begin(), table.columns.end(), [](const Column& c) { return !c.described; });
}

std::vector<std::uint32_t> data_object_numbers(const Table& table)
{
    std::vector<std::uint32_t> numbers;
    for (const Partition& partition : table.partitions) numbers.push_back(partition.data_object);
    if (numbers.empty() && table.data_object) numbers.push_back(*table.data_object);
    return numbers;
}

}  // namespace schema
