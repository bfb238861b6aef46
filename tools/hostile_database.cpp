// A database whose dictionary an attacker wrote: owners, tables, columns
// and partitions named with every byte a loading script or a terminal
// could trip on, names that collide once escaped, shortened or read in any
// case, names too long for a file system or PostgreSQL, names that are not
// UTF-8, and values holding the line that ends psql's \copy.
#include <string>

#include "format/dictionary_format.h"
#include "system_file.h"

namespace datafile {

using namespace dictionary;

namespace {

// What each hostile name carries after its hazard: a command for the
// sqlite3 shell and one for psql, which must never run.
const std::string kShellPayload = ".shell touch MARKER";
const std::string kPsqlPayload = "\\! touch MARKER";
// The ID of a table's deleted and stale rows: its live rows' plus these.
constexpr std::int64_t kDeletedIds = 100000;
constexpr std::int64_t kStaleIds = 200000;

ColumnDef id_column()
{
    ColumnDef c;
    c.name = "ID";
    c.precision = 10;
    c.scale = 0;
    return c;
}

ColumnDef text_column(std::string name)
{
    ColumnDef c;
    c.name = std::move(name);
    c.type = kTypeVarchar2;
    c.length = 100;
    c.charset_id = kCharsetAl32Utf8;
    c.charset_form = kCharsetFormDatabase;
    return c;
}

Value text(std::string_view s) { return Bytes(s.begin(), s.end()); }

// A name holding the hazard between the payloads.
std::string hostile_name(std::string_view hazard)
{
    std::string name = "N";
    return name.append(hazard).append(kShellPayload).append(hazard).append(kPsqlPayload);
}

// Every byte 0x00 to 0x1F and 0x7F, and what ends or comments out a quote
// or a statement.
std::vector<std::string> hazards()
{
    std::vector<std::string> all;
    for (int c = 0; c < 0x20; ++c) all.emplace_back(1, static_cast<char>(c));
    all.emplace_back(1, '\x7F');
    for (const char* text : {"\"", "'", "\\", ";", "--", "*/"}) all.emplace_back(text);
    return all;
}

class HostileBuilder {
public:
    HostileBuilder()
    {
        db_.users = {{0, "SYS", kUserTypeUser}, {5, "SYSTEM", kUserTypeUser}, {84, "SCOTT", kUserTypeUser}};
    }

    // A table of `owner` (made a user when it is not one) with an ID
    // column, the text columns named, and its rows: `live` ones, then
    // `deleted` and `stale` ones, each with the ID of its kind and `values`
    // in turn in its text columns.
    TableDef& add(const std::string& owner, const std::string& name, std::vector<std::string> columns,
                  std::size_t live, std::size_t deleted = 0, std::size_t stale = 0,
                  std::vector<std::string> values = {"v"})
    {
        add_user(owner);
        TableDef t;
        t.owner = owner;
        t.name = name;
        t.object_id = t.data_object_id = next_object_;
        next_object_ += 10;
        t.columns = {id_column()};
        for (std::string& column : columns) t.columns.push_back(text_column(std::move(column)));
        const std::int64_t id = next_id_++;
        std::size_t value = 0;
        auto row = [&](std::int64_t row_id, bool is_deleted) {
            LogicalRow r{{number_value(std::to_string(row_id))}, is_deleted};
            for (std::size_t c = 1; c < t.columns.size(); ++c) r.values.push_back(text(values[value++ % values.size()]));
            t.rows.push_back(std::move(r));
        };
        for (std::size_t i = 0; i < live; ++i) row(id, false);
        for (std::size_t i = 0; i < deleted; ++i) row(id + kDeletedIds, true);
        for (std::size_t i = 0; i < stale; ++i) {
            t.shapes[t.rows.size()] = RowShape::StaleCopy;
            row(id + kStaleIds, false);
        }
        expect(id, live);
        expect(id + kDeletedIds, deleted);
        expect(id + kStaleIds, stale);
        db_.tables.push_back(std::move(t));
        return db_.tables.back();
    }

    // Its rows in partitions of these names instead, `live` rows in each.
    void partition(TableDef& t, const std::vector<std::string>& names, std::size_t live)
    {
        t.data_object_id = 0;
        const LogicalRow row = t.rows.front();
        t.rows.clear();
        t.shapes.clear();
        for (const std::string& name : names) {
            PartitionDef p{name, next_object_, next_object_, std::vector<LogicalRow>(live, row)};
            next_object_ += 10;
            t.partitions.push_back(std::move(p));
        }
        expected_.back() = std::to_string(next_id_ - 1);
        expected_.back().append(" " + std::to_string(live * names.size()));
    }

