// Programs run from this one, the same way on POSIX systems and on Windows:
// no shell between, arguments passed exactly as given (UTF-8), an
// environment changed by name. A program that cannot be started raises
// std::system_error, so that "not there" is told apart from "failed".
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace sys {

// The file of the running program (an absolute path).
std::filesystem::path program_path();

// The name a program's file has on this system: the stem itself, or with
// ".exe" on Windows.
std::string program_file_name(const std::string& stem);

// This process's id.
long process_id();

// How a program is started besides its arguments.
struct Launch {
    // Changes to this process's environment, "NAME=value" each: a variable of
    // that name is replaced (a later change of one name wins); "NAME=" sets it empty.
    std::vector<std::string> environment;
    // Standard input read from this file; empty: this process's own.
    std::filesystem::path input;
};

// A program's end and what it wrote.
struct Captured {
    int status = -1;  // its exit status; -1 when it was ended by a signal
    std::string out;  // its standard output
    std::string err;  // its standard error
};

// A program started and left running. Move-only; one not waited for is
// killed and waited for when its handle goes, so none is left behind.
class Child {
public:
    Child() = default;
    ~Child();
    Child(Child&& other) noexcept;
    Child& operator=(Child&& other) noexcept;
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // Waits for it to end: its exit status, -1 when it was ended by a signal
    // or by kill(). A second call gives the same status without waiting.
    int wait();
    // Whether it has ended, without waiting for it (once it has, wait()
    // returns at once).
    bool finished();
    // Ends it at once (if it still runs); wait() then says -1.
    void kill();
    bool valid() const { return handle_ != kNone; }

private:
    friend Child start(const std::vector<std::string>& argv, const Launch& launch);
    friend Captured run_captured(const std::vector<std::string>& argv, const Launch& launch);
    // A process id on POSIX systems, a process handle on Windows.
    using Handle = std::intptr_t;
    static constexpr Handle kNone = -1;
    explicit Child(Handle h) : handle_(h) {}
    void close();  // lets go of the handle (Windows) once it is waited for
    Handle handle_ = kNone;
    int status_ = -1;
    bool waited_ = false;
    bool killed_ = false;
};

// argv[0] is the program: a path, or a bare name looked for the way the
// system looks for programs (PATH; on Windows also the program's own folder,
// with ".exe" added). Each raises std::system_error when it cannot be started.

// Runs a program with standard output and standard error collected apart
// (read as they come, so that neither fills up and stalls it) and waits for it.
Captured run_captured(const std::vector<std::string>& argv, const Launch& launch = {});

// Starts a program that shares this one's standard streams (input unless
// launch.input names a file) and leaves it running.
Child start(const std::vector<std::string>& argv, const Launch& launch = {});

// start, then wait: its exit status.
int run(const std::vector<std::string>& argv, const Launch& launch = {});

// Hands this process over to the program at argv[0] (a path) with these
// arguments and this process's standard streams and environment. On POSIX
// systems it replaces this process (exec), so this returns only by raising;
// on Windows, where a process cannot be replaced, it runs the program, waits
// for it and returns its exit status for the caller to exit with.
int hand_over(const std::vector<std::string>& argv);

}  // namespace sys
