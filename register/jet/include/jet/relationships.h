// The relationships between a database's tables (MSysRelationships), as
// stored. A write group keeps the enforced ones: a change that would break
// one is refused, or cascades where the relationship says so.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace jet {

class Database;

struct Relationship {
    std::string name;
    std::uint32_t flags = 0;
    std::string child;                         // the table whose rows name a parent row
    std::vector<std::string> child_columns;
    std::string parent;                        // the table whose rows are named
    std::vector<std::string> parent_columns;

    static constexpr std::uint32_t kNotEnforced = 0x00000002;
    static constexpr std::uint32_t kCascadeUpdates = 0x00000100;
    static constexpr std::uint32_t kCascadeDeletes = 0x00001000;

    bool enforced() const { return (flags & kNotEnforced) == 0; }
    bool cascades_updates() const { return (flags & kCascadeUpdates) != 0; }
    bool cascades_deletes() const { return (flags & kCascadeDeletes) != 0; }
};

// The database's relationships, or none when it has no MSysRelationships.
std::vector<Relationship> read_relationships(Database& db);

}  // namespace jet
