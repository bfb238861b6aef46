#include "system_file.h"

#include <cstdio>
#include <tuple>

#include <algorithm>
#include <deque>
#include <filesystem>
#include <initializer_list>
#include <stdexcept>
#include <string_view>
#include <utility>

#include "format/block_format.h"
#include "bootstrap_statements.h"
#include "format/dictionary_format.h"
#include "format/file_format.h"

namespace datafile {

using namespace dictionary;

namespace {

// ---------------------------------------------------------------------------
// Values

Value number(std::int64_t n) { return number_value(std::to_string(n)); }
Value text(std::string_view s) { return Bytes(s.begin(), s.end()); }
Value date(int year, int month, int day, int hour = 0, int minute = 0, int second = 0)
{
    return date_value(year, month, day, hour, minute, second);
}
Value optional_number(std::optional<std::int64_t> n) { return n ? number(*n) : Value(); }

// When the dictionary's own objects and the users' were created.
const Value kDictionaryCreated = date(2013, 8, 24, 11, 37, 0);
const Value kUsersCreated = date(2019, 3, 1, 9, 0, 0);

// ---------------------------------------------------------------------------
// Dictionary rows

// A row of `table` from values given by column name: the others are NULL,
// or a placeholder when the column is NOT NULL.
LogicalRow named_row(const TableDef& table, const std::map<std::string, Value>& named)
{
    std::size_t used = 0;
    LogicalRow row;
    for (const ColumnDef& column : table.columns) {
        const auto found = named.find(column.name);
        if (found != named.end()) {
            row.values.push_back(found->second);
            ++used;
        } else if (column.nullable) {
            row.values.push_back(std::nullopt);
        } else if (column.type == kTypeNumber) {
            row.values.push_back(number(0));
        } else if (column.type == kTypeDate || column.type == kTypeTimestamp) {
            row.values.push_back(kDictionaryCreated);  // a DATE's bytes are a TIMESTAMP's without a fraction
        } else {
            row.values.push_back(text(std::string(std::min<std::uint32_t>(column.length, 38), '-')));
        }
    }
    if (used != named.size()) throw std::invalid_argument(table.name + " lacks a column the builder fills");
    return row;
}

// The part of a clustered table's row its member row stores: all but the
// key columns.
LogicalRow member_part(const LogicalRow& row, std::size_t key_columns)
{
    LogicalRow part;
    part.values.assign(row.values.begin() + static_cast<std::ptrdiff_t>(key_columns), row.values.end());
    part.deleted = row.deleted;
    return part;
}

// Damage: every byte after the cache header flipped, so that neither the
// block's fields nor its checksum hold.
void overwrite(Bytes& block)
{
    for (std::size_t i = block_format::kCacheHeaderSize; i < block.size(); ++i) block[i] ^= 0xA5;
}

// The extent size, in blocks, of the users' segments (their first extent
// starts with the bitmap blocks and the header); the SYSTEM file's is its
// layout's.
constexpr std::uint32_t kUsersExtentBlocks = 8;
// TABPART$'s object number (any that no other object has).
constexpr std::uint32_t kTabPartObject = 568;
// LOB$'s object number, and its table number in C_OBJ# (a fresh
// database's); the OBJ$ namespace of LOB segments.
constexpr std::uint32_t kLobTableObject = 569;
constexpr std::uint8_t kLobTableNumber = 6;
constexpr std::uint16_t kNamespaceLob = 8;
// LOBFRAG$'s object number (any that no other object has).
constexpr std::uint32_t kLobFragObject = 570;
// The extents of a LOB segment after its first: large values take many blocks.
constexpr std::uint32_t kLobExtentBlocks = 1024;
// A LOB segment's OBJ$ name: SYS_LOB, the table's OBJ# in 10 digits, C,
// the column's INTCOL# in 5, $$.
std::string lob_segment_name(const TableDef& t, const LobDef& lob)
{
    std::size_t intcol = 0;
    for (std::size_t i = 0; i < t.columns.size(); ++i)
        if (t.columns[i].name == lob.column) intcol = i + 1;
    char name[64];
    std::snprintf(name, sizeof name, "SYS_LOB%010uC%05zu$$", static_cast<unsigned>(t.object_id), intcol);
    return name;
}

// Its index's: SYS_IL in place of SYS_LOB; its object the LOB's next.
std::string lob_index_name(const TableDef& t, const LobDef& lob)
{
    return "SYS_IL" + lob_segment_name(t, lob).substr(7);
}
std::uint32_t lob_index_object(const LobDef& lob) { return lob.lob_object + 1; }

// IND$'s object number and its table number in C_OBJ# (a fresh database's).
constexpr std::uint32_t kIndTableObject = kIndObject;
constexpr std::uint8_t kIndTableNumber = kIndClusterTable;

// Where the USERS file's first extent starts.
constexpr std::uint32_t kUsersFirstExtent = 16;
// The share of a block inserts leave free, in tenths (PCTFREE 10).
constexpr std::uint32_t kKeepFreeTenths = 1;

struct Segment {
    SegmentTruth truth;
    std::uint32_t extent_length = 0;
    std::size_t extent = 0;    // where the next data block is taken from
    std::uint32_t offset = 0;  // within that extent
    // The extents its header's own map holds, and each extent map block;
    // 0 for none: the header holds them all.
    std::uint32_t header_room = 0;
    std::uint32_t map_room = 0;
    // Where the high water mark lies when it is not where the next data
    // block would be taken from (a truncated table's: after the blocks
    // its new generation took), as (extent, offset).
    std::optional<std::pair<std::size_t, std::uint32_t>> mark;

    // The first block above the mark.
    std::uint32_t high_water_mark() const
    {
        const auto [at, within] = mark.value_or(std::pair{extent, offset});
        return truth.extents[at].first_block + within;
    }

    // Where the first data block lies in the first extent: after the header
    // (and the bitmap blocks before it).
    std::uint32_t first_data_offset() const
    {
        return truth.space_managed ? static_cast<std::uint32_t>(file_format::kSpaceSegmentFirstBlocks.size()) : 1;
    }
    // Whether extent `index` opens an extent map block: its first block is one.
    bool opens_map_block(std::size_t index) const
    {
        return header_room != 0 && index >= header_room && (index - header_room) % map_room == 0;
    }
    // Where data blocks start in extent `index`.
    std::uint32_t data_offset(std::size_t index) const
    {
        return index == 0 ? first_data_offset() : opens_map_block(index) ? 1 : 0;
    }
};

class DatabaseBuilder {
public:
    DatabaseBuilder(const Database& database, SystemDamage damage)
        : db_(database), damage_(damage), files_(database.block_size, database.byte_order)
    {
    }

    BuiltDatabase build();

private:
    void parse_bootstrap();
    const std::vector<BootstrapLine>& lines() const { return db_.bootstrap.empty() ? eleven_two_ : db_.bootstrap; }
    const Statement& statement(std::string_view name) const;
    TableDef core_table(const Statement& s) const;
    ClusterDef core_cluster(const Statement& s) const;

    Segment& add_segment(std::string name, std::uint32_t data_object, BlockAddress header, bool space_managed);
    Segment& add_segment_of(std::string name, std::uint32_t data_object);
    BlockAddress take_block(Segment& segment);
    BlockSource source(Segment& segment) { return [this, &segment] { return take_block(segment); }; }
    Segment& segment_named(std::string_view name);
    BlockAddress header_of(std::string_view segment_name) const;
    // A segment by its data object: names may not tell users' tables apart.
    Segment& segment_of(std::uint32_t data_object);
    const Segment& segment_of(std::uint32_t data_object) const;
    void write_segment_headers();

