// The browser window on the offscreen platform: the statements it sends, the
// listing, the search, open failures, and the data control's buttons.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenuBar>
#include <QTableView>

#include "data_control.h"
#include "data_grid.h"
#include "form1.h"
#include "grid_model.h"
#include "jet/create.h"
#include "jet/database.h"
#include "support.h"
#include "window_steps.h"
#include "window_stores.h"
#include "ui/file_dialog.h"
#include "ui/message_box.h"
#include "ui/twips.h"

namespace {

using namespace testing_support;
using Row = std::vector<jet::Value>;

Row person(std::optional<std::string> first, std::optional<std::string> mark, const std::string& last = "Фамилия") {
    Row v(26, jet::Null{});
    v[1] = last;
    if (first) v[2] = *first;
    if (mark) v[4] = *mark;
    v[6] = std::string("учет");
    return v;
}

fs::path make_register(const fs::path& dir, const std::vector<Row>& rows, const std::string& name = "reg.mdb") {
    return write_register(dir / name, rows);
}

// Cases on a file and on a server register: the registers a case makes are
// opened where the parameter says.
class BrowserOn : public ::testing::TestWithParam<Where> {
protected:
    fs::path make_register(const fs::path& d, const std::vector<Row>& rows, const std::string& name = "reg.mdb") {
        return on(GetParam(), ::make_register(d, rows, name));
    }
};
INSTANTIATE_TEST_SUITE_P(Stores, BrowserOn, ::testing::Values(Where::File, Where::Server), where_name);

void open(Form1& f, Seams& s, const fs::path& db) {
    s.answers.push_back(QString::fromStdString(db.string()));
    f.otb_Click();
}

// The first names the grid shows (column 2 of either result).
QStringList headers(Form1& f) {
    QStringList out;
    for (int c = 0; c < f.model()->columnCount(); ++c) out << f.model()->headerData(c, Qt::Horizontal).toString();
    return out;
}

TEST(Browser, WindowAndStatements) {
    Form1 f;
    EXPECT_EQ(f.windowTitle(), "База ЗУРТ");
    EXPECT_EQ(f.centralWidget()->size(), QSize(894, 447));
    EXPECT_EQ(f.grid()->geometry(), ui::twips_rect(60, 0, 13260, 5655));
    EXPECT_EQ(f.grid()->caption(), "База ЗУРТ");
    EXPECT_EQ(f.adodc1()->caption(), "Adodc1");
    EXPECT_EQ(f.adodc1()->geometry(), ui::twips_rect(8880, 6000, 1575, 855));
    EXPECT_EQ(f.text2()->geometry(), ui::twips_rect(5760, 6000, 1335, 615));
    ASSERT_EQ(f.menuBar()->actions().size(), 1);
    EXPECT_EQ(f.menuBar()->actions()[0]->text(), "открыть базу");
    EXPECT_EQ(Form1::kFullListing,
              "SELECT ЗУРТ.[номер], ЗУРТ.[Фамилия], ЗУРТ.[Имя], ЗУРТ.[Отчество], ЗУРТ.[Блейк лист], ЗУРТ.[Дата рождения],ЗУРТ.[Категория "
              "учета],ЗУРТ.[Адрес места жительства] FROM ЗУРТ");
    EXPECT_EQ(Form1::search_statement("ан", " да"),
              "SELECT ЗУРТ.[номер], ЗУРТ.[Фамилия], ЗУРТ.[Имя], ЗУРТ.[Отчество], ЗУРТ.[Блейк лист] From ЗУРТ WHERE Имя Like '%ан%'and "
              "ЗУРТ.[Блейк лист] Like '% да%'");
    EXPECT_EQ(Form1::search_statement("О'Н", "%_["),
              "SELECT ЗУРТ.[номер], ЗУРТ.[Фамилия], ЗУРТ.[Имя], ЗУРТ.[Отчество], ЗУРТ.[Блейк лист] From ЗУРТ WHERE Имя Like '%О''Н%'and "
              "ЗУРТ.[Блейк лист] Like '%%_[%'");
}

TEST_P(BrowserOn, OpeningListsEveryRecordAndFailuresHideTheGrid) {
    Seams s;
    TempDir dir;
    fs::path db = make_register(dir.path(), {person("Анна", "да"), person(std::nullopt, std::nullopt), person("Борис", "")});
    fs::path empty = make_register(dir.path(), {}, "empty.mdb");
    write_file(dir / "junk.mdb", std::string(5000, 'z'));
    Form1 f;
    f.show();
    f.otb_Click();  // cancelled on first use: nothing to open
    EXPECT_FALSE(f.grid()->isVisible());
    open(f, s, db);
    EXPECT_TRUE(f.grid()->isVisible());
    EXPECT_EQ(headers(f), (QStringList{"номер", "Фамилия", "Имя", "Отчество", "Блейк лист", "Дата рождения", "Категория учета",
                                       "Адрес места жительства"}));
    EXPECT_EQ(names(f), (QStringList{"Анна", "", "Борис"}));
    EXPECT_EQ(f.model()->index(0, 6).data().toString(), "учет");
    open(f, s, dir / "junk.mdb");
    EXPECT_FALSE(f.grid()->isVisible());
    open(f, s, empty);
    EXPECT_TRUE(f.grid()->isVisible());
    EXPECT_EQ(f.model()->columnCount(), 8);
    EXPECT_EQ(f.model()->rowCount(), 0);
    open(f, s, db);
    search(f, "Анна", "");
    EXPECT_EQ(f.model()->columnCount(), 5);
    f.otb_Click();  // a cancel lists the file chosen before again, dropping the search
    EXPECT_EQ(f.model()->columnCount(), 8);
    EXPECT_EQ(f.model()->rowCount(), 3);
    EXPECT_TRUE(s.messages.empty());
}

TEST_P(BrowserOn, SearchMatchesPartsOfTheNameAndTheMark) {
    Seams s;
    TempDir dir;
    fs::path db = make_register(dir.path(), {person("Анна", "да"), person("Жанна", ""), person("Иван", "нет"), person("О'Нил", "да"),
                                             person(std::nullopt, "да"), person("Ян", std::nullopt), person("ёлка", "Да"),
                                             person(" Анна", "да"), person("Ан_на", "50%")});
    Form1 f;
    f.show();
    search(f, "ан", "");  // before any database: nothing happens
    EXPECT_EQ(f.model()->columnCount(), 0);
    EXPECT_TRUE(s.messages.empty());
    open(f, s, db);
    EXPECT_EQ(search(f, "", ""), (QStringList{"Анна", "Жанна", "Иван", "О'Нил", "ёлка", " Анна", "Ан_на"}))
        << "Null in either column is never listed; the empty text is";
    EXPECT_EQ(f.model()->columnCount(), 5);
    EXPECT_EQ(search(f, "АН", ""), (QStringList{"Анна", "Жанна", "Иван", " Анна", "Ан_на"})) << "letter case does not count";
    EXPECT_EQ(search(f, "ан", "да"), (QStringList{"Анна", " Анна"}));
    EXPECT_EQ(search(f, "Ё", ""), QStringList{"ёлка"});
    EXPECT_EQ(search(f, " Ан", ""), QStringList{" Анна"}) << "spaces are part of the pattern";
    EXPECT_EQ(search(f, "О'Н", ""), QStringList{"О'Нил"}) << "an apostrophe is searched for";
    EXPECT_EQ(search(f, "А_н", ""), (QStringList{"Анна", "Жанна", " Анна"})) << "_ stands for one character";
    EXPECT_EQ(search(f, "[ЖИ]", ""), (QStringList{"Жанна", "Иван", "О'Нил"}));
    EXPECT_EQ(search(f, "", "0%"), QStringList{"Ан_на"});
    EXPECT_TRUE(s.messages.empty());
}

TEST_P(BrowserOn, DataControlMovesTheCurrentRowAndStaysAtTheEnds) {
    Seams s;
    TempDir dir;
    fs::path db = make_register(dir.path(), {person("А", "1"), person("Б", "2"), person("В", "3")});
    Form1 f;
    f.show();
    open(f, s, db);
    EXPECT_EQ(f.grid()->current_row(), 0);
    f.adodc1()->MovePrevious();
    EXPECT_EQ(f.grid()->current_row(), 0);
    f.adodc1()->MoveNext();
    EXPECT_EQ(f.grid()->current_row(), 1);
    f.adodc1()->MoveLast();
    EXPECT_EQ(f.grid()->current_row(), 2);
    f.adodc1()->MoveNext();
    EXPECT_EQ(f.grid()->current_row(), 2);
    f.adodc1()->MoveFirst();
    EXPECT_EQ(f.grid()->current_row(), 0);
}

TEST_P(BrowserOn, LargeRegisterIsCountedExactlyAndReadAsScrolled) {
    Seams s;
    TempDir dir;
    std::vector<Row> rows;
    for (int i = 0; i < 20000; ++i) rows.push_back(person("Имя" + std::to_string(i), "x"));
    fs::path db = make_register(dir.path(), rows);
    Form1 f;
    f.show();
    open(f, s, db);
    EXPECT_EQ(f.model()->rowCount(), 20000);
    EXPECT_LE(f.model()->cached_blocks(), 2u) << "only what is on screen is read";
    for (int r = 0; r < 20000; r += 97) EXPECT_EQ(f.model()->index(r, 2).data().toString(), QString("Имя%1").arg(r));
    EXPECT_LE(f.model()->cached_blocks(), 64u);
    EXPECT_EQ(f.model()->index(19999, 0).data().toString(), "20000");
}

}  // namespace

