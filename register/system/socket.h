// Waiting on a network connection's socket (a library's, libpq's say, that
// hands out its socket and leaves the waiting to its caller).
#pragma once

#include <cstdint>

namespace sys {

// Waits, for as long as it takes, until the socket can be read from (or
// written to, for_writing). False when the wait itself failed; a signal
// that cuts the wait short counts as the socket being ready, so that the
// caller looks at its connection again.
bool wait_for_socket(std::intptr_t socket, bool for_writing);

}  // namespace sys
