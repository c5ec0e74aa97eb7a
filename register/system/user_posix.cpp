#include "system/user.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace sys {

std::string user_id() { return std::to_string(::geteuid()); }

bool owned_by_user(const std::filesystem::path& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && st.st_uid == ::geteuid();
}

bool make_private_folder(const std::filesystem::path& path, std::error_code& ec) {
    ec.clear();
    if (::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST) return true;
    ec.assign(errno, std::generic_category());
    return false;
}

// The locale settings (LANGUAGE, LC_ALL, LC_MESSAGES, LANG) are the POSIX way.
std::string user_interface_language() { return {}; }

}  // namespace sys
