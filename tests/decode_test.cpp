// The decoding library called directly: data files read by block number in
// any order, their header facts, blocks decoded into records the caller
// owns, both walks as iterators, rowids split once, and the faults a
// careless change would plant in them.
#include <gtest/gtest.h>

#include "file_structures.h"
#include "format/rowid.h"
#include "read/block_checks.h"
#include "read/block_decoder.h"
#include "read/data_file.h"
#include "read/geometry.h"
#include "test_support.h"
#include "values/text_writers.h"

namespace {

using datafile::Block;
using datafile::Bytes;
using datafile::Column;

std::unique_ptr<DataFile> file_in_memory(const datafile::File& file)
{
    auto data = DataFile::from_bytes(datafile::build_file(file));
    data->set_geometry({file.block_size, file.byte_order});
    return data;
}

DecodedBlock decoded(DataFile& file, std::int32_t number, Access access = Access::Sequential)
{
    ::Block block;
    EXPECT_EQ(file.read(number, block, access), ReadStatus::Ok);
    DecodedBlock d = decode_block_headers(std::move(block));
    decode_data_layer(d, false);
    return d;
}

Block data_block_of(std::uint32_t object, std::vector<datafile::RowPiece> rows)
{
    Block b;
    b.object_id = object;
    b.scn = 0x1234;
    b.rows = std::move(rows);
    return b;
}

TEST(DecodeLibrary, ABlockDecodesIntoRecordsThatOutliveLaterReads)
{
    datafile::File file = file_of({Block(),
                                   data_block_of(77, {datafile::head_piece({Column::text("first"), Column::null()}),
                                                      datafile::deleted_piece({Column::text("gone")})}),
                                   data_block_of(78, {datafile::head_piece({Column::text("other")})})},
                                  4096);
    auto data = file_in_memory(file);
    const DecodedBlock one = decoded(*data, 1);
    EXPECT_EQ(one.header.object_id, 77u);
    EXPECT_EQ(one.header.scn(), 0x1234u);
    EXPECT_EQ(one.outcome, BlockOutcome::Walked);
    EXPECT_EQ(one.data.row_count, 2);
    // Reading another block, randomly too, leaves the first one's bytes alone.
    const DecodedBlock two = decoded(*data, 2, Access::Random);
    EXPECT_EQ(two.header.object_id, 78u);
    DirectoryWalkCarry carry;
    PieceWalk walk(one, carry);
    ASSERT_EQ(walk.next(), PieceWalk::Step::Piece);
    EXPECT_EQ(walk.piece().row_class, 3);
    EXPECT_EQ(walk.piece().slot, 0);
    ASSERT_EQ(walk.columns().size(), 2u);
    const ByteView first = walk.columns()[0].value(one.view());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(first.data()), first.size()), "first");
    EXPECT_TRUE(walk.columns()[1].is_null());
    ASSERT_EQ(walk.next(), PieceWalk::Step::Piece);
    EXPECT_TRUE(walk.piece().deleted());
    EXPECT_EQ(walk.next(), PieceWalk::Step::End);
    EXPECT_EQ(walk.next(), PieceWalk::Step::End);
    // Past the end of the file.
    ::Block past;
    EXPECT_EQ(data->read(3, past), ReadStatus::EndOfFile);
    EXPECT_EQ(data->read(-1, past), ReadStatus::SeekRefused);
}

TEST(DecodeLibrary, TheHeapWalkFindsWhatNoSlotPointsAtAndNamesTheSlotsOfTheRest)
{
    datafile::RowPiece stale = datafile::head_piece({Column::text("stale")});
    stale.in_directory = false;
    datafile::File file = file_of({data_block_of(5, {datafile::head_piece({Column::text("a")}), stale,
                                                     datafile::head_piece({Column::text("b")})})},
                                  2048);
    auto data = file_in_memory(file);
    const DecodedBlock block = decoded(*data, 0);
    std::vector<SlotEntry> slots;
    PieceWalk heap(block, &slots);
    std::vector<std::int32_t> found;
    while (heap.next() == PieceWalk::Step::Piece) found.push_back(heap.piece().slot);
    // The heap walk goes from the lowest piece up: "b", the stale copy, "a".
    EXPECT_EQ(found, (std::vector<std::int32_t>{1, -1, 0}));
}

