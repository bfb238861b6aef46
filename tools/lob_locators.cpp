#include "lob_locators.h"

#include <stdexcept>

namespace datafile {

namespace {

void put16(Bytes& b, std::size_t at, std::uint32_t v)
{
    b[at] = static_cast<std::uint8_t>(v >> 8);
    b[at + 1] = static_cast<std::uint8_t>(v);
}

void put32(Bytes& b, std::size_t at, std::uint32_t v)
{
    put16(b, at, v >> 16);
    put16(b, at + 2, v & 0xFFFF);
}

// The 24 bytes every form begins with: lengths, version, flags, LobId, flg2.
Bytes locator_head(const LobId& id, std::size_t size, std::uint16_t flags2)
{
    Bytes b(size, 0);
    put16(b, 0, static_cast<std::uint32_t>(size - 2));
    put16(b, 2, 1);
    b[5] = 0x04;  // the locator holds the inode
    std::copy(id.begin(), id.end(), b.begin() + 10);
    put16(b, 20, static_cast<std::uint32_t>(size - 20));
    put16(b, 22, flags2);
    return b;
}

}  // namespace

LobId lob_id(std::uint32_t n)
{
    LobId id{0, 0, 0, 1, 0, 0};
    for (std::size_t i = 0; i < 4; ++i) id[9 - i] = static_cast<std::uint8_t>(n >> (8 * i));
    return id;
}

Bytes basic_inline_locator(const LobId& id, const Bytes& data)
{
    Bytes b = locator_head(id, 36 + data.size(), 0x0900);
    put16(b, 28, static_cast<std::uint32_t>(data.size()));
    std::copy(data.begin(), data.end(), b.begin() + 36);
    return b;
}

Bytes secure_inline_locator(const LobId& id, const Bytes& data)
{
    // flg3 1: a 2-byte length; flg4 0: one byte skipped after it.
    Bytes b = locator_head(id, 31 + data.size(), 0x0800);
    b[26] = 0x01;
    b[27] = 0x00;
    put16(b, 28, static_cast<std::uint32_t>(data.size()));
    std::copy(data.begin(), data.end(), b.begin() + 31);
    return b;
}

Bytes secure_out_of_line_locator(const LobId& id, std::uint32_t length, std::uint32_t address, std::uint8_t blocks)
{
    return secure_extents_locator(id, length, {{address, blocks, false}}, false);
}

Bytes secure_extents_locator(const LobId& id, std::uint32_t length, const std::vector<SecureExtentDef>& extents,
                             bool form_12c)
{
    // flg3 3: a 4-byte length; flg4 0: one byte skipped; then a count and
    // per extent a flag, the address and the block count.
    std::size_t size = 34;
    for (const SecureExtentDef& e : extents) size += e.wide ? 7 : 6;
    Bytes b = locator_head(id, size, form_12c ? 0x4000 : 0x0000);
    b[26] = form_12c ? 0x23 : 0x03;
    b[27] = 0x00;
    put32(b, 28, length);
    b[33] = static_cast<std::uint8_t>(extents.size());
    std::size_t at = 34;
    for (const SecureExtentDef& e : extents) {
        b[at] = e.wide ? 0x20 : 0x00;
        put32(b, at + 1, e.address);
        if (e.wide) put16(b, at + 5, e.blocks);
        else b[at + 5] = static_cast<std::uint8_t>(e.blocks);
        at += e.wide ? 7 : 6;
    }
    return b;
}

std::uint32_t secure_block_size(std::uint32_t block_size) { return block_size - 76; }

Bytes secure_data_block(const LobId& id, std::uint32_t data_object, const Bytes& data, std::uint16_t file,
                        std::uint32_t block, std::uint32_t block_size, ByteOrder order)
{
    if (data.size() > secure_block_size(block_size)) throw std::invalid_argument("more data than a SecureFile block holds");
    Bytes b = empty_typed_block(0x06, file, block, block_size, order);
    for (std::size_t i = 0; i < 4; ++i)
        b[24 + i] = static_cast<std::uint8_t>(order == ByteOrder::Little ? data_object >> (8 * i)
                                                                         : data_object >> (24 - 8 * i));
    std::copy(id.begin(), id.end(), b.begin() + 32);
    std::copy(data.begin(), data.end(), b.begin() + 72);
    seal_block(b, order);
    return b;
}

Bytes basic_out_of_line_locator(const LobId& id, std::uint32_t pages, std::uint16_t last_bytes,
                                const std::vector<std::uint32_t>& addresses)
{
    Bytes b = locator_head(id, 36 + 4 * addresses.size(), 0x0500);
    put32(b, 24, pages - 1);
    put16(b, 28, last_bytes);
    for (std::size_t i = 0; i < addresses.size(); ++i) put32(b, 36 + 4 * i, addresses[i]);
    return b;
}

std::uint32_t lob_page_size(std::uint32_t block_size) { return block_size - 60; }

Bytes lob_data_block(const LobId& id, std::uint32_t data_object, std::uint32_t page, const Bytes& data,
                     std::uint16_t file, std::uint32_t block, std::uint32_t block_size, ByteOrder order,
                     std::uint32_t scn)
{
    if (data.size() > lob_page_size(block_size)) throw std::invalid_argument("more data than a LOB page holds");
    Bytes b = empty_typed_block(0x28, file, block, block_size, order);
    auto put32_in = [&](std::size_t at, std::uint32_t v) {
        for (std::size_t i = 0; i < 4; ++i)
            b[at + i] = static_cast<std::uint8_t>(order == ByteOrder::Little ? v >> (8 * i) : v >> (24 - 8 * i));
    };
    put32_in(8, scn);
    put32_in(20, data_object);
    std::copy(id.begin(), id.end(), b.begin() + 24);
    put32_in(44, page);
    std::copy(data.begin(), data.end(), b.begin() + 56);
    seal_block(b, order);
    return b;
}

// The leaf block's layout: two ITL slots, so the leaf header at 44 + 48;
// its entry count at +8, first free byte +10, end of free space +12, next
// and previous leaves at +20 and +24, the entry offsets (from the header)
// at +32; an entry: flag, lock, 01 01, eight 4-byte big-endian chunk
// addresses, then the key 0A LobId 04 page.
constexpr std::size_t kLeafItlSlots = 2;
constexpr std::size_t kLeafHeaderAt = 44 + 24 * kLeafItlSlots;
constexpr std::size_t kLeafOffsetsAt = 32;
constexpr std::size_t kIndexEntrySize = 4 + 32 + 1 + 10 + 1 + 4;

std::size_t lob_index_leaf_room(std::uint32_t block_size)
{
    return (block_size - 4 - kLeafHeaderAt - kLeafOffsetsAt) / (kIndexEntrySize + 2);
}

Bytes lob_index_leaf(std::span<const LobIndexEntryDef> entries, std::uint32_t data_object, std::uint16_t file,
                     std::uint32_t block, std::uint32_t next, std::uint32_t previous, std::uint32_t block_size,
                     ByteOrder order)
{
    if (entries.size() > lob_index_leaf_room(block_size)) throw std::invalid_argument("more entries than a leaf holds");
    Bytes b = empty_typed_block(0x06, file, block, block_size, order);
    auto put_in = [&](std::size_t at, std::uint32_t v, std::size_t size) {
        for (std::size_t i = 0; i < size; ++i)
            b[at + i] = static_cast<std::uint8_t>(order == ByteOrder::Little ? v >> (8 * i) : v >> (8 * (size - 1 - i)));
    };
    b[20] = 2;  // the index layer
    put_in(24, data_object, 4);
    put_in(36, kLeafItlSlots, 2);
    const std::size_t h = kLeafHeaderAt;
    b[h + 3] = 2;  // key columns: LobId, page
    put_in(h + 8, static_cast<std::uint32_t>(entries.size()), 2);
    put_in(h + 20, next, 4);
    put_in(h + 24, previous, 4);
    std::size_t end = block_size - 4;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const LobIndexEntryDef& e = entries[i];
        if (e.addresses.size() > 8) throw std::invalid_argument("more than eight chunks in a LOB index entry");
        end -= kIndexEntrySize;
        put_in(h + kLeafOffsetsAt + 2 * i, static_cast<std::uint32_t>(end - h), 2);
        b[end + 2] = b[end + 3] = 0x01;
        for (std::size_t k = 0; k < e.addresses.size(); ++k) put32(b, end + 4 + 4 * k, e.addresses[k]);
        b[end + 36] = 10;
        std::copy(e.id.begin(), e.id.end(), b.begin() + static_cast<std::ptrdiff_t>(end + 37));
        b[end + 47] = 4;
        put32(b, end + 48, e.first_page);
    }
    put_in(h + 10, static_cast<std::uint32_t>(kLeafOffsetsAt + 2 * entries.size()), 2);
    put_in(h + 12, static_cast<std::uint32_t>(end - h), 2);
    seal_block(b, order);
    return b;
}

}  // namespace datafile
