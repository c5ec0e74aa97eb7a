// The catalog: the system table MSysObjects, whose definition is always at page 2.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "storage/page_file.h"

namespace jet {

struct CatalogEntry {
    std::string name;
    std::int32_t id = 0;
    std::int32_t parent_id = 0;
    std::int32_t type = 0;
    std::uint32_t flags = 0;

    static constexpr std::int32_t kLocalTable = 1;
    static constexpr std::uint32_t kSystemFlags = 0x80000002u;

    bool is_table() const { return type == kLocalTable; }
    bool is_system() const { return (flags & kSystemFlags) != 0; }
    std::uint32_t definition_page() const { return static_cast<std::uint32_t>(id) & 0x00FFFFFFu; }
};

constexpr std::uint32_t kCatalogPage = 2;

std::vector<CatalogEntry> read_catalog(const std::shared_ptr<PageFile>& file);

}  // namespace jet
