// The engine's failures in the words the programs show: a Jet error number and
// a Russian sentence chosen by the failure's kind and reason, never by the
// engine's own (English) text. A file is named by its name alone, unless the
// caller shows it otherwise (two files of one name in a move).
#pragma once

#include <QString>

#include "dataaccess/error.h"

namespace jet {
class Error;
}  // namespace jet

namespace dataaccess {

// How a file is named in messages: its name, «reg.mdb».
QString shown_file(const QString& path);

// The error for a failure of the engine on the database at path, which the
// message names as `shown` (shown_file(path) when empty).
DataError engine_error(const jet::Error& e, const QString& path, const QString& shown = {});

// What a database opened at path while a stray journal lies beside it says.
QString stray_journal_warning(const QString& path);

// Why the engine refused a value (a Constraint failure), as the end of a
// sentence: "текст длиннее, чем допускает поле «Фамилия»".
QString refusal(const jet::Error& e);

}  // namespace dataaccess
