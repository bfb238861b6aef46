#include "cli/dump_passes.h"

#include <algorithm>

namespace {

// How far back a range looks for the last block walked before it, to
// begin with what that block's walk carries; past that (a long stretch of
// blocks of no rows) the range is read again once the ranges before it
// are taken.
constexpr std::int32_t kCarrySearchBlocks = 256;

// The carry a walk of `block` leaves, when it leaves one whatever it began
// with: walked from two carries, the same at its end.
std::optional<DirectoryWalkCarry> carry_left_by(const DecodedBlock& block)
{
    auto walk_from = [&block](std::uint16_t start) {
        DirectoryWalkCarry carry{start};
        PieceWalk walk(block, carry);
        while (walk.next() != PieceWalk::Step::End) {
        }
        return carry;
    };
    const DirectoryWalkCarry one = walk_from(0);
    const DirectoryWalkCarry other = walk_from(1);
    if (one.previous_row_offset != other.previous_row_offset) return std::nullopt;
    return one;
}

// What the directory walk carries into block `first` of `file`, as far as
// the blocks before it within reach tell; the start of a run's when none does.
DirectoryWalkCarry carry_before(DataFile& file, std::int32_t first, const RunSettings& s)
{
    Block block;
    for (std::int32_t n = first - 1; n >= 0 && n >= first - kCarrySearchBlocks; --n) {
        if (file.read(n, block, Access::Random) != ReadStatus::Ok) break;
        DecodedBlock decoded = decode_block_headers(std::move(block));
        if (s.object_filter == 0 || static_cast<std::uint32_t>(s.object_filter) == decoded.header.object_id) {
            decode_data_layer(decoded, s.action == DUMPSCNS);
            if (decoded.outcome == BlockOutcome::Walked)
                if (const std::optional<DirectoryWalkCarry> carry = carry_left_by(decoded)) return *carry;
        }
        block = std::move(decoded.block);
    }
    return {};
}

}  // namespace

// ---------------------------------------------------------------------------
// Ranges that carry the directory walk's last entry

WalkRanges::WalkPart::WalkPart(const DataFileSet& files, const PrintContext& run, SinkBuffers& buffers,
                               DirectoryWalkCarry carry)
    : reads(&files),
      carry_in(carry),
      out(OutputSink::InBuffers{&buffers}),
      err(OutputSink::InBuffers{&buffers}),
      context(out, err)
{
    context.options = run.options;
    context.column_template = run.column_template;
    context.template_given = run.template_given;
    context.decode = run.decode;
    context.layout_found = run.layout_found;
    context.csv_columns = run.csv_columns;
}

WalkRanges::~WalkRanges() = default;

std::unique_ptr<WalkRanges::WalkPart> WalkRanges::part_for(DataFileSet& files, DirectoryWalkCarry carry)
{
    if (std::unique_ptr<WalkPart> part = idle_.take(files)) {
        part->carry_in = carry;
        part->restart(carry);
        return part;
    }
    return make_part(files, carry);
}

std::unique_ptr<RangeWork::Part> WalkRanges::start(DataFileSet& files, const RangeStart& range)
{
    // Only the directory walk carries anything from block to block.
    const bool carries = !is_sequential_walk(s_.action) && s_.action != DUMPSCNS;
    return part_for(files, carries ? carry_before(files[range.file], range.first, s_) : DirectoryWalkCarry{});
}

bool WalkRanges::in_step(const Part& part) const
{
    return static_cast<const WalkPart&>(part).carry_in.previous_row_offset == carry_.previous_row_offset;
}

std::unique_ptr<RangeWork::Part> WalkRanges::start_again(DataFileSet& files, const RangeStart&)
{
    return part_for(files, carry_);
}

bool WalkRanges::finish(std::unique_ptr<Part> taken)
{
    std::unique_ptr<WalkPart> part(static_cast<WalkPart*>(taken.release()));
    part->out.move_captured_to(context_.out);
    part->err.move_captured_to(context_.err);
    carry_ = part->carry_out();
    take(*part);
    const bool written = !context_.out.failed();
    idle_.keep(std::move(part));
    return written;
}

// ---------------------------------------------------------------------------
// Row pieces

class DumpRanges::DumpPart final : public WalkRanges::WalkPart {
public:
    DumpPart(DataFileSet& files, const PrintContext& run, SinkBuffers& buffers, const RunSettings& settings,
             Printing printing, DirectoryWalkCarry carry)
        : WalkPart(files, run, buffers, carry),
          settings_(settings),
          printer_(printing == Printing::Records ? make_dump_printer(context)
                                                 : make_csv_width_scanner(context, widest)),
          visitor_(std::make_unique<DumpVisitor>(*printer_, settings, carry))
    {
    }
    BlockVisitor& visitor() override { return *visitor_; }
    void restart(DirectoryWalkCarry carry) override
    {
        widest = 0;
        visitor_ = std::make_unique<DumpVisitor>(*printer_, settings_, carry);
    }
    DirectoryWalkCarry carry_out() const override { return visitor_->carry(); }

    std::size_t widest = 0;

private:
    const RunSettings& settings_;
    std::unique_ptr<DumpPrinter> printer_;
    std::unique_ptr<DumpVisitor> visitor_;
};

std::unique_ptr<WalkRanges::WalkPart> DumpRanges::make_part(DataFileSet& files, DirectoryWalkCarry carry)
{
    return std::make_unique<DumpPart>(files, context_, buffers_, s_, printing_, carry);
}

void DumpRanges::take(WalkPart& part) { widest_ = std::max(widest_, static_cast<DumpPart&>(part).widest); }

// ---------------------------------------------------------------------------
// Whole rows

class RowsRanges::RowsPart final : public WalkRanges::WalkPart {
public:
    RowsPart(DataFileSet& files, const PrintContext& run, SinkBuffers& buffers, const RunSettings& settings,
             ReachedPieces& reached, bool widths, bool printing, DirectoryWalkCarry carry)
        : WalkPart(files, run, buffers, carry),
          files_(files),
          settings_(settings),
          // The first pass adds to a set of its own; the second reads the run's.
          reached_(printing ? reached : own_reached),
          widths_(widths),
          printer_(printing ? make_row_printer(context) : nullptr)
    {
        restart(carry);
    }
    BlockVisitor& visitor() override { return *visitor_; }
    void restart(DirectoryWalkCarry carry) override
    {
        own_reached = ReachedPieces();
        widest = 0;
        visitor_ = std::make_unique<RowsVisitor>(settings_, files_, reached_, printer_.get(), context.column_template,
                                                 widths_ ? &widest : nullptr, carry);
    }
    DirectoryWalkCarry carry_out() const override { return visitor_->carry(); }

    ReachedPieces own_reached;
    std::size_t widest = 0;

private:
    DataFileSet& files_;
    const RunSettings& settings_;
    ReachedPieces& reached_;
    bool widths_;
    std::unique_ptr<RowPrinter> printer_;
    std::unique_ptr<RowsVisitor> visitor_;
};

std::unique_ptr<WalkRanges::WalkPart> RowsRanges::make_part(DataFileSet& files, DirectoryWalkCarry carry)
{
    return std::make_unique<RowsPart>(files, context_, buffers_, s_, reached_, widths_, printing_, carry);
}

void RowsRanges::take(WalkPart& taken)
{
    auto& part = static_cast<RowsPart&>(taken);
    if (!printing_) reached_.add_all(part.own_reached);
    widest_ = std::max(widest_, part.widest);
}
