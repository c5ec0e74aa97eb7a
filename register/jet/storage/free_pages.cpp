#include "storage/free_pages.h"

#include <algorithm>

#include "format/data_page.h"
#include "format/usage_map.h"

namespace jet {

namespace {

std::uint32_t g_page_limit = kMaxPages;

Bytes map_row(PageFile& file) {
    PagePtr p = file.page_of_type(kFreePagesMap.page, PageType::Data, "map of free pages");
    return data_page::slot(bytes_of(*p), kFreePagesMap.row).bytes;
}

}  // namespace

std::uint32_t page_limit() { return g_page_limit; }

void set_page_limit_for_tests(std::uint32_t pages) { g_page_limit = std::min(pages, kMaxPages); }

FreePages::FreePages(PageFile& file) : file_(file) {
    Bytes row = map_row(file);
    if (row.size() <= map_layout::kBitmap || u8(row, map_layout::kKind) != map_layout::kInline) return;
    inline_ = true;
    start_ = u32(row, map_layout::kStart);
    if (start_ % 8 != 0 || start_ >= kMaxPages) damaged("the map of free pages starts at page " + std::to_string(start_));
    bits_.resize((row.size() - map_layout::kBitmap) * 8);
    for (std::size_t i = 0; i < bits_.size(); ++i) bits_[i] = (row[map_layout::kBitmap + i / 8] >> (i % 8)) & 1;
}

bool FreePages::marked_free(std::uint32_t page) const {
    if (!inline_ || page < start_) return false;
    if (page >= window_end()) return true;
    return bits_[page - start_];
}

void FreePages::cover(std::uint32_t page) {
    const std::uint32_t end_of_file = file_.page_count();
    const std::uint32_t need = std::max(page + 1, end_of_file);
    if (need <= window_end()) return;
    // Half a window behind the new page, as Jet moves it; never backwards.
    const auto width = static_cast<std::uint32_t>(bits_.size());
    std::uint32_t start = need > width / 2 ? need - width / 2 : 0;
    start = std::max(start_, start - start % 8);
    std::vector<bool> bits(bits_.size());
    for (std::uint32_t i = 0; i < width; ++i) {
        const std::uint32_t p = start + i;
        if (p >= start_ && p < window_end()) bits[i] = bits_[p - start_];
        else bits[i] = p >= end_of_file;  // pages the file has are in use, unless the old window said otherwise
    }
    start_ = start;
    bits_ = std::move(bits);
    changed_ = true;
}

std::optional<std::uint32_t> FreePages::reuse(PageRole role) {
    if (!inline_) return std::nullopt;
    cover(file_.page_count());
    const std::uint32_t end_of_file = file_.page_count();
    for (std::uint32_t i = 0; i < bits_.size() && start_ + i < end_of_file; ++i) {
        if (!bits_[i]) continue;
        const std::uint32_t page = start_ + i;
        bits_[i] = false;
        changed_ = true;
        PageData blank{};
        file_.write(page, blank, role);
        return page;
    }
    return std::nullopt;
}

std::optional<std::uint32_t> FreePages::blank_before_window() {
    if (scanned_to_ == 0 || scanned_to_ > start_) scanned_to_ = start_;
    // The pages from scanned_to_ up to the window were found in use: with
    // those an earlier group found, one stretch, which the next scan skips.
    PageFile::NotBlank& known = file_.not_blank();
    auto remember = [&] {
        if (scanned_to_ >= start_) return;
        if (known.low >= known.high || start_ < known.low || scanned_to_ > known.high) {
            known = {scanned_to_, start_};  // apart from the earlier stretch: the newer one counts
        } else {
            known = {std::min(known.low, scanned_to_), std::max(known.high, start_)};
        }
    };
    // Pages 0 and 1 are the header and these maps; the catalog follows.
    while (scanned_to_ > 3 && scan_budget_ > 0) {
        if (scanned_to_ > known.low && scanned_to_ <= known.high) {
            scanned_to_ = std::max<std::uint32_t>(known.low, 3);
            remember();
            continue;
        }
        --scanned_to_;
        --scan_budget_;
        if (file_.blank(scanned_to_)) {
            ++scanned_to_;
            remember();
            return scanned_to_ - 1;
        }
    }
    remember();
    return std::nullopt;
}

bool FreePages::keeps(std::uint32_t page) {
    if (!inline_) return false;
    cover(page);
    return page >= start_;
}

std::uint32_t FreePages::take(PageRole role) {
    if (std::optional<std::uint32_t> page = reuse(role)) return *page;
    if (inline_) {
        if (std::optional<std::uint32_t> page = blank_before_window()) {
            PageData blank{};
            file_.write(*page, blank, role);
            return *page;
        }
    }
    if (file_.page_count() >= page_limit()) {
        throw Error(ErrorKind::Unsupported, "the database would grow past 2 GB, the largest size of its format", Reason::FileTooLarge);
    }
    const std::uint32_t page = file_.allocate(role);
    if (inline_) {
        cover(page);
        bits_[page - start_] = false;
        changed_ = true;
    }
    return page;
}

void FreePages::give_back(std::uint32_t page) {
    PageData blank{};
    file_.write(page, blank, PageRole::Content);
    if (!inline_) return;
    cover(page);
    if (page < start_) return;  // before the window: left unused, as Jet leaves it
    bits_[page - start_] = true;
    changed_ = true;
}

void FreePages::store() {
    if (!changed_) return;
    PagePtr current = file_.page_of_type(kFreePagesMap.page, PageType::Data, "map of free pages");
    const Bytes row = data_page::slot(bytes_of(*current), kFreePagesMap.row).bytes;
    const auto at = static_cast<std::size_t>(row.data() - current->data());
    PageData& page = file_.edit(kFreePagesMap.page, PageRole::Map);
    std::fill(page.begin() + static_cast<std::ptrdiff_t>(at), page.begin() + static_cast<std::ptrdiff_t>(at + row.size()), 0);
    for (int i = 0; i < 4; ++i) page[at + map_layout::kStart + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(start_ >> (8 * i));
    for (std::size_t i = 0; i < bits_.size(); ++i) {
        if (!bits_[i]) continue;
        std::uint8_t& byte = page[at + map_layout::kBitmap + i / 8];
        byte = static_cast<std::uint8_t>(byte | (1u << (i % 8)));
    }
    changed_ = false;
}

PageAllocator::PageAllocator(PageFile& file) : file_(file) {}

FreePages& PageAllocator::free_pages() {
    if (!free_pages_) free_pages_.emplace(file_);
    return *free_pages_;
}

std::uint32_t PageAllocator::allocate(PageRole role) { return free_pages().take(role); }

void PageAllocator::release(std::uint32_t page) { free_pages().give_back(page); }

void PageAllocator::finish() {
    if (free_pages_) free_pages_->store();
}

}  // namespace jet
