#include "bootstrap_statements.h"

#include <cctype>
#include <stdexcept>

#include "format/dictionary_format.h"

namespace datafile {

using namespace dictionary;

namespace {

std::string_view trim(std::string_view s)
{
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Where `word` first stands in `s`, in any case.
std::size_t find_any_case(std::string_view s, std::string_view word)
{
    for (std::size_t at = 0; at + word.size() <= s.size(); ++at) {
        std::size_t i = 0;
        while (i < word.size() && upper(s[at + i]) == upper(word[i])) ++i;
        if (i == word.size()) return at;
    }
    return std::string_view::npos;
}

bool starts_any_case(std::string_view s, std::string_view prefix)
{
    return s.size() >= prefix.size() && find_any_case(s.substr(0, prefix.size()), prefix) == 0;
}

// The digits at the start of `s`.
std::uint32_t leading_number(std::string_view s)
{
    std::size_t end = 0;
    while (end < s.size() && std::isdigit(static_cast<unsigned char>(s[end]))) ++end;
    if (end == 0) throw std::invalid_argument("a number was expected: " + std::string(s.substr(0, 20)));
    return static_cast<std::uint32_t>(std::stol(std::string(s.substr(0, end))));
}

// The number after `word` in `sql`, if the word is there.
std::optional<std::uint32_t> number_after(std::string_view sql, std::string_view word)
{
    const std::size_t at = find_any_case(sql, word);
    if (at == std::string_view::npos) return std::nullopt;
    return leading_number(sql.substr(at + word.size()));
}

// The text between the bracket at `open` and its match.
std::string_view bracketed(std::string_view sql, std::size_t open)
{
    int depth = 0;
    for (std::size_t i = open; i < sql.size(); ++i) {
        if (sql[i] == '(') ++depth;
        if (sql[i] == ')' && --depth == 0) return sql.substr(open + 1, i - open - 1);
    }
    throw std::invalid_argument("unbalanced brackets in: " + std::string(sql.substr(0, 40)));
}

// Items separated by commas outside brackets.
std::vector<std::string_view> split_list(std::string_view list)
{
    std::vector<std::string_view> items;
    int depth = 0;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= list.size(); ++i) {
        if (i == list.size() || (list[i] == ',' && depth == 0)) {
            items.push_back(trim(list.substr(start, i - start)));
            start = i + 1;
        } else if (list[i] == '(') {
            ++depth;
        } else if (list[i] == ')') {
            --depth;
        }
    }
    return items;
}

// A name as the database keeps it: a quoted one as written, a bare one in upper case.
std::string unquoted(std::string_view name)
{
    name = trim(name);
    if (name.size() >= 2 && name.front() == '"' && name.back() == '"') return std::string(name.substr(1, name.size() - 2));
    std::string folded(name);
    for (char& c : folded) c = upper(c);
    return folded;
}

// One column of a column list: "NAME" TYPE[(SIZE)] [NOT NULL].
ColumnDef parse_column(std::string_view item, std::uint16_t charset)
{
    if (item.empty()) throw std::invalid_argument("an empty column in a column list");
    const std::size_t name_end = item.front() == '"' ? item.find('"', 1) + 1 : item.find(' ');
    ColumnDef column;
    column.name = unquoted(item.substr(0, name_end));
    std::string_view rest = trim(item.substr(name_end));
    const std::size_t not_null = find_any_case(rest, "NOT NULL");
    column.nullable = not_null == std::string_view::npos;
    if (!column.nullable) rest = trim(rest.substr(0, not_null));
    const std::size_t open = rest.find('(');
    const std::string type = unquoted(rest.substr(0, open));
    const std::uint32_t size = open == std::string_view::npos ? 0 : leading_number(rest.substr(open + 1));
    if (type == "NUMBER") {
        column.type = kTypeNumber;
        column.length = 22;
    } else if (type == "VARCHAR2" || type == "LONG") {
        column.type = type == "LONG" ? kTypeLong : kTypeVarchar2;
        column.length = size;
        column.charset_id = charset;
        column.charset_form = kCharsetFormDatabase;
    } else if (type == "DATE") {
        column.type = kTypeDate;
        column.length = 7;
    } else if (type == "RAW") {
        column.type = kTypeRaw;
        column.length = size;
    } else if (type == "TIMESTAMP") {
        column.type = kTypeTimestamp;
        column.length = 11;
        column.scale = open == std::string_view::npos ? 6 : static_cast<std::int32_t>(size);
    } else {
        throw std::invalid_argument("a dictionary column of an unknown type: " + std::string(item));
    }
    return column;
}

}  // namespace

Statement parse_statement(std::string_view sql, std::uint16_t charset)
{
    Statement s;
    std::string_view rest;
    for (const auto& [prefix, kind] : {std::pair{std::string_view("CREATE TABLE "), StatementKind::Table},
                                       std::pair{std::string_view("CREATE CLUSTER "), StatementKind::Cluster},
                                       std::pair{std::string_view("CREATE INDEX "), StatementKind::Index},
                                       std::pair{std::string_view("CREATE UNIQUE INDEX "), StatementKind::Index}}) {
        if (starts_any_case(sql, prefix)) {
            s.kind = kind;
            rest = sql.substr(prefix.size());
        }
    }
    s.object = number_after(sql, "OBJNO ").value_or(0);
    if (const std::size_t extents = find_any_case(sql, "EXTENTS (FILE "); extents != std::string_view::npos) {
        const std::string_view clause = sql.substr(extents);
        s.segment = BlockAddress{static_cast<std::uint16_t>(number_after(clause, "FILE ").value()),
                                 number_after(clause, " BLOCK ").value()};
    }
    if (s.kind == StatementKind::Other) return s;
    const std::size_t name_end = rest.find_first_of("( ");
    s.name = unquoted(rest.substr(0, name_end));
    if (s.kind == StatementKind::Index) return s;

    const std::size_t open = sql.size() - rest.size() + name_end;
    const std::string_view list = bracketed(sql, open);
    for (const std::string_view item : split_list(list)) s.columns.push_back(parse_column(item, charset));
    if (const auto table = number_after(sql, "TABNO ")) {
        s.table_number = static_cast<std::uint8_t>(*table);
        const std::string_view storage = sql.substr(find_any_case(sql, "STORAGE"));
        const std::size_t clause = find_any_case(storage, " CLUSTER ");
        if (clause == std::string_view::npos) throw std::invalid_argument("a clustered table names no cluster");
        const std::string_view named = storage.substr(clause + 9);
        const std::size_t key_open = named.find('(');
        s.cluster = unquoted(named.substr(0, key_open));
        for (const std::string_view key : split_list(bracketed(named, key_open))) s.cluster_key.push_back(unquoted(key));
    }
    return s;
}

std::vector<BootstrapLine> bootstrap_lines(std::string_view text)
{
    std::vector<BootstrapLine> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.empty()) continue;
        const std::size_t first = line.find('\t');
        const std::size_t second = line.find('\t', first + 1);
        if (second == std::string_view::npos) throw std::invalid_argument("a BOOTSTRAP$ line holds three fields");
        lines.push_back({std::stoll(std::string(line.substr(0, first))),
                         std::stoll(std::string(line.substr(first + 1, second - first - 1))),
                         std::string(line.substr(second + 1))});
    }
    return lines;
}

}  // namespace datafile
