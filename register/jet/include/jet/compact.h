// Compacting, as Access's "Compact" does it: the database written anew into a
// fresh file, with only the rows that live, in their order, every index built
// again and every page of the old file's free space left behind. What the
// engine cannot carry over exactly (queries, forms, reports, modules, links,
// relationships, a text index in another sort order) makes it refuse before
// anything is written.
//
// The copy is written under a hidden name in the folder of its final place,
// ".<final name>.compact-<number>.tmp" (drawn at random), and gets its final name only once
// it has been checked and synced: a compact killed at any moment, or stopped
// by a full disk or a file-size limit, leaves no file under the final name
// that could pass for a whole copy. The process writing the copy holds the
// file's write lock from when it is made until it has its final name or is
// removed. Every compact first removes, in the folder it writes to, the
// temporaries (and their journals) of compacts that died: those whose lock it
// can take, so never one that a compact in another process is still writing.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "database.h"

namespace jet {

struct CompactProgress {
    std::string table;
    std::size_t rows_done = 0;
    std::size_t rows_total = 0;
};
using CompactProgressFn = std::function<void(const CompactProgress&)>;

// A further check of a finished copy, after compare_copy: the problems found,
// none when the copy is faithful. The copy is held locked by the compaction,
// so it is read through `copy` (sharing that lock), or at `copy_path` by a
// program that takes no locks.
using CopyCheck = std::function<std::vector<std::string>(Database& original, Database& copy, const std::string& copy_path)>;

// Why the database cannot be compacted, or nothing.
std::optional<std::string> cannot_compact(Database& from);

// Writes the compacted copy of `from` to `to`, which must not exist: under
// the temporary name, checked (compare_copy, then `check`), synced, given the
// name `to` (never over a file that appeared there meanwhile) and the folder
// synced. Returns the problems the checks found, the copy then removed and
// nothing at `to`; empty when the copy is at `to`. Raises Unsupported
// (cannot_compact), or what reading or writing raises, with nothing at `to`.
std::vector<std::string> compact(Database& from, const std::string& to, const CopyCheck& check = {},
                                 const CompactProgressFn& progress = {});

// Compacts `from` in its own place, under its write lock from start to end.
// The copy is given the original's owner, group and read and write
// permissions before anything else is written to it, and the compact is
// refused (Io, with nothing changed and nothing left behind) when they do not
// take, as when someone other than root compacts another user's file. Once
// checked and synced, the original gets the second name `backup` (never over
// an existing file), the copy takes the original's name in one step, and the
// folder is synced. Returns the problems the checks found, with nothing
// replaced; empty when the copy is in place.
std::vector<std::string> compact_in_place(Database& from, const std::string& backup, const CopyCheck& check = {},
                                          const CompactProgressFn& progress = {});

// What differs between a database and its compacted copy: every user table's
// rows, value for value and in order, and its next autonumber; and the copy's
// integrity check. Empty when the copy is faithful.
std::vector<std::string> compare_copy(Database& original, Database& copy);

}  // namespace jet
