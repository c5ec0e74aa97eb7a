#include "usage_map.h"

#include "data_page.h"

namespace jet {

namespace {

constexpr std::size_t kBitmapPageHeader = 4;
constexpr std::uint32_t kPagesPerBitmapPage = (kPageSize - kBitmapPageHeader) * 8;

void collect(Bytes bitmap, std::uint64_t first, std::uint32_t page_count, std::vector<std::uint32_t>& out) {
    for (std::size_t i = 0; i < bitmap.size(); ++i) {
        std::uint8_t byte = bitmap[i];
        if (byte == 0) continue;
        for (int bit = 0; bit < 8; ++bit) {
            if (!(byte & (1u << bit))) continue;
            std::uint64_t page = first + i * 8 + static_cast<std::uint64_t>(bit);
            if (page >= page_count) {
                damaged("a usage map names page " + std::to_string(page) + " past the end of the file (" +
                        std::to_string(page_count) + " pages)");
            }
            out.push_back(static_cast<std::uint32_t>(page));
        }
    }
}

}  // namespace

std::vector<std::uint32_t> decode_usage_map(PageFile& file, Bytes map) {
    std::vector<std::uint32_t> pages;
    std::uint8_t kind = u8(map, 0);
    if (kind == 0) {
        collect(map.subspan(5), u32(map, 1), file.page_count(), pages);
    } else if (kind == 1) {
        for (std::size_t i = 0; 1 + 4 * i + 4 <= map.size(); ++i) {
            std::uint32_t bitmap_page = u32(map, 1 + 4 * i);
            if (bitmap_page == 0) continue;
            PagePtr p = file.page_of_type(bitmap_page, PageType::UsageMap, "usage bitmap");
            collect(bytes_of(*p).subspan(kBitmapPageHeader), std::uint64_t{kPagesPerBitmapPage} * i, file.page_count(), pages);
        }
    } else {
        damaged("a usage map of unknown kind " + std::to_string(kind));
    }
    return pages;
}

std::vector<std::uint32_t> read_usage_map(PageFile& file, std::uint32_t row_pointer) {
    RowId id = RowId::from_pointer(row_pointer);
    PagePtr p = file.page_of_type(id.page, PageType::Data, "usage map row");
    data_page::Slot s = data_page::slot(bytes_of(*p), id.row);
    return decode_usage_map(file, s.bytes);
}

}  // namespace jet
