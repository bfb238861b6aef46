#include "row_layout.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <string>

#include "format/block_format.h"
#include "format/file_format.h"

namespace datafile {

using namespace block_format;

namespace {

// An SCN for a freshly formatted block: its address keeps them apart.
constexpr std::uint32_t kFormatScnBase = 0x00200000;

// The pieces of a row of more than 255 columns that share a block are
// written last first, so the head comes after the pieces it names
// (assumed).
constexpr bool kWidePiecesWrittenLastFirst = true;

// A cluster key row names the key rows of the same key in other blocks as
// its previous and next; with none on one side it names itself there
// (assumed).
RowAddress cluster_key_neighbour(const std::vector<RowAddress>& occurrences, std::size_t index, int step)
{
    const auto neighbour = static_cast<std::ptrdiff_t>(index) + step;
    if (neighbour < 0 || neighbour >= static_cast<std::ptrdiff_t>(occurrences.size())) return occurrences[index];
    return occurrences[static_cast<std::size_t>(neighbour)];
}

Block unformatted_block()
{
    Block b;
    b.image = Bytes{};
    return b;
}

bool is_unformatted(const Block& b) { return b.image && b.image->empty(); }

// The bytes a value of `length` bytes takes in a piece with its length
// prefix.
std::uint32_t prefixed_size(std::size_t length)
{
    return static_cast<std::uint32_t>((length <= kMaxShortLength ? 1 : kLongPrefixSize) + length);
}

std::uint32_t column_size(const Value& value) { return value ? prefixed_size(value->size()) : 1; }

std::uint32_t columns_size(const std::vector<Value>& values)
{
    std::uint32_t size = 0;
    for (const Value& v : values) size += column_size(v);
    return size;
}

std::vector<Column> to_columns(const std::vector<Value>& values)
{
    std::vector<Column> columns;
    columns.reserve(values.size());
    for (const Value& v : values) columns.push_back(v ? Column::bytes(*v) : Column::null());
    return columns;
}

// The pieces a row is cut into: each one's values, and whether its first
// value continues from the previous piece (P) and its last one goes on in
// the next (N).
struct Part {
    std::vector<Value> values;
    bool continues_previous = false;
    bool continues_next = false;
};

bool before(const Cut& a, const Cut& b) { return a.column < b.column || (a.column == b.column && a.offset < b.offset); }

std::vector<Part> split(const std::vector<Value>& values, const std::vector<Cut>& cuts)
{
    std::vector<Cut> bounds{{0, 0}};
    for (const Cut& c : cuts) {
        if (!before(bounds.back(), c) || c.column >= values.size())
            throw std::invalid_argument("cuts must increase and lie inside the row");
        if (c.offset > 0 && (!values[c.column] || c.offset >= values[c.column]->size()))
            throw std::invalid_argument("a value is cut inside its bytes only");
        bounds.push_back(c);
    }
    bounds.push_back({values.size(), 0});
    std::vector<Part> parts;
    for (std::size_t k = 0; k + 1 < bounds.size(); ++k) {
        const Cut from = bounds[k], to = bounds[k + 1];
        Part part;
        part.continues_previous = from.offset > 0;
        part.continues_next = to.offset > 0;
        for (std::size_t c = from.column; c < to.column || (c == to.column && to.offset > 0); ++c) {
            const std::size_t begin = c == from.column ? from.offset : 0;
            const bool cut_here = c == to.column;
            if (!values[c]) {
                part.values.push_back(std::nullopt);
                continue;
            }
            const Bytes& v = *values[c];
            const std::size_t end = cut_here ? to.offset : v.size();
            part.values.push_back(Bytes(v.begin() + static_cast<std::ptrdiff_t>(begin),
                                        v.begin() + static_cast<std::ptrdiff_t>(end)));
        }
        if (part.values.size() > file_format::kMaxPieceColumns)
            throw std::invalid_argument("a piece holds at most 255 columns");
        parts.push_back(std::move(part));
    }
    return parts;
}

// The flags of piece `index` of `count` in a chain; the pieces of a
// migrated row's data (`has_head` false) carry no H: their head is a stub.
std::uint8_t chain_flags(const Part& part, std::size_t index, std::size_t count, bool has_head)
{
    std::uint8_t flags = 0;
    if (index == 0) flags |= static_cast<std::uint8_t>((has_head ? FLAG_H : 0) | FLAG_F);
    if (index + 1 == count) flags |= FLAG_L;
    if (part.continues_previous) flags |= FLAG_P;
    if (part.continues_next) flags |= FLAG_N;
    return flags;
}

// Moves `at` over the columns that fit in `room` bytes of a piece (at most
// 255), cutting the value that does not fit whole so that its first part
// fills the piece (with `whole_columns`, only when the piece would hold
// nothing else); returns the bytes used.
std::uint32_t fill_piece(const std::vector<Value>& values, Cut& at, std::uint32_t room, bool whole_columns)
{
    std::uint32_t used = 0;
    for (std::size_t count = 0; at.column < values.size() && count < file_format::kMaxPieceColumns; ++count) {
        const Value& v = values[at.column];
        const std::size_t left = v ? v->size() - at.offset : 0;
        const std::uint32_t whole = v ? prefixed_size(left) : 1;
        if (used + whole <= room) {
            used += whole;
            at = {at.column + 1, 0};
            continue;
        }
        if (whole_columns && used > 0) break;
        const std::uint32_t space = room - used;
        const std::uint32_t part = space <= 1 ? 0 : space - 1 <= kMaxShortLength ? space - 1 : space - kLongPrefixSize;
        if (v && part > 0 && part < left) {
            at.offset += part;
            used += prefixed_size(part);
        }
        break;
    }
    return used;
}

// The bytes the columns from `at` on take in a piece.
std::uint32_t rest_size(const std::vector<Value>& values, const Cut& at)
{
    std::uint32_t size = 0;
    for (std::size_t c = at.column; c < values.size(); ++c)
        size += c == at.column && at.offset > 0 ? prefixed_size(values[c]->size() - at.offset) : column_size(values[c]);
    return size;
}

// The least room the current block must have for an inserter to put a
// chained row's head or a migrated row's stub in it.
constexpr std::size_t kChainedHeadRoom = 32;

// The header bytes of piece headers that carry rowids.
constexpr std::uint32_t kPlainHeader = 3;
constexpr std::uint32_t kOneRowidHeader = kPlainHeader + kRowidSize;
constexpr std::uint32_t kTwoRowidHeader = kPlainHeader + 2 * kRowidSize;

}  // namespace

Bytes rowid_bytes(const RowAddress& at) { return rowid(at.file, at.block, at.slot); }

std::vector<Value> stored_values(const std::vector<Value>& values)
{
    std::size_t end = values.size();
    while (end > 0 && !values[end - 1]) --end;
    return {values.begin(), values.begin() + static_cast<std::ptrdiff_t>(end)};
}

std::string_view chain_field(Chain chain)
{
    switch (chain) {
    case Chain::Single: return "single";
    case Chain::Complete: return "complete";
    case Chain::MissingBlock:
    case Chain::MissingFile:
    case Chain::EmptySlot: return "missing piece";
    case Chain::Loop: return "loop";
    case Chain::Orphan: return "orphan";
    }
    return "";
}

// ---------------------------------------------------------------------------
// FileSet

FileSet::Entry& FileSet::entry(BlockAddress at)
{
    auto& blocks = files_[at.file];
    auto found = blocks.find(at.block);
    if (found == blocks.end()) found = blocks.emplace(at.block, Entry{unformatted_block(), 0, 0}).first;
    return found->second;
}

const FileSet::Entry& FileSet::existing(BlockAddress at) const
{
    const auto file = files_.find(at.file);
    if (file != files_.end()) {
        const auto found = file->second.find(at.block);
        if (found != file->second.end() && !found->second.block.image) return found->second;
    }
    throw std::invalid_argument("no data block at file " + std::to_string(at.file) + " block " +
                                std::to_string(at.block));
}

Block& FileSet::block(BlockAddress at) { return entry(at).block; }

const Block* FileSet::find(BlockAddress at) const
{
    const auto file = files_.find(at.file);
    if (file == files_.end()) return nullptr;
    const auto found = file->second.find(at.block);
    return found == file->second.end() ? nullptr : &found->second.block;
}

Block& FileSet::data_block(BlockAddress at, const BlockFormat& format, std::uint8_t table_count)
{
    Entry& e = entry(at);
    if (is_unformatted(e.block)) {
        e.block = Block();
        e.block.object_id = format.data_object;
        e.block.itl_slots = format.itl_slots;
        e.block.segment_space_extension = format.segment_space_extension;
        e.block.table_count = table_count;
        e.block.scn = kFormatScnBase + (static_cast<std::uint32_t>(at.file) << kAddressBlockBits | at.block);
        e.piece_bytes = 0;
        e.slots = 0;
    }
    if (e.block.image || e.block.object_id != format.data_object || e.block.table_count != table_count)
        throw std::invalid_argument("block " + std::to_string(at.block) + " of file " + std::to_string(at.file) +
                                    " holds something else");
    return e.block;
}

Block& FileSet::reformat(BlockAddress at, const BlockFormat& format)
{
    entry(at) = Entry{unformatted_block(), 0, 0};
    return data_block(at, format);
}

void FileSet::put_image(BlockAddress at, Bytes image)
{
    Entry& e = entry(at);
    e.block = Block();
    e.block.image = std::move(image);
    e.piece_bytes = 0;
    e.slots = 0;
}

std::uint16_t FileSet::slot_count(BlockAddress at) const { return existing(at).slots; }

std::uint32_t FileSet::free_space(BlockAddress at) const
{
    const Entry& e = existing(at);
    const std::uint32_t overhead = data_header_offset(e.block) + kDataHeaderSize +
                                   static_cast<std::uint32_t>(e.block.data_header_extension.size()) +
                                   kTableEntrySize * e.block.table_count +
                                   kRowEntrySize * slot_count(at) + e.piece_bytes + kTailSize;
    return overhead >= block_size_ ? 0 : block_size_ - overhead;
}

RowAddress FileSet::append_piece(BlockAddress at, RowPiece piece)
{
    const auto size = static_cast<std::uint32_t>(piece.encode(order_).size());
    if (size + kRowEntrySize > free_space(at)) throw std::length_error("the piece does not fit in its block");
    Entry& e = entry(at);
    piece.in_directory = true;
    e.block.rows.push_back(std::move(piece));
    e.piece_bytes += size;
    return {at.file, at.block, e.slots++};
}

RowAddress FileSet::append_empty_slot(BlockAddress at)
{
    if (kRowEntrySize > free_space(at)) throw std::length_error("no room for another slot");
    Entry& e = entry(at);
    e.block.empty_slots.push_back(e.slots);
    return {at.file, at.block, e.slots++};
}

void FileSet::append_stale_piece(BlockAddress at, RowPiece piece)
{
    const auto size = static_cast<std::uint32_t>(piece.encode(order_).size());
    if (size > free_space(at)) throw std::length_error("the piece does not fit in its block");
    Entry& e = entry(at);
    piece.in_directory = false;
    e.block.rows.push_back(std::move(piece));
    e.piece_bytes += size;
}

std::uint32_t FileSet::block_count(std::uint16_t relative_file) const
{
    const auto file = files_.find(relative_file);
    if (file == files_.end() || file->second.empty()) return 0;
    return file->second.rbegin()->first + 1;
}

File FileSet::file(std::uint16_t relative_file, std::uint32_t block_count) const
{
    File f;
    f.block_size = block_size_;
    f.byte_order = order_;
    f.relative_file = relative_file;
    const std::uint32_t count = std::max(block_count, this->block_count(relative_file));
    f.blocks.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        const Block* b = find({relative_file, i});
        f.blocks.push_back(b ? *b : unformatted_block());
    }
    return f;
}

