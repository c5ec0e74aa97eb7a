// Reading rows back from the JSON lines that `regtool export --jsonl` writes.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "jet/table_def.h"
#include "jet/value.h"
#include "json_line.h"

namespace regtool {

// One JSON object (one line of an export) as values in column order. Keys are
// column names: an exact match first, else compared without regard to letter
// case as Jet compares names. A column left out is Null. A line that is no
// such object, an unknown key, a key that names a column twice, or a value
// that does not suit its column's type raises errors::InputError, which names
// the place, the key or the column.
//
// Each type takes the form the export writes, plus a few forms people write by
// hand: numbers in strings for Currency and Decimal, 0 / non-zero for Boolean,
// a date without a time, GUIDs without braces, "base64:..." for binary.
std::vector<jet::Value> parse_json_row(std::string_view line, const std::vector<jet::Column>& cols);

// The same for the many lines of one table: the column a key names is
// remembered between lines (the rows of an export name the same columns).
class RowReader {
public:
    explicit RowReader(std::vector<jet::Column> cols) : cols_(std::move(cols)) {}
    std::vector<jet::Value> read(std::string_view line);

private:
    std::size_t column_named(const std::string& key);
    std::size_t column_of(std::size_t place, std::string_view key);

    std::vector<jet::Column> cols_;
    std::unordered_map<std::string, std::size_t> known_;              // a key and its column's ordinal
    std::vector<std::pair<std::string, std::size_t>> by_place_;       // the same for the keys of the last line, in order
    std::vector<json_line::PlainMember> plain_;                       // the members of the line being read
    std::vector<std::optional<std::string_view>> given_as_;           // the key that gave each column a value
};

}  // namespace regtool
