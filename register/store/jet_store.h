// A register kept in a Jet file: the store over jet::Database. Moves a
// cut-off move left behind are settled before any write (reg::bind_moves),
// every change is a write group of its own, and each waits for other
// programs' locks as long as the database is told.
#pragma once

#include <memory>

#include "jet/database.h"
#include "store/store.h"

namespace store {

class JetStore final : public Store {
public:
    // Raises jet::Error when the file cannot be opened.
    explicit JetStore(const std::string& path, std::optional<std::chrono::milliseconds> lock_wait = std::nullopt);

    jet::Database& database() { return db_; }

    const std::string& name() const override { return db_.path(); }
    std::string folder() const override;
    std::vector<std::string> tables() override { return db_.user_tables(); }
    std::unique_ptr<Table> table(std::string_view name) override;
    std::unique_ptr<Selection> select(const sql::Statement& statement) override;
    std::string warning(errors::Language language) const override;
    void set_lock_wait(std::chrono::milliseconds wait) override { db_.set_lock_wait(wait); }

private:
    jet::Database db_;
};

}  // namespace store
