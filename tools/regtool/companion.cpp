#include "companion.h"

#include "system/process.h"

namespace regtool {

namespace fs = std::filesystem;

std::vector<fs::path> companion_places(std::string_view name) {
    std::vector<fs::path> places;
    const fs::path program = sys::program_path();
    if (!program.empty()) places.push_back(program.parent_path() / name);
#ifdef REGTOOL_MODULE_DIR
    if (!program.empty()) places.push_back(program.parent_path() / REGTOOL_MODULE_DIR_FROM_BIN / name);
    places.push_back(fs::path(REGTOOL_MODULE_DIR) / name);
#endif
    return places;
}

}  // namespace regtool
