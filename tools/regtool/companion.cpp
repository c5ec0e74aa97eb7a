#include "companion.h"

#include <system_error>

namespace regtool {

namespace fs = std::filesystem;

std::vector<fs::path> companion_places(std::string_view name) {
    std::vector<fs::path> places;
    std::error_code ec;
    const fs::path program = fs::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        places.push_back(program.parent_path() / name);
        places.push_back(program.parent_path() / REGTOOL_MODULE_DIR_FROM_BIN / name);
    }
    places.push_back(fs::path(REGTOOL_MODULE_DIR) / name);
    return places;
}

}  // namespace regtool
