// The engine's and the register's failures in the words the windows show: a
// Jet error number and a Russian sentence from the errors catalogue, chosen by
// the failure's kind and reason, never by the engine's own (English) text.
#pragma once

#include <QString>

#include "dataaccess/error.h"
#include "errors/catalogue.h"

namespace jet {
class Error;
}  // namespace jet

namespace dataaccess {

// The window's error for a sentence of the catalogue.
DataError data_error(const errors::Message& m);

// The error for a failure of the engine on the database at path (unless the
// error names its file already), which the message names as `shown`
// (the file's name when empty).
DataError engine_error(const jet::Error& e, const QString& path, const QString& shown = {});

// What a database opened at path while a stray journal lies beside it says.
QString stray_journal_warning(const QString& path);

// Why the engine refused a value (a Constraint failure), as the end of a
// sentence: "значение длиннее, чем допускает поле «Фамилия»".
QString refusal(const jet::Error& e);

}  // namespace dataaccess
