// The records of the export formats (JSON Lines, CSV): which fields a row
// piece's record holds and in which order, written once for both formats,
// and what each field says (flag letters, class names, rowids, the ITL slot
// a lock names). Each printer only spells the fields: a Spelling type gives
// the shape of a name, a number, a text, a rowid or an ITL slot.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "format/piece_classes.h"
#include "format/rowid.h"
#include "print/printer.h"
#include "values/text_writers.h"

// The fields of a row piece's record, in order; the columns follow them.
enum class PieceField : std::uint8_t {
    Block, File, FileOffset, ObjectId, Scn, Layout, Walk, Slot, RowOffset,
    Flags, Class, ClassName, Deleted, Lock, Itl, Hrid, Nrid, Complete,
};
struct NamedField {
    PieceField field;
    std::string_view name;
};
inline constexpr NamedField kPieceFields[] = {
    {PieceField::Block, "block"},         {PieceField::File, "file"},
    {PieceField::FileOffset, "file_offset"}, {PieceField::ObjectId, "object_id"},
    {PieceField::Scn, "scn"},             {PieceField::Layout, "layout"},
    {PieceField::Walk, "walk"},           {PieceField::Slot, "slot"},
    {PieceField::RowOffset, "row_offset"}, {PieceField::Flags, "flags"},
    {PieceField::Class, "class"},         {PieceField::ClassName, "class_name"},
    {PieceField::Deleted, "deleted"},     {PieceField::Lock, "lock"},
    {PieceField::Itl, "itl"},             {PieceField::Hrid, "hrid"},
    {PieceField::Nrid, "nrid"},           {PieceField::Complete, "complete"},
};

// The fields of a whole row's record (--rows), in order; the columns follow.
enum class RowField : std::uint8_t {
    Rowid, ObjectId, ClusterTable, Block, File, Slot, Scn, Deleted, Pieces, Chain, Complete,
};
struct NamedRowField {
    RowField field;
    std::string_view name;
};
inline constexpr NamedRowField kRowFields[] = {
    {RowField::Rowid, "rowid"}, {RowField::ObjectId, "object_id"}, {RowField::ClusterTable, "cluster_table"},
    {RowField::Block, "block"}, {RowField::File, "file"},           {RowField::Slot, "slot"},
    {RowField::Scn, "scn"},     {RowField::Deleted, "deleted"},     {RowField::Pieces, "pieces"},
    {RowField::Chain, "chain"}, {RowField::Complete, "complete"},
};

// The fields of a block's record in the SCN listing (-a C).
enum class ListedField : std::uint8_t { Block, File, ObjectId, Scn, BlockType, Layout };
struct NamedListedField {
    ListedField field;
    std::string_view name;
};
inline constexpr NamedListedField kListedFields[] = {
    {ListedField::Block, "block"}, {ListedField::File, "file"},  {ListedField::ObjectId, "object_id"},
    {ListedField::Scn, "scn"},     {ListedField::BlockType, "block_type"}, {ListedField::Layout, "layout"},
};

// The most the fields of one record write, columns aside.
constexpr std::size_t kFieldsRoom = 1024;

// "freelist" when the data header follows the ITL slots, "assm" when it
// follows the segment space extension.
inline std::string_view layout_name(const DataHeader& data) { return data.extended ? "assm" : "freelist"; }
// Eight letters K C H D F L P N, '-' for a clear bit.
std::string_view flag_letters(std::uint8_t flags);
inline std::string_view class_name(int row_class)
{
    return row_class >= 1 && row_class <= kPieceClassCount ? kPieceClasses[row_class].name : "unknown";
}

// The ITL slot the piece's lock byte names, or false when it names none
// (lock 0, or a number above the block's slot count).
bool locking_itl(const DecodedBlock& block, const RowPieceRecord& piece, ItlSlot& slot);
// "0x%04x.%03x.%08x", "0x%08x.%04x.%02x", the four flag letters C B U T,
// and "0x%04x.%08x": the ITL fields as the database prints them.
char* put_itl_xid(char* out, const ItlSlot& slot);
char* put_itl_uba(char* out, const ItlSlot& slot);
char* put_itl_flags(char* out, const ItlSlot& slot);
char* put_itl_scn(char* out, const ItlSlot& slot);

// A literal, its length known to the compiler.
template <std::size_t N>
char* put_literal(char* out, const char (&text)[N])
{
    std::memcpy(out, text, N - 1);
    return out + N - 1;
}

