// `regtool insert` and `delete` on a server register: each run one
// transaction, every value a bound parameter, so that a refused row or a
// lost connection leaves the register as it was.
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

// Numbers given to an AutoNumber column by hand: the server's own go on
// after the highest, as the file's do.
void continue_numbering(Connection& c, const server::ServerTable& t, const jet::Column& col, std::int64_t highest) {
    c.exec("SELECT setval(s.seqrelid, $3::bigint) FROM pg_sequence s "
           "WHERE s.seqrelid = pg_get_serial_sequence($1, $2)::regclass "
           "AND $3::bigint > coalesce(pg_sequence_last_value(s.seqrelid), s.seqstart - 1)",
           {Connection::quote(t.spec.name), col.name, std::to_string(highest)}, t.spec.name);
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
        std::optional<std::int64_t> highest_given;
        std::size_t numbered = t.columns.size();
        for (std::size_t i = 0; i < t.columns.size(); ++i) {
            if (t.columns[i].autonumber()) numbered = i;
        }
        std::ios::sync_with_stdio(false);
        for (std::string line; std::getline(std::cin, line);) {
            ++line_no;
            if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
            const std::vector<jet::Value> row = reader.read(line);
            if (numbered < row.size()) {
                if (const auto* n = std::get_if<std::int64_t>(&row[numbered])) highest_given = std::max(highest_given.value_or(*n), *n);
            }
            insert_row(c, t, row, line_no);
        }
        if (std::cin.bad()) {
            out.note("cannot read standard input; nothing was stored", "не удается прочитать стандартный ввод; ничего не сохранено");
            return 1;
        }
        if (highest_given) continue_numbering(c, t, t.columns[numbered], *highest_given);
        tx.commit();
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
    const std::optional<std::set<std::int64_t>> numbered = row_numbers(args, 3, bad);
    if (!numbered) return out.usage("not a whole number: " + bad, "не целое число: " + bad);
    const std::set<std::int64_t>& wanted = *numbered;
    std::set<std::int64_t> found;
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
            for (int r = 0; r < gone.rows(); ++r) found.insert(std::stoll(std::string(gone.text(r, 0))));
        }
        tx.commit();
    } catch (const server::Error& e) {
        return out.failed(e);
    }
    return report_missing(wanted, found);
}

}  // namespace regtool
