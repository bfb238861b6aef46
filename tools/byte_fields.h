// Writing multi-byte header fields into a block under construction, in the
// file's byte order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "format/byte_view.h"

namespace datafile {

inline void put16(std::vector<std::uint8_t>& b, std::size_t at, std::uint16_t v, ByteOrder order = ByteOrder::Little)
{
    const bool little = order == ByteOrder::Little;
    b[at + (little ? 0 : 1)] = static_cast<std::uint8_t>(v);
    b[at + (little ? 1 : 0)] = static_cast<std::uint8_t>(v >> 8);
}

inline void put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v, ByteOrder order = ByteOrder::Little)
{
    const bool little = order == ByteOrder::Little;
    put16(b, at + (little ? 0 : 2), static_cast<std::uint16_t>(v), order);
    put16(b, at + (little ? 2 : 0), static_cast<std::uint16_t>(v >> 16), order);
}

}  // namespace datafile
