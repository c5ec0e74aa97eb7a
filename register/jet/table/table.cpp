#include "jet/table.h"

#include <algorithm>
#include <thread>

#include "format/data_page.h"
#include "jet/files.h"
#include "storage/page_file.h"
#include "table/parallel_scan.h"
#include "format/row.h"
#include "format/usage_map.h"
#include "table/file_named.h"

namespace jet {

Table::Table(std::shared_ptr<PageFile> file, std::string name, TableDef def)
    : file_(std::move(file)), name_(std::move(name)), def_(std::move(def)) {}

Table::ReadHold::ReadHold(Table& t) : lock_(std::make_unique<FileLock>(*t.file_, false)) {}
Table::ReadHold::~ReadHold() = default;

void Table::for_each_data_page(const std::function<bool(std::uint32_t, Bytes)>& f) {
    for (std::uint32_t p : read_usage_map(*file_, def_.used_pages)) {
        PagePtr page = file_->page(p);
        Bytes b = bytes_of(*page);
        // The map also lists the table's long-value and index pages; only its data pages hold rows.
        if (b[0] != static_cast<std::uint8_t>(PageType::Data) || u32(b, data_page::kOwner) != def_.page) continue;
        if (!f(p, b)) return;
    }
}

namespace {

// The bytes of the live row at id (following a moved row), or nothing when deleted.
std::optional<Bytes> locate(PageFile& file, const TableDef& def, RowId id, PagePtr& keep) {
    std::optional<data_page::Followed> f = data_page::follow_row(file, def.page, id, keep);
    if (!f) return std::nullopt;
    return f->bytes;
}

// Slots marked deleted are either deleted rows or the moved data of a row
// whose own slot lies elsewhere; both are passed over in a scan.
bool live_slot(Bytes page, std::uint16_t r) { return !(u16(page, data_page::kFirstSlot + 2u * r) & data_page::kDeleted); }

// The live rows of count pages, appended to ids (see live_rows_from_heads).
bool live_rows_of(Platform& sys, int fd, const std::uint32_t* pages, std::size_t count, std::uint32_t owner, std::uint32_t page_count,
                  std::vector<RowId>& ids) noexcept {
    try {
        constexpr std::size_t kHead = 64;  // the header and the first 25 slots
        PageData head{};
        const Bytes b = bytes_of(head);
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint32_t p = pages[i];
            if (p >= page_count) return false;
            const std::uint64_t at = std::uint64_t{p} * kPageSize;
            if (!sys.read_exact(fd, head.data(), kHead, at)) return false;
            if (b[0] != static_cast<std::uint8_t>(PageType::Data) || u32(b, data_page::kOwner) != owner) continue;
            const std::uint16_t n = u16(b, data_page::kRowCount);
            const std::size_t slots_end = data_page::kFirstSlot + 2u * n;
            if (slots_end > kPageSize) return false;
            if (slots_end > kHead &&
                !sys.read_exact(fd, head.data() + kHead, slots_end - kHead, at + kHead)) {
                return false;
            }
            for (std::uint16_t r = 0; r < n; ++r) {
                if (live_slot(b, r)) ids.push_back({p, r});
            }
        }
        return true;
    } catch (...) {  // out of memory: the caller's own reading reports it
        return false;
    }
}

}  // namespace

std::optional<std::vector<RowId>> live_rows_from_heads(int fd, const std::vector<std::uint32_t>& pages,
                                                       std::uint32_t owner, std::uint32_t page_count, std::size_t parts,
                                                       Platform& sys) {
    parts = std::clamp<std::size_t>(parts, 1, std::max<std::size_t>(1, pages.size()));
    std::vector<std::vector<RowId>> found(parts);
    std::vector<char> ok(parts, 0);
    share_among_threads(pages.size(), parts, [&](std::size_t k, std::size_t first, std::size_t count) {
        ok[k] = live_rows_of(sys, fd, pages.data() + first, count, owner, page_count, found[k]);
    });
    std::vector<RowId> ids;
    for (std::size_t k = 0; k < parts; ++k) {
        if (!ok[k]) return std::nullopt;
        ids.insert(ids.end(), found[k].begin(), found[k].end());
    }
    return ids;
}

// Listing the rows of a large table is one small read per page: on a
// million-row register that is hundreds of thousands of system calls, so a
// few threads share the pages. The caller holds the lock, so no other process
// writes meanwhile. On false the caller reads the whole pages, which raises
// the proper error.
bool Table::row_ids_from_slot_tables(std::vector<RowId>& ids, std::size_t threads) {
    const std::vector<std::uint32_t> pages = read_usage_map(*file_, def_.used_pages);
    constexpr std::size_t kPagesPerThread = 16384;
    const std::size_t cores = std::max(1u, std::thread::hardware_concurrency());
    const std::size_t parts = std::min<std::size_t>({pages.size() / kPagesPerThread, cores, threads});
    std::optional<std::vector<RowId>> found = live_rows_from_heads(file_->descriptor(), pages, def_.page, file_->page_count(), parts, file_->platform());
    if (!found) return false;
    ids = std::move(*found);
    return true;
}

std::vector<RowId> Table::first_row_ids(std::size_t count) {
    FileLock lock(*file_, false);
    std::vector<RowId> ids;
    if (count == 0) return ids;
    for_each_data_page([&](std::uint32_t p, Bytes b) {
        const std::uint16_t n = data_page::row_count(b);
        for (std::uint16_t r = 0; r < n && ids.size() < count; ++r) {
            if (live_slot(b, r)) ids.push_back({p, r});
        }
        return ids.size() < count;
    });
    return ids;
}

