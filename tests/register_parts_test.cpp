// The parts the three programs share: connection strings, the database folder
// and photo lookup, values as text, the open-file dialog, message boxes and
// the twips layout helpers.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFontInfo>
#include <QLocale>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTime>
#include <QTimer>
#include <QWidget>

#include <cmath>
#include <functional>
#include <limits>
#include <numbers>
#include <optional>
#include <ostream>
#include <vector>

#include "dataaccess/qt_text.h"
#include "dataaccess/value_text.h"
#include "logic/register.h"
#include "ui/application.h"
#include "ui/file_dialog.h"
#include "ui/message_box.h"
#include "ui/twips.h"

// GoogleTest prints QStrings readably in its failure messages.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
QT_END_NAMESPACE

namespace {

using dataaccess::qt_text;
using dataaccess::utf8;
using dataaccess::value_text;

void write_file(const QString& path, const QByteArray& bytes = "photo") {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    ASSERT_EQ(f.write(bytes), bytes.size());
}

void make_folder(const QString& path) {
    ASSERT_TRUE(QDir().mkpath(path)) << path.toStdString();
}

// Acts on the modal widget of type W once the code under test shows it, from
// inside that widget's own event loop.
template <typename W>
class WhenShown {
public:
    explicit WhenShown(std::function<void(W*)> act) : act_(std::move(act)) {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (auto* w = qobject_cast<W*>(QApplication::activeModalWidget())) {
                timer_.stop();
                shown_ = true;
                act_(w);
            } else if (++ticks_ > 1000) {
                timer_.stop();
            }
        });
        timer_.start();
    }
    bool shown() const { return shown_; }

private:
    std::function<void(W*)> act_;
    QTimer timer_;
    int ticks_ = 0;
    bool shown_ = false;
};

// ---------------------------------------------------------------------------
// Connection strings and the database folder

TEST(ConnectionString, PathGoesInUnchanged) {
    const QString path = QStringLiteral("/home/оператор/Мои документы/база; копия.mdb");
    EXPECT_EQ(qt_text(reg::viewer_connection_string(utf8(path))),
              QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/home/оператор/Мои документы/база; копия.mdb"
                             ";Jet OLEDB:Database Password="));
    EXPECT_EQ(qt_text(reg::browser_connection_string(utf8(path))),
              QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/home/оператор/Мои документы/база; копия.mdb"
                             ";Persist Security Info=False"));
}

TEST(DatabaseFolder, UpToTheLastSlash) {
    EXPECT_EQ(reg::database_folder("/home/user/Реестр/зурт.mdb"), "/home/user/Реестр");
    EXPECT_EQ(reg::database_folder("/mnt/с пробелами/a.b/x.mdb"), "/mnt/с пробелами/a.b");
    EXPECT_EQ(reg::database_folder("/x.mdb"), "");
    EXPECT_EQ(reg::database_folder("x.mdb"), "");
    EXPECT_EQ(reg::database_folder(""), "");
}

// ---------------------------------------------------------------------------
// Ordinary files and photos

class PhotoTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(root_.isValid());
        db_ = root_.path() + QStringLiteral("/база");
        // pics and PICS: two spellings of one folder, each with a photo of its own.
        for (const char16_t* file : {u"ivanov.jpg", u"foto/petrov.jpg", u"Мои фото/Сидоров Пётр.jpg", u"ФОТО/Кузнецова.JPG",
                                     u"Scans/Old/ABC.Jpg", u"Ёлкин.jpg", u"pics/other.jpg", u"PICS/x.jpg", u".secret.jpg"}) {
            make_folder(QFileInfo(at(QString::fromUtf16(file))).path());
            write_file(at(QString::fromUtf16(file)));
        }
        write_file(db_ + QStringLiteral("/Pair.jpg"), "upper");
        write_file(db_ + QStringLiteral("/pair.jpg"), "lower");
        // Not ordinary files.
        make_folder(db_ + QStringLiteral("/album.jpg"));
        ASSERT_TRUE(QFile::link(db_ + QStringLiteral("/ivanov.jpg"), db_ + QStringLiteral("/link.jpg")));
        ASSERT_TRUE(QFile::link(db_ + QStringLiteral("/foto"), db_ + QStringLiteral("/dirlink.jpg")));
        ASSERT_TRUE(QFile::link(db_ + QStringLiteral("/gone.jpg"), db_ + QStringLiteral("/dangling.jpg")));
        // Beside the database folder, not in it.
        write_file(root_.path() + QStringLiteral("/outside.jpg"));
    }

    QString find(const QString& stored) const { return qt_text(reg::find_photo(utf8(db_), utf8(stored))); }
    static bool ordinary(const QString& path) { return reg::is_ordinary_file(utf8(path)); }
    QString at(const QString& relative) const { return db_ + u'/' + relative; }

    QTemporaryDir root_;
    QString db_;
};

