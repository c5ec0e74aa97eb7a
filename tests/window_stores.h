// The windows' suites where a register may lie either in a file or on a
// server: each such case runs on the file as written, and again on the same
// register upsized onto a new database of the test server, opened through a
// link file beside the file, so that its photos are found in the same folder.
#pragma once

#include <gtest/gtest.h>

#include <QVariant>
#include <string>
#include <vector>

#include "support.h"

namespace testing_support {

enum class Where { File, Server };

inline std::string where_name(const testing::TestParamInfo<Where>& info) {
    return info.param == Where::File ? "File" : "Server";
}

// The register the windows are to open: db itself, or a link file beside it
// (its name with .pgreg) naming db's tables copied onto the test server.
fs::path on(Where where, const fs::path& db);

// The rows of ЗУРТ as the windows read them, through the data access layer.
std::vector<std::vector<QVariant>> rows_through_access(const fs::path& reg);

}  // namespace testing_support
