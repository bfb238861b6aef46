#include "unload/unload_writer.h"

#include <algorithm>
#include <cstring>

#include "schema/oracle_types.h"
#include "unload/binary_copy.h"
#include "values/lob_locator.h"
#include "values/lob_text.h"
#include "values/text_writers.h"

namespace unload {

namespace {

constexpr std::string_view kLineEnd = "\r\n";

// psql's end line is at most this long, but for its first LF.
constexpr std::size_t kEndLineSpan = 4;

bool is_lob(LoadForm form) { return form == LoadForm::Clob || form == LoadForm::Blob; }

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

std::string undecoded_header()
{
    std::string header;
    for (const UndecodedField& field : kUndecodedFields) header.append(header.empty() ? "" : ",").append(field.name);
    return header + std::string(kLineEnd);
}

std::string csv_header(const UnloadTable& table, RowKind kind)
{
    std::string header;
    auto add = [&header](std::string_view name) {
        if (!header.empty()) header += ',';
        std::string field(2 * name.size() + 2, '\0');
        header.append(field.data(), put_field(field.data(), name));
    };
    for (const FileField& f : file_fields(table, kind)) {
        if (f.column == nullptr) {
            add(f.added);
            continue;
        }
        add(f.column->names.text);
        if (csv_fields(f.column->load.form) > 1) add(f.column->names.zone().text);
    }
    return header + std::string(kLineEnd);
}

UnloadWriter::UnloadWriter(const UnloadPlan& plan, TableFiles& files, UnloadSummary& summary, Writes writes)
    : plan_(plan), files_(files), summary_(summary), writes_(writes)
{
    add_tables();
}

std::vector<UnloadWriter::ColumnWriting> UnloadWriter::writing_of(const std::vector<OutputColumn>& columns,
                                                                  std::uint32_t first_field)
{
    std::vector<ColumnWriting> writing;
    std::uint32_t field = first_field;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const OutputColumn& column = columns[i];
        const bool quoted = may_need_quotes(column.load.form);
        const std::size_t fields = csv_fields(column.load.form);
        writing.push_back({column.stored_index, quoted, fields > 1, field, static_cast<std::uint32_t>(i),
                           value_room(column.load, quoted), load_writer(column.load), column.load, column.column.lob});
        field += static_cast<std::uint32_t>(fields);
    }
    return writing;
}

// The fields a file's values take: a zone's value takes two.
std::size_t UnloadWriter::fields_of(std::span<const ColumnWriting> columns)
{
    std::size_t fields = 0;
    for (const ColumnWriting& column : columns) fields += column.zone ? 2 : 1;
    return fields;
}

// What is noted of a table's columns, from its plan: nothing yet.
void UnloadWriter::take_facts_of(std::size_t table)
{
    const UnloadTable& t = plan_.tables()[table];
    TableState& s = state(table);
    s.facts.assign(t.columns.size(), {});
    s.hidden_facts.assign(t.hidden_columns.size(), {});
}

// Each table's files follow one another: file_of() counts on it.
void UnloadWriter::add_files(TableState& s, const UnloadTable& table)
{
    // The files of a range in memory need no names.
    const bool named = writes_ == Writes::Files;
    s.first_file = files_.add(named ? table.names.csv_file(RowKind::Live) : std::string());
    for (RowKind kind : kAllRowKinds)
        if (kind != RowKind::Live) files_.add(named ? table.names.csv_file(kind) : std::string());
    files_.add(named ? table.names.csv_file(undecoded_names()) : std::string());
}

void UnloadWriter::add_tables()
{
    if (writes_ == Writes::Range) {
        slots_.resize(plan_.tables().size(), kNoSlot);
        tables_ = plan_.tables().size();
        return;
    }
    summary_.tables.resize(plan_.tables().size());
    last_table_ = SIZE_MAX;
    for (; tables_ < plan_.tables().size(); ++tables_) {
        add_files(states_.emplace_back(), plan_.tables()[tables_]);
        take_facts_of(tables_);
    }
}

UnloadWriter::TableState& UnloadWriter::writing(std::size_t table)
{
    if (table == last_table_) return *last_state_;
    if (writes_ == Writes::Range && slots_[table] == kNoSlot) {
        slots_[table] = static_cast<std::uint32_t>(states_.size());
        touched_.push_back(table);
        range_counts_.emplace_back();
        add_files(states_.emplace_back(), plan_.tables()[table]);
        take_facts_of(table);
    }
    TableState& s = state(table);
    if (!s.columns_taken) {
        const UnloadTable& t = plan_.tables()[table];
        s.columns = writing_of(t.columns, 1);
        // The Hidden file's first field is the rowid.
        s.hidden_columns = writing_of(t.hidden_columns, 2);
        s.columns_taken = true;
    }
    last_table_ = table;
    last_state_ = &s;
    return s;
}

OpenFile* UnloadWriter::open_file(std::size_t table, std::size_t file, RowKind kind, bool undecoded)
{
    if (last_open_ != nullptr && file == last_file_) return last_open_;
    const bool fresh = !files_.created(file);
    OpenFile* out = files_.open(file);
    // Its lines are cut where they end in what the file holds.
    if (out != nullptr && fresh && undecoded && writes_ == Writes::Range) out->hold_whole();
    if (out != nullptr && fresh && writes_ == Writes::Files)
        out->text(undecoded ? undecoded_header() : csv_header(plan_.tables()[table], kind));
    last_file_ = file;
    last_open_ = out;
    return out;
}

OpenFile* UnloadWriter::open(std::size_t table, RowKind kind)
{
    return open_file(table, file_of(table, kind), kind, false);
}

WrittenFiles UnloadWriter::written() const
{
    WrittenFiles written(plan_.tables().size());
    for (std::size_t t = 0; t < plan_.tables().size() && writes_ == Writes::Files; ++t) {
        for (RowKind kind : kAllRowKinds) {
            const auto k = static_cast<std::size_t>(kind);
            written[t].files[k] = files_.created(file_of(t, kind));
            written[t].binary_copies[k] = written[t].files[k] && needs_binary_copy(t, kind);
        }
        written[t].undecoded = files_.created(undecoded_file_of(t));
        if (written[t].any()) {
            written[t].columns = state(t).facts;
            written[t].hidden_columns = state(t).hidden_facts;
        }
    }
    return written;
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
                               std::size_t tail, const FileAt& at, const RowFacts& row, std::uint64_t& not_decoded)
{
    char* limit = out.limit();
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (i > 0) *end++ = ',';
        const ColumnWriting& column = columns[i];
        const bool present = column.stored_index < values.size();
        const ColumnValue value = present ? values[column.stored_index] : ColumnValue{};
        if (!present || is_null(value)) {
            if (column.zone) *end++ = ',';
            continue;
        }
        const bool lob = is_lob(column.load.form);
        std::optional<WrittenValue> streamed;
        if (lob) streamed = put_lob(out, end, column, value, tail, at, row);
        WrittenValue written{end, ValueNote::Written};
        if (streamed) {
            written = *streamed;
            end = written.end;
            limit = out.limit();
        } else {
            const std::size_t room = column.room.of(value.bytes.size()) + tail;
            if (static_cast<std::size_t>(limit - end) < room) {
                out.commit(end);
                end = out.claim(room);
                limit = out.limit();
            }
            char* const start = end;
            written = column.write(column.load, value, end, column.quoted);
            end = written.end;
            if (column.quoted && end > start && *start == '"' &&
                holds_copy_end_line(std::string_view(start, static_cast<std::size_t>(end - start))))
                state(at.table).holds_end_line[static_cast<std::size_t>(at.kind)] = true;
        }
        if (lob) counts(at.table).lobs_read += decoded(written.note);
        if (written.facts != 0 || !decoded(written.note)) note_value(at, {column.column, column.field, value, written});
        not_decoded += !decoded(written.note);
    }
    return end;
}

