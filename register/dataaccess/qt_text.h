// UTF-8 text of the layers below (names, paths, the register's fixed facts)
// as the windows hold it, and back.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace dataaccess {

inline QString qt_text(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

inline std::string utf8(const QString& s) { return s.toStdString(); }

}  // namespace dataaccess