std::optional<Table> Table::reopened() const {
    if (file_->dirty()) return std::nullopt;
    auto other = std::make_shared<PageFile>(file_->real_path(), file_->platform());
    if (!other->same_file_as(*file_)) return std::nullopt;
    other->set_lock_wait(file_->lock_wait());
    return Table(std::move(other), name_, def_);
}

std::vector<RowId> Table::row_ids(std::size_t threads) {
    return on_file(file_->path(), [&] { return listed_row_ids(threads); });
}

std::vector<RowId> Table::listed_row_ids(std::size_t threads) {
    FileLock lock(*file_, false);
    std::vector<RowId> ids;
    // The stored count is only a hint: a damaged file must not make us reserve gigabytes.
    ids.reserve(std::min<std::size_t>(def_.row_count, std::size_t{1} << 16));
    // Changes of a group not yet committed are only in our pages.
    if (!file_->dirty() && row_ids_from_slot_tables(ids, threads)) return ids;
    ids.clear();
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
    on_file(file_->path(), [&] { scan_rows(wanted, f); });
}

void Table::scan_rows(const std::vector<bool>& wanted, const std::function<bool(RowId, const std::vector<Value>&)>& f) {
    FileLock lock(*file_, false);
    std::vector<Value> values;
    const RowDecoder decoder(def_, wanted);
    for_each_data_page([&](std::uint32_t p, Bytes b) {
        std::uint16_t n = data_page::row_count(b);
        for (std::uint16_t r = 0; r < n; ++r) {
            if (!live_slot(b, r)) continue;
            RowId id{p, r};
            PagePtr keep;
            std::optional<Bytes> row = locate(*file_, def_, id, keep);
            if (!row) continue;
            decoder.decode(file_.get(), *row, values);
            if (!f(id, values)) return false;
        }
        return true;
    });
}

std::vector<RowId> Table::select(const std::vector<bool>& wanted, const std::function<RowTest()>& make_test) {
    return on_file(file_->path(), [&] { return selected_rows(wanted, make_test, nullptr).ids; });
}

Table::Selection Table::select(const std::vector<bool>& wanted, const std::function<RowTest()>& make_test, const KeptValues& keep) {
    return on_file(file_->path(), [&] { return selected_rows(wanted, make_test, &keep); });
}

Table::Selection Table::selected_rows(const std::vector<bool>& wanted, const std::function<RowTest()>& make_test, const KeptValues* keep) {
    FileLock lock(*file_, false);
    Selection out;
    RowTester tester(def_, wanted, make_test());
    // The values of the rows taken, kept while every row before was kept.
    auto taken = [&](RowId id) {
        out.ids.push_back(id);
        if (!keep || out.values.size() + 1 != out.ids.size() || out.values.size() >= keep->rows) return;
        std::vector<Value>& v = out.values.emplace_back();
        v.reserve(keep->columns.size());
        for (std::size_t c : keep->columns) v.push_back(tester.values()[c]);
    };
    // Threads read rows only: a wanted long value, or a group's changes not
    // yet committed, keep the reading here.
    bool alone = !file_->dirty();
    for (std::size_t i = 0; i < def_.columns.size() && alone; ++i) {
        if ((wanted.empty() || (i < wanted.size() && wanted[i])) && is_long_value(def_.columns[i].type)) alone = false;
    }
    if (alone) {
        const std::vector<std::uint32_t> pages = read_usage_map(*file_, def_.used_pages);
        constexpr std::size_t kPagesPerThread = 4096;
        const std::size_t cores = std::max(1u, std::thread::hardware_concurrency());
        const std::size_t parts = std::min<std::size_t>({pages.size() / kPagesPerThread, cores, 4});
        if (parts > 1) {
            if (auto hits = parallel_select(file_->descriptor(), def_, pages, file_->page_count(), wanted, parts, make_test, file_->platform(),
                                            256, keep)) {
                for (ScanHit& h : *hits) {
                    if (!h.moved) {
                        out.ids.push_back(h.id);
                        if (!h.values.empty() && out.values.size() + 1 == out.ids.size()) out.values.push_back(std::move(h.values));
                        continue;
                    }
                    PagePtr keep_page;
                    std::optional<Bytes> row = locate(*file_, def_, h.id, keep_page);
                    if (row && tester.take(file_.get(), *row)) taken(h.id);
                }
                return out;
            }
        }
    }
    for_each_data_page([&](std::uint32_t p, Bytes b) {
        const std::uint16_t n = data_page::row_count(b);
        for (std::uint16_t r = 0; r < n; ++r) {
            if (!live_slot(b, r)) continue;
            const RowId id{p, r};
            PagePtr keep_page;
            std::optional<Bytes> row = locate(*file_, def_, id, keep_page);
            if (row && tester.take(file_.get(), *row)) taken(id);
        }
        return true;
    });
    return out;
}

std::optional<std::vector<Value>> Table::read(RowId id) { return read(id, {}); }

std::optional<std::vector<Value>> Table::read(RowId id, const std::vector<bool>& wanted) {
    return on_file(file_->path(), [&] { return read_row(id, wanted); });
}

std::optional<std::vector<Value>> Table::read_row(RowId id, const std::vector<bool>& wanted) {
    FileLock lock(*file_, false);
    PagePtr keep;
    std::optional<Bytes> row = locate(*file_, def_, id, keep);
    if (!row) return std::nullopt;
    std::vector<Value> values;
    decode_row(*file_, def_, *row, values, wanted);
    return values;
}

}  // namespace jet
