// A register on a PostgreSQL server: the store over server::Connection.
// Every value goes as a bound parameter; rows are found by their table's
// primary key (a table without one is read only), an edit writes only the
// columns it changed, and each change is one statement of its own, so that
// no transaction is held between calls and a lost connection leaves
// nothing half-written; the call that finds the connection lost reports it,
// the next opens it again. An edit is written only while the row still
// holds what was read in the columns it changes (Table::update), and a
// statement the server turns back on a conflict is run again
// (server/connection.h).
#pragma once

#include "server/connection.h"
#include "store/store.h"

namespace store {

class ServerStore final : public Store {
public:
    // name: a link file (.pgreg) or a postgresql:// URI. Raises
    // server::Error (BadLink, PasswordInLink, Unreachable, ...).
    explicit ServerStore(const std::string& name);

    server::Connection& connection() { return c_; }

    const std::string& name() const override { return name_; }
    // The link file's folder; the current folder for a URI.
    std::string folder() const override;
    std::vector<std::string> tables() override;
    std::unique_ptr<Table> table(std::string_view name) override;
    std::unique_ptr<Selection> select(const sql::Statement& statement) override;
    std::string warning(errors::Language) const override { return {}; }
    void set_lock_wait(std::chrono::milliseconds) override {}

private:
    std::string name_;
    server::Connection c_;
};

}  // namespace store
