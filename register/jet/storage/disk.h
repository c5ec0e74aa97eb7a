// Steps on files by their descriptors, through the default platform, for
// the engine's own use (DurableFile gives the layers above theirs): each
// returns false with errno set when the system refuses. A database's own
// steps go through the platform it was opened with instead.
#pragma once

#include <cstddef>
#include <cstdint>
#include <compare>
#include <functional>
#include <optional>
#include <string>

#include "jet/files.h"
#include "jet/platform.h"

namespace jet {

// A file descriptor, closed when it goes, by the platform that opened it.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : UniqueFd(fd, default_platform()) {}
    UniqueFd(int fd, Platform& platform) : fd_(fd), platform_(&platform) {}
    UniqueFd(UniqueFd&& o) noexcept : platform_(o.platform_) { fd_ = o.release(); }
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
    Platform* platform_ = nullptr;
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

}  // namespace jet::disk