    std::uint32_t user_id(std::string_view name) const;
    const ClusterDef* cluster_of(const TableDef& t) const;
    std::vector<LogicalRow> user_rows() const;
    std::vector<LogicalRow> object_rows() const;
    LogicalRow tab_row(const TableDef& t) const;
    void add_col_rows(std::map<std::uint32_t, std::vector<LogicalRow>>& by_object, std::uint32_t object,
                      const std::vector<ColumnDef>& columns, const std::vector<ColumnNumbers>& numbers,
                      bool deleted = false) const;
    std::vector<LogicalRow> bootstrap_rows() const;
    void add_partition_table();
    void add_lob_table();
    void add_lob_fragment_table();
    void lay_out_lob_values();
    struct IndexedPage {
        LobId id;
        std::uint32_t page;
        std::uint32_t address;
    };
    void lay_out_lob_index(const LobDef& lob, const std::vector<IndexedPage>& pages);
    Bytes lay_out_secure_value(Segment& segment, std::uint32_t data_object, const LobValueDef& value, bool form_12c);
    // The rows of the table or partition `object`, its LOB columns given their locators.
    std::vector<LogicalRow> rows_with_locators(std::uint32_t object, const std::vector<LogicalRow>& rows) const;

    void fill_dictionary_values();
    void lay_out_dictionary();
    void lay_out_users_tables();
    TableRows lay_out_heap(const TableDef& t, const std::string& partition, Segment& segment,
                           std::uint32_t data_object, const std::vector<LogicalRow>& rows);
    std::vector<TableRows> lay_out_heaps_in_turn(const std::vector<const TableDef*>& tables);
    void lay_out_older_generation(const TableDef& t, Segment& segment);
    void lay_out_cluster(const ClusterDef& cluster, const std::vector<const TableDef*>& tables, Segment& segment);
    void write_file_headers();
    void plant_damage();

    BlockFormat format_of(const Segment& segment, std::uint32_t data_object) const
    {
        return {data_object, 2, segment.truth.space_managed};
    }
    std::uint32_t keep_free() const { return db_.block_size * kKeepFreeTenths / 10; }

