// Values between the engine and the windows: what a field's Value gives
// (QVariant) and what a value put into a field becomes in its column.
#pragma once

#include <QVariant>

#include "jet/table_def.h"
#include "jet/value.h"

namespace dataaccess {

QVariant to_variant(const jet::Value& value);
// Bytes the value takes in its column: 0 for Null and the empty string.
long stored_size(const jet::Value& value, jet::ColumnType type);
// The value put into a column, converted as the old provider did; raises
// DataError kConversion or kFieldTooSmall.
jet::Value to_jet(const jet::Column& c, const QVariant& v);
// A new row's value before anything is put into it.
jet::Value empty_value(const jet::Column& c);

}  // namespace dataaccess
