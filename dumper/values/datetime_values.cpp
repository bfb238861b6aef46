// Timestamps and intervals. A timestamp's date is checked against the
// database's calendar, Julian before 15 October 1582 and Gregorian from then
// on, with no year 0 and BC years negative; bytes that are no moment of it,
// or no interval, are declined.
#include <algorithm>

#include "values/tz_regions.h"
#include "values/value_decoders.h"

namespace {

constexpr int kFirstYear = -4712;
constexpr int kLastYear = 9999;
constexpr std::uint32_t kMaxNanoseconds = 999999999;
constexpr std::int64_t kMaxLeadingField = 999999999;  // nine digits, the widest precision
constexpr std::int64_t kIntervalBias = 0x80000000;
constexpr int kFieldBias = 60;

struct Moment {
    int year, month, day, hour, minute, second;
};

// BC years are leap years as the database counts them: every fourth one
// from 4712 BC, whose stored numbers divide by four.
bool is_leap_year(int year)
{
    if (year < 1582) return year % 4 == 0;
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int days_in_month(int year, int month)
{
    static constexpr std::uint8_t kDays[13] = {0, 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && is_leap_year(year) ? 29 : kDays[month];
}

// 5 to 14 October 1582 never were: 15 October followed 4 October.
bool is_gregorian_start(const Moment& t) { return t.year == 1582 && t.month == 10 && t.day == 15; }
bool is_julian_end(const Moment& t) { return t.year == 1582 && t.month == 10 && t.day == 4; }

bool in_range(int value, int low, int high)
{
    return static_cast<unsigned>(value - low) <= static_cast<unsigned>(high - low);
}

bool is_date(const Moment& t)
{
    if (!in_range(t.month, 1, 12) || !in_range(t.day, 1, 31)) return false;
    if (t.day > 28 && t.day > days_in_month(t.year, t.month)) return false;
    // Most dates are modern ones, which need no more checks.
    if (in_range(t.year, 1583, kLastYear)) return true;
    return t.year != 0 && in_range(t.year, kFirstYear, kLastYear) &&
           !(t.year == 1582 && t.month == 10 && t.day > 4 && t.day < 15);
}

// The date and time of a value's first seven bytes, laid out as in a DATE;
// false when they are not a moment of the calendar.
bool read_moment(const std::uint8_t* b, Moment& t)
{
    const int century = b[0] - 100;
    const int year = b[1] - 100;
    // Both halves of a BC year are negative.
    if (!in_range(year, -99, 99) || (century < 0 && year > 0) || (century > 0 && year < 0)) return false;
    t = {century * 100 + year, b[2], b[3], b[4] - 1, b[5] - 1, b[6] - 1};
    return is_date(t) && in_range(t.hour, 0, 23) && in_range(t.minute, 0, 59) && in_range(t.second, 0, 59);
}

void next_day(Moment& t)
{
    if (is_julian_end(t)) {
        t.day = 15;
    } else if (t.day < days_in_month(t.year, t.month)) {
        ++t.day;
    } else if (t.month < 12) {
        t.day = 1;
        ++t.month;
    } else {
        t.day = t.month = 1;
        t.year = t.year == -1 ? 1 : t.year + 1;
    }
}

void previous_day(Moment& t)
{
    if (is_gregorian_start(t)) {
        t.day = 4;
    } else if (t.day > 1) {
        --t.day;
    } else {
        if (t.month > 1) {
            --t.month;
        } else {
            t.month = 12;
            t.year = t.year == 1 ? -1 : t.year - 1;
        }
        t.day = days_in_month(t.year, t.month);
    }
}

// Moves the moment by less than a day either way, carrying into the date;
// false when the date leaves the calendar's years.
bool add_minutes(Moment& t, int minutes)
{
    int in_day = t.hour * 60 + t.minute + minutes;
    if (in_day < 0) {
        in_day += 24 * 60;
        previous_day(t);
    } else if (in_day >= 24 * 60) {
        in_day -= 24 * 60;
        next_day(t);
    }
    t.hour = in_day / 60;
    t.minute = in_day % 60;
    return in_range(t.year, kFirstYear, kLastYear);
}

// "YYYY-MM-DD HH:MM:SS"; a BC year is its four digits after a minus sign.
char* put_moment(char* out, const Moment& t)
{
    if (t.year < 0) *out++ = '-';
    const int year = t.year < 0 ? -t.year : t.year;
    out = put_pair(out, year / 100);
    out = put_pair(out, year % 100);
    out[0] = '-';
    put_pair(out + 1, t.month);
    out[3] = '-';
    put_pair(out + 4, t.day);
    out[6] = ' ';
    put_pair(out + 7, t.hour);
    out[9] = ':';
    put_pair(out + 10, t.minute);
    out[12] = ':';
    return put_pair(out + 13, t.second);
}

// ".fffffffff": always nine digits.
char* put_nanoseconds(char* out, std::uint32_t ns)
{
    const std::uint32_t high = ns / 10000;  // five digits
    const std::uint32_t low = ns % 10000;
    out[0] = '.';
    out[1] = static_cast<char>('0' + high / 10000);
    put_pair(out + 2, static_cast<int>(high / 100 % 100));
    put_pair(out + 4, static_cast<int>(high % 100));
    put_pair(out + 6, static_cast<int>(low / 100));
    return put_pair(out + 8, static_cast<int>(low % 100));
}

std::uint32_t u32be(const std::uint8_t* b)
{
    return std::uint32_t{b[0]} << 24 | std::uint32_t{b[1]} << 16 | std::uint32_t{b[2]} << 8 | b[3];
}

// At least two digits.
char* put_two_or_more(char* out, std::int64_t magnitude)
{
    return magnitude < 100 ? put_pair(out, static_cast<int>(magnitude))
                           : put_decimal(out, static_cast<std::uint64_t>(magnitude));
}

// The sign of an interval's fields: -1, 0 or 1 when they agree (zeros agree
// with either), 2 when some are negative and others positive.
int common_sign(std::initializer_list<std::int64_t> fields)
{
    const bool negative = std::any_of(fields.begin(), fields.end(), [](std::int64_t f) { return f < 0; });
    const bool positive = std::any_of(fields.begin(), fields.end(), [](std::int64_t f) { return f > 0; });
    return negative && positive ? 2 : negative ? -1 : positive;
}

bool within(std::int64_t value, std::int64_t most) { return value >= -most && value <= most; }
std::int64_t magnitude(std::int64_t value) { return value < 0 ? -value : value; }

}  // namespace

// TIMESTAMP and TIMESTAMP WITH LOCAL TIME ZONE: a DATE's seven bytes, then
// the nanoseconds when there are any.
char* decode_timestamp_value(ByteView value, char* out, const DecodeOptions&)
{
    if (value.empty()) return out;
    if (value.size() != 7 && value.size() != 11) return nullptr;
    std::uint8_t b[11];
    value.copy(0, b);
    Moment t;
    if (!read_moment(b, t)) return nullptr;
    if (value.size() == 7) return put_moment(out, t);
    const std::uint32_t ns = u32be(b + 7);
    return ns > kMaxNanoseconds ? nullptr : put_nanoseconds(put_moment(out, t), ns);
}

// TIMESTAMP WITH TIME ZONE: the moment in UTC, its nanoseconds, then the
// zone: an offset (hour + 20, minute + 60) or, with the top bit set, a
// region's number.
char* decode_timestamp_tz_value(ByteView value, char* out, const DecodeOptions&)
{
    if (value.empty()) return out;
    std::uint8_t b[13];
    value.copy(0, b);
    Moment t;
    const std::uint32_t ns = u32be(b + 7);
    if (value.size() != 13 || !read_moment(b, t) || ns > kMaxNanoseconds) return nullptr;
    if (b[11] & 0x80) {
        // A region's offset depends on the date and its rules: the time stays UTC.
        const unsigned id = (b[11] & 0x7Fu) * 64u + b[12] / 4u;
        out = put_text(put_nanoseconds(put_moment(out, t), ns), " UTC (");
        const std::string_view name = tz_region_name(id);
        out = name.empty() ? put_decimal(put_text(out, "region id "), id) : put_text(out, name);
        *out++ = ')';
        return out;
    }
    const int hours = b[11] - 20;
    const int minutes = b[12] - kFieldBias;
    const int offset = hours * 60 + minutes;
    if (!in_range(minutes, -59, 59) || (hours > 0 && minutes < 0) || (hours < 0 && minutes > 0) ||
        !in_range(offset, -12 * 60, 14 * 60) || (offset != 0 && !add_minutes(t, offset)))
        return nullptr;
    out = put_nanoseconds(put_moment(out, t), ns);
    out[0] = ' ';
    out[1] = offset < 0 ? '-' : '+';
    put_pair(out + 2, hours < 0 ? -hours : hours);
    out[4] = ':';
    return put_pair(out + 5, minutes < 0 ? -minutes : minutes);
}

// INTERVAL YEAR TO MONTH: years + 2^31 in four bytes, months + 60.
char* decode_interval_ym_value(ByteView value, char* out, const DecodeOptions&)
{
    if (value.empty()) return out;
    const std::int64_t years = std::int64_t{value.u32be(0)} - kIntervalBias;
    const int months = value.u8(4) - kFieldBias;
    const int sign = common_sign({years, months});
    if (value.size() != 5 || !within(years, kMaxLeadingField) || !within(months, 11) || sign == 2) return nullptr;
    *out++ = sign < 0 ? '-' : '+';
    out = put_two_or_more(out, magnitude(years));
    *out++ = '-';
    return put_pair(out, months < 0 ? -months : months);
}

// INTERVAL DAY TO SECOND: days + 2^31 in four bytes, hours, minutes and
// seconds + 60, nanoseconds + 2^31 in four bytes.
char* decode_interval_ds_value(ByteView value, char* out, const DecodeOptions&)
{
    if (value.empty()) return out;
    const std::int64_t days = std::int64_t{value.u32be(0)} - kIntervalBias;
    const int hours = value.u8(4) - kFieldBias;
    const int minutes = value.u8(5) - kFieldBias;
    const int seconds = value.u8(6) - kFieldBias;
    const std::int64_t ns = std::int64_t{value.u32be(7)} - kIntervalBias;
    const int sign = common_sign({days, hours, minutes, seconds, ns});
    if (value.size() != 11 || !within(days, kMaxLeadingField) || !within(hours, 23) || !within(minutes, 59) ||
        !within(seconds, 59) || !within(ns, kMaxNanoseconds) || sign == 2)
        return nullptr;
    *out++ = sign < 0 ? '-' : '+';
    out = put_two_or_more(out, magnitude(days));
    *out++ = ' ';
    out = put_pair(out, static_cast<int>(magnitude(hours)));
    *out++ = ':';
    out = put_pair(out, static_cast<int>(magnitude(minutes)));
    *out++ = ':';
    out = put_pair(out, static_cast<int>(magnitude(seconds)));
    return put_nanoseconds(out, static_cast<std::uint32_t>(magnitude(ns)));
}
