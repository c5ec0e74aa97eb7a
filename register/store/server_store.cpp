#include "store/server_store.h"

#include <cstdint>
#include <filesystem>
#include <string>

#include "jet/error.h"
#include "logic/register.h"
#include "server/catalog.h"
#include "server/link.h"
#include "server/move.h"
#include "server/query.h"
#include "server/server_error.h"
#include "server/values.h"

namespace store {

namespace {

using server::Connection;
using server::Param;

// A statement's parameter $n.
std::string placeholder(std::size_t n) { return "$" + std::to_string(n); }

// The key of the row a result's row names: its first `width` values.
RowKey key_of(const server::Result& r, int row, std::size_t width) {
    std::vector<std::string> values;
    values.reserve(width);
    for (std::size_t i = 0; i < width; ++i) values.emplace_back(r.text(row, static_cast<int>(i)));
    return RowKey(std::move(values));
}

// The first keys now; the rest streamed in the key's order when they are wanted.
class ServerKeyset final : public Keyset {
public:
    ServerKeyset(Connection& c, std::string listing, std::size_t width, std::size_t count, std::size_t first, std::string subject)
        : c_(c), listing_(std::move(listing)), width_(width), subject_(std::move(subject)), expected_(count) {
        // One key more than asked tells whether there are more.
        const server::Result r = c_.exec(listing_ + " LIMIT $1", {std::to_string(first + 1)}, subject_);
        for (int i = 0; i < r.rows(); ++i) first_.push_back(key_of(r, i, width_));
        ready_ = first_.size() <= first;
    }
    std::size_t expected() const override { return expected_; }
    bool ready() const override { return ready_; }
    std::vector<RowKey> all() override {
        if (ready_) return first_;
        std::vector<RowKey> keys;
        keys.reserve(expected_);
        c_.stream(
            listing_, {},
            [&](const server::Result& r) {
                keys.push_back(key_of(r, 0, width_));
                return true;
            },
            subject_);
        return keys;
    }

private:
    Connection& c_;
    std::string listing_;
    std::size_t width_;
    std::string subject_;
    std::size_t expected_;
    bool ready_ = false;
};

// A table of the server register. Its rows are found by the primary key's
// values; a table without a primary key by the rows' places (ctid), which
// hold while no one changes the rows, and which is why such a table is
// only read.
class ServerTable final : public Table {
public:
    ServerTable(Connection& c, server::ServerTable t) : c_(c), t_(std::move(t)), table_(Connection::quote(t_.spec.name)) {
        for (const jet::IndexSpec& x : t_.spec.indexes) {
            if (!x.primary_key) continue;
            for (const auto& [column, ascending] : x.columns) {
                for (std::size_t i = 0; i < t_.columns.size(); ++i) {
                    if (t_.columns[i].name == column) key_.push_back(i);
                }
            }
        }
        for (std::size_t i : key_) key_list_ += (key_list_.empty() ? "" : ", ") + Connection::quote(t_.columns[i].name);
        if (key_.empty()) key_list_ = "ctid";
    }

    const std::string& name() const override { return t_.spec.name; }
    const std::vector<jet::Column>& columns() const override { return t_.columns; }
    std::vector<jet::IndexSpec> indexes() const override { return t_.spec.indexes; }
    std::size_t row_count() override { return count(); }
    void check_changeable() const override {
        if (key_.empty()) throw server::Error(server::ErrorKind::NoPrimaryKey, name());
    }

    std::unique_ptr<Keyset> keys(std::size_t first) override {
        const std::size_t n = count_for_keyset();
        return std::make_unique<ServerKeyset>(c_, "SELECT " + key_list_ + " FROM " + table_ + " ORDER BY " + key_list_, width(), n,
                                              first, name());
    }

    std::optional<Row> read(const RowKey& key) override {
        std::vector<Param> params;
        const server::Result r = c_.exec(server::select_sql(t_, {}) + " WHERE " + where(key, params), params, name());
        if (r.rows() == 0) return std::nullopt;
        Row row;
        row.reserve(t_.columns.size());
        for (std::size_t i = 0; i < t_.columns.size(); ++i) {
            const int column = static_cast<int>(i);
            row.push_back(r.is_null(0, column) ? jet::Value(jet::Null{}) : server::value_from_text(t_.columns[i], r.text(0, column)));
        }
        return row;
    }

