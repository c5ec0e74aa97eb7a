#include "query.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <stdexcept>
#include <string_view>
#include <unordered_map>

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

QueryResult QueryResult::prepare(Connection& c, const sql::Statement& s) {
    QueryResult r(c);
    ServerTable t;
    try {
        t = find_table(c, s.table);
    } catch (const Error& e) {
        if (e.kind() == ErrorKind::TableMissing) sql::no_such_table(s.table, s.table_position);
        throw;
    }
    r.table_ = Connection::quote(t.spec.name);
    r.subject_ = t.spec.name;
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

    // Rows come in the primary key's order (without one, in the server's), and
    // are read again where they were, or by that key when they have moved.
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
        r.key_sql_.clear();
        r.key_types_.clear();
        r.order_by_ = "ctid";
    }
    r.width_ = r.key_sql_.size() + 1;

    ServerCondition where{"TRUE", {}, true};
    if (s.has_where) {
        r.filter_.emplace(s.where, resolve, columns.size(), s.text);
        if (!r.filter_->reads_columns()) {
            // The same for every row: decided once.
            const bool taken = r.filter_->test(std::vector<jet::Value>(columns.size())) == sql::Truth::True;
            r.filter_.reset();
            if (!taken) r.complete_ = true;
        } else {
            const bool unicode = c.exec("SELECT current_setting('server_encoding')").text(0, 0) == "UTF8";
            where = server_condition(s.where, columns, resolve, s.text, unicode);
            if (where.sql == "FALSE") r.complete_ = true;
        }
    }

    // What the filter reads comes after the keys, unless the server decides alone.
    if (where.exact) {
        r.filter_.reset();
    } else {
        for (std::size_t i = 0; i < columns.size(); ++i) {
            if (r.filter_->wanted()[i]) r.read_.push_back(i);
        }
    }
    std::vector<std::string> select = r.key_sql_;
    select.emplace_back("ctid");
    for (std::size_t i : r.read_) select.push_back(Connection::quote(columns[i].name));
    r.key_select_ = "SELECT " + listed(select) + " FROM " + r.table_;
    r.where_sql_ = std::move(where.sql);
    r.where_params_ = std::move(where.params);
    return r;
}

QueryResult QueryResult::run(Connection& c, const sql::Statement& s) {
    QueryResult r = prepare(c, s);
    r.more(SIZE_MAX);
    return r;
}

QueryResult QueryResult::start(Connection& c, const sql::Statement& s, std::size_t first) {
    QueryResult r = prepare(c, s);
    // A filter judging rows here could fail on a row read later, when no
    // one waits for the failure: such a result is read whole now.
    r.more(r.filter_ ? SIZE_MAX : first);
    if (!r.complete_ && r.where_sql_ == "TRUE") {
        // The server's count of the table's rows as its last upkeep left it
        // (-1 before any): no row is counted now.
        const Result n = c.exec("SELECT reltuples::bigint FROM pg_class WHERE oid = $1::regclass", {r.table_}, r.subject_);
        if (n.rows() == 1 && !n.is_null(0, 0)) {
            const long long counted = std::stoll(std::string(n.text(0, 0)));
            if (counted > 0) r.expected_ = static_cast<std::size_t>(counted);
        }
    }
    r.expected_ = std::max(r.expected_, r.row_count());
    return r;
}

void QueryResult::more(std::size_t count) {
    if (complete_ || count == 0) return;
    // On after the last row read, in the order the rows are listed in.
    std::string where = where_sql_;
    std::vector<Param> params = where_params_;
    if (!last_.empty()) {
        std::string after;
        if (key_sql_.empty()) {
            params.emplace_back(last_[0]);
            after = "ctid > $" + std::to_string(params.size()) + "::tid";
        } else {
            std::string values;
            for (std::size_t k = 0; k < key_sql_.size(); ++k) {
                params.emplace_back(last_[k]);
                values += (k ? ", $" : "$") + std::to_string(params.size()) + "::" + key_types_[k];
            }
            after = "(" + listed(key_sql_) + ") > (" + values + ")";
        }
        where = where == "TRUE" ? after : "(" + where + ") AND " + after;
    }
    std::string query = key_select_;
    if (where != "TRUE") query += " WHERE " + where;
    query += " ORDER BY " + order_by_;
    if (count != SIZE_MAX) query += " LIMIT " + std::to_string(count);

    std::vector<jet::Value> row(columns_.size());
    const int width = static_cast<int>(width_);
    const std::size_t last_width = key_sql_.empty() ? 1 : key_sql_.size();
    const int last_from = key_sql_.empty() ? width - 1 : 0;
    std::size_t seen = 0;
    c_->stream(
        query, params,
        [&](const Result& got) {
            ++seen;
            last_.resize(last_width);
            for (std::size_t k = 0; k < last_width; ++k) last_[k] = got.text(0, last_from + static_cast<int>(k));
            if (!read_.empty()) {
                for (std::size_t k = 0; k < read_.size(); ++k) {
                    const int at = width + static_cast<int>(k);
                    row[read_[k]] = got.is_null(0, at) ? jet::Value{} : value_from_text(columns_[read_[k]], got.text(0, at));
                }
                if (filter_->test(row) != sql::Truth::True) return true;
            }
            for (int k = 0; k < width; ++k) keys_.emplace_back(got.text(0, k));
            return true;
        },
        subject_);
    if (count == SIZE_MAX || seen < count) {
        complete_ = true;
        keys_.shrink_to_fit();
    }
}

