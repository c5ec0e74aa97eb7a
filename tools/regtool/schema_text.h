// The lines `regtool schema` prints for a table, the same for a file's
// catalog and a server's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "jet/table_def.h"

namespace regtool {

// "table NAME rows N".
void append_schema_table(std::string& out, const std::string& name, std::uint64_t rows);
// "column ORDINAL NAME TYPE SIZE autonumber|-": SIZE in characters for Text.
void append_schema_column(std::string& out, std::size_t ordinal, const jet::Column& c);

struct SchemaIndex {
    std::string name;
    std::string kind;  // primary, foreign or index
    bool unique = false;
    bool ignore_nulls = false;
    bool required = false;
    std::vector<std::pair<std::string, bool>> columns;  // name, ascending
};
void append_schema_index(std::string& out, const SchemaIndex& x);

}  // namespace regtool