void FileSet::write_sparse(const std::string& path, std::uint16_t relative_file, std::uint64_t block_count) const
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) throw std::runtime_error("cannot create " + path);
    const std::uint64_t blocks = std::max<std::uint64_t>(block_count, this->block_count(relative_file));
    bool ok = ::ftruncate(fd, static_cast<off_t>(blocks * block_size_)) == 0;
    const auto file = files_.find(relative_file);
    if (file != files_.end()) {
        for (const auto& [number, e] : file->second) {
            const Bytes bytes = build_block(e.block, block_size_, number, nullptr, order_, relative_file);
            const auto at = static_cast<off_t>(std::uint64_t{number} * block_size_);
            ok = ok && ::pwrite(fd, bytes.data(), bytes.size(), at) == static_cast<ssize_t>(bytes.size());
        }
    }
    ok = ::close(fd) == 0 && ok;
    if (!ok) throw std::runtime_error("cannot write " + path);
}

// ---------------------------------------------------------------------------
// RowWriter

struct RowWriter::PlannedPiece {
    BlockAddress at;
    std::uint8_t flags = 0;
    std::vector<Value> values;
    bool hrid_of_head = false;  // carries the rowid of piece 0 (a migrated row's stub)
    bool nrid_to_head = false;  // its NRID leads back to piece 0
    std::optional<RowAddress> nrid;  // an NRID to a place the chain does not write
};

