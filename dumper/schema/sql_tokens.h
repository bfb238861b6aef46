// The tokens of the SQL the schema readers take: CREATE statements as
// BOOTSTRAP$ holds them and schema files. Names, quoted names, numbers,
// strings and single-character symbols; `--` comments are tokens of their
// own, since a schema file says things in them; /* */ comments are dropped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "schema/schema.h"

namespace schema {

enum class TokenKind : std::uint8_t {
    Word,        // a name or keyword as written: a letter, then letters, digits, _ $ #
    QuotedWord,  // "..." with "" for a quote, or E"..." with \\ and \xHH too; text is the name itself
    Number,      // digits, perhaps with one decimal point
    String,      // '...' with '' for a quote; text is the string itself
    Symbol,      // any other single byte
    Comment,     // `--` to the end of the line; text is what follows, trimmed
    End,         // past the last token
};

struct Token {
    TokenKind kind = TokenKind::End;
    std::string text;
    std::size_t offset = 0;  // of its first byte in the text
    std::size_t line = 1;    // of its first byte, counting from 1
};

// A reader's mistake, thrown where it is found and caught by the function
// that reads the whole text, which says where it was.
struct SqlSyntaxError {
    std::string message;
    Token at;
};

// The tokens of `text`, the last one End. Throws SqlSyntaxError for a quote
// or /* comment that is never closed, or a line break inside a quoted name.
std::vector<Token> tokenize_sql(std::string_view text);

// The token as a message shows it: quoted, shortened, as terminal_text.
std::string describe_token(const Token& token);

// Steps through the tokens, passing over comments unless asked for them.
class TokenCursor {
public:
    explicit TokenCursor(const std::vector<Token>& tokens);

    // The next token that is not a comment (End at the end).
    const Token& peek() const;
    const Token& next();
    // True for an unquoted word equal to `upper` in any case.
    bool at_word(std::string_view upper) const;
    bool at_symbol(char symbol) const;
    bool at_end() const { return peek().kind == TokenKind::End; }
    // Takes the word or symbol when it is next.
    bool take_word(std::string_view upper);
    bool take_symbol(char symbol);
    // Takes them, or throws "expected <what>".
    void expect_word(std::string_view upper);
    void expect_symbol(char symbol);
    // A non-negative whole number that fits 32 bits.
    std::uint32_t expect_number(std::string_view what);
    // The comment that comes next, before any other token, when there is one
    // (and, with `line`, only when it is on that line).
    const Token* take_comment();
    const Token* take_comment_on_line(std::size_t line);
    // The line of the last token taken.
    std::size_t last_line() const { return last_line_; }
    // Passes over a parenthesised group whose "(" is next.
    void skip_group();

    [[noreturn]] void fail(std::string message) const;
    [[noreturn]] void fail_expected(std::string_view what) const;

private:
    std::size_t skip_comments(std::size_t at) const;

    const std::vector<Token>& tokens_;
    std::size_t at_ = 0;
    std::size_t last_line_ = 1;
};

// The name of an unquoted word as Oracle keeps it: in upper case.
std::string folded_name(const Token& word);
// True for an unquoted word equal to `upper` in any case.
bool is_word(const Token& token, std::string_view upper);
// True when the texts hold the same ASCII letters in any case, and otherwise the same bytes.
bool equal_any_case(std::string_view a, std::string_view b);

}  // namespace schema
