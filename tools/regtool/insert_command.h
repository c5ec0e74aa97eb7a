// regtool insert: rows from standard input (JSON lines) into a table.
#pragma once

#include <string>

namespace regtool {

// Rows are stored in groups, each put on disk before the next begins. A line
// that cannot be read, or a row the table refuses, stops the run with the
// line's number; the rows before it are kept. Returns the exit status.
int insert_rows(const std::string& path, const std::string& table);

}  // namespace regtool
