#include "table/parallel_scan.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <exception>
#include <thread>

#include "format/bytes.h"
#include "format/data_page.h"
#include "jet/files.h"
#include "jet/error.h"
#include "storage/page_file.h"
#include "format/row.h"

namespace jet {

namespace {

constexpr std::size_t kRunPages = 32;  // neighbouring pages read in one call

// The wanted columns the first look does not decode.
std::vector<bool> rest_of(const TableDef& def, const std::vector<bool>& wanted, const std::vector<bool>& first) {
    std::vector<bool> rest(def.columns.size(), false);
    for (std::size_t i = 0; i < rest.size(); ++i) {
        const bool w = wanted.empty() || (i < wanted.size() && wanted[i]);
        rest[i] = w && !(i < first.size() && first[i]);
    }
    // A RowDecoder takes an empty list for every column: a list with none marked is kept non-empty.
    return rest;
}

struct Chunk {
    std::vector<ScanHit> hits;
    bool done = false;
    bool readable = true;          // false: a page could not be read or decoded
    std::exception_ptr raised;     // what the test raised
};

// Scans one chunk; false when it failed (unreadable, or the test raised).
bool select_chunk(Platform& sys, int fd, const TableDef& def, const std::uint32_t* pages, std::size_t count, std::uint32_t page_count,
                  RowTester& tester, std::vector<std::uint8_t>& run, const KeptValues* keep, std::atomic<std::size_t>& kept, Chunk& out) {
    try {
        for (std::size_t i = 0; i < count;) {
            std::size_t end = i + 1;
            while (end < count && end - i < kRunPages && pages[end] == pages[end - 1] + 1) ++end;
            if (pages[end - 1] >= page_count || pages[i] >= page_count) {
                out.readable = false;
                return false;
            }
            if (!sys.read_exact(fd, run.data(), (end - i) * kPageSize, std::uint64_t{pages[i]} * kPageSize)) {
                out.readable = false;
                return false;
            }
            for (std::size_t k = i; k < end; ++k) {
                const Bytes b(run.data() + (k - i) * kPageSize, kPageSize);
                // The map also lists the table's long-value and index pages.
                if (b[0] != static_cast<std::uint8_t>(PageType::Data) || u32(b, data_page::kOwner) != def.page) continue;
                const std::uint16_t rows = data_page::row_count(b);
                for (std::uint16_t r = 0; r < rows; ++r) {
                    const data_page::Slot s = data_page::slot(b, r);
                    if (s.deleted()) continue;
                    const RowId id{pages[k], r};
                    if (s.overflow()) {
                        out.hits.push_back({id, true, {}});
                        continue;
                    }
                    bool taken = false;
                    try {
                        taken = tester.take(nullptr, s.bytes);
                    } catch (const Error&) {
                        throw;  // the row's bytes: the ordinary reading reports it
                    } catch (...) {
                        out.raised = std::current_exception();
                        return false;
                    }
                    if (!taken) continue;
                    ScanHit& hit = out.hits.emplace_back(ScanHit{id, false, {}});
                    if (keep && kept.fetch_add(1, std::memory_order_relaxed) < keep->rows) {
                        hit.values.reserve(keep->columns.size());
                        for (std::size_t c : keep->columns) hit.values.push_back(tester.values()[c]);
                    }
                }
            }
            i = end;
        }
    } catch (...) {  // a damaged page, or no memory: the ordinary reading reports it
        out.readable = false;
        return false;
    }
    return true;
}

}  // namespace

void share_among_threads(std::size_t items, std::size_t parts,
                         const std::function<void(std::size_t part, std::size_t first, std::size_t count)>& work) {
    parts = std::max<std::size_t>(parts, 1);
    const std::size_t share = (items + parts - 1) / parts;
    auto run = [&](std::size_t k) {
        const std::size_t first = std::min(items, k * share);
        work(k, first, std::min(items - first, share));
    };
    std::vector<std::jthread> helpers;  // joined when they go, before this returns
    for (std::size_t k = 1; k < parts; ++k) {
        try {
            helpers.emplace_back(run, k);
        } catch (const std::system_error&) {  // no thread to be had: this one does that part too
            run(k);
        }
    }
    run(0);
}

RowTester::RowTester(const TableDef& def, const std::vector<bool>& wanted, RowTest test)
    : test_(std::move(test)), rest_(def, test_.first_wanted.empty() ? wanted : rest_of(def, wanted, test_.first_wanted)) {
    if (!test_.first_wanted.empty() && test_.first) first_.emplace(def, test_.first_wanted);
}

bool RowTester::take(PageFile* file, Bytes row) {
    if (first_) {
        first_->decode(file, row, values_);
        if (!test_.first(values_)) return false;
    }
    rest_.decode(file, row, values_);
    return test_.test(values_);
}

std::optional<std::vector<ScanHit>> parallel_select(int fd, const TableDef& def, const std::vector<std::uint32_t>& pages,
                                                    std::uint32_t page_count, const std::vector<bool>& wanted,
                                                    std::size_t parts, const std::function<RowTest()>& make_test, Platform& sys,
                                                    std::size_t chunk_pages, const KeptValues* keep) {
    chunk_pages = std::max<std::size_t>(chunk_pages, 1);
    std::vector<Chunk> chunks((pages.size() + chunk_pages - 1) / chunk_pages);
    parts = std::clamp<std::size_t>(parts, 1, std::max<std::size_t>(1, chunks.size()));
    std::atomic<std::size_t> next{0};
    std::atomic<bool> failed{false};
    std::atomic<std::size_t> kept{0};
    share_among_threads(parts, parts, [&](std::size_t, std::size_t, std::size_t) {
        std::optional<RowTester> tester;
        std::exception_ptr raised;
        try {
            tester.emplace(def, wanted, make_test());
        } catch (...) {
            raised = std::current_exception();
        }
        std::vector<std::uint8_t> run;
        try {
            run.resize(kRunPages * kPageSize);
        } catch (...) {
            raised = std::current_exception();
        }
        // Chunks go out in order: every chunk before one that failed is
        // finished by the thread that took it, so the first failure in
        // order is the earliest row's.
        while (!failed.load()) {
            const std::size_t c = next.fetch_add(1);
            if (c >= chunks.size()) break;
            Chunk& chunk = chunks[c];
            chunk.done = true;
            if (raised) {
                chunk.raised = raised;
            } else {
                const std::size_t first = c * chunk_pages;
                if (select_chunk(sys, fd, def, pages.data() + first, std::min(chunk_pages, pages.size() - first), page_count, *tester, run, keep, kept,
                                 chunk)) {
                    continue;
                }
            }
            failed.store(true);
        }
    });
    std::vector<ScanHit> hits;
    for (Chunk& c : chunks) {
        if (c.raised) std::rethrow_exception(c.raised);
        if (!c.readable || !c.done) return std::nullopt;  // not done: only after one that failed
        hits.insert(hits.end(), std::make_move_iterator(c.hits.begin()), std::make_move_iterator(c.hits.end()));
    }
    return hits;
}

}  // namespace jet
