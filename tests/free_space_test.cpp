// The space of a register over a long life: rows moved out and back in many
// times leave both files near their first size, compacting gives back what is
// left over (and, killed or stopped, leaves nothing that passes for a copy),
// the format's size limit stops a write cleanly, and values Access cannot
// hold are refused.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <optional>

#include <QString>

#include "jet/compact.h"
#include "jet/create.h"
#include "jet/database.h"
#include "storage/free_pages.h"
#include "mdb_export_compare.h"
#include "logic/move.h"
#include "support.h"
#include "dataaccess/move.h"

namespace {

using namespace testing_support;

Row person(int i) {
    Row v(26, jet::Null{});
    v[1] = "Фамилия" + std::to_string(i % 97);
    v[2] = "Имя" + std::to_string(i);
    v[7] = std::string(static_cast<std::size_t>(20 + i % 120), 'a');
    v[12] = std::string(static_cast<std::size_t>(i % 11 == 0 ? 5000 : i % 4 == 0 ? 700 : 30), 'm');  // every kind of long value
    v[14] = "M" + std::to_string(i);
    return v;
}

std::uintmax_t size_of(const fs::path& p) { return fs::file_size(p); }

void move(const fs::path& from, const fs::path& to) {
    dataaccess::move_register(QString::fromStdString(from.string()), QString::fromStdString(to.string()));
}

// The hidden entries of a folder: compacts' temporaries and their journals, here.
std::set<std::string> hidden_in(const fs::path& dir) {
    std::set<std::string> names;
    for (const fs::directory_entry& e : fs::directory_iterator(dir)) {
        const std::string name = e.path().filename().string();
        if (name.front() == '.') names.insert(name);
    }
    return names;
}

// The rows of ЗУРТ that mdb-count (mdbtools, a reader we did not write) finds.
long long mdb_count(const fs::path& db) {
    RunResult r = run({"mdb-count", db.string(), "ЗУРТ"});
    EXPECT_EQ(r.status, 0) << r.err;
    return r.status == 0 ? std::atoll(r.out.c_str()) : -1;
}

bool have_mdb_count() { return have_program("mdb-count") || inputs_required(); }

struct stat stat_of(const fs::path& p) {
    struct stat st {};
    EXPECT_EQ(::stat(p.c_str(), &st), 0) << p;
    return st;
}

// What a child running regtool is given: a limit to the size of the files it
// writes (SIGXFSZ ignored, so that writes past it fail with EFBIG, or left to
// end the process), or another user's identity.
struct Confinement {
    std::optional<rlim_t> file_size_limit;
    bool ignore_sigxfsz = false;
    std::optional<uid_t> user;  // as its own group too
};

RunResult run_regtool_confined(const Confinement& c, const std::vector<std::string>& args) {
    std::vector<std::string> argv{REGTOOL_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> raw;
    for (std::string& a : argv) raw.push_back(a.data());
    raw.push_back(nullptr);
    int err[2];
    if (::pipe2(err, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    const pid_t pid = ::fork();
    if (pid == 0) {
        // Only calls a child of a threaded process may make, up to exec.
        ::dup2(err[1], 2);
        bool ready = true;
        if (c.file_size_limit) {
            const rlimit limit{*c.file_size_limit, *c.file_size_limit};
            ready = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
        }
        ::signal(SIGXFSZ, c.ignore_sigxfsz ? SIG_IGN : SIG_DFL);
        if (c.user) ready = ready && ::setgroups(0, nullptr) == 0 && ::setgid(*c.user) == 0 && ::setuid(*c.user) == 0;
        if (ready) ::execv(raw[0], raw.data());
        ::_exit(127);
    }
    ::close(err[1]);
    RunResult r;
    char buf[4096];
    for (ssize_t n; (n = ::read(err[0], buf, sizeof buf)) > 0;) r.err.append(buf, static_cast<std::size_t>(n));
    ::close(err[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (WIFSIGNALED(status)) r.err += "(ended by signal " + std::to_string(WTERMSIG(status)) + ")";
    return r;
}

// The lines of regtool's standard error that hold its messages, not those
// of its progress alone; each message should have a line of its own.
std::vector<std::string> messages_of(const std::string& err) {
    std::vector<std::string> out;
    for (const std::string& line : lines(err)) {
        if (line.find("regtool: ") != std::string::npos) out.push_back(line);
    }
    return out;
}

// How many steps of the fault seam a compact takes; a file and its copies take as many.
std::uint64_t steps_of(const std::function<void()>& compact_it) {
    jet::faults::Plan count;
    PlanInForce in_force(count);
    compact_it();
    return count.steps;
}

// Compacts stopped by the fault seam at step `at` as a process dies there:
// what it made stays where it lies, and its locks go with it.
void stopped_at(std::uint64_t at, const std::function<void()>& compact_it) {
    jet::faults::Plan plan{jet::faults::Mode::Stop, at, 0};
    PlanInForce in_force(plan);
    EXPECT_THROW(compact_it(), jet::faults::Stopped);
}

// Two groups of rows in the copy (5,000 and 500), so that stops fall inside
// the rows, between their groups and around them.
constexpr int kKilledRows = 5500;

TEST(FreeSpace, MovesBackAndForthKeepTheFilesNearTheirSize) {
    TempDir dir;
    const fs::path a = write_register(dir / "a.mdb", 10000, person);
    const fs::path b = write_register(dir / "b.mdb", 0, person);
    const std::uintmax_t a_first = size_of(a);
    move(a, b);
    const std::uintmax_t b_first = size_of(b);
    move(b, a);
    // Pages that deletes free and nothing uses again would show in the first
    // rounds already; scripts/long-tests.sh makes twenty.
    const int rounds = std::getenv("REGISTER_FULL_SWEEP") ? 20 : 6;
    for (int round = 1; round < rounds; ++round) {
        move(a, b);
        move(b, a);
    }
    const double a_growth = static_cast<double>(size_of(a)) / static_cast<double>(a_first) - 1;
    const double b_growth = static_cast<double>(size_of(b)) / static_cast<double>(b_first) - 1;
    std::printf("after %d moves back and forth: %s grew %.1f %%, %s %.1f %%\n", rounds, "a", 100 * a_growth, "b", 100 * b_growth);
    EXPECT_LT(a_growth, 0.06);
    EXPECT_LT(b_growth, 0.08);
    EXPECT_EQ(register_rows(a).size(), 10000u);
    expect_sound(a);
    expect_sound(b);
    EXPECT_TRUE(agrees_with_mdb_export(a, "ЗУРТ")) << "rows in slots that deleted rows left";

    // Compacted, the churned register is no larger than one filled afresh, and
    // holds the same rows with their numbers.
    const fs::path fresh = write_register(dir / "fresh.mdb", 10000, person);
    const fs::path compacted = dir / "compacted.mdb";
    RunResult r = run_regtool({"compact", a.string(), compacted.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.out.empty());
    EXPECT_NE(r.err.find("compact: ЗУРТ, 10000 of 10000 rows"), std::string::npos) << r.err;
    EXPECT_LE(size_of(compacted), size_of(fresh) + size_of(fresh) / 50);
    jet::Database original(a.string()), copy(compacted.string());
    for (const std::string& p : jet::compare_copy(original, copy)) ADD_FAILURE() << p;
    EXPECT_TRUE(agrees_with_mdb_export(compacted, "ЗУРТ"));
}

TEST(FreeSpace, CompactReplacesOnlyWhenAskedAndKeepsTheOriginal) {
    TempDir dir;
    const fs::path db = write_register(dir / "reg.mdb", 300, person);
    {
        jet::Database d(db.string());
        jet::WriteGroup g(d);
        std::vector<jet::RowId> ids = d.table("ЗУРТ").row_ids();
        for (std::size_t i = 0; i < ids.size(); i += 2) g.table("ЗУРТ").remove(ids[i]);
        g.commit();
    }
    const std::string before = read_file(db);
    const std::vector<Row> rows = register_rows(db);
    EXPECT_EQ(run_regtool({"compact", db.string(), db.string()}).status, 1) << "never over an existing file";
    EXPECT_EQ(run_regtool({"compact", db.string()}).status, 2);
    RunResult r = run_regtool({"compact", db.string(), "--replace"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(read_file(db.string() + ".bak") == before) << "the original is kept";
    EXPECT_TRUE(hidden_in(dir.path()).empty());
    EXPECT_LT(size_of(db), before.size());
    EXPECT_EQ(register_rows(db), rows);
    // A second replacement would overwrite the kept original: refused.
    r = run_regtool({"compact", db.string(), "--replace"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("nothing was replaced"), std::string::npos) << r.err;
    EXPECT_EQ(register_rows(db), rows);
    // Files holding what only Access carries over are left alone.
    const fs::path queries = fixtures_dir() / "realworld" / "jackcess__V2000__queryTestV2000.mdb";
    r = run_regtool({"compact", queries.string(), (dir / "q.mdb").string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("a query"), std::string::npos) << r.err;
    r = run_regtool({"compact", queries.string(), (dir / "q.mdb").string()}, {"LANG=ru_RU.UTF-8"});
    EXPECT_EQ(r.err.rfind("regtool: ошибка 3251: Базу данных «" + queries.string() + "» нельзя сжать этой программой, только в Access (", 0), 0u)
        << r.err;
    EXPECT_FALSE(fs::exists(dir / "q.mdb"));
}

// A compact killed at any step (at its start, inside the groups of rows and
// between them, before and after the copy takes its name) leaves nothing
// under the copy's name but the whole, checked copy; the next compact in the
// folder takes away what the dead one left (temporaries, journals) and
// succeeds.
TEST(FreeSpace, AKilledCompactLeavesNoCopyThatPassesForWhole) {
    if (!have_mdb_count()) GTEST_SKIP() << "mdb-count (mdbtools) is not installed";
    TempDir dir;
    const fs::path pristine = write_register(dir / "pristine.mdb", kKilledRows, person);
    auto compact = [](const fs::path& src, const fs::path& dst) {
        jet::Database from(src.string());
        EXPECT_TRUE(jet::compact(from, dst.string()).empty());
    };
    fs::create_directory(dir / "count");
    fs::copy_file(pristine, dir / "count" / "src.mdb");
    const std::uint64_t n = steps_of([&] { compact(dir / "count" / "src.mdb", dir / "count" / "dst.mdb"); });
    ASSERT_GT(n, 20u);
    fs::remove_all(dir / "count");
    // The last three steps: the copy synced, its temporary name removed
    // (after it got its own), the folder synced.
    int journals_left = 0;
    for (const std::uint64_t at : {std::uint64_t{1}, std::uint64_t{2}, std::uint64_t{3}, n / 5, 2 * n / 5, 3 * n / 5, 4 * n / 5, n - 2, n - 1, n}) {
        SCOPED_TRACE("stopped at step " + std::to_string(at) + " of " + std::to_string(n));
        const fs::path folder = dir / ("at-" + std::to_string(at));
        fs::create_directory(folder);
        const fs::path src = folder / "src.mdb", dst = folder / "dst.mdb";
        fs::copy_file(pristine, src);
        stopped_at(at, [&] { compact(src, dst); });
        const std::set<std::string> left = hidden_in(folder);
        journals_left += static_cast<int>(std::count_if(left.begin(), left.end(), [](const std::string& name) { return name.ends_with("-journal"); }));
        if (at >= 2 && at <= n - 1) EXPECT_FALSE(left.empty()) << "the dead compact left nothing to clear";
        if (at < n - 1) {
            EXPECT_FALSE(fs::exists(dst)) << "a copy under its name before it was checked and synced";
        } else {
            ASSERT_TRUE(fs::exists(dst));
            EXPECT_EQ(mdb_count(dst), kKilledRows);
        }
        const fs::path next = fs::exists(dst) ? folder / "next.mdb" : dst;
        RunResult r = run_regtool({"compact", src.string(), next.string()});
        ASSERT_EQ(r.status, 0) << r.err;
        const std::set<std::string> after = hidden_in(folder);
        EXPECT_TRUE(after.empty()) << *after.begin() << " was left";
        EXPECT_EQ(mdb_count(next), kKilledRows);
        EXPECT_EQ(fs::hard_link_count(dst), 1u) << "the dead compact's temporary name is a second name of the copy";
        fs::remove_all(folder);
    }
    EXPECT_GT(journals_left, 0) << "no stop fell inside the commit of a group";
}

// The same for compact --replace, on a register of the office's (mode 0664,
// owned by another user and group where the tests run as root): the
// original stays as it was up to the step that puts the copy in its place,
// and the next compact in the folder clears what the dead one left, keeps
// the owner, group and mode, and leaves nothing hidden behind.
TEST(FreeSpace, AKilledCompactInPlaceLeavesTheOriginalOrTheCheckedCopy) {
    if (!have_mdb_count()) GTEST_SKIP() << "mdb-count (mdbtools) is not installed";
    TempDir dir;
    const fs::path pristine = write_register(dir / "pristine.mdb", kKilledRows, person);
    const std::string original = read_file(pristine);
    const bool root = ::geteuid() == 0;
    auto office_file = [&](const fs::path& p) {
        ASSERT_EQ(::chmod(p.c_str(), 0664), 0);
        if (root) ASSERT_EQ(::chown(p.c_str(), 12345, 12345), 0);
    };
    auto compact = [](const fs::path& db) {
        jet::Database from(db.string());
        EXPECT_TRUE(jet::compact_in_place(from, db.string() + ".bak").empty());
    };
    fs::create_directory(dir / "count");
    fs::copy_file(pristine, dir / "count" / "reg.mdb");
    office_file(dir / "count" / "reg.mdb");
    const std::uint64_t n = steps_of([&] { compact(dir / "count" / "reg.mdb"); });
    ASSERT_GT(n, 20u);
    fs::remove_all(dir / "count");
    // The last two steps: the copy synced, the folder synced after the copy took the original's place.
    for (const std::uint64_t at : {std::uint64_t{1}, std::uint64_t{2}, n / 3, 2 * n / 3, n - 1, n}) {
        SCOPED_TRACE("stopped at step " + std::to_string(at) + " of " + std::to_string(n));
        const fs::path folder = dir / ("at-" + std::to_string(at));
        fs::create_directory(folder);
        const fs::path db = folder / "reg.mdb", bak = folder / "reg.mdb.bak";
        fs::copy_file(pristine, db);
        office_file(db);
        stopped_at(at, [&] { compact(db); });
        if (at < n) {
            EXPECT_TRUE(read_file(db) == original) << "the original changed";
            EXPECT_FALSE(fs::exists(bak));
            if (at >= 2) EXPECT_FALSE(hidden_in(folder).empty()) << "the dead compact left nothing to clear";
        } else {
            EXPECT_TRUE(read_file(bak) == original);
            EXPECT_EQ(mdb_count(db), kKilledRows);
            fs::remove(bak);  // as the office would, once the compacted register is seen to work
        }
        RunResult r = run_regtool({"compact", db.string(), "--replace"});
        ASSERT_EQ(r.status, 0) << r.err;
        const std::set<std::string> after = hidden_in(folder);
        EXPECT_TRUE(after.empty()) << *after.begin() << " was left";
        EXPECT_EQ(mdb_count(db), kKilledRows);
        const struct stat st = stat_of(db);
        EXPECT_EQ(st.st_mode & 0777, 0664u);
        if (root) {
            EXPECT_EQ(st.st_uid, 12345u);
            EXPECT_EQ(st.st_gid, 12345u);
        }
        EXPECT_EQ(st.st_nlink, 1u);
        fs::remove_all(folder);
    }
}

// A compact clears only what dead compacts left: the copy of one still at
// work (held under its lock while it is checked) is left alone, and so is
// every other hidden file, a link named like a temporary among them.
TEST(FreeSpace, CompactsClearOnlyWhatDeadCompactsLeft) {
    TempDir dir;
    const fs::path src = write_register(dir / "reg.mdb", 300, person);
    const std::string bytes = read_file(src);
    write_file(dir / ".old.mdb.compact-4242.tmp", bytes.substr(0, 8192));
    write_file(dir / ".old.mdb.compact-4242.tmp-journal", "a journal of the copy");
    write_file(dir / ".compact-4243.mdb.tmp", bytes);  // as earlier versions named theirs
    write_file(dir / ".gone.mdb.compact-4244.tmp-journal", "a journal whose copy is gone");
    const std::set<std::string> others{".keep", ".reg.mdb.compact-x.tmp", ".reg.mdb.compact-.tmp", ".compact-12.tmp",
                                       ".reg.mdb.compact-12.tmp.bak", ".link.mdb.compact-77.tmp"};
    for (const std::string& name : others) {
        if (name.starts_with(".link")) {
            fs::create_symlink(src, dir / name);
        } else {
            write_file(dir / name, "not a compact's");
        }
    }
    jet::Database from(src.string());
    const std::vector<std::string> problems =
        jet::compact(from, (dir / "mine.mdb").string(), [&](jet::Database&, jet::Database&, const std::string& copy_path) {
            // Another compact in the folder meanwhile.
            RunResult r = run_regtool({"compact", src.string(), (dir / "theirs.mdb").string()});
            EXPECT_EQ(r.status, 0) << r.err;
            std::set<std::string> expected = others;
            expected.insert(fs::path(copy_path).filename().string());
            EXPECT_EQ(hidden_in(dir.path()), expected);
            return std::vector<std::string>{};
        });
    EXPECT_TRUE(problems.empty());
    EXPECT_EQ(hidden_in(dir.path()), others);
    EXPECT_EQ(register_rows(dir / "mine.mdb"), register_rows(src));
    EXPECT_EQ(register_rows(dir / "theirs.mdb"), register_rows(src));
    EXPECT_TRUE(read_file(src) == bytes);
}

// A file that appears under the copy's name while the copy is written or
// checked keeps its place: the copy never takes the name over a file.
TEST(FreeSpace, ACompactedCopyNeverTakesTheNameOfAFileThatAppearedMeanwhile) {
    TempDir dir;
    const fs::path src = write_register(dir / "reg.mdb", 300, person);
    const fs::path dst = dir / "compacted.mdb";
    jet::Database from(src.string());
    const jet::Error e = jet_error_of(
        [&] {
            jet::compact(from, dst.string(), [&](jet::Database&, jet::Database&, const std::string&) {
                write_file(dst, "another program's");
                return std::vector<std::string>{};
            });
        },
        "the copy took the name of a file");
    EXPECT_EQ(e.os_error(), EEXIST) << e.what();
    EXPECT_EQ(read_file(dst), "another program's");
    EXPECT_TRUE(hidden_in(dir.path()).empty());
}

// A compact whose files may not grow past a limit (ulimit -f): with SIGXFSZ
// ignored its writes fail with EFBIG, and it says so in one line and leaves
// nothing, neither a copy nor a temporary, and the original as it was;
// ended by the signal, it leaves no copy under its name, and the next
// compact clears what it left.
TEST(FreeSpace, ACompactStoppedByTheFileSizeLimitLeavesNothing) {
    if (!have_mdb_count()) GTEST_SKIP() << "mdb-count (mdbtools) is not installed";
    TempDir dir;
    const fs::path src = write_register(dir / "reg.mdb", 3000, person);
    const fs::path dst = dir / "compacted.mdb", bak = dir / "reg.mdb.bak";
    const std::string before = read_file(src);
    Confinement limited;
    limited.file_size_limit = static_cast<rlim_t>(before.size() / 2);
    limited.ignore_sigxfsz = true;
    for (const std::vector<std::string>& args : {std::vector<std::string>{"compact", src.string(), dst.string()},
                                                 std::vector<std::string>{"compact", src.string(), "--replace"}}) {
        SCOPED_TRACE(args.back());
        RunResult r = run_regtool_confined(limited, args);
        EXPECT_EQ(r.status, 1) << r.err;
        const std::vector<std::string> said = messages_of(r.err);
        ASSERT_EQ(said.size(), 1u) << r.err;
        EXPECT_EQ(said[0].rfind("regtool: ", 0), 0u) << said[0];
        EXPECT_NE(said[0].find("File too large"), std::string::npos) << said[0];
        // Named by the file the user gave, never by the copy's temporary name.
        const std::string named = args.back() == "--replace" ? "/reg.mdb»" : "/compacted.mdb»";
        EXPECT_NE(said[0].find(named), std::string::npos) << said[0];
        EXPECT_FALSE(fs::exists(dst));
        EXPECT_FALSE(fs::exists(bak));
        EXPECT_TRUE(hidden_in(dir.path()).empty());
        EXPECT_TRUE(read_file(src) == before);
    }
    Confinement ended = limited;
    ended.ignore_sigxfsz = false;
    RunResult r = run_regtool_confined(ended, {"compact", src.string(), dst.string()});
    EXPECT_EQ(r.status, -1) << r.err;
    EXPECT_FALSE(fs::exists(dst));
    EXPECT_FALSE(hidden_in(dir.path()).empty());
    r = run_regtool({"compact", src.string(), dst.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(hidden_in(dir.path()).empty());
    EXPECT_EQ(mdb_count(dst), 3000);
}

// compact --replace gives the copy the original's owner, group and mode,
// so that the office keeps its access to the register.
TEST(FreeSpace, CompactInPlaceKeepsTheOwnerGroupAndMode) {
    TempDir dir;
    const fs::path db = write_register(dir / "reg.mdb", 300, person);
    const std::vector<Row> rows = register_rows(db);
    ASSERT_EQ(::chmod(db.c_str(), 0664), 0);
    const bool root = ::geteuid() == 0;
    if (root) ASSERT_EQ(::chown(db.c_str(), 12345, 12345), 0);
    RunResult r = run_regtool({"compact", db.string(), "--replace"});
    ASSERT_EQ(r.status, 0) << r.err;
    for (const fs::path& p : {db, fs::path(db.string() + ".bak")}) {
        const struct stat st = stat_of(p);
        EXPECT_EQ(st.st_mode & 0777, 0664u) << p.filename();
        if (root) {
            EXPECT_EQ(st.st_uid, 12345u) << p.filename();
            EXPECT_EQ(st.st_gid, 12345u) << p.filename();
        }
    }
    EXPECT_EQ(register_rows(db), rows);
    EXPECT_TRUE(hidden_in(dir.path()).empty());
}

// Someone other than root may not give a file to another user: compact
// --replace of another user's register is refused before anything is
// replaced, rather than leave the office a register it cannot write.
TEST(FreeSpace, CompactInPlaceThatCannotKeepTheOwnerIsRefused) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root, to give the register to another user and run regtool as a third";
    TempDir dir;
    const fs::path db = write_register(dir / "reg.mdb", 300, person);
    ASSERT_EQ(::chmod(dir.path().c_str(), 0777), 0);
    ASSERT_EQ(::chmod(db.c_str(), 0666), 0);
    ASSERT_EQ(::chown(db.c_str(), 12345, 12345), 0);
    const std::string before = read_file(db);
    Confinement other;
    other.user = 12346;
    RunResult r = run_regtool_confined(other, {"compact", db.string(), "--replace"});
    EXPECT_EQ(r.status, 1) << r.err;
    const std::vector<std::string> said = messages_of(r.err);
    ASSERT_EQ(said.size(), 1u) << r.err;
    EXPECT_NE(said[0].find("user 12345, group 12345"), std::string::npos) << said[0];
    EXPECT_NE(said[0].find("nothing was replaced"), std::string::npos) << said[0];
    EXPECT_TRUE(read_file(db) == before);
    EXPECT_FALSE(fs::exists(db.string() + ".bak"));
    EXPECT_TRUE(hidden_in(dir.path()).empty());
    const struct stat st = stat_of(db);
    EXPECT_EQ(st.st_uid, 12345u);
    EXPECT_EQ(st.st_mode & 0777, 0666u);
}

// The format's limit, met at a few pages past the register so that no test
// writes 2 GB: the group that would cross it is refused whole.
TEST(FreeSpace, AWriteThatWouldPassTheSizeLimitIsRefusedWhole) {
    TempDir dir;
    const fs::path db = write_register(dir / "reg.mdb", 20, person);
    const std::uint32_t pages = static_cast<std::uint32_t>(size_of(db) / jet::kPageSize);
    jet::set_page_limit_for_tests(pages + 3);
    const std::string before = read_file(db);
    const jet::Error e = jet_error_of(
        [&] {
            change_table(db, [](jet::TableWriter& t) {
                for (int i = 0; i < 200; ++i) {
                    Row v = person(1000 + i);
                    t.insert(v);
                }
            });
        },
        "the file grew past its limit");
    EXPECT_EQ(e.kind(), jet::ErrorKind::Unsupported);
    EXPECT_EQ(e.reason(), jet::Reason::FileTooLarge);
    jet::set_page_limit_for_tests(jet::kMaxPages);
    EXPECT_TRUE(read_file(db) == before);
}

TEST(FreeSpace, ValuesAccessCannotHoldAreRefused) {
    TempDir dir;
    const fs::path db = write_register(dir / "reg.mdb", 1, person);
    jet::Database d(db.string());
    jet::WriteGroup g(d);
    auto with = [](std::size_t column, jet::Value v) {
        Row r = person(5);
        r[column] = std::move(v);
        return r;
    };
    const jet::DateTime year_0 = jet::from_civil({0, 1, 1}), year_minus_1 = jet::from_civil({-1, 6, 1}),
                        year_99999 = jet::from_civil({99999, 1, 1});
    for (const Row& bad : {with(5, year_0), with(5, year_minus_1), with(5, year_99999), with(10, 1.0 / 0.0), with(10, 0.0 / 0.0)}) {
        Row v = bad;
        const jet::Error e = jet_error_of([&] { g.table("ЗУРТ").insert(v); }, "a value Access cannot hold was stored");
        EXPECT_EQ(e.kind(), jet::ErrorKind::Constraint);
        EXPECT_EQ(e.reason(), jet::Reason::OutOfRange);
    }
    for (const jet::DateTime& ok : {jet::from_civil({100, 1, 1}), jet::from_civil({9999, 12, 31, 23, 59, 59})}) {
        Row v = with(5, ok);
        g.table("ЗУРТ").insert(v);
    }
    g.commit();
    EXPECT_EQ(register_rows(db).size(), 3u);
}

}  // namespace
