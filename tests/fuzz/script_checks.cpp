#include "script_checks.h"

#include <filesystem>
#include <set>
#include <vector>

#include "unload/lob_files.h"
#include "unload/table_files.h"

#include "values/charsets.h"
#include "values/escaped_text.h"

namespace fuzz {

namespace {

using namespace unload;

std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

// Bytes an interpreter reading lines could trip on: any control character
// but the line feeds, and bytes that are not UTF-8.
std::string check_bytes(const std::string& text, const std::string& what)
{
    if (!is_utf8(text.data(), text.size())) return what + " is not UTF-8";
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if ((c < 0x20 && c != '\n') || c == 0x7F) return what + " holds the control character " + hex_text(std::string(1, ch));
    }
    return "";
}

// Where a line of SQL leaves its reader: inside a quote or a comment, or a
// statement not ended. For psql, a backslash, a variable (':' that is not
// "::") or a dollar quote outside quotes is a problem of its own.
struct SqlState {
    char quote = 0;
    bool block_comment = false;
    bool pending = false;
};

std::string read_sql_line(const std::string& line, SqlState& s, bool psql)
{
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (s.quote != 0) {
            if (c == s.quote) s.quote = 0;
            continue;
        }
        if (s.block_comment) {
            if (c == '*' && i + 1 < line.size() && line[i + 1] == '/') {
                s.block_comment = false;
                ++i;
            }
            continue;
        }
        if (c == '-' && i + 1 < line.size() && line[i + 1] == '-') break;
        if (c == '/' && i + 1 < line.size() && line[i + 1] == '*') {
            s.block_comment = true;
            ++i;
        } else if (c == '\'' || c == '"' || (!psql && c == '`')) {
            if (psql && c == '\'' && i > 0 && (line[i - 1] == 'E' || line[i - 1] == 'e'))
                return "an escape string E'...' (psql and PostgreSQL read its backslashes)";
            s.quote = c;
            s.pending = true;
        } else if (!psql && c == '[') {
            s.quote = ']';
            s.pending = true;
        } else if (c == ';') {
            s.pending = false;
        } else if (psql && c == '\\') {
            return "a backslash outside quotes (psql runs what follows as its command)";
        } else if (psql && c == ':') {
            if (i + 1 < line.size() && line[i + 1] == ':')
                ++i;
            else
                return "a colon outside quotes (psql puts a variable there)";
        } else if (psql && c == '$') {
            return "a dollar sign outside quotes (a dollar quote)";
        } else if (c != ' ' && c != '\t') {
            s.pending = true;
        }
    }
    if (s.quote != 0) return "a quote runs over its line";
    if (s.block_comment) return "a comment runs over its line";
    if (s.pending) return "a statement runs over its line";
    return "";
}

// The sqlite3 shell's reading of a backslash in an argument.
std::string resolved_backslashes(const std::string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 >= text.size()) {
            out += text[i];
            continue;
        }
        const char c = text[++i];
        const std::string_view from = "abtnvfr", to = "\a\b\t\n\v\f\r";
        const std::size_t k = from.find(c);
        if (k != std::string_view::npos) {
            out += to[k];
        } else if (c >= '0' && c <= '7') {
            int value = c - '0';
            for (int n = 0; n < 2 && i + 1 < text.size() && text[i + 1] >= '0' && text[i + 1] <= '7'; ++n)
                value = value * 8 + (text[++i] - '0');
            out += static_cast<char>(value);
        } else {
            out += c;
        }
    }
    return out;
}

// A dot-command's words as the sqlite3 shell splits them, and whether
// each was quoted.
std::vector<std::pair<std::string, bool>> sqlite_words(const std::string& line)
{
    std::vector<std::pair<std::string, bool>> words;
    std::size_t h = 0;
    while (h < line.size()) {
        while (h < line.size() && std::isspace(static_cast<unsigned char>(line[h]))) ++h;
        if (h >= line.size()) break;
        std::string word;
        const char delim = line[h];
        if (delim == '\'' || delim == '"') {
            ++h;
            const std::size_t start = h;
            while (h < line.size() && line[h] != delim) {
                if (line[h] == '\\' && delim == '"' && h + 1 < line.size()) ++h;
                ++h;
            }
            word = line.substr(start, h - start);
            if (h < line.size()) ++h;
            words.emplace_back(delim == '"' ? resolved_backslashes(word) : word, true);
        } else {
            const std::size_t start = h;
            while (h < line.size() && !std::isspace(static_cast<unsigned char>(line[h]))) ++h;
            words.emplace_back(resolved_backslashes(line.substr(start, h - start)), false);
        }
    }
    return words;
}

