// `regtool insert` and `delete` on a server register: each run one
// transaction, so that a refused row or a lost connection leaves the register
// as it was; every value goes as COPY's data or a bound parameter, never in a
// statement's text.
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <limits>
#include <set>

#include "errors/input.h"
#include "json_in.h"
#include "say.h"
#include "server/catalog.h"
#include "server/server_error.h"
#include "server/values.h"
#include "server_commands.h"
#include "row_numbers.h"
#include "server_output.h"

namespace regtool {

namespace {

using server::Connection;

// One row in: the columns it gives a value; those it leaves Null take the
// server's default (an AutoNumber's next number, a GUID drawn, Yes/No false).
void insert_row(Connection& c, const server::ServerTable& t, const std::vector<jet::Value>& row, std::size_t line) {
    std::string names, places;
    std::vector<server::Param> params;
    for (std::size_t i = 0; i < row.size(); ++i) {
        if (std::holds_alternative<jet::Null>(row[i])) continue;
        const jet::Column& col = t.columns[i];
        params.push_back(server::parameter_text(row[i], "table " + t.spec.name + ", column " + col.name + ", line " + std::to_string(line)));
        names += (names.empty() ? "" : ", ") + Connection::quote(col.name);
        places += (places.empty() ? "$" : ", $") + std::to_string(params.size());
    }
    const std::string into = "INSERT INTO " + Connection::quote(t.spec.name);
    c.exec(params.empty() ? into + " DEFAULT VALUES" : into + " (" + names + ") VALUES (" + places + ")", params, t.spec.name);
}

// A row the server refused, with the line it came from.
struct RefusedRow {
    server::Error error;
    std::size_t line;
};

// Rows stream in with COPY, a stretch of them at a time, each stretch after a
// savepoint; a column a row leaves Null that the server has a value of its
// own for (an AutoNumber, Yes/No, a GUID drawn) is left out of the COPY, and
// a row that leaves out other such columns than the row before it begins a
// stretch of its own. A stretch the server refuses is taken back to its
// savepoint and its rows sent again one at a time, so that the row refused
// is named by its line.
class RowStream {
public:
    RowStream(Connection& c, const server::ServerTable& t) : c_(c), t_(t) {}

    void add(std::vector<jet::Value> row, std::size_t line) {
        std::vector<bool> left_out(row.size());
        bool any_taken = false;
        for (std::size_t i = 0; i < row.size(); ++i) {
            left_out[i] = t_.defaulted[i] && std::holds_alternative<jet::Null>(row[i]);
            any_taken = any_taken || !left_out[i];
        }
        if (copy_ && (left_out != left_out_ || rows_.size() >= kRows)) end();
        if (!any_taken) {  // every column the server's own: no COPY names none
            begin({});
            rows_.push_back({std::move(row), line});
            insert_row(c_, t_, rows_.back().row, line);
            return;
        }
        if (!copy_) begin(left_out);
        bool first = true;
        for (std::size_t i = 0; i < row.size(); ++i) {
            if (left_out[i]) continue;
            if (!first) buf_ += '\t';
            first = false;
            if (!server::append_copy_value(buf_, row[i])) {
                throw server::Error(server::ErrorKind::NulInText,
                                    "table " + t_.spec.name + ", column " + t_.columns[i].name + ", line " + std::to_string(line));
            }
        }
        buf_ += '\n';
        rows_.push_back({std::move(row), line});
        if (buf_.size() >= kPiece) {
            try {
                copy_->write(buf_);
            } catch (const server::Error& e) {
                refused(e);
            }
            buf_.clear();
        }
    }

    // Ends the stretch under way.
    void end() {
        if (copy_) {
            try {
                if (!buf_.empty()) copy_->write(buf_);
                copy_->finish();
            } catch (const server::Error& e) {
                refused(e);
            }
            copy_.reset();
        }
        if (!rows_.empty()) c_.exec("RELEASE SAVEPOINT rows");
        rows_.clear();
        buf_.clear();
    }

private:
    static constexpr std::size_t kRows = 5000;      // a stretch, sent again row by row when refused
    static constexpr std::size_t kPiece = 1 << 16;  // sent while the next rows are read

    struct Pending {
        std::vector<jet::Value> row;
        std::size_t line;
    };

    void begin(const std::vector<bool>& left_out) {
        end();
        c_.exec("SAVEPOINT rows");
        if (left_out.empty()) return;
        left_out_ = left_out;
        std::string names;
        for (std::size_t i = 0; i < t_.columns.size(); ++i) {
            if (!left_out[i]) names += (names.empty() ? "" : ", ") + Connection::quote(t_.columns[i].name);
        }
        copy_.emplace(c_, "COPY " + Connection::quote(t_.spec.name) + " (" + names + ") FROM STDIN", t_.spec.name);
    }

