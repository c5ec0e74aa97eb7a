#include "system/console.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <system_error>

namespace sys {

Console::Console(int argc, char** argv) : arguments_(argv + (argc > 0 ? 1 : 0), argv + argc) { std::signal(SIGPIPE, SIG_IGN); }

Console::~Console() = default;

std::optional<std::string> next_input_chunk(const std::stop_token& stop) {
    char buf[1 << 16];
    for (;;) {
        if (stop.stop_requested()) return std::nullopt;
        pollfd p{STDIN_FILENO, POLLIN, 0};
        const int r = ::poll(&p, 1, 100);
        if (r < 0 && errno != EINTR) throw std::system_error(errno, std::generic_category(), "standard input");
        if (r <= 0) continue;
        const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            throw std::system_error(errno, std::generic_category(), "standard input");
        }
        return std::string(buf, static_cast<std::size_t>(n));
    }
}

}  // namespace sys
