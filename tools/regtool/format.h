// Text forms of values for regtool's exports: JSON lines and CSV.
#pragma once

#include <string>
#include <vector>

#include "jet/table_def.h"
#include "jet/value.h"

namespace regtool {

void append_json_string(std::string& out, std::string_view s);
// A value as a JSON token: null, true/false, a number or a string.
void append_json_value(std::string& out, const jet::Value& v);
// One JSON object: keys are the column names in table order.
void append_json_row(std::string& out, const std::vector<jet::Column>& cols, const std::vector<jet::Value>& row);

// CSV after RFC 4180: a header line of column names, then one line a row.
// Null is an empty field, the empty string a quoted empty field.
void append_csv_header(std::string& out, const std::vector<jet::Column>& cols);
void append_csv_row(std::string& out, const std::vector<jet::Value>& row);

std::string to_hex(const std::vector<std::uint8_t>& b);

}  // namespace regtool
