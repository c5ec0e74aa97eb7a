// A table: its definition and its rows, read in storage order (the pages of
// the table's usage map in ascending order, the rows of each page in slot
// order) or one at a time by row id.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "row_id.h"
#include "row_test.h"
#include "table_def.h"
#include "value.h"

namespace jet {

class FileLock;
class PageFile;

class Table {
public:
    Table(std::shared_ptr<PageFile> file, std::string name, TableDef def);

    const std::string& name() const { return name_; }
    const TableDef& def() const { return def_; }
    const std::vector<Column>& columns() const { return def_.columns; }

    // The ids of the live rows in storage order. A row moved by an update keeps
    // the id of its original slot, which points on to where the data lies.
    // A large table's pages are shared among up to `threads` threads.
    std::vector<RowId> row_ids(std::size_t threads = 4);

    // The ids of the first `count` live rows in storage order (all of them when
    // there are fewer), reading only the pages they lie on.
    std::vector<RowId> first_row_ids(std::size_t count);
    // The table through a second opening of its file, for a thread of its own;
    // nothing while this opening holds changes not yet committed (the other
    // would not see them), or when the path names another file by now.
    std::optional<Table> reopened() const;

    // Calls f for each live row in storage order; stops early when f returns false.
    void scan(const std::function<bool(RowId, const std::vector<Value>&)>& f);
    // The same, decoding only the columns marked in wanted (by ordinal); the
    // others are passed as Null. Long values of unwanted columns are not read.
    void scan(const std::vector<bool>& wanted, const std::function<bool(RowId, const std::vector<Value>&)>& f);

    // The ids of the live rows a test takes, in storage order; the test sees
    // the columns marked in wanted (as scan does). make_test gives a test for
    // each thread: a large table whose tested columns hold no long values is
    // shared among a few threads.
    std::vector<RowId> select(const std::vector<bool>& wanted, const std::function<RowTest()>& make_test);
    // The same, keeping of the rows taken the values `keep` names (which
    // `wanted` must mark): values[i] holds those of ids[i], for the first
    // keep.rows ids or a few fewer.
    struct Selection {
        std::vector<RowId> ids;
        std::vector<std::vector<Value>> values;
    };
    Selection select(const std::vector<bool>& wanted, const std::function<RowTest()>& make_test, const KeptValues& keep);

    // Holds the table's file locked for reading while it lives: the reads
    // made under it share one look at the file.
    class ReadHold {
    public:
        explicit ReadHold(Table& t);
        ~ReadHold();
        ReadHold(const ReadHold&) = delete;
        ReadHold& operator=(const ReadHold&) = delete;

    private:
        std::unique_ptr<FileLock> lock_;
    };

    // The row with this id, or nothing if it was deleted; raises Damaged for an id
    // that names no row of this table.
    std::optional<std::vector<Value>> read(RowId id);
    std::optional<std::vector<Value>> read(RowId id, const std::vector<bool>& wanted);

private:
    // The public calls' work; those name this file in what they raise.
    std::vector<RowId> listed_row_ids(std::size_t threads);
    void scan_rows(const std::vector<bool>& wanted, const std::function<bool(RowId, const std::vector<Value>&)>& f);
    Selection selected_rows(const std::vector<bool>& wanted, const std::function<RowTest()>& make_test, const KeptValues* keep);
    std::optional<std::vector<Value>> read_row(RowId id, const std::vector<bool>& wanted);
    // row_ids() from the slot tables alone; false when that cannot be done.
    bool row_ids_from_slot_tables(std::vector<RowId>& ids, std::size_t threads);
    // Calls f with each data page of this table, in the usage map's order, while f returns true.
    void for_each_data_page(const std::function<bool(std::uint32_t, std::span<const std::uint8_t>)>& f);

    std::shared_ptr<PageFile> file_;
    std::string name_;
    TableDef def_;
};

}  // namespace jet
