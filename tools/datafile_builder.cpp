#include "datafile_builder.h"

#include "format/rowid.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <stdexcept>

#include "byte_fields.h"
#include "format/block_format.h"
#include "format/file_format.h"
#include "random_numbers.h"

namespace datafile {

using namespace block_format;

namespace {

// The low `bytes` bytes of `value`, most significant first.
void put_be(Bytes& b, std::uint64_t value, int bytes)
{
    for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8) b.push_back(static_cast<std::uint8_t>(value >> shift));
}

// A loop rather than insert(): g++ 12 at -O3 warns falsely about the latter.
// No reserve() to the exact size either: appending block after block would
// then copy the whole file every time.
void append(Bytes& to, const Bytes& from)
{
    for (std::uint8_t byte : from) to.push_back(byte);
}

}  // namespace

Bytes number_value(std::string_view decimal)
{
    bool negative = !decimal.empty() && decimal[0] == '-';
    if (negative) decimal.remove_prefix(1);
    std::size_t point = decimal.find('.');
    std::string integer(decimal.substr(0, point));
    std::string fraction(point == std::string_view::npos ? "" : decimal.substr(point + 1));
    if (integer.size() % 2) integer = "0" + integer;
    if (fraction.size() % 2) fraction += '0';
    // Base-100 digits; the first integer pair has the power size / 2 - 1.
    std::vector<int> digits;
    std::string all = integer + fraction;
    for (std::size_t i = 0; i < all.size(); i += 2) digits.push_back((all[i] - '0') * 10 + (all[i + 1] - '0'));
    int exponent = static_cast<int>(integer.size() / 2) - 1;
    std::size_t first = 0;
    while (first < digits.size() && digits[first] == 0) {
        ++first;
        --exponent;
    }
    std::size_t last = digits.size();
    while (last > first && digits[last - 1] == 0) --last;
    if (first == last) return {0x80};
    if (last - first > 20) last = first + 20;
    Bytes out;
    if (negative) {
        out.push_back(static_cast<std::uint8_t>(0x3E - exponent));
        for (std::size_t i = first; i < last; ++i) out.push_back(static_cast<std::uint8_t>(101 - digits[i]));
        if (last - first < 20) out.push_back(0x66);
    } else {
        out.push_back(static_cast<std::uint8_t>(0xC1 + exponent));
        for (std::size_t i = first; i < last; ++i) out.push_back(static_cast<std::uint8_t>(digits[i] + 1));
    }
    return out;
}

Bytes date_value(int year, int month, int day, int hour, int minute, int second)
{
    return {static_cast<std::uint8_t>(year / 100 + 100), static_cast<std::uint8_t>(year % 100 + 100),
            static_cast<std::uint8_t>(month),           static_cast<std::uint8_t>(day),
            static_cast<std::uint8_t>(hour + 1),        static_cast<std::uint8_t>(minute + 1),
            static_cast<std::uint8_t>(second + 1)};
}

std::uint32_t block_address(std::uint16_t relative_file, std::uint32_t block)
{
    if (layout_of_relative_file(relative_file) == AddressLayout::Bigfile) return block;
    return static_cast<std::uint32_t>(relative_file) << kAddressBlockBits | (block & kAddressBlockMask);
}

Bytes rowid(std::uint16_t file, std::uint32_t block, std::uint16_t row)
{
    const std::uint32_t address = block_address(file, block);
    return {static_cast<std::uint8_t>(address >> 24), static_cast<std::uint8_t>(address >> 16),
            static_cast<std::uint8_t>(address >> 8),  static_cast<std::uint8_t>(address),
            static_cast<std::uint8_t>(row >> 8),      static_cast<std::uint8_t>(row)};
}

Bytes rowid_value(std::uint32_t object, std::uint16_t file, std::uint32_t block, std::uint16_t row)
{
    Bytes out;
    put_be(out, object, 4);
    append(out, rowid(file, block, row));
    return out;
}

Bytes timestamp_value(int year, int month, int day, int hour, int minute, int second,
                      std::optional<std::uint32_t> nanoseconds)
{
    Bytes out = date_value(year, month, day, hour, minute, second);
    if (nanoseconds) put_be(out, *nanoseconds, 4);
    return out;
}

namespace {

// Days of a month on the database's calendar: Julian leap years before
// 1582 (BC ones too, as stored), Gregorian ones from then on.
int month_length(int year, int month)
{
    if (month != 2) return month == 4 || month == 6 || month == 9 || month == 11 ? 30 : 31;
    const bool leap = year % 4 == 0 && (year < 1582 || year % 100 != 0 || year % 400 == 0);
    return leap ? 29 : 28;
}

}  // namespace

void step_day(int& year, int& month, int& day, int direction)
{
    if (direction > 0) {
        if (year == 1582 && month == 10 && day == 4) day = 14;
        if (++day <= month_length(year, month)) return;
        day = 1;
        if (++month <= 12) return;
        month = 1;
        if (++year == 0) year = 1;
    } else {
        if (year == 1582 && month == 10 && day == 15) day = 5;
        if (--day >= 1) return;
        if (--month < 1) {
            month = 12;
            if (--year == 0) year = -1;
        }
        day = month_length(year, month);
    }
}

