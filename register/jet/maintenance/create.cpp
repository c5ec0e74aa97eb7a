#include "jet/create.h"

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>

#include "table/catalog.h"
#include "format/data_page.h"
#include "storage/free_pages.h"
#include "btree/general_sort.h"
#include "format/header.h"
#include "btree/index_tree.h"
#include "jet/pending_move.h"
#include "jet/platform.h"
#include "format/tdef_layout.h"
#include "jet/text.h"
#include "format/usage_map.h"
#include "table/database_insides.h"

namespace jet {

namespace {

constexpr std::uint32_t kMagic = 1625;          // a constant Jet writes into column and index blocks
constexpr std::uint32_t kPhysicalMagic = 1923;
constexpr std::size_t kMapRow = 69;             // a usage map row: kind, start page, 64 bitmap bytes
constexpr std::int32_t kTablesContainer = 0x0F000001;
const std::vector<std::uint8_t> kAdminsOwner{0xA6, 0x33};

class Buf {
public:
    std::vector<std::uint8_t> b;
    void u8(std::uint32_t v) { b.push_back(static_cast<std::uint8_t>(v)); }
    void u16(std::uint32_t v) {
        u8(v & 0xFF);
        u8((v >> 8) & 0xFF);
    }
    void u32(std::uint32_t v) {
        u16(v & 0xFFFF);
        u16(v >> 16);
    }
    void zeros(std::size_t n) { b.insert(b.end(), n, 0); }
    void name(const std::string& s) {
        std::vector<std::uint8_t> t = encode_text(to_utf16(s), false);
        u16(static_cast<std::uint32_t>(t.size()));
        b.insert(b.end(), t.begin(), t.end());
    }
    void put16(std::size_t at, std::uint32_t v) {
        b[at] = static_cast<std::uint8_t>(v);
        b[at + 1] = static_cast<std::uint8_t>(v >> 8);
    }
    void put32(std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
    }
};

double now_as_date() {
    using namespace std::chrono;
    double unix_days = duration<double>(system_clock::now().time_since_epoch()).count() / 86400.0;
    return unix_days + 25569.0;  // 1970-01-01 is day 25569
}

// A column laid out for the definition.
struct Laid {
    const ColumnSpec* spec;
    std::uint16_t number, var_index, fixed_offset, length;
    std::uint8_t flags, misc;
    bool fixed;
};

std::vector<Laid> lay_out(const TableSpec& spec, std::uint16_t& var_count) {
    std::vector<Laid> cols;
    std::uint16_t fixed_at = 0, next_var = 0;
    var_count = 0;
    for (const ColumnSpec& c : spec.columns) {
        if (c.type == ColumnType::Text || c.type == ColumnType::Binary || is_long_value(c.type)) ++var_count;
    }
    // Long values take the variable slots after all the other variable columns.
    std::uint16_t next_long = 0;
    for (const ColumnSpec& c : spec.columns) {
        if (c.type == ColumnType::Text || c.type == ColumnType::Binary) ++next_long;
    }
    for (std::size_t i = 0; i < spec.columns.size(); ++i) {
        const ColumnSpec& c = spec.columns[i];
        Laid l{&c, static_cast<std::uint16_t>(i), 0, 0, 0, 0x02, 0, false};
        if (c.autonumber && c.type != ColumnType::Long) throw Error(ErrorKind::Constraint, "only a Long column can be an autonumber: " + c.name);
        switch (c.type) {
            case ColumnType::Text:
                if (c.chars == 0 || c.chars > 255) throw Error(ErrorKind::Constraint, "a text column holds 1 to 255 characters: " + c.name);
                l.length = static_cast<std::uint16_t>(c.chars * 2);
                l.var_index = next_var++;
                if (!spec.system) l.misc = Column::kCompressedUnicode;
                break;
            case ColumnType::Binary:
                if (c.chars == 0 || c.chars > 255) throw Error(ErrorKind::Constraint, "a binary column holds 1 to 255 bytes: " + c.name);
                l.length = c.chars;
                l.var_index = next_var++;
                break;
            case ColumnType::Memo:
            case ColumnType::Ole:
                l.var_index = next_long++;
                if (c.type == ColumnType::Memo && !spec.system) l.misc = Column::kCompressedUnicode;
                break;
            case ColumnType::Boolean:
                l.fixed = true;
                l.length = 1;
                l.var_index = next_var;
                break;
            default:
                l.fixed = true;
                l.length = static_cast<std::uint16_t>(fixed_size(c.type));
                l.fixed_offset = fixed_at;
                l.var_index = next_var;
                fixed_at = static_cast<std::uint16_t>(fixed_at + l.length);
                break;
        }
        if (l.fixed) l.flags |= Column::kFixed;
        if (c.autonumber) l.flags |= Column::kAutoLong;
        cols.push_back(l);
    }
    return cols;
}

std::size_t column_ordinal(const TableSpec& spec, const std::string& name) {
    for (std::size_t i = 0; i < spec.columns.size(); ++i) {
        if (same_name(spec.columns[i].name, name)) return i;
    }
    throw Error(ErrorKind::Constraint, "index names a column the table lacks: " + name);
}

std::uint8_t index_flags(const IndexSpec& x) {
    std::uint8_t f = 0x80;
    if (x.unique || x.primary_key) f |= PhysicalIndex::kUnique;
    if (x.ignore_nulls) f |= PhysicalIndex::kIgnoreNulls;
    if (x.required || x.primary_key) f |= PhysicalIndex::kRequired;
    return f;
}

// Pages a new table needs, taken before its definition is written.
struct Placement {
    std::vector<std::uint32_t> definition_pages;
    std::uint32_t map_page = 0;
    std::vector<std::uint32_t> roots;
};

std::vector<std::uint8_t> definition_bytes(const TableSpec& spec, const Placement& at) {
    std::uint16_t var_count = 0;
    std::vector<Laid> cols = lay_out(spec, var_count);
    std::size_t nidx = spec.indexes.size();
    Buf d;
    // The header: free space and next page are set per page, the length below,
    // the rows and the last autonumber start at 0.
    d.zeros(tdef::kBlockStart);
    d.b[0] = static_cast<std::uint8_t>(PageType::TableDef);
    d.b[1] = 0x01;
    d.put32(tdef::kMagic, kMagic);
    d.b[tdef::kAutonumberFlag] = 0x01;
    d.b[tdef::kTableType] = spec.system ? 0x53 : 0x4E;
    d.put16(tdef::kMaxColumns, static_cast<std::uint32_t>(cols.size()));
    d.put16(tdef::kVarColumns, var_count);
    d.put16(tdef::kColumnCount, static_cast<std::uint32_t>(cols.size()));
    d.put32(tdef::kLogicalIndexCount, static_cast<std::uint32_t>(nidx));
    d.put32(tdef::kPhysicalIndexCount, static_cast<std::uint32_t>(nidx));
    d.put32(tdef::kUsedPages, RowId{at.map_page, 0}.pointer());
    d.put32(tdef::kFreePages, RowId{at.map_page, 1}.pointer());
    d.zeros(tdef::kPhysicalCountEntry * nidx);
    // Each block's entries as long as the reader takes them.
    auto entry_ends = [&](std::size_t start, std::size_t size) {
        if (d.b.size() != start + size) internal_fault("a table definition's entry has the wrong length");
    };
    // And each field where the reader takes it.
    auto field = [&](std::size_t start, std::size_t offset) {
        if (d.b.size() != start + offset) internal_fault("a table definition's field is out of place");
    };
    for (const Laid& c : cols) {
        const std::size_t start = d.b.size();
        field(start, tdef::column::kType);
        d.u8(static_cast<std::uint8_t>(c.spec->type));
        d.u32(kMagic);
        field(start, tdef::column::kNumber);
        d.u16(c.number);
        field(start, tdef::column::kVarIndex);
        d.u16(c.var_index);
        d.u16(c.number);
        if (c.spec->type == ColumnType::Text || c.spec->type == ColumnType::Memo) {
            field(start, tdef::column::kSortOrder);
            d.u16(kGeneralSortOrder);
            d.u8(0);
            field(start, tdef::column::kSortVersion);
            d.u8(0);  // version of the General order: that of Access 2000-2003
        } else if (c.spec->type == ColumnType::Decimal) {
            field(start, tdef::column::kPrecision);
            d.u8(c.spec->precision);
            field(start, tdef::column::kScale);
            d.u8(c.spec->scale);
            d.u16(0);
        } else {
            d.u32(0);
        }
        field(start, tdef::column::kFlags);
        d.u8(c.flags);
        field(start, tdef::column::kMiscFlags);
        d.u8(c.misc);
        d.u32(0);
        field(start, tdef::column::kFixedOffset);
        d.u16(c.fixed_offset);
        field(start, tdef::column::kLength);
        d.u16(c.length);
        entry_ends(start, tdef::kColumnEntry);
    }
    for (const Laid& c : cols) d.name(c.spec->name);
    for (std::size_t i = 0; i < nidx; ++i) {
        const IndexSpec& x = spec.indexes[i];
        if (x.columns.empty() || x.columns.size() > tdef::kMaxIndexColumns) {
            throw Error(ErrorKind::Constraint, "an index takes 1 to 10 columns: " + x.name);
        }
        const std::size_t start = d.b.size();
        d.u32(kPhysicalMagic);
        field(start, tdef::physical::kColumns);
        for (std::size_t k = 0; k < tdef::kMaxIndexColumns; ++k) {
            if (k < x.columns.size()) {
                d.u16(static_cast<std::uint32_t>(column_ordinal(spec, x.columns[k].first)));
                d.u8(x.columns[k].second ? 0x01 : 0x00);
            } else {
                d.u16(0xFFFF);
                d.u8(0);
            }
        }
        field(start, tdef::physical::kUsedPages);
        d.u32(RowId{at.map_page, static_cast<std::uint16_t>(2 + i)}.pointer());
        field(start, tdef::physical::kRootPage);
        d.u32(at.roots[i]);
        d.u32(0);
        field(start, tdef::physical::kFlags);
        d.u8(index_flags(x));
        d.zeros(5);
        entry_ends(start, tdef::kPhysicalEntry);
    }
    for (std::size_t i = 0; i < nidx; ++i) {
        const std::size_t start = d.b.size();
        d.u32(kMagic);
        field(start, tdef::logical::kNumber);
        d.u32(static_cast<std::uint32_t>(i));
        field(start, tdef::logical::kPhysical);
        d.u32(static_cast<std::uint32_t>(i));
        d.u8(0);
        field(start, tdef::logical::kRelatedIndex);
        d.u32(0xFFFFFFFF);
        field(start, tdef::logical::kRelatedTable);
        d.u32(0);
        d.u8(0);
        d.u8(0);
        field(start, tdef::logical::kKind);
        d.u8(spec.indexes[i].primary_key ? 1 : 0);
        d.u32(0);
        entry_ends(start, tdef::kLogicalEntry);
    }
    for (const IndexSpec& x : spec.indexes) d.name(x.name);
    // Each long-value column's own pair of maps.
    std::uint16_t row = static_cast<std::uint16_t>(2 + nidx);
    for (const Laid& c : cols) {
        if (!is_long_value(c.spec->type)) continue;
        d.u16(c.number);
        d.u32(RowId{at.map_page, row}.pointer());
        d.u32(RowId{at.map_page, static_cast<std::uint16_t>(row + 1)}.pointer());
        row = static_cast<std::uint16_t>(row + 2);
    }
    d.u16(0xFFFF);
    d.put32(tdef::kLength, static_cast<std::uint32_t>(d.b.size()));
    return d.b;
}

std::size_t long_columns(const TableSpec& spec) {
    std::size_t n = 0;
    for (const ColumnSpec& c : spec.columns) n += is_long_value(c.type) ? 1 : 0;
    return n;
}

std::size_t definition_page_count(const TableSpec& spec) {
    Placement probe;
    probe.roots.assign(spec.indexes.size(), 0);
    std::size_t len = definition_bytes(spec, probe).size();
    if (len <= kPageSize) return 1;
    return 1 + (len - kPageSize + (kPageSize - 8) - 1) / (kPageSize - 8);
}

void write_definition(PageFile& file, const TableSpec& spec, const Placement& at) {
    std::vector<std::uint8_t> d = definition_bytes(spec, at);
    std::size_t pos = 0;
    for (std::size_t i = 0; i < at.definition_pages.size(); ++i) {
        PageData p{};
        std::size_t header = i == 0 ? 0 : 8;
        std::size_t take = std::min(kPageSize - header, d.size() - pos);
        if (i == 0) {
            std::copy(d.begin(), d.begin() + static_cast<std::ptrdiff_t>(take), p.begin());
        } else {
            p[0] = static_cast<std::uint8_t>(PageType::TableDef);
            p[1] = 0x01;
            std::copy(d.begin() + static_cast<std::ptrdiff_t>(pos), d.begin() + static_cast<std::ptrdiff_t>(pos + take), p.begin() + 8);
        }
        pos += take;
        std::size_t unused = kPageSize - header - take;
        std::size_t free = unused > 8 ? unused - 8 : 0;
        p[2] = static_cast<std::uint8_t>(free & 0xFF);
        p[3] = static_cast<std::uint8_t>(free >> 8);
        std::uint32_t next = i + 1 < at.definition_pages.size() ? at.definition_pages[i + 1] : 0;
        for (int k = 0; k < 4; ++k) p[4 + static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(next >> (8 * k));
        file.write(at.definition_pages[i], p, PageRole::Map);
    }
}

// The page of the table's usage maps: owned pages, free space, one per index,
// two per long-value column.
void write_map_page(PageFile& file, const TableSpec& spec, const Placement& at) {
    PageData p{};
    data_page::init(p, 0);
    auto add = [&](const std::vector<std::uint8_t>& row) { data_page::add(p, Bytes(row.data(), row.size())); };
    add(UsageMap::empty_row(kMapRow, 0));
    add(UsageMap::empty_row(kMapRow, 0));
    for (std::uint32_t root : at.roots) {
        std::uint32_t start = root - root % 8;
        std::vector<std::uint8_t> row = UsageMap::empty_row(kMapRow, start);
        row[map_layout::kBitmap + (root - start) / 8] = static_cast<std::uint8_t>(1u << ((root - start) % 8));
        add(row);
    }
    for (std::size_t i = 0; i < 2 * long_columns(spec); ++i) add(UsageMap::empty_row(kMapRow, 0));
    file.write(at.map_page, p, PageRole::Map);
}

Placement place_table(PageFile& file, PageAllocator& pages, const TableSpec& spec) {
    if (2 + spec.indexes.size() + 2 * long_columns(spec) > 57) throw Error(ErrorKind::Constraint, "too many indexes and long-value columns for one table");
    Placement at;
    for (std::size_t i = 0, n = definition_page_count(spec); i < n; ++i) at.definition_pages.push_back(pages.allocate(PageRole::Map));
    at.map_page = pages.allocate(PageRole::Map);
    for (std::size_t i = 0; i < spec.indexes.size(); ++i) {
        std::uint32_t root = pages.allocate(PageRole::Content);
        file.write(root, IndexTree::empty_root(at.definition_pages.front()), PageRole::Content);
        at.roots.push_back(root);
    }
    write_definition(file, spec, at);
    write_map_page(file, spec, at);
    return at;
}

std::vector<Value> catalog_row(std::int32_t id, std::int32_t parent, const std::string& name, std::int64_t type, std::uint32_t flags, double when) {
    std::vector<Value> row(17, Null{});
    row[0] = std::int64_t{id};
    row[1] = std::int64_t{parent};
    row[2] = name;
    row[3] = type;
    row[4] = DateTime{when};
    row[5] = DateTime{when};
    row[6] = Binary{kAdminsOwner};
    row[7] = static_cast<std::int64_t>(static_cast<std::int32_t>(flags));
    return row;
}

// Full rights for the owner and the admins group on an object.
void add_rights(TableWriter& aces, std::int32_t object, bool inheritable) {
    for (const std::vector<std::uint8_t>& sid : {std::vector<std::uint8_t>{0xA6, 0x33}, std::vector<std::uint8_t>{0xA7, 0x33}}) {
        std::vector<Value> row{std::int64_t{object}, Binary{sid}, std::int64_t{0x000FFFFF}, inheritable};
        aces.insert(row);
    }
}

TableSpec catalog_spec() {
    TableSpec s{"MSysObjects", {}, {}, true};
    using T = ColumnType;
    s.columns = {{"Id", T::Long},         {"ParentId", T::Long},     {"Name", T::Text, 255},   {"Type", T::Integer},
                 {"DateCreate", T::DateTime}, {"DateUpdate", T::DateTime}, {"Owner", T::Binary, 255}, {"Flags", T::Long},
                 {"Database", T::Memo},   {"Connect", T::Memo},      {"ForeignName", T::Text, 255}, {"RmtInfoShort", T::Binary, 255},
                 {"RmtInfoLong", T::Ole}, {"Lv", T::Ole},            {"LvProp", T::Ole},       {"LvModule", T::Ole},
                 {"LvExtra", T::Ole}};
    s.indexes = {{"ParentIdName", {{"ParentId", true}, {"Name", true}}, false, true},
                 {"Id", {{"Id", true}}, true, true}};
    return s;
}

TableSpec aces_spec() {
    using T = ColumnType;
    TableSpec s{"MSysACEs", {{"ObjectId", T::Long}, {"SID", T::Binary, 255}, {"ACM", T::Long}, {"FInheritable", T::Boolean}}, {}, true};
    s.indexes = {{"ObjectId", {{"ObjectId", true}}, false, false, false, true}};
    return s;
}

TableSpec queries_spec() {
    using T = ColumnType;
    TableSpec s{"MSysQueries",
                {{"ObjectId", T::Long}, {"Attribute", T::Byte}, {"Order", T::Binary, 255}, {"Name1", T::Text, 255},
                 {"Name2", T::Text, 255}, {"Expression", T::Memo}, {"Flag", T::Integer}, {"LvExtra", T::Long}},
                {},
                true};
    s.indexes = {{"ObjectIdAttribute", {{"ObjectId", true}, {"Attribute", true}, {"Order", true}}, true, true}};
    return s;
}

TableSpec relationships_spec() {
    using T = ColumnType;
    TableSpec s{"MSysRelationships",
                {{"szRelationship", T::Text, 255}, {"grbit", T::Long}, {"ccolumn", T::Long}, {"icolumn", T::Long},
                 {"szObject", T::Text, 255}, {"szColumn", T::Text, 255}, {"szReferencedObject", T::Text, 255},
                 {"szReferencedColumn", T::Text, 255}},
                {},
                true};
    for (const char* c : {"szRelationship", "szObject", "szReferencedObject"}) {
        s.indexes.push_back({c, {{c, true}}, false, false, true});
    }
    return s;
}

void put_u16(PageData& p, std::size_t at, std::uint32_t v) {
    p[at] = static_cast<std::uint8_t>(v & 0xFF);
    p[at + 1] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
}

void put_u32(PageData& p, std::size_t at, std::uint32_t v) {
    put_u16(p, at, v & 0xFFFF);
    put_u16(p, at + 2, v >> 16);
}

PageData header_page(double created) {
    PageData p{};
    namespace at = header_layout;
    p[at::kSignature + 1] = 0x01;
    std::memcpy(p.data() + at::kFormatName, "Standard Jet DB", 15);
    p[at::kVersion] = 0x01;  // Jet 4
    const std::uint32_t unknown[] = {0x100, 0x101, 2, 3, 4, 5};
    for (std::size_t i = 0; i < 6; ++i) put_u32(p, at::kMaskStart + 4 * i, unknown[i]);
    put_u16(p, at::kCodePage, 1252);
    // No password: the area holds only the mask made from the creation date.
    auto mask = static_cast<std::uint32_t>(static_cast<std::int64_t>(std::floor(created)));
    for (std::size_t i = 0; i < at::kPasswordLength / 4; ++i) put_u32(p, at::kPassword + 4 * i, mask);
    put_u16(p, at::kSortOrder, kGeneralSortOrder);
    std::uint64_t bits = std::bit_cast<std::uint64_t>(created);
    for (std::size_t i = 0; i < 8; ++i) p[at::kCreationDate + i] = static_cast<std::uint8_t>(bits >> (8 * i));
    toggle_header_mask(p);
    put_u32(p, 0x98, 0x654);
    std::memcpy(p.data() + 0x9C, "4.0", 4);
    for (std::size_t at = 0xE00; at < kPageSize; at += 2) put_u16(p, at, 0x0100);
    put_u16(p, 0xE00, 0x0101);
    return p;
}

// Page 1: the map of free pages (every page past the file's end) and a second, empty map.
PageData free_page_map(std::uint32_t used) {
    PageData p{};
    data_page::init(p, 1);
    std::vector<std::uint8_t> row = UsageMap::empty_row(kMapRow, 0);
    for (std::uint32_t page = used; page < (kMapRow - map_layout::kBitmap) * 8; ++page) {
        row[map_layout::kBitmap + page / 8] |= static_cast<std::uint8_t>(1u << (page % 8));
    }
    data_page::add(p, Bytes(row.data(), row.size()));
    row = UsageMap::empty_row(kMapRow, 0);
    data_page::add(p, Bytes(row.data(), row.size()));
    return p;
}

struct UnlinkOnFailure {
    Platform& sys;
    std::string path;
    bool keep = false;
    ~UnlinkOnFailure() {
        if (!keep) sys.discard(path);
    }
};

}  // namespace

void create_database(const std::string& path, Platform& sys) {
    double created = now_as_date();
    // A move cut off left its record here for the file that lay at this path:
    // a new file under that name would be taken for it.
    if (const std::string record = pending_move_path(path); sys.entry_at(record) != disk::Entry::None) {
        throw Error(ErrorKind::PendingMove, "the record of an unfinished move lies where the new database goes: " + record,
                    Reason::MoveRecordForeign, record);
    }
    {
        int fd = sys.create_new(path, 0666);
        if (fd < 0) {
            int err = errno;
            if (err == EEXIST) throw Error(ErrorKind::Io, "a file already exists at " + path, Reason::Unspecified, {}, err);
            if (err == EACCES || err == EROFS || err == EPERM) {
                throw Error(ErrorKind::ReadOnly, "the folder may not be written: " + path, Reason::FolderReadOnly, disk::folder_of(path));
            }
            io_error("cannot create", path, err);
        }
        UniqueFd owned(fd, sys);
        PageData pages[2] = {header_page(created), free_page_map(2)};
        for (std::size_t i = 0; i < 2; ++i) {
            if (!sys.write(fd, path, pages[i].data(), kPageSize, i * kPageSize)) {
                int err = errno;
                sys.discard(path);
                io_error("cannot write", path, err);
            }
        }
    }
    UnlinkOnFailure guard{sys, path};
    PageFile file(path, sys);
    file.enable_writes();
    FileLock lock(file, true);
    PageAllocator pages(file);
    // The catalog's definition must be page 2; the other system tables follow it.
    TableSpec specs[] = {catalog_spec(), aces_spec(), queries_spec(), relationships_spec()};
    std::vector<Placement> placed;
    for (const TableSpec& s : specs) {
        if (definition_page_count(s) != 1) throw Error(ErrorKind::Unsupported, "a system table's definition outgrew one page");
        Placement at;
        at.definition_pages.push_back(pages.allocate(PageRole::Map));
        placed.push_back(at);
    }
    for (std::size_t i = 0; i < 4; ++i) {
        placed[i].map_page = pages.allocate(PageRole::Map);
        for (std::size_t k = 0; k < specs[i].indexes.size(); ++k) {
            std::uint32_t root = pages.allocate(PageRole::Content);
            file.write(root, IndexTree::empty_root(placed[i].definition_pages.front()), PageRole::Content);
            placed[i].roots.push_back(root);
        }
        write_definition(file, specs[i], placed[i]);
        write_map_page(file, specs[i], placed[i]);
    }
    {
        const std::unique_ptr<TableWriter> made_objects = make_table_writer(file, pages, placed[0].definition_pages[0], kGeneralSortOrder);
        const std::unique_ptr<TableWriter> made_aces = make_table_writer(file, pages, placed[1].definition_pages[0], kGeneralSortOrder);
        TableWriter& objects = *made_objects;
        TableWriter& aces = *made_aces;
        auto add = [&](std::vector<Value> row) { objects.insert(row); };
        add(catalog_row(0x0F000001, 0x0F000000, "Tables", 3, 0x80000000u, created));
        add(catalog_row(0x0F000002, 0x0F000000, "Databases", 3, 0x80000000u, created));
        add(catalog_row(0x0F000003, 0x0F000000, "Relationships", 3, 0x80000000u, created));
        add(catalog_row(0x10000000, 0x0F000002, "MSysDb", 2, 0x80000000u, created));
        for (std::size_t i = 0; i < 4; ++i) {
            auto id = static_cast<std::int32_t>(placed[i].definition_pages[0]);
            add(catalog_row(id, kTablesContainer, specs[i].name, 1, 0x80000000u, created));
            add_rights(aces, id, false);
        }
        for (std::int32_t container : {0x0F000001, 0x0F000002, 0x0F000003, 0x10000000}) add_rights(aces, container, true);
        finish_writer(objects);
        finish_writer(aces);
    }
    pages.finish();
    file.commit();
    guard.keep = true;
}

std::uint32_t create_table(WriteGroup& group, const TableSpec& spec) {
    if (spec.name.empty() || spec.name.size() > 192) throw Error(ErrorKind::Constraint, "a table name takes 1 to 64 characters");
    if (spec.columns.empty() || spec.columns.size() > 255) throw Error(ErrorKind::Constraint, "a table takes 1 to 255 columns");
    for (std::size_t i = 0; i < spec.columns.size(); ++i) {
        for (std::size_t k = 0; k < i; ++k) {
            if (same_name(spec.columns[i].name, spec.columns[k].name)) throw Error(ErrorKind::Constraint, "two columns named " + spec.columns[i].name);
        }
    }
    if (group.has_table(spec.name)) throw Error(ErrorKind::Constraint, "a table named " + spec.name + " already exists");
    Placement at = place_table(file_of(group), pages_of(group), spec);
    std::uint32_t page = at.definition_pages.front();
    double when = now_as_date();
    std::vector<Value> row = catalog_row(static_cast<std::int32_t>(page), kTablesContainer, spec.name, 1,
                                         spec.system ? 0x80000000u : 0u, when);
    group.table_at(kCatalogPage).insert(row);
    if (group.has_table("MSysACEs")) add_rights(group.table("MSysACEs"), static_cast<std::int32_t>(page), false);
    table_created(group, spec.name, page);
    return page;
}

}  // namespace jet