namespace {

// The accessible objects of a window, counted by walking its tree as an
// assistive program does.
int accessible_objects(QAccessibleInterface* node, int depth = 0) {
    if (!node || depth > 50) return 0;
    int n = 1;
    for (int i = 0; i < node->childCount(); ++i) n += accessible_objects(node->child(i), depth + 1);
    return n;
}

TEST(Browser, ColumnsAreAsWideAsTheirHeadingsAndValuesAndTheControlFillsItsPlace) {
    Seams s;
    TempDir dir;
    std::vector<Row> rows;
    for (int i = 0; i < 30; ++i) rows.push_back(person("Имя" + std::to_string(i), "x"));
    rows[3][7] = std::string("г. Санкт-Петербург, набережная реки Мойки, дом 12, квартира 345");  // the address column
    fs::path db = make_register(dir.path(), rows);
    Form1 f;
    f.show();
    open(f, s, db);
    QTableView* v = f.grid()->view();
    for (int c = 0; c < 8; ++c) {
        EXPECT_GE(v->columnWidth(c), v->horizontalHeader()->sectionSizeHint(c)) << "heading " << c << " is cut";
    }
    EXPECT_GE(v->columnWidth(7), v->sizeHintForIndex(f.model()->index(3, 7)).width()) << "the long address is cut";
    EXPECT_LT(v->columnWidth(0), v->columnWidth(7)) << "columns are not all of one width";
    EXPECT_EQ(v->horizontalHeader()->sectionResizeMode(0), QHeaderView::Interactive);
    v->setColumnWidth(7, 40);  // dragged narrower by the user: left so while scrolling
    v->scrollToBottom();
    EXPECT_EQ(v->columnWidth(7), 40);
    // The data control's buttons take its whole height.
    auto* first = f.adodc1()->findChild<QWidget*>("first");
    ASSERT_NE(first, nullptr);
    EXPECT_GE(first->height(), f.adodc1()->height() - 4);
}

TEST(Browser, AssistiveToolsMeetTheRowsInViewNotEveryCell) {
    Seams s;
    TempDir dir;
    std::vector<int> counts;
    for (int n : {300, 3000}) {
        std::vector<Row> rows;
        for (int i = 0; i < n; ++i) rows.push_back(person("Имя" + std::to_string(i), "x"));
        fs::path db = make_register(dir / std::to_string(n), rows);
        Form1 f;
        f.show();
        open(f, s, db);
        QAccessibleInterface* window = QAccessible::queryAccessibleInterface(&f);
        ASSERT_NE(window, nullptr);
        counts.push_back(accessible_objects(window));
        QAccessibleInterface* grid = QAccessible::queryAccessibleInterface(f.grid()->view());
        ASSERT_NE(grid, nullptr);
        ASSERT_NE(grid->tableInterface(), nullptr);
        EXPECT_EQ(grid->tableInterface()->rowCount(), n) << "the true row count";
        EXPECT_EQ(grid->tableInterface()->columnCount(), 8);
        QAccessibleInterface* current = grid->focusChild();
        ASSERT_NE(current, nullptr);
        EXPECT_EQ(current->text(QAccessible::Name), "1") << "the current cell: the first row's number";
        QAccessibleInterface* far = grid->tableInterface()->cellAt(n - 1, 2);
        ASSERT_NE(far, nullptr);
        EXPECT_EQ(far->text(QAccessible::Name), QString("Имя%1").arg(n - 1));
    }
    EXPECT_EQ(counts[0], counts[1]) << "the tree grows with the register";
    EXPECT_LT(counts[1], 1000);
}

}  // namespace
