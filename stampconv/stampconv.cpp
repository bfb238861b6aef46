#include "stampconv.h"

#include <cstdio>

namespace {

constexpr int kExitNoNumber = 2;

// Past the white space atol skips.
const char* after_space(const char* p)
{
    while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\v' || *p == '\f' || *p == '\r') ++p;
    return p;
}

// The argument as a message shows it: quoted, with bytes that are not
// printable ASCII as \xNN, so that no argument can drive the terminal.
std::string quoted(const char* text)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string shown = "'";
    for (const char* p = text; *p != '\0'; ++p) {
        const auto byte = static_cast<unsigned char>(*p);
        if (byte >= 0x20 && byte < 0x7F && byte != '\'' && byte != '\\') {
            shown += static_cast<char>(byte);
        } else {
            shown += "\\x";
            shown += kDigits[byte >> 4];
            shown += kDigits[byte & 15];
        }
    }
    return shown + "'";
}

}  // namespace

bool holds_stamp_number(const char* text)
{
    const char* p = after_space(text);
    if (*p == '+' || *p == '-') ++p;
    return *p >= '0' && *p <= '9';
}

std::int32_t stamp_read_number(const char* text)
{
    const char* p = after_space(text);
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    std::uint32_t value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) value = value * 10u + static_cast<std::uint32_t>(*p - '0');
    if (negative) value = 0u - value;
    return static_cast<std::int32_t>(value);
}

std::string format_timestamp(std::uint32_t t)
{
    unsigned second = t % 60;
    t /= 60;
    unsigned minute = t % 60;
    t /= 60;
    unsigned hour = t % 24;
    t /= 24;
    unsigned day = t % 31 + 1;  // every month of the encoding has 31 days
    t /= 31;
    unsigned month = t % 12 + 1;
    t /= 12;
    unsigned year = t + 1988;
    char line[64];
    int n = std::snprintf(line, sizeof line, "%.2u/%.2u/%.4u %.2u:%.2u:%.2u\n", day, month, year,
                          hour, minute, second);
    return std::string(line, static_cast<std::size_t>(n));
}

int stampconv_main(int argc, const char* const* argv, std::string& out, std::string& err)
{
    if (argc < 2) {
        std::string usage = std::string(argc > 0 && argv[0] ? argv[0] : "") + " timestamp\n";
        out += usage;
        return static_cast<int>(usage.size());
    }
    // A word without a digit would read as 0 and print the first second of
    // 1988 as if it were a date the number gave.
    if (!holds_stamp_number(argv[1])) {
        err += "stampconv: " + quoted(argv[1]) +
               " is not a number: stampconv takes a packed timestamp in decimal digits, as in stampconv 446419845\n";
        return kExitNoNumber;
    }
    out += format_timestamp(static_cast<std::uint32_t>(stamp_read_number(argv[1])));
    return 0;
}
