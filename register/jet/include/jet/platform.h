// The operating system as the engine uses it: files opened, examined, read,
// written, synced, cut short, locked, made and removed. A database is opened
// with a platform (Database's last argument, the default platform when none
// is named) and makes every call to the system through it, so this is the
// one place another system plugs in, and the place where tests wrap the
// system's own (posix_platform.cpp) to cut the steps of a commit.
//
// Descriptors are plain ints and failures leave errno set, with the codes of
// <cerrno> the engine turns into its errors (ENOENT, EACCES, ELOOP, ...).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "files.h"

namespace jet {

// What the engine asks about a file.
struct FileFacts {
    enum class Kind { Regular, Folder, Link, Other };  // Other: a FIFO, socket or device
    Kind kind = Kind::Other;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t links = 0;
    std::uint64_t size = 0;
    std::uint32_t permissions = 0;  // the read, write and run bits of owner, group and others
    std::uint32_t owner = 0;
    std::uint32_t group = 0;
    std::int64_t modified_ns = 0;   // when its contents last changed

    bool regular() const { return kind == Kind::Regular; }
    // No one's write bit is set: the file is kept unwritten even from a user
    // the system would let through.
    bool marked_read_only() const { return (permissions & 0222) == 0; }
    disk::FileId id() const { return {device, inode}; }
};

enum class Access { Read, Write, ReadWrite };
enum class LockKind { Shared, Exclusive };
enum class LockOutcome { Taken, HeldElsewhere, Failed };

// A range of bytes to lock; it may reach past the end of the file.
struct LockRange {
    std::uint64_t start = 0;
    std::uint64_t length = 0;
};

// The data lock of a database covers bytes 0 to 2^62: every page a file can
// have and every byte another program may lock in it. A lock on the whole
// file, as older versions of these programs take, meets it as before.
constexpr LockRange kDataBytes{0, std::uint64_t{1} << 62};

// Raised by a platform standing for a process that dies at the step it was
// asked to take (a test's fault platform). The engine lets it pass and
// cleans nothing up, as a dead process could not.
struct ProcessStopped {};

class Platform {
public:
    virtual ~Platform() = default;

    // An existing file, never through a symbolic link and never waiting on
    // it (a FIFO would block an open for reading): its descriptor, or -1.
    virtual int open(const std::string& path, Access access) = 0;
    virtual void close(int fd) = 0;
    virtual bool facts(int fd, FileFacts& out) = 0;
    // Of the path itself, a link not followed; or of what it names.
    virtual bool facts_of(const std::string& path, bool follow_links, FileFacts& out) = 0;
    // The path with every link followed.
    virtual bool real_path(const std::string& path, std::string& out) = 0;
    // Whether this process may make and remove files in the folder.
    virtual bool may_write_in(const std::string& folder) = 0;
    // Gives a file the permissions and, where the system allows, the owner of another.
    virtual void take_owner_of(int fd, const FileFacts& of) = 0;

    // Up to len bytes at off; got tells how many (fewer at the end of the file).
    virtual bool read(int fd, std::uint8_t* buf, std::size_t len, std::uint64_t off, std::size_t& got) = 0;

    // The steps of a commit, which the fault seam counts. path names the
    // file of fd, for the seam's bookkeeping.
    virtual bool write(int fd, const std::string& path, const std::uint8_t* p, std::size_t n, std::uint64_t off) = 0;
    // `count` pieces of `size` bytes each, written one after the other from
    // off as one write step: by default gathered into one buffer and given
    // to write(); a system that writes scattered pieces in one call does so.
    virtual bool write_pieces(int fd, const std::string& path, const std::uint8_t* const* pieces, std::size_t count,
                              std::size_t size, std::uint64_t off);
    virtual bool sync(int fd, const std::string& path) = 0;
    virtual bool truncate(int fd, const std::string& path, std::uint64_t size) = 0;
    // Makes the entries of the folder holding path durable (a file made or removed there).
    virtual bool sync_folder_of(const std::string& path) = 0;
    // A new file, never through a link and never over one that exists: its descriptor, or -1.
    virtual int create_new(const std::string& path, std::uint32_t permissions) = 0;
    // A file already gone counts as removed.
    virtual bool remove(const std::string& path) = 0;

    // Takes away a file this process made and could not finish (not a step).
    virtual void discard(const std::string& path) = 0;
    // A second name for an existing file, never over one that exists; and a
    // file put in the place of another in one step. Not steps of a commit.
    virtual bool add_name(const std::string& existing, const std::string& name) = 0;
    virtual bool rename(const std::string& from, const std::string& to) = 0;

    // Locks the range without waiting, for this descriptor: other
    // descriptors of this process contend with it as other processes do.
    virtual LockOutcome try_lock(int fd, LockKind kind, LockRange range) = 0;
    virtual void unlock(int fd, LockRange range) = 0;
    // Whether a lock that another descriptor holds on the range would keep a
    // lock of this kind from being taken now (held). False when the system
    // cannot tell.
    virtual bool held_elsewhere(int fd, LockKind kind, LockRange range, bool& held) = 0;

    // Hands each the name of every entry of a folder but "." and "..", in no
    // set order, until it returns false; false when the folder cannot be read.
    virtual bool list_folder(const std::string& folder, const std::function<bool(std::string_view name)>& each) = 0;

    // Called each time a lock is found held by another program and the
    // engine is about to wait for it (tests let the holder go at that point).
    virtual void waiting_for_lock() {}

    // Made of the calls above.
    // Exactly len bytes at off; false on an error or a short read.
    bool read_exact(int fd, std::uint8_t* buf, std::size_t len, std::uint64_t off);
    // A new file at path with the mode (past the umask) and, where the system
    // allows, the owner and group of the file at like; its descriptor, or -1.
    int create_new_like(const std::string& path, const std::string& like);
    // What lies at a path itself, a link not followed.
    disk::Entry entry_at(const std::string& path);
    // Which file a path names (links followed).
    std::optional<disk::FileId> identify(const std::string& path);
};

// The system's own.
Platform& system_platform();
// The platform a database is opened with when none is named: the system's
// own unless set_default_platform named another (nullptr puts the system's
// own back). The caller keeps the one it names alive while it is in force;
// a database keeps the platform it was opened with.
Platform& default_platform();
void set_default_platform(Platform* platform);

}  // namespace jet
