#include "storage/page_file.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <thread>
#include <vector>

#include "storage/journal.h"
#include "storage/page_pool.h"
#include "storage/pending_move_check.h"
#include "jet/platform.h"

namespace jet {

namespace {

constexpr std::size_t kCachePages = 4096;  // 16 MiB of pages at most

// Opens path without waiting on it (a FIFO would block an open for reading)
// and checks that it is a regular file. The descriptor, with its facts.
UniqueFd open_regular(Platform& sys, const std::string& path, Access access, FileFacts& st, const std::string& shown) {
    int fd = sys.open(path, access);
    if (fd < 0) {
        int err = errno;
        if (err == ENOENT || err == ENOTDIR) throw Error(ErrorKind::NotFound, "no such file: " + shown);
        if (err == ELOOP) throw Error(ErrorKind::Replaced, "the file " + shown + " was replaced by a link while it was being opened");
        if (err == EACCES || err == EROFS || err == EPERM) {
            throw Error(ErrorKind::ReadOnly, "the database file may not be written: " + shown, Reason::FileReadOnly);
        }
        if (err == EISDIR) throw Error(ErrorKind::NotJet, "not a database file but a folder: " + shown);
        // Windows: another program opened the file sharing it with no one.
        if (err == EBUSY) throw Error(ErrorKind::Busy, "the database " + shown + " is open in another program that lets no one else open it");
        io_error("cannot open", shown, err);
    }
    UniqueFd owned(fd, sys);
    if (!sys.facts(fd, st)) io_error("cannot examine", shown, errno);
    if (st.kind == FileFacts::Kind::Folder) throw Error(ErrorKind::NotJet, "not a database file but a folder: " + shown);
    if (!st.regular()) throw Error(ErrorKind::NotJet, "not a regular file (a FIFO, socket or device): " + shown);
    return owned;
}

}  // namespace

namespace {
std::atomic<std::int64_t> g_default_lock_wait{PageFile::kDefaultLockWait.count()};
}  // namespace

void PageFile::set_default_lock_wait(std::chrono::milliseconds wait) { g_default_lock_wait = wait.count(); }

std::chrono::milliseconds PageFile::default_lock_wait() { return std::chrono::milliseconds(g_default_lock_wait.load()); }

PageFile::PageFile(const std::string& path, Platform& platform)
    : platform_(&platform), path_(path), lock_wait_(default_lock_wait()) {
    // The real file behind any links: its journal is named after it, so that
    // every path to the file finds the same journal.
    if (!platform_->real_path(path, real_path_)) {
        int err = errno;
        if (err == ENOENT || err == ENOTDIR) throw Error(ErrorKind::NotFound, "no such file: " + path);
        io_error("cannot find", path, err);
    }
    FileFacts st;
    fd_ = open_regular(*platform_, real_path_, Access::Read, st, path_);
    id_ = st.id();
    size_ = st.size;
}

PagePtr PageFile::page(std::uint32_t n) {
    if (!pending_.empty()) {
        if (auto it = pending_.find(n); it != pending_.end()) return it->second.data;
    }
    if (auto it = cache_.find(n); it != cache_.end()) return it->second;
    if (n >= size_ / kPageSize) {
        damaged("page " + std::to_string(n) + " lies past the end of the file (" + std::to_string(page_count()) +
                " pages); the file may be truncated");
    }
    // Read one after the other, pages come in runs: the next ones the group
    // has not changed nor read yet come along in the same call.
    std::size_t run = 1;
    if (n == next_in_run_) {
        const std::uint64_t in_file = size_ / kPageSize;
        while (run < kReadAhead && n + run < in_file && !pending_.count(n + static_cast<std::uint32_t>(run)) &&
               !cache_.count(n + static_cast<std::uint32_t>(run))) {
            ++run;
        }
    }
    next_in_run_ = n + static_cast<std::uint32_t>(run);
    if (run > 1) read_ahead_.resize(run * kPageSize);
    auto data = new_page();
    std::uint8_t* into = run > 1 ? read_ahead_.data() : data->data();
    std::size_t got = 0;
    if (!platform_->read(fd_.get(), into, run * kPageSize, std::uint64_t{n} * kPageSize, got)) {
        io_error("cannot read", path_, errno);
    }
    if (got < kPageSize) damaged("page " + std::to_string(n) + " is cut short; the file may be truncated");
    if (cache_.size() + run > kCachePages) cache_.clear();
    if (run > 1) {
        std::memcpy(data->data(), into, kPageSize);
        for (std::size_t k = 1; k < run && (k + 1) * kPageSize <= got; ++k) {
            std::shared_ptr<PageData> next = new_page();
            std::memcpy(next->data(), into + k * kPageSize, kPageSize);
            cache_.emplace(n + static_cast<std::uint32_t>(k), std::move(next));
        }
    }
    PagePtr p = std::move(data);
    cache_.emplace(n, p);
    return p;
}

bool PageFile::blank(std::uint32_t n) {
    auto zero = [](const std::uint8_t* p) { return p[0] == 0 && std::memcmp(p, p + 1, kPageSize - 1) == 0; };
    // A page of this group (one taken and not filled yet, too) is in use.
    if (pending_.count(n)) return false;
    if (auto it = cache_.find(n); it != cache_.end()) return zero(it->second->data());
    if (n >= size_ / kPageSize) return false;
    PageData buf;
    std::size_t got = 0;
    if (!platform_->read(fd_.get(), buf.data(), kPageSize, std::uint64_t{n} * kPageSize, got) || got != kPageSize) {
        return false;
    }
    return zero(buf.data());
}

PagePtr PageFile::page_of_type(std::uint32_t n, PageType type, const char* what) {
    PagePtr p = page(n);
    if ((*p)[0] != static_cast<std::uint8_t>(type)) {
        damaged(std::string(what) + " at page " + std::to_string(n) + " has page type " + std::to_string((*p)[0]) +
                ", expected " + std::to_string(static_cast<int>(type)));
    }
    return p;
}

std::string PageFile::read_prefix(std::size_t len) const {
    std::string out(len, '\0');
    std::size_t got = 0;
    if (!platform_->read(fd_.get(), reinterpret_cast<std::uint8_t*>(out.data()), len, 0, got)) io_error("cannot read", path_, errno);
    out.resize(got);
    return out;
}

void PageFile::refresh_size() {
    FileFacts st;
    if (!platform_->facts(fd_.get(), st)) io_error("cannot examine", path_, errno);
    size_ = st.size;
}

void PageFile::check_still_at_path() const {
    FileFacts st;
    if (!platform_->facts_of(real_path_, true, st) || st.id() != id_) {
        FileFacts open;
        const bool gone = platform_->facts(fd_.get(), open) && open.links == 0;
        throw Error(ErrorKind::Replaced, "the database file " + path_ + " was removed or replaced by another file while it was open",
                    gone ? Reason::FileRemoved : Reason::Unspecified);
    }
}

void PageFile::enable_writes() {
    if (writable_) return;
    if (depth_ > 0) internal_fault("reopening " + path_ + " for writing under a lock");
    // A file or folder marked read-only stays unwritten even for a user the
    // system would let through (root).
    FileFacts st;
    if (platform_->facts(fd_.get(), st) && st.marked_read_only()) {
        throw Error(ErrorKind::ReadOnly, "the database file is read-only: " + path_, Reason::FileReadOnly);
    }
    FileFacts now;
    UniqueFd owned = open_regular(*platform_, real_path_, Access::ReadWrite, now, path_);
    if (now.id() != id_) {
        throw Error(ErrorKind::Replaced, "the database file " + path_ + " was replaced by another file while it was open");
    }
    if (now.links > 1) {
        throw Error(ErrorKind::Linked, "the database file " + path_ + " has " + std::to_string(now.links) +
                                           " names (hard links); it is written only under one name, so that every program "
                                           "finds its journal");
    }
    // Access needs to write its lock file beside the database, so a database
    // in a folder that may not be written is refused for writing too.
    const std::string dir = disk::folder_of(real_path_);
    FileFacts folder;
    if (!platform_->may_write_in(dir) || (platform_->facts_of(dir, true, folder) && folder.marked_read_only())) {
        throw Error(ErrorKind::ReadOnly, "the folder of the database may not be written: " + dir, Reason::FolderReadOnly, dir);
    }
    fd_ = std::move(owned);
    writable_ = true;
    if (taking_turns_) take_turns();  // a lock goes with the descriptor it was taken on
}

namespace {

// Past the data lock (platform.h) lies a byte that a program marks with a shared lock while it waits
// for the data: a program holding the file group after group sees the mark
// between its groups and lets the waiting one in first.
constexpr LockRange kWaitingByte{std::uint64_t{1} << 62, 1};
// And past that one a byte that a program taking the file group after group
// (a move) holds with a shared lock for as long as it runs: one waiting for
// the file then waits longer than its own wait before it gives up, since its
// turn comes after the group at work, however long that takes.
constexpr LockRange kTurnsByte{(std::uint64_t{1} << 62) + 1, 1};
constexpr int kTurnsWaitFactor = 12;

// The mark of a waiting program, dropped when the wait ends either way. Best
// effort: where it cannot be taken (an older version's whole-file write lock
// covers the byte), the wait goes on without it.
class WaitingMark {
public:
    WaitingMark(Platform& sys, int fd) : sys_(sys), fd_(fd) {}
    ~WaitingMark() {
        if (marked_) sys_.unlock(fd_, kWaitingByte);
    }
    WaitingMark(const WaitingMark&) = delete;
    WaitingMark& operator=(const WaitingMark&) = delete;
    void mark() {
        if (!marked_) marked_ = sys_.try_lock(fd_, LockKind::Shared, kWaitingByte) == LockOutcome::Taken;
    }

private:
    Platform& sys_;
    int fd_;
    bool marked_ = false;
};

}  // namespace

void PageFile::take_lock(bool exclusive) {
    // Tried without waiting, again and again with growing pauses, until the
    // wait allowed has passed: a program behind another's lock is told so
    // instead of freezing. Meanwhile its mark says that it waits.
    auto deadline = std::chrono::steady_clock::now() + lock_wait_;
    bool extended = false;
    auto pause = std::chrono::milliseconds(1);
    WaitingMark waiting(*platform_, fd_.get());
    for (;;) {
        const LockOutcome got = platform_->try_lock(fd_.get(), exclusive ? LockKind::Exclusive : LockKind::Shared, kDataBytes);
        if (got == LockOutcome::Taken) return;
        if (got == LockOutcome::Failed) io_error("cannot lock", path_, errno);
        waiting.mark();
        const auto now = std::chrono::steady_clock::now();
        bool turns = false;
        if (now >= deadline && !extended && platform_->held_elsewhere(fd_.get(), LockKind::Exclusive, kTurnsByte, turns) && turns) {
            deadline = now + (kTurnsWaitFactor - 1) * lock_wait_;
            extended = true;
        }
        if (now >= deadline) {
            throw Error(ErrorKind::Busy, "the database " + path_ + " is in use by another program (it kept the file " +
                                             (exclusive ? "locked" : "locked for writing") + " for longer than " +
                                             std::to_string(lock_wait_.count()) + " ms)");
        }
        platform_->waiting_for_lock();
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(pause, deadline - now));
        pause = std::min(pause * 2, std::chrono::milliseconds(50));
    }
}

