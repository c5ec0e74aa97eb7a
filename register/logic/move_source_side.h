// The source's side of one group of a move, on a thread of its own: the rows
// read, hashed for the group's record and made ready for the destination
// while the caller stores the rows read before; then, once the caller has
// stored what it could, those rows removed from the source, its changes
// encoded and its journal written ahead (WriteGroup::stage) while the caller
// encodes the destination's.
#pragma once

#include <atomic>
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
class WriteGroup;
}  // namespace jet

namespace reg {

struct ReadyRow {
    jet::RowId id;                             // where the row lies in the source
    std::uint64_t source_hash = 0;             // the row as the source holds it
    jet::PreparedRow row;
    std::optional<jet::Error> refused;  // a value the destination refuses: the last row handed over
};

class SourceSide {
public:
    // The rows at ids of the source table (those still there) in the group
    // `out`, for a destination table of `columns` columns whose first is
    // left for it to fill. The group and its table are the thread's until
    // removed() returns or this goes.
    SourceSide(jet::WriteGroup& out, jet::TableWriter& source, jet::RowPreparer preparer, std::size_t columns,
               std::span<const jet::RowId> ids);
    ~SourceSide();
    SourceSide(const SourceSide&) = delete;
    SourceSide& operator=(const SourceSide&) = delete;

    // The next row in the order of ids, or null after the last; raises what
    // reading the source raised. The row is the caller's until the next call.
    ReadyRow* next();
    // No more rows are read: the rows stored (by their ids in the source)
    // are removed from it and the source's changes encoded.
    void remove(std::vector<jet::RowId> stored);
    // Waits for that; raises what it raised.
    void removed();
    // Waits for the source's journal, written ahead once its changes are
    // encoded; the source's group is the caller's again. Raises what is no
    // failure of the file (a process stopping) that this raised.
    void staged();

private:
    void run(const std::stop_token& stop);
    void read_rows(const std::stop_token& stop);
    void publish(std::size_t count, bool finished, std::exception_ptr failed = nullptr);
    bool wait_for_room(std::size_t filled, std::size_t& limit, const std::stop_token& stop);

    jet::WriteGroup& out_;
    jet::TableWriter& source_;
    const jet::RowPreparer preparer_;
    const std::size_t columns_;
    const std::span<const jet::RowId> ids_;
    // A ring the thread fills in order and the caller empties: row n lies at
    // n % size, its buffers used again by a later row.
    std::vector<ReadyRow> rows_;
    std::size_t taken_ = 0;  // rows handed to the caller
    std::atomic<bool> enough_{false};  // the caller takes no more rows
    std::mutex m_;
    std::condition_variable ready_cv_;
    std::condition_variable_any room_cv_;  // room in the ring, or an order to remove
    std::condition_variable removed_cv_;
    std::size_t ready_ = 0;  // rows the thread has filled
    std::size_t done_ = 0;   // rows the caller is finished with
    bool finished_ = false;
    std::exception_ptr failed_;
    std::optional<std::vector<jet::RowId>> stored_;  // the order to remove them
    bool removed_ = false;
    bool staged_ = false;
    std::exception_ptr staging_failed_;
    std::exception_ptr removal_failed_;
    std::jthread thread_;  // last: started once the rest is made
};

}  // namespace reg
