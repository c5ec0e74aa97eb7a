// The definition of a table (page type 0x02, possibly continued over several
// pages): counts, usage map pointers, columns and indexes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "value.h"

namespace jet {

struct Column {
    std::string name;
    ColumnType type = ColumnType::Text;
    std::uint16_t number = 0;        // position in the null mask, counting deleted columns
    std::uint16_t var_index = 0;     // slot in a row's variable-offset table
    std::uint16_t fixed_offset = 0;  // offset in the fixed area (after the 2-byte column count)
    std::uint16_t length = 0;        // declared length in bytes (0 for Memo/OLE)
    std::uint8_t flags = 0;
    std::uint8_t misc_flags = 0;
    std::uint16_t sort_order = 0;    // text columns: 1033 (0x409) is General
    std::uint8_t sort_version = 0;
    std::uint8_t precision = 0;      // Decimal
    std::uint8_t scale = 0;          // Decimal

    static constexpr std::uint8_t kFixed = 0x01;
    static constexpr std::uint8_t kNullable = 0x02;
    static constexpr std::uint8_t kAutoLong = 0x04;
    static constexpr std::uint8_t kAutoGuid = 0x40;
    static constexpr std::uint8_t kCompressedUnicode = 0x01;  // in misc_flags

    bool fixed() const { return (flags & kFixed) != 0; }
    bool autonumber() const { return (flags & (kAutoLong | kAutoGuid)) != 0; }
    bool compressed_unicode() const { return (misc_flags & kCompressedUnicode) != 0; }
};

struct IndexColumn {
    std::uint16_t column_number = 0;  // Column::number
    bool ascending = true;
};

// The stored B-tree ("real" index); several logical indexes may share one.
struct PhysicalIndex {
    std::vector<IndexColumn> columns;
    std::uint32_t used_pages = 0;     // row pointer of its usage map
    std::uint32_t root_page = 0;
    std::uint8_t flags = 0;           // 0x01 unique, 0x02 ignore nulls, 0x08 required
    std::uint32_t row_count = 0;

    static constexpr std::uint8_t kUnique = 0x01;
    static constexpr std::uint8_t kIgnoreNulls = 0x02;
    static constexpr std::uint8_t kRequired = 0x08;
};

struct LogicalIndex {
    std::string name;
    std::uint32_t number = 0;
    std::uint32_t physical = 0;       // index into TableDef::physical_indexes
    std::uint8_t kind = 0;            // 1 primary key, 2 foreign key, 0 other
    std::uint32_t related_index = 0xFFFFFFFF;
    std::uint32_t related_table_page = 0;

    bool primary_key() const { return kind == 1; }
    bool foreign_key() const { return kind == 2; }
};

// Each Memo and OLE column has its own pair of maps for its long-value pages.
struct LongValueMaps {
    std::uint16_t column_number = 0;
    std::uint32_t used_pages = 0;
    std::uint32_t free_pages = 0;
};

struct TableDef {
    std::uint32_t page = 0;           // first definition page: the table's identity
    std::vector<std::uint32_t> pages;
    std::uint32_t row_count = 0;
    std::uint32_t next_autonumber = 0;
    std::uint8_t table_type = 0;      // 0x4E user, 0x53 system
    std::uint16_t max_columns = 0;
    std::uint16_t var_columns = 0;
    std::uint32_t used_pages = 0;     // row pointer of the owned-pages map
    std::uint32_t free_pages = 0;     // row pointer of the free-space map
    std::vector<Column> columns;      // in column order
    std::vector<PhysicalIndex> physical_indexes;
    std::vector<LogicalIndex> indexes;
    std::vector<LongValueMaps> long_value_maps;

    const Column* find_column(std::string_view name) const;
    const Column* column_by_number(std::uint16_t number) const;
};

}  // namespace jet
