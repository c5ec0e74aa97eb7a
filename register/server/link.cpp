#include "link.h"

#include <libpq-fe.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <sstream>

#include "server_error.h"

namespace server {

namespace {

bool is_uri(const std::string& name) { return name.starts_with("postgresql://") || name.starts_with("postgres://"); }

// Parses the connection string as libpq does and refuses one with a password.
void check_conninfo(const std::string& conninfo, const std::string& shown) {
    char* why = nullptr;
    std::unique_ptr<PQconninfoOption, decltype(&PQconninfoFree)> options(PQconninfoParse(conninfo.c_str(), &why), &PQconninfoFree);
    if (!options) {
        const std::string detail = why ? why : "";
        PQfreemem(why);
        throw Error(ErrorKind::BadLink, shown, detail);
    }
    for (const PQconninfoOption* o = options.get(); o->keyword; ++o) {
        if (std::string_view(o->keyword) == "password" && o->val && *o->val) throw Error(ErrorKind::PasswordInLink, shown);
    }
}

}  // namespace

std::string connection_string_of_text(const std::string& text, const std::string& shown) {
    // A byte order mark some editors write is no part of the text.
    std::istringstream lines(text.starts_with("\xEF\xBB\xBF") ? text.substr(3) : text);
    std::string conninfo;
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const auto first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line[first] == '#') continue;
        if (!conninfo.empty()) conninfo += ' ';
        conninfo += line.substr(first);
    }
    if (conninfo.empty()) throw Error(ErrorKind::BadLink, shown);
    check_conninfo(conninfo, shown);
    return conninfo;
}

std::string without_password(const std::string& uri) {
    if (!is_uri(uri)) return uri;
    std::string out = uri;
    // user:password@ before the host
    const std::size_t from = out.find("://") + 3;
    const std::size_t host_end = std::min(out.find_first_of("/?", from), out.size());
    if (const std::size_t at = out.rfind('@', host_end); at != std::string::npos && at >= from) {
        if (const std::size_t colon = out.find(':', from); colon < at) out.erase(colon, at - colon);
    }
    // password=... among the parameters
    if (const std::size_t q = out.find('?'); q != std::string::npos) {
        std::string kept;
        std::istringstream parameters(out.substr(q + 1));
        for (std::string p; std::getline(parameters, p, '&');) {
            if (p.empty() || p.starts_with("password=")) continue;
            kept += (kept.empty() ? "?" : "&") + p;
        }
        out = out.substr(0, q) + kept;
    }
    return out;
}

std::string connection_string(const std::string& name) {
    if (is_uri(name)) {
        check_conninfo(name, without_password(name));
        return name;
    }
    std::ifstream in(name, std::ios::binary);
    if (!in) throw Error(ErrorKind::BadLink, name);
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) throw Error(ErrorKind::BadLink, name);
    return connection_string_of_text(text.str(), name);
}

}  // namespace server
