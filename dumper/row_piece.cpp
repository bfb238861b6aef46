// Row piece decoder: classifies a piece by its flag byte, reads the rowids
// its class carries, says where its columns start and has them walked.
#include <array>

#include "trevanix.h"

using namespace block_format;

namespace {

constexpr bool has(std::uint8_t flags, int bits) { return (flags & bits) == bits; }
constexpr bool lacks(std::uint8_t flags, int bits) { return (flags & bits) == 0; }

// The class of a flag byte: the first rule that matches wins.
constexpr int classify(std::uint8_t f)
{
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
constexpr std::array<std::uint8_t, 256> kPieceClasses = [] {
    std::array<std::uint8_t, 256> classes{};
    for (int f = 0; f < 256; ++f)
        classes[static_cast<std::size_t>(f)] = static_cast<std::uint8_t>(classify(static_cast<std::uint8_t>(f)));
    return classes;
}();

void read_rowids(const BlockView& block, std::size_t piece, const PieceLayout& layout, RowPieceRecord& r)
{
    r.has_hrid = layout.hrid_at != kNoRowid;
    r.has_nrid = layout.nrid_at != kNoRowid;
    if (r.has_hrid) block.bytes.copy(piece + static_cast<std::size_t>(layout.hrid_at), r.hrid);
    if (r.has_nrid) block.bytes.copy(piece + static_cast<std::size_t>(layout.nrid_at), r.nrid);
    if (r.row_class == kClusterKeyClass) {
        r.curc = block.u16(piece + kClusterCurcAt);
        r.comc = block.u16(piece + kClusterComcAt);
        block.bytes.copy(piece + kClusterPreviousKeyAt, r.previous_key);
        block.bytes.copy(piece + kClusterNextKeyAt, r.next_key);
    }
}

}  // namespace

int classify_row_piece(std::uint8_t flags)
{
    return kPieceClasses[flags];
}

int decode_row_piece(DumpContext& ctx, std::size_t piece, int& header_length)
{
    // A copy, not a reference: the record's byte stores below may alias
    // anything reached by reference, and the compiler would reload it.
    const BlockView block = ctx.state.block;
    RowPieceRecord& r = ctx.piece;
    r.offset = static_cast<std::uint32_t>(piece);
    r.row_offset = ctx.state.row_offset;
    r.flags = block.u8(piece + kPieceFlagsAt);
    r.lock = block.u8(piece + kPieceLockAt);
    r.column_count = block.u8(piece + kPieceColumnCountAt);
    r.row_class = kPieceClasses[r.flags];
    r.walked = false;
    r.complete = true;
    r.columns_found = 0;
    r.value_bytes = 0;
    r.has_hrid = r.has_nrid = false;
    r.no_row = false;

    if (r.row_class == kDeletedRowClass) {
        // A deleted row right after the previous directory entry, or one
        // whose column count looks like another flag byte, is not a row.
        const int gap = ctx.state.previous_row_offset - ctx.state.row_offset;
        if (gap == 2 || r.column_count == (kFlagH | kFlagF | kFlagL) ||
            r.column_count == (kFlagH | kFlagD | kFlagF | kFlagL)) {
            r.no_row = true;
            return 2;
        }
    }
    const PieceLayout& layout = kPieceLayouts[r.row_class];
    if (layout.header_length != kHeaderUnwritten) header_length = layout.header_length;
    read_rowids(block, piece, layout, r);
    if (layout.fixed_result != kColumnsWalked) return layout.fixed_result;
    r.walked = true;
    r.header_length = static_cast<std::uint8_t>(header_length);
    return walk_columns(ctx, piece, header_length);
}
