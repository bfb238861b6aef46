// The classes of row pieces: which class a flag byte falls into, where each
// class keeps its rowids and its columns, and its names, as the dumper's -g
// text prints them and as the export formats give them. One table, indexed
// by class number, that every reader and printer goes through.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "format/block_format.h"

// Where each class of piece keeps its rowids and where its columns start.
constexpr int kNoRowid = -1;
constexpr int kHeaderUnwritten = -1;  // the class does not say how long its header is
constexpr int kColumnsWalked = -1;
struct PieceLayout {
    int header_length;  // or kHeaderUnwritten
    int hrid_at;        // the head piece's rowid, or kNoRowid
    int nrid_at;        // the next piece's rowid, or kNoRowid
    int fixed_result;   // kColumnsWalked, or the count a class without columns returns
};
constexpr int kClusterKeyClass = 1;
constexpr int kDeletedRowClass = 2;
constexpr int kPieceClassCount = 17;

// The line after a class's NRID in the -g text: none, the next piece's
// block, or its block and row.
enum class NextPieceLine : std::uint8_t { None, Block, BlockAndRow };

struct PieceClass {
    PieceLayout layout;
    const char* text_line;  // the -g line, or nullptr when the class prints none
    NextPieceLine next_piece;
    std::string_view name;  // "row", "deleted row", ...
};

// Indexed by class number, 1 to 17; entry 0 is unused.
inline constexpr PieceClass kPieceClasses[kPieceClassCount + 1] = {
    {{kHeaderUnwritten, kNoRowid, kNoRowid, 3}, nullptr, NextPieceLine::None, ""},
    {{19, kNoRowid, kNoRowid, kColumnsWalked}, "Cluster Key\n", NextPieceLine::None, "cluster key"},
    {{3, kNoRowid, kNoRowid, kColumnsWalked}, "HDFL\n", NextPieceLine::None, "deleted row"},
    {{3, kNoRowid, kNoRowid, kColumnsWalked}, "Non-cluster...\n", NextPieceLine::None, "row"},
    {{4, kNoRowid, kNoRowid, kColumnsWalked}, "Cluster member...\n", NextPieceLine::None, "cluster row"},
    {{10, 4, kNoRowid, kColumnsWalked}, "cluster member missing head piece...\n", NextPieceLine::None,
     "cluster row without head"},
    {{9, 3, kNoRowid, kColumnsWalked}, "Missing head piece...\n", NextPieceLine::None, "row without head"},
    {{9, kNoRowid, 3, kColumnsWalked}, "Head piece only ...\n", NextPieceLine::None, "head only"},
    {{10, kNoRowid, 4, kColumnsWalked}, "Cluster member, head piece only ...\n", NextPieceLine::None,
     "cluster head only"},
    {{9, kNoRowid, 3, kColumnsWalked}, "Last col continues in next piece ...\n", NextPieceLine::Block,
     "continues in next"},
    {{3, kNoRowid, kNoRowid, kColumnsWalked}, "Last data piece \n", NextPieceLine::None, "last piece"},
    {{3, kNoRowid, kNoRowid, kColumnsWalked}, "Last data piece and First column continues from previous piece\n",
     NextPieceLine::None, "last piece, continued"},
    {{9, kNoRowid, 3, kColumnsWalked}, "Head piece of row & First data piece\n", NextPieceLine::BlockAndRow,
     "head and first piece"},
    {{3, kNoRowid, kNoRowid, kColumnsWalked}, "Deleted and Last Piece\n", NextPieceLine::None, "deleted last piece"},
    {{2, kNoRowid, kNoRowid, 2}, "Deleted\n", NextPieceLine::None, "deleted piece"},
    {{15, 3, 9, kColumnsWalked}, "First data piece\n", NextPieceLine::None, "first piece"},
    {{3, kNoRowid, kNoRowid, 0}, nullptr, NextPieceLine::None, "empty"},
    {{kHeaderUnwritten, kNoRowid, kNoRowid, 3}, nullptr, NextPieceLine::None, "unknown"},
};

