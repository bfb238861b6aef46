// Builds synthetic data files with the block layout the dumper reads: a cache
// header, a transaction header with its ITL slots, the data header, the table
// and row directories, and a row heap packed down from the block end above a
// 4-byte tail. Tests, the sample file and the benchmark build their data
// files through it. All multi-byte fields are little-endian.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "format/block_format.h"
#include "format/byte_view.h"
#include "format/records.h"

namespace datafile {

using Bytes = std::vector<std::uint8_t>;

// Flag bits of a row piece.
constexpr std::uint8_t FLAG_K = block_format::kFlagK;  // cluster key
constexpr std::uint8_t FLAG_C = block_format::kFlagC;  // cluster member
constexpr std::uint8_t FLAG_H = block_format::kFlagH;  // head piece
constexpr std::uint8_t FLAG_D = block_format::kFlagD;  // deleted
constexpr std::uint8_t FLAG_F = block_format::kFlagF;  // first data piece
constexpr std::uint8_t FLAG_L = block_format::kFlagL;  // last data piece
constexpr std::uint8_t FLAG_P = block_format::kFlagP;  // first column continues from the previous piece
constexpr std::uint8_t FLAG_N = block_format::kFlagN;  // last column continues in the next piece

// One column: a length prefix and its value.
struct Column {
    enum class Prefix { Short, Long, Null, Raw };
    Prefix prefix = Prefix::Short;  // Short switches to Long for 254 bytes or more
    Bytes value;                    // Raw: written as it is, without a prefix

    static Column null() { return {Prefix::Null, {}}; }
    static Column bytes(Bytes b) { return {Prefix::Short, std::move(b)}; }
    static Column text(std::string_view s) { return {Prefix::Short, Bytes(s.begin(), s.end())}; }
    static Column long_form(Bytes b) { return {Prefix::Long, std::move(b)}; }
    static Column raw(Bytes b) { return {Prefix::Raw, std::move(b)}; }
};

// Value encodings.
Bytes number_value(std::string_view decimal);  // "123", "-12.5", "0"
Bytes date_value(int year, int month, int day, int hour, int minute, int second);
// A data block address: the relative file number in the top 10 bits, the
// block number in the low 22; in a file of a bigfile tablespace (relative
// file kBigfileRelativeFile), all 32 bits the block number.
std::uint32_t block_address(std::uint16_t relative_file, std::uint32_t block);
// A rowid as piece headers store it, big-endian: the block address of
// `block` of `file` in four bytes, then the row in two.
Bytes rowid(std::uint16_t file, std::uint32_t block, std::uint16_t row);
// A ROWID column: the data object number, then a rowid as above.
Bytes rowid_value(std::uint32_t object, std::uint16_t file, std::uint32_t block, std::uint16_t row);
// TIMESTAMP: a DATE's seven bytes, then the nanoseconds when given (the
// database leaves a zero fraction out).
Bytes timestamp_value(int year, int month, int day, int hour, int minute, int second,
                      std::optional<std::uint32_t> nanoseconds = std::nullopt);
// TIMESTAMP WITH TIME ZONE of a local time `offset_minutes` east of UTC:
// stored as the UTC time, then the offset's hour + 20 and minute + 60.
Bytes timestamp_tz_value(int year, int month, int day, int hour, int minute, int second, std::uint32_t nanoseconds,
                         int offset_minutes);
// TIMESTAMP WITH TIME ZONE of a UTC time in the time zone region `region`.
Bytes timestamp_region_value(int year, int month, int day, int hour, int minute, int second,
                             std::uint32_t nanoseconds, std::uint16_t region);
// One day later (direction 1) or earlier (-1) in the database's calendar:
// Julian before 15 October 1582, which follows 4 October, no year 0.
void step_day(int& year, int& month, int& day, int direction);
// Intervals: every field carries the interval's sign.
Bytes interval_ym_value(std::int32_t years, int months);
Bytes interval_ds_value(std::int32_t days, int hours, int minutes, int seconds, std::int32_t nanoseconds);
// BINARY_FLOAT and BINARY_DOUBLE: big-endian, sign bit flipped when
// positive, every bit flipped when negative.
Bytes binary_float_value(float value);
Bytes binary_double_value(double value);
// NCHAR and NVARCHAR2: the UTF-8 text in UTF-16 big-endian.
Bytes nchar_value(std::string_view utf8);

struct RowPiece {
    std::uint8_t flags = FLAG_H | FLAG_F | FLAG_L;
    std::uint8_t lock = 0;
    std::optional<std::uint8_t> column_count;  // default: the number of columns
    // A cluster key's two counts, written in the block's byte order right
    // after the first three bytes.
    std::optional<std::array<std::uint16_t, 2>> cluster_counts;
    Bytes header;  // what follows the first three bytes (and the counts) up to the first column
    std::vector<Column> columns;
    bool in_directory = true;  // a row directory entry points at it

