#include "unload/shard_part.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "unload/table_files.h"
#include "unload/table_names.h"
#include "values/escaped_text.h"

namespace unload {

namespace {

constexpr std::string_view kFirstLine = "trevanix shard part 1";
// A record is small: counts, and a line per data object and per listed
// LOB. Anything larger is not one.
constexpr std::uint64_t kMostRecordBytes = std::uint64_t{256} << 20;
constexpr std::size_t kMostTables = 10'000'000;
constexpr std::size_t kCopyChunk = std::size_t{1} << 20;

std::string hex_of(std::string_view text)
{
    if (text.empty()) return "-";
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 15];
    }
    return hex;
}

bool text_of(std::string_view hex, std::string& text)
{
    text.clear();
    if (hex == "-") return true;
    if (hex.empty() || hex.size() % 2 != 0) return false;
    auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        return -1;
    };
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int high = digit(hex[i]);
        const int low = digit(hex[i + 1]);
        if (high < 0 || low < 0) return false;
        text += static_cast<char>(high * 16 + low);
    }
    return true;
}

bool number_of(std::string_view word, std::uint64_t& number)
{
    if (word.empty() || word.size() > 20) return false;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), number);
    return error == std::errc() && end == word.data() + word.size();
}

std::vector<std::string_view> words_of(std::string_view line)
{
    std::vector<std::string_view> words;
    std::size_t at = 0;
    while (at <= line.size()) {
        const std::size_t space = line.find(' ', at);
        const std::size_t end = space == std::string_view::npos ? line.size() : space;
        words.push_back(line.substr(at, end - at));
        if (space == std::string_view::npos) break;
        at = space + 1;
    }
    return words;
}

std::string flags_of(const std::array<bool, kRowKinds>& flags)
{
    std::string text;
    for (bool flag : flags) text += flag ? '1' : '0';
    return text;
}

bool read_flags(std::string_view word, std::array<bool, kRowKinds>& flags)
{
    if (word.size() != kRowKinds) return false;
    for (std::size_t k = 0; k < kRowKinds; ++k) {
        if (word[k] != '0' && word[k] != '1') return false;
        flags[k] = word[k] == '1';
    }
    return true;
}

std::string errno_text(int error) { return std::strerror(error); }

// Reads the whole record, at most kMostRecordBytes.
bool read_record(const std::string& path, std::string& text, std::string& error)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) {
        error = errno == ENOENT ? "it has no " + std::string(kShardPartFile) + " (not a part a shard wrote whole)"
                                : "cannot read " + std::string(kShardPartFile) + ": " + errno_text(errno);
        return false;
    }
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && static_cast<std::uint64_t>(st.st_size) <= kMostRecordBytes;
    if (!ok) error = std::string(kShardPartFile) + " is no regular file of at most 256 MiB";
    char buffer[65536];
    while (ok) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            error = "cannot read " + std::string(kShardPartFile) + ": " + errno_text(errno);
            ok = false;
        }
        if (got <= 0) break;
        text.append(buffer, static_cast<std::size_t>(got));
        if (text.size() > kMostRecordBytes) {
            error = std::string(kShardPartFile) + " is larger than a record can be";
            ok = false;
        }
    }
    ::close(fd);
    return ok;
}

// The record's lines, each checked as it is read.
class RecordReader {
public:
    explicit RecordReader(ShardPart& part) : part_(part) {}

