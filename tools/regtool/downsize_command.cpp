#include "server/connection.h"
#include "server/link.h"
#include "server_commands.h"
#include "server_output.h"

namespace regtool {

int downsize_command(const std::vector<std::string>& args) {
    ServerOutput out("downsize");
    if (args.size() != 3) return out.usage("downsize takes TARGET DST", "downsize принимает TARGET DST");
    const std::string& target = args[1];
    if (!server::names_server(target)) {
        return out.usage("TARGET is a link file (.pgreg) or a postgresql:// URI",
                         "TARGET — файл ссылки (.pgreg) или адрес postgresql://");
    }
    try {
        server::Connection from(server::connection_string(target), target);
        server::downsize(from, args[2], [&](const server::Progress& p) { out.progress(p); });
    } catch (const server::Error& e) {
        return out.failed(e);
    }
    return 0;
}

}  // namespace regtool
