// Buffered output for the block dumper: every line the program prints goes
// through one sink, which either writes to a file descriptor in large chunks
// or collects everything into a string (for tests).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class OutputSink {
public:
    // Writes to `fd` (normally standard output).
    explicit OutputSink(int fd);
    // Collects all output; read it back with captured().
    OutputSink();
    ~OutputSink();
    OutputSink(const OutputSink&) = delete;
    OutputSink& operator=(const OutputSink&) = delete;

    void byte(char c)
    {
        if (used_ == kCapacity) drain();
        buffer_[used_++] = c;
    }
    void text(std::string_view s);
    void bytes(const std::uint8_t* data, std::size_t size);

    // "%d" / "%u" / "%lld"
    void dec(std::int64_t value) { dec_min(value, 1); }
    // "%.Nd": at least `digits` digits, the sign in front of them.
    void dec_min(std::int64_t value, int digits);
    // "%X" / "%.NX": upper-case hexadecimal with at least `digits` digits.
    void hex(std::uint32_t value, int digits = 1);
    // Two upper-case hexadecimal digits and a space: one byte of a hex dump.
    void hex_byte_spaced(std::uint8_t value);
    // hex_byte_spaced over a run of bytes.
    void hex_dump(const std::uint8_t* data, std::size_t size);
    // Twelve hexadecimal digits for a six-byte rowid, in stored order.
    void rowid(const std::uint8_t (&id)[6]);

    // Writes out what is buffered. Returns false once any write has failed.
    bool flush();
    bool failed() const { return failed_; }
    int error_number() const { return error_; }
    // Everything written so far, for a collecting sink.
    const std::string& captured();

private:
    static constexpr std::size_t kCapacity = 1 << 16;
    // Makes room for at least `n` more bytes.
    char* reserve(std::size_t n)
    {
        if (kCapacity - used_ < n) drain();
        return buffer_ + used_;
    }
    void drain();

    int fd_;
    bool failed_ = false;
    int error_ = 0;
    std::size_t used_ = 0;
    char* buffer_;
    std::string collected_;
};
