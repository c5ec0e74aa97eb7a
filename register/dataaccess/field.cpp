#include "dataaccess/field.h"

#include "dataaccess/recordset.h"

namespace dataaccess {

// The recordset checks the ordinal (kItemNotFound) and its own state (kClosed)
// on every call, so a Field kept past a Close, or made by hand, is safe to use.

QString Field::Name() const { return rs_->column_name(ordinal_); }

QVariant Field::Value() const {
    rs_->column_name(ordinal_);  // the ordinal first, before the row
    return rs_->current()[static_cast<std::size_t>(ordinal_)];
}

void Field::setValue(const QVariant& v) { rs_->put(ordinal_, v); }

void Field::setValue(const Field& other) { rs_->copy_value(ordinal_, *other.rs_, other.ordinal_); }

long Field::ActualSize() const { return rs_->actual_size(ordinal_); }

int Fields::Count() const { return rs_.column_count(); }

Field Fields::Item(std::int16_t ordinal) const {
    rs_.column_name(ordinal);
    return Field(rs_, ordinal);
}

}  // namespace dataaccess
