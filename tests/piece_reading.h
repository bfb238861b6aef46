// Reading built data files back the way the on-disk format describes them,
// independently of the builder's own code: block headers, directories, row
// pieces, the rowids in their headers and their columns. The builder's
// tests check what it wrote with these.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "format/byte_view.h"
#include "row_layout.h"

namespace piece_reading {

using datafile::Bytes;
using datafile::RowAddress;
using datafile::Value;

// A built data file's bytes.
class FileBytes {
public:
    FileBytes(Bytes bytes, std::uint32_t block_size, ByteOrder order)
        : bytes_(std::move(bytes)), size_(block_size), order_(order)
    {
    }
    explicit FileBytes(const datafile::File& file)
        : FileBytes(datafile::build_file(file), file.block_size, file.byte_order)
    {
    }

    BlockView block(std::uint32_t n) const
    {
        if (n >= block_count()) return {ByteView(), order_};
        return {ByteView(bytes_.data() + std::size_t{n} * size_, size_), order_};
    }
    std::uint32_t block_count() const { return static_cast<std::uint32_t>(bytes_.size() / size_); }
    ByteOrder order() const { return order_; }

private:
    Bytes bytes_;
    std::uint32_t size_;
    ByteOrder order_;
};

// Data blocks; `extended`: the 8 bytes of an automatically managed segment
// lie between the ITL slots and the data header.
inline std::uint32_t data_header(const BlockView& b, bool extended = false)
{
    return 20 + 24 + 24 * b.u16(36) + (extended ? 8 : 0);
}
inline std::uint8_t table_count(const BlockView& b, bool extended = false) { return b.u8(data_header(b, extended) + 1); }
inline std::uint32_t row_directory(const BlockView& b, bool extended = false)
{
    return data_header(b, extended) + 14 + 4 * table_count(b, extended);
}
inline std::uint16_t entry(const BlockView& b, std::uint32_t slot, bool extended = false)
{
    return b.u16(row_directory(b, extended) + 2 * slot);
}
// The piece a slot points at, to the block's end.
inline ByteView piece(const BlockView& b, std::uint32_t slot, bool extended = false)
{
    const std::uint32_t at = data_header(b, extended) + entry(b, slot, extended);
    return b.bytes.sub(at, b.size() - at);
}

// The 6 bytes of a rowid in a piece header: file and block big-endian in
// 4 bytes, then the slot big-endian.
inline RowAddress rowid_at(ByteView piece, std::size_t at)
{
    const std::uint32_t address = piece.u32be(at);
    return {static_cast<std::uint16_t>(address >> 22), address & 0x3FFFFF, piece.u16be(at + 4)};
}

// The values of `count` columns from `at` on.
inline std::vector<Value> columns_at(ByteView piece, std::size_t at, std::size_t count, ByteOrder order)
{
    std::vector<Value> values;
    for (std::size_t i = 0; i < count; ++i) {
        std::size_t length = piece.u8(at++);
        if (length == 0xFF) {
            values.push_back(std::nullopt);
            continue;
        }
        if (length == 0xFE) {
            length = piece.u16(at, order);
            at += 2;
        }
        const ByteView v = piece.sub(at, length);
        values.push_back(Bytes(v.data(), v.data() + v.size()));
        at += length;
    }
    return values;
}

// Appends a value's bytes; a loop, as g++ 12 warns falsely about insert().
inline void append_value(Bytes& to, const Value& part)
{
    for (const std::uint8_t byte : *part) to.push_back(byte);
}

// A row's values read from the pieces its truth lists, by the rules of the
// format: a piece without H but with F carries the head's rowid, every
// piece but the last the next one's; a value cut in two (N, then P) is
// joined; a cluster member's key columns come from the key row its `cki`
// names. Every piece must have a slot.
inline std::vector<Value> read_row(const std::map<std::uint16_t, const FileBytes*>& files,
                                   const datafile::RowTruth& truth, bool extended)
{
    std::vector<Value> values;
    bool continues = false;
    for (std::size_t i = 0; i < truth.pieces.size(); ++i) {
        const datafile::PieceAddress& at = truth.pieces[i];
        const FileBytes& file = *files.at(at.file);
        const BlockView b = file.block(at.block);
        const ByteView p = piece(b, at.slot.value(), extended);
        const std::uint8_t flags = p.u8(0);
        std::size_t header = 3;
        if (flags & 0x40) {  // a cluster member: its key row's columns first
            const ByteView key = piece(b, p.u8(3), extended);
            const std::vector<Value> key_values = columns_at(key, 19, key.u8(2), file.order());
            values.insert(values.end(), key_values.begin(), key_values.end());
            header = 4;
        }
        if (!(flags & 0x20) && (flags & 0x08)) header += 6;               // HRID
        if (i + 1 < truth.pieces.size() || truth.chain == datafile::Chain::Loop) header += 6;  // NRID
        std::vector<Value> piece_values = columns_at(p, header, p.u8(2), file.order());
        for (std::size_t c = 0; c < piece_values.size(); ++c) {
            if (c == 0 && continues) append_value(*values.back(), piece_values[0]);
            else values.push_back(piece_values[c]);
        }
        continues = (flags & 0x01) != 0;
    }
    return values;
}

}  // namespace piece_reading
