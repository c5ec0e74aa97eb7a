// The viewer window on the offscreen platform: opening a register, the card,
// the buttons at both ends and on an empty register, and the photo's size.
#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QImage>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpression>
#include <fstream>
#include <optional>

#include "dataaccess/recordset.h"
#include "form1.h"
#include "image_frame.h"
#include "jet/create.h"
#include "odt_reader.h"
#include "word_processor.h"
#include "jet/database.h"
#include "support.h"
#include "window_steps.h"
#include "window_stores.h"
#include "ui/application.h"
#include "ui/file_dialog.h"
#include "ui/message_box.h"
#include "ui/twips.h"

namespace {

using namespace testing_support;
using Row = std::vector<jet::Value>;

Row person(const std::string& first, const std::string& middle, const std::string& last, const std::string& photo) {
    Row v(26, jet::Null{});
    v[1] = last;
    v[2] = first;
    if (!middle.empty()) v[3] = middle;
    if (!photo.empty()) v[24] = photo;
    return v;
}

fs::path make_register(const fs::path& dir, const std::vector<Row>& rows, const std::string& name = "reg.mdb") {
    return write_register(dir / name, rows);
}

QString text(Form1& f, int i) { return f.lab(i)->text(); }

void open(Form1& f, Seams& s, const fs::path& db) {
    s.answers.push_back(QString::fromStdString(db.string()));
    f.opba_Click();
    f.stview_Click();
}

// Each test has the window's hooks, a folder of its own and a window.
class Viewer : public ::testing::Test {
protected:
    Seams s;
    TempDir dir;
    Form1 f;
};

// The same on a file and on a server register: the registers a case makes
// are opened where the parameter says.
class ViewerOn : public Viewer, public ::testing::WithParamInterface<Where> {
protected:
    fs::path make_register(const fs::path& d, const std::vector<Row>& rows, const std::string& name = "reg.mdb") {
        return on(GetParam(), ::make_register(d, rows, name));
    }
};
INSTANTIATE_TEST_SUITE_P(Stores, ViewerOn, ::testing::Values(Where::File, Where::Server), where_name);

TEST_F(Viewer, WindowHasTheControlsAndMenus) {
    EXPECT_EQ(f.windowTitle(), "просмотр данных");
    EXPECT_EQ(f.centralWidget()->size(), QSize(686, 457));
    EXPECT_EQ(f.lab(0)->geometry(), ui::twips_rect(1320, 600, 3375, 495));
    EXPECT_EQ(f.lab(3)->geometry(), ui::twips_rect(2160, 3120, 2295, 495));
    EXPECT_EQ(f.image1()->geometry(), ui::twips_rect(4920, 240, 5175, 5295));
    auto* c3 = f.findChild<QPushButton*>("Command3");
    ASSERT_NE(c3, nullptr);
    EXPECT_EQ(c3->text(), "открыть в MS WORD");
    EXPECT_EQ(c3->geometry(), ui::twips_rect(5760, 6000, 3255, 615));
    EXPECT_DOUBLE_EQ(f.lab(0)->font().pointSizeF(), 15.75);
    QStringList menus;
    for (QAction* a : f.menuBar()->actions()) menus << a->text();
    EXPECT_EQ(menus, (QStringList{"открыть базу", "начать просмотр", "фото"}));
    EXPECT_EQ(f.menu_action("smfo")->text(), "установить/сменить");
    EXPECT_EQ(f.menu_action("defo")->text(), "удалить");
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(text(f, i).isEmpty());
}

TEST_F(Viewer, NothingHappensWithoutADatabaseAndACancelKeepsThePath) {
    f.stview_Click();
    EXPECT_EQ(f.recordset()->State(), 0);
    f.opba_Click();  // cancelled on its first use
    EXPECT_TRUE(f.database_path().isEmpty());
    f.stview_Click();
    EXPECT_EQ(f.connection()->State(), 0);
    EXPECT_EQ(f.comm1().Filter, "*.mdb ( базы данных Access )|*.mdb|Регистр на сервере|*.pgreg|");
    EXPECT_EQ(f.comm1().Flags, 4100);

    fs::path db = make_register(dir.path(), {person("Анна", "Ивановна", "Петрова", "")});
    open(f, s, db);
    EXPECT_EQ(text(f, 0), "Анна");
    // The dialog's last file is now a photo's; a cancelled opba must not take it.
    f.comm1().FileName = QString::fromStdString((dir / "photo.jpg").string());
    f.opba_Click();
    EXPECT_EQ(f.database_path().toStdString(), db.string());
    EXPECT_TRUE(s.messages.empty());
}

TEST_P(ViewerOn, CardShowsColumnsTwoThreeOneZeroAndClearsEmptyOnes) {
    fs::path db = make_register(dir.path(), {person("Иван", "Петрович", "Сидоров", ""), person("Ольга", "", "Ким", "")});
    open(f, s, db);
    EXPECT_EQ(text(f, 0), "Иван");
    EXPECT_EQ(text(f, 1), "Петрович");
    EXPECT_EQ(text(f, 2), "Сидоров");
    EXPECT_EQ(text(f, 3), "1");
    f.Command2_Click();
    EXPECT_EQ(text(f, 0), "Ольга");
    EXPECT_EQ(text(f, 1), "") << "a Null column must not keep the previous person's text";
    EXPECT_EQ(text(f, 3), "2");
}

TEST_P(ViewerOn, ButtonsStopAtBothEndsWithoutRefreshing) {
    fs::path db = make_register(dir.path(), {person("А", "", "1", ""), person("Б", "", "2", ""), person("В", "", "3", "")});
    open(f, s, db);
    f.lab(0)->setText("sentinel");
    f.Command1_Click();  // on the first row: stays, untouched
    EXPECT_EQ(text(f, 0), "sentinel");
    f.Command2_Click();
    EXPECT_EQ(text(f, 0), "Б");
    f.Command2_Click();
    EXPECT_EQ(text(f, 0), "В");
    f.lab(0)->setText("sentinel");
    f.Command2_Click();  // on the last row: stays, untouched
    EXPECT_EQ(text(f, 0), "sentinel");
    f.Command1_Click();
    EXPECT_EQ(text(f, 0), "Б");
    EXPECT_TRUE(s.messages.empty());

    fs::path one = make_register(dir.path(), {person("Один", "", "Единственный", "")}, "one.mdb");
    open(f, s, one);
    f.lab(0)->setText("sentinel");
    f.Command1_Click();
    f.Command2_Click();
    EXPECT_EQ(text(f, 0), "sentinel");
    EXPECT_TRUE(s.messages.empty());
}

// Positions past either end, reached by moving the recordset directly.
TEST_P(ViewerOn, ButtonsFromBeyondEitherEnd) {
    fs::path three = make_register(dir.path(), {person("А", "", "1", ""), person("Б", "", "2", ""), person("В", "", "3", "")});
    fs::path one = make_register(dir.path(), {person("Один", "", "1", "")}, "one.mdb");
    open(f, s, three);
    dataaccess::Recordset& rs = *f.recordset();
    auto past_end = [&] {
        rs.MoveLast();
        rs.MoveNext();
        f.lab(0)->setText("sentinel");
    };
    auto before_start = [&] {
        rs.MoveFirst();
        rs.MovePrevious();
        f.lab(0)->setText("sentinel");
    };
    past_end();
    f.Command1_Click();
    EXPECT_EQ(text(f, 0), "Б") << "two steps back from after the last row";
    past_end();
    f.Command2_Click();
    EXPECT_EQ(text(f, 0), "sentinel");
    EXPECT_EQ(rs.fields().Item(0).Value().toInt(), 3);
    before_start();
    f.Command1_Click();
    EXPECT_EQ(text(f, 0), "sentinel");
    EXPECT_EQ(rs.fields().Item(0).Value().toInt(), 1);
    before_start();
    f.Command2_Click();
    EXPECT_EQ(text(f, 0), "Б") << "two steps forward from before the first row";
    open(f, s, one);
    dataaccess::Recordset& rs1 = *f.recordset();
    for (bool back : {true, false}) {
        for (bool end : {true, false}) {
            if (end) {
                rs1.MoveLast();
                rs1.MoveNext();
            } else {
                rs1.MoveFirst();
                rs1.MovePrevious();
            }
            f.lab(0)->setText("sentinel");
            back ? f.Command1_Click() : f.Command2_Click();
            EXPECT_EQ(text(f, 0), "sentinel");
            EXPECT_EQ(rs1.fields().Item(0).Value().toInt(), 1);
        }
    }
    EXPECT_TRUE(s.messages.empty());
}

TEST_P(ViewerOn, EmptyRegisterIsReportedOnEveryClickAndKeepsTheCard) {
    fs::path db = make_register(dir.path(), {person("Анна", "", "Петрова", "")});
    fs::path empty = make_register(dir.path(), {}, "empty.mdb");
    open(f, s, db);
    open(f, s, empty);
    EXPECT_EQ(text(f, 0), "Анна") << "an empty register leaves the previous card";
    EXPECT_TRUE(s.messages.empty());
    f.Command1_Click();
    f.Command2_Click();
    ASSERT_EQ(s.messages.size(), 2u);
    EXPECT_EQ(s.messages[0], "Ошибка. Вероятно база данных пустая.");
    EXPECT_EQ(text(f, 0), "Анна");
}

TEST_F(Viewer, RegisterThatCannotBeOpenedIsLostWithoutAWord) {
    fs::path db = make_register(dir.path(), {person("Анна", "", "Петрова", "")});
    write_file(dir / "junk.mdb", std::string(8192, 'x'));
    fs::path other = dir / "other.mdb";
    jet::create_database(other.string());
    open(f, s, db);
    open(f, s, dir / "junk.mdb");
    EXPECT_EQ(f.recordset()->State(), 0);
    EXPECT_EQ(f.connection()->State(), 0);
    EXPECT_EQ(text(f, 0), "Анна");
    f.Command1_Click();  // the recordset is not open: nothing, no message
    f.Command2_Click();
    open(f, s, other);  // a database without ЗУРТ: the connection opens, the recordset does not
    EXPECT_EQ(f.connection()->State(), 1);
    EXPECT_EQ(f.recordset()->State(), 0);
    EXPECT_TRUE(s.messages.empty());
    f.Form_QueryUnload();
    EXPECT_EQ(f.connection()->State(), 0);
}

TEST_P(ViewerOn, PhotoIsSizedAroundTheBox) {
    struct Case {
        std::string name;
        int w, h;        // pixels (15 twips each)
        QSize frame;     // twips
        bool stretch;
    };
    const std::vector<Case> cases = {
        {"small.png", 150, 100, {2250, 1500}, false},   // natural size
        {"wide_large.png", 400, 300, {4000, 3000}, true},
        {"tall_large.png", 300, 400, {3000, 4000}, true},
        {"square.png", 400, 400, {3000, 3000}, true},
        {"wide.png", 300, 150, {3000, 1500}, true},
        {"tall.png", 150, 300, {1500, 3000}, true},
        {"edge.png", 200, 200, {3000, 3000}, false},    // a side of exactly 3000 fits the box
        {"edge_tall.png", 200, 250, {2400, 3000}, true},
        {"foto\\Sub.PNG", 120, 90, {1800, 1350}, false}, // subfolder, letter case differs on disk
    };
    std::vector<Row> rows;
    for (const Case& c : cases) {
        std::string on_disk = c.name;
        if (on_disk.rfind("foto\\", 0) == 0) on_disk = "foto/sub.png";
        picture(dir / on_disk, c.w, c.h);
        rows.push_back(person("Фото", "", c.name, c.name));
    }
    rows.push_back(person("Без", "", "фото", ""));
    picture(dir / ".hidden.png", 100, 100);
    rows.push_back(person("Скрытое", "", "фото", ".hidden.png"));
    rows.push_back(person("Нет", "", "файла", "missing.jpg"));
    write_file(dir / "broken.jpg", "not a picture at all");
    rows.push_back(person("Битое", "", "фото", "broken.jpg"));
    rows.push_back(person("После", "", "битого", "small.png"));
    fs::path db = make_register(dir.path(), rows);
    f.show();
    open(f, s, db);
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].name);
        if (i > 0) f.Command2_Click();
        ImageFrame* frame = f.image1();
        EXPECT_TRUE(frame->isVisible());
        EXPECT_EQ(frame->stretch(), cases[i].stretch);
        EXPECT_EQ(frame->geometry(), ui::twips_rect(4920, 240, cases[i].frame.width(), cases[i].frame.height()));
        EXPECT_FALSE(frame->picture().isNull());
    }
    for (const char* hidden : {"no photo", "hidden file", "missing file", "undecodable file"}) {
        SCOPED_TRACE(hidden);
        f.Command2_Click();
        EXPECT_FALSE(f.image1()->isVisible());
    }
    f.Command2_Click();
    EXPECT_TRUE(f.image1()->isVisible()) << "the next photo shows again";
    EXPECT_EQ(f.image1()->geometry(), ui::twips_rect(4920, 240, 2250, 1500));
    EXPECT_TRUE(s.messages.empty());
}

