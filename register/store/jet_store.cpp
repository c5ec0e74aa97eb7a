#include "store/jet_store.h"

#include "jet/error.h"
#include "jet/row_listing.h"
#include "jet/table.h"
#include "jet/table_writer.h"
#include "logic/register.h"
#include "server/move.h"
#include "sql/result.h"

namespace store {

namespace {

// A group a cut-off move left on its way is settled before this program
// writes the file (or the write refused while it cannot be), also one whose
// other register is on a server.
jet::Database opened(const std::string& path, std::optional<std::chrono::milliseconds> lock_wait) {
    server::bind_server_moves();
    return jet::Database(path, lock_wait);
}

// The first rows at once; the rest on a thread of their own, through a
// second opening of the file (jet::RowListing).
class FileKeyset final : public Keyset {
public:
    FileKeyset(jet::Table& table, std::size_t first) : table_(table), listing_(table, first) {
        for (jet::RowId id : listing_.first_rows()) first_.emplace_back(id);
    }
    std::size_t expected() const override { return listing_.expected(); }
    bool ready() const override { return listing_.ready(); }
    std::vector<RowKey> all() override {
        const std::vector<jet::RowId> ids = listing_.all(table_);
        std::vector<RowKey> keys;
        keys.reserve(ids.size());
        for (jet::RowId id : ids) keys.emplace_back(id);
        return keys;
    }

private:
    jet::Table& table_;
    jet::RowListing listing_;
};

class FileTable final : public Table {
public:
    FileTable(jet::Database& db, jet::Table table) : db_(db), table_(std::move(table)) {}

    const std::string& name() const override { return table_.name(); }
    const std::vector<jet::Column>& columns() const override { return table_.columns(); }
    std::vector<jet::IndexSpec> indexes() const override;
    std::size_t row_count() override { return table_.row_ids().size(); }
    void check_changeable() const override {}

    std::unique_ptr<Keyset> keys(std::size_t first) override { return std::make_unique<FileKeyset>(table_, first); }
    std::optional<Row> read(const RowKey& key) override { return table_.read(*key.row_id()); }
    RowKey insert(Row row) override {
        jet::RowId id{};
        write([&](jet::TableWriter& w) {
            id = w.insert(row);
            return true;
        });
        return RowKey(id);
    }
    std::optional<RowKey> update(const RowKey& key, const Changes& changes, const Changes& /*as_read*/) override {
        const jet::RowId id = *key.row_id();
        bool found = false;
        write([&](jet::TableWriter& w) {
            std::optional<Row> row = w.read(id);
            if (!row) return false;
            found = true;
            row->resize(columns().size(), jet::Null{});
            for (const auto& [ordinal, value] : changes) (*row)[ordinal] = value;
            w.update(id, std::move(*row));
            return true;
        });
        return found ? std::optional<RowKey>(key) : std::nullopt;
    }
    bool remove(const RowKey& key) override {
        const jet::RowId id = *key.row_id();
        bool found = false;
        write([&](jet::TableWriter& w) {
            if (!w.read(id)) return false;
            found = true;
            w.remove(id);
            return true;
        });
        return found;
    }

private:
    // One change in its own write group, committed at once; a change that
    // finds nothing to do (returns false) leaves the file untouched.
    template <typename F>
    void write(F&& change) {
        jet::WriteGroup group(db_);
        if (change(group.table_at(table_.def().page))) group.commit();
    }

    jet::Database& db_;
    jet::Table table_;
};

std::vector<jet::IndexSpec> FileTable::indexes() const {
    const jet::TableDef& def = table_.def();
    std::vector<jet::IndexSpec> out;
    for (const jet::LogicalIndex& li : def.indexes) {
        if (li.physical >= def.physical_indexes.size()) continue;
        const jet::PhysicalIndex& x = def.physical_indexes[li.physical];
        jet::IndexSpec s;
        s.name = li.name;
        for (const jet::IndexColumn& ic : x.columns) {
            if (const jet::Column* c = def.column_by_number(ic.column_number)) s.columns.emplace_back(c->name, ic.ascending);
        }
        s.primary_key = li.primary_key();
        s.unique = (x.flags & jet::PhysicalIndex::kUnique) != 0;
        s.ignore_nulls = (x.flags & jet::PhysicalIndex::kIgnoreNulls) != 0;
        s.required = (x.flags & jet::PhysicalIndex::kRequired) != 0;
        out.push_back(std::move(s));
    }
    return out;
}

class FileSelection final : public Selection {
public:
    explicit FileSelection(sql::Result result) : result_(std::move(result)) {}
    const std::vector<std::string>& column_names() const override { return result_.column_names(); }
    const std::vector<jet::ColumnType>& column_types() const override { return result_.column_types(); }
    std::size_t row_count() const override { return result_.row_count(); }
    std::size_t listed() const override { return result_.listed(); }
    bool listing() const override { return result_.listing(); }
    bool settle(bool wait) override { return result_.settle(wait); }
    std::vector<Row> rows(std::size_t first, std::size_t count) override { return result_.rows(first, count); }

private:
    sql::Result result_;
};

}  // namespace

JetStore::JetStore(const std::string& path, std::optional<std::chrono::milliseconds> lock_wait) : db_(opened(path, lock_wait)) {}

std::string JetStore::folder() const { return reg::database_folder(db_.path()); }

std::unique_ptr<Table> JetStore::table(std::string_view name) { return std::make_unique<FileTable>(db_, db_.table(name)); }

std::unique_ptr<Selection> JetStore::select(const sql::Statement& statement) {
    return std::make_unique<FileSelection>(sql::Result::run(db_, statement));
}

std::string JetStore::warning(errors::Language language) const {
    return db_.journal_warning().empty() ? std::string() : errors::stray_journal_warning(db_.path(), language);
}

}  // namespace store
