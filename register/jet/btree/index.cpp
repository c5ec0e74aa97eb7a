#include "btree/index.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "btree/general_sort.h"
#include "jet/text.h"

namespace jet {


namespace {

constexpr std::uint8_t kAscStart = 0x7F;
constexpr std::uint8_t kDescStart = 0x80;
constexpr std::uint8_t kAscNull = 0x00;
constexpr std::uint8_t kDescNull = 0xFF;

void invert(std::vector<std::uint8_t>& v, std::size_t from) {
    for (std::size_t i = from; i < v.size(); ++i) v[i] = static_cast<std::uint8_t>(~v[i]);
}

void put_big_endian(std::vector<std::uint8_t>& out, std::uint64_t v, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// Signed integers: big-endian with the sign bit flipped.
void integer_key(std::vector<std::uint8_t>& out, std::int64_t v, int bytes, bool asc) {
    std::size_t at = out.size();
    put_big_endian(out, static_cast<std::uint64_t>(v), bytes);
    out[at] ^= 0x80;
    if (!asc) invert(out, at);
}

// IEEE numbers: positives get the sign bit flipped, negatives are inverted whole.
void floating_key(std::vector<std::uint8_t>& out, std::uint64_t bits, int bytes, bool asc) {
    std::size_t at = out.size();
    put_big_endian(out, bits, bytes);
    bool negative = (out[at] & 0x80) != 0;
    if (!negative) out[at] ^= 0x80;
    if (negative == asc) invert(out, at);
}

// Binary values in 8-byte groups, each followed by a length byte (9: more follows).
void binary_key(std::vector<std::uint8_t>& out, const std::uint8_t* data, std::size_t len, bool asc) {
    std::size_t pos = 0;
    while (len - pos > 8) {
        std::size_t at = out.size();
        out.insert(out.end(), data + pos, data + pos + 8);
        if (!asc) invert(out, at);
        out.push_back(9);
        pos += 8;
    }
    if (len > pos) {
        std::size_t at = out.size();
        std::size_t n = len - pos;
        out.insert(out.end(), data + pos, data + len);
        out.insert(out.end(), 8 - n, 0);
        out.push_back(static_cast<std::uint8_t>(n));
        if (!asc) invert(out, at);
    }
}

std::optional<std::string> column_unsupported(const Column& c, std::uint16_t default_sort_order) {
    switch (c.type) {
        case ColumnType::Text:
        case ColumnType::Memo: {
            std::uint16_t order = c.sort_order != 0 ? c.sort_order : default_sort_order;
            if (order != kGeneralSortOrder || c.sort_version != 0) {
                return "column " + c.name + " is indexed under sort order " + std::to_string(order) + " version " +
                       std::to_string(c.sort_version) + "; only the General order (1033, version 0) is supported";
            }
            return std::nullopt;
        }
        case ColumnType::Ole:
            return "column " + c.name + " is an OLE column, which indexes cannot hold";
        default:
            return std::nullopt;
    }
}

void column_key(std::vector<std::uint8_t>& out, const Column& c, const Value& v, bool asc) {
    if (c.type == ColumnType::Boolean) {
        bool b = std::holds_alternative<bool>(v) && std::get<bool>(v);
        out.push_back(asc ? kAscStart : kDescStart);
        out.push_back(b == asc ? 0x00 : 0xFF);
        return;
    }
    if (is_null(v)) {
        out.push_back(asc ? kAscNull : kDescNull);
        return;
    }
    out.push_back(asc ? kAscStart : kDescStart);
    switch (c.type) {
        case ColumnType::Byte: {
            out.push_back(static_cast<std::uint8_t>(std::get<std::int64_t>(v)));
            if (!asc) out.back() = static_cast<std::uint8_t>(~out.back());
            break;
        }
        case ColumnType::Integer: integer_key(out, std::get<std::int64_t>(v), 2, asc); break;
        case ColumnType::Long: integer_key(out, std::get<std::int64_t>(v), 4, asc); break;
        case ColumnType::Currency: integer_key(out, std::get<Currency>(v).units, 8, asc); break;
        case ColumnType::Single: floating_key(out, std::bit_cast<std::uint32_t>(std::get<float>(v)), 4, asc); break;
        case ColumnType::Double: floating_key(out, std::bit_cast<std::uint64_t>(std::get<double>(v)), 8, asc); break;
        case ColumnType::DateTime:
            floating_key(out, std::bit_cast<std::uint64_t>(std::get<DateTime>(v).days), 8, asc);
            break;
        case ColumnType::Decimal: {
            // Sign byte, then the magnitude big-endian; negatives inverted in
            // ascending order, positives in descending; then the sign byte is
            // set to 00 for negatives and FF otherwise.
            const Decimal& d = std::get<Decimal>(v);
            std::size_t at = out.size();
            out.push_back(d.negative ? 0x80 : 0x00);
            for (int w = 3; w >= 0; --w) put_big_endian(out, d.magnitude[static_cast<std::size_t>(w)], 4);
            if (d.negative == asc) invert(out, at);
            out[at] = d.negative ? 0x00 : 0xFF;
            break;
        }
        case ColumnType::Guid: {
            const auto& b = std::get<Guid>(v).bytes;
            std::uint8_t be[16] = {b[3], b[2], b[1], b[0], b[5], b[4], b[7], b[6]};
            std::memcpy(be + 8, b.data() + 8, 8);
            binary_key(out, be, 16, asc);
            break;
        }
        case ColumnType::Binary: {
            const auto& b = std::get<Binary>(v).bytes;
            binary_key(out, b.data(), b.size(), asc);
            break;
        }
        case ColumnType::Text:
        case ColumnType::Memo:
            append_general_text_key(out, to_utf16(std::get<std::string>(v)), asc);
            break;
        default:
            throw Error(ErrorKind::Unsupported, "column " + c.name + " cannot be indexed");
    }
}

}  // namespace

std::optional<std::string> unsupported_reason(const TableDef& def, const PhysicalIndex& index,
                                              std::uint16_t default_sort_order) {
    for (const IndexColumn& ic : index.columns) {
        const Column* c = def.column_by_number(ic.column_number);
        if (!c) return "an index names column number " + std::to_string(ic.column_number) + ", which the table lacks";
        if (auto why = column_unsupported(*c, default_sort_order)) return why;
    }
    return std::nullopt;
}

std::optional<std::vector<std::uint8_t>> index_key(const TableDef& def, const PhysicalIndex& index,
                                                   const std::vector<Value>& row, std::uint16_t default_sort_order) {
    if (auto why = unsupported_reason(def, index, default_sort_order)) throw Error(ErrorKind::Unsupported, *why);
    std::vector<std::uint8_t> key;
    bool all_null = true;
    for (const IndexColumn& ic : index.columns) {
        const Column* c = def.column_by_number(ic.column_number);
        std::size_t ordinal = static_cast<std::size_t>(c - def.columns.data());
        const Value& v = ordinal < row.size() ? row[ordinal] : Value{Null{}};
        if (!is_null(v)) all_null = false;
        column_key(key, *c, v, ic.ascending);
    }
    if (all_null && (index.flags & PhysicalIndex::kIgnoreNulls)) return std::nullopt;
    return key;
}

IndexPage read_index_page(PageFile& file, std::uint32_t table_page, std::uint32_t page) {
    PagePtr p = file.page(page);
    Bytes b = bytes_of(*p);
    IndexPage out;
    if (b[0] == static_cast<std::uint8_t>(PageType::IndexLeaf)) {
        out.leaf = true;
    } else if (b[0] != static_cast<std::uint8_t>(PageType::IndexNode)) {
        damaged("index page " + std::to_string(page) + " has page type " + std::to_string(b[0]));
    }
    if (u32(b, index_page::kOwner) != table_page) damaged("index page " + std::to_string(page) + " belongs to another table");
    out.prev = u32(b, index_page::kPrev);
    out.next = u32(b, index_page::kNext);
    out.tail = u32(b, index_page::kTail);
    std::size_t prefix_len = u16(b, index_page::kPrefixLength);
    std::size_t trailer = out.leaf ? 4 : 8;
    std::vector<std::uint8_t> prefix;
    std::size_t last = 0;
    for (std::size_t i = 0; i < index_page::kMaskSize; ++i) {
        std::uint8_t m = b[index_page::kMask + i];
        for (int bit = 0; m && bit < 8; ++bit) {
            if (!(m & (1u << bit))) continue;
            std::size_t end = i * 8 + static_cast<std::size_t>(bit);
            if (end <= last) continue;
            Bytes stored = sub(b, index_page::kEntries + last, end - last);
            std::vector<std::uint8_t> bytes;
            if (out.entries.empty()) {
                if (prefix_len > stored.size()) damaged("an index page's shared prefix is longer than its first entry");
                prefix.assign(stored.begin(), stored.begin() + static_cast<std::ptrdiff_t>(prefix_len));
                bytes.assign(stored.begin(), stored.end());
            } else {
                bytes = prefix;
                bytes.insert(bytes.end(), stored.begin(), stored.end());
            }
            if (bytes.size() < trailer) damaged("an index entry is shorter than its row pointer");
            std::size_t key_len = bytes.size() - trailer;
            IndexEntry e;
            e.key.assign(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(key_len));
            const std::uint8_t* t = bytes.data() + key_len;
            e.row = {static_cast<std::uint32_t>(t[0] << 16 | t[1] << 8 | t[2]), t[3]};
            if (!out.leaf) out.children.push_back(static_cast<std::uint32_t>(t[4]) << 24 | t[5] << 16 | t[6] << 8 | t[7]);
            out.entries.push_back(std::move(e));
            last = end;
        }
    }
    return out;
}

std::vector<IndexEntry> read_index_entries(PageFile& file, const TableDef& def, const PhysicalIndex& index) {
    std::set<std::uint32_t> seen;
    auto visit = [&](std::uint32_t page) {
        if (page == 0 || !seen.insert(page).second) damaged("an index tree loops or points at page 0");
        return read_index_page(file, def.page, page);
    };
    // Down the left edge to the first leaf, then along the leaves.
    IndexPage pe = visit(index.root_page);
    while (!pe.leaf) pe = visit(pe.children.empty() ? pe.tail : pe.children.front());
    std::vector<IndexEntry> out;
    for (;;) {
        for (IndexEntry& e : pe.entries) out.push_back(std::move(e));
        if (pe.next == 0) break;
        pe = visit(pe.next);
        if (!pe.leaf) damaged("an index leaf links to a node page");
    }
    return out;
}

}  // namespace jet
