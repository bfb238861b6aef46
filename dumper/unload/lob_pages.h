// The pages of BasicFile LOB values stored apart from their rows: those
// the locator's address list names, then the later ones, which the LOB
// index names (its leaf entries: LobId and first page to chunk
// addresses) and which a scan for LOB data blocks finds, as these carry
// the LobId and the page number: the LOB segments LOB$ names (those of a
// partitioned LOB's partitions, LOBFRAG$), or, for a
// LOB column whose segment no dictionary gives (a schema file) or whose
// segment header is damaged, every block of every file (LobIds are unique
// in a database). An index lost or damaged costs nothing but the choice
// it makes among copies of a page. The map keeps the pages from the
// thirteenth on (kMostLocatorAddresses), which no locator lists: an
// earlier page the locator does not name is missing. A page is taken only
// from a LOB data block of its LobId, page number and, when known, data
// object; of two blocks of one page, the one the index names, else the
// later version. The map keeps kMostPagesInMemory entries in memory; past
// them it goes on in an unnamed file, sorted, so that its memory stays
// bounded whatever the segments and indexes hold.
// Reading a value keeps state (the pages found): each writer has its own
// LobPages, over one map, which any number of them read at once.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "dictionary/segment_map.h"
#include "read/data_file.h"
#include "rows/row_reader.h"
#include "schema/schema.h"
#include "unload/unload_plan.h"
#include "values/lob_index.h"
#include "values/lob_locator.h"

namespace unload {

// The pages past the locators' lists the map keeps in memory: 32 bytes
// each (2 MiB); 1 GiB of LOB data in 8K blocks takes some 130000.
constexpr std::size_t kMostPagesInMemory = std::size_t{1} << 16;

// The file and block a block address of a locator names: a block of the
// row's own file in a bigfile tablespace, else of the file its relative
// file number gives; nullptr when no file of the set is that file.
DataFile* file_of_lob_address(DataFileSet& files, std::uint32_t address, const PieceAt& head, std::int32_t& block);

// What was found of one value.
struct LobFound {
    enum class Status : std::uint8_t {
        Read,      // its pages (some may be missing) are ready to be read in order
        NoLayout,  // its locator does not fit the layout read (the last page's length)
        NoPages,   // none of its pages was found
    };
    Status status = Status::NoPages;
    std::uint64_t expected = 0;  // the pages its locator counts
    std::uint64_t length = 0;    // the bytes its locator gives (also when no page is found; 0 when its layout is not read)
    std::size_t found = 0;       // of them, those found
};

// The later pages of the LOB segments of a plan's columns, mapped once by
// scanning them, then read by any number of LobPages (one a reader of the
// files), which name the files by their place in the set.
class LobPageMap {
public:
    explicit LobPageMap(std::size_t pages_in_memory = kMostPagesInMemory) : pages_in_memory_(pages_in_memory) {}
    ~LobPageMap();
    LobPageMap(const LobPageMap&) = delete;
    LobPageMap& operator=(const LobPageMap&) = delete;

    // Maps the later pages the LOB indexes of the plan's columns name and
    // those a scan of their LOB segments finds, in
    // `spill_directory` (empty: TMPDIR, or /tmp) past the memory it keeps;
    // returns what could not be scanned, a line each.
    std::vector<std::string> scan_segments(DataFileSet& files, const UnloadPlan& plan,
                                           const std::string& spill_directory);
    // The same from every block of every file, for runs that know no LOB
    // segment (the export formats).
    std::vector<std::string> scan_files(DataFileSet& files, const std::string& spill_directory);

    // Maps, as from the LOB index of `storage`, the pages the leaf blocks
    // among blocks [first, end) of `file` name, then readies the map: for
    // blocks no segment header names as an index (hostile inputs in tests).
    std::vector<std::string> map_index_blocks(DataFileSet& files, DataFile& file, std::int32_t first, std::int32_t end,
                                              const schema::LobStorage& storage, const std::string& spill_directory);

    struct Mapped {
        std::array<std::uint8_t, 10> lob_id;
        std::uint32_t page;
        std::uint64_t scn;
        std::uint16_t source;  // the file's place in its set (DataFile::source)
        std::uint8_t indexed;  // 1 when its LOB index names the block
        std::int32_t block;
    };
    // The pages mapped of one LOB, in page order, read a few at a time:
    // a value of any length costs the same memory.
    class Cursor {
    public:
        // The next page; nullopt past the last (or when the map's file
        // cannot be read).
        std::optional<Mapped> next();

