#include "infer/binary_numbers.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace infer {

namespace {

// The parts of an IEEE number.
struct Parts {
    bool negative = false;
    int exponent = 0;  // biased: 0 for zero and subnormal numbers, all ones for infinities and NaN
    std::uint64_t mantissa = 0;
};

Parts parts_of(std::uint64_t bits, const BinaryFormat& format)
{
    const std::uint64_t mantissa_mask = (std::uint64_t{1} << format.mantissa_bits) - 1;
    const std::uint64_t exponent_mask = (std::uint64_t{1} << format.exponent_bits) - 1;
    return {(bits >> (format.mantissa_bits + format.exponent_bits)) != 0,
            static_cast<int>((bits >> format.mantissa_bits) & exponent_mask), bits & mantissa_mask};
}

int all_ones(const BinaryFormat& format) { return (1 << format.exponent_bits) - 1; }
int bias(const BinaryFormat& format) { return all_ones(format) / 2; }
std::uint64_t quiet_bit(const BinaryFormat& format) { return std::uint64_t{1} << (format.mantissa_bits - 1); }

// Assumed: the database writes NaN as the quiet NaN without payload (of
// either sign); other NaN bit patterns are no value it writes.
bool is_written_nan(const Parts& parts, const BinaryFormat& format) { return parts.mantissa == quiet_bit(format); }

// ---------------------------------------------------------------------------
// The model of a column of numbers, weighed against random bytes. Its
// shares are judgements, not measurements of any real data: what matters
// is that they give every kind of value some weight, so that a column of
// numbers of any kind shows as one, while random bytes, whatever the model,
// come out this likely as numbers only with a chance of one in that many.

// The share of a column's distinct values that are damaged (any bytes).
constexpr double kDamagedShare = 0.02;
// Of the others: zeros, the infinities and NaN, subnormal numbers; the
// rest are normal numbers.
constexpr double kZeroShare = 0.02;
constexpr double kSpecialShare = 0.01;
constexpr double kSubnormalShare = 0.005;
constexpr double kNormalShare = 1 - kZeroShare - kSpecialShare - kSubnormalShare;
// The mantissas of a column's normal numbers: all short in binary (whole
// numbers, halves, quarters: their significant bits as likely any count),
// all of random bits (decimal fractions, computed numbers), or either,
// short with the chance kShortShare.
struct MantissaModel {
    double weight;
    double short_share;
};
constexpr double kShortShare = 0.3;
constexpr MantissaModel kMantissaModels[] = {{0.2, 1}, {0.5, 0}, {0.3, kShortShare}};
// No one value is evidence of more than this, whatever the model says:
// random bytes are all zero bits next to never, but keys and flags that
// are no numbers may be.
constexpr double kMostEvidenceOfOneValue = 1e4;

// A column's signs: all positive, all negative, or either, with the
// weight of each; the factors by which a positive and a negative value is
// likelier under it than as a random sign bit.
struct SignModel {
    double weight;
    double positive;
    double negative;
};
constexpr SignModel kSignModels[] = {{0.4, 2, 0}, {0.1, 0, 2}, {0.5, 1, 1}};

// The magnitudes a column keeps to: its values gather in clusters of
// binary exponents, one or a few. Taken one after another, a value starts
// a cluster of its own (with the chance kNewCluster / (values before it +
// kNewCluster)), its exponent anywhere in the type's range or, as likely,
// within kNearOne of 2^0 (about 10^-9 to 10^9); or it joins the cluster
// of a value before it, its exponent within the column's spread of that
// value's: 0, 1, 2, 4 ... 128 binary exponents, or any (no clusters), the
// narrow spreads likelier, as columns of one kind of quantity have them.
constexpr double kNewCluster = 1;
constexpr int kNearOne = 30;
constexpr double kAnywhereShare = 0.5;
struct Spread {
    double weight;
    int exponents;
};
constexpr Spread kSpreads[] = {{0.12, 0},  {0.12, 1},  {0.12, 2},  {0.12, 4},   {0.12, 8},
                               {0.08, 16}, {0.08, 32}, {0.06, 64}, {0.06, 128}, {0.12, 1 << 11}};

// How much likelier a mantissa with `trailing` zero bits is as a short one
// than as random bits.
double short_evidence(int trailing, int mantissa_bits)
{
    return (std::ldexp(1.0, trailing + 1) - 1) / (mantissa_bits + 1);
}

int trailing_zeros(std::uint64_t mantissa, int mantissa_bits)
{
    return mantissa == 0 ? mantissa_bits : std::countr_zero(mantissa);
}

// A sum of numbers given as their logarithms.
class LogSum {
public:
    void add(double log)
    {
        if (log == -HUGE_VAL) return;
        if (empty_ || log > most_) {
            sum_ = empty_ ? 1 : sum_ * std::exp(most_ - log) + 1;
            most_ = log;
            empty_ = false;
        } else {
            sum_ += std::exp(log - most_);
        }
    }
    double log() const { return empty_ ? -HUGE_VAL : most_ + std::log(sum_); }

private:
    bool empty_ = true;
    double most_ = 0;
    double sum_ = 0;
};

// One damaged or one explained value: the log of its evidence.
double value_log(double evidence)
{
    return std::log((1 - kDamagedShare) * std::min(evidence, kMostEvidenceOfOneValue) + kDamagedShare);
}

struct NormalValue {
    int exponent;  // unbiased
    bool negative;
    double short_evidence;  // of its mantissa, as a short one
};

// How likely exponent `exponent` is as the first of a cluster.
double cluster_start(int exponent, const BinaryFormat& format)
{
    const double anywhere = kAnywhereShare / (2 * bias(format));
    const double near = std::abs(exponent) <= kNearOne ? (1 - kAnywhereShare) / (2 * kNearOne + 1) : 0;
    return anywhere + near;
}

// How likely exponent `exponent` is in the cluster of `other`, of `spread`.
double in_cluster(int exponent, int other, int spread, const BinaryFormat& format)
{
    if (std::abs(exponent - other) > spread) return 0;
    const int lowest = 1 - bias(format);
    const int highest = bias(format);
    const int places = std::min(highest, other + spread) - std::max(lowest, other - spread) + 1;
    return 1.0 / places;
}

// The log of the evidence of the normal values, in the order they came,
// summed over every model of spreads, signs and mantissas.
double clusters_log(const std::vector<NormalValue>& values, const BinaryFormat& format)
{
    const double exponent_evidence = std::ldexp(1.0, format.exponent_bits);  // random bytes: 2^-bits per exponent
    std::vector<double> exponents(values.size());                            // the evidence of each value's exponent
    LogSum total;
    for (const Spread& spread : kSpreads) {
        for (std::size_t k = 0; k < values.size(); ++k) {
            double likely = kNewCluster * cluster_start(values[k].exponent, format);
            for (std::size_t j = 0; j < k; ++j)
                likely += in_cluster(values[k].exponent, values[j].exponent, spread.exponents, format);
            exponents[k] = likely / (static_cast<double>(k) + kNewCluster) * exponent_evidence;
        }
        for (const SignModel& signs : kSignModels) {
            for (const MantissaModel& mantissas : kMantissaModels) {
                double log = std::log(spread.weight * signs.weight * mantissas.weight);
                for (std::size_t k = 0; k < values.size(); ++k) {
                    const double sign = values[k].negative ? signs.negative : signs.positive;
                    const double mantissa =
                        (1 - mantissas.short_share) + mantissas.short_share * values[k].short_evidence;
                    log += value_log(kNormalShare * sign * mantissa * exponents[k]);
                }
                total.add(log);
            }
        }
    }
    return total.log();
}

}  // namespace

