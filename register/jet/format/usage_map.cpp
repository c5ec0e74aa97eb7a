#include "format/usage_map.h"

#include <algorithm>

#include "format/data_page.h"

namespace jet {

namespace {

using namespace map_layout;

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
    std::uint8_t kind = u8(map, kKind);
    if (kind == kInline) {
        collect(map.subspan(kBitmap), u32(map, kStart), file.page_count(), pages);
    } else if (kind == kReference) {
        for (std::size_t i = 0; kPointers + 4 * i + 4 <= map.size(); ++i) {
            std::uint32_t bitmap_page = u32(map, kPointers + 4 * i);
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

namespace jet {

namespace {

void set_bit(std::uint8_t* bitmap, std::uint64_t bit) { bitmap[bit / 8] = static_cast<std::uint8_t>(bitmap[bit / 8] | (1u << (bit % 8))); }

void put32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace

UsageMap::UsageMap(PageFile& file, std::uint32_t row_pointer) : file_(file), row_(RowId::from_pointer(row_pointer)) {
    PagePtr p = file.page_of_type(row_.page, PageType::Data, "usage map row");
    pages_ = decode_usage_map(file, data_page::slot(bytes_of(*p), row_.row).bytes);
}

bool UsageMap::contains(std::uint32_t page) const { return std::binary_search(pages_.begin(), pages_.end(), page); }

void UsageMap::add(std::uint32_t page) {
    auto it = std::lower_bound(pages_.begin(), pages_.end(), page);
    if (it != pages_.end() && *it == page) return;
    pages_.insert(it, page);
    changed_ = true;
}

void UsageMap::remove(std::uint32_t page) {
    auto it = std::lower_bound(pages_.begin(), pages_.end(), page);
    if (it == pages_.end() || *it != page) return;
    pages_.erase(it);
    changed_ = true;
}

std::vector<std::uint8_t> UsageMap::empty_row(std::size_t length, std::uint32_t start) {
    std::vector<std::uint8_t> row(length, 0);
    put32(row.data() + kStart, start);
    return row;
}

void UsageMap::store(const std::function<std::uint32_t()>& allocate) {
    if (!changed_) return;
    PagePtr current = file_.page_of_type(row_.page, PageType::Data, "usage map row");
    data_page::Slot slot = data_page::slot(bytes_of(*current), row_.row);
    std::vector<std::uint8_t> row(slot.bytes.begin(), slot.bytes.end());
    if (row.size() < kBitmap) damaged("a usage map row is too short");
    std::uint64_t capacity = (row.size() - kBitmap) * 8;
    std::uint8_t kind = row[kKind];
    if (kind == kInline) {
        std::uint32_t start = u32(Bytes(row.data(), row.size()), kStart);
        // Keep the start page where the pages allow it; else move it down to the first page.
        if (!pages_.empty() && (pages_.front() < start || pages_.back() - start >= capacity)) {
            start = pages_.front() - pages_.front() % 8;
        }
        if (pages_.empty() || pages_.back() - start < capacity) {
            std::fill(row.begin() + kStart, row.end(), 0);
            put32(row.data() + kStart, start);
            for (std::uint32_t p : pages_) set_bit(row.data() + kBitmap, p - start);
            PageData& page = file_.edit(row_.page, PageRole::Map);
            std::copy(row.begin(), row.end(), page.begin() + (slot.bytes.data() - current->data()));
            changed_ = false;
            return;
        }
        // Too wide for the row: it becomes a list of bitmap pages.
        std::fill(row.begin(), row.end(), 0);
        row[kKind] = kReference;
    }
    constexpr std::uint32_t kPerPage = kPagesPerBitmapPage;
    std::size_t slots = (row.size() - kPointers) / 4;
    std::uint32_t last = pages_.empty() ? 0 : pages_.back() / kPerPage;
    if (last >= slots) throw Error(ErrorKind::Unsupported, "a usage map cannot name pages this far into the file", Reason::FileTooLarge);
    for (std::uint32_t i = 0; i < slots; ++i) {
        auto lo = std::lower_bound(pages_.begin(), pages_.end(), i * kPerPage);
        auto hi = std::lower_bound(pages_.begin(), pages_.end(), (i + 1) * kPerPage);
        std::uint32_t bitmap_page = u32(Bytes(row.data(), row.size()), kPointers + 4 * i);
        if (bitmap_page == 0 && lo == hi) continue;
        if (bitmap_page == 0) {
            bitmap_page = allocate();
            put32(row.data() + kPointers + 4 * i, bitmap_page);
        }
        PageData bitmap{};
        bitmap[0] = static_cast<std::uint8_t>(PageType::UsageMap);
        bitmap[1] = 0x01;
        for (auto it = lo; it != hi; ++it) set_bit(bitmap.data() + kBitmapPageHeader, *it - i * kPerPage);
        file_.write(bitmap_page, bitmap, PageRole::Map);
    }
    PageData& page = file_.edit(row_.page, PageRole::Map);
    std::copy(row.begin(), row.end(), page.begin() + (slot.bytes.data() - current->data()));
    changed_ = false;
}

}  // namespace jet
