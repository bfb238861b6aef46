// Text values: VARCHAR2, CHAR and LONG in the database character set, and
// NCHAR and NVARCHAR2 in UTF-16.
#include "values/charsets.h"
#include "values/value_decoders.h"

char* decode_text_value(ByteView value, char* out, const DecodeOptions& options)
{
    // Without a character set the bytes are given as they are.
    if (options.charset == nullptr) return put_bytes(out, value.data(), value.size());
    return convert_to_utf8(*options.charset, value, out);
}

// UTF-16 big-endian, surrogate pairs included; an odd length or a surrogate
// without its other half is declined.
char* decode_national_text_value(ByteView value, char* out, const DecodeOptions&)
{
    if (value.size() % 2 != 0) return nullptr;
    for (std::size_t at = 0; at < value.size(); at += 2) {
        std::uint32_t code = value.u16be(at);
        if (code >= 0xDC00 && code <= 0xDFFF) return nullptr;
        if (code >= 0xD800 && code <= 0xDBFF) {
            const std::uint32_t low = value.u16be(at + 2);
            if (at + 2 >= value.size() || low < 0xDC00 || low > 0xDFFF) return nullptr;
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
            at += 2;
        }
        out = put_utf8(out, code);
    }
    return out;
}
