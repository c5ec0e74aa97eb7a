// The data access layer over register files made for each test: connection
// strings, the failures the windows report, the cursor's moves, values both
// ways, and changes that reach the file where other readers see them.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTime>
#include <QVariant>

#include <cstdlib>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "dataaccess/connection.h"
#include "dataaccess/error.h"
#include "dataaccess/field.h"
#include "dataaccess/recordset.h"
#include "jet/create.h"
#include "jet/database.h"
#include "data_errors.h"
#include "support.h"

namespace {

using namespace testing_support;
using dataaccess::Connection;
using dataaccess::Recordset;
namespace errc = dataaccess::errc;
using Row = std::vector<jet::Value>;

const char kRegister[] = "ЗУРТ";
constexpr int kSurname = 1, kName = 2, kBirth = 5, kHeight = 9, kWeight = 10, kConvicted = 11, kNote = 12, kSum = 21, kDistrict = 22;

QString q(const fs::path& p) { return QString::fromStdString(p.string()); }

QString viewer_string(const QString& path) {
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + path + QStringLiteral(";Jet OLEDB:Database Password=");
}
QString browser_string(const QString& path) {
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + path + QStringLiteral(";Persist Security Info=False");
}

std::string surname(int i) { return "Фамилия " + std::to_string(i); }

Row person(int i) {
    Row v(26, jet::Null{});
    v[kSurname] = surname(i);
    v[kName] = "Имя " + std::to_string(i);
    v[kHeight] = std::int64_t{170 + i};
    return v;
}

// A new register holding persons 0..rows-1 (номер 1..rows), in that storage order.
fs::path new_register(const fs::path& db, int rows) { return write_register(db, rows, [](int i) { return person(i); }); }

// Changes made by another program to row k in storage order.
jet::RowId id_at(const fs::path& db, std::size_t k) { return jet::Database(db.string()).table(kRegister).row_ids().at(k); }
void change_elsewhere(const fs::path& db, std::size_t k, int column, const jet::Value& value) {
    change_table(db, [id = id_at(db, k), column, &value](jet::TableWriter& t) {
        Row row = *t.read(id);
        row[static_cast<std::size_t>(column)] = value;
        t.update(id, row);
    });
}
void delete_elsewhere(const fs::path& db, std::size_t k) {
    change_table(db, [id = id_at(db, k)](jet::TableWriter& t) { t.remove(id); });
}

// A register open through the layer as the windows open it.
struct Opened {
    explicit Opened(const fs::path& db, int lock_type = 3, const QString& source = QStringLiteral("SELECT * FROM ЗУРТ")) {
        cn.Open(viewer_string(q(db)));
        rs.setActiveConnection(&cn);
        rs.setSource(source);
        rs.setCursorType(1);
        rs.setLockType(lock_type);
        rs.Open();
    }
    QVariant value(int ordinal) { return rs.fields().Item(static_cast<std::int16_t>(ordinal)).Value(); }
    void put(int ordinal, const QVariant& v) { rs.fields().Item(static_cast<std::int16_t>(ordinal)).setValue(v); }
    QString surname() { return value(kSurname).toString(); }

