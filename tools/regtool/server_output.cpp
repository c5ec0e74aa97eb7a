#include "server_output.h"

#include <cstdio>

#include "errors/language.h"
#include "help.h"
#include "say.h"

namespace regtool {

ServerOutput::ServerOutput(std::string command)
    : command_(std::move(command)), russian_(errors::language_of_environment() == errors::Language::Russian) {}

ServerOutput::~ServerOutput() { end_line(); }

void ServerOutput::end_line() {
    if (line_open_) std::fputc('\n', stderr);
    line_open_ = false;
}

void ServerOutput::progress(const server::Progress& p) {
    std::string of;
    if (p.total) of = (russian_ ? " из " : " of ") + std::to_string(p.total);
    if (russian_) std::fprintf(stderr, "\r%s: %s, строк: %zu%s", command_.c_str(), p.table.c_str(), p.done, of.c_str());
    else std::fprintf(stderr, "\r%s: %s, %zu%s rows", command_.c_str(), p.table.c_str(), p.done, of.c_str());
    line_open_ = true;
    if (p.finished) end_line();
    std::fflush(stderr);
}

int ServerOutput::failed(const server::Error& e) {
    end_line();
    print_error({errors::server_number(e.kind()), e.describe(russian_ ? errors::Language::Russian : errors::Language::English)});
    return 1;
}

int ServerOutput::failed(const server::Error& e, std::size_t line) {
    end_line();
    std::fprintf(stderr, "regtool: %s%zu: %s\n", russian_ ? "строка " : "line ", line,
                 e.describe(russian_ ? errors::Language::Russian : errors::Language::English).c_str());
    return 1;
}

int ServerOutput::usage(const std::string& english, const std::string& russian) {
    end_line();
    std::fprintf(stderr, "regtool: %s\n%s\n", (russian_ ? russian : english).c_str(), command_synopsis(command_).c_str());
    return 2;
}

void ServerOutput::note(const std::string& english, const std::string& russian) {
    end_line();
    std::fprintf(stderr, "regtool: %s\n", (russian_ ? russian : english).c_str());
}

}  // namespace regtool
