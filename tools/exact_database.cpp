// A database of the values a loader is tempted to round, shift or drop:
// numbers of 38 digits and at the edges of 64-bit integers, dates before
// 1582 (Julian) and before year 1, timestamps with nanoseconds, with
// offsets and with time zone regions, values no type can decode, text that
// looks like bytes, intervals PostgreSQL rounds or cannot hold. With each
// value, what the CSV file is to hold and what a loaded table is to give
// back, worked out here from the values themselves: day numbers by
// counting days in the database's calendar.
#include <cstdio>
#include <map>
#include <string>
#include <tuple>

#include "format/dictionary_format.h"
#include "system_file.h"

namespace datafile {

using namespace dictionary;

namespace {

// A moment of the database's calendar (BC years negative, no year 0).
struct Moment {
    int year, month, day, hour, minute, second;
    std::uint32_t nanoseconds = 0;
};

// 1 January 2000, and its Julian day number.
constexpr Moment kAnchor{2000, 1, 1, 0, 0, 0};
constexpr std::int64_t kAnchorDayNumber = 2451545;

// The Julian day number of the moment's date, counted a day at a time from
// the anchor through the database's calendar.
std::int64_t day_number(const Moment& m)
{
    int year = m.year, month = m.month, day = m.day;
    const bool before = std::tie(year, month, day) < std::tie(kAnchor.year, kAnchor.month, kAnchor.day);
    std::int64_t days = 0;
    while (year != kAnchor.year || month != kAnchor.month || day != kAnchor.day) {
        step_day(year, month, day, before ? 1 : -1);
        ++days;
    }
    return kAnchorDayNumber + (before ? -days : days);
}

// The moment `minutes` later (earlier when negative), less than a day.
Moment shifted(Moment m, int minutes)
{
    int in_day = m.hour * 60 + m.minute + minutes;
    if (in_day < 0) {
        in_day += 24 * 60;
        step_day(m.year, m.month, m.day, -1);
    } else if (in_day >= 24 * 60) {
        in_day -= 24 * 60;
        step_day(m.year, m.month, m.day, 1);
    }
    m.hour = in_day / 60;
    m.minute = in_day % 60;
    return m;
}

std::string digits(int value, int width)
{
    char text[16];
    std::snprintf(text, sizeof text, "%0*d", width, value);
    return text;
}

// The fraction as the unload writes it: its digits without trailing zeros.
std::string fraction_text(std::uint32_t nanoseconds)
{
    std::string text = digits(static_cast<int>(nanoseconds), 9);
    while (!text.empty() && text.back() == '0') text.pop_back();
    return text.empty() ? "" : "." + text;
}

std::string offset_text(int minutes)
{
    const int magnitude = minutes < 0 ? -minutes : minutes;
    return (minutes < 0 ? "-" : "+") + digits(magnitude / 60, 2) + ":" + digits(magnitude % 60, 2);
}

// YYYY-MM-DD HH:MM:SS, the fraction, the zone, and " BC" last.
std::string csv_moment(const Moment& m, const std::string& zone = "")
{
    const int year = m.year < 0 ? -m.year : m.year;
    std::string text = digits(year, 4) + "-" + digits(m.month, 2) + "-" + digits(m.day, 2) + " " + digits(m.hour, 2) +
                       ":" + digits(m.minute, 2) + ":" + digits(m.second, 2) + fraction_text(m.nanoseconds);
    if (!zone.empty()) text += " " + zone;
    return m.year < 0 ? text + " BC" : text;
}

bool before_gregorian(const Moment& m)
{
    constexpr int kGregorianStart[] = {1582, 10, 15};
    return std::tie(m.year, m.month, m.day) < std::tie(kGregorianStart[0], kGregorianStart[1], kGregorianStart[2]);
}

ColumnDef column(std::string name, std::uint16_t type, std::uint32_t length,
                 std::optional<std::int32_t> precision = std::nullopt, std::optional<std::int32_t> scale = std::nullopt)
{
    ColumnDef c;
    c.name = std::move(name);
    c.type = type;
    c.length = length;
    c.precision = precision;
    c.scale = scale;
    if (type == kTypeVarchar2 || type == kTypeClob) {
        c.charset_id = kCharsetAl32Utf8;
        c.charset_form = kCharsetFormDatabase;
    }
    return c;
}

// Builds the tables row by row, with what each value is to become.
class ExactBuilder {
public:
    ExactBuilder(std::string owner, std::string name, std::uint32_t object, std::vector<ColumnDef> columns)
    {
        table_.owner = std::move(owner);
        table_.name = std::move(name);
        table_.object_id = table_.data_object_id = object;
        table_.columns = {column("ID", kTypeNumber, 22, 10, 0)};
        table_.columns.front().nullable = false;
        for (ColumnDef& c : columns) table_.columns.push_back(std::move(c));
    }

