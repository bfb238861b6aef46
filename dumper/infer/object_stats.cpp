#include "infer/object_stats.h"

#include <algorithm>

namespace infer {

namespace {

void count(ColumnStats& column, Candidate candidate) { ++column.explained[static_cast<std::size_t>(candidate)]; }

void widen(IntervalDigits& most, const IntervalDigits& digits)
{
    most.leading = std::max(most.leading, digits.leading);
    most.fraction = std::max(most.fraction, digits.fraction);
}

void add_number(ColumnStats& column, ByteView value)
{
    const std::optional<NumberDigits> digits = canonical_number(value);
    if (!digits) return;
    count(column, Candidate::Number);
    if (is_unterminated_number(value)) ++column.unterminated_numbers;
    column.number_digits.integer = std::max(column.number_digits.integer, digits->integer);
    column.number_digits.fraction = std::max(column.number_digits.fraction, digits->fraction);
}

void add_interval(ColumnStats& column, ByteView value)
{
    if (const auto digits = interval_ym_digits(value)) {
        count(column, Candidate::IntervalYm);
        widen(column.interval_ym_digits, *digits);
    }
    if (const auto digits = interval_ds_digits(value)) {
        count(column, Candidate::IntervalDs);
        widen(column.interval_ds_digits, *digits);
    }
}

}  // namespace

SharedWork::SharedWork(const Options& options)
    : options_(options), database_text_(TextModel::database(options.database_charset)),
      national_text_(TextModel::national())
{
}

ObjectStats::ObjectStats(const Options& options) : ObjectStats(std::make_shared<SharedWork>(options)) {}

ObjectStats::ObjectStats(std::shared_ptr<SharedWork> shared) : shared_(std::move(shared)) {}

std::size_t ObjectStats::held_bytes() const
{
    std::size_t bytes = sizeof(ObjectStats) + columns_.capacity() * sizeof(ColumnStats);
    for (const ColumnStats& column : columns_) bytes += column.held_bytes();
    return bytes;
}

void ObjectStats::add_row(std::span<const std::optional<ByteView>> values)
{
    ++rows_;
    if (values.size() > columns_.size()) columns_.resize(values.size());
    for (std::size_t i = 0; i < values.size(); ++i)
        if (values[i] && !values[i]->empty()) add_value(columns_[i], *values[i]);
}

// Each value is weighed as every candidate: the counts are compared only
// when the whole column has been seen.
void ObjectStats::add_value(ColumnStats& column, ByteView value)
{
    ++column.present;
    const auto size = static_cast<std::uint32_t>(value.size());
    column.shortest = std::min(column.shortest, size);
    column.longest = std::max(column.longest, size);
    add_date_time(column, value);
    add_interval(column, value);
    add_binary(column, value);
    add_number(column, value);
    add_text(column, value);
}

void ObjectStats::add_binary(ColumnStats& column, ByteView value)
{
    if (is_plausible_rowid(value)) count(column, Candidate::Rowid);
    if (is_plausible_urowid(value)) count(column, Candidate::Urowid);
    if (is_boolean(value)) count(column, Candidate::Boolean);
    if (is_stored_binary(value, kBinaryDouble)) {
        count(column, Candidate::BinaryDouble);
        column.doubles.add(value);
    }
    if (is_stored_binary(value, kBinaryFloat)) {
        count(column, Candidate::BinaryFloat);
        column.floats.add(value);
    }
}

void ObjectStats::add_date_time(ColumnStats& column, ByteView value) const
{
    const YearRange& years = options().years;
    if (is_plausible_date(value, years)) {
        count(column, Candidate::DateTime);
    } else if (const auto digits = timestamp_fraction_digits(value, years)) {
        count(column, Candidate::DateTime);
        ++column.fractional_timestamps;
        column.timestamp_fraction_digits = std::max(column.timestamp_fraction_digits, *digits);
    } else if (const auto tz_digits = timestamp_tz_fraction_digits(value, years)) {
        count(column, Candidate::TimestampTz);
        column.timestamp_tz_fraction_digits = std::max(column.timestamp_tz_fraction_digits, *tz_digits);
    }
}

void ObjectStats::add_text(ColumnStats& column, ByteView value)
{
    SharedWork& work = *shared_;
    if (const auto utf8 = plausible_text_utf8(value, work.options_.database_charset, work.scratch_)) {
        count(column, Candidate::Text);
        if (ends_in_blank(value, false)) ++column.blank_padded_text;
        if (column.text.is_new(value)) {
            utf8_code_points(*utf8, work.code_points_);
            column.text.add(value, work.code_points_, work.database_text_);
        }
    }
    if (work.options_.national_utf16 && is_plausible_national_text(value)) {
        count(column, Candidate::NationalText);
        if (ends_in_blank(value, true)) ++column.blank_padded_national_text;
        if (column.national_text.is_new(value)) {
            utf16_code_points(value, work.code_points_);
            column.national_text.add(value, work.code_points_, work.national_text_);
        }
    }
}

}  // namespace infer
