#include "fuzz_harness.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <set>
#include <stdexcept>
#include <string_view>
#include <unistd.h>

#include "dictionary/segment_map.h"
#include "format/block_format.h"
#include "format/file_format.h"
#include "read/data_file.h"
#include "values/charsets.h"
#include "datafile_builder.h"
#include "print/export_fields.h"
#include "test_support.h"
#include "cli/arguments.h"
#include "cli/driver.h"
#include "format/piece_classes.h"
#include "values/column_types.h"
#include "values/tz_regions.h"

namespace fuzz {

namespace {

// Messages after which a run ends with status 1 on a regular file.
const char* const kFatalMessages[] = {
    "Block size too big.\n",
    "Offset of data header structure is out of bounds.\n",
    "Offset of table directory structure is out of bounds.\n",
    "Offset of row directory is out of bounds.\n",
};

[[noreturn]] void environment_failure(const std::string& what)
{
    std::fprintf(stderr, "fuzz harness: %s\n", what.c_str());
    std::abort();
}

// The process's scratch directory: made on first use, removed at exit.
ScratchDir& scratch()
{
    static ScratchDir instance;
    return instance;
}

void write_file(const std::string& path, const void* data, std::size_t size)
{
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) environment_failure("cannot create " + path);
    const auto* p = static_cast<const std::uint8_t*>(data);
    while (size > 0) {
        ssize_t n = ::write(fd, p, size);
        if (n <= 0) environment_failure("cannot write " + path);
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    ::close(fd);
}

void write_file(const std::string& path, const Bytes& bytes) { write_file(path, bytes.data(), bytes.size()); }
void write_file(const std::string& path, const std::string& text) { write_file(path, text.data(), text.size()); }

// A loop rather than insert(): g++ 12 at -O3 warns falsely about the latter.
template <typename Iterator>
void append(Bytes& to, Iterator from, Iterator to_end)
{
    for (; from != to_end; ++from) to.push_back(static_cast<std::uint8_t>(*from));
}

using Run = RunResult;

Run run(const std::vector<std::string>& args) { return run_trevanix(args); }

bool ends_with(const std::string& s, const std::string& end)
{
    return s.size() >= end.size() && s.compare(s.size() - end.size(), end.size(), end) == 0;
}

std::string describe(const std::vector<std::string>& args)
{
    std::string s = "trevanix";
    for (const std::string& a : args) {
        s += " '";
        for (char c : a) {
            if (c >= 0x20 && c < 0x7F) {
                s += c;
            } else {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned char>(c));
                s += escaped;
            }
        }
        s += "'";
    }
    return s;
}

std::string tail_of(const std::string& output)
{
    return output.size() <= 200 ? output : "..." + output.substr(output.size() - 200);
}

// What a run that ended on a regular file must look like.
std::string check_common(const std::vector<std::string>& args, const Run& r, bool must_complete)
{
    if (r.status != 0 && r.status != 1)
        return describe(args) + ": exit status " + std::to_string(r.status);
    if (must_complete && !ends_with(r.output, kCompleted))
        return describe(args) + ": no completion line; output ends:\n" + tail_of(r.output);
    if (r.status == 1) {
        for (const char* message : kFatalMessages)
            if (ends_with(r.output, message + kCompleted)) return "";
        return describe(args) + ": status 1 without a fatal message; output ends:\n" + tail_of(r.output);
    }
    return "";
}


char separator_for(std::uint8_t choice_bits, std::string& option_value, bool& given)
{
    switch (choice_bits) {
    case 1: option_value = ","; given = true; return ',';
    case 2: option_value = ""; given = true; return '\0';
    case 3: option_value = "|"; given = true; return '|';
    default: given = false; return '\n';
    }
}

std::uint8_t separator_bits(std::uint8_t byte)
{
    return static_cast<std::uint8_t>(((byte & kSeparatorComma) ? 1 : 0) | ((byte & kSeparatorOther) ? 2 : 0));
}

// ---------------------------------------------------------------------------
// Data files.

// Found in the SCN listing's lines and nowhere else.
const std::string kScnLineMark = ", SCN: ";

const char* const kActions[] = {nullptr, "A", "D", "O", "S", "C"};
constexpr std::size_t kMaxDatafileInput = 16 * 1024;

struct Range {
    std::vector<std::string> args;
    std::int32_t start = 0;
    std::int32_t count = 0;
    bool single = false;
};

Range range_for(std::uint8_t byte)
{
    switch (byte % 8) {
    case 1: return {{"-n", "1"}, 0, 1, false};
    case 2: return {{"-n", "2"}, 0, 2, false};
    case 3: return {{"-b", "0"}, 0, 0, true};
    case 4: return {{"-b", "1"}, 1, 0, true};
    case 5: return {{"-b", "1", "-n", "2"}, 1, 2, false};
    case 6: return {{"-n", "-1"}, 0, -1, false};
    case 7: return {{"-b", "2"}, 2, 0, true};
    default: return {};
    }
}

// The DUMPSCNS listing of `file`, worked out from the block layout alone.
std::string expected_scn_listing(const Bytes& file, std::uint32_t block_size, std::uint32_t object_filter,
                                 const Range& range)
{
    std::string out;
    std::int64_t block = range.start;
    std::int64_t handled = 0;
    for (;;) {
        std::uint64_t position = static_cast<std::uint64_t>(block) * block_size;
        if (position + block_size > file.size()) {
            out += kCompleted;
            break;
        }
        ByteView b(file.data() + position, block_size);
        std::uint32_t object_id = b.u32le(block_format::kObjectIdAt);
        if ((object_filter == 0 || object_filter == object_id) && b.u8(block_format::kLayerTypeAt) == block_format::kLayerData)
            out += scn_line(block, object_id, b.u32le(block_format::kScnBaseAt));
        if (range.single) break;
        ++handled;
        ++block;
        if (range.count > 0 && handled == range.count) break;
    }
    return out;
}

Bytes expand_large_layout(const std::uint8_t* p, std::size_t n, std::uint32_t block_size)
{
    Bytes file;
    std::size_t at = 0;
    for (int blocks = 0; blocks < 8 && at + 4 <= n; ++blocks) {
        std::size_t head = static_cast<std::size_t>(p[at] | (p[at + 1] << 8));
        std::size_t tail = static_cast<std::size_t>(p[at + 2] | (p[at + 3] << 8));
        at += 4;
        head = std::min({head, n - at, std::size_t{block_size}});
        std::size_t start = file.size();
        file.resize(start + block_size, 0);
        std::copy(p + at, p + at + head, file.begin() + static_cast<std::ptrdiff_t>(start));
        at += head;
        tail = std::min({tail, n - at, std::size_t{block_size} - head});
        std::copy(p + at, p + at + tail, file.end() - static_cast<std::ptrdiff_t>(tail));
        at += tail;
    }
    return file;
}

const std::string& datafile_template_path(std::size_t which)
{
    static const std::vector<std::string> paths = [] {
        std::vector<std::string> written;
        for (std::size_t i = 0; i < 4; ++i) {
            written.push_back(scratch().path("datafile-template-" + std::to_string(i) + ".txt"));
            write_file(written.back(), std::string(kDatafileTemplates[i]));
        }
        return written;
    }();
    return paths[which];
}

// ---------------------------------------------------------------------------
// Templates and typed values, predicted from the template's text.

// The type a template line names: its text before any zero byte, without
// the newline and a carriage return before it, looked up in the type table.
const ColumnType& keyword(std::string line, bool ended_by_newline)
{
    std::size_t zero = line.find('\0');
    if (zero != std::string::npos)
        line.resize(zero);
    else if (ended_by_newline && !line.empty() && line.back() == '\r')
        line.pop_back();
    return line.size() > kMaxKeywordLength ? kUnlistedType : find_column_type(line);
}

std::vector<const ColumnType*> template_types(const std::string& text)
{
    std::vector<const ColumnType*> types;
    std::size_t pos = 0;
    while (types.size() < kMaxColumns) {
        std::size_t newline = text.find('\n', pos);
        if (newline == std::string::npos) {
            if (pos < text.size()) types.push_back(&keyword(text.substr(pos), false));
            break;
        }
        types.push_back(&keyword(text.substr(pos, newline - pos), true));
        pos = newline + 1;
    }
    return types;
}

// The text the type table's decoder gives for a value, or false when it
// declines the bytes.
bool decoded_text(const ColumnType& type, const Bytes& v, std::string& text)
{
    text.assign(type.text_room(v.size()), '\0');
    char* end = type.decode(ByteView(v.data(), v.size()), text.data(), DecodeOptions());
    if (end == nullptr) return false;
    text.resize(static_cast<std::size_t>(end - text.data()));
    return true;
}

// What one column prints with its template type: a decoded value and the
// separator, its hex dump when the decoder declines or the type decodes
// nothing, nothing when the type suppresses it; a NULL prints the separator
// alone for a decoded type and nothing otherwise.
std::string expected_column(const ColumnType& type, const TemplateColumn& column, char separator)
{
    const std::string sep(1, separator);
    if (column.null) return type.role == TypeRole::Decoded ? sep : "";
    if (type.role == TypeRole::Suppressed) return "";
    std::string text;
    if (type.role == TypeRole::Decoded && (column.value.empty() || decoded_text(type, column.value, text)))
        return text + sep;
    return hex_line(column.value);
}

datafile::Column builder_column(const TemplateColumn& c)
{
    if (c.null) return datafile::Column::null();
    return c.long_prefix ? datafile::Column::long_form(c.value) : datafile::Column::bytes(c.value);
}

// Plain decimal text: an optional minus, an integer part without leading
// zeros, and a fraction without trailing zeros; no negative zero.
bool is_plain_decimal(const std::string& s)
{
    std::size_t i = 0;
    bool negative = i < s.size() && s[i] == '-';
    if (negative) ++i;
    std::size_t int_start = i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
    std::size_t int_length = i - int_start;
    if (int_length == 0 || (int_length > 1 && s[int_start] == '0')) return false;
    bool zero = int_length == 1 && s[int_start] == '0';
    if (i < s.size()) {
        if (s[i] != '.') return false;
        std::size_t fraction_start = ++i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
        if (i != s.size() || i == fraction_start || s[i - 1] == '0') return false;
        zero = false;
    }
    return !(negative && zero);
}

// True when the NUMBER bytes are written the way the database writes them:
// no zero digit first or last, and a negative number's terminator present
// exactly when it has fewer than 20 digits.
bool is_canonical_number(const Bytes& v)
{
    if (v.empty() || v.size() > 21) return false;
    if (v.size() == 1 && v[0] == 0x80) return true;
    bool negative = v[0] < 0x80;
    std::size_t end = v.size();
    if (negative) {
        bool terminated = v.size() > 1 && v.back() == 0x66;
        if (terminated) --end;
        std::size_t digits = end - 1;
        if (terminated != (digits < 20)) return false;
    }
    if (end < 2) return false;
    std::uint8_t zero_digit = negative ? 101 : 1;
    return v[1] != zero_digit && v[end - 1] != zero_digit;
}

// True when the value, once its leading zero digits are dropped, still has
// an exponent that fits the exponent byte (0x80 to 0xFF positive, 0x00 to
// 0x7F negative).
bool has_exponent_byte(const Bytes& v)
{
    if (v.empty() || (v.size() == 1 && v[0] == 0x80)) return true;
    const bool negative = v[0] < 0x80;
    const std::uint8_t zero_digit = negative ? 101 : 1;
    int exponent = negative ? 0x3E - v[0] : v[0] - 0xC1;
    for (std::size_t k = 1; k < v.size() && v[k] == zero_digit; ++k) --exponent;
    return negative ? 0x3E - exponent <= 0x7F : 0xC1 + exponent >= 0x80;
}

std::string check_number(const Bytes& v)
{
    NumberText number;
    if (!decode_number(ByteView(v.data(), v.size()), number)) return "";
    if (number.length == 0 || number.length > sizeof number.text) return "decode_number: bad length";
    std::string text(number.text, number.length);
    if (!is_plain_decimal(text)) return "decode_number: not a plain decimal: " + text;
    // The builder's encoder is written apart from the decoder: its encoding
    // of the text must decode to the same text, and must be the bytes
    // themselves when they were canonical. Leading zero digits can move a
    // value below the smallest exponent a NUMBER can hold; such a value has
    // no encoding to compare with.
    if (!has_exponent_byte(v)) return "";
    Bytes encoded = datafile::number_value(text);
    NumberText again;
    if (!decode_number(ByteView(encoded.data(), encoded.size()), again) ||
        std::string(again.text, again.length) != text)
        return "decode_number: re-encoding " + text + " does not decode to it";
    if (is_canonical_number(v) && encoded != v) return "decode_number: canonical bytes decode to " + text;
    return "";
}

std::string expected_date(const Bytes& v)
{
    char text[96];
    std::snprintf(text, sizeof text, "%.4d/%.2d/%.2d %.2d:%.2d:%.2d", (v[0] - 100) * 100 + (v[1] - 100), v[2], v[3],
                  v[4] - 1, v[5] - 1, v[6] - 1);
    return text;
}

// printf into a string.
template <typename... Args>
std::string format(const char* pattern, Args... args)
{
    char text[128];
    std::snprintf(text, sizeof text, pattern, args...);
    return text;
}

// A moment's text read back: the fields, and what follows them.
struct MomentText {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    unsigned nanoseconds = 0;
    bool fraction = false;
    std::string rest;
};

// The fields of `text`, and the same fields printed again by printf, which
// must be `text` itself.
bool read_moment_text(const std::string& text, MomentText& m)
{
    int used = 0;
    if (std::sscanf(text.c_str(), "%d-%d-%d %d:%d:%d%n", &m.year, &m.month, &m.day, &m.hour, &m.minute, &m.second,
                    &used) != 6)
        return false;
    int more = 0;
    m.fraction = std::sscanf(text.c_str() + used, ".%9u%n", &m.nanoseconds, &more) == 1;
    m.rest = text.substr(static_cast<std::size_t>(used + more));
    const int year = m.year < 0 ? -m.year : m.year;
    std::string again = format("%s%04d-%02d-%02d %02d:%02d:%02d", m.year < 0 ? "-" : "", year, m.month, m.day, m.hour,
                               m.minute, m.second);
    if (m.fraction) again += format(".%09u", m.nanoseconds);
    return again + m.rest == text;
}

// Timestamps read back from their text and encoded again by the builder
// must be the bytes they came from.
std::string check_timestamp(const std::string& keyword, const Bytes& v, const std::string& text)
{
    MomentText m;
    if (!read_moment_text(text, m) || m.year == 0 || m.year < -4712 || m.year > 9999)
        return keyword + ": not a moment: " + text;
    Bytes again;
    if (keyword != "TIMESTAMP WITH TIME ZONE") {
        if (!m.rest.empty() || m.fraction != (v.size() == 11)) return keyword + ": " + text;
        again = datafile::timestamp_value(m.year, m.month, m.day, m.hour, m.minute, m.second,
                                          m.fraction ? std::optional(m.nanoseconds) : std::nullopt);
    } else if (m.rest.rfind(" UTC (", 0) == 0 && m.rest.back() == ')') {
        const std::string name = m.rest.substr(6, m.rest.size() - 7);
        unsigned id = 0;
        for (std::size_t i = 0; i < kTzRegionCount; ++i)
            if (kTzRegions[i].name == name) id = kTzRegions[i].id;
        if (id == 0 && std::sscanf(name.c_str(), "region id %u", &id) != 1) return keyword + ": " + text;
        again = datafile::timestamp_region_value(m.year, m.month, m.day, m.hour, m.minute, m.second, m.nanoseconds,
                                                 static_cast<std::uint16_t>(id));
        again[12] = static_cast<std::uint8_t>(again[12] | (v[12] & 3));  // bits the region number leaves
    } else {
        int hours = 0, minutes = 0;
        char sign = 0;
        if (std::sscanf(m.rest.c_str(), " %c%2d:%2d", &sign, &hours, &minutes) != 3 ||
            m.rest != format(" %c%02d:%02d", sign, hours, minutes) || (sign != '+' && sign != '-') ||
            (sign == '-' && hours == 0 && minutes == 0))
            return keyword + ": " + text;
        const int offset = (sign == '-' ? -1 : 1) * (hours * 60 + minutes);
        again = datafile::timestamp_tz_value(m.year, m.month, m.day, m.hour, m.minute, m.second, m.nanoseconds,
                                             offset);
    }
    return again == v ? "" : keyword + ": " + text + " encodes to other bytes";
}

// Intervals likewise; their text is printed again by printf.
std::string check_interval(const std::string& keyword, const Bytes& v, const std::string& text)
{
    char sign = 0;
    long long lead = 0;
    int hours = 0, minutes = 0, seconds = 0;
    unsigned ns = 0;
    Bytes again;
    std::string printed;
    if (keyword == "INTERVAL YEAR TO MONTH") {
        if (std::sscanf(text.c_str(), "%c%lld-%d", &sign, &lead, &minutes) != 3) return keyword + ": " + text;
        printed = format("%c%02lld-%02d", sign, lead, minutes);
        const int s = sign == '-' ? -1 : 1;
        again = datafile::interval_ym_value(static_cast<std::int32_t>(s * lead), s * minutes);
    } else {
        if (std::sscanf(text.c_str(), "%c%lld %d:%d:%d.%u", &sign, &lead, &hours, &minutes, &seconds, &ns) != 6)
            return keyword + ": " + text;
        printed = format("%c%02lld %02d:%02d:%02d.%09u", sign, lead, hours, minutes, seconds, ns);
        const int s = sign == '-' ? -1 : 1;
        again = datafile::interval_ds_value(static_cast<std::int32_t>(s * lead), s * hours, s * minutes, s * seconds,
                                            s * static_cast<std::int32_t>(ns));
    }
    const bool zero = lead == 0 && hours == 0 && minutes == 0 && seconds == 0 && ns == 0;
    if (printed != text || (sign != '+' && sign != '-') || (zero && sign == '-'))
        return keyword + ": " + text + " is not " + printed;
    return again == v ? "" : keyword + ": " + text + " encodes to other bytes";
}

// Binary floats: the text reads back with strtod to the value's own bits,
// and is in exponent notation exactly outside 1e-4 <= |value| < 1e16.
template <typename Float>
std::string check_binary_float(const std::string& keyword, const Bytes& v, const std::string& text)
{
    std::uint64_t stored = 0;
    for (std::uint8_t b : v) stored = stored << 8 | b;
    const int top = 8 * static_cast<int>(v.size()) - 1;
    const int exponent_bits = sizeof(Float) == 4 ? 8 : 11;
    const std::uint64_t bits = (stored >> top) ? stored ^ (std::uint64_t{1} << top) : ~stored;
    const std::uint64_t exponent = bits >> (top - exponent_bits) & ((1u << exponent_bits) - 1);
    const std::uint64_t fraction = bits & ((std::uint64_t{1} << (top - exponent_bits)) - 1);
    const bool nan = exponent == (1u << exponent_bits) - 1 && fraction != 0;
    if (nan || text == "Nan") return nan && text == "Nan" ? "" : keyword + ": " + text + " and NaN";
    const Float value = static_cast<Float>(std::strtod(text.c_str(), nullptr));
    const Bytes again = sizeof(Float) == 4 ? datafile::binary_float_value(static_cast<float>(value))
                                           : datafile::binary_double_value(static_cast<double>(value));
    if (again != v) return keyword + ": " + text + " reads back as another value";
    const Float magnitude = value < 0 ? -value : value;
    const bool exponent_form = magnitude != 0 && !std::isinf(magnitude) &&
                               (magnitude < static_cast<Float>(1e-4) || magnitude >= static_cast<Float>(1e16));
    if ((text.find('e') != std::string::npos) != exponent_form) return keyword + ": notation of " + text;
    return "";
}

// UTF-16 big-endian with every surrogate in a pair.
bool is_utf16(const Bytes& v)
{
    if (v.size() % 2) return false;
    for (std::size_t i = 0; i < v.size(); i += 2) {
        const bool high = v[i] >= 0xD8 && v[i] <= 0xDB;
        const bool low = v[i] >= 0xDC && v[i] <= 0xDF;
        if (low || (high && (i + 2 >= v.size() || v[i + 2] < 0xDC || v[i + 2] > 0xDF))) return false;
        if (high) i += 2;
    }
    return true;
}

// The numbers of a rowid's 18 characters: object, file, block and row.
bool read_rowid_text(const std::string& text, std::uint64_t (&fields)[4])
{
    static const std::string digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    if (text.size() != 18) return false;
    const int widths[4] = {6, 3, 6, 3};
    std::size_t at = 0;
    for (int f = 0; f < 4; ++f) {
        fields[f] = 0;
        for (int k = 0; k < widths[f]; ++k, ++at) {
            const std::size_t digit = digits.find(text[at]);
            if (digit == std::string::npos) return false;
            fields[f] = fields[f] << 6 | digit;
        }
    }
    return true;
}

std::string check_rowid(const std::string& keyword, const Bytes& v, const std::string& text)
{
    std::uint64_t f[4];
    if (!read_rowid_text(text, f)) return keyword + ": not a rowid: " + text;
    Bytes again;
    if (keyword == "ROWID") {
        again = datafile::rowid_value(static_cast<std::uint32_t>(f[0]), static_cast<std::uint16_t>(f[1]),
                                      static_cast<std::uint32_t>(f[2]), static_cast<std::uint16_t>(f[3]));
    } else {
        again = {0x01};
        for (auto [value, bytes] : {std::pair{f[0], 4}, {f[1], 2}, {f[2], 4}, {f[3], 2}})
            for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8)
                again.push_back(static_cast<std::uint8_t>(value >> shift));
    }
    return again == v ? "" : keyword + ": " + text + " is another rowid";
}