TEST_F(PhotoTest, OrdinaryFiles) {
    EXPECT_TRUE(ordinary(at(QStringLiteral("ivanov.jpg"))));
    EXPECT_TRUE(ordinary(at(QStringLiteral("link.jpg"))));
    EXPECT_FALSE(ordinary(at(QStringLiteral(".secret.jpg"))));
    EXPECT_FALSE(ordinary(at(QStringLiteral("album.jpg"))));
    EXPECT_FALSE(ordinary(at(QStringLiteral("dirlink.jpg"))));
    EXPECT_FALSE(ordinary(at(QStringLiteral("dangling.jpg"))));
    EXPECT_FALSE(ordinary(at(QStringLiteral("nobody.jpg"))));
    EXPECT_FALSE(ordinary(QStringLiteral("/dev/null")));
    EXPECT_FALSE(ordinary(QString()));
}

// A stored name and the file it finds, under the database folder (empty: none).
TEST_F(PhotoTest, StoredNamesFindTheirFiles) {
    const std::pair<const char16_t*, const char16_t*> cases[] = {
        // Exact names, with either slash; where both spellings exist the exact one wins.
        {u"ivanov.jpg", u"ivanov.jpg"}, {u"foto\\petrov.jpg", u"foto/petrov.jpg"}, {u"foto/petrov.jpg", u"foto/petrov.jpg"},
        {u"Мои фото\\Сидоров Пётр.jpg", u"Мои фото/Сидоров Пётр.jpg"}, {u"link.jpg", u"link.jpg"},
        {u"pair.jpg", u"pair.jpg"}, {u"Pair.jpg", u"Pair.jpg"},
        // Letter case as Windows ignores it.
        {u"IVANOV.JPG", u"ivanov.jpg"}, {u"FOTO\\Petrov.jpg", u"foto/petrov.jpg"}, {u"фото\\кузнецова.jpg", u"ФОТО/Кузнецова.JPG"},
        {u"мои ФОТО\\сидоров пётр.JPG", u"Мои фото/Сидоров Пётр.jpg"}, {u"scans\\OLD\\abc.jpg", u"Scans/Old/ABC.Jpg"},
        {u"ёлкин.jpg", u"Ёлкин.jpg"},
        // A folder spelled as stored that lacks the photo does not stop the
        // search in another spelling of it.
        {u"pics\\x.jpg", u"PICS/x.jpg"}, {u"Pics\\X.JPG", u"PICS/x.jpg"}, {u"Pics\\OTHER.jpg", u"pics/other.jpg"},
        // Nothing but ordinary files.
        {u".secret.jpg", u""}, {u".SECRET.JPG", u""}, {u"album.jpg", u""}, {u"ALBUM.JPG", u""}, {u"dirlink.jpg", u""},
        {u"dangling.jpg", u""}, {u"foto", u""}, {u"foto\\", u""}, {u"nobody.jpg", u""}, {u"foto\\nobody.jpg", u""},
        {u"nofolder\\petrov.jpg", u""}, {u"ivanov.jpg\\petrov.jpg", u""},
        // Names that leave the folder, or name a root or a drive.
        {u"", u""}, {u"..\\outside.jpg", u""}, {u"../outside.jpg", u""}, {u"..\\OUTSIDE.JPG", u""},
        {u"foto\\..\\..\\outside.jpg", u""}, {u"foto\\..\\ivanov.jpg", u""}, {u"\\ivanov.jpg", u""},
        {u"\\\\server\\share\\ivanov.jpg", u""}, {u"C:\\foto\\petrov.jpg", u""}, {u"c:ivanov.jpg", u""},
    };
    for (const auto& [stored, file] : cases) {
        const QString expected = *file ? at(QString::fromUtf16(file)) : QString();
        EXPECT_EQ(find(QString::fromUtf16(stored)), expected) << QString::fromUtf16(stored).toStdString();
    }
    EXPECT_EQ(reg::find_photo(utf8(root_.path() + QStringLiteral("/missing")), "ivanov.jpg"), "");
}

