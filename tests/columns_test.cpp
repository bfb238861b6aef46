// Column output: length prefixes, NULLs, the hex dump, deleted-only modes,
// the location line, and pieces that run past the block end.
#include <gtest/gtest.h>

#include "test_support.h"

namespace {

using datafile::Block;
using datafile::Bytes;
using datafile::Column;
using datafile::RowPiece;


Block block_of(std::vector<RowPiece> rows)
{
    Block b;
    b.rows = std::move(rows);
    return b;
}

TEST(WalkColumns, PrefixesNullsAndTheHexDump)
{
    ScratchDir dir;
    Bytes long_value(300);
    for (std::size_t i = 0; i < long_value.size(); ++i) long_value[i] = static_cast<std::uint8_t>(i);
    RowPiece row = datafile::head_piece({Column::bytes({0xC1, 0x02}), Column::null(), Column::text("ABC"),
                                         Column::bytes({}), Column::bytes(long_value),
                                         Column::long_form({0x41})});
    RowPiece marker = datafile::head_piece({Column::bytes({0xEE})});
    std::string path = dir.write("cols.dbf", file_of({block_of({marker, row})}));
    std::string columns = "2: C1 02 \n1: FF\n3: 41 42 43 \n0: \n" + hex_line(long_value) + "1: 41 \n";
    EXPECT_EQ(run_trevanix({"-f", path}).output, kRule + "1: EE \n" + kRule + columns + kCompleted);
    // The heap walk measures the columns (FE 2C 01 takes three bytes) and
    // lands on the marker after them.
    EXPECT_EQ(run_trevanix({"-f", path, "-a", "O"}).output, kRule + columns + kRule + "1: EE \n" + kCompleted);
}

TEST(WalkColumns, PieceWithoutColumnsPrintsOnlyItsRule)
{
    ScratchDir dir;
    std::string path = dir.write("empty.dbf", file_of({block_of({datafile::head_piece({})})}));
    EXPECT_EQ(run_trevanix({"-f", path}).output, kRule + kCompleted);
}

TEST(WalkColumns, DeletedOnlyModesMeasureButHideLivePieces)
{
    ScratchDir dir;
    RowPiece live = datafile::head_piece({Column::text("live"), Column::null(), Column::bytes(Bytes(260, 0x4C))});
    RowPiece gone = datafile::deleted_piece({Column::text("gone"), Column::null()});
    RowPiece gone_last = datafile::head_piece({Column::text("last")});
    gone_last.flags = datafile::FLAG_D | datafile::FLAG_L;
    std::string path = dir.write("del.dbf", file_of({block_of({gone, live, gone_last})}));
    std::string gone_cols = hex_line(Bytes{'g', 'o', 'n', 'e'}) + "1: FF\n";
    std::string last_cols = hex_line(Bytes{'l', 'a', 's', 't'});
    EXPECT_EQ(run_trevanix({"-f", path, "-a", "D"}).output,
              kDeletedRule + gone_cols + kDeletedRule + last_cols + kCompleted);
    EXPECT_EQ(run_trevanix({"-f", path, "-a", "S"}).output,
              kDeletedRule + last_cols + kDeletedRule + gone_cols + kCompleted);
    // With a template, hidden pieces are measured just the same.
    std::string tpl = dir.write("t.txt", std::string("VARCHAR2\nNUMBER\nVARCHAR2\n"));
    EXPECT_EQ(run_trevanix({"-f", path, "-a", "S", "-c", tpl}).output,
              kDeletedRule + "last\n" + kDeletedRule + "gone\n\n" + kCompleted);
}

TEST(WalkColumns, LocationLineGivesTheFileOffset)
{
    ScratchDir dir;
    // Block 1 of 512-byte blocks, one ITL slot (data header at 68), row at 100.
    Block b;
    b.itl_slots = 1;
    b.directory = std::vector<std::uint16_t>{100};
    b.patches = {{168, Bytes{0x2C, 0x00, 0x01, 0x01, 0x07}}};
    std::string path = dir.write("loc.dbf", file_of({Block{}, b}, 512));
    EXPECT_EQ(run_trevanix({"-f", path, "-z", "512", "-b", "1", "-v"}).output,
              kRule + "Block ID = 1, Row Offset = 100 [64], File offset = 680, Row Header = [2C 00 01]\n1: 07 \n");
    // In the heap walk the row offset is the piece's offset from the data header.
    Block heap = block_of({datafile::head_piece({Column::bytes({0x07})})});
    std::string heap_path = dir.write("heap.dbf", file_of({heap}, 512));
    EXPECT_EQ(run_trevanix({"-f", heap_path, "-z", "512", "-a", "O", "-v"}).output,
              kRule + "Block ID = 0, Row Offset = 411 [19B], File offset = 503, Row Header = [2C 00 01]\n1: 07 \n" +
                  kCompleted);
    // Hidden pieces print no location line either.
    EXPECT_EQ(run_trevanix({"-f", heap_path, "-z", "512", "-a", "S", "-v"}).output, kCompleted);
}

class PastTheBlockEnd : public ::testing::Test {
protected:
    ScratchDir dir;
    // A piece placed at `at` in a 512-byte block, found by the heap walk.
    std::string write(std::size_t at, Bytes piece)
    {
        Block b;
        b.free_space_end = static_cast<std::uint16_t>(at - 92);
        b.patches = {{at, std::move(piece)}};
        return dir.write("end.dbf", file_of({b}, 512));
    }
};

TEST_F(PastTheBlockEnd, ValueCutShortPrintsWhatTheBlockHolds)
{
    // At 500: a 10-byte value of which 8 bytes lie inside the block.
    std::string path = write(500, {0x2C, 0x00, 0x02, 0x0A, 1, 2, 3, 4, 5, 6, 7, 8});
    EXPECT_EQ(run_trevanix({"-f", path, "-z", "512", "-a", "O"}).output,
              kRule + "10: 01 02 03 04 05 06 07 08 \n" + kCompleted);
    std::string verbose = run_trevanix({"-f", path, "-z", "512", "-a", "O", "-g"}).output;
    EXPECT_NE(verbose.find("10: 01 02 03 04 05 06 07 08 \nRow piece runs past the end of the block.\n" + kCompleted),
              std::string::npos)
        << verbose;
}

TEST_F(PastTheBlockEnd, ColumnCountBeyondTheBlockEndsThePiece)
{
    // 200 columns announced; the NULL prefixes run out at the block end.
    Bytes piece{0x2C, 0x00, 200};
    piece.resize(512 - 400, 0xFF);
    std::string path = write(400, piece);
    std::string nulls;
    for (int i = 0; i < 512 - 403; ++i) nulls += "1: FF\n";
    EXPECT_EQ(run_trevanix({"-f", path, "-z", "512", "-a", "O"}).output, kRule + nulls + kCompleted);
    std::string verbose = run_trevanix({"-f", path, "-z", "512", "-a", "O", "-g"}).output;
    EXPECT_NE(verbose.find(nulls + "Row piece runs past the end of the block.\n" + kCompleted), std::string::npos);
}

TEST_F(PastTheBlockEnd, LongPrefixCutByTheBlockEnd)
{
    // FE in the last byte: its length lies outside the block.
    std::string path = write(507, {0x2C, 0x00, 0x02, 0x00, 0xFE});
    EXPECT_EQ(run_trevanix({"-f", path, "-z", "512", "-a", "O"}).output, kRule + "0: \n" + kCompleted);
    std::string verbose = run_trevanix({"-f", path, "-z", "512", "-a", "O", "-g"}).output;
    EXPECT_NE(verbose.find(kRule + "0: \nRow piece runs past the end of the block.\n"), std::string::npos) << verbose;
}

TEST_F(PastTheBlockEnd, LongPrefixWithOnlyOneLengthByteInTheBlock)
{
    // FE in the last byte but one: its second length byte lies outside.
    std::string path = write(505, {0x2C, 0x00, 0x02, 0x01, 0xAA, 0xFE, 0x05});
    EXPECT_EQ(run_trevanix({"-f", path, "-z", "512", "-a", "O"}).output, kRule + "1: AA \n" + kCompleted);
    std::string verbose = run_trevanix({"-f", path, "-z", "512", "-a", "O", "-g"}).output;
    EXPECT_NE(verbose.find(kRule + "1: AA \nRow piece runs past the end of the block.\n"), std::string::npos)
        << verbose;
}

TEST_F(PastTheBlockEnd, HiddenPieceIsMeasuredToTheBlockEnd)
{
    // A live piece that runs past the end ends the deleted-only heap walk quietly.
    std::string path = write(500, {0x2C, 0x00, 0x01, 0x20, 1, 2});
    EXPECT_EQ(run_trevanix({"-f", path, "-z", "512", "-a", "S"}).output, kCompleted);
}

}  // namespace
