// The checks --verify makes of each block.
#include "read/block_checks.h"

#include <algorithm>
#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "format/block_format.h"
#include "format/block_headers.h"
#include "format/rowid.h"

using namespace block_format;

namespace {

struct Scan {
    std::uint16_t word_xor;  // of the 16-bit little-endian words
    bool all_zeros;
};

// The XOR and the OR of the block's 64-bit words from `i` on, as far as
// whole steps go; `i` is left after the last of them. Every x86-64
// processor has SSE2: four vectors of sixteen bytes a step; elsewhere four
// independent words, which the compiler may vectorise.
#if defined(__SSE2__)
void scan_stretches(const std::uint8_t* p, std::size_t size, std::size_t& i, std::uint64_t& x, std::uint64_t& any)
{
    __m128i xs[4] = {}, anys[4] = {};
    for (; i + 64 <= size; i += 64) {
        for (int lane = 0; lane < 4; ++lane) {
            const __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 16 * lane));
            xs[lane] = _mm_xor_si128(xs[lane], w);
            anys[lane] = _mm_or_si128(anys[lane], w);
        }
    }
    const __m128i xv = _mm_xor_si128(_mm_xor_si128(xs[0], xs[1]), _mm_xor_si128(xs[2], xs[3]));
    const __m128i av = _mm_or_si128(_mm_or_si128(anys[0], anys[1]), _mm_or_si128(anys[2], anys[3]));
    std::uint64_t words[4];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(words), xv);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(words + 2), av);
    x ^= words[0] ^ words[1];
    any |= words[2] | words[3];
}
#else
void scan_stretches(const std::uint8_t* p, std::size_t size, std::size_t& i, std::uint64_t& x, std::uint64_t& any)
{
    std::uint64_t xs[4] = {}, anys[4] = {};
    for (; i + 32 <= size; i += 32) {
        std::uint64_t w[4];
        std::memcpy(w, p + i, 32);
        for (int lane = 0; lane < 4; ++lane) {
            xs[lane] ^= w[lane];
            anys[lane] |= w[lane];
        }
    }
    x ^= xs[0] ^ xs[1] ^ xs[2] ^ xs[3];
    any |= anys[0] | anys[1] | anys[2] | anys[3];
}
#endif

// One pass over the block: the XOR of its words and whether any byte is set.
Scan scan(const ByteView& block)
{
    const std::uint8_t* p = block.data();
    const std::size_t size = block.size();
    std::uint64_t x = 0, any = 0;
    std::size_t i = 0;
    scan_stretches(p, size, i, x, any);
    for (; i + 8 <= size; i += 8) {
        std::uint64_t w;
        std::memcpy(&w, p + i, 8);
        x ^= w;
        any |= w;
    }
    std::uint64_t tail = 0;  // a block size not a multiple of 8: the last bytes, zero-padded
    for (std::size_t k = 0; i + k < size; ++k) tail |= std::uint64_t{p[i + k]} << (8 * k);
    x ^= tail;
    any |= tail;
    // Fold the four 16-bit lanes into one word; on a big-endian machine
    // each lane holds a word's bytes the other way round.
    x ^= x >> 32;
    x ^= x >> 16;
    auto word = static_cast<std::uint16_t>(x);
    if constexpr (std::endian::native == std::endian::big) word = static_cast<std::uint16_t>(word << 8 | word >> 8);
    return {word, any == 0};
}

// The data header at `offset` is a compressed block's.
bool compressed_header_at(const BlockView& block, std::uint32_t offset)
{
    return is_compressed_data_header(block.u8(offset + kDataHeaderFlagsAt), block.u8(offset + kTableCountAt));
}

bool has_columnar_magic(const ByteView& bytes)
{
    for (std::size_t at = 0; at + 4 <= bytes.size(); ++at)
        if (bytes.u32be(at) == kColumnarMagic || bytes.u32le(at) == kColumnarMagic) return true;
    return false;
}

