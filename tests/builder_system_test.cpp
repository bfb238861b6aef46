// The builder's small database, read back as the on-disk format describes
// it: block 0 and the file headers, segment headers and their extent maps,
// BOOTSTRAP$ rows decoded as NUMBER, NUMBER, VARCHAR2 and compared with the
// statements in the repository, every row of every table against its truth,
// the dictionary's description of the users' tables, and the damage the
// negative tests need. Also the benchmark's file of chained rows.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <set>
#include <string>

#include "values/column_types.h"
#include "format/dictionary_format.h"
#include "piece_reading.h"
#include "read/file_kind.h"
#include "release_shapes.h"
#include "system_file.h"
#include "test_support.h"

namespace {

using datafile::BuiltDatabase;
using datafile::LogicalRow;
using datafile::SystemDamage;
using datafile::TableDef;
using datafile::Value;
using piece_reading::FileBytes;

struct BuiltSample {
    explicit BuiltSample(std::uint32_t size = 8192, ByteOrder order = ByteOrder::Little,
                         SystemDamage damage = SystemDamage::None)
        : db(datafile::build_database(datafile::sample_database(size, order), damage)), system(db.system),
          users(db.users)
    {
    }

    BuiltDatabase db;
    FileBytes system;
    FileBytes users;
};

std::string as_text(const Value& v) { return v ? std::string(v->begin(), v->end()) : "NULL"; }

// A NUMBER value as decimal text, through the dumper's decoder.
std::string as_number(const Value& v)
{
    if (!v) return "NULL";
    NumberText text;
    if (!decode_number(ByteView(v->data(), v->size()), text)) return "bad";
    return std::string(text.text, text.length);
}

std::string as_number(ByteView v)
{
    NumberText text;
    return decode_number(v, text) ? std::string(text.text, text.length) : "bad";
}

// A dictionary row's value in column `name`.
Value field(const TableDef& table, const LogicalRow& row, const std::string& name)
{
    for (std::size_t i = 0; i < table.columns.size(); ++i)
        if (table.columns[i].name == name) return i < row.values.size() ? row.values[i] : Value();
    throw std::invalid_argument("no column " + name);
}

const TableDef& dictionary_table(const BuiltDatabase& db, const std::string& name)
{
    for (const TableDef& t : db.dictionary)
        if (t.name == name) return t;
    throw std::invalid_argument("no dictionary table " + name);
}

// The rows of a dictionary table whose column `name` holds the number `value`.
std::vector<LogicalRow> rows_where(const TableDef& table, const std::string& name, const std::string& value)
{
    std::vector<LogicalRow> found;
    for (const LogicalRow& row : table.rows)
        if (as_number(field(table, row, name)) == value) found.push_back(row);
    return found;
}

std::string bytes_at(const BlockView& b, std::size_t at, std::size_t n)
{
    const ByteView v = b.bytes.sub(at, n);
    return std::string(v.data(), v.data() + v.size());
}

TEST(BuilderSystemFile, BlockZeroAndTheFileHeadersHoldTheirFields)
{
    for (const std::uint32_t size : {2048u, 8192u}) {
        for (const ByteOrder order : {ByteOrder::Little, ByteOrder::Big}) {
            const BuiltSample s(size, order);
            const BlockView zero = s.system.block(0);
            EXPECT_EQ(zero.u8(0), 0);
            EXPECT_EQ(zero.u8(1), size == 8192 ? 0xA2 : 0x62);
            EXPECT_EQ(zero.u32(20), size);
            // Both counts leave block 0 out.
            EXPECT_EQ(zero.u32(24), s.system.block_count() - 1);
            EXPECT_EQ(bytes_at(zero, 28, 4), order == ByteOrder::Little ? "\x7D\x7C\x7B\x7A" : "\x7A\x7B\x7C\x7D");

            const BlockView header = s.system.block(1);
            EXPECT_EQ(header.u8(0), 0x0B);
            EXPECT_EQ(header.u32(4), (1u << 22) | 1u);
            EXPECT_EQ(header.u32(28), 0x5EED0B0Bu);
            EXPECT_EQ(bytes_at(header, 32, 8), "TREVANIX");
            EXPECT_EQ(header.u32(44), s.system.block_count() - 1);
            EXPECT_EQ(header.u32(48), size);
            EXPECT_EQ(header.u16(52), 1);
            EXPECT_EQ(header.u16(54), 3);
            EXPECT_EQ(header.u32(96), (1u << 22) | 520u);  // BOOTSTRAP$'s segment header
            EXPECT_EQ(header.u32(332), 0u);
            EXPECT_EQ(header.u16(336), 6);
            EXPECT_EQ(bytes_at(header, 338, 6), "SYSTEM");
            EXPECT_EQ(header.u32(368), 1u);

            const BlockView users = s.users.block(1);
            EXPECT_EQ(users.u32(4), (4u << 22) | 1u);
            EXPECT_EQ(users.u32(96), 0u);
            EXPECT_EQ(users.u32(332), 4u);
            EXPECT_EQ(bytes_at(users, 338, users.u16(336)), "USERS");
            EXPECT_EQ(users.u32(368), 4u);

            // Every block's checksum and tail are right.
            ScratchDir dir;
            for (const auto& [name, file] : {std::pair{"system01.dbf", &s.db.system}, std::pair{"users01.dbf", &s.db.users}}) {
                const RunResult r = run_trevanix({"-f", dir.write(name, *file), "--verify", "--block-size",
                                                  std::to_string(size), "--byte-order",
                                                  order == ByteOrder::Big ? "big" : "little"});
                EXPECT_EQ(r.status, 0) << name << " " << size << "\n" << r.output;
            }
        }
    }
}

TEST(BuilderSystemFile, SegmentHeadersMapTheirExtents)
{
    for (const std::uint32_t size : {2048u, 8192u}) {
        const BuiltSample s(size, ByteOrder::Big);
        std::set<std::string> names;
        for (const datafile::SegmentTruth& segment : s.db.segments) {
            names.insert(segment.name);
            const FileBytes& file = segment.header.file == 1 ? s.system : s.users;
            const BlockView h = file.block(segment.header.block);
            EXPECT_EQ(h.u8(0), segment.space_managed ? 0x23 : 0x10) << segment.name;
            ASSERT_EQ(h.u32(36), segment.extents.size()) << segment.name;
            const std::uint32_t map = segment.space_managed ? 280 : 108;
            std::uint32_t blocks = 0;
            for (std::size_t i = 0; i < segment.extents.size(); ++i) {
                const datafile::Extent& e = segment.extents[i];
                EXPECT_EQ(h.u32(map + 8 * i), (std::uint32_t{segment.header.file} << 22) | e.first_block);
                EXPECT_EQ(h.u32(map + 8 * i + 4), e.length);
                blocks += e.length;
            }
            if (segment.space_managed) {
                const std::uint32_t first = segment.extents[0].first_block;
                EXPECT_EQ(first + 2, segment.header.block);
                EXPECT_EQ(file.block(first).u8(0), 0x20);
                EXPECT_EQ(file.block(first + 1).u8(0), 0x21);
            } else {
                EXPECT_EQ(segment.extents[0].first_block, segment.header.block);
                EXPECT_EQ(h.u32(40), blocks - 1);
                EXPECT_EQ(h.u32(100), segment.data_object);
            }
        }
        for (const char* name : {"SYS.C_OBJ#", "SYS.I_OBJ#", "SYS.C_USER#", "SYS.I_USER#", "SYS.OBJ$", "SYS.BOOTSTRAP$",
                                 "SCOTT.EMP_DEPT", "SCOTT.SALES:P2019", "SCOTT.NOTES"})
            EXPECT_EQ(names.count(name), 1u) << name;
        for (const datafile::SegmentTruth& segment : s.db.segments) {
            if (segment.name == "SYS.C_OBJ#") {
                EXPECT_GT(segment.extents.size(), 1u) << size;
                EXPECT_EQ(segment.header.block, 144u);
            }
        }
    }
}

TEST(BuilderSystemFile, BootstrapRowsHoldTheRealStatementsAsNumberNumberVarchar2)
{
    std::ifstream list(TREVANIX_SOURCE_DIR "/tools/bootstrap-11.2.txt");
    std::set<std::string> expected;
    for (std::string line; std::getline(list, line);)
        if (!line.empty()) expected.insert(line);
    ASSERT_EQ(expected.size(), 11u);

    for (const std::uint32_t size : {2048u, 8192u}) {
        const BuiltSample s(size, size == 2048 ? ByteOrder::Big : ByteOrder::Little);
        // From the root address to the segment header, through its extents.
        const std::uint32_t root = s.system.block(1).u32(96);
        const BlockView header = s.system.block(root & 0x3FFFFF);
        std::set<std::string> found;
        std::uint32_t data_blocks = 0;
        for (std::uint32_t e = 0; e < header.u32(36); ++e) {
            const std::uint32_t first = header.u32(108 + 8 * e) & 0x3FFFFF, length = header.u32(112 + 8 * e);
            for (std::uint32_t n = first; n < first + length; ++n) {
                const BlockView b = s.system.block(n);
                if (b.u8(0) != 6 || b.u32(24) != 59) continue;
                ++data_blocks;
                for (std::uint32_t slot = 0; slot < b.u16(piece_reading::data_header(b) + 2); ++slot) {
                    const ByteView p = piece_reading::piece(b, slot);
                    EXPECT_EQ(p.u8(0), 0x2C);
                    const std::vector<Value> v = piece_reading::columns_at(p, 3, p.u8(2), s.system.order());
                    ASSERT_EQ(v.size(), 3u);
                    found.insert(as_number(ByteView(v[0]->data(), v[0]->size())) + "\t" +
                                 as_number(ByteView(v[1]->data(), v[1]->size())) + "\t" + as_text(v[2]));
                }
            }
        }
        EXPECT_EQ(found, expected) << size;
        EXPECT_GE(data_blocks, size == 2048 ? 2u : 1u);
    }
}

TEST(BuilderSystemFile, EveryRowReadsBackAsItsTruthSays)
{
    for (const std::uint32_t size : {2048u, 8192u}) {
        const BuiltSample s(size, size == 2048 ? ByteOrder::Little : ByteOrder::Big);
        const std::map<std::uint16_t, const FileBytes*> files{{1, &s.system}, {4, &s.users}};
        std::size_t rows = 0;
        for (const datafile::TableRows& table : s.db.rows) {
            for (const datafile::RowTruth& truth : table.rows) {
                if (!truth.head) continue;
                const bool users = truth.head->file == 4;
                EXPECT_EQ(piece_reading::read_row(files, truth, users), truth.values)
                    << table.owner << "." << table.table << " " << size;
                EXPECT_EQ(files.at(truth.head->file)->block(truth.head->block).u32(24), truth.data_object);
                ++rows;
            }
        }
        EXPECT_GT(rows, 600u);
        const datafile::TableRows& notes = s.db.rows_of("SCOTT", "NOTES");
        ASSERT_EQ(notes.rows.size(), 7u);
        EXPECT_GE(notes.rows[1].pieces.size(), 2u);   // chained
        EXPECT_EQ(notes.rows[2].pieces.size(), 2u);   // migrated: the stub and the row
        EXPECT_GE(notes.rows[3].pieces.size(), 3u);   // migrated and chained
        EXPECT_TRUE(notes.rows[4].deleted);
        EXPECT_FALSE(notes.rows[5].head);             // a stale copy
        EXPECT_EQ(s.db.rows_of("SCOTT", "WIDE").rows[0].pieces.size(), 2u);
        EXPECT_EQ(s.db.rows_of("SCOTT", "WIDE").rows[1].values.size(), 280u);
        EXPECT_EQ(*s.db.rows_of("SCOTT", "EMP").rows[0].cluster_table, 2);
        EXPECT_EQ(s.db.rows_of("SYS", "COL$").rows.size(), dictionary_table(s.db, "COL$").rows.size());
    }
}

TEST(BuilderSystemFile, TheDictionaryDescribesTheUsersTables)
{
    const BuiltSample s;
    const TableDef& obj = dictionary_table(s.db, "OBJ$");
    const TableDef& tab = dictionary_table(s.db, "TAB$");
    const TableDef& col = dictionary_table(s.db, "COL$");
    const TableDef& user = dictionary_table(s.db, "USER$");

    // A partitioned table has no data object; its partitions have theirs.
    const std::vector<LogicalRow> sales = rows_where(obj, "OBJ#", "87140");
    ASSERT_EQ(sales.size(), 1u);
    EXPECT_EQ(as_number(field(obj, sales[0], "DATAOBJ#")), "NULL");
    EXPECT_EQ(as_number(field(obj, sales[0], "OWNER#")), "84");
    const std::vector<LogicalRow> partition = rows_where(obj, "OBJ#", "87142");
    ASSERT_EQ(partition.size(), 1u);
    EXPECT_EQ(as_number(field(obj, partition[0], "TYPE#")), "19");
    EXPECT_EQ(as_text(field(obj, partition[0], "NAME")), "SALES");
    EXPECT_EQ(as_text(field(obj, partition[0], "SUBNAME")), "P2020");
    EXPECT_EQ(as_number(field(obj, partition[0], "DATAOBJ#")), "87142");
    // A clustered dictionary table's blocks are its cluster's.
    EXPECT_EQ(as_number(field(obj, rows_where(obj, "OBJ#", "21")[0], "DATAOBJ#")), "2");
    EXPECT_EQ(as_number(field(obj, rows_where(obj, "OBJ#", "2")[0], "TYPE#")), "3");

    const LogicalRow emp = rows_where(tab, "OBJ#", "87112").at(0);
    EXPECT_EQ(as_number(field(tab, emp, "BOBJ#")), "87110");
    EXPECT_EQ(as_number(field(tab, emp, "TAB#")), "2");
    EXPECT_EQ(as_number(field(tab, emp, "CLUCOLS")), "1");
    EXPECT_EQ(as_number(field(tab, emp, "PROPERTY")), std::to_string(dictionary::kTableClustered));
    EXPECT_EQ(as_number(field(tab, emp, "FILE#")), "4");
    const LogicalRow col_tab = rows_where(tab, "OBJ#", "21").at(0);
    EXPECT_EQ(as_number(field(tab, col_tab, "BLOCK#")), "144");
    EXPECT_EQ(as_number(field(tab, col_tab, "TAB#")), "5");
    EXPECT_EQ(as_number(field(tab, rows_where(tab, "OBJ#", "87140").at(0), "DATAOBJ#")), "NULL");

    // Hidden, unused and virtual columns: COL#, SEGCOL#, INTCOL#, PROPERTY.
    const std::vector<LogicalRow> hidden = rows_where(col, "OBJ#", "87130");
    const char* expected[][4] = {{"1", "1", "1", "0"}, {"0", "2", "2", "32"}, {"0", "3", "3", "32800"},
                                 {"2", "0", "4", "65544"}, {"3", "4", "5", "0"}};
    ASSERT_EQ(hidden.size(), 5u);
    for (std::size_t i = 0; i < hidden.size(); ++i) {
        const LogicalRow& r = hidden[i];
        EXPECT_EQ(as_number(field(col, r, "COL#")) + " " + as_number(field(col, r, "SEGCOL#")) + " " +
                      as_number(field(col, r, "INTCOL#")) + " " + as_number(field(col, r, "PROPERTY")),
                  std::string(expected[i][0]) + " " + expected[i][1] + " " + expected[i][2] + " " + expected[i][3]);
    }
    EXPECT_EQ(rows_where(col, "OBJ#", "87120").size(), 300u);
    for (const LogicalRow& r : rows_where(col, "OBJ#", "87101")) {
        const std::string name = as_text(field(col, r, "NAME"));
        if (name == "NAME_N") {
            EXPECT_EQ(as_number(field(col, r, "CHARSETFORM")), "2");
            EXPECT_EQ(as_number(field(col, r, "CHARSETID")), "2000");
        } else if (name == "NOTE_CHAR") {
            EXPECT_EQ(as_number(field(col, r, "SPARE3")), "10");
        } else if (name == "TEXT") {
            EXPECT_EQ(as_number(field(col, r, "SEGCOL#")), "22");
        }
    }
    EXPECT_EQ(as_number(field(col, rows_where(col, "OBJ#", "87160").at(1), "CHARSETID")), "178");
    std::set<std::string> users;
    for (const LogicalRow& r : user.rows) users.insert(as_number(field(user, r, "USER#")) + " " + as_text(field(user, r, "NAME")));
    EXPECT_EQ(users, (std::set<std::string>{"0 SYS", "1 PUBLIC", "5 SYSTEM", "84 SCOTT", "85 HR"}));
}

TEST(BuilderSystemFile, TheCoreTablesFollowTheirBootstrapStatements)
{
    const BuiltSample s(2048);
    const TableDef& obj = dictionary_table(s.db, "OBJ$");
    ASSERT_EQ(obj.columns.size(), 21u);
    EXPECT_EQ(obj.columns[1].name, "DATAOBJ#");
    EXPECT_EQ(obj.columns[3].length, 30u);
    EXPECT_FALSE(obj.columns[3].nullable);
    EXPECT_FALSE(obj.cluster);
    const TableDef& col = dictionary_table(s.db, "COL$");
    EXPECT_EQ(col.cluster->cluster_object, 2u);
    EXPECT_EQ(col.cluster->table, 5);
    EXPECT_EQ(col.columns.back().type, dictionary::kTypeLong);
    EXPECT_EQ(dictionary_table(s.db, "USER$").cluster->cluster_object, 10u);
    EXPECT_EQ(dictionary_table(s.db, "BOOTSTRAP$").columns.size(), 3u);
    // The cluster blocks have a table directory entry per table.
    const datafile::RowTruth& col_row = s.db.rows_of("SYS", "COL$").rows.front();
    EXPECT_EQ(piece_reading::table_count(s.system.block(col_row.head->block)), 6);
    const datafile::RowTruth& user_row = s.db.rows_of("SYS", "USER$").rows.front();
    EXPECT_EQ(piece_reading::table_count(s.system.block(user_row.head->block)), 2);
    EXPECT_EQ(*user_row.cluster_table, 1);
}

TEST(BuilderSystemFile, ATruncatedTableLeavesItsOldRowsBehind)
{
    const BuiltSample s(2048);
    std::vector<const datafile::TableRows*> events;
    for (const datafile::TableRows& r : s.db.rows)
        if (r.table == "EVENTS") events.push_back(&r);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0]->data_object, 87151u);
    EXPECT_EQ(events[1]->data_object, 87150u);
    EXPECT_EQ(events[0]->rows.size(), 3u);
    EXPECT_GT(events[1]->rows.size(), 0u);
    EXPECT_LT(events[1]->rows.size(), 2048u * 3 / 100);  // the first block's were overwritten
    for (const datafile::RowTruth& old : events[1]->rows)
        EXPECT_EQ(s.users.block(old.head->block).u32(24), 87150u);
    EXPECT_EQ(s.users.block(events[0]->rows[0].head->block).u32(24), 87151u);
}

