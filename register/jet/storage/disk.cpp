#include "storage/disk.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <vector>

#include "jet/platform.h"

namespace jet {

namespace {

std::atomic<Platform*> g_default{nullptr};

}  // namespace

Platform& default_platform() {
    Platform* p = g_default.load(std::memory_order_acquire);
    return p != nullptr ? *p : system_platform();
}

void set_default_platform(Platform* platform) { g_default.store(platform, std::memory_order_release); }

bool Platform::write_pieces(int fd, const std::string& path, const std::uint8_t* const* pieces, std::size_t count, std::size_t size,
                            std::uint64_t off) {
    if (count == 1) return write(fd, path, pieces[0], size, off);
    std::vector<std::uint8_t> all(count * size);
    for (std::size_t i = 0; i < count; ++i) std::copy(pieces[i], pieces[i] + size, all.begin() + static_cast<std::ptrdiff_t>(i * size));
    return write(fd, path, all.data(), all.size(), off);
}

bool Platform::read_exact(int fd, std::uint8_t* buf, std::size_t len, std::uint64_t off) {
    std::size_t got = 0;
    return read(fd, buf, len, off, got) && got == len;
}

int Platform::create_new_like(const std::string& path, const std::string& like) {
    FileFacts of;
    if (!facts_of(like, true, of)) return -1;
    const int fd = create_new(path, of.permissions & 0666);
    if (fd >= 0) take_owner_of(fd, of);
    return fd;
}

disk::Entry Platform::entry_at(const std::string& path) {
    FileFacts f;
    if (!facts_of(path, false, f)) return disk::Entry::None;
    switch (f.kind) {
        case FileFacts::Kind::Regular: return disk::Entry::Regular;
        case FileFacts::Kind::Folder: return disk::Entry::Folder;
        case FileFacts::Kind::Link: return disk::Entry::Link;
        case FileFacts::Kind::Other: return disk::Entry::Other;
    }
    return disk::Entry::Other;
}

std::optional<disk::FileId> Platform::identify(const std::string& path) {
    FileFacts f;
    if (!facts_of(path, true, f)) return std::nullopt;
    return f.id();
}

namespace disk {

std::size_t name_start(std::string_view path) {
    const std::size_t slash = path.find_last_of(kPathSeparators);
    if (slash != std::string_view::npos) return slash + 1;
#ifdef _WIN32
    // "C:name" lies in the drive's current folder.
    if (path.size() >= 2 && path[1] == ':') return 2;
#endif
    return 0;
}

std::string folder_of(const std::string& path) {
    const std::size_t start = name_start(path);
    if (start == 0) return ".";
#ifdef _WIN32
    // The root of a drive keeps its slash ("C:" alone is the drive's current
    // folder); "C:name" lies in that current folder.
    if (path[start - 1] == ':') return path.substr(0, start);
    if (start == 3 && path[1] == ':') return path.substr(0, 3);
#endif
    return start == 1 ? path.substr(0, 1) : path.substr(0, start - 1);
}

bool read_all(int fd, std::uint8_t* buf, std::size_t len, std::uint64_t off, std::size_t& got) {
    return default_platform().read(fd, buf, len, off, got);
}

bool read_exact(int fd, std::uint8_t* buf, std::size_t len, std::uint64_t off) { return default_platform().read_exact(fd, buf, len, off); }

bool write(int fd, const std::string& path, const std::uint8_t* p, std::size_t n, std::uint64_t off) {
    return default_platform().write(fd, path, p, n, off);
}

bool sync(int fd, const std::string& path) { return default_platform().sync(fd, path); }

bool truncate(int fd, const std::string& path, std::uint64_t size) { return default_platform().truncate(fd, path, size); }

bool sync_folder_of(const std::string& path) { return default_platform().sync_folder_of(path); }

int create_new(const std::string& path, std::uint32_t permissions) { return default_platform().create_new(path, permissions); }

int create_new_like(const std::string& path, const std::string& like) { return default_platform().create_new_like(path, like); }

bool remove(const std::string& path) { return default_platform().remove(path); }

Entry entry_at(const std::string& path) { return default_platform().entry_at(path); }

int open_to_read(const std::string& path) {
    UniqueFd fd(default_platform().open(path, Access::Read), default_platform());
    FileFacts f;
    if (fd.get() < 0) return -1;
    if (!default_platform().facts(fd.get(), f)) return -1;
    if (!f.regular()) {
        errno = EINVAL;
        return -1;
    }
    return fd.release();
}

bool size_of(int fd, std::uint64_t& size) {
    FileFacts f;
    if (!default_platform().facts(fd, f)) return false;
    size = f.size;
    return true;
}

void discard(const std::string& path) { default_platform().discard(path); }

bool add_name(const std::string& existing, const std::string& name) { return default_platform().add_name(existing, name); }

bool rename(const std::string& from, const std::string& to) { return default_platform().rename(from, to); }

std::optional<FileId> identify(const std::string& path) { return default_platform().identify(path); }

}  // namespace disk

}  // namespace jet

namespace jet {

UniqueFd& UniqueFd::operator=(UniqueFd&& o) noexcept {
    if (this != &o) {
        if (fd_ >= 0) platform_->close(fd_);
        platform_ = o.platform_;
        fd_ = o.release();
    }
    return *this;
}

UniqueFd::~UniqueFd() {
    if (fd_ >= 0) platform_->close(fd_);
}

}  // namespace jet
