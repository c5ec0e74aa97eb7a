// The browser's statements (sql::Statement) run on a server register, with
// the results and failures sql::Result gives on a file: the same columns,
// the same rows, the same sql::Error at the same place. The server narrows
// the rows with what it can decide exactly (server_condition), sql::Filter
// judges the rest as the rows stream by, and only the keys of the rows
// taken are kept: their values are read a page at a time when asked for.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "connection.h"
#include "jet/table_def.h"
#include "jet/value.h"
#include "sql/statement.h"

namespace server {

class QueryResult {
public:
    // Finds the table and its columns as the file finds them (letter case
    // aside) and the rows the condition takes, in the primary key's order
    // (in the order the server keeps them for a table without one). Raises
    // sql::Error as sql::Result::run does, server::Error when the server
    // fails. The connection must outlive the result.
    static QueryResult run(Connection& c, const sql::Statement& s);

    // As the table spells them, in the statement's order (for * the table's).
    const std::vector<std::string>& column_names() const { return names_; }
    const std::vector<jet::ColumnType>& column_types() const { return types_; }
    std::size_t row_count() const { return width_ == 0 ? 0 : keys_.size() / width_; }

    // Rows first .. first+count-1 (fewer at the end), read from the server
    // now; a row gone from the server since run() reads as all Null, so that
    // the rows after it keep their places. Raises std::out_of_range when
    // first > row_count(), server::Error when the server fails.
    std::vector<std::vector<jet::Value>> rows(std::size_t first, std::size_t count) const;

private:
    explicit QueryResult(Connection& c) : c_(&c) {}

    Connection* c_;
    std::string table_;                  // quoted
    std::vector<jet::Column> columns_;   // the table's
    std::vector<std::size_t> ordinals_;  // the table ordinal of each result column
    std::vector<std::string> key_sql_;   // the columns a row is found by (ctid without a primary key)
    std::vector<std::string> key_types_;
    std::string order_by_;
    std::vector<std::string> names_;
    std::vector<jet::ColumnType> types_;
    std::size_t width_ = 0;              // key_sql_.size()
    std::vector<std::string> keys_;      // the rows taken: their keys' text, width_ to a row
};

}  // namespace server
