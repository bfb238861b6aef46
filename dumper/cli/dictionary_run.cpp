#include "cli/dictionary_run.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

#include "cli/block_pass.h"
#include "cli/progress.h"
#include "cli/range_pass.h"
#include "cli/run_inputs.h"
#include "cli/run_notes.h"
#include "cli/schema_source.h"
#include "dictionary/object_census.h"
#include "dictionary/table_listing.h"
#include "print/table_listing_printer.h"
#include "read/block_decoder.h"
#include "schema/ddl_writer.h"
#include "values/charsets.h"

namespace {

constexpr int kExitFailure = 1;

// How the rows of data objects no table has are weighed: as text of the
// database's character set, when this tool can convert it.
struct WeighingCharsets {
    std::shared_ptr<const Charset> database;
    infer::Options options;
};

WeighingCharsets weighing_charsets(const schema::Schema& schema)
{
    WeighingCharsets charsets;
    if (schema.database_charset && is_charset_name(*schema.database_charset)) {
        std::string ignored;
        charsets.database = make_charset(*schema.database_charset, ignored);
    }
    charsets.options.database_charset = charsets.database.get();
    charsets.options.national_utf16 = !schema.national_charset || *schema.national_charset == "AL16UTF16";
    return charsets;
}

std::uint64_t total_bytes(const std::vector<DataFile*>& files)
{
    std::uint64_t total = 0;
    for (const DataFile* file : files) total += file->size_at_open();
    return total;
}

// Every block of every data file, counted by data object.
bool take_census(const std::vector<DataFile*>& files, dictionary::ObjectCensus& census, Progress& progress,
                 OutputSink& err)
{
    for (DataFile* file : files) {
        Block block;
        for (std::int32_t number = 0;; ++number) {
            const ReadStatus status = file->read(number, block);
            if (status == ReadStatus::EndOfFile) break;
            if (status != ReadStatus::Ok) {
                print_failure_reason(err, "cannot read block " + std::to_string(number) + " of " + file->path(),
                                     file->read_error());
                return false;
            }
            DecodedBlock decoded = decode_block_headers(std::move(block));
            decode_data_layer(decoded, false);
            census.add_block(decoded);
            block = std::move(decoded.block);
            progress.step(file->geometry().block_size);
        }
    }
    return true;
}

// The census by ranges of blocks, read by several workers at once: each
// range's census added in the order of the files, as one thread takes it.
// The run's other files (a dictionary not among the data files) are not read.
class CensusRanges final : public RangeWork {
public:
    CensusRanges(const schema::Schema& schema, const infer::Options& options, dictionary::ObjectCensus& census,
                 std::vector<bool> counted)
        : schema_(schema), options_(options), census_(census), counted_(std::move(counted))
    {
    }
    std::unique_ptr<Part> start(DataFileSet& files, const RangeStart&) override
    {
        std::unique_ptr<CensusPart> part = idle_.take(files);
        if (!part) part = std::make_unique<CensusPart>(schema_, files, options_);
        return part;
    }
    bool reads_file(std::size_t file) const override { return counted_[file]; }
    bool finish(std::unique_ptr<Part> taken) override
    {
        std::unique_ptr<CensusPart> part(static_cast<CensusPart*>(taken.release()));
        census_.add_range(part->census);
        part->census.clear_range();
        idle_.keep(std::move(part));
        return true;
    }

private:
    struct CensusPart final : RangeWork::Part, BlockVisitor {
        CensusPart(const schema::Schema& schema, DataFileSet& files, const infer::Options& options)
            : reads(&files), census(schema, files, options, dictionary::ObjectCensus::OfRange{})
        {
        }
        BlockVisitor& visitor() override { return *this; }
        void load_failure(const LoadFailureRecord&) override {}
        bool block(const DecodedBlock& block) override
        {
            census.add_block(block);
            return true;
        }
        const DataFileSet* reads;
        dictionary::ObjectCensus census;
    };
    const schema::Schema& schema_;
    const infer::Options& options_;
    dictionary::ObjectCensus& census_;
    std::vector<bool> counted_;  // by the run's file: a data file whose blocks are counted
    PartPool<CensusPart> idle_;
};

// The census by the run's workers, when they are several and the files
// can be read in ranges; false when they cannot, or a block could not be
// read (one worker then takes the census, and says what failed).
bool take_census_in_ranges(const RunSettings& s, DataFileSet& files, const std::vector<DataFile*>& data_files,
                           const schema::Schema& schema, const infer::Options& options,
                           dictionary::ObjectCensus& census, Progress& progress, OutputSink& err)
{
    std::vector<bool> counted(files.size(), false);
    for (std::size_t i = 0; i < files.size(); ++i)
        counted[i] = std::find(data_files.begin(), data_files.end(), &files[i]) != data_files.end();
    CensusRanges ranges(schema, options, census, std::move(counted));
    bool shrank = false;
    const RangePass pass{s, files, s.jobs(online_processors()), err, progress};
    const std::optional<PassEnd> end = read_in_ranges(pass, ranges, false, shrank);
    return end && *end == PassEnd::EndOfFile;
}

int list_tables(const RunSettings& s, const schema::Schema& schema, const dictionary::Release& release,
                DataFileSet& files, const std::vector<DataFile*>& data_files, OutputSink& out, OutputSink& err)
{
    if (data_files.empty()) {
        dictionary::TableListing listing = dictionary::list_tables(schema, nullptr);
        listing.release = release;
        write_table_listing(out, listing, s.format);
        return 0;
    }
    const WeighingCharsets charsets = weighing_charsets(schema);
    Progress progress(err, !s.quiet, total_bytes(data_files));
    std::unique_ptr<dictionary::ObjectCensus> census =
        std::make_unique<dictionary::ObjectCensus>(schema, files, charsets.options);
    if (!take_census_in_ranges(s, files, data_files, schema, charsets.options, *census, progress, err)) {
        census = std::make_unique<dictionary::ObjectCensus>(schema, files, charsets.options);
        progress.start_pass();
        const bool read = take_census(data_files, *census, progress, err);
        progress.clear();
        if (!read) return kExitFailure;
    }
    progress.clear();
    dictionary::TableListing listing = dictionary::list_tables(schema, census.get());
    listing.release = release;
    write_table_listing(out, listing, s.format);
    return 0;
}

}  // namespace

int run_schema_mode(const RunSettings& s, OutputSink& out, OutputSink& err)
{
    RunInputs inputs;
    if (s.data_file_given || !s.more_files.empty()) {
        if (!resolve_run_inputs(s, inputs, err)) return kExitFailure;
    } else {
        inputs.dictionary_file = s.dictionary_file;
    }
    if (inputs.dictionary_file.empty()) {
        err.text("trevanix: --list-tables reads the data dictionary: no SYSTEM data file is among the data files; "
                 "add --dictionary SYSTEM_FILE\n");
        return kExitFailure;
    }
    DataFileSet files;
    std::vector<DataFile*> data_files;
    for (const std::string& path : inputs.data_files) {
        DataFile* file = open_data_file(path, s, files, err);
        if (file == nullptr) return kExitFailure;
        data_files.push_back(file);
    }
    schema::Schema schema;
    dictionary::Release release;
    if (!load_schema(s, inputs.dictionary_file, files, schema, err, nullptr, &release)) return kExitFailure;
    const int status = list_tables(s, schema, release, files, data_files, out, err);
    return out.failed() ? kExitFailure : status;
}
