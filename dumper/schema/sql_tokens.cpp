#include "schema/sql_tokens.h"

#include <charconv>

#include "values/escaped_text.h"

namespace schema {

namespace {

// The most of a token a message quotes.
constexpr std::size_t kShownTokenLength = 40;

bool is_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_name_character(char c) { return is_letter(c) || is_digit(c) || c == '_' || c == '$' || c == '#'; }
bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && is_blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && is_blank(text.back())) text.remove_suffix(1);
    return text;
}

char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Reads the text one token at a time, counting lines.
class Tokenizer {
public:
    explicit Tokenizer(std::string_view text) : text_(text) {}

    std::vector<Token> run()
    {
        std::vector<Token> tokens;
        while (true) {
            Token token;
            std::string error = skip_space(token);
            if (error.empty()) {
                token.offset = at_;
                token.line = line_;
                if (at_ >= text_.size()) {
                    tokens.push_back(token);
                    return tokens;
                }
                error = read(token);
            }
            if (!error.empty()) throw SqlSyntaxError{error, token};
            tokens.push_back(std::move(token));
        }
    }

private:
    // Passes over blanks and /* */ comments; "" or why it cannot, with
    // `where` at the comment that is never closed.
    std::string skip_space(Token& where)
    {
        while (at_ < text_.size()) {
            if (is_blank(text_[at_])) {
                if (text_[at_] == '\n') ++line_;
                ++at_;
            } else if (starts("/*")) {
                const std::size_t end = text_.find("*/", at_ + 2);
                where.offset = at_;
                where.line = line_;
                where.kind = TokenKind::Symbol;
                where.text = "/*";
                if (end == std::string_view::npos) return "this comment is never closed";
                for (std::size_t i = at_; i < end; ++i)
                    if (text_[i] == '\n') ++line_;
                at_ = end + 2;
            } else {
                break;
            }
        }
        return "";
    }
    bool starts(std::string_view what) const { return text_.substr(at_).starts_with(what); }

    // Fills `token` from the text at its offset; "" or why it cannot.
    std::string read(Token& token)
    {
        const char c = text_[at_];
        if (starts("--")) return read_comment(token);
        if (c == '"') return read_quoted(token, '"', TokenKind::QuotedWord);
        if ((c == 'E' || c == 'e') && at_ + 1 < text_.size() && text_[at_ + 1] == '"') {
            ++at_;
            return read_quoted(token, '"', TokenKind::QuotedWord, true);
        }
        if (c == '\'') return read_quoted(token, '\'', TokenKind::String);
        if (is_letter(c)) {
            token.kind = TokenKind::Word;
            token.text = take_while(is_name_character);
        } else if (is_digit(c)) {
            token.kind = TokenKind::Number;
            token.text = take_while(is_digit);
            if (at_ + 1 < text_.size() && text_[at_] == '.' && is_digit(text_[at_ + 1])) {
                ++at_;
                token.text += '.';
                token.text += take_while(is_digit);
            }
        } else {
            token.kind = TokenKind::Symbol;
            token.text = std::string(1, c);
            ++at_;
        }
        return "";
    }

    std::string take_while(bool (*belongs)(char))
    {
        std::size_t start = at_;
        while (at_ < text_.size() && belongs(text_[at_])) ++at_;
        return std::string(text_.substr(start, at_ - start));
    }

    std::string read_comment(Token& token)
    {
        std::size_t end = text_.find('\n', at_);
        if (end == std::string_view::npos) end = text_.size();
        token.kind = TokenKind::Comment;
        token.text = std::string(trimmed(text_.substr(at_ + 2, end - at_ - 2)));
        at_ = end;
        return "";
    }

    // A quoted name or a string: a doubled quote stands for one. With
    // `escapes` (a name written E"..."), \\ stands for a backslash and \xHH
    // for the byte HH.
    std::string read_quoted(Token& token, char quote, TokenKind kind, bool escapes = false)
    {
        token.kind = kind;
        ++at_;
        while (true) {
            if (at_ >= text_.size()) return "this quote is never closed";
            const char c = text_[at_];
            if (escapes && c == '\\') {
                std::string error = read_escape(token.text);
                if (!error.empty()) return error;
                continue;
            }
            if (c == quote) {
                if (at_ + 1 < text_.size() && text_[at_ + 1] == quote) {
                    token.text += quote;
                    at_ += 2;
                    continue;
                }
                ++at_;
                return "";
            }
            if (c == '\n') {
                if (kind == TokenKind::QuotedWord) return "a quoted name breaks the line";
                ++line_;
            }
            token.text += c;
            ++at_;
        }
    }

