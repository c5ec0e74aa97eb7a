// The data access layer over a register on a PostgreSQL server, reached
// through a link file as the windows reach it: the recordset reads and moves
// as over the file the register came from, writes one change at a time
// without losing another client's, and the server's failures reach the
// windows numbered and in Russian.
#include <gtest/gtest.h>

#include <QString>
#include <QVariant>

#include <cfloat>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "dataaccess/connection.h"
#include "dataaccess/error.h"
#include "dataaccess/field.h"
#include "dataaccess/query.h"
#include "dataaccess/recordset.h"
#include "jet/create.h"
#include "jet/database.h"
#include "pg_test_server.h"
#include "server/connection.h"
#include "server/transfer.h"
#include "data_errors.h"
#include "support.h"

namespace {

using namespace testing_support;
using dataaccess::Connection;
using dataaccess::Recordset;
namespace errc = dataaccess::errc;

constexpr int kNumber = 0, kSurname = 1, kName = 2, kHeight = 9;

TestServer& pg() { return TestServer::get(); }

// The files' tables copied onto a new database of the test server.
std::string upsized(const std::string& database, const std::vector<fs::path>& files) {
    const std::string uri = pg().new_database(database);
    server::Connection c(uri);
    for (const fs::path& f : files) {
        jet::Database db(f.string());
        server::upsize(db, c, {}, {});
    }
    return uri;
}

// A link file naming the server register, in dir.
std::string link_to(const fs::path& dir, const std::string& uri) {
    std::ofstream(dir / "office.pgreg") << "# the office's register\n" << uri << "\n";
    return (dir / "office.pgreg").string();
}

struct Opened {
    Opened(const std::string& name, const QString& table, int lock_type = 3) {
        cn.Open(source(name));
        rs.setActiveConnection(&cn);
        rs.setSource(QStringLiteral("SELECT * FROM ") + table);
        rs.setCursorType(1);
        rs.setLockType(lock_type);
        rs.Open();
    }
    QVariant value(int column) { return rs.fields().Item(static_cast<std::int16_t>(column)).Value(); }
    void put(int column, const QVariant& v) { rs.fields().Item(static_cast<std::int16_t>(column)).setValue(v); }
    Connection cn;
    Recordset rs;
};

// Every row's values, first to last.
std::vector<std::vector<QVariant>> every_row(Recordset& rs) {
    std::vector<std::vector<QVariant>> rows;
    if (rs.RecordCount() == 0) return rows;
    for (rs.MoveFirst(); !rs.Eof(); rs.MoveNext()) {
        std::vector<QVariant> row;
        for (int i = 0; i < rs.fields().Count(); ++i) row.push_back(rs.fields().Item(static_cast<std::int16_t>(i)).Value());
        rows.push_back(std::move(row));
    }
    return rows;
}

// A column of every type, at its limits.
fs::path every_type(const fs::path& dir) {
    using T = jet::ColumnType;
    jet::TableSpec spec;
    spec.name = "Типы";
    spec.columns = {{"Номер", T::Long, 0, true}, {"Да нет", T::Boolean},  {"Байт", T::Byte},       {"Целое", T::Integer},
                    {"Длинное", T::Long},        {"Деньги", T::Currency}, {"Одинарное", T::Single}, {"Двойное", T::Double},
                    {"Когда", T::DateTime},      {"Текст", T::Text, 40},  {"Объект", T::Ole},      {"Памятка", T::Memo},
                    {"Код", T::Guid},            {"Десятичное", T::Decimal, 0, false, 28, 6}};
    spec.indexes = {{"Ключ", {{"Номер", true}}, true}};
    jet::Decimal most;
    most.magnitude = {0x0FFFFFFFu, 0x3E250261u, 0x204FCE5Eu, 0};  // 9999999999999999999999999999
    most.scale = 6;
    most.precision = 28;
    jet::Guid g;
    for (std::size_t i = 0; i < 16; ++i) g.bytes[i] = static_cast<std::uint8_t>(0xF0 + i);
    const Row high{jet::Null{}, true, std::int64_t{255}, std::int64_t{32767}, std::int64_t{INT32_MAX}, jet::Currency{INT64_MAX}, FLT_MAX,
                   DBL_MAX, jet::from_civil({9999, 12, 31, 23, 59, 59, 999}), std::string("Ёё\\\t'\"«»"), jet::Binary{{0, 9, 255}},
                   std::string(5000, 'm') + "ъ", g, most};
    const Row empty{jet::Null{}, false, jet::Null{}, jet::Null{}, jet::Null{}, jet::Null{}, jet::Null{},
                    jet::Null{}, jet::Null{}, jet::Null{}, jet::Null{}, jet::Null{}, jet::Null{}, jet::Null{}};
    const Row low{jet::Null{}, false, std::int64_t{0}, std::int64_t{-32768}, std::int64_t{INT32_MIN}, jet::Currency{-1}, FLT_TRUE_MIN,
                  -DBL_TRUE_MIN, jet::from_civil({1899, 12, 29, 13, 14, 15, 16}), std::string(), jet::Binary{}, std::string(), g,
                  jet::Null{}};
    return write_table(dir / "types.mdb", spec, {high, empty, low});
}

// Over a link file, every row and value reads as over the file the
// register came from, in the same order; a large table's keys come after
// its first ones, and the moves go both ways.
TEST(ServerRecordset, ReadsAndMovesAsOverTheFile) {
    TempDir dir;
    const fs::path file = make_register(dir.path(), 150), types = every_type(dir.path());
    const std::string uri = upsized("store_reads", {file, types});
    const std::string link = link_to(dir.path(), uri);

    for (const auto& [path, table] : {std::pair{file, QStringLiteral("ЗУРТ")}, std::pair{types, QStringLiteral("[типы]")}}) {
        Opened there(path.string(), table, 1), here(link, table, 1);
        EXPECT_EQ(here.rs.RecordCount(), there.rs.RecordCount()) << table.toStdString();
        EXPECT_EQ(every_row(here.rs), every_row(there.rs)) << table.toStdString();
        EXPECT_EQ(here.rs.column_name(1), there.rs.column_name(1));
    }

    Opened reg(link, QStringLiteral("ЗУРТ"), 1);
    EXPECT_EQ(reg.cn.folder(), q(dir.path().string()));
    EXPECT_EQ(reg.rs.RecordCount(), 150);
    EXPECT_FALSE(reg.rs.Bof());
    EXPECT_EQ(reg.value(kNumber).toInt(), 1);
    reg.rs.MoveLast();
    EXPECT_EQ(reg.value(kNumber).toInt(), 150);
    EXPECT_EQ(reg.value(kSurname).toString(), QStringLiteral("Фамилия149"));
    reg.rs.MovePrevious();
    EXPECT_EQ(reg.value(kNumber).toInt(), 149);
    reg.rs.MoveNext();
    reg.rs.MoveNext();
    EXPECT_TRUE(reg.rs.Eof());
    EXPECT_EQ(error_of([&] { reg.rs.MoveNext(); }), errc::kNoCurrentRecord);

    // A URI names the register as well; its photos are looked for in the current folder.
    Connection by_uri;
    by_uri.Open(source(uri));
    EXPECT_EQ(by_uri.folder(), q(fs::current_path().string()));
    EXPECT_EQ(by_uri.Warning(), QString());
}

// A large table's count is the server's own figure until its keys are all
// read, and exact from then on, however stale that figure was.
TEST(ServerRecordset, LargeTableCountsExactlyOnceListed) {
    TempDir dir;
    const std::string uri = upsized("store_large", {make_register(dir.path(), 10)});
    const std::string link = link_to(dir.path(), uri);
    pg().psql("store_large", "INSERT INTO \"ЗУРТ\" (\"Фамилия\") SELECT 'Копия' FROM generate_series(1, 100000); ANALYZE \"ЗУРТ\"; "
                             "DELETE FROM \"ЗУРТ\" WHERE \"номер\" % 20 = 0");

    Opened o(link, QStringLiteral("ЗУРТ"), 1);
    EXPECT_GT(o.rs.RecordCount(), 0);
    EXPECT_EQ(o.value(kNumber).toInt(), 1);
    o.rs.MoveLast();
    EXPECT_EQ(o.rs.RecordCount(), 95010);
    EXPECT_EQ(o.value(kNumber).toInt(), 100010);
}

// Each change reaches the server at once and alone: a new row takes the
// server's next number, an edit writes only its columns over the row as it
// is then (another client's change to the same columns refuses it:
// offices_test), and a row another client deleted is reported, never
// brought back.
TEST(ServerRecordset, WritesOneChangeAtATime) {
    TempDir dir;
    const std::string uri = upsized("store_writes", {make_register(dir.path(), 4)});
    const std::string link = link_to(dir.path(), uri);
    const auto on_server = [](const std::string& sql) { return pg().psql("store_writes", sql); };

    Opened o(link, QStringLiteral("ЗУРТ"));
    o.put(kName, QStringLiteral("Ольга"));
    on_server("UPDATE \"ЗУРТ\" SET \"Рост\" = 199 WHERE \"номер\" = 1");
    o.rs.Update();
    EXPECT_EQ(on_server("SELECT \"Имя\" || ' ' || \"Рост\" FROM \"ЗУРТ\" WHERE \"номер\" = 1"), "Ольга 199");

    o.rs.AddNew();
    o.put(kSurname, QStringLiteral("Новиков"));
    o.put(kHeight, 180);
    o.rs.Update();
    EXPECT_EQ(o.rs.RecordCount(), 5);
    EXPECT_EQ(o.value(kNumber).toInt(), 5);
    EXPECT_EQ(on_server("SELECT \"Фамилия\" || ' ' || \"Рост\" || ' ' || \"Судимость\" FROM \"ЗУРТ\" WHERE \"номер\" = 5"), "Новиков 180 false");
    // A number given by hand: the server's own go on after it, as a file's do.
    o.rs.AddNew();
    o.put(kNumber, 10);
    o.rs.AddNew();
    o.rs.Update();
    EXPECT_EQ(o.value(kNumber).toInt(), 11);

    o.rs.MoveFirst();
    o.rs.Delete();
    EXPECT_EQ(error_of([&] { o.value(kSurname); }), errc::kNoCurrentRecord);
    EXPECT_EQ(o.rs.RecordCount(), 6);
    o.rs.MoveNext();
    EXPECT_EQ(o.value(kNumber).toInt(), 2);
    EXPECT_EQ(on_server("SELECT string_agg(\"номер\"::text, ' ' ORDER BY \"номер\") FROM \"ЗУРТ\""), "2 3 4 5 10 11");

    // Rows another client deleted: one moved onto, one being edited.
    on_server("DELETE FROM \"ЗУРТ\" WHERE \"номер\" IN (3, 4)");
    o.rs.MoveNext();
    QString said;
    EXPECT_EQ(error_of([&] { o.value(kSurname); }, &said), errc::kRowDeleted);
    EXPECT_TRUE(said.contains(QStringLiteral("ЗУРТ"))) << said.toStdString();
    o.rs.MoveNext();
    EXPECT_EQ(error_of([&] { o.put(kName, QStringLiteral("Никто")); }), errc::kRowDeleted);
    o.rs.MoveFirst();
    o.put(kName, QStringLiteral("Пётр"));
    on_server("DELETE FROM \"ЗУРТ\" WHERE \"номер\" = 2");
    EXPECT_EQ(error_of([&] { o.rs.Update(); }), errc::kRowDeleted);
    EXPECT_EQ(on_server("SELECT count(*) FROM \"ЗУРТ\""), "3");

    // A table without a primary key reads, and says why it takes no change.
    on_server("CREATE TABLE \"Журнал\" (\"Запись\" varchar(50)); INSERT INTO \"Журнал\" VALUES ('первая'), ('вторая')");
    Opened log(link, QStringLiteral("Журнал"));
    EXPECT_EQ(log.rs.RecordCount(), 2);
    EXPECT_EQ(log.value(0).toString(), QStringLiteral("первая"));
    EXPECT_EQ(error_of([&] { log.rs.AddNew(); }, &said), errc::kReadOnly);
    EXPECT_TRUE(said.contains(QStringLiteral("первичного ключа"))) << said.toStdString();
    EXPECT_EQ(error_of([&] { log.rs.Delete(); }), errc::kReadOnly);
}

// The server's failures as the windows report them: a number and a Russian
// sentence naming what failed; a change cut off with the connection leaves
// the row as it was.
TEST(ServerRecordset, FailuresAreNumberedAndInRussian) {
    TempDir dir;
    const std::string uri = upsized("store_failures", {make_register(dir.path(), 3)});
    const std::string link = link_to(dir.path(), uri);
    QString said;

    Connection cn;
    cn.Open(source(link));
    Recordset missing;
    missing.setActiveConnection(&cn);
    missing.setSource(QStringLiteral("SELECT * FROM [Нет такой]"));
    EXPECT_EQ(error_of([&] { missing.Open(); }, &said), errc::kNoSuchTable);
    EXPECT_TRUE(said.contains(QStringLiteral("Нет такой"))) << said.toStdString();
    EXPECT_EQ(error_of([&] { cn.database(); }), errc::kUnsupported);

    std::ofstream(dir / "away.pgreg") << "host=/nonexistent/folder dbname=x\n";
    std::ofstream(dir / "secret.pgreg") << uri << "&password=secret\n";
    for (const char* name : {"away.pgreg", "secret.pgreg"}) {
        Connection c;
        EXPECT_EQ(error_of([&] { c.Open(source((dir / name).string())); }, &said), errc::kServerConnectionFailed) << name;
        EXPECT_TRUE(said.startsWith(QStringLiteral("Сервер базы данных")) || said.contains(QStringLiteral("пароль"))) << said.toStdString();
        EXPECT_EQ(c.State(), 0);
        EXPECT_EQ(error_of([&] { dataaccess::Query::run(q((dir / name).string()), QStringLiteral("SELECT * FROM ЗУРТ")); }),
                  errc::kServerConnectionFailed);
    }

    // The connection broken off under a pending edit: nothing of it is kept.
    Opened o(link, QStringLiteral("ЗУРТ"));
    o.put(kName, QStringLiteral("Потерянное"));
    pg().psql("store_failures", "SELECT pg_terminate_backend(pid) FROM pg_stat_activity "
                                "WHERE datname = 'store_failures' AND pid <> pg_backend_pid()");
    EXPECT_EQ(error_of([&] { o.rs.Update(); }, &said), errc::kServerCallFailed);
    EXPECT_TRUE(said.startsWith(QStringLiteral("Связь с сервером потеряна"))) << said.toStdString();
    EXPECT_EQ(pg().psql("store_failures", "SELECT \"Имя\" FROM \"ЗУРТ\" WHERE \"номер\" = 1"), "Имя0");
}

// The grid's query on a server register finds the rows and columns the file
// gives, and its failures keep their numbers.
TEST(ServerQuery, FindsWhatTheFileFinds) {
    TempDir dir;
    const fs::path file = make_register(dir.path(), 120);
    const std::string link = link_to(dir.path(), upsized("store_query", {file}));
    for (const char* statement : {"SELECT * FROM ЗУРТ", "SELECT номер, [Фамилия] FROM ЗУРТ WHERE Фамилия LIKE 'фамилия1%' AND номер > 5"}) {
        const auto there = dataaccess::Query::run(q(file.string()), q(statement));
        const auto here = dataaccess::Query::run(q(link), q(statement));
        there->settle(true);
        EXPECT_EQ(here->column_names(), there->column_names());
        ASSERT_EQ(here->row_count(), there->row_count()) << statement;
        EXPECT_EQ(here->rows(0, here->row_count()), there->rows(0, there->row_count())) << statement;
    }
    EXPECT_EQ(error_of([&] { dataaccess::Query::run(q(link), QStringLiteral("SELECT Нет FROM ЗУРТ")); }), errc::kItemNotFound);
}

// A grid's first screen reads only the first keys: the listing counts the
// table as the server counts it and reads the rest when the window has time
// or rows past them are wanted; a search counts what it has read until it is
// read whole. Either ends with the file's rows.
TEST(ServerQuery, FirstScreenReadsTheFirstKeysOnly) {
    TempDir dir;
    const fs::path file = make_register(dir.path(), 2500);
    const std::string link = link_to(dir.path(), upsized("store_first_screen", {file}));
    const QString listing = QStringLiteral("SELECT * FROM ЗУРТ");
    const auto all = dataaccess::Query::run(q(link), listing);
    EXPECT_TRUE(all->listing());
    EXPECT_LT(all->listed(), 2500u);
    EXPECT_EQ(all->row_count(), 2500u);
    EXPECT_FALSE(all->settle(false)) << "the count shown was right";
    EXPECT_FALSE(all->listing());
    const auto there = dataaccess::Query::run(q(file.string()), listing);
    there->settle(true);
    EXPECT_EQ(all->rows(1990, 20), there->rows(1990, 20));

    const QString search = QStringLiteral("SELECT номер FROM ЗУРТ WHERE Имя LIKE 'имя%'");
    const auto found = dataaccess::Query::run(q(link), search);
    EXPECT_TRUE(found->listing());
    EXPECT_EQ(found->row_count(), found->listed());
    EXPECT_TRUE(found->settle(true)) << "the count grew";
    EXPECT_EQ(found->row_count(), 2500u);
    EXPECT_EQ(found->rows(2499, 1), (std::vector<std::vector<QVariant>>{{QVariant(2500)}}));

    // The connection cut between two pages: the listing ends with the rows
    // it has, or goes on whole where the connection is made again; it never
    // keeps a window trying.
    const auto cut = dataaccess::Query::run(q(link), listing);
    pg().psql("store_first_screen", "SELECT pg_terminate_backend(pid) FROM pg_stat_activity "
                                    "WHERE datname = 'store_first_screen' AND pid <> pg_backend_pid()");
    const int failed = error_of([&] { cut->settle(false); });
    EXPECT_TRUE(failed == 0 || failed == errc::kServerCallFailed) << failed;
    EXPECT_FALSE(cut->listing());
    EXPECT_EQ(cut->row_count(), failed ? cut->listed() : 2500u);
    EXPECT_FALSE(cut->settle(true));
}

}  // namespace
