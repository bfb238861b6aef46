#include "dictionary/dictionary.h"

#include <algorithm>
#include <array>
#include <functional>
#include <span>
#include <cstdint>
#include <map>
#include <set>
#include <tuple>
#include <unordered_map>

#include "dictionary/bootstrap.h"
#include "dictionary/core_rows.h"
#include "dictionary/row_fields.h"
#include "format/dictionary_format.h"
#include "schema/oracle_types.h"

namespace dictionary {

namespace {

// The dictionary table of table partitions: their segments.
constexpr std::string_view kPartitionTable = "TABPART$";
// The dictionary table of LOB columns: their segments and storage.
constexpr std::string_view kLobTable = "LOB$";
// The dictionary table of indexes: where each LOB index's segment lies.
constexpr std::string_view kIndexTable = "IND$";
// The dictionary table of a partitioned LOB's segments, one a partition.
constexpr std::string_view kLobFragmentTable = "LOBFRAG$";
// How many tables a warning names before it says "...".
constexpr std::size_t kNamesInWarning = 5;
// The most columns a table stores.
constexpr std::uint32_t kMostStoredColumns = 1000;

std::string plural(std::uint64_t count, const char* one, const char* many)
{
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

// "A, B, C, ..." of the first kNamesInWarning names.
std::string some_names(const std::vector<std::string>& names)
{
    std::string text;
    for (std::size_t i = 0; i < names.size() && i < kNamesInWarning; ++i) text += (i == 0 ? "" : ", ") + names[i];
    if (names.size() > kNamesInWarning) text += ", ...";
    return text;
}

// The character set id most of the columns of `form` are in (0 when no
// column is), those of SYS's tables first: the dictionary's own text is in
// the database character set.
std::uint32_t usual_charset(const schema::Schema& schema, schema::CharsetForm form)
{
    for (const bool sys_only : {true, false}) {
        std::map<std::uint32_t, std::uint64_t> counts;
        for (const schema::Table& table : schema.tables) {
            if (sys_only && table.owner != "SYS") continue;
            for (const schema::Column& column : table.columns)
                if (column.charset_form == form && column.charset_id != 0) ++counts[column.charset_id];
        }
        if (counts.empty()) continue;
        return std::max_element(counts.begin(), counts.end(), [](const auto& a, const auto& b) {
                   return a.second < b.second;
               })->first;
    }
    return 0;
}

class Loader {
public:
    Loader(DataFileSet& files, DataFile& system, LoadNotes& notes, std::string& error)
        : files_(files), system_(system), notes_(notes), error_(error)
    {
    }

    bool load(Dictionary& dictionary)
    {
        if (!read_bootstrap(files_, system_, bootstrap_, notes_, error_)) return false;
        if (!find_core_tables()) return false;
        if (auto unparsed = unparsed_statements(bootstrap_)) notes_.warn(*unparsed);
        locate_segments();
        read_core_rows();
        if (!check_required_rows()) return false;
        dictionary.users = std::move(users_.rows);
        std::sort(dictionary.users.begin(), dictionary.users.end(),
                  [](const User& a, const User& b) { return a.number < b.number; });
        build_schema(dictionary);
        place_partitions(dictionary.schema);
        place_lobs(dictionary.schema);
        dictionary.release = release_of(bootstrap_, readings_.front().table, system_);  // OBJ$'s, read first
        return true;
    }

private:
    // A core table whose rows are read, and what reads them: its live rows,
    // and apart from them those marked deleted.
    struct Reading {
        CoreTable table;
        RowHandler handler;
        RowHandler deleted_handler;
        bool required = false;
    };

    // What the rows marked deleted hold: the dictionary as it was before
    // a DROP or another DDL removed them.
    struct DeletedRows {
        CoreRows<ObjectRow> objects;
        CoreRows<TableRow> tables;
        ColumnRows columns;
        CoreRows<User> users;
    };

    // OBJ$ and COL$ are needed; without TAB$ tables lose their cluster
    // placement, without USER$ their owners' names.
    bool find_core_tables()
    {
        add_reading("OBJ$", true, [this](const CoreTable& t, bool live, std::string& e) {
            return object_rows(t, live ? objects_ : deleted_.objects, e);
        });
        add_reading("COL$", true, [this](const CoreTable& t, bool live, std::string& e) {
            return column_rows(t, live ? columns_ : deleted_.columns, e);
        });
        add_reading("TAB$", false, [this](const CoreTable& t, bool live, std::string& e) {
            return table_rows(t, live ? tables_ : deleted_.tables, e);
        });
        add_reading("USER$", false, [this](const CoreTable& t, bool live, std::string& e) {
            return user_rows(t, live ? users_ : deleted_.users, e);
        });
        return error_.empty();
    }

    template <typename MakeHandler>
    void add_reading(const char* name, bool required, MakeHandler make_handler)
    {
        if (!error_.empty()) return;
        Reading reading;
        reading.required = required;
        std::string why;
        std::optional<RowHandler> handler;
        if (find_core_table(bootstrap_, name, reading.table, why)) handler = make_handler(reading.table, true, why);
        if (!handler) {
            if (required)
                error_ = "cannot read " + std::string(name) + ": " + why;
            else
                notes_.warn("cannot read " + std::string(name) + ": " + why);
            return;
        }
        reading.handler = std::move(*handler);
        reading.deleted_handler = std::move(*make_handler(reading.table, false, why));
        readings_.push_back(std::move(reading));
    }

    // The blocks of each segment the readings need: through its header's
    // extent map, or, when the header is damaged, by scanning the SYSTEM
    // file for its data object number.
    void locate_segments()
    {
        std::vector<std::pair<DictionarySegment*, std::string>> damaged;
        for (Reading& reading : readings_) {
            DictionarySegment& segment = reading.table.segment;
            if (const DictionarySegment* located = located_segment(segment.name)) {
                segment.blocks = located->blocks;
                continue;
            }
            const SegmentMap map = read_segment_map(files_, segment.header);
            warn_of_map(segment, map, notes_);
            if (map.ok())
                segment.blocks = segment_blocks(map, segment.header);
            else
                damaged.emplace_back(&segment, map.problem);
            located_.push_back(&segment);
        }
        if (damaged.empty()) return;
        std::vector<std::uint32_t> objects;
        for (const auto& [segment, problem] : damaged) objects.push_back(segment->data_object);
        const auto found = scan_for_data_objects(system_, system_.relative_file(), objects);
        for (const auto& [segment, problem] : damaged) {
            segment->blocks = found.at(segment->data_object);
            warn_of_scan(*segment, problem);
        }
        // Tables sharing a damaged cluster's segment take its blocks too.
        for (Reading& reading : readings_)
            if (const DictionarySegment* located = located_segment(reading.table.segment.name))
                reading.table.segment.blocks = located->blocks;
    }

    // A segment whose header could not be read, its blocks found by scanning.
    void warn_of_scan(const DictionarySegment& segment, const std::string& problem)
    {
        notes_.warn(segment.name + "'s segment header (" + place_text(segment.header) + ") " + problem +
                    ": its blocks were found by scanning " + system_.path() + " for data object " +
                    std::to_string(segment.data_object) + " (" + plural(segment.blocks.size(), "block", "blocks") + ")");
    }

    const DictionarySegment* located_segment(const std::string& name) const
    {
        for (const DictionarySegment* segment : located_)
            if (segment->name == name) return segment;
        return nullptr;
    }

    // Each segment once, its rows handed to the tables stored in it.
    void read_core_rows()
    {
        for (const DictionarySegment* segment : located_) {
            std::vector<const Reading*> stored;
            for (const Reading& reading : readings_)
                if (reading.table.segment.name == segment->name) stored.push_back(&reading);
            tallies_[segment->name] = read_segment_rows(files_, *segment, notes_, [&](const Row& row) {
                for (const Reading* reading : stored) {
                    if (reading->table.cluster_table != row.cluster_table) continue;
                    // A deleted row describes what was: never a live table.
                    if (row.deleted)
                        reading->deleted_handler(row);
                    else
                        reading->handler(row);
                }
            });
        }
    }

    std::uint64_t rows_read(const std::string& table) const
    {
        if (table == "OBJ$") return objects_.read();
        if (table == "COL$") return columns_.read();
        if (table == "TAB$") return tables_.read();
        return users_.read();
    }

    // Rows passed over, and rows with a value taken as NULL.
    std::pair<std::uint64_t, std::uint64_t> rows_not_read_whole(const std::string& table) const
    {
        if (table == "OBJ$") return {objects_.passed_over, objects_.odd_rows};
        if (table == "COL$") return {columns_.passed_over, columns_.odd_rows};
        if (table == "TAB$") return {tables_.passed_over, tables_.odd_rows};
        return {users_.passed_over, users_.odd_rows};
    }

    // A needed table without rows ends the load; the others are warned of.
    bool check_required_rows()
    {
        for (const Reading& reading : readings_) {
            const std::string& name = reading.table.name;
            const auto [passed, odd] = rows_not_read_whole(name);
            if (passed > 0)
                notes_.warn(name + ": " + plural(passed, "row was", "rows were") +
                            " passed over: a value it needs is NULL or no whole number");
            if (odd > 0)
                notes_.warn(name + ": " + plural(odd, "row holds", "rows hold") +
                            " a value that is no whole number where one was expected: taken as NULL");
            if (rows_read(name) > 0) continue;
            const DictionarySegment& segment = reading.table.segment;
            const SegmentTally& tally = tallies_.at(segment.name);
            const std::string why = name + " holds no rows that could be read: its segment " + segment.name + " (" +
                                    place_text(segment.header) + ") gave " +
                                    plural(tally.data_blocks, "data block", "data blocks") + ", " +
                                    std::to_string(tally.damaged_blocks) + " of them damaged";
            if (reading.required) {
                error_ = why;
                return false;
            }
            notes_.warn(why);
        }
        return true;
    }

    std::string owner_name(std::uint32_t owner)
    {
        const auto found = user_names_.find(owner);
        if (found != user_names_.end()) return found->second;
        unknown_owners_.insert(owner);
        return "USER#" + std::to_string(owner);
    }

    // The columns of an object, stored ones in SEGCOL# order, then those
    // not stored in INTCOL# order; none when COL$ gives none.
    static std::vector<schema::Column> take_columns(ColumnRows& rows, std::uint32_t object)
    {
        const auto found = rows.by_object.find(object);
        if (found == rows.by_object.end()) return {};
        std::vector<schema::Column> columns = std::move(found->second);
        rows.by_object.erase(found);
        sort_columns(columns);
        columns.shrink_to_fit();
        return columns;
    }

    static void sort_columns(std::vector<schema::Column>& columns)
    {
        auto order = [](const schema::Column& c) {
            return std::tuple(c.segment_column == 0, c.segment_column, c.internal_column);
        };
        std::stable_sort(columns.begin(), columns.end(),
                         [&](const schema::Column& a, const schema::Column& b) { return order(a) < order(b); });
    }

    // A stored place before the highest SEGCOL# that no column holds lost
    // its COL$ row: it is kept as a column not described, so that the
    // values after it keep their places.
    static bool add_undescribed_places(std::vector<schema::Column>& columns)
    {
        std::set<std::uint32_t> places;
        for (const schema::Column& column : columns)
            if (column.segment_column != 0 && !column.is_virtual) places.insert(column.segment_column);
        if (places.empty()) return false;
        const std::uint32_t highest = *places.rbegin();
        // A SEGCOL# past the most a table stores is a damaged value, not a place.
        if (highest > kMostStoredColumns) return false;
        bool added = false;
        for (std::uint32_t place = 1; place < highest; ++place) {
            if (places.count(place) != 0) continue;
            schema::Column column;
            column.name = schema::undescribed_column_name(place);
            column.segment_column = place;
            column.described = false;
            columns.push_back(std::move(column));
            added = true;
        }
        if (added) sort_columns(columns);
        return added;
    }

    // Table partitions and subpartitions with a segment, by owner and table
    // name, in object number order.
    static std::map<std::pair<std::uint32_t, std::string>, std::vector<schema::Partition>>
    partitions_by_table(const std::vector<ObjectRow>& objects)
    {
        std::vector<const ObjectRow*> parts;
        for (const ObjectRow& row : objects)
            if ((row.type == kObjectTypeTablePartition || row.type == kObjectTypeTableSubpartition) && row.data_object)
                parts.push_back(&row);
        std::sort(parts.begin(), parts.end(), [](const ObjectRow* a, const ObjectRow* b) { return a->object < b->object; });
        std::map<std::pair<std::uint32_t, std::string>, std::vector<schema::Partition>> by_table;
        for (const ObjectRow* row : parts) {
            std::vector<schema::Partition>& partitions = by_table[{row->owner, row->name}];
            // A deleted row may be read twice over (the same partition dropped twice).
            const bool seen = std::any_of(partitions.begin(), partitions.end(), [&](const schema::Partition& p) {
                return p.data_object == *row->data_object;
            });
            if (!seen) partitions.push_back({row->subname, *row->data_object, row->object, std::nullopt});
        }
        return by_table;
    }

    void build_schema(Dictionary& dictionary)
    {
        for (const User& user : dictionary.users) user_names_[user.number] = user.name;
        // A dropped user's tables keep its name.
        for (const User& user : deleted_.users.rows) user_names_.emplace(user.number, user.name);
        std::unordered_map<std::uint32_t, const TableRow*> placement;
        for (const TableRow& row : tables_.rows) placement[row.object] = &row;
        auto partitions = partitions_by_table(objects_.rows);
        std::vector<std::string> without_columns, short_of_columns, unplaced;

        schema::Schema& schema = dictionary.schema;
        for (const ObjectRow& object : objects_.rows) {
            if (object.type != kObjectTypeTable) continue;
            schema::Table table;
            table.owner = owner_name(object.owner);
            table.name = object.name;
            table.object_number = object.object;
            table.data_object = object.data_object;
            const auto tab = placement.find(object.object);
            if (tab != placement.end()) place(*tab->second, table);
            table.columns = take_columns(columns_, object.object);
            if (auto found = partitions.find({object.owner, object.name}); found != partitions.end())
                table.partitions = found->second;
            const std::string full_name = table.owner + "." + table.name;
            if (tab == placement.end()) unplaced.push_back(full_name);
            std::optional<std::uint32_t> counted;
            if (tab != placement.end()) counted = tab->second->columns;
            const bool gaps = add_undescribed_places(table.columns);
            const bool missing = gaps || columns_missing(table.columns, counted);
            if (table.columns.empty())
                without_columns.push_back(full_name);
            else if (missing)
                short_of_columns.push_back(full_name);
            mark_missing_columns(table, missing);
            schema.tables.push_back(std::move(table));
        }
        add_dropped_tables(schema);
        std::sort(schema.tables.begin(), schema.tables.end(), [](const schema::Table& a, const schema::Table& b) {
            return std::tie(a.owner, a.name, a.dropped, a.object_number) <
                   std::tie(b.owner, b.name, b.dropped, b.object_number);
        });
        if (!without_columns.empty())
            notes_.warn("COL$ holds no columns of " + plural(without_columns.size(), "table", "tables") + ": " +
                        some_names(without_columns) + ": the values their rows store are unloaded as COL<n> columns "
                        "(n their place in the row) typed by inference");
        if (!short_of_columns.empty())
            notes_.warn("COL$ lacks some columns of " + plural(short_of_columns.size(), "table", "tables") + ": " +
                        some_names(short_of_columns) + ": the values of those their rows store are unloaded as "
                        "COL<n> columns (n their place in the row) typed by inference");
        if (!unplaced.empty() && !tables_.rows.empty())
            notes_.warn("TAB$ holds no row for " + plural(unplaced.size(), "table", "tables") + ": " +
                        some_names(unplaced) + ": where their rows are stored is taken from OBJ$ alone");
        warn_unknown_owners();
        set_charsets(schema);
    }

    // The rows of a dictionary table that is no core table (TABPART$,
    // LOB$), those marked deleted too, read as any table's: through its OBJ$, TAB$ and COL$ rows, of
    // its own segment or, clustered, of its table in its cluster's. False,
    // with a warning that says what is then not known (`lost`), when its
    // columns `needed` or its segment are not known (those `optional`,
    // placed in `at` after them, may be unknown); without one when
    // OBJ$ names no such table and `absent_said` is false.
    bool read_sys_table(const schema::Schema& schema, std::string_view name, std::span<const std::string_view> needed,
                        std::vector<ColumnAt>& at, std::string_view lost, bool absent_said,
                        const std::function<void(const Row&)>& each, std::span<const std::string_view> optional = {})
    {
        const auto found = std::find_if(schema.tables.begin(), schema.tables.end(), [&](const schema::Table& t) {
            return t.owner == "SYS" && t.name == name && !t.dropped;
        });
        std::vector<std::string> columns;
        if (found != schema.tables.end())
            for (const schema::Column& column : found->columns)
                if (column.segment_column != 0) columns.push_back(column.name);
        at.clear();
        for (std::string_view column : needed) at.push_back(column_at(columns, column));
        const bool known = std::all_of(at.begin(), at.end(), [](const ColumnAt& a) { return a.has_value(); });
        for (std::string_view column : optional) at.push_back(column_at(columns, column));
        if (found == schema.tables.end() && !absent_said) return false;
        if (found == schema.tables.end() || !found->segment || !found->data_object || !known) {
            notes_.warn(std::string(name) + " cannot be read (its columns or its segment are not known): " +
                        std::string(lost));
            return false;
        }
        const schema::Table& table = *found;
        DictionarySegment segment{std::string(name), *table.data_object,
                                  system_segment_header(bootstrap_, table.segment->file, table.segment->block), {}};
        const SegmentMap map = read_segment_map(files_, segment.header);
        warn_of_map(segment, map, notes_);
        if (map.ok()) {
            segment.blocks = segment_blocks(map, segment.header);
        } else {
            segment.blocks = scan_for_data_objects(system_, system_.relative_file(), std::array{segment.data_object})
                                 .at(segment.data_object);
            warn_of_scan(segment, map.problem);
        }
        const std::optional<std::uint32_t> cluster_table =
            table.cluster ? std::optional(table.cluster->table_number) : std::nullopt;
        read_segment_rows(files_, segment, notes_, [&](const Row& row) {
            if (row.cluster_table == cluster_table) each(row);
        });
        return true;
    }

    // A whole number of a row that fits 32 bits, none otherwise.
    static std::optional<std::uint32_t> u32_field(const Row& row, ColumnAt at)
    {
        bool odd = false;
        const auto number = number_field(row, at, odd);
        if (!number || *number < 0 || *number > UINT32_MAX) return std::nullopt;
        return static_cast<std::uint32_t>(*number);
    }

    // The segment header of each partition, from the rows of SYS.TABPART$
    // when the dictionary has it. Without it, partitions have no known
    // segment.
    void place_partitions(schema::Schema& schema)
    {
        const bool partitioned = std::any_of(schema.tables.begin(), schema.tables.end(),
                                             [](const schema::Table& t) { return !t.partitions.empty(); });
        if (!partitioned) return;
        static constexpr std::string_view kNeeded[] = {"OBJ#", "FILE#", "BLOCK#"};
        std::vector<ColumnAt> at;
        std::unordered_map<std::uint32_t, schema::SegmentHeader> headers;
        if (!read_sys_table(schema, kPartitionTable, kNeeded, at, "the partitions' segments are not known", true,
                            [&](const Row& row) {
                                const auto number = u32_field(row, at[0]), f = u32_field(row, at[1]),
                                           b = u32_field(row, at[2]);
                                if (!number || !f || !b || *f == 0 || *number == 0) return;
                                headers[*number] = {*f, *b};
                            }))
            return;
        for (schema::Table& table : schema.tables)
            for (schema::Partition& partition : table.partitions)
                if (const auto header = headers.find(partition.object_number); header != headers.end())
                    partition.segment = header->second;
    }

    // Each LOB column's LOB segment and storage, from the rows of SYS.LOB$
    // (a table of the cluster C_OBJ#, whose place in it TAB$ gives): a row
    // per LOB column, by the table's OBJ# and the column's INTCOL#.
    void place_lobs(schema::Schema& schema)
    {
        auto is_lob = [](const schema::Column& c) {
            return c.type == schema::OracleType::Clob || c.type == schema::OracleType::Nclob ||
                   c.type == schema::OracleType::Blob;
        };
        const bool any = std::any_of(schema.tables.begin(), schema.tables.end(), [&](const schema::Table& t) {
            return t.owner != "SYS" && std::any_of(t.columns.begin(), t.columns.end(), is_lob);
        });
        if (!any) return;
        static constexpr std::string_view kNeeded[] = {"OBJ#",  "INTCOL#", "LOBJ#", "FILE#",
                                                       "BLOCK#", "CHUNK",   "FLAGS", "PROPERTY"};
        // Without IND# the values' later pages come from their segments alone.
        static constexpr std::string_view kIndexColumn[] = {"IND#"};
        std::vector<ColumnAt> at;
        std::map<std::pair<std::uint32_t, std::uint32_t>, schema::LobStorage> lobs;
        if (!read_sys_table(schema, kLobTable, kNeeded, at,
                            "the LOB columns' segments are not known: values stored apart from their rows are read "
                            "from the pages their locators name",
                            false,
                            [&](const Row& row) {
                                if (row.deleted) return;
                                std::array<std::optional<std::uint32_t>, std::size(kNeeded) + 1> v;
                                for (std::size_t i = 0; i < v.size(); ++i) v[i] = u32_field(row, at[i]);
                                if (!v[0] || !v[1] || !v[2]) return;
                                schema::LobStorage& lob = lobs[{*v[0], *v[1]}];
                                lob = {*v[2], 0, v[3].value_or(0), v[4].value_or(0),
                                       v[5].value_or(0), v[6].value_or(0), v[7].value_or(0)};
                                lob.index_object = v[8].value_or(0);
                            },
                            kIndexColumn))
            return;
        place_lob_indexes(schema, lobs);
        place_lob_fragments(schema, lobs);
        std::unordered_map<std::uint32_t, std::uint32_t> data_objects;
        for (const ObjectRow& object : objects_.rows)
            if (object.type == kObjectTypeLob && object.data_object) data_objects[object.object] = *object.data_object;
        for (schema::Table& table : schema.tables)
            for (schema::Column& column : table.columns) {
                if (!is_lob(column)) continue;
                const auto found = lobs.find({table.object_number, column.internal_column});
                if (found == lobs.end()) continue;
                column.lob = found->second;
                if (const auto d = data_objects.find(column.lob->lob_object); d != data_objects.end())
                    column.lob->data_object = d->second;
            }
    }

    // Each LOB index's data object and segment header, from its IND$ row
    // (table 3 of C_OBJ# when fresh). Without IND$ the LOB indexes are
    // left unknown, and their values' later pages come from their segments.
    void place_lob_indexes(const schema::Schema& schema,
                           std::map<std::pair<std::uint32_t, std::uint32_t>, schema::LobStorage>& lobs)
    {
        static constexpr std::string_view kNeeded[] = {"OBJ#", "DATAOBJ#", "FILE#", "BLOCK#"};
        std::set<std::uint32_t> wanted;
        for (const auto& entry : lobs)
            if (entry.second.index_object != 0) wanted.insert(entry.second.index_object);
        if (wanted.empty()) return;
        struct IndexRow {
            std::uint32_t data_object, file, block;
        };
        std::unordered_map<std::uint32_t, IndexRow> rows;
        std::vector<ColumnAt> at;
        read_sys_table(schema, kIndexTable, kNeeded, at,
                       "the LOB indexes are not known: the pages of LOB values past their locators' address lists "
                       "are found by scanning the LOB segments",
                       false, [&](const Row& row) {
                           if (row.deleted) return;
                           const auto number = u32_field(row, at[0]);
                           if (!number || wanted.count(*number) == 0) return;
                           rows[*number] = {u32_field(row, at[1]).value_or(*number), u32_field(row, at[2]).value_or(0),
                                            u32_field(row, at[3]).value_or(0)};
                       });
        for (auto& entry : lobs) {
            const auto found = rows.find(entry.second.index_object);
            if (found == rows.end()) continue;
            entry.second.index_data_object = found->second.data_object;
            entry.second.index_file = found->second.file;
            entry.second.index_block = found->second.block;
        }
    }

    // Each partitioned LOB's segments (LOB$ naming none), from the rows of
    // SYS.LOBFRAG$ when the dictionary has it: PARENTOBJ# names the LOB,
    // FILE# and BLOCK# the partition's segment header, whose data object is
    // the fragment's OBJ$ DATAOBJ# (else its FRAGOBJ#). Without them the
    // LOB's later pages are looked for in every file, as before.
    void place_lob_fragments(const schema::Schema& schema,
                             std::map<std::pair<std::uint32_t, std::uint32_t>, schema::LobStorage>& lobs)
    {
        std::set<std::uint32_t> wanted;
        for (const auto& entry : lobs)
            if (entry.second.partitioned())
                wanted.insert(entry.second.lob_object);
        if (wanted.empty()) return;
        static constexpr std::string_view kNeeded[] = {"FRAGOBJ#", "PARENTOBJ#", "FILE#", "BLOCK#"};
        std::unordered_map<std::uint32_t, std::uint32_t> data_objects;
        for (const ObjectRow& object : objects_.rows)
            if (object.type == kObjectTypeLobPartition && object.data_object)
                data_objects[object.object] = *object.data_object;
        std::map<std::uint32_t, std::vector<schema::LobFragment>> fragments;
        std::vector<ColumnAt> at;
        read_sys_table(schema, kLobFragmentTable, kNeeded, at,
                       "the segments of partitioned LOBs are not known: the pages of their values past their "
                       "locators' address lists are looked for in every block of the files given",
                       false, [&](const Row& row) {
                           if (row.deleted) return;
                           const auto fragment = u32_field(row, at[0]), parent = u32_field(row, at[1]),
                                      file = u32_field(row, at[2]), block = u32_field(row, at[3]);
                           if (!fragment || *fragment == 0 || !parent || wanted.count(*parent) == 0 || !file ||
                               *file == 0 || !block)
                               return;
                           const auto d = data_objects.find(*fragment);
                           fragments[*parent].push_back(
                               {d != data_objects.end() ? d->second : *fragment, *file, *block});
                       });
        for (auto& entry : lobs)
            if (const auto found = fragments.find(entry.second.lob_object); found != fragments.end())
                entry.second.fragments = found->second;
    }

    // A table COL$ does not wholly describe says so in its note (a schema
    // file's comment) and is unloaded with every column its rows store.
    static void mark_missing_columns(schema::Table& table, bool missing)
    {
        if (!missing && !table.columns.empty()) return;
        table.columns_missing = true;
        table.note = "COL$ lacks columns of this table: an unload names the values its rows store there COL<n> "
                     "(n their place in the row) and types them by inference";
    }

    // ---------------------------------------------------------------------
    // Dropped tables: rows marked deleted are a second source, read only for
    // data objects no live row describes.

    // What the live rows describe: the data objects of every live object
    // (and of TAB$), and the places of clustered tables in their clusters.
    struct LiveObjects {
        std::set<std::uint32_t> objects;       // OBJ#
        std::set<std::uint32_t> data_objects;  // heap segments
        std::set<std::pair<std::uint32_t, std::uint32_t>> cluster_tables;  // (data object, table number)

        bool describes(const schema::Table& table) const
        {
            if (table.cluster && table.data_object)
                return cluster_tables.count({*table.data_object, table.cluster->table_number}) != 0;
            return table.data_object && data_objects.count(*table.data_object) != 0;
        }
    };

    LiveObjects live_objects(const schema::Schema& schema) const
    {
        LiveObjects live;
        for (const ObjectRow& row : objects_.rows) {
            live.objects.insert(row.object);
            if (row.data_object && row.type != kObjectTypeCluster) live.data_objects.insert(*row.data_object);
        }
        for (const TableRow& row : tables_.rows)
            if (row.data_object && !row.cluster) live.data_objects.insert(*row.data_object);
        for (const schema::Table& table : schema.tables)
            if (table.cluster && table.data_object)
                live.cluster_tables.insert({*table.data_object, table.cluster->table_number});
        return live;
    }

    // The columns of a dropped object: what COL$ still holds live of it,
    // then its deleted rows for the columns those lack.
    std::vector<schema::Column> dropped_columns(std::uint32_t object)
    {
        std::vector<schema::Column> columns = take_columns(columns_, object);
        std::set<std::uint32_t> numbers;
        for (const schema::Column& column : columns) numbers.insert(column.internal_column);
        for (schema::Column& column : take_columns(deleted_.columns, object))
            if (numbers.insert(column.internal_column).second) columns.push_back(std::move(column));
        sort_columns(columns);
        return columns;
    }

    void add_dropped_tables(schema::Schema& schema)
    {
        const LiveObjects live = live_objects(schema);
        std::unordered_map<std::uint32_t, const TableRow*> placement;
        for (const TableRow& row : deleted_.tables.rows) placement.emplace(row.object, &row);
        for (const TableRow& row : tables_.rows) placement[row.object] = &row;  // a live row wins
        auto partitions = partitions_by_table(deleted_.objects.rows);
        for (auto& [key, parts] : partitions)
            std::erase_if(parts, [&](const schema::Partition& p) { return live.data_objects.count(p.data_object) != 0; });

        std::vector<schema::Table> dropped;
        std::set<std::uint32_t> done;
        std::set<std::pair<std::uint32_t, std::string>> named;  // (owner, name) of those with partitions
        for (const ObjectRow& object : deleted_.objects.rows) {
            if (object.type != kObjectTypeTable || live.objects.count(object.object) != 0 ||
                !done.insert(object.object).second)
                continue;
            schema::Table table;
            table.owner = owner_name(object.owner);
            table.name = object.name;
            table.object_number = object.object;
            table.data_object = object.data_object;
            table.dropped = true;
            if (const auto tab = placement.find(object.object); tab != placement.end()) place(*tab->second, table);
            if (auto found = partitions.find({object.owner, object.name}); found != partitions.end()) {
                table.partitions = found->second;
                named.insert(found->first);
            }
            if (live.describes(table)) table.data_object.reset();
            if (table.partitions.empty() && !table.data_object) continue;  // nothing of it to read
            table.columns = dropped_columns(object.object);
            mark_missing_columns(table, add_undescribed_places(table.columns));
            dropped.push_back(std::move(table));
        }
        // Partitions dropped from a table that is still there: its columns are theirs.
        for (const auto& [key, parts] : partitions) {
            if (parts.empty() || named.count(key) != 0) continue;
            const std::string owner = owner_name(key.first);
            const std::string& name = key.second;  // clang 14 cannot capture a structured binding
            const auto found = std::find_if(schema.tables.begin(), schema.tables.end(), [&](const schema::Table& t) {
                return t.owner == owner && t.name == name && !t.partitions.empty();
            });
            if (found == schema.tables.end()) continue;
            schema::Table table = *found;
            table.partitions = parts;
            table.dropped = true;
            dropped.push_back(std::move(table));
        }
        if (dropped.empty()) return;
        std::vector<std::string> names;
        for (const schema::Table& table : dropped) names.push_back(table.owner + "." + table.name);
        notes_.warn("rows of the dictionary marked deleted describe " +
                    plural(dropped.size(), "dropped table", "dropped tables") + " whose data objects no live row "
                    "describes: " + some_names(names) + " (an unload names them OWNER.TABLE$dropped)");
        for (schema::Table& table : dropped) schema.tables.push_back(std::move(table));
    }

    // Whether columns are missing: fewer than TAB$ counts, or a gap in
    // their INTCOL# numbers, which run from 1 without one.
    static bool columns_missing(const std::vector<schema::Column>& columns, std::optional<std::uint32_t> counted)
    {
        std::vector<std::uint32_t> numbers;
        for (const schema::Column& column : columns)
            if (column.described) numbers.push_back(column.internal_column);
        if (counted && *counted != numbers.size()) return true;
        std::sort(numbers.begin(), numbers.end());
        for (std::size_t i = 0; i < numbers.size(); ++i)
            if (numbers[i] != i + 1) return true;
        return false;
    }

    // A clustered table's place in its cluster, its segment header, and
    // its data object when OBJ$ does not give it.
    static void place(const TableRow& row, schema::Table& table)
    {
        const bool partitioned = (row.property & kTablePartitioned) != 0;
        if (!table.data_object && !partitioned) table.data_object = row.data_object;
        // FILE# 0 is no file: a table without a segment.
        if (!partitioned && row.file.value_or(0) != 0 && row.block)
            table.segment = schema::SegmentHeader{*row.file, *row.block};
        if (row.cluster)
            table.cluster = schema::ClusterPlacement{*row.cluster, row.cluster_table.value_or(0), row.key_columns.value_or(0)};
    }

    void warn_unknown_owners()
    {
        if (unknown_owners_.empty()) return;
        std::vector<std::string> numbers;
        for (std::uint32_t owner : unknown_owners_) numbers.push_back(std::to_string(owner));
        notes_.warn("USER$ names no user " + some_names(numbers) + ": their tables' owners are given as USER#N");
    }

    void set_charsets(schema::Schema& schema)
    {
        const std::uint32_t database = usual_charset(schema, schema::CharsetForm::Database);
        const std::uint32_t national = usual_charset(schema, schema::CharsetForm::National);
        for (const auto& [id, form, target] : {std::tuple{database, "database", &schema.database_charset},
                                               std::tuple{national, "national", &schema.national_charset}}) {
            if (id == 0) continue;
            const std::string_view name = schema::charset_name(id);
            if (name.empty())
                notes_.warn(std::string("the ") + form + " character set, id " + std::to_string(id) +
                            ", is not one this tool knows");
            else
                *target = std::string(name);
        }
    }

    DataFileSet& files_;
    DataFile& system_;
    LoadNotes& notes_;
    std::string& error_;
    Bootstrap bootstrap_;
    std::vector<Reading> readings_;
    std::vector<const DictionarySegment*> located_;
    std::map<std::string, SegmentTally> tallies_;
    CoreRows<ObjectRow> objects_;
    CoreRows<TableRow> tables_;
    ColumnRows columns_;
    CoreRows<User> users_;
    DeletedRows deleted_;
    std::unordered_map<std::uint32_t, std::string> user_names_;
    std::set<std::uint32_t> unknown_owners_;
};

}  // namespace

bool load_dictionary(DataFileSet& files, DataFile& system, Dictionary& dictionary, LoadNotes& notes,
                     std::string& error)
{
    error.clear();
    system.relative_file();
    return Loader(files, system, notes, error).load(dictionary);
}

}  // namespace dictionary
