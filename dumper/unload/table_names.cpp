#include "unload/table_names.h"

#include <algorithm>
#include <initializer_list>
#include <numeric>

#include "unload/unload_plan.h"
#include "values/charsets.h"
#include "values/escaped_text.h"

namespace unload {

namespace {

// The longest name of each place: a file name with ".part" (its name while
// it is written) within the 255 bytes file systems allow, and PostgreSQL's
// identifiers (longer ones it cuts, so that two would become one).
constexpr std::size_t kMostFileNameBytes = 255 - 5;
constexpr std::size_t kMostPostgresBytes = 63;
constexpr std::size_t kUnbounded = static_cast<std::size_t>(-1);
// What a changed name gets: '~' and eight hexadecimal digits.
constexpr char kMark = '~';
constexpr std::size_t kHashSuffixBytes = 9;

// The schema of tables without owner, and the names PostgreSQL keeps for
// its own schemas.
constexpr std::string_view kPostgresDefaultSchema = "public";
constexpr std::string_view kPostgresReservedSchemas[] = {kPostgresDefaultSchema, "information_schema"};
constexpr std::string_view kPostgresReservedSchemaPrefixes[] = {"pg_"};
// SQLite's own tables, and what its shell's .import takes for an option.
constexpr std::string_view kSqliteReservedPrefixes[] = {"sqlite_", "-"};
// The columns SQLite and PostgreSQL have of their own.
constexpr std::string_view kSqliteReservedColumns[] = {"_rowid_"};  // what sqlite.sql finds rows by
constexpr std::string_view kPostgresSystemColumns[] = {"tableoid", "xmin", "cmin", "xmax", "cmax", "ctid"};

char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool starts_with(std::string_view text, std::string_view prefix, bool any_case)
{
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (any_case ? upper(text[i]) != upper(prefix[i]) : text[i] != prefix[i]) return false;
    return true;
}

bool ends_with(std::string_view text, std::string_view ending, bool any_case)
{
    return text.size() >= ending.size() && starts_with(text.substr(text.size() - ending.size()), ending, any_case);
}

// How a place takes names: each name given stands for itself followed by
// each of `suffixes`, and then, for files, by an extension of at most
// `ending` bytes.
struct NameRule {
    std::vector<std::string> suffixes;
    std::size_t most_bytes = kUnbounded;  // of a name with its longest suffix and ending
    bool any_case = false;
    std::span<const std::string_view> reserved_prefixes;
    // What a name cut to nothing starts with before its suffix.
    std::string_view empty_stem = "";
    std::size_t ending = 0;
    std::string_view dropped_suffix = "";  // the suffix a dropped table's name ends with

    std::size_t longest_suffix() const
    {
        std::size_t longest = 0;
        for (const std::string& s : suffixes) longest = std::max(longest, s.size());
        return longest;
    }

