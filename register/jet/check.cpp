#include "check.h"

#include <algorithm>
#include <set>

#include "data_page.h"
#include "index.h"
#include "usage_map.h"

namespace jet {

namespace {

void check_indexes(Database& db, Table& t, const std::vector<std::pair<RowId, std::vector<Value>>>& rows,
                   std::vector<std::string>& problems) {
    const TableDef& def = t.def();
    for (const LogicalIndex& li : def.indexes) {
        if (li.physical >= def.physical_indexes.size()) continue;
        const PhysicalIndex& x = def.physical_indexes[li.physical];
        std::string where = "table " + t.name() + ", index " + li.name + ": ";
        if (unsupported_reason(def, x, db.header().sort_order)) continue;  // readable, not checkable
        std::vector<IndexEntry> expected;
        std::set<std::vector<std::uint8_t>> seen_keys;
        bool duplicate = false;
        for (const auto& entry : rows) {
            const std::vector<Value>& row = entry.second;
            std::optional<std::vector<std::uint8_t>> key = index_key(def, x, row, db.header().sort_order);
            if (!key) continue;
            bool all_null = std::all_of(x.columns.begin(), x.columns.end(), [&](const IndexColumn& ic) {
                const Column* c = def.column_by_number(ic.column_number);
                return is_null(row[static_cast<std::size_t>(c - def.columns.data())]);
            });
            // A unique index still takes any number of rows whose indexed columns are all Null.
            if (!all_null && !seen_keys.insert(*key).second) duplicate = true;
            expected.push_back({std::move(*key), entry.first});
        }
        std::sort(expected.begin(), expected.end());
        std::vector<IndexEntry> stored = read_index_entries(db.file(), def, x);
        for (std::size_t i = 1; i < stored.size(); ++i) {
            if (!(stored[i - 1] < stored[i])) {
                problems.push_back(where + "entries out of order at entry " + std::to_string(i));
                break;
            }
        }
        if (stored.size() != expected.size()) {
            problems.push_back(where + std::to_string(stored.size()) + " entries for " + std::to_string(expected.size()) +
                               " indexed rows");
        } else if (stored != expected) {
            problems.push_back(where + "entries differ from the rows' keys");
        }
        if (duplicate && ((x.flags & PhysicalIndex::kUnique) || li.primary_key())) {
            problems.push_back(where + "a unique index holds the same key twice");
        }
    }
}

}  // namespace

std::vector<std::string> check_database(Database& db) {
    std::vector<std::string> problems;
    PageFile& file = db.file();
    FileLock lock(file, false);
    std::vector<std::string> names = db.user_tables();
    // The catalog itself is checked too: other programs find tables through its indexes.
    names.insert(names.begin(), "MSysObjects");
    for (const std::string& name : names) {
        try {
            Table t = db.table(name);
            const TableDef& def = t.def();
            std::vector<std::pair<RowId, std::vector<Value>>> rows;
            t.scan([&](RowId id, const std::vector<Value>& row) {
                rows.emplace_back(id, row);
                return true;
            });
            if (rows.size() != def.row_count) {
                problems.push_back("table " + name + ": the definition counts " + std::to_string(def.row_count) +
                                   " rows, the pages hold " + std::to_string(rows.size()));
            }
            // Readers take a table's rows from the pages of its usage map: each must be a
            // data page of this table. (A page missing from it shows as rows missing
            // against the row count above.)
            if (auto why = shared_usage_map(def, kFreePagesMap.pointer())) problems.push_back("table " + name + ": " + *why);
            std::vector<std::uint32_t> owned = read_usage_map(file, def.used_pages);
            for (std::uint32_t p : owned) {
                Bytes b = bytes_of(*file.page(p));
                if (b[0] != static_cast<std::uint8_t>(PageType::Data) || u32(b, data_page::kOwner) != def.page) {
                    problems.push_back("table " + name + ": its usage map names page " + std::to_string(p) +
                                       ", which is not one of its data pages");
                }
            }
            read_usage_map(file, def.free_pages);
            check_indexes(db, t, rows, problems);
        } catch (const Error& e) {
            problems.push_back("table " + name + ": " + e.what());
        }
    }
    return problems;
}

}  // namespace jet
