// Changing a table's rows inside a write group: rows placed on the table's
// data pages (new pages taken from the file as needed), long values on
// long-value pages, every index kept in step, the usage maps, row count and
// last autonumber value kept in the definition.
//
// A value the table refuses (wrong type, too long, a duplicate key, a row too
// large) raises Constraint before anything changes, so the group stays usable.
// A writer is had only from its write group (WriteGroup::table).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "prepared_row.h"
#include "row_id.h"
#include "table_def.h"
#include "value.h"

namespace jet {

class DatabaseInsides;
class PageAllocator;
class PageFile;
class RelationGuard;
class WriteGroup;

class TableWriter {
public:
    TableWriter(const TableWriter&) = delete;
    TableWriter& operator=(const TableWriter&) = delete;
    ~TableWriter();

    const TableDef& def() const;

    // Adds a row (values in column order; missing ones are Null). An autonumber
    // column left Null gets the table's next number, written back into values.
    RowId insert(std::vector<Value>& values);
    // The same for a row a RowPreparer made ready (row.values hold the values
    // as stored afterwards). A row prepared for the table as it was defined
    // before is made again from its values.
    RowId insert(PreparedRow& row);
    // Replaces every column of the row; autonumber columns keep their value.
    void update(RowId id, std::vector<Value> values);
    void remove(RowId id);
    // The rows whose named columns hold these values, found through the index
    // on exactly those columns; raises Unsupported when there is none.
    std::vector<RowId> rows_with(const std::vector<std::string>& columns, const std::vector<Value>& values);
    // New rows will be numbered after `last` at the least (a copy keeps the
    // numbers its original would have given).
    void continue_numbering_from(std::uint32_t last);
    // The row's values, or nothing when it was deleted.
    std::optional<std::vector<Value>> read(RowId id);

private:
    // Made by its write group, or by the engine for a database it creates.
    friend class DatabaseInsides;
    friend class RelationGuard;
    friend class RowPreparer;
    friend class WriteGroup;
    TableWriter(PageFile& file, PageAllocator& pages, std::uint32_t definition_page, std::uint16_t default_sort_order);
    // The relationships the table's changes must keep (none when null).
    void set_guard(RelationGuard* guard);
    // A row deleted because a relationship cascades its parent's deletion.
    void remove_related(RowId id);
    // Writes the indexes, maps and definition into the write group.
    void finish();
    // The definition rows are prepared for.
    std::shared_ptr<const PreparedLayout> layout() const;

    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace jet
