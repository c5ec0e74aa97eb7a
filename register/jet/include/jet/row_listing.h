// The ids of a table's live rows for a window that shows them: the first ones
// at once, all of them on a thread of its own. A window can show its first
// screen and an exact count (the one the table's definition keeps) without
// waiting for the listing of a large table, which reads a part of every data
// page.
//
// The thread reads through a second opening of the file under its own read
// lock, so the list is as the file stood at one moment, and nothing of it is
// shared with the caller's opening. Where that cannot be (a group of changes
// not yet committed, the path naming another file, an error on the thread),
// all() lists the rows itself, through the table it is given, and raises
// what that raises.
#pragma once

#include <cstddef>
#include <future>
#include <optional>
#include <vector>

#include "table.h"

namespace jet {

class RowListing {
public:
    // Lists the first `first` rows now; a table with no more rows than that is
    // listed whole at once.
    RowListing(Table& table, std::size_t first);
    RowListing(const RowListing&) = delete;
    RowListing& operator=(const RowListing&) = delete;
    ~RowListing();  // waits for the thread

    const std::vector<RowId>& first_rows() const { return first_; }
    // The number of rows the table's definition gives: exact in a sound file.
    std::size_t expected() const { return expected_; }
    // Whether the whole list is at hand, without waiting.
    bool ready() const;
    // The whole list, waiting for it when need be (or listing it through
    // table, the one the listing began with). Called once.
    std::vector<RowId> all(Table& table);

private:
    std::vector<RowId> first_;
    std::size_t expected_ = 0;
    std::optional<std::vector<RowId>> whole_;
    std::future<std::vector<RowId>> listing_;
};

}  // namespace jet
