#include "unload/lob_pages.h"

#include <algorithm>
#include <set>
#include <tuple>

#include "dictionary/segment_map.h"

namespace unload {

namespace {

// The file and block a page address of a locator names: a block of the
// row's own file in a bigfile tablespace, else of the file its relative
// file number gives.
DataFile* file_named(DataFileSet& files, std::uint32_t address, const PieceAt& head, std::int32_t& block)
{
    if (head.layout == AddressLayout::Bigfile) {
        block = static_cast<std::int32_t>(address_block(address, AddressLayout::Bigfile) & 0x7FFFFFFF);
        return files.by_source(head.source);
    }
    block = static_cast<std::int32_t>(address_block(address));
    DataFile* file = files.by_relative_file(address_file(address));
    return file != nullptr && file->layout() == AddressLayout::Smallfile ? file : nullptr;
}

bool before(const std::array<std::uint8_t, 10>& id, std::uint32_t page, const std::array<std::uint8_t, 10>& other_id,
            std::uint32_t other_page)
{
    return std::tie(id, page) < std::tie(other_id, other_page);
}

}  // namespace

std::vector<std::string> LobPageMap::scan_segments(DataFileSet& files, const UnloadPlan& plan)
{
    std::vector<std::string> problems;
    std::set<std::tuple<std::uint32_t, std::uint32_t, std::uint32_t>> done;  // (file, block, data object)
    for (const UnloadTable& table : plan.tables())
        for (const auto* columns : {&table.columns, &table.hidden_columns})
            for (const OutputColumn& column : *columns) {
                const std::optional<schema::LobStorage>& lob = column.column.lob;
                if (!lob || lob->file == 0 || !done.insert({lob->file, lob->block, lob->data_object}).second) continue;
                scan_segment(files, *lob, problems);
            }
    // Each page's copy to be read first, then unique() keeps it alone.
    std::stable_sort(mapped_.begin(), mapped_.end(), [](const Mapped& a, const Mapped& b) {
        if (a.lob_id != b.lob_id || a.page != b.page) return before(a.lob_id, a.page, b.lob_id, b.page);
        return newer_lob_page(a.scn, b.scn);
    });
    mapped_.erase(std::unique(mapped_.begin(), mapped_.end(),
                              [](const Mapped& a, const Mapped& b) { return a.lob_id == b.lob_id && a.page == b.page; }),
                  mapped_.end());
    if (full_)
        problems.push_back("the LOB segments hold more than " + std::to_string(kMostMappedPages) +
                           " pages past their locators' address lists: the values whose later pages lie beyond "
                           "those are written with the pages found and counted as incomplete");
    return problems;
}

void LobPageMap::scan_segment(DataFileSet& files, const schema::LobStorage& storage, std::vector<std::string>& problems)
{
    const dictionary::BlockPlace header{storage.file, storage.block, 0};
    const dictionary::SegmentMap map = dictionary::read_segment_map(files, header);
    if (!map.ok()) {
        problems.push_back("the LOB segment whose header is " + dictionary::place_text(header) + " " + map.problem +
                           ": the pages of its values past their locators' address lists are not found");
        return;
    }
    for (const dictionary::ExtentRange& extent : map.extents) {
        DataFile* file = dictionary::file_of_place(files, extent.first);
        if (file == nullptr) continue;
        for (std::uint64_t b = extent.first.block; b < std::uint64_t{extent.first.block} + extent.length; ++b) {
            // Random reads: the run's sequential pass, which hashes each file as
            // it reads it from its start, is not disturbed.
            if (file->read(static_cast<std::int32_t>(b), block_, Access::Random) != ReadStatus::Ok) break;
            const std::optional<LobPage> page = read_lob_page(block_.view);
            if (!page || page->page < kMostLocatorAddresses ||
                (storage.data_object != 0 && page->data_object != storage.data_object))
                continue;
            if (mapped_.size() == kMostMappedPages) {
                full_ = true;
                return;
            }
            mapped_.push_back({page->lob_id, page->page, page->scn, file->source(), static_cast<std::int32_t>(b)});
        }
    }
}

std::span<const LobPageMap::Mapped> LobPageMap::pages_of(const std::array<std::uint8_t, 10>& lob_id) const
{
    const auto first = std::lower_bound(mapped_.begin(), mapped_.end(), lob_id, [](const Mapped& m, const auto& id) {
        return before(m.lob_id, m.page, id, 0);
    });
    auto last = first;
    while (last != mapped_.end() && last->lob_id == lob_id) ++last;
    return {first, last};
}

std::optional<LobPage> LobPages::read_page(DataFile& file, std::int32_t block, std::uint32_t page)
{
    if (block < 0 || file.read(block, block_, Access::Random) != ReadStatus::Ok) return std::nullopt;
    std::optional<LobPage> read = read_lob_page(block_.view);
    if (!read || read->lob_id != lob_id_ || read->page != page ||
        (data_object_ != 0 && read->data_object != data_object_))
        return std::nullopt;
    return read;
}

LobFound LobPages::find(const LobLocator& locator, const schema::LobStorage* storage, const PieceAt& head)
{
    pages_.clear();
    lob_id_ = locator.lob_id;
    data_object_ = storage != nullptr ? storage->data_object : 0;
    LobFound found;
    found.expected = locator.pages();
    last_page_ = found.expected - 1;
    last_bytes_ = locator.last_page_bytes;
    // The locator's pages.
    std::uint32_t page_bytes = 0;
    const std::size_t listed = std::min<std::uint64_t>(locator.address_count(), found.expected);
    for (std::size_t i = 0; i < listed; ++i) {
        std::int32_t block = 0;
        DataFile* file = file_named(files_, locator.address(i), head, block);
        if (file == nullptr || !read_page(*file, block, static_cast<std::uint32_t>(i))) continue;
        pages_.push_back({file, block, static_cast<std::uint32_t>(i)});
        page_bytes = lob_page_bytes(file->geometry().block_size);
    }
    // The later ones the scan mapped.
    for (const LobPageMap::Mapped& mapped : map_.pages_of(locator.lob_id)) {
        if (mapped.page >= found.expected) break;
        DataFile* file = files_.by_source(mapped.source);
        if (mapped.page < listed || file == nullptr) continue;
        pages_.push_back({file, mapped.block, mapped.page});
        page_bytes = lob_page_bytes(file->geometry().block_size);
    }
    found.found = pages_.size();
    if (pages_.empty()) return found;
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
    if (index >= pages_.size()) return {};
    const PageAt& at = pages_[index];
    const std::optional<LobPage> read = read_page(*at.file, at.block, at.page);
    if (!read) return {};
    return at.page == last_page_ ? read->data.sub(0, last_bytes_) : read->data;
}

}  // namespace unload
