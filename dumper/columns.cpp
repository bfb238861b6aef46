// Column walker: prints one row piece's columns, as hexadecimal bytes or as
// typed values through the template, and measures how many bytes they take.
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
    const std::size_t end = block.size();
    std::size_t cursor = start;  // the next column's length prefix
    for (int i = 0; i < column_count; ++i) {
        if (cursor >= end) return stop_at_block_end(ctx, start);
        const std::uint8_t prefix = block.u8(cursor);
        std::size_t length = prefix;
        std::size_t value_at = cursor + 1;
        if (prefix >= kLongPrefix) {
            if (prefix == kNullPrefix) {
                if (shown) {
                    if (typed)
                        render_column(ctx, i, ByteView());
                    else
                        out.text("1: FF\n");
                }
                cursor = value_at;
                continue;
            }
            if (cursor + 3 > end) return stop_at_block_end(ctx, start);
            length = block.u16le(cursor + 1);
            value_at = cursor + 3;
        }
        const ByteView value = block.sub(value_at, length);
        if (value.size() < length) {
            if (shown) print_hex_column(out, length, value);
            return stop_at_block_end(ctx, start);
        }
        if (shown && !(typed && render_column(ctx, i, value))) print_hex_column(out, length, value);
        cursor = value_at + length;
    }
    return static_cast<int>(cursor - start);
}