    const Database& db_;
    SystemDamage damage_;
    const std::vector<BootstrapLine> eleven_two_ = bootstrap_lines();
    FileSet files_;
    std::vector<Statement> statements_;
    std::deque<Segment> segments_;
    std::map<std::uint16_t, std::uint32_t> next_free_;  // where the next extent of each file goes
    std::map<std::string, TableDef> core_tables_;       // by name
    // The dictionary's tables that are no core tables, in the SYSTEM file:
    // TABPART$, when some table is partitioned, and LOB$ (in C_OBJ#), when
    // some table has LOB columns described.
    std::vector<TableDef> sys_tables_;
    // The locators of the LOB values stored apart, by (table object, row,
    // place of the value in the row).
    std::map<std::tuple<std::uint32_t, std::size_t, std::size_t>, Bytes> lob_locators_;
    std::vector<ClusterDef> core_clusters_;
    BuiltDatabase out_;
};

void DatabaseBuilder::parse_bootstrap()
{
    for (const BootstrapLine& line : lines())
        if (line.line >= 0) statements_.push_back(parse_statement(line.sql, db_.charset_id));
    for (const Statement& s : statements_) {
        if (s.kind == StatementKind::Cluster) core_clusters_.push_back(core_cluster(s));
        if (s.kind == StatementKind::Table) core_tables_.emplace(s.name, core_table(s));
    }
}

const Statement& DatabaseBuilder::statement(std::string_view name) const
{
    for (const Statement& s : statements_)
        if (s.name == name) return s;
    throw std::invalid_argument("BOOTSTRAP$ has no statement for " + std::string(name));
}

TableDef DatabaseBuilder::core_table(const Statement& s) const
{
    TableDef t;
    t.owner = "SYS";
    t.name = s.name;
    t.object_id = s.object;
    t.data_object_id = s.object;
    t.columns = s.columns;
    if (s.table_number) {
        const Statement& cluster = statement(s.cluster);
        t.cluster = ClusterPlace{cluster.object, *s.table_number};
        t.data_object_id = cluster.object;  // a clustered table's blocks are its cluster's
        for (std::size_t i = 0; i < s.cluster_key.size(); ++i)
            if (i >= t.columns.size() || t.columns[i].name != s.cluster_key[i])
                throw std::invalid_argument(s.name + ": its cluster key columns are not its first");
    }
    return t;
}

ClusterDef DatabaseBuilder::core_cluster(const Statement& s) const
{
    ClusterDef c;
    c.owner = "SYS";
    c.name = s.name;
    c.object_id = s.object;
    c.data_object_id = s.object;
    c.key = s.columns;
    std::uint8_t highest = 0;
    for (const Statement& t : statements_)
        if (t.table_number && t.cluster == s.name) highest = std::max(highest, *t.table_number);
    c.table_count = static_cast<std::uint8_t>(highest + 1);
    return c;
}

// ---------------------------------------------------------------------------
// Segments

Segment& DatabaseBuilder::add_segment(std::string name, std::uint32_t data_object, BlockAddress header,
                                      bool space_managed)
{
    Segment s;
    s.truth.name = std::move(name);
    s.truth.data_object = data_object;
    s.truth.header = header;
    s.truth.space_managed = space_managed;
    s.extent_length = space_managed ? kUsersExtentBlocks : db_.system_layout.extent_blocks;
    if (!space_managed) {
        const SystemLayout& layout = db_.system_layout;
        s.header_room = layout.header_extents != 0 ? layout.header_extents
                                                   : file_format::header_extent_room(db_.block_size);
        s.map_room = layout.map_block_extents != 0 ? layout.map_block_extents : map_block_room(false, db_.block_size);
    }
    s.offset = s.first_data_offset();
    const Extent first{header.block + 1 - s.offset, s.extent_length};
    for (const Segment& other : segments_)
        for (const Extent& e : other.truth.extents)
            if (other.truth.header.file == header.file && first.first_block < e.first_block + e.length &&
                e.first_block < first.first_block + first.length)
                throw std::invalid_argument(s.truth.name + "'s first extent overlaps " + other.truth.name + "'s");
    s.truth.extents.push_back(first);
    std::uint32_t& next = next_free_[header.file];
    next = std::max(next, first.first_block + first.length);
    segments_.push_back(std::move(s));
    return segments_.back();
}

Segment& DatabaseBuilder::add_segment_of(std::string name, std::uint32_t data_object)
{
    std::uint32_t& next = next_free_[db_.users_file];
    next = std::max(next, kUsersFirstExtent);
    return add_segment(std::move(name), data_object, {db_.users_file, next + 2}, true);
}

BlockAddress DatabaseBuilder::take_block(Segment& segment)
{
    while (segment.offset == segment.truth.extents[segment.extent].length) {
        ++segment.extent;
        if (segment.extent == segment.truth.extents.size()) {
            std::uint32_t& next = next_free_[segment.truth.header.file];
            segment.truth.extents.push_back({next, segment.extent_length});
            next += segment.extent_length;
        }
        segment.offset = segment.data_offset(segment.extent);
    }
    return {segment.truth.header.file, segment.truth.extents[segment.extent].first_block + segment.offset++};
}

Segment& DatabaseBuilder::segment_named(std::string_view name)
{
    for (Segment& s : segments_)
        if (s.truth.name == name) return s;
    throw std::invalid_argument("no segment " + std::string(name));
}

const Segment& DatabaseBuilder::segment_of(std::uint32_t data_object) const
{
    for (const Segment& s : segments_)
        if (s.truth.data_object == data_object) return s;
    throw std::invalid_argument("no segment of data object " + std::to_string(data_object));
}

Segment& DatabaseBuilder::segment_of(std::uint32_t data_object)
{
    return const_cast<Segment&>(std::as_const(*this).segment_of(data_object));
}

BlockAddress DatabaseBuilder::header_of(std::string_view segment_name) const
{
    for (const Segment& s : segments_)
        if (s.truth.name == segment_name) return s.truth.header;
    throw std::invalid_argument("no segment " + std::string(segment_name));
}

void DatabaseBuilder::write_segment_headers()
{
    const std::uint32_t size = db_.block_size;
    const ByteOrder order = db_.byte_order;
    for (Segment& s : segments_) {
        SegmentTruth& t = s.truth;
        if (!t.space_managed) {
            ExtentMap map{t.extents, {}, s.header_room, s.map_room, 0};
            if (const auto found = db_.system_layout.rewritten.find(t.name); found != db_.system_layout.rewritten.end()) {
                map.extents.clear();
                for (std::uint32_t i = 0; i < found->second.repeats; ++i)
                    map.extents.insert(map.extents.end(), t.extents.begin(), t.extents.end());
                map.extents.insert(map.extents.end(), found->second.extra.begin(), found->second.extra.end());
            } else if (t.extents.size() > s.header_room) {
                for (std::size_t i = 0; i < t.extents.size(); ++i)
                    if (s.opens_map_block(i)) map.map_blocks.push_back(t.extents[i].first_block);
            }
            t.high_water_mark = s.high_water_mark();
            map.high_water_mark = block_address(t.header.file, t.high_water_mark);
            t.map_blocks = map.map_blocks;
            const std::vector<Bytes> blocks =
                segment_map_blocks(false, t.header.file, t.header.block, t.data_object, map, size, order);
            files_.put_image(t.header, blocks.front());
            for (std::size_t i = 0; i < map.map_blocks.size(); ++i)
                files_.put_image({t.header.file, map.map_blocks[i]}, blocks[i + 1]);
            continue;
        }
        const std::uint32_t first = t.extents.front().first_block;
        for (std::uint32_t i = 0; i + 1 < file_format::kSpaceSegmentFirstBlocks.size(); ++i)
            files_.put_image({t.header.file, first + i},
                             empty_typed_block(file_format::kSpaceSegmentFirstBlocks[i], t.header.file, first + i,
                                               size, order));
        t.high_water_mark = s.high_water_mark();
        files_.put_image(t.header, space_segment_header(t.header.file, t.header.block, t.extents, size, order,
                                                        block_address(t.header.file, t.high_water_mark)));
    }
}

// ---------------------------------------------------------------------------
// Dictionary rows

std::uint32_t DatabaseBuilder::user_id(std::string_view name) const
{
    for (const UserDef& u : db_.users)
        if (u.name == name) return u.id;
    throw std::invalid_argument("no user " + std::string(name));
}

const ClusterDef* DatabaseBuilder::cluster_of(const TableDef& t) const
{
    if (!t.cluster) return nullptr;
    for (const auto* clusters : {&core_clusters_, &db_.clusters})
        for (const ClusterDef& c : *clusters)
            if (c.object_id == t.cluster->cluster_object) return &c;
    throw std::invalid_argument(t.name + "'s cluster is not described");
}

std::vector<LogicalRow> DatabaseBuilder::user_rows() const
{
    std::vector<LogicalRow> rows;
    for (const UserDef& u : db_.users) {
        rows.push_back(named_row(core_tables_.at("USER$"),
                                 {{"USER#", number(u.id)},
                                  {"NAME", text(u.name)},
                                  {"TYPE#", number(u.type)},
                                  {"DATATS#", number(u.id == kSysUser ? 0 : db_.users_tablespace)},
                                  {"CTIME", kDictionaryCreated}}));
        rows.back().deleted = u.dropped;
    }
    return rows;
}

std::vector<LogicalRow> DatabaseBuilder::object_rows() const
{
    struct Object {
        std::uint32_t id;
        std::optional<std::uint32_t> data_object;
        std::uint32_t owner;
        std::string name;
        std::string subname;
        std::uint16_t type;
        const Value* created;
        bool deleted = false;
    };
    std::vector<Object> objects;
    for (const Statement& s : statements_) {
        if (s.kind == StatementKind::Other) continue;
        const std::uint16_t type = s.kind == StatementKind::Table     ? kObjectTypeTable
                                   : s.kind == StatementKind::Cluster ? kObjectTypeCluster
                                                                      : kObjectTypeIndex;
        const std::uint32_t data_object =
            s.kind == StatementKind::Table ? core_tables_.at(s.name).data_object_id : s.object;
        objects.push_back({s.object, data_object, kSysUser, s.name, "", type, &kDictionaryCreated});
    }
    for (const ClusterDef& c : db_.clusters)
        objects.push_back(
            {c.object_id, c.data_object_id, user_id(c.owner), c.name, "", kObjectTypeCluster, &kUsersCreated});
    for (const TableDef& t : sys_tables_)
        objects.push_back({t.object_id, t.data_object_id, kSysUser, t.name, "", kObjectTypeTable, &kDictionaryCreated});
    for (const TableDef& t : db_.tables) {
        const auto data_object = t.partitions.empty() ? std::optional(t.data_object_id) : std::nullopt;
        // The rows its former names had, deleted when the DDL wrote the new one.
        for (const std::string& former : t.former_names)
            objects.push_back({t.object_id, data_object, user_id(t.owner), former, "", kObjectTypeTable, &kUsersCreated,
                               true});
        objects.push_back(
            {t.object_id, data_object, user_id(t.owner), t.name, "", kObjectTypeTable, &kUsersCreated, t.dropped});
        for (const PartitionDef& p : t.partitions)
            objects.push_back({p.object_id, p.data_object_id, user_id(t.owner), t.name, p.name,
                               kObjectTypeTablePartition, &kUsersCreated, t.dropped || p.dropped});
        for (const LobDef& lob : t.lobs) {
            objects.push_back({lob.lob_object, lob.lob_object, user_id(t.owner), lob_segment_name(t, lob), "",
                               kObjectTypeLob, &kUsersCreated, t.dropped});
            objects.push_back({lob_index_object(lob), lob_index_object(lob), user_id(t.owner), lob_index_name(t, lob),
                               "", kObjectTypeIndex, &kUsersCreated, t.dropped});
            for (std::size_t k = 0; k < lob.fragment_objects.size() && k < t.partitions.size(); ++k)
                objects.push_back({lob.fragment_objects[k], lob.fragment_objects[k], user_id(t.owner),
                                   lob_segment_name(t, lob), t.partitions[k].name, kObjectTypeLobPartition,
                                   &kUsersCreated, t.dropped});
        }
    }
    std::stable_sort(objects.begin(), objects.end(), [](const Object& a, const Object& b) { return a.id < b.id; });
    std::vector<LogicalRow> rows;
    for (const Object& o : objects) {
        const std::uint16_t name_space = o.type == kObjectTypeIndex     ? kNamespaceIndex
                                         : o.type == kObjectTypeCluster ? kNamespaceCluster
                                         : o.type == kObjectTypeLob || o.type == kObjectTypeLobPartition ? kNamespaceLob
                                                                        : kNamespaceTable;
        rows.push_back(named_row(core_tables_.at("OBJ$"),
                                 {{"OBJ#", number(o.id)},
                                  {"DATAOBJ#", o.data_object ? number(*o.data_object) : Value()},
                                  {"OWNER#", number(o.owner)},
                                  {"NAME", text(o.name)},
                                  {"NAMESPACE", number(name_space)},
                                  {"SUBNAME", o.subname.empty() ? Value() : text(o.subname)},
                                  {"TYPE#", number(o.type)},
                                  {"CTIME", *o.created},
                                  {"MTIME", *o.created},
                                  {"STIME", *o.created},
                                  {"STATUS", number(1)}}));
        rows.back().deleted = o.deleted;
    }
    return rows;
}

LogicalRow DatabaseBuilder::tab_row(const TableDef& t) const
{
    // A clustered table's segment is its cluster's; a partitioned one has none.
    const bool partitioned = !t.partitions.empty();
    const ClusterDef* cluster = cluster_of(t);
    BlockAddress header{0, 0};
    if (!partitioned)
        header = segment_of(cluster ? cluster->data_object_id : t.data_object_id).truth.header;
    std::uint32_t property = 0;
    if (t.cluster) property |= kTableClustered;
    if (partitioned) property |= kTablePartitioned;
    std::uint32_t visible = 0;
    for (const ColumnDef& c : t.columns) visible += c.hidden() ? 0 : 1;
    LogicalRow row = named_row(core_tables_.at("TAB$"),
                     {{"OBJ#", number(t.object_id)},
                      {"DATAOBJ#", partitioned ? Value() : number(t.data_object_id)},
                      {"TS#", number(t.owner == "SYS" ? 0 : db_.users_tablespace)},
                      {"FILE#", number(header.file)},
                      {"BLOCK#", number(header.block)},
                      {"BOBJ#", t.cluster ? number(t.cluster->cluster_object) : Value()},
                      {"TAB#", t.cluster ? number(t.cluster->table) : Value()},
                      {"COLS", number(visible)},
                      {"CLUCOLS", cluster ? number(static_cast<std::int64_t>(cluster->key.size())) : Value()},
                      {"PCTFREE$", number(10)},
                      {"PCTUSED$", number(40)},
                      {"INITRANS", number(1)},
                      {"MAXTRANS", number(255)},
                      {"INTCOLS", number(static_cast<std::int64_t>(t.columns.size()))},
                      {"KERNELCOLS", number(static_cast<std::int64_t>(t.stored_count()))},
                      {"PROPERTY", number(property)}});
    row.deleted = t.dropped;
    return row;
}

void DatabaseBuilder::add_col_rows(std::map<std::uint32_t, std::vector<LogicalRow>>& by_object,
                                   std::uint32_t object, const std::vector<ColumnDef>& columns,
                                   const std::vector<ColumnNumbers>& numbers, bool deleted) const
{
    const TableDef& col_table = core_tables_.at("COL$");
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const ColumnDef& c = columns[i];
        by_object[object].push_back(named_row(
            col_table, {{"OBJ#", number(object)},
                        {"COL#", number(numbers[i].col)},
                        {"SEGCOL#", number(numbers[i].segcol)},
                        {"SEGCOLLENGTH", number(c.length)},
                        {"OFFSET", number(0)},
                        {"NAME", text(c.name)},
                        {"TYPE#", number(c.type)},
                        {"LENGTH", number(c.length)},
                        {"FIXEDSTORAGE", number(0)},
                        {"PRECISION#", optional_number(c.precision)},
                        {"SCALE", optional_number(c.scale)},
                        {"NULL$", number(c.nullable ? 0 : 1)},
                        {"INTCOL#", number(numbers[i].intcol)},
                        {"PROPERTY", number(c.property)},
                        {"CHARSETID", number(c.charset_id)},
                        {"CHARSETFORM", number(c.charset_form)},
                        {kCharLengthColumn, number(c.char_length.value_or(0))}}));
        by_object[object].back().deleted = deleted;
    }
}

std::vector<LogicalRow> DatabaseBuilder::bootstrap_rows() const
{
    std::vector<BootstrapLine> written = lines();
    if (damage_ == SystemDamage::UnparsableBootstrapRow)
        for (BootstrapLine& line : written)
            if (line.object == statement("OBJ$").object) line.sql.resize(line.sql.size() / 2);
    std::vector<LogicalRow> rows;
    const std::vector<BootstrapLine>& live = written;
    for (const std::vector<BootstrapLine>* set : {&db_.replaced_bootstrap_lines, &live})
        for (const BootstrapLine& line : *set) {
            rows.push_back(named_row(core_tables_.at("BOOTSTRAP$"), {{"LINE#", number(line.line)},
                                                                     {"OBJ#", number(line.object)},
                                                                     {"SQL_TEXT", text(line.sql)}}));
            rows.back().deleted = set == &db_.replaced_bootstrap_lines;
        }
    return rows;
}

// TABPART$: a row per table partition, naming its table (BO#) and its
// segment header (FILE#, BLOCK#), as an ordinary table of the SYSTEM file.
void DatabaseBuilder::add_partition_table()
{
    std::vector<std::pair<const TableDef*, std::size_t>> partitions;
    for (const TableDef& t : db_.tables)
        for (std::size_t k = 0; k < t.partitions.size(); ++k) partitions.emplace_back(&t, k);
    if (partitions.empty()) return;
    TableDef tabpart;
    tabpart.owner = "SYS";
    tabpart.name = "TABPART$";
    tabpart.object_id = kTabPartObject;
    tabpart.data_object_id = kTabPartObject;
    for (const char* name : {"OBJ#", "DATAOBJ#", "BO#", "PART#", "HIBOUNDLEN", "TS#", "FILE#", "BLOCK#", "PCTFREE$",
                             "PCTUSED$", "INITRANS", "MAXTRANS", "FLAGS"}) {
        ColumnDef column;
        column.name = name;
        column.nullable = std::string_view(name) == "DATAOBJ#";
        tabpart.columns.push_back(column);
    }
    for (const auto& [t, k] : partitions) {
        const PartitionDef& p = t->partitions[k];
        const BlockAddress header = segment_of(p.data_object_id).truth.header;
        tabpart.rows.push_back(named_row(tabpart, {{"OBJ#", number(p.object_id)},
                                                   {"DATAOBJ#", number(p.data_object_id)},
                                                   {"BO#", number(t->object_id)},
                                                   {"PART#", number(static_cast<std::int64_t>(k + 1) * 10)},
                                                   {"TS#", number(db_.users_tablespace)},
                                                   {"FILE#", number(header.file)},
                                                   {"BLOCK#", number(header.block)},
                                                   {"PCTFREE$", number(10)},
                                                   {"PCTUSED$", number(40)},
                                                   {"INITRANS", number(1)},
                                                   {"MAXTRANS", number(255)}}));
    }
    add_segment("SYS.TABPART$", kTabPartObject, {db_.system_file, next_free_[db_.system_file]}, false);
    sys_tables_.push_back(std::move(tabpart));
}

// A SYS table of the cluster C_OBJ#, its columns NOT NULL but those `nullable` names.
TableDef table_of_c_obj(const ClusterDef& c_obj, const char* name, std::uint32_t object, std::uint8_t number,
                        std::initializer_list<const char*> columns, std::initializer_list<std::string_view> nullable)
{
    TableDef table;
    table.owner = "SYS";
    table.name = name;
    table.object_id = object;
    table.data_object_id = c_obj.data_object_id;
    table.cluster = ClusterPlace{c_obj.object_id, number};
    for (const char* column_name : columns) {
        ColumnDef column;
        column.name = column_name;
        column.nullable = std::find(nullable.begin(), nullable.end(), column_name) != nullable.end();
        table.columns.push_back(column);
    }
    return table;
}

// LOB$: a row per LOB column described (TableDef::lobs), naming its table
// (OBJ#), its column (COL#, INTCOL#), its LOB segment (LOBJ#, FILE#,
// BLOCK#) and storage (CHUNK, FLAGS, PROPERTY); table 6 of C_OBJ#, whose
// key is OBJ#. Each LOB's segment is made too.
void DatabaseBuilder::add_lob_table()
{
    const bool any = std::any_of(db_.tables.begin(), db_.tables.end(), [](const TableDef& t) { return !t.lobs.empty(); });
    if (!any) return;
    ClusterDef* c_obj = nullptr;
    for (ClusterDef& c : core_clusters_)
        if (c.name == "C_OBJ#") c_obj = &c;
    if (c_obj == nullptr) throw std::invalid_argument("LOB$ needs the cluster C_OBJ#");
    c_obj->table_count = std::max<std::uint8_t>(c_obj->table_count, kLobTableNumber + 1);
    TableDef lob_table = table_of_c_obj(*c_obj, "LOB$", kLobTableObject, kLobTableNumber,
                                        {"OBJ#", "COL#", "INTCOL#", "LOBJ#", "PART#", "IND#", "TS#", "FILE#",
                                         "BLOCK#", "CHUNK", "PCTVERSION$", "FLAGS", "PROPERTY", "RETENTION",
                                         "FREEPOOLS", "SPARE1", "SPARE2", "SPARE3"},
                                        {"FREEPOOLS", "SPARE1", "SPARE2", "SPARE3"});
    // IND$ (table 3 of C_OBJ#, key BO#): the LOB indexes' rows. The
    // builder puts a clustered table's key first; the reader takes the
    // columns' places from COL$.
    TableDef ind_table = table_of_c_obj(*c_obj, "IND$", kIndTableObject, kIndTableNumber,
                                        {"BO#", "OBJ#", "DATAOBJ#", "TS#", "FILE#", "BLOCK#", "COLS"}, {"DATAOBJ#"});
    for (const TableDef& t : db_.tables) {
        if (t.lobs.empty()) continue;
        if (t.cluster) throw std::invalid_argument(t.name + ": LOBs of a heap or partitioned table only");
        const bool partitioned = !t.partitions.empty();
        const std::vector<ColumnNumbers> numbers = t.numbers();
        for (const LobDef& lob : t.lobs) {
            const auto column = std::find_if(t.columns.begin(), t.columns.end(),
                                             [&](const ColumnDef& c) { return c.name == lob.column; });
            if (column == t.columns.end()) throw std::invalid_argument(t.name + " has no LOB column " + lob.column);
            const ColumnNumbers& n = numbers[static_cast<std::size_t>(column - t.columns.begin())];
            Segment& segment = add_segment_of(t.owner + "." + lob_segment_name(t, lob), lob.lob_object);
            segment.extent_length = kLobExtentBlocks;
            if (lob.fragment_objects.size() != (partitioned ? t.partitions.size() : 0))
                throw std::invalid_argument(t.name + ": a LOB segment for each partition, and only then");
            for (std::size_t k = 0; k < lob.fragment_objects.size(); ++k)
                add_segment_of(t.owner + "." + lob_segment_name(t, lob) + ":" + t.partitions[k].name,
                               lob.fragment_objects[k])
                    .extent_length = kLobExtentBlocks;
            const bool unnamed = lob.segment_by_partition || partitioned;
            lob_table.rows.push_back(named_row(lob_table, {{"OBJ#", number(t.object_id)},
                                                           {"COL#", number(n.col)},
                                                           {"INTCOL#", number(n.intcol)},
                                                           {"LOBJ#", number(lob.lob_object)},
                                                           {"PART#", number(0)},
                                                           {"IND#", number(lob.lob_object + 1)},
                                                           {"TS#", number(db_.users_tablespace)},
                                                           {"FILE#", number(unnamed ? 0 : segment.truth.header.file)},
                                                           {"BLOCK#", number(unnamed ? 0 : segment.truth.header.block)},
                                                           {"CHUNK", number(lob.chunk)},
                                                           {"PCTVERSION$", number(10)},
                                                           {"FLAGS", number(lob.flags)},
                                                           {"PROPERTY", number(lob.property | (unnamed ? 0x04 : 0))},
                                                           {"RETENTION", number(900)}}));
            const Segment& index = add_segment_of(t.owner + "." + lob_index_name(t, lob), lob_index_object(lob));
            if (lob.index == LobIndexState::NoIndexRow) continue;
            ind_table.rows.push_back(named_row(ind_table, {{"BO#", number(t.object_id)},
                                                           {"OBJ#", number(lob_index_object(lob))},
                                                           {"DATAOBJ#", number(lob_index_object(lob))},
                                                           {"TS#", number(db_.users_tablespace)},
                                                           {"FILE#", number(unnamed ? 0 : index.truth.header.file)},
                                                           {"BLOCK#", number(unnamed ? 0 : index.truth.header.block)},
                                                           {"COLS", number(2)}}));
        }
    }
    sys_tables_.push_back(std::move(ind_table));
    sys_tables_.push_back(std::move(lob_table));
    add_lob_fragment_table();
}

// LOBFRAG$, when some LOB column is a partitioned table's: a row per
// partition's LOB segment, naming it (FRAGOBJ#), its LOB (PARENTOBJ#), its
// table partition (TABFRAGOBJ#) and its segment header (FILE#, BLOCK#), as
// an ordinary table of the SYSTEM file.
void DatabaseBuilder::add_lob_fragment_table()
{
    const bool any = std::any_of(db_.tables.begin(), db_.tables.end(), [](const TableDef& t) {
        return std::any_of(t.lobs.begin(), t.lobs.end(), [](const LobDef& l) { return !l.fragment_objects.empty(); });
    });
    if (!any) return;
    TableDef lobfrag;
    lobfrag.owner = "SYS";
    lobfrag.name = "LOBFRAG$";
    lobfrag.object_id = kLobFragObject;
    lobfrag.data_object_id = kLobFragObject;
    for (const char* name : {"FRAGOBJ#", "PARENTOBJ#", "TABFRAGOBJ#", "INDFRAGOBJ#", "FRAG#", "TS#", "FILE#",
                             "BLOCK#", "CHUNK", "PCTVERSION$", "FRAGFLAGS", "FRAGPRO"}) {
        ColumnDef column;
        column.name = name;
        column.nullable = false;
        lobfrag.columns.push_back(column);
    }
    for (const TableDef& t : db_.tables)
        for (const LobDef& lob : t.lobs) {
            if (!lob.fragments_listed) continue;
            for (std::size_t k = 0; k < lob.fragment_objects.size(); ++k) {
                const BlockAddress header = segment_of(lob.fragment_objects[k]).truth.header;
                lobfrag.rows.push_back(named_row(lobfrag, {{"FRAGOBJ#", number(lob.fragment_objects[k])},
                                                           {"PARENTOBJ#", number(lob.lob_object)},
                                                           {"TABFRAGOBJ#", number(t.partitions[k].object_id)},
                                                           {"INDFRAGOBJ#", number(lob.fragment_objects[k] + 1)},
                                                           {"FRAG#", number(static_cast<std::int64_t>(k + 1))},
                                                           {"TS#", number(db_.users_tablespace)},
                                                           {"FILE#", number(header.file)},
                                                           {"BLOCK#", number(header.block)},
                                                           {"CHUNK", number(lob.chunk)},
                                                           {"PCTVERSION$", number(10)},
                                                           {"FRAGFLAGS", number(lob.flags)},
                                                           {"FRAGPRO", number(0)}}));
            }
        }
    add_segment("SYS.LOBFRAG$", kLobFragObject, {db_.system_file, next_free_[db_.system_file]}, false);
    sys_tables_.push_back(std::move(lobfrag));
}

// The pages of each LOB value stored apart, in its segment's blocks taken
// in turn, and the locator that names them (the first pages' addresses).
void DatabaseBuilder::lay_out_lob_values()
{
    const std::uint32_t page_size = lob_page_size(db_.block_size);
    for (const TableDef& t : db_.tables)
        for (const LobDef& lob : t.lobs) {
            std::vector<IndexedPage> indexed;  // the pages past the locators' lists, in LobId and page order
            std::size_t place = 0;
            for (const ColumnDef& c : t.columns) {
                if (c.name == lob.column) break;
                place += c.stored() ? 1 : 0;
            }
            for (std::size_t v = 0; v < lob.values.size(); ++v) {
                const LobValueDef& value = lob.values[v];
                // A partitioned table's value lies in its partition's LOB segment.
                const bool partitioned = !lob.fragment_objects.empty();
                if (partitioned && value.partition >= lob.fragment_objects.size())
                    throw std::invalid_argument(t.name + ": a LOB value of a partition it does not have");
                const std::uint32_t data_object = partitioned ? lob.fragment_objects[value.partition] : lob.lob_object;
                Segment& segment = segment_of(data_object);
                const std::uint32_t owner = partitioned ? t.partitions[value.partition].object_id : t.object_id;
                if (lob.secure_file) {
                    lob_locators_[{owner, value.row, place}] = lay_out_secure_value(segment, data_object, value, v % 2 == 1);
                    continue;
                }
                const std::uint32_t pages =
                    std::max<std::uint32_t>(1, static_cast<std::uint32_t>((value.data.size() + page_size - 1) / page_size));
                std::vector<std::uint32_t> addresses;
                for (std::uint32_t page = 0; page < pages; ++page) {
                    const auto from = value.data.begin() + static_cast<std::ptrdiff_t>(std::size_t{page} * page_size);
                    const Bytes data(from, value.data.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(
                                                                     value.data.size(), std::size_t{page + 1} * page_size)));
                    const auto has = [&](const std::vector<std::uint32_t>& list) {
                        return std::find(list.begin(), list.end(), page) != list.end();
                    };
                    if (has(value.old_copies)) {
                        const BlockAddress old = take_block(segment);
                        files_.put_image(old, lob_data_block(value.id, data_object, page, Bytes(data.size(), '?'),
                                                             old.file, old.block, db_.block_size, db_.byte_order, 0x1000));
                    }
                    const BlockAddress at = take_block(segment);
                    files_.put_image(at, has(value.zeroed_pages)
                                             ? Bytes(db_.block_size, 0)
                                             : lob_data_block(value.id, data_object, page, data, at.file, at.block,
                                                              db_.block_size, db_.byte_order));
                    if (has(value.stray_copies)) {
                        const BlockAddress stray = take_block(segment);
                        files_.put_image(stray, lob_data_block(value.id, data_object, page, Bytes(data.size(), '?'),
                                                               stray.file, stray.block, db_.block_size, db_.byte_order,
                                                               0x3000));
                    }
                    if (addresses.size() < kLocatorAddresses) addresses.push_back(block_address(at.file, at.block));
                    else if (!has(value.unindexed_pages)) indexed.push_back({value.id, page, block_address(at.file, at.block)});
                }
                const auto last = static_cast<std::uint16_t>(value.data.size() - std::size_t{pages - 1} * page_size);
                lob_locators_[{owner, value.row, place}] = basic_out_of_line_locator(value.id, pages, last, addresses);
            }
            lay_out_lob_index(lob, indexed);  // a SecureFile's: a leaf without entries
        }
}