// The first row of the block is a hybrid columnar compression unit's head:
// H F N, its NRID, then a first column that starts with the unit's header.
bool columnar_unit_head(const BlockView& block, const DataHeader& h)
{
    if (h.row_count == 0) return false;
    const std::uint16_t entry = block.u16(h.row_directory);
    const std::uint32_t piece = entry + h.offset;
    if (entry == kEmptySlot || piece >= block.size() || block.u8(piece + kPieceFlagsAt) != kColumnarUnitFlags)
        return false;
    const std::uint32_t prefix_at = piece + kPieceColumnCountAt + 1 + kRowidSize;
    const std::uint8_t prefix = block.u8(prefix_at);
    if (prefix == kNullPrefix) return false;
    const bool long_form = prefix == kLongPrefix;
    const std::uint32_t length = long_form ? block.u16(prefix_at + 1) : prefix;
    const std::uint32_t value_at = prefix_at + (long_form ? kLongPrefixSize : 1);
    return has_columnar_magic(block.bytes.sub(value_at, std::min(length, kColumnarMagicWithin)));
}

// The checksum (when the block keeps one) and the tail are sound.
bool sealed(const BlockView& block, const BlockHeader& header, const Scan& s)
{
    const std::uint16_t word_xor =
        block.order == ByteOrder::Little ? s.word_xor : static_cast<std::uint16_t>(s.word_xor << 8 | s.word_xor >> 8);
    return (header.flags & kFlagHasChecksum) != 0 && word_xor == 0 && tail_consistent(block.bytes, block.order);
}

template <class Sealed>
BlockContent content_of(const BlockView& block, const BlockHeader& header, Sealed is_sealed)
{
    if (header.block_type != kBlockTypeData) return BlockContent::Rows;
    if (header.layer_type == kLayerIndex) return BlockContent::Rows;
    if (header.layer_type != kLayerData) return is_sealed() ? BlockContent::ProbablyEncrypted : BlockContent::Rows;
    const DataHeader h = locate_data_header(block, header.itl_count);
    // A compressed block's longer header is never consistent as an
    // ordinary one: both its places are looked at then.
    const bool consistent = is_consistent_data_header(block, h);
    if (compressed_header_at(block, h.offset)) return BlockContent::Compressed;
    if (!consistent && compressed_header_at(block, data_header_offset(header.itl_count, !h.extended)))
        return BlockContent::Compressed;
    if (consistent && columnar_unit_head(block, h)) return BlockContent::ColumnarUnit;
    return BlockContent::Rows;
}

void check_data_layer(const BlockView& block, std::uint32_t block_size, BlockChecks& c)
{
    c.data_layer_checked = true;
    const DataHeader h = locate_data_header(block, c.header.itl_count);
    c.data_header_ok = is_consistent_data_header(block, h);
    if (!c.data_header_ok) return;
    for (std::uint32_t i = 0; i < h.row_count; ++i) {
        const std::uint32_t entry_at = h.row_directory + kRowEntrySize * i;
        const bool outside = entry_at + kRowEntrySize > block_size || [&] {
            const std::uint16_t entry = block.u16(entry_at);
            return entry != kEmptySlot && entry + h.offset >= block_size;
        }();
        if (!outside) continue;
        if (c.entries_outside == 0) c.first_outside_slot = i;
        ++c.entries_outside;
    }
}

}  // namespace