Bytes timestamp_tz_value(int year, int month, int day, int hour, int minute, int second, std::uint32_t nanoseconds,
                         int offset_minutes)
{
    int minutes = hour * 60 + minute - offset_minutes;
    if (minutes < 0) {
        minutes += 24 * 60;
        step_day(year, month, day, -1);
    } else if (minutes >= 24 * 60) {
        minutes -= 24 * 60;
        step_day(year, month, day, 1);
    }
    Bytes out = timestamp_value(year, month, day, minutes / 60, minutes % 60, second, nanoseconds);
    out.push_back(static_cast<std::uint8_t>(offset_minutes / 60 + 20));
    out.push_back(static_cast<std::uint8_t>(offset_minutes % 60 + 60));
    return out;
}

Bytes timestamp_region_value(int year, int month, int day, int hour, int minute, int second,
                             std::uint32_t nanoseconds, std::uint16_t region)
{
    Bytes out = timestamp_value(year, month, day, hour, minute, second, nanoseconds);
    out.push_back(static_cast<std::uint8_t>(0x80 | region >> 6));
    out.push_back(static_cast<std::uint8_t>((region & 0x3F) << 2));
    return out;
}

Bytes interval_ym_value(std::int32_t years, int months)
{
    Bytes out;
    put_be(out, static_cast<std::uint32_t>(years) + 0x80000000u, 4);
    out.push_back(static_cast<std::uint8_t>(months + 60));
    return out;
}

Bytes interval_ds_value(std::int32_t days, int hours, int minutes, int seconds, std::int32_t nanoseconds)
{
    Bytes out;
    put_be(out, static_cast<std::uint32_t>(days) + 0x80000000u, 4);
    for (int field : {hours, minutes, seconds}) out.push_back(static_cast<std::uint8_t>(field + 60));
    put_be(out, static_cast<std::uint32_t>(nanoseconds) + 0x80000000u, 4);
    return out;
}

Bytes binary_float_value(float value)
{
    const auto bits = std::bit_cast<std::uint32_t>(value);
    Bytes out;
    put_be(out, (bits & 0x80000000u) ? ~bits : bits | 0x80000000u, 4);
    return out;
}

Bytes binary_double_value(double value)
{
    const auto bits = std::bit_cast<std::uint64_t>(value);
    constexpr std::uint64_t kSign = std::uint64_t{1} << 63;
    Bytes out;
    put_be(out, (bits & kSign) ? ~bits : bits | kSign, 8);
    return out;
}

Bytes nchar_value(std::string_view utf8)
{
    Bytes out;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        std::uint32_t code = length == 1 ? lead : lead & (0x7Fu >> length);
        for (std::size_t k = 1; k < length; ++k) code = code << 6 | (static_cast<unsigned char>(utf8[i + k]) & 0x3Fu);
        i += length;
        if (code >= 0x10000) {
            put_be(out, 0xD800 + ((code - 0x10000) >> 10), 2);
            code = 0xDC00 + ((code - 0x10000) & 0x3FF);
        }
        put_be(out, code, 2);
    }
    return out;
}

Bytes RowPiece::encode(ByteOrder order) const
{
    Bytes out{flags, lock, column_count.value_or(static_cast<std::uint8_t>(columns.size()))};
    if (cluster_counts) {
        out.resize(out.size() + 4);
        put16(out, 3, (*cluster_counts)[0], order);
        put16(out, 5, (*cluster_counts)[1], order);
    }
    append(out, header);
    for (const Column& c : columns) {
        switch (c.prefix) {
        case Column::Prefix::Null:
            out.push_back(kNullPrefix);
            continue;
        case Column::Prefix::Raw:
            break;
        case Column::Prefix::Short:
        case Column::Prefix::Long:
            if (c.prefix == Column::Prefix::Short && c.value.size() <= kMaxShortLength) {
                out.push_back(static_cast<std::uint8_t>(c.value.size()));
            } else {
                out.push_back(kLongPrefix);
                out.resize(out.size() + 2);
                put16(out, out.size() - 2, static_cast<std::uint16_t>(c.value.size()), order);
            }
            break;
        }
        append(out, c.value);
    }
    return out;
}

RowPiece head_piece(std::vector<Column> columns)
{
    RowPiece p;
    p.columns = std::move(columns);
    return p;
}

RowPiece deleted_piece(std::vector<Column> columns)
{
    RowPiece p = head_piece(std::move(columns));
    p.flags = FLAG_H | FLAG_D | FLAG_F | FLAG_L;
    return p;
}

RowPiece cluster_key_piece(std::uint16_t curc, std::uint16_t comc, const Bytes& previous_key,
                           const Bytes& next_key, std::vector<Column> columns)
{
    RowPiece p = head_piece(std::move(columns));
    p.flags = FLAG_K | FLAG_H | FLAG_F | FLAG_L;
    p.cluster_counts = {curc, comc};
    append(p.header, previous_key);
    append(p.header, next_key);
    return p;
}

RowPiece cluster_member_piece(std::vector<Column> columns)
{
    RowPiece p = head_piece(std::move(columns));
    p.flags = FLAG_C | FLAG_H | FLAG_F | FLAG_L;
    p.header = {0x00};  // the member's cluster key index
    return p;
}

