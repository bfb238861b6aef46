#include "unload/unload_writer.h"

#include <algorithm>
#include <cstring>

#include "unload/binary_copy.h"
#include "values/text_writers.h"

namespace unload {

namespace {

constexpr std::string_view kLineEnd = "\r\n";

// A value of no bytes is a NULL, as the database reads it.
bool is_null(const ColumnValue& value) { return value.null || (value.bytes.empty() && value.announced == 0); }

}  // namespace

RowFacts facts_of(const Row& row)
{
    return {row.object_id, row.head, row.has_rowid(), row.deleted, row.pieces.size() > 1, row.complete()};
}

RowKind row_kind(const RowFacts& row)
{
    if (row.deleted) return RowKind::Deleted;
    return row.has_rowid ? RowKind::Live : RowKind::Stale;
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

std::string csv_header(const UnloadTable& table, RowKind kind)
{
    std::string header;
    bool first = true;
    for (const FileField& f : file_fields(table, kind)) {
        const std::string_view name = f.column != nullptr ? std::string_view(f.column->names.text) : f.added;
        if (!first) header += ',';
        first = false;
        std::string field(2 * name.size() + 2, '\0');
        header.append(field.data(), put_field(field.data(), name));
    }
    return header + std::string(kLineEnd);
}

UnloadWriter::UnloadWriter(const UnloadPlan& plan, TableFiles& files, UnloadSummary& summary)
    : plan_(plan), files_(files), summary_(summary)
{
    add_tables();
}

// Each table's files follow those of the table before: file_of() counts on it.
std::vector<UnloadWriter::ColumnWriting> UnloadWriter::writing_of(const std::vector<OutputColumn>& columns)
{
    std::vector<ColumnWriting> writing;
    for (const OutputColumn& column : columns) {
        const bool quoted = may_need_quotes(column.load.form);
        writing.push_back(
            {column.stored_index, quoted, value_room(column.load, quoted), load_writer(column.load), column.load});
    }
    return writing;
}

void UnloadWriter::add_tables()
{
    summary_.tables.resize(plan_.tables().size());
    for (; tables_ < plan_.tables().size(); ++tables_) {
        columns_.push_back(writing_of(plan_.tables()[tables_].columns));
        hidden_columns_.push_back(writing_of(plan_.tables()[tables_].hidden_columns));
        for (RowKind kind : kAllRowKinds) {
            const std::size_t file = files_.add(plan_.tables()[tables_].names.csv_file(kind));
            if (tables_ == 0 && kind == RowKind::Live) first_file_ = file;
        }
        holds_end_line_.resize(holds_end_line_.size() + kRowKinds);
    }
}

OpenFile* UnloadWriter::open(std::size_t table, RowKind kind)
{
    const std::size_t file = file_of(table, kind);
    if (last_open_ != nullptr && file == last_file_) return last_open_;
    const bool fresh = !files_.created(file);
    OpenFile* out = files_.open(file);
    if (out != nullptr && fresh) out->text(csv_header(plan_.tables()[table], kind));
    last_file_ = file;
    last_open_ = out;
    return out;
}

bool UnloadWriter::write(const RowFacts& row, const JoinedValues& values, const RowTarget& target)
{
    return write_row(row, values, target);
}

bool UnloadWriter::write(const RowFacts& row, const PieceValues& values, const RowTarget& target)
{
    return write_row(row, values, target);
}

template <class Values>
char* UnloadWriter::put_values(OpenFile& out, char* end, std::span<const ColumnWriting> columns, const Values& values,
                               std::size_t tail, std::size_t file, std::uint64_t& not_decoded)
{
    char* limit = out.limit();
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (i > 0) *end++ = ',';
        const ColumnWriting& column = columns[i];
        if (column.stored_index >= values.size()) continue;
        const ColumnValue value = values[column.stored_index];
        if (is_null(value)) continue;
        const std::size_t room = column.room.of(value.bytes.size()) + tail;
        if (static_cast<std::size_t>(limit - end) < room) {
            out.commit(end);
            end = out.claim(room);
            limit = out.limit();
        }
        char* const start = end;
        const WrittenValue written = column.write(column.load, value, end, column.quoted);
        end = written.end;
        if (column.quoted && end > start && *start == '"' &&
            holds_copy_end_line(std::string_view(start, static_cast<std::size_t>(end - start))))
            holds_end_line_[file - first_file_] = true;
        not_decoded += !decoded(written.note);
    }
    return end;
}

template <class Values>
bool UnloadWriter::write_row(const RowFacts& row, const Values& values, const RowTarget& target)
{
    const UnloadTable& table = plan_.tables()[target.table];
    const RowKind kind = row_kind(row);
    OpenFile* out = open(target.table, kind);
    if (out == nullptr) return false;
    TableCounts& counts = summary_.tables[target.table];
    // Copies, not references: stores through char pointers may alias
    // anything, and the compiler would reload the vectors after each one.
    const std::span<const ColumnWriting> columns = columns_[target.table];
    const std::size_t tail = columns.size() + kRowidTextSize + kLineEnd.size();
    std::uint64_t not_decoded = 0;
    // Room for the separators, the rowid and the line's end; then for each
    // value, claimed anew only when what is left of the buffer may not hold it.
    char* end = put_values(*out, out->claim(tail), columns, values, tail, file_of(target.table, kind), not_decoded);
    if (!columns.empty()) *end++ = ',';
    if (row.has_rowid) end = put_rowid(end, row);
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
    case RowKind::Hidden: break;  // no row's own kind
    }
    if (row.reassembled) ++counts.reassembled;
    if (!row.complete) ++counts.incomplete;
    if (!hidden_columns_[target.table].empty() && !write_hidden(row, kind, values, target, not_decoded)) return false;
    counts.not_decoded += not_decoded;
    return !files_.failed();
}

