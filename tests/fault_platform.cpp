#include "fault_platform.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <string>
#include <vector>

#include "storage/disk.h"

namespace jet::faults {
namespace {


// What a power cut takes back: for a plan in PowerCut mode, every change not
// yet made durable, in the order it was made.
struct Undo {
    enum Kind { Bytes, Made, Removed } kind = Bytes;
    std::string path;
    std::uint64_t offset = 0;        // Bytes: where they were overwritten
    std::vector<std::uint8_t> data;  // Bytes: the old ones; Removed: the file's contents
    std::uint64_t size = 0;          // Bytes: the file's length before
    std::uint32_t permissions = 0;   // Removed: the file's
};

// The fault seam: the system's platform with each step of a commit counted,
// and failed, stopped at or cut off by a power cut where the plan says.
class FaultyPlatform final : public jet::Platform {
public:
    explicit FaultyPlatform(jet::Platform& real) : real_(real) {}

    void set_plan(Plan* plan) {
        plan_ = plan;
        unsynced_.clear();
    }
    void set_lock_wait_hook(std::function<void()> hook) { lock_wait_hook_ = std::move(hook); }
    void waiting_for_lock() override {
        if (lock_wait_hook_) lock_wait_hook_();
    }

    int open(const std::string& path, Access access) override { return real_.open(path, access); }
    void close(int fd) override { real_.close(fd); }
    bool facts(int fd, jet::FileFacts& out) override { return real_.facts(fd, out); }
    bool facts_of(const std::string& path, bool follow, jet::FileFacts& out) override { return real_.facts_of(path, follow, out); }
    bool real_path(const std::string& path, std::string& out) override { return real_.real_path(path, out); }
    bool may_write_in(const std::string& folder) override { return real_.may_write_in(folder); }
    void take_owner_of(int fd, const jet::FileFacts& of) override { real_.take_owner_of(fd, of); }
    bool read(int fd, std::uint8_t* buf, std::size_t len, std::uint64_t off, std::size_t& got) override {
        return real_.read(fd, buf, len, off, got);
    }
    void discard(const std::string& path) override { real_.discard(path); }
    bool add_name(const std::string& existing, const std::string& name) override { return real_.add_name(existing, name); }
    bool rename(const std::string& from, const std::string& to) override { return real_.rename(from, to); }
    jet::LockOutcome try_lock(int fd, jet::LockKind kind, jet::LockRange range) override { return real_.try_lock(fd, kind, range); }
    void unlock(int fd, jet::LockRange range) override { real_.unlock(fd, range); }
    bool held_elsewhere(int fd, jet::LockKind kind, jet::LockRange range, bool& held) override {
        return real_.held_elsewhere(fd, kind, range, held);
    }
    bool list_folder(const std::string& folder, const std::function<bool(std::string_view)>& each) override {
        return real_.list_folder(folder, each);
    }

    bool write(int fd, const std::string& path, const std::uint8_t* p, std::size_t n, std::uint64_t off) override {
        bool stop = false;
        if (next_step(stop) == Step::Fail) return false;
        if (stop) n /= 2;  // the process dies in the middle of the write
        if (tracking()) remember_bytes(fd, path, off, off + n);
        const bool ok = real_.write(fd, path, p, n, off);
        if (stop) throw jet::ProcessStopped{};
        return ok;
    }

    bool sync(int fd, const std::string& path) override {
        if (fail_or_stop()) return false;
        if (!real_.sync(fd, path)) return false;
        if (tracking()) std::erase_if(unsynced_, [&](const Undo& u) { return u.kind == Undo::Bytes && u.path == path; });
        return true;
    }

    bool truncate(int fd, const std::string& path, std::uint64_t size) override {
        if (fail_or_stop()) return false;
        if (tracking()) remember_bytes(fd, path, size, length_of(fd));
        return real_.truncate(fd, path, size);
    }

    bool sync_folder_of(const std::string& path) override {
        if (fail_or_stop()) return false;
        if (!real_.sync_folder_of(path)) return false;
        if (tracking()) {
            const std::string dir = jet::disk::folder_of(path);
            std::erase_if(unsynced_, [&](const Undo& u) { return u.kind != Undo::Bytes && jet::disk::folder_of(u.path) == dir; });
        }
        return true;
    }

