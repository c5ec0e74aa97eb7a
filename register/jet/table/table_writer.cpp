#include "jet/table_writer.h"

#include <algorithm>
#include <map>

#include "table/file_named.h"
#include "format/data_page.h"
#include "storage/free_pages.h"
#include "btree/index.h"
#include "btree/index_tree.h"
#include "format/long_value.h"
#include "storage/page_file.h"
#include "table/relations.h"
#include "table/row_preparer.h"
#include "storage/room_index.h"
#include "format/row.h"
#include "format/row_encode.h"
#include "format/table_def_read.h"
#include "format/tdef_layout.h"
#include "jet/text.h"
#include "format/usage_map.h"

namespace jet {

namespace {

constexpr std::size_t kInlineLongValue = 64;  // longer long values go to their own pages
constexpr std::size_t kSinglePage = 4076;     // at most this much in one long-value row
constexpr std::size_t kChunk = kSinglePage - 4;  // a chained row's bytes after its link
constexpr std::size_t kFullPage = 64;               // a page with less room counts as full
constexpr std::size_t kMinPiece = 512;              // a chained long value's pieces are at least this long, where they can be

void put32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

void append_long_header(std::vector<std::uint8_t>& out, std::uint32_t length_and_flags, std::uint32_t pointer) {
    const std::size_t at = out.size();
    out.resize(at + kLongValueHeader, 0);
    put32(out.data() + at, length_and_flags);
    put32(out.data() + at + kLongValuePointer, pointer);
}

[[noreturn]] void refuse(const std::string& why, Reason reason, const std::string& subject = {}) {
    throw Error(ErrorKind::Constraint, why, reason, subject);
}

}  // namespace

// What a writer keeps between changes: the table's definition as it changes,
// its maps and index trees as far as they were touched, and where new rows go.
struct TableWriter::Impl {
    Impl(TableWriter& self, PageFile& file, PageAllocator& pages, std::uint32_t definition_page,
         std::uint16_t default_sort_order);

    RowId insert(std::vector<Value>& values);
    void update(RowId id, std::vector<Value> values);
    std::vector<RowId> rows_with(const std::vector<std::string>& columns, const std::vector<Value>& values);
    std::optional<std::vector<Value>> read(RowId id);
    void finish();

