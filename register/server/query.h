// The browser's statements (sql::Statement) run on a server register, with
// the results and failures sql::Result gives on a file: the same columns,
// the same rows, the same sql::Error at the same place. The server narrows
// the rows with what it can decide exactly (server_condition), sql::Filter
// judges the rest as the rows stream by, and only the keys of the rows
// taken are kept: their values are read a page at a time when asked for.
// A result may also be started with its first keys alone and read on a
// page at a time, for a grid's first screen of a large table.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "connection.h"
#include "jet/table_def.h"
#include "jet/value.h"
#include "sql/eval.h"
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
    // As run, but only the first `first` keys are read now where the server
    // decides the condition alone (no WHERE, or one it takes exactly, so
    // that no row can raise later); more() reads on. Any other condition is
    // read whole at once.
    static QueryResult start(Connection& c, const sql::Statement& s, std::size_t first);

    // Whether every key is read.
    bool complete() const { return complete_; }
    // The rows the result should come to: exact once complete; before, the
    // server's own count of the table's rows without a WHERE, or the rows
    // read so far.
    std::size_t expected() const { return complete_ ? row_count() : expected_; }
    // Reads up to `count` more keys (all that are left for SIZE_MAX), each
    // read in a statement of its own after the last key read, so that no
    // transaction is held between them. Raises server::Error.
    void more(std::size_t count);

    // As the table spells them, in the statement's order (for * the table's).
    const std::vector<std::string>& column_names() const { return names_; }
    const std::vector<jet::ColumnType>& column_types() const { return types_; }
    // The rows taken so far (all of them once complete).
    std::size_t row_count() const { return keys_.size() / width_; }

    // Rows first .. first+count-1 (fewer at the end), read from the server
    // now; a row gone from the server since run() reads as all Null, so that
    // the rows after it keep their places. Raises std::out_of_range when
    // first > row_count(), server::Error when the server fails.
    std::vector<std::vector<jet::Value>> rows(std::size_t first, std::size_t count) const;

private:
    explicit QueryResult(Connection& c) : c_(&c) {}
    static QueryResult prepare(Connection& c, const sql::Statement& s);
    void read_keys(std::size_t limit);
    using Found = std::vector<std::pair<const Result*, int>>;
    std::string select_sql() const;
    void find_by_key(std::size_t first, const std::vector<std::size_t>& missing, Found& found, std::vector<Result>& held) const;

    Connection* c_;
    std::string table_;                  // quoted
    std::string subject_;                // as the table spells it, for failures
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

    // The reading of the keys: the statement's parts, the filter rows are
    // judged by where the server does not decide alone, and where the last
    // read stopped.
    std::string key_select_;             // SELECT keys, ctid and the filter's columns FROM table
    std::string where_sql_ = "TRUE";
    std::vector<Param> where_params_;
    std::optional<sql::Filter> filter_;
    std::vector<std::size_t> read_;      // the columns the filter reads, after the keys
    std::vector<std::string> last_;      // the last row read: its keys' (or ctid's) text
    bool complete_ = false;
    std::size_t expected_ = 0;
};

}  // namespace server
