#include "values/lob_locator.h"

#include "format/block_format.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace {

// Offsets of a locator's fields (likely), from its first byte.
constexpr std::size_t kLengthAt = 0;    // the locator's length less these 2 bytes (assumed: checked)
constexpr std::size_t kLobIdAt = 10;    // 10 bytes (sure)
constexpr std::size_t kBodySizeAt = 20; // the value is this + 20 bytes
constexpr std::size_t kBodyBase = 20;
constexpr std::size_t kFlags2At = 22;
constexpr std::size_t kHeadSize = 24;
// flg2's bits: an out-of-line BasicFile has both; test it first.
constexpr std::uint16_t kBasicOutOfLine = 0x0400;
constexpr std::uint16_t kBasicInline = 0x0100;
constexpr std::uint16_t kSecureInline = 0x0800;
// BasicFile forms, from offset 24.
constexpr std::size_t kPagesBeforeLastAt = 24;  // 4 bytes
constexpr std::size_t kLastPageBytesAt = 28;    // 2 bytes
constexpr std::size_t kAddressesAt = 36;        // 4 bytes each
constexpr std::size_t kInlineLengthAt = 28;     // 2 bytes
constexpr std::size_t kInlineDataAt = 36;
constexpr std::size_t kInlineBodyExtra = 16;  // the body is the data and these
// SecureFile: flg3 and flg4, then the length.
constexpr std::size_t kFlags3At = 26;
constexpr std::size_t kFlags4At = 27;
constexpr std::size_t kSecureLengthAt = 28;

LobLocator basic_file(const ByteView value, std::uint16_t flags, LobLocator locator)
{
    if (flags & kBasicOutOfLine) {
        locator.form = LobForm::BasicOutOfLine;
        locator.pages_before_last = value.u32be(kPagesBeforeLastAt);
        locator.last_page_bytes = value.u16be(kLastPageBytesAt);
        const std::size_t listed = value.size() > kAddressesAt ? (value.size() - kAddressesAt) / 4 : 0;
        locator.addresses = value.sub(kAddressesAt, 4 * std::min(listed, kMostLocatorAddresses));
        return locator;
    }
    const std::size_t length = value.u16be(kInlineLengthAt);
    const std::size_t body = value.u16be(kBodySizeAt);
    if (value.size() < kInlineDataAt || body != length + kInlineBodyExtra || kInlineDataAt + length > value.size())
        return locator;
    locator.form = length == 0 ? LobForm::Empty : LobForm::BasicInline;
    locator.data = value.sub(kInlineDataAt, length);
    return locator;
}

// The length takes (flg3 & 3) + 1 bytes; then 1 byte is skipped when flg4's
// low nibble is 0, 2 when it is 1 (assumed for any other).
LobLocator secure_file(const ByteView value, std::uint16_t flags, LobLocator locator)
{
    const std::uint8_t flags3 = value.u8(kFlags3At);
    const std::uint8_t flags4 = value.u8(kFlags4At);
    const std::size_t length_bytes = (flags3 & 3u) + 1;
    const std::size_t skipped = (flags4 & 0x0Fu) == 0 ? 1 : (flags4 & 0x0Fu) == 1 ? 2 : 0;
    if (skipped == 0 || kSecureLengthAt + length_bytes > value.size()) return locator;
    std::uint64_t length = 0;
    for (std::size_t i = 0; i < length_bytes; ++i) length = length << 8 | value.u8(kSecureLengthAt + i);
    locator.secure_file = true;
    locator.secure_length = length;
    const std::size_t data_at = kSecureLengthAt + length_bytes + skipped;
    if (!(flags & kSecureInline)) {
        locator.form = length == 0 ? LobForm::Empty : LobForm::SecureOutOfLine;
        locator.secure_flags2 = flags;
        locator.secure_flags3 = flags3;
        if (data_at <= value.size()) locator.secure_rest = value.sub(data_at, value.size() - data_at);
        return locator;
    }
    if (data_at > value.size() || length > value.size() - data_at) return locator;
    locator.form = length == 0 ? LobForm::Empty : LobForm::SecureInline;
    locator.data = value.sub(data_at, static_cast<std::size_t>(length));
    return locator;
}

}  // namespace

