#include "unload/script_text.h"

#include <algorithm>

#include "values/escaped_text.h"

namespace unload {

namespace {

// `text` between `quote`s, each quote in it doubled.
std::string doubled_quotes(std::string_view text, char quote)
{
    std::string out(1, quote);
    for (char c : terminal_text(text)) {
        if (c == quote) out += quote;
        out += c;
    }
    return out + quote;
}

bool is_plain_in_shells(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
           std::string_view("%+,-./:=@_").find(c) != std::string_view::npos;
}

}  // namespace

std::string sql_identifier(std::string_view name) { return doubled_quotes(name, '"'); }

std::string sql_literal(std::string_view text) { return doubled_quotes(text, '\''); }

std::string psql_file_argument(std::string_view file) { return doubled_quotes(file, '\''); }

std::string psql_meta_argument(std::string_view text)
{
    std::string out = "'";
    for (char c : terminal_text(text)) {
        if (c == '\'') out += '\'';
        if (c == '\\') out += '\\';
        out += c;
    }
    return out + "'";
}

std::string sqlite_argument(std::string_view text)
{
    std::string out = "\"";
    for (char c : terminal_text(text)) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

std::string shell_word(std::string_view text)
{
    const std::string shown = terminal_text(text);
    if (!shown.empty() && std::all_of(shown.begin(), shown.end(), is_plain_in_shells)) return shown;
    std::string out = "'";
    for (char c : shown) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

}  // namespace unload
