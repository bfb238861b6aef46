#include "values/charsets.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <iconv.h>


namespace {

// Bytes 0x80 to 0xFF of the single-byte Windows code pages, as the C
// library's converters give them; 0 where the code page has no character.
constexpr std::uint16_t kWindows1252[128] = {
    0x20AC, 0x0000, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152,
    0x0000, 0x017D, 0x0000, 0x0000, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122,
    0x0161, 0x203A, 0x0153, 0x0000, 0x017E, 0x0178, 0x00A0, 0x00A1, 0x00A2, 0x00A3, 0x00A4, 0x00A5, 0x00A6,
    0x00A7, 0x00A8, 0x00A9, 0x00AA, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x00AF, 0x00B0, 0x00B1, 0x00B2, 0x00B3,
    0x00B4, 0x00B5, 0x00B6, 0x00B7, 0x00B8, 0x00B9, 0x00BA, 0x00BB, 0x00BC, 0x00BD, 0x00BE, 0x00BF, 0x00C0,
    0x00C1, 0x00C2, 0x00C3, 0x00C4, 0x00C5, 0x00C6, 0x00C7, 0x00C8, 0x00C9, 0x00CA, 0x00CB, 0x00CC, 0x00CD,
    0x00CE, 0x00CF, 0x00D0, 0x00D1, 0x00D2, 0x00D3, 0x00D4, 0x00D5, 0x00D6, 0x00D7, 0x00D8, 0x00D9, 0x00DA,
    0x00DB, 0x00DC, 0x00DD, 0x00DE, 0x00DF, 0x00E0, 0x00E1, 0x00E2, 0x00E3, 0x00E4, 0x00E5, 0x00E6, 0x00E7,
    0x00E8, 0x00E9, 0x00EA, 0x00EB, 0x00EC, 0x00ED, 0x00EE, 0x00EF, 0x00F0, 0x00F1, 0x00F2, 0x00F3, 0x00F4,
    0x00F5, 0x00F6, 0x00F7, 0x00F8, 0x00F9, 0x00FA, 0x00FB, 0x00FC, 0x00FD, 0x00FE, 0x00FF,
};
constexpr std::uint16_t kWindows1250[128] = {
    0x20AC, 0x0000, 0x201A, 0x0000, 0x201E, 0x2026, 0x2020, 0x2021, 0x0000, 0x2030, 0x0160, 0x2039, 0x015A,
    0x0164, 0x017D, 0x0179, 0x0000, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x0000, 0x2122,
    0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A, 0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6,
    0x00A7, 0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B, 0x00B0, 0x00B1, 0x02DB, 0x0142,
    0x00B4, 0x00B5, 0x00B6, 0x00B7, 0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C, 0x0154,
    0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7, 0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD,
    0x00CE, 0x010E, 0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7, 0x0158, 0x016E, 0x00DA,
    0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF, 0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7,
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F, 0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4,
    0x0151, 0x00F6, 0x00F7, 0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,
};
constexpr std::uint16_t kWindows1251[128] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039, 0x040A,
    0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x0000, 0x2122,
    0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6,
    0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456,
    0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457, 0x0410,
    0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417, 0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D,
    0x041E, 0x041F, 0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427, 0x0428, 0x0429, 0x042A,
    0x042B, 0x042C, 0x042D, 0x042E, 0x042F, 0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F, 0x0440, 0x0441, 0x0442, 0x0443, 0x0444,
    0x0445, 0x0446, 0x0447, 0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,
};
// ISO 8859-1: every byte is the code point of the same number.
constexpr std::array<std::uint16_t, 128> kLatin1 = [] {
    std::array<std::uint16_t, 128> table{};
    for (std::size_t i = 0; i < table.size(); ++i) table[i] = static_cast<std::uint16_t>(0x80 + i);
    return table;
}();

// Where a set's bytes above 0x7F come from. Bytes below 0x80 are ASCII in
// every set here, multi-byte ones included.
struct CharsetSource {
    std::string_view name;
    Charset::Kind kind;
    const std::uint16_t* high;  // a single-byte set's table, or nullptr
    // A multi-byte set's converters in the C library; a code the first one
    // has no character for is taken from the second.
    const char* converters[2];
};

constexpr CharsetSource kCharsetSources[] = {
    {"AL32UTF8", Charset::Kind::Utf8, nullptr, {}},
    {"UTF8", Charset::Kind::Utf8OrCesu, nullptr, {}},
    {"US7ASCII", Charset::Kind::Table, nullptr, {}},
    {"WE8ISO8859P1", Charset::Kind::Table, kLatin1.data(), {}},
    {"WE8MSWIN1252", Charset::Kind::Table, kWindows1252, {}},
    {"EE8MSWIN1250", Charset::Kind::Table, kWindows1250, {}},
    {"CL8MSWIN1251", Charset::Kind::Table, kWindows1251, {}},
    {"ZHS16GBK", Charset::Kind::Table, nullptr, {"GBK", nullptr}},
    // JIS X 0208 mapped as the standard maps it, the vendor rows as Windows does.
    {"JA16SJIS", Charset::Kind::Table, nullptr, {"SJIS", "CP932"}},
    {"KO16MSWIN949", Charset::Kind::Table, nullptr, {"CP949", nullptr}},
    {"ZHT16MSWIN950", Charset::Kind::Table, nullptr, {"CP950", nullptr}},
};

