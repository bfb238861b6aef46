// The text printer: the dumper's own output. With -g the structural lines
// of every block and row piece, with -v a location line before each shown
// piece, and always the columns of the shown pieces, as hexadecimal bytes
// or as typed values through the template.
#include <cstring>

#include "format/block_format.h"
#include "format/piece_classes.h"
#include "print/message_lines.h"
#include "print/printer.h"

using namespace block_format;

namespace {

const char* const kBlockTypeNames[12] = {
    "",
    "Undo segment header",
    "Undo Data Block",
    "Save Undo Header",
    "Save Undo Data Block",
    "Data Segment Header",
    "KTB Managed Data Block",
    "Temp Table Block",
    "Sort Key",
    "Sort Run",
    "Segment Free List Block",
    "Data File Header",
};

constexpr char kWarningStart[] = "\n\n>>>>>>>> WARNING WARNING WARNING >>>>>>>>\n\n";
constexpr char kWarningEnd[] = "<<<<<<<< WARNING WARNING WARNING <<<<<<<<\n\n";

// ---------------------------------------------------------------------------
// Blocks.

void print_block_type(OutputSink& out, std::uint8_t type)
{
    if (type >= sizeof kBlockTypeNames / sizeof kBlockTypeNames[0]) {
        out.text("Unknown block type...\n");
        return;
    }
    out.text("Block type: ");
    out.text(kBlockTypeNames[type]);
    out.text(" (");
    out.dec(type);
    out.text(")\n");
}

void print_layer_type(OutputSink& out, std::uint8_t layer)
{
    if (layer == kLayerData) {
        out.text("Type: DATA\n");
    } else if (layer == kLayerIndex) {
        out.text("Type: INDEX\n");
    } else {
        out.text("Type: Unknown: ");
        out.dec(layer);
        out.byte('\n');
    }
}

// Object IDs and SCNs print unsigned, so values from 2^31 up are not negative.
void print_scn_line(OutputSink& out, const DecodedBlock& block)
{
    out.text("Block ID: ");
    out.dec(block.block.number);
    out.text(", Object ID: ");
    out.dec(block.header.object_id);
    out.text(", SCN: ");
    out.dec(block.header.scn_base);
    out.byte('\n');
}

void print_data_header(OutputSink& out, const DataHeader& h)
{
    out.text("offset DHS: ");
    out.hex(h.offset, 2);
    out.text(" \nNumber of table directories: ");
    out.dec(h.table_count);
    out.text("\nNumber of rows: ");
    out.dec(h.row_count);
    out.text("\nFreespace offset start: ");
    out.hex(h.free_space_start);
    out.text("\nFreespace offset end: ");
    out.hex(h.free_space_end);
    out.byte('\n');
}

void print_second_row_count(OutputSink& out, const DataHeader& h)
{
    out.text("Number of rows 2: ");
    out.dec(h.second_row_count);
    out.byte('\n');
    if (h.second_row_count == h.row_count) return;
    out.text(kWarningStart);
    out.text("Number of rows from table directory structure\n"
             "does not match the number of rows from the\n"
             "data header structure!\n\n");
    out.text(kWarningEnd);
}

// The headers of a data block that is walked (or fails on the way), each
// line as the decoding reached it.
void print_data_layer(OutputSink& out, bool verbose, const DecodedBlock& block)
{
    const DataHeader& h = block.data;
    if (verbose) {
        out.text("ITL Slots: ");
        out.dec(block.header.itl_count);
        out.byte('\n');
    }
    if (block.outcome == BlockOutcome::DataHeaderOutOfBounds) {
        out.text(block_failure_message(block.outcome));
        return;
    }
    if (verbose) {
        if (h.extended) out.text("Data header follows the 8-byte segment space extension.\n");
        print_data_header(out, h);
    }
    if (block.outcome == BlockOutcome::TableDirectoryOutOfBounds) {
        out.text(block_failure_message(block.outcome));
        return;
    }
    if (verbose) print_second_row_count(out, h);
    if (block.outcome == BlockOutcome::RowDirectoryOutOfBounds) out.text(block_failure_message(block.outcome));
}

// ---------------------------------------------------------------------------
// Row pieces.

void print_rowid_line(OutputSink& out, const char* label, const std::uint8_t (&id)[kRowidSize])
{
    out.text(label);
    out.rowid(id);
    out.byte('\n');
}

// Where -g says the walk found a piece, and the piece's header.
constexpr std::size_t kPieceHeaderRoom = 128;

char* put_piece_header(char* at, const DecodedBlock& block, const RowPieceRecord& p)
{
    if (p.walk == Walk::Directory) {
        at = put_text(at, "Offset: ");
        at = put_hex_number(at, p.offset, 2);
        at = put_text(at, " (REAL: ");
        at = put_hex_number(at, p.row_offset, 2);
        at = put_text(at, ")\nRow header: ");
        at = put_hex_number(at, p.flags, 2);
        *at++ = ' ';
        at = put_decimal(at, p.offset);
        *at++ = '\n';
    } else {
        at = put_text(at, "Block ID: ");
        at = put_signed(at, block.block.number);
        at = put_text(at, ", Offset: ");
        at = put_hex_number(at, p.offset);
        *at++ = '\n';
    }
    at = put_text(at, "Row flags: ");
    at = put_hex_number(at, p.flags, 2);
    at = put_text(at, "\nLock status: ");
    at = put_hex_number(at, p.lock, 2);
    at = put_text(at, "\nColumns: ");
    at = put_hex_number(at, p.column_count, 2);
    return put_text(at, "\n\n");
}

// The block number is the low half of the rowid's block field, as the
// database's own block dumps show it.
void print_next_piece(OutputSink& out, NextPieceLine kind, const std::uint8_t (&nrid)[kRowidSize])
{
    if (kind == NextPieceLine::None) return;
    out.text("Block ID that contains the next piece: ");
    out.dec(nrid[2] * 256 + nrid[3]);
    if (kind == NextPieceLine::BlockAndRow) {
        out.text(", row ");
        out.dec(nrid[4] * 256 + nrid[5]);
    }
    out.byte('\n');
}

void print_piece_class(OutputSink& out, const RowPieceRecord& p)
{
    const PieceClass& lines = kPieceClasses[p.row_class];
    if (lines.text_line == nullptr) return;
    out.text(lines.text_line);
    if (p.row_class == kClusterKeyClass) {
        out.text("curc: ");
        out.hex(p.curc, 4);
        out.text("\ncomc: ");
        out.hex(p.comc, 4);
        out.byte('\n');
        print_rowid_line(out, "Previous Key: ", p.previous_key);
        print_rowid_line(out, "Next Key: ", p.next_key);
    }
    if (p.has_hrid) print_rowid_line(out, "HRID: ", p.hrid);
    if (p.has_nrid) {
        print_rowid_line(out, "NRID: ", p.nrid);
        print_next_piece(out, lines.next_piece, p.nrid);
    }
}

// The longest location line: its labels, a block number, a row offset in
// decimal and hexadecimal, a 64-bit file offset and the row header.
constexpr std::size_t kLocationRoom = 128;

char* put_location(char* at, const DecodedBlock& block, const RowPieceRecord& p)
{
    at = put_text(at, "Block ID = ");
    at = put_signed(at, block.block.number);
    at = put_text(at, ", Row Offset = ");
    at = put_decimal(at, p.row_offset);
    at = put_text(at, " [");
    at = put_hex_number(at, p.row_offset);
    at = put_text(at, "], File offset = ");
    // In 64 bits: offsets past 2 GiB and 4 GiB print as they are.
    at = put_signed(at, static_cast<std::int64_t>(piece_file_offset(block, p)));
    at = put_text(at, ", Row Header = [");
    at = put_hex_number(at, p.flags, 2);
    *at++ = ' ';
    at = put_hex_number(at, p.lock, 2);
    *at++ = ' ';
    at = put_hex_number(at, p.column_count, 2);
    return put_text(at, "]\n");
}

void print_hex_column(OutputSink& out, const BlockView& block, const ColumnRecord& c)
{
    out.hex_column(c.announced, block.bytes, c.value_at, c.size);
}

// The rule lines that open each shown piece.
constexpr char kRule[] = "\n----------------------------------------------------------\n";
constexpr char kDeletedRule[] = "\n+---------------------------------------------------------\n";
constexpr std::size_t kRuleSize = sizeof kRule - 1;
static_assert(sizeof kDeletedRule - 1 == kRuleSize);

// The rule line, the location line when it is asked for, and the hex dump
// of every column of a piece: the most they can print is claimed from the
// sink once.
void print_columns_in_hex(OutputSink& out, const char* rule, const DecodedBlock& block, const RowPieceRecord& p,
                          std::span<const ColumnRecord> columns, bool show_location)
{
    // Values lie in the block and pieces have at most 255 columns.
    static_assert(kRuleSize + kLocationRoom + 3 * 32768 + 24 * kMaxColumns + OutputSink::kHexSpare <=
                  OutputSink::kCapacity);
    char* at = out.claim(kRuleSize + kLocationRoom + 3 * std::size_t{p.value_bytes} +
                         24 * std::size_t{p.columns_found} + OutputSink::kHexSpare);
    at = put_text(at, std::string_view(rule, kRuleSize));
    if (show_location) at = put_location(at, block, p);
    out.commit(OutputSink::put_hex_lines(at, columns.data(), columns.size(), block.view().bytes));
}

// Prints a value through its template type, followed by the separator;
// false when the type does not print it, and the value is then dumped in
// hexadecimal. A NULL of a decoded type is the separator alone.
[[gnu::always_inline]] inline bool render_column(OutputSink& out, const ColumnType& type, const BlockView& block,
                                                 const ColumnRecord& column, char separator,
                                                 const DecodeOptions& options)
{
    if (type.role != TypeRole::Decoded) return type.role == TypeRole::Suppressed;
    if (type.text_bytes && options.charset == nullptr) {
        // The text is the value's own bytes: copied straight from the block.
        char* start = out.claim(column.size + OutputSink::kCopySpare + 1);
        char* end = OutputSink::put_block_bytes(start, block.bytes, column.value_at, column.size);
        *end++ = separator;
        out.commit(end);
        return true;
    }
    char* start = out.claim(type.text_room(column.size) + 1);
    char* end = column.is_null() ? start : type.decode(column.value(block), start, options);
    if (end == nullptr) return false;
    *end++ = separator;
    out.commit(end);
    return true;
}

void print_typed_columns(const PrintContext& ctx, const BlockView& block, std::span<const ColumnRecord> columns)
{
    OutputSink& out = ctx.out;
    const ColumnTemplate* t = ctx.column_template;
    if (t == nullptr) {
        // Every value the template would have typed says so with -g, and is
        // then dumped in hexadecimal; a NULL shows nothing more.
        for (const ColumnRecord& column : columns) {
            if (!column.truncated() && ctx.options.verbose) out.text("Failed to open column template file.\n");
            if (!column.is_null()) print_hex_column(out, block, column);
        }
        return;
    }
    const char separator = ctx.options.separator;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const ColumnRecord& column = columns[i];
        const ColumnType& type = t->type(i);
        if (column.is_null()) {
            render_column(out, type, block, column, separator, ctx.decode);  // a NULL whose type prints nothing shows nothing
        } else if (column.truncated() || !render_column(out, type, block, column, separator, ctx.decode)) {
            print_hex_column(out, block, column);
        }
    }
}

