#include "page_file.h"

#include <cerrno>
#include <cstring>
#include <vector>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace jet {

namespace faults {
namespace {
Plan* g_plan = nullptr;
}  // namespace
}  // namespace faults

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

// The steps of the fault plan (see faults::Plan). Each returns false with
// errno set when the system refuses.
enum class Step { Go, Fail, Stop };

Step next_step() {
    faults::Plan* plan = faults::g_plan;
    if (plan == nullptr) [[likely]]
        return Step::Go;
    if (++plan->steps != plan->at || plan->mode == faults::Mode::Count) return Step::Go;
    return plan->mode == faults::Mode::Fail ? Step::Fail : Step::Stop;
}

bool write_all(int fd, const std::uint8_t* p, std::size_t n, off_t off) {
    const Step step = next_step();
    if (step == Step::Fail) {
        errno = EIO;
        return false;
    }
    if (step == Step::Stop) n /= 2;  // the process dies in the middle of the write
    std::size_t done = 0;
    while (done < n) {
        ssize_t w = ::pwrite(fd, p + done, n - done, off + static_cast<off_t>(done));
        if (w < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(w);
    }
    if (step == Step::Stop) throw faults::Stopped{};
    return true;
}

bool sync_fd(int fd) {
    const Step step = next_step();
    if (step == Step::Fail) {
        errno = EIO;
        return false;
    }
    if (step == Step::Stop) throw faults::Stopped{};
    while (::fsync(fd) != 0) {
        if (errno != EINTR) return false;
    }
    return true;
}

// Removes a file; a file already gone counts as removed.
bool remove_file(const std::string& path) {
    const Step step = next_step();
    if (step == Step::Fail) {
        errno = EIO;
        return false;
    }
    if (step == Step::Stop) throw faults::Stopped{};
    return ::unlink(path.c_str()) == 0 || errno == ENOENT;
}

// Makes the entries of a file's folder durable (a journal just made or removed).
bool sync_folder_of(const std::string& path) {
    auto slash = path.find_last_of('/');
    std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    UniqueFd owned(fd);
    return sync_fd(fd);
}

}  // namespace

namespace faults {

void set_plan(Plan* plan) { g_plan = plan; }

}  // namespace faults

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

void PageFile::take_lock(bool exclusive) {
    struct flock fl {};
    fl.l_type = exclusive ? F_WRLCK : F_RDLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = 0;
    fl.l_len = 0;  // the whole file, however far it grows
    while (::fcntl(fd_.get(), F_OFD_SETLKW, &fl) != 0) {
        if (errno == EINTR) continue;
        io_error("cannot lock", path_, errno);
    }
}

void PageFile::lock(bool exclusive) {
    if (depth_ > 0) {
        if (exclusive && !exclusive_) throw Error(ErrorKind::Io, "internal error: write lock asked for inside a read lock");
        ++depth_;
        return;
    }
    if (exclusive && !writable_) throw Error(ErrorKind::ReadOnly, "the database is open for reading only: " + path_);
    take_lock(exclusive);
    depth_ = 1;
    exclusive_ = exclusive;
    // Another process may have written since our last look.
    cache_.clear();
    try {
        recover_if_needed(exclusive);
        refresh_size();
    } catch (...) {
        unlock();
        throw;
    }
}

void PageFile::recover_if_needed(bool exclusive) {
    struct stat st {};
    if (::stat(journal_path().c_str(), &st) != 0) return;
    // A writer died in the middle of a group. Putting its pages back needs the
    // write lock, and a descriptor that may write.
    if (!exclusive) {
        struct flock fl {};
        fl.l_type = F_UNLCK;
        fl.l_whence = SEEK_SET;
        ::fcntl(fd_.get(), F_OFD_SETLK, &fl);
        depth_ = 0;
        if (!writable_) {
            try {
                enable_writes();
            } catch (const Error& e) {
                throw Error(ErrorKind::Io, "a change to " + path_ + " was interrupted and cannot be undone here: " + e.what());
            }
        }
        take_lock(true);
        depth_ = 1;
        if (::stat(journal_path().c_str(), &st) == 0) roll_back_journal();
        // Back to the shared lock this reader asked for.
        take_lock(false);
        return;
    }
    roll_back_journal();
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
    failed_ = false;
}

void PageFile::check_group(const char* what) const {
    if (!locked_exclusive()) throw Error(ErrorKind::Io, std::string("internal error: ") + what + " without the write lock");
    if (failed_) throw Error(ErrorKind::Io, "the change to " + path_ + " failed and was undone; it must be made again in a new group");
}

void PageFile::write(std::uint32_t n, const PageData& data, PageRole role) {
    check_group("page written");
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
    check_group("page written");
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
    check_group("page added");
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
        if (!write_all(fd_.get(), p.data->data(), kPageSize, static_cast<off_t>(n) * static_cast<off_t>(kPageSize))) {
            io_error("cannot write", path_, errno);
        }
    }
}

void PageFile::sync() {
    if (!sync_fd(fd_.get())) io_error("cannot flush to disk", path_, errno);
}

