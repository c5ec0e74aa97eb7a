#include "errors/query.h"

#include "errors/numbers.h"
#include "jet/text.h"

namespace errors {

namespace {

constexpr std::size_t kQuotedStatement = 200;  // characters of the statement a message quotes
constexpr std::size_t kQuotedNear = 30;        // characters quoted after an error's place

// Text fit to be shown: valid UTF-8, no control characters, at most limit
// characters (an ellipsis marks a cut).
std::string printable(std::string_view s, std::size_t limit) {
    std::u32string cps = jet::utf8_to_utf32(s);
    std::string out;
    out.reserve(s.size() < 4 * limit ? s.size() : 4 * limit);
    std::size_t n = 0;
    for (char32_t c : cps) {
        if (n == limit) {
            out += "…";
            break;
        }
        if (c < 0x20 || (c >= 0x7F && c < 0xA0)) c = U' ';
        jet::append_utf8(out, c);
        ++n;
    }
    return out;
}

}  // namespace

int query_number(QueryFault fault) {
    switch (fault) {
        case QueryFault::Syntax: return number::kSyntax;
        case QueryFault::NoSuchTable: return number::kNoSuchTable;
        case QueryFault::NoSuchColumn: return number::kItemNotFound;
        case QueryFault::TypeMismatch: return number::kTypeMismatch;
    }
    return number::kSyntax;
}

std::string query_text(QueryFault fault, std::string_view statement, std::size_t position, std::string_view name,
                       Language language) {
    const bool ru = language == Language::Russian;
    switch (fault) {
        case QueryFault::Syntax: {
            const std::size_t at = position < statement.size() ? position : statement.size();
            const std::string whole = printable(statement, kQuotedStatement);
            const std::string near = printable(statement.substr(at), kQuotedNear);
            return ru ? "Синтаксическая ошибка в выражении запроса «" + whole + "» около «" + near + "»."
                      : "Syntax error in the query expression «" + whole + "» near «" + near + "».";
        }
        case QueryFault::NoSuchTable:
            return (ru ? "Не удается найти таблицу «" : "Cannot find the table «") + printable(name, kQuotedStatement) + "».";
        case QueryFault::NoSuchColumn: return (ru ? "Неизвестное поле «" : "Unknown column «") + printable(name, kQuotedStatement) + "».";
        case QueryFault::TypeMismatch:
            return ru ? "Несоответствие типов данных в выражении условия отбора." : "Data type mismatch in the criteria expression.";
    }
    return {};
}

}  // namespace errors
