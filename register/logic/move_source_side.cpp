#include "logic/move_source_side.h"

#include <algorithm>

#include "jet/database.h"
#include "jet/table_writer.h"
#include "logic/move_record.h"

namespace reg {

namespace {
constexpr std::size_t kHandOver = 32;  // rows handed over at once
constexpr std::size_t kAhead = 512;    // rows read ahead of the caller at most
}  // namespace

SourceSide::SourceSide(jet::WriteGroup& out, jet::TableWriter& source, jet::RowPreparer preparer, std::size_t columns,
                       std::span<const jet::RowId> ids)
    : out_(out), source_(source), preparer_(std::move(preparer)), columns_(columns), ids_(ids),
      rows_(std::max<std::size_t>(1, std::min(ids.size(), kAhead))), thread_([this](std::stop_token stop) { run(stop); }) {}

SourceSide::~SourceSide() {
    thread_.request_stop();
    thread_.join();
}

void SourceSide::publish(std::size_t count, bool finished, std::exception_ptr failed) {
    {
        std::lock_guard lock(m_);
        ready_ = count;
        finished_ = finished;
        failed_ = std::move(failed);
    }
    ready_cv_.notify_one();
}

// Waits until the ring has room for row `filled`; false when no more rows are
// wanted. `limit` becomes the row the ring has room up to.
bool SourceSide::wait_for_room(std::size_t filled, std::size_t& limit, const std::stop_token& stop) {
    std::unique_lock lock(m_);
    if (!room_cv_.wait(lock, stop, [&] { return filled - done_ < rows_.size() || stored_; }) || stored_) return false;
    limit = done_ + rows_.size();
    return true;
}

void SourceSide::read_rows(const std::stop_token& stop) {
    std::size_t filled = 0;
    std::size_t limit = rows_.size();  // the ring has room up to this row
    try {
        for (const jet::RowId& id : ids_) {
            if (stop.stop_requested() || enough_.load(std::memory_order_relaxed)) break;
            std::optional<std::vector<jet::Value>> row = source_.read(id);
            if (!row) continue;  // another program deleted it meanwhile
            if (filled >= limit) {
                publish(filled, false);
                if (!wait_for_room(filled, limit, stop)) break;
            }
            ReadyRow& r = rows_[filled % rows_.size()];
            r.id = id;
            r.refused.reset();
            r.source_hash = row_hash(*row, 0, row->size());
            std::vector<jet::Value> values(columns_, jet::Null{});
            for (std::size_t c = 1; c < columns_ && c < row->size(); ++c) values[c] = std::move((*row)[c]);
            try {
                preparer_.prepare(std::move(values), r.row);
            } catch (const jet::Error& e) {
                if (e.kind() != jet::ErrorKind::Constraint) throw;
                r.refused = e;
                ++filled;
                break;
            }
            if (++filled % kHandOver == 0) publish(filled, false);
        }
        publish(filled, true);
    } catch (...) {
        publish(filled, true, std::current_exception());
    }
}

void SourceSide::run(const std::stop_token& stop) {
    read_rows(stop);
    std::vector<jet::RowId> stored;
    {
        std::unique_lock lock(m_);
        if (!room_cv_.wait(lock, stop, [&] { return stored_.has_value(); })) return;
        stored = std::move(*stored_);
    }
    std::exception_ptr failed;
    try {
        for (const jet::RowId& id : stored) source_.remove(id);
        out_.prepare();
    } catch (...) {
        failed = std::current_exception();
    }
    {
        std::lock_guard lock(m_);
        removed_ = true;
        removal_failed_ = failed;
    }
    removed_cv_.notify_one();
    std::exception_ptr stopped;
    if (!failed) {
        // Its journal too, while the destination commits first. Where the
        // file fails that, the source's commit writes it itself (and says
        // so); anything else (the process stopping) goes to the caller.
        try {
            out_.stage();
        } catch (const jet::Error&) {
        } catch (...) {
            stopped = std::current_exception();
        }
    }
    {
        std::lock_guard lock(m_);
        staged_ = true;
        staging_failed_ = stopped;
    }
    removed_cv_.notify_one();
}

ReadyRow* SourceSide::next() {
    std::unique_lock lock(m_);
    if (done_ < taken_) {
        done_ = taken_;  // the row handed over last
        room_cv_.notify_one();
    }
    ready_cv_.wait(lock, [&] { return taken_ < ready_ || finished_; });
    if (taken_ < ready_) return &rows_[taken_++ % rows_.size()];
    if (failed_) std::rethrow_exception(failed_);
    return nullptr;
}

void SourceSide::remove(std::vector<jet::RowId> stored) {
    enough_.store(true, std::memory_order_relaxed);
    {
        std::lock_guard lock(m_);
        stored_ = std::move(stored);
    }
    room_cv_.notify_one();
}

void SourceSide::removed() {
    std::unique_lock lock(m_);
    removed_cv_.wait(lock, [&] { return removed_; });
    if (removal_failed_) std::rethrow_exception(removal_failed_);
}

void SourceSide::staged() {
    std::unique_lock lock(m_);
    removed_cv_.wait(lock, [&] { return staged_; });
    if (staging_failed_) std::rethrow_exception(staging_failed_);
}

}  // namespace reg