TEST(DecodeLibrary, ReadingHeadersOnlyGivesEachPieceItsHeaderAndRowidsWithoutColumns)
{
    using namespace block_format;
    // A row's first piece, whose next piece lies in block 9, then an ordinary row.
    const datafile::RowPiece first =
        datafile::piece_with_rowid(kFlagH | kFlagF, datafile::rowid(3, 9, 2), {Column::text("head")});
    datafile::File file =
        file_of({data_block_of(5, {first, datafile::head_piece({Column::text("a"), Column::null()})})}, 2048);
    auto data = file_in_memory(file);
    const DecodedBlock block = decoded(*data, 0);
    DirectoryWalkCarry carry_full, carry_headers;
    PieceWalk full(block, carry_full, PieceReading::ByFlagBits);
    PieceWalk headers(block, carry_headers, PieceReading::Headers);
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(full.next(), PieceWalk::Step::Piece);
        ASSERT_EQ(headers.next(), PieceWalk::Step::Piece);
        const RowPieceRecord& f = full.piece();
        const RowPieceRecord& h = headers.piece();
        EXPECT_EQ(h.offset, f.offset);
        EXPECT_EQ(h.slot, f.slot);
        EXPECT_EQ(h.flags, f.flags);
        EXPECT_EQ(h.column_count, f.column_count);
        EXPECT_EQ(h.has_nrid, f.has_nrid);
        EXPECT_TRUE(std::equal(std::begin(h.nrid), std::end(h.nrid), std::begin(f.nrid)));
        EXPECT_FALSE(h.walked);
        EXPECT_TRUE(headers.columns().empty());
        EXPECT_FALSE(full.columns().empty());
    }
    EXPECT_FALSE(headers.piece().has_nrid);  // the ordinary row
    EXPECT_EQ(headers.next(), PieceWalk::Step::End);
    // The first piece's next piece: file 3, block 9, slot 2.
    PieceWalk again(block, carry_headers, PieceReading::Headers);
    ASSERT_EQ(again.next(), PieceWalk::Step::Piece);
    ASSERT_TRUE(again.piece().has_nrid);
    const Rowid next = read_rowid(again.piece().nrid);
    EXPECT_EQ(next.file, 3u);
    EXPECT_EQ(next.block, 9u);
    EXPECT_EQ(next.slot, 2u);
}

TEST(DecodeLibrary, HeaderFactsAndTheRelativeFileOfEachFile)
{
    // A file of 2048-byte big-endian blocks: the operating system header,
    // the data file header of relative file 7, then a data block.
    datafile::FileHeader header;
    header.relative_file = 7;
    header.absolute_file = 9;
    header.database_name = "PROD";
    header.tablespace_name = "USERS";
    header.block_count = 3;
    datafile::File file;
    file.block_size = 2048;
    file.byte_order = ByteOrder::Big;
    file.relative_file = 7;
    file.blocks.resize(3);
    file.blocks[0].image = datafile::os_header_block(2048, 3, ByteOrder::Big);
    file.blocks[1].image = datafile::file_header_block(header, 2048, ByteOrder::Big);
    file.blocks[2] = data_block_of(40, {datafile::head_piece({Column::text("x")})});
    auto data = DataFile::from_bytes(datafile::build_file(file));
    LayoutFound found;
    std::string message;
    ASSERT_TRUE(find_geometry(*data, {Geometry{}, true, true}, found, message)) << message;
    EXPECT_EQ(data->geometry().block_size, 2048u);
    EXPECT_EQ(data->geometry().order, ByteOrder::Big);
    const FileHeaderFacts& facts = data->header_facts();
    EXPECT_TRUE(facts.os_header);
    EXPECT_EQ(facts.os_block_size, 2048u);
    ASSERT_TRUE(facts.file_header);
    EXPECT_EQ(facts.database_name, "PROD");
    EXPECT_EQ(facts.tablespace, "USERS");
    EXPECT_EQ(facts.absolute_file, 9u);
    EXPECT_EQ(data->relative_file(), 7u);

    // A file without headers tells its number by its data blocks' addresses.
    datafile::File bare = file_of({data_block_of(41, {})}, 2048);
    bare.relative_file = 5;
    DataFileSet set;
    set.add(std::move(data));
    set.add(file_in_memory(bare));
    ASSERT_NE(set.by_relative_file(5), nullptr);
    EXPECT_EQ(set.by_relative_file(7), &set[0]);
    EXPECT_EQ(set.by_relative_file(4), nullptr);
}

