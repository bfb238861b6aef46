#include "test_support.h"

#include <dirent.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

const std::string kRule = "\n----------------------------------------------------------\n";
const std::string kDeletedRule = "\n+---------------------------------------------------------\n";
const std::string kCompleted = "\n\nCompleted.\n\n";

RunResult run_trevanix(const std::vector<std::string>& args)
{
    std::vector<const char*> argv{"trevanix"};
    for (const std::string& a : args) argv.push_back(a.c_str());
    argv.push_back(nullptr);
    OutputSink out;
    OutputSink errors;
    int status = run_dump(static_cast<int>(args.size() + 1), argv.data(), out, errors);
    return {status, out.captured(), errors.captured()};
}

ScratchDir::ScratchDir()
{
    std::error_code error;
    std::filesystem::path base = std::filesystem::temp_directory_path(error);
    if (error) base = "/tmp";
    std::string pattern = (base / "trevanix-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    root_ = pattern;
}

ScratchDir::~ScratchDir() { remove(); }

void ScratchDir::remove()
{
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
}

std::string ScratchDir::path(const std::string& name) const { return root_ + "/" + name; }

std::string ScratchDir::write(const std::string& name, const datafile::Bytes& bytes) const
{
    datafile::write_file(path(name), bytes);
    return path(name);
}

std::string ScratchDir::write(const std::string& name, const std::string& text) const
{
    return write(name, datafile::Bytes(text.begin(), text.end()));
}

std::string ScratchDir::write(const std::string& name, const datafile::File& file) const
{
    return write(name, datafile::build_file(file));
}

datafile::File file_of(std::vector<datafile::Block> blocks, std::uint32_t block_size)
{
    datafile::File file;
    file.block_size = block_size;
    file.blocks = std::move(blocks);
    return file;
}

std::string hex_of(std::string_view bytes)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string hex;
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        hex.append(1, kDigits[c >> 4]).append(1, kDigits[c & 15]);
    }
    return hex;
}

std::string hex_of(const datafile::Bytes& bytes)
{
    return hex_of(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

std::string spaced_hex(const std::uint8_t* bytes, std::size_t count)
{
    std::string s;
    char pair[4];
    for (std::size_t i = 0; i < count; ++i) {
        std::snprintf(pair, sizeof pair, "%.2X ", bytes[i]);
        s += pair;
    }
    return s;
}

std::string hex_line(std::size_t announced, const std::uint8_t* bytes, std::size_t count)
{
    return std::to_string(announced) + ": " + spaced_hex(bytes, count) + "\n";
}

std::string hex_line(const datafile::Bytes& value) { return hex_line(value.size(), value.data(), value.size()); }

std::string scn_line(std::int64_t block, std::uint32_t object_id, std::uint64_t scn)
{
    return "Block ID: " + std::to_string(block) + ", Object ID: " + std::to_string(object_id) +
           ", SCN: " + std::to_string(scn) + "\n";
}

const Json& Json::operator[](const std::string& name) const
{
    for (std::size_t i = 0; i < names.size(); ++i)
        if (names[i] == name) return items[i];
    throw std::runtime_error("no member " + name);
}

std::vector<std::string> Json::keys() const { return names; }

namespace {

class JsonParser {
public:
    explicit JsonParser(const std::string& text) : s_(text) {}
    Json parse_document()
    {
        Json value = parse_value();
        skip_space();
        if (at_ != s_.size()) fail("text after the value");
        return value;
    }

private:
    [[noreturn]] void fail(const std::string& what) { throw std::runtime_error(what + " at " + std::to_string(at_)); }
    void skip_space()
    {
        while (at_ < s_.size() && (s_[at_] == ' ' || s_[at_] == '\t' || s_[at_] == '\n' || s_[at_] == '\r')) ++at_;
    }
    bool take(const char* word)
    {
        const std::size_t n = std::strlen(word);
        if (s_.compare(at_, n, word) != 0) return false;
        at_ += n;
        return true;
    }
    Json parse_value()
    {
        skip_space();
        Json v;
        if (take("null")) return v;
        if (take("true") || take("false")) {
            v.kind = Json::Bool;
            v.boolean = s_[at_ - 1] == 'e' && s_[at_ - 2] == 'u';
            return v;
        }
        if (at_ >= s_.size()) fail("end of text");
        if (s_[at_] == '"') {
            v.kind = Json::String;
            v.text = parse_string();
        } else if (s_[at_] == '[') {
            v.kind = Json::Array;
            ++at_;
            skip_space();
            if (!take("]")) {
                do v.items.push_back(parse_value());
                while (skip_space(), take(","));
                if (!take("]")) fail("array not closed");
            }
        } else if (s_[at_] == '{') {
            v.kind = Json::Object;
            ++at_;
            skip_space();
            if (!take("}")) {
                do {
                    skip_space();
                    if (at_ >= s_.size() || s_[at_] != '"') fail("member name");
                    std::string name = parse_string();
                    skip_space();
                    if (!take(":")) fail("colon");
                    v.names.push_back(name);
                    v.items.push_back(parse_value());
                } while (skip_space(), take(","));
                if (!take("}")) fail("object not closed");
            }
        } else {
            v.kind = Json::Number;
            const std::size_t start = at_;
            if (at_ < s_.size() && s_[at_] == '-') ++at_;
            if (at_ >= s_.size() || !std::isdigit(static_cast<unsigned char>(s_[at_]))) fail("a value");
            if (s_[at_] == '0' && at_ + 1 < s_.size() && std::isdigit(static_cast<unsigned char>(s_[at_ + 1])))
                fail("a leading zero");
            while (at_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[at_]))) ++at_;
            v.text = s_.substr(start, at_ - start);
        }
        return v;
    }
    std::string parse_string()
    {
        ++at_;  // the opening quote
        std::string out;
        for (;;) {
            if (at_ >= s_.size()) fail("string not closed");
            const unsigned char c = static_cast<unsigned char>(s_[at_++]);
            if (c == '"') return out;
            if (c < 0x20) fail("a control character in a string");
            if (c != '\\') {
                out += static_cast<char>(c);
                continue;
            }
            if (at_ >= s_.size()) fail("escape");
            const char e = s_[at_++];
            switch (e) {
            case '"': out += '"'; break;
            case '\\': out += '\\'; break;
            case '/': out += '/'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'u': {
                if (at_ + 4 > s_.size()) fail("\\u escape");
                const unsigned code = static_cast<unsigned>(std::stoul(s_.substr(at_, 4), nullptr, 16));
                at_ += 4;
                if (code >= 0x80) fail("only control characters are escaped");
                out += static_cast<char>(code);
                break;
            }
            default: fail("unknown escape");
            }
        }
    }

    const std::string& s_;
    std::size_t at_ = 0;
};

}  // namespace

