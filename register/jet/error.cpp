#include "error.h"

namespace jet {

void damaged(const std::string& what) {
    throw Error(ErrorKind::Damaged, "damaged database: " + what);
}

}  // namespace jet
