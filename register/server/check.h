// What can go wrong in a server register that its file could not hold, found
// in the server's catalog: a column of a type the file format lacks, an
// AutoNumber whose next number a row holds already (the next insert would be
// refused), an index the server does not use (a CREATE INDEX CONCURRENTLY
// that failed), a foreign key or check the server has not checked against
// the rows it holds (made NOT VALID).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "connection.h"

namespace server {

struct Problem {
    enum class Kind { NoFileType, NumberTaken, IndexNotValid, ConstraintNotValidated };
    Kind kind;
    std::string table;
    std::string name;  // the column, index or constraint, under the file's name where the server keeps it
    std::string type;  // NoFileType: the server's type
    std::int64_t next = 0, highest = 0;  // NumberTaken: the number the server gives next, the highest a row holds
};

// Reads one state of the register (in a read-only transaction of its own).
std::vector<Problem> check_register(Connection& c);

}  // namespace server
