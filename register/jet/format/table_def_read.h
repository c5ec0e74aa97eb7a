// Reading a table's definition from its pages, and the check that its usage
// maps are rows of their own.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "storage/page_file.h"
#include "jet/table_def.h"

namespace jet {

TableDef read_table_def(PageFile& file, std::uint32_t page);

// Every usage map is a row of its own. When two of the table's maps (owned and
// free pages, each index's, each long-value column's pair) or one of them and
// the file's free-page map at `file_map` are the same row, the definition is
// damaged: a change to one map would rewrite the other. Names the two, or
// nothing. A zero pointer (no map) is passed over.
std::optional<std::string> shared_usage_map(const TableDef& def, std::uint32_t file_map);

}  // namespace jet
