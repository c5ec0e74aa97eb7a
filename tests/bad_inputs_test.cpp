// Bad files and bad inputs, met through each program's window (and through
// regtool where the command line is the natural door): every one ends in a
// clear outcome, and none ends the program or damages a file.
//
// The three windows share the class name Form1, so this file is built once
// for each: BAD_INPUTS_WINDOW is 1 for the viewer (Zelmar), 2 for the browser
// (Ostrin) and 3 for the importer (Tavrel, with the regtool cases).
#include <gtest/gtest.h>

#include <QByteArray>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <chrono>
#include <optional>
#include <set>

#include "form1.h"
#include "jet/check.h"
#include "jet/create.h"
#include "register_table.h"
#include "jet/database.h"
#include "jet/disk.h"
#include "jet/page_file.h"
#include "support.h"
#include "window_steps.h"
#include "ui/file_dialog.h"
#include "ui/message_box.h"

#if BAD_INPUTS_WINDOW == 1
#include "dataaccess/recordset.h"
#include "image_frame.h"
#include "ui/twips.h"
#elif BAD_INPUTS_WINDOW == 2
#include "data_grid.h"
#include "grid_model.h"
#endif

namespace {

using namespace testing_support;
using Row = std::vector<jet::Value>;


// Person i: a first name and a marker that follow the row wherever it goes,
// and a memo long enough every few rows to need pages of its own.
Row person(int i, const std::string& photo = {}) {
    Row v(26, jet::Null{});
    v[1] = "Фамилия" + std::to_string(i);
    v[2] = "Имя" + std::to_string(i);
    v[4] = std::string(i % 2 ? "да" : "нет");
    std::string memo;
    for (int k = 0; k < (i % 5 == 0 ? 3000 : 10); ++k) memo += "п";
    v[12] = memo;
    v[14] = "M" + std::to_string(i);
    if (!photo.empty()) v[24] = photo;
    return v;
}

fs::path make_register(const fs::path& dir, int rows, const std::string& name = "reg.mdb", int first = 0) {
    return write_register(dir / name, rows, [](int i) { return person(i); }, first);
}

[[maybe_unused]] fs::path register_of(const fs::path& dir, std::vector<Row> rows, const std::string& name = "reg.mdb") {
    fs::create_directories(dir);
    fs::path db = dir / name;
    jet::create_database(db.string());
    jet::Database d(db.string());
    reg::create_register_table(d);
    jet::WriteGroup g(d);
    for (Row& r : rows) g.table("ЗУРТ").insert(r);
    g.commit();
    return db;
}

std::vector<Row> rows_of(const fs::path& db) { return register_rows(db); }

[[maybe_unused]] std::set<std::string> markers_of(const fs::path& db) {
    std::set<std::string> out;
    for (const Row& r : rows_of(db)) {
        if (const auto* s = std::get_if<std::string>(&r[14])) out.insert(*s);
    }
    return out;
}

void expect_sound(const fs::path& db) {
    jet::Database d(db.string());
    for (const std::string& p : jet::check_database(d)) ADD_FAILURE() << db.filename() << ": " << p;
}

// A file that is no usable register, with a word the reason given for it holds.
struct BadFile {
    std::string label;
    fs::path path;
    std::string says;
};

// Files made here, and the fixtures of other formats when they are present
// (copied, so that nothing can touch the originals).
std::vector<BadFile> bad_files(const fs::path& dir) {
    std::vector<BadFile> out;
    write_file(dir / "notes.mdb", "Фамилия;Имя\nИванов;Иван\n");
    write_file(dir / "empty.mdb", "");
    out.push_back({"text file", dir / "notes.mdb", "не является базой данных"});
    out.push_back({"empty file", dir / "empty.mdb", "пуст"});
    if (have_fixtures()) {
        const std::array<std::pair<const char*, const char*>, 4> fixtures{{
            {"other-formats/jackcess__V1997__testV1997.mdb", "Access 97"},
            {"other-formats/jackcess__V2007__testV2007.accdb", "Access 2007"},
            {"other-formats/mdbreader__encryption__data__office-agile-4.2.accdb", "Access 2007"},
            {"realworld/mdbreader__password__data__V2000_with-password.mdb", "паролем"},
        }};
        for (const auto& [name, says] : fixtures) {
            const fs::path from = fixtures_dir() / name;
            if (!fs::exists(from)) continue;
            const fs::path to = dir / ("fixture_" + from.filename().string());
            fs::copy_file(from, to);
            fs::permissions(to, fs::perms::owner_read | fs::perms::owner_write);
            out.push_back({from.filename().string(), to, says});
        }
    }
    return out;
}

// Whether a message speaks Russian only: once the names it quotes «…» and the
// names of the products it mentions are set aside, no Latin letter is left.
bool in_russian(QString message) {
    message.remove(QRegularExpression(QStringLiteral("«[^»]*»")));
    for (const char* name : {"Microsoft Office", "LibreOffice Writer", "libreoffice-writer", "Access", "accdb"}) {
        message.remove(QString::fromUtf8(name));
    }
    return !message.contains(QRegularExpression(QStringLiteral("[A-Za-z]")));
}

// A register of `rows` rows cut at a few page boundaries: just after the
// header, inside the catalog, in the middle, and one page short of the end.
std::vector<fs::path> truncated_registers(const fs::path& dir, int rows) {
    const fs::path whole = make_register(dir / "whole", rows);
    const std::string bytes = read_file(whole);
    const std::size_t pages = bytes.size() / jet::kPageSize;
    std::vector<fs::path> out;
    for (std::size_t keep : {std::size_t{1}, std::size_t{3}, pages / 2, pages - 1}) {
        const fs::path cut = dir / ("cut_" + std::to_string(keep) + ".mdb");
        write_file(cut, bytes.substr(0, keep * jet::kPageSize));
        out.push_back(cut);
    }
    return out;
}

// A database holding only another table.
fs::path database_without_register(const fs::path& dir) {
    const fs::path db = dir / "other.mdb";
    jet::create_database(db.string());
    jet::Database d(db.string());
    jet::WriteGroup g(d);
    jet::TableSpec spec = reg::register_table_spec();
    spec.name = "ЗУРТ_архив";
    jet::create_table(g, spec);
    g.commit();
    return db;
}

// The register table with only its first `columns` columns.
[[maybe_unused]] fs::path narrow_register(const fs::path& dir, std::size_t columns, int rows) {
    const fs::path db = dir / ("narrow_" + std::to_string(columns) + ".mdb");
    jet::create_database(db.string());
    jet::Database d(db.string());
    jet::WriteGroup g(d);
    jet::TableSpec spec = reg::register_table_spec();
    spec.columns.resize(columns);
    jet::create_table(g, spec);
    for (int i = 0; i < rows; ++i) {
        Row v = person(i);
        v.resize(columns);
        g.table("ЗУРТ").insert(v);
    }
    g.commit();
    return db;
}

// A folder and file name with spaces, Cyrillic, ";", apostrophes and quotes.
const char* const kOddFolder = "папка с пробелами; 'апостроф' \"кавычки\" «ёлочки»";
const char* const kOddFile = "реестр; 'Р' \"К\" ё.mdb";

// A writer in another process: it takes the file's write lock, inserts one
// marked row, says that it holds the lock, and keeps it until it is let go
// (release(), or finish()); then it commits.
class OtherWriter {
public:
    OtherWriter(const fs::path& db, int marker) {
        int ready[2], go[2];
        if (::pipe(ready) != 0 || ::pipe(go) != 0) throw std::runtime_error("pipe failed");
        pid_ = ::fork();
        if (pid_ < 0) throw std::runtime_error("fork failed");
        if (pid_ == 0) {
            ::close(ready[0]);
            ::close(go[1]);
            int status = 0;
            try {
                jet::Database d(db.string());
                jet::WriteGroup g(d);
                Row v = person(marker);
                g.table("ЗУРТ").insert(v);
                const char c = 1;
                if (::write(ready[1], &c, 1) != 1) status = 3;
                char wait = 0;
                (void)::read(go[0], &wait, 1);  // returns when the test lets go
                g.commit();
            } catch (...) {
                status = 2;
            }
            ::_exit(status);
        }
        ::close(ready[1]);
        ::close(go[0]);
        go_ = go[1];
        char c = 0;
        locked_ = ::read(ready[0], &c, 1) == 1;
        ::close(ready[0]);
    }
    ~OtherWriter() {
        if (pid_ > 0) finish();
    }
    bool holds_lock() const { return locked_; }
    void release() {
        if (go_ >= 0) ::close(go_);
        go_ = -1;
    }
    // Lets go, then the child's exit status, or -1 when it died by a signal.
    int finish() {
        release();
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t pid_ = -1;
    int go_ = -1;
    bool locked_ = false;
};

// Lets the other writer go at the moment a program of this process finds
// its lock held and starts to wait: the wait is met for certain.
class ReleaseWhenWaitedFor {
public:
    explicit ReleaseWhenWaitedFor(OtherWriter& other) {
        jet::faults::set_lock_wait_hook([this, &other] {
            waited_ = true;
            other.release();
        });
    }
    ~ReleaseWhenWaitedFor() { jet::faults::set_lock_wait_hook(nullptr); }
    bool waited() const { return waited_; }

private:
    bool waited_ = false;
};

// Programs of this process give up waiting for another's lock after a short
// while, for the length of a test.
struct ShortLockWait {
    const std::chrono::milliseconds before = jet::PageFile::default_lock_wait();
    ShortLockWait() { jet::PageFile::set_default_lock_wait(std::chrono::milliseconds(300)); }
    ~ShortLockWait() { jet::PageFile::set_default_lock_wait(before); }
};

// Folders with their write bits taken away get them back at the end of the test.
struct ReadOnlyFolder {
    fs::path path;
    explicit ReadOnlyFolder(fs::path p) : path(std::move(p)) {
        fs::permissions(path, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read | fs::perms::group_exec);
    }
    ~ReadOnlyFolder() { fs::permissions(path, fs::perms::owner_all, fs::perm_options::add); }
};

[[maybe_unused]] void read_only_file(const fs::path& p) { fs::permissions(p, fs::perms::owner_read | fs::perms::group_read); }

#if BAD_INPUTS_WINDOW == 1
// ---------------------------------------------------------------------------
// Zelmar

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

void picture(const fs::path& p, int w, int h) {
    fs::create_directories(p.parent_path());
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(Qt::darkCyan);
    ASSERT_TRUE(img.save(q(p)));
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
    const fs::path db = dir / "reg_fewer.mdb";
    fs::copy_file(fixtures_dir() / "register" / "reg_fewer.mdb", db);
    fs::permissions(db, fs::perms::owner_read | fs::perms::owner_write);
    const std::vector<Row> rows = rows_of(db);
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

TEST(ViewerBadFiles, ReadOnlyFolderRefusesPhotoChangesAndTheProgramGoesOn) {
    Seams s;
    TempDir dir;
    const fs::path folder = dir / "reg";
    const fs::path db = register_of(folder, {person(0, "p.jpg"), person(1)});
    picture(folder / "p.jpg", 40, 40);
    picture(folder / "q.jpg", 40, 40);
    const std::string before = read_file(db);
    ReadOnlyFolder ro(folder);
    Form1 f;
    f.show();
    open(f, s, db);
    EXPECT_EQ(text(f, 0), "Имя0");
    f.defo_Click();
    ASSERT_EQ(s.messages.size(), 1u);
    EXPECT_TRUE(s.messages[0].startsWith("Ошибка 3027")) << s.messages[0].toStdString();
    s.answers.push_back(q(folder / "q.jpg"));
    f.smfo_Click();  // a refused save is passed over, as every step of the choice
    EXPECT_EQ(s.messages.size(), 1u);
    EXPECT_TRUE(read_file(db) == before);
    EXPECT_FALSE(fs::exists(folder / "reg.mdb-journal"));
    f.Command2_Click();
    EXPECT_EQ(text(f, 0), "Имя1") << "the program keeps running";
}

TEST(ViewerBadFiles, PhotoRemovalWaitsForAnotherWriter) {
    Seams s;
    TempDir dir;
    picture(dir / "p.jpg", 40, 40);
    const fs::path db = register_of(dir.path(), {person(0, "p.jpg"), person(1, "p.jpg"), person(2, "p.jpg")});
    Form1 f;
    f.show();
    open(f, s, db);
    ASSERT_TRUE(f.image1()->isVisible());
    OtherWriter other(db, 500);
    ASSERT_TRUE(other.holds_lock());
    ReleaseWhenWaitedFor release(other);
    f.defo_Click();  // waits for the other writer's group to end
    EXPECT_TRUE(release.waited());
    EXPECT_EQ(other.finish(), 0);
    EXPECT_TRUE(s.messages.empty());
    EXPECT_FALSE(f.image1()->isVisible());
    const std::vector<Row> rows = rows_of(db);
    ASSERT_EQ(rows.size(), 4u) << "the other writer's row is kept";
    EXPECT_EQ(rows[0][24], jet::Value{std::string()});
    EXPECT_EQ(rows[1][24], jet::Value{std::string("p.jpg")});
    EXPECT_EQ(markers_of(db), (std::set<std::string>{"M0", "M1", "M2", "M500"}));
    expect_sound(db);
}

TEST(ViewerBadFiles, PhotoRemovalBehindALongLockIsToldAndTheProgramGoesOn) {
    Seams s;
    ShortLockWait short_wait;
    TempDir dir;
    picture(dir / "p.jpg", 40, 40);
    const fs::path db = register_of(dir.path(), {person(0, "p.jpg"), person(1, "p.jpg")});
    Form1 f;
    f.show();
    open(f, s, db);
    ASSERT_TRUE(f.image1()->isVisible());
    {
        OtherWriter other(db, 500);  // holds on until finish()
        ASSERT_TRUE(other.holds_lock());
        f.defo_Click();
        ASSERT_EQ(s.messages.size(), 1u);
        EXPECT_TRUE(s.messages[0].startsWith("Ошибка 3218")) << s.messages[0].toStdString();
        EXPECT_TRUE(s.messages[0].contains("занята другой программой")) << s.messages[0].toStdString();
        EXPECT_EQ(other.finish(), 0);
    }
    f.Command2_Click();  // the program goes on
    EXPECT_EQ(text(f, 0), "Имя1");
    f.defo_Click();
    EXPECT_EQ(s.messages.size(), 1u);
    const std::vector<Row> rows = rows_of(db);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0][24], jet::Value{std::string("p.jpg")});
    EXPECT_EQ(rows[1][24], jet::Value{std::string()});
    expect_sound(db);
}

// The file damaged under an open window (its first pages zeroed in place):
// the photo's removal says so and writes nothing.
TEST(ViewerBadFiles, PhotoRemovalOnAFileDamagedMeanwhileIsReported) {
    Seams s;
    TempDir dir;
    picture(dir / "p.jpg", 40, 40);
    const fs::path db = register_of(dir.path(), {person(0, "p.jpg"), person(1, "p.jpg")});
    Form1 f;
    f.show();
    open(f, s, db);
    ASSERT_EQ(text(f, 0), "Имя0");
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
    const fs::path db = register_of(dir.path(), {person(0, "p.jpg"), person(1, "p.jpg")});
    write_file(db.string() + "-journal", "not a journal");
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
    EXPECT_EQ(read_file(db.string() + "-journal"), "not a journal");
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
    const std::vector<Row> rows = rows_of(db);
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
    const fs::path db = register_of(dir.path(), rows);
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
    const fs::path db = register_of(dir.path(), {person(0, "huge.png")});
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

#elif BAD_INPUTS_WINDOW == 2
// ---------------------------------------------------------------------------
// Ostrin

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
        const fs::path fewer = dir / "reg_fewer.mdb";
        fs::copy_file(fixtures_dir() / "register" / "reg_fewer.mdb", fewer);
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

TEST(BrowserBadFiles, ListingWaitsForAnotherWriter) {
    Seams s;
    TempDir dir;
    const fs::path db = make_register(dir.path(), 3);
    Form1 f;
    f.show();
    OtherWriter other(db, 500);
    ASSERT_TRUE(other.holds_lock());
    ReleaseWhenWaitedFor release(other);
    open(f, s, db);  // waits for the other writer's group, then sees it whole
    EXPECT_TRUE(release.waited());
    EXPECT_EQ(other.finish(), 0);
    EXPECT_TRUE(f.grid()->isVisible());
    EXPECT_EQ(names(f), (QStringList{"Имя0", "Имя1", "Имя2", "Имя500"}));
    EXPECT_TRUE(s.messages.empty());
    expect_sound(db);
}

TEST(BrowserBadFiles, SearchBehindALongLockIsToldAndTheProgramGoesOn) {
    Seams s;
    ShortLockWait short_wait;
    TempDir dir;
    const fs::path db = make_register(dir.path(), 3);
    Form1 f;
    f.show();
    open(f, s, db);
    ASSERT_TRUE(f.grid()->isVisible());
    {
        OtherWriter other(db, 500);  // holds on until finish()
        ASSERT_TRUE(other.holds_lock());
        search(f, "Имя", "");
        ASSERT_EQ(s.messages.size(), 1u);
        EXPECT_TRUE(s.messages[0].startsWith("Ошибка 3218")) << s.messages[0].toStdString();
        EXPECT_EQ(other.finish(), 0);
    }
    EXPECT_EQ(search(f, "Имя", ""), (QStringList{"Имя0", "Имя1", "Имя2", "Имя500"}));
    EXPECT_EQ(s.messages.size(), 1u);
}

// The browser only reads: a stray journal beside the register changes nothing for it.
TEST(BrowserBadFiles, StrayJournalIsListed) {
    Seams s;
    TempDir dir;
    const fs::path db = make_register(dir.path(), 3);
    write_file(db.string() + "-journal", "not a journal");
    Form1 f;
    f.show();
    open(f, s, db);
    EXPECT_TRUE(f.grid()->isVisible());
    EXPECT_EQ(names(f), (QStringList{"Имя0", "Имя1", "Имя2"}));
    EXPECT_TRUE(s.messages.empty());
    EXPECT_EQ(read_file(db.string() + "-journal"), "not a journal");
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
    const fs::path db = register_of(dir.path(), rows);
    Form1 f;
    f.show();
    open(f, s, db);
    EXPECT_EQ(search(f, "'", ""), QStringList{"О'Нил"}) << "an apostrophe is searched for";
    EXPECT_EQ(search(f, "''", ""), QStringList{}) << "two are searched for as two";
    EXPECT_EQ(search(f, "' or '1'='1", ""), QStringList{}) << "typed text never becomes part of the statement";
    EXPECT_EQ(search(f, "0%", ""), QStringList{"50%"});
    EXPECT_EQ(search(f, "%", ""), (QStringList{"О'Нил", "50%", "a_b", "[x]", "ab", "Иван"})) << "% stands for any run of characters";
    EXPECT_EQ(search(f, "a_b", ""), QStringList{"a_b"}) << "_ stands for one character";
    EXPECT_EQ(search(f, "[[]", ""), QStringList{"[x]"}) << "[[] finds the bracket itself";
    EXPECT_EQ(search(f, "[%]", ""), QStringList{"50%"});
    EXPECT_TRUE(s.messages.empty());
    search(f, "[x", "");  // a class that never closes
    ASSERT_EQ(s.messages.size(), 1u);
    EXPECT_TRUE(s.messages[0].startsWith("Ошибка ")) << s.messages[0].toStdString();
    EXPECT_EQ(names(f), QStringList{"50%"}) << "the grid keeps what it showed";
    EXPECT_EQ(search(f, "Ив", ""), QStringList{"Иван"}) << "the program keeps running";
    EXPECT_EQ(s.messages.size(), 1u);
}

#elif BAD_INPUTS_WINDOW == 3
// ---------------------------------------------------------------------------
// Tavrel, and regtool

TEST(ImporterBadFiles, UnusableSourceOrDestinationIsReportedAndNothingMoves) {
    Seams s;
    TempDir dir;
    const fs::path good = make_register(dir.path(), 3);
    std::vector<BadFile> files = bad_files(dir.path());
    files.push_back({"database without ЗУРТ", database_without_register(dir.path()), "таблиц"});
    const std::string good_before = read_file(good);
    Form1 f;
    for (const BadFile& b : files) {
        SCOPED_TRACE(b.label);
        const std::string before = read_file(b.path);
        for (bool as_source : {true, false}) {
            as_source ? choose(f, s, b.path, good) : choose(f, s, good, b.path);
            f.imp_Click();
            ASSERT_EQ(s.messages.size(), 1u);
            EXPECT_TRUE(s.messages[0].startsWith("Ошибка ")) << s.messages[0].toStdString();
            EXPECT_TRUE(s.messages[0].contains(QString::fromStdString(b.says))) << s.messages[0].toStdString();
            EXPECT_TRUE(s.messages[0].contains(q(b.path.filename()))) << "the file is named";
            EXPECT_TRUE(in_russian(s.messages[0])) << s.messages[0].toStdString();
            s.messages.clear();
            EXPECT_TRUE(read_file(b.path) == before);
            EXPECT_TRUE(read_file(good) == good_before);
        }
    }
    // A missing file or a folder is no ordinary file: the import does nothing.
    fs::create_directories(dir / "folder.mdb");
    for (const fs::path& p : {dir / "missing.mdb", dir / "folder.mdb"}) {
        choose(f, s, p, good);
        f.imp_Click();
        choose(f, s, good, p);
        f.imp_Click();
    }
    EXPECT_TRUE(s.messages.empty());
    EXPECT_TRUE(read_file(good) == good_before);
}

TEST(ImporterBadFiles, TruncatedSourceMovesEveryRowOrNone) {
    Seams s;
    TempDir dir;
    constexpr int kRows = 60;
    const std::vector<fs::path> cuts = truncated_registers(dir.path(), kRows);
    for (const fs::path& cut : cuts) {
        SCOPED_TRACE(cut.filename().string());
        const fs::path dst = make_register(dir / "dst", 2, cut.filename().string(), 1000);
        Form1 f;
        choose(f, s, cut, dst);
        f.imp_Click();
        const std::set<std::string> moved = markers_of(dst);
        if (s.messages.empty()) {
            EXPECT_EQ(moved.size(), static_cast<std::size_t>(kRows) + 2);
        } else {
            EXPECT_TRUE(s.messages[0].startsWith("Ошибка ")) << s.messages[0].toStdString();
            EXPECT_EQ(moved, (std::set<std::string>{"M1000", "M1001"})) << "nothing half-moved";
        }
        expect_sound(dst);
        s.messages.clear();
    }
}

TEST(ImporterBadFiles, ReadOnlyFileOrFolderOnEitherSideMovesNothing) {
    Seams s;
    TempDir dir;
    struct Case {
        const char* label;
        bool source_side;
        bool folder;
    };
    for (const Case c : {Case{"read-only source", true, false}, Case{"source in a read-only folder", true, true},
                         Case{"read-only destination", false, false}, Case{"destination in a read-only folder", false, true}}) {
        SCOPED_TRACE(c.label);
        const fs::path base = dir / c.label;
        const fs::path src = make_register(base / "src", 7, "src.mdb");
        const fs::path dst = make_register(base / "dst", 1, "dst.mdb", 100);
        const fs::path locked = c.source_side ? src : dst;
        std::optional<ReadOnlyFolder> ro;
        if (c.folder) {
            ro.emplace(locked.parent_path());
        } else {
            read_only_file(locked);
        }
        const std::string src_before = read_file(src), dst_before = read_file(dst);
        Form1 f;
        choose(f, s, src, dst);
        f.imp_Click();
        ASSERT_EQ(s.messages.size(), 1u);
        EXPECT_TRUE(s.messages[0].startsWith("Ошибка 3027")) << s.messages[0].toStdString();
        EXPECT_TRUE(s.messages[0].contains(q(locked.filename()))) << s.messages[0].toStdString();
        EXPECT_TRUE(read_file(src) == src_before) << "no row leaves the source";
        EXPECT_TRUE(read_file(dst) == dst_before) << "no row is copied without being moved";
        s.messages.clear();
    }
}

TEST(ImporterBadFiles, ImportWaitsForAnotherWriterOnTheDestination) {
    Seams s;
    TempDir dir;
    const fs::path src = make_register(dir.path(), 20, "src.mdb");
    const fs::path dst = make_register(dir.path(), 2, "dst.mdb", 100);
    Form1 f;
    choose(f, s, src, dst);
    OtherWriter other(dst, 500);
    ASSERT_TRUE(other.holds_lock());
    ReleaseWhenWaitedFor release(other);
    f.imp_Click();
    EXPECT_TRUE(release.waited());
    EXPECT_EQ(other.finish(), 0);
    EXPECT_TRUE(s.messages.empty());
    std::set<std::string> want{"M100", "M101", "M500"};
    for (int i = 0; i < 20; ++i) want.insert("M" + std::to_string(i));
    EXPECT_EQ(markers_of(dst), want);
    EXPECT_TRUE(rows_of(src).empty());
    expect_sound(src);
    expect_sound(dst);
}

TEST(ImporterBadFiles, ImportBehindALongLockIsToldAndMovesNothing) {
    Seams s;
    ShortLockWait short_wait;
    TempDir dir;
    const fs::path src = make_register(dir.path(), 5, "src.mdb");
    const fs::path dst = make_register(dir.path(), 1, "dst.mdb", 100);
    Form1 f;
    choose(f, s, src, dst);
    {
        OtherWriter other(dst, 500);  // holds on until finish()
        ASSERT_TRUE(other.holds_lock());
        const std::string before = read_file(src);
        f.imp_Click();
        ASSERT_EQ(s.messages.size(), 1u);
        EXPECT_TRUE(s.messages[0].startsWith("Ошибка 3218")) << s.messages[0].toStdString();
        EXPECT_TRUE(s.messages[0].contains(q(dst.filename()))) << "the file is named";
        EXPECT_TRUE(read_file(src) == before);
        EXPECT_EQ(other.finish(), 0);
    }
    f.imp_Click();
    EXPECT_EQ(s.messages.size(), 1u);
    EXPECT_TRUE(rows_of(src).empty());
    EXPECT_EQ(rows_of(dst).size(), 7u);
}

TEST(ImporterBadFiles, StrayJournalOnEitherSideMovesNothing) {
    Seams s;
    TempDir dir;
    const fs::path src = make_register(dir.path(), 5, "src.mdb");
    const fs::path dst = make_register(dir.path(), 1, "dst.mdb", 100);
    const std::string src_before = read_file(src), dst_before = read_file(dst);
    Form1 f;
    for (const fs::path& blocked : {src, dst}) {
        write_file(blocked.string() + "-journal", "not a journal");
        choose(f, s, src, dst);
        f.imp_Click();
        ASSERT_EQ(s.messages.size(), 1u);
        EXPECT_TRUE(s.messages[0].startsWith("Ошибка 3734")) << s.messages[0].toStdString();
        EXPECT_TRUE(s.messages[0].contains(q(blocked.filename()))) << "the file is named";
        s.messages.clear();
        EXPECT_TRUE(read_file(src) == src_before);
        EXPECT_TRUE(read_file(dst) == dst_before);
        fs::remove(blocked.string() + "-journal");
    }
}

TEST(ImporterBadFiles, OddNamesOnBothSides) {
    Seams s;
    TempDir dir;
    const fs::path src = make_register(dir / kOddFolder, 4, kOddFile);
    const fs::path dst = make_register(dir / "приемник 'п'; \"д\"", 1, "база назначения; 'x'.mdb", 100);
    Form1 f;
    choose(f, s, src, dst);
    f.imp_Click();
    EXPECT_TRUE(s.messages.empty());
    EXPECT_EQ(markers_of(dst), (std::set<std::string>{"M100", "M0", "M1", "M2", "M3"}));
    EXPECT_TRUE(rows_of(src).empty());
    // And back through the command line, with the same names as arguments.
    RunResult r = run_regtool({"move", dst.string(), src.string()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(markers_of(src).size(), 5u);
    r = run_regtool({"query", src.string(), "SELECT ЗУРТ.[Имя] FROM ЗУРТ WHERE Имя Like '%я1%'"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Имя1"), std::string::npos) << r.out;
    expect_sound(src);
    expect_sound(dst);
}

TEST(RegtoolBadFiles, EachCommandRefusesWithOneLine) {
    TempDir dir;
    std::vector<BadFile> files = bad_files(dir.path());
    const fs::path good = make_register(dir.path(), 2);
    const fs::path cut = truncated_registers(dir.path(), 60)[1];
    files.push_back({"truncated register", cut, ""});
    files.push_back({"database without ЗУРТ", database_without_register(dir.path()), ""});
    for (const BadFile& b : files) {
        SCOPED_TRACE(b.label);
        const std::string before = read_file(b.path);
        const std::vector<std::vector<std::string>> commands = {
            {"check", b.path.string()},
            {"export", b.path.string(), "ЗУРТ", "--csv"},
            {"query", b.path.string(), "SELECT * FROM ЗУРТ"},
            {"move", b.path.string(), good.string()},
        };
        for (const auto& args : commands) {
            RunResult r = run_regtool(args);
            if (args[0] == "check" && b.label == "database without ЗУРТ") {
                EXPECT_EQ(r.status, 0) << "a sound database, if not a register";
                EXPECT_EQ(r.out, "OK\n");
                continue;
            }
            EXPECT_EQ(r.status, 1) << args[0];
            EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << args[0] << ": " << r.err;
            EXPECT_EQ(r.err.rfind("regtool: ", 0), 0u) << r.err;
        }
        EXPECT_TRUE(read_file(b.path) == before);
    }
    EXPECT_EQ(rows_of(good).size(), 2u);
}

TEST(RegtoolBadFiles, SearchTexts) {
    TempDir dir;
    const fs::path db = make_register(dir.path(), 3);
    auto query = [&](const std::string& pattern) {
        return run_regtool({"query", db.string(), "SELECT ЗУРТ.[Имя] FROM ЗУРТ WHERE Имя Like '" + pattern + "'"});
    };
    EXPECT_EQ(query("%''%").status, 0);
    EXPECT_EQ(query("%[%]%").status, 0);
    EXPECT_EQ(query("Имя_").out.size(), query("Имя%").out.size());
    RunResult r = query("%[%");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("error 3"), std::string::npos) << r.err;
    r = query("%'%");  // the apostrophe ends the text: the rest is no statement
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("error 3"), std::string::npos) << r.err;
}

#endif

}  // namespace
