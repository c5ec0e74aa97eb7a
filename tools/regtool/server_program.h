// The server commands (upsize, downsize) run in a program of their own,
// regtool-server, which regtool becomes for them (exec): only it loads the
// server's client library and what that brings (TLS, Kerberos, LDAP), so
// every other command starts without them.
#pragma once

#include <string>
#include <vector>

namespace regtool {

// Whether the command is one regtool-server carries out.
bool is_server_command(const std::string& command);

// Replaces this process with regtool-server running the command line (the
// command and its arguments). Returns only when that cannot be done, with
// the exit status after saying why.
int run_server_program(const std::vector<std::string>& args);

}  // namespace regtool
