// Settling a group a cut-off move left on its way (move_record.h).
//
// The destination holds the group when any of its rows is there with the
// number and the values it was stored with (a commit stores a group whole).
// Then the source lets go the rows that still hold what was sent, found by
// their contents wherever they lie now; else the rows stay in the source.
// Either way both copies of the record go. Both files are locked meanwhile,
// in the order every move takes them.
//
// What cannot be decided is refused, never guessed (jet::Error, kind
// PendingMove, with the reason): a record that cannot be read or is damaged,
// one that names other files, a destination that is gone, or replaced by a
// file that does not hold the group, a source that is gone while the group
// must leave it. Only a record cut while it was written is dropped: its
// group never reached the destination.
#pragma once

#include <optional>
#include <string>

#include "logic/move_record.h"

namespace jet {
class Database;
}

namespace reg {

// A side of a move that is a register on a database server is recorded by
// its connection string after this prefix, in place of a file's path (its
// device and inode 0): no file's real path starts with it.
inline constexpr const char* kServerSide = "pgsql:";
inline bool on_server(const RecordedFile& f) { return f.path.rfind(kServerSide, 0) == 0; }

// Whether the destination holds the group: any of its rows with the number
// and the values it was stored with. Nothing when that cannot be told (the
// table gone, or narrower than the record's).
std::optional<bool> holds_group(jet::Database& dst, MoveRecord& r);

// The source lets go the rows that still hold what was sent, wherever they lie now.
void let_group_go(jet::Database& src, const MoveRecord& r);

// Settles a record whose other side is a server register: `here` is the file
// it lies beside, already taking writes; false when the record changed
// before the file was locked (the caller reads it again). Raises jet::Error
// (PendingMove) when the group cannot be settled now.
using ServerSettler = bool (*)(jet::Database& here, const std::string& record_path, MoveRecord& record, bool here_source);

// Put in force by programs that reach servers; without one, a file whose
// record names a server takes no writes.
void set_server_settler(ServerSettler settler);

// The settler the engine calls before any write to a file with a record
// beside it (jet::MoveSettler).
void settle_move(const std::string& real_path, const std::string& record_path);

// Puts settle_move in force for the process; any number of calls.
void bind_moves();

}  // namespace reg
