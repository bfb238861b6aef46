// The JSON Lines printer: one object per shown row piece (or, listing SCNs,
// per data block), every line valid JSON. Messages go to the message sink,
// so that standard output holds records only.
#include <array>
#include <cstring>
#include <vector>

#include "export_fields.h"
#include "message_lines.h"

namespace {

// The most a field other than a column writes, with its name.
constexpr std::size_t kFieldRoom = 160;

// A literal, its length known to the compiler.
template <std::size_t N>
char* put(char* out, const char (&text)[N])
{
    std::memcpy(out, text, N - 1);
    return out + N - 1;
}

char* put_name(char* out, const char* text)
{
    const std::size_t length = std::strlen(text);
    std::memcpy(out, text, length);
    return out + length;
}

char* put_signed(char* out, std::int64_t value)
{
    if (value < 0) {
        *out++ = '-';
        return OutputSink::put_decimal(out, 0 - static_cast<std::uint64_t>(value));
    }
    return OutputSink::put_decimal(out, static_cast<std::uint64_t>(value));
}

char* put_bool(char* out, bool value) { return value ? put(out, "true") : put(out, "false"); }

// The bytes a JSON string must escape: control characters, the quote and
// the backslash.
constexpr std::array<bool, 256> kNeedsEscape = [] {
    std::array<bool, 256> table{};
    for (int c = 0; c < 0x20; ++c) table[static_cast<std::size_t>(c)] = true;
    table['"'] = table['\\'] = true;
    return table;
}();

// Whether any of eight bytes needs an escape (bit tricks that find a zero
// byte, or one below 0x20).
bool any_needs_escape(std::uint64_t w)
{
    constexpr std::uint64_t kOnes = 0x0101010101010101u, kHighs = 0x8080808080808080u;
    auto has_zero = [](std::uint64_t v) { return (v - kOnes) & ~v & kHighs; };
    return (has_zero(w ^ (kOnes * '"')) | has_zero(w ^ (kOnes * '\\')) | ((w - kOnes * 0x20) & ~w & kHighs)) != 0;
}

// UTF-8 text inside a JSON string, quotes, backslashes and control
// characters escaped: at most 6 bytes per byte.
char* put_escaped(char* out, const char* text, std::size_t length)
{
    static constexpr char kHex[] = "0123456789abcdef";
    std::size_t i = 0;
    // Eight bytes at a time while none needs an escape, the common case.
    for (std::uint64_t w; i + 8 <= length; i += 8, out += 8) {
        std::memcpy(&w, text + i, 8);
        if (any_needs_escape(w)) break;
        std::memcpy(out, &w, 8);
    }
    for (; i < length; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (!kNeedsEscape[c]) {
            *out++ = static_cast<char>(c);
            continue;
        }
        *out++ = '\\';
        switch (c) {
        case '"': *out++ = '"'; break;
        case '\\': *out++ = '\\'; break;
        case '\n': *out++ = 'n'; break;
        case '\r': *out++ = 'r'; break;
        case '\t': *out++ = 't'; break;
        default:
            out = put(out, "u00");
            *out++ = kHex[c >> 4];
            *out++ = kHex[c & 0xF];
        }
    }
    return out;
}

// A JSON string, written a part at a time so that no claim of room is
// larger than the sink.
void write_json_string(OutputSink& sink, const char* text, std::size_t length)
{
    constexpr std::size_t kPart = 8192;
    sink.byte('"');
    for (std::size_t at = 0; at < length; at += kPart) {
        const std::size_t n = length - at < kPart ? length - at : kPart;
        sink.commit(put_escaped(sink.claim(6 * n), text + at, n));
    }
    sink.byte('"');
}

char* put_rowid_object(char* out, bool present, const std::uint8_t (&id)[block_format::kRowidSize])
{
    if (!present) return put(out, "null");
    const RowidFields f = rowid_fields(id);
    out = put(out, "{\"file\": ");
    out = OutputSink::put_decimal(out, f.file);
    out = put(out, ", \"block\": ");
    out = OutputSink::put_decimal(out, f.block);
    out = put(out, ", \"slot\": ");
    out = OutputSink::put_decimal(out, f.slot);
    *out++ = '}';
    return out;
}

char* put_itl_object(char* out, const BlockRecord& block, const RowPieceRecord& p)
{
    ItlSlot slot;
    if (!locking_itl(block, p, slot)) return put(out, "null");
    out = put(out, "{\"slot\": ");
    out = OutputSink::put_decimal(out, p.lock);
    out = put(out, ", \"xid\": \"");
    out = put_itl_xid(out, slot);
    out = put(out, "\", \"uba\": \"");
    out = put_itl_uba(out, slot);
    out = put(out, "\", \"flag\": \"");
    out = put_itl_flags(out, slot);
    out = put(out, "\", \"lck\": ");
    out = OutputSink::put_decimal(out, slot.lock_count());
    out = put(out, ", \"scn\": \"");
    out = put_itl_scn(out, slot);
    return put(out, "\"}");
}

// The fields every record of a block starts with.
char* put_block_fields(char* out, const BlockRecord& block)
{
    out = put(out, ", \"object_id\": ");
    out = OutputSink::put_decimal(out, block.header.object_id);
    out = put(out, ", \"scn\": ");
    out = OutputSink::put_decimal(out, block.header.scn());
    return out;
}

class JsonlPrinter final : public RecordPrinter {
public:
    JsonlPrinter() : scratch_(kExportScratch) {}