void print_columns(const PrintContext& ctx, const DecodedBlock& block, const RowPieceRecord& p,
                   std::span<const ColumnRecord> columns)
{
    // Read before the first byte is written: the output's stores may alias
    // anything reached by reference.
    OutputSink& out = ctx.out;
    const bool show_location = ctx.options.show_location;
    const bool typed = ctx.template_given;
    const char* const rule = ctx.options.deleted_only ? kDeletedRule : kRule;
    if (!typed) {
        print_columns_in_hex(out, rule, block, p, columns, show_location);
        return;
    }
    char* at = out.claim(kRuleSize + kLocationRoom);
    at = put_text(at, std::string_view(rule, kRuleSize));
    if (show_location) at = put_location(at, block, p);
    out.commit(at);
    print_typed_columns(ctx, block.view(), columns);
}

// One line for what --block-size auto and --byte-order auto found.
void print_layout_found(OutputSink& out, const LayoutFound& found)
{
    if (!found.size_found && !found.order_found) return;
    if (found.size_found) {
        out.text("Block size: ");
        out.dec(found.block_size);
        out.text(found.size_from == LayoutFound::FileHeader ? ", found from the data file header in block 1"
                                                            : ", found from the format byte of block 0");
    }
    if (found.order_found) {
        out.text(found.size_found ? "; byte order: " : "Byte order: ");
        out.text(found.order == ByteOrder::Little ? "little-endian" : "big-endian");
        out.text(", found from the tail of block ");
        out.dec(found.order_block);
    }
    out.text(".\n");
}

