// The server's side of a move: each group in one transaction of the
// register's own, its rows locked as they are read, and the group noted in
// the register's moves table (moves_table.h).
#include <libpq-fe.h>

#include "link.h"
#include "logic/move_record.h"
#include "logic/move_settle.h"
#include "logic/register.h"
#include "move.h"
#include "move_sides.h"
#include "moves_table.h"
#include "server_error.h"
#include "values.h"

namespace server {

namespace {

const std::string kTableName(reg::kTable);

template <typename T>
std::string array_of(const std::vector<T>& values, std::size_t n) {
    std::string s = "{";
    for (std::size_t i = 0; i < n && i < values.size(); ++i) s += (i ? "," : "") + std::to_string(values[i]);
    return s + "}";
}

// What both roles share: the connection, the table, the group's transaction.
class ServerRegister {
protected:
    explicit ServerRegister(const std::string& name)
        : conninfo_(connection_string(name)), c_(conninfo_, name), table_(find_table(c_, kTableName)) {
        quoted_ = Connection::quote(table_.spec.name);
    }
    reg::RecordedFile side() const { return {server_side_of(conninfo_), 0, 0}; }
    void make_notes_possible() {
        if (!has_moves_table(c_)) make_moves_table(c_);
    }
    std::string column(std::size_t i) const { return Connection::quote(table_.columns.at(i).name); }

    std::string conninfo_;
    Connection c_;
    ServerTable table_;
    std::string quoted_;
    std::optional<Transaction> tx_;
};

class ServerSource final : public SourceSide, ServerRegister {
public:
    explicit ServerSource(const std::string& name) : ServerRegister(name) {
        name_ = name;
        columns_ = table_.columns;
        if (columns_.empty() || !std::holds_alternative<std::int64_t>(value_from_text(columns_[0], "0"))) {
            throw Error(ErrorKind::UnsupportedType, table_.spec.name + ": its first column is not a number");
        }
    }
    reg::RecordedFile recorded() const override { return side(); }
    void prepare() override {
        settle_leaving_groups(c_);
        make_notes_possible();
    }

    std::size_t list() override {
        keys_.clear();
        c_.stream("SELECT " + column(0) + " FROM " + quoted_ + " WHERE " + column(0) + " IS NOT NULL ORDER BY 1", {},
                  [&](const Result& r) {
                      keys_.push_back(std::get<std::int64_t>(value_from_text(columns_[0], r.text(0, 0))));
                      return true;
                  },
                  kTableName);
        return keys_.size();
    }
    std::vector<std::string> filled_columns(std::size_t first) override {
        std::vector<std::string> out;
        for (std::size_t i = first; i < columns_.size(); ++i) {
            const jet::ColumnType t = columns_[i].type;
            std::string filled = column(i) + " IS NOT NULL";
            if (t == jet::ColumnType::Text || t == jet::ColumnType::Memo) filled += " AND " + column(i) + " <> ''";
            if (t == jet::ColumnType::Ole || t == jet::ColumnType::Binary) filled += " AND octet_length(" + column(i) + ") > 0";
            if (c_.exec("SELECT EXISTS (SELECT 1 FROM " + quoted_ + " WHERE " + filled + ")", {}, kTableName).text(0, 0) == "t") {
                out.push_back(columns_[i].name);
            }
        }
        return out;
    }
    std::optional<std::pair<std::string, std::string>> related_rows() override {
        const Result keys = c_.exec(
            "SELECT k.conrelid::regclass::text, k.conname, ch.relname, "
            "(SELECT string_agg(quote_ident(a.attname) || ' IS NOT NULL', ' OR ') FROM pg_attribute a "
            " WHERE a.attrelid = k.conrelid AND a.attnum = ANY(k.conkey)) "
            "FROM pg_constraint k JOIN pg_class ch ON ch.oid = k.conrelid "
            "WHERE k.contype = 'f' AND k.confrelid = $1::oid",
            {table_.oid}, kTableName);
        for (int r = 0; r < keys.rows(); ++r) {
            const std::string sql = "SELECT EXISTS (SELECT 1 FROM " + std::string(keys.text(r, 0)) + " WHERE " + std::string(keys.text(r, 3)) + ")";
            if (c_.exec(sql, {}, std::string(keys.text(r, 2))).text(0, 0) == "t") {
                return std::make_pair(std::string(keys.text(r, 2)), std::string(keys.text(r, 1)));
            }
        }
        return std::nullopt;
    }

