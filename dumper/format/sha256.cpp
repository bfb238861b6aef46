#include "format/sha256.h"

#include <algorithm>
#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define TREVANIX_SHA_INSTRUCTIONS 1
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace {

constexpr std::uint32_t kRoundConstants[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

constexpr std::array<std::uint32_t, 8> kInitialState = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                                        0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

constexpr std::uint32_t rotr(std::uint32_t x, int n) { return x >> n | x << (32 - n); }

std::uint32_t load_be32(const std::uint8_t* p)
{
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

#ifdef TREVANIX_SHA_INSTRUCTIONS
bool cpu_has_sha()
{
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (__get_cpuid(1, &a, &b, &c, &d) == 0) return false;
    const bool ssse3 = (c & (1u << 9)) != 0, sse41 = (c & (1u << 19)) != 0;
    if (__get_cpuid_count(7, 0, &a, &b, &c, &d) == 0) return false;
    return ssse3 && sse41 && (b & (1u << 29)) != 0;
}

// Four rounds: the message words of the group plus their constants.
__attribute__((target("sha,sse4.1"))) inline void four_rounds(__m128i& abef, __m128i& cdgh, __m128i words, int group)
{
    __m128i message =
        _mm_add_epi32(words, _mm_loadu_si128(reinterpret_cast<const __m128i*>(kRoundConstants + 4 * group)));
    cdgh = _mm_sha256rnds2_epu32(cdgh, abef, message);
    message = _mm_shuffle_epi32(message, 0x0E);
    abef = _mm_sha256rnds2_epu32(abef, cdgh, message);
}
#endif

}  // namespace

void sha256_blocks_portable(std::uint32_t* state, const std::uint8_t* data, std::size_t blocks)
{
    for (; blocks > 0; --blocks, data += 64) {
        std::uint32_t w[64];
        for (int t = 0; t < 16; ++t) w[t] = load_be32(data + 4 * t);
        for (int t = 16; t < 64; ++t) {
            const std::uint32_t s0 = rotr(w[t - 15], 7) ^ rotr(w[t - 15], 18) ^ (w[t - 15] >> 3);
            const std::uint32_t s1 = rotr(w[t - 2], 17) ^ rotr(w[t - 2], 19) ^ (w[t - 2] >> 10);
            w[t] = w[t - 16] + s0 + w[t - 7] + s1;
        }
        std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
        std::uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
        for (int t = 0; t < 64; ++t) {
            const std::uint32_t t1 =
                h + (rotr(e, 6) ^ rotr(e, 11) ^ rotr(e, 25)) + ((e & f) ^ (~e & g)) + kRoundConstants[t] + w[t];
            const std::uint32_t t2 = (rotr(a, 2) ^ rotr(a, 13) ^ rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
            h = g;
            g = f;
            f = e;
            e = d + t1;
            d = c;
            c = b;
            b = a;
            a = t1 + t2;
        }
        state[0] += a;
        state[1] += b;
        state[2] += c;
        state[3] += d;
        state[4] += e;
        state[5] += f;
        state[6] += g;
        state[7] += h;
    }
}

bool sha256_instructions()
{
#ifdef TREVANIX_SHA_INSTRUCTIONS
    static const bool available = cpu_has_sha();
    return available;
#else
    return false;
#endif
}

#ifdef TREVANIX_SHA_INSTRUCTIONS
// The state is kept as the instructions want it: A B E F in one register,
// C D G H in the other.
__attribute__((target("sha,sse4.1"))) void sha256_blocks_instructions(std::uint32_t* state, const std::uint8_t* data,
                                                                      std::size_t blocks)
{
    const __m128i byte_swap = _mm_set_epi64x(0x0c0d0e0f08090a0bLL, 0x0405060700010203LL);
    __m128i dcba = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state)), 0xB1);
    __m128i cdgh = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4)), 0x1B);
    __m128i abef = _mm_alignr_epi8(dcba, cdgh, 8);
    cdgh = _mm_blend_epi16(cdgh, dcba, 0xF0);
    for (; blocks > 0; --blocks, data += 64) {
        const __m128i abef_before = abef, cdgh_before = cdgh;
        __m128i w[4];
        for (int group = 0; group < 4; ++group) {
            w[group] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * group)), byte_swap);
            four_rounds(abef, cdgh, w[group], group);
        }
#pragma GCC unroll 12
        for (int group = 4; group < 16; ++group) {
            // W[t-16] + s0(W[t-15]), + W[t-7], + s1(W[t-2]), four words at a time.
            const __m128i& before1 = w[(group - 1) & 3];
            const __m128i& before2 = w[(group - 2) & 3];
            __m128i next = _mm_sha256msg1_epu32(w[group & 3], w[(group - 3) & 3]);
            next = _mm_add_epi32(next, _mm_alignr_epi8(before1, before2, 4));
            w[group & 3] = _mm_sha256msg2_epu32(next, before1);
            four_rounds(abef, cdgh, w[group & 3], group);
        }
        abef = _mm_add_epi32(abef, abef_before);
        cdgh = _mm_add_epi32(cdgh, cdgh_before);
    }
    const __m128i feba = _mm_shuffle_epi32(abef, 0x1B);
    const __m128i dchg = _mm_shuffle_epi32(cdgh, 0xB1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_blend_epi16(feba, dchg, 0xF0));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), _mm_alignr_epi8(dchg, feba, 8));
}
#else
void sha256_blocks_instructions(std::uint32_t* state, const std::uint8_t* data, std::size_t blocks)
{
    sha256_blocks_portable(state, data, blocks);
}
#endif

namespace {

void compress(std::uint32_t* state, const std::uint8_t* data, std::size_t blocks)
{
    if (sha256_instructions())
        sha256_blocks_instructions(state, data, blocks);
    else
        sha256_blocks_portable(state, data, blocks);
}

}  // namespace

Sha256::Sha256() { reset(); }

void Sha256::reset()
{
    state_ = kInitialState;
    pending_size_ = 0;
    total_ = 0;
}

void Sha256::update(const std::uint8_t* data, std::size_t size)
{
    total_ += size;
    if (pending_size_ > 0) {
        const std::size_t taken = std::min(size, pending_.size() - pending_size_);
        std::memcpy(pending_.data() + pending_size_, data, taken);
        pending_size_ += taken;
        data += taken;
        size -= taken;
        if (pending_size_ < pending_.size()) return;
        compress(state_.data(), pending_.data(), 1);
        pending_size_ = 0;
    }
    const std::size_t blocks = size / 64;
    if (blocks > 0) compress(state_.data(), data, blocks);
    pending_size_ = size % 64;
    if (pending_size_ > 0) std::memcpy(pending_.data(), data + blocks * 64, pending_size_);
}

Sha256Digest Sha256::finish()
{
    // A one bit, zeros, and the message's length in bits, big-endian, to
    // end a block.
    const std::uint64_t bits = total_ * 8;
    std::uint8_t tail[72] = {0x80};
    const std::size_t zeros = (pending_size_ < 56 ? 56 : 120) - pending_size_;
    for (int i = 0; i < 8; ++i) tail[zeros + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(bits >> (56 - 8 * i));
    update(tail, zeros + 8);
    Sha256Digest digest;
    for (std::size_t i = 0; i < 8; ++i)
        for (std::size_t k = 0; k < 4; ++k) digest[4 * i + k] = static_cast<std::uint8_t>(state_[i] >> (24 - 8 * k));
    reset();
    return digest;
}

std::string sha256_hex(const Sha256Digest& digest)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    for (std::uint8_t byte : digest) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0xF];
    }
    return text;
}
