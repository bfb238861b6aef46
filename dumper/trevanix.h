// Shared records of the block dumper: the run's settings, the state of the
// block being decoded, the context passed down the stages, and the entry
// points of each stage in the order data flows through them: arguments,
// blocks, row pieces, columns, then a printer over the records.
#pragma once

#include <cstddef>
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "block_checks.h"
#include "byte_view.h"
#include "column_types.h"
#include "output_sink.h"
#include "records.h"

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

enum class OutputFormat : std::uint8_t { Text, Jsonl, Csv };

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
    bool help = false;       // -h, or no arguments: the short help
    bool long_help = false;  // --help: every option
    bool version = false;    // --version
    bool quiet = false;      // --quiet: no progress line on a terminal
    OutputFormat format = OutputFormat::Text;  // --format
    bool verify = false;                       // --verify
    // --block-size N replaces -z, and is not held to its limit; auto finds
    // the size from the file.
    std::uint32_t long_block_size = 0;
    bool block_size_auto = false;
    ByteOrder byte_order = ByteOrder::Little;  // --byte-order
    bool byte_order_auto = false;
    std::string charset;  // --charset: the database character set's name; empty: none
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
    BlockView block;  // block_size bytes; reads past them give zero
    std::uint32_t dhs_offset = 0;
    // Offsets from the data header start; they carry over from block to block.
    std::uint16_t row_offset = 0;
    std::uint16_t previous_row_offset = 0;
};

// The data file stays open for the run and is read in large chunks; blocks
// are views into the chunk.
struct DataFileReader {
    int fd = -1;
    int open_error = 0;          // errno, when it could not be opened
    int read_error = 0;          // errno of the read that failed
    bool regular = false;        // a regular file, whose size is known
    std::uint64_t size_at_open = 0;
    std::vector<std::uint8_t> chunk;
    std::uint64_t chunk_start = 0;  // file position of chunk[0]
    std::size_t chunk_filled = 0;   // bytes of chunk that hold file data
    DataFileReader() = default;
    DataFileReader(const DataFileReader&) = delete;
    DataFileReader& operator=(const DataFileReader&) = delete;
    ~DataFileReader();
};

// The column template, read once and kept as one type per line.
struct ColumnTemplate {
    enum class Status : std::uint8_t { NotLoaded, Loaded, OpenFailed };
    Status status = Status::NotLoaded;
    int open_error = 0;  // errno, when it could not be opened
    std::vector<const ColumnType*> types;  // types[k] is the type of column k
    // The lines that name no type: their number from 1, and their text.
    struct Unmatched {
        std::uint32_t line;
        std::string text;
    };
    std::vector<Unmatched> unmatched;
    // The type of every column a piece can have: those of `types`, then
    // kUnlistedType, so that looking one up needs no test.
    std::array<const ColumnType*, kMaxColumns> by_column{};
};

// Why a block could not be read.
enum class LoadFailure : std::uint8_t { BlockSizeTooBig, OpenFailed, SeekRefused, ReadFailed };

struct DumpContext;

// A row directory entry that points at a piece: the offset it holds.
struct SlotEntry {
    std::uint16_t row_offset;
    std::uint32_t slot;
};

// Turns the records of a run into output. Each call receives the records
// in the order the run produces them; a printer keeps whatever it needs
// between calls.
class RecordPrinter {
public:
    virtual ~RecordPrinter() = default;
    // Before the first block.
    virtual void run_start(DumpContext& ctx) = 0;
    // A block that could not be read: the run ends after it.
    virtual void load_failure(DumpContext& ctx, LoadFailure failure) = 0;
    // A block that passed the object filter, decoded as far as its outcome says.
    virtual void block(DumpContext& ctx, const BlockRecord& block) = 0;
    // A row directory entry that leads to no piece.
    virtual void directory_entry(DumpContext& ctx, const BlockRecord& block, const DirectoryEntry& entry) = 0;
    // A row piece found by either walk.
    virtual void piece(DumpContext& ctx, const BlockRecord& block, const RowPieceRecord& piece) = 0;
    // The run is over; `completed` when it ended at the end of the file or
    // on a failure rather than at its block count or single block.
    virtual void run_end(DumpContext& ctx, bool completed) = 0;
    // With --verify, instead of the calls above but the first two and the
    // last: the checks of each block, and runs of blocks misplaced alike
    // (each once it has ended). A printer that does not verify gets none.
    virtual void block_checks(DumpContext&, const BlockChecks&) {}
    virtual void misplaced_run(DumpContext&, const MisplacedRun&) {}
    // The file ends `bytes` bytes into block `number`.
    virtual void cut_short_block(DumpContext&, std::int32_t, std::uint64_t) {}
};

// What --block-size auto and --byte-order auto found, for -g.
struct LayoutFound {
    enum From : std::uint8_t { FileHeader, FormatByte };
    bool size_found = false;
    bool order_found = false;
    std::uint32_t block_size = 0;
    From size_from = FileHeader;  // the data file header at one block size, or block 0's format byte
    ByteOrder order = ByteOrder::Little;
    std::int32_t order_block = 0;  // the first block whose tail tells
};

// What a run has read, to say so when it read nothing, when the file ends
// inside a block or got shorter, or when its blocks contradict the block
// size or byte order the run reads them with.
struct RunTally {
    std::uint64_t blocks_read = 0;  // whole blocks
    std::uint64_t data_blocks = 0;  // of them, data blocks of the object asked for
    bool reached_end = false;       // the run ended at the end of the file
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
    bool geometry_reported = false;
    bool load_failed = false;  // a block could not be read: the run ended there
};

