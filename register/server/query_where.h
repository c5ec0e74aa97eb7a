// A WHERE condition of the browser's statements (sql::Condition) as the part
// of it the server can decide. The file's rules (sql::Filter) stay the
// judge: where the server cannot reach the same answer exactly (text put in
// order letter case aside, the text forms of doubles and dates, a text read
// as a number), it only narrows the rows, keeping every row the condition
// might take or might refuse with an error, and sql::Filter finishes on the
// rows it sends. Every value of the statement goes as a parameter.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "connection.h"
#include "jet/table_def.h"
#include "sql/statement.h"

namespace server {

struct ServerCondition {
    // The server's WHERE: true of every row the condition takes or raises
    // an error on; "TRUE" when it narrows nothing.
    std::string sql;
    std::vector<Param> params;
    // The server's WHERE takes exactly the rows the condition takes, and
    // the condition raises on none: no row needs testing again.
    bool exact = false;
};

// `resolve` gives a column reference's ordinal in `columns` (it has raised
// already for any it cannot find, when sql::Filter was made). `unicode`: the
// server's characters are Unicode's (its encoding is UTF8), as the regular
// expressions' escapes name them; without it text is left to sql::Filter.
ServerCondition server_condition(const sql::Condition& c, const std::vector<jet::Column>& columns,
                                 const std::function<std::size_t(const sql::ColumnRef&)>& resolve, std::string_view statement,
                                 bool unicode = true);

}  // namespace server