TEST_F(PhotoTest, NamesThatLeaveTheFolderAreRefused) {
    const QString outside = root_.path() + QStringLiteral("/outside.jpg");
    ASSERT_TRUE(ordinary(outside));
    EXPECT_EQ(find(outside), QString());
    EXPECT_EQ(find(QStringLiteral("ivanov.jpg") + QChar(u'\0') + QStringLiteral("x")), QString());
}

// ---------------------------------------------------------------------------
// Values as text

TEST(ValueText, NullTextAndBooleans) {
    EXPECT_EQ(value_text(QVariant()), QString());
    EXPECT_EQ(value_text(QVariant::fromValue(nullptr)), QString());
    EXPECT_EQ(value_text(QString()), QString());
    EXPECT_EQ(value_text(QStringLiteral("Иванов  <b>Иван</b> ")), QStringLiteral("Иванов  <b>Иван</b> "));
    EXPECT_EQ(value_text(true), QStringLiteral("True"));
    EXPECT_EQ(value_text(false), QStringLiteral("False"));
}

TEST(ValueText, WholeNumbers) {
    EXPECT_EQ(value_text(182), QStringLiteral("182"));
    EXPECT_EQ(value_text(-7), QStringLiteral("-7"));
    EXPECT_EQ(value_text(QVariant::fromValue<qint16>(-32768)), QStringLiteral("-32768"));
    EXPECT_EQ(value_text(QVariant::fromValue<quint8>(255)), QStringLiteral("255"));
    EXPECT_EQ(value_text(std::numeric_limits<qint64>::min()), QStringLiteral("-9223372036854775808"));
    EXPECT_EQ(value_text(std::numeric_limits<quint64>::max()), QStringLiteral("18446744073709551615"));
    EXPECT_EQ(value_text(1234567), QStringLiteral("1234567"));  // no grouping
}

TEST(ValueText, FractionalNumbersWithDecimalComma) {
    EXPECT_EQ(value_text(80.5), QStringLiteral("80,5"));
    EXPECT_EQ(value_text(0.1), QStringLiteral("0,1"));
    EXPECT_EQ(value_text(3.0), QStringLiteral("3"));
    EXPECT_EQ(value_text(-2.25), QStringLiteral("-2,25"));
    EXPECT_EQ(value_text(-0.0), QStringLiteral("0"));
    EXPECT_EQ(value_text(0.0), QStringLiteral("0"));
    EXPECT_EQ(value_text(1234567.89), QStringLiteral("1234567,89"));
    EXPECT_EQ(value_text(100.0), QStringLiteral("100"));
    EXPECT_EQ(value_text(1.0 / 3.0), QStringLiteral("0,3333333333333333"));
    EXPECT_EQ(value_text(0.1 + 0.2), QStringLiteral("0,30000000000000004"));
    // A Single keeps its own shortest digits, not those of its double.
    EXPECT_EQ(value_text(0.1f), QStringLiteral("0,1"));
    EXPECT_EQ(value_text(80.5f), QStringLiteral("80,5"));
}

TEST(ValueText, ExponentOnlyForVeryLargeAndSmallNumbers) {
    EXPECT_EQ(value_text(123456789012345.0), QStringLiteral("123456789012345"));
    EXPECT_EQ(value_text(0.00001), QStringLiteral("0,00001"));
    EXPECT_EQ(value_text(0.000123), QStringLiteral("0,000123"));
    EXPECT_EQ(value_text(1e15), QStringLiteral("1E+15"));
    EXPECT_EQ(value_text(1e20), QStringLiteral("1E+20"));
    EXPECT_EQ(value_text(1.5e20), QStringLiteral("1,5E+20"));
    EXPECT_EQ(value_text(-2.5e-7), QStringLiteral("-2,5E-07"));
    EXPECT_EQ(value_text(1e-300), QStringLiteral("1E-300"));
}