// Text in a few character sets: always UTF-8, and what the simple sets
// must give.
std::string check_charsets(const Bytes& v)
{
    static const std::vector<std::pair<std::string, std::shared_ptr<const Charset>>> charsets = [] {
        std::vector<std::pair<std::string, std::shared_ptr<const Charset>>> made;
        std::string message;
        for (const char* name : {"AL32UTF8", "UTF8", "US7ASCII", "WE8ISO8859P1", "ZHS16GBK", "JA16SJIS"})
            made.emplace_back(name, make_charset(name, message));
        return made;
    }();
    const std::string bytes(v.begin(), v.end());
    for (const auto& [name, charset] : charsets) {
        DecodeOptions options;
        options.charset = charset.get();
        std::string text(3 * v.size(), '\0');
        char* end = find_column_type("VARCHAR2").decode(ByteView(v.data(), v.size()), text.data(), options);
        const bool ascii = std::all_of(v.begin(), v.end(), [](std::uint8_t b) { return b < 0x80; });
        bool expected = end != nullptr;
        if (name == "AL32UTF8") expected = is_utf8(bytes.data(), bytes.size());
        if (name == "US7ASCII") expected = ascii;
        if (name == "WE8ISO8859P1") expected = true;
        if ((end != nullptr) != expected || (ascii && end == nullptr))
            return "VARCHAR2 in " + name + ": accepted or not";
        if (end == nullptr) continue;
        text.resize(static_cast<std::size_t>(end - text.data()));
        if (!is_utf8(text.data(), text.size())) return "VARCHAR2 in " + name + ": not UTF-8";
        if ((ascii || name == "AL32UTF8") && text != bytes) return "VARCHAR2 in " + name + ": not its bytes";
    }
    return "";
}

