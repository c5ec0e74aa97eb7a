// The platform on Windows: files by their wide-character names, reads and
// writes at offsets, byte-range locks of LockFileEx. The engine's paths are
// UTF-8; they become UTF-16 only here, at the system's door. Descriptors are
// slots of a table of handles, so that the engine keeps its plain ints.
//
// Windows locks are mandatory: an exclusive range refuses every other
// handle's reads and writes of its bytes. The engine's data lock (bytes 0 to
// 2^62, kDataBytes) would keep Access from reading the file, so here it is
// taken on one byte past anything a Jet file holds (kDataLockByte below; see
// docs/robustness.md). The waiting and turns bytes past 2^62 lie beyond any
// file already and are locked where the engine asks.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "jet/platform.h"
#include "storage/disk.h"

namespace jet {

namespace {

// The one byte that stands for the data lock: the last before the waiting
// byte. Jet 4 files end before 2 GB and Jet's own lock bytes lie below 4 GB,
// so nothing reads or locks here but the programs of this engine. A program
// on Linux locking bytes 0 to 2^62 covers it too, where a share passes the
// locks of both on (a Samba server with POSIX locking).
constexpr LockRange kDataLockByte{(std::uint64_t{1} << 62) - 1, 1};

// Windows 10's classes of SetFileInformationByHandle that remove and
// rename with POSIX semantics (MinGW's headers name them only for Windows 10).
constexpr auto kFileDispositionInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);
constexpr auto kFileRenameInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(22);

LockRange placed(LockRange range) {
    return range.start == kDataBytes.start && range.length == kDataBytes.length ? kDataLockByte : range;
}

// The POSIX code of a Windows failure, as the engine reads errno.
int errno_of(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
        case ERROR_BAD_NET_NAME:
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME:
        case ERROR_DELETE_PENDING:
            return ENOENT;
        case ERROR_ACCESS_DENIED:
        case ERROR_PRIVILEGE_NOT_HELD:
            return EACCES;
        case ERROR_WRITE_PROTECT:
            return EROFS;
        case ERROR_SHARING_VIOLATION:
            return EBUSY;
        case ERROR_LOCK_VIOLATION:
        case ERROR_IO_PENDING:
            return EAGAIN;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            return EEXIST;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return ENOSPC;
        case ERROR_NOT_SAME_DEVICE:
            return EXDEV;
        case ERROR_DIRECTORY:
            return ENOTDIR;
        case ERROR_CANT_ACCESS_FILE:
        case ERROR_CANT_RESOLVE_FILENAME:
            return ELOOP;
        case ERROR_NOT_SUPPORTED:
        case ERROR_INVALID_FUNCTION:
            return ENOTSUP;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY:
            return ENOMEM;
        case ERROR_INVALID_HANDLE:
            return EBADF;
        case ERROR_INVALID_PARAMETER:
        case ERROR_NO_UNICODE_TRANSLATION:
            return EINVAL;
        case ERROR_FILENAME_EXCED_RANGE:
            return ENAMETOOLONG;
        default:
            return EIO;  // a dropped network share among others (ERROR_NETNAME_DELETED, ERROR_UNEXP_NET_ERR)
    }
}

bool failed() {
    errno = errno_of(::GetLastError());
    return false;
}

std::wstring wide(const std::string& utf8) {
    if (utf8.empty()) return {};
    const int n = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    if (n <= 0) return {};
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

std::string narrow(const wchar_t* text, std::size_t length) {
    if (length == 0) return {};
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    if (n <= 0) return {};
    std::string out(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), out.data(), n, nullptr, nullptr);
    return out;
}

// A path the system can take, or false with errno set (a name that is not
// UTF-8 has no UTF-16 form).
bool system_name(const std::string& path, std::wstring& out) {
    out = wide(path);
    if (out.empty()) {
        errno = path.empty() ? ENOENT : EINVAL;
        return false;
    }
    return true;
}

