#include "jet/text.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "format/bytes.h"

namespace jet {

void append_utf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

namespace {

void append_ucs2(std::string& out, Bytes b) {
    std::size_t n = b.size() / 2;
    std::size_t base = out.size();
    out.resize(base + 3 * n);  // no code unit takes more than three bytes alone
    char* o = out.data() + base;
    for (std::size_t i = 0; i < n; ++i) {
        char32_t u = static_cast<char32_t>(b[2 * i] | (b[2 * i + 1] << 8));
        if (u < 0x80) {
            *o++ = static_cast<char>(u);
        } else if (u < 0x800) {
            *o++ = static_cast<char>(0xC0 | (u >> 6));
            *o++ = static_cast<char>(0x80 | (u & 0x3F));
        } else if (u < 0xD800 || u > 0xDFFF) {
            *o++ = static_cast<char>(0xE0 | (u >> 12));
            *o++ = static_cast<char>(0x80 | ((u >> 6) & 0x3F));
            *o++ = static_cast<char>(0x80 | (u & 0x3F));
        } else {
            char32_t cp = 0xFFFD;
            if (u <= 0xDBFF && i + 1 < n) {
                char32_t lo = static_cast<char32_t>(b[2 * i + 2] | (b[2 * i + 3] << 8));
                if (lo >= 0xDC00 && lo <= 0xDFFF) {
                    cp = 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00);
                    ++i;
                }
            }
            // A pair takes four bytes for its two code units' six: within the room made.
            if (cp >= 0x10000) {
                *o++ = static_cast<char>(0xF0 | (cp >> 18));
                *o++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            } else {
                *o++ = static_cast<char>(0xE0 | (cp >> 12));
            }
            *o++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            *o++ = static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    out.resize(static_cast<std::size_t>(o - out.data()));
}

}  // namespace

std::string ucs2_to_utf8(Bytes b) {
    std::string out;
    out.reserve(b.size());
    append_ucs2(out, b);
    return out;
}

std::string decode_text(Bytes b) {
    std::string out;
    decode_text_into(out, b);
    return out;
}

void decode_text_into(std::string& out, Bytes b) {
    out.clear();
    if (!is_compressed_text(b)) {
        append_ucs2(out, b);
        return;
    }
    out.reserve(b.size());
    bool compressed = true;
    std::size_t seg = 2;
    auto flush = [&](std::size_t end) {
        Bytes s = b.subspan(seg, end - seg);
        if (compressed) {
            for (std::uint8_t c : s) append_utf8(out, c);
        } else {
            append_ucs2(out, s);
        }
    };
    for (std::size_t i = 2; i < b.size(); ++i) {
        if (b[i] == 0) {
            flush(i);
            compressed = !compressed;
            seg = i + 1;
        }
    }
    flush(b.size());
}

namespace {

// The code point at s[i], advancing i; a malformed or cut sequence gives
// U+FFFD and skips one byte.
char32_t next_code_point(std::string_view s, std::size_t& i) {
    auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
        ++i;
        return c;
    }
    int len = (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (len == 0 || i + static_cast<std::size_t>(len) > s.size()) {
        ++i;
        return U'\uFFFD';
    }
    char32_t cp = len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
    for (int k = 1; k < len; ++k) {
        auto d = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
        if ((d & 0xC0) != 0x80) {
            ++i;
            return U'\uFFFD';
        }
        cp = (cp << 6) | (d & 0x3F);
    }
    i += static_cast<std::size_t>(len);
    return cp;
}

}  // namespace

std::u32string utf8_to_utf32(std::string_view s) {
    std::u32string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) out += next_code_point(s, i);
    return out;
}

namespace {

struct Folding {
    char32_t from;
    char32_t to;
};

constexpr Folding kFoldings[] = {
#include "btree/case_folding.inc"
};

}  // namespace

char32_t fold_case(char32_t c) {
    if (c < 0x80) return c >= U'A' && c <= U'Z' ? c + 0x20 : c;
    const auto* end = std::end(kFoldings);
    const auto* it = std::lower_bound(std::begin(kFoldings), end, c, [](const Folding& f, char32_t x) { return f.from < x; });
    return it != end && it->from == c ? it->to : c;
}

std::u32string bmp_case_folds() {
    std::u32string all(0x10000, U'\0');
    for (char32_t c = 0; c < 0x10000; ++c) all[c] = c;
    for (char32_t c = U'A'; c <= U'Z'; ++c) all[c] = c + 0x20;
    for (const Folding& f : kFoldings) {
        if (f.from >= 0x80 && f.from < 0x10000) all[f.from] = f.to;
    }
    return all;
}

std::u32string fold_case(std::u32string s) {
    for (char32_t& c : s) c = fold_case(c);
    return s;
}

bool same_name(std::string_view a, std::string_view b) {
    if (a == b) return true;
    return fold_case(utf8_to_utf32(a)) == fold_case(utf8_to_utf32(b));
}

std::u16string to_utf16(std::string_view s) {
    std::u16string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        char32_t cp = next_code_point(s, i);
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

std::size_t utf16_length(std::string_view s) {
    std::size_t n = 0;
    for (std::size_t i = 0; i < s.size(); ++n) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            ++i;
        } else if ((c & 0xE0) == 0xC0 && i + 1 < s.size() && (static_cast<unsigned char>(s[i + 1]) & 0xC0) == 0x80) {
            i += 2;
        } else if (next_code_point(s, i) >= 0x10000) {
            ++n;  // a surrogate pair
        }
    }
    return n;
}

