#include "system/console.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <system_error>

#include "system/windows_text.h"

namespace sys {

namespace {

// The console's output code page to put back when the program is
// interrupted; 0 for none.
std::atomic<unsigned> g_restore{0};

BOOL WINAPI on_interrupt(DWORD) {
    if (const unsigned page = g_restore.load()) SetConsoleOutputCP(page);
    return FALSE;  // then the usual handling: the program ends
}

bool is_console(HANDLE h) {
    DWORD mode = 0;
    return GetConsoleMode(h, &mode) != 0;
}

// The arguments as the user typed them: the C runtime's argv holds them in
// the ANSI code page, which cannot hold every name.
std::vector<std::string> command_line_arguments(int argc, char** argv) {
    int n = 0;
    LPWSTR* wargv = CommandLineToArgvW(GetCommandLineW(), &n);
    if (wargv == nullptr) return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
    std::vector<std::string> out;
    for (int i = 1; i < n; ++i) out.push_back(utf8(wargv[i]));
    LocalFree(wargv);
    return out;
}

[[noreturn]] void unreadable(DWORD err) { throw std::system_error(static_cast<int>(err), std::system_category(), "standard input"); }

// What is typed at a console, in UTF-8 with "\n" line ends; empty at its end
// (Ctrl+Z at the start of a line).
std::optional<std::string> console_chunk(HANDLE in, const std::stop_token& stop) {
    for (;;) {
        const DWORD waited = WaitForSingleObject(in, 100);
        if (stop.stop_requested()) return std::nullopt;
        if (waited == WAIT_TIMEOUT) continue;
        if (waited != WAIT_OBJECT_0) unreadable(GetLastError());
        wchar_t buf[4096];
        DWORD n = 0;
        if (!ReadConsoleW(in, buf, static_cast<DWORD>(std::size(buf)), &n, nullptr)) unreadable(GetLastError());
        std::wstring text(buf, n);
        if (const std::size_t z = text.find(L'\x1a'); z != std::wstring::npos) {
            if (z == 0) return std::string();
            text.resize(z);
        }
        std::erase(text, L'\r');
        if (!text.empty()) return utf8(text);
    }
}

}  // namespace

Console::Console(int argc, char** argv) : arguments_(command_line_arguments(argc, argv)) {
    const DWORD handles[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    FILE* const streams[] = {stdin, stdout, stderr};
    for (int i = 0; i < 3; ++i) {
        const HANDLE h = GetStdHandle(handles[i]);
        if (h != nullptr && h != INVALID_HANDLE_VALUE) _setmode(_fileno(streams[i]), _O_BINARY);
    }
    // The C runtime writes to a console it does not buffer a few bytes at a
    // time, and a console that does not join a character's UTF-8 bytes
    // across writes (older ones, Wine's) shows each byte as a character of
    // its own: standard output is buffered, and shown whenever it is flushed.
    if (is_console(GetStdHandle(STD_OUTPUT_HANDLE))) std::setvbuf(stdout, nullptr, _IOFBF, 1 << 16);
    if (is_console(GetStdHandle(STD_OUTPUT_HANDLE)) || is_console(GetStdHandle(STD_ERROR_HANDLE))) {
        const UINT page = GetConsoleOutputCP();
        if (page != 0 && page != CP_UTF8 && SetConsoleOutputCP(CP_UTF8)) {
            previous_code_page_ = page;
            g_restore = page;
            SetConsoleCtrlHandler(on_interrupt, TRUE);
        }
    }
}

Console::~Console() {
    if (previous_code_page_ == 0) return;
    // Output still buffered is shown in the code page it was written for.
    std::fflush(nullptr);
    SetConsoleOutputCP(previous_code_page_);
    SetConsoleCtrlHandler(on_interrupt, FALSE);
    g_restore = 0;
}

std::optional<std::string> next_input_chunk(const std::stop_token& stop) {
    const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    if (in == nullptr || in == INVALID_HANDLE_VALUE) return std::string();  // no input at all
    if (is_console(in)) return console_chunk(in, stop);
    char buf[1 << 16];
    DWORD want = sizeof buf;
    if (GetFileType(in) == FILE_TYPE_PIPE) {
        // A pipe cannot be waited for with a time limit: it is looked at in
        // short steps, longer ones while it stays empty.
        DWORD pause = 1;
        for (;;) {
            if (stop.stop_requested()) return std::nullopt;
            DWORD ready = 0;
            if (!PeekNamedPipe(in, nullptr, 0, nullptr, &ready, nullptr)) {
                const DWORD err = GetLastError();
                if (err == ERROR_BROKEN_PIPE) return std::string();  // the writer closed it
                // A pipe that cannot be looked into (Wine's for a pipe of
                // its host) is read as it is.
                if (err == ERROR_NOT_SUPPORTED || err == ERROR_INVALID_FUNCTION) break;
                unreadable(err);
            }
            if (ready > 0) {
                want = std::min<DWORD>(ready, want);
                break;
            }
            Sleep(pause);
            pause = std::min<DWORD>(pause * 2, 50);
        }
    } else if (stop.stop_requested()) {
        return std::nullopt;
    }
    DWORD n = 0;
    if (!ReadFile(in, buf, want, &n, nullptr)) {
        const DWORD err = GetLastError();
        if (err == ERROR_BROKEN_PIPE) return std::string();
        unreadable(err);
    }
    return std::string(buf, n);
}

}  // namespace sys
