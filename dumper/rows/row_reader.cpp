#include "rows/row_reader.h"

#include "format/block_format.h"
#include "format/file_format.h"

using namespace block_format;

namespace {

// A row has at most this many pieces; a chain that goes on is broken.
constexpr std::size_t kMaxRowPieces = 255;

}  // namespace

std::string_view chain_name(Chain chain)
{
    switch (chain) {
    case Chain::Single: return "single";
    case Chain::Complete: return "complete";
    case Chain::MissingPiece: return "missing piece";
    case Chain::Loop: return "loop";
    case Chain::TooLong: return "too long";
    case Chain::Orphan: return "orphan";
    }
    return "";
}

void read_row_part(const BlockView& block, std::uint32_t offset, RowPart& part)
{
    decode_piece_by_flag_bits(block, offset, 0, part.piece, part.columns.data());
}

bool piece_at_slot(const DecodedBlock& block, std::uint32_t slot, std::uint32_t& offset)
{
    if (block.outcome != BlockOutcome::Walked || slot >= block.data.row_count) return false;
    const BlockView& view = block.view();
    const std::uint32_t entry_at = block.data.row_directory + kRowEntrySize * slot;
    if (entry_at + kRowEntrySize > view.size()) return false;
    const std::uint16_t entry = view.u16(entry_at);
    if (entry == kEmptySlot) return false;
    offset = entry + block.data.offset;
    return offset < view.size();
}

std::optional<std::uint32_t> cluster_table_of(const DecodedBlock& block, std::uint32_t slot)
{
    if (block.data.table_count <= 1) return std::nullopt;
    const BlockView& view = block.view();
    for (std::uint32_t table = 0; table < block.data.table_count; ++table) {
        const std::uint32_t entry = block.data.table_directory + kTableEntrySize * table;
        const std::uint32_t first = view.u16(entry + file_format::kTableFirstSlotAt);
        const std::uint32_t count = view.u16(entry + kTableRowCountAt);
        if (slot >= first && slot < first + count) return table;
    }
    return std::nullopt;
}

bool starts_row(const RowPieceRecord& piece)
{
    return (piece.flags & kFlagH) != 0 && (piece.flags & kFlagK) == 0 && !piece.no_row;
}

bool RowReader::follow(const Block& holder, const Rowid& at, std::uint32_t object_id, DecodedBlock& block,
                       std::uint32_t& offset)
{
    DataFile* file = files_.file_of_address(holder, at.file);
    if (file == nullptr) return false;
    Block bytes;
    if (file->read(static_cast<std::int32_t>(at.block), bytes, Access::Random) != ReadStatus::Ok) return false;
    block = decode_block_headers(std::move(bytes));
    decode_data_layer(block, false);
    // A row's pieces all lie in blocks of its data object.
    if (block.outcome != BlockOutcome::Walked || block.header.object_id != object_id) return false;
    return piece_at_slot(block, at.slot, offset);
}

void RowReader::add_values(const DecodedBlock& block, const RowPieceRecord& piece, std::span<const ColumnRecord> columns,
                           Row& row, bool joins_previous)
{
    const BlockView view = block.view();
    for (std::uint32_t i = 0; i < columns.size(); ++i) {
        const ColumnValue value = ColumnValue::of(view, columns[i]);
        if (i == 0 && joins_previous && !row.values.empty() && !value.null) {
            // The value cut between the pieces: its two parts joined.
            ColumnValue& first = row.values.back();
            std::vector<std::uint8_t> whole(first.bytes.data(), first.bytes.data() + first.bytes.size());
            whole.insert(whole.end(), value.bytes.data(), value.bytes.data() + value.bytes.size());
            row.joined.push_back(std::move(whole));
            const std::vector<std::uint8_t>& joined = row.joined.back();
            first = {ByteView(joined.data(), joined.size()), static_cast<std::uint32_t>(joined.size()),
                     static_cast<std::uint16_t>(first.announced + value.announced), false};
            continue;
        }
        row.values.push_back(value);
    }
    if (!piece.complete) row.values_cut_short = true;
}

// A cluster member's row starts with the columns of the key row its key
// index names in table 0 of its block.
void RowReader::add_key_columns(const DecodedBlock& block, const RowPieceRecord& member, Row& row)
{
    const BlockView& view = block.view();
    const std::uint32_t first_key_slot = view.u16(block.data.table_directory + file_format::kTableFirstSlotAt);
    std::uint32_t offset = 0;
    if (piece_at_slot(block, first_key_slot + member.key_index, offset)) {
        read_row_part(view, offset, key_);
        if (key_.has(kFlagK)) {
            add_values(block, key_.piece, key_.found(), row, false);
            return;
        }
    }
    row.chain = Chain::MissingPiece;
}

