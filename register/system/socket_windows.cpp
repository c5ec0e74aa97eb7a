#include "system/socket.h"

#include <winsock2.h>

namespace sys {

bool wait_for_socket(std::intptr_t socket, bool for_writing) {
    WSAPOLLFD p{};
    p.fd = static_cast<SOCKET>(socket);
    p.events = for_writing ? POLLWRNORM : POLLRDNORM;
    return ::WSAPoll(&p, 1, -1) != SOCKET_ERROR;
}

}  // namespace sys
