// Usage maps: bitmaps of pages, stored in a row either inline (type 0, with a
// start page) or as a list of bitmap pages (type 1, pages of type 0x05).
#pragma once

#include <cstdint>
#include <vector>

#include "page_file.h"

namespace jet {

// The pages set in the map stored at the given row pointer, in ascending order.
std::vector<std::uint32_t> read_usage_map(PageFile& file, std::uint32_t row_pointer);

// The same, from the map's bytes.
std::vector<std::uint32_t> decode_usage_map(PageFile& file, Bytes map);

}  // namespace jet
