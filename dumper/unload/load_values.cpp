#include "unload/load_values.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "schema/oracle_types.h"
#include "values/lob_locator.h"
#include "values/value_decoders.h"

namespace unload {

namespace {

using schema::OracleType;

constexpr std::size_t kDateBytes = 7;
constexpr std::string_view kBeforeChrist = " BC";
// How the dump's decoder says that a time zone is a region: the time is
// UTC then, and so is written with the offset of UTC.
constexpr std::string_view kRegionMark = " UTC (";
constexpr std::string_view kUtcOffset = " +00:00";
// The dump's decoders write a moment as "YYYY-MM-DD HH:MM:SS", then a
// fraction of nine digits after a point.
constexpr std::ptrdiff_t kMomentLength = 19;
constexpr std::ptrdiff_t kFractionDigits = 9;

char* put_undecodable(ByteView value, char* out)
{
    out[0] = '0';
    out[1] = 'x';
    return put_hex_digits(out + 2, value.data(), value.size());
}

// The dump writes a year before 1 with a minus sign in front; a loader
// reads it with BC after the whole text.
char* move_era(char* start, char* end)
{
    if (*start != '-') return end;
    std::memmove(start, start + 1, static_cast<std::size_t>(end - start - 1));
    return put_text(end - 1, kBeforeChrist);
}

// Where the dump's decoders put a time's fraction: after "YYYY-MM-DD
// HH:MM:SS", and the minus sign of a year before 1.
char* fraction_point(char* start) { return start + kMomentLength + (*start == '-' ? 1 : 0); }

// The nine digits of a fraction of a second without their trailing zeros,
// and without the point when nothing is left of them; what follows the
// fraction (a time zone) moves up.
char* trim_fraction(char* start, char* end)
{
    char* point = fraction_point(start);
    if (point >= end || *point != '.') return end;
    char* digits_end = point + 1 + kFractionDigits;
    char* kept = digits_end;
    while (kept > point + 1 && kept[-1] == '0') --kept;
    if (kept == point + 1) kept = point;
    const auto rest = static_cast<std::size_t>(end - digits_end);
    std::memmove(kept, digits_end, rest);
    return kept + rest;
}

// The zone of a time zone's value as the dump's decoder wrote it: its
// offset, or its region's name. A region's time is UTC, and is written
// with the offset of UTC: the rules that would give the region's own time
// are not in the files. The zone's text is copied to `zone` (room for
// kDateTimeRoom bytes), its size into `zone_size`; `end` becomes the end
// of the time and its offset. Returns whether the zone is a region's.
bool split_zone(char* start, char*& end, char* zone, std::size_t& zone_size)
{
    char* after_fraction = fraction_point(start) + 1 + kFractionDigits;
    const std::string_view rest(after_fraction, static_cast<std::size_t>(end - after_fraction));
    if (!rest.starts_with(kRegionMark)) {
        zone_size = rest.substr(1).copy(zone, kDateTimeRoom);  // the offset after its blank
        return false;
    }
    // Within "UTC (...)".
    zone_size = rest.substr(kRegionMark.size(), rest.size() - kRegionMark.size() - 1).copy(zone, kDateTimeRoom);
    end = put_text(after_fraction, kUtcOffset);
    return true;
}

// The first day of the Gregorian calendar: dates before it (and years
// before 1) are Julian dates of the database's calendar.
constexpr std::string_view kGregorianStart = "1582-10-15";

// On the dump's text of a moment: a BC year has a minus sign in front.
bool before_gregorian(const char* start)
{
    return *start == '-' || std::string_view(start, kGregorianStart.size()) < kGregorianStart;
}

// Digits past the sixth of the fraction, on the dump's text.
bool has_nanoseconds(char* start, const char* end)
{
    const char* point = fraction_point(start);
    return point < end && *point == '.' && (point[7] != '0' || point[8] != '0' || point[9] != '0');
}

// A date or time (the time and zone fields of a time zone's value); its
// facts in `facts`. nullptr when the bytes are none.
char* write_date_time(LoadForm form, ByteView value, char* out, std::uint8_t& facts)
{
    if (form == LoadForm::Date) {
        char* end = value.size() == kDateBytes ? decode_timestamp_value(value, out, {}) : nullptr;
        if (end == nullptr) return nullptr;
        if (before_gregorian(out)) facts = value_facts::kBeforeGregorian;
        return move_era(out, end);
    }
    char* end = form == LoadForm::Timestamp ? decode_timestamp_value(value, out, {})
                                            : decode_timestamp_tz_value(value, out, {});
    if (end == nullptr) return nullptr;
    facts = static_cast<std::uint8_t>((before_gregorian(out) ? value_facts::kBeforeGregorian : 0) |
                                      (has_nanoseconds(out, end) ? value_facts::kNanoseconds : 0));
    if (form != LoadForm::TimestampTz) return move_era(out, trim_fraction(out, end));
    // The zone's text is kept apart while the time before it is rewritten.
    char zone[kDateTimeRoom];
    std::size_t zone_size = 0;
    if (split_zone(out, end, zone, zone_size)) facts |= value_facts::kRegion;
    end = move_era(out, trim_fraction(out, end));
    *end++ = ',';
    return put_text(end, std::string_view(zone, zone_size));
}

bool is_special(char c) { return c == ',' || c == '"' || c == '\r' || c == '\n'; }

#if defined(__SSE2__)
// Sixteen bytes at a time (every x86-64 processor has SSE2); inline, as
// most text values are a few bytes long.
inline TextScan scan_bytes(const char* text, std::size_t length, std::size_t readable)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i comma = _mm_set1_epi8(',');
    const __m128i quote = _mm_set1_epi8('"');
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    unsigned high = 0, nul = 0, special = 0;
    auto weigh = [&](__m128i v, unsigned kept) {
        high |= static_cast<unsigned>(_mm_movemask_epi8(v)) & kept;
        nul |= static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, zero))) & kept;
        const __m128i found = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, comma), _mm_cmpeq_epi8(v, quote)),
                                           _mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf)));
        special |= static_cast<unsigned>(_mm_movemask_epi8(found)) & kept;
    };
    std::size_t i = 0;
    for (; i + 16 <= length; i += 16) weigh(_mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i)), 0xFFFFu);
    if (i < length && i + 16 <= readable) {
        // The last bytes in one load, when it may be read; those past the text do not count.
        weigh(_mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i)), (1u << (length - i)) - 1);
        i = length;
    }
    for (; i < length; ++i) {
        high |= static_cast<unsigned char>(text[i]) & 0x80u;
        nul |= text[i] == '\0';
        special |= is_special(text[i]);
    }
    return {(high != 0 ? TextScan::kBeyondAscii : 0u) | (nul != 0 ? TextScan::kNul : 0u) |
            (special != 0 ? TextScan::kSpecial : 0u)};
}
#else
inline TextScan scan_bytes(const char* text, std::size_t length, std::size_t)
{
    TextScan scan;
    for (std::size_t i = 0; i < length; ++i) {
        if (static_cast<unsigned char>(text[i]) >= 0x80) scan.found |= TextScan::kBeyondAscii;
        if (text[i] == '\0') scan.found |= TextScan::kNul;
        if (is_special(text[i])) scan.found |= TextScan::kSpecial;
    }
    return scan;
}
#endif

