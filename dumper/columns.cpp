// Column walker: reads one row piece's column length prefixes, records each
// column and measures how many bytes the columns take.
#include <algorithm>

#include "trevanix.h"

using namespace block_format;

int walk_columns(DumpContext& ctx, std::size_t piece, int header_length)
{
    // A copy, not a reference: the stores into the record below may alias
    // anything reached by reference, and the compiler would then reload it.
    const BlockView block = ctx.state.block;
    const std::size_t block_size = block.size();
    RowPieceRecord& r = ctx.piece;
    const std::size_t start = piece + static_cast<std::size_t>(header_length);
    const std::uint32_t column_count = r.column_count;
    std::size_t cursor = start;  // the next column's length prefix
    std::uint32_t value_bytes = 0;
    std::uint32_t found = 0;
    for (; found < column_count; ++found) {
        ColumnRecord& column = r.columns[found];
        if (cursor >= block_size) break;
        const std::uint8_t prefix = block.u8(cursor);
        if (prefix == kNullPrefix) {
            column = {static_cast<std::uint32_t>(cursor + 1), 0, 0, PrefixKind::Null};
            ++cursor;
            continue;
        }
        std::size_t value_at = cursor + 1;
        std::size_t length = prefix;
        PrefixKind kind = PrefixKind::Short;
        if (prefix == kLongPrefix) {
            if (cursor + kLongPrefixSize > block_size) break;
            length = block.u16(cursor + 1);
            value_at = cursor + kLongPrefixSize;
            kind = PrefixKind::Long;
        }
        // value_at is at most the block size here.
        const std::size_t inside = std::min(length, block_size - value_at);
        column = {static_cast<std::uint32_t>(value_at), static_cast<std::uint16_t>(length),
                  static_cast<std::uint16_t>(inside), kind};
        value_bytes += static_cast<std::uint32_t>(inside);
        if (inside < length) {
            ++found;  // the column cut short by the block end is kept, with the bytes there are
            break;
        }
        cursor = value_at + length;
    }
    r.columns_found = found;
    r.value_bytes = value_bytes;
    r.complete = found == column_count && (found == 0 || !r.columns[found - 1].truncated());
    if (!r.complete) {
        // A piece that runs past the block ends there: the count stops at
        // the block end, so a heap walk stops there too.
        return start < block_size ? static_cast<int>(block_size - start) : 0;
    }
    return static_cast<int>(cursor - start);
}
