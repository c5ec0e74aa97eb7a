// A WHERE condition made ready to test rows: columns resolved to ordinals,
// LIKE patterns compiled and text literals case-folded once.
//
// Conditions have three values: a comparison, LIKE or truth test of a Null is
// unknown; NOT unknown is unknown; AND is false when either side is false,
// OR true when either side is true, unknown otherwise. A row is taken only
// when the whole condition is true.
//
// Values are compared by kind:
//   text with text      letter case ignored (jet::fold_case), then code point by code point
//   numbers             by value (Yes/No as -1 and 0, Currency and Decimal exactly scaled)
//   dates               by value, also against numbers (days since 1899-12-30)
//   text with a number  the text read as a number ("12", " -3.5 ", "1e3")
//   text with a date    the text read as dd.mm.yyyy or yyyy-mm-dd, with an optional
//                       time hh:mm[:ss] after a space (or "T")
//   GUID with text      the GUID's {…} form, letter case ignored
// Any other pairing, or text that does not read as needed, raises errors::QueryFault::TypeMismatch.
// LIKE on a value that is not text matches its text form: numbers in decimal
// ("-1" and "0" for Yes/No, "12.5" for Currency 12.5000), dates as
// dd.mm.yyyy with H:mm:ss when there is a time of day; binary values raise
// errors::QueryFault::TypeMismatch.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "jet/value.h"
#include "sql/like.h"
#include "sql/statement.h"

namespace sql {

enum class Truth : std::uint8_t { False, True, Unknown };

// The text form LIKE matches a value that is not text against; nothing for binary values.
std::optional<std::string> text_form(const jet::Value& v);

// Text read as a number, as a comparison with a number reads it: a whole
// number held exactly, or a double; nothing when it reads as none.
std::optional<std::variant<std::int64_t, double>> number_in_text(std::string_view s);

class Filter {
public:
    // resolve gives the ordinal of a column reference or raises; statement is
    // the text the condition was parsed from, for messages.
    Filter(const Condition& c, const std::function<std::size_t(const ColumnRef&)>& resolve, std::size_t column_count,
           std::string_view statement);

    // The columns the condition reads, by ordinal.
    const std::vector<bool>& wanted() const { return wanted_; }
    bool reads_columns() const { return reads_columns_; }

    // Not const: it keeps working room between rows. Raises errors::QueryFault::TypeMismatch.
    Truth test(const std::vector<jet::Value>& row);

    // For a condition of several parts joined by AND: the columns its first
    // part reads, and whether that part alone makes the row fail (it is
    // false), which test() then finds without looking further. Nothing for
    // any other condition.
    const std::optional<std::vector<bool>>& first_wanted() const { return first_wanted_; }
    bool first_rejects(const std::vector<jet::Value>& row);

private:
    struct Term {
        std::size_t column = static_cast<std::size_t>(-1);  // the ordinal, or npos for a constant
        jet::Value constant;
        std::u32string folded;  // text constants, case-folded
        bool is_column() const { return column != static_cast<std::size_t>(-1); }
    };
    struct Node {
        Condition::Kind kind = Condition::Kind::Truth;
        std::vector<Node> terms;
        Term left, right;
        CompareOp op = CompareOp::Equal;
        bool negated = false;
        std::optional<LikePattern> like;
        std::size_t position = 0;
    };

    Node compile(const Condition& c, const std::function<std::size_t(const ColumnRef&)>& resolve, std::string_view statement,
                 int depth);
    Term term(const Operand& o, const std::function<std::size_t(const ColumnRef&)>& resolve);
    Truth eval(const Node& n, const std::vector<jet::Value>& row);
    Truth compare(const Node& n, const std::vector<jet::Value>& row);
    Truth like(const Node& n, const std::vector<jet::Value>& row);
    std::optional<int> order(const Term& t, const jet::Value& a, const Term& u, const jet::Value& b, std::size_t position);
    std::optional<int> order_text(const std::u32string* folded_a, std::string_view a, const std::u32string* folded_b,
                                  std::string_view b);

    void mark_columns(const Node& n, std::vector<bool>& columns) const;

    Node root_;
    std::vector<bool> wanted_;
    std::optional<std::vector<bool>> first_wanted_;
    bool reads_columns_ = false;
    std::u32string scratch_a_, scratch_b_;
};

}  // namespace sql
