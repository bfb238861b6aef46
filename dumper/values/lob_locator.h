// The locator a row holds for a LOB column (CLOB, NCLOB, BLOB): which form
// the value takes, its LobId, and the value itself when the row holds it.
// Every multi-byte field of a locator is big-endian whatever the file's
// byte order. What is known of the layout is partly assumed: each such
// fact is one constant or one function here, and a locator that does not
// fit them is Unreadable, never read as something else.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "format/byte_view.h"

enum class LobForm : std::uint8_t {
    Empty,            // a LOB of length 0
    BasicInline,      // a BasicFile value the row holds
    SecureInline,     // a SecureFile value the row holds
    BasicOutOfLine,   // a BasicFile value in its LOB segment's pages
    SecureOutOfLine,  // a SecureFile value in its LOB segment
    Unreadable,       // bytes that are no locator of a known form
};

struct LobLocator {
    LobForm form = LobForm::Unreadable;
    std::array<std::uint8_t, 10> lob_id{};  // the key of its pages in the LOB index and its data blocks
    ByteView data;                          // inline: the value's bytes
    // BasicFile out of line: its pages (before the last, and the bytes used
    // in the last), as the locator counts them.
    std::uint32_t pages_before_last = 0;
    std::uint16_t last_page_bytes = 0;
    // The 4-byte block addresses of its first pages, one a page from page
    // 0 on (at most kMostLocatorAddresses); the later pages' are found in
    // the LOB segment.
    ByteView addresses;
    // SecureFile: the value's length as the locator gives it.
    bool secure_file = false;
    std::uint64_t secure_length = 0;
    // SecureFile out of line: the locator's bytes after the length, where
    // its extent list lies (read by secure_file_extents()).
    ByteView secure_rest;
    std::uint16_t secure_flags2 = 0;
    std::uint8_t secure_flags3 = 0;

    std::size_t address_count() const { return addresses.size() / 4; }
    std::uint32_t address(std::size_t page) const { return addresses.u32be(4 * page); }
    // The pages the locator counts: the last one and those before it.
    std::uint64_t pages() const { return std::uint64_t{pages_before_last} + 1; }

    bool holds_value() const
    {
        return form == LobForm::Empty || form == LobForm::BasicInline || form == LobForm::SecureInline;
    }
};

// The most page addresses an out-of-line BasicFile locator holds (assumed).
constexpr std::size_t kMostLocatorAddresses = 12;

// The locator of a column value (not NULL).
LobLocator read_lob_locator(ByteView value);

// The bytes of data a BasicFile LOB data block of `block_size` bytes
// holds: all but its 56-byte head and 4-byte tail (likely).
std::uint32_t lob_page_bytes(std::uint32_t block_size);

// The length of an out-of-line BasicFile value as its locator gives it:
// full pages before the last, then the bytes used in the last (assumed
// split); none when the last page's bytes do not fit a page.
std::optional<std::uint64_t> lob_length(const LobLocator& locator, std::uint32_t page_bytes);

// One extent of a SecureFile value stored apart: `blocks` blocks from the
// block address `address` on.
struct SecureExtent {
    std::uint32_t address = 0;
    std::uint32_t blocks = 0;
};
// Where an out-of-line SecureFile locator keeps its extent list.
enum class SecureList : std::uint8_t {
    InLocator,    // the extents follow the length
    HeaderBlock,  // a LOB header block the locator names holds them (not read)
    Unknown,      // a form not known
};
// The form of an out-of-line SecureFile locator's extent list (assumed).
SecureList secure_list_form(const LobLocator& locator);
// The extents an out-of-line SecureFile locator lists in itself (assumed
// layout); none when its bytes do not fit that layout exactly. At most one
// extent every 6 bytes of the locator.
std::optional<std::vector<SecureExtent>> secure_file_extents(const LobLocator& locator);

// The data a block of a SecureFile value holds, when it is one of the
// value `lob_id` and, unless it is 0, of the LOB segment `data_object`
// (assumed layout: block type, where the LobId lies, how many bytes
// precede the data).
std::optional<ByteView> read_secure_block(const BlockView& block, const std::array<std::uint8_t, 10>& lob_id,
                                          std::uint32_t data_object);
// The bytes of data a SecureFile data block of `block_size` bytes holds.
std::uint32_t secure_block_bytes(std::uint32_t block_size);

// What a BasicFile LOB data block says of the page it holds.
struct LobPage {
    std::uint32_t data_object = 0;  // the LOB segment's
    std::array<std::uint8_t, 10> lob_id{};
    std::uint32_t page = 0;  // from 0
    std::uint64_t scn = 0;   // of its last change
    ByteView data;           // lob_page_bytes() of them
};

// The page a block holds, when it is a LOB data block (a block type of
// one, assumed); its multi-byte header fields in the block's byte order
// (assumed).
std::optional<LobPage> read_lob_page(const BlockView& block);

// Of two blocks holding the same page of a LOB, whether the one whose last
// change is `candidate_scn` is to be read rather than the other: the later
// version (assumed).
bool newer_lob_page(std::uint64_t candidate_scn, std::uint64_t other_scn);

// True when a CLOB (or, by the national character set, an NCLOB) of a
// database whose character set is `charset` is stored as 2-byte
// big-endian Unicode: when the set is of varying width, which every set
// but the single-byte ones is.
bool lob_text_in_utf16(std::string_view charset);
