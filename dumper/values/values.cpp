// Typed values: the column type table and the decoders of NUMBER and DATE.
// Each decoder turns a value's bytes into text, or declines when they are
// not a value of its type; none of them prints anything. The other types'
// decoders are declared in value_decoders.h.
#include <cstring>

#include "values/value_decoders.h"

namespace {

// Writes a NUMBER's decimal text at `out` (room for NumberText::text);
// returns its end, or nullptr when the bytes are not a valid NUMBER.
char* format_number(const ByteView& value, char* out)
{
    constexpr std::size_t kMaxBytes = 21;
    constexpr std::uint8_t kZero = 0x80;
    constexpr std::uint8_t kNegativeTerminator = 0x66;
    const std::size_t size = value.size();
    if (size == 0 || size > kMaxBytes) return nullptr;
    const std::uint8_t first = value.u8(0);
    if (first == kZero && size == 1) {
        *out++ = '0';
        return out;
    }

    // Base-100 digits, most significant first; `exponent` is the power of 100
    // of the first one.
    const bool negative = first < kZero;
    int digits[kMaxBytes];
    int count = 0;
    int exponent;
    std::size_t end = size;
    if (negative) {
        exponent = 0x3E - first;
        if (end > 1 && value.u8(end - 1) == kNegativeTerminator) --end;
        for (std::size_t k = 1; k < end; ++k) {
            int b = value.u8(k);
            if (b < 2 || b > 101) return nullptr;
            digits[count++] = 101 - b;
        }
    } else {
        // 0x80 followed by digits is the smallest exponent, -65 (1e-130 is 80 02).
        exponent = first - 0xC1;
        for (std::size_t k = 1; k < end; ++k) {
            int b = value.u8(k);
            if (b < 1 || b > 100) return nullptr;
            digits[count++] = b - 1;
        }
    }
    if (count == 0) return nullptr;

    // Zero digits at either end change nothing but the exponent.
    int lead = 0;
    while (lead < count && digits[lead] == 0) ++lead;
    if (lead == count) {  // zero, whatever its sign
        *out++ = '0';
        return out;
    }
    exponent -= lead;
    const int* d = digits + lead;
    count -= lead;
    while (d[count - 1] == 0) --count;

    // d[0] and d[count - 1] are not zero now: the text starts at the first
    // significant character and the fraction, if any, ends at the last.
    if (negative) *out++ = '-';
    int next = 0;  // the next digit to print
    if (exponent < 0) {
        *out++ = '0';
    } else {
        // The first digit without its leading zero.
        std::memcpy(out, kDigitPairs + 2 * d[0] + (d[0] < 10), 2);
        out += d[0] < 10 ? 1 : 2;
        for (int k = 1; k <= exponent; ++k) out = put_pair(out, k < count ? d[k] : 0);
        next = exponent + 1;
    }
    if (next < count) {
        *out++ = '.';
        for (int k = exponent + 1; k < 0; ++k) out = put_pair(out, 0);
        for (int k = next; k < count; ++k) out = put_pair(out, d[k]);
        if (out[-1] == '0') --out;
    }
    return out;
}

char* decode_number_value(ByteView value, char* out, const DecodeOptions&)
{
    // An empty value (a NULL written with a zero length) has empty text.
    return value.empty() ? out : format_number(value, out);
}

// "%.Nd" of a small number: at least `digits` digits, the sign before them.
char* put_min_digits(char* out, int value, int digits)
{
    char scratch[8];
    char* p = scratch + sizeof scratch;
    unsigned magnitude = value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
    do {
        *--p = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    while (scratch + sizeof scratch - p < digits) *--p = '0';
    if (value < 0) *--p = '-';
    const std::size_t length = static_cast<std::size_t>(scratch + sizeof scratch - p);
    std::memcpy(out, p, length);
    return out + length;
}

// True when every field of the date has the digits "%.4d" and "%.2d" give
// it without padding or a sign: then each prints as pairs of digits.
bool date_fields_in_range(const ByteView& value)
{
    auto in = [&](std::size_t at, int low, int high) { return value.u8(at) >= low && value.u8(at) <= high; };
    return in(0, 100, 199) && in(1, 100, 199) && in(2, 0, 99) && in(3, 0, 99) && in(4, 1, 100) && in(5, 1, 100) &&
           in(6, 1, 100);
}

// DATE read literally, "YYYY/MM/DD hh:mm:ss", from its first seven bytes
// whatever they hold; shorter values are declined, an empty one is empty.
char* decode_date_value(ByteView value, char* out, const DecodeOptions&)
{
    if (value.empty()) return out;
    if (value.size() < 7) return nullptr;
    if (date_fields_in_range(value)) {
        out = put_pair(out, value.u8(0) - 100);
        out = put_pair(out, value.u8(1) - 100);
        *out++ = '/';
        out = put_pair(out, value.u8(2));
        *out++ = '/';
        out = put_pair(out, value.u8(3));
        *out++ = ' ';
        out = put_pair(out, value.u8(4) - 1);
        *out++ = ':';
        out = put_pair(out, value.u8(5) - 1);
        *out++ = ':';
        return put_pair(out, value.u8(6) - 1);
    }
    out = put_min_digits(out, (value.u8(0) - 100) * 100 + (value.u8(1) - 100), 4);
    *out++ = '/';
    out = put_min_digits(out, value.u8(2), 2);
    *out++ = '/';
    out = put_min_digits(out, value.u8(3), 2);
    *out++ = ' ';
    out = put_min_digits(out, value.u8(4) - 1, 2);
    *out++ = ':';
    out = put_min_digits(out, value.u8(5) - 1, 2);
    *out++ = ':';
    return put_min_digits(out, value.u8(6) - 1, 2);
}

char* decline(ByteView, char*, const DecodeOptions&) { return nullptr; }

constexpr std::uint16_t kNumberRoom = sizeof NumberText::text;
constexpr std::uint16_t kDateRoom = 32;

}  // namespace

constexpr ColumnType kColumnTypes[] = {
    {"NUMBER", TypeRole::Decoded, kNumberRoom, 0, decode_number_value, false, true},
    {"VARCHAR2", TypeRole::Decoded, 0, kTextRoomPerByte, decode_text_value, true},
    {"DATE", TypeRole::Decoded, kDateRoom, 0, decode_date_value, false, true},
    // CHAR values print their text like VARCHAR2 (blank-padded as stored).
    {"CHAR", TypeRole::Decoded, 0, kTextRoomPerByte, decode_text_value, true},
    {"UNKNOWN", TypeRole::Undecoded, 0, 0, decline, false},
    {"NOPRINT", TypeRole::Suppressed, 0, 0, decline, false},
    // FLOAT is a NUMBER of binary precision, stored as a NUMBER.
    {"FLOAT", TypeRole::Decoded, kNumberRoom, 0, decode_number_value, false, true},
    {"TIMESTAMP", TypeRole::Decoded, kDateTimeRoom, 0, decode_timestamp_value, false, true},
    {"TIMESTAMP WITH TIME ZONE", TypeRole::Decoded, kDateTimeRoom, 0, decode_timestamp_tz_value, false, true},
    // Stored in the database's time zone, and printed as stored.
    {"TIMESTAMP WITH LOCAL TIME ZONE", TypeRole::Decoded, kDateTimeRoom, 0, decode_timestamp_value, false, true},
    {"INTERVAL YEAR TO MONTH", TypeRole::Decoded, kIntervalRoom, 0, decode_interval_ym_value, false, true},
    {"INTERVAL DAY TO SECOND", TypeRole::Decoded, kIntervalRoom, 0, decode_interval_ds_value, false, true},
    {"BINARY_FLOAT", TypeRole::Decoded, kBinaryFloatRoom, 0, decode_binary_float_value, false, true},
    {"BINARY_DOUBLE", TypeRole::Decoded, kBinaryFloatRoom, 0, decode_binary_double_value, false, true},
    {"RAW", TypeRole::Decoded, 0, 2, decode_raw_value, false, true},
    {"LONG RAW", TypeRole::Decoded, 0, 2, decode_raw_value, false, true},
    {"LONG", TypeRole::Decoded, 0, kTextRoomPerByte, decode_text_value, true},
    {"NCHAR", TypeRole::Decoded, 0, kNationalTextRoomPerByte, decode_national_text_value, false},
    {"NVARCHAR2", TypeRole::Decoded, 0, kNationalTextRoomPerByte, decode_national_text_value, false},
    {"ROWID", TypeRole::Decoded, kRowidRoom, 0, decode_rowid_value, false, true},
    {"UROWID", TypeRole::Decoded, kRowidRoom, 0, decode_urowid_value, false, true},
    {"BOOLEAN", TypeRole::Decoded, kBooleanRoom, 0, decode_boolean_value, false, true},
    // Their values are read from their locators by the export formats;
    // the text output dumps the locator's bytes as for any value.
    {"CLOB", TypeRole::Undecoded, 0, 0, decline, false, false, LobType::Clob},
    {"NCLOB", TypeRole::Undecoded, 0, 0, decline, false, false, LobType::Nclob},
    {"BLOB", TypeRole::Undecoded, 0, 0, decline, false, false, LobType::Blob},
};
const std::size_t kColumnTypeCount = sizeof kColumnTypes / sizeof kColumnTypes[0];
const ColumnType kUnlistedType = {"", TypeRole::Undecoded, 0, 0, decline, false};

// Every keyword fits a template line's room, and the text of the longest
// value (65535 bytes) and a separator fit kMaxValueText.
static_assert([] {
    for (const ColumnType& type : kColumnTypes)
        if (type.keyword.size() > kMaxKeywordLength || type.text_room(65535) + 1 > kMaxValueText) return false;
    return true;
}());

const ColumnType& find_column_type(std::string_view keyword)
{
    for (const ColumnType& type : kColumnTypes)
        if (keyword == type.keyword) return type;
    return kUnlistedType;
}

bool decode_number(const ByteView& value, NumberText& result)
{
    char* end = format_number(value, result.text);
    result.length = end == nullptr ? 0 : static_cast<std::size_t>(end - result.text);
    return end != nullptr;
}
