#include "unload/block_accounting.h"

#include <algorithm>
#include <bit>

#include "format/block_format.h"
#include "format/file_format.h"

namespace unload {

namespace {

// Lost places a table's message names, at most (runs of like places count once).
constexpr std::size_t kPlacesNamed = 3;
// Places of another kind whose reason is kept for the message, per segment.
constexpr std::size_t kWhysKept = 16;
constexpr std::uint64_t kFatesPerWord = 32;

std::string plural(std::uint64_t count, const char* one, const char* many)
{
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

std::string hex_byte(std::uint8_t value)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    return std::string("0x") + kDigits[value >> 4] + kDigits[value & 0xF];
}

// The blocks of a segment that are its own and hold no rows: its header,
// bitmap and extent map blocks (of either kind of segment).
bool is_segment_space(std::uint8_t type)
{
    using namespace file_format;
    return type == kBlockTypeSegmentHeader || type == kBlockTypeSpaceSegmentHeader ||
           type == kBlockTypeFirstLevelBitmap || type == kBlockTypeSecondLevelBitmap ||
           type == kBlockTypeThirdLevelBitmap || type == kBlockTypeExtentMap || type == kBlockTypeSpaceExtentMap;
}

// "file 4 block 43", "file 4 blocks 43 to 45".
std::string places_text(std::uint32_t file, std::uint64_t first, std::uint64_t count)
{
    std::string text = "file " + std::to_string(file) + (count == 1 ? " block " : " blocks ") + std::to_string(first);
    if (count > 1) text += " to " + std::to_string(first + count - 1);
    return text;
}

// "4 blocks, all zeros"; "4 blocks: 3 all zeros, 1 not read".
std::string what_blocks_were(std::uint64_t blocks, const std::vector<std::pair<std::uint64_t, const char*>>& kinds)
{
    std::vector<std::pair<std::uint64_t, const char*>> present;
    for (const auto& kind : kinds)
        if (kind.first > 0) present.push_back(kind);
    std::string text = plural(blocks, "block", "blocks");
    if (present.size() == 1) return text + ", " + present.front().second;
    for (std::size_t i = 0; i < present.size(); ++i)
        text += (i == 0 ? ": " : ", ") + std::to_string(present[i].first) + " " + present[i].second;
    return text;
}

// When a segment's high water mark cannot be read, the blocks that should
// hold its rows are taken to end at the last that does: a block before it
// that holds none is lost, those after it are taken for never written.
// None when no block holds its rows.
std::uint64_t places_below_last_rows(std::int64_t last_rows)
{
    return static_cast<std::uint64_t>(last_rows + 1);
}

}  // namespace

std::vector<TableSegment> table_segments(const schema::Table& table)
{
    std::vector<TableSegment> segments;
    if (table.partitions.empty()) {
        if (table.segment && table.data_object) segments.push_back({*table.segment, {*table.data_object}});
        return segments;
    }
    for (const schema::Partition& partition : table.partitions)
        if (partition.segment) segments.push_back({*partition.segment, {partition.data_object}});
    return segments;
}

std::vector<AccountedTable> accounted_tables(const schema::Schema& schema)
{
    std::vector<AccountedTable> tables;
    for (const schema::Table& table : schema.tables)
        tables.push_back({table.owner.empty() ? table.name : table.owner + "." + table.name, table_segments(table)});
    return tables;
}

// ---------------------------------------------------------------------------
// Walking the segments

BlockAccounting::BlockAccounting(DataFileSet& files, std::vector<AccountedTable> tables) : tables_(std::move(tables))
{
    std::map<std::pair<std::uint32_t, std::uint32_t>, std::size_t> by_header;
    for (std::size_t t = 0; t < tables_.size(); ++t) {
        for (const TableSegment& table_segment : tables_[t].segments) {
            const auto key = std::pair{table_segment.header.file, table_segment.header.block};
            auto [found, added] = by_header.emplace(key, segments_.size());
            if (added) {
                segments_.emplace_back();
                segments_.back().header = table_segment.header;
            }
            Segment& segment = segments_[found->second];
            if (std::find(segment.tables.begin(), segment.tables.end(), t) == segment.tables.end())
                segment.tables.push_back(t);
            for (std::uint32_t object : table_segment.data_objects) segment.data_objects.push_back(object);
        }
    }
    // Segments do not share blocks: all of them together hold no more
    // places than the files have blocks. Maps that claim more (a hostile
    // dictionary's, listing the same extents for many segments) are not
    // believed past that, so memory stays bounded by the files' size.
    constexpr std::uint64_t kUnbounded = ~std::uint64_t{0};  // a file whose size is not known
    std::uint64_t room = 0;
    for (std::size_t i = 0; i < files.size() && room != kUnbounded; ++i)
        room = files[i].block_end() == 0 ? kUnbounded : room + files[i].block_end();
    for (Segment& segment : segments_) {
        std::sort(segment.data_objects.begin(), segment.data_objects.end());
        segment.data_objects.erase(std::unique(segment.data_objects.begin(), segment.data_objects.end()),
                                   segment.data_objects.end());
        walk(files, segment);
        if (segment.places > room) {
            segment.problem = "its extents overlap other segments': with theirs, they hold more blocks than the "
                              "files read";
            segment.places = 0;
            segment.ranges.clear();
            segment.fates.clear();
            segment.past_end.clear();
            segment.past_end_blocks = 0;
            continue;
        }
        if (room != kUnbounded) room -= segment.places;
    }
    for (Segment& segment : segments_) segment.fates.assign((segment.places + kFatesPerWord - 1) / kFatesPerWord, 0);
    for (std::size_t i = 0; i < files.size(); ++i) paths_.emplace(files[i].relative_file(), files[i].path());
    index_ranges();
}

void BlockAccounting::walk(DataFileSet& files, Segment& segment)
{
    const dictionary::BlockPlace header{segment.header.file, segment.header.block};
    // A segment in a file not read is neither read nor lost.
    if (files.by_relative_file(header.file) == nullptr) return;
    segment.in_files = true;
    const dictionary::SegmentMap map = dictionary::read_segment_map(files, header);
    if (!map.ok()) {
        segment.problem = "its segment header (" + dictionary::place_text(header) + ") " + map.problem;
        return;
    }
    segment.mark_known = map.high_water_mark.has_value();
    std::map<std::uint32_t, std::vector<std::uint32_t>> skipped;  // by file: the header and the map blocks
    skipped[header.file].push_back(header.block);
    for (const dictionary::BlockPlace& place : map.map_blocks) skipped[place.file].push_back(place.block);
    for (auto& [file, blocks] : skipped) std::sort(blocks.begin(), blocks.end());
    // The extents in map order up to the mark; those past the end of a
    // file cut short after the others, as a file cut short loses its last
    // blocks and a segment's later extents lie after its earlier ones.
    bool above = false;
    auto take = [&](const dictionary::ExtentRange& extent, bool in_file) {
        if (above) return;
        std::uint64_t stop = std::uint64_t{extent.first.block} + extent.length;
        if (const auto& mark = map.high_water_mark; mark && mark->file == extent.first.file &&
                                                    mark->block >= extent.first.block && mark->block <= stop) {
            stop = mark->block;
            above = true;
        }
        if (in_file) {
            add_places(segment, extent.first.file, extent.first.block, stop, skipped[extent.first.file]);
        } else if (stop > extent.first.block) {
            const auto length = static_cast<std::uint32_t>(stop - extent.first.block);
            segment.past_end.push_back({extent.first, length});
            segment.past_end_blocks += length;
        }
    };
    for (const dictionary::ExtentRange& extent : map.extents) take(extent, true);
    for (const dictionary::ExtentRange& extent : map.past_end) take(extent, false);
}

// The places from `first` to `stop` of `file`, but for those `skipped` (sorted).
void BlockAccounting::add_places(Segment& segment, std::uint32_t file, std::uint64_t first, std::uint64_t stop,
                                 const std::vector<std::uint32_t>& skipped)
{
    auto add = [&](std::uint64_t from, std::uint64_t to) {
        if (from >= to) return;
        segment.ranges.push_back({file, static_cast<std::uint32_t>(from), static_cast<std::uint32_t>(to - from),
                                  static_cast<std::uint32_t>(&segment - segments_.data()), segment.places});
        segment.places += to - from;
    };
    std::uint64_t at = first;
    for (auto skip = std::lower_bound(skipped.begin(), skipped.end(), first); skip != skipped.end() && *skip < stop;
         ++skip) {
        add(at, *skip);
        at = std::uint64_t{*skip} + 1;
    }
    add(at, stop);
}

void BlockAccounting::index_ranges()
{
    for (const Segment& segment : segments_) ranges_.insert(ranges_.end(), segment.ranges.begin(), segment.ranges.end());
    std::sort(ranges_.begin(), ranges_.end(), [](const Range& a, const Range& b) {
        return std::pair(a.file, a.first) < std::pair(b.file, b.first);
    });
    max_ends_.resize(ranges_.size());
    for (std::size_t i = 0; i < ranges_.size(); ++i) {
        const std::uint64_t end = std::uint64_t{ranges_[i].first} + ranges_[i].length;
        const bool same_file = i > 0 && ranges_[i - 1].file == ranges_[i].file;
        if (same_file && max_ends_[i - 1] > ranges_[i].first) overlapping_ = true;
        max_ends_[i] = same_file ? std::max(max_ends_[i - 1], end) : end;
    }
}

// ---------------------------------------------------------------------------
// The pass

template <class Hit>
void BlockAccounting::for_each_hit(std::uint32_t file, std::uint32_t block, Hit hit)
{
    auto holds = [&](const Range& range) {
        return range.file == file && block >= range.first && block - range.first < range.length;
    };
    if (!overlapping_) {
        // Blocks are read in order: mostly in the range last hit, or in a
        // stretch between ranges.
        if (holds(ranges_[last_hit_])) {
            hit(ranges_[last_hit_]);
            return;
        }
        if (file == gap_file_ && block >= gap_start_ && block < gap_end_) return;
    }
    const auto after = std::upper_bound(ranges_.begin(), ranges_.end(), std::pair(file, block),
                                        [](const std::pair<std::uint32_t, std::uint32_t>& place, const Range& range) {
                                            return place < std::pair(range.file, range.first);
                                        });
    const auto next = static_cast<std::size_t>(after - ranges_.begin());
    bool found = false;
    for (std::size_t i = next; i-- > 0 && ranges_[i].file == file && max_ends_[i] > block;) {
        if (!holds(ranges_[i])) continue;
        hit(ranges_[i]);
        last_hit_ = i;
        found = true;
        if (!overlapping_) return;
    }
    if (found || overlapping_) return;
    gap_file_ = file;
    gap_start_ = next > 0 && ranges_[next - 1].file == file ? max_ends_[next - 1] : 0;
    gap_end_ = next < ranges_.size() && ranges_[next].file == file ? ranges_[next].first : ~std::uint64_t{0};
}

BlockAccounting::Fate BlockAccounting::fate(const Segment& segment, std::uint64_t index) const
{
    return static_cast<Fate>(segment.fates[index / kFatesPerWord] >> (2 * (index % kFatesPerWord)) & 3);
}

void BlockAccounting::set_fate(Segment& segment, std::uint64_t index, Fate fate)
{
    segment.fates[index / kFatesPerWord] |= std::uint64_t{static_cast<std::uint8_t>(fate)} << (2 * (index % kFatesPerWord));
}

void BlockAccounting::note(std::uint32_t file, std::uint32_t block, const BlockChecks& checks, bool rows_read)
{
    if (ranges_.empty()) return;
    for_each_hit(file, block, [&](const Range& range) {
        Segment& segment = segments_[range.segment];
        const std::uint64_t index = range.index + (block - range.first);
        if (fate(segment, index) != Fate::NotRead) return;
        const BlockHeader& header = checks.header;
        const bool sound = checks.state == CheckedAs::Checked && checks.sound();
        const bool ours = header.block_type == block_format::kBlockTypeData && header.layer_type == block_format::kLayerData &&
                          std::binary_search(segment.data_objects.begin(), segment.data_objects.end(), header.object_id);
        if (checks.state == CheckedAs::NeverUsed) {
            set_fate(segment, index, Fate::Zeros);
            ++segment.zeros;
        } else if (ours && rows_read) {
            set_fate(segment, index, Fate::Accounted);
            ++segment.rows_blocks;
            segment.last_rows = std::max(segment.last_rows, static_cast<std::int64_t>(index));
        } else if (sound && is_segment_space(header.block_type)) {
            set_fate(segment, index, Fate::Accounted);
            segment.space.push_back(index);
        } else {
            set_fate(segment, index, Fate::Other);
            ++segment.other;
            if (segment.whys.size() < kWhysKept) {
                std::string why;
                if (!sound)
                    why = "damaged: it fails the checks of --verify";
                else if (ours)
                    why = "its rows could not be read";
                else if (header.block_type == block_format::kBlockTypeData)
                    why = "rows of data object " + std::to_string(header.object_id);
                else
                    why = "a block of type " + hex_byte(header.block_type);
                segment.whys.emplace(index, std::move(why));
            }
        }
    });
}

// ---------------------------------------------------------------------------
// After the pass

// The places before `end` the pass found so.
std::uint64_t BlockAccounting::count_before(const Segment& segment, std::uint64_t end, Fate fate) const
{
    constexpr std::uint64_t kLowBits = 0x5555555555555555ULL;
    const std::uint64_t pattern = kLowBits * static_cast<std::uint8_t>(fate);  // `fate` in every place
    std::uint64_t count = 0;
    for (std::uint64_t word = 0; word * kFatesPerWord < end; ++word) {
        const std::uint64_t places = std::min(kFatesPerWord, end - word * kFatesPerWord);
        const std::uint64_t mask = places == kFatesPerWord ? ~std::uint64_t{0} : (std::uint64_t{1} << (2 * places)) - 1;
        const std::uint64_t differs = segment.fates[word] ^ pattern;
        count += static_cast<std::uint64_t>(std::popcount(~(differs | differs >> 1) & kLowBits & mask));
    }
    return count;
}

std::string BlockAccounting::why(const Segment& segment, std::uint64_t index, Fate fate) const
{
    switch (fate) {
    case Fate::Zeros: return "all zeros";
    case Fate::NotRead: return "not read";
    case Fate::Other: {
        const auto found = segment.whys.find(index);
        return found != segment.whys.end() ? found->second : "holds none of its rows";
    }
    case Fate::Accounted: break;
    }
    return "";
}


BlockAccounting::SegmentLoss BlockAccounting::loss_of(const Segment& segment) const
{
    SegmentLoss loss;
    if (!segment.in_files || !segment.problem.empty()) return loss;
    const std::uint64_t end = segment.mark_known ? segment.places : places_below_last_rows(segment.last_rows);
    const auto space = static_cast<std::uint64_t>(
        std::count_if(segment.space.begin(), segment.space.end(), [&](std::uint64_t index) { return index < end; }));
    loss.expected = end - space + segment.past_end_blocks;
    loss.lost = end - count_before(segment, end, Fate::Accounted) + segment.past_end_blocks;
    loss.unread = count_before(segment, end, Fate::NotRead) + segment.past_end_blocks;
    // The first runs of like places, in map order.
    struct Run {
        std::uint32_t file;
        std::uint64_t first;
        std::uint64_t count;
        std::string why;
    };
    std::vector<Run> runs;
    const std::size_t most = kPlacesNamed + 1;  // one more tells a run has ended
    for (const Range& range : segment.ranges) {
        if (range.index >= end || runs.size() >= most) break;
        for (std::uint64_t i = 0; i < range.length && range.index + i < end; ++i) {
            const std::uint64_t index = range.index + i;
            const Fate f = fate(segment, index);
            if (f == Fate::Accounted) continue;
            std::string reason = why(segment, index, f);
            const std::uint64_t block = std::uint64_t{range.first} + i;
            if (!runs.empty() && runs.back().file == range.file && runs.back().first + runs.back().count == block &&
                runs.back().why == reason) {
                ++runs.back().count;
                continue;
            }
            if (runs.size() >= most) break;
            runs.push_back({range.file, block, 1, std::move(reason)});
        }
    }
    for (const dictionary::ExtentRange& range : segment.past_end) {
        const auto path = paths_.find(range.first.file);
        std::string reason = "past the end of " + (path != paths_.end() ? path->second : std::string("its file")) +
                             ", which is cut short";
        if (!runs.empty() && runs.back().file == range.first.file &&
            runs.back().first + runs.back().count == range.first.block && runs.back().why == reason) {
            runs.back().count += range.length;
            continue;
        }
        if (runs.size() >= most) break;
        runs.push_back({range.first.file, range.first.block, range.length, std::move(reason)});
    }
    for (std::size_t i = 0; i < runs.size() && i < kPlacesNamed; ++i)
        loss.places.push_back(places_text(runs[i].file, runs[i].first, runs[i].count) + " (" + runs[i].why + ")");
    if (runs.size() > kPlacesNamed) loss.places.push_back("...");
    return loss;
}

std::vector<TableLoss> BlockAccounting::losses() const
{
    std::vector<TableLoss> losses(tables_.size());
    std::vector<std::vector<std::string>> places(tables_.size());
    struct Kinds {
        std::uint64_t blocks = 0, rows = 0, zeros = 0, other = 0, not_read = 0, past_end = 0;
    };
    std::vector<Kinds> kinds(tables_.size());
    for (const Segment& segment : segments_) {
        const SegmentLoss loss = loss_of(segment);
        for (std::size_t t : segment.tables) {
            TableLoss& table = losses[t];
            table.in_files = table.in_files || segment.in_files;
            if (!segment.problem.empty())
                table.unaccounted += (table.unaccounted.empty() ? "" : "; ") + segment.problem;
            table.expected += loss.expected;
            table.lost += loss.lost;
            table.unread += loss.unread;
            for (const std::string& place : loss.places)
                if (places[t].size() < kPlacesNamed + 1) places[t].push_back(place);
            // What the places that held none of its rows were, its segment's own blocks left out.
            const std::uint64_t not_accounted = segment.places - count_before(segment, segment.places, Fate::Accounted);
            Kinds& k = kinds[t];
            k.blocks += not_accounted + segment.past_end_blocks;
            k.rows += segment.rows_blocks;
            k.zeros += segment.zeros;
            k.other += segment.other;
            k.not_read += not_accounted - segment.zeros - segment.other;
            k.past_end += segment.past_end_blocks;
        }
    }
    for (std::size_t t = 0; t < tables_.size(); ++t) {
        std::vector<std::string>& named = places[t];
        if (named.size() > kPlacesNamed) {
            named.resize(kPlacesNamed);
            named.push_back("...");
        }
        for (std::size_t i = 0; i < named.size(); ++i) losses[t].places += (i == 0 ? "" : ", ") + named[i];
        const Kinds& k = kinds[t];
        if (k.rows == 0 && k.blocks > 0)
            losses[t].without_rows = what_blocks_were(k.blocks, {{k.zeros, "all zeros"},
                                                                 {k.other, "holding none of its rows"},
                                                                 {k.not_read, "not read"},
                                                                 {k.past_end, "past the end of a file cut short"}});
    }
    return losses;
}

std::uint64_t BlockAccounting::blocks_lost() const
{
    std::uint64_t lost = 0;
    for (const Segment& segment : segments_) lost += loss_of(segment).lost;
    return lost;
}

std::uint64_t BlockAccounting::blocks_lost_read() const
{
    std::uint64_t lost = 0;
    for (const Segment& segment : segments_) {
        const SegmentLoss loss = loss_of(segment);
        lost += loss.lost - loss.unread;
    }
    return lost;
}

std::uint64_t BlockAccounting::unaccounted_segments() const
{
    return static_cast<std::uint64_t>(std::count_if(segments_.begin(), segments_.end(), [](const Segment& segment) {
        return !segment.problem.empty();
    }));
}

}  // namespace unload
