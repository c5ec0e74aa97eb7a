// regtool's own sentences in the one language of this run: Russian where the
// user's locale settings name it, English otherwise (errors/language.h).
#pragma once

#include <cstdio>
#include <string>

#include "errors/catalogue.h"
#include "errors/language.h"
#include "jet/error.h"

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

// A failure of one line of input, with the line's number.
inline void print_line_error(const errors::Message& m, std::size_t line) {
    std::fprintf(stderr, "regtool: %s %d: %s%zu: %s\n", say("ошибка", "error").c_str(), m.number, say("строка ", "line ").c_str(), line,
                 m.text.c_str());
}

// An engine failure in this run's language, the file named by its path as
// given; in English, the engine's own account follows.
inline errors::Message engine_message(const jet::Error& e) {
    errors::Message m = errors::describe(e, run_language(), e.file());
    if (run_language() == errors::Language::English) m.text += std::string(" (") + e.what() + ")";
    return m;
}

}  // namespace regtool
