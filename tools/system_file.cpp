#include "system_file.h"

#include <algorithm>
#include <cctype>
#include <deque>
#include <stdexcept>

#include "block_format.h"
#include "dictionary_format.h"
#include "file_format.h"

namespace datafile {

using namespace dictionary;

namespace {

// ---------------------------------------------------------------------------
// Values

Value number(std::int64_t n) { return number_value(std::to_string(n)); }
Value decimal(std::string_view text) { return number_value(text); }
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
// The BOOTSTRAP$ statements

enum class StatementKind { Table, Cluster, Index, Other };

// What the builder needs of one statement: its columns and where it is
// stored.
struct Statement {
    StatementKind kind = StatementKind::Other;
    std::string name;
    std::vector<ColumnDef> columns;
    std::uint32_t object = 0;                   // OBJNO
    std::optional<std::uint8_t> table_number;   // TABNO: a table in a cluster
    std::string cluster;                        // and that cluster's name
    std::vector<std::string> cluster_key;       // and the key columns it names
    std::optional<BlockAddress> segment;        // EXTENTS (FILE f BLOCK b)
};

std::string_view trim(std::string_view s)
{
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

// The digits (and sign) at the start of `s`.
std::uint32_t leading_number(std::string_view s)
{
    std::size_t end = 0;
    while (end < s.size() && (std::isdigit(static_cast<unsigned char>(s[end])) || (end == 0 && s[end] == '-'))) ++end;
    if (end == 0) throw std::invalid_argument("a number was expected: " + std::string(s.substr(0, 20)));
    return static_cast<std::uint32_t>(std::stol(std::string(s.substr(0, end))));
}

// The number after `word` in `sql`, if the word is there.
std::optional<std::uint32_t> number_after(std::string_view sql, std::string_view word)
{
    const std::size_t at = sql.find(word);
    if (at == std::string_view::npos) return std::nullopt;
    return leading_number(sql.substr(at + word.size()));
}

// The text between the bracket at `open` and its match.
std::string_view bracketed(std::string_view sql, std::size_t open)
{
    int depth = 0;
    for (std::size_t i = open; i < sql.size(); ++i) {
        if (sql[i] == '(') ++depth;
        if (sql[i] == ')' && --depth == 0) return sql.substr(open + 1, i - open - 1);
    }
    throw std::invalid_argument("unbalanced brackets in: " + std::string(sql.substr(0, 40)));
}

// Items separated by commas outside brackets.
std::vector<std::string_view> split_list(std::string_view list)
{
    std::vector<std::string_view> items;
    int depth = 0;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= list.size(); ++i) {
        if (i == list.size() || (list[i] == ',' && depth == 0)) {
            items.push_back(trim(list.substr(start, i - start)));
            start = i + 1;
        } else if (list[i] == '(') {
            ++depth;
        } else if (list[i] == ')') {
            --depth;
        }
    }
    return items;
}

std::string unquoted(std::string_view name)
{
    name = trim(name);
    if (name.size() >= 2 && name.front() == '"' && name.back() == '"') name = name.substr(1, name.size() - 2);
    return std::string(name);
}

// One column of a column list: "NAME" TYPE[(SIZE)] [NOT NULL].
ColumnDef parse_column(std::string_view item, std::uint16_t charset)
{
    if (item.empty()) throw std::invalid_argument("an empty column in a column list");
    const std::size_t name_end = item.front() == '"' ? item.find('"', 1) + 1 : item.find(' ');
    ColumnDef column;
    column.name = unquoted(item.substr(0, name_end));
    std::string_view rest = trim(item.substr(name_end));
    const std::size_t not_null = rest.find("NOT NULL");
    column.nullable = not_null == std::string_view::npos;
    if (!column.nullable) rest = trim(rest.substr(0, not_null));
    const std::size_t open = rest.find('(');
    const std::string_view type = rest.substr(0, open);
    const std::uint32_t size = open == std::string_view::npos ? 0 : leading_number(rest.substr(open + 1));
    if (type == "NUMBER") {
        column.type = kTypeNumber;
        column.length = 22;
    } else if (type == "VARCHAR2" || type == "LONG") {
        column.type = type == "LONG" ? kTypeLong : kTypeVarchar2;
        column.length = size;
        column.charset_id = charset;
        column.charset_form = kCharsetFormDatabase;
    } else if (type == "DATE") {
        column.type = kTypeDate;
        column.length = 7;
    } else if (type == "RAW") {
        column.type = kTypeRaw;
        column.length = size;
    } else {
        throw std::invalid_argument("a dictionary column of an unknown type: " + std::string(item));
    }
    return column;
}

Statement parse_statement(std::string_view sql, std::uint16_t charset)
{
    Statement s;
    std::string_view rest;
    for (const auto& [prefix, kind] : {std::pair{std::string_view("CREATE TABLE "), StatementKind::Table},
                                       std::pair{std::string_view("CREATE CLUSTER "), StatementKind::Cluster},
                                       std::pair{std::string_view("CREATE INDEX "), StatementKind::Index}}) {
        if (sql.substr(0, prefix.size()) == prefix) {
            s.kind = kind;
            rest = sql.substr(prefix.size());
        }
    }
    s.object = number_after(sql, "OBJNO ").value_or(0);
    if (const std::size_t extents = sql.find("EXTENTS (FILE "); extents != std::string_view::npos) {
        const std::string_view clause = sql.substr(extents);
        s.segment = BlockAddress{static_cast<std::uint16_t>(number_after(clause, "FILE ").value()),
                                 number_after(clause, " BLOCK ").value()};
    }
    if (s.kind == StatementKind::Other) return s;
    const std::size_t name_end = rest.find_first_of("( ");
    s.name = unquoted(rest.substr(0, name_end));
    if (s.kind == StatementKind::Index) return s;

    const std::size_t open = sql.size() - rest.size() + name_end;
    const std::string_view list = bracketed(sql, open);
    for (const std::string_view item : split_list(list)) s.columns.push_back(parse_column(item, charset));
    if (const auto table = number_after(sql, "TABNO ")) {
        s.table_number = static_cast<std::uint8_t>(*table);
        const std::string_view storage = sql.substr(sql.find("STORAGE"));
        const std::size_t clause = storage.find(" CLUSTER ");
        if (clause == std::string_view::npos) throw std::invalid_argument("a clustered table names no cluster");
        const std::string_view named = storage.substr(clause + 9);
        const std::size_t key_open = named.find('(');
        s.cluster = unquoted(named.substr(0, key_open));
        for (const std::string_view key : split_list(bracketed(named, key_open))) s.cluster_key.push_back(unquoted(key));
    }
    return s;
}

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
        } else if (column.type == kTypeDate) {
            row.values.push_back(kDictionaryCreated);
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

// Damage: every byte after the cache header's first 20 flipped, checksum
// and tail left as they were.
void overwrite(Bytes& block)
{
    for (std::size_t i = block_format::kCacheHeaderSize; i < block.size(); ++i) block[i] ^= 0xA5;
}

// Extent sizes, in blocks, of the SYSTEM file's segments and of the users'
// (their first extent starts with the bitmap blocks and the header).
constexpr std::uint32_t kSystemExtentBlocks = 4;
constexpr std::uint32_t kUsersExtentBlocks = 8;
// Where the USERS file's first extent starts.
constexpr std::uint32_t kUsersFirstExtent = 16;
// The share of a block inserts leave free, in tenths (PCTFREE 10).
constexpr std::uint32_t kKeepFreeTenths = 1;

struct Segment {
    SegmentTruth truth;
    std::uint32_t extent_length = 0;
    std::size_t extent = 0;    // where the next data block is taken from
    std::uint32_t offset = 0;  // within that extent
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
    const Statement& statement(std::string_view name) const;
    TableDef core_table(const Statement& s) const;
    ClusterDef core_cluster(const Statement& s) const;

    Segment& add_segment(std::string name, std::uint32_t data_object, BlockAddress header, bool space_managed);
    Segment& add_users_segment(std::string name, std::uint32_t data_object);
    BlockAddress take_block(Segment& segment);
    BlockSource source(Segment& segment) { return [this, &segment] { return take_block(segment); }; }
    Segment& segment_named(std::string_view name);
    void write_segment_headers();

    std::uint32_t user_id(std::string_view name) const;
    void add_object_rows(std::vector<LogicalRow>& obj, std::vector<LogicalRow>& user) const;
    LogicalRow tab_row(const TableDef& t, std::uint32_t data_object_of_cluster) const;
    void add_col_rows(std::map<std::uint32_t, std::vector<LogicalRow>>& by_object, std::uint32_t object,
                      const std::vector<ColumnDef>& columns, const std::vector<ColumnNumbers>& numbers) const;

    void lay_out_dictionary();
    void lay_out_users_tables();
    void lay_out_heap(const std::string& owner, const std::string& name, const std::string& partition,
                      Segment& segment, std::uint32_t data_object, const std::vector<LogicalRow>& rows,
                      const std::map<std::size_t, RowShape>& shapes, std::size_t column_count);
    void lay_out_older_generation(const TableDef& t, Segment& segment);
    void lay_out_cluster(const ClusterDef& cluster, const std::vector<const TableDef*>& tables, Segment& segment);
    void write_file_headers();
    void plant_damage();

    BlockFormat users_format(std::uint32_t data_object) const { return {data_object, 2, true}; }
    BlockFormat system_format(std::uint32_t data_object) const { return {data_object, 2, false}; }
    std::uint32_t keep_free() const { return db_.block_size * kKeepFreeTenths / 10; }
    TableRows& rows_for(const std::string& owner, const std::string& table, const std::string& partition,
                        std::uint32_t data_object);

    const Database& db_;
    SystemDamage damage_;
    FileSet files_;
    std::vector<Statement> statements_;
    std::deque<Segment> segments_;
    std::map<std::uint16_t, std::uint32_t> next_free_;  // where the next extent of each file goes
    std::map<std::string, TableDef> core_tables_;       // by name
    std::vector<ClusterDef> core_clusters_;
    BuiltDatabase out_;
};

void DatabaseBuilder::parse_bootstrap()
{
    for (const BootstrapLine& line : bootstrap_lines())
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
    s.extent_length = space_managed ? kUsersExtentBlocks : kSystemExtentBlocks;
    const std::uint32_t before = space_managed ? 2 : 0;  // the bitmap blocks
    const Extent first{header.block - before, s.extent_length};
    for (const Segment& other : segments_)
        for (const Extent& e : other.truth.extents)
            if (other.truth.header.file == header.file && first.first_block < e.first_block + e.length &&
                e.first_block < first.first_block + first.length)
                throw std::invalid_argument(s.truth.name + "'s first extent overlaps " + other.truth.name + "'s");
    s.truth.extents.push_back(first);
    s.offset = before + 1;  // the first data block follows the header
    std::uint32_t& next = next_free_[header.file];
    next = std::max(next, first.first_block + first.length);
    segments_.push_back(std::move(s));
    return segments_.back();
}

Segment& DatabaseBuilder::add_users_segment(std::string name, std::uint32_t data_object)
{
    std::uint32_t& next = next_free_[db_.users_file];
    next = std::max(next, kUsersFirstExtent);
    return add_segment(std::move(name), data_object, {db_.users_file, next + 2}, true);
}

BlockAddress DatabaseBuilder::take_block(Segment& segment)
{
    if (segment.offset == segment.truth.extents[segment.extent].length) {
        ++segment.extent;
        segment.offset = 0;
        if (segment.extent == segment.truth.extents.size()) {
            std::uint32_t& next = next_free_[segment.truth.header.file];
            segment.truth.extents.push_back({next, segment.extent_length});
            next += segment.extent_length;
        }
    }
    return {segment.truth.header.file, segment.truth.extents[segment.extent].first_block + segment.offset++};
}

Segment& DatabaseBuilder::segment_named(std::string_view name)
{
    for (Segment& s : segments_)
        if (s.truth.name == name) return s;
    throw std::invalid_argument("no segment " + std::string(name));
}

void DatabaseBuilder::write_segment_headers()
{
    const std::uint32_t size = db_.block_size;
    const ByteOrder order = db_.byte_order;
    for (const Segment& s : segments_) {
        const SegmentTruth& t = s.truth;
        if (!t.space_managed) {
            files_.put_image(t.header, freelist_segment_header(t.header.file, t.header.block, t.data_object,
                                                                t.extents, size, order));
            continue;
        }
        const std::uint32_t first = t.extents.front().first_block;
        for (std::uint32_t i = 0; i + 1 < file_format::kSpaceSegmentFirstBlocks.size(); ++i)
            files_.put_image({t.header.file, first + i},
                             empty_typed_block(file_format::kSpaceSegmentFirstBlocks[i], t.header.file, first + i,
                                               size, order));
        files_.put_image(t.header, space_segment_header(t.header.file, t.header.block, t.extents, size, order));
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

void DatabaseBuilder::add_object_rows(std::vector<LogicalRow>& obj, std::vector<LogicalRow>& user) const
{
    const TableDef& obj_table = core_tables_.at("OBJ$");
    const TableDef& user_table = core_tables_.at("USER$");
    for (const UserDef& u : db_.users)
        user.push_back(named_row(user_table, {{"USER#", number(u.id)},
                                              {"NAME", text(u.name)},
                                              {"TYPE#", number(u.type)},
                                              {"DATATS#", number(u.id == kSysUser ? 0 : db_.users_tablespace)},
                                              {"CTIME", kDictionaryCreated}}));
    struct Object {
        std::uint32_t id;
        std::optional<std::uint32_t> data_object;
        std::uint32_t owner;
        std::string name;
        std::string subname;
        std::uint16_t type;
        bool users;
    };
    std::vector<Object> objects;
    for (const Statement& s : statements_) {
        if (s.kind == StatementKind::Other) continue;
        const std::uint16_t type = s.kind == StatementKind::Table     ? kObjectTypeTable
                                   : s.kind == StatementKind::Cluster ? kObjectTypeCluster
                                                                      : kObjectTypeIndex;
        const std::uint32_t data_object =
            s.kind == StatementKind::Table ? core_tables_.at(s.name).data_object_id : s.object;
        objects.push_back({s.object, data_object, kSysUser, s.name, "", type, false});
    }
    for (const ClusterDef& c : db_.clusters)
        objects.push_back({c.object_id, c.data_object_id, user_id(c.owner), c.name, "", kObjectTypeCluster, true});
    for (const TableDef& t : db_.tables) {
        const auto data_object = t.partitions.empty() ? std::optional(t.data_object_id) : std::nullopt;
        objects.push_back({t.object_id, data_object, user_id(t.owner), t.name, "", kObjectTypeTable, true});
        for (const PartitionDef& p : t.partitions)
            objects.push_back(
                {p.object_id, p.data_object_id, user_id(t.owner), t.name, p.name, kObjectTypeTablePartition, true});
    }
    std::sort(objects.begin(), objects.end(), [](const Object& a, const Object& b) { return a.id < b.id; });
    for (const Object& o : objects) {
        const Value created = o.users ? kUsersCreated : kDictionaryCreated;
        obj.push_back(named_row(
            obj_table, {{"OBJ#", number(o.id)},
                        {"DATAOBJ#", o.data_object ? number(*o.data_object) : Value()},
                        {"OWNER#", number(o.owner)},
                        {"NAME", text(o.name)},
                        {"NAMESPACE", number(o.type == kObjectTypeIndex ? kNamespaceIndex
                                             : o.type == kObjectTypeCluster ? kNamespaceCluster
                                                                             : kNamespaceTable)},
                        {"SUBNAME", o.subname.empty() ? Value() : text(o.subname)},
                        {"TYPE#", number(o.type)},
                        {"CTIME", created},
                        {"MTIME", created},
                        {"STIME", created},
                        {"STATUS", number(1)}}));
    }
}

LogicalRow DatabaseBuilder::tab_row(const TableDef& t, std::uint32_t cluster_key_columns) const
{
    const bool partitioned = !t.partitions.empty();
    BlockAddress header{0, 0};
    if (!partitioned) {
        std::string segment = t.owner + "." + t.name;
        if (t.cluster)
            for (const ClusterDef& c : db_.clusters)
                if (c.object_id == t.cluster->cluster_object) segment = c.owner + "." + c.name;
        if (t.owner == "SYS" && t.cluster)
            for (const ClusterDef& c : core_clusters_)
                if (c.object_id == t.cluster->cluster_object) segment = "SYS." + c.name;
        for (const Segment& s : segments_)
            if (s.truth.name == segment) header = s.truth.header;
    }
    std::uint32_t property = 0;
    if (t.cluster) property |= kTableClustered;
    if (partitioned) property |= kTablePartitioned;
    std::uint32_t visible = 0;
    for (const ColumnDef& c : t.columns) visible += c.hidden() ? 0 : 1;
    return named_row(core_tables_.at("TAB$"),
                     {{"OBJ#", number(t.object_id)},
                      {"DATAOBJ#", partitioned ? Value() : number(t.data_object_id)},
                      {"TS#", number(t.owner == "SYS" ? 0 : db_.users_tablespace)},
                      {"FILE#", number(header.file)},
                      {"BLOCK#", number(header.block)},
                      {"BOBJ#", t.cluster ? number(t.cluster->cluster_object) : Value()},
                      {"TAB#", t.cluster ? number(t.cluster->table) : Value()},
                      {"COLS", number(visible)},
                      {"CLUCOLS", t.cluster ? number(cluster_key_columns) : Value()},
                      {"PCTFREE$", number(10)},
                      {"PCTUSED$", number(40)},
                      {"INITRANS", number(1)},
                      {"MAXTRANS", number(255)},
                      {"INTCOLS", number(static_cast<std::int64_t>(t.columns.size()))},
                      {"KERNELCOLS", number(static_cast<std::int64_t>(t.stored_count()))},
                      {"PROPERTY", number(property)}});
}

void DatabaseBuilder::add_col_rows(std::map<std::uint32_t, std::vector<LogicalRow>>& by_object,
                                   std::uint32_t object, const std::vector<ColumnDef>& columns,
                                   const std::vector<ColumnNumbers>& numbers) const
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
    }
}

TableRows& DatabaseBuilder::rows_for(const std::string& owner, const std::string& table, const std::string& partition,
                                     std::uint32_t data_object)
{
    out_.rows.push_back({owner, table, partition, data_object, {}});
    return out_.rows.back();
}

// ---------------------------------------------------------------------------
// Laying the rows out

void DatabaseBuilder::lay_out_dictionary()
{
    std::vector<LogicalRow> obj_rows, user_rows;
    add_object_rows(obj_rows, user_rows);

    // TAB$ and COL$ rows by the object they describe: the cluster key.
    std::map<std::uint32_t, LogicalRow> tab_rows;
    std::map<std::uint32_t, std::vector<LogicalRow>> col_rows;
    auto describe_table = [&](const TableDef& t, std::uint32_t key_columns) {
        tab_rows.emplace(t.object_id, tab_row(t, key_columns));
        add_col_rows(col_rows, t.object_id, t.columns, t.numbers());
    };
    auto describe_cluster = [&](const ClusterDef& c) {
        TableDef keys;
        keys.columns = c.key;
        add_col_rows(col_rows, c.object_id, c.key, keys.numbers());
    };
    auto key_count = [](const std::vector<ClusterDef>& clusters, const TableDef& t) {
        for (const ClusterDef& c : clusters)
            if (t.cluster && c.object_id == t.cluster->cluster_object) return static_cast<std::uint32_t>(c.key.size());
        return 0u;
    };
    for (const ClusterDef& c : core_clusters_) describe_cluster(c);
    for (const auto& [name, t] : core_tables_) describe_table(t, key_count(core_clusters_, t));
    for (const ClusterDef& c : db_.clusters) describe_cluster(c);
    for (const TableDef& t : db_.tables) describe_table(t, key_count(db_.clusters, t));

    std::vector<BootstrapLine> lines = bootstrap_lines();
    if (damage_ == SystemDamage::UnparsableBootstrapRow)
        for (BootstrapLine& line : lines)
            if (line.object == static_cast<std::int32_t>(kObjObject)) line.sql.resize(line.sql.size() / 2);
    std::vector<LogicalRow> bootstrap_rows;
    for (const BootstrapLine& line : lines)
        bootstrap_rows.push_back(named_row(
            core_tables_.at("BOOTSTRAP$"),
            {{"LINE#", number(line.line)}, {"OBJ#", number(line.object)}, {"SQL_TEXT", text(line.sql)}}));

    // The rows each core table holds, for the truth.
    core_tables_.at("OBJ$").rows = obj_rows;
    core_tables_.at("USER$").rows = user_rows;
    core_tables_.at("BOOTSTRAP$").rows = bootstrap_rows;
    for (const auto& [object, row] : tab_rows) core_tables_.at("TAB$").rows.push_back(row);
    for (const auto& [object, rows] : col_rows)
        for (const LogicalRow& row : rows) core_tables_.at("COL$").rows.push_back(row);

    for (const char* heap : {"OBJ$", "BOOTSTRAP$"}) {
        const TableDef& t = core_tables_.at(heap);
        lay_out_heap(t.owner, t.name, "", segment_named("SYS." + t.name), t.data_object_id, t.rows, {},
                     t.stored_count());
    }
    for (const ClusterDef& c : core_clusters_) {
        std::vector<const TableDef*> members;
        for (const auto& [name, t] : core_tables_)
            if (t.cluster && t.cluster->cluster_object == c.object_id) members.push_back(&t);
        lay_out_cluster(c, members, segment_named("SYS." + c.name));
    }
    for (const char* name : {"OBJ$", "TAB$", "COL$", "USER$", "BOOTSTRAP$"}) out_.dictionary.push_back(core_tables_.at(name));
}

void DatabaseBuilder::lay_out_heap(const std::string& owner, const std::string& name, const std::string& partition,
                                   Segment& segment, std::uint32_t data_object, const std::vector<LogicalRow>& rows,
                                   const std::map<std::size_t, RowShape>& shapes, std::size_t column_count)
{
    RowWriter writer(files_, segment.truth.space_managed ? users_format(data_object) : system_format(data_object));
    HeapInserter inserter(writer, source(segment), keep_free());
    TableRows& truths = rows_for(owner, name, partition, data_object);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].values.size() > column_count)
            throw std::invalid_argument(owner + "." + name + ": a row of more values than stored columns");
        const auto shape = shapes.find(i);
        truths.rows.push_back(inserter.insert(rows[i], shape == shapes.end() ? RowShape::Ordinary : shape->second));
    }
}