TEST_F(Viewer, AnotherProgramsChangesShowWhenSteppedTo) {
    fs::path db = make_register(dir.path(), {person("Анна", "", "Петрова", ""), person("Борис", "", "Орлов", "")});
    open(f, s, db);
    change_table(db, [id = jet::Database(db.string()).table("ЗУРТ").row_ids()[1]](jet::TableWriter& t) {
        Row v = *t.read(id);
        v[2] = std::string("Борислав");
        t.update(id, v);
    });
    f.Command2_Click();
    EXPECT_EQ(text(f, 0), "Борислав");
}

// Column 24 of each row as the register holds it: read by the engine from a
// file, through the data access layer from a server.
std::vector<std::string> photos_in(const fs::path& db) {
    std::vector<std::string> out;
    if (db.extension() == ".pgreg") {
        for (const std::vector<QVariant>& r : rows_through_access(db)) {
            out.push_back(r[24].isValid() ? r[24].toString().toStdString() : std::string("<null>"));
        }
        return out;
    }
    for (const Row& r : register_rows(db)) {
        const auto* s = std::get_if<std::string>(&r[24]);
        out.push_back(s ? *s : std::string("<null>"));
    }
    return out;
}

TEST_P(ViewerOn, PhotoIsSetFromTheDatabasesFolderOnly) {
    fs::path reg = dir / "reg";
    fs::create_directories(reg);
    fs::path db = make_register(reg, {person("Анна", "", "Петрова", ""), person("Борис", "", "Орлов", "old.jpg")});
    picture(reg / "ivanov.jpg", 120, 90);
    picture(reg / "foto" / "sub.Png", 120, 90);
    picture(reg / "pic.jpeg", 120, 90);
    picture(dir / "reg2" / "near.jpg", 120, 90);
    picture(dir / "elsewhere.jpg", 120, 90);
    f.show();
    open(f, s, db);
    auto choose = [&](const fs::path& p) {
        s.answers.push_back(QString::fromStdString(p.string()));
        f.smfo_Click();
        return photos_in(db)[0];
    };
    EXPECT_EQ(choose(reg / "ivanov.jpg"), "ivanov.jpg");
    EXPECT_TRUE(f.image1()->isVisible());
    EXPECT_EQ(f.comm1().Filter, "*.bmp;*.jpg;*.gif| *.bmp;*.jpg;*.gif|");
    EXPECT_EQ(choose(reg / "foto" / "sub.Png"), "foto\\sub.Png");
    EXPECT_EQ(choose(reg / "pic.jpeg"), "pic.jpeg");
    EXPECT_TRUE(s.messages.empty());
    for (const fs::path& outside : {dir / "elsewhere.jpg", dir / "reg2" / "near.jpg"}) {
        EXPECT_EQ(choose(outside), "pic.jpeg") << outside;
        ASSERT_FALSE(s.messages.empty());
        EXPECT_EQ(s.messages.back(), "Фотографии должны находится в той же папке, что и база");
    }
    // Letter case counts in the folder test.
    std::string upper = reg.string();
    upper.replace(upper.size() - 3, 3, "REG");
    EXPECT_EQ(choose(fs::path(upper) / "ivanov.jpg"), "pic.jpeg");
    EXPECT_EQ(s.messages.size(), 3u);
    // Not a picture by its name: nothing, and no word.
    for (const char* name : {"photo.gif", "photo.bmpx", "notes.txt"}) EXPECT_EQ(choose(reg / name), "pic.jpeg") << name;
    EXPECT_EQ(s.messages.size(), 3u);
    // A cancel writes nothing.
    f.smfo_Click();
    EXPECT_EQ(photos_in(db)[0], "pic.jpeg");
    EXPECT_EQ(photos_in(db)[1], "old.jpg") << "only the current row changes";
    if (GetParam() == Where::File) expect_sound(db, {"ЗУРТ"});
}

