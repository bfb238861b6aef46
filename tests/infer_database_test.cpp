// Inference measured on databases unlike the project's other fixtures:
// tables of random columns of every type the tool decodes, each column's
// values drawn from a distribution of its own (narrow and wide ranges, few
// and many distinct values, NULL rates, tables of three rows, numbers of
// up to 38 digits, dates from 4712 BC to 9999, binary numbers over their
// types' whole range, text in several character sets), written as data
// files and typed by `--ddl --infer` from the users' data file alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <set>
#include <string>
#include <vector>

#include "format/dictionary_format.h"
#include "inference_accuracy.h"
#include "random_numbers.h"
#include "schema/ddl_parser.h"
#include "schema_truth.h"
#include "system_file.h"
#include "test_support.h"
#include "values/charsets.h"
#include "values/tz_regions.h"

namespace {

using datafile::Bytes;
using datafile::ColumnDef;
using datafile::Random;
using inference_accuracy::Accuracy;
using inference_accuracy::Undecidable;
using namespace dictionary;

// ---------------------------------------------------------------------------
// Random numbers of the kinds the columns need.

double unit(Random& random) { return static_cast<double>(random.next() >> 11) * 0x1p-53; }
double uniform(Random& random, double low, double high) { return low + (high - low) * unit(random); }
template <typename T>
const T& pick(Random& random, const std::vector<T>& choices)
{
    return choices[static_cast<std::size_t>(random.below(static_cast<int>(choices.size())))];
}
// A count of 1 to 10^digits - 1 with every number of digits as likely.
std::int64_t spread_count(Random& random, int most_digits)
{
    const int digits = random.between(1, most_digits);
    std::int64_t low = 1;
    for (int i = 1; i < digits; ++i) low *= 10;
    return low + static_cast<std::int64_t>(unit(random) * static_cast<double>(9 * low));
}

// ---------------------------------------------------------------------------
// Columns: a definition and how to make one value.

struct ColumnPlan {
    std::string held;  // what the values are, for the report of confusions
    ColumnDef def;
    std::function<Bytes(Random&)> make;
};

ColumnDef column_def(std::uint16_t type, std::uint32_t length)
{
    ColumnDef def;
    def.type = type;
    def.length = length;
    return def;
}

ColumnDef text_def(std::uint16_t type, std::uint32_t length, bool national)
{
    ColumnDef def = column_def(type, length);
    def.charset_id = national ? kCharsetAl16Utf16 : kCharsetAl32Utf8;  // set per database below
    def.charset_form = national ? kCharsetFormNational : kCharsetFormDatabase;
    return def;
}

// NUMBER: the decimal digits `digits` (no leading zero) with the point
// `point` places from their left (negative: zeros first), and a sign.
std::string decimal_text(bool negative, const std::string& digits, int point)
{
    std::string text = negative ? "-" : "";
    if (point <= 0) return text + "0." + std::string(static_cast<std::size_t>(-point), '0') + digits;
    if (static_cast<std::size_t>(point) >= digits.size())
        return text + digits + std::string(static_cast<std::size_t>(point) - digits.size(), '0');
    return text + digits.substr(0, static_cast<std::size_t>(point)) + "." +
           digits.substr(static_cast<std::size_t>(point));
}

std::string random_digits(Random& random, int count)
{
    std::string digits;
    for (int i = 0; i < count; ++i)
        digits += static_cast<char>('0' + (i == 0 ? random.between(1, 9) : random.below(10)));
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
    return digits;
}

ColumnPlan number_plan(Random& random)
{
    ColumnDef def = column_def(kTypeNumber, 22);
    const int negative_percent = pick(random, std::vector<int>{0, 0, 10, 50, 100});
    switch (random.below(6)) {
    case 0: {  // whole numbers in a range of some width
        const std::int64_t width = spread_count(random, 9);
        const std::int64_t low = random.chance(30) ? -width / 2 : random.chance(50) ? 0 : spread_count(random, 6);
        return {"NUMBER, whole numbers", def, [=](Random& r) {
                    const auto offset = static_cast<std::int64_t>(unit(r) * static_cast<double>(width + 1));
                    return datafile::number_value(std::to_string(low + offset));
                }};
    }
    case 1: {  // up to 38 digits
        const int most = random.between(1, 38);
        return {"NUMBER, up to 38 digits", def, [=](Random& r) {
                    const std::string digits = random_digits(r, r.between(1, most));
                    return datafile::number_value(
                        decimal_text(r.chance(negative_percent), digits, static_cast<int>(digits.size())));
                }};
    }
    case 2: {  // a fixed scale
        const int scale = random.between(1, 8);
        const int integer = random.between(0, 30 - scale);
        return {"NUMBER, decimals", def, [=](Random& r) {
                    const int whole = r.between(0, integer);
                    std::string digits = random_digits(r, whole + scale);
                    return datafile::number_value(decimal_text(r.chance(negative_percent), digits, whole));
                }};
    }
    case 3: {  // any magnitude the type holds
        const int low = random.between(-129, 120);
        const int high = random.between(low, 125);
        return {"NUMBER, wide magnitudes", def, [=](Random& r) {
                    return datafile::number_value(decimal_text(
                        r.chance(negative_percent), random_digits(r, r.between(1, 38)), r.between(low, high)));
                }};
    }
    case 4: {  // a few codes
        const int most = random.between(1, 9);
        return {"NUMBER, a few codes", def,
                [=](Random& r) { return datafile::number_value(std::to_string(r.between(0, most))); }};
    }
    default: {  // FLOAT: computed numbers of 15 to 17 digits
        def.precision = 126;
        def.scale = kFloatScale;
        const int low = random.between(-20, 10);
        const int high = random.between(low, low + 15);
        return {"FLOAT", def, [=](Random& r) {
                    return datafile::number_value(decimal_text(
                        r.chance(negative_percent), random_digits(r, r.between(15, 17)), r.between(low, high)));
                }};
    }
    }
}

// Dates: the database's calendar, Julian before 1582, no year 0.
int month_length(int year, int month)
{
    if (month != 2) return month == 4 || month == 6 || month == 9 || month == 11 ? 30 : 31;
    const bool leap = year % 4 == 0 && (year < 1582 || year % 100 != 0 || year % 400 == 0);
    return leap ? 29 : 28;
}

struct Moment {
    int year, month, day, hour, minute, second;
};

struct YearSpan {
    const char* name;
    int first;
    int last;
};
constexpr YearSpan kYearSpans[] = {
    {"recent", 1950, 2035},           {"since 1000", 1000, 2999}, {"any AD year", 1, 9999},
    {"4712 BC to 9999", -4712, 9999}, {"BC", -4712, -1},
};

struct MomentPlan {
    YearSpan years;
    bool midnight = false;
    int end_of_time_percent = 0;  // 9999-12-31, the "no end" date
};

MomentPlan moment_plan(Random& random)
{
    MomentPlan plan;
    plan.years = kYearSpans[random.below(static_cast<int>(std::size(kYearSpans)))];
    plan.midnight = random.chance(30);
    plan.end_of_time_percent = random.chance(15) ? random.between(10, 90) : 0;
    return plan;
}

Moment moment(Random& random, const MomentPlan& plan)
{
    if (random.chance(plan.end_of_time_percent)) return {9999, 12, 31, 0, 0, 0};
    Moment m{};
    do m.year = random.between(plan.years.first, plan.years.last);
    while (m.year == 0);
    m.month = random.between(1, 12);
    do m.day = random.between(1, month_length(m.year, m.month));
    while (m.year == 1582 && m.month == 10 && m.day > 4 && m.day < 15);
    if (!plan.midnight) {
        m.hour = random.below(24);
        m.minute = random.below(60);
        m.second = random.below(60);
    }
    return m;
}

std::string moment_name(const char* type, const MomentPlan& plan)
{
    return std::string(type) + ", " + plan.years.name;
}

// Nanoseconds with `digits` fractional digits, none zero at the end.
std::uint32_t fraction(Random& random, int digits)
{
    std::uint32_t unit_of = 1;
    for (int i = digits; i < 9; ++i) unit_of *= 10;
    std::uint32_t limit = 1;
    for (int i = 0; i < digits; ++i) limit *= 10;
    return static_cast<std::uint32_t>(random.between(0, static_cast<int>(limit) - 1)) * unit_of;
}

ColumnPlan date_plan(Random& random)
{
    const MomentPlan plan = moment_plan(random);
    return {moment_name("DATE", plan), column_def(kTypeDate, 7), [=](Random& r) {
                const Moment m = moment(r, plan);
                return datafile::date_value(m.year, m.month, m.day, m.hour, m.minute, m.second);
            }};
}

ColumnPlan timestamp_plan(Random& random, bool local_zone)
{
    MomentPlan plan = moment_plan(random);
    const int digits = random.between(0, 9);
    ColumnDef def = column_def(local_zone ? kTypeTimestampLtz : kTypeTimestamp, 11);
    def.scale = digits;
    return {moment_name(local_zone ? "TIMESTAMP WITH LOCAL TIME ZONE" : "TIMESTAMP", plan), def, [=](Random& r) {
                const Moment m = moment(r, plan);
                const std::uint32_t ns = fraction(r, digits);
                return datafile::timestamp_value(m.year, m.month, m.day, m.hour, m.minute, m.second,
                                                 ns == 0 ? std::nullopt : std::optional<std::uint32_t>(ns));
            }};
}

std::uint16_t known_region(Random& random)
{
    for (;;) {
        const auto region = static_cast<std::uint16_t>(random.between(1, 8191));
        if (!tz_region_name(region).empty()) return region;
    }
}

ColumnPlan timestamp_tz_plan(Random& random)
{
    MomentPlan plan = moment_plan(random);
    if (plan.years.first < 1) plan.years = kYearSpans[2];  // a zone's local time is AD
    if (plan.years.last == 9999) plan.end_of_time_percent = 0;
    const int digits = random.between(0, 9);
    const bool regions = random.chance(40);
    const std::vector<std::uint16_t> few_regions = {known_region(random), known_region(random), known_region(random)};
    ColumnDef def = column_def(kTypeTimestampTz, 13);
    def.scale = digits;
    return {moment_name(regions ? "TIMESTAMP WITH TIME ZONE, regions" : "TIMESTAMP WITH TIME ZONE, offsets", plan),
            def, [=](Random& r) {
                Moment m = moment(r, plan);
                // Stored in UTC, which must be a year the type holds too.
                if (m.year == 9999) m.year = 9998;
                if (m.year == 1) m.year = 2;
                const std::uint32_t ns = fraction(r, digits);
                if (regions)
                    return datafile::timestamp_region_value(m.year, m.month, m.day, m.hour, m.minute, m.second, ns,
                                                            pick(r, few_regions));
                const int offset = r.between(-48, 56) * 15;  // -12:00 to +14:00
                return datafile::timestamp_tz_value(m.year, m.month, m.day, m.hour, m.minute, m.second, ns, offset);
            }};
}

ColumnPlan interval_plan(Random& random)
{
    const int leading = random.between(1, 9);
    const int negative_percent = pick(random, std::vector<int>{0, 20, 50});
    if (random.chance(50)) {
        ColumnDef def = column_def(kTypeIntervalYm, 5);
        def.precision = leading;
        return {"INTERVAL YEAR TO MONTH", def, [=](Random& r) {
                    const int sign = r.chance(negative_percent) ? -1 : 1;
                    return datafile::interval_ym_value(sign * static_cast<std::int32_t>(spread_count(r, leading) - 1),
                                                       sign * r.below(12));
                }};
    }
    const int digits = random.between(0, 9);
    ColumnDef def = column_def(kTypeIntervalDs, 11);
    def.precision = leading;
    def.scale = digits;
    return {"INTERVAL DAY TO SECOND", def, [=](Random& r) {
                const int sign = r.chance(negative_percent) ? -1 : 1;
                return datafile::interval_ds_value(sign * static_cast<std::int32_t>(spread_count(r, leading) - 1),
                                                   sign * r.below(24), sign * r.below(60), sign * r.below(60),
                                                   sign * static_cast<std::int32_t>(fraction(r, digits)));
            }};
}

// Binary floating point: numbers of many distributions, among them the
// type's whole range.
template <typename Real>
ColumnPlan binary_plan(Random& random)
{
    constexpr int lowest = std::numeric_limits<Real>::min_exponent10;  // decades of normal numbers
    constexpr int highest = std::numeric_limits<Real>::max_exponent10;
    const bool is_double = sizeof(Real) == 8;
    const ColumnDef def = column_def(is_double ? kTypeBinaryDouble : kTypeBinaryFloat, is_double ? 8 : 4);
    const std::string type = is_double ? "BINARY_DOUBLE" : "BINARY_FLOAT";
    auto value = [](Real real) {
        return is_double ? datafile::binary_double_value(static_cast<double>(real))
                         : datafile::binary_float_value(static_cast<float>(real));
    };
    const int negative_percent = pick(random, std::vector<int>{0, 0, 20, 50, 100});
    // The decades values keep to: near 1 mostly, anywhere in the range often.
    const int centre = random.chance(60) ? random.between(-8, 10) : random.between(lowest + 2, highest - 2);
    const int specials_percent = random.chance(10) ? random.between(1, 20) : 0;
    auto special = [=](Random& r) -> Real {
        using limits = std::numeric_limits<Real>;
        const Real specials[] = {Real(0),          -Real(0),      limits::infinity(), -limits::infinity(),
                                 limits::quiet_NaN(), limits::max(), limits::min(),      limits::denorm_min()};
        return specials[r.below(8)];
    };
    auto signed_real = [=](Random& r, double magnitude) {
        return static_cast<Real>(r.chance(negative_percent) ? -magnitude : magnitude);
    };
    std::function<Real(Random&)> make;
    std::string held;
    switch (random.below(6)) {
    case 0: {  // uniform below a bound
        const double bound = std::pow(10.0, centre);
        held = "narrow range";
        make = [=](Random& r) { return signed_real(r, uniform(r, 0, bound)); };
        break;
    }
    case 1: {  // log-uniform over some decades
        const int span = random.between(1, 40);
        const double low = std::max(lowest + 1, centre - span / 2);
        const double high = std::min(highest - 1, centre + span / 2 + 1);
        held = "wide range";
        make = [=](Random& r) { return signed_real(r, std::pow(10.0, uniform(r, low, high))); };
        break;
    }
    case 2: {  // whole numbers
        const double bound = std::pow(10.0, random.between(1, is_double ? 15 : 7));
        held = "whole numbers";
        make = [=](Random& r) { return signed_real(r, std::floor(uniform(r, 0, bound))); };
        break;
    }
    case 3: {  // values of a few magnitudes far apart: 1e-9, 1, 1e100 and such
        std::vector<int> decades;
        for (int i = random.between(2, 4); i > 0; --i) decades.push_back(random.between(lowest + 2, highest - 2));
        decades.push_back(0);
        held = "mixed magnitudes";
        make = [=](Random& r) { return signed_real(r, uniform(r, 1, 10) * std::pow(10.0, pick(r, decades))); };
        break;
    }
    case 4: {  // prices and measurements: two decimals
        const double bound = std::pow(10.0, random.between(1, 6));
        held = "two decimals";
        make = [=](Random& r) { return signed_real(r, std::round(uniform(r, 0, bound) * 100) / 100); };
        break;
    }
    default:  // the whole range of the type
        held = "whole range";
        make = [=](Random& r) { return signed_real(r, std::pow(10.0, uniform(r, lowest, highest))); };
        break;
    }
    return {type + ", " + held, def,
            [=](Random& r) { return value(r.chance(specials_percent) ? special(r) : make(r)); }};
}

ColumnPlan raw_plan(Random& random)
{
    const int length = pick(random, std::vector<int>{4, 4, 8, 8, 16, 0, 0, 2, 6, 32});
    const int longest = random.between(1, 200);
    ColumnDef def = column_def(kTypeRaw, static_cast<std::uint32_t>(length == 0 ? longest : length));
    if (length == 0)
        return {"RAW, random lengths", def,
                [=](Random& r) { return r.bytes(static_cast<std::size_t>(r.between(1, longest))); }};
    return {"RAW(" + std::to_string(length) + ")", def,
            [=](Random& r) { return r.bytes(static_cast<std::size_t>(length)); }};
}

ColumnPlan long_raw_plan(Random& random)
{
    const int longest = random.between(100, 6000);
    return {"LONG RAW", column_def(kTypeLongRaw, 0),
            [=](Random& r) { return r.bytes(static_cast<std::size_t>(r.between(1, longest))); }};
}

ColumnPlan rowid_plan(Random& random)
{
    const auto objects = static_cast<int>(spread_count(random, 7));
    return {"ROWID", column_def(kTypeRowid, 10), [=](Random& r) {
                return datafile::rowid_value(
                    static_cast<std::uint32_t>(r.between(1, objects)), static_cast<std::uint16_t>(r.between(1, 1022)),
                    static_cast<std::uint32_t>(r.below(4000000)), static_cast<std::uint16_t>(r.below(800)));
            }};
}

ColumnPlan urowid_plan(Random& random)
{
    const auto objects = static_cast<int>(spread_count(random, 7));
    return {"UROWID", column_def(kTypeUrowid, 4000), [=](Random& r) {
                const Bytes id = datafile::rowid_value(
                    static_cast<std::uint32_t>(r.between(1, objects)), static_cast<std::uint16_t>(r.between(1, 1022)),
                    static_cast<std::uint32_t>(r.below(4000000)), static_cast<std::uint16_t>(r.below(800)));
                // 01, the object, the file (2 bytes), the block (4) and the slot (2).
                std::uint32_t address = 0;
                for (std::size_t at = 4; at < 8; ++at) address = address << 8 | id[at];
                const std::uint32_t file = address >> 22, block = address & 0x3FFFFF;
                Bytes out = {0x01, id[0], id[1], id[2], id[3]};
                for (int shift = 8; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(file >> shift));
                for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(block >> shift));
                out.push_back(id[8]);
                out.push_back(id[9]);
                return out;
            }};
}