    // A row of `kind` (rows, deleted, stale); its ID comes first, then one
    // value and its expectation per column.
    void row(std::string_view kind, std::vector<std::pair<Value, ExpectedValue>> values)
    {
        const std::int64_t id = next_id_++;
        const std::uint64_t record = ++records_[std::string(kind)];
        LogicalRow row{{number_value(std::to_string(id))}, kind == "deleted"};
        for (std::size_t i = 0; i < values.size(); ++i) {
            row.values.push_back(values[i].first);
            ExpectedValue e = std::move(values[i].second);
            e.table = table_.owner + "." + table_.name;
            e.rows = std::string(kind);
            e.record = record;
            e.id = id;
            e.column = table_.columns[i + 1].name;
            expected_.push_back(std::move(e));
        }
        if (kind == "stale") table_.shapes[table_.rows.size()] = RowShape::StaleCopy;
        table_.rows.push_back(std::move(row));
    }

    TableDef table() const { return table_; }
    const std::vector<ExpectedValue>& expected() const { return expected_; }

private:
    TableDef table_;
    std::vector<ExpectedValue> expected_;
    std::map<std::string, std::uint64_t> records_;
    std::int64_t next_id_ = 1;
};

ExpectedValue expect(std::string kind, std::string csv, std::string value = "")
{
    ExpectedValue e;
    e.kind = std::move(kind);
    e.csv = std::move(csv);
    e.value = std::move(value);
    return e;
}

std::pair<Value, ExpectedValue> null_value() { return {std::nullopt, expect("null", "")}; }

// A number: SQLite keeps it as an INTEGER when it is a 64-bit whole number,
// as a REAL when it has at most 15 significant digits, else as its digits.
std::pair<Value, ExpectedValue> number(const std::string& decimal, std::string sqlite_class)
{
    ExpectedValue e = expect("number", decimal, decimal);
    e.kept_sqlite = sqlite_class == "text";
    e.sqlite_class = std::move(sqlite_class);
    return {number_value(decimal), e};
}

std::string hex(const Bytes& bytes)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (std::uint8_t b : bytes) text.append(1, kDigits[b >> 4]).append(1, kDigits[b & 0xF]);
    return text;
}

// A value the unload cannot decode: 0x and its bytes in the CSV file (a
// LOB's locator, which is not its value, as its bytes alone).
std::pair<Value, ExpectedValue> undecoded(const Bytes& bytes, bool zoned = false, bool locator = false)
{
    ExpectedValue e = expect("undecoded", (locator ? "" : "0x") + hex(bytes), hex(bytes));
    if (zoned) e.zone = "";
    return {bytes, e};
}

// The instant's day, time and fraction, and the flags of a date or time
// that is converted or rounded.
void set_instant(ExpectedValue& e, const Moment& instant, const Moment& as_written)
{
    e.day_number = day_number(instant);
    e.time = digits(instant.hour, 2) + ":" + digits(instant.minute, 2) + ":" + digits(instant.second, 2);
    e.fraction = digits(static_cast<int>(instant.nanoseconds), 9);
    e.microseconds = digits(static_cast<int>((instant.nanoseconds + 500) / 1000), 6);
    e.text_sqlite = before_gregorian(as_written);
    e.text_postgres = e.text_sqlite || instant.nanoseconds % 1000 != 0;
    e.kept_sqlite = e.text_sqlite;
    e.kept_postgres = e.text_postgres;
}

std::pair<Value, ExpectedValue> date(const Moment& m)
{
    ExpectedValue e = expect("moment", csv_moment(m));
    set_instant(e, m, m);
    return {date_value(m.year, m.month, m.day, m.hour, m.minute, m.second), e};
}

std::pair<Value, ExpectedValue> timestamp(const Moment& m)
{
    ExpectedValue e = expect("moment", csv_moment(m));
    set_instant(e, m, m);
    return {timestamp_value(m.year, m.month, m.day, m.hour, m.minute, m.second, m.nanoseconds), e};
}

// A local time `offset` minutes east of UTC.
std::pair<Value, ExpectedValue> with_offset(const Moment& local, int offset)
{
    const std::string zone = offset_text(offset);
    ExpectedValue e = expect("zoned", csv_moment(local, zone));
    e.zone = zone;
    set_instant(e, shifted(local, -offset), local);
    return {timestamp_tz_value(local.year, local.month, local.day, local.hour, local.minute, local.second,
                               local.nanoseconds, offset),
            e};
}

// A time in UTC of the region `id` named `name`: its zone is kept as text.
std::pair<Value, ExpectedValue> in_region(const Moment& utc, std::uint16_t id, std::string name)
{
    ExpectedValue e = expect("zoned", csv_moment(utc, "+00:00"));
    e.zone = std::move(name);
    set_instant(e, utc, utc);
    e.kept_sqlite = e.kept_postgres = true;
    return {timestamp_region_value(utc.year, utc.month, utc.day, utc.hour, utc.minute, utc.second, utc.nanoseconds, id),
            e};
}

std::pair<Value, ExpectedValue> text(std::string_view s)
{
    return {Bytes(s.begin(), s.end()), expect("text", std::string(s), std::string(s))};
}

std::pair<Value, ExpectedValue> raw(const Bytes& bytes)
{
    return {bytes, expect("raw", hex(bytes), hex(bytes))};
}

TableDef numbers_table(std::vector<ExpectedValue>& expected)
{
    ExactBuilder b("EXACT", "NUMBERS", 91000, {column("N", kTypeNumber, 22)});
    b.row("rows", {number("0", "integer")});
    b.row("rows", {number("1300.5", "real")});
    b.row("rows", {number("-0.001", "real")});
    b.row("rows", {number("0.1", "real")});
    b.row("rows", {number("9223372036854775807", "integer")});
    b.row("rows", {number("-9223372036854775808", "integer")});
    b.row("rows", {number("9223372036854775808", "text")});
    b.row("rows", {number("-9223372036854775809", "text")});
    b.row("rows", {number("12345678901234567890123456789012345678", "text")});
    b.row("rows", {number("-0.12345678901234567890123456789012345678", "text")});
    b.row("rows", {number("-45280376513190164793.233", "text")});
    b.row("rows", {number("100000000000000000000000000000", "real")});
    b.row("rows", {number("0.000000000000000000000000000001", "real")});
    b.row("rows", {number("123456789012345.6", "text")});
    b.row("rows", {number("12345678901234.5", "real")});
    b.row("rows", {number("999999999999999999", "integer")});
    // A mantissa byte past 100: no NUMBER.
    b.row("rows", {undecoded({0xC2, 0xFF})});
    b.row("rows", {null_value()});
    b.row("deleted", {number("3.14159265358979323846264338327950288", "text")});
    expected.insert(expected.end(), b.expected().begin(), b.expected().end());
    return b.table();
}

TableDef moments_table(std::vector<ExpectedValue>& expected)
{
    ExactBuilder b("EXACT", "MOMENTS", 91010,
                   {column("D", kTypeDate, 7), column("TS", kTypeTimestamp, 11, std::nullopt, 9),
                    column("TSTZ", kTypeTimestampTz, 13, std::nullopt, 9),
                    column("LTZ", kTypeTimestampLtz, 11, std::nullopt, 6)});
    b.row("rows", {date({2020, 1, 1, 0, 0, 0}), timestamp({2012, 4, 1, 12, 34, 56, 123456789}),
                   with_offset({2021, 6, 1, 12, 0, 0, 500000000}, 120), timestamp({2022, 1, 2, 3, 4, 5})});
    b.row("rows", {date({1582, 10, 15, 0, 0, 0}), timestamp({1582, 10, 4, 23, 59, 59, 250000000}),
                   in_region({2012, 4, 1, 19, 34, 56}, 615, "US/Pacific"), null_value()});
    b.row("rows", {date({1582, 10, 4, 23, 59, 59}), timestamp({1500, 2, 29, 12, 0, 0, 1}),
                   with_offset({1500, 3, 1, 1, 0, 0}, 120), timestamp({1999, 12, 31, 23, 59, 59, 123456000})});
    b.row("rows", {date({1500, 2, 29, 12, 0, 0}), timestamp({-4712, 1, 1, 0, 0, 0}),
                   with_offset({-44, 3, 15, 12, 0, 0, 123456789}, -330), null_value()});
    b.row("rows", {date({1, 1, 1, 0, 0, 0}), timestamp({-1, 12, 31, 23, 59, 59, 999999000}),
                   in_region({1000, 1, 1, 0, 0, 0, 999}, 383, "Europe/Berlin"), null_value()});
    b.row("rows", {date({-1, 12, 31, 23, 59, 59}), timestamp({9999, 12, 31, 23, 59, 59, 123456000}),
                   with_offset({2021, 6, 1, 11, 0, 0}, -300), null_value()});
    b.row("rows", {date({-44, 3, 15, 12, 0, 0}), null_value(), null_value(), null_value()});
    b.row("rows", {date({-4712, 1, 1, 0, 0, 0}), null_value(), null_value(), null_value()});
    b.row("rows", {date({-4, 2, 29, 6, 7, 8}), null_value(), null_value(), null_value()});
    b.row("rows", {date({9999, 12, 31, 23, 59, 59}), null_value(), null_value(), null_value()});
    // A 13th month, a fraction of a billion nanoseconds, an offset of 40 hours.
    b.row("rows", {undecoded(date_value(2020, 13, 1, 0, 0, 0)), undecoded(timestamp_value(2020, 1, 1, 0, 0, 0, 1000000000)),
                   undecoded({0x78, 0x78, 0x01, 0x01, 0x01, 0x01, 0x01, 0, 0, 0, 0, 60, 60}, true), null_value()});
    b.row("rows", {null_value(), null_value(), null_value(), null_value()});
    b.row("deleted", {date({1500, 2, 29, 0, 0, 0}), null_value(),
                      undecoded({0x78, 0x78, 0x01, 0x01, 0x01, 0x01, 0x01, 0, 0, 0, 0, 60, 60}, true), null_value()});
    b.row("stale", {undecoded(date_value(2020, 2, 30, 0, 0, 0)), timestamp({2000, 1, 1, 0, 0, 0}), null_value(),
                    null_value()});
    expected.insert(expected.end(), b.expected().begin(), b.expected().end());
    return b.table();
}

TableDef texts_table(std::vector<ExpectedValue>& expected)
{
    ExactBuilder b("EXACT", "TEXTS", 91020,
                   {column("T", kTypeVarchar2, 40), column("R", kTypeRaw, 8), column("L", kTypeClob, 4000)});
    // Text that looks like the bytes of a value not decoded is text.
    b.row("rows", {text("0x1A72F7"), raw({0xDE, 0xAD, 0xBE, 0xEF}), undecoded(lob_locator_value(7), false, true)});
    b.row("rows", {undecoded({0xFF, 0xFE, 0x41}), raw({0x00}), null_value()});
    b.row("rows", {undecoded({'a', 0x00, 'b'}), null_value(), null_value()});
    b.row("rows", {text("plain"), null_value(), null_value()});
    b.row("deleted", {undecoded({0xC3, 0x28}), raw({0x0A}), null_value()});
    expected.insert(expected.end(), b.expected().begin(), b.expected().end());
    return b.table();
}

// An interval of years and months: +YY-MM. PostgreSQL counts its months
// in 32 bits: beyond them it holds none.
std::pair<Value, ExpectedValue> years_months(std::int64_t years, int months)
{
    const bool negative = years < 0 || months < 0;
    const std::int64_t y = years < 0 ? -years : years;
    const int m = months < 0 ? -months : months;
    const std::string text = std::string(negative ? "-" : "+") + (y < 10 ? "0" : "") + std::to_string(y) + "-" + digits(m, 2);
    const std::int64_t total = y * 12 + m;
    const bool beyond = total > 2147483647;
    ExpectedValue e = expect("interval_ym", text, beyond ? "" : std::to_string(negative ? -total : total));
    e.text_postgres = e.kept_postgres = beyond;
    return {interval_ym_value(static_cast<std::int32_t>(years), months), e};
}

// An interval of days to seconds: +DD HH:MM:SS.FFFFFFFFF, every field of
// the sign given. PostgreSQL rounds it to microseconds.
std::pair<Value, ExpectedValue> days_seconds(bool negative, std::int32_t days, int hours, int minutes, int seconds,
                                             std::int32_t nanoseconds)
{
    const std::string text = (negative ? "-" : "+") + digits(days, 2) + " " + digits(hours, 2) + ":" +
                             digits(minutes, 2) + ":" + digits(seconds, 2) + "." + digits(nanoseconds, 9);
    // Whole seconds, then microseconds: 999999999 days of microseconds are
    // more than 64 bits hold.
    std::int64_t whole = ((static_cast<std::int64_t>(days) * 24 + hours) * 60 + minutes) * 60 + seconds;
    int microseconds = (nanoseconds + 500) / 1000;
    if (microseconds == 1000000) {
        ++whole;
        microseconds = 0;
    }
    const std::string count = whole == 0 ? std::to_string(microseconds) : std::to_string(whole) + digits(microseconds, 6);
    ExpectedValue e = expect("interval_ds", text, (negative && count != "0" ? "-" : "") + count);
    e.text_postgres = e.kept_postgres = nanoseconds % 1000 != 0;
    const int sign = negative ? -1 : 1;
    return {interval_ds_value(sign * days, sign * hours, sign * minutes, sign * seconds, sign * nanoseconds), e};
}

TableDef intervals_table(std::vector<ExpectedValue>& expected)
{
    ExactBuilder b("EXACT", "INTERVALS", 91030,
                   {column("YM", kTypeIntervalYm, 5, 9, 0), column("DS", kTypeIntervalDs, 11, 9, 9)});
    b.row("rows", {years_months(1, 6), days_seconds(false, 3, 4, 5, 6, 700000000)});
    b.row("rows", {years_months(0, -3), days_seconds(true, 2, 12, 23, 34, 456789000)});
    b.row("rows", {years_months(999999999, 11), days_seconds(false, 0, 0, 0, 0, 123456789)});
    b.row("rows", {years_months(-178956970, -7), days_seconds(false, 999999999, 23, 59, 59, 999999000)});
    b.row("rows", {years_months(178956970, 8), days_seconds(true, 0, 0, 0, 0, 1)});
    // An hour of 25: no interval.
    b.row("deleted", {years_months(-999999999, -11), undecoded(interval_ds_value(1, 25, 0, 0, 0))});
    b.row("rows", {null_value(), null_value()});
    expected.insert(expected.end(), b.expected().begin(), b.expected().end());
    return b.table();
}

std::string flag(bool on) { return on ? "1" : "0"; }

}  // namespace

