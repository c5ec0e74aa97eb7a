// A connection to a register database, opened with a connection string of the
// form "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=PATH;..." exactly as the
// programs build it: the path is taken as it stands, unquoted. PATH names a
// Jet file, or a register on a server: a link file (.pgreg) or a
// postgresql:// URI. Either is reached through its store (store/store.h).
#pragma once

#include <QString>
#include <chrono>
#include <memory>
#include <optional>
#include <vector>

namespace jet {
class Database;
class Error;
}  // namespace jet
namespace store {
class Store;
}  // namespace store

namespace dataaccess {

class DataError;
class Recordset;

// What Connection::Warning says of a database opened at path, for the
// programs that open the engine's database themselves.
QString warning_for(const jet::Database& db, const QString& path);

class Connection {
public:
    Connection();
    // Recordsets still open on the connection are closed; a change pending
    // in one of them is dropped (nothing is written while destroying).
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Raises DataError: kOpen when already open, kProvider for another
    // provider or a string without a data source, kFileNotFound, kNotJet4,
    // kBadPassword, kDamaged, kIo; for a server register the catalogue's
    // (kServerConnectionFailed when it cannot be reached, its link is bad or
    // the server refuses). User, password and options are not used.
    void Open(const QString& connection_string, const QString& user = {}, const QString& password = {}, int options = -1);
    // 1 while open, 0 when closed.
    int State() const;
    // Closing a closed connection raises kClosed, as the platform's does.
    // The recordsets open on it are closed first, each storing a pending
    // change as Recordset::Close does; the connection closes even when one
    // of them fails, and the first such failure is raised afterwards.
    void Close();

    // The database path found in the last connection string opened.
    const QString& path() const { return path_; }
    // The folder that plays the database folder's part for photo paths: the
    // file's or the link file's, the current folder for a URI. Raises kClosed.
    QString folder() const;
    // The open file's database; raises kClosed when the connection is
    // closed, kUnsupported for a register on a server.
    jet::Database& database();

    // The error a failure of the engine means for the database at path.
    static DataError error_for(const jet::Error& e, const QString& path);

    // What the user should know about the open database although it reads
    // (a file beside it that is not its journal blocks every change), or empty.
    QString Warning() const;

    // How long a read or a write waits for another program before it is
    // refused (kLocked); a few seconds unless set. Kept across Open.
    void set_lock_wait(std::chrono::milliseconds wait);

private:
    friend class Recordset;
    void attach(Recordset* rs);
    void detach(Recordset* rs);
    store::Store& store();

    std::unique_ptr<store::Store> store_;
    QString path_;
    std::optional<std::chrono::milliseconds> lock_wait_;
    std::vector<Recordset*> recordsets_;  // open on this connection
};

// The value of "Data Source=" in a connection string: everything after it up
// to the next known key (";Jet OLEDB:", ";Persist Security Info=", ";User ID=",
// ";Mode=", ";Provider=", ";Password=", keys in any case) or the end, so that
// a path holding ";" still reaches the file; a single ";" closing the whole
// string is not part of the path. Raises kProvider when the provider is not
// Jet 4.0 (compared in any case) or there is no data source.
QString data_source(const QString& connection_string);

}  // namespace dataaccess
