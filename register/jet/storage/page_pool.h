// Page buffers from slabs of memory of their own. A large group holds tens of
// thousands of pages at once: taken one by one from the heap, each first
// touch of one is a fault of its own and each free a search for neighbours to
// merge with. Slabs of a megabyte are made ready in one call where the system
// allows it, their pages used again as they are let go, and a slab whose
// pages are all free goes back to the system once a few are kept.
// Builds that check memory (AddressSanitizer) take the heap's buffers instead,
// so that it still sees every page's life.
#pragma once

#include <cstddef>
#include <memory>

#include "storage/page_file.h"

namespace jet {

// A zeroed page, and a copy of another.
std::shared_ptr<PageData> new_page();
std::shared_ptr<PageData> new_page(const PageData& copy);

namespace page_pool {

// What the pool holds, for tests: slabs the system gave, blocks in use.
struct Counts {
    std::size_t slabs = 0;
    std::size_t blocks_in_use = 0;
};
Counts counts();

// Blocks of up to kBlock bytes (a page with its shared count), 16-aligned.
inline constexpr std::size_t kBlock = 4112;
void* take();
void give_back(void* block) noexcept;

}  // namespace page_pool

}  // namespace jet
