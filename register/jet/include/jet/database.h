// An open Jet 4 database: header checked, catalog read, tables found by name.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform.h"
#include "jet/error.h"
#include "relationships.h"
#include "table.h"
#include "table_writer.h"

namespace jet {

// The engine's own parts, which the layers above hold only by reference.
struct CatalogEntry;
struct Header;
class DatabaseInsides;
class FileLock;
class PageAllocator;
class PageFile;
class RelationGuard;

class Database {
public:
    // Opens and checks the file; raises jet::Error with the reason it cannot be used.
    // lock_wait: how long to wait for another program's lock (the process's default unless given).
    explicit Database(const std::string& path, std::optional<std::chrono::milliseconds> lock_wait = std::nullopt,
                      Platform& platform = default_platform());
    ~Database();
    Database(Database&&) noexcept;
    Database& operator=(Database&&) noexcept;

    const std::string& path() const;
    // The file's real path, links followed (its journal and other companions are named after it).
    const std::string& real_path() const;

    // How long a read or a write waits for another program's lock before it
    // is refused (Busy); five seconds unless set.
    void set_lock_wait(std::chrono::milliseconds wait);
    std::chrono::milliseconds lock_wait() const;
    // For a program that takes the file group after group: called between
    // two groups, with the file's lock let go, it waits until no other
    // program waits for the lock (at_most so long), so that those go first
    // instead of finding the file taken again at once.
    void let_waiting_programs_in(std::chrono::milliseconds at_most);
    // Says, for as long as this object keeps the file open, that it takes the
    // file group after group and lets waiting programs in between: a program
    // waiting for the file then waits up to twelve times its lock wait before
    // it gives up, so a group longer than that wait does not refuse it.
    void take_turns();
    // Why something beside the file that is not its journal blocks writes to
    // it (found when the file was last locked), or empty. Reads go on.
    const std::string& journal_warning() const;
    std::string journal_path() const;
    // Raises Replaced when the path no longer names the file that was opened.
    void check_still_at_path() const;

    // Names of the user tables (not system tables, not links), in catalog order.
    std::vector<std::string> user_tables() const;
    bool has_table(std::string_view name) const;
    // Opens a table by name, compared as Jet compares names; raises NoSuchTable.
    Table table(std::string_view name);
    // Reads the catalog again (after tables were added).
    void reload_catalog();

private:
    // The file, its header and its catalog are the engine's own: its parts
    // reach them through database_insides.h.
    friend class DatabaseInsides;
    friend class WriteGroup;
    const CatalogEntry* find(std::string_view name) const;

    std::shared_ptr<PageFile> file_;
    std::unique_ptr<Header> header_;
    std::unique_ptr<std::vector<CatalogEntry>> catalog_;
};

// Holds the database's file locked for its lifetime: shared for reading
// (reads under it see the file as it stands, once), exclusive for writing
// (write groups inside it share it). Raises as Database's reads and writes do
// (Busy after the lock wait).
class DatabaseLock {
public:
    DatabaseLock(Database& db, bool exclusive);
    ~DatabaseLock();
    DatabaseLock(const DatabaseLock&) = delete;
    DatabaseLock& operator=(const DatabaseLock&) = delete;

private:
    std::unique_ptr<FileLock> lock_;
};

// One group of changes: holds the file's write lock from construction; commit()
// puts every change on disk (data before the maps and definitions that point
// at it) and ends the group. A group destroyed without commit() leaves the file
// as it was.
class WriteGroup {
public:
    // Raises ReadOnly when the file or its folder may not be written.
    explicit WriteGroup(Database& db);
    ~WriteGroup();
    WriteGroup(const WriteGroup&) = delete;
    WriteGroup& operator=(const WriteGroup&) = delete;

    // The table's writer in this group; raises NoSuchTable, or Unsupported for a
    // table with an index the engine cannot keep.
    TableWriter& table(std::string_view name);
    TableWriter& table_at(std::uint32_t definition_page);
    bool has_table(std::string_view name) const;
    // The definition page of the named table, or 0 when there is none.
    std::uint32_t definition_page_of(std::string_view name) const;
    // Whether the group keeps the database's enforced relationships (it does
    // unless told otherwise, as when a copy is made table by table).
    void keep_relationships(bool keep) { keep_relationships_ = keep; }
    // Encodes every change (indexes, maps, definitions) without writing any of
    // it, so that a change the engine cannot carry out fails here, before a
    // caller does anything that depends on it. The tables take no more changes.
    void prepare();
    // Prepares the group and writes its journal ahead of commit(), not yet
    // marked complete (void to anyone who finds it, as nothing was touched):
    // the slow part of a commit done beside other work. commit() then only
    // marks it, unless the group changed since (then it is written again).
    void stage();
    void commit();

private:
    // Its pages and the tables it made are the engine's own (database_insides.h).
    friend class DatabaseInsides;
    // Called by create_table: the new table is known to this group at once,
    // and to the database after commit().
    void table_created(const std::string& name, std::uint32_t definition_page);
    TableWriter& writer_of(std::string_view name);
    TableWriter& writer_at(std::uint32_t definition_page);
    void prepare_tables();
    void write_out();

    Database& db_;
    std::unique_ptr<PageAllocator> pages_;
    std::vector<std::pair<std::uint32_t, std::unique_ptr<TableWriter>>> tables_;
    std::vector<std::pair<std::string, std::uint32_t>> created_;
    bool open_ = false;
    bool prepared_ = false;
    bool keep_relationships_ = true;
    std::unique_ptr<RelationGuard> guard_;
    bool guard_read_ = false;
};

}  // namespace jet
