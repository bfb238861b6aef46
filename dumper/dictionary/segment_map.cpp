#include "dictionary/segment_map.h"

#include <algorithm>

#include "format/block_format.h"
#include "format/file_format.h"
#include "format/rowid.h"
#include "read/block_checks.h"

namespace dictionary {

namespace {

std::string hex_byte(std::uint8_t value)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    return std::string("0x") + kDigits[value >> 4] + kDigits[value & 0xF];
}

// Why a header block that was read cannot be believed; empty when it can.
std::string header_block_problem(const Block& block, std::uint32_t number)
{
    const std::uint8_t type = block.view.u8(block_format::kBlockTypeAt);
    if (type != file_format::kBlockTypeSegmentHeader && type != file_format::kBlockTypeSpaceSegmentHeader)
        return "is no segment header: its block type is " + hex_byte(type);
    const BlockChecks checks = check_block(block.view, static_cast<std::int32_t>(number),
                                           static_cast<std::uint32_t>(block.view.size()));
    if (!checks.checksum_ok) return "is damaged: its checksum does not match";
    if (!checks.tail_ok) return "is damaged: its tail does not repeat its header";
    if (!checks.address_ok) return "is misplaced: its address names block " + std::to_string(checks.address_block);
    return "";
}

// Why extent `index` cannot be one of the segment's; empty when it can.
std::string extent_problem(DataFileSet& files, const ExtentRange& extent, std::size_t index)
{
    const std::string which = "extent " + std::to_string(index + 1) + " (" + place_text(extent.first) + ", " +
                              std::to_string(extent.length) + " blocks)";
    if (extent.length == 0) return "maps an empty " + which;
    DataFile* file = files.by_relative_file(extent.first.file);
    if (file == nullptr) return "maps " + which + " in a file that is not among those read";
    const std::uint64_t blocks = file->block_count();
    if (file->sized() && std::uint64_t{extent.first.block} + extent.length > blocks)
        return "maps " + which + ", past the end of " + file->path();
    return "";
}

}  // namespace

std::string place_text(const BlockPlace& place)
{
    return "file " + std::to_string(place.file) + " block " + std::to_string(place.block);
}

SegmentMap read_segment_map(DataFileSet& files, const BlockPlace& header)
{
    SegmentMap map;
    DataFile* file = files.by_relative_file(header.file);
    if (file == nullptr) {
        map.problem = "lies in a file that is not among those read";
        return map;
    }
    Block block;
    if (file->read(static_cast<std::int32_t>(header.block), block, Access::Random) != ReadStatus::Ok) {
        map.problem = "cannot be read from " + file->path();
        return map;
    }
    map.problem = header_block_problem(block, header.block);
    if (!map.ok()) return map;

    using namespace file_format;
    const BlockView& view = block.view;
    const bool freelist = view.u8(block_format::kBlockTypeAt) == kBlockTypeSegmentHeader;
    const std::uint32_t map_at = freelist ? kExtentMapAt : kSpaceExtentMapAt;
    if (freelist) map.object = view.u32(kSegmentObjectAt);
    const std::uint32_t count = view.u32(kExtentCountAt);
    const std::uint64_t room = (view.size() - block_format::kTailSize - map_at) / kExtentEntrySize;
    if (count == 0 || count > room) {
        map.problem = "maps " + std::to_string(count) + " extents, and its block holds 1 to " + std::to_string(room);
        return map;
    }
    for (std::uint32_t i = 0; i < count && map.ok(); ++i) {
        const std::uint32_t entry = map_at + i * kExtentEntrySize;
        const std::uint32_t address = view.u32(entry + kExtentAddressAt);
        const ExtentRange extent{{address_file(address), address_block(address)}, view.u32(entry + kExtentLengthAt)};
        map.problem = extent_problem(files, extent, i);
        map.extents.push_back(extent);
    }
    if (!map.ok()) return map;
    // The first extent starts with the header (after an automatically
    // managed segment's bitmap blocks).
    const ExtentRange& first = map.extents.front();
    const bool holds_header = first.first.file == header.file && first.first.block <= header.block &&
                              header.block - first.first.block < first.length &&
                              (!freelist || first.first.block == header.block);
    if (!holds_header) map.problem = "maps a first extent that does not start with the header";
    return map;
}

std::vector<BlockPlace> segment_blocks(const SegmentMap& map, const BlockPlace& header)
{
    std::vector<BlockPlace> blocks;
    for (const ExtentRange& extent : map.extents) {
        for (std::uint32_t i = 0; i < extent.length; ++i) {
            const BlockPlace place{extent.first.file, extent.first.block + i};
            if (!(place == header)) blocks.push_back(place);
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
    Block block;
    for (std::int32_t number = 0; file.read(number, block, Access::Sequential) == ReadStatus::Ok; ++number) {
        const BlockView& view = block.view;
        if (view.u8(kBlockTypeAt) != kBlockTypeData || view.u8(kLayerTypeAt) != kLayerData) continue;
        const auto wanted = found.find(view.u32(kObjectIdAt));
        if (wanted != found.end()) wanted->second.push_back({file_number, static_cast<std::uint32_t>(number)});
    }
    return found;
}

}  // namespace dictionary
