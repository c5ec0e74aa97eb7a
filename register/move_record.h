// The record of a group of rows on its way from one register to another. It
// lies beside the source ("<source>-move") from before the destination takes
// the group until the source has let the group go, both files locked all the
// while. A move that finds one, left by a run that was cut off, settles that
// group first: when the destination holds it, the source lets its rows go;
// else they stay where they are. So a resumed move never copies a group twice.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "jet/bytes.h"
#include "jet/value.h"

namespace reg {

struct MovedRow {
    jet::RowId from;                // the row in the source
    std::int64_t number = 0;        // the number the destination gave it
    std::uint64_t source_hash = 0;  // its values as the source holds them
    std::uint64_t stored_hash = 0;  // its values as the destination stored them
};

struct MoveRecord {
    std::string destination;  // the destination's real path
    std::vector<MovedRow> rows;
    bool complete = true;     // false: cut while it was written (its group never left the source)
};

// A hash of a row's values from column 1 up to (not including) `columns`:
// enough to tell the same person from another.
std::uint64_t row_hash(const std::vector<jet::Value>& row, std::size_t columns);

std::string move_record_path(const std::string& source_real_path);
// Writes the record and syncs it and its folder; raises jet::Error (Io).
void write_move_record(const std::string& path, const MoveRecord& record);
// The record at path, or nothing; one that cannot be read whole is returned
// as not complete.
std::optional<MoveRecord> read_move_record(const std::string& path);
// Removes the record and syncs its folder; raises jet::Error (Io).
void remove_move_record(const std::string& path);

}  // namespace reg