// A LOB's index: its leaf blocks in its segment, an entry each chunk
// address of up to eight chunks from a first page on, as many leaves as
// they take (no branch block: a reader walks the leaves).
void DatabaseBuilder::lay_out_lob_index(const LobDef& lob, const std::vector<IndexedPage>& pages)
{
    std::vector<LobIndexEntryDef> entries;
    const std::uint32_t chunk = std::max<std::uint32_t>(lob.chunk, 1);
    for (const IndexedPage& p : pages) {
        // A chunk's first page opens a slot; eight slots, or a gap, a new entry.
        if ((p.page - kLocatorAddresses) % chunk != 0) continue;
        LobIndexEntryDef* last = entries.empty() ? nullptr : &entries.back();
        if (last == nullptr || last->id != p.id || last->addresses.size() == 8 ||
            last->first_page + chunk * last->addresses.size() != p.page)
            last = &entries.emplace_back(LobIndexEntryDef{p.id, p.page, {}});
        last->addresses.push_back(p.address);
    }
    Segment& segment = segment_of(lob_index_object(lob));
    const std::size_t per_leaf = lob_index_leaf_room(db_.block_size);
    std::vector<BlockAddress> leaves(std::max<std::size_t>(1, (entries.size() + per_leaf - 1) / per_leaf));
    for (BlockAddress& leaf : leaves) leaf = take_block(segment);
    for (std::size_t i = 0; i < leaves.size(); ++i) {
        const auto from = entries.begin() + static_cast<std::ptrdiff_t>(std::min(entries.size(), i * per_leaf));
        const auto to = entries.begin() + static_cast<std::ptrdiff_t>(std::min(entries.size(), (i + 1) * per_leaf));
        const auto address = [&](std::size_t k) {
            return k < leaves.size() ? block_address(leaves[k].file, leaves[k].block) : 0u;
        };
        files_.put_image(leaves[i], lob.index == LobIndexState::LeafZeroed
                                        ? Bytes(db_.block_size, 0)
                                        : lob_index_leaf({from, to}, lob_index_object(lob), leaves[i].file,
                                                         leaves[i].block, address(i + 1),
                                                         i == 0 ? 0u : address(i - 1), db_.block_size, db_.byte_order));
    }
}

