#include "infer/value_checks.h"

#include <cstdint>

#include "format/rowid.h"
#include "values/charsets.h"
#include "values/text_writers.h"
#include "values/tz_regions.h"

namespace infer {

namespace {

bool in_range(std::int64_t value, std::int64_t low, std::int64_t high) { return value >= low && value <= high; }
std::int64_t magnitude(std::int64_t value) { return value < 0 ? -value : value; }

// -1, 0 or 1 when the fields' signs agree (zeros agree with either), 2 when not.
int common_sign(std::initializer_list<std::int64_t> fields)
{
    bool negative = false;
    bool positive = false;
    for (std::int64_t field : fields) {
        negative = negative || field < 0;
        positive = positive || field > 0;
    }
    return negative && positive ? 2 : negative ? -1 : positive;
}

// The digits a number of nanoseconds needs after the point: 500000000 one, 0 none.
int fraction_digits(std::uint32_t nanoseconds)
{
    if (nanoseconds == 0) return 0;
    int digits = 9;
    while (nanoseconds % 10 == 0) {
        nanoseconds /= 10;
        --digits;
    }
    return digits;
}

// ---------------------------------------------------------------------------
// NUMBER.

constexpr std::size_t kMaxNumberBytes = 21;
constexpr std::size_t kMaxMantissaBytes = 20;
constexpr std::uint8_t kNumberZero = 0x80;
constexpr std::uint8_t kNegativeTerminator = 0x66;
constexpr int kPositiveExponentBias = 0xC1;
constexpr int kNegativeExponentBias = 0x3E;

// Assumed, from how the database writes a NUMBER (the decoder reads more):
// zero is 0x80 alone; a mantissa has neither a leading nor a trailing zero
// digit; a negative number ends in its terminator 0x66 unless it has all
// 20 mantissa bytes. Any exponent byte is one the database can write.
bool is_canonical_mantissa(int first_digit, int last_digit) { return first_digit != 0 && last_digit != 0; }

// Where a NUMBER's mantissa bytes end: the terminator of a negative one is
// left out; 0 when a negative one lacks it and is not of full length.
std::size_t mantissa_end(ByteView value, bool negative)
{
    const std::size_t size = value.size();
    if (!negative) return size;
    if (value.u8(size - 1) == kNegativeTerminator) return size - 1;
    return size - 1 == kMaxMantissaBytes ? size : 0;
}

// A mantissa byte's base-100 digit, or -1 when the byte is none.
int mantissa_digit(std::uint8_t byte, bool negative)
{
    const int digit = negative ? 101 - byte : byte - 1;
    return in_range(digit, 0, 99) ? digit : -1;
}

// The decimal digits of a number whose base-100 digits run from `first`
// (at the power `exponent` of 100) to `last`, `count` of them.
NumberDigits decimal_digits_of(int first, int last, int count, int exponent)
{
    NumberDigits digits;
    if (exponent >= 0) digits.integer = 2 * (exponent + 1) - (first < 10 ? 1 : 0);
    const int last_power = exponent - (count - 1);
    if (last_power < 0) digits.fraction = -2 * last_power - (last % 10 == 0 ? 1 : 0);
    return digits;
}

// ---------------------------------------------------------------------------
// Dates and times.

constexpr int kCenturyBias = 100;
constexpr int kClockBias = 1;
constexpr std::uint32_t kMaxNanoseconds = 999999999;
constexpr int kTimestampBytes = 11;
constexpr int kTimestampTzBytes = 13;
constexpr std::uint8_t kRegionFlag = 0x80;
constexpr int kOffsetHourBias = 20;
constexpr int kOffsetMinuteBias = 60;
// The offsets a zone can have, as the decoder accepts them.
constexpr int kFirstOffsetMinutes = -12 * 60;
constexpr int kLastOffsetMinutes = 14 * 60;

// The database's calendar: Julian before 15 October 1582, Gregorian from
// then, no year 0; BC years are negative and leap years when their stored
// numbers divide by four.
bool is_leap_year(int year)
{
    if (year < 1582) return year % 4 == 0;
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int days_in_month(int year, int month)
{
    static constexpr int kDays[13] = {0, 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && is_leap_year(year) ? 29 : kDays[month];
}

bool is_calendar_day(int year, int month, int day)
{
    if (!in_range(month, 1, 12) || !in_range(day, 1, days_in_month(year, month))) return false;
    return !(year == 1582 && month == 10 && day > 4 && day < 15);  // the days the calendar skipped
}

// Assumed: the years applications write for "no start" and "no end"
// (0001-01-01, 9999-12-31), which a column of real dates may hold many of
// whatever range its other dates keep to.
constexpr int kSentinelYears[] = {1, 9999};

bool is_plausible_year(int year, const YearRange& years)
{
    for (int sentinel : kSentinelYears)
        if (year == sentinel) return true;
    return in_range(year, years.first, years.last);
}

// The first seven bytes hold a date and time, laid out as a DATE: both
// halves of a BC year are negative.
bool is_plausible_moment(ByteView value, const YearRange& years)
{
    const int century = value.u8(0) - kCenturyBias;
    const int year_of_century = value.u8(1) - kCenturyBias;
    if (!in_range(century, -99, 99) || !in_range(year_of_century, -99, 99) ||
        common_sign({century, year_of_century}) == 2)
        return false;
    const int year = century * 100 + year_of_century;
    return year != 0 && is_plausible_year(year, years) && is_calendar_day(year, value.u8(2), value.u8(3)) &&
           in_range(value.u8(4) - kClockBias, 0, 23) && in_range(value.u8(5) - kClockBias, 0, 59) &&
           in_range(value.u8(6) - kClockBias, 0, 59);
}

bool is_known_zone(std::uint8_t hour_byte, std::uint8_t minute_byte)
{
    if (hour_byte & kRegionFlag) {
        const unsigned region = (hour_byte & 0x7Fu) * 64u + minute_byte / 4u;
        return !tz_region_name(region).empty();
    }
    const int hours = hour_byte - kOffsetHourBias;
    const int minutes = minute_byte - kOffsetMinuteBias;
    return in_range(minutes, -59, 59) && common_sign({hours, minutes}) != 2 &&
           in_range(hours * 60 + minutes, kFirstOffsetMinutes, kLastOffsetMinutes);
}

// ---------------------------------------------------------------------------
// Intervals.

constexpr std::int64_t kIntervalBias = 0x80000000;
constexpr int kIntervalFieldBias = 60;
constexpr std::int64_t kMaxLeadingField = 999999999;  // nine digits, the widest precision

// ---------------------------------------------------------------------------
// Rowids.

// Assumed: no block holds this many rows, so a larger slot is no rowid's.
constexpr std::uint32_t kMaxPlausibleSlot = 4096;
constexpr std::uint8_t kPhysicalUrowid = 0x01;

bool is_plausible_address(std::uint32_t object, std::uint32_t file, std::uint32_t slot)
{
    return object != 0 && file != 0 && slot < kMaxPlausibleSlot;
}

// ---------------------------------------------------------------------------
// Text.

constexpr std::uint32_t kTab = 0x09;
constexpr std::uint32_t kLineFeed = 0x0A;
constexpr std::uint32_t kCarriageReturn = 0x0D;

bool is_printable(std::uint32_t code)
{
    if (code < 0x20) return code == kTab || code == kLineFeed || code == kCarriageReturn;
    if (code >= 0x7F && code <= 0x9F) return false;                 // DEL and the C1 controls
    return !((code & 0xFFFE) == 0xFFFE) && !(code >= 0xFDD0 && code <= 0xFDEF);  // noncharacters
}

// The code point of the well-formed UTF-8 sequence at `at`, and its
// length in `length` (0 when the bytes are not one).
std::uint32_t utf8_code_at(ByteView text, std::size_t at, std::size_t& length)
{
    const std::uint8_t lead = text.u8(at);
    length = 0;
    if (lead < 0x80) {
        length = 1;
        return lead;
    }
    std::size_t more = 0;
    if (lead >= 0xC2 && lead <= 0xDF)
        more = 1;
    else if (lead >= 0xE0 && lead <= 0xEF)
        more = 2;
    else if (lead >= 0xF0 && lead <= 0xF4)
        more = 3;
    else
        return 0;
    if (at + more >= text.size()) return 0;
    std::uint32_t code = lead & (0x3Fu >> more);
    for (std::size_t i = 1; i <= more; ++i) {
        const std::uint8_t next = text.u8(at + i);
        if ((next & 0xC0) != 0x80) return 0;
        code = code << 6 | (next & 0x3Fu);
    }
    if ((more == 2 && code < 0x800) || (more == 3 && code < 0x10000) || (code >= 0xD800 && code <= 0xDFFF) ||
        code > 0x10FFFF)
        return 0;
    length = more + 1;
    return code;
}

bool is_printable_utf8(ByteView text)
{
    for (std::size_t at = 0; at < text.size();) {
        std::size_t length = 0;
        const std::uint32_t code = utf8_code_at(text, at, length);
        if (length == 0 || !is_printable(code)) return false;
        at += length;
    }
    return true;
}

// The characters national text may hold: the scripts and symbols in
// common use. A judgement, not a property of the encoding: nearly any pair
// of bytes is some UTF-16 character, and random bytes of even length would
// pass as text without it. Left out are the rarely written blocks in
// which the bytes of ASCII text read as UTF-16 fall (CJK extension A,
// Yi, Bopomofo and others), so that ASCII of even length reads as
// NVARCHAR2 less often.
struct CodeRange {
    std::uint32_t first;
    std::uint32_t last;
};
constexpr CodeRange kWrittenCharacters[] = {
    {0x0009, 0x000D},    // tab, line feed, carriage return (the rest fail is_printable)
    {0x0020, 0x007E},    // ASCII
    {0x00A0, 0x058F},    // Latin-1, Latin extended, IPA, diacritics, Greek, Cyrillic, Armenian
    {0x0590, 0x06FF},    // Hebrew, Arabic
    {0x0900, 0x0E7F},    // the Indic scripts, Sinhala, Thai
    {0x10A0, 0x11FF},    // Georgian, Hangul jamo
    {0x1E00, 0x1FFF},    // Latin extended additional, Greek extended
    {0x2000, 0x206F},    // general punctuation
    {0x20A0, 0x20CF},    // currency symbols
    {0x2100, 0x22FF},    // letterlike symbols, number forms, arrows, mathematical operators
    {0x2460, 0x27BF},    // enclosed alphanumerics, box drawing, shapes, symbols, dingbats
    {0x3000, 0x30FF},    // CJK symbols and punctuation, Hiragana, Katakana
    {0x4E00, 0x9FFF},    // CJK unified ideographs
    {0xAC00, 0xD7A3},    // Hangul syllables
    {0xFF00, 0xFFEF},    // halfwidth and fullwidth forms
    {0x1F300, 0x1FAFF},  // pictographs and emoji
    {0x20000, 0x2A6DF},  // CJK unified ideographs, extension B
};

bool is_written_character(std::uint32_t code)
{
    for (const CodeRange& range : kWrittenCharacters)
        if (code >= range.first && code <= range.last) return is_printable(code);
    return false;
}

// The code point of the UTF-16 unit (or surrogate pair) at `at`, and its
// length in bytes in `length` (0 when a surrogate lacks its other half).
std::uint32_t utf16_code_at(ByteView text, std::size_t at, std::size_t& length)
{
    const std::uint32_t unit = text.u16be(at);
    length = 2;
    if (unit < 0xD800 || unit > 0xDFFF) return unit;
    const std::uint32_t low = text.u16be(at + 2);
    if (unit > 0xDBFF || at + 4 > text.size() || low < 0xDC00 || low > 0xDFFF) {
        length = 0;
        return 0;
    }
    length = 4;
    return 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
}

}  // namespace

std::optional<NumberDigits> canonical_number(ByteView value)
{
    const std::size_t size = value.size();
    if (size == 0 || size > kMaxNumberBytes) return std::nullopt;
    const std::uint8_t head = value.u8(0);
    if (size == 1) return head == kNumberZero ? std::optional<NumberDigits>(NumberDigits{1, 0}) : std::nullopt;
    const bool negative = head < kNumberZero;
    const std::size_t end = mantissa_end(value, negative);
    if (end < 2) return std::nullopt;
    for (std::size_t at = 1; at < end; ++at)
        if (mantissa_digit(value.u8(at), negative) < 0) return std::nullopt;
    const int first = mantissa_digit(value.u8(1), negative);
    const int last = mantissa_digit(value.u8(end - 1), negative);
    if (!is_canonical_mantissa(first, last)) return std::nullopt;
    const int exponent = negative ? kNegativeExponentBias - head : head - kPositiveExponentBias;
    return decimal_digits_of(first, last, static_cast<int>(end - 1), exponent);
}

bool is_unterminated_number(ByteView value)
{
    return value.size() == kMaxNumberBytes && value.u8(0) < kNumberZero &&
           value.u8(kMaxNumberBytes - 1) != kNegativeTerminator;
}

bool is_plausible_date(ByteView value, const YearRange& years)
{
    return value.size() == 7 && is_plausible_moment(value, years);
}

std::optional<int> timestamp_fraction_digits(ByteView value, const YearRange& years)
{
    const std::uint32_t nanoseconds = value.u32be(7);
    if (value.size() != kTimestampBytes || !is_plausible_moment(value, years) || nanoseconds > kMaxNanoseconds)
        return std::nullopt;
    return fraction_digits(nanoseconds);
}

std::optional<int> timestamp_tz_fraction_digits(ByteView value, const YearRange& years)
{
    const std::uint32_t nanoseconds = value.u32be(7);
    if (value.size() != kTimestampTzBytes || !is_plausible_moment(value, years) || nanoseconds > kMaxNanoseconds ||
        !is_known_zone(value.u8(11), value.u8(12)))
        return std::nullopt;
    return fraction_digits(nanoseconds);
}

std::optional<IntervalDigits> interval_ym_digits(ByteView value)
{
    const std::int64_t years = std::int64_t{value.u32be(0)} - kIntervalBias;
    const int months = value.u8(4) - kIntervalFieldBias;
    if (value.size() != 5 || magnitude(years) > kMaxLeadingField || !in_range(months, -11, 11) ||
        common_sign({years, months}) == 2)
        return std::nullopt;
    return IntervalDigits{decimal_digits(static_cast<std::uint64_t>(magnitude(years))), 0};
}

std::optional<IntervalDigits> interval_ds_digits(ByteView value)
{
    const std::int64_t days = std::int64_t{value.u32be(0)} - kIntervalBias;
    const int hours = value.u8(4) - kIntervalFieldBias;
    const int minutes = value.u8(5) - kIntervalFieldBias;
    const int seconds = value.u8(6) - kIntervalFieldBias;
    const std::int64_t nanoseconds = std::int64_t{value.u32be(7)} - kIntervalBias;
    if (value.size() != 11 || magnitude(days) > kMaxLeadingField || !in_range(hours, -23, 23) ||
        !in_range(minutes, -59, 59) || !in_range(seconds, -59, 59) || magnitude(nanoseconds) > kMaxNanoseconds ||
        common_sign({days, hours, minutes, seconds, nanoseconds}) == 2)
        return std::nullopt;
    return IntervalDigits{decimal_digits(static_cast<std::uint64_t>(magnitude(days))),
                          fraction_digits(static_cast<std::uint32_t>(magnitude(nanoseconds)))};
}

bool is_plausible_rowid(ByteView value)
{
    return value.size() == 10 &&
           is_plausible_address(value.u32be(0), address_file(value.u32be(4)), value.u16be(8));
}

bool is_plausible_urowid(ByteView value)
{
    return value.size() == 13 && value.u8(0) == kPhysicalUrowid &&
           is_plausible_address(value.u32be(1), value.u16be(5), value.u16be(11));
}

bool is_boolean(ByteView value) { return value.size() == 1 && value.u8(0) <= 1; }

std::optional<ByteView> plausible_text_utf8(ByteView value, const Charset* charset, std::vector<char>& scratch)
{
    if (charset == nullptr) return is_printable_utf8(value) ? std::optional<ByteView>(value) : std::nullopt;
    scratch.resize(3 * value.size() + 1);
    const char* end = convert_to_utf8(*charset, value, scratch.data());
    if (end == nullptr) return std::nullopt;
    const ByteView text(reinterpret_cast<const std::uint8_t*>(scratch.data()),
                        static_cast<std::size_t>(end - scratch.data()));
    return is_printable_utf8(text) ? std::optional<ByteView>(text) : std::nullopt;
}

bool is_plausible_text(ByteView value, const Charset* charset, std::vector<char>& scratch)
{
    return plausible_text_utf8(value, charset, scratch).has_value();
}

bool is_plausible_national_text(ByteView value)
{
    if (value.empty() || value.size() % 2 != 0) return false;
    for (std::size_t at = 0; at < value.size();) {
        std::size_t length = 0;
        const std::uint32_t code = utf16_code_at(value, at, length);
        if (length == 0 || !is_written_character(code)) return false;
        at += length;
    }
    return true;
}

void utf8_code_points(ByteView text, std::vector<std::uint32_t>& codes)
{
    codes.clear();
    for (std::size_t at = 0; at < text.size();) {
        std::size_t length = 0;
        const std::uint32_t code = utf8_code_at(text, at, length);
        if (length == 0) return;
        codes.push_back(code);
        at += length;
    }
}

void utf16_code_points(ByteView text, std::vector<std::uint32_t>& codes)
{
    codes.clear();
    for (std::size_t at = 0; at + 1 < text.size();) {
        std::size_t length = 0;
        const std::uint32_t code = utf16_code_at(text, at, length);
        if (length == 0) return;
        codes.push_back(code);
        at += length;
    }
}

bool ends_in_blank(ByteView value, bool national)
{
    const std::size_t size = value.size();
    if (national) return size >= 2 && value.u16be(size - 2) == 0x0020;
    return size >= 1 && value.u8(size - 1) == ' ';
}

}  // namespace infer