RowPiece piece_with_rowid(std::uint8_t flags, const Bytes& id, std::vector<Column> columns)
{
    RowPiece p = head_piece(std::move(columns));
    p.flags = flags;
    if (flags & FLAG_C) p.header.push_back(0x00);
    append(p.header, id);
    return p;
}

RowPiece first_data_piece(const Bytes& head_rowid, const Bytes& next_rowid, std::vector<Column> columns)
{
    RowPiece p = head_piece(std::move(columns));
    p.flags = FLAG_F;
    p.header = head_rowid;
    append(p.header, next_rowid);
    return p;
}

std::uint32_t data_header_offset(const Block& block)
{
    return block_format::data_header_offset(block.itl_slots, block.segment_space_extension);
}

namespace {

// The tail repeats the header: the SCN's low half, the type and the
// sequence; `fractured` puts the SCN half off by one.
void write_tail(Bytes& b, ByteOrder order, bool fractured)
{
    if (b.size() < kCacheHeaderSize + kTailSize) return;
    const ByteView header(b.data(), b.size());
    std::uint32_t tail = tail_value(header.u32(kScnBaseAt, order), b[kBlockTypeAt], b[kSequenceAt]);
    if (fractured) tail += 1u << 16;
    put32(b, b.size() - kTailSize, tail, order);
}

// The checksum makes the XOR of all the block's 16-bit words zero; `off`
// leaves it off by one.
void write_checksum(Bytes& b, ByteOrder order, bool off)
{
    if (b.size() < kCacheHeaderSize) return;
    put16(b, kChecksumAt, 0, order);
    std::uint16_t x = 0;
    for (std::size_t i = 0; i + 1 < b.size(); i += 2)
        x ^= order == ByteOrder::Little ? static_cast<std::uint16_t>(b[i] | b[i + 1] << 8)
                                        : static_cast<std::uint16_t>(b[i] << 8 | b[i + 1]);
    if (b.size() % 2) x ^= static_cast<std::uint16_t>(order == ByteOrder::Little ? b.back() : b.back() << 8);
    if (off) x ^= 1;
    put16(b, kChecksumAt, x, order);
}

// The computed directory entries with the empty slots put in their places.
std::vector<std::uint16_t> with_empty_slots(std::vector<std::uint16_t> entries,
                                            const std::vector<std::uint16_t>& empty_slots)
{
    for (const std::uint16_t slot : empty_slots) {
        if (slot > entries.size()) throw std::invalid_argument("empty slot past the directory's end");
        entries.insert(entries.begin() + slot, kEmptySlot);
    }
    return entries;
}

// One entry per table: its first slot and its number of slots.
void write_table_directory(Bytes& b, std::uint32_t at, const Block& block, ByteOrder order)
{
    std::uint16_t first = 0;
    for (std::size_t table = 0; table < block.table_count; ++table) {
        const std::uint16_t slots = table < block.table_slots.size() ? block.table_slots[table] : 0;
        const auto entry = at + static_cast<std::uint32_t>(kTableEntrySize * table);
        put16(b, entry + file_format::kTableFirstSlotAt, first, order);
        put16(b, entry + kTableRowCountAt, slots, order);
        first = static_cast<std::uint16_t>(first + slots);
    }
}

}  // namespace

void seal_block(Bytes& block, ByteOrder order)
{
    write_tail(block, order, false);
    write_checksum(block, order, false);
}

