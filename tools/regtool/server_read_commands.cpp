// `regtool tables`, `schema`, `export` and `query` on a server register:
// what they print for a file, read from the server's catalog and rows.
#include <algorithm>

#include "format.h"
#include "out.h"
#include "schema_text.h"
#include "server/catalog.h"
#include "jet/error.h"
#include "server/link.h"
#include "server/move.h"
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

// The flags of the table's index on exactly these columns: a foreign key's
// side shows them as the file's foreign index, which shares that index.
void take_flags(SchemaIndex& shown, const std::vector<SchemaIndex>& indexes) {
    for (const SchemaIndex& x : indexes) {
        if (x.kind == "foreign" || x.columns.size() != shown.columns.size()) continue;
        bool same = true;
        for (std::size_t i = 0; i < x.columns.size() && same; ++i) same = x.columns[i].first == shown.columns[i].first;
        if (!same) continue;
        shown.unique = x.unique;
        shown.ignore_nulls = x.ignore_nulls;
        shown.required = x.required;
        return;
    }
}

// The table's indexes as the file lists them, the foreign keys it takes part
// in among them: the index the upsize made for a key's own columns is shown as
// the file's foreign index of that name; the side a key refers to, which the
// file lists as a foreign index of its own under a name Access gives and the
// server does not keep, under the key's name.
std::vector<SchemaIndex> schema_indexes(const server::ServerTable& t, const std::vector<jet::Relationship>& keys) {
    std::vector<SchemaIndex> shown;
    for (const jet::IndexSpec& x : t.spec.indexes) {
        // A primary key's columns are required, as the file marks them.
        shown.push_back({x.name, x.primary_key ? "primary" : "index", x.primary_key || x.unique, x.ignore_nulls, x.primary_key || x.required,
                         x.columns});
    }
    const std::vector<SchemaIndex> plain = shown;
    for (const jet::Relationship& k : keys) {
        const auto side = [&](const std::vector<std::string>& columns, bool unique) {
            SchemaIndex x{k.name, "foreign", unique, false, false, {}};
            for (const std::string& c : columns) x.columns.emplace_back(c, true);
            take_flags(x, plain);
            shown.push_back(std::move(x));
        };
        if (k.child == t.spec.name) {
            auto own = std::find_if(shown.begin(), shown.end(), [&](const SchemaIndex& x) { return x.name == k.name && x.kind == "index"; });
            if (own != shown.end()) own->kind = "foreign";
            else side(k.child_columns, false);
        }
        if (k.parent == t.spec.name) side(k.parent_columns, true);
    }
    return shown;
}

}  // namespace

server::Connection connect_to_register(const std::string& name) {
    server::Connection c(server::connection_string(name), name);
    // A group a cut-off move left leaving this register is settled first, so
    // that no command finds its rows in two registers. One that cannot be
    // settled now stops no command but the next move out of the register,
    // which says why.
    try {
        server::settle_leaving_groups(c);
    } catch (const server::Error&) {
    } catch (const jet::Error&) {
    }
    return c;
}

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
        for (const SchemaIndex& x : schema_indexes(t, server::foreign_keys(c, t.oid))) append_schema_index(text, x);
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
