// The output sink's formatters against plain reference formatting, at every
// length that takes a different path and at every position of the buffer's
// end, where a formatter has to write out what is buffered first; and how far
// a formatter may read past a value cut from a block.
#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "print/output_sink.h"
#include "test_support.h"

namespace {

std::vector<std::uint8_t> sample_bytes(std::size_t n)
{
    std::vector<std::uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::uint8_t>(i * 37 + 11);
    return v;
}

std::string spaced_hex(const std::vector<std::uint8_t>& v, std::size_t n) { return ::spaced_hex(v.data(), n); }

// Fills the sink so that `free` bytes are left before its buffer is full.
std::string fill(OutputSink& out, std::size_t free)
{
    std::string filler(OutputSink::kCapacity - free, 'x');
    out.text(filler);
    return filler;
}

// Lengths around every group size, and how far past them the bytes may be read.
TEST(OutputSink, HexColumnAtEveryLengthAndBufferEnd)
{
    const std::vector<std::uint8_t> data = sample_bytes(400);
    for (std::size_t n = 0; n <= 300; n = n < 70 ? n + 1 : n + 23) {
        for (std::size_t more : {0u, 1u, 3u, 15u, 31u, 47u, 100u}) {
            for (std::size_t free : {std::size_t{0}, std::size_t{1}, 3 * n, 3 * n + 4, 3 * n + 60, std::size_t{200}}) {
                if (free > OutputSink::kCapacity) continue;
                OutputSink out;
                std::string expected = fill(out, free);
                // The value starts `more` bytes before the end of its block.
                const ByteView block(data.data(), 7 + n + more);
                out.hex_column(n, block, 7, n);
                out.text("|");
                expected += std::to_string(n) + ": " + spaced_hex(std::vector<std::uint8_t>(data.begin() + 7, data.end()), n) + "\n|";
                ASSERT_EQ(out.captured(), expected) << "length " << n << ", readable " << n + more << ", free " << free;
            }
        }
    }
}

TEST(OutputSink, HexColumnOfAValueCutShortAtTheBlockEnd)
{
    const std::vector<std::uint8_t> data = sample_bytes(40);
    OutputSink out;
    out.hex_column(300, ByteView(data.data(), 40), 0, 40);
    out.hex_column(7, ByteView(data.data(), 2), 0, 2);
    EXPECT_EQ(out.captured(), "300: " + spaced_hex(data, 40) + "\n7: " + spaced_hex(data, 2) + "\n");
}

TEST(OutputSink, HexDumpLongerThanTheBuffer)
{
    const std::vector<std::uint8_t> data = sample_bytes(70000);
    for (std::size_t free : {std::size_t{0}, std::size_t{2}, std::size_t{5}, std::size_t{1000}}) {
        OutputSink out;
        std::string expected = fill(out, free);
        out.hex_dump(data.data(), data.size());
        ASSERT_EQ(out.captured(), expected + spaced_hex(data, data.size())) << "free " << free;
    }
}

TEST(OutputSink, BytesAtEveryShortLengthAndBufferEnd)
{
    const std::vector<std::uint8_t> data = sample_bytes(200);
    for (std::size_t n = 0; n <= 100; ++n) {
        for (std::size_t free : {std::size_t{0}, n / 2, n, n + 1, n + 40}) {
            OutputSink out;
            std::string expected = fill(out, free);
            out.bytes(data.data(), n);
            out.text("|");
            expected.append(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(n));
            expected += "|";
            ASSERT_EQ(out.captured(), expected) << "length " << n << ", free " << free;
        }
    }
}

TEST(OutputSink, DecimalAndHexadecimalNumbers)
{
    const std::int64_t values[] = {0,   1,    9,     10,     99,          100,         101,
                                   999, 1000, -1,    -9,     -10,         -99,         -100,
                                   255, 8192, 65535, 1 << 30, 2147483647, -2147483648LL, 4294967295LL,
                                   std::numeric_limits<std::int64_t>::max(), std::numeric_limits<std::int64_t>::min()};
    for (std::size_t free : {std::size_t{0}, std::size_t{1}, std::size_t{100}}) {
        OutputSink out;
        std::string expected = fill(out, free);
        char text[64];
        for (std::int64_t v : values) {
            out.dec(v);
            out.byte(',');
            std::snprintf(text, sizeof text, "%" PRId64 ",", v);
            expected += text;
            for (int digits : {2, 4}) {
                out.dec_min(v, digits);
                out.byte(',');
                std::snprintf(text, sizeof text, "%.*" PRId64 ",", digits, v);
                expected += text;
            }
            auto u = static_cast<std::uint32_t>(v);
            for (int digits : {1, 2, 4, 8}) {
                out.hex(u, digits);
                out.byte(',');
                std::snprintf(text, sizeof text, "%.*X,", digits, u);
                expected += text;
            }
        }
        ASSERT_EQ(out.captured(), expected) << "free " << free;
    }
}

TEST(OutputSink, ClaimedBytesAreOutputWhenCommitted)
{
    OutputSink out;
    std::string expected = fill(out, 3);
    char* p = out.claim(5);
    for (char c : std::string("hello")) *p++ = c;
    out.commit(p);
    p = out.claim(10);
    *p++ = '!';
    out.commit(p);
    EXPECT_EQ(out.captured(), expected + "hello!");
}

// Sinks in buffers of several workers hand their text on whole and in
// order, and the buffers they filled go back to the pool they share, which
// keeps no more than its bound: the next sink fills the same memory.
TEST(OutputSink, SinksInBuffersGiveTheirBuffersBackToTheirPool)
{
    constexpr std::size_t kKept = 3;
    SinkBuffers pool(kKept);
    OutputSink to;
    std::string expected;
    for (int part = 0; part < 4; ++part) {
        OutputSink in(OutputSink::InBuffers{&pool});
        // Five buffers' worth and a little, in one piece.
        const std::string text(5 * OutputSink::kCapacity + 17, static_cast<char>('a' + part));
        in.text(text);
        expected += text;
        in.move_captured_to(to);
        in.text("end\n");
        expected += "end\n";
        in.move_captured_to(to);
    }
    // Not EXPECT_EQ: the texts are megabytes long.
    EXPECT_TRUE(to.captured() == expected) << to.captured().size() << " bytes, not " << expected.size();

    // Given one more than it keeps, it keeps the first it was given and
    // hands them out again, the last given first.
    std::vector<std::unique_ptr<char[]>> given;
    std::vector<const char*> where;
    for (std::size_t i = 0; i < kKept + 1; ++i) {
        given.emplace_back(new char[OutputSink::kCapacity]);
        where.push_back(given.back().get());
    }
    SinkBuffers bounded(kKept);
    for (auto& buffer : given) bounded.give(std::move(buffer));
    for (std::size_t i = kKept; i-- > 0;) EXPECT_EQ(bounded.take().get(), where[i]);
}

TEST(ByteView, ReadsOutsideTheViewAreZeroInEitherByteOrder)
{
    const std::vector<std::uint8_t> bytes = sample_bytes(100);
    const ByteView block(bytes.data(), bytes.size());
    const ByteView value = block.sub(90, 5);
    EXPECT_EQ(value.size(), 5u);
    EXPECT_EQ(value.u8(4), bytes[94]);
    EXPECT_EQ(value.u8(5), 0);  // the block goes on, the view does not
    EXPECT_EQ(block.sub(90, 50).size(), 10u);
    EXPECT_TRUE(block.sub(100, 1).empty());
    EXPECT_EQ(block.u16le(98), bytes[98] | bytes[99] << 8);
    EXPECT_EQ(block.u16be(98), bytes[98] << 8 | bytes[99]);
    EXPECT_EQ(block.u16le(99), bytes[99]);
    EXPECT_EQ(block.u16be(99), bytes[99] << 8);
    auto u = [&](std::size_t i) { return std::uint32_t{bytes[i]}; };
    EXPECT_EQ(block.u32be(0), u(0) << 24 | u(1) << 16 | u(2) << 8 | u(3));
    EXPECT_EQ(block.u32(0, ByteOrder::Little), block.u32le(0));
    EXPECT_EQ(block.u32(0, ByteOrder::Big), block.u32be(0));
    EXPECT_EQ(block.u32le(97), u(97) | u(98) << 8 | u(99) << 16);
}

}  // namespace
