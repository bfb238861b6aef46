// --list-tables: the dictionary's tables, with what the data files named
// hold of each, and the data objects no table has.
#pragma once

#include "cli/arguments.h"
#include "print/output_sink.h"

// The exit status: 0 done, 1 a file or the schema could not be read.
int run_schema_mode(const RunSettings& settings, OutputSink& out, OutputSink& err);
