#include "table.h"

#include <algorithm>

#include "data_page.h"
#include "row.h"
#include "usage_map.h"

namespace jet {

namespace {

constexpr int kMaxOverflowHops = 8;

}  // namespace

Table::Table(std::shared_ptr<PageFile> file, std::string name, TableDef def)
    : file_(std::move(file)), name_(std::move(name)), def_(std::move(def)) {}

void Table::for_each_data_page(const std::function<bool(std::uint32_t, Bytes)>& f) {
    for (std::uint32_t p : read_usage_map(*file_, def_.used_pages)) {
        PagePtr page = file_->page(p);
        Bytes b = bytes_of(*page);
        // The map also lists the table's long-value and index pages; only its data pages hold rows.
        if (b[0] != static_cast<std::uint8_t>(PageType::Data) || u32(b, data_page::kOwner) != def_.page) continue;
        if (!f(p, b)) return;
    }
}

std::optional<Bytes> Table::locate(RowId id, PagePtr& keep) {
    keep = file_->page_of_type(id.page, PageType::Data, "data page");
    Bytes page = bytes_of(*keep);
    if (u32(page, data_page::kOwner) != def_.page) {
        damaged("row id " + std::to_string(id.page) + ":" + std::to_string(id.row) + " lies on a page of another table");
    }
    data_page::Slot s = data_page::slot(page, id.row);
    if (s.deleted()) return std::nullopt;
    // A row that grew too large for its page was moved; its slot keeps a pointer to it.
    for (int hop = 0; s.overflow(); ++hop) {
        if (hop >= kMaxOverflowHops) damaged("a moved row points on in a loop");
        RowId to = RowId::from_pointer(u32(s.bytes, 0));
        keep = file_->page_of_type(to.page, PageType::Data, "moved row");
        page = bytes_of(*keep);
        if (u32(page, data_page::kOwner) != def_.page) damaged("a moved row points onto a page of another table");
        s = data_page::slot(page, to.row);
    }
    return s.bytes;
}

namespace {

// Slots marked deleted are either deleted rows or the moved data of a row
// whose own slot lies elsewhere; both are passed over in a scan.
bool live_slot(Bytes page, std::uint16_t r) { return !(u16(page, data_page::kFirstSlot + 2u * r) & data_page::kDeleted); }

}  // namespace

std::vector<RowId> Table::row_ids() {
    FileLock lock(*file_, false);
    std::vector<RowId> ids;
    // The stored count is only a hint: a damaged file must not make us reserve gigabytes.
    ids.reserve(std::min<std::size_t>(def_.row_count, std::size_t{1} << 16));
    for_each_data_page([&](std::uint32_t p, Bytes b) {
        std::uint16_t n = data_page::row_count(b);
        for (std::uint16_t r = 0; r < n; ++r) {
            if (live_slot(b, r)) ids.push_back({p, r});
        }
        return true;
    });
    return ids;
}

void Table::scan(const std::function<bool(RowId, const std::vector<Value>&)>& f) { scan({}, f); }

void Table::scan(const std::vector<bool>& wanted, const std::function<bool(RowId, const std::vector<Value>&)>& f) {
    FileLock lock(*file_, false);
    std::vector<Value> values;
    for_each_data_page([&](std::uint32_t p, Bytes b) {
        std::uint16_t n = data_page::row_count(b);
        for (std::uint16_t r = 0; r < n; ++r) {
            if (!live_slot(b, r)) continue;
            RowId id{p, r};
            PagePtr keep;
            std::optional<Bytes> row = locate(id, keep);
            if (!row) continue;
            decode_row(*file_, def_, *row, values, wanted);
            if (!f(id, values)) return false;
        }
        return true;
    });
}

std::optional<std::vector<Value>> Table::read(RowId id) { return read(id, {}); }

std::optional<std::vector<Value>> Table::read(RowId id, const std::vector<bool>& wanted) {
    FileLock lock(*file_, false);
    PagePtr keep;
    std::optional<Bytes> row = locate(id, keep);
    if (!row) return std::nullopt;
    std::vector<Value> values;
    decode_row(*file_, def_, *row, values, wanted);
    return values;
}

}  // namespace jet
