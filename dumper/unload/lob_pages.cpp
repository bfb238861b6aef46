#include "unload/lob_pages.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <queue>
#include <set>
#include <tuple>
#include <unistd.h>

#include "dictionary/segment_map.h"
#include "unload/load_values.h"
#include "unload/table_files.h"

namespace unload {

DataFile* file_of_lob_address(DataFileSet& files, std::uint32_t address, const PieceAt& head, std::int32_t& block)
{
    if (head.layout == AddressLayout::Bigfile) {
        block = static_cast<std::int32_t>(address_block(address, AddressLayout::Bigfile) & 0x7FFFFFFF);
        return files.by_source(head.source);
    }
    block = static_cast<std::int32_t>(address_block(address));
    DataFile* file = files.by_relative_file(address_file(address));
    return file != nullptr && file->layout() == AddressLayout::Smallfile ? file : nullptr;
}

namespace {

bool before(const std::array<std::uint8_t, 10>& id, std::uint32_t page, const std::array<std::uint8_t, 10>& other_id,
            std::uint32_t other_page)
{
    return std::tie(id, page) < std::tie(other_id, other_page);
}

// Of two entries for the same page, the one to keep comes first: the
// block the LOB index names, else the later version.
bool mapped_before(const LobPageMap::Mapped& a, const LobPageMap::Mapped& b)
{
    if (a.lob_id != b.lob_id || a.page != b.page) return before(a.lob_id, a.page, b.lob_id, b.page);
    if (a.indexed != b.indexed) return a.indexed > b.indexed;
    return newer_lob_page(a.scn, b.scn);
}

bool same_page(const LobPageMap::Mapped& a, const LobPageMap::Mapped& b)
{
    return a.lob_id == b.lob_id && a.page == b.page;
}

// An entry as the map's files hold it: LobId, page, SCN, source, block,
// whether the index names it, in this machine's byte order (the files live
// only as long as the run).
constexpr std::size_t kEntryBytes = 10 + 4 + 8 + 2 + 4 + 1;
static_assert(sizeof(LobPageMap::Mapped) == 32, "the memory kMostPagesInMemory counts on");
// Entries read or written at once.
constexpr std::size_t kEntriesAtOnce = 2048;
// Entries a run's reader holds: the runs are merged all at once.
constexpr std::size_t kRunEntriesAtOnce = 256;
// Every so many entries of the merged file, one key kept in memory: a
// lookup reads at most this many entries before its LobId's.
constexpr std::uint64_t kSparseStep = 256;

void encode(const LobPageMap::Mapped& m, std::uint8_t* out)
{
    std::memcpy(out, m.lob_id.data(), 10);
    std::memcpy(out + 10, &m.page, 4);
    std::memcpy(out + 14, &m.scn, 8);
    std::memcpy(out + 22, &m.source, 2);
    std::memcpy(out + 24, &m.block, 4);
    out[28] = m.indexed;
}

LobPageMap::Mapped decode(const std::uint8_t* in)
{
    LobPageMap::Mapped m{};
    std::memcpy(m.lob_id.data(), in, 10);
    std::memcpy(&m.page, in + 10, 4);
    std::memcpy(&m.scn, in + 14, 8);
    std::memcpy(&m.source, in + 22, 2);
    std::memcpy(&m.block, in + 24, 4);
    m.indexed = in[28];
    return m;
}

// Reads `count` entries from entry `first` of `fd`; false when the file
// cannot give them all.
bool read_entries(int fd, std::uint64_t first, std::size_t count, std::vector<std::uint8_t>& bytes)
{
    bytes.resize(count * kEntryBytes);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::pread(fd, bytes.data() + done, bytes.size() - done,
                                  static_cast<off_t>(first * kEntryBytes + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Writes entries to a file through a buffer.
class EntryWriter {
public:
    explicit EntryWriter(int fd) : fd_(fd) { bytes_.reserve(kEntriesAtOnce * kEntryBytes); }
    bool put(const LobPageMap::Mapped& m)
    {
        bytes_.resize(bytes_.size() + kEntryBytes);
        encode(m, bytes_.data() + bytes_.size() - kEntryBytes);
        return bytes_.size() < kEntriesAtOnce * kEntryBytes || flush();
    }
    bool flush()
    {
        int error = 0;
        const bool written = write_all_bytes(fd_, reinterpret_cast<const char*>(bytes_.data()), bytes_.size(), error);
        bytes_.clear();
        return written;
    }

private:
    int fd_;
    std::vector<std::uint8_t> bytes_;
};

// One sorted run of the runs file, read in order.
class RunReader {
public:
    RunReader(int fd, std::uint64_t first, std::uint64_t end) : fd_(fd), next_(first), end_(end) {}
    // The next entry, or nullopt at the run's end (or when it cannot be read:
    // `failed` then says so).
    std::optional<LobPageMap::Mapped> next(bool& failed)
    {
        if (at_ == held_) {
            if (next_ == end_) return std::nullopt;
            held_ = static_cast<std::size_t>(std::min<std::uint64_t>(kRunEntriesAtOnce, end_ - next_));
            if (!read_entries(fd_, next_, held_, bytes_)) {
                failed = true;
                return std::nullopt;
            }
            next_ += held_;
            at_ = 0;
        }
        return decode(bytes_.data() + kEntryBytes * at_++);
    }

private:
    int fd_;
    std::uint64_t next_, end_;
    std::vector<std::uint8_t> bytes_;
    std::size_t held_ = 0, at_ = 0;
};

// Whether the plan has a LOB column whose segments are not known: none is
// given (a schema file, a LOB$ row lost), or LOB$ says each partition has
// one of its own and LOBFRAG$ gave none of them.
bool has_lob_of_unknown_segment(const UnloadPlan& plan)
{
    for (const UnloadTable& table : plan.tables())
        for (const auto* columns : {&table.columns, &table.hidden_columns})
            for (const OutputColumn& column : *columns) {
                if (column.load.form != LoadForm::Clob && column.load.form != LoadForm::Blob) continue;
                const std::optional<schema::LobStorage>& lob = column.column.lob;
                if (!lob || (lob->partitioned() && lob->fragments.empty())) return true;
            }
    return false;
}

// The segments a LOB column's values lie in: its own, or its partitions'.
std::vector<schema::LobFragment> lob_segments(const schema::LobStorage& lob)
{
    if (lob.file != 0) return {{lob.data_object, lob.file, lob.block}};
    return lob.fragments;
}

// The LOB storage of each LOB column of the plan that the dictionary gives.
std::vector<const schema::LobStorage*> lob_storages(const UnloadPlan& plan)
{
    std::vector<const schema::LobStorage*> storages;
    for (const UnloadTable& table : plan.tables())
        for (const auto* columns : {&table.columns, &table.hidden_columns})
            for (const OutputColumn& column : *columns)
                if (column.column.lob) storages.push_back(&*column.column.lob);
    return storages;
}

// The most blocks a chunk of an index entry is read for: LOB$.CHUNK from
// a hostile dictionary bounded (a chunk is at most 32 KiB, 16 blocks of
// 2 KiB; assumed).
constexpr std::uint32_t kMostChunkBlocks = 16;

// Where the map's files go when the run has no directory of its own.
std::string temporary_directory()
{
    const char* named = std::getenv("TMPDIR");
    return named != nullptr && *named != '\0' ? named : "/tmp";
}

}  // namespace

LobPageMap::~LobPageMap()
{
    if (runs_fd_ >= 0) ::close(runs_fd_);
    if (merged_fd_ >= 0) ::close(merged_fd_);
}

std::vector<std::string> LobPageMap::scan_segments(DataFileSet& files, const UnloadPlan& plan,
                                                   const std::string& spill_directory)
{
    std::vector<std::string> problems;
    spill_directory_ = spill_directory.empty() ? temporary_directory() : spill_directory;
    bool every_file = has_lob_of_unknown_segment(plan);
    std::set<std::tuple<std::uint32_t, std::uint32_t, std::uint32_t>> done;  // (file, block, data object)
    // The indexes first, whatever is scanned after them.
    for (const schema::LobStorage* lob : lob_storages(plan))
        if (done.insert({lob->index_file, lob->index_block, lob->index_object}).second) read_index(files, *lob, problems);
    done.clear();
    for (const UnloadTable& table : plan.tables())
        for (const auto* columns : {&table.columns, &table.hidden_columns})
            for (const OutputColumn& column : *columns) {
                const std::optional<schema::LobStorage>& lob = column.column.lob;
                if (every_file || !lob) continue;
                for (const schema::LobFragment& segment : lob_segments(*lob)) {
                    if (every_file || segment.file == 0 ||
                        !done.insert({segment.file, segment.block, segment.data_object}).second)
                        continue;
                    // A segment whose extents cannot be read: its pages are
                    // looked for in every block (LobIds are unique).
                    if (!scan_segment(files, {segment.file, segment.block, 0}, segment.data_object, problems))
                        every_file = true;
                }
            }
    // Every block of every file holds them all.
    if (every_file) scan_every_file(files, problems);
    finish_scan(problems);
    return problems;
}

std::vector<std::string> LobPageMap::scan_files(DataFileSet& files, const std::string& spill_directory)
{
    std::vector<std::string> problems;
    spill_directory_ = spill_directory.empty() ? temporary_directory() : spill_directory;
    scan_every_file(files, problems);
    finish_scan(problems);
    return problems;
}

void LobPageMap::finish_scan(std::vector<std::string>& problems)
{
    if (runs_fd_ >= 0 && !full_ && spill_run() && merge_runs()) {
        mapped_.clear();
        mapped_.shrink_to_fit();
    } else {
        if (runs_fd_ >= 0) {
            // The file failed: what it holds is lost, what memory holds stays.
            ::close(runs_fd_);
            runs_fd_ = -1;
            full_ = true;
        }
        sort_in_memory();
    }
    if (full_)
        problems.push_back("more than " + std::to_string(pages_in_memory_) +
                           " LOB pages past their locators' address lists could not be mapped: no temporary file "
                           "could be written in " +
                           spill_directory_ +
                           "; the values whose later pages lie beyond those are written with the pages found and "
                           "counted as incomplete (make room there, or check that its file system allows unnamed "
                           "temporary files, and unload again)");
}

void LobPageMap::take(const BlockView& block, const DataFile& file, std::int32_t number, std::uint32_t data_object)
{
    const std::optional<LobPage> page = read_lob_page(block);
    if (!page || page->page < kMostLocatorAddresses || (data_object != 0 && page->data_object != data_object) ||
        full_)
        return;
    add({page->lob_id, page->page, page->scn, file.source(), 0, number});
}

void LobPageMap::add(const Mapped& mapped)
{
    if (full_) return;
    if (mapped_.size() == pages_in_memory_ && !spill_run()) {
        full_ = true;
        return;
    }
    mapped_.push_back(mapped);
}

void LobPageMap::read_index(DataFileSet& files, const schema::LobStorage& storage, std::vector<std::string>& problems)
{
    // A partitioned LOB's indexes are its partitions', which LOBFRAG$ names.
    if (storage.index_object == 0 || storage.file == 0) return;
    const std::string index = "the LOB index " + std::to_string(storage.index_object) + " (of the LOB segment " +
                              std::to_string(storage.lob_object) + ")";
    const std::string fallback = ": the pages of its values past their locators' address lists are those the scan "
                                 "of the LOB segment finds";
    if (storage.index_file == 0) {
        problems.push_back(index + " has no segment IND$ names" + fallback);
        return;
    }
    const dictionary::BlockPlace header{storage.index_file, storage.index_block, 0};
    const dictionary::SegmentMap map = dictionary::read_segment_map(files, header);
    if (!map.ok()) {
        problems.push_back(index + ", whose segment header is " + dictionary::place_text(header) + ", " + map.problem +
                           fallback);
        return;
    }
    std::uint64_t leaves = 0;
    for (const dictionary::ExtentRange& extent : map.extents)
        if (DataFile* file = dictionary::file_of_place(files, extent.first))
            leaves += walk_index_blocks(files, *file, extent.first.block,
                                        std::uint64_t{extent.first.block} + extent.length, storage);
    if (leaves == 0) {
        problems.push_back(index + ", whose segment header is " + dictionary::place_text(header) +
                           ", holds no leaf block that can be read" + fallback);
    }
}

std::uint64_t LobPageMap::walk_index_blocks(DataFileSet& files, DataFile& file, std::uint64_t first,
                                            std::uint64_t end, const schema::LobStorage& storage)
{
    std::uint64_t leaves = 0;
    for (std::uint64_t b = first; b < end && b <= INT32_MAX; ++b) {
        if (file.read(static_cast<std::int32_t>(b), block_, Access::Random) != ReadStatus::Ok) break;
        const std::optional<std::vector<LobIndexEntry>> entries =
            read_lob_index_leaf(block_.view, storage.index_data_object);
        if (!entries) continue;
        ++leaves;
        for (const LobIndexEntry& entry : *entries) take_indexed(files, entry, file, storage);
    }
    return leaves;
}

std::vector<std::string> LobPageMap::map_index_blocks(DataFileSet& files, DataFile& file, std::int32_t first,
                                                      std::int32_t end, const schema::LobStorage& storage,
                                                      const std::string& spill_directory)
{
    std::vector<std::string> problems;
    spill_directory_ = spill_directory.empty() ? temporary_directory() : spill_directory;
    if (first >= 0 && end > first) walk_index_blocks(files, file, std::uint64_t(first), std::uint64_t(end), storage);
    finish_scan(problems);
    return problems;
}

void LobPageMap::take_indexed(DataFileSet& files, const LobIndexEntry& entry, DataFile& leaf_file,
                              const schema::LobStorage& storage)
{
    const std::uint32_t chunk = std::clamp<std::uint32_t>(storage.chunk, 1, kMostChunkBlocks);
    const PieceAt in_tablespace{0, 0, -1, leaf_file.source(), leaf_file.layout()};
    for (std::size_t slot = 0; slot < entry.addresses.size(); ++slot) {
        if (entry.addresses[slot] == 0) continue;
        std::int32_t first = 0;
        DataFile* file = file_of_lob_address(files, entry.addresses[slot], in_tablespace, first);
        if (file == nullptr) continue;
        for (std::uint32_t i = 0; i < chunk; ++i) {
            const std::uint64_t page = lob_index_page(entry, slot, chunk, i);
            const std::int64_t block = std::int64_t{first} + i;
            if (page < kMostLocatorAddresses) continue;
            if (page > UINT32_MAX || block > INT32_MAX ||
                file->read(static_cast<std::int32_t>(block), page_block_, Access::Random) != ReadStatus::Ok)
                break;
            // Taken only when the block is that page's; past a block that is
            // not, the chunk's others are not trusted either.
            const std::optional<LobPage> read = read_lob_page(page_block_.view);
            if (!read || read->lob_id != entry.lob_id || read->page != page ||
                !storage.holds_data_object(read->data_object))
                break;
            add({read->lob_id, read->page, read->scn, file->source(), 1, static_cast<std::int32_t>(block)});
        }
    }
}

bool LobPageMap::scan_segment(DataFileSet& files, const dictionary::BlockPlace& header, std::uint32_t data_object,
                              std::vector<std::string>& problems)
{
    const dictionary::SegmentMap map = dictionary::read_segment_map(files, header);
    if (!map.ok()) {
        problems.push_back("the LOB segment whose header is " + dictionary::place_text(header) + " " + map.problem +
                           ": the pages of its values past their locators' address lists are looked for in every "
                           "block of the files given");
        return false;
    }
    for (const dictionary::ExtentRange& extent : map.extents) {
        DataFile* file = dictionary::file_of_place(files, extent.first);
        if (file == nullptr) continue;
        for (std::uint64_t b = extent.first.block; b < std::uint64_t{extent.first.block} + extent.length; ++b) {
            // Random reads: the run's sequential pass, which hashes each file as
            // it reads it from its start, is not disturbed.
            if (file->read(static_cast<std::int32_t>(b), block_, Access::Random) != ReadStatus::Ok) break;
            take(block_.view, *file, static_cast<std::int32_t>(b), data_object);
        }
    }
    return true;
}

void LobPageMap::scan_every_file(DataFileSet& files, std::vector<std::string>& problems)
{
    for (std::size_t i = 0; i < files.size(); ++i) {
        DataFile& file = files[i];
        // A reader of its own, whose sequential reads leave the run's (and
        // its hash) as they are.
        int error = 0;
        const std::unique_ptr<DataFile> reader = file.reading_copy(false, DataFile::kChunkBytes, error);
        if (!reader) {
            problems.push_back("cannot read " + file.path() + " for the pages of LOB values (" +
                               std::strerror(error) + "): the values whose later pages it holds are incomplete");
            continue;
        }
        const std::uint64_t end = std::min<std::uint64_t>(reader->block_end(), std::uint64_t{INT32_MAX} + 1);
        for (std::uint64_t b = 0; b < end; ++b) {
            if (reader->read(static_cast<std::int32_t>(b), block_) != ReadStatus::Ok) break;
            take(block_.view, file, static_cast<std::int32_t>(b), 0);
        }
        block_ = Block{};
    }
}

void LobPageMap::sort_in_memory()
{
    // Each page's copy to be read first, then unique() keeps it alone.
    std::stable_sort(mapped_.begin(), mapped_.end(), mapped_before);
    mapped_.erase(std::unique(mapped_.begin(), mapped_.end(), same_page), mapped_.end());
}

// Writes what memory holds, sorted, as one more run of the runs file.
bool LobPageMap::spill_run()
{
    if (runs_fd_ < 0 && (runs_fd_ = open_unnamed_file(spill_directory_)) < 0) return false;
    sort_in_memory();
    EntryWriter out(runs_fd_);
    for (const Mapped& m : mapped_)
        if (!out.put(m)) return false;
    if (!out.flush()) return false;
    run_ends_.push_back((run_ends_.empty() ? 0 : run_ends_.back()) + mapped_.size());
    mapped_.clear();
    return true;
}

// Merges the runs into the file lookups read, keeping each page's copy
// as sorting them all in memory would.
bool LobPageMap::merge_runs()
{
    merged_fd_ = open_unnamed_file(spill_directory_);
    if (merged_fd_ < 0) return false;
    std::vector<RunReader> runs;
    for (std::size_t r = 0; r < run_ends_.size(); ++r)
        runs.emplace_back(runs_fd_, r == 0 ? 0 : run_ends_[r - 1], run_ends_[r]);
    // The heap's top: the entry that comes first, of the earlier run on a tie.
    using Head = std::pair<Mapped, std::size_t>;
    const auto later = [](const Head& a, const Head& b) {
        if (mapped_before(a.first, b.first)) return false;
        if (mapped_before(b.first, a.first)) return true;
        return a.second > b.second;
    };
    std::priority_queue<Head, std::vector<Head>, decltype(later)> heads(later);
    bool failed = false;
    for (std::size_t r = 0; r < runs.size(); ++r)
        if (std::optional<Mapped> m = runs[r].next(failed)) heads.push({*m, r});
    EntryWriter out(merged_fd_);
    std::optional<Mapped> last;
    while (!heads.empty() && !failed) {
        const auto [m, r] = heads.top();
        heads.pop();
        if (std::optional<Mapped> following = runs[r].next(failed)) heads.push({*following, r});
        if (last && same_page(*last, m)) continue;
        if (on_disk_ % kSparseStep == 0) sparse_.push_back({m.lob_id, m.page});
        if (!out.put(m)) failed = true;
        ++on_disk_;
        last = m;
    }
    if (failed || !out.flush()) {
        ::close(merged_fd_);
        merged_fd_ = -1;
        on_disk_ = 0;
        sparse_.clear();
        return false;
    }
    ::close(runs_fd_);
    runs_fd_ = -1;
    return true;
}

LobPageMap::Cursor LobPageMap::pages_of(const std::array<std::uint8_t, 10>& lob_id) const
{
    Cursor cursor;
    cursor.map_ = this;
    cursor.lob_id_ = lob_id;
    const auto first = [&](const auto& id) { return before(id.lob_id, id.page, lob_id, 0); };
    if (merged_fd_ < 0) {
        cursor.at_ = static_cast<std::uint64_t>(
            std::partition_point(mapped_.begin(), mapped_.end(), first) - mapped_.begin());
    } else {
        // From the last kept key before the LobId's first page: its entries lie past it.
        const auto after = std::partition_point(sparse_.begin(), sparse_.end(), first);
        cursor.at_ = after == sparse_.begin() ? 0 : static_cast<std::uint64_t>(after - sparse_.begin() - 1) * kSparseStep;
    }
    return cursor;
}

std::optional<LobPageMap::Mapped> LobPageMap::Cursor::next()
{
    while (!done_) {
        std::optional<Mapped> m;
        if (map_->merged_fd_ < 0) {
            if (at_ < map_->mapped_.size()) m = map_->mapped_[at_++];
        } else {
            if (used_ == held_ && at_ < map_->on_disk_) {
                held_ = static_cast<std::size_t>(std::min<std::uint64_t>(kRunEntriesAtOnce, map_->on_disk_ - at_));
                used_ = 0;
                if (!read_entries(map_->merged_fd_, at_, held_, bytes_)) held_ = 0;
                at_ += held_;
            }
            if (used_ < held_) m = decode(bytes_.data() + kEntryBytes * used_++);
        }
        if (!m || lob_id_ < m->lob_id) break;
        if (m->lob_id == lob_id_) return m;
    }
    done_ = true;
    return std::nullopt;
}

std::optional<LobPage> LobPages::read_page(DataFile& file, std::int32_t block, std::uint32_t page)
{
    if (block < 0 || file.read(block, block_, Access::Random) != ReadStatus::Ok) return std::nullopt;
    std::optional<LobPage> read = read_lob_page(block_.view);
    if (!read || read->lob_id != lob_id_ || read->page != page ||
        (storage_ != nullptr && !storage_->holds_data_object(read->data_object)))
        return std::nullopt;
    return read;
}

std::optional<LobPages::PageAt> LobPages::next_later()
{
    while (const std::optional<LobPageMap::Mapped> mapped = cursor_.next()) {
        if (mapped->page > last_page_) return std::nullopt;
        DataFile* file = files_.by_source(mapped->source);
        if (mapped->page < listed_count_ || file == nullptr) continue;
        return PageAt{file, mapped->block, mapped->page};
    }
    return std::nullopt;
}

LobFound LobPages::find(const LobLocator& locator, const schema::LobStorage* storage, const PieceAt& head)
{
    listed_.clear();
    lob_id_ = locator.lob_id;
    storage_ = storage;
    LobFound found;
    found.expected = locator.pages();
    last_page_ = found.expected - 1;
    last_bytes_ = locator.last_page_bytes;
    // The locator's pages.
    std::uint32_t page_bytes = 0;
    listed_count_ = static_cast<std::size_t>(std::min<std::uint64_t>(locator.address_count(), found.expected));
    for (std::size_t i = 0; i < listed_count_; ++i) {
        std::int32_t block = 0;
        DataFile* file = file_of_lob_address(files_, locator.address(i), head, block);
        if (file == nullptr || !read_page(*file, block, static_cast<std::uint32_t>(i))) continue;
        listed_.push_back({file, block, static_cast<std::uint32_t>(i)});
        page_bytes = lob_page_bytes(file->geometry().block_size);
    }
    // The later ones the scan mapped, counted.
    found_ = listed_.size();
    cursor_ = map_.pages_of(locator.lob_id);
    while (const std::optional<PageAt> later = next_later()) {
        ++found_;
        page_bytes = lob_page_bytes(later->file->geometry().block_size);
    }
    later_ = found_;  // the cursor is spent
    found.found = found_;
    if (found_ == 0) {
        // Its length is the locator's all the same, in the pages of the row's own file.
        if (const DataFile* own = files_.by_source(head.source))
            found.length = lob_length(locator, lob_page_bytes(own->geometry().block_size)).value_or(0);
        return found;
    }
    const std::optional<std::uint64_t> length = lob_length(locator, page_bytes);
    if (!length) {
        found.status = LobFound::Status::NoLayout;
        return found;
    }
    found.length = *length;
    found.status = LobFound::Status::Read;
    return found;
}

ByteView LobPages::page(std::size_t index)
{
    if (index >= found_) return {};
    std::optional<PageAt> at;
    if (index < listed_.size()) {
        at = listed_[index];
    } else {
        // The later pages are read in turn, from the first again when asked
        // for an earlier one (the text is weighed, then written).
        if (index < later_) {
            cursor_ = map_.pages_of(lob_id_);
            later_ = listed_.size();
        }
        for (; later_ <= index; ++later_)
            if (!(at = next_later())) return {};
    }
    const std::optional<LobPage> read = read_page(*at->file, at->block, at->page);
    if (!read) return {};
    return at->page == last_page_ ? read->data.sub(0, last_bytes_) : read->data;
}

}  // namespace unload
