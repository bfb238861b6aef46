// The CSV printer (RFC 4180): a header line, then one line per shown row
// piece (or, listing SCNs, per data block), lines ending in CR LF. Fields
// holding a comma, a quote, CR or LF are quoted, quotes doubled; a NULL is
// an empty field, an empty value "", a value nothing decodes its hex digits
// after 0x. Messages go to the message sink.
#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "print/export_columns.h"
#include "print/export_fields.h"

namespace {

constexpr char kLineEnd[] = "\r\n";

bool is_special(char c) { return c == ',' || c == '"' || c == '\r' || c == '\n'; }

// Whether any of eight bytes is a comma, a quote, CR or LF (bit tricks that
// find a zero byte).
bool any_special(std::uint64_t w)
{
    constexpr std::uint64_t kOnes = 0x0101010101010101u, kHighs = 0x8080808080808080u;
    auto has_zero = [](std::uint64_t v) { return (v - kOnes) & ~v & kHighs; };
    return (has_zero(w ^ (kOnes * ',')) | has_zero(w ^ (kOnes * '"')) | has_zero(w ^ (kOnes * '\r')) |
            has_zero(w ^ (kOnes * '\n'))) != 0;
}

bool needs_quotes(const char* text, std::size_t length)
{
    std::size_t i = 0;
    for (std::uint64_t w; i + 8 <= length; i += 8) {
        std::memcpy(&w, text + i, 8);
        if (any_special(w)) return true;
    }
    for (; i < length; ++i)
        if (is_special(text[i])) return true;
    return length == 0;  // an empty value is "", apart from a NULL
}

// A text field, quoted when it must be, a part at a time so that no claim
// of room is larger than the sink.
void write_text_field(OutputSink& sink, const char* text, std::size_t length)
{
    if (!needs_quotes(text, length)) {
        sink.bytes(reinterpret_cast<const std::uint8_t*>(text), length);
        return;
    }
    constexpr std::size_t kPart = 16384;
    sink.byte('"');
    for (std::size_t at = 0; at < length; at += kPart) {
        const std::size_t n = length - at < kPart ? length - at : kPart;
        char* out = sink.claim(2 * n);
        for (std::size_t i = at; i < at + n; ++i) {
            if (text[i] == '"') *out++ = '"';
            *out++ = text[i];
        }
        sink.commit(out);
    }
    sink.byte('"');
}

// How CSV writes each part of a record.
struct CsvSpelling {
    static char* name(char* out, std::string_view, bool first)
    {
        if (!first) *out++ = ',';
        return out;
    }
    static char* null(char* out) { return out; }
    static char* boolean(char* out, bool value) { return value ? put_literal(out, "true") : put_literal(out, "false"); }
    // Names the export formats give: quoted when they hold a comma.
    static char* text(char* out, std::string_view text)
    {
        const bool quoted = text.find(',') != std::string_view::npos;
        if (quoted) *out++ = '"';
        out = put_text(out, text);
        if (quoted) *out++ = '"';
        return out;
    }
    static char* file(char* out, std::uint32_t file) { return file == 0 ? out : put_decimal(out, file); }
    static char* rowid(char* out, bool present, const Rowid& id) { return present ? put_rowid_parts(out, id) : out; }
    // Four fields: itl_slot, itl_xid, itl_flag, itl_scn.
    static char* itl(char* out, const DecodedBlock& block, const RowPieceRecord& p)
    {
        ItlSlot slot;
        if (!locking_itl(block, p, slot)) return put_literal(out, ",,,");
        out = put_decimal(out, p.lock);
        *out++ = ',';
        out = put_itl_xid(out, slot);
        *out++ = ',';
        out = put_itl_flags(out, slot);
        *out++ = ',';
        return put_itl_scn(out, slot);
    }
    // A row's pieces: "file.block.slot" joined by spaces.
    static void pieces(OutputSink& sink, std::span<const PieceAt> pieces)
    {
        bool first = true;
        for (const PieceAt& p : pieces) {
            char* out = sink.claim(48);
            if (!first) *out++ = ' ';
            first = false;
            out = put_decimal(out, p.file);
            *out++ = '.';
            out = put_signed(out, p.block);
            *out++ = '.';
            if (p.slot >= 0) out = put_decimal(out, static_cast<std::uint32_t>(p.slot));
            sink.commit(out);
        }
    }

