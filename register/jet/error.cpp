#include "jet/error.h"

#include <cstring>

namespace jet {

void damaged(const std::string& what) {
    throw Error(ErrorKind::Damaged, "damaged database: " + what);
}

void internal_fault(const std::string& what) {
    throw Error(ErrorKind::Internal, "internal error: " + what);
}

}  // namespace jet

namespace jet {

void io_error(const std::string& what, const std::string& path, int err) {
    throw Error(ErrorKind::Io, what + " " + path + ": " + std::strerror(err), Reason::Unspecified, {}, err);
}

}  // namespace jet
