#include "logic/move.h"

#include <optional>
#include <span>
#include <random>
#include <utility>
#include <vector>

#include "errors/move_error.h"
#include "jet/database.h"
#include "jet/files.h"
#include "jet/error.h"
#include "jet/pending_move.h"
#include "jet/text.h"
#include "logic/move_source_side.h"
#include "logic/move_record.h"
#include "logic/move_parts.h"
#include "logic/move_settle.h"
#include "logic/register.h"

namespace reg {

bool same_file(const std::string& a, const std::string& b) {
    const auto ia = jet::disk::identify(a);
    const auto ib = jet::disk::identify(b);
    return ia && ib && *ia == *ib;
}

namespace {

using errors::MoveError;
using errors::MoveFault;

const std::string kTableName(kTable);

// The order in which a move takes the locks of its two files: by the files'
// identity on disk, the same whichever of them is the source.
bool locks_source_first(const std::string& source, const std::string& destination) {
    const auto s = jet::disk::identify(source);
    const auto d = jet::disk::identify(destination);
    return !s || !d || *s < *d;
}

}  // namespace

std::vector<errors::MisplacedColumn> misplaced_columns(const std::vector<jet::Column>& src, const std::vector<jet::Column>& dst) {
    std::vector<errors::MisplacedColumn> out;
    for (std::size_t d = 1; d < dst.size(); ++d) {
        for (std::size_t s = 0; s < src.size(); ++s) {
            if (s != d && jet::same_name(src[s].name, dst[d].name)) {
                out.push_back({dst[d].name, s, d});
                break;
            }
        }
    }
    return out;
}

bool fills_column(const jet::Value& v) {
    if (jet::is_null(v)) return false;
    const auto* text = std::get_if<std::string>(&v);
    const auto* bytes = std::get_if<jet::Binary>(&v);
    return !(text && text->empty()) && !(bytes && bytes->bytes.empty());
}

std::vector<std::string> filled_extra_columns(jet::Table& src, std::size_t columns) {
    const std::vector<jet::Column>& all = src.columns();
    std::vector<bool> filled(all.size(), false);
    std::size_t left = all.size() > columns ? all.size() - columns : 0;
    if (left > 0) {
        src.scan([&](jet::RowId, const std::vector<jet::Value>& row) {
            for (std::size_t c = columns; c < row.size() && c < all.size(); ++c) {
                if (filled[c] || !fills_column(row[c])) continue;
                filled[c] = true;
                --left;
            }
            return left > 0;
        });
    }
    std::vector<std::string> out;
    for (std::size_t c = columns; c < all.size(); ++c) {
        if (filled[c]) out.push_back(all[c].name);
    }
    return out;
}

RecordedFile recorded(const jet::Database& db) {
    RecordedFile f{db.real_path(), 0, 0};
    if (const auto id = jet::disk::identify(db.real_path())) {
        f.device = id->device;
        f.inode = id->inode;
    }
    return f;
}

std::uint64_t new_move_id() {
    std::random_device random;
    return (static_cast<std::uint64_t>(random()) << 32) ^ random();
}

void refuse_row(jet::Error why, const std::string& source, const std::string& destination, std::size_t moved) {
    why.about_file(destination);
    MoveError e(MoveFault::RowRefused, source, destination);
    e.refused.emplace(std::move(why));
    e.moved = moved;
    throw e;
}

void refuse_related_rows(jet::Database& from, const std::string& source, const std::string& destination) {
    for (const jet::Relationship& r : jet::read_relationships(from)) {
        if (!r.enforced() || !jet::same_name(r.parent, kTableName) || !from.has_table(r.child)) continue;
        jet::Table child = from.table(r.child);
        std::vector<std::size_t> naming;
        for (const std::string& name : r.child_columns) {
            if (const jet::Column* c = child.def().find_column(name)) naming.push_back(static_cast<std::size_t>(c - child.def().columns.data()));
        }
        bool named = false;
        child.scan([&](jet::RowId, const std::vector<jet::Value>& row) {
            for (std::size_t at : naming) named = named || (at < row.size() && !jet::is_null(row[at]));
            return !named;
        });
        if (named) {
            MoveError e(MoveFault::RelatedRows, source, destination);
            e.names = {r.child, r.name};
            throw e;
        }
    }
}

std::size_t move_register(const std::string& source, const std::string& destination, const MoveOptions& options) {
    if (same_file(source, destination)) throw MoveError(MoveFault::SameFile, source, destination);
    // Whatever this process writes from now on settles a group an earlier
    // run left on its way first.
    bind_moves();
    // The engine names the file of each failure it raises; the record's
    // steps name the file they lie beside.
    auto beside = [](const std::string& file, auto&& step) -> decltype(auto) {
        try {
            return step();
        } catch (jet::Error& e) {
            e.about_file(file);
            throw;
        }
    };
    jet::Database to(destination);
    jet::Database from(source);
    jet::Table dst = to.table(kTableName);
    jet::Table src = from.table(kTableName);
    const std::size_t columns = dst.columns().size();
    if (src.columns().size() < columns) {
        MoveError e(MoveFault::MissingColumn, source, destination);
        e.column = src.columns().size();
        e.names.push_back(dst.columns()[src.columns().size()].name);
        throw e;
    }
    if (std::vector<std::string> lost = filled_extra_columns(src, columns); !lost.empty()) {
        MoveError e(MoveFault::FilledColumns, source, destination);
        e.names = std::move(lost);
        throw e;
    }
    // Rows another table of the source names cannot leave: that table's
    // rows would name nothing, or go with them where deletes cascade.
    refuse_related_rows(from, source, destination);
    if (std::vector<errors::MisplacedColumn> misplaced = misplaced_columns(src.columns(), dst.columns()); !misplaced.empty()) {
        MoveError e(MoveFault::MisplacedColumns, source, destination);
        e.misplaced = std::move(misplaced);
        throw e;
    }
    // Both files must take writes before anything moves: a source that
    // refused its deletes after a group was stored would leave that group
    // in both files, and a second run would copy it again. A group an
    // earlier run left on its way between either of them and any file is
    // settled here, before this run reads a row.
    { jet::WriteGroup probe(to); }
    { jet::WriteGroup probe(from); }
    const std::string source_record = jet::pending_move_path(from.real_path());
    const std::string destination_record = jet::pending_move_path(to.real_path());
    std::vector<jet::RowId> ids = src.row_ids();
    const bool source_first = locks_source_first(source, destination);
    // Other programs' groups come between ours (below): the run waits
    // out a long one rather than stop halfway.
    const std::chrono::milliseconds let_in = from.lock_wait();
    for (jet::Database* db : {&from, &to}) {
        db->set_lock_wait(12 * db->lock_wait());
        db->take_turns();
    }
    std::size_t moved = 0;
    const std::size_t group = std::max<std::size_t>(1, options.group_rows);
    for (std::size_t at = 0; at < ids.size(); at += group) {
        const std::size_t end = std::min(ids.size(), at + group);
        // Both files stay locked for the whole group, record included, the
        // two locks taken in one order for any pair of files, so that two
        // runs in opposite directions cannot each wait for the other.
        std::optional<jet::DatabaseLock> first, second;
        first.emplace(source_first ? from : to, true);
        second.emplace(source_first ? to : from, true);
        jet::WriteGroup out(from);
        jet::WriteGroup in(to);
        jet::TableWriter& s = out.table(kTableName);
        jet::TableWriter& d = in.table(kTableName);
        MoveRecord sent;
        sent.id = new_move_id();
        sent.source = recorded(from);
        sent.destination = recorded(to);
        sent.table = kTableName;
        sent.columns = static_cast<std::uint32_t>(columns);
        std::vector<jet::RowId> sent_ids;
        std::optional<jet::Error> refused;
        // The group's rows are read, hashed and made ready for the
        // destination on a thread of their own while they are stored (their
        // index keys are left to the storing thread, which has time to spare).
        SourceSide source_side(out, s, jet::RowPreparer(d, false), columns, std::span<const jet::RowId>(ids).subspan(at, end - at));
        while (ReadyRow* r = source_side.next()) {
            if (r->refused) {
                // A refused value changes nothing: the rows before it are stored.
                refused = std::move(r->refused);
                break;
            }
            try {
                d.insert(r->row);
            } catch (const jet::Error& e) {
                if (e.kind() != jet::ErrorKind::Constraint) throw;
                refused = e;
                break;
            }
            const std::vector<jet::Value>& values = r->row.values;
            const auto* number = std::get_if<std::int64_t>(&values[0]);
            sent.rows.push_back({r->source_hash, number ? *number : 0, row_hash(values, 1, columns)});
            sent_ids.push_back(r->id);
        }
        // The deletes are carried out in memory before the destination
        // commits: a source the engine could not change leaves both files
        // as they were, not the group in both. Both sides' changes are
        // encoded at once, each on its thread, and the source's journal
        // written ahead (not yet marked complete) while the destination's
        // are encoded; nothing else touches a file meanwhile, so that the
        // steps on disk keep one order.
        source_side.remove(sent_ids);
        in.prepare();
        source_side.removed();
        source_side.staged();
        // The record goes beside both files before the destination
        // commits: until it is settled, neither file takes another write.
        // Where the group surely never reached the destination, it goes again.
        auto take_back_record = [&] {
            for (const std::string* r : {&destination_record, &source_record}) {
                try {
                    const ReadRecord left = read_move_record(*r);
                    if (left.found == RecordFound::Cut || (left.found == RecordFound::Complete && left.record.id == sent.id)) {
                        remove_move_record(*r);
                    }
                } catch (const jet::Error&) {
                    // left bound: the next writer settles it
                }
            }
        };
        if (!sent.rows.empty()) {
            to.check_still_at_path();
            try {
                jet::DurableFile source_copy =
                    beside(source, [&] { return write_move_record(source_record, from.real_path(), sent); });
                jet::DurableFile destination_copy =
                    beside(destination, [&] { return write_move_record(destination_record, to.real_path(), sent); });
                beside(destination, [&] { mark_move_record_complete(destination_copy); });
                beside(source, [&] { mark_move_record_complete(source_copy); });
            } catch (const jet::Error&) {
                take_back_record();
                throw;
            }
        }
        in.commit();
        // Removed or replaced while it was written: the group went where
        // no program finds it, so the source keeps it. A file renamed
        // away may still hold it under its new name: the record stays.
        try {
            to.check_still_at_path();
        } catch (const jet::Error& e) {
            if (e.reason() == jet::Reason::FileRemoved) take_back_record();
            throw;
        }
        out.commit();
        if (!sent.rows.empty()) {
            beside(source, [&] { remove_move_record(source_record); });
            beside(destination, [&] { remove_move_record(destination_record); });
        }
        moved += sent.rows.size();
        // Both files are free again before the caller hears of the group:
        // a window repainting, or another reader, does not wait on them.
        second.reset();
        first.reset();
        if (options.progress) options.progress(moved);
        if (refused) refuse_row(std::move(*refused), source, destination, moved);
        // Whoever waited for either file meanwhile goes before the next group.
        if (end < ids.size()) {
            from.let_waiting_programs_in(let_in);
            to.let_waiting_programs_in(let_in);
        }
    }
    return moved;
}

}  // namespace reg
