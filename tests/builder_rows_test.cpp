// The data file builder's whole rows, read back byte by byte with offsets
// taken from the on-disk format, not from the builder: the flag bytes and
// headers of ordinary, chained, migrated, wide and clustered rows, the
// rowids between their pieces, broken chains, and the truth returned.
#include <gtest/gtest.h>

#include <string>

#include "piece_reading.h"
#include "row_layout.h"

namespace {

using datafile::BlockAddress;
using datafile::Bytes;
using datafile::Chain;
using datafile::LogicalRow;
using datafile::RowAddress;
using datafile::RowTruth;
using datafile::Value;

// A built data file, read as the format says.
class BuiltFile : public piece_reading::FileBytes {
public:
    BuiltFile(const datafile::FileSet& files, std::uint16_t relative_file)
        : FileBytes(files.file(relative_file))
    {
    }

    static std::uint32_t data_header(const BlockView& b) { return piece_reading::data_header(b); }
    static std::uint16_t entry(const BlockView& b, std::uint32_t slot) { return piece_reading::entry(b, slot); }
    static ByteView piece(const BlockView& b, std::uint32_t slot) { return piece_reading::piece(b, slot); }
};

using piece_reading::append_value;
using piece_reading::columns_at;
using piece_reading::rowid_at;

Value text(const std::string& s) { return Bytes(s.begin(), s.end()); }

LogicalRow row_of(std::vector<Value> values, bool deleted = false) { return {std::move(values), deleted}; }

// A value of `n` bytes counting up from `seed`.
Value long_value(std::size_t n, std::uint8_t seed = 0)
{
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(seed + i);
    return b;
}


TEST(BuilderBlocks, ABlockCarriesTheRelativeFileItIsBuiltFor)
{
    datafile::Block block;
    const Bytes file7 = datafile::build_block(block, 2048, 10, nullptr, ByteOrder::Big, 7);
    EXPECT_EQ(ByteView(file7.data(), file7.size()).u32be(4), (7u << 22) | 10u);
    const Bytes file4 = datafile::build_block(block, 2048, 10);
    EXPECT_EQ(ByteView(file4.data(), file4.size()).u32le(4), (4u << 22) | 10u);
    datafile::File file;
    file.relative_file = 1;
    file.blocks.resize(3);
    const Bytes built = datafile::build_file(file);
    EXPECT_EQ(ByteView(built.data(), built.size()).u32le(2 * 8192 + 4), (1u << 22) | 2u);
}

TEST(BuilderBlocks, EmptiedSlotsAndAClusterTableDirectory)
{
    datafile::Block block;
    block.table_count = 3;
    block.table_slots = {2, 0, 1};
    block.rows = {datafile::head_piece({}), datafile::head_piece({}), datafile::head_piece({})};
    block.empty_slots = {1};
    const Bytes b = datafile::build_block(block, 2048);
    const BlockView view{ByteView(b.data(), b.size()), ByteOrder::Little};
    const std::uint32_t dh = BuiltFile::data_header(view);
    EXPECT_EQ(view.u16(dh + 2), 4);  // rows: three pieces and the empty slot
    const std::uint16_t tables[3][2] = {{0, 2}, {2, 0}, {2, 1}};
    for (std::uint32_t t = 0; t < 3; ++t) {
        EXPECT_EQ(view.u16(dh + 14 + 4 * t), tables[t][0]) << t;
        EXPECT_EQ(view.u16(dh + 14 + 4 * t + 2), tables[t][1]) << t;
    }
    EXPECT_EQ(BuiltFile::entry(view, 1), 0xFFFF);
    EXPECT_NE(BuiltFile::entry(view, 2), 0xFFFF);
}

TEST(BuilderRows, AnOrdinaryRowIsOnePieceWithoutItsTrailingNulls)
{
    datafile::FileSet files(2048);
    datafile::RowWriter writer(files, {500});
    const LogicalRow row = row_of({text("A"), std::nullopt, text("B"), std::nullopt, std::nullopt});
    const RowTruth truth = writer.ordinary({4, 3}, row);
    ASSERT_TRUE(truth.head);
    EXPECT_EQ(*truth.head, (RowAddress{4, 3, 0}));
    EXPECT_EQ(truth.chain, Chain::Single);
    EXPECT_EQ(truth.data_object, 500u);
    ASSERT_EQ(truth.values.size(), 3u);

    const BuiltFile built(files, 4);
    ASSERT_EQ(built.block_count(), 4u);
    EXPECT_EQ(built.block(0).u8(0), 0);  // never formatted
    const BlockView b = built.block(3);
    EXPECT_EQ(b.u32(24), 500u);
    const ByteView p = BuiltFile::piece(b, 0);
    EXPECT_EQ(p.u8(0), 0x2C);
    EXPECT_EQ(p.u8(2), 3);
    EXPECT_EQ(columns_at(p, 3, 3, ByteOrder::Little), truth.values);
}

TEST(BuilderRows, AChainedRowCutsItsValueBetweenTwoBlocks)
{
    datafile::FileSet files(2048);
    datafile::RowWriter writer(files, {500});
    const LogicalRow row = row_of({text("key"), long_value(3000, 7), text("after")});
    const RowTruth truth = writer.chained({{4, 1}, {4, 2}}, row);
    ASSERT_EQ(truth.pieces.size(), 2u);
    EXPECT_EQ(truth.chain, Chain::Complete);
    EXPECT_EQ(truth.pieces[1], (datafile::PieceAddress{4, 2, 0}));

    const BuiltFile built(files, 4);
    const ByteView head = BuiltFile::piece(built.block(1), 0);
    EXPECT_EQ(head.u8(0), 0x29);  // H F N
    EXPECT_EQ(rowid_at(head, 3), (RowAddress{4, 2, 0}));
    const ByteView next = BuiltFile::piece(built.block(2), 0);
    EXPECT_EQ(next.u8(0), 0x06);  // L P
    ASSERT_EQ(head.u8(2), 2);
    ASSERT_EQ(next.u8(2), 2);
    const std::vector<Value> first = columns_at(head, 9, 2, ByteOrder::Little);
    const std::vector<Value> second = columns_at(next, 3, 2, ByteOrder::Little);
    EXPECT_EQ(first[0], text("key"));
    Bytes joined = *first[1];
    append_value(joined, second[0]);
    EXPECT_EQ(joined, *long_value(3000, 7));
    EXPECT_EQ(second[1], text("after"));
    // The head filled what its block had free.
    EXPECT_LT(files.free_space({4, 1}), 8u);
}

TEST(BuilderRows, AChainOverThreeBlocksAndTwoFiles)
{
    datafile::FileSet files(2048);
    datafile::RowWriter writer(files, {501});
    const LogicalRow row = row_of({long_value(5000, 1)});
    const RowTruth truth = writer.chained({{4, 1}, {5, 9}, {4, 2}}, row);
    ASSERT_EQ(truth.pieces.size(), 3u);
    EXPECT_EQ(truth.pieces[1].file, 5);

    const BuiltFile four(files, 4), five(files, 5);
    const ByteView head = BuiltFile::piece(four.block(1), 0);
    const ByteView middle = BuiltFile::piece(five.block(9), 0);
    const ByteView last = BuiltFile::piece(four.block(2), 0);
    EXPECT_EQ(head.u8(0), 0x29);    // H F N
    EXPECT_EQ(middle.u8(0), 0x03);  // P N
    EXPECT_EQ(last.u8(0), 0x06);    // L P
    EXPECT_EQ(rowid_at(head, 3), (RowAddress{5, 9, 0}));
    EXPECT_EQ(rowid_at(middle, 3), (RowAddress{4, 2, 0}));
    EXPECT_EQ(five.block(9).u32(4), (5u << 22) | 9u);
    Bytes joined;
    for (const auto& [p, header] : {std::pair{head, 9}, std::pair{middle, 9}, std::pair{last, 3}}) {
        append_value(joined, columns_at(p, static_cast<std::size_t>(header), 1, ByteOrder::Little)[0]);
    }
    EXPECT_EQ(joined, *long_value(5000, 1));
}

TEST(BuilderRows, ChosenCutsBetweenColumnsAndInsideAValue)
{
    datafile::FileSet files(8192, ByteOrder::Big);
    datafile::RowWriter writer(files, {502});
    const LogicalRow row = row_of({text("one"), text("two"), text("three")});
    writer.chained({{4, 1}, {4, 1}, {4, 1}}, row, {{1, 0}, {2, 2}});
    const BuiltFile built(files, 4);
    const BlockView b = built.block(1);
    const ByteView head = BuiltFile::piece(b, 0), middle = BuiltFile::piece(b, 1), last = BuiltFile::piece(b, 2);
    EXPECT_EQ(head.u8(0), 0x28);    // H F: the cut lies between columns
    EXPECT_EQ(middle.u8(0), 0x01);  // N
    EXPECT_EQ(last.u8(0), 0x06);    // L P
    EXPECT_EQ(columns_at(middle, 9, 2, ByteOrder::Big), (std::vector<Value>{text("two"), text("th")}));
    EXPECT_EQ(columns_at(last, 3, 1, ByteOrder::Big), (std::vector<Value>{text("ree")}));
    EXPECT_THROW(writer.chained({{4, 2}, {4, 2}}, row, {{0, 5}}), std::invalid_argument);
}

TEST(BuilderRows, AMigratedRowLeavesAStubThatNamesIt)
{
    datafile::FileSet files(2048);
    datafile::RowWriter writer(files, {503});
    writer.ordinary({4, 1}, row_of({text("x")}));
    const LogicalRow row = row_of({text("moved"), text("away")});
    const RowTruth truth = writer.migrated({4, 1}, {{4, 2}}, row);
    EXPECT_EQ(*truth.head, (RowAddress{4, 1, 1}));
    ASSERT_EQ(truth.pieces.size(), 2u);
    EXPECT_EQ(truth.chain, Chain::Complete);

    const BuiltFile built(files, 4);
    const BlockView b1 = built.block(1);
    const ByteView stub = BuiltFile::piece(b1, 1);
    EXPECT_EQ(stub.u8(0), 0x20);
    EXPECT_EQ(stub.u8(2), 0);
    EXPECT_EQ(rowid_at(stub, 3), (RowAddress{4, 2, 0}));
    // The stub takes 9 bytes: it lies just below the row before it.
    EXPECT_EQ(BuiltFile::entry(b1, 0) - BuiltFile::entry(b1, 1), 9);
    const ByteView moved = BuiltFile::piece(built.block(2), 0);
    EXPECT_EQ(moved.u8(0), 0x0C);
    EXPECT_EQ(rowid_at(moved, 3), (RowAddress{4, 1, 1}));
    EXPECT_EQ(columns_at(moved, 9, 2, ByteOrder::Little), row.values);
}

TEST(BuilderRows, MigratedTwiceAndMigratedAndChained)
{
    datafile::FileSet files(2048);
    datafile::RowWriter writer(files, {504});
    const RowTruth twice = writer.migrated_twice({4, 1}, {4, 2}, {4, 3}, row_of({text("v")}));
    EXPECT_EQ(twice.pieces, (std::vector<datafile::PieceAddress>{{4, 1, 0}, {4, 3, 0}}));
    const RowTruth both = writer.migrated({4, 1}, {{4, 4}, {4, 5}}, row_of({long_value(2500), text("end")}));
    ASSERT_EQ(both.pieces.size(), 3u);

    const BuiltFile built(files, 4);
    EXPECT_EQ(BuiltFile::entry(built.block(2), 0), 0xFFFF);  // the first copy is gone
    EXPECT_EQ(rowid_at(BuiltFile::piece(built.block(1), 0), 3), (RowAddress{4, 3, 0}));
    const ByteView first = BuiltFile::piece(built.block(4), 0);
    EXPECT_EQ(first.u8(0), 0x09);  // F N: no H
    EXPECT_EQ(rowid_at(first, 3), (RowAddress{4, 1, 1}));  // HRID, then NRID
    EXPECT_EQ(rowid_at(first, 9), (RowAddress{4, 5, 0}));
    const ByteView last = BuiltFile::piece(built.block(5), 0);
    EXPECT_EQ(last.u8(0), 0x06);
    EXPECT_EQ(last.u8(2), 2);
}

TEST(BuilderRows, AWideRowKeepsItsLast255ColumnsInTheLastPiece)
{
    datafile::FileSet files(8192);
    datafile::RowWriter writer(files, {505});
    std::vector<Value> values;
    for (int i = 0; i < 300; ++i) values.push_back(text(std::to_string(i)));
    values.resize(310);  // ten trailing NULLs, not stored
    const RowTruth truth = writer.wide({{4, 1}}, row_of(values));
    ASSERT_EQ(truth.values.size(), 300u);
    // Written last first: the last piece takes slot 0, the head slot 1.
    EXPECT_EQ(*truth.head, (RowAddress{4, 1, 1}));
    EXPECT_EQ(truth.pieces, (std::vector<datafile::PieceAddress>{{4, 1, 1}, {4, 1, 0}}));

    const BuiltFile built(files, 4);
    const ByteView head = BuiltFile::piece(built.block(1), 1), last = BuiltFile::piece(built.block(1), 0);
    EXPECT_EQ(head.u8(0), 0x28);
    EXPECT_EQ(head.u8(2), 45);
    EXPECT_EQ(rowid_at(head, 3), (RowAddress{4, 1, 0}));
    EXPECT_EQ(last.u8(0), 0x04);
    EXPECT_EQ(last.u8(2), 255);
    EXPECT_EQ(columns_at(last, 3, 255, ByteOrder::Little).back(), text("299"));
    EXPECT_EQ(columns_at(head, 9, 45, ByteOrder::Little).front(), text("0"));
}

TEST(BuilderRows, AThousandColumnRowHasMiddlePiecesWithAZeroFlagByte)
{
    datafile::FileSet files(8192);
    datafile::RowWriter writer(files, {506});
    std::vector<Value> values(1000);
    for (std::size_t i = 0; i < 990; i += 3) values[i] = text(std::string(1, 'c').append(std::to_string(i)));
    const RowTruth truth = writer.wide({{4, 1}, {4, 2}, {4, 3}, {4, 4}}, row_of(values));
    ASSERT_EQ(truth.values.size(), 988u);  // the last value is column 988
    ASSERT_EQ(truth.pieces.size(), 4u);

    const BuiltFile built(files, 4);
    const ByteView head = BuiltFile::piece(built.block(1), 0);
    EXPECT_EQ(head.u8(0), 0x28);
    EXPECT_EQ(head.u8(2), 988 - 3 * 255);
    for (std::uint32_t block : {2u, 3u}) {
        const ByteView middle = BuiltFile::piece(built.block(block), 0);
        EXPECT_EQ(middle.u8(0), 0x00) << block;
        EXPECT_EQ(middle.u8(2), 255) << block;
        EXPECT_EQ(rowid_at(middle, 3), (RowAddress{4, block + 1, 0})) << block;
    }
    const ByteView last = BuiltFile::piece(built.block(4), 0);
    EXPECT_EQ(last.u8(0), 0x04);
    EXPECT_EQ(columns_at(last, 3, 255, ByteOrder::Little).back(), text("c987"));
}

TEST(BuilderRows, BrokenChainsAndCopiesNoSlotPointsAt)
{
    datafile::FileSet files(2048);
    datafile::RowWriter writer(files, {507});
    const LogicalRow row = row_of({text("a"), text("b"), text("c")});
    const RowTruth past_end = writer.broken({4, 1}, {4, 4000}, datafile::Break::MissingBlock, row);
    const RowTruth other_file = writer.broken({4, 1}, {9, 3}, datafile::Break::MissingFile, row);
    const RowTruth emptied = writer.broken({4, 1}, {4, 2}, datafile::Break::EmptySlot, row);
    const RowTruth loop = writer.broken({4, 1}, {4, 2}, datafile::Break::Loop, row_of(row.values, true));
    const RowTruth stale = writer.stale_copy({4, 2}, row);
    const RowTruth orphan = writer.orphan_copy({4, 2}, {4, 1, 0}, row);
    EXPECT_EQ(past_end.chain, Chain::MissingBlock);
    EXPECT_EQ(other_file.chain, Chain::MissingFile);
    EXPECT_EQ(emptied.chain, Chain::EmptySlot);
    EXPECT_EQ(loop.chain, Chain::Loop);
    EXPECT_EQ(stale.chain, Chain::Single);
    EXPECT_EQ(orphan.chain, Chain::Orphan);
    EXPECT_FALSE(stale.head);
    EXPECT_FALSE(orphan.head);
    EXPECT_EQ(stale.pieces, (std::vector<datafile::PieceAddress>{{4, 2, std::nullopt}}));
    EXPECT_EQ(datafile::chain_field(emptied.chain), "missing piece");
    EXPECT_EQ(datafile::chain_field(loop.chain), "loop");
    EXPECT_THROW(writer.broken({4, 1}, {4, 2}, datafile::Break::MissingBlock, row), std::invalid_argument);

    const BuiltFile built(files, 4);
    ASSERT_EQ(built.block_count(), 3u);
    const BlockView b1 = built.block(1), b2 = built.block(2);
    EXPECT_EQ(rowid_at(BuiltFile::piece(b1, 0), 3), (RowAddress{4, 4000, 0}));
    EXPECT_EQ(rowid_at(BuiltFile::piece(b1, 1), 3), (RowAddress{9, 3, 0}));
    EXPECT_EQ(rowid_at(BuiltFile::piece(b1, 2), 3), (RowAddress{4, 2, 0}));
    EXPECT_EQ(BuiltFile::entry(b2, 0), 0xFFFF);
    const ByteView loop_head = BuiltFile::piece(b1, 3), loop_back = BuiltFile::piece(b2, 1);
    EXPECT_EQ(loop_head.u8(0), 0x38);  // H D F
    EXPECT_EQ(rowid_at(loop_head, 3), (RowAddress{4, 2, 1}));
    EXPECT_EQ(loop_back.u8(0), 0x10);  // D only
    EXPECT_EQ(rowid_at(loop_back, 3), (RowAddress{4, 1, 3}));
    // The copies lie below the last piece any slot points at.
    EXPECT_EQ(b2.u16(BuiltFile::data_header(b2) + 2), 2);
    const std::uint32_t lowest = BuiltFile::data_header(b2) + BuiltFile::entry(b2, 1);
    const ByteView orphan_piece = b2.bytes.sub(b2.u16(BuiltFile::data_header(b2) + 8) + BuiltFile::data_header(b2), 64);
    EXPECT_EQ(orphan_piece.u8(0), 0x0C);
    EXPECT_EQ(rowid_at(orphan_piece, 3), (RowAddress{4, 1, 0}));
    const ByteView stale_piece = b2.bytes.sub(lowest - 9, 9);
    EXPECT_EQ(stale_piece.u8(0), 0x2C);
    EXPECT_EQ(columns_at(stale_piece, 3, 3, ByteOrder::Little), row.values);
}

TEST(BuilderRows, ClusterBlocksHoldKeyRowsAndMembersOfEachTable)
{
    datafile::FileSet files(2048, ByteOrder::Big);
    datafile::RowWriter writer(files, {600});
    std::uint32_t next = 10;
    const datafile::BlockSource source = [&] { return BlockAddress{4, next++}; };
    std::vector<datafile::ClusterKey> keys = {
        {{text("10")}, {{1, row_of({text("ACCOUNTING")})}, {2, row_of({text("CLARK")})}, {2, row_of({text("KING")}, true)}}},
        {{text("20")}, {{2, row_of({text("SMITH"), std::nullopt})}}},
    };
    const std::vector<RowTruth> truths = writer.cluster(source, 3, keys);
    ASSERT_EQ(truths.size(), 4u);
    EXPECT_EQ(*truths[0].cluster_table, 1);
    EXPECT_EQ(*truths[0].head, (RowAddress{4, 10, 2}));  // after the two key rows
    EXPECT_EQ(*truths[1].head, (RowAddress{4, 10, 3}));
    EXPECT_EQ(*truths[3].head, (RowAddress{4, 10, 5}));
    EXPECT_EQ(truths[3].values, (std::vector<Value>{text("20"), text("SMITH")}));
    EXPECT_TRUE(truths[2].deleted);

    const BuiltFile built(files, 4);
    const BlockView b = built.block(10);
    const std::uint32_t dh = BuiltFile::data_header(b);
    EXPECT_EQ(b.u8(dh + 1), 3);
    const std::uint16_t tables[3][2] = {{0, 2}, {2, 1}, {3, 3}};
    for (std::uint32_t t = 0; t < 3; ++t) {
        EXPECT_EQ(b.u16(dh + 14 + 4 * t), tables[t][0]) << t;
        EXPECT_EQ(b.u16(dh + 16 + 4 * t), tables[t][1]) << t;
    }
    const ByteView key = BuiltFile::piece(b, 0);
    EXPECT_EQ(key.u8(0), 0xAC);
    EXPECT_EQ(key.u8(2), 1);
    EXPECT_EQ(key.u16be(3), 3);  // curc: three members of key 10 here
    EXPECT_EQ(key.u16be(5), 3);
    EXPECT_EQ(rowid_at(key, 7), (RowAddress{4, 10, 0}));  // no other block holds the key
    EXPECT_EQ(rowid_at(key, 13), (RowAddress{4, 10, 0}));
    EXPECT_EQ(columns_at(key, 19, 1, ByteOrder::Big)[0], text("10"));
    const ByteView smith = BuiltFile::piece(b, 5);
    EXPECT_EQ(smith.u8(0), 0x6C);
    EXPECT_EQ(smith.u8(2), 1);
    EXPECT_EQ(smith.u8(3), 1);  // the second key row
    EXPECT_EQ(BuiltFile::piece(b, 4).u8(0), 0x7C);
}

TEST(BuilderRows, AClusterKeyWhoseMembersOverflowGoesOnInTheNextBlock)
{
    datafile::FileSet files(2048);
    datafile::RowWriter writer(files, {601});
    std::uint32_t next = 1;
    const datafile::BlockSource source = [&] { return BlockAddress{4, next++}; };
    datafile::ClusterKey key{{text("7")}, {}};
    for (int i = 0; i < 30; ++i) key.members.push_back({1, row_of({long_value(100, static_cast<std::uint8_t>(i))})});
    const std::vector<RowTruth> truths = writer.cluster(source, 2, {key});
    ASSERT_EQ(truths.size(), 30u);
    ASSERT_EQ(next, 3u);  // two blocks
    const RowAddress last = *truths.back().head;
    EXPECT_EQ(last.block, 2u);

    const BuiltFile built(files, 4);
    const ByteView first_key = BuiltFile::piece(built.block(1), 0);
    const ByteView second_key = BuiltFile::piece(built.block(2), 0);
    EXPECT_EQ(rowid_at(first_key, 13), (RowAddress{4, 2, 0}));  // next: the key row in block 2
    EXPECT_EQ(rowid_at(second_key, 7), (RowAddress{4, 1, 0}));  // previous: the one in block 1
    EXPECT_EQ(first_key.u16le(3) + second_key.u16le(3), 30);
    const ByteView member = BuiltFile::piece(built.block(2), last.slot);
    EXPECT_EQ(columns_at(member, 4, 1, ByteOrder::Little)[0], long_value(100, 29));
}

TEST(BuilderRows, TheHeapInserterFillsBlocksOneAfterAnother)
{
    datafile::FileSet files(2048);
    datafile::RowWriter writer(files, {700, 3, true});
    std::uint32_t next = 5;
    datafile::HeapInserter inserter(writer, [&] { return BlockAddress{4, next++}; }, 200);
    std::vector<RowTruth> truths;
    for (int i = 0; i < 40; ++i) truths.push_back(inserter.insert(row_of({long_value(90)})));
    EXPECT_EQ(truths.front().head->block, 5u);
    EXPECT_GT(truths.back().head->block, 5u);
    for (std::uint32_t block = 5; block < next - 1; ++block) EXPECT_GE(files.free_space({4, block}), 200u);
    const BuiltFile built(files, 4);
    const BlockView b = built.block(5);
    EXPECT_EQ(b.u16(36), 3);
    // Behind three ITL slots and the 8 bytes of an automatically managed segment.
    const std::uint32_t dh = 20 + 24 + 24 * 3 + 8;
    EXPECT_EQ(b.u8(dh + 1), 1);
    EXPECT_EQ(b.bytes.u8(dh + b.u16(dh + 14 + 4)), 0x2C);
}

TEST(BuilderRows, TheInserterTakesTheBlocksAChainedOrMigratedRowNeeds)
{
    datafile::FileSet files(2048);
    datafile::RowWriter writer(files, {701});
    std::uint32_t next = 1;
    datafile::HeapInserter inserter(writer, [&] { return BlockAddress{4, next++}; });
    inserter.insert(row_of({text("first")}));
    const LogicalRow long_row = row_of({text("id"), long_value(1500, 3), long_value(1500, 5)});
    const RowTruth chained = inserter.insert(long_row, datafile::RowShape::Chained);
    const RowTruth migrated = inserter.insert(long_row, datafile::RowShape::Migrated);
    const RowTruth stale = inserter.insert(row_of({text("old")}), datafile::RowShape::StaleCopy);
    // The head shares the first row's block; the rest needs one block more.
    EXPECT_EQ(chained.pieces, (std::vector<datafile::PieceAddress>{{4, 1, 1}, {4, 2, 0}}));
    // The stub stays in the inserter's block; the row takes two new ones.
    ASSERT_EQ(migrated.pieces.size(), 3u);
    EXPECT_EQ(migrated.pieces[0].block, 3u);
    EXPECT_EQ(migrated.pieces[1].block, 4u);
    EXPECT_EQ(migrated.pieces[2].block, 5u);
    EXPECT_EQ(stale.pieces[0].block, 3u);

    const BuiltFile built(files, 4);
    const ByteView first = BuiltFile::piece(built.block(4), 0);
    // The migrated row's first piece ends between columns: F alone, HRID
    // and NRID, then the two whole columns that fit.
    EXPECT_EQ(first.u8(0), 0x08);
    EXPECT_EQ(first.u8(2), 2);
    EXPECT_EQ(rowid_at(first, 3), (RowAddress{4, 3, 0}));
    EXPECT_EQ(rowid_at(first, 9), (RowAddress{4, 5, 0}));
    EXPECT_EQ(BuiltFile::piece(built.block(5), 0).u8(0), 0x04);
    EXPECT_EQ(BuiltFile::piece(built.block(1), 1).u8(0), 0x29);
    EXPECT_THROW(writer.chained({4, 6}, [&] { return BlockAddress{4, next++}; }, row_of({text("fits")})),
                 std::length_error);
}

}  // namespace
