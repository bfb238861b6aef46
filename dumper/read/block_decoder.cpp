#include "read/block_decoder.h"

#include <algorithm>

#include "format/block_format.h"
#include "format/block_headers.h"
#include "format/piece_classes.h"

using namespace block_format;

DecodedBlock decode_block_headers(Block block)
{
    DecodedBlock decoded;
    decoded.header = decode_block_header(block.view);
    decoded.block = std::move(block);
    decoded.outcome = decoded.header.layer_type == kLayerData ? BlockOutcome::Walked : BlockOutcome::NotData;
    return decoded;
}

// Unsigned differences, as the header fields are: a tiny block passes these
// checks and reads zeros beyond its end.
void decode_data_layer(DecodedBlock& decoded, bool list_only)
{
    if (decoded.header.layer_type != kLayerData) {
        decoded.outcome = BlockOutcome::NotData;
        return;
    }
    const std::uint32_t block_size = static_cast<std::uint32_t>(decoded.view().size());
    DataHeader& data = decoded.data;
    data = locate_data_header(decoded.view(), decoded.header.itl_count);
    if (list_only)
        decoded.outcome = BlockOutcome::Listed;
    else if (data.offset > block_size - kDataHeaderSize)
        decoded.outcome = BlockOutcome::DataHeaderOutOfBounds;
    else if (data.table_directory > block_size - kTableEntrySize)
        decoded.outcome = BlockOutcome::TableDirectoryOutOfBounds;
    else if (data.table_directory + kTableEntrySize > block_size)
        decoded.outcome = BlockOutcome::RowDirectoryOutOfBounds;
    else
        decoded.outcome = BlockOutcome::Walked;
}

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

namespace {

[[gnu::always_inline]] inline int read_columns(const BlockView& block_ref, std::uint32_t offset, int header_length,
                                               RowPieceRecord& r, ColumnRecord* const out);

// Where a piece lies, and the three bytes every piece starts with: its
// flags (and the class they give), its lock and its column count.
[[gnu::always_inline]] inline void read_piece_start(const BlockView& block, std::uint32_t offset,
                                                    std::uint16_t row_offset, RowPieceRecord& r)
{
    r.offset = offset;
    r.row_offset = row_offset;
    r.flags = block.u8(offset + kPieceFlagsAt);
    r.lock = block.u8(offset + kPieceLockAt);
    r.column_count = block.u8(offset + kPieceColumnCountAt);
    r.row_class = static_cast<std::uint8_t>(classify_row_piece(r.flags));
}

// The walks' reading of a piece, inlined into them.
[[gnu::always_inline]] inline int read_literal_piece(const BlockView& block_ref, std::uint32_t offset,
                                                     std::uint16_t row_offset, std::uint16_t previous_row_offset,
                                                     int& header_length, RowPieceRecord& r, ColumnRecord* columns)
{
    // A copy, not a reference: the record's stores below may alias anything
    // reached by reference, and the compiler would reload it.
    const BlockView block = block_ref;
    read_piece_start(block, offset, row_offset, r);
    r.walked = false;
    r.complete = true;
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
    return read_columns(block, offset, header_length, r, columns);
}

inline int read_columns(const BlockView& block_ref, std::uint32_t offset, int header_length, RowPieceRecord& r,
                        ColumnRecord* const out)
{
    // A copy, not a reference: the stores into the records below may alias
    // anything reached by reference, and the compiler would then reload it.
    const BlockView block = block_ref;
    const std::size_t block_size = block.size();
    const std::size_t start = offset + static_cast<std::size_t>(header_length);
    const std::uint32_t column_count = r.column_count;
    std::size_t cursor = start;  // the next column's length prefix
    std::uint32_t value_bytes = 0;
    std::uint32_t found = 0;
    bool cut = false;  // the last column found runs past the block end
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
            cut = true;
            break;
        }
        cursor = value_at + length;
    }
    r.columns_found = found;
    r.value_bytes = value_bytes;
    r.complete = found == column_count && !cut;
    if (!r.complete) {
        // A piece that runs past the block end ends there: the count stops at
        // the block end, so a heap walk stops there too.
        return start < block_size ? static_cast<int>(block_size - start) : 0;
    }
    return static_cast<int>(cursor - start);
}

}  // namespace