ColumnPlan boolean_plan(Random& random)
{
    const int true_percent = random.between(0, 100);
    return {"BOOLEAN", column_def(kTypeBoolean, 1),
            [=](Random& r) { return Bytes{static_cast<std::uint8_t>(r.chance(true_percent) ? 1 : 0)}; }};
}

// Text: words of ASCII and the letters of each character set.
struct Script {
    const char* name;
    std::vector<std::uint32_t> letters;  // code points
};

std::vector<std::uint32_t> code_range(std::uint32_t first, std::uint32_t last)
{
    std::vector<std::uint32_t> codes;
    for (std::uint32_t c = first; c <= last; ++c) codes.push_back(c);
    return codes;
}

const std::vector<Script>& scripts()
{
    static const std::vector<Script> all = {
        {"Latin", code_range('a', 'z')},
        {"accented Latin", code_range(0xE0, 0xFF)},
        {"Central European",
         {0x0105, 0x0107, 0x0119, 0x0142, 0x0144, 0x00F3, 0x015B, 0x017A, 0x017C, 0x010D, 0x0161}},
        {"Greek", code_range(0x03B1, 0x03C9)},
        {"Cyrillic", code_range(0x0430, 0x044F)},
        {"Chinese", code_range(0x4E00, 0x9FA5)},
        {"Japanese", code_range(0x3041, 0x3093)},
        {"Korean", code_range(0xAC00, 0xD7A3)},
        {"emoji", code_range(0x1F600, 0x1F64F)},
    };
    return all;
}