Bytes build_block(const Block& block, std::uint32_t block_size, std::uint32_t block_number, BlockLayout* layout,
                  ByteOrder order, std::uint16_t relative_file)
{
    if (block.image) {
        Bytes b = *block.image;
        b.resize(block_size, 0);
        return b;
    }
    auto put16 = [&](Bytes& bytes, std::size_t at, std::uint16_t v) { datafile::put16(bytes, at, v, order); };
    auto put32 = [&](Bytes& bytes, std::size_t at, std::uint32_t v) { datafile::put32(bytes, at, v, order); };
    Bytes b(block_size, 0);
    // Cache header.
    b[kBlockTypeAt] = block.block_type;
    const bool power_of_two = (block_size & (block_size - 1)) == 0 && block_size >= 512 && block_size <= 32768;
    b[kFormatAt] = block.faults.format.value_or(format_byte(power_of_two ? block_size : 8192));
    put32(b, kAddressAt,
          block.faults.address.value_or(block_address(relative_file, block_number)));
    put32(b, kScnBaseAt, block.scn);
    b[kSequenceAt] = 1;
    if (!block.faults.no_checksum) b[kFlagsAt] = kFlagHasChecksum;
    b[kLayerTypeAt] = block.layer_type;
    put32(b, kObjectIdAt, block.object_id);
    put16(b, kItlCountAt, block.itl_slots);
    // ITL slots: a transaction id and an undo address per slot.
    for (std::uint32_t slot = 0; slot < block.itl_slots; ++slot) {
        std::size_t at = kItlSlotsAt + kItlSlotSize * slot;
        ItlEntry itl;
        if (slot < block.itl.size()) {
            itl = block.itl[slot];
        } else {
            itl.undo_segment = static_cast<std::uint16_t>(slot + 1);
            itl.undo_sequence = 0x00C00010u + slot;
            itl.flag_lock = 0x8000;  // committed
        }
        put16(b, at + kItlUndoSegmentAt, itl.undo_segment);
        put16(b, at + kItlUndoSlotAt, itl.undo_slot);
        put32(b, at + kItlUndoSequenceAt, itl.undo_sequence);
        put32(b, at + kItlUbaBlockAt, itl.uba_block);
        put16(b, at + kItlUbaSequenceAt, itl.uba_sequence);
        b[at + kItlUbaRecordAt] = itl.uba_record;
        put16(b, at + kItlFlagLockAt, itl.flag_lock);
        put16(b, at + kItlScnWrapAt, itl.scn_wrap);
        put32(b, at + kItlScnBaseAt, itl.scn_base);
    }
    const std::uint32_t dhs = data_header_offset(block);
    if (block.segment_space_extension) {
        // The extension holds the segment's last commit SCN and a flag word.
        put32(b, dhs - kSegmentSpaceExtension, block.scn);
        put32(b, dhs - kSegmentSpaceExtension + 4, 0x00000001u);
    }

    // Pieces packed down from the tail; entries count from the data header.
    std::vector<std::uint16_t> entries;
    std::uint32_t top = block_size - kTailSize;
    BlockLayout placed;
    placed.dhs_offset = dhs;
    for (const RowPiece& row : block.rows) {
        Bytes piece = row.encode(order);
        if (piece.size() > top) throw std::length_error("rows do not fit in the block");
        top -= static_cast<std::uint32_t>(piece.size());
        std::copy(piece.begin(), piece.end(), b.begin() + top);
        placed.piece_offsets.push_back(top);
        if (row.in_directory) entries.push_back(static_cast<std::uint16_t>(top - dhs));
    }
    entries = with_empty_slots(std::move(entries), block.empty_slots);
    if (block.directory) entries = *block.directory;

    const std::uint16_t rows = block.row_count.value_or(static_cast<std::uint16_t>(entries.size()));
    const std::uint32_t table_directory =
        dhs + kDataHeaderSize + static_cast<std::uint32_t>(block.data_header_extension.size());
    const std::uint32_t row_directory = table_directory + kTableEntrySize * block.table_count;
    const std::uint32_t directory_end = row_directory + kRowEntrySize * static_cast<std::uint32_t>(entries.size());
    if (directory_end > top) throw std::length_error("row directory runs into the row heap");
    const auto free_start = static_cast<std::uint16_t>(directory_end - dhs);
    const auto free_end = static_cast<std::uint16_t>(top - dhs);

    b[dhs + kDataHeaderFlagsAt] = block.data_header_flags;
    std::copy(block.data_header_extension.begin(), block.data_header_extension.end(), b.begin() + dhs + kDataHeaderSize);
    b[dhs + kTableCountAt] = block.table_count;
    put16(b, dhs + kRowCountAt, rows);
    put16(b, dhs + kFirstFreeSlotAt, kEmptySlot);  // no free slot in the directory
    put16(b, dhs + kFreeSpaceStartAt, block.free_space_start.value_or(free_start));
    put16(b, dhs + kFreeSpaceEndAt, block.free_space_end.value_or(free_end));
    put16(b, dhs + kAvailableSpaceAt, static_cast<std::uint16_t>(free_end - free_start));
    if (block.table_count == 1)
        put16(b, table_directory + kTableRowCountAt, block.second_row_count.value_or(rows));
    else
        write_table_directory(b, table_directory, block, order);
    for (std::size_t i = 0; i < entries.size(); ++i) put16(b, row_directory + kRowEntrySize * i, entries[i]);

    bool tail_patched = false;
    for (const auto& [at, bytes] : block.patches) {
        if (at + bytes.size() > b.size()) throw std::length_error("patch outside the block");
        std::copy(bytes.begin(), bytes.end(), b.begin() + static_cast<std::ptrdiff_t>(at));
        tail_patched = tail_patched || at + bytes.size() > block_size - kTailSize;
    }
    // The tail follows the patched header; the checksum covers the
    // patched block.
    if (!tail_patched) write_tail(b, order, block.faults.fractured);
    if (!block.faults.no_checksum) write_checksum(b, order, block.faults.bad_checksum);
    if (layout) *layout = placed;
    return b;
}

Block compressed_block(std::uint32_t object, const std::vector<std::string>& symbols,
                       const std::vector<std::vector<CompressedItem>>& rows)
{
    // A 12c header extension with no fcls entries (likely): 8 bytes.
    constexpr std::size_t kExtension = 8;
    constexpr std::uint8_t kShortValue = 200;  // an item of 0 to 49 bytes: 200 + its length
    Block block;
    block.object_id = object;
    block.table_count = kCompressedTableCount;
    block.data_header_flags = kDataHeaderCompressed;
    block.data_header_extension = Bytes(kExtension, 0);
    block.table_slots = {static_cast<std::uint16_t>(symbols.size()), static_cast<std::uint16_t>(rows.size())};
    auto item = [&](const std::string& value) {
        if (value.size() >= 50) throw std::invalid_argument("a short compressed item holds 49 bytes at most");
        Bytes bytes{static_cast<std::uint8_t>(kShortValue + value.size())};
        bytes.insert(bytes.end(), value.begin(), value.end());
        return bytes;
    };
    // A symbol row: its use count (2 bytes, high first), its column count
    // and its one item; written from the block's end down, so the rows are
    // listed last first.
    std::vector<RowPiece> pieces;
    for (const std::string& symbol : symbols) {
        RowPiece piece;
        piece.flags = 0;  // the use count's high byte
        piece.lock = 1;   // and its low one
        piece.column_count = 1;
        piece.columns = {Column::raw(item(symbol))};
        pieces.push_back(piece);
    }
    for (const std::vector<CompressedItem>& row : rows) {
        RowPiece piece;
        piece.column_count = static_cast<std::uint8_t>(row.size());
        for (const CompressedItem& i : row)
            piece.columns.push_back(Column::raw(i.symbol ? Bytes{*i.symbol} : item(i.value)));
        pieces.push_back(piece);
    }
    block.rows = std::move(pieces);
    return block;
}

