#include "system/socket.h"

#include <poll.h>

#include <cerrno>

namespace sys {

bool wait_for_socket(std::intptr_t socket, bool for_writing) {
    pollfd p{static_cast<int>(socket), static_cast<short>(for_writing ? POLLOUT : POLLIN), 0};
    return ::poll(&p, 1, -1) >= 0 || errno == EINTR;
}

}  // namespace sys