void DatabaseBuilder::lay_out_older_generation(const TableDef& t, Segment& segment)
{
    // The old rows fill the segment's first blocks; the new generation then
    // formats the blocks it needs again from the first one on, and the old
    // rows in the blocks beyond remain.
    const OlderGeneration& older = *t.older;
    TableRows old_truths;
    {
        RowWriter writer(files_, users_format(older.data_object_id));
        HeapInserter inserter(writer, source(segment), keep_free());
        for (const LogicalRow& row : older.rows) old_truths.rows.push_back(inserter.insert(row));
    }
    const Segment restarted = segment;
    segment.extent = 0;
    segment.offset = 3;  // the first data block, after the bitmap blocks and the header
    std::vector<BlockAddress> reused;
    const BlockFormat format = users_format(t.data_object_id);
    RowWriter writer(files_, format);
    HeapInserter inserter(writer, [&] {
        const BlockAddress at = take_block(segment);
        files_.reformat(at, format);
        reused.push_back(at);
        return at;
    }, keep_free());
    TableRows& truths = rows_for(t.owner, t.name, "", t.data_object_id);
    for (const LogicalRow& row : t.rows) truths.rows.push_back(inserter.insert(row));
    segment.extent = restarted.extent;
    segment.offset = restarted.offset;

    TableRows& survivors = rows_for(t.owner, t.name, "", older.data_object_id);
    for (RowTruth& truth : old_truths.rows)
        if (std::find(reused.begin(), reused.end(), truth.head->block_address()) == reused.end())
            survivors.rows.push_back(std::move(truth));
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

    RowWriter writer(files_, segment.truth.space_managed ? users_format(cluster.data_object_id)
                                                         : system_format(cluster.data_object_id));
    std::vector<RowTruth> truths = writer.cluster(source(segment), cluster.table_count, keys);
    std::vector<std::vector<RowTruth>> by_table(tables.size());
    for (std::size_t t = 0; t < tables.size(); ++t) by_table[t].resize(tables[t]->rows.size());
    for (std::size_t i = 0; i < truths.size(); ++i) by_table[order[i].first][order[i].second] = std::move(truths[i]);
    for (std::size_t t = 0; t < tables.size(); ++t)
        rows_for(tables[t]->owner, tables[t]->name, "", cluster.data_object_id).rows = std::move(by_table[t]);
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
        lay_out_cluster(c, members, segment_named(c.owner + "." + c.name));
    }
    for (const TableDef& t : db_.tables) {
        if (t.cluster) continue;
        const std::string name = t.owner + "." + t.name;
        for (const PartitionDef& p : t.partitions)
            lay_out_heap(t.owner, t.name, p.name, segment_named(name + ":" + p.name), p.data_object_id, p.rows, {},
                         t.stored_count());
        if (!t.partitions.empty()) continue;
        if (t.older) lay_out_older_generation(t, segment_named(name));
        else lay_out_heap(t.owner, t.name, "", segment_named(name), t.data_object_id, t.rows, t.shapes,
                          t.stored_count());
    }
}