TEST(ValueText, NumbersReadBack) {
    const std::vector<double> values = {80.5, 1.0 / 7.0, std::numbers::pi, -1e-5, 9.999999999999999e14, 1e15,
                                        std::numeric_limits<double>::max(), std::numeric_limits<double>::min(),
                                        std::numeric_limits<double>::denorm_min(), 4.35, 1234.5678};
    for (double x : values) {
        const QString text = value_text(x);
        EXPECT_FALSE(text.contains(u'.')) << text.toStdString();
        QString c = text;
        c.replace(u',', u'.');
        bool ok = false;
        EXPECT_EQ(QLocale::c().toDouble(c, &ok), x) << text.toStdString();
        EXPECT_TRUE(ok) << text.toStdString();
    }
    // No crash and no empty text for values Jet should never hold.
    EXPECT_FALSE(value_text(std::numeric_limits<double>::quiet_NaN()).isEmpty());
    EXPECT_FALSE(value_text(-std::numeric_limits<double>::infinity()).isEmpty());
}

TEST(ValueText, DatesAndTimes) {
    const auto utc = [](QDate d, QTime t) { return QDateTime(d, t, Qt::UTC); };
    EXPECT_EQ(value_text(utc(QDate(1985, 3, 12), QTime(0, 0))), QStringLiteral("12.03.1985"));
    EXPECT_EQ(value_text(utc(QDate(1985, 3, 12), QTime(9, 5))), QStringLiteral("12.03.1985 9:05:00"));
    EXPECT_EQ(value_text(utc(QDate(2001, 11, 2), QTime(23, 59, 59))), QStringLiteral("02.11.2001 23:59:59"));
    EXPECT_EQ(value_text(QDateTime(QDate(1985, 3, 12), QTime(9, 5), Qt::LocalTime)), QStringLiteral("12.03.1985 9:05:00"));
    // Before day zero, and far before it.
    EXPECT_EQ(value_text(utc(QDate(1899, 12, 29), QTime(10, 0))), QStringLiteral("29.12.1899 10:00:00"));
    EXPECT_EQ(value_text(utc(QDate(1812, 9, 7), QTime(0, 0))), QStringLiteral("07.09.1812"));
    EXPECT_EQ(value_text(utc(QDate(100, 1, 1), QTime(0, 0))), QStringLiteral("01.01.0100"));
    // Day zero: the time alone when there is one.
    EXPECT_EQ(value_text(utc(QDate(1899, 12, 30), QTime(14, 30))), QStringLiteral("14:30:00"));
    EXPECT_EQ(value_text(utc(QDate(1899, 12, 30), QTime(0, 0, 1))), QStringLiteral("0:00:01"));
    EXPECT_EQ(value_text(utc(QDate(1899, 12, 30), QTime(0, 0))), QStringLiteral("30.12.1899"));
    // Shown to the nearest second, a day on when that passes midnight.
    EXPECT_EQ(value_text(utc(QDate(1985, 3, 12), QTime(9, 5, 0, 600))), QStringLiteral("12.03.1985 9:05:01"));
    EXPECT_EQ(value_text(utc(QDate(1985, 3, 12), QTime(0, 0, 0, 400))), QStringLiteral("12.03.1985"));
    EXPECT_EQ(value_text(utc(QDate(1985, 12, 31), QTime(23, 59, 59, 700))), QStringLiteral("01.01.1986"));
    EXPECT_EQ(value_text(QDate(1985, 3, 12)), QStringLiteral("12.03.1985"));
    EXPECT_EQ(value_text(QTime(9, 5)), QStringLiteral("9:05:00"));
    EXPECT_EQ(value_text(QDateTime()), QString());
    EXPECT_EQ(value_text(QDate()), QString());
}

TEST(ValueText, BinaryAsHexPairs) {
    EXPECT_EQ(value_text(QByteArray("\x0a\x1b\xff\x00", 4)), QStringLiteral("0A1BFF00"));
    EXPECT_EQ(value_text(QByteArray()), QString());
}

// ---------------------------------------------------------------------------
// The open-file dialog

