// Relationships between tables (MSysRelationships), kept as Jet keeps them
// when they are enforced: a row may name (in its foreign-key columns) only a
// row its parent table has; a parent row with related rows is deleted only
// when the relationship cascades deletes (its related rows go in the same
// group) and its key changes only when it cascades updates (they follow).
// A row whose foreign-key columns are all Null is related to nothing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "format/bytes.h"
#include "jet/relationships.h"
#include "jet/value.h"

namespace jet {

class Database;
class TableWriter;
class WriteGroup;

// The enforced relationships at work in one write group; the group's table
// writers consult it before and after each change (TableWriter::set_guard).
class RelationGuard {
public:
    RelationGuard(WriteGroup& group, std::vector<Relationship> relationships);

    // Before a row is added: each parent it names must be there (else
    // Constraint, Reason::RelatedRowRequired).
    void inserting(TableWriter& t, const std::vector<Value>& row);
    // Before a row changes: the parents it names must be there, and a key
    // other rows name may change only where the change cascades (else
    // Constraint, Reason::RelatedRowsExist).
    void updating(TableWriter& t, const std::vector<Value>& old_row, const std::vector<Value>& new_row);
    // After it changed: the rows naming its old key now name the new one.
    void updated(TableWriter& t, const std::vector<Value>& old_row, const std::vector<Value>& new_row);
    // Before row id is deleted: the rows naming it, at every depth, are
    // gathered, each once however many ways it is reached (each relationship
    // must cascade deletes, else nothing is changed and Constraint is raised);
    // after the row is gone, delete_gathered() removes them.
    void removing(TableWriter& t, RowId id, const std::vector<Value>& row);
    void delete_gathered();

private:
    struct Enforced {
        Relationship r;
        std::uint32_t child_page;   // the tables' definition pages
        std::uint32_t parent_page;
    };
    std::vector<RowId> related(const Enforced& e, TableWriter& parent, const std::vector<Value>& parent_row);

    WriteGroup& group_;
    std::vector<Enforced> relationships_;
    std::vector<std::pair<TableWriter*, RowId>> gathered_;
};

// Rows that break an enforced relationship, one sentence each (for the integrity check).
std::vector<std::string> check_relationships(Database& db);

}  // namespace jet
