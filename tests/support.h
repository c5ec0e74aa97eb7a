// Shared helpers of the test suites: the shared test files, running programs,
// temporary folders.
#pragma once

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/types.h>
#include <unistd.h>
#endif

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "jet/create.h"
#include "jet/database.h"
#include "fault_platform.h"
#include "jet/files.h"
#include "jet/value.h"
#include "system/process.h"

namespace testing_support {

namespace fs = std::filesystem;

// The folder of shared test files (REGISTER_FIXTURES overrides the built-in path).
fs::path fixtures_dir();
bool have_fixtures();
// Whether a missing input (a shared test file, a program a test runs) fails
// the test instead of skipping it: REGISTER_REQUIRE_FIXTURES=1, as CI sets,
// where everything is present and a skip could only hide a fault.
bool inputs_required();
// Every Jet 4 fixture database (register/ and realworld/), sorted.
std::vector<fs::path> jet4_fixtures();
// A writable copy of a file (a shared test file, mostly) in dir, under its own name.
fs::path copy_fixture(const fs::path& dir, const fs::path& from);
// Runs body on a writable copy of every Jet 4 fixture but the password-protected
// ones, each in a folder of its own; the walk stops at the first failure.
void on_fixture_copies(const std::function<void(const fs::path& fixture, const fs::path& copy)>& body);

struct RunResult {
    int status = -1;  // exit status, or -1 when the program died by a signal
    std::string out;
    std::string err;
};

// Runs a program with these arguments (no shell) and collects its output;
// `environment` replaces variables of this process's environment ("NAME=value").
// `input`, when named, is its standard input.
RunResult run(const std::vector<std::string>& argv, const std::vector<std::string>& environment = {}, const fs::path& input = {});
// regtool speaks the language the locale settings name: English unless
// `locale` ("LANG=ru_RU.UTF-8", ...) says otherwise, whatever this process's settings.
RunResult run_regtool(const std::vector<std::string>& args, const std::vector<std::string>& locale = {}, const fs::path& input = {});
bool have_program(const std::string& name);
// Whether files are compared with mdb-export's reading: here where it is
// installed; on Windows, where it does not run, by the Linux side on the
// files kept for it (REGISTER_WINDOWS_FILES, scripts/test-windows.sh).
bool mdb_export_compares();
// Starts regtool with these arguments and leaves it running.
sys::Child start_regtool(const std::vector<std::string>& args);

#ifndef _WIN32
// Waits for a child of spawn: its exit status, -1 when it died by a signal.
int exit_status(pid_t pid);

// Runs body in a child process of this one, forked (POSIX only: the suites
// that run on Windows start their children with child_work.h); body's result
// is its exit status.
template <class F>
pid_t spawn(F body) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        int status = 1;
        try {
            status = body();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "child %d: %s\n", static_cast<int>(::getpid()), e.what());
        } catch (...) {
        }
        std::fflush(stderr);
        ::_exit(status);
    }
    return pid;
}
#endif

// A fresh folder removed with everything in it when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const fs::path& path() const { return path_; }
    fs::path operator/(const std::string& name) const { return path_ / name; }

private:
    fs::path path_;
};

using Row = std::vector<jet::Value>;

// Person i of a register: a name and a marker (column 14) that follow the row
// wherever it goes, and a memo long enough every few rows to need pages of its own.
Row person(int i);
// A register of persons first .. first + rows - 1 at dir/name.
fs::path make_register(const fs::path& dir, int rows, const std::string& name = "reg.mdb", int first = 0);
// A row of the register: Null but for the columns given.
Row register_row(std::initializer_list<std::pair<int, jet::Value>> values);
// A new register file at db: table ЗУРТ holding the given rows (values in
// column order; the autonumber left Null is filled in).
fs::path write_register(const fs::path& db, const std::vector<Row>& rows);
// The same with rows make(first) .. make(first + count - 1).
fs::path write_register(const fs::path& db, int count, const std::function<Row(int)>& make, int first = 0);
// Opens db and runs body in one write group on a table (the register's
// unless named), committing it when body returns.
void change_table(const fs::path& db, const std::function<void(jet::TableWriter&)>& body, const std::string& table = "ЗУРТ");
// A new database at db holding one table made from spec, with these rows.
fs::path write_table(const fs::path& db, const jet::TableSpec& spec, const std::vector<Row>& rows = {});
// The rows of ЗУРТ in storage order.
std::vector<Row> register_rows(const fs::path& db);
// The rows of a table by their first column (the register's номер).
std::map<std::int64_t, Row> rows_by_first(const fs::path& db, const std::string& table = "ЗУРТ");
// The markers rows carry in column 14 (Паспорт), which follow a row wherever it goes.
std::set<std::string> markers_of(const fs::path& db);
// Fails the test for every problem the integrity check finds in db, and for
// every difference from mdb-export's reading of the tables named.
void expect_sound(const fs::path& db, const std::vector<std::string>& export_tables = {});
inline fs::path journal_of(const fs::path& db) { return db.string() + "-journal"; }

// A writer in another process: it takes db's write lock, inserts
// person(person_number), says that it holds the lock, and keeps it until it
// is let go (release() or finish()); then it commits.
class OtherWriter {
public:
    OtherWriter(const fs::path& db, int person_number);
    ~OtherWriter();
    OtherWriter(const OtherWriter&) = delete;
    OtherWriter& operator=(const OtherWriter&) = delete;
    bool holds_lock() const { return locked_; }
    void release();
    // Lets go, then the child's exit status, or -1 when it died by a signal.
    int finish();

private:
    TempDir signs_;
    sys::Child child_;
    bool released_ = false;
    bool locked_ = false;
};

// Lets the other writer go at the moment this process finds its lock held and
// starts to wait: the wait is met for certain.
class ReleaseWhenWaitedFor {
public:
    explicit ReleaseWhenWaitedFor(OtherWriter& other);
    ~ReleaseWhenWaitedFor();
    bool waited() const { return waited_; }

private:
    bool waited_ = false;
};

// This process gives up waiting for another's lock after a short while, for
// as long as the object lives.
class ShortLockWait {
public:
    ShortLockWait();
    ~ShortLockWait();

private:
    std::chrono::milliseconds before_;
};

// A folder with its write bits taken away, given back when the object goes.
struct ReadOnlyFolder {
    fs::path path;
    explicit ReadOnlyFolder(fs::path p);
    ~ReadOnlyFolder();
};
void read_only_file(const fs::path& p);

// The engine's error f reports. When it reports none, the test fails saying
// what happened instead, and the error returned is an Internal one.
jet::Error jet_error_of(const std::function<void()>& f, const std::string& instead);

std::string read_file(const fs::path& p);
void write_file(const fs::path& p, const std::string& bytes);

// A fault plan of the engine's in force for as long as it lives.
class PlanInForce {
public:
    explicit PlanInForce(jet::faults::Plan& plan) { jet::faults::set_plan(&plan); }
    ~PlanInForce() { jet::faults::set_plan(nullptr); }
    PlanInForce(const PlanInForce&) = delete;
    PlanInForce& operator=(const PlanInForce&) = delete;
};

}  // namespace testing_support

// Leaves a test whose input is missing, with the reason streamed after it:
// skipped, or failed when inputs are required (see inputs_required()).
#define REGISTER_SKIP()                                                                                                   \
    return ::testing::internal::AssertHelper(::testing_support::inputs_required() ? ::testing::TestPartResult::kFatalFailure \
                                                                                  : ::testing::TestPartResult::kSkip,      \
                                             __FILE__, __LINE__, "a test input is missing") = ::testing::Message()