    Connection cn;
    Recordset rs;
};

// A new register of persons 0..rows-1 in a folder of its own.
struct Reg {
    explicit Reg(int rows) : db(new_register(dir / "reg.mdb", rows)) {}
    TempDir dir;
    fs::path db;
};

// The same, open through the layer.
struct OpenReg : Reg, Opened {
    explicit OpenReg(int rows, int lock_type = 3) : Reg(rows), Opened(db, lock_type) {}
};

// ---------------------------------------------------------------------------

TEST(ConnectionString, DataSourceIsThePathAsWritten) {
    const QString odd = QStringLiteral("/home/оператор/Мои документы/база; копия.mdb");
    struct Case {
        QString string, path;
    } cases[] = {
        {viewer_string(QStringLiteral("/x/y.mdb")), QStringLiteral("/x/y.mdb")},
        {browser_string(QStringLiteral("/x/y.mdb")), QStringLiteral("/x/y.mdb")},
        {viewer_string(odd), odd},
        {browser_string(odd), odd},
        {QStringLiteral("provider=MICROSOFT.JET.OLEDB.4.0;data source=/x/y.mdb"), QStringLiteral("/x/y.mdb")},
        {QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/x/y.mdb;"), QStringLiteral("/x/y.mdb")},
        {QStringLiteral("Data Source=/a;b/c.mdb;Provider=Microsoft.Jet.OLEDB.4.0"), QStringLiteral("/a;b/c.mdb")},
        {QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/x;modern/y.mdb;User ID=Admin"), QStringLiteral("/x;modern/y.mdb")},
        {QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source= /x/y.mdb;Mode = Share Deny None"), QStringLiteral(" /x/y.mdb")},
        {QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/x=1/y.mdb;jet oledb:engine type=5"), QStringLiteral("/x=1/y.mdb")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.string.toStdString());
        QString got;
        EXPECT_EQ(error_of([&] { got = dataaccess::data_source(c.string); }), 0);
        EXPECT_EQ(got, c.path);
    }
}

TEST(ConnectionString, OnlyJet4WithADataSource) {
    const QString refused[] = {
        QStringLiteral("Provider=SQLOLEDB;Data Source=/x/y.mdb"),
        QStringLiteral("Provider=Microsoft.Jet.OLEDB.3.51;Data Source=/x/y.mdb"),
        QStringLiteral("Provider=Microsoft.ACE.OLEDB.12.0;Data Source=/x/y.accdb"),
        QStringLiteral("Data Source=/x/y.mdb"),
        QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0"),
        QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=;Jet OLEDB:Database Password="),
        QString(),
    };
    for (const QString& s : refused) {
        SCOPED_TRACE(s.toStdString());
        QString text;
        EXPECT_EQ(error_of([&] { dataaccess::data_source(s); }, &text), errc::kProvider);
        EXPECT_FALSE(text.isEmpty());
        Connection cn;
        EXPECT_EQ(error_of([&] { cn.Open(s); }), errc::kProvider);
        EXPECT_EQ(cn.State(), 0);
    }
}

// ---------------------------------------------------------------------------

TEST(Connection, OpensAPathWithSemicolonSpacesAndCyrillic) {
    TempDir dir;
    fs::path folder = dir / "Мои базы; копия";
    fs::create_directories(folder);
    fs::path db = new_register(folder / "реестр 1.mdb", 2);
    for (const QString& s : {viewer_string(q(db)), browser_string(q(db))}) {
        Connection cn;
        cn.Open(s);
        EXPECT_EQ(cn.State(), 1);
        EXPECT_EQ(cn.path(), q(db));
        EXPECT_TRUE(cn.database().has_table(kRegister));
    }
}

TEST(Connection, OpenAndCloseFollowTheObjectState) {
    Reg r(1);
    Connection cn;
    EXPECT_EQ(cn.State(), 0);
    EXPECT_EQ(error_of([&] { cn.Close(); }), errc::kClosed);
    EXPECT_EQ(error_of([&] { cn.database(); }), errc::kClosed);
    cn.Open(viewer_string(q(r.db)));
    EXPECT_EQ(cn.State(), 1);
    EXPECT_EQ(error_of([&] { cn.Open(viewer_string(q(r.db))); }), errc::kOpen);
    EXPECT_EQ(cn.State(), 1);  // still open on the same file
    cn.Close();
    EXPECT_EQ(cn.State(), 0);
    EXPECT_EQ(error_of([&] { cn.Close(); }), errc::kClosed);
    cn.Open(browser_string(q(r.db)));
    EXPECT_EQ(cn.State(), 1);
}

TEST(Connection, EachFailureHasItsNumberAndNamesTheFile) {
    TempDir dir;
    write_file(dir / "notes.mdb", "This is a text file, not a database.\n");
    write_file(dir / "empty.mdb", "");
    fs::create_directories(dir / "folder.mdb");
    struct Case {
        fs::path path;
        int number;
        const char* says;  // a word of the reason
    };
    std::vector<Case> cases = {
        {dir / "missing.mdb", errc::kFileNotFound, "Не удается найти файл"},
        {dir / "notes.mdb", errc::kNotJet4, "Нераспознаваемый формат"},
        {dir / "empty.mdb", errc::kNotJet4, "пуст"},
        {dir / "folder.mdb", errc::kNotJet4, "папка"},
    };
    if (have_fixtures()) {
        cases.push_back({fixtures_dir() / "other-formats" / "jackcess__V1997__testV1997.mdb", errc::kNotJet4, "Access 97"});
        cases.push_back({fixtures_dir() / "other-formats" / "jackcess__V2007__testV2007.accdb", errc::kNotJet4, "Access 2007"});
        cases.push_back({fixtures_dir() / "realworld" / "mdbreader__password__data__V2000_with-password.mdb", errc::kBadPassword, "паролем"});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.string());
        Connection cn;
        QString text;
        EXPECT_EQ(error_of([&] { cn.Open(viewer_string(q(c.path))); }, &text), c.number);
        EXPECT_TRUE(text.contains(QStringLiteral("«") + q(c.path.filename()) + QStringLiteral("»"))) << text.toStdString();
        EXPECT_TRUE(text.contains(QString::fromUtf8(c.says))) << text.toStdString();
        EXPECT_EQ(cn.State(), 0);
    }
}

// ---------------------------------------------------------------------------

TEST(RecordsetOpen, NeedsAnOpenConnection) {
    Reg r(1);
    Recordset rs;
    rs.setSource(QStringLiteral("SELECT * FROM ЗУРТ"));
    EXPECT_EQ(error_of([&] { rs.Open(); }), errc::kClosed);
    Connection cn;
    rs.setActiveConnection(&cn);
    EXPECT_EQ(error_of([&] { rs.Open(); }), errc::kClosed);
    cn.Open(viewer_string(q(r.db)));
    rs.Open();
    EXPECT_EQ(rs.State(), 1);
    EXPECT_EQ(error_of([&] { rs.Open(); }), errc::kOpen);
}

TEST(RecordsetOpen, OnlySelectAllFromATable) {
    Reg r(2);
    const char* accepted[] = {"SELECT * FROM ЗУРТ", "select * from зурт", "  SeLeCt  *  FrOm  [ЗУРТ] ;  ", "SELECT*FROM ЗУРТ;",
                              "SELECT * FROM [зурт]", "SELECT *\n  FROM ЗУРТ\n"};
    for (const char* s : accepted) {
        SCOPED_TRACE(s);
        int number = error_of([&] { Opened o(r.db, 3, QString::fromUtf8(s)); EXPECT_EQ(o.rs.RecordCount(), 2); });
        EXPECT_EQ(number, 0);
    }
    const char* refused[] = {"SELECT Фамилия FROM ЗУРТ", "SELECT * FROM ЗУРТ WHERE номер = 1", "SELECT * FROM ЗУРТ ORDER BY Фамилия",
                             "DELETE * FROM ЗУРТ", "SELECT * FROM", "SELECT * FROM ЗУРТ;;", "SELECT * FROM [ЗУРТ", "", "ЗУРТ"};
    for (const char* s : refused) {
        SCOPED_TRACE(s);
        EXPECT_EQ(error_of([&] { Opened o(r.db, 3, QString::fromUtf8(s)); }), errc::kFromClause);
    }
}

TEST(RecordsetOpen, ATableTheFileLacks) {
    TempDir dir;
    std::vector<fs::path> files = {dir / "empty.mdb"};
    jet::create_database(files[0].string());
    if (have_fixtures()) files.push_back(fixtures_dir() / "register" / "other.mdb");
    for (const fs::path& db : files) {
        SCOPED_TRACE(db.string());
        QString text;
        EXPECT_EQ(error_of([&] { Opened o(db); }, &text), errc::kNoSuchTable);
        EXPECT_EQ(text, QStringLiteral("Не удается найти таблицу «ЗУРТ»."));
    }
}

// ---------------------------------------------------------------------------

TEST(Navigation, BofEofAndMovesForZeroToThreeRows) {
    for (int n = 0; n <= 3; ++n) {
        SCOPED_TRACE("rows: " + std::to_string(n));
        OpenReg o(n);
        Recordset& rs = o.rs;
        // The current row's surname, or where the cursor stands beyond the rows
        // ("bof", "eof", both), where reading is refused.
        auto at = [&] {
            if (!rs.Bof() && !rs.Eof()) return o.surname().toStdString();
            EXPECT_EQ(error_of([&] { o.value(kSurname); }), errc::kNoCurrentRecord);
            return std::string(rs.Bof() ? "bof" : "") + (rs.Eof() ? "eof" : "");
        };
        EXPECT_EQ(rs.RecordCount(), n);
        if (n == 0) {
            EXPECT_EQ(at(), "bofeof");
            EXPECT_EQ(error_of([&] { rs.MoveFirst(); }), errc::kNoCurrentRecord);
            EXPECT_EQ(error_of([&] { rs.MoveLast(); }), errc::kNoCurrentRecord);
            EXPECT_EQ(error_of([&] { rs.MoveNext(); }), errc::kNoCurrentRecord);
            EXPECT_EQ(error_of([&] { rs.MovePrevious(); }), errc::kNoCurrentRecord);
            EXPECT_EQ(at(), "bofeof");
            continue;
        }
        // Forward from the first row to past the last, and back to before the first.
        for (int i = 0; i < n; ++i, rs.MoveNext()) EXPECT_EQ(at(), surname(i));
        EXPECT_EQ(at(), "eof");
        EXPECT_EQ(error_of([&] { rs.MoveNext(); }), errc::kNoCurrentRecord);
        EXPECT_EQ(at(), "eof");
        for (int i = n - 1; i >= 0; --i) {
            rs.MovePrevious();
            EXPECT_EQ(at(), surname(i));
        }
        rs.MovePrevious();
        EXPECT_EQ(at(), "bof");
        EXPECT_EQ(error_of([&] { rs.MovePrevious(); }), errc::kNoCurrentRecord);
        rs.MoveNext();
        EXPECT_EQ(at(), surname(0));
        rs.MoveLast();
        EXPECT_EQ(at(), surname(n - 1));
        rs.MoveFirst();
        EXPECT_EQ(at(), surname(0));
        EXPECT_EQ(rs.RecordCount(), n);
    }
}

// A register longer than the keys listed at Open: the rest come on a thread
// while the first rows are read, and moves, counts, deletes and new rows are
// the same as with the whole keyset at hand.
TEST(Navigation, AKeysetStillBeingListedBehavesAsAWholeOne) {
    const int n = 700;
    Reg r(n);
    {
        Opened o(r.db);
        EXPECT_EQ(o.rs.RecordCount(), n);
        int seen = 0;
        for (; !o.rs.Eof(); o.rs.MoveNext()) {
            ASSERT_EQ(o.surname(), q(surname(seen))) << seen;
            ++seen;
        }
        EXPECT_EQ(seen, n);
        o.rs.MovePrevious();
        EXPECT_EQ(o.surname(), q(surname(n - 1)));
    }
    {
        // Changes before the listing ends: it is awaited first, so the new row
        // is listed once and the deleted one passed over.
        Opened o(r.db);
        for (int i = 0; i < 10; ++i) o.rs.MoveNext();
        o.rs.Delete(1);
        o.rs.AddNew();
        o.put(kSurname, QStringLiteral("Новая"));
        o.rs.Update();
        EXPECT_EQ(o.rs.RecordCount(), n);
        EXPECT_EQ(o.surname(), QStringLiteral("Новая"));
        o.rs.MoveFirst();
        int seen = 0;
        for (; !o.rs.Eof(); o.rs.MoveNext()) ++seen;
        EXPECT_EQ(seen, n);
        o.rs.MoveLast();
        EXPECT_EQ(o.surname(), QStringLiteral("Новая"));
    }
    EXPECT_EQ(register_rows(r.db).size(), static_cast<std::size_t>(n));
    {
        // The new row lies where the file had room for it, listed once.
        Opened o(r.db);
        o.rs.MoveLast();  // waits for the whole keyset
        o.rs.MoveFirst();
        int seen = 0, fresh = 0;
        for (; !o.rs.Eof(); o.rs.MoveNext(), ++seen) fresh += o.surname() == QStringLiteral("Новая") ? 1 : 0;
        EXPECT_EQ(seen, n);
        EXPECT_EQ(fresh, 1);
        EXPECT_EQ(o.rs.RecordCount(), n);
    }
}

TEST(Navigation, TheCurrentRowIsReadAgainAfterAMove) {
    OpenReg o(2);
    EXPECT_EQ(o.surname(), q(surname(0)));
    change_elsewhere(o.db, 0, kSurname, std::string("Петрова"));
    EXPECT_EQ(o.surname(), q(surname(0)));  // kept until the next move
    o.rs.MoveNext();
    o.rs.MovePrevious();
    EXPECT_EQ(o.surname(), QStringLiteral("Петрова"));
}

// ---------------------------------------------------------------------------

TEST(Fields, CountNamesAndOrdinalsPastTheEnd) {
    OpenReg o(1);
    dataaccess::Fields& f = o.rs.fields();
    ASSERT_EQ(f.Count(), 26);
    EXPECT_EQ(f.Item(0).Name(), QStringLiteral("номер"));
    EXPECT_EQ(f.Item(25).Name(), QStringLiteral("Изменено"));
    QString text;
    EXPECT_EQ(error_of([&] { f.Item(26); }, &text), errc::kItemNotFound);
    EXPECT_TRUE(text.startsWith(QStringLiteral("Элемент не найден в коллекции"))) << text.toStdString();
    EXPECT_EQ(error_of([&] { f.Item(-1); }), errc::kItemNotFound);
    // A field made by hand past the end is refused too, not read out of bounds.
    EXPECT_EQ(error_of([&] { dataaccess::Field(o.rs, 26).Value(); }), errc::kItemNotFound);
    EXPECT_EQ(error_of([&] { dataaccess::Field(o.rs, 26).setValue(QVariant(1)); }), errc::kItemNotFound);
    EXPECT_EQ(error_of([&] { dataaccess::Field(o.rs, -3).ActualSize(); }), errc::kItemNotFound);
}

// ---------------------------------------------------------------------------

TEST(Values, ReadWithTheTypesTheWindowsExpect) {
    // A zone with summer time: a date must come out with the fields it was stored with.
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    Row v(26, jet::Null{});
    v[kSurname] = std::string("Иванов");
    v[kName] = std::string();
    v[kBirth] = jet::from_civil({1850, 6, 15, 10, 30, 5, 0});
    v[20] = jet::from_civil({2021, 3, 28, 2, 30, 0, 0});  // the hour clocks skipped that night
    v[kHeight] = std::int64_t{180};
    v[kWeight] = 72.5;
    v[kConvicted] = true;
    v[kNote] = std::string(5000, 'x');
    v[kSum] = jet::Currency{123456789};
    v[kDistrict] = std::int64_t{-5};
    TempDir dir;
    Opened o(write_register(dir / "reg.mdb", {v}));
    auto size = [&](int i) { return o.rs.fields().Item(static_cast<std::int16_t>(i)).ActualSize(); };

    EXPECT_EQ(o.value(0), QVariant(1));
    EXPECT_EQ(o.value(kSurname), QVariant(QStringLiteral("Иванов")));
    EXPECT_EQ(o.value(kName).typeId(), QMetaType::QString);  // empty, not Null
    EXPECT_TRUE(o.value(kName).toString().isEmpty());
    EXPECT_FALSE(o.value(3).isValid());  // Null
    EXPECT_EQ(o.value(kHeight).typeId(), QMetaType::Int);
    EXPECT_EQ(o.value(kHeight).toInt(), 180);
    EXPECT_EQ(o.value(kDistrict).typeId(), QMetaType::Int);
    EXPECT_EQ(o.value(kDistrict).toInt(), -5);
    EXPECT_EQ(o.value(kWeight), QVariant(72.5));
    EXPECT_EQ(o.value(kConvicted), QVariant(true));
    EXPECT_EQ(o.value(kSum).typeId(), QMetaType::Double);
    EXPECT_DOUBLE_EQ(o.value(kSum).toDouble(), 12345.6789);
    EXPECT_EQ(o.value(kNote).toString().size(), 5000);

    const QDateTime birth = o.value(kBirth).toDateTime();
    EXPECT_EQ(birth.timeSpec(), Qt::UTC);
    EXPECT_EQ(birth.date(), QDate(1850, 6, 15));
    EXPECT_EQ(birth.time(), QTime(10, 30, 5));
    const QDateTime night = o.value(20).toDateTime();
    EXPECT_EQ(night.date(), QDate(2021, 3, 28));
    EXPECT_EQ(night.time(), QTime(2, 30));

    EXPECT_EQ(size(3), 0);         // Null
    EXPECT_EQ(size(kName), 0);     // ""
    EXPECT_EQ(size(kSurname), 12); // six characters
    EXPECT_EQ(size(kNote), 10000);
    EXPECT_EQ(size(kHeight), 2);
    EXPECT_EQ(size(kDistrict), 4);
    EXPECT_EQ(size(kWeight), 8);
    EXPECT_EQ(size(kSum), 8);
    EXPECT_EQ(size(kBirth), 8);
    EXPECT_EQ(size(kConvicted), 2);
}

// A table with a column of every type, filled through the layer and read by the engine.
TEST(Values, EveryColumnTypeGoesInAndComesBack) {
    using T = jet::ColumnType;
    TempDir dir;
    jet::TableSpec spec;
    spec.name = "Типы";
    spec.columns = {{"id", T::Long, 0, true}, {"b", T::Byte},     {"i", T::Integer},  {"l", T::Long},      {"c", T::Currency},
                    {"s", T::Single},         {"d", T::Double},   {"t", T::DateTime}, {"bin", T::Binary, 4}, {"txt", T::Text, 5},
                    {"ole", T::Ole},          {"memo", T::Memo},  {"g", T::Guid},     {"dec", T::Decimal, 0, false, 18, 4},
                    {"yes", T::Boolean}};
    spec.indexes = {{"PrimaryKey", {{"id", true}}, true, true, false, true}};
    const fs::path db = write_table(dir / "types.mdb", spec);
    const QString guid = QStringLiteral("{6F9619FF-8B86-D011-B42D-00C04FC964FF}");
    const QByteArray bytes("\x01\x00\xFF\x7F", 4);
    const QByteArray picture(3000, '\x5A');
    {
        Opened o(db, 3, QStringLiteral("SELECT * FROM [Типы]"));
        o.rs.AddNew();
        o.put(1, 200);
        o.put(2, QStringLiteral("-32768"));
        o.put(3, 2147483647LL);
        o.put(4, QStringLiteral("-922337203685477,5807"));
        o.put(5, 0.1);
        o.put(6, 1e300);
        o.put(7, QDateTime(QDate(100, 1, 1), QTime(23, 59, 59, 999), Qt::UTC));
        o.put(8, bytes);
        o.put(9, QStringLiteral("ёжик"));
        o.put(10, picture);
        o.put(11, QStringLiteral("строка\nвторая"));
        o.put(12, guid);
        o.put(13, QStringLiteral("-12345678901234.5678"));
        o.put(14, true);
        o.rs.Update();
    }
    const Row got = rows_by_first(db, "Типы").at(1);
    ASSERT_EQ(got.size(), 15u);
    EXPECT_EQ(got[0], jet::Value(std::int64_t{1}));
    EXPECT_EQ(got[1], jet::Value(std::int64_t{200}));
    EXPECT_EQ(got[2], jet::Value(std::int64_t{-32768}));
    EXPECT_EQ(got[3], jet::Value(std::int64_t{2147483647}));
    EXPECT_EQ(got[4], jet::Value(jet::Currency{-9223372036854775807LL}));
    EXPECT_EQ(got[5], jet::Value(0.1f));
    EXPECT_EQ(got[6], jet::Value(1e300));
    EXPECT_EQ(jet::to_iso(std::get<jet::DateTime>(got[7])), "0100-01-01T23:59:59.999");
    EXPECT_EQ(got[8], jet::Value(jet::Binary{{0x01, 0x00, 0xFF, 0x7F}}));
    EXPECT_EQ(got[9], jet::Value(std::string("ёжик")));
    EXPECT_EQ(std::get<jet::Binary>(got[10]).bytes.size(), 3000u);
    EXPECT_EQ(got[11], jet::Value(std::string("строка\nвторая")));
    EXPECT_EQ(jet::to_string(std::get<jet::Guid>(got[12])), guid.toStdString());
    EXPECT_EQ(jet::to_string(std::get<jet::Decimal>(got[13])), "-12345678901234.5678");
    EXPECT_EQ(got[14], jet::Value(true));

    // And back through the layer, with the types the windows expect.
    Opened o(db, 3, QStringLiteral("SELECT * FROM Типы"));
    EXPECT_EQ(o.value(1).typeId(), QMetaType::Int);
    EXPECT_EQ(o.value(5), QVariant(0.1));  // a Single reads as its shortest digits
    EXPECT_EQ(o.value(7).toDateTime(), QDateTime(QDate(100, 1, 1), QTime(23, 59, 59, 999), Qt::UTC));
    EXPECT_EQ(o.value(8), QVariant(bytes));
    EXPECT_EQ(o.value(10).toByteArray(), picture);
    EXPECT_EQ(o.value(12), QVariant(guid));
    EXPECT_DOUBLE_EQ(o.value(13).toDouble(), -12345678901234.5678);
    auto size = [&](int i) { return o.rs.fields().Item(static_cast<std::int16_t>(i)).ActualSize(); };
    EXPECT_EQ(size(1), 1);
    EXPECT_EQ(size(5), 4);
    EXPECT_EQ(size(8), 4);
    EXPECT_EQ(size(9), 8);
    EXPECT_EQ(size(12), 16);

    // A copy between fields of one type keeps every digit, which a double would not.
    Opened to(db, 3, QStringLiteral("SELECT * FROM Типы"));
    to.rs.AddNew();
    to.rs.fields().Item(4).setValue(o.rs.fields().Item(4));
    to.rs.fields().Item(13).setValue(o.rs.fields().Item(13));
    to.rs.fields().Item(9).setValue(o.rs.fields().Item(1));  // a number into text
    to.rs.Update();
    const Row copy = rows_by_first(db, "Типы").at(2);
    EXPECT_EQ(copy[4], jet::Value(jet::Currency{-9223372036854775807LL}));
    EXPECT_EQ(jet::to_string(std::get<jet::Decimal>(copy[13])), "-12345678901234.5678");
    EXPECT_EQ(copy[9], jet::Value(std::string("200")));
}

TEST(Values, PutConvertsForTheColumnOrRefuses) {
    Reg r(1);
    struct Case {
        int column;
        QVariant in;
        QVariant out;  // as read back; invalid for Null
    } accepted[] = {
        {kHeight, QStringLiteral("175"), 175},
        {kHeight, QStringLiteral(" 181,0 "), 181},
        {kHeight, 3.5, 4},
        {kHeight, 2.5, 2},
        {kHeight, QStringLiteral(""), QVariant()},
        {kHeight, QVariant(), QVariant()},
        {kWeight, QStringLiteral("72,5"), 72.5},
        {kWeight, 80, 80.0},
        {kSum, QStringLiteral("10,25"), 10.25},
        {kConvicted, QStringLiteral("True"), true},
        {kConvicted, 0, false},
        {kConvicted, QVariant(), false},
        {kSurname, 42, QStringLiteral("42")},
        {kSurname, QVariant(), QVariant()},
        {kSurname, QString(50, QChar(u'Щ')), QString(50, QChar(u'Щ'))},
        {kBirth, QStringLiteral("01.02.2003"), QDateTime(QDate(2003, 2, 1), QTime(0, 0), Qt::UTC)},
        {kBirth, QStringLiteral("1.2.2003 7:05"), QDateTime(QDate(2003, 2, 1), QTime(7, 5), Qt::UTC)},
        {kBirth, QStringLiteral("2003-02-01T10:20:30"), QDateTime(QDate(2003, 2, 1), QTime(10, 20, 30), Qt::UTC)},
        {kBirth, QDate(1812, 9, 7), QDateTime(QDate(1812, 9, 7), QTime(0, 0), Qt::UTC)},
    };
    for (const Case& c : accepted) {
        SCOPED_TRACE("column " + std::to_string(c.column) + " <- " + c.in.toString().toStdString());
        Opened o(r.db);
        EXPECT_EQ(error_of([&] { o.put(c.column, c.in); }), 0);
        EXPECT_EQ(o.value(c.column), c.out);  // the pending value, as it will be stored
        o.rs.Update();
        o.rs.MoveFirst();
        EXPECT_EQ(o.value(c.column), c.out);
    }
    struct Refused {
        int column;
        QVariant in;
        int number;
    } refused[] = {
        {kHeight, QStringLiteral("abc"), errc::kConversion},
        {kHeight, 40000, errc::kConversion},
        {kHeight, QDate(2000, 1, 1), errc::kConversion},
        {kWeight, QStringLiteral("1.234,5"), errc::kConversion},
        {kConvicted, QStringLiteral("может быть"), errc::kConversion},
        {kBirth, QStringLiteral("31.02.2003"), errc::kConversion},
        {kBirth, QDate(99, 12, 31), errc::kConversion},
        {kSurname, QByteArray("x"), errc::kConversion},
        {kSurname, QString(51, QChar(u'Щ')), errc::kFieldTooSmall},
        {0, 7, errc::kNotUpdatable},
    };
    const std::string before = read_file(r.db);
    for (const Refused& c : refused) {
        SCOPED_TRACE("column " + std::to_string(c.column) + " <- " + c.in.toString().toStdString());
        Opened o(r.db);
        const QVariant was = o.value(c.column);
        QString text;
        EXPECT_EQ(error_of([&] { o.put(c.column, c.in); }, &text), c.number);
        EXPECT_FALSE(text.isEmpty());
        EXPECT_EQ(o.value(c.column), was);
        o.rs.Update();  // nothing pending
    }
    EXPECT_EQ(read_file(r.db), before);
}

// ---------------------------------------------------------------------------

TEST(Writes, AddNewAndUpdateAppendTheRowWhereOthersSeeIt) {
    OpenReg o(3);
    Recordset& rs = o.rs;
    rs.MoveNext();
    rs.AddNew();
    EXPECT_FALSE(rs.Bof());
    EXPECT_FALSE(rs.Eof());
    EXPECT_FALSE(o.value(0).isValid());  // the number comes with the write
    o.put(kSurname, QStringLiteral("Новикова"));
    o.put(kBirth, QDateTime(QDate(1980, 5, 17), QTime(0, 0), Qt::UTC));
    EXPECT_EQ(o.surname(), QStringLiteral("Новикова"));
    EXPECT_EQ(register_rows(o.db).size(), 3u);  // nothing written before Update
    EXPECT_EQ(rs.RecordCount(), 3);
    rs.Update();
    EXPECT_EQ(rs.RecordCount(), 4);
    EXPECT_EQ(o.value(0), QVariant(4));  // the new row is current, with its number
    EXPECT_EQ(o.surname(), QStringLiteral("Новикова"));

    std::vector<Row> rows = register_rows(o.db);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[3][kSurname], jet::Value(std::string("Новикова")));
    EXPECT_EQ(rows[3][0], jet::Value(std::int64_t{4}));

    rs.MoveFirst();
    EXPECT_EQ(o.surname(), q(surname(0)));
    rs.MoveLast();
    EXPECT_EQ(o.surname(), QStringLiteral("Новикова"));
    rs.MoveNext();
    EXPECT_TRUE(rs.Eof());
}

TEST(Writes, AMoveAddNewOrCloseStoresThePendingChange) {
    Reg r(2);
    {
        Opened o(r.db);
        o.rs.AddNew();
        o.put(kSurname, QStringLiteral("Первая"));
        o.rs.MoveFirst();  // stores the new row, then moves
        EXPECT_EQ(o.surname(), q(surname(0)));
        EXPECT_EQ(o.rs.RecordCount(), 3);
        o.put(kName, QStringLiteral("Правка"));
        o.rs.AddNew();  // stores the edit
        o.put(kSurname, QStringLiteral("Вторая"));
        o.rs.AddNew();  // stores the second new row
        o.put(kSurname, QStringLiteral("Третья"));
        o.rs.Close();  // and the third
        EXPECT_EQ(o.rs.State(), 0);
    }
    {
        Opened o(r.db);
        o.rs.MoveLast();
        o.put(kName, QStringLiteral("При закрытии соединения"));
        o.cn.Close();  // closes the recordset, storing its edit
        EXPECT_EQ(o.rs.State(), 0);
    }
    std::vector<Row> rows = register_rows(r.db);
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[0][kName], jet::Value(std::string("Правка")));
    EXPECT_EQ(rows[2][kSurname], jet::Value(std::string("Первая")));
    EXPECT_EQ(rows[3][kSurname], jet::Value(std::string("Вторая")));
    EXPECT_EQ(rows[4][kSurname], jet::Value(std::string("Третья")));
    EXPECT_EQ(rows[4][kName], jet::Value(std::string("При закрытии соединения")));
}

TEST(Writes, AnEditStoresItsColumnsOverTheRowAsItIsNow) {
    OpenReg o(2);
    o.rs.MoveNext();
    EXPECT_EQ(o.surname(), q(surname(1)));
    change_elsewhere(o.db, 1, kName, std::string("Чужая правка"));
    o.put(kSurname, QStringLiteral("Своя правка"));
    o.put(kHeight, 199);
    o.rs.Update();
    EXPECT_EQ(o.surname(), QStringLiteral("Своя правка"));
    EXPECT_EQ(o.value(kName), QVariant(QStringLiteral("Чужая правка")));  // read again after the write

    std::vector<Row> rows = register_rows(o.db);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1][kSurname], jet::Value(std::string("Своя правка")));
    EXPECT_EQ(rows[1][kName], jet::Value(std::string("Чужая правка")));
    EXPECT_EQ(rows[1][kHeight], jet::Value(std::int64_t{199}));
    EXPECT_EQ(rows[0], [] {
        Row r = person(0);
        r[0] = std::int64_t{1};
        r[kConvicted] = false;
        return r;
    }());
}

