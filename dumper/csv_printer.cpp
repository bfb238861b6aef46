// The CSV printer (RFC 4180): a header line, then one line per shown row
// piece (or, listing SCNs, per data block), lines ending in CR LF. Fields
// holding a comma, a quote, CR or LF are quoted, quotes doubled; a NULL is
// an empty field, an empty value "", a value nothing decodes its hex digits
// after 0x. Messages go to the message sink.
#include <algorithm>
#include <cstring>
#include <vector>

#include "export_fields.h"

namespace {

constexpr char kPieceHeader[] =
    "block,file_offset,object_id,scn,layout,walk,slot,row_offset,flags,class,class_name,deleted,lock,"
    "itl_slot,itl_xid,itl_flag,itl_scn,hrid,nrid,complete";
constexpr char kBlockHeader[] = "block,object_id,scn,block_type,layout";
constexpr char kLineEnd[] = "\r\n";
// The most the fields before the columns write.
constexpr std::size_t kFieldsRoom = 512;

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

class CsvPrinter final : public ExportPrinter {
public:
    CsvPrinter() : scratch_(kExportScratch) {}

    void run_start(DumpContext& ctx) override
    {
        OutputSink& out = ctx.out;
        if (ctx.settings.action == DUMPSCNS) {
            out.text(kBlockHeader);
        } else {
            out.text(kPieceHeader);
            header_columns_ = std::max(exported_template_columns(ctx), ctx.csv_columns);
            for (std::size_t i = 1; i <= header_columns_; ++i) {
                out.text(",col");
                out.dec(static_cast<std::int64_t>(i));
            }
        }
        out.text(kLineEnd);
    }

    void listed_block(DumpContext& ctx, const BlockRecord& block) override
    {
        char* out = ctx.out.claim(kFieldsRoom);
        out = put_signed(out, block.number);
        *out++ = ',';
        out = OutputSink::put_decimal(out, block.header.object_id);
        *out++ = ',';
        out = OutputSink::put_decimal(out, block.header.scn());
        *out++ = ',';
        out = OutputSink::put_decimal(out, block.header.block_type);
        *out++ = ',';
        out = put_string(out, layout_name(block.data));
        out = put_literal(out, kLineEnd);
        ctx.out.commit(out);
    }

    void piece(DumpContext& ctx, const BlockRecord& block, const RowPieceRecord& p) override
    {
        if (p.no_row || !is_shown(ctx.settings, p)) return;
        OutputSink& sink = ctx.out;
        char* out = sink.claim(kFieldsRoom);
        const BlockFields& fields = block_fields(block);
        out = put_string(out, fields.start);
        out = put_signed(out, static_cast<std::int64_t>(block.file_offset) + p.offset);
        out = put_string(out, fields.rest);
        out = p.walk == Walk::Directory ? put_literal(out, ",directory,") : put_literal(out, ",heap,");
        if (p.slot >= 0) out = OutputSink::put_decimal(out, static_cast<std::uint32_t>(p.slot));
        *out++ = ',';
        out = OutputSink::put_decimal(out, p.row_offset);
        char flags[9];
        flag_letters(p.flags, flags);
        *out++ = ',';
        out = put_string(out, std::string_view(flags, 8));
        *out++ = ',';
        out = OutputSink::put_decimal(out, p.row_class);
        *out++ = ',';
        const std::string_view name = class_name(p.row_class);
        const bool quoted = name.find(',') != std::string_view::npos;
        if (quoted) *out++ = '"';
        out = put_string(out, name);
        if (quoted) *out++ = '"';
        out = p.deleted() ? put_literal(out, ",true,") : put_literal(out, ",false,");
        out = OutputSink::put_decimal(out, p.lock);
        *out++ = ',';
        ItlSlot slot;
        if (locking_itl(block, p, slot)) {
            out = OutputSink::put_decimal(out, p.lock);
            *out++ = ',';
            out = put_itl_xid(out, slot);
            *out++ = ',';
            out = put_itl_flags(out, slot);
            *out++ = ',';
            out = put_itl_scn(out, slot);
        } else {
            out = put_literal(out, ",,");
            *out++ = ',';
        }
        *out++ = ',';
        if (p.has_hrid) out = put_rowid(out, rowid_fields(p.hrid));
        *out++ = ',';
        if (p.has_nrid) out = put_rowid(out, rowid_fields(p.nrid));
        out = p.complete ? put_literal(out, ",true") : put_literal(out, ",false");
        sink.commit(out);
        print_columns(ctx, block, p);
        sink.text(kLineEnd);
    }

private:
    void print_columns(DumpContext& ctx, const BlockRecord& block, const RowPieceRecord& p)
    {
        OutputSink& sink = ctx.out;
        const ColumnTemplate* t = export_template(ctx);
        std::size_t written = 0;
        for (std::uint32_t i = 0; i < p.columns_found; ++i) {
            const ColumnRecord& column = p.columns[i];
            const ColumnType& type = t != nullptr ? column_type(*t, i) : kUnlistedType;
            if (type.plain_text && !column.is_null() && !column.truncated()) {
                // Text that needs no quotes is decoded straight into the output.
                const ByteView bytes = column.value(block.view);
                char* out = sink.claim(type.text_room(bytes.size()) + 2 * bytes.size() + 4);
                *out++ = ',';
                ++written;
                char* end = type.decode(bytes, out, ctx.decode_options);
                if (end == out) {
                    end = put_literal(out, "\"\"");  // an empty value, apart from a NULL
                } else if (end == nullptr) {
                    end = put_literal(out, "0x");
                    end = OutputSink::put_hex_digits(end, bytes.data(), bytes.size());
                }
                sink.commit(end);
                continue;
            }
            const ExportedValue value = export_value(t, ctx.decode_options, block.view, i, column, scratch_.data());
            if (value.as == ExportedAs::Left) continue;
            sink.byte(',');
            ++written;
            if (value.as == ExportedAs::Text) {
                write_text_field(sink, value.text, value.length);
            } else if (value.as == ExportedAs::Hex) {
                // A value has at most 65535 bytes: its digits fit in one claim.
                const ByteView bytes = column.value(block.view);
                char* out = sink.claim(2 * bytes.size() + 2);
                *out++ = '0';
                *out++ = 'x';
                sink.commit(OutputSink::put_hex_digits(out, bytes.data(), bytes.size()));
            }
        }
        // A piece with fewer columns than the header leaves the rest empty.
        for (; written < header_columns_; ++written) sink.byte(',');
    }

