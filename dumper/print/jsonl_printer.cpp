// The JSON Lines printer: one object per shown row piece (or, listing SCNs,
// per data block), every line valid JSON. Messages go to the message sink,
// so that standard output holds records only.
#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <vector>

#include "print/export_columns.h"
#include "print/export_fields.h"
#include "values/charsets.h"

namespace {

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

// A LOB's locator fields: {"id": ..., "storage": ..., "length": ..., "pages": ...},
// null where the locator does not give them.
char* put_lob_fields(char* out, const unload::LobValue& lob)
{
    const LobLocator& locator = lob.locator;
    out = put_literal(out, "{\"id\": \"");
    out = put_hex_digits(out, locator.lob_id.data(), locator.lob_id.size());
    out = put_literal(out, "\", \"storage\": ");
    const bool out_of_line = locator.form == LobForm::BasicOutOfLine;
    out = locator.secure_file ? put_literal(out, "\"securefile\"")
          : out_of_line       ? put_literal(out, "\"out_of_line\"")
                              : put_literal(out, "\"inline\"");
    out = put_literal(out, ", \"length\": ");
    if (locator.secure_file)
        out = put_decimal(out, locator.secure_length);
    else if (!out_of_line)
        out = put_decimal(out, locator.data.size());
    else if (lob.status == unload::LobValue::Status::Pages ||
             (lob.status == unload::LobValue::Status::Lost && lob.found.length != 0))
        out = put_decimal(out, lob.found.length);
    else
        out = put_literal(out, "null");
    out = put_literal(out, ", \"pages\": ");
    if (locator.secure_file)
        out = lob.status == unload::LobValue::Status::Pages ? put_decimal(out, lob.found.expected)
                                                             : put_literal(out, "null");
    else
        out = put_decimal(out, out_of_line ? locator.pages() : 0);
    *out++ = '}';
    return out;
}

// The room put_lob_fields() takes at most.
constexpr std::size_t kLobFieldsRoom = 160;

// Text up to this long is written with one claim of room.
constexpr std::size_t kShortText = 4096;

char* put_hex_object(char* out, const ColumnValue& column)
{
    const ByteView& bytes = column.bytes;
    out = put_literal(out, "{\"hex\": \"");
    out = put_hex_digits(out, bytes.data(), bytes.size());
    *out++ = '"';
    if (column.truncated()) {
        out = put_literal(out, ", \"length\": ");
        out = put_decimal(out, column.announced);
        out = put_literal(out, ", \"truncated\": true");
    }
    *out++ = '}';
    return out;
}

// How JSON writes each part of a record.
struct JsonSpelling {
    static char* name(char* out, std::string_view name, bool first)
    {
        if (!first) out = put_literal(out, ", ");
        *out++ = '"';
        out = put_text(out, name);
        return put_literal(out, "\": ");
    }
    static char* null(char* out) { return put_literal(out, "null"); }
    static char* boolean(char* out, bool value) { return put_bool(out, value); }
    // Names the export formats give: no character needs escaping.
    static char* text(char* out, std::string_view text)
    {
        *out++ = '"';
        out = put_text(out, text);
        *out++ = '"';
        return out;
    }
    static char* file(char* out, std::uint32_t file) { return file == 0 ? null(out) : put_decimal(out, file); }
    static char* rowid(char* out, bool present, const Rowid& r)
    {
        if (!present) return null(out);
        out = put_literal(out, "{\"file\": ");
        out = put_decimal(out, r.file);
        out = put_literal(out, ", \"block\": ");
        out = put_decimal(out, r.block);
        out = put_literal(out, ", \"slot\": ");
        out = put_decimal(out, r.slot);
        *out++ = '}';
        return out;
    }
    static char* itl(char* out, const DecodedBlock& block, const RowPieceRecord& p)
    {
        ItlSlot slot;
        if (!locking_itl(block, p, slot)) return null(out);
        out = put_literal(out, "{\"slot\": ");
        out = put_decimal(out, p.lock);
        out = put_literal(out, ", \"xid\": \"");
        out = put_itl_xid(out, slot);
        out = put_literal(out, "\", \"uba\": \"");
        out = put_itl_uba(out, slot);
        out = put_literal(out, "\", \"flag\": \"");
        out = put_itl_flags(out, slot);
        out = put_literal(out, "\", \"lck\": ");
        out = put_decimal(out, slot.lock_count());
        out = put_literal(out, ", \"scn\": \"");
        out = put_itl_scn(out, slot);
        return put_literal(out, "\"}");
    }

    // A row's pieces: [{"file": f, "block": b, "slot": s}, ...].
    static void pieces(OutputSink& sink, std::span<const PieceAt> pieces)
    {
        sink.byte('[');
        bool first = true;
        for (const PieceAt& p : pieces) {
            char* out = sink.claim(96);
            if (!first) out = put_literal(out, ", ");
            first = false;
            out = put_literal(out, "{\"file\": ");
            out = file(out, p.file);
            out = put_literal(out, ", \"block\": ");
            out = put_signed(out, p.block);
            out = put_literal(out, ", \"slot\": ");
            out = p.slot < 0 ? null(out) : put_decimal(out, static_cast<std::uint32_t>(p.slot));
            *out++ = '}';
            sink.commit(out);
        }
        sink.byte(']');
    }

