// The files a run reads, from the paths it is given: a file as it is, a
// directory searched through, its subdirectories too, in the order of the
// names. A symbolic link is followed, but never into a directory already
// searched (no loop), and a file reached twice is read once. What cannot
// be read, and what is no regular file, is said and left out.
#pragma once

#include <string>
#include <vector>

struct InputPaths {
    // The files, each once.
    std::vector<std::string> files;
    // Which of them were found in a directory rather than named.
    std::vector<bool> found_in_directory;
    // Lines saying what was left out and why, without the program's name.
    std::vector<std::string> notes;
};

// Expands `paths` as above. A path that is not a directory is kept as it
// is, whatever it is (a pipe, a device), as naming it asks.
InputPaths expand_input_paths(const std::vector<std::string>& paths);
