#include "sql/like.h"

#include <algorithm>

#include "jet/text.h"
#include "sql/lexer.h"

namespace sql {

namespace {

// Ranges up to this many code points are listed character by character, so
// that each of their letters is found whatever its case in the text.
constexpr char32_t kListedRange = 4096;

// jet::fold_case of every code point below U+10000, worked out once: rows are
// folded a character at a time without calling it.
const char32_t* bmp_folds() {
    static const std::u32string table = jet::bmp_case_folds();
    return table.data();
}

}  // namespace

void fold_utf8(std::string_view utf8, std::u32string& out) {
    const char32_t* fold = bmp_folds();
    out.resize(utf8.size());  // never more code points than bytes
    char32_t* o = out.data();
    std::size_t i = 0;
    while (i < utf8.size()) {
        auto b = static_cast<unsigned char>(utf8[i]);
        if (b < 0x80) {
            *o++ = fold[b];
            ++i;
            continue;
        }
        // Two-byte sequences (Cyrillic, Latin-1, Greek) decoded here; the rest by decode_utf8.
        if (b >= 0xC2 && b < 0xE0 && i + 1 < utf8.size() && (static_cast<unsigned char>(utf8[i + 1]) & 0xC0) == 0x80) {
            *o++ = fold[((b & 0x1Fu) << 6) | (static_cast<unsigned char>(utf8[i + 1]) & 0x3Fu)];
            i += 2;
            continue;
        }
        char32_t c = 0;
        i += decode_utf8(utf8, i, c);
        *o++ = c < 0x10000 ? fold[c] : jet::fold_case(c);
    }
    out.resize(static_cast<std::size_t>(o - out.data()));
}

bool LikePattern::Class::contains(char32_t c) const {
    bool in = std::binary_search(folded.begin(), folded.end(), c);
    for (std::size_t i = 0; !in && i < wide.size(); ++i) in = c >= wide[i].first && c <= wide[i].second;
    return in != negated;
}

std::optional<LikePattern> LikePattern::compile(std::string_view pattern, std::size_t* error_at) {
    std::u32string cps;
    std::vector<std::size_t> offsets;  // byte offset of each code point
    for (std::size_t i = 0; i < pattern.size();) {
        char32_t c = 0;
        std::size_t len = decode_utf8(pattern, i, c);
        cps.push_back(c);
        offsets.push_back(i);
        i += len;
    }

    LikePattern p;
    Segment current;
    bool any_element = false;
    auto add = [&](Element e) {
        current.elements.push_back(e);
        any_element = true;
    };
    for (std::size_t i = 0; i < cps.size(); ++i) {
        char32_t c = cps[i];
        if (c == U'%') {
            if (!any_element) p.leading_percent_ = true;
            p.has_percent_ = true;
            if (!current.elements.empty()) p.segments_.push_back(std::move(current));
            current = Segment{};
            continue;
        }
        if (c == U'_') {
            add({Element::Kind::Any, 0, 0});
            continue;
        }
        if (c != U'[') {
            add({Element::Kind::Char, jet::fold_case(c), 0});
            continue;
        }
        std::size_t open = i;
        std::size_t close = i + 1;
        while (close < cps.size() && cps[close] != U']') ++close;
        if (close == cps.size()) {
            if (error_at) *error_at = offsets[open];
            return std::nullopt;
        }
        i = close;
        std::u32string_view body(cps.data() + open + 1, close - open - 1);
        if (body.empty()) continue;  // "[]" stands for no character
        Class cls;
        if (body[0] == U'!' && body.size() > 1) {
            cls.negated = true;
            body.remove_prefix(1);
        }
        std::u32string listed;
        for (std::size_t k = 0; k < body.size(); ++k) {
            char32_t lo = body[k];
            if (k + 2 < body.size() && body[k + 1] == U'-') {
                char32_t hi = body[k + 2];
                k += 2;
                if (hi < lo) {
                    if (error_at) *error_at = offsets[open];
                    return std::nullopt;
                }
                if (hi - lo < kListedRange) {
                    for (char32_t x = lo; x <= hi; ++x) listed.push_back(x);
                } else {
                    // Too long to list: the range as written and as folded.
                    cls.wide.emplace_back(lo, hi);
                    char32_t flo = jet::fold_case(lo), fhi = jet::fold_case(hi);
                    if (flo <= fhi) cls.wide.emplace_back(flo, fhi);
                }
                continue;
            }
            listed.push_back(lo);
        }
        listed = jet::fold_case(std::move(listed));
        cls.folded.assign(listed.begin(), listed.end());
        std::sort(cls.folded.begin(), cls.folded.end());
        cls.folded.erase(std::unique(cls.folded.begin(), cls.folded.end()), cls.folded.end());
        p.classes_.push_back(std::move(cls));
        add({Element::Kind::Class, 0, p.classes_.size() - 1});
    }
    p.trailing_percent_ = p.has_percent_ && current.elements.empty();
    if (!current.elements.empty() || !p.has_percent_) p.segments_.push_back(std::move(current));
    for (Segment& s : p.segments_) {
        for (const Element& e : s.elements) {
            if (e.kind != Element::Kind::Char) s.literal = false;
            s.chars.push_back(e.c);
        }
    }
    p.matches_everything_ = p.has_percent_ && p.segments_.empty();
    return p;
}

bool LikePattern::element_matches(const Element& e, char32_t c) const {
    switch (e.kind) {
        case Element::Kind::Char: return e.c == c;
        case Element::Kind::Any: return true;
        case Element::Kind::Class: return classes_[e.cls].contains(c);
    }
    return false;
}

bool LikePattern::segment_at(const Segment& s, std::u32string_view text, std::size_t at) const {
    if (s.literal) return text.compare(at, s.chars.size(), s.chars) == 0;
    for (std::size_t k = 0; k < s.elements.size(); ++k) {
        if (!element_matches(s.elements[k], text[at + k])) return false;
    }
    return true;
}

// The first place at or after from where s lies wholly before end; npos when none.
std::size_t LikePattern::find_segment(const Segment& s, std::u32string_view text, std::size_t from, std::size_t end) const {
    std::size_t len = s.elements.size();
    if (len > end - from) return std::u32string_view::npos;
    if (s.literal) {
        std::size_t at = text.substr(0, end).find(s.chars, from);
        return at;
    }
    for (std::size_t at = from; at + len <= end; ++at) {
        if (segment_at(s, text, at)) return at;
    }
    return std::u32string_view::npos;
}

bool LikePattern::matches_folded(std::u32string_view text) const {
    if (matches_everything_) return true;
    if (!has_percent_) {
        const Segment& only = segments_.front();
        return text.size() == only.elements.size() && segment_at(only, text, 0);
    }
    // Every segment has a fixed length, so taking each at the first place it
    // fits (after the one before) never loses a match.
    std::size_t pos = 0, end = text.size();
    std::size_t first = 0, last = segments_.size();
    if (!leading_percent_) {
        const Segment& s = segments_[first++];
        if (s.elements.size() > end || !segment_at(s, text, 0)) return false;
        pos = s.elements.size();
    }
    if (!trailing_percent_ && last > first) {
        const Segment& s = segments_[--last];
        if (s.elements.size() > end - pos || !segment_at(s, text, end - s.elements.size())) return false;
        end -= s.elements.size();
    }
    for (std::size_t k = first; k < last; ++k) {
        std::size_t at = find_segment(segments_[k], text, pos, end);
        if (at == std::u32string_view::npos) return false;
        pos = at + segments_[k].elements.size();
    }
    return true;
}

std::vector<LikePattern::Part> LikePattern::parts() const {
    std::vector<Part> out;
    auto run = [&out] {
        if (out.empty() || out.back().kind != Part::Kind::Run) out.push_back({Part::Kind::Run, 0, false, {}, {}});
    };
    if (leading_percent_ || matches_everything_) run();
    for (std::size_t k = 0; k < segments_.size(); ++k) {
        if (k > 0) run();
        for (const Element& e : segments_[k].elements) {
            switch (e.kind) {
                case Element::Kind::Char: out.push_back({Part::Kind::Char, e.c, false, {}, {}}); break;
                case Element::Kind::Any: out.push_back({Part::Kind::One, 0, false, {}, {}}); break;
                case Element::Kind::Class: {
                    const Class& c = classes_[e.cls];
                    out.push_back({Part::Kind::Class, 0, c.negated, c.folded, c.wide});
                    break;
                }
            }
        }
    }
    if (trailing_percent_) run();
    return out;
}

bool LikePattern::matches(std::string_view utf8, std::u32string& scratch) const {
    if (matches_everything_) return true;
    fold_utf8(utf8, scratch);
    return matches_folded(scratch);
}

}  // namespace sql
