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

std::vector<std::uint32_t> data_object_numbers(const Table& table)
{
    std::vector<std::uint32_t> numbers;
    for (const Partition& partition : table.partitions) numbers.push_back(partition.data_object);
    if (numbers.empty() && table.data_object) numbers.push_back(*table.data_object);
    return numbers;
}

}  // namespace schema
