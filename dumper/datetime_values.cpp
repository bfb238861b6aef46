// Timestamps and intervals. A timestamp's date is checked against the
// database's calendar, Julian before 15 October 1582 and Gregorian from then
// on, with no year 0 and BC years negative; bytes that are no moment of it,
// or no interval, are declined.
#include <algorithm>

#include "tz_regions.h"
#include "value_decoders.h"

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

bool is_date(const Moment& t)
{
    return t.year != 0 && t.year >= kFirstYear && t.year <= kLastYear && t.month >= 1 && t.month <= 12 &&
           t.day >= 1 && t.day <= days_in_month(t.year, t.month) &&
           !(t.year == 1582 && t.month == 10 && t.day > 4 && t.day < 15);
}

// The date and time of a value's first seven bytes, laid out as in a DATE;
// false when they are not a moment of the calendar.
bool read_moment(const ByteView& v, Moment& t)
{
    const int century = v.u8(0) - 100;
    const int year = v.u8(1) - 100;
    // Both halves of a BC year are negative.
    if (year < -99 || year > 99 || (century < 0 && year > 0) || (century > 0 && year < 0)) return false;
    t = {century * 100 + year, v.u8(2), v.u8(3), v.u8(4) - 1, v.u8(5) - 1, v.u8(6) - 1};
    return is_date(t) && t.hour >= 0 && t.hour <= 23 && t.minute >= 0 && t.minute <= 59 && t.second >= 0 &&
           t.second <= 59;
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
    return t.year >= kFirstYear && t.year <= kLastYear;
}

// "YYYY-MM-DD HH:MM:SS"; a BC year is its four digits after a minus sign.
char* put_moment(char* out, const Moment& t)
{
    if (t.year < 0) *out++ = '-';
    const int year = t.year < 0 ? -t.year : t.year;
    out = put_pair(out, year / 100);
    out = put_pair(out, year % 100);
    *out++ = '-';
    out = put_pair(out, t.month);
    *out++ = '-';
    out = put_pair(out, t.day);
    *out++ = ' ';
    out = put_pair(out, t.hour);
    *out++ = ':';
    out = put_pair(out, t.minute);
    *out++ = ':';
    return put_pair(out, t.second);
}

// ".fffffffff": always nine digits.
char* put_nanoseconds(char* out, std::uint32_t ns)
{
    *out++ = '.';
    out = put_pair(out, static_cast<int>(ns / 10000000));
    out = put_pair(out, static_cast<int>(ns / 100000 % 100));
    out = put_pair(out, static_cast<int>(ns / 1000 % 100));
    out = put_pair(out, static_cast<int>(ns / 10 % 100));
    *out++ = static_cast<char>('0' + ns % 10);
    return out;
}

// At least two digits.
char* put_two_or_more(char* out, std::int64_t magnitude)
{
    return magnitude < 100 ? put_pair(out, static_cast<int>(magnitude))
                           : OutputSink::put_decimal(out, static_cast<std::uint64_t>(magnitude));
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

std::string_view tz_region_name(unsigned id)
{
    const TzRegion* end = kTzRegions + kTzRegionCount;
    const TzRegion* found =
        std::lower_bound(kTzRegions, end, id, [](const TzRegion& region, unsigned key) { return region.id < key; });
    return found != end && found->id == id ? found->name : std::string_view();
}

// TIMESTAMP and TIMESTAMP WITH LOCAL TIME ZONE: a DATE's seven bytes, then
// the nanoseconds when there are any.
char* decode_timestamp_value(ByteView value, char* out, const DecodeOptions&)
{
    if (value.empty()) return out;
    if (value.size() != 7 && value.size() != 11) return nullptr;
    Moment t;
    if (!read_moment(value, t)) return nullptr;
    if (value.size() == 7) return put_moment(out, t);
    const std::uint32_t ns = value.u32be(7);
    return ns > kMaxNanoseconds ? nullptr : put_nanoseconds(put_moment(out, t), ns);
}

// TIMESTAMP WITH TIME ZONE: the moment in UTC, its nanoseconds, then the
// zone: an offset (hour + 20, minute + 60) or, with the top bit set, a
// region's number.
char* decode_timestamp_tz_value(ByteView value, char* out, const DecodeOptions&)
{
    if (value.empty()) return out;
    Moment t;
    const std::uint32_t ns = value.u32be(7);
    if (value.size() != 13 || !read_moment(value, t) || ns > kMaxNanoseconds) return nullptr;
    const std::uint8_t zone_high = value.u8(11);
    const std::uint8_t zone_low = value.u8(12);
    if (zone_high & 0x80) {
        // A region's offset depends on the date and its rules: the time stays UTC.
        const unsigned id = (zone_high & 0x7Fu) * 64u + zone_low / 4u;
        out = put_text(put_nanoseconds(put_moment(out, t), ns), " UTC (");
        const std::string_view name = tz_region_name(id);
        out = name.empty() ? OutputSink::put_decimal(put_text(out, "region id "), id) : put_text(out, name);
        *out++ = ')';
        return out;
    }
    const int hours = zone_high - 20;
    const int minutes = zone_low - kFieldBias;
    const int offset = hours * 60 + minutes;
    if (!within(minutes, 59) || common_sign({hours, minutes}) == 2 || offset < -12 * 60 || offset > 14 * 60 ||
        !add_minutes(t, offset))
        return nullptr;
    out = put_nanoseconds(put_moment(out, t), ns);
    *out++ = ' ';
    *out++ = offset < 0 ? '-' : '+';
    out = put_pair(out, hours < 0 ? -hours : hours);
    *out++ = ':';
    return put_pair(out, minutes < 0 ? -minutes : minutes);
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