Json parse_json(const std::string& text) { return JsonParser(text).parse_document(); }

std::vector<Json> parse_json_lines(const std::string& output)
{
    std::vector<Json> records;
    std::size_t start = 0;
    while (start < output.size()) {
        const std::size_t end = output.find('\n', start);
        if (end == std::string::npos) throw std::runtime_error("the last line has no newline");
        records.push_back(parse_json(output.substr(start, end - start)));
        start = end + 1;
    }
    return records;
}

std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::set<std::string> directory_entries(const std::string& directory)
{
    std::set<std::string> names;
    if (DIR* dir = ::opendir(directory.c_str())) {
        while (const dirent* entry = ::readdir(dir))
            if (std::string_view(entry->d_name) != "." && std::string_view(entry->d_name) != "..")
                names.insert(entry->d_name);
        ::closedir(dir);
    }
    return names;
}

std::set<std::string> tree_files(const std::string& directory)
{
    std::set<std::string> paths;
    std::error_code error;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(directory, error))
        if (!entry.is_directory()) paths.insert(std::filesystem::relative(entry.path(), directory).string());
    return paths;
}

std::string summary_without_run(const std::string& directory)
{
    const std::string text = read_file(directory + "/summary.json");
    const std::size_t run = text.find("\n  \"run\": ");
    if (run == std::string::npos) return text;
    const std::size_t end = text.find('\n', run + 1);
    return text.substr(0, run) + (end == std::string::npos ? "" : text.substr(end));
}

std::string unload_difference(const std::string& one, const std::string& other)
{
    std::set<std::string> names = tree_files(one);
    if (tree_files(other) != names) return "the files written";
    for (const std::string& name : names) {
        // A summary.json in a subdirectory is a database's of several.
        const bool summary = name == "summary.json" || name.ends_with("/summary.json");
        const std::string where = name.substr(0, name.size() - std::string_view("summary.json").size());
        const bool same = summary ? summary_without_run(one + "/" + where) == summary_without_run(other + "/" + where)
                                  : read_file(one + "/" + name) == read_file(other + "/" + name);
        if (!same) return name;
    }
    return "";
}

std::vector<CsvRecord> parse_csv(const std::string& text)
{
    std::vector<CsvRecord> records;
    CsvRecord record;
    std::string field;
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] == '"') {
            for (++i;; ++i) {
                if (i >= text.size()) throw std::runtime_error("unterminated quotes");
                if (text[i] == '"' && (i + 1 >= text.size() || text[i + 1] != '"')) break;
                if (text[i] == '"') ++i;
                field += text[i];
            }
            ++i;
        } else {
            while (i < text.size() && text[i] != ',' && text[i] != '\r') {
                if (text[i] == '"' || text[i] == '\n') throw std::runtime_error("a bare quote or line feed");
                field += text[i++];
            }
        }
        record.push_back(std::move(field));
        field.clear();
        if (text.compare(i, 2, "\r\n") == 0) {
            records.push_back(std::move(record));
            record.clear();
            i += 2;
        } else if (i < text.size() && text[i] == ',') {
            ++i;
        } else {
            throw std::runtime_error("a field ends in neither a comma nor CR LF");
        }
    }
    if (!record.empty()) throw std::runtime_error("no CR LF at the end");
    return records;
}

std::vector<CsvRecord> read_csv(const std::string& path) { return parse_csv(read_file(path)); }
