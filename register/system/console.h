// A command-line program's standard streams and arguments, the same on POSIX
// systems and on Windows: bytes in and out exactly as the program has them
// (UTF-8 text, "\n" line ends), arguments in UTF-8.
#pragma once

#include <optional>
#include <stop_token>
#include <string>
#include <vector>

namespace sys {

// Set up for as long as a command-line program's main runs, put back when
// it goes:
// - POSIX: a write to a closed pipe fails (EPIPE) instead of ending the
//   program (SIGPIPE ignored);
// - Windows: standard input, output and error in binary mode (no "\r\n" for
//   "\n", no end at a Ctrl+Z byte); where output goes to a console, its
//   output code page UTF-8, the previous one restored at the end (also when
//   the program is interrupted with Ctrl+C or Ctrl+Break); standard output
//   to a console fully buffered (shown when flushed), so that a character's
//   bytes reach the console in one write.
class Console {
public:
    Console(int argc, char** argv);
    ~Console();
    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;

    // The arguments after the program's name, in UTF-8 (on Windows read from
    // the command line in UTF-16, whatever the code page).
    const std::vector<std::string>& arguments() const { return arguments_; }

private:
    std::vector<std::string> arguments_;
    [[maybe_unused]] unsigned previous_code_page_ = 0;  // Windows: the console's, to restore; 0 when unchanged
};

// The next chunk of standard input (up to 64 KiB) as it comes, waiting for
// it in short steps so that a stop request is noticed even while nothing
// comes: nothing once a stop is requested, an empty string at the end of the
// input. Raises std::system_error when the input cannot be read. (On Windows
// a file is read as it is, and a console's input waited for in short steps
// too, but once a line is begun it is read when it is ended.)
std::optional<std::string> next_input_chunk(const std::stop_token& stop);

}  // namespace sys