    bool reserved(std::string_view name) const
    {
        return std::any_of(reserved_prefixes.begin(), reserved_prefixes.end(),
                           [&](std::string_view prefix) { return starts_with(name, prefix, any_case); });
    }
    // Whether the name ends as another's with a suffix does (T.deleted
    // beside T): such names yield to the others.
    bool ends_as_a_kind(std::string_view name) const
    {
        return std::any_of(suffixes.begin(), suffixes.end(), [&](const std::string& s) {
            return !s.empty() && name.size() > s.size() && ends_with(name, s, any_case);
        });
    }
    // Whether a name `base` stands for (base and a suffix) is one a name
    // taken stands for: T and a suffix. Only the names given are kept, and
    // base + mine == T + theirs is looked for case by case. A dropped
    // table's base is T and the dropped suffix, which T keeps for it.
    bool collides(const NameSet& taken, const std::string& base, bool dropped = false) const
    {
        if (taken.holds(base)) return true;  // the same suffix
        for (const std::string& theirs : suffixes)
            if (!theirs.empty() && base.size() > theirs.size() && ends_with(base, theirs, any_case) &&
                !(dropped && theirs == dropped_suffix) &&
                taken.holds(std::string_view(base).substr(0, base.size() - theirs.size())))
                return true;  // T.deleted as base, T taken
        for (const std::string& mine : suffixes) {
            if (mine.empty()) continue;
            const std::string name = base + mine;
            if (taken.holds_ending_as_a_kind(name)) return true;  // base.deleted taken
            // Suffixes of which one ends with another (none are now).
            for (const std::string& theirs : suffixes)
                if (!theirs.empty() && theirs != mine &&
                    (ends_with(mine, theirs, any_case) || ends_with(theirs, mine, any_case)) &&
                    ends_with(name, theirs, any_case) &&
                    taken.holds(std::string_view(name).substr(0, name.size() - theirs.size())))
                    return true;
        }
        return false;
    }
};

// A 64-bit FNV-1a hash of the exact bytes of the parts, each preceded by
// its length, and of the attempt.
std::uint32_t name_hash(std::string_view first, std::string_view second, std::uint32_t attempt)
{
    std::uint64_t hash = 0xcbf29ce484222325u;
    auto add = [&hash](std::uint64_t byte) {
        hash ^= byte;
        hash *= 0x100000001b3u;
    };
    for (std::string_view part : {first, second}) {
        for (int shift = 0; shift < 64; shift += 8) add(part.size() >> shift & 0xFF);
        for (char c : part) add(static_cast<unsigned char>(c));
    }
    for (int shift = 0; shift < 32; shift += 8) add(attempt >> shift & 0xFF);
    return static_cast<std::uint32_t>(hash ^ hash >> 32);
}

std::string hash_suffix(std::uint32_t hash)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string suffix(1, kMark);
    for (int shift = 28; shift >= 0; shift -= 4) suffix += kDigits[hash >> shift & 0xF];
    return suffix;
}

// The text cut to at most `most` bytes, neither inside a character nor
// inside a \xHH or %HH it was escaped with.
std::string cut_to(std::string text, std::size_t most)
{
    if (text.size() <= most) return text;
    std::size_t end = most;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    for (std::size_t k = end >= 3 ? end - 3 : 0; k < end; ++k)
        if ((text[k] == '\\' && k + 4 > end) || (text[k] == '%' && k + 3 > end)) {
            end = k;
            break;
        }
    text.resize(end);
    return text;
}

// Takes, for a table or column whose name is `exact` (the hash's bytes),
// `wanted` and `tail` as its place holds them when every name that stands
// for is free and fits, else the first cut and hashed form of `wanted`
// followed by `tail` that is. A tail (a dropped table's suffix) is kept
// whole; its table's own name keeps it free. Returns what it took.
std::string claim(NameSet& taken, const NameRule& rule, std::string wanted, std::string_view exact_owner,
                  std::string_view exact_name, std::string_view tail = "")
{
    const std::size_t longest = rule.longest_suffix() + rule.ending + tail.size();
    auto free = [&](const std::string& base) {
        if (rule.most_bytes != kUnbounded && base.size() - tail.size() + longest > rule.most_bytes) return false;
        return !rule.collides(taken, base, !tail.empty());
    };
    auto take = [&](std::string base) {
        taken.add(base, rule.ends_as_a_kind(base));
        return base;
    };
    if (rule.reserved(wanted)) wanted.insert(wanted.begin(), kMark);
    if (!wanted.empty()) {
        std::string base = wanted + std::string(tail);
        if (free(base)) return take(std::move(base));
    }
    const std::size_t room =
        rule.most_bytes == kUnbounded ? kUnbounded : rule.most_bytes - longest - kHashSuffixBytes;
    std::string stem = cut_to(std::move(wanted), room);
    if (stem.empty()) stem = rule.empty_stem;
    for (std::uint32_t attempt = 0;; ++attempt) {
        std::string base = stem + hash_suffix(name_hash(exact_owner, exact_name, attempt)) + std::string(tail);
        if (free(base)) return take(std::move(base));
    }
}

// The order tables (or columns) are named in: those whose name needs no
// change first, each group in the plan's order.
template <class Plain>
std::vector<std::size_t> naming_order(std::size_t count, Plain plain)
{
    std::vector<std::size_t> order(count);
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_partition(order.begin(), order.end(), plain);
    return order;
}

// The order tables are named in: those whose name needs no change, the
// others, then the dropped ones, whose names their live namesakes keep free.
template <class Plain>
std::vector<std::size_t> table_naming_order(std::span<const UnloadTable> tables, Plain plain)
{
    std::vector<std::size_t> order =
        naming_order(tables.size(), [&](std::size_t i) { return !tables[i].dropped && plain(i); });
    std::stable_partition(order.begin(), order.end(), [&](std::size_t i) { return !tables[i].dropped; });
    return order;
}

// What a dropped table's names end with, after its name: in files, or in the loaders.
std::string_view dropped_tail(const UnloadTable& table, bool files)
{
    if (!table.dropped) return "";
    return files ? kDroppedNames.file_infix : kDroppedNames.table_suffix;
}

// What a table's names are followed by: its kinds' infixes in files (the
// extensions after them, .csv, .pgcopy and .ctl, end no other), their
// suffixes in the loaders.
std::vector<std::string> kind_suffixes(bool files)
{
    std::vector<std::string> suffixes;
    for (const KindNames& kind : kKindNames) suffixes.emplace_back(files ? kind.file_infix : kind.table_suffix);
    return suffixes;
}

std::string qualified(std::string_view owner, std::string_view name)
{
    return owner.empty() ? std::string(name) : std::string(owner) + "." + std::string(name);
}

bool is_escaped_in_file_names(unsigned char c, bool first)
{
    return c < 0x20 || c == 0x7F || c == '/' || c == '\\' || c == '%' ||
           (first && (c == '.' || c == '-' || c == '|' || c == '~'));
}

void put_percent_escape(std::string& out, unsigned char c)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    out += '%';
    out += kDigits[c >> 4];
    out += kDigits[c & 0xF];
}

