#include "jet/check.h"

#include <algorithm>
#include <optional>
#include <set>

#include "table/catalog.h"
#include "format/data_page.h"
#include "storage/free_pages.h"
#include "format/header.h"
#include "btree/index.h"
#include "table/relations.h"
#include "format/table_def_read.h"
#include "format/usage_map.h"
#include "table/database_insides.h"

namespace jet {

namespace {

// The shape of an index's tree, as a reader searching it relies on: every page
// reached once from the root, all leaves at one depth, each node entry not
// below the last entry under its child and below the first entry under the
// next child, the leaves' chain (next and back links) visiting the leaves in
// the tree's order, and every page of the tree in the index's usage map.
class TreeWalk {
public:
    TreeWalk(PageFile& file, const TableDef& def, const PhysicalIndex& x, std::string where, std::vector<std::string>& problems)
        : file_(file), def_(def), x_(x), where_(std::move(where)), problems_(problems) {}

    void run() {
        visit(x_.root_page, 0);
        if (!ok_) return;
        check_chain();
        std::vector<std::uint32_t> mapped = read_usage_map(file_, x_.used_pages);
        for (std::uint32_t page : pages_) {
            if (page != x_.root_page && !std::binary_search(mapped.begin(), mapped.end(), page)) {
                problem("page " + std::to_string(page) + " of the tree is missing from the index's usage map");
                break;
            }
        }
    }

private:
    struct Range {
        IndexEntry first, last;
    };

    void problem(const std::string& what) {
        problems_.push_back(where_ + what);
        ok_ = false;
    }

    std::optional<Range> visit(std::uint32_t page, int depth) {
        if (!ok_) return std::nullopt;
        if (depth > 32) {
            problem("the tree is deeper than any real one");
            return std::nullopt;
        }
        if (page == 0 || !pages_.insert(page).second) {
            problem("the tree reaches page " + std::to_string(page) + " twice or points at page 0");
            return std::nullopt;
        }
        IndexPage p = read_index_page(file_, def_.page, page);
        if (p.leaf) {
            if (leaf_depth_ >= 0 && depth != leaf_depth_) problem("its leaves lie at different depths");
            leaf_depth_ = depth;
            leaves_.push_back({page, p.prev, p.next});
            if (p.entries.empty()) return std::nullopt;
            return Range{p.entries.front(), p.entries.back()};
        }
        std::vector<std::uint32_t> children = p.children;
        if (p.tail != 0 && (children.empty() || children.back() != p.tail)) children.push_back(p.tail);
        std::optional<Range> whole;
        const IndexEntry* bound = nullptr;  // the entry the next child's entries must lie above
        for (std::size_t i = 0; i < children.size() && ok_; ++i) {
            std::optional<Range> r = visit(children[i], depth + 1);
            if (!r) continue;
            if (bound && !(*bound < r->first)) {
                problem("node page " + std::to_string(page) + " sends a search for an entry to the wrong child");
            }
            if (i < p.entries.size()) {
                if (p.entries[i] < r->last) problem("node page " + std::to_string(page) + " has an entry below the last entry of its child");
                bound = &p.entries[i];
            }
            if (!whole) whole = r;
            whole->last = r->last;
        }
        return whole;
    }

    void check_chain() {
        for (std::size_t i = 0; i < leaves_.size(); ++i) {
            std::uint32_t prev = i == 0 ? 0 : leaves_[i - 1].page;
            std::uint32_t next = i + 1 == leaves_.size() ? 0 : leaves_[i + 1].page;
            if (leaves_[i].prev != prev || leaves_[i].next != next) {
                problem("the chain of leaves breaks at page " + std::to_string(leaves_[i].page));
                return;
            }
        }
    }

