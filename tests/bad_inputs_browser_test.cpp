// Bad files and bad inputs met through the browser's window: every one ends
// in a clear outcome, and none ends the program or damages a file.
#include <gtest/gtest.h>

#include <QLineEdit>

#include "bad_inputs_support.h"
#include "data_grid.h"
#include "form1.h"
#include "grid_model.h"
#include "window_steps.h"

namespace {

using namespace testing_support;

void open(Form1& f, Seams& s, const fs::path& db) {
    s.answers.push_back(q(db));
    f.otb_Click();
}

TEST(BrowserBadFiles, UnusableFilesHideTheGridAndTheSearchSaysWhy) {
    Seams s;
    TempDir dir;
    const fs::path good = make_register(dir.path(), 3);
    std::vector<BadFile> files = bad_files(dir.path());
    files.push_back({"no such file", dir / "missing.mdb", "Не удается найти файл"});
    files.push_back({"database without ЗУРТ", database_without_register(dir.path()), "таблиц"});
    Form1 f;
    f.show();
    for (const BadFile& b : files) {
        SCOPED_TRACE(b.label);
        open(f, s, good);
        ASSERT_TRUE(f.grid()->isVisible());
        open(f, s, b.path);
        EXPECT_FALSE(f.grid()->isVisible());
        EXPECT_TRUE(s.messages.empty()) << "the listing fails without a word";
        search(f, "Имя", "");
        ASSERT_EQ(s.messages.size(), 1u);
        EXPECT_TRUE(s.messages[0].startsWith("Ошибка ")) << s.messages[0].toStdString();
        EXPECT_TRUE(s.messages[0].contains(QString::fromStdString(b.says))) << s.messages[0].toStdString();
        EXPECT_TRUE(in_russian(s.messages[0])) << s.messages[0].toStdString();
        s.messages.clear();
    }
    open(f, s, good);
    EXPECT_TRUE(f.grid()->isVisible());
    EXPECT_EQ(names(f), (QStringList{"Имя0", "Имя1", "Имя2"}));
}

TEST(BrowserBadFiles, TruncatedRegisterListsAllItsRowsOrNothing) {
    Seams s;
    TempDir dir;
    constexpr int kRows = 60;
    for (const fs::path& cut : truncated_registers(dir.path(), kRows)) {
        SCOPED_TRACE(cut.filename().string());
        Form1 f;
        f.show();
        open(f, s, cut);
        if (f.grid()->isVisible()) {
            EXPECT_EQ(f.model()->rowCount(), kRows) << "never fewer rows in silence";
            for (int r = 0; r < kRows; ++r) EXPECT_EQ(f.model()->index(r, 2).data().toString(), QString("Имя%1").arg(r));
        }
        search(f, "Имя", "");
        if (!s.messages.empty()) {
            EXPECT_TRUE(s.messages[0].startsWith("Ошибка ")) << s.messages[0].toStdString();
        } else {
            EXPECT_EQ(f.model()->rowCount(), kRows);
        }
        s.messages.clear();
    }
}

TEST(BrowserBadFiles, RegisterWithFewerColumns) {
    Seams s;
    TempDir dir;
    Form1 f;
    f.show();
    if (have_fixtures()) {
        // The first 20 columns: every one the listing and the search name is there.
        const fs::path fewer = copy_fixture(dir.path(), fixtures_dir() / "register" / "reg_fewer.mdb");
        open(f, s, fewer);
        EXPECT_TRUE(f.grid()->isVisible());
        EXPECT_EQ(f.model()->columnCount(), 8);
        EXPECT_EQ(f.model()->rowCount(), 5);
        search(f, "", "");
        EXPECT_EQ(f.model()->columnCount(), 5);
        EXPECT_TRUE(s.messages.empty());
    }
    // Only 6 columns: the listing names "Категория учета" and "Адрес места
    // жительства", which are missing, so the grid goes; the search needs none of them.
    const fs::path six = narrow_register(dir.path(), 6, 3);
    open(f, s, six);
    EXPECT_FALSE(f.grid()->isVisible());
    EXPECT_TRUE(s.messages.empty());
    EXPECT_EQ(search(f, "Имя", ""), (QStringList{"Имя0", "Имя1", "Имя2"}));
    EXPECT_TRUE(s.messages.empty());
    // Only 3: the search's "Блейк лист" is missing too, and that is reported.
    const fs::path three = narrow_register(dir.path(), 3, 3);
    open(f, s, three);
    search(f, "Имя", "");
    ASSERT_EQ(s.messages.size(), 1u);
    EXPECT_TRUE(s.messages[0].startsWith("Ошибка 3265")) << s.messages[0].toStdString();
}

TEST(BrowserBadFiles, ReadOnlyFileAndFolderAreListedAndSearched) {
    Seams s;
    TempDir dir;
    const fs::path ro_file = make_register(dir / "a", 4);
    read_only_file(ro_file);
    const fs::path in_ro_folder = make_register(dir / "b", 4);
    ReadOnlyFolder ro(dir / "b");
    Form1 f;
    f.show();
    for (const fs::path& db : {ro_file, in_ro_folder}) {
        const std::string before = read_file(db);
        open(f, s, db);
        EXPECT_TRUE(f.grid()->isVisible());
        EXPECT_EQ(f.model()->rowCount(), 4);
        EXPECT_EQ(search(f, "Имя", "да"), (QStringList{"Имя1", "Имя3"}));
        EXPECT_TRUE(read_file(db) == before);
    }
    EXPECT_TRUE(s.messages.empty());
}

// Another writer holding the lock: the listing waits for it, and a search
// behind a lock held too long says so and the program goes on.
TEST(BrowserBadFiles, ListingWaitsForAnotherWriterAndASearchTellsOfALongLock) {
    Seams s;
    TempDir dir;
    const fs::path db = make_register(dir.path(), 3);
    Form1 f;
    f.show();
    {
        OtherWriter other(db, 500);
        ASSERT_TRUE(other.holds_lock());
        ReleaseWhenWaitedFor release(other);
        open(f, s, db);  // waits for the other writer's group, then sees it whole
        EXPECT_TRUE(release.waited());
        EXPECT_EQ(other.finish(), 0);
    }
    EXPECT_TRUE(f.grid()->isVisible());
    EXPECT_EQ(names(f), (QStringList{"Имя0", "Имя1", "Имя2", "Имя500"}));
    EXPECT_TRUE(s.messages.empty());
    {
        ShortLockWait short_wait;
        OtherWriter other(db, 501);  // holds on until finish()
        ASSERT_TRUE(other.holds_lock());
        search(f, "Имя", "");
        ASSERT_EQ(s.messages.size(), 1u);
        EXPECT_TRUE(s.messages[0].startsWith("Ошибка 3218")) << s.messages[0].toStdString();
        EXPECT_EQ(other.finish(), 0);
    }
    EXPECT_EQ(search(f, "Имя", ""), (QStringList{"Имя0", "Имя1", "Имя2", "Имя500", "Имя501"}));
    EXPECT_EQ(s.messages.size(), 1u);
    expect_sound(db);
}

// The browser only reads: a stray journal beside the register changes nothing for it.
TEST(BrowserBadFiles, StrayJournalIsListed) {
    Seams s;
    TempDir dir;
    const fs::path db = make_register(dir.path(), 3);
    write_file(journal_of(db), "not a journal");
    Form1 f;
    f.show();
    open(f, s, db);
    EXPECT_TRUE(f.grid()->isVisible());
    EXPECT_EQ(names(f), (QStringList{"Имя0", "Имя1", "Имя2"}));
    EXPECT_TRUE(s.messages.empty());
    EXPECT_EQ(read_file(journal_of(db)), "not a journal");
}

TEST(BrowserBadFiles, HiddenFileAndOddNames) {
    Seams s;
    TempDir dir;
    const fs::path hidden = make_register(dir.path(), 2, ".hidden.mdb");
    const fs::path odd = make_register(dir / kOddFolder, 3, kOddFile);
    Form1 f;
    f.show();
    open(f, s, hidden);
    EXPECT_EQ(names(f), (QStringList{"Имя0", "Имя1"})) << "the window opens a hidden file it is given";
    open(f, s, odd);
    EXPECT_TRUE(f.grid()->isVisible());
    EXPECT_EQ(names(f), (QStringList{"Имя0", "Имя1", "Имя2"}));
    EXPECT_EQ(search(f, "я1", ""), QStringList{"Имя1"});
    EXPECT_TRUE(s.messages.empty());
}

TEST(BrowserBadFiles, SearchTextsWithQuotesAndWildcards) {
    Seams s;
    TempDir dir;
    std::vector<Row> rows;
    for (const char* name : {"О'Нил", "50%", "a_b", "[x]", "ab", "Иван"}) {
        rows.push_back(person(0));
        rows.back()[2] = std::string(name);
    }
    const fs::path db = write_register(dir / "reg.mdb", rows);
    Form1 f;
    f.show();
    open(f, s, db);
    // A class that never closes: reported, and the grid keeps what it showed
    // (here the listing, later a search's result).
    search(f, "[", "");
    ASSERT_EQ(s.messages.size(), 1u);
    EXPECT_TRUE(s.messages[0].startsWith("Ошибка ")) << s.messages[0].toStdString();
    EXPECT_EQ(f.model()->columnCount(), 8);
    EXPECT_EQ(f.model()->rowCount(), 6);
    EXPECT_TRUE(f.grid()->isVisible());
    s.messages.clear();
    EXPECT_EQ(search(f, "'", ""), QStringList{"О'Нил"}) << "an apostrophe is searched for";
    EXPECT_EQ(search(f, "''", ""), QStringList{}) << "two are searched for as two";
    EXPECT_EQ(search(f, "' or '1'='1", ""), QStringList{}) << "typed text never becomes part of the statement";
    EXPECT_EQ(search(f, "0%", ""), QStringList{"50%"});
    EXPECT_EQ(search(f, "%", ""), (QStringList{"О'Нил", "50%", "a_b", "[x]", "ab", "Иван"})) << "% stands for any run of characters";
    EXPECT_EQ(search(f, "a_b", ""), QStringList{"a_b"}) << "_ stands for one character";
    EXPECT_EQ(search(f, "[[]", ""), QStringList{"[x]"}) << "[[] finds the bracket itself";
    EXPECT_EQ(search(f, "[%]", ""), QStringList{"50%"});
    EXPECT_TRUE(s.messages.empty());
    search(f, "[x", "");
    ASSERT_EQ(s.messages.size(), 1u);
    EXPECT_TRUE(s.messages[0].startsWith("Ошибка ")) << s.messages[0].toStdString();
    EXPECT_EQ(names(f), QStringList{"50%"}) << "the grid keeps what it showed";
    EXPECT_EQ(search(f, "Ив", ""), QStringList{"Иван"}) << "the program keeps running";
    EXPECT_EQ(s.messages.size(), 1u);
}
}  // namespace
