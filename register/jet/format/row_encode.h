// Writing rows: values checked against their columns and laid out as Jet 4
// stores them (the inverse of row.h).
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "jet/table_def.h"
#include "jet/value.h"

namespace jet {

// The value as column c stores it: numbers converted where no digit is lost,
// text checked against the column's length. Raises Constraint otherwise.
Value coerce(const Column& c, const Value& v);

// Stores the bytes of a long value and returns its field for the row: the
// 12-byte header, followed by the bytes themselves when kept inline.
using LongValueStore = std::function<std::vector<std::uint8_t>(const Column&, std::vector<std::uint8_t>)>;

// The stored bytes of a Memo or OLE value (before it goes to the store).
std::vector<std::uint8_t> long_value_bytes(const Column& c, const Value& v);

// The row's bytes for already coerced values, one per column in column order.
std::vector<std::uint8_t> encode_row(const TableDef& def, const std::vector<Value>& values, const LongValueStore& store);

}  // namespace jet