// What each decoder of the type table must give, worked out apart from it:
// "" when it keeps its promises, else what it broke.
std::string check_decoded_value(const ColumnType& type, const Bytes& v)
{
    std::string text;
    const bool accepted = decoded_text(type, v, text);
    const std::string keyword(type.keyword);
    if (accepted && text.size() > type.text_room(v.size())) return keyword + ": more text than its room";
    if (type.role != TypeRole::Decoded) return accepted ? keyword + ": decodes" : "";
    // The export formats write plain text as it is.
    if (accepted && type.plain_text)
        for (const char c : text)
            if (c < 0x20 || c > 0x7E || c == '"' || c == '\\' || c == ',')
                return keyword + ": plain text holding " + std::to_string(static_cast<unsigned char>(c));
    if (keyword == "NUMBER" || keyword == "FLOAT") return check_number(v);
    if (keyword == "DATE") {
        const bool expected = v.empty() || v.size() >= 7;
        if (accepted != expected) return "DATE: a value of " + std::to_string(v.size()) + " bytes";
        if (accepted && !v.empty() && text != expected_date(v)) return "DATE: " + text + " for " + expected_date(v);
        return "";
    }
    if (v.empty()) return accepted && text.empty() ? "" : keyword + ": an empty value is not empty text";
    if (keyword == "VARCHAR2" || keyword == "CHAR" || keyword == "LONG") {
        if (!accepted || text != std::string(v.begin(), v.end())) return keyword + ": not its bytes";
        return keyword == "VARCHAR2" ? check_charsets(v) : "";
    }
    if (keyword == "RAW" || keyword == "LONG RAW") {
        std::string hex;
        for (std::uint8_t b : v) hex += format("%02X", b);
        return accepted && text == hex ? "" : keyword + ": not its hex digits";
    }
    if (keyword == "NCHAR" || keyword == "NVARCHAR2") {
        if (accepted != is_utf16(v)) return keyword + ": UTF-16 accepted or not";
        if (accepted && (!is_utf8(text.data(), text.size()) || datafile::nchar_value(text) != v))
            return keyword + ": not the UTF-8 of its UTF-16";
        return "";
    }
    if (keyword == "BOOLEAN") {
        if (accepted != (v.size() == 1 && v[0] <= 1)) return "BOOLEAN: accepted or not";
        return !accepted || text == (v[0] ? "TRUE" : "FALSE") ? "" : "BOOLEAN: " + text;
    }
    if (keyword == "BINARY_FLOAT" || keyword == "BINARY_DOUBLE") {
        if (accepted != (v.size() == (keyword == "BINARY_FLOAT" ? 4u : 8u))) return keyword + ": accepted or not";
        if (!accepted) return "";
        return v.size() == 4 ? check_binary_float<float>(keyword, v, text)
                             : check_binary_float<double>(keyword, v, text);
    }
    if (keyword == "ROWID" || keyword == "UROWID") {
        const bool expected = keyword == "ROWID" ? v.size() == 10 : v.size() == 13 && v[0] == 0x01;
        if (accepted != expected) return keyword + ": accepted or not";
        return accepted ? check_rowid(keyword, v, text) : "";
    }
    if (!accepted) return "";
    if (keyword.rfind("TIMESTAMP", 0) == 0) return check_timestamp(keyword, v, text);
    if (keyword.rfind("INTERVAL", 0) == 0) return check_interval(keyword, v, text);
    return "";
}

