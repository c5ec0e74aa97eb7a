// Where regtool's companions lie: the module that draws the demo's
// portraits and the program that speaks to database servers. Kept apart so
// that no other command loads Qt or the server's client library.
#pragma once

#include <filesystem>
#include <string_view>
#include <vector>

namespace regtool {

// The places a companion may lie, in order: beside the program (a build),
// then the installed library folder, as the program's own folder reaches it
// (an install under any prefix) and as the build named it. On Windows,
// whose programs keep their parts beside them, beside the program alone.
std::vector<std::filesystem::path> companion_places(std::string_view name);

}  // namespace regtool
