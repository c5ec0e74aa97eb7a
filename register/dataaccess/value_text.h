// A value as text, the one conversion the card and the export share: Russian
// conventions (dd.MM.yyyy dates, with the time when there is one, or the time
// alone on day zero; decimal comma; no grouping); booleans as True/False.
#pragma once

#include <QString>
#include <QVariant>

namespace dataaccess {

QString value_text(const QVariant& v);

}  // namespace dataaccess
