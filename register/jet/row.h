// The Jet 4 row layout: a 2-byte column count, the fixed area, the variable
// area, then from the end backwards the null mask, the count of variable
// columns and their offsets (the last one marking the end of the data).
#pragma once

#include <cstdint>
#include <vector>

#include "page_file.h"
#include "table_def.h"

namespace jet {

class RowBytes {
public:
    RowBytes(Bytes row, const TableDef& def);

    bool present(const Column& c) const;           // not Null
    Bytes field(const Column& c) const;            // stored bytes; empty when absent
    std::uint16_t column_count() const { return column_count_; }

private:
    Bytes row_;
    Bytes null_mask_;
    std::uint16_t column_count_ = 0;
    std::vector<std::uint16_t> var_offsets_;       // one more than the variable columns: the last is the end
    std::size_t fixed_end_ = 0;
};

// Decodes every column of a row, in column order. Long values are read through the file.
std::vector<Value> decode_row(PageFile& file, const TableDef& def, Bytes row);
// The same into a vector kept between rows; with wanted non-empty, only the
// columns it marks (by ordinal) are decoded, the others are Null.
void decode_row(PageFile& file, const TableDef& def, Bytes row, std::vector<Value>& values,
                const std::vector<bool>& wanted = {});
// The same without the file: a wanted long value kept outside the row raises Internal.
void decode_row_alone(const TableDef& def, Bytes row, std::vector<Value>& values, const std::vector<bool>& wanted);
Value decode_value(PageFile& file, const Column& c, const RowBytes& row);

}  // namespace jet
