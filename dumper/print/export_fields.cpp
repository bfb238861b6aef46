#include "print/export_fields.h"

#include <array>
#include <cstring>

#include "format/block_headers.h"
#include "print/message_lines.h"

using namespace block_format;

namespace {

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

std::string_view flag_letters(std::uint8_t flags) { return {kFlagTexts[flags].letters, 8}; }

bool locking_itl(const DecodedBlock& block, const RowPieceRecord& piece, ItlSlot& slot)
{
    if (piece.lock == 0 || piece.lock > block.header.itl_count) return false;
    slot = decode_itl_slot(block.view(), piece.lock);
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

void export_load_failure(const PrintContext& ctx, const LoadFailureRecord& failure)
{
    print_load_failure(ctx.err, failure);
}

void export_block_message(const PrintContext& ctx, const DecodedBlock& block)
{
    if (is_fatal(block.outcome)) print_block_failure(ctx.err, block);
    if (block.outcome == BlockOutcome::Walked) print_block_content(ctx.err, block, block_content(block.view()));
}

void export_entry_message(const PrintContext& ctx, const DecodedBlock& block, const DirectoryEntry& entry)
{
    if (entry.problem == EntryProblem::BeyondBlock) print_entry_beyond_block(ctx.err, block);
}

void ExportPrinter::load_failure(const LoadFailureRecord& failure) { export_load_failure(ctx_, failure); }

void ExportPrinter::block(const DecodedBlock& block)
{
    export_block_message(ctx_, block);
    if (block.outcome == BlockOutcome::Listed) listed_block(block);
}

void ExportPrinter::directory_entry(const DecodedBlock& block, const DirectoryEntry& entry)
{
    export_entry_message(ctx_, block, entry);
}
