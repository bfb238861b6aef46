// Column template and typed values: looks up a column's type in the template
// and prints the value as NUMBER, VARCHAR2 or DATE text.
#include <cerrno>
#include <cstring>
#include <string_view>
#include <unistd.h>

#include "trevanix.h"

namespace {

// A piece has at most 255 columns, so only that many template lines matter.
constexpr std::size_t kMaxTemplateLines = 255;
// A template larger than this is read no further; later lines count as missing.
constexpr std::size_t kMaxTemplateBytes = 16u << 20;
// Longer than every keyword with a carriage return after it.
constexpr std::size_t kKeywordRoom = 16;

struct Keyword {
    std::string_view text;
    ColumnType type;
};

constexpr Keyword kKeywords[] = {
    {"NUMBER", ColumnType::Number},   {"VARCHAR2", ColumnType::Varchar2},
    {"DATE", ColumnType::Date},       {"CHAR", ColumnType::Char},
    {"UNKNOWN", ColumnType::Unknown}, {"NOPRINT", ColumnType::NoPrint},
};

// Collects one template line as it streams past: the text before its first
// zero byte is all that is compared, and only its first bytes can matter.
class TemplateLine {
public:
    void add(char c)
    {
        started_ = true;
        if (saw_zero_) return;
        if (c == '\0') {
            saw_zero_ = true;
        } else if (length_ < kKeywordRoom) {
            text_[length_++] = c;
        } else {
            too_long_ = true;
        }
    }
    bool started() const { return started_; }

    // The type this line names, given whether a newline ended it.
    ColumnType type(bool ended_by_newline) const
    {
        if (too_long_) return ColumnType::Other;
        std::size_t length = length_;
        // The newline goes, and one carriage return with it (CRLF templates);
        // text cut short by a zero byte keeps its end as it is.
        if (ended_by_newline && !saw_zero_ && length > 0 && text_[length - 1] == '\r') --length;
        std::string_view text(text_, length);
        for (const Keyword& keyword : kKeywords)
            if (text == keyword.text) return keyword.type;
        return ColumnType::Other;
    }

private:
    char text_[kKeywordRoom] = {};
    std::size_t length_ = 0;
    bool started_ = false;
    bool saw_zero_ = false;
    bool too_long_ = false;
};

void load_column_template(const std::string& path, ColumnTemplate& t)
{
    int fd = open_for_reading(path.c_str());
    if (fd < 0) {
        t.status = ColumnTemplate::Status::OpenFailed;
        return;
    }
    t.status = ColumnTemplate::Status::Loaded;
    char buffer[1 << 14];
    std::size_t total = 0;
    bool at_end = false;
    TemplateLine line;
    while (t.types.size() < kMaxTemplateLines && total < kMaxTemplateBytes) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            at_end = true;  // a read error ends the template like its end does
            break;
        }
        total += static_cast<std::size_t>(n);
        for (ssize_t i = 0; i < n && t.types.size() < kMaxTemplateLines; ++i) {
            if (buffer[i] == '\n') {
                t.types.push_back(line.type(true));
                line = TemplateLine();
            } else {
                line.add(buffer[i]);
            }
        }
    }
    // A last line without a newline still counts.
    if (at_end && line.started() && t.types.size() < kMaxTemplateLines)
        t.types.push_back(line.type(false));
    ::close(fd);
}

ColumnType column_type(DumpContext& ctx, int column_index)
{
    ColumnTemplate& t = ctx.column_template;
    if (t.status == ColumnTemplate::Status::NotLoaded)
        load_column_template(ctx.settings.template_file, t);
    std::size_t index = static_cast<std::size_t>(column_index);
    return index < t.types.size() ? t.types[index] : ColumnType::Other;
}

// Appends the base-100 digit as two decimal characters.
char* put_pair(char* p, int digit)
{
    std::memcpy(p, OutputSink::kDigitPairs + 2 * digit, 2);
    return p + 2;
}

// Writes a NUMBER's decimal text at `out` (room for NumberText::text);
// returns its end, or nullptr when the bytes are not a valid NUMBER.
char* format_number(const ByteView& value, char* out)
{
    constexpr std::size_t kMaxBytes = 21;
    constexpr std::uint8_t kZero = 0x80;
    constexpr std::uint8_t kNegativeTerminator = 0x66;
    const std::size_t size = value.size();
    if (size == 0 || size > kMaxBytes) return nullptr;
    const std::uint8_t first = value.u8(0);
    if (first == kZero) {
        if (size != 1) return nullptr;
        *out++ = '0';
        return out;
    }

    // Base-100 digits, most significant first; `exponent` is the power of 100
    // of the first one.
    const bool negative = first < kZero;
    int digits[kMaxBytes];
    int count = 0;
    int exponent;
    std::size_t end = size;
    if (negative) {
        exponent = 0x3E - first;
        if (end > 1 && value.u8(end - 1) == kNegativeTerminator) --end;
        for (std::size_t k = 1; k < end; ++k) {
            int b = value.u8(k);
            if (b < 2 || b > 101) return nullptr;
            digits[count++] = 101 - b;
        }
    } else {
        exponent = first - 0xC1;
        for (std::size_t k = 1; k < end; ++k) {
            int b = value.u8(k);
            if (b < 1 || b > 100) return nullptr;
            digits[count++] = b - 1;
        }
    }
    if (count == 0) return nullptr;

    // Zero digits at either end change nothing but the exponent.
    int lead = 0;
    while (lead < count && digits[lead] == 0) ++lead;
    if (lead == count) {  // zero, whatever its sign
        *out++ = '0';
        return out;
    }
    exponent -= lead;
    const int* d = digits + lead;
    count -= lead;
    while (d[count - 1] == 0) --count;

    // d[0] and d[count - 1] are not zero now: the text starts at the first
    // significant character and the fraction, if any, ends at the last.
    if (negative) *out++ = '-';
    int next = 0;  // the next digit to print
    if (exponent < 0) {
        *out++ = '0';
    } else {
        // The first digit without its leading zero.
        std::memcpy(out, OutputSink::kDigitPairs + 2 * d[0] + (d[0] < 10), 2);
        out += d[0] < 10 ? 1 : 2;
        for (int k = 1; k <= exponent; ++k) out = put_pair(out, k < count ? d[k] : 0);
        next = exponent + 1;
    }
    if (next < count) {
        *out++ = '.';
        for (int k = exponent + 1; k < 0; ++k) out = put_pair(out, 0);
        for (int k = next; k < count; ++k) out = put_pair(out, d[k]);
        if (out[-1] == '0') --out;
    }
    return out;
}