TEST(BuilderSystemFile, DamageForNegativeTests)
{
    ScratchDir dir;
    const auto verify = [&](const BuiltDatabase& db) {
        return run_trevanix({"-f", dir.write("system01.dbf", db.system), "--verify"});
    };
    const BuiltSample root(8192, ByteOrder::Little, SystemDamage::ClearedRoot);
    EXPECT_EQ(root.system.block(1).u32(96), 0u);
    EXPECT_EQ(verify(root.db).status, 0);

    const BuiltSample statement(8192, ByteOrder::Little, SystemDamage::UnparsableBootstrapRow);
    const TableDef& bootstrap = dictionary_table(statement.db, "BOOTSTRAP$");
    const std::string cut = as_text(field(bootstrap, rows_where(bootstrap, "OBJ#", "18").at(0), "SQL_TEXT"));
    EXPECT_EQ(cut.rfind("CREATE TABLE OBJ$(\"OBJ#\" NUMBER NOT NULL", 0), 0u);
    EXPECT_EQ(cut.find("STORAGE"), std::string::npos);

    const BuiltSample header(8192, ByteOrder::Little, SystemDamage::ObjSegmentHeader);
    ASSERT_TRUE(header.db.damaged_block);
    EXPECT_EQ(header.db.damaged_block->block, 240u);
    EXPECT_NE(header.system.block(240).u32(36), 1u);
    EXPECT_NE(verify(header.db).status, 0);

    const BuiltSample col(8192, ByteOrder::Little, SystemDamage::ColBlock);
    ASSERT_TRUE(col.db.damaged_block);
    EXPECT_EQ(col.db.damaged_block->block, col.db.rows_of("SYS", "COL$").rows.back().head->block);
    EXPECT_NE(col.system.block(col.db.damaged_block->block).u32(24), 2u);
    EXPECT_NE(verify(col.db).status, 0);
}