// A SecureFile value's blocks, in its segment's blocks taken in turn, and
// its locator: extents of at most three blocks, one in two giving its
// count in 2 bytes, so that every form of the list is written.
Bytes DatabaseBuilder::lay_out_secure_value(Segment& segment, std::uint32_t data_object, const LobValueDef& value,
                                            bool form_12c)
{
    const std::uint32_t room = secure_block_size(db_.block_size);
    const std::size_t blocks = std::max<std::size_t>(1, (value.data.size() + room - 1) / room);
    std::vector<SecureExtentDef> extents;
    BlockAddress previous{};
    for (std::size_t i = 0; i < blocks; ++i) {
        const auto from = value.data.begin() + static_cast<std::ptrdiff_t>(i * room);
        const Bytes data(from, value.data.begin() + static_cast<std::ptrdiff_t>(std::min(value.data.size(), (i + 1) * room)));
        const BlockAddress at = take_block(segment);
        const bool zeroed = std::find(value.zeroed_pages.begin(), value.zeroed_pages.end(), i) != value.zeroed_pages.end();
        files_.put_image(at, zeroed ? Bytes(db_.block_size, 0)
                                    : secure_data_block(value.id, data_object, data, at.file, at.block, db_.block_size,
                                                        db_.byte_order));
        const bool follows = !extents.empty() && at.file == previous.file && at.block == previous.block + 1;
        if (follows && extents.back().blocks < 3)
            ++extents.back().blocks;
        else
            extents.push_back({block_address(at.file, at.block), 1, extents.size() % 2 == 1});
        previous = at;
    }
    return secure_extents_locator(value.id, static_cast<std::uint32_t>(value.data.size()), extents, form_12c);
}

