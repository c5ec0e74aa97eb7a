#include "move.h"

#include <algorithm>

#include "errors/move_error.h"
#include "jet/error.h"
#include "link.h"
#include "logic/move_parts.h"
#include "logic/register.h"
#include "logic/move_settle.h"
#include "move_sides.h"
#include "server_error.h"

namespace server {

namespace {

using errors::MoveError;
using errors::MoveFault;

std::unique_ptr<SourceSide> source_of(const std::string& name) {
    return names_server(name) ? server_source(name) : file_source(name);
}
std::unique_ptr<DestinationSide> destination_of(const std::string& name) {
    return names_server(name) ? server_destination(name) : file_destination(name);
}

// The checks the move between files makes before anything moves.
void check_before(SourceSide& from, DestinationSide& to) {
    const std::size_t columns = to.columns().size();
    if (from.columns().size() < columns) {
        MoveError e(MoveFault::MissingColumn, from.name(), to.name());
        e.column = from.columns().size();
        e.names.push_back(to.columns()[from.columns().size()].name);
        throw e;
    }
    if (std::vector<std::string> lost = from.filled_columns(columns); !lost.empty()) {
        MoveError e(MoveFault::FilledColumns, from.name(), to.name());
        e.names = std::move(lost);
        throw e;
    }
    if (auto related = from.related_rows()) {
        MoveError e(MoveFault::RelatedRows, from.name(), to.name());
        e.names = {related->first, related->second};
        throw e;
    }
    if (std::vector<errors::MisplacedColumn> misplaced = reg::misplaced_columns(from.columns(), to.columns()); !misplaced.empty()) {
        MoveError e(MoveFault::MisplacedColumns, from.name(), to.name());
        e.misplaced = std::move(misplaced);
        throw e;
    }
}

bool same_register(const std::string& source, const std::string& destination) {
    if (names_server(source) != names_server(destination)) return false;
    Connection a(connection_string(source), source), b(connection_string(destination), destination);
    return server_identity(a) == server_identity(b);
}

}  // namespace

bool moves_through_server(const std::string& source, const std::string& destination) {
    return names_server(source) || names_server(destination);
}

std::size_t move_register(const std::string& source, const std::string& destination, const reg::MoveOptions& options) {
    bind_server_moves();
    if (!moves_through_server(source, destination)) return reg::move_register(source, destination, options);
    if (same_register(source, destination)) throw MoveError(MoveFault::SameFile, source, destination);
    std::unique_ptr<DestinationSide> to = destination_of(destination);
    std::unique_ptr<SourceSide> from = source_of(source);
    check_before(*from, *to);
    // Both must take writes, and what earlier runs left on its way between
    // either and any register is settled, before a row is read.
    to->prepare();
    from->prepare();
    const std::size_t count = from->list();
    const std::size_t columns = to->columns().size();
    int step = 0;
    const auto stepped = [&] {
        if (options.step) options.step(++step);
    };
    std::size_t moved = 0;
    const std::size_t group = std::max<std::size_t>(1, options.group_rows);
    for (std::size_t at = 0; at < count; at += group) {
        const std::size_t end = std::min(count, at + group);
        reg::MoveRecord sent;
        sent.id = reg::new_move_id();
        sent.source = from->recorded();
        sent.destination = to->recorded();
        sent.table = std::string(reg::kTable);
        sent.columns = static_cast<std::uint32_t>(columns);
        // Until the source notes the group nothing of it is kept anywhere, so
        // a group the server turns back on a conflict with other clients
        // (another office's edit or move holding the same rows) starts again.
        std::vector<Row> rows;
        std::vector<std::uint64_t> source_hashes;
        DestinationSide::Stored stored;
        retrying_conflicts([&] {
            try {
                rows = from->begin_group(sent.id, at, end);
                to->begin_group(sent.id);
                stepped();
                source_hashes.clear();
                for (const Row& row : rows) source_hashes.push_back(reg::row_hash(row, 0, row.size()));
                stored = to->store(rows);
            } catch (const Error&) {
                to->end_group();
                from->end_group();
                throw;
            }
        });
        for (std::size_t i = 0; i < stored.numbers.size(); ++i) {
            sent.rows.push_back({source_hashes[i], stored.numbers[i], stored.hashes[i]});
        }
        from->prepare_let_go(sent.rows.size());
        stepped();
        bool committing = false;
        try {
            if (!sent.rows.empty()) {
                from->note(sent);
                stepped();
                to->note(sent);
                stepped();
                from->noted();
                stepped();
            }
            committing = true;
            to->commit();
        } catch (...) {
            // Where the destination surely never took the group, its notes go
            // and the source takes writes again; once its commit was asked
            // for, nobody here can tell, and the notes stay to be settled.
            if (!committing) {
                to->take_back(sent.id);
                from->take_back(sent.id);
            }
            throw;
        }
        stepped();
        from->let_go(sent.id);
        stepped();
        if (!sent.rows.empty()) {
            from->tidy(sent.id);
            to->tidy(sent.id);
            stepped();
        }
        moved += sent.rows.size();
        // Both registers are free again before the caller hears of the group.
        to->end_group();
        from->end_group();
        if (options.progress) options.progress(moved);
        if (stored.refused) reg::refuse_row(*stored.refused, source, destination, moved);
        if (end < count) {
            from->let_others_in();
            to->let_others_in();
        }
    }
    return moved;
}

}  // namespace server