bool RowWriter::fits(BlockAddress at, const LogicalRow& row, std::uint32_t keep_free)
{
    files_.data_block(at, format_);
    const std::vector<Value> values = stored_values(row.values);
    const std::size_t limit = file_format::kMaxPieceColumns;
    const auto pieces = static_cast<std::uint32_t>(values.empty() ? 1 : (values.size() + limit - 1) / limit);
    const std::uint32_t size = columns_size(values) + pieces * (kPlainHeader + kRowEntrySize) + (pieces - 1) * kRowidSize;
    return size + keep_free <= files_.free_space(at);
}

RowTruth RowWriter::write_chain(std::vector<PlannedPiece> pieces, const LogicalRow& row, bool last_first)
{
    // Every piece's slot is known before any is written, so that each can
    // name the next.
    std::vector<std::size_t> order(pieces.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = last_first ? order.size() - 1 - i : i;
    std::map<BlockAddress, std::uint16_t> next_slot;
    std::vector<RowAddress> slots(pieces.size());
    for (const std::size_t i : order) {
        const BlockAddress at = pieces[i].at;
        files_.data_block(at, format_);
        const auto it = next_slot.try_emplace(at, files_.slot_count(at)).first;
        slots[i] = {at.file, at.block, it->second++};
    }
    std::vector<RowPiece> built(pieces.size());
    std::map<BlockAddress, std::uint32_t> needed;  // bytes each block must have free
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        const PlannedPiece& planned = pieces[i];
        if (planned.values.size() > file_format::kMaxPieceColumns)
            throw std::invalid_argument("a piece holds at most 255 columns");
        RowPiece& piece = built[i] = head_piece(to_columns(planned.values));
        piece.flags = static_cast<std::uint8_t>(planned.flags | (row.deleted ? FLAG_D : 0));
        if (planned.hrid_of_head) piece.header = rowid_bytes(slots[0]);
        std::optional<RowAddress> nrid = planned.nrid;
        if (planned.nrid_to_head) nrid = slots[0];
        else if (!nrid && i + 1 < pieces.size()) nrid = slots[i + 1];
        if (nrid)
            for (const std::uint8_t byte : rowid_bytes(*nrid)) piece.header.push_back(byte);
        needed[planned.at] += static_cast<std::uint32_t>(piece.encode(files_.byte_order()).size()) + kRowEntrySize;
    }
    // All or nothing: a row that does not fit leaves its blocks as they were.
    for (const auto& [at, bytes] : needed)
        if (bytes > files_.free_space(at)) throw std::length_error("the row's pieces do not fit in their blocks");
    for (const std::size_t i : order)
        if (files_.append_piece(pieces[i].at, std::move(built[i])) != slots[i])
            throw std::logic_error("a piece landed in another slot than planned");
    RowTruth truth;
    truth.head = slots[0];
    truth.data_object = format_.data_object;
    for (const RowAddress& s : slots) truth.pieces.push_back({s.file, s.block, s.slot});
    truth.values = stored_values(row.values);
    truth.deleted = row.deleted;
    truth.chain = pieces.size() == 1 ? Chain::Single : Chain::Complete;
    return truth;
}