// The name a quoted identifier at `at` stands for, with `at` moved past it;
// nullopt when there is none.
std::optional<std::string> identifier_at(const std::string& text, std::size_t& at)
{
    if (at >= text.size() || text[at] != '"') return std::nullopt;
    std::string name;
    for (++at; at < text.size(); ++at) {
        if (text[at] != '"') {
            name += text[at];
        } else if (at + 1 < text.size() && text[at + 1] == '"') {
            name += '"';
            ++at;
        } else {
            ++at;
            return name;
        }
    }
    return std::nullopt;
}

// The string a quoted literal ('...' with '') at `at` stands for.
std::optional<std::string> literal_at(const std::string& text, std::size_t& at)
{
    if (at >= text.size() || text[at] != '\'') return std::nullopt;
    std::string value;
    for (++at; at < text.size(); ++at) {
        if (text[at] != '\'') {
            value += text[at];
        } else if (at + 1 < text.size() && text[at + 1] == '\'') {
            value += '\'';
            ++at;
        } else {
            ++at;
            return value;
        }
    }
    return std::nullopt;
}

// The one or two identifiers a line starting with `prefix` names.
std::optional<std::vector<std::string>> named_table(const std::string& line, const std::string& prefix)
{
    if (line.rfind(prefix, 0) != 0) return std::nullopt;
    std::size_t at = prefix.size();
    std::vector<std::string> names;
    while (auto name = identifier_at(line, at)) {
        names.push_back(*name);
        if (at >= line.size() || line[at] != '.') break;
        ++at;
    }
    return names;
}

// The tables a CREATE TABLE line creates.
std::optional<std::vector<std::string>> created_table(const std::string& line)
{
    return named_table(line, "CREATE TABLE ");
}

struct Load {
    std::string file;
    std::vector<std::string> table;
};

// What the script must load, in its order: each table's values not
// decoded, then its files of rows.
std::vector<Load> loads_of(const UnloadPlan& plan, const WrittenFiles& written, bool postgres)
{
    std::vector<Load> loads;
    for (std::size_t t = 0; t < plan.tables().size(); ++t) {
        const TableNames& names = plan.tables()[t].names;
        auto table = [&](const KindNames& kind) {
            return postgres ? std::vector<std::string>{names.postgres_schema, names.postgres_table(kind)}
                            : std::vector<std::string>{names.sqlite_table(kind)};
        };
        if (written[t].undecoded) loads.push_back({names.csv_file(undecoded_names()), table(undecoded_names())});
        for (RowKind kind : kAllRowKinds) {
            const auto k = static_cast<std::size_t>(kind);
            if (!written[t].files[k]) continue;
            const bool binary = postgres && written[t].binary_copies[k];
            loads.push_back({binary ? names.binary_copy_file(kind) : names.csv_file(kind), table(names_of(kind))});
        }
    }
    return loads;
}

// The table an INSERT INTO line fills.
std::optional<std::vector<std::string>> inserted_table(const std::string& line)
{
    return named_table(line, "INSERT INTO ");
}

// Where a file's loading stands: the table created for it, the staging
// table created after it, and the table its INSERT must fill.
struct LoadState {
    std::optional<std::vector<std::string>> created;
    bool staging = false;
    std::optional<std::vector<std::string>> to_insert;

    // A statement line: the CREATE TABLEs, and the INSERT that ends a load.
    std::string read(const std::string& line)
    {
        const bool staging_line = line.rfind("CREATE TEMP TABLE \"unload_staging\" (", 0) == 0;
        if (auto table = created_table(line)) created = table;
        if (auto table = inserted_table(line)) {
            if (!to_insert || *table != *to_insert) return "inserts into a table the file was not imported for";
            to_insert.reset();
        }
        staging = staging_line;
        return "";
    }
    // A file imported into the staging table, for `load`.
    std::string import(const Load& load)
    {
        if (!staging) return "imports into a table the line before did not create";
        if (!created || *created != load.table) return "imports for a table the script did not create";
        if (to_insert) return "imports before the file before was inserted";
        to_insert = load.table;
        staging = false;
        return "";
    }
};

