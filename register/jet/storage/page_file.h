// The database file as an array of 4096-byte pages. Reads go through pread and
// a small cache of whole pages; a page past the end of the file is an error.
//
// The file is opened as what it is: a path through symbolic links reaches its
// real file, and anything but a regular file (a FIFO, a device, a folder) is
// refused without waiting on it. A file with several names (hard links) is
// read but not written: its journal could not be found from every name.
//
// Several processes may share one file. Every operation runs under the
// system's lock on the file (platform.h): shared while reading,
// exclusive while writing. A lock is waited for a bounded time (set_lock_wait),
// then refused as Busy; meanwhile the waiting program marks that it waits
// (let_waiting_programs_in). Taking the outermost lock drops the page cache, since
// another process may have written in between. Writes are collected in a
// group and reach the file only at commit: first the pages holding rows, long
// values and index entries, then a sync, then the maps and definitions that
// point at them, then another sync.
//
// Before the first page of the file is overwritten, the old contents of every
// page the group changes go to a journal beside the file (journal.h). A
// process that takes a lock and finds the file's own journal knows a writer
// died in the middle of a group, and puts the old pages back before anything
// is read: a group is either all in the file or not at all. A journal that is
// not the file's own is never applied and never removed: writes are refused
// (StrayJournal) and reads go on, with a warning. Before a group commits, the
// path must still name the file that was opened (Replaced otherwise).
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "format/bytes.h"
#include "storage/disk.h"
#include "jet/platform.h"

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

// What a written page holds, for the order of writing at commit.
enum class PageRole { Content, Map };

class PageFile {
public:
    // Opens the file for reading, through the platform given, which every
    // later call to the system uses too. Raises NotFound, NotJet (not a
    // regular file) or Io.
    explicit PageFile(const std::string& path, Platform& platform = default_platform());
    Platform& platform() const { return *platform_; }

    // Reopens the file for writing (outside any lock). Raises ReadOnly when the
    // file or its folder may not be written, Linked for a file with several
    // names, Replaced when the path names another file by now.
    void enable_writes();

    // How long lock() waits for another program before raising Busy.
    void set_lock_wait(std::chrono::milliseconds wait) { lock_wait_ = wait; }
    std::chrono::milliseconds lock_wait() const { return lock_wait_; }
    static constexpr std::chrono::milliseconds kDefaultLockWait{5000};
    // The wait of files opened from now on, for the whole process
    // (kDefaultLockWait unless set).
    static void set_default_lock_wait(std::chrono::milliseconds wait);
    static std::chrono::milliseconds default_lock_wait();

    // Lock nesting: the outermost lock decides the kind. Asking for an exclusive
    // lock inside a shared one is a programming error and raises Internal. An
    // exclusive lock is refused (StrayJournal) while a journal that is not the
    // file's own lies beside it.
    void lock(bool exclusive);
    void unlock();
    bool locked_exclusive() const { return depth_ > 0 && exclusive_; }
    // Outside any lock: waits, at_most so long, until no other program waits
    // for this file's lock (each marks that it does while it waits), so that a
    // program taking the file group after group lets others in between.
    void let_waiting_programs_in(std::chrono::milliseconds at_most);
    // From now on, and while the file stays open here, others waiting for its
    // lock see that it is held group after group, with turns between, and
    // wait longer before they give up.
    void take_turns();

    // Why the journal's path holds something that is not this file's journal
    // (found when the last lock was taken), or empty.
    const std::string& journal_warning() const { return journal_warning_; }

    // The write group (under an exclusive lock). write() keeps the page until
    // commit(); page() already sees it. allocate() adds a zeroed page at the end.
    // A commit that fails puts the file back and drops the group's pages; the
    // rest of that group is refused (Io) until the write lock is released, so
    // a second commit cannot write the maps without the rows they point at.
    // When commit() returns, the group is on disk and no journal can undo it.
    void write(std::uint32_t n, const PageData& data, PageRole role);
    // The page's bytes to change in place (a pending copy, made on first use).
    PageData& edit(std::uint32_t n, PageRole role);
    std::uint32_t allocate(PageRole role);
    void commit();
    // Writes the group's journal ahead of commit(), not yet marked complete:
    // the group's work goes on beside the slow part of its commit. A change
    // after it, or a rollback, throws the journal away.
    void stage_journal();
    void rollback();
    bool dirty() const { return !pending_.empty(); }

    // Raises Replaced when the path no longer names the file that was opened
    // (removed, or another file put in its place).
    void check_still_at_path() const;

    // Whether the other opening is of this very file.
    bool same_file_as(const PageFile& other) const { return id_ == other.id_; }

    // The path as given (for messages) and the file's real path.
    const std::string& path() const { return path_; }
    const std::string& real_path() const { return real_path_; }
    std::string journal_path() const { return real_path_ + "-journal"; }
    int descriptor() const { return fd_.get(); }
    std::uint64_t file_size() const { return size_; }
    std::uint32_t page_count() const { return static_cast<std::uint32_t>(size_ / kPageSize) + added_; }

    // The raw bytes of page n; raises Damaged when n lies past the end.
    PagePtr page(std::uint32_t n);
    // Whether page n holds nothing but zeros on disk and the group has not
    // taken it (read past the cache, which it leaves as it is).
    bool blank(std::uint32_t n);
    // The pages [low, high) that an earlier group of this opening found not
    // blank. A page blanked since, by another program or a later group, is
    // only passed over (the file grows instead of taking it): nothing is
    // ever taken for blank on this word.
    struct NotBlank {
        std::uint32_t low = 0, high = 0;
    };
    NotBlank& not_blank() { return not_blank_; }
    // As page(), but also checks the page type.
    PagePtr page_of_type(std::uint32_t n, PageType type, const char* what);

    // Reads up to len bytes from the start of the file (for the header check of short files).
    std::string read_prefix(std::size_t len) const;

private:
    struct Pending {
        std::shared_ptr<PageData> data;
        PageRole role = PageRole::Content;
    };
    void refresh_size();
    void write_pages(PageRole role);
    void sync();
    void write_journal(bool staged);
    void discard_staged();
    // Deals with a journal found beside the file (see the class comment).
    void look_for_journal(bool exclusive);
    void take_lock(bool exclusive);
    void release_lock();
    void check_group(const char* what) const;
    void undo_failed_commit(bool journal_written, bool finishing);

    Platform* platform_;
    std::string path_;
    std::string real_path_;
    UniqueFd fd_;
    disk::FileId id_;  // the file that was opened
    std::uint64_t size_ = 0;
    std::unordered_map<std::uint32_t, PagePtr> cache_;
    static constexpr std::size_t kReadAhead = 16;  // pages read at once when read in order
    std::uint32_t next_in_run_ = 0;                // the page after the last read, 0 for none
    std::vector<std::uint8_t> read_ahead_;
    std::unordered_map<std::uint32_t, Pending> pending_;
    std::uint32_t added_ = 0;  // pages allocated in this group, past the end of the file
    bool writable_ = false;
    bool taking_turns_ = false;
    int depth_ = 0;
    bool exclusive_ = false;
    bool failed_ = false;  // the group's commit failed; cleared with the write lock
    bool staged_ = false;        // a staged journal lies beside the file
    std::uint64_t changes_ = 0;  // pages changed in the group: edit(), write() and allocate() calls
    std::uint64_t staged_at_ = 0;  // changes_ when the journal was staged
    std::chrono::milliseconds lock_wait_;
    std::string journal_warning_;
    std::string journal_seen_;  // what the journal's path held when last examined, to examine it once
    NotBlank not_blank_;
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


}  // namespace jet
