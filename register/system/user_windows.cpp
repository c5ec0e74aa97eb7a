#include "system/user.h"

#include <windows.h>

#include "system/windows_text.h"

namespace sys {

std::string user_id() {
    wchar_t name[257];  // the longest user name and its NUL
    DWORD size = static_cast<DWORD>(std::size(name));
    return GetUserNameW(name, &size) && size > 0 ? utf8(std::wstring_view(name, size - 1)) : std::string("user");
}

// A file is always taken to be the user's own. What asks (a folder of one's
// own in the temporary folder, closed to others) is met by Windows itself:
// the temporary folder lies in the user's profile, which other users cannot
// enter, and what is made in it inherits that protection. Owners there are
// security identifiers under access control lists, not ids of POSIX modes.
bool owned_by_user(const std::filesystem::path&) { return true; }

// What is made in the user's own folders inherits their protection (above).
bool make_private_folder(const std::filesystem::path& path, std::error_code& ec) {
    ec.clear();
    if (CreateDirectoryW(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS) return true;
    ec.assign(static_cast<int>(GetLastError()), std::system_category());
    return false;
}

std::string user_interface_language() {
    wchar_t code[9];
    const LCID locale = MAKELCID(GetUserDefaultUILanguage(), SORT_DEFAULT);
    const int n = GetLocaleInfoW(locale, LOCALE_SISO639LANGNAME, code, static_cast<int>(std::size(code)));
    return n > 1 ? utf8(std::wstring_view(code, static_cast<std::size_t>(n - 1))) : std::string();
}

}  // namespace sys
