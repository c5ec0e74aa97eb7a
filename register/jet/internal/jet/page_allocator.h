// The pages of a write group: taken from the file's map of free pages
// before the file grows, and given back to it.
#pragma once

#include <cstdint>
#include <optional>

#include "free_pages.h"
#include "page_file.h"

namespace jet {

// Pages for the whole file, through its map of free pages (free_pages.h):
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