    struct Leaf {
        std::uint32_t page, prev, next;
    };
    PageFile& file_;
    const TableDef& def_;
    const PhysicalIndex& x_;
    std::string where_;
    std::vector<std::string>& problems_;
    std::set<std::uint32_t> pages_;
    std::vector<Leaf> leaves_;
    int leaf_depth_ = -1;
    bool ok_ = true;
};

void check_indexes(Database& db, Table& t, const std::vector<std::pair<RowId, std::vector<Value>>>& rows,
                   std::vector<std::string>& problems) {
    const TableDef& def = t.def();
    for (const LogicalIndex& li : def.indexes) {
        if (li.physical >= def.physical_indexes.size()) continue;
        const PhysicalIndex& x = def.physical_indexes[li.physical];
        std::string where = "table " + t.name() + ", index " + li.name + ": ";
        if (unsupported_reason(def, x, header_of(db).sort_order)) continue;  // readable, not checkable
        std::vector<IndexEntry> expected;
        std::set<std::vector<std::uint8_t>> seen_keys;
        bool duplicate = false;
        for (const auto& entry : rows) {
            const std::vector<Value>& row = entry.second;
            std::optional<std::vector<std::uint8_t>> key = index_key(def, x, row, header_of(db).sort_order);
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
        TreeWalk(file_of(db), def, x, where, problems).run();
        std::vector<IndexEntry> stored = read_index_entries(file_of(db), def, x);
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

// The file's map of free pages against what is in use: no page the tables
// hold may be marked free, and the map must reach the end of the file (a
// page past its window counts as free to Access and would be taken).
void check_free_pages(Database& db, std::vector<std::string>& problems) {
    PageFile& file = file_of(db);
    const FreePages free(file);
    if (!free.inline_map()) return;
    if (free.window_end() < file.page_count()) {
        problems.push_back("the map of free pages ends at page " + std::to_string(free.window_end()) + " of " +
                           std::to_string(file.page_count()) + ": Access would take the pages after it for free pages");
    }
    std::vector<std::uint32_t> used = {0, kFreePagesMap.page};
    for (const CatalogEntry& e : catalog_of(db)) {
        if (!e.is_table()) continue;
        try {
            const TableDef def = read_table_def(file, e.definition_page());
            used.insert(used.end(), def.pages.begin(), def.pages.end());
            for (std::uint32_t map : {def.used_pages}) {
                const std::vector<std::uint32_t> pages = read_usage_map(file, map);
                used.insert(used.end(), pages.begin(), pages.end());
            }
            for (const PhysicalIndex& x : def.physical_indexes) {
                used.push_back(x.root_page);
                const std::vector<std::uint32_t> pages = read_usage_map(file, x.used_pages);
                used.insert(used.end(), pages.begin(), pages.end());
            }
            for (const LongValueMaps& m : def.long_value_maps) {
                const std::vector<std::uint32_t> pages = read_usage_map(file, m.used_pages);
                used.insert(used.end(), pages.begin(), pages.end());
            }
        } catch (const Error&) {
            // A table that cannot be read is reported by its own check.
        }
    }
    for (std::uint32_t p : used) {
        if (p < file.page_count() && free.marked_free(p)) {
            problems.push_back("page " + std::to_string(p) + " is in use but marked free in the map of free pages");
            return;
        }
    }
}

}  // namespace

std::vector<std::string> check_table(Database& db, const std::string& name) {
    std::vector<std::string> problems;
    PageFile& file = file_of(db);
    FileLock lock(file, false);
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
    return problems;
}

std::vector<std::string> check_database(Database& db) {
    std::vector<std::string> problems;
    FileLock lock(file_of(db), false);
    std::vector<std::string> names = db.user_tables();
    // The catalog itself is checked too: other programs find tables through its indexes.
    names.insert(names.begin(), "MSysObjects");
    for (const std::string& name : names) {
        std::vector<std::string> found = check_table(db, name);
        problems.insert(problems.end(), found.begin(), found.end());
    }
    try {
        check_free_pages(db, problems);
    } catch (const Error& e) {
        problems.push_back(std::string("the map of free pages: ") + e.what());
    }
    try {
        std::vector<std::string> broken = check_relationships(db);
        problems.insert(problems.end(), broken.begin(), broken.end());
    } catch (const Error& e) {
        problems.push_back(std::string("relationships: ") + e.what());
    }
    return problems;
}

}  // namespace jet
