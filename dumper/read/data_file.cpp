#include "read/data_file.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "format/block_format.h"
#include "format/block_headers.h"
#include "format/file_format.h"
#include "format/rowid.h"

using namespace block_format;

namespace {

// Random reads take this many blocks around the one asked for (and keep
// DataFile::page_count_ such pages).
constexpr std::uint32_t kPageBlocks = 8;
// How many blocks are looked at for one whose address tells the file's
// relative file number.
constexpr std::int32_t kBlocksForFileNumber = 64;

// Whether a block's 16-bit words cancel out, as a stored checksum makes
// them, or it carries none.
bool checksum_holds(const BlockView& block)
{
    if ((block.u8(kFlagsAt) & kFlagHasChecksum) == 0) return true;
    std::uint16_t word_xor = 0;
    for (std::size_t at = 0; at + 1 < block.size(); at += 2) word_xor ^= block.u16(at);
    return word_xor == 0;
}

// Block 0's magic bytes, in the file's byte order.
bool is_os_magic(const BlockView& block)
{
    const auto& magic = block.order == ByteOrder::Little ? file_format::kOsMagicLittle : file_format::kOsMagicBig;
    for (std::size_t i = 0; i < magic.size(); ++i)
        if (block.u8(file_format::kOsMagicAt + i) != magic[i]) return false;
    return true;
}

// An SCN in the file header: its base, then its wrap.
std::uint64_t header_scn(const BlockView& v, std::uint32_t at)
{
    return static_cast<std::uint64_t>(v.u16(at + file_format::kScnFieldWrapAt)) << 32 |
           v.u32(at + file_format::kScnFieldBaseAt);
}

}  // namespace

int open_for_reading(const char* path)
{
    // Without O_NONBLOCK, opening a FIFO waits for a writer, perhaps for ever.
    // Blocking reads are restored once it is open.
    int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return -1;
    int flags = ::fcntl(fd, F_GETFL);
    if (flags != -1) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return fd;
}

std::unique_ptr<DataFile> DataFile::open(const std::string& path, int& error)
{
    const int fd = open_for_reading(path.c_str());
    if (fd < 0) {
        error = errno;
        return nullptr;
    }
    std::unique_ptr<DataFile> file(new DataFile);
    file->path_ = path;
    file->fd_ = fd;
    struct stat info;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        file->sized_ = true;
        file->size_at_open_ = static_cast<std::uint64_t>(info.st_size);
    }
    return file;
}

std::unique_ptr<DataFile> DataFile::from_bytes(std::vector<std::uint8_t> bytes, std::string name)
{
    std::unique_ptr<DataFile> file(new DataFile);
    file->path_ = std::move(name);
    file->sized_ = true;
    file->size_at_open_ = bytes.size();
    file->memory_ = std::make_shared<const Bytes>(std::move(bytes));
    return file;
}

DataFile::~DataFile()
{
    if (fd_ >= 0) ::close(fd_);
}

std::uint64_t DataFile::size_now() const
{
    if (memory_) return memory_->size();
    struct stat info;
    return sized_ && ::fstat(fd_, &info) == 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
}

void DataFile::set_geometry(const Geometry& geometry)
{
    geometry_ = geometry;
    chunk_.reset();
    chunk_filled_ = 0;
    pages_.clear();
    facts_read_ = false;
    relative_file_found_ = false;
}

std::size_t DataFile::read_at(std::uint64_t offset, std::uint8_t* buffer, std::size_t size)
{
    if (memory_) {
        if (offset >= memory_->size()) return 0;
        const std::size_t n = std::min<std::uint64_t>(size, memory_->size() - offset);
        std::copy_n(memory_->data() + offset, n, buffer);
        return n;
    }
    std::size_t got = 0;
    read_error_ = 0;
    while (got < size) {
        const ssize_t n = ::pread(fd_, buffer + got, size - got, static_cast<off_t>(offset + got));
        if (n > 0) {
            got += static_cast<std::size_t>(n);
        } else if (n == 0) {
            break;
        } else if (errno != EINTR) {
            read_error_ = errno;
            break;
        }
    }
    return got;
}

void DataFile::hash_contents()
{
    hash_ = std::make_unique<FileHash>();
    hashed_ = 0;
}

