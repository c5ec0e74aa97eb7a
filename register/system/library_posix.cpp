#include "system/library.h"

#include <dlfcn.h>

#include <stdexcept>

namespace sys {

std::string module_file_name(const std::string& stem) { return stem + ".so"; }

Function load_function(const std::filesystem::path& module, const char* name) {
    void* loaded = ::dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (loaded == nullptr) {
        const char* why = ::dlerror();
        throw std::runtime_error(why != nullptr ? why : "");
    }
    return reinterpret_cast<Function>(::dlsym(loaded, name));
}

}  // namespace sys
