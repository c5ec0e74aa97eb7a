// Where a register's tables are kept, as the data access layer sees it: a
// Jet file (jet_store.h) or a database on a PostgreSQL server
// (server_store.h). The layer above asks the store for tables, rows by key
// and SELECTs, and never learns which of the two it has. Plain C++, no Qt.
//
// Failures pass through as the store's own: jet::Error from a file,
// server::Error from a server, sql::Error from a statement; the layer above
// words them (the catalogue has the sentence of each).
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "errors/catalogue.h"
#include "jet/create.h"
#include "jet/table_def.h"
#include "jet/value.h"
#include "store/row_key.h"

namespace sql {
struct Statement;
}

namespace store {

using Row = std::vector<jet::Value>;
// The columns an edit puts into a row, by ordinal, with their new values.
using Changes = std::vector<std::pair<std::size_t, jet::Value>>;

// The keys of a table's rows in its order, for a keyset cursor: the first
// ones at once, the rest when they are wanted.
class Keyset {
public:
    virtual ~Keyset() = default;
    const std::vector<RowKey>& first() const { return first_; }
    // The number of rows the store counts for the table (exact unless the
    // table changes meanwhile).
    virtual std::size_t expected() const = 0;
    // Whether all() has its answer without waiting or reading more.
    virtual bool ready() const = 0;
    // Every key, waiting or reading for them when need be. Called once.
    virtual std::vector<RowKey> all() = 0;

protected:
    std::vector<RowKey> first_;
};

// A table of a store, opened by name. Each change is made whole or not at
// all, and nothing is held between calls (no lock, no transaction).
class Table {
public:
    virtual ~Table() = default;
    // As the store spells it.
    virtual const std::string& name() const = 0;
    // Types as the values are read; sizes, AutoNumbers and fixed lengths as a file gives them.
    virtual const std::vector<jet::Column>& columns() const = 0;
    // The indexes under the names the file gave them.
    virtual std::vector<jet::IndexSpec> indexes() const = 0;
    virtual std::size_t row_count() = 0;
    // Raises when the table's rows cannot be changed through this store
    // (a server's table without a primary key).
    virtual void check_changeable() const = 0;

    // The keys in the table's order: where the rows lie in a file, the
    // primary key's order on a server. `first` of them are read at once.
    virtual std::unique_ptr<Keyset> keys(std::size_t first) = 0;
    // The row's values in column order; nothing once it is deleted.
    virtual std::optional<Row> read(const RowKey& key) = 0;
    // Stores a row (values in column order, Null for an AutoNumber to give);
    // the new row's key.
    virtual RowKey insert(Row row) = 0;
    // Puts the changed columns over the row, the others kept; the row's key
    // after it (changed when its primary key was), or nothing when the row
    // is gone. `as_read` holds what those columns held when the row was read:
    // on a server, shared by offices, the row is written only while it still
    // holds that, and otherwise raises server::Error RowChanged with nothing
    // written, so that no office's change is overwritten unseen; another
    // office's change to other columns is kept. A file's programs meet at its
    // lock, and the change goes over the row as it stands then, as before.
    virtual std::optional<RowKey> update(const RowKey& key, const Changes& changes, const Changes& as_read) = 0;
    // False when the row was gone already.
    virtual bool remove(const RowKey& key) = 0;
};

// The rows a SELECT found, for a grid: read a screen at a time.
class Selection {
public:
    virtual ~Selection() = default;
    virtual const std::vector<std::string>& column_names() const = 0;
    virtual const std::vector<jet::ColumnType>& column_types() const = 0;
    // The rows found (while a listing is on its way, the count it expects),
    // and how many are listed so far.
    virtual std::size_t row_count() const = 0;
    virtual std::size_t listed() const = 0;
    virtual bool listing() const = 0;
    // Takes the whole listing once it is at hand (waiting when wait is
    // true); true when it differs from what was shown before.
    virtual bool settle(bool wait) = 0;
    virtual std::vector<Row> rows(std::size_t first, std::size_t count) = 0;
};

class Store {
public:
    virtual ~Store() = default;
    // The register's name as the user gave it: a file's path, a link file's
    // path, a URI.
    virtual const std::string& name() const = 0;
    // The folder that plays the database folder's part for photo paths.
    virtual std::string folder() const = 0;
    // The user tables, in the order they were made.
    virtual std::vector<std::string> tables() = 0;
    // Found as a file finds names (letter case aside). A missing table
    // raises jet::Error NoSuchTable, or server::Error TableMissing.
    virtual std::unique_ptr<Table> table(std::string_view name) = 0;
    // Runs a parsed SELECT of the browser.
    virtual std::unique_ptr<Selection> select(const sql::Statement& statement) = 0;
    // What the user should know although the register reads, or empty.
    virtual std::string warning(errors::Language language) const = 0;
    // How long a file waits for another program's lock (a server has no such wait).
    virtual void set_lock_wait(std::chrono::milliseconds wait) = 0;
};

// Whether a register's name points at a server: a .pgreg link or a postgresql:// URI.
bool names_server(const std::string& name);

// A server register's store for such a name, a file's for any other.
// lock_wait: a file's wait for other programs (the process's default unless given).
std::unique_ptr<Store> open_store(const std::string& name, std::optional<std::chrono::milliseconds> lock_wait = std::nullopt);

}  // namespace store
