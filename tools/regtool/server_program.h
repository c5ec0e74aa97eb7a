// The server commands (upsize, downsize, and every command given a server
// register) run in a program of their own, regtool-server, which regtool
// becomes for them (exec): only it loads the server's client library and what that brings (TLS, Kerberos, LDAP), so
// every other command starts without them.
#pragma once

#include <string>
#include <vector>

namespace regtool {

// Whether regtool-server carries out the command line (the command and its
// arguments): upsize and downsize, and the commands that read or write a
// register (tables, schema, export, insert, delete, query) when their
// register is a server's. Decided by the register's name alone, without the client library.
bool is_server_command(const std::vector<std::string>& args);

// Replaces this process with regtool-server running the command line (the
// command and its arguments). Returns only when that cannot be done, with
// the exit status after saying why.
int run_server_program(const std::vector<std::string>& args);

}  // namespace regtool