void DatabaseBuilder::write_file_headers()
{
    const std::uint32_t size = db_.block_size;
    const ByteOrder order = db_.byte_order;
    for (const std::uint16_t file : {std::uint16_t{1}, db_.users_file}) {
        const std::uint32_t blocks = std::max(next_free_[file], files_.block_count(file));
        next_free_[file] = blocks;
        FileHeader header;
        header.database_id = db_.id;
        header.database_name = db_.name;
        header.block_count = blocks;
        header.absolute_file = file;
        header.relative_file = file;
        if (file == 1) {
            if (damage_ != SystemDamage::ClearedRoot) header.root_address = block_address(out_.root.file, out_.root.block);
        } else {
            header.tablespace_number = db_.users_tablespace;
            header.tablespace_name = "USERS";
        }
        files_.put_image({file, 0}, os_header_block(size, blocks, order));
        files_.put_image({file, 1}, file_header_block(header, size, order));
    }
}

void DatabaseBuilder::plant_damage()
{
    std::optional<BlockAddress> damaged;
    if (damage_ == SystemDamage::ObjSegmentHeader) damaged = segment_named("SYS.OBJ$").truth.header;
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
    for (const ClusterDef& c : db_.clusters) add_users_segment(c.owner + "." + c.name, c.data_object_id);
    for (const TableDef& t : db_.tables) {
        if (t.cluster) continue;
        for (const PartitionDef& p : t.partitions)
            add_users_segment(t.owner + "." + t.name + ":" + p.name, p.data_object_id);
        if (t.partitions.empty()) add_users_segment(t.owner + "." + t.name, t.data_object_id);
    }

    lay_out_dictionary();
    lay_out_users_tables();
    write_segment_headers();
    write_file_headers();
    plant_damage();

    for (const Segment& s : segments_) out_.segments.push_back(s.truth);
    out_.system = files_.file(1, next_free_[1]);
    out_.users = files_.file(db_.users_file, next_free_[db_.users_file]);
    return std::move(out_);
}

