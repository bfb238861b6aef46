#include "print/output_sink.h"

#include <array>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__)) && !defined(TREVANIX_PORTABLE_HEX)
#include <immintrin.h>
#endif

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

// Every byte's hex dump text, "XY " and a fourth byte, so that one 4-byte
// copy writes it; the next byte's copy overwrites the fourth.
struct SpacedHex {
    char text[4];
};

constexpr std::array<SpacedHex, 256> make_spaced_hex()
{
    std::array<SpacedHex, 256> table{};
    for (std::size_t i = 0; i < 256; ++i)
        table[i] = {{kHexDigits[i >> 4], kHexDigits[i & 0xF], ' ', ' '}};
    return table;
}

constexpr std::array<SpacedHex, 256> kSpacedHex = make_spaced_hex();

}  // namespace

// Building with TREVANIX_PORTABLE_HEX defined leaves out the SSSE3 version,
// to test the portable loop on a machine that has SSSE3.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__)) && !defined(TREVANIX_PORTABLE_HEX)
#define TREVANIX_HEX_SSSE3 1
#endif

#ifdef TREVANIX_HEX_SSSE3
// The hex dump sixteen bytes at a time with SSSE3 byte shuffles, used when
// the processor has them (every x86-64 processor of the last fifteen years).
namespace {

// The shuffles that spread 16 hex digit pairs over 24 bytes with a space
// after each pair; -1 picks a zero, which the spaces are then or-ed into.
#define TREVANIX_SPREAD(a, b, c, d, e, f, g, h, i, j, k, l, m, n, o, p) \
    _mm_setr_epi8(a, b, c, d, e, f, g, h, i, j, k, l, m, n, o, p)

__attribute__((target("ssse3"))) inline void spread_pairs(char* out, __m128i pairs, __m128i first_spread,
                                                           __m128i first_spaces)
{
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                     _mm_or_si128(_mm_shuffle_epi8(pairs, first_spread), first_spaces));
}

// The hex digits of the bytes of `v` as pairs of characters: those of the low
// eight bytes in `low_pairs`, of the high eight in `high_pairs`.
__attribute__((target("ssse3"))) inline void digit_pairs(__m128i v, __m128i& low_pairs, __m128i& high_pairs)
{
    const __m128i digits = _mm_setr_epi8('0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'A', 'B', 'C', 'D',
                                         'E', 'F');
    const __m128i nibble = _mm_set1_epi8(0x0F);
    __m128i high = _mm_shuffle_epi8(digits, _mm_and_si128(_mm_srli_epi16(v, 4), nibble));
    __m128i low = _mm_shuffle_epi8(digits, _mm_and_si128(v, nibble));
    low_pairs = _mm_unpacklo_epi8(high, low);
    high_pairs = _mm_unpackhi_epi8(high, low);
}

// 16 bytes to 48 characters.
__attribute__((target("ssse3"))) inline void put16(char* out, const std::uint8_t* data)
{
    const __m128i s0 = TREVANIX_SPREAD(0, 1, -1, 2, 3, -1, 4, 5, -1, 6, 7, -1, 8, 9, -1, 10);
    const __m128i s1a = TREVANIX_SPREAD(11, -1, 12, 13, -1, 14, 15, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m128i s1b = TREVANIX_SPREAD(-1, -1, -1, -1, -1, -1, -1, -1, 0, 1, -1, 2, 3, -1, 4, 5);
    const __m128i s2 = TREVANIX_SPREAD(-1, 6, 7, -1, 8, 9, -1, 10, 11, -1, 12, 13, -1, 14, 15, -1);
    const __m128i g0 = TREVANIX_SPREAD(0, 0, ' ', 0, 0, ' ', 0, 0, ' ', 0, 0, ' ', 0, 0, ' ', 0);
    const __m128i g1 = TREVANIX_SPREAD(0, ' ', 0, 0, ' ', 0, 0, ' ', 0, 0, ' ', 0, 0, ' ', 0, 0);
    const __m128i g2 = TREVANIX_SPREAD(' ', 0, 0, ' ', 0, 0, ' ', 0, 0, ' ', 0, 0, ' ', 0, 0, ' ');
    __m128i p0, p1;
    digit_pairs(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data)), p0, p1);
    spread_pairs(out, p0, s0, g0);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16),
                     _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(p0, s1a), _mm_shuffle_epi8(p1, s1b)), g1));
    spread_pairs(out + 32, p1, s2, g2);
}