    // The header names of a field.
    static void header_name(OutputSink& sink, const NamedField& f)
    {
        if (f.field == PieceField::Itl)
            sink.text("itl_slot,itl_xid,itl_flag,itl_scn");
        else
            sink.text(f.name);
    }

    // Columns: each follows a comma.
    static void separator(OutputSink& sink, bool) { sink.byte(','); }
    static void null(OutputSink&) {}
    static void hex(OutputSink& sink, const ColumnValue& value)
    {
        const ByteView& bytes = value.bytes;
        // A value has at most 65535 bytes: its digits fit in one claim.
        char* out = sink.claim(2 * bytes.size() + 2);
        out = put_literal(out, "0x");
        sink.commit(put_hex_digits(out, bytes.data(), bytes.size()));
    }
    static bool plain(OutputSink& sink, const ColumnType& type, const ByteView& bytes, const DecodeOptions& options)
    {
        char* const start = sink.claim(type.text_room(bytes.size()) + 2);
        char* end = type.decode(bytes, start, options);
        if (end == nullptr) {
            sink.commit(start);
            return false;
        }
        if (end == start) end = put_literal(start, "\"\"");  // an empty value, apart from a NULL
        sink.commit(end);
        return true;
    }
    static void text(OutputSink& sink, const char* text, std::size_t length) { write_text_field(sink, text, length); }
    static bool raw_text(OutputSink& sink, const ColumnValue& value)
    {
        const ByteView& bytes = value.bytes;
        write_text_field(sink, reinterpret_cast<const char*>(bytes.data()), bytes.size());
        return true;
    }

    // LOB values: their text, quoted when any of it needs it or it is
    // empty; a BLOB's hexadecimal digits. No locator fields: a record's
    // fields are the header's.
    static bool lob_special(std::string_view text) { return !text.empty() && needs_quotes(text.data(), text.size()); }
    static void lob_begin(OutputSink& sink, const unload::LobValue*, bool quoted)
    {
        if (quoted) sink.byte('"');
    }
    static void lob_text(OutputSink& sink, std::string_view text, bool quoted)
    {
        if (!quoted) {
            sink.bytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
            return;
        }
        constexpr std::size_t kPart = 16384;
        for (std::size_t at = 0; at < text.size(); at += kPart) {
            const std::size_t n = std::min(kPart, text.size() - at);
            char* out = sink.claim(2 * n);
            for (const char c : text.substr(at, n)) {
                if (c == '"') *out++ = '"';
                *out++ = c;
            }
            sink.commit(out);
        }
    }
    static void lob_hex(OutputSink& sink, ByteView bytes)
    {
        constexpr std::size_t kPart = 32768;
        for (std::size_t at = 0; at < bytes.size(); at += kPart) {
            const std::size_t n = std::min(kPart, bytes.size() - at);
            sink.commit(put_hex_digits(sink.claim(2 * n), bytes.data() + at, n));
        }
    }
    static void lob_end(OutputSink& sink, const unload::LobValue*, bool quoted)
    {
        if (quoted) sink.byte('"');
    }
    static void lob_locator(OutputSink& sink, const ColumnValue& value, const unload::LobValue*) { hex(sink, value); }
};

// The value columns of the header: as many as the template exports of the
// `most` columns a record can have, or as the widest record of the run
// when that is more.
std::size_t header_columns(const PrintContext& context, std::size_t most)
{
    const std::size_t typed = context.column_template != nullptr ? context.column_template->exported_columns(most) : 0;
    return std::max(typed, context.csv_columns);
}

// ",col1,col2..." for the header's value columns.
void put_column_names(OutputSink& out, std::size_t count)
{
    for (std::size_t i = 1; i <= count; ++i) {
        out.text(",col");
        out.dec(static_cast<std::int64_t>(i));
    }
}

class CsvPrinter final : public ExportPrinter {
public:
    explicit CsvPrinter(const PrintContext& context)
        : ExportPrinter(context),
          columns_(context.column_template, context.decode, context.lobs),
          header_columns_(header_columns(context, kMaxColumns))
    {
    }

