// A connection to a PostgreSQL server through libpq, its results and its
// transactions, each owned by an object that lets it go. Every failure is
// raised as server::Error by kind.
//
// Several offices share a register: a statement run on its own (no
// Transaction open) that the server turns back on a serialization failure
// or a deadlock is run again, a few times after a short wait, since nothing
// of it was kept. A connection that broke off raises ConnectionLost for the
// statement that found it broken. One told to reconnect (a window's, which
// lives as long as the window) is opened again by the next statement,
// unless a Transaction was open on it, which is gone with it (that
// transaction's statements keep raising ConnectionLost until it ends). So
// nothing is ever sent twice and nothing runs outside the transaction it
// belonged to. Others (a move's, a command's) stay broken: their work ends.
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

    // Whether the statement after a lost connection opens it again (no by default).
    void reconnect_when_lost(bool on) { reconnecting_ = on; }

    // The server's text for a name as an identifier ("ЗУРТ" with its quotes).
    static std::string quote(std::string_view name);
    // A literal for a text (for statements that take no parameters: COMMENT).
    static std::string literal(std::string_view text);

private:
    friend class Transaction;
    // Opens the connection (again) from the connection string it was made with.
    void open();
    // Before a statement: a connection found broken earlier is opened again
    // when no transaction was open on it; otherwise ConnectionLost.
    void ready(const std::string& subject);
    Result exec_once(const std::string& sql, const std::vector<Param>& params, const std::string& subject);
    // Whether a failure broke the connection off (noted, so that the next
    // statement opens it again).
    bool broke_off(const std::string& sqlstate);
    [[noreturn]] void fail(pg_result* r, const std::string& subject);
    void check(pg_result* r, int wanted, const std::string& subject);
    void drain();
    struct Close {
        void operator()(pg_conn* c) const;
    };
    std::string conninfo_;
    std::string shown_;
    int transactions_ = 0;  // Transactions open on this connection
    bool lost_ = false;     // broken off, though libpq may not say so yet
    bool reconnecting_ = false;
    std::unique_ptr<pg_conn, Close> c_;
};

// A transaction: BEGIN at construction; ROLLBACK when left without commit().
// Its statements are never run again on their own after a conflict: the
// caller runs the whole transaction again (retrying_conflicts, server_error.h).
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
