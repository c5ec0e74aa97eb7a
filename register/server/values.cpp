#include "values.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <utility>

#include "server_error.h"

namespace server {

namespace {

// Whether any of eight bytes is a control character up to '\r' or a
// backslash (the bytes COPY escapes are among them).
bool may_need_escape(std::uint64_t eight) {
    constexpr std::uint64_t ones = 0x0101010101010101ull, highs = 0x8080808080808080ull;
    const std::uint64_t below = (eight - ones * 0x0E) & ~eight & highs;
    const std::uint64_t slash = eight ^ (ones * '\\');
    return (below | ((slash - ones) & ~slash & highs)) != 0;
}

// Runs of plain characters go in at once, eight bytes tested a step: a
// register's memo values are long and hold few characters COPY escapes.
void append_escaped(std::string& out, std::string_view text) {
    std::size_t from = 0, i = 0;
    while (i < text.size()) {
        if (i + 8 <= text.size()) {
            std::uint64_t eight = 0;
            std::memcpy(&eight, text.data() + i, 8);
            if (!may_need_escape(eight)) {
                i += 8;
                continue;
            }
        }
        const char ch = text[i++];
        if (ch != '\\' && ch != '\t' && ch != '\n' && ch != '\r') continue;
        out.append(text, from, i - 1 - from);
        out += '\\';
        out += ch == '\\' ? '\\' : ch == '\t' ? 't' : ch == '\n' ? 'n' : 'r';
        from = i;
    }
    out.append(text, from, text.size() - from);
}

constexpr char kHex[] = "0123456789abcdef";

void append_digits(std::string& out, std::int64_t v, int width) {
    if (v < 0) out += '-';
    char digits[24];
    int n = 0;
    for (std::uint64_t u = v < 0 ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v); n < width || u > 0; u /= 10) digits[n++] = static_cast<char>('0' + u % 10);
    while (n > 0) out += digits[--n];
}

// "YYYY-MM-DD HH:MM:SS.mmm", as the server reads a timestamp (the file's
// years run from 100 to 9999).
void append_date_time(std::string& out, const jet::CivilTime& t) {
    append_digits(out, t.year, 4);
    out += '-';
    append_digits(out, t.month, 2);
    out += '-';
    append_digits(out, t.day, 2);
    out += ' ';
    append_digits(out, t.hour, 2);
    out += ':';
    append_digits(out, t.minute, 2);
    out += ':';
    append_digits(out, t.second, 2);
    out += '.';
    append_digits(out, t.millisecond, 3);
}

template <typename F>
std::string float_text(F v) {
    if (std::isnan(v)) return "NaN";
    if (std::isinf(v)) return v < 0 ? "-Infinity" : "Infinity";
    return jet::shortest(v);
}

// A value as a message quotes it: a huge one cut short at a character's start.
std::string quoted_value(std::string_view text) {
    constexpr std::size_t kShown = 60;
    if (text.size() <= kShown) return "\"" + std::string(text) + "\"";
    std::size_t end = kShown;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return "\"" + std::string(text.substr(0, end)) + "…\" (" + std::to_string(text.size()) + " bytes)";
}

[[noreturn]] void not_a_value(const jet::Column& c, std::string_view text) {
    throw Error(ErrorKind::ValueDoesNotFit, c.name + " = " + quoted_value(text));
}

// A whole number within its column's type (a column the server's table
// widened behind the register's back may hold more).
std::int64_t whole(const jet::Column& c, std::string_view text) {
    std::int64_t v = 0;
    auto r = std::from_chars(text.data(), text.data() + text.size(), v);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size()) not_a_value(c, text);
    const auto [low, high] = c.type == jet::ColumnType::Byte      ? std::pair<std::int64_t, std::int64_t>{0, 255}
                             : c.type == jet::ColumnType::Integer ? std::pair<std::int64_t, std::int64_t>{INT16_MIN, INT16_MAX}
                                                                  : std::pair<std::int64_t, std::int64_t>{INT32_MIN, INT32_MAX};
    if (v < low || v > high) not_a_value(c, text);
    return v;
}