std::optional<WrittenValue> UnloadWriter::put_lob(OpenFile& out, char* end, const ColumnWriting& column,
                                                  const ColumnValue& value, std::size_t tail, const FileAt& at,
                                                  const RowFacts& row)
{
    if (value.truncated()) return std::nullopt;
    const schema::LobStorage* storage = column.lob ? &*column.lob : nullptr;
    // The locator's bytes, "0x" before them for text that is none.
    auto locator_bytes = [&](ValueNote note) {
        const std::size_t room = 2 * value.bytes.size() + 2 + tail;
        if (static_cast<std::size_t>(out.limit() - end) < room) {
            out.commit(end);
            end = out.claim(room);
        }
        if (note == ValueNote::InvalidText) {
            *end++ = '0';
            *end++ = 'x';
        }
        return WrittenValue{put_hex_digits(end, value.bytes.data(), value.bytes.size()), note};
    };
    auto written = [&](std::size_t count, const auto& pages) {
        LobText text;
        if (column.load.form == LoadForm::Clob) {
            text = weigh_lob_text(column, count, pages);
            if (!text.text) return locator_bytes(ValueNote::InvalidText);
        }
        if (lob_files_) return put_lob_file(out, end, column, count, pages, at, row, tail);
        if (text.end_line) state(at.table).holds_end_line[static_cast<std::size_t>(at.kind)] = true;
        return WrittenValue{stream_lob(out, end, column, count, pages, text, tail), ValueNote::Written};
    };
    const LobValue lob = lob_values_.find(value.bytes, storage, row.head);
    const auto pieces = [this](std::size_t i) { return lob_values_.piece(i); };
    if (lob.incomplete()) note_incomplete_lob(at, row, column, lob.found);
    switch (lob.status) {
    case LobValue::Status::Held:
        // Text the column's writer reads but for little-endian 2-byte
        // Unicode, unless it goes to a file.
        if (!lob_files_ && !lob_little_endian(column)) return std::nullopt;
        return written(1, pieces);
    case LobValue::Status::Pages: return written(lob.pieces(), pieces);
    case LobValue::Status::Stored: return locator_bytes(ValueNote::LobStored);
    case LobValue::Status::NoLayout: return locator_bytes(ValueNote::LobLayout);
    case LobValue::Status::SecureLayout: return locator_bytes(ValueNote::LobSecureLayout);
    case LobValue::Status::Lost: return locator_bytes(ValueNote::LobLost);
    // A value of no bytes is an empty field, as the column's writer
    // writes it; the others its locator, not decoded.
    case LobValue::Status::Empty:
    case LobValue::Status::NotRead:
    case LobValue::Status::Unreadable: break;
    }
    return std::nullopt;
}

