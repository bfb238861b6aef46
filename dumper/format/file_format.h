// The layout of the blocks around the data: block 0 (the operating
// system's header of the file), block 1 (the data file header) and segment
// headers. Offsets are bytes from the start of the block; multi-byte fields
// are in the file's byte order. Later versions may move the fields past
// offset 100 of the data file header: readers check what they read.
#pragma once

#include <cstdint>

namespace file_format {

// Block 0: not a database block. Byte 1 is the format byte of the block size.
constexpr std::uint32_t kOsBlockSizeAt = 20;   // 4 bytes
constexpr std::uint32_t kOsBlockCountAt = 24;  // 4 bytes
constexpr std::uint32_t kOsMagicAt = 28;       // 4 bytes: 7D 7C 7B 7A little-endian, 7A 7B 7C 7D big-endian
constexpr std::uint32_t kOsMagic = 0x7A7B7C7D;  // read in the file's byte order

// Block 1, the data file header (block type 0x0B).
constexpr std::uint32_t kDatabaseIdAt = 28;      // 4 bytes
constexpr std::uint32_t kDatabaseNameAt = 32;    // 8 bytes, blank padded
constexpr std::uint32_t kDatabaseNameSize = 8;
constexpr std::uint32_t kFileBlockCountAt = 44;  // 4 bytes
constexpr std::uint32_t kFileBlockSizeAt = 48;   // 4 bytes
constexpr std::uint32_t kAbsoluteFileAt = 52;    // 2 bytes
constexpr std::uint32_t kFileTypeAt = 54;        // 2 bytes: 3 for a data file
constexpr std::uint32_t kRootAddressAt = 96;     // 4 bytes: BOOTSTRAP$'s segment header, SYSTEM file only
constexpr std::uint32_t kCreationScnAt = 100;
constexpr std::uint32_t kTablespaceNumberAt = 332;      // 4 bytes
constexpr std::uint32_t kTablespaceNameLengthAt = 336;  // 2 bytes
constexpr std::uint32_t kTablespaceNameAt = 338;        // up to 30 bytes
constexpr std::uint32_t kTablespaceNameSize = 30;
constexpr std::uint32_t kRelativeFileAt = 368;   // 4 bytes
constexpr std::uint32_t kCheckpointScnAt = 484;
constexpr std::uint16_t kDataFileType = 3;

// Segment headers. A freelist segment's (type 0x10) extent map starts at
// 108, an automatically managed segment's (type 0x23, likely) at 280: one
// 8-byte entry per extent, the address of its first block and its length
// in blocks. The first extent begins with the header block itself.
constexpr std::uint8_t kBlockTypeSegmentHeader = 0x10;
constexpr std::uint8_t kBlockTypeAutoSegmentHeader = 0x23;
constexpr std::uint32_t kExtentCountAt = 36;        // 4 bytes
constexpr std::uint32_t kSegmentBlockCountAt = 40;  // 4 bytes
constexpr std::uint32_t kSegmentObjectAt = 100;     // 4 bytes (likely)
constexpr std::uint32_t kExtentMapAt = 108;
constexpr std::uint32_t kAutoExtentMapAt = 280;
constexpr std::uint32_t kExtentEntrySize = 8;

}  // namespace file_format
