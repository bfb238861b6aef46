// The column template: one type keyword per line, line k + 1 typing column k
// of every row piece. It is read once per run, on first use, into a table
// of entries of the column type table.
#include <cerrno>
#include <string_view>
#include <unistd.h>

#include "trevanix.h"

namespace {

// A piece has at most 255 columns, so only that many template lines matter.
constexpr std::size_t kMaxTemplateLines = kMaxColumns;
// A template larger than this is read no further; later lines count as missing.
constexpr std::size_t kMaxTemplateBytes = 16u << 20;
// Longer than every keyword with a carriage return after it.
constexpr std::size_t kKeywordRoom = kMaxKeywordLength + 2;

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
    const ColumnType& type(bool ended_by_newline) const
    {
        if (too_long_) return kUnlistedType;
        std::size_t length = length_;
        // The newline goes, and one carriage return with it (CRLF templates);
        // text cut short by a zero byte keeps its end as it is.
        if (ended_by_newline && !saw_zero_ && length > 0 && text_[length - 1] == '\r') --length;
        return find_column_type(std::string_view(text_, length));
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
        t.by_column.fill(&kUnlistedType);
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
                t.types.push_back(&line.type(true));
                line = TemplateLine();
            } else {
                line.add(buffer[i]);
            }
        }
    }
    // A last line without a newline still counts.
    if (at_end && line.started() && t.types.size() < kMaxTemplateLines) t.types.push_back(&line.type(false));
    ::close(fd);
    for (std::size_t k = 0; k < kMaxColumns; ++k) t.by_column[k] = k < t.types.size() ? t.types[k] : &kUnlistedType;
}

}  // namespace

const ColumnTemplate& column_template(DumpContext& ctx)
{
    ColumnTemplate& t = ctx.column_template;
    if (t.status == ColumnTemplate::Status::NotLoaded) load_column_template(ctx.settings.template_file, t);
    return t;
}
