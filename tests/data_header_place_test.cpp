// Where the data header lies: right after the ITL slots, or 8 bytes later in
// blocks of automatically managed segments.
#include <gtest/gtest.h>

#include <regex>

#include "test_support.h"

namespace {

using datafile::Block;
using datafile::Bytes;
using datafile::Column;

const char kExtensionLine[] = "Data header follows the 8-byte segment space extension.\n";

Block rows_block(bool extended)
{
    Block b;
    b.segment_space_extension = extended;
    datafile::RowPiece orphan = datafile::deleted_piece({Column::bytes({0xC1, 0x03}), Column::text("gone")});
    orphan.in_directory = false;
    b.rows = {datafile::head_piece({Column::bytes({0xC2, 0x02, 0x18}), Column::text("ABC")}),
              datafile::deleted_piece({Column::bytes({0xC1, 0x02}), Column::null()}), orphan,
              datafile::head_piece({Column::bytes(datafile::date_value(2024, 2, 29, 12, 0, 1)), Column::text("x")})};
    return b;
}

// Row offsets count from the data header, so they differ by 8 between the
// layouts; everything else a user sees must be the same.
std::string shift_row_offsets(const std::string& output, int by)
{
    std::regex row_offset("Row Offset = ([0-9]+) \\[[0-9A-F]+\\]");
    std::string result;
    auto begin = std::sregex_iterator(output.begin(), output.end(), row_offset);
    std::size_t last = 0;
    for (auto it = begin; it != std::sregex_iterator(); ++it) {
        int shifted = std::stoi((*it)[1]) + by;
        char text[64];
        std::snprintf(text, sizeof text, "Row Offset = %d [%X]", shifted, shifted);
        result += output.substr(last, static_cast<std::size_t>(it->position()) - last) + text;
        last = static_cast<std::size_t>(it->position() + it->length());
    }
    return result + output.substr(last);
}

TEST(DataHeaderPlace, BothLayoutsGiveTheSameRowsUnderEveryAction)
{
    ScratchDir dir;
    std::string plain = dir.write("plain.dbf", file_of({rows_block(false)}));
    std::string extended = dir.write("extended.dbf", file_of({rows_block(true)}));
    std::string tpl = dir.write("t.txt", std::string("NUMBER\nVARCHAR2\n"));
    for (const char* action : {"A", "D", "O", "S", "C"}) {
        for (const std::vector<std::string>& extra :
             {std::vector<std::string>{}, {"-c", tpl}, {"-c", tpl, "-s", ","}, {"-v"}}) {
            std::vector<std::string> args{"-a", action};
            args.insert(args.end(), extra.begin(), extra.end());
            args.insert(args.end(), {"-f", plain});
            std::string expected = run_trevanix(args).output;
            args.back() = extended;
            EXPECT_EQ(shift_row_offsets(run_trevanix(args).output, 8), expected) << action;
            EXPECT_NE(expected, kCompleted);
        }
    }
}

TEST(DataHeaderPlace, VerboseMarksTheExtendedLayout)
{
    ScratchDir dir;
    Block b;
    b.segment_space_extension = true;
    b.rows = {datafile::head_piece({Column::bytes({0x07})})};
    std::string path = dir.write("ext.dbf", file_of({b}));
    // Data header at 100: the row at 8183 is 8083 from it.
    EXPECT_EQ(run_trevanix({"-f", path, "-g", "-v"}).output,
              std::string("Block type: KTB Managed Data Block (6)\nType: DATA\nITL Slots: 2\n") + kExtensionLine +
                  "offset DHS: 64 \nNumber of table directories: 1\nNumber of rows: 1\n"
                  "Freespace offset start: 14\nFreespace offset end: 1F93\nNumber of rows 2: 1\n"
                  "Offset: 1FF7 (REAL: 1F93)\nRow header: 2C 8183\nRow flags: 2C\nLock status: 00\nColumns: 01\n\n"
                  "Non-cluster...\n" +
                  kRule + "Block ID = 0, Row Offset = 8083 [1F93], File offset = 8183, Row Header = [2C 00 01]\n"
                  "1: 07 \n\n" + kCompleted);
    EXPECT_NE(run_trevanix({"-f", path, "-a", "O", "-g"}).output.find("Block ID: 0, Offset: 1FF7\n"),
              std::string::npos);
}

TEST(DataHeaderPlace, FreeSpaceMayEndExactlyAtTheBlockEnd)
{
    // No rows, and the free space running to the very last byte: the later
    // place is still a consistent data header.
    ScratchDir dir;
    Block b;
    b.segment_space_extension = true;
    b.free_space_end = 8192 - 100;
    std::string path = dir.write("full.dbf", file_of({b}));
    EXPECT_EQ(run_trevanix({"-f", path, "-g"}).output,
              std::string("Block type: KTB Managed Data Block (6)\nType: DATA\nITL Slots: 2\n") + kExtensionLine +
                  "offset DHS: 64 \nNumber of table directories: 1\nNumber of rows: 0\n"
                  "Freespace offset start: 12\nFreespace offset end: 1F9C\nNumber of rows 2: 0\n" +
                  kCompleted);
}

TEST(DataHeaderPlace, HeaderConsistentAfterTheItlSlotsWinsEvenWhenTheLaterPlaceLooksRightToo)
{
    ScratchDir dir;
    Block b;
    b.rows = {datafile::head_piece({Column::bytes({0x07})})};
    // Read 8 bytes later, this block would have 31 tables, no rows, free space
    // from 138 to 200: consistent too, but the first place comes first.
    b.patches = {{92 + 10, Bytes{0x00, 0x00}}, {92 + 14, Bytes{138, 0x00}}, {92 + 16, Bytes{200, 0x00}}};
    std::string path = dir.write("both.dbf", file_of({b}));
    EXPECT_EQ(run_trevanix({"-f", path}).output, kRule + "1: 07 \n" + kCompleted);
    std::string verbose = run_trevanix({"-f", path, "-g"}).output;
    EXPECT_EQ(verbose.find(kExtensionLine), std::string::npos);
    EXPECT_NE(verbose.find("offset DHS: 5C \nNumber of table directories: 1\nNumber of rows: 1\n"
                           "Freespace offset start: 14\nFreespace offset end: 1F9B\nNumber of rows 2: 200\n"),
              std::string::npos)
        << verbose;
}

TEST(DataHeaderPlace, HeaderConsistentNowhereIsReadAfterTheItlSlots)
{
    ScratchDir dir;
    Block b;
    b.rows = {datafile::head_piece({Column::bytes({0x07})})};
    b.free_space_start = 0x99;
    std::string path = dir.write("neither.dbf", file_of({b}));
    EXPECT_EQ(run_trevanix({"-f", path}).output, kRule + "1: 07 \n" + kCompleted);
    std::string verbose = run_trevanix({"-f", path, "-g"}).output;
    EXPECT_EQ(verbose.find(kExtensionLine), std::string::npos);
    EXPECT_NE(verbose.find("offset DHS: 5C \nNumber of table directories: 1\nNumber of rows: 1\n"
                           "Freespace offset start: 99\n"),
              std::string::npos);
    // An extended block whose real header is damaged is read at the first place too.
    Block damaged = rows_block(true);
    damaged.free_space_start = 0x99;
    std::string damaged_verbose = run_trevanix({"-f", dir.write("damaged.dbf", file_of({damaged})), "-g"}).output;
    EXPECT_EQ(damaged_verbose.find(kExtensionLine), std::string::npos);
    EXPECT_NE(damaged_verbose.find("offset DHS: 5C \n"), std::string::npos);
}

}  // namespace
