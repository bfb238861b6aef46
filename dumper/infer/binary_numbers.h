// Whether a column of 4- or 8-byte values holds BINARY_FLOAT or
// BINARY_DOUBLE numbers or bytes of something else. Almost any 4 or 8
// bytes are some number, so single values prove nothing; what tells the
// two apart is the column: a column of numbers keeps to a span of
// magnitudes (its exponents cluster, where random bytes spread theirs
// over the type's whole range), often has one sign, holds whole numbers
// and short fractions (mantissas ending in zero bits), zeros, and the
// infinities and NaN as the database writes them, never another NaN.
#pragma once

#include <cstdint>
#include <vector>

#include "format/byte_view.h"

namespace infer {

// The IEEE 754 layouts of BINARY_FLOAT and BINARY_DOUBLE.
struct BinaryFormat {
    int bytes;
    int exponent_bits;
    int mantissa_bits;
};
constexpr BinaryFormat kBinaryFloat{4, 8, 23};
constexpr BinaryFormat kBinaryDouble{8, 11, 52};

// The IEEE bits of a stored value of `format`'s size: the database flips
// the sign bit of a positive number and every bit of a negative one, so
// that the bytes sort as the numbers do.
std::uint64_t ieee_bits(ByteView value, const BinaryFormat& format);

// Whether the stored bytes are a value the database writes: any number,
// zero, an infinity, or NaN as it writes NaN (another NaN is damage).
bool is_stored_binary(ByteView value, const BinaryFormat& format);

// The evidence of one column's values: its first distinct values (a
// value repeated proves no more than once), weighed together when the
// column is decided.
class BinaryNumbers {
public:
    // How many distinct values are kept, of the first values added: enough
    // to decide any column that can be decided, few enough to keep the
    // statistics of every column small and quick to gather.
    static constexpr std::size_t kMostKept = 32;
    static constexpr std::uint64_t kMostAdded = 4096;

    explicit BinaryNumbers(const BinaryFormat& format) : format_(format) {}

    // A value of the format's size that is_stored_binary() accepts.
    void add(ByteView value);

    std::size_t distinct() const { return kept_.size(); }
    std::size_t held_bytes() const { return kept_.capacity() * sizeof(std::uint64_t); }
    // The natural logarithm of how many times likelier the distinct
    // values are as numbers than as random bytes; 0 for none.
    double log_evidence() const;

private:
    BinaryFormat format_;
    std::vector<std::uint64_t> kept_;  // IEEE bits
    std::uint64_t added_ = 0;
};

}  // namespace infer
