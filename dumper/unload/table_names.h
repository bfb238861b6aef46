// The names an unload gives each table, decided once in its plan: the stem
// of its files, its table in SQLite, its schema and table in PostgreSQL,
// and its columns' names in each. Names come from files an attacker may
// have written; these are unique and bounded whatever they hold, and the
// ordinary ones keep their plain forms (SCOTT.EMP.csv, "SCOTT.EMP$deleted",
// "SCOTT"."EMP$stale", OBJ_87150).
//
// A name is changed only where its target cannot take it as it is. Bytes a
// terminal must not be given (control characters, bytes that are not
// UTF-8) are written \xHH (in file names %HH, with '/', '\', '%' and a
// leading '.', '-', '|' or '~'). A name SQLite reserves (sqlite_...), that its
// shell would take for an option (-...), or that PostgreSQL reserves for
// its schemas (pg_...) gets a '~' in front. A name that is then empty, too
// long (a file name of more than 255 bytes with its longest suffix and
// ".part", a PostgreSQL name of more than 63 bytes with its longest
// suffix), or equal to a name another table (or column) already has, in
// any case for SQLite, with any of the suffixes of its kinds, is cut where
// it must be and given '~' and eight hexadecimal digits of a hash of the
// exact bytes of its owner and name. Which table keeps a name two want is
// decided in the order of the plan, the names that needed no change first.
// A dropped table is named as its name with the dropped kind's infix or
// suffix (SCOTT.BONUS.dropped, "SCOTT.BONUS$dropped"): the names a table of
// that name keeps free for it, which no live table writes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace unload {

// Which file of its table a row goes to: those of its kind, and for the
// values of its hidden and unused columns, Hidden.
enum class RowKind : std::uint8_t {
    Live,     // a directory slot points at its head, no D bit
    Deleted,  // the D bit
    Stale,    // no slot points at it and no D bit: a copy an update left behind
    Hidden,   // the hidden and unused columns' values of the rows of every kind
};
constexpr std::size_t kRowKinds = 4;
constexpr RowKind kAllRowKinds[kRowKinds] = {RowKind::Live, RowKind::Deleted, RowKind::Stale, RowKind::Hidden};

// The names of every set of rows a table may be unloaded into: RowKind's,
// in its order, then those later kinds will take, kept free now so that
// adding one changes no table's names.
struct KindNames {
    std::string_view key;           // its name in summary.json
    std::string_view file_infix;    // after the stem, before ".csv": ".deleted"
    std::string_view table_suffix;  // after the loaded table's name: "$deleted"
};
inline constexpr KindNames kKindNames[] = {
    {"rows", "", ""},
    {"deleted", ".deleted", "$deleted"},
    {"stale", ".stale", "$stale"},
    {"hidden", ".hidden", "$hidden"},
    {"dropped", ".dropped", "$dropped"},
    {"undecoded", ".undecoded", "$undecoded"},
};
inline const KindNames& names_of(RowKind kind) { return kKindNames[static_cast<std::size_t>(kind)]; }
// What a dropped table's names carry after its name, before its kinds':
// SCOTT.BONUS.dropped.csv, "SCOTT.BONUS$dropped$deleted".
inline constexpr const KindNames& kDroppedNames = kKindNames[4];
static_assert(kDroppedNames.key == "dropped");

// The fields an unload adds to a table's files besides its columns: the
// row's rowid, a partitioned table's partition, and in the Hidden file
// the kind of row the values are of (row_kind_word).
constexpr std::string_view kRowidField = "ROWID";
constexpr std::string_view kPartitionField = "PARTITION";
constexpr std::string_view kRowKindField = "ROW_KIND";
// "live", "deleted", "stale".
std::string_view row_kind_word(RowKind kind);

// A table's values that could not be decoded, a line each, with the row
// they belong to: a file and a loaded table of their own.
constexpr std::size_t kUndecodedKind = 5;
static_assert(kKindNames[kUndecodedKind].key == "undecoded");
inline const KindNames& undecoded_names() { return kKindNames[kUndecodedKind]; }

// A table's files: its stem, a kind's infix, then one of these.
constexpr std::string_view kCsvSuffix = ".csv";
constexpr std::string_view kBinaryCopySuffix = ".pgcopy";  // a CSV file as PostgreSQL's binary COPY reads it
constexpr std::string_view kControlFileSuffix = ".ctl";    // after the stem alone

// What a table is called in each place it goes to.
struct TableNames {
    std::string file_stem;        // OWNER.TABLE, escaped for a file name
    std::string sqlite;           // "OWNER.TABLE" before a kind's suffix
    std::string postgres_schema;  // the owner's schema; "public" for a table without owner
    std::string postgres;         // the table in it, before a kind's suffix

