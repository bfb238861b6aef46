#include "run_notes.h"

#include <bit>
#include <cstring>
#include <string>

namespace {

// Blocks read before the run's block size and byte order are weighed
// against what the blocks say; a shorter run is weighed at its end.
constexpr std::uint64_t kGeometrySample = 64;
// The largest block size -z accepts.
constexpr std::uint32_t kMaxShortBlockSize = 16000;

std::string block_count(std::uint64_t count)
{
    return std::to_string(count) + (count == 1 ? " block" : " blocks");
}

void note(OutputSink& err, const std::string& text) { err.text("trevanix: " + text + "\n"); }

}  // namespace

void print_load_failure_reason(OutputSink& err, const DumpContext& ctx, LoadFailure failure)
{
    const RunSettings& s = ctx.settings;
    switch (failure) {
    case LoadFailure::BlockSizeTooBig:
        note(err, "-z takes at most " + std::to_string(kMaxShortBlockSize) +
                      " bytes; for larger blocks use --block-size N (a power of two up to 32768) or "
                      "--block-size auto");
        break;
    case LoadFailure::OpenFailed:
        note(err, "cannot open " + s.data_file + ": " + std::strerror(ctx.file.open_error));
        break;
    case LoadFailure::SeekRefused:
        if (s.block_number < 0)
            note(err, "block " + std::to_string(s.block_number) + " lies before the start of the file");
        else
            note(err, s.data_file + " cannot be read at a chosen place (a pipe or a FIFO?): " +
                          std::strerror(ctx.file.read_error != 0 ? ctx.file.read_error : ESPIPE));
        break;
    case LoadFailure::ReadFailed:
        note(err, "cannot read block " + std::to_string(s.block_number) + " of " + s.data_file + ": " +
                      std::strerror(ctx.file.read_error));
        break;
    }
}

bool report_column_template(DumpContext& ctx, const ColumnTemplate& t)
{
    const RunSettings& s = ctx.settings;
    if (t.status == ColumnTemplate::Status::OpenFailed) {
        note(ctx.err, "cannot open column template " + s.template_file + ": " + std::strerror(t.open_error));
        return s.format == OutputFormat::Text;
    }
    for (const ColumnTemplate::Unmatched& line : t.unmatched)
        note(ctx.err, "column template line " + std::to_string(line.line) + ": " + unmatched_line_reason(line.text));
    return true;
}

void report_geometry(DumpContext& ctx, bool at_end)
{
    RunTally& t = ctx.tally;
    if (t.geometry_reported) return;
    if (at_end ? t.blocks_read >= kGeometrySample : t.blocks_read != kGeometrySample) return;
    t.geometry_reported = true;
    const RunSettings& s = ctx.settings;
    std::size_t most = 0;
    for (std::size_t bits = 0; bits < t.other_sizes.size(); ++bits)
        if (t.other_sizes[bits] > t.other_sizes[most]) most = bits;
    const std::uint64_t other_size_blocks = t.other_sizes[most];
    if (other_size_blocks > 0 && 2 * other_size_blocks > t.sized_blocks) {
        note(ctx.err, "blocks of " + s.data_file + " look " + std::to_string(std::uint64_t{1} << most) +
                          " bytes long, not " + std::to_string(s.block_size) + " (the format byte of " +
                          std::to_string(other_size_blocks) + " of the " + block_count(t.sized_blocks) +
                          " that give a size says so); try --block-size auto");
    } else if (t.tails_in_other_order > 0 && 2 * t.tails_in_other_order > t.tails_in_order + t.tails_in_other_order) {
        const bool big = s.byte_order == ByteOrder::Little;
        note(ctx.err, "blocks of " + s.data_file + " look " + (big ? "big" : "little") + "-endian (the tail of " +
                          std::to_string(t.tails_in_other_order) + " of the " + block_count(t.blocks_read) +
                          " read repeats the header only in that byte order); try --byte-order auto");
    }
    if (!at_end) ctx.err.flush();
}

namespace {

// A run that read no data block: what it read instead.
void report_nothing_read(DumpContext& ctx)
{
    const RunTally& t = ctx.tally;
    const RunSettings& s = ctx.settings;
    if (t.load_failed) return;  // the failure has said why
    if (s.verify ? t.blocks_read > 0 : t.data_blocks > 0) return;
    if (t.blocks_read > 0) {
        note(ctx.err, "read " + block_count(t.blocks_read) + ", none of them " +
                          (s.object_filter != 0 ? "a data block of object ID " + std::to_string(s.object_filter)
                                                : std::string("a data block")));
        return;
    }
    if (!t.reached_end) return;
    const std::uint64_t whole_blocks = t.end_size / s.block_size;
    if (ctx.file.regular && whole_blocks == 0) {
        note(ctx.err, "read 0 blocks: " + s.data_file + " holds " + std::to_string(t.end_size) +
                          " bytes, less than one block of " + std::to_string(s.block_size) + " bytes");
    } else {
        note(ctx.err, "read 0 blocks: block " + std::to_string(t.end_block) + " is past the end of " + s.data_file +
                          (ctx.file.regular ? " (" + block_count(whole_blocks) + ")" : std::string()));
    }
}

}  // namespace

bool report_run_end(DumpContext& ctx)
{
    const RunTally& t = ctx.tally;
    const RunSettings& s = ctx.settings;
    report_geometry(ctx, true);
    if (t.reached_end && ctx.file.regular) {
        const std::uint64_t end_at = static_cast<std::uint64_t>(t.end_block) * s.block_size;
        if (t.end_block >= 0 && end_at + s.block_size <= ctx.file.size_at_open) {
            note(ctx.err, s.data_file + " got shorter while it was read: it held " +
                              std::to_string(ctx.file.size_at_open) + " bytes when it was opened and " +
                              std::to_string(t.end_size) + " bytes at block " + std::to_string(t.end_block) +
                              ", so the blocks from there on were not read");
            return false;
        }
        // A file shorter than one block is said below, as a run that read nothing.
        if (t.end_block > 0 && end_at < t.end_size)
            note(ctx.err, "the file ends " + std::to_string(t.end_size - end_at) + " bytes into block " +
                              std::to_string(t.end_block) + ": the block is cut short and was not read");
    }
    report_nothing_read(ctx);
    return true;
}
