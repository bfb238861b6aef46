// Bounded work: which rows of a data object the inference weighs. Every row
// of an object of up to kSampleRows rows; of a larger one, a sample of at
// least that many spread over the whole object, so that inferring the
// types of a huge file costs a bounded number of weighed values per
// object. The choice is deterministic: the same rows in the same order give
// the same sample.
#pragma once

#include <cstdint>
#include <optional>

namespace infer {

constexpr std::uint64_t kSampleRows = 100000;

class RowSampler {
public:
    // `expected_rows`: the object's row count, or an estimate of it (its
    // block count times the rows a block holds), when the caller knows it
    // before reading: rows are then kept one in every expected_rows /
    // `target`, the kept one placed at random (seeded) within each stretch,
    // so that rows repeating with the stride are not all missed or all
    // taken. Without it, the first `target` rows are all kept, then one in
    // 2 of the next `target`, one in 4 of the next 2 * `target`, and so on:
    // each doubling of the rows read adds target / 2 kept rows.
    explicit RowSampler(std::optional<std::uint64_t> expected_rows = std::nullopt,
                        std::uint64_t target = kSampleRows);

    // Called once for each row, in reading order: true when it is to be
    // added to the object's statistics.
    bool keep();

    std::uint64_t seen() const { return seen_; }
    std::uint64_t kept() const { return kept_; }

private:
    // The stretch of rows that `row` lies in, of which one is kept.
    struct Stretch {
        std::uint64_t number = 0;  // unique over the whole object
        std::uint64_t length = 1;
        std::uint64_t offset = 0;  // of the row within it
    };
    Stretch stretch_of(std::uint64_t row) const;

    std::optional<std::uint64_t> stride_;
    std::uint64_t target_;
    std::uint64_t seen_ = 0;
    std::uint64_t kept_ = 0;
};

}  // namespace infer
