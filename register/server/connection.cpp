#include "connection.h"

#include <libpq-fe.h>

#include "server_error.h"
#include "system/socket.h"

namespace server {

void Result::Free::operator()(pg_result* r) const { PQclear(r); }

Result::Result(pg_result* r) : r_(r) {}
int Result::rows() const { return PQntuples(r_.get()); }
int Result::columns() const { return PQnfields(r_.get()); }
bool Result::is_null(int row, int column) const { return PQgetisnull(r_.get(), row, column) != 0; }
std::string_view Result::text(int row, int column) const {
    return {PQgetvalue(r_.get(), row, column), static_cast<std::size_t>(PQgetlength(r_.get(), row, column))};
}
std::string Result::column_name(int column) const { return PQfname(r_.get(), column); }

void Connection::Close::operator()(pg_conn* c) const { PQfinish(c); }

namespace {

std::string text_of(const char* s) { return s ? s : ""; }

}  // namespace

Connection::Connection(const std::string& conninfo, const std::string& shown) : conninfo_(conninfo), shown_(shown) { open(); }

void Connection::open() {
    const char* const keys[] = {"dbname", "client_encoding", "application_name", nullptr};
    const char* const values[] = {conninfo_.c_str(), "UTF8", "regtool", nullptr};
    c_.reset(PQconnectStartParams(keys, values, 1));
    if (!c_) throw Error(ErrorKind::Unreachable, shown_, "out of memory");
    // Whether the server answered: libpq keeps the server's SQLSTATE of a
    // refused start to itself, so an answer that is not about a password is
    // told apart only as a refusal (no such database or role, no right to
    // connect, turned away by the server's rules). A start that ends while
    // TLS is being set up failed on TLS: the link asks for it (sslmode) and
    // the server offers none, or its certificate does not pass.
    bool answered = false, securing = false;
    PostgresPollingStatusType step = PGRES_POLLING_WRITING;
    while (PQstatus(c_.get()) != CONNECTION_BAD && step != PGRES_POLLING_OK && step != PGRES_POLLING_FAILED) {
        const int socket = PQsocket(c_.get());
        if (socket >= 0 && !sys::wait_for_socket(socket, step != PGRES_POLLING_READING)) break;
        step = PQconnectPoll(c_.get());
        const ConnStatusType status = PQstatus(c_.get());
        if (status == CONNECTION_AWAITING_RESPONSE) answered = true;
        if (status == CONNECTION_SSL_STARTUP) securing = true;
        if (status == CONNECTION_MADE || status == CONNECTION_AWAITING_RESPONSE || status == CONNECTION_AUTH_OK) securing = false;
    }
    if (PQstatus(c_.get()) == CONNECTION_OK) {
        lost_ = false;
        return;
    }
    const std::string detail = text_of(PQerrorMessage(c_.get()));
    if (PQconnectionNeedsPassword(c_.get()) || PQconnectionUsedPassword(c_.get())) throw Error(ErrorKind::AuthenticationRefused, shown_, detail);
    if (securing) throw Error(ErrorKind::TlsFailed, shown_, detail);
    if (answered) throw Error(ErrorKind::ConnectionRefused, shown_, detail);
    throw Error(ErrorKind::Unreachable, shown_, detail);
}

void Connection::ready(const std::string& subject) {
    if (c_ && !lost_ && PQstatus(c_.get()) != CONNECTION_BAD) return;
    if (!reconnecting_ || transactions_ > 0) throw Error(ErrorKind::ConnectionLost, subject, c_ ? text_of(PQerrorMessage(c_.get())) : std::string());
    open();
}

Connection::Connection(Connection&&) noexcept = default;
Connection& Connection::operator=(Connection&&) noexcept = default;
Connection::~Connection() = default;

bool Connection::broke_off(const std::string& sqlstate) {
    // A failure libpq found itself (no SQLSTATE) while the server's socket
    // is closed is a broken connection, though libpq may mark it so only
    // at the next call (a write that failed leaves it to the next read).
    if (PQstatus(c_.get()) != CONNECTION_BAD && sqlstate.empty()) PQconsumeInput(c_.get());
    if (PQstatus(c_.get()) == CONNECTION_BAD || kind_of_sqlstate(sqlstate) == ErrorKind::ConnectionLost) lost_ = true;
    return lost_;
}

void Connection::fail(pg_result* r, const std::string& subject) {
    Result owned(r);
    const std::string sqlstate = r ? text_of(PQresultErrorField(r, PG_DIAG_SQLSTATE)) : "";
    std::string detail = r ? text_of(PQresultErrorField(r, PG_DIAG_MESSAGE_PRIMARY)) : "";
    if (detail.empty()) detail = text_of(PQerrorMessage(c_.get()));
    if (broke_off(sqlstate)) throw Error(ErrorKind::ConnectionLost, subject, detail, sqlstate);
    throw Error(kind_of_sqlstate(sqlstate), subject, detail, sqlstate);
}

void Connection::check(pg_result* r, int wanted, const std::string& subject) {
    const int status = r ? PQresultStatus(r) : PGRES_FATAL_ERROR;
    if (status == wanted || (wanted == PGRES_COMMAND_OK && status == PGRES_TUPLES_OK)) return;
    drain();
    fail(r, subject);
}

void Connection::drain() {
    while (PGresult* r = PQgetResult(c_.get())) {
        const int status = PQresultStatus(r);
        PQclear(r);
        if (status == PGRES_COPY_IN) PQputCopyEnd(c_.get(), "abandoned");
        if (status == PGRES_COPY_OUT || PQstatus(c_.get()) == CONNECTION_BAD) break;
    }
}

namespace {

std::vector<const char*> pointers(const std::vector<Param>& params) {
    std::vector<const char*> p;
    for (const Param& x : params) p.push_back(x ? x->c_str() : nullptr);
    return p;
}

}  // namespace

Result Connection::exec(const std::string& sql, const std::vector<Param>& params, const std::string& subject) {
    if (transactions_ > 0) return exec_once(sql, params, subject);
    return retrying_conflicts([&] { return exec_once(sql, params, subject); });
}

Result Connection::exec_once(const std::string& sql, const std::vector<Param>& params, const std::string& subject) {
    ready(subject);
    const std::vector<const char*> p = pointers(params);
    PGresult* r = PQexecParams(c_.get(), sql.c_str(), static_cast<int>(p.size()), nullptr, p.data(), nullptr, nullptr, 0);
    check(r, PGRES_COMMAND_OK, subject);
    return Result(r);
}

void Connection::stream(const std::string& sql, const std::vector<Param>& params, const std::function<bool(const Result&)>& each,
                        const std::string& subject) {
    ready(subject);
    const std::vector<const char*> p = pointers(params);
    if (!PQsendQueryParams(c_.get(), sql.c_str(), static_cast<int>(p.size()), nullptr, p.data(), nullptr, nullptr, 0) ||
        !PQsetSingleRowMode(c_.get())) {
        drain();
        fail(nullptr, subject);
    }
    bool wanted = true;
    // A query given up early is cancelled, so that its remaining rows need
    // not cross the wire before the connection can be used again.
    const auto give_up = [this] {
        if (PGcancel* cancel = PQgetCancel(c_.get())) {
            char why[256];
            PQcancel(cancel, why, sizeof why);
            PQfreeCancel(cancel);
        }
    };
    while (PGresult* raw = PQgetResult(c_.get())) {
        Result r(raw);
        const int status = PQresultStatus(raw);
        if (status == PGRES_SINGLE_TUPLE) {
            if (!wanted) continue;
            try {
                wanted = each(r);
            } catch (...) {
                give_up();
                drain();
                throw;
            }
            if (!wanted) give_up();
        } else if (status != PGRES_TUPLES_OK && wanted) {
            const std::string sqlstate = text_of(PQresultErrorField(raw, PG_DIAG_SQLSTATE));
            std::string detail = text_of(PQresultErrorField(raw, PG_DIAG_MESSAGE_PRIMARY));
            if (detail.empty()) detail = text_of(PQerrorMessage(c_.get()));
            drain();
            if (broke_off(sqlstate)) throw Error(ErrorKind::ConnectionLost, subject, detail, sqlstate);
            throw Error(kind_of_sqlstate(sqlstate), subject, detail, sqlstate);
        }
    }
    if (PQstatus(c_.get()) == CONNECTION_BAD) fail(nullptr, subject);
}

Connection::CopyIn::CopyIn(Connection& c, const std::string& sql, std::string subject) : c_(c), subject_(std::move(subject)) {
    c_.ready(subject_);
    PGresult* r = PQexec(c_.c_.get(), sql.c_str());
    c_.check(r, PGRES_COPY_IN, subject_);
    PQclear(r);
}

Connection::CopyIn::~CopyIn() {
    if (!open_) return;
    PQputCopyEnd(c_.c_.get(), "abandoned");
    c_.drain();
}

void Connection::CopyIn::write(std::string_view data) {
    if (PQputCopyData(c_.c_.get(), data.data(), static_cast<int>(data.size())) != 1) {
        open_ = false;
        c_.drain();
        c_.fail(nullptr, subject_);
    }
}

void Connection::CopyIn::finish() {
    open_ = false;
    if (PQputCopyEnd(c_.c_.get(), nullptr) != 1) {
        c_.drain();
        c_.fail(nullptr, subject_);
    }
    PGresult* r = PQgetResult(c_.c_.get());
    c_.check(r, PGRES_COMMAND_OK, subject_);
    PQclear(r);
    c_.drain();
}

std::string Connection::quote(std::string_view name) {
    std::string q = "\"";
    for (char ch : name) {
        if (ch == '"') q += '"';
        q += ch;
    }
    return q + "\"";
}

std::string Connection::literal(std::string_view text) {
    std::string q = "'";
    for (char ch : text) {
        if (ch == '\'') q += '\'';
        q += ch;
    }
    return q + "'";
}

Transaction::Transaction(Connection& c) : c_(c) {
    c_.exec("BEGIN");
    ++c_.transactions_;
}

Transaction::~Transaction() {
    if (open_) {
        try {
            c_.exec("ROLLBACK");
        } catch (const Error&) {
            // A connection that is gone has taken the transaction with it.
        }
    }
    --c_.transactions_;
}

void Transaction::commit() {
    open_ = false;
    c_.exec("COMMIT");
}

}  // namespace server