std::vector<LogicalRow> DatabaseBuilder::rows_with_locators(std::uint32_t object_id,
                                                            const std::vector<LogicalRow>& of) const
{
    std::vector<LogicalRow> rows = of;
    for (const auto& [key, locator] : lob_locators_) {
        const auto& [object, row, place] = key;
        if (object != object_id) continue;
        if (rows.at(row).values.size() <= place) rows.at(row).values.resize(place + 1);
        rows.at(row).values[place] = locator;
    }
    return rows;
}

// ---------------------------------------------------------------------------
// Laying the rows out

// What a file header counts of a file of `blocks` blocks: all but block 0,
// as readers take the count.
std::uint32_t header_block_count(std::uint32_t blocks)
{
    const std::uint32_t count = blocks == 0 ? 0 : blocks - 1;
    if (file_format::blocks_by_header_count(count) != blocks) throw std::logic_error("the header count's reading changed");
    return count;
}

void DatabaseBuilder::fill_dictionary_values()
{
    for (const auto& [name, values] : db_.dictionary_values) {
        TableDef& table = core_tables_.at(name);
        for (const auto& filled : values) {
            const std::string& column = filled.first;
            const auto at = std::find_if(table.columns.begin(), table.columns.end(),
                                         [&](const ColumnDef& c) { return c.name == column; });
            if (at == table.columns.end()) throw std::invalid_argument(name + " has no column " + column);
            const auto index = static_cast<std::size_t>(at - table.columns.begin());
            for (LogicalRow& row : table.rows)
                if (!row.values[index]) row.values[index] = filled.second;
        }
    }
}

