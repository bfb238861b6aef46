// The data dictionary read back from the builder's SYSTEM file: every
// table, column, type, size, position, hidden flag, character set and
// partition against what the builder wrote, at several block sizes and in
// both byte orders; the segment headers and the scan a damaged one falls
// back on; each kind of damage; --list-tables and --ddl as a user runs
// them; and which tables the rows of an unknown data object fit.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <tuple>

#include "dictionary/dictionary.h"
#include "dictionary/object_census.h"
#include "dictionary/row_fields.h"
#include "dictionary/segment_map.h"
#include "format/dictionary_format.h"
#include "release_shapes.h"
#include "schema/ddl_parser.h"
#include "schema/ddl_writer.h"
#include "schema/oracle_types.h"
#include "system_file.h"
#include "test_support.h"

namespace {

using datafile::BuiltDatabase;
using datafile::ColumnDef;
using datafile::ColumnNumbers;
using datafile::SystemDamage;
using datafile::TableDef;
using dictionary::ObjectCount;

// The description of the sample database and what the builder made of it.
struct Sample {
    explicit Sample(std::uint32_t size = 8192, ByteOrder order = ByteOrder::Little,
                    SystemDamage damage = SystemDamage::None)
        : Sample(datafile::sample_database(size, order), damage)
    {
    }
    explicit Sample(datafile::Database database, SystemDamage damage = SystemDamage::None)
        : description(std::move(database)), built(datafile::build_database(description, damage))
    {
    }

    // Every table the dictionary describes: the users' and its own.
    std::vector<const TableDef*> tables() const
    {
        std::vector<const TableDef*> all;
        for (const TableDef& t : description.tables) all.push_back(&t);
        for (const TableDef& t : built.dictionary) all.push_back(&t);
        return all;
    }

