#include "values/escaped_text.h"

#include "values/charsets.h"

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

void put_escaped_byte(std::string& out, unsigned char byte)
{
    out += "\\x";
    out += kHexDigits[byte >> 4];
    out += kHexDigits[byte & 0xF];
}

bool is_control_byte(unsigned char byte) { return byte < 0x20 || byte == 0x7F; }

// U+0080 to U+009F: C2 80 to C2 9F.
bool is_control_sequence(const unsigned char* p, std::size_t length) { return length == 2 && p[0] == 0xC2 && p[1] < 0xA0; }

// Walks the text by well-formed sequence; `plain` says whether a sequence
// (of `length` bytes, 0 for a byte that starts none) is kept as it is.
template <class Plain>
std::string escaped(std::string_view text, Plain plain)
{
    std::string out;
    out.reserve(text.size());
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = utf8_sequence(p + i, text.size() - i);
        if (length != 0 && plain(p + i, length)) {
            out.append(text.substr(i, length));
            i += length;
            continue;
        }
        const std::size_t bytes = length == 0 ? 1 : length;
        for (std::size_t k = 0; k < bytes; ++k) put_escaped_byte(out, p[i + k]);
        i += bytes;
    }
    return out;
}

bool is_shown(const unsigned char* p, std::size_t length)
{
    return !(length == 1 && is_control_byte(p[0])) && !is_control_sequence(p, length);
}

}  // namespace

std::string valid_utf8(std::string_view text)
{
    return escaped(text, [](const unsigned char*, std::size_t) { return true; });
}

std::string terminal_text(std::string_view text) { return escaped(text, is_shown); }

std::string terminal_lines(std::string_view text)
{
    std::string out;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        out += terminal_text(text.substr(start, end - start));
        if (end < text.size()) out += '\n';
        start = end + 1;
    }
    return out;
}

bool is_plain_text(std::string_view text)
{
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = utf8_sequence(p + i, text.size() - i);
        if (length == 0 || !is_shown(p + i, length)) return false;
        i += length;
    }
    return true;
}

std::string json_string(std::string_view text)
{
    static constexpr char kLowerDigits[] = "0123456789abcdef";
    std::string json = "\"";
    for (char c : valid_utf8(text)) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            json += '\\';
            json += c;
        } else if (byte < 0x20) {
            json += "\\u00";
            json += kLowerDigits[byte >> 4];
            json += kLowerDigits[byte & 0xF];
        } else {
            json += c;
        }
    }
    return json + "\"";
}

std::string hex_text(std::string_view bytes)
{
    std::string hex;
    hex.reserve(2 * bytes.size());
    for (char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        hex += kHexDigits[byte >> 4];
        hex += kHexDigits[byte & 0xF];
    }
    return hex;
}