// The words of a POSIX shell command line as the shell reads them;
// nullopt when a character outside quotes would do more than be a letter.
std::optional<std::vector<std::string>> shell_words(const std::string& line)
{
    std::vector<std::string> words;
    std::string word;
    bool in_word = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == ' ') {
            if (in_word) words.push_back(std::move(word));
            word.clear();
            in_word = false;
        } else if (c == '\'') {
            const std::size_t end = line.find('\'', i + 1);
            if (end == std::string::npos) return std::nullopt;
            word += line.substr(i + 1, end - i - 1);
            i = end;
            in_word = true;
        } else if (c == '\\' && i + 1 < line.size()) {
            word += line[++i];
            in_word = true;
        } else if (std::isalnum(static_cast<unsigned char>(c)) || std::string_view("%+,-./:=@_").find(c) != std::string_view::npos) {
            word += c;
            in_word = true;
        } else {
            return std::nullopt;
        }
    }
    if (in_word) words.push_back(std::move(word));
    return words;
}

}  // namespace

std::string check_sqlite_script(const UnloadPlan& plan, const WrittenFiles& written, const std::string& script)
{
    std::string problem = check_bytes(script, "sqlite.sql");
    if (!problem.empty()) return problem;
    const std::vector<Load> loads = loads_of(plan, written, false);
    const std::vector<std::string> fixed = {".bail on", ".headers off", ".mode list", ".output \"sqlite-blobs.tmp\"",
                                            ".output stdout", ".read \"sqlite-blobs.tmp\"",
                                            ".shell rm -f sqlite-blobs.tmp"};
    std::size_t imported = 0;
    LoadState load_state;
    SqlState state;
    for (const std::string& line : lines_of(script)) {
        const std::string where = "sqlite.sql: " + terminal_text(line) + ": ";
        if (!state.pending && !line.empty() && line[0] == '.') {
            if (std::find(fixed.begin(), fixed.end(), line) != fixed.end()) continue;
            const auto words = sqlite_words(line);
            if (words.size() != 8 || words[0].first != ".import" || words[1].first != "--csv" ||
                words[2].first != "--skip" || words[3].first != "1" || words[4].first != "--schema" ||
                words[5].first != "temp" || !words[6].second || words[7] != std::pair<std::string, bool>{"unload_staging", true})
                return where + "a dot-command the writer does not write";
            if (imported >= loads.size()) return where + "more files imported than were written";
            const Load& load = loads[imported++];
            if (words[6].first != load.file) return where + "imports " + terminal_text(words[6].first);
            // The shell takes an argument starting with '-' for an option, a file starting with '|' for a command.
            if (words[6].first.empty() || words[6].first[0] == '-' || words[6].first[0] == '|')
                return where + "an argument the shell takes for an option or a command";
            problem = load_state.import(load);
            if (!problem.empty()) return where + problem;
            continue;
        }
        problem = read_sql_line(line, state, false);
        if (problem.empty()) problem = load_state.read(line);
        if (!problem.empty()) return where + problem;
    }
    if (imported != loads.size()) return "sqlite.sql imports " + std::to_string(imported) + " of the files written";
    if (load_state.to_insert) return "sqlite.sql imports its last file into no table";
    return "";
}

// The argument of a psql meta-command as psql reads it: quoted, '' a
// quote and a backslash escaping what follows (\n, \t, \b, \r, \f, an
// octal or \x hexadecimal byte, any other character itself); nullopt
// when it is not one quoted argument ending the line, or escapes a
// control character or a byte in digits.
std::optional<std::string> psql_meta_word(const std::string& text)
{
    if (text.size() < 2 || text[0] != '\'') return std::nullopt;
    std::string word;
    for (std::size_t i = 1; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\'') {
            if (i + 1 < text.size() && text[i + 1] == '\'') {
                word += '\'';
                ++i;
                continue;
            }
            return i + 1 == text.size() ? std::optional(word) : std::nullopt;
        }
        if (c != '\\' || i + 1 >= text.size()) {
            word += c;
            continue;
        }
        // An escape of a control character (\n ... \f) or of a byte given in
        // digits: nothing the writer writes.
        const char e = text[++i];
        if (std::string_view("ntbrfx01234567").find(e) != std::string_view::npos) return std::nullopt;
        word += e;
    }
    return std::nullopt;
}

std::string check_lob_files(const UnloadPlan& plan, const std::string& directory)
{
    const std::filesystem::path lobs = std::filesystem::path(directory) / std::string(kLobDirectory);
    if (!std::filesystem::exists(lobs)) return "";
    std::set<std::string> stems;
    for (const UnloadTable& table : plan.tables()) stems.insert(table.names.file_stem);
    for (const auto& entry : std::filesystem::directory_iterator(lobs)) {
        const std::string stem = entry.path().filename().string();
        if (entry.is_symlink() || !entry.is_directory() || stems.count(stem) == 0)
            return "lobs/" + terminal_text(stem) + ": no table's directory";
        for (const auto& file : std::filesystem::directory_iterator(entry.path())) {
            const std::string name = file.path().filename().string();
            if (file.is_symlink() || !file.is_regular_file() || !is_lob_file_name(name) || name.ends_with(kPartSuffix))
                return "lobs/" + terminal_text(stem) + "/" + terminal_text(name) + ": no LOB file's name";
        }
    }
    return "";
}