// ---------------------------------------------------------------------------
// Arguments.

std::string resolve_word(const std::string& word)
{
    if (word == "@data") return scratch().path("arguments.dbf");
    if (word == "@template") return scratch().path("arguments.template");
    if (word == "@missing") return scratch().path("missing.dbf");
    if (word == "@empty") return scratch().path("empty.dbf");
    if (word == "@dir") return scratch().root();
    return word;
}

void write_argument_files()
{
    static const bool written = [] {
        write_file(resolve_word("@data"), datafile::build_file(datafile::sample_file()));
        write_file(resolve_word("@template"), datafile::sample_template());
        write_file(resolve_word("@empty"), std::string());
        return true;
    }();
    (void)written;
}

bool is_harness_file(const std::string& path)
{
    for (const char* word : {"@data", "@template", "@missing", "@empty", "@dir"})
        if (path == resolve_word(word)) return true;
    return false;
}

// The same run exported as JSON Lines: the same exit status, every line
// valid JSON, and (when no template can make a value look like a rule line)
// one record per piece the text output shows, or per listed block.
std::string check_jsonl(std::vector<std::string> args, const Run& text, bool count_records)
{
    args.push_back("--format=jsonl");
    const Run r = run(args);
    if (r.status != text.status) return describe(args) + ": exit status " + std::to_string(r.status);
    // One worker and two print the same.
    for (const char* jobs : {"--jobs=1", "--jobs=2"}) {
        std::vector<std::string> with_jobs = args;
        with_jobs.push_back(jobs);
        const Run w = run(with_jobs);
        if (w.status != r.status || w.output != r.output || w.errors != r.errors)
            return describe(with_jobs) + ": not what the run of the default workers printed";
    }
    std::vector<Json> records;
    try {
        records = parse_json_lines(r.output);
    } catch (const std::exception& e) {
        return describe(args) + ": not JSON Lines (" + e.what() + "):\n" + tail_of(r.output);
    }
    if (!count_records) return "";
    std::size_t shown = 0;
    for (const std::string* rule : {&kRule, &kDeletedRule, &kScnLineMark})
        for (std::size_t at = text.output.find(*rule); at != std::string::npos; at = text.output.find(*rule, at + 1))
            ++shown;
    if (records.size() != shown)
        return describe(args) + ": " + std::to_string(records.size()) + " records for " + std::to_string(shown) +
               " pieces or blocks";
    return "";
}

