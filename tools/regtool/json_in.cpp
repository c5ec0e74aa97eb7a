#include "json_in.h"

#include <array>
#include <charconv>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "errors/input.h"
#include "format.h"
#include "json_line.h"
#include "jet/text.h"

namespace regtool {

namespace {

using errors::InputDetails;
using errors::InputError;
using errors::InputFault;
using errors::JsonShape;
using errors::ValueForm;

std::string json_quoted(std::string_view s) {
    std::string out;
    append_json_string(out, s);
    return out;
}

// ---------------------------------------------------------------------------
// The JSON side: one flat object whose values are null, true, false, numbers
// or strings. Lines as the export writes them are read quickly
// (json_line.h); any other line goes through nlohmann's parser, which also
// says what is wrong with a line that is not such an object.

using json_line::Kind;
using json_line::Token;

struct Member {
    std::string key;
    Token value;
};

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The end of the JSON number that starts at pos, or npos when the text there
// is not one (a leading zero followed by more digits counts as malformed).
std::size_t scan_number(std::string_view s, std::size_t pos) {
    std::size_t i = pos;
    auto digits = [&] {
        std::size_t start = i;
        while (i < s.size() && is_digit(s[i])) ++i;
        return i > start;
    };
    if (i < s.size() && s[i] == '-') ++i;
    if (i < s.size() && s[i] == '0') {
        ++i;
        if (i < s.size() && is_digit(s[i])) return std::string_view::npos;
    } else if (!digits()) {
        return std::string_view::npos;
    }
    if (i < s.size() && s[i] == '.') {
        ++i;
        if (!digits()) return std::string_view::npos;
    }
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
        if (!digits()) return std::string_view::npos;
    }
    return i;
}

bool is_json_number(std::string_view s) { return !s.empty() && scan_number(s, 0) == s.size(); }

// The members of a row's object, gathered from nlohmann's SAX parser. Numbers
// keep the text they were written with where the parser hands it over (a
// number with a fraction or an exponent, or too large for 64 bits); whole
// numbers are written back exactly from their value.
class RowMembers final : public nlohmann::json_sax<nlohmann::json> {
public:
    std::vector<Member> members;

    bool null() override { return value(Kind::Null, {}); }
    bool boolean(bool v) override { return value(v ? Kind::True : Kind::False, {}); }
    bool number_integer(number_integer_t v) override { return value(Kind::Number, std::to_string(v)); }
    bool number_unsigned(number_unsigned_t v) override { return value(Kind::Number, std::to_string(v)); }
    bool number_float(number_float_t, const string_t& written) override { return value(Kind::Number, written); }
    bool string(string_t& v) override { return value(Kind::String, std::move(v)); }
    bool binary(binary_t&) override { return nested(JsonShape::Binary); }
    bool start_object(std::size_t) override {
        if (++depth_ > 1) return nested(JsonShape::Object);
        return true;
    }
    bool key(string_t& k) override {
        key_ = std::move(k);
        return true;
    }
    bool end_object() override {
        --depth_;
        return true;
    }
    bool start_array(std::size_t) override { return depth_ == 0 ? top_level(JsonShape::Array) : nested(JsonShape::Array); }
    bool end_array() override { return true; }
    bool parse_error(std::size_t position, const std::string& last_token, const nlohmann::detail::exception& e) override {
        InputDetails d;
        d.position = position;
        d.value = json_quoted(last_token);
        if (dynamic_cast<const nlohmann::detail::out_of_range*>(&e) && depth_ == 1) {
            // A number too large for a double: its column says what it makes
            // of it, as of any number; the rest of the line is not read.
            members.push_back({std::move(key_), Token{Kind::Number, last_token}});
            cut_short.emplace(InputFault::NumberTooLarge, std::move(d));
            return false;
        }
        throw InputError(InputFault::Unexpected, std::move(d));
    }

