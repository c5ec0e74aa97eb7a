// The register's move for the windows: paths as the windows hold them, and
// failures as the windows report them (DataError).
#pragma once

#include <QString>
#include <cstddef>

#include "logic/move.h"

namespace dataaccess {

// reg::move_register between the files at these paths; its failures, the
// engine's and the move's own, raise DataError with the catalogue's number
// and Russian sentence.
std::size_t move_register(const QString& source, const QString& destination, const reg::MoveOptions& options = {});

}  // namespace dataaccess
