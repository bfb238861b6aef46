#include "values/lob_index.h"

#include "format/block_format.h"

namespace {

using namespace block_format;

// The leaf header's fields, from its start (likely, from published
// layouts): its level (0 for a leaf), the entry count, and the 2-byte
// entry offsets from +32 on.
constexpr std::size_t kLeafLevelAt = 0;
constexpr std::size_t kLeafEntryCountAt = 8;
constexpr std::size_t kLeafFreeStartAt = 10;
constexpr std::size_t kLeafFreeEndAt = 12;
constexpr std::size_t kLeafOffsetsAt = 32;

// A LOB index entry (assumed, from how redo shows it): flag, lock, two
// bytes, the 32 bytes of chunk addresses, then the key: 0x0A and the
// LobId, 0x04 and the first page.
constexpr std::size_t kEntryAddressesAt = 4;
constexpr std::size_t kEntryKeyAt = kEntryAddressesAt + 4 * kLobIndexAddresses;
constexpr std::uint8_t kLobIdLength = 10;
constexpr std::uint8_t kPageLength = 4;
constexpr std::size_t kEntrySize = kEntryKeyAt + 1 + kLobIdLength + 1 + kPageLength;

// An index block: type 0x06 with the index layer in its transaction header (sure).
bool is_index_block(const BlockView& block)
{
    return block.u8(kBlockTypeAt) == kBlockTypeData && block.u8(kLayerTypeAt) == kLayerIndex;
}

// A chunk address as the entry stores it: big-endian (assumed).
std::uint32_t entry_address(ByteView entry, std::size_t slot) { return entry.u32be(kEntryAddressesAt + 4 * slot); }

// A leaf header is taken as real when it is of level 0 and its free space
// begins past its entry offsets and ends inside the block (offsets from
// the header's start, assumed).
bool is_leaf_header(const BlockView& block, std::size_t at)
{
    const std::size_t offsets_end = kLeafOffsetsAt + 2 * std::size_t{block.u16(at + kLeafEntryCountAt)};
    const std::size_t free_start = block.u16(at + kLeafFreeStartAt), free_end = block.u16(at + kLeafFreeEndAt);
    return block.u8(at + kLeafLevelAt) == 0 && offsets_end <= free_start && free_start <= free_end &&
           at + free_end + kTailSize <= block.size();
}

// Where the leaf header begins: after the ITL slots, or after the segment
// space extension that follows them (assumed, as for a table block); the
// first place that holds one. Nullopt when neither does.
std::optional<std::size_t> leaf_header_at(const BlockView& block)
{
    const std::uint8_t itl_slots = static_cast<std::uint8_t>(block.u16(kItlCountAt));
    for (const bool extended : {false, true})
        if (const std::size_t at = data_header_offset(itl_slots, extended); is_leaf_header(block, at)) return at;
    return std::nullopt;
}

// The entry at `entry` of the block's bytes, when its key has the exact form.
std::optional<LobIndexEntry> entry_of(ByteView entry)
{
    if (entry.size() < kEntrySize || entry.u8(kEntryKeyAt) != kLobIdLength ||
        entry.u8(kEntryKeyAt + 1 + kLobIdLength) != kPageLength)
        return std::nullopt;
    LobIndexEntry e;
    for (std::size_t i = 0; i < e.lob_id.size(); ++i) e.lob_id[i] = entry.u8(kEntryKeyAt + 1 + i);
    e.first_page = entry.u32be(kEntryKeyAt + 2 + kLobIdLength);
    for (std::size_t slot = 0; slot < kLobIndexAddresses; ++slot) e.addresses[slot] = entry_address(entry, slot);
    return e;
}

}  // namespace

std::optional<std::vector<LobIndexEntry>> read_lob_index_leaf(const BlockView& block, std::uint32_t data_object)
{
    if (!is_index_block(block) || (data_object != 0 && block.u32(kObjectIdAt) != data_object)) return std::nullopt;
    const std::optional<std::size_t> header = leaf_header_at(block);
    if (!header) return std::nullopt;
    const std::size_t count = block.u16(*header + kLeafEntryCountAt);
    const std::size_t end = block.size() - kTailSize;
    std::vector<LobIndexEntry> entries;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = *header + block.u16(*header + kLeafOffsetsAt + 2 * i);
        if (at + kEntrySize > end) continue;
        if (const std::optional<LobIndexEntry> e = entry_of(block.bytes.sub(at, kEntrySize))) entries.push_back(*e);
    }
    return entries;
}

std::uint64_t lob_index_page(const LobIndexEntry& entry, std::size_t slot, std::uint32_t chunk,
                             std::uint32_t in_chunk)
{
    return std::uint64_t{entry.first_page} + std::uint64_t{slot} * chunk + in_chunk;
}
