// Failures of a query: a kind (errors::QueryFault) and the place in the
// statement it is about. Their numbers and sentences come from the errors
// catalogue; what() is the Russian sentence. The engine's own failures (a
// damaged file, an unreadable page) are not turned into these: they pass
// through as jet::Error.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

#include "errors/query.h"

namespace sql {

class Error : public std::runtime_error {
public:
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

    // statement is the whole text (for a syntax error), name the table or column not found.
    Error(errors::QueryFault kind, std::string statement, std::string name, std::size_t position = npos);

    errors::QueryFault kind() const noexcept { return kind_; }
    int number() const noexcept { return errors::query_number(kind_); }
    // Byte offset in the statement's text of what the error is about; npos when it is about no place.
    std::size_t position() const noexcept { return position_; }
    std::string text(errors::Language language) const;

private:
    errors::QueryFault kind_;
    std::string statement_;
    std::string name_;
    std::size_t position_;
};

[[noreturn]] void syntax_error(std::string_view statement, std::size_t position);
[[noreturn]] void no_such_table(std::string_view name, std::size_t position);
[[noreturn]] void no_such_column(std::string_view name, std::size_t position);
[[noreturn]] void type_mismatch(std::size_t position);

}  // namespace sql
