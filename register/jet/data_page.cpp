#include "data_page.h"

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

}  // namespace jet::data_page
