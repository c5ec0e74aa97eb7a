// Copying a register between a file and a server: upsize (every user table
// of a file onto the server, in one transaction, checked row by row before
// it is committed) and downsize (a server register into a fresh file).
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace jet {
class Database;
}

namespace server {

class Connection;

struct Progress {
    std::string table;
    std::size_t done = 0;
    std::size_t total = 0;  // 0 when not known beforehand
    bool finished = false;
};
using ProgressFn = std::function<void(const Progress&)>;

struct UpsizeOptions {
    // Rows of a table the server holds already are added to it, numbered
    // anew by the server; without it such a table refuses the upsize.
    bool append = false;
};

struct UpsizeReport {
    std::vector<std::string> tables;          // copied
    std::vector<std::string> linked_skipped;  // links to other databases, left out
    std::size_t rows = 0;
};

// Raises server::Error (nothing is left on the server then) or jet::Error.
UpsizeReport upsize(jet::Database& from, Connection& to, const UpsizeOptions& options, const ProgressFn& progress);

struct DownsizeReport {
    std::vector<std::string> tables;
    std::size_t rows = 0;
};

// Writes every table of the server's schema into the file at `path`, which
// must not exist; a file left unfinished by a failure is removed.
DownsizeReport downsize(Connection& from, const std::string& path, const ProgressFn& progress);

}  // namespace server
