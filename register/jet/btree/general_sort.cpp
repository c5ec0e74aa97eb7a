#include "btree/general_sort.h"

#include <array>
#include <cstdlib>
#include <string>

#include "jet/error.h"
#include "jet/text.h"

namespace jet {

namespace {

// Split in chunks that every compiler takes as string literals.
const char* const kTable[] = {
#include "btree/general_sort_table.inc"
};

enum class Kind : std::uint8_t { Ignored, Simple, International, Unprintable, AccentModifier, InternationalFlagged, Significant, Surrogate };

struct Code {
    Kind kind = Kind::Ignored;
    std::uint8_t inline_len = 0;
    std::array<std::uint8_t, 4> inline_bytes{};
    std::uint8_t extra_len = 0;
    std::array<std::uint8_t, 2> extra{};
    std::uint8_t unprintable = 0;  // Unprintable: the code noted after the text
    std::uint8_t modifier = 0;     // AccentModifier: added to the previous accent byte
    std::uint8_t flag = 0;         // InternationalFlagged: 2 or 3
};

constexpr std::uint8_t kEndText = 0x01;
constexpr std::uint8_t kEndExtra = 0x00;
constexpr std::uint8_t kAccentPlaceholder = 0x02;
constexpr std::uint8_t kFlagStart = 0x80;
constexpr std::uint8_t kFlagFirst = 0x02;
constexpr std::uint8_t kFlagSecond = 0x03;
constexpr std::uint8_t kFlagSuffix[] = {0xFF, 0x02, 0x80, 0xFF, 0x80};
constexpr std::uint8_t kFlagBeforeUnprintable = 0xFF;
constexpr int kUnprintableStart = 7;
constexpr int kUnprintableStep = 4;
constexpr int kUnprintableMark = 0x8000;
constexpr std::uint8_t kUnprintableMid = 0x06;

// Parses "0803" into bytes; returns the count.
template <std::size_t N>
std::uint8_t parse_hex(std::string_view s, std::array<std::uint8_t, N>& out) {
    std::size_t n = s.size() / 2;
    if (n > N) std::abort();  // the embedded table is fixed; a bad one is a build fault
    for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<std::uint8_t>(hex_digit_value(s[2 * i]) * 16 + hex_digit_value(s[2 * i + 1]));
    return static_cast<std::uint8_t>(n);
}

std::vector<std::string_view> split(std::string_view s, char sep) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= s.size(); ++i) {
        if (i == s.size() || s[i] == sep) {
            parts.push_back(s.substr(start, i - start));
            start = i + 1;
        }
    }
    return parts;
}

std::vector<Code> load_table() {
    std::vector<Code> codes(0x10000);
    std::size_t cp = 0;
    auto next_cp = [&] {
        while (cp >= 0xD800 && cp <= 0xDFFF) codes[cp++].kind = Kind::Surrogate;
        return cp++;
    };
    std::string all;
    for (const char* chunk : kTable) all += chunk;
    for (std::string_view token : split(std::string_view(all), ' ')) {
        if (token.empty()) continue;
        char kind = token[0];
        std::string_view rest = token.substr(1);
        if (kind == '-') {
            long n = std::strtol(std::string(rest).c_str(), nullptr, 16);
            for (long i = 0; i < n; ++i) next_cp();
            continue;
        }
        Code& c = codes[next_cp()];
        std::vector<std::string_view> f = split(rest, '/');
        switch (kind) {
            case 's': c.kind = Kind::Simple; c.inline_len = parse_hex(f[0], c.inline_bytes); break;
            case 'g': c.kind = Kind::Significant; c.inline_len = parse_hex(f[0], c.inline_bytes); break;
            case 'i':
                c.kind = Kind::International;
                c.inline_len = parse_hex(f[0], c.inline_bytes);
                c.extra_len = parse_hex(f[1], c.extra);
                break;
            case 'z':
                c.kind = Kind::InternationalFlagged;
                c.inline_len = parse_hex(f[0], c.inline_bytes);
                c.extra_len = parse_hex(f[1], c.extra);
                c.flag = f[2] == "1" ? kFlagFirst : kFlagSecond;
                break;
            case 'u': {
                std::array<std::uint8_t, 1> b{};
                parse_hex(f[0], b);
                c.kind = Kind::Unprintable;
                c.unprintable = b[0];
                break;
            }
            case 'p': {
                std::array<std::uint8_t, 1> b{};
                parse_hex(f[0], b);
                c.kind = Kind::AccentModifier;
                c.modifier = b[0];
                break;
            }
            default: std::abort();
        }
    }
    while (cp < 0x10000) next_cp();
    return codes;
}

const std::vector<Code>& table() {
    static const std::vector<Code> t = load_table();
    return t;
}

// Weights of surrogate code units are computed, not listed.
void surrogate_inline(char16_t c, std::vector<std::uint8_t>& out) {
    int v;
    if (c <= 0xDBFF) {
        v = c - 10238;
    } else {
        int pos = (c - 0xDC00) % 1024;
        int base = pos < 8 ? 9992 : pos < 8 + 254 ? 9990 : pos < 8 + 2 * 254 ? 9988 : pos < 8 + 3 * 254 ? 9986 : 9984;
        v = c - base;
    }
    out.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
    out.push_back(static_cast<std::uint8_t>(v & 0xFF));
}

