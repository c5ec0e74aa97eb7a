#include "support.h"

#include "jet/check.h"
#include "jet/create.h"
#include "jet/database.h"
#include "jet/files.h"
#include "storage/page_file.h"
#include "mdb_export_compare.h"
#include "logic/register_table.h"
#include "child_work.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <random>
#include <sstream>
#include <stdexcept>
#include <system_error>
#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace testing_support {

fs::path fixtures_dir() {
    if (const char* env = std::getenv("REGISTER_FIXTURES"); env && *env) return env;
    return REGISTER_FIXTURES_DIR;
}

bool inputs_required() {
    const char* env = std::getenv("REGISTER_REQUIRE_FIXTURES");
    return env && std::string(env) == "1";
}

bool have_fixtures() {
    const bool present = fs::is_directory(fixtures_dir() / "register") || fs::is_directory(fixtures_dir() / "realworld");
    // Parts of tests pass over what they cannot find; where inputs are required that is a failure.
    if (!present && inputs_required()) ADD_FAILURE() << "the shared test files are missing: " << fixtures_dir();
    return present;
}

std::vector<fs::path> jet4_fixtures() {
    std::vector<fs::path> out;
    for (const char* sub : {"register", "realworld"}) {
        fs::path dir = fixtures_dir() / sub;
        if (!fs::is_directory(dir)) continue;
        for (const auto& e : fs::directory_iterator(dir)) {
            if (e.is_regular_file() && e.path().extension() == ".mdb") out.push_back(e.path());
        }
    }
    std::sort(out.begin(), out.end());
    return out;
}

fs::path copy_fixture(const fs::path& dir, const fs::path& from) {
    const fs::path to = dir / from.filename();
    fs::copy_file(from, to, fs::copy_options::overwrite_existing);
    fs::permissions(to, fs::perms::owner_read | fs::perms::owner_write);
    return to;
}

void on_fixture_copies(const std::function<void(const fs::path& fixture, const fs::path& copy)>& body) {
    for (const fs::path& fixture : jet4_fixtures()) {
        const std::string name = fixture.filename().string();
        if (name.find("password") != std::string::npos) continue;
        SCOPED_TRACE(name);
        TempDir dir;
        body(fixture, copy_fixture(dir.path(), fixture));
        if (::testing::Test::HasFailure()) return;
    }
}

RunResult run(const std::vector<std::string>& argv, const std::vector<std::string>& environment, const fs::path& input) {
    RunResult r;
    try {
        sys::Launch launch;
        launch.environment = environment;
        launch.input = input;
        sys::Captured got = run_program(argv, launch);
        r.status = got.status;
        r.out = std::move(got.out);
        r.err = std::move(got.err);
    } catch (const std::system_error& e) {
        r.status = 127;
        r.err = e.what();  // "cannot start <program>: <reason>"
    }
    return r;
}

