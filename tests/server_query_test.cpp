// The browser's statements on a server register give what they give on the
// file it was upsized from: the same columns, the same rows in the same
// order, the same failures at the same places, whatever the values (letter
// case of every alphabet, LIKE's own characters in the data, Nulls) and
// whatever the statement mixes; a user's text is only ever a value.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

#include "jet/create.h"
#include "jet/database.h"
#include "pg_test_server.h"
#include "server/connection.h"
#include "server/query.h"
#include "server/query_where.h"
#include "server/transfer.h"
#include "sql/eval.h"
#include "sql/sql.h"
#include "support.h"

namespace {

using namespace testing_support;
using Row = std::vector<jet::Value>;
using T = jet::ColumnType;

// A value as the test compares it: its kind and its text form.
std::string shown(const jet::Value& v) {
    if (jet::is_null(v)) return "Null";
    if (const auto* b = std::get_if<jet::Binary>(&v)) return "binary of " + std::to_string(b->bytes.size());
    if (const auto* d = std::get_if<double>(&v); d && std::isnan(*d)) return "NaN";
    return std::to_string(v.index()) + ":" + sql::text_form(v).value_or("?");
}

// What a statement gives: its columns and rows, or its failure.
struct Outcome {
    std::vector<std::string> names;
    std::vector<jet::ColumnType> types;
    std::vector<std::vector<std::string>> rows;
    std::string error;  // "kind at position"

