#include "unload/earlier_unload.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

#include "unload/loader_scripts.h"
#include "unload/shard_part.h"
#include "unload/summary.h"
#include "unload/table_files.h"
#include "values/charsets.h"

namespace unload {

namespace {

// Far more than any unload's summary or scripts: the rest is not read.
constexpr std::size_t kMostBytesRead = std::size_t{256} << 20;
// Deeper than summary.json ever nests: the rest is not read.
constexpr int kMostDepth = 16;
// The longest name a file system takes.
constexpr std::size_t kLongestName = 255;

constexpr std::string_view kFixedNames[] = {kSqliteScript, kPostgresScript, kSummaryFile, kSqliteBlobStatements,
                                            kShardPartFile};
constexpr std::string_view kTableSuffixes[] = {kCsvSuffix, kBinaryCopySuffix, kControlFileSuffix};

// A name an unload gives a file of its directory: its scripts and
// summary, or a table's file.
bool is_unload_name(std::string_view name)
{
    if (name.empty() || name.size() > kLongestName || name == "." || name == ".." ||
        name.find('/') != std::string_view::npos || name.find('\0') != std::string_view::npos)
        return false;
    if (std::find(std::begin(kFixedNames), std::end(kFixedNames), name) != std::end(kFixedNames)) return true;
    return std::any_of(std::begin(kTableSuffixes), std::end(kTableSuffixes), [&](std::string_view suffix) {
        return name.size() > suffix.size() && name.ends_with(suffix);
    });
}

// The file's bytes, as many as kMostBytesRead; empty when it cannot be read.
std::string read_bounded(const std::string& path)
{
    std::string text;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return text;
    struct stat info;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        char buffer[1 << 16];
        for (ssize_t n; text.size() < kMostBytesRead && (n = ::read(fd, buffer, sizeof buffer)) != 0;) {
            if (n < 0) {
                if (errno == EINTR) continue;
                break;
            }
            text.append(buffer, static_cast<std::size_t>(std::min<std::size_t>(static_cast<std::size_t>(n), kMostBytesRead - text.size())));
        }
    }
    ::close(fd);
    return text;
}

// Its UTF-8 appended to `out`.
void append_utf8(std::string& out, std::uint32_t code)
{
    char bytes[4];
    out.append(bytes, put_utf8(bytes, code));
}

// The strings summary.json gives as files: the values of its "files" and
// "binary_copies" objects. A text that is no JSON is read as far as it is.
class SummaryNames {
public:
    explicit SummaryNames(std::string_view text) : text_(text) {}

    std::vector<std::string> read()
    {
        value(false, 0);
        return std::move(names_);
    }

private:
    void skip_space()
    {
        while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\n' || text_[at_] == '\r' || text_[at_] == '\t'))
            ++at_;
    }
    bool take(char c)
    {
        skip_space();
        if (at_ < text_.size() && text_[at_] == c) {
            ++at_;
            return true;
        }
        return false;
    }
    void fail() { at_ = text_.size(); failed_ = true; }

    std::uint32_t hex4()
    {
        if (at_ + 4 > text_.size()) {
            fail();
            return 0;
        }
        std::uint32_t code = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = text_[at_++];
            code <<= 4;
            if (c >= '0' && c <= '9') code |= static_cast<std::uint32_t>(c - '0');
            else if (c >= 'a' && c <= 'f') code |= static_cast<std::uint32_t>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F') code |= static_cast<std::uint32_t>(c - 'A' + 10);
            else fail();
        }
        return code;
    }

    // After the opening quote.
    std::string string()
    {
        std::string out;
        while (at_ < text_.size()) {
            const char c = text_[at_++];
            if (c == '"') return out;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (at_ == text_.size()) break;
            const char e = text_[at_++];
            switch (e) {
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'u': {
                std::uint32_t code = hex4();
                if (code >= 0xD800 && code < 0xDC00 && text_.substr(at_, 2) == "\\u") {
                    at_ += 2;
                    const std::uint32_t low = hex4();
                    code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                }
                append_utf8(out, code);
                break;
            }
            default: out += e;
            }
        }
        fail();
        return out;
    }

