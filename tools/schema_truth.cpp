#include "schema_truth.h"

#include "format/dictionary_format.h"
#include "schema/oracle_types.h"

namespace datafile {

namespace {

using namespace dictionary;

schema::Column column_of(const ColumnDef& def, const ColumnNumbers& numbers)
{
    schema::Column column;
    column.name = def.name;
    column.type = schema::type_from_code(def.type, def.charset_form, def.scale);
    column.type_code = def.type;
    column.length = def.length;
    column.precision = def.precision;
    // A FLOAT keeps its binary precision and no scale.
    if (column.type != schema::OracleType::Float) column.scale = def.scale;
    column.char_semantics = (def.property & kColumnCharLength) != 0 || def.charset_form == kCharsetFormNational;
    column.charset_id = def.charset_id;
    column.charset_form = static_cast<schema::CharsetForm>(def.charset_form);
    // COL$ keeps the length in bytes; without a character length, as many
    // characters as the widest character of the set allows.
    if (column.char_semantics)
        column.char_length = def.char_length.value_or(
            def.length / schema::max_character_bytes(column.charset_id, column.charset_form));
    column.nullable = def.nullable;
    column.column_number = numbers.col;
    column.segment_column = numbers.segcol;
    column.internal_column = numbers.intcol;
    column.hidden = def.hidden();
    column.is_virtual = !def.stored();
    column.unused = (def.property & kColumnUnused) != 0;
    return column;
}

const ClusterDef* cluster_of(const Database& database, const TableDef& table)
{
    if (!table.cluster) return nullptr;
    for (const ClusterDef& cluster : database.clusters)
        if (cluster.object_id == table.cluster->cluster_object) return &cluster;
    return nullptr;
}

// The header of the segment of `data_object`, when the database is built.
std::optional<schema::SegmentHeader> segment_header(const BuiltDatabase* built, std::uint32_t data_object)
{
    if (built == nullptr) return std::nullopt;
    for (const SegmentTruth& segment : built->segments)
        if (segment.data_object == data_object) return schema::SegmentHeader{segment.header.file, segment.header.block};
    return std::nullopt;
}

schema::Table table_of(const Database& database, const TableDef& def, const BuiltDatabase* built)
{
    schema::Table table;
    table.owner = def.owner;
    table.name = def.name;
    table.object_number = def.object_id;
    table.dropped = def.dropped;
    if (def.partitions.empty()) {
        table.data_object = def.data_object_id;
        table.segment = segment_header(built, def.data_object_id);
    }
    for (const PartitionDef& partition : def.partitions)
        if (!partition.dropped)
            table.partitions.push_back({partition.name, partition.data_object_id, partition.object_id,
                                        segment_header(built, partition.data_object_id)});
    if (const ClusterDef* cluster = cluster_of(database, def))
        table.cluster = schema::ClusterPlacement{cluster->object_id, def.cluster->table,
                                                 static_cast<std::uint32_t>(cluster->key.size())};
    const std::vector<ColumnNumbers> numbers = def.numbers();
    for (std::size_t i = 0; i < def.columns.size(); ++i) table.columns.push_back(column_of(def.columns[i], numbers[i]));
    return table;
}

}  // namespace

schema::Schema schema_of(const Database& database, const BuiltDatabase* built)
{
    schema::Schema schema;
    schema.database_charset = std::string(schema::charset_name(database.charset_id));
    schema.national_charset = std::string(schema::charset_name(database.national_charset_id));
    for (const TableDef& table : database.tables) {
        schema.tables.push_back(table_of(database, table, built));
        // Partitions dropped from a table: a dropped table of their own, with its columns.
        schema::Table dropped = schema.tables.back();
        dropped.partitions.clear();
        dropped.dropped = true;
        for (const PartitionDef& partition : table.partitions)
            if (partition.dropped)
                dropped.partitions.push_back({partition.name, partition.data_object_id, partition.object_id,
                                              segment_header(built, partition.data_object_id)});
        if (!dropped.partitions.empty()) schema.tables.push_back(std::move(dropped));
    }
    return schema;
}

}  // namespace datafile