// The same range checked with --verify: a report that ends in its verdict
// (or a failure to read), with the matching exit status, and as JSON Lines
// one valid object per block.
std::string check_verify(std::vector<std::string> args)
{
    args.push_back("--verify");
    const Run r = run(args);
    const bool clean = ends_with(r.output, "No problem found.\n");
    const bool found = r.output.find("\nProblems found: ") != std::string::npos && ends_with(r.output, ".\n");
    // A run that checked nothing, or could not read on, claims no success.
    const bool unchecked = ends_with(r.output, "No block was checked.\n") ||
                           ends_with(r.output, ": it could not be read.\n") ||
                           (r.output.empty() && !r.errors.empty());
    if (!(r.status == 0 && clean) && !(r.status == 4 && found && !unchecked) && !(r.status == 1 && unchecked))
        return describe(args) + ": a verify report that does not end in its verdict, status " +
               std::to_string(r.status) + ":\n" + tail_of(r.output);
    args.push_back("--format=jsonl");
    const Run j = run(args);
    if (j.status != r.status) return describe(args) + ": exit status " + std::to_string(j.status);
    try {
        parse_json_lines(j.output);
    } catch (const std::exception& e) {
        return describe(args) + ": not JSON Lines (" + e.what() + ")";
    }
    return "";
}

// The same file read as big-endian, and with its size and order found
// from it: runs that end as any other, or say that nothing fits.
std::string check_other_layouts(const std::vector<std::string>& common, bool must_complete)
{
    std::vector<std::string> big = common;
    big.insert(big.end(), {"--byte-order", "big", "-a", "O"});
    const Run b = run(big);
    std::string problem = check_common(big, b, must_complete);
    if (!problem.empty()) return problem;
    std::vector<std::string> found = common;
    found.insert(found.end(), {"--block-size=auto", "--byte-order=auto"});
    const Run f = run(found);
    if (f.status == 1 && f.output.empty() && f.errors.find("trevanix: cannot tell the ") != std::string::npos) return "";
    if (f.status != 0 && f.status != 1) return describe(found) + ": exit status " + std::to_string(f.status);
    if (must_complete && !ends_with(f.output, kCompleted)) return describe(found) + ": no completion line";
    return "";
}

}  // namespace

const char* const kDatafileTemplates[4] = {
    "NUMBER\nVARCHAR2\nVARCHAR2\nDATE\nNUMBER\nCHAR\nNOPRINT\nUNKNOWN\nbogus\n\nDATE\nNUMBER",
    "DATE\nNUMBER\r\nVARCHAR2\nTIMESTAMP WITH TIME ZONE\nBINARY_DOUBLE\nNCHAR\r\nROWID\nINTERVAL DAY TO SECOND\n",
    "NUMBER\nNUMBER\nNUMBER\nNUMBER\nNUMBER\nNUMBER\nNUMBER\nNUMBER\n",
    "DATE\r\nCLOB\r\nDATE\r\nBLOB\r\nVARCHAR2\r\nNCLOB\r\nDATE\r\nDATE\r\n",
};

void report(const std::string& problem)
{
    if (problem.empty()) return;
    std::fprintf(stderr, "\n=== trevanix broke a promise ===\n%s\n", problem.c_str());
    scratch().remove();  // abort() runs no destructors; the fuzzer keeps the input
    std::abort();
}

// ---------------------------------------------------------------------------

// Whole rows over the same blocks, the file named twice so that chains can
// cross files: every record is valid JSON with a known chain state and at
// least its head among its pieces, and complete only when its chain is.
std::string check_rows(std::vector<std::string> args)
{
    const std::set<std::string> chains = {"single", "complete", "missing piece", "loop", "too long", "orphan"};
    args.insert(args.end(), {"--rows", "--format", "jsonl", args[1]});
    for (const char* action : {"A", "O"}) {
        std::vector<std::string> with_action = args;
        with_action.insert(with_action.end(), {"-a", action});
        const Run r = run(with_action);
        if (r.status != 0 && r.status != 1) return describe(with_action) + ": exit status " + std::to_string(r.status);
        try {
            for (const Json& row : parse_json_lines(r.output)) {
                const std::string& chain = row["chain"].text;
                if (!chains.count(chain)) return describe(with_action) + ": chain '" + chain + "'";
                if (row["pieces"].items.empty()) return describe(with_action) + ": a row without pieces";
                if (row["complete"].boolean && chain != "single" && chain != "complete")
                    return describe(with_action) + ": a " + chain + " row said complete";
            }
        } catch (const std::exception& e) {
            return describe(with_action) + ": not JSON Lines (" + e.what() + ")";
        }
    }
    return "";
}

// A schema that gives data object `object` a column of every way the
// unload writes values, so that whatever the pieces hold goes through
// each of them, and its segment `header` when there is one ("file F block
// B"), so that its blocks are accounted for.
std::string unload_schema(std::uint32_t object, const std::string& header)
{
    return "-- data object " + std::to_string(object) + (header.empty() ? "" : ", segment header " + header) +
           "\nCREATE TABLE \"F\".\"T\" (\"N\" NUMBER, \"V\" VARCHAR2(4000), \"D\" DATE, \"TS\" TIMESTAMP(9),\n"
           "  \"TZ\" TIMESTAMP(9) WITH TIME ZONE, \"NV\" NVARCHAR2(2000), \"R\" RAW(2000), \"BD\" BINARY_DOUBLE,\n"
           "  \"IY\" INTERVAL YEAR(9) TO MONTH, \"RI\" ROWID, \"C\" CLOB, \"L\" LONG);\n";
}

// "file F block B" of the file's first block that reads as a segment
// header; empty when none does.
std::string first_segment_header(const Bytes& file, std::uint32_t block_size)
{
    for (std::uint32_t number = 0; std::uint64_t{number} * block_size < file.size(); ++number) {
        const std::uint8_t type = file[std::size_t{number} * block_size];
        if (type != file_format::kBlockTypeSegmentHeader && type != file_format::kBlockTypeSpaceSegmentHeader) continue;
        std::unique_ptr<DataFile> data = DataFile::from_bytes(file, "datafile.dbf");
        data->set_geometry({block_size, ByteOrder::Little});
        return "file " + std::to_string(data->relative_file()) + " block " + std::to_string(number);
    }
    return "";
}

// The unload over the same blocks, its tables inferred, then typed by a
// schema for the first block's data object (in the segment of the first
// segment header): it completes with a summary (exit status 0, or 4 when
// something is damaged, lost or not decoded), or fails saying so and
// leaves none.
std::string check_unload(const Bytes& file, const std::string& path, std::uint32_t block_size, std::uint32_t object)
{
    const std::string dir = scratch().path("unloaded");
    const std::string schema = scratch().path("unload-schema.sql");
    write_file(schema, unload_schema(object, first_segment_header(file, block_size)));
    for (const bool typed : {false, true}) {
        std::vector<std::string> args{"--unload", dir, "--force", "--quiet", "-z", std::to_string(block_size)};
        if (typed) args.insert(args.end(), {"--schema", schema});
        args.push_back(path);
        const Run r = run(args);
        // 4: complete, with something damaged, lost or not decoded.
        if (r.status != 0 && r.status != 1 && r.status != 4)
            return describe(args) + ": exit status " + std::to_string(r.status);
        const bool summary = ::access((dir + "/summary.json").c_str(), F_OK) == 0;
        if (summary != (r.status != 1))
            return describe(args) + (summary ? ": a summary of a failed unload" : ": no summary of a completed unload");
        if (!typed) continue;
        // Two workers write what one writes.
        std::vector<std::string> with_jobs = args;
        with_jobs.push_back("--jobs=2");
        const Run two = run(with_jobs);
        const std::string single = scratch().path("unloaded-1");
        with_jobs[1] = single;
        with_jobs.back() = "--jobs=1";
        const Run one = run(with_jobs);
        if (one.status != two.status) return describe(with_jobs) + ": not the exit status of two workers";
        const std::string differs = two.status == 1 ? "" : unload_difference(dir, single);
        if (!differs.empty()) return describe(with_jobs) + ": " + differs + " not as two workers write it";
    }
    return "";
}