// 8 bytes to 24 characters.
__attribute__((target("ssse3"))) inline void put8(char* out, const std::uint8_t* data)
{
    const __m128i s0 = TREVANIX_SPREAD(0, 1, -1, 2, 3, -1, 4, 5, -1, 6, 7, -1, 8, 9, -1, 10);
    const __m128i s1 = TREVANIX_SPREAD(11, -1, 12, 13, -1, 14, 15, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m128i g0 = TREVANIX_SPREAD(0, 0, ' ', 0, 0, ' ', 0, 0, ' ', 0, 0, ' ', 0, 0, ' ', 0);
    const __m128i g1 = TREVANIX_SPREAD(0, ' ', 0, 0, ' ', 0, 0, ' ', 0, 0, 0, 0, 0, 0, 0, 0);
    __m128i p0, p1;
    digit_pairs(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(data)), p0, p1);
    spread_pairs(out, p0, s0, g0);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 16), _mm_or_si128(_mm_shuffle_epi8(p0, s1), g1));
}

// 4 bytes to 12 characters and 4 spare ones.
__attribute__((target("ssse3"))) inline void put4(char* out, const std::uint8_t* data)
{
    const __m128i s0 = TREVANIX_SPREAD(0, 1, -1, 2, 3, -1, 4, 5, -1, 6, 7, -1, -1, -1, -1, -1);
    const __m128i g0 = TREVANIX_SPREAD(0, 0, ' ', 0, 0, ' ', 0, 0, ' ', 0, 0, ' ', 0, 0, 0, 0);
    std::int32_t word;
    std::memcpy(&word, data, 4);
    __m128i p0, p1;
    digit_pairs(_mm_cvtsi32_si128(word), p0, p1);
    spread_pairs(out, p0, s0, g0);
}

#undef TREVANIX_SPREAD

// Like the portable loop below: whole groups of 16 when enough bytes can be
// read, else overlapping groups of 16, 8 or 4.
__attribute__((target("ssse3"))) inline char* put_spaced_hex_ssse3(char* out, const std::uint8_t* data,
                                                                   std::size_t size, std::size_t readable)
{
    if (readable >= ((size + 15) & ~std::size_t{15})) {
        for (std::size_t i = 0; i < size; i += 16) put16(out + 3 * i, data + i);
    } else if (size >= 16) {
        for (std::size_t i = 0; i + 16 <= size; i += 16) put16(out + 3 * i, data + i);
        put16(out + 3 * (size - 16), data + size - 16);
    } else if (size >= 8) {
        put8(out, data);
        put8(out + 3 * (size - 8), data + size - 8);
    } else if (size >= 4) {
        put4(out, data);
        put4(out + 3 * (size - 4), data + size - 4);
    } else if (size > 0) {
        std::memcpy(out, kSpacedHex[data[0]].text, 4);
        std::memcpy(out + 3 * (size / 2), kSpacedHex[data[size / 2]].text, 4);
        std::memcpy(out + 3 * (size - 1), kSpacedHex[data[size - 1]].text, 4);
    }
    return out + 3 * size;
}

}  // namespace
#endif