std::vector<std::uint8_t> encode_text(std::u16string_view s, bool compress) {
    std::vector<std::uint8_t> out;
    // One-byte runs only pay off past the two-byte mark; a 00 inside the text
    // would switch modes, so such text stays in UCS-2.
    bool one_byte = compress && s.size() > 2;
    for (char16_t c : s) {
        if (c == 0 || c > 0xFF) {
            one_byte = false;
            break;
        }
    }
    if (one_byte) {
        out.reserve(s.size() + 2);
        out.push_back(0xFF);
        out.push_back(0xFE);
        for (char16_t c : s) out.push_back(static_cast<std::uint8_t>(c));
        return out;
    }
    out.reserve(s.size() * 2);
    for (char16_t c : s) {
        out.push_back(static_cast<std::uint8_t>(c & 0xFF));
        out.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    return out;
}

namespace {

// Eight bytes at once: whether none has its top bit set, and whether one is 0.
constexpr std::uint64_t kHighBits = 0x8080808080808080ull;
constexpr std::uint64_t kLowBits = 0x0101010101010101ull;
bool has_zero_byte(std::uint64_t w) { return ((w - kLowBits) & ~w & kHighBits) != 0; }

// Four bytes 0000aabb... spread into 16-bit units 00aa00bb... (little-endian).
std::uint64_t widen4(std::uint64_t w) {
    w = (w | (w << 16)) & 0x0000FFFF0000FFFFull;
    return (w | (w << 8)) & 0x00FF00FF00FF00FFull;
}

}  // namespace

void append_utf8_text(std::vector<std::uint8_t>& out, std::string_view s, bool compress) {
    // UCS-2 first, in one pass: no character takes more units than bytes.
    const std::size_t start = out.size();
    out.resize(start + 2 * s.size());
    std::uint8_t* const first = out.data() + start;
    std::uint8_t* o = first;
    bool narrow = true;  // every unit 01..FF
    auto put = [&o](char32_t u) {
        *o++ = static_cast<std::uint8_t>(u & 0xFF);
        *o++ = static_cast<std::uint8_t>(u >> 8);
    };
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const auto* end = p + s.size();
    while (p < end) {
        if (end - p >= 8) {
            std::uint64_t w;
            std::memcpy(&w, p, 8);
            if ((w & kHighBits) == 0) {
                // Eight plain characters (little-endian: the first byte lowest).
                narrow = narrow && !has_zero_byte(w);
                const std::uint64_t lo = widen4(w & 0xFFFFFFFFull), hi = widen4(w >> 32);
                for (int k = 0; k < 8; ++k) {
                    o[k] = static_cast<std::uint8_t>(lo >> (8 * k));
                    o[8 + k] = static_cast<std::uint8_t>(hi >> (8 * k));
                }
                o += 16;
                p += 8;
                continue;
            }
        }
        const unsigned char c = *p;
        if (c < 0x80) {
            narrow = narrow && c != 0;
            put(c);
            ++p;
        } else if ((c & 0xE0) == 0xC0 && p + 1 < end && (p[1] & 0xC0) == 0x80) {
            // Two bytes, as Cyrillic and Latin-1 take.
            const char32_t u = (char32_t{c} & 0x1F) << 6 | (char32_t{p[1]} & 0x3F);
            narrow = narrow && u != 0 && u <= 0xFF;
            put(u);
            p += 2;
        } else {
            std::size_t i = static_cast<std::size_t>(p - reinterpret_cast<const unsigned char*>(s.data()));
            char32_t cp = next_code_point(s, i);
            p = reinterpret_cast<const unsigned char*>(s.data()) + i;
            narrow = narrow && cp != 0 && cp <= 0xFF;
            if (cp >= 0x10000) {
                cp -= 0x10000;
                put(0xD800 + (cp >> 10));
                put(0xDC00 + (cp & 0x3FF));
            } else {
                put(cp);
            }
        }
    }
    const std::size_t units = static_cast<std::size_t>(o - first) / 2;
    if (!(compress && narrow && units > 2)) {
        out.resize(start + 2 * units);
        return;
    }
    // The one-byte form, in place: FF FE and the low byte of each unit. Unit j
    // lands at j + 2, never past where unit j + 1 and later are read, except
    // for the first two, kept aside.
    const std::uint8_t one = first[0], two = first[2];
    for (std::size_t j = 2; j < units; ++j) first[j + 2] = first[2 * j];
    first[0] = 0xFF;
    first[1] = 0xFE;
    first[2] = one;
    first[3] = two;
    out.resize(start + units + 2);
}

std::vector<std::uint8_t> encode_utf8_text(std::string_view s, bool compress) {
    std::vector<std::uint8_t> out;
    append_utf8_text(out, s, compress);
    return out;
}

}  // namespace jet
