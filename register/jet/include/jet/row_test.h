// What a table's select() asks of each row.
#pragma once

#include <cstddef>
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

// Which columns' values a selection keeps of the rows it takes (by ordinal,
// in this order; a column named twice is kept twice), for at most `rows` of
// them: a caller that reads each row taken once need not read it again.
struct KeptValues {
    std::vector<std::size_t> columns;
    std::size_t rows = 0;
};

}  // namespace jet