    void run_start() override
    {
        OutputSink& out = ctx_.out;
        bool first = true;
        if (ctx_.options.list_blocks) {
            for (const NamedListedField& f : kListedFields) {
                if (!std::exchange(first, false)) out.byte(',');
                out.text(f.name);
            }
        } else {
            for (const NamedField& f : kPieceFields) {
                if (!std::exchange(first, false)) out.byte(',');
                CsvSpelling::header_name(out, f);
            }
            put_column_names(out, header_columns_);
        }
        out.text(kLineEnd);
    }

    void listed_block(const DecodedBlock& block) override
    {
        char* out = ctx_.out.claim(kFieldsRoom);
        out = put_listed_fields<CsvSpelling>(out, block);
        ctx_.out.commit(put_literal(out, kLineEnd));
    }

    void piece(const DecodedBlock& block, const RowPieceRecord& p, std::span<const ColumnRecord> columns) override
    {
        if (!is_shown(ctx_.options, p)) return;
        OutputSink& sink = ctx_.out;
        sink.commit(put_piece_fields<CsvSpelling>(sink.claim(kFieldsRoom), block, p));
        // A piece with fewer columns than the header leaves the rest empty.
        const PieceAt head{block.block.file, block.block.number, p.slot, block.block.source, block.block.layout};
        for (std::size_t written = columns_.put<CsvSpelling>(sink, block.view(), columns, {head, p.row_offset, false});
             written < header_columns_; ++written)
            sink.byte(',');
        sink.text(kLineEnd);
    }

private:
    ColumnExporter columns_;
    std::size_t header_columns_;
};

// Walks what the CSV printer will walk and notes the most columns a shown
// piece exports, so that the header names them all.
class WidthScanner final : public DumpPrinter {
public:
    WidthScanner(const PrintContext& context, std::size_t& widest) : ctx_(context), widest_(widest) {}
    void run_start() override {}
    void load_failure(const LoadFailureRecord&) override {}
    void block(const DecodedBlock&) override {}
    void directory_entry(const DecodedBlock&, const DirectoryEntry&) override {}
    void run_end(bool) override {}

    void piece(const DecodedBlock&, const RowPieceRecord& p, std::span<const ColumnRecord> columns) override
    {
        if (is_shown(ctx_.options, p) && columns.size() > widest_)
            widest_ = std::max(widest_, exported_columns(ctx_.column_template, columns.size()));
    }

private:
    const PrintContext& ctx_;
    std::size_t& widest_;
};

class CsvRowPrinter final : public ExportRowPrinter {
public:
    explicit CsvRowPrinter(const PrintContext& context)
        : ExportRowPrinter(context),
          columns_(context.column_template, context.decode, context.lobs),
          header_columns_(header_columns(context, kMaxRowColumns))
    {
    }

    void run_start() override
    {
        OutputSink& out = ctx_.out;
        bool first = true;
        for (const NamedRowField& f : kRowFields) {
            if (!std::exchange(first, false)) out.byte(',');
            out.text(f.name);
        }
        put_column_names(out, header_columns_);
        out.text(kLineEnd);
    }

    void row(const Row& row) override
    {
        OutputSink& sink = ctx_.out;
        put_row_fields<CsvSpelling>(sink, row);
        for (std::size_t written = columns_.put<CsvSpelling>(sink, row.values, {row.head, 0, false});
             written < header_columns_; ++written)
            sink.byte(',');
        sink.text(kLineEnd);
    }

private:
    ColumnExporter columns_;
    std::size_t header_columns_;
};

}  // namespace

std::unique_ptr<RowPrinter> make_csv_row_printer(const PrintContext& context)
{
    return std::make_unique<CsvRowPrinter>(context);
}

std::unique_ptr<DumpPrinter> make_csv_printer(const PrintContext& context)
{
    return std::make_unique<CsvPrinter>(context);
}

std::unique_ptr<DumpPrinter> make_csv_width_scanner(const PrintContext& context, std::size_t& widest)
{
    return std::make_unique<WidthScanner>(context, widest);
}