    std::optional<InputError> cut_short;  // why the members end early, when they do

private:
    int depth_ = 0;
    std::string key_;

    bool value(Kind kind, std::string text) {
        if (depth_ != 1) return top_level(JsonShape::NotAnObject);
        members.push_back({std::move(key_), Token{kind, std::move(text)}});
        return true;
    }
    [[noreturn]] bool nested(JsonShape what) {
        InputDetails d;
        d.key = json_quoted(key_);
        d.shape = what;
        throw InputError(InputFault::Nested, std::move(d));
    }
    [[noreturn]] static bool top_level(JsonShape what) {
        InputDetails d;
        d.shape = what;
        throw InputError(InputFault::NotAnObject, std::move(d));
    }
};

RowMembers read_members(std::string_view line) {
    // nlohmann passes over a byte-order mark, and takes a NUL byte for the end
    // of the text; in a line of JSON both are errors.
    InputDetails at;
    if (line.substr(0, 3) == "\xEF\xBB\xBF") {
        at.position = 1;
        throw InputError(InputFault::ByteOrderMark, std::move(at));
    }
    if (const std::size_t nul = line.find('\0'); nul != std::string_view::npos) {
        at.position = nul + 1;
        throw InputError(InputFault::NulByte, std::move(at));
    }
    RowMembers row;
    nlohmann::json::sax_parse(line.begin(), line.end(), &row);
    return row;
}

// ---------------------------------------------------------------------------
// Exact decimal numbers, for Currency and Decimal.

// digits × 10^exponent, the digits without leading or trailing zeros (empty for zero).
struct ExactNumber {
    bool negative = false;
    std::string digits;
    std::int64_t exponent = 0;
};

// From text already checked to be a JSON number.
ExactNumber exact_number(std::string_view t) {
    ExactNumber n;
    std::size_t i = 0;
    if (t[i] == '-') {
        n.negative = true;
        ++i;
    }
    std::int64_t decimals = 0;
    bool after_point = false;
    for (; i < t.size() && t[i] != 'e' && t[i] != 'E'; ++i) {
        if (t[i] == '.') {
            after_point = true;
            continue;
        }
        if (after_point) ++decimals;
        if (!n.digits.empty() || t[i] != '0') n.digits += t[i];
    }
    std::int64_t exp = 0;
    if (i < t.size()) {
        ++i;
        bool neg = false;
        if (t[i] == '+' || t[i] == '-') neg = t[i++] == '-';
        for (; i < t.size(); ++i) {
            if (exp < 1'000'000'000'000) exp = exp * 10 + (t[i] - '0');  // beyond that, every value is out of range anyway
        }
        if (neg) exp = -exp;
    }
    n.exponent = exp - decimals;
    while (!n.digits.empty() && n.digits.back() == '0') {
        n.digits.pop_back();
        ++n.exponent;
    }
    return n;
}

enum class Scaled { Ok, TooManyDecimals, TooLarge };

// The number times 10^scale as a 128-bit magnitude, least significant word first.
Scaled scale_to(const ExactNumber& n, unsigned scale, std::array<std::uint32_t, 4>& words, std::int64_t& digit_count) {
    words = {};
    digit_count = 0;
    if (n.digits.empty()) return Scaled::Ok;
    std::int64_t shift = n.exponent + static_cast<std::int64_t>(scale);
    if (shift < 0) return Scaled::TooManyDecimals;  // the last digit is not zero, so it would be lost
    digit_count = static_cast<std::int64_t>(n.digits.size()) + shift;
    if (digit_count > 38) return Scaled::TooLarge;  // 10^38 still fits in 128 bits
    auto times_ten_plus = [&](std::uint32_t add) {
        std::uint64_t carry = add;
        for (auto& w : words) {
            std::uint64_t x = std::uint64_t{w} * 10 + carry;
            w = static_cast<std::uint32_t>(x);
            carry = x >> 32;
        }
    };
    for (char d : n.digits) times_ten_plus(static_cast<std::uint32_t>(d - '0'));
    for (std::int64_t k = 0; k < shift; ++k) times_ten_plus(0);
    return Scaled::Ok;
}

// ---------------------------------------------------------------------------
// Values for columns.

// A value as it appeared in the line, cut short when long.
std::string shown(const Token& t) {
    constexpr std::size_t kMax = 60;
    switch (t.kind) {
        case Kind::Null: return "null";
        case Kind::True: return "true";
        case Kind::False: return "false";
        case Kind::Number: return t.text.size() > kMax ? t.text.substr(0, kMax) + "..." : t.text;
        case Kind::String: break;
    }
    std::string_view s = t.text;
    bool cut = false;
    if (s.size() > kMax) {
        std::size_t end = kMax;
        while (end > 0 && (static_cast<unsigned char>(s[end]) & 0xC0) == 0x80) --end;  // not inside a character
        s = s.substr(0, end);
        cut = true;
    }
    std::string out;
    append_json_string(out, s);
    if (cut) out.insert(out.size() - 1, "...");
    return out;
}

// The column and the value as the line wrote it, for a value the column does not take.
InputDetails about(const jet::Column& c, const Token& t) {
    InputDetails d;
    d.column = json_quoted(c.name);
    d.type = jet::type_name(c.type);
    d.value = shown(t);
    return d;
}

[[noreturn]] void unsuitable(const jet::Column& c, InputFault fault, const Token& t, unsigned count = 0) {
    InputDetails d = about(c, t);
    d.count = count;
    throw InputError(fault, std::move(d));
}

[[noreturn]] void wrong_kind(const jet::Column& c, const Token& t, ValueForm wanted) {
    InputDetails d = about(c, t);
    d.expected = wanted;
    throw InputError(InputFault::WrongKind, std::move(d));
}

bool to_bool(const jet::Column& c, const Token& t) {
    if (t.kind == Kind::True) return true;
    if (t.kind == Kind::False) return false;
    if (t.kind == Kind::Number) return !exact_number(t.text).digits.empty();
    wrong_kind(c, t, ValueForm::Boolean);
}

std::int64_t to_integer(const jet::Column& c, const Token& t) {
    if (t.kind != Kind::Number) wrong_kind(c, t, ValueForm::WholeNumber);
    if (t.text.find_first_of(".eE") != std::string::npos) unsuitable(c, InputFault::NotWhole, t);
    std::int64_t v = 0;
    auto r = std::from_chars(t.text.data(), t.text.data() + t.text.size(), v);
    if (r.ec != std::errc{}) unsuitable(c, InputFault::TooLarge, t);
    return v;
}

// A Currency or Decimal value, which may also come as a number in a string.
ExactNumber exact_value(const jet::Column& c, const Token& t) {
    if (t.kind == Kind::Number || (t.kind == Kind::String && is_json_number(t.text))) return exact_number(t.text);
    wrong_kind(c, t, ValueForm::Number);
}

jet::Currency to_currency(const jet::Column& c, const Token& t) {
    ExactNumber n = exact_value(c, t);
    std::array<std::uint32_t, 4> w{};
    std::int64_t digits = 0;
    Scaled s = scale_to(n, 4, w, digits);
    if (s == Scaled::TooManyDecimals) unsuitable(c, InputFault::CurrencyDecimals, t);
    constexpr std::uint64_t kMaxMagnitude = std::uint64_t{1} << 63;  // of a negative amount; a positive one is one less
    std::uint64_t mag = w[0] | (std::uint64_t{w[1]} << 32);
    if (s == Scaled::TooLarge || w[2] != 0 || w[3] != 0 || mag > (n.negative ? kMaxMagnitude : kMaxMagnitude - 1)) {
        unsuitable(c, InputFault::OutsideCurrency, t);
    }
    return jet::Currency{n.negative ? static_cast<std::int64_t>(0 - mag) : static_cast<std::int64_t>(mag)};
}

jet::Decimal to_decimal(const jet::Column& c, const Token& t) {
    ExactNumber n = exact_value(c, t);
    jet::Decimal d;
    std::int64_t digits = 0;
    Scaled s = scale_to(n, c.scale, d.magnitude, digits);
    if (s == Scaled::TooManyDecimals) unsuitable(c, InputFault::TooManyDecimals, t, c.scale);
    if (s == Scaled::TooLarge || d.magnitude[3] != 0) unsuitable(c, InputFault::DecimalTooLarge, t);
    if (c.precision >= 1 && c.precision <= 28 && digits > c.precision) unsuitable(c, InputFault::BeyondPrecision, t, c.precision);
    d.negative = n.negative && !n.digits.empty();
    d.scale = c.scale;
    d.precision = c.precision;
    return d;
}

// The export writes infinities and NaN as strings: "inf", "-inf", "nan", "-nan".
template <typename Real>
Real to_real(const jet::Column& c, const Token& t) {
    if (t.kind == Kind::String) {
        constexpr Real inf = std::numeric_limits<Real>::infinity();
        constexpr Real nan = std::numeric_limits<Real>::quiet_NaN();
        if (t.text == "inf") return inf;
        if (t.text == "-inf") return -inf;
        if (t.text == "nan") return nan;
        if (t.text == "-nan") return -nan;
    }
    if (t.kind != Kind::Number) wrong_kind(c, t, ValueForm::RealNumber);
    Real v = 0;
    auto r = std::from_chars(t.text.data(), t.text.data() + t.text.size(), v);
    if (r.ec != std::errc{} || r.ptr != t.text.data() + t.text.size()) unsuitable(c, InputFault::OutOfRange, t);
    return v;
}

bool is_leap(std::int64_t y) { return y % 4 == 0 && (y % 100 != 0 || y % 400 == 0); }

int days_in_month(std::int64_t y, int m) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && is_leap(y) ? 29 : kDays[m - 1];
}