void DatabaseBuilder::lay_out_dictionary()
{
    // TAB$ and COL$ rows by the object they describe: their cluster key.
    std::map<std::uint32_t, LogicalRow> tab_rows;
    std::map<std::uint32_t, std::vector<LogicalRow>> col_rows;
    auto describe_cluster = [&](const ClusterDef& c) {
        TableDef keys;
        keys.columns = c.key;
        add_col_rows(col_rows, c.object_id, c.key, keys.numbers());
    };
    auto describe_table = [&](const TableDef& t) {
        tab_rows.emplace(t.object_id, tab_row(t));
        add_col_rows(col_rows, t.object_id, t.columns, t.numbers(), t.dropped);
        add_col_rows(col_rows, t.object_id, t.removed_columns, t.removed_numbers(), true);
    };
    for (const ClusterDef& c : core_clusters_) describe_cluster(c);
    for (const auto& [name, t] : core_tables_) describe_table(t);
    for (const TableDef& t : sys_tables_) describe_table(t);
    for (const ClusterDef& c : db_.clusters) describe_cluster(c);
    for (const TableDef& t : db_.tables) describe_table(t);

    core_tables_.at("OBJ$").rows = object_rows();
    core_tables_.at("USER$").rows = user_rows();
    core_tables_.at("BOOTSTRAP$").rows = bootstrap_rows();
    for (const auto& [object, row] : tab_rows) core_tables_.at("TAB$").rows.push_back(row);
    for (const auto& [object, rows] : col_rows)
        for (const LogicalRow& row : rows) core_tables_.at("COL$").rows.push_back(row);
    fill_dictionary_values();

    if (db_.system_layout.interleaved) {
        for (TableRows& rows : lay_out_heaps_in_turn({&core_tables_.at("OBJ$"), &core_tables_.at("BOOTSTRAP$")}))
            out_.rows.push_back(std::move(rows));
    } else {
        for (const char* heap : {"OBJ$", "BOOTSTRAP$"}) {
            const TableDef& t = core_tables_.at(heap);
            out_.rows.push_back(lay_out_heap(t, "", segment_named("SYS." + t.name), t.data_object_id, t.rows));
        }
    }
    for (const ClusterDef& c : core_clusters_) {
        std::vector<const TableDef*> members;
        for (const auto& [name, t] : core_tables_)
            if (t.cluster && t.cluster->cluster_object == c.object_id) members.push_back(&t);
        for (const TableDef& t : sys_tables_)
            if (t.cluster && t.cluster->cluster_object == c.object_id) members.push_back(&t);
        lay_out_cluster(c, members, segment_named("SYS." + c.name));
    }
    for (const TableDef& t : sys_tables_)
        if (!t.cluster) out_.rows.push_back(lay_out_heap(t, "", segment_of(t.data_object_id), t.data_object_id, t.rows));
    for (const char* name : {"OBJ$", "TAB$", "COL$", "USER$", "BOOTSTRAP$"})
        out_.dictionary.push_back(core_tables_.at(name));
    for (const TableDef& t : sys_tables_) out_.dictionary.push_back(t);
}

TableRows DatabaseBuilder::lay_out_heap(const TableDef& t, const std::string& partition, Segment& segment,
                                        std::uint32_t data_object, const std::vector<LogicalRow>& rows)
{
    RowWriter writer(files_, format_of(segment, data_object));
    HeapInserter inserter(writer, source(segment), keep_free());
    TableRows truths{t.owner, t.name, partition, data_object, {}};
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].values.size() > t.stored_count())
            throw std::invalid_argument(t.owner + "." + t.name + ": a row of more values than stored columns");
        const auto shape = t.shapes.find(i);
        truths.rows.push_back(inserter.insert(rows[i], shape == t.shapes.end() ? RowShape::Ordinary : shape->second));
    }
    return truths;
}

std::vector<TableRows> DatabaseBuilder::lay_out_heaps_in_turn(const std::vector<const TableDef*>& tables)
{
    struct Heap {
        Heap(FileSet& files, const BlockFormat& format, BlockSource source, std::uint32_t keep_free)
            : writer(files, format), inserter(writer, std::move(source), keep_free)
        {
        }
        RowWriter writer;
        HeapInserter inserter;
    };
    std::deque<Heap> heaps;
    std::vector<TableRows> truths;
    std::size_t most = 0;
    for (const TableDef* t : tables) {
        Segment& segment = segment_named(t->owner + "." + t->name);
        heaps.emplace_back(files_, format_of(segment, t->data_object_id), source(segment), keep_free());
        truths.push_back({t->owner, t->name, "", t->data_object_id, {}});
        most = std::max(most, t->rows.size());
    }
    for (std::size_t row = 0; row < most; ++row)
        for (std::size_t i = 0; i < tables.size(); ++i)
            if (row < tables[i]->rows.size()) truths[i].rows.push_back(heaps[i].inserter.insert(tables[i]->rows[row]));
    return truths;
}

void DatabaseBuilder::lay_out_older_generation(const TableDef& t, Segment& segment)
{
    // The old rows fill the segment's first blocks; the new generation then
    // formats the blocks it needs again from the first data block on, and
    // the old rows in the blocks beyond remain.
    const OlderGeneration& older = *t.older;
    TableDef old_table = t;
    old_table.shapes.clear();
    const TableRows old_truths = lay_out_heap(old_table, "", segment, older.data_object_id, older.rows);
    const std::size_t extent = segment.extent;
    const std::uint32_t offset = segment.offset;
    segment.extent = 0;
    segment.offset = segment.first_data_offset();
    std::vector<BlockAddress> reused;
    const BlockFormat format = format_of(segment, t.data_object_id);
    RowWriter writer(files_, format);
    HeapInserter inserter(writer, [&] {
        const BlockAddress at = take_block(segment);
        files_.reformat(at, format);
        reused.push_back(at);
        return at;
    }, keep_free());
    TableRows truths{t.owner, t.name, "", t.data_object_id, {}};
    for (const LogicalRow& row : t.rows) truths.rows.push_back(inserter.insert(row));
    out_.rows.push_back(std::move(truths));
    // A truncate sets the mark back: the old rows beyond the new ones lie above it.
    segment.mark = std::pair{segment.extent, segment.offset};
    segment.extent = extent;
    segment.offset = offset;

    TableRows survivors{t.owner, t.name, "", older.data_object_id, {}};
    for (const RowTruth& truth : old_truths.rows)
        if (std::find(reused.begin(), reused.end(), truth.head->block_address()) == reused.end())
            survivors.rows.push_back(truth);
    out_.rows.push_back(std::move(survivors));
}

void DatabaseBuilder::lay_out_cluster(const ClusterDef& cluster, const std::vector<const TableDef*>& tables,
                                      Segment& segment)
{
    // Members grouped under their keys in the order the keys first appear.
    std::vector<ClusterKey> keys;
    std::vector<std::pair<std::size_t, std::size_t>> order;  // (table, row) of each member, as keys list them
    std::vector<std::vector<std::pair<std::size_t, std::size_t>>> members_of;
    for (std::size_t t = 0; t < tables.size(); ++t) {
        for (std::size_t r = 0; r < tables[t]->rows.size(); ++r) {
            const LogicalRow& row = tables[t]->rows[r];
            const std::vector<Value> key(row.values.begin(),
                                         row.values.begin() + static_cast<std::ptrdiff_t>(cluster.key.size()));
            auto found = std::find_if(keys.begin(), keys.end(), [&](const ClusterKey& k) { return k.key == key; });
            if (found == keys.end()) {
                keys.push_back({key, {}});
                members_of.emplace_back();
                found = keys.end() - 1;
            }
            found->members.push_back({tables[t]->cluster->table, member_part(row, cluster.key.size())});
            members_of[static_cast<std::size_t>(found - keys.begin())].push_back({t, r});
        }
    }
    for (const auto& members : members_of) order.insert(order.end(), members.begin(), members.end());

    RowWriter writer(files_, format_of(segment, cluster.data_object_id));
    std::vector<RowTruth> truths = writer.cluster(source(segment), cluster.table_count, keys);
    std::vector<std::vector<RowTruth>> by_table(tables.size());
    for (std::size_t t = 0; t < tables.size(); ++t) by_table[t].resize(tables[t]->rows.size());
    for (std::size_t i = 0; i < truths.size(); ++i) by_table[order[i].first][order[i].second] = std::move(truths[i]);
    for (std::size_t t = 0; t < tables.size(); ++t)
        out_.rows.push_back({tables[t]->owner, tables[t]->name, "", cluster.data_object_id, std::move(by_table[t])});
}