// The scripts a database character set can hold beyond ASCII.
std::vector<std::string> scripts_of(const std::string& charset)
{
    if (charset == "AL32UTF8")
        return {"accented Latin", "Central European", "Greek", "Cyrillic", "Chinese", "Japanese", "Korean", "emoji"};
    if (charset == "WE8MSWIN1252" || charset == "WE8ISO8859P1") return {"accented Latin"};
    if (charset == "EE8MSWIN1250") return {"Central European"};
    if (charset == "CL8MSWIN1251") return {"Cyrillic"};
    return {};
}

// Its UTF-8 appended to `out`.
void append_utf8(std::string& out, std::uint32_t code)
{
    char bytes[4];
    out.append(bytes, put_utf8(bytes, code));
}

// A letter in the database character set: UTF-8, one byte of a
// single-byte set, two bytes of GBK (GB2312's first level) or Shift-JIS
// (hiragana).
void append_letter(std::string& out, const std::string& charset, const Script& script, Random& random)
{
    const std::uint32_t code = pick(random, script.letters);
    if (code < 0x80 || charset == "AL32UTF8") return append_utf8(out, code);
    if (charset == "ZHS16GBK") {
        out += static_cast<char>(random.between(0xB0, 0xD6));
        out += static_cast<char>(random.between(0xA1, 0xFE));
    } else if (charset == "JA16SJIS") {
        out += static_cast<char>(0x82);
        out += static_cast<char>(random.between(0x9F, 0xF1));
    } else if (charset == "CL8MSWIN1251") {
        out += static_cast<char>(code - 0x0430 + 0xE0);  // а to я
    } else if (charset == "EE8MSWIN1250") {
        static constexpr std::uint8_t kLetters[] = {0xB9, 0xE6, 0xEA, 0xB3, 0xF1, 0xF3, 0x9C, 0x9F, 0xBF, 0xE8, 0x9A};
        out += static_cast<char>(kLetters[random.below(static_cast<int>(std::size(kLetters)))]);
    } else {
        out += static_cast<char>(code);  // Latin-1 and Windows-1252 agree here
    }
}