    // The escape at the backslash, appended to `text`; "" or why it is none.
    std::string read_escape(std::string& text)
    {
        if (at_ + 1 < text_.size() && text_[at_ + 1] == '\\') {
            text += '\\';
            at_ += 2;
            return "";
        }
        const int high = at_ + 3 < text_.size() && text_[at_ + 1] == 'x' ? hex_digit(text_[at_ + 2]) : -1;
        const int low = high >= 0 ? hex_digit(text_[at_ + 3]) : -1;
        if (low < 0) return "in E\"...\" a backslash starts \\\\ or \\x and two hexadecimal digits";
        text += static_cast<char>(high << 4 | low);
        at_ += 4;
        return "";
    }

    static int hex_digit(char c)
    {
        if (is_digit(c)) return c - '0';
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        return -1;
    }

    std::string_view text_;
    std::size_t at_ = 0;
    std::size_t line_ = 1;
};

}  // namespace

std::vector<Token> tokenize_sql(std::string_view text) { return Tokenizer(text).run(); }

std::string describe_token(const Token& token)
{
    switch (token.kind) {
    case TokenKind::End: return "the end of the text";
    case TokenKind::Comment: return "a comment";
    default: break;
    }
    const char quote = token.kind == TokenKind::String ? '\'' : '"';
    const bool shortened = token.text.size() > kShownTokenLength;
    return quote + terminal_text(std::string_view(token.text).substr(0, kShownTokenLength)) + (shortened ? "..." : "") +
           quote;
}

bool equal_any_case(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (upper(a[i]) != upper(b[i])) return false;
    return true;
}

bool is_word(const Token& token, std::string_view upper_text)
{
    return token.kind == TokenKind::Word && equal_any_case(token.text, upper_text);
}

std::string folded_name(const Token& word)
{
    if (word.kind != TokenKind::Word) return word.text;
    std::string name = word.text;
    for (char& c : name) c = upper(c);
    return name;
}

TokenCursor::TokenCursor(const std::vector<Token>& tokens) : tokens_(tokens) {}

std::size_t TokenCursor::skip_comments(std::size_t at) const
{
    while (at + 1 < tokens_.size() && tokens_[at].kind == TokenKind::Comment) ++at;
    return at;
}

const Token& TokenCursor::peek() const { return tokens_[skip_comments(at_)]; }

const Token& TokenCursor::next()
{
    const std::size_t at = skip_comments(at_);
    const Token& token = tokens_[at];
    if (token.kind != TokenKind::End) at_ = at + 1;
    last_line_ = token.line;
    return token;
}

bool TokenCursor::at_word(std::string_view upper_text) const { return is_word(peek(), upper_text); }

bool TokenCursor::at_symbol(char symbol) const
{
    const Token& token = peek();
    return token.kind == TokenKind::Symbol && token.text[0] == symbol;
}

bool TokenCursor::take_word(std::string_view upper_text)
{
    if (!at_word(upper_text)) return false;
    next();
    return true;
}

bool TokenCursor::take_symbol(char symbol)
{
    if (!at_symbol(symbol)) return false;
    next();
    return true;
}

void TokenCursor::expect_word(std::string_view upper_text)
{
    if (!take_word(upper_text)) fail_expected(std::string(upper_text));
}

void TokenCursor::expect_symbol(char symbol)
{
    if (!take_symbol(symbol)) fail_expected(std::string("\"") + symbol + "\"");
}

std::uint32_t TokenCursor::expect_number(std::string_view what)
{
    const Token& token = peek();
    std::uint32_t value = 0;
    if (token.kind != TokenKind::Number || token.text.find('.') != std::string::npos) fail_expected(what);
    const char* end = token.text.data() + token.text.size();
    auto [stop, error] = std::from_chars(token.text.data(), end, value);
    if (error != std::errc() || stop != end) fail(std::string(what) + " out of range: " + describe_token(token));
    next();
    return value;
}

const Token* TokenCursor::take_comment()
{
    if (at_ >= tokens_.size() || tokens_[at_].kind != TokenKind::Comment) return nullptr;
    return &tokens_[at_++];
}

const Token* TokenCursor::take_comment_on_line(std::size_t line)
{
    if (at_ >= tokens_.size() || tokens_[at_].kind != TokenKind::Comment || tokens_[at_].line != line) return nullptr;
    return &tokens_[at_++];
}

void TokenCursor::skip_group()
{
    const Token open = peek();
    expect_symbol('(');
    std::size_t depth = 1;
    while (depth > 0) {
        if (at_end()) throw SqlSyntaxError{"this \"(\" is never closed", open};
        if (at_symbol('(')) ++depth;
        if (at_symbol(')')) --depth;
        next();
    }
}

void TokenCursor::fail(std::string message) const { throw SqlSyntaxError{std::move(message), peek()}; }

void TokenCursor::fail_expected(std::string_view what) const
{
    fail("expected " + std::string(what) + ", found " + describe_token(peek()));
}

}  // namespace schema
