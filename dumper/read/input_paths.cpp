#include "read/input_paths.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <set>
#include <sys/stat.h>
#include <utility>

namespace {

using FileId = std::pair<dev_t, ino_t>;

struct Walk {
    InputPaths& out;
    std::set<FileId> directories;  // searched, or being searched
    std::set<FileId> files;        // taken

    void note(const std::string& path, const std::string& why) { out.notes.push_back(path + ": " + why); }

    // A file found in a directory, unless it was reached before (through a
    // link, or named): it is read once.
    void take(const std::string& path, const struct stat& info)
    {
        if (!files.insert({info.st_dev, info.st_ino}).second) return;
        out.files.push_back(path);
        out.found_in_directory.push_back(true);
    }

    // The names in a directory, sorted; false, with why, when it cannot be read.
    bool names_in(const std::string& path, std::vector<std::string>& names)
    {
        DIR* dir = ::opendir(path.c_str());
        if (dir == nullptr) {
            note(path, std::string("cannot be read (") + std::strerror(errno) + "): left out");
            return false;
        }
        errno = 0;
        while (const struct dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        const int error = errno;
        ::closedir(dir);
        if (error != 0) note(path, std::string("cannot be read whole (") + std::strerror(error) + ")");
        std::sort(names.begin(), names.end());
        return true;
    }

    void directory(const std::string& path, const struct stat& info)
    {
        if (!directories.insert({info.st_dev, info.st_ino}).second) {
            note(path, "a directory already searched (a link loop?): left out");
            return;
        }
        std::vector<std::string> names;
        if (!names_in(path, names)) return;
        const std::string prefix = path.empty() || path.back() == '/' ? path : path + "/";
        for (const std::string& name : names) {
            const std::string entry = prefix + name;
            struct stat entry_info;
            if (::stat(entry.c_str(), &entry_info) != 0) {
                note(entry, std::string("cannot be read (") + std::strerror(errno) + "): left out");
            } else if (S_ISDIR(entry_info.st_mode)) {
                directory(entry, entry_info);
            } else if (S_ISREG(entry_info.st_mode)) {
                take(entry, entry_info);
            } else {
                note(entry, "not a regular file: left out");
            }
        }
    }
};

}  // namespace

InputPaths expand_input_paths(const std::vector<std::string>& paths)
{
    InputPaths out;
    Walk walk{out, {}, {}};
    for (const std::string& path : paths) {
        struct stat info;
        if (::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
            const std::size_t before = out.files.size();
            walk.directory(path, info);
            if (out.files.size() == before) walk.note(path, "a directory holding no file to read");
        } else {
            // Named: kept whatever it is; opening it says what is wrong.
            if (::stat(path.c_str(), &info) == 0) walk.files.insert({info.st_dev, info.st_ino});
            out.files.push_back(path);
            out.found_in_directory.push_back(false);
        }
    }
    return out;
}
