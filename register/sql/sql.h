// Queries over a register: sql::parse a SELECT statement, sql::Result::run it
// on a jet::Database, read the rows of the result by position.
#pragma once

#include "sql/error.h"
#include "sql/result.h"
#include "sql/statement.h"
