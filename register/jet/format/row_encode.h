// Writing rows: values checked against their columns and laid out as Jet 4
// stores them (the inverse of row.h), in two steps: the fields, which need no
// file, then the row, once each long value's bytes have found their place.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "format/bytes.h"
#include "jet/prepared_row.h"
#include "jet/table_def.h"
#include "jet/value.h"

namespace jet {

// The value as column c stores it: numbers converted where no digit is lost,
// text checked against the column's length. Raises Constraint otherwise.
Value coerce(const Column& c, Value v);

// The bytes a fixed column takes in the fixed area of a row.
std::size_t fixed_width(const Column& c);

// The fields of a row for already coerced values, one per column in column
// order; f's buffers are reused.
void encode_fields(const TableDef& def, const std::vector<Value>& values, RowFields& f);

// The row's length when a long value of n stored bytes takes a field of
// long_field_size(n) bytes.
std::size_t row_size(const RowFields& f, const std::function<std::size_t(std::size_t)>& long_field_size);

// Appends the field of a long value of column c, whose stored bytes are given,
// to the row being laid out.
using LongValueField = std::function<void(const Column& c, Bytes stored, std::vector<std::uint8_t>& row)>;

// Lays the row out into `row` (replacing what it held).
void lay_out_row(const TableDef& def, const RowFields& f, const LongValueField& long_field, std::vector<std::uint8_t>& row);

}  // namespace jet
