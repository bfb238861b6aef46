// What the export formats (JSON Lines, CSV) say about a row piece beyond
// its raw fields: the names of classes and layouts, flag letters, rowids as
// file, block and slot, the ITL slot a lock names, and each column's value
// as text, hexadecimal or NULL. Shared by both printers, so that they agree.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "trevanix.h"

// "row", "deleted row", ... for classes 1 to 17.
std::string_view class_name(int row_class);
// "freelist" when the data header follows the ITL slots, "assm" when it
// follows the segment space extension.
std::string_view layout_name(const DataHeader& data);
// Eight letters K C H D F L P N, '-' for a clear bit, and a zero byte.
void flag_letters(std::uint8_t flags, char (&out)[9]);

// A rowid's parts; its six bytes are stored big-endian.
struct RowidFields {
    std::uint32_t file;
    std::uint32_t block;
    std::uint32_t slot;
};
RowidFields rowid_fields(const std::uint8_t (&id)[block_format::kRowidSize]);
// "FILE.BLOCK.SLOT"; returns the end.
char* put_rowid(char* out, const RowidFields& id);

// The ITL slot the piece's lock byte names, or false when it names none
// (lock 0, or a number above the block's slot count).
bool locking_itl(const BlockRecord& block, const RowPieceRecord& piece, ItlSlot& slot);
// "0x%04x.%03x.%08x", "0x%08x.%04x.%02x", the four flag letters C B U T,
// and "0x%04x.%08x": the ITL fields as the database prints them.
char* put_itl_xid(char* out, const ItlSlot& slot);
char* put_itl_uba(char* out, const ItlSlot& slot);
char* put_itl_flags(char* out, const ItlSlot& slot);
char* put_itl_scn(char* out, const ItlSlot& slot);

// How a column is exported.
enum class ExportedAs : std::uint8_t {
    Left,  // a NOPRINT column: not exported
    Null,
    Text,  // the text the template type's decoder gives
    Hex,   // the bytes, when nothing decodes them
};
struct ExportedValue {
    ExportedAs as = ExportedAs::Null;
    const char* text = nullptr;  // Text: the decoded text
    std::size_t length = 0;
    bool raw_text = false;  // the text is the value's own bytes, which may not be UTF-8
    // How many bytes from `text` on may be read (at least `length`): the
    // rest of the block or of the scratch buffer it lies in.
    std::size_t readable = 0;
};
// The run's template, or nullptr when there is none or it cannot be read
// (every value is then hexadecimal).
const ColumnTemplate* export_template(DumpContext& ctx);
// Decodes column `index` of a piece through the template `t`, writing any
// text into `scratch`, which holds kExportScratch bytes. Values that run
// past the block end are Hex.
constexpr std::size_t kExportScratch = 4 * 65536 + 512;
ExportedValue export_value(const ColumnTemplate* t, const DecodeOptions& options, const BlockView& block,
                           std::size_t index, const ColumnRecord& column, char* scratch);
// The number of template lines that export a column (all but NOPRINT).
std::size_t exported_template_columns(DumpContext& ctx);

// Writers for claimed room, each returning the end of what it wrote: a
// literal (its length known to the compiler), a string, a signed number.
template <std::size_t N>
char* put_literal(char* out, const char (&text)[N])
{
    std::memcpy(out, text, N - 1);
    return out + N - 1;
}
char* put_string(char* out, const char* text);
inline char* put_string(char* out, std::string_view text)
{
    std::memcpy(out, text.data(), text.size());
    return out + text.size();
}
char* put_signed(char* out, std::int64_t value);

// The fields every record of a block begins with, written once per block:
// `start` up to the piece's file offset, `rest` after it.
struct BlockFields {
    std::string start;
    std::string rest;

    bool holds(const BlockRecord& block) const
    {
        return set_ && number_ == block.number && file_offset_ == block.file_offset;
    }
    void hold(const BlockRecord& block)
    {
        set_ = true;
        number_ = block.number;
        file_offset_ = block.file_offset;
    }

private:
    bool set_ = false;
    std::int32_t number_ = 0;
    std::uint64_t file_offset_ = 0;
};

// What the export printers share: messages go to the message sink, a block
// that ends the run says so there, and each printer writes its own records
// of listed blocks (-a C) and of row pieces.
class ExportPrinter : public RecordPrinter {
public:
    void load_failure(DumpContext& ctx, LoadFailure failure) override;
    void block(DumpContext& ctx, const BlockRecord& block) override;
    void directory_entry(DumpContext& ctx, const BlockRecord& block, const DirectoryEntry& entry) override;
    void run_end(DumpContext&, bool) override {}

protected:
    // A data block of the SCN listing.
    virtual void listed_block(DumpContext& ctx, const BlockRecord& block) = 0;
};

