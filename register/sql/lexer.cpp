#include "sql/lexer.h"

#include "sql/error.h"

namespace sql {

std::size_t decode_utf8(std::string_view s, std::size_t i, char32_t& c) {
    auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        c = b0;
        return 1;
    }
    std::size_t len = (b0 >> 5) == 0x6 ? 2 : (b0 >> 4) == 0xE ? 3 : (b0 >> 3) == 0x1E ? 4 : 0;
    c = U'\uFFFD';
    if (len == 0 || len > s.size() - i) return 1;
    char32_t v = len == 2 ? (b0 & 0x1Fu) : len == 3 ? (b0 & 0x0Fu) : (b0 & 0x07u);
    for (std::size_t k = 1; k < len; ++k) {
        auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80) return 1;
        v = (v << 6) | (b & 0x3Fu);
    }
    // Overlong forms, surrogates and values past U+10FFFF are no characters.
    static constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (v < kLeast[len] || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF)) return 1;
    c = v;
    return len;
}

bool is_letter(char32_t c) {
    if (c < 0x80) return (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z');
    if (c == 0xAA || c == 0xB5 || c == 0xBA) return true;
    if (c >= 0xC0 && c <= 0x2AF) return c != 0xD7 && c != 0xF7;                    // Latin-1 letters, Latin Extended, IPA
    if (c >= 0x370 && c <= 0x3FF) return c != 0x375 && c != 0x37E && c != 0x384 && c != 0x385 && c != 0x387;  // Greek
    if (c >= 0x400 && c <= 0x52F) return c < 0x482 || c > 0x489;                   // Cyrillic, without its signs
    if ((c >= 0x531 && c <= 0x556) || (c >= 0x561 && c <= 0x587)) return true;     // Armenian
    if ((c >= 0x5D0 && c <= 0x5EA) || (c >= 0x620 && c <= 0x64A)) return true;     // Hebrew, Arabic
    if (c >= 0x10A0 && c <= 0x10FF) return true;                                   // Georgian
    if (c >= 0x1E00 && c <= 0x1FFF) return true;                                   // Latin and Greek additions
    if (c >= 0x3040 && c <= 0x30FF) return true;                                   // Kana
    if ((c >= 0x3400 && c <= 0x4DBF) || (c >= 0x4E00 && c <= 0x9FFF)) return true; // CJK ideographs
    return c >= 0xAC00 && c <= 0xD7A3;                                             // Hangul
}

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

}  // namespace

std::vector<Token> tokenize(std::string_view s) {
    std::vector<Token> out;
    std::size_t i = 0;
    auto add = [&](TokenKind k, std::size_t at, std::size_t len) {
        out.push_back(Token{k, at, {}});
        i = at + len;
    };
    while (true) {
        while (i < s.size() && is_space(s[i])) ++i;
        if (i == s.size()) break;
        std::size_t start = i;
        char c = s[i];
        char next = i + 1 < s.size() ? s[i + 1] : '\0';
        if (c == '\'' || c == '"') {
            // A doubled quote stands for one; any other character is taken as it is.
            Token t{TokenKind::String, start, {}};
            std::size_t j = i + 1;
            bool closed = false;
            while (j < s.size()) {
                if (s[j] == c) {
                    if (j + 1 < s.size() && s[j + 1] == c) {
                        t.text += c;
                        j += 2;
                        continue;
                    }
                    closed = true;
                    break;
                }
                std::size_t seg = s.find(c, j);
                if (seg == std::string_view::npos) seg = s.size();
                t.text.append(s.substr(j, seg - j));
                j = seg;
            }
            if (!closed) syntax_error(s, start);
            out.push_back(std::move(t));
            i = j + 1;
            continue;
        }
        if (c == '[') {
            std::size_t close = s.find(']', i + 1);
            if (close == std::string_view::npos || close == i + 1) syntax_error(s, start);
            out.push_back(Token{TokenKind::Bracketed, start, std::string(s.substr(i + 1, close - i - 1))});
            i = close + 1;
            continue;
        }
        if (is_digit(c) || (c == '.' && is_digit(next))) {
            std::size_t j = i;
            while (j < s.size() && is_digit(s[j])) ++j;
            if (j < s.size() && s[j] == '.') {
                ++j;
                while (j < s.size() && is_digit(s[j])) ++j;
            }
            out.push_back(Token{TokenKind::Number, start, std::string(s.substr(i, j - i))});
            i = j;
            continue;
        }
        switch (c) {
            case '*': add(TokenKind::Star, start, 1); continue;
            case ',': add(TokenKind::Comma, start, 1); continue;
            case '.': add(TokenKind::Dot, start, 1); continue;
            case '(': add(TokenKind::LeftParen, start, 1); continue;
            case ')': add(TokenKind::RightParen, start, 1); continue;
            case ';': add(TokenKind::Semicolon, start, 1); continue;
            case '-': add(TokenKind::Minus, start, 1); continue;
            case '=': add(TokenKind::Equal, start, 1); continue;
            case '<':
                if (next == '>') add(TokenKind::NotEqual, start, 2);
                else if (next == '=') add(TokenKind::LessEqual, start, 2);
                else add(TokenKind::Less, start, 1);
                continue;
            case '>':
                if (next == '=') add(TokenKind::GreaterEqual, start, 2);
                else add(TokenKind::Greater, start, 1);
                continue;
            default: break;
        }
        char32_t cp = 0;
        std::size_t len = decode_utf8(s, i, cp);
        if (!is_letter(cp) && cp != U'_') syntax_error(s, start);
        std::size_t j = i + len;
        while (j < s.size()) {
            len = decode_utf8(s, j, cp);
            if (!is_letter(cp) && cp != U'_' && !(cp >= U'0' && cp <= U'9')) break;
            j += len;
        }
        out.push_back(Token{TokenKind::Name, start, std::string(s.substr(i, j - i))});
        i = j;
    }
    out.push_back(Token{TokenKind::End, s.size(), {}});
    return out;
}

}  // namespace sql