// Characters as a Text column counts them (UTF-16 units, its length is in bytes).
std::size_t text_units(std::string_view text) {
    std::size_t n = 0;
    for (unsigned char ch : text) {
        if ((ch & 0xC0) != 0x80) n += ch >= 0xF0 ? 2 : 1;
    }
    return n;
}

// "[-]digits[.digits]": the sign, the digits without the point, how many follow it.
struct DecimalText {
    bool negative = false;
    std::string digits;
    std::size_t scale = 0;
};

DecimalText split_decimal(const jet::Column& c, std::string_view text) {
    DecimalText d;
    std::size_t i = 0;
    if (!text.empty() && text[0] == '-') {
        d.negative = true;
        i = 1;
    }
    bool point = false;
    for (; i < text.size(); ++i) {
        if (text[i] == '.' && !point) {
            point = true;
        } else if (text[i] >= '0' && text[i] <= '9') {
            d.digits += text[i];
            if (point) ++d.scale;
        } else {
            not_a_value(c, text);
        }
    }
    if (d.digits.empty()) not_a_value(c, text);
    return d;
}

jet::Currency currency(const jet::Column& c, std::string_view text) {
    DecimalText d = split_decimal(c, text);
    if (d.scale > 4 || d.digits.size() > 19) not_a_value(c, text);
    d.digits.append(4 - d.scale, '0');
    // Counted below zero: the most negative amount has no positive twin.
    std::int64_t units = 0;
    for (char ch : d.digits) {
        const int digit = ch - '0';
        if (units < INT64_MIN / 10 || (units == INT64_MIN / 10 && digit > -(INT64_MIN % 10))) not_a_value(c, text);
        units = units * 10 - digit;
    }
    if (!d.negative && units == INT64_MIN) not_a_value(c, text);
    return {d.negative ? units : -units};
}

jet::Decimal decimal(const jet::Column& c, std::string_view text) {
    const DecimalText d = split_decimal(c, text);
    jet::Decimal v;
    v.negative = d.negative;
    v.scale = static_cast<std::uint8_t>(d.scale);
    v.precision = c.precision;
    for (char ch : d.digits) {
        std::uint64_t carry = static_cast<std::uint64_t>(ch - '0');
        for (std::uint32_t& w : v.magnitude) {
            const std::uint64_t x = std::uint64_t{w} * 10 + carry;
            w = static_cast<std::uint32_t>(x);
            carry = x >> 32;
        }
        if (carry || v.magnitude[3]) not_a_value(c, text);  // past the 96 bits a value holds
    }
    return v;
}

// "YYYY-MM-DD HH:MM:SS[.ffffff]", as the server writes a timestamp.
jet::DateTime date_time(const jet::Column& c, std::string_view text) {
    std::size_t i = 0;
    // The digits up to `end` (or the text's end when it is 0) as a number.
    const auto field = [&](char end) {
        const std::size_t from = i;
        int v = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9' && i - from < 9) v = v * 10 + (text[i++] - '0');
        if (i == from || (end && (i == text.size() || text[i] != end))) not_a_value(c, text);
        if (end) ++i;
        return v;
    };
    jet::CivilTime t;
    t.year = field('-');
    t.month = field('-');
    t.day = field(' ');
    t.hour = field(':');
    t.minute = field(':');
    t.second = field(0);
    if (i < text.size() && text[i] == '.') {
        int fraction_digits = 0;
        for (++i; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++fraction_digits) {
            if (fraction_digits < 3) t.millisecond = t.millisecond * 10 + (text[i] - '0');
        }
        if (fraction_digits == 0) not_a_value(c, text);
        for (int k = fraction_digits; k < 3; ++k) t.millisecond *= 10;
    }
    if (i != text.size()) not_a_value(c, text);
    return jet::from_civil(t);
}

int hex_digit(char ch) {
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
    return -1;
}

std::vector<std::uint8_t> hex_bytes(const jet::Column& c, std::string_view hex) {
    if (hex.size() % 2) not_a_value(c, hex);
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int hi = hex_digit(hex[i]), lo = hex_digit(hex[i + 1]);
        if (hi < 0 || lo < 0) not_a_value(c, hex);
        bytes.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
    }
    return bytes;
}

