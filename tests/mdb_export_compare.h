// Our reading of a table against mdb-export's (Debian package mdbtools), the
// reader we did not write: rows compared as multisets, allowing for
// mdb-export's known habits.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support.h"

namespace testing_support {

// Records gtest failures for each difference; the result says whether any arose.
::testing::AssertionResult agrees_with_mdb_export(const fs::path& db, const std::string& table);

// The lines of a text, without their line ends.
std::vector<std::string> lines(const std::string& s);

}  // namespace testing_support
