#include "table/row_preparer.h"

#include <random>
#include <tuple>

#include "btree/index.h"
#include "format/row_encode.h"
#include "jet/error.h"
#include "jet/table_writer.h"

namespace jet {

bool index_uses(const TableDef& def, const PhysicalIndex& index, std::size_t column) {
    for (const IndexColumn& ic : index.columns) {
        if (ic.column_number == def.columns[column].number) return true;
    }
    return false;
}

namespace {

// Whether the AutoNumber column's bytes can be filled in after the row is
// encoded: a fixed column whose bytes no other fixed column shares (in a
// damaged definition one may, and then the columns after it in order write
// over it, as a row encoded whole has them do).
bool number_fits_alone(const TableDef& def, std::size_t column) {
    const Column& n = def.columns[column];
    if (!n.fixed()) return false;
    const std::size_t from = n.fixed_offset, to = from + fixed_size(n.type);
    for (const Column& c : def.columns) {
        if (&c == &n || !c.fixed()) continue;
        const std::size_t width = fixed_width(c);
        if (width > 0 && c.fixed_offset < to && from < c.fixed_offset + width) return false;
    }
    return true;
}

}  // namespace

void prepare_row(const TableDef& def, std::uint16_t sort_order, std::vector<Value> values, PreparedRow& out, bool index_keys) {
    if (values.size() > def.columns.size()) {
        throw Error(ErrorKind::Constraint, "more values than the table " + std::to_string(def.columns.size()) + " has columns", Reason::WrongType);
    }
    values.resize(def.columns.size(), Null{});
    std::int32_t number_column = -1;
    int numbers = 0;
    for (std::size_t i = 0; i < def.columns.size(); ++i) {
        const Column& c = def.columns[i];
        values[i] = coerce(c, std::move(values[i]));
        if ((c.flags & Column::kAutoLong) && is_null(values[i])) {
            ++numbers;
            number_column = static_cast<std::int32_t>(i);
        } else if ((c.flags & Column::kAutoGuid) && is_null(values[i])) {
            static thread_local std::mt19937_64 rng{std::random_device{}()};
            Guid g;
            for (auto& b : g.bytes) b = static_cast<std::uint8_t>(rng());
            g.bytes[7] = static_cast<std::uint8_t>((g.bytes[7] & 0x0F) | 0x40);  // version 4, stored little-endian
            g.bytes[8] = static_cast<std::uint8_t>((g.bytes[8] & 0x3F) | 0x80);
            values[i] = g;
        }
    }
    out.values = std::move(values);
    out.number_column = -1;
    out.keys.clear();
    out.keys_made = false;
    out.encoded = numbers == 0 || (numbers == 1 && number_fits_alone(def, static_cast<std::size_t>(number_column)));
    if (!out.encoded) return;
    std::vector<Value>& v = out.values;
    if (numbers == 1) {
        out.number_column = number_column;
        v[static_cast<std::size_t>(number_column)] = std::int64_t{0};  // its bytes, filled by insert
    }
    for (const PhysicalIndex& x : def.physical_indexes) {
        if (!index_keys) break;
        if (numbers == 1 && index_uses(def, x, static_cast<std::size_t>(number_column))) {
            out.keys.emplace_back();
        } else {
            out.keys.push_back(index_key(def, x, v, sort_order));
        }
    }
    out.keys_made = index_keys;
    encode_fields(def, v, out.fields);
    if (numbers == 1) v[static_cast<std::size_t>(number_column)] = Null{};
}

bool same_layout(const TableDef& a, const TableDef& b) {
    auto column = [](const Column& c) {
        return std::tie(c.name, c.type, c.number, c.var_index, c.fixed_offset, c.length, c.flags, c.misc_flags, c.sort_order,
                        c.sort_version, c.precision, c.scale);
    };
    auto index = [](const PhysicalIndex& x) { return x.flags; };
    auto index_column = [](const IndexColumn& ic) { return std::tie(ic.column_number, ic.ascending); };
    if (a.var_columns != b.var_columns || a.columns.size() != b.columns.size() ||
        a.physical_indexes.size() != b.physical_indexes.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.columns.size(); ++i) {
        if (column(a.columns[i]) != column(b.columns[i])) return false;
    }
    for (std::size_t i = 0; i < a.physical_indexes.size(); ++i) {
        const PhysicalIndex& x = a.physical_indexes[i];
        const PhysicalIndex& y = b.physical_indexes[i];
        if (index(x) != index(y) || x.columns.size() != y.columns.size()) return false;
        for (std::size_t k = 0; k < x.columns.size(); ++k) {
            if (index_column(x.columns[k]) != index_column(y.columns[k])) return false;
        }
    }
    return true;
}

RowPreparer::RowPreparer(const TableWriter& writer, bool index_keys) : layout_(writer.layout()), index_keys_(index_keys) {}

void RowPreparer::prepare(std::vector<Value> values, PreparedRow& out) const {
    prepare_row(layout_->def, layout_->sort_order, std::move(values), out, index_keys_);
    out.layout = layout_;
}

}  // namespace jet
