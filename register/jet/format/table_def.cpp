#include "jet/table_def.h"

#include <algorithm>
#include <set>

#include "format/table_def_read.h"
#include "format/tdef_layout.h"
#include "jet/text.h"

namespace jet {

namespace {

using namespace tdef;
constexpr std::uint32_t kMaxDefinitionPages = 64;

// The definition continues over further pages; each continuation's bytes after its
// 8-byte header are appended to the first page's.
std::vector<std::uint8_t> gather(PageFile& file, std::uint32_t first, std::vector<std::uint32_t>& pages) {
    std::vector<std::uint8_t> buf;
    std::set<std::uint32_t> seen;
    std::uint32_t next = first;
    while (next != 0) {
        if (!seen.insert(next).second || seen.size() > kMaxDefinitionPages) {
            damaged("the definition of the table at page " + std::to_string(first) + " loops over its pages");
        }
        PagePtr p = file.page_of_type(next, PageType::TableDef, "table definition");
        pages.push_back(next);
        Bytes b = bytes_of(*p);
        if (buf.empty()) {
            buf.assign(b.begin(), b.end());
        } else {
            buf.insert(buf.end(), b.begin() + 8, b.end());
        }
        next = u32(b, kNextPage);
    }
    return buf;
}

std::string read_name(Bytes b, std::size_t& pos) {
    std::uint16_t len = u16(b, pos);
    pos += 2;
    std::string name = decode_text(sub(b, pos, len));
    pos += len;
    return name;
}

}  // namespace

const Column* TableDef::find_column(std::string_view name) const {
    for (const Column& c : columns) {
        if (c.name == name) return &c;
    }
    for (const Column& c : columns) {
        if (same_name(c.name, name)) return &c;
    }
    return nullptr;
}

const Column* TableDef::column_by_number(std::uint16_t number) const {
    for (const Column& c : columns) {
        if (c.number == number) return &c;
    }
    return nullptr;
}

TableDef read_table_def(PageFile& file, std::uint32_t page) {
    TableDef t;
    t.page = page;
    std::vector<std::uint8_t> buf = gather(file, page, t.pages);
    Bytes b(buf.data(), buf.size());

    t.row_count = u32(b, kRowCount);
    t.next_autonumber = u32(b, kAutonumber);
    t.table_type = u8(b, kTableType);
    t.max_columns = u16(b, kMaxColumns);
    t.var_columns = u16(b, kVarColumns);
    std::uint16_t column_count = u16(b, kColumnCount);
    std::uint32_t logical_count = u32(b, kLogicalIndexCount);
    std::uint32_t physical_count = u32(b, kPhysicalIndexCount);
    t.used_pages = u32(b, kUsedPages);
    t.free_pages = u32(b, kFreePages);
    // Access allows 32 indexes a table; anything far above is a broken count.
    if (logical_count > 1000 || physical_count > 1000) {
        damaged("the table at page " + std::to_string(page) + " claims " + std::to_string(logical_count) + " indexes");
    }

    std::size_t pos = kBlockStart;
    std::vector<std::uint32_t> physical_rows(physical_count);
    for (std::uint32_t i = 0; i < physical_count; ++i) {
        physical_rows[i] = u32(b, pos + kPhysicalRowCount);
        pos += kPhysicalCountEntry;
    }

    t.columns.resize(column_count);
    for (Column& c : t.columns) {
        Bytes e = sub(b, pos, kColumnEntry);
        std::uint8_t code = u8(e, column::kType);
        if (!is_known_type(code)) {
            throw Error(ErrorKind::Unsupported, "the table at page " + std::to_string(page) + " has a column of unknown type " +
                                                    std::to_string(code));
        }
        c.type = static_cast<ColumnType>(code);
        c.number = u16(e, column::kNumber);
        c.var_index = u16(e, column::kVarIndex);
        if (c.type == ColumnType::Decimal) {
            c.precision = u8(e, column::kPrecision);
            c.scale = u8(e, column::kScale);
        } else if (c.type == ColumnType::Text || c.type == ColumnType::Memo) {
            c.sort_order = u16(e, column::kSortOrder);
            c.sort_version = u8(e, column::kSortVersion);
        }
        c.flags = u8(e, column::kFlags);
        c.misc_flags = u8(e, column::kMiscFlags);
        c.fixed_offset = u16(e, column::kFixedOffset);
        c.length = u16(e, column::kLength);
        pos += kColumnEntry;
    }
    for (Column& c : t.columns) c.name = read_name(b, pos);

    t.physical_indexes.resize(physical_count);
    for (std::uint32_t i = 0; i < physical_count; ++i) {
        Bytes e = sub(b, pos, kPhysicalEntry);
        PhysicalIndex& x = t.physical_indexes[i];
        for (std::size_t k = 0; k < kMaxIndexColumns; ++k) {
            const std::size_t at = physical::kColumns + physical::kColumnBytes * k;
            std::uint16_t col = u16(e, at);
            if (col == 0xFFFF) continue;
            x.columns.push_back({col, (u8(e, at + 2) & 0x01) != 0});
        }
        x.used_pages = u32(e, physical::kUsedPages);
        x.root_page = u32(e, physical::kRootPage);
        x.flags = u8(e, physical::kFlags);
        x.row_count = physical_rows[i];
        pos += kPhysicalEntry;
    }
    t.indexes.resize(logical_count);
    for (LogicalIndex& x : t.indexes) {
        Bytes e = sub(b, pos, kLogicalEntry);
        x.number = u32(e, logical::kNumber);
        x.physical = u32(e, logical::kPhysical);
        x.related_index = u32(e, logical::kRelatedIndex);
        x.related_table_page = u32(e, logical::kRelatedTable);
        x.kind = u8(e, logical::kKind);
        if (x.physical >= physical_count) {
            damaged("an index of the table at page " + std::to_string(page) + " names a missing index tree");
        }
        pos += kLogicalEntry;
    }
    for (LogicalIndex& x : t.indexes) x.name = read_name(b, pos);
    // Then the long-value columns' maps, up to FF FF; files of older writers may lack them.
    while (pos + 10 <= b.size()) {
        std::uint16_t col = u16(b, pos);
        if (col == 0xFFFF) break;
        t.long_value_maps.push_back({col, u32(b, pos + 2), u32(b, pos + 6)});
        pos += 10;
    }

    std::stable_sort(t.columns.begin(), t.columns.end(),
                     [](const Column& a, const Column& c) { return a.number < c.number; });
    return t;
}

std::optional<std::string> shared_usage_map(const TableDef& def, std::uint32_t file_map) {
    std::vector<std::pair<std::uint32_t, std::string>> maps{{file_map, "the file's free-page map"},
                                                            {def.used_pages, "its owned-pages map"},
                                                            {def.free_pages, "its free-space map"}};
    for (std::size_t i = 0; i < def.physical_indexes.size(); ++i) {
        maps.emplace_back(def.physical_indexes[i].used_pages, "the map of index " + std::to_string(i));
    }
    for (const LongValueMaps& m : def.long_value_maps) {
        const std::string column = "column " + std::to_string(m.column_number);
        maps.emplace_back(m.used_pages, "the long-value map of " + column);
        maps.emplace_back(m.free_pages, "the long-value free-space map of " + column);
    }
    for (std::size_t i = 0; i < maps.size(); ++i) {
        if (maps[i].first == 0) continue;
        for (std::size_t j = i + 1; j < maps.size(); ++j) {
            if (maps[j].first == maps[i].first) return maps[j].second + " is the same row as " + maps[i].second;
        }
    }
    return std::nullopt;
}

}  // namespace jet