    bool operator==(const Outcome&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Outcome& o) {
    if (!o.error.empty()) return os << "error " << o.error;
    os << o.rows.size() << " rows:";
    for (const auto& r : o.rows) os << " [" << (r.empty() ? "" : r[0]) << (r.size() > 1 ? " " + r[1] : "") << "]";
    return os;
}

template <class R, class Run>
Outcome outcome(const std::string& statement, Run run) {
    Outcome o;
    try {
        const R r = run(sql::parse(statement));
        o.names = r.column_names();
        o.types = r.column_types();
        for (const Row& row : r.rows(0, r.row_count())) {
            std::vector<std::string> values;
            for (const jet::Value& v : row) values.push_back(shown(v));
            o.rows.push_back(std::move(values));
        }
    } catch (const sql::Error& e) {
        o.error = std::to_string(static_cast<int>(e.kind())) + " at " + std::to_string(e.position());
    }
    return o;
}

jet::Guid guid(std::uint8_t first) {
    jet::Guid g;
    for (std::size_t i = 0; i < 16; ++i) g.bytes[i] = static_cast<std::uint8_t>(first + i * 17);
    return g;
}

jet::Decimal decimal(std::uint32_t units, bool negative = false) {
    jet::Decimal d;
    d.negative = negative;
    d.magnitude = {units, 0, 0, 0};
    d.scale = 4;
    d.precision = 18;
    return d;
}

jet::Value when(int y, int m, int d, int h = 0, int mi = 0, int s = 0) { return jet::from_civil({y, m, d, h, mi, s, 0}); }

const char* const kInjected = "O'Brien \\ \"$1\" '; DROP TABLE Лица; --";

// A file with every type and awkward values, and the same register upsized.
class ServerQuery : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = std::make_unique<TempDir>();
        file_ = (*dir_ / "awkward.mdb").string();
        jet::create_database(file_);
        db_ = std::make_unique<jet::Database>(file_);
        jet::Database& db = *db_;
        jet::TableSpec people;
        people.name = "Лица";
        people.columns = {{"Номер", T::Long, 0, true}, {"Фамилия", T::Text, 60}, {"Заметка", T::Memo},     {"Да", T::Boolean},
                          {"Байт", T::Byte},           {"Целое", T::Integer},   {"Длинное", T::Long},      {"Деньги", T::Currency},
                          {"Одинарное", T::Single},    {"Двойное", T::Double},  {"Когда", T::DateTime},    {"Код", T::Guid},
                          {"Десятичное", T::Decimal, 0, false, 18, 4},          {"Объект", T::Ole}};
        people.indexes = {{"Ключ", {{"Номер", true}}, true}};
        jet::TableSpec loose;
        loose.name = "Без ключа";
        loose.columns = {{"Слово", T::Text, 20}, {"Число", T::Long}};
        const jet::Null n;
        const std::vector<Row> rows = {
            {n, "Иванов", "ИВАНОВ ёлка", true, std::int64_t{1}, std::int64_t{-5}, std::int64_t{100}, jet::Currency{125000}, 1.5f, 2.25,
             when(1980, 3, 5), guid(0x0A), decimal(31400), jet::Binary{{1, 2}}},
            {n, "иванова", "Ёжик в тумане", false, std::int64_t{0}, std::int64_t{0}, std::int64_t{0}, jet::Currency{0}, 0.0f, 0.0,
             when(1899, 12, 30, 12), n, decimal(0), n},
            {n, "Ёлкин", "ёлкин", true, std::int64_t{255}, std::int64_t{32767}, std::int64_t{-2147483647}, jet::Currency{-5000},
             -0.25f, -1.5, when(2024, 2, 29, 23, 59, 59), guid(0xF1), decimal(5, true), n},
            {n, "Елкин", "елкин", false, std::int64_t{2}, std::int64_t{12}, std::int64_t{7}, jet::Currency{70000}, 7.0f, 7.0,
             when(1980, 3, 5, 7, 5, 9), n, decimal(70000), n},
            {n, "Ґонта", "ґонта", true, n, n, n, n, n, n, n, n, n, n},
            {n, "Σωκράτης", "σωκρατης", false, std::int64_t{3}, std::int64_t{1000}, std::int64_t{1000}, jet::Currency{10000000}, 1e3f,
             1e3, when(1812, 9, 7), n, n, n},
            {n, "100%", "a_b [x] ]", false, std::int64_t{4}, n, n, n, n, n, n, n, n, n},
            {n, n, n, false, n, n, n, n, n, n, n, n, n, n},
            {n, "12", " 7 ", true, n, std::int64_t{12}, n, n, n, 12.0, n, n, n, n},
            {n, "05.03.1980", "1e3", false, n, n, n, n, n, n, when(1980, 3, 5), n, n, n},
            {n, "строка\nдругая", "", false, n, n, n, n, n, n, n, n, n, n},
            {n, kInjected, "\\", false, n, n, n, n, n, n, n, n, n, n},
            {n, "", "%", false, n, n, n, n, n, n, n, n, n, n},
        };
        {
            jet::WriteGroup g(db);
            jet::create_table(g, people);
            jet::create_table(g, loose);
            g.commit();
        }
        jet::WriteGroup g(db);
        for (Row r : rows) g.table(people.name).insert(r);
        for (const char* w : {"б", "А", "в", "Ё"}) {
            Row r{std::string(w), std::int64_t{static_cast<unsigned char>(w[1])}};
            g.table(loose.name).insert(r);
        }
        g.commit();
        uri_ = TestServer::get().new_database("queries");
        c_ = std::make_unique<server::Connection>(uri_);
        server::upsize(db, *c_, {}, {});
    }
    static void TearDownTestSuite() {
        c_.reset();
        db_.reset();
        dir_.reset();
    }

    // The statement on both sides; they must agree.
    static Outcome expect_same(const std::string& statement) {
        const Outcome on_file = outcome<sql::Result>(statement, [](const sql::Statement& s) { return sql::Result::run(*db_, s); });
        Outcome on_server;
        try {
            on_server = outcome<server::QueryResult>(statement, [](const sql::Statement& s) { return server::QueryResult::run(*c_, s); });
        } catch (const std::exception& e) {
            ADD_FAILURE() << statement << ": " << e.what();
        }
        EXPECT_EQ(on_server, on_file) << statement;
        return on_file;
    }

    static std::unique_ptr<TempDir> dir_;
    static std::string file_, uri_;
    static std::unique_ptr<jet::Database> db_;
    static std::unique_ptr<server::Connection> c_;
};

std::unique_ptr<TempDir> ServerQuery::dir_;
std::string ServerQuery::file_, ServerQuery::uri_;
std::unique_ptr<jet::Database> ServerQuery::db_;
std::unique_ptr<server::Connection> ServerQuery::c_;

