// Where a server register keeps the groups of rows on their way between it
// and another register: one row per group and side, written in the same
// transaction as what it speaks of.
//
//   'D' (the destination holds the group): inserted in the transaction that
//   stores the group's rows, so it is there exactly when they are;
//   'S' (the group is leaving this register): committed before the group is
//   stored anywhere, with the numbers and contents of its rows, and deleted
//   in the transaction that deletes them.
//
// A mover holds the group's advisory lock (its number) on each server for as
// long as it works on the group; a settler takes it too, so it never decides
// about a group whose mover is still at work or whose commit is on its way.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "connection.h"

namespace server {

// In a schema of its own, out of the way of the register's tables.
inline constexpr const char* kMovesSchema = "register_moves";
inline constexpr const char* kMovesTable = "register_moves.groups";

// Makes the table when the database has none (upsize makes it, so that a role
// that may not create tables can move rows). Raises PermissionDenied for a
// role that may not.
void make_moves_table(Connection& c);
bool has_moves_table(Connection& c);

struct LeavingGroup {
    std::uint64_t id = 0;
    std::string destination;             // how the move named it (a file's real path, or a server)
    std::uint64_t device = 0, inode = 0; // a file's
    std::vector<std::int64_t> numbers;   // the rows' numbers here
    std::vector<std::uint64_t> hashes;   // the rows' contents as they left
};

// Both run in the caller's transaction (or on their own).
void note_leaving(Connection& c, const LeavingGroup& g);
void note_arrived(Connection& c, std::uint64_t id, const std::string& source);
bool has_arrived(Connection& c, std::uint64_t id);
std::optional<LeavingGroup> leaving(Connection& c, std::uint64_t id);
std::vector<std::uint64_t> leaving_groups(Connection& c);
// The groups noted as arrived, with the source each came from.
std::vector<std::pair<std::uint64_t, std::string>> arrived_groups(Connection& c);
void forget(Connection& c, std::uint64_t id, char role);

// The group's lock: waited for, or tried (false when another holds it); both
// held to the end of the transaction.
void lock_group(Connection& c, std::uint64_t id);
bool try_lock_group(Connection& c, std::uint64_t id);

}  // namespace server
