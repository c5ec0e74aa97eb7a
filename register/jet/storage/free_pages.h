// The file's map of free pages (page 1, row 0), kept as Jet keeps it: an
// inline bitmap over a window of pages near the end of the file. A page before
// the window is in use; a page at or past its end is free (the file has not
// grown that far); a page inside it is as its bit says. When the file grows
// past the window, the window slides forward; a page freed before the window
// stays unused (a hole, as Jet leaves it), one freed inside is used again by
// any table. A map of the other kind (a list of bitmap pages) is left as it
// is, and the file then only grows at its end.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "storage/page_file.h"

namespace jet {

// Jet 4 files stop at 2 GB.
inline constexpr std::uint32_t kMaxPages = 0x80000000u / kPageSize;

// The page count past which files may not grow: kMaxPages, or less for a
// test that meets the limit without writing 2 GB.
std::uint32_t page_limit();
void set_page_limit_for_tests(std::uint32_t pages);

class FreePages {
public:
    explicit FreePages(PageFile& file);

    // A page for new contents, zeroed: a free page of the file, or a new one
    // at its end. Raises Unsupported (FileTooLarge) past 2 GB.
    std::uint32_t take(PageRole role);
    // A free page of the file, zeroed, when the map has one.
    std::optional<std::uint32_t> reuse(PageRole role);
    // A whole page no longer used by anything.
    void give_back(std::uint32_t page);
    // Whether a page given back would be used again (it lies in the window).
    bool keeps(std::uint32_t page);
    // Writes the map into its row when it changed.
    void store();

    bool inline_map() const { return inline_; }
    std::uint32_t window_end() const { return start_ + static_cast<std::uint32_t>(bits_.size()); }
    bool marked_free(std::uint32_t page) const;

private:
    // Slides the window forward so that it covers the file's end and `page`.
    void cover(std::uint32_t page);
    // A page before the window that holds nothing but zeros: given back once
    // and lost to the map, as Jet leaves such pages. Looked for a bounded
    // number of pages back from the window in each group.
    std::optional<std::uint32_t> blank_before_window();

    PageFile& file_;
    bool inline_ = false;
    std::uint32_t start_ = 0;
    std::vector<bool> bits_;
    bool changed_ = false;
    std::uint32_t scanned_to_ = 0;  // the lowest page looked at before the window, 0 before the first look
    std::uint32_t scan_budget_ = 16384;  // 64 MB of pages read at most, once per group
};

// Pages for the whole file in one write group, through its map of free pages:
// a free page is used again before the file grows; released pages go back.
class PageAllocator {
public:
    explicit PageAllocator(PageFile& file);
    std::uint32_t allocate(PageRole role);
    void release(std::uint32_t page);
    void finish();
    FreePages& free_pages();

private:
    PageFile& file_;
    std::optional<FreePages> free_pages_;
};

}  // namespace jet