// The text at `out` that `scan` describes, quoted when `quoted` and it
// needs it; nullptr when it holds a NUL: loaders take it for the end of
// the text, or reject the value.
char* finish_text(char* out, char* end, TextScan scan, bool quoted)
{
    if (scan.nul()) return nullptr;
    return quoted && scan.special() ? quote_in_place(out, static_cast<std::size_t>(end - out)) : end;
}

// Text in AL32UTF8 (or in a set only ASCII can be read from), mostly
// ASCII: seen once, then copied. nullptr when its bytes are no text of its
// character set.
char* write_utf8_text(const LoadColumn& column, ByteView value, std::size_t readable, char* out, bool quoted)
{
    const char* bytes = reinterpret_cast<const char*>(value.data());
    const TextScan scan = scan_bytes(bytes, value.size(), readable);
    if (scan.beyond_ascii() && (column.ascii_only || !is_utf8(bytes, value.size()))) return nullptr;
    return finish_text(out, put_bytes(out, value.data(), value.size()), scan, quoted);
}

#if defined(__SSE2__)
// Most text values are ASCII characters none of which a CSV field minds:
// they are seen and copied sixteen bytes at a time, when the bytes after
// the value may be read up to the next sixteen. nullptr for any other
// value, which the whole check then writes.
inline char* write_plain_text(ByteView value, std::size_t readable, char* out)
{
    const std::size_t size = value.size();
    const std::size_t copied = (size + kTextCopyRoom - 1) / kTextCopyRoom * kTextCopyRoom;
    if (readable < copied) return nullptr;
    for (std::size_t i = 0; i < size; i += kTextCopyRoom) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(value.data() + i));
        const __m128i found = _mm_or_si128(
            _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(',')), _mm_cmpeq_epi8(v, _mm_set1_epi8('"'))),
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('\r')), _mm_cmpeq_epi8(v, _mm_set1_epi8('\n'))),
                         _mm_cmpeq_epi8(v, _mm_setzero_si128())));
        const unsigned kept = size - i >= kTextCopyRoom ? 0xFFFFu : (1u << (size - i)) - 1;
        if ((static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(v, found))) & kept) != 0) return nullptr;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), v);
    }
    return out + size;
}
#else
inline char* write_plain_text(ByteView, std::size_t, char*) { return nullptr; }
#endif

