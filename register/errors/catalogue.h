// The one table of what each failure is called: its Jet number and its
// sentence, in Russian for the windows and in the user's language for
// regtool. Plain C++, no Qt: the data access layer turns these sentences into
// the windows' errors, regtool prints them.
#pragma once

#include <string>
#include <string_view>

namespace jet {
class Error;
}  // namespace jet

namespace errors {

enum class Language { Russian, English };

struct Message {
    int number = 0;
    std::string text;
};

// A name or a path as the messages quote it: «…».
std::string quote(std::string_view s);

// How a file is named in messages: its name, «reg.mdb» (the path itself when it has no name).
std::string shown_file(const std::string& path);

// The failure of the engine on the file e.file() names, which the message
// names as `shown` (shown_file(e.file()) when empty).
Message describe(const jet::Error& e, Language language, const std::string& shown = {});

// Why the engine refused a value (a Constraint failure), as the end of a
// sentence: "значение длиннее, чем допускает поле «Фамилия»".
std::string refusal(const jet::Error& e, Language language);
// The number a refused value (a Constraint failure) is reported under.
int refusal_number(const jet::Error& e);

// A database compacting refuses (what only Access can carry over, or an index
// the engine cannot build exactly): `shown` names it, `why` is the engine's account.
Message cannot_compact(const std::string& shown, const std::string& why, Language language);

// What a database opened at path while a stray journal lies beside it says.
std::string stray_journal_warning(const std::string& path, Language language);

}  // namespace errors