    // What every line of a block says of it: up to the piece's file offset,
    // and after it.
    const BlockFields& block_fields(const BlockRecord& block)
    {
        if (block_fields_.holds(block)) return block_fields_;
        char text[kFieldsRoom];
        char* out = put_signed(text, block.number);
        *out++ = ',';
        block_fields_.start.assign(text, out);
        out = text;
        *out++ = ',';
        out = OutputSink::put_decimal(out, block.header.object_id);
        *out++ = ',';
        out = OutputSink::put_decimal(out, block.header.scn());
        *out++ = ',';
        out = put_string(out, layout_name(block.data));
        block_fields_.rest.assign(text, out);
        block_fields_.hold(block);
        return block_fields_;
    }

    std::vector<char> scratch_;
    std::size_t header_columns_ = 0;
    BlockFields block_fields_;
};

// Walks what the CSV printer will walk and notes the most columns a shown
// piece exports, so that the header names them all.
class WidthScanner final : public RecordPrinter {
public:
    explicit WidthScanner(std::size_t& widest) : widest_(widest) {}
    void run_start(DumpContext&) override {}
    void load_failure(DumpContext&, LoadFailure) override {}
    void block(DumpContext&, const BlockRecord&) override {}
    void directory_entry(DumpContext&, const BlockRecord&, const DirectoryEntry&) override {}
    void run_end(DumpContext&, bool) override {}

    void piece(DumpContext& ctx, const BlockRecord&, const RowPieceRecord& p) override
    {
        if (p.no_row || !is_shown(ctx.settings, p) || p.columns_found <= widest_) return;
        const ColumnTemplate* t = export_template(ctx);
        std::size_t exported = p.columns_found;
        if (t != nullptr) {
            exported = 0;
            for (std::uint32_t i = 0; i < p.columns_found; ++i)
                exported += column_type(*t, i).role != TypeRole::Suppressed;
        }
        widest_ = std::max(widest_, exported);
    }

private:
    std::size_t& widest_;
};

}  // namespace

std::unique_ptr<RecordPrinter> make_csv_printer()
{
    return std::make_unique<CsvPrinter>();
}

std::unique_ptr<RecordPrinter> make_csv_width_scanner(std::size_t& widest)
{
    return std::make_unique<WidthScanner>(widest);
}
