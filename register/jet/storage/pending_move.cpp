#include "jet/pending_move.h"

#include <atomic>

#include "jet/files.h"
#include "jet/error.h"
#include "jet/platform.h"
#include "storage/pending_move_check.h"

namespace jet {

namespace {

std::atomic<MoveSettler> g_settler{nullptr};
// On the thread that runs the settler: its own locks are not held back.
thread_local bool t_settling = false;

}  // namespace

std::string pending_move_path(const std::string& real_path) { return real_path + "-move"; }

void set_move_settler(MoveSettler settler) { g_settler = settler; }

void settle_pending_move(Platform& sys, const std::string& real_path) {
    if (t_settling) return;
    const std::string record = pending_move_path(real_path);
    if (sys.entry_at(record) == disk::Entry::None) return;
    const MoveSettler settler = g_settler;
    if (!settler) return;  // refused once the lock is taken
    struct Settling {
        Settling() { t_settling = true; }
        ~Settling() { t_settling = false; }
    } settling;
    settler(real_path, record);
}

void refuse_if_move_pending(Platform& sys, const std::string& real_path, const std::string& shown) {
    if (t_settling) return;
    const std::string record = pending_move_path(real_path);
    if (sys.entry_at(record) == disk::Entry::None) return;
    throw Error(ErrorKind::PendingMove,
                "changes to " + shown + " are refused while the record of an unfinished move lies beside it (" + record +
                    "); run the move again to finish it",
                Reason::Unspecified, record);
}

}  // namespace jet
