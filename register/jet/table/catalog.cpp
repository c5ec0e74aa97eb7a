#include "table/catalog.h"

#include "jet/table.h"
#include "format/table_def_read.h"

namespace jet {

namespace {

std::int64_t as_int(const Value& v) {
    if (const auto* i = std::get_if<std::int64_t>(&v)) return *i;
    return 0;
}

}  // namespace

std::vector<CatalogEntry> read_catalog(const std::shared_ptr<PageFile>& file) {
    Table t(file, "MSysObjects", read_table_def(*file, kCatalogPage));
    const TableDef& d = t.def();
    auto index_of = [&](const char* name) -> int {
        for (std::size_t i = 0; i < d.columns.size(); ++i) {
            if (d.columns[i].name == name) return static_cast<int>(i);
        }
        damaged(std::string("the catalog has no column ") + name);
    };
    int c_id = index_of("Id"), c_parent = index_of("ParentId"), c_name = index_of("Name"), c_type = index_of("Type"),
        c_flags = index_of("Flags");
    std::vector<CatalogEntry> out;
    t.scan([&](RowId, const std::vector<Value>& row) {
        CatalogEntry e;
        if (const auto* s = std::get_if<std::string>(&row[static_cast<std::size_t>(c_name)])) e.name = *s;
        e.id = static_cast<std::int32_t>(as_int(row[static_cast<std::size_t>(c_id)]));
        e.parent_id = static_cast<std::int32_t>(as_int(row[static_cast<std::size_t>(c_parent)]));
        e.type = static_cast<std::int32_t>(as_int(row[static_cast<std::size_t>(c_type)]));
        e.flags = static_cast<std::uint32_t>(as_int(row[static_cast<std::size_t>(c_flags)]));
        out.push_back(std::move(e));
        return true;
    });
    return out;
}

}  // namespace jet
