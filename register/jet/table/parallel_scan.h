// Testing every row of a large table on several cores. The table's pages are
// shared among threads in page order; each thread reads its pages straight
// from the file (neighbouring pages in one read, nothing cached), decodes the
// columns the test wants and tests the rows with a test of its own. Meant for
// tests that read no long value, so that a thread never needs the file's page
// cache; the caller holds the file's lock.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "format/row.h"
#include "jet/platform.h"
#include "jet/row_test.h"
#include "jet/table_def.h"
#include "jet/value.h"

namespace jet {

// A row the test took, or one moved elsewhere by an update, which the caller
// reads and tests itself.
struct ScanHit {
    RowId id;
    bool moved = false;
    std::vector<Value> values;  // the kept columns' values, when they were kept
};

// The rows of the data pages among `pages` (of the table `def`, whose
// definition lies at def.page) that the tests take, in storage order.
// make_test is called once a thread. The threads take the pages
// `chunk_pages` at a time, whichever is free, so that one slowed down leaves
// the rest to the others. Nothing when a page cannot be read or looks
// damaged: reading it the ordinary way then gives the reason. What a test
// raises is raised again here, the earliest row's first. With `keep`, rows
// taken carry the values it names, as decoded for the test, for about
// keep->rows of them (the threads share that many, in no set order).
std::optional<std::vector<ScanHit>> parallel_select(int fd, const TableDef& def, const std::vector<std::uint32_t>& pages,
                                                    std::uint32_t page_count, const std::vector<bool>& wanted,
                                                    std::size_t parts, const std::function<RowTest()>& make_test,
                                                    Platform& sys = default_platform(), std::size_t chunk_pages = 256,
                                                    const KeptValues* keep = nullptr);

// Shares `items` among `parts` threads (this one included), each given its
// part's number and its stretch [first, first + count) of the items, and
// returns when all are done. A thread that cannot be had leaves its part to
// this one.
void share_among_threads(std::size_t items, std::size_t parts,
                         const std::function<void(std::size_t part, std::size_t first, std::size_t count)>& work);

// Decodes rows for a RowTest: the first look's columns, then the rest.
class RowTester {
public:
    RowTester(const TableDef& def, const std::vector<bool>& wanted, RowTest test);
    // Whether the row is taken; file null where only the row itself may be read.
    bool take(PageFile* file, Bytes row);
    // The columns of the row last taken, as decoded (the unwanted ones Null).
    const std::vector<Value>& values() const { return values_; }

private:
    RowTest test_;
    std::optional<RowDecoder> first_;
    RowDecoder rest_;
    std::vector<Value> values_;
};

// The live rows on those of `pages` that are data pages of the table whose
// definition lies at page `owner`, in page order, read from each page's head
// alone (its type, owner and slot table, a few dozen bytes of the 4096)
// through pread on the file's descriptor fd, so whole pages are neither copied
// nor cached. `parts` threads share the pages. Nothing when anything looks wrong
// (a page at or past page_count, a short read, a slot table larger than its
// page): reading the whole pages then gives the reason.
std::optional<std::vector<RowId>> live_rows_from_heads(int fd, const std::vector<std::uint32_t>& pages,
                                                       std::uint32_t owner, std::uint32_t page_count, std::size_t parts,
                                                       Platform& sys = default_platform());

}  // namespace jet
