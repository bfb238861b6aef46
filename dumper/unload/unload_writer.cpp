#include "unload/unload_writer.h"

#include <cstring>

#include "values/text_writers.h"

namespace unload {

namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kRowidHeading = "ROWID";
constexpr std::string_view kPartitionHeading = "PARTITION";

// A value of no bytes is a NULL, as the database reads it.
bool is_null(const ColumnValue& value) { return value.null || (value.bytes.empty() && value.announced == 0); }

}  // namespace

RowKind row_kind(const Row& row)
{
    if (row.deleted) return RowKind::Deleted;
    return row.has_rowid() ? RowKind::Live : RowKind::Stale;
}

// The field of a name or a text: quoted when it needs it.
char* put_field(char* out, std::string_view text)
{
    text.copy(out, text.size());
    return scan_text(text.data(), text.size(), text.size()).special() ? quote_in_place(out, text.size())
                                                                   : out + text.size();
}

void put_csv_field(OpenFile& out, std::string_view text)
{
    out.commit(put_field(out.claim(2 * text.size() + 2), text));
}

std::string csv_header(const UnloadTable& table)
{
    std::string header;
    auto add = [&header](std::string_view name) {
        if (!header.empty()) header += ',';
        std::string field(2 * name.size() + 2, '\0');
        header.append(field.data(), put_field(field.data(), name));
    };
    for (const OutputColumn& column : table.columns) add(column.column.name);
    add(kRowidHeading);
    if (table.partitioned) add(kPartitionHeading);
    return header + std::string(kLineEnd);
}

UnloadWriter::UnloadWriter(const UnloadPlan& plan, TableFiles& files, UnloadSummary& summary)
    : plan_(plan), files_(files), summary_(summary)
{
    add_tables();
}

// Each table's files follow those of the table before: file_of() counts on it.
void UnloadWriter::add_tables()
{
    summary_.tables.resize(plan_.tables().size());
    for (; tables_ < plan_.tables().size(); ++tables_) {
        std::vector<ColumnWriting>& columns = columns_.emplace_back();
        for (const OutputColumn& column : plan_.tables()[tables_].columns)
            columns.push_back({column.stored_index, may_need_quotes(column.load.form), column.load});
        for (RowKind kind : kAllRowKinds) {
            const std::size_t file = files_.add(plan_.tables()[tables_].file_name + std::string(file_suffix(kind)));
            if (tables_ == 0 && kind == RowKind::Live) first_file_ = file;
        }
    }
}

OpenFile* UnloadWriter::open(std::size_t table, RowKind kind)
{
    const std::size_t file = file_of(table, kind);
    const bool fresh = !files_.created(file);
    OpenFile* out = files_.open(file);
    if (out != nullptr && fresh) out->text(csv_header(plan_.tables()[table]));
    return out;
}

const ColumnValue* UnloadWriter::value_of(const Row& row, const ColumnWriting& column)
{
    if (column.stored_index >= row.values.size()) return nullptr;
    const ColumnValue& value = row.values[column.stored_index];
    return is_null(value) ? nullptr : &value;
}

std::size_t UnloadWriter::row_room(const std::vector<ColumnWriting>& columns, const Row& row)
{
    std::size_t room = columns.size() + kRowidTextSize + 1;
    for (const ColumnWriting& column : columns)
        if (const ColumnValue* value = value_of(row, column))
            room += load_value_room(column.load, value->bytes.size(), column.quoted);
    return room;
}

bool UnloadWriter::write(const Row& row, const RowTarget& target)
{
    const UnloadTable& table = plan_.tables()[target.table];
    const RowKind kind = row_kind(row);
    OpenFile* out = open(target.table, kind);
    if (out == nullptr) return false;
    TableCounts& counts = summary_.tables[target.table];
    const std::vector<ColumnWriting>& columns = columns_[target.table];
    char* end = out->claim(row_room(columns, row));
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (i > 0) *end++ = ',';
        const ColumnValue* value = value_of(row, columns[i]);
        if (value == nullptr) continue;
        ValueNote note = ValueNote::Written;
        end = write_load_value(columns[i].load, value->bytes, value->readable, value->truncated(), end, note,
                               columns[i].quoted);
        if (!decoded(note)) ++counts.not_decoded;
    }
    if (!columns.empty()) *end++ = ',';
    if (row.has_rowid())
        end = put_rowid_text(end, row.object_id,
                             {row.head.file, static_cast<std::uint32_t>(row.head.block),
                              static_cast<std::uint32_t>(row.head.slot)});
    out->commit(end);
    if (table.partitioned) {
        out->text(",");
        put_csv_field(*out, target.partition);
    }
    out->text(kLineEnd);

    switch (kind) {
    case RowKind::Live: ++counts.rows; break;
    case RowKind::Deleted: ++counts.deleted; break;
    case RowKind::Stale: ++counts.stale; break;
    }
    if (row.pieces.size() > 1) ++counts.reassembled;
    if (!row.complete()) ++counts.incomplete;
    return !files_.failed();
}

bool UnloadWriter::complete_tables()
{
    for (std::size_t t = 0; t < plan_.tables().size(); ++t) {
        const bool has_rows = files_.created(file_of(t, RowKind::Deleted)) || files_.created(file_of(t, RowKind::Stale));
        if (has_rows && !files_.created(file_of(t, RowKind::Live)) && open(t, RowKind::Live) == nullptr) return false;
    }
    return !files_.failed();
}

}  // namespace unload
