#include "format.h"

#include <cmath>
#include <cstdio>

namespace regtool {

namespace {

struct Plain {
    std::string text;
    bool is_string = false;  // quoted in JSON
    bool is_null = false;
};

Plain plain(const jet::Value& v) {
    struct Visitor {
        Plain operator()(const jet::Null&) const { return {"", false, true}; }
        Plain operator()(bool b) const { return {b ? "true" : "false"}; }
        Plain operator()(std::int64_t i) const { return {std::to_string(i)}; }
        Plain operator()(float f) const {
            if (!std::isfinite(f)) return {jet::shortest(f), true};
            return {jet::shortest(f)};
        }
        Plain operator()(double d) const {
            if (!std::isfinite(d)) return {jet::shortest(d), true};
            return {jet::shortest(d)};
        }
        Plain operator()(const jet::Currency& c) const { return {jet::to_string(c)}; }
        Plain operator()(const jet::DateTime& d) const { return {jet::to_iso(d), true}; }
        Plain operator()(const jet::Decimal& d) const { return {jet::to_string(d)}; }
        Plain operator()(const jet::Guid& g) const { return {jet::to_string(g), true}; }
        Plain operator()(const std::string& s) const { return {s, true}; }
        Plain operator()(const jet::Binary& b) const { return {to_hex(b.bytes), true}; }
    };
    return std::visit(Visitor{}, v);
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
    for (char ch : s) {
        auto c = static_cast<unsigned char>(ch);
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", c);
                    out += buf;
                } else {
                    out += ch;
                }
        }
    }
    out += '"';
}

void append_json_value(std::string& out, const jet::Value& v) {
    Plain p = plain(v);
    if (p.is_null) out += "null";
    else if (p.is_string) append_json_string(out, p.text);
    else out += p.text;
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

namespace {

void append_csv_field(std::string& out, std::string_view s, bool force_quotes) {
    bool quote = force_quotes || s.find_first_of(",\"\r\n") != std::string_view::npos;
    if (!quote) {
        out += s;
        return;
    }
    out += '"';
    for (char c : s) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
}

}  // namespace

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
        Plain p = plain(row[i]);
        if (p.is_null) continue;
        append_csv_field(out, p.text, p.is_string && p.text.empty());
    }
    out += '\n';
}

}  // namespace regtool