void PageFile::release_lock() { platform_->unlock(fd_.get(), kDataBytes); }

void PageFile::let_waiting_programs_in(std::chrono::milliseconds at_most) {
    if (depth_ > 0) internal_fault("letting other programs into " + path_ + " under its own lock");
    // A waiting program polls the lock with pauses of up to 50 ms; a mark
    // that stays much longer is of one behind a third program's lock, and
    // is waited for at_most so long.
    const auto deadline = std::chrono::steady_clock::now() + at_most;
    auto pause = std::chrono::milliseconds(1);
    for (;;) {
        bool waits = false;
        if (!platform_->held_elsewhere(fd_.get(), LockKind::Exclusive, kWaitingByte, waits) || !waits) return;
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) return;
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(pause, deadline - now));
        pause = std::min(pause * 2, std::chrono::milliseconds(10));
    }
}

void PageFile::take_turns() {
    // Best effort, as the waiting mark: without it others wait as long as ever.
    taking_turns_ = platform_->try_lock(fd_.get(), LockKind::Shared, kTurnsByte) == LockOutcome::Taken;
}

void PageFile::lock(bool exclusive) {
    if (depth_ > 0) {
        if (exclusive && !exclusive_) internal_fault("write lock asked for inside a read lock");
        ++depth_;
        return;
    }
    if (exclusive && !writable_) throw Error(ErrorKind::ReadOnly, "the database is open for reading only: " + path_, Reason::FileReadOnly);
    // A move cut off binds the file until its group is settled.
    if (exclusive) settle_pending_move(*platform_, real_path_);
    take_lock(exclusive);
    depth_ = 1;
    exclusive_ = exclusive;
    // Another process may have written since our last look.
    cache_.clear();
    try {
        look_for_journal(exclusive);
        if (exclusive) refuse_if_move_pending(*platform_, real_path_, path_);
        refresh_size();
    } catch (...) {
        unlock();
        throw;
    }
}

