// Data files: opened once, from a path or from bytes held in memory, read a
// block at a time in any order. A block read stays valid for as long as the
// caller keeps it, whatever is read afterwards. A set of data files is
// addressed by relative file number, so that a rowid can be followed from
// one file into another.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "format/byte_view.h"
#include "format/rowid.h"
#include "format/sha256.h"
#include "read/file_hash.h"

// How the blocks of a file are laid out.
struct Geometry {
    std::uint32_t block_size = 8192;
    ByteOrder order = ByteOrder::Little;
};

// The bytes of one block, kept alive by `owner` for as long as the Block is.
struct Block {
    std::shared_ptr<const std::vector<std::uint8_t>> owner;
    BlockView view;
    std::int32_t number = 0;         // its place in its file
    std::uint64_t file_offset = 0;   // where it starts in its file
    std::uint32_t file = 0;          // the relative file number of its file, 0 when not known
    // How its file's block addresses split, when the file's number is known.
    AddressLayout layout = AddressLayout::Smallfile;
    // Its file's place in the run's DataFileSet, counted from 1; 0 outside one.
    std::uint16_t source = 0;
};

enum class ReadStatus : std::uint8_t {
    Ok,
    EndOfFile,    // the file ends before the block does
    SeekRefused,  // the file cannot be read by position (a pipe), or the block number is negative
    ReadFailed,   // the system refused the read
};

// Sequential reads take a large chunk of the file at once; random reads a
// few blocks around the one asked for, kept in a small cache, so that
// following rowids to nearby blocks costs no system call.
enum class Access : std::uint8_t { Sequential, Random };

// What block 0 and block 1 of a data file say of it, where they say it.
struct FileHeaderFacts {
    bool os_header = false;  // block 0 holds the operating system's header
    std::uint32_t os_block_size = 0;
    std::uint32_t os_block_count = 0;
    bool file_header = false;  // block 1 is a data file header
    std::uint32_t database_id = 0;
    std::string database_name;
    std::uint32_t block_count = 0;
    bool header_sound = false;  // block 1's checksum holds (or it has none): its count can bound a read
    std::uint32_t block_size = 0;
    std::uint32_t absolute_file = 0;
    std::uint32_t relative_file = 0;
    std::uint32_t root_address = 0;  // in the SYSTEM file: where BOOTSTRAP$'s segment header lies
    std::string tablespace;
    std::uint32_t tablespace_number = 0;
    std::uint16_t file_type = 0;
    std::uint64_t creation_scn = 0;
    std::uint64_t checkpoint_scn = 0;

    AddressLayout layout() const { return layout_of_relative_file(relative_file); }
};

class DataFile {
public:
    using Bytes = std::vector<std::uint8_t>;
    // Sequential reads take this much of the file at once.
    static constexpr std::size_t kChunkBytes = 1 << 20;
    // A reading copy's pages, for one worker of many: each holds its own.
    static constexpr std::size_t kCopyPageCount = 4;
    // Bytes a sequential read brought, from `position` on.
    struct ChunkRead {
        std::shared_ptr<const Bytes> bytes;
        std::uint64_t position = 0;
        std::size_t filled = 0;
    };

    // Opens `path` for reading; nullptr, with errno in `error`, when it
    // cannot be opened.
    static std::unique_ptr<DataFile> open(const std::string& path, int& error);
    // A data file held in memory, for tests and tools.
    static std::unique_ptr<DataFile> from_bytes(std::vector<std::uint8_t> bytes, std::string name = "(memory)");
    ~DataFile();
    DataFile(const DataFile&) = delete;
    DataFile& operator=(const DataFile&) = delete;

    const std::string& path() const { return path_; }
    // A regular file (or bytes in memory), whose size is known.
    bool sized() const { return sized_; }
    std::uint64_t size_at_open() const { return size_at_open_; }
    // The size now: a file can shrink while it is read. 0 when not known.
    std::uint64_t size_now() const;

    // The geometry blocks are read with; set it before the first block.
    void set_geometry(const Geometry& geometry);
    const Geometry& geometry() const { return geometry_; }
    // Whole blocks in the file when it was opened (0 when not known).
    std::uint64_t block_count() const { return sized_ ? size_at_open_ / geometry_.block_size : 0; }
    // One past the last block the file can hold: its whole blocks, and no
    // more than a sound data file header counts (a sparse file can be far
    // larger than its header says); 0 when neither is known.
    std::uint64_t block_end();
    // One past the last block a sound data file header counts; 0 when it
    // counts none. A sized file that ends before it is cut short.
    std::uint64_t counted_block_end();

    // Reads block `number` into `block`.
    ReadStatus read(std::int32_t number, Block& block, Access access = Access::Sequential);
    // errno of the last read that failed.
    int read_error() const { return read_error_; }
    // Up to `size` bytes at `offset`, whatever the geometry; the bytes read.
    std::size_t read_at(std::uint64_t offset, std::uint8_t* buffer, std::size_t size);

