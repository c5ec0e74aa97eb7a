// What the bad-input suites of the three windows (and of regtool) share: the
// persons of their registers, and the files that are no usable register.
#pragma once

#include <QString>

#include <string>
#include <vector>

#include "support.h"

namespace testing_support {

// Person i (see support.h) with this photo.
Row person(int i, const std::string& photo);

// A file that is no usable register, with a word the reason given for it holds.
struct BadFile {
    std::string label;
    fs::path path;
    std::string says;
};

// Files made here, and the fixtures of other formats when they are present
// (copied, so that nothing can touch the originals).
std::vector<BadFile> bad_files(const fs::path& dir);

// Whether a message speaks Russian only: once the names it quotes «…» and the
// names of the products it mentions are set aside, no Latin letter is left.
bool in_russian(QString message);

// A register of `rows` rows cut at a few page boundaries: just after the
// header, inside the catalog, in the middle, and one page short of the end.
std::vector<fs::path> truncated_registers(const fs::path& dir, int rows);

// A database holding only another table.
fs::path database_without_register(const fs::path& dir);

// The register table with only its first `columns` columns.
fs::path narrow_register(const fs::path& dir, std::size_t columns, int rows);

// A folder and file name with spaces, Cyrillic, ";", apostrophes and quotes.
inline const char* const kOddFolder = "папка с пробелами; 'апостроф' \"кавычки\" «ёлочки»";
inline const char* const kOddFile = "реестр; 'Р' \"К\" ё.mdb";

}  // namespace testing_support
