#include "format/row.h"

#include "format/long_value.h"
#include "jet/text.h"

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
        var_table_ = end - 2;
        var_count_ = var_count;
        has_var_table_ = true;
        std::size_t table_start = end - 2 - table;
        std::uint16_t before = 0;
        for (std::size_t i = 0; i <= var_count; ++i) {
            const std::uint16_t at = var_offset(i);
            if (at < 2 || at > table_start || at < before) damaged("a row's variable-column offsets are out of order or out of range");
            before = at;
        }
        fixed_end_ = var_offset(0);
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
    if (!has_var_table_ || c.var_index >= var_count_) return {};
    std::size_t start = var_offset(c.var_index);
    std::size_t end = var_offset(c.var_index + 1u);
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
            if (!std::holds_alternative<Null>(values[i])) values[i] = Null{};
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

RowDecoder::RowDecoder(const TableDef& def, const std::vector<bool>& wanted) : def_(def) {
    for (std::size_t i = 0; i < def.columns.size(); ++i) {
        if (wanted.empty() || (i < wanted.size() && wanted[i])) columns_.push_back(i);
    }
}

void RowDecoder::decode(PageFile* file, Bytes row, std::vector<Value>& values) const {
    RowBytes rb(row, def_);
    if (values.size() != def_.columns.size()) values.assign(def_.columns.size(), Null{});
    for (std::size_t i : columns_) {
        const Column& c = def_.columns[i];
        // Text goes into the string the row before left, where there is one.
        auto* text = c.type == ColumnType::Text ? std::get_if<std::string>(&values[i]) : nullptr;
        if (text && rb.present(c) && !(c.fixed() && c.number >= rb.column_count())) {
            decode_text_into(*text, rb.field(c));
            continue;
        }
        values[i] = decode_field(file, c, rb);
    }
}

std::vector<Value> decode_row(PageFile& file, const TableDef& def, Bytes row) {
    std::vector<Value> values;
    decode_row(file, def, row, values);
    return values;
}

}  // namespace jet
