// What an unload records of its run and of the files it read, so that an
// analyst can show which evidence the tables came from and when: the
// tool's version, the command line, the start and end of the run (UTC),
// and for each file read its path, size, SHA-256 and what its header
// says. The run's fields differ from one run to the next by their nature;
// they are kept together, apart from the inputs'.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "format/sha256.h"
#include "read/data_file.h"

namespace unload {

struct InputEvidence {
    std::string path;
    std::string role;  // "dictionary", "data file", "schema file", or two of them joined by " and "
    // The bytes hashed, and their SHA-256; none when the file could not be
    // read to its end.
    std::optional<std::uint64_t> size;
    std::optional<Sha256Digest> sha256;
    // A data file's header (blocks 0 and 1) as read with `geometry`; none
    // for a schema file.
    std::optional<FileHeaderFacts> header;
    Geometry geometry;
};

struct RunEvidence {
    std::vector<std::string> command_line;
    std::chrono::system_clock::time_point started;
    std::chrono::system_clock::time_point ended;
    unsigned workers = 1;  // that read the blocks
    std::vector<InputEvidence> inputs;
};

// The evidence of a data file whose hash was started before its first
// read (DataFile::hash_contents): finishes the hash, reading what the run
// did not read of it in order; `read_again` gets how many bytes that took.
InputEvidence data_file_evidence(DataFile& file, std::string role, std::uint64_t& read_again);

// A moment as ISO 8601 in UTC, to the second: 2024-06-01T12:34:56Z.
std::string utc_text(std::chrono::system_clock::time_point moment);

// summary.json's "run" and "inputs" fields, each line indented and ended
// with a comma:
//   "run": {"tool", "version", "command_line", "started", "ended", "workers"}
//   "inputs": [{"path", "role", "size", "sha256", "header": {"database",
//   "database_id", "absolute_file", "relative_file", "tablespace",
//   "block_size", "byte_order"}}]
// Text is valid_utf8's, with the exact bytes in hexadecimal beside it
// ("path_hex", "command_line_hex", ...) where they are not plain text.
std::string evidence_json(const RunEvidence& evidence);

// For standard error: each file's SHA-256 and path as sha256sum prints
// them, after a heading.
std::string evidence_lines(const RunEvidence& evidence);

}  // namespace unload