std::string check_postgres_script(const UnloadPlan& plan, const WrittenFiles& written, const std::string& script)
{
    std::string problem = check_bytes(script, "postgres.sql");
    if (!problem.empty()) return problem;
    const std::vector<Load> loads = loads_of(plan, written, true);
    const std::string copy = "\\copy \"unload_staging\" ";
    const std::string lo_import = "\\lo_import ";
    std::set<std::string> stems;
    for (const UnloadTable& table : plan.tables()) stems.insert(table.names.file_stem);
    std::size_t copied = 0;
    LoadState load_state;
    SqlState state;
    // The path of the LOB file imported on the line before: the next names it with the object's number.
    std::optional<std::string> imported;
    for (const std::string& line : lines_of(script)) {
        const std::string where = "postgres.sql: " + terminal_text(line) + ": ";
        if (imported) {
            std::size_t at = std::string("INSERT INTO \"unload_lobs\" VALUES (").size();
            const bool named = line.rfind("INSERT INTO \"unload_lobs\" VALUES (", 0) == 0;
            const std::optional<std::string> path = named ? literal_at(line, at) : std::nullopt;
            if (!path || *path != *imported || line.substr(at) != ", :LASTOID);")
                return where + "not the line naming the large object imported";
            imported.reset();
            continue;
        }
        if (!state.pending && line.rfind(lo_import, 0) == 0) {
            const std::optional<std::string> path = psql_meta_word(line.substr(lo_import.size()));
            if (!path) return where + "a \\lo_import the writer does not write";
            const std::string prefix = std::string(kLobDirectory) + "/";
            const std::size_t slash = path->find('/', prefix.size());
            if (path->rfind(prefix, 0) != 0 || slash == std::string::npos ||
                stems.count(path->substr(prefix.size(), slash - prefix.size())) == 0 ||
                !is_lob_file_name(path->substr(slash + 1)))
                return where + "imports " + terminal_text(*path) + ", no LOB file of a table";
            imported = path;
            continue;
        }
        if (!state.pending && !line.empty() && line[0] == '\\') {
            if (line == "\\set ON_ERROR_STOP on") continue;
            if (line.rfind(copy, 0) != 0) return where + "a meta-command the writer does not write";
            std::size_t at = copy.size();
            // The staging table's fields c1 to cN, when it numbers its records.
            if (at < line.size() && line[at] == '(') {
                for (std::size_t n = 1;; ++n) {
                    ++at;
                    const std::optional<std::string> name = identifier_at(line, at);
                    std::string field = "c";
                    field += std::to_string(n);
                    if (!name || *name != field) return where + "a \\copy the writer does not write";
                    if (at < line.size() && line[at] == ')') break;
                    if (line.compare(at, 1, ",") != 0) return where + "a \\copy the writer does not write";
                    ++at;
                }
                at += 2;
            }
            if (line.compare(at, 5, "FROM ") != 0) return where + "a \\copy the writer does not write";
            at += 5;
            const std::optional<std::string> file = literal_at(line, at);
            const std::string rest = file ? line.substr(at) : "";
            if (!file || (rest != " WITH (FORMAT csv, HEADER)" && rest != " WITH (FORMAT binary)"))
                return where + "a \\copy the writer does not write";
            if (copied >= loads.size()) return where + "more files copied than were written";
            const Load& load = loads[copied++];
            if (*file != load.file || (rest == " WITH (FORMAT binary)") != file->ends_with(".pgcopy"))
                return where + "copies " + terminal_text(*file) + " where " + terminal_text(load.file) + " was written";
            if (file->empty() || (*file)[0] == '~') return where + "a file psql would look for in a home directory";
            problem = load_state.import(load);
            if (!problem.empty()) return where + problem;
            continue;
        }
        problem = read_sql_line(line, state, true);
        if (problem.empty()) problem = load_state.read(line);
        if (!problem.empty()) return where + problem;
    }
    if (copied != loads.size()) return "postgres.sql copies " + std::to_string(copied) + " of the files written";
    if (load_state.to_insert) return "postgres.sql copies its last file into no table";
    return "";
}

