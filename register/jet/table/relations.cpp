#include "table/relations.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <utility>

#include "table/file_named.h"
#include "jet/database.h"
#include "format/header.h"
#include "btree/index.h"
#include "format/row_encode.h"
#include "jet/text.h"
#include "table/database_insides.h"

namespace jet {

namespace {

const std::string* text_of(const std::vector<Value>& row, std::size_t i) {
    return i < row.size() ? std::get_if<std::string>(&row[i]) : nullptr;
}

std::int64_t number_of(const std::vector<Value>& row, std::size_t i) {
    const auto* n = i < row.size() ? std::get_if<std::int64_t>(&row[i]) : nullptr;
    return n ? *n : 0;
}

// The values of the named columns of a row, in the order named; nothing when
// a column is missing from the table.
std::optional<std::vector<Value>> values_of(const TableDef& def, const std::vector<std::string>& columns, const std::vector<Value>& row) {
    std::vector<Value> out;
    for (const std::string& name : columns) {
        const Column* c = def.find_column(name);
        if (!c) return std::nullopt;
        const auto at = static_cast<std::size_t>(c - def.columns.data());
        out.push_back(at < row.size() ? row[at] : Value{Null{}});
    }
    return out;
}

bool any_null(const std::vector<Value>& values) {
    return std::any_of(values.begin(), values.end(), [](const Value& v) { return is_null(v); });
}

}  // namespace

namespace {

std::vector<Relationship> relationships_of(Database& db) {
    std::vector<Relationship> out;
    if (!db.has_table("MSysRelationships")) return out;
    Table t = db.table("MSysRelationships");
    const TableDef& def = t.def();
    auto column = [&](const char* name) -> std::size_t {
        const Column* c = def.find_column(name);
        if (!c) damaged(std::string("MSysRelationships has no column ") + name);
        return static_cast<std::size_t>(c - def.columns.data());
    };
    const std::size_t name = column("szRelationship"), flags = column("grbit"), index = column("icolumn");
    const std::size_t child = column("szObject"), child_column = column("szColumn");
    const std::size_t parent = column("szReferencedObject"), parent_column = column("szReferencedColumn");
    // One row for each column of a relationship, numbered by icolumn.
    std::map<std::string, std::map<std::int64_t, std::vector<Value>>> rows;
    t.scan([&](RowId, const std::vector<Value>& row) {
        if (const std::string* n = text_of(row, name)) rows[*n][number_of(row, index)] = row;
        return true;
    });
    for (const auto& [relationship, columns] : rows) {
        Relationship r;
        r.name = relationship;
        for (const auto& [i, row] : columns) {
            const std::string* c = text_of(row, child);
            const std::string* cc = text_of(row, child_column);
            const std::string* p = text_of(row, parent);
            const std::string* pc = text_of(row, parent_column);
            if (!c || !cc || !p || !pc) damaged("relationship " + relationship + " lacks a table or column name");
            r.flags = static_cast<std::uint32_t>(number_of(row, flags));
            r.child = *c;
            r.parent = *p;
            r.child_columns.push_back(*cc);
            r.parent_columns.push_back(*pc);
        }
        out.push_back(std::move(r));
    }
    return out;
}

}  // namespace

std::vector<Relationship> read_relationships(Database& db) {
    return on_file(db.path(), [&] { return relationships_of(db); });
}


RelationGuard::RelationGuard(WriteGroup& group, std::vector<Relationship> relationships) : group_(group) {
    // Only the enforced ones between tables of this file count; Jet checks no other.
    for (Relationship& r : relationships) {
        const std::uint32_t child = group_.definition_page_of(r.child), parent = group_.definition_page_of(r.parent);
        if (r.enforced() && child != 0 && parent != 0) relationships_.push_back({std::move(r), child, parent});
    }
}

std::vector<RowId> RelationGuard::related(const Enforced& e, TableWriter& parent, const std::vector<Value>& parent_row) {
    std::optional<std::vector<Value>> key = values_of(parent.def(), e.r.parent_columns, parent_row);
    if (!key || any_null(*key)) return {};
    return group_.table_at(e.child_page).rows_with(e.r.child_columns, *key);
}

void RelationGuard::inserting(TableWriter& t, const std::vector<Value>& row) {
    for (const Enforced& e : relationships_) {
        const Relationship& r = e.r;
        if (e.child_page != t.def().page) continue;
        std::optional<std::vector<Value>> names = values_of(t.def(), r.child_columns, row);
        if (!names || any_null(*names)) continue;
        if (group_.table_at(e.parent_page).rows_with(r.parent_columns, *names).empty()) {
            throw Error(ErrorKind::Constraint, "a related row is required in table " + r.parent + " (relationship " + r.name + ")",
                        Reason::RelatedRowRequired, r.parent);
        }
    }
}

void RelationGuard::updating(TableWriter& t, const std::vector<Value>& old_row, const std::vector<Value>& new_row) {
    for (const Enforced& e : relationships_) {
        const Relationship& r = e.r;
        if (e.child_page == t.def().page) {
            std::optional<std::vector<Value>> names = values_of(t.def(), r.child_columns, new_row);
            if (names && !any_null(*names) && *names != values_of(t.def(), r.child_columns, old_row) &&
                group_.table_at(e.parent_page).rows_with(r.parent_columns, *names).empty()) {
                throw Error(ErrorKind::Constraint, "a related row is required in table " + r.parent + " (relationship " + r.name + ")",
                            Reason::RelatedRowRequired, r.parent);
            }
        }
        if (e.parent_page == t.def().page && !r.cascades_updates() &&
            values_of(t.def(), r.parent_columns, old_row) != values_of(t.def(), r.parent_columns, new_row) &&
            !related(e, t, old_row).empty()) {
            throw Error(ErrorKind::Constraint, "table " + r.child + " holds rows related to this one (relationship " + r.name + ")",
                        Reason::RelatedRowsExist, r.child);
        }
    }
}

void RelationGuard::updated(TableWriter& t, const std::vector<Value>& old_row, const std::vector<Value>& new_row) {
    for (const Enforced& e : relationships_) {
        const Relationship& r = e.r;
        if (e.parent_page != t.def().page || !r.cascades_updates()) continue;
        std::optional<std::vector<Value>> now = values_of(t.def(), r.parent_columns, new_row);
        if (!now || now == values_of(t.def(), r.parent_columns, old_row)) continue;
        TableWriter& child = group_.table_at(e.child_page);
        for (RowId id : related(e, t, old_row)) {
            std::optional<std::vector<Value>> row = child.read(id);
            if (!row) continue;
            for (std::size_t k = 0; k < r.child_columns.size(); ++k) {
                const Column* c = child.def().find_column(r.child_columns[k]);
                (*row)[static_cast<std::size_t>(c - child.def().columns.data())] = (*now)[k];
            }
            child.update(id, *row);
        }
    }
}

void RelationGuard::removing(TableWriter& t, RowId id, const std::vector<Value>& row) {
    gathered_.clear();
    // Every row the deletion reaches, each once: a row already in the
    // cascade (the row being deleted, or one reached another way) is not
    // taken again, so a row naming itself or a ring of rows naming each other
    // ends the walk. A list of rows still to look at instead of recursion: a
    // chain of any length takes no stack.
    std::set<std::pair<std::uint32_t, RowId>> reached{{t.def().page, id}};
    std::vector<std::pair<TableWriter*, std::vector<Value>>> pending;
    pending.emplace_back(&t, row);
    try {
        while (!pending.empty()) {
            auto [parent, values] = std::move(pending.back());
            pending.pop_back();
            for (const Enforced& e : relationships_) {
                const Relationship& r = e.r;
                if (e.parent_page != parent->def().page) continue;
                std::vector<RowId> rows = related(e, *parent, values);
                if (rows.empty()) continue;
                // Without the cascade any related row refuses the deletion,
                // the row itself too when it names itself: Jet looks for
                // related rows while the row is still there.
                if (!r.cascades_deletes()) {
                    throw Error(ErrorKind::Constraint, "table " + r.child + " holds rows related to this one (relationship " + r.name + ")",
                                Reason::RelatedRowsExist, r.child);
                }
                TableWriter& child = group_.table_at(e.child_page);
                for (RowId related_id : rows) {
                    if (!reached.emplace(e.child_page, related_id).second) continue;
                    std::optional<std::vector<Value>> related_row = child.read(related_id);
                    if (!related_row) continue;
                    gathered_.emplace_back(&child, related_id);
                    pending.emplace_back(&child, std::move(*related_row));
                }
            }
        }
    } catch (...) {
        gathered_.clear();
        throw;
    }
}

void RelationGuard::delete_gathered() {
    const auto rows = std::move(gathered_);
    gathered_.clear();
    for (const auto& [table, id] : rows) table->remove_related(id);
}

std::vector<std::string> check_relationships(Database& db) {
    std::vector<std::string> problems;
    for (const Relationship& r : read_relationships(db)) {
        if (!r.enforced() || !db.has_table(r.child) || !db.has_table(r.parent)) continue;
        Table parent = db.table(r.parent);
        Table child = db.table(r.child);
        // The parent's keys as the index on its columns holds them, so that
        // text compares as Jet compares it.
        const PhysicalIndex* index = nullptr;
        for (const PhysicalIndex& x : parent.def().physical_indexes) {
            if (x.columns.size() != r.parent_columns.size()) continue;
            bool same = true;
            for (std::size_t k = 0; k < x.columns.size() && same; ++k) {
                const Column* c = parent.def().column_by_number(x.columns[k].column_number);
                same = c && same_name(c->name, r.parent_columns[k]);
            }
            if (same && !unsupported_reason(parent.def(), x, header_of(db).sort_order)) index = &x;
        }
        if (!index) continue;
        auto key_of = [&](const std::vector<Value>& values) {
            std::vector<Value> row(parent.def().columns.size(), Null{});
            for (std::size_t k = 0; k < r.parent_columns.size(); ++k) {
                const Column* c = parent.def().find_column(r.parent_columns[k]);
                row[static_cast<std::size_t>(c - parent.def().columns.data())] = coerce(*c, values[k]);
            }
            return index_key(parent.def(), *index, row, header_of(db).sort_order);
        };
        std::set<std::vector<std::uint8_t>> keys;
        parent.scan([&](RowId, const std::vector<Value>& row) {
            if (auto v = values_of(parent.def(), r.parent_columns, row); v && !any_null(*v)) {
                if (auto k = key_of(*v)) keys.insert(*k);
            }
            return true;
        });
        std::size_t orphans = 0;
        child.scan([&](RowId, const std::vector<Value>& row) {
            auto v = values_of(child.def(), r.child_columns, row);
            if (!v || any_null(*v)) return true;
            std::optional<std::vector<std::uint8_t>> k;
            try {
                k = key_of(*v);
            } catch (const Error&) {
            }
            if (!k || !keys.count(*k)) ++orphans;
            return true;
        });
        if (orphans > 0) {
            problems.push_back("table " + r.child + ": " + std::to_string(orphans) + " rows name rows that table " + r.parent +
                               " lacks (relationship " + r.name + ")");
        }
    }
    return problems;
}

}  // namespace jet
