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

#include <cstddef>
#include <functional>
#include <string>

namespace reg {

// Whether two paths name the same file on disk, however they are written.
bool same_file(const std::string& a, const std::string& b);

struct MoveOptions {
    std::size_t group_rows = 10000;             // rows per group put on disk at once
    std::function<void(std::size_t moved)> progress;  // after each group, for callers that show it
    // Called after each step of a group with the step's number (from 1, on
    // across groups), so that a test can stop the run there. A move that
    // has a server on either side calls it.
    std::function<void(int step)> step;
};

// Returns the number of rows moved. Paths are UTF-8. Raises
//  - errors::MoveError before anything moves, for the same file as both, a
//    destination column at an ordinal the source lacks, filled columns the
//    destination lacks, columns in another order, rows another table of the
//    source names; and during the run, for a value the destination refuses
//    (the rows before it stay moved, that row stays in the source);
//  - jet::Error, naming the file it concerns (Error::file), for a file that
//    cannot be opened or written, a missing table, a failure of either file.
std::size_t move_register(const std::string& source, const std::string& destination, const MoveOptions& options = {});

}  // namespace reg
