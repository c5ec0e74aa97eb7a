// Relationships as Access enforces them, on files Access made and on files
// holding a table's relationships to itself as Access stores them: a row must
// name a row its parent table has; a parent with related rows is deleted or
// renumbered only where the relationship cascades, and then its related rows
// follow in the same group.
#include <gtest/gtest.h>

#include <QString>

#include "dataaccess/engine_error.h"
#include "dataaccess/error.h"
#include "jet/check.h"
#include "jet/create.h"
#include "logic/register_table.h"
#include "jet/database.h"
#include "mdb_export_compare.h"
#include "logic/move.h"
#include "support.h"
#include "dataaccess/move.h"

namespace {

using namespace testing_support;

// A writable copy of one of the shared files Access made.
fs::path copy_of(const TempDir& dir, const std::string& name) { return copy_fixture(dir.path(), fixtures_dir() / "realworld" / name); }

jet::RowId id_of(jet::Database& d, const std::string& table, std::int64_t first) {
    std::optional<jet::RowId> found;
    d.table(table).scan([&](jet::RowId id, const Row& r) {
        if (std::get<std::int64_t>(r[0]) != first) return true;
        found = id;
        return false;
    });
    if (!found) throw std::logic_error("no such row");
    return *found;
}

// Runs a change in a group; the engine's refusal, if any.
std::optional<jet::Error> change(const fs::path& db, const std::function<void(jet::Database&, jet::WriteGroup&)>& f) {
    jet::Database d(db.string());
    try {
        jet::WriteGroup g(d);
        f(d, g);
        g.commit();
    } catch (const jet::Error& e) {
        return e;
    }
    return std::nullopt;
}

TEST(Relationships, AreReadAsAccessStoredThem) {
    TempDir dir;
    jet::Database d(copy_of(dir, "jackcess__V2000__indexTestV2000.mdb").string());
    std::map<std::string, jet::Relationship> r;
    for (const jet::Relationship& x : jet::read_relationships(d)) r[x.name] = x;
    ASSERT_TRUE(r.count("Table2Table1") && r.count("Table3Table1"));
    EXPECT_EQ(r["Table2Table1"].child, "Table1");
    EXPECT_EQ(r["Table2Table1"].child_columns, std::vector<std::string>{"otherfk1"});
    EXPECT_EQ(r["Table2Table1"].parent, "Table2");
    EXPECT_TRUE(r["Table2Table1"].enforced());
    EXPECT_TRUE(r["Table2Table1"].cascades_deletes());
    EXPECT_FALSE(r["Table2Table1"].cascades_updates());
    EXPECT_TRUE(r["Table3Table1"].cascades_updates());
    EXPECT_FALSE(r["Table3Table1"].cascades_deletes());
}

// Table1 names Table2 (deletes cascade, updates do not) and Table3 (updates
// cascade, deletes do not).
TEST(Relationships, CascadeOrRefuseOnAnAccessFile) {
    TempDir dir;
    const fs::path db = copy_of(dir, "jackcess__V2000__indexTestV2000.mdb");
    const auto table1 = rows_by_first(db, "Table1");

    // A row naming a parent that is not there: refused, nothing changed (3201).
    const std::string before = read_file(db);
    std::optional<jet::Error> e = change(db, [](jet::Database&, jet::WriteGroup& g) {
        Row v{std::int64_t{9}, std::int64_t{7}, std::int64_t{10}, std::string("x"), std::int64_t{0}};
        g.table("Table1").insert(v);
    });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->reason(), jet::Reason::RelatedRowRequired);
    EXPECT_EQ(e->subject(), "Table2");
    EXPECT_EQ(dataaccess::engine_error(*e, QString::fromStdString(db.string())).number(), dataaccess::errc::kRelatedRowRequired);
    EXPECT_TRUE(read_file(db) == before);
    // The same row naming parents that are there: taken. A Null names nothing.
    EXPECT_FALSE(change(db, [](jet::Database&, jet::WriteGroup& g) {
        Row v{std::int64_t{9}, std::int64_t{2}, jet::Null{}, std::string("x"), std::int64_t{0}};
        g.table("Table1").insert(v);
    }));

