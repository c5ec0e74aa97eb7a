// The file's values as the server takes and gives them: COPY's text format
// going in, the server's text coming back, and a hash of a row that is the
// same on both sides when the values are.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "jet/table_def.h"
#include "jet/value.h"

namespace server {

// Appends a value in COPY's text format (tabs between values are the
// caller's). False, with nothing appended, for text holding U+0000.
bool append_copy_value(std::string& out, const jet::Value& v);

// A value as a statement's text parameter; nothing for Null. Raises
// server::Error (NulInText, naming `subject`) for text holding U+0000.
std::optional<std::string> parameter_text(const jet::Value& v, const std::string& subject);

// The value of a column the server gave as text. Raises server::Error
// (ValueDoesNotFit) for a text that is not a value of the column's type:
// not of its form, out of its range, longer than a Text column.
jet::Value value_from_text(const jet::Column& c, std::string_view text);

// A whole number the server wrote into its own catalog's answers (a count,
// an attribute's number, an id); 0 for a text that is none.
std::int64_t catalog_number(std::string_view text);

// A hash of the values of a row marked in `taken` (all when empty), equal
// for rows equal as the server keeps them (dates to the millisecond).
std::uint64_t row_hash(const std::vector<jet::Value>& row, const std::vector<bool>& taken = {});

}  // namespace server