RowTruth RowWriter::ordinary(BlockAddress at, const LogicalRow& row)
{
    const std::vector<Value> values = stored_values(row.values);
    if (values.size() > file_format::kMaxPieceColumns)
        throw std::invalid_argument("a row of more than 255 stored columns is a wide row");
    return write_chain({{at, FLAG_H | FLAG_F | FLAG_L, values, false, false, std::nullopt}}, row, false);
}

std::vector<Cut> RowWriter::plan_cuts(std::vector<BlockAddress>& blocks, const BlockSource* more,
                                      const std::vector<Value>& values, bool stub_first)
{
    std::map<BlockAddress, std::uint32_t> planned;  // bytes already promised to pieces, by block
    if (stub_first) planned[blocks[0]] = kOneRowidHeader + kRowEntrySize;
    const std::size_t first_data = stub_first ? 1 : 0;
    std::vector<Cut> cuts;
    Cut at{0, 0};
    for (std::size_t k = first_data;; ++k) {
        if (k == blocks.size()) {
            if (!more) throw std::logic_error("a fixed chain's last block is planned");
            blocks.push_back((*more)());
        }
        files_.data_block(blocks[k], format_);
        if (!more && k + 1 == blocks.size()) break;  // the last piece takes the rest
        const std::uint32_t free = files_.free_space(blocks[k]);
        const std::uint32_t left = free > planned[blocks[k]] ? free - planned[blocks[k]] : 0;
        const bool first_piece = k == first_data;
        // With blocks to take as needed, the rest ends here when it fits
        // (a chained row's head is never its last piece).
        const std::uint32_t last_header = stub_first && first_piece ? kOneRowidHeader : kPlainHeader;
        if (more && (stub_first || !first_piece) && last_header + rest_size(values, at) + kRowEntrySize <= left)
            break;
        const std::uint32_t header = (stub_first && first_piece ? kTwoRowidHeader : kOneRowidHeader) + kRowEntrySize;
        // A migrated row's first piece ends between columns when it can: it
        // then carries F alone, with its HRID and NRID.
        const std::uint32_t used =
            fill_piece(values, at, left > header ? left - header : 0, stub_first && first_piece);
        if (used == 0) throw std::length_error("no room for a piece in a block of the chain");
        if (at.column >= values.size()) throw std::length_error("the row fits in fewer blocks than given");
        planned[blocks[k]] += header + used;
        cuts.push_back(at);
    }
    return cuts;
}

