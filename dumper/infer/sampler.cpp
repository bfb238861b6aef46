#include "infer/sampler.h"

#include <algorithm>
#include <bit>

namespace infer {

namespace {

constexpr std::uint64_t kSeed = 0x7265766E69787321;  // any fixed number: the sample is the same every run

// splitmix64 of the stretch's number: which of its rows is kept.
std::uint64_t mix(std::uint64_t value)
{
    std::uint64_t z = value + kSeed * 0x9E3779B97F4A7C15u;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
    return z ^ (z >> 31);
}

}  // namespace

RowSampler::RowSampler(std::optional<std::uint64_t> expected_rows, std::uint64_t target)
    : target_(std::max<std::uint64_t>(target, 1))
{
    if (expected_rows) stride_ = std::max<std::uint64_t>(1, *expected_rows / target_);
}

// With a known stride, stretch n is rows [n * stride, (n + 1) * stride).
// Without, the rows past the first `target` come in rounds: round j (from
// 1) is the target * 2^(j-1) rows from target * 2^(j-1) on, in stretches of
// 2^j rows, numbered on from those of the rounds before.
RowSampler::Stretch RowSampler::stretch_of(std::uint64_t row) const
{
    if (stride_) return {row / *stride_, *stride_, row % *stride_};
    if (row < target_) return {row, 1, 0};
    // target * 2^(round-1) <= row < target * 2^round
    const auto round = static_cast<unsigned>(std::bit_width(row / target_));
    const std::uint64_t round_start = target_ << (round - 1);
    const std::uint64_t length = std::uint64_t{1} << round;
    const std::uint64_t in_round = row - round_start;
    // The stretches before: the first `target` rows' and target / 2 for each round (rounded up).
    const std::uint64_t before = target_ + std::uint64_t{round - 1} * ((target_ + 1) / 2);
    return {before + in_round / length, length, in_round % length};
}

bool RowSampler::keep()
{
    const Stretch stretch = stretch_of(seen_++);
    const bool kept = stretch.length == 1 || mix(stretch.number) % stretch.length == stretch.offset;
    if (kept) ++kept_;
    return kept;
}

}  // namespace infer
