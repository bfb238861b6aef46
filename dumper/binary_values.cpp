// Binary values: BINARY_FLOAT and BINARY_DOUBLE, RAW and LONG RAW, ROWID and
// UROWID, BOOLEAN.
#include <bit>
#include <charconv>
#include <cmath>

#include "export_fields.h"
#include "value_decoders.h"

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
    // The shortest form, as [-]d[.ddd]e(+|-)XX[X].
    char scientific[32];
    const char* end =
        std::to_chars(scientific, scientific + sizeof scientific, value, std::chars_format::scientific).ptr;
    const char* e = static_cast<const char*>(std::memchr(scientific, 'e', static_cast<std::size_t>(end - scientific)));
    int exponent = 0;
    for (const char* p = e + 2; p < end; ++p) exponent = exponent * 10 + (*p - '0');
    if (e[1] == '-') exponent = -exponent;
    if (exponent < -4 || exponent > 15)
        return put_text(out, std::string_view(scientific, static_cast<std::size_t>(end - scientific)));

    const char* p = scientific;
    if (*p == '-') *out++ = *p++;
    char digits[24];
    std::size_t count = 0;
    for (; p < e; ++p)
        if (*p != '.') digits[count++] = *p;
    if (exponent < 0) {
        out = put_text(out, "0.");
        for (int k = exponent + 1; k < 0; ++k) *out++ = '0';
        return put_text(out, std::string_view(digits, count));
    }
    const auto whole = static_cast<std::size_t>(exponent) + 1;
    if (count <= whole) {
        out = put_text(out, std::string_view(digits, count));
        for (std::size_t k = count; k < whole; ++k) *out++ = '0';
        return out;
    }
    out = put_text(out, std::string_view(digits, whole));
    *out++ = '.';
    return put_text(out, std::string_view(digits + whole, count - whole));
}

// The digits of rowids' text: six bits each, most significant first.
constexpr char kRowidDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

char* put_rowid_digits(char* out, std::uint64_t value, int count)
{
    for (int k = count - 1; k >= 0; --k) {
        out[k] = kRowidDigits[value & 63];
        value >>= 6;
    }
    return out + count;
}

// The 18 characters of a rowid: object, file, block and row.
char* put_rowid_text(char* out, std::uint32_t object, std::uint32_t file, std::uint32_t block, std::uint32_t row)
{
    out = put_rowid_digits(out, object, 6);
    out = put_rowid_digits(out, file, 3);
    out = put_rowid_digits(out, block, 6);
    return put_rowid_digits(out, row, 3);
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
    return put_binary_float(out, std::bit_cast<double>(ieee_bits(stored)));
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
    const std::uint32_t address = value.u32be(4);
    return put_rowid_text(out, value.u32be(0), address >> 22, address & 0x3FFFFF, value.u16be(8));
}

// UROWID: only the physical form, 01 then the object (4 bytes), file (2),
// block (4) and row (2); logical and foreign rowids are declined.
char* decode_urowid_value(ByteView value, char* out, const DecodeOptions&)
{
    if (value.empty()) return out;
    if (value.size() != 13 || value.u8(0) != 0x01) return nullptr;
    return put_rowid_text(out, value.u32be(1), value.u16be(5), value.u32be(7), value.u16be(11));
}

char* decode_boolean_value(ByteView value, char* out, const DecodeOptions&)
{
    if (value.empty()) return out;
    if (value.size() != 1 || value.u8(0) > 1) return nullptr;
    return put_text(out, value.u8(0) ? "TRUE" : "FALSE");
}
