// Failures of a query: a Jet error number and the Russian text Access shows
// for it. The engine's own failures (a damaged file, an unreadable page) are
// not translated here: they pass through as jet::Error, which the callers
// already map to their numbers.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

namespace sql {

namespace errc {
// Anything the grammar does not accept: a wrong or missing word, an unclosed
// string literal or bracketed name, a LIKE pattern with an unclosed class or
// a descending range, nesting too deep.
constexpr int kSyntax = 3075;
// The FROM table is not in the database.
constexpr int kNoSuchTable = 3078;
// A column the table does not have, or one qualified with another table's name.
// Jet itself takes an unknown name for a parameter and asks for its value
// (3061); a browser has no parameters to give, so the name is reported as an
// item not found in the table's fields, as the data access layer reports it.
constexpr int kNoSuchColumn = 3265;
// A comparison between values that have no common type: text that does not
// read as a number compared with a number, a date with text that is no date,
// a binary value with anything. Raised while the rows are filtered, by the
// first row that has such a value.
constexpr int kTypeMismatch = 3464;
}  // namespace errc

class Error : public std::runtime_error {
public:
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

    Error(int number, const std::string& message, std::size_t position = npos)
        : std::runtime_error(message), number_(number), position_(position) {}

    int number() const noexcept { return number_; }
    // Byte offset in the statement's text of what the error is about; npos when it is about no place.
    std::size_t position() const noexcept { return position_; }

private:
    int number_;
    std::size_t position_;
};

// The errors with their texts. statement is the whole text of the query; the
// messages quote it (shortened when long) with control characters as spaces
// and invalid UTF-8 replaced, so that they can be shown as they are.
[[noreturn]] void syntax_error(std::string_view statement, std::size_t position);
[[noreturn]] void no_such_table(std::string_view name, std::size_t position);
[[noreturn]] void no_such_column(std::string_view name, std::size_t position);
[[noreturn]] void type_mismatch(std::size_t position);

}  // namespace sql
