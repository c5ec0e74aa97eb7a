// The rows of one group of a move, read from the source, hashed for the
// group's record and made ready for the destination on a thread of their own,
// while the caller stores the rows read before.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <optional>
#include <span>
#include <stop_token>
#include <thread>
#include <vector>

#include "jet/error.h"
#include "jet/prepared_row.h"
#include "jet/row_id.h"

namespace jet {
class TableWriter;
}

namespace reg {

struct ReadyRow {
    jet::RowId id;                             // where the row lies in the source
    std::uint64_t source_hash = 0;             // the row as the source holds it
    std::optional<std::uint64_t> stored_hash;  // as the destination will store it, when known before
    jet::PreparedRow row;
    std::optional<jet::Error> refused;  // a value the destination refuses: the last row handed over
};

class GroupReader {
public:
    // The source's rows at ids (those still there), for a destination table
    // of `columns` columns whose first is left for it to fill.
    GroupReader(jet::TableWriter& source, jet::RowPreparer preparer, std::size_t columns, std::span<const jet::RowId> ids);
    ~GroupReader();
    GroupReader(const GroupReader&) = delete;
    GroupReader& operator=(const GroupReader&) = delete;

    // The next row in the order of ids, or null after the last; raises what
    // reading the source raised. The row is the caller's until the next call.
    ReadyRow* next();
    // Stops the reading and waits for the thread; the source is the caller's again.
    void stop();

private:
    void run(const std::stop_token& stop);
    void publish(std::size_t count, bool finished, std::exception_ptr failed = nullptr);
    bool wait_for_room(std::size_t filled, std::size_t& limit, const std::stop_token& stop);

    jet::TableWriter& source_;
    const jet::RowPreparer preparer_;
    const std::size_t columns_;
    const std::span<const jet::RowId> ids_;
    // A ring the thread fills in order and the caller empties: row n lies at
    // n % size, its buffers used again by a later row.
    std::vector<ReadyRow> rows_;
    std::size_t taken_ = 0;  // rows handed to the caller
    std::mutex m_;
    std::condition_variable ready_cv_;
    std::condition_variable_any room_cv_;
    std::size_t ready_ = 0;  // rows the thread has filled
    std::size_t done_ = 0;   // rows the caller is finished with
    bool finished_ = false;
    std::exception_ptr failed_;
    std::jthread thread_;  // last: started once the rest is made
};

}  // namespace reg