bool UnloadWriter::lob_little_endian(const ColumnWriting& column)
{
    return column.load.form == LoadForm::Clob && column.load.charset == nullptr && column.lob &&
           (column.lob->property & schema::lob_bits::kLittleEndian) != 0;
}

template <class Pages>
UnloadWriter::LobText UnloadWriter::weigh_lob_text(const ColumnWriting& column, std::size_t count, const Pages& pages)
{
    LobText weighed;
    LobTextDecoder decoder(column.load.charset, lob_little_endian(column));
    // The end of the text before, for an end line across two pages.
    std::string before;
    weighed.text = convert_lob_pieces(decoder, lob_text_, count, pages, [&](std::string_view text) {
        const TextScan scan = scan_text(text.data(), text.size(), text.size());
        if (scan.nul()) return false;
        weighed.quoted = weighed.quoted || scan.special();
        weighed.end_line = weighed.end_line || holds_copy_end_line(before + std::string(text.substr(0, kEndLineSpan))) ||
                           holds_copy_end_line(text);
        before += text.substr(text.size() > kEndLineSpan ? text.size() - kEndLineSpan : 0);
        if (before.size() > kEndLineSpan) before.erase(0, before.size() - kEndLineSpan);
        return true;
    });
    return weighed;
}

void UnloadWriter::write_lob_files(const std::string& directory)
{
    lob_directory_ = directory;
    lob_files_.emplace(directory, files_);
}

