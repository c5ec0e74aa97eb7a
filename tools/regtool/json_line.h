// The pieces of one line of JSON input, and the quick reading of the lines an
// export writes.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace regtool::json_line {

// A value of a flat object. Numbers stay as written so that no digit is lost
// before the column's type decides what they become.
enum class Kind { Null, True, False, Number, String };

struct Token {
    Kind kind = Kind::Null;
    std::string text;  // a number as written, or a string decoded to UTF-8
};

struct PlainMember {
    std::string_view key;  // into the line
    Token value;
};

// Reads a line that is one flat object of keys without escapes and of plain
// values (strings with the short escapes, whole numbers of up to 18 digits,
// numbers with a fraction and no exponent, true, false, null), in whole runs
// of bytes. Returns false, with the members left unspecified, at anything
// else, well-formed or not: the full parser reads such a line and says what
// is wrong with it. What it gives is what the full parser would.
bool read_plain_line(std::string_view line, std::vector<PlainMember>& members);

}  // namespace regtool::json_line
