#include "server_program.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "companion.h"
#include "say.h"
#include "server/link.h"

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
    const std::vector<std::string> args{"settle", real_path};
    for (const std::filesystem::path& place : companion_places(kProgram)) {
        std::error_code ec;
        if (!std::filesystem::is_regular_file(place, ec)) continue;
        std::string program = place.string();
        std::vector<char*> argv{program.data()};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        std::fflush(nullptr);
        const pid_t child = ::fork();
        if (child < 0) return false;
        if (child == 0) {
            ::execv(program.c_str(), argv.data());
            ::_exit(127);
        }
        int status = 0;
        while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    return false;
}

int run_server_program(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    std::string tried;
    for (const std::filesystem::path& place : companion_places(kProgram)) {
        std::error_code ec;
        if (!std::filesystem::is_regular_file(place, ec)) continue;
        std::string program = place.string();
        argv.assign(1, program.data());
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        std::fflush(nullptr);
        ::execv(program.c_str(), argv.data());
        tried += " " + program + " (" + std::strerror(errno) + ");";
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