BlockChecks check_block(const BlockView& block, std::int32_t number, std::uint32_t block_size)
{
    BlockChecks c;
    c.number = number;
    const Scan s = scan(block.bytes);
    if (s.all_zeros) {
        c.state = CheckedAs::NeverUsed;
        return c;
    }
    if (number == 0) {
        c.state = CheckedAs::FileHeader;
        return c;
    }
    c.header = decode_block_header(block);

    c.has_checksum = (c.header.flags & kFlagHasChecksum) != 0;
    if (c.has_checksum) {
        const std::uint16_t word_xor = block.order == ByteOrder::Little
                                           ? s.word_xor
                                           : static_cast<std::uint16_t>(s.word_xor << 8 | s.word_xor >> 8);
        c.checksum_ok = word_xor == 0;
        c.stored_checksum = c.header.checksum;
        c.expected_checksum = static_cast<std::uint16_t>(c.header.checksum ^ word_xor);
    }

    c.tail = block.u32(block.size() - kTailSize);
    c.expected_tail = tail_value(c.header.scn_base, c.header.block_type, c.header.sequence);
    c.tail_ok = c.tail == c.expected_tail;

    c.format_size = format_block_size(c.header.format);
    c.format_ok = c.format_size == 0 || c.format_size == block_size;

    c.address_file = address_file(c.header.address);
    c.address_block = address_block(c.header.address);
    c.address_ok = c.address_block == (static_cast<std::uint32_t>(number) & kAddressBlockMask);

    c.content = content_of(block, c.header, [&] { return sealed(block, c.header, s); });
    if (c.header.block_type == kBlockTypeData && c.header.layer_type == kLayerData && c.content == BlockContent::Rows)
        check_data_layer(block, block_size, c);
    return c;
}

BlockContent block_content(const BlockView& block)
{
    const BlockHeader header = decode_block_header(block);
    return content_of(block, header, [&] { return sealed(block, header, scan(block.bytes)); });
}

std::string_view content_description(BlockContent content)
{
    switch (content) {
    case BlockContent::Rows: return "";
    case BlockContent::Compressed: return "compressed (BASIC or OLTP)";
    case BlockContent::ColumnarUnit: return "a hybrid columnar compression unit";
    case BlockContent::ProbablyEncrypted: return "probably of an encrypted tablespace";
    }
    return "";
}

std::string_view content_name(BlockContent content)
{
    switch (content) {
    case BlockContent::Rows: return "rows";
    case BlockContent::Compressed: return "compressed";
    case BlockContent::ColumnarUnit: return "columnar unit";
    case BlockContent::ProbablyEncrypted: return "probably encrypted";
    }
    return "rows";
}

void VerifyTally::count(const BlockChecks& c)
{
    ++blocks;
    if (c.state == CheckedAs::NeverUsed) ++never_used;
    if (c.state == CheckedAs::FileHeader) ++file_headers;
    if (c.state != CheckedAs::Checked) return;
    checksum_mismatches += !c.checksum_ok;
    fractured += !c.tail_ok;
    wrong_size += !c.format_ok;
    misplaced += !c.address_ok;
    damaged_data_layers += !c.data_layer_ok();
    compressed += c.content == BlockContent::Compressed;
    columnar_units += c.content == BlockContent::ColumnarUnit;
    encrypted += c.content == BlockContent::ProbablyEncrypted;
    if (!scn_seen || c.header.scn() > highest_scn) {
        scn_seen = true;
        highest_scn = c.header.scn();
        highest_scn_block = c.number;
    }
}

bool MisplacedRuns::follow(const BlockChecks& c, MisplacedRun& ended)
{
    const bool misplaced = c.state == CheckedAs::Checked && !c.address_ok;
    const std::int64_t shift =
        static_cast<std::int64_t>(c.address_block) - (static_cast<std::uint32_t>(c.number) & kAddressBlockMask);
    if (misplaced && open_ && c.number == run_.last + 1 && shift == run_.shift) {
        run_.last = c.number;
        return false;
    }
    const bool had_run = finish(ended);
    if (misplaced) {
        run_ = {c.number, c.number, shift, c.address_file, c.address_block};
        open_ = true;
    }
    return had_run;
}

bool MisplacedRuns::finish(MisplacedRun& ended)
{
    if (!open_) return false;
    open_ = false;
    ended = run_;
    return true;
}
