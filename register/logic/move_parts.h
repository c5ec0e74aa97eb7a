// What the move of rows between two files shares with a move where one side
// or both are server registers: the checks before anything moves, and how a
// group and a file are named in the move's record.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "errors/move_error.h"
#include "jet/error.h"
#include "jet/table_def.h"
#include "jet/value.h"
#include "logic/move_record.h"

namespace jet {
class Database;
class Table;
}  // namespace jet

namespace reg {

// The columns of the destination whose names stand at another ordinal in the
// source (letter case aside): rows copied by ordinal would put their values
// into the wrong columns. Names found in one table only do not count.
std::vector<errors::MisplacedColumn> misplaced_columns(const std::vector<jet::Column>& src, const std::vector<jet::Column>& dst);

// Whether a value would be lost if its column were left behind: anything
// but Null, empty text and empty bytes.
bool fills_column(const jet::Value& v);

// The columns past the destination's last that hold a value in some row of
// the source: moved by ordinal, those values would be lost.
std::vector<std::string> filled_extra_columns(jet::Table& src, std::size_t columns);

// Raises errors::MoveError (RelatedRows) when a table of the source that the
// register's table is related to, the relationship enforced, names a row.
void refuse_related_rows(jet::Database& from, const std::string& source, const std::string& destination);

// Raises errors::MoveError (RowRefused): the destination refused a row for
// `why`, after `moved` rows went before it.
[[noreturn]] void refuse_row(jet::Error why, const std::string& source, const std::string& destination, std::size_t moved);

// A file as the move's record names it: its real path, device and inode.
RecordedFile recorded(const jet::Database& db);

// A new group's number, drawn at random.
std::uint64_t new_move_id();

}  // namespace reg