    bool line(std::string_view line)
    {
        const std::vector<std::string_view> w = words_of(line);
        const std::string_view key = w[0];
        if (key == "shard") return w.size() == 3 && shard(w[1], w[2]);
        if (key == "tables") return w.size() == 2 && tables(w[1]);
        if (key == "arg") return w.size() == 2 && text_of(w[1], part_.command.emplace_back());
        if (key == "file") return w.size() == 4 && file(w);
        if (key == "blocks") return w.size() == 4 && blocks(w);
        if (key == "object") return w.size() == 8 && object(w);
        if (!sized_) return false;
        if (key == "table") return w.size() == 13 && table(w);
        if (key == "lob") return w.size() == 6 && lob(w);
        if (key == "written") return w.size() == 10 && written(w);
        if (key == "column" || key == "hidden") return w.size() == 4 && column(w, key == "hidden");
        return false;
    }
    bool complete() const { return part_.shards != 0 && sized_; }

private:
    bool shard(std::string_view k, std::string_view n)
    {
        std::uint64_t shard = 0;
        std::uint64_t shards = 0;
        if (!number_of(k, shard) || !number_of(n, shards) || shards == 0 || shards > 100000 || shard == 0 ||
            shard > shards)
            return false;
        part_.shard = static_cast<unsigned>(shard);
        part_.shards = static_cast<unsigned>(shards);
        return true;
    }
    bool tables(std::string_view word)
    {
        std::uint64_t tables = 0;
        if (sized_ || !number_of(word, tables) || tables > kMostTables) return false;
        part_.tables = tables;
        part_.counts.tables.resize(tables);
        part_.written.resize(tables);
        part_.sizes.resize(tables);
        sized_ = true;
        return true;
    }
    bool file(const std::vector<std::string_view>& w)
    {
        ShardFile f;
        std::uint64_t size = 0;
        if (!text_of(w[1], f.path) || !text_of(w[3], f.sha256)) return false;
        if (w[2] != "-") {
            if (!number_of(w[2], size)) return false;
            f.size = size;
        }
        part_.files.push_back(std::move(f));
        return true;
    }
    bool blocks(const std::vector<std::string_view>& w)
    {
        UnloadSummary& c = part_.counts;
        return number_of(w[1], c.blocks_read) && number_of(w[2], c.blocks_damaged) &&
               number_of(w[3], c.blocks_encrypted);
    }
    bool object(const std::vector<std::string_view>& w)
    {
        std::uint64_t id = 0;
        ObjectCounts o;
        if (!number_of(w[1], id) || id > UINT32_MAX || !number_of(w[2], o.blocks) ||
            !number_of(w[3], o.damaged_blocks) || !number_of(w[4], o.rows) || !number_of(w[5], o.deleted) ||
            !number_of(w[6], o.stale) || !number_of(w[7], o.compressed_blocks) || o.deleted + o.stale > o.rows)
            return false;
        part_.counts.objects[static_cast<std::uint32_t>(id)] = o;
        return true;
    }
    bool index(std::string_view word, std::size_t& t) const
    {
        std::uint64_t n = 0;
        if (!number_of(word, n) || n >= part_.tables) return false;
        t = static_cast<std::size_t>(n);
        return true;
    }
    bool table(const std::vector<std::string_view>& w)
    {
        std::size_t t = 0;
        if (!index(w[1], t)) return false;
        TableCounts& c = part_.counts.tables[t];
        std::uint64_t* fields[] = {&c.rows,       &c.deleted,     &c.stale,
                                   &c.reassembled, &c.incomplete,  &c.not_decoded,
                                   &c.hidden,     &c.kept_as_text_sqlite, &c.kept_as_text_postgres,
                                   &c.lobs_read,  &c.lobs_incomplete};
        for (std::size_t i = 0; i < std::size(fields); ++i)
            if (!number_of(w[i + 2], *fields[i])) return false;
        return true;
    }
    bool lob(const std::vector<std::string_view>& w)
    {
        std::size_t t = 0;
        IncompleteLob lob;
        if (!index(w[1], t) || !text_of(w[2], lob.rowid) || !text_of(w[3], lob.column) ||
            !number_of(w[4], lob.pages_found) || !number_of(w[5], lob.pages_expected))
            return false;
        std::vector<IncompleteLob>& listed = part_.counts.tables[t].incomplete_lobs;
        if (listed.size() >= kIncompleteLobsListed) return false;
        listed.push_back(std::move(lob));
        return true;
    }
    bool written(const std::vector<std::string_view>& w)
    {
        std::size_t t = 0;
        if (!index(w[1], t)) return false;
        TableWritten& written = part_.written[t];
        if (!read_flags(w[2], written.files) || !read_flags(w[3], written.binary_copies) ||
            (w[4] != "0" && w[4] != "1"))
            return false;
        written.undecoded = w[4] == "1";
        for (std::size_t i = 0; i <= kRowKinds; ++i)
            if (!number_of(w[5 + i], part_.sizes[t][i])) return false;
        return true;
    }
    bool column(const std::vector<std::string_view>& w, bool hidden)
    {
        std::size_t t = 0;
        std::uint64_t facts = 0;
        if (!index(w[1], t) || !number_of(w[2], facts) || facts > 255 || (w[3] != "0" && w[3] != "1")) return false;
        std::vector<ColumnWritten>& columns = hidden ? part_.written[t].hidden_columns : part_.written[t].columns;
        if (columns.size() >= 100000) return false;
        columns.push_back({static_cast<std::uint8_t>(facts), w[3] == "1"});
        return true;
    }

