// Type inference: the strict checks of single values.
#include <gtest/gtest.h>

#include <cmath>

#include "datafile_builder.h"
#include "infer/value_checks.h"
#include "values/charsets.h"

namespace {

using datafile::Bytes;
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
    EXPECT_FALSE(is_plausible_date(view(date_value(999, 12, 31, 0, 0, 0)), years));
    EXPECT_FALSE(is_plausible_date(view(date_value(3000, 1, 1, 0, 0, 0)), years));
    EXPECT_TRUE(is_plausible_date(view(date_value(9999, 12, 31, 0, 0, 0)), years));  // "no end"
    EXPECT_TRUE(is_plausible_date(view(date_value(1, 1, 1, 0, 0, 0)), years));       // "no start"
    EXPECT_TRUE(is_plausible_date(view(date_value(3000, 1, 1, 0, 0, 0)), YearRange{1, 9999}));
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

TEST(InferValueChecks, BinaryFloatingPointOfPlausibleMagnitude)
{
    using datafile::binary_double_value;
    using datafile::binary_float_value;
    for (double value : {0.0, -0.0, 1.5, -2.25, 1e-30, 6.02e23, -1e37})
        EXPECT_TRUE(is_plausible_binary_double(view(binary_double_value(value)))) << value;
    for (double value : {1e300, 1e-300, 1e40, 5e-324, HUGE_VAL, std::nan("")})
        EXPECT_FALSE(is_plausible_binary_double(view(binary_double_value(value)))) << value;
    for (float value : {0.0f, 134.45f, -1e-6f, 3e18f})
        EXPECT_TRUE(is_plausible_binary_float(view(binary_float_value(value)))) << value;
    for (float value : {1e30f, 1e-30f, HUGE_VALF})
        EXPECT_FALSE(is_plausible_binary_float(view(binary_float_value(value)))) << value;
    EXPECT_FALSE(is_plausible_binary_float(view(binary_double_value(1.5))));
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

}  // namespace