std::string check_control_file(const UnloadTable& table, const std::string& text)
{
    const std::string what = table.names.control_file();
    std::string problem = check_bytes(text, what);
    if (!problem.empty()) return problem;
    const std::string command = "-- schema says:  ";
    bool commanded = false, infile = false, into = false;
    for (const std::string& line : lines_of(text)) {
        const std::string where = what + ": " + line + ": ";
        if (line.rfind(command, 0) == 0) {
            const auto words = shell_words(line.substr(command.size()));
            if (!words || *words != std::vector<std::string>{"sqlldr", "control=" + what})
                return where + "the comment's command is not sqlldr with its own control file";
            commanded = true;
        } else if (line.rfind("INFILE ", 0) == 0) {
            std::size_t at = 7;
            const auto file = literal_at(line, at);
            if (!file || *file != table.names.csv_file(RowKind::Live) || line.substr(at) != " \"STR '\\r\\n'\"")
                return where + "not the table's file";
            infile = true;
        } else if (line.rfind("INTO TABLE ", 0) == 0) {
            std::size_t at = 11;
            std::vector<std::string> names;
            while (auto name = identifier_at(line, at)) {
                names.push_back(*name);
                if (at < line.size() && line[at] == '.') ++at;
            }
            std::vector<std::string> expected{terminal_text(table.name)};
            if (!table.owner.empty()) expected.insert(expected.begin(), terminal_text(table.owner));
            if (names != expected || at != line.size()) return where + "not the table's name";
            into = true;
        }
    }
    return commanded && infile && into ? "" : what + " lacks its command, its INFILE or its table";
}

namespace {

// The records of a CSV file as RFC 4180 reads them, each field with
// whether it was quoted.
std::optional<std::vector<std::vector<std::pair<std::string, bool>>>> csv_records(const std::string& text)
{
    std::vector<std::vector<std::pair<std::string, bool>>> records(1);
    for (std::size_t i = 0; i < text.size();) {
        std::string field;
        const bool quoted = text[i] == '"';
        if (quoted) {
            for (++i;; ++i) {
                if (i >= text.size()) return std::nullopt;
                if (text[i] == '"' && (i + 1 >= text.size() || text[i + 1] != '"')) break;
                if (text[i] == '"') ++i;
                field += text[i];
            }
            ++i;
        } else {
            while (i < text.size() && text[i] != ',' && text[i] != '\r') field += text[i++];
        }
        records.back().emplace_back(std::move(field), quoted);
        if (i < text.size() && text[i] == ',') {
            ++i;
        } else if (text.compare(i, 2, "\r\n") == 0) {
            i += 2;
            if (i < text.size()) records.emplace_back();
        } else {
            return std::nullopt;
        }
    }
    return records;
}

std::uint32_t big_endian(const std::string& bytes, std::size_t at, int count)
{
    std::uint32_t value = 0;
    for (int i = 0; i < count; ++i) value = value << 8 | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
    return value;
}

}  // namespace

std::string check_binary_copy(const std::string& csv, const std::optional<std::string>& copy)
{
    const bool holds_end_line = csv.rfind("\\.\n", 0) == 0 || csv.rfind("\\.\r\n", 0) == 0 ||
                                csv.find("\n\\.\n") != std::string::npos || csv.find("\n\\.\r\n") != std::string::npos;
    if (holds_end_line && !copy) return "a CSV file holds a line of \\. alone and has no binary copy";
    if (!copy) return "";
    const auto records = csv_records(csv);
    if (!records) return "a CSV file the writer wrote is not RFC 4180";
    const std::string& b = *copy;
    const std::string header("PGCOPY\n\377\r\n\0\0\0\0\0\0\0\0\0", 19);
    if (b.rfind(header, 0) != 0) return "a binary copy without its header";
    std::size_t at = header.size();
    for (std::size_t r = 1; r < records->size(); ++r) {
        const auto& record = (*records)[r];
        if (at + 2 > b.size() || big_endian(b, at, 2) != record.size()) return "a tuple of another field count";
        at += 2;
        for (const auto& [text, quoted] : record) {
            if (at + 4 > b.size()) return "a binary copy cut short";
            const std::uint32_t length = big_endian(b, at, 4);
            at += 4;
            if (!quoted && text.empty()) {
                if (length != 0xFFFFFFFFu) return "an empty field that is not NULL";
                continue;
            }
            if (length != text.size() || b.compare(at, length, text) != 0) return "a field copied otherwise";
            at += length;
        }
    }
    if (b.substr(at) != "\377\377") return "a binary copy without its trailer";
    return "";
}

}  // namespace fuzz
