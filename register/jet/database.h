// An open Jet 4 database: header checked, catalog read, tables found by name.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "catalog.h"
#include "header.h"
#include "table.h"

namespace jet {

class Database {
public:
    // Opens and checks the file; raises jet::Error with the reason it cannot be used.
    explicit Database(const std::string& path);

    const std::string& path() const { return file_->path(); }
    const Header& header() const { return header_; }
    PageFile& file() { return *file_; }

    const std::vector<CatalogEntry>& catalog() const { return catalog_; }
    // Names of the user tables (not system tables, not links), in catalog order.
    std::vector<std::string> user_tables() const;
    bool has_table(std::string_view name) const;
    // Opens a table by name, compared as Jet compares names; raises NoSuchTable.
    Table table(std::string_view name);

private:
    const CatalogEntry* find(std::string_view name) const;

    std::shared_ptr<PageFile> file_;
    Header header_;
    std::vector<CatalogEntry> catalog_;
};

}  // namespace jet
