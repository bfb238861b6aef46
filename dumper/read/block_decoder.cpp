#include "read/block_decoder.h"

#include <algorithm>

#include "format/block_format.h"
#include "format/block_headers.h"

using namespace block_format;

void BlockWalk::clear()
{
    steps.clear();
    pieces.clear();
    columns.clear();
    entries.clear();
}

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

void add_piece(BlockWalk& walk, const RowPieceRecord& piece)
{
    walk.steps.push_back({WalkStep::Kind::Piece, static_cast<std::uint32_t>(walk.pieces.size())});
    walk.pieces.push_back(piece);
}

void add_entry(BlockWalk& walk, const DirectoryEntry& entry)
{
    walk.steps.push_back({WalkStep::Kind::Entry, static_cast<std::uint32_t>(walk.entries.size())});
    walk.entries.push_back(entry);
}

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

void walk_row_directory(const DecodedBlock& block, DirectoryWalkCarry& carry, BlockWalk& walk)
{
    walk.clear();
    const BlockView& view = block.view();
    const std::uint32_t block_size = static_cast<std::uint32_t>(view.size());
    const DataHeader& h = block.data;
    RowPieceRecord piece;
    for (std::uint32_t i = 0; i < h.row_count; ++i) {
        const std::uint32_t entry_at = h.row_directory + kRowEntrySize * i;
        if (entry_at > block_size) {
            add_entry(walk, {i, 0, EntryProblem::BeyondBlock});
            return;
        }
        const std::uint16_t entry = view.u16(entry_at);
        // Empty slots, and entries too small to point past the directory, are skipped.
        if (entry != kEmptySlot && entry >= h.row_count) {
            const std::uint32_t offset = entry + h.offset;
            if (offset < block_size) {
                int header_length = 0;
                piece.walk = Walk::Directory;
                piece.slot = static_cast<std::int32_t>(i);
                decode_row_piece(view, offset, entry, carry.previous_row_offset, header_length, piece, walk.columns);
                add_piece(walk, piece);
            } else {
                add_entry(walk, {i, entry, EntryProblem::PieceOutOfBlock});
            }
        }
        carry.previous_row_offset = entry;
    }
}

void walk_row_heap(const DecodedBlock& block, bool find_slots, BlockWalk& walk)
{
    walk.clear();
    std::vector<SlotEntry>& index = walk.slot_index;
    if (find_slots) index_directory(block, index);
    const BlockView& view = block.view();
    const std::uint32_t block_size = static_cast<std::uint32_t>(view.size());
    const DataHeader& h = block.data;
    RowPieceRecord piece;
    // Some piece classes leave the header length alone; the last written
    // value then carries on to the next step.
    int header_length = 0;
    std::uint32_t position = 0;
    for (;;) {
        const std::uint32_t offset = h.free_space_end + h.offset + position;
        if (offset >= block_size - kTailSize) break;
        const auto row_offset = static_cast<std::uint16_t>(h.free_space_end + position);
        piece.walk = Walk::Heap;
        piece.slot = find_slots ? slot_of(index, row_offset) : -1;
        // The heap walk never moves the directory walk's carried offset.
        const int consumed = decode_row_piece(view, offset, row_offset, 0, header_length, piece, walk.columns);
        add_piece(walk, piece);
        position += static_cast<std::uint32_t>(consumed + header_length);
    }
}
