// Shared records of the block dumper: the run's settings, the state of the
// block being decoded, the bounds-safe view every decoder reads through, and
// the entry points of each stage (arguments, blocks, row pieces, columns,
// values).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "output_sink.h"

// ---------------------------------------------------------------------------
// A read-only view of bytes that answers zero for anything outside it, so a
// decoder can never read past the block however corrupt the offsets are.
class ByteView {
public:
    ByteView() = default;
    // A view holds at most 4 GiB - 1 bytes (blocks and values are far
    // smaller); it stays 16 bytes, small enough to be passed in registers.
    ByteView(const std::uint8_t* data, std::size_t size)
        : data_(data), size_(clamp(size)), readable_(size_)
    {
    }

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    const std::uint8_t* data() const { return data_; }
    // How many bytes from data() on belong to the view this one was cut
    // from (at least size()): a formatter may read that far, to copy a fixed
    // number of bytes rather than test the length, and use only size().
    std::size_t readable() const { return readable_; }

    std::uint8_t u8(std::size_t at) const { return at < size_ ? data_[at] : 0; }
    std::uint16_t u16le(std::size_t at) const
    {
        return static_cast<std::uint16_t>(u8(at) | (u8(at + 1) << 8));
    }
    std::uint32_t u32le(std::size_t at) const
    {
        return static_cast<std::uint32_t>(u16le(at)) |
               (static_cast<std::uint32_t>(u16le(at + 2)) << 16);
    }
    // The part of [at, at + len) that lies inside the view.
    ByteView sub(std::size_t at, std::size_t len) const
    {
        if (at >= size_) return {};
        std::size_t avail = size_ - at;
        return {data_ + at, len < avail ? len : avail, readable_ - at};
    }
    // Six bytes of a rowid starting at `at` (zero outside the view).
    void copy6(std::size_t at, std::uint8_t (&out)[6]) const
    {
        for (std::size_t i = 0; i < 6; ++i) out[i] = u8(at + i);
    }

private:
    ByteView(const std::uint8_t* data, std::size_t size, std::size_t readable)
        : data_(data), size_(static_cast<std::uint32_t>(size)), readable_(static_cast<std::uint32_t>(readable))
    {
    }
    static std::uint32_t clamp(std::size_t size)
    {
        return size < UINT32_MAX ? static_cast<std::uint32_t>(size) : UINT32_MAX;
    }

    const std::uint8_t* data_ = nullptr;
    std::uint32_t size_ = 0;
    std::uint32_t readable_ = 0;
};

// ---------------------------------------------------------------------------
// Command-line settings.

enum Action : int {
    ACTION_NONE = 0,
    DUMPALL = 1,
    SHOWDELETED = 2,
    DUMPNOTVIAOFFSETS = 3,
    SHOWDELETEDNOTVIAOFFSETS = 4,
    DUMPSCNS = 5,
};

struct RunSettings {
    std::string data_file;
    bool data_file_given = false;
    std::string template_file;
    bool template_given = false;
    std::uint32_t block_size = 0;  // 0 until the driver sets its default
    std::int32_t block_number = 0;
    std::int32_t count = 0;  // 0: no limit
    bool single_block = false;
    std::int32_t object_filter = 0;  // 0: no filter
    char separator = '\n';
    int action = ACTION_NONE;
    bool verbose = false;        // -g
    bool show_location = false;  // -v
    bool help = false;
};

inline bool is_deleted_only(int action)
{
    return action == SHOWDELETED || action == SHOWDELETEDNOTVIAOFFSETS;
}

inline bool is_sequential_walk(int action)
{
    return action == DUMPNOTVIAOFFSETS || action == SHOWDELETEDNOTVIAOFFSETS;
}

// ---------------------------------------------------------------------------
// The block being decoded.

struct BlockState {
    ByteView block;  // block_size bytes; reads past them give zero
    std::uint32_t dhs_offset = 0;
    // Offsets from the data header start; they carry over from block to block.
    std::uint16_t row_offset = 0;
    std::uint16_t previous_row_offset = 0;
};

// The data file stays open for the run and is read in large chunks; blocks
// are views into the chunk.
struct DataFileReader {
    int fd = -1;
    std::vector<std::uint8_t> chunk;
    std::uint64_t chunk_start = 0;  // file position of chunk[0]
    std::size_t chunk_filled = 0;   // bytes of chunk that hold file data
    DataFileReader() = default;
    DataFileReader(const DataFileReader&) = delete;
    DataFileReader& operator=(const DataFileReader&) = delete;
    ~DataFileReader();
};

// The column template, read once and kept as one type per line.
enum class ColumnType : std::uint8_t { Other, Number, Varchar2, Date, Char, Unknown, NoPrint };

struct ColumnTemplate {
    enum class Status : std::uint8_t { NotLoaded, Loaded, OpenFailed };
    Status status = Status::NotLoaded;
    std::vector<ColumnType> types;  // types[k] is the type of column k
};

// Everything one run of the dumper reads and writes, passed down the stages.
struct DumpContext {
    explicit DumpContext(OutputSink& sink) : out(sink) {}
    RunSettings settings;
    BlockState state;
    OutputSink& out;
    DataFileReader file;
    ColumnTemplate column_template;
};

// ---------------------------------------------------------------------------
// Stages, in the order data flows through them.

// Command line and driver.
std::int32_t read_number(const char* text);  // the C library's atol, wrapping in 32 bits
bool parse_arguments(int argc, const char* const* argv, RunSettings& settings, OutputSink& out);
int run_dump(int argc, const char* const* argv, OutputSink& out);
extern const char* const kHelpText;

// Block loading and walks. process_block returns 0 to go on, 2 at the end of
// the data file, 1 when a read failed, 3 after any other fatal condition.
enum BlockStatus : int { BLOCK_OK = 0, BLOCK_READ_FAILED = 1, BLOCK_END_OF_FILE = 2, BLOCK_FATAL = 3 };
int process_block(DumpContext& ctx);
extern const char* const block_type_names[12];
// Opens a file for reading, or returns -1. A FIFO that no process writes to
// opens at once instead of blocking; reading it then finds its end.
int open_for_reading(const char* path);

// Row pieces: the class (1 to 17) a flag byte falls into, first match wins.
int classify_row_piece(std::uint8_t flags);
// `piece` is the offset of the flag byte in the block;
// `header_length` is the caller's variable, left alone by some classes.
int decode_row_piece(DumpContext& ctx, std::size_t piece, int& header_length);

// Columns: returns the bytes the columns occupy after the header.
int walk_columns(DumpContext& ctx, std::size_t piece, int header_length);

// Typed values: true when the value was printed (or suppressed).
bool render_column(DumpContext& ctx, int column_index, ByteView value);

// A NUMBER as plain decimal text ("-123", "0.5", "10000000000").
struct NumberText {
    char text[320];
    std::size_t length = 0;
};
// False when the bytes are not a valid NUMBER (they are then dumped in hex).
bool decode_number(const ByteView& value, NumberText& result);
