// The JSON Lines printer: one object per shown row piece (or, listing SCNs,
// per data block), every line valid JSON. Messages go to the message sink,
// so that standard output holds records only.
#include <array>
#include <bit>
#include <cstring>
#include <vector>

#include "charsets.h"
#include "export_fields.h"

namespace {

// The most a field other than a column writes, with its name.
constexpr std::size_t kFieldRoom = 160;

char* put_bool(char* out, bool value) { return value ? put_literal(out, "true") : put_literal(out, "false"); }

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

// Text inside a JSON string, quotes, backslashes and control characters
// escaped: at most 6 bytes per byte, and 8 bytes of scratch after the end.
// `readable` bytes from `text` on may be read (at least `length`). With
// `check_utf8`, returns nullptr when the text is not well-formed UTF-8.
char* put_escaped(char* out, const char* text, std::size_t length, std::size_t readable, bool check_utf8)
{
    static constexpr char kHex[] = "0123456789abcdef";
    constexpr std::uint64_t kHighs = 0x8080808080808080u;
    const std::uint64_t stop_at_high = check_utf8 ? kHighs : 0;
    std::size_t i = 0;
    // Eight bytes at a time while none needs an escape or a check, the
    // common case; the bytes of the last group past the text's end count as
    // plain letters, and what is written for them is overwritten later.
    for (std::uint64_t w; i < length && i + 8 <= readable; i += 8, out += 8) {
        std::memcpy(&w, text + i, 8);
        if (i + 8 > length) {
            const unsigned past = static_cast<unsigned>(i + 8 - length);  // 1 to 7
            const std::uint64_t keep = ~std::uint64_t{0} >> (8 * past);
            if constexpr (std::endian::native == std::endian::little)
                w = (w & keep) | (0x6161616161616161u & ~keep);
            else
                w = (w & ~keep) | (0x6161616161616161u & keep);
            if (any_needs_escape(w) || (w & stop_at_high) != 0) break;
            std::memcpy(out, &w, 8);
            return out + (length - i);
        }
        if (any_needs_escape(w) || (w & stop_at_high) != 0) break;
        std::memcpy(out, &w, 8);
    }
    while (i < length) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80 && check_utf8) {
            const std::size_t n = utf8_sequence(reinterpret_cast<const unsigned char*>(text) + i, length - i);
            if (n == 0) return nullptr;
            std::memcpy(out, text + i, n);
            out += n;
            i += n;
            continue;
        }
        ++i;
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
            out = put_literal(out, "u00");
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
        sink.commit(put_escaped(sink.claim(6 * n + 8), text + at, n, n, false));
    }
    sink.byte('"');
}

char* put_rowid_object(char* out, bool present, const std::uint8_t (&id)[block_format::kRowidSize])
{
    if (!present) return put_literal(out, "null");
    const RowidFields f = rowid_fields(id);
    out = put_literal(out, "{\"file\": ");
    out = OutputSink::put_decimal(out, f.file);
    out = put_literal(out, ", \"block\": ");
    out = OutputSink::put_decimal(out, f.block);
    out = put_literal(out, ", \"slot\": ");
    out = OutputSink::put_decimal(out, f.slot);
    *out++ = '}';
    return out;
}

char* put_itl_object(char* out, const BlockRecord& block, const RowPieceRecord& p)
{
    ItlSlot slot;
    if (!locking_itl(block, p, slot)) return put_literal(out, "null");
    out = put_literal(out, "{\"slot\": ");
    out = OutputSink::put_decimal(out, p.lock);
    out = put_literal(out, ", \"xid\": \"");
    out = put_itl_xid(out, slot);
    out = put_literal(out, "\", \"uba\": \"");
    out = put_itl_uba(out, slot);
    out = put_literal(out, "\", \"flag\": \"");
    out = put_itl_flags(out, slot);
    out = put_literal(out, "\", \"lck\": ");
    out = OutputSink::put_decimal(out, slot.lock_count());
    out = put_literal(out, ", \"scn\": \"");
    out = put_itl_scn(out, slot);
    return put_literal(out, "\"}");
}