int decode_row_piece(const BlockView& block, std::uint32_t offset, std::uint16_t row_offset,
                     std::uint16_t previous_row_offset, int& header_length, RowPieceRecord& piece,
                     ColumnRecord* columns)
{
    return read_literal_piece(block, offset, row_offset, previous_row_offset, header_length, piece, columns);
}

int walk_columns(const BlockView& block, std::uint32_t offset, int header_length, RowPieceRecord& piece,
                 ColumnRecord* columns)
{
    return read_columns(block, offset, header_length, piece, columns);
}

namespace {

// The directory entries that point at pieces, as the directory walk takes
// them, sorted by the offset they hold; the lowest slot first when several
// hold the same offset.
void index_directory(const DecodedBlock& block, std::vector<SlotEntry>& index)
{
    const std::uint32_t block_size = static_cast<std::uint32_t>(block.view().size());
    const DataHeader& h = block.data;
    index.clear();
    for (std::uint32_t i = 0; i < h.row_count; ++i) {
        const std::uint32_t entry_at = h.row_directory + kRowEntrySize * i;
        if (entry_at > block_size) break;
        const std::uint16_t entry = block.view().u16(entry_at);
        if (entry != kEmptySlot && entry >= h.row_count && entry + h.offset < block_size) index.push_back({entry, i});
    }
    std::sort(index.begin(), index.end(), [](const SlotEntry& a, const SlotEntry& b) {
        return a.row_offset != b.row_offset ? a.row_offset < b.row_offset : a.slot < b.slot;
    });
}

// The slot of the first directory entry that points at `row_offset`, or -1.
std::int32_t slot_of(const std::vector<SlotEntry>& index, std::uint16_t row_offset)
{
    auto it = std::lower_bound(index.begin(), index.end(), row_offset,
                               [](const SlotEntry& e, std::uint16_t offset) { return e.row_offset < offset; });
    return it != index.end() && it->row_offset == row_offset ? static_cast<std::int32_t>(it->slot) : -1;
}

}  // namespace

PieceWalk::PieceWalk(const DecodedBlock& block, DirectoryWalkCarry& carry, PieceReading reading)
    : block_(block), reading_(reading), carry_(&carry)
{
    decode_ahead();
}

PieceWalk::PieceWalk(const DecodedBlock& block, std::vector<SlotEntry>* slot_index, PieceReading reading)
    : block_(block), reading_(reading), slot_index_(slot_index), heap_(true)
{
    if (slot_index != nullptr) index_directory(block, *slot_index);
    decode_ahead();
}

void PieceWalk::decode_ahead()
{
    Found& ahead = found_[1 - current_];
    ahead.step = ended_ ? Step::End : heap_ ? in_heap(ahead) : in_directory(ahead);
    ended_ = ahead.step == Step::End;
}

PieceWalk::Step PieceWalk::next()
{
    if (found_[1 - current_].step == Step::End) return Step::End;
    current_ = 1 - current_;
    decode_ahead();
    return found_[current_].step;
}

inline PieceWalk::Step PieceWalk::in_directory(Found& found)
{
    // Copies: the stores into `found` may alias anything reached by reference.
    const BlockView view = block_.view();
    const std::uint32_t block_size = static_cast<std::uint32_t>(view.size());
    const std::uint32_t row_count = block_.data.row_count;
    const std::uint32_t row_directory = block_.data.row_directory;
    const std::uint32_t data_offset = block_.data.offset;
    while (index_ < row_count) {
        const std::uint32_t i = index_++;
        const std::uint32_t entry_at = row_directory + kRowEntrySize * i;
        if (entry_at > block_size) {
            // The rest of the directory is abandoned.
            found.entry = {i, 0, EntryProblem::BeyondBlock};
            index_ = row_count;
            return Step::Entry;
        }
        const std::uint16_t entry = view.u16(entry_at);
        const std::uint16_t previous = carry_->previous_row_offset;
        carry_->previous_row_offset = entry;
        // Empty slots, and entries too small to point past the directory, are skipped.
        if (entry == kEmptySlot || entry < row_count) continue;
        const std::uint32_t offset = entry + data_offset;
        if (offset >= block_size) {
            found.entry = {i, entry, EntryProblem::PieceOutOfBlock};
            return Step::Entry;
        }
        int header_length = 0;
        found.piece.walk = Walk::Directory;
        found.piece.slot = static_cast<std::int32_t>(i);
        decode(view, offset, entry, previous, header_length, found);
        return Step::Piece;
    }
    return Step::End;
}

