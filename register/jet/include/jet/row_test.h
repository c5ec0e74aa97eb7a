// What a table's select() asks of each row.
#pragma once

#include <functional>
#include <vector>

#include "value.h"

namespace jet {

// A test of rows. A test of several conditions that must all hold may name
// the columns its first condition reads and that condition alone: a row it
// rejects is passed over without decoding the other columns.
struct RowTest {
    std::function<bool(const std::vector<Value>&)> test;    // on the wanted columns: whether the row is taken
    std::vector<bool> first_wanted;                         // empty: no first look
    std::function<bool(const std::vector<Value>&)> first;   // false: the row is not taken
};

}  // namespace jet