TEST_P(ViewerOn, PhotoFolderIsTheChosenDatabasesEvenBeforeStview) {
    fs::create_directories(dir / "a");
    fs::create_directories(dir / "b");
    fs::path a = make_register(dir / "a", {person("Анна", "", "Петрова", "")});
    fs::path b = make_register(dir / "b", {person("Борис", "", "Орлов", "")});
    picture(dir / "b" / "x.jpg", 50, 50);
    open(f, s, a);
    s.answers.push_back(QString::fromStdString(b.string()));
    f.opba_Click();  // chosen, not yet opened
    s.answers.push_back(QString::fromStdString((dir / "b" / "x.jpg").string()));
    f.smfo_Click();
    EXPECT_EQ(photos_in(a)[0], "x.jpg") << "written into the register still open";
    EXPECT_TRUE(s.messages.empty());
}

// A server register named by its address, not by a link file, has no folder
// of its own: its photos are kept where the program runs.
TEST_F(Viewer, PhotosOfARegisterNamedByItsAddressAreInTheCurrentFolder) {
    const fs::path link = on(Where::Server, ::make_register(dir.path(), {person("Анна", "", "Петрова", "p.jpg")}));
    std::string address;
    for (std::ifstream in(link); std::getline(in, address) && address.starts_with('#');) {
    }
    picture(dir / "p.jpg", 60, 60);
    picture(dir / "foto" / "q.jpg", 60, 60);
    struct Back {
        QString to = QDir::currentPath();
        ~Back() { QDir::setCurrent(to); }
    } back;
    ASSERT_TRUE(QDir::setCurrent(q(dir.path())));
    f.show();
    s.answers.push_back(QString::fromStdString(address));
    f.opba_Click();
    f.stview_Click();
    EXPECT_EQ(text(f, 0), "Анна");
    EXPECT_TRUE(f.image1()->isVisible());
    s.answers.push_back(q(dir / "foto" / "q.jpg"));
    f.smfo_Click();
    EXPECT_EQ(photos_in(link)[0], "foto\\q.jpg");
    EXPECT_TRUE(s.messages.empty());
}

