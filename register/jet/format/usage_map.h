// Usage maps: bitmaps of pages, stored in a row either inline (type 0, with a
// start page) or as a list of bitmap pages (type 1, pages of type 0x05).
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "storage/page_file.h"

namespace jet {

// The file's map of free pages lies in row 0 of page 1.
constexpr RowId kFreePagesMap{1, 0};

// Where a usage map keeps what, for every reader and writer of maps.
namespace map_layout {
constexpr std::size_t kKind = 0;        // byte: kInline or kReference
constexpr std::uint8_t kInline = 0;     // a bitmap in the row itself, from a start page
constexpr std::uint8_t kReference = 1;  // a list of bitmap pages
constexpr std::size_t kStart = 1;       // inline: the page of the bitmap's first bit (4 bytes)
constexpr std::size_t kBitmap = 5;      // inline: the bitmap
constexpr std::size_t kPointers = 1;    // reference: the bitmap pages, 4 bytes each (0: none)
constexpr std::size_t kBitmapPageHeader = 4;  // a bitmap page: type 0x05, 0x01, two bytes unused
constexpr std::uint32_t kPagesPerBitmapPage = (kPageSize - kBitmapPageHeader) * 8;
}  // namespace map_layout

// The pages set in the map stored at the given row pointer, in ascending order.
std::vector<std::uint32_t> read_usage_map(PageFile& file, std::uint32_t row_pointer);

// The same, from the map's bytes.
std::vector<std::uint32_t> decode_usage_map(PageFile& file, Bytes map);

}  // namespace jet

namespace jet {

// A usage map loaded for changing. store() writes it back into its row: inline
// while the pages fit the row's bitmap from some start page, else as a list of
// bitmap pages (added through allocate as needed).
class UsageMap {
public:
    UsageMap(PageFile& file, std::uint32_t row_pointer);

    bool contains(std::uint32_t page) const;
    void add(std::uint32_t page);
    void remove(std::uint32_t page);
    const std::vector<std::uint32_t>& pages() const { return pages_; }
    bool changed() const { return changed_; }

    void store(const std::function<std::uint32_t()>& allocate);

    // The bytes of a new inline map row of the given length covering nothing.
    static std::vector<std::uint8_t> empty_row(std::size_t length, std::uint32_t start);

private:
    PageFile& file_;
    RowId row_;
    std::vector<std::uint32_t> pages_;  // ascending
    bool changed_ = false;
};

}  // namespace jet
