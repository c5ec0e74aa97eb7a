// The user this program runs for: who it is, what belongs to them, the
// language their desktop speaks.
#pragma once

#include <filesystem>
#include <string>

namespace sys {

// The user this process runs as, as text fit for a file name: on POSIX
// systems the effective user id, on Windows the user's name.
std::string user_id();

// Whether the file at path (a link itself, not what it leads to) belongs to
// the user this process runs as; false when it cannot be examined.
bool owned_by_user(const std::filesystem::path& path);

// The language of the user's desktop as an ISO 639 code ("ru", "en", ...),
// where the system keeps one apart from the locale settings of the
// environment: Windows, the user's interface language. Empty elsewhere.
std::string user_interface_language();

}  // namespace sys