// ---------------------------------------------------------------------------
// The sample database's columns

ColumnDef number_column(std::string name, std::optional<std::int32_t> precision = std::nullopt,
                        std::optional<std::int32_t> scale = std::nullopt, bool nullable = true)
{
    ColumnDef c;
    c.name = std::move(name);
    c.precision = precision;
    c.scale = scale;
    c.nullable = nullable;
    return c;
}

ColumnDef text_column(std::string name, std::uint16_t type, std::uint32_t length, std::uint16_t charset,
                      std::uint8_t form = kCharsetFormDatabase)
{
    ColumnDef c;
    c.name = std::move(name);
    c.type = type;
    c.length = length;
    c.charset_id = charset;
    c.charset_form = form;
    return c;
}

ColumnDef typed_column(std::string name, std::uint16_t type, std::uint32_t length,
                       std::optional<std::int32_t> precision = std::nullopt,
                       std::optional<std::int32_t> scale = std::nullopt)
{
    ColumnDef c = number_column(std::move(name), precision, scale);
    c.type = type;
    c.length = length;
    return c;
}

// A physical UROWID: a leading 1, then the data object, file, block and
// slot.
Value urowid_value(std::uint32_t object, std::uint16_t file, std::uint32_t block, std::uint16_t slot)
{
    return Bytes{0x01,
                 static_cast<std::uint8_t>(object >> 24), static_cast<std::uint8_t>(object >> 16),
                 static_cast<std::uint8_t>(object >> 8),  static_cast<std::uint8_t>(object),
                 static_cast<std::uint8_t>(file >> 8),    static_cast<std::uint8_t>(file),
                 static_cast<std::uint8_t>(block >> 24),  static_cast<std::uint8_t>(block >> 16),
                 static_cast<std::uint8_t>(block >> 8),   static_cast<std::uint8_t>(block),
                 static_cast<std::uint8_t>(slot >> 8),    static_cast<std::uint8_t>(slot)};
}

