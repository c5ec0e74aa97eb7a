// The register's move (logic/move.h) where either register, or both, lies on
// a database server: from a file into a server register, back, and between
// two server registers. Each group is one transaction on each server, and
// the move's promises hold as between files: every row is in the source or
// the destination whatever stops the run, and a group cut off on its way is
// settled (never stored twice) before either register moves rows again.
//
// How a group goes, whichever the sides:
//   1. the source's rows are locked and read (a file's lock; on a server,
//      SELECT … FOR UPDATE in the group's transaction);
//   2. the destination takes them, not yet committed;
//   3. the source notes the group as leaving: a file's record beside it,
//      marked complete only after step 4; on a server, a row of its moves
//      table committed on its own;
//   4. the destination notes it as arrived: a file's record beside it; on a
//      server, a row of its moves table in the group's own transaction;
//   5. the destination commits; then the source deletes the rows (and its
//      note) and commits; the notes left are removed.
// A file's record binds the file (no program writes it before settling it);
// a server's notes are settled by the next move out of that server.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "logic/move.h"

namespace server {

class Connection;

// Whether a register's name is a server's (server/link.h), for callers
// that pick between this move and the files' own.
bool moves_through_server(const std::string& source, const std::string& destination);

// Moves every row of the source's register table into the destination's,
// as reg::move_register does between files (which it calls for two files).
// Raises errors::MoveError, jet::Error (a file's failure) or server::Error.
std::size_t move_register(const std::string& source, const std::string& destination, const reg::MoveOptions& options = {});

// Settles the groups a cut-off move left leaving the server register on c
// (its moves table's 'S' rows whose mover is gone), and lets go the notes of
// groups that arrived once their source no longer needs them. Raises
// server::Error or jet::Error for one that cannot be settled now.
void settle_leaving_groups(Connection& c);

// Puts in force, for this process, the settling of files' records whose
// other side is a server (and reg::bind_moves).
void bind_server_moves();

}  // namespace server
