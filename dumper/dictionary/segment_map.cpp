#include "dictionary/segment_map.h"

#include <algorithm>
#include <set>
#include <utility>

#include "format/block_format.h"
#include "format/file_format.h"
#include "format/rowid.h"
#include "read/block_checks.h"

namespace dictionary {

namespace {

// The most blocks a file can have that a block address can name: 22 bits
// of a smallfile tablespace's address, all 32 of a bigfile one's.
constexpr std::uint64_t addressable_blocks(AddressLayout layout)
{
    return std::uint64_t{address_block(~std::uint32_t{0}, layout)} + 1;
}

std::string hex_byte(std::uint8_t value)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    return std::string("0x") + kDigits[value >> 4] + kDigits[value & 0xF];
}

std::string plural(std::uint64_t count, const char* one, const char* many)
{
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

// Why a header or map block that was read cannot be believed; empty when
// it can. `types` are the block types it may have.
std::string block_problem(const Block& block, std::uint32_t number, std::span<const std::uint8_t> types,
                          const char* kind)
{
    const std::uint8_t type = block.view.u8(block_format::kBlockTypeAt);
    if (std::find(types.begin(), types.end(), type) == types.end())
        return std::string("is no ") + kind + ": its block type is " + hex_byte(type);
    const BlockChecks checks = check_block(block.view, static_cast<std::int32_t>(number),
                                           static_cast<std::uint32_t>(block.view.size()));
    if (!checks.checksum_ok) return "is damaged: its checksum does not match";
    if (!checks.tail_ok) return "is damaged: its tail does not repeat its header";
    if (!checks.address_ok) return "is misplaced: its address names block " + std::to_string(checks.address_block);
    return "";
}

// The blocks of one segment lie in files told apart by their numbers alone,
// or all in one bigfile tablespace's file: the number and the block tell
// them apart.
std::uint64_t place_key(const BlockPlace& place) { return std::uint64_t{place.file} << 32 | place.block; }

// Walks one segment's map: the header's entries, then each map block's,
// each extent checked against the files and against those listed before it.
class MapWalk {
public:
    MapWalk(DataFileSet& files, const BlockPlace& header) : files_(files), header_(header) {}

    SegmentMap walk()
    {
        Block block;
        if (!read_header(block)) return std::move(map_);
        const BlockView& view = block.view;
        map_.space_managed = view.u8(block_format::kBlockTypeAt) == file_format::kBlockTypeSpaceSegmentHeader;
        layout_ = file_format::extent_map_layout(map_.space_managed);
        map_.counted_extents = view.u32(file_format::kExtentCountAt);
        map_.counted_blocks = view.u32(file_format::kSegmentBlockCountAt);
        map_.object = map_.space_managed ? 0 : view.u32(layout_.object_at);
        if (!take_header_entries(block)) return std::move(map_);
        follow_chain(place_named_by(block, view.u32(layout_.next_at)), view.u32(layout_.next_at) != 0,
                     view.u32(file_format::kMapBlockCountAt));
        check_totals();
        find_high_water_mark(block, view.u32(file_format::high_water_mark_at(map_.space_managed)));
        return std::move(map_);
    }

private:
    bool read_header(Block& block)
    {
        DataFile* file = file_of_place(files_, header_);
        if (file == nullptr) {
            map_.problem = "lies in a file that is not among those read";
            return false;
        }
        if (file->read(static_cast<std::int32_t>(header_.block), block, Access::Random) != ReadStatus::Ok) {
            map_.problem = "cannot be read from " + file->path();
            return false;
        }
        header_ = place_in(*file, header_.block);
        static constexpr std::uint8_t kHeaderTypes[] = {file_format::kBlockTypeSegmentHeader,
                                                        file_format::kBlockTypeSpaceSegmentHeader};
        map_.problem = block_problem(block, header_.block, kHeaderTypes, "segment header");
        return map_.ok();
    }

    // The entries a block of this kind has room for.
    std::uint32_t room(const BlockView& view) const
    {
        const std::size_t end = view.size() - block_format::kTailSize;
        return end > layout_.first_entry_at
                   ? static_cast<std::uint32_t>((end - layout_.first_entry_at) / file_format::kExtentEntrySize)
                   : 0;
    }

    // The header's own entries: as many as it says its map holds, or, in a
    // simple header that leaves that 0, every extent it counts.
    bool take_header_entries(const Block& header)
    {
        const BlockView& view = header.view;
        const std::uint32_t here = view.u32(layout_.extents_here_at);
        const std::uint32_t entries = here != 0 ? here : map_.counted_extents;
        const std::uint32_t most = room(view);
        if (map_.counted_extents == 0 || entries > most) {
            map_.problem = here != 0 ? "says its own map holds " + std::to_string(here) + " extents, and its block holds 1 to " +
                                           std::to_string(most)
                                     : "maps " + std::to_string(map_.counted_extents) + " extents, and its block holds 1 to " +
                                           std::to_string(most);
            return false;
        }
        most_listed_ = most + blocks_in_files();
        take_entries(header, entries);
        return true;
    }

    // The blocks of every file read: no segment has more extents than that.
    std::uint64_t blocks_in_files()
    {
        std::uint64_t blocks = 0;
        for (std::size_t i = 0; i < files_.size(); ++i) blocks += file_end(files_[i]);
        return blocks;
    }

    std::uint64_t file_end(DataFile& file)
    {
        const std::uint64_t end = file.block_end();
        const std::uint64_t addressable = addressable_blocks(file.layout());
        return end == 0 ? addressable : std::min(end, addressable);
    }

    // The entries of a header or map block, their addresses read as its file lays them out.
    void take_entries(const Block& holder, std::uint32_t count)
    {
        const BlockView& view = holder.view;
        for (std::uint32_t i = 0; i < count; ++i) {
            if (listed_ == most_listed_) {
                damage("lists more than " + std::to_string(most_listed_) +
                       " extents, more than its files have blocks: no segment has that many");
                return;
            }
            const std::uint32_t entry = layout_.first_entry_at + i * file_format::kExtentEntrySize;
            const std::uint32_t address = view.u32(entry + file_format::kExtentAddressAt);
            take_extent({place_named_by(holder, address), view.u32(entry + file_format::kExtentLengthAt)});
        }
    }

    void take_extent(const ExtentRange& extent)
    {
        const std::uint64_t index = ++listed_;
        const std::string which = "extent " + std::to_string(index) + " (" + place_text(extent.first) + ", " +
                                  plural(extent.length, "block", "blocks") + ")";
        if (extent.length == 0) {
            damage("maps an empty " + which);
            return;
        }
        DataFile* file = file_of_place(files_, extent.first);
        if (file == nullptr) {
            damage("maps " + which + " in a file that is not among those read");
            return;
        }
        if (index == 1) check_first(extent);
        const std::uint64_t start = extent.first.block;
        std::uint64_t stop = start + extent.length;
        const std::uint64_t end = file_end(*file);
        if (stop > end) {
            // A file cut short still has the blocks its header counts:
            // they are missing, not mapped wrongly.
            const std::uint64_t counted =
                file->sized() ? std::min(file->counted_block_end(), addressable_blocks(file->layout())) : 0;
            if (stop <= counted)
                add_blocks_not_taken(extent.first, std::max(start, end), stop, which, map_.past_end);
            else
                damage("maps " + which + ", past the end of " + file->path());
            stop = std::max(start, end);
        }
        add_blocks_not_taken(extent.first, start, stop, which, map_.extents);
    }

    // The first extent starts with the header (after an automatically
    // managed segment's bitmap blocks).
    void check_first(const ExtentRange& first)
    {
        const bool holds_header = first.first.file == header_.file && first.first.source == header_.source &&
                                  first.first.block <= header_.block &&
                                  header_.block - first.first.block < first.length &&
                                  (map_.space_managed || first.first.block == header_.block);
        if (!holds_header) damage("maps a first extent that does not start with the header");
    }

    // Adds to `out` the blocks from `start` to `stop` that no extent before holds.
    void add_blocks_not_taken(const BlockPlace& in, std::uint64_t start, std::uint64_t stop, const std::string& which,
                              std::vector<ExtentRange>& out)
    {
        if (start >= stop) return;
        const std::uint32_t file = in.file;
        std::vector<std::pair<std::uint64_t, std::uint64_t>> fresh;
        bool shared = false;
        std::uint64_t at = start;
        auto taken = taken_.upper_bound({file, start});
        if (taken != taken_.begin() && std::prev(taken)->first.first == file && std::prev(taken)->second > start)
            --taken;
        for (; at < stop && taken != taken_.end() && taken->first.first == file && taken->first.second < stop; ++taken) {
            if (taken->first.second > at) fresh.emplace_back(at, taken->first.second);
            at = std::max(at, taken->second);
            shared = true;
        }
        if (at < stop) fresh.emplace_back(at, stop);
        for (const auto& [first, end] : fresh) {
            taken_.emplace(std::pair{file, first}, end);
            out.push_back({{file, static_cast<std::uint32_t>(first), in.source}, static_cast<std::uint32_t>(end - first)});
        }
        if (!shared) return;
        Again& again = fresh.empty() ? repeated_ : overlapping_;
        if (again.count++ == 0) again.first = which;
    }

    // From the map block at `place` on, while `more`: a next pointer of 0 ends the chain.
    void follow_chain(BlockPlace place, bool more, std::uint32_t counted_maps)
    {
        std::set<std::uint64_t> visited{place_key(header_)};
        while (more && map_.ok()) {
            if (!visited.insert(place_key(place)).second) {
                chain_note_ = "its chain of extent map blocks leads back to " + place_text(place);
                return;
            }
            if (map_.map_blocks.size() == counted_maps) {
                chain_note_ = "its chain of extent map blocks goes on past the " +
                              plural(counted_maps, "map block", "map blocks") + " it counts";
                return;
            }
            Block block;
            if (!read_map_block(place, block)) return;
            map_.map_blocks.push_back(place);
            take_entries(block, block.view.u32(layout_.extents_here_at));
            const std::uint32_t next = block.view.u32(layout_.next_at);
            more = next != 0;
            place = place_named_by(block, next);
        }
    }

    bool read_map_block(const BlockPlace& place, Block& block)
    {
        const std::string named = "names an extent map block (" + place_text(place) + ") that ";
        DataFile* file = file_of_place(files_, place);
        if (file == nullptr) {
            damage(named + "lies in a file that is not among those read");
            return false;
        }
        if (file->read(static_cast<std::int32_t>(place.block), block, Access::Random) != ReadStatus::Ok) {
            damage(named + "cannot be read from " + file->path());
            return false;
        }
        const std::uint8_t type =
            map_.space_managed ? file_format::kBlockTypeSpaceExtentMap : file_format::kBlockTypeExtentMap;
        if (const std::string why = block_problem(block, place.block, {&type, 1}, "extent map block"); !why.empty()) {
            damage(named + why);
            return false;
        }
        const BlockView& view = block.view;
        const std::uint32_t entries = view.u32(layout_.extents_here_at);
        if (entries == 0 || entries > room(view)) {
            damage(named + "lists " + std::to_string(entries) + " extents, and its block holds 1 to " +
                   std::to_string(room(view)));
            return false;
        }
        const std::uint32_t object = view.u32(layout_.object_at);
        if (map_.object != 0 && object != 0 && object != map_.object) {
            damage(named + "belongs to object " + std::to_string(object) + ", not " + std::to_string(map_.object));
            return false;
        }
        return true;
    }

    void check_totals()
    {
        if (listed_ < map_.counted_extents && map_.ok())
            damage("lists " + std::to_string(listed_) + " of the " + std::to_string(map_.counted_extents) +
                   " extents it counts" + (chain_note_.empty() ? "" : ": " + chain_note_));
        else if (!chain_note_.empty())
            map_.warnings.push_back(chain_note_);
        if (listed_ > map_.counted_extents)
            map_.warnings.push_back("lists " + std::to_string(listed_) + " extents, more than the " +
                                    std::to_string(map_.counted_extents) + " it counts");
        if (repeated_.count > 0)
            map_.warnings.push_back(repeated_.count == 1
                                        ? "lists 1 extent that an earlier one already holds, " + repeated_.first +
                                              ": each block is read once"
                                        : "lists " + std::to_string(repeated_.count) +
                                              " extents that earlier ones already hold, the first " + repeated_.first +
                                              ": each block is read once");
        if (overlapping_.count > 0)
            map_.warnings.push_back(overlapping_.count == 1
                                        ? "lists 1 extent that overlaps an earlier one, " + overlapping_.first +
                                              ": each block is read once"
                                        : "lists " + std::to_string(overlapping_.count) +
                                              " extents that overlap earlier ones, the first " + overlapping_.first +
                                              ": each block is read once");
        check_size();
        if (!map_.past_end.empty()) {
            std::uint64_t missing = 0;
            for (const ExtentRange& range : map_.past_end) missing += range.length;
            DataFile* file = file_of_place(files_, map_.past_end.front().first);
            map_.warnings.push_back("maps " + plural(missing, "block", "blocks") + " past the end of " +
                                    (file != nullptr ? file->path() : std::string("its file")) +
                                    ", which is cut short: they cannot be read");
        }
    }

    // A block count larger than the files the extents lie in.
    void check_size()
    {
        std::set<std::pair<std::uint32_t, std::uint16_t>> holding{{header_.file, header_.source}};
        for (const ExtentRange& extent : map_.extents) holding.insert({extent.first.file, extent.first.source});
        std::uint64_t blocks = 0;
        for (const auto& [number, source] : holding)
            if (DataFile* file = file_of_place(files_, {number, 0, source})) blocks += file_end(*file);
        if (map_.counted_blocks > blocks)
            map_.warnings.push_back("counts " + plural(map_.counted_blocks, "block", "blocks") +
                                    ", more than its files hold (" + std::to_string(blocks) + ")");
    }

    void find_high_water_mark(const Block& header, std::uint32_t address)
    {
        if (address == 0) return;
        const BlockPlace mark = place_named_by(header, address);
        for (const auto* ranges : {&map_.extents, &map_.past_end})
            for (const ExtentRange& extent : *ranges) {
                if (extent.first.file == mark.file && extent.first.source == mark.source &&
                    extent.first.block <= mark.block && mark.block - extent.first.block <= extent.length) {
                    map_.high_water_mark = mark;
                    return;
                }
            }
    }

    // The first reason the map cannot be believed is the one said.
    void damage(std::string why)
    {
        if (map_.ok()) map_.problem = std::move(why);
    }

    // Extents listed again, wholly or in part.
    struct Again {
        std::uint64_t count = 0;
        std::string first;
    };

    DataFileSet& files_;
    BlockPlace header_;
    SegmentMap map_;
    file_format::ExtentMapLayout layout_{};
    std::uint64_t listed_ = 0;
    std::uint64_t most_listed_ = 0;
    // The blocks the extents so far hold: (file, first block) to one past the last.
    std::map<std::pair<std::uint32_t, std::uint64_t>, std::uint64_t> taken_;
    Again repeated_;
    Again overlapping_;
    std::string chain_note_;  // why the chain of map blocks was left before its end
};

}  // namespace

BlockPlace place_in(DataFile& file, std::uint32_t block)
{
    const bool bigfile = file.layout() == AddressLayout::Bigfile;
    return {file.relative_file(), block, bigfile ? file.source() : std::uint16_t{0}};
}

BlockPlace place_named_by(const Block& holder, std::uint32_t address)
{
    const bool bigfile = holder.layout == AddressLayout::Bigfile;
    return {address_file(address, holder.layout), address_block(address, holder.layout),
            bigfile ? holder.source : std::uint16_t{0}};
}

DataFile* file_of_place(DataFileSet& files, const BlockPlace& place)
{
    return place.source != 0 ? files.by_source(place.source) : files.by_relative_file(place.file);
}

std::string place_text(const BlockPlace& place)
{
    return "file " + std::to_string(place.file) + " block " + std::to_string(place.block);
}

std::uint64_t SegmentMap::blocks() const
{
    std::uint64_t total = 0;
    for (const ExtentRange& extent : extents) total += extent.length;
    return total;
}

SegmentMap read_segment_map(DataFileSet& files, const BlockPlace& header) { return MapWalk(files, header).walk(); }

std::vector<BlockPlace> segment_blocks(const SegmentMap& map, const BlockPlace& header)
{
    std::set<std::uint64_t> skipped{place_key(header)};
    for (const BlockPlace& place : map.map_blocks) skipped.insert(place_key(place));
    std::vector<BlockPlace> blocks;
    for (const ExtentRange& extent : map.extents) {
        for (std::uint32_t i = 0; i < extent.length; ++i) {
            const BlockPlace place{extent.first.file, extent.first.block + i, extent.first.source};
            if (skipped.count(place_key(place)) == 0) blocks.push_back(place);
        }
    }
    return blocks;
}

std::map<std::uint32_t, std::vector<BlockPlace>> scan_for_data_objects(DataFile& file, std::uint32_t file_number,
                                                                      std::span<const std::uint32_t> data_objects)
{
    using namespace block_format;
    std::map<std::uint32_t, std::vector<BlockPlace>> found;
    for (std::uint32_t object : data_objects) found[object];
    const std::uint64_t end = file.block_end();
    const std::uint16_t source = place_in(file, 0).source;
    Block block;
    for (std::int32_t number = 0;
         (end == 0 || static_cast<std::uint64_t>(number) < end) && file.read(number, block, Access::Sequential) == ReadStatus::Ok;
         ++number) {
        const BlockView& view = block.view;
        if (view.u8(kBlockTypeAt) != kBlockTypeData || view.u8(kLayerTypeAt) != kLayerData) continue;
        const auto wanted = found.find(view.u32(kObjectIdAt));
        if (wanted != found.end()) wanted->second.push_back({file_number, static_cast<std::uint32_t>(number), source});
    }
    return found;
}

}  // namespace dictionary