// Columns in SQLite and PostgreSQL: unique among themselves and the
// fields the loaders add to their file.
void name_column_set(std::vector<OutputColumn>& columns, std::string_view table_name,
                     std::initializer_list<std::string_view> added)
{
    NameSet sqlite(true), postgres;
    const NameRule sqlite_rule{{""}, kUnbounded, true, {}};
    const NameRule postgres_rule{{""}, kMostPostgresBytes, false, {}};
    for (NameSet* set : {&sqlite, &postgres})
        for (std::string_view name : added) set->add(name);
    for (std::string_view name : kSqliteReservedColumns) sqlite.add(name);
    for (std::string_view name : kPostgresSystemColumns) postgres.add(name);
    for (OutputColumn& column : columns) column.names.text = terminal_text(column.column.name);
    const auto order = naming_order(columns.size(), [&](std::size_t i) {
        return columns[i].names.text == columns[i].column.name;
    });
    for (std::size_t i : order) {
        ColumnNames& names = columns[i].names;
        const std::string& exact = columns[i].column.name;
        names.sqlite = claim(sqlite, sqlite_rule, names.text, table_name, exact);
        names.postgres = claim(postgres, postgres_rule, names.text, table_name, exact);
    }
    // Then the columns added beside them, which yield their names to every
    // column of the table's own.
    auto companion = [&](const OutputColumn& column, std::string_view suffix) {
        const std::string wanted = column.names.text + std::string(suffix);
        const std::string exact = column.column.name + std::string(suffix);
        return CompanionNames{wanted, claim(sqlite, sqlite_rule, wanted, table_name, exact),
                              claim(postgres, postgres_rule, wanted, table_name, exact)};
    };
    for (OutputColumn& column : columns) {
        CompanionNames zone;
        CompanionNames kept_text;
        if (csv_fields(column.load.form) > 1) zone = companion(column, kZoneSuffix);
        if (has_text_companion(column.load.form)) kept_text = companion(column, kTextSuffix);
        if (!zone.empty() || !kept_text.empty()) column.names.set_companions(std::move(zone), std::move(kept_text));
    }
}

}  // namespace

std::string_view row_kind_word(RowKind kind)
{
    switch (kind) {
    case RowKind::Live: return "live";
    case RowKind::Deleted: return "deleted";
    case RowKind::Stale: return "stale";
    case RowKind::Hidden: break;
    }
    return "hidden";
}

std::string NameSet::folded(std::string_view name)
{
    std::string key(name);
    std::transform(key.begin(), key.end(), key.begin(), upper);
    return key;
}

std::string file_name_of(std::string_view name)
{
    std::string file;
    const auto* p = reinterpret_cast<const unsigned char*>(name.data());
    for (std::size_t i = 0; i < name.size();) {
        const std::size_t length = utf8_sequence(p + i, name.size() - i);
        const bool shown = length > 1 ? is_plain_text(name.substr(i, length))
                                      : length == 1 && !is_escaped_in_file_names(p[i], i == 0);
        if (shown) {
            file.append(name.substr(i, length));
            i += length;
            continue;
        }
        for (std::size_t k = 0; k < std::max<std::size_t>(length, 1); ++k) put_percent_escape(file, p[i + k]);
        i += std::max<std::size_t>(length, 1);
    }
    return file;
}