// The accent bytes after the text: one slot for each character with inline
// weights, placeholders for those without accents.
struct Accents {
    std::vector<std::uint8_t> bytes;
    std::size_t chars = 0;
    std::size_t modifier_prefix = 0;

    void note(std::size_t char_pos, const std::uint8_t* extra, std::size_t extra_len, std::uint8_t modifier) {
        if (chars < char_pos) {
            bytes.insert(bytes.end(), char_pos - chars, kAccentPlaceholder);
            chars = char_pos;
        }
        if (extra_len > 0) {
            bytes.insert(bytes.end(), extra, extra + extra_len);
            ++chars;
        } else if (!bytes.empty()) {
            bytes.back() = static_cast<std::uint8_t>(bytes.back() + modifier);
        } else {
            bytes.push_back(modifier);
            modifier_prefix = 1;
        }
    }
};

void trim_trailing(std::vector<std::uint8_t>& v, std::uint8_t lo, std::uint8_t hi) {
    while (!v.empty() && v.back() >= lo && v.back() <= hi) v.pop_back();
}

}  // namespace

void append_general_text_key(std::vector<std::uint8_t>& out, std::u16string_view text, bool ascending) {
    if (text.size() > kMaxIndexedTextUnits) text = text.substr(0, kMaxIndexedTextUnits);
    while (!text.empty() && text.back() == u' ') text.remove_suffix(1);  // trailing spaces do not count

    const std::vector<Code>& codes = table();
    std::size_t start = out.size();
    Accents accents;
    bool have_accents = false;
    std::vector<std::uint8_t> unprintable;
    std::vector<std::uint8_t> flags;
    std::size_t char_pos = 0;
    for (char16_t ch : text) {
        const Code& c = codes[ch];
        std::size_t pos = char_pos;
        if (c.kind == Kind::Surrogate) {
            surrogate_inline(ch, out);
            ++char_pos;
            static constexpr std::uint8_t surrogate_accent = 0x3F;
            accents.note(pos, &surrogate_accent, 1, 0);
            have_accents = true;
            continue;
        }
        if (c.inline_len > 0) {
            out.insert(out.end(), c.inline_bytes.begin(), c.inline_bytes.begin() + c.inline_len);
            ++char_pos;
        }
        if (c.kind == Kind::Simple || c.kind == Kind::Significant || c.kind == Kind::Ignored) continue;
        if (c.extra_len > 0 || c.modifier != 0) {
            accents.note(pos, c.extra.data(), c.extra_len, c.modifier);
            have_accents = true;
        }
        if (c.kind == Kind::Unprintable) {
            // The position counts the accent bytes as they will stand, less a
            // leading modifier, plus the characters not yet given a slot.
            std::size_t at = pos;
            if (have_accents) at = accents.bytes.size() + (pos - accents.chars) - accents.modifier_prefix;
            int mark = (kUnprintableStart + kUnprintableStep * static_cast<int>(at)) | kUnprintableMark;
            unprintable.push_back(static_cast<std::uint8_t>((mark >> 8) & 0xFF));
            unprintable.push_back(static_cast<std::uint8_t>(mark & 0xFF));
            unprintable.push_back(kUnprintableMid);
            unprintable.push_back(c.unprintable);
        }
        if (c.flag != 0) flags.push_back(c.flag);
    }
    out.push_back(kEndText);

    if (have_accents) trim_trailing(accents.bytes, 0x00, kAccentPlaceholder);
    bool any_accents = have_accents && !accents.bytes.empty();
    if (any_accents || !unprintable.empty() || !flags.empty()) {
        if (any_accents) out.insert(out.end(), accents.bytes.begin(), accents.bytes.end());
        if (!flags.empty() || !unprintable.empty()) {
            out.push_back(kEndText);
            out.push_back(kEndText);
            if (!flags.empty()) {
                // Trailing second-kind flags say nothing; the rest go three to a byte.
                trim_trailing(flags, kFlagSecond, kFlagSecond);
                std::uint8_t cur = kFlagStart;
                int n = 0;
                for (std::uint8_t f : flags) {
                    cur = static_cast<std::uint8_t>(cur | (f << ((2 - n) * 2)));
                    if (++n == 3) {
                        out.push_back(cur);
                        cur = kFlagStart;
                        n = 0;
                    }
                }
                if (n > 0) out.push_back(cur);
                out.insert(out.end(), std::begin(kFlagSuffix), std::end(kFlagSuffix));
                if (!unprintable.empty()) out.push_back(kFlagBeforeUnprintable);
            }
            if (!unprintable.empty()) {
                out.push_back(kEndText);
                out.insert(out.end(), unprintable.begin(), unprintable.end());
            }
        }
    }
    if (!ascending) {
        // Descending keys end with one more byte, then are inverted, then end again.
        out.push_back(kEndExtra);
        for (std::size_t i = start; i < out.size(); ++i) out[i] = static_cast<std::uint8_t>(~out[i]);
    }
    out.push_back(kEndExtra);
}

}  // namespace jet
