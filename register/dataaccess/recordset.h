// A recordset over "SELECT * FROM table": a keyset cursor. Open takes the keys
// of the rows present then, in the table's own order (where they lie in a
// file, the primary key's order on a server); each row is read from the
// register's store when it is first needed after a move, and kept until the
// next move or write, so changes by other programs show, and a row another
// program deleted raises kRowDeleted when read. Changes (AddNew, Update,
// Delete) reach the register at once, each in its own write.
//
// A pending change (values put into the current row, or a new row after
// AddNew) is stored by Update, and also before any move, AddNew or Close, as
// the platform does. A change the register refuses raises its error and is
// dropped: the row stays as it was, and after a refused new row the position
// is where it was before AddNew. An edit stores only the columns put into,
// over the row as the register holds it at that moment, so a change another
// program made to other columns is kept. On a server register, shared by
// offices, an edit of a column another program changed since the row was
// read is refused (kWriteConflict) with nothing written, and the row is read
// again at the next access. A server's table without a primary key is only
// read.
//
// The cursor is always a keyset cursor, whatever cursor type is asked for.
// Lock type 1 (read only, the platform's default) refuses AddNew, Update,
// Delete and putting values with kUnsupported; the other lock types write.
//
// The platform's names are kept; EOF is a macro of the C library, so the two
// end tests are Bof() and Eof().
#pragma once

#include <QString>
#include <QVariant>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "dataaccess/connection.h"
#include "dataaccess/field.h"

namespace dataaccess {

class Recordset {
public:
    Recordset();
    // Closes an open recordset; a pending change is dropped (nothing is
    // written while destroying).
    ~Recordset();
    Recordset(const Recordset&) = delete;
    Recordset& operator=(const Recordset&) = delete;

    // Set before Open.
    void setActiveConnection(Connection* c) { connection_ = c; }
    void setSource(const QString& sql) { source_ = sql; }
    void setCursorType(int t) { cursor_type_ = t; }        // 1: keyset
    void setLockType(int t) { lock_type_ = t; }            // 3: optimistic
    void setCursorLocation(int l) { cursor_location_ = l; } // 2: server side

    // The arguments -1 keep the properties set above (others replace them).
    // Raises kOpen when already open, kClosed without an open connection,
    // kFromClause for a statement other than SELECT * FROM table (the name plain
    // or in brackets, a closing ";" allowed), kNoSuchTable.
    void Open(int cursor_type = -1, int lock_type = -1, int options = -1);
    int State() const { return open_ ? 1 : 0; }
    // Raises kClosed when already closed. A pending change is stored first;
    // when that fails the recordset still closes, and then raises the error.
    void Close();

    long RecordCount() const;  // rows present, those deleted through this recordset excluded
    // Both are true for an empty recordset. After the last row left was
    // deleted they stay false until the next move. Both are false while a new
    // row is pending.
    bool Bof() const;
    bool Eof() const;
    // Rows deleted through this recordset are passed over.
    void MoveFirst();     // raises kNoCurrentRecord when there are no rows
    void MoveLast();      // raises kNoCurrentRecord when there are no rows
    void MoveNext();      // raises kNoCurrentRecord at Eof
    void MovePrevious();  // raises kNoCurrentRecord at Bof

    // A pending new row, all Null (Yes/No columns No); Update (or moving
    // away) stores it as the last row, which becomes the current row.
    void AddNew();
    // Stores the values put into the current row (or the pending new row);
    // nothing happens when nothing is pending.
    void Update();
    // Deletes the current row from the file; the position stays on it until a
    // move, and reading it raises kNoCurrentRecord. With a new row pending,
    // Delete drops that row instead. Only affect_records 1 (the current row)
    // is supported.
    void Delete(int affect_records = 1);

    Fields& fields();  // raises kClosed when closed

    // For the fields: the current row's values (read from the file when
    // needed), with the values put into it; the pending new row while AddNew
    // is pending.
    const std::vector<QVariant>& current();
    // Puts a value into the current row (or the pending new row), converted
    // for the column; raises kConversion, kFieldTooSmall, kNotUpdatable.
    void put(int ordinal, const QVariant& v);
    const QString& column_name(int ordinal) const;
    int column_count() const;

private:
    friend class Connection;
    friend class Field;
    struct Impl;

    // For Field: the bytes the current value takes, and a value copied from
    // another field as it stands when both columns are of one type (no loss
    // through QVariant for Currency and Decimal).
    long actual_size(int ordinal);
    void copy_value(int ordinal, Recordset& from, int from_ordinal);
    // Ends the open state; with store, a pending change is stored first
    // (a failure is raised after closing), otherwise it is dropped.
    void close_now(bool store);
    Impl& open_impl() const;

    std::unique_ptr<Impl> d_;
    Fields fields_{*this};
    Connection* connection_ = nullptr;
    QString source_;
    int cursor_type_ = 0, lock_type_ = 1, cursor_location_ = 2;
    bool open_ = false;
};

}  // namespace dataaccess
