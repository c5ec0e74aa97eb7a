// Reading rows back from the JSON lines that `regtool export --jsonl` writes.
#pragma once

#include <string_view>
#include <vector>

#include "jet/table_def.h"
#include "jet/value.h"

namespace regtool {

// One JSON object (one line of an export) as values in column order. Keys are
// column names: an exact match first, else compared without regard to letter
// case as Jet compares names. A column left out is Null. An unknown key, a key
// that names a column twice, or a value that does not suit its column's type
// raises std::runtime_error with a message naming the column.
//
// Each type takes the form the export writes, plus a few forms people write by
// hand: numbers in strings for Currency and Decimal, 0 / non-zero for Boolean,
// a date without a time, GUIDs without braces, "base64:..." for binary.
std::vector<jet::Value> parse_json_row(std::string_view line, const std::vector<jet::Column>& cols);

}  // namespace regtool
