// The integrity check: every table's rows can be read and agree with its row
// count, every index holds exactly the keys of the rows in key order, and every
// data page holding live rows is in its table's usage map.
#pragma once

#include <string>
#include <vector>

#include "database.h"

namespace jet {

// The problems found, one sentence each; empty when the file is sound.
std::vector<std::string> check_database(Database& db);
// The same for one table (the catalog is table MSysObjects).
std::vector<std::string> check_table(Database& db, const std::string& name);

}  // namespace jet
