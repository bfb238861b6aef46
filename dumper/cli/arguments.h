// The command line: the run's settings, read once from the arguments and
// never changed after, and the help texts.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "format/byte_view.h"
#include "print/output_sink.h"
#include "print/printer.h"

enum Action : int {
    ACTION_NONE = 0,
    DUMPALL = 1,
    SHOWDELETED = 2,
    DUMPNOTVIAOFFSETS = 3,
    SHOWDELETEDNOTVIAOFFSETS = 4,
    DUMPSCNS = 5,
};

inline bool is_deleted_only(int action) { return action == SHOWDELETED || action == SHOWDELETEDNOTVIAOFFSETS; }
inline bool is_sequential_walk(int action)
{
    return action == DUMPNOTVIAOFFSETS || action == SHOWDELETEDNOTVIAOFFSETS;
}

struct RunSettings {
    std::string data_file;
    bool data_file_given = false;
    std::string template_file;
    bool template_given = false;
    std::uint32_t block_size = 0;  // -z; 0: the default, 8192
    std::int32_t block_number = 0;  // the first block read
    std::int32_t count = 0;  // 0: no limit
    bool single_block = false;
    std::int32_t object_filter = 0;  // 0: no filter
    char separator = '\n';
    int action = ACTION_NONE;
    bool verbose = false;        // -g
    bool show_location = false;  // -v
    bool help = false;           // -h, or no arguments: the short help
    bool long_help = false;      // --help: every option
    bool version = false;        // --version
    bool quiet = false;          // --quiet: no progress line on a terminal
    // --jobs N: the workers a pass over the blocks uses; 0 when not given
    // (then jobs() decides).
    unsigned jobs_given = 0;
    OutputFormat format = OutputFormat::Text;  // --format
    bool verify = false;                       // --verify
    // --block-size N replaces -z, and is not held to its limit; auto finds
    // the size from the file.
    std::uint32_t long_block_size = 0;
    bool block_size_auto = false;
    ByteOrder byte_order = ByteOrder::Little;  // --byte-order
    bool byte_order_auto = false;
    bool byte_order_given = false;  // big or little, not left to the default
    std::string charset;  // --charset: the database character set's name; empty: none
    bool rows = false;    // --rows: whole rows instead of row pieces
    // The tables' rows and schema (--unload, --ddl): the schema from
    // --schema FILE, or inferred from the rows (--infer).
    bool unload = false;
    std::string unload_dir;  // --unload DIR: each table's rows as CSV files in DIR
    bool ddl = false;        // --ddl: the schema as a schema file on standard output
    bool schema_given = false;
    std::string schema_file;          // --schema FILE
    bool infer = false;               // --infer
    std::vector<std::string> tables;  // --table NAME, repeatable: only these tables
    bool force = false;               // --force: write into a DIR that is not empty
    bool lob_files = false;           // --lob-files: each LOB value in a file of its own under DIR/lobs
    // Words that are no option: more data files, read by the modes long
    // options select (the text output reads -f alone).
    std::vector<std::string> more_files;
    std::string dictionary_file;  // --dictionary: the SYSTEM data file (the first one given)
    // Every --dictionary given: one per database or container, each read
    // for the data files of its own database id.
    std::vector<std::string> dictionary_files;
    bool dictionary_auto = false;  // --dictionary auto: the SYSTEM file among the data files
    bool list_tables = false;     // --list-tables
    // What the command line ignores, or reads as other than it is written,
    // one line each in the order of the arguments: said on standard error
    // before the run, which goes on exactly as it would without them.
    std::vector<std::string> warnings;
    bool inventory = false;       // --inventory: what each file named (or in a directory named) is
    // --shard K/N: an unload of the K-th of N parts of the blocks (shard_ranges()),
    // into a part directory for --merge; 0 and 0 when not given.
    unsigned shard = 0;
    unsigned shards = 0;
    // --merge OUT PART_DIR...: the parts of a sharded unload (the words after
    // the options) joined into OUT.
    bool merge = false;
    std::string merge_dir;
    // The merge's run: the part directories in the order of K.
    std::vector<std::string> merge_parts;

    // An unload of one part of the blocks, or the merge of the parts: the
    // blocks are read in ranges, whatever the workers.
    bool sharded() const { return shards != 0 || merge; }

    // The modes that read a schema rather than dump blocks.
    bool reads_schema() const { return list_tables || ddl || unload; }

    bool reads_tables() const { return unload || ddl; }
    // The workers of the run's passes: --jobs, else every online processor
    // for the tables' modes (--ddl --infer and --list-tables too), the
    // export formats and --verify, one for the dumper's own output.
    unsigned jobs(unsigned online_processors) const
    {
        if (jobs_given != 0) return jobs_given;
        return reads_tables() || list_tables || verify || format != OutputFormat::Text ? std::max(online_processors, 1u)
                                                                                      : 1u;
    }
    // The modes that read every data file named, not -f alone.
    bool reads_several_files() const { return verify || format != OutputFormat::Text || reads_tables(); }
    // A dictionary named, or to be found among the data files.
    bool names_dictionary() const { return !dictionary_file.empty() || dictionary_auto; }
    // Printing a schema read from a file or the dictionary reads no data
    // file; listing tables reads those named, if any.
    bool reads_data_files() const { return (!ddl || infer) && !list_tables; }
};

std::int32_t read_number(const char* text);  // the C library's atol, wrapping in 32 bits

// Argument errors go to `out`, or to `messages` when they are about long
// options or the output format keeps standard output for records.
bool parse_arguments(int argc, const char* const* argv, RunSettings& settings, OutputSink& out,
                     OutputSink& messages);

extern const char* const kHelpText;      // -h
extern const char* const kLongHelpText;  // --help