    datafile::Database description;
    BuiltDatabase built;
};

// The built files held in memory, read with the geometry they were built with.
struct Opened {
    DataFileSet files;
    DataFile* system = nullptr;
    DataFile* users = nullptr;
};

DataFile* add_file(DataFileSet& files, const datafile::File& built, const char* name)
{
    std::unique_ptr<DataFile> file = DataFile::from_bytes(datafile::build_file(built), name);
    file->set_geometry({built.block_size, built.byte_order});
    file->relative_file();
    DataFile* opened = file.get();
    files.add(std::move(file));
    return opened;
}

Opened open_in_memory(const BuiltDatabase& built)
{
    Opened opened;
    opened.system = add_file(opened.files, built.system, "system01.dbf");
    opened.users = add_file(opened.files, built.users, "users01.dbf");
    return opened;
}

struct Loaded {
    bool ok = false;
    dictionary::Dictionary dictionary;
    dictionary::LoadNotes notes;
    std::string error;
};

Loaded load(const BuiltDatabase& built)
{
    Opened opened = open_in_memory(built);
    Loaded loaded;
    loaded.ok = dictionary::load_dictionary(opened.files, *opened.system, loaded.dictionary, loaded.notes, loaded.error);
    return loaded;
}

const schema::Table* find_table(const schema::Schema& schema, const std::string& owner, const std::string& name)
{
    for (const schema::Table& table : schema.tables)
        if (table.owner == owner && table.name == name) return &table;
    return nullptr;
}

// The number of key columns of the cluster a table is in: the users'
// clusters say; the core clusters have one each (OBJ#, USER#).
std::uint32_t key_columns(const Sample& s, std::uint32_t cluster)
{
    for (const datafile::ClusterDef& c : s.description.clusters)
        if (c.object_id == cluster) return static_cast<std::uint32_t>(c.key.size());
    return 1;
}

void expect_column(const schema::Column& read, const ColumnDef& def, const ColumnNumbers& numbers)
{
    SCOPED_TRACE(def.name);
    using namespace dictionary;
    EXPECT_EQ(read.name, def.name);
    EXPECT_EQ(read.type_code, def.type);
    EXPECT_EQ(schema::type_code_of(read.type), def.type);
    EXPECT_EQ(read.length, def.length);
    EXPECT_EQ(read.precision, def.precision);
    EXPECT_EQ(read.scale, def.scale == kFloatScale ? std::nullopt : def.scale);
    EXPECT_EQ(read.nullable, def.nullable);
    EXPECT_EQ(read.column_number, numbers.col);
    EXPECT_EQ(read.segment_column, numbers.segcol);
    EXPECT_EQ(read.internal_column, numbers.intcol);
    EXPECT_EQ(read.hidden, def.hidden());
    EXPECT_EQ(read.unused, (def.property & kColumnUnused) != 0);
    EXPECT_EQ(read.is_virtual, !def.stored());
    EXPECT_EQ(read.charset_id, def.charset_id);
    EXPECT_EQ(static_cast<int>(read.charset_form), def.charset_form);
    const bool national = def.charset_form == kCharsetFormNational && def.type != kTypeClob;
    EXPECT_EQ(read.char_semantics, national || (def.property & kColumnCharLength) != 0);
    if (read.char_semantics) {
        EXPECT_EQ(read.char_length, def.char_length.value_or(def.length / 2));
    }
}

void expect_table(const Sample& s, const schema::Table& read, const TableDef& truth)
{
    SCOPED_TRACE(truth.owner + "." + truth.name);
    EXPECT_EQ(read.object_number, truth.object_id);
    if (truth.partitions.empty())
        EXPECT_EQ(read.data_object, truth.data_object_id);
    else
        EXPECT_FALSE(read.data_object);
    // TAB$ names the segment header (a clustered table's is its
    // cluster's), TABPART$ each partition's.
    const auto header_of = [&](std::uint32_t data_object) -> std::optional<schema::SegmentHeader> {
        for (const datafile::SegmentTruth& segment : s.built.segments)
            if (segment.data_object == data_object) return schema::SegmentHeader{segment.header.file, segment.header.block};
        return std::nullopt;
    };
    std::vector<schema::Partition> partitions;
    for (const datafile::PartitionDef& p : truth.partitions)
        partitions.push_back({p.name, p.data_object_id, p.object_id, header_of(p.data_object_id)});
    EXPECT_EQ(read.partitions, partitions);
    EXPECT_EQ(read.segment, truth.partitions.empty() ? header_of(truth.data_object_id) : std::nullopt);
    if (truth.cluster)
        EXPECT_EQ(read.cluster, (schema::ClusterPlacement{truth.cluster->cluster_object, truth.cluster->table,
                                                          key_columns(s, truth.cluster->cluster_object)}));
    else
        EXPECT_FALSE(read.cluster);
    // Stored columns in SEGCOL# order, then those not stored.
    const std::vector<ColumnNumbers> numbers = truth.numbers();
    std::vector<std::size_t> order(truth.columns.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return std::tuple(numbers[a].segcol == 0, numbers[a].segcol) < std::tuple(numbers[b].segcol == 0, numbers[b].segcol);
    });
    ASSERT_EQ(read.columns.size(), truth.columns.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        expect_column(read.columns[i], truth.columns[order[i]], numbers[order[i]]);
}

void expect_schema(const Sample& s, const Loaded& loaded)
{
    ASSERT_TRUE(loaded.ok) << loaded.error;
    const schema::Schema& schema = loaded.dictionary.schema;
    std::set<std::string> expected_names, read_names;
    for (const TableDef* t : s.tables()) {
        expected_names.insert(t->owner + "." + t->name);
        const schema::Table* read = find_table(schema, t->owner, t->name);
        ASSERT_NE(read, nullptr) << t->owner << "." << t->name;
        expect_table(s, *read, *t);
    }
    for (const schema::Table& t : schema.tables) read_names.insert(t.owner + "." + t.name);
    EXPECT_EQ(read_names, expected_names);
    EXPECT_EQ(schema.database_charset, std::optional<std::string>("AL32UTF8"));
    EXPECT_EQ(schema.national_charset, std::optional<std::string>("AL16UTF16"));
    std::vector<dictionary::User> users;
    for (const datafile::UserDef& u : s.description.users)
        users.push_back({u.id, u.name, u.type == dictionary::kUserTypeRole});
    EXPECT_EQ(loaded.dictionary.users, users);
}

// ---------------------------------------------------------------------------
// The whole dictionary

TEST(DictionaryRead, EveryTableAndColumnAsTheBuilderWroteThem)
{
    for (const auto& [size, order] : {std::pair{8192u, ByteOrder::Little}, std::pair{2048u, ByteOrder::Big},
                                      std::pair{16384u, ByteOrder::Big}}) {
        SCOPED_TRACE(size);
        const Sample s(size, order);
        const Loaded loaded = load(s.built);
        expect_schema(s, loaded);
        EXPECT_TRUE(loaded.notes.warnings.empty()) << loaded.notes.warnings.front();
    }
}

TEST(DictionaryRead, ColumnTypesReadAsADbaWritesThem)
{
    const Sample s;
    const Loaded loaded = load(s.built);
    ASSERT_TRUE(loaded.ok) << loaded.error;
    const schema::Table* all = find_table(loaded.dictionary.schema, "HR", "ALL_TYPES");
    ASSERT_NE(all, nullptr);
    std::vector<std::string> types;
    for (const schema::Column& column : all->columns) types.push_back(column.name + " " + schema::sql_type_text(column));
    EXPECT_EQ(types, (std::vector<std::string>{
                         "ID NUMBER(10)", "NAME VARCHAR2(40 BYTE)", "NAME_N NVARCHAR2(20)", "AMOUNT NUMBER(12,2)",
                         "RATIO FLOAT(126)", "BORN DATE", "CODE RAW(16)", "ROW_REF ROWID", "FIXED CHAR(10 BYTE)",
                         "FIXED_N NCHAR(5)", "BF BINARY_FLOAT", "BD BINARY_DOUBLE", "TS TIMESTAMP(6)",
                         "TSTZ TIMESTAMP(3) WITH TIME ZONE", "IYM INTERVAL YEAR(2) TO MONTH",
                         "IDS INTERVAL DAY(3) TO SECOND(4)", "UR UROWID(4000)",
                         "TSLTZ TIMESTAMP(6) WITH LOCAL TIME ZONE", "DOC CLOB", "PIC BLOB",
                         "NOTE_CHAR VARCHAR2(10 CHAR)", "TEXT LONG"}));
    // The dictionary's own tables, as their statements create them.
    const schema::Table* obj = find_table(loaded.dictionary.schema, "SYS", "OBJ$");
    ASSERT_NE(obj, nullptr);
    EXPECT_EQ(obj->columns[3].name + " " + schema::sql_type_text(obj->columns[3]), "NAME VARCHAR2(30 BYTE)");
    EXPECT_EQ(obj->columns[14].name + " " + schema::sql_type_text(obj->columns[14]), "OID$ RAW(16)");
    EXPECT_FALSE(obj->columns[3].nullable);
}

// ---------------------------------------------------------------------------
// Segment headers

TEST(DictionarySegments, HeadersOfBothKindsMapTheirExtents)
{
    for (const auto& [size, order] : {std::pair{8192u, ByteOrder::Little}, std::pair{2048u, ByteOrder::Big}}) {
        const Sample s(size, order);
        Opened opened = open_in_memory(s.built);
        std::size_t space_managed = 0;
        for (const datafile::SegmentTruth& segment : s.built.segments) {
            SCOPED_TRACE(segment.name);
            const dictionary::BlockPlace header{segment.header.file, segment.header.block};
            const dictionary::SegmentMap map = dictionary::read_segment_map(opened.files, header);
            ASSERT_TRUE(map.ok()) << map.problem;
            ASSERT_EQ(map.extents.size(), segment.extents.size());
            for (std::size_t i = 0; i < map.extents.size(); ++i) {
                EXPECT_EQ(map.extents[i].first, (dictionary::BlockPlace{segment.header.file, segment.extents[i].first_block}));
                EXPECT_EQ(map.extents[i].length, segment.extents[i].length);
            }
            EXPECT_EQ(map.object, segment.space_managed ? 0u : segment.data_object);
            space_managed += segment.space_managed;
            // Every block but the header's, in order.
            const std::vector<dictionary::BlockPlace> blocks = dictionary::segment_blocks(map, header);
            std::uint32_t total = 0;
            for (const datafile::Extent& e : segment.extents) total += e.length;
            EXPECT_EQ(blocks.size(), total - 1);
            EXPECT_EQ(std::count(blocks.begin(), blocks.end(), header), 0);
        }
        EXPECT_GT(space_managed, 0u);
    }
}

// The SYSTEM file with block `block` changed by `change` and sealed again
// (tail and checksum right), so that only the change is wrong.
datafile::Bytes changed_block(const BuiltDatabase& built, std::uint32_t block,
                              const std::function<void(datafile::Bytes&, std::size_t)>& change)
{
    datafile::Bytes bytes = datafile::build_file(built.system);
    const std::size_t at = std::size_t{block} * built.system.block_size;
    change(bytes, at);
    datafile::Bytes one(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                        bytes.begin() + static_cast<std::ptrdiff_t>(at + built.system.block_size));
    datafile::seal_block(one, built.system.byte_order);
    std::copy(one.begin(), one.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
    return bytes;
}

void put_u32(datafile::Bytes& bytes, std::size_t at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i) bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
}

TEST(DictionarySegments, AHeaderThatCannotBeBelievedSaysWhy)
{
    const Sample s;
    const std::uint32_t obj_header = 240;  // OBJ$'s, as its statement in BOOTSTRAP$ says
    const auto blocks = static_cast<std::uint32_t>(datafile::build_file(s.built.system).size() / 8192);
    const std::vector<std::pair<std::function<void(datafile::Bytes&, std::size_t)>, std::string>> cases = {
        {[](datafile::Bytes& b, std::size_t at) { b[at] = 6; }, "is no segment header: its block type is 0x06"},
        {[](datafile::Bytes& b, std::size_t at) { put_u32(b, at + 36, 0); }, "maps 0 extents, and its block holds 1 to 1010"},
        {[](datafile::Bytes& b, std::size_t at) { put_u32(b, at + 36, 5000); }, "maps 5000 extents, and its block holds 1 to 1010"},
        {[&](datafile::Bytes& b, std::size_t at) { put_u32(b, at + 112, blocks); },
         "maps extent 1 (file 1 block 240, " + std::to_string(blocks) + " blocks), past the end of system01.dbf"},
        {[](datafile::Bytes& b, std::size_t at) { put_u32(b, at + 112, 0); }, "maps an empty extent 1 (file 1 block 240, 0 blocks)"},
        {[](datafile::Bytes& b, std::size_t at) { put_u32(b, at + 108, (1u << 22) | 300u); },
         "maps a first extent that does not start with the header"},
        {[](datafile::Bytes& b, std::size_t at) { put_u32(b, at + 108, (7u << 22) | 240u); },
         "maps extent 1 (file 7 block 240, 4 blocks) in a file that is not among those read"},
    };
    for (const auto& [change, problem] : cases) {
        DataFileSet files;
        auto file = DataFile::from_bytes(changed_block(s.built, obj_header, change), "system01.dbf");
        file->set_geometry({8192, ByteOrder::Little});
        files.add(std::move(file));
        const dictionary::SegmentMap map = dictionary::read_segment_map(files, {1, obj_header});
        EXPECT_EQ(map.problem, problem);
    }
    // Damage the seal does not mend.
    DataFileSet files;
    datafile::Bytes bytes = datafile::build_file(s.built.system);
    bytes[std::size_t{obj_header} * 8192 + 50] ^= 1;
    files.add(DataFile::from_bytes(bytes, "system01.dbf"));
    EXPECT_EQ(dictionary::read_segment_map(files, {1, obj_header}).problem, "is damaged: its checksum does not match");
    EXPECT_EQ(dictionary::read_segment_map(files, {1, 1u << 21}).problem, "cannot be read from system01.dbf");
}

TEST(DictionarySegments, AScanFindsEveryBlockOfADataObject)
{
    const Sample s(2048, ByteOrder::Big);
    Opened opened = open_in_memory(s.built);
    const std::uint32_t objects[] = {18, 2, 87150};
    const auto found = dictionary::scan_for_data_objects(*opened.system, 1, objects);
    std::set<std::uint32_t> obj_blocks, cluster_blocks;
    for (const datafile::RowTruth& row : s.built.rows_of("SYS", "OBJ$").rows)
        for (const datafile::PieceAddress& p : row.pieces) obj_blocks.insert(p.block);
    for (const char* table : {"TAB$", "COL$"})
        for (const datafile::RowTruth& row : s.built.rows_of("SYS", table).rows)
            for (const datafile::PieceAddress& p : row.pieces) cluster_blocks.insert(p.block);
    auto blocks_of = [&](std::uint32_t object) {
        std::set<std::uint32_t> blocks;
        for (const dictionary::BlockPlace& place : found.at(object)) {
            EXPECT_EQ(place.file, 1u);
            blocks.insert(place.block);
        }
        return blocks;
    };
    EXPECT_EQ(blocks_of(18), obj_blocks);
    EXPECT_EQ(blocks_of(2), cluster_blocks);
    EXPECT_TRUE(found.at(87150).empty());  // the users' rows are in the other file
    EXPECT_GT(cluster_blocks.size(), 2u);
}

// ---------------------------------------------------------------------------
// Extent maps: map blocks, extents listed again, maps no file can hold

// The sample database with the SYSTEM file's segments in one-block
// extents, three in each header's own map and two in each extent map
// block after it, OBJ$'s and BOOTSTRAP$'s extents alternating in the file.
datafile::Database mapped_database(std::uint32_t size = 8192, ByteOrder order = ByteOrder::Little)
{
    datafile::Database database = datafile::sample_database(size, order);
    database.system_layout.extent_blocks = 1;
    database.system_layout.header_extents = 3;
    database.system_layout.map_block_extents = 2;
    database.system_layout.interleaved = true;
    return database;
}

const datafile::SegmentTruth& segment_truth(const BuiltDatabase& built, const std::string& name)
{
    for (const datafile::SegmentTruth& segment : built.segments)
        if (segment.name == name) return segment;
    throw std::invalid_argument("no segment " + name);
}

std::vector<dictionary::ExtentRange> ranges_of(const datafile::SegmentTruth& segment)
{
    std::vector<dictionary::ExtentRange> ranges;
    for (const datafile::Extent& e : segment.extents) ranges.push_back({{segment.header.file, e.first_block}, e.length});
    return ranges;
}

std::size_t blocks_in(const datafile::SegmentTruth& segment)
{
    std::size_t blocks = 0;
    for (const datafile::Extent& e : segment.extents) blocks += e.length;
    return blocks;
}

// The blocks of the sample's OBJ$ that hold its rows.
std::size_t obj_row_blocks(const BuiltDatabase& built)
{
    std::set<std::uint32_t> blocks;
    for (const datafile::RowTruth& row : built.rows_of("SYS", "OBJ$").rows)
        for (const datafile::PieceAddress& p : row.pieces) blocks.insert(p.block);
    return blocks.size();
}

TEST(DictionarySegments, MapBlocksCarryTheExtentsAHeaderHasNoRoomFor)
{
    std::size_t chains = 0;  // segments with more than one map block
    for (const auto& [size, order] : {std::pair{8192u, ByteOrder::Little}, std::pair{16384u, ByteOrder::Big},
                                      std::pair{2048u, ByteOrder::Big}}) {
        SCOPED_TRACE(size);
        const Sample s(mapped_database(size, order));
        Opened opened = open_in_memory(s.built);
        for (const datafile::SegmentTruth& segment : s.built.segments) {
            if (segment.space_managed) continue;
            SCOPED_TRACE(segment.name);
            const dictionary::BlockPlace header{segment.header.file, segment.header.block};
            const dictionary::SegmentMap map = dictionary::read_segment_map(opened.files, header);
            ASSERT_TRUE(map.ok()) << map.problem;
            EXPECT_TRUE(map.warnings.empty()) << map.warnings.front();
            EXPECT_EQ(map.extents, ranges_of(segment));
            EXPECT_EQ(map.counted_extents, segment.extents.size());
            EXPECT_EQ(map.counted_blocks, blocks_in(segment) - 1);
            std::vector<dictionary::BlockPlace> map_blocks;
            for (std::uint32_t block : segment.map_blocks) map_blocks.push_back({1, block});
            EXPECT_EQ(map.map_blocks, map_blocks);
            if (segment.high_water_mark != 0)
                EXPECT_EQ(map.high_water_mark, (dictionary::BlockPlace{1, segment.high_water_mark}));
            else
                EXPECT_FALSE(map.high_water_mark);
            // Every block of the extents once, but for the header and the map blocks.
            const std::vector<dictionary::BlockPlace> blocks = dictionary::segment_blocks(map, header);
            EXPECT_EQ(blocks.size(), blocks_in(segment) - 1 - map_blocks.size());
            for (const dictionary::BlockPlace& place : map_blocks) EXPECT_EQ(std::count(blocks.begin(), blocks.end(), place), 0);
            chains += map_blocks.size() > 1;
        }
        // Some of BOOTSTRAP$'s extents lie between OBJ$'s.
        const datafile::SegmentTruth& obj = segment_truth(s.built, "SYS.OBJ$");
        std::size_t between = 0;
        for (const datafile::Extent& e : segment_truth(s.built, "SYS.BOOTSTRAP$").extents)
            between += e.first_block > obj.extents.front().first_block && e.first_block < obj.extents.back().first_block;
        EXPECT_GT(between, 0u);
        const Loaded loaded = load(s.built);
        expect_schema(s, loaded);
        EXPECT_TRUE(loaded.notes.warnings.empty()) << loaded.notes.warnings.front();
    }
    EXPECT_GT(chains, 1u);
    // What a user sees is what the sample's simple maps give.
    ScratchDir dir;
    const RunResult plain = run_trevanix({"--dictionary", dir.write("plain.dbf", Sample().built.system), "--ddl"});
    const RunResult mapped = run_trevanix({"--dictionary", dir.write("mapped.dbf", Sample(mapped_database()).built.system), "--ddl"});
    EXPECT_EQ(mapped.status, 0);
    EXPECT_EQ(mapped.errors, "");
    // But for where TABPART$'s segment starts, after extents of another size.
    const auto without_tabpart_header = [](std::string ddl) {
        const std::size_t line = ddl.find("\nCREATE TABLE \"SYS\".\"TABPART$\"");
        const std::size_t header = ddl.rfind(", segment header ", line);
        return line == std::string::npos || header == std::string::npos ? ddl : ddl.erase(header, line - header);
    };
    EXPECT_EQ(without_tabpart_header(mapped.output), without_tabpart_header(plain.output));
}

TEST(DictionarySegments, AnAutomaticallyManagedSegmentsMapBlocksAreFollowedPastAnotherSegmentsExtents)
{
    // Two segments of file 4 in 16K big-endian blocks whose extents of two
    // blocks alternate; the first's header holds 5 and each of its three
    // map blocks 10, each map block the first block of its first extent.
    constexpr std::uint32_t kSize = 16384;
    datafile::FileSet files(kSize, ByteOrder::Big);
    datafile::ExtentMap map;
    map.extents.push_back({10, 4});  // two bitmap blocks, the header at 12, a data block
    for (std::uint32_t i = 0; i < 29; ++i) map.extents.push_back({20 + 4 * i, 2});
    map.header_extents = 5;
    map.map_block_extents = 10;
    for (std::size_t i = 5; i < map.extents.size(); i += 10) map.map_blocks.push_back(map.extents[i].first_block);
    const std::vector<datafile::Bytes> blocks = datafile::segment_map_blocks(true, 4, 12, 0, map, kSize, ByteOrder::Big);
    files.put_image({4, 12}, blocks.front());
    for (std::size_t i = 0; i < map.map_blocks.size(); ++i) files.put_image({4, map.map_blocks[i]}, blocks[i + 1]);
    std::vector<datafile::Extent> other{{14, 4}};
    for (std::uint32_t i = 0; i < 29; ++i) other.push_back({22 + 4 * i, 2});
    files.put_image({4, 14}, datafile::space_segment_header(4, 14, other, kSize, ByteOrder::Big));
    datafile::FileHeader file_header;
    file_header.relative_file = 4;
    file_header.block_count = 200;
    files.put_image({4, 1}, datafile::file_header_block(file_header, kSize, ByteOrder::Big));

    DataFileSet set;
    auto file = DataFile::from_bytes(datafile::build_file(files.file(4, 200)), "users01.dbf");
    file->set_geometry({kSize, ByteOrder::Big});
    set.add(std::move(file));
    const dictionary::SegmentMap read = dictionary::read_segment_map(set, {4, 12});
    ASSERT_TRUE(read.ok()) << read.problem;
    EXPECT_TRUE(read.warnings.empty()) << read.warnings.front();
    EXPECT_TRUE(read.space_managed);
    EXPECT_EQ(read.counted_extents, 30u);
    ASSERT_EQ(read.extents.size(), 30u);
    for (std::size_t i = 0; i < map.extents.size(); ++i)
        EXPECT_EQ(read.extents[i], (dictionary::ExtentRange{{4, map.extents[i].first_block}, map.extents[i].length}));
    EXPECT_EQ(read.map_blocks, (std::vector<dictionary::BlockPlace>{{4, 36}, {4, 76}, {4, 116}}));
    EXPECT_EQ(dictionary::segment_blocks(read, {4, 12}).size(), 4u + 29 * 2 - 1 - 3);
    EXPECT_FALSE(read.high_water_mark);
}

TEST(DictionarySegments, ExtentsListedAgainAreReadOnceAndSaid)
{
    // OBJ$'s one extent 1000 times over, and C_OBJ#'s map with an extent
    // that overlaps its first.
    datafile::Database database = datafile::sample_database();
    database.system_layout.rewritten["SYS.OBJ$"] = {1000, {}};
    database.system_layout.rewritten["SYS.C_OBJ#"] = {1, {{146, 4}}};
    const Sample s(database);
    const Sample clean;
    ScratchDir dir;
    const std::string users = dir.write("users01.dbf", clean.built.users);
    const std::string clean_system = dir.write("clean.dbf", clean.built.system);
    const std::string system = dir.write("system01.dbf", s.built.system);
    const std::string said =
        "trevanix: OBJ$'s segment header (file 1 block 240) lists 999 extents that earlier ones already hold, the "
        "first extent 2 (file 1 block 240, 4 blocks): each block is read once\n"
        "trevanix: OBJ$'s segment header (file 1 block 240) counts 3999 blocks, more than its files hold (" +
        std::to_string(datafile::build_file(s.built.system).size() / 8192) + ")\n"
        "trevanix: C_OBJ#'s segment header (file 1 block 144) lists 1 extent that overlaps an earlier one, extent 3 "
        "(file 1 block 146, 4 blocks): each block is read once\n";
    for (const std::vector<std::string>& mode : {std::vector<std::string>{"--ddl"}, {"--list-tables", users}}) {
        std::vector<std::string> args{"--dictionary", clean_system};
        args.insert(args.end(), mode.begin(), mode.end());
        const RunResult expected = run_trevanix(args);
        args[1] = system;
        const RunResult r = run_trevanix(args);
        EXPECT_EQ(r.status, expected.status);
        EXPECT_EQ(r.output, expected.output);
        EXPECT_EQ(r.errors, said);
    }
    Opened opened = open_in_memory(s.built);
    const dictionary::SegmentMap obj = dictionary::read_segment_map(opened.files, {1, 240});
    EXPECT_EQ(obj.counted_extents, 1000u);
    EXPECT_EQ(obj.extents, ranges_of(segment_truth(clean.built, "SYS.OBJ$")));
}

TEST(DictionarySegments, AnExtentPastTheEndIsReadNoFurtherThanTheFileHeaderCounts)
{
    // One extent of 13,000,000 blocks in a sparse file as long as the extent
    // claims, whose header counts the blocks it was written with.
    datafile::Database database = datafile::sample_database();
    database.system_layout.rewritten["SYS.OBJ$"] = {0, {{240, 13000000}}};
    const Sample s(database);
    ScratchDir dir;
    const std::string clean = dir.write("clean.dbf", Sample().built.system);
    const std::string system = dir.write("system01.dbf", s.built.system);
    std::error_code error;
    std::filesystem::resize_file(system, (240ull + 13000000) * 8192, error);
    if (error) GTEST_SKIP() << "this file system holds no sparse file of 100 GiB: " << error.message();
    // The blocks it was written with (its header's count leaves block 0 out).
    const std::size_t blocks = datafile::build_file(s.built.system).size() / 8192;

    int open_error = 0;
    DataFileSet files;
    files.add(DataFile::open(system, open_error));
    const dictionary::SegmentMap map = dictionary::read_segment_map(files, {1, 240});
    EXPECT_EQ(map.problem, "maps extent 1 (file 1 block 240, 13000000 blocks), past the end of " + system);
    EXPECT_EQ(map.extents, (std::vector<dictionary::ExtentRange>{{{1, 240}, static_cast<std::uint32_t>(blocks - 240)}}));
    EXPECT_EQ(map.warnings, (std::vector<std::string>{"counts 12999999 blocks, more than its files hold (" +
                                                      std::to_string(blocks) + ")"}));

    const RunResult expected = run_trevanix({"--dictionary", clean, "--ddl"});
    const RunResult r = run_trevanix({"--dictionary", system, "--ddl"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, expected.output);
    const std::size_t found = obj_row_blocks(s.built);
    EXPECT_EQ(r.errors, "trevanix: OBJ$'s segment header (file 1 block 240) counts 12999999 blocks, more than its "
                        "files hold (" + std::to_string(blocks) + ")\n"
                        "trevanix: OBJ$'s segment header (file 1 block 240) maps extent 1 (file 1 block 240, "
                        "13000000 blocks), past the end of " + system + ": its blocks were found by scanning " +
                            system + " for data object 18 (" + std::to_string(found) +
                            (found == 1 ? " block)\n" : " blocks)\n"));
}

TEST(DictionarySegments, AChainOfMapBlocksThatLoopsRunsOnOrIsDamagedIsStoppedAndSaid)
{
    const Sample s(mapped_database());
    // The segment with the longest chain.
    const datafile::SegmentTruth* longest = nullptr;
    for (const datafile::SegmentTruth& segment : s.built.segments)
        if (longest == nullptr || segment.map_blocks.size() > longest->map_blocks.size()) longest = &segment;
    ASSERT_GE(longest->map_blocks.size(), 2u);
    const std::uint32_t header = longest->header.block;
    const std::uint32_t first = longest->map_blocks.front();
    const std::uint32_t last = longest->map_blocks.back();
    const std::uint32_t object = longest->data_object;
    const std::size_t maps = longest->map_blocks.size();
    const std::string first_named = "names an extent map block (file 1 block " + std::to_string(first) + ") that ";
    struct Case {
        std::uint32_t block;
        std::function<void(datafile::Bytes&, std::size_t)> change;
        std::string problem;  // empty: the map is still believed
        std::string warning;
    };
    const std::vector<Case> cases = {
        {last, [&](datafile::Bytes& b, std::size_t at) { put_u32(b, at + 92, (1u << 22) | first); }, "",
         "its chain of extent map blocks leads back to file 1 block " + std::to_string(first)},
        {header, [&](datafile::Bytes& b, std::size_t at) { put_u32(b, at + 48, static_cast<std::uint32_t>(maps - 1)); },
         "lists " + std::to_string(3 + 2 * (maps - 1)) + " of the " + std::to_string(longest->extents.size()) +
             " extents it counts: its chain of extent map blocks goes on past the " + std::to_string(maps - 1) +
             (maps == 2 ? " map block it counts" : " map blocks it counts"),
         ""},
        {first, [](datafile::Bytes& b, std::size_t at) { put_u32(b, at + 96, 0); },
         first_named + "lists 0 extents, and its block holds 1 to 1010", ""},
        {first, [&](datafile::Bytes& b, std::size_t at) { put_u32(b, at + 100, object + 1); },
         first_named + "belongs to object " + std::to_string(object + 1) + ", not " + std::to_string(object), ""},
        {header, [](datafile::Bytes& b, std::size_t at) { put_u32(b, at + 92, (1u << 22) | 1u); },
         "names an extent map block (file 1 block 1) that is no extent map block: its block type is 0x0B", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.problem + c.warning);
        DataFileSet files;
        auto file = DataFile::from_bytes(changed_block(s.built, c.block, c.change), "system01.dbf");
        file->set_geometry({8192, ByteOrder::Little});
        files.add(std::move(file));
        const dictionary::SegmentMap map = dictionary::read_segment_map(files, {1, header});
        if (c.problem.empty()) {
            EXPECT_TRUE(map.ok()) << map.problem;
            EXPECT_EQ(map.extents, ranges_of(*longest));
        } else {
            EXPECT_EQ(map.problem.substr(0, c.problem.size()), c.problem);
        }
        EXPECT_EQ(map.warnings, c.warning.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.warning});
    }
    // A map block that fails its checksum: the scan by data object takes
    // over, and the dictionary is read whole.
    datafile::Bytes bytes = datafile::build_file(s.built.system);
    bytes[std::size_t{first} * 8192 + 200] ^= 1;
    DataFileSet files;
    files.add(DataFile::from_bytes(bytes, "system01.dbf"));
    DataFile& system = files[0];
    Loaded loaded;
    loaded.ok = dictionary::load_dictionary(files, system, loaded.dictionary, loaded.notes, loaded.error);
    expect_schema(s, loaded);
    ASSERT_EQ(loaded.notes.warnings.size(), 1u);
    const std::string name = longest->name.substr(longest->name.find('.') + 1);
    const std::string said = name + "'s segment header (file 1 block " + std::to_string(header) + ") " + first_named +
                             "is damaged: its checksum does not match: its blocks were found by scanning system01.dbf "
                             "for data object " + std::to_string(object) + " (";
    EXPECT_EQ(loaded.notes.warnings[0].substr(0, said.size()), said);
}

TEST(DictionarySegments, AMapOfMoreExtentsThanItsFilesHaveBlocksIsLeftAfterThatMany)
{
    // A header of 2K blocks whose extent is listed 1900 times over through
    // nine map blocks, in a file of 20 blocks.
    datafile::FileSet files(2048);
    datafile::ExtentMap map;
    map.extents.assign(1900, {10, 1});
    map.header_extents = 100;
    map.map_block_extents = 200;
    for (std::uint32_t i = 0; i < 9; ++i) map.map_blocks.push_back(11 + i);
    const std::vector<datafile::Bytes> blocks = datafile::segment_map_blocks(false, 1, 10, 7, map, 2048, ByteOrder::Little);
    for (std::size_t i = 0; i < blocks.size(); ++i) files.put_image({1, 10 + static_cast<std::uint32_t>(i)}, blocks[i]);
    datafile::FileHeader file_header;
    file_header.block_count = 20;
    files.put_image({1, 1}, datafile::file_header_block(file_header, 2048, ByteOrder::Little));
    DataFileSet set;
    auto file = DataFile::from_bytes(datafile::build_file(files.file(1, 20)), "system01.dbf");
    file->set_geometry({2048, ByteOrder::Little});
    set.add(std::move(file));
    const dictionary::SegmentMap read = dictionary::read_segment_map(set, {1, 10});
    // 242 entries fit in the header's block: with the file's 20 blocks, 262.
    EXPECT_EQ(read.problem, "lists more than 262 extents, more than its files have blocks: no segment has that many");
    EXPECT_EQ(read.extents, (std::vector<dictionary::ExtentRange>{{{1, 10}, 1}}));
    EXPECT_EQ(read.map_blocks.size(), 1u);
}

// ---------------------------------------------------------------------------
// Damage

TEST(DictionaryDamage, WhatCannotBeReadIsNamedWithTheBlockReadAndExitsOne)
{
    ScratchDir dir;
    struct Case {
        SystemDamage damage;
        std::vector<std::string> said;
    };
    const Case cases[] = {
        {SystemDamage::ClearedRoot,
         {"trevanix: cannot read the data dictionary: ", "system01.dbf: its data file header (block 1) holds no root "
                                                         "address at offset 96: is it the SYSTEM data file?\n"}},
        {SystemDamage::UnparsableBootstrapRow,
         {"trevanix: cannot read the data dictionary: cannot read OBJ$: the statement of OBJ$ does not parse: "
          "BOOTSTRAP$ line 18 (object 18, file 1 block 52",
          "): offset ", "\n"}},
    };
    for (const Case& c : cases) {
        const Sample s(8192, ByteOrder::Little, c.damage);
        const std::string system = dir.write("system01.dbf", s.built.system);
        for (const char* mode : {"--list-tables", "--ddl"}) {
            const RunResult r = run_trevanix({"--dictionary", system, mode});
            EXPECT_EQ(r.status, 1);
            EXPECT_EQ(r.output, "");
            std::size_t at = 0;
            for (const std::string& part : c.said) {
                const std::size_t found = r.errors.find(part, at);
                EXPECT_NE(found, std::string::npos) << part << "\nin:\n" << r.errors;
                at = found == std::string::npos ? at : found + part.size();
            }
            EXPECT_EQ(at, r.errors.size()) << r.errors;
        }
    }
    // A file that is no data file at all.
    const std::string zeros = dir.write("zeros.dbf", std::string(20000, '\0'));
    const RunResult r = run_trevanix({"--dictionary", zeros, "--list-tables"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.errors.rfind("trevanix: cannot tell the block size of " + zeros + ": ", 0), 0u) << r.errors;
    const RunResult missing = run_trevanix({"--dictionary", dir.path("none.dbf"), "--ddl"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.errors, "trevanix: cannot open " + dir.path("none.dbf") + ": No such file or directory\n");
}

TEST(DictionaryDamage, ADamagedSegmentHeaderIsPassedByScanningForItsDataObject)
{
    const Sample s(8192, ByteOrder::Little, SystemDamage::ObjSegmentHeader);
    const Loaded loaded = load(s.built);
    expect_schema(s, loaded);
    ASSERT_EQ(loaded.notes.warnings.size(), 1u);
    std::size_t obj_blocks = 0;
    std::set<std::uint32_t> seen;
    for (const datafile::RowTruth& row : s.built.rows_of("SYS", "OBJ$").rows)
        for (const datafile::PieceAddress& p : row.pieces) obj_blocks += seen.insert(p.block).second;
    EXPECT_EQ(loaded.notes.warnings[0],
              "OBJ$'s segment header (file 1 block 240) is damaged: its tail does not repeat its header: its blocks "
              "were found by scanning system01.dbf for data object 18 (" + std::to_string(obj_blocks) +
                  (obj_blocks == 1 ? " block)" : " blocks)"));
}

TEST(DictionaryDamage, ADamagedDictionaryBlockIsPassedOverAndTheRestStillRead)
{
    const Sample s(8192, ByteOrder::Little, SystemDamage::ColBlock);
    ASSERT_TRUE(s.built.damaged_block);
    const std::uint32_t damaged = s.built.damaged_block->block;
    // The tables whose COL$ or TAB$ rows were in the damaged block.
    std::set<std::uint32_t> hit;
    for (const char* table : {"COL$", "TAB$"})
        for (const datafile::RowTruth& row : s.built.rows_of("SYS", table).rows)
            if (row.head && row.head->block == damaged) {
                NumberText object;
                ASSERT_TRUE(decode_number(ByteView(row.values[0]->data(), row.values[0]->size()), object));
                hit.insert(static_cast<std::uint32_t>(std::stoul(std::string(object.text, object.length))));
            }
    ASSERT_FALSE(hit.empty());
    const Loaded loaded = load(s.built);
    ASSERT_TRUE(loaded.ok) << loaded.error;
    ASSERT_GE(loaded.notes.warnings.size(), 2u);
    const std::string& said = loaded.notes.warnings[0];
    EXPECT_EQ(said.rfind("C_OBJ#: file 1 block " + std::to_string(damaged) + " is damaged (", 0), 0u) << said;
    EXPECT_TRUE(said.ends_with("): its rows are passed over")) << said;
    for (const TableDef* t : s.tables()) {
        const schema::Table* read = find_table(loaded.dictionary.schema, t->owner, t->name);
        ASSERT_NE(read, nullptr) << t->name;  // OBJ$ still lists every table
        if (hit.count(t->object_id) == 0) {
            expect_table(s, *read, *t);
            continue;
        }
        // A table that lost its description is named in a warning.
        bool named = false;
        for (const std::string& warning : loaded.notes.warnings)
            named = named || warning.find(t->owner + "." + t->name) != std::string::npos;
        EXPECT_TRUE(named) << t->name;
    }

    // The command line says so and still lists the tables.
    ScratchDir dir;
    const RunResult r = run_trevanix({"--dictionary", dir.write("system01.dbf", s.built.system), "--list-tables"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.errors.find("trevanix: C_OBJ#: file 1 block " + std::to_string(damaged) + " is damaged"),
              std::string::npos)
        << r.errors;
    EXPECT_NE(r.output.find("SCOTT  EMP"), std::string::npos) << r.output;
}

// ---------------------------------------------------------------------------
// --list-tables

// What the truth says the data files hold of one table (or partition, or
// generation): its live rows, and the blocks any of its pieces lie in.
ObjectCount truth_count(const BuiltDatabase& built, const std::string& owner, const std::string& table,
                        const std::string& partition, std::uint32_t data_object)
{
    ObjectCount count;
    std::set<std::pair<std::uint32_t, std::uint32_t>> blocks;
    for (const datafile::TableRows& rows : built.rows) {
        if (rows.owner != owner || rows.table != table || rows.partition != partition || rows.data_object != data_object)
            continue;
        for (const datafile::RowTruth& row : rows.rows) {
            count.rows += row.head && !row.deleted;
            for (const datafile::PieceAddress& p : row.pieces) blocks.insert({p.file, p.block});
        }
    }
    count.blocks = blocks.size();
    return count;
}

ObjectCount table_truth(const Sample& s, const TableDef& t)
{
    if (t.partitions.empty()) return truth_count(s.built, t.owner, t.name, "", t.data_object_id);
    ObjectCount total;
    for (const datafile::PartitionDef& p : t.partitions) {
        const ObjectCount part = truth_count(s.built, t.owner, t.name, p.name, p.data_object_id);
        total.blocks += part.blocks;
        total.rows += part.rows;
    }
    return total;
}

std::vector<std::string> words_of(const std::string& line)
{
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string word; in >> word;) words.push_back(word);
    return words;
}

std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::string old_generation_line(const Sample& s)
{
    const ObjectCount old = truth_count(s.built, "SCOTT", "EVENTS", "", 87150);
    return "-- data object 87150: " + std::to_string(old.blocks) + (old.blocks == 1 ? " block, " : " blocks, ") +
           std::to_string(old.rows) + " rows, no table in the dictionary; rows fit SCOTT.EVENTS (truncated or moved?)";
}

TEST(ListTables, TextGivesEachTableItsBlocksAndRowsAndNamesTheOlderGeneration)
{
    for (const auto& [size, order] : {std::pair{8192u, ByteOrder::Little}, std::pair{2048u, ByteOrder::Big}}) {
        SCOPED_TRACE(size);
        const Sample s(size, order);
        ScratchDir dir;
        const std::string system = dir.write("system01.dbf", s.built.system);
        const std::string users = dir.write("users01.dbf", s.built.users);
        const RunResult r = run_trevanix({"--dictionary", system, "--list-tables", users});
        ASSERT_EQ(r.status, 0) << r.errors;
        EXPECT_EQ(r.errors, "");
        const std::vector<std::string> lines = lines_of(r.output);
        ASSERT_GT(lines.size(), 3u);
        EXPECT_EQ(lines[0], "OWNER  TABLE           OBJECT  DATA OBJECT  COLUMNS  BLOCKS  ROWS");
        EXPECT_EQ(lines[lines.size() - 2], old_generation_line(s));
        EXPECT_EQ(lines.back(), "-- dictionary of release 11.2 or earlier (OBJ$ has 21 columns); its file header does "
                                "not say; BOOTSTRAP$ line -1 reads \"8.0.0.0.0\"");

        std::map<std::string, std::vector<std::string>> by_table;
        std::string last;
        for (std::size_t i = 1; i + 2 < lines.size(); ++i) {
            const std::vector<std::string> words = words_of(lines[i]);
            const bool partition = lines[i][0] == ' ';
            last = partition ? last : words[0] + "." + words[1];
            by_table[partition ? last + ":" + words[0] : last] = words;
        }
        for (const TableDef* t : s.tables()) {
            const std::string name = t->owner + "." + t->name;
            SCOPED_TRACE(name);
            ASSERT_EQ(by_table.count(name), 1u);
            const std::vector<std::string>& words = by_table[name];
            ASSERT_GE(words.size(), 7u);
            EXPECT_EQ(words[2], std::to_string(t->object_id));
            EXPECT_EQ(words[3], t->partitions.empty() ? std::to_string(t->data_object_id) : "-");
            std::size_t visible = 0;
            for (const ColumnDef& c : t->columns) visible += !c.hidden();
            EXPECT_EQ(words[4], std::to_string(visible));
            // The SYSTEM file is not among the data files: its tables show 0.
            const ObjectCount truth = t->owner == "SYS" ? ObjectCount{} : table_truth(s, *t);
            EXPECT_EQ(words[5], std::to_string(truth.blocks));
            EXPECT_EQ(words[6], std::to_string(truth.rows));
            for (const datafile::PartitionDef& p : t->partitions) {
                const std::vector<std::string>& part = by_table[name + ":" + p.name];
                const ObjectCount count = truth_count(s.built, t->owner, t->name, p.name, p.data_object_id);
                EXPECT_EQ(part, (std::vector<std::string>{p.name, std::to_string(p.data_object_id),
                                                          std::to_string(count.blocks), std::to_string(count.rows),
                                                          "partition"}));
            }
        }
        EXPECT_EQ(by_table.size(), s.tables().size() + 2);  // and SALES's two partitions
    }
}

TEST(ListTables, TextLinesAreAlignedAndSayHowEachTableIsStored)
{
    const Sample s;
    ScratchDir dir;
    const RunResult r = run_trevanix({"--dictionary", dir.write("system01.dbf", s.built.system), "--list-tables",
                                      dir.write("users01.dbf", s.built.users)});
    for (const char* line : {"SCOTT  DEPT             87111        87110        3       1     4  cluster 87110, table 1\n",
                             "SCOTT  SALES            87140            -        3       2     6  2 partitions\n",
                             "         P2019                       87141                1     3  partition\n",
                             "SYS    COL$                21            2       24       0     0  cluster 2, table 5\n",
                             "HR     HIDDEN_COLS      87130        87130        3       1     3\n"})
        EXPECT_NE(r.output.find(line), std::string::npos) << line << "\nin:\n" << r.output;
    // Without data files, the dictionary alone.
    const RunResult alone = run_trevanix({"--dictionary", dir.path("system01.dbf"), "--list-tables"});
    EXPECT_EQ(alone.status, 0);
    EXPECT_EQ(lines_of(alone.output)[0], "OWNER  TABLE           OBJECT  DATA OBJECT  COLUMNS");
    EXPECT_NE(alone.output.find("SCOTT  EMP              87112        87110        5  cluster 87110, table 2\n"),
              std::string::npos)
        << alone.output;
    EXPECT_EQ(alone.output.find("-- data object"), std::string::npos);
}

TEST(ListTables, TheSystemFileAmongTheDataFilesCountsTheDictionarysOwnTables)
{
    const Sample s(4096, ByteOrder::Little);
    ScratchDir dir;
    const std::string system = dir.write("system01.dbf", s.built.system);
    const RunResult r = run_trevanix({"--format", "jsonl", "--dictionary", system, "--list-tables", system,
                                      "-f", dir.write("users01.dbf", s.built.users)});
    ASSERT_EQ(r.status, 0) << r.errors;
    for (const Json& entry : parse_json_lines(r.output)) {
        if (entry.names[0] != "owner" || entry["owner"].text != "SYS") continue;
        const std::string name = entry["table"].text;
        for (const TableDef& t : s.built.dictionary) {
            if (t.name != name) continue;
            const ObjectCount truth = truth_count(s.built, "SYS", name, "", t.data_object_id);
            EXPECT_EQ(entry["rows"].text, std::to_string(truth.rows)) << name;
            EXPECT_EQ(entry["blocks"].text, std::to_string(truth.blocks)) << name;
            EXPECT_GT(truth.rows, 0u);
        }
    }
}

TEST(ListTables, JsonlHoldsTheFieldsOfEachTableAndOfEachUnknownDataObject)
{
    const Sample s;
    ScratchDir dir;
    const std::string system = dir.write("system01.dbf", s.built.system);
    const std::string users = dir.write("users01.dbf", s.built.users);
    const RunResult r = run_trevanix({"--dictionary", system, "--list-tables", "--format", "jsonl", users});
    ASSERT_EQ(r.status, 0) << r.errors;
    const std::vector<Json> entries = parse_json_lines(r.output);
    ASSERT_EQ(entries.size(), s.tables().size() + 2);
    const std::vector<std::string> table_keys{"owner",   "table",   "object_id",  "data_object_id", "columns",
                                              "cluster", "partitions", "blocks", "rows", "dropped"};
    for (std::size_t i = 0; i + 2 < entries.size(); ++i) {
        const Json& e = entries[i];
        EXPECT_EQ(e.keys(), table_keys);
        const TableDef* truth = nullptr;
        for (const TableDef* t : s.tables())
            if (t->owner == e["owner"].text && t->name == e["table"].text) truth = t;
        ASSERT_NE(truth, nullptr) << e["table"].text;
        SCOPED_TRACE(truth->name);
        EXPECT_EQ(e["object_id"].text, std::to_string(truth->object_id));
        if (truth->partitions.empty())
            EXPECT_EQ(e["data_object_id"].text, std::to_string(truth->data_object_id));
        else
            EXPECT_EQ(e["data_object_id"].kind, Json::Null);
        if (truth->cluster) {
            EXPECT_EQ(e["cluster"].keys(), (std::vector<std::string>{"object_id", "table"}));
            EXPECT_EQ(e["cluster"]["object_id"].text, std::to_string(truth->cluster->cluster_object));
            EXPECT_EQ(e["cluster"]["table"].text, std::to_string(truth->cluster->table));
        } else {
            EXPECT_EQ(e["cluster"].kind, Json::Null);
        }
        ASSERT_EQ(e["partitions"].items.size(), truth->partitions.size());
        for (std::size_t p = 0; p < truth->partitions.size(); ++p) {
            const Json& part = e["partitions"].items[p];
            const datafile::PartitionDef& def = truth->partitions[p];
            EXPECT_EQ(part.keys(), (std::vector<std::string>{"name", "data_object_id", "blocks", "rows"}));
            EXPECT_EQ(part["name"].text, def.name);
            EXPECT_EQ(part["data_object_id"].text, std::to_string(def.data_object_id));
            EXPECT_EQ(part["rows"].text,
                      std::to_string(truth_count(s.built, truth->owner, truth->name, def.name, def.data_object_id).rows));
        }
        const ObjectCount count = truth->owner == "SYS" ? ObjectCount{} : table_truth(s, *truth);
        EXPECT_EQ(e["blocks"].text, std::to_string(count.blocks));
        EXPECT_EQ(e["rows"].text, std::to_string(count.rows));
        EXPECT_EQ(e["dropped"].kind, Json::Bool);
        EXPECT_FALSE(e["dropped"].boolean);
    }
    const Json& release = entries.back();
    EXPECT_EQ(release.keys(),
              (std::vector<std::string>{"release", "object_columns", "file_header_release", "bootstrap_version"}));
    EXPECT_EQ(release["release"].text, "11.2 or earlier");
    EXPECT_EQ(release["object_columns"].text, "21");
    EXPECT_EQ(release["file_header_release"].kind, Json::Null);
    EXPECT_EQ(release["bootstrap_version"].text, "8.0.0.0.0");
    const Json& unknown = entries[entries.size() - 2];
    EXPECT_EQ(unknown.keys(), (std::vector<std::string>{"unknown_data_object_id", "blocks", "rows", "fits"}));
    EXPECT_EQ(unknown["unknown_data_object_id"].text, "87150");
    const ObjectCount old = truth_count(s.built, "SCOTT", "EVENTS", "", 87150);
    EXPECT_EQ(unknown["blocks"].text, std::to_string(old.blocks));
    EXPECT_EQ(unknown["rows"].text, std::to_string(old.rows));
    ASSERT_EQ(unknown["fits"].items.size(), 1u);
    EXPECT_EQ(unknown["fits"].items[0].text, "SCOTT.EVENTS");

    // Without data files the counts are null, not 0.
    const Json first = parse_json_lines(run_trevanix({"--dictionary", system, "--list-tables", "--format=jsonl"}).output)[0];
    EXPECT_EQ(first["blocks"].kind, Json::Null);
    EXPECT_EQ(first["rows"].kind, Json::Null);
}

// ---------------------------------------------------------------------------
// Releases: the dictionaries of 10g to 19c, fresh and upgraded

using datafile::DictionaryShape;

const schema::Table& table_named(const Loaded& loaded, const std::string& owner, const std::string& name)
{
    const schema::Table* table = find_table(loaded.dictionary.schema, owner, name);
    if (table == nullptr) throw std::runtime_error("no table " + owner + "." + name);
    return *table;
}

TEST(DictionaryReleases, EveryShapeReadsAsTheBuilderWroteIt)
{
    for (const DictionaryShape shape : datafile::all_shapes()) {
        for (const auto& [size, order] : {std::pair{8192u, ByteOrder::Little}, std::pair{4096u, ByteOrder::Big}}) {
            SCOPED_TRACE(datafile::shape_name(shape) + " " + std::to_string(size));
            const Sample s(datafile::release_database(shape, size, order));
            const Loaded loaded = load(s.built);
            expect_schema(s, loaded);
            EXPECT_TRUE(loaded.notes.warnings.empty()) << loaded.notes.warnings.front();
        }
    }
}

TEST(DictionaryReleases, TheReleaseIsToldByOBJsColumnsTheFileHeaderAndBootstrapsFirstLine)
{
    struct Case {
        DictionaryShape shape;
        std::string by_dictionary;
        std::size_t columns;
        std::string by_header;
    };
    const Case cases[] = {{DictionaryShape::Release10g, "11.2 or earlier", 21, "10g or earlier"},
                          {DictionaryShape::Release11_2, "11.2 or earlier", 21, "11g"},
                          {DictionaryShape::Release12_1, "12.1", 25, "12c or later"},
                          {DictionaryShape::Release19c, "12.2 or later", 37, "12c or later"},
                          {DictionaryShape::Release19cUpgraded, "12.2 or later", 37, "12c or later"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(datafile::shape_name(c.shape));
        const Loaded loaded = load(datafile::build_database(datafile::release_database(c.shape)));
        ASSERT_TRUE(loaded.ok) << loaded.error;
        EXPECT_EQ(loaded.dictionary.release,
                  (dictionary::Release{c.by_dictionary, c.columns, c.by_header, std::string("8.0.0.0.0")}));
    }
    // The sample's headers end with the fields every release writes.
    EXPECT_EQ(load(Sample().built).dictionary.release.by_file_header, "");
    EXPECT_EQ(dictionary::release_by_object_columns(40), "12.2 or later");  // a later release's superset
}

// An upgraded database's core tables: the numbers of their statements,
// none of a fresh database's, and their places in C_OBJ# as the upgrade
// gives them.
TEST(DictionaryReleases, AnUpgradedDictionaryIsReadByTheNumbersItsStatementsGive)
{
    const Loaded loaded = load(datafile::build_database(datafile::release_database(DictionaryShape::Release19cUpgraded)));
    ASSERT_TRUE(loaded.ok) << loaded.error;
    const schema::Table& col = table_named(loaded, "SYS", "COL$");
    const schema::Table& tab = table_named(loaded, "SYS", "TAB$");
    EXPECT_EQ(table_named(loaded, "SYS", "OBJ$").object_number, 90020u);
    EXPECT_EQ(table_named(loaded, "SYS", "BOOTSTRAP$").data_object, 90030u);
    EXPECT_EQ(col.object_number, 90003u);
    EXPECT_EQ(col.cluster, (schema::ClusterPlacement{90001, 1, 1}));
    EXPECT_EQ(tab.cluster, (schema::ClusterPlacement{90001, 3, 1}));
    EXPECT_EQ(table_named(loaded, "SYS", "USER$").cluster, (schema::ClusterPlacement{90010, 1, 1}));
    // COL$ stores DEFAULT$, its LONG column, last, and ACDRRESCOL# in its place.
    ASSERT_EQ(col.columns.size(), 37u);
    EXPECT_EQ(col.columns[13].name, "ACDRRESCOL#");
    EXPECT_EQ(col.columns.back().name, "DEFAULT$");
    // Names of 128 bytes, the owner's too.
    const std::string owner = loaded.dictionary.users.back().name;
    EXPECT_EQ(owner.size(), 128u);
    std::size_t long_names = 0;
    for (const schema::Table& t : loaded.dictionary.schema.tables) {
        long_names += t.name.size() == 128;
        for (const schema::Column& c : t.columns) long_names += c.name.size() == 128;
    }
    EXPECT_EQ(long_names, 3u);
    EXPECT_EQ(table_named(loaded, "SYS", "OBJ$").columns[3].name + " " +
                  schema::sql_type_text(table_named(loaded, "SYS", "OBJ$").columns[3]),
              "NAME VARCHAR2(128 BYTE)");
}

std::string replaced(std::string text, const std::string& from, const std::string& to)
{
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// The server writes the lines of 12.1 and later itself: keywords in any
// case, names quoted or bare. Here every keyword is in lower case and
// every table's and cluster's name quoted, in an upgraded database.
TEST(DictionaryReleases, KeywordsInAnyCaseAndNamesQuotedOrBare)
{
    datafile::Database database = datafile::release_database(DictionaryShape::Release19cUpgraded);
    for (datafile::BootstrapLine& line : database.bootstrap) {
        if (line.line < 0) continue;
        std::string sql = line.sql;
        for (const char* name : {"OBJ$", "TAB$", "COL$", "USER$", "BOOTSTRAP$"})
            sql = replaced(sql, std::string("CREATE TABLE ") + name + "(", std::string("create table \"") + name + "\"(");
        for (const char* cluster : {"C_OBJ#", "C_USER#"}) {
            sql = replaced(sql, std::string("CREATE CLUSTER ") + cluster + "(", std::string("Create Cluster \"") + cluster + "\"(");
            sql = replaced(sql, std::string(" CLUSTER ") + cluster + "(", std::string(" cluster \"") + cluster + "\"(");
        }
        for (const char* word : {"STORAGE", "OBJNO", "TABNO", "EXTENTS", "FILE", "BLOCK", "NUMBER", "VARCHAR2", "NOT NULL",
                                 "PCTFREE", "INITIAL"}) {
            std::string lower = word;
            for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            sql = replaced(sql, std::string(" ") + word + " ", " " + lower + " ");
            sql = replaced(sql, std::string(" ") + word + "(", " " + lower + "(");
            sql = replaced(sql, std::string(" ") + word + ")", " " + lower + ")");
            sql = replaced(sql, std::string(" ") + word + ",", " " + lower + ",");
        }
        line.sql = replaced(sql, "(FILE ", "(file ");
    }
    const auto obj = std::find_if(database.bootstrap.begin(), database.bootstrap.end(),
                                  [](const datafile::BootstrapLine& l) { return l.line == 18; });
    ASSERT_NE(obj, database.bootstrap.end());
    ASSERT_EQ(obj->sql.rfind("create table \"OBJ$\"(\"OBJ#\" number not null,", 0), 0u) << obj->sql;
    ASSERT_NE(obj->sql.find(" objno 90020 extents (file 1 block 1248))"), std::string::npos) << obj->sql;
    const Sample s(database);
    const Loaded loaded = load(s.built);
    expect_schema(s, loaded);
    EXPECT_EQ(table_named(loaded, "SYS", "COL$").cluster, (schema::ClusterPlacement{90001, 1, 1}));
}

// 21c and 23ai are taken to add columns as every release before did: the
// columns a reader needs are found by name, the others passed over, even
// where they hold values.
TEST(DictionaryReleases, ColumnsALaterReleaseAddsArePassedOver)
{
    datafile::Database database = datafile::release_database(DictionaryShape::Release19c);
    for (datafile::BootstrapLine& line : database.bootstrap) {
        for (const char* table : {"OBJ$", "TAB$"}) {
            if (line.sql.rfind(std::string("CREATE TABLE ") + table + "(", 0) != 0) continue;
            const std::size_t end = line.sql.find(") ", line.sql.find("\"SPARE"));
            ASSERT_NE(end, std::string::npos) << line.sql;
            line.sql.insert(end, ",\"SPARE15\" NUMBER,\"SPARE16\" VARCHAR2(4000)");
        }
    }
    database.dictionary_values["OBJ$"]["SPARE16"] = datafile::number_value("1");  // any bytes: a VARCHAR2's
    database.dictionary_values["TAB$"]["SPARE15"] = datafile::number_value("23");
    const Sample s(database);
    const Loaded loaded = load(s.built);
    expect_schema(s, loaded);
    EXPECT_TRUE(loaded.notes.warnings.empty()) << loaded.notes.warnings.front();
    EXPECT_EQ(table_named(loaded, "SYS", "OBJ$").columns.size(), 39u);
    EXPECT_EQ(loaded.dictionary.release.by_dictionary, "12.2 or later");
}

// A statement that does not parse is named by what it creates, whatever
// its numbers: the upgraded OBJ$'s line 18 is object 90020.
TEST(DictionaryReleases, AStatementThatDoesNotParseIsNamedByTheTableItCreates)
{
    const Loaded loaded = load(datafile::build_database(datafile::release_database(DictionaryShape::Release19cUpgraded),
                                                        SystemDamage::UnparsableBootstrapRow));
    EXPECT_FALSE(loaded.ok);
    EXPECT_EQ(loaded.error.rfind("cannot read OBJ$: the statement of OBJ$ does not parse: BOOTSTRAP$ line 18 (object "
                                 "90020, file 1 block ",
                                 0),
              0u)
        << loaded.error;
}

TEST(DictionaryReleases, ListTablesEndsWithTheRelease)
{
    ScratchDir dir;
    const BuiltDatabase built = datafile::build_database(datafile::release_database(DictionaryShape::Release19cUpgraded));
    const std::string system = dir.write("system01.dbf", built.system);
    const RunResult r = run_trevanix({"--dictionary", system, "--list-tables"});
    ASSERT_EQ(r.status, 0) << r.errors;
    EXPECT_EQ(lines_of(r.output).back(), "-- dictionary of release 12.2 or later (OBJ$ has 37 columns); its file header "
                                         "says probably 12c or later; BOOTSTRAP$ line -1 reads \"8.0.0.0.0\"");
    const RunResult json = run_trevanix({"--dictionary", system, "--list-tables", "--format=jsonl"});
    const Json release = parse_json_lines(json.output).back();
    EXPECT_EQ(release["release"].text, "12.2 or later");
    EXPECT_EQ(release["object_columns"].text, "37");
    EXPECT_EQ(release["file_header_release"].text, "probably 12c or later");
    EXPECT_EQ(release["bootstrap_version"].text, "8.0.0.0.0");
}

// ---------------------------------------------------------------------------
// --ddl

TEST(Ddl, TheSchemaFileADbaReadsAndTheReaderReadsBack)
{
    const Sample s(2048, ByteOrder::Big);
    ScratchDir dir;
    const RunResult r = run_trevanix({"--dictionary", dir.write("system01.dbf", s.built.system), "--ddl"});
    ASSERT_EQ(r.status, 0) << r.errors;
    EXPECT_EQ(r.errors, "");
    EXPECT_EQ(r.output.rfind("-- database character set AL32UTF8\n-- national character set AL16UTF16\n\n", 0), 0u);
    // Each table's segment header, as TAB$ gives it.
    const auto header = [&](std::uint32_t data_object) {
        for (const datafile::SegmentTruth& segment : s.built.segments)
            if (segment.data_object == data_object)
                return "segment header file " + std::to_string(segment.header.file) + " block " +
                       std::to_string(segment.header.block);
        return std::string("no segment");
    };
    for (const std::string& statement : {
             "-- data object 87110, cluster table 2, key columns 1, " + header(87110) + "\n"
             "CREATE TABLE \"SCOTT\".\"EMP\" (\n"
             "  \"DEPTNO\" NUMBER(2),\n"
             "  \"EMPNO\" NUMBER(4) NOT NULL,\n"
             "  \"ENAME\" VARCHAR2(10 BYTE),\n"
             "  \"JOB\" VARCHAR2(9 BYTE),\n"
             "  \"SAL\" NUMBER(7,2)\n"
             ");\n",
             "-- data objects 87141 P2019 " + header(87141) + ", 87142 P2020 " + header(87142) + "\n"
             "CREATE TABLE \"SCOTT\".\"SALES\" (\n",
             "-- data object 87130, " + header(87130) + "\n"
             "CREATE TABLE \"HR\".\"HIDDEN_COLS\" (\n"
             "  \"ID\" NUMBER(6) NOT NULL,\n"
             "  \"SECRET\" VARCHAR2(20 BYTE), -- hidden\n"
             "  \"SYS_C00003_19030112:00:00$\" NUMBER, -- hidden; unused\n"
             "  \"NOTE\" VARCHAR2(30 BYTE)\n"
             ");\n",
             std::string("  \"NAME\" VARCHAR2(40 BYTE), -- character set WE8MSWIN1252\n"),
             "-- data object 2, cluster table 5, key columns 1, " + header(2) + "\nCREATE TABLE \"SYS\".\"COL$\" (\n",
             "-- data object 87151, " + header(87151) + "\nCREATE TABLE \"SCOTT\".\"EVENTS\" (\n"})
        EXPECT_NE(r.output.find(statement), std::string::npos) << statement;
    // The virtual column is not stored, so not written.
    EXPECT_EQ(r.output.find("\"TOTAL\""), std::string::npos);

    const schema::Parsed<schema::Schema> read = schema::parse_schema_file(r.output);
    ASSERT_TRUE(read.ok()) << read.error;
    const Loaded loaded = load(s.built);
    ASSERT_EQ(read.value.tables.size(), loaded.dictionary.schema.tables.size());
    EXPECT_EQ(read.value.database_charset, loaded.dictionary.schema.database_charset);
    for (std::size_t i = 0; i < read.value.tables.size(); ++i) {
        const schema::Table& back = read.value.tables[i];
        const schema::Table& dictionary = loaded.dictionary.schema.tables[i];
        SCOPED_TRACE(dictionary.name);
        EXPECT_EQ(back.owner, dictionary.owner);
        EXPECT_EQ(back.name, dictionary.name);
        // A schema file names partitions by name and data object; their object numbers are the dictionary's own.
        std::vector<schema::Partition> partitions = dictionary.partitions;
        for (schema::Partition& partition : partitions) partition.object_number = 0;
        EXPECT_EQ(back.partitions, partitions);
        EXPECT_EQ(back.segment, dictionary.segment);
        if (dictionary.partitions.empty()) {
            EXPECT_EQ(back.data_object, dictionary.data_object);
        }
        std::vector<std::string> stored;
        for (const schema::Column& c : dictionary.columns)
            if (c.segment_column != 0)
                stored.push_back(c.name + " " + schema::sql_type_text(c) + (c.nullable ? "" : " NOT NULL") +
                                 (c.hidden ? " hidden" : "") + " " + std::to_string(c.charset_id));
        std::vector<std::string> written;
        for (const schema::Column& c : back.columns)
            written.push_back(c.name + " " + schema::sql_type_text(c) + (c.nullable ? "" : " NOT NULL") +
                              (c.hidden ? " hidden" : "") + " " + std::to_string(c.charset_id));
        EXPECT_EQ(written, stored);
    }
}

// ---------------------------------------------------------------------------
// The command line

TEST(DictionaryArguments, TheModesSayWhatTheyNeedAndWhatTheyRefuse)
{
    const std::vector<std::pair<std::vector<std::string>, std::string>> refused = {
        {{"--list-tables"}, "--list-tables reads the data dictionary: add --dictionary SYSTEM_FILE"},
        {{"--ddl", "-f", "x"},
         "--ddl prints the schema of --dictionary SYSTEM_FILE or --schema FILE, or with --infer the one the data "
         "files' rows suggest"},
        {{"--dictionary", "s.dbf", "-f", "x"}, "--dictionary is read by --unload, --ddl, --list-tables and --verify: add one of them"},
        {{"--dictionary", "s.dbf", "--list-tables", "--ddl"},
         "--unload, --ddl and --list-tables do not go together: each is a run of its own"},
        {{"--dictionary", "s.dbf", "--list-tables", "--format", "csv"}, "--list-tables writes text or jsonl, not csv"},
        {{"--dictionary", "s.dbf", "--ddl", "--format", "jsonl"},
         "--unload and --ddl type the columns from the schema and write their own files: leave out --format, --rows, "
         "--verify, -c and -a C"},
        {{"--dictionary", "s.dbf", "--list-tables", "--verify"},
         "--list-tables writes its own list: leave out --rows, --verify, -c and -a C"},
        {{"--dictionary", "s.dbf", "--list-tables", "--schema", "s.sql"},
         "--dictionary and --schema are two sources of the schema: give one of them"},
        {{"--dictionary"}, "--dictionary needs a value"},
        {{"--dictionary="}, "--dictionary wants the path of the SYSTEM data file"},
        {{"--list-table"}, "Unknown option --list-table (did you mean --list-tables?); trevanix --help lists every option"},
    };
    for (const auto& [args, message] : refused) {
        const RunResult r = run_trevanix(args);
        EXPECT_EQ(r.errors, "trevanix: " + message + "\n") << args[0];
        EXPECT_EQ(r.output, "");
        EXPECT_EQ(r.status, 2);
    }
}

TEST(DictionaryArguments, GeometryIsFoundUnlessGivenAndAWrongOneFails)
{
    const Sample s(2048, ByteOrder::Big);
    ScratchDir dir;
    const std::string system = dir.write("system01.dbf", s.built.system);
    const std::string found = run_trevanix({"--dictionary", system, "--ddl"}).output;
    EXPECT_NE(found.find("CREATE TABLE \"SCOTT\".\"EMP\""), std::string::npos);
    EXPECT_EQ(run_trevanix({"--dictionary", system, "--ddl", "--block-size", "2048", "--byte-order", "big"}).output, found);
    EXPECT_EQ(run_trevanix({"--dictionary", system, "--ddl", "-z", "2048"}).output, found);
    const RunResult wrong =
        run_trevanix({"--dictionary", system, "--ddl", "--block-size", "2048", "--byte-order", "little"});
    EXPECT_EQ(wrong.status, 1);
    EXPECT_EQ(wrong.output, "");
    EXPECT_EQ(wrong.errors, "trevanix: cannot read the data dictionary: " + system +
                                ": block 1 is no data file header, so there is no root address to start from\n");
}

// ---------------------------------------------------------------------------
// Dictionary values

TEST(DictionaryFields, NumbersAreWholeAndTextIsItsBytes)
{
    const std::vector<datafile::Value> stored = {datafile::number_value("87101"), datafile::number_value("-127"),
                                                 datafile::number_value("12.5"), std::nullopt,
                                                 datafile::Value(datafile::Bytes{'O', 'B', 'J', '$'}),
                                                 datafile::Value(datafile::Bytes{0xFF, 0x00})};
    Row row;
    for (const datafile::Value& v : stored)
        row.values.push_back(v ? ColumnValue{ByteView(v->data(), v->size()), static_cast<std::uint32_t>(v->size()),
                                             static_cast<std::uint16_t>(v->size()), false}
                               : ColumnValue{ByteView(), 0, 0, true});
    const std::vector<std::string> columns{"OBJ#", "SCALE", "RATIO", "DATAOBJ#", "NAME", "JUNK", "TRAILING"};
    auto number = [&](const char* name, bool& bad) {
        return dictionary::number_field(row, dictionary::column_at(columns, name), bad);
    };
    bool bad = false;
    EXPECT_EQ(number("OBJ#", bad), 87101);
    EXPECT_EQ(number("SCALE", bad), -127);
    EXPECT_EQ(number("DATAOBJ#", bad), std::nullopt);  // NULL
    EXPECT_EQ(number("TRAILING", bad), std::nullopt);  // not stored: NULL
    EXPECT_EQ(number("NOT THERE", bad), std::nullopt);
    EXPECT_FALSE(bad);
    EXPECT_EQ(number("RATIO", bad), std::nullopt);  // a fraction is no whole number
    EXPECT_TRUE(bad);
    bad = false;
    EXPECT_EQ(number("JUNK", bad), std::nullopt);
    EXPECT_TRUE(bad);
    EXPECT_EQ(dictionary::text_field(row, dictionary::column_at(columns, "NAME")), "OBJ$");
    EXPECT_EQ(dictionary::text_field(row, dictionary::column_at(columns, "DATAOBJ#")), std::nullopt);
}

// ---------------------------------------------------------------------------
// Which tables the rows of an unknown data object fit

infer::ObjectStats stats_of(const std::vector<std::vector<datafile::Value>>& rows)
{
    infer::ObjectStats stats{infer::Options{}};
    for (const std::vector<datafile::Value>& row : rows) {
        std::vector<std::optional<ByteView>> values;
        for (const datafile::Value& v : row)
            values.push_back(v ? std::optional<ByteView>(ByteView(v->data(), v->size())) : std::nullopt);
        stats.add_row(values);
    }
    return stats;
}

schema::Table table_of(const std::vector<std::pair<std::string, bool>>& types)
{
    schema::Table table;
    std::uint32_t position = 0;
    for (const auto& [type, nullable] : types) {
        schema::Column column = schema::parse_sql_type(type).value;
        column.nullable = nullable;
        column.segment_column = ++position;
        table.columns.push_back(column);
    }
    return table;
}

TEST(RowsFit, CountAndTypesOfTheStoredColumnsDecide)
{
    auto text = [](const std::string& s) { return datafile::Value(datafile::Bytes(s.begin(), s.end())); };
    const datafile::Value seven = datafile::number_value("7"), date = datafile::date_value(2019, 3, 1, 9, 0, 0);
    const infer::ObjectStats rows = stats_of({{seven, text("a note"), date}, {seven, text("another")}});
    EXPECT_TRUE(dictionary::rows_fit(rows, table_of({{"NUMBER", false}, {"VARCHAR2(20)", true}, {"DATE", true}})));
    // A column that the rows leave out at their end may be NULL.
    EXPECT_TRUE(dictionary::rows_fit(
        rows, table_of({{"NUMBER", false}, {"VARCHAR2(20)", true}, {"DATE", true}, {"NUMBER", true}})));
    // Not when it is NOT NULL, nor when a row is wider than the table.
    EXPECT_FALSE(dictionary::rows_fit(
        rows, table_of({{"NUMBER", false}, {"VARCHAR2(20)", true}, {"DATE", true}, {"NUMBER", false}})));
    EXPECT_FALSE(dictionary::rows_fit(rows, table_of({{"NUMBER", false}, {"VARCHAR2(20)", true}})));
    EXPECT_FALSE(dictionary::rows_fit(rows, table_of({{"NUMBER", false}, {"VARCHAR2(20)", true}, {"DATE", false}})));
    // Values the type cannot hold.
    EXPECT_FALSE(dictionary::rows_fit(rows, table_of({{"NUMBER", false}, {"NUMBER", true}, {"DATE", true}})));
    EXPECT_FALSE(dictionary::rows_fit(rows, table_of({{"NUMBER", false}, {"VARCHAR2(20)", true}, {"VARCHAR2(20)", true}})));
    EXPECT_FALSE(dictionary::rows_fit(rows, table_of({{"DATE", false}, {"VARCHAR2(20)", true}, {"DATE", true}})));
    // Bytes fit RAW, whatever they hold; a clustered table is not weighed.
    EXPECT_TRUE(dictionary::rows_fit(rows, table_of({{"RAW(22)", false}, {"RAW(20)", true}, {"RAW(7)", true}})));
    schema::Table clustered = table_of({{"NUMBER", false}, {"VARCHAR2(20)", true}, {"DATE", true}});
    clustered.cluster = schema::ClusterPlacement{1, 1, 1};
    EXPECT_FALSE(dictionary::rows_fit(rows, clustered));
    EXPECT_FALSE(dictionary::rows_fit(stats_of({}), table_of({{"NUMBER", true}})));
}

}  // namespace

// The statistics of the rows of unknown data objects, which --list-tables
// weighs against the tables, are held within one budget for all of them:
// past it, the object fed least recently is fitted there and then. Each
// block of the objects bench file is an object of its own, so that an
// object fitted early has been seen whole, and fits as it would at the end.
TEST(ObjectCensus, UnknownObjectsStatisticsStayWithinTheBudgetHoweverMany)
{
    constexpr std::uint32_t kObjects = 120;
    std::vector<datafile::Block> blocks;
    for (std::uint32_t i = 1; i <= kObjects; ++i)
        blocks.push_back(datafile::bench_block(i, 8192, datafile::BenchData::Objects));
    DataFileSet files;
    DataFile* file = add_file(files, file_of(blocks), "objects.dbf");
    // A table of 25 RAW columns fits every object's rows; one of 3 none.
    schema::Schema schema;
    for (const std::uint32_t width : {25u, 3u}) {
        schema::Table& table = schema.tables.emplace_back();
        table.name = width == 25 ? "T25" : "T3";
        table.data_object = 1;
        for (std::uint32_t c = 1; c <= width; ++c) {
            schema::Column& column = table.columns.emplace_back();
            column.name = "C";
            column.name += std::to_string(c);
            column.type = schema::OracleType::Raw;
            column.column_number = column.segment_column = column.internal_column = c;
        }
    }
    constexpr std::size_t kBudget = 128 << 10;
    dictionary::ObjectCensus bounded(schema, files, infer::Options{}, kBudget);
    dictionary::ObjectCensus unbounded(schema, files, infer::Options{}, SIZE_MAX);
    std::size_t most_held = 0;
    for (std::int32_t number = 1; number <= static_cast<std::int32_t>(kObjects) + 1; ++number) {
        Block block;
        if (file->read(number, block, Access::Random) != ReadStatus::Ok) continue;
        DecodedBlock decoded = decode_block_headers(std::move(block));
        decode_data_layer(decoded, false);
        bounded.add_block(decoded);
        unbounded.add_block(decoded);
        most_held = std::max(most_held, bounded.held_bytes());
    }
    const std::vector<dictionary::ObjectCensus::Unknown> early = bounded.unknown_objects();
    const std::vector<dictionary::ObjectCensus::Unknown> late = unbounded.unknown_objects();
    ASSERT_EQ(early.size(), late.size());
    ASSERT_GT(late.size(), kObjects - 5);  // but for a block of an index now and then
    EXPECT_LE(most_held, kBudget);
    // Each object's statistics take more than 8 KiB: all but a few are fitted early.
    EXPECT_GE(bounded.fitted_early(), late.size() - kBudget / (8 << 10));
    EXPECT_EQ(unbounded.fitted_early(), 0u);
    EXPECT_GT(unbounded.held_bytes(), late.size() * (8 << 10));
    for (std::size_t i = 0; i < early.size(); ++i) {
        SCOPED_TRACE(early[i].data_object);
        EXPECT_EQ(early[i].data_object, late[i].data_object);
        EXPECT_EQ(early[i].count, late[i].count);
        ASSERT_EQ(early[i].fits.size(), 1u);
        EXPECT_EQ(early[i].fits[0]->name, "T25");
        EXPECT_EQ(late[i].fits, early[i].fits);
    }
}
