// Failures of a server register, by kind (errors/server.h, where each kind's
// Russian and English sentences are); callers decide by the kind, never by a
// message's text.
#pragma once

#include <stdexcept>
#include <string>

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

}  // namespace server