const Script& script_named(const std::string& name)
{
    for (const Script& script : scripts())
        if (name == script.name) return script;
    return scripts()[0];
}

// Words of `script` letters (some ASCII ones among them), joined by blanks.
std::string words(Random& random, const std::string& charset, const Script& script, std::size_t most_bytes)
{
    std::string text;
    do {
        if (!text.empty()) text += random.chance(10) ? ", " : " ";
        for (int i = random.between(1, 9); i > 0; --i)
            append_letter(text, charset, random.chance(70) ? script : scripts()[0], random);
    } while (text.size() < most_bytes && random.chance(80));
    return text;
}

struct TextPlan {
    std::string held;
    std::function<std::string(Random&)> make;
};

TextPlan text_values(Random& random, const std::string& charset, std::uint32_t longest)
{
    std::vector<std::string> native = scripts_of(charset);
    if (charset == "ZHS16GBK") native = {"Chinese"};
    if (charset == "JA16SJIS") native = {"Japanese"};
    const Script& script = native.empty() || random.chance(40) ? scripts()[0] : script_named(pick(random, native));
    switch (random.below(6)) {
    case 0: {
        const int letters = random.between(1, 4);
        return {"codes", [=](Random& r) {
                    std::string code;
                    for (int i = 0; i < letters; ++i) code += static_cast<char>('A' + r.below(26));
                    return code;
                }};
    }
    case 1: return {"digits as text", [](Random& r) { return std::to_string(spread_count(r, 12)); }};
    case 2:
        return {"e-mail addresses", [=](Random& r) {
                    return words(r, "US7ASCII", scripts()[0], 1) + "@" + words(r, "US7ASCII", scripts()[0], 1) +
                           ".org";
                }};
    default:
        return {std::string(script.name) + " text", [=, &script](Random& r) {
                    std::string text =
                        words(r, charset, script, static_cast<std::size_t>(r.between(1, static_cast<int>(longest))));
                    while (text.size() > longest) text.pop_back();
                    while (!text.empty() && (text.back() == ' ' || static_cast<unsigned char>(text.back()) >= 0x80))
                        text.pop_back();
                    return text.empty() ? std::string("x") : text;
                }};
    }
}