namespace {

inline char* put_spaced_hex_portable(char* out, const std::uint8_t* data, std::size_t size, std::size_t readable)
{
    // Column lengths vary from one column to the next, and a mispredicted
    // branch costs more than a few stores, so the branches here are few:
    // when the bytes can be read, whole groups of four; else a column of 1
    // to 3 bytes is written as bytes 0, size / 2 and size - 1 (some twice),
    // and a longer one four bytes at a time, its last four written again,
    // overlapping. Each copy's fourth byte is overwritten by the copy that
    // follows, except the very last one, which lands in the spare bytes.
    auto put = [&](std::size_t i) { std::memcpy(out + 3 * i, kSpacedHex[data[i]].text, 4); };
    if (readable >= ((size + 3) & ~std::size_t{3})) {
        for (std::size_t i = 0; i < size; i += 4) {
            put(i);
            put(i + 1);
            put(i + 2);
            put(i + 3);
        }
    } else if (size >= 4) {
        for (std::size_t i = 0; i + 4 <= size; i += 4) {
            put(i);
            put(i + 1);
            put(i + 2);
            put(i + 3);
        }
        put(size - 4);
        put(size - 3);
        put(size - 2);
        put(size - 1);
    } else if (size > 0) {
        put(0);
        put(size / 2);
        put(size - 1);
    }
    return out + 3 * size;
}

// The lines of a piece's hex dump, with the conversion of each value
// inlined: one call per piece.
template <char* (*put_spaced)(char*, const std::uint8_t*, std::size_t, std::size_t)>
inline char* put_hex_lines(char* out, const ColumnRecord* column, std::size_t count, const ByteView& block)
{
    const std::uint8_t* const data = block.data();
    const std::size_t size = block.size();
    for (const ColumnRecord* const end = column + count; column != end; ++column) {
        if (column->is_null()) {
            std::memcpy(out, "1: FF\n", 6);
            out += 6;
            continue;
        }
        // Columns lie in the block: their bytes may be read to its end.
        const std::size_t at = column->value_at;
        out = OutputSink::put_count(out, column->announced);
        out = put_spaced(out, data + at, column->size, size - at);
        *out++ = '\n';
    }
    return out;
}

char* put_hex_lines_portable(char* out, const ColumnRecord* columns, std::size_t count, const ByteView& block)
{
    return put_hex_lines<put_spaced_hex_portable>(out, columns, count, block);
}

#ifdef TREVANIX_HEX_SSSE3
__attribute__((target("ssse3"), flatten)) char* put_hex_lines_ssse3(char* out, const ColumnRecord* columns,
                                                                    std::size_t count, const ByteView& block)
{
    return put_hex_lines<put_spaced_hex_ssse3>(out, columns, count, block);
}
#endif

}  // namespace

char* OutputSink::put_spaced_hex(char* out, const std::uint8_t* data, std::size_t size, std::size_t readable)
{
#ifdef TREVANIX_HEX_SSSE3
    static const bool have_ssse3 = __builtin_cpu_supports("ssse3");
    if (have_ssse3) return put_spaced_hex_ssse3(out, data, size, readable);
#endif
    return put_spaced_hex_portable(out, data, size, readable);
}

// Chosen once, by what the processor has.
char* (*const OutputSink::put_hex_lines)(char*, const ColumnRecord*, std::size_t, const ByteView&) =
#ifdef TREVANIX_HEX_SSSE3
    __builtin_cpu_supports("ssse3") ? put_hex_lines_ssse3 :
#endif
                                    put_hex_lines_portable;

OutputSink::OutputSink(int fd) : fd_(fd), buffer_(new char[kCapacity]) {}

OutputSink::OutputSink() : OutputSink(-1) {}

std::unique_ptr<char[]> SinkBuffers::take()
{
    {
        std::lock_guard lock(mutex_);
        if (!kept_.empty()) {
            std::unique_ptr<char[]> buffer = std::move(kept_.back());
            kept_.pop_back();
            return buffer;
        }
    }
    return std::unique_ptr<char[]>(new char[OutputSink::kCapacity]);
}

void SinkBuffers::give(std::unique_ptr<char[]> buffer)
{
    std::lock_guard lock(mutex_);
    if (kept_.size() < most_kept_) kept_.push_back(std::move(buffer));
}

OutputSink::OutputSink(InBuffers in)
    : fd_(-1), buffer_(in.buffers ? in.buffers->take().release() : new char[kCapacity]), in_buffers_(true),
      pool_(in.buffers)
{
}

OutputSink::~OutputSink()
{
    flush();
    if (pool_) {
        pool_->give(std::unique_ptr<char[]>(buffer_));
        if (spare_) pool_->give(std::move(spare_));
    } else {
        delete[] buffer_;
    }
}

void OutputSink::bytes_slow(const std::uint8_t* data, std::size_t size)
{
    // Many bytes at once (those a worker printed) go past the buffer; a
    // sink in buffers keeps them in its buffers, the only ones it hands on.
    if (size >= kCapacity && !in_buffers_) {
        drain();
        put_out(reinterpret_cast<const char*>(data), size);
        return;
    }
    while (size > 0) {
        if (used_ == kCapacity) drain();
        std::size_t take = kCapacity - used_ < size ? kCapacity - used_ : size;
        std::memcpy(buffer_ + used_, data, take);
        used_ += take;
        data += take;
        size -= take;
    }
}

