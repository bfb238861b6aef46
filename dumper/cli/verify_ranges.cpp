#include "cli/verify_ranges.h"

#include "cli/run_notes.h"

// The checks of a range's blocks, and the block that could not be read.
class VerifyRanges::ChecksPart final : public RangeWork::Part, private BlockVisitor {
public:
    ChecksPart(const RunSettings& settings, bool accounted) : s_(settings), accounted_(accounted) {}
    BlockVisitor& visitor() override { return *this; }

    struct Checked {
        BlockChecks checks;
        bool selected;  // by the object filter: counted and printed
    };
    std::size_t file = 0;
    std::vector<Checked> checked;
    std::optional<LoadFailureRecord> failure;

private:
    void load_failure(const LoadFailureRecord& record) override { failure = record; }
    bool block(const DecodedBlock& block) override
    {
        const BlockHeader& header = block.header;
        // With -o, only the data blocks of that object.
        const bool selected = s_.object_filter == 0 ||
                              (header.object_id == static_cast<std::uint32_t>(s_.object_filter) && header.layer_type == 1);
        if (selected || accounted_)
            checked.push_back({check_block(block.view(), block.block.number,
                                           static_cast<std::uint32_t>(block.view().size())),
                               selected});
        return true;
    }

    const RunSettings& s_;
    bool accounted_;
};

VerifyRanges::VerifyRanges(const RunSettings& settings, DataFileSet& files, VerifyPrinter& printer,
                           const OutputSink& out, VerifyTally& tally, VerifyEnd& end,
                           unload::BlockAccounting* accounting)
    : s_(settings), files_(files), printer_(printer), out_(out), tally_(tally), end_(end), accounting_(accounting)
{
}

VerifyRanges::~VerifyRanges() = default;

std::unique_ptr<RangeWork::Part> VerifyRanges::start(DataFileSet&, const RangeStart& range)
{
    std::unique_ptr<ChecksPart> part;
    {
        std::lock_guard lock(mutex_);
        if (!idle_.empty()) {
            part = std::move(idle_.back());
            idle_.pop_back();
        }
    }
    if (!part) part = std::make_unique<ChecksPart>(s_, accounting_ != nullptr);
    part->file = range.file;
    part->checked.clear();
    part->failure.reset();
    return part;
}

void VerifyRanges::begin_file(std::size_t file)
{
    file_ = file;
    misplaced_ = MisplacedRuns();
    if (files_.size() > 1) printer_.file_start(files_[file].path(), files_[file].relative_file());
}

bool VerifyRanges::finish(std::unique_ptr<Part> taken)
{
    std::unique_ptr<ChecksPart> part(static_cast<ChecksPart*>(taken.release()));
    if (part->file != file_) begin_file(part->file);
    DataFile& file = files_[file_];
    const std::uint32_t file_number = file.relative_file();
    MisplacedRun ended;
    for (const ChecksPart::Checked& c : part->checked) {
        if (c.selected) {
            tally_.count(c.checks);
            if (misplaced_.follow(c.checks, ended)) printer_.misplaced_run(ended);
            printer_.block_checks(c.checks, file_number);
        }
        // The tables' segments are told of every block, as their rows would be read.
        if (accounting_ != nullptr && c.checks.number >= 0)
            accounting_->note(file_number, static_cast<std::uint32_t>(c.checks.number), c.checks,
                              c.checks.state == CheckedAs::Checked && c.checks.sound() && c.checks.data_layer_checked);
    }
    if (part->failure) {
        printer_.load_failure(*part->failure);
        end_.read_failed = true;
        end_.stopped_at = part->failure->block;
    }
    std::lock_guard lock(mutex_);
    idle_.push_back(std::move(part));
    return !out_.failed();
}

void VerifyRanges::file_ended(std::size_t file, const FileTally& tally, PassEnd end)
{
    if (file != file_) begin_file(file);
    MisplacedRun ended;
    if (misplaced_.finish(ended)) printer_.misplaced_run(ended);
    std::int32_t cut_block = 0;
    std::uint64_t bytes = 0;
    if (end == PassEnd::EndOfFile && tally.cut_short(files_[file], cut_block, bytes)) {
        ++tally_.cut_short;
        printer_.cut_short_block(cut_block, files_[file].relative_file(), bytes);
    }
}