// Text in another character set, or national text in UTF-16, converted
// to UTF-8; nullptr when its bytes are no text of its character set.
char* write_converted_text(const LoadColumn& column, ByteView value, char* out, bool quoted)
{
    char* end = column.form == LoadForm::NationalText ? decode_national_text_value(value, out, {})
                                                      : convert_to_utf8(*column.charset, value, out);
    if (end == nullptr) return nullptr;
    const auto length = static_cast<std::size_t>(end - out);
    return finish_text(out, end, scan_bytes(out, length, length), quoted);
}

WrittenValue undecodable(const ColumnValue& value, char* out, ValueNote note = ValueNote::Undecodable)
{
    return {put_undecodable(value.bytes, out), note};
}

// RAW as its hexadecimal digits; a LOB's locator the same, noted as not
// decoded.
template <ValueNote Note>
WrittenValue write_hex(const LoadColumn&, const ColumnValue& value, char* out, bool)
{
    if (value.truncated()) return undecodable(value, out);
    return {put_hex_digits(out, value.bytes.data(), value.bytes.size()), Note};
}

// Numbers, and the types written as the dump writes them.
WrittenValue write_decoded(const LoadColumn& column, const ColumnValue& value, char* out, bool)
{
    static constexpr DecodeOptions kOptions{};
    char* end = !value.truncated() && column.decoder != nullptr ? column.decoder->decode(value.bytes, out, kOptions)
                                                                : nullptr;
    return end != nullptr ? WrittenValue{end, ValueNote::Written} : undecodable(value, out);
}

// A NUMBER of at most this many bytes (its exponent and seven pairs of
// digits) has at most 14 digits.
constexpr std::size_t kShortNumberBytes = 8;
// The most digits SQLite's REAL gives back as they were written.
constexpr std::size_t kRealDigits = 15;
constexpr std::string_view kLargestInteger = "9223372036854775807";
constexpr std::string_view kSmallestInteger = "9223372036854775808";  // after its minus sign

WrittenValue write_number(const LoadColumn& column, const ColumnValue& value, char* out, bool quoted)
{
    WrittenValue written = write_decoded(column, value, out, quoted);
    if (value.bytes.size() > kShortNumberBytes && decoded(written.note) && beyond_real_and_integer(out, written.end))
        written.facts = value_facts::kLongDecimal;
    return written;
}

WrittenValue write_interval(const LoadColumn& column, const ColumnValue& value, char* out, bool quoted)
{
    WrittenValue written = write_decoded(column, value, out, quoted);
    if (decoded(written.note)) written.facts = interval_facts(out, written.end);
    return written;
}

