// The database file as an array of 4096-byte pages. Reads go through pread and
// a small cache of whole pages; a page past the end of the file is an error.
//
// Several processes may share one file. Every operation runs under an OS lock
// on the file (fcntl open-file-description locks): shared while reading,
// exclusive while writing. Taking the outermost lock drops the page cache,
// since another process may have written in between. Writes are collected in
// a group and reach the file only at commit: first the pages holding rows,
// long values and index entries, then a sync, then the maps and definitions
// that point at them, then another sync.
//
// Before the first page of the file is overwritten, the old contents of every
// page the group changes go to a journal beside the file ("<file>-journal"),
// which is synced first and removed when the group is complete. A process that
// takes a lock and finds a journal knows a writer died in the middle of a
// group, and puts the old pages back before anything is read: a group is
// either all in the file or not at all.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

#include "bytes.h"

namespace jet {

inline constexpr std::size_t kPageSize = 4096;

using PageData = std::array<std::uint8_t, kPageSize>;
using PagePtr = std::shared_ptr<const PageData>;

inline Bytes bytes_of(const PageData& p) { return Bytes(p.data(), p.size()); }

// Page types (the first byte of each page).
enum class PageType : std::uint8_t {
    Header = 0x00,
    Data = 0x01,
    TableDef = 0x02,
    IndexNode = 0x03,
    IndexLeaf = 0x04,
    UsageMap = 0x05,
};

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

// What a written page holds, for the order of writing at commit.
enum class PageRole { Content, Map };

class PageFile {
public:
    // Opens the file for reading. Raises NotFound or Io.
    explicit PageFile(const std::string& path);

    // Reopens the file for writing (outside any lock). Raises ReadOnly when the
    // file or its folder may not be written.
    void enable_writes();
    bool writable() const { return writable_; }

    // Lock nesting: the outermost lock decides the kind. Asking for an exclusive
    // lock inside a shared one is a programming error and raises Io.
    void lock(bool exclusive);
    void unlock();
    bool locked_exclusive() const { return depth_ > 0 && exclusive_; }

    // The write group (under an exclusive lock). write() keeps the page until
    // commit(); page() already sees it. allocate() adds a zeroed page at the end.
    // A commit that fails puts the file back and drops the group's pages; the
    // rest of that group is refused (Io) until the write lock is released, so
    // a second commit cannot write the maps without the rows they point at.
    void write(std::uint32_t n, const PageData& data, PageRole role);
    // The page's bytes to change in place (a pending copy, made on first use).
    PageData& edit(std::uint32_t n, PageRole role);
    std::uint32_t allocate(PageRole role);
    void commit();
    void rollback();
    bool dirty() const { return !pending_.empty(); }

    const std::string& path() const { return path_; }
    std::uint64_t file_size() const { return size_; }
    std::uint32_t page_count() const { return static_cast<std::uint32_t>(size_ / kPageSize) + added_; }

    // The raw bytes of page n; raises Damaged when n lies past the end.
    PagePtr page(std::uint32_t n);
    // As page(), but also checks the page type.
    PagePtr page_of_type(std::uint32_t n, PageType type, const char* what);

    // Reads up to len bytes from the start of the file (for the header check of short files).
    std::string read_prefix(std::size_t len) const;

    void drop_cache() { cache_.clear(); }

private:
    struct Pending {
        std::shared_ptr<PageData> data;
        PageRole role = PageRole::Content;
    };
    void refresh_size();
    void write_pages(PageRole role);
    void sync();
    std::string journal_path() const { return path_ + "-journal"; }
    void write_journal();
    // Puts back the pages of an interrupted group, under the write lock.
    void roll_back_journal();
    void recover_if_needed(bool exclusive);
    void take_lock(bool exclusive);
    void check_group(const char* what) const;

    std::string path_;
    UniqueFd fd_;
    std::uint64_t size_ = 0;
    std::unordered_map<std::uint32_t, PagePtr> cache_;
    std::unordered_map<std::uint32_t, Pending> pending_;
    std::uint32_t added_ = 0;  // pages allocated in this group, past the end of the file
    bool writable_ = false;
    int depth_ = 0;
    bool exclusive_ = false;
    bool failed_ = false;  // the group's commit failed; cleared with the write lock
};

// Holds a lock on a page file for its lifetime.
class FileLock {
public:
    FileLock(PageFile& f, bool exclusive) : f_(f) { f_.lock(exclusive); }
    ~FileLock() { f_.unlock(); }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    PageFile& f_;
};

// Test seam for cutting a write at any point. The I/O steps of commit and of
// undoing a group are counted: each page written, the journal written, each
// sync (of the file, the journal and the journal's folder) and the removal of
// the journal. A plan can make step `at` fail as the system would (errno EIO),
// or stop there as if the process died: a write cut that way leaves its first
// half behind (a torn page), then Stopped is raised, which nothing in the
// engine catches, so no cleanup that a dead process could not do happens.
// Without a plan each step costs one test of a pointer.
namespace faults {

enum class Mode { Count, Fail, Stop };

struct Plan {
    Mode mode = Mode::Count;
    std::uint64_t at = 0;     // the step (from 1) to fail or stop at
    std::uint64_t steps = 0;  // steps taken so far
};

struct Stopped {};

// The plan in force (for the whole process), or none with nullptr; the caller keeps it alive.
void set_plan(Plan* plan);

}  // namespace faults

}  // namespace jet
