// What lies beside or around a register cannot damage it: journals of other
// files or damaged ones, links, FIFOs, a file removed or replaced under a
// writer, and another program's lock.
#include <gtest/gtest.h>

#include <QString>
#include <chrono>
#include <condition_variable>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <thread>
#include <sys/resource.h>
#include <sys/stat.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "dataaccess/connection.h"
#include "dataaccess/error.h"
#include "jet/check.h"
#include "jet/database.h"
#include "table/database_insides.h"
#include "jet/pending_move.h"
#include "storage/page_file.h"
#include "mdb_export_compare.h"
#include "logic/move.h"
#include "logic/register.h"
#include "support.h"
#include "dataaccess/move.h"

namespace {

using namespace testing_support;
namespace faults = jet::faults;

const char kTable[] = "ЗУРТ";

std::size_t rows_in(const fs::path& db) { return register_rows(db).size(); }

void insert_one(const fs::path& db, int i) {
    change_table(db, [i](jet::TableWriter& t) {
        Row v = person(i);
        t.insert(v);
    });
}

// Steps of a commit: the journal made (1), written (2), synced (3), marked
// complete (4), synced (5), its folder synced (6); then the pages.
constexpr std::uint64_t kFirstPageWritten = 7;

// Five rows inserted into db in one group, under the plan.
void insert_five(const fs::path& db, faults::Plan& plan) {
    jet::Database d(db.string());
    PlanInForce in_force(plan);
    jet::WriteGroup g(d);
    for (int i = 0; i < 5; ++i) {
        Row v = person(900 + i);
        g.table(kTable).insert(v);
    }
    g.commit();
}

// A writer of db dies at step `at` of inserting those rows (through `via`, db itself unless given).
void die_inserting(const fs::path& db, std::uint64_t at, const fs::path& via = {}) {
    faults::Plan stop{faults::Mode::Stop, at};
    try {
        insert_five(via.empty() ? db : via, stop);
        ADD_FAILURE() << "the writer did not die";
    } catch (const faults::Stopped&) {
    }
}

// The steps of inserting those rows, counted.
std::uint64_t steps_of_inserting(const fs::path& db) {
    TempDir dir;
    fs::path copy = dir / "count.mdb";
    fs::copy_file(db, copy);
    faults::Plan count;
    insert_five(copy, count);
    return count.steps;
}

// Whether writing to db is refused as the kind says, the file left as it was.
void expect_write_refused(const fs::path& db, jet::ErrorKind kind) {
    const std::string before = read_file(db);
    const jet::Error e = jet_error_of([&] { insert_one(db, 777); }, "the write went through");
    EXPECT_EQ(e.kind(), kind) << e.what();
    EXPECT_TRUE(read_file(db) == before) << "the file changed";
}

TEST(Journal, AnotherFilesJournalIsNeverAppliedNorRemoved) {
    TempDir dir;
    const fs::path a = write_register(dir / "a.mdb", 300, person);
    const fs::path b = write_register(dir / "b.mdb", 7, person);
    die_inserting(b, kFirstPageWritten + 3);
    ASSERT_TRUE(fs::exists(journal_of(b)));
    // A copy of b with its journal, in another folder: recovered as b would be.
    fs::create_directories(dir / "copy");
    fs::copy_file(b, dir / "copy" / "b.mdb");
    fs::copy_file(journal_of(b), journal_of(dir / "copy" / "b.mdb"));
    // b's journal left beside a.
    fs::copy_file(journal_of(b), journal_of(a));
    const std::string a_bytes = read_file(a), journal_bytes = read_file(journal_of(a));

    RunResult r = run_regtool({"export", a.string(), kTable, "--jsonl"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(lines(r.out).size(), 300u) << "every row read";
    EXPECT_NE(r.err.find("warning"), std::string::npos) << r.err;
    r = run_regtool({"insert", a.string(), kTable});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("refused"), std::string::npos) << r.err;
    r = run_regtool({"check", a.string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("changes are refused"), std::string::npos) << r.out;
    EXPECT_TRUE(read_file(a) == a_bytes) << "the register changed";
    EXPECT_TRUE(read_file(journal_of(a)) == journal_bytes) << "the journal beside it changed or went";
    {
        dataaccess::Connection c;
        c.Open(QString::fromStdString(reg::viewer_connection_string(a.string())));
        EXPECT_TRUE(c.Warning().contains(QStringLiteral("не является ее журналом"))) << c.Warning().toStdString();
    }

    // Its own file, and the copy taken with the journal, are put back.
    for (const fs::path& own : {b, dir / "copy" / "b.mdb"}) {
        EXPECT_EQ(rows_in(own), 7u) << own;
        EXPECT_FALSE(fs::exists(journal_of(own)));
        jet::Database d(own.string());
        EXPECT_TRUE(jet::check_database(d).empty());
        EXPECT_TRUE(d.journal_warning().empty());
    }
    // Moved away, the stray journal no longer stands in the way.
    fs::rename(journal_of(a), dir / "kept-aside");
    insert_one(a, 301);
    EXPECT_EQ(rows_in(a), 301u);
}

TEST(Journal, DamagedOrCutJournalBesideATornFileIsKept) {
    TempDir dir;
    const fs::path pristine = write_register(dir / "pristine.mdb", 12, person);
    const fs::path db = dir / "torn.mdb";
    fs::copy_file(pristine, db);
    die_inserting(db, kFirstPageWritten + 1);  // the second page of the group half written
    const std::string torn = read_file(db), journal = read_file(journal_of(db));
    ASSERT_FALSE(torn == read_file(pristine));
    std::string flipped = journal;
    flipped[journal.size() / 2] = static_cast<char>(flipped[journal.size() / 2] ^ 0x40);
    for (const std::string& bad : {flipped, journal.substr(0, journal.size() - 1000)}) {
        write_file(db, torn);
        write_file(journal_of(db), bad);
        try {
            jet::Database d(db.string());
            EXPECT_FALSE(d.journal_warning().empty());
        } catch (const jet::Error& e) {
            EXPECT_EQ(e.kind(), jet::ErrorKind::Damaged) << e.what();  // a torn file may not read: said so
        }
        expect_write_refused(db, jet::ErrorKind::StrayJournal);
        EXPECT_TRUE(read_file(db) == torn);
        EXPECT_TRUE(read_file(journal_of(db)) == bad) << "the journal was changed or removed";
    }
    // The journal as it was written puts the file back.
    write_file(journal_of(db), journal);
    EXPECT_TRUE(register_rows(db) == register_rows(pristine));
    EXPECT_FALSE(fs::exists(journal_of(db)));
}

TEST(Journal, ThroughALinkTheRealFilesJournal) {
    TempDir dir;
    const fs::path a = write_register(dir / "a.mdb", 5, person);
    const fs::path link = dir / "link.mdb";
    fs::create_symlink(a, link);
    // A writer through the link dies with every page written, before it marks the group finished.
    die_inserting(a, steps_of_inserting(a) - 2, link);
    EXPECT_TRUE(fs::exists(journal_of(a)));
    EXPECT_FALSE(fs::exists(journal_of(link)));
    for (int i = 0; i < 3; ++i) insert_one(a, 100 + i);  // the first puts the dead writer's group back
    EXPECT_EQ(rows_in(link), 8u) << "rows committed through the real name are kept";
    EXPECT_EQ(rows_in(a), 8u);

    // A file with several names is read, never written.
    const fs::path hard = dir / "hard.mdb";
    fs::create_hard_link(a, hard);
    EXPECT_EQ(rows_in(hard), 8u);
    expect_write_refused(hard, jet::ErrorKind::Linked);
    expect_write_refused(a, jet::ErrorKind::Linked);
    fs::remove(hard);
    insert_one(a, 200);
    EXPECT_EQ(rows_in(link), 9u);
}

TEST(Journal, FifosNeitherHangNorBlock) {
    TempDir dir;
    const fs::path a = write_register(dir / "a.mdb", 4, person);
    ASSERT_EQ(::mkfifo(journal_of(a).c_str(), 0644), 0);
    auto regtool = [](std::vector<std::string> args) {
        args.insert(args.begin(), {"timeout", "60", REGTOOL_PATH});
        return run(args);
    };
    RunResult r = regtool({"export", a.string(), kTable, "--csv"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(lines(r.out).size(), 5u);
    EXPECT_NE(r.err.find("FIFO"), std::string::npos) << r.err;
    r = regtool({"insert", a.string(), kTable});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(regtool({"check", a.string()}).status, 1);
    // No lock is left behind: with the FIFO gone, writes go on.
    fs::remove(journal_of(a));
    insert_one(a, 9);
    EXPECT_EQ(rows_in(a), 5u);

    const fs::path fifo = dir / "f.mdb";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    for (const char* cmd : {"check", "tables", "export"}) {
        std::vector<std::string> args{cmd, fifo.string()};
        if (std::string(cmd) == "export") args.insert(args.end(), {kTable, "--csv"});
        r = regtool(args);
        EXPECT_EQ(r.status, 1) << cmd << ": " << r.err;
        EXPECT_NE(r.err.find("not a regular file"), std::string::npos) << r.err;
    }
}

long peak_kilobytes() {
    struct rusage u {};
    ::getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

TEST(Journal, SizesInAJournalAreNotTrusted) {
    TempDir dir;
    const fs::path a = write_register(dir / "a.mdb", 20, person);
    // 1.5 GB of nothing where the journal goes.
    {
        int fd = ::open(journal_of(a).c_str(), O_WRONLY | O_CREAT, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, 1536LL << 20), 0);
        ::close(fd);
    }
    const long before = peak_kilobytes();
    {
        jet::Database d(a.string());
        EXPECT_FALSE(d.journal_warning().empty());
        EXPECT_EQ(rows_in(a), 20u);
    }
    EXPECT_LT(peak_kilobytes() - before, 200L * 1024) << "the journal's length was taken for memory";
    EXPECT_EQ(fs::file_size(journal_of(a)), 1536ULL << 20) << "the journal was removed or changed";
    // A header counting more pages than the journal holds.
    std::string header(64, '\0');
    header.replace(0, 8, "ZRJOURN2");
    header[8] = 1;                                    // complete
    header[12] = '\xFF', header[13] = '\xFF', header[14] = '\x7F';  // pages in it
    header[16] = '\xFF', header[17] = '\xFF', header[18] = '\x7F';  // pages before
    write_file(journal_of(a), header);
    {
        jet::Database d(a.string());
        EXPECT_NE(d.journal_warning().find("header counts"), std::string::npos) << d.journal_warning();
    }
    expect_write_refused(a, jet::ErrorKind::StrayJournal);
    EXPECT_EQ(read_file(journal_of(a)), header);
}

TEST(Journal, NeverMadeThroughALink) {
    TempDir dir;
    const fs::path a = write_register(dir / "a.mdb", 3, person);
    fs::create_directories(dir / "elsewhere");
    const fs::path target = dir / "elsewhere" / "target";
    fs::create_symlink(target, journal_of(a));
    expect_write_refused(a, jet::ErrorKind::StrayJournal);
    EXPECT_FALSE(fs::exists(target)) << "the link's target was made";
    RunResult r = run_regtool({"export", a.string(), kTable, "--csv"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("symbolic link"), std::string::npos) << r.err;
}

TEST(Journal, TakesTheDatabasesModeAndOwner) {
    TempDir dir;
    const fs::path a = write_register(dir / "a.mdb", 3, person);
    ::chmod(a.c_str(), 0664);
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(a.c_str(), 4321, 4321), 0);
    }
    const mode_t old_mask = ::umask(022);
    die_inserting(a, kFirstPageWritten);
    ::umask(old_mask);
    struct stat st {};
    ASSERT_EQ(::stat(journal_of(a).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0664u) << "another operator could not put the file back";
    if (root) {
        EXPECT_EQ(st.st_uid, 4321u);
        EXPECT_EQ(st.st_gid, 4321u);
    }
    EXPECT_EQ(rows_in(a), 3u);
}

TEST(Journal, FileRemovedOrReplacedUnderAWriter) {
    TempDir dir;
    const fs::path a = write_register(dir / "a.mdb", 3, person);
    const fs::path other = write_register(dir / "other.mdb", 2, person);
    const std::string other_bytes = read_file(other);
    {
        jet::Database d(a.string());
        jet::WriteGroup g(d);
        Row v = person(50);
        g.table(kTable).insert(v);
        fs::rename(other, a);  // another file put in its place
        const jet::Error e = jet_error_of([&] { g.commit(); }, "the group went into a file no program finds");
        EXPECT_EQ(e.kind(), jet::ErrorKind::Replaced) << e.what();
    }
    EXPECT_TRUE(read_file(a) == other_bytes);
    EXPECT_FALSE(fs::exists(journal_of(a)));

    // The destination removed in the middle of a move: the move stops and
    // the source keeps every row not yet moved.
    const fs::path src = write_register(dir / "src.mdb", 7, person);
    const fs::path dst = write_register(dir / "dst.mdb", 0, person);
    reg::MoveOptions options;
    options.group_rows = 3;
    options.progress = [&](std::size_t) { fs::remove(dst); };
    try {
        dataaccess::move_register(QString::fromStdString(src.string()), QString::fromStdString(dst.string()), options);
        ADD_FAILURE() << "the move reported success";
    } catch (const dataaccess::DataError& e) {
        EXPECT_EQ(e.number(), dataaccess::errc::kFileNotFound);
        EXPECT_TRUE(e.description().contains(QStringLiteral("удален или заменен"))) << e.description().toStdString();
    }
    EXPECT_EQ(rows_in(src), 4u) << "rows left the source for a removed file";
    // The group went nowhere: its record is taken back, and the source takes writes.
    EXPECT_FALSE(fs::exists(jet::pending_move_path(fs::canonical(src).string())));
    change_table(src, [](jet::TableWriter& t) { t.remove(t.rows_with({"номер"}, {std::int64_t{7}}).at(0)); });
    EXPECT_EQ(rows_in(src), 3u);
}

// Another program's lock: a writer waits for a group the other lets go in
// time, and gives up on one it holds too long. The windows pass both on
// (see their bad-input suites).
TEST(Journal, LockWaitsAreBounded) {
    TempDir dir;
    const fs::path a = write_register(dir / "a.mdb", 3, person);
    {
        OtherWriter other(a, 100);
        ASSERT_TRUE(other.holds_lock());
        ReleaseWhenWaitedFor release(other);
        insert_one(a, 101);
        EXPECT_TRUE(release.waited());
        EXPECT_EQ(other.finish(), 0);
        EXPECT_EQ(rows_in(a), 5u) << "both writers' rows are kept";
    }
    jet::Database holder(a.string());
    jet::WriteGroup held(holder);  // another program's group, open
    const auto start = std::chrono::steady_clock::now();
    const jet::Error e = jet_error_of([&] { jet::Database d(a.string(), std::chrono::milliseconds(200)); },
                                      "read under another program's write lock");
    EXPECT_EQ(e.kind(), jet::ErrorKind::Busy) << e.what();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
    dataaccess::Connection c;
    c.set_lock_wait(std::chrono::milliseconds(200));
    try {
        c.Open(QString::fromStdString(reg::viewer_connection_string(a.string())));
        ADD_FAILURE() << "opened under another program's write lock";
    } catch (const dataaccess::DataError& e) {
        EXPECT_EQ(e.number(), dataaccess::errc::kLocked);
        EXPECT_TRUE(e.description().contains(QStringLiteral("занята другой программой"))) << e.description().toStdString();
    }
    // A writer behind a reader is refused likewise.
    held.commit();
    jet::Database reader(a.string());
    jet::FileLock reading(jet::file_of(reader), false);
    jet::Database writer(a.string(), std::chrono::milliseconds(200));
    EXPECT_EQ(jet_error_of([&] { jet::WriteGroup g(writer); }, "wrote under another program's read lock").kind(), jet::ErrorKind::Busy);
}

// A program that takes the file group after group lets a waiting one in
// between two groups: once it has let go, it waits until the waiting reader,
// then the waiting writer, holds the lock, instead of taking it again at
// once. With nobody waiting it goes on at once.
TEST(Journal, WaitingProgramsGoBeforeTheNextGroup) {
    TempDir dir;
    const fs::path a = write_register(dir / "a.mdb", 3, person);
    jet::Database mover(a.string());
    for (const bool exclusive : {false, true}) {
        SCOPED_TRACE(exclusive ? "a writer waits" : "a reader waits");
        jet::Database other(a.string(), std::chrono::minutes(2));
        if (exclusive) jet::file_of(other).enable_writes();
        std::optional<jet::WriteGroup> group(std::in_place, mover);
        std::mutex m;
        std::condition_variable changed;
        bool waits = false, go = false;
        faults::set_lock_wait_hook([&] {
            std::lock_guard lock(m);
            waits = true;
            changed.notify_all();
        });
        std::thread waiting([&] {
            jet::FileLock lock(jet::file_of(other), exclusive);
            std::unique_lock hold(m);
            changed.wait(hold, [&] { return go; });
        });
        {
            std::unique_lock lock(m);
            changed.wait(lock, [&] { return waits; });
        }
        faults::set_lock_wait_hook(nullptr);
        group.reset();
        mover.let_waiting_programs_in(std::chrono::minutes(2));
        mover.set_lock_wait(std::chrono::milliseconds(0));
        EXPECT_EQ(jet_error_of([&] { jet::WriteGroup g(mover); }, "took the file again before the waiting program").kind(),
                  jet::ErrorKind::Busy);
        {
            std::lock_guard lock(m);
            go = true;
        }
        changed.notify_all();
        waiting.join();
        mover.set_lock_wait(std::chrono::seconds(5));
    }
    const auto start = std::chrono::steady_clock::now();
    mover.let_waiting_programs_in(std::chrono::minutes(2));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60)) << "waited with nobody waiting";
    insert_one(a, 10);
    EXPECT_EQ(rows_in(a), 4u);
}

// A group of a move that lasts longer than another program's lock wait does
// not refuse that program: the move takes turns, and the other waits longer
// for its turn (as long as twelve of its waits). Without turns, it gives up.
TEST(Journal, AGroupLongerThanTheWaitDoesNotRefuseOthers) {
    TempDir dir;
    const fs::path a = write_register(dir / "a.mdb", 3, person);
    constexpr auto kWait = std::chrono::milliseconds(200);
    for (const bool turns : {false, true}) {
        SCOPED_TRACE(turns ? "taking turns" : "holding the file");
        jet::Database mover(a.string());
        jet::Database other(a.string(), kWait);
        jet::file_of(other).enable_writes();
        std::optional<jet::WriteGroup> group(std::in_place, mover);
        if (turns) mover.take_turns();
        // The group ends once the other has waited past its own wait.
        std::mutex m;
        std::condition_variable changed;
        bool past = false;
        const auto start = std::chrono::steady_clock::now();
        faults::set_lock_wait_hook([&] {
            if (std::chrono::steady_clock::now() - start < 2 * kWait) return;
            std::lock_guard lock(m);
            past = true;
            changed.notify_all();
        });
        std::thread ender([&] {
            std::unique_lock lock(m);
            changed.wait(lock, [&] { return past; });
            group.reset();
        });
        auto insert = [&] {
            jet::WriteGroup g(other);
            Row v = person(20);
            g.table(kTable).insert(v);
            g.commit();
        };
        if (turns) {
            EXPECT_NO_THROW(insert());
        } else {
            EXPECT_EQ(jet_error_of(insert, "waited past its lock wait").kind(), jet::ErrorKind::Busy);
            std::lock_guard lock(m);
            past = true;
            changed.notify_all();
        }
        ender.join();
        faults::set_lock_wait_hook(nullptr);
    }
    EXPECT_EQ(rows_in(a), 4u);
}

// A program of an older version, in a process of its own: it tries a lock
// of this type on the whole file, tells whether it got it, and keeps it until
// it is killed.
struct OlderVersion {
    pid_t pid = -1;
    bool locked = false;
    OlderVersion(const fs::path& db, short type) {
        int ready[2];
        if (::pipe(ready) != 0) return;
        pid = ::fork();
        if (pid == 0) {
            const int fd = ::open(db.c_str(), O_RDWR);
            struct flock fl {};
            fl.l_type = type;
            fl.l_whence = SEEK_SET;  // from 0 with length 0: the whole file
            const char c = ::fcntl(fd, F_SETLK, &fl) == 0 ? 1 : 0;
            if (::write(ready[1], &c, 1) != 1) ::_exit(2);
            ::pause();
            ::_exit(0);
        }
        char c = 0;
        locked = pid > 0 && ::read(ready[0], &c, 1) == 1 && c == 1;
        ::close(ready[0]);
        ::close(ready[1]);
    }
    ~OlderVersion() {
        if (pid <= 0) return;
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
    OlderVersion(const OlderVersion&) = delete;
    OlderVersion& operator=(const OlderVersion&) = delete;
};

// An older version's lock on the whole file and ours still exclude each
// other, both ways; our wait behind its lock goes on without the mark of a
// waiting program, which its lock covers.
TEST(Journal, AnOlderVersionsLockOnTheWholeFileStillCounts) {
    TempDir dir;
    const fs::path a = write_register(dir / "a.mdb", 3, person);
    {
        OlderVersion writing(a, F_WRLCK);
        ASSERT_TRUE(writing.locked);
        EXPECT_EQ(jet_error_of([&] { jet::Database d(a.string(), std::chrono::milliseconds(200)); }, "read under the older write lock").kind(),
                  jet::ErrorKind::Busy);
    }
    jet::Database d(a.string());
    {
        jet::WriteGroup g(d);
        OlderVersion reading(a, F_RDLCK);
        EXPECT_FALSE(reading.locked) << "the older version read under our write lock";
    }
    OlderVersion reading(a, F_RDLCK);
    ASSERT_TRUE(reading.locked);
    d.set_lock_wait(std::chrono::milliseconds(200));
    EXPECT_EQ(jet_error_of([&] { jet::WriteGroup g(d); }, "wrote under the older read lock").kind(), jet::ErrorKind::Busy);
}

// Access on the same register: its lock file beside it, or a byte range of
// the file locked by another program (as Access's locks arrive through a
// file server): no change is made, and the message says why.
TEST(Journal, AccessOrAnotherProgramsLockRefusesWrites) {
    TempDir dir;
    const fs::path a = write_register(dir / "a.mdb", 3, person);
    write_file(dir / "a.ldb", "");
    const jet::Error e = jet_error_of([&] { insert_one(a, 10); }, "written while open in Access");
    EXPECT_EQ(e.kind(), jet::ErrorKind::Busy);
    EXPECT_EQ(e.reason(), jet::Reason::OpenInAccess);
    const QString said = dataaccess::Connection::error_for(e, QString::fromStdString(a.string())).description();
    EXPECT_TRUE(said.contains(QStringLiteral("открыта в Access"))) << said.toStdString();
    EXPECT_TRUE(said.contains(QStringLiteral("«a.ldb»"))) << said.toStdString();
    EXPECT_EQ(rows_in(a), 3u) << "reading goes on";
    fs::remove(dir / "a.ldb");
    insert_one(a, 11);
    EXPECT_EQ(rows_in(a), 4u);

    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t other = ::fork();
    ASSERT_GE(other, 0);
    if (other == 0) {
        // A classic lock on one byte far past the data, where Jet keeps its lock bytes.
        int fd = ::open(a.c_str(), O_RDWR);
        struct flock fl {};
        fl.l_type = F_WRLCK;
        fl.l_whence = SEEK_SET;
        fl.l_start = 0x10000000;
        fl.l_len = 1;
        const char c = ::fcntl(fd, F_SETLK, &fl) == 0 ? 1 : 0;
        if (::write(ready[1], &c, 1) != 1) ::_exit(2);
        ::sleep(3);
        ::_exit(0);
    }
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    ASSERT_EQ(c, 1);
    const std::string before = read_file(a);
    const jet::Error locked = jet_error_of(
        [&] {
            jet::Database d(a.string(), std::chrono::milliseconds(200));
            jet::WriteGroup g(d);
        },
        "written under another program's lock");
    EXPECT_EQ(locked.kind(), jet::ErrorKind::Busy) << locked.what();
    EXPECT_TRUE(read_file(a) == before);
    ::kill(other, SIGKILL);
    ::waitpid(other, nullptr, 0);
}

// Access names its lock file after the name it opened the register by, and
// Windows finds a name whatever its letter case: such a lock file beside the
// register, or beside the link the register was opened through, refuses
// writes as well. A lock file of another name does not.
TEST(Journal, AccessLockFileIsFoundAsWindowsFindsIt) {
    TempDir dir;
    auto expect_refused_by = [](const fs::path& db, const fs::path& ldb) {
        SCOPED_TRACE(db.filename().string() + " beside " + ldb.string());
        write_file(ldb, "");
        const jet::Error e = jet_error_of([&] { insert_one(db, 10); }, "written while open in Access");
        EXPECT_EQ(e.kind(), jet::ErrorKind::Busy) << e.what();
        EXPECT_EQ(e.reason(), jet::Reason::OpenInAccess);
        EXPECT_EQ(e.subject(), ldb.string());
        fs::remove(ldb);
    };
    auto expect_taken_beside = [](const fs::path& db, const std::vector<fs::path>& others) {
        for (const fs::path& p : others) write_file(p, "");
        const std::size_t before = rows_in(db);
        insert_one(db, 11);
        EXPECT_EQ(rows_in(db), before + 1) << db.filename();
        for (const fs::path& p : others) fs::remove(p);
    };

    const fs::path reg = write_register(dir / "Reg.mdb", 3, person);
    for (const char* name : {"reg.ldb", "REG.ldb", "Reg.Ldb", "rEG.LDB"}) expect_refused_by(reg, dir / name);
    expect_taken_beside(reg, {dir / "Reg2.ldb", dir / "Re.ldb", dir / "Reg.mdb.ldb", dir / "Reg.ldb.bak", dir / "Reg.ld"});

    const fs::path cyrillic = write_register(dir / "Реестр.mdb", 3, person);
    expect_refused_by(cyrillic, dir / "реестр.ldb");
    expect_refused_by(cyrillic, dir / "РЕЕСТР.LDB");
    expect_taken_beside(cyrillic, {dir / "Реестры.ldb", dir / "Ресстр.ldb"});

    // Opened through a link in another folder: beside the link, after the
    // link's name; and beside the real file, after its own.
    fs::create_directory(dir / "elsewhere");
    const fs::path link = dir / "elsewhere" / "link.mdb";
    fs::create_symlink(reg, link);
    expect_refused_by(link, dir / "elsewhere" / "link.ldb");
    expect_refused_by(link, dir / "elsewhere" / "LINK.Ldb");
    expect_refused_by(link, dir / "reg.ldb");
    expect_taken_beside(link, {dir / "elsewhere" / "Reg.ldb", dir / "link.ldb"});

    // A name that is no UTF-8 (é in Latin-1) cannot come from Windows: its
    // bytes must agree, the case of ASCII letters aside.
    const fs::path latin1 = write_register(dir / "Caf\xE9.mdb", 3, person);
    expect_refused_by(latin1, dir / "CAF\xE9.ldb");
    expect_taken_beside(latin1, {dir / "Caf\xE8.ldb", dir / "Caf\xC9.ldb"});
}

}  // namespace

// A group that changes much of a register has its journal written a stretch
// at a time; cut at any of those steps, or at the journal's end, the register
// comes back whole, and the rows it held are all there.
TEST(Journal, ALargeGroupsJournalCutAnywhereLeavesTheRegisterWhole) {
    TempDir dir;
    constexpr std::size_t kRows = 6000;
    const fs::path pristine = write_register(dir / "pristine.mdb", kRows, person);
    const std::string before = read_file(pristine);
    auto delete_all = [&](const fs::path& db) {
        jet::Database d(db.string());
        const std::vector<jet::RowId> ids = d.table(kTable).row_ids();
        jet::WriteGroup g(d);
        for (jet::RowId id : ids) g.table(kTable).remove(id);
        g.commit();
    };
    const fs::path counted = dir / "counted.mdb";
    fs::copy_file(pristine, counted);
    faults::Plan count;
    {
        PlanInForce in_force(count);
        delete_all(counted);
    }
    ASSERT_EQ(rows_in(counted), 0u);
    // The journal's steps come first: made, its header, its stretches (some
    // twenty here), the checksum, synced, complete, synced, its folder synced;
    // then the pages. Cut at points through all of them.
    ASSERT_GT(count.steps, 30u) << "the journal was written in stretches";
    struct Cut {
        faults::Mode mode;
        std::uint64_t at;
    };
    const Cut cuts[] = {{faults::Mode::Stop, 1},      {faults::Mode::Stop, 2},      {faults::Mode::Stop, 3},
                        {faults::Mode::Stop, 12},     {faults::Mode::Stop, 21},     {faults::Mode::Stop, 23},
                        {faults::Mode::Stop, 25},     {faults::Mode::Stop, 27},     {faults::Mode::Stop, 30},
                        {faults::Mode::PowerCut, 3},  {faults::Mode::PowerCut, 21}, {faults::Mode::PowerCut, 25},
                        {faults::Mode::PowerCut, 30}};
    for (const auto [mode, at] : cuts) {
        const fs::path db = dir / "cut.mdb";
        write_file(db, before);
        fs::remove(journal_of(db));
        faults::Plan stop{mode, at};
        try {
            PlanInForce in_force(stop);
            delete_all(db);
            ADD_FAILURE() << "the group was not cut at step " << at;
        } catch (const faults::Stopped&) {
        }
        SCOPED_TRACE(mode == faults::Mode::Stop ? "stopped" : "power cut");
        ASSERT_EQ(rows_in(db), kRows) << "cut at step " << at;
        EXPECT_FALSE(fs::exists(journal_of(db))) << "cut at step " << at;
        EXPECT_TRUE(read_file(db) == before) << "cut at step " << at;
        jet::Database d(db.string());
        EXPECT_TRUE(jet::check_database(d).empty()) << "cut at step " << at;
    }
}
