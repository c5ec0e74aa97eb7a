// Jet's LIKE and its letter-case-blind text equality as the server's regular
// expressions (POSIX, as PostgreSQL runs them with `~`), matching exactly the
// texts the file matches: every character of the pattern becomes the set of
// all characters jet::fold_case makes equal to it, classes and ranges are
// widened the same way, "%" is ".*" and "_" is ".", and the whole is
// anchored (at an end that is not "%"). Every character is written as an escape (\uXXXX, \UXXXXXXXX),
// so nothing a user typed is special in it. The server's expression must
// compare under the "C" collation (a nondeterministic one refuses regular
// expressions); "." and a negated class take a newline there.
#pragma once

#include <string>
#include <string_view>

#include "sql/like.h"

namespace server {

std::string like_regex(const sql::LikePattern& pattern);

// Text equal to `text` letter case aside, as the file compares texts.
std::string equal_text_regex(std::string_view text);

}  // namespace server
