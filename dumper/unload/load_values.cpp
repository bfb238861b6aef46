#include "unload/load_values.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "schema/oracle_types.h"
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

// A time zone region's time is UTC: its offset is that of UTC. The rules
// that would give the region's own time are not in the files.
char* region_to_offset(char* start, char* end)
{
    char* zone = fraction_point(start) + 1 + kFractionDigits;
    const std::string_view rest(zone, static_cast<std::size_t>(end - zone));
    return rest.starts_with(kRegionMark) ? put_text(zone, kUtcOffset) : end;
}

char* write_date_time(LoadForm form, ByteView value, char* out)
{
    if (form == LoadForm::Date) {
        char* end = value.size() == kDateBytes ? decode_timestamp_value(value, out, {}) : nullptr;
        return end != nullptr ? move_era(out, end) : nullptr;
    }
    char* end = form == LoadForm::Timestamp ? decode_timestamp_value(value, out, {})
                                            : decode_timestamp_tz_value(value, out, {});
    if (end == nullptr) return nullptr;
    if (form == LoadForm::TimestampTz) end = region_to_offset(out, end);
    return move_era(out, trim_fraction(out, end));
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

// Text as UTF-8 at `out`, quoted when `quoted` and it needs it; nullptr
// when its bytes are no text of its character set. A NUL is refused too:
// loaders take it for the end of the text, or reject the value.
char* write_text(const LoadColumn& column, ByteView value, std::size_t readable, char* out, bool quoted)
{
    char* end = nullptr;
    TextScan scan;
    if (column.form == LoadForm::Text && column.charset == nullptr) {
        // AL32UTF8 (or a set only ASCII can be read from): mostly ASCII, seen once.
        const char* bytes = reinterpret_cast<const char*>(value.data());
        scan = scan_bytes(bytes, value.size(), readable);
        if (scan.beyond_ascii() && (column.ascii_only || !is_utf8(bytes, value.size()))) return nullptr;
        end = put_bytes(out, value.data(), value.size());
    } else {
        end = column.form == LoadForm::NationalText ? decode_national_text_value(value, out, {})
                                                    : convert_to_utf8(*column.charset, value, out);
        if (end == nullptr) return nullptr;
        scan = scan_bytes(out, static_cast<std::size_t>(end - out), static_cast<std::size_t>(end - out));
    }
    if (scan.nul()) return nullptr;
    return quoted && scan.special() ? quote_in_place(out, static_cast<std::size_t>(end - out)) : end;
}

}  // namespace

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
    case OracleType::Nclob:
    case OracleType::Blob:
    case OracleType::Bfile: column.form = LoadForm::Locator; break;
    case OracleType::IntervalYm:
    case OracleType::IntervalDs:
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

char* write_load_value(const LoadColumn& column, ByteView value, std::size_t readable, bool truncated, char* out,
                       ValueNote& note, bool quoted)
{
    note = ValueNote::Written;
    if (column.form == LoadForm::Hex && !truncated) return put_hex_digits(out, value.data(), value.size());
    if (column.form == LoadForm::Locator && !truncated) {
        note = ValueNote::Locator;
        return put_hex_digits(out, value.data(), value.size());
    }
    char* end = nullptr;
    if (!truncated) {
        switch (column.form) {
        case LoadForm::Number:
        case LoadForm::Decoded:
            end = column.decoder != nullptr ? column.decoder->decode(value, out, DecodeOptions{}) : nullptr;
            break;
        case LoadForm::Date:
        case LoadForm::Timestamp:
        case LoadForm::TimestampTz: end = write_date_time(column.form, value, out); break;
        case LoadForm::Text:
        case LoadForm::NationalText:
            end = write_text(column, value, readable, out, quoted);
            if (end == nullptr) {
                note = ValueNote::InvalidText;
                return put_undecodable(value, out);
            }
            break;
        case LoadForm::Hex:
        case LoadForm::Locator: break;
        case LoadForm::Unknown:
            note = ValueNote::Locator;
            return put_undecodable(value, out);
        }
    }
    if (end != nullptr) return end;
    note = ValueNote::Undecodable;
    return put_undecodable(value, out);
}

}  // namespace unload