TEST(FileDialogFilter, PairsBecomeQtNameFilters) {
    using ui::FileDialog;
    EXPECT_EQ(FileDialog::name_filters(qt_text(reg::kDatabaseFilter)),
              QStringList{QStringLiteral("*.mdb ( базы данных Access ) (*.mdb)")});
    EXPECT_EQ(FileDialog::name_filters(qt_text(reg::kRegisterFilter)),
              (QStringList{QStringLiteral("*.mdb ( базы данных Access ) (*.mdb)"), QStringLiteral("Регистр на сервере (*.pgreg)")}));
    EXPECT_EQ(FileDialog::name_filters(QStringLiteral("*.bmp;*.jpg;*.gif|*.bmp;*.jpg;*.gif|")),
              QStringList{QStringLiteral("*.bmp;*.jpg;*.gif (*.bmp *.jpg *.gif)")});
    EXPECT_EQ(FileDialog::name_filters(QStringLiteral("Базы|*.mdb|Все файлы|*.*")),
              (QStringList{QStringLiteral("Базы (*.mdb)"), QStringLiteral("Все файлы (*.*)")}));
    EXPECT_EQ(FileDialog::name_filters(QStringLiteral("Рисунки|*.bmp; *.jpg;;|")),
              QStringList{QStringLiteral("Рисунки (*.bmp *.jpg)")});
}

TEST(FileDialogFilter, IncompleteFilters) {
    using ui::FileDialog;
    EXPECT_EQ(FileDialog::name_filters(QString()), QStringList());
    EXPECT_EQ(FileDialog::name_filters(QStringLiteral("|")), QStringList());
    EXPECT_EQ(FileDialog::name_filters(QStringLiteral("||")), QStringList());
    EXPECT_EQ(FileDialog::name_filters(QStringLiteral("|*.mdb|")), QStringList{QStringLiteral("*.mdb (*.mdb)")});
    EXPECT_EQ(FileDialog::name_filters(QStringLiteral("Все файлы||")), QStringList{QStringLiteral("Все файлы (*)")});
    EXPECT_EQ(FileDialog::name_filters(QStringLiteral("*.mdb")), QStringList{QStringLiteral("*.mdb (*.mdb)")});
    EXPECT_EQ(FileDialog::name_filters(QStringLiteral("Базы|*.mdb|*.txt")),
              (QStringList{QStringLiteral("Базы (*.mdb)"), QStringLiteral("*.txt (*.txt)")}));
}

class FileDialogTest : public testing::Test {
protected:
    void TearDown() override { ui::FileDialog::set_script(nullptr); }
};

TEST_F(FileDialogTest, ScriptedCancelKeepsTheFileName) {
    ui::FileDialog dialog;
    dialog.InitDir = QStringLiteral("/srv/реестр");
    dialog.Filter = qt_text(reg::kDatabaseFilter);
    dialog.Flags = ui::FileDialog::kFileMustExist;
    int calls = 0;
    ui::FileDialog::set_script([&](const ui::FileDialog& d) -> std::optional<QString> {
        ++calls;
        EXPECT_EQ(d.InitDir, QStringLiteral("/srv/реестр"));
        EXPECT_EQ(d.Filter, qt_text(reg::kDatabaseFilter));
        EXPECT_EQ(d.Flags, ui::FileDialog::kFileMustExist);
        return std::nullopt;
    });
    EXPECT_FALSE(dialog.ShowOpen());
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(dialog.FileName, QString());

    ui::FileDialog::set_script([](const ui::FileDialog&) { return std::optional<QString>(QStringLiteral("/srv/реестр/зурт.mdb")); });
    EXPECT_TRUE(dialog.ShowOpen());
    EXPECT_EQ(dialog.FileName, QStringLiteral("/srv/реестр/зурт.mdb"));

    ui::FileDialog::set_script([](const ui::FileDialog& d) {
        EXPECT_EQ(d.FileName, QStringLiteral("/srv/реестр/зурт.mdb"));
        return std::optional<QString>();
    });
    EXPECT_FALSE(dialog.ShowOpen());
    EXPECT_EQ(dialog.FileName, QStringLiteral("/srv/реестр/зурт.mdb"));

    // An empty choice is no choice.
    ui::FileDialog::set_script([](const ui::FileDialog&) { return std::optional<QString>(QString()); });
    EXPECT_FALSE(dialog.ShowOpen());
    EXPECT_EQ(dialog.FileName, QStringLiteral("/srv/реестр/зурт.mdb"));
}

class RealFileDialogTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(root_.isValid());
        here_ = root_.path() + QStringLiteral("/здесь");
        there_ = root_.path() + QStringLiteral("/там");
        make_folder(here_);
        make_folder(there_);
        write_file(here_ + QStringLiteral("/зурт.mdb"));
        write_file(there_ + QStringLiteral("/old.mdb"));
    }

    QTemporaryDir root_;
    QString here_, there_;
};

TEST_F(RealFileDialogTest, OpensWithTheSettingsAndTakesTheChoice) {
    QWidget window;
    ui::FileDialog dialog(&window);
    dialog.InitDir = here_;
    dialog.Filter = qt_text(reg::kDatabaseFilter);
    dialog.Flags = ui::FileDialog::kFileMustExist | ui::FileDialog::kHideReadOnly;
    const QString chosen = here_ + QStringLiteral("/зурт.mdb");

    WhenShown<QFileDialog> choose([&](QFileDialog* d) {
        EXPECT_EQ(d->parentWidget(), &window);
        EXPECT_EQ(d->windowTitle(), QStringLiteral("Открыть"));
        EXPECT_EQ(QDir(d->directory()).canonicalPath(), QDir(here_).canonicalPath());
        EXPECT_EQ(d->nameFilters(), QStringList{QStringLiteral("*.mdb ( базы данных Access ) (*.mdb)")});
        EXPECT_EQ(d->fileMode(), QFileDialog::ExistingFile);
        EXPECT_EQ(d->acceptMode(), QFileDialog::AcceptOpen);
        d->selectFile(chosen);
        static_cast<QDialog*>(d)->accept();  // QFileDialog::accept, as the Open button calls it
    });
    EXPECT_TRUE(dialog.ShowOpen());
    EXPECT_TRUE(choose.shown());
    EXPECT_EQ(dialog.FileName, chosen);
}

TEST_F(RealFileDialogTest, CancelKeepsTheFileNameAndSelectsItNextTime) {
    ui::FileDialog dialog;
    dialog.InitDir = here_;
    const QString previous = here_ + QStringLiteral("/зурт.mdb");
    dialog.FileName = previous;

    WhenShown<QFileDialog> cancel([&](QFileDialog* d) {
        EXPECT_EQ(d->fileMode(), QFileDialog::AnyFile);
        EXPECT_TRUE(d->selectedFiles().contains(previous)) << d->selectedFiles().join(u',').toStdString();
        d->reject();
    });
    EXPECT_FALSE(dialog.ShowOpen());
    EXPECT_TRUE(cancel.shown());
    EXPECT_EQ(dialog.FileName, previous);
}

TEST_F(RealFileDialogTest, AFileFromAnotherFolderDoesNotMoveTheDialog) {
    ui::FileDialog dialog;
    dialog.InitDir = here_;
    dialog.FileName = there_ + QStringLiteral("/old.mdb");

    WhenShown<QFileDialog> cancel([&](QFileDialog* d) {
        EXPECT_EQ(QDir(d->directory()).canonicalPath(), QDir(here_).canonicalPath());
        EXPECT_FALSE(d->selectedFiles().contains(there_ + QStringLiteral("/old.mdb")));
        d->reject();
    });
    EXPECT_FALSE(dialog.ShowOpen());
    EXPECT_TRUE(cancel.shown());
    EXPECT_EQ(dialog.FileName, there_ + QStringLiteral("/old.mdb"));
}

// ---------------------------------------------------------------------------
// Message boxes

class MessageTest : public testing::Test {
protected:
    void SetUp() override { QApplication::setApplicationDisplayName(QStringLiteral("Реестр ЗУРТ")); }
    void TearDown() override {
        ui::set_message_sink(nullptr);
        QApplication::setApplicationDisplayName(QString());
    }
};

TEST_F(MessageTest, SinkGetsTextAndTitle) {
    std::vector<std::pair<QString, QString>> seen;
    ui::set_message_sink([&](const QString& text, const QString& title) { seen.emplace_back(text, title); });
    ui::show_message(nullptr, QStringLiteral("Записей нет"));
    ui::report_error(nullptr, 3024, QStringLiteral("Файл не найден: «/x.mdb»"));
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].first, QStringLiteral("Записей нет"));
    EXPECT_EQ(seen[0].second, QStringLiteral("Реестр ЗУРТ"));
    EXPECT_EQ(seen[1].first, QStringLiteral("Ошибка 3024: Файл не найден: «/x.mdb»"));
    EXPECT_EQ(seen[1].second, QStringLiteral("Реестр ЗУРТ"));
}

