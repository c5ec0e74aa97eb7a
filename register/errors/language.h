// The language a command-line run speaks, from the user's locale settings.
#pragma once

#include "errors/catalogue.h"

namespace errors {

// The settings as the environment gives them (nullptr where unset).
struct LocaleSettings {
    const char* language = nullptr;     // LANGUAGE, a colon-separated list
    const char* lc_all = nullptr;       // LC_ALL
    const char* lc_messages = nullptr;  // LC_MESSAGES
    const char* lang = nullptr;         // LANG
    // The language of the user's desktop where the system keeps one apart
    // from the variables above (Windows: "ru", "en", ...).
    const char* desktop = nullptr;
};

// Russian when the first of LANGUAGE, LC_ALL, LC_MESSAGES and LANG that is set
// and not empty names Russian ("ru", "ru_RU.UTF-8", ...; of LANGUAGE its first
// entry), whether or not that locale is installed; when none is set (as on
// Windows, mostly), when the desktop's language is Russian; English otherwise.
Language language_of(const LocaleSettings& settings);

// language_of the process's environment and the user's desktop.
Language language_of_environment();

}  // namespace errors
