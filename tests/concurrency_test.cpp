// The three programs' work on one register at once, each in a process of its
// own: the importer's move bringing rows in again and again, the viewer's
// recordset stepping through the register setting and clearing photos, and
// the browser's search statement run over and over. Each runs a set number
// of rounds; afterwards no process failed, every file is sound, every row is
// in exactly one file, and the last photo the viewer stored for a row is the
// one the row holds.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <thread>
#include <map>
#include <set>
#include <sstream>

#include "dataaccess/connection.h"
#include "dataaccess/recordset.h"
#include "form1.h"
#include "jet/database.h"
#include "logic/register.h"
#include "bad_inputs_support.h"
#include "dataaccess/qt_text.h"

namespace {

using namespace testing_support;

constexpr int kInitialRows = 300;
constexpr int kSources = 12;
constexpr int kRowsPerSource = 150;  // one group of the move each
constexpr int kViewerPasses = 4;
constexpr int kViewerStride = 15;  // each Update is a group synced to disk
constexpr int kSearches = 25;

// The importer: every source moved into the register, one after another.
int importer(const fs::path& shared, const std::vector<fs::path>& sources) {
    for (const fs::path& src : sources) {
        RunResult r = run_regtool({"move", src.string(), shared.string()});
        if (r.status != 0) {
            std::fprintf(stderr, "move %s: %s\n", src.filename().c_str(), r.err.c_str());
            return 1;
        }
    }
    return 0;
}

// The viewer: passes over the register through its recordset, putting a photo
// into every 15th row or clearing it, each change stored by Update. The last
// value stored for each row goes to `log` as "marker<TAB>photo" lines.
int viewer(const fs::path& shared, const fs::path& log) {
    dataaccess::Connection cn;
    cn.Open(QString::fromStdString(reg::viewer_connection_string(shared.string())));
    std::map<std::string, std::string> last;
    for (int pass = 0; pass < kViewerPasses; ++pass) {
        dataaccess::Recordset rs;
        rs.setActiveConnection(&cn);
        rs.setSource(dataaccess::qt_text(reg::kSelectAll));
        rs.setCursorType(1);
        rs.setLockType(3);
        rs.Open();
        if (rs.RecordCount() < kInitialRows) return 2;
        rs.MoveFirst();
        for (int i = 0; !rs.Eof(); ++i, rs.MoveNext()) {
            const std::string marker = rs.fields().Item(14).Value().toString().toStdString();
            if (marker.empty()) return 3;
            if (i % kViewerStride != pass) continue;
            const std::string photo = pass % 2 ? std::string() : "foto\\p" + std::to_string(pass) + ".jpg";
            rs.fields().Item(static_cast<std::int16_t>(reg::kPhotoColumn)).setValue(QString::fromStdString(photo));
            rs.Update();
            last[marker] = photo;
        }
        rs.Close();
    }
    cn.Close();
    std::ofstream out(log);
    for (const auto& [marker, photo] : last) out << marker << '\t' << photo << '\n';
    return out.good() ? 0 : 4;
}

// The browser: its search statement, matching every row, through regtool
// query. Rows only ever arrive a whole group at a time, so each count must be
// the first count plus whole sources, never less than the one before.
int browser(const fs::path& shared) {
    const std::string statement = Form1::search_statement(QString(), QString()).toStdString();
    std::size_t previous = 0;
    for (int k = 0; k < kSearches; ++k) {
        RunResult r = run_regtool({"query", shared.string(), statement});
        if (r.status != 0) {
            std::fprintf(stderr, "query: %s\n", r.err.c_str());
            return 1;
        }
        const auto rows = static_cast<std::size_t>(std::count(r.out.begin(), r.out.end(), '\n'));
        if (rows < previous || rows < kInitialRows || (rows - kInitialRows) % kRowsPerSource != 0) {
            std::fprintf(stderr, "query saw %zu rows after %zu\n", rows, previous);
            return 2;
        }
        previous = rows;
    }
    return 0;
}

TEST(Concurrency, ImporterViewerAndBrowserOnOneRegister) {
    TempDir dir;
    const fs::path shared = make_register(dir.path(), kInitialRows);
    std::vector<fs::path> sources;
    for (int k = 0; k < kSources; ++k) {
        const int first = 10000 + k * kRowsPerSource;
        sources.push_back(make_register(dir.path(), kRowsPerSource, "src" + std::to_string(k) + ".mdb", first));
    }
    const fs::path log = dir / "viewer.log";

    const pid_t moving = spawn([&] { return importer(shared, sources); });
    const pid_t viewing = spawn([&] { return viewer(shared, log); });
    const pid_t searching = spawn([&] { return browser(shared); });
    ASSERT_GT(moving, 0);
    ASSERT_GT(viewing, 0);
    ASSERT_GT(searching, 0);
    EXPECT_EQ(exit_status(moving), 0) << "importer";
    EXPECT_EQ(exit_status(viewing), 0) << "viewer";
    EXPECT_EQ(exit_status(searching), 0) << "browser";

    std::vector<fs::path> files = sources;
    files.push_back(shared);
    for (const fs::path& db : files) {
        expect_sound(db);
        EXPECT_FALSE(fs::exists(journal_of(db))) << db.filename();
    }

    // Every row in exactly one file: here all of them in the register.
    std::multiset<std::string> markers;
    std::map<std::string, std::string> photos;
    for (const fs::path& db : files) {
        for (const Row& r : register_rows(db)) {
            const std::string marker = std::get<std::string>(r[14]);
            markers.insert(marker);
            const auto* photo = std::get_if<std::string>(&r[24]);
            photos[marker] = photo ? *photo : std::string("<null>");
        }
    }
    std::multiset<std::string> want;
    for (int i = 0; i < kInitialRows; ++i) want.insert("M" + std::to_string(i));
    for (int i = 10000; i < 10000 + kSources * kRowsPerSource; ++i) want.insert("M" + std::to_string(i));
    EXPECT_EQ(markers, want);
    EXPECT_EQ(register_rows(shared).size(), want.size());
    for (const fs::path& src : sources) EXPECT_TRUE(register_rows(src).empty()) << src.filename();

    // The viewer's last stored photo for each row it touched, and no other changes.
    std::ifstream in(log);
    std::string line;
    std::size_t touched = 0;
    while (std::getline(in, line)) {
        const auto tab = line.find('\t');
        ASSERT_NE(tab, std::string::npos) << line;
        const std::string marker = line.substr(0, tab);
        EXPECT_EQ(photos[marker], line.substr(tab + 1)) << marker;
        photos.erase(marker);
        ++touched;
    }
    EXPECT_GE(touched, static_cast<std::size_t>(kInitialRows / kViewerStride));
    for (const auto& [marker, photo] : photos) EXPECT_EQ(photo, "<null>") << marker << " was never touched by the viewer";
}

// A move running in a process of its own, killed if the test leaves early.
class MoveInAnotherProcess {
public:
    MoveInAnotherProcess(const fs::path& from, const fs::path& to, int group)
        : child_(start_regtool({"move", from.string(), to.string(), "--group", std::to_string(group)})) {}
    bool running() { return !child_.finished(); }
    // Waits for its end: its exit status, -1 when it died by a signal.
    int finish() { return child_.wait(); }

private:
    sys::Child child_;  // killed if still running when it goes
};

std::size_t row_count(const fs::path& db) {
    jet::Database d(db.string());
    return d.table("ЗУРТ").row_ids().size();
}

// A long move in another process, in groups of twenty rows, and this process
// meanwhile reading both of its files and inserting a row into each, again
// and again, with the usual lock wait: each waits for a group of the move at
// most, never until it is refused as in use, and in the end every row is in
// one file once, those inserted meanwhile too.
TEST(Concurrency, WritersGetInBetweenTheGroupsOfAMove) {
    TempDir dir;
    constexpr int kRows = 2000;
    constexpr int kWrites = 5;
    const fs::path src = make_register(dir.path(), kRows, "src.mdb");
    const fs::path dst = make_register(dir.path(), 0, "dst.mdb");
    ASSERT_EQ(jet::Database(src.string()).lock_wait(), std::chrono::seconds(5));
    MoveInAnotherProcess move(src, dst, 20);
    const auto given_up = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    while (move.running() && row_count(dst) == 0 && std::chrono::steady_clock::now() < given_up) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ASSERT_TRUE(move.running()) << "the move ended before its first group was seen";
    ASSERT_GT(row_count(dst), 0u) << "no group of the move arrived";
    std::set<std::string> inserted;
    for (int k = 0; k < kWrites; ++k) {
        for (const fs::path& db : {src, dst}) {
            const int n = (db == src ? 100000 : 200000) + k;
            try {
                (void)row_count(db);
                change_table(db, [&](jet::TableWriter& t) {
                    Row row = person(n);
                    t.insert(row);
                });
                inserted.insert("M" + std::to_string(n));
            } catch (const jet::Error& e) {
                ADD_FAILURE() << "write " << k << " into " << db.filename() << ": " << e.what();
            }
        }
    }
    EXPECT_TRUE(move.running()) << "the move ended before the writes did: they met no move";
    EXPECT_EQ(move.finish(), 0);
    EXPECT_EQ(inserted.size(), 2u * kWrites);
    // The move took the rows the source had when it began; those inserted
    // into the source later stay there.
    std::multiset<std::string> markers;
    for (const fs::path& db : {src, dst}) {
        for (const Row& r : register_rows(db)) markers.insert(std::get<std::string>(r[14]));
        expect_sound(db);
    }
    std::multiset<std::string> want(inserted.begin(), inserted.end());
    for (int i = 0; i < kRows; ++i) want.insert("M" + std::to_string(i));
    EXPECT_EQ(markers, want);
    EXPECT_EQ(register_rows(src).size(), static_cast<std::size_t>(kWrites));
}

}  // namespace
