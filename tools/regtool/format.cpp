#include "format.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <type_traits>

namespace regtool {

namespace {

template <typename Number>
void append_number(std::string& out, Number v) {
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr);
}

// Appends a value's plain text; text-like values (strings, dates, GUIDs, binary,
// infinities) go through the sink, which quotes them as its format needs.
// Returns false for Null, which appends nothing.
template <typename Sink>
bool append_plain(std::string& out, const jet::Value& v, Sink&& sink) {
    return std::visit(
        [&](const auto& x) -> bool {
            using T = std::decay_t<decltype(x)>;
            if constexpr (std::is_same_v<T, jet::Null>) {
                return false;
            } else if constexpr (std::is_same_v<T, bool>) {
                out += x ? "true" : "false";
            } else if constexpr (std::is_same_v<T, std::int64_t>) {
                append_number(out, x);
            } else if constexpr (std::is_same_v<T, float> || std::is_same_v<T, double>) {
                if (x == 0 && std::signbit(x)) out += "-0.0";  // "-0" would read back as the whole number 0
                else if (std::isfinite(x)) append_number(out, x);
                else sink(jet::shortest(x));  // not a JSON number, so kept as text
            } else if constexpr (std::is_same_v<T, jet::Currency> || std::is_same_v<T, jet::Decimal>) {
                out += jet::to_string(x);
            } else if constexpr (std::is_same_v<T, jet::DateTime>) {
                std::string s;
                jet::append_iso(s, x);
                sink(s);
            } else if constexpr (std::is_same_v<T, jet::Guid>) {
                sink(jet::to_string(x));
            } else if constexpr (std::is_same_v<T, std::string>) {
                sink(x);
            } else {
                sink(to_hex(x.bytes));
            }
            return true;
        },
        v);
}

void append_csv_field(std::string& out, std::string_view s, bool force_quotes) {
    bool quote = force_quotes;
    for (char c : s) {
        if (c == ',' || c == '"' || c == '\n' || c == '\r') {
            quote = true;
            break;
        }
    }
    if (!quote) {
        out += s;
        return;
    }
    out += '"';
    std::size_t start = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '"') {
            out.append(s.data() + start, i + 1 - start);  // the quote, then its double
            start = i;
        }
    }
    out.append(s.data() + start, s.size() - start);
    out += '"';
}

}  // namespace

std::string to_hex(const std::vector<std::uint8_t>& b) {
    static const char digits[] = "0123456789abcdef";
    std::string s;
    s.reserve(b.size() * 2);
    for (std::uint8_t c : b) {
        s += digits[c >> 4];
        s += digits[c & 15];
    }
    return s;
}

void append_json_string(std::string& out, std::string_view s) {
    out += '"';
    std::size_t start = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        auto c = static_cast<unsigned char>(s[i]);
        if (c >= 0x20 && c != '"' && c != '\\') continue;
        out.append(s.data() + start, i - start);
        start = i + 1;
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default: {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            }
        }
    }
    out.append(s.data() + start, s.size() - start);
    out += '"';
}

void append_json_value(std::string& out, const jet::Value& v) {
    if (!append_plain(out, v, [&](std::string_view s) { append_json_string(out, s); })) out += "null";
}

void append_json_row(std::string& out, const std::vector<jet::Column>& cols, const std::vector<jet::Value>& row) {
    out += '{';
    for (std::size_t i = 0; i < cols.size() && i < row.size(); ++i) {
        if (i) out += ',';
        append_json_string(out, cols[i].name);
        out += ':';
        append_json_value(out, row[i]);
    }
    out += "}\n";
}

void append_csv_header(std::string& out, const std::vector<jet::Column>& cols) {
    for (std::size_t i = 0; i < cols.size(); ++i) {
        if (i) out += ',';
        append_csv_field(out, cols[i].name, false);
    }
    out += '\n';
}

void append_csv_row(std::string& out, const std::vector<jet::Value>& row) {
    for (std::size_t i = 0; i < row.size(); ++i) {
        if (i) out += ',';
        // The empty string is quoted so that it differs from Null.
        append_plain(out, row[i], [&](std::string_view s) { append_csv_field(out, s, s.empty()); });
    }
    out += '\n';
}

}  // namespace regtool
