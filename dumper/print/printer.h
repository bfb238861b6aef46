// What printers are given and what they are told. A dump printer hears of
// each block, directory entry and row piece a run decodes, in order; a
// verify printer of each block's checks. Printers read no files: the run
// hands them everything, the template and the character set included.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "format/records.h"
#include "print/output_sink.h"
#include "read/block_checks.h"
#include "read/block_decoder.h"
#include "read/column_template.h"
#include "read/geometry.h"
#include "rows/row_reader.h"
#include "values/column_types.h"

enum class OutputFormat : std::uint8_t { Text, Jsonl, Csv };

struct LobColumns;

// What the run's options ask of the printers.
struct PrintOptions {
    OutputFormat format = OutputFormat::Text;
    bool verbose = false;        // -g
    bool show_location = false;  // -v
    bool deleted_only = false;   // -a D, -a S: only deleted pieces are shown
    bool list_blocks = false;    // -a C: blocks are listed, not walked
    char separator = '\n';       // -s
};

// Everything a printer reads, fixed for the run.
struct PrintContext {
    PrintContext(OutputSink& output, OutputSink& messages) : out(output), err(messages) {}
    OutputSink& out;  // the records
    OutputSink& err;  // messages that are not records, where the format keeps them apart
    PrintOptions options;
    // The template's types; nullptr when none was given, or it could not be
    // opened (every value is then hexadecimal).
    const ColumnTemplate* column_template = nullptr;
    bool template_given = false;  // -c, even when it could not be opened
    DecodeOptions decode;
    LayoutFound layout_found;
    // The widest piece the run shows, in columns it exports: the CSV
    // header names that many (and at least the template's).
    std::size_t csv_columns = 0;
    // What the export formats read the LOB columns a template types
    // through (lob_columns.h); nullptr: they are dumped as their bytes.
    LobColumns* lobs = nullptr;
};

// Why a block could not be read.
enum class LoadFailure : std::uint8_t { BlockSizeTooBig, OpenFailed, SeekRefused, ReadFailed };
struct LoadFailureRecord {
    LoadFailure failure;
    std::string path;
    std::int32_t block = 0;
    std::uint32_t block_size = 0;
};

// A piece is shown (its columns printed, a record written) when its class
// has columns and no deleted-only action leaves it out.
inline bool is_shown(const PrintOptions& options, const RowPieceRecord& piece)
{
    return piece.walked && !piece.no_row && (!options.deleted_only || piece.deleted());
}

class DumpPrinter {
public:
    virtual ~DumpPrinter() = default;
    // Before the first block.
    virtual void run_start() = 0;
    // A block that could not be read: the run ends after it.
    virtual void load_failure(const LoadFailureRecord& failure) = 0;
    // A block that passed the object filter, decoded as far as its outcome says.
    virtual void block(const DecodedBlock& block) = 0;
    // A row directory entry that leads to no piece.
    virtual void directory_entry(const DecodedBlock& block, const DirectoryEntry& entry) = 0;
    // A row piece either walk found, shown or not.
    virtual void piece(const DecodedBlock& block, const RowPieceRecord& piece,
                       std::span<const ColumnRecord> columns) = 0;
    // The run is over; `completed` when it ended at the end of the file or
    // on a failure rather than at its block count or single block.
    virtual void run_end(bool completed) = 0;
};

// A dump of whole rows: the same messages as a dump printer's, then one
// call per row or orphan piece.
class RowPrinter {
public:
    virtual ~RowPrinter() = default;
    virtual void run_start() = 0;
    virtual void load_failure(const LoadFailureRecord& failure) = 0;
    virtual void block(const DecodedBlock& block) = 0;
    virtual void directory_entry(const DecodedBlock& block, const DirectoryEntry& entry) = 0;
    virtual void row(const Row& row) = 0;
    virtual void run_end(bool completed) = 0;
};

// How a verify run ended.
struct VerifyEnd {
    bool read_failed = false;  // a block could not be read: the run stopped there
    std::int32_t stopped_at = 0;
    bool opened = true;        // false when no data file could be opened
};

class VerifyPrinter {
public:
    virtual ~VerifyPrinter() = default;
    // Before the blocks of each file, when the run reads several.
    virtual void file_start(const std::string& path, std::uint32_t file) = 0;
    virtual void load_failure(const LoadFailureRecord& failure) = 0;
    // The checks of one block of the file with relative file number `file`.
    virtual void block_checks(const BlockChecks& checks, std::uint32_t file) = 0;
    // Blocks misplaced alike one after another, once the run of them ended.
    virtual void misplaced_run(const MisplacedRun& run) = 0;
    // The file ends `bytes` bytes into block `number`.
    virtual void cut_short_block(std::int32_t number, std::uint32_t file, std::uint64_t bytes) = 0;
    // After the blocks: `blocks` of the table's segments below their high
    // water marks hold none of its rows; `places` names the first.
    virtual void lost_blocks(const std::string& table, std::uint64_t blocks, const std::string& places) = 0;
    virtual void run_end(const VerifyTally& tally, const VerifyEnd& end) = 0;
};

std::unique_ptr<DumpPrinter> make_text_printer(const PrintContext& context);
std::unique_ptr<DumpPrinter> make_jsonl_printer(const PrintContext& context);
std::unique_ptr<DumpPrinter> make_csv_printer(const PrintContext& context);
std::unique_ptr<DumpPrinter> make_dump_printer(const PrintContext& context);
// Prints nothing: notes in `widest` the most columns a shown piece exports.
std::unique_ptr<DumpPrinter> make_csv_width_scanner(const PrintContext& context, std::size_t& widest);
// --rows with --format jsonl or csv.
std::unique_ptr<RowPrinter> make_jsonl_row_printer(const PrintContext& context);
std::unique_ptr<RowPrinter> make_csv_row_printer(const PrintContext& context);
std::unique_ptr<RowPrinter> make_row_printer(const PrintContext& context);
std::unique_ptr<VerifyPrinter> make_verify_printer(const PrintContext& context, std::uint32_t block_size);
