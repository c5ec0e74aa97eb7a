// The failures of the register's own move, before or while rows go from one
// register file into another, and the files they concern. Their numbers and
// sentences are in the catalogue (describe).
#pragma once

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "errors/catalogue.h"
#include "jet/error.h"

namespace errors {

enum class MoveFault {
    SameFile,          // the source and the destination are one file
    MissingColumn,     // the source lacks a column the destination has (names[0], at ordinal `column`)
    FilledColumns,     // the source has values in columns the destination lacks (names)
    MisplacedColumns,  // columns of the same names stand at other ordinals (misplaced)
    RelatedRows,       // rows of another table of the source name its rows (names: that table, the relationship)
    RowRefused,        // the destination refused a row (refused says why); `moved` rows went before it
};

struct MisplacedColumn {
    std::string name;
    std::size_t in_source = 0;
    std::size_t in_destination = 0;
};

class MoveError : public std::runtime_error {
public:
    MoveError(MoveFault fault, std::string source, std::string destination);

    MoveFault fault() const noexcept { return fault_; }
    const std::string& source() const noexcept { return source_; }
    const std::string& destination() const noexcept { return destination_; }
    // The file the failure is about: the destination for a refused row, the source otherwise.
    const std::string& file() const noexcept { return fault_ == MoveFault::RowRefused ? destination_ : source_; }

    std::vector<std::string> names;
    std::size_t column = 0;
    std::vector<MisplacedColumn> misplaced;
    std::optional<jet::Error> refused;
    std::size_t moved = 0;

private:
    MoveFault fault_;
    std::string source_;
    std::string destination_;
};

// How a move's messages name one of its two files: by its name, by its whole
// path where the source and the destination have the same name.
std::string shown_in_move(const std::string& file, const std::string& source, const std::string& destination);

Message describe(const MoveError& e, Language language);

// A failure of the engine during the move from source to destination, its
// file named as the move names it.
Message describe_in_move(const jet::Error& e, const std::string& source, const std::string& destination, Language language);

}  // namespace errors