    std::vector<Row> begin_group(std::uint64_t id, std::size_t at, std::size_t end) override {
        tx_.emplace(c_);
        lock_group(c_, id);
        std::vector<std::int64_t> wanted(keys_.begin() + static_cast<std::ptrdiff_t>(at), keys_.begin() + static_cast<std::ptrdiff_t>(end));
        // Rows another program deleted meanwhile are simply not there.
        std::vector<Row> rows;
        read_.clear();
        c_.stream(select_sql(table_, "") + " WHERE " + column(0) + " = ANY($1::bigint[]) ORDER BY " + column(0) + " FOR UPDATE",
                  {array_of(wanted, wanted.size())},
                  [&](const Result& r) {
                      rows.push_back(row_of(r, 0, columns_));
                      read_.push_back(std::get<std::int64_t>(rows.back()[0]));
                      return true;
                  },
                  kTableName);
        return rows;
    }
    void prepare_let_go(std::size_t n) override { going_ = n; }
    void note(const reg::MoveRecord& record) override {
        // On a connection of its own: the note is committed before the
        // destination stores the group, while this group's transaction
        // keeps the rows locked.
        if (!notes_) notes_.emplace(conninfo_, name_);
        LeavingGroup g;
        g.id = record.id;
        g.destination = record.destination.path;
        g.device = record.destination.device;
        g.inode = record.destination.inode;
        g.numbers.assign(read_.begin(), read_.begin() + static_cast<std::ptrdiff_t>(going_));
        for (const reg::MovedRow& m : record.rows) g.hashes.push_back(m.source_hash);
        note_leaving(*notes_, g);
    }
    void take_back(std::uint64_t id) override {
        try {
            if (notes_) forget(*notes_, id, 'S');
        } catch (const Error&) {
            // left for the next move out of this register to settle
        }
    }
    void let_go(std::uint64_t id) override {
        c_.exec("DELETE FROM " + quoted_ + " WHERE " + column(0) + " = ANY($1::bigint[])", {array_of(read_, going_)}, kTableName);
        forget(c_, id, 'S');
        tx_->commit();
    }
    void tidy(std::uint64_t) override {}
    void end_group() override { tx_.reset(); }

private:
    std::vector<std::int64_t> keys_, read_;
    std::size_t going_ = 0;
    std::optional<Connection> notes_;
};

class ServerDestination final : public DestinationSide, ServerRegister {
public:
    explicit ServerDestination(const std::string& name) : ServerRegister(name) {
        name_ = name;
        columns_ = table_.columns;
        std::string names;
        for (std::size_t i = 0; i < columns_.size(); ++i) names += (i ? ", " : "") + column(i);
        copy_sql_ = "COPY " + quoted_ + " (" + names + ") FROM STDIN";
    }
    reg::RecordedFile recorded() const override { return side(); }
    void prepare() override {
        settle_leaving_groups(c_);  // rows on their way out must not come back in beside themselves
        make_notes_possible();
    }

