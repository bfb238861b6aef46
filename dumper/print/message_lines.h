// The messages of a run that are not records: why a block could not be
// read, why a block ends the run, a row directory that runs past its block.
// The text printer prints them among its output; the export printers send
// them to the message sink, each block's naming the block.
#pragma once

#include "print/printer.h"
#include "read/block_checks.h"

void print_load_failure(OutputSink& out, const LoadFailureRecord& failure);
// The message of a block whose outcome is fatal.
const char* block_failure_message(BlockOutcome outcome);
constexpr char kEntryBeyondBlock[] = "Count is out of bounds!\n";

// For the export printers: "Block ID: N, " and the message.
void print_block_failure(OutputSink& out, const DecodedBlock& block);
void print_entry_beyond_block(OutputSink& out, const DecodedBlock& block);
// "Block ID: N, compressed (BASIC or OLTP): its rows are not decoded" for
// a block whose content is not decoded; nothing for one of rows.
void print_block_content(OutputSink& out, const DecodedBlock& block, BlockContent content);
