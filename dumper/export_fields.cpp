// The fields the export formats give a row piece.
#include "export_fields.h"

#include "message_lines.h"

#include <array>
#include <cstring>

using namespace block_format;

namespace {

constexpr std::string_view kClassNames[kPieceClassCount + 1] = {
    "",
    "cluster key",
    "deleted row",
    "row",
    "cluster row",
    "cluster row without head",
    "row without head",
    "head only",
    "cluster head only",
    "continues in next",
    "last piece",
    "last piece, continued",
    "head and first piece",
    "deleted last piece",
    "deleted piece",
    "first piece",
    "empty",
    "unknown",
};

constexpr char kLowerHex[] = "0123456789abcdef";

// "%0Nx": at least `digits` lower-case hexadecimal digits.
char* put_lower_hex(char* out, std::uint32_t value, int digits)
{
    char scratch[8];
    int count = 0;
    do {
        scratch[count++] = kLowerHex[value & 0xF];
        value >>= 4;
    } while (value != 0);
    while (count < digits) scratch[count++] = '0';
    while (count > 0) *out++ = scratch[--count];
    return out;
}

}  // namespace

char* put_string(char* out, const char* text)
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

std::string_view class_name(int row_class)
{
    return row_class >= 1 && row_class <= kPieceClassCount ? kClassNames[row_class] : "unknown";
}

std::string_view layout_name(const DataHeader& data) { return data.extended ? "assm" : "freelist"; }

namespace {

struct FlagText {
    char letters[9];
};

// The letters of every flag byte, worked out once by the compiler.
constexpr std::array<FlagText, 256> kFlagTexts = [] {
    std::array<FlagText, 256> texts{};
    for (int f = 0; f < 256; ++f)
        for (int bit = 0; bit < 8; ++bit)
            texts[static_cast<std::size_t>(f)].letters[bit] = (f & (0x80 >> bit)) ? kFlagLetters[bit] : '-';
    return texts;
}();

}  // namespace

void flag_letters(std::uint8_t flags, char (&out)[9])
{
    std::memcpy(out, kFlagTexts[flags].letters, 9);
}

RowidFields rowid_fields(const std::uint8_t (&id)[kRowidSize])
{
    return {static_cast<std::uint32_t>(id[0] * 4 + id[1] / 64),
            static_cast<std::uint32_t>((id[1] % 64) * 65536 + id[2] * 256 + id[3]),
            static_cast<std::uint32_t>(id[4] * 256 + id[5])};
}

char* put_rowid(char* out, const RowidFields& id)
{
    out = OutputSink::put_decimal(out, id.file);
    *out++ = '.';
    out = OutputSink::put_decimal(out, id.block);
    *out++ = '.';
    return OutputSink::put_decimal(out, id.slot);
}

bool locking_itl(const BlockRecord& block, const RowPieceRecord& piece, ItlSlot& slot)
{
    if (piece.lock == 0 || piece.lock > block.header.itl_count) return false;
    slot = decode_itl_slot(block.view, piece.lock);
    return true;
}

char* put_itl_xid(char* out, const ItlSlot& slot)
{
    out = put_literal(out, "0x");
    out = put_lower_hex(out, slot.undo_segment, 4);
    *out++ = '.';
    out = put_lower_hex(out, slot.undo_slot, 3);
    *out++ = '.';
    return put_lower_hex(out, slot.undo_sequence, 8);
}

char* put_itl_uba(char* out, const ItlSlot& slot)
{
    out = put_literal(out, "0x");
    out = put_lower_hex(out, slot.uba_block, 8);
    *out++ = '.';
    out = put_lower_hex(out, slot.uba_sequence, 4);
    *out++ = '.';
    return put_lower_hex(out, slot.uba_record, 2);
}

char* put_itl_flags(char* out, const ItlSlot& slot)
{
    static constexpr char kLetters[] = "CBUT";
    for (int bit = 0; bit < 4; ++bit) *out++ = (slot.flags() & (8 >> bit)) ? kLetters[bit] : '-';
    return out;
}

char* put_itl_scn(char* out, const ItlSlot& slot)
{
    out = put_literal(out, "0x");
    out = put_lower_hex(out, slot.scn_wrap, 4);
    *out++ = '.';
    return put_lower_hex(out, slot.scn_base, 8);
}

const ColumnTemplate* export_template(DumpContext& ctx)
{
    if (!ctx.settings.template_given) return nullptr;
    const ColumnTemplate& t = column_template(ctx);
    return t.status == ColumnTemplate::Status::Loaded ? &t : nullptr;
}

ExportedValue export_value(const ColumnTemplate* t, const DecodeOptions& options, const BlockView& block,
                           std::size_t index, const ColumnRecord& column, char* scratch)
{
    const ColumnType* type = t != nullptr ? &column_type(*t, index) : &kUnlistedType;
    if (type->role == TypeRole::Suppressed) return {ExportedAs::Left};
    if (column.is_null()) return {ExportedAs::Null};
    if (type->text_bytes && options.charset == nullptr && !column.truncated()) {
        // The text is the value's own bytes, where they lie in the block.
        const ByteView bytes = column.value(block);
        return {ExportedAs::Text, reinterpret_cast<const char*>(bytes.data()), bytes.size(), true,
                block.size() - column.value_at};
    }
    if (type->role == TypeRole::Decoded && !column.truncated()) {
        char* end = type->decode(column.value(block), scratch, options);
        if (end != nullptr)
            return {ExportedAs::Text, scratch, static_cast<std::size_t>(end - scratch),
                    type->text_bytes && options.charset == nullptr};
    }
    return {ExportedAs::Hex};
}

std::size_t exported_template_columns(DumpContext& ctx)
{
    if (!ctx.settings.template_given) return 0;
    const ColumnTemplate& t = column_template(ctx);
    std::size_t count = 0;
    for (const ColumnType* type : t.types) count += type->role != TypeRole::Suppressed;
    return count;
}



void ExportPrinter::load_failure(DumpContext& ctx, LoadFailure failure) { print_load_failure(ctx.err, ctx, failure); }

void ExportPrinter::block(DumpContext& ctx, const BlockRecord& block)
{
    if (is_fatal(block.outcome))
        print_block_failure(ctx.err, block);
    else if (block.outcome == BlockOutcome::Listed)
        listed_block(ctx, block);
}

void ExportPrinter::directory_entry(DumpContext& ctx, const BlockRecord& block, const DirectoryEntry& entry)
{
    if (entry.problem == EntryProblem::BeyondBlock) print_entry_beyond_block(ctx.err, block);
}
