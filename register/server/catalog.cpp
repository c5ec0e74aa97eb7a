#include "catalog.h"
#include "values.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <set>

#include "jet/text.h"
#include "server_error.h"
#include "upsize_schema.h"

namespace server {

namespace {

std::int64_t number(std::string_view text) { return catalog_number(text); }

// "1 3": the numbers of an index's columns as the server writes them.
std::vector<std::int64_t> numbers(std::string_view text) {
    std::vector<std::int64_t> v;
    std::string part;
    for (char ch : std::string(text) + " ") {
        if (ch != ' ') {
            part += ch;
        } else if (!part.empty()) {
            v.push_back(number(part));
            part.clear();
        }
    }
    return v;
}

// What the upsize's checks say of a column: a Byte, a Binary's length.
struct Checked {
    bool byte = false;
    std::int64_t binary_length = 0;
};

jet::ColumnSpec column_spec(const std::string& table, const std::string& name, std::string_view type, std::int64_t typmod,
                            bool identity, const Checked& checked) {
    jet::ColumnSpec s;
    s.name = name;
    const auto unsupported = [&] { throw Error(ErrorKind::UnsupportedType, table + "." + name + " (" + std::string(type) + ")"); };
    if (type == "bool") s.type = jet::ColumnType::Boolean;
    else if (type == "int2") s.type = checked.byte ? jet::ColumnType::Byte : jet::ColumnType::Integer;
    else if (type == "int4") s.type = jet::ColumnType::Long;
    else if (type == "float4") s.type = jet::ColumnType::Single;
    else if (type == "float8") s.type = jet::ColumnType::Double;
    else if (type == "timestamp") s.type = jet::ColumnType::DateTime;
    else if (type == "bytea") {
        if (checked.binary_length > 0 && checked.binary_length <= 255) {
            s.type = jet::ColumnType::Binary;
            s.chars = static_cast<std::uint16_t>(checked.binary_length);
        } else {
            s.type = jet::ColumnType::Ole;
        }
    }
    else if (type == "uuid") s.type = jet::ColumnType::Guid;
    else if (type == "text") s.type = jet::ColumnType::Memo;
    else if (type == "varchar") {
        const std::int64_t chars = typmod - 4;  // the server keeps the length with four added
        if (typmod >= 0 && chars <= 255) {
            s.type = jet::ColumnType::Text;
            s.chars = static_cast<std::uint16_t>(chars);
        } else {
            s.type = jet::ColumnType::Memo;
        }
    } else if (type == "numeric") {
        if (typmod < 4) unsupported();
        const auto precision = static_cast<std::uint8_t>(((typmod - 4) >> 16) & 0xFFFF);
        const auto scale = static_cast<std::uint8_t>((typmod - 4) & 0xFFFF);
        if (precision == 19 && scale == 4) {
            s.type = jet::ColumnType::Currency;
        } else if (precision <= 28) {
            s.type = jet::ColumnType::Decimal;
            s.precision = precision;
            s.scale = scale;
        } else {
            unsupported();
        }
    } else {
        unsupported();
    }
    if (identity) {
        if (s.type != jet::ColumnType::Long) unsupported();
        s.autonumber = true;
    }
    return s;
}

}  // namespace

ServerTable read_table(Connection& c, const TableName& table, std::vector<ColumnWithoutFileType>* unsupported) {
    const std::string& oid = table.oid;
    const std::string& name = table.name;
    ServerTable t;
    t.oid = oid;
    t.spec.name = name;
    std::map<std::int64_t, std::string> by_number;
    const Result cols = c.exec(
        "SELECT a.attnum, a.attname, ty.typname, a.atttypmod, a.attidentity <> '', "
        "EXISTS (SELECT 1 FROM pg_constraint k WHERE k.conrelid = a.attrelid AND k.contype = 'c' "
        "        AND k.conkey = ARRAY[a.attnum] AND starts_with(k.conname::text, $2)), "
        "(SELECT max(substring(pg_get_constraintdef(k.oid) FROM '<= (\\d+)')::integer) FROM pg_constraint k "
        "        WHERE k.conrelid = a.attrelid AND k.contype = 'c' AND k.conkey = ARRAY[a.attnum] "
        "        AND starts_with(k.conname::text, $3)), "
        // Kept from holding Null by the upsize for a required index, not
        // being a Boolean, an AutoNumber or in the primary key.
        "a.attnotnull AND a.attidentity = '' AND ty.typname <> 'bool' AND NOT EXISTS (SELECT 1 FROM pg_index i "
        "        WHERE i.indrelid = a.attrelid AND i.indisprimary AND a.attnum = ANY (i.indkey)), "
        "format_type(a.atttypid, a.atttypmod), a.atthasdef OR a.attidentity <> '' "
        "FROM pg_attribute a JOIN pg_type ty ON ty.oid = a.atttypid "
        "WHERE a.attrelid = $1::oid AND a.attnum > 0 AND NOT a.attisdropped ORDER BY a.attnum",
        {oid, std::string(kByteCheck), std::string(kBinaryCheck)}, name);
    std::set<std::int64_t> not_null;  // the numbers of columns a required index keeps from holding Null
    for (int r = 0; r < cols.rows(); ++r) {
        const std::string column(cols.text(r, 1));
        Checked checked;
        checked.byte = cols.text(r, 5) == "t";
        if (!cols.is_null(r, 6)) checked.binary_length = number(cols.text(r, 6));
        jet::ColumnSpec s;
        try {
            s = column_spec(name, column, cols.text(r, 2), number(cols.text(r, 3)), cols.text(r, 4) == "t", checked);
        } catch (const Error& e) {
            if (!unsupported || e.kind() != ErrorKind::UnsupportedType) throw;
            unsupported->push_back({column, std::string(cols.text(r, 8))});
            continue;
        }
        if (cols.text(r, 7) == "t") not_null.insert(number(cols.text(r, 0)));
        by_number[number(cols.text(r, 0))] = column;
        jet::Column read;
        read.name = s.name;
        read.type = s.type;
        read.precision = s.precision;
        read.scale = s.scale;
        // As the file's catalog describes such a column, for what is shown of it.
        if (s.type == jet::ColumnType::Text) read.length = static_cast<std::uint16_t>(s.chars * 2);
        else if (s.type == jet::ColumnType::Binary) read.length = s.chars;
        else if (s.type != jet::ColumnType::Memo && s.type != jet::ColumnType::Ole) read.flags |= jet::Column::kFixed;
        if (s.autonumber) read.flags |= jet::Column::kAutoLong;
        t.columns.push_back(read);
        t.defaulted.push_back(cols.text(r, 9) == "t");
        if (s.autonumber) {
            // The sequence itself: after the upsize's RESTART WITH, its
            // last value is the next to give, not one given.
            const Result sequence = c.exec("SELECT pg_get_serial_sequence($1, $2)", {Connection::quote(name), column}, name);
            if (sequence.rows() == 1 && !sequence.is_null(0, 0)) {
                const Result last = c.exec("SELECT CASE WHEN is_called THEN last_value ELSE last_value - 1 END FROM " +
                                               std::string(sequence.text(0, 0)),
                                           {}, name);
                if (last.rows() == 1 && !last.is_null(0, 0)) t.last_number = number(last.text(0, 0));
            }
        }
        t.spec.columns.push_back(std::move(s));
    }
    // The indexes, under the names the comments keep; one the upsize made
    // twice (exactly and letter case aside) is made once.
    const Result xs = c.exec(
        "SELECT i.indisprimary, i.indisunique, i.indkey::text, i.indoption::text, "
        "coalesce(obj_description(i.indexrelid, 'pg_class'), ic.relname) "
        "FROM pg_index i JOIN pg_class ic ON ic.oid = i.indexrelid "
        "WHERE i.indrelid = $1::oid AND i.indexprs IS NULL AND i.indpred IS NULL "
        "ORDER BY i.indisprimary DESC, i.indexrelid",
        {oid}, name);
    std::set<std::string> names;
    for (int r = 0; r < xs.rows(); ++r) {
        jet::IndexSpec x;
        x.name = std::string(xs.text(r, 4));
        if (!names.insert(x.name).second) continue;
        x.primary_key = xs.text(r, 0) == "t";
        x.unique = xs.text(r, 1) == "t";
        const std::vector<std::int64_t> keys = numbers(xs.text(r, 2)), options = numbers(xs.text(r, 3));
        // An index whose columns may not hold Null is one the file required.
        x.required = !x.primary_key && !keys.empty() &&
                     std::all_of(keys.begin(), keys.end(), [&](std::int64_t k) { return not_null.count(k) > 0; });
        for (std::size_t k = 0; k < keys.size(); ++k) {
            const bool descending = k < options.size() && (options[k] & 1);
            x.columns.emplace_back(by_number[keys[k]], !descending);
            if (x.primary_key) t.order_by += (t.order_by.empty() ? "" : ", ") + Connection::quote(by_number[keys[k]]);
        }
        t.spec.indexes.push_back(std::move(x));
    }
    return t;
}

std::vector<jet::Relationship> foreign_keys(Connection& c, const std::string& table_oid) {
    const Result r = c.exec(
        "SELECT k.oid, coalesce(obj_description(k.oid, 'pg_constraint'), k.conname), ch.relname, pa.relname, "
        "k.confupdtype = 'c', k.confdeltype = 'c', cc.attname, pc.attname "
        "FROM pg_constraint k JOIN pg_class ch ON ch.oid = k.conrelid JOIN pg_class pa ON pa.oid = k.confrelid "
        "CROSS JOIN LATERAL unnest(k.conkey, k.confkey) WITH ORDINALITY u(child, parent, at) "
        "JOIN pg_attribute cc ON cc.attrelid = k.conrelid AND cc.attnum = u.child "
        "JOIN pg_attribute pc ON pc.attrelid = k.confrelid AND pc.attnum = u.parent "
        "WHERE k.contype = 'f' AND (k.conrelid = $1::oid OR k.confrelid = $1::oid) ORDER BY k.oid, u.at",
        {table_oid});
    std::vector<jet::Relationship> keys;
    std::string_view last;
    for (int i = 0; i < r.rows(); ++i) {
        if (keys.empty() || r.text(i, 0) != last) {
            last = r.text(i, 0);
            jet::Relationship k;
            k.name = std::string(r.text(i, 1));
            k.child = std::string(r.text(i, 2));
            k.parent = std::string(r.text(i, 3));
            if (r.text(i, 4) == "t") k.flags |= jet::Relationship::kCascadeUpdates;
            if (r.text(i, 5) == "t") k.flags |= jet::Relationship::kCascadeDeletes;
            keys.push_back(std::move(k));
        }
        keys.back().child_columns.emplace_back(r.text(i, 6));
        keys.back().parent_columns.emplace_back(r.text(i, 7));
    }
    return keys;
}

std::string select_sql(const ServerTable& t, const std::string& order_by) {
    std::string s;
    for (const jet::Column& c : t.columns) s += (s.empty() ? "" : ", ") + Connection::quote(c.name);
    s = "SELECT " + s + " FROM " + Connection::quote(t.spec.name);
    return order_by.empty() ? s : s + " ORDER BY " + order_by;
}

std::vector<TableName> list_tables(Connection& c) {
    const Result list = c.exec(
        "SELECT c.oid::text, c.relname FROM pg_class c "
        "WHERE c.relnamespace = current_schema()::regnamespace AND c.relkind IN ('r', 'p') ORDER BY c.oid");
    std::vector<TableName> names;
    for (int r = 0; r < list.rows(); ++r) names.push_back({std::string(list.text(r, 0)), std::string(list.text(r, 1))});
    return names;
}

ServerTable find_table(Connection& c, const std::string& name) {
    // The name as given first, else one that differs from it in letter case
    // only, compared as the file compares names (the server's lower() knows
    // the letters of its database's locale only).
    const std::vector<TableName> tables = list_tables(c);
    const TableName* found = nullptr;
    for (const TableName& t : tables) {
        if (t.name == name) return read_table(c, t);
        if (!found && jet::same_name(t.name, name)) found = &t;
    }
    if (!found) throw Error(ErrorKind::TableMissing, name);
    return read_table(c, *found);
}

}  // namespace server