    // Columns.
    static void separator(OutputSink& sink, bool first)
    {
        if (!first) sink.text(", ");
    }
    static void null(OutputSink& sink) { sink.text("null"); }
    static void hex(OutputSink& sink, const ColumnValue& value)
    {
        // A value has at most 65535 bytes: its hex digits fit in one claim.
        sink.commit(put_hex_object(sink.claim(2 * value.bytes.size() + 128), value));
    }
    static bool plain(OutputSink& sink, const ColumnType& type, const ByteView& bytes, const DecodeOptions& options)
    {
        char* const start = sink.claim(type.text_room(bytes.size()) + 2);
        char* end = type.decode(bytes, start + 1, options);
        if (end == nullptr) {
            sink.commit(start);
            return false;
        }
        *start = '"';
        *end++ = '"';
        sink.commit(end);
        return true;
    }
    // Decoded text, already UTF-8.
    static void text(OutputSink& sink, const char* text, std::size_t length)
    {
        if (length > kShortText) {
            write_json_string(sink, text, length);
            return;
        }
        char* out = sink.claim(6 * length + 16);
        *out = '"';
        out = put_escaped(out + 1, text, length, 0, false);
        *out++ = '"';
        sink.commit(out);
    }
    // The value's own bytes: a JSON string only when they are UTF-8.
    static bool raw_text(OutputSink& sink, const ColumnValue& value)
    {
        const ByteView& bytes = value.bytes;
        const char* text = reinterpret_cast<const char*>(bytes.data());
        if (bytes.size() > kShortText) {
            if (!is_utf8(text, bytes.size())) return false;
            write_json_string(sink, text, bytes.size());
            return true;
        }
        char* const start = sink.claim(6 * bytes.size() + 16);
        // Checked for UTF-8 as it is written, reading on eight bytes at a time.
        char* end = put_escaped(start + 1, text, bytes.size(), value.readable, true);
        if (end == nullptr) {
            sink.commit(start);
            return false;
        }
        *start = '"';
        *end++ = '"';
        sink.commit(end);
        return true;
    }

    // LOB values: a string (a BLOB's of hexadecimal digits), after
    // {"lob": {...}, "value": when its locator's fields go beside it.
    static bool lob_special(std::string_view) { return false; }
    static void lob_begin(OutputSink& sink, const unload::LobValue* fields, bool)
    {
        if (fields == nullptr) {
            sink.byte('"');
            return;
        }
        char* out = put_literal(sink.claim(kLobFieldsRoom + 32), "{\"lob\": ");
        out = put_lob_fields(out, *fields);
        sink.commit(put_literal(out, ", \"value\": \""));
    }
    static void lob_text(OutputSink& sink, std::string_view text, bool)
    {
        constexpr std::size_t kPart = 8192;
        for (std::size_t at = 0; at < text.size(); at += kPart) {
            const std::size_t n = std::min(kPart, text.size() - at);
            sink.commit(put_escaped(sink.claim(6 * n + 8), text.data() + at, n, n, false));
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
    static void lob_end(OutputSink& sink, const unload::LobValue* fields, bool)
    {
        sink.byte('"');
        if (fields != nullptr) sink.byte('}');
    }
    // A locator not read: {"hex": ..., "lob": {...}}.
    static void lob_locator(OutputSink& sink, const ColumnValue& value, const unload::LobValue* fields)
    {
        if (fields == nullptr) {
            hex(sink, value);
            return;
        }
        char* out = put_hex_object(sink.claim(2 * value.bytes.size() + 128 + kLobFieldsRoom), value) - 1;
        out = put_literal(out, ", \"lob\": ");
        out = put_lob_fields(out, *fields);
        *out++ = '}';
        sink.commit(out);
    }
};

class JsonlPrinter final : public ExportPrinter {
public:
    explicit JsonlPrinter(const PrintContext& context)
        : ExportPrinter(context), columns_(context.column_template, context.decode, context.lobs)
    {
    }

    void run_start() override {}

    void listed_block(const DecodedBlock& block) override
    {
        char* out = ctx_.out.claim(kFieldsRoom);
        *out++ = '{';
        out = put_listed_fields<JsonSpelling>(out, block);
        out = put_literal(out, "}\n");
        ctx_.out.commit(out);
    }

    void piece(const DecodedBlock& block, const RowPieceRecord& p, std::span<const ColumnRecord> columns) override
    {
        if (!is_shown(ctx_.options, p)) return;
        OutputSink& sink = ctx_.out;
        char* out = sink.claim(kFieldsRoom);
        *out++ = '{';
        out = put_piece_fields<JsonSpelling>(out, block, p);
        out = put_literal(out, ", \"columns\": [");
        sink.commit(out);
        const PieceAt head{block.block.file, block.block.number, p.slot, block.block.source, block.block.layout};
        columns_.put<JsonSpelling>(sink, block.view(), columns, {head, p.row_offset, true});
        sink.text("]}\n");
    }

private:
    ColumnExporter columns_;
};

class JsonlRowPrinter final : public ExportRowPrinter {
public:
    explicit JsonlRowPrinter(const PrintContext& context)
        : ExportRowPrinter(context), columns_(context.column_template, context.decode, context.lobs)
    {
    }
    void run_start() override {}

    void row(const Row& row) override
    {
        OutputSink& sink = ctx_.out;
        sink.byte('{');
        put_row_fields<JsonSpelling>(sink, row);
        sink.text(", \"columns\": [");
        columns_.put<JsonSpelling>(sink, row.values, {row.head, 0, false});
        sink.text("]}\n");
    }

private:
    ColumnExporter columns_;
};

}  // namespace

std::unique_ptr<DumpPrinter> make_jsonl_printer(const PrintContext& context)
{
    return std::make_unique<JsonlPrinter>(context);
}

std::unique_ptr<RowPrinter> make_jsonl_row_printer(const PrintContext& context)
{
    return std::make_unique<JsonlRowPrinter>(context);
}
