#include "dictionary/table_listing.h"

namespace dictionary {

namespace {

ObjectCount& operator+=(ObjectCount& total, const ObjectCount& more)
{
    total.blocks += more.blocks;
    total.rows += more.rows;
    return total;
}

// What the files hold of a table that is not partitioned: its data
// object's blocks and rows, or, in a cluster, those of its table there.
ObjectCount table_count(const schema::Table& table, const ObjectCensus& census)
{
    if (!table.data_object) return {};
    if (table.cluster) return census.count(*table.data_object, table.cluster->table_number);
    return census.count(*table.data_object);
}

ListedTable listed(const schema::Table& table, const ObjectCensus* census)
{
    ListedTable entry;
    entry.table = &table;
    entry.columns = schema::unload_columns(table).size();
    if (census != nullptr) entry.count = table.partitions.empty() ? table_count(table, *census) : ObjectCount{};
    for (const schema::Partition& partition : table.partitions) {
        ListedPartition part{partition.name, partition.data_object, std::nullopt};
        if (census != nullptr) {
            part.count = census->count(partition.data_object);
            *entry.count += *part.count;
        }
        entry.partitions.push_back(std::move(part));
    }
    return entry;
}

}  // namespace

TableListing list_tables(const schema::Schema& schema, const ObjectCensus* census)
{
    TableListing listing;
    listing.counted = census != nullptr;
    for (const schema::Table& table : schema.tables) listing.tables.push_back(listed(table, census));
    if (census == nullptr) return listing;
    for (const ObjectCensus::Unknown& object : census->unknown_objects()) {
        UnknownObject entry{object.data_object, object.count, {}};
        for (const schema::Table* table : object.fits) entry.fits.push_back(table->owner + "." + table->name);
        listing.unknown.push_back(std::move(entry));
    }
    return listing;
}

}  // namespace dictionary
