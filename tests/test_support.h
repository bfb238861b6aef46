// Helpers shared by the tests and the fuzz harness: a scratch directory for
// data files built in the test, a runner that calls the dumper's entry point
// and captures what it prints, and the shapes of its output lines.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "datafile_builder.h"
#include "cli/arguments.h"
#include "cli/driver.h"
#include "format/piece_classes.h"
#include "values/column_types.h"

struct RunResult {
    int status;
    std::string output;  // standard output
    std::string errors;  // what goes to standard error
};

// Runs trevanix with `args` (without the program name).
RunResult run_trevanix(const std::vector<std::string>& args);

class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& root() const { return root_; }
    std::string path(const std::string& name) const;
    std::string write(const std::string& name, const datafile::Bytes& bytes) const;
    std::string write(const std::string& name, const std::string& text) const;
    std::string write(const std::string& name, const datafile::File& file) const;
    // Removes the directory now (a process that aborts runs no destructors).
    void remove();

private:
    std::string root_;
};

// The whole of a file's bytes; empty when it cannot be read.
std::string read_file(const std::string& path);
// The names in a directory, "." and ".." left out; empty when it cannot be read.
std::set<std::string> directory_entries(const std::string& directory);
// The paths, from `directory`, of every file under it and its directories.
std::set<std::string> tree_files(const std::string& directory);
// summary.json of an unload directory but for its line of the run (its
// times, command line and workers).
std::string summary_without_run(const std::string& directory);
// Empty when two unload directories hold the same files, byte for byte,
// those of their subdirectories too (each summary.json but for its run
// line); else the first that differs.
std::string unload_difference(const std::string& one, const std::string& other);

// A file of blocks with `block_size` bytes each.
datafile::File file_of(std::vector<datafile::Block> blocks, std::uint32_t block_size = 8192);

// Upper-case hexadecimal digits, two a byte, as the unload writes bytes.
std::string hex_of(std::string_view bytes);
std::string hex_of(const datafile::Bytes& bytes);
// "XX XX ... " for the first `count` bytes.
std::string spaced_hex(const std::uint8_t* bytes, std::size_t count);
// A hex dump line: the announced length, the bytes that are there, a newline.
std::string hex_line(std::size_t announced, const std::uint8_t* bytes, std::size_t count);
std::string hex_line(const datafile::Bytes& value);
// A line of the DUMPSCNS listing.
std::string scn_line(std::int64_t block, std::uint32_t object_id, std::uint64_t scn);

// A strict JSON parser for the tests and the fuzz harness: any departure
// from the grammar throws std::runtime_error.
struct Json {
    enum Kind { Null, Bool, Number, String, Array, Object } kind = Null;
    bool boolean = false;
    std::string text;  // a number's digits, a string's UTF-8
    std::vector<Json> items;          // an array's values, or an object's member values
    std::vector<std::string> names;   // an object's member names, in order

    // The member `name` (throws when there is none).
    const Json& operator[](const std::string& name) const;
    std::vector<std::string> keys() const;
};
Json parse_json(const std::string& text);
// One value per line, each line ending in a newline.
std::vector<Json> parse_json_lines(const std::string& output);

// RFC 4180 records with CR LF line ends, as an unload writes them; throws
// std::runtime_error on anything else.
using CsvRecord = std::vector<std::string>;
std::vector<CsvRecord> parse_csv(const std::string& text);
std::vector<CsvRecord> read_csv(const std::string& path);

// The rule line that opens every shown piece outside the deleted-only modes.
extern const std::string kRule;
// The rule line of the deleted-only modes.
extern const std::string kDeletedRule;
extern const std::string kCompleted;
