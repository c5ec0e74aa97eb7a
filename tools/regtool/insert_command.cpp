#include "insert_command.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <stop_token>
#include <system_error>
#include <thread>
#include <vector>

#include "jet/database.h"
#include "jet/error.h"
#include "jet/prepared_row.h"
#include "jet/table_writer.h"
#include "json_in.h"
#include "say.h"
#include "system/console.h"

namespace regtool {

namespace {

// One line read: its row made ready for the table, or why it cannot be read
// or the table refuses it; or the end of the input.
struct Parsed {
    std::size_t line_no = 0;
    jet::PreparedRow row;
    std::optional<errors::InputError> bad;  // the line is no row of the table
    std::optional<jet::Error> refused;      // the table refuses a value
    std::string error;                      // the input cannot be read
    bool end = false;
};

// Lines handed from the reading thread to the writing one in batches (those
// of one chunk of input: one lock and one wake-up each, not one a line), a
// bounded number of lines ahead.
class Lines {
public:
    // False when the writer stopped taking lines.
    bool put(std::vector<Parsed>& batch, const std::stop_token& stop) {
        if (batch.empty()) return true;
        std::unique_lock lock(m_);
        if (!room_.wait(lock, stop, [&] { return ahead_ < kAhead; })) return false;
        ahead_ += batch.size();
        queue_.push_back(std::move(batch));
        batch.clear();
        ready_.notify_one();
        return true;
    }
    // Called by the writing thread alone.
    Parsed take() {
        if (next_ == mine_.size()) {
            std::unique_lock lock(m_);
            ready_.wait(lock, [&] { return !queue_.empty(); });
            mine_ = std::move(queue_.front());
            queue_.pop_front();
            ahead_ -= mine_.size();
            next_ = 0;
            room_.notify_one();
        }
        return std::move(mine_[next_++]);
    }

private:
    static constexpr std::size_t kAhead = 4096;
    std::mutex m_;
    std::condition_variable_any room_;
    std::condition_variable ready_;
    std::deque<std::vector<Parsed>> queue_;
    std::size_t ahead_ = 0;  // lines in the queue
    std::vector<Parsed> mine_;  // the writer's batch, taken from next_
    std::size_t next_ = 0;
};

std::runtime_error unreadable_input(const std::error_code& err) {
    return std::runtime_error(say("не удается прочитать стандартный ввод (ошибка системы " + std::to_string(err.value()) + ")",
                                  "cannot read standard input: " + err.message()));
}

// The next chunk of standard input, waiting for it in short steps so that a
// stop is noticed even while a slow producer sends nothing. Empty at the end.
std::optional<std::string> next_chunk(const std::stop_token& stop) {
    try {
        return sys::next_input_chunk(stop);
    } catch (const std::system_error& e) {
        throw unreadable_input(e.code());
    }
}

// The reading thread: lines split, blank ones passed over, each parsed and its
// row made ready for the table; the lines of each chunk go over together.
void read_lines(const std::vector<jet::Column>& columns, const jet::RowPreparer& preparer, Lines& out,
                const std::stop_token& stop) {
    RowReader reader(columns);
    std::string pending;
    std::size_t line_no = 0;
    bool at_end = false;
    std::vector<Parsed> batch;
    // False when no more lines are to be read: one could not be, or the writer stopped.
    auto give = [&](std::string_view line) {
        ++line_no;
        if (line.find_first_not_of(" \t\r") == std::string_view::npos) return true;
        Parsed& p = batch.emplace_back();
        p.line_no = line_no;
        try {
            preparer.prepare(reader.read(line), p.row);
        } catch (const jet::Error& e) {
            if (e.kind() != jet::ErrorKind::Constraint) throw;
            p.refused = e;
            out.put(batch, stop);
            return false;
        } catch (const errors::InputError& e) {
            p.bad = e;
            out.put(batch, stop);
            return false;
        } catch (const std::exception& e) {
            p.error = e.what();
            out.put(batch, stop);
            return false;
        }
        return true;
    };
    try {
        while (!at_end) {
            std::optional<std::string> chunk = next_chunk(stop);
            if (!chunk) return;
            at_end = chunk->empty();
            pending += *chunk;
            std::size_t from = 0;
            for (std::size_t nl; (nl = pending.find('\n', from)) != std::string::npos; from = nl + 1) {
                if (!give(std::string_view(pending).substr(from, nl - from))) return;
            }
            pending.erase(0, from);
            if (!out.put(batch, stop)) return;
        }
        if (!pending.empty() && !give(pending)) return;
    } catch (const std::exception& e) {
        Parsed& p = batch.emplace_back();
        p.line_no = line_no + 1;
        p.error = e.what();
        out.put(batch, stop);
        return;
    }
    batch.emplace_back().end = true;
    out.put(batch, stop);
}

}  // namespace

int insert_rows(const std::string& path, const std::string& table) {
    constexpr std::size_t kGroupRows = 50000;
    jet::Database db(path);
    const std::vector<jet::Column> columns = db.table(table).columns();
    std::optional<jet::WriteGroup> g(std::in_place, db);
    const jet::RowPreparer preparer(g->table(table));
    Lines lines;
    // Reading, parsing and making rows ready run beside the writing; the
    // thread is stopped and joined however the writing ends.
    std::jthread reader([&](std::stop_token stop) { read_lines(columns, preparer, lines, stop); });
    bool more = true;
    while (more) {
        if (!g) g.emplace(db);
        jet::TableWriter& t = g->table(table);
        std::size_t rows = 0;
        while (rows < kGroupRows) {
            Parsed p = lines.take();
            if (p.end) {
                more = false;
                break;
            }
            if (p.bad || p.refused || !p.error.empty()) {
                // A line that cannot be read, or that the table refuses,
                // changes nothing: the rows before it are kept.
                g->commit();
                if (p.bad) throw BadLine(p.line_no, *p.bad);
                if (p.refused) throw RefusedLine(p.line_no, p.refused->about_file(path));
                throw std::runtime_error(say("строка ", "line ") + std::to_string(p.line_no) + ": " + p.error);
            }
            try {
                t.insert(p.row);
            } catch (jet::Error& e) {
                if (e.kind() == jet::ErrorKind::Constraint) g->commit();  // a refused row changes nothing
                throw RefusedLine(p.line_no, e.about_file(path));
            }
            ++rows;
        }
        g->commit();
        g.reset();
        // Whoever waited for the file meanwhile goes before the next group.
        if (more) db.let_waiting_programs_in(db.lock_wait());
    }
    return 0;
}

}  // namespace regtool
