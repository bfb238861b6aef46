// The rows of a dictionary segment, read as any table's rows are: block by
// block, each head piece followed through the row reader to its whole row
// (chained and migrated rows joined, a cluster member with its key
// columns), those marked deleted as well as the live ones. Damaged blocks
// are passed over with a warning.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "dictionary/segment_map.h"
#include "read/data_file.h"
#include "rows/row_reader.h"

namespace dictionary {

// What reading the dictionary had to pass over, for the user.
struct LoadNotes {
    std::vector<std::string> warnings;

    void warn(std::string text) { warnings.push_back(std::move(text)); }
};

// A segment of the dictionary: a heap table's, or a cluster's that holds
// several tables.
struct DictionarySegment {
    std::string name;  // "OBJ$", "C_OBJ#"
    std::uint32_t data_object = 0;
    BlockPlace header;
    std::vector<BlockPlace> blocks;  // those its extents hold, or those a scan found
};

// Warns of what the segment's extent map had wrong but mended, naming the
// segment: "OBJ$'s segment header (file 1 block 240) lists ...".
void warn_of_map(const DictionarySegment& segment, const SegmentMap& map, LoadNotes& notes);

// What reading a segment's blocks met.
struct SegmentTally {
    std::uint64_t data_blocks = 0;  // blocks of the segment's data object
    std::uint64_t damaged_blocks = 0;
    std::uint64_t rows = 0;             // live ones
    std::uint64_t deleted_rows = 0;
    std::uint64_t incomplete_rows = 0;  // live ones, not handed on
    std::uint64_t incomplete_deleted_rows = 0;
};

// Hands every complete row of the segment's blocks to `each`, in block and
// slot order, those marked deleted too (row.deleted says which): the
// caller keeps them apart. The row's cluster_table says which table of a
// cluster it belongs to. Blocks that are never used, of another type or of
// another data object are passed over; damaged ones, and live rows that
// cannot be read whole, with a warning.
SegmentTally read_segment_rows(DataFileSet& files, const DictionarySegment& segment, LoadNotes& notes,
                               const std::function<void(const Row&)>& each);

}  // namespace dictionary
