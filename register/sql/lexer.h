// The tokens of a statement. Keywords come out as plain names; the parser
// tells them apart.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sql {

enum class TokenKind : std::uint8_t {
    End,
    Name,       // plain name or keyword
    Bracketed,  // [name]
    String,     // 'text' or "text"
    Number,     // 12, 12.5, .5
    Star, Comma, Dot, LeftParen, RightParen, Semicolon, Minus,
    Equal, NotEqual, Less, LessEqual, Greater, GreaterEqual,
};

struct Token {
    TokenKind kind = TokenKind::End;
    std::size_t position = 0;  // byte offset in the statement
    std::string text;          // Name, Bracketed, String: the value; Number: the digits
};

// Raises sql::Error (errors::QueryFault::Syntax) at an unclosed literal or bracket, an empty
// bracketed name, or a character that begins no token. The last token is End.
std::vector<Token> tokenize(std::string_view statement);

// Letters of the alphabets a name may be written in.
bool is_letter(char32_t c);
// Decodes the code point at s[i] into c and returns its length in bytes;
// a byte that starts no valid sequence is U+FFFD of length 1.
std::size_t decode_utf8(std::string_view s, std::size_t i, char32_t& c);

}  // namespace sql
