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
    if (auto it = cache_.find(n); it != cache_.end()) return it->second;
    if (n >= page_count()) {
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

}  // namespace jet
