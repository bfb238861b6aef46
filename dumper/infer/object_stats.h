// What the values of one data object say of its columns' types: for each
// column position, how many of its values each candidate type explains,
// and what the values tell of the type's size. Rows are fed whole (as the
// row reader reassembles them), in any order; nothing here reads a file.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "format/byte_view.h"
#include "infer/binary_numbers.h"
#include "infer/text_evidence.h"
#include "infer/value_checks.h"

struct Charset;

namespace infer {

// The share of a column's non-NULL values a type must explain to be
// chosen: the rest are taken for damaged values.
constexpr double kExplainedShare = 0.95;

struct Options {
    // The database character set of CHAR and VARCHAR2 values; nullptr:
    // AL32UTF8. The caller keeps it alive while rows are added.
    const Charset* database_charset = nullptr;
    // False when the national character set is UTF8 rather than AL16UTF16:
    // its text cannot then be told from the database's, and NVARCHAR2 is
    // not weighed.
    bool national_utf16 = true;
    YearRange years;
    double explained_share = kExplainedShare;
};

// The types a column is weighed as, in the order they are tried: the more
// specific first (see decide.cpp for why).
enum class Candidate : std::uint8_t {
    DateTime,  // DATE, or TIMESTAMP when some values have a fraction
    TimestampTz,
    IntervalDs,
    IntervalYm,
    Boolean,
    Number,
    Text,          // VARCHAR2 or CHAR
    NationalText,  // NVARCHAR2 or NCHAR
    Urowid,
    Rowid,
    BinaryDouble,
    BinaryFloat,
};
constexpr std::size_t kCandidateCount = 12;

// The statistics of one column position.
struct ColumnStats {
    std::uint64_t present = 0;  // values that are not NULL
    std::array<std::uint64_t, kCandidateCount> explained{};
    std::uint32_t shortest = std::numeric_limits<std::uint32_t>::max();
    std::uint32_t longest = 0;  // bytes
    // DATE-shaped values with a fraction of a second (TIMESTAMPs of 11 bytes).
    std::uint64_t fractional_timestamps = 0;
    // NUMBERs of 20 mantissa bytes, negative, without a terminator: what
    // text of 21 bytes between 0x02 and 0x65 also reads as.
    std::uint64_t unterminated_numbers = 0;
    // Text values ending in a blank, as CHAR values are padded.
    std::uint64_t blank_padded_text = 0;
    std::uint64_t blank_padded_national_text = 0;
    // The most of each, over the values of the type.
    NumberDigits number_digits;
    int timestamp_fraction_digits = 0;
    int timestamp_tz_fraction_digits = 0;
    IntervalDigits interval_ym_digits;
    IntervalDigits interval_ds_digits;
    // The distinct values read as binary floating point numbers and as text.
    BinaryNumbers doubles{kBinaryDouble};
    BinaryNumbers floats{kBinaryFloat};
    TextEvidence text;
    TextEvidence national_text;

    std::uint64_t count(Candidate candidate) const { return explained[static_cast<std::size_t>(candidate)]; }
    // What its evidence holds beyond the column itself.
    std::size_t held_bytes() const
    {
        return doubles.held_bytes() + floats.held_bytes() + text.held_bytes() + national_text.held_bytes();
    }
};

// What the statistics of all the objects of one inference share: the
// models their text is weighed with, and room for a value's converted
// text, which would otherwise take a few kilobytes in each object. The
// objects sharing it are fed one row at a time, by one thread.
class SharedWork {
public:
    explicit SharedWork(const Options& options);

    const Options& options() const { return options_; }

private:
    friend class ObjectStats;
    Options options_;
    TextModel database_text_;
    TextModel national_text_;
    std::vector<char> scratch_;             // converted text
    std::vector<std::uint32_t> code_points_;  // of a text value
};

class ObjectStats {
public:
    // Statistics of their own, or sharing `shared`'s with others'.
    explicit ObjectStats(const Options& options);
    explicit ObjectStats(std::shared_ptr<SharedWork> shared);

    // One row's values in storage order: nullopt (or an empty value) for
    // NULL. Trailing NULLs may be left out.
    void add_row(std::span<const std::optional<ByteView>> values);

    std::uint64_t rows() const { return rows_; }
    // As many columns as the widest row.
    const std::vector<ColumnStats>& columns() const { return columns_; }
    const Options& options() const { return shared_->options(); }
    // What the statistics take, but for what they share: their columns and
    // the distinct values kept as evidence. The same rows give the same
    // count, however many workers read them.
    std::size_t held_bytes() const;

private:
    void add_value(ColumnStats& column, ByteView value);
    void add_date_time(ColumnStats& column, ByteView value) const;
    void add_text(ColumnStats& column, ByteView value);
    void add_binary(ColumnStats& column, ByteView value);

    std::shared_ptr<SharedWork> shared_;
    std::uint64_t rows_ = 0;
    std::vector<ColumnStats> columns_;
};

}  // namespace infer
