// The fault seam of the tests: a platform wrapped around the system's own
// that counts the steps of a commit and cuts one where a plan says. The I/O
// steps are counted: each page written, the journal made, written, marked
// complete and removed, each sync (of the file, the journal and their folder)
// and each cut of a file's length. A plan can make step `at` fail as the
// system would (errno EIO), stop there as if the process died (a write cut
// that way leaves its first half behind, a torn page), or cut the power
// there: everything written since its file was last synced is lost, and so
// is every file made or removed since its folder was last synced, as a disk
// may lose them. jet::ProcessStopped is then raised, which nothing in the
// engine catches, so no cleanup that a dead process could not do happens.
//
// A test program that links this is run with the seam as its default
// platform from the start, so every database it opens goes through it;
// without a plan each step is handed straight to the system.
#pragma once

#include <cstdint>
#include <functional>

#include "jet/platform.h"

namespace jet::faults {

enum class Mode { Count, Fail, Stop, PowerCut };

struct Plan {
    Mode mode = Mode::Count;
    std::uint64_t at = 0;     // the step (from 1) to fail or stop at
    std::uint64_t steps = 0;  // steps taken so far
};

using Stopped = jet::ProcessStopped;

// The plan in force, or none with nullptr; the caller keeps it alive.
// Setting a plan forgets what an earlier one kept for a power cut.
void set_plan(Plan* plan);

// Called each time a lock is found held by another program and the caller is
// about to wait for it: tests let the holder go at that very point. None with
// nullptr.
void set_lock_wait_hook(std::function<void()> hook);

}  // namespace jet::faults
