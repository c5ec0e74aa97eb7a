// Durable files for the engine and the layers above it: the steps that change
// the database, its journal and the files written beside it, made through
// the platform in force so that tests can cut them (faults::Plan). Each
// returns false with errno set when the system refuses.
#pragma once

#include <cstddef>
#include <cstdint>
#include <compare>
#include <functional>
#include <optional>
#include <string>

namespace jet {

// Test seam for cutting a write at any point. The I/O steps of commit and of
// undoing a group are counted: each page written, the journal made, written,
// marked complete and removed, each sync (of the file, the journal and their
// folder) and each cut of the file's length. A plan can make step `at` fail as
// the system would (errno EIO), stop there as if the process died (a write cut
// that way leaves its first half behind, a torn page), or cut the power there:
// everything written since its file was last synced is lost, and so is every
// file made or removed since its folder was last synced, as a disk may lose
// them. Stopped is then raised, which nothing in the engine catches, so no
// cleanup that a dead process could not do happens. Without a plan each step
// costs one test of a pointer.
namespace faults {

enum class Mode { Count, Fail, Stop, PowerCut };

struct Plan {
    Mode mode = Mode::Count;
    std::uint64_t at = 0;     // the step (from 1) to fail or stop at
    std::uint64_t steps = 0;  // steps taken so far
};

struct Stopped {};

// The plan in force (for the whole process), or none with nullptr; the caller
// keeps it alive. Setting a plan forgets what an earlier one kept for a power cut.
void set_plan(Plan* plan);

// Called each time a lock is found held by another program and the caller
// is about to wait for it: tests let the holder go at that very point. None
// (the default) with nullptr.
void set_lock_wait_hook(std::function<void()> hook);
void lock_waiting();

}  // namespace faults

}  // namespace jet

namespace jet {

// A file descriptor, closed when it goes.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(UniqueFd&& o) noexcept : fd_(o.release()) {}
    UniqueFd& operator=(UniqueFd&& o) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd();
    int get() const { return fd_; }
    int release() {
        int f = fd_;
        fd_ = -1;
        return f;
    }

private:
    int fd_ = -1;
};

}  // namespace jet

namespace jet::disk {

// Reads up to len bytes at off; got tells how many (fewer at the end of the file).
bool read_all(int fd, std::uint8_t* buf, std::size_t len, std::uint64_t off, std::size_t& got);
// Exactly len bytes at off; false on an error or a short read.
bool read_exact(int fd, std::uint8_t* buf, std::size_t len, std::uint64_t off);
bool write(int fd, const std::string& path, const std::uint8_t* p, std::size_t n, std::uint64_t off);
bool sync(int fd, const std::string& path);
bool truncate(int fd, const std::string& path, std::uint64_t size);
// Makes the entries of the folder holding path durable (a file made or removed there).
bool sync_folder_of(const std::string& path);
// A new file at path, never through a link and never one that exists; the
// descriptor, or -1.
int create_new(const std::string& path, std::uint32_t permissions);
// The same, made with the mode (past the umask) and, where the system
// allows, the owner and group of the file at like: whoever may change that
// file may read and remove what is written beside it.
int create_new_like(const std::string& path, const std::string& like);
// Removes the file; a file already gone counts as removed.
bool remove(const std::string& path);

// An existing regular file opened for reading, never through a symbolic link
// and never waiting on it: its descriptor, or -1 (errno ENOENT when there is
// none, EINVAL when it is not a regular file).
int open_to_read(const std::string& path);
// The length of the file of fd.
bool size_of(int fd, std::uint64_t& size);
// Takes away a file this process made and could not finish.
void discard(const std::string& path);
// Gives an existing file a second name (never over a file that exists).
bool add_name(const std::string& existing, const std::string& name);
// Puts the file at from in the place of the one at to, in one step.
bool rename(const std::string& from, const std::string& to);

// Which file a path names (links followed): the same for every path to it.
struct FileId {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    auto operator<=>(const FileId&) const = default;
};
std::optional<FileId> identify(const std::string& path);

// What lies at a path itself, a link not followed.
enum class Entry { None, Regular, Folder, Link, Other };
Entry entry_at(const std::string& path);

// The folder a path lies in.
std::string folder_of(const std::string& path);

}  // namespace jet::disk
