#include "cli/driver.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <memory>
#include <string>
#include <vector>
#include <unistd.h>

#include "cli/arguments.h"
#include "cli/dictionary_run.h"
#include "cli/dump_passes.h"
#include "cli/block_pass.h"
#include "cli/progress.h"
#include "cli/range_pass.h"
#include "cli/database_runs.h"
#include "cli/run_inputs.h"
#include "cli/run_notes.h"
#include "cli/run_schema.h"
#include "cli/schema_source.h"
#include "cli/merge_run.h"
#include "cli/unload_run.h"
#include "cli/verify_ranges.h"
#include "print/lob_columns.h"
#include "print/printer.h"
#include "read/block_checks.h"
#include "read/block_decoder.h"
#include "read/column_template.h"
#include "read/data_file.h"
#include "read/geometry.h"
#include "rows/row_reader.h"
#include "unload/block_accounting.h"
#include "unload/lob_pages.h"
#include "unload/lob_value.h"
#include "print/export_columns.h"
#include "format/block_format.h"
#include "values/charsets.h"
#include "values/lob_locator.h"
#include "unload/evidence.h"
#include "values/escaped_text.h"

namespace {

constexpr int kExitFailure = 1;

constexpr int kExitArgumentError = 2;
constexpr int kExitProblems = 4;  // --verify found damaged blocks
// The largest block size -z accepts.
constexpr std::uint32_t kMaxShortBlockSize = 16000;
constexpr char kShortBlockSizeLimit[] =
    "trevanix: -z takes at most 16000 bytes; for larger blocks use --block-size N (a power of two up to 32768) or "
    "--block-size auto\n";

// A data file the run reads (in the run's set of files), or why it could
// not be opened.
struct RunFile {
    std::string path;
    DataFile* file = nullptr;
    int open_error = 0;
};

// Everything a run reads, fixed once the arguments are parsed and the
// files opened.
class Run {
public:
    Run(const RunSettings& settings, OutputSink& out, OutputSink& err, unload::RunEvidence evidence)
        : s_(settings), out_(out), err_(err), print_(out, err), evidence_(std::move(evidence))
    {
    }

    int execute();

private:
    bool prepare_values();
    bool open_files();
    void set_print_options();
    void prepare_lob_columns();
    std::uint64_t bytes_to_read() const;
    std::uint32_t block_size_asked() const;
    bool block_size_too_big() const;
    LoadFailureRecord failure(LoadFailure kind, const RunFile& file, std::int32_t block) const;
    void say_why(LoadFailure kind, const RunFile& file, std::int32_t block);

    PassEnd read_pass(BlockVisitor& visitor, bool notes, bool& shrank);
    PassEnd read_file(RunFile& file, BlockVisitor& visitor, bool notes, FileTally& tally);
    // The same pass by the run's workers; nullopt when it is one thread's.
    std::optional<PassEnd> read_ranges(RangeWork& work, bool notes, bool& shrank);
    PassEnd dump_pass(DumpRanges::Printing printing, DumpPrinter& printer, bool notes, bool& shrank);
    PassEnd rows_pass(ReachedPieces& reached, RowPrinter* printer, bool notes, bool& shrank);
    int dump();
    int rows();
    bool template_types_lobs() const;
    // The status of an export run that completed: 4 when a LOB value was
    // not read wholly (said with its count), else 0.
    int export_status(const LobColumns* lobs);
    int tables();

    int verify();
    PassEnd verify_file(RunFile& file, VerifyPrinter& printer, VerifyTally& tally, VerifyEnd& end,
                        FileTally& file_tally, unload::BlockAccounting* accounting);
    void report_lost_blocks(const unload::BlockAccounting& accounting, VerifyPrinter& printer, VerifyTally& tally);