// The server writes a uuid as 8-4-4-4-12 hex digits; the file keeps the
// first three groups least significant byte first.
jet::Guid guid(const jet::Column& c, std::string_view text) {
    std::string hex;
    for (char ch : text) {
        if (ch != '-') hex += ch;
    }
    const std::vector<std::uint8_t> b = hex_bytes(c, hex);
    if (b.size() != 16) not_a_value(c, text);
    jet::Guid g;
    constexpr int order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    for (int i = 0; i < 16; ++i) g.bytes[static_cast<std::size_t>(order[i])] = b[static_cast<std::size_t>(i)];
    return g;
}

}  // namespace

std::int64_t catalog_number(std::string_view text) {
    std::int64_t v = 0;
    std::from_chars(text.data(), text.data() + text.size(), v);
    return v;
}

bool append_copy_value(std::string& out, const jet::Value& v) {
    struct Visit {
        std::string& out;
        bool operator()(const jet::Null&) const { return out += "\\N", true; }
        bool operator()(bool b) const { return out += b ? 't' : 'f', true; }
        bool operator()(std::int64_t n) const { return out += std::to_string(n), true; }
        bool operator()(float f) const { return out += float_text(f), true; }
        bool operator()(double d) const { return out += float_text(d), true; }
        bool operator()(const jet::Currency& c) const { return out += jet::to_string(c), true; }
        bool operator()(const jet::Decimal& d) const { return out += jet::to_string(d), true; }
        bool operator()(const jet::DateTime& d) const {
            const jet::CivilTime t = jet::to_civil(d);
            append_date_time(out, t);
            return true;
        }
        bool operator()(const jet::Guid& g) const {
            const std::string s = jet::to_string(g);
            return out += s.substr(1, s.size() - 2), true;
        }
        bool operator()(const std::string& s) const {
            if (s.find('\0') != std::string::npos) return false;
            append_escaped(out, s);
            return true;
        }
        bool operator()(const jet::Binary& b) const {
            out += "\\\\x";
            for (std::uint8_t byte : b.bytes) {
                out += kHex[byte >> 4];
                out += kHex[byte & 15];
            }
            return true;
        }
    };
    return std::visit(Visit{out}, v);
}

std::optional<std::string> parameter_text(const jet::Value& v, const std::string& subject) {
    if (std::holds_alternative<jet::Null>(v)) return std::nullopt;
    if (const auto* s = std::get_if<std::string>(&v)) {
        if (s->find('\0') != std::string::npos) throw Error(ErrorKind::NulInText, subject);
        return *s;
    }
    std::string text;
    if (const auto* b = std::get_if<jet::Binary>(&v)) {
        text = "\\x";
        for (std::uint8_t byte : b->bytes) {
            text += kHex[byte >> 4];
            text += kHex[byte & 15];
        }
        return text;
    }
    // The other types' COPY forms hold nothing COPY escapes.
    append_copy_value(text, v);
    return text;
}

jet::Value value_from_text(const jet::Column& c, std::string_view text) {
    switch (c.type) {
        case jet::ColumnType::Boolean:
            if (text != "t" && text != "f") not_a_value(c, text);
            return text == "t";
        case jet::ColumnType::Byte:
        case jet::ColumnType::Integer:
        case jet::ColumnType::Long: return whole(c, text);
        case jet::ColumnType::Single: {
            const std::string s(text);
            char* end = nullptr;
            const float f = std::strtof(s.c_str(), &end);
            if (end != s.c_str() + s.size()) not_a_value(c, text);
            return f;
        }
        case jet::ColumnType::Double: {
            const std::string s(text);
            char* end = nullptr;
            const double d = std::strtod(s.c_str(), &end);
            if (end != s.c_str() + s.size()) not_a_value(c, text);
            return d;
        }
        case jet::ColumnType::Currency: return currency(c, text);
        case jet::ColumnType::Decimal: return decimal(c, text);
        case jet::ColumnType::DateTime: return date_time(c, text);
        case jet::ColumnType::Guid: return guid(c, text);
        case jet::ColumnType::Binary:
        case jet::ColumnType::Ole:
            if (!text.starts_with("\\x")) not_a_value(c, text);
            return jet::Binary{hex_bytes(c, text.substr(2))};
        case jet::ColumnType::Text:
            if (c.length > 0 && text_units(text) > c.length / 2u) not_a_value(c, text);
            return std::string(text);
        case jet::ColumnType::Memo: return std::string(text);
    }
    not_a_value(c, text);
}

