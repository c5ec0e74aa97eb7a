// Programs run through posix_spawn: no fork of this process (a process with
// much memory mapped, a sanitized one above all, would copy its page tables
// for every program run), and a program that cannot be started is reported
// by the spawn itself.
#include "system/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <system_error>
#include <utility>

extern char** environ;

namespace sys {

namespace {

[[noreturn]] void fail(int err, const std::string& program) {
    throw std::system_error(err, std::generic_category(), "cannot start " + program);
}

// A file descriptor, closed when it goes.
class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Fd& operator=(Fd&&) = delete;
    int get() const { return fd_; }
    void reset() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_ = -1;
};

// A pipe whose ends are not passed on to programs this process starts: the
// started program's end is given to it by a dup2 in the spawn.
struct Pipe {
    Fd read, write;
};

Pipe make_pipe() {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) throw std::system_error(errno, std::generic_category(), "cannot make a pipe");
    return {Fd(ends[0]), Fd(ends[1])};
}

class FileActions {
public:
    FileActions() { posix_spawn_file_actions_init(&actions_); }
    ~FileActions() { posix_spawn_file_actions_destroy(&actions_); }
    FileActions(const FileActions&) = delete;
    FileActions& operator=(const FileActions&) = delete;
    posix_spawn_file_actions_t* get() { return &actions_; }

private:
    posix_spawn_file_actions_t actions_;
};

// This process's environment with the changes made, a later change of one
// variable replacing an earlier one.
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

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> out;
    for (std::string& s : strings) out.push_back(s.data());
    out.push_back(nullptr);
    return out;
}

// Starts argv with the file actions given and the launch's input and
// environment: its process id.
pid_t spawn(std::vector<std::string> argv, const Launch& launch, FileActions& actions) {
    if (argv.empty()) throw std::system_error(EINVAL, std::generic_category(), "no program to start");
    if (!launch.input.empty()) posix_spawn_file_actions_addopen(actions.get(), STDIN_FILENO, launch.input.c_str(), O_RDONLY, 0);
    std::vector<std::string> env;
    if (!launch.environment.empty()) env = environment_with(launch.environment);
    const std::vector<char*> args = pointers(argv);
    const std::vector<char*> envp = pointers(env);
    pid_t pid = -1;
    const int spawned =
        posix_spawnp(&pid, args[0], actions.get(), nullptr, args.data(), launch.environment.empty() ? environ : envp.data());
    if (spawned != 0) fail(spawned, argv[0]);
    return pid;
}

}  // namespace

std::filesystem::path program_path() {
    std::error_code ec;
    std::filesystem::path p = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::path() : p;
}

std::string program_file_name(const std::string& stem) { return stem; }

long process_id() { return static_cast<long>(::getpid()); }

namespace {

// The status of a program whose end waitpid reported (r, status): its exit
// status, -1 when a signal ended it or the wait failed.
int exit_status_of(pid_t r, int status) { return r > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1; }

}  // namespace

int Child::wait() {
    if (waited_ || !valid()) return status_;
    int status = 0;
    pid_t r;
    while ((r = ::waitpid(static_cast<pid_t>(handle_), &status, 0)) < 0 && errno == EINTR) {
    }
    waited_ = true;
    return status_ = exit_status_of(r, status);
}

bool Child::finished() {
    if (waited_ || !valid()) return true;
    int status = 0;
    const pid_t r = ::waitpid(static_cast<pid_t>(handle_), &status, WNOHANG);
    if (r == 0 || (r < 0 && errno == EINTR)) return false;
    waited_ = true;
    status_ = exit_status_of(r, status);
    return true;
}

void Child::kill() {
    if (valid() && !waited_ && ::kill(static_cast<pid_t>(handle_), SIGKILL) == 0) killed_ = true;
}

void Child::close() { handle_ = kNone; }

Captured run_captured(const std::vector<std::string>& argv, const Launch& launch) {
    Pipe out = make_pipe(), err = make_pipe();
    FileActions actions;
    posix_spawn_file_actions_adddup2(actions.get(), out.write.get(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(actions.get(), err.write.get(), STDERR_FILENO);
    Child child(spawn(argv, launch, actions));
    out.write.reset();
    err.write.reset();
    Captured r;
    pollfd fds[2] = {{out.read.get(), POLLIN, 0}, {err.read.get(), POLLIN, 0}};
    std::string* sinks[2] = {&r.out, &r.err};
    int open = 2;
    char buf[65536];
    while (open > 0) {
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            const ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
            if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
            if (n > 0) {
                sinks[i]->append(buf, static_cast<std::size_t>(n));
            } else {
                fds[i].fd = -1;  // closed with its Pipe
                --open;
            }
        }
    }
    r.status = child.wait();
    return r;
}

Child start(const std::vector<std::string>& argv, const Launch& launch) {
    // What this process has written comes before what the program writes.
    std::fflush(nullptr);
    FileActions actions;
    return Child(spawn(argv, launch, actions));
}

int hand_over(const std::vector<std::string>& argv) {
    if (argv.empty()) throw std::system_error(EINVAL, std::generic_category(), "no program to start");
    std::vector<std::string> copy = argv;
    const std::vector<char*> args = pointers(copy);
    // Buffered output would be lost with this process's image.
    std::fflush(nullptr);
    ::execv(args[0], args.data());
    fail(errno, argv[0]);
}

}  // namespace sys