// Writes the fields of a piece's record at `out` (kFieldsRoom bytes), each
// as `Spelling` spells it, and returns the end.
template <class Spelling>
char* put_piece_fields(char* out, const DecodedBlock& block, const RowPieceRecord& p)
{
    bool first = true;
    for (const NamedField& f : kPieceFields) {
        out = Spelling::name(out, f.name, first);
        first = false;
        switch (f.field) {
        case PieceField::Block: out = put_signed(out, block.block.number); break;
        case PieceField::File: out = Spelling::file(out, block.block.file); break;
        case PieceField::FileOffset: out = put_decimal(out, piece_file_offset(block, p)); break;
        case PieceField::ObjectId: out = put_decimal(out, block.header.object_id); break;
        case PieceField::Scn: out = put_decimal(out, block.header.scn()); break;
        case PieceField::Layout: out = Spelling::text(out, layout_name(block.data)); break;
        case PieceField::Walk: out = Spelling::text(out, p.walk == Walk::Directory ? "directory" : "heap"); break;
        case PieceField::Slot:
            out = p.slot < 0 ? Spelling::null(out) : put_decimal(out, static_cast<std::uint32_t>(p.slot));
            break;
        case PieceField::RowOffset: out = put_decimal(out, p.row_offset); break;
        case PieceField::Flags: out = Spelling::text(out, flag_letters(p.flags)); break;
        case PieceField::Class: out = put_decimal(out, p.row_class); break;
        case PieceField::ClassName: out = Spelling::text(out, class_name(p.row_class)); break;
        case PieceField::Deleted: out = Spelling::boolean(out, p.deleted()); break;
        case PieceField::Lock: out = put_decimal(out, p.lock); break;
        case PieceField::Itl: out = Spelling::itl(out, block, p); break;
        case PieceField::Hrid: out = Spelling::rowid(out, p.has_hrid, read_rowid(p.hrid, block.block.layout)); break;
        case PieceField::Nrid: out = Spelling::rowid(out, p.has_nrid, read_rowid(p.nrid, block.block.layout)); break;
        case PieceField::Complete: out = Spelling::boolean(out, p.complete); break;
        }
    }
    return out;
}

// The same for a block of the SCN listing.
template <class Spelling>
char* put_listed_fields(char* out, const DecodedBlock& block)
{
    bool first = true;
    for (const NamedListedField& f : kListedFields) {
        out = Spelling::name(out, f.name, first);
        first = false;
        switch (f.field) {
        case ListedField::Block: out = put_signed(out, block.block.number); break;
        case ListedField::File: out = Spelling::file(out, block.block.file); break;
        case ListedField::ObjectId: out = put_decimal(out, block.header.object_id); break;
        case ListedField::Scn: out = put_decimal(out, block.header.scn()); break;
        case ListedField::BlockType: out = put_decimal(out, block.header.block_type); break;
        case ListedField::Layout: out = Spelling::text(out, layout_name(block.data)); break;
        }
    }
    return out;
}

// Writes the fields of a row's record to `sink`, each as `Spelling`
// spells it; a row's pieces may take many claims of room.
template <class Spelling>
void put_row_fields(OutputSink& sink, const Row& row)
{
    constexpr std::size_t kFieldRoom = 64;
    bool first = true;
    for (const NamedRowField& f : kRowFields) {
        char* out = sink.claim(kFieldRoom + 2 * kRowidTextSize);
        out = Spelling::name(out, f.name, first);
        first = false;
        switch (f.field) {
        case RowField::Rowid: {
            if (!row.has_rowid()) {
                out = Spelling::null(out);
                break;
            }
            char text[kRowidTextSize];
            put_rowid_text(text, row.object_id, row.head.rowid());
            out = Spelling::text(out, std::string_view(text, kRowidTextSize));
            break;
        }
        case RowField::ObjectId: out = put_decimal(out, row.object_id); break;
        case RowField::ClusterTable:
            out = row.cluster_table ? put_decimal(out, *row.cluster_table) : Spelling::null(out);
            break;
        case RowField::Block: out = put_signed(out, row.head.block); break;
        case RowField::File: out = Spelling::file(out, row.head.file); break;
        case RowField::Slot:
            out = row.head.slot < 0 ? Spelling::null(out) : put_decimal(out, static_cast<std::uint32_t>(row.head.slot));
            break;
        case RowField::Scn: out = put_decimal(out, row.scn); break;
        case RowField::Deleted: out = Spelling::boolean(out, row.deleted); break;
        case RowField::Pieces:
            sink.commit(out);
            Spelling::pieces(sink, row.pieces);
            continue;
        case RowField::Chain: out = Spelling::text(out, chain_name(row.chain)); break;
        case RowField::Complete: out = Spelling::boolean(out, row.complete()); break;
        }
        sink.commit(out);
    }
}

// The messages of the export formats, on the message sink: why a block
// could not be read, a block that ends the run, a row directory that runs
// past its block.
void export_load_failure(const PrintContext& ctx, const LoadFailureRecord& failure);
void export_block_message(const PrintContext& ctx, const DecodedBlock& block);
void export_entry_message(const PrintContext& ctx, const DecodedBlock& block, const DirectoryEntry& entry);

// What the export printers share: messages go to the message sink, a block
// that ends the run says so there, and each printer writes its own records
// of listed blocks (-a C) and of row pieces.
class ExportPrinter : public DumpPrinter {
public:
    explicit ExportPrinter(const PrintContext& context) : ctx_(context) {}
    void load_failure(const LoadFailureRecord& failure) override;
    void block(const DecodedBlock& block) override;
    void directory_entry(const DecodedBlock& block, const DirectoryEntry& entry) override;
    void run_end(bool) override {}

protected:
    // A data block of the SCN listing.
    virtual void listed_block(const DecodedBlock& block) = 0;
    const PrintContext& ctx_;
};

// What the export formats' row printers share: their messages go to
// standard error, and a block or a run's end writes nothing of its own.
class ExportRowPrinter : public RowPrinter {
public:
    explicit ExportRowPrinter(const PrintContext& context) : ctx_(context) {}
    void load_failure(const LoadFailureRecord& failure) override { export_load_failure(ctx_, failure); }
    void block(const DecodedBlock& block) override { export_block_message(ctx_, block); }
    void directory_entry(const DecodedBlock& block, const DirectoryEntry& entry) override
    {
        export_entry_message(ctx_, block, entry);
    }
    void run_end(bool) override {}

protected:
    const PrintContext& ctx_;
};