    // A RAW column after its others, holding `value` in every row.
    static void add_raw_column(TableDef& t, std::string name, const Bytes& value)
    {
        ColumnDef c;
        c.name = std::move(name);
        c.type = kTypeRaw;
        c.length = 16;
        t.columns.push_back(c);
        for (LogicalRow& row : t.rows) row.values.push_back(value);
    }

    HostileDatabase take() { return {std::move(db_), std::move(expected_)}; }

private:
    void add_user(const std::string& name)
    {
        for (const UserDef& user : db_.users)
            if (user.name == name) return;
        db_.users.push_back({next_user_++, name, kUserTypeUser});
    }

    void expect(std::int64_t id, std::size_t rows)
    {
        if (rows > 0) expected_.push_back(std::to_string(id) + " " + std::to_string(rows));
    }

    Database db_;
    std::vector<std::string> expected_;
    std::uint32_t next_object_ = 90000;
    std::uint32_t next_user_ = 100;
    std::int64_t next_id_ = 1;
};

}  // namespace

HostileDatabase hostile_database()
{
    HostileBuilder b;
    // Each hazard in a table's name and a column's, and in an owner's.
    for (const std::string& hazard : hazards()) {
        const std::string name = hostile_name(hazard);
        // RAW values become BLOBs through statements that name the table in a string.
        HostileBuilder::add_raw_column(b.add("SCOTT", name, {name}, 2, 1), "R", {0xDE, 0xAD});
        b.add(name, "T", {"V"}, 1);
    }
    // Names that are one once escaped, or with another's suffixes.
    b.add("X", "A.B", {"V"}, 1);
    b.add("X.A", "B", {"V"}, 2);
    b.add("SCOTT", "DUP", {"V"}, 1);
    b.add("SCOTT", "DUP", {"V"}, 2);
    b.add("SCOTT", "T", {"V"}, 2, 1, 1);
    b.add("SCOTT", "T.deleted", {"V"}, 1);
    b.add("SCOTT", "T.stale", {"V"}, 1, 1);
    b.add("SCOTT", "T$stale", {"V"}, 1);
    b.add("SCOTT", "T$deleted", {"V"}, 1, 1);
    b.add("SCOTT", "EMP", {"V"}, 1);
    b.add("SCOTT", "emp", {"V"}, 2);
    b.add("SCOTT", "A\nB", {"V"}, 1);
    b.add("SCOTT", "A\\x0AB", {"V"}, 2);
    // Names PostgreSQL cuts at 63 bytes, and names too long for a file.
    b.add("SCOTT", std::string(63, 'M') + "1", {"V"}, 1, 1);
    b.add("SCOTT", std::string(63, 'M') + "2", {"V"}, 2, 1);
    b.add("SCOTT", std::string(62, 'L') + "1", {"V"}, 1);
    b.add("SCOTT", std::string(300, 'W'), {"V"}, 1, 1);
    b.add(std::string(128, 'O'), std::string(128, 'P'), {"V"}, 1, 1, 1);
    // Names that are not UTF-8.
    b.add("SCOTT", "\xFF\xFE", {"V"}, 1);
    b.add("SCOTT", "caf\xE9", {"caf\xE9"}, 1);
    b.add("\xC3", "T", {"V"}, 1);
    // Owners the targets reserve or would take for an option or a command.
    for (const char* owner : {"pg_x", "public", "sqlite_x", "-v", "|touch MARKER"}) b.add(owner, "T", {"V"}, 1);
    // Columns that collide in a database, or with those the loaders add.
    b.add("SCOTT", "COLS",
          {"A", "a", "ROWID", "ctid", "_rowid_", std::string(63, 'C') + "1", std::string(63, 'C') + "2", "V", "V"}, 1);
    // Values holding a line that is only \. (and the lines around it).
    b.add("SCOTT", "DOTS", {"TEXT"}, 6, 2, 0,
          {"a\n\\.\nb", "a\r\n\\.\r\nb", "\\.", "x\n\\.", "\\.\ny", "q\"\n\\.\n,\"", "\n\\.\n", "\r\n\\.\r\n"});
    // Partitions named with hazards.
    TableDef& parts = b.add("SCOTT", "PARTS", {"V"}, 1);
    b.partition(parts, {"P\n1", "P\x1B[2J", "\xFF", std::string("P\0" "2", 3)}, 2);
    return b.take();
}

}  // namespace datafile
