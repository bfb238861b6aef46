// The locator a row holds for a LOB column (CLOB, NCLOB, BLOB): which form
// the value takes, its LobId, and the value itself when the row holds it.
// Every multi-byte field of a locator is big-endian whatever the file's
// byte order. What is known of the layout is partly assumed: each such
// fact is one constant or one function here, and a locator that does not
// fit them is Unreadable, never read as something else.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

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

    bool holds_value() const
    {
        return form == LobForm::Empty || form == LobForm::BasicInline || form == LobForm::SecureInline;
    }
};

// The locator of a column value (not NULL).
LobLocator read_lob_locator(ByteView value);

// True when a CLOB (or, by the national character set, an NCLOB) of a
// database whose character set is `charset` is stored as 2-byte
// big-endian Unicode: when the set is of varying width, which every set
// but the single-byte ones is.
bool lob_text_in_utf16(std::string_view charset);
