// Files by their paths, as the layers above the engine ask about them:
// which file a path names, what lies at a path, the folder it lies in.
// Through the default platform (platform.h); no descriptors.
#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace jet::disk {

// Which file a path names (links followed): the same for every path to it.
struct FileId {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    auto operator<=>(const FileId&) const = default;
};
std::optional<FileId> identify(const std::string& path);

// What lies at a path itself, a link not followed.
enum class Entry { None, Regular, Folder, Link, Other };
Entry entry_at(const std::string& path);

// What ends a folder's name in a path: Windows takes either slash.
#ifdef _WIN32
inline constexpr std::string_view kPathSeparators = "/\\";
#else
inline constexpr std::string_view kPathSeparators = "/";
#endif
// Where the name at the end of path begins (0 when it names no folder).
std::size_t name_start(std::string_view path);
// The folder a path lies in: "." for a bare name, the root for a name in it
// ("/"; "C:\\" on Windows).
std::string folder_of(const std::string& path);

}  // namespace jet::disk
