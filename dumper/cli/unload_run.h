// The tables' modes: --ddl prints the run's schema (read from its sources,
// and with --infer completed by inference over the data files' rows);
// --unload writes every table's rows into a directory as CSV files, with
// the scripts that load them and a summary, typing the data objects no
// schema entry describes by inference. Rows are read whole, as --rows
// reads them: a first pass learns which pieces rows reach (and samples the
// rows inference weighs), the second writes.
#pragma once

#include "schema/schema.h"

#include "cli/arguments.h"
#include "cli/block_pass.h"
#include "cli/progress.h"
#include "read/data_file.h"
#include "unload/evidence.h"

struct TableRun {
    const RunSettings& settings;
    schema::Schema schema;  // from the run's sources (load_run_schema), before any data file is opened
    DataFileSet& files;
    PassReader read_pass;
    RangePassReader read_in_ranges;  // the same pass by several workers, when the run has them
    Progress& progress;  // cleared before the run's last words
    OutputSink& out;
    OutputSink& err;
    bool schema_lost = false;  // the dictionary named could not be read: `schema` is empty
    // What --unload records of the run: its command line and start, and
    // the schema's files (the data files' are added as the run ends).
    unload::RunEvidence evidence;
    std::string dictionary_file;  // the SYSTEM file the schema's dictionary was read from; empty: none
};

// The passes a run of the tables' modes makes over the data files.
PassCount table_passes(const RunSettings& settings);

// Runs --ddl or --unload; returns the exit status.
int run_tables(TableRun& run);
