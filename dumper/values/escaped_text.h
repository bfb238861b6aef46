// Text from the files as the targets every layer writes to can hold it:
// UTF-8 repaired, text a terminal shows without obeying it, JSON strings.
// Names and values come from files an attacker may have written; each of
// these is the one function that makes them safe for its target.
#pragma once

#include <string>
#include <string_view>

// The text with every byte that is not part of well-formed UTF-8 written
// as \xHH (two upper-case hexadecimal digits); the rest as it is.
std::string valid_utf8(std::string_view text);

// The text as a terminal may be given it: valid_utf8's, and besides control
// characters (bytes 0x00 to 0x1F and 0x7F, and the characters U+0080 to
// U+009F, which terminals obey too) written as \xHH of each byte. Nothing
// of it can move the cursor, end a line or start an escape sequence.
std::string terminal_text(std::string_view text);

// The same for text of whole lines: each line's text as terminal_text
// writes it, each line break kept.
std::string terminal_lines(std::string_view text);

// True when terminal_text leaves the text as it is: well-formed UTF-8
// without control characters.
bool is_plain_text(std::string_view text);

// A JSON string of the text: quoted, valid_utf8's bytes, with quotes,
// backslashes and control characters escaped (\u00HH).
std::string json_string(std::string_view text);

// Two upper-case hexadecimal digits for each byte.
std::string hex_text(std::string_view bytes);
