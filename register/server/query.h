// The browser's statements (sql::Statement) run on a server register, with
// the results and failures sql::Result gives on a file: the same columns,
// the same rows, the same sql::Error at the same place. The server narrows
// the rows with what it can decide exactly (server_condition), sql::Filter
// judges the rest as the rows stream by, and only the keys of the rows
// taken are kept: their values are read a page at a time when asked for.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
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
    std::size_t row_count() const { return keys_.size() / width_; }

    // Rows first .. first+count-1 (fewer at the end), read from the server
    // now; a row gone from the server since run() reads as all Null, so that
    // the rows after it keep their places. Raises std::out_of_range when
    // first > row_count(), server::Error when the server fails.
    std::vector<std::vector<jet::Value>> rows(std::size_t first, std::size_t count) const;

private:
    explicit QueryResult(Connection& c) : c_(&c) {}
    using Found = std::vector<std::pair<const Result*, int>>;
    std::string select_sql() const;
    void find_by_key(std::size_t first, const std::vector<std::size_t>& missing, Found& found, std::vector<Result>& held) const;

    Connection* c_;
    std::string table_;                  // quoted
    std::vector<jet::Column> columns_;   // the table's
    std::vector<std::size_t> ordinals_;  // the table ordinal of each result column
    // A row is found where the server kept it (its ctid), or by its primary
    // key when it has moved since (an update writes a row anew).
    std::vector<std::string> key_sql_;   // the primary key's columns; none without one
    std::vector<std::string> key_types_;
    std::string order_by_;
    std::vector<std::string> names_;
    std::vector<jet::ColumnType> types_;
    std::size_t width_ = 1;              // key_sql_.size() + 1
    std::vector<std::string> keys_;      // the rows taken: their keys' and ctid's text, width_ to a row
};

}  // namespace server
