// `regtool compact`: a register written anew into a fresh file, checked
// against its original before anything is replaced.
#pragma once

#include <string>

namespace regtool {

// Compacts `source` into `target` (which must not exist), or, with an empty
// target and `replace`, into a file that then takes the source's place, the
// original kept as SOURCE.bak. Progress goes to standard error. The exit status.
int compact_command(const std::string& source, const std::string& target, bool replace);

}  // namespace regtool