RowTruth RowWriter::chained(const std::vector<BlockAddress>& blocks, const LogicalRow& row, std::vector<Cut> cuts)
{
    const std::vector<Value> values = stored_values(row.values);
    if (blocks.size() < 2) throw std::invalid_argument("a chained row has two pieces or more");
    std::vector<BlockAddress> planned = blocks;
    if (cuts.empty()) cuts = plan_cuts(planned, nullptr, values, false);
    if (cuts.size() + 1 != blocks.size()) throw std::invalid_argument("one cut between each two blocks");
    const std::vector<Part> parts = split(values, cuts);
    std::vector<PlannedPiece> pieces;
    for (std::size_t i = 0; i < parts.size(); ++i)
        pieces.push_back({blocks[i], chain_flags(parts[i], i, parts.size(), true), parts[i].values, false, false,
                          std::nullopt});
    return write_chain(std::move(pieces), row, false);
}

RowTruth RowWriter::migrated(BlockAddress head, const std::vector<BlockAddress>& row_blocks, const LogicalRow& row,
                             std::vector<Cut> cuts)
{
    const std::vector<Value> values = stored_values(row.values);
    if (row_blocks.empty()) throw std::invalid_argument("a migrated row lies in one block or more");
    if (cuts.empty() && row_blocks.size() > 1) {
        std::vector<BlockAddress> all{head};
        all.insert(all.end(), row_blocks.begin(), row_blocks.end());
        cuts = plan_cuts(all, nullptr, values, true);
    }
    if (cuts.size() + 1 != row_blocks.size()) throw std::invalid_argument("one cut between each two blocks");
    const std::vector<Part> parts = split(values, cuts);
    std::vector<PlannedPiece> pieces{{head, FLAG_H, {}, false, false, std::nullopt}};
    for (std::size_t i = 0; i < parts.size(); ++i)
        pieces.push_back({row_blocks[i], chain_flags(parts[i], i, parts.size(), false), parts[i].values, i == 0,
                          false, std::nullopt});
    return write_chain(std::move(pieces), row, false);
}

RowTruth RowWriter::chained(BlockAddress head, const BlockSource& more, const LogicalRow& row)
{
    std::vector<BlockAddress> blocks{head};
    std::vector<Cut> cuts = plan_cuts(blocks, &more, stored_values(row.values), false);
    return chained(blocks, row, std::move(cuts));
}

RowTruth RowWriter::migrated(BlockAddress head, const BlockSource& more, const LogicalRow& row)
{
    std::vector<BlockAddress> blocks{head};
    std::vector<Cut> cuts = plan_cuts(blocks, &more, stored_values(row.values), true);
    return migrated(head, {blocks.begin() + 1, blocks.end()}, row, std::move(cuts));
}

RowTruth RowWriter::migrated_twice(BlockAddress head, BlockAddress earlier, BlockAddress now, const LogicalRow& row)
{
    files_.data_block(earlier, format_);
    files_.append_empty_slot(earlier);
    return migrated(head, {now}, row);
}