// Digits are written straight into the buffer, from the last one back: no
// scratch copy on the stack.
void OutputSink::dec_min(std::int64_t value, int digits)
{
    // Work on the magnitude as unsigned so the most negative value is safe.
    const std::uint64_t magnitude = value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    int count = decimal_digits(magnitude);
    if (count < digits) count = digits < 20 ? digits : 20;
    const std::size_t length = static_cast<std::size_t>(count) + (value < 0);
    char* out = reserve(length);
    if (value < 0) *out = '-';
    put_digits_before(out + length, magnitude, count);
    used_ += length;
}

void OutputSink::hex(std::uint32_t value, int digits)
{
    commit(put_hex_number(claim(8), value, digits));
}

void OutputSink::hex_dump(const std::uint8_t* data, std::size_t size)
{
    while (size > 0) {
        // Room for 3 bytes per byte and the spare bytes.
        if (kCapacity - used_ < 3 + kHexSpare) drain();
        std::size_t take = (kCapacity - used_ - kHexSpare) / 3;
        if (take > size) take = size;
        put_spaced_hex(buffer_ + used_, data, take, take);
        used_ += 3 * take;
        data += take;
        size -= take;
    }
}

void OutputSink::hex_column_slow(std::size_t announced, const ByteView& bytes)
{
    dec(static_cast<std::int64_t>(announced));
    text(": ");
    hex_dump(bytes.data(), bytes.size());
    byte('\n');
}

#ifdef TREVANIX_CHECK_CLAIMS
void OutputSink::check_claim(std::size_t n) const
{
    if (n <= kCapacity) return;
    std::fprintf(stderr, "OutputSink: a claim of %zu bytes is larger than the buffer\n", n);
    std::abort();
}

void OutputSink::check_commit(const char* end) const
{
    if (claimed_end_ != nullptr && end >= buffer_ + used_ && end <= claimed_end_) return;
    std::fprintf(stderr, "OutputSink: a commit outside the room claimed\n");
    std::abort();
}
#endif

void OutputSink::rowid(const std::uint8_t (&id)[6])
{
    char* out = reserve(12);
    for (int i = 0; i < 6; ++i) {
        out[2 * i] = kHexDigits[id[i] >> 4];
        out[2 * i + 1] = kHexDigits[id[i] & 0xF];
    }
    used_ += 12;
}

void OutputSink::drain()
{
    if (in_buffers_) {
        if (used_ == 0) return;
        filled_.emplace_back(std::unique_ptr<char[]>(buffer_), used_);
        buffer_ = spare_ ? spare_.release() : pool_ ? pool_->take().release() : new char[kCapacity];
        used_ = 0;
        return;
    }
    put_out(buffer_, used_);
    // After a failure the rest is dropped: the caller stops at its next check.
    used_ = 0;
}

void OutputSink::put_out(const char* data, std::size_t size)
{
    if (fd_ < 0) {
        collected_.append(data, size);
        return;
    }
    std::size_t done = 0;
    while (done < size && !failed_) {
        ssize_t n = ::write(fd_, data + done, size - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            failed_ = true;
            error_ = errno;
        } else {
            done += static_cast<std::size_t>(n);
        }
    }
}

bool OutputSink::flush()
{
    drain();
    return !failed_;
}

const std::string& OutputSink::captured()
{
    drain();
    for (const auto& [bytes, size] : filled_) collected_.append(bytes.get(), size);
    filled_.clear();
    return collected_;
}

std::size_t OutputSink::held_bytes() const
{
    std::size_t bytes = used_ + collected_.size();
    for (const auto& buffer : filled_) bytes += buffer.second;
    return bytes;
}

void OutputSink::move_captured_to(OutputSink& to)
{
    drain();
    if (!in_buffers_) {
        to.text(collected_);
        collected_.clear();
        return;
    }
    for (auto& [bytes, size] : filled_) {
        // A buffer of many bytes goes past the other sink's.
        if (size >= kCapacity / 2 && !to.in_buffers_) {
            to.drain();
            to.put_out(bytes.get(), size);
        } else {
            to.text(std::string_view(bytes.get(), size));
        }
        // One buffer is kept for what comes next: sinks kept idle hold little.
        if (!spare_) {
            spare_ = std::move(bytes);
        } else if (pool_) {
            pool_->give(std::move(bytes));
        }
    }
    filled_.clear();
}