// ---------------------------------------------------------------------------
// The dictionaries of other releases

using datafile::DeclaredColumn;
using datafile::DictionaryShape;

std::vector<std::string> names_of(const std::vector<DeclaredColumn>& columns)
{
    std::vector<std::string> names;
    for (const DeclaredColumn& c : columns) names.push_back(c.name);
    return names;
}

// The shapes follow the 11.2 statements so closely that the 11.2 shape is
// them, line for line.
TEST(BuilderReleases, TheElevenTwoShapeIsTheRealStatements)
{
    const std::vector<datafile::BootstrapLine> real = datafile::bootstrap_lines();
    const std::vector<datafile::BootstrapLine> shaped = datafile::shape_bootstrap_lines(DictionaryShape::Release11_2);
    ASSERT_EQ(shaped.size(), real.size());
    for (std::size_t i = 0; i < real.size(); ++i) {
        EXPECT_EQ(shaped[i].line, real[i].line);
        EXPECT_EQ(shaped[i].object, real[i].object);
        EXPECT_EQ(shaped[i].sql, real[i].sql);
    }
}

// A LONG column is listed last, the column declared last in its place:
// what the real 11.2 COL$ shows, and what the later lists are predicted by.
TEST(BuilderReleases, ColumnListsInStorageOrder)
{
    const std::vector<DeclaredColumn> col_11_2 =
        datafile::storage_order(datafile::declared_columns(DictionaryShape::Release11_2, "COL$"));
    const std::vector<std::string> names = names_of(col_11_2);
    EXPECT_EQ(std::vector<std::string>(names.begin() + 12, names.begin() + 15),
              (std::vector<std::string>{"DEFLENGTH", "SPARE6", "INTCOL#"}));
    EXPECT_EQ(names.back(), "DEFAULT$");
    const std::vector<std::string> col_19c =
        names_of(datafile::storage_order(datafile::declared_columns(DictionaryShape::Release19c, "COL$")));
    ASSERT_EQ(col_19c.size(), 37u);
    EXPECT_EQ(std::vector<std::string>(col_19c.begin() + 12, col_19c.begin() + 15),
              (std::vector<std::string>{"DEFLENGTH", "ACDRRESCOL#", "INTCOL#"}));
    EXPECT_EQ(col_19c.back(), "DEFAULT$");
    for (const auto& [shape, counts] :
         {std::pair{DictionaryShape::Release11_2, std::vector<std::size_t>{21, 25, 24, 37}},
          std::pair{DictionaryShape::Release12_1, std::vector<std::size_t>{25, 30, 29, 37}},
          std::pair{DictionaryShape::Release19c, std::vector<std::size_t>{37, 30, 37, 45}}}) {
        std::vector<std::size_t> found;
        for (const char* table : {"OBJ$", "USER$", "COL$", "TAB$"})
            found.push_back(datafile::declared_columns(shape, table).size());
        EXPECT_EQ(found, counts) << datafile::shape_name(shape);
    }
}