// Every block that reads as a segment header has its extent map walked:
// whatever the map claims, the extents it gives lie in the file and hold
// each block once, and the blocks to read are some of theirs.
std::string check_segment_maps(const Bytes& file, std::uint32_t block_size)
{
    std::unique_ptr<DataFile> data = DataFile::from_bytes(file, "datafile.dbf");
    data->set_geometry({block_size, ByteOrder::Little});
    const std::uint32_t file_number = data->relative_file();
    DataFile& read = *data;
    DataFileSet files;
    files.add(std::move(data));
    const std::uint64_t end = read.block_end();
    for (std::uint32_t number = 0; std::uint64_t{number} * block_size < file.size(); ++number) {
        const std::uint8_t type = file[std::size_t{number} * block_size];
        if (type != file_format::kBlockTypeSegmentHeader && type != file_format::kBlockTypeSpaceSegmentHeader) continue;
        const dictionary::BlockPlace header = dictionary::place_in(read, number);
        const dictionary::SegmentMap map = dictionary::read_segment_map(files, header);
        const std::string which = "the segment header at block " + std::to_string(number);
        std::set<std::uint64_t> held;
        for (const dictionary::ExtentRange& extent : map.extents) {
            if (extent.first.file != file_number) return which + ": an extent in a file not read";
            if (extent.length == 0 || std::uint64_t{extent.first.block} + extent.length > end)
                return which + ": an extent empty or past the file's end";
            for (std::uint32_t i = 0; i < extent.length; ++i)
                if (!held.insert(extent.first.block + i).second) return which + ": a block in two extents";
        }
        for (const dictionary::BlockPlace& place : dictionary::segment_blocks(map, header))
            if (held.count(place.block) == 0 || place == header) return which + ": a block to read outside its extents";
        if (map.ok() && map.extents.empty()) return which + ": a map believed with no extent";
    }
    return "";
}

// What the file is, as --inventory tells: a line, or a valid JSON record
// and status 0 or 4 (cut short).
std::string check_inventory(const std::string& path)
{
    for (const bool json : {false, true}) {
        std::vector<std::string> args{"--inventory", path};
        if (json) args.insert(args.begin() + 1, "--format=jsonl");
        const Run r = run(args);
        if (r.status != 0 && r.status != 4) return describe(args) + ": exit status " + std::to_string(r.status);
        if (r.output.empty() || r.output.back() != '\n') return describe(args) + ": no line";
        if (!json) continue;
        try {
            parse_json_lines(r.output);
        } catch (const std::exception& e) {
            return describe(args) + ": not JSON Lines (" + e.what() + ")";
        }
    }
    return "";
}

std::string run_datafile_input(const std::uint8_t* data, std::size_t size)
{
    if (size < 4) return "";
    // Every directory entry may point at the same long piece, so what a run
    // prints can grow with the square of the block; longer inputs are cut
    // to keep what the collecting sink holds within the fuzzer's memory.
    size = std::min(size, kMaxDatafileInput);
    const std::uint8_t flags = data[0];
    const Range range = range_for(data[1]);
    const auto layout = static_cast<std::uint16_t>(data[2] | (data[3] << 8));
    std::uint32_t block_size;
    Bytes file;
    if (layout & kLargeLayout) {
        block_size = kLargeSizes[layout & 3];
        file = expand_large_layout(data + 4, size - 4, block_size);
    } else {
        block_size = layout % 1024u + 1;
        file.assign(data + 4, data + size);
    }
    const std::string path = scratch().path("datafile.dbf");
    write_file(path, file);

    std::vector<std::string> common{"-f", path, "-z", std::to_string(block_size)};
    if (flags & kWithVerbose) common.push_back("-g");
    if (flags & kWithLocation) common.push_back("-v");
    if (flags & kWithTemplate) {
        common.push_back("-c");
        common.push_back(datafile_template_path((flags >> 3) & 3));
    }
    std::string separator;
    bool separator_given = false;
    separator_for(separator_bits(flags), separator, separator_given);
    if (separator_given) {
        common.push_back("-s");
        common.push_back(separator);
    }
    const std::uint32_t first_object =
        ByteView(file.data(), std::min<std::size_t>(file.size(), block_size)).u32le(block_format::kObjectIdAt);
    std::uint32_t object_filter = 0;
    if (flags & kWithObjectFilter) {
        object_filter = first_object;
        common.push_back("-o");
        common.push_back(std::to_string(object_filter));
    }
    common.insert(common.end(), range.args.begin(), range.args.end());
    const bool ranged = !range.args.empty() && range.count != -1;

    std::string problem = check_verify(common);
    if (!problem.empty()) return problem;
    problem = check_rows(common);
    if (!problem.empty()) return problem;
    problem = check_unload(file, path, block_size, first_object);
    if (!problem.empty()) return problem;
    problem = check_segment_maps(file, block_size);
    if (!problem.empty()) return problem;
    problem = check_inventory(path);
    if (!problem.empty()) return problem;
    problem = check_other_layouts(common, !ranged);
    if (!problem.empty()) return problem;
    for (const char* action : kActions) {
        std::vector<std::string> args = common;
        if (action) {
            args.push_back("-a");
            args.push_back(action);
        }
        Run r = run(args);
        problem = check_common(args, r, !ranged);
        if (!problem.empty()) return problem;
        // Without a template no value prints as text, so a rule line can
        // only be a rule: the deleted-only modes print theirs alone.
        if (!(flags & kWithTemplate)) {
            const bool deleted_only = action && (action[0] == 'D' || action[0] == 'S');
            if (r.output.find(deleted_only ? kRule : kDeletedRule) != std::string::npos)
                return describe(args) + ": the rule line of the other mode";
        }
        if (action && action[0] == 'C' && !(flags & kWithVerbose)) {
            std::string expected = expected_scn_listing(file, block_size, object_filter, range);
            if (r.output != expected || r.status != 0)
                return describe(args) + ": DUMPSCNS listing differs; got:\n" + tail_of(r.output) +
                       "\nexpected:\n" + tail_of(expected);
        }
        problem = check_jsonl(args, r, !(flags & kWithTemplate));
        if (!problem.empty()) return problem;
    }
    return "";
}