Value national(std::string_view utf8) { return nchar_value(utf8); }

TableDef all_types_table()
{
    const std::uint16_t db = kCharsetAl32Utf8, nat = kCharsetAl16Utf16;
    TableDef t;
    t.owner = "HR";
    t.name = "ALL_TYPES";
    t.object_id = t.data_object_id = 87101;
    ColumnDef note = text_column("NOTE_CHAR", kTypeVarchar2, 40, db);
    note.property = kColumnCharLength;
    note.char_length = 10;
    t.columns = {
        number_column("ID", 10, 0, false),
        text_column("NAME", kTypeVarchar2, 40, db),
        text_column("NAME_N", kTypeVarchar2, 40, nat, kCharsetFormNational),
        number_column("AMOUNT", 12, 2),
        number_column("RATIO", 126, -127),  // FLOAT(126)
        typed_column("BORN", kTypeDate, 7),
        typed_column("CODE", kTypeRaw, 16),
        typed_column("ROW_REF", kTypeRowid, 10),
        text_column("FIXED", kTypeChar, 10, db),
        text_column("FIXED_N", kTypeChar, 10, nat, kCharsetFormNational),
        typed_column("BF", kTypeBinaryFloat, 4),
        typed_column("BD", kTypeBinaryDouble, 8),
        typed_column("TS", kTypeTimestamp, 11, std::nullopt, 6),
        typed_column("TSTZ", kTypeTimestampTz, 13, std::nullopt, 3),
        typed_column("IYM", kTypeIntervalYm, 5, 2, 0),
        typed_column("IDS", kTypeIntervalDs, 11, 3, 4),
        typed_column("UR", kTypeUrowid, 4000),
        typed_column("TSLTZ", kTypeTimestampLtz, 11, std::nullopt, 6),
        text_column("DOC", kTypeClob, 4000, db),
        typed_column("PIC", kTypeBlob, 4000),
        note,
        text_column("TEXT", kTypeLong, 0, db),
    };
    std::string long_text;
    for (int i = 0; i < 12; ++i) long_text += "A LONG value, stored last. ";
    t.rows = {
        {{number(1), text("Gr\xC3\xBC\xC3\x9F" "e"), national("Zo\u00EB"), decimal("12345.67"), decimal("0.125"),
          date(1985, 7, 14, 9, 30, 0), Bytes{0xDE, 0xAD, 0xBE, 0xEF}, rowid_value(87101, 4, 20, 3),
          text("ABC       "), national("ab   "), binary_float_value(1.5f), binary_double_value(-2.25),
          timestamp_value(2020, 2, 29, 23, 59, 58, 123456000),
          timestamp_tz_value(2021, 6, 1, 12, 0, 0, 500000000, 120), interval_ym_value(1, 6),
          interval_ds_value(3, 4, 5, 6, 700000000), urowid_value(87101, 4, 20, 3),
          timestamp_value(2022, 1, 2, 3, 4, 5), lob_locator_value(1), lob_locator_value(2), text("na\xC3\xAFve"),
          text(long_text)},
         false},
        // NULLs between values, and only the LONG column at the end.
        {{number(2), std::nullopt, std::nullopt, decimal("-0.5"), std::nullopt, std::nullopt, std::nullopt,
          std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt,
          interval_ym_value(-2, -3), std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt,
          std::nullopt, text("only the long")},
         false},
        // Trailing NULLs, not stored.
        {{number(3), text("x")}, false},
        {{number(4), text("deleted")}, true},
    };
    return t;
}

