// Strict checks of single values, one for each type the inference weighs.
// The decoders read leniently what a column's declared type says it holds;
// these say whether bytes of no known type are a value of one type as the
// database itself writes it, so that a column's share of such values is
// evidence for the type.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "format/byte_view.h"

struct Charset;

namespace infer {

// The years a DATE or TIMESTAMP of a column with no declared type may
// fall in: by default every year the types hold, 4712 BC to 9999 (BC
// years negative), since what tells a date from other bytes is the rest of
// its fields (a month, a day of that month, a time of day), which random
// bytes and other types' values seldom all have.
struct YearRange {
    int first = -4712;
    int last = 9999;
};

// What a valid NUMBER says of its column's size: its decimal digits
// before the point and after it.
struct NumberDigits {
    int integer = 0;
    int fraction = 0;
};
// The digits of a NUMBER in its canonical encoding; none for bytes the
// database would not have written (see value_checks.cpp).
std::optional<NumberDigits> canonical_number(ByteView value);
// A negative NUMBER of all 20 mantissa bytes, which has no terminator.
bool is_unterminated_number(ByteView value);

// Seven bytes of a DATE whose calendar and clock are valid and whose year
// is within `years` (or is one of the years written for no start or no end).
bool is_plausible_date(ByteView value, const YearRange& years);

// A TIMESTAMP of 11 bytes (a date, then nanoseconds): the fractional digits
// its nanoseconds need (0 to 9); none when the bytes are not one.
std::optional<int> timestamp_fraction_digits(ByteView value, const YearRange& years);
// The same for a TIMESTAMP WITH TIME ZONE (13 bytes: a UTC date and
// nanoseconds, then an offset or a region the time zone list knows).
std::optional<int> timestamp_tz_fraction_digits(ByteView value, const YearRange& years);

// The digits of an interval: those of its leading field (years or days)
// and of its fraction of a second (0 for INTERVAL YEAR TO MONTH).
struct IntervalDigits {
    int leading = 0;
    int fraction = 0;
};
std::optional<IntervalDigits> interval_ym_digits(ByteView value);
std::optional<IntervalDigits> interval_ds_digits(ByteView value);

// ROWID (10 bytes) and the physical form of UROWID (13 bytes, 01 first)
// naming an object, a file and a slot that can be.
bool is_plausible_rowid(ByteView value);
bool is_plausible_urowid(ByteView value);

bool is_boolean(ByteView value);

// Text of the database character set (`charset`; nullptr: AL32UTF8) with
// no control character but tab, carriage return and line feed. `scratch`
// holds the converted text.
bool is_plausible_text(ByteView value, const Charset* charset, std::vector<char>& scratch);
// The same, giving the text in UTF-8 (the value itself, or in `scratch`).
std::optional<ByteView> plausible_text_utf8(ByteView value, const Charset* charset, std::vector<char>& scratch);
// UTF-16 big-endian text of the same kind, whose characters all belong to
// scripts and symbols people write (see value_checks.cpp).
bool is_plausible_national_text(ByteView value);

// The code points of well-formed UTF-8 and UTF-16 big-endian text.
void utf8_code_points(ByteView text, std::vector<std::uint32_t>& codes);
void utf16_code_points(ByteView text, std::vector<std::uint32_t>& codes);

// True when the text ends in a blank, as CHAR values are padded (a blank
// of UTF-16 for national text).
bool ends_in_blank(ByteView value, bool national);

}  // namespace infer
