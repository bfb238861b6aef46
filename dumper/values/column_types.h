// The column types a template can name: one table, one entry per keyword,
// each with a pure decoder that turns a value's bytes into text or declines.
// The template reader, every printer and the fuzz harness go through it;
// adding a type is adding an entry and its decoder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "format/byte_view.h"

// A database character set that text is converted from (see charsets.h).
struct Charset;

// What a decoder needs besides the value's bytes.
struct DecodeOptions {
    // The character set of CHAR, VARCHAR2 and LONG values, converted to
    // UTF-8; nullptr: their bytes are given as they are.
    const Charset* charset = nullptr;
};

// The LOB a template type names: its value is read from the locator the
// row holds, by the export formats (the text output dumps the locator).
enum class LobType : std::uint8_t { None, Clob, Nclob, Blob };

enum class TypeRole : std::uint8_t {
    Decoded,     // the decoder gives the value's text
    Suppressed,  // the column is left out of the output (NOPRINT)
    Undecoded,   // the value is shown as its bytes (UNKNOWN, and lines naming no type)
};

struct ColumnType {
    std::string_view keyword;
    TypeRole role;
    // The most text the decoder writes for a value of n bytes is
    // room_fixed + room_per_byte * n.
    std::uint16_t room_fixed;
    std::uint8_t room_per_byte;
    // Writes the value's text at `out`, which has room for text_room(size)
    // bytes, and returns its end; nullptr when the bytes are not a value of
    // this type. It reads nothing but `value` and writes nothing but `out`.
    char* (*decode)(ByteView value, char* out, const DecodeOptions& options);
    // The text is the value's own bytes, which need not be UTF-8.
    bool text_bytes;
    // The text is ASCII and never holds a quote, a backslash, a comma or a
    // control character: the export formats write it as it is.
    bool plain_text = false;
    LobType lob = LobType::None;

    constexpr std::size_t text_room(std::size_t size) const { return room_fixed + std::size_t{room_per_byte} * size; }
};

// The longest keyword; a template line longer than this names no type.
constexpr std::size_t kMaxKeywordLength = 32;
// The most text any type writes for a value of the largest size (65535
// bytes), with a byte to spare: printers make this much room at most.
constexpr std::size_t kMaxValueText = 1 << 18;

// Every keyword a template line can hold.
extern const ColumnType kColumnTypes[];
extern const std::size_t kColumnTypeCount;
// The type of a line that names none of them.
extern const ColumnType kUnlistedType;

inline std::span<const ColumnType> column_type_table() { return {kColumnTypes, kColumnTypeCount}; }

// The entry whose keyword is `keyword` exactly, or kUnlistedType.
const ColumnType& find_column_type(std::string_view keyword);

// A NUMBER as plain decimal text ("-123", "0.5", "10000000000").
struct NumberText {
    char text[320];
    std::size_t length = 0;
};
// False when the bytes are not a valid NUMBER (they are then dumped in hex).
bool decode_number(const ByteView& value, NumberText& result);
