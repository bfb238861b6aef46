#include "cli/dictionary_run.h"

#include <memory>
#include <vector>

#include "cli/progress.h"
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
    dictionary::ObjectCensus census(schema, files, charsets.options);
    Progress progress(err, !s.quiet, total_bytes(data_files));
    progress.start_pass();
    const bool read = take_census(data_files, census, progress, err);
    progress.clear();
    if (!read) return kExitFailure;
    dictionary::TableListing listing = dictionary::list_tables(schema, &census);
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
