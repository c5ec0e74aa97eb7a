// What an open database and a write group hold that only the engine's parts
// (and the tests that look inside the engine) reach: the page file, the
// header and catalog read at opening, the group's pages, the tables a group
// made, a table writer outside any group. The public classes keep these
// private; DatabaseInsides is their friend.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "jet/database.h"

namespace jet {

class DatabaseInsides {
public:
    static PageFile& file(Database& db) { return *db.file_; }
    static const Header& header(const Database& db) { return *db.header_; }
    static const std::vector<CatalogEntry>& catalog(const Database& db) { return *db.catalog_; }

    static PageFile& file(WriteGroup& group) { return *group.db_.file_; }
    static PageAllocator& pages(WriteGroup& group) { return *group.pages_; }
    static void table_created(WriteGroup& group, const std::string& name, std::uint32_t definition_page) {
        group.table_created(name, definition_page);
    }

    static std::unique_ptr<TableWriter> table_writer(PageFile& file, PageAllocator& pages, std::uint32_t definition_page,
                                                     std::uint16_t default_sort_order) {
        return std::unique_ptr<TableWriter>(new TableWriter(file, pages, definition_page, default_sort_order));
    }
    static void finish(TableWriter& writer) { writer.finish(); }
};

inline PageFile& file_of(Database& db) { return DatabaseInsides::file(db); }
// The header as it was read at opening (a write group checks it still holds).
inline const Header& header_of(const Database& db) { return DatabaseInsides::header(db); }
// The catalog as it was last read (at opening, after a group made tables, or by reload_catalog).
inline const std::vector<CatalogEntry>& catalog_of(const Database& db) { return DatabaseInsides::catalog(db); }

inline PageFile& file_of(WriteGroup& group) { return DatabaseInsides::file(group); }
// The pages the group takes from the file's free pages or from its end.
inline PageAllocator& pages_of(WriteGroup& group) { return DatabaseInsides::pages(group); }
// Called by create_table: the new table is known to the group at once, and
// to the database after commit().
inline void table_created(WriteGroup& group, const std::string& name, std::uint32_t definition_page) {
    DatabaseInsides::table_created(group, name, definition_page);
}

// A table's writer, for its write group or for a database being made (before
// it can be opened, outside any group). finish_writer() puts its changes
// among the file's pages; whoever made it commits them.
inline std::unique_ptr<TableWriter> make_table_writer(PageFile& file, PageAllocator& pages, std::uint32_t definition_page,
                                                      std::uint16_t default_sort_order) {
    return DatabaseInsides::table_writer(file, pages, definition_page, default_sort_order);
}
inline void finish_writer(TableWriter& writer) { DatabaseInsides::finish(writer); }

}  // namespace jet
