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

#include <string>

namespace reg {

// The settler the engine calls before any write to a file with a record
// beside it (jet::MoveSettler).
void settle_move(const std::string& real_path, const std::string& record_path);

// Puts settle_move in force for the process; any number of calls.
void bind_moves();

}  // namespace reg