namespace piece_class_rules {

inline constexpr bool has(std::uint8_t flags, int bits) { return (flags & bits) == bits; }
inline constexpr bool lacks(std::uint8_t flags, int bits) { return (flags & bits) == 0; }

// The class of a flag byte: the first rule that matches wins.
inline constexpr int classify(std::uint8_t f)
{
    using namespace block_format;
    constexpr int K = kFlagK, C = kFlagC, H = kFlagH, D = kFlagD, F = kFlagF, L = kFlagL, P = kFlagP, N = kFlagN;
    if (has(f, K)) return 1;
    if (f == (H | D | F | L)) return 2;
    if (has(f, H | F | L) && lacks(f, C | D)) return 3;
    if (has(f, H | F | L | C)) return 4;
    if (has(f, F | L | C) && lacks(f, H)) return 5;
    if (has(f, F | L) && lacks(f, H | C)) return 6;
    if (has(f, H) && lacks(f, F | L | C)) return 7;
    if (has(f, H | C) && lacks(f, F | L)) return 8;
    if (has(f, N) && lacks(f, C)) return 9;
    if (f == L) return 10;
    if (has(f, P | L) && lacks(f, C)) return 11;
    if (has(f, H | F) && lacks(f, C)) return 12;
    if (has(f, D | L) && lacks(f, C)) return 13;
    if (f == D) return 14;
    if (f == F) return 15;
    if (f == 0) return 16;
    return 17;
}

// The rules above for every flag byte, worked out once by the compiler: one
// load per piece instead of up to sixteen tests.
inline constexpr std::array<std::uint8_t, 256> kClassOfFlags = [] {
    std::array<std::uint8_t, 256> classes{};
    for (int f = 0; f < 256; ++f)
        classes[static_cast<std::size_t>(f)] = static_cast<std::uint8_t>(classify(static_cast<std::uint8_t>(f)));
    return classes;
}();

}  // namespace piece_class_rules

// Where a piece keeps its rowids and its columns by its flag bits, as a
// reader of whole rows reads every piece: a cluster key's header is fixed
// (19 bytes); a cluster member (C) carries the slot of its key row first;
// the first piece of a row that lives away from its head (F without H)
// carries the head's rowid; every piece but the last (no L) carries the
// next piece's. This reads pieces the literal classes above cannot: the
// middle pieces of a row of more than 510 columns (flag byte 0), a migrated
// row's first piece that is also chained (F N), a chained cluster member.
struct RowPieceLayout {
    int header_length;
    int key_index_at;  // or kNoRowid
    int hrid_at;       // or kNoRowid
    int nrid_at;       // or kNoRowid
};
constexpr RowPieceLayout row_piece_layout(std::uint8_t flags)
{
    using namespace block_format;
    if (flags & kFlagK) return {static_cast<int>(kClusterNextKeyAt + kRowidSize), kNoRowid, kNoRowid, kNoRowid};
    RowPieceLayout layout{3, kNoRowid, kNoRowid, kNoRowid};
    if (flags & kFlagC) layout.key_index_at = layout.header_length++;
    if ((flags & kFlagF) && !(flags & kFlagH)) {
        layout.hrid_at = layout.header_length;
        layout.header_length += static_cast<int>(kRowidSize);
    }
    if (!(flags & kFlagL)) {
        layout.nrid_at = layout.header_length;
        layout.header_length += static_cast<int>(kRowidSize);
    }
    return layout;
}
static_assert(row_piece_layout(0x2C).header_length == 3 && row_piece_layout(0x6C).header_length == 4);
static_assert(row_piece_layout(0x20).nrid_at == 3 && row_piece_layout(0x0C).hrid_at == 3);
static_assert(row_piece_layout(0x08).hrid_at == 3 && row_piece_layout(0x08).nrid_at == 9);
static_assert(row_piece_layout(0x00).header_length == 9 && row_piece_layout(0xAC).header_length == 19);

// The class (1 to 17) a flag byte falls into.
inline int classify_row_piece(std::uint8_t flags) { return piece_class_rules::kClassOfFlags[flags]; }
