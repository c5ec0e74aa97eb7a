// The failures of a query statement, with their numbers and sentences.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "errors/catalogue.h"

namespace errors {

enum class QueryFault {
    // Anything the grammar does not accept: a wrong or missing word, an
    // unclosed string literal or bracketed name, a LIKE pattern with an
    // unclosed class or a descending range, nesting too deep.
    Syntax,
    // The FROM table is not in the database.
    NoSuchTable,
    // A column the table does not have, or one qualified with another table's
    // name. Jet itself takes an unknown name for a parameter and asks for its
    // value; a browser has no parameters to give, so the name is reported as
    // an item not found in the table's fields, as the data access layer does.
    NoSuchColumn,
    // A comparison between values that have no common type: text that does
    // not read as a number compared with a number, a date with text that is
    // no date, a binary value with anything.
    TypeMismatch,
};

int query_number(QueryFault fault);

// The sentence for a fault at byte `position` of `statement`; `name` is the
// table or column not found. The statement and the name are quoted
// (shortened when long) with control characters as spaces and invalid UTF-8
// replaced, so that the text can be shown as it is.
std::string query_text(QueryFault fault, std::string_view statement, std::size_t position, std::string_view name,
                       Language language);

}  // namespace errors
