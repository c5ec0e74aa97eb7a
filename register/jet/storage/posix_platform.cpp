// The platform on a POSIX system (Linux): open-file-description locks, so
// that two openings of one file in one process contend as two programs do.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include "storage/disk.h"
#include "jet/platform.h"

namespace jet {

namespace {

void fill(const struct stat& st, FileFacts& out) {
    if (S_ISREG(st.st_mode)) {
        out.kind = FileFacts::Kind::Regular;
    } else if (S_ISDIR(st.st_mode)) {
        out.kind = FileFacts::Kind::Folder;
    } else if (S_ISLNK(st.st_mode)) {
        out.kind = FileFacts::Kind::Link;
    } else {
        out.kind = FileFacts::Kind::Other;
    }
    out.device = static_cast<std::uint64_t>(st.st_dev);
    out.inode = static_cast<std::uint64_t>(st.st_ino);
    out.links = static_cast<std::uint64_t>(st.st_nlink);
    out.size = static_cast<std::uint64_t>(st.st_size);
    out.permissions = static_cast<std::uint32_t>(st.st_mode & 0777);
    out.owner = st.st_uid;
    out.group = st.st_gid;
    out.modified_ns = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
}

class PosixPlatform final : public Platform {
public:
    int open(const std::string& path, Access access) override {
        const int how = access == Access::Read ? O_RDONLY : access == Access::Write ? O_WRONLY : O_RDWR;
        const int fd = ::open(path.c_str(), how | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
        // A regular file ignores O_NONBLOCK; it is cleared all the same.
        if (fd >= 0) (void)::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        return fd;
    }

    void close(int fd) override { ::close(fd); }

    bool facts(int fd, FileFacts& out) override {
        struct stat st {};
        if (::fstat(fd, &st) != 0) return false;
        fill(st, out);
        return true;
    }

    bool facts_of(const std::string& path, bool follow_links, FileFacts& out) override {
        struct stat st {};
        if ((follow_links ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st)) != 0) return false;
        fill(st, out);
        return true;
    }

    bool real_path(const std::string& path, std::string& out) override {
        char* real = ::realpath(path.c_str(), nullptr);
        if (real == nullptr) return false;
        out = real;
        std::free(real);
        return true;
    }

    bool may_write_in(const std::string& folder) override { return ::access(folder.c_str(), W_OK) == 0; }

    void take_owner_of(int fd, const FileFacts& of) override {
        (void)::fchmod(fd, of.permissions & 0666);
        if (::fchown(fd, of.owner, of.group) != 0) (void)::fchown(fd, static_cast<uid_t>(-1), of.group);
    }

    bool read(int fd, std::uint8_t* buf, std::size_t len, std::uint64_t off, std::size_t& got) override {
        got = 0;
        while (got < len) {
            const ssize_t n = ::pread(fd, buf + got, len - got, static_cast<off_t>(off + got));
            if (n < 0) {
                if (errno == EINTR) continue;
                return false;
            }
            if (n == 0) break;
            got += static_cast<std::size_t>(n);
        }
        return true;
    }

    bool write(int fd, const std::string&, const std::uint8_t* p, std::size_t n, std::uint64_t off) override {
        std::size_t done = 0;
        while (done < n) {
            const ssize_t w = ::pwrite(fd, p + done, n - done, static_cast<off_t>(off + done));
            if (w < 0) {
                if (errno == EINTR) continue;
                return false;
            }
            if (w == 0) {
                // Nothing taken and no reason given: trying again would loop for ever.
                errno = EIO;
                return false;
            }
            done += static_cast<std::size_t>(w);
        }
        return true;
    }