    Bytes encode(ByteOrder order = ByteOrder::Little) const;
};

// Pieces of each class, with the header bytes their class carries.
RowPiece head_piece(std::vector<Column> columns);  // H F L: an ordinary row
RowPiece deleted_piece(std::vector<Column> columns);  // H D F L: a deleted row
RowPiece cluster_key_piece(std::uint16_t curc, std::uint16_t comc, const Bytes& previous_key,
                           const Bytes& next_key, std::vector<Column> columns);
RowPiece cluster_member_piece(std::vector<Column> columns);  // H F L C
// Pieces that carry a rowid: `flags` says which class, the rowid goes where
// that class reads it (byte 4 for cluster members, byte 3 otherwise).
RowPiece piece_with_rowid(std::uint8_t flags, const Bytes& id, std::vector<Column> columns);
RowPiece first_data_piece(const Bytes& head_rowid, const Bytes& next_rowid, std::vector<Column> columns);

// One slot of a block's interested transaction list: the dumper's record.
using ItlEntry = ItlSlot;

struct Block {
    std::uint8_t block_type = 6;
    std::uint32_t scn = 0x1000;
    std::uint8_t layer_type = 1;  // 1 data, 2 index
    std::uint32_t object_id = 100;
    std::uint8_t itl_slots = 2;
    // The first slots' contents; the others get a committed transaction of
    // their own.
    std::vector<ItlEntry> itl;
    // Blocks of automatically managed segments carry 8 more bytes before the
    // data header.
    bool segment_space_extension = false;
    std::uint8_t table_count = 1;
    std::vector<RowPiece> rows;  // rows[0] lies highest in the block
    // The data header's flag byte (its first), and bytes that lengthen the
    // data header before the table directory: a compressed block's.
    std::uint8_t data_header_flags = 0;
    Bytes data_header_extension;

    // Data header fields; unset ones are computed from the rows.
    std::optional<std::uint16_t> row_count;
    std::optional<std::uint16_t> second_row_count;
    std::optional<std::uint16_t> free_space_start;
    std::optional<std::uint16_t> free_space_end;
    // Row directory entries, replacing the computed ones.
    std::optional<std::vector<std::uint16_t>> directory;
    // Directory slots that point at no piece (kEmptySlot), in increasing
    // order: each is inserted at its index among the computed entries.
    std::vector<std::uint16_t> empty_slots;
    // A cluster block's (table_count > 1) number of directory slots of each
    // table, in table order: each table directory entry gets its first slot
    // and its count. A table past the list's end has no slots.
    std::vector<std::uint16_t> table_slots;
    // The whole block as it is, instead of a data block: a block of another
    // kind (file or segment header), or, when empty, one never formatted
    // (all zero bytes). Padded with zeros to the block size.
    std::optional<Bytes> image;
    // Raw bytes written over the finished block, at block offsets. The tail
    // follows the patched header fields unless a patch covers it; the
    // checksum is worked out last, over the patched block.
    std::vector<std::pair<std::size_t, Bytes>> patches;

