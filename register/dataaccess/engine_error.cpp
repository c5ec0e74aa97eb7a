#include "dataaccess/engine_error.h"

#include "jet/error.h"

namespace dataaccess {

DataError data_error(const errors::Message& m) { return DataError(m.number, QString::fromStdString(m.text)); }

DataError engine_error(const jet::Error& e, const QString& path, const QString& shown) {
    jet::Error named = e;
    named.about_file(path.toStdString());
    return data_error(errors::describe(named, errors::Language::Russian, shown.toStdString()));
}

QString stray_journal_warning(const QString& path) {
    return QString::fromStdString(errors::stray_journal_warning(path.toStdString(), errors::Language::Russian));
}

QString refusal(const jet::Error& e) { return QString::fromStdString(errors::refusal(e, errors::Language::Russian)); }

}  // namespace dataaccess