    [[noreturn]] void refused(const server::Error& e) {
        copy_.reset();
        if (e.kind() == server::ErrorKind::ConnectionLost || rows_.empty()) throw RefusedRow{e, rows_.empty() ? 0 : rows_.front().line};
        c_.exec("ROLLBACK TO SAVEPOINT rows");
        for (const Pending& p : rows_) {
            try {
                insert_row(c_, t_, p.row, p.line);
            } catch (const server::Error& one) {
                throw RefusedRow{one, p.line};
            }
        }
        throw RefusedRow{e, rows_.front().line};
    }

    Connection& c_;
    const server::ServerTable& t_;
    std::optional<Connection::CopyIn> copy_;
    std::vector<bool> left_out_;
    std::string buf_;
    std::vector<Pending> rows_;
};

// Numbers given to an AutoNumber column by hand: the server's own go on
// after the highest, as the file's do (never back: a number the file would
// not give again the server does not either).
void continue_numbering(Connection& c, const server::ServerTable& t, const jet::Column& col, std::int64_t highest) {
    const server::Result sequence = c.exec("SELECT pg_get_serial_sequence($1, $2)", {Connection::quote(t.spec.name), col.name}, t.spec.name);
    if (sequence.rows() != 1 || sequence.is_null(0, 0)) return;
    const std::string name(sequence.text(0, 0));
    c.exec("SELECT setval($1::regclass, $2::bigint) FROM " + name +
               " WHERE $2::bigint > CASE WHEN is_called THEN last_value ELSE last_value - 1 END",
           {name, std::to_string(highest)}, t.spec.name);
}

}  // namespace

int server_insert_command(const std::vector<std::string>& args) {
    ServerOutput out("insert");
    if (args.size() != 3) return out.usage("insert takes two arguments: DB TABLE", "insert принимает два аргумента: DB TABLE");
    std::size_t line_no = 0;
    try {
        Connection c = connect_to_register(args[1]);
        server::Transaction tx(c);
        const server::ServerTable t = server::find_table(c, args[2]);
        RowReader reader(t.columns);
        RowStream rows(c, t);
        std::optional<std::int64_t> highest_given;
        std::size_t numbered = t.columns.size();
        for (std::size_t i = 0; i < t.columns.size(); ++i) {
            if (t.columns[i].autonumber()) numbered = i;
        }
        std::ios::sync_with_stdio(false);
        for (std::string line; std::getline(std::cin, line);) {
            ++line_no;
            if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
            std::vector<jet::Value> row = reader.read(line);
            if (numbered < row.size()) {
                if (const auto* n = std::get_if<std::int64_t>(&row[numbered])) highest_given = std::max(highest_given.value_or(*n), *n);
            }
            rows.add(std::move(row), line_no);
        }
        if (std::cin.bad()) {
            out.note("cannot read standard input; nothing was stored", "не удается прочитать стандартный ввод; ничего не сохранено");
            return 1;
        }
        rows.end();
        if (highest_given) continue_numbering(c, t, t.columns[numbered], *highest_given);
        tx.commit();
    } catch (const RefusedRow& r) {
        return out.failed(r.error, r.line);
    } catch (const errors::InputError& e) {
        print_line_error(errors::describe(e, run_language()), line_no);
        return 1;
    } catch (const server::Error& e) {
        return line_no ? out.failed(e, line_no) : out.failed(e);
    }
    return 0;
}

int server_delete_command(const std::vector<std::string>& args) {
    ServerOutput out("delete");
    if (args.size() < 4) return out.usage("delete takes DB TABLE and at least one number", "delete принимает DB TABLE и хотя бы одно число");
    std::string bad;
    const std::optional<std::vector<std::int64_t>> numbered = row_numbers(args, 3, bad);
    if (!numbered) return out.usage("not a whole number: " + bad, "не целое число: " + bad);
    const std::vector<std::int64_t>& wanted = *numbered;
    std::vector<std::int64_t> found;
    try {
        Connection c = connect_to_register(args[1]);
        server::Transaction tx(c);
        const server::ServerTable t = server::find_table(c, args[2]);
        // Only a whole number in the first column is a row's number.
        if (!t.columns.empty() && whole_number_type(t.columns[0].type)) {
            std::string list;
            for (std::int64_t n : wanted) list += (list.empty() ? "{" : ",") + std::to_string(n);
            const std::string first = Connection::quote(t.columns[0].name);
            const server::Result gone = c.exec("DELETE FROM " + Connection::quote(t.spec.name) + " WHERE " + first +
                                                   " = ANY($1::bigint[]) RETURNING " + first,
                                               {list + "}"}, t.spec.name);
            for (int r = 0; r < gone.rows(); ++r) found.push_back(std::stoll(std::string(gone.text(r, 0))));
        }
        tx.commit();
    } catch (const server::Error& e) {
        return out.failed(e);
    }
    return report_missing(wanted, std::move(found));
}

}  // namespace regtool
