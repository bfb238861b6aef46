// Where the blocks of a segment lie: the extents its header block and its
// extent map blocks list, checked, or, when those cannot be believed, every
// block of a file that carries the segment's data object number.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "read/data_file.h"

namespace dictionary {

// A block of a set of data files: its relative file number and its place
// in that file. The files of bigfile tablespaces all give relative file
// number 1024, so a block of one also names its file's place in the set.
struct BlockPlace {
    std::uint32_t file = 0;
    std::uint32_t block = 0;
    std::uint16_t source = 0;  // DataFile::source() of a bigfile tablespace's file; 0 for the others

    friend bool operator==(const BlockPlace&, const BlockPlace&) = default;
};

// Block `block` of `file`, which is one of a DataFileSet's.
BlockPlace place_in(DataFile& file, std::uint32_t block);
// The block a 4-byte block address held in `holder` names, read as the
// holder's file lays its addresses out: a bigfile tablespace's address
// names a block of the holder's own file.
BlockPlace place_named_by(const Block& holder, std::uint32_t address);
// The file a place lies in, or nullptr.
DataFile* file_of_place(DataFileSet& files, const BlockPlace& place);

// "file 1 block 240", for messages.
std::string place_text(const BlockPlace& place);

// A run of blocks of one segment.
struct ExtentRange {
    BlockPlace first;
    std::uint32_t length = 0;

    friend bool operator==(const ExtentRange&, const ExtentRange&) = default;
};

// What a segment's extent map says, checked. Problems are phrases that
// follow the header's description: "OBJ$'s segment header (file 1 block
// 240) maps an empty extent 2 (...)".
struct SegmentMap {
    bool space_managed = false;       // a type 0x23 header
    std::uint32_t object = 0;         // the object number the header holds; 0 when none
    std::uint32_t counted_extents = 0;  // the header's extent count
    std::uint32_t counted_blocks = 0;   // the header's block count
    // The first block above the high water mark, when the header gives one
    // that lies in one of the extents or just past one.
    std::optional<BlockPlace> high_water_mark;
    // In map order, each block once however often the maps list it, none
    // past the end of its file.
    std::vector<ExtentRange> extents;
    // What the extents hold past the end of a file that is cut short (it
    // ends before the block its header counts last): blocks that cannot
    // be read, each once, in map order.
    std::vector<ExtentRange> past_end;
    std::vector<BlockPlace> map_blocks;  // the extent map blocks followed, in chain order
    // Why the map cannot be believed as a whole (the header or a map block
    // is damaged, extents lie outside the files, some are missing): the
    // segment's blocks are then to be found otherwise. Empty when it can.
    std::string problem;
    // What was wrong but is mended in `extents`: extents listed again or
    // overlapping, more extents than counted, a loop in the chain of map
    // blocks, a block count larger than the files.
    std::vector<std::string> warnings;

    bool ok() const { return problem.empty(); }
    std::uint64_t blocks() const;
};

// Reads the extent map of the segment whose header is at `header`: a
// freelist segment's (type 0x10) or an automatically managed one's (type
// 0x23), through its extent map blocks (types 0x12 and 0x24) by their
// next pointers. The chain stops at a pointer of 0, at a block already
// visited and after as many map blocks as the header counts; the work is
// bounded by the blocks the files hold, whatever the map claims.
SegmentMap read_segment_map(DataFileSet& files, const BlockPlace& header);

// The blocks the extents hold, in order, but for the segment header and
// the extent map blocks.
std::vector<BlockPlace> segment_blocks(const SegmentMap& map, const BlockPlace& header);

// The data blocks of `file` (relative file number `file_number`) that
// carry one of `data_objects`, by data object, in one pass over the blocks
// the file holds (no further than its header counts).
std::map<std::uint32_t, std::vector<BlockPlace>> scan_for_data_objects(DataFile& file, std::uint32_t file_number,
                                                                      std::span<const std::uint32_t> data_objects);

}  // namespace dictionary
