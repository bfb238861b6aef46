// The files an unload leaves in its directory, found again: those an
// earlier unload's summary.json and loading scripts name, with its scripts
// and summary, so that --force starts clean without touching anything
// else in the directory; and those a failed run may have written, so
// that it can take back what it created.
#pragma once

#include <string>
#include <vector>

#include "unload/unload_plan.h"

namespace unload {

// The names, in DIRECTORY, of the files an earlier unload wrote there:
// what its summary.json and loading scripts name, the scripts and the
// summary themselves, and every temporary (".part") file of a name an
// unload gives. Only plain names of the forms an unload writes are taken,
// whatever the files say: a name with '/' or of another form is passed
// over. Sorted, each once.
std::vector<std::string> earlier_unload_files(const std::string& directory);

// Every name the unload of `plan` may write, each also with ".part".
std::vector<std::string> unload_file_names(const UnloadPlan& plan);

// Removes DIRECTORY/NAME of each name, not following a symbolic link; a
// name that is not there is passed over. False, with the message, when
// one cannot be removed.
bool remove_files(const std::string& directory, const std::vector<std::string>& names, std::string& message);

// Those of `names` that are in DIRECTORY now.
std::vector<std::string> existing_files(const std::string& directory, const std::vector<std::string>& names);

}  // namespace unload