    const RunSettings& s_;
    OutputSink& out_;
    OutputSink& err_;
    PrintContext print_;
    // The export formats' LOB values, where the template types any: read
    // through readers of the run's files.
    unload::LobPageMap lob_map_;
    std::optional<unload::LobPages> lob_pages_;
    std::optional<unload::LobValueReader> lob_values_;
    std::optional<LobColumns> lob_columns_;
    Geometry geometry_;  // what the options ask for
    ColumnTemplate template_;
    std::shared_ptr<const Charset> charset_;
    DataFileSet file_set_;
    std::vector<RunFile> files_;
    schema::Schema table_schema_;  // the tables' modes' schema
    RunInputs inputs_;             // the data files of the modes that read several
    bool table_schema_lost_ = false;  // its dictionary could not be read
    std::unique_ptr<Progress> progress_;
    unload::RunEvidence evidence_;  // what --unload records of the run
};

bool Run::prepare_values()
{
    if (!s_.charset.empty()) {
        std::string message;
        charset_ = make_charset(s_.charset, message);
        if (charset_ == nullptr) {
            err_.text(message);
            return false;
        }
        print_.decode.charset = charset_.get();
    }
    return true;
}

std::uint32_t Run::block_size_asked() const
{
    if (s_.long_block_size != 0) return s_.long_block_size;
    return s_.block_size == 0 ? 8192 : s_.block_size;
}

// -z is held to its limit; --block-size is not.
bool Run::block_size_too_big() const
{
    return s_.long_block_size == 0 && !s_.block_size_auto && block_size_asked() > kMaxShortBlockSize;
}

// Opens the data files and finds what of their geometry is left to them;
// a file that cannot be opened is said at its first block.
bool Run::open_files()
{
    std::vector<std::string> paths{s_.data_file};
    if (s_.verify) paths.insert(paths.end(), s_.more_files.begin(), s_.more_files.end());
    if (s_.reads_several_files() && !s_.verify) paths = inputs_.data_files;
    geometry_ = {block_size_asked(), s_.byte_order};
    const GeometryChoice choice{geometry_, s_.block_size_auto, s_.byte_order_auto};
    for (const std::string& path : paths) {
        RunFile f{path, nullptr, 0};
        std::unique_ptr<DataFile> file = DataFile::open(path, f.open_error);
        if (file) {
            // An unload records each file's hash, taken as the file is read.
            if (s_.unload) file->hash_contents();
            file->set_geometry(geometry_);
            std::string message;
            // The tables' modes find what the options leave of the geometry
            // from each file; the others only what they ask to be found.
            if (s_.reads_tables()) {
                if (!find_data_file_geometry(*file, s_, err_)) return false;
            } else if ((choice.find_size || choice.find_order) &&
                       !find_geometry(*file, choice, print_.layout_found, message)) {
                err_.text("trevanix: " + terminal_text(message) + "\n");
                return false;
            }
            // Records of the modes that read several files name their file;
            // a block size -z refuses is said at the first block, with
            // nothing read before it.
            if (s_.reads_several_files() && !block_size_too_big()) file->relative_file();
            f.file = file.get();
            file_set_.add(std::move(file));
        }
        files_.push_back(std::move(f));
    }
    return true;
}

void Run::set_print_options()
{
    PrintOptions& o = print_.options;
    o.format = s_.format;
    o.verbose = s_.verbose;
    o.show_location = s_.show_location;
    o.deleted_only = is_deleted_only(s_.action);
    o.list_blocks = s_.action == DUMPSCNS;
    o.separator = s_.separator;
    print_.template_given = s_.template_given;
    print_.column_template = s_.template_given && template_.opened ? &template_ : nullptr;
}

// The export formats read the LOB columns a template types: the pages
// their locators name, and the later ones found by their LobId in every
// block of the files (no LOB segment is known).
void Run::prepare_lob_columns()
{
    if (s_.format == OutputFormat::Text || s_.reads_tables() || s_.verify || !template_types_lobs()) return;
    for (const std::string& problem : lob_map_.scan_files(file_set_, ""))
        err_.text("trevanix: " + terminal_text(problem) + "\n");
    lob_pages_.emplace(file_set_, lob_map_);
    lob_values_.emplace(&*lob_pages_);
    LobColumns& lobs = lob_columns_.emplace(*lob_values_, err_);
    // A CLOB's text is 2-byte Unicode but in a single-byte database
    // character set; an NCLOB's always (the national sets are not single-byte).
    std::string name = s_.charset;
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (charset_ != nullptr && !lob_text_in_utf16(name)) lobs.clob_charset = charset_.get();
    print_.lobs = &lobs;
}

bool Run::template_types_lobs() const
{
    if (print_.column_template == nullptr) return false;
    const std::vector<const ColumnType*>& types = print_.column_template->types;
    return std::any_of(types.begin(), types.end(), [](const ColumnType* t) { return t->lob != LobType::None; });
}

int Run::export_status(const LobColumns* lobs)
{
    if (lobs == nullptr || !lobs->any_problem()) return 0;
    err_.text(lobs->tally());
    return kExitProblems;
}

// The bytes the run is to read, 0 when a file's size is not known.
std::uint64_t Run::bytes_to_read() const
{
    std::uint64_t total = 0;
    for (const RunFile& f : files_) {
        if (!f.file || !f.file->sized()) return 0;
        const std::uint32_t block_size = f.file->geometry().block_size;
        const std::uint64_t start = static_cast<std::uint64_t>(std::max(s_.block_number, 0)) * block_size;
        std::uint64_t bytes = f.file->size_at_open() > start ? f.file->size_at_open() - start : 0;
        if (s_.single_block) bytes = std::min<std::uint64_t>(bytes, block_size);
        if (s_.count > 0) bytes = std::min(bytes, static_cast<std::uint64_t>(s_.count) * block_size);
        total += bytes;
    }
    return total;
}

LoadFailureRecord Run::failure(LoadFailure kind, const RunFile& file, std::int32_t block) const
{
    const std::uint32_t block_size = file.file ? file.file->geometry().block_size : geometry_.block_size;
    return {kind, file.path, block, block_size};
}

// The system's reason, after the printer's message.
void Run::say_why(LoadFailure kind, const RunFile& file, std::int32_t block)
{
    switch (kind) {
    case LoadFailure::BlockSizeTooBig:
        err_.text(kShortBlockSizeLimit);
        break;
    case LoadFailure::OpenFailed:
        print_failure_reason(err_, "cannot open " + file.path, file.open_error);
        break;
    case LoadFailure::SeekRefused:
        if (block < 0)
            err_.text("trevanix: block " + std::to_string(block) + " lies before the start of the file\n");
        else
            print_failure_reason(err_, file.path + " cannot be read at a chosen place (a pipe or a FIFO?)",
                                 file.file->read_error());
        break;
    case LoadFailure::ReadFailed:
        print_failure_reason(err_, "cannot read block " + std::to_string(block) + " of " + file.path,
                             file.file->read_error());
        break;
    }
}

// ---------------------------------------------------------------------------
// Passes over the blocks.

// The selected blocks of one file, from the first the settings name until
// the count, the single block, the end of the file or a failure.
PassEnd Run::read_file(RunFile& f, BlockVisitor& visitor, bool notes, FileTally& tally)
{
    std::int32_t number = s_.block_number;
    Block block;
    for (std::int64_t handled = 0;;) {
        if (block_size_too_big() || !f.file) {
            const LoadFailure kind = block_size_too_big() ? LoadFailure::BlockSizeTooBig : LoadFailure::OpenFailed;
            visitor.load_failure(failure(kind, f, number));
            if (notes) say_why(kind, f, number);
            return PassEnd::Failed;
        }
        const ReadStatus status = f.file->read(number, block);
        if (status == ReadStatus::EndOfFile) {
            tally.reached_end = true;
            tally.end_block = number;
            tally.end_size = f.file->size_now();
            return PassEnd::EndOfFile;
        }
        if (status != ReadStatus::Ok) {
            const LoadFailure kind = status == ReadStatus::SeekRefused ? LoadFailure::SeekRefused : LoadFailure::ReadFailed;
            visitor.load_failure(failure(kind, f, number));
            if (notes) say_why(kind, f, number);
            return PassEnd::Failed;
        }
        tally.note_block(block.view);
        if (notes) weigh_geometry(err_, *f.file, tally, false);
        DecodedBlock decoded = decode_block_headers(std::move(block));
        if (s_.object_filter == 0 || static_cast<std::uint32_t>(s_.object_filter) == decoded.header.object_id) {
            if (decoded.outcome != BlockOutcome::NotData) ++tally.data_blocks;
            decode_data_layer(decoded, s_.action == DUMPSCNS);
            if (!visitor.block(decoded)) return PassEnd::Failed;
        }
        block = std::move(decoded.block);
        if (out_.failed()) return PassEnd::Failed;
        if (s_.single_block) return PassEnd::Stopped;
        // Block numbers wrap like the 32-bit counter they are.
        number = static_cast<std::int32_t>(static_cast<std::uint32_t>(number) + 1u);
        if (s_.count > 0 && ++handled == s_.count) return PassEnd::Stopped;
        progress_->step(f.file->geometry().block_size);
    }
}

// Every file once; `notes` says what was read on the message sink.
PassEnd Run::read_pass(BlockVisitor& visitor, bool notes, bool& shrank)
{
    progress_->start_pass();
    PassEnd end = PassEnd::EndOfFile;
    for (RunFile& f : files_) {
        FileTally tally;
        end = read_file(f, visitor, notes, tally);
        if (notes && f.file && !report_file_end(err_, s_, *f.file, tally)) shrank = true;
        if (end != PassEnd::EndOfFile || out_.failed()) break;
    }
    return end;
}

// ---------------------------------------------------------------------------
// Dumping row pieces.

// A pass of the dump: by the run's workers when it has several, each range
// printed by a printer of its own; else by `printer`.
PassEnd Run::dump_pass(DumpRanges::Printing printing, DumpPrinter& printer, bool notes, bool& shrank)
{
    DumpRanges ranges(print_, s_, printing);
    if (const std::optional<PassEnd> end = read_ranges(ranges, notes, shrank)) {
        if (printing == DumpRanges::Printing::CsvWidths)
            print_.csv_columns = std::max(print_.csv_columns, ranges.widest());
        return *end;
    }
    DumpVisitor visitor(printer, s_);
    return read_pass(visitor, notes, shrank);
}

std::optional<PassEnd> Run::read_ranges(RangeWork& work, bool notes, bool& shrank)
{
    // What a file that could not be opened says is one thread's to say.
    const bool all_open =
        std::all_of(files_.begin(), files_.end(), [](const RunFile& f) { return f.file != nullptr; });
    if (!all_open || block_size_too_big()) return std::nullopt;
    // LOB values are written as their pages are read, into the output
    // itself: a range's output in memory would hold them whole.
    if (print_.lobs != nullptr) return std::nullopt;
    const RangePass pass{s_, file_set_, s_.jobs(online_processors()), err_, *progress_};
    return read_in_ranges(pass, work, notes, shrank);
}

int Run::dump()
{
    const bool two_passes = s_.format == OutputFormat::Csv && s_.action != DUMPSCNS;
    progress_ = std::make_unique<Progress>(err_, !s_.quiet, bytes_to_read(), PassCount{two_passes ? 2 : 1});
    bool shrank = false;
    if (two_passes) {
        // A CSV line holds as many values as its header names: the widest
        // piece the run will show decides, so the blocks are walked once before.
        std::unique_ptr<DumpPrinter> scanner = make_csv_width_scanner(print_, print_.csv_columns);
        dump_pass(DumpRanges::Printing::CsvWidths, *scanner, false, shrank);
    }
    std::unique_ptr<DumpPrinter> printer = make_dump_printer(print_);
    printer->run_start();
    const PassEnd end = dump_pass(DumpRanges::Printing::Records, *printer, true, shrank);
    progress_->clear();
    if (out_.failed()) return kExitFailure;
    printer->run_end(end != PassEnd::Stopped);
    if (shrank || end == PassEnd::Failed) return kExitFailure;
    return export_status(print_.lobs);
}

// ---------------------------------------------------------------------------
// Dumping whole rows.

// A pass of --rows: by the run's workers when it has several; else by one
// visitor, the first pass's (`printer` nullptr) or the second's.
PassEnd Run::rows_pass(ReachedPieces& reached, RowPrinter* printer, bool notes, bool& shrank)
{
    const bool csv = s_.format == OutputFormat::Csv;
    RowsRanges ranges(print_, s_, reached, csv && printer == nullptr, printer != nullptr);
    if (const std::optional<PassEnd> end = read_ranges(ranges, notes, shrank)) {
        if (csv && printer == nullptr) print_.csv_columns = std::max(print_.csv_columns, ranges.widest());
        return *end;
    }
    std::size_t* widest = csv && printer == nullptr ? &print_.csv_columns : nullptr;
    RowsVisitor visitor(s_, file_set_, reached, printer, print_.column_template, widest);
    return read_pass(visitor, notes, shrank);
}

int Run::rows()
{
    progress_ = std::make_unique<Progress>(err_, !s_.quiet, bytes_to_read(), PassCount{2});
    bool shrank = false;
    ReachedPieces reached;
    rows_pass(reached, nullptr, false, shrank);
    std::unique_ptr<RowPrinter> printer = make_row_printer(print_);
    printer->run_start();
    const PassEnd end = rows_pass(reached, printer.get(), true, shrank);
    progress_->clear();
    if (out_.failed()) return kExitFailure;
    printer->run_end(end != PassEnd::Stopped);
    if (shrank || end == PassEnd::Failed) return kExitFailure;
    return export_status(print_.lobs);
}

// ---------------------------------------------------------------------------
// The tables' rows and schema: --unload and --ddl (unload_run.h).

int Run::tables()
{
    progress_ = std::make_unique<Progress>(err_, !s_.quiet, bytes_to_read(), table_passes(s_));
    evidence_.workers = s_.jobs(online_processors());
    TableRun run{s_, std::move(table_schema_), file_set_,
                 [this](BlockVisitor& visitor, bool notes) {
                     bool shrank = false;
                     const PassEnd end = read_pass(visitor, notes, shrank);
                     return shrank ? PassEnd::Failed : end;
                 },
                 [this](RangeWork& work, bool notes) -> std::optional<PassEnd> {
                     bool shrank = false;
                     const std::optional<PassEnd> end = read_ranges(work, notes, shrank);
                     if (end && shrank) return PassEnd::Failed;
                     return end;
                 },
                 *progress_, out_, err_, table_schema_lost_, std::move(evidence_), inputs_.dictionary_file};
    return run_tables(run);
}

// ---------------------------------------------------------------------------
// Verifying.

PassEnd Run::verify_file(RunFile& f, VerifyPrinter& printer, VerifyTally& tally, VerifyEnd& end, FileTally& file_tally,
                         unload::BlockAccounting* accounting)
{
    const bool readable = f.file != nullptr && !block_size_too_big();
    if (files_.size() > 1) printer.file_start(f.path, readable ? f.file->relative_file() : 0);
    const std::uint32_t file_number = readable && s_.reads_several_files() ? f.file->relative_file() : 0;
    MisplacedRuns misplaced;
    MisplacedRun ended;
    std::int32_t number = s_.block_number;
    Block block;
    PassEnd result = PassEnd::Stopped;
    for (std::int64_t handled = 0;;) {
        if (block_size_too_big() || !f.file) {
            const LoadFailure kind = block_size_too_big() ? LoadFailure::BlockSizeTooBig : LoadFailure::OpenFailed;
            printer.load_failure(failure(kind, f, number));
            say_why(kind, f, number);
            end.opened = f.file != nullptr;
            end.read_failed = true;
            end.stopped_at = number;
            result = PassEnd::Failed;
            break;
        }
        const ReadStatus status = f.file->read(number, block);
        if (status == ReadStatus::EndOfFile) {
            file_tally.reached_end = true;
            file_tally.end_block = number;
            file_tally.end_size = f.file->size_now();
            std::int32_t cut_block = 0;
            std::uint64_t bytes = 0;
            if (misplaced.finish(ended)) printer.misplaced_run(ended);
            if (file_tally.cut_short(*f.file, cut_block, bytes)) {
                ++tally.cut_short;
                printer.cut_short_block(cut_block, file_number, bytes);
            }
            return PassEnd::EndOfFile;
        }
        if (status != ReadStatus::Ok) {
            const LoadFailure kind = status == ReadStatus::SeekRefused ? LoadFailure::SeekRefused : LoadFailure::ReadFailed;
            printer.load_failure(failure(kind, f, number));
            say_why(kind, f, number);
            end.read_failed = true;
            end.stopped_at = number;
            result = PassEnd::Failed;
            break;
        }
        file_tally.note_block(block.view);
        weigh_geometry(err_, *f.file, file_tally, false);
        const BlockHeader header = decode_block_headers(block).header;
        // With -o, only the data blocks of that object.
        const bool selected = s_.object_filter == 0 ||
                              (header.object_id == static_cast<std::uint32_t>(s_.object_filter) && header.layer_type == 1);
        if (selected || accounting != nullptr) {
            const BlockChecks checks = check_block(block.view, number, f.file->geometry().block_size);
            if (selected) {
                tally.count(checks);
                if (misplaced.follow(checks, ended)) printer.misplaced_run(ended);
                printer.block_checks(checks, file_number);
            }
            // The tables' segments are told of every block, as their rows would be read.
            if (accounting != nullptr && number >= 0)
                accounting->note(f.file->relative_file(), static_cast<std::uint32_t>(number), checks,
                                 checks.state == CheckedAs::Checked && checks.sound() && checks.data_layer_checked);
        }
        if (out_.failed()) break;
        if (s_.single_block) break;
        number = static_cast<std::int32_t>(static_cast<std::uint32_t>(number) + 1u);
        if (s_.count > 0 && ++handled == s_.count) break;
        progress_->step(f.file->geometry().block_size);
    }
    if (misplaced.finish(ended)) printer.misplaced_run(ended);
    return result;
}

// The blocks of the dictionary's tables' segments that hold none of their
// rows though they lie below the high water mark: not read are not counted
// (a file cut short is a problem of its own).
void Run::report_lost_blocks(const unload::BlockAccounting& accounting, VerifyPrinter& printer, VerifyTally& tally)
{
    const std::vector<unload::AccountedTable> tables = unload::accounted_tables(table_schema_);
    const std::vector<unload::TableLoss> losses = accounting.losses();
    for (std::size_t t = 0; t < losses.size(); ++t)
        if (losses[t].lost > losses[t].unread)
            printer.lost_blocks(tables[t].name, losses[t].lost - losses[t].unread, losses[t].places);
    tally.segments_accounted = true;
    tally.lost_blocks = accounting.blocks_lost_read();
}

int Run::verify()
{
    std::unique_ptr<VerifyPrinter> printer = make_verify_printer(print_, geometry_.block_size);
    // With a dictionary, where each table's rows should lie.
    std::unique_ptr<unload::BlockAccounting> accounting;
    if (!s_.dictionary_file.empty())
        accounting = std::make_unique<unload::BlockAccounting>(file_set_, unload::accounted_tables(table_schema_));
    progress_ = std::make_unique<Progress>(err_, !s_.quiet, bytes_to_read());
    progress_->start_pass();
    VerifyTally tally;
    VerifyEnd end;
    bool shrank = false;
    VerifyRanges ranges(s_, file_set_, *printer, out_, tally, end, accounting.get());
    if (!read_ranges(ranges, true, shrank)) {
        for (RunFile& f : files_) {
            FileTally file_tally;
            const PassEnd pass = verify_file(f, *printer, tally, end, file_tally, accounting.get());
            if (f.file && !report_file_end(err_, s_, *f.file, file_tally)) shrank = true;
            if (pass != PassEnd::EndOfFile || out_.failed()) break;
        }
    }
    if (accounting && !out_.failed()) report_lost_blocks(*accounting, *printer, tally);
    progress_->clear();
    if (out_.failed()) return kExitFailure;
    printer->run_end(tally, end);
    if (shrank || end.read_failed || tally.checked() == 0) return kExitFailure;
    return tally.problems() > 0 ? kExitProblems : 0;
}

int Run::execute()
{
    // The tables' modes read the dictionary and the data files' headers
    // before any block: a block size -z refuses is refused before them.
    if (s_.reads_schema() && block_size_too_big() && (!s_.dictionary_file.empty() || s_.data_file_given)) {
        err_.text(kShortBlockSizeLimit);
        return kExitFailure;
    }
    if (s_.list_tables) return run_schema_mode(s_, out_, err_);
    if (!prepare_values()) return kExitArgumentError;
    if (s_.template_given) {
        template_ = load_column_template(s_.template_file);
        if (!report_column_template(err_, s_, template_)) return kExitFailure;
    }
    // The schema first: a schema file's or the dictionary's error is said
    // before any data file is opened.
    // --verify checks the files named as they are.
    if (s_.reads_several_files() && !s_.verify && (s_.data_file_given || !s_.more_files.empty())) {
        if (!resolve_run_inputs(s_, inputs_, err_)) return kExitFailure;
    } else {
        inputs_.dictionary_file = s_.dictionary_file;
    }
    if (s_.ddl && inputs_.dictionary_file.empty() && !s_.schema_given && !s_.infer) {
        err_.text("trevanix: --ddl prints the schema of --dictionary SYSTEM_FILE or --schema FILE, or with --infer the "
                  "one the data files' rows suggest\n");
        return kExitArgumentError;
    }
    const bool reads_schema = s_.reads_tables() || (s_.verify && !inputs_.dictionary_file.empty());
    if (reads_schema && !load_run_schema(s_, inputs_, table_schema_, err_, table_schema_lost_,
                                         s_.unload ? &evidence_.inputs : nullptr))
        return kExitFailure;
    if (s_.reads_data_files() && !open_files()) return kExitFailure;
    set_print_options();
    prepare_lob_columns();
    if (s_.verify) return verify();
    if (s_.reads_tables()) return tables();
    return s_.rows ? rows() : dump();
}

}  // namespace

