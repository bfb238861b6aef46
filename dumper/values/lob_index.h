// The leaf entries of a BasicFile LOB segment's index: each maps a LobId
// and the first page it names to the block addresses of up to
// kLobIndexAddresses chunks. The index is an ordinary B-tree whose leaf
// header sits where a table block's data header would; what is known of
// its entries is partly assumed, each such fact one constant or one
// function here. An entry whose key is not of the exact form is left out.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "format/byte_view.h"

// The chunk addresses an entry holds.
constexpr std::size_t kLobIndexAddresses = 8;

struct LobIndexEntry {
    std::array<std::uint8_t, 10> lob_id{};
    std::uint32_t first_page = 0;
    // The block address of each chunk from the first page on; 0 where the
    // entry names none.
    std::array<std::uint32_t, kLobIndexAddresses> addresses{};
};

// What a leaf block of a LOB index holds; nullopt when the block is no
// index leaf (its type, layer, level or, unless 0, data object
// `data_object` say so). Every offset the block gives is bounded by it.
std::optional<std::vector<LobIndexEntry>> read_lob_index_leaf(const BlockView& block, std::uint32_t data_object);

// The page the block `in_chunk` of the chunk at `slot` of an entry holds,
// chunks being `chunk` blocks (assumed: the addresses name chunks in page
// order, a chunk's blocks consecutive).
std::uint64_t lob_index_page(const LobIndexEntry& entry, std::size_t slot, std::uint32_t chunk,
                             std::uint32_t in_chunk);
