#include "jet/database.h"
#include "server/connection.h"
#include "server/link.h"
#include "server_commands.h"
#include "server_output.h"

namespace regtool {

int upsize_command(const std::vector<std::string>& args) {
    ServerOutput out("upsize");
    const bool append = args.size() == 4 && args[3] == "--append";
    if (args.size() != 3 && !append) {
        return out.usage("upsize takes SRC TARGET and optionally --append", "upsize принимает SRC TARGET и, если нужно, --append");
    }
    const std::string& target = args[2];
    if (!server::names_server(target)) {
        return out.usage("TARGET is a link file (.pgreg) or a postgresql:// URI",
                         "TARGET — файл ссылки (.pgreg) или адрес postgresql://");
    }
    try {
        jet::Database from(args[1]);
        server::Connection to(server::connection_string(target), target);
        server::UpsizeOptions options;
        options.append = append;
        const server::UpsizeReport report = server::upsize(from, to, options, [&](const server::Progress& p) { out.progress(p); });
        for (const std::string& t : report.linked_skipped) {
            out.note("linked table " + t + " left out: its rows live in another database",
                     "связанная таблица " + t + " пропущена: её строки хранятся в другой базе");
        }
    } catch (const server::Error& e) {
        return out.failed(e);
    }
    return 0;
}

}  // namespace regtool
