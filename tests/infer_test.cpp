// Type inference: the strict checks of single values, the decision over a
// whole column, the evidence, the sampler, the table a schema file holds
// for it, and the accuracy over generated tables of every type.
#include <gtest/gtest.h>

#include <cmath>
#include <iostream>
#include <map>
#include <set>

#include "datafile_builder.h"
#include "infer/decide.h"
#include "inference_accuracy.h"
#include "infer/sampler.h"
#include "random_numbers.h"
#include "schema/ddl_parser.h"
#include "schema/ddl_writer.h"
#include "schema/oracle_types.h"
#include "values/charsets.h"

namespace {

using datafile::Bytes;
using datafile::Random;
using namespace infer;

ByteView view(const Bytes& bytes) { return {bytes.data(), bytes.size()}; }
Bytes text(std::string_view s) { return Bytes(s.begin(), s.end()); }

// ---------------------------------------------------------------------------
// Single values.

TEST(InferValueChecks, NumbersInTheirCanonicalEncodingOnly)
{
    auto digits = [](const Bytes& bytes) -> std::string {
        const auto d = canonical_number(view(bytes));
        return d ? std::to_string(d->integer) + "," + std::to_string(d->fraction) : "invalid";
    };
    using datafile::number_value;
    EXPECT_EQ(digits(number_value("0")), "1,0");
    EXPECT_EQ(digits(number_value("7")), "1,0");
    EXPECT_EQ(digits(number_value("1000")), "4,0");
    EXPECT_EQ(digits(number_value("123.45")), "3,2");
    EXPECT_EQ(digits(number_value("-12.5")), "2,1");
    EXPECT_EQ(digits(number_value("0.001")), "0,3");
    EXPECT_EQ(digits(number_value("-0.5")), "0,1");
    EXPECT_EQ(digits(number_value("98765432109876543210")), "20,0");
    // A negative number of 20 mantissa bytes has no terminator.
    const Bytes full = number_value("-1234567890123456789012345678901234567.9");
    ASSERT_EQ(full.size(), 21u);
    EXPECT_EQ(digits(full), "37,1");

    EXPECT_EQ(digits({}), "invalid");
    EXPECT_EQ(digits({0x00}), "invalid");
    EXPECT_EQ(digits({0xC1}), "invalid");
    EXPECT_EQ(digits({0xC1, 0x02, 0x01}), "invalid");  // a trailing zero digit
    EXPECT_EQ(digits({0xC2, 0x01, 0x02}), "invalid");  // a leading zero digit
    EXPECT_EQ(digits({0xC1, 0x65}), "invalid");        // 0x65 is no digit of a positive number
    EXPECT_EQ(digits({0x3E, 0x64}), "invalid");        // negative without its terminator
    EXPECT_EQ(digits({0x3E, 0x65, 0x66}), "invalid");  // a negative zero
    EXPECT_EQ(digits(text("A")), "invalid");
    EXPECT_EQ(digits(text("AF")), "invalid");
    EXPECT_EQ(digits(text(">`f")), "1,0");  // -5 is printable
    Bytes too_long(22, 0x02);
    too_long[0] = 0xC1;
    EXPECT_EQ(digits(too_long), "invalid");
}

TEST(InferValueChecks, DatesAndTimestamps)
{
    using datafile::date_value;
    using datafile::timestamp_tz_value;
    using datafile::timestamp_value;
    const YearRange years;
    EXPECT_TRUE(is_plausible_date(view(date_value(2024, 2, 29, 23, 59, 59)), years));
    EXPECT_TRUE(is_plausible_date(view(date_value(1000, 1, 1, 0, 0, 0)), years));
    EXPECT_FALSE(is_plausible_date(view(date_value(2023, 2, 29, 0, 0, 0)), years));
    EXPECT_FALSE(is_plausible_date(view(date_value(1900, 2, 29, 0, 0, 0)), years));
    EXPECT_TRUE(is_plausible_date(view(date_value(1500, 2, 29, 0, 0, 0)), years));  // Julian
    EXPECT_FALSE(is_plausible_date(view(date_value(1582, 10, 10, 0, 0, 0)), years));
    EXPECT_FALSE(is_plausible_date(view(date_value(2024, 4, 31, 0, 0, 0)), years));
    EXPECT_FALSE(is_plausible_date(view(date_value(2024, 1, 1, 24, 0, 0)), years));
    EXPECT_FALSE(is_plausible_date(view(date_value(2024, 13, 1, 0, 0, 0)), years));
    // Every year the type holds, BC ones too (both bytes of the year below
    // 100), but no year 0 and no year whose two halves differ in sign.
    for (int year : {-4712, -1, 1, 999, 3000, 9999})
        EXPECT_TRUE(is_plausible_date(view(date_value(year, 2, 28, 12, 0, 0)), years)) << year;
    EXPECT_TRUE(is_plausible_date(view(date_value(-4712, 2, 29, 0, 0, 0)), years));  // BC leap years divide by 4
    EXPECT_FALSE(is_plausible_date(view(date_value(-4711, 2, 29, 0, 0, 0)), years));
    EXPECT_FALSE(is_plausible_date(view({100, 100, 1, 1, 1, 1, 1}), years));  // year 0
    EXPECT_FALSE(is_plausible_date(view({99, 150, 1, 1, 1, 1, 1}), years));   // -1 century, +50 years
    EXPECT_FALSE(is_plausible_date(view({52, 88, 1, 1, 1, 1, 1}), years));    // 4812 BC
    // A narrower range keeps the years written for no start and no end.
    const YearRange modern{1000, 2999};
    EXPECT_FALSE(is_plausible_date(view(date_value(999, 12, 31, 0, 0, 0)), modern));
    EXPECT_FALSE(is_plausible_date(view(date_value(3000, 1, 1, 0, 0, 0)), modern));
    EXPECT_FALSE(is_plausible_date(view(date_value(-1, 1, 1, 0, 0, 0)), modern));
    EXPECT_TRUE(is_plausible_date(view(date_value(9999, 12, 31, 0, 0, 0)), modern));  // "no end"
    EXPECT_TRUE(is_plausible_date(view(date_value(1, 1, 1, 0, 0, 0)), modern));       // "no start"
    EXPECT_FALSE(is_plausible_date(view(timestamp_value(2024, 1, 1, 0, 0, 0, 5)), years));

    auto fraction = [&](const Bytes& bytes) { return timestamp_fraction_digits(view(bytes), years).value_or(-1); };
    EXPECT_EQ(fraction(timestamp_value(2024, 1, 1, 0, 0, 0, 500000000)), 1);
    EXPECT_EQ(fraction(timestamp_value(2024, 1, 1, 0, 0, 0, 123456789)), 9);
    EXPECT_EQ(fraction(timestamp_value(2024, 1, 1, 0, 0, 0, 1000000000)), -1);
    EXPECT_EQ(fraction(timestamp_value(2024, 1, 1, 0, 0, 0)), -1);  // seven bytes: a DATE's shape

    auto tz = [&](const Bytes& bytes) { return timestamp_tz_fraction_digits(view(bytes), years).value_or(-1); };
    EXPECT_EQ(tz(timestamp_tz_value(2024, 5, 1, 12, 0, 0, 250000000, 330)), 2);
    EXPECT_EQ(tz(timestamp_tz_value(2024, 5, 1, 12, 0, 0, 0, -12 * 60)), 0);
    EXPECT_EQ(tz(timestamp_tz_value(2024, 5, 1, 12, 0, 0, 0, 14 * 60 + 1)), -1);
    EXPECT_EQ(tz(datafile::timestamp_region_value(2024, 5, 1, 12, 0, 0, 0, 615)), 0);
    EXPECT_EQ(tz(datafile::timestamp_region_value(2024, 5, 1, 12, 0, 0, 0, 8000)), -1);  // no such region
    Bytes mixed_signs = timestamp_tz_value(2024, 5, 1, 12, 0, 0, 0, 0);
    mixed_signs[11] = 21;  // +1 hour
    mixed_signs[12] = 30;  // -30 minutes
    EXPECT_EQ(tz(mixed_signs), -1);
}

TEST(InferValueChecks, IntervalsRowidsAndBooleans)
{
    using datafile::interval_ds_value;
    using datafile::interval_ym_value;
    auto leading = [](const std::optional<IntervalDigits>& d) { return d ? d->leading * 10 + d->fraction : -1; };
    EXPECT_EQ(leading(interval_ym_digits(view(interval_ym_value(1, 6)))), 10);
    EXPECT_EQ(leading(interval_ym_digits(view(interval_ym_value(-120, -3)))), 30);
    EXPECT_EQ(leading(interval_ym_digits(view(interval_ym_value(1, -6)))), -1);
    EXPECT_EQ(leading(interval_ym_digits(view(interval_ym_value(0, 12)))), -1);
    EXPECT_EQ(leading(interval_ds_digits(view(interval_ds_value(12, 3, 4, 5, 500000000)))), 21);
    EXPECT_EQ(leading(interval_ds_digits(view(interval_ds_value(-2, -12, -23, -34, -456789000)))), 16);
    EXPECT_EQ(leading(interval_ds_digits(view(interval_ds_value(2, 24, 0, 0, 0)))), -1);
    EXPECT_EQ(leading(interval_ds_digits(view(interval_ds_value(2, -1, 0, 0, 0)))), -1);

    EXPECT_TRUE(is_plausible_rowid(view(datafile::rowid_value(55177, 6, 226, 22))));
    EXPECT_FALSE(is_plausible_rowid(view(datafile::rowid_value(0, 6, 226, 22))));
    EXPECT_FALSE(is_plausible_rowid(view(datafile::rowid_value(55177, 0, 226, 22))));
    EXPECT_FALSE(is_plausible_rowid(view(datafile::rowid_value(55177, 6, 226, 60000))));
    const Bytes urowid = {0x01, 0x00, 0x00, 0xD7, 0x89, 0x00, 0x06, 0x00, 0x00, 0x00, 0xE2, 0x00, 0x16};
    EXPECT_TRUE(is_plausible_urowid(view(urowid)));
    Bytes logical = urowid;
    logical[0] = 0x02;
    EXPECT_FALSE(is_plausible_urowid(view(logical)));

    EXPECT_TRUE(is_boolean(view({0x00})));
    EXPECT_TRUE(is_boolean(view({0x01})));
    EXPECT_FALSE(is_boolean(view({0x02})));
    EXPECT_FALSE(is_boolean(view({0x00, 0x01})));
}

// Any number of the type's whole range is a value, and so are the
// infinities and NaN as the database writes it; only other NaN are not.
TEST(InferValueChecks, BinaryFloatingPointOfTheWholeRange)
{
    using datafile::binary_double_value;
    using datafile::binary_float_value;
    for (double value : {0.0, -0.0, 1.5, -2.25, 1e-30, 6.02e23, -1e37, 1e300, -1e-300, 5e-324, HUGE_VAL,
                         -HUGE_VAL, std::nan("")})
        EXPECT_TRUE(is_stored_binary(view(binary_double_value(value)), kBinaryDouble)) << value;
    for (float value : {0.0f, 134.45f, -1e-6f, 3e18f, 1e30f, 1e-45f, HUGE_VALF, std::nanf("")})
        EXPECT_TRUE(is_stored_binary(view(binary_float_value(value)), kBinaryFloat)) << value;
    // A NaN with a payload, or a signalling one.
    EXPECT_FALSE(is_stored_binary(view({0xFF, 0xF8, 0, 0, 0, 0, 0, 1}), kBinaryDouble));
    EXPECT_FALSE(is_stored_binary(view({0xFF, 0xF0, 0, 0, 0, 0, 0, 1}), kBinaryDouble));
    EXPECT_FALSE(is_stored_binary(view({0x00, 0x00, 0x00, 0x00}), kBinaryFloat));  // every bit of a negative NaN
    EXPECT_FALSE(is_stored_binary(view(binary_double_value(1.5)), kBinaryFloat));
    EXPECT_FALSE(is_stored_binary(view(binary_float_value(1.5f)), kBinaryDouble));
    // The IEEE bits of the stored bytes.
    EXPECT_EQ(ieee_bits(view(binary_double_value(-2.25)), kBinaryDouble), 0xC002000000000000u);
    EXPECT_EQ(ieee_bits(view(binary_float_value(1.5f)), kBinaryFloat), 0x3FC00000u);
}

// The evidence of a column's binary numbers and of its text, against
// random bytes: each distinct value weighed once, the first of them.
TEST(InferEvidenceOfValues, BinaryNumbersAgainstRandomBytes)
{
    auto evidence = [](const std::vector<Bytes>& values, const BinaryFormat& format) {
        BinaryNumbers numbers(format);
        for (const Bytes& value : values)
            if (is_stored_binary(view(value), format)) numbers.add(view(value));
        return numbers;
    };
    EXPECT_EQ(evidence({}, kBinaryDouble).log_evidence(), 0);
    const BinaryNumbers prices = evidence({datafile::binary_double_value(12.5), datafile::binary_double_value(19.99),
                                           datafile::binary_double_value(7.25)},
                                          kBinaryDouble);
    EXPECT_GT(prices.log_evidence(), std::log(1000.0));
    // The same value again is no more evidence.
    const BinaryNumbers repeated =
        evidence(std::vector<Bytes>(30, datafile::binary_double_value(19.99)), kBinaryDouble);
    EXPECT_EQ(repeated.distinct(), 1u);
    EXPECT_EQ(repeated.log_evidence(),
              evidence({datafile::binary_double_value(19.99)}, kBinaryDouble).log_evidence());
    // Only the first distinct values are kept.
    std::vector<Bytes> many;
    for (int i = 0; i < 100; ++i) many.push_back(datafile::binary_float_value(static_cast<float>(i)));
    EXPECT_EQ(evidence(many, kBinaryFloat).distinct(), BinaryNumbers::kMostKept);
    // Random bytes: their exponents spread over the whole range.
    Random random(9);
    std::vector<Bytes> noise;
    for (int i = 0; i < 30; ++i) noise.push_back(random.bytes(8));
    EXPECT_LT(evidence(noise, kBinaryDouble).log_evidence(), 0);
}

TEST(InferEvidenceOfValues, TextAgainstRandomBytes)
{
    const TextModel model = TextModel::database(nullptr);
    auto evidence = [&](std::initializer_list<std::string_view> values) {
        TextEvidence text;
        std::vector<std::uint32_t> codes;
        for (std::string_view value : values) {
            const Bytes bytes(value.begin(), value.end());
            if (!text.is_new(view(bytes))) continue;
            utf8_code_points(view(bytes), codes);
            text.add(view(bytes), codes, model);
        }
        return text.log_evidence();
    };
    EXPECT_EQ(evidence({}), 0);
    EXPECT_GT(evidence({"hello world", "Berlin"}), std::log(1e6));
    EXPECT_GT(evidence({"DE", "FR", "GB"}), 0);
    EXPECT_GT(evidence({"12345", "678"}), 0);
    EXPECT_GT(evidence({"\xD0\x9C\xD0\xBE\xD1\x81\xD0\xBA\xD0\xB2\xD0\xB0"}), 0);  // Москва
    EXPECT_EQ(evidence({"hello", "hello", "hello"}), evidence({"hello"}));
    EXPECT_LT(evidence({"\xC2\xB1\xC2\xA7\xC3\xB7", "\xC2\xA4\xC2\xAC"}), 0);  // ±§÷ ¤¬: symbols

    EXPECT_EQ(character_class('q'), CharacterClass::Lower);
    EXPECT_EQ(character_class('Q'), CharacterClass::Upper);
    EXPECT_EQ(character_class(' '), CharacterClass::Blank);
    EXPECT_EQ(character_class('@'), CharacterClass::Punctuation);
    EXPECT_EQ(character_class(0xE9), CharacterClass::Latin);
    EXPECT_EQ(character_class(0xF7), CharacterClass::Other);
    EXPECT_EQ(character_class(0x0416), CharacterClass::Cyrillic);
    EXPECT_EQ(character_class(0x6771), CharacterClass::Han);
    EXPECT_EQ(character_class(0xD55C), CharacterClass::Hangul);
    EXPECT_EQ(character_class(0x1F600), CharacterClass::Other);
}

TEST(InferValueChecks, TextValidAndPrintable)
{
    std::vector<char> scratch;
    EXPECT_TRUE(is_plausible_text(view(text("Hello, world\t1\r\n")), nullptr, scratch));
    EXPECT_TRUE(is_plausible_text(view(text("cr\xC3\xA8me br\xC3\xBBl\xC3\xA9" "e \xE6\x9D\xB1")), nullptr, scratch));
    EXPECT_FALSE(is_plausible_text(view(text("a\x01" "b")), nullptr, scratch));
    EXPECT_FALSE(is_plausible_text(view(text("del\x7F")), nullptr, scratch));
    EXPECT_FALSE(is_plausible_text(view(text("\xC2\x85")), nullptr, scratch));  // a C1 control
    EXPECT_FALSE(is_plausible_text(view(text("cr\xE8me")), nullptr, scratch));  // not UTF-8
    EXPECT_FALSE(is_plausible_text(view(text("\xC0\xAF")), nullptr, scratch));  // overlong

    std::string message;
    const auto windows = make_charset("WE8MSWIN1252", message);
    ASSERT_NE(windows, nullptr) << message;
    EXPECT_TRUE(is_plausible_text(view(text("cr\xE8me")), windows.get(), scratch));
    EXPECT_FALSE(is_plausible_text(view(text("\x81")), windows.get(), scratch));  // no character there
    EXPECT_FALSE(is_plausible_text(view(text("a\x1F")), windows.get(), scratch));

    using datafile::nchar_value;
    EXPECT_TRUE(is_plausible_national_text(view(nchar_value("Zo\u00EB M\u00FCller"))));
    EXPECT_TRUE(is_plausible_national_text(view(nchar_value("\u6771\u4EAC \uD55C\uAD6D\uC5B4 \U0001F600"))));
    EXPECT_FALSE(is_plausible_national_text(view(nchar_value("tab\x01"))));
    EXPECT_FALSE(is_plausible_national_text(view({0x00, 0x41, 0x00})));  // an odd length
    EXPECT_FALSE(is_plausible_national_text(view({0xD8, 0x3D, 0x00, 0x41})));  // a surrogate alone
    EXPECT_FALSE(is_plausible_national_text(view({0xE0, 0x00})));  // a private use character
    // Lower-case ASCII of even length reads as CJK ideographs; upper-case
    // letters before N as characters of a block left out.
    EXPECT_TRUE(is_plausible_national_text(view(text("ok"))));
    EXPECT_FALSE(is_plausible_national_text(view(text("AB"))));

    EXPECT_TRUE(ends_in_blank(view(text("ab  ")), false));
    EXPECT_FALSE(ends_in_blank(view(text("ab")), false));
    EXPECT_TRUE(ends_in_blank(view(nchar_value("ab ")), true));
    EXPECT_FALSE(ends_in_blank(view(text("a ")), true));
}

// ---------------------------------------------------------------------------
// Columns of each type.

// A table's rows as the row reader gives them: a value or NULL each.
using Value = std::optional<Bytes>;
using Row = std::vector<Value>;

ObjectStats stats_of(const std::vector<Row>& rows, const Options& options = {})
{
    ObjectStats stats(options);
    for (const Row& row : rows) {
        std::vector<std::optional<ByteView>> values;
        for (const Value& value : row) values.push_back(value ? std::optional<ByteView>(view(*value)) : std::nullopt);
        stats.add_row(values);
    }
    return stats;
}

// One column of these values, a row each.
std::vector<Row> column_rows(const std::vector<Value>& values)
{
    std::vector<Row> rows;
    for (const Value& value : values) rows.push_back({value});
    return rows;
}

// The inferred type of a one-column table, as a schema file writes it.
std::string type_of_column(const std::vector<Value>& values, const Options& options = {})
{
    const std::vector<InferredColumn> columns = decide(stats_of(column_rows(values), options));
    return columns.empty() ? "no column" : schema::sql_type_text(columns[0].column);
}

std::vector<Value> numbers(std::initializer_list<const char*> decimals)
{
    std::vector<Value> values;
    for (const char* decimal : decimals) values.emplace_back(datafile::number_value(decimal));
    return values;
}

TEST(InferColumns, NumbersGetPrecisionAndScaleFromTheirValues)
{
    EXPECT_EQ(type_of_column(numbers({"1", "22", "1234", "-7", "0"})), "NUMBER(4)");
    EXPECT_EQ(type_of_column(numbers({"1.5", "-22.25", "1234.125"})), "NUMBER(7,3)");
    EXPECT_EQ(type_of_column(numbers({"0.5", "0.001"})), "NUMBER(3,3)");
    EXPECT_EQ(type_of_column(numbers({"3.14159265358979", "2.71828182845905"})), "NUMBER");
    EXPECT_EQ(type_of_column(numbers({"12345678901234567890123456789012345678901"})), "NUMBER");  // 41 digits
}

TEST(InferColumns, DatesTimestampsAndZones)
{
    using datafile::date_value;
    using datafile::timestamp_value;
    EXPECT_EQ(type_of_column({date_value(2024, 1, 31, 0, 0, 0), date_value(1999, 12, 31, 23, 59, 59)}), "DATE");
    // Seven-byte values alone are DATEs; any with a fraction make TIMESTAMPs.
    EXPECT_EQ(type_of_column({timestamp_value(2024, 1, 31, 0, 0, 0), timestamp_value(2020, 2, 29, 1, 2, 3)}), "DATE");
    EXPECT_EQ(type_of_column({timestamp_value(2024, 1, 31, 0, 0, 0), timestamp_value(2020, 2, 29, 1, 2, 3, 500)}),
              "TIMESTAMP(7)");
    EXPECT_EQ(type_of_column({timestamp_value(2024, 1, 31, 0, 0, 0, 120000000)}), "TIMESTAMP(6)");
    EXPECT_EQ(type_of_column({datafile::timestamp_tz_value(2024, 1, 31, 0, 0, 0, 0, 60),
                              datafile::timestamp_region_value(2024, 1, 31, 0, 0, 0, 1, 369)}),
              "TIMESTAMP(9) WITH TIME ZONE");
    // Years out of the range given are not dates.
    Options old;
    old.years = {1, 999};
    EXPECT_EQ(type_of_column({date_value(2024, 1, 31, 0, 0, 0)}, old), "RAW(7)");
    EXPECT_EQ(type_of_column({date_value(800, 1, 31, 0, 0, 0)}, old), "DATE");
}

TEST(InferColumns, TextOfBothCharacterSets)
{
    using datafile::nchar_value;
    EXPECT_EQ(type_of_column({text("alpha"), text("beta"), text("a longer text, with punctuation.")}),
              "VARCHAR2(32 BYTE)");
    EXPECT_EQ(type_of_column({text("ab   "), text("abcd "), text("abcde")}), "CHAR(5 BYTE)");
    EXPECT_EQ(type_of_column({text("abcde"), text("fghij")}), "VARCHAR2(5 BYTE)");  // same length, no blanks
    EXPECT_EQ(type_of_column({nchar_value("Zo\u00EB"), nchar_value("M\u00FCller"), nchar_value("\u6771\u4EAC")}),
              "NVARCHAR2(6)");
    EXPECT_EQ(type_of_column({nchar_value("ab  "), nchar_value("abc ")}), "NCHAR(4)");
    EXPECT_EQ(type_of_column({Bytes(4001, 'x')}), "LONG");

    // In a single-byte character set, its own text.
    std::string message;
    const auto windows = make_charset("WE8MSWIN1252", message);
    ASSERT_NE(windows, nullptr) << message;
    Options options;
    options.database_charset = windows.get();
    EXPECT_EQ(type_of_column({text("cr\xE8me"), text("br\xFBl\xE9" "e")}, options), "VARCHAR2(6 BYTE)");
    EXPECT_EQ(type_of_column({text("cr\xE8me"), text("br\xFBl\xE9" "e")}), "RAW(6)");
    // A national character set of UTF8 is not told from the database's.
    options.national_utf16 = false;
    EXPECT_EQ(type_of_column({nchar_value("Zo\u00EB"), nchar_value("M\u00FCller")}, options), "RAW(12)");
}

TEST(InferColumns, BinaryTypesRowidsIntervalsAndBooleans)
{
    using datafile::binary_double_value;
    using datafile::binary_float_value;
    EXPECT_EQ(type_of_column({binary_double_value(1.5), binary_double_value(-1234.5678), binary_double_value(0)}),
              "BINARY_DOUBLE");
    EXPECT_EQ(type_of_column({binary_float_value(1.5f), binary_float_value(-134.45f)}), "BINARY_FLOAT");
    EXPECT_EQ(type_of_column({datafile::rowid_value(55177, 6, 226, 22), datafile::rowid_value(9, 1, 3, 0)}),
              "ROWID");
    EXPECT_EQ(type_of_column({Bytes{0x01, 0, 0, 0, 9, 0, 1, 0, 0, 0, 3, 0, 0}}), "UROWID(13)");
    EXPECT_EQ(type_of_column({datafile::interval_ym_value(1, 6), datafile::interval_ym_value(-100, 0)}),
              "INTERVAL YEAR(3) TO MONTH");
    EXPECT_EQ(type_of_column({datafile::interval_ds_value(1, 2, 3, 4, 5)}), "INTERVAL DAY(2) TO SECOND(9)");
    EXPECT_EQ(type_of_column({Bytes{0x00}, Bytes{0x01}, Bytes{0x01}}), "BOOLEAN");
    EXPECT_EQ(type_of_column({Bytes{0xDE, 0xAD, 0xBE, 0xEF, 0x00}, Bytes{0x01}}), "RAW(5)");
    EXPECT_EQ(type_of_column({Bytes(2001, 0xFF)}), "LONG RAW");
}

// A column of 8-byte values of binary doubles is taken for BINARY_DOUBLE
// whatever their magnitudes, and of 4-byte floats for BINARY_FLOAT.
TEST(InferColumns, BinaryNumbersOfEveryMagnitude)
{
    auto doubles = [](std::initializer_list<double> numbers) {
        std::vector<Value> values;
        for (double number : numbers) values.emplace_back(datafile::binary_double_value(number));
        return type_of_column(values);
    };
    EXPECT_EQ(doubles({1e-9, 2.5e-9, 7e-10, 3.3e-9}), "BINARY_DOUBLE");
    EXPECT_EQ(doubles({1e100, 3.7e100, 2.2e99}), "BINARY_DOUBLE");
    EXPECT_EQ(doubles({1e-300, 5e-301, 2.5e-299}), "BINARY_DOUBLE");
    EXPECT_EQ(doubles({1.7e308, 9e307, 1.1e308}), "BINARY_DOUBLE");
    EXPECT_EQ(doubles({-1.5, -22.75, -0.125}), "BINARY_DOUBLE");
    EXPECT_EQ(doubles({-3.14159, -2.71828, -1.41421}), "BINARY_DOUBLE");
    EXPECT_EQ(doubles({1, 42, 1000, 123456}), "BINARY_DOUBLE");
    EXPECT_EQ(doubles({1e-9, 1e100, -3.5, 42}), "BINARY_DOUBLE");
    EXPECT_EQ(doubles({1.5, HUGE_VAL, std::nan(""), -2.25, -HUGE_VAL}), "BINARY_DOUBLE");
    EXPECT_EQ(doubles({0, 0, 0}), "BINARY_DOUBLE");
    // Mixed magnitudes with nothing short among them: a few values at each.
    std::vector<Value> mixed;
    for (int i = 1; i <= 4; ++i)
        for (double magnitude : {1.234e-9, 5.678e100, 3.21})
            mixed.emplace_back(datafile::binary_double_value(magnitude * (1 + i / 7.0)));
    EXPECT_EQ(type_of_column(mixed), "BINARY_DOUBLE");

    auto floats = [](std::initializer_list<float> numbers) {
        std::vector<Value> values;
        for (float number : numbers) values.emplace_back(datafile::binary_float_value(number));
        return type_of_column(values);
    };
    // A float has fewer exponents than a double: three values far from 1
    // could be random bytes, five are not.
    EXPECT_EQ(floats({1e-30f, 3e-31f, 2.2e-30f, 7.7e-31f, 1.9e-30f}), "BINARY_FLOAT");
    EXPECT_EQ(floats({1e30f, 4e30f, 2.5e30f, 6.1e30f, 1.3e30f}), "BINARY_FLOAT");
    EXPECT_EQ(floats({3.4e38f, 1e38f, 2e38f}), "BINARY_FLOAT");
    EXPECT_EQ(floats({-1.5f, -134.45f, -0.25f}), "BINARY_FLOAT");
    EXPECT_EQ(floats({1.5f, HUGE_VALF, 7.0f}), "BINARY_FLOAT");
    EXPECT_EQ(floats({12.34f, 56.78f, 90.12f, 34.56f}), "BINARY_FLOAT");
}

// Random RAW values of 4 and 8 bytes are some binary number nearly every
// one, but a column of them does not look like one of numbers; nor does a
// code repeated.
TEST(InferColumns, RandomRawValuesAreNotBinaryNumbers)
{
    Random random(4242);
    int columns = 0;
    std::map<std::string, int> typed;
    for (std::size_t length : {4u, 8u}) {
        for (int count : {1, 2, 3, 5, 10, 30, 100, 300}) {
            for (int c = 0; c < 150; ++c) {
                std::vector<Value> values;
                for (int v = 0; v < count; ++v) values.emplace_back(random.bytes(length));
                const std::string type = type_of_column(values);
                ++columns;
                if (type.rfind("BINARY", 0) == 0) ++typed[type + " of " + std::to_string(count)];
            }
        }
    }
    EXPECT_EQ(columns, 2400);
    EXPECT_TRUE(typed.empty()) << typed.begin()->first;

    EXPECT_EQ(type_of_column(std::vector<Value>(50, Bytes{0xDE, 0xAD, 0xBE, 0xEF})), "RAW(4)");
    EXPECT_EQ(type_of_column(std::vector<Value>(50, Bytes{0xDE, 0xAD, 0xBE, 0xEF, 0xCA, 0xFE, 0xBA, 0xBE})),
              "RAW(8)");
    EXPECT_EQ(type_of_column({Bytes{0xDE, 0xAD, 0xBE, 0xEF}, Bytes{0xCA, 0xFE, 0xBA, 0xBE},
                              Bytes{0x01, 0x02, 0x03, 0x04}, Bytes{0xDE, 0xAD, 0xBE, 0xEF}}),
              "RAW(4)");

    // The evidence says what the values read as.
    std::vector<Value> raw;
    for (int v = 0; v < 20; ++v) raw.emplace_back(random.bytes(8));
    const std::vector<InferredColumn> inferred = decide(stats_of(column_rows(raw)));
    EXPECT_EQ(inferred[0].column.comment,
              "20 values: 100 % RAW, 0 NULL (100 % read as BINARY_DOUBLE, but unlike its values)");
}

// Values that are valid as two types are taken for the one they look like
// as a column: text for text, numbers for numbers, RAW for random bytes.
TEST(InferColumns, ValuesOfOneTypeThatReadAsAnother)
{
    using datafile::nchar_value;
    std::vector<char> scratch;
    // Five Latin letters in UTF-16 name an object, a file and a slot.
    const std::vector<Value> five = {nchar_value("ABCDE"), nchar_value("hello"), nchar_value("xylo ")};
    for (const Value& value : five) ASSERT_TRUE(is_plausible_rowid(view(*value)));
    EXPECT_EQ(type_of_column(five), "NCHAR(5)");
    // Four in UTF-16 are binary doubles of about 1e307, close together.
    EXPECT_EQ(type_of_column({nchar_value("ABCD"), nchar_value("WXYZ"), nchar_value("KLMN"), nchar_value("QRST")}),
              "NVARCHAR2(4)");
    // Four capitals are binary floats of one sign and close exponents.
    EXPECT_EQ(type_of_column({text("ABCD"), text("QRST"), text("MNOP"), text("WXYZ")}), "VARCHAR2(4 BYTE)");
    // CHAR(21) of capitals, digits and blanks is a negative NUMBER of 20
    // mantissa bytes; real ones of that length are still NUMBERs.
    const std::vector<Value> codes = {text("ABC                  "), text("XYZW                 "),
                                      text("Q1                   ")};
    for (const Value& value : codes) ASSERT_TRUE(canonical_number(view(*value)));
    EXPECT_EQ(type_of_column(codes), "CHAR(21 BYTE)");
    EXPECT_EQ(type_of_column(numbers({"-1234567890123456789012345678901234567.9",
                                      "-9876543210987654321098765432109876543.1"})),
              "NUMBER(38,1)");
    // A NUMBER of 10 bytes whose ninth is small is a plausible ROWID.
    const std::vector<Value> long_numbers =
        numbers({"123456789012340567", "123456789012340599", "223456789012340133"});
    for (const Value& value : long_numbers) ASSERT_TRUE(is_plausible_rowid(view(*value)));
    EXPECT_EQ(type_of_column(long_numbers), "NUMBER(18)");
    // Whole binary floats from 4096 to 16383 read as two Hangul syllables.
    std::vector<Value> floats;
    for (float number : {8943.0f, 5689.0f, 11570.0f, 7801.0f, 13000.0f}) {
        floats.emplace_back(datafile::binary_float_value(number));
        ASSERT_TRUE(is_plausible_national_text(view(floats.back().value())));
    }
    EXPECT_EQ(type_of_column(floats), "BINARY_FLOAT");

    // In a single-byte set most bytes are characters: random bytes that all
    // are still look like no text.
    std::string message;
    const auto windows = make_charset("WE8MSWIN1252", message);
    ASSERT_NE(windows, nullptr) << message;
    Options options;
    options.database_charset = windows.get();
    Random random(77);
    std::vector<Value> printable;
    while (printable.size() < 40) {
        Bytes value = random.bytes(4);
        if (is_plausible_text(view(value), windows.get(), scratch)) printable.push_back(std::move(value));
    }
    EXPECT_EQ(type_of_column(printable, options), "RAW(4)");
    std::vector<Value> words;
    for (const char* word : {"cr\xE8me", "br\xFBl\xE9" "e", "caf\xE9", "na\xEFve", "Stra\xDF" "e", "\xC5ngstr\xF6m"})
        words.emplace_back(text(word));
    EXPECT_EQ(type_of_column(words, options), "VARCHAR2(8 BYTE)");
}

// A column whose values read both ways is decided by the order of the
// candidates: here negative NUMBERs that are also printable ASCII (-5 is
// ">`f", -12.5 is ">Y3f"): NUMBER, since printable negative numbers are
// common and text that is all valid NUMBERs is not.
TEST(InferColumns, AmbiguousValuesAreTakenForTheMoreSpecificType)
{
    const std::vector<Value> values = numbers({"-5", "-12.5", "-7", "-30", "-4.5"});
    std::vector<char> scratch;
    for (const Value& value : values) ASSERT_TRUE(is_plausible_text(view(*value), nullptr, scratch));
    const std::vector<InferredColumn> columns = decide(stats_of(column_rows(values)));
    ASSERT_EQ(columns.size(), 1u);
    EXPECT_EQ(schema::sql_type_text(columns[0].column), "NUMBER(3,1)");
    EXPECT_EQ(columns[0].evidence.text(), "5 values: 100 % NUMBER, 0 NULL");
    // Short text that is seldom a NUMBER: one- and two-letter values never are.
    EXPECT_EQ(type_of_column({text("A"), text("AF"), text("Z"), text("ok")}), "VARCHAR2(2 BYTE)");
    // Even-length lower-case ASCII also reads as UTF-16: VARCHAR2 comes first.
    EXPECT_EQ(type_of_column({text("ok"), text("no"), text("maybe so")}), "VARCHAR2(8 BYTE)");
}

TEST(InferColumns, DamagedValuesDoNotChangeTheType)
{
    std::vector<Value> values;
    for (int i = 0; i < 98; ++i) values.emplace_back(datafile::number_value(std::to_string(i * 37 - 1000)));
    values.emplace_back(Bytes{0xC1, 0x02, 0x01});  // a trailing zero digit
    values.emplace_back(Bytes{0xFF, 0xFF, 0xFF});
    values.emplace_back(std::nullopt);
    const std::vector<InferredColumn> columns = decide(stats_of(column_rows(values)));
    ASSERT_EQ(columns.size(), 1u);
    EXPECT_EQ(schema::sql_type_text(columns[0].column), "NUMBER(4)");
    EXPECT_EQ(columns[0].column.comment, "101 values: 98 % NUMBER, 2 % not (damaged?), 1 NULL");

    // More than the allowance: RAW, and the evidence names what came closest.
    std::vector<Value> worse(values.begin(), values.begin() + 90);
    for (std::uint8_t i = 0; i < 10; ++i) worse.emplace_back(Bytes{0xFF, 0xFF, i});
    const std::vector<InferredColumn> raw = decide(stats_of(column_rows(worse)));
    EXPECT_EQ(raw[0].column.type, schema::OracleType::Raw);
    EXPECT_EQ(raw[0].column.comment, "100 values: 100 % RAW, 0 NULL (at most 90 % NUMBER)");

    // The share a type must explain is an option.
    Options lenient;
    lenient.explained_share = 0.9;
    EXPECT_EQ(type_of_column(worse, lenient), "NUMBER(4)");
}

TEST(InferColumns, AllNullColumnIsRawWithAComment)
{
    std::vector<Row> rows(57, Row{datafile::number_value("1"), std::nullopt});
    const std::vector<InferredColumn> columns = decide(stats_of(rows));
    ASSERT_EQ(columns.size(), 2u);
    EXPECT_EQ(schema::sql_type_text(columns[1].column), "RAW(2000)");
    EXPECT_EQ(columns[1].column.comment, "all 57 values NULL: type unknown, kept as RAW");
    EXPECT_EQ(columns[1].evidence.nulls, 57u);
}

TEST(InferColumns, RowsOfDifferentWidthsGiveTheWidest)
{
    using datafile::number_value;
    const std::vector<Row> rows = {
        {number_value("1"), text("a")},
        {number_value("2"), text("bb"), number_value("3"), datafile::date_value(2001, 1, 1, 0, 0, 0)},
        {number_value("4")},
        {},
    };
    const ObjectStats stats = stats_of(rows);
    EXPECT_EQ(stats.rows(), 4u);
    const std::vector<InferredColumn> columns = decide(stats);
    ASSERT_EQ(columns.size(), 4u);
    std::vector<std::string> seen;
    for (const InferredColumn& column : columns)
        seen.push_back(column.column.name + " " + schema::sql_type_text(column.column) + " -- " +
                       column.column.comment);
    EXPECT_EQ(seen, (std::vector<std::string>{
                        "C1 NUMBER(1) -- 4 values: 100 % NUMBER, 1 NULL",
                        "C2 VARCHAR2(2 BYTE) -- 4 values: 100 % VARCHAR2, 2 NULL",
                        "C3 NUMBER(1) -- 4 values: 100 % NUMBER, 3 NULL",
                        "C4 DATE -- 4 values: 100 % DATE, 3 NULL",
                    }));
    // An empty value is a NULL, as the database stores an empty string.
    EXPECT_EQ(decide(stats_of({{Bytes{}}, {text("x")}}))[0].evidence.nulls, 1u);
    EXPECT_TRUE(decide(stats_of({})).empty());
}

// ---------------------------------------------------------------------------
// Evidence.

TEST(InferEvidence, CountsAndPercentsAsAReaderWantsThem)
{
    auto evidence = [](std::uint64_t values, std::uint64_t nulls, std::uint64_t explained,
                       schema::OracleType type = schema::OracleType::Number) {
        Evidence e;
        e.values = values;
        e.nulls = nulls;
        e.explained = explained;
        e.type = type;
        return e.text();
    };
    EXPECT_EQ(evidence(1204, 0, 1204), "1,204 values: 100 % NUMBER, 0 NULL");
    EXPECT_EQ(evidence(1234567, 1000, 1233567), "1,234,567 values: 100 % NUMBER, 1,000 NULL");
    EXPECT_EQ(evidence(1, 0, 1, schema::OracleType::TimestampTz), "1 value: 100 % TIMESTAMP WITH TIME ZONE, 0 NULL");
    EXPECT_EQ(evidence(100, 0, 98), "100 values: 98 % NUMBER, 2 % not (damaged?), 0 NULL");
    EXPECT_EQ(evidence(1000, 0, 998), "1,000 values: 99.8 % NUMBER, 0.2 % not (damaged?), 0 NULL");
    EXPECT_EQ(evidence(100000, 0, 99999), "100,000 values: 99.9 % NUMBER, 0.1 % not (damaged?), 0 NULL");
    EXPECT_EQ(evidence(300, 100, 191), "300 values: 96 % NUMBER, 4 % not (damaged?), 100 NULL");
    EXPECT_EQ(evidence(57, 57, 0), "all 57 values NULL: type unknown, kept as RAW");
    Evidence closest;
    closest.values = 1000;
    closest.explained = 1000;
    closest.closest = schema::OracleType::Varchar2;
    closest.closest_explained = 1;
    EXPECT_EQ(closest.text(), "1,000 values: 100 % RAW, 0 NULL (at most 0.1 % VARCHAR2)");
}

// ---------------------------------------------------------------------------
// The sampler.

// How many of `rows` rows a sampler keeps, and how many in each tenth.
struct Sampled {
    std::uint64_t kept = 0;
    std::vector<std::uint64_t> tenths = std::vector<std::uint64_t>(10);
    std::vector<std::uint64_t> first_kept;  // the first 20 rows kept
};

Sampled sample(std::uint64_t rows, std::optional<std::uint64_t> expected = std::nullopt)
{
    RowSampler sampler(expected);
    Sampled sampled;
    for (std::uint64_t row = 0; row < rows; ++row) {
        if (!sampler.keep()) continue;
        ++sampled.tenths[row * 10 / rows];
        if (sampled.first_kept.size() < 20 && row >= kSampleRows) sampled.first_kept.push_back(row);
    }
    sampled.kept = sampler.kept();
    EXPECT_EQ(sampler.seen(), rows);
    return sampled;
}

TEST(InferSampler, KeepsEverythingUpToTheBound)
{
    EXPECT_EQ(sample(0).kept, 0u);
    EXPECT_EQ(sample(1234).kept, 1234u);
    EXPECT_EQ(sample(kSampleRows).kept, kSampleRows);
    EXPECT_EQ(sample(kSampleRows, kSampleRows).kept, kSampleRows);
    EXPECT_EQ(sample(5000, 100).kept, 5000u);  // an estimate below the bound keeps all
}

TEST(InferSampler, LargerObjectsGiveABoundedSpreadSample)
{
    // Unknown size: at least the bound, growing by half of it for each
    // doubling; every tenth of the object is represented.
    const Sampled unknown = sample(2'000'000);
    EXPECT_GE(unknown.kept, kSampleRows);
    EXPECT_LE(unknown.kept, kSampleRows + 5 * kSampleRows / 2 + 5);  // 2,000,000 rows: five doublings
    for (std::uint64_t tenth : unknown.tenths) EXPECT_GE(tenth, kSampleRows / 20) << "a tenth almost unsampled";

    // Known size: one row of every stretch, evenly spread.
    const Sampled known = sample(2'000'000, 2'000'000);
    EXPECT_EQ(known.kept, kSampleRows);
    for (std::uint64_t tenth : known.tenths) EXPECT_EQ(tenth, kSampleRows / 10);
    // The kept row is not always the same one of its stretch.
    std::set<std::uint64_t> offsets;
    for (std::uint64_t row : known.first_kept) offsets.insert(row % 20);
    EXPECT_GT(offsets.size(), 5u);
}

TEST(InferSampler, TheSameRowsGiveTheSameSample)
{
    const Sampled first = sample(700'000);
    const Sampled second = sample(700'000);
    EXPECT_EQ(first.kept, second.kept);
    EXPECT_EQ(first.tenths, second.tenths);
    EXPECT_EQ(first.first_kept, second.first_kept);
    EXPECT_EQ(first.first_kept.size(), 20u);
}

// ---------------------------------------------------------------------------
// The table, and the schema file it is written as.

std::vector<Row> small_table()
{
    using datafile::number_value;
    return {
        {number_value("1"), text("alpha"), std::nullopt},
        {number_value("1234"), std::nullopt, std::nullopt},
        {number_value("-22"), text("beta")},
    };
}

TEST(InferTable, NamesAndPlacement)
{
    const ObjectStats stats = stats_of(small_table());
    const schema::Table table = inferred_table(74570, std::nullopt, stats);
    EXPECT_EQ(table.name, "OBJ_74570");
    EXPECT_EQ(table.owner, "");
    EXPECT_EQ(table.data_object, 74570u);
    EXPECT_FALSE(table.cluster);
    ASSERT_EQ(table.columns.size(), 3u);
    for (std::uint32_t i = 0; i < 3; ++i) {
        EXPECT_EQ(table.columns[i].name, std::string("C").append(std::to_string(i + 1)));
        EXPECT_EQ(table.columns[i].segment_column, i + 1);
        EXPECT_EQ(table.columns[i].column_number, i + 1);
    }
    const schema::Table clustered = inferred_table(2, schema::ClusterPlacement{0, 5, 1}, stats);
    EXPECT_EQ(clustered.name, "OBJ_2_T5");
    ASSERT_TRUE(clustered.cluster);
    EXPECT_EQ(clustered.cluster->table_number, 5u);
}

TEST(InferTable, WrittenAsASchemaFileThatReadsBack)
{
    schema::Schema inferred;
    inferred.tables = {inferred_table(74570, std::nullopt, stats_of(small_table())),
                       inferred_table(2, schema::ClusterPlacement{0, 5, 1}, stats_of(column_rows(numbers({"7"}))))};
    const std::string text = schema::write_schema_file(inferred);
    EXPECT_EQ(text,
              "-- data object 74570\n"
              "CREATE TABLE \"OBJ_74570\" (\n"
              "  \"C1\" NUMBER(4), -- 3 values: 100 % NUMBER, 0 NULL\n"
              "  \"C2\" VARCHAR2(5 BYTE), -- 3 values: 100 % VARCHAR2, 1 NULL\n"
              "  \"C3\" RAW(2000) -- all 3 values NULL: type unknown, kept as RAW\n"
              ");\n"
              "\n"
              "-- data object 2, cluster table 5, key columns 1\n"
              "CREATE TABLE \"OBJ_2_T5\" (\n"
              "  \"C1\" NUMBER(1) -- 1 value: 100 % NUMBER, 0 NULL\n"
              ");\n");
    const schema::Parsed<schema::Schema> read = schema::parse_schema_file(text);
    ASSERT_TRUE(read.ok()) << read.error;
    EXPECT_EQ(read.value, inferred);
}

// ---------------------------------------------------------------------------
// Accuracy: generated tables with columns of known types, every type the
// tool decodes, values of every length, NULLs and a few damaged values.

using schema::OracleType;

std::string digits(Random& random, int count, bool nonzero_first)
{
    std::string text;
    for (int i = 0; i < count; ++i)
        text += static_cast<char>('0' + (i == 0 && nonzero_first ? random.between(1, 9) : random.below(10)));
    return text;
}

std::string sign(Random& random, int negative_percent) { return random.chance(negative_percent) ? "-" : ""; }

Bytes small_integer(Random& random) { return datafile::number_value(std::to_string(random.between(-50, 9999))); }
Bytes digit(Random& random) { return datafile::number_value(std::to_string(random.below(10))); }
Bytes big_integer(Random& random) { return datafile::number_value(digits(random, random.between(10, 22), true)); }
Bytes negative_number(Random& random)
{
    std::string value = "-";
    value += digits(random, random.between(1, 6), true);
    if (random.chance(40)) value.append(".").append(digits(random, random.between(1, 3), false));
    return datafile::number_value(value);
}
Bytes money(Random& random)
{
    return datafile::number_value(sign(random, 20) + digits(random, random.between(1, 7), true) + "." +
                                  digits(random, 2, false));
}
Bytes huge_or_tiny(Random& random)
{
    if (random.chance(50))
        return datafile::number_value(sign(random, 30) + digits(random, random.between(25, 60), true));
    const std::string zeros(static_cast<std::size_t>(random.between(5, 40)), '0');
    return datafile::number_value(sign(random, 30) + "0." + zeros + digits(random, random.between(1, 8), true));
}
Bytes float_number(Random& random)
{
    const int whole = random.between(1, 6);
    return datafile::number_value(sign(random, 30) + digits(random, whole, true) + "." +
                                  digits(random, 15 - whole, false));
}

int year_of(Random& random) { return random.chance(70) ? random.between(1950, 2030) : random.between(1100, 2900); }
Bytes date(Random& random)
{
    return datafile::date_value(year_of(random), random.between(1, 12), random.between(1, 28), random.below(24),
                                random.below(60), random.below(60));
}
Bytes midnight(Random& random)
{
    return datafile::date_value(year_of(random), random.between(1, 12), random.between(1, 28), 0, 0, 0);
}
// The end of a validity period: mostly "no end".
Bytes end_date(Random& random)
{
    return random.chance(60) ? datafile::date_value(9999, 12, 31, 0, 0, 0) : midnight(random);
}
std::uint32_t nanoseconds(Random& random)
{
    const std::uint32_t ns = static_cast<std::uint32_t>(random.between(1, 999999999));
    return random.chance(50) ? ns / 1000000 * 1000000 + 1000000 : ns;  // milliseconds, or nanoseconds
}
Bytes timestamp(Random& random)
{
    std::optional<std::uint32_t> fraction;
    if (random.chance(70)) fraction = nanoseconds(random);
    return datafile::timestamp_value(year_of(random), random.between(1, 12), random.between(1, 28), random.below(24),
                                     random.below(60), random.below(60), fraction);
}
Bytes whole_second_timestamp(Random& random)
{
    return datafile::timestamp_value(year_of(random), random.between(1, 12), random.between(1, 28), random.below(24),
                                     random.below(60), random.below(60));
}
Bytes timestamp_offset(Random& random)
{
    static constexpr int kOffsets[] = {0, 60, 120, -300, -420, 330, 345, -210, 540, 600, -720, 840};
    return datafile::timestamp_tz_value(year_of(random), random.between(1, 12), random.between(1, 28),
                                        random.below(24), random.below(60), random.below(60),
                                        random.chance(30) ? 0 : nanoseconds(random), kOffsets[random.below(12)]);
}
Bytes timestamp_region(Random& random)
{
    static constexpr std::uint16_t kRegions[] = {1, 100, 267, 352, 369, 615, 5121};
    return datafile::timestamp_region_value(year_of(random), random.between(1, 12), random.between(1, 28),
                                            random.below(24), random.below(60), random.below(60),
                                            random.chance(30) ? 0 : nanoseconds(random), kRegions[random.below(7)]);
}
Bytes interval_ym(Random& random)
{
    const int sign_of = random.chance(30) ? -1 : 1;
    return datafile::interval_ym_value(sign_of * random.below(200), sign_of * random.below(12));
}
Bytes interval_ds(Random& random)
{
    const int sign_of = random.chance(30) ? -1 : 1;
    return datafile::interval_ds_value(sign_of * random.below(1000), sign_of * random.below(24),
                                       sign_of * random.below(60), sign_of * random.below(60),
                                       sign_of * random.below(1000000000));
}
double magnitude(Random& random, int low_exponent, int high_exponent)
{
    const double mantissa = static_cast<double>(random.between(1, 999999)) / 1000.0;
    return (random.chance(30) ? -1 : 1) * mantissa * std::pow(10.0, random.between(low_exponent, high_exponent));
}
Bytes binary_float(Random& random)
{
    return datafile::binary_float_value(random.chance(5) ? 0.0f : static_cast<float>(magnitude(random, -6, 9)));
}
Bytes binary_double(Random& random)
{
    return datafile::binary_double_value(random.chance(5) ? 0.0 : magnitude(random, -20, 20));
}
Bytes whole_binary_double(Random& random) { return datafile::binary_double_value(random.between(-1000, 100000)); }
Bytes raw_bytes(Random& random) { return random.bytes(static_cast<std::size_t>(random.between(1, 40))); }
Bytes raw_guid(Random& random) { return random.bytes(16); }

std::string word(Random& random)
{
    static constexpr const char* kSyllables[] = {"ka", "ro", "mi", "ten", "sul", "bra", "ve", "dor",
                                                  "lin", "qu", "est", "an", "pho", "ri", "zu", "mo"};
    std::string text;
    for (int i = random.between(1, 4); i > 0; --i) text += kSyllables[random.below(16)];
    if (random.chance(30)) text[0] = static_cast<char>(text[0] - 'a' + 'A');
    return text;
}
std::string words(Random& random, std::size_t most)
{
    std::string text = word(random);
    while (text.size() < most && random.chance(85)) text += (random.chance(10) ? ", " : " ") + word(random);
    return text;
}
std::string accented_words(Random& random)
{
    static constexpr const char* kAccented[] = {"\u00E9t\u00E9", "M\u00FCller", "stra\u00DFe", "gar\u00E7on",
                                                 "\u00C5ngstr\u00F6m", "\u0141\u00F3d\u017A", "caf\u00E9"};
    std::string text = words(random, 10);
    for (int i = random.between(1, 3); i > 0; --i) text += std::string(" ") + kAccented[random.below(7)];
    return text;
}
std::string cjk(Random& random)
{
    std::string text;
    for (int i = random.between(1, 8); i > 0; --i) {
        const std::uint32_t code = random.chance(80) ? 0x4E00u + static_cast<std::uint32_t>(random.below(0x51A6))
                                                     : 0x3042u + static_cast<std::uint32_t>(random.below(0x50));
        text += static_cast<char>(0xE0 | code >> 12);
        text += static_cast<char>(0x80 | (code >> 6 & 0x3F));
        text += static_cast<char>(0x80 | (code & 0x3F));
    }
    return text;
}
std::string padded(std::string text, std::size_t width)
{
    text.resize(width, ' ');
    return text;
}

Bytes short_text(Random& random) { return text(words(random, 12)); }
Bytes long_text(Random& random) { return text(words(random, static_cast<std::size_t>(random.between(20, 300)))); }
Bytes accented_text(Random& random) { return text(accented_words(random)); }
Bytes code_text(Random& random)
{
    std::string code;
    for (int i = random.between(2, 3); i > 0; --i) code += static_cast<char>('A' + random.below(26));
    return text(code);
}
Bytes flag(Random& random) { return text(random.chance(50) ? "Y" : "N"); }
Bytes email(Random& random) { return text(word(random) + "." + word(random) + "@" + word(random) + ".com"); }
Bytes digit_text(Random& random) { return text(digits(random, random.between(3, 12), false)); }
Bytes char_text(Random& random) { return text(padded(word(random), 12)); }
// LONG and LONG RAW: values longer than VARCHAR2 and RAW hold inline, which
// is how their columns differ from those (shorter values look the same).
Bytes long_column_text(Random& random)
{
    const auto length = static_cast<std::size_t>(random.between(100, 9000));
    std::string value = word(random);
    while (value.size() < length) value.append(" ").append(word(random));
    return text(value);
}
Bytes long_raw(Random& random) { return random.bytes(static_cast<std::size_t>(random.between(100, 5000))); }
Bytes national_latin(Random& random) { return datafile::nchar_value(accented_words(random)); }
Bytes national_cjk(Random& random) { return datafile::nchar_value(cjk(random)); }
Bytes national_mixed(Random& random) { return datafile::nchar_value(word(random) + " " + cjk(random)); }
Bytes national_char(Random& random) { return datafile::nchar_value(padded(word(random), 10)); }
Bytes rowid(Random& random)
{
    return datafile::rowid_value(static_cast<std::uint32_t>(random.between(1, 5000000)),
                                 static_cast<std::uint16_t>(random.between(1, 1022)),
                                 static_cast<std::uint32_t>(random.below(4000000)),
                                 static_cast<std::uint16_t>(random.below(700)));
}
Bytes urowid(Random& random)
{
    // 01, the object (4 bytes), the file (2), the block (4) and the slot (2).
    const Bytes id = rowid(random);
    Bytes out = {0x01};
    for (std::size_t at = 0; at < 4; ++at) out.push_back(id[at]);
    for (int b : {0, random.between(1, 255), 0, 0}) out.push_back(static_cast<std::uint8_t>(b));
    for (std::size_t at = 6; at < 10; ++at) out.push_back(id[at]);
    return out;
}
Bytes boolean(Random& random) { return {static_cast<std::uint8_t>(random.below(2))}; }

struct Kind {
    const char* name;
    OracleType type;
    Bytes (*make)(Random&);
};

constexpr Kind kKinds[] = {
    {"small integers", OracleType::Number, small_integer},
    {"digits", OracleType::Number, digit},
    {"big integers", OracleType::Number, big_integer},
    {"negative numbers", OracleType::Number, negative_number},
    {"money", OracleType::Number, money},
    {"huge and tiny numbers", OracleType::Number, huge_or_tiny},
    {"FLOAT", OracleType::Float, float_number},
    {"DATE", OracleType::Date, date},
    {"dates at midnight", OracleType::Date, midnight},
    {"dates mostly 9999-12-31", OracleType::Date, end_date},
    {"TIMESTAMP", OracleType::Timestamp, timestamp},
    {"TIMESTAMP of whole seconds", OracleType::Timestamp, whole_second_timestamp},
    {"TIMESTAMP WITH LOCAL TIME ZONE", OracleType::TimestampLtz, timestamp},
    {"TIMESTAMP WITH TIME ZONE, offsets", OracleType::TimestampTz, timestamp_offset},
    {"TIMESTAMP WITH TIME ZONE, regions", OracleType::TimestampTz, timestamp_region},
    {"INTERVAL YEAR TO MONTH", OracleType::IntervalYm, interval_ym},
    {"INTERVAL DAY TO SECOND", OracleType::IntervalDs, interval_ds},
    {"BINARY_FLOAT", OracleType::BinaryFloat, binary_float},
    {"BINARY_DOUBLE", OracleType::BinaryDouble, binary_double},
    {"BINARY_DOUBLE, whole numbers", OracleType::BinaryDouble, whole_binary_double},
    {"RAW", OracleType::Raw, raw_bytes},
    {"RAW(16)", OracleType::Raw, raw_guid},
    {"short text", OracleType::Varchar2, short_text},
    {"long text", OracleType::Varchar2, long_text},
    {"accented text", OracleType::Varchar2, accented_text},
    {"codes", OracleType::Varchar2, code_text},
    {"flags", OracleType::Varchar2, flag},
    {"e-mail addresses", OracleType::Varchar2, email},
    {"digits as text", OracleType::Varchar2, digit_text},
    {"CHAR", OracleType::Char, char_text},
    {"LONG", OracleType::Long, long_column_text},
    {"LONG RAW", OracleType::LongRaw, long_raw},
    {"NVARCHAR2, Latin", OracleType::Nvarchar2, national_latin},
    {"NVARCHAR2, CJK", OracleType::Nvarchar2, national_cjk},
    {"NVARCHAR2, mixed", OracleType::Nvarchar2, national_mixed},
    {"NCHAR", OracleType::Nchar, national_char},
    {"ROWID", OracleType::Rowid, rowid},
    {"UROWID", OracleType::Urowid, urowid},
    {"BOOLEAN", OracleType::Boolean, boolean},
};

struct GeneratedColumn {
    const Kind* kind;
    inference_accuracy::Undecidable facts;
};

// A table of one column of each kind, in a shuffled order: its rows, with
// NULLs, damaged values (random bytes) and trailing NULLs left out.
std::vector<Row> generate_table(Random& random, std::vector<GeneratedColumn>& columns)
{
    columns.clear();
    for (const Kind& kind : kKinds) columns.push_back({&kind, {}});
    for (std::size_t i = columns.size(); i > 1; --i)
        std::swap(columns[i - 1], columns[static_cast<std::size_t>(random.below(static_cast<int>(i)))]);
    const int rows = random.between(10, 400);
    std::vector<int> null_percent, damage_percent;
    for (std::size_t c = 0; c < columns.size(); ++c) {
        null_percent.push_back(std::vector<int>{0, 0, 10, 30, 60}[static_cast<std::size_t>(random.below(5))]);
        damage_percent.push_back(std::vector<int>{0, 0, 1, 2, 3}[static_cast<std::size_t>(random.below(5))]);
    }
    std::vector<Row> table(static_cast<std::size_t>(rows));
    for (Row& row : table) {
        for (std::size_t c = 0; c < columns.size(); ++c) {
            if (random.chance(null_percent[c])) {
                row.emplace_back(std::nullopt);
            } else if (random.below(1000) < damage_percent[c] * 10) {
                row.emplace_back(random.bytes(static_cast<std::size_t>(random.between(1, 20))));
            } else {
                row.emplace_back(columns[c].kind->make(random));
                inference_accuracy::Undecidable& facts = columns[c].facts;
                facts.only_seven_bytes = facts.only_seven_bytes && row.back()->size() != 11;
                const std::size_t inline_limit = columns[c].kind->type == OracleType::Long ? 4000 : 2000;
                facts.only_inline_lengths = facts.only_inline_lengths && row.back()->size() <= inline_limit;
            }
        }
        while (!row.empty() && !row.back()) row.pop_back();
    }
    return table;
}

inference_accuracy::Accuracy measure_accuracy(int tables, std::uint64_t seed)
{
    Random random(seed);
    inference_accuracy::Accuracy accuracy;
    std::vector<GeneratedColumn> columns;
    for (int t = 0; t < tables; ++t) {
        const std::vector<InferredColumn> inferred = decide(stats_of(generate_table(random, columns)));
        for (std::size_t c = 0; c < columns.size(); ++c) {
            const OracleType type = c < inferred.size() ? inferred[c].column.type : OracleType::Unknown;
            accuracy.count(columns[c].kind->name, columns[c].kind->type, type, columns[c].facts);
        }
    }
    return accuracy;
}

TEST(InferAccuracy, GeneratedColumnsOfEveryTypeGetTheirType)
{
    const inference_accuracy::Accuracy accuracy = measure_accuracy(30, 2024);
    ASSERT_GE(accuracy.columns, 200);
    accuracy.report("generated tables");
    EXPECT_GE(accuracy.share(), 0.97);
}

}  // namespace
