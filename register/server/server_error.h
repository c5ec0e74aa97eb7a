// Failures of a server register, by kind. Every kind has one Russian and one
// English sentence, kept together in server_error.cpp; callers decide by the
// kind, never by a message's text.
#pragma once

#include <stdexcept>
#include <string>

namespace server {

enum class ErrorKind {
    BadLink,                // the link file cannot be read, or holds no connection string
    PasswordInLink,         // the link or URI holds a password
    Unreachable,            // no server answers where the link points
    AuthenticationRefused,  // the server wants a password that is missing or wrong
    ConnectionRefused,      // the server answered and refused (no such database or role, no right to connect)
    PermissionDenied,       // the role may not do what was asked
    ConnectionLost,         // the connection broke off; the open transaction is gone
    TableMissing,
    ColumnMissing,
    TableExists,            // the target holds a table of that name already
    NulInText,              // text holding U+0000, which the server cannot store
    NameTooLong,            // a name longer than the server's 63 bytes
    ValueRefused,           // the server refused a value (out of range, a key twice, ...)
    UnsupportedType,        // a server column without a counterpart in the file format
    Mismatch,               // the rows on both sides differ after a copy
    Server,                 // anything else the server reported
};

// The sentence for a kind, with the subject put in; Russian or English.
std::string message(ErrorKind kind, const std::string& subject, bool russian);

// Whether the locale asks for Russian: LANGUAGE, LC_ALL, LC_MESSAGES or LANG
// naming Russian.
bool russian_locale();

class Error : public std::runtime_error {
public:
    // detail: what the server said, for people (never read by code).
    Error(ErrorKind kind, std::string subject, std::string detail = {}, std::string sqlstate = {});
    ErrorKind kind() const noexcept { return kind_; }
    const std::string& subject() const noexcept { return subject_; }
    const std::string& detail() const noexcept { return detail_; }
    const std::string& sqlstate() const noexcept { return sqlstate_; }
    // The sentence with the server's detail after it.
    std::string describe(bool russian) const;

private:
    ErrorKind kind_;
    std::string subject_;
    std::string detail_;
    std::string sqlstate_;
};

// The kind a SQLSTATE stands for (Server when it is none of ours).
ErrorKind kind_of_sqlstate(const std::string& sqlstate);

}  // namespace server
