// The checks --verify makes of each block.
#include "block_checks.h"

#include <bit>
#include <cstring>

#include "trevanix.h"

using namespace block_format;

namespace {

struct Scan {
    std::uint16_t word_xor;  // of the 16-bit little-endian words
    bool all_zeros;
};

// One pass over the block, eight bytes at a time: the XOR of its words and
// whether any byte is set.
Scan scan(const ByteView& block)
{
    const std::uint8_t* p = block.data();
    const std::size_t size = block.size();
    std::uint64_t x = 0, any = 0;
    std::size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        std::uint64_t w;
        std::memcpy(&w, p + i, 8);
        x ^= w;
        any |= w;
    }
    std::uint64_t tail = 0;  // a block size not a multiple of 8: the last bytes, zero-padded
    for (std::size_t k = 0; i + k < size; ++k) tail |= std::uint64_t{p[i + k]} << (8 * k);
    x ^= tail;
    any |= tail;
    // Fold the four 16-bit lanes into one word; on a big-endian machine
    // each lane holds a word's bytes the other way round.
    x ^= x >> 32;
    x ^= x >> 16;
    auto word = static_cast<std::uint16_t>(x);
    if constexpr (std::endian::native == std::endian::big) word = static_cast<std::uint16_t>(word << 8 | word >> 8);
    return {word, any == 0};
}

}  // namespace

bool tail_consistent(const ByteView& block, ByteOrder order)
{
    if (block.size() < kCacheHeaderSize + kTailSize) return false;
    const BlockView view{block, order};
    return view.u32(block.size() - kTailSize) ==
           tail_value(view.u32(kScnBaseAt), view.u8(kBlockTypeAt), view.u8(kSequenceAt));
}

namespace {

void check_data_layer(const BlockView& block, std::uint32_t block_size, BlockChecks& c)
{
    c.data_layer_checked = true;
    const DataHeader h = locate_data_header(block, c.header.itl_count);
    c.data_header_ok = is_consistent_data_header(block, h);
    if (!c.data_header_ok) return;
    for (std::uint32_t i = 0; i < h.row_count; ++i) {
        const std::uint32_t entry_at = h.row_directory + kRowEntrySize * i;
        const bool outside = entry_at + kRowEntrySize > block_size || [&] {
            const std::uint16_t entry = block.u16(entry_at);
            return entry != kEmptySlot && entry + h.offset >= block_size;
        }();
        if (!outside) continue;
        if (c.entries_outside == 0) c.first_outside_slot = i;
        ++c.entries_outside;
    }
}

}  // namespace

BlockChecks check_block(const BlockView& block, std::int32_t number, std::uint32_t block_size)
{
    BlockChecks c;
    c.number = number;
    const Scan s = scan(block.bytes);
    if (s.all_zeros) {
        c.state = CheckedAs::NeverUsed;
        return c;
    }
    if (number == 0) {
        c.state = CheckedAs::FileHeader;
        return c;
    }
    c.header = decode_block_header(block);

    c.has_checksum = (c.header.flags & kFlagHasChecksum) != 0;
    if (c.has_checksum) {
        const std::uint16_t word_xor = block.order == ByteOrder::Little
                                           ? s.word_xor
                                           : static_cast<std::uint16_t>(s.word_xor << 8 | s.word_xor >> 8);
        c.checksum_ok = word_xor == 0;
        c.stored_checksum = c.header.checksum;
        c.expected_checksum = static_cast<std::uint16_t>(c.header.checksum ^ word_xor);
    }

    c.tail = block.u32(block.size() - kTailSize);
    c.expected_tail = tail_value(c.header.scn_base, c.header.block_type, c.header.sequence);
    c.tail_ok = c.tail == c.expected_tail;

    c.format_size = format_block_size(c.header.format);
    c.format_ok = c.format_size == 0 || c.format_size == block_size;

    c.address_file = c.header.address >> kAddressBlockBits;
    c.address_block = c.header.address & kAddressBlockMask;
    c.address_ok = c.address_block == (static_cast<std::uint32_t>(number) & kAddressBlockMask);

    if (c.header.block_type == kBlockTypeData && c.header.layer_type == kLayerData)
        check_data_layer(block, block_size, c);
    return c;
}
