// Programs run through CreateProcessW. A program's arguments travel as one
// command line, which the program's C runtime (or CommandLineToArgvW) splits
// again: each argument is quoted so that it comes back as it was. Standard
// streams are given to the program as handles it inherits.
#include "system/process.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "system/windows_text.h"

namespace sys {

namespace {

[[noreturn]] void fail(DWORD err, const std::string& what) {
    throw std::system_error(static_cast<int>(err), std::system_category(), what);
}

// A handle, closed when it goes.
class Owned {
public:
    Owned() = default;
    explicit Owned(HANDLE h) : h_(h) {}
    ~Owned() { reset(); }
    Owned(Owned&& other) noexcept : h_(std::exchange(other.h_, nullptr)) {}
    Owned& operator=(Owned&& other) noexcept {
        if (this != &other) {
            reset();
            h_ = std::exchange(other.h_, nullptr);
        }
        return *this;
    }
    HANDLE get() const { return h_; }
    HANDLE release() { return std::exchange(h_, nullptr); }
    void reset() {
        if (h_ != nullptr && h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
        h_ = nullptr;
    }

private:
    HANDLE h_ = nullptr;
};

// The handles a program is given are made inheritable only while it is being
// started, one program at a time, so that none of them reaches a program
// another thread starts meanwhile (it would keep a pipe open, and the reader
// waiting, for as long as that one runs).
std::mutex g_starting;

SECURITY_ATTRIBUTES inherited() {
    SECURITY_ATTRIBUTES sa{};
    sa.nLength = sizeof sa;
    sa.bInheritHandle = TRUE;
    return sa;
}

// An inheritable copy of a handle of this process (none for none).
Owned inheritable_copy(HANDLE h) {
    HANDLE copy = nullptr;
    if (h == nullptr || h == INVALID_HANDLE_VALUE ||
        !DuplicateHandle(GetCurrentProcess(), h, GetCurrentProcess(), &copy, 0, TRUE, DUPLICATE_SAME_ACCESS)) {
        return {};
    }
    return Owned(copy);
}

// The program's name opens the command line: the C runtime takes it up to the
// next blank, or between quotes without any escapes (a file name holds no quote).
void append_program(std::wstring& line, const std::wstring& program) {
    if (!program.empty() && program.find_first_of(L" \t") == std::wstring::npos) {
        line += program;
    } else {
        line += L'"';
        line += program;
        line += L'"';
    }
}

// An argument as the C runtime reads it back: bare when it has no blank and
// no quote, otherwise between quotes, with a quote inside escaped by a
// backslash and the backslashes before a quote (or before the closing one)
// doubled; other backslashes stand for themselves.
void append_argument(std::wstring& line, const std::wstring& arg) {
    line += L' ';
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        line += arg;
        return;
    }
    line += L'"';
    std::size_t backslashes = 0;
    for (const wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        line.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        line += c;
    }
    line.append(2 * backslashes, L'\\');
    line += L'"';
}

std::wstring command_line(const std::vector<std::string>& argv) {
    std::wstring line;
    append_program(line, wide(argv[0]));
    for (std::size_t i = 1; i < argv.size(); ++i) append_argument(line, wide(argv[i]));
    return line;
}

// This process's environment with the changes made, as CreateProcessW takes
// it: "NAME=value" entries, each ended by a NUL, and a NUL after the last.
// Names are compared without regard to case, as Windows does.
std::wstring environment_block(const std::vector<std::string>& changes) {
    std::vector<std::wstring> env;
    if (wchar_t* strings = GetEnvironmentStringsW()) {
        for (const wchar_t* e = strings; *e != L'\0'; e += std::wcslen(e) + 1) env.emplace_back(e);
        FreeEnvironmentStringsW(strings);
    }
    for (const std::string& change : changes) {
        std::wstring entry = wide(change);
        const std::size_t name = entry.find(L'=') + 1;
        std::erase_if(env, [&](const std::wstring& e) {
            return e.size() >= name && CompareStringOrdinal(e.data(), static_cast<int>(name), entry.data(), static_cast<int>(name), TRUE) ==
                                           CSTR_EQUAL;
        });
        env.push_back(std::move(entry));
    }
    std::wstring block;
    for (const std::wstring& e : env) {
        block += e;
        block += L'\0';
    }
    block += L'\0';
    if (env.empty()) block += L'\0';
    return block;
}

// The standard output and error a program is started with (handles of this
// process, not inheritable themselves); a null one is this process's own.
struct Streams {
    HANDLE out = nullptr;
    HANDLE err = nullptr;
};

// Starts argv: its process handle.
HANDLE create_process(const std::vector<std::string>& argv, const Launch& launch, Streams given) {
    if (argv.empty()) fail(ERROR_INVALID_PARAMETER, "no program to start");
    std::wstring line = command_line(argv);
    std::wstring env;
    if (!launch.environment.empty()) env = environment_block(launch.environment);

    std::lock_guard lock(g_starting);
    Owned in, out, err;
    if (!launch.input.empty()) {
        SECURITY_ATTRIBUTES sa = inherited();
        in = Owned(CreateFileW(launch.input.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &sa,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (in.get() == INVALID_HANDLE_VALUE) fail(GetLastError(), "cannot open " + utf8(launch.input.wstring()));
    } else {
        in = inheritable_copy(GetStdHandle(STD_INPUT_HANDLE));
    }
    out = inheritable_copy(given.out != nullptr ? given.out : GetStdHandle(STD_OUTPUT_HANDLE));
    err = inheritable_copy(given.err != nullptr ? given.err : GetStdHandle(STD_ERROR_HANDLE));

    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = in.get();
    si.hStdOutput = out.get();
    si.hStdError = err.get();
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT, env.empty() ? nullptr : env.data(),
                        nullptr, &si, &pi)) {
        fail(GetLastError(), "cannot start " + argv[0]);
    }
    CloseHandle(pi.hThread);
    return pi.hProcess;
}

// A pipe, neither end inheritable: the program is given a copy of the
// writing end, and this process closes its own once the program has started.
struct Pipe {
    Owned read, write;
};

Pipe make_pipe() {
    HANDLE r = nullptr, w = nullptr;
    if (!CreatePipe(&r, &w, nullptr, 0)) fail(GetLastError(), "cannot make a pipe");
    return {Owned(r), Owned(w)};
}

// Everything a pipe brings until the writing side closes it.
void read_all(HANDLE from, std::string& into) {
    char buf[65536];
    DWORD n = 0;
    while (ReadFile(from, buf, sizeof buf, &n, nullptr) && n > 0) into.append(buf, n);
}

}  // namespace

std::filesystem::path program_path() {
    std::wstring name(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
        if (n == 0) return {};
        if (n < name.size()) {
            name.resize(n);
            return name;
        }
        name.resize(name.size() * 2);
    }
}

std::string program_file_name(const std::string& stem) { return stem + ".exe"; }

long process_id() { return static_cast<long>(GetCurrentProcessId()); }

int Child::wait() {
    if (waited_ || !valid()) return status_;
    const HANDLE h = reinterpret_cast<HANDLE>(handle_);
    DWORD code = 0;
    waited_ = true;
    if (WaitForSingleObject(h, INFINITE) != WAIT_OBJECT_0 || !GetExitCodeProcess(h, &code) || killed_) return status_ = -1;
    return status_ = static_cast<int>(code);
}

bool Child::finished() {
    if (waited_ || !valid()) return true;
    if (WaitForSingleObject(reinterpret_cast<HANDLE>(handle_), 0) == WAIT_TIMEOUT) return false;
    wait();
    return true;
}

void Child::kill() {
    if (valid() && !waited_ && TerminateProcess(reinterpret_cast<HANDLE>(handle_), 1)) killed_ = true;
}

void Child::close() {
    if (valid()) CloseHandle(reinterpret_cast<HANDLE>(handle_));
    handle_ = kNone;
}

Captured run_captured(const std::vector<std::string>& argv, const Launch& launch) {
    Pipe out = make_pipe(), err = make_pipe();
    Child child(reinterpret_cast<std::intptr_t>(create_process(argv, launch, {out.write.get(), err.write.get()})));
    out.write.reset();
    err.write.reset();
    Captured r;
    // Both pipes are read at once, so that a program filling one while this
    // waits on the other does not stall.
    std::thread errors([&] { read_all(err.read.get(), r.err); });
    read_all(out.read.get(), r.out);
    errors.join();
    r.status = child.wait();
    return r;
}

Child start(const std::vector<std::string>& argv, const Launch& launch) {
    // What this process has written comes before what the program writes.
    std::fflush(nullptr);
    return Child(reinterpret_cast<std::intptr_t>(create_process(argv, launch, {})));
}

int hand_over(const std::vector<std::string>& argv) {
    Child program = start(argv);
    // Ctrl+C is the program's to answer now (it would end this one first,
    // and give the console back while the program still writes): this one
    // waits for its end and passes its status on. Set only once the program
    // has started, since a program inherits it.
    SetConsoleCtrlHandler(nullptr, TRUE);
    const int status = program.wait();
    SetConsoleCtrlHandler(nullptr, FALSE);
    return status;
}

}  // namespace sys