void DataFile::hash_chunk(const ChunkRead& chunk)
{
    if (!hash_ || chunk.position > hashed_ || hashed_ >= chunk.position + chunk.filled) return;
    const auto skip = static_cast<std::size_t>(hashed_ - chunk.position);
    hash_->add(chunk.bytes, chunk.bytes->data() + skip, chunk.filled - skip);
    hashed_ = chunk.position + chunk.filled;
}

std::unique_ptr<DataFile> DataFile::reading_copy(bool log_chunks, std::size_t chunk_bytes, int& error) const
{
    std::unique_ptr<DataFile> copy(new DataFile);
    if (fd_ >= 0) {
        copy->fd_ = ::fcntl(fd_, F_DUPFD_CLOEXEC, 0);
        if (copy->fd_ < 0) {
            error = errno;
            return nullptr;
        }
    }
    copy->path_ = path_;
    copy->sized_ = sized_;
    copy->size_at_open_ = size_at_open_;
    copy->geometry_ = geometry_;
    copy->memory_ = memory_;
    copy->facts_read_ = facts_read_;
    copy->facts_ = facts_;
    copy->relative_file_found_ = relative_file_found_;
    copy->relative_file_ = relative_file_;
    copy->source_ = source_;
    copy->log_chunks_ = log_chunks;
    copy->chunk_bytes_ = chunk_bytes;
    copy->page_count_ = kCopyPageCount;
    return copy;
}

std::optional<DataFile::Hashed> DataFile::finish_hash(std::uint64_t& read_again)
{
    read_again = 0;
    if (!hash_) return std::nullopt;
    const std::unique_ptr<FileHash> hash = std::move(hash_);
    if (memory_) {
        hash->add(memory_, memory_->data(), memory_->size());
        return Hashed{hash->finish(), memory_->size()};
    }
    for (;;) {
        auto buffer = std::make_shared<Bytes>(DataFile::kChunkBytes);
        const std::size_t got = read_at(hashed_, buffer->data(), buffer->size());
        if (read_error_ != 0) return std::nullopt;
        if (got == 0) break;
        hash->add(buffer, buffer->data(), got);
        hashed_ += got;
        read_again += got;
    }
    return Hashed{hash->finish(), hashed_};
}

// Reads `size` bytes from `position` into `buffer`, a new one unless the
// caller's is no longer shared with a block anyone keeps.
ReadStatus DataFile::fill(std::uint64_t position, std::size_t size, std::shared_ptr<Bytes>& buffer,
                          std::size_t& filled)
{
    // Only a block size no data file has asks for more than a chunk: then
    // no more is taken than the file holds from `position` on.
    if (size > DataFile::kChunkBytes && sized_) {
        const std::uint64_t now = size_now();
        size = static_cast<std::size_t>(std::min<std::uint64_t>(size, now > position ? now - position : 0));
        if (size < geometry_.block_size) {
            filled = 0;
            return ReadStatus::EndOfFile;
        }
    }
    if (!buffer || buffer.use_count() > 1 || buffer->size() != size) buffer = std::make_shared<Bytes>(size);
    filled = read_at(position, buffer->data(), size);
    hash_chunk({buffer, position, filled});
    if (filled >= geometry_.block_size) return ReadStatus::Ok;
    if (read_error_ == ESPIPE) return ReadStatus::SeekRefused;
    if (read_error_ != 0) return ReadStatus::ReadFailed;
    return ReadStatus::EndOfFile;
}

bool DataFile::view_in(const std::shared_ptr<const Bytes>& bytes, std::uint64_t start, std::size_t filled,
                       std::uint64_t position, Block& block) const
{
    if (!bytes || position < start || position + geometry_.block_size > start + filled) return false;
    block.owner = bytes;
    block.view = {ByteView(bytes->data() + (position - start), geometry_.block_size), geometry_.order};
    return true;
}

