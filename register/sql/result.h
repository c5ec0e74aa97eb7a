// Running a parsed statement over a table: the matching rows are found once,
// by their ids, and their values read from the file when they are asked for,
// so that a grid can show a million rows without holding them.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "jet/database.h"
#include "jet/row_listing.h"
#include "jet/table.h"
#include "jet/value.h"
#include "sql/statement.h"

namespace sql {

class Result {
public:
    // Opens the table (errors::QueryFault::NoSuchTable), resolves the columns of the
    // statement against it (errors::QueryFault::NoSuchColumn; names and a qualifier compare
    // as Jet compares names), then scans the table once, decoding only the
    // columns the WHERE clause reads, and keeps the ids of the rows for which
    // the condition is true, in storage order. Without a WHERE clause the ids
    // of all live rows are taken without decoding any row. A comparison of
    // values with no common type raises errors::QueryFault::TypeMismatch. Failures of the
    // file itself pass through as jet::Error.
    //
    // All rows of a large table (no WHERE clause, or one true of every row)
    // are listed on a thread of their own: the first ones are at hand at once
    // and the count is the one the table's definition keeps, until the list
    // is whole (settle()).
    //
    // With keep_values, a caller that reads each row once (a listing of them
    // all) has the values of the first keep_values rows found as the scan
    // decoded them: row() and rows() hand each of those out once, as they
    // were when the rows were found, and read the file for the rest.
    static Result run(jet::Database& db, const Statement& s, std::size_t keep_values = 0);

    // Whether a listing is still on its way, and how many rows are listed so far.
    bool listing() const { return listing_ != nullptr; }
    std::size_t listed() const { return ids_.size(); }
    // Takes the whole list once it is at hand (waiting for it when wait is
    // true). True when it differs from what was shown before it: another
    // count, or other first rows (the file changed in between), so that
    // whatever showed the rows shows them again.
    bool settle(bool wait) const;

    // The names of the result's columns in the statement's order, as the table
    // spells them (a column named twice appears twice); for * the table's
    // columns in their order.
    const std::vector<std::string>& column_names() const { return names_; }
    const std::vector<jet::ColumnType>& column_types() const { return types_; }
    // The number of matching rows found by run(); it changes only when a
    // listing settles to another count than the table's definition gave.
    std::size_t row_count() const { return listing_ ? listing_->expected() : ids_.size(); }

    // The values of result row i, read from the file now (only the selected
    // columns are decoded). A row deleted since run() reads as all Null, so
    // that the positions of the rows after it stay as they were. Raises
    // std::out_of_range for i >= row_count(), jet::Error when the file fails.
    std::vector<jet::Value> row(std::size_t i) const;
    // Rows first .. first+count-1 (fewer at the end), read under one lock of
    // the file so that the pages they share are read once. Raises
    // std::out_of_range when first > row_count().
    std::vector<std::vector<jet::Value>> rows(std::size_t first, std::size_t count) const;

    // A Result shares the database's open file (through its jet::Table, which
    // keeps the file open), so it stays usable even after the jet::Database is
    // gone. Like the database, it is used by one thread at a time.

private:
    explicit Result(jet::Table table) : table_(std::move(table)) {}
    std::vector<jet::Value> project(std::optional<std::vector<jet::Value>> values) const;
    void list_all();

    mutable jet::Table table_;             // its reads are not const: they go through the page cache
    std::vector<std::size_t> ordinals_;    // the table ordinal of each result column
    std::vector<bool> decode_;             // the columns row() decodes; empty for all
    bool whole_row_ = false;               // the result's columns are the table's, in order
    bool repeated_ = false;                // a column is named more than once
    std::vector<std::string> names_;
    std::vector<jet::ColumnType> types_;
    mutable std::vector<jet::RowId> ids_;
    mutable std::unique_ptr<jet::RowListing> listing_;  // the rest of ids_ on its way
    // The result's values of the first rows, as the scan found them; each
    // emptied when handed out.
    mutable std::vector<std::vector<jet::Value>> kept_;
};

}  // namespace sql
