// Reads the fixed header fields of a block, its ITL slots and its data
// header into records, in the block's byte order.
#include "format/block_headers.h"

#include "format/block_format.h"

using namespace block_format;

BlockHeader decode_block_header(const BlockView& block)
{
    BlockHeader h;
    h.block_type = block.u8(kBlockTypeAt);
    h.format = block.u8(kFormatAt);
    h.address = block.u32(kAddressAt);
    h.scn_base = block.u32(kScnBaseAt);
    h.scn_wrap = block.u16(kScnWrapAt);
    h.sequence = block.u8(kSequenceAt);
    h.flags = block.u8(kFlagsAt);
    h.checksum = block.u16(kChecksumAt);
    h.layer_type = block.u8(kLayerTypeAt);
    h.object_id = block.u32(kObjectIdAt);
    // The slot count is a 2-byte field of which only the low byte is used.
    h.itl_count = static_cast<std::uint8_t>(block.u16(kItlCountAt));
    return h;
}

ItlSlot decode_itl_slot(const BlockView& block, std::uint32_t n)
{
    const std::size_t at = kItlSlotsAt + kItlSlotSize * (n - 1);
    ItlSlot slot;
    slot.undo_segment = block.u16(at + kItlUndoSegmentAt);
    slot.undo_slot = block.u16(at + kItlUndoSlotAt);
    slot.undo_sequence = block.u32(at + kItlUndoSequenceAt);
    slot.uba_block = block.u32(at + kItlUbaBlockAt);
    slot.uba_sequence = block.u16(at + kItlUbaSequenceAt);
    slot.uba_record = block.u8(at + kItlUbaRecordAt);
    slot.flag_lock = block.u16(at + kItlFlagLockAt);
    slot.scn_wrap = block.u16(at + kItlScnWrapAt);
    slot.scn_base = block.u32(at + kItlScnBaseAt);
    return slot;
}

DataHeader data_header_at(const BlockView& block, std::uint32_t offset, bool extended)
{
    DataHeader h;
    h.offset = offset;
    h.extended = extended;
    h.table_count = block.u8(h.offset + kTableCountAt);
    h.row_count = block.u16(h.offset + kRowCountAt);
    h.free_space_start = block.u16(h.offset + kFreeSpaceStartAt);
    h.free_space_end = block.u16(h.offset + kFreeSpaceEndAt);
    h.table_directory = h.offset + kDataHeaderSize;
    h.row_directory = h.table_directory + kTableEntrySize * h.table_count;
    h.second_row_count = block.u16(h.table_directory + kTableRowCountAt);
    return h;
}

bool is_consistent_data_header(const BlockView& block, const DataHeader& h)
{
    const std::int64_t directory_end = kDataHeaderSize + kTableEntrySize * h.table_count + kRowEntrySize * h.row_count;
    const std::int64_t room = static_cast<std::int64_t>(block.size()) - h.offset;
    return h.table_count >= 1 && h.free_space_start == directory_end && h.free_space_end >= h.free_space_start &&
           h.free_space_end <= room;
}

// The later place is taken only when the earlier one does not hold a
// consistent header and it does, so every block that reads sensibly at the
// earlier place is read there.
DataHeader locate_data_header(const BlockView& block, std::uint8_t itl_slots)
{
    const DataHeader plain = data_header_at(block, data_header_offset(itl_slots, false), false);
    if (is_consistent_data_header(block, plain)) return plain;
    const DataHeader extended = data_header_at(block, data_header_offset(itl_slots, true), true);
    return is_consistent_data_header(block, extended) ? extended : plain;
}

bool tail_consistent(const ByteView& block, ByteOrder order)
{
    if (block.size() < kCacheHeaderSize + kTailSize) return false;
    const BlockView view{block, order};
    return view.u32(block.size() - kTailSize) ==
           tail_value(view.u32(kScnBaseAt), view.u8(kBlockTypeAt), view.u8(kSequenceAt));
}
