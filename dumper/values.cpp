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

bool render_number(OutputSink& out, const ByteView& value, char separator)
{
    if (!value.empty()) {
        NumberText number;
        if (!decode_number(value, number)) return false;
        out.text(std::string_view(number.text, number.length));
    }
    out.byte(separator);
    return true;
}

bool render_date(OutputSink& out, const ByteView& value, char separator)
{
    if (!value.empty()) {
        if (value.size() < 7) return false;
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
    out.bytes(value.data(), value.size());
    out.byte(separator);
    return true;
}

// Appends the base-100 digit as two decimal characters.
char* put_pair(char* p, int digit)
{
    *p++ = static_cast<char>('0' + digit / 10);
    *p++ = static_cast<char>('0' + digit % 10);
    return p;
}

}  // namespace

bool decode_number(const ByteView& value, NumberText& result)
{
    constexpr std::size_t kMaxBytes = 21;
    constexpr std::uint8_t kZero = 0x80;
    constexpr std::uint8_t kNegativeTerminator = 0x66;
    const std::size_t size = value.size();
    if (size == 0 || size > kMaxBytes) return false;
    const std::uint8_t first = value.u8(0);
    result.length = 0;
    if (first == kZero) {
        if (size != 1) return false;
        result.text[result.length++] = '0';
        return true;
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
            if (b < 2 || b > 101) return false;
            digits[count++] = 101 - b;
        }
    } else {
        exponent = first - 0xC1;
        for (std::size_t k = 1; k < end; ++k) {
            int b = value.u8(k);
            if (b < 1 || b > 100) return false;
            digits[count++] = b - 1;
        }
    }
    if (count == 0) return false;
    auto digit_at = [&](int power) {
        int index = exponent - power;
        return index >= 0 && index < count ? digits[index] : 0;
    };

    char integer[2 * 64];
    char* ip = integer;
    for (int power = exponent; power >= 0; --power) ip = put_pair(ip, digit_at(power));
    char fraction[2 * 90];
    char* fp = fraction;
    for (int power = -1; power >= exponent - (count - 1); --power) fp = put_pair(fp, digit_at(power));

    const char* int_begin = integer;
    while (int_begin < ip && *int_begin == '0') ++int_begin;
    while (fp > fraction && fp[-1] == '0') --fp;

    char* out = result.text;
    if (negative && (int_begin < ip || fp > fraction)) *out++ = '-';
    if (int_begin == ip) {
        *out++ = '0';
    } else {
        std::memcpy(out, int_begin, static_cast<std::size_t>(ip - int_begin));
        out += ip - int_begin;
    }
    if (fp > fraction) {
        *out++ = '.';
        std::memcpy(out, fraction, static_cast<std::size_t>(fp - fraction));
        out += fp - fraction;
    }
    result.length = static_cast<std::size_t>(out - result.text);
    return true;
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
