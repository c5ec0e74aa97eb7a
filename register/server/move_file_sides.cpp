// The file's side of a move through a server: the engine's locks, write
// groups and the move's record beside the file, as between two files.
#include <chrono>

#include "errors/move_error.h"
#include "jet/error.h"
#include "jet/pending_move.h"
#include "jet/table_writer.h"
#include "logic/move_parts.h"
#include "logic/register.h"
#include "move_sides.h"

namespace server {

namespace {

const std::string kTableName(reg::kTable);

// A file's copy of the record, taken back where its group surely never
// reached the destination (cut while written, or this very group's).
void take_back_record(const std::string& path, std::uint64_t id) {
    try {
        const reg::ReadRecord left = reg::read_move_record(path);
        if (left.found == reg::RecordFound::Cut || (left.found == reg::RecordFound::Complete && left.record.id == id)) {
            reg::remove_move_record(path);
        }
    } catch (const jet::Error&) {
        // left bound: the next writer settles it
    }
}

// What both roles of a file share: the database, its table, its lock.
class FileRegister {
protected:
    explicit FileRegister(const std::string& path) : db_(path), record_path_(jet::pending_move_path(db_.real_path())) {}

    // The register's writes wait out other programs, which go between groups.
    void take_turns() {
        { jet::WriteGroup probe(db_); }  // settles what an earlier run left here
        let_in_ = db_.lock_wait();
        db_.set_lock_wait(12 * let_in_);
        db_.take_turns();
    }

    // This group's copy of the record, taken back or removed.
    void take_back_copy(std::uint64_t id) {
        copy_.reset();
        take_back_record(record_path_, id);
    }
    void remove_copy() {
        if (!copy_) return;
        copy_.reset();
        reg::remove_move_record(record_path_);
    }

    jet::Database db_;
    std::string record_path_;
    std::chrono::milliseconds let_in_{0};
    std::optional<jet::DatabaseLock> lock_;
    std::optional<jet::DurableFile> copy_;
};

class FileSource final : public SourceSide, FileRegister {
public:
    explicit FileSource(const std::string& path) : FileRegister(path), table_(db_.table(kTableName)) {
        name_ = path;
        columns_ = table_.columns();
    }
    reg::RecordedFile recorded() const override { return reg::recorded(db_); }
    void prepare() override { take_turns(); }
    void let_others_in() override { db_.let_waiting_programs_in(let_in_); }

    std::size_t list() override {
        ids_ = table_.row_ids();
        return ids_.size();
    }
    std::vector<std::string> filled_columns(std::size_t first) override { return reg::filled_extra_columns(table_, first); }
    std::optional<std::pair<std::string, std::string>> related_rows() override {
        try {
            reg::refuse_related_rows(db_, name_, name_);
        } catch (const errors::MoveError& e) {
            return std::make_pair(e.names.at(0), e.names.at(1));
        }
        return std::nullopt;
    }

    std::vector<Row> begin_group(std::uint64_t, std::size_t at, std::size_t end) override {
        lock_.emplace(db_, true);
        out_.emplace(db_);
        jet::TableWriter& s = out_->table(kTableName);
        std::vector<Row> rows;
        read_.clear();
        for (std::size_t i = at; i < end; ++i) {
            std::optional<Row> row = s.read(ids_[i]);
            if (!row) continue;  // another program deleted it meanwhile
            rows.push_back(std::move(*row));
            read_.push_back(ids_[i]);
        }
        return rows;
    }
    void prepare_let_go(std::size_t n) override {
        jet::TableWriter& s = out_->table(kTableName);
        for (std::size_t i = 0; i < n; ++i) s.remove(read_[i]);
        out_->prepare();
    }
    void note(const reg::MoveRecord& record) override { copy_.emplace(reg::write_move_record(record_path_, db_.real_path(), record)); }
    void noted() override { reg::mark_move_record_complete(*copy_); }
    void take_back(std::uint64_t id) override { take_back_copy(id); }
    void let_go(std::uint64_t) override { out_->commit(); }
    void tidy(std::uint64_t) override { remove_copy(); }
    void end_group() override {
        copy_.reset();
        out_.reset();
        lock_.reset();
    }

private:
    jet::Table table_;
    std::vector<jet::RowId> ids_, read_;
    std::optional<jet::WriteGroup> out_;
};

class FileDestination final : public DestinationSide, FileRegister {
public:
    explicit FileDestination(const std::string& path) : FileRegister(path) {
        name_ = path;
        columns_ = db_.table(kTableName).columns();
    }
    reg::RecordedFile recorded() const override { return reg::recorded(db_); }
    void prepare() override { take_turns(); }
    void let_others_in() override { db_.let_waiting_programs_in(let_in_); }

    void begin_group(std::uint64_t) override {
        lock_.emplace(db_, true);
        in_.emplace(db_);
    }
    Stored store(std::vector<Row>& rows) override {
        jet::TableWriter& d = in_->table(kTableName);
        const std::size_t columns = columns_.size();
        Stored out;
        for (Row& row : rows) {
            Row values(columns, jet::Null{});
            for (std::size_t c = 1; c < columns && c < row.size(); ++c) values[c] = row[c];
            try {
                d.insert(values);
            } catch (const jet::Error& e) {
                // A refused value changes nothing: the rows before it are stored.
                if (e.kind() != jet::ErrorKind::Constraint) throw;
                out.refused = e;
                break;
            }
            const auto* number = std::get_if<std::int64_t>(&values[0]);
            out.numbers.push_back(number ? *number : 0);
            out.hashes.push_back(reg::row_hash(values, 1, columns));
        }
        return out;
    }
    void note(const reg::MoveRecord& record) override {
        db_.check_still_at_path();
        copy_.emplace(reg::write_move_record(record_path_, db_.real_path(), record));
        reg::mark_move_record_complete(*copy_);
    }
    void commit() override {
        in_->commit();
        // Removed or replaced while it was written: the group went where
        // no program finds it. The record stays: the source stays bound.
        db_.check_still_at_path();
    }
    void take_back(std::uint64_t id) override { take_back_copy(id); }
    void tidy(std::uint64_t) override { remove_copy(); }
    void end_group() override {
        copy_.reset();
        in_.reset();
        lock_.reset();
    }

private:
    std::optional<jet::WriteGroup> in_;
};

}  // namespace

std::unique_ptr<SourceSide> file_source(const std::string& path) { return std::make_unique<FileSource>(path); }
std::unique_ptr<DestinationSide> file_destination(const std::string& path) { return std::make_unique<FileDestination>(path); }

}  // namespace server
