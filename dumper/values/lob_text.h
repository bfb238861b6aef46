// The text of a CLOB or NCLOB converted to UTF-8 a piece at a time, as its
// pages are read: from 2-byte Unicode (big-endian, or little-endian where
// the LOB says so), a character's two halves (a surrogate pair) possibly
// in two pages, or from a single-byte character set.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

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

// Converts the `count` pieces `piece(i)` gives, in order, each into
// `scratch`, and hands each one's UTF-8 to `take` (which returns false to
// stop); false when they are no text of their form or `take` stopped.
template <class Pieces, class Take>
bool convert_lob_pieces(LobTextDecoder& decoder, std::vector<char>& scratch, std::size_t count, const Pieces& piece,
                        Take&& take)
{
    for (std::size_t i = 0; i < count; ++i) {
        const ByteView bytes = piece(i);
        scratch.resize(LobTextDecoder::kRoomPerByte * bytes.size() + LobTextDecoder::kRoomExtra);
        const char* end = decoder.convert(bytes, scratch.data());
        if (end == nullptr || !take(std::string_view(scratch.data(), static_cast<std::size_t>(end - scratch.data()))))
            return false;
    }
    return decoder.whole();
}

// Whether 2-byte Unicode text whose byte order nothing names (no LOB$ row)
// is little-endian, guessed from its first bytes: text that is mostly
// ASCII has its zero bytes second in each unit then (assumed).
bool guess_lob_text_little_endian(ByteView first_piece);