// A handle closed when it goes.
class Handle {
public:
    explicit Handle(HANDLE h) : h_(h) {}
    ~Handle() {
        if (valid()) ::CloseHandle(h_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    bool valid() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
    HANDLE get() const { return h_; }
    HANDLE release() {
        HANDLE h = h_;
        h_ = INVALID_HANDLE_VALUE;
        return h;
    }

private:
    HANDLE h_;
};

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Whether a reparse point is a link to elsewhere (a symbolic link or a
// junction) rather than a file kept by a filter (a cloud placeholder, a
// deduplicated file), which is read as the file it is.
bool is_link(HANDLE h, DWORD attributes) {
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return false;
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (!::GetFileInformationByHandleEx(h, FileAttributeTagInfo, &tag, sizeof tag)) return true;
    return tag.ReparseTag == IO_REPARSE_TAG_SYMLINK || tag.ReparseTag == IO_REPARSE_TAG_MOUNT_POINT;
}

bool fill(HANDLE h, FileFacts& out) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(h, &info)) {
        // A device or a pipe has no such facts: it is no file of ours.
        if (::GetFileType(h) != FILE_TYPE_DISK) {
            out = FileFacts{};
            out.kind = FileFacts::Kind::Other;
            return true;
        }
        return failed();
    }
    if (::GetFileType(h) != FILE_TYPE_DISK) {
        out.kind = FileFacts::Kind::Other;
    } else if (is_link(h, info.dwFileAttributes)) {
        out.kind = FileFacts::Kind::Link;
    } else if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        out.kind = FileFacts::Kind::Folder;
    } else {
        out.kind = FileFacts::Kind::Regular;
    }
    out.device = info.dwVolumeSerialNumber;
    out.inode = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    out.links = info.nNumberOfLinks;
    out.size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    // Windows keeps no mode bits: a file is writable unless marked read-only.
    // A folder's read-only mark means nothing to its files (Explorer sets it
    // on folders it shows with their own icon), so a folder is writable here
    // and may_write_in tells the truth.
    if (out.kind == FileFacts::Kind::Folder) {
        out.permissions = 0777;
    } else {
        out.permissions = (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) ? 0444 : 0666;
    }
    out.owner = 0;
    out.group = 0;
    const std::uint64_t ticks = (std::uint64_t{info.ftLastWriteTime.dwHighDateTime} << 32) | info.ftLastWriteTime.dwLowDateTime;
    out.modified_ns = static_cast<std::int64_t>(ticks) * 100;  // since 1601, which no comparison minds
    return true;
}

// The handles behind the engine's descriptors, and the locks each holds.
class HandleTable {
public:
    int add(HANDLE h) {
        const std::lock_guard<std::mutex> guard(m_);
        for (std::size_t i = 0; i < slots_.size(); ++i) {
            if (slots_[i].handle == INVALID_HANDLE_VALUE) {
                slots_[i] = Slot{h, {}};
                return static_cast<int>(i) + kFirst;
            }
        }
        slots_.push_back(Slot{h, {}});
        return static_cast<int>(slots_.size() - 1) + kFirst;
    }

    HANDLE get(int fd) {
        const std::lock_guard<std::mutex> guard(m_);
        Slot* s = slot(fd);
        if (s == nullptr) {
            errno = EBADF;
            return INVALID_HANDLE_VALUE;
        }
        return s->handle;
    }

    HANDLE take(int fd) {
        const std::lock_guard<std::mutex> guard(m_);
        Slot* s = slot(fd);
        if (s == nullptr) return INVALID_HANDLE_VALUE;
        const HANDLE h = s->handle;
        *s = Slot{};
        return h;
    }

    void note_lock(int fd, LockRange range, bool held) {
        const std::lock_guard<std::mutex> guard(m_);
        Slot* s = slot(fd);
        if (s == nullptr) return;
        if (held) {
            s->locks.push_back(range);
            return;
        }
        for (auto it = s->locks.begin(); it != s->locks.end(); ++it) {
            if (it->start == range.start && it->length == range.length) {
                s->locks.erase(it);
                return;
            }
        }
    }

    bool holds_within(int fd, LockRange range) {
        const std::lock_guard<std::mutex> guard(m_);
        Slot* s = slot(fd);
        if (s == nullptr) return false;
        for (const LockRange& l : s->locks) {
            if (l.start < range.start + range.length && range.start < l.start + l.length) return true;
        }
        return false;
    }

private:
    // Descriptors start past the numbers of the standard streams, so that
    // none is taken for one of them.
    static constexpr int kFirst = 3;
    struct Slot {
        HANDLE handle = INVALID_HANDLE_VALUE;
        std::vector<LockRange> locks;
    };
    Slot* slot(int fd) {
        if (fd < kFirst || static_cast<std::size_t>(fd - kFirst) >= slots_.size()) return nullptr;
        Slot& s = slots_[static_cast<std::size_t>(fd - kFirst)];
        return s.handle == INVALID_HANDLE_VALUE ? nullptr : &s;
    }
    std::mutex m_;
    std::vector<Slot> slots_;
};

