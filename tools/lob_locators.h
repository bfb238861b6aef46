// The locators a row holds for LOB columns, written as the reader expects
// them: a BasicFile or SecureFile value held in the row, and a BasicFile
// locator whose value lies in its LOB segment's pages. A CLOB of a
// varying-width database stores its text as nchar_value() writes it.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "datafile_builder.h"
#include "file_structures.h"

namespace datafile {

using LobId = std::array<std::uint8_t, 10>;

// A LobId whose last bytes are `n`.
LobId lob_id(std::uint32_t n);
Bytes basic_inline_locator(const LobId& id, const Bytes& data);
Bytes secure_inline_locator(const LobId& id, const Bytes& data);
// A SecureFile value of `length` bytes in its LOB segment: a 4-byte
// length, then an extent list of one extent of `blocks` blocks at `address`.
Bytes secure_out_of_line_locator(const LobId& id, std::uint32_t length, std::uint32_t address, std::uint8_t blocks);
// One extent of a SecureFile value's list: `blocks` blocks from `address`;
// `wide` gives its count in 2 bytes.
struct SecureExtentDef {
    std::uint32_t address = 0;
    std::uint16_t blocks = 0;
    bool wide = false;
};
// A SecureFile value of `length` bytes in the blocks `extents` list, in
// the locator's 12c form (flg2 0x4000, flg3 0x20) or its 11g one.
Bytes secure_extents_locator(const LobId& id, std::uint32_t length, const std::vector<SecureExtentDef>& extents,
                             bool form_12c);
// The data bytes a SecureFile data block of `block_size` bytes holds.
std::uint32_t secure_block_size(std::uint32_t block_size);
// A block of SecureFile value `id` (type 0x06) of the LOB segment
// `data_object`, holding `data`.
Bytes secure_data_block(const LobId& id, std::uint32_t data_object, const Bytes& data, std::uint16_t file,
                        std::uint32_t block, std::uint32_t block_size, ByteOrder order);
// `pages` blocks of the LOB segment, the last holding `last_bytes`.
Bytes basic_out_of_line_locator(const LobId& id, std::uint32_t pages, std::uint16_t last_bytes,
                                const std::vector<std::uint32_t>& addresses);

// The block addresses an out-of-line BasicFile locator lists, of its first pages.
constexpr std::uint32_t kLocatorAddresses = 12;

// A LOB index entry: the chunks of LOB `id` from page `first_page` on, at
// most eight, by the addresses of their first blocks.
struct LobIndexEntryDef {
    LobId id{};
    std::uint32_t first_page = 0;
    std::vector<std::uint32_t> addresses;
};
// The entries a LOB index leaf block of `block_size` bytes holds.
std::size_t lob_index_leaf_room(std::uint32_t block_size);
// A leaf block (type 0x06, index layer, two ITL slots) of the LOB index
// `data_object` at `block` of relative file `file`, holding `entries` in
// their order, between the leaves at `next` and `previous` (0: none).
Bytes lob_index_leaf(std::span<const LobIndexEntryDef> entries, std::uint32_t data_object, std::uint16_t file,
                     std::uint32_t block, std::uint32_t next, std::uint32_t previous, std::uint32_t block_size,
                     ByteOrder order);

// The data bytes a LOB data block of `block_size` bytes holds.
std::uint32_t lob_page_size(std::uint32_t block_size);

// A BasicFile LOB data block (type 0x28) at `block` of relative file
// `file`: page `page` of LOB `id` of the LOB segment `data_object`, its
// data `data` (no more than a page's), its header fields in `order`.
Bytes lob_data_block(const LobId& id, std::uint32_t data_object, std::uint32_t page, const Bytes& data,
                     std::uint16_t file, std::uint32_t block, std::uint32_t block_size, ByteOrder order,
                     std::uint32_t scn = 0x2000);

}  // namespace datafile
