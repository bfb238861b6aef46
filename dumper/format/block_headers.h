// The fixed header fields of a block, its ITL slots and its data header,
// read into records in the block's byte order.
#pragma once

#include <cstdint>

#include "format/byte_view.h"
#include "format/records.h"

BlockHeader decode_block_header(const BlockView& block);
// Slot `n`, counted from 1.
ItlSlot decode_itl_slot(const BlockView& block, std::uint32_t n);
// The data header fields read at `offset`.
DataHeader data_header_at(const BlockView& block, std::uint32_t offset, bool extended);
// A data header is taken as real when its free space begins where its row
// directory ends and its free space ends inside the block.
bool is_consistent_data_header(const BlockView& block, const DataHeader& header);
// The data header follows the ITL slots, or the segment space extension
// after them.
DataHeader locate_data_header(const BlockView& block, std::uint8_t itl_slots);
// Whether the block's tail repeats its header, both read in `order`.
bool tail_consistent(const ByteView& block, ByteOrder order);