TableDef photos_table()
{
    TableDef t;
    t.owner = "SCOTT";
    t.name = "PHOTOS";
    t.object_id = t.data_object_id = 87105;
    t.columns = {number_column("ID", 6, 0, false), typed_column("TAKEN", kTypeDate, 7),
                 typed_column("IMAGE", kTypeLongRaw, 0)};
    Bytes image(600);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 7);
    t.rows = {{{number(1), date(2018, 5, 6, 7, 8, 9), image}, false}, {{number(2), std::nullopt, Bytes{0xFF}}, false}};
    return t;
}

// SCOTT's departments and employees, clustered by department number.
std::pair<ClusterDef, std::vector<TableDef>> emp_dept_cluster()
{
    ClusterDef c;
    c.owner = "SCOTT";
    c.name = "EMP_DEPT";
    c.object_id = c.data_object_id = 87110;
    c.key = {number_column("DEPTNO", 2, 0)};
    c.table_count = 3;
    TableDef dept;
    dept.owner = "SCOTT";
    dept.name = "DEPT";
    dept.object_id = 87111;
    dept.data_object_id = c.data_object_id;
    dept.cluster = ClusterPlace{c.object_id, 1};
    dept.columns = {number_column("DEPTNO", 2, 0, false), text_column("DNAME", kTypeVarchar2, 14, kCharsetAl32Utf8),
                    text_column("LOC", kTypeVarchar2, 13, kCharsetAl32Utf8)};
    const char* departments[][3] = {
        {"10", "ACCOUNTING", "NEW YORK"}, {"20", "RESEARCH", "DALLAS"}, {"30", "SALES", "CHICAGO"},
        {"40", "OPERATIONS", "BOSTON"}};
    for (const auto& d : departments) dept.rows.push_back({{decimal(d[0]), text(d[1]), text(d[2])}, false});
    TableDef emp;
    emp.owner = "SCOTT";
    emp.name = "EMP";
    emp.object_id = 87112;
    emp.data_object_id = c.data_object_id;
    emp.cluster = ClusterPlace{c.object_id, 2};
    emp.columns = {number_column("DEPTNO", 2, 0), number_column("EMPNO", 4, 0, false),
                   text_column("ENAME", kTypeVarchar2, 10, kCharsetAl32Utf8),
                   text_column("JOB", kTypeVarchar2, 9, kCharsetAl32Utf8), number_column("SAL", 7, 2)};
    const char* employees[][5] = {
        {"20", "7369", "SMITH", "CLERK", "800"},     {"30", "7499", "ALLEN", "SALESMAN", "1600"},
        {"30", "7521", "WARD", "SALESMAN", "1250"},  {"20", "7566", "JONES", "MANAGER", "2975"},
        {"30", "7654", "MARTIN", "SALESMAN", "1250"}, {"30", "7698", "BLAKE", "MANAGER", "2850"},
        {"10", "7782", "CLARK", "MANAGER", "2450"},  {"20", "7788", "SCOTT", "ANALYST", "3000"},
        {"10", "7839", "KING", "PRESIDENT", "5000"}, {"30", "7844", "TURNER", "SALESMAN", "1500"},
        {"20", "7876", "ADAMS", "CLERK", "1100"},    {"30", "7900", "JAMES", "CLERK", "950"},
        {"20", "7902", "FORD", "ANALYST", "3000"},   {"10", "7934", "MILLER", "CLERK", "1300.50"}};
    for (const auto& e : employees)
        emp.rows.push_back({{decimal(e[0]), decimal(e[1]), text(e[2]), text(e[3]), decimal(e[4])}, false});
    emp.rows[4].deleted = true;
    emp.rows.push_back({{decimal("50"), decimal("7999"), text("NOBODY")}, false});  // a key with no department
    return {c, {dept, emp}};
}