    TableWriter& self_;  // the writer a relationship is told of

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
    void lay_out(const RowFields& f, std::vector<std::uint8_t>& row);
    RowId insert_prepared(PreparedRow& row);
    bool same_layout(const PreparedLayout& layout);
    struct LongValuePages {
        std::unique_ptr<UsageMap> used;
        std::unique_ptr<UsageMap> free;
        std::optional<RoomIndex> rooms;
    };
    // Stores a long value's bytes (in the row itself where allowed and short
    // enough) and appends its field to the row being laid out.
    void store_long(const Column& c, Bytes data, bool allow_inline, std::vector<std::uint8_t>& field);
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
    std::shared_ptr<const PreparedLayout> checked_layout_;  // the last layout found the same as def_
    std::vector<std::uint8_t> row_bytes_;                   // the row being inserted, kept between rows

};

TableWriter::TableWriter(PageFile& file, PageAllocator& pages, std::uint32_t definition_page, std::uint16_t default_sort_order)
    : impl_(std::make_unique<Impl>(*this, file, pages, definition_page, default_sort_order)) {}

TableWriter::~TableWriter() = default;

const TableDef& TableWriter::def() const { return impl_->def_; }
RowId TableWriter::insert(std::vector<Value>& values) {
    return on_file(impl_->file_.path(), [&] { return impl_->insert(values); });
}
RowId TableWriter::insert(PreparedRow& row) {
    return on_file(impl_->file_.path(), [&] { return impl_->insert_prepared(row); });
}
std::shared_ptr<const PreparedLayout> TableWriter::layout() const {
    return std::make_shared<const PreparedLayout>(PreparedLayout{impl_->def_, impl_->sort_order_});
}
void TableWriter::update(RowId id, std::vector<Value> values) {
    on_file(impl_->file_.path(), [&] { impl_->update(id, std::move(values)); });
}
void TableWriter::remove(RowId id) {
    on_file(impl_->file_.path(), [&] { impl_->remove_row(id, true); });
}
void TableWriter::remove_related(RowId id) { impl_->remove_row(id, false); }
std::vector<RowId> TableWriter::rows_with(const std::vector<std::string>& columns, const std::vector<Value>& values) {
    return impl_->rows_with(columns, values);
}
void TableWriter::continue_numbering_from(std::uint32_t last) {
    impl_->def_.next_autonumber = std::max(impl_->def_.next_autonumber, last);
}
void TableWriter::set_guard(RelationGuard* guard) { impl_->guard_ = guard; }
std::optional<std::vector<Value>> TableWriter::read(RowId id) {
    return on_file(impl_->file_.path(), [&] { return impl_->read(id); });
}
void TableWriter::finish() { impl_->finish(); }

TableWriter::Impl::Impl(TableWriter& self, PageFile& file, PageAllocator& pages, std::uint32_t definition_page,
                        std::uint16_t default_sort_order)
    : self_(self),
      file_(file),
      pages_(pages),
      def_(read_table_def(file, definition_page)),
      sort_order_(default_sort_order),
      owned_(file, def_.used_pages),
      free_(file, def_.free_pages) {
    // insert() fills autonumber columns with a number or a GUID and update()
    // carries their old values over unchecked, so the flag must match the type.
    for (const Column& c : def_.columns) {
        if (((c.flags & Column::kAutoLong) && c.type != ColumnType::Long) ||
            ((c.flags & Column::kAutoGuid) && c.type != ColumnType::Guid)) {
            damaged("column " + c.name + " of type " + type_name(c.type) + " is marked as an autonumber");
        }
    }
    if (auto why = shared_usage_map(def_, kFreePagesMap.pointer())) damaged(*why);
    for (const PhysicalIndex& x : def_.physical_indexes) {
        if (auto why = unsupported_reason(def_, x, sort_order_)) {
            throw Error(ErrorKind::Unsupported, "the table cannot be changed: " + *why, Reason::SortOrder);
        }
        index_rows_.push_back(x.row_count);
    }
    trees_.resize(def_.physical_indexes.size());
    index_maps_.resize(def_.physical_indexes.size());
}


IndexTree& TableWriter::Impl::tree(std::size_t i) {
    if (!trees_[i]) {
        trees_[i] = std::make_unique<IndexTree>(
            file_, def_.page, def_.physical_indexes[i].root_page,
            [this, i] {
                std::uint32_t p = pages_.allocate(PageRole::Content);
                index_map(i).add(p);
                return p;
            },
            [this, i](std::uint32_t p) {
                index_map(i).remove(p);
                pages_.release(p);
            });
    }
    return *trees_[i];
}

UsageMap& TableWriter::Impl::index_map(std::size_t i) {
    if (!index_maps_[i]) index_maps_[i] = std::make_unique<UsageMap>(file_, def_.physical_indexes[i].used_pages);
    return *index_maps_[i];
}

std::optional<TableWriter::Impl::Located> TableWriter::Impl::locate(RowId id) {
    PagePtr keep;
    std::optional<data_page::Followed> f = data_page::follow_row(file_, def_.page, id, keep);
    if (!f) return std::nullopt;
    return Located{id, f->moved, std::vector<std::uint8_t>(f->bytes.begin(), f->bytes.end())};
}

std::optional<std::vector<Value>> TableWriter::Impl::read(RowId id) {
    std::optional<Located> l = locate(id);
    if (!l) return std::nullopt;
    return decode_row(file_, def_, Bytes(l->bytes.data(), l->bytes.size()));
}

// Values checked and converted for their columns; autonumbers filled in.
std::vector<Value> TableWriter::Impl::prepare(std::vector<Value> values, const std::vector<Value>* old) {
    if (values.size() > def_.columns.size()) refuse("more values than the table " + std::to_string(def_.columns.size()) + " has columns", Reason::WrongType);
    values.resize(def_.columns.size(), Null{});
    for (std::size_t i = 0; i < def_.columns.size(); ++i) {
        const Column& c = def_.columns[i];
        if (old && c.autonumber()) {
            values[i] = (*old)[i];
            continue;
        }
        values[i] = coerce(c, std::move(values[i]));
    }
    return values;
}

std::vector<std::optional<std::vector<std::uint8_t>>> TableWriter::Impl::keys(const std::vector<Value>& values) {
    std::vector<std::optional<std::vector<std::uint8_t>>> out;
    for (const PhysicalIndex& x : def_.physical_indexes) out.push_back(index_key(def_, x, values, sort_order_));
    return out;
}

void TableWriter::Impl::check_keys(const std::vector<std::optional<std::vector<std::uint8_t>>>& k,
                             const std::vector<std::optional<std::vector<std::uint8_t>>>* old, const std::vector<Value>& values) {
    for (std::size_t i = 0; i < def_.physical_indexes.size(); ++i) {
        const PhysicalIndex& x = def_.physical_indexes[i];
        bool primary = false;
        std::string name;
        for (const LogicalIndex& li : def_.indexes) {
            if (li.physical != i) continue;
            primary = primary || li.primary_key();
            if (name.empty()) name = li.name;
        }
        bool any_null = false, all_null = true;
        for (const IndexColumn& ic : x.columns) {
            const Column* c = def_.column_by_number(ic.column_number);
            bool n = is_null(values[static_cast<std::size_t>(c - def_.columns.data())]);
            any_null = any_null || n;
            all_null = all_null && n;
            if (n && (primary || (x.flags & PhysicalIndex::kRequired))) refuse("column " + c->name + " may not be empty: it is part of index " + name, Reason::Required, c->name);
        }
        if (!k[i] || all_null) continue;
        if (!(primary || (x.flags & PhysicalIndex::kUnique))) continue;
        if (old && (*old)[i] == k[i]) continue;
        if (tree(i).contains_key(*k[i])) refuse("the value is already in the table, and index " + name + " allows it only once", Reason::Duplicate, name);
    }
}

TableWriter::Impl::LongValuePages& TableWriter::Impl::long_value_pages(const Column& c) {
    auto [it, fresh] = long_pages_.try_emplace(c.number);
    if (fresh) {
        for (const LongValueMaps& m : def_.long_value_maps) {
            if (m.column_number != c.number) continue;
            try {
                it->second.used = std::make_unique<UsageMap>(file_, m.used_pages);
                it->second.free = std::make_unique<UsageMap>(file_, m.free_pages);
            } catch (const Error&) {
                // Maps we cannot read are left alone; the column's new pages go unlisted.
                it->second.used.reset();
                it->second.free.reset();
            }
        }
    }
    return it->second;
}

// How long a row a long-value page takes, or 0 for a page that is none.
std::size_t TableWriter::Impl::long_value_room(std::uint32_t page) {
    Bytes b = bytes_of(*file_.page(page));
    if (b[0] != static_cast<std::uint8_t>(PageType::Data) || u32(b, data_page::kOwner) != data_page::kLongValueMark) return 0;
    return data_page::largest_row(b);
}

// The pages of the column's free-space map by their room, made when first
// needed in the group; pages with hardly any room leave the map, as Jet does.
RoomIndex& TableWriter::Impl::long_value_rooms(LongValuePages& lv) {
    if (!lv.rooms) {
        lv.rooms.emplace();
        if (lv.free) {
            std::vector<std::uint32_t> full;
            for (std::uint32_t p : lv.free->pages()) {
                const std::size_t room = long_value_room(p);
                if (room < kFullPage) full.push_back(p);
                else lv.rooms->set(p, room);
            }
            for (std::uint32_t p : full) lv.free->remove(p);
        }
    }
    return *lv.rooms;
}

// After a long-value page changed: its room, or its leaving the map when full.
// The rooms are not looked up for this: a group that only removes long
// values (a delete, a move's source) never reads the whole free-space map.
void TableWriter::Impl::long_value_changed(LongValuePages& lv, std::uint32_t page) {
    const std::size_t room = long_value_room(page);
    if (room < kFullPage) {
        if (lv.rooms) lv.rooms->erase(page);
        if (lv.free) lv.free->remove(page);
    } else {
        if (lv.rooms) lv.rooms->set(page, room);
        if (lv.free) lv.free->add(page);
    }
}

// A long-value page with room for a row of `size`: the column's page that
// fits it best, or a new one.
std::uint32_t TableWriter::Impl::long_value_page(const Column& c, std::size_t size) {
    LongValuePages& lv = long_value_pages(c);
    if (std::optional<std::uint32_t> p = long_value_rooms(lv).best_fit(size)) return *p;
    const std::uint32_t page = pages_.allocate(PageRole::Content);
    data_page::init(file_.edit(page, PageRole::Content), data_page::kLongValueMark);
    if (lv.used) lv.used->add(page);
    long_value_changed(lv, page);
    return page;
}

void TableWriter::Impl::store_long(const Column& c, Bytes data, bool allow_inline, std::vector<std::uint8_t>& field) {
    auto length = static_cast<std::uint32_t>(data.size());
    if (data.size() > kLongValueLengthMask) refuse("a long value larger than the format allows", Reason::TooLong, c.name);
    if (allow_inline && data.size() <= kInlineLongValue) {
        append_long_header(field, length | kLongValueInline, 0);
        field.insert(field.end(), data.begin(), data.end());
        return;
    }
    LongValuePages& lv = long_value_pages(c);
    if (data.size() <= kSinglePage) {
        std::uint32_t p = long_value_page(c, data.size());
        std::uint16_t r = data_page::add(file_.edit(p, PageRole::Content), Bytes(data.data(), data.size()));
        long_value_changed(lv, p);
        append_long_header(field, length | kLongValueSinglePage, RowId{p, r}.pointer());
        return;
    }
    // A chain: each piece names the next; written from the last piece back.
    // A piece takes the room a page has (a whole page at most), so pages that
    // deletes left partly free fill up again.
    std::uint32_t next = 0;
    for (std::size_t end = data.size(); end > 0;) {
        const std::size_t want = std::min(kChunk, end);
        const std::uint32_t p = long_value_page(c, 4 + std::min(want, kMinPiece));
        const std::size_t len = std::min(want, long_value_room(p) - 4);
        const std::size_t from = end - len;
        std::vector<std::uint8_t> row(4 + len);
        put32(row.data(), next);
        std::copy(data.begin() + static_cast<std::ptrdiff_t>(from), data.begin() + static_cast<std::ptrdiff_t>(end), row.begin() + 4);
        std::uint16_t r = data_page::add(file_.edit(p, PageRole::Content), Bytes(row.data(), row.size()));
        long_value_changed(lv, p);
        next = RowId{p, r}.pointer();
        end = from;
    }
    append_long_header(field, length, next);
}

void TableWriter::Impl::free_long_values(Bytes row) {
    RowBytes rb(row, def_);
    for (const Column& c : def_.columns) {
        if (!is_long_value(c.type) || !rb.present(c)) continue;
        Bytes f = rb.field(c);
        if (f.size() < kLongValueHeader) continue;
        std::uint32_t head = u32(f, 0);
        if (head & kLongValueInline) continue;
        std::uint32_t pointer = u32(f, kLongValuePointer);
        bool single = (head & kLongValueSinglePage) != 0;
        for (std::uint32_t hops = 0; pointer != 0; ++hops) {
            if (hops > file_.page_count()) damaged("a long value's page chain loops");
            RowId id = RowId::from_pointer(pointer);
            bool deleted = false;
            {
                // Let go before the page is changed: a page no one else holds is changed where it lies.
                PagePtr p = file_.page_of_type(id.page, PageType::Data, "long value");
                data_page::Slot s = data_page::slot(bytes_of(*p), id.row);
                deleted = s.deleted();
                pointer = single || deleted ? 0 : u32(s.bytes, 0);
            }
            if (!deleted) {
                data_page::remove(file_.edit(id.page, PageRole::Content), id.row);
                long_value_changed(long_value_pages(c), id.page);
            }
        }
    }
}

// The row from its fields, its long values stored: inline where they are
// short enough and the row still fits a page, else on long-value pages.
void TableWriter::Impl::lay_out(const RowFields& f, std::vector<std::uint8_t>& row) {
    // The row with its long values as bare references must fit a page before anything is stored.
    if (row_size(f, [](std::size_t) { return kLongValueHeader; }) > data_page::kMaxRowSize) {
        refuse("the row is larger than a page holds", Reason::RowTooLarge);
    }
    const bool with_inline =
        row_size(f, [](std::size_t n) { return kLongValueHeader + (n <= kInlineLongValue ? n : 0); }) <= data_page::kMaxRowSize;
    lay_out_row(def_, f, [&](const Column& c, Bytes data, std::vector<std::uint8_t>& out) { store_long(c, data, with_inline, out); }, row);
}

std::uint32_t TableWriter::Impl::new_data_page() {
    std::uint32_t p = pages_.allocate(PageRole::Content);
    data_page::init(file_.edit(p, PageRole::Content), def_.page);
    owned_.add(p);
    free_.add(p);
    return p;
}

// A page that gained room goes back into the free-space map.
void TableWriter::Impl::note_space(std::uint32_t page) {
    if (data_page::has_room(bytes_of(*file_.page(page)), kFullPage)) free_.add(page);
}

// Rows go in the order they come: onto the page the last one went to while it
// has room, else onto the first page of the free-space map that takes them (a
// page that does not leaves the map, as Jet does), else onto a new page. A
// register filled this way lists its rows in the order they were added.
RowId TableWriter::Impl::place(Bytes row, std::uint16_t flags) {
    std::uint32_t page = 0;
    if (insert_page_ != 0 && data_page::has_room(bytes_of(*file_.page(insert_page_)), row.size())) page = insert_page_;
    while (page == 0 && !free_.pages().empty()) {
        std::uint32_t p = free_.pages().front();
        Bytes b = bytes_of(*file_.page(p));
        if (b[0] == static_cast<std::uint8_t>(PageType::Data) && u32(b, data_page::kOwner) == def_.page &&
            data_page::has_room(b, row.size())) {
            page = p;
        } else {
            free_.remove(p);
        }
    }
    if (page == 0) page = new_data_page();
    insert_page_ = page;
    std::uint16_t r = data_page::add(file_.edit(page, PageRole::Content), row, flags);
    return {page, r};
}

RowId TableWriter::Impl::insert(std::vector<Value>& values) {
    PreparedRow row;
    prepare_row(def_, sort_order_, std::move(values), row);
    RowId id = insert_prepared(row);
    values = std::move(row.values);
    return id;
}

bool TableWriter::Impl::same_layout(const PreparedLayout& layout) {
    if (&layout == checked_layout_.get()) return true;
    return layout.sort_order == sort_order_ && jet::same_layout(layout.def, def_);
}

RowId TableWriter::Impl::insert_prepared(PreparedRow& row) {
    if (row.layout) {
        if (!same_layout(*row.layout)) {
            // Prepared for the table as it was defined before: made again.
            std::vector<Value> values = std::move(row.values);
            row.layout.reset();
            prepare_row(def_, sort_order_, std::move(values), row);
        } else {
            checked_layout_ = row.layout;
        }
    }
    std::vector<Value>& v = row.values;
    std::uint32_t last = def_.next_autonumber;
    auto next_number = [&] {
        if (last >= 0x7FFFFFFFu) refuse("the table has used up its autonumber values", Reason::NumbersUsedUp);
        return last + 1;
    };
    if (row.number_column >= 0) {
        const auto i = static_cast<std::size_t>(row.number_column);
        const std::uint32_t n = next_number();
        v[i] = static_cast<std::int64_t>(n);
        put32(row.fields.head.data() + 2 + def_.columns[i].fixed_offset, n);
        for (std::size_t x = 0; x < def_.physical_indexes.size() && row.keys_made; ++x) {
            if (index_uses(def_, def_.physical_indexes[x], i)) row.keys[x] = index_key(def_, def_.physical_indexes[x], v, sort_order_);
        }
    } else if (!row.encoded) {
        // Several AutoNumber columns to fill: the row is made here whole.
        for (std::size_t i = 0; i < def_.columns.size(); ++i) {
            if ((def_.columns[i].flags & Column::kAutoLong) && is_null(v[i])) v[i] = static_cast<std::int64_t>(next_number());
        }
        encode_fields(def_, v, row.fields);
        row.encoded = true;
        row.keys_made = false;
    }
    if (!row.keys_made) {
        row.keys = keys(v);
        row.keys_made = true;
    }
    check_keys(row.keys, nullptr, v);
    if (guard_) guard_->inserting(self_, v);
    for (std::size_t i = 0; i < def_.columns.size(); ++i) {
        if ((def_.columns[i].flags & Column::kAutoLong) && std::holds_alternative<std::int64_t>(v[i])) {
            auto n = std::get<std::int64_t>(v[i]);
            if (n > static_cast<std::int64_t>(last)) last = static_cast<std::uint32_t>(n);
        }
    }
    lay_out(row.fields, row_bytes_);
    RowId id = place(Bytes(row_bytes_.data(), row_bytes_.size()), 0);
    for (std::size_t i = 0; i < row.keys.size(); ++i) {
        if (!row.keys[i]) continue;
        tree(i).insert(IndexEntry{std::move(*row.keys[i]), id});
        ++index_rows_[i];
    }
    def_.next_autonumber = last;
    ++def_.row_count;
    return id;
}

void TableWriter::Impl::update(RowId id, std::vector<Value> values) {
    std::optional<Located> l = locate(id);
    if (!l) throw Error(ErrorKind::RowDeleted, "the row was deleted");
    Bytes old_bytes(l->bytes.data(), l->bytes.size());
    std::vector<Value> old = decode_row(file_, def_, old_bytes);
    std::vector<Value> v = prepare(std::move(values), &old);
    auto old_keys = keys(old);
    auto new_keys = keys(v);
    check_keys(new_keys, &old_keys, v);
    if (guard_) guard_->updating(self_, old, v);
    // Checked first: the new row must fit a page.
    RowFields fields;
    encode_fields(def_, v, fields);
    if (row_size(fields, [](std::size_t) { return kLongValueHeader; }) > data_page::kMaxRowSize) {
        refuse("the row is larger than a page holds", Reason::RowTooLarge);
    }
    free_long_values(old_bytes);
    std::vector<std::uint8_t> row;
    lay_out(fields, row);
    Bytes rb(row.data(), row.size());
    RowId at = l->moved.value_or(id);
    std::uint16_t flags = l->moved ? data_page::kDeleted : 0;
    if (!data_page::replace(file_.edit(at.page, PageRole::Content), at.row, rb, flags)) {
        // No room where it lies: the bytes move to another page and the row's
        // own slot keeps a pointer to them.
        if (l->moved) data_page::remove(file_.edit(at.page, PageRole::Content), at.row);
        RowId to = place(rb, data_page::kDeleted);
        std::uint8_t pointer[4];
        put32(pointer, to.pointer());
        if (!data_page::replace(file_.edit(id.page, PageRole::Content), id.row, Bytes(pointer, 4), data_page::kOverflow)) {
            damaged("no room on a data page for a moved row's pointer");
        }
        note_space(id.page);
    }
    note_space(at.page);
    for (std::size_t i = 0; i < new_keys.size(); ++i) {
        if (old_keys[i] == new_keys[i]) continue;
        if (old_keys[i]) {
            tree(i).remove(IndexEntry{*old_keys[i], id});
            --index_rows_[i];
        }
        if (new_keys[i]) {
            tree(i).insert(IndexEntry{*new_keys[i], id});
            ++index_rows_[i];
        }
    }
    if (guard_) guard_->updated(self_, old, v);
}

std::vector<RowId> TableWriter::Impl::rows_with(const std::vector<std::string>& columns, const std::vector<Value>& values) {
    for (std::size_t i = 0; i < def_.physical_indexes.size(); ++i) {
        const PhysicalIndex& x = def_.physical_indexes[i];
        if (x.columns.size() != columns.size()) continue;
        bool same = true;
        for (std::size_t k = 0; k < columns.size() && same; ++k) {
            const Column* c = def_.column_by_number(x.columns[k].column_number);
            same = c && same_name(c->name, columns[k]);
        }
        if (!same) continue;
        std::vector<Value> row(def_.columns.size(), Null{});
        try {
            for (std::size_t k = 0; k < columns.size(); ++k) {
                const Column* c = def_.find_column(columns[k]);
                row[static_cast<std::size_t>(c - def_.columns.data())] = coerce(*c, values[k]);
            }
        } catch (const Error& e) {
            if (e.kind() == ErrorKind::Constraint) return {};  // a value these columns cannot hold names no row
            throw;
        }
        std::optional<std::vector<std::uint8_t>> key = index_key(def_, x, row, sort_order_);
        return key ? tree(i).find(*key) : std::vector<RowId>{};
    }
    throw Error(ErrorKind::Unsupported, "no index holds the columns of a relationship, so related rows cannot be found exactly");
}

// The columns (by ordinal) some index of the table takes its key from.
const std::vector<bool>& TableWriter::Impl::indexed_columns() {
    if (indexed_.empty()) {
        indexed_.assign(def_.columns.size(), false);
        for (const PhysicalIndex& x : def_.physical_indexes) {
            for (const IndexColumn& ic : x.columns) {
                if (const Column* c = def_.column_by_number(ic.column_number)) indexed_[static_cast<std::size_t>(c - def_.columns.data())] = true;
            }
        }
        // Nothing indexed: one column all the same, as an empty list means every column.
        if (std::find(indexed_.begin(), indexed_.end(), true) == indexed_.end() && !indexed_.empty()) indexed_[0] = true;
    }
    return indexed_;
}

void TableWriter::Impl::remove_row(RowId id, bool guarded) {
    std::optional<Located> l = locate(id);
    if (!l) throw Error(ErrorKind::RowDeleted, "the row was already deleted");
    Bytes bytes(l->bytes.data(), l->bytes.size());
    // The indexes need only their own columns; relationships may name any.
    std::vector<Value> old;
    decode_row(file_, def_, bytes, old, guard_ ? std::vector<bool>{} : indexed_columns());
    if (guarded && guard_) guard_->removing(self_, id, old);
    auto k = keys(old);
    for (std::size_t i = 0; i < k.size(); ++i) {
        if (!k[i]) continue;
        tree(i).remove(IndexEntry{std::move(*k[i]), id});
        --index_rows_[i];
    }
    free_long_values(bytes);
    if (l->moved) {
        data_page::remove(file_.edit(l->moved->page, PageRole::Content), l->moved->row);
        note_space(l->moved->page);
    }
    data_page::remove(file_.edit(id.page, PageRole::Content), id.row);
    note_space(id.page);
    if (def_.row_count > 0) --def_.row_count;
    if (guarded && guard_) guard_->delete_gathered();
}

void TableWriter::Impl::finish() {
    for (auto& t : trees_) {
        if (t) t->flush();
    }
    auto allocate = [this] { return pages_.allocate(PageRole::Map); };
    owned_.store(allocate);
    free_.store(allocate);
    for (auto& m : index_maps_) {
        if (m) m->store(allocate);
    }
    for (auto& [column, lv] : long_pages_) {
        if (lv.used) lv.used->store(allocate);
        if (lv.free) lv.free->store(allocate);
    }
    PageData& p = file_.edit(def_.page, PageRole::Map);
    put32(p.data() + tdef::kRowCount, def_.row_count);
    put32(p.data() + tdef::kAutonumber, def_.next_autonumber);
    for (std::size_t i = 0; i < index_rows_.size(); ++i) {
        std::size_t at = tdef::kBlockStart + tdef::kPhysicalCountEntry * i + tdef::kPhysicalRowCount;
        if (at + 4 <= kPageSize) put32(p.data() + at, index_rows_[i]);
    }
}

}  // namespace jet