    void begin_group(std::uint64_t id) override {
        tx_.emplace(c_);
        lock_group(c_, id);
    }
    Stored store(std::vector<Row>& rows) override {
        const std::size_t columns = columns_.size();
        std::vector<Row> values;
        values.reserve(rows.size());
        for (const Row& row : rows) {
            Row v(columns, jet::Null{});
            for (std::size_t c = 1; c < columns && c < row.size(); ++c) v[c] = row[c];
            values.push_back(std::move(v));
        }
        // The numbers come from the register's own AutoNumber, as the file's.
        if (!columns_.empty() && columns_[0].autonumber() && !values.empty()) {
            const Result n = c_.exec("SELECT nextval(pg_get_serial_sequence($1, $2)) FROM generate_series(1, $3)",
                                     {quoted_, columns_[0].name, std::to_string(values.size())}, kTableName);
            for (int i = 0; i < n.rows(); ++i) values[static_cast<std::size_t>(i)][0] = value_from_text(columns_[0], n.text(i, 0));
        }
        Stored out;
        std::size_t whole = values.size();
        std::string data;
        for (std::size_t r = 0; r < values.size(); ++r) {
            std::string line;
            bool fits = true;
            for (std::size_t c = 0; c < columns && fits; ++c) {
                if (c) line += '\t';
                fits = append_copy_value(line, values[r][c]);
            }
            if (!fits) {
                whole = r;
                out.refused = jet::Error(jet::ErrorKind::Constraint, "text holding U+0000, which the server cannot store", jet::Reason::Unspecified,
                                         name_);
                break;
            }
            data += line + '\n';
        }
        c_.exec("SAVEPOINT group_rows");
        try {
            Connection::CopyIn copy(c_, copy_sql_, kTableName);
            copy.write(data);
            copy.finish();
        } catch (const Error& e) {
            if (e.kind() != ErrorKind::ValueRefused) throw;
            c_.exec("ROLLBACK TO SAVEPOINT group_rows");
            whole = store_until_refused(values, whole, out);
        }
        for (std::size_t r = 0; r < whole; ++r) {
            const auto* number = std::get_if<std::int64_t>(&values[r][0]);
            out.numbers.push_back(number ? *number : 0);
            out.hashes.push_back(reg::row_hash(values[r], 1, columns));
        }
        return out;
    }
    void note(const reg::MoveRecord& record) override { note_arrived(c_, record.id, record.source.path); }
    void commit() override { tx_->commit(); }
    void take_back(std::uint64_t) override {}
    void tidy(std::uint64_t id) override {
        try {
            forget(c_, id, 'D');
        } catch (const Error&) {
            // a note of a group settled long ago harms nothing
        }
    }
    void end_group() override { tx_.reset(); }

private:
    // One row at a time, each behind a savepoint, up to the first the server
    // refuses: the rows before it are stored, as a file stores them.
    std::size_t store_until_refused(const std::vector<Row>& values, std::size_t whole, Stored& out) {
        std::string names, places;
        for (std::size_t c = 0; c < columns_.size(); ++c) {
            names += (c ? ", " : "") + column(c);
            places += (c ? ", $" : "$") + std::to_string(c + 1);
        }
        const std::string insert = "INSERT INTO " + quoted_ + " (" + names + ") VALUES (" + places + ")";
        for (std::size_t r = 0; r < whole; ++r) {
            std::vector<Param> params;
            for (const jet::Value& v : values[r]) params.push_back(parameter_text(v, kTableName));
            c_.exec("SAVEPOINT one_row");
            try {
                c_.exec(insert, params, kTableName);
            } catch (const Error& e) {
                if (e.kind() != ErrorKind::ValueRefused) throw;
                c_.exec("ROLLBACK TO SAVEPOINT one_row");
                out.refused = jet::Error(jet::ErrorKind::Constraint, e.detail(), jet::Reason::Unspecified, name_);
                return r;
            }
        }
        return whole;
    }

    std::string copy_sql_;
};

}  // namespace

Row row_of(const Result& r, int row, const std::vector<jet::Column>& columns) {
    Row out(columns.size());
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const int at = static_cast<int>(i);
        out[i] = r.is_null(row, at) ? jet::Value{} : value_from_text(columns[i], r.text(row, at));
    }
    return out;
}

std::string server_side_of(const std::string& conninfo) { return reg::kServerSide + conninfo; }

std::string server_identity(Connection& c) {
    const Result r = c.exec(
        "SELECT current_database() || '@' || coalesce(host(inet_server_addr()), current_setting('unix_socket_directories')) || ':' || "
        "current_setting('port')");
    return std::string(r.text(0, 0));
}

std::unique_ptr<SourceSide> server_source(const std::string& name) { return std::make_unique<ServerSource>(name); }
std::unique_ptr<DestinationSide> server_destination(const std::string& name) { return std::make_unique<ServerDestination>(name); }

}  // namespace server