ColumnPlan varchar_plan(Random& random, const std::string& charset, bool padded)
{
    const auto longest = static_cast<std::uint32_t>(padded ? random.between(1, 40)
                                                           : pick(random, std::vector<int>{10, 30, 100, 400, 4000}));
    const TextPlan text = text_values(random, charset, longest);
    ColumnDef def = text_def(padded ? kTypeChar : kTypeVarchar2, longest, false);
    return {std::string(padded ? "CHAR, " : "VARCHAR2, ") + text.held, def, [=](Random& r) {
                std::string value = text.make(r);
                if (padded) {
                    while (value.size() > longest) value.pop_back();
                    value.resize(longest, ' ');
                }
                return Bytes(value.begin(), value.end());
            }};
}

ColumnPlan long_plan(Random& random, const std::string& charset)
{
    const auto longest = static_cast<std::uint32_t>(random.between(100, 8000));
    const TextPlan text = text_values(random, charset, longest);
    return {"LONG, " + text.held, text_def(kTypeLong, 0, false), [=](Random& r) {
                std::string value = text.make(r);
                while (value.size() < longest / 2 && r.chance(90)) value.append(" ").append(text.make(r));
                return Bytes(value.begin(), value.end());
            }};
}

// NCHAR and NVARCHAR2: UTF-16 of any script.
ColumnPlan national_plan(Random& random, bool padded)
{
    const Script& script = pick(random, scripts());
    const int characters = random.between(1, 60);
    ColumnDef def = text_def(padded ? kTypeChar : kTypeVarchar2, static_cast<std::uint32_t>(2 * characters), true);
    return {std::string(padded ? "NCHAR, " : "NVARCHAR2, ") + script.name, def, [=, &script](Random& r) {
                std::string utf8 = words(r, "AL32UTF8", script, static_cast<std::size_t>(characters));
                Bytes value = datafile::nchar_value(utf8);
                // Whole characters only: cut after a unit that is no high surrogate.
                while (value.size() > static_cast<std::size_t>(2 * characters) ||
                       (value.size() >= 2 && value[value.size() - 2] >= 0xD8 && value[value.size() - 2] <= 0xDB))
                    value.resize(value.size() - 2);
                if (padded)
                    while (value.size() < static_cast<std::size_t>(2 * characters))
                        value.insert(value.end(), {0x00, 0x20});
                if (value.empty()) value = {0x00, 0x41};
                return value;
            }};
}

