// The register's fixed facts: its table, the connection strings the programs
// build, the database folder, and where a stored photo name leads on disk.
// Paths and names are UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace reg {

inline constexpr std::string_view kTable = "ЗУРТ";
inline constexpr std::string_view kSelectAll = "SELECT * FROM ЗУРТ";
inline constexpr std::string_view kDatabaseFilter = "*.mdb ( базы данных Access )|*.mdb|";
// What the windows' dialogs offer for a register: files, and beside them the
// link files that name a register on a server.
inline constexpr std::string_view kRegisterFilter = "*.mdb ( базы данных Access )|*.mdb|Регистр на сервере|*.pgreg|";
constexpr int kPhotoColumn = 24;

// "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + path + ";Jet OLEDB:Database Password="
std::string viewer_connection_string(std::string_view database_path);
// "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + path + ";Persist Security Info=False"
std::string browser_connection_string(std::string_view database_path);

// The database path up to, not including, its last "/" ("" when there is none).
std::string database_folder(std::string_view database_path);

// An ordinary file: a regular file (links followed) whose name does not begin with a dot.
bool is_ordinary_file(const std::string& path);

// The file a stored photo name names: the database folder, "/", and the name
// with its "\" separators turned into "/". Where that exact file is missing, a
// file in the same folder whose name differs only in letter case (as Windows
// would find it), folder names included. Empty when there is no ordinary file.
std::string find_photo(const std::string& database_folder, const std::string& stored_name);

}  // namespace reg
