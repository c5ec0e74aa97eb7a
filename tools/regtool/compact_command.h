// `regtool compact`: a register written anew into a fresh file, checked
// against its original (by the engine and by mdbtools' mdb-count) before it
// takes its name or the original's place.
#pragma once

#include <string>

namespace regtool {

// Compacts `source` into `target` (which must not exist), or, with an empty
// target and `replace`, into a file that then takes the source's place with
// the source's owner, group and permissions, the original kept as
// SOURCE.bak. The copy is written under a hidden temporary name beside its
// final place and named only once checked and synced (jet/compact.h).
// Progress goes to standard error. The exit status.
int compact_command(const std::string& source, const std::string& target, bool replace);

}  // namespace regtool
