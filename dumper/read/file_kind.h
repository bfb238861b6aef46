// What a file is, told from its first blocks: a data file (with what its
// header says), a temporary file, a control file, a redo log, an ASM disk,
// a server parameter file, or none of these. What rests on an assumed fact,
// or on data blocks where the header is lost, is marked as not sure: it is
// said as "probably". The files of one database are grouped by the
// database id their headers carry.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "format/file_format.h"
#include "read/data_file.h"

enum class FileKind : std::uint8_t {
    DataFile,
    TempFile,
    ControlFile,
    RedoLog,  // online or archived: their headers are not told apart here
    AsmDisk,
    ParameterFile,
    Empty,
    Unknown,
};

// "data file", "temp file", "control file", "redo log", "ASM disk",
// "parameter file", "empty", "unknown".
std::string_view kind_name(FileKind kind);

struct FileIdentity {
    FileKind kind = FileKind::Unknown;
    bool sure = false;     // false: "probably"
    std::string evidence;  // what tells, in a few words
    bool geometry_known = false;
    Geometry geometry;
    std::uint64_t size = 0;  // bytes; 0 when not known
    // Data and temp files: what blocks 0 and 1 say (file_header false when
    // block 1 is lost).
    FileHeaderFacts facts;
    // The release the header's length suggests (always a "probably"); empty
    // when it does not tell.
    std::string release;

    bool is_data_file() const { return kind == FileKind::DataFile; }
    // Whole blocks in the file.
    std::uint64_t blocks_in_file() const { return geometry_known ? size / geometry.block_size : 0; }
    // The header counts more blocks than the file holds (of a file whose size is known).
    bool cut_short() const
    {
        return facts.file_header && size > 0 && file_format::cut_short_by_header_count(blocks_in_file(), facts.block_count);
    }
    // The SYSTEM file whose root address leads to the dictionary.
    bool holds_dictionary() const { return is_data_file() && facts.file_header && facts.root_address != 0; }
};

// The release that wrote a data file header, told by how far the bytes of
// block 1 reach (likely, so always a "probably"): "10g or earlier", "11g",
// "12c or later"; empty when they end with the fields every release has.
std::string release_by_header_length(ByteView block);

// Tells what `file` is. Leaves the file's geometry set to what was found,
// so that a data file is then read as it is laid out.
FileIdentity identify_file(DataFile& file);

// The data files (with a header) of one database, by the database id
// their headers carry.
struct DatabaseFiles {
    std::uint32_t database_id = 0;
    std::string name;
    std::vector<std::size_t> files;  // indexes into the identities, by absolute file number
    // Absolute file numbers below the highest found that no file given has:
    // missing files, or files dropped from the database.
    std::vector<std::uint32_t> not_found;
};
std::vector<DatabaseFiles> group_by_database(const std::vector<FileIdentity>& identities);
