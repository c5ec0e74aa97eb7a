#include "error.h"

namespace jet {

void damaged(const std::string& what) {
    throw Error(ErrorKind::Damaged, "damaged database: " + what);
}

void internal_fault(const std::string& what) {
    throw Error(ErrorKind::Internal, "internal error: " + what);
}

}  // namespace jet