// Rowids of odd relative files: the file part is the top 10 bits of the
// address, 6 of them in the second byte.
TEST(DecodeLibrary, RowidsSplitIntoFileBlockAndSlot)
{
    for (const int file : {1, 5, 7, 513, 1023}) {
        for (const std::uint32_t block : {0u, 9u, 0x3FFFFFu}) {
            const Bytes id = datafile::rowid(static_cast<std::uint16_t>(file), block, 300);
            std::uint8_t bytes[6];
            std::copy(id.begin(), id.end(), bytes);
            EXPECT_EQ(read_rowid(bytes), (Rowid{static_cast<std::uint32_t>(file), block, 300})) << file << " " << block;
        }
    }
    // The database's text: data object 59, file 1, block 521, slot 0.
    char text[kRowidTextSize];
    put_rowid_text(text, 59, {1, 521, 0});
    EXPECT_EQ(std::string(text, kRowidTextSize), "AAAAA7AABAAAAIJAAA");
    // Through the export's hrid field and the ROWID type.
    Block b = data_block_of(3, {datafile::piece_with_rowid(datafile::FLAG_H, datafile::rowid(5, 70000, 2), {})});
    ScratchDir dir;
    const std::string path = dir.write("rowid.dbf", file_of({b}));
    const std::vector<Json> records = parse_json_lines(run_trevanix({"-f", path, "--format", "jsonl"}).output);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0]["nrid"]["file"].text, "5");
    EXPECT_EQ(records[0]["nrid"]["block"].text, "70000");
}

// Every position of a comma, a quote, CR or LF in values of 1 to 24 bytes:
// the CSV field is quoted, whatever part of an eight-byte group it falls in.
TEST(DecodeLibrary, CsvQuotesASpecialCharacterWhereverItFalls)
{
    std::vector<Block> blocks;
    std::vector<std::string> values;
    for (const char special : {',', '"', '\r', '\n'}) {
        for (std::size_t length = 1; length <= 24; ++length) {
            for (std::size_t at = 0; at < length; ++at) {
                std::string value(length, 'a');
                value[at] = special;
                values.push_back(value);
            }
        }
    }
    for (std::size_t i = 0; i < values.size(); i += 100) {
        Block b = data_block_of(9, {});
        for (std::size_t k = i; k < std::min(values.size(), i + 100); ++k)
            b.rows.push_back(datafile::head_piece({Column::text(values[k])}));
        blocks.push_back(b);
    }
    ScratchDir dir;
    const std::string path = dir.write("special.dbf", file_of(blocks));
    const std::string tpl = dir.write("t.tpl", std::string("VARCHAR2\n"));
    const std::string csv = run_trevanix({"-f", path, "-c", tpl, "--format", "csv"}).output;
    for (const std::string& value : values) {
        std::string quoted = "\"";
        for (char c : value) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
        quoted += "\"\r\n";
        EXPECT_NE(csv.find("," + quoted), std::string::npos) << "length " << value.size();
    }
}

// A damaged big-endian block: the checksum it needs is that of its words
// read big-endian, the one the builder writes for the sound twin.
TEST(DecodeLibrary, VerifyWorksTheChecksumOfABigEndianBlockInItsOwnOrder)
{
    Block sound = data_block_of(11, {datafile::head_piece({Column::text("checked"), Column::text("twice")})});
    Block damaged = sound;
    damaged.faults.bad_checksum = true;
    const Bytes good = datafile::build_block(sound, 4096, 1, nullptr, ByteOrder::Big);
    const Bytes bad = datafile::build_block(damaged, 4096, 1, nullptr, ByteOrder::Big);
    const BlockChecks checks = check_block({ByteView(bad.data(), bad.size()), ByteOrder::Big}, 1, 4096);
    EXPECT_FALSE(checks.checksum_ok);
    EXPECT_EQ(checks.expected_checksum, ByteView(good.data(), good.size()).u16be(16));
    EXPECT_TRUE(check_block({ByteView(good.data(), good.size()), ByteOrder::Big}, 1, 4096).checksum_ok);
}

// 512-byte blocks: their data file header lies at 512, and block 0's
// format byte says 512 too.
TEST(DecodeLibrary, AutoFindsBlocksOf512Bytes)
{
    Block header;
    header.block_type = block_format::kBlockTypeFileHeader;
    header.layer_type = 0;
    datafile::File with_header = file_of({Block(), header, data_block_of(1, {})}, 512);
    with_header.blocks[0].layer_type = 0;
    auto data = DataFile::from_bytes(datafile::build_file(with_header));
    LayoutFound found;
    std::string message;
    ASSERT_TRUE(find_geometry(*data, {Geometry{}, true, false}, found, message)) << message;
    EXPECT_EQ(found.block_size, 512u);
    EXPECT_EQ(found.size_from, LayoutFound::FileHeader);
    auto bare = DataFile::from_bytes(datafile::build_file(file_of({data_block_of(1, {})}, 512)));
    ASSERT_TRUE(find_geometry(*bare, {Geometry{}, true, false}, found, message)) << message;
    EXPECT_EQ(found.block_size, 512u);
    EXPECT_EQ(found.size_from, LayoutFound::FormatByte);
}

}  // namespace
