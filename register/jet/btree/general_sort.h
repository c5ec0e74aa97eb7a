// Index keys of text under the General sort order of Access 2000-2003 (sort
// order 1033, version 0): each character becomes inline weight bytes, and
// accents, unprintable characters and a few special cases are appended after
// the text so that they only break ties.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace jet {

// The sort order's number, as the header and each text column store it.
constexpr std::uint16_t kGeneralSortOrder = 0x0409;

// Text longer than this many UTF-16 code units is indexed by its first ones.
constexpr std::size_t kMaxIndexedTextUnits = 255;

// Appends the key bytes of a non-null text value (without the entry's start flag).
void append_general_text_key(std::vector<std::uint8_t>& out, std::u16string_view text, bool ascending);

}  // namespace jet
