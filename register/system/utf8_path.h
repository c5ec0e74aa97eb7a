// File names between std::filesystem::path and the UTF-8 text the program
// keeps them in. A path made from a plain std::string reads it in the
// system's narrow encoding, which on Windows is a code page, not UTF-8; these
// read and give UTF-8 everywhere.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace sys {

inline std::filesystem::path path_from_utf8(std::string_view text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

inline std::string utf8_of(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

}  // namespace sys
