// The Jet 4 row layout: a 2-byte column count, the fixed area, the variable
// area, then from the end backwards the null mask, the count of variable
// columns and their offsets (the last one marking the end of the data).
#pragma once

#include <cstdint>
#include <vector>

#include "storage/page_file.h"
#include "jet/table_def.h"

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
    // The table of variable-column offsets, read where it lies: var_count_ + 1
    // offsets (the last marks the end), the first at var_table_ - 2.
    std::size_t var_table_ = 0;
    std::size_t var_count_ = 0;
    bool has_var_table_ = false;
    std::size_t fixed_end_ = 0;

    // Offset i of the table, i <= var_count_: the constructor found the whole
    // table inside the row, so it is read without checking again.
    std::uint16_t var_offset(std::size_t i) const {
        const std::uint8_t* p = row_.data() + var_table_ - 2 - 2 * i;
        return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
    }
};

// Decodes every column of a row, in column order. Long values are read through the file.
std::vector<Value> decode_row(PageFile& file, const TableDef& def, Bytes row);
// The same into a vector kept between rows; with wanted non-empty, only the
// columns it marks (by ordinal) are decoded, the others are Null.
void decode_row(PageFile& file, const TableDef& def, Bytes row, std::vector<Value>& values,
                const std::vector<bool>& wanted = {});
// Decodes the same columns of many rows into one vector kept between them: the
// wanted ones are decoded, the others are made Null on the first row and left
// so. With file null, a wanted long value kept outside the row raises Internal.
class RowDecoder {
public:
    RowDecoder(const TableDef& def, const std::vector<bool>& wanted);  // wanted empty: every column
    void decode(PageFile* file, Bytes row, std::vector<Value>& values) const;

private:
    const TableDef& def_;
    std::vector<std::size_t> columns_;
};

Value decode_value(PageFile& file, const Column& c, const RowBytes& row);

}  // namespace jet