bool same_name(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
        if (upper(a[i]) != upper(b[i])) return false;
    }
    return true;
}

const CharsetSource* find_source(std::string_view name)
{
    for (const CharsetSource& source : kCharsetSources)
        if (same_name(name, source.name)) return &source;
    return nullptr;
}

enum class Converted { Character, Incomplete, None };

// What one code of `length` bytes converts to through `cd` (to UTF-32BE):
// one character, the start of a longer code, or nothing.
Converted convert_code(iconv_t cd, const std::uint8_t* code, std::size_t length, std::uint32_t& character)
{
    char in[2];
    std::memcpy(in, code, length);
    char* in_at = in;
    std::size_t in_left = length;
    unsigned char out[8];
    char* out_at = reinterpret_cast<char*>(out);
    std::size_t out_left = sizeof out;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd, &in_at, &in_left, &out_at, &out_left) == static_cast<std::size_t>(-1))
        return errno == EINVAL ? Converted::Incomplete : Converted::None;
    if (in_left != 0 || out_left != sizeof out - 4) return Converted::None;
    character = std::uint32_t{out[0]} << 24 | std::uint32_t{out[1]} << 16 | std::uint32_t{out[2]} << 8 | out[3];
    return Converted::Character;
}

// Fills what the set has no character for yet from the converter `name`.
bool fill_from_converter(Charset& charset, const char* name)
{
    iconv_t cd = iconv_open("UTF-32BE", name);
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    for (unsigned first = 0x80; first <= 0xFF; ++first) {
        std::uint32_t& entry = charset.bytes[first];
        if (entry != Charset::kNoCharacter) continue;
        const std::uint8_t byte = static_cast<std::uint8_t>(first);
        std::uint32_t character = 0;
        const Converted converted = convert_code(cd, &byte, 1, character);
        // A character outside the BMP would take four bytes of UTF-8 for one.
        if (converted == Converted::Character && character < 0x10000) entry = character;
        if (converted == Converted::Incomplete) entry = Charset::kLeadByte;
    }
    for (unsigned first = 0x80; first <= 0xFF; ++first) {
        if (charset.bytes[first] != Charset::kLeadByte) continue;
        for (unsigned second = 0; second <= 0xFF; ++second) {
            std::uint32_t& entry = charset.pairs[(first - 0x80) * 256 + second];
            const std::uint8_t code[2] = {static_cast<std::uint8_t>(first), static_cast<std::uint8_t>(second)};
            std::uint32_t character = 0;
            if (entry == 0 && convert_code(cd, code, 2, character) == Converted::Character) entry = character;
        }
    }
    iconv_close(cd);
    return true;
}

// UTF-8 in which a supplementary character may also be written as the two
// surrogates of its UTF-16 form, three bytes each: pairs are joined, then
// the whole is checked, so a surrogate alone is declined like any byte that
// is no UTF-8.
char* convert_cesu(const unsigned char* p, const unsigned char* end, char* out)
{
    char* const start = out;
    while (p < end) {
        // ED A0-AF xx, then ED B0-BF xx: a high surrogate and a low one.
        if (end - p >= 6 && p[0] == 0xED && (p[1] & 0xF0) == 0xA0 && (p[2] & 0xC0) == 0x80 && p[3] == 0xED &&
            (p[4] & 0xF0) == 0xB0 && (p[5] & 0xC0) == 0x80) {
            const std::uint32_t high = (p[1] & 0x0Fu) << 6 | (p[2] & 0x3Fu);
            const std::uint32_t low = (p[4] & 0x0Fu) << 6 | (p[5] & 0x3Fu);
            out = put_utf8(out, 0x10000 + (high << 10) + low);
            p += 6;
        } else {
            *out++ = static_cast<char>(*p++);
        }
    }
    return is_utf8(start, static_cast<std::size_t>(out - start)) ? out : nullptr;
}

char* convert_table(const Charset& charset, const unsigned char* p, const unsigned char* end, char* out)
{
    while (p < end) {
        std::uint32_t code = charset.bytes[*p];
        if (code == Charset::kLeadByte) {
            if (end - p < 2) return nullptr;
            code = charset.pairs[(p[0] - 0x80u) * 256 + p[1]];
            if (code == 0) return nullptr;
            p += 2;
        } else if (code == Charset::kNoCharacter) {
            return nullptr;
        } else {
            ++p;
        }
        out = put_utf8(out, code);
    }
    return out;
}

}  // namespace

