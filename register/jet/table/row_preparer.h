// Making a row ready for a table (jet/prepared_row.h): the part of an insert
// that needs no file, shared by TableWriter::insert and RowPreparer.
#pragma once

#include <cstdint>
#include <vector>

#include "jet/prepared_row.h"

namespace jet {

// Coerces the values for def's columns (raising Constraint as an insert
// does), draws a GUID for an AutoNumber GUID column left Null, and encodes
// the fields and (with index_keys) the index keys, leaving the one
// AutoNumber column insert fills (its bytes zero, its keys to come). A row
// with several such columns is left unencoded, for insert to make whole.
// out.layout is left as it was.
void prepare_row(const TableDef& def, std::uint16_t sort_order, std::vector<Value> values, PreparedRow& out, bool index_keys = true);

// Whether the index takes its key from the column.
bool index_uses(const TableDef& def, const PhysicalIndex& index, std::size_t column);

// Whether rows prepared for one definition are laid out as for the other.
bool same_layout(const TableDef& a, const TableDef& b);

}  // namespace jet
