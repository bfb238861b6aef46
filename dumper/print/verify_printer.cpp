// The --verify report: as text, one line per problem and a summary; as
// JSON Lines, one object per block with the outcome of every check.
#include <cstring>

#include "print/message_lines.h"
#include "print/printer.h"
#include "values/escaped_text.h"

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

class VerifyTextPrinter final : public VerifyPrinter {
public:
    VerifyTextPrinter(const PrintContext& context, std::uint32_t block_size) : ctx_(context), block_size_(block_size) {}

    void load_failure(const LoadFailureRecord& failure) override { print_load_failure(ctx_.out, failure); }

    void file_start(const std::string& path, std::uint32_t file) override
    {
        ctx_.out.text("File: ");
        ctx_.out.text(path);
        if (file != 0) {
            ctx_.out.text(" (relative file ");
            ctx_.out.dec(file);
            ctx_.out.byte(')');
        }
        ctx_.out.byte('\n');
    }

    void block_checks(const BlockChecks& c, std::uint32_t) override
    {
        if (c.state != CheckedAs::Checked) return;
        OutputSink& out = ctx_.out;
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
            out.dec(block_size_);
            out.byte('\n');
        }
        if (c.content != BlockContent::Rows) {
            print_block_start(out, c.number);
            out.text(content_description(c.content));
            out.text(": its rows are not decoded\n");
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

    void misplaced_run(const MisplacedRun& run) override
    {
        OutputSink& out = ctx_.out;
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

    void cut_short_block(std::int32_t number, std::uint32_t, std::uint64_t bytes) override
    {
        OutputSink& out = ctx_.out;
        print_block_start(out, number);
        out.text("cut short: the file ends ");
        out.dec(static_cast<std::int64_t>(bytes));
        out.text(" bytes into the block\n");
    }

    void lost_blocks(const std::string& table, std::uint64_t blocks, const std::string& places) override
    {
        OutputSink& out = ctx_.out;
        out.text("Table ");
        out.text(terminal_text(table));
        out.text(": ");
        out.dec(static_cast<std::int64_t>(blocks));
        out.text(blocks == 1 ? " block" : " blocks");
        out.text(" of its segments ");
        out.text(blocks == 1 ? "holds" : "hold");
        out.text(" none of its rows: ");
        out.text(terminal_text(places));
        out.byte('\n');
    }

    void run_end(const VerifyTally& t, const VerifyEnd& end) override
    {
        OutputSink& out = ctx_.out;
        // A file that could not be opened has nothing to sum up.
        if (!end.opened || (end.read_failed && t.blocks == 0 && t.cut_short == 0)) return;
        out.text("\nBlocks read: ");
        out.dec(static_cast<std::int64_t>(t.blocks));
        out.text(" (never used: ");
        out.dec(static_cast<std::int64_t>(t.never_used));
        out.text(", file header: ");
        out.dec(static_cast<std::int64_t>(t.file_headers));
        out.text(", checked: ");
        out.dec(static_cast<std::int64_t>(t.checked()));
        out.text(")\n");
        // Unformatted space is zeros: no problem by itself.
        print_count(out, "Blocks never written (all zeros): ", t.never_used);
        print_count(out, "Checksum mismatches: ", t.checksum_mismatches);
        print_count(out, "Fractured blocks: ", t.fractured);
        print_count(out, "Wrong block size: ", t.wrong_size);
        print_count(out, "Misplaced blocks: ", t.misplaced);
        print_count(out, "Damaged data layers: ", t.damaged_data_layers);
        print_count(out, "Blocks cut short: ", t.cut_short);
        if (t.not_decoded() > 0) {
            out.text("Blocks not decoded: ");
            out.dec(static_cast<std::int64_t>(t.not_decoded()));
            out.text(" (compressed: ");
            out.dec(static_cast<std::int64_t>(t.compressed));
            out.text(", columnar units: ");
            out.dec(static_cast<std::int64_t>(t.columnar_units));
            out.text(", probably encrypted: ");
            out.dec(static_cast<std::int64_t>(t.encrypted));
            out.text(")\n");
        }
        if (t.segments_accounted) print_count(out, "Lost blocks of tables: ", t.lost_blocks);
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
        if (end.read_failed) {
            out.text("Verification stopped at block ");
            out.dec(end.stopped_at);
            out.text(": it could not be read.\n");
        } else if (t.checked() == 0) {
            out.text("No block was checked.\n");
        } else if (t.problems() == 0) {
            out.text("No problem found.\n");
        }
    }

private:
    const PrintContext& ctx_;
    std::uint32_t block_size_;
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

class VerifyJsonlPrinter final : public VerifyPrinter {
public:
    explicit VerifyJsonlPrinter(const PrintContext& context) : ctx_(context) {}

    void load_failure(const LoadFailureRecord& failure) override { print_load_failure(ctx_.err, failure); }
    void file_start(const std::string&, std::uint32_t) override {}
    void misplaced_run(const MisplacedRun&) override {}

    void run_end(const VerifyTally& t, const VerifyEnd& end) override
    {
        if (end.opened && !end.read_failed && t.checked() == 0) ctx_.err.text("trevanix: no block was checked\n");
    }

    void lost_blocks(const std::string& table, std::uint64_t blocks, const std::string& places) override
    {
        OutputSink& out = ctx_.out;
        out.text("{\"table\": ");
        out.text(json_string(table));
        out.text(", \"lost_blocks\": ");
        out.dec(static_cast<std::int64_t>(blocks));
        out.text(", \"places\": ");
        out.text(json_string(places));
        out.text(", \"sound\": false}\n");
    }

    void cut_short_block(std::int32_t number, std::uint32_t file, std::uint64_t bytes) override
    {
        OutputSink& out = ctx_.out;
        out.text("{\"block\": ");
        out.dec(number);
        print_file(out, file);
        out.text(", \"state\": \"cut short\", \"bytes\": ");
        out.dec(static_cast<std::int64_t>(bytes));
        out.text(", \"sound\": false}\n");
    }

    void block_checks(const BlockChecks& c, std::uint32_t file) override
    {
        OutputSink& out = ctx_.out;
        out.text("{\"block\": ");
        out.dec(c.number);
        print_file(out, file);
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
            out.text(c.content != BlockContent::Rows ? content_name(c.content)
                     : !c.data_layer_checked        ? "not a data block"
                     : c.data_layer_ok()            ? "ok"
                                                    : "damaged");
            out.text("\", \"data_header\": ");
            out.text(c.data_header_ok ? "true" : "false");
            out.text(", \"entries_outside\": ");
            out.dec(c.entries_outside);
        }
        out.text(", \"sound\": ");
        out.text(c.sound() ? "true" : "false");
        out.text("}\n");
    }

private:
    static void print_file(OutputSink& out, std::uint32_t file)
    {
        out.text(", \"file\": ");
        if (file == 0)
            out.text("null");
        else
            out.dec(file);
    }

    const PrintContext& ctx_;
};

}  // namespace

std::unique_ptr<VerifyPrinter> make_verify_printer(const PrintContext& context, std::uint32_t block_size)
{
    if (context.options.format == OutputFormat::Text) return std::make_unique<VerifyTextPrinter>(context, block_size);
    return std::make_unique<VerifyJsonlPrinter>(context);
}
