// Compacting, as Access's "Compact" does it: the database written anew into a
// fresh file, with only the rows that live, in their order, every index built
// again and every page of the old file's free space left behind. What the
// engine cannot carry over exactly (queries, forms, reports, modules, links,
// relationships, a text index in another sort order) makes it refuse before
// anything is written.
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

// Why the database cannot be compacted, or nothing.
std::optional<std::string> cannot_compact(Database& from);

// Writes the compacted copy of `from` to `to`, which must not exist yet (it is
// removed again when the copy fails). Raises Unsupported (cannot_compact), or
// what reading or writing raises.
void compact(Database& from, const std::string& to, const std::function<void(const CompactProgress&)>& progress = {});

// What differs between a database and its compacted copy: every user table's
// rows, value for value and in order, and its next autonumber; and the copy's
// integrity check. Empty when the copy is faithful.
std::vector<std::string> compare_copy(Database& original, Database& copy);

}  // namespace jet
