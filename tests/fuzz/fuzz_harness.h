// Fuzz harness of trevanix: turns fuzz input bytes into data files, column
// templates and command lines, runs them through the dumper's real entry
// point (run_dump with a collecting sink, so nothing is printed) and checks
// the promises every run must keep. The libFuzzer targets, the seed writer
// and the regression tests all go through it, so a crashing input replays
// the same way in a unit test as it did under the fuzzer.
//
// The dumper reads its files by path: each process writes them into one
// scratch directory of its own, made on first use and removed at exit, and
// reuses the same paths for every input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "schema/schema.h"
#include "unload/unload_plan.h"

namespace fuzz {

using Bytes = std::vector<std::uint8_t>;

// Each runs one fuzz input and returns "" when every run kept its promises,
// or a description of the first promise broken. Crashes, reads outside a
// buffer and undefined behaviour are the sanitizers' to report.
std::string run_datafile_input(const std::uint8_t* data, std::size_t size);
std::string run_template_input(const std::uint8_t* data, std::size_t size);
std::string run_value_input(const std::uint8_t* data, std::size_t size);
std::string run_arguments_input(const std::uint8_t* data, std::size_t size);
std::string run_schema_input(const std::uint8_t* data, std::size_t size);
std::string run_loader_scripts_input(const std::uint8_t* data, std::size_t size);
std::string run_unload_dir_input(const std::uint8_t* data, std::size_t size);
std::string run_lobs_input(const std::uint8_t* data, std::size_t size);

inline std::string run_datafile_input(const Bytes& input) { return run_datafile_input(input.data(), input.size()); }
inline std::string run_template_input(const Bytes& input) { return run_template_input(input.data(), input.size()); }
inline std::string run_value_input(const Bytes& input) { return run_value_input(input.data(), input.size()); }
inline std::string run_arguments_input(const Bytes& input) { return run_arguments_input(input.data(), input.size()); }
inline std::string run_schema_input(const Bytes& input) { return run_schema_input(input.data(), input.size()); }
inline std::string run_loader_scripts_input(const Bytes& input)
{
    return run_loader_scripts_input(input.data(), input.size());
}
inline std::string run_unload_dir_input(const Bytes& input) { return run_unload_dir_input(input.data(), input.size()); }
inline std::string run_lobs_input(const Bytes& input) { return run_lobs_input(input.data(), input.size()); }

// For a libFuzzer target: prints the problem and aborts, so that the fuzzer
// keeps the input as a finding. Does nothing for "".
void report(const std::string& problem);

// ---------------------------------------------------------------------------
// Input layouts.
//
// Data file input: [run flags] [range] [layout, 2 bytes LE] [payload...]
//   run flags: kWithVerbose -g, kWithLocation -v, kWithTemplate -c with the
//     template picked by (flags >> 3) & 3, kWithObjectFilter -o with the first
//     block's object ID, and the separator picked by kSeparatorComma and
//     kSeparatorOther (none, ",", the zero byte, "|").
//   range: its value modulo 8 picks no range, -n 1, -n 2, -b 0, -b 1,
//     -b 1 -n 2, -n -1 or -b 2.
//   layout: with kLargeLayout set, blocks of kLargeSizes[layout & 3] bytes,
//     each given as [head length, 2 bytes LE] [tail length, 2 bytes LE]
//     [head] [tail]: the head starts the block, the tail ends it, zeros lie
//     between. Otherwise blocks of (layout % 1024) + 1 bytes and the payload
//     is the file as it is, a partial last block included.
// Every input runs once with each action (none, A, D, O, S, C). Bytes past
// the first 16 KiB are ignored.
enum DatafileFlag : std::uint8_t {
    kWithVerbose = 0x01,
    kWithLocation = 0x02,
    kWithTemplate = 0x04,
    kSeparatorComma = 0x20,
    kWithObjectFilter = 0x40,
    kSeparatorOther = 0x80,
};
constexpr std::uint16_t kLargeLayout = 0x8000;
constexpr std::uint32_t kLargeSizes[4] = {2048, 4096, 8192, 16000};
// The templates the data file input picks from.
extern const char* const kDatafileTemplates[4];

// A data file input of blocks of `block_size` bytes holding `file`.
Bytes datafile_input(std::uint8_t flags, std::uint8_t range, std::uint32_t block_size, const Bytes& file);

// Template input: [flags] [separator] [column count] [columns...] [template text...]
//   flags: kTemplateVerbose -g, kTemplateDeleted the piece is deleted and the
//     deleted-only action runs, kTemplateHeapWalk the heap walk runs,
//     kTemplateSeparator the separator byte is passed with -s.
//   a column: 0xFF for NULL; 0xFE and a length byte for a value written with
//     the 3-byte prefix; any other byte is the length of a value with a
//     1-byte prefix. Value bytes follow (fewer if the input ends).
// The piece, with its columns, is the one row of an 8192-byte data block.
enum TemplateFlag : std::uint8_t {
    kTemplateVerbose = 0x01,
    kTemplateDeleted = 0x02,
    kTemplateHeapWalk = 0x04,
    kTemplateSeparator = 0x08,
};
struct TemplateColumn {
    bool null = false;
    bool long_prefix = false;
    Bytes value;
};
Bytes template_input(std::uint8_t flags, char separator, const std::vector<TemplateColumn>& columns,
                     const std::string& template_text);

// Value input: [separator choice] [value bytes...]. The value goes through
// every decoder of the type table, checked apart from it, and through
// run_dump as a column of every keyword; the separator choice picks as the
// data file input does (0x20 ",", 0x80 the zero byte, both "|").
Bytes value_input(std::uint8_t separator_choice, const Bytes& value);

// Arguments input: arguments separated by zero bytes (at most 24). An
// argument that starts with the byte 0xFF stands for the entry of
// kArgumentWords picked by its second byte; these include the paths of
// files the harness writes. Other arguments are used as they are, but a run
// whose data file or template is not one of the harness's files stops after
// parse_arguments, so the fuzzer never reads the machine's files.
extern const std::vector<std::string> kArgumentWords;
// An arguments input whose arguments are `words`; a word "@N" stands for
// kArgumentWords[N].
Bytes arguments_input(const std::vector<std::string>& words);

// Loader scripts input: tables of names made of pieces that end or start
// something in a script's grammar, with columns and rows of values, read a
// byte at a time (zeros past the end; see loader_harness.cpp):
//   [table count] then per table [shape: bit 0 an owner, bit 1 two
//   partitions] [owner] [name] [partitions' names] [column count] [columns:
//   type, name] [row count] [rows: kind, partition, a value per column];
//   a name is [shape: its count of pieces, bit 7 a long run of a letter]
//   [pieces], a text value [shape: 0xFF NULL, else its count of pieces]
//   [pieces].
// The case is unloaded as the unload writes it, and each script is read as
// its interpreter reads it (see script_checks.h).
struct LoaderRow {
    unload::RowKind kind = unload::RowKind::Live;
    std::size_t partition = 0;
    std::vector<Bytes> values;  // by column; empty for NULL
};
struct LoaderTable {
    schema::Table table;
    std::vector<LoaderRow> rows;
};
struct LoaderCase {
    std::vector<LoaderTable> tables;
    bool lob_files = false;  // each LOB value in a file of its own (--lob-files)
};
LoaderCase loader_case(const std::uint8_t* data, std::size_t size);
// Writes the case's CSV files, binary copies, scripts and control files
// into `directory`, its tables named in `plan`; "" or what failed.
std::string write_loader_case(const LoaderCase& c, const std::string& directory, unload::UnloadPlan& plan,
                              unload::WrittenFiles& written);

// ---------------------------------------------------------------------------
// Seeds: inputs built from data files the builder makes, one list per target.
struct Seed {
    std::string name;
    Bytes input;
};
std::vector<Seed> datafile_seeds();
std::vector<Seed> template_seeds();
std::vector<Seed> value_seeds();
std::vector<Seed> arguments_seeds();
// BOOTSTRAP$'s statements and schema files (schema input: the text itself).
std::vector<Seed> schema_seeds();
std::vector<Seed> loader_scripts_seeds();
// An earlier unload's summary.json and scripts.
std::vector<Seed> unload_dir_seeds();
std::vector<Seed> lobs_seeds();

}  // namespace fuzz
