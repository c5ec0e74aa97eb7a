// `regtool move` where either register is on a server, and the settling of a
// file whose record names a server, which regtool hands over when it meets one.
#include <cstdlib>

#include "errors/move_error.h"
#include "jet/database.h"
#include "jet/error.h"
#include "say.h"
#include "server/move.h"
#include "server_commands.h"
#include "server_output.h"

namespace regtool {

int server_move_command(const std::vector<std::string>& args) {
    ServerOutput out("move");
    reg::MoveOptions options;
    if (args.size() == 5 && args[3] == "--group") {
        char* end = nullptr;
        const unsigned long n = std::strtoul(args[4].c_str(), &end, 10);
        if (args[4].empty() || *end != '\0' || n == 0 || n > 1000000) {
            return out.usage("--group takes a number from 1 to 1000000", "--group принимает число от 1 до 1000000");
        }
        options.group_rows = n;
    } else if (args.size() != 3) {
        return out.usage("move takes SRC DST and optionally --group N", "move принимает SRC DST и, если нужно, --group N");
    }
    try {
        server::move_register(args[1], args[2], options);
    } catch (const errors::MoveError& e) {
        print_error(errors::describe(e, run_language()));
        return 1;
    } catch (const jet::Error& e) {
        print_error(errors::describe_in_move(e, args[1], args[2], run_language()));
        return 1;
    } catch (const server::Error& e) {
        return out.failed(e);
    }
    return 0;
}

int server_settle_command(const std::vector<std::string>& args) {
    ServerOutput out("settle");
    if (args.size() != 2) return out.usage("settle takes one argument: DB", "settle принимает один аргумент: DB");
    jet::Database db(args[1]);
    jet::WriteGroup probe(db);  // settles the record beside the file first
    return 0;
}

}  // namespace regtool