void PageFile::look_for_journal(bool exclusive) {
    const std::string path = journal_path();
    FileFacts st;
    if (!platform_->facts_of(path, false, st)) {
        journal_warning_.clear();
        journal_seen_.clear();
        return;
    }
    // A journal already judged not to be ours, unchanged since, and the file
    // unchanged too, is not read again at every lock.
    FileFacts db;
    (void)platform_->facts(fd_.get(), db);
    const std::string seen = std::to_string(st.device) + ":" + std::to_string(st.inode) + ":" + std::to_string(st.size) + ":" +
                             std::to_string(st.modified_ns) + ":" + std::to_string(db.size) + ":" + std::to_string(db.modified_ns);
    journal::Examined x;
    if (!journal_warning_.empty() && seen == journal_seen_) {
        x = {journal::Found::Foreign, journal_warning_};
    } else {
        x = journal::examine(*platform_, path, fd_.get(), db.size);
    }
    journal_seen_.clear();
    journal_warning_.clear();
    switch (x.found) {
        case journal::Found::Nothing: return;
        case journal::Found::Void:
            // The file does not need it. No writer is at work while any lock
            // is held, so a reader may clear it away too, where it can.
            if (exclusive) {
                journal::remove(*platform_, path, path_);
            } else {
                try {
                    journal::remove(*platform_, path, path_);
                } catch (const Error&) {
                }
            }
            return;
        case journal::Found::Own: break;
        default:
            journal_warning_ = x.why;
            journal_seen_ = seen;
            if (exclusive) {
                throw Error(ErrorKind::StrayJournal, "changes to " + path_ + " are refused while " + x.why +
                                                         "; the file itself is left as it is");
            }
            return;
    }
    // A writer died in the middle of a group. Putting its pages back needs
    // the write lock, and a descriptor that may write.
    if (exclusive) {
        journal::roll_back(*platform_, path, fd_.get(), path_);
        cache_.clear();
        return;
    }
    release_lock();
    depth_ = 0;
    if (!writable_) {
        try {
            enable_writes();
        } catch (const Error& e) {
            throw Error(ErrorKind::Io, "a change to " + path_ + " was interrupted and cannot be undone here: " + e.what(), e.reason(),
                        e.subject(), e.os_error());
        }
    }
    take_lock(true);
    depth_ = 1;
    exclusive_ = true;
    look_for_journal(true);
    // Back to the shared lock this reader asked for.
    take_lock(false);
    exclusive_ = false;
}