std::uint64_t ieee_bits(ByteView value, const BinaryFormat& format)
{
    std::uint64_t stored = 0;
    for (int i = 0; i < format.bytes; ++i) stored = stored << 8 | value.u8(static_cast<std::size_t>(i));
    const std::uint64_t sign_bit = std::uint64_t{1} << (8 * format.bytes - 1);
    const std::uint64_t all = sign_bit | (sign_bit - 1);
    return (stored & sign_bit) ? stored ^ sign_bit : ~stored & all;
}

bool is_stored_binary(ByteView value, const BinaryFormat& format)
{
    if (value.size() != static_cast<std::size_t>(format.bytes)) return false;
    const Parts parts = parts_of(ieee_bits(value, format), format);
    return parts.exponent != all_ones(format) || parts.mantissa == 0 || is_written_nan(parts, format);
}

void BinaryNumbers::add(ByteView value)
{
    if (kept_.size() >= kMostKept || ++added_ > kMostAdded) return;
    const std::uint64_t bits = ieee_bits(value, format_);
    if (std::find(kept_.begin(), kept_.end(), bits) == kept_.end()) kept_.push_back(bits);
}

double BinaryNumbers::log_evidence() const
{
    // Values that are not normal numbers are evidence whatever the window:
    // zeros and the infinities and NaN (a few of 2^64 patterns) as much as
    // a value can be, a subnormal number as its share of numbers is against
    // its share of random bytes.
    double fixed = 0;
    std::vector<NormalValue> normal;
    for (std::uint64_t bits : kept_) {
        const Parts parts = parts_of(bits, format_);
        if ((parts.exponent == 0 && parts.mantissa == 0) || parts.exponent == all_ones(format_))
            fixed += value_log(kMostEvidenceOfOneValue);
        else if (parts.exponent == 0)
            fixed += value_log(kSubnormalShare * std::ldexp(1.0, format_.exponent_bits));
        else
            normal.push_back(
                {parts.exponent - bias(format_), parts.negative,
                 short_evidence(trailing_zeros(parts.mantissa, format_.mantissa_bits), format_.mantissa_bits)});
    }
    return normal.empty() ? fixed : fixed + clusters_log(normal, format_);
}

}  // namespace infer