template <class Pages>
WrittenValue UnloadWriter::put_lob_file(OpenFile& out, char* end, const ColumnWriting& column, std::size_t count,
                                        const Pages& pages, const FileAt& at, const RowFacts& row, std::size_t tail)
{
    const bool text = column.load.form == LoadForm::Clob;
    const LobPlace place{at.kind,         row.object_id, row.head.file,      static_cast<std::uint32_t>(row.head.block),
                         row.head.slot,   row.offset,    column.column + 1, text};
    const std::string path = lob_file_path(plan_.tables()[at.table].names.file_stem, lob_file_name(place));
    if (lob_files_->begin(path)) {
        if (text) {
            // Not text now only when it was when weighed: the file changed since.
            LobTextDecoder decoder(column.load.charset, lob_little_endian(column));
            convert_lob_pieces(decoder, lob_text_, count, pages, [this](std::string_view converted) {
                lob_files_->write(converted.data(), converted.size());
                return true;
            });
        } else {
            for (std::size_t i = 0; i < count; ++i) {
                const ByteView page = pages(i);
                lob_files_->write(reinterpret_cast<const char*>(page.data()), page.size());
            }
        }
        lob_files_->end();
    }
    const std::size_t room = 2 * path.size() + 2 + tail;
    if (static_cast<std::size_t>(out.limit() - end) < room) {
        out.commit(end);
        end = out.claim(room);
    }
    return {put_field(end, path), ValueNote::Written, value_facts::kLobFile};
}

template <class Pages>
char* UnloadWriter::stream_lob(OpenFile& out, char* end, const ColumnWriting& column, std::size_t count,
                               const Pages& pages, const LobText& text, std::size_t tail)
{
    out.commit(end);
    if (text.quoted) out.text("\"");
    if (column.load.form == LoadForm::Blob) {
        for (std::size_t i = 0; i < count; ++i) {
            const ByteView page = pages(i);
            char* digits = out.claim(2 * page.size());
            out.commit(put_hex_digits(digits, page.data(), page.size()));
        }
    } else {
        // Not text now only when it was when weighed: the file changed since.
        LobTextDecoder decoder(column.load.charset, lob_little_endian(column));
        convert_lob_pieces(decoder, lob_text_, count, pages, [&](std::string_view converted) {
            char* at = out.claim(2 * converted.size());
            for (const char c : converted) {
                if (text.quoted && c == '"') *at++ = '"';
                *at++ = c;
            }
            out.commit(at);
            return true;
        });
    }
    if (text.quoted) out.text("\"");
    return out.claim(tail);
}

void UnloadWriter::note_incomplete_lob(const FileAt& at, const RowFacts& row, const ColumnWriting& column,
                                       const LobFound& found)
{
    TableCounts& counts = this->counts(at.table);
    ++counts.lobs_incomplete;
    if (counts.incomplete_lobs.size() >= kIncompleteLobsListed) return;
    char rowid[kRowidTextSize];
    const std::size_t rowid_size = row.has_rowid ? static_cast<std::size_t>(put_rowid(rowid, row) - rowid) : 0;
    const UnloadTable& table = plan_.tables()[at.table];
    const std::vector<OutputColumn>& columns = at.kind == RowKind::Hidden ? table.hidden_columns : table.columns;
    counts.incomplete_lobs.push_back(
        {std::string(rowid, rowid_size), columns[column.column].column.name, found.found, found.expected});
}

