// Errors raised by the Jet engine. Every failure carries a kind, so that callers
// (the data-access facade, regtool) can map it to their own numbers and texts.
#pragma once

#include <stdexcept>
#include <string>

namespace jet {

enum class ErrorKind {
    Io,            // the operating system refused a read or write
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
    Internal,      // the engine could not carry out a change to a sound file; nothing was written
    Busy,          // another program held the file's lock longer than the wait allowed
    StrayJournal,  // a journal beside the file is not its own (or is damaged): no writes
    Linked,        // the file has several names (hard links): no writes
    Replaced,      // the path no longer names the file that was opened
};

class Error : public std::runtime_error {
public:
    Error(ErrorKind kind, const std::string& message) : std::runtime_error(message), kind_(kind) {}
    ErrorKind kind() const noexcept { return kind_; }

private:
    ErrorKind kind_;
};

// Raised wherever bytes read from the file do not make sense.
[[noreturn]] void damaged(const std::string& what);
// Raised where the engine finds it cannot finish a change it started (a fault
// of its own, not of the file); the group is then abandoned unwritten.
[[noreturn]] void internal_fault(const std::string& what);

}  // namespace jet
