#include "page_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace jet {

namespace {

constexpr std::size_t kCachePages = 4096;  // 16 MiB of pages at most

[[noreturn]] void io_error(const std::string& what, const std::string& path, int err) {
    throw Error(ErrorKind::Io, what + " " + path + ": " + std::strerror(err));
}

bool pread_all(int fd, std::uint8_t* buf, std::size_t len, off_t off, std::size_t& got) {
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

}  // namespace

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

PageFile::PageFile(const std::string& path) : path_(path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        int err = errno;
        if (err == ENOENT || err == ENOTDIR) throw Error(ErrorKind::NotFound, "no such file: " + path);
        io_error("cannot open", path, err);
    }
    fd_ = UniqueFd(fd);
    struct stat st {};
    if (::fstat(fd, &st) != 0) io_error("cannot examine", path, errno);
    if (S_ISDIR(st.st_mode)) throw Error(ErrorKind::NotJet, "not a database file but a folder: " + path);
    if (!S_ISREG(st.st_mode)) throw Error(ErrorKind::NotJet, "not a regular file: " + path);
    size_ = static_cast<std::uint64_t>(st.st_size);
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
    auto data = std::make_shared<PageData>();
    std::size_t got = 0;
    if (!pread_all(fd_.get(), data->data(), kPageSize, static_cast<off_t>(n) * static_cast<off_t>(kPageSize), got)) {
        io_error("cannot read", path_, errno);
    }
    if (got != kPageSize) damaged("page " + std::to_string(n) + " is cut short; the file may be truncated");
    if (cache_.size() >= kCachePages) cache_.clear();
    PagePtr p = std::move(data);
    cache_.emplace(n, p);
    return p;
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
    if (!pread_all(fd_.get(), reinterpret_cast<std::uint8_t*>(out.data()), len, 0, got)) io_error("cannot read", path_, errno);
    out.resize(got);
    return out;
}

void PageFile::refresh_size() {
    struct stat st {};
    if (::fstat(fd_.get(), &st) != 0) io_error("cannot examine", path_, errno);
    size_ = static_cast<std::uint64_t>(st.st_size);
}

void PageFile::enable_writes() {
    if (writable_) return;
    if (depth_ > 0) throw Error(ErrorKind::Io, "internal error: reopening " + path_ + " for writing under a lock");
    // A file or folder marked read-only stays unwritten even for a user the
    // system would let through (root).
    struct stat st {};
    if (::fstat(fd_.get(), &st) == 0 && (st.st_mode & 0222) == 0) {
        throw Error(ErrorKind::ReadOnly, "the database file is read-only: " + path_);
    }
    int fd = ::open(path_.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        int err = errno;
        if (err == EACCES || err == EROFS || err == EPERM) {
            throw Error(ErrorKind::ReadOnly, "the database file may not be written: " + path_);
        }
        io_error("cannot open for writing", path_, err);
    }
    UniqueFd owned(fd);
    // Access needs to write its lock file beside the database, so a database
    // in a folder that may not be written is refused for writing too.
    std::string dir = path_;
    auto slash = dir.find_last_of('/');
    dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : dir.substr(0, slash));
    struct stat dst {};
    if (::access(dir.c_str(), W_OK) != 0 || (::stat(dir.c_str(), &dst) == 0 && (dst.st_mode & 0222) == 0)) {
        throw Error(ErrorKind::ReadOnly, "the folder of the database may not be written: " + dir);
    }
    fd_ = std::move(owned);
    writable_ = true;
}

