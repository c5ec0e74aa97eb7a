// The rollback journal of a database: a file beside it named after its real
// path ("<file>-journal"), present while a group of changes is being written
// or after a writer died in the middle of one. It holds the pages the group
// overwrites as they were before, so that the group can be undone whole.
//
// The journal is bound to the database it belongs to. Its header names the
// database (device and inode) and its length before the group; for each page
// it holds, besides the old bytes, a hash of each 512-byte sector of the new
// ones. It is the database's own when every page it names is now, sector by
// sector, either as before the group or as the group wrote it: a torn page is
// both, a page of another file or of a later state is neither. One checksum
// covers the whole journal. It is written in two steps, each synced: first
// whole with its state "being written", then the state "complete". A journal
// still being written means the database was not touched yet. Once the
// group is whole in the database, the state "finished" is synced before the
// journal is removed, so that a journal brought back by a power cut after
// its removal cannot undo a group that was reported done.
#pragma once


#include <cstdint>
#include <string>
#include <vector>

#include "format/bytes.h"
#include "jet/platform.h"

namespace jet::journal {

enum class Found {
    Nothing,     // no file at the journal's path
    Void,        // not needed: cut before it was complete (the database was not
                 // touched yet), or marked finished (the group is whole in it)
    Own,         // a complete journal of this database as it now is: to be put back
    Foreign,     // a sound journal of another file, or of another state of this one
    Damaged,     // marked complete, but cut, lengthened or failing its checksum
    Stranger,    // no journal of ours: a link, FIFO, folder or another program's file
};

struct Examined {
    Found found = Found::Nothing;
    std::string why;  // for all but Nothing, Void and Own
};

// What lies at `path`, for the database open at db_fd (length db_size). Reads
// the journal in pieces: its length and counts are checked against each other
// and against the database before anything is allocated.
Examined examine(Platform& sys, const std::string& path, int db_fd, std::uint64_t db_size);

// The pages a group overwrites: number, bytes after the group.
struct Page {
    std::uint32_t number;
    const std::uint8_t* after;
};

// Writes and syncs the journal of a group (the folder too, so that it is on
// disk before the database is touched); the journal takes the database's
// mode and, where the system lets it, its owner. Raises Io.
void write(Platform& sys, const std::string& path, int db_fd, const std::string& db_path, const FileFacts& db, std::uint32_t pages_before,
           const std::vector<Page>& pages);
// write() in two steps: stage() writes and syncs the journal still marked
// "being written" (void to whoever finds it: nothing was touched yet), so
// that a group can make it ready while other work goes on; complete() then
// marks it complete and syncs it and its folder. Each raises Io, the journal
// gone.
void stage(Platform& sys, const std::string& path, int db_fd, const std::string& db_path, const FileFacts& db, std::uint32_t pages_before,
           const std::vector<Page>& pages);
void complete(Platform& sys, const std::string& path, const std::string& db_path);

// Puts an Own journal's pages back into the database (db_fd open for
// writing), cuts it to its old length, syncs it, then removes the journal and
// syncs the folder. Raises Io.
void roll_back(Platform& sys, const std::string& path, int db_fd, const std::string& db_path);

// The end of a group: marks the journal finished and syncs it (raises Io),
// then removes it (a journal left behind is void to the next opener).
void finish(Platform& sys, const std::string& path, const std::string& db_path);

// Puts the state "complete" back (a group whose finish failed is undone with it). Raises Io.
void reopen(Platform& sys, const std::string& path, const std::string& db_path);

// Removes the journal and syncs its folder (a Void journal discarded). Raises Io.
void remove(Platform& sys, const std::string& path, const std::string& db_path);

}  // namespace jet::journal
