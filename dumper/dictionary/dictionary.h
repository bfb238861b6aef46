// The data dictionary of a SYSTEM data file, read offline: BOOTSTRAP$ says
// how OBJ$, TAB$, COL$ and USER$ store their rows; their rows, read through
// the same row reader as any table's, say which users own which tables,
// where each table's rows are, and each column's name, type, size,
// character set and place in the stored row.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dictionary/release.h"
#include "dictionary/segment_rows.h"
#include "read/data_file.h"
#include "schema/schema.h"

namespace dictionary {

// A row of USER$.
struct User {
    std::uint32_t number = 0;
    std::string name;
    bool role = false;

    bool operator==(const User&) const = default;
};

struct Dictionary {
    // Every table (OBJ$ TYPE# 2) by owner and name, the dictionary's own
    // included: its data object number, its cluster placement (TAB$), its
    // columns (COL$) in storage order with those not stored last, its
    // partitions and subpartitions that have a segment (OBJ$ TYPE# 19 and
    // 34, by object number); and the database and national character sets
    // when the columns tell them.
    schema::Schema schema;
    std::vector<User> users;  // by number
    Release release;
};

// Reads the dictionary of the SYSTEM data file `system`, one of `files`
// (which may hold more files of the SYSTEM tablespace; their geometry set).
// False, with why in `error` (naming what is missing and where it was
// looked for), when BOOTSTRAP$, OBJ$ or COL$ cannot be read. What could
// not be read of the rest (a damaged segment header, whose blocks are then
// found by scanning the SYSTEM file for its data object number; damaged
// blocks; TAB$ or USER$) is said in `notes`.
bool load_dictionary(DataFileSet& files, DataFile& system, Dictionary& dictionary, LoadNotes& notes,
                     std::string& error);

}  // namespace dictionary
