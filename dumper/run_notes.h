// What a run says on the message sink besides its records: why a file could
// not be opened or read, template lines that name no type, a run that read
// nothing, a file that ends inside a block or got shorter while it was
// read, and blocks that contradict the block size or byte order the run
// reads them with. Standard output is left exactly as the records make it.
#pragma once

#include "trevanix.h"

// The system's reason a block could not be read, after the printer's message.
void print_load_failure_reason(OutputSink& err, const DumpContext& ctx, LoadFailure failure);

// The template could not be opened, or some of its lines name no type.
// Returns false when the run cannot go on: an export format would turn
// every value into hexadecimal without a word.
bool report_column_template(DumpContext& ctx, const ColumnTemplate& t);

// Once enough blocks have been read, or at the end: one warning when most
// of them contradict the run's block size or byte order.
void report_geometry(DumpContext& ctx, bool at_end);

// At the end of a run: the notes above that apply. Returns false when the
// file got shorter while it was read, which fails the run.
bool report_run_end(DumpContext& ctx);
