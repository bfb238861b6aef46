// The files of an unload directory. Each is written under a temporary name
// (its name and ".part") and renamed only when the run has completed, so
// that a run that fails or is interrupted leaves no file that looks
// complete. However many tables there are, only the most recently written
// few files are open, each with its buffer; the others are closed, and
// reopened to append when written to again.
#pragma once

#include <cstddef>
#include <cstring>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>
#include <sys/types.h>

namespace unload {

// What a file being written is called until it is complete.
constexpr std::string_view kPartSuffix = ".part";

// Bytes waiting to be written, never filled in before they are: a buffer
// that grows keeps what it holds, and nothing more is touched.
class WriteBuffer {
public:
    char* data() { return bytes_.get(); }
    const char* data() const { return bytes_.get(); }
    std::size_t size() const { return size_; }
    // Grows to `size` bytes, keeping the first `kept`.
    void grow(std::size_t size, std::size_t kept)
    {
        if (size <= size_) return;
        std::unique_ptr<char[]> bytes(new char[size]);
        if (kept > 0) std::memcpy(bytes.get(), bytes_.get(), kept);
        bytes_ = std::move(bytes);
        size_ = size;
    }

private:
    std::unique_ptr<char[]> bytes_;
    std::size_t size_ = 0;
};

// One file's buffer while the file is open. A write the system refuses is
// noted in the failure the owner gave, and what was buffered is dropped.
class OpenFile {
public:
    // A file's buffer starts at kFirstBuffer bytes and doubles each time
    // it is written out, up to kBufferSize: of the files open at once
    // (TableFiles::kMostOpen), those of a table of a few blocks' rows, of
    // which an undescribed file makes thousands, keep small buffers.
    static constexpr std::size_t kFirstBuffer = 1 << 14;
    static constexpr std::size_t kBufferSize = 1 << 18;

    OpenFile(int fd, std::string path, std::string& failure);
    // A file kept in memory, whose buffer grows as it is written; past
    // kHeldAtMost bytes, what it holds goes on into an unnamed file in
    // `spill_directory` (when given and the system makes one there).
    static constexpr std::size_t kHeldAtMost = std::size_t{2} << 20;
    explicit OpenFile(std::string& failure, const std::string* spill_directory = nullptr);
    ~OpenFile();
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;

    // Room for `n` more bytes, however many.
    char* claim(std::size_t n)
    {
        if (buffer_.size() - used_ < n) make_room(n);
        return buffer_.data() + used_;
    }
    void commit(char* end) { used_ = static_cast<std::size_t>(end - buffer_.data()); }
    // The end of the room claimed: what lies before it may be written
    // until the next claim.
    char* limit() { return buffer_.data() + buffer_.size(); }
    void text(std::string_view s)
    {
        char* out = claim(s.size());
        s.copy(out, s.size());
        commit(out + s.size());
    }

    // Appends `bytes`: straight to the file, past the buffer, when they
    // are many.
    void append(std::string_view bytes);

    // The bytes of the file so far, written out or buffered.
    std::uint64_t position() const { return written_ + used_; }
    // Writes `bytes` again at `at`, over bytes given before (a length known
    // only once what it counts is written).
    void patch(std::uint64_t at, std::string_view bytes);

    // Writes out what is buffered, then closes the file; false when the
    // system refused.
    bool close();
    // What a file in memory holds; unless it is held whole, what has not
    // gone on into its unnamed file.
    std::string_view held() const { return {buffer_.data(), used_}; }
    // Keeps a file in memory whole, so that held() is all of it.
    void hold_whole() { spill_directory_ = nullptr; }
    // Appends all a file in memory holds to `out`, a file being written.
    void append_held_to(OpenFile& out);

private:
    void make_room(std::size_t n);
    bool flush();
    bool spill();
    void fail(const char* what, int error);

    int fd_;
    bool in_memory_ = false;
    std::string path_;
    std::string& failure_;
    WriteBuffer buffer_;
    std::size_t used_ = 0;
    std::uint64_t written_ = 0;  // bytes written out before the buffer's
    const std::string* spill_directory_ = nullptr;
    int spill_fd_ = -1;
};

class TableFiles {
public:
    static constexpr std::size_t kMostOpen = 32;

