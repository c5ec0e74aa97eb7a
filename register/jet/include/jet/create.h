// Creating databases and tables: a new empty Jet 4 file with the system
// tables readers expect (General sort order, Unicode text), and new tables
// with an autonumber column, a primary key and further indexes.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "database.h"

namespace jet {

struct ColumnSpec {
    std::string name;
    ColumnType type = ColumnType::Text;
    std::uint16_t chars = 0;      // Text: length in characters; Binary: bytes
    bool autonumber = false;      // Long only
    std::uint8_t precision = 18;  // Decimal
    std::uint8_t scale = 0;       // Decimal
};

struct IndexSpec {
    std::string name;
    std::vector<std::pair<std::string, bool>> columns;  // column name, ascending
    bool primary_key = false;
    bool unique = false;
    bool ignore_nulls = false;
    bool required = false;
};

struct TableSpec {
    std::string name;
    std::vector<ColumnSpec> columns;
    std::vector<IndexSpec> indexes;
    bool system = false;
};

// Writes a new empty database, through the platform given; raises Io (or ReadOnly) when the file cannot be
// made, and refuses a path that already exists.
void create_database(const std::string& path, Platform& platform = default_platform());

// Adds a table in the group and enters it in the catalog; returns its
// definition page. Raises Constraint for a name in use or a wrong spec.
std::uint32_t create_table(WriteGroup& group, const TableSpec& spec);

}  // namespace jet