void UnloadWriter::note_value(const FileAt& at, const NotedValue& noted)
{
    const bool hidden = at.kind == RowKind::Hidden;
    TableState& s = state(at.table);
    ColumnWritten& column = (hidden ? s.hidden_facts : s.facts)[noted.column];
    column.facts |= noted.written.facts;
    TableCounts& counts = this->counts(at.table);
    counts.kept_as_text_sqlite += (noted.written.facts & value_facts::kSqliteKeepsText) != 0;
    counts.kept_as_text_postgres += (noted.written.facts & value_facts::kPostgresKeepsText) != 0;
    if (decoded(noted.written.note)) return;
    column.undecoded = true;
    undecoded_.push_back(noted);
}

template <class Values>
bool UnloadWriter::write_row(const RowFacts& row, const Values& values, const RowTarget& target)
{
    const UnloadTable& table = plan_.tables()[target.table];
    const RowKind kind = row_kind(row);
    TableState& s = writing(target.table);
    OpenFile* out = open_file(target.table, s.first_file + static_cast<std::size_t>(kind), kind, false);
    if (out == nullptr) return false;
    TableCounts& counts = this->counts(target.table);
    // Copies, not references: stores through char pointers may alias
    // anything, and the compiler would reload the vectors after each one.
    const std::span<const ColumnWriting> columns = s.columns;
    const bool hidden = !s.hidden_columns.empty();
    const std::size_t tail = fields_of(columns) + kRowidTextSize + kLineEnd.size();
    std::uint64_t not_decoded = 0;
    // Room for the separators, the rowid and the line's end; then for each
    // value, claimed anew only when what is left of the buffer may not hold it.
    char* end = put_values(*out, out->claim(tail), columns, values, tail, {target.table, kind}, row, not_decoded);
    if (!columns.empty()) *end++ = ',';
    if (row.has_rowid) end = put_rowid(end, row);
    out->commit(end);
    if (table.partitioned) {
        out->text(",");
        put_csv_field(*out, target.partition);
    }
    out->text(kLineEnd);

    std::uint64_t record = 0;
    switch (kind) {
    case RowKind::Live: record = ++counts.rows; break;
    case RowKind::Deleted: record = ++counts.deleted; break;
    case RowKind::Stale: record = ++counts.stale; break;
    case RowKind::Hidden: break;  // no row's own kind
    }
    if (row.reassembled) ++counts.reassembled;
    if (!row.complete) ++counts.incomplete;
    if (!undecoded_.empty() && !write_undecoded(target.table, row, kind, record)) return false;
    if (hidden && !write_hidden(row, kind, values, target, not_decoded)) return false;
    counts.not_decoded += not_decoded;
    return !files_.failed();
}

// A line of the Hidden file for a row that stores a value of a hidden or
// unused column: its rowid (none for a stale copy), those values, its kind.
template <class Values>
bool UnloadWriter::write_hidden(const RowFacts& row, RowKind kind, const Values& values, const RowTarget& target,
                                std::uint64_t& not_decoded)
{
    const std::span<const ColumnWriting> columns = state(target.table).hidden_columns;
    const bool stores_any = std::any_of(columns.begin(), columns.end(), [&](const ColumnWriting& column) {
        return column.stored_index < values.size() && !is_null(values[column.stored_index]);
    });
    if (!stores_any) return true;
    OpenFile* out = open(target.table, RowKind::Hidden);
    if (out == nullptr) return false;
    const std::string_view word = row_kind_word(kind);
    const std::size_t tail = fields_of(columns) + word.size() + 1 + kLineEnd.size();
    char* end = out->claim(kRowidTextSize + 1 + tail);
    if (row.has_rowid) end = put_rowid(end, row);
    *end++ = ',';
    end = put_values(*out, end, columns, values, tail, {target.table, RowKind::Hidden}, row, not_decoded);
    *end++ = ',';
    end = std::copy(word.begin(), word.end(), end);
    out->commit(end);
    if (plan_.tables()[target.table].partitioned) {
        out->text(",");
        put_csv_field(*out, target.partition);
    }
    out->text(kLineEnd);
    const std::uint64_t record = ++counts(target.table).hidden;
    return undecoded_.empty() || write_undecoded(target.table, row, RowKind::Hidden, record);
}

