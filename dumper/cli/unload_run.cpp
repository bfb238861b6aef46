#include "cli/unload_run.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "cli/run_schema.h"
#include "cli/table_passes.h"
#include "infer/object_inference.h"
#include "schema/ddl_writer.h"
#include "unload/block_accounting.h"
#include "unload/earlier_unload.h"
#include "unload/lob_files.h"
#include "unload/lob_pages.h"
#include "unload/loader_scripts.h"
#include "unload/shard_part.h"
#include "unload/summary.h"
#include "unload/evidence.h"
#include "unload/table_files.h"
#include "unload/table_names.h"
#include "unload/unload_plan.h"
#include "unload/unload_writer.h"
#include "values/charsets.h"
#include "values/escaped_text.h"

namespace {

using namespace unload;

constexpr int kExitFailure = 1;
constexpr int kExitArgumentError = 2;
// The unload completed, but something was damaged, lost, incomplete or not
// decoded: the summary says what.
constexpr int kExitIncomplete = 4;
// What tells UTF-16 national text from national text in UTF8.
constexpr std::string_view kUtf16NationalCharset = "AL16UTF16";

std::string upper(std::string_view text)
{
    std::string s(text);
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// What inference weighs text with: the database character set the run or
// the schema names, and whether national text is UTF-16.
struct InferenceCharsets {
    std::shared_ptr<const Charset> database;
    infer::Options options;
};

InferenceCharsets inference_charsets(const RunSettings& settings, const schema::Schema& schema)
{
    InferenceCharsets charsets;
    const std::string name = !settings.charset.empty() ? settings.charset : schema.database_charset.value_or("");
    if (!name.empty()) {
        std::string message;
        charsets.database = make_charset(name, message);
    }
    charsets.options.database_charset = charsets.database.get();
    charsets.options.national_utf16 =
        !schema.national_charset || upper(*schema.national_charset) == kUtf16NationalCharset;
    return charsets;
}

// A schema of no tables in the character sets of `schema`, or for the
// database's the run's (--charset) when `schema` names none.
schema::Schema charsets_of(const schema::Schema& schema, const std::string& run_charset)
{
    schema::Schema empty;
    empty.database_charset = schema.database_charset;
    if (!empty.database_charset && !run_charset.empty()) empty.database_charset = upper(run_charset);
    empty.national_charset = schema.national_charset;
    return empty;
}

// The schema's tables that `selection` names, then the inferred ones.
schema::Schema selected_schema(const schema::Schema& schema, const TableSelection& selection,
                               std::vector<schema::Table> inferred, const std::string& run_charset)
{
    schema::Schema selected = charsets_of(schema, run_charset);
    for (const schema::Table& table : schema.tables)
        if (selection.selects(table)) selected.tables.push_back(table);
    for (schema::Table& table : inferred) selected.tables.push_back(std::move(table));
    return selected;
}

// The tables inferred for the objects sampled that `selection` names; the
// statistics they were typed from are let go.
// What the first pass held and let go of (the inference's statistics,
// then the tables typed early as the plan takes them) goes back to the
// system: the C library would keep it, in pieces too small for the plan's
// tables and the second pass's ranges, and the run would hold both.
void give_back_freed_memory()
{
#if defined(__GLIBC__)
    ::malloc_trim(0);
#endif
}

std::vector<schema::Table> inferred_tables(infer::ObjectInference& inference, const TableSelection& selection)
{
    std::vector<schema::Table> tables;
    for (schema::Table& table : inference.take_tables())
        if (selection.selects(table)) tables.push_back(std::move(table));
    return tables;
}

int print_ddl(TableRun& run, const schema::Schema& schema, const TableSelection& selection)
{
    std::vector<schema::Table> inferred;
    schema::Schema completed = schema;
    if (run.settings.infer) {
        // Every table, in the schema's order: the plan's table k is the schema's.
        UnloadPlan plan(run.settings.charset);
        plan.add_schema(schema, TableSelection(), false);
        const InferenceCharsets charsets = inference_charsets(run.settings, schema);
        infer::ObjectInference inference(charsets.options);
        UndescribedColumns undescribed(charsets.options);
        DirectFindings findings(inference, undescribed, nullptr);
        SampleRanges ranges(plan, findings, run.files);
        std::optional<PassEnd> end = run.read_in_ranges(ranges, true);
        if (!end) {
            SampleVisitor visitor(run.files, plan, findings);
            end = run.read_pass(visitor, true);
        }
        run.progress.clear();
        if (*end == PassEnd::Failed) return kExitFailure;
        inferred = inferred_tables(inference, selection);
        undescribed.complete(plan, completed);
    }
    run.progress.clear();
    run.out.text(
        schema::write_schema_file(selected_schema(completed, selection, std::move(inferred), run.settings.charset)));
    return 0;
}

// The evidence of the run's data files, their hashes finished, and the
// run's end.
void finish_evidence(TableRun& run)
{
    for (std::size_t i = 0; i < run.files.size(); ++i) {
        DataFile& file = run.files[i];
        const bool dictionary = file.path() == run.dictionary_file;
        std::uint64_t read_again = 0;
        run.evidence.inputs.push_back(
            data_file_evidence(file, dictionary ? "dictionary and data file" : "data file", read_again));
    }
    run.evidence.ended = std::chrono::system_clock::now();
}

// The binary copies, the loading scripts, the control files, then the
// summary, each under its temporary name until it is complete.
bool write_last_files(const std::string& directory, const UnloadPlan& plan, const UnloadWriter& writer,
                      const UnloadSummary& summary, const RunEvidence& evidence, std::string& failure)
{
    const WrittenFiles written = writer.written();
    return write_loaders(directory, plan, written, failure) &&
           write_whole_file(directory, std::string(kSummaryFile), summary_json(plan, summary, written, evidence),
                            failure);
}

// What a run that failed leaves: nothing in a directory it created (the
// directory goes too); elsewhere what it wrote, said by name.
std::string take_back(const std::string& directory, bool created, const UnloadPlan& plan)
{
    const std::vector<std::string> names = unload_file_names(plan);
    if (created) {
        std::string message;
        if (remove_lob_files(directory, message) && remove_files(directory, names, message) &&
            ::rmdir(directory.c_str()) == 0)
            return "; the directory " + terminal_text(directory) + ", which this run created, is removed";
    }
    std::vector<std::string> parts;
    for (const std::string& name : existing_files(directory, names))
        if (name.ends_with(kPartSuffix)) parts.push_back(name);
    if (parts.empty()) return "; it left no file with a " + std::string(kPartSuffix) + " name";
    std::string text = "; " + std::to_string(parts.size()) + (parts.size() == 1 ? " file keeps its " : " files keep their ") +
                       std::string(kPartSuffix) + (parts.size() == 1 ? " name: " : " names: ") + terminal_text(parts[0]);
    if (parts.size() > 1) text += ", ...";
    return text;
}

// Why a sharded run cannot cut its files into ranges of blocks.
std::string unsharded_reason(DataFileSet& files)
{
    for (std::size_t i = 0; i < files.size(); ++i)
        if (files[i].sized() && files[i].size_at_open() == 0)
            return "trevanix: " + terminal_text(files[i].path()) +
                   " is empty: a sharded run cuts its files into ranges of blocks, and it holds none; leave it out "
                   "of the shards' and the merge's commands\n";
    return "trevanix: --shard and --merge read the data files in ranges of blocks, which needs regular files: copy a "
           "pipe or a device into a file first\n";
}

// A writing pass over the blocks, by the run's workers when it has several;
// `pieces` says what it found of the pieces heads reach and those without.
PassEnd write_pass(TableRun& run, const UnloadPlan& plan, UnloadWriter& writer, UnloadSummary& summary,
                   PassFindings& findings, WriteVisitor::Rows rows, bool notes, PieceTrace& pieces)
{
    WriteRanges ranges(plan, writer, summary, findings, rows);
    if (const std::optional<PassEnd> end = run.read_in_ranges(ranges, notes)) {
        pieces = ranges.pieces();
        return *end;
    }
    if (run.settings.sharded()) {
        run.err.text(unsharded_reason(run.files));
        return PassEnd::Failed;
    }
    WriteVisitor visitor(run.files, plan, writer, summary, findings, rows);
    const PassEnd end = run.read_pass(visitor, notes);
    pieces = visitor.pieces();
    return end;
}

// What a shard's part directory records (shard_part.h), its files complete.
bool write_shard_record(TableRun& run, const UnloadPlan& plan, const UnloadWriter& writer,
                        const UnloadSummary& summary, std::string& failure)
{
    const RunSettings& s = run.settings;
    ShardPart part;
    part.shard = s.shard;
    part.shards = s.shards;
    part.command = shard_command(run.evidence.command_line);
    for (const InputEvidence& input : run.evidence.inputs)
        part.files.push_back({input.path, input.size, input.sha256 ? sha256_hex(*input.sha256) : ""});
    part.tables = plan.tables().size();
    part.counts.tables = summary.tables;
    part.counts.objects = summary.objects;
    part.counts.blocks_read = summary.blocks_read;
    part.counts.blocks_damaged = summary.blocks_damaged;
    part.counts.blocks_encrypted = summary.blocks_encrypted;
    part.written = writer.written();
    part.sizes.resize(part.tables);
    for (std::size_t t = 0; t < part.tables; ++t) {
        const TableWritten& written = part.written[t];
        auto size_of = [&](const std::string& name) -> std::uint64_t {
            struct stat st {};
            return ::stat((s.unload_dir + "/" + name).c_str(), &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
        };
        for (RowKind kind : kAllRowKinds)
            if (written.files[static_cast<std::size_t>(kind)])
                part.sizes[t][static_cast<std::size_t>(kind)] = size_of(plan.tables()[t].names.csv_file(kind));
        if (written.undecoded) part.sizes[t][kRowKinds] = size_of(plan.tables()[t].names.csv_file(undecoded_names()));
    }
    return write_whole_file(s.unload_dir, std::string(kShardPartFile), shard_part_text(part), failure);
}

// The parts of a merge, in the order of K: their files appended table by
// table after those of the parts before, their counts added.
bool append_parts(const RunSettings& s, const UnloadPlan& plan, UnloadWriter& writer, TableFiles& files,
                  UnloadSummary& summary, std::vector<ShardPart>& parts, std::string& failure)
{
    std::optional<LobFileWriter> lob_files;
    if (s.lob_files) lob_files.emplace(s.unload_dir, files);
    for (const std::string& directory : s.merge_parts) {
        ShardPart& part = parts.emplace_back();
        std::string error;
        bool ok = read_shard_part(directory, part, error);
        if (ok && part.tables != plan.tables().size()) {
            error = "its record gives " + std::to_string(part.tables) + " tables where the run has " +
                    std::to_string(plan.tables().size());
            ok = false;
        }
        for (std::size_t t = 0; ok && t < plan.tables().size(); ++t)
            ok = append_part_table(writer, plan, summary, directory, part, t, lob_files ? &*lob_files : nullptr, error);
        if (!ok) {
            failure = "the part " + directory + ": " + error + " (run its shard again)";
            return false;
        }
        summary.add_range(part.counts);
    }
    return true;
}

// The data files (and the dictionary) the merge read are those the
// shards read: the same sizes and hashes.
bool same_inputs(const RunEvidence& evidence, const std::vector<ShardPart>& parts, std::string& failure)
{
    for (const ShardPart& part : parts) {
        for (std::size_t i = 0; i < part.files.size() || i < evidence.inputs.size(); ++i) {
            const InputEvidence* input = i < evidence.inputs.size() ? &evidence.inputs[i] : nullptr;
            const ShardFile* file = i < part.files.size() ? &part.files[i] : nullptr;
            // What the shard hashed, the merge hashed the same.
            const bool same = input != nullptr && file != nullptr && input->path == file->path &&
                              (!file->size || input->size == file->size) &&
                              (file->sha256.empty() ||
                               (input->sha256 && sha256_hex(*input->sha256) == file->sha256));
            if (!same) {
                failure = (input != nullptr ? input->path : file->path) +
                          " is not what shard " + std::to_string(part.shard) +
                          " read (its size or SHA-256 differs, or the files differ): shard the files as they are now";
                return false;
            }
        }
    }
    return true;
}

int unload_tables(TableRun& run, const schema::Schema& schema, const TableSelection& selection)
{
    const RunSettings& s = run.settings;
    std::string message;
    bool refused = false;
    bool created = false;
    if (!prepare_directory(s.unload_dir, s.force, message, refused, created)) {
        run.err.text(terminal_lines(message));
        return refused ? kExitArgumentError : kExitFailure;
    }
    UnloadPlan plan(s.charset);
    plan.add_schema(schema, selection, false);
    TableFiles files(s.unload_dir);
    UnloadSummary summary;
    UnloadWriter writer(plan, files, summary);
    // The progress line counts the rows written, of every kind.
    struct RowsShown {
        Progress& progress;
        ~RowsShown() { progress.count_rows(nullptr); }
    } rows_shown{run.progress};
    run.progress.count_rows([&summary] {
        std::uint64_t rows = 0;
        for (const TableCounts& table : summary.tables) rows += table.rows + table.deleted + table.stale;
        return rows;
    });
    // The later pages of the LOB values stored apart from their rows, from
    // their segments, before any row is written.
    LobPageMap lob_map;
    for (const std::string& problem : lob_map.scan_segments(run.files, plan, s.unload_dir))
        run.err.text("trevanix: " + terminal_text(problem) + "\n");
    LobPages lobs(run.files, lob_map);
    writer.read_lobs_with(&lobs);
    if (s.lob_files) writer.write_lob_files(s.unload_dir);
    const InferenceCharsets charsets = inference_charsets(s, schema);
    infer::ObjectInference inference(charsets.options);
    // Where each table's rows should lie, before the blocks are read.
    BlockAccounting accounting(run.files, plan.accounted_tables());

    // The tables the schema describes, and a sample of the others' rows
    // and of those whose columns it does not all describe.
    UndescribedColumns undescribed(charsets.options);
    DirectFindings findings(inference, undescribed, &accounting);
    PieceTrace pieces;
    PassEnd end = write_pass(run, plan, writer, summary, findings, WriteVisitor::Rows::Described, true, pieces);
    summary.orphans = pieces.orphans();
    summary.losses = accounting.losses();
    summary.blocks_lost = accounting.blocks_lost();
    summary.unaccounted_segments = accounting.unaccounted_segments();
    for (std::size_t i = 0; i < run.files.size(); ++i)
        if (std::optional<CutFile> cut = cut_file_of(run.files[i])) summary.cut_files.push_back(std::move(*cut));
    // Then the tables inferred from the sample, and those completed.
    schema::Schema inferred = charsets_of(schema, s.charset);
    inferred.tables = inferred_tables(inference, selection);
    give_back_freed_memory();
    if (end != PassEnd::Failed && !files.failed()) {
        for (std::size_t table : undescribed.complete(plan)) writer.restart_table(table);
        plan.add_schema(std::move(inferred), TableSelection(), true);
        inferred.tables = {};  // the plan holds them now
        give_back_freed_memory();
        writer.add_tables();
        const bool any_later = std::any_of(plan.tables().begin(), plan.tables().end(),
                                           [](const UnloadTable& table) { return table.written_later; });
        if (any_later) {
            PieceTrace later_pieces;
            end = write_pass(run, plan, writer, summary, findings, WriteVisitor::Rows::Later, false, later_pieces);
        }
    }
    run.progress.clear();

    std::vector<ShardPart> parts;
    std::string merge_failure;
    if (s.merge && end != PassEnd::Failed && !files.failed() &&
        !append_parts(s, plan, writer, files, summary, parts, merge_failure)) {
        run.err.text("trevanix: " + terminal_text(merge_failure) + "; the merge is incomplete" +
                     take_back(s.unload_dir, created, plan) + "\n");
        return kExitFailure;
    }

    // Scripts and a summary of no table would pass for an unload of an
    // empty database (a shard's part may hold no block: the merge says).
    if (end != PassEnd::Failed && summary.blocks_read == 0 && s.shards == 0) {
        run.err.text("trevanix: nothing unloaded: the data files hold no whole block" +
                     take_back(s.unload_dir, created, plan) + "\n");
        return kExitFailure;
    }
    const bool written = end != PassEnd::Failed && !files.failed() && writer.complete_tables() && files.finish();
    if (!written) {
        const std::string why = files.failed() ? files.failure() : std::string("the data files could not be read");
        run.err.text("trevanix: " + terminal_text(why) + "; the unload is incomplete" +
                     take_back(s.unload_dir, created, plan) + "\n");
        return kExitFailure;
    }
    finish_evidence(run);
    std::string failure;
    if (s.shards != 0 && !s.merge) {
        if (!write_shard_record(run, plan, writer, summary, failure)) {
            run.err.text("trevanix: " + terminal_text(failure) + "; the part is incomplete (it has no " +
                         std::string(kShardPartFile) + ")\n");
            return kExitFailure;
        }
        if (!s.quiet)
            run.err.text("trevanix: part " + std::to_string(s.shard) + " of " + std::to_string(s.shards) +
                         " unloaded into " + terminal_text(s.unload_dir) +
                         " (trevanix --merge OUT joins the directories of all the parts)\n");
        return 0;
    }
    if (s.merge && !same_inputs(run.evidence, parts, failure)) {
        run.err.text("trevanix: " + terminal_text(failure) + "; the merge is incomplete" +
                     take_back(s.unload_dir, created, plan) + "\n");
        return kExitFailure;
    }
    if (!write_last_files(s.unload_dir, plan, writer, summary, run.evidence, failure)) {
        run.err.text("trevanix: " + terminal_text(failure) + "; the unload is incomplete (it has no " +
                     std::string(kSummaryFile) + ")" + (created ? take_back(s.unload_dir, created, plan) : "") + "\n");
        return kExitFailure;
    }
    if (!s.quiet)
        run.err.text("trevanix: unloaded into " + terminal_text(s.unload_dir) +
                     " (sqlite.sql, postgres.sql and the .ctl files load it)\n" + summary_table(plan, summary) +
                     evidence_lines(run.evidence));
    // Something damaged, lost or not decoded, or unloaded without the
    // dictionary's names and types.
    return summary.sound(plan) && !run.schema_lost ? 0 : kExitIncomplete;
}

}  // namespace

PassCount table_passes(const RunSettings& settings)
{
    // The unload's second pass reads the rows of the tables inference
    // found, when it found any.
    if (settings.unload) return {2, true};
    return {settings.infer ? 1 : 0};
}

int run_tables(TableRun& run)
{
    schema::Schema& schema = run.schema;
    const TableSelection selection(run.settings.tables);
    const std::string unknown = selection.unknown_names(schema);
    if (!unknown.empty()) {
        run.err.text(terminal_lines(unknown));
        return kExitArgumentError;
    }
    return run.settings.ddl ? print_ddl(run, schema, selection) : unload_tables(run, schema, selection);
}