    // Hashes the file's bytes as they are read, from its start on (on a
    // thread of its own, FileHash): a pass that reads the file in order from
    // its first byte hashes all of it without reading anything twice. Call
    // it before the first read.
    void hash_contents();
    // The SHA-256 of the whole file, and its size: the bytes read in order
    // from the start, and the rest read now (`read_again` says how many
    // that took). nullopt when the file cannot be read to its end.
    struct Hashed {
        Sha256Digest digest;
        std::uint64_t size = 0;
    };
    std::optional<Hashed> finish_hash(std::uint64_t& read_again);
    // Hands the hash bytes another reader of the file brought; those that
    // carry on what is hashed are taken, the others ignored.
    void hash_chunk(const ChunkRead& chunk);

    // Another reader of the same file, for another thread: the same
    // geometry and facts, its own buffers and descriptor, no hash, and
    // sequential reads of `chunk_bytes`. With `log_chunks` it keeps what
    // those bring until take_chunks() (so that this file's hash can take
    // them in order). nullptr, with errno in `error`, when the file cannot
    // be opened again.
    std::unique_ptr<DataFile> reading_copy(bool log_chunks, std::size_t chunk_bytes, int& error) const;
    // Whether the file is hashed as it is read (hash_contents()).
    bool hashing() const { return hash_ != nullptr; }
    // Hashes it no further: finish_hash() then gives nullopt.
    void stop_hashing() { hash_.reset(); }
    // A copy that keeps them lets go of its own buffer, which they now
    // share; one that does not keeps it for the next range it reads.
    std::vector<ChunkRead> take_chunks()
    {
        if (log_chunks_) {
            chunk_.reset();
            chunk_filled_ = 0;
        }
        return std::move(chunks_);
    }

    // What blocks 0 and 1 say, read once with the file's geometry.
    const FileHeaderFacts& header_facts();
    // The file's relative file number: from its data file header, or from
    // the address of its first data block; 0 when neither tells. A file of
    // a bigfile tablespace gives kBigfileRelativeFile.
    std::uint32_t relative_file();
    // How the file's block addresses split: known once relative_file() is.
    AddressLayout layout();
    // Its place in the DataFileSet that holds it, counted from 1; 0 outside one.
    std::uint16_t source() const { return source_; }

private:
    DataFile() = default;
    struct Page {
        std::shared_ptr<const Bytes> bytes;
        std::uint64_t start = 0;
        std::uint64_t last_use = 0;
    };
    ReadStatus fill(std::uint64_t position, std::size_t size, std::shared_ptr<Bytes>& buffer, std::size_t& filled);
    bool view_in(const std::shared_ptr<const Bytes>& bytes, std::uint64_t start, std::size_t filled,
                 std::uint64_t position, Block& block) const;
    ReadStatus read_sequential(std::uint64_t position, Block& block);
    ReadStatus read_random(std::uint64_t position, Block& block);

    std::string path_;
    int fd_ = -1;
    bool sized_ = false;
    std::uint64_t size_at_open_ = 0;
    Geometry geometry_;
    int read_error_ = 0;
    // The chunk of the sequential reads.
    std::shared_ptr<Bytes> chunk_;
    std::uint64_t chunk_start_ = 0;
    std::size_t chunk_filled_ = 0;
    // The pages of the random reads, the least recently used replaced first.
    std::vector<Page> pages_;
    std::uint64_t uses_ = 0;
    // Bytes held in memory instead of a file.
    std::shared_ptr<const Bytes> memory_;
    bool facts_read_ = false;
    FileHeaderFacts facts_;
    bool relative_file_found_ = false;
    std::uint32_t relative_file_ = 0;
    std::uint16_t source_ = 0;  // given by the DataFileSet that holds it
    friend class DataFileSet;
    // The hash of the bytes from the start of the file up to `hashed_`.
    std::unique_ptr<FileHash> hash_;
    std::uint64_t hashed_ = 0;
    bool log_chunks_ = false;
    std::size_t chunk_bytes_ = kChunkBytes;
    std::size_t page_count_ = 32;  // the pages of random reads kept
    std::vector<ChunkRead> chunks_;
};

// Data files addressed by their relative file numbers.
class DataFileSet {
public:
    void add(std::unique_ptr<DataFile> file);
    std::size_t size() const { return files_.size(); }
    DataFile& operator[](std::size_t i) { return *files_[i]; }
    // The file with relative file number `file`, or nullptr.
    DataFile* by_relative_file(std::uint32_t file);
    // The file at place `source` (DataFile::source()), or nullptr.
    DataFile* by_source(std::uint16_t source);
    // The file a block address held in `holder` (an NRID, an HRID) names,
    // whose file part is `file`, or nullptr.
    DataFile* file_of_address(const Block& holder, std::uint32_t file);
    // A reader of each file for another thread (DataFile::reading_copy), in
    // the same places; false, with errno in `error`, when one cannot be had.
    // Each copy logs its chunks when its file is hashed.
    bool reading_copies(DataFileSet& copies, std::size_t chunk_bytes, int& error) const;

private:
    std::vector<std::unique_ptr<DataFile>> files_;
};

// Opens a file for reading, or returns -1. A FIFO that no process writes to
// opens at once instead of blocking; reading it then finds its end.
int open_for_reading(const char* path);
