#include "unload/table_files.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "unload/earlier_unload.h"
#include "unload/lob_files.h"
#include "unload/shard_part.h"
#include "unload/summary.h"

namespace unload {

namespace {

constexpr mode_t kFileMode = 0644;
constexpr mode_t kDirectoryMode = 0755;

std::string reason(const std::string& what, int error) { return error == 0 ? what : what + ": " + std::strerror(error); }

int open_retried(const std::string& path, int flags)
{
    int fd;
    do {
        fd = ::open(path.c_str(), flags, kFileMode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// Creates `path` anew: never through a symbolic link, never into a file
// that is there already. What lies under the name (a temporary file an
// earlier run left, or a link someone put there) is removed first, itself
// and not what it points to.
// The file created is told by its device and inode, when asked for.
int create_new(const std::string& path, dev_t* device = nullptr, ino_t* inode = nullptr)
{
    constexpr int kFlags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
    int fd = open_retried(path, kFlags);
    if (fd < 0 && errno == EEXIST && ::unlink(path.c_str()) == 0) fd = open_retried(path, kFlags);
    if (fd < 0 || device == nullptr) return fd;
    struct stat info;
    if (::fstat(fd, &info) != 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    *device = info.st_dev;
    *inode = info.st_ino;
    return fd;
}

// Opens a file this run created to write on at its end; -1 (ELOOP or
// ESTALE) when it is no longer that file.
int reopen_own(const std::string& path, dev_t device, ino_t inode)
{
    const int fd = open_retried(path, O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return fd;
    struct stat info;
    if (::fstat(fd, &info) != 0 || info.st_dev != device || info.st_ino != inode) {
        ::close(fd);
        errno = ESTALE;
        return -1;
    }
    return fd;
}

bool write_all(int fd, const char* data, std::size_t size, int& error)
{
    for (std::size_t done = 0; done < size;) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            error = errno;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool directory_is_empty(const std::string& directory, int& error)
{
    DIR* dir = ::opendir(directory.c_str());
    if (dir == nullptr) {
        error = errno;
        return false;
    }
    bool empty = true;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") {
            empty = false;
            break;
        }
    }
    ::closedir(dir);
    error = 0;
    return empty;
}

}  // namespace

int create_file_anew(const std::string& path) { return create_new(path); }

int open_unnamed_file(const std::string& directory)
{
    const int fd = ::open(directory.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)) return fd;
    std::string name = directory + "/.trevanix-temporary-XXXXXX";
    const int named = ::mkostemp(name.data(), O_CLOEXEC);
    if (named >= 0) ::unlink(name.c_str());
    return named;
}

bool write_all_bytes(int fd, const char* data, std::size_t size, int& error)
{
    return write_all(fd, data, size, error);
}

// ---------------------------------------------------------------------------
// One open file

OpenFile::OpenFile(int fd, std::string path, std::string& failure)
    : fd_(fd), path_(std::move(path)), failure_(failure)
{
    buffer_.grow(kFirstBuffer, 0);
}

OpenFile::OpenFile(std::string& failure, const std::string* spill_directory)
    : fd_(-1), in_memory_(true), failure_(failure), spill_directory_(spill_directory)
{
}

OpenFile::~OpenFile()
{
    if (fd_ >= 0) ::close(fd_);
    if (spill_fd_ >= 0) ::close(spill_fd_);
}

void OpenFile::fail(const char* what, int error)
{
    if (failure_.empty()) failure_ = reason(std::string(what) + " " + path_, error);
}

bool OpenFile::flush()
{
    int error = 0;
    const bool written = write_all(fd_, buffer_.data(), used_, error);
    written_ += used_;
    used_ = 0;
    if (!written) fail("cannot write", error);
    return written;
}

// What a file in memory holds goes on into its unnamed file; false when
// there is none to be had (it then stays in memory).
bool OpenFile::spill()
{
    if (spill_fd_ < 0) {
        spill_fd_ = open_unnamed_file(*spill_directory_);
        if (spill_fd_ < 0) {
            spill_directory_ = nullptr;
            return false;
        }
    }
    int error = 0;
    if (!write_all(spill_fd_, buffer_.data(), used_, error)) {
        if (failure_.empty()) failure_ = reason("cannot write a temporary file in " + *spill_directory_, error);
        return false;
    }
    written_ += used_;
    used_ = 0;
    return true;
}

void OpenFile::append_held_to(OpenFile& out)
{
    if (written_ > 0) {
        out.flush();
        // The unnamed file's bytes, copied by the system where it can.
        std::uint64_t done = 0;
        while (done < written_ && out.failure_.empty()) {
            off_t from = static_cast<off_t>(done);
            const ssize_t n = ::copy_file_range(spill_fd_, &from, out.fd_, nullptr,
                                                static_cast<std::size_t>(std::min<std::uint64_t>(written_ - done, 1 << 30)), 0);
            if (n > 0) {
                done += static_cast<std::uint64_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            std::vector<char> bytes(kBufferSize);
            const ssize_t got = ::pread(spill_fd_, bytes.data(), std::min<std::uint64_t>(written_ - done, bytes.size()),
                                        static_cast<off_t>(done));
            int error = got < 0 ? errno : EIO;
            if (got <= 0 || !write_all(out.fd_, bytes.data(), static_cast<std::size_t>(got), error)) {
                out.fail("cannot write", error);
                break;
            }
            done += static_cast<std::uint64_t>(got);
        }
        out.written_ += done;
    }
    out.append(held());
}

void OpenFile::make_room(std::size_t n)
{
    if (in_memory_) {
        // Rather than grow past what is held at most, what it holds goes on.
        if (spill_directory_ != nullptr && std::max(buffer_.size() * 2, used_ + n) > kHeldAtMost && spill() &&
            buffer_.size() >= n)
            return;
        // Starting small: a range writes a little of many tables' rows.
        buffer_.grow(std::max({buffer_.size() * 2, used_ + n, std::size_t{512}}), used_);
        return;
    }
    flush();
    buffer_.grow(std::max(n, std::min(2 * buffer_.size(), kBufferSize)), 0);
}

void OpenFile::append(std::string_view bytes)
{
    if (in_memory_ || bytes.size() < kBufferSize / 4) {
        text(bytes);
        return;
    }
    int error = 0;
    if (flush() && !write_all(fd_, bytes.data(), bytes.size(), error)) fail("cannot write", error);
    written_ += bytes.size();
}

void OpenFile::patch(std::uint64_t at, std::string_view bytes)
{
    if (at + bytes.size() > position()) return;  // only bytes already given
    // What is still buffered is patched there; what was written out, in the file.
    const std::size_t out = at < written_ ? static_cast<std::size_t>(std::min<std::uint64_t>(written_ - at, bytes.size())) : 0;
    if (out > 0) {
        // A file reopened to append to cannot be written over.
        const int flags = ::fcntl(fd_, F_GETFL);
        if (flags < 0 || (flags & O_APPEND) != 0) {
            fail("cannot write over what was written of", flags < 0 ? errno : EBADF);
            return;
        }
        std::size_t done = 0;
        while (done < out) {
            const ssize_t n = ::pwrite(fd_, bytes.data() + done, out - done, static_cast<off_t>(at + done));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                fail("cannot write", n < 0 ? errno : EIO);
                return;
            }
            done += static_cast<std::size_t>(n);
        }
    }
    if (out < bytes.size())
        std::memcpy(buffer_.data() + (at + out - written_), bytes.data() + out, bytes.size() - out);
}

bool OpenFile::close()
{
    if (in_memory_) return true;
    bool done = flush();
    if (::close(fd_) != 0 && done) {
        fail("cannot write", errno);
        done = false;
    }
    fd_ = -1;
    return done;
}

// ---------------------------------------------------------------------------
// The directory's files

TableFiles::~TableFiles()
{
    // Whatever is still open is left under its temporary name.
    for (File& file : files_)
        if (file.open) file.open->close();
}

std::size_t TableFiles::add(std::string name)
{
    if (in_memory_) {
        held_files_.emplace_back();
        return held_files_.size() - 1;
    }
    files_.push_back({std::move(name), false, nullptr, 0});
    return files_.size() - 1;
}

void TableFiles::note_failure(const std::string& what, int error)
{
    if (failure_.empty()) failure_ = reason(what, error);
}

void TableFiles::close(File& file)
{
    file.open->close();
    file.open.reset();
    --open_;
}

void TableFiles::close_least_recent()
{
    File* oldest = nullptr;
    for (File& file : files_)
        if (file.open && (oldest == nullptr || file.last_use < oldest->last_use)) oldest = &file;
    if (oldest != nullptr) close(*oldest);
}

OpenFile* TableFiles::open(std::size_t number)
{
    if (in_memory_) {
        std::unique_ptr<OpenFile>& held = held_files_[number];
        if (!held) {
            held = std::make_unique<OpenFile>(failure_, directory_.empty() ? nullptr : &directory_);
            ++open_;
            held_.push_back(number);
        }
        return held.get();
    }
    File& file = files_[number];
    file.last_use = ++uses_;
    if (file.open) return file.open.get();
    if (open_ >= most_open_) close_least_recent();
    const std::string part = path(file.name) + std::string(kPartSuffix);
    const int fd = file.created ? reopen_own(part, file.device, file.inode) : create_new(part, &file.device, &file.inode);
    if (fd < 0) {
        note_failure("cannot " + std::string(file.created ? "reopen " : "create ") + part, errno);
        return nullptr;
    }
    file.created = true;
    file.open = std::make_unique<OpenFile>(fd, part, failure_);
    ++open_;
    return file.open.get();
}

std::size_t TableFiles::open_count() const { return open_; }

std::size_t TableFiles::held_bytes() const
{
    std::size_t bytes = 0;
    for (std::size_t number : held_) bytes += held(number).size();
    return bytes;
}

void TableFiles::clear_held()
{
    held_files_.clear();
    open_ = 0;
    held_.clear();
}

void TableFiles::discard(std::size_t number)
{
    if (in_memory_) {
        if (held_files_[number]) {
            held_files_[number].reset();
            std::erase(held_, number);
            --open_;
        }
        return;
    }
    File& file = files_[number];
    if (!file.created) return;
    if (file.open) {
        // What it buffered is dropped with it: the file goes.
        close(file);
    }
    const std::string part = path(file.name) + std::string(kPartSuffix);
    if (::unlink(part.c_str()) != 0 && errno != ENOENT) note_failure("cannot remove " + part, errno);
    file.created = false;
}

bool TableFiles::finish()
{
    for (File& file : files_)
        if (file.open) close(file);
    if (failed()) return false;
    for (const File& file : files_) {
        if (!file.created) continue;
        const std::string final_path = path(file.name);
        if (std::rename((final_path + std::string(kPartSuffix)).c_str(), final_path.c_str()) != 0) {
            note_failure("cannot rename " + final_path + std::string(kPartSuffix), errno);
            return false;
        }
    }
    return true;
}

bool write_whole_file(const std::string& directory, const std::string& name, std::string_view text,
                      std::string& failure)
{
    const std::string final_path = directory + "/" + name;
    const std::string part = final_path + std::string(kPartSuffix);
    const int fd = create_new(part);
    if (fd < 0) {
        failure = reason("cannot create " + part, errno);
        return false;
    }
    int error = 0;
    const bool written = write_all(fd, text.data(), text.size(), error);
    if (::close(fd) != 0 && written) error = errno;
    if (!written || error != 0) {
        failure = reason("cannot write " + part, error);
        return false;
    }
    if (std::rename(part.c_str(), final_path.c_str()) != 0) {
        failure = reason("cannot rename " + part, errno);
        return false;
    }
    return true;
}

bool prepare_directory(const std::string& directory, bool force, std::string& message, bool& refused, bool& created)
{
    refused = false;
    created = false;
    if (::mkdir(directory.c_str(), kDirectoryMode) == 0) {
        created = true;
        return true;
    }
    if (errno != EEXIST) {
        message = reason("trevanix: cannot create the directory " + directory, errno) + "\n";
        return false;
    }
    int error = 0;
    const bool empty = directory_is_empty(directory, error);
    if (error != 0) {
        message = reason("trevanix: cannot read the directory " + directory, error) + "\n";
        return false;
    }
    if (empty) return true;
    if (!force) {
        refused = true;
        message = "trevanix: " + directory +
                  " is not empty: name a new directory, or add --force to write into it (the files of an "
                  "earlier unload there are removed first, and files of the same names replaced)\n";
        return false;
    }
    // The summary (or a shard's record) first: without it, what is left is
    // no complete unload.
    std::vector<std::string> earlier = earlier_unload_files(directory);
    std::stable_partition(earlier.begin(), earlier.end(),
                          [](const std::string& name) { return name == kSummaryFile || name == kShardPartFile; });
    if (!remove_files(directory, earlier, message) || !remove_lob_files(directory, message)) {
        message = "trevanix: " + message + "\n";
        return false;
    }
    return true;
}

}  // namespace unload
