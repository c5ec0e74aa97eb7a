// Text between the UTF-8 the rest of the program keeps and the UTF-16 of the
// Windows API. Invalid sequences become U+FFFD.
#pragma once

#include <string>
#include <string_view>

namespace sys {

std::wstring wide(std::string_view utf8);
std::string utf8(std::wstring_view text);

}  // namespace sys
