#include "values/lob_text.h"

char* LobTextDecoder::take_unit(std::uint32_t unit, char* out)
{
    const bool high = unit >= 0xD800 && unit <= 0xDBFF;
    const bool low = unit >= 0xDC00 && unit <= 0xDFFF;
    if (high_ != 0) {
        if (!low) return nullptr;
        const std::uint32_t code = 0x10000 + ((high_ - 0xD800) << 10) + (unit - 0xDC00);
        high_ = 0;
        return put_utf8(out, code);
    }
    if (low) return nullptr;
    if (high) {
        high_ = unit;
        return out;
    }
    return put_utf8(out, unit);
}

char* LobTextDecoder::convert(ByteView piece, char* out)
{
    if (charset_ != nullptr) return convert_to_utf8(*charset_, piece, out);
    std::size_t at = 0;
    if (has_byte_ && piece.size() > 0) {
        const std::uint32_t first = byte_, second = piece.u8(0);
        has_byte_ = false;
        at = 1;
        out = take_unit(little_ ? (second << 8 | first) : (first << 8 | second), out);
        if (out == nullptr) return nullptr;
    }
    for (; at + 2 <= piece.size(); at += 2) {
        out = take_unit(little_ ? piece.u16le(at) : piece.u16be(at), out);
        if (out == nullptr) return nullptr;
    }
    if (at < piece.size()) {
        has_byte_ = true;
        byte_ = piece.u8(at);
    }
    return out;
}

bool guess_lob_text_little_endian(ByteView first_piece)
{
    std::size_t zero_first = 0, zero_second = 0;
    for (std::size_t at = 0; at + 2 <= first_piece.size(); at += 2) {
        zero_first += first_piece.u8(at) == 0;
        zero_second += first_piece.u8(at + 1) == 0;
    }
    return zero_second > zero_first;
}
