// Row piece classes: which class a flag byte falls into, what -g prints for
// each, and how far each one moves the heap walk.
#include <gtest/gtest.h>

#include "test_support.h"

namespace {

using datafile::Block;
using datafile::Bytes;
using datafile::Column;

TEST(ClassifyRowPiece, FirstMatchingRowWins)
{
    const std::pair<std::uint8_t, int> cases[] = {
        {0x80, 1},  {0xFF, 1},  {0xAC, 1},                        // any K
        {0x3C, 2},                                              // exactly H D F L
        {0x2C, 3},  {0x2D, 3},  {0x2E, 3},  {0x2F, 3},           // H F L, C and D clear
        {0x6C, 4},  {0x7C, 4},  {0x7F, 4},                        // H F L C, D free
        {0x4C, 5},  {0x5D, 5},                                   // F L C without H
        {0x0C, 6},  {0x1C, 6},  {0x0F, 6},                        // F L without H and C
        {0x20, 7},  {0x30, 7},  {0x21, 7},  {0x23, 7},           // H alone wins over N
        {0x60, 8},  {0x71, 8},                                   // H C without F and L
        {0x01, 9},  {0x09, 9},  {0x3D, 9},  {0x2B, 9},  {0x05, 9},  // N without C
        {0x04, 10},                                              // exactly L
        {0x06, 11}, {0x16, 11},                                  // P L without C
        {0x28, 12}, {0x38, 12}, {0x2A, 12},                      // H F without C
        {0x14, 13},                                              // D L without C
        {0x10, 14},                                              // exactly D
        {0x08, 15},                                              // exactly F
        {0x00, 16},
        {0x48, 17}, {0x40, 17}, {0x02, 17}, {0x12, 17}, {0x18, 17}, {0x44, 17}, {0x0A, 17},
    };
    for (const auto& [flags, row_class] : cases)
        EXPECT_EQ(classify_row_piece(flags), row_class) << "flags " << int(flags);
}

// The classification rules as data, apart from the decoder's own: a rule
// matches a flag byte that equals `exactly`, or that has every bit of `set`
// and none of `clear`; the first matching rule gives the class.
struct ClassRule {
    int row_class;
    int exactly;  // -1: the rule is about bits
    std::uint8_t set;
    std::uint8_t clear;
};
constexpr std::uint8_t K = 0x80, C = 0x40, H = 0x20, D = 0x10, F = 0x08, L = 0x04, P = 0x02, N = 0x01;
constexpr ClassRule kClassRules[] = {
    {1, -1, K, 0},          {2, H | D | F | L, 0, 0}, {3, -1, H | F | L, C | D}, {4, -1, H | F | L | C, 0},
    {5, -1, F | L | C, H},  {6, -1, F | L, H | C},    {7, -1, H, F | L | C},     {8, -1, H | C, F | L},
    {9, -1, N, C},          {10, L, 0, 0},            {11, -1, P | L, C},        {12, -1, H | F, C},
    {13, -1, D | L, C},     {14, D, 0, 0},            {15, F, 0, 0},             {16, 0, 0, 0},
};

TEST(ClassifyRowPiece, EveryFlagByteFollowsTheRuleTable)
{
    for (int f = 0; f < 256; ++f) {
        int expected = 17;
        for (const ClassRule& rule : kClassRules) {
            const bool matches = rule.exactly >= 0 ? f == rule.exactly
                                                   : (f & rule.set) == rule.set && (f & rule.clear) == 0;
            if (matches) {
                expected = rule.row_class;
                break;
            }
        }
        EXPECT_EQ(classify_row_piece(static_cast<std::uint8_t>(f)), expected) << "flags " << f;
    }
}

struct PieceCase {
    const char* name;
    Bytes piece;        // the whole piece
    std::string lines;  // what -g prints after the first three lines
    bool walks;         // its one column (01) is dumped
};

Bytes bytes_of(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

const Bytes kHrid{0x00, 0x04, 0x00, 0x11, 0x00, 0x02};
const Bytes kNrid{0x01, 0x00, 0x01, 0x02, 0x00, 0x05};
const Bytes kOneColumn{0x01, 0x01};

std::vector<PieceCase> piece_cases()
{
    return {
        {"cluster key", bytes_of({{0xAC, 0x00, 0x01, 0x02, 0x01, 0x0B, 0x0A},
                                  {0x01, 0x02, 0x03, 0x04, 0x05, 0x06},
                                  {0x11, 0x12, 0x13, 0x14, 0x15, 0x16}, kOneColumn}),
         "Cluster Key\ncurc: 0102\ncomc: 0A0B\nPrevious Key: 010203040506\nNext Key: 111213141516\n", true},
        {"HDFL", bytes_of({{0x3C, 0x00, 0x01}, kOneColumn}), "HDFL\n", true},
        {"ordinary row", bytes_of({{0x2C, 0x00, 0x01}, kOneColumn}), "Non-cluster...\n", true},
        {"cluster member", bytes_of({{0x6C, 0x00, 0x01, 0x00}, kOneColumn}), "Cluster member...\n", true},
        {"cluster member without head", bytes_of({{0x4C, 0x00, 0x01, 0x00}, kHrid, kOneColumn}),
         "cluster member missing head piece...\nHRID: 000400110002\n", true},
        {"missing head", bytes_of({{0x0C, 0x00, 0x01}, kHrid, kOneColumn}),
         "Missing head piece...\nHRID: 000400110002\n", true},
        {"head only", bytes_of({{0x20, 0x00, 0x01}, kNrid, kOneColumn}),
         "Head piece only ...\nNRID: 010001020005\n", true},
        {"cluster member head only", bytes_of({{0x60, 0x00, 0x01, 0x00}, kNrid, kOneColumn}),
         "Cluster member, head piece only ...\nNRID: 010001020005\n", true},
        {"continues in next piece", bytes_of({{0x01, 0x00, 0x01}, kNrid, kOneColumn}),
         "Last col continues in next piece ...\nNRID: 010001020005\nBlock ID that contains the next piece: 258\n",
         true},
        {"last data piece", bytes_of({{0x04, 0x00, 0x01}, kOneColumn}), "Last data piece \n", true},
        {"continues from previous piece", bytes_of({{0x06, 0x00, 0x01}, kOneColumn}),
         "Last data piece and First column continues from previous piece\n", true},
        {"head and first data piece", bytes_of({{0x28, 0x00, 0x01}, kNrid, kOneColumn}),
         "Head piece of row & First data piece\nNRID: 010001020005\n"
         "Block ID that contains the next piece: 258, row 5\n",
         true},
        {"deleted last piece", bytes_of({{0x14, 0x00, 0x01}, kOneColumn}), "Deleted and Last Piece\n", true},
        // Fixed results: the walk moves by the result plus the header length.
        {"deleted", {0x10, 0x00, 0x01, 0x00}, "Deleted\n", false},
        {"first data piece", bytes_of({{0x08, 0x00, 0x01}, kHrid, kNrid, kOneColumn}),
         "First data piece\nHRID: 000400110002\nNRID: 010001020005\n", true},
        {"empty flags", {0x00, 0x00, 0x01}, "", false},
        {"no class", {0x48, 0x00, 0x01}, "", false},
    };
}

// A block holding a marker row (one column EE) above the piece under test,
// so the heap walk meets the piece first and then must land on the marker.
std::string write_piece_block(const ScratchDir& dir, const Bytes& piece)
{
    Block b;
    b.rows = {datafile::head_piece({Column::bytes({0xEE})}), datafile::head_piece({Column::raw(piece)})};
    b.rows[1].flags = piece[0];
    b.rows[1].lock = piece[1];
    b.rows[1].column_count = piece[2];
    b.rows[1].columns = {Column::raw(Bytes(piece.begin() + 3, piece.end()))};
    return dir.write("piece.dbf", file_of({b}));
}

TEST(DecodeRowPiece, VerboseLinesAndColumnsOfEveryClass)
{
    ScratchDir dir;
    for (const PieceCase& c : piece_cases()) {
        std::string path = write_piece_block(dir, c.piece);
        std::string output = run_trevanix({"-f", path, "-g"}).output;
        std::size_t start = output.find("Row flags: ");
        ASSERT_NE(start, std::string::npos) << c.name;
        // The marker row was decoded first (it lies highest); the piece second.
        start = output.find("Row flags: ", start + 1);
        ASSERT_NE(start, std::string::npos) << c.name;
        char first[64];
        std::snprintf(first, sizeof first, "Row flags: %.2X\nLock status: 00\nColumns: 01\n\n", c.piece[0]);
        std::string expected = first + c.lines + (c.walks ? kRule + "1: 01 \n" : "") + "\n" + kCompleted;
        EXPECT_EQ(output.substr(start), expected) << c.name;
    }
}

TEST(DecodeRowPiece, HeaderLengthLeadsTheHeapWalkToTheNextPiece)
{
    ScratchDir dir;
    for (const PieceCase& c : piece_cases()) {
        std::string path = write_piece_block(dir, c.piece);
        std::string expected = (c.walks ? kRule + "1: 01 \n" : "") + kRule + "1: EE \n" + kCompleted;
        EXPECT_EQ(run_trevanix({"-f", path, "-a", "O"}).output, expected) << c.name;
    }
}

TEST(DecodeRowPiece, WithoutVerboseOnlyColumnsAppear)
{
    ScratchDir dir;
    for (const PieceCase& c : piece_cases()) {
        std::string path = write_piece_block(dir, c.piece);
        std::string expected = kRule + "1: EE \n" + (c.walks ? kRule + "1: 01 \n" : "") + kCompleted;
        EXPECT_EQ(run_trevanix({"-f", path}).output, expected) << c.name;
    }
}

TEST(DecodeRowPiece, HdflWhoseColumnCountLooksLikeAFlagIsNoRow)
{
    ScratchDir dir;
    for (std::uint8_t count : {std::uint8_t{0x2C}, std::uint8_t{0x3C}}) {
        std::string path = write_piece_block(dir, {0x3C, 0x00, count, 0x01, 0x01});
        std::string output = run_trevanix({"-f", path, "-g"}).output;
        char expected[128];
        std::snprintf(expected, sizeof expected, "Row flags: 3C\nLock status: 00\nColumns: %.2X\n\n\n\n\nCompleted.\n\n",
                      count);
        EXPECT_EQ(output.substr(output.rfind("Row flags: ")), expected);
    }
}

TEST(DecodeRowPiece, RowidsAndHeaderPastTheBlockEndReadAsZero)
{
    ScratchDir dir;
    // A head-and-first piece in the last three bytes of the block: its NRID
    // and its column lie past the end.
    Block b;
    b.directory = std::vector<std::uint16_t>{8189 - 92};
    b.patches = {{8189, Bytes{0x28, 0x00, 0x01}}};
    std::string output = run_trevanix({"-f", dir.write("edge.dbf", file_of({b})), "-g"}).output;
    EXPECT_EQ(output.substr(output.find("Row flags: ")),
              "Row flags: 28\nLock status: 00\nColumns: 01\n\nHead piece of row & First data piece\n"
              "NRID: 000000000000\nBlock ID that contains the next piece: 0, row 0\n" +
                  kRule + "Row piece runs past the end of the block.\n\n" + kCompleted);
}

}  // namespace