TEST_P(ViewerOn, PhotoIsRemovedAndRemovalIsSafeEverywhere) {
    picture(dir / "p.jpg", 60, 60);
    fs::path db = make_register(dir.path(), {person("Анна", "", "Петрова", "p.jpg")});
    fs::path empty = make_register(dir.path(), {}, "empty.mdb");
    f.show();
    f.defo_Click();  // nothing open: nothing happens
    f.smfo_Click();
    EXPECT_TRUE(s.messages.empty());
    open(f, s, db);
    EXPECT_TRUE(f.image1()->isVisible());
    f.defo_Click();
    f.defo_Click();
    EXPECT_EQ(photos_in(db)[0], "") << "the empty text, not Null";
    EXPECT_FALSE(f.image1()->isVisible());
    EXPECT_TRUE(fs::exists(dir / "p.jpg")) << "the picture file stays";
    open(f, s, empty);
    f.defo_Click();  // no current row
    s.answers.push_back(q(dir / "p.jpg"));
    f.smfo_Click();
    EXPECT_TRUE(s.messages.empty());
}

// The word processor replaced: documents handed over are collected, or there is none.
struct Writer {
    std::vector<QString> documents;
    explicit Writer(bool installed = true) {
        word::Application::set_finder([installed] { return installed ? QStringLiteral("/usr/bin/soffice") : QString(); });
        word::Application::set_launcher([this](const QString&, const QString& file) { documents.push_back(file); });
    }
    ~Writer() {
        word::Application::set_finder(nullptr);
        word::Application::set_launcher(nullptr);
    }
};