TableDef wide_table()
{
    TableDef t;
    t.owner = "SCOTT";
    t.name = "WIDE";
    t.object_id = t.data_object_id = 87120;
    for (int i = 1; i <= 300; ++i) {
        const std::string digits = std::to_string(i);
        std::string name(4 - digits.size(), '0');
        name[0] = 'C';
        t.columns.push_back(number_column(name.append(digits)));
    }
    auto row = [](int set, int step, std::int64_t base) {
        LogicalRow r;
        for (int i = 0; i < set; ++i) r.values.push_back(i % step == 0 ? number(base + i) : Value());
        return r;
    };
    t.rows = {row(300, 1, 1000), row(280, 1, 2000), row(100, 1, 3000), row(300, 299, 4000)};
    return t;
}

TableDef hidden_columns_table()
{
    TableDef t;
    t.owner = "HR";
    t.name = "HIDDEN_COLS";
    t.object_id = t.data_object_id = 87130;
    ColumnDef secret = text_column("SECRET", kTypeVarchar2, 20, kCharsetAl32Utf8);
    secret.property = kColumnHidden;
    ColumnDef unused = number_column("SYS_C00003_19030112:00:00$");
    unused.property = kColumnHidden | kColumnUnused;
    ColumnDef total = number_column("TOTAL");
    total.property = kColumnUserVirtual;
    t.columns = {number_column("ID", 6, 0, false), secret, unused, total,
                 text_column("NOTE", kTypeVarchar2, 30, kCharsetAl32Utf8)};
    t.rows = {{{number(1), text("s3cret"), number(42), text("first")}, false},
              {{number(2), std::nullopt, std::nullopt, text("second")}, false},
              {{number(3), text("x")}, false}};
    return t;
}

TableDef partitioned_table()
{
    TableDef t;
    t.owner = "SCOTT";
    t.name = "SALES";
    t.object_id = 87140;
    t.columns = {number_column("SALE_ID", 8, 0, false), number_column("SALE_YEAR", 4, 0),
                 number_column("AMOUNT", 10, 2)};
    for (const auto& [year, object] : {std::pair{2019, 87141u}, std::pair{2020, 87142u}}) {
        PartitionDef p{"P" + std::to_string(year), object, object, {}};
        for (int i = 1; i <= 3; ++i)
            p.rows.push_back({{number(year * 10 + i), number(year), decimal(std::to_string(i * 100 + year % 100) + ".25")},
                              false});
        t.partitions.push_back(p);
    }
    return t;
}

