#include "format/long_value.h"

#include "format/data_page.h"

namespace jet {

namespace {

Bytes long_value_row(PageFile& file, std::uint32_t pointer, PagePtr& keep) {
    RowId id = RowId::from_pointer(pointer);
    keep = file.page_of_type(id.page, PageType::Data, "long value");
    data_page::Slot s = data_page::slot(bytes_of(*keep), id.row);
    // A deleted row's bytes are free to be squeezed out or overwritten by the next write.
    if (s.deleted()) {
        damaged("a long value lies in a deleted row (page " + std::to_string(id.page) + ", row " + std::to_string(id.row) + ")");
    }
    return s.bytes;
}

}  // namespace

std::vector<std::uint8_t> read_long_value(PageFile& file, Bytes field) {
    need(field, 0, kLongValueHeader);
    std::uint32_t head = u32(field, 0);
    std::uint32_t length = head & kLongValueLengthMask;
    std::uint32_t pointer = u32(field, kLongValuePointer);
    std::vector<std::uint8_t> out;
    if (head & kLongValueInline) {
        Bytes data = sub(field, kLongValueHeader, length);
        out.assign(data.begin(), data.end());
        return out;
    }
    // A chain can never be longer than the file has pages.
    if (length > std::uint64_t{file.page_count()} * kPageSize) {
        damaged("a long value claims " + std::to_string(length) + " bytes, more than the file holds");
    }
    PagePtr keep;
    if (head & kLongValueSinglePage) {
        Bytes row = long_value_row(file, pointer, keep);
        Bytes data = sub(row, 0, length);
        out.assign(data.begin(), data.end());
        return out;
    }
    out.reserve(length);
    std::uint32_t hops = 0;
    while (out.size() < length) {
        if (pointer == 0 || ++hops > file.page_count()) {
            damaged("a long value's page chain ends after " + std::to_string(out.size()) + " of " + std::to_string(length) +
                    " bytes");
        }
        Bytes row = long_value_row(file, pointer, keep);
        pointer = u32(row, 0);
        Bytes data = row.subspan(4);
        std::size_t take = std::min<std::size_t>(data.size(), length - out.size());
        out.insert(out.end(), data.begin(), data.begin() + static_cast<std::ptrdiff_t>(take));
    }
    return out;
}

}  // namespace jet
