// Buffered output for the block dumper: every line the program prints goes
// through one sink, which either writes to a file descriptor in large chunks
// or collects everything into a string (for tests).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>
#include <string>
#include <string_view>

#include "format/byte_view.h"
#include "format/records.h"
#include "values/text_writers.h"

// Buffers for the sinks in buffers of several workers, given back once
// written out and kept, up to `most_kept`, for the next sink that fills
// one: a buffer taken from the system anew is faulted in page by page,
// and given back it is unmapped, which with many workers cost more
// processor time than printing into it.
class SinkBuffers {
public:
    explicit SinkBuffers(std::size_t most_kept) : most_kept_(most_kept) {}
    // One of OutputSink::kCapacity bytes: a kept one, or a new one.
    std::unique_ptr<char[]> take();
    void give(std::unique_ptr<char[]> buffer);

private:
    std::mutex mutex_;
    std::vector<std::unique_ptr<char[]>> kept_;
    std::size_t most_kept_;
};

class OutputSink {
public:
    // Writes to `fd` (normally standard output).
    explicit OutputSink(int fd);
    // Collects all output; read it back with captured().
    OutputSink();
    // Collects all output in buffers of its own, handed on whole by
    // move_captured_to(), which leaves the sink empty: the output of one
    // worker's range, copied once. Its buffers come from `buffers`, and go
    // back there once handed on, when it is given.
    struct InBuffers {
        SinkBuffers* buffers = nullptr;
    };
    explicit OutputSink(InBuffers);
    ~OutputSink();
    OutputSink(const OutputSink&) = delete;
    OutputSink& operator=(const OutputSink&) = delete;