void PageFile::unlock() {
    if (depth_ == 0) return;
    if (--depth_ > 0) return;
    rollback();
    release_lock();
    exclusive_ = false;
    failed_ = false;
}

void PageFile::check_group(const char* what) const {
    if (!locked_exclusive()) internal_fault(std::string(what) + " without the write lock");
    if (failed_) throw Error(ErrorKind::Io, "the change to " + path_ + " failed and was undone; it must be made again in a new group");
}

void PageFile::write(std::uint32_t n, const PageData& data, PageRole role) {
    check_group("page written");
    ++changes_;
    if (n >= page_count()) internal_fault("write past the end of " + path_);
    auto& slot = pending_[n];
    // A page handed out by page() keeps its bytes; the new ones go into a fresh copy.
    if (!slot.data || slot.data.use_count() > 1) {
        slot.data = new_page(data);
    } else {
        *slot.data = data;
    }
    if (role == PageRole::Map) slot.role = PageRole::Map;
}

PageData& PageFile::edit(std::uint32_t n, PageRole role) {
    check_group("page written");
    ++changes_;
    const auto pending = pending_.find(n);
    if (pending != pending_.end() && pending->second.data.use_count() == 1) {
        if (role == PageRole::Map) pending->second.role = PageRole::Map;
        return *pending->second.data;
    }
    // A page the group has not changed yet, cached and looked at by no one
    // else, is changed where it lies: the journal takes the old contents
    // from the file, and a group rolled back reads the page again.
    std::shared_ptr<PageData> data;
    if (pending == pending_.end()) {
        if (auto it = cache_.find(n); it != cache_.end() && it->second.use_count() == 1) {
            data = std::const_pointer_cast<PageData>(std::move(it->second));
            cache_.erase(it);
        }
    }
    if (!data) data = new_page(*page(n));
    auto& slot = pending_[n];
    slot.data = std::move(data);
    if (role == PageRole::Map) slot.role = PageRole::Map;
    return *slot.data;
}

std::uint32_t PageFile::allocate(PageRole role) {
    check_group("page added");
    ++changes_;
    std::uint32_t n = page_count();
    if (n >= 0x80000000u / kPageSize) {
        throw Error(ErrorKind::Unsupported, "the database would grow past 2 GB, the largest size of its format", Reason::FileTooLarge);
    }
    ++added_;
    auto& slot = pending_[n];
    slot.data = new_page();
    slot.role = role;
    return n;
}

