// The sample database's users and tables: a table of every column type the
// tool decodes, a clustered pair, 300 columns, hidden, unused and virtual
// columns, a partitioned table, a truncated one, text in another character
// set than the database's, and chained, migrated, deleted and stale rows.
#include <stdexcept>
#include <string>

#include "format/dictionary_format.h"
#include "system_file.h"

namespace datafile {

using namespace dictionary;

namespace {

Value number(std::int64_t n) { return number_value(std::to_string(n)); }
Value decimal(std::string_view text) { return number_value(text); }
Value text(std::string_view s) { return Bytes(s.begin(), s.end()); }
Value date(int year, int month, int day, int hour = 0, int minute = 0, int second = 0)
{
    return date_value(year, month, day, hour, minute, second);
}

ColumnDef number_column(std::string name, std::optional<std::int32_t> precision = std::nullopt,
                        std::optional<std::int32_t> scale = std::nullopt, bool nullable = true)
{
    ColumnDef c;
    c.name = std::move(name);
    c.precision = precision;
    c.scale = scale;
    c.nullable = nullable;
    return c;
}

ColumnDef text_column(std::string name, std::uint16_t type, std::uint32_t length, std::uint16_t charset,
                      std::uint8_t form = kCharsetFormDatabase)
{
    ColumnDef c;
    c.name = std::move(name);
    c.type = type;
    c.length = length;
    c.charset_id = charset;
    c.charset_form = form;
    return c;
}

ColumnDef typed_column(std::string name, std::uint16_t type, std::uint32_t length,
                       std::optional<std::int32_t> precision = std::nullopt,
                       std::optional<std::int32_t> scale = std::nullopt)
{
    ColumnDef c = number_column(std::move(name), precision, scale);
    c.type = type;
    c.length = length;
    return c;
}

// A physical UROWID: a leading 1, then the data object, file, block and
// slot.
Value urowid_value(std::uint32_t object, std::uint16_t file, std::uint32_t block, std::uint16_t slot)
{
    return Bytes{0x01,
                 static_cast<std::uint8_t>(object >> 24), static_cast<std::uint8_t>(object >> 16),
                 static_cast<std::uint8_t>(object >> 8),  static_cast<std::uint8_t>(object),
                 static_cast<std::uint8_t>(file >> 8),    static_cast<std::uint8_t>(file),
                 static_cast<std::uint8_t>(block >> 24),  static_cast<std::uint8_t>(block >> 16),
                 static_cast<std::uint8_t>(block >> 8),   static_cast<std::uint8_t>(block),
                 static_cast<std::uint8_t>(slot >> 8),    static_cast<std::uint8_t>(slot)};
}

Value national(std::string_view utf8) { return nchar_value(utf8); }

TableDef all_types_table()
{
    const std::uint16_t db = kCharsetAl32Utf8, nat = kCharsetAl16Utf16;
    TableDef t;
    t.owner = "HR";
    t.name = "ALL_TYPES";
    t.object_id = t.data_object_id = 87101;
    ColumnDef note = text_column("NOTE_CHAR", kTypeVarchar2, 40, db);
    note.property = kColumnCharLength;
    note.char_length = 10;
    t.columns = {
        number_column("ID", 10, 0, false),
        text_column("NAME", kTypeVarchar2, 40, db),
        text_column("NAME_N", kTypeVarchar2, 40, nat, kCharsetFormNational),
        number_column("AMOUNT", 12, 2),
        number_column("RATIO", 126, kFloatScale),  // FLOAT(126)
        typed_column("BORN", kTypeDate, 7),
        typed_column("CODE", kTypeRaw, 16),
        typed_column("ROW_REF", kTypeRowid, 10),
        text_column("FIXED", kTypeChar, 10, db),
        text_column("FIXED_N", kTypeChar, 10, nat, kCharsetFormNational),
        typed_column("BF", kTypeBinaryFloat, 4),
        typed_column("BD", kTypeBinaryDouble, 8),
        typed_column("TS", kTypeTimestamp, 11, std::nullopt, 6),
        typed_column("TSTZ", kTypeTimestampTz, 13, std::nullopt, 3),
        typed_column("IYM", kTypeIntervalYm, 5, 2, 0),
        typed_column("IDS", kTypeIntervalDs, 11, 3, 4),
        typed_column("UR", kTypeUrowid, 4000),
        typed_column("TSLTZ", kTypeTimestampLtz, 11, std::nullopt, 6),
        text_column("DOC", kTypeClob, 4000, db),
        typed_column("PIC", kTypeBlob, 4000),
        note,
        text_column("TEXT", kTypeLong, 0, db),
    };
    std::string long_text;
    for (int i = 0; i < 12; ++i) long_text += "A LONG value, stored last. ";
    t.rows = {
        {{number(1), text("Gr\xC3\xBC\xC3\x9F" "e"), national("Zo\u00EB"), decimal("12345.67"), decimal("0.125"),
          date(1985, 7, 14, 9, 30, 0), Bytes{0xDE, 0xAD, 0xBE, 0xEF}, rowid_value(87101, 4, 20, 3),
          text("ABC       "), national("ab   "), binary_float_value(1.5f), binary_double_value(-2.25),
          timestamp_value(2020, 2, 29, 23, 59, 58, 123456000),
          timestamp_tz_value(2021, 6, 1, 12, 0, 0, 500000000, 120), interval_ym_value(1, 6),
          interval_ds_value(3, 4, 5, 6, 700000000), urowid_value(87101, 4, 20, 3),
          timestamp_value(2022, 1, 2, 3, 4, 5), lob_locator_value(1), lob_locator_value(2), text("na\xC3\xAFve"),
          text(long_text)},
         false},
        // NULLs between values, and only the LONG column at the end.
        {{number(2), std::nullopt, std::nullopt, decimal("-0.5"), std::nullopt, std::nullopt, std::nullopt,
          std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt,
          interval_ym_value(-2, -3), std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt,
          std::nullopt, text("only the long")},
         false},
        // Trailing NULLs, not stored.
        {{number(3), text("x")}, false},
        {{number(4), text("deleted")}, true},
    };
    return t;
}

TableDef photos_table()
{
    TableDef t;
    t.owner = "SCOTT";
    t.name = "PHOTOS";
    t.object_id = t.data_object_id = 87105;
    t.columns = {number_column("ID", 6, 0, false), typed_column("TAKEN", kTypeDate, 7),
                 typed_column("IMAGE", kTypeLongRaw, 0)};
    Bytes image(600);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 7);
    t.rows = {{{number(1), date(2018, 5, 6, 7, 8, 9), image}, false}, {{number(2), std::nullopt, Bytes{0xFF}}, false}};
    return t;
}

// SCOTT's departments and employees, clustered by department number.
std::pair<ClusterDef, std::vector<TableDef>> emp_dept_cluster()
{
    ClusterDef c;
    c.owner = "SCOTT";
    c.name = "EMP_DEPT";
    c.object_id = c.data_object_id = 87110;
    c.key = {number_column("DEPTNO", 2, 0)};
    c.table_count = 3;
    TableDef dept;
    dept.owner = "SCOTT";
    dept.name = "DEPT";
    dept.object_id = 87111;
    dept.data_object_id = c.data_object_id;
    dept.cluster = ClusterPlace{c.object_id, 1};
    dept.columns = {number_column("DEPTNO", 2, 0, false), text_column("DNAME", kTypeVarchar2, 14, kCharsetAl32Utf8),
                    text_column("LOC", kTypeVarchar2, 13, kCharsetAl32Utf8)};
    const char* departments[][3] = {
        {"10", "ACCOUNTING", "NEW YORK"}, {"20", "RESEARCH", "DALLAS"}, {"30", "SALES", "CHICAGO"},
        {"40", "OPERATIONS", "BOSTON"}};
    for (const auto& d : departments) dept.rows.push_back({{decimal(d[0]), text(d[1]), text(d[2])}, false});
    TableDef emp;
    emp.owner = "SCOTT";
    emp.name = "EMP";
    emp.object_id = 87112;
    emp.data_object_id = c.data_object_id;
    emp.cluster = ClusterPlace{c.object_id, 2};
    emp.columns = {number_column("DEPTNO", 2, 0), number_column("EMPNO", 4, 0, false),
                   text_column("ENAME", kTypeVarchar2, 10, kCharsetAl32Utf8),
                   text_column("JOB", kTypeVarchar2, 9, kCharsetAl32Utf8), number_column("SAL", 7, 2)};
    const char* employees[][5] = {
        {"20", "7369", "SMITH", "CLERK", "800"},     {"30", "7499", "ALLEN", "SALESMAN", "1600"},
        {"30", "7521", "WARD", "SALESMAN", "1250"},  {"20", "7566", "JONES", "MANAGER", "2975"},
        {"30", "7654", "MARTIN", "SALESMAN", "1250"}, {"30", "7698", "BLAKE", "MANAGER", "2850"},
        {"10", "7782", "CLARK", "MANAGER", "2450"},  {"20", "7788", "SCOTT", "ANALYST", "3000"},
        {"10", "7839", "KING", "PRESIDENT", "5000"}, {"30", "7844", "TURNER", "SALESMAN", "1500"},
        {"20", "7876", "ADAMS", "CLERK", "1100"},    {"30", "7900", "JAMES", "CLERK", "950"},
        {"20", "7902", "FORD", "ANALYST", "3000"},   {"10", "7934", "MILLER", "CLERK", "1300.50"}};
    for (const auto& e : employees)
        emp.rows.push_back({{decimal(e[0]), decimal(e[1]), text(e[2]), text(e[3]), decimal(e[4])}, false});
    emp.rows[4].deleted = true;
    emp.rows.push_back({{decimal("50"), decimal("7999"), text("NOBODY")}, false});  // a key with no department
    return {c, {dept, emp}};
}

TableDef wide_table()
{
    TableDef t;
    t.owner = "SCOTT";
    t.name = "WIDE";
    t.object_id = t.data_object_id = 87120;
    for (int i = 1; i <= 300; ++i) {
        const std::string digits = std::to_string(i);
        std::string name(4 - digits.size(), '0');
        name[0] = 'C';
        t.columns.push_back(number_column(name.append(digits)));
    }
    auto row = [](int set, int step, std::int64_t base) {
        LogicalRow r;
        for (int i = 0; i < set; ++i) r.values.push_back(i % step == 0 ? number(base + i) : Value());
        return r;
    };
    t.rows = {row(300, 1, 1000), row(280, 1, 2000), row(100, 1, 3000), row(300, 299, 4000)};
    return t;
}

TableDef hidden_columns_table()
{
    TableDef t;
    t.owner = "HR";
    t.name = "HIDDEN_COLS";
    t.object_id = t.data_object_id = 87130;
    ColumnDef secret = text_column("SECRET", kTypeVarchar2, 20, kCharsetAl32Utf8);
    secret.property = kColumnHidden;
    ColumnDef unused = number_column("SYS_C00003_19030112:00:00$");
    unused.property = kColumnHidden | kColumnUnused;
    ColumnDef total = number_column("TOTAL");
    total.property = kColumnUserVirtual;
    t.columns = {number_column("ID", 6, 0, false), secret, unused, total,
                 text_column("NOTE", kTypeVarchar2, 30, kCharsetAl32Utf8)};
    t.rows = {{{number(1), text("s3cret"), number(42), text("first")}, false},
              {{number(2), std::nullopt, std::nullopt, text("second")}, false},
              {{number(3), text("x")}, false}};
    return t;
}

TableDef partitioned_table()
{
    TableDef t;
    t.owner = "SCOTT";
    t.name = "SALES";
    t.object_id = 87140;
    t.columns = {number_column("SALE_ID", 8, 0, false), number_column("SALE_YEAR", 4, 0),
                 number_column("AMOUNT", 10, 2)};
    for (const auto& [year, object] : {std::pair{2019, 87141u}, std::pair{2020, 87142u}}) {
        PartitionDef p{"P" + std::to_string(year), object, object, {}};
        for (int i = 1; i <= 3; ++i)
            p.rows.push_back({{number(year * 10 + i), number(year), decimal(std::to_string(i * 100 + year % 100) + ".25")},
                              false});
        t.partitions.push_back(p);
    }
    return t;
}

TableDef truncated_table(std::uint32_t block_size)
{
    TableDef t;
    t.owner = "SCOTT";
    t.name = "EVENTS";
    t.object_id = 87150;
    t.data_object_id = 87151;
    t.columns = {number_column("ID", 8, 0, false), text_column("WHAT", kTypeVarchar2, 100, kCharsetAl32Utf8),
                 typed_column("HAPPENED", kTypeDate, 7)};
    for (int i = 1; i <= 3; ++i)
        t.rows.push_back({{number(i), text("after the truncate " + std::to_string(i)), date(2020, 1, i)}, false});
    // Enough old rows for several blocks, so that some outlive the new ones.
    OlderGeneration older{87150, {}};
    const auto count = static_cast<int>(block_size * 3 / 100);
    for (int i = 1; i <= count; ++i)
        older.rows.push_back({{number(i), text("before the truncate, event number " + std::to_string(i) +
                                              std::string(40, '.')),
                               date(2019, 1 + i % 12, 1 + i % 28)},
                              false});
    t.older = older;
    return t;
}

TableDef other_charset_table()
{
    TableDef t;
    t.owner = "SCOTT";
    t.name = "CUSTOMERS_1252";
    t.object_id = t.data_object_id = 87160;
    t.columns = {number_column("ID", 6, 0, false), text_column("NAME", kTypeVarchar2, 40, kCharsetWe8MsWin1252),
                 text_column("CITY", kTypeVarchar2, 30, kCharsetAl32Utf8)};
    t.rows = {{{number(1), text("Cr\xE8me br\xFBl\xE9" "e"), text("Paris")}, false},
              {{number(2), text("M\xFCller"), text("Z\xC3\xBCrich")}, false},
              {{number(3), text("\x80uro")}, false}};
    return t;
}

// Rows longer than a block need more columns of 4000 bytes the larger the
// block is.
TableDef chained_rows_table(std::uint32_t block_size)
{
    TableDef t;
    t.owner = "SCOTT";
    t.name = "NOTES";
    t.object_id = t.data_object_id = 87170;
    t.columns = {number_column("ID", 6, 0, false), text_column("TITLE", kTypeVarchar2, 100, kCharsetAl32Utf8)};
    const std::size_t parts = block_size / 4000 + 2;
    LogicalRow long_row{{number(2), text("long")}, false};
    for (std::size_t i = 1; i <= parts; ++i) {
        t.columns.push_back(text_column("PART" + std::to_string(i), kTypeVarchar2, 4000, kCharsetAl32Utf8));
        long_row.values.push_back(text(std::string(4000, static_cast<char>('a' + i % 26))));
    }
    LogicalRow moved_long = long_row;
    moved_long.values[0] = number(4);
    moved_long.values[1] = text("moved and long");
    t.rows = {
        {{number(1), text("short"), text("a short note")}, false},
        long_row,
        {{number(3), text("moved"), text("grew after an update")}, false},
        moved_long,
        {{number(5), text("gone"), text("deleted since")}, true},
        {{number(1), text("short"), text("an older note")}, false},
        {{number(6), text("after")}, false},
    };
    t.shapes = {{1, RowShape::Chained}, {2, RowShape::Migrated}, {3, RowShape::Migrated}, {5, RowShape::StaleCopy}};
    return t;
}

// ---------------------------------------------------------------------------
// What DDL left in the dictionary

// Dropped with PURGE: a deleted row and an unused column's value among its rows.
TableDef dropped_bonus_table()
{
    TableDef t;
    t.owner = "SCOTT";
    t.name = "BONUS";
    t.object_id = t.data_object_id = 87200;
    ColumnDef rate = number_column("SYS_C00005_20010101:00:00$");
    rate.property = kColumnHidden | kColumnUnused;
    t.columns = {text_column("ENAME", kTypeVarchar2, 10, kCharsetAl32Utf8),
                 text_column("JOB", kTypeVarchar2, 9, kCharsetAl32Utf8), number_column("SAL"), number_column("COMM"),
                 rate};
    t.rows = {{{text("SMITH"), text("CLERK"), number(800), number(100), number(7)}, false},
              {{text("ALLEN"), text("SALESMAN"), number(1600), number(300)}, false},
              {{text("WARD"), text("SALESMAN"), number(1250)}, false},
              {{text("JONES"), text("MANAGER"), number(2975), std::nullopt, number(9)}, true}};
    t.dropped = true;
    return t;
}

// The same name twice: the table dropped, then one created again with other columns.
std::vector<TableDef> recreated_tables()
{
    TableDef old_temp;
    old_temp.owner = "SCOTT";
    old_temp.name = "TEMP";
    old_temp.object_id = old_temp.data_object_id = 87205;
    old_temp.columns = {number_column("ID", 4, 0), text_column("NOTE", kTypeVarchar2, 20, kCharsetAl32Utf8)};
    old_temp.rows = {{{number(1), text("old")}, false}, {{number(2), text("older")}, false}};
    old_temp.dropped = true;
    TableDef temp;
    temp.owner = "SCOTT";
    temp.name = "TEMP";
    temp.object_id = temp.data_object_id = 87210;
    temp.columns = {number_column("ID", 4, 0), text_column("LABEL", kTypeVarchar2, 20, kCharsetAl32Utf8),
                    typed_column("MADE", kTypeDate, 7)};
    temp.rows = {{{number(1), text("new"), date(2021, 3, 4)}, false}};
    return {old_temp, temp};
}

// Renamed from SITES, a column dropped since: its old OBJ$ and COL$ rows deleted.
TableDef renamed_table()
{
    TableDef t;
    t.owner = "HR";
    t.name = "LOCATIONS";
    t.object_id = t.data_object_id = 87215;
    t.columns = {number_column("ID", 4, 0, false), text_column("CITY", kTypeVarchar2, 30, kCharsetAl32Utf8)};
    t.removed_columns = {text_column("FAX", kTypeVarchar2, 20, kCharsetAl32Utf8)};
    t.former_names = {"SITES"};
    t.rows = {{{number(1), text("Oxford")}, false}, {{number(2), text("Lyon")}, false}};
    return t;
}

// Dropped with its owner (DROP USER ... CASCADE).
TableDef dropped_users_table()
{
    TableDef t;
    t.owner = "OLDAPP";
    t.name = "LOG";
    t.object_id = t.data_object_id = 87220;
    t.columns = {number_column("ID", 6, 0), text_column("MSG", kTypeVarchar2, 40, kCharsetAl32Utf8)};
    t.rows = {{{number(1), text("started")}, false}, {{number(2), text("stopped")}, false}};
    t.dropped = true;
    return t;
}

}  // namespace