void PageFile::lock(bool exclusive) {
    if (depth_ > 0) {
        if (exclusive && !exclusive_) throw Error(ErrorKind::Io, "internal error: write lock asked for inside a read lock");
        ++depth_;
        return;
    }
    if (exclusive && !writable_) throw Error(ErrorKind::ReadOnly, "the database is open for reading only: " + path_);
    struct flock fl {};
    fl.l_type = exclusive ? F_WRLCK : F_RDLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = 0;
    fl.l_len = 0;  // the whole file, however far it grows
    while (::fcntl(fd_.get(), F_OFD_SETLKW, &fl) != 0) {
        if (errno == EINTR) continue;
        io_error("cannot lock", path_, errno);
    }
    depth_ = 1;
    exclusive_ = exclusive;
    // Another process may have written since our last look.
    cache_.clear();
    try {
        refresh_size();
    } catch (...) {
        unlock();
        throw;
    }
}

void PageFile::unlock() {
    if (depth_ == 0) return;
    if (--depth_ > 0) return;
    rollback();
    struct flock fl {};
    fl.l_type = F_UNLCK;
    fl.l_whence = SEEK_SET;
    ::fcntl(fd_.get(), F_OFD_SETLK, &fl);
    exclusive_ = false;
}

void PageFile::write(std::uint32_t n, const PageData& data, PageRole role) {
    if (!locked_exclusive()) throw Error(ErrorKind::Io, "internal error: page written without the write lock");
    if (n >= page_count()) throw Error(ErrorKind::Io, "internal error: write past the end of " + path_);
    auto& slot = pending_[n];
    // A page handed out by page() keeps its bytes; the new ones go into a fresh copy.
    if (!slot.data || slot.data.use_count() > 1) {
        slot.data = std::make_shared<PageData>(data);
    } else {
        *slot.data = data;
    }
    if (role == PageRole::Map) slot.role = PageRole::Map;
}

PageData& PageFile::edit(std::uint32_t n, PageRole role) {
    if (!locked_exclusive()) throw Error(ErrorKind::Io, "internal error: page written without the write lock");
    if (auto it = pending_.find(n); it != pending_.end() && it->second.data.use_count() == 1) {
        if (role == PageRole::Map) it->second.role = PageRole::Map;
        return *it->second.data;
    }
    PagePtr current = page(n);
    auto& slot = pending_[n];
    slot.data = std::make_shared<PageData>(*current);
    if (role == PageRole::Map) slot.role = PageRole::Map;
    return *slot.data;
}

std::uint32_t PageFile::allocate(PageRole role) {
    if (!locked_exclusive()) throw Error(ErrorKind::Io, "internal error: page added without the write lock");
    std::uint32_t n = page_count();
    if (n >= 0x00FFFFFFu) throw Error(ErrorKind::Unsupported, "the database has reached the largest size the format allows");
    ++added_;
    auto& slot = pending_[n];
    slot.data = std::make_shared<PageData>();
    slot.data->fill(0);
    slot.role = role;
    return n;
}

void PageFile::write_pages(PageRole role) {
    for (auto& [n, p] : pending_) {
        if (p.role != role) continue;
        const std::uint8_t* buf = p.data->data();
        std::size_t done = 0;
        off_t off = static_cast<off_t>(n) * static_cast<off_t>(kPageSize);
        while (done < kPageSize) {
            ssize_t w = ::pwrite(fd_.get(), buf + done, kPageSize - done, off + static_cast<off_t>(done));
            if (w < 0) {
                if (errno == EINTR) continue;
                io_error("cannot write", path_, errno);
            }
            done += static_cast<std::size_t>(w);
        }
    }
}

void PageFile::sync() {
    while (::fsync(fd_.get()) != 0) {
        if (errno == EINTR) continue;
        io_error("cannot flush to disk", path_, errno);
    }
}

void PageFile::commit() {
    if (pending_.empty()) return;
    if (!locked_exclusive()) throw Error(ErrorKind::Io, "internal error: commit without the write lock");
    try {
        write_pages(PageRole::Content);
        sync();
        write_pages(PageRole::Map);
        sync();
    } catch (...) {
        rollback();
        cache_.clear();
        refresh_size();
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

void PageFile::rollback() {
    pending_.clear();
    added_ = 0;
}

}  // namespace jet