TEST_F(MessageTest, BoxShowsPlainTextWithOneOkButton) {
    QWidget window;
    const QString text = QStringLiteral("Иванов <b>Иван</b> & Co");
    WhenShown<QMessageBox> ok([&](QMessageBox* box) {
        EXPECT_EQ(box->parentWidget(), &window);
        EXPECT_EQ(box->text(), text);
        EXPECT_EQ(box->textFormat(), Qt::PlainText);
        EXPECT_EQ(box->icon(), QMessageBox::NoIcon);
        EXPECT_EQ(box->windowTitle(), QStringLiteral("Реестр ЗУРТ"));
        ASSERT_EQ(box->buttons().size(), 1);
        EXPECT_EQ(box->standardButton(box->buttons().front()), QMessageBox::Ok);
        box->buttons().front()->click();
    });
    ui::show_message(&window, text);
    EXPECT_TRUE(ok.shown());
}

// ---------------------------------------------------------------------------
// Twips and fonts

TEST(Twips, PlaceInPixels) {
    QWidget w;
    ui::place(&w, 1440, 720, 2880, 22);
    EXPECT_EQ(w.geometry(), QRect(96, 48, 192, 1));
    ui::place(nullptr, 0, 0, 15, 15);  // nothing to place, and no crash
}

TEST(Twips, FontsWithStandIns) {
    const QFont serif = ui::font(QStringLiteral("Times New Roman"), 15.75);
    EXPECT_EQ(serif.family(), QStringLiteral("Times New Roman"));
    EXPECT_DOUBLE_EQ(serif.pointSizeF(), 15.75);
    EXPECT_TRUE(QFont::substitutes(QStringLiteral("Times New Roman")).contains(QStringLiteral("Liberation Serif"), Qt::CaseInsensitive));
    EXPECT_TRUE(QFont::substitutes(QStringLiteral("MS Sans Serif")).contains(QStringLiteral("Liberation Sans"), Qt::CaseInsensitive));

    // Where the Windows faces are missing, the stand-ins are what the text is
    // drawn in (without them fontconfig picks an unrelated face).
    const QStringList installed = QFontDatabase::families();
    if (!installed.contains(QStringLiteral("MS Sans Serif")) && installed.contains(QStringLiteral("Liberation Sans"))) {
        EXPECT_EQ(QFontInfo(ui::font(QStringLiteral("MS Sans Serif"), 8.25)).family(), QStringLiteral("Liberation Sans"));
    }
    if (!installed.contains(QStringLiteral("Times New Roman")) && installed.contains(QStringLiteral("Liberation Serif"))) {
        EXPECT_EQ(QFontInfo(serif).family(), QStringLiteral("Liberation Serif"));
    }
    // A size Qt cannot take leaves a usable font.
    EXPECT_GT(ui::font(QStringLiteral("MS Sans Serif"), 0).pointSizeF(), 0);
}

// The file dialogs open beside a program run from its build folder, and in the
// home folder for an installed one (the folder it was installed into,
// however the path to it is spelled).
TEST(ProgramFolder, InstalledProgramsOpenAtHome) {
    QTemporaryDir root;
    ASSERT_TRUE(QDir(root.path()).mkpath(QStringLiteral("usr/bin")));
    ASSERT_TRUE(QDir(root.path()).mkpath(QStringLiteral("build/bin")));
    const QString bin = root.path() + QStringLiteral("/usr/bin");
    const QString build = root.path() + QStringLiteral("/build/bin");
    const QString home = QStringLiteral("/home/someone");
    EXPECT_EQ(ui::program_folder(bin, bin, home), home);
    EXPECT_EQ(ui::program_folder(root.path() + QStringLiteral("/usr/../usr/bin"), bin, home), home);
    EXPECT_EQ(ui::program_folder(build, bin, home), build);
    EXPECT_EQ(ui::program_folder(build, QString(), home), build);
    EXPECT_EQ(ui::program_folder(bin, root.path() + QStringLiteral("/absent"), home), bin);
}

}  // namespace
