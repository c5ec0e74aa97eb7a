#include "logic/move_settle.h"

#include <atomic>
#include <map>
#include <optional>
#include <vector>

#include "jet/database.h"
#include "jet/files.h"
#include "jet/error.h"
#include "jet/pending_move.h"
#include "logic/move_record.h"

namespace reg {

namespace {

using jet::ErrorKind;
using jet::Reason;

[[noreturn]] void refuse(Reason why, const std::string& subject, const std::string& text, int os_error = 0) {
    throw jet::Error(ErrorKind::PendingMove, text, why, subject, os_error);
}

void refuse_unusable(const ReadRecord& r, const std::string& record) {
    switch (r.found) {
        case RecordFound::Unreadable:
            refuse(Reason::MoveRecordUnreadable, record, "the record of an unfinished move cannot be read: " + record, r.os_error);
        case RecordFound::Damaged: refuse(Reason::MoveRecordDamaged, record, "the record of an unfinished move is damaged: " + record);
        case RecordFound::NotAFile:
            refuse(Reason::MoveRecordNotAFile, record, "something that is not a record of a move lies at " + record);
        default: return;
    }
}

std::vector<std::string> parts_of(const std::string& path) {
    std::vector<std::string> out;
    std::size_t at = 0;
    while (at <= path.size()) {
        const std::size_t slash = path.find_first_of(jet::disk::kPathSeparators, at);
        const std::size_t end = slash == std::string::npos ? path.size() : slash;
        if (end > at) out.push_back(path.substr(at, end - at));
        if (slash == std::string::npos) break;
        at = slash + 1;
    }
    return out;
}

// Where the other file of the move lies now, seen from this one: at the
// place it had beside this file when the move ran (a share mounted elsewhere
// on another machine keeps it), or else at the path the record names.
std::string other_file(const std::string& here_now, const std::string& here_then, const std::string& other_then) {
    if (here_now == here_then) return other_then;
    const std::vector<std::string> from = parts_of(jet::disk::folder_of(here_then));
    const std::vector<std::string> to = parts_of(other_then);
    std::size_t common = 0;
    while (common < from.size() && common + 1 < to.size() && from[common] == to[common]) ++common;
    std::string relocated = jet::disk::folder_of(here_now);
    for (std::size_t i = common; i < from.size(); ++i) relocated += "/..";
    for (std::size_t i = common; i < to.size(); ++i) relocated += "/" + to[i];
    return jet::disk::entry_at(relocated) != jet::disk::Entry::None ? relocated : other_then;
}

// Whether the file at path is the one the record names. The inode decides:
// the device number changes when a share or a disk is mounted anew.
bool is_recorded(const std::string& path, const RecordedFile& f) {
    if (f.inode == 0) return path == f.path;  // an earlier version's record
    const auto id = jet::disk::identify(path);
    return id && id->inode == f.inode;
}

// A failure of the other file of the move refuses the write to this one, with the other file named.
[[noreturn]] void other_failed(const std::string& other, const jet::Error& e) {
    if (e.kind() == ErrorKind::PendingMove) throw e;
    if (e.kind() == ErrorKind::NotFound) refuse(Reason::MoveOtherMissing, other, "the other file of an unfinished move is gone: " + other);
    refuse(Reason::MoveOtherRefused, other, "the other file of an unfinished move cannot be changed now (" + std::string(e.what()) + ")");
}

template <typename Step>
auto on_other(const std::string& other, Step&& step) {
    try {
        return step();
    } catch (const jet::Error& e) {
        other_failed(other, e);
    }
}

}  // namespace

std::optional<bool> holds_group(jet::Database& dst, MoveRecord& r) {
    if (!dst.has_table(r.table)) return std::nullopt;
    jet::Table t = dst.table(r.table);
    if (r.columns == 0) r.columns = static_cast<std::uint32_t>(t.columns().size());
    if (t.columns().size() < r.columns) return std::nullopt;
    std::multimap<std::int64_t, std::uint64_t> stored;
    for (const MovedRow& m : r.rows) stored.emplace(m.number, m.stored_hash);
    bool found = false;
    t.scan([&](jet::RowId, const std::vector<jet::Value>& row) {
        const auto* number = row.empty() ? nullptr : std::get_if<std::int64_t>(&row[0]);
        if (!number) return true;
        auto [lo, hi] = stored.equal_range(*number);
        for (auto it = lo; it != hi && !found; ++it) found = it->second == row_hash(row, 1, r.columns);
        return !found;
    });
    return found;
}

void let_group_go(jet::Database& src, const MoveRecord& r) {
    std::map<std::uint64_t, std::size_t> sent;
    for (const MovedRow& m : r.rows) ++sent[m.source_hash];
    std::vector<jet::RowId> going;
    if (src.has_table(r.table)) {
        src.table(r.table).scan([&](jet::RowId id, const std::vector<jet::Value>& row) {
            auto it = sent.find(source_row_hash(r, row));
            if (it != sent.end() && it->second > 0) {
                --it->second;
                going.push_back(id);
            }
            return true;
        });
    }
    if (going.empty()) return;
    jet::WriteGroup g(src);
    jet::TableWriter& t = g.table(r.table);
    for (const jet::RowId& id : going) t.remove(id);
    g.commit();
}

namespace {

std::atomic<ServerSettler> g_server_settler{nullptr};

bool same_move(const ReadRecord& a, const ReadRecord& b) {
    return a.found == b.found && (a.found != RecordFound::Complete || (a.record.id == b.record.id && a.record.rows.size() == b.record.rows.size()));
}

// One attempt; false when the record changed before both files were locked.
bool settle_once(const std::string& real_path, const std::string& record_path) {
    ReadRecord seen = read_move_record(record_path);
    refuse_unusable(seen, record_path);
    if (seen.found == RecordFound::None) return true;
    jet::Database here(real_path);
    { jet::WriteGroup probe(here); }  // this file must take writes, as its caller's would
    if (seen.found == RecordFound::Cut) {
        jet::DatabaseLock lock(here, true);
        const ReadRecord now = read_move_record(record_path);
        if (!same_move(seen, now)) return false;
        remove_move_record(record_path);
        return true;
    }
    MoveRecord& r = seen.record;
    // The file the record lies beside is the one it names by path or by
    // inode: compacted in place it keeps the path, reached through a share
    // mounted elsewhere the inode. A copy taken elsewhere keeps neither.
    // The path decides first: an inode freed by one file may be taken by another.
    const bool here_source = real_path == r.source.path || (real_path != r.destination.path && is_recorded(real_path, r.source));
    const bool here_destination = !here_source && (real_path == r.destination.path || is_recorded(real_path, r.destination));
    if (!here_source && !here_destination) {
        refuse(Reason::MoveRecordForeign, record_path, "the record of a move beside " + real_path + " names other files: " + record_path);
    }
    if (on_server(here_source ? r.destination : r.source)) {
        const ServerSettler settler = g_server_settler;
        if (!settler) {
            refuse(Reason::MoveOtherRefused, record_path,
                   "the other register of an unfinished move is on a database server, which this program does not reach: " + record_path);
        }
        return settler(here, record_path, r, here_source);
    }
    const RecordedFile& then = here_source ? r.source : r.destination;
    const std::string other = other_file(real_path, then.path, here_source ? r.destination.path : r.source.path);
    const auto here_file = jet::disk::identify(real_path);
    if (const auto other_id = jet::disk::identify(other); other_id && here_file && *other_id == *here_file) {
        refuse(Reason::MoveRecordForeign, record_path, "the record of a move beside " + real_path + " names it twice: " + record_path);
    }

    // The other file: the destination is only read; the source may lose the group.
    std::optional<jet::Database> there;
    try {
        there.emplace(other);
    } catch (const jet::Error& e) {
        if (e.kind() != ErrorKind::NotFound) other_failed(other, e);
    }
    if (there && here_destination) on_other(other, [&] { jet::WriteGroup probe(*there); });

    // Both locked in the order every move takes them.
    std::optional<jet::DatabaseLock> first, second;
    const auto there_id = there ? jet::disk::identify(there->real_path()) : std::nullopt;
    const bool there_first = there_id && here_file && *there_id < *here_file;
    if (there_first) on_other(other, [&] { first.emplace(*there, here_destination); });
    (there_first ? second : first).emplace(here, true);
    if (there && !there_first) on_other(other, [&] { second.emplace(*there, here_destination); });

    const ReadRecord now = read_move_record(record_path);
    if (!same_move(seen, now)) return false;

    jet::Database* src = here_source ? &here : there ? &*there : nullptr;
    jet::Database* dst = here_destination ? &here : there ? &*there : nullptr;
    std::optional<bool> arrived;
    if (dst) {
        arrived = dst == &here ? holds_group(*dst, r) : on_other(other, [&] { return holds_group(*dst, r); });
    }
    if (arrived == true) {
        if (!src) refuse(Reason::MoveOtherMissing, other, "the source of an unfinished move is gone, and the group must leave it: " + other);
        if (src == &here) let_group_go(*src, r);
        else on_other(other, [&] { let_group_go(*src, r); });
    } else if (!arrived || !is_recorded(dst->real_path(), r.destination)) {
        // Not there, but the file may not be the one the group went into: a
        // destination replaced by another file, or changed past telling, may
        // hold it under another name (renamed away), so the source stays bound.
        if (dst == &here) {
            refuse(Reason::MoveRecordForeign, record_path, "the record of a move beside " + real_path + " names another file: " + record_path);
        }
        refuse(dst ? Reason::MoveOtherReplaced : Reason::MoveOtherMissing, other,
               "the destination of an unfinished move is not the file the group was moved into: " + other);
    }
    // The source's copy goes first: a source's copy never outlives the
    // destination's but where the destination's was taken away by hand.
    if (here_source) remove_move_record(record_path);
    if (there) {
        const std::string beside_there = jet::pending_move_path(there->real_path());
        const ReadRecord copy = read_move_record(beside_there);
        if (copy.found == RecordFound::Cut || (copy.found == RecordFound::Complete && copy.record.id == r.id && !r.earlier_version)) {
            on_other(other, [&] { remove_move_record(beside_there); });
        }
    }
    if (!here_source) remove_move_record(record_path);
    return true;
}

}  // namespace

void settle_move(const std::string& real_path, const std::string& record_path) {
    // Another program may settle the same record, or start a move, while this
    // one waits for the locks: what lies there is read again under them.
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (settle_once(real_path, record_path)) return;
    }
}

void set_server_settler(ServerSettler settler) { g_server_settler = settler; }

void bind_moves() { jet::set_move_settler(&settle_move); }

}  // namespace reg