ReadStatus DataFile::read_sequential(std::uint64_t position, Block& block)
{
    if (view_in(chunk_, chunk_start_, chunk_filled_, position, block)) return ReadStatus::Ok;
    std::size_t blocks = std::max<std::size_t>(chunk_bytes_ / geometry_.block_size, 1);
    // A file smaller than a chunk gets a buffer of its own size: a run over
    // a few small blocks then touches no more memory than it reads. Devices,
    // pipes and files that report no size (such as those of /proc) get the
    // whole chunk.
    if (sized_ && size_at_open_ > 0)
        blocks = std::min<std::uint64_t>(blocks, (size_at_open_ + geometry_.block_size - 1) / geometry_.block_size);
    const ReadStatus status = fill(position, blocks * geometry_.block_size, chunk_, chunk_filled_);
    chunk_start_ = position;
    if (log_chunks_ && chunk_filled_ > 0) chunks_.push_back({chunk_, position, chunk_filled_});
    if (status != ReadStatus::Ok) return status;
    view_in(chunk_, chunk_start_, chunk_filled_, position, block);
    return ReadStatus::Ok;
}

ReadStatus DataFile::read_random(std::uint64_t position, Block& block)
{
    if (view_in(chunk_, chunk_start_, chunk_filled_, position, block)) return ReadStatus::Ok;
    ++uses_;
    for (Page& page : pages_) {
        if (view_in(page.bytes, page.start, page.bytes->size(), position, block)) {
            page.last_use = uses_;
            return ReadStatus::Ok;
        }
    }
    const std::uint64_t page_bytes = std::uint64_t{kPageBlocks} * geometry_.block_size;
    const std::uint64_t start = position - (position / geometry_.block_size) % kPageBlocks * geometry_.block_size;
    std::shared_ptr<Bytes> buffer;
    std::size_t filled = 0;
    ReadStatus status = fill(start, page_bytes, buffer, filled);
    if (status == ReadStatus::Ok && filled < position - start + geometry_.block_size) status = ReadStatus::EndOfFile;
    if (status != ReadStatus::Ok) return status;
    buffer->resize(filled);
    std::shared_ptr<const Bytes> bytes = std::move(buffer);
    view_in(bytes, start, filled, position, block);
    Page page{std::move(bytes), start, uses_};
    if (pages_.size() < page_count_) {
        pages_.push_back(std::move(page));
    } else {
        *std::min_element(pages_.begin(), pages_.end(),
                          [](const Page& a, const Page& b) { return a.last_use < b.last_use; }) = std::move(page);
    }
    return ReadStatus::Ok;
}

ReadStatus DataFile::read(std::int32_t number, Block& block, Access access)
{
    // The block's old bytes are let go first, so that the chunk they lie in
    // can take the next ones unless someone else keeps it.
    block.owner.reset();
    if (number < 0) return ReadStatus::SeekRefused;
    const std::uint64_t position = static_cast<std::uint64_t>(number) * geometry_.block_size;
    block.number = number;
    block.file_offset = position;
    block.file = relative_file_found_ ? relative_file_ : 0;
    block.layout = relative_file_found_ ? layout_of_relative_file(relative_file_) : AddressLayout::Smallfile;
    block.source = source_;
    if (memory_) {
        return view_in(memory_, 0, memory_->size(), position, block) ? ReadStatus::Ok : ReadStatus::EndOfFile;
    }
    return access == Access::Sequential ? read_sequential(position, block) : read_random(position, block);
}

const FileHeaderFacts& DataFile::header_facts()
{
    if (facts_read_) return facts_;
    facts_read_ = true;
    facts_ = FileHeaderFacts();
    using namespace file_format;
    Block block;
    if (read(0, block, Access::Random) == ReadStatus::Ok && block.view.u8(kBlockTypeAt) == 0 &&
        is_os_magic(block.view)) {
        facts_.os_header = true;
        facts_.os_block_size = block.view.u32(kOsBlockSizeAt);
        facts_.os_block_count = block.view.u32(kOsBlockCountAt);
    }
    if (read(1, block, Access::Random) == ReadStatus::Ok && block.view.u8(kBlockTypeAt) == kBlockTypeFileHeader &&
        tail_consistent(block.view.bytes, geometry_.order)) {
        const BlockView& v = block.view;
        facts_.file_header = true;
        facts_.database_id = v.u32(kDatabaseIdAt);
        const ByteView name = v.bytes.sub(kDatabaseNameAt, kDatabaseNameSize);
        facts_.database_name.assign(name.data(), name.data() + name.size());
        while (!facts_.database_name.empty() &&
               (facts_.database_name.back() == ' ' || facts_.database_name.back() == '\0'))
            facts_.database_name.pop_back();
        facts_.block_count = v.u32(kFileBlockCountAt);
        facts_.header_sound = checksum_holds(v);
        facts_.block_size = v.u32(kFileBlockSizeAt);
        facts_.absolute_file = v.u16(kAbsoluteFileAt);
        facts_.root_address = v.u32(kRootAddressAt);
        facts_.relative_file = v.u32(kRelativeFileAt);
        facts_.tablespace_number = v.u32(kTablespaceNumberAt);
        facts_.file_type = v.u16(kFileTypeAt);
        facts_.creation_scn = header_scn(v, kCreationScnAt);
        facts_.checkpoint_scn = header_scn(v, kCheckpointScnAt);
        const std::size_t length = std::min<std::size_t>(v.u16(kTablespaceNameLengthAt), kTablespaceNameSize);
        const ByteView tablespace = v.bytes.sub(kTablespaceNameAt, length);
        facts_.tablespace.assign(tablespace.data(), tablespace.data() + tablespace.size());
    }
    return facts_;
}

