#include "unload/unload_writer.h"

#include <cstring>

#include "unload/binary_copy.h"
#include "values/text_writers.h"

namespace unload {

namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kRowidHeading = "ROWID";
constexpr std::string_view kPartitionHeading = "PARTITION";

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

std::string csv_header(const UnloadTable& table)
{
    std::string header;
    auto add = [&header](std::string_view name) {
        if (!header.empty()) header += ',';
        std::string field(2 * name.size() + 2, '\0');
        header.append(field.data(), put_field(field.data(), name));
    };
    for (const OutputColumn& column : table.columns) add(column.names.text);
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
        for (const OutputColumn& column : plan_.tables()[tables_].columns) {
            const bool quoted = may_need_quotes(column.load.form);
            columns.push_back(
                {column.stored_index, quoted, value_room(column.load, quoted), load_writer(column.load), column.load});
        }
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
    if (out != nullptr && fresh) out->text(csv_header(plan_.tables()[table]));
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
    char* end = out->claim(tail);
    char* limit = out->limit();
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (i > 0) *end++ = ',';
        const ColumnWriting& column = columns[i];
        if (column.stored_index >= values.size()) continue;
        const ColumnValue value = values[column.stored_index];
        if (is_null(value)) continue;
        const std::size_t room = column.room.of(value.bytes.size()) + tail;
        if (static_cast<std::size_t>(limit - end) < room) {
            out->commit(end);
            end = out->claim(room);
            limit = out->limit();
        }
        char* const start = end;
        const WrittenValue written = column.write(column.load, value, end, column.quoted);
        end = written.end;
        if (column.quoted && end > start && *start == '"' &&
            holds_copy_end_line(std::string_view(start, static_cast<std::size_t>(end - start))))
            holds_end_line_[file_of(target.table, kind) - first_file_] = true;
        not_decoded += !decoded(written.note);
    }
    counts.not_decoded += not_decoded;
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
    }
    if (row.reassembled) ++counts.reassembled;
    if (!row.complete) ++counts.incomplete;
    return !files_.failed();
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

bool UnloadWriter::complete_tables()
{
    for (std::size_t t = 0; t < plan_.tables().size(); ++t) {
        const bool has_rows = files_.created(file_of(t, RowKind::Deleted)) || files_.created(file_of(t, RowKind::Stale));
        if (has_rows && !files_.created(file_of(t, RowKind::Live)) && open(t, RowKind::Live) == nullptr) return false;
    }
    return !files_.failed();
}

}  // namespace unload
