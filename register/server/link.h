// Naming a server register: a link file (extension .pgreg, UTF-8 text holding
// a libpq connection string or a postgresql:// URI; lines starting with # and
// blank lines are left out, the rest joined by spaces), or a URI given as is.
// Neither may hold a password: those come from ~/.pgpass or a service file.
#pragma once

#include <string>

namespace server {

inline constexpr const char* kLinkExtension = ".pgreg";

// Whether a register's name points at a server: a postgresql:// (or
// postgres://) URI, or a name ending in .pgreg. Inline, so that a program
// deciding where a command runs needs no client library for it.
inline bool names_server(const std::string& name) {
    return name.starts_with("postgresql://") || name.starts_with("postgres://") || name.ends_with(kLinkExtension);
}

// The connection string a URI or link file gives. Raises BadLink for a link
// that cannot be read or parsed, PasswordInLink for one holding a password.
std::string connection_string(const std::string& name);

// A URI as a message may show it: a password in it left out (the user's
// part or a password= parameter). Any other name is returned as it is.
std::string without_password(const std::string& uri);

// The connection string a link file's text gives (as connection_string).
std::string connection_string_of_text(const std::string& text, const std::string& shown);

}  // namespace server