    RowKey insert(Row row) override {
        check_changeable();
        // A column left Null takes the server's default: an AutoNumber its
        // next number, a GUID one drawn, any other Null.
        std::string names, places;
        std::vector<Param> params;
        std::optional<std::pair<const jet::Column*, std::int64_t>> numbered;
        for (std::size_t i = 0; i < row.size() && i < t_.columns.size(); ++i) {
            if (std::holds_alternative<jet::Null>(row[i])) continue;
            const jet::Column& col = t_.columns[i];
            if (const auto* n = std::get_if<std::int64_t>(&row[i]); n && col.autonumber()) numbered = {&col, *n};
            params.push_back(server::parameter_text(row[i], name() + "." + col.name));
            names += (names.empty() ? "" : ", ") + Connection::quote(col.name);
            places += (places.empty() ? "" : ", ") + placeholder(params.size());
        }
        const std::string into = "INSERT INTO " + table_;
        const std::string values = params.empty() ? " DEFAULT VALUES" : " (" + names + ") VALUES (" + places + ")";
        const server::Result r = c_.exec(into + values + " RETURNING " + key_list_, params, name());
        if (numbered) continue_numbering(*numbered->first, numbered->second);
        return key_of(r, 0, width());
    }

    std::optional<RowKey> update(const RowKey& key, const Changes& changes, const Changes& as_read) override {
        check_changeable();
        if (changes.empty()) return read(key) ? std::optional<RowKey>(key) : std::nullopt;
        std::string set;
        std::vector<Param> params;
        for (const auto& [ordinal, value] : changes) {
            const jet::Column& col = t_.columns.at(ordinal);
            params.push_back(server::parameter_text(value, name() + "." + col.name));
            set += (set.empty() ? "" : ", ") + Connection::quote(col.name) + " = " + placeholder(params.size());
        }
        std::string where_row = where(key, params);
        // The row is written only while the columns changed still hold what
        // was read: compared by the server in the column's own type, so that
        // the statement alone decides, with no transaction around it.
        for (const auto& [ordinal, value] : as_read) {
            const jet::Column& col = t_.columns.at(ordinal);
            params.push_back(server::parameter_text(value, name() + "." + col.name));
            where_row += " AND " + Connection::quote(col.name) + " IS NOT DISTINCT FROM " + placeholder(params.size());
        }
        const server::Result r = c_.exec("UPDATE " + table_ + " SET " + set + " WHERE " + where_row + " RETURNING " + key_list_, params, name());
        if (r.rows() > 0) return key_of(r, 0, width());
        if (as_read.empty() || !read(key)) return std::nullopt;
        throw server::Error(server::ErrorKind::RowChanged, name());
    }

    bool remove(const RowKey& key) override {
        check_changeable();
        std::vector<Param> params;
        const std::string where_key = where(key, params);
        return c_.exec("DELETE FROM " + table_ + " WHERE " + where_key + " RETURNING 1", params, name()).rows() > 0;
    }

private:
    std::size_t width() const { return key_.empty() ? 1 : key_.size(); }

    std::size_t count() {
        const server::Result r = c_.exec("SELECT count(*) FROM " + table_, {}, name());
        return static_cast<std::size_t>(std::stoull(std::string(r.text(0, 0))));
    }

    // The count a keyset starts with. Counting a large table exactly reads
    // all of it (about 90 ms for a million rows), longer than a window may
    // take to show its first row; there the server's own count of the table
    // (kept by VACUUM and ANALYZE, as a file's definition keeps one) stands
    // in until the keyset has every key.
    std::size_t count_for_keyset() {
        constexpr long long kCountedExactly = 100000;
        const server::Result r = c_.exec("SELECT c.reltuples::bigint FROM pg_class c WHERE c.oid = $1::regclass", {table_}, name());
        const long long kept = r.rows() == 1 && !r.is_null(0, 0) ? std::stoll(std::string(r.text(0, 0))) : -1;
        return kept >= kCountedExactly ? static_cast<std::size_t>(kept) : count();
    }

