// The --verify report: as text, one line per problem and a summary; as
// JSON Lines, one object per block with the outcome of every check.
#include <cstring>

#include "message_lines.h"
#include "trevanix.h"

namespace {

void print_hex16(OutputSink& out, std::uint32_t value)
{
    out.text("0x");
    out.hex(value, 4);
}

void print_hex32(OutputSink& out, std::uint32_t value)
{
    out.text("0x");
    out.hex(value, 8);
}

void print_block_start(OutputSink& out, std::int32_t number)
{
    out.text("Block ID: ");
    out.dec(number);
    out.text(", ");
}

void print_count(OutputSink& out, const char* label, std::uint64_t count)
{
    out.text(label);
    out.dec(static_cast<std::int64_t>(count));
    out.byte('\n');
}

class VerifyTextPrinter final : public RecordPrinter {
public:
    void run_start(DumpContext&) override {}
    void load_failure(DumpContext& ctx, LoadFailure failure) override { print_load_failure(ctx.out, ctx, failure); }
    void block(DumpContext&, const BlockRecord&) override {}
    void directory_entry(DumpContext&, const BlockRecord&, const DirectoryEntry&) override {}
    void piece(DumpContext&, const BlockRecord&, const RowPieceRecord&) override {}

    void block_checks(DumpContext& ctx, const BlockChecks& c) override
    {
        if (c.state != CheckedAs::Checked) return;
        OutputSink& out = ctx.out;
        if (!c.checksum_ok) {
            print_block_start(out, c.number);
            out.text("checksum: stored ");
            print_hex16(out, c.stored_checksum);
            out.text(", the block's bytes need ");
            print_hex16(out, c.expected_checksum);
            out.text(" (bytes changed since it was written)\n");
        }
        if (!c.tail_ok) {
            print_block_start(out, c.number);
            out.text("fractured: tail ");
            print_hex32(out, c.tail);
            out.text(", the header gives ");
            print_hex32(out, c.expected_tail);
            out.text(" (a write that reached only part of the block)\n");
        }
        if (!c.format_ok) {
            print_block_start(out, c.number);
            out.text("block size: the format byte ");
            out.text("0x");
            out.hex(c.header.format, 2);
            out.text(" gives ");
            out.dec(c.format_size);
            out.text(", the run reads ");
            out.dec(ctx.settings.block_size);
            out.byte('\n');
        }
        if (c.data_layer_checked && !c.data_header_ok) {
            print_block_start(out, c.number);
            out.text("data layer: no consistent data header after the ITL slots or the segment space extension\n");
        } else if (c.entries_outside > 0) {
            print_block_start(out, c.number);
            out.text("data layer: ");
            out.dec(c.entries_outside);
            out.text(c.entries_outside == 1 ? " row directory entry points" : " row directory entries point");
            out.text(" outside the block (the first in slot ");
            out.dec(c.first_outside_slot);
            out.text(")\n");
        }
    }

    void misplaced_run(DumpContext& ctx, const MisplacedRun& run) override
    {
        OutputSink& out = ctx.out;
        out.text("Block ID: ");
        out.dec(run.first);
        if (run.first == run.last) {
            out.text(", misplaced: its address names block ");
            out.dec(run.address_block);
            out.text(" of file ");
            out.dec(run.file);
            out.byte('\n');
            return;
        }
        out.text(" to ");
        out.dec(run.last);
        out.text(", misplaced alike: each block's address names the block ");
        out.dec(run.shift < 0 ? -run.shift : run.shift);
        out.text(run.shift < 0 ? " places before it" : " places after it");
        out.text(" (the first names block ");
        out.dec(run.address_block);
        out.text(" of file ");
        out.dec(run.file);
        out.text("), as in a copy of part of a file\n");
    }

    void cut_short_block(DumpContext& ctx, std::int32_t number, std::uint64_t bytes) override
    {
        OutputSink& out = ctx.out;
        print_block_start(out, number);
        out.text("cut short: the file ends ");
        out.dec(static_cast<std::int64_t>(bytes));
        out.text(" bytes into the block\n");
    }

