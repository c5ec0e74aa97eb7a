// Portraits for the demo register, drawn in code: head and shoulders on a
// shaded background, different for every seed. Only QImage and the raster
// paint engine are used, so no display and no QGuiApplication are needed.
#pragma once

#include <cstdint>
#include <string>

namespace regtool {

// Draws a portrait of w×h pixels and saves it at path in format "BMP", "JPG"
// or "PNG"; the same seed draws the same face. Raises std::runtime_error when
// the size is not positive or the file cannot be written.
void write_portrait(const std::string& path, int w, int h, std::uint32_t seed, const char* format);

}  // namespace regtool
