// write_portrait (demo_images.h) through the module that draws with Qt,
// loaded the first time a portrait is asked for.
#include "demo_images.h"
#include "companion.h"
#include "say.h"
#include "system/library.h"
#include "system/utf8_path.h"

#include <filesystem>
#include <stdexcept>
#include <system_error>
#include <vector>

namespace regtool {

namespace {

namespace fs = std::filesystem;

using Entry = int (*)(const char*, int, int, std::uint32_t, const char*);

Entry load_entry() {
    const std::string module = sys::module_file_name("regtool-portraits");
    std::string tried;
    for (const fs::path& place : companion_places(module)) {
        std::error_code ec;
        if (!fs::is_regular_file(place, ec)) continue;
        try {
            if (sys::Function found = sys::load_function(place, "regtool_write_portrait")) return reinterpret_cast<Entry>(found);
            tried += " " + sys::utf8_of(place) + ";";
        } catch (const std::runtime_error& e) {
            const std::string why = e.what();
            tried += " " + sys::utf8_of(place) + (why.empty() ? std::string() : " (" + why + ")") + ";";
        }
    }
    if (tried.empty()) {
        throw std::runtime_error(say("фотографии нарисовать нельзя: не установлен модуль " + module,
                                     "the photos cannot be drawn: the module " + module + " is not installed"));
    }
    throw std::runtime_error(say("фотографии нарисовать нельзя: модуль не загружается:", "the photos cannot be drawn: the module "
                                                                                        "cannot be loaded:") +
                             tried);
}

// Loaded once, on first use, and kept for the rest of the run.
Entry entry() {
    static const Entry loaded = load_entry();
    return loaded;
}

}  // namespace

void check_portraits_drawable() { entry(); }

void write_portrait(const std::string& path, int w, int h, std::uint32_t seed, const char* format) {
    switch (entry()(path.c_str(), w, h, seed, format)) {
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