    // The condition that finds the row, its values added to params.
    std::string where(const RowKey& key, std::vector<Param>& params) const {
        const std::vector<std::string>& values = *key.values();
        if (key_.empty()) {
            params.push_back(values.at(0));
            return "ctid = " + placeholder(params.size()) + "::tid";
        }
        std::string sql;
        for (std::size_t k = 0; k < key_.size(); ++k) {
            params.push_back(values.at(k));
            sql += (sql.empty() ? "" : " AND ") + Connection::quote(t_.columns[key_[k]].name) + " = " + placeholder(params.size());
        }
        return sql;
    }

    // A number given to an AutoNumber by hand: the server's own go on after
    // the highest, as a file's do.
    void continue_numbering(const jet::Column& col, std::int64_t given) {
        c_.exec("SELECT setval(s.seqrelid, $3::bigint) FROM pg_sequence s "
                "WHERE s.seqrelid = pg_get_serial_sequence($1, $2)::regclass "
                "AND $3::bigint > coalesce(pg_sequence_last_value(s.seqrelid), s.seqstart - 1)",
                {table_, col.name, std::to_string(given)}, name());
    }

    Connection& c_;
    server::ServerTable t_;
    std::string table_;             // the name as a statement writes it
    std::vector<std::size_t> key_;  // the primary key's columns, in its order
    std::string key_list_;          // those as a statement writes them, or ctid
};

// A SELECT the server runs with the file's semantics. A grid's first screen
// needs only the first keys: the rest are read a page at a time while the
// window waits for events (settle without waiting), or all at once when rows
// past them are wanted; until then the count is the one the server expects.
class ServerSelection final : public Selection {
public:
    static constexpr std::size_t kFirstKeys = 1000;
    static constexpr std::size_t kPageKeys = 20000;

    explicit ServerSelection(server::QueryResult result) : result_(std::move(result)), shown_(result_.expected()) {}
    const std::vector<std::string>& column_names() const override { return result_.column_names(); }
    const std::vector<jet::ColumnType>& column_types() const override { return result_.column_types(); }
    std::size_t row_count() const override { return listing() ? shown_ : result_.row_count(); }
    std::size_t listed() const override { return result_.row_count(); }
    bool listing() const override { return !result_.complete() && !broken_; }
    // A page that fails (the connection lost) ends the listing with the rows
    // read so far, so that the window is not kept trying while it waits.
    bool settle(bool wait) override {
        if (!listing()) return false;
        try {
            result_.more(wait ? SIZE_MAX : kPageKeys);
        } catch (...) {
            broken_ = true;
            throw;
        }
        return result_.complete() && result_.row_count() != shown_;
    }
    std::vector<Row> rows(std::size_t first, std::size_t count) override { return result_.rows(first, count); }

private:
    server::QueryResult result_;
    std::size_t shown_;  // the count given while the keys are being read
    bool broken_ = false;
};

}  // namespace

ServerStore::ServerStore(const std::string& name) : name_(name), c_(server::connection_string(name), name) {
    // A window keeps its register open for hours: a connection lost on the
    // way is reported once and opened again by the next command.
    c_.reconnect_when_lost(true);
    // A group a cut-off move left leaving this register is settled first, so
    // that its rows are not shown in two registers. One that cannot be
    // settled now (a colleague's file out of reach, a role that may not
    // delete) stops no reading: the next move out of the register says why.
    try {
        server::settle_leaving_groups(c_);
    } catch (const server::Error&) {
    } catch (const jet::Error&) {
    }
}

std::string ServerStore::folder() const {
    const bool uri = name_.starts_with("postgresql://") || name_.starts_with("postgres://");
    return uri ? std::filesystem::current_path().string() : reg::database_folder(name_);
}

std::vector<std::string> ServerStore::tables() {
    std::vector<std::string> names;
    for (const server::TableName& t : server::list_tables(c_)) names.push_back(t.name);
    return names;
}

std::unique_ptr<Table> ServerStore::table(std::string_view name) {
    return std::make_unique<ServerTable>(c_, server::find_table(c_, std::string(name)));
}

std::unique_ptr<Selection> ServerStore::select(const sql::Statement& statement) {
    return std::make_unique<ServerSelection>(server::QueryResult::start(c_, statement, ServerSelection::kFirstKeys));
}

}  // namespace store
