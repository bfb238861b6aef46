// What --list-tables lists: every table of a schema with its column count,
// and, when data files were read, the blocks and rows they hold of it and
// of each of its partitions; then the data objects found that no table
// has, with the tables their rows fit; then what tells the dictionary's
// release.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "dictionary/object_census.h"
#include "dictionary/release.h"
#include "schema/schema.h"

namespace dictionary {

struct ListedPartition {
    std::string name;
    std::uint32_t data_object = 0;
    std::optional<ObjectCount> count;  // when data files were read
};

struct ListedTable {
    const schema::Table* table = nullptr;
    std::size_t columns = 0;  // those an unload writes: not hidden, not unused
    std::optional<ObjectCount> count;  // a partitioned table's: all its partitions'
    std::vector<ListedPartition> partitions;
};

struct UnknownObject {
    std::uint32_t data_object = 0;
    ObjectCount count;
    std::vector<std::string> fits;  // OWNER.TABLE
};

struct TableListing {
    bool counted = false;  // data files were read
    std::vector<ListedTable> tables;
    std::vector<UnknownObject> unknown;
    std::optional<Release> release;  // of the dictionary listed, when it was read from one
};

// The schema's tables in its order; counted from `census` when there is one.
TableListing list_tables(const schema::Schema& schema, const ObjectCensus* census);

}  // namespace dictionary
