// Binary values: BINARY_FLOAT and BINARY_DOUBLE, RAW and LONG RAW, ROWID and
// UROWID, BOOLEAN.
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>

#include "format/rowid.h"
#include "values/value_decoders.h"

namespace {

// Binary floats are stored so that their bytes sort as the numbers do: a
// positive one with its sign bit set, a negative one with every bit inverted.
template <typename Bits>
Bits ieee_bits(Bits stored)
{
    constexpr Bits kSignBit = Bits{1} << (8 * sizeof(Bits) - 1);
    return (stored & kSignBit) ? static_cast<Bits>(stored ^ kSignBit) : static_cast<Bits>(~stored);
}

// The fewest significant digits that read back as `value`: in plain notation
// when the decimal exponent is from -4 to 15 ("0.0001", "1000000000000000"),
// otherwise as d.ddde+XX ("1e-05", "1e+16", "3.4028235e+38").
template <typename Float>
char* put_binary_float(char* out, Float value)
{
    if (std::isnan(value)) return put_text(out, "Nan");
    if (std::isinf(value)) return put_text(out, value < 0 ? "-Inf" : "Inf");
    if (value == 0) return put_text(out, std::signbit(value) ? "-0" : "0");
    // The shortest form, [-]d[.ddd]e(+|-)XX[X], is written in place, then
    // laid out again when the notation is to be plain.
    char* end = std::to_chars(out, out + kBinaryFloatRoom, value, std::chars_format::scientific).ptr;
    const char* e = end[-4] == 'e' ? end - 4 : end - 5;
    int exponent = (e[2] - '0') * 10 + (e[3] - '0');
    if (e + 4 < end) exponent = exponent * 10 + (e[4] - '0');
    if (e[1] == '-') exponent = -exponent;
    if (exponent < -4 || exponent > 15) return end;

    char* first = out + (*out == '-');  // the first digit
    // The significant digits together, the point taken out.
    int count = 1;
    if (first[1] == '.') {
        count = static_cast<int>(e - first) - 1;
        std::memmove(first + 1, first + 2, static_cast<std::size_t>(count - 1));
    }
    if (exponent < 0) {  // "0." and the zeros after it first
        const int shift = 1 - exponent;
        std::memmove(first + shift, first, static_cast<std::size_t>(count));
        std::memset(first, '0', static_cast<std::size_t>(shift));
        first[1] = '.';
        return first + shift + count;
    }
    const int whole = exponent + 1;
    if (count <= whole) {
        std::memset(first + count, '0', static_cast<std::size_t>(whole - count));
        return first + whole;
    }
    std::memmove(first + whole + 1, first + whole, static_cast<std::size_t>(count - whole));
    first[whole] = '.';
    return first + count + 1;
}

// A double that is a whole number of hundredths below 10^13, a price or a
// count, as the decimal of its hundredths; nullptr for any other. No shorter
// text reads back as it (doubles there lie less than 0.002 apart), so this
// is the text the general conversion would give, found more quickly.
char* put_hundredths(char* out, double value)
{
    if (!(value > -1e13 && value < 1e13)) return nullptr;
    const auto hundredths = static_cast<std::int64_t>(value * 100.0 + (value < 0 ? -0.5 : 0.5));
    if (static_cast<double>(hundredths) / 100.0 != value) return nullptr;
    if (hundredths < 0) *out++ = '-';
    const auto magnitude = static_cast<std::uint64_t>(hundredths < 0 ? -hundredths : hundredths);
    out = put_decimal(out, magnitude / 100);
    const auto cents = static_cast<int>(magnitude % 100);
    if (cents == 0) return out;
    *out++ = '.';
    out = put_pair(out, cents);
    return cents % 10 == 0 ? out - 1 : out;
}

}  // namespace

char* decode_binary_float_value(ByteView value, char* out, const DecodeOptions&)
{
    if (value.empty()) return out;
    if (value.size() != 4) return nullptr;
    return put_binary_float(out, std::bit_cast<float>(ieee_bits(value.u32be(0))));
}

char* decode_binary_double_value(ByteView value, char* out, const DecodeOptions&)
{
    if (value.empty()) return out;
    if (value.size() != 8) return nullptr;
    const std::uint64_t stored = std::uint64_t{value.u32be(0)} << 32 | value.u32be(4);
    const auto number = std::bit_cast<double>(ieee_bits(stored));
    char* end = number != 0 ? put_hundredths(out, number) : nullptr;
    return end != nullptr ? end : put_binary_float(out, number);
}

char* decode_raw_value(ByteView value, char* out, const DecodeOptions&)
{
    return put_hex_digits(out, value.data(), value.size());
}

// ROWID: the data object number, the file number (top 10 bits) and block
// (low 22 bits) in four bytes, the row in two.
char* decode_rowid_value(ByteView value, char* out, const DecodeOptions&)
{
    if (value.empty()) return out;
    if (value.size() != 10) return nullptr;
    std::uint8_t id[block_format::kRowidSize];
    value.copy(4, id);
    return put_rowid_text(out, value.u32be(0), read_rowid(id));
}

// UROWID: only the physical form, 01 then the object (4 bytes), file (2),
// block (4) and row (2); logical and foreign rowids are declined.
char* decode_urowid_value(ByteView value, char* out, const DecodeOptions&)
{
    if (value.empty()) return out;
    if (value.size() != 13 || value.u8(0) != 0x01) return nullptr;
    return put_rowid_text(out, value.u32be(1), Rowid{value.u16be(5), value.u32be(7), value.u16be(11)});
}

char* decode_boolean_value(ByteView value, char* out, const DecodeOptions&)
{
    if (value.empty()) return out;
    if (value.size() != 1 || value.u8(0) > 1) return nullptr;
    return put_text(out, value.u8(0) ? "TRUE" : "FALSE");
}
