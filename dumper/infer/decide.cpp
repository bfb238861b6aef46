#include "infer/decide.h"

#include <algorithm>
#include <cmath>

#include "schema/oracle_types.h"

namespace infer {

namespace {

using schema::OracleType;

// A column's type is a candidate that explains enough of its non-NULL
// values (Options::explained_share, so that a few damaged values do not
// make a column RAW) and whose values the column as a whole looks like
// (is_evidence_enough). Of several such, text, national text and the
// binary numbers are told apart by how much likelier the values are as
// each than as random bytes; others by how many values each explains; the
// rest of a tie by this order.
//
// Ambiguity. A value can be valid as several types; the order puts first
// the type whose values seldom read as the other's, where the other's
// often read as it:
// - the dates and times, the intervals and BOOLEAN first: their values have
//   strict layouts that other types' values seldom match all at once, and
//   none of them is a valid NUMBER or printable text (their bytes include
//   control characters or invalid encodings);
// - NUMBER before text: a negative NUMBER is often printable ASCII (-5 is
//   3E 60 66, ">`f"), while text is a valid NUMBER only when it ends in
//   "f" and the characters between its first and last all lie below "f"
//   (a positive NUMBER is never UTF-8), and no column of real text is
//   mostly that. The exception is text of 21 bytes all below "f" (CHAR(21)
//   of capitals, digits and blanks), which is a negative NUMBER of the
//   greatest length, the one length without a terminator: a column of
//   those that is text too is taken for text;
// - VARCHAR2 before NVARCHAR2: ASCII text of even length also reads as
//   UTF-16 (as CJK ideographs), while the UTF-16 of Latin text has zero
//   bytes that database text never has;
// - NUMBER and text before ROWID and UROWID: a NUMBER of 10 bytes whose
//   ninth is small is a plausible ROWID, and so is the UTF-16 of five
//   Latin letters, while a ROWID's object number starts with zero bytes
//   that neither has;
// - the binary floating point types last but for RAW: almost any 8 or 4
//   bytes are some number, so they are chosen only when the column as a
//   whole looks like numbers rather than random bytes (binary_numbers.h),
//   and over text only when it looks more like numbers than like text
//   (binary numbers often are valid UTF-16, and in a single-byte set,
//   text).
// RAW explains every value and is kept when nothing else does.
constexpr Candidate kOrder[] = {
    Candidate::DateTime, Candidate::TimestampTz, Candidate::IntervalDs,   Candidate::IntervalYm,
    Candidate::Boolean,  Candidate::Number,      Candidate::Text,         Candidate::NationalText,
    Candidate::Urowid,   Candidate::Rowid,       Candidate::BinaryDouble, Candidate::BinaryFloat,
};
static_assert(std::size(kOrder) == kCandidateCount);

// NUMBER(p,s) is written when the values need at most this many digits
// after the point (a judgement: more look computed rather than declared)
// and at most the 38 a precision can have; plain NUMBER otherwise.
constexpr int kMaxDeclaredScale = 10;
constexpr int kMaxPrecision = 38;
// What TIMESTAMP, INTERVAL DAY TO SECOND and INTERVAL YEAR TO MONTH are
// declared with when their size is left out: the least an inferred column
// is given.
constexpr int kDefaultFractionDigits = 6;
constexpr int kDefaultLeadingDigits = 2;
// Assumed: the longest VARCHAR2 and RAW values a row holds inline (the
// standard limits; extended strings are stored as LOBs). Longer values
// are LONG and LONG RAW ones.
constexpr std::uint32_t kMaxInlineText = 4000;
constexpr std::uint32_t kMaxInlineRaw = 2000;

// A column of the type, as the schema file reader makes it of the type's
// name alone (sizes left out).
schema::Column plain_column(OracleType type) { return schema::parse_sql_type(schema::type_name(type)).value; }

schema::Column sized_column(OracleType type, std::uint32_t length)
{
    schema::Column column = plain_column(type);
    column.length = std::max(length, 1u);
    return column;
}

schema::Column date_time_column(const ColumnStats& stats)
{
    if (stats.fractional_timestamps == 0) return plain_column(OracleType::Date);
    schema::Column column = plain_column(OracleType::Timestamp);
    column.scale = std::max(kDefaultFractionDigits, stats.timestamp_fraction_digits);
    return column;
}

schema::Column timestamp_tz_column(const ColumnStats& stats)
{
    schema::Column column = plain_column(OracleType::TimestampTz);
    column.scale = std::max(kDefaultFractionDigits, stats.timestamp_tz_fraction_digits);
    return column;
}

schema::Column interval_column(OracleType type, const IntervalDigits& digits)
{
    schema::Column column = plain_column(type);
    column.precision = std::max(kDefaultLeadingDigits, digits.leading);
    if (type == OracleType::IntervalDs) column.scale = std::max(kDefaultFractionDigits, digits.fraction);
    return column;
}

schema::Column number_column(const NumberDigits& digits)
{
    schema::Column column = plain_column(OracleType::Number);
    const int precision = std::max(1, digits.integer + digits.fraction);
    if (digits.fraction <= kMaxDeclaredScale && precision <= kMaxPrecision) {
        column.precision = precision;
        column.scale = digits.fraction;
    }
    return column;
}

// CHAR when every value has the same length and some end in blanks, as
// CHAR values are padded; VARCHAR2 otherwise.
bool looks_padded(const ColumnStats& stats, std::uint64_t blank_padded)
{
    return stats.shortest == stats.longest && blank_padded > 0;
}

schema::Column text_column(const ColumnStats& stats)
{
    if (stats.longest > kMaxInlineText) return plain_column(OracleType::Long);
    const bool padded = looks_padded(stats, stats.blank_padded_text);
    return sized_column(padded ? OracleType::Char : OracleType::Varchar2, stats.longest);
}

// Declared in characters: UTF-16 units (a character beyond the BMP takes two).
schema::Column national_text_column(const ColumnStats& stats)
{
    const bool padded = looks_padded(stats, stats.blank_padded_national_text);
    schema::Column column = plain_column(padded ? OracleType::Nchar : OracleType::Nvarchar2);
    column.char_length = std::max(stats.longest / 2, 1u);
    column.length = schema::bytes_for_characters(column.type, column.char_length, 0);
    return column;
}

schema::Column raw_column(const ColumnStats& stats)
{
    if (stats.longest > kMaxInlineRaw) return plain_column(OracleType::LongRaw);
    return sized_column(OracleType::Raw, stats.longest);
}

schema::Column column_of(Candidate candidate, const ColumnStats& stats)
{
    switch (candidate) {
    case Candidate::DateTime: return date_time_column(stats);
    case Candidate::TimestampTz: return timestamp_tz_column(stats);
    case Candidate::IntervalDs: return interval_column(OracleType::IntervalDs, stats.interval_ds_digits);
    case Candidate::IntervalYm: return interval_column(OracleType::IntervalYm, stats.interval_ym_digits);
    case Candidate::Urowid: return sized_column(OracleType::Urowid, stats.longest);
    case Candidate::Rowid: return plain_column(OracleType::Rowid);
    case Candidate::Boolean: return plain_column(OracleType::Boolean);
    case Candidate::Number: return number_column(stats.number_digits);
    case Candidate::Text: return text_column(stats);
    case Candidate::NationalText: return national_text_column(stats);
    case Candidate::BinaryDouble: return plain_column(OracleType::BinaryDouble);
    case Candidate::BinaryFloat: return plain_column(OracleType::BinaryFloat);
    }
    return raw_column(stats);
}

// The name evidence gives a candidate that explained most but not enough.
OracleType type_of(Candidate candidate, const ColumnStats& stats) { return column_of(candidate, stats).type; }

// How many of `present` values a type may fail and still explain them: the
// share Options::explained_share leaves, and what chance adds to it in a
// small sample. Damaged values are scattered at random, so a column of 40
// values with damage at the allowed rate fails more than its share nearly
// as often as not; the count may exceed its expectation by this many
// standard deviations (a judgement: two let nearly every such column
// through, while a type that explains values only by chance still falls
// far short).
constexpr double kChanceDeviations = 2.0;

std::uint64_t allowed_failures(std::uint64_t present, double share)
{
    const double n = static_cast<double>(present);
    const double failing = 1.0 - share;
    return static_cast<std::uint64_t>(failing * n + kChanceDeviations * std::sqrt(n * share * failing));
}

// How much likelier the column's values must be as binary numbers than as
// random bytes for it to be taken for them: random bytes pass with a
// chance of at most one in this many, whatever their length or count (of
// columns of 1 to 300 random values, about one in 10,000 or fewer).
constexpr double kBinaryEvidence = 300;
// How much less likely than random bytes a column's values may be as text
// and still be taken for text: text columns are far more common than RAW
// ones, and letters of a script the model weighs little (see
// text_evidence.cpp) must not make a column RAW.
constexpr double kTextEvidence = 0.01;

// The log of how much likelier the column's values are as `candidate`'s
// than as random bytes, for the candidates weighed so.
std::optional<double> log_evidence(Candidate candidate, const ColumnStats& stats)
{
    switch (candidate) {
    case Candidate::Text: return stats.text.log_evidence();
    case Candidate::NationalText: return stats.national_text.log_evidence();
    case Candidate::BinaryDouble: return stats.doubles.log_evidence();
    case Candidate::BinaryFloat: return stats.floats.log_evidence();
    default: return std::nullopt;
    }
}

// Whether the column's values, which `candidate` explains enough of, are
// its values rather than other bytes that read as them too.
bool is_evidence_enough(Candidate candidate, const ColumnStats& stats)
{
    switch (candidate) {
    case Candidate::Number:
        return 2 * stats.unterminated_numbers < stats.count(candidate) ||
               stats.count(Candidate::Text) < stats.count(candidate);
    case Candidate::Text:
    case Candidate::NationalText: return *log_evidence(candidate, stats) >= std::log(kTextEvidence);
    case Candidate::BinaryDouble:
    case Candidate::BinaryFloat: return *log_evidence(candidate, stats) >= std::log(kBinaryEvidence);
    default: return true;
    }
}

// Whether `candidate`, later in the order than `best`, is the better
// explanation: of two weighed against random bytes the likelier; of others
// the one that explains more values.
bool is_better(Candidate candidate, Candidate best, const ColumnStats& stats)
{
    const std::optional<double> evidence = log_evidence(candidate, stats);
    const std::optional<double> best_evidence = log_evidence(best, stats);
    if (evidence && best_evidence) return *evidence > *best_evidence;
    return stats.count(candidate) > stats.count(best);
}

bool explains_enough(Candidate candidate, const ColumnStats& stats, std::uint64_t allowed)
{
    return stats.present - stats.count(candidate) <= allowed;
}

std::optional<Candidate> best_explaining(const ColumnStats& stats, double share)
{
    const std::uint64_t allowed = allowed_failures(stats.present, share);
    std::optional<Candidate> best;
    for (Candidate candidate : kOrder)
        if (explains_enough(candidate, stats, allowed) && is_evidence_enough(candidate, stats) &&
            (!best || is_better(candidate, *best, stats)))
            best = candidate;
    return best;
}

Candidate most_explaining(const ColumnStats& stats)
{
    Candidate best = kOrder[0];
    for (Candidate candidate : kOrder)
        if (stats.count(candidate) > stats.count(best)) best = candidate;
    return best;
}

InferredColumn decide_column(const ColumnStats& stats, std::uint64_t rows, std::size_t position,
                             const Options& options)
{
    InferredColumn inferred;
    Evidence& evidence = inferred.evidence;
    evidence.values = rows;
    evidence.nulls = rows - stats.present;
    if (stats.present == 0) {
        inferred.column = plain_column(OracleType::Raw);
    } else if (const auto candidate = best_explaining(stats, options.explained_share)) {
        inferred.column = column_of(*candidate, stats);
        evidence.explained = stats.count(*candidate);
    } else {
        inferred.column = raw_column(stats);
        evidence.explained = stats.present;
        const Candidate closest = most_explaining(stats);
        if (stats.count(closest) > 0) {
            evidence.closest = type_of(closest, stats);
            evidence.closest_explained = stats.count(closest);
            evidence.closest_unlike =
                explains_enough(closest, stats, allowed_failures(stats.present, options.explained_share));
        }
    }
    evidence.type = inferred.column.type;
    schema::Column& column = inferred.column;
    column.name = std::string("C").append(std::to_string(position));
    column.column_number = column.segment_column = column.internal_column = static_cast<std::uint32_t>(position);
    column.comment = evidence.text();
    return inferred;
}

// ---------------------------------------------------------------------------
// The evidence's text.

std::string with_thousands(std::uint64_t number)
{
    const std::string digits = std::to_string(number);
    std::string text;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) text += ',';
        text += digits[i];
    }
    return text;
}

