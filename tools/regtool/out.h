// regtool's standard output, buffered: a failed write (a closed pipe) ends
// the program with one line saying why.
#pragma once

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "say.h"

namespace regtool {

class Out {
public:
    ~Out() { flush(); }
    std::string& buf() { return buf_; }
    void maybe_flush() {
        if (buf_.size() >= (1u << 20)) flush();
    }
    void flush() {
        if (!buf_.empty() && std::fwrite(buf_.data(), 1, buf_.size(), stdout) != buf_.size()) {
            const int err = errno;
            std::fprintf(stderr, "regtool: %s\n",
                         say("не удается записать вывод (ошибка системы " + std::to_string(err) + ")",
                             std::string("cannot write the output: ") + std::strerror(err))
                             .c_str());
            std::_Exit(1);
        }
        buf_.clear();
        std::fflush(stdout);
    }

private:
    std::string buf_;
};

}  // namespace regtool
