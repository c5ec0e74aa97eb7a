// The server commands (upsize, downsize, and every command given a server
// register) run in a program of their own, regtool-server, which regtool
// becomes for them (exec; on Windows it runs it and waits): only it loads the
// server's client library and what that brings (TLS, Kerberos, LDAP), so
// every other command starts without them.
#pragma once

#include <string>
#include <vector>

namespace regtool {

// Whether regtool-server carries out the command line (the command and its
// arguments): upsize and downsize, and the commands that read or write a
// register (tables, schema, export, insert, delete, query, check) when their
// register is a server's, and move when either of its registers is. Decided
// by the register's name alone, without the client library.
bool is_server_command(const std::vector<std::string>& args);

// Replaces this process with regtool-server running the command line (the
// command and its arguments); on Windows runs it and returns its exit
// status. Otherwise returns the exit status after saying why it cannot.
int run_server_program(const std::vector<std::string>& args);

// Has regtool-server settle the record of a cut-off move beside the file at
// real_path whose other register is a server's; true when it did.
bool settle_through_server_program(const std::string& real_path);

}  // namespace regtool
