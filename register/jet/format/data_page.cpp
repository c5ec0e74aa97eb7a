#include "format/data_page.h"

#include <algorithm>
#include <vector>

namespace jet::data_page {

std::uint16_t row_count(Bytes page) {
    std::uint16_t n = u16(page, kRowCount);
    if (kFirstSlot + 2u * n > page.size()) damaged("a data page claims " + std::to_string(n) + " rows");
    return n;
}

Slot slot(Bytes page, std::uint16_t n) {
    std::uint16_t count = row_count(page);
    if (n >= count) damaged("row " + std::to_string(n) + " asked of a page with " + std::to_string(count) + " rows");
    std::uint16_t raw = u16(page, kFirstSlot + 2u * n);
    std::size_t start = raw & kOffsetMask;
    std::size_t end = n == 0 ? page.size() : (u16(page, kFirstSlot + 2u * (n - 1)) & kOffsetMask);
    if (start < kFirstSlot + 2u * count || start > end || end > page.size()) {
        damaged("row " + std::to_string(n) + " of a data page has an impossible extent " + std::to_string(start) + ".." +
                std::to_string(end));
    }
    return Slot{static_cast<std::uint16_t>(raw & ~kOffsetMask), page.subspan(start, end - start)};
}

namespace {

void put16(PageData& p, std::size_t at, std::size_t v) {
    p[at] = static_cast<std::uint8_t>(v & 0xFF);
    p[at + 1] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
}

std::size_t lowest_row(Bytes page, std::uint16_t count) {
    return count == 0 ? page.size() : (u16(page, kFirstSlot + 2u * (count - 1)) & kOffsetMask);
}

std::size_t live_bytes(Bytes page) {
    std::uint16_t count = row_count(page);
    std::size_t total = 0;
    for (std::uint16_t i = 0; i < count; ++i) {
        Slot s = slot(page, i);
        if (!gone(s.flags)) total += s.bytes.size();
    }
    return total;
}

// Lays the rows out again from the end of the page, dropping deleted rows'
// bytes; row `n` (if the page has it) takes `flags` and, unless they mark it
// gone, `bytes` (which lie outside the page). The rows are read from a copy
// of the page, each checked as slot() checks it.
void rebuild(PageData& page, std::uint16_t n = 0xFFFF, std::uint16_t flags = 0, Bytes bytes = {}) {
    const PageData old = page;
    const Bytes b = bytes_of(old);
    const std::uint16_t count = row_count(b);
    const std::size_t table_end = kFirstSlot + 2u * count;
    std::size_t pos = kPageSize;
    for (std::uint16_t i = 0; i < count; ++i) {
        std::uint16_t f = flags;
        Bytes row = bytes;
        if (i != n) {
            const Slot s = slot(b, i);
            f = s.flags;
            row = s.bytes;
        }
        if (gone(f)) row = {};
        if (row.size() > pos - table_end) damaged("no room on a data page for its rows");
        pos -= row.size();
        std::copy(row.begin(), row.end(), page.begin() + static_cast<std::ptrdiff_t>(pos));
        put16(page, kFirstSlot + 2u * i, f | pos);
    }
    std::fill(page.begin() + static_cast<std::ptrdiff_t>(table_end), page.begin() + static_cast<std::ptrdiff_t>(pos), 0);
    put16(page, kRowCount, count);
    put16(page, kFreeSpace, pos - table_end);
}

}  // namespace

void init(PageData& page, std::uint32_t owner) {
    page.fill(0);
    page[0] = static_cast<std::uint8_t>(PageType::Data);
    page[1] = 0x01;
    put16(page, kFreeSpace, kPageSize - kFirstSlot);
    for (std::size_t i = 0; i < 4; ++i) page[kOwner + i] = static_cast<std::uint8_t>(owner >> (8 * i));
}

std::size_t free_space(Bytes page) {
    std::uint16_t count = row_count(page);
    std::size_t low = lowest_row(page, count);
    std::size_t table_end = kFirstSlot + 2u * count;
    return low > table_end ? low - table_end : 0;
}

namespace {

// The first slot of a deleted row, or count when there is none.
std::uint16_t first_gone(Bytes page, std::uint16_t count) {
    for (std::uint16_t i = 0; i < count; ++i) {
        if (gone(u16(page, kFirstSlot + 2u * i))) return i;
    }
    return count;
}

}  // namespace

bool has_room(Bytes page, std::size_t size) { return largest_row(page) >= size; }

std::size_t largest_row(Bytes page) {
    const std::uint16_t count = row_count(page);
    const std::size_t live = live_bytes(page);
    std::size_t best = 0;
    if (count < kMaxRows) {
        const std::size_t table_end = kFirstSlot + 2u * (count + 1u);
        const std::size_t compacted = kPageSize > table_end + live ? kPageSize - table_end - live : 0;
        const std::size_t here = free_space(page) >= 2 ? free_space(page) - 2 : 0;
        best = std::max(here, compacted);
    }
    // A page whose slots are all taken takes a row in a deleted row's slot.
    if (first_gone(page, count) < count) {
        const std::size_t table_end = kFirstSlot + 2u * count;
        best = std::max(best, kPageSize > table_end + live ? kPageSize - table_end - live : std::size_t{0});
    }
    return best;
}

std::uint16_t add(PageData& page, Bytes row, std::uint16_t flags) {
    Bytes b = bytes_of(page);
    std::uint16_t count = row_count(b);
    const std::size_t live = live_bytes(b);
    const bool new_slot_fits = count < kMaxRows && (free_space(b) >= row.size() + 2 ||
                                                    kPageSize >= kFirstSlot + 2u * (count + 1u) + live + row.size());
    if (!new_slot_fits) {
        // The slots are used up (or their table leaves no room): the row takes
        // the slot of a deleted one, as a page that has seen many rows come and
        // go must, or it would take no row again.
        const std::uint16_t n = first_gone(b, count);
        if (n == count) damaged("no free slot on a data page");
        rebuild(page, n, flags, row);
        return n;
    }
    // The new row goes below the lowest one, found from the last slot: every
    // slot must lie within the page, each below the one before it.
    for (std::uint16_t i = 0; i < count; ++i) (void)slot(b, i);
    if (free_space(b) < row.size() + 2) {
        rebuild(page);
        if (free_space(bytes_of(page)) < row.size() + 2) damaged("no room on a data page for a row");
    }
    std::size_t pos = lowest_row(bytes_of(page), count) - row.size();
    std::copy(row.begin(), row.end(), page.begin() + static_cast<std::ptrdiff_t>(pos));
    put16(page, kFirstSlot + 2u * count, flags | pos);
    put16(page, kRowCount, count + 1u);
    put16(page, kFreeSpace, pos - (kFirstSlot + 2u * (count + 1u)));
    return count;
}

bool replace(PageData& page, std::uint16_t n, Bytes row, std::uint16_t flags) {
    const Bytes b = bytes_of(page);
    const std::uint16_t count = row_count(b);
    if (n >= count) damaged("row " + std::to_string(n) + " replaced on a page with " + std::to_string(count) + " rows");
    std::size_t live = 0;
    for (std::uint16_t i = 0; i < count; ++i) {
        const Slot s = slot(b, i);
        if (i != n && !gone(s.flags)) live += s.bytes.size();
    }
    if (kFirstSlot + 2u * count + live + row.size() > kPageSize) return false;
    rebuild(page, n, flags, row);
    return true;
}

void remove(PageData& page, std::uint16_t n) {
    const std::uint16_t count = row_count(bytes_of(page));
    if (n >= count) damaged("row " + std::to_string(n) + " deleted on a page with " + std::to_string(count) + " rows");
    rebuild(page, n, kDeleted | kOverflow);  // how Access marks a deleted row
}

bool all_deleted(Bytes page) {
    std::uint16_t count = row_count(page);
    for (std::uint16_t i = 0; i < count; ++i) {
        if (!(u16(page, kFirstSlot + 2u * i) & kDeleted)) return false;
    }
    return true;
}

namespace {

// Updates move a row along a short chain at most: a longer one is a loop.
constexpr int kMaxMoves = 8;

}  // namespace

std::optional<Followed> follow_row(PageFile& file, std::uint32_t owner, RowId id, PagePtr& keep) {
    keep = file.page_of_type(id.page, PageType::Data, "data page");
    Bytes page = bytes_of(*keep);
    if (u32(page, kOwner) != owner) {
        damaged("row id " + std::to_string(id.page) + ":" + std::to_string(id.row) + " lies on a page of another table");
    }
    Slot s = slot(page, id.row);
    if (s.deleted()) return std::nullopt;
    Followed f{s.bytes, std::nullopt};
    // A row that grew too large for its page was moved; its slot keeps a pointer to it.
    for (int hop = 0; s.overflow(); ++hop) {
        if (hop >= kMaxMoves) damaged("a moved row points on in a loop");
        const RowId to = RowId::from_pointer(u32(s.bytes, 0));
        keep = file.page_of_type(to.page, PageType::Data, "moved row");
        page = bytes_of(*keep);
        if (u32(page, kOwner) != owner) damaged("a moved row points onto a page of another table");
        s = slot(page, to.row);
        f = {s.bytes, to};
    }
    return f;
}

}  // namespace jet::data_page
