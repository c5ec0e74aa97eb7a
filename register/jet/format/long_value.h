// Long values (Memo, OLE): the 12-byte field in the row says whether the bytes
// follow inline, fill one row of a long-value page, or run through a chain of them.
#pragma once

#include <cstdint>
#include <vector>

#include "storage/page_file.h"

namespace jet {

constexpr std::size_t kLongValueHeader = 12;
constexpr std::size_t kLongValuePointer = 4;  // the row (page and slot) holding the bytes, after the length and flags
constexpr std::uint32_t kLongValueInline = 0x80000000;
constexpr std::uint32_t kLongValueSinglePage = 0x40000000;
constexpr std::uint32_t kLongValueLengthMask = 0x3FFFFFFF;

std::vector<std::uint8_t> read_long_value(PageFile& file, Bytes field);

}  // namespace jet