TEST_F(ServerQuery, LikeInEveryFormAsOnTheFile) {
    std::size_t matched = 0;
    for (const char* pattern :
         {"иван%", "ИВАН%", "%ов", "%ОВА", "_ванов", "[иИ]ванов%", "[а-я]%", "[!а-я]%", "[а-е]%", "ё%", "Ё%", "е%", "ґ%",
          "ΣΩΚΡΆΤΗΣ", "σωκρατης", "%[%]%", "%[_]%", "%[[]%", "%]%", "_", "%", "", "[!]]%", "[]иванов", "%[в-]",
          "строка_другая", "%\n%", "1%", "-%", "0", "%5", "{%", "%A%", "%[0-9]%", "[!0-9]%", "[Ā-ſ]%", "%[!a-zа-я]", "[!Ā-ￚ]%", "%[ѐ-𐐨]%"}) {
        for (const char* column : {"Фамилия", "Заметка", "Да", "Байт", "Целое", "Деньги", "Десятичное", "Код", "Двойное", "Когда"}) {
            const std::string like = std::string(" LIKE '") + pattern + "'";
            matched += expect_same(std::string("SELECT Номер FROM Лица WHERE ") + column + like).rows.size();
            expect_same(std::string("SELECT Номер, ") + column + " FROM Лица WHERE " + column + " NOT" + like);
        }
    }
    EXPECT_GT(matched, 200u) << "the patterns should take rows";
    // The browser's search is the server's alone: nothing is left to test on the client.
    const sql::Statement search = sql::parse("SELECT * FROM Лица WHERE Фамилия LIKE 'ив%' AND NOT Да");
    const std::vector<jet::Column> columns = db_->table("Лица").columns();
    const auto resolve = [](const sql::ColumnRef& ref) { return ref.name == "Фамилия" ? std::size_t{1} : std::size_t{3}; };
    const server::ServerCondition where = server::server_condition(search.where, columns, resolve, search.text);
    EXPECT_TRUE(where.exact) << where.sql;
    EXPECT_EQ(where.params.size(), 1u) << where.sql;
    // A server whose characters are not Unicode's leaves the text to the client.
    const server::ServerCondition other = server::server_condition(search.where, columns, resolve, search.text, false);
    EXPECT_FALSE(other.exact);
    EXPECT_TRUE(other.params.empty()) << other.sql;
    EXPECT_NE(other.sql, "TRUE");  // it still narrows by Да
    // Binary values have no text form; a malformed pattern is refused.
    EXPECT_FALSE(expect_same("SELECT * FROM Лица WHERE Объект LIKE '%'").error.empty());
    EXPECT_FALSE(expect_same("SELECT * FROM Лица WHERE Фамилия LIKE '[я-а]'").error.empty());
    // The key-less table comes in the order it was written.
    EXPECT_EQ(expect_same("SELECT * FROM [без КЛЮЧА] WHERE Слово LIKE '[!в]'").rows.size(), 3u);
}

TEST_F(ServerQuery, ComparisonsLogicAndFailuresAsOnTheFile) {
    for (const char* where :
         {"Фамилия = 'иванов'", "Фамилия <> 'ИВАНОВ'", "Фамилия < 'к'", "Фамилия >= 'Ё'", "'ёлкин' = Фамилия", "Целое > -1",
          "Целое >= 0.5", "-5 = Целое", "Длинное = 100", "Длинное < 9007199254740993", "Да = TRUE", "Да = -1", "Да <> 0",
          "Байт < '2'", "Байт = ' 4 '", "Двойное > 1", "Двойное = 2.25", "Двойное <> 0", "Двойное < '1e10'", "Одинарное = 1.5",
          "Одинарное < 0", "Деньги > 10", "Деньги = 12.5", "Деньги <= 0", "Десятичное >= 3.14", "Десятичное < 0",
          "Когда > '01.01.1980'", "Когда < 30000", "Когда = '1980-03-05'", "Код = '{0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9}'",
          "Код <> '{0a1b2c3d-4e5f-6071-8293-a4b5c6d7e8f9}'", "Заметка = Фамилия", "Целое = Длинное", "Двойное = Целое",
          "Объект = Объект", "Фамилия IS NULL", "Код IS NOT NULL", "Объект IS NULL", "Да", "NOT Да", "Целое", "Двойное",
          "Деньги", "Десятичное", "NOT Когда", "1", "0", "NULL", "NOT NULL", "Целое = NULL", "NULL IS NULL", "'a' = 'A'",
          "Фамилия LIKE 'и%' AND Да", "Фамилия LIKE 'и%' OR Да AND NOT Целое > 0", "NOT (Фамилия LIKE '%н' OR Байт IS NULL)",
          "(Целое > 0 OR Целое IS NULL) AND NOT Фамилия = 'ёлкин'", "Байт = 1 OR Фамилия < 'в'", "NOT NOT Длинное <> 7",
          // Failures: a text that is no number or date, types with nothing in common, names the table lacks.
          "Фамилия = 12", "Байт = 'x'", "Когда = 'завтра'", "Код = 1", "Объект = 1", "Фамилия", "Код", "'x'", "Фамилия = Целое",
          "Когда = Фамилия", "Фамилия LIKE 'и%' AND Байт = 'x'", "Фамилия LIKE 'ничей%' AND Байт = 'x'", "Байт = 'x' OR Да",
          "Да OR Байт = 'x'", "Нет = 1", "Лица.Да AND Люди.Да"}) {
        expect_same(std::string("SELECT * FROM Лица WHERE ") + where);
    }
    for (const char* statement : {"SELECT Фамилия, фамилия, [Да], лица.Код FROM ЛИЦА WHERE Номер > 3", "SELECT лица.* FROM Лица",
                                  "SELECT x.* FROM Лица", "SELECT Нет FROM Лица", "SELECT * FROM Нет", "SELECT Номер FROM Лица WHERE Номер > 100"}) {
        expect_same(statement);
    }
}