TEST(Writes, DeleteLeavesThePositionUntilAMoveAndMovesPassOver) {
    OpenReg o(4);
    Recordset& rs = o.rs;
    auto read = [&] { o.value(kSurname); };

    rs.Delete(1);  // the first row
    EXPECT_EQ(error_of(read), errc::kNoCurrentRecord);
    EXPECT_EQ(error_of([&] { rs.Delete(1); }), errc::kNoCurrentRecord);
    EXPECT_FALSE(rs.Bof());
    EXPECT_FALSE(rs.Eof());
    EXPECT_EQ(rs.RecordCount(), 3);
    EXPECT_EQ(register_rows(o.db).size(), 3u);
    rs.MoveFirst();
    EXPECT_EQ(o.surname(), q(surname(1)));
    rs.MovePrevious();
    EXPECT_TRUE(rs.Bof());  // the deleted first row is passed over
    rs.MoveNext();
    rs.MoveNext();
    rs.Delete(1);  // the middle row
    rs.MovePrevious();
    EXPECT_EQ(o.surname(), q(surname(1)));
    rs.MoveNext();
    EXPECT_EQ(o.surname(), q(surname(3)));
    rs.Delete(1);  // the last row
    rs.MoveNext();
    EXPECT_TRUE(rs.Eof());
    rs.MovePrevious();
    EXPECT_EQ(o.surname(), q(surname(1)));
    rs.Delete(1);  // the only row left
    EXPECT_EQ(rs.RecordCount(), 0);
    EXPECT_FALSE(rs.Bof() || rs.Eof());  // until the next move
    rs.MoveNext();
    EXPECT_TRUE(rs.Bof() && rs.Eof());
    EXPECT_EQ(error_of([&] { rs.MoveFirst(); }), errc::kNoCurrentRecord);
    EXPECT_EQ(error_of([&] { rs.Delete(1); }), errc::kNoCurrentRecord);
    EXPECT_TRUE(register_rows(o.db).empty());

    // A row added afterwards is found again.
    rs.AddNew();
    o.put(kSurname, QStringLiteral("Снова"));
    rs.Update();
    rs.MoveFirst();
    EXPECT_EQ(o.surname(), QStringLiteral("Снова"));
    EXPECT_EQ(rs.RecordCount(), 1);
}

