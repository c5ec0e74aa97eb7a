#include "query.h"

#include <algorithm>
#include <stdexcept>

#include "catalog.h"
#include "jet/text.h"
#include "query_where.h"
#include "server_error.h"
#include "sql/eval.h"
#include "upsize_schema.h"
#include "values.h"

namespace server {

namespace {

// Texts as an array parameter: {"a","b"}, each element quoted.
std::string array_text(const std::vector<std::string>& keys, std::size_t first, std::size_t count, std::size_t width,
                       std::size_t column) {
    std::string out = "{";
    for (std::size_t i = 0; i < count; ++i) {
        if (i) out += ',';
        out += '"';
        for (char ch : keys[(first + i) * width + column]) {
            if (ch == '"' || ch == '\\') out += '\\';
            out += ch;
        }
        out += '"';
    }
    return out + "}";
}

std::string listed(const std::vector<std::string>& parts) {
    std::string out;
    for (const std::string& p : parts) out += (out.empty() ? "" : ", ") + p;
    return out;
}

}  // namespace

QueryResult QueryResult::run(Connection& c, const sql::Statement& s) {
    QueryResult r(c);
    ServerTable t;
    try {
        t = find_table(c, s.table);
    } catch (const Error& e) {
        if (e.kind() == ErrorKind::TableMissing) sql::no_such_table(s.table, s.table_position);
        throw;
    }
    r.table_ = Connection::quote(t.spec.name);
    r.columns_ = t.columns;
    const std::vector<jet::Column>& columns = r.columns_;

    auto qualifier_ok = [&](const std::string& qualifier) { return qualifier.empty() || jet::same_name(qualifier, s.table); };
    auto resolve = [&](const sql::ColumnRef& ref) -> std::size_t {
        std::string written = ref.table.empty() ? ref.name : ref.table + "." + ref.name;
        if (!qualifier_ok(ref.table)) sql::no_such_column(written, ref.position);
        for (std::size_t i = 0; i < columns.size(); ++i) {
            if (jet::same_name(columns[i].name, ref.name)) return i;
        }
        sql::no_such_column(written, ref.position);
    };
    if (s.all_columns) {
        if (!qualifier_ok(s.all_columns_table)) sql::no_such_column(s.all_columns_table + ".*", s.all_columns_position);
        for (std::size_t i = 0; i < columns.size(); ++i) r.ordinals_.push_back(i);
    } else {
        for (const sql::ColumnRef& ref : s.columns) r.ordinals_.push_back(resolve(ref));
    }
    for (std::size_t i : r.ordinals_) {
        r.names_.push_back(columns[i].name);
        r.types_.push_back(columns[i].type);
    }

    // Rows are found again by their primary key, or where the server keeps them.
    for (const jet::IndexSpec& x : t.spec.indexes) {
        if (!x.primary_key) continue;
        for (const auto& part : x.columns) {
            const std::string& name = part.first;
            auto col = std::find_if(columns.begin(), columns.end(), [&](const jet::Column& k) { return k.name == name; });
            if (col == columns.end()) continue;
            r.key_sql_.push_back(Connection::quote(name));
            r.key_types_.push_back(column_type(*col));
        }
        r.order_by_ = t.order_by;
        break;
    }
    if (r.key_sql_.empty() || r.order_by_.empty()) {
        r.key_sql_ = {"ctid"};
        r.key_types_ = {"tid"};
        r.order_by_ = "ctid";
    }
    r.width_ = r.key_sql_.size();

    std::optional<sql::Filter> filter;
    ServerCondition where{"TRUE", {}, true};
    if (s.has_where) {
        filter.emplace(s.where, resolve, columns.size(), s.text);
        if (!filter->reads_columns()) {
            // The same for every row: decided once.
            if (filter->test(std::vector<jet::Value>(columns.size())) != sql::Truth::True) return r;
        } else {
            where = server_condition(s.where, columns, resolve, s.text);
            if (where.sql == "FALSE") return r;
        }
    }

    // What the filter reads comes after the keys, unless the server decides alone.
    std::vector<std::size_t> read;
    if (!where.exact) {
        for (std::size_t i = 0; i < columns.size(); ++i) {
            if (filter->wanted()[i]) read.push_back(i);
        }
    }
    std::vector<std::string> select = r.key_sql_;
    for (std::size_t i : read) select.push_back(Connection::quote(columns[i].name));
    std::string query = "SELECT " + listed(select) + " FROM " + r.table_;
    if (where.sql != "TRUE") query += " WHERE " + where.sql;
    query += " ORDER BY " + r.order_by_;

    std::vector<jet::Value> row(columns.size());
    const int width = static_cast<int>(r.width_);
    c.stream(
        query, where.params,
        [&](const Result& got) {
            if (!read.empty()) {
                for (std::size_t k = 0; k < read.size(); ++k) {
                    const int at = width + static_cast<int>(k);
                    row[read[k]] = got.is_null(0, at) ? jet::Value{} : value_from_text(columns[read[k]], got.text(0, at));
                }
                if (filter->test(row) != sql::Truth::True) return true;
            }
            for (int k = 0; k < width; ++k) r.keys_.emplace_back(got.text(0, k));
            return true;
        },
        t.spec.name);
    r.keys_.shrink_to_fit();
    return r;
}

std::vector<std::vector<jet::Value>> QueryResult::rows(std::size_t first, std::size_t count) const {
    const std::size_t total = row_count();
    if (first > total) throw std::out_of_range("result rows from " + std::to_string(first) + " of " + std::to_string(total));
    const std::size_t n = std::min(count, total - first);
    std::vector<std::vector<jet::Value>> out;
    if (n == 0) return out;

    std::vector<std::string> select;
    for (std::size_t i : ordinals_) select.push_back(Connection::quote(columns_[i].name));
    for (const std::string& k : key_sql_) select.push_back(k);
    std::vector<Param> params;
    std::string arrays;
    for (std::size_t k = 0; k < width_; ++k) {
        params.emplace_back(array_text(keys_, first, n, width_, k));
        arrays += (k ? ", $" : "$") + std::to_string(k + 1) + "::" + key_types_[k] + "[]";
    }
    std::string query = "SELECT " + listed(select) + " FROM " + table_ + " WHERE ";
    if (width_ == 1) query += key_sql_[0] + " = ANY (" + arrays + ")";
    else query += "(" + listed(key_sql_) + ") IN (SELECT * FROM unnest(" + arrays + "))";
    query += " ORDER BY " + order_by_;
    const Result got = c_->exec(query, params, table_);

    // The rows come in the keys' order; a key with no row is a row gone.
    const int values = static_cast<int>(ordinals_.size());
    out.reserve(n);
    int at = 0;
    for (std::size_t i = 0; i < n; ++i) {
        bool found = at < got.rows();
        for (std::size_t k = 0; found && k < width_; ++k) {
            found = got.text(at, values + static_cast<int>(k)) == keys_[(first + i) * width_ + k];
        }
        std::vector<jet::Value> row(ordinals_.size());
        if (found) {
            for (int v = 0; v < values; ++v) {
                if (!got.is_null(at, v)) row[static_cast<std::size_t>(v)] = value_from_text(columns_[ordinals_[static_cast<std::size_t>(v)]], got.text(at, v));
            }
            ++at;
        }
        out.push_back(std::move(row));
    }
    return out;
}

}  // namespace server
