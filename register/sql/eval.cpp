#include "sql/eval.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <type_traits>

#include "jet/text.h"

namespace sql {

namespace {

// A number as compared: a whole number held exactly, or a double.
struct Number {
    bool exact = false;
    std::int64_t whole = 0;
    double real = 0;

    static Number of(std::int64_t v) { return {true, v, 0}; }
    static Number of(double v) { return {false, 0, v}; }
    double as_double() const { return exact ? static_cast<double>(whole) : real; }
};

// -1, 0 or 1 for a whole number against a double; nothing when the double is NaN.
std::optional<int> order_whole_real(std::int64_t a, double b) {
    if (std::isnan(b)) return std::nullopt;
    // 2^63 is exactly representable; every int64 lies below it and at or above -2^63.
    constexpr double kTop = 9223372036854775808.0;
    if (b >= kTop) return -1;
    if (b < -kTop) return 1;
    double t = std::trunc(b);
    auto ti = static_cast<std::int64_t>(t);
    if (a != ti) return a < ti ? -1 : 1;
    double frac = b - t;
    return frac > 0 ? -1 : frac < 0 ? 1 : 0;
}

std::optional<int> order_numbers(const Number& a, const Number& b) {
    if (a.exact && b.exact) return a.whole < b.whole ? -1 : a.whole > b.whole ? 1 : 0;
    if (a.exact) return order_whole_real(a.whole, b.real);
    if (b.exact) {
        std::optional<int> r = order_whole_real(b.whole, a.real);
        if (r) return -*r;
        return std::nullopt;
    }
    if (std::isnan(a.real) || std::isnan(b.real)) return std::nullopt;
    return a.real < b.real ? -1 : a.real > b.real ? 1 : 0;
}

std::optional<int> order_doubles(double a, double b) {
    if (std::isnan(a) || std::isnan(b)) return std::nullopt;
    return a < b ? -1 : a > b ? 1 : 0;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Text read as a number: an optional sign, digits with an optional "." part,
// an optional exponent; spaces around are allowed.
std::optional<Number> read_number(std::string_view s) {
    s = trim(s);
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    std::size_t i = !s.empty() && s.front() == '-' ? 1 : 0;
    std::size_t digits = 0;
    bool whole = true;
    while (i < s.size() && is_digit(s[i])) ++i, ++digits;
    if (i < s.size() && s[i] == '.') {
        whole = false;
        ++i;
        while (i < s.size() && is_digit(s[i])) ++i, ++digits;
    }
    if (digits == 0) return std::nullopt;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        whole = false;
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
        std::size_t exp_digits = 0;
        while (i < s.size() && is_digit(s[i])) ++i, ++exp_digits;
        if (exp_digits == 0) return std::nullopt;
    }
    if (i != s.size()) return std::nullopt;
    const char* end = s.data() + s.size();
    if (whole) {
        std::int64_t v = 0;
        auto r = std::from_chars(s.data(), end, v);
        if (r.ec == std::errc() && r.ptr == end) return Number::of(v);
    }
    double d = 0;
    auto r = std::from_chars(s.data(), end, d);
    if (r.ec != std::errc() || r.ptr != end || !std::isfinite(d)) return std::nullopt;
    return Number::of(d);
}

// Days since 1899-12-30 on a line: Jet keeps the time of day of earlier dates
// as a positive fraction after a negative whole day, so -1.25 is 06:00 on
// 1899-12-29 and must come before -1.5 (12:00 the same day).
double linear_days(const jet::DateTime& d) {
    if (d.days >= 0 || !std::isfinite(d.days)) return d.days;
    double whole = std::trunc(d.days);
    return whole + (whole - d.days);
}

// Reads a run of 1 to max_len digits.
bool read_field(std::string_view s, std::size_t& i, std::size_t max_len, int& out) {
    std::size_t start = i;
    out = 0;
    while (i < s.size() && is_digit(s[i]) && i - start < max_len) out = out * 10 + (s[i++] - '0');
    return i > start;
}

// Text read as a date: dd.mm.yyyy or yyyy-mm-dd, then optionally hh:mm or hh:mm:ss.
std::optional<double> read_date(std::string_view s) {
    s = trim(s);
    jet::CivilTime c;
    int a = 0, b = 0, y = 0;
    std::size_t i = 0;
    if (!read_field(s, i, 4, a) || i >= s.size()) return std::nullopt;
    if (s[i] == '.' && i <= 2) {
        ++i;
        if (!read_field(s, i, 2, b) || i >= s.size() || s[i] != '.') return std::nullopt;
        ++i;
        std::size_t year_start = i;
        if (!read_field(s, i, 4, y) || i - year_start != 4) return std::nullopt;
        c.day = a;
        c.month = b;
    } else if (s[i] == '-' && i == 4) {
        y = a;
        ++i;
        if (!read_field(s, i, 2, b) || i >= s.size() || s[i] != '-') return std::nullopt;
        ++i;
        if (!read_field(s, i, 2, c.day)) return std::nullopt;
        c.month = b;
    } else {
        return std::nullopt;
    }
    c.year = y;
    static constexpr int kMonthDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (y < 100 || c.month < 1 || c.month > 12 || c.day < 1 || c.day > kMonthDays[c.month - 1]) return std::nullopt;
    bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    if (c.month == 2 && c.day == 29 && !leap) return std::nullopt;
    if (i < s.size()) {
        if (s[i] != ' ' && s[i] != 'T') return std::nullopt;
        while (i < s.size() && (s[i] == ' ' || s[i] == 'T')) ++i;
        if (!read_field(s, i, 2, c.hour) || i >= s.size() || s[i] != ':') return std::nullopt;
        ++i;
        if (!read_field(s, i, 2, c.minute)) return std::nullopt;
        if (i < s.size() && s[i] == ':') {
            ++i;
            if (!read_field(s, i, 2, c.second)) return std::nullopt;
        }
        if (i != s.size() || c.hour > 23 || c.minute > 59 || c.second > 59) return std::nullopt;
    }
    return linear_days(jet::from_civil(c));
}

// "12.3400" -> "12.34", "5.0000" -> "5".
std::string trim_fraction(std::string s) {
    if (s.find('.') == std::string::npos) return s;
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
    return s;
}

std::optional<Number> decimal_number(const jet::Decimal& d) {
    if (d.scale == 0 && d.magnitude[2] == 0 && d.magnitude[3] == 0 && (d.magnitude[1] & 0x80000000u) == 0) {
        auto v = static_cast<std::int64_t>((std::uint64_t{d.magnitude[1]} << 32) | d.magnitude[0]);
        return Number::of(d.negative ? -v : v);
    }
    std::string s = jet::to_string(d);
    double v = 0;
    auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    if (r.ec != std::errc()) return std::nullopt;
    return Number::of(v);
}

// The value as a number when it is one (Yes/No included).
std::optional<Number> number_of(const jet::Value& v) {
    if (const auto* i = std::get_if<std::int64_t>(&v)) return Number::of(*i);
    if (const auto* d = std::get_if<double>(&v)) return Number::of(*d);
    if (const auto* f = std::get_if<float>(&v)) return Number::of(static_cast<double>(*f));
    if (const auto* b = std::get_if<bool>(&v)) return Number::of(std::int64_t{*b ? -1 : 0});
    if (const auto* c = std::get_if<jet::Currency>(&v)) {
        if (c->units % 10000 == 0) return Number::of(c->units / 10000);
        return Number::of(static_cast<double>(c->units) / 10000.0);
    }
    if (const auto* d = std::get_if<jet::Decimal>(&v)) return decimal_number(*d);
    return std::nullopt;
}

void put2(std::string& out, int v) {
    out += static_cast<char>('0' + v / 10);
    out += static_cast<char>('0' + v % 10);
}

// As Access shows a date under Russian settings: 05.03.1980, 05.03.1980 7:05:09,
// 7:05:09 for a time alone.
std::string date_text(const jet::DateTime& d) {
    jet::CivilTime c = jet::to_civil(d);
    bool has_time = c.hour != 0 || c.minute != 0 || c.second != 0;
    bool has_date = std::trunc(d.days) != 0 || !has_time;
    std::string out;
    if (has_date) {
        put2(out, c.day);
        out += '.';
        put2(out, c.month);
        out += '.';
        std::string year = std::to_string(c.year < 0 ? -c.year : c.year);
        if (c.year < 0) out += '-';
        if (year.size() < 4) out.append(4 - year.size(), '0');
        out += year;
    }
    if (has_time) {
        if (has_date) out += ' ';
        out += std::to_string(c.hour);
        out += ':';
        put2(out, c.minute);
        out += ':';
        put2(out, c.second);
    }
    return out;
}

}  // namespace

std::optional<std::string> text_form(const jet::Value& v) {
    return std::visit(
        [](const auto& x) -> std::optional<std::string> {
            using T = std::decay_t<decltype(x)>;
            if constexpr (std::is_same_v<T, jet::Null>) return std::string();
            else if constexpr (std::is_same_v<T, bool>) return std::string(x ? "-1" : "0");
            else if constexpr (std::is_same_v<T, std::int64_t>) return std::to_string(x);
            else if constexpr (std::is_same_v<T, float> || std::is_same_v<T, double>) return jet::shortest(x);
            else if constexpr (std::is_same_v<T, jet::Currency> || std::is_same_v<T, jet::Decimal>) return trim_fraction(jet::to_string(x));
            else if constexpr (std::is_same_v<T, jet::DateTime>) return date_text(x);
            else if constexpr (std::is_same_v<T, jet::Guid>) return jet::to_string(x);
            else if constexpr (std::is_same_v<T, std::string>) return x;
            else return std::nullopt;
        },
        v);
}

std::optional<std::variant<std::int64_t, double>> number_in_text(std::string_view s) {
    std::optional<Number> n = read_number(s);
    if (!n) return std::nullopt;
    if (n->exact) return n->whole;
    return n->real;
}

Filter::Filter(const Condition& c, const std::function<std::size_t(const ColumnRef&)>& resolve, std::size_t column_count,
               std::string_view statement)
    : wanted_(column_count, false) {
    root_ = compile(c, resolve, statement, 0);
    if (root_.kind == Condition::Kind::And && root_.terms.size() > 1) {
        std::vector<bool> first(column_count, false);
        mark_columns(root_.terms.front(), first);
        if (std::find(first.begin(), first.end(), true) != first.end()) first_wanted_ = std::move(first);
    }
}

void Filter::mark_columns(const Node& n, std::vector<bool>& columns) const {
    for (const Term* t : {&n.left, &n.right}) {
        if (t->is_column()) columns.at(t->column) = true;
    }
    for (const Node& sub : n.terms) mark_columns(sub, columns);
}

bool Filter::first_rejects(const std::vector<jet::Value>& row) { return eval(root_.terms.front(), row) == Truth::False; }

Filter::Term Filter::term(const Operand& o, const std::function<std::size_t(const ColumnRef&)>& resolve) {
    Term t;
    switch (o.kind) {
        case Operand::Kind::Column:
            t.column = resolve(o.column);
            wanted_.at(t.column) = true;
            reads_columns_ = true;
            break;
        case Operand::Kind::Text:
            t.constant = o.text;
            fold_utf8(o.text, t.folded);
            break;
        case Operand::Kind::Integer:
        case Operand::Kind::Boolean: t.constant = o.integer; break;
        case Operand::Kind::Decimal: t.constant = o.decimal; break;
        case Operand::Kind::Null: break;
    }
    return t;
}

Filter::Node Filter::compile(const Condition& c, const std::function<std::size_t(const ColumnRef&)>& resolve,
                             std::string_view statement, int depth) {
    if (depth > kMaxNesting) syntax_error(statement, c.position);
    Node n;
    n.kind = c.kind;
    n.op = c.op;
    n.negated = c.negated;
    n.position = c.position;
    switch (c.kind) {
        case Condition::Kind::Or:
        case Condition::Kind::And:
        case Condition::Kind::Not:
            if (c.terms.empty() || (c.kind == Condition::Kind::Not && c.terms.size() != 1)) syntax_error(statement, c.position);
            for (const Condition& sub : c.terms) n.terms.push_back(compile(sub, resolve, statement, depth + 1));
            break;
        case Condition::Kind::Compare:
            n.left = term(c.left, resolve);
            n.right = term(c.right, resolve);
            break;
        case Condition::Kind::Like:
            n.left = term(c.left, resolve);
            n.like = LikePattern::compile(c.pattern);
            if (!n.like) syntax_error(statement, c.position);
            break;
        case Condition::Kind::IsNull:
        case Condition::Kind::Truth: n.left = term(c.left, resolve); break;
    }
    return n;
}

Truth Filter::test(const std::vector<jet::Value>& row) { return eval(root_, row); }

Truth Filter::eval(const Node& n, const std::vector<jet::Value>& row) {
    auto value = [&](const Term& t) -> const jet::Value& { return t.is_column() ? row[t.column] : t.constant; };
    switch (n.kind) {
        case Condition::Kind::Or:
        case Condition::Kind::And: {
            // One term decides (true for OR, false for AND); failing that, an
            // unknown term leaves the whole unknown.
            const Truth decisive = n.kind == Condition::Kind::Or ? Truth::True : Truth::False;
            Truth r = decisive == Truth::True ? Truth::False : Truth::True;
            for (const Node& sub : n.terms) {
                Truth t = eval(sub, row);
                if (t == decisive) return t;
                if (t == Truth::Unknown) r = Truth::Unknown;
            }
            return r;
        }
        case Condition::Kind::Not: {
            Truth t = eval(n.terms[0], row);
            return t == Truth::Unknown ? t : t == Truth::True ? Truth::False : Truth::True;
        }
        case Condition::Kind::Compare: return compare(n, row);
        case Condition::Kind::Like: {
            Truth t = like(n, row);
            if (n.negated && t != Truth::Unknown) t = t == Truth::True ? Truth::False : Truth::True;
            return t;
        }
        case Condition::Kind::IsNull: return jet::is_null(value(n.left)) != n.negated ? Truth::True : Truth::False;
        case Condition::Kind::Truth: {
            const jet::Value& v = value(n.left);
            if (jet::is_null(v)) return Truth::Unknown;
            std::optional<Number> num;
            if (const auto* s = std::get_if<std::string>(&v)) num = read_number(*s);
            else if (const auto* d = std::get_if<jet::DateTime>(&v)) num = Number::of(d->days);
            else num = number_of(v);
            if (!num) type_mismatch(n.position);
            if (!num->exact && std::isnan(num->real)) return Truth::Unknown;
            return (num->exact ? num->whole != 0 : num->real != 0) ? Truth::True : Truth::False;
        }
    }
    return Truth::Unknown;
}

Truth Filter::like(const Node& n, const std::vector<jet::Value>& row) {
    const jet::Value& v = n.left.is_column() ? row[n.left.column] : n.left.constant;
    if (const auto* s = std::get_if<std::string>(&v)) return n.like->matches(*s, scratch_a_) ? Truth::True : Truth::False;
    if (jet::is_null(v)) return Truth::Unknown;
    std::optional<std::string> text = text_form(v);
    if (!text) type_mismatch(n.position);
    return n.like->matches(*text, scratch_a_) ? Truth::True : Truth::False;
}

Truth Filter::compare(const Node& n, const std::vector<jet::Value>& row) {
    const jet::Value& a = n.left.is_column() ? row[n.left.column] : n.left.constant;
    const jet::Value& b = n.right.is_column() ? row[n.right.column] : n.right.constant;
    if (jet::is_null(a) || jet::is_null(b)) return Truth::Unknown;
    std::optional<int> o = order(n.left, a, n.right, b, n.position);
    if (!o) return Truth::Unknown;
    bool r = false;
    switch (n.op) {
        case CompareOp::Equal: r = *o == 0; break;
        case CompareOp::NotEqual: r = *o != 0; break;
        case CompareOp::Less: r = *o < 0; break;
        case CompareOp::LessEqual: r = *o <= 0; break;
        case CompareOp::Greater: r = *o > 0; break;
        case CompareOp::GreaterEqual: r = *o >= 0; break;
    }
    return r ? Truth::True : Truth::False;
}

std::optional<int> Filter::order_text(const std::u32string* folded_a, std::string_view a, const std::u32string* folded_b,
                                      std::string_view b) {
    if (!folded_a) {
        fold_utf8(a, scratch_a_);
        folded_a = &scratch_a_;
    }
    if (!folded_b) {
        fold_utf8(b, scratch_b_);
        folded_b = &scratch_b_;
    }
    int c = folded_a->compare(*folded_b);
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

std::optional<int> Filter::order(const Term& t, const jet::Value& a, const Term& u, const jet::Value& b, std::size_t position) {
    const auto* sa = std::get_if<std::string>(&a);
    const auto* sb = std::get_if<std::string>(&b);
    auto folded = [](const Term& x) { return x.is_column() ? nullptr : &x.folded; };
    if (sa && sb) return order_text(folded(t), *sa, folded(u), *sb);

    const auto* da = std::get_if<jet::DateTime>(&a);
    const auto* db = std::get_if<jet::DateTime>(&b);
    if (da || db) {
        auto days = [&](const jet::Value& v, const jet::DateTime* d) -> std::optional<double> {
            if (d) return linear_days(*d);
            if (const auto* s = std::get_if<std::string>(&v)) {
                if (std::optional<double> r = read_date(*s)) return r;
                type_mismatch(position);
            }
            if (std::optional<Number> num = number_of(v)) return num->as_double();
            type_mismatch(position);
        };
        std::optional<double> x = days(a, da), y = days(b, db);
        return order_doubles(*x, *y);
    }

    const auto* ca = std::get_if<jet::Currency>(&a);
    const auto* cb = std::get_if<jet::Currency>(&b);
    if (ca && cb) return ca->units < cb->units ? -1 : ca->units > cb->units ? 1 : 0;

    const auto* ga = std::get_if<jet::Guid>(&a);
    const auto* gb = std::get_if<jet::Guid>(&b);
    if (ga && gb) {
        int c = std::memcmp(ga->bytes.data(), gb->bytes.data(), ga->bytes.size());
        return c < 0 ? -1 : c > 0 ? 1 : 0;
    }
    if ((ga && sb) || (gb && sa)) {
        std::string ta = ga ? jet::to_string(*ga) : *sa;
        std::string tb = gb ? jet::to_string(*gb) : *sb;
        return order_text(ga ? nullptr : folded(t), ta, gb ? nullptr : folded(u), tb);
    }

    const auto* ba = std::get_if<jet::Binary>(&a);
    const auto* bb = std::get_if<jet::Binary>(&b);
    if (ba && bb) return ba->bytes < bb->bytes ? -1 : bb->bytes < ba->bytes ? 1 : 0;

    std::optional<Number> x = sa ? read_number(*sa) : number_of(a);
    std::optional<Number> y = sb ? read_number(*sb) : number_of(b);
    if (!x || !y) type_mismatch(position);
    return order_numbers(*x, *y);
}

}  // namespace sql
