#include "unload/secure_file_blocks.h"

#include <algorithm>

namespace unload {

SecureFileBlocks::Place SecureFileBlocks::place_of(std::uint64_t index)
{
    // The last extent starting at or before it.
    const auto after = std::upper_bound(starts_.begin(), starts_.end(), index);
    if (after == starts_.begin()) return {};
    const auto e = static_cast<std::size_t>(after - starts_.begin() - 1);
    const std::uint64_t within = index - starts_[e];
    if (within >= extents_[e].blocks) return {};
    Place place;
    place.file = file_of_lob_address(files_, extents_[e].address, head_, place.block);
    if (place.file == nullptr || place.block < 0 ||
        std::uint64_t{static_cast<std::uint32_t>(place.block)} + within > INT32_MAX)
        return {};
    place.block += static_cast<std::int32_t>(within);
    return place;
}

std::optional<ByteView> SecureFileBlocks::read(const Place& place)
{
    if (place.file == nullptr || place.file->read(place.block, block_, Access::Random) != ReadStatus::Ok)
        return std::nullopt;
    return read_secure_block(block_.view, lob_id_, data_object_);
}

LobFound SecureFileBlocks::find(const LobLocator& locator, const PieceAt& head, std::uint32_t data_object)
{
    LobFound found;
    extents_.clear();
    held_.clear();
    next_found_ = 0;
    next_block_ = 0;
    head_ = head;
    lob_id_ = locator.lob_id;
    data_object_ = data_object;
    found.status = LobFound::Status::NoLayout;
    found.length = locator.secure_length;
    std::optional<std::vector<SecureExtent>> extents = secure_file_extents(locator);
    if (!extents || extents->empty()) return found;
    extents_ = std::move(*extents);
    starts_.clear();
    std::uint64_t listed = 0;
    for (const SecureExtent& extent : extents_) {
        starts_.push_back(listed);
        listed += extent.blocks;
    }
    // The block size is the first block's file's.
    const Place first = place_of(0);
    const std::uint32_t bytes =
        first.file != nullptr ? secure_block_bytes(first.file->geometry().block_size) : 0;
    if (bytes == 0) return found;
    const std::uint64_t needed = (locator.secure_length + bytes - 1) / bytes;
    found.expected = needed;
    // A list too short for the length is not the layout read.
    if (needed > listed) return found;
    last_bytes_ = locator.secure_length - (needed - 1) * bytes;
    held_.resize(static_cast<std::size_t>(needed));
    for (std::uint64_t i = 0; i < needed; ++i)
        if (read(place_of(i))) {
            held_[static_cast<std::size_t>(i)] = true;
            ++found.found;
        }
    if (found.found == 0) return found;
    found.status = LobFound::Status::Read;
    return found;
}

ByteView SecureFileBlocks::page(std::size_t index)
{
    if (index < next_found_) {
        next_found_ = 0;
        next_block_ = 0;
    }
    for (; next_block_ < held_.size(); ++next_block_) {
        if (!held_[static_cast<std::size_t>(next_block_)]) continue;
        if (next_found_++ < index) continue;
        const std::uint64_t block = next_block_++;
        const std::optional<ByteView> data = read(place_of(block));
        if (!data) return {};
        return block + 1 == held_.size() ? data->sub(0, static_cast<std::size_t>(last_bytes_)) : *data;
    }
    return {};
}

}  // namespace unload