ColumnPlan random_column(Random& random, const std::string& charset)
{
    switch (random.below(21)) {
    case 0:
    case 1: return number_plan(random);
    case 2: return date_plan(random);
    case 3: return timestamp_plan(random, false);
    case 4: return timestamp_plan(random, true);
    case 5: return timestamp_tz_plan(random);
    case 6: return interval_plan(random);
    case 7:
    case 8: return binary_plan<double>(random);
    case 9: return binary_plan<float>(random);
    case 10:
    case 11: return raw_plan(random);
    case 12: return varchar_plan(random, charset, false);
    case 13: return varchar_plan(random, charset, true);
    case 14: return national_plan(random, false);
    case 15: return national_plan(random, true);
    case 16: return rowid_plan(random);
    case 17: return urowid_plan(random);
    case 18: return boolean_plan(random);
    case 19: return long_plan(random, charset);
    default: return long_raw_plan(random);
    }
}

// ---------------------------------------------------------------------------
// Tables and databases.

struct ColumnTruth {
    std::string held;
    schema::OracleType type = schema::OracleType::Unknown;
    Undecidable facts;
    std::set<std::string> distinct;  // the values
};

// Columns of a few distinct values are counted apart: a few values of
// random bytes, binary numbers or text often read as each other.
constexpr std::size_t kFewValues = 3;

struct TableTruth {
    std::uint32_t data_object = 0;
    std::size_t rows = 0;
    std::vector<ColumnTruth> columns;
};

struct RandomDatabase {
    datafile::Database database;
    std::string charset;
    std::vector<TableTruth> tables;
};

std::size_t row_count(Random& random)
{
    switch (random.below(5)) {
    case 0: return 3;
    case 1: return static_cast<std::size_t>(random.between(4, 20));
    case 2:
    case 3: return static_cast<std::size_t>(random.between(21, 200));
    default: return static_cast<std::size_t>(random.between(201, 1500));
    }
}

std::size_t stored_bytes(const datafile::LogicalRow& row)
{
    std::size_t bytes = 0;
    for (const datafile::Value& value : row.values) bytes += 3 + (value ? value->size() : 0);
    return bytes;
}

bool is_long(const ColumnPlan& plan) { return plan.def.type == kTypeLong || plan.def.type == kTypeLongRaw; }