    // Strings inside a value that names files are names.
    void value(bool names_files, int depth)
    {
        if (failed_ || depth > kMostDepth) return fail();
        if (take('{')) {
            if (take('}')) return;
            do {
                if (!take('"')) return fail();
                const std::string key = string();
                if (!take(':')) return fail();
                value(names_files || key == "files" || key == "binary_copies", depth + 1);
            } while (!failed_ && take(','));
            if (!take('}')) fail();
        } else if (take('[')) {
            if (take(']')) return;
            do value(names_files, depth + 1);
            while (!failed_ && take(','));
            if (!take(']')) fail();
        } else if (take('"')) {
            std::string text = string();
            if (names_files && !failed_) names_.push_back(std::move(text));
        } else {
            // A number, true, false or null.
            skip_space();
            const std::size_t start = at_;
            while (at_ < text_.size() && std::string_view(",}] \n\r\t").find(text_[at_]) == std::string_view::npos) ++at_;
            if (at_ == start) fail();
        }
    }

    std::string_view text_;
    std::size_t at_ = 0;
    bool failed_ = false;
    std::vector<std::string> names_;
};

// The argument after `start` on a line of a script, in quotes `quote`
// escaped by `escape` ('\\' in the sqlite3 shell's, the quote itself in psql's).
void script_names(const std::string& text, std::string_view line_start, std::string_view before, char quote,
                  char escape, std::vector<std::string>& names)
{
    for (std::size_t line = 0; line < text.size();) {
        std::size_t end = text.find('\n', line);
        if (end == std::string::npos) end = text.size();
        const std::string_view l = std::string_view(text).substr(line, end - line);
        line = end + 1;
        if (!l.starts_with(line_start)) continue;
        const std::size_t found = l.find(before);
        if (found == std::string_view::npos) continue;
        std::string name;
        bool closed = false;
        for (std::size_t i = found + before.size(); i < l.size(); ++i) {
            const char c = l[i];
            if (c == escape && escape != quote && i + 1 < l.size()) {
                name += l[++i];
            } else if (c == quote) {
                if (escape == quote && i + 1 < l.size() && l[i + 1] == quote) {
                    name += quote;
                    ++i;
                } else {
                    closed = true;
                    break;
                }
            } else {
                name += c;
            }
        }
        if (closed) names.push_back(std::move(name));
    }
}

std::string reason(const std::string& what, int error) { return what + ": " + std::strerror(error); }

}  // namespace

std::vector<std::string> earlier_unload_files(const std::string& directory)
{
    const std::string base = directory + "/";
    std::vector<std::string> named = SummaryNames(read_bounded(base + std::string(kSummaryFile))).read();
    script_names(read_bounded(base + std::string(kSqliteScript)), ".import ", " \"", '"', '\\', named);
    script_names(read_bounded(base + std::string(kPostgresScript)), "\\copy ", " FROM '", '\'', '\'', named);
    for (std::string_view fixed : kFixedNames) named.emplace_back(fixed);
    std::set<std::string> names;
    for (std::string& name : named)
        if (is_unload_name(name)) names.insert(std::move(name));
    // The temporary files of the names an unload gives.
    if (DIR* dir = ::opendir(directory.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            const std::string_view name = entry->d_name;
            if (name.size() > kPartSuffix.size() && name.ends_with(kPartSuffix) &&
                is_unload_name(name.substr(0, name.size() - kPartSuffix.size())))
                names.emplace(name);
        }
        ::closedir(dir);
    }
    return {names.begin(), names.end()};
}

std::vector<std::string> unload_file_names(const UnloadPlan& plan)
{
    std::vector<std::string> names;
    auto add = [&](std::string name) {
        names.push_back(name + std::string(kPartSuffix));
        names.push_back(std::move(name));
    };
    for (const UnloadTable& table : plan.tables()) {
        for (RowKind kind : kAllRowKinds) {
            add(table.names.csv_file(kind));
            add(table.names.binary_copy_file(kind));
        }
        add(table.names.csv_file(undecoded_names()));
        add(table.names.control_file());
    }
    for (std::string_view fixed : kFixedNames) add(std::string(fixed));
    return names;
}

bool remove_files(const std::string& directory, const std::vector<std::string>& names, std::string& message)
{
    for (const std::string& name : names) {
        const std::string path = directory + "/" + name;
        if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
            message = reason("cannot remove " + path, errno);
            return false;
        }
    }
    return true;
}

std::vector<std::string> existing_files(const std::string& directory, const std::vector<std::string>& names)
{
    std::vector<std::string> present;
    struct stat info;
    for (const std::string& name : names)
        if (::lstat((directory + "/" + name).c_str(), &info) == 0) present.push_back(name);
    return present;
}

}  // namespace unload