    // Table3's row 13 is named by Table1: its deletion does not cascade (3200).
    e = change(db, [](jet::Database& d, jet::WriteGroup& g) { g.table("Table3").remove(id_of(d, "Table3", 13)); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->reason(), jet::Reason::RelatedRowsExist);
    EXPECT_EQ(rows_by_first(db, "Table3").count(13), 1u);
    // Its key change does: Table1's rows follow.
    EXPECT_FALSE(change(db, [](jet::Database& d, jet::WriteGroup& g) {
        Row v{std::int64_t{113}, std::string("bar13")};
        g.table("Table3").update(id_of(d, "Table3", 13), v);
    }));
    EXPECT_EQ(std::get<std::int64_t>(rows_by_first(db, "Table1").at(3)[2]), 113);

    // Table2's row 1 is named by Table1's rows 1 and 2: its key change does not cascade.
    e = change(db, [](jet::Database& d, jet::WriteGroup& g) {
        Row v{std::int64_t{101}, std::string("foo1")};
        g.table("Table2").update(id_of(d, "Table2", 1), v);
    });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->reason(), jet::Reason::RelatedRowsExist);
    // Its deletion does: rows 1 and 2 of Table1 go with it, in the same group.
    EXPECT_FALSE(change(db, [](jet::Database& d, jet::WriteGroup& g) { g.table("Table2").remove(id_of(d, "Table2", 1)); }));
    const auto after = rows_by_first(db, "Table1");
    EXPECT_EQ(after.size(), table1.size() + 1 - 2);
    EXPECT_FALSE(after.count(1) || after.count(2));
    expect_sound(db, {"Table1", "Table2", "Table3"});
}

TEST(Relationships, CascadingDeletesOnAnotherAccessFile) {
    TempDir dir;
    const fs::path db = copy_of(dir, "linq2db__TestData.mdb");
    // Person 1 is a doctor, person 2 a patient; both relationships cascade.
    EXPECT_FALSE(change(db, [](jet::Database& d, jet::WriteGroup& g) {
        g.table("Person").remove(id_of(d, "Person", 1));
        g.table("Person").remove(id_of(d, "Person", 2));
    }));
    EXPECT_TRUE(rows_by_first(db, "Doctor").empty());
    EXPECT_TRUE(rows_by_first(db, "Patient").empty());
    std::optional<jet::Error> e = change(db, [](jet::Database&, jet::WriteGroup& g) {
        Row v{std::int64_t{777}, std::string("Хирургия")};
        g.table("Doctor").insert(v);
    });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->subject(), "Person");
    expect_sound(db, {"Person", "Doctor", "Patient"});
}

// A file whose table Orders relates to itself: each order may name another
// (Parent, and Other) through relationships stored in MSysRelationships as
// Access stores them (one row for each column pair, the flags in grbit),
// each with the index Access keeps on the naming column. Rows are
// {ID, Parent, Other}.
fs::path orders_naming_orders(const fs::path& db, std::int64_t flags, const std::vector<Row>& rows) {
    jet::create_database(db.string());
    jet::Database d(db.string());
    jet::WriteGroup g(d);
    g.keep_relationships(false);  // the rows go in first: some name themselves or orders after them
    jet::TableSpec orders;
    orders.name = "Orders";
    orders.columns = {{"ID", jet::ColumnType::Long}, {"Parent", jet::ColumnType::Long}, {"Other", jet::ColumnType::Long}};
    orders.indexes = {{"PrimaryKey", {{"ID", true}}, true, true}, {"OrdersOrders", {{"Parent", true}}}, {"OrdersOrders1", {{"Other", true}}}};
    jet::create_table(g, orders);
    for (Row r : rows) g.table("Orders").insert(r);
    for (const auto& [name, column] : {std::pair("OrdersOrders", "Parent"), std::pair("OrdersOrders1", "Other")}) {
        Row rel{std::string(name), flags, std::int64_t{1}, std::int64_t{0}, std::string("Orders"), std::string(column),
                std::string("Orders"), std::string("ID")};
        g.table("MSysRelationships").insert(rel);
    }
    g.commit();
    return db;
}

std::set<std::int64_t> order_ids(const fs::path& db) {
    std::set<std::int64_t> out;
    for (const auto& [id, row] : rows_by_first(db, "Orders")) out.insert(id);
    return out;
}

Row order(std::int64_t id, std::optional<std::int64_t> parent, std::optional<std::int64_t> other = std::nullopt) {
    return {id, parent ? jet::Value{*parent} : jet::Value{jet::Null{}}, other ? jet::Value{*other} : jet::Value{jet::Null{}}};
}

