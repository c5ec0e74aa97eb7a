#include "system/library.h"

#include <windows.h>

#include <stdexcept>
#include <system_error>

namespace sys {

std::string module_file_name(const std::string& stem) { return stem + ".dll"; }

Function load_function(const std::filesystem::path& module, const char* name) {
    // The libraries the module needs are looked for beside it first.
    const HMODULE loaded = LoadLibraryExW(module.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (loaded == nullptr) throw std::runtime_error(std::system_category().message(static_cast<int>(GetLastError())));
    return reinterpret_cast<Function>(GetProcAddress(loaded, name));
}

}  // namespace sys
