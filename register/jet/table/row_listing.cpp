#include "jet/row_listing.h"

#include <chrono>
#include <exception>

#include "jet/error.h"

namespace jet {

RowListing::RowListing(Table& table, std::size_t first) {
    first_ = table.first_row_ids(first);
    expected_ = table.def().row_count;
    if (first_.size() < first) {
        // The table has no more rows than these.
        whole_ = first_;
        expected_ = first_.size();
        return;
    }
    std::optional<Table> other;
    try {
        other = table.reopened();
    } catch (const Error&) {
        // all() lists through the caller's opening, which reports a failure as it should.
    }
    if (!other) return;
    try {
        listing_ = std::async(std::launch::async, [t = std::move(*other)]() mutable {
            return t.row_ids(1);  // one thread: the window's own keeps a core
        });
    } catch (const std::system_error&) {
        // No thread to be had: all() lists the rows itself.
    }
}

RowListing::~RowListing() {
    if (listing_.valid()) listing_.wait();
}

bool RowListing::ready() const {
    if (whole_) return true;
    return listing_.valid() && listing_.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

std::vector<RowId> RowListing::all(Table& table) {
    if (whole_) return std::move(*whole_);
    if (listing_.valid()) {
        try {
            return listing_.get();
        } catch (const std::exception&) {
            // The caller's own opening reads again and raises the proper error.
        }
    }
    return table.row_ids();
}

}  // namespace jet