TableDef truncated_table(std::uint32_t block_size)
{
    TableDef t;
    t.owner = "SCOTT";
    t.name = "EVENTS";
    t.object_id = 87150;
    t.data_object_id = 87151;
    t.columns = {number_column("ID", 8, 0, false), text_column("WHAT", kTypeVarchar2, 100, kCharsetAl32Utf8),
                 typed_column("HAPPENED", kTypeDate, 7)};
    for (int i = 1; i <= 3; ++i)
        t.rows.push_back({{number(i), text("after the truncate " + std::to_string(i)), date(2020, 1, i)}, false});
    // Enough old rows for several blocks, so that some outlive the new ones.
    OlderGeneration older{87150, {}};
    const auto count = static_cast<int>(block_size * 3 / 100);
    for (int i = 1; i <= count; ++i)
        older.rows.push_back({{number(i), text("before the truncate, event number " + std::to_string(i) +
                                              std::string(40, '.')),
                               date(2019, 1 + i % 12, 1 + i % 28)},
                              false});
    t.older = older;
    return t;
}

TableDef other_charset_table()
{
    TableDef t;
    t.owner = "SCOTT";
    t.name = "CUSTOMERS_1252";
    t.object_id = t.data_object_id = 87160;
    t.columns = {number_column("ID", 6, 0, false), text_column("NAME", kTypeVarchar2, 40, kCharsetWe8MsWin1252),
                 text_column("CITY", kTypeVarchar2, 30, kCharsetAl32Utf8)};
    t.rows = {{{number(1), text("Cr\xE8me br\xFBl\xE9" "e"), text("Paris")}, false},
              {{number(2), text("M\xFCller"), text("Z\xC3\xBCrich")}, false},
              {{number(3), text("\x80uro")}, false}};
    return t;
}

// Rows longer than a block need more columns of 4000 bytes the larger the
// block is.
TableDef chained_rows_table(std::uint32_t block_size)
{
    TableDef t;
    t.owner = "SCOTT";
    t.name = "NOTES";
    t.object_id = t.data_object_id = 87170;
    t.columns = {number_column("ID", 6, 0, false), text_column("TITLE", kTypeVarchar2, 100, kCharsetAl32Utf8)};
    const std::size_t parts = block_size / 4000 + 2;
    LogicalRow long_row{{number(2), text("long")}, false};
    for (std::size_t i = 1; i <= parts; ++i) {
        t.columns.push_back(text_column("PART" + std::to_string(i), kTypeVarchar2, 4000, kCharsetAl32Utf8));
        long_row.values.push_back(text(std::string(4000, static_cast<char>('a' + i % 26))));
    }
    LogicalRow moved_long = long_row;
    moved_long.values[0] = number(4);
    moved_long.values[1] = text("moved and long");
    t.rows = {
        {{number(1), text("short"), text("a short note")}, false},
        long_row,
        {{number(3), text("moved"), text("grew after an update")}, false},
        moved_long,
        {{number(5), text("gone"), text("deleted since")}, true},
        {{number(1), text("short"), text("an older note")}, false},
        {{number(6), text("after")}, false},
    };
    t.shapes = {{1, RowShape::Chained}, {2, RowShape::Migrated}, {3, RowShape::Migrated}, {5, RowShape::StaleCopy}};
    return t;
}

}  // namespace

// ---------------------------------------------------------------------------

std::vector<BootstrapLine> bootstrap_lines(std::string_view text)
{
    std::vector<BootstrapLine> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.empty()) continue;
        const std::size_t first = line.find('\t');
        const std::size_t second = line.find('\t', first + 1);
        if (second == std::string_view::npos) throw std::invalid_argument("a BOOTSTRAP$ line holds three fields");
        lines.push_back({std::stoi(std::string(line.substr(0, first))),
                         std::stoi(std::string(line.substr(first + 1, second - first - 1))),
                         std::string(line.substr(second + 1))});
    }
    return lines;
}

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

std::size_t TableDef::stored_count() const
{
    return static_cast<std::size_t>(std::count_if(columns.begin(), columns.end(), [](const ColumnDef& c) { return c.stored(); }));
}

Bytes lob_locator_value(std::uint32_t lob_id)
{
    // A length, a version and flags, then the LOB's id.
    Bytes b{0x00, 0x70, 0x00, 0x01, 0x02, 0x0C, 0x80, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x01};
    for (int shift = 24; shift >= 0; shift -= 8) b.push_back(static_cast<std::uint8_t>(lob_id >> shift));
    return b;
}

Database sample_database(std::uint32_t block_size, ByteOrder order)
{
    Database db;
    db.block_size = block_size;
    db.byte_order = order;
    db.users = {{0, "SYS", kUserTypeUser},
                {1, "PUBLIC", kUserTypeRole},
                {5, "SYSTEM", kUserTypeUser},
                {84, "SCOTT", kUserTypeUser},
                {85, "HR", kUserTypeUser}};
    auto [cluster, clustered] = emp_dept_cluster();
    db.clusters = {cluster};
    db.tables = {all_types_table(), photos_table()};
    db.tables.insert(db.tables.end(), clustered.begin(), clustered.end());
    for (TableDef t : {wide_table(), hidden_columns_table(), partitioned_table(), truncated_table(block_size),
                       other_charset_table(), chained_rows_table(block_size)})
        db.tables.push_back(std::move(t));
    return db;
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
    write_file(directory + "/system01.dbf", build_file(built.system));
    write_file(directory + "/users01.dbf", build_file(built.users));
}

}  // namespace datafile