    private:
        friend class LobPageMap;
        const LobPageMap* map_ = nullptr;
        std::array<std::uint8_t, 10> lob_id_{};
        std::uint64_t at_ = 0;  // in memory: the index of the next; in the file: of the next to read
        std::vector<std::uint8_t> bytes_;  // entries read from the file
        std::size_t held_ = 0, used_ = 0;
        bool done_ = false;
    };
    // Safe to call, and the cursors to use, from many threads at once.
    Cursor pages_of(const std::array<std::uint8_t, 10>& lob_id) const;
    // The pages mapped, in memory and in the file.
    std::uint64_t size() const { return on_disk_ != 0 ? on_disk_ : mapped_.size(); }
    // Whether the map went on in a file.
    bool spilled() const { return merged_fd_ >= 0; }

private:
    // Maps the pages the LOB index of `storage` names, each checked in its
    // block; a line in `problems` when the index cannot be read.
    void read_index(DataFileSet& files, const schema::LobStorage& storage, std::vector<std::string>& problems);
    // Maps the pages the leaves among blocks [first, end) of `file` name;
    // returns the leaves found.
    std::uint64_t walk_index_blocks(DataFileSet& files, DataFile& file, std::uint64_t first, std::uint64_t end,
                                    const schema::LobStorage& storage);
    // Maps the pages of one entry of that index.
    void take_indexed(DataFileSet& files, const LobIndexEntry& entry, DataFile& leaf_file,
                      const schema::LobStorage& storage);
    // False when the segment's extents cannot be read.
    bool scan_segment(DataFileSet& files, const dictionary::BlockPlace& header, std::uint32_t data_object,
                      std::vector<std::string>& problems);
    void scan_every_file(DataFileSet& files, std::vector<std::string>& problems);
    // Sorts what was mapped, in memory or in the file.
    void finish_scan(std::vector<std::string>& problems);
    // Takes the page `block` of `file` holds, when it is one to map.
    void take(const BlockView& block, const DataFile& file, std::int32_t number, std::uint32_t data_object);
    // Maps one page, spilling what memory holds when it is full.
    void add(const Mapped& mapped);
    void sort_in_memory();
    bool spill_run();
    bool merge_runs();

    std::size_t pages_in_memory_;
    std::vector<Mapped> mapped_;  // once scanned: sorted by LobId and page, one a page
    bool full_ = false;           // the memory's bound reached and no file to go on in
    std::string spill_directory_;
    // Past the memory: sorted runs of it in one unnamed file, then merged
    // into another, of on_disk_ entries, every kSparseStep-th of whose
    // keys `sparse_` holds.
    int runs_fd_ = -1;
    std::vector<std::uint64_t> run_ends_;  // the entries of the runs file after each run
    int merged_fd_ = -1;
    std::uint64_t on_disk_ = 0;
    struct Key {
        std::array<std::uint8_t, 10> lob_id;
        std::uint32_t page;
    };
    std::vector<Key> sparse_;
    Block block_;
    Block page_block_;  // a data block an index entry names
};

class LobPages {
public:
    // Reads through `files` (those the map was made of, or copies of them
    // in the same order) the pages of `map`, kept by the caller.
    LobPages(DataFileSet& files, const LobPageMap& map) : files_(files), map_(map) {}

    const LobPageMap& map() const { return map_; }
    DataFileSet& files() const { return files_; }
    // Finds the pages of an out-of-line BasicFile value of a column stored
    // as `storage` (nullptr when not known), whose row's head is `head`.
    LobFound find(const LobLocator& locator, const schema::LobStorage* storage, const PieceAt& head);
    // The data of the `index`th page found (in page order) of the value
    // found last: the last page's cut to its length; empty when it can no
    // longer be read. Valid until the next call.
    ByteView page(std::size_t index);

private:
    struct PageAt {
        DataFile* file;
        std::int32_t block;
        std::uint32_t page;
    };
    // The page `page` of the value in block `block` of `file`, when the
    // block holds it.
    std::optional<LobPage> read_page(DataFile& file, std::int32_t block, std::uint32_t page);

    DataFileSet& files_;
    const LobPageMap& map_;
    // The value found last.
    std::array<std::uint8_t, 10> lob_id_{};
    const schema::LobStorage* storage_ = nullptr;  // the caller's, whose data objects a page must have
    std::uint64_t last_page_ = 0;
    std::uint32_t last_bytes_ = 0;
    // The next of the later pages the map gives that the value has: past
    // those its locator lists, before its last, in a file of the set.
    std::optional<PageAt> next_later();

    std::vector<PageAt> listed_;  // the pages found of those the locator lists
    std::size_t found_ = 0;       // those and the later ones
    // The later pages, read in turn: `later_` is the index among the pages
    // found of the one the cursor gives next.
    LobPageMap::Cursor cursor_;
    std::size_t later_ = 0;
    std::size_t listed_count_ = 0;  // the addresses the locator lists, of its pages
    Block block_;
};

}  // namespace unload
