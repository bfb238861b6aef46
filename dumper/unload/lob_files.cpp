#include "unload/lob_files.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "unload/table_files.h"

namespace unload {

namespace {

constexpr mode_t kDirectoryMode = 0755;
constexpr std::string_view kSlotlessMark = "o";
constexpr std::string_view kColumnMark = "c";

// Reads digits (at least one, no leading zero but for 0 itself) from
// `name`, from `at`, to the next `end` character; moves `at` past it.
bool take_number(std::string_view name, std::size_t& at, char end)
{
    const std::size_t stop = name.find(end, at);
    if (stop == std::string_view::npos || stop == at || stop - at > 10) return false;
    const std::string_view digits = name.substr(at, stop - at);
    if (digits.size() > 1 && digits[0] == '0') return false;
    if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) return false;
    at = stop + 1;
    return true;
}

bool take_word(std::string_view name, std::size_t& at, std::string_view word)
{
    if (name.substr(at, word.size()) != word) return false;
    at += word.size();
    return true;
}

// The entries of a directory but "." and "..", in no order; false when
// it cannot be read.
bool entries_of(const std::string& path, std::vector<std::string>& names)
{
    DIR* dir = ::opendir(path.c_str());
    if (dir == nullptr) return false;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") names.emplace_back(name);
    }
    ::closedir(dir);
    return true;
}