    bool write_pieces(int fd, const std::string&, const std::uint8_t* const* pieces, std::size_t count, std::size_t size,
                      std::uint64_t off) override {
        std::size_t piece = 0, within = 0;  // the first byte not yet written
        while (piece < count) {
            iovec v[64];
            int n = 0;
            for (std::size_t i = piece; i < count && n < 64; ++i, ++n) {
                const std::size_t skip = i == piece ? within : 0;
                v[n].iov_base = const_cast<std::uint8_t*>(pieces[i] + skip);
                v[n].iov_len = size - skip;
            }
            const ssize_t w = ::pwritev(fd, v, n, static_cast<off_t>(off + piece * size + within));
            if (w < 0) {
                if (errno == EINTR) continue;
                return false;
            }
            if (w == 0) {
                errno = EIO;  // nothing taken and no reason given
                return false;
            }
            const std::size_t done = within + static_cast<std::size_t>(w);
            piece += done / size;
            within = done % size;
        }
        return true;
    }

    bool sync(int fd, const std::string&) override {
        while (::fsync(fd) != 0) {
            if (errno != EINTR) return false;
        }
        return true;
    }

    bool truncate(int fd, const std::string&, std::uint64_t size) override { return ::ftruncate(fd, static_cast<off_t>(size)) == 0; }

    bool sync_folder_of(const std::string& path) override {
        UniqueFd dir(::open(disk::folder_of(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (dir.get() < 0) return false;
        while (::fsync(dir.get()) != 0) {
            if (errno != EINTR) return false;
        }
        return true;
    }

    int create_new(const std::string& path, std::uint32_t permissions) override {
        return ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, static_cast<mode_t>(permissions));
    }

    bool remove(const std::string& path) override { return ::unlink(path.c_str()) == 0 || errno == ENOENT; }

    void discard(const std::string& path) override { (void)::unlink(path.c_str()); }

    bool add_name(const std::string& existing, const std::string& name) override {
        return ::link(existing.c_str(), name.c_str()) == 0;
    }

    bool rename(const std::string& from, const std::string& to) override { return ::rename(from.c_str(), to.c_str()) == 0; }

    LockOutcome try_lock(int fd, LockKind kind, LockRange range) override {
        struct flock fl = lock_of(kind == LockKind::Exclusive ? F_WRLCK : F_RDLCK, range);
        for (;;) {
            if (::fcntl(fd, F_OFD_SETLK, &fl) == 0) return LockOutcome::Taken;
            if (errno == EINTR) continue;
            return errno == EAGAIN || errno == EACCES ? LockOutcome::HeldElsewhere : LockOutcome::Failed;
        }
    }

    void unlock(int fd, LockRange range) override {
        struct flock fl = lock_of(F_UNLCK, range);
        (void)::fcntl(fd, F_OFD_SETLK, &fl);
    }

    bool list_folder(const std::string& folder, const std::function<bool(std::string_view)>& each) override {
        struct CloseFolder {
            void operator()(DIR* d) const { ::closedir(d); }
        };
        const std::unique_ptr<DIR, CloseFolder> dir(::opendir(folder.c_str()));
        if (!dir) return false;
        for (;;) {
            errno = 0;
            const struct dirent* entry = ::readdir(dir.get());
            if (entry == nullptr) return errno == 0;
            if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
            if (!each(entry->d_name)) return true;
        }
    }

    bool held_elsewhere(int fd, LockKind kind, LockRange range, bool& held) override {
        struct flock fl = lock_of(kind == LockKind::Exclusive ? F_WRLCK : F_RDLCK, range);
        for (;;) {
            if (::fcntl(fd, F_OFD_GETLK, &fl) == 0) break;
            if (errno != EINTR) return false;
        }
        held = fl.l_type != F_UNLCK;
        return true;
    }

private:
    static struct flock lock_of(int type, LockRange range) {
        struct flock fl {};
        fl.l_type = static_cast<short>(type);
        fl.l_whence = SEEK_SET;
        fl.l_start = static_cast<off_t>(range.start);
        fl.l_len = static_cast<off_t>(range.length);
        return fl;
    }
};

}  // namespace

Platform& system_platform() {
    // Never destroyed: a descriptor closed while the process exits still
    // finds its platform.
    static PosixPlatform& posix = *new PosixPlatform;
    return posix;
}

}  // namespace jet