// A value as its bytes: {"hex": "C102"}, with its announced length when
// the block end cuts it short.
char* put_hex_object(char* out, const ByteView& bytes, const ColumnRecord& column)
{
    out = put_literal(out, "{\"hex\": \"");
    out = OutputSink::put_hex_digits(out, bytes.data(), bytes.size());
    *out++ = '"';
    if (column.truncated()) {
        out = put_literal(out, ", \"length\": ");
        out = OutputSink::put_decimal(out, column.announced);
        out = put_literal(out, ", \"truncated\": true");
    }
    *out++ = '}';
    return out;
}

// The fields every record of a block starts with.
char* put_block_fields(char* out, const BlockRecord& block)
{
    out = put_literal(out, ", \"object_id\": ");
    out = OutputSink::put_decimal(out, block.header.object_id);
    out = put_literal(out, ", \"scn\": ");
    out = OutputSink::put_decimal(out, block.header.scn());
    return out;
}

class JsonlPrinter final : public ExportPrinter {
public:
    JsonlPrinter() : scratch_(kExportScratch) {}

    void run_start(DumpContext&) override {}

    void listed_block(DumpContext& ctx, const BlockRecord& block) override
    {
        char* out = ctx.out.claim(4 * kFieldRoom);
        out = put_literal(out, "{\"block\": ");
        out = put_signed(out, block.number);
        out = put_block_fields(out, block);
        out = put_literal(out, ", \"block_type\": ");
        out = OutputSink::put_decimal(out, block.header.block_type);
        out = put_literal(out, ", \"layout\": \"");
        out = put_string(out, layout_name(block.data));
        out = put_literal(out, "\"}\n");
        ctx.out.commit(out);
    }

    void piece(DumpContext& ctx, const BlockRecord& block, const RowPieceRecord& p) override
    {
        if (p.no_row || !is_shown(ctx.settings, p)) return;
        OutputSink& sink = ctx.out;
        char* out = sink.claim(16 * kFieldRoom);
        const BlockFields& fields = block_fields(block);
        out = put_string(out, fields.start);
        out = put_signed(out, static_cast<std::int64_t>(block.file_offset) + p.offset);
        out = put_string(out, fields.rest);
        out = p.walk == Walk::Directory ? put_literal(out, "\", \"walk\": \"directory\", \"slot\": ")
                                        : put_literal(out, "\", \"walk\": \"heap\", \"slot\": ");
        out = p.slot < 0 ? put_literal(out, "null") : OutputSink::put_decimal(out, static_cast<std::uint32_t>(p.slot));
        out = put_literal(out, ", \"row_offset\": ");
        out = OutputSink::put_decimal(out, p.row_offset);
        out = put_string(out, flag_fields(p.flags));
        out = put_literal(out, ", \"lock\": ");
        out = OutputSink::put_decimal(out, p.lock);
        out = put_literal(out, ", \"itl\": ");
        out = put_itl_object(out, block, p);
        out = put_literal(out, ", \"hrid\": ");
        out = put_rowid_object(out, p.has_hrid, p.hrid);
        out = put_literal(out, ", \"nrid\": ");
        out = put_rowid_object(out, p.has_nrid, p.nrid);
        out = put_literal(out, ", \"columns\": [");
        sink.commit(out);
        print_columns(ctx, block, p);
        out = sink.claim(kFieldRoom);
        out = put_literal(out, "], \"complete\": ");
        out = put_bool(out, p.complete);
        out = put_literal(out, "}\n");
        sink.commit(out);
    }

private:
    void print_columns(DumpContext& ctx, const BlockRecord& block, const RowPieceRecord& p)
    {
        OutputSink& sink = ctx.out;
        const ColumnTemplate* t = export_template(ctx);
        bool first = true;
        for (std::uint32_t i = 0; i < p.columns_found; ++i) {
            const ColumnRecord& column = p.columns[i];
            const ColumnType& type = t != nullptr ? column_type(*t, i) : kUnlistedType;
            if (type.plain_text && !column.is_null() && !column.truncated()) {
                // Text that needs no escape is decoded straight into the output.
                const ByteView bytes = column.value(block.view);
                char* const start = sink.claim(type.text_room(bytes.size()) + 2 * bytes.size() + kFieldRoom);
                char* out = first ? start : put_literal(start, ", ");
                first = false;
                char* end = type.decode(bytes, out + 1, ctx.decode_options);
                if (end != nullptr) {
                    *out = '"';
                    *end++ = '"';
                } else {
                    end = put_hex_object(out, bytes, column);
                }
                sink.commit(end);
                continue;
            }
            const ExportedValue value = export_value(t, ctx.decode_options, block.view, i, column, scratch_.data());
            if (value.as == ExportedAs::Left) continue;
            const bool long_text = value.as == ExportedAs::Text && value.length > kShortText;
            if (long_text && (!value.raw_text || is_utf8(value.text, value.length))) {
                if (!first) sink.text(", ");
                first = false;
                write_json_string(sink, value.text, value.length);
                continue;
            }
            // A value has at most 65535 bytes: its hex digits fit in one claim.
            const ByteView bytes = column.value(block.view);
            char* const start = sink.claim(6 * kShortText + 2 * bytes.size() + kFieldRoom);
            char* out = first ? start : put_literal(start, ", ");
            first = false;
            char* text_end = nullptr;
            if (value.as == ExportedAs::Text && !long_text) {
                // Text that is its own bytes is checked for UTF-8 as it is written.
                text_end = put_escaped(out + 1, value.text, value.length, value.readable, value.raw_text);
            }
            if (text_end != nullptr) {
                *out = '"';
                out = text_end;
                *out++ = '"';
            } else if (value.as == ExportedAs::Null) {
                out = put_literal(out, "null");
            } else {
                out = put_hex_object(out, bytes, column);
            }
            sink.commit(out);
        }
    }

