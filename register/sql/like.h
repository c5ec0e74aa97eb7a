// LIKE patterns as Jet runs them for OLE DB clients: "%" any run of characters
// (none included), "_" exactly one character, "[abc]" one of the listed
// characters, "[a-z]" one within the range, "[!abc]" / "[!a-z]" one not
// listed. The pattern must match the whole text. Letters match without regard
// to case (jet::fold_case, Unicode's simple case folding: Ґ with ґ, Ё with ё
// but not with е).
//
// Within a class "-" is literal first or last, "!" is literal when not first or
// when it is all the class holds, and any other character (also "[", "%", "_")
// stands for itself; the first "]" ends the class. "[]" matches no character
// at all (it is dropped). A "]" outside a class is an ordinary character.
// Ranges run over code points: "[а-я]" does not take in "ё".
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sql {

class LikePattern {
public:
    // The compiled pattern, or nothing when it is malformed (a "[" without its
    // "]", a descending range); error_at then receives the byte offset of the
    // offending "[" in the pattern.
    static std::optional<LikePattern> compile(std::string_view pattern, std::size_t* error_at = nullptr);

    // Text as UTF-8; scratch is working room kept by the caller between calls,
    // so that matching allocates nothing once it has grown.
    bool matches(std::string_view utf8, std::u32string& scratch) const;
    // Text already case-folded into code points.
    bool matches_folded(std::u32string_view text) const;

    // The pattern's parts in order, for running it elsewhere (as a server's
    // regular expression). A class matches a case-folded character when it is
    // among `folded` or within one of `ranges`, or, negated, when it is not.
    struct Part {
        enum class Kind : std::uint8_t { Char, One, Run, Class };
        Kind kind = Kind::Char;
        char32_t c = 0;  // Char: folded
        bool negated = false;
        std::vector<char32_t> folded;
        std::vector<std::pair<char32_t, char32_t>> ranges;
    };
    std::vector<Part> parts() const;

private:
    struct Class {
        bool negated = false;
        std::vector<char32_t> folded;                        // sorted: the folded forms of the characters listed
        std::vector<std::pair<char32_t, char32_t>> wide;     // ranges too long to list, as written and folded
        bool contains(char32_t folded_char) const;
    };
    struct Element {
        enum class Kind : std::uint8_t { Char, Any, Class };
        Kind kind = Kind::Char;
        char32_t c = 0;          // Char: folded
        std::size_t cls = 0;     // Class: index into classes_
    };
    // The run between two "%": fixed length, one element for each character.
    struct Segment {
        std::vector<Element> elements;
        bool literal = true;     // only Char elements
        std::u32string chars;    // literal: the characters
    };

    bool element_matches(const Element& e, char32_t c) const;
    bool segment_at(const Segment& s, std::u32string_view text, std::size_t at) const;
    std::size_t find_segment(const Segment& s, std::u32string_view text, std::size_t from, std::size_t end) const;

    std::vector<Segment> segments_;  // empty segments (between adjacent "%") left out
    std::vector<Class> classes_;
    bool has_percent_ = false;
    bool leading_percent_ = false;
    bool trailing_percent_ = false;
    bool matches_everything_ = false;  // only "%" is left: every text matches, none needs reading
};

// Decodes UTF-8 into code points and folds their case, into out (replaced).
void fold_utf8(std::string_view utf8, std::u32string& out);

}  // namespace sql
