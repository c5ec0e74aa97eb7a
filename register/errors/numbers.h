// Jet's error numbers, one name for each failure the programs report. The
// windows show them in their error reports, regtool before its message.
#pragma once

namespace errors::number {
constexpr int kInternal = 3000;            // the engine could not carry out a change; nothing was written
constexpr int kTableExists = 3010;         // a table of that name is there already
constexpr int kNoCurrentRecord = 3021;     // BOF or EOF, or the current row was deleted
constexpr int kDuplicateKey = 3022;        // a unique index already holds the value
constexpr int kFileNotFound = 3024;        // no database file at the path
constexpr int kReadOnly = 3027;            // the database or its folder may not be written
constexpr int kBadPassword = 3031;         // the database has a password
constexpr int kNoPermission = 3033;        // the user may not use the object (a server's role)
constexpr int kIo = 3043;                  // a disk or network error
constexpr int kSameFile = 3045;            // one file chosen as both source and destination
constexpr int kDamaged = 3049;             // the file is damaged
constexpr int kSyntax = 3075;              // a statement the query language does not accept
constexpr int kNoSuchTable = 3078;         // the table is not in the database
constexpr int kBadName = 3125;             // a name the database cannot take
constexpr int kFromClause = 3131;          // a statement other than the one a recordset opens
constexpr int kServerCallFailed = 3146;    // the database server refused or broke off a call
constexpr int kServerConnectionFailed = 3151;  // no connection to the database server
constexpr int kFieldTooSmall = 3163;       // a value longer than its column
constexpr int kNotUpdatable = 3164;        // the column may not be changed (an autonumber of a stored row)
constexpr int kRowDeleted = 3167;          // another program deleted the row
constexpr int kFieldTwice = 3191;          // one column given twice in a row
constexpr int kPendingMove = 3197;         // a move cut off, not yet settled, binds the database
constexpr int kRelatedRowsExist = 3200;    // rows of another table name this one
constexpr int kRelatedRowRequired = 3201;  // the row names a row its parent table lacks
constexpr int kLocked = 3218;              // another program kept the file locked too long
constexpr int kUnsupported = 3251;         // not supported: this table's indexes, a read-only recordset
constexpr int kWriteConflict = 3260;       // another user changed the row since it was read; nothing was written
constexpr int kItemNotFound = 3265;        // no column at that ordinal or of that name
constexpr int kBadInput = 3274;            // input not in the expected format (a line that is no JSON row)
constexpr int kNotJet4 = 3343;             // not a database, or another format (Jet 3, .accdb)
constexpr int kConversion = 3421;          // a value the column's type does not take
constexpr int kTypeMismatch = 3464;        // a query's comparison of values with no common type
constexpr int kClosed = 3704;              // the object is closed
constexpr int kOpen = 3705;                // the object is already open
constexpr int kProvider = 3706;            // a provider other than Jet 4.0
constexpr int kStrayJournal = 3734;        // a file beside the database that is not its journal blocks changes
}  // namespace errors::number