// "YYYY-MM-DD", optionally followed by "THH:MM:SS" and ".m" to ".mmm"; the year
// may have a minus sign and up to six digits, as the export writes far dates.
bool parse_civil(std::string_view s, jet::CivilTime& c) {
    std::size_t i = 0;
    auto number = [&](std::size_t min_len, std::size_t max_len, std::int64_t& out) {
        std::size_t start = i;
        out = 0;
        while (i < s.size() && is_digit(s[i]) && i - start < max_len) out = out * 10 + (s[i++] - '0');
        return i - start >= min_len && !(i < s.size() && is_digit(s[i]));
    };
    auto two = [&](int& out) {
        std::int64_t v = 0;
        if (!number(2, 2, v)) return false;
        out = static_cast<int>(v);
        return true;
    };
    auto sep = [&](char ch) {
        if (i >= s.size() || s[i] != ch) return false;
        ++i;
        return true;
    };
    bool negative = sep('-');
    if (!number(4, 6, c.year)) return false;
    if (negative) c.year = -c.year;
    if (!sep('-') || !two(c.month) || !sep('-') || !two(c.day)) return false;
    if (i < s.size()) {
        if (!(sep('T') || sep(' ')) || !two(c.hour) || !sep(':') || !two(c.minute) || !sep(':') || !two(c.second)) return false;
        if (sep('.')) {
            std::size_t start = i;
            std::int64_t ms = 0;
            if (!number(1, 3, ms)) return false;
            for (std::size_t k = i - start; k < 3; ++k) ms *= 10;  // ".5" is 500 ms
            c.millisecond = static_cast<int>(ms);
        }
    }
    if (i != s.size()) return false;
    return c.month >= 1 && c.month <= 12 && c.day >= 1 && c.day <= days_in_month(c.year, c.month) && c.hour < 24 &&
           c.minute < 60 && c.second < 60;
}

