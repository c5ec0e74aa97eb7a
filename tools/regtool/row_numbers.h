// `regtool delete`'s rows by number, on a file and on a server alike: the
// numbers read from the command line, the columns that hold a row's number,
// and what is said of numbers no row holds.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "jet/table_def.h"

namespace regtool {

// The whole numbers of args from `from` on, ascending, each once; the first
// that is none in `bad`.
std::optional<std::vector<std::int64_t>> row_numbers(const std::vector<std::string>& args, std::size_t from, std::string& bad);

// Whether a column of this type holds a row's number (Byte, Integer, Long).
bool whole_number_type(jet::ColumnType type);

// Says which of the wanted numbers (ascending) no row held; found in any
// order, each number any number of times. The exit status (1 when any).
int report_missing(const std::vector<std::int64_t>& wanted, std::vector<std::int64_t> found);

}  // namespace regtool
