// The data files a run of several files reads (the tables' modes, --verify,
// the export formats), from the paths it is given: directories searched
// through, and of what they hold only the data files kept, each file left
// out said with a line; a file named is read whatever it is. And the
// SYSTEM file whose dictionary --dictionary auto reads: the one among the
// data files whose header holds the root address, which is also the
// default when neither --dictionary nor --schema is given.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/arguments.h"
#include "print/output_sink.h"

struct RunInputs {
    std::vector<std::string> data_files;
    std::string dictionary_file;  // the SYSTEM file the dictionary is read from; empty: none
};

// The paths the run is given: -f's (for the modes that read several
// files), then the words after the options.
std::vector<std::string> given_paths(const RunSettings& settings);

// A data file a run reads, and what its header says of its database.
struct FoundDataFile {
    std::string path;
    std::optional<std::uint32_t> database_id;  // none: no file header could be read
    std::string database_name;
    bool holds_dictionary = false;  // a SYSTEM file: its header holds the root address
};

// The data files among the paths the run is given: directories searched
// through, of what they hold only the data files kept, each file left out
// said on `err`; a file named is kept whatever it is. Empty, said, when
// none is left.
std::vector<FoundDataFile> find_data_files(const RunSettings& settings, OutputSink& err);

// What the header of the file at `path` says of its database: none when
// it cannot be read or has no data file header.
std::optional<FoundDataFile> look_at_data_file(const std::string& path);

// False, with why on `err`, when the run cannot go on: no data file is
// left, or --dictionary auto finds no single SYSTEM file.
bool resolve_run_inputs(const RunSettings& settings, RunInputs& inputs, OutputSink& err);

// --inventory: what each file is. Returns the exit status.
int run_inventory(const RunSettings& settings, OutputSink& out, OutputSink& err);
