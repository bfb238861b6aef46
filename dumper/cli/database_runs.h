// The tables' modes over the files of several databases at once: the
// containers of a multitenant database, or databases a seized server held
// side by side. Each group of data files whose headers carry one database
// id is read apart, with the dictionary of that id, so that tables of the
// same OWNER.TABLE in two of them never mix; an unload writes each into a
// subdirectory of its own and says in a summary of all which is where.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cli/arguments.h"
#include "print/output_sink.h"

// One database's share of a run.
struct DatabaseInputs {
    std::optional<std::uint32_t> database_id;  // none: files whose header gives none
    std::string name;                          // as its files' headers give it
    std::vector<std::string> data_files;
    // The --dictionary given for its database id; empty: its own SYSTEM
    // file among its data files, if there is one, or none.
    std::string dictionary_file;
};

// Runs the settings given: the whole run when its files are of one
// database, or one database's share of it.
using RunOne = std::function<int(const RunSettings&)>;

// The tables' modes (--unload, --ddl, --list-tables) over the paths the
// settings give: directories expanded, then the data files and the
// dictionaries grouped by database id and each group run apart with
// `run_one` (the whole run as one when there is one group). Returns the
// exit status.
int run_by_database(const RunSettings& settings, OutputSink& out, OutputSink& err, const RunOne& run_one);