Bytes lob_locator_value(std::uint32_t lob_id)
{
    // A length, a version and flags, then the LOB's id.
    Bytes b{0x00, 0x70, 0x00, 0x01, 0x02, 0x0C, 0x80, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x01};
    for (int shift = 24; shift >= 0; shift -= 8) b.push_back(static_cast<std::uint8_t>(lob_id >> shift));
    return b;
}

Database sample_database(std::uint32_t block_size, ByteOrder order)
{
    Database db;
    db.block_size = block_size;
    db.byte_order = order;
    db.users = {{0, "SYS", kUserTypeUser},
                {1, "PUBLIC", kUserTypeRole},
                {5, "SYSTEM", kUserTypeUser},
                {84, "SCOTT", kUserTypeUser},
                {85, "HR", kUserTypeUser}};
    auto [cluster, clustered] = emp_dept_cluster();
    db.clusters = {cluster};
    db.tables = {all_types_table(), photos_table()};
    db.tables.insert(db.tables.end(), clustered.begin(), clustered.end());
    for (TableDef t : {wide_table(), hidden_columns_table(), partitioned_table(), truncated_table(block_size),
                       other_charset_table(), chained_rows_table(block_size)})
        db.tables.push_back(std::move(t));
    return db;
}

Database history_database(std::uint32_t block_size, ByteOrder order)
{
    Database db = sample_database(block_size, order);
    db.users.push_back({110, "OLDAPP", kUserTypeUser, true});
    for (TableDef& t : db.tables) {
        if (t.name != "SALES") continue;
        PartitionDef p{"P2018", 87143, 87143, {}, true};
        for (int i = 1; i <= 2; ++i) p.rows.push_back({{number(20180 + i), number(2018), decimal("99.5")}, false});
        t.partitions.insert(t.partitions.begin(), p);
    }
    db.tables.push_back(dropped_bonus_table());
    for (TableDef& t : recreated_tables()) db.tables.push_back(std::move(t));
    db.tables.push_back(renamed_table());
    db.tables.push_back(dropped_users_table());
    // OBJ$'s line as an upgrade left it behind, naming another segment.
    for (BootstrapLine line : bootstrap_lines()) {
        const std::string segment = "OBJNO 18 EXTENTS (FILE 1 BLOCK 240)";
        const std::size_t at = line.sql.find(segment);
        if (at == std::string::npos) continue;
        line.sql.replace(at, segment.size(), "OBJNO 18 EXTENTS (FILE 1 BLOCK 208)");
        db.replaced_bootstrap_lines.push_back(line);
    }
    if (db.replaced_bootstrap_lines.empty()) throw std::logic_error("BOOTSTRAP$ has no line of OBJ$");
    return db;
}

}  // namespace datafile
