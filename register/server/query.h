// A SELECT of the browser run on a server register with the file's
// semantics. (The store codes against this face; the statement's
// translation is built beside it.)
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "jet/table_def.h"
#include "jet/value.h"
#include "sql/statement.h"

namespace server {

class Connection;

class QueryResult {
public:
    // Parses nothing: takes the parsed statement. Raises sql::Error (no such
    // table or column, type mismatch) or server::Error.
    static QueryResult run(Connection& c, const sql::Statement& s);
    const std::vector<std::string>& column_names() const { return names_; }
    const std::vector<jet::ColumnType>& column_types() const { return types_; }
    std::size_t row_count() const { return rows_.size(); }
    std::vector<std::vector<jet::Value>> rows(std::size_t first, std::size_t count) const;

private:
    std::vector<std::string> names_;
    std::vector<jet::ColumnType> types_;
    std::vector<std::vector<jet::Value>> rows_;
};

}  // namespace server