// Dates and times, in ISO 8601; a time zone's value with its zone.
template <LoadForm Form>
WrittenValue write_moment(const LoadColumn&, const ColumnValue& value, char* out, bool)
{
    std::uint8_t facts = 0;
    char* end = !value.truncated() ? write_date_time(Form, value.bytes, out, facts) : nullptr;
    if (end != nullptr) return {end, ValueNote::Written, facts};
    WrittenValue bytes = undecodable(value, out);
    if (Form == LoadForm::TimestampTz) *bytes.end++ = ',';  // and no zone
    return bytes;
}

WrittenValue text_written(const ColumnValue& value, char* out, char* end)
{
    return end != nullptr ? WrittenValue{end, ValueNote::Written} : undecodable(value, out, ValueNote::InvalidText);
}

// Kept out of line: the plain values' path then needs few registers saved.
[[gnu::noinline]] WrittenValue write_utf8_text_value_whole(const LoadColumn& column, const ColumnValue& value, char* out,
                                                           bool quoted)
{
    if (value.truncated()) return undecodable(value, out);
    return text_written(value, out, write_utf8_text(column, value.bytes, value.readable, out, quoted));
}

WrittenValue write_utf8_text_value(const LoadColumn& column, const ColumnValue& value, char* out, bool quoted)
{
    if (!value.truncated())
        if (char* end = write_plain_text(value.bytes, value.readable, out)) return {end, ValueNote::Written};
    return write_utf8_text_value_whole(column, value, out, quoted);
}

WrittenValue write_converted_text_value(const LoadColumn& column, const ColumnValue& value, char* out, bool quoted)
{
    if (value.truncated()) return undecodable(value, out);
    return text_written(value, out, write_converted_text(column, value.bytes, out, quoted));
}

// A LOB whose value the row holds: its text or its bytes; any other
// locator in hexadecimal, not decoded.
WrittenValue write_clob(const LoadColumn& column, const ColumnValue& value, char* out, bool quoted)
{
    if (value.truncated()) return undecodable(value, out);
    const LobLocator locator = read_lob_locator(value.bytes);
    if (!locator.holds_value()) return {put_hex_digits(out, value.bytes.data(), value.bytes.size()), ValueNote::Locator};
    char* end = column.charset != nullptr ? convert_to_utf8(*column.charset, locator.data, out)
                                          : decode_national_text_value(locator.data, out, {});
    const auto length = end != nullptr ? static_cast<std::size_t>(end - out) : 0;
    return text_written(value, out, end != nullptr ? finish_text(out, end, scan_bytes(out, length, length), quoted) : nullptr);
}

WrittenValue write_blob(const LoadColumn&, const ColumnValue& value, char* out, bool)
{
    if (value.truncated()) return undecodable(value, out);
    const LobLocator locator = read_lob_locator(value.bytes);
    if (!locator.holds_value()) return {put_hex_digits(out, value.bytes.data(), value.bytes.size()), ValueNote::Locator};
    return {put_hex_digits(out, locator.data.data(), locator.data.size()), ValueNote::Written};
}

WrittenValue write_unknown(const LoadColumn&, const ColumnValue& value, char* out, bool)
{
    return undecodable(value, out, value.truncated() ? ValueNote::Undecodable : ValueNote::Locator);
}

}  // namespace

std::uint8_t interval_facts(const char* text, const char* end)
{
    const std::string_view interval(text, static_cast<std::size_t>(end - text));
    const std::size_t blank = interval.find(' ');
    if (blank != std::string_view::npos) {
        // Day to second: nine digits of fraction after the point.
        const std::size_t point = interval.find('.', blank);
        const bool nanoseconds = point != std::string_view::npos &&
                                 interval.substr(point + 1).find_first_not_of('0', 6) != std::string_view::npos;
        return nanoseconds ? value_facts::kNanoseconds : 0;
    }
    // Year to month: the sign, the years, a dash, the months.
    std::uint64_t years = 0, months = 0;
    const std::size_t dash = interval.find('-', 1);
    if (dash == std::string_view::npos) return 0;
    for (char c : interval.substr(1, dash - 1)) years = years * 10 + static_cast<std::uint64_t>(c - '0');
    for (char c : interval.substr(dash + 1)) months = months * 10 + static_cast<std::uint64_t>(c - '0');
    return years * 12 + months > value_facts::kPostgresMostMonths ? value_facts::kBeyondPostgres : 0;
}

