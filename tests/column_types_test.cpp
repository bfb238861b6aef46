// The decoders of the column types beyond NUMBER, VARCHAR2 and DATE, one
// table of cases per type, the time zone regions against their list, the
// character sets, and the types end to end through a template.
#include <charconv>
#include <fstream>
#include <gtest/gtest.h>
#include <iconv.h>

#include "values/charsets.h"
#include "test_support.h"
#include "values/tz_regions.h"

namespace {

using datafile::Bytes;
using datafile::Column;

const char* const kDeclined = nullptr;

struct Case {
    Bytes bytes;
    const char* text;  // kDeclined when the decoder must decline the bytes
};

std::string describe(const Bytes& bytes) { return bytes.empty() ? "(empty)" : spaced_hex(bytes.data(), bytes.size()); }

// Runs every case through the decoder of `keyword`.
void check(std::string_view keyword, const std::vector<Case>& cases)
{
    const ColumnType& type = find_column_type(keyword);
    ASSERT_EQ(type.keyword, keyword);
    for (const Case& c : cases) {
        std::string text(type.text_room(c.bytes.size()), '\0');
        char* end = type.decode(ByteView(c.bytes.data(), c.bytes.size()), text.data(), {});
        if (c.text == kDeclined) {
            EXPECT_EQ(end, nullptr) << keyword << ": " << describe(c.bytes) << "gives " << text.c_str();
            continue;
        }
        ASSERT_NE(end, nullptr) << keyword << ": " << describe(c.bytes) << "declined";
        EXPECT_EQ(std::string(text.data(), end), c.text) << keyword << ": " << describe(c.bytes);
    }
}

// A date and time as a DATE stores it: century and year + 100, then month,
// day, and hour, minute and second + 1.
Bytes moment(int year, int month, int day, int hour = 0, int minute = 0, int second = 0)
{
    return datafile::date_value(year, month, day, hour, minute, second);
}

Bytes operator+(Bytes a, const Bytes& b)
{
    for (std::uint8_t byte : b) a.push_back(byte);
    return a;
}

const Bytes kNanos = {0x07, 0x5B, 0xCD, 0x15};  // 123456789

TEST(ColumnTypes, Timestamp)
{
    const std::vector<Case> cases = {
        {{0x78, 0x70, 0x04, 0x01, 0x0D, 0x23, 0x39, 0x07, 0x5B, 0xCD, 0x15}, "2012-04-01 12:34:56.123456789"},
        {moment(2012, 4, 1, 12, 34, 56), "2012-04-01 12:34:56"},
        {moment(2012, 4, 1) + Bytes{0, 0, 0, 0}, "2012-04-01 00:00:00.000000000"},
        {moment(2012, 4, 1) + Bytes{0x3B, 0x9A, 0xC9, 0xFF}, "2012-04-01 00:00:00.999999999"},
        {moment(2012, 4, 1) + Bytes{0x3B, 0x9A, 0xCA, 0x00}, kDeclined},  // 10^9 nanoseconds
        {{}, ""},
        {moment(2012, 4, 1) + Bytes{0}, kDeclined},
        {Bytes{0x78, 0x70, 0x04, 0x01, 0x01, 0x01}, kDeclined},
        {moment(2012, 4, 1) + kNanos + Bytes{0}, kDeclined},
        // The years: BC ones negative, none 0, -4712 to 9999, both halves of one sign.
        {{0x35, 0x58, 0x01, 0x01, 0x01, 0x01, 0x01}, "-4712-01-01 00:00:00"},
        {moment(-4713, 12, 31), kDeclined},
        {moment(-1, 12, 31, 23, 59, 59), "-0001-12-31 23:59:59"},
        {moment(0, 6, 1), kDeclined},
        {moment(1, 1, 1), "0001-01-01 00:00:00"},
        {moment(9999, 12, 31, 23, 59, 59) + kNanos, "9999-12-31 23:59:59.123456789"},
        {{0xC8, 0x64, 0x01, 0x01, 0x01, 0x01, 0x01}, kDeclined},  // 10000
        {{0x77, 0x63, 0x01, 0x01, 0x01, 0x01, 0x01}, kDeclined},  // century 19, year -1
        {{0x63, 0x96, 0x01, 0x01, 0x01, 0x01, 0x01}, kDeclined},  // century -1, year 50
        // Months and days on the calendar: Julian leap years before 1582.
        {moment(2012, 13, 1), kDeclined},
        {moment(2012, 4, 0), kDeclined},
        {moment(2012, 4, 31), kDeclined},
        {moment(2000, 2, 29), "2000-02-29 00:00:00"},
        {moment(2000, 2, 30), kDeclined},
        {moment(1900, 2, 29), kDeclined},
        {moment(1500, 2, 29), "1500-02-29 00:00:00"},
        {moment(-4712, 2, 29), "-4712-02-29 00:00:00"},
        {moment(-4711, 2, 29), kDeclined},
        {moment(1582, 10, 4), "1582-10-04 00:00:00"},
        {moment(1582, 10, 5), kDeclined},
        {moment(1582, 10, 14), kDeclined},
        {moment(1582, 10, 15), "1582-10-15 00:00:00"},
        // Hours, minutes and seconds.
        {moment(2012, 4, 1, 24, 0, 0), kDeclined},
        {moment(2012, 4, 1, 0, 60, 0), kDeclined},
        {moment(2012, 4, 1, 0, 0, 60), kDeclined},
        {{0x78, 0x70, 0x04, 0x01, 0x00, 0x01, 0x01}, kDeclined},
    };
    check("TIMESTAMP", cases);
    check("TIMESTAMP WITH LOCAL TIME ZONE", cases);
}

TEST(ColumnTypes, TimestampWithTimeZone)
{
    const Bytes utc = moment(2012, 4, 1, 16, 4, 56) + kNanos;
    check("TIMESTAMP WITH TIME ZONE",
          {
              {utc + Bytes{0x11, 0x1E}, "2012-04-01 12:34:56.123456789 -03:30"},
              {utc + Bytes{0x14, 0x3C}, "2012-04-01 16:04:56.123456789 +00:00"},
              {utc + Bytes{0x89, 0x9C}, "2012-04-01 16:04:56.123456789 UTC (US/Pacific)"},
              {utc + Bytes{0x89, 0x9F}, "2012-04-01 16:04:56.123456789 UTC (US/Pacific)"},
              {utc + Bytes{0x80, 0x00}, "2012-04-01 16:04:56.123456789 UTC (region id 0)"},
              {utc + Bytes{0xFF, 0xFC}, "2012-04-01 16:04:56.123456789 UTC (region id 8191)"},
              {{}, ""},
              {utc + Bytes{0x11}, kDeclined},
              {utc + Bytes{0x11, 0x1E, 0x00}, kDeclined},
              {moment(2012, 2, 30) + kNanos + Bytes{0x14, 0x3C}, kDeclined},
              {moment(2012, 4, 1) + Bytes{0x3B, 0x9A, 0xCA, 0x00, 0x14, 0x3C}, kDeclined},
              // The local time carries into the date, across years, the
              // calendar change and the missing year 0.
              {moment(2012, 12, 31, 20, 0, 0) + kNanos + Bytes{0x19, 0x69}, "2013-01-01 01:45:00.123456789 +05:45"},
              {moment(2012, 3, 1, 5, 0, 0) + kNanos + Bytes{0x0D, 0x3C}, "2012-02-29 22:00:00.123456789 -07:00"},
              {moment(1582, 10, 15, 0, 30, 0) + kNanos + Bytes{0x13, 0x3C}, "1582-10-04 23:30:00.123456789 -01:00"},
              {moment(1582, 10, 4, 23, 30, 0) + kNanos + Bytes{0x15, 0x3C}, "1582-10-15 00:30:00.123456789 +01:00"},
              {moment(1, 1, 1, 0, 0, 0) + kNanos + Bytes{0x14, 0x1E}, "-0001-12-31 23:30:00.123456789 -00:30"},
              {moment(-1, 12, 31, 23, 0, 0) + kNanos + Bytes{0x16, 0x3C}, "0001-01-01 01:00:00.123456789 +02:00"},
              {moment(9999, 12, 31, 23, 0, 0) + kNanos + Bytes{0x16, 0x3C}, kDeclined},
              {moment(-4712, 1, 1, 1, 0, 0) + kNanos + Bytes{0x12, 0x3C}, kDeclined},
              // Offsets from -12:00 to +14:00, hour and minute of one sign.
              {utc + Bytes{0x22, 0x3C}, "2012-04-02 06:04:56.123456789 +14:00"},
              {utc + Bytes{0x22, 0x3D}, kDeclined},
              {utc + Bytes{0x08, 0x3C}, "2012-04-01 04:04:56.123456789 -12:00"},
              {utc + Bytes{0x08, 0x3B}, kDeclined},
              {utc + Bytes{0x17, 0x1E}, kDeclined},  // +03 and -30 minutes
              {utc + Bytes{0x11, 0x5A}, kDeclined},  // -03 and +30 minutes
              {utc + Bytes{0x14, 0x78}, kDeclined},  // 60 minutes
          });
}

TEST(ColumnTypes, Intervals)
{
    check("INTERVAL YEAR TO MONTH", {
                                        {{0x80, 0x00, 0x07, 0xE5, 0x46}, "+2021-10"},
                                        {{0x80, 0x00, 0x00, 0x00, 0x39}, "-00-03"},
                                        {{0x7F, 0xFF, 0xFF, 0xFF, 0x3A}, "-01-02"},
                                        {{0x80, 0x00, 0x00, 0x00, 0x3C}, "+00-00"},
                                        {{0xBB, 0x9A, 0xC9, 0xFF, 0x47}, "+999999999-11"},
                                        {{0xBB, 0x9A, 0xCA, 0x00, 0x3C}, kDeclined},
                                        {{0x80, 0x00, 0x00, 0x00, 0x48}, kDeclined},  // 12 months
                                        {{0x80, 0x00, 0x00, 0x00, 0x30}, kDeclined},  // -12 months
                                        {{0x80, 0x00, 0x00, 0x01, 0x3B}, kDeclined},  // +1 year, -1 month
                                        {{0x80, 0x00, 0x00, 0x00}, kDeclined},
                                        {{}, ""},
                                    });
    check("INTERVAL DAY TO SECOND",
          {
              {{0x7F, 0xFF, 0xFF, 0xFE, 0x30, 0x25, 0x1A, 0x64, 0xC5, 0xF3, 0xF8}, "-02 12:23:34.456789000"},
              {{0x80, 0x00, 0x00, 0x00, 0x3C, 0x3C, 0x3C, 0x80, 0x00, 0x00, 0x00}, "+00 00:00:00.000000000"},
              {{0x80, 0x00, 0x00, 0x7B, 0x40, 0x41, 0x42, 0x80, 0x00, 0x00, 0x07}, "+123 04:05:06.000000007"},
              {{0x80, 0x00, 0x00, 0x00, 0x3C, 0x3C, 0x3C, 0x7F, 0xFF, 0xFF, 0xFF}, "-00 00:00:00.000000001"},
              {{0x80, 0x00, 0x00, 0x00, 0x53, 0x77, 0x77, 0xBB, 0x9A, 0xC9, 0xFF}, "+00 23:59:59.999999999"},
              {{0x80, 0x00, 0x00, 0x00, 0x54, 0x3C, 0x3C, 0x80, 0x00, 0x00, 0x00}, kDeclined},  // 24 hours
              {{0x80, 0x00, 0x00, 0x00, 0x3C, 0x78, 0x3C, 0x80, 0x00, 0x00, 0x00}, kDeclined},  // 60 minutes
              {{0x80, 0x00, 0x00, 0x00, 0x3C, 0x3C, 0x00, 0x80, 0x00, 0x00, 0x00}, kDeclined},  // -60 seconds
              {{0x80, 0x00, 0x00, 0x00, 0x3C, 0x3C, 0x3C, 0xBB, 0x9A, 0xCA, 0x00}, kDeclined},  // 10^9 ns
              {{0x80, 0x00, 0x00, 0x01, 0x3B, 0x3C, 0x3C, 0x80, 0x00, 0x00, 0x00}, kDeclined},  // +1 day, -1 hour
              {{0x80, 0x00, 0x00, 0x00, 0x3C, 0x3C, 0x3D, 0x7F, 0xFF, 0xFF, 0xFF}, kDeclined},
              {{0x80, 0x00, 0x00, 0x00, 0x3C, 0x3C, 0x3C, 0x80, 0x00, 0x00}, kDeclined},
              {{}, ""},
          });
}

TEST(ColumnTypes, BinaryFloatAndDouble)
{
    // Plain notation for decimal exponents from -4 to 15, else d.ddde+XX.
    check("BINARY_FLOAT", {
                              {{0xC3, 0x06, 0x73, 0x33}, "134.45"},
                              {{0x40, 0x3F, 0xFF, 0xFF}, "-1.5"},
                              {{0xD8, 0x63, 0x5F, 0xA9}, "1000000000000000"},
                              {{0xDA, 0x0E, 0x1B, 0xCA}, "1e+16"},
                              {{0xB8, 0xD1, 0xB7, 0x17}, "0.0001"},
                              {{0xB7, 0x27, 0xC5, 0xAC}, "1e-05"},
                              {{0xFF, 0x7F, 0xFF, 0xFF}, "3.4028235e+38"},
                              {{0x80, 0x00, 0x00, 0x01}, "1e-45"},
                              {{0x80, 0x00, 0x00, 0x00}, "0"},
                              {{0x7F, 0xFF, 0xFF, 0xFF}, "-0"},
                              {{0xFF, 0xC0, 0x00, 0x00}, "Nan"},
                              {{0x00, 0x3F, 0xFF, 0xFF}, "Nan"},
                              {{0xFF, 0x80, 0x00, 0x00}, "Inf"},
                              {{0x00, 0x7F, 0xFF, 0xFF}, "-Inf"},
                              {{0xC3, 0x06, 0x73}, kDeclined},
                              {{0xC3, 0x06, 0x73, 0x33, 0x00}, kDeclined},
                              {{}, ""},
                          });
    check("BINARY_DOUBLE", {
                               {{0xC3, 0x0C, 0x6B, 0xF5, 0x26, 0x34, 0x00, 0x00}, "1000000000000000"},
                               {{0xC3, 0x41, 0xC3, 0x79, 0x37, 0xE0, 0x80, 0x00}, "1e+16"},
                               {{0xC3, 0x41, 0xC3, 0x79, 0x37, 0xE0, 0x7F, 0xFF}, "9999999999999998"},
                               {{0xC3, 0x0C, 0x6B, 0xF5, 0x26, 0x33, 0xFF, 0xFF}, "999999999999999.9"},
                               {{0xBF, 0x1A, 0x36, 0xE2, 0xEB, 0x1C, 0x43, 0x2D}, "0.0001"},
                               {{0xBE, 0xE4, 0xF8, 0xB5, 0x88, 0xE3, 0x68, 0xF1}, "1e-05"},
                               {{0x40, 0xDF, 0xE0, 0xCE, 0x0B, 0x91, 0x2D, 0xB9}, "-0.000123"},
                               {{0x41, 0x6F, 0x39, 0x08, 0x5F, 0x4A, 0x12, 0x72}, "-2.5e-07"},
                               {{0xBF, 0xB9, 0x99, 0x99, 0x99, 0x99, 0x99, 0x9A}, "0.1"},
                               {{0xBF, 0xD5, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}, "0.3333333333333333"},
                               {{0xFF, 0xEF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, "1.7976931348623157e+308"},
                               {{0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01}, "5e-324"},
                               {{0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, "0"},
                               {{0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, "-0"},
                               {{0xFF, 0xF8, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, "Nan"},
                               {{0xFF, 0xF0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, "Inf"},
                               {{0x00, 0x0F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, "-Inf"},
                               {{0xC3, 0x06, 0x73, 0x33}, kDeclined},
                               {{}, ""},
                           });
}

// Whole hundredths are printed apart from the general conversion; the text
// must be the same, the shortest that reads back.
TEST(ColumnTypes, BinaryDoubleOfWholeHundredthsIsItsShortestText)
{
    const ColumnType& type = find_column_type("BINARY_DOUBLE");
    std::uint64_t state = 12345;
    for (int i = 0; i < 2000; ++i) {
        state = state * 6364136223846793005u + 1442695040888963407u;
        const auto digits = static_cast<std::int64_t>(state >> (11 + i % 40));  // 16 digits down to 1
        for (std::int64_t hundredths : {digits % 10000000000000000, -digits % 100000, digits % 100}) {
            const double value = static_cast<double>(hundredths) / 100.0;
            char expected[64];
            const char* expected_end =
                std::to_chars(expected, expected + sizeof expected, value, std::chars_format::fixed).ptr;
            const Bytes bytes = datafile::binary_double_value(value);
            std::string room(type.text_room(8), '\0');
            char* text = room.data();
            const char* end = type.decode(ByteView(bytes.data(), bytes.size()), text, {});
            ASSERT_NE(end, nullptr) << value;
            EXPECT_EQ(std::string_view(text, static_cast<std::size_t>(end - text)),
                      std::string_view(expected, static_cast<std::size_t>(expected_end - expected)))
                << hundredths;
        }
    }
}

TEST(ColumnTypes, RawRowidAndBoolean)
{
    for (const char* keyword : {"RAW", "LONG RAW"})
        check(keyword, {{{0x00, 0xAB, 0xFF, 0x5C}, "00ABFF5C"}, {{0x0F}, "0F"}, {{}, ""}});
    const Bytes rowid = {0x00, 0x00, 0xD7, 0x89, 0x01, 0x80, 0x00, 0xE2, 0x00, 0x16};
    check("ROWID", {
                       {rowid, "AAANeJAAGAAAADiAAW"},
                       {Bytes(10, 0xFF), "D/////AP/AAP///P//"},
                       {Bytes(10, 0x00), "AAAAAAAAAAAAAAAAAA"},
                       {Bytes(rowid.begin(), rowid.end() - 1), kDeclined},
                       {rowid + Bytes{0}, kDeclined},
                       {{}, ""},
                   });
    check("UROWID", {
                        {{0x01, 0x00, 0x00, 0xD7, 0x89, 0x00, 0x06, 0x00, 0x00, 0x00, 0xE2, 0x00, 0x16},
                         "AAANeJAAGAAAADiAAW"},
                        {{0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
                         "D/////P//D/////P//"},
                        {{0x02, 0x00, 0x00, 0xD7, 0x89, 0x00, 0x06, 0x00, 0x00, 0x00, 0xE2, 0x00, 0x16}, kDeclined},
                        {{0x01, 0x00, 0x00, 0xD7, 0x89, 0x00, 0x06, 0x00, 0x00, 0x00, 0xE2, 0x00}, kDeclined},
                        {rowid, kDeclined},
                        {{}, ""},
                    });
    check("BOOLEAN", {{{0x01}, "TRUE"}, {{0x00}, "FALSE"}, {{0x02}, kDeclined}, {{0x01, 0x00}, kDeclined}, {{}, ""}});
    check("FLOAT", {{{0xC1, 0x0D, 0x33}, "12.5"}, {{0x80}, "0"}, {{0xFF, 0x65}, kDeclined}, {{}, ""}});
}

TEST(ColumnTypes, NationalText)
{
    for (const char* keyword : {"NCHAR", "NVARCHAR2"})
        check(keyword, {
                           {{0x00, 0x41, 0x00, 0xE9, 0x20, 0xAC}, "A\u00E9\u20AC"},
                           {{0xD8, 0x3D, 0xDE, 0x00, 0x00, 0x21}, "\U0001F600!"},
                           {{0xDB, 0xFF, 0xDF, 0xFF}, "\U0010FFFF"},
                           {{0x00}, kDeclined},
                           {{0x00, 0x41, 0x00}, kDeclined},
                           {{0xD8, 0x3D}, kDeclined},
                           {{0xD8, 0x3D, 0x00, 0x41}, kDeclined},
                           {{0xDE, 0x00, 0x00, 0x41}, kDeclined},
                           {{0xD8, 0x3D, 0xD8, 0x3D, 0xDE, 0x00}, kDeclined},
                           {{}, ""},
                       });
}

// The text of the bytes in the character set `name`, or "declined".
std::string converted(std::string_view name, const Bytes& bytes)
{
    std::string message;
    const std::shared_ptr<const Charset> charset = make_charset(name, message);
    if (charset == nullptr) return message;
    std::string text(3 * bytes.size(), '\0');
    char* end = convert_to_utf8(*charset, ByteView(bytes.data(), bytes.size()), text.data());
    return end == nullptr ? "declined" : std::string(text.data(), end);
}

TEST(Charsets, ConvertToUtf8)
{
    struct Conversion {
        const char* charset;
        Bytes bytes;
        const char* text;
    };
    const Conversion conversions[] = {
        {"AL32UTF8", {'h', 0xC3, 0xA9}, "h\u00E9"},
        {"AL32UTF8", {0xF0, 0x9F, 0x98, 0x80}, "\U0001F600"},
        {"AL32UTF8", {0xC3}, "declined"},
        {"AL32UTF8", {0xC0, 0x80}, "declined"},
        {"AL32UTF8", {0xED, 0xA0, 0xBD, 0xED, 0xB8, 0x80}, "declined"},
        // UTF8 also writes a supplementary character as its two surrogates.
        {"UTF8", {0xED, 0xA0, 0xBD, 0xED, 0xB8, 0x80, '!'}, "\U0001F600!"},
        {"UTF8", {0xF0, 0x9F, 0x98, 0x80}, "\U0001F600"},
        {"UTF8", {0xED, 0xA0, 0xBD}, "declined"},
        {"UTF8", {0xED, 0xA0, 0xBD, 'x', 'y', 'z'}, "declined"},
        {"UTF8", {0xED, 0xB8, 0x80}, "declined"},
        {"us7ascii", {'a', 'b', 'c'}, "abc"},
        {"US7ASCII", {'a', 0x80}, "declined"},
        {"WE8ISO8859P1", {0xE9, 0x80}, "\u00E9\u0080"},
        {"WE8MSWIN1252", {0x80, 0x9F}, "\u20AC\u0178"},
        {"WE8MSWIN1252", {0x81}, "declined"},
        {"EE8MSWIN1250", {0x8A, 0xA3}, "\u0160\u0141"},
        {"CL8MSWIN1251", {0xC0, 0xFF}, "\u0410\u044F"},
        {"CL8MSWIN1251", {0x98}, "declined"},
        {"ZHS16GBK", {0xB0, 0xA1, 'x', 0x80}, "\u554Ax\u20AC"},
        {"ZHS16GBK", {'x', 0xB0}, "declined"},
        {"ZHS16GBK", {0xB0, 0x20}, "declined"},
        // JIS X 0208 as the standard maps it, NEC's rows as Windows does, ASCII below 0x80.
        {"JA16SJIS", {0x81, 0x60, 0x87, 0x40, 0xB1, 0x5C, 0x7E}, "\u301C\u2460\uFF71\\~"},
        {"JA16SJIS", {0x81}, "declined"},
        {"KO16MSWIN949", {0xB0, 0xA1, 0x81, 0x41}, "\uAC00\uAC02"},
        {"ZHT16MSWIN950", {0xA4, 0x40}, "\u4E00"},
        {"ZHT16MSWIN950", {}, ""},
    };
    for (const Conversion& c : conversions)
        EXPECT_EQ(converted(c.charset, c.bytes), c.text) << c.charset << ": " << describe(c.bytes);
    EXPECT_EQ(converted("LATIN1", {'a'}), unknown_charset_message("LATIN1"));
}

// The single-byte tables compiled in give what the C library's converters do.
TEST(Charsets, SingleByteTablesAgreeWithTheCLibrary)
{
    for (auto [name, converter] : {std::pair{"WE8ISO8859P1", "ISO-8859-1"}, std::pair{"WE8MSWIN1252", "CP1252"},
                                   std::pair{"EE8MSWIN1250", "CP1250"}, std::pair{"CL8MSWIN1251", "CP1251"}}) {
        iconv_t cd = iconv_open("UTF-8", converter);
        ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1)) << converter;
        for (unsigned b = 0; b < 256; ++b) {
            char in[1] = {static_cast<char>(b)};
            char out[8];
            char* in_at = in;
            char* out_at = out;
            std::size_t in_left = 1, out_left = sizeof out;
            const bool converts = iconv(cd, &in_at, &in_left, &out_at, &out_left) != static_cast<std::size_t>(-1);
            EXPECT_EQ(converted(name, {static_cast<std::uint8_t>(b)}), converts ? std::string(out, out_at) : "declined")
                << name << " byte " << b;
        }
        iconv_close(cd);
    }
}

TEST(ColumnTypes, TimeZoneRegionsAreTheirList)
{
    std::ifstream list(TREVANIX_SOURCE_DIR "/dumper/values/tz_regions.tsv");
    ASSERT_TRUE(list);
    std::string line;
    std::size_t count = 0;
    while (std::getline(list, line)) {
        if (line.empty() || line[0] == '#') continue;
        const std::size_t tab = line.find('\t');
        ASSERT_NE(tab, std::string::npos) << line;
        const auto id = static_cast<unsigned>(std::stoul(line.substr(0, tab)));
        EXPECT_EQ(tz_region_name(id), line.substr(tab + 1));
        ++count;
    }
    EXPECT_EQ(count, kTzRegionCount);
    EXPECT_EQ(tz_region_name(615), "US/Pacific");
    EXPECT_EQ(tz_region_name(0), "");
    EXPECT_EQ(tz_region_name(8191), "");
}

}  // namespace

namespace {

// The builder's rows of the new types, a row of NULLs and a row of one
// byte each, through the template of the new keywords.
class NewKeywords : public ::testing::Test {
protected:
    ScratchDir dir;
    std::string data;
    std::string tpl;
    void SetUp() override
    {
        datafile::File file = datafile::types_file();
        file.blocks[1].rows.push_back(datafile::head_piece(std::vector<Column>(16, Column::null())));
        file.blocks[1].rows.push_back(datafile::head_piece(std::vector<Column>(16, Column::bytes({0x02}))));
        data = dir.write("types.dbf", file);
        tpl = dir.write("types.template", datafile::types_template());
    }
};

TEST_F(NewKeywords, PrintTheirTextAndDumpWhatTheyDecline)
{
    const RunResult r = run_trevanix({"-f", data, "-c", tpl, "-s", "|", "-b", "1"});
    const std::string hex = "1: 02 \n";
    EXPECT_EQ(r.output, kRule +
                            "12.5|2012-04-01 12:34:56.123456789|2012-04-01 12:34:56.123456789 -03:30|"
                            "2012-04-01 16:04:56|+01-06|-02 12:23:34.456789000|134.45|1e+16|DEADBEEF|0102|"
                            "Cr\xE8me br\xFBl\xE9" "e|Zo\u00EB|\u6771\u4EAC|"
                            "AAANeJAAGAAAADiAAW|AAANeJAAGAAAADiAAW|TRUE|" +
                            kRule +
                            "|-4712-01-01 00:00:00|2012-04-01 19:34:56.000000000 UTC (US/Pacific)|"
                            "1582-10-15 00:00:00.500000000|-00-03|+00 00:00:00.000000000|-0|0.0001||||"
                            "3: 00 41 00 \n\U0001F600||3: 02 04 00 \nFALSE|" +
                            kRule + std::string(16, '|') + kRule + hex + hex + hex + hex + hex + hex + hex + hex +
                            "02|02|\x02|" + hex + hex + hex + hex + hex);
    EXPECT_EQ(r.status, 0);
}

TEST_F(NewKeywords, ExportAsTextWithTheirCharacterSets)
{
    const RunResult r =
        run_trevanix({"-f", data, "-c", tpl, "--format", "jsonl", "-b", "1", "--charset", "WE8MSWIN1252"});
    const std::vector<Json> records = parse_json_lines(r.output);
    ASSERT_EQ(records.size(), 4u);
    std::vector<std::string> first;
    for (const Json& c : records[0]["columns"].items) first.push_back(c.text);
    EXPECT_EQ(first, (std::vector<std::string>{"12.5", "2012-04-01 12:34:56.123456789",
                                               "2012-04-01 12:34:56.123456789 -03:30", "2012-04-01 16:04:56",
                                               "+01-06", "-02 12:23:34.456789000", "134.45", "1e+16", "DEADBEEF",
                                               "0102", "Cr\u00E8me br\u00FBl\u00E9e", "Zo\u00EB", "\u6771\u4EAC",
                                               "AAANeJAAGAAAADiAAW", "AAANeJAAGAAAADiAAW", "TRUE"}));
    const auto& second = records[1]["columns"].items;
    ASSERT_EQ(second.size(), 16u);
    EXPECT_EQ(second[0].kind, Json::Null);
    EXPECT_EQ(second[8].text, "");
    EXPECT_EQ(second[11]["hex"].text, "004100");
    for (const Json& c : records[2]["columns"].items) EXPECT_EQ(c.kind, Json::Null);
    const auto& declined = records[3]["columns"].items;
    ASSERT_EQ(declined.size(), 16u);
    EXPECT_EQ(declined[0]["hex"].text, "02");
    EXPECT_EQ(declined[8].text, "02");
    EXPECT_EQ(declined[11]["hex"].text, "02");
}

TEST(CharsetOption, ConvertsTextColumnsInEveryFormat)
{
    ScratchDir dir;
    datafile::Block b;
    b.rows = {datafile::head_piece({Column::bytes({'c', 'a', 'f', 0xE9}), Column::bytes({0x80}),
                                    Column::bytes({0x81}), Column::bytes({0x00, 0xE9})})};
    const std::string data = dir.write("text.dbf", file_of({b}));
    const std::string tpl = dir.write("text.template", "VARCHAR2\nCHAR\nLONG\nNCHAR\n");
    auto run = [&](std::vector<std::string> extra) {
        std::vector<std::string> args{"-f", data, "-c", tpl, "-s", "|"};
        args.insert(args.end(), extra.begin(), extra.end());
        return run_trevanix(args);
    };
    // Without --charset the bytes are printed as they are.
    EXPECT_EQ(run({}).output, kRule + "caf\xE9|\x80|\x81|\u00E9|" + kCompleted);
    EXPECT_EQ(run({"--charset", "WE8MSWIN1252"}).output, kRule + "caf\u00E9|\u20AC|1: 81 \n\u00E9|" + kCompleted);
    EXPECT_EQ(run({"--charset=WE8ISO8859P1"}).output, kRule + "caf\u00E9|\u0080|\u0081|\u00E9|" + kCompleted);
    const RunResult jsonl = run({"--charset", "WE8MSWIN1252", "--format", "jsonl"});
    EXPECT_NE(jsonl.output.find(R"("columns": ["café", "€", {"hex": "81"}, "é"])"), std::string::npos)
        << jsonl.output;
    const RunResult csv = run({"--charset", "WE8MSWIN1252", "--format", "csv"});
    EXPECT_NE(csv.output.find(",café,€,0x81,é\r\n"), std::string::npos) << csv.output;

    const RunResult unknown = run({"--charset", "KLINGON"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_EQ(unknown.output, "");
    EXPECT_EQ(unknown.errors, unknown_charset_message("KLINGON"));
    const RunResult missing = run({"--charset"});
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.errors, "trevanix: --charset needs a value\n");
}

}  // namespace
