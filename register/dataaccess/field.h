// Fields of a recordset's current row, by 0-based ordinal.
#pragma once

#include <QString>
#include <QVariant>
#include <cstdint>
#include <vector>

namespace dataaccess {

class Recordset;

class Field {
public:
    Field(Recordset& rs, int ordinal) : rs_(&rs), ordinal_(ordinal) {}
    QString Name() const;
    // The current row's value: invalid QVariant for Null; QString for text,
    // int for Byte, Integer and Long, double for Double, Single, Currency and
    // Decimal, bool, QDateTime (UTC spec, no time-zone shift) for Date/Time,
    // QByteArray for binary, QString "{…}" for GUIDs. Raises kNoCurrentRecord
    // with no current row, kRowDeleted for a row another program deleted.
    QVariant Value() const;
    // Converted for the column: text takes a QString (or a number); numeric
    // columns take numbers, bool (True is -1) or a QString holding a number
    // (decimal point or comma), whole-number columns rounding to the nearest
    // (a half to even); Date/Time takes QDateTime (its own date and time, no
    // shift), QDate, QTime, a number of days, or a QString such as
    // "31.12.1999 23:59:00" or "1999-12-31"; binary takes QByteArray; a GUID
    // takes a QString "{…}". An invalid QVariant, and for columns other than
    // text an empty or blank QString, is Null. Anything else, or a number
    // outside the column's range, raises kConversion; text or bytes longer
    // than the column raise kFieldTooSmall.
    void setValue(const QVariant& v);
    // Copies other's value (as it stands when both columns are of one type).
    void setValue(const Field& other);
    // Bytes the value takes: 0 for Null and the empty string or binary; text
    // two a character; other types their stored size (Yes/No: 2).
    long ActualSize() const;

private:
    Recordset* rs_;
    int ordinal_;
};

class Fields {
public:
    explicit Fields(Recordset& rs) : rs_(rs) {}
    int Count() const;
    // Raises kItemNotFound for a negative ordinal or one at or past Count().
    Field Item(std::int16_t ordinal) const;

private:
    Recordset& rs_;
};

}  // namespace dataaccess
