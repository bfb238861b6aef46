// The text of a CLOB or NCLOB converted to UTF-8 a piece at a time, as its
// pages are read: from 2-byte Unicode (big-endian, or little-endian where
// the LOB says so), a character's two halves (a surrogate pair) possibly
// in two pages, or from a single-byte character set.
#pragma once

#include <cstddef>
#include <cstdint>

#include "format/byte_view.h"
#include "values/charsets.h"

class LobTextDecoder {
public:
    // The most bytes convert() writes: this many for each byte given, and
    // kRoomExtra for a character begun in the piece before.
    static constexpr std::size_t kRoomPerByte = 3;
    static constexpr std::size_t kRoomExtra = 4;

    // `charset`: the single-byte set the text is in; nullptr for 2-byte
    // Unicode, `little_endian` or not.
    LobTextDecoder(const Charset* charset, bool little_endian) : charset_(charset), little_(little_endian) {}

    // Writes the UTF-8 of the next piece at `out`; nullptr when its bytes
    // are no text of their form.
    char* convert(ByteView piece, char* out);
    // Whether the text ends where a character does.
    bool whole() const { return !has_byte_ && high_ == 0; }

private:
    char* take_unit(std::uint32_t unit, char* out);

    const Charset* charset_;
    bool little_;
    bool has_byte_ = false;  // the first byte of a 2-byte unit, from the piece before
    std::uint8_t byte_ = 0;
    std::uint32_t high_ = 0;  // the first half of a surrogate pair, when one is pending
};
