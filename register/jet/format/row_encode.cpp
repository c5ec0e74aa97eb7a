#include "format/row_encode.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

#include "jet/error.h"
#include "jet/text.h"

namespace jet {

namespace {

[[noreturn]] void refuse(const Column& c, const std::string& why, Reason reason) {
    throw Error(ErrorKind::Constraint, "column " + c.name + ": " + why, reason, c.name);
}

std::int64_t whole_number(const Column& c, const Value& v) {
    if (const auto* i = std::get_if<std::int64_t>(&v)) return *i;
    if (const auto* b = std::get_if<bool>(&v)) return *b ? -1 : 0;
    double d = 0;
    if (const auto* x = std::get_if<double>(&v)) d = *x;
    else if (const auto* f = std::get_if<float>(&v)) d = *f;
    else refuse(c, std::string("a ") + type_name(c.type) + " column takes a number", Reason::WrongType);
    if (!std::isfinite(d) || d != std::floor(d) || std::fabs(d) > 9.2e18) refuse(c, "not a whole number: " + shortest(d), Reason::WrongType);
    return static_cast<std::int64_t>(d);
}

std::int64_t in_range(const Column& c, std::int64_t v, std::int64_t lo, std::int64_t hi) {
    if (v < lo || v > hi) refuse(c, std::to_string(v) + " lies outside " + std::to_string(lo) + ".." + std::to_string(hi), Reason::OutOfRange);
    return v;
}

double real_number(const Column& c, const Value& v) {
    if (const auto* x = std::get_if<double>(&v)) return *x;
    if (const auto* f = std::get_if<float>(&v)) return *f;
    if (const auto* i = std::get_if<std::int64_t>(&v)) return static_cast<double>(*i);
    if (const auto* m = std::get_if<Currency>(&v)) return static_cast<double>(m->units) / 10000.0;
    refuse(c, std::string("a ") + type_name(c.type) + " column takes a number", Reason::WrongType);
}

constexpr double kFirstDay = -657434;     // 100-01-01
constexpr double kDayAfterLast = 2958466;  // 10000-01-01

}  // namespace

Value coerce(const Column& c, Value v) {
    if (c.type == ColumnType::Boolean) {
        if (is_null(v)) return false;
        if (const auto* b = std::get_if<bool>(&v)) return *b;
        return whole_number(c, v) != 0;
    }
    if (is_null(v)) return v;
    switch (c.type) {
        case ColumnType::Boolean: break;
        case ColumnType::Byte: return in_range(c, whole_number(c, v), 0, 255);
        case ColumnType::Integer: return in_range(c, whole_number(c, v), -32768, 32767);
        case ColumnType::Long:
            return in_range(c, whole_number(c, v), std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max());
        case ColumnType::Currency: {
            if (const auto* m = std::get_if<Currency>(&v)) return *m;
            if (const auto* i = std::get_if<std::int64_t>(&v)) {
                if (*i > 922337203685477 || *i < -922337203685477) refuse(c, "too large for Currency", Reason::OutOfRange);
                return Currency{*i * 10000};
            }
            double d = real_number(c, v) * 10000.0;
            if (!std::isfinite(d) || std::fabs(d) >= 9.2e18) refuse(c, "too large for Currency", Reason::OutOfRange);
            return Currency{static_cast<std::int64_t>(std::llround(d))};
        }
        case ColumnType::Single: {
            // Access holds no infinities and no "not a number" (it shows #Num!).
            double d = real_number(c, v);
            if (!std::isfinite(d)) refuse(c, "not a finite number", Reason::OutOfRange);
            if (std::fabs(d) > std::numeric_limits<float>::max()) refuse(c, "too large for Single", Reason::OutOfRange);
            return static_cast<float>(d);
        }
        case ColumnType::Double: {
            double d = real_number(c, v);
            if (!std::isfinite(d)) refuse(c, "not a finite number", Reason::OutOfRange);
            return d;
        }
        case ColumnType::DateTime: {
            double d = 0;
            if (const auto* t = std::get_if<DateTime>(&v)) d = t->days;
            else d = real_number(c, v);
            if (!std::isfinite(d)) refuse(c, "not a date", Reason::WrongType);
            // Access's dates run from 100-01-01 to 9999-12-31 (a day's time
            // counts away from 1899-12-30, so 100-01-01 23:59 is -657434.99...).
            if (d <= kFirstDay - 1 || d >= kDayAfterLast) refuse(c, "a date outside 100-01-01 .. 9999-12-31", Reason::OutOfRange);
            return DateTime{d};
        }
        case ColumnType::Guid:
            if (std::holds_alternative<Guid>(v)) return v;
            refuse(c, "a GUID column takes a GUID", Reason::WrongType);
        case ColumnType::Decimal: {
            if (const auto* d = std::get_if<Decimal>(&v)) {
                if (d->scale != c.scale) refuse(c, "a decimal of scale " + std::to_string(d->scale) + " for a column of scale " + std::to_string(c.scale), Reason::OutOfRange);
                Decimal out = *d;
                out.precision = c.precision;
                return out;
            }
            std::int64_t i = whole_number(c, v);
            Decimal out;
            out.negative = i < 0;
            std::uint64_t mag = i < 0 ? 0 - static_cast<std::uint64_t>(i) : static_cast<std::uint64_t>(i);
            // Scale the whole number up to the column's scale, 96 bits at most.
            std::array<std::uint64_t, 4> w{mag & 0xFFFFFFFFu, mag >> 32, 0, 0};
            for (unsigned k = 0; k < c.scale; ++k) {
                std::uint64_t carry = 0;
                for (auto& word : w) {
                    std::uint64_t x = word * 10 + carry;
                    word = x & 0xFFFFFFFFu;
                    carry = x >> 32;
                }
                if (w[3] != 0 || carry != 0) refuse(c, "too large for the column's precision", Reason::OutOfRange);
            }
            for (std::size_t k = 0; k < 4; ++k) out.magnitude[k] = static_cast<std::uint32_t>(w[k]);
            out.scale = c.scale;
            out.precision = c.precision;
            return out;
        }
        case ColumnType::Text:
        case ColumnType::Memo: {
            const auto* s = std::get_if<std::string>(&v);
            if (!s) refuse(c, "a text column takes text", Reason::WrongType);
            if (c.type == ColumnType::Text && utf16_length(*s) * 2 > c.length) {
                refuse(c, "the text is longer than the column's " + std::to_string(c.length / 2) + " characters", Reason::TooLong);
            }
            return v;
        }
        case ColumnType::Binary:
        case ColumnType::Ole: {
            const auto* b = std::get_if<Binary>(&v);
            if (!b) refuse(c, "a binary column takes bytes", Reason::WrongType);
            if (c.type == ColumnType::Binary && b->bytes.size() > c.length) refuse(c, "more bytes than the column's length", Reason::TooLong);
            return v;
        }
    }
    refuse(c, "a column of an unknown type", Reason::WrongType);
}

namespace {

void put_le(std::uint8_t* p, std::uint64_t v, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

void put_fixed(std::uint8_t* p, const Column& c, const Value& v) {
    switch (c.type) {
        case ColumnType::Byte:
        case ColumnType::Integer:
        case ColumnType::Long:
            put_le(p, static_cast<std::uint64_t>(std::get<std::int64_t>(v)), fixed_size(c.type));
            break;
        case ColumnType::Currency: put_le(p, static_cast<std::uint64_t>(std::get<Currency>(v).units), 8); break;
        case ColumnType::Single: put_le(p, std::bit_cast<std::uint32_t>(std::get<float>(v)), 4); break;
        case ColumnType::Double: put_le(p, std::bit_cast<std::uint64_t>(std::get<double>(v)), 8); break;
        case ColumnType::DateTime: put_le(p, std::bit_cast<std::uint64_t>(std::get<DateTime>(v).days), 8); break;
        case ColumnType::Guid: std::memcpy(p, std::get<Guid>(v).bytes.data(), 16); break;
        case ColumnType::Decimal: {
            const Decimal& d = std::get<Decimal>(v);
            p[0] = d.negative ? 0x80 : 0x00;
            for (std::size_t w = 0; w < 4; ++w) put_le(p + 1 + 4 * (3 - w), d.magnitude[w], 4);
            break;
        }
        case ColumnType::Text: {
            // An empty value leaves the zeros (and memcpy must not see its null data pointer).
            std::vector<std::uint8_t> t = encode_utf8_text(std::get<std::string>(v), false);
            if (!t.empty()) std::memcpy(p, t.data(), std::min<std::size_t>(t.size(), c.length));
            break;
        }
        case ColumnType::Binary: {
            const auto& b = std::get<Binary>(v).bytes;
            if (!b.empty()) std::memcpy(p, b.data(), std::min<std::size_t>(b.size(), c.length));
            break;
        }
        default: break;
    }
}

}  // namespace

std::size_t fixed_width(const Column& c) {
    return c.type == ColumnType::Text || c.type == ColumnType::Binary ? c.length : fixed_size(c.type);
}

void encode_fields(const TableDef& def, const std::vector<Value>& values, RowFields& f) {
    std::size_t column_count = 0, fixed_end = 0, var_count = 0;
    for (const Column& c : def.columns) {
        column_count = std::max<std::size_t>(column_count, c.number + 1u);
        if (c.fixed()) {
            fixed_end = std::max(fixed_end, c.fixed_offset + fixed_width(c));
        } else {
            var_count = std::max<std::size_t>(var_count, c.var_index + 1u);
        }
    }
    f.head.assign(2 + fixed_end, 0);
    put_le(f.head.data(), column_count, 2);
    f.mask.assign((column_count + 7) / 8, 0);
    f.data.clear();
    f.ends.assign(var_count, 0);
    f.var_table = def.var_columns > 0 || var_count > 0;
    // First the fixed area and the mask, noting which present column fills
    // each variable slot; then the slots' bytes in slot order.
    std::vector<std::int32_t>& slot_column = f.long_column;
    slot_column.assign(var_count, -1);
    for (std::size_t i = 0; i < def.columns.size(); ++i) {
        const Column& c = def.columns[i];
        const Value& v = i < values.size() ? values[i] : Value{Null{}};
        bool present = c.type == ColumnType::Boolean ? std::get<bool>(v) : !is_null(v);
        if (present) f.mask[c.number / 8] = static_cast<std::uint8_t>(f.mask[c.number / 8] | (1u << (c.number % 8)));
        if (!present || c.type == ColumnType::Boolean) continue;
        if (c.fixed()) {
            put_fixed(f.head.data() + 2 + c.fixed_offset, c, v);
        } else {
            slot_column[c.var_index] = static_cast<std::int32_t>(i);
        }
    }
    for (std::size_t k = 0; k < var_count; ++k) {
        const std::int32_t i = slot_column[k];
        if (i >= 0) {
            const Column& c = def.columns[static_cast<std::size_t>(i)];
            const Value& v = values[static_cast<std::size_t>(i)];
            if (c.type == ColumnType::Text || c.type == ColumnType::Memo) {
                append_utf8_text(f.data, std::get<std::string>(v), c.compressed_unicode());
            } else if (c.type == ColumnType::Binary || c.type == ColumnType::Ole) {
                const auto& b = std::get<Binary>(v).bytes;
                f.data.insert(f.data.end(), b.begin(), b.end());
            } else {
                const std::size_t at = f.data.size();
                f.data.resize(at + fixed_size(c.type));
                put_fixed(f.data.data() + at, c, v);
            }
            if (!is_long_value(c.type)) slot_column[k] = -1;
        }
        f.ends[k] = static_cast<std::uint32_t>(f.data.size());
    }
}

std::size_t row_size(const RowFields& f, const std::function<std::size_t(std::size_t)>& long_field_size) {
    std::size_t n = f.head.size() + f.mask.size();
    if (f.var_table) n += 2 * (f.ends.size() + 1) + 2;
    std::uint32_t from = 0;
    for (std::size_t k = 0; k < f.ends.size(); ++k) {
        const std::size_t len = f.ends[k] - from;
        n += f.long_column[k] >= 0 ? long_field_size(len) : len;
        from = f.ends[k];
    }
    return n;
}

void lay_out_row(const TableDef& def, const RowFields& f, const LongValueField& long_field, std::vector<std::uint8_t>& row) {
    row.assign(f.head.begin(), f.head.end());
    const std::size_t var_count = f.ends.size();
    std::vector<std::uint16_t> starts(var_count + 1);
    std::uint32_t from = 0;
    for (std::size_t k = 0; k < var_count; ++k) {
        starts[k] = static_cast<std::uint16_t>(row.size());
        Bytes bytes(f.data.data() + from, f.ends[k] - from);
        if (f.long_column[k] >= 0) {
            long_field(def.columns[static_cast<std::size_t>(f.long_column[k])], bytes, row);
        } else {
            row.insert(row.end(), bytes.begin(), bytes.end());
        }
        from = f.ends[k];
    }
    starts[var_count] = static_cast<std::uint16_t>(row.size());
    if (f.var_table) {
        for (std::size_t k = var_count + 1; k-- > 0;) {
            row.push_back(static_cast<std::uint8_t>(starts[k] & 0xFF));
            row.push_back(static_cast<std::uint8_t>(starts[k] >> 8));
        }
        row.push_back(static_cast<std::uint8_t>(var_count & 0xFF));
        row.push_back(static_cast<std::uint8_t>(var_count >> 8));
    }
    row.insert(row.end(), f.mask.begin(), f.mask.end());
}

}  // namespace jet