    explicit TableFiles(std::string directory, std::size_t most_open = kMostOpen)
        : directory_(std::move(directory)), most_open_(most_open < 1 ? 1 : most_open)
    {
    }
    // Files held in memory, for the rows of one range of blocks a worker
    // writes: what each holds is then appended to the directory's files.
    // Files held in memory go on, past OpenFile::kHeldAtMost bytes each,
    // into unnamed files of `spill_directory` (the unload's own).
    struct InMemory {
        std::string spill_directory;
    };
    explicit TableFiles(InMemory in)
        : directory_(std::move(in.spill_directory)), most_open_(SIZE_MAX), in_memory_(true)
    {
    }
    const std::string& directory() const { return directory_; }
    ~TableFiles();
    TableFiles(const TableFiles&) = delete;
    TableFiles& operator=(const TableFiles&) = delete;

    // A file of the directory to be written, by its final name; returns its number.
    std::size_t add(std::string name);
    // Whether it has been opened, and so exists under its temporary name.
    bool created(std::size_t file) const { return in_memory_ ? held_files_[file] != nullptr : files_[file].created; }

    // The file open for writing, created empty the first time; nullptr when
    // it cannot be opened (failed() then says why). Valid until the next call.
    OpenFile* open(std::size_t file);

    // Removes a file this run created (under its temporary name), so that
    // it is created anew the next time it is opened.
    void discard(std::size_t file);

    // Closes every file and gives each one created its final name. False
    // when a file could not be written or renamed.
    bool finish();
    bool failed() const { return !failure_.empty(); }
    // Notes what could not be done and why (the system's error; 0 when
    // `what` says it), unless a failure came first.
    void note_failure(const std::string& what, int error);
    // The first failure: what could not be done to which file, and why.
    const std::string& failure() const { return failure_; }
    // How many files are open now.
    std::size_t open_count() const;
    // Files in memory: forgets them and what they hold, to hold another
    // range's, whose files are numbered from 0 again.
    void clear_held();
    // What a file in memory holds: empty unless it was written.
    std::string_view held(std::size_t file) const
    {
        return held_files_[file] ? held_files_[file]->held() : std::string_view();
    }
    // What the files in memory hold together.
    std::size_t held_bytes() const;
    // Appends all a file in memory holds to `out`.
    void append_held(std::size_t file, OpenFile& out) const
    {
        if (held_files_[file]) held_files_[file]->append_held_to(out);
    }

private:
    struct File {
        std::string name;
        bool created = false;
        std::unique_ptr<OpenFile> open;
        std::uint64_t last_use = 0;
        // The file created, so that a reopen writes to no other.
        dev_t device = 0;
        ino_t inode = 0;
    };
    std::string path(const std::string& name) const { return directory_ + "/" + name; }
    void close(File& file);
    void close_least_recent();

    std::string directory_;
    std::size_t most_open_;
    std::vector<File> files_;
    std::uint64_t uses_ = 0;
    std::size_t open_ = 0;
    std::string failure_;
    bool in_memory_ = false;
    // Files in memory, by number: nullptr until written. A range's files
    // are those of the tables it writes rows of.
    std::vector<std::unique_ptr<OpenFile>> held_files_;
    std::vector<std::size_t> held_;  // the files in memory written to
};

// Creates the file `path` anew for writing: never through a symbolic
// link; what lies under the name is removed first. -1 (errno set) when it
// cannot.
int create_file_anew(const std::string& path);
// A temporary file in `directory` that no name leads to, open for reading
// and writing: unnamed where the file system allows it, else created under
// a name removed at once (file systems without unnamed files, as exFAT).
// -1 (errno set) when neither can be had.
int open_unnamed_file(const std::string& directory);
// Writes all `size` bytes to `fd`; false, with the error, when the system refuses.
bool write_all_bytes(int fd, const char* data, std::size_t size, int& error);

// Writes `text` to DIRECTORY/NAME through its temporary name; false, with
// the reason in `failure`, when it cannot.
bool write_whole_file(const std::string& directory, const std::string& name, std::string_view text,
                      std::string& failure);

// Readies DIRECTORY for an unload: created when missing (`created` then
// says so). One that holds anything is refused unless `force` is given,
// and then the files an earlier unload wrote there are removed, its
// summary.json (the mark of a complete unload) first, and nothing else.
// False, with the message, when it cannot be used; `refused` is true when
// only --force was missing.
bool prepare_directory(const std::string& directory, bool force, std::string& message, bool& refused, bool& created);

}  // namespace unload
