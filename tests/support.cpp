#include "support.h"

#include "jet/check.h"
#include "jet/create.h"
#include "jet/database.h"
#include "jet/files.h"
#include "storage/page_file.h"
#include "mdb_export_compare.h"
#include "logic/register_table.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cstdlib>
#include <fstream>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

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

namespace {

// This process's environment with the variables of `changes` set, a later
// change of one variable replacing an earlier one.
std::vector<std::string> environment_with(const std::vector<std::string>& changes) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
    for (const std::string& change : changes) {
        const std::string name = change.substr(0, change.find('=') + 1);
        std::erase_if(env, [&](const std::string& entry) { return entry.compare(0, name.size(), name) == 0; });
        env.push_back(change);
    }
    return env;
}

}  // namespace

RunResult run(const std::vector<std::string>& argv, const std::vector<std::string>& environment) {
    std::vector<std::string> env = environment_with(environment);
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    int out_pipe[2], err_pipe[2];
    if (pipe2(out_pipe, O_CLOEXEC) != 0 || pipe2(err_pipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    // posix_spawn, not fork: a sanitized test process maps terabytes of shadow
    // memory, and copying its page tables for every program run costs more
    // than the program.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out_pipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err_pipe[1], 2);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        for (int fd : {out_pipe[0], out_pipe[1], err_pipe[0], err_pipe[1]}) close(fd);
        RunResult r;
        r.status = 127;
        r.err = std::string("cannot start ") + argv[0] + ": " + std::strerror(spawned);
        return r;
    }
    close(out_pipe[1]);
    close(err_pipe[1]);
    RunResult r;
    pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
    std::string* sinks[2] = {&r.out, &r.err};
    int open_fds = 2;
    char buf[65536];
    while (open_fds > 0) {
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            ssize_t n = read(fds[i].fd, buf, sizeof buf);
            if (n > 0) {
                sinks[i]->append(buf, static_cast<std::size_t>(n));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open_fds;
            }
        }
    }
    int status = 0;
    waitpid(pid, &status, 0);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

RunResult run_regtool(const std::vector<std::string>& args, const std::vector<std::string>& locale) {
    std::vector<std::string> argv{REGTOOL_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    // The settings regtool looks at, cleared but for those given.
    std::vector<std::string> environment{"LANGUAGE=", "LC_ALL=", "LC_MESSAGES=", "LANG=C.UTF-8"};
    environment.insert(environment.end(), locale.begin(), locale.end());
    return run(argv, environment);
}

pid_t start_regtool(const std::vector<std::string>& args) {
    std::vector<std::string> argv{REGTOOL_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> raw;
    for (std::string& a : argv) raw.push_back(a.data());
    raw.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, raw[0], nullptr, nullptr, raw.data(), environ) != 0) throw std::runtime_error("cannot start regtool");
    return pid;
}

int exit_status(pid_t pid) {
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return -2;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool have_program(const std::string& name) {
    const char* path = std::getenv("PATH");
    if (!path) return false;
    std::stringstream ss(path);
    std::string dir;
    while (std::getline(ss, dir, ':')) {
        if (!dir.empty() && access((fs::path(dir) / name).c_str(), X_OK) == 0) return true;
    }
    return false;
}

TempDir::TempDir() {
    std::string tmpl = (fs::temp_directory_path() / "regtest-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
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
    if (export_tables.empty() || !(have_program("mdb-export") || inputs_required())) return;
    for (const std::string& t : export_tables) EXPECT_TRUE(agrees_with_mdb_export(db, t));
}

OtherWriter::OtherWriter(const fs::path& db, Row row) {
    int ready[2], go[2];
    if (pipe(ready) != 0 || pipe(go) != 0) throw std::runtime_error("pipe failed");
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        close(ready[0]);
        close(go[1]);
        int status = 0;
        try {
            jet::Database d(db.string());
            jet::WriteGroup g(d);
            g.table("ЗУРТ").insert(row);
            const char c = 1;
            if (write(ready[1], &c, 1) != 1) status = 3;
            char wait = 0;
            (void)read(go[0], &wait, 1);  // returns when the test lets go
            g.commit();
        } catch (...) {
            status = 2;
        }
        _exit(status);
    }
    close(ready[1]);
    close(go[0]);
    go_ = go[1];
    char c = 0;
    locked_ = read(ready[0], &c, 1) == 1;
    close(ready[0]);
}

OtherWriter::~OtherWriter() {
    if (pid_ > 0) finish();
}

void OtherWriter::release() {
    if (go_ >= 0) close(go_);
    go_ = -1;
}

int OtherWriter::finish() {
    release();
    const int status = exit_status(pid_);
    pid_ = -1;
    return status;
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