ExactDatabase exact_database()
{
    ExactDatabase exact;
    Database& db = exact.database;
    db.name = "EVIDENCE";
    db.id = 0x0BADCAFE;
    db.block_size = 16384;
    db.byte_order = ByteOrder::Big;
    db.users_file = 7;
    db.users = {{0, "SYS", kUserTypeUser}, {5, "SYSTEM", kUserTypeUser}, {90, "EXACT", kUserTypeUser}};
    db.tables = {numbers_table(exact.expected), moments_table(exact.expected), texts_table(exact.expected),
                 intervals_table(exact.expected)};
    return exact;
}

std::string expected_values_csv(const ExactDatabase& exact)
{
    std::string text = "TABLE,ROWS,RECORD,ID,COLUMN,KIND,CSV,VALUE,DAY,TIME,FRACTION,MICROSECONDS,ZONE,SQLITE_CLASS,"
                       "TEXT_SQLITE,TEXT_POSTGRES,KEPT_SQLITE,KEPT_POSTGRES\n";
    for (const ExpectedValue& e : exact.expected) {
        const bool moment = e.kind == "moment" || e.kind == "zoned";
        text += e.table + "," + e.rows + "," + std::to_string(e.record) + "," + std::to_string(e.id) + "," + e.column +
                "," + e.kind + "," + e.csv + "," + e.value + "," + (moment ? std::to_string(e.day_number) : "") + "," +
                e.time + "," + e.fraction + "," + e.microseconds + "," + e.zone.value_or("") + "," + e.sqlite_class +
                "," + flag(e.text_sqlite) + "," + flag(e.text_postgres) + "," + flag(e.kept_sqlite) + "," +
                flag(e.kept_postgres) + "\n";
    }
    return text;
}

}  // namespace datafile
