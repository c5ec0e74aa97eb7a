#include "row.h"

#include "long_value.h"
#include "text.h"

namespace jet {

RowBytes::RowBytes(Bytes row, const TableDef& def) : row_(row) {
    column_count_ = u16(row, 0);
    std::size_t mask_len = (column_count_ + 7u) / 8u;
    if (mask_len + 2 > row.size()) damaged("a row is shorter than its null mask");
    null_mask_ = row.subspan(row.size() - mask_len);
    std::size_t end = row.size() - mask_len;
    if (def.var_columns > 0) {
        if (end < 4) damaged("a row is too short for its variable-column table");
        std::uint16_t var_count = u16(row, end - 2);
        std::size_t table = 2u * (var_count + 1u);
        if (var_count > column_count_ || table + 2 > end - 2) damaged("a row claims " + std::to_string(var_count) + " variable columns");
        var_offsets_.resize(var_count + 1u);
        for (std::size_t i = 0; i <= var_count; ++i) var_offsets_[i] = u16(row, end - 4 - 2 * i);
        std::size_t table_start = end - 2 - table;
        for (std::size_t i = 0; i <= var_count; ++i) {
            if (var_offsets_[i] < 2 || var_offsets_[i] > table_start || (i > 0 && var_offsets_[i] < var_offsets_[i - 1])) {
                damaged("a row's variable-column offsets are out of order or out of range");
            }
        }
        fixed_end_ = var_offsets_[0];
    } else {
        fixed_end_ = end;
    }
}

bool RowBytes::present(const Column& c) const {
    if (c.number >= column_count_) return false;
    return (null_mask_[c.number / 8u] >> (c.number % 8u)) & 1u;
}

Bytes RowBytes::field(const Column& c) const {
    if (c.fixed()) {
        std::size_t size = c.type == ColumnType::Text || c.type == ColumnType::Binary ? c.length : fixed_size(c.type);
        std::size_t start = 2u + c.fixed_offset;
        if (start + size > fixed_end_) return {};
        return row_.subspan(start, size);
    }
    if (c.var_index + 1u >= var_offsets_.size()) return {};
    std::size_t start = var_offsets_[c.var_index];
    std::size_t end = var_offsets_[c.var_index + 1u];
    return row_.subspan(start, end - start);
}

namespace {

void need_size(Bytes f, std::size_t n, const Column& c) {
    if (f.size() < n) damaged("the value of column " + c.name + " is cut short");
}

}  // namespace

namespace {

// file is null where only the row itself may be read.
Value decode_field(PageFile* file, const Column& c, const RowBytes& row) {
    bool present = row.present(c);
    if (c.type == ColumnType::Boolean) return present;
    if (!present) return Null{};
    // A fixed column added after the row was written has no bytes in it.
    if (c.fixed() && c.number >= row.column_count()) return Null{};
    Bytes f = row.field(c);
    switch (c.type) {
        case ColumnType::Boolean: break;  // answered above from the null mask
        case ColumnType::Byte: need_size(f, 1, c); return std::int64_t{u8(f, 0)};
        case ColumnType::Integer: need_size(f, 2, c); return std::int64_t{i16(f, 0)};
        case ColumnType::Long: need_size(f, 4, c); return std::int64_t{i32(f, 0)};
        case ColumnType::Currency: need_size(f, 8, c); return Currency{i64(f, 0)};
        case ColumnType::Single: need_size(f, 4, c); return f32(f, 0);
        case ColumnType::Double: need_size(f, 8, c); return f64(f, 0);
        case ColumnType::DateTime: need_size(f, 8, c); return DateTime{f64(f, 0)};
        case ColumnType::Guid: {
            need_size(f, 16, c);
            Guid g;
            std::copy(f.begin(), f.begin() + 16, g.bytes.begin());
            return g;
        }
        case ColumnType::Decimal: {
            need_size(f, 17, c);
            Decimal d;
            d.negative = (f[0] & 0x80) != 0;
            // Four 32-bit words, the most significant first, each little-endian.
            for (std::size_t w = 0; w < 4; ++w) d.magnitude[w] = u32(f, 1 + 4 * (3 - w));
            d.scale = c.scale;
            d.precision = c.precision;
            return d;
        }
        case ColumnType::Text: return decode_text(f);
        case ColumnType::Binary: return Binary{std::vector<std::uint8_t>(f.begin(), f.end())};
        case ColumnType::Memo: {
            if (f.empty()) return std::string();
            if (!file) internal_fault("a long value read without its file");
            std::vector<std::uint8_t> bytes = read_long_value(*file, f);
            return decode_text(Bytes(bytes.data(), bytes.size()));
        }
        case ColumnType::Ole: {
            if (f.empty()) return Binary{};
            if (!file) internal_fault("a long value read without its file");
            return Binary{read_long_value(*file, f)};
        }
    }
    return Null{};
}

void decode_fields(PageFile* file, const TableDef& def, Bytes row, std::vector<Value>& values, const std::vector<bool>& wanted) {
    RowBytes rb(row, def);
    values.resize(def.columns.size());
    for (std::size_t i = 0; i < def.columns.size(); ++i) {
        if (!wanted.empty() && (i >= wanted.size() || !wanted[i])) {
            values[i] = Null{};
            continue;
        }
        values[i] = decode_field(file, def.columns[i], rb);
    }
}

}  // namespace

Value decode_value(PageFile& file, const Column& c, const RowBytes& row) { return decode_field(&file, c, row); }

void decode_row(PageFile& file, const TableDef& def, Bytes row, std::vector<Value>& values, const std::vector<bool>& wanted) {
    decode_fields(&file, def, row, values, wanted);
}

void decode_row_alone(const TableDef& def, Bytes row, std::vector<Value>& values, const std::vector<bool>& wanted) {
    decode_fields(nullptr, def, row, values, wanted);
}

std::vector<Value> decode_row(PageFile& file, const TableDef& def, Bytes row) {
    std::vector<Value> values;
    decode_row(file, def, row, values);
    return values;
}

}  // namespace jet