jet::DateTime to_datetime(const jet::Column& c, const Token& t) {
    if (t.kind != Kind::String) wrong_kind(c, t, ValueForm::DateText);
    jet::CivilTime civil;
    if (!parse_civil(t.text, civil)) unsuitable(c, InputFault::NotADate, t);
    return jet::from_civil(civil);
}

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", braces optional, hex in either case.
// The first three groups are stored little-endian, the last two as written.
jet::Guid to_guid(const jet::Column& c, const Token& t) {
    if (t.kind != Kind::String) wrong_kind(c, t, ValueForm::GuidText);
    std::string_view s = t.text;
    if (s.size() == 38 && s.front() == '{' && s.back() == '}') s = s.substr(1, 36);
    std::array<std::uint8_t, 16> written{};
    bool ok = s.size() == 36;
    for (std::size_t i = 0, k = 0; ok && i < s.size();) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            ok = s[i] == '-';
            ++i;
            continue;
        }
        int hi = jet::hex_digit_value(s[i]), lo = jet::hex_digit_value(s[i + 1]);
        ok = hi >= 0 && lo >= 0;
        written[k++] = static_cast<std::uint8_t>(hi * 16 + lo);
        i += 2;
    }
    if (!ok) unsuitable(c, InputFault::NotAGuid, t);
    const auto& w = written;
    return jet::Guid{{w[3], w[2], w[1], w[0], w[5], w[4], w[7], w[6], w[8], w[9], w[10], w[11], w[12], w[13], w[14], w[15]}};
}