    ShardPart& part_;
    bool sized_ = false;
};

std::string part_file_problem(const std::string& name, const std::string& what)
{
    return terminal_text(name) + " " + what;
}

// Copies a part's file into `out` after its header, which must be `header`;
// the file must be `size` bytes.
bool copy_after_header(const std::string& directory, const std::string& name, std::string_view header,
                       std::uint64_t size, OpenFile& out, bool renumber, const UnloadSummary& summary,
                       std::size_t table, std::string& error);

// The records of a file of values not decoded, each given its number in
// the whole run's file of its kind: `before` counts the records before.
class Renumbering {
public:
    Renumbering(OpenFile& out, const TableCounts& before) : out_(out), before_(before) {}

    bool add(std::string_view bytes)
    {
        for (char c : bytes) {
            switch (state_) {
            case State::Kind:
                if (c == ',') {
                    if (!base_of_kind()) return false;
                    state_ = State::Record;
                } else if (word_.size() < 16) {
                    word_ += c;
                } else {
                    return false;
                }
                break;
            case State::Record:
                if (c == ',') {
                    std::uint64_t record = 0;
                    if (!number_of(word_, record)) return false;
                    out_.text(kind_);
                    out_.text(",");
                    out_.text(std::to_string(base_ + record));
                    out_.text(",");
                    word_.clear();
                    state_ = State::Rest;
                } else if (c >= '0' && c <= '9' && word_.size() < 20) {
                    word_ += c;
                } else {
                    return false;
                }
                break;
            case State::Rest:
                rest_ += c;

                if (c == '"') quoted_ = !quoted_;
                if (!quoted_ && c == '\n' && after_cr_) {
                    out_.text(rest_);
                    rest_.clear();
                    state_ = State::Kind;
                } else if (rest_.size() >= kCopyChunk) {
                    out_.text(rest_);
                    rest_.clear();
                }
                break;
            }
            after_cr_ = c == '\r';
        }
        return true;
    }
    bool end() const { return state_ == State::Kind && word_.empty(); }

private:
    enum class State : std::uint8_t { Kind, Record, Rest };
    bool base_of_kind()
    {
        for (RowKind kind : kAllRowKinds) {
            if (word_ != names_of(kind).key) continue;
            switch (kind) {
            case RowKind::Live: base_ = before_.rows; break;
            case RowKind::Deleted: base_ = before_.deleted; break;
            case RowKind::Stale: base_ = before_.stale; break;
            case RowKind::Hidden: base_ = before_.hidden; break;
            }
            kind_ = word_;
            word_.clear();
            return true;
        }
        return false;
    }

    OpenFile& out_;
    const TableCounts& before_;
    State state_ = State::Kind;
    std::string word_;
    std::string kind_;
    std::string rest_;
    std::uint64_t base_ = 0;
    bool quoted_ = false;
    bool after_cr_ = false;
};

