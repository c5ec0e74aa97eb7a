// Failures of the data access layer: an error number (Jet's where Jet has one)
// and a Russian description, as the windows show them in their error report.
#pragma once

#include <QString>
#include <stdexcept>

namespace dataaccess {

namespace errc {
constexpr int kNoCurrentRecord = 3021;     // BOF or EOF, or the current row was deleted
constexpr int kDuplicateKey = 3022;        // a unique index already holds the value
constexpr int kFileNotFound = 3024;        // no database file at the path
constexpr int kReadOnly = 3027;            // the database or its folder may not be written
constexpr int kBadPassword = 3031;         // the database has a password
constexpr int kNoSuchTable = 3078;         // the table is not in the database
constexpr int kFieldTooSmall = 3163;       // a value longer than its column
constexpr int kRowDeleted = 3167;          // another program deleted the row
constexpr int kTypeMismatch = 3421;        // a value of the wrong type for its column
constexpr int kItemNotFound = 3265;        // no field at that ordinal or name
constexpr int kNotJet4 = 3343;             // not a database, or another format (Jet 3, .accdb)
constexpr int kDamaged = 3049;             // the file is damaged
constexpr int kUnsupported = 3251;         // not supported: this table's indexes, a read-only recordset
constexpr int kNotUpdatable = 3164;        // the column may not be changed (an autonumber of a stored row)
constexpr int kClosed = 3704;              // the object is closed
constexpr int kOpen = 3705;                // the object is already open
constexpr int kProvider = 3706;            // a provider other than Jet 4.0
constexpr int kSyntax = 3131;              // a statement the layer does not understand
constexpr int kIo = 3043;                  // a disk or network error
constexpr int kSameFile = 3045;            // one file chosen as both source and destination
constexpr int kRelatedRowsExist = 3200;    // rows of another table name this one
constexpr int kRelatedRowRequired = 3201;  // the row names a row its parent table lacks
constexpr int kInternal = 3000;            // the engine could not carry out a change; nothing was written
constexpr int kLocked = 3218;              // another program kept the file locked too long
constexpr int kStrayJournal = 3734;        // a file beside the database that is not its journal blocks changes
constexpr int kPendingMove = 3197;         // a move cut off, not yet settled, binds the database
}  // namespace errc

// A name or a path as the messages quote it: «…».
inline QString quoted(const QString& s) { return QStringLiteral("«") + s + QStringLiteral("»"); }

class DataError : public std::runtime_error {
public:
    DataError(int number, const QString& description)
        : std::runtime_error(description.toStdString()), number_(number), description_(description) {}
    int number() const noexcept { return number_; }
    const QString& description() const noexcept { return description_; }

private:
    int number_;
    QString description_;
};

}  // namespace dataaccess
