// The user this program runs for: who it is, what belongs to them, the
// language their desktop speaks.
#pragma once

#include <filesystem>
#include <string>
#include <system_error>

namespace sys {

// The user this process runs as, as text fit for a file name: on POSIX
// systems the effective user id, on Windows the user's name.
std::string user_id();

// Whether the file at path (a link itself, not what it leads to) belongs to
// the user this process runs as; false when it cannot be examined.
bool owned_by_user(const std::filesystem::path& path);

// Makes a folder only its user may enter (POSIX: mode 0700 from the first
// instant, never opened to others for a moment); one already there counts as
// made and is left as it is. False with ec set otherwise.
bool make_private_folder(const std::filesystem::path& path, std::error_code& ec);

// The language of the user's desktop as an ISO 639 code ("ru", "en", ...),
// where the system keeps one apart from the locale settings of the
// environment: Windows, the user's interface language. Empty elsewhere.
std::string user_interface_language();

}  // namespace sys
