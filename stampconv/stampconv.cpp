#include "stampconv.h"

#include <cstdio>

std::int32_t stamp_read_number(const char* text)
{
    const char* p = text;
    while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\v' || *p == '\f' || *p == '\r') ++p;
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

int stampconv_main(int argc, const char* const* argv, std::string& out)
{
    if (argc < 2) {
        std::string usage = std::string(argc > 0 && argv[0] ? argv[0] : "") + " timestamp\n";
        out += usage;
        return static_cast<int>(usage.size());
    }
    out += format_timestamp(static_cast<std::uint32_t>(stamp_read_number(argv[1])));
    return 0;
}