std::string values_text(std::uint64_t count) { return with_thousands(count) + (count == 1 ? " value" : " values"); }

// A share as the evidence shows it, in tenths of a percent: whole percents,
// except that a share which is neither all nor none never shows as 100 %
// or 0 %, but with one decimal (99.8 %, 0.2 %).
struct ShownPercent {
    std::uint64_t tenths = 0;
    bool decimal = false;

    ShownPercent rest() const { return {1000 - tenths, decimal}; }
    std::string text() const
    {
        const std::string whole = std::to_string(tenths / 10);
        return (decimal ? whole + "." + std::to_string(tenths % 10) : whole) + " %";
    }
};

ShownPercent shown_percent(std::uint64_t part, std::uint64_t whole)
{
    if (whole == 0 || part >= whole) return {1000, false};
    if (part == 0) return {0, false};
    const double exact = 1000.0 * static_cast<double>(part) / static_cast<double>(whole);
    const auto rounded = static_cast<std::uint64_t>(std::llround(exact / 10.0));
    if (rounded >= 100) return {std::min<std::uint64_t>(999, static_cast<std::uint64_t>(exact)), true};
    if (rounded == 0) return {std::max<std::uint64_t>(1, static_cast<std::uint64_t>(std::llround(exact))), true};
    return {rounded * 10, false};
}