// Deleting an order deletes every order the cascade reaches, each once: one
// naming itself, rings of orders naming each other, chains of any length,
// an order reached two ways. The rest stay.
TEST(Relationships, ATableCascadingToItselfDeletesEveryRowReachedOnce) {
    TempDir dir;
    std::vector<Row> rows{
        order(1, 1),                                                // names itself
        order(2, 3),             order(3, 2),                       // a ring of two
        order(4, std::nullopt),  order(5, 4),  order(6, 5),         // a chain of three
        order(7, 8),             order(8, 9),  order(9, 7),  order(10, 8),  // a ring of three, one order hanging from it
        order(11, std::nullopt), order(12, 11), order(13, 11, 12),  // 13 reached from 11 and from 12
        order(14, std::nullopt),                                    // named by nobody
    };
    // A chain deeper than any fixed limit would allow: 100 names nothing, each next names the one before.
    rows.push_back(order(100, std::nullopt));
    for (std::int64_t i = 101; i < 300; ++i) rows.push_back(order(i, i - 1));
    const fs::path db = orders_naming_orders(dir / "orders.mdb", jet::Relationship::kCascadeDeletes, rows);
    {
        jet::Database d(db.string());
        const std::vector<jet::Relationship> r = jet::read_relationships(d);
        ASSERT_EQ(r.size(), 2u);
        EXPECT_EQ(r[0].child, "Orders");
        EXPECT_EQ(r[0].parent, "Orders");
        EXPECT_TRUE(r[0].enforced() && r[0].cascades_deletes() && !r[0].cascades_updates());
    }
    expect_sound(db);

    std::set<std::int64_t> left = order_ids(db);
    auto remove = [&](std::int64_t id, std::set<std::int64_t> gone) {
        SCOPED_TRACE("deleting order " + std::to_string(id));
        std::optional<jet::Error> e = change(db, [&](jet::Database& d, jet::WriteGroup& g) { g.table("Orders").remove(id_of(d, "Orders", id)); });
        EXPECT_FALSE(e) << e->what();
        for (std::int64_t x : gone) left.erase(x);
        EXPECT_EQ(order_ids(db), left);
        expect_sound(db, {"Orders"});
    };
    remove(1, {1});
    remove(3, {2, 3});
    remove(5, {5, 6});  // 4 is named by 5, not the other way round
    remove(4, {4});
    remove(8, {7, 8, 9, 10});
    remove(11, {11, 12, 13});
    std::set<std::int64_t> chain;
    for (std::int64_t i = 100; i < 300; ++i) chain.insert(i);
    remove(100, chain);
    EXPECT_EQ(left, std::set<std::int64_t>{14});
}

// Without the cascade, a row with related rows stays, also when the row it
// is related to is itself; with cascading updates, a changed key is followed
// by the rows naming it, itself included.
TEST(Relationships, ATableRelatedToItselfWithoutCascadingDeletes) {
    TempDir dir;
    const fs::path db = orders_naming_orders(dir / "orders.mdb", jet::Relationship::kCascadeUpdates,
                                             {order(1, 1), order(2, 3), order(3, std::nullopt), order(4, std::nullopt)});
    const std::string before = read_file(db);
    for (std::int64_t id : {1, 3}) {
        SCOPED_TRACE("deleting order " + std::to_string(id));
        std::optional<jet::Error> e = change(db, [&](jet::Database& d, jet::WriteGroup& g) { g.table("Orders").remove(id_of(d, "Orders", id)); });
        ASSERT_TRUE(e);
        EXPECT_EQ(e->kind(), jet::ErrorKind::Constraint) << e->what();
        EXPECT_EQ(e->reason(), jet::Reason::RelatedRowsExist);
        EXPECT_EQ(e->subject(), "Orders");
        EXPECT_EQ(dataaccess::engine_error(*e, QString::fromStdString(db.string())).number(), dataaccess::errc::kRelatedRowsExist);
        EXPECT_TRUE(read_file(db) == before);
    }
    // Order 2 is named by nobody: it goes alone, and then 3 may go.
    EXPECT_FALSE(change(db, [](jet::Database& d, jet::WriteGroup& g) { g.table("Orders").remove(id_of(d, "Orders", 2)); }));
    EXPECT_FALSE(change(db, [](jet::Database& d, jet::WriteGroup& g) { g.table("Orders").remove(id_of(d, "Orders", 3)); }));
    EXPECT_EQ(order_ids(db), (std::set<std::int64_t>{1, 4}));

    // Order 1 renumbered: it names itself by its new number.
    EXPECT_FALSE(change(db, [](jet::Database& d, jet::WriteGroup& g) {
        Row v = order(101, 1);
        g.table("Orders").update(id_of(d, "Orders", 1), v);
    }));
    const auto after = rows_by_first(db, "Orders");
    ASSERT_EQ(after.count(101), 1u);
    EXPECT_EQ(after.at(101), order(101, 101));
    // Now a row may name it, and a row naming a missing order is refused.
    EXPECT_FALSE(change(db, [](jet::Database&, jet::WriteGroup& g) {
        Row v = order(5, 101, 4);
        g.table("Orders").insert(v);
    }));
    std::optional<jet::Error> e = change(db, [](jet::Database&, jet::WriteGroup& g) {
        Row v = order(6, 1);
        g.table("Orders").insert(v);
    });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->reason(), jet::Reason::RelatedRowRequired);
    expect_sound(db, {"Orders"});
}

