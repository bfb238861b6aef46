#include "unload/unload_plan.h"

#include <algorithm>
#include <cctype>

#include "schema/oracle_types.h"
#include "values/escaped_text.h"
#include "values/lob_locator.h"
#include "values/spelling.h"

namespace unload {

namespace {

// What a text column is in when nothing says otherwise.
constexpr std::string_view kDefaultDatabaseCharset = "AL32UTF8";
constexpr std::string_view kDefaultNationalCharset = "AL16UTF16";
// Close names an unknown --table name is offered, at most.
constexpr std::size_t kMostCloseNames = 5;

std::string upper(std::string_view text)
{
    std::string s(text);
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string qualified(const schema::Table& table)
{
    return table.owner.empty() ? table.name : table.owner + "." + table.name;
}

bool names_table(std::string_view name, const schema::Table& table)
{
    const std::string wanted = upper(name);
    return wanted == upper(table.name) || (!table.owner.empty() && wanted == upper(qualified(table)));
}

bool all_digits(std::string_view text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// OBJ_<n> or OBJ_<n>_T<k>: the names infer::inferred_table gives.
bool is_inferred_name(std::string_view name)
{
    const std::string text = upper(name);
    if (!text.starts_with("OBJ_")) return false;
    const std::string_view rest = std::string_view(text).substr(4);
    const std::size_t table_part = rest.find("_T");
    if (table_part == std::string_view::npos) return all_digits(rest);
    return all_digits(rest.substr(0, table_part)) && all_digits(rest.substr(table_part + 2));
}

// A data object's rows of a cluster table (its number + 1; 0 for none), as the plan looks them up.
std::uint64_t placed_key(std::uint32_t data_object, std::uint32_t cluster_place)
{
    return std::uint64_t{data_object} << 32 | cluster_place;
}

}  // namespace

std::string UnloadTable::qualified_name() const { return owner.empty() ? name : owner + "." + name; }

// ---------------------------------------------------------------------------
// --table

bool TableSelection::selects(const schema::Table& table) const
{
    return all() || std::any_of(names_.begin(), names_.end(), [&](const std::string& n) { return names_table(n, table); });
}

std::string TableSelection::unknown_names(const schema::Schema& schema) const
{
    for (const std::string& name : names_) {
        const bool found = std::any_of(schema.tables.begin(), schema.tables.end(),
                                       [&](const schema::Table& t) { return names_table(name, t); });
        if (found || is_inferred_name(name)) continue;
        const std::string wanted = upper(name);
        std::vector<std::pair<std::size_t, std::string>> close;
        for (const schema::Table& table : schema.tables) {
            const std::string candidate = qualified(table);
            const std::size_t distance = std::min(edit_distance(wanted, upper(candidate)), edit_distance(wanted, upper(table.name)));
            const bool contains = upper(candidate).find(wanted) != std::string::npos;
            if (distance <= std::max<std::size_t>(2, wanted.size() / 4) || contains)
                close.emplace_back(contains ? 0 : distance, candidate);
        }
        std::stable_sort(close.begin(), close.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        std::string message = "trevanix: --table " + name + ": no such table in the schema";
        for (std::size_t i = 0; i < close.size() && i < kMostCloseNames; ++i)
            message += (i == 0 ? " (did you mean " : ", ") + close[i].second;
        if (!close.empty()) message += "?)";
        return message + "\n";
    }
    return "";
}

// ---------------------------------------------------------------------------
// Character sets

const Charset* CharsetCache::get(const std::string& name)
{
    const auto found = sets_.find(name);
    if (found != sets_.end()) return found->second.get();
    std::string message;
    std::shared_ptr<const Charset> set = make_charset(name, message);
    return sets_.emplace(name, std::move(set)).first->second.get();
}

// ---------------------------------------------------------------------------
// The plan

std::uint64_t UnloadPlan::key(std::uint32_t data_object, std::optional<std::uint32_t> cluster_table)
{
    return placed_key(data_object, cluster_table ? *cluster_table + 1 : 0);
}

// A text column's character set: its own, else the run's (--charset) or
// the schema's for the database's, the schema's for the national one.
LoadColumn UnloadPlan::column_form(const schema::Column& column, const schema::Schema& schema)
{
    LoadColumn load = load_column(column.type);
    if (load.form == LoadForm::Clob) return clob_form(column, schema, load);
    if (load.form != LoadForm::Text && load.form != LoadForm::NationalText) return load;
    const bool national = load.form == LoadForm::NationalText;
    std::string name(schema::charset_name(column.charset_id));
    if (name.empty() && national) name = schema.national_charset.value_or(std::string(kDefaultNationalCharset));
    if (name.empty() && !run_charset_.empty()) name = run_charset_;
    if (name.empty()) name = schema.database_charset.value_or(std::string(kDefaultDatabaseCharset));
    name = upper(name);
    if (name == kDefaultNationalCharset) {
        load.form = LoadForm::NationalText;
        return load;
    }
    load.form = LoadForm::Text;
    // AL32UTF8 is checked and copied as it is, without a converter.
    if (name == kDefaultDatabaseCharset) return load;
    load.charset = charsets_.get(name);
    load.ascii_only = load.charset == nullptr;
    return load;
}

// A CLOB's text is stored as 2-byte Unicode unless its set (the database's,
// or the national one for an NCLOB) is single-byte: then in that set.
LoadColumn UnloadPlan::clob_form(const schema::Column& column, const schema::Schema& schema, LoadColumn load)
{
    if (column.type == schema::OracleType::Nclob) return load;
    std::string name(schema::charset_name(column.charset_id));
    if (name.empty() && !run_charset_.empty()) name = run_charset_;
    if (name.empty()) name = schema.database_charset.value_or(std::string(kDefaultDatabaseCharset));
    name = upper(name);
    if (lob_text_in_utf16(name)) return load;
    load.charset = charsets_.get(name);
    if (load.charset == nullptr) load.form = LoadForm::Locator;  // a set no converter is known for
    return load;
}

UnloadTable UnloadPlan::table_of(const schema::Table& table, const schema::Schema& schema, bool inferred)
{
    UnloadTable out;
    out.owner = table.owner;
    out.name = table.name;
    out.partitioned = !table.partitions.empty();
    out.inferred = inferred;
    out.dropped = table.dropped;
    out.written_later = inferred || schema::short_of_columns(table);
    out.stored_width = schema::stored_width(table);
    out.data_objects = schema::data_object_numbers(table);
    out.segments = table_segments(table);
    // Reserved whole: a plan of thousands of tables holds their columns
    // all through the run, and a vector grown by doubling a third more.
    const std::vector<const schema::Column*> columns = schema::unload_columns(table);
    out.columns.reserve(columns.size());
    for (const schema::Column* column : columns) {
        if (column->segment_column == 0 || column->is_virtual) continue;
        out.columns.push_back({*column, column->segment_column - 1, column_form(*column, schema), {}});
    }
    const std::vector<const schema::Column*> hidden = schema::hidden_columns(table);
    out.hidden_columns.reserve(hidden.size());
    for (const schema::Column* column : hidden)
        out.hidden_columns.push_back({*column, column->segment_column - 1, column_form(*column, schema), {}});
    return out;
}

void UnloadPlan::complete_columns(std::size_t index, std::uint32_t widest, const std::vector<schema::Column>& inferred)
{
    UnloadTable& table = tables_[index];
    const schema::Schema& charsets = schema_charsets_[schema_charsets_of_[index]];
    // The table's stored columns, as its schema gave them, completed.
    schema::Table stored;
    for (const auto* columns : {&table.columns, &table.hidden_columns})
        for (const OutputColumn& column : *columns) stored.columns.push_back(column.column);
    schema::complete_columns(stored, widest, inferred);
    table.columns_unknown.clear();
    for (const schema::Column& column : stored.columns)
        if (!column.described) table.columns_unknown.push_back(column.name);
    // The places in order when some are not described; else as created.
    std::vector<const schema::Column*> written;
    if (table.columns_unknown.empty()) {
        written = schema::unload_columns(stored);
    } else {
        for (const schema::Column& column : stored.columns)
            if (!column.hidden && !column.unused) written.push_back(&column);
    }
    table.columns.clear();
    table.columns.shrink_to_fit();
    table.columns.reserve(written.size());
    for (const schema::Column* column : written)
        table.columns.push_back({*column, column->segment_column - 1, column_form(*column, charsets), {}});
    table.written_later = true;
    TableNamer::name_columns(table);
}

std::vector<FileField> file_fields(const UnloadTable& table, RowKind kind)
{
    std::vector<FileField> fields;
    if (kind == RowKind::Hidden) {
        fields.push_back({nullptr, kRowidField});
        for (const OutputColumn& column : table.hidden_columns) fields.push_back({&column, {}});
        fields.push_back({nullptr, kRowKindField});
    } else {
        for (const OutputColumn& column : table.columns) fields.push_back({&column, {}});
        fields.push_back({nullptr, kRowidField});
    }
    if (table.partitioned) fields.push_back({nullptr, kPartitionField});
    return fields;
}

void UnloadPlan::add_schema(const schema::Schema& schema, const TableSelection& selection, bool inferred)
{
    add_tables(schema, selection, inferred, nullptr);
}

void UnloadPlan::add_schema(schema::Schema&& schema, const TableSelection& selection, bool inferred)
{
    add_tables(schema, selection, inferred, &schema);
}

void UnloadPlan::add_tables(const schema::Schema& schema, const TableSelection& selection, bool inferred,
                            schema::Schema* taken)
{
    const std::size_t first = tables_.size();
    schema::Schema& charsets = schema_charsets_.emplace_back();
    charsets.database_charset = schema.database_charset;
    charsets.national_charset = schema.national_charset;
    for (std::size_t t = 0; t < schema.tables.size(); ++t) {
        const schema::Table& table = schema.tables[t];
        const std::uint32_t cluster_place = table.cluster ? table.cluster->table_number + 1 : 0;
        const bool selected = selection.selects(table);
        if (selected) {
            tables_.push_back(table_of(table, schema, inferred));
            schema_charsets_of_.push_back(schema_charsets_.size() - 1);
        }
        const std::size_t index = tables_.size() - 1;
        auto place = [&](std::uint32_t data_object, const std::string& partition) {
            std::optional<RowTarget> target;
            if (selected) target = RowTarget{index, partition};
            targets_.emplace(placed_key(data_object, cluster_place), std::move(target));
            if (!inferred) schema_objects_.insert(data_object);
        };
        for (const schema::Column& column : table.columns)
            if (column.lob && column.lob->data_object != 0) lob_segments_.insert(column.lob->data_object);
        for (const schema::Partition& partition : table.partitions)
            place(partition.data_object, terminal_text(partition.name));
        if (table.partitions.empty() && table.data_object) place(*table.data_object, "");
        if (taken != nullptr) std::vector<schema::Column>().swap(taken->tables[t].columns);
    }
    namer_.name(std::span<UnloadTable>(tables_).subspan(first));
}

std::vector<AccountedTable> UnloadPlan::accounted_tables() const
{
    std::vector<AccountedTable> tables;
    for (const UnloadTable& table : tables_) tables.push_back({table.qualified_name(), table.segments});
    return tables;
}

bool UnloadPlan::describes(std::uint32_t data_object, std::optional<std::uint32_t> cluster_table) const
{
    return targets_.count(key(data_object, cluster_table)) != 0;
}

const RowTarget* UnloadPlan::target(std::uint32_t data_object, std::optional<std::uint32_t> cluster_table) const
{
    const auto found = targets_.find(key(data_object, cluster_table));
    return found != targets_.end() && found->second ? &*found->second : nullptr;
}

}  // namespace unload
