// Settling a group a move through a server left on its way: from the file
// whose record names a server, and from a server's moves table.
#include <map>

#include "jet/database.h"
#include "jet/error.h"
#include "jet/pending_move.h"
#include "logic/move_record.h"
#include "logic/move_settle.h"
#include "logic/register.h"
#include "move.h"
#include "move_sides.h"
#include "moves_table.h"
#include "server_error.h"

namespace server {

namespace {

using jet::ErrorKind;
using jet::Reason;

std::string conninfo_of(const reg::RecordedFile& side) { return side.path.substr(std::string(reg::kServerSide).size()); }

// A server that cannot be reached or refuses refuses the write to the file.
template <typename Step>
auto on_server(const std::string& conninfo, const std::string& record_path, Step&& step) {
    try {
        return step();
    } catch (const Error& e) {
        throw jet::Error(ErrorKind::PendingMove,
                         "the register on the server of an unfinished move cannot be changed now (" + std::string(e.what()) + ")",
                         Reason::MoveOtherRefused, conninfo.empty() ? record_path : conninfo);
    }
}

// The rows of a group still on the server, as they were when they left:
// deleted in the caller's transaction; rows changed since stay.
void let_go_on_server(Connection& c, const std::vector<std::int64_t>& numbers, const std::vector<std::uint64_t>& hashes) {
    if (numbers.empty()) return;
    const ServerTable table = find_table(c, std::string(reg::kTable));
    std::map<std::uint64_t, std::size_t> sent;
    for (std::uint64_t h : hashes) ++sent[h];
    std::string list = "{";
    for (std::size_t i = 0; i < numbers.size(); ++i) list += (i ? "," : "") + std::to_string(numbers[i]);
    list += "}";
    const std::string first = Connection::quote(table.columns.at(0).name);
    const Result rows = c.exec(select_sql(table, "") + " WHERE " + first + " = ANY($1::bigint[]) ORDER BY " + first + " FOR UPDATE", {list},
                               table.spec.name);
    std::string going = "{";
    for (int r = 0; r < rows.rows(); ++r) {
        const Row row = row_of(rows, r, table.columns);
        auto it = sent.find(reg::row_hash(row, 0, row.size()));
        if (it == sent.end() || it->second == 0) continue;
        --it->second;
        going += (going.size() > 1 ? "," : "") + std::to_string(std::get<std::int64_t>(row[0]));
    }
    going += "}";
    c.exec("DELETE FROM " + Connection::quote(table.spec.name) + " WHERE " + first + " = ANY($1::bigint[])", {going}, table.spec.name);
}

// The settler the file's own calls for a record whose other side is a server.
bool settle_with_server(jet::Database& here, const std::string& record_path, reg::MoveRecord& r, bool here_source) {
    jet::DatabaseLock lock(here, true);
    const reg::ReadRecord now = reg::read_move_record(record_path);
    if (now.found != reg::RecordFound::Complete || now.record.id != r.id) return false;
    const std::string conninfo = conninfo_of(here_source ? r.destination : r.source);
    if (here_source) {
        // From this file to the server: the server's note, committed with
        // the rows, says whether they arrived.
        on_server(conninfo, record_path, [&] {
            Connection c(conninfo);
            Transaction t(c);
            bool arrived = false;
            if (has_moves_table(c)) {
                lock_group(c, r.id);
                arrived = has_arrived(c, r.id);
            }
            if (arrived) reg::let_group_go(here, r);
            reg::remove_move_record(record_path);
            if (arrived) forget(c, r.id, 'D');
            t.commit();
        });
        return true;
    }
    // From the server to this file: the file tells whether the group arrived.
    const std::optional<bool> arrived = reg::holds_group(here, r);
    if (!arrived) {
        throw jet::Error(ErrorKind::PendingMove, "the record of a move beside " + here.real_path() + " names another file: " + record_path,
                         Reason::MoveRecordForeign, record_path);
    }
    on_server(conninfo, record_path, [&] {
        Connection c(conninfo);
        Transaction t(c);
        if (has_moves_table(c)) {
            lock_group(c, r.id);
            if (const std::optional<LeavingGroup> g = leaving(c, r.id)) {
                if (*arrived) let_go_on_server(c, g->numbers, g->hashes);
                forget(c, r.id, 'S');
            }
        }
        t.commit();
    });
    reg::remove_move_record(record_path);
    return true;
}

void settle_leaving_group(Connection& c, std::uint64_t id) {
    std::optional<Transaction> t(std::in_place, c);
    if (!try_lock_group(c, id)) return;  // its mover is at work
    const std::optional<LeavingGroup> g = leaving(c, id);
    if (!g) return;
    const reg::RecordedFile to{g->destination, g->device, g->inode};
    if (reg::on_server(to)) {
        Connection d(conninfo_of(to));
        Transaction td(d);
        bool arrived = false;
        if (has_moves_table(d)) {
            lock_group(d, id);  // a commit on its way ends first
            arrived = has_arrived(d, id);
        }
        if (arrived) let_go_on_server(c, g->numbers, g->hashes);
        forget(c, id, 'S');
        t->commit();
        if (arrived) forget(d, id, 'D');
        td.commit();
        return;
    }
    // Into a file: the record beside it was complete before the file
    // committed, and is removed only after this note went.
    const std::string record = jet::pending_move_path(to.path);
    const reg::ReadRecord left = reg::read_move_record(record);
    if (left.found == reg::RecordFound::Complete && left.record.id == id) {
        t.reset();  // the file's settler takes the group's lock itself
        jet::Database file(to.path);
        jet::WriteGroup probe(file);  // settles the record, the server's rows with it
        return;
    }
    if (left.found == reg::RecordFound::None || left.found == reg::RecordFound::Cut || left.found == reg::RecordFound::Complete) {
        forget(c, id, 'S');
        t->commit();
        return;
    }
    throw jet::Error(ErrorKind::PendingMove, "the record of an unfinished move into " + to.path + " cannot be read: " + record,
                     Reason::MoveRecordUnreadable, record);
}

// A note of a group that arrived is kept while its source may still need
// it: until the source's own note or record of the group is gone.
void tidy_arrived_group(Connection& c, std::uint64_t id, const std::string& source) {
    Transaction t(c);
    if (!try_lock_group(c, id)) return;  // its mover is at work
    const reg::RecordedFile from{source, 0, 0};
    if (reg::on_server(from)) {
        Connection s(conninfo_of(from));
        if (has_moves_table(s) && leaving(s, id)) return;
    } else {
        const reg::ReadRecord left = reg::read_move_record(jet::pending_move_path(source));
        if (left.found == reg::RecordFound::Complete && left.record.id == id) return;
        if (left.found != reg::RecordFound::None && left.found != reg::RecordFound::Cut && left.found != reg::RecordFound::Complete) return;
    }
    forget(c, id, 'D');
    t.commit();
}

}  // namespace

void settle_leaving_groups(Connection& c) {
    if (!has_moves_table(c)) return;
    for (std::uint64_t id : leaving_groups(c)) settle_leaving_group(c, id);
    for (const auto& [id, source] : arrived_groups(c)) tidy_arrived_group(c, id, source);
}

void bind_server_moves() {
    reg::bind_moves();
    reg::set_server_settler(&settle_with_server);
}

}  // namespace server
