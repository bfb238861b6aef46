// A read-only view of bytes that answers zero for anything outside it, so a
// decoder can never read past a block or a value however corrupt the
// offsets it follows are.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

enum class ByteOrder : std::uint8_t { Little, Big };

class ByteView {
public:
    ByteView() = default;
    // A view holds at most 4 GiB - 1 bytes (blocks and values are far
    // smaller). Its size is kept in a whole word: the view is 16 bytes with
    // no padding, passed in two registers, and a view stored to memory is
    // read back in the same two words it was written in.
    ByteView(const std::uint8_t* data, std::size_t size) : data_(data), size_(clamp(size)) {}

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    const std::uint8_t* data() const { return data_; }

    std::uint8_t u8(std::size_t at) const { return at < size_ ? data_[at] : 0; }
    std::uint16_t u16le(std::size_t at) const { return static_cast<std::uint16_t>(u8(at) | (u8(at + 1) << 8)); }
    std::uint16_t u16be(std::size_t at) const { return static_cast<std::uint16_t>((u8(at) << 8) | u8(at + 1)); }
    std::uint32_t u32le(std::size_t at) const
    {
        return static_cast<std::uint32_t>(u16le(at)) | (static_cast<std::uint32_t>(u16le(at + 2)) << 16);
    }
    std::uint32_t u32be(std::size_t at) const
    {
        return (static_cast<std::uint32_t>(u16be(at)) << 16) | static_cast<std::uint32_t>(u16be(at + 2));
    }
    std::uint16_t u16(std::size_t at, ByteOrder order) const
    {
        return order == ByteOrder::Little ? u16le(at) : u16be(at);
    }
    std::uint32_t u32(std::size_t at, ByteOrder order) const
    {
        return order == ByteOrder::Little ? u32le(at) : u32be(at);
    }
    // The part of [at, at + len) that lies inside the view.
    ByteView sub(std::size_t at, std::size_t len) const
    {
        if (at >= size_) return {};
        std::size_t avail = size_ - at;
        return {data_ + at, len < avail ? len : avail};
    }
    // `N` bytes starting at `at`, zero where they lie outside the view.
    template <std::size_t N>
    void copy(std::size_t at, std::uint8_t (&out)[N]) const
    {
        if (at <= size_ && N <= size_ - at) {
            std::memcpy(out, data_ + at, N);  // the common case, in one move
            return;
        }
        for (std::size_t i = 0; i < N; ++i) out[i] = u8(at + i);
    }

private:
    static std::size_t clamp(std::size_t size) { return size < UINT32_MAX ? size : UINT32_MAX; }

    const std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
};

// A block: its bytes and the order its multi-byte header fields are stored in.
struct BlockView {
    ByteView bytes;
    ByteOrder order = ByteOrder::Little;

    std::size_t size() const { return bytes.size(); }
    std::uint8_t u8(std::size_t at) const { return bytes.u8(at); }
    std::uint16_t u16(std::size_t at) const { return bytes.u16(at, order); }
    std::uint32_t u32(std::size_t at) const { return bytes.u32(at, order); }
};