bool copy_after_header(const std::string& directory, const std::string& name, std::string_view header,
                       std::uint64_t size, OpenFile& out, bool renumber, const UnloadSummary& summary,
                       std::size_t table, std::string& error)
{
    const std::string path = directory + "/" + name;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) {
        error = part_file_problem(name, "cannot be read: " + errno_text(errno));
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || static_cast<std::uint64_t>(st.st_size) != size ||
        size < header.size()) {
        ::close(fd);
        error = part_file_problem(name, "is not the " + std::to_string(size) + " bytes the part's record says");
        return false;
    }
    std::vector<char> buffer(kCopyChunk);
    std::uint64_t at = 0;
    std::string head;
    Renumbering numbers(out, summary.tables[table]);
    bool ok = true;
    while (ok && at < size) {
        const ssize_t got = ::read(fd, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            error = part_file_problem(name, got < 0 ? "cannot be read: " + errno_text(errno) : "got shorter");
            ok = false;
            break;
        }
        std::string_view bytes(buffer.data(), static_cast<std::size_t>(got));
        at += bytes.size();
        if (head.size() < header.size()) {
            const std::size_t take = std::min(bytes.size(), header.size() - head.size());
            head.append(bytes.substr(0, take));
            bytes.remove_prefix(take);
            if (head.size() == header.size() && head != header) {
                error = part_file_problem(name, "does not start with the header this run gives it");
                ok = false;
                break;
            }
        }
        if (renumber) {
            if (!numbers.add(bytes)) {
                error = part_file_problem(name, "holds a line that is not a value not decoded");
                ok = false;
            }
        } else {
            out.append(bytes);
        }
    }
    ::close(fd);
    if (ok && at != size) {
        error = part_file_problem(name, "changed while it was read");
        ok = false;
    }
    if (ok && renumber && !numbers.end()) {
        error = part_file_problem(name, "ends inside a line");
        ok = false;
    }
    return ok;
}

}  // namespace

std::vector<std::string> shard_command(const std::vector<std::string>& arguments)
{
    // What may differ from shard to shard: the part, its directory, its
    // machine's workers, and what it says.
    constexpr std::string_view kWithValue[] = {"--shard", "--unload", "--jobs"};
    constexpr std::string_view kAlone[] = {"--quiet", "--force"};
    std::vector<std::string> command;
    // From the first argument: the program's own path may differ too.
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string_view arg = arguments[i];
        bool left_out = std::find(std::begin(kAlone), std::end(kAlone), arg) != std::end(kAlone);
        for (std::string_view option : kWithValue) {
            if (arg == option) {
                ++i;
                left_out = true;
            } else if (arg.starts_with(option) && arg.size() > option.size() && arg[option.size()] == '=') {
                left_out = true;
            }
        }
        if (!left_out) command.push_back(arguments[i]);
    }
    return command;
}

// A line of the record: its key, then its words.
class RecordLine {
public:
    RecordLine(std::string& text, std::string_view key) : text_(text) { text_.append(key); }
    ~RecordLine() { text_ += '\n'; }
    RecordLine(const RecordLine&) = delete;
    RecordLine& operator=(const RecordLine&) = delete;
    RecordLine& operator<<(std::string_view word)
    {
        text_ += ' ';
        text_.append(word);
        return *this;
    }
    RecordLine& operator<<(std::uint64_t number) { return *this << std::string_view(std::to_string(number)); }

private:
    std::string& text_;
};

