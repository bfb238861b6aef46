// Database character sets, which CHAR, VARCHAR2 and LONG values are
// converted from to UTF-8 (--charset). A set is a table built once per run,
// so that converting a value only looks bytes up: single-byte sets come from
// tables compiled in, multi-byte ones are filled from the C library's iconv.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "format/byte_view.h"

struct Charset {
    enum class Kind : std::uint8_t {
        Utf8,        // AL32UTF8: checked, then copied
        Utf8OrCesu,  // UTF8: also supplementary characters as surrogate pairs
        Table,
    };
    static constexpr std::uint32_t kLeadByte = 0xFFFFFFFE;    // the first of two bytes
    static constexpr std::uint32_t kNoCharacter = 0xFFFFFFFF;

    Kind kind = Kind::Table;
    // Table: each byte's code point, or kLeadByte, or kNoCharacter.
    std::uint32_t bytes[256];
    // Table of a multi-byte set: the code point of the pair of bytes first,
    // second at (first - 0x80) * 256 + second; 0 when they are no character.
    std::vector<std::uint32_t> pairs;
};

// The names --charset takes, comma-separated, for messages.
extern const char* const kCharsetNames;
// True when `name` is one of them (upper or lower case alike).
bool is_charset_name(std::string_view name);
// The message for a name that is not one of them.
std::string unknown_charset_message(std::string_view name);
// The character set `name`; nullptr, and why in `message`, when the name is
// not known or the C library cannot convert it.
std::shared_ptr<const Charset> make_charset(std::string_view name, std::string& message);

// Writes the value's text in UTF-8 at `out`, which has room for three bytes
// for each byte of it, and returns its end; nullptr when some bytes are no
// character of the set.
char* convert_to_utf8(const Charset& charset, ByteView value, char* out);

// The UTF-8 of a code point (at most 4 bytes).
char* put_utf8(char* out, std::uint32_t code);

// The length of the well-formed UTF-8 sequence at `p` (1 for ASCII), or 0.
std::size_t utf8_sequence(const unsigned char* p, std::size_t available);
// True when the bytes are well-formed UTF-8.
bool is_utf8(const char* text, std::size_t length);