std::string run_template_input(const std::uint8_t* data, std::size_t size)
{
    if (size < 3) return "";
    const std::uint8_t flags = data[0];
    const char separator = (flags & kTemplateSeparator) ? static_cast<char>(data[1]) : '\n';
    std::size_t wanted = data[2];
    std::size_t at = 3;
    std::vector<TemplateColumn> columns;
    std::size_t piece_bytes = 3;
    constexpr std::size_t kMaxPieceBytes = 7000;  // the piece must fit in its 8192-byte block
    while (columns.size() < wanted && at < size) {
        TemplateColumn c;
        std::uint8_t kind = data[at++];
        std::size_t length = 0;
        if (kind == block_format::kNullPrefix) {
            c.null = true;
        } else if (kind == block_format::kLongPrefix) {
            c.long_prefix = true;
            length = at < size ? data[at++] : 0;
        } else {
            length = kind;
        }
        length = std::min(length, size - at);
        c.value.assign(data + at, data + at + length);
        at += length;
        piece_bytes += (c.long_prefix ? 3 : 1) + length;
        if (piece_bytes > kMaxPieceBytes) break;
        columns.push_back(std::move(c));
    }
    const std::string text(reinterpret_cast<const char*>(data + at), size - at);

    datafile::RowPiece piece = datafile::head_piece({});
    if (flags & kTemplateDeleted) piece = datafile::deleted_piece({});
    for (const TemplateColumn& c : columns) piece.columns.push_back(builder_column(c));
    datafile::Block block;
    block.rows = {piece};
    datafile::File file;
    file.blocks = {block};
    const std::string data_path = scratch().path("template-rows.dbf");
    const std::string template_path = scratch().path("template.txt");
    write_file(data_path, datafile::build_file(file));
    write_file(template_path, text);

    // An HDFL piece whose column count looks like a flag byte is no row.
    const bool deleted = flags & kTemplateDeleted;
    const bool no_row = deleted && (columns.size() == (block_format::kFlagH | block_format::kFlagF | block_format::kFlagL) ||
                                    columns.size() == (block_format::kFlagH | block_format::kFlagD | block_format::kFlagF |
                                                       block_format::kFlagL));
    const std::vector<const ColumnType*> types = template_types(text);
    std::string body = deleted ? kDeletedRule : kRule;
    for (std::size_t i = 0; i < columns.size(); ++i)
        body += expected_column(i < types.size() ? *types[i] : kUnlistedType, columns[i], separator);
    const std::string expected = (no_row ? "" : body) + kCompleted;

    std::vector<std::string> common{"-f", data_path, "-c", template_path};
    if (flags & kTemplateSeparator) {
        common.push_back("-s");
        common.push_back(std::string(1, separator));
    }
    std::vector<const char*> actions{deleted ? "D" : "A"};
    if (flags & kTemplateHeapWalk) actions.push_back(deleted ? "S" : "O");
    for (const char* action : actions) {
        std::vector<std::string> args = common;
        args.push_back("-a");
        args.push_back(action);
        Run r = run(args);
        // A piece taken as no row moves the heap walk on by two bytes, into
        // its own column bytes: only the directory walk's output is known.
        const bool heap_walk = action[0] == 'O' || action[0] == 'S';
        if (no_row && heap_walk) {
            std::string problem = check_common(args, r, true);
            if (!problem.empty()) return problem;
        } else if (r.output != expected || r.status != 0)
            return describe(args) + ": template rendering differs; got:\n" + tail_of(r.output) + "\nexpected:\n" +
                   tail_of(expected);
        if (flags & kTemplateVerbose) {
            args.push_back("-g");
            Run v = run(args);
            std::string problem = check_common(args, v, true);
            if (!problem.empty()) return problem;
            if (!no_row && v.output.find(body) == std::string::npos)
                return describe(args) + ": -g output lacks the rendered row";
        }
    }
    return "";
}

std::string run_value_input(const std::uint8_t* data, std::size_t size)
{
    if (size < 1) return "";
    // One copy of the value per type of the table must fit in one block.
    const std::size_t max_value = 7000 / kColumnTypeCount;
    Bytes value(data + 1, data + std::min(size, max_value + 1));
    for (const ColumnType& type : column_type_table()) {
        std::string problem = check_decoded_value(type, value);
        if (!problem.empty()) return problem;
    }

    std::string separator_option;
    bool separator_given = false;
    const char separator = separator_for(separator_bits(data[0]), separator_option, separator_given);
    TemplateColumn column;
    column.value = value;
    datafile::Block block;
    const datafile::Column c = builder_column(column);
    block.rows = {datafile::head_piece(std::vector<datafile::Column>(kColumnTypeCount, c))};
    datafile::File file;
    file.blocks = {block};
    const std::string data_path = scratch().path("value.dbf");
    // Every keyword of the table, in its order.
    static const std::string template_path = [] {
        std::string text;
        for (const ColumnType& type : column_type_table()) text += std::string(type.keyword) + "\n";
        std::string written = scratch().path("value.txt");
        write_file(written, text);
        return written;
    }();
    write_file(data_path, datafile::build_file(file));
    std::vector<std::string> args{"-f", data_path, "-c", template_path};
    if (separator_given) {
        args.push_back("-s");
        args.push_back(separator_option);
    }
    Run r = run(args);
    std::string expected = kRule;
    for (const ColumnType& type : column_type_table()) expected += expected_column(type, column, separator);
    expected += kCompleted;
    if (r.output != expected || r.status != 0)
        return describe(args) + ": typed value differs; got:\n" + tail_of(r.output) + "\nexpected:\n" +
               tail_of(expected);
    return "";
}

std::string run_arguments_input(const std::uint8_t* data, std::size_t size)
{
    write_argument_files();
    std::vector<std::string> args;
    std::size_t start = 0;
    while (start <= size && args.size() < 24) {
        std::size_t end = start;
        while (end < size && data[end] != 0) ++end;
        if (end - start >= 2 && data[start] == 0xFF)
            args.push_back(resolve_word(kArgumentWords[data[start + 1] % kArgumentWords.size()]));
        else
            args.emplace_back(reinterpret_cast<const char*>(data + start), end - start);
        start = end + 1;
    }

    std::vector<const char*> argv{"trevanix"};
    for (const std::string& a : args) argv.push_back(a.c_str());
    argv.push_back(nullptr);
    RunSettings parsed;
    OutputSink parse_out;
    OutputSink parse_messages;
    const bool ok = parse_arguments(static_cast<int>(args.size() + 1), argv.data(), parsed, parse_out, parse_messages);
    const std::string parse_output = parse_out.captured();
    const std::string parse_errors = parse_messages.captured();
    if (!ok && parse_output.empty() && parse_errors.empty())
        return describe(args) + ": an argument error without a message";
    if (!ok && !parse_output.empty() && !parse_errors.empty())
        return describe(args) + ": an argument error printed twice";
    if (ok && !(parse_output + parse_errors).empty()) return describe(args) + ": parsing printed " + parse_output;
    // The tables' modes write directories of files: their own tests run them.
    if (ok && parsed.reads_tables()) return "";
    // Only the harness's own files are read.
    if ((parsed.data_file_given && !is_harness_file(parsed.data_file)) ||
        (parsed.template_given && !is_harness_file(parsed.template_file)) ||
        (!parsed.dictionary_file.empty() && !is_harness_file(parsed.dictionary_file)) ||
        ((parsed.reads_schema() || parsed.inventory) &&
         !std::all_of(parsed.more_files.begin(), parsed.more_files.end(), is_harness_file)))
        return "";
    if (parsed.reads_several_files())
        for (const std::string& more : parsed.more_files)
            if (!is_harness_file(more)) return "";

    Run r = run(args);
    if (!ok) {
        if (r.status != 2 || r.output != parse_output || r.errors != parse_errors)
            return describe(args) + ": an argument error must print its message alone and exit 2";
        return "";
    }
    if (parsed.help) {
        if (r.status != 0 || r.output != std::string(kHelpText) + "\n")
            return describe(args) + ": help must print the help text alone and exit 0";
        return "";
    }
    if (parsed.long_help || parsed.version) {
        const bool help = parsed.long_help && r.output == kLongHelpText;
        const bool version = !parsed.long_help && r.output.rfind("trevanix ", 0) == 0;
        if (r.status != 0 || !r.errors.empty() || !(help || version))
            return describe(args) + ": --help and --version must print their text alone and exit 0";
        return "";
    }
    if (parsed.reads_schema()) {
        // The harness's files hold no dictionary: the run says why it cannot
        // read one and exits 1, or reads it and exits 0 (4 when it completed
        // with something damaged, lost or not decoded, or files of several
        // databases left a dictionary without its data files).
        if (r.status != 0 && r.status != 1 && r.status != 4)
            return describe(args) + ": exit status " + std::to_string(r.status);
        if (r.status == 1 && (r.errors.empty() || !r.output.empty()))
            return describe(args) + ": a failure must say why on standard error alone";
        return "";
    }
    if (parsed.inventory) {
        // Every file named is looked at: none is said to be left unread.
        if (r.status != 0 && r.status != 1 && r.status != 4) return describe(args) + ": exit status " + std::to_string(r.status);
        if (r.errors.find("was not read") != std::string::npos)
            return describe(args) + ": --inventory said a file it looked at was not read";
        return "";
    }
    // What the command line ignores or misreads is said first, one line of
    // printable text each.
    std::string warnings;
    for (const std::string& w : parsed.warnings) {
        if (w.rfind("trevanix: ", 0) != 0 || w.find('\n') != w.size() - 1 ||
            !std::all_of(w.begin(), w.end() - 1, [](char c) { return c >= 0x20 && c < 0x7F; }))
            return describe(args) + ": a warning that is not one line of printable text: " + w;
        warnings += w;
    }
    if (r.errors.rfind(warnings, 0) != 0) return describe(args) + ": the warnings do not come first";
    if (parsed.merge) {
        // The words are parts a shard wrote, none of which the harness has:
        // the merge says why it cannot join them, after the warnings.
        if (r.status != 1 && r.status != 2) return describe(args) + ": exit status " + std::to_string(r.status);
        if (r.errors.size() == warnings.size() || !r.output.empty())
            return describe(args) + ": a merge that failed must say why on standard error alone";
        return "";
    }
    const bool text = parsed.format == OutputFormat::Text;
    if (!parsed.data_file_given) {
        if (r.status != 24 || (text ? r.output : r.errors.substr(warnings.size())) != "Need name of data file.\n")
            return describe(args) + ": a run without -f must say so and exit 24";
        return "";
    }
    if ((parsed.block_size_auto || parsed.byte_order_auto) && r.status == 1 && r.output.empty() &&
        r.errors.find("trevanix: cannot tell the ") != std::string::npos)
        return "";
    if (parsed.verify) {
        // The data file input checks the report itself.
        if (r.status != 0 && r.status != 1 && r.status != 4)
            return describe(args) + ": verify exit status " + std::to_string(r.status);
        return "";
    }
    if (!text) {
        // Records only on standard output; the run ends as the text run does.
        if (r.status != 0 && r.status != 1) return describe(args) + ": exit status " + std::to_string(r.status);
        if (r.output.find("Completed.") != std::string::npos)
            return describe(args) + ": the completion line among the records";
        if (r.status == 1 && r.errors.empty()) return describe(args) + ": a failure without a message";
        return "";
    }
    bool unlimited = !parsed.single_block && parsed.count <= 0;
    std::string problem = check_common(args, r, unlimited);
    if (!problem.empty()) {
        // Reading a directory or a refused position are failures of their own.
        for (const char* message : {"Failed to read ", "Failed to set pointer.\n", "Failed to open datafile "})
            if (r.status == 1 && r.output.find(message) != std::string::npos && ends_with(r.output, kCompleted))
                return "";
        return problem;
    }
    return "";
}