// What --verify keeps from block to block.
struct VerifyState {
    VerifyTally tally;
    bool run_open = false;  // `run` is a run of misplaced blocks not yet handed on
    MisplacedRun run;
};

// Everything one run of the dumper reads and writes, passed down the stages.
struct DumpContext {
    DumpContext(OutputSink& output, OutputSink& messages) : out(output), err(messages) {}
    RunSettings settings;
    BlockState state;
    OutputSink& out;  // the records
    OutputSink& err;  // messages that are not records, where the format keeps them apart
    DataFileReader file;
    ColumnTemplate column_template;
    DecodeOptions decode_options;
    std::shared_ptr<const Charset> charset;  // what decode_options.charset points at
    std::unique_ptr<RecordPrinter> printer;
    VerifyState verify;
    RunTally tally;
    LayoutFound layout_found;
    bool find_slots = false;  // the heap walk looks up each piece's directory entry
    std::size_t csv_columns = 0;  // col1..colN of the CSV header: as many as the widest piece
    std::vector<SlotEntry> slot_index;
    BlockRecord block;
    RowPieceRecord piece;
};

// ---------------------------------------------------------------------------
// Stages, in the order data flows through them.

// Command line and driver.
std::int32_t read_number(const char* text);  // the C library's atol, wrapping in 32 bits
// Argument errors go to `out`, or to `messages` when they are about long
// options or the output format keeps standard output for records.
bool parse_arguments(int argc, const char* const* argv, RunSettings& settings, OutputSink& out,
                     OutputSink& messages);
// The program: its result is the exit status. Messages that are not part of
// the output go to `messages` where the output format keeps them apart.
int run_dump(int argc, const char* const* argv, OutputSink& out, OutputSink& messages);
int run_dump(int argc, const char* const* argv, OutputSink& out);
extern const char* const kHelpText;
extern const char* const kLongHelpText;  // --help

// Block loading and walks. process_block returns 0 to go on, 2 at the end of
// the data file, 1 when a read failed, 3 after any other fatal condition.
enum BlockStatus : int { BLOCK_OK = 0, BLOCK_READ_FAILED = 1, BLOCK_END_OF_FILE = 2, BLOCK_FATAL = 3 };
int process_block(DumpContext& ctx);
// With --verify: the checks of the current block, handed to the printer.
int verify_block(DumpContext& ctx);
// Hands on the last run of misplaced blocks, at the end of a verify run.
void end_verify(DumpContext& ctx);
// Finds the block size and byte order the settings leave to the file
// (--block-size auto, --byte-order auto) and writes them into the settings.
// Returns BLOCK_OK, or BLOCK_FATAL after saying on the message sink that
// nothing fits; a file that cannot be opened is left for the first block
// to report.
int find_block_layout(DumpContext& ctx);
// Opens a file for reading, or returns -1. A FIFO that no process writes to
// opens at once instead of blocking; reading it then finds its end.
int open_for_reading(const char* path);

// Block format: the header fields of a block, its ITL slots, and where its
// data header lies.
BlockHeader decode_block_header(const BlockView& block);
// Slot `n`, counted from 1.
ItlSlot decode_itl_slot(const BlockView& block, std::uint32_t n);
// The data header follows the ITL slots, or the segment space extension
// after them; fills the place and the header fields.
DataHeader locate_data_header(const BlockView& block, std::uint8_t itl_slots);
// The data header fields read at `offset`.
DataHeader data_header_at(const BlockView& block, std::uint32_t offset, bool extended);

// Row pieces: the class (1 to 17) a flag byte falls into, first match wins.
int classify_row_piece(std::uint8_t flags);
// Decodes the piece whose flag byte is at `piece` into ctx.piece and returns
// the bytes its columns take (or its class's fixed count). `header_length`
// is the caller's variable, left alone by some classes.
int decode_row_piece(DumpContext& ctx, std::size_t piece, int& header_length);
// A piece that produces column output: its class has columns and it is not
// left out by a deleted-only action.
inline bool is_shown(const RunSettings& settings, const RowPieceRecord& piece)
{
    return piece.walked && (!is_deleted_only(settings.action) || piece.deleted());
}

// Columns: records the piece's columns in ctx.piece and returns the bytes
// they occupy after the header.
int walk_columns(DumpContext& ctx, std::size_t piece, int header_length);

// The column template, read on first use.
const ColumnTemplate& column_template(DumpContext& ctx);
// Why a template line names no type, and how to mend it: "'NUMBR' names no
// type (did you mean NUMBER?)".
std::string unmatched_line_reason(std::string_view text);
// The type of column `column_index` (below kMaxColumns).
inline const ColumnType& column_type(const ColumnTemplate& t, std::size_t column_index)
{
    return *t.by_column[column_index];
}

// Printers.
std::unique_ptr<RecordPrinter> make_text_printer();
std::unique_ptr<RecordPrinter> make_jsonl_printer();
std::unique_ptr<RecordPrinter> make_csv_printer();
// Prints nothing: notes in `widest` the most columns a shown piece exports.
std::unique_ptr<RecordPrinter> make_csv_width_scanner(std::size_t& widest);
std::unique_ptr<RecordPrinter> make_verify_text_printer();
std::unique_ptr<RecordPrinter> make_verify_jsonl_printer();
std::unique_ptr<RecordPrinter> make_printer(const RunSettings& settings);
