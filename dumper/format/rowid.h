// Rowids: the six bytes a piece header stores for the head or the next
// piece of a row (a block address and a slot, big-endian in files of either
// byte order) and their parts. Every split of a rowid or a block address
// into file, block and slot is here; values/text_writers.h writes them.
#pragma once

#include <cstdint>

#include "format/block_format.h"

// How a file's block addresses split into file and block.
enum class AddressLayout : std::uint8_t {
    Smallfile,  // the top 10 bits the relative file number, the low 22 the block
    Bigfile,    // all 32 bits the block number; the file bits are not used (likely)
};

// The relative file number the header of every file of a bigfile
// tablespace gives (sure; the 4096 of one mainframe platform is not read).
constexpr std::uint32_t kBigfileRelativeFile = 1024;

// The layout of a file whose header gives relative file number `relative_file`.
constexpr AddressLayout layout_of_relative_file(std::uint32_t relative_file)
{
    return relative_file == kBigfileRelativeFile ? AddressLayout::Bigfile : AddressLayout::Smallfile;
}

struct Rowid {
    std::uint32_t file = 0;   // relative file number (kBigfileRelativeFile in a bigfile tablespace)
    std::uint32_t block = 0;  // block number in that file
    std::uint32_t slot = 0;   // row directory slot
    AddressLayout layout = AddressLayout::Smallfile;

    friend bool operator==(const Rowid&, const Rowid&) = default;
};

// The relative file number and block number a block address (a block's
// own, at offset 4 of its header, or a rowid's) holds, read as `layout`
// says.
constexpr std::uint32_t address_file(std::uint32_t address, AddressLayout layout = AddressLayout::Smallfile)
{
    return layout == AddressLayout::Bigfile ? kBigfileRelativeFile : address >> block_format::kAddressBlockBits;
}
constexpr std::uint32_t address_block(std::uint32_t address, AddressLayout layout = AddressLayout::Smallfile)
{
    return layout == AddressLayout::Bigfile ? address : address & block_format::kAddressBlockMask;
}

// The parts of a rowid stored in a piece header of a file of `layout`.
constexpr Rowid read_rowid(const std::uint8_t (&id)[block_format::kRowidSize],
                           AddressLayout layout = AddressLayout::Smallfile)
{
    const std::uint32_t address = static_cast<std::uint32_t>(id[0]) << 24 | static_cast<std::uint32_t>(id[1]) << 16 |
                                  static_cast<std::uint32_t>(id[2]) << 8 | id[3];
    return {address_file(address, layout), address_block(address, layout),
            static_cast<std::uint32_t>(id[4]) << 8 | id[5], layout};
}