bool beyond_real_and_integer(const char* text, const char* end)
{
    const bool negative = *text == '-';
    if (negative) ++text;
    const std::string_view digits(text, static_cast<std::size_t>(end - text));
    if (digits.find('.') == std::string_view::npos) {
        const std::string_view largest = negative ? kSmallestInteger : kLargestInteger;
        if (digits.size() < largest.size() || (digits.size() == largest.size() && digits <= largest)) return false;
    }
    const std::size_t first = digits.find_first_not_of("0.");
    const std::size_t last = digits.find_last_not_of("0.");
    if (first == std::string_view::npos) return false;
    std::size_t significant = last - first + 1;
    if (digits.substr(first, significant).find('.') != std::string_view::npos) --significant;
    return significant > kRealDigits;
}

LoadColumn load_column(OracleType type)
{
    LoadColumn column;
    switch (type) {
    case OracleType::Number:
    case OracleType::Float:
        column.form = LoadForm::Number;
        column.decoder = &schema::value_decoder(type);
        break;
    case OracleType::Date: column.form = LoadForm::Date; break;
    case OracleType::Timestamp:
    case OracleType::TimestampLtz: column.form = LoadForm::Timestamp; break;
    case OracleType::TimestampTz: column.form = LoadForm::TimestampTz; break;
    case OracleType::Varchar2:
    case OracleType::Char:
    case OracleType::Long: column.form = LoadForm::Text; break;
    case OracleType::Nvarchar2:
    case OracleType::Nchar: column.form = LoadForm::NationalText; break;
    case OracleType::Raw:
    case OracleType::LongRaw: column.form = LoadForm::Hex; break;
    case OracleType::Clob:
    case OracleType::Nclob: column.form = LoadForm::Clob; break;
    case OracleType::Blob: column.form = LoadForm::Blob; break;
    case OracleType::Bfile: column.form = LoadForm::Locator; break;
    case OracleType::IntervalYm:
    case OracleType::IntervalDs:
        column.form = LoadForm::Interval;
        column.decoder = &schema::value_decoder(type);
        break;
    case OracleType::BinaryFloat:
    case OracleType::BinaryDouble:
    case OracleType::Rowid:
    case OracleType::Urowid:
    case OracleType::Boolean:
        column.form = LoadForm::Decoded;
        column.decoder = &schema::value_decoder(type);
        break;
    case OracleType::Unknown: column.form = LoadForm::Unknown; break;
    }
    return column;
}

TextScan scan_text(const char* text, std::size_t length, std::size_t readable)
{
    return scan_bytes(text, length, readable);
}

char* quote_in_place(char* text, std::size_t length)
{
    std::size_t quotes = 0;
    for (std::size_t i = 0; i < length; ++i) quotes += text[i] == '"';
    char* end = text + length + quotes + 2;
    char* out = end;
    *--out = '"';
    for (std::size_t i = length; i-- > 0;) {
        *--out = text[i];
        if (text[i] == '"') *--out = '"';
    }
    *--out = '"';
    return end;
}

LoadWriter load_writer(const LoadColumn& column)
{
    switch (column.form) {
    case LoadForm::Number: return write_number;
    case LoadForm::Interval: return write_interval;
    case LoadForm::Decoded: return write_decoded;
    case LoadForm::Date: return write_moment<LoadForm::Date>;
    case LoadForm::Timestamp: return write_moment<LoadForm::Timestamp>;
    case LoadForm::TimestampTz: return write_moment<LoadForm::TimestampTz>;
    case LoadForm::Text: return column.charset == nullptr ? write_utf8_text_value : write_converted_text_value;
    case LoadForm::NationalText: return write_converted_text_value;
    case LoadForm::Hex: return write_hex<ValueNote::Written>;
    case LoadForm::Clob: return write_clob;
    case LoadForm::Blob: return write_blob;
    case LoadForm::Locator: return write_hex<ValueNote::Locator>;
    case LoadForm::Unknown: break;
    }
    return write_unknown;
}

}  // namespace unload
