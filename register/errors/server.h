// Failures of a register on a PostgreSQL server, by kind, and their
// sentences in Russian and English. The server library raises them
// (server::Error); regtool and the windows word them from here.
#pragma once

#include <string>

#include "errors/catalogue.h"

namespace errors {

enum class ServerFault {
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
    NoPrimaryKey,           // a table whose rows cannot be changed: it has no primary key to find them by
    NotAFile,               // what only a file register can do, asked of a server register
    Mismatch,               // the rows on both sides differ after a copy
    ValueDoesNotFit,        // a value the server gave is not one of its column's type (the table changed behind the register's back)
    RowChanged,             // another client changed the row since it was read; nothing was written
    TlsFailed,              // the link asks for TLS and the server does not offer it, or its certificate fails the check
    Server,                 // anything else the server reported
};

// The sentence for a kind, with its subject (a table, a column, a link, the
// server's own words) put in.
std::string server_sentence(ServerFault kind, const std::string& subject, Language language);

// The Jet number a kind is reported under: what Jet says of a server it
// reaches through ODBC (3151 when there is no connection, 3146 when a call
// fails), or the number of the same failure on a file.
int server_number(ServerFault kind);

}  // namespace errors
