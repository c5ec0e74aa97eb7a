// Modules (shared libraries) loaded while the program runs: parts that only
// some commands need, so that the others do not load what those bring.
#pragma once

#include <filesystem>
#include <string>

namespace sys {

// What a module's function is handed over as; cast to its real type.
using Function = void (*)();

// The name a module's file has on this system: the stem with ".so", or
// ".dll" on Windows.
std::string module_file_name(const std::string& stem);

// Loads the module at path, kept loaded for the rest of the run, and finds
// its function of that name: null when the module has none. Raises
// std::runtime_error, with the system's reason as its text (possibly empty),
// when the module cannot be loaded.
Function load_function(const std::filesystem::path& module, const char* name);

}  // namespace sys