int base64_value(char ch) {
    if (ch >= 'A' && ch <= 'Z') return ch - 'A';
    if (ch >= 'a' && ch <= 'z') return ch - 'a' + 26;
    if (ch >= '0' && ch <= '9') return ch - '0' + 52;
    if (ch == '+') return 62;
    if (ch == '/') return 63;
    return -1;
}

// Standard base64; the '=' padding may be left off, but unused bits must be zero.
bool decode_base64(std::string_view s, std::vector<std::uint8_t>& out) {
    std::size_t pad = 0;
    while (pad < 2 && pad < s.size() && s[s.size() - 1 - pad] == '=') ++pad;
    if (pad > 0 && s.size() % 4 != 0) return false;
    s.remove_suffix(pad);
    if (s.size() % 4 == 1) return false;
    out.reserve(s.size() * 3 / 4);
    std::uint32_t bits = 0;
    int nbits = 0;
    for (char ch : s) {
        int v = base64_value(ch);
        if (v < 0) return false;
        bits = (bits << 6) | static_cast<std::uint32_t>(v);
        nbits += 6;
        if (nbits >= 8) {
            nbits -= 8;
            out.push_back(static_cast<std::uint8_t>(bits >> nbits));
            bits &= (1u << nbits) - 1;
        }
    }
    return bits == 0;
}

jet::Binary to_binary(const jet::Column& c, const Token& t) {
    if (t.kind != Kind::String) wrong_kind(c, t, ValueForm::BytesText);
    jet::Binary b;
    constexpr std::string_view kBase64 = "base64:";
    std::string_view s = t.text;
    if (s.substr(0, kBase64.size()) == kBase64) {
        if (!decode_base64(s.substr(kBase64.size()), b.bytes)) unsuitable(c, InputFault::NotBase64, t);
        return b;
    }
    if (s.size() % 2 != 0) unsuitable(c, InputFault::OddHex, t);
    b.bytes.reserve(s.size() / 2);
    for (std::size_t i = 0; i < s.size(); i += 2) {
        int hi = jet::hex_digit_value(s[i]), lo = jet::hex_digit_value(s[i + 1]);
        if (hi < 0 || lo < 0) unsuitable(c, InputFault::NotHex, t);
        b.bytes.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
    }
    return b;
}

