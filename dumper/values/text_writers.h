// Writers of text into room the caller has made: decimal and hexadecimal
// digits, copies of bytes. The value decoders and the printers write
// through them; none checks room, each returns the end of what it wrote.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

// "00" "01" ... "99": two decimal digits for every value below 100.
extern const char kDigitPairs[201];

// A number from 0 to 99 as two decimal digits.
inline char* put_pair(char* out, int value)
{
    std::memcpy(out, kDigitPairs + 2 * value, 2);
    return out + 2;
}

inline char* put_text(char* out, std::string_view text)
{
    std::memcpy(out, text.data(), text.size());
    return out + text.size();
}

// The number of decimal digits of `value` (1 for 0).
int decimal_digits(std::uint64_t value);
// Writes the `digits` last digits of `value` ending at `end`.
void put_digits_before(char* end, std::uint64_t value, int digits);

char* put_long_decimal(char* out, std::uint64_t value);
// "%llu".
inline char* put_decimal(char* out, std::uint64_t value)
{
    // Counts, classes and slots below 100 are the common case.
    if (value < 10) {
        *out = static_cast<char>('0' + value);
        return out + 1;
    }
    if (value < 100) {
        std::memcpy(out, kDigitPairs + 2 * value, 2);
        return out + 2;
    }
    return put_long_decimal(out, value);
}
// "%lld".
inline char* put_signed(char* out, std::int64_t value)
{
    if (value < 0) {
        *out++ = '-';
        return put_decimal(out, 0 - static_cast<std::uint64_t>(value));
    }
    return put_decimal(out, static_cast<std::uint64_t>(value));
}

// "%.NX": `value` in upper-case hexadecimal, with at least `digits` digits
// (at most 8).
inline char* put_hex_number(char* out, std::uint32_t value, int digits = 1)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    int count = value == 0 ? 1 : (35 - std::countl_zero(value)) / 4;
    if (count < digits) count = digits < 8 ? digits : 8;
    for (int i = count - 1; i >= 0; --i) {
        out[i] = kDigits[value & 0xF];
        value >>= 4;
    }
    return out + count;
}

// Upper-case hexadecimal digits, two per byte, no spaces.
inline char* put_hex_digits(char* out, const std::uint8_t* data, std::size_t size)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    for (std::size_t i = 0; i < size; ++i) {
        *out++ = kDigits[data[i] >> 4];
        *out++ = kDigits[data[i] & 0xF];
    }
    return out;
}

// `size` bytes copied to `out`. Values are mostly short: copies of a fixed
// size, overlapping, cost less than a call to copy a few bytes.
inline char* put_bytes(char* out, const std::uint8_t* data, std::size_t size)
{
    if (size > 16) {
        std::memcpy(out, data, size);
    } else if (size >= 8) {
        std::memcpy(out, data, 8);
        std::memcpy(out + size - 8, data + size - 8, 8);
    } else if (size >= 4) {
        std::memcpy(out, data, 4);
        std::memcpy(out + size - 4, data + size - 4, 4);
    } else if (size > 0) {
        out[0] = static_cast<char>(data[0]);
        out[size / 2] = static_cast<char>(data[size / 2]);
        out[size - 1] = static_cast<char>(data[size - 1]);
    }
    return out + size;
}

struct Rowid;
// "FILE.BLOCK.SLOT".
char* put_rowid_parts(char* out, const Rowid& id);
// The rowid the database shows: 18 characters of A-Z a-z 0-9 + /, six of
// the data object number, three of the relative file, six of the block,
// three of the slot; in a bigfile tablespace nine of the block (likely)
// instead of the file's and the block's.
constexpr std::size_t kRowidTextSize = 18;
char* put_rowid_text(char* out, std::uint32_t data_object, const Rowid& id);
// The rows of a block share the text before the slot's three characters;
// this writes those three.
constexpr std::size_t kRowidSlotTextAt = 15;
char* put_rowid_slot_text(char* out, std::uint32_t slot);