TableNamer::TableNamer()
{
    for (std::string_view name : kPostgresReservedSchemas) postgres_schemas_.add(name);
}

void TableNamer::name_columns(UnloadTable& table)
{
    if (table.partitioned)
        name_column_set(table.columns, table.name, {kRowidField, kPartitionField});
    else
        name_column_set(table.columns, table.name, {kRowidField});
    name_column_set(table.hidden_columns, table.name, {kRowidField, kRowKindField, kPartitionField});
}

void TableNamer::name(std::span<UnloadTable> tables)
{
    name_files(tables);
    name_sqlite(tables);
    name_postgres(tables);
    for (UnloadTable& table : tables) name_columns(table);
}

void TableNamer::name_files(std::span<UnloadTable> tables)
{
    // A file name starting with '~' is a home directory to psql and shells.
    NameRule rule{kind_suffixes(true), kMostFileNameBytes, false, {}, "_",
                  std::max({kCsvSuffix.size(), kBinaryCopySuffix.size(), kControlFileSuffix.size()})};
    rule.dropped_suffix = kDroppedNames.file_infix;
    std::vector<std::string> wanted;
    for (const UnloadTable& table : tables) wanted.push_back(file_name_of(table.qualified_name()));
    for (std::size_t i : table_naming_order(tables, [&](std::size_t i) {
             return wanted[i] == tables[i].qualified_name() && !rule.ends_as_a_kind(wanted[i]);
         }))
        tables[i].names.file_stem = claim(files_, rule, wanted[i], tables[i].owner, tables[i].name, dropped_tail(tables[i], true));
}

void TableNamer::name_sqlite(std::span<UnloadTable> tables)
{
    NameRule rule{kind_suffixes(false), kUnbounded, true, kSqliteReservedPrefixes};
    rule.dropped_suffix = kDroppedNames.table_suffix;
    std::vector<std::string> wanted;
    for (const UnloadTable& table : tables) wanted.push_back(qualified(terminal_text(table.owner), terminal_text(table.name)));
    for (std::size_t i : table_naming_order(tables, [&](std::size_t i) {
             return wanted[i] == tables[i].qualified_name() && !rule.reserved(wanted[i]) &&
                    !rule.ends_as_a_kind(wanted[i]);
         }))
        tables[i].names.sqlite = claim(sqlite_, rule, wanted[i], tables[i].owner, tables[i].name, dropped_tail(tables[i], false));
}

const std::string& TableNamer::postgres_schema(const UnloadTable& table)
{
    const auto found = schema_of_owner_.find(table.owner);
    if (found != schema_of_owner_.end()) return found->second;
    const NameRule rule{{""}, kMostPostgresBytes, false, kPostgresReservedSchemaPrefixes};
    std::string schema = table.owner.empty() ? std::string(kPostgresDefaultSchema)
                                             : claim(postgres_schemas_, rule, terminal_text(table.owner), table.owner, "");
    return schema_of_owner_.emplace(table.owner, std::move(schema)).first->second;
}

void TableNamer::name_postgres(std::span<UnloadTable> tables)
{
    NameRule rule{kind_suffixes(false), kMostPostgresBytes, false, {}};
    rule.dropped_suffix = kDroppedNames.table_suffix;
    // Owners whose names need no change take their schemas first.
    for (std::size_t i : naming_order(tables.size(), [&](std::size_t i) { return is_plain_text(tables[i].owner); }))
        tables[i].names.postgres_schema = postgres_schema(tables[i]);
    std::vector<std::string> wanted;
    for (const UnloadTable& table : tables) wanted.push_back(terminal_text(table.name));
    for (std::size_t i : table_naming_order(tables, [&](std::size_t i) {
             return wanted[i] == tables[i].name && !rule.ends_as_a_kind(wanted[i]);
         })) {
        NameSet& taken = postgres_tables_[tables[i].names.postgres_schema];
        tables[i].names.postgres = claim(taken, rule, wanted[i], tables[i].owner, tables[i].name, dropped_tail(tables[i], false));
    }
}

}  // namespace unload