    // What every record of a block says of it: up to the piece's file
    // offset, and after it.
    const BlockFields& block_fields(const BlockRecord& block)
    {
        if (block_fields_.holds(block)) return block_fields_;
        char text[kFieldRoom];
        char* out = put_literal(text, "{\"block\": ");
        out = put_signed(out, block.number);
        out = put_literal(out, ", \"file_offset\": ");
        block_fields_.start.assign(text, out);
        out = put_block_fields(text, block);
        out = put_literal(out, ", \"layout\": \"");
        out = put_string(out, layout_name(block.data));
        block_fields_.rest.assign(text, out);
        block_fields_.hold(block);
        return block_fields_;
    }

    // "flags", "class", "class_name" and "deleted", which the flag byte
    // alone decides: written once for each flag byte met.
    std::string_view flag_fields(std::uint8_t flags)
    {
        std::string& fields = flag_fields_[flags];
        if (!fields.empty()) return fields;
        char letters[9];
        flag_letters(flags, letters);
        const int row_class = classify_row_piece(flags);
        char text[kFieldRoom];
        char* out = put_literal(text, ", \"flags\": \"");
        out = put_string(out, std::string_view(letters, 8));
        out = put_literal(out, "\", \"class\": ");
        out = OutputSink::put_decimal(out, static_cast<std::uint32_t>(row_class));
        out = put_literal(out, ", \"class_name\": \"");
        out = put_string(out, class_name(row_class));
        out = put_literal(out, "\", \"deleted\": ");
        out = put_bool(out, (flags & block_format::kFlagD) != 0);
        fields.assign(text, out);
        return fields;
    }

    BlockFields block_fields_;
    std::array<std::string, 256> flag_fields_;

    // Text up to this long is written with one claim of room.
    static constexpr std::size_t kShortText = 4096;
    std::vector<char> scratch_;
};

}  // namespace

std::unique_ptr<RecordPrinter> make_jsonl_printer()
{
    return std::make_unique<JsonlPrinter>();
}