TEST(Writes, DeleteDropsANewRowNotYetStored) {
    OpenReg o(2);
    o.rs.MoveNext();
    o.rs.AddNew();
    o.put(kSurname, QStringLiteral("Лишняя"));
    o.rs.Delete(1);
    EXPECT_EQ(o.surname(), q(surname(1)));  // back where AddNew found it
    EXPECT_EQ(o.rs.RecordCount(), 2);
    o.rs.MoveNext();
    EXPECT_TRUE(o.rs.Eof());
    EXPECT_EQ(register_rows(o.db).size(), 2u);
}

TEST(Writes, ARowAnotherProgramDeletedIsReportedNotResurrected) {
    OpenReg o(3);
    Recordset& rs = o.rs;
    delete_elsewhere(o.db, 1);
    rs.MoveNext();
    QString text;
    EXPECT_EQ(error_of([&] { o.value(kSurname); }, &text), errc::kRowDeleted);
    EXPECT_FALSE(text.isEmpty());
    EXPECT_EQ(error_of([&] { o.put(kSurname, QStringLiteral("x")); }), errc::kRowDeleted);
    rs.MoveNext();
    EXPECT_EQ(o.surname(), q(surname(2)));
    rs.MovePrevious();
    EXPECT_EQ(error_of([&] { o.value(kSurname); }), errc::kRowDeleted);

    // An edit of a row deleted while the edit was pending.
    rs.MoveNext();
    o.put(kSurname, QStringLiteral("Поздно"));
    delete_elsewhere(o.db, 1);  // the third row, second of those left
    EXPECT_EQ(error_of([&] { rs.Update(); }), errc::kRowDeleted);
    ASSERT_EQ(register_rows(o.db).size(), 1u);
    rs.MoveFirst();  // the failed edit is not pending any more
    EXPECT_EQ(o.surname(), q(surname(0)));
    EXPECT_EQ(rs.RecordCount(), 3);  // the keyset keeps its rows
}

