#include "errors/language.h"

#include <cstdlib>
#include <string>
#include <string_view>

#include "system/user.h"

namespace errors {

namespace {

// A locale name that names Russian: "ru" alone, or followed by a territory,
// codeset or modifier ("ru_RU", "ru.UTF-8", "ru@...").
bool names_russian(std::string_view name) {
    if (name.substr(0, 2) != "ru") return false;
    return name.size() == 2 || name[2] == '_' || name[2] == '.' || name[2] == '@';
}

}  // namespace

Language language_of(const LocaleSettings& settings) {
    for (const char* value : {settings.language, settings.lc_all, settings.lc_messages, settings.lang}) {
        if (value == nullptr || *value == '\0') continue;
        std::string_view name(value);
        if (value == settings.language) name = name.substr(0, name.find(':'));
        return names_russian(name) ? Language::Russian : Language::English;
    }
    return settings.desktop != nullptr && names_russian(settings.desktop) ? Language::Russian : Language::English;
}

Language language_of_environment() {
    const std::string desktop = sys::user_interface_language();
    return language_of({std::getenv("LANGUAGE"), std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"), std::getenv("LANG"), desktop.c_str()});
}

}  // namespace errors
