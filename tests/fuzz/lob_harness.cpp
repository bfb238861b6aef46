// LOB values stored apart from their rows, from bytes a fuzzer chose: a
// locator, then the blocks of a data file whose pages it names, and, when
// the first byte says so, which are read as LOB index leaves too. Whatever
// they hold, the pages found are at most those the locator counts (and,
// without an index, lists), each no longer than a page; the index maps
// only pages past the locator's list, one block a page, in page order;
// the text converts to UTF-8 within the room promised for it, and what
// converts is valid UTF-8.
#include <algorithm>
#include <memory>

#include "file_structures.h"
#include "fuzz_harness.h"
#include "lob_locators.h"
#include "unload/lob_pages.h"
#include "unload/secure_file_blocks.h"
#include "values/charsets.h"
#include "values/lob_text.h"

namespace fuzz {

namespace {

// The first byte: the byte order, whether text is little-endian or in a
// single-byte set, whether the blocks are read as LOB index leaves too,
// and (bits 4 and 5) the chunk less one; then the locator's length and the
// locator.
constexpr std::uint8_t kBigEndian = 1, kLittleText = 2, kSingleByte = 4, kIndexed = 8;
constexpr unsigned kChunkShift = 4;
constexpr std::uint32_t kBlockSize = 2048;
constexpr std::uint16_t kFile = 4;
constexpr std::size_t kMostBlocks = 24;

// The file: block 0 an operating system header, block 1 a data file
// header of relative file kFile, then the blocks given.
std::unique_ptr<DataFile> lob_file(const std::uint8_t* blocks, std::size_t size, ByteOrder order)
{
    const std::size_t count = std::min(kMostBlocks, (size + kBlockSize - 1) / kBlockSize);
    datafile::FileHeader header;
    header.relative_file = header.absolute_file = kFile;
    header.block_count = static_cast<std::uint32_t>(count + 1);
    header.tablespace_name = "USERS";
    Bytes bytes = datafile::os_header_block(kBlockSize, header.block_count, order);
    const Bytes head = datafile::file_header_block(header, kBlockSize, order);
    bytes.insert(bytes.end(), head.begin(), head.end());
    const std::size_t taken = std::min(size, count * kBlockSize);
    bytes.insert(bytes.end(), blocks, blocks + taken);
    bytes.resize(2 * kBlockSize + count * kBlockSize, 0);
    std::unique_ptr<DataFile> file = DataFile::from_bytes(std::move(bytes), "lobs.dbf");
    file->set_geometry({kBlockSize, order});
    return file;
}

// What an index gave: pages past the locator's list, one a page, in order.
std::string check_index_map(const unload::LobPageMap& map, const std::array<std::uint8_t, 10>& lob_id)
{
    unload::LobPageMap::Cursor cursor = map.pages_of(lob_id);
    std::optional<std::uint32_t> last;
    while (const std::optional<unload::LobPageMap::Mapped> m = cursor.next()) {
        if (m->page < kMostLocatorAddresses) return "the index mapped a page the locator lists";
        if (last && m->page <= *last) return "the index mapped pages out of order or twice";
        last = m->page;
    }
    return "";
}

}  // namespace

std::string run_lobs_input(const std::uint8_t* data, std::size_t size)
{
    if (size < 2) return "";
    const std::uint8_t flags = data[0];
    const std::size_t locator_size = std::min<std::size_t>(data[1], size - 2);
    const ByteView locator_bytes(data + 2, locator_size);
    const ByteOrder order = flags & kBigEndian ? ByteOrder::Big : ByteOrder::Little;
    DataFileSet files;
    files.add(lob_file(data + 2 + locator_size, size - 2 - locator_size, order));
    std::string message;
    static const std::shared_ptr<const Charset> latin = make_charset("WE8MSWIN1252", message);

    const LobLocator locator = read_lob_locator(locator_bytes);
    PieceAt head;
    head.file = kFile;
    LobTextDecoder decoder(flags & kSingleByte ? latin.get() : nullptr, (flags & kLittleText) != 0);
    // Every piece no longer than `most`, converted within its room to UTF-8.
    const auto check_pieces = [&](std::size_t count, const auto& piece, std::size_t most) -> std::string {
        std::string text;
        for (std::size_t i = 0; i < count; ++i) {
            const ByteView page = piece(i);
            if (page.size() > most) return "a page longer than a page";
            text.assign(LobTextDecoder::kRoomPerByte * page.size() + LobTextDecoder::kRoomExtra + 64, '\xA5');
            char* end = decoder.convert(page, text.data());
            if (end == nullptr) break;
            const auto length = static_cast<std::size_t>(end - text.data());
            if (length > text.size() - 64 || text[text.size() - 64] != '\xA5') return "text written past its room";
            if (!is_utf8(text.data(), length)) return "converted text that is not UTF-8";
        }
        return "";
    };
    if (locator.form == LobForm::SecureOutOfLine) {
        unload::SecureFileBlocks blocks(files);
        const unload::LobFound found = blocks.find(locator, head, 0);
        if (found.found > found.expected) return "more SecureFile blocks found than its length needs";
        if (found.status == unload::LobFound::Status::Read && found.found == 0) return "read with no block found";
        return check_pieces(found.found, [&](std::size_t i) { return blocks.page(i); }, secure_block_bytes(kBlockSize));
    }
    if (locator.form != LobForm::BasicOutOfLine) return "";
    if (locator.address_count() > kMostLocatorAddresses) return "the locator lists more addresses than it holds";
    unload::LobPageMap map;  // without an index, nothing past the locator's list
    schema::LobStorage storage;
    storage.chunk = 1 + ((flags >> kChunkShift) & 3);
    if (flags & kIndexed) {
        DataFile& file = files[0];
        map.map_index_blocks(files, file, 2, static_cast<std::int32_t>(file.block_end()), storage, "");
        if (const std::string wrong = check_index_map(map, locator.lob_id); !wrong.empty()) return wrong;
    }
    unload::LobPages pages(files, map);
    const unload::LobFound found = pages.find(locator, &storage, head);
    const std::uint64_t most = flags & kIndexed ? found.expected : std::min<std::uint64_t>(found.expected, locator.address_count());
    if (found.found > most) return "more pages found than the locator counts and lists";
    return check_pieces(found.found, [&](std::size_t i) { return pages.page(i); }, lob_page_bytes(kBlockSize));
}

std::vector<Seed> lobs_seeds()
{
    std::vector<Seed> seeds;
    const datafile::LobId id = datafile::lob_id(5);
    const std::uint32_t page_bytes = lob_page_bytes(kBlockSize);
    for (const std::uint8_t flags : {std::uint8_t{0}, std::uint8_t{kBigEndian | kLittleText}, std::uint8_t{kSingleByte}}) {
        const ByteOrder order = flags & kBigEndian ? ByteOrder::Big : ByteOrder::Little;
        // Three pages in blocks 2 to 4, text with a pair split between the first two.
        Bytes text = datafile::nchar_value(std::string((page_bytes - 2) / 2, 'a') + "\xF0\x9F\x98\x80" +
                                           std::string(page_bytes, 'b'));
        if (flags & kLittleText)
            for (std::size_t i = 0; i + 1 < text.size(); i += 2) std::swap(text[i], text[i + 1]);
        std::vector<std::uint32_t> addresses;
        Bytes blocks;
        const std::uint32_t pages = static_cast<std::uint32_t>((text.size() + page_bytes - 1) / page_bytes);
        for (std::uint32_t p = 0; p < pages; ++p) {
            const auto from = text.begin() + static_cast<std::ptrdiff_t>(p * page_bytes);
            const Bytes part(from, text.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(text.size(), (p + 1) * page_bytes)));
            const Bytes block = datafile::lob_data_block(id, 0, p, part, kFile, 2 + p, kBlockSize, order);
            blocks.insert(blocks.end(), block.begin(), block.end());
            addresses.push_back(datafile::block_address(kFile, 2 + p));
        }
        const auto last = static_cast<std::uint16_t>(text.size() - (pages - 1) * page_bytes);
        const Bytes locator = datafile::basic_out_of_line_locator(id, pages, last, addresses);
        Bytes input{flags, static_cast<std::uint8_t>(locator.size())};
        input.insert(input.end(), locator.begin(), locator.end());
        input.insert(input.end(), blocks.begin(), blocks.end());
        seeds.push_back({"pages-" + std::to_string(flags), input});
    }
    // Fourteen pages in blocks 2 to 15, the last two named by a LOB index
    // leaf at block 16, in both byte orders.
    for (const std::uint8_t flags : {std::uint8_t{kIndexed}, std::uint8_t{kIndexed | kBigEndian}}) {
        const ByteOrder order = flags & kBigEndian ? ByteOrder::Big : ByteOrder::Little;
        const std::uint32_t pages = kMostLocatorAddresses + 2;
        std::vector<std::uint32_t> addresses;
        Bytes blocks;
        for (std::uint32_t p = 0; p < pages; ++p) {
            const Bytes part(p + 1 == pages ? 10 : page_bytes, static_cast<std::uint8_t>('a' + p));
            const Bytes block = datafile::lob_data_block(id, 0, p, part, kFile, 2 + p, kBlockSize, order);
            blocks.insert(blocks.end(), block.begin(), block.end());
            if (addresses.size() < kMostLocatorAddresses) addresses.push_back(datafile::block_address(kFile, 2 + p));
        }
        const std::vector<datafile::LobIndexEntryDef> entries{
            {id, kMostLocatorAddresses, {datafile::block_address(kFile, 14), datafile::block_address(kFile, 15)}}};
        const Bytes leaf = datafile::lob_index_leaf(entries, 0, kFile, 2 + pages, 0, 0, kBlockSize, order);
        blocks.insert(blocks.end(), leaf.begin(), leaf.end());
        const Bytes locator = datafile::basic_out_of_line_locator(id, pages, 10, addresses);
        Bytes input{flags, static_cast<std::uint8_t>(locator.size())};
        input.insert(input.end(), locator.begin(), locator.end());
        input.insert(input.end(), blocks.begin(), blocks.end());
        seeds.push_back({"indexed-" + std::to_string(flags), input});
    }
    // A SecureFile of three blocks in two extents, a pair split between the first two.
    const std::uint32_t room = secure_block_bytes(kBlockSize);
    const Bytes text = datafile::nchar_value(std::string((room - 2) / 2, 'a') + "\xF0\x9F\x98\x80" + std::string(room, 'b'));
    Bytes blocks;
    for (std::uint32_t b = 0; b * room < text.size(); ++b) {
        const auto from = text.begin() + static_cast<std::ptrdiff_t>(b * room);
        const Bytes part(from, text.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(text.size(), (b + 1) * room)));
        const Bytes block = datafile::secure_data_block(id, 0, part, kFile, 2 + b, kBlockSize, ByteOrder::Little);
        blocks.insert(blocks.end(), block.begin(), block.end());
    }
    const Bytes locator = datafile::secure_extents_locator(
        id, static_cast<std::uint32_t>(text.size()),
        {{datafile::block_address(kFile, 2), 1, false}, {datafile::block_address(kFile, 3), 2, true}}, true);
    Bytes input{0, static_cast<std::uint8_t>(locator.size())};
    input.insert(input.end(), locator.begin(), locator.end());
    input.insert(input.end(), blocks.begin(), blocks.end());
    seeds.push_back({"securefile", input});
    return seeds;
}

}  // namespace fuzz