namespace {

// A row that starts at `first` in `block`: its place, its block's facts,
// and nothing read yet but that block.
void start_row(const DecodedBlock& block, const RowPieceRecord& first, Row& row)
{
    row.head = {block.block.file, block.block.number, first.slot, block.block.source, block.block.layout};
    row.object_id = block.header.object_id;
    row.scn = block.header.scn();
    row.deleted = (first.flags & kFlagD) != 0;
    row.cluster_table = (first.flags & kFlagC) && first.slot >= 0
                            ? cluster_table_of(block, static_cast<std::uint32_t>(first.slot))
                            : std::nullopt;
    row.pieces.assign(1, row.head);
    row.values_cut_short = false;
    row.values.clear();
    row.joined.clear();
    row.blocks.assign(1, block.block);
}

}  // namespace

void RowReader::read(const DecodedBlock& block, const RowPieceRecord& head, std::span<const ColumnRecord> head_columns,
                     Row& row, bool with_values)
{
    start_row(block, head, row);
    row.chain = Chain::Single;
    if (!with_values) row.blocks.clear();

    const Rowid head_rowid = row.head.rowid();
    // A head without F is a migrated row's stub: the row lies where it points.
    bool after_stub = !(head.flags & kFlagF);
    if (with_values && !after_stub) {
        if (head.flags & kFlagC) add_key_columns(block, head, row);
        add_values(block, head, head_columns, row, false);
    }
    bool cut = head.flags & kFlagN;
    Chain chain = Chain::Single;
    DecodedBlock next;
    const RowPieceRecord* previous = &head;
    // The block that holds the previous piece, whose file's layout its NRID follows.
    Block holder = block.block;
    while (previous->has_nrid) {
        if (row.pieces.size() >= kMaxRowPieces) {
            chain = Chain::TooLong;
            break;
        }
        const Rowid at = read_rowid(previous->nrid, holder.layout);
        PieceAt piece{at.file, static_cast<std::int32_t>(at.block), static_cast<std::int32_t>(at.slot), 0, at.layout};
        std::uint32_t offset = 0;
        const bool found = follow(holder, at, row.object_id, next, offset);
        if (found) piece.source = next.block.source;
        bool seen = false;
        for (const PieceAt& p : row.pieces)
            seen = seen || (p.file == piece.file && p.block == piece.block && p.slot == piece.slot &&
                            (!found || p.source == piece.source));
        if (seen) {
            chain = Chain::Loop;
            break;
        }
        if (!found) {
            chain = Chain::MissingPiece;
            break;
        }
        read_row_part(next.view(), offset, part_);
        // What follows a stub is the row's first piece, with the stub's
        // rowid; what follows any other piece is no first piece. No head
        // continues another row.
        bool continues = !part_.has(kFlagH) && !part_.has(kFlagK) && part_.has(kFlagF) == after_stub;
        if (continues && after_stub && head.slot >= 0 && part_.piece.has_hrid &&
            !(part_.hrid(next.block.layout) == head_rowid))
            continues = false;
        if (!continues) {
            chain = Chain::MissingPiece;
            break;
        }
        row.pieces.push_back(piece);
        if (with_values) {
            row.blocks.push_back(next.block);
            if (after_stub && part_.has(kFlagC)) add_key_columns(next, part_.piece, row);
            add_values(next, part_.piece, part_.found(), row, cut && part_.has(kFlagP));
        }
        cut = part_.has(kFlagN);
        after_stub = false;
        holder = next.block;
        chain = Chain::Complete;
        previous = &part_.piece;
    }
    // A missing key row has already said so.
    if (row.chain == Chain::Single) row.chain = chain;
}

void RowReader::read(const DecodedBlock& block, const RowPieceRecord& head, Row& row, bool with_values)
{
    read_row_part(block.view(), head.offset, head_);
    head_.piece.slot = head.slot;
    head_.piece.walk = head.walk;
    read(block, head_.piece, head_.found(), row, with_values);
}

void RowReader::read_orphan(const DecodedBlock& block, const RowPieceRecord& piece,
                            std::span<const ColumnRecord> columns, Row& row)
{
    start_row(block, piece, row);
    row.chain = Chain::Orphan;
    add_values(block, piece, columns, row, false);
}

std::uint64_t ReachedPieces::key(const PieceAt& piece)
{
    const std::uint64_t file =
        piece.layout == AddressLayout::Bigfile ? kBigfileRelativeFile + piece.source : piece.file;
    return file << 48 | static_cast<std::uint64_t>(static_cast<std::uint32_t>(piece.block)) << 16 |
           static_cast<std::uint16_t>(piece.slot);
}

void ReachedPieces::add(const Row& row)
{
    for (std::size_t i = 1; i < row.pieces.size(); ++i) pieces_.insert(key(row.pieces[i]));
}

bool ReachedPieces::contains(const PieceAt& piece) const
{
    return piece.slot >= 0 && pieces_.count(key(piece)) != 0;
}

bool ReachedPieces::contains(std::uint32_t file, std::int32_t block, std::int32_t slot) const
{
    return contains(PieceAt{file, block, slot});
}