OVERLAPPED at(std::uint64_t off) {
    OVERLAPPED o{};
    o.Offset = static_cast<DWORD>(off & 0xFFFFFFFFu);
    o.OffsetHigh = static_cast<DWORD>(off >> 32);
    return o;
}

// Reads and writes go in pieces a DWORD can count.
constexpr std::size_t kMostAtOnce = std::size_t{1} << 30;

class WindowsPlatform final : public Platform {
public:
    int open(const std::string& path, Access access) override {
        std::wstring name;
        if (!system_name(path, name)) return -1;
        const DWORD how = access == Access::Read ? GENERIC_READ : access == Access::Write ? GENERIC_WRITE : GENERIC_READ | GENERIC_WRITE;
        // The link itself, never what it names; others may read, write and
        // rename the file meanwhile, as on POSIX.
        Handle h(::CreateFileW(name.c_str(), how, kShareAll, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                               nullptr));
        if (!h.valid()) {
            const DWORD error = ::GetLastError();
            const DWORD attributes = ::GetFileAttributesW(name.c_str());
            if (error == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
                errno = EISDIR;
            } else {
                errno = errno_of(error);
            }
            return -1;
        }
        BY_HANDLE_FILE_INFORMATION info{};
        if (::GetFileInformationByHandle(h.get(), &info) && is_link(h.get(), info.dwFileAttributes)) {
            errno = ELOOP;
            return -1;
        }
        return handles_.add(h.release());
    }