bool render_number(OutputSink& out, const ByteView& value, char separator)
{
    char* text = out.claim(sizeof NumberText::text + 1);
    char* end = text;
    if (!value.empty()) {
        end = format_number(value, text);
        if (end == nullptr) return false;
    }
    *end++ = separator;
    out.commit(end);
    return true;
}

// True when every field of the date has the digits "%.4d" and "%.2d" give
// it without padding or a sign: then each prints as pairs of digits.
bool date_fields_in_range(const ByteView& value)
{
    auto in = [&](std::size_t at, int low, int high) { return value.u8(at) >= low && value.u8(at) <= high; };
    return in(0, 100, 199) && in(1, 100, 199) && in(2, 0, 99) && in(3, 0, 99) && in(4, 1, 100) &&
           in(5, 1, 100) && in(6, 1, 100);
}

bool render_date(OutputSink& out, const ByteView& value, char separator)
{
    if (!value.empty()) {
        if (value.size() < 7) return false;
        if (date_fields_in_range(value)) {
            // "YYYY/MM/DD hh:mm:ss" and the separator: 20 bytes.
            char* p = out.claim(20);
            p = put_pair(p, value.u8(0) - 100);
            p = put_pair(p, value.u8(1) - 100);
            *p++ = '/';
            p = put_pair(p, value.u8(2));
            *p++ = '/';
            p = put_pair(p, value.u8(3));
            *p++ = ' ';
            p = put_pair(p, value.u8(4) - 1);
            *p++ = ':';
            p = put_pair(p, value.u8(5) - 1);
            *p++ = ':';
            p = put_pair(p, value.u8(6) - 1);
            *p++ = separator;
            out.commit(p);
            return true;
        }
        out.dec_min((value.u8(0) - 100) * 100 + (value.u8(1) - 100), 4);
        out.byte('/');
        out.dec_min(value.u8(2), 2);
        out.byte('/');
        out.dec_min(value.u8(3), 2);
        out.byte(' ');
        out.dec_min(value.u8(4) - 1, 2);
        out.byte(':');
        out.dec_min(value.u8(5) - 1, 2);
        out.byte(':');
        out.dec_min(value.u8(6) - 1, 2);
    }
    out.byte(separator);
    return true;
}

bool render_text(OutputSink& out, const ByteView& value, char separator)
{
    // Inside a block the value is copied in whole groups of 32 bytes, as far
    // as the block allows, and the separator written over what follows it.
    const std::size_t size = value.size();
    const std::size_t whole = (size + 31) & ~std::size_t{31};
    if (value.readable() >= whole && whole < OutputSink::kCapacity) {
        char* p = out.claim(whole + 1);
        for (std::size_t i = 0; i < size; i += 32) std::memcpy(p + i, value.data() + i, 32);
        p[size] = separator;
        out.commit(p + size + 1);
        return true;
    }
    out.bytes(value.data(), size);
    out.byte(separator);
    return true;
}

}  // namespace

bool decode_number(const ByteView& value, NumberText& result)
{
    char* end = format_number(value, result.text);
    result.length = end == nullptr ? 0 : static_cast<std::size_t>(end - result.text);
    return end != nullptr;
}

bool render_column(DumpContext& ctx, int column_index, ByteView value)
{
    ColumnType type = column_type(ctx, column_index);
    if (ctx.column_template.status == ColumnTemplate::Status::OpenFailed) {
        if (ctx.settings.verbose) ctx.out.text("Failed to open column template file.\n");
        return false;
    }
    const char separator = ctx.settings.separator;
    switch (type) {
    case ColumnType::Number: return render_number(ctx.out, value, separator);
    case ColumnType::Varchar2:
    case ColumnType::Char: return render_text(ctx.out, value, separator);
    case ColumnType::Date: return render_date(ctx.out, value, separator);
    case ColumnType::NoPrint: return true;
    case ColumnType::Unknown:
    case ColumnType::Other: return false;
    }
    return false;
}
