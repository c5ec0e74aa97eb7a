#include "system/user.h"

#include <sys/stat.h>
#include <unistd.h>

namespace sys {

std::string user_id() { return std::to_string(::geteuid()); }

bool owned_by_user(const std::filesystem::path& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && st.st_uid == ::geteuid();
}

// The locale settings (LANGUAGE, LC_ALL, LC_MESSAGES, LANG) are the POSIX way.
std::string user_interface_language() { return {}; }

}  // namespace sys
