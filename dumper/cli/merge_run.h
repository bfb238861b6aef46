// --merge OUT PART_DIR...: the parts a sharded unload's shards wrote,
// checked to be the N parts of one run, give the run to make: the shards'
// command, writing into OUT, that reads the blocks only for what the whole
// run decides and takes the rows from the parts (unload_run.cpp).
#pragma once

#include "cli/arguments.h"
#include "print/output_sink.h"

// The settings of the merge's run; false after a message on `err` when the
// parts are not the parts of one run, each once, or cannot be read.
bool merge_settings(const RunSettings& given, RunSettings& merged, OutputSink& out, OutputSink& err);
