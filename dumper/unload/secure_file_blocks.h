// SecureFile values stored apart from their rows: the blocks the extent
// list of the locator names, read in order. Their layout is assumed
// (values/lob_locator.h keeps every such fact): a locator whose list does
// not fit it, or whose blocks none carries the value's LobId, is not read,
// so that no block of something else is ever written as the value.
#pragma once

#include <cstdint>
#include <vector>

#include "format/byte_view.h"
#include "read/data_file.h"
#include "rows/row_reader.h"
#include "unload/lob_pages.h"
#include "values/lob_locator.h"

namespace unload {

class SecureFileBlocks {
public:
    explicit SecureFileBlocks(DataFileSet& files) : files_(files) {}

    // Finds the blocks of an out-of-line SecureFile value whose row's head
    // is `head`, in the LOB segment of data object `data_object` (0 when
    // not known): Read with the blocks found (some perhaps missing), or
    // NoLayout when its list does not fit the layout or none of its blocks
    // holds it.
    LobFound find(const LobLocator& locator, const PieceAt& head, std::uint32_t data_object);
    // The data of the `index`th block found, the last cut to the value's
    // length; empty when it can no longer be read. Valid until the next call.
    ByteView page(std::size_t index);

private:
    // The block of the value's `index`th block as its extents list them.
    struct Place {
        DataFile* file = nullptr;
        std::int32_t block = 0;
    };
    Place place_of(std::uint64_t index);
    std::optional<ByteView> read(const Place& place);

    DataFileSet& files_;
    PieceAt head_;
    std::array<std::uint8_t, 10> lob_id_{};
    std::uint32_t data_object_ = 0;
    std::vector<SecureExtent> extents_;  // at most one every 6 bytes of a locator
    std::vector<std::uint64_t> starts_;  // the index of each extent's first block
    std::vector<bool> held_;             // of the blocks the length needs, those that hold the value
    std::uint64_t last_bytes_ = 0;       // the data of the last block
    // page(): the block that gives the next found one, to read in turn.
    std::size_t next_found_ = 0;
    std::uint64_t next_block_ = 0;
    Block block_;
};

}  // namespace unload