// An upgraded database: new object numbers on the lines that keep their
// LINE#, COL$ first in C_OBJ# and TAB$ third, BOOTSTRAP$ in a segment of
// its own elsewhere, which the root address names; index lines in lower
// case.
TEST(BuilderReleases, AnUpgradedDatabaseRenumbersAndMovesTheCoreObjects)
{
    const BuiltDatabase db = datafile::build_database(datafile::release_database(DictionaryShape::Release19cUpgraded));
    const FileBytes system(db.system);
    const TableDef& bootstrap = dictionary_table(db, "BOOTSTRAP$");
    std::map<std::string, std::string> by_line;
    std::vector<std::string> lines_in_order;
    for (const LogicalRow& row : bootstrap.rows) {
        const std::string line = as_number(field(bootstrap, row, "LINE#"));
        by_line[line] = as_number(field(bootstrap, row, "OBJ#")) + " " + as_text(field(bootstrap, row, "SQL_TEXT"));
        lines_in_order.push_back(line);
    }
    EXPECT_FALSE(std::is_sorted(lines_in_order.begin(), lines_in_order.end(),
                                [](const std::string& a, const std::string& b) { return std::stoi(a) < std::stoi(b); }));
    EXPECT_EQ(by_line["18"].rfind("90020 CREATE TABLE OBJ$(", 0), 0u);
    EXPECT_NE(by_line["18"].find(" OBJNO 90020 EXTENTS (FILE 1 BLOCK 1248))"), std::string::npos);
    EXPECT_NE(by_line["21"].find(" STORAGE (  OBJNO 90003 TABNO 1) CLUSTER C_OBJ#(OBJ#)"), std::string::npos);
    EXPECT_NE(by_line["4"].find(" STORAGE (  OBJNO 90005 TABNO 3) CLUSTER C_OBJ#(OBJ#)"), std::string::npos);
    EXPECT_EQ(by_line["36"].rfind("90021 create unique index i_obj1 on obj$(obj#) pctfree 10", 0), 0u);
    EXPECT_NE(by_line["59"].find(" OBJNO 90030 EXTENTS (FILE 1 BLOCK 1400))"), std::string::npos);
    EXPECT_EQ(system.block(1).u32(96), (1u << 22) | 1400u);
    EXPECT_EQ(system.block(1400).u8(0), 0x10);
    EXPECT_EQ(system.block(1400).u32(100), 90030u);
    const TableDef& col = dictionary_table(db, "COL$");
    EXPECT_EQ(col.cluster->table, 1);
    EXPECT_EQ(dictionary_table(db, "TAB$").cluster->table, 3);
    // The columns 19c adds hold values, so that the rows store them.
    EXPECT_EQ(as_number(field(col, col.rows.front(), "ACDRRESCOL#")), "0");
    const TableDef& obj = dictionary_table(db, "OBJ$");
    EXPECT_EQ(as_number(field(obj, obj.rows.front(), "DFLCOLLID")), "16382");
    EXPECT_EQ(datafile::stored_values(obj.rows.front().values).size(), 37u);
}

