// Values written for loading: each type's text, what is written as bytes
// and counted, CSV quoting, and the scan that decides it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "datafile_builder.h"
#include "schema/schema.h"
#include "unload/load_values.h"
#include "values/charsets.h"

namespace {

using datafile::Bytes;
using schema::OracleType;
using unload::LoadColumn;
using unload::LoadForm;
using unload::ValueNote;

Bytes text(std::string_view s) { return Bytes(s.begin(), s.end()); }

struct Written {
    std::string text;
    ValueNote note;
    std::uint8_t facts;
};

// The value as a column of `column` writes it, quoted where text needs it.
Written write(const LoadColumn& column, const Bytes& value, bool truncated = false)
{
    const bool quoted = unload::may_need_quotes(column.form);
    // Room to spare past what the writer may write: a value that needs more shows.
    std::vector<char> out(unload::value_room(column, quoted).of(value.size()) + 64, '\xEE');
    // A value cut short announces more bytes than it has.
    const auto announced = static_cast<std::uint16_t>(value.size() + (truncated ? 1 : 0));
    const ColumnValue bytes{ByteView(value.data(), value.size()), static_cast<std::uint32_t>(value.size()), announced,
                            false};
    const unload::WrittenValue written = unload::write_load_value(column, bytes, out.data(), quoted);
    EXPECT_LE(static_cast<std::size_t>(written.end - out.data()), unload::value_room(column, quoted).of(value.size()));
    return {std::string(out.data(), written.end), written.note, written.facts};
}

Written write(OracleType type, const Bytes& value, bool truncated = false)
{
    return write(unload::load_column(type), value, truncated);
}

std::string text_of(OracleType type, const Bytes& value) { return write(type, value).text; }

TEST(LoadValues, NumbersArePlainDecimals)
{
    using datafile::number_value;
    EXPECT_EQ(text_of(OracleType::Number, number_value("0")), "0");
    EXPECT_EQ(text_of(OracleType::Number, number_value("-12.5")), "-12.5");
    EXPECT_EQ(text_of(OracleType::Number, number_value("0.001")), "0.001");
    EXPECT_EQ(text_of(OracleType::Number, number_value("98765432109876543210")), "98765432109876543210");
    EXPECT_EQ(text_of(OracleType::Float, number_value("0.125")), "0.125");
    const Written damaged = write(OracleType::Number, {0xC1, 0x02, 0xFF});
    EXPECT_EQ(damaged.text, "0xC102FF");
    EXPECT_EQ(damaged.note, ValueNote::Undecodable);
}

TEST(LoadValues, DatesInIsoFormWithBcAfterYearsBeforeOne)
{
    using datafile::date_value;
    EXPECT_EQ(text_of(OracleType::Date, date_value(1985, 7, 14, 9, 30, 0)), "1985-07-14 09:30:00");
    EXPECT_EQ(text_of(OracleType::Date, date_value(1, 1, 1, 0, 0, 0)), "0001-01-01 00:00:00");
    EXPECT_EQ(text_of(OracleType::Date, date_value(-44, 3, 15, 12, 0, 0)), "0044-03-15 12:00:00 BC");
    EXPECT_EQ(text_of(OracleType::Date, date_value(9999, 12, 31, 23, 59, 59)), "9999-12-31 23:59:59");
    // No 30 February, and a DATE is seven bytes.
    EXPECT_EQ(write(OracleType::Date, date_value(2021, 2, 30, 0, 0, 0)).note, ValueNote::Undecodable);
    EXPECT_EQ(write(OracleType::Date, datafile::timestamp_value(2021, 2, 3, 4, 5, 6, 7)).text,
              "0x7879020305060700000007");
}

TEST(LoadValues, TimestampsKeepTheirFractionWithoutTrailingZeros)
{
    using datafile::timestamp_value;
    EXPECT_EQ(text_of(OracleType::Timestamp, timestamp_value(2020, 2, 29, 23, 59, 58, 123456000)),
              "2020-02-29 23:59:58.123456");
    EXPECT_EQ(text_of(OracleType::Timestamp, timestamp_value(2020, 2, 29, 23, 59, 58, 1)),
              "2020-02-29 23:59:58.000000001");
    EXPECT_EQ(text_of(OracleType::Timestamp, timestamp_value(2020, 2, 29, 23, 59, 58, 0)), "2020-02-29 23:59:58");
    // The database leaves a zero fraction out: seven bytes.
    EXPECT_EQ(text_of(OracleType::TimestampLtz, timestamp_value(2022, 1, 2, 3, 4, 5)), "2022-01-02 03:04:05");
    EXPECT_EQ(text_of(OracleType::Timestamp, timestamp_value(-4712, 1, 1, 0, 0, 0, 500000000)),
              "4712-01-01 00:00:00.5 BC");
    EXPECT_EQ(write(OracleType::Timestamp, Bytes(9, 0x78)).note, ValueNote::Undecodable);
}

TEST(LoadValues, TimestampsWithTimeZoneInTheirOwnZoneAndTheZoneAfter)
{
    // 12:00 at +02:00 is stored as 10:00 UTC.
    EXPECT_EQ(text_of(OracleType::TimestampTz, datafile::timestamp_tz_value(2021, 6, 1, 12, 0, 0, 500000000, 120)),
              "2021-06-01 12:00:00.5 +02:00,+02:00");
    EXPECT_EQ(text_of(OracleType::TimestampTz, datafile::timestamp_tz_value(2021, 12, 31, 23, 30, 0, 0, -210)),
              "2021-12-31 23:30:00 -03:30,-03:30");
    // A region's rules are not known: its UTC time, at the offset of UTC,
    // and the region's name in the zone's field.
    EXPECT_EQ(text_of(OracleType::TimestampTz, datafile::timestamp_region_value(2021, 6, 1, 10, 0, 0, 0, 382)),
              "2021-06-01 10:00:00 +00:00,Europe/Paris");
    EXPECT_EQ(text_of(OracleType::TimestampTz, datafile::timestamp_region_value(2021, 6, 1, 10, 0, 0, 0, 4095)),
              "2021-06-01 10:00:00 +00:00,region id 4095");
    EXPECT_EQ(text_of(OracleType::TimestampTz, datafile::timestamp_tz_value(-44, 3, 15, 12, 0, 0, 0, 60)),
              "0044-03-15 12:00:00 +01:00 BC,+01:00");
    // Bytes no time has: no zone either.
    const Written bytes = write(OracleType::TimestampTz, Bytes(13, 0x78));
    EXPECT_EQ(bytes.note, ValueNote::Undecodable);
    EXPECT_EQ(bytes.text, "0x78787878787878787878787878,");
}

TEST(LoadValues, FactsOfValuesADatabaseMayNotHoldAsWritten)
{
    using namespace unload::value_facts;
    auto facts = [](OracleType type, const Bytes& value) { return write(type, value).facts; };
    // Numbers: whole numbers of 64 bits and numbers of up to 15 digits are
    // held as they are; others keep their digits.
    EXPECT_EQ(facts(OracleType::Number, datafile::number_value("9223372036854775807")), 0);
    EXPECT_EQ(facts(OracleType::Number, datafile::number_value("-9223372036854775808")), 0);
    EXPECT_EQ(facts(OracleType::Number, datafile::number_value("9223372036854775808")), kLongDecimal);
    EXPECT_EQ(facts(OracleType::Number, datafile::number_value("-9223372036854775809")), kLongDecimal);
    EXPECT_EQ(facts(OracleType::Number, datafile::number_value("1234567890.12345")), 0);
    EXPECT_EQ(facts(OracleType::Number, datafile::number_value("1234567890.123456")), kLongDecimal);
    EXPECT_EQ(facts(OracleType::Number, datafile::number_value("100000000000000000000000000000")), 0);
    EXPECT_EQ(facts(OracleType::Number, datafile::number_value("0.000000000000000000000000000001")), 0);
    EXPECT_EQ(facts(OracleType::Number, datafile::number_value("-0.12345678901234567890123456789012345678")),
              kLongDecimal);
    // Dates before the Gregorian calendar, fractions past microseconds, regions.
    EXPECT_EQ(facts(OracleType::Date, datafile::date_value(1582, 10, 15, 0, 0, 0)), 0);
    EXPECT_EQ(facts(OracleType::Date, datafile::date_value(1582, 10, 4, 23, 59, 59)), kBeforeGregorian);
    EXPECT_EQ(facts(OracleType::Date, datafile::date_value(-4712, 1, 1, 0, 0, 0)), kBeforeGregorian);
    EXPECT_EQ(facts(OracleType::Timestamp, datafile::timestamp_value(2020, 1, 1, 0, 0, 0, 123456000)), 0);
    EXPECT_EQ(facts(OracleType::Timestamp, datafile::timestamp_value(2020, 1, 1, 0, 0, 0, 123456001)), kNanoseconds);
    EXPECT_EQ(facts(OracleType::Timestamp, datafile::timestamp_value(-1, 1, 1, 0, 0, 0)), kBeforeGregorian);
    EXPECT_EQ(facts(OracleType::TimestampTz, datafile::timestamp_region_value(1000, 1, 1, 0, 0, 0, 1, 382)),
              kBeforeGregorian | kNanoseconds | kRegion);
    // A time zone's local date decides: 1582-10-15 01:00 at +02:00 is 1582-10-14 UTC.
    EXPECT_EQ(facts(OracleType::TimestampTz, datafile::timestamp_tz_value(1582, 10, 15, 1, 0, 0, 0, 120)), 0);
    EXPECT_EQ(facts(OracleType::TimestampTz, datafile::timestamp_tz_value(1582, 10, 4, 23, 0, 0, 0, -120)),
              kBeforeGregorian);
    // Intervals: fractions past microseconds, and more months than 32 bits
    // count, either way.
    EXPECT_EQ(facts(OracleType::IntervalDs, datafile::interval_ds_value(-2, -12, -23, -34, -456789000)), 0);
    EXPECT_EQ(facts(OracleType::IntervalDs, datafile::interval_ds_value(0, 0, 0, 0, 1)), kNanoseconds);
    EXPECT_EQ(facts(OracleType::IntervalDs, datafile::interval_ds_value(-1, 0, 0, 0, -100000010)), kNanoseconds);
    EXPECT_EQ(facts(OracleType::IntervalYm, datafile::interval_ym_value(178956970, 7)), 0);
    EXPECT_EQ(facts(OracleType::IntervalYm, datafile::interval_ym_value(178956970, 8)), kBeyondPostgres);
    EXPECT_EQ(facts(OracleType::IntervalYm, datafile::interval_ym_value(-999999999, -11)), kBeyondPostgres);
    EXPECT_EQ(write(OracleType::IntervalYm, datafile::interval_ym_value(-999999999, -11)).text, "-999999999-11");
}

TEST(LoadValues, TextIsUtf8QuotedWhereCsvNeedsItAndInvalidTextIsBytes)
{
    EXPECT_EQ(text_of(OracleType::Varchar2, text("Gr\xC3\xBC\xC3\x9F" "e")), "Gr\xC3\xBC\xC3\x9F" "e");
    EXPECT_EQ(text_of(OracleType::Char, text("ABC       ")), "ABC       ");  // CHAR keeps its padding
    EXPECT_EQ(text_of(OracleType::Varchar2, text("SCOTT, \"JR\"")), "\"SCOTT, \"\"JR\"\"\"");
    EXPECT_EQ(text_of(OracleType::Long, text("two\r\nlines")), "\"two\r\nlines\"");
    const Written invalid = write(OracleType::Varchar2, {'a', 0xC3, 0x28});
    EXPECT_EQ(invalid.text, "0x61C328");
    EXPECT_EQ(invalid.note, ValueNote::InvalidText);
    // A NUL is no text a loader takes.
    EXPECT_EQ(write(OracleType::Varchar2, {'a', 0x00, 'b'}).note, ValueNote::InvalidText);
}

TEST(LoadValues, TextOfOtherCharacterSetsIsConverted)
{
    std::string message;
    const auto cp1252 = make_charset("WE8MSWIN1252", message);
    ASSERT_NE(cp1252, nullptr) << message;
    LoadColumn column = unload::load_column(OracleType::Varchar2);
    column.charset = cp1252.get();
    EXPECT_EQ(write(column, text("Cr\xE8me, br\xFBl\xE9" "e")).text, "\"Cr\xC3\xA8me, br\xC3\xBBl\xC3\xA9" "e\"");
    EXPECT_EQ(write(column, {0x81}).note, ValueNote::InvalidText);  // no character of the set

    LoadColumn ascii = unload::load_column(OracleType::Varchar2);
    ascii.ascii_only = true;
    EXPECT_EQ(write(ascii, text("plain")).text, "plain");
    EXPECT_EQ(write(ascii, text("\xC3\xBC")).text, "0xC3BC");

    EXPECT_EQ(text_of(OracleType::Nvarchar2, datafile::nchar_value("Zo\u00EB")), "Zo\u00EB");
    EXPECT_EQ(write(OracleType::Nchar, {0x00, 0x41, 0x00}).note, ValueNote::InvalidText);  // odd length
}

TEST(LoadValues, RawIsHexDigitsAndLobLocatorsAreNotDecoded)
{
    EXPECT_EQ(write(OracleType::Raw, {0xDE, 0xAD, 0xBE, 0xEF}).text, "DEADBEEF");
    EXPECT_EQ(write(OracleType::LongRaw, {0x00, 0xFF}).note, ValueNote::Written);
    const Written locator = write(OracleType::Blob, {0x00, 0x70, 0x01});
    EXPECT_EQ(locator.text, "007001");
    EXPECT_EQ(locator.note, ValueNote::Locator);
    EXPECT_EQ(write(OracleType::Clob, {0x01}).note, ValueNote::Locator);
    const Written unknown = write(OracleType::Unknown, {0x01, 0x02});
    EXPECT_EQ(unknown.text, "0x0102");
    EXPECT_EQ(unknown.note, ValueNote::Locator);
}

TEST(LoadValues, OtherTypesAsTheExportWritesThem)
{
    EXPECT_EQ(text_of(OracleType::IntervalYm, datafile::interval_ym_value(1, 6)), "+01-06");
    EXPECT_EQ(text_of(OracleType::IntervalYm, datafile::interval_ym_value(-2, -3)), "-02-03");
    EXPECT_EQ(text_of(OracleType::IntervalDs, datafile::interval_ds_value(3, 4, 5, 6, 700000000)),
              "+03 04:05:06.700000000");
    EXPECT_EQ(text_of(OracleType::BinaryDouble, datafile::binary_double_value(-2.25)), "-2.25");
    EXPECT_EQ(text_of(OracleType::BinaryFloat, datafile::binary_float_value(1.5f)), "1.5");
    EXPECT_EQ(text_of(OracleType::Rowid, datafile::rowid_value(59, 1, 521, 0)), "AAAAA7AABAAAAIJAAA");
    EXPECT_EQ(text_of(OracleType::Boolean, {0x01}), "TRUE");
    EXPECT_EQ(write(OracleType::Boolean, {0x07}).note, ValueNote::Undecodable);
}

TEST(LoadValues, AValueCutShortIsItsBytes)
{
    const Written cut = write(OracleType::Varchar2, text("half"), true);
    EXPECT_EQ(cut.text, "0x68616C66");
    EXPECT_EQ(cut.note, ValueNote::Undecodable);
    EXPECT_EQ(write(OracleType::Raw, {0xAB}, true).text, "0xAB");
}

TEST(LoadValues, EachTypeHasItsForm)
{
    EXPECT_EQ(unload::load_column(OracleType::Number).form, LoadForm::Number);
    EXPECT_EQ(unload::load_column(OracleType::Date).form, LoadForm::Date);
    EXPECT_EQ(unload::load_column(OracleType::TimestampLtz).form, LoadForm::Timestamp);
    EXPECT_EQ(unload::load_column(OracleType::Nchar).form, LoadForm::NationalText);
    EXPECT_EQ(unload::load_column(OracleType::Bfile).form, LoadForm::Locator);
    EXPECT_EQ(unload::load_column(OracleType::Urowid).form, LoadForm::Decoded);
    EXPECT_EQ(unload::load_column(OracleType::IntervalYm).form, LoadForm::Interval);
    EXPECT_TRUE(unload::has_text_companion(LoadForm::Interval));
    EXPECT_TRUE(unload::may_need_quotes(LoadForm::Text));
    EXPECT_FALSE(unload::may_need_quotes(LoadForm::Decoded));
}

TEST(TextScan, FindsWhatMattersAtAnyPlaceAndNothingPastTheEnd)
{
    for (std::size_t length : {1u, 7u, 8u, 15u, 16u, 17u, 40u}) {
        for (char c : {',', '"', '\r', '\n', '\0', '\xC3'}) {
            for (std::size_t at = 0; at < length; ++at) {
                std::string s(length + 16, 'x');
                s[at] = c;
                const unload::TextScan scan = unload::scan_text(s.data(), length, s.size());
                EXPECT_EQ(scan.special(), c != '\0' && c != '\xC3') << length << " " << at;
                EXPECT_EQ(scan.nul(), c == '\0') << length << " " << at;
                EXPECT_EQ(scan.beyond_ascii(), c == '\xC3') << length << " " << at;
            }
            // The same byte just past the end counts for nothing.
            std::string s(length + 16, 'x');
            s[length] = c;
            const unload::TextScan past = unload::scan_text(s.data(), length, s.size());
            EXPECT_FALSE(past.special() || past.nul() || past.beyond_ascii()) << length;
        }
    }
}

// Text is checked and copied in steps of sixteen bytes when the bytes
// after it may be read, one at a time when not: both give the same field.
TEST(LoadValues, TextIsWrittenAlikeWhetherOrNotTheBytesAfterItMayBeRead)
{
    const LoadColumn column = unload::load_column(OracleType::Varchar2);
    auto write_in = [&](const std::string& bytes, std::size_t length, std::size_t readable) {
        std::vector<char> out(unload::value_room(column, true).of(length), '\xEE');
        const ColumnValue value{ByteView(reinterpret_cast<const std::uint8_t*>(bytes.data()), length),
                                static_cast<std::uint32_t>(readable), static_cast<std::uint16_t>(length), false};
        const unload::WrittenValue written = unload::write_load_value(column, value, out.data(), true);
        return Written{std::string(out.data(), written.end), written.note, written.facts};
    };
    for (std::size_t length : {0u, 1u, 15u, 16u, 17u, 31u, 32u, 33u, 47u}) {
        for (char c : {'x', ',', '"', '\r', '\n', '\0', '\xC3'}) {
            for (std::size_t at = 0; at <= length; ++at) {
                std::string bytes(length + 32, 'y');
                bytes[at] = c;  // at == length: the byte just past the value
                const Written alone = write_in(bytes, length, length);
                const Written with_room = write_in(bytes, length, bytes.size());
                EXPECT_EQ(with_room.text, alone.text) << length << " " << at << " " << int(c);
                EXPECT_EQ(with_room.note, alone.note) << length << " " << at << " " << int(c);
                const std::string value = bytes.substr(0, length);
                const bool inside = at < length;
                if (!inside || c == 'x') {
                    EXPECT_EQ(alone.text, value);
                } else if (c == '\0' || c == '\xC3') {
                    EXPECT_EQ(alone.note, ValueNote::InvalidText);
                } else if (c != '"') {
                    EXPECT_EQ(alone.text, '"' + value + '"');
                }
            }
        }
    }
}

TEST(TextScan, QuotingDoublesQuotes)
{
    std::string s = "a\"b\"";
    s.resize(2 * s.size() + 2);
    char* end = unload::quote_in_place(s.data(), 4);
    EXPECT_EQ(std::string(s.data(), end), "\"a\"\"b\"\"\"");
}

}  // namespace
