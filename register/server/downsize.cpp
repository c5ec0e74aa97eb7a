#include <algorithm>
#include <filesystem>
#include <optional>

#include "catalog.h"
#include "connection.h"
#include "jet/create.h"
#include "jet/database.h"
#include "server_error.h"
#include "transfer.h"
#include "values.h"

namespace server {

namespace {

constexpr std::size_t kRowsPerGroup = 1000;

// Removes the file (and a journal beside it) unless told the file is finished.
class Unfinished {
public:
    explicit Unfinished(std::string path) : path_(std::move(path)) {}
    ~Unfinished() {
        if (!done_) {
            std::error_code ignored;
            std::filesystem::remove(path_ + "-journal", ignored);
            std::filesystem::remove(path_, ignored);
        }
    }
    Unfinished(const Unfinished&) = delete;
    Unfinished& operator=(const Unfinished&) = delete;
    void done() { done_ = true; }

private:
    std::string path_;
    bool done_ = false;
};

// Copies one table's rows, a group at a time; the hashes of the rows read.
std::vector<std::uint64_t> copy_rows(Connection& from, jet::Database& db, const ServerTable& t, const ProgressFn& progress) {
    std::vector<std::uint64_t> hashes;
    std::optional<jet::WriteGroup> group;
    Progress p{t.spec.name, 0, 0};
    std::vector<jet::Value> row(t.columns.size());
    from.stream(select_sql(t, t.order_by), {},
                [&](const Result& r) {
                    for (std::size_t i = 0; i < t.columns.size(); ++i) {
                        const int at = static_cast<int>(i);
                        row[i] = r.is_null(0, at) ? jet::Value{} : value_from_text(t.columns[i], r.text(0, at));
                    }
                    hashes.push_back(row_hash(row));
                    if (!group) group.emplace(db);
                    std::vector<jet::Value> values = row;
                    group->table(t.spec.name).insert(values);
                    if (++p.done % kRowsPerGroup == 0) {
                        group->commit();
                        group.reset();
                        if (progress) progress(p);
                    }
                    return true;
                },
                t.spec.name);
    if (!group) group.emplace(db);
    if (t.last_number && *t.last_number > 0) {
        group->table(t.spec.name).continue_numbering_from(static_cast<std::uint32_t>(std::min<std::int64_t>(*t.last_number, 0x7FFFFFFF)));
    }
    group->commit();
    p.finished = true;
    if (progress) progress(p);
    std::sort(hashes.begin(), hashes.end());
    return hashes;
}

}  // namespace

DownsizeReport downsize(Connection& from, const std::string& path, const ProgressFn& progress) {
    DownsizeReport report;
    // One look at the server for the whole copy.
    Transaction tx(from);
    from.exec("SET TRANSACTION ISOLATION LEVEL REPEATABLE READ, READ ONLY");
    std::vector<ServerTable> tables;
    for (const TableName& n : list_tables(from)) tables.push_back(read_table(from, n));

    jet::create_database(path);
    Unfinished unfinished(path);
    jet::Database db(path);
    for (const ServerTable& t : tables) {
        {
            jet::WriteGroup g(db);
            jet::create_table(g, t.spec);
            g.commit();
        }
        const std::vector<std::uint64_t> sent = copy_rows(from, db, t, progress);
        std::vector<std::uint64_t> written;
        db.table(t.spec.name).scan([&](jet::RowId, const std::vector<jet::Value>& row) {
            written.push_back(row_hash(row));
            return true;
        });
        std::sort(written.begin(), written.end());
        if (written != sent) {
            throw Error(ErrorKind::Mismatch, "table " + t.spec.name + ": " + std::to_string(sent.size()) + " rows read, " +
                                                 std::to_string(written.size()) + " in the file");
        }
        report.tables.push_back(t.spec.name);
        report.rows += sent.size();
    }
    tx.commit();
    unfinished.done();
    return report;
}

}  // namespace server
