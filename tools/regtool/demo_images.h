// Portraits for the demo register, drawn in code: head and shoulders on a
// shaded background, different for every seed. Only QImage and the raster
// paint engine are used, so no display and no QGuiApplication are needed.
//
// The drawing (demo_images.cpp) is a module of its own, regtool-portraits.so
// (regtool-portraits.dll on Windows),
// the only part of regtool that uses Qt: write_portrait loads it on first use
// from beside the program or from the installed library folder, so that no
// other command loads Qt.
#pragma once

#include <cstdint>
#include <string>

namespace regtool {

// Draws a portrait of w×h pixels and saves it at path in format "BMP", "JPG"
// or "PNG"; the same seed draws the same face. Raises std::runtime_error when
// the size is not positive, the file cannot be written or the module cannot
// be loaded.
void write_portrait(const std::string& path, int w, int h, std::uint32_t seed, const char* format);

// Loads the module, as the first portrait would: raises std::runtime_error
// when it cannot be loaded, before anything is written.
void check_portraits_drawable();

}  // namespace regtool
