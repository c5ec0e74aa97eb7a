#include "support.h"

#include "jet/create.h"
#include "register_table.h"
#include "jet/database.h"

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

RunResult run(const std::vector<std::string>& argv) {
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
    int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
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

RunResult run_regtool(const std::vector<std::string>& args) {
    std::vector<std::string> argv{REGTOOL_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    return run(argv);
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

std::string read_file(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void write_file(const fs::path& p, const std::string& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
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

std::vector<Row> register_rows(const fs::path& db) {
    jet::Database d(db.string());
    std::vector<Row> out;
    d.table("ЗУРТ").scan([&](jet::RowId, const Row& r) {
        out.push_back(r);
        return true;
    });
    return out;
}

}  // namespace testing_support
