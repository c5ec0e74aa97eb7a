// Failures of a server register, by kind (errors/server.h, where each kind's
// Russian and English sentences are); callers decide by the kind, never by a
// message's text.
#pragma once

#include <chrono>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>

#include "errors/server.h"

namespace server {

using ErrorKind = errors::ServerFault;

class Error : public std::runtime_error {
public:
    // detail: what the server said, for people (never read by code).
    Error(ErrorKind kind, std::string subject, std::string detail = {}, std::string sqlstate = {});
    ErrorKind kind() const noexcept { return kind_; }
    const std::string& subject() const noexcept { return subject_; }
    const std::string& detail() const noexcept { return detail_; }
    const std::string& sqlstate() const noexcept { return sqlstate_; }
    // The sentence with the server's detail after it.
    std::string describe(errors::Language language) const;

private:
    ErrorKind kind_;
    std::string subject_;
    std::string detail_;
    std::string sqlstate_;
};

// The kind a SQLSTATE stands for (Server when it is none of ours).
ErrorKind kind_of_sqlstate(const std::string& sqlstate);

// Whether the server turned the work back on a conflict with other clients
// (a serialization failure, 40001, or a deadlock, 40P01): nothing of it was
// kept, and the same work may simply be done again. Distributed engines
// that speak PostgreSQL's protocol report every conflict so.
bool is_conflict(const Error& e);

// Does f, and again after a short, growing, scattered wait while the server
// turns it back on a conflict, up to `retries` times; the last conflict is
// raised. f must be the whole of a piece of work nothing of which was kept
// when it failed (a statement on its own, a whole transaction).
template <typename F>
auto retrying_conflicts(F&& f, int retries = 4) -> decltype(f()) {
    thread_local std::minstd_rand scatter(std::random_device{}());
    for (int attempt = 0;; ++attempt) {
        try {
            return f();
        } catch (const Error& e) {
            if (attempt >= retries || !is_conflict(e)) throw;
        }
        const int base = 5 << attempt;  // 5, 10, 20, 40 ms
        std::this_thread::sleep_for(std::chrono::milliseconds(base + static_cast<int>(scatter() % static_cast<unsigned>(base))));
    }
}

}  // namespace server
