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

class DumpRanges::DumpPart final : public RangeWork::Part {
public:
    DumpPart(DataFileSet& files, const PrintContext& run, const RunSettings& settings, Printing printing,
             DirectoryWalkCarry carry)
        : reads(&files), carry_in(carry), context_(out, err)
    {
        context_.options = run.options;
        context_.column_template = run.column_template;
        context_.template_given = run.template_given;
        context_.decode = run.decode;
        context_.layout_found = run.layout_found;
        context_.csv_columns = run.csv_columns;
        printer_ = printing == Printing::Records ? make_dump_printer(context_)
                                                 : make_csv_width_scanner(context_, widest);
        visitor_ = std::make_unique<DumpVisitor>(*printer_, settings, carry);
    }
    BlockVisitor& visitor() override { return *visitor_; }
    const DumpVisitor& dump_visitor() const { return *visitor_; }
    void restart(const RunSettings& settings, DirectoryWalkCarry carry)
    {
        carry_in = carry;
        widest = 0;
        visitor_ = std::make_unique<DumpVisitor>(*printer_, settings, carry);
    }

    const DataFileSet* reads;
    OutputSink out;
    OutputSink err;
    DirectoryWalkCarry carry_in;
    std::size_t widest = 0;

private:
    PrintContext context_;
    std::unique_ptr<DumpPrinter> printer_;
    std::unique_ptr<DumpVisitor> visitor_;
};

DumpRanges::DumpRanges(const PrintContext& context, const RunSettings& settings, Printing printing)
    : context_(context), s_(settings), printing_(printing)
{
}

DumpRanges::~DumpRanges() = default;

std::unique_ptr<DumpRanges::DumpPart> DumpRanges::part_for(DataFileSet& files, DirectoryWalkCarry carry)
{
    {
        std::lock_guard lock(mutex_);
        for (auto it = idle_.begin(); it != idle_.end(); ++it) {
            if ((*it)->reads != &files) continue;
            std::unique_ptr<DumpPart> part = std::move(*it);
            idle_.erase(it);
            part->restart(s_, carry);
            return part;
        }
    }
    return std::make_unique<DumpPart>(files, context_, s_, printing_, carry);
}

std::unique_ptr<RangeWork::Part> DumpRanges::start(DataFileSet& files, const RangeStart& range)
{
    // Only the directory walk carries anything from block to block.
    const bool carries = !is_sequential_walk(s_.action) && s_.action != DUMPSCNS;
    return part_for(files, carries ? carry_before(files[range.file], range.first, s_) : DirectoryWalkCarry{});
}

bool DumpRanges::in_step(const Part& part) const
{
    return static_cast<const DumpPart&>(part).carry_in.previous_row_offset == carry_.previous_row_offset;
}

std::unique_ptr<RangeWork::Part> DumpRanges::start_again(DataFileSet& files, const RangeStart&)
{
    return part_for(files, carry_);
}

bool DumpRanges::finish(std::unique_ptr<Part> taken)
{
    std::unique_ptr<DumpPart> part(static_cast<DumpPart*>(taken.release()));
    part->out.move_captured_to(context_.out);
    part->err.move_captured_to(context_.err);
    widest_ = std::max(widest_, part->widest);
    carry_ = part->dump_visitor().carry();
    const bool written = !context_.out.failed();
    std::lock_guard lock(mutex_);
    idle_.push_back(std::move(part));
    return written;
}