RowTruth RowWriter::wide(const std::vector<BlockAddress>& blocks, const LogicalRow& row)
{
    const std::vector<Value> values = stored_values(row.values);
    const std::size_t limit = file_format::kMaxPieceColumns;
    if (values.size() <= limit) throw std::invalid_argument("a wide row stores more than 255 columns");
    const std::size_t count = (values.size() + limit - 1) / limit;
    if (blocks.size() != 1 && blocks.size() != count)
        throw std::invalid_argument("a wide row's pieces share one block or have one each");
    // The last piece holds the last 255 columns, each one before it 255
    // more, the head what is left.
    std::vector<Cut> cuts;
    for (std::size_t k = count - 1; k >= 1; --k) cuts.push_back({values.size() - k * limit, 0});
    const std::vector<Part> parts = split(values, cuts);
    std::vector<PlannedPiece> pieces;
    for (std::size_t i = 0; i < parts.size(); ++i)
        pieces.push_back({blocks[blocks.size() == 1 ? 0 : i], chain_flags(parts[i], i, parts.size(), true),
                          parts[i].values, false, false, std::nullopt});
    return write_chain(std::move(pieces), row, kWidePiecesWrittenLastFirst);
}

RowTruth RowWriter::broken(BlockAddress head, BlockAddress next, Break how, const LogicalRow& row)
{
    const std::vector<Value> values = stored_values(row.values);
    std::vector<PlannedPiece> pieces;
    Chain chain = Chain::Loop;
    switch (how) {
    case Break::MissingBlock:
    case Break::MissingFile:
        if (how == Break::MissingBlock ? files_.find(next) != nullptr
                                       : files_.block_count(next.file) != 0)
            throw std::invalid_argument("the missing place is written");
        pieces.push_back({head, FLAG_H | FLAG_F, values, false, false, RowAddress{next.file, next.block, 0}});
        chain = how == Break::MissingBlock ? Chain::MissingBlock : Chain::MissingFile;
        break;
    case Break::EmptySlot:
        files_.data_block(next, format_);
        pieces.push_back({head, FLAG_H | FLAG_F, values, false, false, files_.append_empty_slot(next)});
        chain = Chain::EmptySlot;
        break;
    case Break::Loop: {
        const std::size_t half = (values.size() + 1) / 2;
        pieces.push_back({head, FLAG_H | FLAG_F, {values.begin(), values.begin() + static_cast<std::ptrdiff_t>(half)},
                          false, false, std::nullopt});
        pieces.push_back(
            {next, 0, {values.begin() + static_cast<std::ptrdiff_t>(half), values.end()}, false, true, std::nullopt});
        break;
    }
    }
    RowTruth truth = write_chain(std::move(pieces), row, false);
    truth.chain = chain;
    return truth;
}

RowTruth RowWriter::stale_copy(BlockAddress at, const LogicalRow& row)
{
    const std::vector<Value> values = stored_values(row.values);
    RowPiece piece = row.deleted ? deleted_piece(to_columns(values)) : head_piece(to_columns(values));
    files_.data_block(at, format_);
    files_.append_stale_piece(at, std::move(piece));
    RowTruth truth;
    truth.data_object = format_.data_object;
    truth.pieces = {{at.file, at.block, std::nullopt}};
    truth.values = values;
    truth.deleted = row.deleted;
    return truth;
}

RowTruth RowWriter::orphan_copy(BlockAddress at, const RowAddress& head, const LogicalRow& row)
{
    const std::vector<Value> values = stored_values(row.values);
    const auto flags = static_cast<std::uint8_t>(FLAG_F | FLAG_L | (row.deleted ? FLAG_D : 0));
    files_.data_block(at, format_);
    files_.append_stale_piece(at, piece_with_rowid(flags, rowid_bytes(head), to_columns(values)));
    RowTruth truth;
    truth.data_object = format_.data_object;
    truth.pieces = {{at.file, at.block, std::nullopt}};
    truth.values = values;
    truth.deleted = row.deleted;
    truth.chain = Chain::Orphan;
    return truth;
}

// ---------------------------------------------------------------------------
// Cluster blocks