    void run_start(DumpContext&) override {}

    void load_failure(DumpContext& ctx, LoadFailure failure) override { print_load_failure(ctx.err, ctx, failure); }

    void block(DumpContext& ctx, const BlockRecord& block) override
    {
        if (is_fatal(block.outcome)) {
            print_block_failure(ctx.err, block);
            return;
        }
        if (block.outcome != BlockOutcome::Listed) return;
        char* out = ctx.out.claim(4 * kFieldRoom);
        out = put(out, "{\"block\": ");
        out = put_signed(out, block.number);
        out = put_block_fields(out, block);
        out = put(out, ", \"block_type\": ");
        out = OutputSink::put_decimal(out, block.header.block_type);
        out = put(out, ", \"layout\": \"");
        out = put_name(out, layout_name(block.data));
        out = put(out, "\"}\n");
        ctx.out.commit(out);
    }

    void directory_entry(DumpContext& ctx, const BlockRecord& block, const DirectoryEntry& entry) override
    {
        if (entry.problem == EntryProblem::BeyondBlock) print_entry_beyond_block(ctx.err, block);
    }

    void piece(DumpContext& ctx, const BlockRecord& block, const RowPieceRecord& p) override
    {
        if (p.no_row || !is_shown(ctx.settings, p)) return;
        OutputSink& sink = ctx.out;
        char* out = sink.claim(16 * kFieldRoom);
        out = put(out, "{\"block\": ");
        out = put_signed(out, block.number);
        out = put(out, ", \"file_offset\": ");
        out = put_signed(out, static_cast<std::int64_t>(block.file_offset) + p.offset);
        out = put_block_fields(out, block);
        out = put(out, ", \"layout\": \"");
        out = put_name(out, layout_name(block.data));
        out = p.walk == Walk::Directory ? put(out, "\", \"walk\": \"directory\", \"slot\": ")
                                        : put(out, "\", \"walk\": \"heap\", \"slot\": ");
        out = p.slot < 0 ? put(out, "null") : OutputSink::put_decimal(out, static_cast<std::uint32_t>(p.slot));
        out = put(out, ", \"row_offset\": ");
        out = OutputSink::put_decimal(out, p.row_offset);
        char flags[9];
        flag_letters(p.flags, flags);
        out = put(out, ", \"flags\": \"");
        out = put_name(out, flags);
        out = put(out, "\", \"class\": ");
        out = OutputSink::put_decimal(out, p.row_class);
        out = put(out, ", \"class_name\": \"");
        out = put_name(out, class_name(p.row_class));
        out = put(out, "\", \"deleted\": ");
        out = put_bool(out, p.deleted());
        out = put(out, ", \"lock\": ");
        out = OutputSink::put_decimal(out, p.lock);
        out = put(out, ", \"itl\": ");
        out = put_itl_object(out, block, p);
        out = put(out, ", \"hrid\": ");
        out = put_rowid_object(out, p.has_hrid, p.hrid);
        out = put(out, ", \"nrid\": ");
        out = put_rowid_object(out, p.has_nrid, p.nrid);
        out = put(out, ", \"columns\": [");
        sink.commit(out);
        print_columns(ctx, block, p);
        out = sink.claim(kFieldRoom);
        out = put(out, "], \"complete\": ");
        out = put_bool(out, p.complete);
        out = put(out, "}\n");
        sink.commit(out);
    }

    void run_end(DumpContext&, bool) override {}

private:
    void print_columns(DumpContext& ctx, const BlockRecord& block, const RowPieceRecord& p)
    {
        OutputSink& sink = ctx.out;
        const ColumnTemplate* t = export_template(ctx);
        bool first = true;
        for (std::uint32_t i = 0; i < p.columns_found; ++i) {
            const ColumnRecord& column = p.columns[i];
            const ExportedValue value = export_value(t, ctx.decode_options, block.view, i, column, scratch_.data());
            if (value.as == ExportedAs::Left) continue;
            const bool text = value.as == ExportedAs::Text && (!value.raw_text || is_utf8(value.text, value.length));
            if (text && value.length > kShortText) {
                if (!first) sink.text(", ");
                first = false;
                write_json_string(sink, value.text, value.length);
                continue;
            }
            // A value has at most 65535 bytes: its hex digits fit in one claim.
            const ByteView bytes = column.value(block.view);
            char* out = sink.claim(6 * kShortText + 2 * bytes.size() + kFieldRoom);
            if (!first) out = put(out, ", ");
            first = false;
            if (text) {
                *out++ = '"';
                out = put_escaped(out, value.text, value.length);
                *out++ = '"';
            } else if (value.as == ExportedAs::Null) {
                out = put(out, "null");
            } else {
                out = put(out, "{\"hex\": \"");
                out = put_hex_digits(out, bytes.data(), bytes.size());
                *out++ = '"';
                if (column.truncated()) {
                    out = put(out, ", \"length\": ");
                    out = OutputSink::put_decimal(out, column.announced);
                    out = put(out, ", \"truncated\": true");
                }
                *out++ = '}';
            }
            sink.commit(out);
        }
    }

    // Text up to this long is written with one claim of room.
    static constexpr std::size_t kShortText = 4096;
    std::vector<char> scratch_;
};

}  // namespace

std::unique_ptr<RecordPrinter> make_jsonl_printer()
{
    return std::make_unique<JsonlPrinter>();
}
