// Errors raised by the Jet engine. Every failure carries a kind, so that callers
// (the data-access facade, regtool) can map it to their own numbers and texts.
#pragma once

#include <stdexcept>
#include <string>
#include <utility>

namespace jet {

enum class ErrorKind {
    Io,            // the operating system refused a read or write (Error::os_error says why)
    NotFound,      // no file at the path
    NotJet,        // not an Access database at all
    Jet3,          // Access 97 (Jet 3) file
    Ace,           // Access 2007+ (.accdb) file
    Password,      // database protected by a password
    Encrypted,     // database encoded with a key
    Damaged,       // structures inside the file contradict each other
    NoSuchTable,   // the catalog has no such table
    Unsupported,   // a structure the engine cannot handle exactly
    ReadOnly,      // the file or its folder may not be written
    Constraint,    // a value the table refuses (too long, wrong type, duplicate key)
    RowDeleted,    // the row was deleted (by another program, or earlier in the group)
    Internal,      // the engine could not carry out a change to a sound file; nothing was written
    Busy,          // another program held the file's lock longer than the wait allowed
    StrayJournal,  // a journal beside the file is not its own (or is damaged): no writes
    Linked,        // the file has several names (hard links): no writes
    Replaced,      // the path no longer names the file that was opened
    PendingMove,   // the record of a move cut off beside the file could not be settled: no writes
};

// What exactly a refusal is about, where callers word it differently.
enum class Reason {
    Unspecified,
    // Constraint; the subject is the column, or for Duplicate the index
    TooLong,        // text or bytes longer than the column takes
    WrongType,      // a value of a type the column does not take
    OutOfRange,     // a number the column's type cannot hold
    Duplicate,      // the key is in a unique index already
    Required,       // an empty value in a column an index requires
    RowTooLarge,    // the row does not fit a page
    NumbersUsedUp,  // the table's autonumbers are used up
    RelatedRowRequired,  // the row names a row its parent table lacks (the subject is that table)
    RelatedRowsExist,    // rows of another table name this one (the subject is that table)
    // Unsupported; the subject is the column
    SortOrder,      // indexed under a sort order the engine cannot keep exactly
    FileTooLarge,   // the file has reached the size the format allows
    // ReadOnly
    FileReadOnly,   // the file may not be written
    FolderReadOnly, // its folder may not be written (the subject is the folder)
    // Replaced
    FileRemoved,    // the file has no name left: what was written to it is gone with it
    // Busy
    OpenInAccess,   // Access's lock file lies beside the database (the subject is its path)
    // PendingMove; the subject is the record for the first four, the other file for the rest
    MoveRecordUnreadable,  // the system refuses to read it (os_error says why)
    MoveRecordDamaged,     // complete, but cut, lengthened or failing its checksum
    MoveRecordNotAFile,    // a folder, a link or a device lies at its path
    MoveRecordForeign,     // it names neither this file nor a move this file took part in
    MoveOtherMissing,      // the other file of the move is not where the record says
    MoveOtherReplaced,     // another file lies there, and it does not hold the group
    MoveOtherRefused,      // the other file cannot be changed now (read-only, busy, damaged, ...)
};

class Error : public std::runtime_error {
public:
    Error(ErrorKind kind, const std::string& message, Reason reason = Reason::Unspecified, std::string subject = {}, int os_error = 0)
        : std::runtime_error(message), kind_(kind), reason_(reason), subject_(std::move(subject)), os_error_(os_error) {}
    ErrorKind kind() const noexcept { return kind_; }
    Reason reason() const noexcept { return reason_; }
    // The column, index or folder the error is about, when it is about one.
    const std::string& subject() const noexcept { return subject_; }
    // The system's error number behind an Io error (errno), or 0.
    int os_error() const noexcept { return os_error_; }
    // The database file the error concerns, as its opener named it; empty
    // until the layer that opened the file names it (about_file).
    const std::string& file() const noexcept { return file_; }
    // Names the file the error concerns, unless one is named already (an
    // error raised on one file keeps that file while it passes another).
    Error& about_file(const std::string& path) {
        if (file_.empty()) file_ = path;
        return *this;
    }
    // Names the file `now` where the error names `was` (a temporary file that
    // stands for another in what the caller was told).
    Error& about_file_instead(const std::string& was, const std::string& now) {
        if (file_ == was) file_ = now;
        return *this;
    }

private:
    ErrorKind kind_;
    Reason reason_;
    std::string subject_;
    int os_error_;
    std::string file_;
};

// Raised wherever bytes read from the file do not make sense.
[[noreturn]] void damaged(const std::string& what);
// Raised where the engine finds it cannot finish a change it started (a fault
// of its own, not of the file); the group is then abandoned unwritten.
[[noreturn]] void internal_fault(const std::string& what);
// An Io error: what failed on path, and the system's reason.
[[noreturn]] void io_error(const std::string& what, const std::string& path, int err);

}  // namespace jet