// Pages go out in runs of neighbours, one write call a run: a group that
// fills a stretch of the file writes it as the disk likes it best.
void PageFile::write_pages(PageRole role) {
    std::vector<std::pair<std::uint32_t, const PageData*>> out;
    for (const auto& [n, p] : pending_) {
        if (p.role == role) out.emplace_back(n, p.data.get());
    }
    std::sort(out.begin(), out.end());
    constexpr std::size_t kRunPages = 64;
    std::vector<const std::uint8_t*> run;
    for (std::size_t i = 0; i < out.size();) {
        std::size_t end = i + 1;
        while (end < out.size() && end - i < kRunPages && out[end].first == out[end - 1].first + 1) ++end;
        run.clear();
        for (std::size_t k = i; k < end; ++k) run.push_back(out[k].second->data());
        if (!platform_->write_pieces(fd_.get(), real_path_, run.data(), run.size(), kPageSize, std::uint64_t{out[i].first} * kPageSize)) {
            io_error("cannot write", path_, errno);
        }
        i = end;
    }
}

void PageFile::sync() {
    if (!platform_->sync(fd_.get(), real_path_)) io_error("cannot flush to disk", path_, errno);
}

void PageFile::write_journal(bool staged) {
    const auto before = static_cast<std::uint32_t>(size_ / kPageSize);
    std::vector<journal::Page> pages;
    for (const auto& [n, p] : pending_) {
        if (n < before) pages.push_back({n, p.data->data()});  // new pages are undone by cutting the file back
    }
    std::sort(pages.begin(), pages.end(), [](const journal::Page& a, const journal::Page& b) { return a.number < b.number; });
    FileFacts st;
    if (!platform_->facts(fd_.get(), st)) io_error("cannot examine", path_, errno);
    if (staged) journal::stage(*platform_, journal_path(), fd_.get(), path_, st, before, pages);
    else journal::write(*platform_, journal_path(), fd_.get(), path_, st, before, pages);
}

void PageFile::stage_journal() {
    if (failed_) check_group("commit");
    if (pending_.empty() || (staged_ && staged_at_ == changes_)) return;
    check_group("commit");
    discard_staged();
    write_journal(true);
    staged_ = true;
    staged_at_ = changes_;
}

// A staged journal no longer of use goes (it is void: nothing was touched).
void PageFile::discard_staged() {
    if (!staged_) return;
    staged_ = false;
    platform_->discard(journal_path());
}

void PageFile::commit() {
    if (failed_) check_group("commit");
    if (pending_.empty()) return;
    check_group("commit");
    // A file removed or replaced since it was opened takes nothing: the group
    // would be written where no program finds it.
    check_still_at_path();
    bool journal_written = false, finishing = false;
    try {
        // A journal staged for these very pages only needs its mark; one
        // staged before other changes is written again.
        if (staged_ && staged_at_ == changes_) {
            staged_ = false;
            journal::complete(*platform_, journal_path(), path_);
        } else {
            discard_staged();
            write_journal(false);
        }
        journal_written = true;
        write_pages(PageRole::Content);
        sync();
        write_pages(PageRole::Map);
        sync();
        finishing = true;
        journal::finish(*platform_, journal_path(), path_);
    } catch (const ProcessStopped&) {
        throw;  // a process that died here cleans nothing up
    } catch (...) {
        undo_failed_commit(journal_written, finishing);
        throw;
    }
    for (auto& [n, p] : pending_) {
        if (cache_.size() >= kCachePages) cache_.clear();
        cache_[n] = std::move(p.data);
    }
    pending_.clear();
    size_ += std::uint64_t{added_} * kPageSize;
    added_ = 0;
}

// Whatever of a failed group reached the file goes back to how it was, from
// the journal; what cannot be put back now is put back by the next opener.
void PageFile::undo_failed_commit(bool journal_written, bool finishing) {
    rollback();
    failed_ = true;
    cache_.clear();
    if (journal_written) {
        try {
            // A journal whose end failed may be marked finished already: it
            // is made complete again before it is used.
            if (finishing) journal::reopen(*platform_, journal_path(), path_);
            journal::roll_back(*platform_, journal_path(), fd_.get(), path_);
        } catch (const ProcessStopped&) {
            throw;
        } catch (...) {
        }
    }
    refresh_size();
}

void PageFile::rollback() {
    discard_staged();
    pending_.clear();
    added_ = 0;
}

}  // namespace jet
