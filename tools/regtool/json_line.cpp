#include "json_line.h"

#include <array>
#include <cstdint>

namespace regtool::json_line {

namespace {

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Bytes of a string that need a closer look: controls, the quote, the
// backslash and every byte of a multi-byte character.
constexpr std::array<bool, 256> kSpecial = [] {
    std::array<bool, 256> t{};
    for (std::size_t b = 0; b < 256; ++b) t[b] = b < 0x20 || b == '"' || b == '\\' || b >= 0x80;
    return t;
}();

bool special(char c) { return kSpecial[static_cast<unsigned char>(c)]; }

bool in(unsigned char b, unsigned lo, unsigned hi) { return b >= lo && b <= hi; }

// The length of the well-formed UTF-8 character (RFC 3629: no overlong forms,
// no surrogates, nothing past U+10FFFF) that starts at s[i], or 0.
std::size_t character_length(std::string_view s, std::size_t i) {
    auto at = [&](std::size_t k) -> unsigned char { return i + k < s.size() ? static_cast<unsigned char>(s[i + k]) : 0; };
    const unsigned char b = at(0);
    auto tail = [&](std::size_t k) { return in(at(k), 0x80, 0xBF); };
    if (in(b, 0xC2, 0xDF)) return tail(1) ? 2 : 0;
    if (b == 0xE0) return in(at(1), 0xA0, 0xBF) && tail(2) ? 3 : 0;
    if (in(b, 0xE1, 0xEC) || in(b, 0xEE, 0xEF)) return tail(1) && tail(2) ? 3 : 0;
    if (b == 0xED) return in(at(1), 0x80, 0x9F) && tail(2) ? 3 : 0;
    if (b == 0xF0) return in(at(1), 0x90, 0xBF) && tail(2) && tail(3) ? 4 : 0;
    if (in(b, 0xF1, 0xF3)) return tail(1) && tail(2) && tail(3) ? 4 : 0;
    if (b == 0xF4) return in(at(1), 0x80, 0x8F) && tail(2) && tail(3) ? 4 : 0;
    return 0;
}

class Reader {
public:
    explicit Reader(std::string_view s) : s_(s) {}

    bool object(std::vector<PlainMember>& members) {
        space();
        if (!take('{')) return false;
        space();
        if (take('}')) return end();
        for (;;) {
            PlainMember m;
            if (!key(m.key)) return false;
            space();
            if (!take(':')) return false;
            space();
            if (!value(m.value)) return false;
            members.push_back(std::move(m));
            space();
            if (take('}')) return end();
            if (!take(',')) return false;
            space();
        }
    }

private:
    std::string_view s_;
    std::size_t i_ = 0;

    bool take(char c) {
        if (i_ < s_.size() && s_[i_] == c) {
            ++i_;
            return true;
        }
        return false;
    }
    void space() {
        while (i_ < s_.size() && is_space(s_[i_])) ++i_;
    }
    bool end() {
        space();
        return i_ == s_.size();
    }

    // Plain bytes from i_, then multi-byte characters checked whole; stops at
    // the quote, a backslash, a control or the end. False at broken UTF-8.
    bool run() {
        for (;;) {
            while (i_ < s_.size() && !special(s_[i_])) ++i_;
            if (i_ == s_.size() || static_cast<unsigned char>(s_[i_]) < 0x80) return true;
            const std::size_t n = character_length(s_, i_);
            if (n == 0) return false;
            i_ += n;
        }
    }

    bool key(std::string_view& out) {
        if (!take('"')) return false;
        const std::size_t from = i_;
        if (!run() || i_ == s_.size() || s_[i_] != '"') return false;
        out = s_.substr(from, i_ - from);
        ++i_;
        return true;
    }

    bool string(std::string& out) {
        std::size_t from = i_;
        for (;;) {
            if (!run() || i_ == s_.size()) return false;
            const char c = s_[i_];
            if (c == '"') {
                out.append(s_.data() + from, i_ - from);
                ++i_;
                return true;
            }
            if (c != '\\' || i_ + 1 == s_.size()) return false;  // a control
            out.append(s_.data() + from, i_ - from);
            switch (s_[i_ + 1]) {
                case '"': out += '"'; break;
                case '\\': out += '\\'; break;
                case '/': out += '/'; break;
                case 'b': out += '\b'; break;
                case 'f': out += '\f'; break;
                case 'n': out += '\n'; break;
                case 'r': out += '\r'; break;
                case 't': out += '\t'; break;
                default: return false;  // \u, or no escape at all
            }
            i_ += 2;
            from = i_;
        }
    }

    bool word(std::string_view w) {
        if (s_.substr(i_, w.size()) != w) return false;
        i_ += w.size();
        return true;
    }

    // "-"? digits ("." digits)?, no leading zero before more digits; a whole
    // number short enough to be written back as it stands.
    bool number(std::string& out) {
        const std::size_t from = i_;
        take('-');
        const std::size_t int_from = i_;
        while (i_ < s_.size() && is_digit(s_[i_])) ++i_;
        const std::size_t int_digits = i_ - int_from;
        if (int_digits == 0 || (int_digits > 1 && s_[int_from] == '0')) return false;
        if (take('.')) {
            const std::size_t frac_from = i_;
            while (i_ < s_.size() && is_digit(s_[i_])) ++i_;
            if (i_ == frac_from) return false;
        } else if (int_digits > 18 || (s_[from] == '-' && s_[int_from] == '0')) {
            return false;  // beyond 64 bits, or minus zero, which reads back as 0
        }
        if (i_ < s_.size() && (s_[i_] == 'e' || s_[i_] == 'E')) return false;
        out.assign(s_.data() + from, i_ - from);
        return true;
    }

    bool value(Token& t) {
        if (i_ == s_.size()) return false;
        switch (s_[i_]) {
            case '"':
                ++i_;
                t.kind = Kind::String;
                return string(t.text);
            case 't': t.kind = Kind::True; return word("true");
            case 'f': t.kind = Kind::False; return word("false");
            case 'n': t.kind = Kind::Null; return word("null");
            default: t.kind = Kind::Number; return number(t.text);
        }
    }
};

}  // namespace

bool read_plain_line(std::string_view line, std::vector<PlainMember>& members) {
    members.clear();
    return Reader(line).object(members);
}

}  // namespace regtool::json_line