// The values not decoded of the line just written, a line each: its
// record is the last of its kind's file.
bool UnloadWriter::write_undecoded(std::size_t table, const RowFacts& row, RowKind kind, std::uint64_t record)
{
    char rowid[kRowidTextSize];
    const std::string_view rowid_text(rowid, row.has_rowid ? static_cast<std::size_t>(put_rowid(rowid, row) - rowid) : 0);
    OpenFile* out = open_file(table, undecoded_file_of(table), kind, true);
    if (out != nullptr) {
        const UnloadTable& t = plan_.tables()[table];
        const std::vector<OutputColumn>& columns = kind == RowKind::Hidden ? t.hidden_columns : t.columns;
        for (const NotedValue& noted : undecoded_) {
            const OutputColumn& column = columns[noted.column];
            if (writes_ == Writes::Files) {
                out->text(names_of(kind).key);
                out->text(",");
                out->text(std::to_string(record));
                out->text(",");
            }
            out->text(rowid_text);
            out->text(",");
            put_csv_field(*out, column.names.text);
            out->text(",");
            out->text(std::to_string(noted.field));
            out->text(",");
            const ByteView bytes = noted.value.bytes;
            char* digits = out->claim(2 * bytes.size());
            out->commit(put_hex_digits(digits, bytes.data(), bytes.size()));
            out->text(",");
            put_csv_field(*out, undecoded_reason(column, noted.value, noted.written.note));
            out->text(kLineEnd);
            if (writes_ == Writes::Range) waiting_lines_.push_back({table, kind, record, out->held().size()});
        }
    }
    undecoded_.clear();
    return out != nullptr && !files_.failed();
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

// A LOB's id in hexadecimal, from its locator.
std::string lob_id_text(const ColumnValue& value)
{
    const LobLocator locator = read_lob_locator(value.bytes);
    char digits[2 * sizeof locator.lob_id];
    return std::string(digits, put_hex_digits(digits, locator.lob_id.data(), locator.lob_id.size()));
}

std::string undecoded_reason(const OutputColumn& column, const ColumnValue& value, ValueNote note)
{
    if (value.truncated()) return "cut short: the value runs past the end of its block";
    switch (note) {
    case ValueNote::Written: break;
    case ValueNote::Undecodable: return "not a valid " + std::string(schema::type_name(column.column.type));
    case ValueNote::InvalidText:
        for (std::uint8_t byte : std::span(value.bytes.data(), value.bytes.size()))
            if (byte == 0) return "text holding a NUL byte";
        return "not text of its character set";
    case ValueNote::Locator:
        return column.load.form == LoadForm::Unknown ? "a column of a type that is not decoded"
                                                     : "a LOB locator: the LOB's value is stored apart from the row";
    case ValueNote::LobLayout:
        return "a LOB locator (LobId " + lob_id_text(value) +
               "): its length does not fit the pages of its LOB segment as they are read";
    case ValueNote::LobLost: return "a LOB locator (LobId " + lob_id_text(value) + "): none of its pages was found";
    case ValueNote::LobSecureLayout:
        return "a LOB locator (LobId " + lob_id_text(value) +
               "): a SecureFile LOB stored apart whose extent list or blocks are not of the layout read";
    case ValueNote::LobStored: {
        const std::uint32_t flags = column.column.lob ? column.column.lob->flags : 0;
        const char* how = (flags & schema::lob_bits::kEncrypted) != 0    ? "encrypted"
                          : (flags & schema::lob_bits::kCompressed) != 0 ? "compressed"
                                                                          : "deduplicated";
        return "a LOB locator (LobId " + lob_id_text(value) + "): a SecureFile LOB stored " + how +
               ", which is not read";
    }
    }
    return "";
}

// What more rows noted of a table's columns, added to what was noted.
void UnloadWriter::take_facts(std::vector<ColumnWritten>& facts, const std::vector<ColumnWritten>& more)
{
    for (std::size_t c = 0; c < facts.size() && c < more.size(); ++c) {
        facts[c].facts |= more[c].facts;
        facts[c].undecoded = facts[c].undecoded || more[c].undecoded;
    }
}

bool UnloadWriter::append(const UnloadWriter& range, const TableFiles& range_files)
{
    for (std::size_t slot = 0; slot < range.touched_.size(); ++slot) {
        const std::size_t t = range.touched_[slot];
        if (t >= tables_) continue;
        const TableState& from = range.states_[slot];
        TableState& to = state(t);
        for (RowKind kind : kAllRowKinds) {
            const std::size_t file = range.file_of(t, kind);
            if (!range_files.created(file)) continue;
            OpenFile* out = open(t, kind);
            if (out == nullptr) return false;
            range_files.append_held(file, *out);
            const auto k = static_cast<std::size_t>(kind);
            if (from.holds_end_line[k]) to.holds_end_line[k] = true;
        }
        if (range_files.created(range.undecoded_file_of(t)) && !append_undecoded(t, range, range_files)) return false;
        take_facts(to.facts, from.facts);
        take_facts(to.hidden_facts, from.hidden_facts);
        summary_.tables[t] += range.range_counts_[slot];
    }
    return !files_.failed();
}

// The range's lines of a table's values not decoded, each given its kind
// and its record's number in the whole file of its kind: the records this
// writer's summary counts so far come before the range's.
bool UnloadWriter::append_undecoded(std::size_t table, const UnloadWriter& range, const TableFiles& range_files)
{
    OpenFile* out = open_file(table, undecoded_file_of(table), RowKind::Live, true);
    if (out == nullptr) return false;
    const std::string_view held = range_files.held(range.undecoded_file_of(table));
    const TableCounts& before = summary_.tables[table];
    std::size_t start = 0;
    for (const WaitingLine& line : range.waiting_lines_) {
        if (line.table != table) continue;
        std::uint64_t base = 0;
        switch (line.kind) {
        case RowKind::Live: base = before.rows; break;
        case RowKind::Deleted: base = before.deleted; break;
        case RowKind::Stale: base = before.stale; break;
        case RowKind::Hidden: base = before.hidden; break;
        }
        out->text(names_of(line.kind).key);
        out->text(",");
        out->text(std::to_string(base + line.record));
        out->text(",");
        out->text(held.substr(start, line.end - start));
        start = line.end;
    }
    return !files_.failed();
}

void UnloadWriter::take_written(std::size_t table, const TableWritten& part)
{
    for (std::size_t k = 0; k < kRowKinds; ++k)
        if (part.binary_copies[k]) state(table).holds_end_line[k] = true;
    take_facts(state(table).facts, part.columns);
    take_facts(state(table).hidden_facts, part.hidden_columns);
}

void UnloadWriter::clear_range()
{
    for (std::size_t t : touched_) slots_[t] = kNoSlot;
    touched_.clear();
    last_table_ = SIZE_MAX;
    states_ = {};
    range_counts_ = {};
    waiting_lines_.clear();
    last_open_ = nullptr;
    files_.clear_held();
}

void UnloadWriter::restart_table(std::size_t table)
{
    auto discard = [&](std::size_t file) {
        if (last_open_ != nullptr && last_file_ == file) last_open_ = nullptr;
        files_.discard(file);
    };
    for (RowKind kind : kAllRowKinds) {
        discard(file_of(table, kind));
        state(table).holds_end_line[static_cast<std::size_t>(kind)] = false;
    }
    discard(undecoded_file_of(table));
    // Its LOB files too: its columns' places may have changed.
    std::string message;
    if (lob_files_ && !remove_lob_files_of(lob_directory_, plan_.tables()[table].names.file_stem, message))
        files_.note_failure(message, 0);
    summary_.tables[table] = {};
    take_facts_of(table);
    // Its columns' writing is taken anew with its first row.
    last_table_ = SIZE_MAX;
    TableState& s = state(table);
    s.columns_taken = false;
    s.columns = {};
    s.hidden_columns = {};
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