const char* const kCharsetNames = "AL32UTF8, UTF8, US7ASCII, WE8ISO8859P1, WE8MSWIN1252, EE8MSWIN1250, "
                                  "CL8MSWIN1251, ZHS16GBK, JA16SJIS, KO16MSWIN949, ZHT16MSWIN950";

bool is_charset_name(std::string_view name) { return find_source(name) != nullptr; }

std::string unknown_charset_message(std::string_view name)
{
    return "trevanix: --charset wants one of " + std::string(kCharsetNames) + ", not '" + std::string(name) + "'\n";
}

std::shared_ptr<const Charset> make_charset(std::string_view name, std::string& message)
{
    const CharsetSource* source = find_source(name);
    if (source == nullptr) {
        message = unknown_charset_message(name);
        return nullptr;
    }
    auto charset = std::make_shared<Charset>();
    charset->kind = source->kind;
    for (unsigned b = 0; b < 256; ++b) charset->bytes[b] = b < 0x80 ? b : Charset::kNoCharacter;
    if (source->high != nullptr)
        for (unsigned b = 0x80; b < 256; ++b)
            if (source->high[b - 0x80] != 0) charset->bytes[b] = source->high[b - 0x80];
    if (source->converters[0] != nullptr) {
        charset->pairs.assign(128 * 256, 0);
        for (const char* converter : source->converters) {
            if (converter == nullptr) continue;
            if (!fill_from_converter(*charset, converter)) {
                message = "trevanix: --charset " + std::string(source->name) +
                          ": the C library has no converter from " + converter + "\n";
                return nullptr;
            }
        }
    }
    return charset;
}

char* convert_to_utf8(const Charset& charset, ByteView value, char* out)
{
    if (value.empty()) return out;
    const unsigned char* p = value.data();
    const unsigned char* end = p + value.size();
    switch (charset.kind) {
    case Charset::Kind::Utf8:
        if (!is_utf8(reinterpret_cast<const char*>(p), value.size())) return nullptr;
        std::memcpy(out, p, value.size());
        return out + value.size();
    case Charset::Kind::Utf8OrCesu:
        return convert_cesu(p, end, out);
    case Charset::Kind::Table:
        break;
    }
    return convert_table(charset, p, end, out);
}

char* put_utf8(char* out, std::uint32_t code)
{
    if (code < 0x80) {
        *out++ = static_cast<char>(code);
    } else if (code < 0x800) {
        *out++ = static_cast<char>(0xC0 | code >> 6);
        *out++ = static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        *out++ = static_cast<char>(0xE0 | code >> 12);
        *out++ = static_cast<char>(0x80 | (code >> 6 & 0x3F));
        *out++ = static_cast<char>(0x80 | (code & 0x3F));
    } else {
        *out++ = static_cast<char>(0xF0 | code >> 18);
        *out++ = static_cast<char>(0x80 | (code >> 12 & 0x3F));
        *out++ = static_cast<char>(0x80 | (code >> 6 & 0x3F));
        *out++ = static_cast<char>(0x80 | (code & 0x3F));
    }
    return out;
}

std::size_t utf8_sequence(const unsigned char* p, std::size_t available)
{
    const unsigned char c = p[0];
    if (c < 0x80) return 1;
    // The bytes that follow the first one, and the bits it carries.
    std::size_t more = 0;
    if (c >= 0xC2 && c <= 0xDF)
        more = 1;
    else if (c >= 0xE0 && c <= 0xEF)
        more = 2;
    else if (c >= 0xF0 && c <= 0xF4)
        more = 3;
    else
        return 0;
    if (available <= more) return 0;
    std::uint32_t code = c & (0x3Fu >> more);
    for (std::size_t i = 1; i <= more; ++i) {
        if ((p[i] & 0xC0) != 0x80) return 0;
        code = code << 6 | (p[i] & 0x3F);
    }
    // No overlong forms, no surrogates, nothing past U+10FFFF.
    if ((more == 2 && code < 0x800) || (more == 3 && code < 0x10000) || (code >= 0xD800 && code <= 0xDFFF) ||
        code > 0x10FFFF)
        return 0;
    return more + 1;
}

bool is_utf8(const char* text, std::size_t length)
{
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    const unsigned char* end = p + length;
    while (p < end) {
        // Eight ASCII bytes at a time, the common case.
        if (end - p >= 8) {
            std::uint64_t word;
            std::memcpy(&word, p, 8);
            if ((word & 0x8080808080808080u) == 0) {
                p += 8;
                continue;
            }
        }
        const std::size_t n = utf8_sequence(p, static_cast<std::size_t>(end - p));
        if (n == 0) return false;
        p += n;
    }
    return true;
}