TEST(BuilderReleases, HeadersOfEachReleasesLengthAndABigfileSystemFile)
{
    for (const auto& [shape, release] : {std::pair{DictionaryShape::Release10g, "10g or earlier"},
                                         std::pair{DictionaryShape::Release11_2, "11g"},
                                         std::pair{DictionaryShape::Release19c, "12c or later"}}) {
        const BuiltDatabase db = datafile::build_database(datafile::release_database(shape, 2048));
        const FileBytes system(db.system), users(db.users);
        EXPECT_EQ(release_by_header_length(system.block(1).bytes), release);
        EXPECT_EQ(release_by_header_length(users.block(1).bytes), release);
    }
    // A bigfile SYSTEM file: relative file 1024, its addresses plain block numbers.
    datafile::Database database = datafile::release_database(DictionaryShape::Release19c, 2048, ByteOrder::Big, true);
    const BuiltDatabase db = datafile::build_database(database);
    EXPECT_TRUE(db.system.blocks.empty());
    ASSERT_TRUE(db.sparse_system);
    const datafile::File system = db.sparse_system->file(kBigfileRelativeFile, db.system_file_blocks);
    const FileBytes bytes(system);
    EXPECT_EQ(bytes.block(1).u32(368), kBigfileRelativeFile);
    EXPECT_EQ(bytes.block(1).u16(52), 1);
    EXPECT_EQ(bytes.block(1).u32(96), 520u);
    EXPECT_EQ(bytes.block(520).u32(4), 520u);
    const TableDef& tab = dictionary_table(db, "TAB$");
    EXPECT_EQ(as_number(field(tab, rows_where(tab, "OBJ#", "18").at(0), "FILE#")), "1024");
}

