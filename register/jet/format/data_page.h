// Data pages (type 0x01): the row-offset table and the rows it points at.
// Long-value pages share the layout and carry "LVAL" where a data page names its table.
#pragma once

#include <cstdint>
#include <optional>

#include "storage/page_file.h"

namespace jet {

namespace data_page {

constexpr std::size_t kFreeSpace = 2;
constexpr std::size_t kOwner = 4;       // first definition page of the owning table
constexpr std::size_t kRowCount = 12;
constexpr std::size_t kFirstSlot = 14;
constexpr std::uint16_t kDeleted = 0x8000;
constexpr std::uint16_t kOverflow = 0x4000;
constexpr std::uint16_t kOffsetMask = 0x1FFF;
constexpr std::uint32_t kLongValueMark = 0x4C41564C;  // "LVAL"

// A deleted row carries both flags; 0x8000 alone marks the bytes of a row
// moved here by an update, 0x4000 alone the pointer left where it was.
inline bool gone(std::uint16_t flags) { return (flags & (kDeleted | kOverflow)) == (kDeleted | kOverflow); }

struct Slot {
    std::uint16_t flags = 0;
    Bytes bytes;  // the row's bytes, within the page
    bool deleted() const { return (flags & kDeleted) != 0; }
    bool overflow() const { return (flags & kOverflow) != 0; }
};

std::uint16_t row_count(Bytes page);

// The row in slot n; raises Damaged when the slot or its extent is out of range.
Slot slot(Bytes page, std::uint16_t n);

// Writing. Rows lie from the end of the page downwards in slot order; the free
// space is the gap between the slot table and the lowest row.
constexpr std::uint16_t kMaxRows = 255;  // a row pointer keeps the row number in one byte
constexpr std::size_t kMaxRowSize = 4060;  // the largest row Jet itself writes

// An empty data page of the table whose definition starts at owner (or kLongValueMark).
void init(PageData& page, std::uint32_t owner);
std::size_t free_space(Bytes page);
// Room for a new row of this size once deleted rows are squeezed out.
bool has_room(Bytes page, std::size_t size);
// The longest row the page takes (with its slot), once its deleted rows' room is used again.
std::size_t largest_row(Bytes page);
// Adds the row in a new slot and returns its number; the page must have room.
// A page whose slots are used up gives the row the slot of a deleted row.
std::uint16_t add(PageData& page, Bytes row, std::uint16_t flags = 0);
// Replaces the bytes and flags of slot n; false (page unchanged) when it does not fit.
bool replace(PageData& page, std::uint16_t n, Bytes row, std::uint16_t flags);
// Marks slot n deleted and frees its bytes; its number is taken again only
// by a page with no slot left (add).
void remove(PageData& page, std::uint16_t n);
bool all_deleted(Bytes page);

// The bytes of the row of the table whose first definition page is owner at
// id, a row moved by an update followed to where they lie now (keep holds
// that page). Nothing when the row is deleted. Raises Damaged for a page of
// another table, and for moved rows that point on further than any update
// moves one (a loop).
struct Followed {
    Bytes bytes;
    std::optional<RowId> moved;  // where the bytes lie, when the row was moved
};
std::optional<Followed> follow_row(PageFile& file, std::uint32_t owner, RowId id, PagePtr& keep);

}  // namespace data_page

}  // namespace jet
