// Bad files and bad inputs met through the viewer's window: every one ends
// in a clear outcome, and none ends the program or damages a file.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QLabel>
#include <sys/resource.h>

#include <algorithm>
#include <fstream>
#include <optional>

#include "bad_inputs_support.h"
#include "dataaccess/recordset.h"
#include "form1.h"
#include "image_frame.h"
#include "jet/database.h"
#include "storage/page_file.h"
#include "ui/twips.h"
#include "window_steps.h"

namespace {

using namespace testing_support;

QString text(Form1& f, int i) { return f.lab(i)->text(); }

void open(Form1& f, Seams& s, const fs::path& db) {
    s.answers.push_back(q(db));
    f.opba_Click();
    f.stview_Click();
}

// Every button and menu of a window whose register did not open.
void press_everything(Form1& f, Seams& s, const fs::path& photo) {
    f.Command1_Click();
    f.Command2_Click();
    f.defo_Click();
    s.answers.push_back(q(photo));
    f.smfo_Click();  // without an open register it asks nothing
    s.answers.clear();
}

TEST(ViewerBadFiles, UnusableFilesOpenNothingAndTheCardStays) {
    Seams s;
    TempDir dir;
    const fs::path good = make_register(dir.path(), 3);
    picture(dir / "p.jpg", 40, 40);
    std::vector<BadFile> files = bad_files(dir.path());
    files.push_back({"no such file", dir / "missing.mdb", ""});
    files.push_back({"database without ЗУРТ", database_without_register(dir.path()), ""});
    Form1 f;
    for (const BadFile& b : files) {
        SCOPED_TRACE(b.label);
        open(f, s, good);
        ASSERT_EQ(text(f, 0), "Имя0");
        const std::string before = read_file(b.path);
        open(f, s, b.path);
        EXPECT_EQ(f.recordset()->State(), 0);
        EXPECT_EQ(text(f, 0), "Имя0") << "the previous card stays";
        press_everything(f, s, dir / "p.jpg");
        EXPECT_TRUE(read_file(b.path) == before);
        EXPECT_TRUE(s.messages.empty()) << s.messages.front().toStdString();
    }
    open(f, s, good);
    f.Command2_Click();
    EXPECT_EQ(text(f, 0), "Имя1") << "a good register opens again afterwards";
}

TEST(ViewerBadFiles, TruncatedRegisterShowsAllItsRowsOrNothing) {
    Seams s;
    TempDir dir;
    constexpr int kRows = 60;
    for (const fs::path& cut : truncated_registers(dir.path(), kRows)) {
        SCOPED_TRACE(cut.filename().string());
        Form1 f;
        open(f, s, cut);
        if (f.recordset()->State() == 0) {
            EXPECT_TRUE(text(f, 0).isEmpty());
            press_everything(f, s, dir / "p.jpg");
        } else {
            EXPECT_EQ(f.recordset()->RecordCount(), kRows) << "never fewer rows in silence";
            for (int i = 0; i < kRows; ++i) f.Command2_Click();
            f.defo_Click();
        }
        EXPECT_LE(s.messages.size(), 1u);
        s.messages.clear();
    }
}

TEST(ViewerBadFiles, RegisterWithFewerColumnsShowsTheCard) {
    if (!have_fixtures()) REGISTER_SKIP() << "the shared test files are absent";
    Seams s;
    TempDir dir;
    const fs::path db = copy_fixture(dir.path(), fixtures_dir() / "register" / "reg_fewer.mdb");
    const std::vector<Row> rows = register_rows(db);
    ASSERT_EQ(rows[0].size(), 20u);
    const std::string before = read_file(db);
    Form1 f;
    f.show();
    open(f, s, db);
    ASSERT_EQ(f.recordset()->State(), 1);
    auto shows = [&](const Row& r) {
        const auto* first = std::get_if<std::string>(&r[2]);
        EXPECT_EQ(text(f, 0).toStdString(), first ? *first : std::string());
        EXPECT_EQ(text(f, 3).toStdString(), std::to_string(std::get<std::int64_t>(r[0])));
        EXPECT_TRUE(f.image1()->picture().isNull()) << "there is no photo column";
    };
    shows(rows[0]);
    f.Command2_Click();
    shows(rows[1]);
    EXPECT_TRUE(s.messages.empty());
    // The photo column is missing: removing the photo says so, setting one passes over it.
    f.defo_Click();
    ASSERT_EQ(s.messages.size(), 1u);
    EXPECT_TRUE(s.messages[0].startsWith("Ошибка 3265")) << s.messages[0].toStdString();
    picture(dir / "p.jpg", 40, 40);
    s.answers.push_back(q(dir / "p.jpg"));
    f.smfo_Click();
    EXPECT_EQ(s.messages.size(), 1u);
    EXPECT_TRUE(read_file(db) == before);
    f.Command2_Click();
    shows(rows[2]);
}

// A shown window over a register of persons who all name the photo p.jpg
// beside it, its first card open.
struct ViewerOnPhotos : testing::Test {
    Seams s;
    TempDir dir;
    Form1 f;
    fs::path db;
    void open_register(int rows, const fs::path& folder) {
        picture(folder / "p.jpg", 40, 40);
        db = write_register(folder / "reg.mdb", rows, [](int i) { return person(i, "p.jpg"); });
        f.show();
        open(f, s, db);
        ASSERT_EQ(text(f, 0), "Имя0");
        ASSERT_TRUE(f.image1()->isVisible());
    }
};

TEST_F(ViewerOnPhotos, ReadOnlyFileOrFolderRefusesPhotoChangesAndTheProgramGoesOn) {
    for (const bool folder : {false, true}) {
        SCOPED_TRACE(folder ? "read-only folder" : "read-only file");
        const fs::path where = dir / (folder ? "folder" : "file");
        open_register(2, where);
        const std::string before = read_file(db);
        std::optional<ReadOnlyFolder> ro;
        if (folder) {
            ro.emplace(where);
        } else {
            read_only_file(db);
        }
        f.defo_Click();
        ASSERT_EQ(s.messages.size(), 1u);
        EXPECT_TRUE(s.messages[0].startsWith("Ошибка 3027")) << s.messages[0].toStdString();
        s.answers.push_back(q(where / "p.jpg"));
        f.smfo_Click();  // a refused save is passed over, as every step of the choice
        EXPECT_EQ(s.messages.size(), 1u);
        EXPECT_TRUE(read_file(db) == before);
        EXPECT_FALSE(fs::exists(journal_of(db)));
        f.Command2_Click();
        EXPECT_EQ(text(f, 0), "Имя1") << "the program keeps running";
        s.messages.clear();
    }
}

// Another writer holding the lock: the photo's removal waits for it, and
// when it holds on too long, says so and the program goes on.
TEST_F(ViewerOnPhotos, PhotoRemovalWaitsForAnotherWriterAndTellsOfALongLock) {
    open_register(3, dir.path());
    {
        OtherWriter other(db, 500);
        ASSERT_TRUE(other.holds_lock());
        ReleaseWhenWaitedFor release(other);
        f.defo_Click();  // waits for the other writer's group to end
        EXPECT_TRUE(release.waited());
        EXPECT_EQ(other.finish(), 0);
    }
    EXPECT_TRUE(s.messages.empty());
    EXPECT_FALSE(f.image1()->isVisible());
    f.Command2_Click();
    {
        ShortLockWait short_wait;
        OtherWriter other(db, 501);  // holds on until finish()
        ASSERT_TRUE(other.holds_lock());
        f.defo_Click();
        ASSERT_EQ(s.messages.size(), 1u);
        EXPECT_TRUE(s.messages[0].startsWith("Ошибка 3218")) << s.messages[0].toStdString();
        EXPECT_TRUE(s.messages[0].contains("занята другой программой")) << s.messages[0].toStdString();
        EXPECT_EQ(other.finish(), 0);
    }
    f.Command2_Click();  // the program goes on
    EXPECT_EQ(text(f, 0), "Имя2");
    f.defo_Click();
    EXPECT_EQ(s.messages.size(), 1u);
    const std::vector<Row> rows = register_rows(db);
    ASSERT_EQ(rows.size(), 5u) << "the other writers' rows are kept";
    EXPECT_EQ(rows[0][24], jet::Value{std::string()});
    EXPECT_EQ(rows[1][24], jet::Value{std::string("p.jpg")});
    EXPECT_EQ(rows[2][24], jet::Value{std::string()});
    EXPECT_EQ(markers_of(db), (std::set<std::string>{"M0", "M1", "M2", "M500", "M501"}));
    expect_sound(db);
}

// The file damaged under an open window (its first pages zeroed in place):
// the photo's removal says so and writes nothing.
TEST_F(ViewerOnPhotos, PhotoRemovalOnAFileDamagedMeanwhileIsReported) {
    open_register(2, dir.path());
    std::string bytes = read_file(db);
    std::fill(bytes.begin(), bytes.begin() + 3 * static_cast<std::ptrdiff_t>(jet::kPageSize), '\0');
    {
        std::fstream out(db, std::ios::in | std::ios::out | std::ios::binary);  // the same file, changed in place
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    f.defo_Click();
    ASSERT_EQ(s.messages.size(), 1u);
    EXPECT_TRUE(s.messages[0].startsWith("Ошибка 3049")) << s.messages[0].toStdString();
    EXPECT_TRUE(in_russian(s.messages[0])) << s.messages[0].toStdString();
    EXPECT_TRUE(read_file(db) == bytes);
}

// Another program's file where the register's journal goes: read with a
// warning, never changed while it lies there.
TEST(ViewerBadFiles, StrayJournalWarnsAndRefusesPhotoChanges) {
    Seams s;
    TempDir dir;
    picture(dir / "p.jpg", 40, 40);
    const fs::path db = write_register(dir / "reg.mdb", 2, [](int i) { return person(i, "p.jpg"); });
    write_file(journal_of(db), "not a journal");
    const std::string before = read_file(db);
    Form1 f;
    f.show();
    open(f, s, db);
    EXPECT_EQ(text(f, 0), "Имя0");
    ASSERT_EQ(s.messages.size(), 1u);
    EXPECT_TRUE(s.messages[0].contains("не является ее журналом")) << s.messages[0].toStdString();
    f.defo_Click();
    ASSERT_EQ(s.messages.size(), 2u);
    EXPECT_TRUE(s.messages[1].startsWith("Ошибка 3734")) << s.messages[1].toStdString();
    EXPECT_TRUE(read_file(db) == before);
    EXPECT_EQ(read_file(journal_of(db)), "not a journal");
}

TEST(ViewerBadFiles, HiddenFileAndOddNamesOpenAndTakePhotos) {
    Seams s;
    TempDir dir;
    const fs::path hidden = make_register(dir.path(), 2, ".hidden.mdb");
    const fs::path folder = dir / kOddFolder;
    const fs::path db = make_register(folder, 3, kOddFile);
    picture(folder / "фото; 'x' \"y\".png", 150, 100);
    picture(folder / "под папка; \"z\"" / "снимок 'a'.jpg", 120, 90);
    Form1 f;
    f.show();
    open(f, s, hidden);
    EXPECT_EQ(text(f, 0), "Имя0") << "the window opens a hidden file it is given";
    open(f, s, db);
    EXPECT_EQ(text(f, 0), "Имя0");
    f.Command2_Click();
    EXPECT_EQ(text(f, 0), "Имя1");
    s.answers.push_back(q(folder / "фото; 'x' \"y\".png"));
    f.smfo_Click();
    EXPECT_TRUE(f.image1()->isVisible());
    EXPECT_EQ(f.image1()->geometry(), ui::twips_rect(4920, 240, 2250, 1500));
    f.Command2_Click();
    s.answers.push_back(q(folder / "под папка; \"z\"" / "снимок 'a'.jpg"));
    f.smfo_Click();
    EXPECT_TRUE(f.image1()->isVisible());
    const std::vector<Row> rows = register_rows(db);
    EXPECT_EQ(rows[1][24], jet::Value{std::string("фото; 'x' \"y\".png")});
    EXPECT_EQ(rows[2][24], jet::Value{std::string("под папка; \"z\"\\снимок 'a'.jpg")});
    f.Command1_Click();
    EXPECT_TRUE(f.image1()->isVisible()) << "the photo is found again by its stored name";
    EXPECT_TRUE(s.messages.empty());
    expect_sound(db);
}

// A PNG of side×side pixels, 1-bit grayscale: the rows are all zero, so
// the compressed data takes some tens of kilobytes.
void huge_png(const fs::path& p, std::uint32_t side) {
    auto crc32 = [](const std::string& bytes) {
        std::uint32_t c = 0xFFFFFFFFu;
        for (unsigned char b : bytes) {
            c ^= b;
            for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
        }
        return c ^ 0xFFFFFFFFu;
    };
    auto be32 = [](std::uint32_t v) {
        return std::string{static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
    };
    auto chunk = [&](const char* type, const std::string& data) {
        const std::string body = std::string(type, 4) + data;
        return be32(static_cast<std::uint32_t>(data.size())) + body + be32(crc32(body));
    };
    // Width, height, bit depth 1, grayscale, deflate, no filter method, not interlaced.
    const std::string header = be32(side) + be32(side) + std::string{1, 0, 0, 0, 0};
    const std::size_t row = 1 + (side + 7) / 8;  // the filter byte, then the bits
    const QByteArray raw(static_cast<qsizetype>(row * side), '\0');
    const QByteArray packed = qCompress(raw, 9).mid(4);  // qCompress puts the length before the zlib stream
    const std::string png = std::string("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header) +
                            chunk("IDAT", std::string(packed.constData(), static_cast<std::size_t>(packed.size()))) + chunk("IEND", {});
    write_file(p, png);
}

long peak_memory_mb() {
    struct rusage ru {};
    ::getrusage(RUSAGE_SELF, &ru);
    return ru.ru_maxrss / 1024;
}

TEST(ViewerBadFiles, PhotosThatAreNoPicturesHideTheFrame) {
    Seams s;
    TempDir dir;
    picture(dir / "good.png", 150, 100);
    write_file(dir / "text.png", "not a picture");
    write_file(dir / "empty.jpg", "");
    picture(dir / "whole.png", 300, 300);
    const std::string whole = read_file(dir / "whole.png");
    write_file(dir / "cut.png", whole.substr(0, whole.size() / 2));  // the header still promises 300×300
    fs::create_directories(dir / "folder.jpg");
    const std::vector<std::string> photos = {"good.png", "text.png", "empty.jpg", "cut.png", "folder.jpg", "good.png"};
    std::vector<Row> rows;
    for (std::size_t i = 0; i < photos.size(); ++i) rows.push_back(person(static_cast<int>(i), photos[i]));
    const fs::path db = write_register(dir / "reg.mdb", rows);
    Form1 f;
    f.show();
    open(f, s, db);
    for (std::size_t i = 0; i < photos.size(); ++i) {
        SCOPED_TRACE(photos[i]);
        if (i > 0) f.Command2_Click();
        EXPECT_EQ(text(f, 0).toStdString(), "Имя" + std::to_string(i));
        EXPECT_EQ(f.image1()->isVisible(), photos[i] == "good.png");
    }
    EXPECT_TRUE(s.messages.empty());
}

TEST(ViewerBadFiles, HugePhotoIsShownScaledInTheBox) {
    Seams s;
    TempDir dir;
    huge_png(dir / "huge.png", 20000);
    ASSERT_LT(fs::file_size(dir / "huge.png"), 200u * 1024);
    const fs::path db = write_register(dir / "reg.mdb", {person(0, "huge.png")});
    const long before = peak_memory_mb();
    Form1 f;
    f.show();
    open(f, s, db);
    EXPECT_EQ(text(f, 0), "Имя0");
    EXPECT_EQ(f.picture1_size(), QSize(20000, 20000));
    // 300,000 twips a side, both over the 3000-twip box, square: the box itself.
    EXPECT_TRUE(f.image1()->isVisible());
    EXPECT_TRUE(f.image1()->stretch());
    EXPECT_EQ(f.image1()->geometry(), ui::twips_rect(4920, 240, 3000, 3000));
    ASSERT_FALSE(f.image1()->picture().isNull());
    EXPECT_LE(f.image1()->picture().width(), f.image1()->width()) << "kept at the size it is shown at";
    // Decoded whole at 32 bits a pixel the picture would take 1.6 GB.
    EXPECT_LT(peak_memory_mb() - before, 600) << "peak before " << before << " MB";
    EXPECT_TRUE(s.messages.empty());
}
}  // namespace
