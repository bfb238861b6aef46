// Row piece decoder: classifies a piece by its flag byte, prints the class and
// the rowids it carries with -g, tells the caller where the columns start and
// hands the piece to the column walker.
#include <array>

#include "trevanix.h"

namespace {

enum FlagBit : std::uint8_t {
    K = 0x80,  // cluster key
    C = 0x40,  // cluster member
    H = 0x20,  // head piece
    D = 0x10,  // deleted
    F = 0x08,  // first data piece
    L = 0x04,  // last data piece
    P = 0x02,  // first column continues from the previous piece
    N = 0x01,  // last column continues in the next piece
};

constexpr bool has(std::uint8_t flags, int bits) { return (flags & bits) == bits; }
constexpr bool lacks(std::uint8_t flags, int bits) { return (flags & bits) == 0; }

constexpr int kUnwritten = -1;
constexpr int kWalk = -1;
constexpr int kNone = -1;

enum class NextPieceLine { None, Block, BlockAndRow };

// What each class of piece looks like, indexed by class number.
struct PieceLayout {
    int header_length;  // kUnwritten: the caller's value is left alone
    const char* message;
    int hrid_at;  // offsets in the piece, or kNone
    int nrid_at;
    NextPieceLine next_piece;
    int result;  // kWalk: the number of column bytes walked
};

const PieceLayout kLayouts[18] = {
    /* unused */ {kUnwritten, nullptr, kNone, kNone, NextPieceLine::None, 3},
    /*  1 */ {19, "Cluster Key\n", kNone, kNone, NextPieceLine::None, kWalk},
    /*  2 */ {3, "HDFL\n", kNone, kNone, NextPieceLine::None, kWalk},
    /*  3 */ {3, "Non-cluster...\n", kNone, kNone, NextPieceLine::None, kWalk},
    /*  4 */ {4, "Cluster member...\n", kNone, kNone, NextPieceLine::None, kWalk},
    /*  5 */ {10, "cluster member missing head piece...\n", 4, kNone, NextPieceLine::None, kWalk},
    /*  6 */ {9, "Missing head piece...\n", 3, kNone, NextPieceLine::None, kWalk},
    /*  7 */ {9, "Head piece only ...\n", kNone, 3, NextPieceLine::None, kWalk},
    /*  8 */ {10, "Cluster member, head piece only ...\n", kNone, 4, NextPieceLine::None, kWalk},
    /*  9 */ {9, "Last col continues in next piece ...\n", kNone, 3, NextPieceLine::Block, kWalk},
    /* 10 */ {3, "Last data piece \n", kNone, kNone, NextPieceLine::None, kWalk},
    /* 11 */ {3, "Last data piece and First column continues from previous piece\n", kNone, kNone,
              NextPieceLine::None, kWalk},
    /* 12 */ {9, "Head piece of row & First data piece\n", kNone, 3, NextPieceLine::BlockAndRow, kWalk},
    /* 13 */ {3, "Deleted and Last Piece\n", kNone, kNone, NextPieceLine::None, kWalk},
    /* 14 */ {2, "Deleted\n", kNone, kNone, NextPieceLine::None, 2},
    /* 15 */ {15, "First data piece\n", 3, 9, NextPieceLine::None, kWalk},
    /* 16 */ {3, nullptr, kNone, kNone, NextPieceLine::None, 0},
    /* 17 */ {kUnwritten, nullptr, kNone, kNone, NextPieceLine::None, 3},
};

void print_rowid_line(OutputSink& out, const char* label, const ByteView& block, std::size_t at)
{
    std::uint8_t id[6];
    block.copy6(at, id);
    out.text(label);
    out.rowid(id);
    out.byte('\n');
}

void print_cluster_key(OutputSink& out, const ByteView& block, std::size_t piece)
{
    out.text("curc: ");
    out.hex(block.u16le(piece + 3), 4);
    out.text("\ncomc: ");
    out.hex(block.u16le(piece + 5), 4);
    out.byte('\n');
    print_rowid_line(out, "Previous Key: ", block, piece + 7);
    print_rowid_line(out, "Next Key: ", block, piece + 13);
}

void print_next_piece(OutputSink& out, NextPieceLine kind, const ByteView& block, std::size_t nrid)
{
    if (kind == NextPieceLine::None) return;
    out.text("Block ID that contains the next piece: ");
    out.dec(block.u8(nrid + 2) * 256 + block.u8(nrid + 3));
    if (kind == NextPieceLine::BlockAndRow) {
        out.text(", row ");
        out.dec(block.u8(nrid + 4) * 256 + block.u8(nrid + 5));
    }
    out.byte('\n');
}

void print_piece_class(OutputSink& out, int row_class, const ByteView& block, std::size_t piece)
{
    const PieceLayout& layout = kLayouts[row_class];
    if (layout.message == nullptr) return;
    out.text(layout.message);
    if (row_class == 1) print_cluster_key(out, block, piece);
    if (layout.hrid_at != kNone) print_rowid_line(out, "HRID: ", block, piece + static_cast<std::size_t>(layout.hrid_at));
    if (layout.nrid_at != kNone) {
        std::size_t nrid = piece + static_cast<std::size_t>(layout.nrid_at);
        print_rowid_line(out, "NRID: ", block, nrid);
        print_next_piece(out, layout.next_piece, block, nrid);
    }
}

void print_piece_start(OutputSink& out, std::uint8_t flags, std::uint8_t lock, std::uint8_t columns)
{
    out.text("Row flags: ");
    out.hex(flags, 2);
    out.text("\nLock status: ");
    out.hex(lock, 2);
    out.text("\nColumns: ");
    out.hex(columns, 2);
    out.text("\n\n");
}

// The class of a flag byte: the first rule that matches wins.
constexpr int classify(std::uint8_t f)
{
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
    for (int f = 0; f < 256; ++f) classes[static_cast<std::size_t>(f)] = static_cast<std::uint8_t>(classify(static_cast<std::uint8_t>(f)));
    return classes;
}();

}  // namespace

int classify_row_piece(std::uint8_t flags)
{
    return kPieceClasses[flags];
}

int decode_row_piece(DumpContext& ctx, std::size_t piece, int& header_length)
{
    const ByteView& block = ctx.state.block;
    const bool verbose = ctx.settings.verbose;
    std::uint8_t flags = block.u8(piece);
    std::uint8_t columns = block.u8(piece + 2);
    if (verbose) print_piece_start(ctx.out, flags, block.u8(piece + 1), columns);

    int row_class = classify_row_piece(flags);
    if (row_class == 2) {
        // An HDFL piece right after the previous directory entry, or one whose
        // column count looks like another flag byte, is not taken as a row.
        int gap = ctx.state.previous_row_offset - ctx.state.row_offset;
        if (gap == 2 || columns == 0x2C || columns == 0x3C) return 2;
    }
    const PieceLayout& layout = kLayouts[row_class];
    if (layout.header_length != kUnwritten) header_length = layout.header_length;
    if (verbose) print_piece_class(ctx.out, row_class, block, piece);
    if (layout.result != kWalk) return layout.result;
    return walk_columns(ctx, piece, header_length);
}
