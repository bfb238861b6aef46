#include "values/text_writers.h"
#include "format/rowid.h"

#include <bit>

const char kDigitPairs[201] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// From the bit length, 1233/4096 being just above log10(2), then one
// comparison.
int decimal_digits(std::uint64_t value)
{
    static constexpr std::uint64_t kPowers[20] = {1u,
                                                   10u,
                                                   100u,
                                                   1000u,
                                                   10000u,
                                                   100000u,
                                                   1000000u,
                                                   10000000u,
                                                   100000000u,
                                                   1000000000u,
                                                   10000000000u,
                                                   100000000000u,
                                                   1000000000000u,
                                                   10000000000000u,
                                                   100000000000000u,
                                                   1000000000000000u,
                                                   10000000000000000u,
                                                   100000000000000000u,
                                                   1000000000000000000u,
                                                   10000000000000000000u};
    // Or-ing in 1 changes no comparison with a power of ten above 1, and
    // makes 0 a 1-digit number like 1.
    const std::uint64_t odd = value | 1;
    const int guess = (static_cast<int>(std::bit_width(odd)) * 1233) >> 12;
    return guess + (odd >= kPowers[guess]);
}

// Two digits at a time, in 32 bits when the value fits, which is cheaper.
void put_digits_before(char* end, std::uint64_t value, int digits)
{
    if (value <= UINT32_MAX) {
        auto small = static_cast<std::uint32_t>(value);
        for (; digits >= 2; digits -= 2) {
            end -= 2;
            std::memcpy(end, kDigitPairs + 2 * (small % 100), 2);
            small /= 100;
        }
        if (digits == 1) end[-1] = static_cast<char>('0' + small % 10);
        return;
    }
    for (; digits >= 2; digits -= 2) {
        end -= 2;
        std::memcpy(end, kDigitPairs + 2 * (value % 100), 2);
        value /= 100;
    }
    if (digits == 1) end[-1] = static_cast<char>('0' + value % 10);
}

char* put_long_decimal(char* out, std::uint64_t value)
{
    const int count = decimal_digits(value);
    put_digits_before(out + count, value, count);
    return out + count;
}

char* put_rowid_parts(char* out, const Rowid& id)
{
    out = put_decimal(out, id.file);
    *out++ = '.';
    out = put_decimal(out, id.block);
    *out++ = '.';
    return put_decimal(out, id.slot);
}

namespace {

constexpr char kRowidAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// `count` characters of `value`, six bits each, the most significant first.
char* put_base64(char* out, std::uint64_t value, int count)
{
    for (int i = count - 1; i >= 0; --i) *out++ = kRowidAlphabet[(value >> (6 * i)) & 0x3F];
    return out;
}

}  // namespace

char* put_rowid_text(char* out, std::uint32_t data_object, const Rowid& id)
{
    out = put_base64(out, data_object, 6);
    // A bigfile tablespace's rowids give the file's characters to the block number.
    if (id.layout == AddressLayout::Bigfile) {
        out = put_base64(out, id.block, 9);
    } else {
        out = put_base64(out, id.file, 3);
        out = put_base64(out, id.block, 6);
    }
    return put_rowid_slot_text(out, id.slot);
}

char* put_rowid_slot_text(char* out, std::uint32_t slot) { return put_base64(out, slot, 3); }
