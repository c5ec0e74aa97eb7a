// write_portrait (demo_images.h) through the module that draws with Qt,
// loaded the first time a portrait is asked for.
#include "demo_images.h"
#include "companion.h"
#include "say.h"

#include <dlfcn.h>

#include <filesystem>
#include <stdexcept>
#include <system_error>
#include <vector>

namespace regtool {

namespace {

namespace fs = std::filesystem;

using Entry = int (*)(const char*, int, int, std::uint32_t, const char*);

constexpr const char* kModule = "regtool-portraits.so";

Entry load_entry() {
    std::string tried;
    for (const fs::path& place : companion_places(kModule)) {
        std::error_code ec;
        if (!fs::is_regular_file(place, ec)) continue;
        // Kept loaded for the rest of the run.
        if (void* module = ::dlopen(place.c_str(), RTLD_NOW | RTLD_LOCAL)) {
            if (void* entry = ::dlsym(module, "regtool_write_portrait")) return reinterpret_cast<Entry>(entry);
            tried += " " + place.string() + ";";
            continue;
        }
        const char* why = ::dlerror();
        tried += " " + place.string() + (why ? std::string(" (") + why + ")" : std::string()) + ";";
    }
    if (tried.empty()) {
        throw std::runtime_error(say(std::string("фотографии нарисовать нельзя: не установлен модуль ") + kModule,
                                     std::string("the photos cannot be drawn: the module ") + kModule + " is not installed"));
    }
    throw std::runtime_error(say("фотографии нарисовать нельзя: модуль не загружается:", "the photos cannot be drawn: the module "
                                                                                        "cannot be loaded:") +
                             tried);
}

}  // namespace

void write_portrait(const std::string& path, int w, int h, std::uint32_t seed, const char* format) {
    static const Entry entry = load_entry();
    switch (entry(path.c_str(), w, h, seed, format)) {
        case 0: return;
        case 1:
            throw std::runtime_error(say("у фотографии нет размера: ", "a portrait needs a positive size, not ") + std::to_string(w) +
                                     "×" + std::to_string(h));
        default: {
            const std::string as = format ? format : "?";
            throw std::runtime_error(say("не удается записать фотографию «" + path + "» в формате " + as,
                                         "cannot write the picture " + path + " as " + as));
        }
    }
}

}  // namespace regtool