    int create_new(const std::string& path, std::uint32_t permissions) override {
        if (fail_or_stop()) return -1;
        const int fd = real_.create_new(path, permissions);
        if (fd >= 0 && tracking()) unsynced_.push_back(Undo{Undo::Made, path, 0, {}, 0, 0});
        return fd;
    }

    bool remove(const std::string& path) override {
        if (fail_or_stop()) return false;
        if (tracking()) {
            jet::UniqueFd fd(real_.open(path, jet::Access::Read));
            jet::FileFacts f;
            if (fd.get() >= 0 && real_.facts(fd.get(), f) && f.regular()) {
                unsynced_.push_back(Undo{Undo::Removed, path, 0, contents(fd.get(), 0, f.size), 0, f.permissions});
            }
        }
        return real_.remove(path);
    }

private:
    enum class Step { Go, Fail };

    bool tracking() const {
        const Plan* plan = plan_.load();
        return plan != nullptr && plan->mode == Mode::PowerCut;
    }

    // Counts the step; fails it, or stops the process there, as the plan says.
    // A stop in Stop mode is raised by the caller once it has done half its work.
    Step next_step(bool& stop_after_half) {
        stop_after_half = false;
        Plan* plan = plan_.load();
        if (plan == nullptr) return Step::Go;
        if (++plan->steps != plan->at || plan->mode == Mode::Count) return Step::Go;
        switch (plan->mode) {
            case Mode::Fail: errno = EIO; return Step::Fail;
            case Mode::PowerCut: lose_unsynced(); throw jet::ProcessStopped{};
            default: stop_after_half = true; return Step::Go;
        }
    }

    bool fail_or_stop() {
        bool stop = false;
        if (next_step(stop) == Step::Fail) return true;
        if (stop) throw jet::ProcessStopped{};
        return false;
    }

    std::vector<std::uint8_t> contents(int fd, std::uint64_t from, std::uint64_t to) {
        std::vector<std::uint8_t> out(to > from ? static_cast<std::size_t>(to - from) : 0);
        std::size_t got = 0;
        (void)real_.read(fd, out.data(), out.size(), from, got);
        out.resize(got);
        return out;
    }

    std::uint64_t length_of(int fd) {
        jet::FileFacts f;
        return real_.facts(fd, f) ? f.size : 0;
    }

    // What a power cut would put back: the file's length and the bytes from
    // off to end (as far as the file reaches) before they are written over or cut.
    void remember_bytes(int fd, const std::string& path, std::uint64_t off, std::uint64_t end) {
        Undo u;
        u.path = path;
        u.offset = off;
        u.size = length_of(fd);
        u.data = contents(fd, off, std::min(u.size, end));
        unsynced_.push_back(std::move(u));
    }

    // The lights go out: whatever the disk had not promised to keep is gone.
    void lose_unsynced() {
        for (auto it = unsynced_.rbegin(); it != unsynced_.rend(); ++it) {
            switch (it->kind) {
                case Undo::Bytes: {
                    jet::UniqueFd fd(real_.open(it->path, jet::Access::Write));
                    if (fd.get() < 0) break;
                    if (!it->data.empty()) (void)real_.write(fd.get(), it->path, it->data.data(), it->data.size(), it->offset);
                    if (length_of(fd.get()) > it->size) (void)real_.truncate(fd.get(), it->path, it->size);
                    break;
                }
                case Undo::Made: real_.discard(it->path); break;
                case Undo::Removed: {
                    jet::UniqueFd fd(real_.create_new(it->path, it->permissions));
                    if (fd.get() >= 0 && !it->data.empty()) (void)real_.write(fd.get(), it->path, it->data.data(), it->data.size(), 0);
                    break;
                }
            }
        }
        unsynced_.clear();
    }

    jet::Platform& real_;
    std::atomic<Plan*> plan_{nullptr};
    std::function<void()> lock_wait_hook_;
    std::vector<Undo> unsynced_;
};

FaultyPlatform& seam() {
    static FaultyPlatform& s = *new FaultyPlatform(jet::system_platform());  // never destroyed, as the system's
    return s;
}

// In force before main, so that no database of the program is opened past it.
const bool g_installed = [] {
    jet::set_default_platform(&seam());
    return true;
}();

}  // namespace

void set_plan(Plan* plan) { seam().set_plan(plan); }

void set_lock_wait_hook(std::function<void()> hook) { seam().set_lock_wait_hook(std::move(hook)); }

}  // namespace jet::faults