class TextPrinter final : public DumpPrinter {
public:
    explicit TextPrinter(const PrintContext& context) : ctx_(context) {}

    void run_start() override
    {
        if (ctx_.options.verbose) print_layout_found(ctx_.out, ctx_.layout_found);
    }

    void load_failure(const LoadFailureRecord& failure) override { print_load_failure(ctx_.out, failure); }

    void block(const DecodedBlock& block) override
    {
        OutputSink& out = ctx_.out;
        const bool verbose = ctx_.options.verbose;
        if (verbose) {
            print_block_type(out, block.header.block_type);
            print_layer_type(out, block.header.layer_type);
        }
        if (block.outcome == BlockOutcome::NotData) return;
        if (block.outcome == BlockOutcome::Listed) {
            print_scn_line(out, block);
            return;
        }
        print_data_layer(out, verbose, block);
    }

    void directory_entry(const DecodedBlock&, const DirectoryEntry& entry) override
    {
        if (entry.problem == EntryProblem::BeyondBlock) {
            ctx_.out.text(kEntryBeyondBlock);
        } else if (ctx_.options.verbose) {
            ctx_.out.text(kWarningStart);
            ctx_.out.text("Row offset is out of bounds\n\n");
            ctx_.out.text(kWarningEnd);
        }
    }