TEST_F(ServerQuery, AUsersTextStaysAValue) {
    const std::string quoted = [] {
        std::string q;
        for (const char* p = kInjected; *p; ++p) q += *p == '\'' ? std::string("''") : std::string(1, *p);
        return q;
    }();
    EXPECT_EQ(expect_same("SELECT Фамилия FROM Лица WHERE Фамилия = '" + quoted + "'").rows.size(), 1u);
    EXPECT_EQ(expect_same("SELECT Фамилия FROM Лица WHERE Фамилия LIKE '%" + quoted + "'").rows.size(), 1u);
    EXPECT_EQ(expect_same("SELECT * FROM Лица WHERE Заметка = '\\' OR Заметка LIKE '$1'").rows.size(), 1u);
    EXPECT_EQ(TestServer::get().psql("queries", "SELECT count(*) FROM \"Лица\""), "13");
}

// Rows are read a page at a time where they were, or by their keys when an
// update has moved them: a row gone since keeps its place as Nulls, as on a file; regtool query prints what it prints for a file.
TEST_F(ServerQuery, PagesByKeyAndRegtool) {
    TestServer::get().new_database("paged");
    const std::string uri = TestServer::get().uri("paged");
    TestServer::get().psql("paged", "CREATE TABLE t (a integer, b text, c integer, PRIMARY KEY (b, a)); "
                                    "INSERT INTO t SELECT i, 'k' || (i % 3), i * 10 FROM generate_series(1, 10) i");
    server::Connection c(uri);
    const server::QueryResult r = server::QueryResult::run(c, sql::parse("SELECT c FROM T WHERE c > 20"));
    ASSERT_EQ(r.row_count(), 8u);
    TestServer::get().psql("paged", "DELETE FROM t WHERE a = 6; UPDATE t SET c = c + 1 WHERE a IN (4, 8)");
    std::vector<std::string> seen;
    for (std::size_t first = 0; first < r.row_count(); first += 3) {
        for (const Row& row : r.rows(first, 3)) seen.push_back(shown(row.at(0)));
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"2:30", "Null", "2:90", "2:41", "2:70", "2:100", "2:50", "2:81"}));
    EXPECT_THROW(r.rows(9, 1), std::out_of_range);

    const std::string statement = "SELECT Номер, Фамилия, Когда FROM Лица WHERE Фамилия LIKE '%ов%'";
    const RunResult on_server = run_regtool({"query", uri_, statement});
    ASSERT_EQ(on_server.status, 0) << on_server.err;
    EXPECT_EQ(on_server.out, run_regtool({"query", file_, statement}).out);
    const RunResult missing = run_regtool({"query", uri_, "SELECT Нет FROM Лица"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, run_regtool({"query", file_, "SELECT Нет FROM Лица"}).err);
}

}  // namespace
