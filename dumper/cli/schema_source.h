// The data files of the tables' modes, opened with the geometry the options
// give or the files show, and the data dictionary of a SYSTEM data file
// (--dictionary) loaded from them.
#pragma once

#include <string>

#include "cli/arguments.h"
#include "dictionary/release.h"
#include "print/output_sink.h"
#include "read/data_file.h"
#include "read/geometry.h"
#include "schema/schema.h"

// What the options give of the geometry of the files a run that reads a
// schema or tables reads, and what they leave to the files: all of it
// unless --block-size (or -z) and --byte-order give it.
GeometryChoice geometry_choice(const RunSettings& settings);

// Finds what the options leave of a data file's geometry. What they ask to
// be found (auto) must be, or the run ends; what they merely leave out is
// looked for, and when the file does not tell, the default (8192 bytes,
// little-endian) is read with a warning. False, with why on `err`, when
// the run cannot go on.
bool find_data_file_geometry(DataFile& file, const RunSettings& settings, OutputSink& err);

// Opens a data file for a run that reads a schema, finds what of its
// geometry the options leave to it (all of it unless --block-size or
// --byte-order give it), and adds it to `files`. nullptr, with why on
// `err`, when it cannot be opened or its geometry cannot be told.
DataFile* open_data_file(const std::string& path, const RunSettings& settings, DataFileSet& files, OutputSink& err);

// Loads the data dictionary of the SYSTEM file `system_file`, which is
// opened and added to `files` (the run's data files, which may hold more
// files of the SYSTEM tablespace), and, with `release`, what tells the
// release that wrote it. Warnings, and why it failed, go to `err`; false
// when no schema could be loaded. `opened`, when given, says whether the
// SYSTEM file could be opened (the dictionary in it not read).
bool load_schema(const RunSettings& settings, const std::string& system_file, DataFileSet& files,
                 schema::Schema& schema, OutputSink& err, bool* opened = nullptr,
                 dictionary::Release* release = nullptr);
