// --inventory: what each file is, one line per file (text, or one JSON
// object per line), then per database the files found and the absolute
// file numbers no file given has.
#pragma once

#include <string>
#include <vector>

#include "print/output_sink.h"
#include "print/printer.h"
#include "read/file_kind.h"

struct InventoryEntry {
    std::string path;
    FileIdentity identity;
};

// Text or jsonl (the caller refuses csv).
void write_inventory(OutputSink& out, const std::vector<InventoryEntry>& entries,
                     const std::vector<DatabaseFiles>& databases, OutputFormat format);