TEST(Writes, AReadOnlyFileRefusesEveryChangeAndStaysAsItWas) {
    Reg r(2);
    fs::permissions(r.db, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    const std::string before = read_file(r.db);
    {
        Opened o(r.db);
        Recordset& rs = o.rs;
        o.put(kSurname, QStringLiteral("Изменено"));
        QString text;
        EXPECT_EQ(error_of([&] { rs.Update(); }, &text), errc::kReadOnly);
        EXPECT_TRUE(text.contains(q(r.db.filename()))) << text.toStdString();
        EXPECT_EQ(o.surname(), q(surname(0)));  // the refused edit is dropped
        rs.MoveNext();                           // and does not block moving on

        rs.AddNew();
        o.put(kSurname, QStringLiteral("Новая"));
        EXPECT_EQ(error_of([&] { rs.MoveFirst(); }), errc::kReadOnly);
        EXPECT_EQ(o.surname(), q(surname(1)));  // where AddNew found it
        EXPECT_EQ(rs.RecordCount(), 2);

        EXPECT_EQ(error_of([&] { rs.Delete(1); }), errc::kReadOnly);
        EXPECT_EQ(o.surname(), q(surname(1)));
        EXPECT_EQ(rs.RecordCount(), 2);
    }
    fs::permissions(r.db, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(read_file(r.db), before);
}

TEST(Writes, ADuplicateKeyIsRefusedAndTheFileStaysAsItWas) {
    Reg r(2);
    const std::string before = read_file(r.db);
    Opened o(r.db);
    o.rs.MoveLast();
    o.rs.AddNew();
    o.put(0, 1);  // an explicit number, already taken
    o.put(kSurname, QStringLiteral("Двойник"));
    QString text;
    EXPECT_EQ(error_of([&] { o.rs.Update(); }, &text), errc::kDuplicateKey);
    EXPECT_TRUE(text.contains(QStringLiteral("PrimaryKey"))) << text.toStdString();
    EXPECT_EQ(o.surname(), q(surname(1)));
    EXPECT_EQ(o.rs.RecordCount(), 2);
    EXPECT_EQ(read_file(r.db), before);
}

TEST(Writes, AReadOnlyRecordsetRefusesChanges) {
    OpenReg o(1, 1);
    EXPECT_EQ(o.surname(), q(surname(0)));
    EXPECT_EQ(error_of([&] { o.put(kSurname, QStringLiteral("x")); }), errc::kUnsupported);
    EXPECT_EQ(error_of([&] { o.rs.AddNew(); }), errc::kUnsupported);
    EXPECT_EQ(error_of([&] { o.rs.Delete(1); }), errc::kUnsupported);
    EXPECT_EQ(register_rows(o.db).size(), 1u);
}

// ---------------------------------------------------------------------------

TEST(Closing, EveryOperationOfAClosedRecordsetRaisesClosed) {
    OpenReg o(2);
    Recordset& rs = o.rs;
    dataaccess::Field name = rs.fields().Item(kSurname);
    rs.Close();
    EXPECT_EQ(rs.State(), 0);
    const std::vector<std::function<void()>> operations = {
        [&] { rs.Close(); },        [&] { rs.RecordCount(); },         [&] { rs.Bof(); },
        [&] { rs.Eof(); },          [&] { rs.MoveFirst(); },           [&] { rs.MoveLast(); },
        [&] { rs.MoveNext(); },     [&] { rs.MovePrevious(); },        [&] { rs.AddNew(); },
        [&] { rs.Update(); },       [&] { rs.Delete(1); },             [&] { rs.fields(); },
        [&] { name.Value(); },      [&] { name.setValue(QVariant(1)); }, [&] { name.Name(); },
        [&] { name.ActualSize(); },
    };
    for (std::size_t i = 0; i < operations.size(); ++i) {
        SCOPED_TRACE("operation " + std::to_string(i));
        QString text;
        EXPECT_EQ(error_of(operations[i], &text), errc::kClosed);
        EXPECT_EQ(text, QStringLiteral("Операция не допускается, если объект закрыт."));
    }
    rs.Open();  // and it opens again
    EXPECT_EQ(name.Value(), QVariant(q(surname(0))));
}

TEST(Closing, AConnectionGoneBeforeItsRecordset) {
    Reg r(1);
    Recordset rs;
    {
        Connection cn;
        cn.Open(viewer_string(q(r.db)));
        rs.setActiveConnection(&cn);
        rs.setSource(QStringLiteral("SELECT * FROM ЗУРТ"));
        rs.Open(1, 3);
        rs.fields().Item(kSurname).setValue(QStringLiteral("Брошено"));
    }
    EXPECT_EQ(rs.State(), 0);
    EXPECT_EQ(error_of([&] { rs.Open(); }), errc::kClosed);
    EXPECT_EQ(register_rows(r.db)[0][kSurname], jet::Value(surname(0)));  // nothing written while destroying
}

}  // namespace
