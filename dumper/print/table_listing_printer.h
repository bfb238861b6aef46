// --list-tables: the dictionary's tables as aligned text, one line per
// table (and per partition, under its table), or as JSON Lines, one object
// per table; then the data objects no table has.
#pragma once

#include "dictionary/table_listing.h"
#include "print/output_sink.h"
#include "print/printer.h"

// Text or jsonl (the caller refuses csv).
void write_table_listing(OutputSink& out, const dictionary::TableListing& listing, OutputFormat format);
