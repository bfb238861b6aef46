// Rowids: the six bytes a piece header stores for the head or the next
// piece of a row (a block address and a slot, big-endian in files of either
// byte order) and their parts. Every split of a rowid or a block address
// into file, block and slot is here; values/text_writers.h writes them.
#pragma once

#include <cstdint>

#include "format/block_format.h"

struct Rowid {
    std::uint32_t file = 0;   // relative file number
    std::uint32_t block = 0;  // block number in that file
    std::uint32_t slot = 0;   // row directory slot

    friend bool operator==(const Rowid&, const Rowid&) = default;
};

// The parts of a rowid stored in a piece header.
constexpr Rowid read_rowid(const std::uint8_t (&id)[block_format::kRowidSize])
{
    const std::uint32_t address = static_cast<std::uint32_t>(id[0]) << 24 | static_cast<std::uint32_t>(id[1]) << 16 |
                                  static_cast<std::uint32_t>(id[2]) << 8 | id[3];
    return {address >> block_format::kAddressBlockBits, address & block_format::kAddressBlockMask,
            static_cast<std::uint32_t>(id[4]) << 8 | id[5]};
}

// The relative file number and block number a block address (a block's
// own, at offset 4 of its header, or a rowid's) holds.
constexpr std::uint32_t address_file(std::uint32_t address) { return address >> block_format::kAddressBlockBits; }
constexpr std::uint32_t address_block(std::uint32_t address) { return address & block_format::kAddressBlockMask; }
