#include <algorithm>
#include <cctype>
#include <cerrno>
#include <string>
#include <string_view>
#include <vector>
#include <unistd.h>

#include "read/column_template.h"

#include "read/data_file.h"
#include "values/spelling.h"

namespace {

// A row has at most 1000 columns (a piece 255), so only that many template
// lines matter.
constexpr std::size_t kMaxTemplateLines = kMaxRowColumns;
// A template larger than this is read no further; later lines count as missing.
constexpr std::size_t kMaxTemplateBytes = 16u << 20;
// Longer than every keyword with a carriage return after it.
constexpr std::size_t kKeywordRoom = kMaxKeywordLength + 2;
// How much of a line that names no type a warning quotes.
constexpr std::size_t kQuotedRoom = 64;

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
        } else if (length_ < kQuotedRoom) {
            text_[length_++] = c;
        } else {
            cut_ = true;
        }
    }
    bool started() const { return started_; }

    // The line as a warning quotes it, without its line end.
    std::string quoted(bool ended_by_newline) const
    {
        std::string text(text_, kept_length(ended_by_newline));
        if (cut_) text += "...";
        return text;
    }

    // The type this line names, given whether a newline ended it.
    const ColumnType& type(bool ended_by_newline) const
    {
        const std::size_t length = kept_length(ended_by_newline);
        if (cut_ || length > kKeywordRoom) return kUnlistedType;
        return find_column_type(std::string_view(text_, length));
    }

private:
    // The newline goes, and one carriage return with it (CRLF templates);
    // text cut short by a zero byte keeps its end as it is.
    std::size_t kept_length(bool ended_by_newline) const
    {
        std::size_t length = length_;
        if (ended_by_newline && !saw_zero_ && !cut_ && length > 0 && text_[length - 1] == '\r') --length;
        return length;
    }

    char text_[kQuotedRoom] = {};
    std::size_t length_ = 0;
    bool started_ = false;
    bool saw_zero_ = false;
    bool cut_ = false;
};

// Adds line `line` of the template, noting it when it names no type.
void add_line(ColumnTemplate& t, const TemplateLine& line, bool ended_by_newline)
{
    const ColumnType& type = line.type(ended_by_newline);
    t.types.push_back(&type);
    if (&type == &kUnlistedType)
        t.unmatched.push_back({static_cast<std::uint32_t>(t.types.size()), line.quoted(ended_by_newline)});
}

}  // namespace

ColumnTemplate load_column_template(const std::string& path)
{
    ColumnTemplate t;
    int fd = open_for_reading(path.c_str());
    if (fd < 0) {
        t.open_error = errno;
        t.by_column.fill(&kUnlistedType);
        return t;
    }
    t.opened = true;
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
                add_line(t, line, true);
                line = TemplateLine();
            } else {
                line.add(buffer[i]);
            }
        }
    }
    // A last line without a newline still counts.
    if (at_end && line.started() && t.types.size() < kMaxTemplateLines) add_line(t, line, false);
    ::close(fd);
    for (std::size_t k = 0; k < t.by_column.size(); ++k) t.by_column[k] = k < t.types.size() ? t.types[k] : &kUnlistedType;
    return t;
}

std::size_t ColumnTemplate::exported_columns(std::size_t lines) const
{
    std::size_t count = 0;
    for (std::size_t k = 0; k < types.size() && k < lines; ++k) count += types[k]->role != TypeRole::Suppressed;
    return count;
}

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string upper(std::string_view text)
{
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

// The text with every "(...)" left out and the blanks before them.
std::string without_sizes(std::string_view text)
{
    std::string out;
    int depth = 0;
    for (char c : text) {
        if (c == '(') {
            while (!out.empty() && is_blank(out.back())) out.pop_back();
            ++depth;
        } else if (c == ')' && depth > 0) {
            --depth;
        } else if (depth == 0) {
            out += c;
        }
    }
    return out;
}

bool names_type(std::string_view text) { return &find_column_type(text) != &kUnlistedType; }

// The keyword nearest to `text`, when a typo or two away.
std::string_view nearest_keyword(std::string_view text)
{
    std::string_view nearest;
    std::size_t best = text.size() < 6 ? 2 : 3;
    for (const ColumnType& type : column_type_table()) {
        const std::size_t distance = edit_distance(text, type.keyword);
        if (distance < best) {
            best = distance;
            nearest = type.keyword;
        }
    }
    return nearest;
}

}  // namespace

std::string unmatched_line_reason(std::string_view text)
{
    std::string quoted(1, '\'');
    quoted.append(text).push_back('\'');
    std::string_view trimmed = text;
    while (!trimmed.empty() && is_blank(trimmed.front())) trimmed.remove_prefix(1);
    while (!trimmed.empty() && is_blank(trimmed.back())) trimmed.remove_suffix(1);
    if (trimmed.empty()) return "the line is empty: its column is dumped in hexadecimal (write UNKNOWN to say so)";
    if (trimmed.size() != text.size() && names_type(trimmed)) {
        const char* where = is_blank(text.front()) ? (is_blank(text.back()) ? "blanks around it" : "leading blanks")
                                                    : "trailing blanks";
        return quoted + " has " + where + "; write " + std::string(trimmed) + " alone on the line";
    }
    const std::string capitals = upper(trimmed);
    if (names_type(capitals))
        return quoted + ": keywords are written in capitals, exactly as listed; write " + capitals;
    const std::string bare = without_sizes(capitals);
    if (bare != capitals && names_type(bare)) return quoted + ": a template keyword takes no size; write " + bare;
    const std::string_view nearest = nearest_keyword(bare);
    if (!nearest.empty()) return quoted + " names no type (did you mean " + std::string(nearest) + "?)";
    return quoted + " names no type; its column is dumped in hexadecimal (trevanix --help lists the keywords)";
}
