// Row pieces as the walks read them: the class a flag byte falls into, the
// rowids the class carries, where the columns start, and each column's
// length prefix and bytes.
#include <algorithm>

#include "format/block_format.h"
#include "format/piece_classes.h"
#include "read/block_decoder.h"

using namespace block_format;

namespace {

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

int decode_row_piece(const BlockView& block, std::uint32_t offset, std::uint16_t row_offset,
                     std::uint16_t previous_row_offset, int& header_length, RowPieceRecord& r,
                     std::vector<ColumnRecord>& columns)
{
    r.offset = offset;
    r.row_offset = row_offset;
    r.flags = block.u8(offset + kPieceFlagsAt);
    r.lock = block.u8(offset + kPieceLockAt);
    r.column_count = block.u8(offset + kPieceColumnCountAt);
    r.row_class = static_cast<std::uint8_t>(classify_row_piece(r.flags));
    r.walked = false;
    r.complete = true;
    r.first_column = static_cast<std::uint32_t>(columns.size());
    r.columns_found = 0;
    r.value_bytes = 0;
    r.has_hrid = r.has_nrid = false;
    r.no_row = false;

    if (r.row_class == kDeletedRowClass) {
        // A deleted row right after the previous directory entry, or one
        // whose column count looks like another flag byte, is not a row.
        const int gap = previous_row_offset - row_offset;
        if (gap == 2 || r.column_count == (kFlagH | kFlagF | kFlagL) ||
            r.column_count == (kFlagH | kFlagD | kFlagF | kFlagL)) {
            r.no_row = true;
            return 2;
        }
    }
    const PieceLayout& layout = kPieceClasses[r.row_class].layout;
    if (layout.header_length != kHeaderUnwritten) header_length = layout.header_length;
    read_rowids(block, offset, layout, r);
    if (layout.fixed_result != kColumnsWalked) return layout.fixed_result;
    r.walked = true;
    r.header_length = static_cast<std::uint8_t>(header_length);
    return walk_columns(block, offset, header_length, r, columns);
}

int walk_columns(const BlockView& block, std::uint32_t offset, int header_length, RowPieceRecord& r,
                 std::vector<ColumnRecord>& columns)
{
    const std::size_t block_size = block.size();
    const std::size_t start = offset + static_cast<std::size_t>(header_length);
    const std::uint32_t column_count = r.column_count;
    r.first_column = static_cast<std::uint32_t>(columns.size());
    columns.resize(columns.size() + column_count);
    ColumnRecord* const out = columns.data() + r.first_column;
    std::size_t cursor = start;  // the next column's length prefix
    std::uint32_t value_bytes = 0;
    std::uint32_t found = 0;
    for (; found < column_count; ++found) {
        ColumnRecord& column = out[found];
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
    columns.resize(r.first_column + found);
    r.columns_found = found;
    r.value_bytes = value_bytes;
    r.complete = found == column_count && (found == 0 || !out[found - 1].truncated());
    if (!r.complete) {
        // A piece that runs past the block end ends there: the count stops at
        // the block end, so a heap walk stops there too.
        return start < block_size ? static_cast<int>(block_size - start) : 0;
    }
    return static_cast<int>(cursor - start);
}
