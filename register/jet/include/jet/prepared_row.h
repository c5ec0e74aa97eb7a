// Rows made ready for a table away from its writer. Checking and converting
// the values, turning text into the bytes Jet stores and computing the index
// keys need no file: a RowPreparer does it on any thread (the reading thread
// of an insert, the source's side of a move) while the writer stores the rows
// before, which leaves it placing bytes and keeping indexes.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "table_def.h"
#include "value.h"

namespace jet {

class TableWriter;

// A row's bytes as far as they need no file: the column count and fixed
// area, the null mask, and the variable fields back to back; a long value's
// slot holds its stored bytes, which become a field (inline, or a reference
// to where they are stored) when the row is laid out.
struct RowFields {
    std::vector<std::uint8_t> head;
    std::vector<std::uint8_t> mask;
    std::vector<std::uint8_t> data;
    std::vector<std::uint32_t> ends;        // where each variable slot's bytes end in data
    std::vector<std::int32_t> long_column;  // each slot's column (by ordinal) when it holds a long value, else -1
    bool var_table = false;                 // whether the row carries a table of variable offsets
};

// The definition a row was prepared for, shared by the rows of one preparer.
struct PreparedLayout {
    TableDef def;
    std::uint16_t sort_order = 0;
};

struct PreparedRow {
    // The values as the table takes them; after TableWriter::insert, as it
    // stored them (an autonumber filled in).
    std::vector<Value> values;
    // The engine's own; TableWriter::insert reads them.
    std::shared_ptr<const PreparedLayout> layout;
    bool encoded = false;  // false: insert makes the row from the values itself
    RowFields fields;
    std::vector<std::optional<std::vector<std::uint8_t>>> keys;  // per physical index
    bool keys_made = false;           // false: insert computes the keys
    std::int32_t number_column = -1;  // the AutoNumber column insert fills, by ordinal
};

class RowPreparer {
public:
    // For the writer's table as it is defined now. Without index_keys the
    // keys are left to the writer (whose thread has time to spare, as the
    // move's has while its source is read).
    explicit RowPreparer(const TableWriter& writer, bool index_keys = true);

    // Checks and converts the values as TableWriter::insert would (raising
    // the same Constraint errors, before anything changes) and makes the
    // rest of the row ready. `out`'s buffers are reused.
    void prepare(std::vector<Value> values, PreparedRow& out) const;

private:
    std::shared_ptr<const PreparedLayout> layout_;
    bool index_keys_ = true;
};

}  // namespace jet
