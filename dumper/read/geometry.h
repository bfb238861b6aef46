// Finding a data file's block size and byte order from the file itself, for
// --block-size auto and --byte-order auto.
#pragma once

#include <cstdint>
#include <string>

#include "read/data_file.h"

// What was found, and from where, for -g.
struct LayoutFound {
    enum From : std::uint8_t { FileHeader, FormatByte };
    bool size_found = false;
    bool order_found = false;
    std::uint32_t block_size = 0;
    From size_from = FileHeader;  // the data file header at one block size, or block 0's format byte
    ByteOrder order = ByteOrder::Little;
    std::int32_t order_block = 0;  // the first block whose tail tells
};

// What the run leaves to the file.
struct GeometryChoice {
    Geometry given;            // used for what is not found
    bool find_size = false;
    bool find_order = false;
};

// Finds what `choice` leaves to the file and sets the file's geometry.
// Returns false, with why in `message`, when nothing fits.
bool find_geometry(DataFile& file, const GeometryChoice& choice, LayoutFound& found, std::string& message);
