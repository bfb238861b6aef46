// The schema a run's tables are read with (--unload, --ddl), from the
// sources its options name, before any data file is read: the data
// dictionary of a SYSTEM file (--dictionary), or a schema file (--schema
// FILE). With neither, the schema is empty and inference fills it. A new
// source is one more call here.
#pragma once

#include "cli/arguments.h"
#include "cli/run_inputs.h"
#include "schema/schema.h"
#include "unload/evidence.h"

// Fills `schema` from the run's sources (the dictionary of the inputs'
// SYSTEM file when they name one); false, having said why on `err`, when a
// source cannot be read (a schema file's error names its line). An unload
// whose dictionary cannot be read goes on without it, every data object
// typed by inference, having said so: `lost` is then set. With `evidence`,
// each source file's (its hash) is added to it, but that of a SYSTEM file
// also among the data files, which the run's passes hash as they read it.
bool load_run_schema(const RunSettings& settings, const RunInputs& inputs, schema::Schema& schema, OutputSink& err,
                     bool& lost, std::vector<unload::InputEvidence>* evidence = nullptr);
