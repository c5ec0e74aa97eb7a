// What the suites over the data access layer share: a connection string for
// a register, and the number of the DataError a call raises.
#pragma once

#include <QString>
#include <functional>
#include <string>

#include "dataaccess/error.h"

namespace testing_support {

inline QString q(const std::string& s) { return QString::fromStdString(s); }

// The connection string the windows build for a register (file, link or URI).
inline QString source(const std::string& name) {
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + q(name) + QStringLiteral(";Persist Security Info=False");
}

// The number of the DataError f raises (0 for none); its description into *text.
inline int error_of(const std::function<void()>& f, QString* text = nullptr) {
    try {
        f();
    } catch (const dataaccess::DataError& e) {
        if (text) *text = e.description();
        return e.number();
    }
    return 0;
}

}  // namespace testing_support
