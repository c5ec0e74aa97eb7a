#include "server_program.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "companion.h"
#include "say.h"
#include "server/link.h"
#include "system/process.h"
#include "system/utf8_path.h"

namespace regtool {

namespace {
constexpr const char* kProgram = "regtool-server";
}  // namespace

bool is_server_command(const std::vector<std::string>& args) {
    if (args.empty()) return false;
    const std::string& command = args[0];
    if (command == "upsize" || command == "downsize") return true;
    const bool on_a_register =
        command == "tables" || command == "schema" || command == "export" || command == "insert" || command == "delete" ||
        command == "check" || command == "query";
    if (command == "move") return (args.size() > 1 && server::names_server(args[1])) || (args.size() > 2 && server::names_server(args[2]));
    return on_a_register && args.size() > 1 && server::names_server(args[1]);
}

bool settle_through_server_program(const std::string& real_path) {
    for (const std::filesystem::path& place : companion_places(sys::program_file_name(kProgram))) {
        std::error_code ec;
        if (!std::filesystem::is_regular_file(place, ec)) continue;
        try {
            return sys::run({sys::utf8_of(place), "settle", real_path}) == 0;
        } catch (const std::system_error&) {
            return false;
        }
    }
    return false;
}

int run_server_program(const std::vector<std::string>& args) {
    std::string tried;
    for (const std::filesystem::path& place : companion_places(sys::program_file_name(kProgram))) {
        std::error_code ec;
        if (!std::filesystem::is_regular_file(place, ec)) continue;
        std::vector<std::string> argv{sys::utf8_of(place)};
        argv.insert(argv.end(), args.begin(), args.end());
        try {
            return sys::hand_over(argv);
        } catch (const std::system_error& e) {
            tried += " " + argv[0] + " (" + e.code().message() + ");";
        }
    }
    if (tried.empty()) {
        std::fprintf(stderr, "regtool: %s\n",
                     say(std::string("команды сервера недоступны: не установлена программа ") + kProgram,
                         std::string("the server commands are not available: the program ") + kProgram + " is not installed")
                         .c_str());
    } else {
        std::fprintf(stderr, "regtool: %s%s\n", say("программа команд сервера не запускается:", "the server commands' program cannot be run:").c_str(),
                     tried.c_str());
    }
    return 1;
}

}  // namespace regtool
