// Column values written for loading into another database: numbers as plain
// decimals, dates and times in ISO 8601 (years before 1 with BC after
// them), fractions of a second without trailing zeros, text in UTF-8, RAW
// as hexadecimal digits. A value its type cannot hold is written as 0x and
// its hexadecimal digits, and said so, for the caller to count. These texts
// differ from the dump's where a loader needs them to; where they do not,
// the dump's decoders write them.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "format/byte_view.h"
#include "format/records.h"
#include "schema/schema.h"
#include "values/charsets.h"
#include "values/column_types.h"
#include "values/value_decoders.h"

namespace unload {

// How a column's values are written.
enum class LoadForm : std::uint8_t {
    Number,        // NUMBER, FLOAT: plain decimal
    Date,          // YYYY-MM-DD HH:MI:SS, " BC" after years before 1
    Timestamp,     // the same with the fraction, trailing zeros dropped (TIMESTAMP, WITH LOCAL TIME ZONE)
    TimestampTz,   // the time in its own zone, a blank, and its offset +HH:MM
    Text,          // CHAR, VARCHAR2, LONG (and national text in UTF8): converted to UTF-8
    NationalText,  // NCHAR, NVARCHAR2 in AL16UTF16
    Hex,           // RAW, LONG RAW: two hexadecimal digits a byte
    Clob,          // CLOB, NCLOB: the text of a value the row holds, in UTF-8 (2-byte Unicode, or `charset`)
    Blob,          // BLOB: the bytes of a value the row holds, two hexadecimal digits a byte
    Locator,       // BFILE, and LOBs whose value the row does not hold: the locator, in hexadecimal
    Interval,      // INTERVAL YEAR TO MONTH, DAY TO SECOND: the dump's text
    Decoded,       // BINARY_FLOAT and BINARY_DOUBLE, ROWID, UROWID, BOOLEAN: the dump's text
    Unknown,       // a column of no known type: 0x and hexadecimal digits
};

// A TIMESTAMP WITH TIME ZONE column is written as two fields: the time,
// and the zone the value was stored with: its offset (+02:00), or the
// name of its time zone region (the time is then in UTC, +00:00), which
// no offset gives.
inline std::size_t csv_fields(LoadForm form) { return form == LoadForm::TimestampTz ? 2 : 1; }

// Dates, times and intervals, whose values a database may hold converted
// (to its calendar), rounded (to its fractions) or not at all (beyond its
// range): the loaders keep the text of such values in a column beside
// theirs.
inline bool has_text_companion(LoadForm form)
{
    return form == LoadForm::Date || form == LoadForm::Timestamp || form == LoadForm::TimestampTz ||
           form == LoadForm::Interval;
}

// What a value written holds that a loaded column's type may not hold as
// it is; the loaders keep it whole, and the summary counts it.
namespace value_facts {
// A number of more than 15 significant digits that is no 64-bit whole
// number: more than SQLite's REAL keeps.
constexpr std::uint8_t kLongDecimal = 1;
// A date before 15 October 1582 (Julian in the database's calendar) or
// before year 1: loaded as the same day of the Gregorian calendar.
constexpr std::uint8_t kBeforeGregorian = 2;
// A fraction of a second of more than six digits (of a time or an
// interval): PostgreSQL keeps six.
constexpr std::uint8_t kNanoseconds = 4;
// A time of a time zone region: its zone is the region's name.
constexpr std::uint8_t kRegion = 8;
// An interval of more years than PostgreSQL's interval holds (its months
// are a 32-bit count): NULL there.
constexpr std::uint8_t kBeyondPostgres = 16;
constexpr std::uint64_t kPostgresMostMonths = 2147483647;
// A LOB value written to a file of its own (--lob-files): the field holds
// the file's path, which the loaders read.
constexpr std::uint8_t kLobFile = 32;
// Those SQLite's loaded table does not hold as written, and PostgreSQL's:
// the value is kept as text (a number's digits in its column, a date's
// text beside it, a region's name in the zone's column).
constexpr std::uint8_t kSqliteKeepsText = kLongDecimal | kBeforeGregorian | kRegion;
constexpr std::uint8_t kPostgresKeepsText = kBeforeGregorian | kNanoseconds | kRegion | kBeyondPostgres;
}  // namespace value_facts

// What was written for one value.
enum class ValueNote : std::uint8_t {
    Written,      // the value as its type reads it
    Undecodable,  // bytes its type cannot hold (or cut short): 0x and their digits
    InvalidText,  // text not valid in its character set, or holding a NUL: 0x and its digits
    Locator,      // a LOB's locator, or a value of no known type: hexadecimal, not decoded
    // A LOB's locator, in hexadecimal, of a value stored apart from the row
    // that could not be read:
    LobLayout,    // its locator does not fit the layout of the pages read
    LobLost,      // none of its pages was found
    LobStored,    // stored compressed, deduplicated or encrypted (LOB$.FLAGS)
    LobSecureLayout,  // a SecureFile whose extent list or blocks are not of the layout read
};
inline bool decoded(ValueNote note) { return note == ValueNote::Written; }

struct LoadColumn {
    LoadForm form = LoadForm::Unknown;
    // Text: the character set its bytes are in; nullptr for AL32UTF8 (the
    // bytes are checked, then copied). Clob: the single-byte set its text
    // is stored in; nullptr for 2-byte Unicode.
    const Charset* charset = nullptr;
    // Text in a character set no converter is known for: only ASCII
    // values can be written as text.
    bool ascii_only = false;
    const ColumnType* decoder = nullptr;  // Number, Interval and Decoded: the dump's decoder of the type
};

// The form a column of `type` is written in (its decoder set for Number,
// Interval and Decoded).
LoadColumn load_column(schema::OracleType type);

// Text is copied sixteen bytes at a time: its room holds its size rounded
// up to a multiple of them.
constexpr std::size_t kTextCopyRoom = 16;

// The most bytes write_load_value writes for a value of a column, as a
// bound in proportion to the value's size: text in proportion to its bytes
// (a quoted field may double them), RAW two digits a byte, the other types
// a few hundred bytes, and any value its bytes in hexadecimal.
struct ValueRoom {
    std::size_t per_byte = 2;
    std::size_t fixed = 2;
    std::size_t of(std::size_t size) const { return per_byte * size + fixed; }
};

// The room of the column's values, quoted when `quoted`.
inline ValueRoom value_room(const LoadColumn& column, bool quoted)
{
    // "0x" and two digits a byte bound every form. Text's UTF-8 takes at
    // most three bytes for each byte of a single- or double-byte set, as
    // many as its bytes when it is UTF-8 already, and at most three for
    // each two of UTF-16 (two a byte are kept for it); the other types take
    // what the dump's decoders make room for, and " BC".
    constexpr std::size_t kMostOtherText = std::max<std::size_t>(sizeof NumberText::text, kDateTimeRoom) + 3;
    ValueRoom room;
    std::size_t text_per_byte = 0;
    switch (column.form) {
    case LoadForm::Text:
        text_per_byte = column.charset != nullptr ? 3 : 1;
        room.fixed = kTextCopyRoom;
        break;
    case LoadForm::NationalText: text_per_byte = 2; break;
    case LoadForm::Clob: text_per_byte = column.charset != nullptr ? 3 : 2; break;
    case LoadForm::Hex:
    case LoadForm::Blob:
    case LoadForm::Locator:
    case LoadForm::Unknown: break;
    default: room.fixed += kMostOtherText; break;
    }
    room.per_byte = std::max(room.per_byte, quoted ? 2 * text_per_byte : text_per_byte);
    return room;
}

// The end of a value's text, what was written, and its value_facts.
struct WrittenValue {
    char* end;
    ValueNote note;
    std::uint8_t facts = 0;
};

// Writes a value (not NULL) of the column at `out`, which has room for
// value_room(column, quoted).of(its size) bytes: its csv_fields, with a
// comma between two. A value cut short (it runs past its block) is written
// as bytes. With `quoted`, text that needs it is written as a quoted CSV
// field.
using LoadWriter = WrittenValue (*)(const LoadColumn& column, const ColumnValue& value, char* out, bool quoted);

// The value_facts of an interval's text as the dump writes it: +YY-MM, or
// +DD HH:MM:SS.FFFFFFFFF.
std::uint8_t interval_facts(const char* text, const char* end);

// Whether a number's plain decimal text (`text` to `end`) has more than 15
// significant digits and is no 64-bit whole number (value_facts::kLongDecimal).
bool beyond_real_and_integer(const char* text, const char* end);

// The writer of the column's values: chosen once for a column, then
// called for each of its values.
LoadWriter load_writer(const LoadColumn& column);

inline WrittenValue write_load_value(const LoadColumn& column, const ColumnValue& value, char* out, bool quoted = false)
{
    return load_writer(column)(column, value, out, quoted);
}

// Quotes the `length` bytes at `text` in place, quotes doubled; `text` has
// room for 2 * length + 2 bytes. Returns the end.
char* quote_in_place(char* text, std::size_t length);

// Text forms may hold commas, quotes and line breaks; the others never do.
inline bool may_need_quotes(LoadForm form)
{
    return form == LoadForm::Text || form == LoadForm::NationalText || form == LoadForm::Clob;
}

// What a text holds that matters to its writing: bytes past ASCII, a NUL,
// a comma, a quote, CR or LF (which make a CSV field quoted). One word of
// bits, so that it is returned in a register.
struct TextScan {
    static constexpr unsigned kBeyondAscii = 1;
    static constexpr unsigned kNul = 2;
    static constexpr unsigned kSpecial = 4;
    unsigned found = 0;

    bool beyond_ascii() const { return (found & kBeyondAscii) != 0; }
    bool nul() const { return (found & kNul) != 0; }
    bool special() const { return (found & kSpecial) != 0; }
};
// `readable`: bytes from `text` on that may be read, at least `length`
// (more let the last few bytes be read a word at a time).
TextScan scan_text(const char* text, std::size_t length, std::size_t readable);

}  // namespace unload