LobLocator read_lob_locator(ByteView value)
{
    LobLocator locator;
    if (value.size() < kHeadSize || std::size_t{value.u16be(kLengthAt)} + 2 != value.size() ||
        std::size_t{value.u16be(kBodySizeAt)} + kBodyBase != value.size())
        return locator;
    for (std::size_t i = 0; i < locator.lob_id.size(); ++i) locator.lob_id[i] = value.u8(kLobIdAt + i);
    const std::uint16_t flags = value.u16be(kFlags2At);
    if (flags & (kBasicOutOfLine | kBasicInline)) return basic_file(value, flags, locator);
    return secure_file(value, flags, locator);
}

namespace {

// An out-of-line SecureFile locator's list (all assumed): flg2 0x4000 (12c
// on) with flg3's high nibble 0x20, or neither (11g), puts the extents in
// the locator; 0x4000 with 0x40 names a LOB header block holding them.
constexpr std::uint16_t kSecureListFlag = 0x4000;
constexpr std::uint8_t kSecureListInLocator = 0x20;
constexpr std::uint8_t kSecureListInHeader = 0x40;
// The list: a count byte, then per extent a flag byte, a 4-byte address
// and a block count of 1 byte, or of 2 when the flag has kWideCount.
constexpr std::uint8_t kWideCount = 0x20;

// The count byte is the number of extents give or take one, in a sense
// not known (assumed): the list must also end with the locator.
bool extent_count_fits(std::size_t count_byte, std::size_t extents)
{
    return extents == count_byte || extents == count_byte + 1 || extents + 1 == count_byte;
}

// A SecureFile data block (all assumed): a block of type 0x06 (as the
// blocks inside LOB extents are seen), its LOB segment's data object at
// offset 24 as in every block of that type, the LobId at 32, then its data
// header (flags and a 20-byte hash), the data from offset 72 to its 4-byte
// tail.
constexpr std::uint8_t kSecureBlockType = 0x06;
constexpr std::size_t kSecureLobIdAt = 32;
constexpr std::uint32_t kSecureBlockHead = 72;
constexpr std::uint32_t kSecureBlockTail = 4;

}  // namespace

SecureList secure_list_form(const LobLocator& locator)
{
    const std::uint8_t list = locator.secure_flags3 & 0xF0u;
    if (!(locator.secure_flags2 & kSecureListFlag)) return list == 0 ? SecureList::InLocator : SecureList::Unknown;
    if (list == kSecureListInLocator) return SecureList::InLocator;
    if (list == kSecureListInHeader) return SecureList::HeaderBlock;
    return SecureList::Unknown;
}

std::optional<std::vector<SecureExtent>> secure_file_extents(const LobLocator& locator)
{
    const ByteView list = locator.secure_rest;
    if (locator.form != LobForm::SecureOutOfLine || secure_list_form(locator) != SecureList::InLocator ||
        list.size() < 1)
        return std::nullopt;
    std::vector<SecureExtent> extents;
    std::size_t at = 1;
    while (at < list.size()) {
        const std::uint8_t flag = list.u8(at);
        const std::size_t count_bytes = (flag & kWideCount) ? 2 : 1;
        if (at + 5 + count_bytes > list.size()) return std::nullopt;
        SecureExtent extent;
        extent.address = list.u32be(at + 1);
        extent.blocks = count_bytes == 2 ? list.u16be(at + 5) : list.u8(at + 5);
        extents.push_back(extent);
        at += 5 + count_bytes;
    }
    if (!extent_count_fits(list.u8(0), extents.size())) return std::nullopt;
    return extents;
}