// The row writer lays a row out whole in a block or chained over blocks it
// does not fit in: the row's other values are made to fit in half a block
// (the longest drawn again, or left NULL), and a LONG or LONG RAW value
// longer than a quarter of one grows past two blocks.
void fit_in_blocks(Random& random, const std::vector<ColumnPlan>& plans, datafile::LogicalRow& row,
                   std::uint32_t block_size)
{
    auto longest_other = [&] {
        std::size_t longest = 0;
        for (std::size_t c = 1; c < plans.size(); ++c)
            if (!is_long(plans[c]) && row.values[c] &&
                (!row.values[longest] || is_long(plans[longest]) ||
                 row.values[c]->size() > row.values[longest]->size()))
                longest = c;
        return longest;
    };
    auto others_bytes = [&] {
        std::size_t bytes = 0;
        for (std::size_t c = 0; c < plans.size(); ++c)
            if (!is_long(plans[c]) && row.values[c]) bytes += 3 + row.values[c]->size();
        return bytes;
    };
    for (int attempt = 0; others_bytes() > block_size / 2; ++attempt) {
        const std::size_t c = longest_other();
        if (attempt < 20)
            row.values[c] = plans[c].make(random);
        else
            row.values[c] = std::nullopt;
    }
    const std::size_t last = plans.size() - 1;
    if (!is_long(plans[last]) || !row.values[last] || row.values[last]->size() <= block_size / 4) return;
    Bytes& value = *row.values[last];
    const Bytes first = value;
    while (value.size() <= 2 * block_size) {
        if (plans[last].def.type == kTypeLong) value.push_back(' ');
        value.insert(value.end(), first.begin(), first.end());
    }
}

// A table of 1 to 10 random columns: each has its NULL rate, and some draw
// their values from a few made in advance. Every column holds a value.
datafile::TableDef random_table(Random& random, const std::string& charset, std::uint16_t charset_id,
                                std::uint32_t object, std::uint32_t block_size, TableTruth& truth)
{
    datafile::TableDef table;
    table.owner = "TESTER";
    table.name = "T" + std::to_string(object);
    table.object_id = table.data_object_id = object;
    truth.data_object = object;
    truth.rows = row_count(random);
    std::vector<ColumnPlan> plans;
    bool has_long = false;
    for (int c = random.between(1, 10); c > 0; --c) {
        plans.push_back(random_column(random, charset));
        // One LONG or LONG RAW column at most, stored last.
        if (is_long(plans.back()) && has_long) plans.back() = raw_plan(random);
        has_long = has_long || is_long(plans.back());
    }
    std::stable_partition(plans.begin(), plans.end(), [](const ColumnPlan& p) { return !is_long(p); });
    // A segment header maps a bounded number of extents.
    if (has_long) truth.rows = std::min<std::size_t>(truth.rows, 200);
    std::vector<int> null_percent;
    std::vector<std::vector<Bytes>> pools;
    for (ColumnPlan& plan : plans) {
        ColumnDef& def = plan.def;
        def.name = "C" + std::to_string(table.columns.size() + 1);
        if (def.charset_form == kCharsetFormDatabase) def.charset_id = charset_id;
        table.columns.push_back(def);
        truth.columns.push_back({plan.held, schema::type_from_code(def.type, def.charset_form, def.scale), {}, {}});
        null_percent.push_back(pick(random, std::vector<int>{0, 0, 0, 5, 20, 50, 90}));
        pools.emplace_back();
        if (random.chance(25))
            for (int v = random.between(1, 5); v > 0; --v) pools.back().push_back(plan.make(random));
    }
    std::vector<bool> has_value(plans.size(), false);
    for (std::size_t r = 0; r < truth.rows; ++r) {
        datafile::LogicalRow row;
        for (std::size_t c = 0; c < plans.size(); ++c) {
            const bool last_chance = r + 1 == truth.rows && !has_value[c];
            if (!last_chance && random.chance(null_percent[c])) {
                row.values.emplace_back(std::nullopt);
                continue;
            }
            Bytes value = pools[c].empty() ? plans[c].make(random) : pick(random, pools[c]);
            row.values.emplace_back(std::move(value));
        }
        fit_in_blocks(random, plans, row, block_size);
        for (std::size_t c = 0; c < plans.size(); ++c) {
            if (!row.values[c]) continue;
            const Bytes& value = *row.values[c];
            has_value[c] = true;
            truth.columns[c].distinct.emplace(value.begin(), value.end());
            Undecidable& facts = truth.columns[c].facts;
            facts.only_seven_bytes = facts.only_seven_bytes && value.size() != 11;
            const std::size_t inline_limit = plans[c].def.type == kTypeLong ? 4000 : 2000;
            facts.only_inline_lengths = facts.only_inline_lengths && value.size() <= inline_limit;
        }
        const std::size_t bytes = stored_bytes(row);
        if (bytes > block_size)
            table.shapes[table.rows.size()] = datafile::RowShape::Chained;
        else if (bytes < block_size / 4 && random.chance(2))
            table.shapes[table.rows.size()] = datafile::RowShape::Migrated;
        table.rows.push_back(std::move(row));
    }
    return table;
}

