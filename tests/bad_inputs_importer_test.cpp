// Bad files and bad inputs met through the importer's window, and through
// regtool where the command line is the natural door: every one ends in a
// clear outcome, and none ends the program or damages a file.
#include <gtest/gtest.h>

#include <optional>

#include "bad_inputs_support.h"
#include "form1.h"
#include "window_steps.h"

namespace {

using namespace testing_support;

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

// Another writer holding the destination's lock: an import behind a lock held
// too long says so and moves nothing; one the writer lets go in time waits.
TEST(ImporterBadFiles, ImportTellsOfALongLockAndWaitsForAShortOne) {
    Seams s;
    TempDir dir;
    const fs::path src = make_register(dir.path(), 20, "src.mdb");
    const fs::path dst = make_register(dir.path(), 2, "dst.mdb", 100);
    Form1 f;
    choose(f, s, src, dst);
    {
        ShortLockWait short_wait;
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
    s.messages.clear();
    OtherWriter other(dst, 501);
    ASSERT_TRUE(other.holds_lock());
    ReleaseWhenWaitedFor release(other);
    f.imp_Click();
    EXPECT_TRUE(release.waited());
    EXPECT_EQ(other.finish(), 0);
    EXPECT_TRUE(s.messages.empty());
    std::set<std::string> want{"M100", "M101", "M500", "M501"};
    for (int i = 0; i < 20; ++i) want.insert("M" + std::to_string(i));
    EXPECT_EQ(markers_of(dst), want);
    EXPECT_TRUE(register_rows(src).empty());
    expect_sound(src);
    expect_sound(dst);
}

TEST(ImporterBadFiles, StrayJournalOnEitherSideMovesNothing) {
    Seams s;
    TempDir dir;
    const fs::path src = make_register(dir.path(), 5, "src.mdb");
    const fs::path dst = make_register(dir.path(), 1, "dst.mdb", 100);
    const std::string src_before = read_file(src), dst_before = read_file(dst);
    Form1 f;
    for (const fs::path& blocked : {src, dst}) {
        write_file(journal_of(blocked), "not a journal");
        choose(f, s, src, dst);
        f.imp_Click();
        ASSERT_EQ(s.messages.size(), 1u);
        EXPECT_TRUE(s.messages[0].startsWith("Ошибка 3734")) << s.messages[0].toStdString();
        EXPECT_TRUE(s.messages[0].contains(q(blocked.filename()))) << "the file is named";
        s.messages.clear();
        EXPECT_TRUE(read_file(src) == src_before);
        EXPECT_TRUE(read_file(dst) == dst_before);
        fs::remove(journal_of(blocked));
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
    EXPECT_TRUE(register_rows(src).empty());
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
    EXPECT_EQ(register_rows(good).size(), 2u);
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

}  // namespace
