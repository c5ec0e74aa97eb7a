// Text as Jet 4 stores it: UCS-2 little-endian, or Jet's compressed form that
// starts with FF FE and switches between one-byte and two-byte runs at each 00.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace jet {

// Appends the UTF-8 form of a code point.
void append_utf8(std::string& out, char32_t cp);

// UCS-2 (UTF-16LE) to UTF-8; unpaired surrogates become U+FFFD.
std::string ucs2_to_utf8(std::span<const std::uint8_t> b);

// True when the bytes carry the compressed-text mark.
inline bool is_compressed_text(std::span<const std::uint8_t> b) { return b.size() >= 2 && b[0] == 0xFF && b[1] == 0xFE; }

// Decodes a stored text value. The compressed form is recognised by its mark
// alone: files from some writers hold it in columns not flagged for it.
std::string decode_text(std::span<const std::uint8_t> b);
// The same into out, which keeps its room (a scan decodes row after row into one string).
void decode_text_into(std::string& out, std::span<const std::uint8_t> b);

// The value of a hexadecimal digit (either case), or -1.
constexpr int hex_digit_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// UTF-8 to UTF-32; invalid sequences become U+FFFD.
std::u32string utf8_to_utf32(std::string_view s);

// UTF-8 to UTF-16, code points above U+FFFF as surrogate pairs.
std::u16string to_utf16(std::string_view s);
// How many UTF-16 units to_utf16 gives, without making them.
std::size_t utf16_length(std::string_view s);

// The stored form of a text value: the compressed form when the column allows it
// and it is shorter, UCS-2 otherwise.
std::vector<std::uint8_t> encode_text(std::u16string_view s, bool compress);
// The same stored form made straight from UTF-8 text, without the UTF-16 copy:
// encode_utf8_text(s, c) == encode_text(to_utf16(s), c).
std::vector<std::uint8_t> encode_utf8_text(std::string_view s, bool compress);
// The same appended to out.
void append_utf8_text(std::vector<std::uint8_t>& out, std::string_view s, bool compress);

// Letter case set aside: Unicode's simple case folding (CaseFolding.txt,
// statuses C and S), used for names, which Jet compares without regard to
// case, and for LIKE.
char32_t fold_case(char32_t c);
std::u32string fold_case(std::u32string s);
// fold_case of every code point below U+10000, indexed by the code point.
std::u32string bmp_case_folds();
bool same_name(std::string_view a, std::string_view b);

}  // namespace jet
