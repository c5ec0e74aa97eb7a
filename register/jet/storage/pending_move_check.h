// The engine's side of a pending move's record (jet/pending_move.h): what
// every write lock does before and after it is taken.
#pragma once

#include <string>

#include "jet/platform.h"

namespace jet {

// Before the write lock: hands a record lying beside the file to the settler
// in force. Raises what the settler raises.
void settle_pending_move(Platform& sys, const std::string& real_path);
// Under the write lock: a record still lying there refuses the write.
void refuse_if_move_pending(Platform& sys, const std::string& real_path, const std::string& shown);

}  // namespace jet