Bytes columnar_unit_header(ByteOrder order)
{
    Bytes header(4, 0);  // version 0
    header.resize(8);
    put32(header, 4, kColumnarMagic, order);
    return header;
}

Bytes build_file(const File& file)
{
    Bytes out;
    for (std::size_t i = 0; i < file.blocks.size(); ++i)
        append(out, build_block(file.blocks[i], file.block_size, static_cast<std::uint32_t>(i), nullptr,
                                file.byte_order, file.relative_file));
    out.resize(out.size() + file.trailing_bytes, 0x5A);
    return out;
}

void write_file(const std::string& path, const Bytes& bytes)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) throw std::runtime_error("cannot create " + path);
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = std::fclose(f) == 0 && ok;
    if (!ok) throw std::runtime_error("cannot write " + path);
}

namespace {

// One employee row: id, name, job, hire date, salary.
std::vector<Column> employee(const char* id, const char* name, const char* job, Bytes hired,
                             const char* salary)
{
    return {Column::bytes(number_value(id)), Column::text(name), Column::text(job),
            Column::bytes(std::move(hired)), salary ? Column::bytes(number_value(salary)) : Column::null()};
}

}  // namespace

File sample_file()
{
    File file;
    file.block_size = 8192;

    Block header_block;  // the file's own header block: not a data block
    header_block.block_type = kBlockTypeFileHeader;
    header_block.layer_type = 0;
    header_block.object_id = 0;
    file.blocks.push_back(header_block);

    Block employees;
    employees.object_id = 74570;
    employees.scn = 0x0023A4F1;
    employees.rows = {
        head_piece(employee("7369", "SMITH", "CLERK", date_value(1980, 12, 17, 0, 0, 0), "800")),
        head_piece(employee("7499", "ALLEN", "SALESMAN", date_value(1981, 2, 20, 9, 30, 0), "1600.5")),
        deleted_piece(employee("7521", "WARD", "SALESMAN", date_value(1981, 2, 22, 14, 5, 59), "1250")),
        head_piece(employee("7566", "JONES", "MANAGER", date_value(1981, 4, 2, 0, 0, 0), nullptr)),
        deleted_piece(employee("7654", "MARTIN", "SALESMAN", date_value(1981, 9, 28, 23, 59, 59), "-42.75")),
    };
    // A deleted row whose directory slot was reused: only the heap walk finds it.
    RowPiece orphan = deleted_piece(employee("7698", "BLAKE", "MANAGER", date_value(1981, 5, 1, 8, 0, 0), "2850"));
    orphan.in_directory = false;
    employees.rows.push_back(orphan);
    file.blocks.push_back(employees);

    Block migrated;  // a row that moved: its head stays, its data lives on elsewhere
    migrated.object_id = 74570;
    migrated.scn = 0x0023A502;
    migrated.itl_slots = 3;
    migrated.rows = {
        piece_with_rowid(FLAG_H, rowid(4, 2, 1), {}),
        piece_with_rowid(FLAG_F | FLAG_L, rowid(4, 2, 0),
                         employee("7782", "CLARK", "MANAGER", date_value(1981, 6, 9, 0, 0, 0), "2450")),
    };
    file.blocks.push_back(migrated);

    Block index;  // an index block of the table's primary key
    index.layer_type = kLayerIndex;
    index.object_id = 74571;
    index.scn = 0x0023A4F2;
    file.blocks.push_back(index);
    Block departments;  // a table of an automatically managed segment
    departments.object_id = 74572;
    departments.scn = 0x0023A511;
    departments.segment_space_extension = true;
    departments.rows = {
        head_piece({Column::bytes(number_value("10")), Column::text("ACCOUNTING"), Column::text("NEW YORK")}),
        head_piece({Column::bytes(number_value("20")), Column::text("RESEARCH"), Column::text("DALLAS")}),
        deleted_piece({Column::bytes(number_value("40")), Column::text("OPERATIONS"), Column::text("BOSTON")}),
    };
    file.blocks.push_back(departments);

    // More of the employee table, with values a naive export gets wrong: a
    // separator, quotes and a line break in text, an empty name, a salary
    // whose bytes are no NUMBER, and a sixth column the template leaves
    // UNKNOWN, NULL in one row. The first row is locked by an open
    // transaction, and the second is a stale copy an update left behind: no
    // directory entry points at it, and it is not deleted.
    Block more;
    more.object_id = 74570;
    more.scn = 0x0023A520;
    more.itl = {{}, {0x0006, 0x0017, 0x000003E9, 0x00C003D6, 0x0149, 0x27, 0x200E, 0x021B, 0x001CC0F2}};
    std::vector<Column> scott = employee("7788", "SCOTT, \"JR\"", "ANALYST\nSENIOR", date_value(1987, 4, 19, 0, 0, 0),
                                         nullptr);
    scott[4] = Column::bytes({0xC1, 0x00});
    scott.push_back(Column::null());
    RowPiece locked = head_piece(scott);
    locked.lock = 2;
    std::vector<Column> king = employee("7839", "", "PRESIDENT", date_value(1981, 11, 17, 0, 0, 0), "5000");
    king.push_back(Column::bytes({0x01, 0x02}));
    RowPiece stale = head_piece(employee("7839", "KING", "PRESIDENT", date_value(1981, 11, 17, 0, 0, 0), "4500"));
    stale.in_directory = false;
    more.rows = {locked, stale, head_piece(king)};
    file.blocks.push_back(more);
    return file;
}

