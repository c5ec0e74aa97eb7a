// The file an error of the engine concerns. Whatever a public call on a
// database, a table or a write group raises names the file it was made on,
// so that a caller working on two files (a move) need not keep track.
#pragma once

#include <string>
#include <utility>

#include "jet/error.h"

namespace jet {

// Runs f; an engine error it raises is named as one of the file at path
// (unless it names a file already).
template <class F>
decltype(auto) on_file(const std::string& path, F&& f) {
    try {
        return std::forward<F>(f)();
    } catch (Error& e) {
        e.about_file(path);
        throw;
    }
}

}  // namespace jet