TEST(Relationships, CheckNamesRowsThatBreakOne) {
    TempDir dir;
    const fs::path db = copy_of(dir, "jackcess__V2000__indexTestV2000.mdb");
    {
        // Written past the relationships, as a program that ignores them would.
        jet::Database d(db.string());
        jet::WriteGroup g(d);
        g.keep_relationships(false);
        g.table("Table3").remove(id_of(d, "Table3", 11));
        g.commit();
    }
    RunResult r = run_regtool({"check", db.string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("table Table1: 2 rows name rows that table Table3 lacks (relationship Table3Table1)"), std::string::npos) << r.out;
    // In Russian a line says what the check's own descriptions are.
    RunResult ru = run_regtool({"check", db.string()}, {"LANG=ru_RU.UTF-8"});
    EXPECT_EQ(ru.status, 1);
    EXPECT_EQ(ru.out, "Проверка нашла нарушения в базе данных «" + db.string() + "» (1), вот их описания на английском:\n" + r.out);
}

// A register whose rows another table names cannot give them up: moving them
// would leave that table's rows naming nothing.
TEST(Relationships, MoveOfRowsOtherTablesNameIsRefused) {
    TempDir dir;
    const fs::path src = dir / "src.mdb";
    jet::create_database(src.string());
    {
        jet::Database d(src.string());
        reg::create_register_table(d);
        jet::WriteGroup g(d);
        jet::TableSpec visits;
        visits.name = "Посещения";
        visits.columns = {{"код", jet::ColumnType::Long, 0, true}, {"номер", jet::ColumnType::Long}};
        visits.indexes = {{"PrimaryKey", {{"код", true}}, true, true}, {"ЗУРТПосещения", {{"номер", true}}}};
        jet::create_table(g, visits);
        Row person(26, jet::Null{});
        person[1] = std::string("Иванов");
        g.table("ЗУРТ").insert(person);
        Row visit{jet::Null{}, std::int64_t{1}};
        g.table("Посещения").insert(visit);
        Row rel{std::string("ЗУРТПосещения"), std::int64_t{0}, std::int64_t{1}, std::int64_t{0}, std::string("Посещения"),
                std::string("номер"), std::string("ЗУРТ"), std::string("номер")};
        g.table("MSysRelationships").insert(rel);
        g.commit();
    }
    const fs::path dst = write_register(dir / "dst.mdb", 0, [](int) { return Row(26, jet::Null{}); });
    const std::string src_before = read_file(src), dst_before = read_file(dst);
    try {
        dataaccess::move_register(QString::fromStdString(src.string()), QString::fromStdString(dst.string()));
        ADD_FAILURE() << "the rows moved";
    } catch (const dataaccess::DataError& e) {
        EXPECT_TRUE(e.description().contains(QStringLiteral("«ЗУРТПосещения»"))) << e.description().toStdString();
        EXPECT_TRUE(e.description().contains(QStringLiteral("Ничего не перенесено"))) << e.description().toStdString();
    }
    EXPECT_TRUE(read_file(src) == src_before);
    EXPECT_TRUE(read_file(dst) == dst_before);
}

}  // namespace