std::string sample_template()
{
    return "NUMBER\nVARCHAR2\nVARCHAR2\nDATE\nNUMBER\nUNKNOWN\n";
}

File types_file()
{
    // The sample's file header block, then a data block of its own.
    File file = sample_file();
    file.blocks.resize(2);
    Block& types = file.blocks[1] = Block();
    types.object_id = 74580;
    types.scn = 0x0023A530;
    const Bytes urowid = {0x01, 0x00, 0x00, 0xD7, 0x89, 0x00, 0x06, 0x00, 0x00, 0x00, 0xE2, 0x00, 0x16};
    types.rows = {
        head_piece({Column::bytes(number_value("12.5")),
                    Column::bytes(timestamp_value(2012, 4, 1, 12, 34, 56, 123456789)),
                    Column::bytes(timestamp_tz_value(2012, 4, 1, 12, 34, 56, 123456789, -210)),
                    Column::bytes(timestamp_value(2012, 4, 1, 16, 4, 56)), Column::bytes(interval_ym_value(1, 6)),
                    Column::bytes(interval_ds_value(-2, -12, -23, -34, -456789000)),
                    Column::bytes(binary_float_value(134.45f)), Column::bytes(binary_double_value(1e16)),
                    Column::bytes({0xDE, 0xAD, 0xBE, 0xEF}), Column::bytes({0x01, 0x02}),
                    Column::text("Cr\xE8me br\xFBl\xE9" "e"),  // in Windows-1252
                    Column::bytes(nchar_value("Zo\u00EB")), Column::bytes(nchar_value("\u6771\u4EAC")),
                    Column::bytes(rowid_value(55177, 6, 226, 22)), Column::bytes(urowid), Column::bytes({0x01})}),
        // NULLs, empty values and values their types decline: an NCHAR of
        // an odd length, a logical UROWID.
        head_piece({Column::null(), Column::bytes(timestamp_value(-4712, 1, 1, 0, 0, 0)),
                    Column::bytes(timestamp_region_value(2012, 4, 1, 19, 34, 56, 0, 615)),
                    Column::bytes(timestamp_value(1582, 10, 15, 0, 0, 0, 500000000)),
                    Column::bytes(interval_ym_value(0, -3)), Column::bytes(interval_ds_value(0, 0, 0, 0, 0)),
                    Column::bytes(binary_float_value(-0.0f)), Column::bytes(binary_double_value(0.0001)),
                    Column::bytes({}), Column::null(), Column::text(""), Column::bytes({0x00, 0x41, 0x00}),
                    Column::bytes(nchar_value("\U0001F600")), Column::null(), Column::bytes({0x02, 0x04, 0x00}),
                    Column::bytes({0x00})}),
    };
    return file;
}

std::string types_template()
{
    return "FLOAT\nTIMESTAMP\nTIMESTAMP WITH TIME ZONE\nTIMESTAMP WITH LOCAL TIME ZONE\nINTERVAL YEAR TO MONTH\n"
           "INTERVAL DAY TO SECOND\nBINARY_FLOAT\nBINARY_DOUBLE\nRAW\nLONG RAW\nLONG\nNCHAR\nNVARCHAR2\nROWID\n"
           "UROWID\nBOOLEAN\n";
}

