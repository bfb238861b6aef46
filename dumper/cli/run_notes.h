// What a run says on the message sink besides its records: why a file could
// not be opened or read, template lines that name no type, a file that read
// nothing, that ends inside a block or got shorter while it was read, and
// blocks that contradict the block size or byte order the run reads them
// with. Standard output is left exactly as the records make it.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "cli/arguments.h"
#include "read/data_file.h"

// What a run has read of one file.
struct FileTally {
    // Blocks read before the run's block size and byte order are weighed
    // against what the blocks say; a shorter run is weighed at its end.
    static constexpr std::uint64_t kGeometrySample = 64;

    std::uint64_t blocks_read = 0;  // whole blocks
    std::uint64_t data_blocks = 0;  // of them, data blocks of the object asked for
    bool reached_end = false;       // the run came to the end of the file
    std::int32_t end_block = 0;     // the block that was not there
    std::uint64_t end_size = 0;     // the file's size then
    // Blocks of type data whose format byte gives a block size, and how
    // many give each other size (by its power of two).
    std::uint64_t sized_blocks = 0;
    std::array<std::uint64_t, 32> other_sizes{};
    // Blocks whose tail repeats their header in the run's byte order, and
    // those where it does only in the other order.
    std::uint64_t tails_in_order = 0;
    std::uint64_t tails_in_other_order = 0;
    bool geometry_weighed = false;

    // Notes what a block read says of its size and byte order.
    void note_block(const BlockView& block);
    // Adds the counts of the blocks read after this tally's, by another.
    void add(const FileTally& later);
    // The block the file ends inside, when it ends inside one: its number
    // and the bytes of it there are.
    bool cut_short(const DataFile& file, std::int32_t& block, std::uint64_t& bytes) const;
    // The file got shorter while it was read.
    bool shrank(const DataFile& file) const;
};

// The system's reason a file could not be opened or read.
void print_failure_reason(OutputSink& err, const std::string& what, int error);

// The template could not be opened, or some of its lines name no type.
// Returns false when the run cannot go on: an export format would turn
// every value into hexadecimal without a word.
bool report_column_template(OutputSink& err, const RunSettings& settings, const ColumnTemplate& t);

// Once enough blocks have been read, or at the end: one warning when most
// of them contradict the run's block size or byte order.
void weigh_geometry(OutputSink& err, const DataFile& file, FileTally& tally, bool at_end);

// After a file's blocks: the notes that apply (with --verify, a file that
// ends before the block its header counts last, with figures). Returns
// false when the file got shorter while it was read, which fails the run.
bool report_file_end(OutputSink& err, const RunSettings& settings, DataFile& file, FileTally& tally);