    void close(int fd) override {
        const HANDLE h = handles_.take(fd);
        if (h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
    }

    bool facts(int fd, FileFacts& out) override {
        const HANDLE h = handles_.get(fd);
        return h != INVALID_HANDLE_VALUE && fill(h, out);
    }

    bool facts_of(const std::string& path, bool follow_links, FileFacts& out) override {
        std::wstring name;
        if (!system_name(path, name)) return false;
        const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (follow_links ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
        Handle h(::CreateFileW(name.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING, flags, nullptr));
        if (!h.valid()) return failed();
        return fill(h.get(), out);
    }

    bool real_path(const std::string& path, std::string& out) override {
        std::wstring name;
        if (!system_name(path, name)) return false;
        Handle h(::CreateFileW(name.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (!h.valid()) return failed();
        std::wstring buf(512, L'\0');
        for (DWORD flags : {DWORD{FILE_NAME_NORMALIZED}, DWORD{FILE_NAME_OPENED}}) {
            // Some network redirectors give no normalised name; the name as opened serves then.
            DWORD n = ::GetFinalPathNameByHandleW(h.get(), buf.data(), static_cast<DWORD>(buf.size()), flags | VOLUME_NAME_DOS);
            if (n >= buf.size()) {
                buf.assign(n + 1, L'\0');
                n = ::GetFinalPathNameByHandleW(h.get(), buf.data(), static_cast<DWORD>(buf.size()), flags | VOLUME_NAME_DOS);
            }
            if (n == 0 || n >= buf.size()) continue;
            std::wstring got(buf.data(), n);
            // "\\?\C:\..." is "C:\..."; "\\?\UNC\server\share\..." is "\\server\share\...".
            if (got.rfind(L"\\\\?\\UNC\\", 0) == 0) {
                got = L"\\\\" + got.substr(8);
            } else if (got.rfind(L"\\\\?\\", 0) == 0) {
                got = got.substr(4);
            }
            out = narrow(got.data(), got.size());
            return true;
        }
        return failed();
    }

    bool may_write_in(const std::string& folder) override {
        // No mode bits to read: a file made and removed again tells.
        static std::atomic<unsigned> counter{0};
        const std::string probe = folder + "\\~jet-probe-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(counter++) + ".tmp";
        std::wstring name;
        if (!system_name(probe, name)) return false;
        Handle h(::CreateFileW(name.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
        return h.valid();
    }

    // Files take the rights of the folder they are made in; there is no
    // owner to give.
    void take_owner_of(int, const FileFacts&) override {}

    bool read(int fd, std::uint8_t* buf, std::size_t len, std::uint64_t off, std::size_t& got) override {
        got = 0;
        const HANDLE h = handles_.get(fd);
        if (h == INVALID_HANDLE_VALUE) return false;
        while (got < len) {
            OVERLAPPED o = at(off + got);
            DWORD n = 0;
            const DWORD ask = static_cast<DWORD>(std::min(len - got, kMostAtOnce));
            if (!::ReadFile(h, buf + got, ask, &n, &o)) {
                if (::GetLastError() == ERROR_HANDLE_EOF) break;
                return failed();
            }
            if (n == 0) break;
            got += n;
        }
        return true;
    }

    bool write(int fd, const std::string&, const std::uint8_t* p, std::size_t n, std::uint64_t off) override {
        const HANDLE h = handles_.get(fd);
        if (h == INVALID_HANDLE_VALUE) return false;
        std::size_t done = 0;
        while (done < n) {
            OVERLAPPED o = at(off + done);
            DWORD w = 0;
            const DWORD ask = static_cast<DWORD>(std::min(n - done, kMostAtOnce));
            if (!::WriteFile(h, p + done, ask, &w, &o)) return failed();
            if (w == 0) {
                errno = EIO;  // nothing taken and no reason given
                return false;
            }
            done += w;
        }
        return true;
    }

    bool sync(int fd, const std::string&) override {
        const HANDLE h = handles_.get(fd);
        if (h == INVALID_HANDLE_VALUE) return false;
        return ::FlushFileBuffers(h) ? true : failed();
    }

    bool truncate(int fd, const std::string&, std::uint64_t size) override {
        const HANDLE h = handles_.get(fd);
        if (h == INVALID_HANDLE_VALUE) return false;
        FILE_END_OF_FILE_INFO end{};
        end.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
        return ::SetFileInformationByHandle(h, FileEndOfFileInfo, &end, sizeof end) ? true : failed();
    }

    // A folder's entries cannot be flushed on their own: NTFS logs them
    // itself, and renames are asked to be written through (rename below).
    bool sync_folder_of(const std::string&) override { return true; }

    int create_new(const std::string& path, std::uint32_t) override {
        std::wstring name;
        if (!system_name(path, name)) return -1;
        // CREATE_NEW fails on any name that exists, a link included.
        Handle h(::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (!h.valid()) {
            failed();
            return -1;
        }
        return handles_.add(h.release());
    }

    bool remove(const std::string& path) override {
        std::wstring name;
        if (!system_name(path, name)) return false;
        if (remove_at_once(name)) return true;
        if (::DeleteFileW(name.c_str())) return true;
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND) return true;
        errno = errno_of(error);
        return false;
    }

    void discard(const std::string& path) override { (void)remove(path); }

    bool add_name(const std::string& existing, const std::string& name) override {
        std::wstring from, to;
        if (!system_name(existing, from) || !system_name(name, to)) return false;
        return ::CreateHardLinkW(to.c_str(), from.c_str(), nullptr) ? true : failed();
    }

    bool rename(const std::string& from, const std::string& to) override {
        std::wstring source, target;
        if (!system_name(from, source) || !system_name(to, target)) return false;
        if (rename_at_once(source, target)) return true;
        return ::MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) ? true : failed();
    }

    LockOutcome try_lock(int fd, LockKind kind, LockRange range) override {
        const HANDLE h = handles_.get(fd);
        if (h == INVALID_HANDLE_VALUE) return LockOutcome::Failed;
        range = placed(range);
        if (lock(h, kind, range)) {
            handles_.note_lock(fd, range, true);
            return LockOutcome::Taken;
        }
        const DWORD error = ::GetLastError();
        if (error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING) return LockOutcome::HeldElsewhere;
        errno = errno_of(error);
        return LockOutcome::Failed;
    }

    void unlock(int fd, LockRange range) override {
        const HANDLE h = handles_.get(fd);
        if (h == INVALID_HANDLE_VALUE) return;
        range = placed(range);
        OVERLAPPED o = at(range.start);
        if (::UnlockFileEx(h, 0, low(range.length), high(range.length), &o)) handles_.note_lock(fd, range, false);
    }

    bool held_elsewhere(int fd, LockKind kind, LockRange range, bool& held) override {
        // Windows says only whether a lock can be had: it is taken and given
        // back at once. Where this handle holds a lock of its own on the
        // range, the answer would be about that one, so none is given.
        const HANDLE h = handles_.get(fd);
        if (h == INVALID_HANDLE_VALUE) return false;
        range = placed(range);
        if (handles_.holds_within(fd, range)) return false;
        if (lock(h, kind, range)) {
            OVERLAPPED o = at(range.start);
            ::UnlockFileEx(h, 0, low(range.length), high(range.length), &o);
            held = false;
            return true;
        }
        const DWORD error = ::GetLastError();
        if (error != ERROR_LOCK_VIOLATION && error != ERROR_IO_PENDING) return failed();
        held = true;
        return true;
    }

    bool list_folder(const std::string& folder, const std::function<bool(std::string_view)>& each) override {
        std::wstring pattern;
        if (!system_name(folder + "\\*", pattern)) return false;
        WIN32_FIND_DATAW found{};
        const HANDLE search = ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
        if (search == INVALID_HANDLE_VALUE) return ::GetLastError() == ERROR_FILE_NOT_FOUND ? true : failed();
        struct Close {
            HANDLE h;
            ~Close() { ::FindClose(h); }
        } closing{search};
        do {
            const std::wstring_view name(found.cFileName);
            if (name == L"." || name == L"..") continue;
            if (!each(narrow(name.data(), name.size()))) return true;
        } while (::FindNextFileW(search, &found));
        return ::GetLastError() == ERROR_NO_MORE_FILES ? true : failed();
    }

private:
    static DWORD low(std::uint64_t v) { return static_cast<DWORD>(v & 0xFFFFFFFFu); }
    static DWORD high(std::uint64_t v) { return static_cast<DWORD>(v >> 32); }

    static bool lock(HANDLE h, LockKind kind, LockRange range) {
        OVERLAPPED o = at(range.start);
        const DWORD flags = LOCKFILE_FAIL_IMMEDIATELY | (kind == LockKind::Exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
        return ::LockFileEx(h, flags, 0, low(range.length), high(range.length), &o) != 0;
    }

    // Takes the name away at once even while another program holds the file
    // open (as POSIX unlink does), where the system knows how; otherwise the
    // name would stay until the last handle closes, and a new file could
    // not take it meanwhile.
    static bool remove_at_once(const std::wstring& name) {
        Handle h(::CreateFileW(name.c_str(), DELETE, kShareAll, nullptr, OPEN_EXISTING,
                               FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (!h.valid()) return false;
        BY_HANDLE_FILE_INFORMATION info{};
        if (!::GetFileInformationByHandle(h.get(), &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
        FILE_DISPOSITION_INFO_EX how{};
        how.Flags = FILE_DISPOSITION_FLAG_DELETE | FILE_DISPOSITION_FLAG_POSIX_SEMANTICS;
        return ::SetFileInformationByHandle(h.get(), kFileDispositionInfoEx, &how, sizeof how) != 0;
    }

    // Puts the file at source in the place of target even while another
    // program (or this one) holds target open, as POSIX rename does, where
    // the system knows how (Windows 10 1607 on, NTFS); the file is flushed
    // after, so that the new name is on disk. False where it cannot, and
    // MoveFileExW, which refuses to replace an open file, is tried.
    static bool rename_at_once(const std::wstring& source, const std::wstring& target) {
        std::wstring full(MAX_PATH, L'\0');
        DWORD n = ::GetFullPathNameW(target.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (n >= full.size()) {
            full.assign(n, L'\0');
            n = ::GetFullPathNameW(target.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        }
        if (n == 0 || n >= full.size()) return false;
        full.resize(n);
        Handle h(::CreateFileW(source.c_str(), DELETE | GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT,
                               nullptr));
        if (!h.valid()) return false;
        // FILE_RENAME_INFO with its flags, as Windows 10 lays it out.
        struct Head {
            DWORD flags;
            HANDLE root;
            DWORD length;
        };
        const std::size_t name_at = offsetof(FILE_RENAME_INFO, FileName);
        static_assert(offsetof(Head, root) == offsetof(FILE_RENAME_INFO, RootDirectory) &&
                      offsetof(Head, length) == offsetof(FILE_RENAME_INFO, FileNameLength));
        std::vector<std::uint64_t> buffer((name_at + (full.size() + 1) * sizeof(wchar_t) + 7) / 8, 0);
        auto* bytes = reinterpret_cast<std::uint8_t*>(buffer.data());
        const Head head{FILE_RENAME_FLAG_REPLACE_IF_EXISTS | FILE_RENAME_FLAG_POSIX_SEMANTICS, nullptr,
                        static_cast<DWORD>(full.size() * sizeof(wchar_t))};
        std::memcpy(bytes, &head, sizeof head);
        std::memcpy(bytes + name_at, full.data(), full.size() * sizeof(wchar_t));
        if (!::SetFileInformationByHandle(h.get(), kFileRenameInfoEx, bytes, static_cast<DWORD>(buffer.size() * 8))) return false;
        ::FlushFileBuffers(h.get());
        return true;
    }

    HandleTable handles_;
};

}  // namespace

Platform& system_platform() {
    // Never destroyed: a descriptor closed while the process exits still
    // finds its platform.
    static WindowsPlatform& windows = *new WindowsPlatform;
    return windows;
}

}  // namespace jet