namespace {

constexpr const char* kBenchNames[] = {"SMITH", "ALLEN",  "WARD",   "JONES",    "MARTIN", "BLAKE",
                                       "CLARK", "SCOTT",  "KING",   "TURNER",   "ADAMS",  "JAMES",
                                       "FORD",  "MILLER", "O'NEIL", "VANDERBILT"};
constexpr const char* kBenchJobs[] = {"CLERK",   "SALESMAN", "MANAGER",          "ANALYST",
                                      "PRESIDENT", "ENGINEER", "OPERATIONS OFFICER", "DBA"};
constexpr const char kBenchText[] =
    "Transferred from the regional office after the merger; see file notes for details.";

std::vector<Column> bench_row(Random& random, std::uint32_t row_id)
{
    std::vector<Column> columns;
    columns.reserve(6);
    columns.push_back(Column::bytes(number_value(std::to_string(row_id))));
    std::string name = kBenchNames[random.below(16)];
    if (random.below(4) == 0) name += std::to_string(random.below(1000));
    columns.push_back(Column::text(name));
    columns.push_back(Column::text(kBenchJobs[random.below(8)]));
    columns.push_back(Column::bytes(date_value(1950 + random.below(80), 1 + random.below(12), 1 + random.below(28),
                                               random.below(24), random.below(60), random.below(60))));
    if (random.below(20) == 0) {
        columns.push_back(Column::null());
    } else {
        int cents = random.below(10000000);
        std::string salary = std::to_string(cents / 100) + (cents % 100 < 10 ? ".0" : ".") +
                             std::to_string(cents % 100);
        if (random.below(10) == 0) salary = "-" + salary;
        columns.push_back(Column::bytes(number_value(salary)));
    }
    if (random.below(8) == 0) {
        columns.push_back(Column::null());
    } else {
        int length = random.below(static_cast<int>(sizeof kBenchText));
        columns.push_back(Column::text(std::string_view(kBenchText, static_cast<std::size_t>(length))));
    }
    return columns;
}

// A decimal with `digits` significant digits and `scale` of them after the
// point, negative three times in four.
std::string varied_number(Random& random, int digits, int scale)
{
    // Appended character by character: g++ 12 warns falsely about insert().
    std::string text;
    if (random.below(4) != 0) text += '-';
    if (scale >= digits) {
        text += "0.";
        for (int i = digits; i < scale; ++i) text += '0';
    }
    for (int i = 0; i < digits; ++i) {
        if (scale > 0 && scale < digits && i == digits - scale) text += '.';
        text += static_cast<char>('0' + (i == 0 ? 1 + random.below(9) : random.below(10)));
    }
    return text;
}

// Rows of the varied bench data: NUMBERs mostly negative or fractional, of
// many magnitudes, and VARCHAR2 values of every length from 0 to 120.
std::vector<Column> varied_row(Random& random, std::uint32_t row_id)
{
    std::vector<Column> columns;
    columns.reserve(6);
    std::string id = "-";
    id += std::to_string(row_id);
    id += '.';
    id += std::to_string(1 + random.below(99));
    columns.push_back(Column::bytes(number_value(id)));
    std::string text;
    const int length = random.below(121);
    for (int i = 0; i < length; ++i) text += static_cast<char>('a' + random.below(26));
    columns.push_back(Column::text(text));
    columns.push_back(Column::text(std::string_view(kBenchText, static_cast<std::size_t>(random.below(40)))));
    columns.push_back(Column::bytes(date_value(1950 + random.below(80), 1 + random.below(12), 1 + random.below(28),
                                               random.below(24), random.below(60), random.below(60))));
    columns.push_back(Column::bytes(number_value(varied_number(random, 1 + random.below(30), random.below(25)))));
    columns.push_back(Column::bytes(number_value(varied_number(random, 1 + random.below(8), 2 + random.below(6)))));
    return columns;
}

// Rows of the timestamps bench data: an id, a timestamp with a fraction
// (now and then without), one with a time zone offset or region, and a
// double: a price, or a measurement of full precision, now and then NULL.
std::vector<Column> timestamp_row(Random& random, std::uint32_t row_id)
{
    std::vector<Column> columns;
    columns.reserve(4);
    columns.push_back(Column::bytes(number_value(std::to_string(row_id))));
    const int year = 1990 + random.below(40), month = 1 + random.below(12), day = 1 + random.below(28);
    const int hour = random.below(24), minute = random.below(60), second = random.below(60);
    const auto ns = static_cast<std::uint32_t>(random.below(1000000000));
    columns.push_back(Column::bytes(timestamp_value(year, month, day, hour, minute, second,
                                                    random.below(8) == 0 ? std::nullopt : std::optional(ns))));
    static constexpr int kOffsets[] = {0, 60, 120, -300, -420, 330, 345, -210, 540, 600};
    static constexpr std::uint16_t kRegions[] = {615, 1, 5121};
    if (random.below(4) == 0)
        columns.push_back(Column::bytes(
            timestamp_region_value(year, month, day, hour, minute, second, ns, kRegions[random.below(3)])));
    else
        columns.push_back(
            Column::bytes(timestamp_tz_value(year, month, day, hour, minute, second, ns, kOffsets[random.below(10)])));
    const int kind = random.below(10);
    if (kind == 0)
        columns.push_back(Column::null());
    else if (kind < 4)
        columns.push_back(Column::bytes(binary_double_value(static_cast<double>(random.next() >> 11) * 0x1p-40)));
    else
        columns.push_back(Column::bytes(binary_double_value((random.below(2000000) - 1000000) / 100.0)));
    return columns;
}

// Rows of the objects bench data: kObjectColumns columns of five kinds in
// turn, every value likely distinct, so that each column's statistics hold
// as many values as they keep: a NUMBER of up to twelve digits, a word, a
// DATE, a BINARY_DOUBLE and a code of eight capitals and digits.
constexpr int kObjectColumns = 25;

std::vector<Column> object_row(Random& random, std::uint32_t row_id)
{
    std::vector<Column> columns;
    columns.reserve(kObjectColumns);
    for (int c = 0; c < kObjectColumns; ++c) {
        switch (c % 5) {
        case 0:
            columns.push_back(Column::bytes(number_value(std::to_string(row_id + random.next() % 1000000000000u))));
            break;
        case 1: {
            std::string word = kBenchNames[random.below(16)];
            word += std::to_string(random.below(100000));
            columns.push_back(Column::text(word));
            break;
        }
        case 2:
            columns.push_back(Column::bytes(date_value(1950 + random.below(80), 1 + random.below(12),
                                                       1 + random.below(28), random.below(24), random.below(60),
                                                       random.below(60))));
            break;
        case 3:
            columns.push_back(Column::bytes(binary_double_value((random.below(2000000) - 1000000) / 100.0)));
            break;
        default: {
            std::string code;
            for (int i = 0; i < 8; ++i) code += "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"[random.below(36)];
            columns.push_back(Column::text(code));
        }
        }
    }
    return columns;
}

// Overwrites a few bytes of a built block with random ones, most in the
// headers and directories, some anywhere: what a damaged file holds.
void damage(Bytes& block, Random& random)
{
    const int header = static_cast<int>(std::min<std::size_t>(block.size(), 200));
    const int flips = random.below(6);
    for (int i = 0; i < flips; ++i) {
        const bool anywhere = random.below(3) == 0;
        const auto at = static_cast<std::size_t>(random.below(anywhere ? static_cast<int>(block.size()) : header));
        block[at] = static_cast<std::uint8_t>(random.next());
    }
}

}  // namespace

