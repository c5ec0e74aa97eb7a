// regtool's own sentences in the one language of this run: Russian where the
// user's locale settings name it, English otherwise (errors/language.h).
#pragma once

#include <cstdio>
#include <string>

#include "errors/language.h"

namespace regtool {

inline errors::Language run_language() {
    static const errors::Language language = errors::language_of_environment();
    return language;
}

inline std::string say(const std::string& russian, const std::string& english) {
    return run_language() == errors::Language::Russian ? russian : english;
}

// A failure, as regtool reports it: its number and sentence, one line on standard error.
inline void print_error(const errors::Message& m) {
    std::fprintf(stderr, "regtool: %s %d: %s\n", say("ошибка", "error").c_str(), m.number, m.text.c_str());
}

}  // namespace regtool
