// Column walker: prints one row piece's columns, as hexadecimal bytes or as
// typed values through the template, and measures how many bytes they take.
#include <cstring>

#include "trevanix.h"

namespace {

constexpr std::uint8_t kDeletedBit = 0x10;
constexpr std::uint8_t kNullPrefix = 0xFF;
constexpr std::uint8_t kLongPrefix = 0xFE;

void print_rule(OutputSink& out, bool deleted_only)
{
    out.text(deleted_only ? "\n+---------------------------------------------------------\n"
                          : "\n----------------------------------------------------------\n");
}

void print_location(DumpContext& ctx, std::size_t piece)
{
    OutputSink& out = ctx.out;
    const BlockState& st = ctx.state;
    const RunSettings& s = ctx.settings;
    // In 64 bits: offsets past 2 GiB and 4 GiB print as they are.
    std::int64_t file_offset = static_cast<std::int64_t>(s.block_number) * s.block_size +
                               st.row_offset + st.dhs_offset;
    out.text("Block ID = ");
    out.dec(s.block_number);
    out.text(", Row Offset = ");
    out.dec(st.row_offset);
    out.text(" [");
    out.hex(st.row_offset);
    out.text("], File offset = ");
    out.dec(file_offset);
    out.text(", Row Header = [");
    out.hex(st.block.u8(piece), 2);
    out.byte(' ');
    out.hex(st.block.u8(piece + 1), 2);
    out.byte(' ');
    out.hex(st.block.u8(piece + 2), 2);
    out.text("]\n");
}

// "length: XX XX ... \n"; `value` may hold fewer bytes than announced when
// the column runs past the block.
void print_hex_column(OutputSink& out, std::size_t announced, const ByteView& value)
{
    out.hex_column(announced, value.data(), value.size(), value.readable());
}

// Ends a piece whose columns run past the block: the count stops at the
// block end, so a sequential walk stops there too.
int stop_at_block_end(DumpContext& ctx, std::size_t columns_start)
{
    if (ctx.settings.verbose) ctx.out.text("Row piece runs past the end of the block.\n");
    std::size_t block_size = ctx.state.block.size();
    return columns_start < block_size ? static_cast<int>(block_size - columns_start) : 0;
}

enum class ColumnKind { Value, Null, PastBlockEnd };

// Reads the length prefix at `cursor`: where the value starts and how many
// bytes it announces (a NULL column has no value; its next column starts
// at `value_at`).
ColumnKind read_prefix(const ByteView& block, std::size_t cursor, std::size_t& value_at, std::size_t& length)
{
    if (cursor >= block.size()) return ColumnKind::PastBlockEnd;
    const std::uint8_t prefix = block.u8(cursor);
    value_at = cursor + 1;
    length = prefix;
    if (prefix == kNullPrefix) return ColumnKind::Null;
    if (prefix == kLongPrefix) {
        if (cursor + 3 > block.size()) return ColumnKind::PastBlockEnd;
        length = block.u16le(cursor + 1);
        value_at = cursor + 3;
    }
    return ColumnKind::Value;
}

// The hex dump of every column of a shown piece, the main output without a
// template. The most the piece can print (three characters per byte left in
// the block, a few more per column) is claimed from the sink once and
// written through a local pointer, so that no column waits for the previous
// one's store of the sink's fill level.
int dump_columns_in_hex(DumpContext& ctx, const ByteView& block, std::size_t start, int column_count)
{
    // Blocks have at most 16000 bytes and pieces at most 255 columns.
    static_assert(OutputSink::hex_column_room(16000) + 24 * 255 <= OutputSink::kCapacity);
    const std::size_t left = start < block.size() ? block.size() - start : 0;
    const std::size_t most =
        OutputSink::hex_column_room(left) + 24 * static_cast<std::size_t>(column_count);
    char* out = ctx.out.claim(most);
    std::size_t cursor = start;
    for (int i = 0; i < column_count; ++i) {
        std::size_t value_at = 0;
        std::size_t length = 0;
        const ColumnKind kind = read_prefix(block, cursor, value_at, length);
        if (kind == ColumnKind::PastBlockEnd) {
            ctx.out.commit(out);
            return stop_at_block_end(ctx, start);
        }
        if (kind == ColumnKind::Null) {
            std::memcpy(out, "1: FF\n", 6);
            out += 6;
            cursor = value_at;
            continue;
        }
        const ByteView value = block.sub(value_at, length);
        out = OutputSink::put_hex_column(out, length, value.data(), value.size(), value.readable());
        if (value.size() < length) {
            ctx.out.commit(out);
            return stop_at_block_end(ctx, start);
        }
        cursor = value_at + length;
    }
    ctx.out.commit(out);
    return static_cast<int>(cursor - start);
}

}  // namespace

int walk_columns(DumpContext& ctx, std::size_t piece, int header_length)
{
    const RunSettings& s = ctx.settings;
    OutputSink& out = ctx.out;
    // Copies, not references: the sink writes through char pointers, which
    // may alias anything reached by reference, and the compiler would then
    // reload these after every byte of output.
    const ByteView block = ctx.state.block;
    const bool typed = s.template_given;
    const bool deleted_only = is_deleted_only(s.action);
    const bool shown = !deleted_only || (block.u8(piece) & kDeletedBit) != 0;
    if (shown) {
        print_rule(out, deleted_only);
        if (s.show_location) print_location(ctx, piece);
    }

    const std::size_t start = piece + static_cast<std::size_t>(header_length);
    const int column_count = block.u8(piece + 2);
    if (shown && !typed) return dump_columns_in_hex(ctx, block, start, column_count);

    // Typed values, and pieces that a deleted-only mode measures but does
    // not show.
    std::size_t cursor = start;  // the next column's length prefix
    for (int i = 0; i < column_count; ++i) {
        std::size_t value_at = 0;
        std::size_t length = 0;
        const ColumnKind kind = read_prefix(block, cursor, value_at, length);
        if (kind == ColumnKind::PastBlockEnd) return stop_at_block_end(ctx, start);
        if (kind == ColumnKind::Null) {
            if (shown) render_column(ctx, i, ByteView());
            cursor = value_at;
            continue;
        }
        const ByteView value = block.sub(value_at, length);
        if (value.size() < length) {
            if (shown) print_hex_column(out, length, value);
            return stop_at_block_end(ctx, start);
        }
        if (shown && !render_column(ctx, i, value)) print_hex_column(out, length, value);
        cursor = value_at + length;
    }
    return static_cast<int>(cursor - start);
}