    void byte(char c)
    {
        if (used_ == kCapacity) drain();
        buffer_[used_++] = c;
    }
    // Short pieces of text, the common case, are copied straight in.
    void text(std::string_view s)
    {
        if (kCapacity - used_ >= s.size()) {
            std::memcpy(buffer_ + used_, s.data(), s.size());
            used_ += s.size();
        } else {
            bytes_slow(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
        }
    }
    void bytes(const std::uint8_t* data, std::size_t size)
    {
        if (kCapacity - used_ < size) {
            bytes_slow(data, size);
            return;
        }
        used_ = static_cast<std::size_t>(put_bytes(buffer_ + used_, data, size) - buffer_);
    }

    // "%d" / "%u" / "%lld"
    void dec(std::int64_t value)
    {
        // Lengths, counts and offsets below 100 are by far the most common.
        if (value >= 0 && value < 100 && kCapacity - used_ >= 2) {
            if (value < 10) {
                buffer_[used_++] = static_cast<char>('0' + value);
            } else {
                std::memcpy(buffer_ + used_, kDigitPairs + 2 * value, 2);
                used_ += 2;
            }
            return;
        }
        dec_min(value, 1);
    }
    // "%.Nd": at least `digits` digits, the sign in front of them.
    void dec_min(std::int64_t value, int digits);
    // "%X" / "%.NX": upper-case hexadecimal with at least `digits` digits.
    void hex(std::uint32_t value, int digits = 1);
    // Each byte as two upper-case hexadecimal digits and a space.
    void hex_dump(const std::uint8_t* data, std::size_t size);
    // One column of a hex dump: "%d: " with `announced`, the `size` bytes of
    // `block` from `at` on as hex_dump prints them, then a newline. `size`
    // is at most `announced`. Given the block and not only the value, the
    // formatter may convert whole groups of bytes as long as they lie in it.
    void hex_column(std::size_t announced, const ByteView& block, std::size_t at, std::size_t size)
    {
        const std::size_t most = hex_column_room(size);
        if (most > kCapacity) {
            hex_column_slow(announced, block.sub(at, size));
            return;
        }
        commit(put_hex_column(claim(most), announced, block, at, size));
    }
    // Twelve hexadecimal digits for a six-byte rowid, in stored order.
    void rowid(const std::uint8_t (&id)[6]);

    // Writes out what is buffered. Returns false once any write has failed.
    bool flush();
    bool failed() const { return failed_; }
    // The file descriptor written to, or -1 for a collecting sink.
    int fd() const { return fd_; }
    int error_number() const { return error_; }
    // Everything written so far, for a collecting sink.
    const std::string& captured();
    // Writes what it collected into `to`, and forgets it (keeping the room).
    void move_captured_to(OutputSink& to);
    // What a sink in buffers holds, to be moved.
    std::size_t held_bytes() const;

    // Bytes a hex dump may write past its text (see put_spaced_hex).
    static constexpr std::size_t kHexSpare = 48;

    // Direct writing, for formatters that know the most they can write:
    // claim(n) returns where the next n bytes go (writing out what is
    // buffered first when fewer are free; n is at most kCapacity), and
    // commit(end) takes the bytes written up to `end` as output. Builds
    // with TREVANIX_CHECK_CLAIMS check that no more than n bytes are taken.
    static constexpr std::size_t kCapacity = 1 << 18;
    char* claim(std::size_t n)
    {
        char* start = reserve(n);
#ifdef TREVANIX_CHECK_CLAIMS
        check_claim(n);
        claimed_end_ = start + n;
#endif
        return start;
    }
    void commit(char* end)
    {
#ifdef TREVANIX_CHECK_CLAIMS
        check_commit(end);
        claimed_end_ = nullptr;
#endif
        used_ = static_cast<std::size_t>(end - buffer_);
    }

    // Writers for claimed room, each returning the end of what it wrote.
    // A hex dump column as hex_column() prints it, needing room for
    // hex_column_room(size) bytes; the bytes past its end are scratch.
    static char* put_hex_column(char* out, std::size_t announced, const ByteView& block, std::size_t at,
                                std::size_t size)
    {
        out = put_count(out, announced);
        const ByteView bytes = block.sub(at, size);
        out = put_spaced_hex(out, bytes.data(), bytes.size(), at < block.size() ? block.size() - at : 0);
        *out++ = '\n';
        return out;
    }
    static constexpr std::size_t hex_column_room(std::size_t size) { return 3 * size + 24 + kHexSpare; }
    // The hex dump lines of `count` columns of a row piece in `block`, as
    // hex_column() prints them ("1: FF" for a NULL), needing room for
    // 3 * (their value bytes) + 24 * count + kHexSpare bytes.
    static char* (*const put_hex_lines)(char* out, const ColumnRecord* columns, std::size_t count,
                                        const ByteView& block);
    // "%d: " for a column's length.
    static char* put_count(char* out, std::size_t announced)
    {
        if (announced < 100) {
            // One or two digits without a branch: below 10 the pair's
            // second digit goes first, and the colon overwrites what follows.
            const bool one_digit = announced < 10;
            std::memcpy(out, kDigitPairs + 2 * announced + one_digit, 2);
            out += 2 - one_digit;
        } else {
            out = put_decimal(out, announced);
        }
        *out++ = ':';
        *out++ = ' ';
        return out;
    }
    // The `size` bytes of `block` from `at` on, copied to `out`, which has
    // room for size + kCopySpare bytes. Given the block and not only the
    // value, whole groups of 32 bytes are copied as long as they lie in it;
    // what lands past the value's end is scratch.
    static constexpr std::size_t kCopySpare = 32;
    static char* put_block_bytes(char* out, const ByteView& block, std::size_t at, std::size_t size)
    {
        const ByteView bytes = block.sub(at, size);
        const std::size_t whole = (bytes.size() + 31) & ~std::size_t{31};
        if (block.size() - at < whole) return put_bytes(out, bytes.data(), bytes.size());
        for (std::size_t i = 0; i < bytes.size(); i += 32) std::memcpy(out + i, bytes.data() + i, 32);
        return out + bytes.size();
    }
private:
    // Makes room for at least `n` more bytes.
    char* reserve(std::size_t n)
    {
        if (kCapacity - used_ < n) drain();
        return buffer_ + used_;
    }
    void drain();
    // Writes `size` bytes out (or collects them), past the buffer.
    void put_out(const char* data, std::size_t size);
    void bytes_slow(const std::uint8_t* data, std::size_t size);
    void hex_column_slow(std::size_t announced, const ByteView& bytes);
#ifdef TREVANIX_CHECK_CLAIMS
    void check_claim(std::size_t n) const;
    void check_commit(const char* end) const;
    const char* claimed_end_ = nullptr;
#endif
    // Writes the hex dump of `size` bytes at `out`, which has room for
    // 3 * size + kHexSpare bytes; returns the end of the 3 * size bytes
    // written. What lies in the spare bytes after that is scratch. `data`
    // may be read for `readable` bytes (at least `size`): the rest of the
    // block it lies in.
    static char* put_spaced_hex(char* out, const std::uint8_t* data, std::size_t size, std::size_t readable);

    int fd_;
    bool failed_ = false;
    int error_ = 0;
    std::size_t used_ = 0;
    char* buffer_;
    std::string collected_;
    // In buffers: those filled, with their sizes, and one spare.
    bool in_buffers_ = false;
    std::vector<std::pair<std::unique_ptr<char[]>, std::size_t>> filled_;
    std::unique_ptr<char[]> spare_;
    SinkBuffers* pool_ = nullptr;
};