    void piece(const DecodedBlock& block, const RowPieceRecord& p, std::span<const ColumnRecord> columns) override
    {
        if (!ctx_.options.verbose) {
            if (is_shown(ctx_.options, p)) print_columns(ctx_, block, p, columns);
            return;
        }
        verbose_piece(block, p, columns);
    }

    void run_end(bool completed) override
    {
        if (completed) ctx_.out.text("\n\nCompleted.\n\n");
    }

private:
    // A piece with -g: where the walk found it, its header, its class, and
    // its columns when it is shown.
    void verbose_piece(const DecodedBlock& block, const RowPieceRecord& p, std::span<const ColumnRecord> columns)
    {
        OutputSink& out = ctx_.out;
        out.commit(put_piece_header(out.claim(kPieceHeaderRoom), block, p));
        if (!p.no_row) {
            print_piece_class(out, p);
            if (is_shown(ctx_.options, p)) print_columns(ctx_, block, p, columns);
            if (p.walked && !p.complete) out.text("Row piece runs past the end of the block.\n");
        }
        if (p.walk == Walk::Directory) out.byte('\n');
    }

    const PrintContext& ctx_;
};

}  // namespace

std::unique_ptr<DumpPrinter> make_text_printer(const PrintContext& context)
{
    return std::make_unique<TextPrinter>(context);
}