TEST_P(ViewerOn, ExportWritesFilledColumnsAndThePhoto) {
    if (!have_program("unzip")) REGISTER_SKIP() << "unzip is not installed";
    Writer w;
    picture(dir / "foto" / "p.jpg", 80, 100);
    Row v(26, jet::Null{});
    v[1] = std::string("Иванов");
    v[2] = std::string("Иван");
    v[4] = std::string("0");                       // text reading as zero: the zero form
    v[5] = jet::from_civil(jet::CivilTime{1970, 5, 17});
    v[6] = std::string("");                        // empty: nothing at all
    v[8] = std::string("муж");
    v[9] = std::int64_t{0};
    v[10] = 80.5;
    v[11] = false;
    v[12] = std::string("не числится");            // text not reading as a number
    v[21] = jet::Currency{12345};
    v[22] = std::int64_t{7};
    v[23] = std::string("служебное");              // never exported
    v[24] = std::string("foto\\p.jpg");           // never typed
    Row blank(26, jet::Null{});
    fs::path db = make_register(dir.path(), {v, blank});
    open(f, s, db);
    f.Command3_Click();
    ASSERT_EQ(w.documents.size(), 1u);
    // The lines typed, the empty ones left out.
    auto typed = [](const Odt& d) {
        QStringList lines = d.paragraphs;
        lines.removeAll(QString());
        return lines;
    };
    Odt doc = read_odt(w.documents[0]);
    ASSERT_TRUE(doc.well_formed);
    EXPECT_EQ(typed(doc), (QStringList{"Фамилия  Иванов", "Имя  Иван", "Блейк лист-", "Дата рождения  17.05.1970", "Пол  муж", "Рост-",
                                  "Вес  80,5", "Судимость-", "Примечание  не числится", "Сумма  1,2345", "Код района  7"}));
    ASSERT_EQ(doc.images.size(), 1u) << "the photo, found beside the database";
    EXPECT_TRUE(doc.paragraphs.back().isEmpty()) << "the picture stands on the paragraph after the last line";
    EXPECT_TRUE(s.messages.empty());

    // A record with nothing filled in but its yes/no column, and a second click: a second document.
    f.Command2_Click();
    f.Command3_Click();
    ASSERT_EQ(w.documents.size(), 2u);
    Odt second = read_odt(w.documents[1]);
    EXPECT_EQ(typed(second), QStringList{"Судимость-"});
    EXPECT_TRUE(second.images.empty());
}

