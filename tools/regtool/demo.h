// `regtool demo DIR`: a register to try the programs on. DIR/demo.mdb holds
// table ЗУРТ with about fifty persons; their photographs lie beside it, some
// in DIR/foto.
#pragma once

#include <cstdint>
#include <string>

namespace regtool {

inline constexpr std::uint32_t kDemoSeed = 1;

// Makes dir and dir/foto as needed, draws the photographs, then writes the
// database under a temporary name and names it demo.mdb only once it is
// complete. Refuses (std::runtime_error) when dir/demo.mdb already exists;
// raises jet::Error or std::runtime_error when a file cannot be written.
void write_demo(const std::string& dir, std::uint32_t seed = kDemoSeed);

}  // namespace regtool