namespace {

// A 64-bit hash taking eight bytes a step (long memo values are most of
// what a register's rows hold), each step mixing them in by multiplication
// and rotation.
class Hash {
public:
    void add(const void* data, std::size_t n) {
        const auto* p = static_cast<const unsigned char*>(data);
        for (; n >= 8; n -= 8, p += 8) {
            std::uint64_t word = 0;
            std::memcpy(&word, p, 8);
            mix(word);
        }
        if (n > 0) {
            std::uint64_t word = 0;
            std::memcpy(&word, p, n);
            mix(word ^ (std::uint64_t{n} << 56));
        }
    }
    template <typename T>
    void add_plain(const T& v) {
        add(&v, sizeof v);
    }
    void add_text(std::string_view s) {
        add_plain(s.size());
        add(s.data(), s.size());
    }
    std::uint64_t value() const { return h_; }

private:
    void mix(std::uint64_t word) { h_ = std::rotl((h_ ^ word) * 0x9E3779B97F4A7C15ull, 29) * 0xBF58476D1CE4E5B9ull; }
    std::uint64_t h_ = 0xcbf29ce484222325ull;
};

// A decimal's digits without the zeros its scale adds: 1.50 and 1.5 are one value.
std::string plain_decimal(const jet::Decimal& d) {
    std::string s = jet::to_string(d);
    if (s.find('.') != std::string::npos) {
        while (s.back() == '0') s.pop_back();
        if (s.back() == '.') s.pop_back();
    }
    return s == "-0" ? "0" : s;
}

}  // namespace

std::uint64_t row_hash(const std::vector<jet::Value>& row, const std::vector<bool>& taken) {
    Hash h;
    for (std::size_t i = 0; i < row.size(); ++i) {
        if (!taken.empty() && (i >= taken.size() || !taken[i])) continue;
        const jet::Value& v = row[i];
        const auto kind = static_cast<std::uint8_t>(v.index());
        h.add_plain(kind);
        if (const auto* b = std::get_if<bool>(&v)) h.add_plain(*b);
        else if (const auto* n = std::get_if<std::int64_t>(&v)) h.add_plain(*n);
        else if (const auto* f = std::get_if<float>(&v)) h.add_plain(std::isnan(*f) ? 0x7FC00000u : std::bit_cast<std::uint32_t>(*f));
        else if (const auto* d = std::get_if<double>(&v)) h.add_plain(std::isnan(*d) ? 0x7FF8000000000000ull : std::bit_cast<std::uint64_t>(*d));
        else if (const auto* c = std::get_if<jet::Currency>(&v)) h.add_plain(c->units);
        else if (const auto* t = std::get_if<jet::DateTime>(&v)) {
            const jet::CivilTime ct = jet::to_civil(*t);
            for (std::int64_t part : {ct.year, std::int64_t{ct.month}, std::int64_t{ct.day}, std::int64_t{ct.hour}, std::int64_t{ct.minute},
                                      std::int64_t{ct.second}, std::int64_t{ct.millisecond}}) {
                h.add_plain(part);
            }
        } else if (const auto* x = std::get_if<jet::Decimal>(&v)) h.add_text(plain_decimal(*x));
        else if (const auto* g = std::get_if<jet::Guid>(&v)) h.add(g->bytes.data(), g->bytes.size());
        else if (const auto* s = std::get_if<std::string>(&v)) h.add_text(*s);
        else if (const auto* bin = std::get_if<jet::Binary>(&v)) h.add_text({reinterpret_cast<const char*>(bin->bytes.data()), bin->bytes.size()});
        h.add_plain(std::uint8_t{0xFF});
    }
    return h.value();
}

}  // namespace server
