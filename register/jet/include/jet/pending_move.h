// A move of rows from one database file into another writes, for each group
// of rows on its way, a record beside each of the two files ("<real path of
// the file>-move"), and removes both once the group has left its source. A
// record found later was left by a move that was cut off: the group may be
// in both files. Until it is settled, the record binds both files: every
// write lock first hands it to the settler in force, which decides where the
// group belongs and removes the records, and a record still lying there when
// the lock is taken refuses the write (PendingMove). Reading goes on.
//
// The engine knows only that such a record binds the file; what it holds and
// how a group is settled belongs to the layer that moves rows.
#pragma once

#include <string>

namespace jet {

// Where the record of a move beside the file with this real path lies.
std::string pending_move_path(const std::string& real_path);

// Settles the record at record_path, which lies beside the database file at
// real_path. It runs before the write lock of that file is taken, with no
// lock of the file held by the caller; its own locks and writes, on this
// thread, are not held back by records. It returns when the record is gone or
// was never there, and raises jet::Error (PendingMove, with the reason) when
// it cannot settle it.
using MoveSettler = void (*)(const std::string& real_path, const std::string& record_path);

// The settler for the whole process (none by default: a record then refuses
// every write). Set it before the first write.
void set_move_settler(MoveSettler settler);

}  // namespace jet