    std::string csv_file(RowKind kind) const { return csv_file(names_of(kind)); }
    std::string binary_copy_file(RowKind kind) const { return binary_copy_file(names_of(kind)); }
    std::string control_file() const { return file_stem + std::string(kControlFileSuffix); }
    std::string sqlite_table(RowKind kind) const { return sqlite_table(names_of(kind)); }
    std::string postgres_table(RowKind kind) const { return postgres_table(names_of(kind)); }

    std::string csv_file(const KindNames& kind) const
    {
        return file_stem + std::string(kind.file_infix) + std::string(kCsvSuffix);
    }
    std::string binary_copy_file(const KindNames& kind) const
    {
        return file_stem + std::string(kind.file_infix) + std::string(kBinaryCopySuffix);
    }
    std::string sqlite_table(const KindNames& kind) const { return sqlite + std::string(kind.table_suffix); }
    std::string postgres_table(const KindNames& kind) const { return postgres + std::string(kind.table_suffix); }
};

// The columns the unload adds beside a column, named after it (and kept
// apart from every other column's name as a column's own name is).
constexpr std::string_view kZoneSuffix = "$zone";  // a TIMESTAMP WITH TIME ZONE value's zone, in its CSV file too
constexpr std::string_view kTextSuffix = "$text";  // in a database, the text of a date or time it holds otherwise
struct CompanionNames {
    std::string text;  // in the CSV header (the zone's only)
    std::string sqlite;
    std::string postgres;

    bool empty() const { return sqlite.empty(); }
};

struct ColumnNames {
    std::string text;  // as CSV headers, control files and terminals show it (terminal_text)
    std::string sqlite;
    std::string postgres;

    // TIMESTAMP WITH TIME ZONE's; empty for the others.
    const CompanionNames& zone() const { return companions_ ? companions_->zone : no_companion(); }
    // Dates' and times'; empty for the others.
    const CompanionNames& kept_text() const { return companions_ ? companions_->kept_text : no_companion(); }
    void set_companions(CompanionNames zone, CompanionNames kept_text)
    {
        companions_ = std::make_shared<const Companions>(Companions{std::move(zone), std::move(kept_text)});
    }

private:
    struct Companions {
        CompanionNames zone;
        CompanionNames kept_text;
    };
    static const CompanionNames& no_companion()
    {
        static const CompanionNames none;
        return none;
    }
    // Held apart, and only by the columns that have any: a plan of
    // thousands of tables holds every column's names all through the run.
    std::shared_ptr<const Companions> companions_;
};

// The names an unload's tables (or a table's columns) have been given in
// one place, before the suffixes of their kinds, so that those named later
// take none of them.
class NameSet {
public:
    explicit NameSet(bool any_case = false) : any_case_(any_case) {}
    bool holds(std::string_view name) const { return holds(names_, name); }
    // Among those that end as another's with a kind's suffix does.
    bool holds_ending_as_a_kind(std::string_view name) const
    {
        return !ending_as_a_kind_.empty() && holds(ending_as_a_kind_, name);
    }
    void add(std::string_view name, bool ends_as_a_kind = false)
    {
        names_.insert(any_case_ ? folded(name) : std::string(name));
        if (ends_as_a_kind) ending_as_a_kind_.insert(any_case_ ? folded(name) : std::string(name));
    }

private:
    // Names looked up without a copy.
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view name) const { return std::hash<std::string_view>()(name); }
    };
    using Names = std::unordered_set<std::string, Hash, std::equal_to<>>;
    static std::string folded(std::string_view name);
    bool holds(const Names& names, std::string_view name) const
    {
        return any_case_ ? names.find(folded(name)) != names.end() : names.find(name) != names.end();
    }

    bool any_case_;
    Names names_;
    Names ending_as_a_kind_;
};

struct UnloadTable;

// Gives tables their names, each once; the names of the tables named
// before are kept.
class TableNamer {
public:
    TableNamer();
    // Names `tables` and their columns.
    void name(std::span<UnloadTable> tables);
    // Names a table's columns again, once they have changed.
    static void name_columns(UnloadTable& table);

private:
    void name_files(std::span<UnloadTable> tables);
    void name_sqlite(std::span<UnloadTable> tables);
    void name_postgres(std::span<UnloadTable> tables);
    const std::string& postgres_schema(const UnloadTable& table);

    NameSet files_;
    NameSet sqlite_{true};
    NameSet postgres_schemas_;
    std::map<std::string, std::string> schema_of_owner_;  // by the owner's exact bytes
    std::map<std::string, NameSet> postgres_tables_;      // by schema
};

// A name as a file name holds it: '/', '\', '%', control characters, bytes
// that are not UTF-8 and a leading '.', '-', '|' or '~' as %HH.
std::string file_name_of(std::string_view name);

}  // namespace unload