    void run_end(DumpContext& ctx, bool) override
    {
        OutputSink& out = ctx.out;
        const VerifyTally& t = ctx.verify.tally;
        const RunTally& run = ctx.tally;
        // A file that could not be opened has nothing to sum up.
        if (run.load_failed && run.blocks_read == 0 && t.cut_short == 0) return;
        out.text("\nBlocks read: ");
        out.dec(static_cast<std::int64_t>(t.blocks));
        out.text(" (never used: ");
        out.dec(static_cast<std::int64_t>(t.never_used));
        out.text(", file header: ");
        out.dec(static_cast<std::int64_t>(t.file_headers));
        out.text(", checked: ");
        out.dec(static_cast<std::int64_t>(t.checked()));
        out.text(")\n");
        print_count(out, "Checksum mismatches: ", t.checksum_mismatches);
        print_count(out, "Fractured blocks: ", t.fractured);
        print_count(out, "Wrong block size: ", t.wrong_size);
        print_count(out, "Misplaced blocks: ", t.misplaced);
        print_count(out, "Damaged data layers: ", t.damaged_data_layers);
        print_count(out, "Blocks cut short: ", t.cut_short);
        if (t.scn_seen) {
            out.text("Highest SCN: ");
            out.dec(static_cast<std::int64_t>(t.highest_scn));
            out.text(" (block ");
            out.dec(t.highest_scn_block);
            out.text(")\n");
        }
        if (t.problems() > 0) {
            out.text("Problems found: ");
            out.dec(static_cast<std::int64_t>(t.problems()));
            out.text(".\n");
        }
        // Success is claimed only for a run that checked blocks and read to its end.
        if (run.load_failed) {
            out.text("Verification stopped at block ");
            out.dec(ctx.settings.block_number);
            out.text(": it could not be read.\n");
        } else if (t.checked() == 0) {
            out.text("No block was checked.\n");
        } else if (t.problems() == 0) {
            out.text("No problem found.\n");
        }
    }
};

const char* state_name(CheckedAs state)
{
    switch (state) {
    case CheckedAs::NeverUsed: return "never used";
    case CheckedAs::FileHeader: return "file header";
    case CheckedAs::Checked: break;
    }
    return "checked";
}

class VerifyJsonlPrinter final : public RecordPrinter {
public:
    void run_start(DumpContext&) override {}
    void load_failure(DumpContext& ctx, LoadFailure failure) override { print_load_failure(ctx.err, ctx, failure); }
    void block(DumpContext&, const BlockRecord&) override {}
    void directory_entry(DumpContext&, const BlockRecord&, const DirectoryEntry&) override {}
    void piece(DumpContext&, const BlockRecord&, const RowPieceRecord&) override {}
    void run_end(DumpContext& ctx, bool) override
    {
        if (!ctx.tally.load_failed && ctx.verify.tally.checked() == 0)
            ctx.err.text("trevanix: no block was checked\n");
    }

    void cut_short_block(DumpContext& ctx, std::int32_t number, std::uint64_t bytes) override
    {
        OutputSink& out = ctx.out;
        out.text("{\"block\": ");
        out.dec(number);
        out.text(", \"state\": \"cut short\", \"bytes\": ");
        out.dec(static_cast<std::int64_t>(bytes));
        out.text(", \"sound\": false}\n");
    }

    void block_checks(DumpContext& ctx, const BlockChecks& c) override
    {
        OutputSink& out = ctx.out;
        out.text("{\"block\": ");
        out.dec(c.number);
        out.text(", \"state\": \"");
        out.text(state_name(c.state));
        out.byte('"');
        if (c.state == CheckedAs::Checked) {
            out.text(", \"block_type\": ");
            out.dec(c.header.block_type);
            out.text(", \"object_id\": ");
            out.dec(c.header.object_id);
            out.text(", \"scn\": ");
            out.dec(static_cast<std::int64_t>(c.header.scn()));
            out.text(", \"checksum\": \"");
            out.text(!c.has_checksum ? "absent" : c.checksum_ok ? "ok" : "mismatch");
            out.text("\", \"stored_checksum\": ");
            out.dec(c.header.checksum);
            out.text(", \"expected_checksum\": ");
            out.dec(c.has_checksum ? c.expected_checksum : c.header.checksum);
            out.text(", \"tail\": \"");
            out.text(c.tail_ok ? "ok" : "fractured");
            out.text("\", \"tail_value\": ");
            out.dec(c.tail);
            out.text(", \"expected_tail\": ");
            out.dec(c.expected_tail);
            out.text(", \"format\": \"");
            out.text(c.format_size == 0 ? "none" : c.format_ok ? "ok" : "wrong size");
            out.text("\", \"format_size\": ");
            out.dec(c.format_size);
            out.text(", \"address\": \"");
            out.text(c.address_ok ? "ok" : "misplaced");
            out.text("\", \"address_file\": ");
            out.dec(c.address_file);
            out.text(", \"address_block\": ");
            out.dec(c.address_block);
            out.text(", \"data_layer\": \"");
            out.text(!c.data_layer_checked ? "not a data block" : c.data_layer_ok() ? "ok" : "damaged");
            out.text("\", \"data_header\": ");
            out.text(c.data_header_ok ? "true" : "false");
            out.text(", \"entries_outside\": ");
            out.dec(c.entries_outside);
        }
        out.text(", \"sound\": ");
        out.text(c.sound() ? "true" : "false");
        out.text("}\n");
    }
};

}  // namespace

std::unique_ptr<RecordPrinter> make_verify_text_printer()
{
    return std::make_unique<VerifyTextPrinter>();
}

std::unique_ptr<RecordPrinter> make_verify_jsonl_printer()
{
    return std::make_unique<VerifyJsonlPrinter>();
}
