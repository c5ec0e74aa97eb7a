// The data access layer's own failures, as the windows meet them: a recordset
// or connection used out of turn, a value its column does not take. Their
// numbers and Russian sentences are here with the rest of the catalogue.
#pragma once

#include <string>
#include <vector>

#include "errors/catalogue.h"

namespace errors {

// Each with the details its sentence names, in this order.
enum class AccessFault {
    NoProvider,            // the provider Jet needs
    OtherProvider,         // the provider named, the one Jet needs
    NoDataSource,          //
    Open,                  // the object is open already
    Closed,                // the object is closed
    NoCurrentRecord,       //
    NoSuchOrdinal,         // the ordinal asked for, the number of fields
    RowDeletedFromTable,   // the table
    ReadOnlyRecordset,     //
    NotUpdatable,          // the column
    UnsupportedStatement,  // the statement
    DeleteCurrentOnly,     //
    Conversion,            // the column, its type, the value as shown
    OutOfRange,            // the column, its type, the value as shown
    TextTooLong,           // the column, the characters it takes, the characters given
    BytesTooLong,          // the column, the bytes it takes, the bytes given
};

Message describe(AccessFault fault, const std::vector<std::string>& details = {});

}  // namespace errors