std::vector<RowTruth> RowWriter::cluster(const BlockSource& next_block, std::uint8_t table_count,
                                         const std::vector<ClusterKey>& keys)
{
    // Which key rows and members go in which block, in the order given.
    struct KeyInBlock {
        std::size_t key = 0;
        std::vector<std::size_t> members;
    };
    struct Planned {
        BlockAddress at;
        std::vector<KeyInBlock> keys;
    };
    std::vector<Planned> blocks;
    std::uint32_t room = 0;
    auto open_block = [&] {
        const BlockAddress at = next_block();
        files_.data_block(at, format_, table_count);
        if (files_.slot_count(at) != 0) throw std::invalid_argument("cluster blocks are written whole");
        blocks.push_back({at, {}});
        room = files_.free_space(at);
    };
    auto key_row_size = [&](const ClusterKey& k) {
        return file_format::kClusterKeyHeaderSize + columns_size(stored_values(k.key)) + kRowEntrySize;
    };
    auto member_size = [&](const ClusterMember& m) {
        if (m.table == 0 || m.table >= table_count) throw std::invalid_argument("a member's table is 1 to k");
        return file_format::kClusterMemberHeaderSize + columns_size(stored_values(m.row.values)) + kRowEntrySize;
    };
    open_block();
    for (std::size_t k = 0; k < keys.size(); ++k) {
        const std::uint32_t key_size = key_row_size(keys[k]);
        const std::uint32_t first = keys[k].members.empty() ? 0 : member_size(keys[k].members[0]);
        if (key_size + first > room) open_block();
        if (key_size + first > room) throw std::length_error("a cluster key and a member do not fit in a block");
        blocks.back().keys.push_back({k, {}});
        room -= key_size;
        for (std::size_t m = 0; m < keys[k].members.size(); ++m) {
            const std::uint32_t size = member_size(keys[k].members[m]);
            if (size > room) {
                open_block();
                blocks.back().keys.push_back({k, {}});
                room -= key_size;
                if (size > room) throw std::length_error("a cluster member does not fit in a block");
            }
            blocks.back().keys.back().members.push_back(m);
            room -= size;
        }
    }

    // Slots: the key rows first (table 0), then each table's members.
    std::map<std::size_t, std::vector<RowAddress>> key_rows;  // every key row of each key, in block order
    for (const Planned& b : blocks)
        for (std::size_t j = 0; j < b.keys.size(); ++j)
            key_rows[b.keys[j].key].push_back({b.at.file, b.at.block, static_cast<std::uint16_t>(j)});
    std::map<std::size_t, std::size_t> key_row_index;  // how many of each key's rows are written
    std::vector<std::vector<RowTruth>> truths(keys.size());
    for (std::size_t k = 0; k < keys.size(); ++k) truths[k].resize(keys[k].members.size());
    for (const Planned& b : blocks) {
        std::vector<std::uint16_t> table_slots(table_count, 0);
        for (const KeyInBlock& kb : b.keys) {
            const ClusterKey& key = keys[kb.key];
            const std::vector<RowAddress>& rows = key_rows[kb.key];
            const std::size_t index = key_row_index[kb.key]++;
            const auto count = static_cast<std::uint16_t>(kb.members.size());
            files_.append_piece(b.at, cluster_key_piece(count, count,
                                                        rowid_bytes(cluster_key_neighbour(rows, index, -1)),
                                                        rowid_bytes(cluster_key_neighbour(rows, index, +1)),
                                                        to_columns(stored_values(key.key))));
            ++table_slots[0];
        }
        for (std::uint8_t table = 1; table < table_count; ++table) {
            for (std::size_t j = 0; j < b.keys.size(); ++j) {
                const ClusterKey& key = keys[b.keys[j].key];
                for (const std::size_t m : b.keys[j].members) {
                    const ClusterMember& member = key.members[m];
                    if (member.table != table) continue;
                    RowPiece piece = cluster_member_piece(to_columns(stored_values(member.row.values)));
                    if (member.row.deleted) piece.flags |= FLAG_D;
                    piece.header = {static_cast<std::uint8_t>(j)};
                    const RowAddress at = files_.append_piece(b.at, std::move(piece));
                    ++table_slots[table];
                    RowTruth& truth = truths[b.keys[j].key][m];
                    truth.head = at;
                    truth.data_object = format_.data_object;
                    truth.cluster_table = table;
                    truth.pieces = {{at.file, at.block, at.slot}};
                    std::vector<Value> whole = key.key;
                    whole.insert(whole.end(), member.row.values.begin(), member.row.values.end());
                    truth.values = stored_values(whole);
                    truth.deleted = member.row.deleted;
                }
            }
        }
        files_.block(b.at).table_slots = table_slots;
    }
    std::vector<RowTruth> all;
    for (auto& per_key : truths)
        for (RowTruth& t : per_key) all.push_back(std::move(t));
    return all;
}

// ---------------------------------------------------------------------------
// HeapInserter

BlockAddress HeapInserter::current()
{
    if (!current_) current_ = next_block_();
    return *current_;
}

BlockAddress HeapInserter::advance()
{
    current_ = next_block_();
    return *current_;
}