struct CharsetChoice {
    const char* name;
    std::uint16_t id;
};

RandomDatabase random_database(std::uint64_t seed, int tables)
{
    Random random(seed);
    static const std::vector<CharsetChoice> kCharsets = {
        {"AL32UTF8", kCharsetAl32Utf8},
        {"AL32UTF8", kCharsetAl32Utf8},
        {"WE8MSWIN1252", kCharsetWe8MsWin1252},
        {"WE8ISO8859P1", kCharsetWe8Iso8859P1},
        {"EE8MSWIN1250", 170},
        {"CL8MSWIN1251", 171},
        {"ZHS16GBK", 852},
        {"JA16SJIS", 832},
        {"US7ASCII", kCharsetUs7Ascii},
    };
    const CharsetChoice charset = pick(random, kCharsets);
    RandomDatabase out;
    out.charset = charset.name;
    datafile::Database& db = out.database;
    db.block_size = pick(random, std::vector<std::uint32_t>{2048, 4096, 8192, 8192, 16384});
    db.byte_order = random.chance(25) ? ByteOrder::Big : ByteOrder::Little;
    db.charset_id = charset.id;
    db.users = {{0, "SYS", kUserTypeUser},
                {1, "PUBLIC", kUserTypeRole},
                {5, "SYSTEM", kUserTypeUser},
                {101, "TESTER", kUserTypeUser}};
    for (int t = 0; t < tables; ++t) {
        TableTruth truth;
        db.tables.push_back(random_table(random, out.charset, charset.id, 90001 + static_cast<std::uint32_t>(t),
                                         db.block_size, truth));
        out.tables.push_back(std::move(truth));
    }
    return out;
}

// ---------------------------------------------------------------------------
// The measure.

// Writes the database, types its users' data file with --ddl --infer (no
// dictionary, no schema) and counts each column, in `few_values` when it
// holds at most kFewValues distinct values.
void measure(const RandomDatabase& generated, Accuracy& many_values, Accuracy& few_values)
{
    ScratchDir dir;
    datafile::write_database(datafile::build_database(generated.database), dir.root());
    const RunResult run = run_trevanix({"--ddl", "--infer", "--charset", generated.charset, dir.path("users01.dbf")});
    ASSERT_EQ(run.status, 0) << run.errors;
    const schema::Parsed<schema::Schema> inferred = schema::parse_schema_file(run.output);
    ASSERT_TRUE(inferred.ok()) << inferred.error;
    for (const TableTruth& table : generated.tables) {
        const schema::Table* found = nullptr;
        for (const schema::Table& t : inferred.value.tables)
            if (t.data_object == table.data_object) found = &t;
        for (std::size_t c = 0; c < table.columns.size(); ++c) {
            const ColumnTruth& column = table.columns[c];
            const schema::OracleType type =
                found && c < found->columns.size() ? found->columns[c].type : schema::OracleType::Unknown;
            const bool few = column.distinct.size() <= kFewValues;
            (few ? few_values : many_values).count(column.held, column.type, type, column.facts);
        }
    }
}

}  // namespace

// 360 tables in 12 databases, of every block size and both byte orders.
// The columns of one to three distinct values are counted apart: so few
// values of random bytes, binary numbers and text are often valid as each
// other and look alike (a RAW(2) value is a character of a single-byte set,
// three binary doubles of random magnitudes are eight random bytes each),
// and this generator makes many such columns (a fifth of its tables have
// three rows, a quarter of its columns draw on a few values).
TEST(InferDatabases, ColumnsOfRandomDatabasesGetTheirType)
{
    Accuracy many_values, few_values;
    constexpr int kDatabases = 12;
    constexpr int kTables = 30;
    for (int d = 0; d < kDatabases; ++d) {
        const RandomDatabase generated = random_database(7000 + static_cast<std::uint64_t>(d), kTables);
        ASSERT_NO_FATAL_FAILURE(measure(generated, many_values, few_values));
    }
    const int columns = many_values.columns + few_values.columns;
    const int exact = many_values.exact + few_values.exact;
    std::cout << "inference accuracy (random databases, " << kDatabases * kTables << " tables): " << exact << " of "
              << columns << " columns\n";
    many_values.report("columns of more than 3 distinct values");
    few_values.report("columns of 1 to 3 distinct values");
    EXPECT_GE(many_values.share(), 0.97);
    EXPECT_GE(few_values.share(), 0.90);
    EXPECT_GE(static_cast<double>(exact) / columns, 0.95);
}
