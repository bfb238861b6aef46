// The run: parse the arguments, open the data files, read the selected
// blocks one after another, decode them and hand the records to one printer.
#pragma once

#include "print/output_sink.h"

// The program: its result is the exit status. Messages that are not part of
// the output go to `messages` where the output format keeps them apart.
int run_dump(int argc, const char* const* argv, OutputSink& out, OutputSink& messages);
int run_dump(int argc, const char* const* argv, OutputSink& out);
