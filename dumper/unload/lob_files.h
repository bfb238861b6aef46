// The files of LOB values an unload writes with --lob-files: each CLOB,
// NCLOB and BLOB value of length above 0 in a file of its own,
// DIR/lobs/STEM/NAME, STEM its table's file stem (file_name_of, unique
// per table) and NAME made of numbers and the kind's key alone: the kind
// of file its row's line is in, the row's data object, file, block and
// slot (or, for a row no slot points at, its head's offset in the block)
// and the column's place. A CLOB or NCLOB's file holds its text in UTF-8
// (".txt"), a BLOB's its bytes (".bin"). The CSV field holds the path from
// DIR, the loaders read the file. Each file is written page by page under
// its name with ".part", by the worker that reads the value, and renamed
// once whole: a file under its own name is a value complete as read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "unload/table_names.h"

namespace unload {

class TableFiles;

constexpr std::string_view kLobDirectory = "lobs";
constexpr std::string_view kLobTextSuffix = ".txt";
constexpr std::string_view kLobBytesSuffix = ".bin";

// Where a row's value lies, as a LOB file's name gives it.
struct LobPlace {
    RowKind kind;  // the file its line is in (Hidden for a hidden column's)
    std::uint32_t object = 0;
    std::uint32_t file = 0;
    std::uint32_t block = 0;
    std::int32_t slot = -1;   // -1: no slot points at the row's head
    std::uint32_t offset = 0;  // the head's, in its block, when no slot points at it
    std::uint32_t column = 0;  // its place among the columns (or hidden ones) of its file, from 1
    bool text = false;
};

// "rows.87200.4.27.3.c2.bin"; "stale.87200.4.27.o8012.c2.txt".
std::string lob_file_name(const LobPlace& place);
// Whether `name` is of a form lob_file_name gives, or that with ".part".
bool is_lob_file_name(std::string_view name);
// "lobs/STEM/NAME": the path from the unload directory.
std::string lob_file_path(std::string_view stem, std::string_view name);

// Writes one value's file at a time; shares nothing with other writers
// but the directories, which any of them may create.
class LobFileWriter {
public:
    // `directory`: the unload's. A failure is noted in `failures`.
    LobFileWriter(std::string directory, TableFiles& failures) : directory_(std::move(directory)), failures_(failures)
    {
    }
    LobFileWriter(const LobFileWriter&) = delete;
    LobFileWriter& operator=(const LobFileWriter&) = delete;
    ~LobFileWriter();

    // Starts the file of `path` (lob_file_path's, from the unload
    // directory), its directories created when missing; false when it
    // cannot be (the failure is noted).
    bool begin(const std::string& path);
    void write(const char* data, std::size_t size);
    // Closes the file and gives it its name; false when it could not be
    // written.
    bool end();

    // Puts the LOB file `from` (a regular file, another unload's) under
    // `path`: a second name for it where the system gives one, else a
    // copy; false, with `error`, when `from` cannot be read (a failure to
    // write is noted).
    bool take(const std::string& path, const std::string& from, std::string& error);

private:
    bool make_directory(const std::string& relative);

    std::string directory_;
    TableFiles& failures_;
    std::set<std::string> made_;  // the directories made or found, from the unload directory
    std::string path_;            // of the file being written, from the unload directory
    int fd_ = -1;
    bool failed_ = false;
};

// The names of the LOB files of a table (of its STEM) in DIRECTORY, sorted
// by their bytes; those of no form lob_file_name gives are left out.
std::vector<std::string> lob_files_of(const std::string& directory, std::string_view stem);

// Removes from DIRECTORY/lobs what an unload with --lob-files writes
// there: in each of its directories (never through a symbolic link) the
// files of lob_file_name's forms, then each directory and lobs itself once
// empty; nothing else. False, with the message, when a file cannot be
// removed.
bool remove_lob_files(const std::string& directory, std::string& message);
// The same for one table's directory, DIRECTORY/lobs/STEM, alone.
bool remove_lob_files_of(const std::string& directory, std::string_view stem, std::string& message);

}  // namespace unload