int run_dump(int argc, const char* const* argv, OutputSink& out, OutputSink& messages)
{
    unload::RunEvidence evidence;
    evidence.started = std::chrono::system_clock::now();
    evidence.command_line.assign(argv, argv + argc);
    RunSettings settings;
    if (!parse_arguments(argc, argv, settings, out, messages)) return kExitArgumentError;
    if (settings.help) {
        out.text(kHelpText);
        out.byte('\n');
        return 0;
    }
    if (settings.long_help) {
        out.text(kLongHelpText);
        return 0;
    }
    if (settings.version) {
        out.text("trevanix " TREVANIX_VERSION "\n");
        return 0;
    }
    if (settings.merge) {
        // What the merge's own command line ignores is said first; then
        // what one run of the shards' command says.
        for (const std::string& warning : settings.warnings) messages.text(warning);
        // The words after the options are the parts, not data files.
        RunSettings merged;
        if (!merge_settings(settings, merged, out, messages)) return kExitFailure;
        settings = std::move(merged);
    }
    for (const std::string& warning : settings.warnings) messages.text(warning);
    if (settings.inventory) return run_inventory(settings, out, messages);
    if (!settings.data_file_given && settings.reads_tables() && settings.reads_data_files()) {
        messages.text("trevanix: name the data files to read after the options\n");
        return kExitArgumentError;
    }
    if (!settings.data_file_given && settings.reads_data_files()) {
        static constexpr char kNeedFile[] = "Need name of data file.\n";
        (settings.format == OutputFormat::Text ? out : messages).text(kNeedFile);
        return static_cast<int>(sizeof kNeedFile - 1);
    }
    // On the heap: the run's place then does not depend on how much of the
    // stack the program's arguments and environment take.
    // Each database's run records the same command line and start.
    const RunOne run_one = [&out, &messages, &evidence](const RunSettings& one) {
        return std::make_unique<Run>(one, out, messages, evidence)->execute();
    };
    // The tables' modes read each database of the files given apart.
    const bool by_database = settings.reads_schema() && (settings.reads_data_files() || settings.list_tables ||
                                                         settings.dictionary_files.size() > 1);
    const int status = by_database ? run_by_database(settings, out, messages, run_one) : run_one(settings);
    // The tables' modes say on standard error what was recovered and what
    // was lost: a run that could not say it has failed, whatever it wrote.
    if (settings.reads_schema() && !messages.flush() && status != kExitArgumentError) return kExitFailure;
    return status;
}

int run_dump(int argc, const char* const* argv, OutputSink& out)
{
    OutputSink messages;
    return run_dump(argc, argv, out, messages);
}