inline PieceWalk::Step PieceWalk::in_heap(Found& found)
{
    const BlockView view = block_.view();
    const std::uint32_t block_size = static_cast<std::uint32_t>(view.size());
    const DataHeader& h = block_.data;
    const std::uint32_t offset = h.free_space_end + h.offset + position_;
    if (offset >= block_size - kTailSize) return Step::End;
    const auto row_offset = static_cast<std::uint16_t>(h.free_space_end + position_);
    found.piece.walk = Walk::Heap;
    found.piece.slot = slot_index_ != nullptr ? slot_of(*slot_index_, row_offset) : -1;
    // Some piece classes leave the header length alone: the last written
    // value then carries on to the next step. The heap walk never moves the
    // directory walk's carried offset.
    const int consumed = decode(view, offset, row_offset, 0, header_length_, found);
    position_ += static_cast<std::uint32_t>(consumed + header_length_);
    return Step::Piece;
}

// The literal reading returns the bytes of the columns (or a class's fixed
// count) and may leave the header length as it was; the reading by flag
// bits returns the bytes of the whole piece, its header counted.
inline int PieceWalk::decode(const BlockView& view, std::uint32_t offset, std::uint16_t row_offset, std::uint16_t previous,
                      int& header_length, Found& found) const
{
    if (reading_ == PieceReading::Literal)
        return read_literal_piece(view, offset, row_offset, previous, header_length, found.piece, found.columns.data());
    header_length = 0;
    if (reading_ == PieceReading::Headers && !heap_)
        return decode_piece_header_by_flag_bits(view, offset, row_offset, found.piece);
    return decode_piece_by_flag_bits(view, offset, row_offset, found.piece, found.columns.data());
}

int decode_piece_header_by_flag_bits(const BlockView& block_ref, std::uint32_t offset, std::uint16_t row_offset,
                                     RowPieceRecord& r)
{
    const BlockView block = block_ref;
    read_piece_start(block, offset, row_offset, r);
    r.no_row = false;
    const RowPieceLayout layout = row_piece_layout(r.flags);
    r.key_index = layout.key_index_at != kNoRowid ? block.u8(offset + static_cast<std::uint32_t>(layout.key_index_at)) : 0;
    r.has_hrid = layout.hrid_at != kNoRowid;
    r.has_nrid = layout.nrid_at != kNoRowid;
    if (r.has_hrid) block.bytes.copy(offset + static_cast<std::size_t>(layout.hrid_at), r.hrid);
    if (r.has_nrid) block.bytes.copy(offset + static_cast<std::size_t>(layout.nrid_at), r.nrid);
    if (r.flags & kFlagK) {
        r.curc = block.u16(offset + kClusterCurcAt);
        r.comc = block.u16(offset + kClusterComcAt);
        block.bytes.copy(offset + kClusterPreviousKeyAt, r.previous_key);
        block.bytes.copy(offset + kClusterNextKeyAt, r.next_key);
    }
    r.walked = false;
    r.complete = true;
    r.columns_found = 0;
    r.value_bytes = 0;
    r.header_length = static_cast<std::uint8_t>(layout.header_length);
    return layout.header_length;
}

int decode_piece_by_flag_bits(const BlockView& block, std::uint32_t offset, std::uint16_t row_offset,
                              RowPieceRecord& r, ColumnRecord* columns)
{
    const int header_length = decode_piece_header_by_flag_bits(block, offset, row_offset, r);
    r.walked = true;
    return header_length + walk_columns(block, offset, header_length, r, columns);
}
