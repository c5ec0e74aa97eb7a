// A parsed SELECT statement of the form a register browser sends:
//
//   SELECT * | column {, column} FROM table [WHERE condition] [;]
//
//   column     name | [name] | table.name | table.[name] | [table].[name]
//              (also table.* in place of *)
//   condition  OR of ANDs of [NOT] predicates; a predicate is
//              operand (= | <> | < | <= | > | >=) operand
//              operand [NOT] LIKE 'pattern'
//              operand IS [NOT] NULL
//              ( condition )
//              operand alone (true when it is a true or non-zero value)
//   operand    column | 'text' | "text" | [-]number | TRUE | FALSE | NULL
//
// Keywords are read in any letter case. A plain name is made of letters (Latin,
// Cyrillic, Greek and the other alphabets), digits and "_" and does not start
// with a digit; a keyword used as a name must be bracketed. A doubled quote
// inside a literal stands for one. Numbers are whole (-> Integer, or Decimal
// past the 64-bit range) or decimal with "." (-> Decimal), with an optional
// minus sign before them. Conditions nested deeper than kMaxNesting (parentheses
// and NOTs) are refused, so that no statement can exhaust the stack.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sql/error.h"

namespace sql {

constexpr int kMaxNesting = 200;

struct ColumnRef {
    std::string table;          // the qualifier as written, without brackets; empty when none
    std::string name;           // without brackets
    std::size_t position = 0;   // byte offset of the reference in the statement
};

struct Operand {
    enum class Kind : std::uint8_t { Column, Text, Integer, Decimal, Boolean, Null };
    Kind kind = Kind::Text;
    ColumnRef column;           // Column
    std::string text;           // Text: the value; Decimal: the digits as written
    std::int64_t integer = 0;   // Integer; Boolean: -1 for TRUE, 0 for FALSE (Jet's values)
    double decimal = 0;         // Decimal
    std::size_t position = 0;
};

enum class CompareOp : std::uint8_t { Equal, NotEqual, Less, LessEqual, Greater, GreaterEqual };

struct Condition {
    enum class Kind : std::uint8_t { Or, And, Not, Compare, Like, IsNull, Truth };
    Kind kind = Kind::Truth;
    std::vector<Condition> terms;  // Or, And: two or more; Not: one
    Operand left;                  // Compare, Like, IsNull, Truth
    Operand right;                 // Compare
    CompareOp op = CompareOp::Equal;
    bool negated = false;          // NOT LIKE, IS NOT NULL
    std::string pattern;           // Like: the pattern's text (checked by parse)
    std::size_t position = 0;      // of the predicate's first token
};

struct Statement {
    std::string text;                // the statement as given, for messages
    bool all_columns = false;        // * or table.*
    std::string all_columns_table;   // the qualifier of table.*; empty for *
    std::size_t all_columns_position = 0;
    std::vector<ColumnRef> columns;  // when not all_columns, in the statement's order
    std::string table;
    std::size_t table_position = 0;
    bool has_where = false;
    Condition where;
};

// Raises sql::Error (errors::QueryFault::Syntax) for text outside the grammar, including
// an unclosed literal, bracketed name or LIKE class.
Statement parse(std::string_view utf8);

}  // namespace sql