RunResult run_regtool(const std::vector<std::string>& args, const std::vector<std::string>& locale, const fs::path& input) {
    std::vector<std::string> argv{REGTOOL_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    // The settings regtool looks at, cleared but for those given.
    std::vector<std::string> environment{"LANGUAGE=", "LC_ALL=", "LC_MESSAGES=", "LANG=C.UTF-8"};
    environment.insert(environment.end(), locale.begin(), locale.end());
    return run(argv, environment, input);
}

sys::Child start_regtool(const std::vector<std::string>& args) {
    std::vector<std::string> argv{REGTOOL_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    return start_program(argv);
}

#ifndef _WIN32
int exit_status(pid_t pid) {
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return -2;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
#endif

bool have_program(const std::string& name) {
    const char* path = std::getenv("PATH");
    if (!path) return false;
#ifdef _WIN32
    constexpr char kListSeparator = ';';
#else
    constexpr char kListSeparator = ':';
#endif
    std::stringstream ss(path);
    std::string dir;
    while (std::getline(ss, dir, kListSeparator)) {
        std::error_code ec;
        if (!dir.empty() && fs::is_regular_file(fs::path(dir) / sys::program_file_name(name), ec)) return true;
    }
    return false;
}

bool mdb_export_compares() {
#ifdef _WIN32
    const char* kept = std::getenv("REGISTER_WINDOWS_FILES");
    return kept != nullptr && *kept != '\0';
#else
    return have_program("mdb-export");
#endif
}

TempDir::TempDir() {
    static std::mt19937_64 draw{std::random_device{}() ^ static_cast<std::uint64_t>(sys::process_id())};
    static std::mutex drawing;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::uint64_t n = 0;
        {
            const std::lock_guard<std::mutex> guard(drawing);
            n = draw();
        }
        char name[32];
        std::snprintf(name, sizeof name, "regtest-%012llx", static_cast<unsigned long long>(n & 0xFFFFFFFFFFFFull));
        const fs::path p = fs::temp_directory_path() / name;
        // Made here and nowhere else: create_directory says false for one that exists.
        if (fs::create_directory(p)) {
            path_ = p;
            return;
        }
    }
    throw std::runtime_error("cannot make a temporary folder");
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
#ifdef _WIN32
    // A read-only file cannot be removed there.
    for (auto it = fs::recursive_directory_iterator(path_, ec); !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        std::error_code ignored;
        fs::permissions(it->path(), fs::perms::owner_write, fs::perm_options::add, ignored);
    }
    ec.clear();
#endif
    fs::remove_all(path_, ec);
}

jet::Error jet_error_of(const std::function<void()>& f, const std::string& instead) {
    try {
        f();
    } catch (const jet::Error& e) {
        return e;
    }
    ADD_FAILURE() << instead;
    return jet::Error(jet::ErrorKind::Internal, "no error");
}

std::string read_file(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void write_file(const fs::path& p, const std::string& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

Row person(int i) {
    Row v(26, jet::Null{});
    v[1] = "Фамилия" + std::to_string(i);
    v[2] = "Имя" + std::to_string(i);
    v[4] = std::string(i % 2 ? "да" : "нет");
    std::string memo;
    for (int k = 0; k < (i % 5 == 0 ? 3000 : 10); ++k) memo += "п";
    v[12] = memo;
    v[14] = "M" + std::to_string(i);
    return v;
}

fs::path make_register(const fs::path& dir, int rows, const std::string& name, int first) {
    return write_register(dir / name, rows, person, first);
}

Row register_row(std::initializer_list<std::pair<int, jet::Value>> values) {
    Row v(26, jet::Null{});
    for (const auto& [column, value] : values) v.at(static_cast<std::size_t>(column)) = value;
    return v;
}

fs::path write_register(const fs::path& db, const std::vector<Row>& rows) {
    std::size_t i = 0;
    return write_register(db, static_cast<int>(rows.size()), [&](int) { return rows[i++]; });
}

fs::path write_register(const fs::path& db, int count, const std::function<Row(int)>& make, int first) {
    fs::create_directories(db.parent_path());
    jet::create_database(db.string());
    jet::Database d(db.string());
    reg::create_register_table(d);
    jet::WriteGroup g(d);
    for (int i = first; i < first + count; ++i) {
        Row v = make(i);
        g.table("ЗУРТ").insert(v);
    }
    g.commit();
    return db;
}

void change_table(const fs::path& db, const std::function<void(jet::TableWriter&)>& body, const std::string& table) {
    jet::Database d(db.string());
    jet::WriteGroup g(d);
    body(g.table(table));
    g.commit();
}

fs::path write_table(const fs::path& db, const jet::TableSpec& spec, const std::vector<Row>& rows) {
    fs::create_directories(db.parent_path());
    jet::create_database(db.string());
    jet::Database d(db.string());
    jet::WriteGroup g(d);
    jet::create_table(g, spec);
    for (Row v : rows) g.table(spec.name).insert(v);
    g.commit();
    return db;
}

std::vector<Row> register_rows(const fs::path& db) {
    jet::Database d(db.string());
    std::vector<Row> out;
    d.table("ЗУРТ").scan([&](jet::RowId, const Row& r) {
        out.push_back(r);
        return true;
    });
    return out;
}

std::map<std::int64_t, Row> rows_by_first(const fs::path& db, const std::string& table) {
    jet::Database d(db.string());
    std::map<std::int64_t, Row> out;
    d.table(table).scan([&](jet::RowId, const Row& r) {
        out[std::get<std::int64_t>(r[0])] = r;
        return true;
    });
    return out;
}

std::set<std::string> markers_of(const fs::path& db) {
    std::set<std::string> out;
    for (const Row& r : register_rows(db)) {
        if (const auto* s = std::get_if<std::string>(&r[14])) out.insert(*s);
    }
    return out;
}

void expect_sound(const fs::path& db, const std::vector<std::string>& export_tables) {
    {
        jet::Database d(db.string());
        for (const std::string& p : jet::check_database(d)) ADD_FAILURE() << db.filename() << ": " << p;
    }
    if (export_tables.empty() || !(mdb_export_compares() || inputs_required())) return;
    for (const std::string& t : export_tables) EXPECT_TRUE(agrees_with_mdb_export(db, t));
}

}  // namespace testing_support

// The other writer's side: the row inserted in an open group, a sign that the
// lock is held, the group committed once the test gives its sign.
CHILD_WORK(other_writer) {
    jet::Database d(args.at(0));
    jet::WriteGroup g(d);
    testing_support::Row row = testing_support::person(std::stoi(args.at(1)));
    g.table("ЗУРТ").insert(row);
    const std::filesystem::path signs = args.at(2);
    testing_support::give_sign(signs / "locked");
    if (!testing_support::await_sign(signs / "go")) return 3;
    g.commit();
    return 0;
}

namespace testing_support {

OtherWriter::OtherWriter(const fs::path& db, int person_number)
    : child_(start_child("other_writer", {db.string(), std::to_string(person_number), signs_.path().string()})) {
    locked_ = await_sign(signs_ / "locked", &child_);
}

OtherWriter::~OtherWriter() {
    if (child_.valid()) finish();
}

void OtherWriter::release() {
    if (!released_) give_sign(signs_ / "go");
    released_ = true;
}

int OtherWriter::finish() {
    release();
    return child_.wait();
}

ReleaseWhenWaitedFor::ReleaseWhenWaitedFor(OtherWriter& other) {
    jet::faults::set_lock_wait_hook([this, &other] {
        waited_ = true;
        other.release();
    });
}

ReleaseWhenWaitedFor::~ReleaseWhenWaitedFor() { jet::faults::set_lock_wait_hook(nullptr); }

ShortLockWait::ShortLockWait() : before_(jet::PageFile::default_lock_wait()) {
    jet::PageFile::set_default_lock_wait(std::chrono::milliseconds(300));
}

ShortLockWait::~ShortLockWait() { jet::PageFile::set_default_lock_wait(before_); }

ReadOnlyFolder::ReadOnlyFolder(fs::path p) : path(std::move(p)) {
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read | fs::perms::group_exec);
}

ReadOnlyFolder::~ReadOnlyFolder() { fs::permissions(path, fs::perms::owner_all, fs::perm_options::add); }

void read_only_file(const fs::path& p) { fs::permissions(p, fs::perms::owner_read | fs::perms::group_read); }

}  // namespace testing_support
