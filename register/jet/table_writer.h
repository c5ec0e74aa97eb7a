// Changing a table's rows inside a write group: rows placed on the table's
// data pages (new pages taken from the file as needed), long values on
// long-value pages, every index kept in step, the usage maps, row count and
// last autonumber value kept in the definition.
//
// A value the table refuses (wrong type, too long, a duplicate key, a row too
// large) raises Constraint before anything changes, so the group stays usable.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "bytes.h"
#include "free_pages.h"
#include "index_tree.h"
#include "page_file.h"
#include "relations.h"
#include "room_index.h"
#include "table_def.h"
#include "usage_map.h"

namespace jet {

// Pages for the whole file, through its map of free pages (free_pages.h):
// a free page is used again before the file grows; released pages go back.
class PageAllocator {
public:
    explicit PageAllocator(PageFile& file);
    std::uint32_t allocate(PageRole role);
    void release(std::uint32_t page);
    void finish();
    FreePages& free_pages();

private:

    PageFile& file_;
    std::optional<FreePages> free_pages_;
};

class TableWriter {
public:
    TableWriter(PageFile& file, PageAllocator& pages, std::uint32_t definition_page, std::uint16_t default_sort_order);
    TableWriter(const TableWriter&) = delete;
    TableWriter& operator=(const TableWriter&) = delete;
    ~TableWriter();

    const TableDef& def() const { return def_; }

    // Adds a row (values in column order; missing ones are Null). An autonumber
    // column left Null gets the table's next number, written back into values.
    RowId insert(std::vector<Value>& values);
    // Replaces every column of the row; autonumber columns keep their value.
    void update(RowId id, std::vector<Value> values);
    void remove(RowId id);
    // A row deleted because a relationship cascades its parent's deletion.
    void remove_related(RowId id);
    // The rows whose named columns hold these values, found through the index
    // on exactly those columns; raises Unsupported when there is none.
    std::vector<RowId> rows_with(const std::vector<std::string>& columns, const std::vector<Value>& values);
    // New rows will be numbered after `last` at the least (a copy keeps the
    // numbers its original would have given).
    void continue_numbering_from(std::uint32_t last) { def_.next_autonumber = std::max(def_.next_autonumber, last); }
    // The relationships the table's changes must keep (none when null).
    void set_guard(RelationGuard* guard) { guard_ = guard; }
    // The row's values, or nothing when it was deleted.
    std::optional<std::vector<Value>> read(RowId id);

    // Writes the indexes, maps and definition into the write group.
    void finish();

private:
    struct Located {
        RowId home;                    // the id the row is known by
        std::optional<RowId> moved;    // where its bytes lie when an update moved them
        std::vector<std::uint8_t> bytes;
    };
    std::optional<Located> locate(RowId id);
    std::vector<Value> prepare(std::vector<Value> values, const std::vector<Value>* old);
    std::vector<std::optional<std::vector<std::uint8_t>>> keys(const std::vector<Value>& values);
    void check_keys(const std::vector<std::optional<std::vector<std::uint8_t>>>& keys,
                    const std::vector<std::optional<std::vector<std::uint8_t>>>* old, const std::vector<Value>& values);
    std::vector<std::uint8_t> encode(const std::vector<Value>& values);
    struct LongValuePages {
        std::unique_ptr<UsageMap> used;
        std::unique_ptr<UsageMap> free;
        std::optional<RoomIndex> rooms;
    };
    std::vector<std::uint8_t> store_long(const Column& c, std::vector<std::uint8_t> data, bool allow_inline);
    void free_long_values(Bytes row);
    void remove_row(RowId id, bool guarded);
    const std::vector<bool>& indexed_columns();
    LongValuePages& long_value_pages(const Column& c);
    std::uint32_t long_value_page(const Column& c, std::size_t size);
    std::size_t long_value_room(std::uint32_t page);
    RoomIndex& long_value_rooms(LongValuePages& lv);
    void long_value_changed(LongValuePages& lv, std::uint32_t page);
    RowId place(Bytes row, std::uint16_t flags);

    std::uint32_t new_data_page();
    void note_space(std::uint32_t page);
    IndexTree& tree(std::size_t physical);
    UsageMap& index_map(std::size_t physical);

    PageFile& file_;
    PageAllocator& pages_;
    TableDef def_;
    std::uint16_t sort_order_;
    UsageMap owned_;
    UsageMap free_;
    std::vector<std::unique_ptr<IndexTree>> trees_;
    std::vector<std::unique_ptr<UsageMap>> index_maps_;
    std::vector<std::uint32_t> index_rows_;
    std::uint32_t insert_page_ = 0;
    std::map<std::uint16_t, LongValuePages> long_pages_;
    RelationGuard* guard_ = nullptr;
    std::vector<bool> indexed_;
};

}  // namespace jet