std::optional<ByteView> read_secure_block(const BlockView& block, const std::array<std::uint8_t, 10>& lob_id,
                                          std::uint32_t data_object)
{
    const std::uint32_t bytes = secure_block_bytes(static_cast<std::uint32_t>(block.size()));
    if (bytes == 0 || block.u8(0) != kSecureBlockType) return std::nullopt;
    if (data_object != 0 && block.u32(block_format::kObjectIdAt) != data_object) return std::nullopt;
    for (std::size_t i = 0; i < lob_id.size(); ++i)
        if (block.u8(kSecureLobIdAt + i) != lob_id[i]) return std::nullopt;
    return block.bytes.sub(kSecureBlockHead, bytes);
}

std::uint32_t secure_block_bytes(std::uint32_t block_size)
{
    return block_size > kSecureBlockHead + kSecureBlockTail ? block_size - kSecureBlockHead - kSecureBlockTail : 0;
}

namespace {

// A LOB data block's head: the cache header's 20 bytes and the 36 of the
// LOB's own (likely); the block's last 4 bytes are its tail.
constexpr std::uint32_t kLobBlockHead = 56;
constexpr std::uint32_t kBlockTail = 4;

// The LOB's own head, from block offset 20 (assumed).
constexpr std::size_t kPageObjectAt = 20;
constexpr std::size_t kPageLobIdAt = 24;
constexpr std::size_t kPageNumberAt = 44;
// The types a LOB data block is seen with (assumed): 0x1B in freelist
// tablespaces, 0x28 in those managed by bitmaps.
constexpr std::uint8_t kLobDataTypes[] = {0x1B, 0x28};

}  // namespace

std::optional<LobPage> read_lob_page(const BlockView& block)
{
    const std::uint8_t type = block.u8(0);
    if (std::find(std::begin(kLobDataTypes), std::end(kLobDataTypes), type) == std::end(kLobDataTypes))
        return std::nullopt;
    const std::uint32_t bytes = lob_page_bytes(static_cast<std::uint32_t>(block.size()));
    if (bytes == 0) return std::nullopt;
    LobPage page;
    page.data_object = block.u32(kPageObjectAt);
    for (std::size_t i = 0; i < page.lob_id.size(); ++i) page.lob_id[i] = block.u8(kPageLobIdAt + i);
    page.page = block.u32(kPageNumberAt);
    page.scn = std::uint64_t{block.u16(block_format::kScnWrapAt)} << 32 | block.u32(block_format::kScnBaseAt);
    page.data = block.bytes.sub(kLobBlockHead, bytes);
    return page;
}

bool newer_lob_page(std::uint64_t candidate_scn, std::uint64_t other_scn) { return candidate_scn > other_scn; }

std::uint32_t lob_page_bytes(std::uint32_t block_size)
{
    return block_size > kLobBlockHead + kBlockTail ? block_size - kLobBlockHead - kBlockTail : 0;
}

std::optional<std::uint64_t> lob_length(const LobLocator& locator, std::uint32_t page_bytes)
{
    if (locator.last_page_bytes == 0 || locator.last_page_bytes > page_bytes) return std::nullopt;
    return std::uint64_t{locator.pages_before_last} * page_bytes + locator.last_page_bytes;
}

// Oracle's character set names give the bits of a character after the
// region: US7ASCII, WE8MSWIN1252 are single-byte; ZHS16GBK, AL32UTF8 are
// not, nor is UTF8 (assumed to hold for every name).
bool lob_text_in_utf16(std::string_view charset)
{
    if (charset == "UTF8") return true;
    std::size_t i = 0;
    while (i < charset.size() && std::isalpha(static_cast<unsigned char>(charset[i]))) ++i;
    std::size_t bits = 0;
    while (i < charset.size() && std::isdigit(static_cast<unsigned char>(charset[i])) && bits < 1000)
        bits = bits * 10 + static_cast<std::size_t>(charset[i++] - '0');
    return bits != 7 && bits != 8;
}