// A line of the Hidden file for a row that stores a value of a hidden or
// unused column: its rowid (none for a stale copy), those values, its kind.
template <class Values>
bool UnloadWriter::write_hidden(const RowFacts& row, RowKind kind, const Values& values, const RowTarget& target,
                                std::uint64_t& not_decoded)
{
    const std::span<const ColumnWriting> columns = hidden_columns_[target.table];
    const bool stores_any = std::any_of(columns.begin(), columns.end(), [&](const ColumnWriting& column) {
        return column.stored_index < values.size() && !is_null(values[column.stored_index]);
    });
    if (!stores_any) return true;
    OpenFile* out = open(target.table, RowKind::Hidden);
    if (out == nullptr) return false;
    const std::string_view word = row_kind_word(kind);
    const std::size_t tail = columns.size() + word.size() + 1 + kLineEnd.size();
    char* end = out->claim(kRowidTextSize + 1 + tail);
    if (row.has_rowid) end = put_rowid(end, row);
    *end++ = ',';
    end = put_values(*out, end, columns, values, tail, file_of(target.table, RowKind::Hidden), not_decoded);
    *end++ = ',';
    end = std::copy(word.begin(), word.end(), end);
    out->commit(end);
    if (plan_.tables()[target.table].partitioned) {
        out->text(",");
        put_csv_field(*out, target.partition);
    }
    out->text(kLineEnd);
    ++summary_.tables[target.table].hidden;
    return true;
}

char* UnloadWriter::put_rowid(char* out, const RowFacts& row)
{
    const RowidBlock block{row.object_id, row.head.file, row.head.block};
    if (!(block == rowid_block_)) {
        rowid_block_ = block;
        put_rowid_text(rowid_text_, row.object_id,
                       {row.head.file, static_cast<std::uint32_t>(row.head.block), 0, row.head.layout});
    }
    std::memcpy(out, rowid_text_, kRowidSlotTextAt);
    return put_rowid_slot_text(out + kRowidSlotTextAt, static_cast<std::uint32_t>(row.head.slot));
}

void UnloadWriter::restart_table(std::size_t table)
{
    for (RowKind kind : kAllRowKinds) {
        const std::size_t file = file_of(table, kind);
        if (last_open_ != nullptr && last_file_ == file) last_open_ = nullptr;
        files_.discard(file);
        holds_end_line_[file - first_file_] = false;
    }
    summary_.tables[table] = {};
    columns_[table] = writing_of(plan_.tables()[table].columns);
    hidden_columns_[table] = writing_of(plan_.tables()[table].hidden_columns);
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