std::vector<std::vector<jet::Value>> QueryResult::rows(std::size_t first, std::size_t count) const {
    const std::size_t total = row_count();
    if (first > total) throw std::out_of_range("result rows from " + std::to_string(first) + " of " + std::to_string(total));
    const std::size_t n = std::min(count, total - first);
    std::vector<std::vector<jet::Value>> out;
    if (n == 0) return out;

    // Where the rows were; those found there with the same key are the rows.
    std::vector<Result> held;
    held.reserve(2);  // found points into them
    held.push_back(c_->exec(select_sql() + " WHERE ctid = ANY ($1::tid[])", {array_text(keys_, first, n, width_, width_ - 1)}, table_));
    const Result& at_place = held.front();
    std::unordered_map<std::string_view, int> by_place;
    const int values = static_cast<int>(ordinals_.size());
    const int place = values + static_cast<int>(width_) - 1;
    for (int row = 0; row < at_place.rows(); ++row) by_place.emplace(at_place.text(row, place), row);
    Found found(n, {nullptr, 0});
    std::vector<std::size_t> missing;
    for (std::size_t i = 0; i < n; ++i) {
        const std::string* key = &keys_[(first + i) * width_];
        auto it = by_place.find(key[width_ - 1]);
        bool same = it != by_place.end();
        for (std::size_t k = 0; same && k + 1 < width_; ++k) same = at_place.text(it->second, values + static_cast<int>(k)) == key[k];
        if (same) found[i] = {&at_place, it->second};
        else missing.push_back(i);
    }
    if (!missing.empty() && !key_sql_.empty()) find_by_key(first, missing, found, held);

    // A row found nowhere is gone: all Null.
    out.reserve(n);
    for (const auto& [result, row] : found) {
        std::vector<jet::Value> values_of(ordinals_.size());
        for (int v = 0; result && v < values; ++v) {
            const auto i = static_cast<std::size_t>(v);
            if (!result->is_null(row, v)) values_of[i] = value_from_text(columns_[ordinals_[i]], result->text(row, v));
        }
        out.push_back(std::move(values_of));
    }
    return out;
}

std::string QueryResult::select_sql() const {
    std::vector<std::string> select;
    for (std::size_t i : ordinals_) select.push_back(Connection::quote(columns_[i].name));
    for (const std::string& k : key_sql_) select.push_back(k);
    select.emplace_back("ctid");
    return "SELECT " + listed(select) + " FROM " + table_;
}

void QueryResult::find_by_key(std::size_t first, const std::vector<std::size_t>& missing, Found& found, std::vector<Result>& held) const {
    const std::size_t keys = key_sql_.size();
    std::vector<std::string> wanted;
    for (std::size_t i : missing) {
        for (std::size_t k = 0; k < keys; ++k) wanted.push_back(keys_[(first + i) * width_ + k]);
    }
    std::vector<Param> params;
    std::string arrays;
    for (std::size_t k = 0; k < keys; ++k) {
        params.emplace_back(array_text(wanted, 0, missing.size(), keys, k));
        arrays += (k ? ", $" : "$") + std::to_string(k + 1) + "::" + key_types_[k] + "[]";
    }
    std::string query = select_sql() + " WHERE ";
    if (keys == 1) query += key_sql_[0] + " = ANY (" + arrays + ")";
    else query += "(" + listed(key_sql_) + ") IN (SELECT * FROM unnest(" + arrays + "))";
    held.push_back(c_->exec(query, params, table_));
    const Result& moved = held.back();
    const int values = static_cast<int>(ordinals_.size());
    std::map<std::vector<std::string_view>, int> by_key;
    for (int row = 0; row < moved.rows(); ++row) {
        std::vector<std::string_view> key;
        for (std::size_t k = 0; k < keys; ++k) key.push_back(moved.text(row, values + static_cast<int>(k)));
        by_key.emplace(std::move(key), row);
    }
    for (std::size_t m = 0; m < missing.size(); ++m) {
        const std::vector<std::string_view> key(wanted.begin() + static_cast<std::ptrdiff_t>(m * keys),
                                                wanted.begin() + static_cast<std::ptrdiff_t>((m + 1) * keys));
        auto it = by_key.find(key);
        if (it != by_key.end()) found[missing[m]] = {&moved, it->second};
    }
}

}  // namespace server