Block bench_block(std::uint32_t block_number, std::uint32_t block_size, BenchData data)
{
    Random random(block_number);
    Block block;
    if (block_number == 0) {  // the file's own header block
        block.block_type = kBlockTypeFileHeader;
        block.layer_type = 0;
        block.object_id = 0;
        return block;
    }
    // The objects data: each block of an object of its own, as many objects as blocks.
    block.object_id = data == BenchData::Objects ? kFirstOwnObject + block_number - 1
                                                 : 74570 + (block_number / 1024) % 3;
    block.scn = 0x00100000u + block_number * 3 + static_cast<std::uint32_t>(random.below(3));
    block.itl_slots = static_cast<std::uint8_t>(2 + random.below(2));
    if (block_number % 64 == 0) block.layer_type = kLayerIndex;  // an index block now and then

    // Fill to about 90%, the rest left free as a table keeps it for updates.
    const std::uint32_t row_directory = data_header_offset(block) + kDataHeaderSize + kTableEntrySize * block.table_count;
    const std::uint32_t room = (block_size - kTailSize - row_directory) * 9 / 10;
    std::uint32_t used = 0;
    for (std::uint32_t i = 0;; ++i) {
        const std::uint32_t row_id = block_number * 256 + i;
        RowPiece row = head_piece(data == BenchData::Varied       ? varied_row(random, row_id)
                                  : data == BenchData::Timestamps ? timestamp_row(random, row_id)
                                  : data == BenchData::Objects    ? object_row(random, row_id)
                                                                  : bench_row(random, row_id));
        int fate = random.below(40);
        if (fate < 3) row.flags = FLAG_H | FLAG_D | FLAG_F | FLAG_L;  // deleted
        if (fate == 0) row.in_directory = false;                     // and its slot reused
        std::uint32_t size = static_cast<std::uint32_t>(row.encode().size()) + (row.in_directory ? kRowEntrySize : 0u);
        if (used + size > room) break;
        used += size;
        block.rows.push_back(std::move(row));
    }
    return block;
}

std::string bench_template()
{
    return "NUMBER\nVARCHAR2\nVARCHAR2\nDATE\nNUMBER\nVARCHAR2\n";
}

std::string varied_template()
{
    return "NUMBER\nVARCHAR2\nVARCHAR2\nDATE\nNUMBER\nNUMBER\n";
}

std::string objects_template()
{
    std::string text;
    for (int c = 0; c < kObjectColumns; ++c)
        text += c % 5 == 0 ? "NUMBER\n" : c % 5 == 2 ? "DATE\n" : c % 5 == 3 ? "BINARY_DOUBLE\n" : "VARCHAR2\n";
    return text;
}

std::string timestamps_template()
{
    return "NUMBER\nTIMESTAMP\nTIMESTAMP WITH TIME ZONE\nBINARY_DOUBLE\n";
}

Bytes build_bench_block(std::uint32_t block_number, std::uint32_t block_size, BenchData data, ByteOrder order)
{
    Bytes b = build_block(bench_block(block_number, block_size, data), block_size, block_number, nullptr, order);
    if (data == BenchData::Damaged) {
        Random random(~std::uint64_t{block_number});
        damage(b, random);
    }
    return b;
}

void write_bench_file(const std::string& path, std::uint64_t block_count, std::uint32_t block_size, BenchData data,
                      ByteOrder order)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) throw std::runtime_error("cannot create " + path);
    bool ok = true;
    for (std::uint64_t i = 0; i < block_count && ok; ++i) {
        Bytes b = build_bench_block(static_cast<std::uint32_t>(i), block_size, data, order);
        ok = std::fwrite(b.data(), 1, b.size(), f) == b.size();
    }
    ok = std::fclose(f) == 0 && ok;
    if (!ok) throw std::runtime_error("cannot write " + path);
}

}  // namespace datafile