TEST(BuilderChainedBench, AboutOneRowInAHundredGoesOnInTheNextBlock)
{
    ScratchDir dir;
    const std::string path = dir.path("chained.dbf");
    datafile::write_chained_bench_file(path, 64, 8192);
    std::ifstream in(path, std::ios::binary);
    const FileBytes file(datafile::Bytes(std::istreambuf_iterator<char>(in), {}), 8192, ByteOrder::Little);
    ASSERT_EQ(file.block_count(), 64u);
    std::size_t rows = 0, chained = 0, migrated = 0;
    for (std::uint32_t n = 1; n < file.block_count(); ++n) {
        const BlockView b = file.block(n);
        for (std::uint32_t slot = 0; slot < b.u16(piece_reading::data_header(b) + 2); ++slot) {
            const ByteView p = piece_reading::piece(b, slot);
            const std::uint8_t flags = p.u8(0);
            if (!(flags & 0x20)) continue;  // counted at their heads
            ++rows;
            if (flags & 0x04) continue;
            const datafile::RowAddress next = piece_reading::rowid_at(p, 3);
            EXPECT_EQ(next.block, n + 1);
            const ByteView rest = piece_reading::piece(file.block(next.block), next.slot);
            if (p.u8(2) == 0) {
                ++migrated;
                EXPECT_EQ(rest.u8(0), 0x0C);
                EXPECT_EQ(piece_reading::rowid_at(rest, 3), (datafile::RowAddress{4, n, static_cast<std::uint16_t>(slot)}));
            } else {
                ++chained;
                EXPECT_EQ(rest.u8(0) & 0x04, 0x04);
            }
        }
    }
    EXPECT_GT(chained, 0u);
    EXPECT_GT(migrated, 0u);
    EXPECT_GT((chained + migrated) * 200, rows);  // more than one in 200
    EXPECT_LT((chained + migrated) * 50, rows);   // fewer than one in 50
}

}  // namespace
