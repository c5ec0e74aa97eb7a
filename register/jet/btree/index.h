// Indexes: the key bytes of a row under an index, and the entries stored in
// an index's B-tree (leaf pages of type 0x04, node pages of type 0x03).
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

#include "storage/page_file.h"
#include "jet/table_def.h"

namespace jet {

struct IndexEntry {
    std::vector<std::uint8_t> key;  // without the row pointer
    RowId row;

    // Entries are ordered by their bytes as stored: the key, then the row
    // pointer big-endian (page in three bytes, then the row).
    friend bool operator<(const IndexEntry& a, const IndexEntry& b) {
        // Sorting and searching compare entries by the million: the first
        // eight bytes as one number, the rest (rarely needed) by memcmp.
        const std::size_t both = std::min(a.key.size(), b.key.size());
        std::size_t from = 0;
        if (both >= 8) {
            std::uint64_t x, y;
            std::memcpy(&x, a.key.data(), 8);
            std::memcpy(&y, b.key.data(), 8);
            if (x != y) {
                if constexpr (std::endian::native == std::endian::little) return __builtin_bswap64(x) < __builtin_bswap64(y);
                else return x < y;
            }
            from = 8;
        }
        if (both > from) {
            if (int c = std::memcmp(a.key.data() + from, b.key.data() + from, both - from); c != 0) return c < 0;
        }
        if (a.key.size() != b.key.size()) return a.key.size() < b.key.size();
        if (a.row.page != b.row.page) return a.row.page < b.row.page;
        return a.row.row < b.row.row;
    }
    friend bool operator==(const IndexEntry&, const IndexEntry&) = default;
};

// The key of a row under an index, or nothing when the index leaves the row
// out (all its columns Null and the index ignores nulls). Raises Unsupported
// for a column the engine cannot encode exactly (a text sort order other than
// General, a column type indexes do not take).
std::optional<std::vector<std::uint8_t>> index_key(const TableDef& def, const PhysicalIndex& index,
                                                   const std::vector<Value>& row, std::uint16_t default_sort_order);

// Why the engine cannot keep this index, or nothing when it can.
std::optional<std::string> unsupported_reason(const TableDef& def, const PhysicalIndex& index,
                                              std::uint16_t default_sort_order);

// One page of an index's tree, decoded. A node page's entries each carry the
// last entry below their child; the rightmost child of a node with several
// children has no entry and is the page's tail.
struct IndexPage {
    bool leaf = false;
    std::vector<IndexEntry> entries;
    std::vector<std::uint32_t> children;  // node pages: the child of each entry
    std::uint32_t prev = 0;
    std::uint32_t next = 0;
    std::uint32_t tail = 0;
};
IndexPage read_index_page(PageFile& file, std::uint32_t table_page, std::uint32_t page);

// Every entry of the index's tree, leaf by leaf from the first.
std::vector<IndexEntry> read_index_entries(PageFile& file, const TableDef& def, const PhysicalIndex& index);

namespace index_page {
constexpr std::size_t kOwner = 4;
constexpr std::size_t kPrev = 12;
constexpr std::size_t kNext = 16;
constexpr std::size_t kTail = 20;
constexpr std::size_t kPrefixLength = 24;
constexpr std::size_t kMask = 27;
constexpr std::size_t kMaskSize = 453;
constexpr std::size_t kEntries = kMask + kMaskSize;  // 0x1E0
}  // namespace index_page

}  // namespace jet