RowTruth HeapInserter::insert(const LogicalRow& row, RowShape shape)
{
    switch (shape) {
    case RowShape::Ordinary:
    case RowShape::StaleCopy: {
        BlockAddress at = current();
        if (!writer_.fits(at, row, keep_free_)) {
            at = advance();
            if (!writer_.fits(at, row)) throw std::length_error("a row does not fit in an empty block");
        }
        if (shape == RowShape::StaleCopy) return writer_.stale_copy(at, row);
        return stored_values(row.values).size() > file_format::kMaxPieceColumns ? writer_.wide({at}, row)
                                                                                : writer_.ordinary(at, row);
    }
    case RowShape::Chained:
    case RowShape::Migrated: {
        // The head needs room for its header and a little of the row.
        if (!writer_.fits(current(), LogicalRow{{Bytes(kChainedHeadRoom)}, false})) advance();
        return shape == RowShape::Chained ? writer_.chained(current(), next_block_, row)
                                          : writer_.migrated(current(), next_block_, row);
    }
    }
    throw std::invalid_argument("unknown row shape");
}

// ---------------------------------------------------------------------------
// The chained benchmark file

namespace {

// The benchmark's data object and how many blocks are built at a time.
constexpr std::uint32_t kChainedBenchObject = 74570;
constexpr std::uint32_t kChainedBenchChunk = 64;
// One row in this many is chained or migrated.
constexpr std::size_t kChainedBenchEvery = 100;

LogicalRow logical_row(const RowPiece& piece)
{
    LogicalRow row;
    for (const Column& c : piece.columns)
        row.values.push_back(c.prefix == Column::Prefix::Null ? Value() : Value(c.value));
    row.deleted = (piece.flags & FLAG_D) != 0;
    return row;
}

// Lays out the bench rows of blocks [first, end) of the file, each block's
// own rows in it; every hundredth row goes on in the next block, chained
// (its text cut in two) or migrated.
void lay_out_chained_chunk(FileSet& files, std::uint32_t first, std::uint32_t end, std::size_t& row_number)
{
    RowWriter writer(files, {kChainedBenchObject, 2, false});
    const std::uint32_t keep_free = files.block_size() / 10;
    for (std::uint32_t n = first; n < end; ++n) {
        const BlockAddress here{kDefaultRelativeFile, n};
        const BlockAddress next{kDefaultRelativeFile, n + 1};
        const bool has_next = n + 1 < end;
        for (const RowPiece& piece : bench_block(n, files.block_size()).rows) {
            const LogicalRow row = logical_row(piece);
            if (!writer.fits(here, row, keep_free)) break;
            ++row_number;
            if (!piece.in_directory) {
                writer.stale_copy(here, row);
            } else if (has_next && row_number % kChainedBenchEvery == 0 && !row.deleted) {
                const std::vector<Value> values = stored_values(row.values);
                const bool chain = (row_number / kChainedBenchEvery) % 2 == 0 && values.size() > 1;
                if (chain) {
                    const std::size_t last = values.size() - 1;
                    const std::size_t length = values[last] ? values[last]->size() : 0;
                    writer.chained({here, next}, row, {length > 1 ? Cut{last, length / 2} : Cut{last, 0}});
                } else {
                    writer.migrated(here, {next}, row);
                }
            } else {
                writer.ordinary(here, row);
            }
        }
    }
}

}  // namespace

void write_chained_bench_file(const std::string& path, std::uint64_t block_count, std::uint32_t block_size,
                              ByteOrder order)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) throw std::runtime_error("cannot create " + path);
    bool ok = true;
    std::size_t row_number = 0;
    for (std::uint64_t first = 0; first < block_count && ok; first += kChainedBenchChunk) {
        const auto begin = static_cast<std::uint32_t>(first);
        const auto end = static_cast<std::uint32_t>(std::min<std::uint64_t>(block_count, first + kChainedBenchChunk));
        FileSet files(block_size, order);
        if (begin == 0) files.block({kDefaultRelativeFile, 0}) = bench_block(0, block_size);
        lay_out_chained_chunk(files, std::max<std::uint32_t>(begin, 1), end, row_number);
        for (std::uint32_t n = begin; n < end && ok; ++n) {
            const Bytes b = build_block(files.block({kDefaultRelativeFile, n}), block_size, n, nullptr, order);
            ok = std::fwrite(b.data(), 1, b.size(), f) == b.size();
        }
    }
    ok = std::fclose(f) == 0 && ok;
    if (!ok) throw std::runtime_error("cannot write " + path);
}

}  // namespace datafile
