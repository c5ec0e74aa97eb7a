// What the server commands say on standard error, in the locale's language
// (Russian under a Russian locale, English otherwise): the progress line and
// the failures.
#pragma once

#include <cstddef>
#include <string>

#include "server/server_error.h"
#include "server/transfer.h"

namespace regtool {

class ServerOutput {
public:
    explicit ServerOutput(std::string command);
    ~ServerOutput();
    bool russian() const { return russian_; }
    // "upsize: TABLE, N of M rows", rewritten in place.
    void progress(const server::Progress& p);
    // One line: the sentence for the failure. Returns the exit status 1.
    int failed(const server::Error& e);
    // The same for a failure on a line of the input.
    int failed(const server::Error& e, std::size_t line);
    int usage(const std::string& english, const std::string& russian);
    void note(const std::string& english, const std::string& russian);

private:
    void end_line();
    std::string command_;
    bool russian_;
    bool line_open_ = false;
};

}  // namespace regtool
