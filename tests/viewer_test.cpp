// The viewer window on the offscreen platform: opening a register, the card,
// the buttons at both ends and on an empty register, and the photo's size.
#include <gtest/gtest.h>

#include <QAction>
#include <QImage>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <optional>

#include "dataaccess/recordset.h"
#include "form1.h"
#include "image_frame.h"
#include "jet/create.h"
#include "jet/database.h"
#include "support.h"
#include "ui/file_dialog.h"
#include "ui/message_box.h"
#include "ui/twips.h"

namespace {

using namespace testing_support;
using Row = std::vector<jet::Value>;

// Messages shown while a test runs, and the dialog's next answers.
struct Seams {
    std::vector<QString> messages;
    std::vector<QString> answers;  // an empty answer cancels
    Seams() {
        ui::set_message_sink([this](const QString& text, const QString&) { messages.push_back(text); });
        ui::FileDialog::set_script([this](const ui::FileDialog&) -> std::optional<QString> {
            if (answers.empty()) return std::nullopt;
            QString a = answers.front();
            answers.erase(answers.begin());
            if (a.isEmpty()) return std::nullopt;
            return a;
        });
    }
    ~Seams() {
        ui::set_message_sink(nullptr);
        ui::FileDialog::set_script(nullptr);
    }
};

Row person(const std::string& first, const std::string& middle, const std::string& last, const std::string& photo) {
    Row v(26, jet::Null{});
    v[1] = last;
    v[2] = first;
    if (!middle.empty()) v[3] = middle;
    if (!photo.empty()) v[24] = photo;
    return v;
}

fs::path make_register(const fs::path& dir, const std::vector<Row>& rows, const std::string& name = "reg.mdb") {
    fs::path db = dir / name;
    jet::create_database(db.string());
    jet::Database d(db.string());
    jet::create_register_table(d);
    jet::WriteGroup g(d);
    for (Row r : rows) g.table("ЗУРТ").insert(r);
    g.commit();
    return db;
}

void picture(const fs::path& p, int w, int h) {
    fs::create_directories(p.parent_path());
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(Qt::darkCyan);
    ASSERT_TRUE(img.save(QString::fromStdString(p.string())));
}

QString text(Form1& f, int i) { return f.lab(i)->text(); }

void open(Form1& f, Seams& s, const fs::path& db) {
    s.answers.push_back(QString::fromStdString(db.string()));
    f.opba_Click();
    f.stview_Click();
}

TEST(Viewer, WindowHasTheControlsAndMenus) {
    Form1 f;
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

TEST(Viewer, NothingHappensWithoutADatabaseAndACancelKeepsThePath) {
    Seams s;
    TempDir dir;
    Form1 f;
    f.stview_Click();
    EXPECT_EQ(f.recordset()->State(), 0);
    f.opba_Click();  // cancelled on its first use
    EXPECT_TRUE(f.database_path().isEmpty());
    f.stview_Click();
    EXPECT_EQ(f.connection()->State(), 0);
    EXPECT_EQ(f.comm1().Filter, "*.mdb ( базы данных Access )|*.mdb|");
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

TEST(Viewer, CardShowsColumnsTwoThreeOneZeroAndClearsEmptyOnes) {
    Seams s;
    TempDir dir;
    fs::path db = make_register(dir.path(), {person("Иван", "Петрович", "Сидоров", ""), person("Ольга", "", "Ким", "")});
    Form1 f;
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

TEST(Viewer, ButtonsStopAtBothEndsWithoutRefreshing) {
    Seams s;
    TempDir dir;
    fs::path db = make_register(dir.path(), {person("А", "", "1", ""), person("Б", "", "2", ""), person("В", "", "3", "")});
    Form1 f;
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
TEST(Viewer, ButtonsFromBeyondEitherEnd) {
    Seams s;
    TempDir dir;
    fs::path three = make_register(dir.path(), {person("А", "", "1", ""), person("Б", "", "2", ""), person("В", "", "3", "")});
    fs::path one = make_register(dir.path(), {person("Один", "", "1", "")}, "one.mdb");
    Form1 f;
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

TEST(Viewer, EmptyRegisterIsReportedOnEveryClickAndKeepsTheCard) {
    Seams s;
    TempDir dir;
    fs::path db = make_register(dir.path(), {person("Анна", "", "Петрова", "")});
    fs::path empty = make_register(dir.path(), {}, "empty.mdb");
    Form1 f;
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

TEST(Viewer, RegisterThatCannotBeOpenedIsLostWithoutAWord) {
    Seams s;
    TempDir dir;
    fs::path db = make_register(dir.path(), {person("Анна", "", "Петрова", "")});
    write_file(dir / "junk.mdb", std::string(8192, 'x'));
    fs::path other = dir / "other.mdb";
    jet::create_database(other.string());
    Form1 f;
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

TEST(Viewer, PhotoIsSizedAroundTheBox) {
    Seams s;
    TempDir dir;
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
    Form1 f;
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

TEST(Viewer, AnotherProgramsChangesShowWhenSteppedTo) {
    Seams s;
    TempDir dir;
    fs::path db = make_register(dir.path(), {person("Анна", "", "Петрова", ""), person("Борис", "", "Орлов", "")});
    Form1 f;
    open(f, s, db);
    {
        jet::Database other(db.string());
        jet::WriteGroup g(other);
        jet::TableWriter& t = g.table("ЗУРТ");
        std::vector<jet::RowId> ids = other.table("ЗУРТ").row_ids();
        Row v = *t.read(ids[1]);
        v[2] = std::string("Борислав");
        t.update(ids[1], v);
        g.commit();
    }
    f.Command2_Click();
    EXPECT_EQ(text(f, 0), "Борислав");
}

}  // namespace