void PageFile::commit() {
    if (failed_) check_group("commit");
    if (pending_.empty()) return;
    check_group("commit");
    try {
        write_journal();
        write_pages(PageRole::Content);
        sync();
        write_pages(PageRole::Map);
        sync();
        if (!remove_file(journal_path())) io_error("cannot remove the journal of", path_, errno);
    } catch (const faults::Stopped&) {
        throw;  // a process that died here cleans nothing up
    } catch (...) {
        rollback();
        failed_ = true;
        cache_.clear();
        // Whatever reached the file goes back to how it was.
        try {
            struct stat st {};
            if (::stat(journal_path().c_str(), &st) == 0) roll_back_journal();
        } catch (...) {
        }
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

namespace {

constexpr char kJournalMagic[8] = {'Z', 'R', 'J', 'O', 'U', 'R', 'N', '1'};
constexpr std::size_t kJournalHeader = 32;  // magic, pages in the file before, entries, checksum, spare

std::uint64_t fnv1a(std::uint64_t h, const std::uint8_t* p, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 0x100000001B3ull;
    return h;
}

void put_le(std::uint8_t* p, std::uint64_t v, int n) {
    for (int i = 0; i < n; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint64_t get_le(const std::uint8_t* p, int n) {
    std::uint64_t v = 0;
    for (int i = n - 1; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}

}  // namespace

// The journal: a header, then for each page the group overwrites its number
// and its bytes before the group. It is synced before the file is touched; its
// checksum makes a journal cut short look incomplete, and an incomplete
// journal means the file was not touched yet.
void PageFile::write_journal() {
    const std::uint32_t before = static_cast<std::uint32_t>(size_ / kPageSize);
    std::vector<std::uint8_t> buf(kJournalHeader);
    std::uint32_t entries = 0;
    for (const auto& [n, p] : pending_) {
        if (n >= before) continue;  // new pages: undone by cutting the file back
        std::size_t at = buf.size();
        buf.resize(at + 4 + kPageSize);
        put_le(buf.data() + at, n, 4);
        std::size_t got = 0;
        if (!pread_all(fd_.get(), buf.data() + at + 4, kPageSize, static_cast<off_t>(n) * static_cast<off_t>(kPageSize), got) ||
            got != kPageSize) {
            io_error("cannot read the old contents of", path_, errno ? errno : EIO);
        }
        ++entries;
    }
    std::memcpy(buf.data(), kJournalMagic, 8);
    put_le(buf.data() + 8, before, 4);
    put_le(buf.data() + 12, entries, 4);
    put_le(buf.data() + 16, fnv1a(0xCBF29CE484222325ull, buf.data() + kJournalHeader, buf.size() - kJournalHeader), 8);
    int fd = ::open(journal_path().c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) io_error("cannot write the journal of", path_, errno);
    UniqueFd owned(fd);
    // One write and one sync: the checksum tells a journal cut short from a
    // whole one. Its entry in the folder goes to disk too before the file is
    // touched, or a power cut could leave half-written pages and no journal.
    if (!write_all(fd, buf.data(), buf.size(), 0) || !sync_fd(fd) || !sync_folder_of(journal_path())) {
        int err = errno;
        ::unlink(journal_path().c_str());
        io_error("cannot write the journal of", path_, err);
    }
}

void PageFile::roll_back_journal() {
    int fd = ::open(journal_path().c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) return;
        io_error("cannot read the journal of", path_, errno);
    }
    UniqueFd owned(fd);
    struct stat st {};
    if (::fstat(fd, &st) != 0) io_error("cannot examine the journal of", path_, errno);
    std::vector<std::uint8_t> buf(static_cast<std::size_t>(st.st_size));
    std::size_t got = 0;
    if (!pread_all(fd, buf.data(), buf.size(), 0, got) || got != buf.size()) io_error("cannot read the journal of", path_, EIO);
    bool complete = buf.size() >= kJournalHeader && std::memcmp(buf.data(), kJournalMagic, 8) == 0;
    std::uint64_t before = 0, entries = 0;
    if (complete) {
        before = get_le(buf.data() + 8, 4);
        entries = get_le(buf.data() + 12, 4);
        complete = buf.size() == kJournalHeader + entries * (4 + kPageSize) &&
                   get_le(buf.data() + 16, 8) == fnv1a(0xCBF29CE484222325ull, buf.data() + kJournalHeader, buf.size() - kJournalHeader);
    }
    // An incomplete journal means the file itself was never touched.
    if (complete) {
        for (std::uint64_t i = 0; i < entries; ++i) {
            const std::uint8_t* e = buf.data() + kJournalHeader + i * (4 + kPageSize);
            std::uint64_t n = get_le(e, 4);
            if (!write_all(fd_.get(), e + 4, kPageSize, static_cast<off_t>(n * kPageSize))) io_error("cannot undo an interrupted change to", path_, errno);
        }
        if (::ftruncate(fd_.get(), static_cast<off_t>(before * kPageSize)) != 0) io_error("cannot undo an interrupted change to", path_, errno);
        sync();
    }
    if (!remove_file(journal_path())) io_error("cannot remove the journal of", path_, errno);
    (void)sync_folder_of(journal_path());  // if lost, the journal comes back and puts the same pages back again
    cache_.clear();
}

void PageFile::rollback() {
    pending_.clear();
    added_ = 0;
}

}  // namespace jet
