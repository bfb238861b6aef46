// The locators a row holds for LOB columns, written as the reader expects
// them: a BasicFile or SecureFile value held in the row, and a BasicFile
// locator whose value lies in its LOB segment's pages. A CLOB of a
// varying-width database stores its text as nchar_value() writes it.
#pragma once

#include <array>
#include <cstdint>

#include "datafile_builder.h"

namespace datafile {

using LobId = std::array<std::uint8_t, 10>;

// A LobId whose last bytes are `n`.
LobId lob_id(std::uint32_t n);
Bytes basic_inline_locator(const LobId& id, const Bytes& data);
Bytes secure_inline_locator(const LobId& id, const Bytes& data);
// `pages` blocks of the LOB segment, the last holding `last_bytes`.
Bytes basic_out_of_line_locator(const LobId& id, std::uint32_t pages, std::uint16_t last_bytes,
                                const std::vector<std::uint32_t>& addresses);

}  // namespace datafile
