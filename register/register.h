// The register's fixed facts: its table, the connection strings the programs
// build, the database folder, and where a stored photo name leads on disk.
#pragma once

#include <QString>

namespace reg {

inline const QString kTable = QStringLiteral("ЗУРТ");
inline const QString kSelectAll = QStringLiteral("SELECT * FROM ЗУРТ");
inline const QString kDatabaseFilter = QStringLiteral("*.mdb ( базы данных Access )|*.mdb|");
constexpr int kPhotoColumn = 24;

// "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + path + ";Jet OLEDB:Database Password="
QString viewer_connection_string(const QString& database_path);
// "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + path + ";Persist Security Info=False"
QString browser_connection_string(const QString& database_path);

// The database path up to, not including, its last "/" ("" when there is none).
QString database_folder(const QString& database_path);

// An ordinary file: a regular file whose name does not begin with a dot.
bool is_ordinary_file(const QString& path);

// The file a stored photo name names: the database folder, "/", and the name
// with its "\" separators turned into "/". Where that exact file is missing, a
// file in the same folder whose name differs only in letter case (as Windows
// would find it), folder names included. Empty when there is no ordinary file.
QString find_photo(const QString& database_folder, const QString& stored_name);

}  // namespace reg
