// The record of a group of rows on its way from one register to another. A
// copy lies beside each of the two files ("<real path>-move",
// jet/pending_move.h) from before the destination takes the group until the
// source has let it go, both files locked all the while. A program that finds
// one settles the group first (move_settle.h).
//
// The record names both files as the journal does (real path, device and
// inode), the destination's table and its column count, and each row by what
// it holds: the whole row as the source held it, and the number and values
// the destination stored. Where a row lay does not count, so compacting
// either file, or a row moved on its page, cannot fool it.
//
// On disk: "ZRMOVE02", a state byte ('W' until the whole record is synced,
// then 'C', written on its own) and 7 zero bytes, the length of the body, a
// checksum over the length and the body, then the body. Only a record still
// marked 'W' (or never written at all: empty, or its head all zeros as a
// disk leaves blocks it had no time to fill) was cut before it was complete;
// anything else that does not read whole is damage, never taken as cut.
//
// A move writes the source's copy, then the destination's, marks the
// destination's complete and only then the source's, before the destination
// commits: a complete source's copy means a complete destination's copy lay
// beside the destination. Copies go the source's first.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jet/durable_file.h"
#include "jet/value.h"

namespace reg {

struct RecordedFile {
    std::string path;  // its real path when the group moved
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
};

struct MovedRow {
    std::uint64_t source_hash = 0;  // the row as the source held it
    std::int64_t number = 0;        // the number the destination gave it
    std::uint64_t stored_hash = 0;  // columns 1 up to `columns` as the destination stored them
};

struct MoveRecord {
    std::uint64_t id = 0;  // the same in both copies
    RecordedFile source;
    RecordedFile destination;
    std::string table;
    std::uint32_t columns = 0;  // the destination table's column count
    std::vector<MovedRow> rows;
    // An earlier version's record lay beside the source only, and hashed the
    // source's row over columns 1 up to the destination's count, which it did
    // not keep (0 here: the destination's count as it is now).
    bool earlier_version = false;
};

// A hash of a row's values from column `from` up to (not including) `to`:
// enough to tell one person from another.
std::uint64_t row_hash(const std::vector<jet::Value>& row, std::size_t from, std::size_t to);
// The hash a record keeps of a source row.
std::uint64_t source_row_hash(const MoveRecord& record, const std::vector<jet::Value>& row);

// Writes a copy of the record at path, beside the database file `beside`
// (made with that file's mode and owner), whole and marked 'W', and syncs it
// and its folder: the copy, still open for its mark. Raises jet::Error (Io,
// or PendingMove when something already lies at path).
jet::DurableFile write_move_record(const std::string& path, const std::string& beside, const MoveRecord& record);
// Marks a copy written so complete ('C') and syncs it.
void mark_move_record_complete(jet::DurableFile& copy);

enum class RecordFound {
    None,        // nothing at the path
    Cut,         // cut while it was written: its group never reached the destination
    Complete,    // read whole, checksum sound
    Unreadable,  // the system refuses to read it (os_error)
    Damaged,     // marked complete, but not whole or not sound
    NotAFile,    // a folder, a link, a device
};

struct ReadRecord {
    RecordFound found = RecordFound::None;
    MoveRecord record;  // when Complete
    int os_error = 0;   // when Unreadable
};

ReadRecord read_move_record(const std::string& path);

// Removes a copy of the record and syncs its folder; raises jet::Error (Io).
void remove_move_record(const std::string& path);

}  // namespace reg