TEST_F(Viewer, ExportWithoutAWordProcessorOrARegister) {
    {
        Writer none(false);
        f.Command3_Click();
        ASSERT_EQ(s.messages.size(), 1u);
        EXPECT_EQ(s.messages[0], "Для отображения результатов необходимо, чтобы был установлен Microsoft Office\n"
                                 "Здесь для этого нужен LibreOffice Writer: установите пакет libreoffice-writer.");
        EXPECT_TRUE(none.documents.empty());
    }
    Writer w;
    f.Command3_Click();  // no register open: one empty document, no message
    EXPECT_EQ(w.documents.size(), 1u);
    EXPECT_EQ(s.messages.size(), 1u);
}

}  // namespace

namespace {

// The toolkit's own dialog, the file dialog every program opens, speaks Russian.
TEST_F(Viewer, TheFileDialogSpeaksRussian) {
    ASSERT_TRUE(ui::use_russian()) << "Qt's Russian translations are not installed (qt6-translations-l10n)";
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), "Отмена");
    QFileDialog d(nullptr, QStringLiteral("Открыть"));
    d.setOption(QFileDialog::DontUseNativeDialog);
    d.setAcceptMode(QFileDialog::AcceptOpen);
    d.show();
    QStringList texts;
    for (auto* l : d.findChildren<QLabel*>()) texts << l->text();
    for (auto* b : d.findChildren<QPushButton*>()) texts << b->text();
    texts.removeAll(QString());
    ASSERT_FALSE(texts.isEmpty());
    for (const QString& t : texts) {
        EXPECT_FALSE(t.contains(QRegularExpression(QStringLiteral("[A-Za-z]{2,}")))) << t.toStdString();
    }
}

}  // namespace
