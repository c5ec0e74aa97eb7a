#include "compact.h"

#include "catalog.h"
#include "check.h"
#include "create.h"
#include "header.h"
#include "index.h"
#include "platform.h"
#include "relations.h"

namespace jet {

namespace {

constexpr std::size_t kRowsPerGroup = 5000;

// Catalog objects a copy of the tables keeps: tables, the database itself,
// the containers and the database's documents (its summary and properties).
bool carried_over(const CatalogEntry& e) {
    return e.type == CatalogEntry::kLocalTable || e.type == 2 || e.type == 3 || e.type == -32757;
}

std::string kind_of(std::int32_t type) {
    switch (type) {
        case 4:
        case 6: return "a linked table";
        case 5: return "a query";
        case -32768: return "a form";
        case -32764: return "a report";
        case -32766: return "a macro";
        case -32761: return "a module";
        case -32756: return "a data access page";
        default: return "an object of kind " + std::to_string(type);
    }
}

TableSpec spec_of(const std::string& name, const TableDef& def, std::uint16_t sort_order) {
    TableSpec spec;
    spec.name = name;
    for (const Column& c : def.columns) {
        if (c.flags & Column::kAutoGuid) throw Error(ErrorKind::Unsupported, "column " + c.name + " of " + name + " is a GUID autonumber");
        ColumnSpec s;
        s.name = c.name;
        s.type = c.type;
        s.autonumber = (c.flags & Column::kAutoLong) != 0;
        if (c.type == ColumnType::Text) s.chars = static_cast<std::uint16_t>(c.length / 2);
        if (c.type == ColumnType::Binary) s.chars = c.length;
        s.precision = c.precision;
        s.scale = c.scale;
        spec.columns.push_back(s);
    }
    for (const LogicalIndex& li : def.indexes) {
        if (li.foreign_key()) throw Error(ErrorKind::Unsupported, "table " + name + " takes part in a relationship (index " + li.name + ")");
        if (li.physical >= def.physical_indexes.size()) damaged("index " + li.name + " of " + name + " names no stored index");
        const PhysicalIndex& x = def.physical_indexes[li.physical];
        if (auto why = unsupported_reason(def, x, sort_order)) throw Error(ErrorKind::Unsupported, *why);
        IndexSpec s;
        s.name = li.name;
        for (const IndexColumn& ic : x.columns) s.columns.emplace_back(def.column_by_number(ic.column_number)->name, ic.ascending);
        s.primary_key = li.primary_key();
        s.unique = (x.flags & PhysicalIndex::kUnique) != 0;
        s.ignore_nulls = (x.flags & PhysicalIndex::kIgnoreNulls) != 0;
        s.required = (x.flags & PhysicalIndex::kRequired) != 0;
        spec.indexes.push_back(s);
    }
    return spec;
}

struct RemoveUnlessKept {
    std::string path;
    bool keep = false;
    ~RemoveUnlessKept() {
        if (!keep) platform().discard(path);
    }
};

}  // namespace

std::optional<std::string> cannot_compact(Database& from) {
    for (const CatalogEntry& e : from.catalog()) {
        if (!carried_over(e)) return "the database holds " + kind_of(e.type) + " (" + e.name + "), which only Access can carry over";
    }
    for (const Relationship& r : read_relationships(from)) {
        if (r.child.rfind("MSys", 0) != 0) return "the database holds relationship " + r.name + ", which only Access can carry over";
    }
    try {
        for (const std::string& name : from.user_tables()) spec_of(name, from.table(name).def(), from.header().sort_order);
    } catch (const Error& e) {
        if (e.kind() != ErrorKind::Unsupported) throw;
        return e.what();
    }
    return std::nullopt;
}

void compact(Database& from, const std::string& to, const std::function<void(const CompactProgress&)>& progress) {
    FileLock reading(from.file(), false);
    if (auto why = cannot_compact(from)) throw Error(ErrorKind::Unsupported, "cannot compact " + from.path() + ": " + *why);
    create_database(to);
    RemoveUnlessKept guard{to};
    Database copy(to);
    for (const std::string& name : from.user_tables()) {
        Table t = from.table(name);
        {
            WriteGroup g(copy);
            create_table(g, spec_of(name, t.def(), from.header().sort_order));
            g.commit();
        }
        const std::vector<RowId> ids = t.row_ids();
        CompactProgress p{name, 0, ids.size()};
        if (progress) progress(p);
        for (std::size_t at = 0; at < ids.size(); at += kRowsPerGroup) {
            WriteGroup g(copy);
            g.keep_relationships(false);
            TableWriter& w = g.table(name);
            for (std::size_t i = at; i < std::min(ids.size(), at + kRowsPerGroup); ++i) {
                std::optional<std::vector<Value>> row = t.read(ids[i]);
                if (row) w.insert(*row);  // autonumbers too: each row keeps its number
            }
            g.commit();
            p.rows_done = std::min(ids.size(), at + kRowsPerGroup);
            if (progress) progress(p);
        }
        WriteGroup g(copy);
        g.table(name).continue_numbering_from(t.def().next_autonumber);
        g.commit();
    }
    guard.keep = true;
}

std::vector<std::string> compare_copy(Database& original, Database& copy) {
    std::vector<std::string> problems = check_database(copy);
    for (const std::string& name : original.user_tables()) {
        if (!copy.has_table(name)) {
            problems.push_back("table " + name + " is missing from the copy");
            continue;
        }
        std::vector<std::vector<Value>> a, b;
        Table ta = original.table(name), tb = copy.table(name);
        ta.scan([&](RowId, const std::vector<Value>& row) {
            a.push_back(row);
            return true;
        });
        tb.scan([&](RowId, const std::vector<Value>& row) {
            b.push_back(row);
            return true;
        });
        if (a.size() != b.size()) {
            problems.push_back("table " + name + ": " + std::to_string(b.size()) + " rows in the copy for " + std::to_string(a.size()));
        } else {
            for (std::size_t i = 0; i < a.size(); ++i) {
                if (!(a[i] == b[i])) {
                    problems.push_back("table " + name + ": row " + std::to_string(i + 1) + " differs in the copy");
                    break;
                }
            }
        }
        if (ta.def().next_autonumber != tb.def().next_autonumber) {
            problems.push_back("table " + name + ": the copy would number new rows from " + std::to_string(tb.def().next_autonumber + 1));
        }
    }
    return problems;
}

}  // namespace jet
