// regtool: the command-line face of the register engine.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <algorithm>
#include <string>
#include <vector>

#include "format.h"
#include "out.h"
#include "schema_text.h"
#include "compact_command.h"
#include "help.h"
#include "insert_command.h"
#include "row_numbers.h"
#include "server_program.h"
#include "jet/check.h"
#include "jet/create.h"
#include "logic/register_table.h"
#include "demo.h"
#include "say.h"
#include "errors/language.h"
#include "errors/move_error.h"
#include "logic/move.h"
#include "logic/move_settle.h"
#include "json_in.h"
#include "jet/database.h"
#include "jet/files.h"
#include "jet/pending_move.h"
#include "server/link.h"
#include "sql/sql.h"
#include "system/console.h"

namespace {

using regtool::Out;
using regtool::print_error;
using regtool::say;

// The language of this run's errors, from the user's locale settings.
const errors::Language g_language = regtool::run_language();

// The command whose command line is being read, for the usage line of an error.
std::string g_command;

// A failure on one line of the input.
int usage_error(const std::string& msg) {
    std::fprintf(stderr, "regtool: %s\n%s\n", msg.c_str(), regtool::command_synopsis(g_command).c_str());
    return 2;
}

int print(const std::string& text) {
    Out out;
    out.buf() += text;
    return 0;
}

// Opens the database; what blocks changes to it without stopping reads (a
// file beside it that is not its journal) is said on standard error.
jet::Database open_database(const std::string& path) {
    jet::Database db(path);
    if (!db.journal_warning().empty()) {
        std::fprintf(stderr, "regtool: %s\n",
                     say("предупреждение: " + errors::stray_journal_warning(path, g_language),
                         "warning: " + db.journal_warning() + "; the database can be read, but changes to it are refused while it lies there")
                         .c_str());
    }
    return db;
}

int cmd_tables(const std::string& path) {
    jet::Database db = open_database(path);
    Out out;
    for (const std::string& name : db.user_tables()) out.buf() += name + "\n";
    return 0;
}

int cmd_schema(const std::string& path, const std::string& table) {
    jet::Database db = open_database(path);
    jet::Table t = db.table(table);
    const jet::TableDef& def = t.def();
    Out out;
    std::string& o = out.buf();
    regtool::append_schema_table(o, t.name(), def.row_count);
    for (std::size_t i = 0; i < def.columns.size(); ++i) regtool::append_schema_column(o, i, def.columns[i]);
    for (const jet::LogicalIndex& x : def.indexes) {
        const jet::PhysicalIndex& p = def.physical_indexes[x.physical];
        regtool::SchemaIndex shown;
        shown.name = x.name;
        shown.kind = x.primary_key() ? "primary" : x.foreign_key() ? "foreign" : "index";
        shown.unique = x.primary_key() || (p.flags & jet::PhysicalIndex::kUnique);
        shown.ignore_nulls = p.flags & jet::PhysicalIndex::kIgnoreNulls;
        shown.required = p.flags & jet::PhysicalIndex::kRequired;
        for (const jet::IndexColumn& ic : p.columns) {
            const jet::Column* c = def.column_by_number(ic.column_number);
            shown.columns.emplace_back(c ? c->name : "#" + std::to_string(ic.column_number), ic.ascending);
        }
        regtool::append_schema_index(o, shown);
    }
    return 0;
}

int cmd_export(const std::string& path, const std::string& table, bool csv) {
    jet::Database db = open_database(path);
    jet::Table t = db.table(table);
    Out out;
    if (csv) regtool::append_csv_header(out.buf(), t.columns());
    t.scan([&](jet::RowId, const std::vector<jet::Value>& row) {
        if (csv) regtool::append_csv_row(out.buf(), row);
        else regtool::append_json_row(out.buf(), t.columns(), row);
        out.maybe_flush();
        return true;
    });
    return 0;
}

// The problems the engine's check finds are its own descriptions, in English;
// in Russian a line before them says what they are.
int cmd_check(const std::string& path) {
    jet::Database db(path);
    std::vector<std::string> problems = jet::check_database(db);
    Out out;
    if (!problems.empty() && g_language == errors::Language::Russian) {
        out.buf() += "Проверка нашла нарушения в базе данных «" + path + "» (" + std::to_string(problems.size()) +
                     "), вот их описания на английском:\n";
    }
    if (!db.journal_warning().empty()) {
        problems.push_back(say("изменения не принимаются: " + errors::stray_journal_warning(path, g_language),
                               "changes are refused: " + db.journal_warning()));
    }
    if (problems.empty()) out.buf() += "OK\n";
    for (const std::string& p : problems) out.buf() += p + "\n";
    return problems.empty() ? 0 : 1;
}

int cmd_query(const std::string& path, const std::string& statement) {
    try {
        sql::Statement s = sql::parse(statement);
        jet::Database db = open_database(path);
        // Every row is printed once: the first ones as the search found them.
        constexpr std::size_t kKept = 20000;
        sql::Result r = sql::Result::run(db, s, kKept);
        std::vector<jet::Column> columns(r.column_names().size());
        for (std::size_t i = 0; i < columns.size(); ++i) {
            columns[i].name = r.column_names()[i];
            columns[i].type = r.column_types()[i];
        }
        Out out;
        constexpr std::size_t kBatch = 1000;
        for (std::size_t first = 0; first < r.row_count(); first += kBatch) {
            for (const std::vector<jet::Value>& row : r.rows(first, kBatch)) regtool::append_json_row(out.buf(), columns, row);
            out.maybe_flush();
        }
    } catch (const sql::Error& e) {
        print_error({e.number(), e.text(g_language)});
        return 1;
    }
    return 0;
}

int cmd_create(const std::string& path) {
    jet::create_database(path);
    return 0;
}

int cmd_create_register(const std::string& path) {
    if (!jet::disk::identify(path)) jet::create_database(path);
    jet::Database db(path);
    reg::create_register_table(db);
    return 0;
}

int cmd_delete(const std::string& path, const std::string& table, const std::vector<std::string>& numbers) {
    std::string bad;
    const std::optional<std::vector<std::int64_t>> numbered = regtool::row_numbers(numbers, 0, bad);
    if (!numbered) return usage_error("not a whole number: " + bad);
    const std::vector<std::int64_t>& wanted = *numbered;
    jet::Database db(path);
    jet::WriteGroup g(db);
    jet::TableWriter& w = g.table(table);
    std::vector<jet::RowId> doomed;
    std::vector<std::int64_t> found;
    jet::Table t = db.table(table);
    // Through an index on the first column when the table has one: a few
    // pages a row instead of reading the whole table.
    bool looked_up = false;
    if (!t.columns().empty() && regtool::whole_number_type(t.columns()[0].type)) {
        try {
            const std::vector<std::string> first{t.columns()[0].name};
            for (std::int64_t v : wanted) {
                for (jet::RowId id : w.rows_with(first, {jet::Value(v)})) {
                    doomed.push_back(id);
                    found.push_back(v);
                }
            }
            looked_up = true;
        } catch (const jet::Error& e) {
            if (e.kind() != jet::ErrorKind::Unsupported) throw;
            doomed.clear();
            found.clear();
        }
    }
    if (!looked_up) {
        std::vector<bool> first_only(t.columns().size(), false);
        if (!first_only.empty()) first_only[0] = true;
        t.scan(first_only, [&](jet::RowId id, const std::vector<jet::Value>& row) {
            const auto* v = row.empty() ? nullptr : std::get_if<std::int64_t>(&row[0]);
            if (v && std::binary_search(wanted.begin(), wanted.end(), *v)) {
                doomed.push_back(id);
                found.push_back(*v);
            }
            return true;
        });
    }
    for (jet::RowId id : doomed) w.remove(id);
    g.commit();
    return regtool::report_missing(wanted, std::move(found));
}

int run(const std::vector<std::string>& args) {
    if (args.empty()) return usage_error("no command given");
    const std::string& cmd = args[0];
    if (cmd == "-h" || cmd == "--help") return print(regtool::overall_help());
    if (cmd == "--version") return print(regtool::version_text());
    if (cmd == "help") {
        if (args.size() == 1) return print(regtool::overall_help());
        std::string page = regtool::command_help(args[1]);
        if (args.size() != 2 || page.empty()) return usage_error("help takes the name of one command");
        return print(page);
    }
    if (!regtool::command_help(cmd).empty()) {
        g_command = cmd;
        for (std::size_t i = 1; i < args.size(); ++i) {
            if (args[i] == "--help" || args[i] == "-h") return print(regtool::command_help(cmd));
        }
    }
    if (regtool::is_server_command(args)) return regtool::run_server_program(args);
    // What only a file has: its pages written anew, a new file made.
    if ((cmd == "compact" || cmd == "create" || cmd == "create-register") && args.size() > 1 && server::names_server(args[1])) {
        std::fprintf(stderr, "regtool: %s\n",
                     say(cmd + " работает только с файлом базы данных, не с регистром на сервере",
                         cmd + " works on a database file only, not on a server register")
                         .c_str());
        return 2;
    }
    if (cmd == "tables") {
        if (args.size() != 2) return usage_error("tables takes one argument: DB");
        return cmd_tables(args[1]);
    }
    if (cmd == "schema") {
        if (args.size() != 3) return usage_error("schema takes two arguments: DB TABLE");
        return cmd_schema(args[1], args[2]);
    }
    if (cmd == "export") {
        if (args.size() != 4 || (args[3] != "--jsonl" && args[3] != "--csv")) {
            return usage_error("export takes DB TABLE and --jsonl or --csv");
        }
        return cmd_export(args[1], args[2], args[3] == "--csv");
    }
    if (cmd == "check") {
        if (args.size() != 2) return usage_error("check takes one argument: DB");
        return cmd_check(args[1]);
    }
    if (cmd == "query") {
        if (args.size() != 3) return usage_error("query takes two arguments: DB STATEMENT");
        return cmd_query(args[1], args[2]);
    }
    if (cmd == "create") {
        if (args.size() != 2) return usage_error("create takes one argument: DB");
        return cmd_create(args[1]);
    }
    if (cmd == "create-register") {
        if (args.size() != 2) return usage_error("create-register takes one argument: DB");
        return cmd_create_register(args[1]);
    }
    if (cmd == "insert") {
        if (args.size() != 3) return usage_error("insert takes two arguments: DB TABLE");
        return regtool::insert_rows(args[1], args[2]);
    }
    if (cmd == "delete") {
        if (args.size() < 4) return usage_error("delete takes DB TABLE and at least one number");
        return cmd_delete(args[1], args[2], std::vector<std::string>(args.begin() + 3, args.end()));
    }
    if (cmd == "compact") {
        if (args.size() == 3 && args[2] == "--replace") return regtool::compact_command(args[1], "", true);
        if (args.size() != 3 || args[2].rfind("--", 0) == 0) return usage_error("compact takes SRC DST, or SRC --replace");
        return regtool::compact_command(args[1], args[2], false);
    }
    if (cmd == "move") {
        reg::MoveOptions options;
        if (args.size() == 5 && args[3] == "--group") {
            char* end = nullptr;
            unsigned long n = std::strtoul(args[4].c_str(), &end, 10);
            if (args[4].empty() || *end != '\0' || n == 0 || n > 1000000) return usage_error("--group takes a number from 1 to 1000000");
            options.group_rows = n;
        } else if (args.size() != 3) {
            return usage_error("move takes SRC DST and optionally --group N");
        }
        try {
            reg::move_register(args[1], args[2], options);
        } catch (const errors::MoveError& e) {
            print_error(errors::describe(e, g_language));
            return 1;
        } catch (const jet::Error& e) {
            print_error(errors::describe_in_move(e, args[1], args[2], g_language));
            return 1;
        }
        return 0;
    }
    if (cmd == "demo") {
        if (args.size() != 2) return usage_error("demo takes one argument: DIR");
        regtool::write_demo(args[1]);
        return 0;
    }
    return usage_error("unknown command: " + cmd);
}

// A file whose record names a server register is settled by the program
// that reaches servers; the record is read again afterwards.
bool settle_with_server(jet::Database&, const std::string& record_path, reg::MoveRecord&, bool) {
    const std::string beside = record_path.substr(0, record_path.size() - jet::pending_move_path("").size());
    if (!regtool::settle_through_server_program(beside)) {
        throw jet::Error(jet::ErrorKind::PendingMove, "the register on the server of an unfinished move cannot be changed now",
                         jet::Reason::MoveOtherRefused, record_path);
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    const sys::Console console(argc, argv);
    // Every command that writes settles a move cut off beside its file first.
    reg::bind_moves();
    reg::set_server_settler(&settle_with_server);
    const std::vector<std::string>& args = console.arguments();
    try {
        return run(args);
    } catch (const regtool::RefusedLine& e) {
        regtool::print_line_error(regtool::engine_message(e.error()), e.line());
    } catch (const regtool::BadLine& e) {
        regtool::print_line_error(errors::describe(e.error(), g_language), e.line());
    } catch (jet::Error& e) {
        // The file a command works on is the first of its arguments.
        if (args.size() > 1) e.about_file(args[1]);
        print_error(regtool::engine_message(e));
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "regtool: %s\n", say("недостаточно памяти", "out of memory").c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "regtool: %s\n", e.what());
    }
    return 1;
}