// ---------------------------------------------------------------------------
// Building inputs.

Bytes datafile_input(std::uint8_t flags, std::uint8_t range, std::uint32_t block_size, const Bytes& file)
{
    Bytes input{flags, range, 0, 0};
    int large = -1;
    for (int i = 0; i < 4; ++i)
        if (kLargeSizes[i] == block_size) large = i;
    if (large >= 0 && !file.empty() && file.size() % block_size == 0) {
        const auto layout = static_cast<std::uint16_t>(kLargeLayout | large);
        input[2] = static_cast<std::uint8_t>(layout);
        input[3] = static_cast<std::uint8_t>(layout >> 8);
        // Each block as its head and tail around its longest run of zeros.
        for (std::size_t start = 0; start < file.size(); start += block_size) {
            std::size_t best_from = block_size, best_length = 0;
            for (std::size_t i = 0; i < block_size;) {
                std::size_t j = i;
                while (j < block_size && file[start + j] == 0) ++j;
                if (j - i > best_length) best_from = i, best_length = j - i;
                i = j + 1;
            }
            std::size_t head = best_from == block_size ? block_size : best_from;
            std::size_t tail = block_size - head - best_length;
            input.push_back(static_cast<std::uint8_t>(head));
            input.push_back(static_cast<std::uint8_t>(head >> 8));
            input.push_back(static_cast<std::uint8_t>(tail));
            input.push_back(static_cast<std::uint8_t>(tail >> 8));
            append(input, file.begin() + static_cast<std::ptrdiff_t>(start),
                   file.begin() + static_cast<std::ptrdiff_t>(start + head));
            append(input, file.begin() + static_cast<std::ptrdiff_t>(start + block_size - tail),
                   file.begin() + static_cast<std::ptrdiff_t>(start + block_size));
        }
        return input;
    }
    if (block_size < 1 || block_size > 1024) throw std::invalid_argument("no layout for this block size");
    input[2] = static_cast<std::uint8_t>(block_size - 1);
    input[3] = static_cast<std::uint8_t>((block_size - 1) >> 8);
    append(input, file.begin(), file.end());
    return input;
}

Bytes template_input(std::uint8_t flags, char separator, const std::vector<TemplateColumn>& columns,
                     const std::string& template_text)
{
    Bytes input{flags, static_cast<std::uint8_t>(separator), static_cast<std::uint8_t>(columns.size())};
    for (const TemplateColumn& c : columns) {
        if (c.null) {
            input.push_back(block_format::kNullPrefix);
            continue;
        }
        if (c.long_prefix) input.push_back(block_format::kLongPrefix);
        input.push_back(static_cast<std::uint8_t>(c.value.size()));
        append(input, c.value.begin(), c.value.end());
    }
    append(input, template_text.begin(), template_text.end());
    return input;
}

Bytes value_input(std::uint8_t separator_choice, const Bytes& value)
{
    Bytes input{separator_choice};
    append(input, value.begin(), value.end());
    return input;
}

const std::vector<std::string> kArgumentWords = {
    "-f", "-c", "-h", "-n", "-z", "-o", "-b", "-s", "-a", "-g", "-v",
    "@data", "@template", "@missing", "@empty", "@dir",
    "A", "D", "O", "S", "C", "a", "x", "",
    "0", "1", "2", "3", "-1", "512", "8192", "16000", "16001", "74570", "2147483647", "-2147483648",
    "4294967297", " +7z", ",",
    "--format", "--format=jsonl", "--format=csv", "--format=", "jsonl", "csv", "text", "--format=text",
    "--verify", "--verify=yes", "--block-size", "--block-size=auto", "32768", "2048", "--byte-order", "big",
    "--byte-order=auto", "auto",
    "--charset", "--charset=AL32UTF8", "--charset=", "ZHS16GBK", "we8mswin1252", "EBCDIC",
    "--dictionary", "--list-tables", "--ddl", "--inventory", "--dictionary=auto",
    "-gv", "-b5", "-F", "-verify", "-", "--", "0x10", "abc", "DUMPSCNS", ", ", "\x1b[2J",
};

Bytes arguments_input(const std::vector<std::string>& words)
{
    Bytes input;
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (i > 0) input.push_back(0);
        const std::string& w = words[i];
        const bool numbered = w.size() > 1 && w[0] == '@' &&
                              std::all_of(w.begin() + 1, w.end(), [](char c) { return c >= '0' && c <= '9'; });
        if (numbered) {
            input.push_back(0xFF);
            input.push_back(static_cast<std::uint8_t>(std::stoi(w.substr(1))));
        } else {
            append(input, w.begin(), w.end());
        }
    }
    return input;
}

}  // namespace fuzz