void DatabaseBuilder::lay_out_users_tables()
{
    for (const ClusterDef& c : db_.clusters) {
        std::vector<const TableDef*> members;
        for (const TableDef& t : db_.tables)
            if (t.cluster && t.cluster->cluster_object == c.object_id) {
                if (t.data_object_id != c.data_object_id)
                    throw std::invalid_argument(t.name + ": a clustered table has its cluster's data object");
                members.push_back(&t);
            }
        lay_out_cluster(c, members, segment_of(c.data_object_id));
    }
    for (const TableDef& t : db_.tables) {
        if (t.cluster) continue;
        for (const PartitionDef& p : t.partitions)
            out_.rows.push_back(lay_out_heap(t, p.name, segment_of(p.data_object_id), p.data_object_id,
                                             rows_with_locators(p.object_id, p.rows)));
        if (!t.partitions.empty()) continue;
        if (t.older) lay_out_older_generation(t, segment_of(t.data_object_id));
        else out_.rows.push_back(lay_out_heap(t, "", segment_of(t.data_object_id), t.data_object_id,
                                              rows_with_locators(t.object_id, t.rows)));
    }
}

void DatabaseBuilder::write_file_headers()
{
    const std::uint32_t size = db_.block_size;
    const ByteOrder order = db_.byte_order;
    for (const std::uint16_t file : {db_.system_file, db_.users_file}) {
        const bool system = file == db_.system_file;
        const std::uint32_t blocks = std::max(next_free_[file], files_.block_count(file));
        next_free_[file] = blocks;
        FileHeader header;
        header.database_id = db_.id;
        header.database_name = db_.name;
        header.block_count = header_block_count(system ? std::max(blocks, db_.system_layout.file_blocks) : blocks);
        header.absolute_file = system ? 1 : file;
        header.relative_file = file;
        header.header_size = db_.header_size;
        if (system) {
            if (damage_ != SystemDamage::ClearedRoot) header.root_address = block_address(out_.root.file, out_.root.block);
        } else {
            header.tablespace_number = db_.users_tablespace;
            header.tablespace_name = "USERS";
        }
        files_.put_image({file, 0}, os_header_block(size, header.block_count, order));
        files_.put_image({file, 1}, file_header_block(header, size, order));
    }
}

void DatabaseBuilder::plant_damage()
{
    std::optional<BlockAddress> damaged;
    if (damage_ == SystemDamage::ObjSegmentHeader) damaged = header_of("SYS.OBJ$");
    if (damage_ == SystemDamage::ColBlock) {
        // The block holding the COL$ rows of the users' table described last.
        const TableRows& col = out_.rows_of("SYS", "COL$");
        damaged = col.rows.back().head->block_address();
    }
    if (!damaged) return;
    const Block& block = files_.block(*damaged);
    Bytes bytes = build_block(block, db_.block_size, damaged->block, nullptr, db_.byte_order, damaged->file);
    overwrite(bytes);
    files_.put_image(*damaged, std::move(bytes));
    out_.damaged_block = damaged;
}

BuiltDatabase DatabaseBuilder::build()
{
    parse_bootstrap();
    for (const Statement& s : statements_)
        if (s.segment && s.kind != StatementKind::Other)
            add_segment("SYS." + s.name, s.object, *s.segment, false);
    out_.root = statement("BOOTSTRAP$").segment.value();
    for (const ClusterDef& c : db_.clusters) add_segment_of(c.owner + "." + c.name, c.data_object_id);
    for (const TableDef& t : db_.tables) {
        if (t.cluster) continue;
        for (const PartitionDef& p : t.partitions)
            add_segment_of(t.owner + "." + t.name + ":" + p.name, p.data_object_id);
        if (t.partitions.empty()) add_segment_of(t.owner + "." + t.name, t.data_object_id);
    }
    add_partition_table();
    add_lob_table();

    lay_out_lob_values();
    lay_out_dictionary();
    lay_out_users_tables();
    write_segment_headers();
    write_file_headers();
    plant_damage();

    for (const Segment& s : segments_) out_.segments.push_back(s.truth);
    const std::uint16_t system = db_.system_file;
    out_.system_file_blocks = std::max(next_free_[system], db_.system_layout.file_blocks);
    if (db_.system_layout.sparse) {
        out_.system.block_size = db_.block_size;
        out_.system.byte_order = db_.byte_order;
        out_.system.relative_file = system;
        out_.sparse_system = std::make_shared<const FileSet>(files_);
    } else {
        out_.system = files_.file(system, next_free_[system]);
    }
    out_.users = files_.file(db_.users_file, next_free_[db_.users_file]);
    return std::move(out_);
}

}  // namespace

// ---------------------------------------------------------------------------

bool ColumnDef::stored() const { return (property & kColumnUserVirtual) == 0; }
bool ColumnDef::hidden() const { return (property & kColumnHidden) != 0; }

std::vector<ColumnNumbers> TableDef::numbers() const
{
    std::vector<ColumnNumbers> out;
    std::uint32_t col = 0, segcol = 0;
    for (const ColumnDef& c : columns)
        out.push_back({c.hidden() ? 0 : ++col, c.stored() ? ++segcol : 0, static_cast<std::uint32_t>(out.size() + 1)});
    return out;
}

std::vector<ColumnNumbers> TableDef::removed_numbers() const
{
    std::uint32_t col = 0, segcol = 0, intcol = 0;
    for (const ColumnNumbers& n : numbers()) {
        col = std::max(col, n.col);
        segcol = std::max(segcol, n.segcol);
        intcol = std::max(intcol, n.intcol);
    }
    std::vector<ColumnNumbers> out;
    for (const ColumnDef& c : removed_columns) out.push_back({c.hidden() ? 0 : ++col, c.stored() ? ++segcol : 0, ++intcol});
    return out;
}

std::size_t TableDef::stored_count() const
{
    return static_cast<std::size_t>(std::count_if(columns.begin(), columns.end(), [](const ColumnDef& c) { return c.stored(); }));
}

const TableRows& BuiltDatabase::rows_of(std::string_view owner, std::string_view table,
                                        std::string_view partition) const
{
    for (const TableRows& r : rows)
        if (r.owner == owner && r.table == table && r.partition == partition) return r;
    throw std::invalid_argument("no rows of " + std::string(owner) + "." + std::string(table));
}

BuiltDatabase build_database(const Database& database, SystemDamage damage)
{
    return DatabaseBuilder(database, damage).build();
}

void write_database(const BuiltDatabase& built, const std::string& directory)
{
    const std::string system = directory + "/system01.dbf";
    if (built.sparse_system)
        built.sparse_system->write_sparse(system, built.system.relative_file, built.system_file_blocks);
    else
        write_file(system, build_file(built.system));
    // The never-used blocks past those built, without writing them.
    if (built.system_file_blocks > built.system.blocks.size())
        std::filesystem::resize_file(system, std::uintmax_t{built.system_file_blocks} * built.system.block_size);
    write_file(directory + "/users01.dbf", build_file(built.users));
}

}  // namespace datafile