std::string type_words(OracleType type) { return std::string(schema::type_name(type)); }

}  // namespace

std::string Evidence::text() const
{
    if (nulls == values) return "all " + values_text(values) + " NULL: type unknown, kept as RAW";
    const std::uint64_t present = values - nulls;
    const ShownPercent shown = shown_percent(explained, present);
    std::string text = values_text(values) + ": " + shown.text() + " " + type_words(type);
    if (explained < present) text += ", " + shown.rest().text() + " not (damaged?)";
    text += ", " + with_thousands(nulls) + " NULL";
    if (closest && closest_unlike)
        text += " (" + shown_percent(closest_explained, present).text() + " read as " + type_words(*closest) +
                ", but unlike its values)";
    else if (closest)
        text += " (at most " + shown_percent(closest_explained, present).text() + " " + type_words(*closest) + ")";
    return text;
}

std::vector<InferredColumn> decide(const ObjectStats& stats)
{
    std::vector<InferredColumn> columns;
    for (std::size_t i = 0; i < stats.columns().size(); ++i)
        columns.push_back(decide_column(stats.columns()[i], stats.rows(), i + 1, stats.options()));
    return columns;
}

schema::Table inferred_table(std::uint32_t data_object, std::optional<schema::ClusterPlacement> cluster,
                             const ObjectStats& stats)
{
    schema::Table table;
    table.name = "OBJ_" + std::to_string(data_object);
    if (cluster) table.name += "_T" + std::to_string(cluster->table_number);
    table.data_object = data_object;
    table.cluster = cluster;
    for (InferredColumn& inferred : decide(stats)) table.columns.push_back(std::move(inferred.column));
    return table;
}

}  // namespace infer
