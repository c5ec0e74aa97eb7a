// A connection to a PostgreSQL server through libpq, its results and its
// transactions, each owned by an object that lets it go. Every failure is
// raised as server::Error by kind.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct pg_conn;
struct pg_result;

namespace server {

// One result of a statement: text values by row and column.
class Result {
public:
    explicit Result(pg_result* r);
    int rows() const;
    int columns() const;
    bool is_null(int row, int column) const;
    std::string_view text(int row, int column) const;
    std::string column_name(int column) const;

private:
    struct Free {
        void operator()(pg_result* r) const;
    };
    std::unique_ptr<pg_result, Free> r_;
};

// A statement's parameter: text, or Null.
using Param = std::optional<std::string>;

class Connection {
public:
    // conninfo: a libpq connection string or URI. Raises Unreachable,
    // AuthenticationRefused or ConnectionRefused; `shown` names the server in them.
    explicit Connection(const std::string& conninfo, const std::string& shown = {});
    Connection(Connection&&) noexcept;
    Connection& operator=(Connection&&) noexcept;
    ~Connection();

    // Runs a statement and takes its whole result (for small answers: the
    // catalog, one value). `subject` names what a failure is about.
    Result exec(const std::string& sql, const std::vector<Param>& params = {}, const std::string& subject = {});
    // Runs a query and hands its rows over one by one as they arrive (each a
    // result of one row), never holding the whole answer; stops taking rows
    // when `each` returns false.
    void stream(const std::string& sql, const std::vector<Param>& params, const std::function<bool(const Result&)>& each,
                const std::string& subject = {});

    // COPY ... FROM STDIN: started by the constructor, rows handed in as the
    // COPY text format has them, ended by finish(); one not finished is
    // cancelled (and with it the transaction it belongs to).
    class CopyIn {
    public:
        CopyIn(Connection& c, const std::string& sql, std::string subject);
        ~CopyIn();
        CopyIn(const CopyIn&) = delete;
        CopyIn& operator=(const CopyIn&) = delete;
        void write(std::string_view data);
        void finish();

    private:
        Connection& c_;
        std::string subject_;
        bool open_ = true;
    };

    // The server's text for a name as an identifier ("ЗУРТ" with its quotes).
    static std::string quote(std::string_view name);
    // A literal for a text (for statements that take no parameters: COMMENT).
    static std::string literal(std::string_view text);

private:
    [[noreturn]] void fail(pg_result* r, const std::string& subject);
    void check(pg_result* r, int wanted, const std::string& subject);
    void drain();
    struct Close {
        void operator()(pg_conn* c) const;
    };
    std::unique_ptr<pg_conn, Close> c_;
};

// A transaction: BEGIN at construction; ROLLBACK when left without commit().
class Transaction {
public:
    explicit Transaction(Connection& c);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void commit();

private:
    Connection& c_;
    bool open_ = true;
};

}  // namespace server
