#include "like_regex.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <utility>
#include <vector>

#include "jet/text.h"
#include "sql/lexer.h"

namespace server {

namespace {

using Span = std::pair<char32_t, char32_t>;  // first and last code point, both taken

// Unicode gives letter case only to characters of its first two planes.
constexpr char32_t kLastCased = 0x1FFFF;

// The characters fold_case changes, each with the ones that fold to the same.
struct Folds {
    std::vector<char32_t> changed;                     // sorted
    std::map<char32_t, std::vector<char32_t>> into;    // folded form -> characters folding to it
};

const Folds& folds() {
    static const Folds f = [] {
        Folds out;
        for (char32_t c = 0; c <= kLastCased; ++c) {
            const char32_t to = jet::fold_case(c);
            if (to == c) continue;
            out.changed.push_back(c);
            out.into[to].push_back(c);
        }
        return out;
    }();
    return f;
}

std::vector<Span> merged(std::vector<Span> spans) {
    std::sort(spans.begin(), spans.end());
    std::vector<Span> out;
    for (const Span& s : spans) {
        if (!out.empty() && s.first <= out.back().second + 1) out.back().second = std::max(out.back().second, s.second);
        else out.push_back(s);
    }
    return out;
}

bool within(const std::vector<Span>& spans, char32_t c) {
    auto it = std::upper_bound(spans.begin(), spans.end(), c, [](char32_t x, const Span& s) { return x < s.first; });
    return it != spans.begin() && c <= std::prev(it)->second;
}

// Every character whose folded form lies in `folded` (merged spans of folded forms).
std::vector<Span> unfolded(const std::vector<Span>& folded) {
    const Folds& f = folds();
    std::vector<Span> out;
    // The characters fold_case leaves as they are: the spans less those it changes.
    for (const Span& s : folded) {
        char32_t from = s.first;
        auto it = std::lower_bound(f.changed.begin(), f.changed.end(), s.first);
        for (; it != f.changed.end() && *it <= s.second; ++it) {
            if (*it > from) out.emplace_back(from, *it - 1);
            from = *it + 1;
        }
        if (from <= s.second && from >= s.first) out.emplace_back(from, s.second);
    }
    // And the ones it changes into a form within them.
    for (const auto& [to, sources] : f.into) {
        if (!within(folded, to)) continue;
        for (char32_t c : sources) out.emplace_back(c, c);
    }
    return merged(std::move(out));
}

void append_escape(std::string& out, char32_t c) {
    char buf[16];
    if (c < 0x10000) std::snprintf(buf, sizeof buf, "\\u%04X", static_cast<unsigned>(c));
    else std::snprintf(buf, sizeof buf, "\\U%08X", static_cast<unsigned>(c));
    out += buf;
}

void append_set(std::string& out, const std::vector<Span>& spans, bool negated) {
    if (spans.empty()) {
        // No character at all is taken; a negated empty set is any character.
        out += negated ? "." : "[^\\u0001-\\U0010FFFF]";
        return;
    }
    if (!negated && spans.size() == 1 && spans[0].first == spans[0].second) {
        append_escape(out, spans[0].first);
        return;
    }
    out += negated ? "[^" : "[";
    for (const Span& s : spans) {
        append_escape(out, s.first);
        if (s.second != s.first) {
            out += '-';
            append_escape(out, s.second);
        }
    }
    out += ']';
}

void append_char(std::string& out, char32_t folded) { append_set(out, unfolded({{folded, folded}}), false); }

}  // namespace

std::string like_regex(const sql::LikePattern& pattern) {
    std::vector<sql::LikePattern::Part> parts = pattern.parts();
    // A run of any characters at either end is left to the search, which
    // looks everywhere in the text: the same texts match, found sooner.
    const bool open_start = !parts.empty() && parts.front().kind == sql::LikePattern::Part::Kind::Run;
    const bool open_end = !parts.empty() && parts.back().kind == sql::LikePattern::Part::Kind::Run;
    std::string out = open_start ? "" : "^";
    const std::size_t first = open_start ? 1 : 0;
    const std::size_t end = open_end && parts.size() > first ? parts.size() - 1 : parts.size();
    for (std::size_t i = first; i < end; ++i) {
        const sql::LikePattern::Part& p = parts[i];
        switch (p.kind) {
            case sql::LikePattern::Part::Kind::Char: append_char(out, p.c); break;
            case sql::LikePattern::Part::Kind::One: out += '.'; break;
            case sql::LikePattern::Part::Kind::Run: out += ".*"; break;
            case sql::LikePattern::Part::Kind::Class: {
                std::vector<Span> spans = p.ranges;
                for (char32_t c : p.folded) spans.emplace_back(c, c);
                append_set(out, unfolded(merged(std::move(spans))), p.negated);
                break;
            }
        }
    }
    if (!open_end) out += '$';
    return out.empty() ? "^" : out;
}

std::string equal_text_regex(std::string_view text) {
    std::string out = "^";
    for (std::size_t i = 0; i < text.size();) {
        char32_t c = 0;
        i += sql::decode_utf8(text, i, c);
        append_char(out, jet::fold_case(c));
    }
    return out + "$";
}

}  // namespace server
