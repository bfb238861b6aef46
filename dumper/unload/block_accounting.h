// Every block of every table's segment accounted for. Before the first
// pass, each table's segment (its own, its cluster's, or each partition's)
// is walked through its extent map: the blocks of its extents below its
// high water mark, but for the header and the extent map blocks, are the
// places its rows should come from. The pass then tells each such place
// what it found there; a place that yields none of the table's rows (all
// zeros, another object's data, damaged past reading, not read, or past
// the end of a file cut short) is a lost block of the table. Memory: two
// bits per block of the segments' extents in the files, whatever the
// extents past a file's end claim.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "dictionary/segment_map.h"
#include "read/block_checks.h"
#include "read/data_file.h"
#include "schema/schema.h"

namespace unload {

// A segment that holds rows of a table.
struct TableSegment {
    schema::SegmentHeader header;
    std::vector<std::uint32_t> data_objects;  // what its blocks of the table's rows carry

    bool operator==(const TableSegment&) const = default;
};

// The segments the table's schema entry names: its own (a cluster's for a
// clustered table) or those of its partitions whose headers are known.
std::vector<TableSegment> table_segments(const schema::Table& table);

struct AccountedTable {
    std::string name;  // OWNER.TABLE, the schema's bytes
    std::vector<TableSegment> segments;
};

// Every table of `schema`, in its order.
std::vector<AccountedTable> accounted_tables(const schema::Schema& schema);

// What became of the blocks of a table's segments.
struct TableLoss {
    // The blocks that should hold its rows: below the high water marks,
    // or, where a segment's mark cannot be read, up to the last block
    // that holds its rows.
    std::uint64_t expected = 0;
    std::uint64_t lost = 0;  // of them, those that yielded none of its rows
    std::uint64_t unread = 0;  // of the lost, those not read (those past the end of a file cut short among them)
    // The first few lost places and why: "file 4 block 43 (all zeros)".
    std::string places;
    // When no block of its segments holds its rows: what they were
    // ("4 blocks, all zeros"); empty otherwise.
    std::string without_rows;
    // Why some of its blocks could not be accounted for (a segment header
    // that cannot be read or believed); empty when all were.
    std::string unaccounted;
    bool in_files = false;  // some segment of it lies in the files read
};

class BlockAccounting {
public:
    // Walks each segment of `tables` once, however many tables share it.
    BlockAccounting(DataFileSet& files, std::vector<AccountedTable> tables);

    // A block read at `block` of relative file `file`, with its checks;
    // `rows_read` when its rows were read. A place noted again is left as
    // it was first found.
    void note(std::uint32_t file, std::uint32_t block, const BlockChecks& checks, bool rows_read);

    // After the pass: each table's, in the order given.
    std::vector<TableLoss> losses() const;
    // The blocks lost, each once however many tables share it; those of
    // them that were read.
    std::uint64_t blocks_lost() const;
    std::uint64_t blocks_lost_read() const;
    // Segments whose blocks could not be accounted for.
    std::uint64_t unaccounted_segments() const;

private:
    // What the pass found at a place, two bits.
    enum class Fate : std::uint8_t {
        NotRead = 0,
        Accounted = 1,  // the table's rows, or its segment's own header, bitmap or map blocks
        Zeros = 2,
        Other = 3,      // another object's, damaged, or of another type
    };
    // A run of places of one segment, in one file.
    struct Range {
        std::uint32_t file = 0;
        std::uint32_t first = 0;
        std::uint32_t length = 0;
        std::uint32_t segment = 0;
        std::uint64_t index = 0;  // of its first place among its segment's
    };
    struct Segment {
        schema::SegmentHeader header;
        std::vector<std::uint32_t> data_objects;  // sorted
        std::vector<std::size_t> tables;
        std::string problem;  // why its map cannot be believed
        bool in_files = false;
        bool mark_known = false;
        std::uint64_t places = 0;  // in the files, one Fate each
        std::vector<std::uint64_t> fates;
        std::vector<Range> ranges;  // in map order
        // Past the end of a file cut short: never read, and no Fate kept.
        std::vector<dictionary::ExtentRange> past_end;
        std::uint64_t past_end_blocks = 0;
        std::int64_t last_rows = -1;  // the last place that held rows of its tables
        std::uint64_t rows_blocks = 0;
        std::vector<std::uint64_t> space;  // the places of its own header, bitmap and map blocks found
        std::uint64_t zeros = 0;
        std::uint64_t other = 0;
        std::map<std::uint64_t, std::string> whys;  // of the first Other places
    };
    struct SegmentLoss {
        std::uint64_t expected = 0;
        std::uint64_t lost = 0;
        std::uint64_t unread = 0;
        std::vector<std::string> places;
    };

    void walk(DataFileSet& files, Segment& segment);
    void add_places(Segment& segment, std::uint32_t file, std::uint64_t first, std::uint64_t stop,
                    const std::vector<std::uint32_t>& skipped);
    void index_ranges();
    template <class Hit>
    void for_each_hit(std::uint32_t file, std::uint32_t block, Hit hit);
    Fate fate(const Segment& segment, std::uint64_t index) const;
    void set_fate(Segment& segment, std::uint64_t index, Fate fate);
    std::uint64_t count_before(const Segment& segment, std::uint64_t end, Fate fate) const;
    SegmentLoss loss_of(const Segment& segment) const;
    std::string why(const Segment& segment, std::uint64_t index, Fate fate) const;

    std::vector<AccountedTable> tables_;
    std::vector<Segment> segments_;
    std::vector<Range> ranges_;            // of every segment, by file and first block
    std::vector<std::uint64_t> max_ends_;  // the furthest end of ranges_[0..i] in ranges_[i]'s file
    bool overlapping_ = false;             // some ranges share places
    std::map<std::uint32_t, std::string> paths_;  // of the files, by relative file number
    // The last range hit, and the last stretch known to hold no range.
    std::size_t last_hit_ = 0;
    std::uint32_t gap_file_ = 0;
    std::uint64_t gap_start_ = 1;
    std::uint64_t gap_end_ = 0;
};

}  // namespace unload
