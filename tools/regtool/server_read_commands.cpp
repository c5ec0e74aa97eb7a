// `regtool tables`, `schema`, `export` and `query` on a server register:
// what they print for a file, read from the server's catalog and rows.
#include "format.h"
#include "out.h"
#include "schema_text.h"
#include "server/catalog.h"
#include "server/link.h"
#include "server/query.h"
#include "server/server_error.h"
#include "server/values.h"
#include "server_commands.h"
#include "server_output.h"
#include "sql/error.h"
#include "say.h"

namespace regtool {

namespace {

// A transaction that reads one state of the register however long it runs.
void read_one_state(server::Connection& c) { c.exec("SET TRANSACTION ISOLATION LEVEL REPEATABLE READ, READ ONLY"); }

}  // namespace

server::Connection connect_to_register(const std::string& name) { return server::Connection(server::connection_string(name), name); }

int server_tables_command(const std::vector<std::string>& args) {
    ServerOutput out("tables");
    if (args.size() != 2) return out.usage("tables takes one argument: DB", "tables принимает один аргумент: DB");
    try {
        server::Connection c = connect_to_register(args[1]);
        std::string names;
        for (const server::TableName& t : server::list_tables(c)) names += t.name + "\n";
        Out o;
        o.buf() = std::move(names);
    } catch (const server::Error& e) {
        return out.failed(e);
    }
    return 0;
}

int server_schema_command(const std::vector<std::string>& args) {
    ServerOutput out("schema");
    if (args.size() != 3) return out.usage("schema takes two arguments: DB TABLE", "schema принимает два аргумента: DB TABLE");
    try {
        server::Connection c = connect_to_register(args[1]);
        server::Transaction tx(c);
        read_one_state(c);
        const server::ServerTable t = server::find_table(c, args[2]);
        const server::Result count = c.exec("SELECT count(*) FROM " + server::Connection::quote(t.spec.name), {}, t.spec.name);
        std::string text;
        append_schema_table(text, t.spec.name, std::stoull(std::string(count.text(0, 0))));
        for (std::size_t i = 0; i < t.columns.size(); ++i) append_schema_column(text, i, t.columns[i]);
        for (const jet::IndexSpec& x : t.spec.indexes) {
            // A primary key's columns are required, as the file marks them.
            append_schema_index(text, {x.name, x.primary_key ? "primary" : "index", x.primary_key || x.unique, x.ignore_nulls,
                                       x.primary_key || x.required, x.columns});
        }
        tx.commit();
        Out o;
        o.buf() = std::move(text);
    } catch (const server::Error& e) {
        return out.failed(e);
    }
    return 0;
}

int server_export_command(const std::vector<std::string>& args) {
    ServerOutput out("export");
    if (args.size() != 4 || (args[3] != "--jsonl" && args[3] != "--csv")) {
        return out.usage("export takes DB TABLE and --jsonl or --csv", "export принимает DB TABLE и --jsonl или --csv");
    }
    const bool csv = args[3] == "--csv";
    try {
        server::Connection c = connect_to_register(args[1]);
        server::Transaction tx(c);
        read_one_state(c);
        const server::ServerTable t = server::find_table(c, args[2]);
        // In the number's order: by the primary key, else by the first column.
        std::string order = t.order_by;
        if (order.empty() && !t.columns.empty()) order = server::Connection::quote(t.columns[0].name);
        Out o;
        if (csv) append_csv_header(o.buf(), t.columns);
        std::vector<jet::Value> row(t.columns.size());
        c.stream(
            server::select_sql(t, order), {},
            [&](const server::Result& r) {
                for (std::size_t i = 0; i < row.size(); ++i) {
                    const int at = static_cast<int>(i);
                    row[i] = r.is_null(0, at) ? jet::Value{} : server::value_from_text(t.columns[i], r.text(0, at));
                }
                if (csv) append_csv_row(o.buf(), row);
                else append_json_row(o.buf(), t.columns, row);
                o.maybe_flush();
                return true;
            },
            t.spec.name);
        tx.commit();
    } catch (const server::Error& e) {
        return out.failed(e);
    }
    return 0;
}

int server_query_command(const std::vector<std::string>& args) {
    ServerOutput out("query");
    if (args.size() != 3) return out.usage("query takes two arguments: DB STATEMENT", "query принимает два аргумента: DB STATEMENT");
    try {
        const sql::Statement s = sql::parse(args[2]);
        server::Connection c = connect_to_register(args[1]);
        server::Transaction tx(c);
        read_one_state(c);
        const server::QueryResult r = server::QueryResult::run(c, s);
        std::vector<jet::Column> columns(r.column_names().size());
        for (std::size_t i = 0; i < columns.size(); ++i) {
            columns[i].name = r.column_names()[i];
            columns[i].type = r.column_types()[i];
        }
        Out o;
        constexpr std::size_t kBatch = 1000;
        for (std::size_t first = 0; first < r.row_count(); first += kBatch) {
            for (const std::vector<jet::Value>& row : r.rows(first, kBatch)) append_json_row(o.buf(), columns, row);
            o.maybe_flush();
        }
        tx.commit();
    } catch (const sql::Error& e) {
        print_error({e.number(), e.text(run_language())});
        return 1;
    } catch (const server::Error& e) {
        return out.failed(e);
    }
    return 0;
}

}  // namespace regtool
