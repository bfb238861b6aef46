// Where the blocks of a segment lie: the extents its header block maps, or,
// when that header is damaged, every block of a file that carries the
// segment's data object number.
#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "read/data_file.h"

namespace dictionary {

// A block of a set of data files: its relative file number and its place
// in that file.
struct BlockPlace {
    std::uint32_t file = 0;
    std::uint32_t block = 0;

    friend bool operator==(const BlockPlace&, const BlockPlace&) = default;
};

// "file 1 block 240", for messages.
std::string place_text(const BlockPlace& place);

// A run of blocks of one segment.
struct ExtentRange {
    BlockPlace first;
    std::uint32_t length = 0;
};

// What a segment header maps, or why it cannot be believed.
struct SegmentMap {
    std::vector<ExtentRange> extents;
    std::uint32_t object = 0;  // the object number a freelist segment's header holds; 0 when none
    std::string problem;       // empty when the header was read and its extents fit

    bool ok() const { return problem.empty(); }
};

// Reads the segment header at `header`: a freelist segment's (type 0x10)
// or an automatically managed one's (type 0x23). The header is refused
// when it cannot be read, is of another type, fails its checksum or tail,
// or maps extents that lie outside the files or do not start with it.
SegmentMap read_segment_map(DataFileSet& files, const BlockPlace& header);

// The blocks the extents hold, in order, but for the segment header itself.
std::vector<BlockPlace> segment_blocks(const SegmentMap& map, const BlockPlace& header);

// The data blocks of `file` (relative file number `file_number`) that
// carry one of `data_objects`, by data object, in one pass over the file.
std::map<std::uint32_t, std::vector<BlockPlace>> scan_for_data_objects(DataFile& file, std::uint32_t file_number,
                                                                      std::span<const std::uint32_t> data_objects);

}  // namespace dictionary
