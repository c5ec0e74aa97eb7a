#include "server_error.h"

#include <array>
#include <string_view>

namespace server {

Error::Error(ErrorKind kind, std::string subject, std::string detail, std::string sqlstate)
    : std::runtime_error(errors::server_sentence(kind, subject, errors::Language::English)),
      kind_(kind),
      subject_(std::move(subject)),
      detail_(std::move(detail)),
      sqlstate_(std::move(sqlstate)) {
    // The server's words on one line: libpq breaks its messages into
    // indented lines, and a failure is said in one.
    std::string line;
    for (char ch : detail_) {
        const bool space = ch == '\n' || ch == '\r' || ch == '\t' || ch == ' ';
        if (!space) {
            line += ch;
        } else if (!line.empty() && line.back() != ' ') {
            line += ' ';
        }
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    detail_ = std::move(line);
}

std::string Error::describe(errors::Language language) const {
    std::string text = errors::server_sentence(kind_, subject_, language);
    if (!detail_.empty()) text += (language == errors::Language::Russian ? " (сервер: " : " (server: ") + detail_ + ")";
    return text;
}

bool is_conflict(const Error& e) { return e.sqlstate() == "40001" || e.sqlstate() == "40P01"; }

ErrorKind kind_of_sqlstate(const std::string& s) {
    if (s.size() != 5) return ErrorKind::Server;
    const std::string_view cls = std::string_view(s).substr(0, 2);
    if (cls == "28") return ErrorKind::AuthenticationRefused;
    if (s == "42501") return ErrorKind::PermissionDenied;
    if (s == "42P01") return ErrorKind::TableMissing;
    if (s == "42703") return ErrorKind::ColumnMissing;
    if (s == "42P07") return ErrorKind::TableExists;
    if (s == "42622") return ErrorKind::NameTooLong;
    if (cls == "08" || s == "57P01" || s == "57P02" || s == "57P03") return ErrorKind::ConnectionLost;
    if (s == "3D000") return ErrorKind::ConnectionRefused;
    if (cls == "22" || cls == "23") return ErrorKind::ValueRefused;
    return ErrorKind::Server;
}

}  // namespace server
