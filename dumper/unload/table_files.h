// The files of an unload directory. Each is written under a temporary name
// (its name and ".part") and renamed only when the run has completed, so
// that a run that fails or is interrupted leaves no file that looks
// complete. However many tables there are, only the most recently written
// few files are open, each with its buffer; the others are closed, and
// reopened to append when written to again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>
#include <sys/types.h>

namespace unload {

// What a file being written is called until it is complete.
constexpr std::string_view kPartSuffix = ".part";

// One file's buffer while the file is open. A write the system refuses is
// noted in the failure the owner gave, and what was buffered is dropped.
class OpenFile {
public:
    static constexpr std::size_t kBufferSize = 1 << 18;

    OpenFile(int fd, std::string path, std::string& failure);
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

    // Writes out what is buffered, then closes the file; false when the
    // system refused.
    bool close();

private:
    void make_room(std::size_t n);
    bool flush();
    void fail(const char* what, int error);

    int fd_;
    std::string path_;
    std::string& failure_;
    std::vector<char> buffer_;
    std::size_t used_ = 0;
};

class TableFiles {
public:
    static constexpr std::size_t kMostOpen = 32;

    explicit TableFiles(std::string directory, std::size_t most_open = kMostOpen)
        : directory_(std::move(directory)), most_open_(most_open < 1 ? 1 : most_open)
    {
    }
    ~TableFiles();
    TableFiles(const TableFiles&) = delete;
    TableFiles& operator=(const TableFiles&) = delete;

    // A file of the directory to be written, by its final name; returns its number.
    std::size_t add(std::string name);
    // Whether it has been opened, and so exists under its temporary name.
    bool created(std::size_t file) const { return files_[file].created; }

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
    // The first failure: what could not be done to which file, and why.
    const std::string& failure() const { return failure_; }
    // How many files are open now.
    std::size_t open_count() const;

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
    void note_failure(const std::string& what, int error);

    std::string directory_;
    std::size_t most_open_;
    std::vector<File> files_;
    std::uint64_t uses_ = 0;
    std::size_t open_ = 0;
    std::string failure_;
};

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
