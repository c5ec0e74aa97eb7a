// Failures of the data access layer: an error number (Jet's where Jet has one)
// and a Russian description, as the windows show them in their error report.
// The engine's, the move's and the queries' failures are worded by the errors
// catalogue (engine_error.h).
#pragma once

#include <QString>
#include <stdexcept>

#include "errors/numbers.h"

namespace dataaccess {

// The numbers are the catalogue's (errors/numbers.h), one name for each failure.
namespace errc = errors::number;

// A name or a path as the messages quote it: «…».
inline QString quoted(const QString& s) { return QStringLiteral("«") + s + QStringLiteral("»"); }

class DataError : public std::runtime_error {
public:
    DataError(int number, const QString& description)
        : std::runtime_error(description.toStdString()), number_(number), description_(description) {}
    int number() const noexcept { return number_; }
    const QString& description() const noexcept { return description_; }

private:
    int number_;
    QString description_;
};

}  // namespace dataaccess
