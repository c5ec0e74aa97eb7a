#include "disk.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace jet {

namespace {

// What a power cut takes back: for a plan in PowerCut mode, every change not
// yet made durable, in the order it was made.
struct Undo {
    enum Kind { Bytes, Made, Removed } kind = Bytes;
    std::string path;
    off_t offset = 0;                // Bytes: where they were overwritten
    std::vector<std::uint8_t> data;  // Bytes: the old ones; Removed: the file's contents
    off_t size = 0;                  // Bytes: the file's length before
    mode_t mode = 0;                 // Removed: the file's mode
};

faults::Plan* g_plan = nullptr;
std::vector<Undo> g_unsynced;

bool tracking() { return g_plan != nullptr && g_plan->mode == faults::Mode::PowerCut; }

std::vector<std::uint8_t> contents(int fd, off_t from, off_t to) {
    std::vector<std::uint8_t> out(to > from ? static_cast<std::size_t>(to - from) : 0);
    std::size_t got = 0;
    disk::read_all(fd, out.data(), out.size(), from, got);
    out.resize(got);
    return out;
}

off_t length_of(int fd) {
    struct stat st {};
    return ::fstat(fd, &st) == 0 ? st.st_size : 0;
}

// The lights go out: whatever the disk had not promised to keep is gone.
void lose_unsynced() {
    for (auto it = g_unsynced.rbegin(); it != g_unsynced.rend(); ++it) {
        switch (it->kind) {
            case Undo::Bytes: {
                int fd = ::open(it->path.c_str(), O_WRONLY | O_CLOEXEC);
                if (fd < 0) break;
                if (!it->data.empty()) (void)::pwrite(fd, it->data.data(), it->data.size(), it->offset);
                if (length_of(fd) > it->size) (void)::ftruncate(fd, it->size);
                ::close(fd);
                break;
            }
            case Undo::Made: ::unlink(it->path.c_str()); break;
            case Undo::Removed: {
                int fd = ::open(it->path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, it->mode);
                if (fd < 0) break;
                if (!it->data.empty()) (void)::pwrite(fd, it->data.data(), it->data.size(), 0);
                ::close(fd);
                break;
            }
        }
    }
    g_unsynced.clear();
}

enum class Step { Go, Fail };

// Counts the step; fails it, or stops the process there, as the plan says.
// A stop in Stop mode is raised by the caller once it has done half its work.
Step next_step(bool& stop_after_half) {
    stop_after_half = false;
    faults::Plan* plan = g_plan;
    if (plan == nullptr) [[likely]]
        return Step::Go;
    if (++plan->steps != plan->at || plan->mode == faults::Mode::Count) return Step::Go;
    switch (plan->mode) {
        case faults::Mode::Fail: errno = EIO; return Step::Fail;
        case faults::Mode::PowerCut: lose_unsynced(); throw faults::Stopped{};
        default: stop_after_half = true; return Step::Go;
    }
}

bool fail_or_stop(bool& stop) {
    if (next_step(stop) == Step::Fail) return true;
    if (stop) throw faults::Stopped{};
    return false;
}

}  // namespace

namespace faults {

void set_plan(Plan* plan) {
    g_plan = plan;
    g_unsynced.clear();
}

namespace {
std::function<void()> g_lock_wait_hook;
}  // namespace

void set_lock_wait_hook(std::function<void()> hook) { g_lock_wait_hook = std::move(hook); }

void lock_waiting() {
    if (g_lock_wait_hook) g_lock_wait_hook();
}

}  // namespace faults

namespace disk {

std::string folder_of(const std::string& path) {
    auto slash = path.find_last_of('/');
    return slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
}

bool read_all(int fd, std::uint8_t* buf, std::size_t len, off_t off, std::size_t& got) {
    got = 0;
    while (got < len) {
        ssize_t n = ::pread(fd, buf + got, len - got, off + static_cast<off_t>(got));
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    return true;
}

namespace {

// What a power cut would put back: the file's length and the bytes from off
// to end (as far as the file reaches) before they are written over or cut.
void remember_bytes(int fd, const std::string& path, off_t off, off_t end) {
    Undo u;
    u.kind = Undo::Bytes;
    u.path = path;
    u.offset = off;
    u.size = length_of(fd);
    u.data = contents(fd, off, std::min<off_t>(u.size, end));
    g_unsynced.push_back(std::move(u));
}

}  // namespace

bool read_exact(int fd, std::uint8_t* buf, std::size_t len, off_t off) {
    std::size_t got = 0;
    return read_all(fd, buf, len, off, got) && got == len;
}

bool write(int fd, const std::string& path, const std::uint8_t* p, std::size_t n, off_t off) {
    bool stop = false;
    if (next_step(stop) == Step::Fail) return false;
    if (stop) n /= 2;  // the process dies in the middle of the write
    if (tracking()) remember_bytes(fd, path, off, off + static_cast<off_t>(n));
    std::size_t done = 0;
    while (done < n) {
        ssize_t w = ::pwrite(fd, p + done, n - done, off + static_cast<off_t>(done));
        if (w < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(w);
    }
    if (stop) throw faults::Stopped{};
    return true;
}

bool sync(int fd, const std::string& path) {
    bool stop = false;
    if (fail_or_stop(stop)) return false;
    while (::fsync(fd) != 0) {
        if (errno != EINTR) return false;
    }
    if (tracking()) {
        std::erase_if(g_unsynced, [&](const Undo& u) { return u.kind == Undo::Bytes && u.path == path; });
    }
    return true;
}

bool truncate(int fd, const std::string& path, off_t size) {
    bool stop = false;
    if (fail_or_stop(stop)) return false;
    if (tracking()) remember_bytes(fd, path, size, length_of(fd));
    return ::ftruncate(fd, size) == 0;
}

bool sync_folder_of(const std::string& path) {
    bool stop = false;
    if (fail_or_stop(stop)) return false;
    const std::string dir = folder_of(path);
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = true;
    while (::fsync(fd) != 0) {
        if (errno != EINTR) {
            ok = false;
            break;
        }
    }
    ::close(fd);
    if (ok && tracking()) {
        std::erase_if(g_unsynced, [&](const Undo& u) { return u.kind != Undo::Bytes && folder_of(u.path) == dir; });
    }
    return ok;
}

int create_new(const std::string& path, mode_t mode) {
    bool stop = false;
    if (fail_or_stop(stop)) return -1;
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd >= 0 && tracking()) {
        Undo u;
        u.kind = Undo::Made;
        u.path = path;
        g_unsynced.push_back(std::move(u));
    }
    return fd;
}

bool remove(const std::string& path) {
    bool stop = false;
    if (fail_or_stop(stop)) return false;
    if (tracking()) {
        int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) {
            struct stat st {};
            if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
                Undo u;
                u.kind = Undo::Removed;
                u.path = path;
                u.mode = st.st_mode & 07777;
                u.data = contents(fd, 0, st.st_size);
                g_unsynced.push_back(std::move(u));
            }
            ::close(fd);
        }
    }
    return ::unlink(path.c_str()) == 0 || errno == ENOENT;
}

}  // namespace disk

}  // namespace jet

namespace jet {

UniqueFd& UniqueFd::operator=(UniqueFd&& o) noexcept {
    if (this != &o) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = o.release();
    }
    return *this;
}

UniqueFd::~UniqueFd() {
    if (fd_ >= 0) ::close(fd_);
}

}  // namespace jet
