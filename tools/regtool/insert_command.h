// regtool insert: rows from standard input (JSON lines) into a table.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>

#include "errors/input.h"
#include "jet/error.h"

namespace regtool {

// A row of the input the engine refused: its line and the engine's reason.
class RefusedLine : public std::runtime_error {
public:
    RefusedLine(std::size_t line, const jet::Error& error)
        : std::runtime_error("line " + std::to_string(line) + ": " + error.what()), line_(line), error_(error) {}
    std::size_t line() const noexcept { return line_; }
    const jet::Error& error() const noexcept { return error_; }

private:
    std::size_t line_;
    jet::Error error_;
};

// A line of the input that is no row of the table: its number and why.
class BadLine : public std::runtime_error {
public:
    BadLine(std::size_t line, const errors::InputError& error)
        : std::runtime_error("line " + std::to_string(line) + ": " + error.what()), line_(line), error_(error) {}
    std::size_t line() const noexcept { return line_; }
    const errors::InputError& error() const noexcept { return error_; }

private:
    std::size_t line_;
    errors::InputError error_;
};

// Rows are stored in groups, each put on disk before the next begins. A line
// that cannot be read, or a row the table refuses, stops the run with the
// line's number (BadLine, or RefusedLine for a row the engine refuses); the rows before
// it are kept. Returns the exit status.
int insert_rows(const std::string& path, const std::string& table);

}  // namespace regtool
