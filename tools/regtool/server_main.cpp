// regtool-server: the commands that speak to a database server (upsize,
// downsize, and tables, schema, export, insert, delete, query, check and
// move on a server register), which regtool hands over to it. Called as regtool-server COMMAND
// ARGS..., with regtool's own command line after regtool.
#include <cstdio>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "errors/catalogue.h"
#include "jet/error.h"
#include "server/move.h"
#include "say.h"
#include "server_commands.h"
#include "system/console.h"

int main(int argc, char** argv) {
    const sys::Console console(argc, argv);
    server::bind_server_moves();
    const std::vector<std::string>& args = console.arguments();
    try {
        const std::string command = args.empty() ? "" : args[0];
        if (command == "upsize") return regtool::upsize_command(args);
        if (command == "downsize") return regtool::downsize_command(args);
        if (command == "tables") return regtool::server_tables_command(args);
        if (command == "schema") return regtool::server_schema_command(args);
        if (command == "export") return regtool::server_export_command(args);
        if (command == "insert") return regtool::server_insert_command(args);
        if (command == "delete") return regtool::server_delete_command(args);
        if (command == "query") return regtool::server_query_command(args);
        if (command == "check") return regtool::server_check_command(args);
        if (command == "move") return regtool::server_move_command(args);
        if (command == "settle") return regtool::server_settle_command(args);
        std::fprintf(stderr, "regtool-server: %s\n",
                     regtool::say("ожидается команда regtool для сервера", "expected a regtool command for a server").c_str());
        return 2;
    } catch (jet::Error& e) {
        // The file a command works on is the first of its arguments.
        if (args.size() > 1) e.about_file(args[1]);
        regtool::print_error(regtool::engine_message(e));
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "regtool: %s\n", regtool::say("недостаточно памяти", "out of memory").c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "regtool: %s\n", e.what());
    }
    return 1;
}
