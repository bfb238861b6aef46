// Block integrity: what --verify finds in each block (checksum, tail,
// format byte, address, data layer), as records for a printer, and the
// tally of a whole run.
#pragma once

#include <cstdint>
#include <string_view>

#include "format/records.h"

// What a data block holds, as far as this tool decodes it.
enum class BlockContent : std::uint8_t {
    Rows,          // rows, or no data block at all
    Compressed,    // a compressed block (BASIC or OLTP): symbols and rows not decoded
    ColumnarUnit,  // the first block of a hybrid columnar compression unit
    // A data block whose checksum and tail are sound but whose transaction
    // layer is none this tool knows: what a block of an encrypted
    // tablespace looks like, which only the header stays readable in.
    ProbablyEncrypted,
};
// "compressed (BASIC or OLTP)", "a hybrid columnar compression unit",
// "probably of an encrypted tablespace"; empty for Rows.
std::string_view content_description(BlockContent content);
// "compressed", "columnar unit", "probably encrypted"; "rows".
std::string_view content_name(BlockContent content);
// What the block holds. The checksum is worked out only for a block whose
// layer is none this tool knows.
BlockContent block_content(const BlockView& block);

// What became of one block of the run.
enum class CheckedAs : std::uint8_t {
    Checked,
    NeverUsed,   // all zeros
    FileHeader,  // block 0: the operating system's header of the file, not a database block
};

struct BlockChecks {
    std::int32_t number = 0;
    CheckedAs state = CheckedAs::Checked;
    BlockHeader header;

    // The checksum is kept only when the block's flags say so.
    bool has_checksum = false;
    bool checksum_ok = true;
    std::uint16_t stored_checksum = 0;
    std::uint16_t expected_checksum = 0;  // the value that would make the block's words XOR to zero

    // The tail repeats the SCN's low half, the type and the sequence.
    bool tail_ok = true;
    std::uint32_t tail = 0;
    std::uint32_t expected_tail = 0;

    // The block size the format byte gives, 0 when it gives none.
    std::uint32_t format_size = 0;
    bool format_ok = true;

    // The block's own address: its file and its block number.
    bool address_ok = true;
    std::uint32_t address_file = 0;
    std::uint32_t address_block = 0;

    // What the block holds: a compressed block's data layer, and an
    // encrypted one's, are not checked.
    BlockContent content = BlockContent::Rows;

    // The data layer of a data block (type 6, layer data).
    bool data_layer_checked = false;
    bool data_header_ok = true;
    std::uint32_t entries_outside = 0;  // row directory entries that point past the block, or lie past it
    std::uint32_t first_outside_slot = 0;

    bool data_layer_ok() const { return data_header_ok && entries_outside == 0; }
    bool sound() const { return checksum_ok && tail_ok && format_ok && address_ok && data_layer_ok(); }
};

// Blocks that are misplaced the same way one after another: each one's
// address names its own place plus `shift`, as in a copy of a file that
// does not start at its first block.
struct MisplacedRun {
    std::int32_t first = 0;
    std::int32_t last = 0;
    std::int64_t shift = 0;   // address block minus place
    std::uint32_t file = 0;   // the file number the first block's address gives
    std::uint32_t address_block = 0;
};

struct VerifyTally {
    std::uint64_t blocks = 0;
    std::uint64_t never_used = 0;
    std::uint64_t file_headers = 0;
    std::uint64_t checksum_mismatches = 0;
    std::uint64_t fractured = 0;
    std::uint64_t wrong_size = 0;
    std::uint64_t misplaced = 0;
    std::uint64_t damaged_data_layers = 0;
    std::uint64_t cut_short = 0;  // the file ends inside the block
    // Blocks whose rows are not decoded (not damage).
    std::uint64_t compressed = 0;
    std::uint64_t columnar_units = 0;
    std::uint64_t encrypted = 0;
    // With a dictionary: the blocks of tables' segments below their high
    // water marks that hold none of their rows (all zeros, another
    // object's, damaged).
    bool segments_accounted = false;
    std::uint64_t lost_blocks = 0;
    bool scn_seen = false;
    std::uint64_t highest_scn = 0;
    std::int32_t highest_scn_block = 0;

    // Adds one block's checks.
    void count(const BlockChecks& checks);
    std::uint64_t checked() const { return blocks - never_used - file_headers; }
    std::uint64_t not_decoded() const { return compressed + columnar_units + encrypted; }
    std::uint64_t problems() const
    {
        return checksum_mismatches + fractured + wrong_size + misplaced + damaged_data_layers + cut_short + lost_blocks;
    }
};

// The checks of one block of `block_size` bytes read from place `number` of
// the file.
BlockChecks check_block(const BlockView& block, std::int32_t number, std::uint32_t block_size);

// Blocks misplaced alike one after another make one run, handed on once it
// has ended.
class MisplacedRuns {
public:
    // Follows the checks of the next block; true, with the run in `ended`,
    // when a run ended before this block.
    bool follow(const BlockChecks& checks, MisplacedRun& ended);
    // At the end: the run still open, if any.
    bool finish(MisplacedRun& ended);

private:
    bool open_ = false;
    MisplacedRun run_;
};