// Whether `path` is a directory itself, not a symbolic link to one.
bool is_real_directory(const std::string& path)
{
    struct stat info;
    return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

std::string lob_file_name(const LobPlace& place)
{
    std::string name(names_of(place.kind).key);
    for (const std::uint32_t number : {place.object, place.file, place.block}) name.append(".").append(std::to_string(number));
    name.append(".");
    if (place.slot < 0) name.append(kSlotlessMark);
    name.append(std::to_string(place.slot >= 0 ? static_cast<std::uint32_t>(place.slot) : place.offset));
    name.append(".").append(kColumnMark).append(std::to_string(place.column));
    return name.append(place.text ? kLobTextSuffix : kLobBytesSuffix);
}

bool is_lob_file_name(std::string_view name)
{
    if (name.ends_with(kPartSuffix)) name.remove_suffix(kPartSuffix.size());
    if (!name.ends_with(kLobTextSuffix) && !name.ends_with(kLobBytesSuffix)) return false;
    // Both suffixes are of one length; a '.' ends the column's number.
    name.remove_suffix(kLobTextSuffix.size() - 1);
    std::size_t at = 0;
    const bool kind = std::any_of(std::begin(kAllRowKinds), std::end(kAllRowKinds), [&](RowKind k) {
        std::size_t after = 0;
        if (!take_word(name, after, names_of(k).key) || !take_word(name, after, ".")) return false;
        at = after;
        return true;
    });
    if (!kind || !take_number(name, at, '.') || !take_number(name, at, '.') || !take_number(name, at, '.')) return false;
    take_word(name, at, kSlotlessMark);
    return take_number(name, at, '.') && take_word(name, at, kColumnMark) && take_number(name, at, '.') &&
           at == name.size();
}

std::string lob_file_path(std::string_view stem, std::string_view name)
{
    std::string path(kLobDirectory);
    return path.append("/").append(stem).append("/").append(name);
}

LobFileWriter::~LobFileWriter()
{
    // A file not ended keeps its temporary name.
    if (fd_ >= 0) ::close(fd_);
}

// Creates DIRECTORY/`relative` when missing; one there already is taken
// when it is a directory itself, not a link.
bool LobFileWriter::make_directory(const std::string& relative)
{
    if (made_.count(relative) != 0) return true;
    const std::string path = directory_ + "/" + relative;
    if (::mkdir(path.c_str(), kDirectoryMode) != 0 && !(errno == EEXIST && is_real_directory(path))) {
        failures_.note_failure("cannot create the directory " + path, errno == EEXIST ? ENOTDIR : errno);
        return false;
    }
    made_.insert(relative);
    return true;
}

bool LobFileWriter::begin(const std::string& path)
{
    path_ = path;
    failed_ = false;
    // Each directory on the way: lobs, then lobs/STEM.
    for (std::size_t slash = path.find('/'); slash != std::string::npos; slash = path.find('/', slash + 1))
        if (!make_directory(path.substr(0, slash))) return false;
    const std::string part = directory_ + "/" + path + std::string(kPartSuffix);
    fd_ = create_file_anew(part);
    if (fd_ < 0) {
        failures_.note_failure("cannot create " + part, errno);
        return false;
    }
    return true;
}

void LobFileWriter::write(const char* data, std::size_t size)
{
    int error = 0;
    if (fd_ < 0 || failed_ || write_all_bytes(fd_, data, size, error)) return;
    failed_ = true;
    failures_.note_failure("cannot write " + directory_ + "/" + path_ + std::string(kPartSuffix), error);
}

bool LobFileWriter::end()
{
    if (fd_ < 0) return false;
    const std::string final_path = directory_ + "/" + path_;
    const std::string part = final_path + std::string(kPartSuffix);
    if (::close(fd_) != 0 && !failed_) {
        failed_ = true;
        failures_.note_failure("cannot write " + part, errno);
    }
    fd_ = -1;
    if (failed_) return false;
    if (std::rename(part.c_str(), final_path.c_str()) != 0) {
        failures_.note_failure("cannot rename " + part, errno);
        return false;
    }
    return true;
}

bool LobFileWriter::take(const std::string& path, const std::string& from, std::string& error)
{
    // A regular file only, never through a symbolic link.
    const int in = ::open(from.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st {};
    if (in < 0 || ::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = "cannot read " + from + (in < 0 ? std::string(": ") + std::strerror(errno) : ": not a regular file");
        if (in >= 0) ::close(in);
        return false;
    }
    for (std::size_t slash = path.find('/'); slash != std::string::npos; slash = path.find('/', slash + 1))
        if (!make_directory(path.substr(0, slash))) {
            ::close(in);
            return true;
        }
    if (::link(from.c_str(), (directory_ + "/" + path).c_str()) == 0) {
        ::close(in);
        return true;
    }
    bool read = true;
    if (begin(path)) {
        std::vector<char> bytes(1 << 16);
        for (;;) {
            const ssize_t n = ::read(in, bytes.data(), bytes.size());
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                read = n == 0;
                if (!read) error = "cannot read " + from + ": " + std::strerror(errno);
                break;
            }
            write(bytes.data(), static_cast<std::size_t>(n));
        }
        if (!read) failed_ = true;
        end();
    }
    ::close(in);
    return read;
}

std::vector<std::string> lob_files_of(const std::string& directory, std::string_view stem)
{
    std::vector<std::string> names;
    const std::string path = directory + "/" + std::string(kLobDirectory) + "/" + std::string(stem);
    if (!is_real_directory(path) || !entries_of(path, names)) return {};
    std::erase_if(names, [](const std::string& name) { return name.ends_with(kPartSuffix) || !is_lob_file_name(name); });
    std::sort(names.begin(), names.end());
    return names;
}

bool remove_lob_files_of(const std::string& directory, std::string_view stem, std::string& message)
{
    const std::string path = directory + "/" + std::string(kLobDirectory) + "/" + std::string(stem);
    std::vector<std::string> names;
    if (!is_real_directory(path) || !entries_of(path, names)) return true;
    for (const std::string& name : names) {
        if (!is_lob_file_name(name)) continue;
        const std::string file = path + "/" + name;
        if (::unlink(file.c_str()) != 0 && errno != ENOENT) {
            message = "cannot remove " + file + ": " + std::strerror(errno);
            return false;
        }
    }
    ::rmdir(path.c_str());  // kept when something else is in it
    return true;
}

bool remove_lob_files(const std::string& directory, std::string& message)
{
    const std::string lobs = directory + "/" + std::string(kLobDirectory);
    std::vector<std::string> tables;
    if (!is_real_directory(lobs) || !entries_of(lobs, tables)) return true;
    for (const std::string& table : tables)
        if (!remove_lob_files_of(directory, table, message)) return false;
    ::rmdir(lobs.c_str());
    return true;
}

}  // namespace unload
