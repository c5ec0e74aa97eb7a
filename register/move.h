// Moving every row of one register into another: the importer's run, also
// behind `regtool move SRC DST`.
//
// Rows go in the source's order. Each is stored in the destination whole, in
// one insert, with column 0 left for the destination to number and columns 1
// up to the destination's last copied by ordinal. Rows are deleted from the
// source only after the group holding them is on disk in the destination, so
// a run killed at any instant loses no row: each is in the destination, the
// source, or (at worst, the last group) both.
#pragma once

#include <QString>
#include <cstddef>
#include <functional>

namespace reg {

// Whether two paths name the same file on disk, however they are written.
bool same_file(const QString& a, const QString& b);

struct MoveOptions {
    std::size_t group_rows = 10000;             // rows per group put on disk at once
    std::function<void(std::size_t moved)> progress;  // after each group, for callers that show it
};

// Returns the number of rows moved. Raises dataaccess::DataError:
//  - before anything moves: a file that cannot be opened, a missing table,
//    the same file as both, a destination column at an ordinal the source lacks;
//  - during the run: a value the destination refuses (the rows before it stay
//    moved, that row stays in the source) or a failure of either file.
std::size_t move_register(const QString& source, const QString& destination, const MoveOptions& options = {});

}  // namespace reg
