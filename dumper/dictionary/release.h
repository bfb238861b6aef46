// Which release of the database wrote a SYSTEM file's dictionary, told by
// what the file holds: the shape of OBJ$ (its columns grow by release),
// the length of the file's header, and BOOTSTRAP$'s line -1, which names
// the form its lines are written in.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "read/data_file.h"

namespace dictionary {

struct Bootstrap;
struct CoreTable;

struct Release {
    // "11.2 or earlier", "12.1" or "12.2 or later", by OBJ$'s columns.
    std::string by_dictionary;
    std::size_t object_columns = 0;
    // What the SYSTEM file's header suggests ("12c or later"; a "probably");
    // empty when it does not tell.
    std::string by_file_header;
    std::optional<std::string> bootstrap_version;  // line -1's text, when read

    bool operator==(const Release&) const = default;
};

// The release of the dictionary whose BOOTSTRAP$ is `bootstrap` and whose
// OBJ$ its statement creates as `objects`, in the SYSTEM file `system`.
Release release_of(const Bootstrap& bootstrap, const CoreTable& objects, DataFile& system);

// The release OBJ$'s column count tells: every release adds to OBJ$
// (21 columns in 11.2, 25 in 12.1, 37 from 12.2 on).
std::string release_by_object_columns(std::size_t columns);

}  // namespace dictionary
