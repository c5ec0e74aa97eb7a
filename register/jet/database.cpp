#include "database.h"

#include "text.h"

namespace jet {

Database::Database(const std::string& path) : file_(std::make_shared<PageFile>(path)) {
    header_ = read_header(*file_);
    catalog_ = read_catalog(file_);
}

std::vector<std::string> Database::user_tables() const {
    std::vector<std::string> names;
    for (const CatalogEntry& e : catalog_) {
        if (e.is_table() && !e.is_system()) names.push_back(e.name);
    }
    return names;
}

const CatalogEntry* Database::find(std::string_view name) const {
    const CatalogEntry* folded = nullptr;
    for (const CatalogEntry& e : catalog_) {
        if (!e.is_table()) continue;
        if (e.name == name) return &e;
        if (!folded && same_name(e.name, name)) folded = &e;
    }
    return folded;
}

bool Database::has_table(std::string_view name) const { return find(name) != nullptr; }

Table Database::table(std::string_view name) {
    const CatalogEntry* e = find(name);
    if (!e) throw Error(ErrorKind::NoSuchTable, "no table named " + std::string(name) + " in " + path());
    return Table(file_, e->name, read_table_def(*file_, e->definition_page()));
}

}  // namespace jet