std::string shard_part_text(const ShardPart& part)
{
    std::string text(kFirstLine);
    text += '\n';
    RecordLine(text, "shard") << part.shard << part.shards;
    for (const std::string& arg : part.command) RecordLine(text, "arg") << hex_of(arg);
    for (const ShardFile& file : part.files) {
        RecordLine line(text, "file");
        line << hex_of(file.path);
        if (file.size)
            line << *file.size;
        else
            line << "-";
        line << hex_of(file.sha256);
    }
    const UnloadSummary& c = part.counts;
    RecordLine(text, "blocks") << c.blocks_read << c.blocks_damaged << c.blocks_encrypted;
    for (const auto& [id, o] : c.objects)
        RecordLine(text, "object") << id << o.blocks << o.damaged_blocks << o.rows << o.deleted << o.stale
                                   << o.compressed_blocks;
    RecordLine(text, "tables") << part.tables;
    for (std::size_t t = 0; t < part.tables; ++t) {
        const TableCounts& n = c.tables[t];
        {
            RecordLine line(text, "table");
            line << t;
            for (std::uint64_t v : {n.rows, n.deleted, n.stale, n.reassembled, n.incomplete, n.not_decoded, n.hidden,
                                    n.kept_as_text_sqlite, n.kept_as_text_postgres, n.lobs_read, n.lobs_incomplete})
                line << v;
        }
        for (const IncompleteLob& lob : n.incomplete_lobs)
            RecordLine(text, "lob") << t << hex_of(lob.rowid) << hex_of(lob.column) << lob.pages_found
                                    << lob.pages_expected;
        const TableWritten& w = part.written[t];
        {
            RecordLine line(text, "written");
            line << t << flags_of(w.files) << flags_of(w.binary_copies) << (w.undecoded ? "1" : "0");
            for (std::uint64_t size : part.sizes[t]) line << size;
        }
        for (const ColumnWritten& column : w.columns)
            RecordLine(text, "column") << t << std::uint64_t{column.facts} << (column.undecoded ? "1" : "0");
        for (const ColumnWritten& column : w.hidden_columns)
            RecordLine(text, "hidden") << t << std::uint64_t{column.facts} << (column.undecoded ? "1" : "0");
    }
    return text + "end\n";
}

bool read_shard_part(const std::string& directory, ShardPart& part, std::string& error)
{
    part = {};
    std::string text;
    if (!read_record(directory + "/" + std::string(kShardPartFile), text, error)) return false;
    RecordReader reader(part);
    std::size_t at = 0;
    std::size_t number = 0;
    bool ended = false;
    while (at < text.size() && !ended) {
        const std::size_t newline = text.find('\n', at);
        if (newline == std::string::npos) break;
        const std::string_view line(text.data() + at, newline - at);
        at = newline + 1;
        ++number;
        bool ok = false;
        if (number == 1)
            ok = line == kFirstLine;
        else if (line == "end")
            ok = ended = reader.complete();
        else
            ok = reader.line(line);
        if (!ok) {
            error = std::string(kShardPartFile) + " is damaged at line " + std::to_string(number);
            return false;
        }
    }
    if (!ended || at != text.size()) {
        error = std::string(kShardPartFile) + " is cut short or damaged (no end line at its end)";
        return false;
    }
    return true;
}

bool append_part_table(UnloadWriter& writer, const UnloadPlan& plan, const UnloadSummary& summary,
                       const std::string& directory, const ShardPart& part, std::size_t table,
                       LobFileWriter* lob_files, std::string& error)
{
    const UnloadTable& t = plan.tables()[table];
    const TableWritten& written = part.written[table];
    for (RowKind kind : kAllRowKinds) {
        const auto k = static_cast<std::size_t>(kind);
        if (!written.files[k]) continue;
        OpenFile* out = writer.output(table, kind);
        if (out == nullptr) {
            error = "cannot write the merged files";
            return false;
        }
        if (!copy_after_header(directory, t.names.csv_file(kind), csv_header(t, kind), part.sizes[table][k], *out,
                               false, summary, table, error))
            return false;
    }
    if (written.undecoded) {
        OpenFile* out = writer.undecoded_output(table);
        if (out == nullptr) {
            error = "cannot write the merged files";
            return false;
        }
        if (!copy_after_header(directory, t.names.csv_file(undecoded_names()), undecoded_header(),
                               part.sizes[table][kRowKinds], *out, true, summary, table, error))
            return false;
    }
    if (lob_files != nullptr)
        for (const std::string& name : lob_files_of(directory, t.names.file_stem)) {
            const std::string path = lob_file_path(t.names.file_stem, name);
            if (!lob_files->take(path, directory + "/" + path, error)) return false;
        }
    writer.take_written(table, written);
    return true;
}

}  // namespace unload
