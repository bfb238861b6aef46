// The data files a run of several files reads (the tables' modes, --verify,
// the export formats), from the paths it is given: directories searched
// through, and of what they hold only the data files kept, each file left
// out said with a line; a file named is read whatever it is. And the
// SYSTEM file whose dictionary --dictionary auto reads: the one among the
// data files whose header holds the root address, which is also the
// default when neither --dictionary nor --schema is given.
#pragma once

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

// False, with why on `err`, when the run cannot go on: no data file is
// left, or --dictionary auto finds no single SYSTEM file.
bool resolve_run_inputs(const RunSettings& settings, RunInputs& inputs, OutputSink& err);

// --inventory: what each file is. Returns the exit status.
int run_inventory(const RunSettings& settings, OutputSink& out, OutputSink& err);
