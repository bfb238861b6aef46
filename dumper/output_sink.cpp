#include "output_sink.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {
constexpr char kHexDigits[] = "0123456789ABCDEF";
}

OutputSink::OutputSink(int fd) : fd_(fd), buffer_(new char[kCapacity]) {}

OutputSink::OutputSink() : OutputSink(-1) {}

OutputSink::~OutputSink()
{
    flush();
    delete[] buffer_;
}

void OutputSink::text(std::string_view s)
{
    bytes(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
}

void OutputSink::bytes(const std::uint8_t* data, std::size_t size)
{
    while (size > 0) {
        if (used_ == kCapacity) drain();
        std::size_t take = kCapacity - used_ < size ? kCapacity - used_ : size;
        std::memcpy(buffer_ + used_, data, take);
        used_ += take;
        data += take;
        size -= take;
    }
}

void OutputSink::dec_min(std::int64_t value, int digits)
{
    char scratch[24];
    char* end = scratch + sizeof scratch;
    char* p = end;
    // Work on the magnitude as unsigned so the most negative value is safe.
    std::uint64_t magnitude = value < 0 ? 0 - static_cast<std::uint64_t>(value)
                                        : static_cast<std::uint64_t>(value);
    do {
        *--p = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    while (end - p < digits && p > scratch + 1) *--p = '0';
    if (value < 0) *--p = '-';
    char* out = reserve(static_cast<std::size_t>(end - p));
    std::memcpy(out, p, static_cast<std::size_t>(end - p));
    used_ += static_cast<std::size_t>(end - p);
}

void OutputSink::hex(std::uint32_t value, int digits)
{
    char scratch[8];
    int count = 0;
    do {
        scratch[count++] = kHexDigits[value & 0xF];
        value >>= 4;
    } while (value != 0);
    while (count < digits && count < 8) scratch[count++] = '0';
    char* out = reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) out[i] = scratch[count - 1 - i];
    used_ += static_cast<std::size_t>(count);
}

void OutputSink::hex_byte_spaced(std::uint8_t value)
{
    char* out = reserve(3);
    out[0] = kHexDigits[value >> 4];
    out[1] = kHexDigits[value & 0xF];
    out[2] = ' ';
    used_ += 3;
}

void OutputSink::hex_dump(const std::uint8_t* data, std::size_t size)
{
    while (size > 0) {
        if (kCapacity - used_ < 3) drain();
        std::size_t take = (kCapacity - used_) / 3;
        if (take > size) take = size;
        char* out = buffer_ + used_;
        for (std::size_t i = 0; i < take; ++i) {
            out[3 * i] = kHexDigits[data[i] >> 4];
            out[3 * i + 1] = kHexDigits[data[i] & 0xF];
            out[3 * i + 2] = ' ';
        }
        used_ += 3 * take;
        data += take;
        size -= take;
    }
}

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
    if (fd_ < 0) {
        collected_.append(buffer_, used_);
        used_ = 0;
        return;
    }
    std::size_t done = 0;
    while (done < used_ && !failed_) {
        ssize_t n = ::write(fd_, buffer_ + done, used_ - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            failed_ = true;
            error_ = errno;
        } else {
            done += static_cast<std::size_t>(n);
        }
    }
    // After a failure the rest is dropped: the caller stops at its next check.
    used_ = 0;
}

bool OutputSink::flush()
{
    drain();
    return !failed_;
}

const std::string& OutputSink::captured()
{
    drain();
    return collected_;
}