    // Faults to plant, so that a test says which it means.
    struct Faults {
        bool bad_checksum = false;    // the checksum off by one
        bool no_checksum = false;     // the checksum flag clear and no checksum
        bool fractured = false;       // the tail's SCN half off by one
        std::optional<std::uint8_t> format;    // this format byte instead of the block size's
        std::optional<std::uint32_t> address;  // this 4-byte address instead of the file's and this block's
    } faults;
};

// Where the pieces of a built block lie.
struct BlockLayout {
    std::uint32_t dhs_offset = 0;
    std::vector<std::uint32_t> piece_offsets;  // from the block start, one per row
};

// A compressed block (BASIC or OLTP) of data object `object`: two tables,
// table 0 one symbol row per text of `symbols`, table 1 one row per entry
// of `rows`, each item a symbol's number or a short value; the flag byte's
// compression bit set and the data header lengthened by the 8 bytes of a
// 12c header extension without fcls entries.
struct CompressedItem {
    std::optional<std::uint8_t> symbol;  // or else `value`
    std::string value;
};
Block compressed_block(std::uint32_t object, const std::vector<std::string>& symbols,
                       const std::vector<std::vector<CompressedItem>>& rows);
// The first bytes of a hybrid columnar compression unit's header: version
// 0, then the magic "KDZ0" in `order`.
Bytes columnar_unit_header(ByteOrder order);

// The relative file number blocks carry unless told otherwise.
constexpr std::uint16_t kDefaultRelativeFile = 4;

std::uint32_t data_header_offset(const Block& block);
// A block of `block_size` bytes (a power of two from 512 to 32768 for a
// realistic format byte; other sizes are written with the 8192 one) placed
// at `block_number` of relative file `relative_file`, its multi-byte fields
// in `order`.
Bytes build_block(const Block& block, std::uint32_t block_size, std::uint32_t block_number = 0,
                  BlockLayout* layout = nullptr, ByteOrder order = ByteOrder::Little,
                  std::uint16_t relative_file = kDefaultRelativeFile);
// Writes the tail and the checksum of a block whose cache header is
// written, as build_block does for its blocks.
void seal_block(Bytes& block, ByteOrder order);

struct File {
    std::uint32_t block_size = 8192;
    ByteOrder byte_order = ByteOrder::Little;
    std::uint16_t relative_file = kDefaultRelativeFile;  // the file number in its blocks' addresses
    std::vector<Block> blocks;
    std::size_t trailing_bytes = 0;  // a partial block at the end
};

Bytes build_file(const File& file);
void write_file(const std::string& path, const Bytes& bytes);

// The sample data file shipped in examples/ and the template that goes with it.
File sample_file();
std::string sample_template();
// A file header block and a block of two rows of every type the template
// names beyond NUMBER, VARCHAR2, CHAR and DATE, for the documentation.
File types_file();
std::string types_template();

// The benchmark's data: block 0 is a file header block, every other block a
// data block filled to about 90% with rows of six columns, some of them
// deleted and some deleted with their directory slot reused. Each block
// depends only on its number, so a file of any size is built one block at a
// time in constant memory.
enum class BenchData {
    Rows,     // NUMBER, VARCHAR2, VARCHAR2, DATE, NUMBER, VARCHAR2: mostly whole and positive numbers
    Varied,   // NUMBER, VARCHAR2, VARCHAR2, DATE, NUMBER, NUMBER: negative and fractional
              // numbers of many sizes, text of every length from 0 to 120
    Damaged,  // the rows of Rows with a few bytes of each block overwritten
    Timestamps,  // NUMBER, TIMESTAMP, TIMESTAMP WITH TIME ZONE (offsets and regions), BINARY_DOUBLE
    Objects,     // rows of 25 columns of distinct values, each block of a data object of its own
};
// The data object of block 1 of the objects data; block n's is this + n - 1.
constexpr std::uint32_t kFirstOwnObject = 90001;
Block bench_block(std::uint32_t block_number, std::uint32_t block_size, BenchData data = BenchData::Rows);
Bytes build_bench_block(std::uint32_t block_number, std::uint32_t block_size, BenchData data = BenchData::Rows,
                        ByteOrder order = ByteOrder::Little);
std::string bench_template();    // for Rows and Damaged
std::string varied_template();   // for Varied
std::string timestamps_template();  // for Timestamps
std::string objects_template();     // for Objects
// Writes `block_count` bench blocks to `path`.
void write_bench_file(const std::string& path, std::uint64_t block_count, std::uint32_t block_size,
                      BenchData data = BenchData::Rows, ByteOrder order = ByteOrder::Little);

}  // namespace datafile
