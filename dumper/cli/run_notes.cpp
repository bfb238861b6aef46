#include "cli/run_notes.h"

#include <bit>
#include <cstring>

#include "format/block_format.h"
#include "format/block_headers.h"
#include "unload/summary.h"
#include "values/escaped_text.h"

namespace {

std::string block_count(std::uint64_t count)
{
    return std::to_string(count) + (count == 1 ? " block" : " blocks");
}

// A line of its own; what it names from the files (or the paths given)
// as a terminal may show it.
void note(OutputSink& err, const std::string& text)
{
    err.text("trevanix: ");
    err.text(terminal_text(text));
    err.byte('\n');
}

}  // namespace

void FileTally::add(const FileTally& later)
{
    blocks_read += later.blocks_read;
    data_blocks += later.data_blocks;
    sized_blocks += later.sized_blocks;
    for (std::size_t i = 0; i < other_sizes.size(); ++i) other_sizes[i] += later.other_sizes[i];
    tails_in_order += later.tails_in_order;
    tails_in_other_order += later.tails_in_other_order;
}

void FileTally::note_block(const BlockView& block)
{
    using namespace block_format;
    ++blocks_read;
    if (block.u8(kBlockTypeAt) == kBlockTypeData) {
        const std::uint32_t size = format_block_size(block.u8(kFormatAt));
        if (size != 0) {
            ++sized_blocks;
            if (size != block.size()) ++other_sizes[static_cast<std::size_t>(std::countr_zero(size))];
        }
    }
    const ByteOrder other = block.order == ByteOrder::Little ? ByteOrder::Big : ByteOrder::Little;
    if (tail_consistent(block.bytes, block.order))
        ++tails_in_order;
    else if (tail_consistent(block.bytes, other))
        ++tails_in_other_order;
}

bool FileTally::shrank(const DataFile& file) const
{
    const std::uint64_t block_size = file.geometry().block_size;
    return reached_end && file.sized() && end_block >= 0 &&
           static_cast<std::uint64_t>(end_block) * block_size + block_size <= file.size_at_open();
}

bool FileTally::cut_short(const DataFile& file, std::int32_t& block, std::uint64_t& bytes) const
{
    const std::uint64_t start = static_cast<std::uint64_t>(end_block) * file.geometry().block_size;
    if (!reached_end || !file.sized() || end_block < 0 || start >= end_size || shrank(file)) return false;
    block = end_block;
    bytes = end_size - start;
    return true;
}

void print_failure_reason(OutputSink& err, const std::string& what, int error)
{
    note(err, what + ": " + std::strerror(error));
}

bool report_column_template(OutputSink& err, const RunSettings& s, const ColumnTemplate& t)
{
    if (!t.opened) {
        print_failure_reason(err, "cannot open column template " + s.template_file, t.open_error);
        return s.format == OutputFormat::Text;
    }
    // Only the lines of columns the mode's records can have: a piece has at
    // most 255, a whole row 1000.
    const std::size_t used = s.rows ? kMaxRowColumns : kMaxColumns;
    for (const ColumnTemplate::Unmatched& line : t.unmatched)
        if (line.line <= used)
            note(err, "column template line " + std::to_string(line.line) + ": " + unmatched_line_reason(line.text));
    return true;
}

void weigh_geometry(OutputSink& err, const DataFile& file, FileTally& t, bool at_end)
{
    if (t.geometry_weighed) return;
    if (at_end ? t.blocks_read >= FileTally::kGeometrySample : t.blocks_read != FileTally::kGeometrySample) return;
    t.geometry_weighed = true;
    const Geometry& g = file.geometry();
    std::size_t most = 0;
    for (std::size_t bits = 0; bits < t.other_sizes.size(); ++bits)
        if (t.other_sizes[bits] > t.other_sizes[most]) most = bits;
    const std::uint64_t other_size_blocks = t.other_sizes[most];
    if (other_size_blocks > 0 && 2 * other_size_blocks > t.sized_blocks) {
        note(err, "blocks of " + file.path() + " look " + std::to_string(std::uint64_t{1} << most) +
                      " bytes long, not " + std::to_string(g.block_size) + " (the format byte of " +
                      std::to_string(other_size_blocks) + " of the " + block_count(t.sized_blocks) +
                      " that give a size says so); try --block-size auto");
    } else if (t.tails_in_other_order > 0 && 2 * t.tails_in_other_order > t.tails_in_order + t.tails_in_other_order) {
        const bool big = g.order == ByteOrder::Little;
        note(err, "blocks of " + file.path() + " look " + (big ? "big" : "little") + "-endian (the tail of " +
                      std::to_string(t.tails_in_other_order) + " of the " + block_count(t.blocks_read) +
                      " read repeats the header only in that byte order); try --byte-order auto");
    }
    if (!at_end) err.flush();
}

namespace {

// A file of which the run read no data block: what it read instead.
void report_nothing_read(OutputSink& err, const RunSettings& s, const DataFile& file, const FileTally& t)
{
    if (s.verify ? t.blocks_read > 0 : t.data_blocks > 0) return;
    if (t.blocks_read > 0) {
        note(err, "read " + block_count(t.blocks_read) + ", none of them " +
                      (s.object_filter != 0 ? "a data block of object ID " + std::to_string(s.object_filter)
                                            : std::string("a data block")));
        return;
    }
    if (!t.reached_end) return;
    const std::uint32_t block_size = file.geometry().block_size;
    const std::uint64_t whole_blocks = t.end_size / block_size;
    if (file.sized() && whole_blocks == 0) {
        note(err, "read 0 blocks: " + file.path() + " holds " + std::to_string(t.end_size) +
                      " bytes, less than one block of " + std::to_string(block_size) + " bytes");
    } else {
        note(err, "read 0 blocks: block " + std::to_string(t.end_block) + " is past the end of " + file.path() +
                      (file.sized() ? " (" + block_count(whole_blocks) + ")" : std::string()));
    }
}

}  // namespace

bool report_file_end(OutputSink& err, const RunSettings& s, DataFile& file, FileTally& t)
{
    weigh_geometry(err, file, t, true);
    if (t.shrank(file)) {
        note(err, file.path() + " got shorter while it was read: it held " + std::to_string(file.size_at_open()) +
                      " bytes when it was opened and " + std::to_string(t.end_size) + " bytes at block " +
                      std::to_string(t.end_block) + ", so the blocks from there on were not read");
        return false;
    }
    std::int32_t block = 0;
    std::uint64_t bytes = 0;
    // A file shorter than one block is said below, as a file that read nothing.
    if (t.cut_short(file, block, bytes) && block > 0)
        note(err, "the file ends " + std::to_string(bytes) + " bytes into block " + std::to_string(block) +
                      ": the block is cut short and was not read");
    // An unload says so in its summary.
    if (s.verify && t.reached_end)
        if (const std::optional<unload::CutFile> cut = unload::cut_file_of(file)) note(err, unload::cut_short_text(*cut));
    report_nothing_read(err, s, file, t);
    return true;
}