std::uint64_t DataFile::counted_block_end()
{
    const FileHeaderFacts& facts = header_facts();
    return facts.file_header && facts.header_sound && facts.block_count != 0
               ? file_format::blocks_by_header_count(facts.block_count)
               : 0;
}

std::uint64_t DataFile::block_end()
{
    const std::uint64_t counted = counted_block_end();
    if (!sized_) return counted;
    return counted != 0 ? std::min(counted, block_count()) : block_count();
}

std::uint32_t DataFile::relative_file()
{
    if (relative_file_found_) return relative_file_;
    std::uint32_t found = 0;
    const FileHeaderFacts& facts = header_facts();
    // A relative file number has 10 bits; a larger one is no header's,
    // but for the one of a bigfile tablespace's file.
    if (facts.file_header && facts.relative_file != 0 &&
        (facts.relative_file < (1u << 10) || facts.layout() == AddressLayout::Bigfile)) {
        found = facts.relative_file;
    } else {
        Block block;
        for (std::int32_t n = 0; n < kBlocksForFileNumber && found == 0; ++n) {
            if (read(n, block, Access::Random) != ReadStatus::Ok) break;
            if (block.view.u8(kBlockTypeAt) == kBlockTypeData && tail_consistent(block.view.bytes, geometry_.order))
                found = address_file(block.view.u32(kAddressAt));
        }
    }
    relative_file_ = found;
    relative_file_found_ = true;
    return found;
}

AddressLayout DataFile::layout() { return layout_of_relative_file(relative_file()); }

void DataFileSet::add(std::unique_ptr<DataFile> file)
{
    file->source_ = static_cast<std::uint16_t>(files_.size() + 1);
    files_.push_back(std::move(file));
}

DataFile* DataFileSet::by_relative_file(std::uint32_t file)
{
    for (const std::unique_ptr<DataFile>& f : files_)
        if (f->relative_file() == file) return f.get();
    return nullptr;
}

bool DataFileSet::reading_copies(DataFileSet& copies, std::size_t chunk_bytes, int& error) const
{
    for (const std::unique_ptr<DataFile>& f : files_) {
        std::unique_ptr<DataFile> copy = f->reading_copy(f->hashing(), chunk_bytes, error);
        if (!copy) return false;
        copies.add(std::move(copy));
    }
    return true;
}

DataFile* DataFileSet::by_source(std::uint16_t source)
{
    return source >= 1 && source <= files_.size() ? files_[source - 1].get() : nullptr;
}

// A smallfile tablespace's address names its file by its file bits. A
// bigfile tablespace has one file and its addresses leave the file bits
// unused: the tablespace of the block that holds the address names the
// file, which is the holder's own (likely). Several bigfile files, all of
// relative file number 1024, are so told apart.
DataFile* DataFileSet::file_of_address(const Block& holder, std::uint32_t file)
{
    if (holder.layout == AddressLayout::Bigfile) return by_source(holder.source);
    for (const std::unique_ptr<DataFile>& f : files_)
        if (f->layout() == AddressLayout::Smallfile && f->relative_file() == file) return f.get();
    return nullptr;
}