// The value for the column; a string's text is moved into it.
jet::Value to_value(const jet::Column& c, Token& t) {
    if (t.kind == Kind::Null) return jet::Null{};
    switch (c.type) {
        case jet::ColumnType::Boolean: return to_bool(c, t);
        case jet::ColumnType::Byte:
        case jet::ColumnType::Integer:
        case jet::ColumnType::Long: return to_integer(c, t);
        case jet::ColumnType::Currency: return to_currency(c, t);
        case jet::ColumnType::Single: return to_real<float>(c, t);
        case jet::ColumnType::Double: return to_real<double>(c, t);
        case jet::ColumnType::DateTime: return to_datetime(c, t);
        case jet::ColumnType::Text:
        case jet::ColumnType::Memo:
            if (t.kind != Kind::String) wrong_kind(c, t, ValueForm::String);
            return std::move(t.text);
        case jet::ColumnType::Guid: return to_guid(c, t);
        case jet::ColumnType::Decimal: return to_decimal(c, t);
        case jet::ColumnType::Binary:
        case jet::ColumnType::Ole: return to_binary(c, t);
    }
    unsuitable(c, InputFault::UnknownType, t);
}

}  // namespace

std::vector<jet::Value> parse_json_row(std::string_view line, const std::vector<jet::Column>& cols) { return RowReader(cols).read(line); }

// A key names the column of exactly its name, else the one Jet takes it for
// (letter case aside); the answer is kept for the next lines.
std::size_t RowReader::column_named(const std::string& key) {
    if (auto it = known_.find(key); it != known_.end()) return it->second;
    std::size_t at = cols_.size();
    for (std::size_t i = 0; i < cols_.size() && at == cols_.size(); ++i) {
        if (cols_[i].name == key) at = i;
    }
    for (std::size_t i = 0; i < cols_.size() && at == cols_.size(); ++i) {
        if (jet::same_name(cols_[i].name, key)) at = i;
    }
    if (at == cols_.size()) {
        InputDetails d;
        d.key = json_quoted(key);
        throw InputError(InputFault::NoSuchColumn, std::move(d));
    }
    if (known_.size() < 4 * cols_.size() + 16) known_.emplace(key, at);  // keys of hand-written lines may vary without end
    return at;
}

// The lines of an export name the same columns in the same order: the key in
// each place of the last line is checked first.
std::size_t RowReader::column_of(std::size_t place, std::string_view key) {
    if (place < by_place_.size() && by_place_[place].first == key) return by_place_[place].second;
    const std::size_t at = column_named(std::string(key));
    if (place < 4 * cols_.size() + 16) {
        if (by_place_.size() <= place) by_place_.resize(place + 1);
        by_place_[place] = {std::string(key), at};
    }
    return at;
}

std::vector<jet::Value> RowReader::read(std::string_view line) {
    std::vector<jet::Value> row(cols_.size(), jet::Null{});
    given_as_.assign(cols_.size(), std::nullopt);
    auto place = [&](std::size_t k, std::string_view key, Token& value) {
        const std::size_t at = column_of(k, key);
        if (given_as_[at]) {
            InputDetails d;
            d.column = json_quoted(cols_[at].name);
            d.key = json_quoted(*given_as_[at]);
            d.other_key = json_quoted(key);
            throw InputError(InputFault::GivenTwice, std::move(d));
        }
        given_as_[at] = key;
        row[at] = to_value(cols_[at], value);
    };
    if (json_line::read_plain_line(line, plain_)) {
        for (std::size_t k = 0; k < plain_.size(); ++k) place(k, plain_[k].key, plain_[k].value);
        return row;
    }
    RowMembers parsed = read_members(line);
    for (std::size_t k = 0; k < parsed.members.size(); ++k) place(k, parsed.members[k].key, parsed.members[k].value);
    if (parsed.cut_short) throw *parsed.cut_short;
    return row;
}

}  // namespace regtool
