// The two sides of a move through a server (move.h), each a file or a server
// register, behind one face so that the group's steps are written once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "catalog.h"
#include "connection.h"
#include "jet/database.h"
#include "jet/durable_file.h"
#include "jet/value.h"
#include "logic/move_record.h"

namespace server {

using Row = std::vector<jet::Value>;

// A register the move reads from or writes to.
class Side {
public:
    virtual ~Side() = default;
    const std::string& name() const { return name_; }
    const std::vector<jet::Column>& columns() const { return columns_; }
    // As the move's record names it (reg::RecordedFile).
    virtual reg::RecordedFile recorded() const = 0;
    // Settles what an earlier run left on its way here, and makes sure the
    // register takes the move's writes.
    virtual void prepare() = 0;
    // Between groups: other programs waiting for the register go first.
    virtual void let_others_in() {}

protected:
    std::string name_;
    std::vector<jet::Column> columns_;
};

class SourceSide : public Side {
public:
    // The rows present when the move starts, as keys in the register's order.
    virtual std::size_t list() = 0;
    // The columns from `first` on that hold a value in some row; the tables
    // whose rows name the register's (child table and relationship), if any.
    virtual std::vector<std::string> filled_columns(std::size_t first) = 0;
    virtual std::optional<std::pair<std::string, std::string>> related_rows() = 0;
    // Locks and reads keys [at, end): the rows still there, in order.
    virtual std::vector<Row> begin_group(std::uint64_t id, std::size_t at, std::size_t end) = 0;
    // The first `n` rows read leave; held back until let_go.
    virtual void prepare_let_go(std::size_t n) = 0;
    virtual void note(const reg::MoveRecord& record) = 0;
    virtual void noted() {}
    // The notes taken back when the group surely never reached the destination.
    virtual void take_back(std::uint64_t id) = 0;
    virtual void let_go(std::uint64_t id) = 0;
    virtual void tidy(std::uint64_t id) = 0;
    virtual void end_group() = 0;
};

class DestinationSide : public Side {
public:
    virtual void begin_group(std::uint64_t id) = 0;
    // Stores rows (column 0 left to the register), giving each the number it
    // got; stops at a row refused (its index, with why). Nothing is committed.
    struct Stored {
        std::vector<std::int64_t> numbers;
        std::vector<std::uint64_t> hashes;  // columns 1 up to the register's count, as stored
        std::optional<jet::Error> refused;
    };
    virtual Stored store(std::vector<Row>& rows) = 0;
    virtual void note(const reg::MoveRecord& record) = 0;
    virtual void commit() = 0;
    virtual void take_back(std::uint64_t id) = 0;
    virtual void tidy(std::uint64_t id) = 0;
    virtual void end_group() = 0;
};

std::unique_ptr<SourceSide> file_source(const std::string& path);
std::unique_ptr<SourceSide> server_source(const std::string& name);
std::unique_ptr<DestinationSide> file_destination(const std::string& path);
std::unique_ptr<DestinationSide> server_destination(const std::string& name);

// The server a name points at, as the move's record names it.
std::string server_side_of(const std::string& conninfo);
// Whether two server registers are one: the same database on the same server.
std::string server_identity(Connection& c);

// A row of a result as the file's values, by the table's columns.
Row row_of(const Result& r, int row, const std::vector<jet::Column>& columns);

}  // namespace server
